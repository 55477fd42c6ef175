// What each screen shows in the 408 x 504 window. Every picture is drawn unscaled with the
// transparent colour left out, x and y its top-left corner.
//
// The well: 10 x 20 cells of 24 pixels at x 12 to 251, y 12 to 491, inside a grey frame; row 1
// is drawn at the bottom. The side panel starts at x 280; the next-piece preview is centred on
// the cell at (312, 132) and shows the shape as stored, without its turn, y growing downward.
#include "game.h"
#include "game_resources.h"

namespace {

enum LabelIndex : int {
  TitleFirstWord = 0,
  TitleSecondWord = 1,
  HighScoreCaption = 2,
  ScoreCaption = 3,
  LinesCaption = 4,
  Subtitle = 5,
  GameOverCaption = 6,
  StartPrompt = 7,
};

constexpr int kTransparent = 1;

void DrawLabel(GameServices& services, int label, int x, int y) {
  services.DrawGraphAt(x, y, LabelImages[label], kTransparent);
}

void DrawDigit(GameServices& services, int digit, int x, int y) {
  services.DrawGraphAt(x, y, DigitImages[digit], kTransparent);
}

}  // namespace

void DrawNumber(GameServices& services, int count, int value, int y) {
  static constexpr int kPlaceX[5] = {284, 305, 326, 347, 368};
  static constexpr int kPlaceDivisor[5] = {10000, 1000, 100, 10, 1};
  if (count < 2) return;
  if (value < 0) value = 0;  // A digit must index the table.
  const int first = count >= 5 ? 0 : 5 - count;
  for (int place = first; place < 5; ++place) {
    DrawDigit(services, value / kPlaceDivisor[place] % 10, kPlaceX[place], y);
  }
}

void DrawSidePanel(GameServices& services, const ScoreRecord& scores) {
  DrawLabel(services, TitleFirstWord, 280, 12);
  DrawLabel(services, TitleSecondWord, 280, 42);
  DrawLabel(services, HighScoreCaption, 280, 230);
  DrawNumber(services, 5, scores.highScore, 260);
  DrawLabel(services, LinesCaption, 280, 305);
  const int lines = scores.lines < 0 ? 0 : scores.lines;
  DrawDigit(services, lines % 1000 / 100, 326, 335);
  DrawDigit(services, lines % 100 / 10, 347, 335);
  DrawDigit(services, lines % 10, 368, 335);
  DrawLabel(services, ScoreCaption, 280, 380);
  DrawNumber(services, 5, scores.score, 410);
  DrawLabel(services, Subtitle, 280, 470);
}

void DrawBoard(GameServices& services, const GameBoard& board) {
  services.DrawBoxShape(11, 11, 253, 493, services.MakeColorCode(192, 192, 192), 0);
  for (int column = 1; column <= 10; ++column) {
    for (int row = 1; row <= 20; ++row) {
      services.DrawGraphAt(12 + 24 * (column - 1), 468 - 24 * (row - 1), CellTiles[board.Cell(column, row)],
                           kTransparent);
    }
  }
  const int shape = board.next.shape;
  services.DrawGraphAt(312, 132, CellTiles[shape], kTransparent);
  for (const PieceOffset& offset : board.shapes[shape].offsets) {
    services.DrawGraphAt(312 + 24 * offset.dx, 132 + 24 * offset.dy, CellTiles[shape], kTransparent);
  }
}

void CGame::TitleScreen() {
  DrawLabel(services_, TitleFirstWord, 95, 100);
  DrawLabel(services_, TitleSecondWord, 208, 100);
  DrawLabel(services_, Subtitle, 143, 150);
  DrawLabel(services_, StartPrompt, 110, 370);
  if (services_.GetPadInputBits(kPadWithKeyboard) & PadStart) ChangeState(PlayState);
}

void CGame::PlayScreen() {
  // Drawn before this frame's moves and falls.
  DrawSidePanel(services_, scores);
  DrawBoard(services_, board);
  RunPlayLogic();
}

void CGame::GameOverScreen() {
  DrawSidePanel(services_, scores);
  DrawBoard(services_, board);
  DrawLabel(services_, GameOverCaption, 38, 350);
  DrawLabel(services_, StartPrompt, 38, 400);
  if (services_.GetPadInputBits(kPadWithKeyboard) & PadStart) ChangeState(PlayState);
}

void CGame::GameClearScreen() {
  const unsigned white = services_.MakeColorCode(255, 255, 255);
  int width = services_.MeasureTextWidth("GAME CLEAR", 10, titleFont, 0);
  services_.DrawTextWithFont((408 - width) / 2, 150, "GAME CLEAR", white, titleFont, 0, 0);
  width = services_.MeasureTextWidth("push [S] key", 12, promptFont, 0);
  services_.DrawTextWithFont((408 - width) / 2, 450, "push [S] key", white, promptFont, 0, 0);
  if (services_.GetPadInputBits(kPadWithKeyboard) & PadStart) ChangeState(PlayState);
}
