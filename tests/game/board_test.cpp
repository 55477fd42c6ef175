// The board's rules and the Play frame's logic, on fake input, clock, random numbers and sound.
#include <gtest/gtest.h>

#include <cstring>

#include "fake_game_services.h"
#include "game.h"
#include "game_resources.h"

namespace {

constexpr int kTurnSound = 500;
constexpr int kRowSound = 501;
constexpr int kGameOverSound = 502;

class BoardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GameSounds[0] = kTurnSound;
    GameSounds[1] = kRowSound;
    GameSounds[2] = kGameOverSound;
    // RandomUpTo(6) = 5 deals shape 6 (the square), RandomUpTo(3) = 0 turn 0, for every piece.
    for (int i = 0; i < 200; ++i) services.randomScript.insert(services.randomScript.end(), {5, 0});
  }

  // Takes the falling piece out and puts `piece` in its place.
  void SetCurrent(GameBoard& board, PiecePosition piece) {
    board.RemovePiece(board.current.x, board.current.y, board.current.shape, board.current.turn);
    board.current = piece;
    ASSERT_TRUE(board.PlacePiece(piece.x, piece.y, piece.shape, piece.turn, 0));
  }

  // Fills columns 1 to 10 of a row with shape 3's value, leaving the listed columns empty.
  static void FillRow(GameBoard& board, int row, std::initializer_list<int> gaps = {}) {
    for (int x = 1; x <= 10; ++x) board.Cell(x, row) = 3;
    for (int x : gaps) board.Cell(x, row) = EmptyCell;
  }

  int CountSounds(int handle) const {
    int count = 0;
    for (int played : services.soundsPlayed) count += played == handle;
    return count;
  }

  FakeGameServices services;
};

TEST_F(BoardTest, ShapeTableAndQuarterTurnsClockwiseOnScreen) {
  GameBoard board(services);
  EXPECT_EQ(services.seeds, std::vector<int>{10});
  const int turnCounts[8] = {1, 2, 4, 4, 2, 2, 1, 4};
  for (int shape = 0; shape < 8; ++shape) EXPECT_EQ(board.shapes[shape].turnCount, turnCounts[shape]);
  // Shape 2's (1, 1) through its four turns: (dx, dy) -> (dy, -dx).
  const PieceOffset expected[4] = {{1, 1}, {1, -1}, {-1, -1}, {-1, 1}};
  for (int turn = 0; turn < 8; ++turn) {
    const PieceOffset offset = board.TurnedOffset(2, turn, 2);
    EXPECT_EQ(offset.dx, expected[turn % 4].dx) << "turn " << turn;
    EXPECT_EQ(offset.dy, expected[turn % 4].dy) << "turn " << turn;
  }
}

TEST_F(BoardTest, ResetBuildsWallsDealsShapeBeforeTurnAndWritesTheFirstPiece) {
  services.randomScript = {1, 3, 6, 2};  // Shape 2 turn 3, then shape 7 turn 2.
  GameBoard board(services);
  board.Reset();
  EXPECT_EQ(services.randomMaxima, (std::vector<int>{6, 3, 6, 3}));
  EXPECT_EQ(board.current.shape, 2);
  EXPECT_EQ(board.current.turn, 3);
  EXPECT_EQ(board.next.shape, 7);
  EXPECT_EQ(board.next.turn, 2);
  EXPECT_EQ(board.current.x, 5);
  EXPECT_EQ(board.current.y, 21);
  EXPECT_TRUE(board.dropArmed);
  EXPECT_EQ(board.gameOver, 0);
  for (int y = 0; y < 25; ++y) EXPECT_EQ(board.Cell(0, y), WallCell);
  for (int y = 0; y < 25; ++y) EXPECT_EQ(board.Cell(11, y), WallCell);
  for (int x = 0; x < 12; ++x) EXPECT_EQ(board.Cell(x, 0), WallCell);
  // Shape 2 in turn 3: (-1, 0) -> (0, -1), (1, 0) -> (0, 1), (1, 1) -> (-1, 1).
  int written = 0;
  for (int x = 1; x <= 10; ++x) {
    for (int y = 1; y <= 24; ++y) written += board.Cell(x, y) != EmptyCell;
  }
  EXPECT_EQ(written, 4);
  EXPECT_EQ(board.Cell(5, 21), 2);
  EXPECT_EQ(board.Cell(5, 20), 2);
  EXPECT_EQ(board.Cell(5, 22), 2);
  EXPECT_EQ(board.Cell(4, 22), 2);
}

