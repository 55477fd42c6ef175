// The clipboard through a real X server, in a program of its own: SDL stays on the first display
// it opened for the life of the process, so a second server in the key test's program is unseen.
// Japanese text set by the library reads back from the system clipboard as UTF-8, text put there
// from outside reads back as CP932, and text of another X client that has ended is gone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "graphics/screen_services.h"
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

// True once `done` holds, asked every 20 ms for at most five seconds.
bool WaitFor(const std::function<bool()>& done) {
  for (int waited = 0; waited < 5000; waited += 20) {
    if (done()) return true;
    usleep(20000);
  }
  return done();
}

// The library's clipboard text, or "(none)" when it reports none.
std::string ClipboardText() {
  char text[256] = {};
  return GetClipboardText(text, sizeof(text)) == 0 ? std::string(text) : std::string("(none)");
}

// One X server for the program (see above); the library starts afresh on it for each test, in a
// scratch directory of its own for Log.txt.
class XClipboardTest : public x_processes::SharedXServerTest {
 protected:
  void SetUp() override {
    SharedXServerTest::SetUp();
    if (IsSkipped()) return;
    char previous[4096];
    previousDirectory_ = getcwd(previous, sizeof(previous)) ? previous : "/";
    char pattern[] = "/tmp/zyvel-xclipboard-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    workDirectory_ = pattern;
    ASSERT_EQ(chdir(workDirectory_.c_str()), 0);
    // Windows of other test processes on this machine must not count as a second copy.
    platform::testing::SetWindowLockDirectory(workDirectory_);
    platform::testing::CaptureDebugOutput([](const std::string&) {});
    g_windowSystem.options.noSound = 1;
    SetScreenMode(408, 504, 32, 60);
    ASSERT_EQ(InitializeLibrary(), 0);
    libraryStarted_ = true;
  }

  void TearDown() override {
    if (libraryStarted_) FinishLibrary();
    g_windowSystem = WindowSystemRecord{};
    g_runtime = RuntimeRecord{};
    platform::testing::CaptureDebugOutput({});
    if (!workDirectory_.empty()) {
      EXPECT_EQ(chdir(previousDirectory_.c_str()), 0);
      std::system(("rm -rf " + workDirectory_).c_str());
    }
  }

  std::string previousDirectory_;
  std::string workDirectory_;
  bool libraryStarted_ = false;
};

TEST_F(XClipboardTest, JapaneseTextRoundTrip) {
  const std::string japanese = "日本語のテキスト";
  EXPECT_EQ(SetClipboardText(japanese.c_str()), 0);
  EXPECT_EQ(platform::testing::ReadSystemClipboard(), platform::Cp932ToUtf8(japanese));
  EXPECT_GE(GetClipboardText(nullptr, 0), static_cast<int>(japanese.size()) + 1);
  EXPECT_EQ(ClipboardText(), japanese);
  platform::testing::WriteSystemClipboard(platform::Cp932ToUtf8("かな漢字"));
  EXPECT_EQ(ClipboardText(), "かな漢字");
}

TEST_F(XClipboardTest, TextOfAnotherClientThatHasEndedIsNoLongerThere) {
  if (access("/usr/bin/xclip", X_OK) != 0) GTEST_SKIP() << "xclip missing (scripts/setup installs it)";
  EXPECT_EQ(SetClipboardText("ours"), 0);
  {
    // xclip takes the clipboard and serves it, in the foreground, until it is stopped.
    x_processes::ChildProcess xclip;
    int input = -1;
    x_processes::ChildProcess::Options options;
    options.input = &input;
    ASSERT_TRUE(xclip.Start({"/usr/bin/xclip", "-selection", "clipboard", "-i", "-quiet"}, options));
    const std::string theirs = "theirs";
    EXPECT_EQ(write(input, theirs.data(), theirs.size()), static_cast<ssize_t>(theirs.size()));
    close(input);
    ASSERT_TRUE(WaitFor([&] { return ClipboardText() == theirs; })) << "xclip's text never arrived";
  }
  // xclip has ended, and the clipboard has no owner: the library's own older text, which xclip
  // replaced, does not come back.
  EXPECT_TRUE(WaitFor([] { return GetClipboardText(nullptr, 0) == -1; })) << ClipboardText();
  EXPECT_EQ(platform::testing::ReadSystemClipboard(), "");
  // The library can set it again.
  EXPECT_EQ(SetClipboardText("ours again"), 0);
  EXPECT_EQ(ClipboardText(), "ours again");
}

}  // namespace
