// The clipboard through a real X server, in a program of its own: SDL stays on the first display
// it opened for the life of the process, so a second server in the key test's program is unseen: Japanese text set by the library reads back from the system
// clipboard as UTF-8, and text put there from outside reads back as CP932.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "graphics/screen_services.h"
#include "platform/kernel.h"
#include "platform/testing.h"
#include "window/window_services.h"
#include "zyvel/runtime.h"

extern char** environ;

// The X11 video driver loads system libraries that keep process-wide caches until exit; their
// blocks are not leaks of ours. Our own code is never suppressed.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\nleak:libX11.so\nleak:libxcb.so\nleak:libfontconfig.so\n";
}

namespace {

TEST(XClipboardTest, JapaneseTextRoundTrip) {
  if (access("/usr/bin/Xvfb", X_OK) != 0) GTEST_SKIP() << "Xvfb missing";
  // Xvfb picks a free display itself and writes its number to the pipe.
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  const std::string displayFd = std::to_string(pipeEnds[1]);
  const char* argv[] = {"Xvfb", "-displayfd", displayFd.c_str(), "-screen", "0", "1024x768x24",
                        "-nolisten", "tcp", nullptr};
  pid_t server = 0;
  ASSERT_EQ(posix_spawn(&server, "/usr/bin/Xvfb", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
  close(pipeEnds[1]);
  std::string number;
  pollfd wait = {pipeEnds[0], POLLIN, 0};
  char digit = 0;
  while (poll(&wait, 1, 10000) > 0 && read(pipeEnds[0], &digit, 1) == 1 && digit != '\n') number += digit;
  close(pipeEnds[0]);
  if (number.empty()) {
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    GTEST_SKIP() << "Xvfb could not start a display here";
  }
  setenv("DISPLAY", (":" + number).c_str(), 1);
  unsetenv("SDL_VIDEODRIVER");
  char previous[4096];
  std::string previousDirectory = getcwd(previous, sizeof(previous)) ? previous : "/";
  char pattern[] = "/tmp/zyvel-xclipboard-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  ASSERT_EQ(chdir(pattern), 0);
  platform::testing::CaptureDebugOutput([](const std::string&) {});

  g_windowSystem.options.noSound = 1;
  SetScreenMode(408, 504, 32, 60);
  ASSERT_EQ(InitializeLibrary(), 0);
  const std::string japanese = "日本語のテキスト";
  EXPECT_EQ(SetClipboardText(japanese.c_str()), 0);
  EXPECT_EQ(platform::testing::ReadSystemClipboard(), platform::Cp932ToUtf8(japanese));
  char text[64] = {};
  EXPECT_GE(GetClipboardText(nullptr, 0), static_cast<int>(japanese.size()) + 1);
  EXPECT_EQ(GetClipboardText(text, sizeof(text)), 0);
  EXPECT_EQ(std::string(text), japanese);
  platform::testing::WriteSystemClipboard(platform::Cp932ToUtf8("かな漢字"));
  EXPECT_EQ(GetClipboardText(text, sizeof(text)), 0);
  EXPECT_EQ(std::string(text), "かな漢字");

  FinishLibrary();
  platform::testing::CaptureDebugOutput({});
  EXPECT_EQ(chdir(previousDirectory.c_str()), 0);
  std::system((std::string("rm -rf ") + pattern).c_str());
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
}

}  // namespace
