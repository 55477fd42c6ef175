// Without any display the library refuses to start, rather than run a window nobody can see.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "graphics/screen_services.h"
#include "platform/testing.h"
#include "window/window_services.h"
#include "zyvel/runtime.h"

namespace {

TEST(NoDisplayDeathTest, StartUpFailsWithoutADisplay) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  char pattern[] = "/tmp/zyvel-nodisplay-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string directory = pattern;
  EXPECT_EXIT(
      {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("SDL_VIDEODRIVER");
        if (chdir(directory.c_str()) != 0) std::exit(2);
        // Only the missing display may refuse the start, not another test's window.
        platform::testing::SetWindowLockDirectory(directory);
        platform::testing::CaptureDebugOutput([](const std::string&) {});
        g_windowSystem.options.noSound = 1;
        std::exit(InitializeLibrary() == -1 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  std::system(("rm -rf " + directory).c_str());
}

}  // namespace