TEST_F(BoardTest, TurningTheSquareChangesNothingAndStillPlaysTheTurnSound) {
  GameBoard board(services);
  board.Reset();
  SetCurrent(board, PiecePosition{5, 10, 6, 0});
  int32_t before[sizeof board.cells / sizeof board.cells[0]];
  std::memcpy(before, board.cells, sizeof before);
  services.padBits = PadUp;
  EXPECT_FALSE(board.MoveByInput());
  EXPECT_EQ(std::memcmp(before, board.cells, sizeof before), 0);
  EXPECT_EQ(services.soundsPlayed, std::vector<int>{kTurnSound});
}

TEST_F(BoardTest, ABlockedTurnLeavesThePieceAndStillPlaysTheTurnSound) {
  struct Case {
    const char* name;
    PiecePosition piece;
    int blockX, blockY;  // 0, 0: the wall blocks.
  };
  const Case cases[] = {
      // The horizontal bar turned upright needs (5, 9): a locked cell is there.
      {"into a cell", {5, 10, 1, 0}, 5, 9},
      // The upright bar at column 1 turned flat needs column 0: the wall.
      {"into the wall", {1, 10, 1, 1}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    services.soundsPlayed.clear();
    GameBoard board(services);
    board.Reset();
    if (c.blockX) board.Cell(c.blockX, c.blockY) = 4;
    SetCurrent(board, c.piece);
    int32_t before[sizeof board.cells / sizeof board.cells[0]];
    std::memcpy(before, board.cells, sizeof before);
    services.padBits = PadUp;
    board.MoveByInput();
    EXPECT_EQ(board.current.turn, c.piece.turn);
    EXPECT_EQ(std::memcmp(before, board.cells, sizeof before), 0);
    EXPECT_EQ(services.soundsPlayed, std::vector<int>{kTurnSound});
  }
}

TEST_F(BoardTest, LeftWithDownMovesLeftWithoutASoftDrop) {
  GameBoard board(services);
  board.Reset();
  SetCurrent(board, PiecePosition{5, 10, 6, 0});
  services.padBits = PadLeft | PadDown;
  EXPECT_FALSE(board.MoveByInput());
  EXPECT_EQ(board.current.x, 4);
  EXPECT_EQ(board.current.y, 10);
  EXPECT_EQ(board.Cell(4, 10), 6);
  EXPECT_EQ(board.Cell(6, 10), EmptyCell);
  EXPECT_TRUE(services.soundsPlayed.empty());
}

TEST_F(BoardTest, MovesStopAtTheWallsAndOnlyTheFirstHeldInputCounts) {
  GameBoard board(services);
  board.Reset();
  SetCurrent(board, PiecePosition{1, 10, 6, 0});
  services.padBits = PadLeft;
  board.MoveByInput();
  EXPECT_EQ(board.current.x, 1);
  services.padBits = PadRight | PadUp;  // Right wins over the turn: no turn sound.
  board.MoveByInput();
  EXPECT_EQ(board.current.x, 2);
  EXPECT_TRUE(services.soundsPlayed.empty());
  SetCurrent(board, PiecePosition{9, 10, 6, 0});
  services.padBits = PadRight;
  board.MoveByInput();
  EXPECT_EQ(board.current.x, 9);
}

// The Play frame's logic on a board with a prepared well. The clock stays put unless a test moves
// it, so only the inputs move pieces.
class PlayLogicTest : public BoardTest {
 protected:
  void SetUp() override {
    BoardTest::SetUp();
    game.ChangeState(PlayState);
    ASSERT_EQ(game.state, PlayState);
  }

  CGame game{services};
};

TEST_F(PlayLogicTest, TwoFullRowsWithAPartialRowBetweenScore30) {
  FillRow(game.board, 1, {10});
  FillRow(game.board, 2, {4, 10});
  FillRow(game.board, 3, {10});
  // The upright bar in column 10 covers rows 1 to 4 and rests on the floor.
  SetCurrent(game.board, PiecePosition{10, 3, 1, 1});
  services.now += 600;
  game.RunPlayLogic();
  EXPECT_EQ(game.scores.score, 30);
  EXPECT_EQ(game.scores.lines, 2);
  EXPECT_EQ(CountSounds(kRowSound), 2);
  // The partial row moved down to row 1, the bar's top cell to row 2.
  for (int x = 1; x <= 10; ++x) EXPECT_EQ(game.board.Cell(x, 1), x == 4 ? EmptyCell : (x == 10 ? 1 : 3)) << x;
  for (int x = 1; x <= 9; ++x) EXPECT_EQ(game.board.Cell(x, 2), EmptyCell) << x;
  EXPECT_EQ(game.board.Cell(10, 2), 1);
}

TEST_F(PlayLogicTest, FourRowsScore150WithFourRowSoundsAndLiftTheHighScore) {
  game.scores.highScore = 100;
  for (int row = 1; row <= 4; ++row) FillRow(game.board, row, {10});
  game.board.Cell(2, 5) = 4;  // Falls to row 1.
  SetCurrent(game.board, PiecePosition{10, 3, 1, 1});
  services.now += 600;
  game.RunPlayLogic();
  EXPECT_EQ(game.scores.score, 150);
  EXPECT_EQ(game.scores.lines, 4);
  EXPECT_EQ(game.scores.highScore, 150);
  EXPECT_EQ(CountSounds(kRowSound), 4);
  EXPECT_EQ(game.board.Cell(2, 1), 4);
  for (int x = 3; x <= 10; ++x) EXPECT_EQ(game.board.Cell(x, 1), EmptyCell) << x;
  EXPECT_EQ(game.board.Cell(1, 1), EmptyCell);
}

TEST_F(PlayLogicTest, ScoresForOneToFourRowsAndTheHighScoreRisesOnlyPastIt) {
  const int points[5] = {0, 10, 30, 70, 150};
  for (int rows = 0; rows <= 4; ++rows) {
    game.scores = ScoreRecord{200, 0, 0};
    game.AddScoreForRows(rows);
    EXPECT_EQ(game.scores.score, points[rows]);
    EXPECT_EQ(game.scores.lines, rows);
    EXPECT_EQ(game.scores.highScore, 200);
  }
  game.scores = ScoreRecord{195, 190, 7};
  game.AddScoreForRows(1);
  EXPECT_EQ(game.scores.highScore, 200);
  EXPECT_EQ(game.scores.lines, 8);
}

TEST_F(PlayLogicTest, AfterASoftDroppedLockTheHeldDownDropsNothingUntilPressedAgain) {
  services.padBits = PadDown;
  // The square falls a row every frame from row 21 to row 1, then locks on the next frame.
  int frames = 0;
  while (game.board.current.y == 21 && frames < 3) game.RunPlayLogic(), ++frames;
  EXPECT_EQ(game.board.current.y, 20);
  for (int i = 0; i < 19; ++i) game.RunPlayLogic();
  EXPECT_EQ(game.board.current.y, 1);
  game.RunPlayLogic();  // Locks; the next square appears at row 21.
  EXPECT_EQ(game.board.current.y, 21);
  EXPECT_EQ(game.board.Cell(5, 1), 6);
  EXPECT_FALSE(game.board.dropArmed);

  for (int i = 0; i < 40; ++i) game.RunPlayLogic();
  EXPECT_EQ(game.board.current.y, 21) << "the held down key must not drop the next piece";

  services.padBits = 0;
  for (int i = 0; i < 10; ++i) game.RunPlayLogic();  // One 10th frame sees the key let go.
  EXPECT_TRUE(game.board.dropArmed);
  services.padBits = PadDown;
  for (int i = 0; i < 10; ++i) game.RunPlayLogic();
  EXPECT_LT(game.board.current.y, 21);
}

TEST_F(PlayLogicTest, TimedFallsEvery600msInTheFirstMinuteAnd200msFromTheFifth) {
  struct Case {
    int minutesPlayed;
    int interval;  // Two fall intervals.
  };
  const Case cases[] = {{0, 600}, {1, 500}, {2, 400}, {3, 300}, {4, 200}, {30, 200}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.minutesPlayed);
    game.ChangeState(GameOverState);
    game.ChangeState(PlayState);
    const int start = services.now;
    game.lastFallTime = services.now = start + c.minutesPlayed * 60000;
    const int y = game.board.current.y;
    services.now += c.interval - 1;
    game.RunPlayLogic();
    EXPECT_EQ(game.board.current.y, y);
    services.now += 1;
    game.RunPlayLogic();
    EXPECT_EQ(game.board.current.y, y - 1);
    EXPECT_EQ(game.lastFallTime, services.now);
    services.now += c.interval - 1;
    game.RunPlayLogic();
    EXPECT_EQ(game.board.current.y, y - 1);
  }
}

