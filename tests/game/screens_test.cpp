// Where the screens put their pictures, recorded through the fake library.
#include <gtest/gtest.h>

#include <algorithm>

#include "fake_game_services.h"
#include "game.h"
#include "game_resources.h"

namespace {

class ScreensTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Tiles 100-109, labels 200-207, digits 300-309.
    for (int k = 0; k < 10; ++k) CellTiles[k] = 100 + k;
    for (int k = 0; k < 8; ++k) LabelImages[k] = 200 + k;
    for (int d = 0; d < 10; ++d) DigitImages[d] = 300 + d;
  }

  std::vector<DrawCall> DrawsAtRow(int y) const {
    std::vector<DrawCall> row;
    for (const DrawCall& call : services.draws) {
      if (call.y == y) row.push_back(call);
    }
    return row;
  }

  static std::vector<DrawCall> Digits(std::initializer_list<int> digits, int y) {
    static constexpr int kPlaceX[5] = {284, 305, 326, 347, 368};
    std::vector<DrawCall> calls;
    int place = 5 - static_cast<int>(digits.size());
    for (int d : digits) calls.push_back(DrawCall{kPlaceX[place++], y, 300 + d});
    return calls;
  }

  FakeGameServices services;
};

TEST_F(ScreensTest, NumbersAreFiveRightAlignedDigitsWithLeadingZeros) {
  struct Case {
    int count;
    int value;
    std::vector<DrawCall> expected;
  };
  const Case cases[] = {
      {5, 120, Digits({0, 0, 1, 2, 0}, 410)},
      {5, 123456, Digits({2, 3, 4, 5, 6}, 410)},  // Only the last five digits.
      {7, 98765, Digits({9, 8, 7, 6, 5}, 410)},
      {3, 98765, Digits({7, 6, 5}, 410)},
      {2, 98765, Digits({6, 5}, 410)},
      {1, 98765, {}},
      {0, 98765, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.count << " places of " << c.value);
    services.draws.clear();
    DrawNumber(services, c.count, c.value, 410);
    EXPECT_EQ(services.draws, c.expected);
  }
}

TEST_F(ScreensTest, SidePanelShowsLabelsHighScoreLinesAndScore) {
  DrawSidePanel(services, ScoreRecord{4321, 120, 1234});
  const std::vector<DrawCall> expected = {
      {280, 12, 200},  {280, 42, 201},  {280, 230, 202}, {284, 260, 300},
      {305, 260, 304}, {326, 260, 303}, {347, 260, 302}, {368, 260, 301},
      {280, 305, 204}, {326, 335, 302}, {347, 335, 303}, {368, 335, 304},  // 1234 lines show as 234.
      {280, 380, 203}, {284, 410, 300}, {305, 410, 300}, {326, 410, 301},
      {347, 410, 302}, {368, 410, 300}, {280, 470, 205},
  };
  EXPECT_EQ(services.draws, expected);
}

TEST_F(ScreensTest, BoardDrawsTheFrameEveryVisibleCellAndTheUnturnedPreview) {
  GameBoard board(services);
  services.randomScript = {0, 0, 1, 2};  // Current: the bar; next: shape 2 in turn 2.
  board.Reset();
  board.Cell(1, 1) = 3;
  board.Cell(10, 20) = 8;
  board.Cell(4, 21) = 5;  // Above the visible rows: never drawn.
  DrawBoard(services, board);

  EXPECT_EQ(services.boxes, (std::vector<int>{11, 11, 253, 493, 0xC0C0C0, 0}));
  ASSERT_EQ(services.draws.size(), 200u + 4u);
  EXPECT_EQ(services.draws[0], (DrawCall{12, 468, 103}));    // Cell (1, 1) at the bottom left.
  EXPECT_EQ(services.draws[19], (DrawCall{12, 12, 100}));    // Cell (1, 20).
  EXPECT_EQ(services.draws[199], (DrawCall{228, 12, 108}));  // Cell (10, 20) at the top right.
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ((services.draws[i].x - 12) % 24, 0);
    EXPECT_EQ((services.draws[i].y - 12) % 24, 0);
    EXPECT_LE(services.draws[i].x, 228);
    EXPECT_LE(services.draws[i].y, 468);
  }
  // Shape 2 as stored: its fourth cell below the right end of the bar, whatever the turn.
  const std::vector<DrawCall> preview(services.draws.begin() + 200, services.draws.end());
  EXPECT_EQ(preview, (std::vector<DrawCall>{{312, 132, 102}, {288, 132, 102}, {336, 132, 102}, {336, 156, 102}}));
}

