// The game on the real library (SDL's dummy video and sound drivers): the shipped assets load,
// S starts a game, the down key drops the piece, Escape ends the run, and the high score file is
// written back. Keys go in through the platform's test door, by their DirectInput codes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "game.h"
#include "library_services.h"
#include "platform/testing.h"
#include "runtime/runtime_state.h"
#include "window/window_services.h"
#include "zyvel/zyvel.h"

namespace {

namespace fs = std::filesystem;

constexpr int kEscapeKey = 0x01;
constexpr int kSKey = 0x1F;
constexpr int kDownKey = 0xD0;

// The library's services, with a script of key presses by frame and a look at the game after
// every frame.
class ScriptedLibrary : public LibraryServices {
 public:
  CGame* game = nullptr;
  int frame = 0;
  bool sawPlay = false;
  int lowestPieceRow = 99;

  int ProcessWindowMessages() override {
    ++frame;
    if (game && game->state == PlayState) {
      sawPlay = true;
      lowestPieceRow = std::min(lowestPieceRow, static_cast<int>(game->board.current.y));
    }
    struct Step {
      int frame;
      int key;
      bool down;
    };
    static constexpr Step kScript[] = {
        {3, kSKey, true}, {5, kSKey, false}, {8, kDownKey, true}, {30, kDownKey, false}, {34, kEscapeKey, true},
    };
    for (const Step& step : kScript) {
      if (step.frame == frame) platform::testing::PressKey(step.key, step.down);
    }
    if (frame > 200) return -1;  // The script has failed; end the run all the same.
    return LibraryServices::ProcessWindowMessages();
  }
};

class GameProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pylonrush_program_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
    for (const auto& entry : fs::directory_iterator(fs::path(ZYVEL_SOURCE_DIR) / "assets")) {
      if (entry.path().filename() != "Log.txt") fs::copy(entry.path(), directory_ / entry.path().filename());
    }
    previous_ = fs::current_path();
    fs::current_path(directory_);
    platform::testing::UseDummyVideoDriver();
    platform::testing::UseSoundDriver("dummy");
    platform::testing::SetWindowLockDirectory(directory_.string());
    platform::testing::CaptureDebugOutput([](const std::string&) {});
  }
  void TearDown() override {
    g_windowSystem = WindowSystemRecord{};  // Each run starts the library as a new process would.
    g_runtime = RuntimeRecord{};
    for (int key : {kEscapeKey, kSKey, kDownKey}) platform::testing::PressKey(key, false);
    platform::testing::CaptureDebugOutput({});
    fs::current_path(previous_);
    fs::remove_all(directory_);
  }

  fs::path directory_;
  fs::path previous_;
};

TEST_F(GameProgram, SStartsAGameDownDropsThePieceAndEscapeSavesAndEnds) {
  ScriptedLibrary library;
  CGame* game = new CGame(library);
  library.game = game;
  game->Run();
  EXPECT_TRUE(library.sawPlay);
  EXPECT_LT(library.frame, 50) << "Escape ends the loop";
  EXPECT_LT(library.lowestPieceRow, 10) << "the held down key drops the piece a row a frame";
  delete game;

  std::ifstream save("pylonrush21.dat", std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(save), {}};
  EXPECT_EQ(bytes, std::vector<char>(12, 0));
  EXPECT_TRUE(fs::exists("Log.txt"));
}

// The clear screen, which no play reaches, put up by hand: its two lines of text in the library's
// fonts, white, each centred across the window, and nothing else.
class ClearScreenLibrary : public LibraryServices {
 public:
  CGame* game = nullptr;
  int frame = 0;
  platform::testing::PresentedFrame picture;

  int ProcessWindowMessages() override {
    ++frame;
    if (frame == 2) game->ChangeState(GameClearState);
    if (frame == 6) platform::testing::LastPresentedFrame(&picture);
    if (frame == 7) platform::testing::PressKey(kEscapeKey, true);
    if (frame > 50) return -1;
    return LibraryServices::ProcessWindowMessages();
  }
};

class ClearScreenPath : public GameProgram, public ::testing::WithParamInterface<int> {};

TEST_P(ClearScreenPath, ShowsTwoCentredWhiteLines) {
  platform::testing::KeepPresentedFrames(true);
  SetHardwareAccelFlag(GetParam());
  ClearScreenLibrary library;
  CGame* game = new CGame(library);
  library.game = game;
  game->Run();
  EXPECT_NE(game->titleFont, -1);
  EXPECT_NE(game->promptFont, -1);
  delete game;
  platform::testing::KeepPresentedFrames(false);
  SetHardwareAccelFlag(1);

  const platform::testing::PresentedFrame& picture = library.picture;
  ASSERT_EQ(picture.width, 408);
  ASSERT_EQ(picture.height, 504);
  struct Band {
    int top, bottom;  // The line's rows: its y and the font's size.
    int left = 408, right = -1, white = 0;
  };
  Band bands[2] = {{150, 150 + 64}, {450, 450 + 24}};
  int stray = 0;
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x) {
      const uint32_t pixel = picture.pixels[static_cast<size_t>(y) * picture.width + x] & 0xFFFFFF;
      if (pixel == 0) continue;
      Band* band = nullptr;
      for (Band& candidate : bands)
        if (y >= candidate.top && y < candidate.bottom) band = &candidate;
      if (!band) {
        ++stray;
        continue;
      }
      band->left = std::min(band->left, x);
      band->right = std::max(band->right, x);
      band->white += pixel == 0xFFFFFF;
    }
  EXPECT_EQ(stray, 0) << "only the two lines are drawn";
  for (const Band& band : bands) {
    EXPECT_GT(band.white, 20) << "line at y " << band.top;
    // Centred: as much room on the left as on the right, give or take a glyph's side bearing.
    EXPECT_NEAR(band.left, 408 - 1 - band.right, 6) << "line at y " << band.top;
  }
}

INSTANTIATE_TEST_SUITE_P(RenderingPaths, ClearScreenPath, ::testing::Values(1, 0),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(info.param ? "device" : "software");
                         });

}  // namespace
