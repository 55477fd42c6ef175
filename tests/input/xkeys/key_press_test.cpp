// Real key presses under a real X server: Xvfb runs the display, xdotool types on it, and the
// library's window sees the keys through SDL's X11 driver.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/dinput.h"
#include "platform/kernel.h"
#include "platform/testing.h"
#include "graphics/screen_services.h"
#include "window/window_services.h"
#include "zyvel/runtime.h"
#include "zyvel/input.h"

extern char** environ;

// The X11 video driver loads system libraries that keep process-wide caches until exit; their
// blocks are not leaks of ours. Our own code is never suppressed.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\nleak:libX11.so\nleak:libxcb.so\nleak:libfontconfig.so\n";
}

namespace {

bool Installed(const char* path) { return access(path, X_OK) == 0; }

std::string RunCommand(const std::string& command) {
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (fgets(buffer, sizeof(buffer), pipe)) output += buffer;
    pclose(pipe);
  }
  while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) output.pop_back();
  return output;
}

class XServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Installed("/usr/bin/Xvfb") || !Installed("/usr/bin/xdotool")) GTEST_SKIP() << "Xvfb or xdotool missing";
    // Xvfb picks a free display itself and writes its number to the pipe.
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const std::string displayFd = std::to_string(pipeEnds[1]);
    const char* argv[] = {"Xvfb", "-displayfd", displayFd.c_str(), "-screen", "0", "1024x768x24",
                          "-nolisten", "tcp", nullptr};
    ASSERT_EQ(posix_spawn(&server_, "/usr/bin/Xvfb", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    close(pipeEnds[1]);
    std::string number;
    pollfd wait = {pipeEnds[0], POLLIN, 0};
    char digit = 0;
    while (poll(&wait, 1, 10000) > 0 && read(pipeEnds[0], &digit, 1) == 1 && digit != '\n') number += digit;
    close(pipeEnds[0]);
    if (number.empty()) GTEST_SKIP() << "Xvfb could not start a display here";
    display_ = std::stoi(number);
    const std::string name = ":" + number;
    // Start-up writes Log.txt into the current directory: give it one of its own.
    char previous[4096];
    previousDirectory_ = getcwd(previous, sizeof(previous)) ? previous : "/";
    char pattern[] = "/tmp/zyvel-xserver-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    workDirectory_ = pattern;
    ASSERT_EQ(chdir(workDirectory_.c_str()), 0);
    // Windows of other test processes on this machine must not count as a second copy.
    platform::testing::SetWindowLockDirectory(workDirectory_);
    setenv("DISPLAY", name.c_str(), 1);
    unsetenv("SDL_VIDEODRIVER");
    platform::testing::CaptureDebugOutput([](const std::string&) {});
  }

  void TearDown() override {
    FinishLibrary();
    g_windowSystem = WindowSystemRecord{};
    platform::testing::CaptureDebugOutput({});
    if (!workDirectory_.empty()) {
      chdir(previousDirectory_.c_str());
      std::system(("rm -rf " + workDirectory_).c_str());
    }
    if (server_ > 0) {
      kill(server_, SIGTERM);
      waitpid(server_, nullptr, 0);
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

  pid_t server_ = 0;
  std::string previousDirectory_;
  std::string workDirectory_;
  int display_ = 0;
};

TEST_F(XServerTest, XdotoolKeyPressReachesIsKeyDown) {
  g_windowSystem.options.noSound = 1;
  ChangeWindowTitle("Zyvel Key Test");
  SetScreenMode(408, 504, 32, 60);
  ASSERT_EQ(InitializeLibrary(), 0);
  for (int i = 0; i < 10; ++i) ProcessWindowMessages();

  const std::string prefix = "DISPLAY=:" + std::to_string(display_) + " xdotool ";
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
