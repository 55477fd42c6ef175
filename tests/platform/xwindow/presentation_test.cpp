// The window's pictures under a real X server. Both rendering paths finish their pictures in
// memory, so the window surface goes straight to the X server, not through an OpenGL texture,
// unless the user's SDL_FRAMEBUFFER_ACCELERATION asks for one. SDL makes that choice once per video
// start and the library starts video once per process, so each case runs in a child process,
// forked from this one (which never starts the library) without running the program again.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "graphics/screen_services.h"
#include "platform/testing.h"
#include "window/window_services.h"
#include "x_processes.h"
#include "zyvel/zyvel.h"

namespace {

enum ChildExit { kStraight = 0, kThroughRenderer = 1, kNoStart = 2 };

class PresentationTest : public x_processes::SharedXServerTest {
 protected:
  void SetUp() override {
    SharedXServerTest::SetUp();
    if (IsSkipped()) return;
    char pattern[] = "/tmp/zyvel-xwindow-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    workDirectory_ = pattern;
  }

  void TearDown() override {
    if (!workDirectory_.empty()) std::system(("rm -rf " + workDirectory_).c_str());
  }

  // Runs in the child: starts the library with the variable as given (null: unset), shows one
  // frame and ends with how the window presented it.
  [[noreturn]] void ShowOneFrame(const char* acceleration) {
    if (acceleration)
      setenv("SDL_FRAMEBUFFER_ACCELERATION", acceleration, 1);
    else
      unsetenv("SDL_FRAMEBUFFER_ACCELERATION");
    if (chdir(workDirectory_.c_str()) != 0) std::_Exit(kNoStart);
    platform::testing::SetWindowLockDirectory(workDirectory_);
    platform::testing::CaptureDebugOutput([](const std::string&) {});
    g_windowSystem.options.noSound = 1;
    SetScreenMode(320, 240, 32, 60);
    if (InitializeLibrary() != 0) std::_Exit(kNoStart);
    ClearDrawScreenAll();
    FlipScreen();
    std::_Exit(platform::testing::PresentsThroughRenderer(g_windowSystem.mainWindow) ? kThroughRenderer : kStraight);
  }

  std::string workDirectory_;
};

TEST_F(PresentationTest, TheWindowSurfaceTakesOpenGLOnlyWhenTheUserAsks) {
  GTEST_FLAG_SET(death_test_style, "fast");
  const struct {
    const char* acceleration;
    ChildExit presented;
  } cases[] = {
      {nullptr, kStraight},
      {"0", kStraight},
      {"1", kThroughRenderer},  // The user's choice for a machine where GL presents more cheaply.
  };
  for (const auto& c : cases)
    EXPECT_EXIT(ShowOneFrame(c.acceleration), ::testing::ExitedWithCode(c.presented), "")
        << "SDL_FRAMEBUFFER_ACCELERATION=" << (c.acceleration ? c.acceleration : "(unset)");
}

}  // namespace