TEST_F(ScreensTest, TitleShowsItsLabelsAndSStartsAGame) {
  CGame game(services);
  game.RunCurrentScreen();
  EXPECT_EQ(services.draws, (std::vector<DrawCall>{{95, 100, 200}, {208, 100, 201}, {143, 150, 205}, {110, 370, 207}}));
  EXPECT_EQ(game.state, TitleState);
  services.padBits = PadStart;
  game.RunCurrentScreen();
  EXPECT_EQ(game.state, PlayState);
  EXPECT_EQ(game.board.current.y, 21);
}

TEST_F(ScreensTest, GameOverKeepsTheFinalPictureUntilSStartsTheNextGame) {
  CGame game(services);
  game.scores = ScoreRecord{500, 470, 31};
  game.state = GameOverState;
  for (int frame = 0; frame < 3; ++frame) {
    services.draws.clear();
    game.RunCurrentScreen();
    EXPECT_EQ(game.state, GameOverState);
    ASSERT_EQ(services.draws.size(), 19u + 204u + 2u);
    EXPECT_EQ(services.draws[223], (DrawCall{38, 350, 206}));
    EXPECT_EQ(services.draws[224], (DrawCall{38, 400, 207}));
  }
  services.padBits = PadStart;
  game.RunCurrentScreen();
  EXPECT_EQ(game.state, PlayState);
  EXPECT_EQ(game.scores.score, 0);
  EXPECT_EQ(game.scores.lines, 0);
  EXPECT_EQ(game.scores.highScore, 500);
}

TEST_F(ScreensTest, PlayDrawsTheBoardAsItWasBeforeTheFramesMoves) {
  CGame game(services);
  game.ChangeState(PlayState);
  services.padBits = PadDown;
  game.RunCurrentScreen();  // The soft drop brings the piece's centre into row 20.
  ASSERT_EQ(game.board.current.y, 20);
  services.draws.clear();
  game.RunCurrentScreen();
  EXPECT_EQ(game.board.current.y, 19);
  // The panel comes first, then the board, which shows the centre still in row 20 (y 12).
  EXPECT_EQ(services.draws[0], (DrawCall{280, 12, 200}));
  const DrawCall centre{12 + 24 * (game.board.current.x - 1), 12, 100 + game.board.current.shape};
  EXPECT_NE(std::find(services.draws.begin(), services.draws.end(), centre), services.draws.end());
}

TEST_F(ScreensTest, GameClearCentresItsTwoTextsAndSStartsAGame) {
  CGame game(services);
  game.titleFont = 64;
  game.promptFont = 24;
  game.state = GameClearState;
  game.RunCurrentScreen();
  EXPECT_TRUE(services.draws.empty());
  // Widths 10 x 32 + 1 = 321 and 12 x 12 + 1 = 145: the halves truncate.
  EXPECT_EQ(services.texts,
            (std::vector<std::string>{"43,150,64,16777215:GAME CLEAR", "131,450,24,16777215:push [S] key"}));
  services.padBits = PadStart;
  game.RunCurrentScreen();
  EXPECT_EQ(game.state, PlayState);
}

TEST_F(ScreensTest, AStateOutsideTheFourDrawsNothing) {
  CGame game(services);
  game.state = static_cast<GameState>(7);
  services.padBits = PadStart;
  game.RunCurrentScreen();
  EXPECT_TRUE(services.draws.empty());
  EXPECT_EQ(game.state, 7);
}

}  // namespace