TEST_F(PlayLogicTest, TimedFallsGoOnAcrossTheClocksWrap) {
  game.playStartTime = game.lastFallTime = 0x7FFFFFFF - 299;
  services.now = 299;  // 599 ms later, after the wrap.
  const int y = game.board.current.y;
  game.RunPlayLogic();
  EXPECT_EQ(game.board.current.y, y);
  services.now = 300;
  game.RunPlayLogic();
  EXPECT_EQ(game.board.current.y, y - 1);
  EXPECT_EQ(ElapsedMilliseconds(0x7FFFFFF0, 5), 21);
  EXPECT_EQ(ElapsedMilliseconds(5, 5), 0);
}

// Column 5 holds locked cells up to row 19, so a square at row 20 locks with its top half in
// row 21, where the next piece would appear.
void StackToTheTop(GameBoard& board) {
  for (int y = 1; y <= 19; ++y) board.Cell(5, y) = 3;
}

TEST_F(PlayLogicTest, ABlockedNewPieceEndsTheGameMarkingTheVisibleCells) {
  StackToTheTop(game.board);
  SetCurrent(game.board, PiecePosition{5, 20, 6, 0});
  services.now += 600;
  game.RunPlayLogic();
  EXPECT_EQ(game.board.gameOver, 1);
  EXPECT_EQ(game.state, GameOverState);
  EXPECT_EQ(CountSounds(kGameOverSound), 1);
  for (int y = 1; y <= 20; ++y) EXPECT_EQ(game.board.Cell(5, y), FinishedCell) << y;
  EXPECT_EQ(game.board.Cell(6, 20), FinishedCell);
  // Above the visible rows the locked square keeps its value; the new piece was not written.
  EXPECT_EQ(game.board.Cell(5, 21), 6);
  EXPECT_EQ(game.board.Cell(6, 21), 6);
  EXPECT_EQ(game.board.Cell(5, 22), EmptyCell);
  EXPECT_EQ(game.board.Cell(4, 21), EmptyCell);
}

