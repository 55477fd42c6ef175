// The game's life on a fake library: resources, the save file, the frame loop and its pauses,
// and what each failure ends in. Each test runs in a fresh directory of its own.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fake_game_services.h"
#include "game.h"
#include "game_resources.h"

namespace {

namespace fs = std::filesystem;

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pylonrush_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
    previous_ = fs::current_path();
    fs::current_path(directory_);
    LastFrameTime = 0;
  }
  void TearDown() override {
    fs::current_path(previous_);
    fs::remove_all(directory_);
  }

  static void WriteSaveFile(const std::vector<unsigned char>& bytes) {
    std::ofstream out("pylonrush21.dat", std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  static std::vector<unsigned char> ReadSaveBytes() {
    std::ifstream in("pylonrush21.dat", std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
  }

  FakeGameServices services;

 private:
  fs::path directory_;
  fs::path previous_;
};

TEST_F(RunTest, SaveFileHighScoreReadsShortAndDamagedFiles) {
  struct Case {
    const char* name;
    std::vector<unsigned char> bytes;
    int32_t expected;
  };
  const Case cases[] = {
      {"twelve bytes", {0x39, 0x30, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 12345},
      {"four bytes", {0x10, 0x27, 0, 0}, 10000},
      {"two bytes: the rest counts as 0", {0xFF, 0x01}, 511},
      {"empty", {}, 0},
      {"longer than a record", {7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 9}, 7},
      {"negative: damaged", {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0}, 0},
      {"most negative", {0, 0, 0, 0x80}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteSaveFile(c.bytes);
    int32_t highScore = -5;
    EXPECT_EQ(ReadSaveFile(&highScore), 0);
    EXPECT_EQ(highScore, c.expected);
  }
  std::remove("pylonrush21.dat");
  int32_t untouched = 99;
  EXPECT_EQ(ReadSaveFile(&untouched), -1);
  EXPECT_EQ(untouched, 99);
}

TEST_F(RunTest, AFullRunLoadsEverythingPlaysFramesAndSavesTheHighScoreAsTwelveBytes) {
  WriteSaveFile({0xE8, 0x03, 0, 0});  // 1000, four bytes only.
  services.framesBeforeQuit = 5;
  services.padBits = PadStart;  // The title's first frame starts a game.
  CGame game(services);
  game.Run();

  EXPECT_EQ(services.soundFilesLoaded,
            (std::vector<std::string>{"pylonrush11.mp3", "pylonrush12.mp3", "pylonrush13.mp3"}));
  EXPECT_EQ(GameSounds[0], 500);
  EXPECT_EQ(GameSounds[2], 502);
  EXPECT_EQ(services.clearCalls, 5);
  EXPECT_EQ(services.flipCalls, 5);
  EXPECT_EQ(game.state, PlayState);
  EXPECT_EQ(services.finishCalls, 1);
  EXPECT_TRUE(services.messages.empty());
  EXPECT_EQ(game.titleFont, 64);  // The fake numbers fonts by their size.
  EXPECT_EQ(game.promptFont, 24);
  // Cut graphs are distinct; tile, label and digit tables are all filled.
  EXPECT_NE(CellTiles[0], CellTiles[9]);
  EXPECT_NE(LabelImages[6], LabelImages[7]);
  EXPECT_NE(DigitImages[0], DigitImages[9]);
  EXPECT_EQ(ReadSaveBytes(), (std::vector<unsigned char>{0xE8, 0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(RunTest, SaveDataWritesTheHighScoreAndTwoZeroWordsOverTheOldFile) {
  WriteSaveFile(std::vector<unsigned char>(20, 0xAA));
  CGame game(services);
  game.scores = ScoreRecord{0x01020304, 55, 6};
  game.SaveData();
  EXPECT_EQ(ReadSaveBytes(), (std::vector<unsigned char>{4, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0}));
}

// A disk with no room left: while it lives no file of this process grows by a byte (writes fail
// with EFBIG instead of ENOSPC, which the game treats alike).
class FullDisk {
 public:
  FullDisk() {
    getrlimit(RLIMIT_FSIZE, &previous_);
    previousSignal_ = signal(SIGXFSZ, SIG_IGN);
    rlimit none = previous_;
    none.rlim_cur = 0;
    setrlimit(RLIMIT_FSIZE, &none);
  }
  ~FullDisk() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    signal(SIGXFSZ, previousSignal_);
  }
  FullDisk(const FullDisk&) = delete;
  FullDisk& operator=(const FullDisk&) = delete;

 private:
  rlimit previous_{};
  sighandler_t previousSignal_ = SIG_DFL;
};

TEST_F(RunTest, ASaveThatCannotBeWrittenLeavesThePreviousSaveWholeAndNoOtherFile) {
  const std::vector<unsigned char> previous{0x39, 0x30, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  WriteSaveFile(previous);
  CGame game(services);
  game.scores = ScoreRecord{99999, 0, 0};
  {
    FullDisk full;
    EXPECT_THROW(game.SaveData(), int);
  }
  EXPECT_EQ(ReadSaveBytes(), previous);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(fs::current_path())) names.push_back(entry.path().filename());
  EXPECT_EQ(names, std::vector<std::string>{"pylonrush21.dat"});

  // With room again the same save goes through, and again leaves only the save file.
  game.SaveData();
  EXPECT_EQ(ReadSaveBytes(), (std::vector<unsigned char>{0x9F, 0x86, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  names.clear();
  for (const auto& entry : fs::directory_iterator(fs::current_path())) names.push_back(entry.path().filename());
  EXPECT_EQ(names, std::vector<std::string>{"pylonrush21.dat"});
}

TEST_F(RunTest, FailuresAtStartEndTheRunAsTheyShould) {
  struct Case {
    const char* name;
    int initializeResult;
    const char* missing;  // A file the fake library cannot load, or null.
    bool saveFile;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"library start-up fails", -1, nullptr, true, {}},
      {"no save file", 0, nullptr, false, {}},
      {"a sheet is missing", 0, "pylonrush02.png", true, {"MESSAGE: LOAD FILE ERROR"}},
      {"a sound is missing", 0, "pylonrush13.mp3", true, {"MESSAGE: LOAD FILE ERROR"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeGameServices fake;
    fake.initializeResult = c.initializeResult;
    if (c.missing) fake.missingFiles.insert(c.missing);
    fake.framesBeforeQuit = 5;
    std::remove("pylonrush21.dat");
    if (c.saveFile) WriteSaveFile({1, 0, 0, 0});
    CGame game(fake);
    game.Run();
    EXPECT_EQ(fake.clearCalls, 0) << "no frame";
    EXPECT_EQ(fake.finishCalls, 0) << "no shut-down";
    EXPECT_EQ(fake.messages, c.messages);
    // Nothing was saved over the file.
    EXPECT_EQ(ReadSaveBytes(), c.saveFile ? std::vector<unsigned char>({1, 0, 0, 0}) : std::vector<unsigned char>{});
  }
}

TEST_F(RunTest, AnUnwritableSaveFileShowsSaveFileErrorAndStillShutsDown) {
  fs::create_directory("pylonrush21.dat");  // Opens for reading as an empty file, never for writing.
  services.framesBeforeQuit = 1;
  CGame game(services);
  game.Run();
  EXPECT_EQ(services.messages, std::vector<std::string>{"MESSAGE: SAVE FILE ERROR"});
  EXPECT_EQ(services.finishCalls, 1);
}

TEST_F(RunTest, FramePausesFillSixteenMillisecondsAndStayBoundedAcrossTheClocksWrap) {
  struct Case {
    const char* name;
    int start;
    int tick;
  };
  const Case cases[] = {
      {"quick frames", 100000, 1},
      {"the clock wraps", 0x7FFFFFFF - 20, 1},
      {"slow frames", 100000, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeGameServices fake;
    WriteSaveFile({0, 0, 0, 0});
    fake.now = c.start;
    fake.tick = c.tick;
    fake.framesBeforeQuit = 30;
    LastFrameTime = 0;
    CGame game(fake);
    game.Run();
    if (c.tick < 16) {
      ASSERT_FALSE(fake.sleeps.empty());
    }
    for (DWORD pause : fake.sleeps) {
      EXPECT_GE(pause, 1u);
      EXPECT_LE(pause, 16u);
    }
    // A frame that reads the clock twice a tick apart (title frames do) pauses 16 - tick.
    if (c.tick == 1) {
      EXPECT_EQ(fake.sleeps.back(), 15u);
    }
    if (c.tick >= 16) {
      EXPECT_TRUE(fake.sleeps.empty());
    }
  }
}

}  // namespace
