// The game on the real library (SDL's dummy video and sound drivers): the shipped assets load,
// S starts a game, the down key drops the piece, Escape ends the run, and the high score file is
// written back. Keys go in through the platform's test door, by their DirectInput codes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "game.h"
#include "library_services.h"
#include "platform/testing.h"

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

}  // namespace