TEST_F(PlayLogicTest, ASoftDropThatEndsTheGameIsNotFollowedByATimedFallInTheSameFrame) {
  StackToTheTop(game.board);
  SetCurrent(game.board, PiecePosition{5, 20, 6, 0});
  services.padBits = PadDown;
  services.now += 5000;  // A timed fall is long due as well.
  game.RunPlayLogic();
  EXPECT_EQ(game.board.gameOver, 1);
  EXPECT_EQ(CountSounds(kGameOverSound), 1);
  EXPECT_EQ(game.board.Cell(5, 21), 6);
  EXPECT_EQ(game.board.Cell(6, 21), 6);
  EXPECT_EQ(game.board.Cell(5, 20), FinishedCell);
  EXPECT_EQ(game.state, GameOverState);
}

TEST(FirstPieces, EveryRunDealsTheSameFirstPieces) {
  // Each run makes a game (its board seeds 10), seeds 10 again at start-up, and starts a game.
  auto firstPieces = [] {
    FakeGameServices services;
    services.useLibraryRandom = true;
    CGame game(services);
    services.SeedRandom(10);
    std::vector<int> pieces;
    for (int i = 0; i < 3; ++i) {
      game.ChangeState(PlayState);
      pieces.insert(pieces.end(),
                    {game.board.current.shape, game.board.current.turn, game.board.next.shape, game.board.next.turn});
      game.ChangeState(GameOverState);
    }
    // Draw the generator on, as a game would, before the next run starts.
    for (int i = 0; i < 50; ++i) ::RandomUpTo(6);
    return pieces;
  };
  const std::vector<int> first = firstPieces();
  EXPECT_EQ(firstPieces(), first);
  // Seed 10 of the library's generator: an S-shape in turn 1, then the bar in turn 1, then the
  // T in turn 1 and the other S-shape in turn 3.
  EXPECT_EQ(std::vector<int>(first.begin(), first.begin() + 8), (std::vector<int>{5, 1, 1, 1, 7, 1, 4, 3}));
  for (size_t i = 0; i < first.size(); i += 2) {
    EXPECT_GE(first[i], 1);
    EXPECT_LE(first[i], 7);
    EXPECT_GE(first[i + 1], 0);
    EXPECT_LE(first[i + 1], 3);
  }
}

}  // namespace
