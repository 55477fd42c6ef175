// Real key presses under a real X server: Xvfb runs the display, xdotool types on it, and the
// library's window sees the keys through SDL's X11 driver.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "graphics/screen_services.h"
#include "platform/dinput.h"
#include "platform/kernel.h"
#include "platform/testing.h"
#include "runtime/runtime_state.h"
#include "window/window_services.h"
#include "x_processes.h"
#include "zyvel/input.h"
#include "zyvel/runtime.h"

// The X11 video driver loads system libraries that keep process-wide caches until exit; their
// blocks are not leaks of ours. Our own code is never suppressed.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\nleak:libX11.so\nleak:libxcb.so\nleak:libfontconfig.so\n";
}

namespace {

using x_processes::Installed;

std::string RunCommand(const std::string& command) { return x_processes::RunCommand(command, 30); }

class XServerTest : public x_processes::SharedXServerTest {
 protected:
  void SetUp() override {
    SharedXServerTest::SetUp();
    if (IsSkipped()) return;
    if (!Installed("/usr/bin/xdotool")) GTEST_SKIP() << "xdotool missing";
    // Start-up writes Log.txt into the current directory: give it one of its own.
    char previous[4096];
    previousDirectory_ = getcwd(previous, sizeof(previous)) ? previous : "/";
    char pattern[] = "/tmp/zyvel-xserver-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    workDirectory_ = pattern;
    ASSERT_EQ(chdir(workDirectory_.c_str()), 0);
    // Windows of other test processes on this machine must not count as a second copy.
    platform::testing::SetWindowLockDirectory(workDirectory_);
    platform::testing::CaptureDebugOutput([](const std::string&) {});
  }

  void TearDown() override {
    FinishLibrary();
    g_windowSystem = WindowSystemRecord{};
    g_runtime = RuntimeRecord{};
    platform::testing::CaptureDebugOutput({});
    if (!workDirectory_.empty()) {
      chdir(previousDirectory_.c_str());
      std::system(("rm -rf " + workDirectory_).c_str());
    }
  }

  // Pumps messages until the key reads as wanted, or about three seconds pass.
  int WaitForKey(int key, int wanted) {
    int state = -1;
    for (int i = 0; i < 300; ++i) {
      ProcessWindowMessages();
      state = IsKeyDown(key);
      if (state == wanted) break;
      Sleep(10);
    }
    return state;
  }

  std::string previousDirectory_;
  std::string workDirectory_;
};

TEST_F(XServerTest, XdotoolKeyPressReachesIsKeyDown) {
  g_windowSystem.options.noSound = 1;
  ChangeWindowTitle("Zyvel Key Test");
  SetScreenMode(408, 504, 32, 60);
  ASSERT_EQ(InitializeLibrary(), 0);
  for (int i = 0; i < 10; ++i) ProcessWindowMessages();

  const std::string prefix = std::string("DISPLAY=") + std::getenv("DISPLAY") + " xdotool ";
  const std::string window = RunCommand(prefix + "search --name 'Zyvel Key Test' | head -n 1");
  ASSERT_FALSE(window.empty()) << "the window is not on the X server";
  RunCommand(prefix + "windowfocus --sync " + window);
  for (int i = 0; i < 10; ++i) ProcessWindowMessages();

  IsKeyDown(DIK_ESCAPE);  // Input starts on the first query.
  RunCommand(prefix + "keydown Escape");
  EXPECT_EQ(WaitForKey(DIK_ESCAPE, 1), 1);
  RunCommand(prefix + "keyup Escape");
  EXPECT_EQ(WaitForKey(DIK_ESCAPE, 0), 0);

  RunCommand(prefix + "keydown Down");
  int bits = 0;
  for (int i = 0; i < 300 && bits != 1; ++i) {
    ProcessWindowMessages();
    bits = GetPadInputBits(0x1001);
    Sleep(10);
  }
  EXPECT_EQ(bits, 1);
  RunCommand(prefix + "keyup Down");
}

}  // namespace
