// The board's rules. Offsets are tested in table order and the wall holds 9, so a piece against
// a wall fails on its +-1 offset before its offset of 2 is looked at: no look leaves the cells.
#include "game_board.h"

#include "game_resources.h"

namespace {

// Shape 0 is never dealt; 1 the bar, 2 and 3 the L-shapes, 4 and 5 the S-shapes, 6 the square,
// 7 the T.
constexpr PieceShape kShapeTable[8] = {
    {1, {{0, 0}, {0, 0}, {0, 0}}},   {2, {{-1, 0}, {1, 0}, {2, 0}}},  {4, {{-1, 0}, {1, 0}, {1, 1}}},
    {4, {{-1, 0}, {1, 0}, {1, -1}}}, {2, {{-1, 0}, {0, 1}, {1, 1}}},  {2, {{-1, 0}, {0, -1}, {1, -1}}},
    {1, {{1, 0}, {0, 1}, {1, 1}}},   {4, {{-1, 0}, {0, 1}, {0, -1}}},
};

constexpr int kFirstVisibleColumn = 1;
constexpr int kLastVisibleColumn = 10;
constexpr int kLastVisibleRow = 20;
// Rows above this one are always empty when rows are removed, so it keeps its own cells.
constexpr int kTopShiftedRow = 23;

}  // namespace

GameBoard::GameBoard(BoardServices& services) : services_(services) {
  for (int shape = 0; shape < 8; ++shape) shapes[shape] = kShapeTable[shape];
  services_.SeedRandom(10);
}

PieceOffset GameBoard::TurnedOffset(int shape, int turn, int index) const {
  PieceOffset offset = shapes[shape].offsets[index];
  const int turns = turn % shapes[shape].turnCount;
  for (int t = 0; t < turns; ++t) offset = PieceOffset{offset.dy, -offset.dx};  // Clockwise on screen.
  return offset;
}

void GameBoard::DealPiece(PiecePosition* piece) {
  piece->x = kSpawnX;
  piece->y = kSpawnY;
  piece->shape = services_.RandomUpTo(6) + 1;
  piece->turn = services_.RandomUpTo(3);
}

void GameBoard::Reset() {
  for (int x = 0; x < kColumns; ++x) {
    for (int y = 0; y < kRows; ++y) {
      Cell(x, y) = (x == 0 || x == kColumns - 1 || y == 0) ? WallCell : EmptyCell;
    }
  }
  DealPiece(&current);
  bool free = Cell(current.x, current.y) == EmptyCell;
  for (int i = 0; i < 3; ++i) {
    const PieceOffset offset = TurnedOffset(current.shape, current.turn, i);
    free = free && Cell(current.x + offset.dx, current.y + offset.dy) == EmptyCell;
  }
  if (free) PlacePiece(current.x, current.y, current.shape, current.turn, 1);
  DealPiece(&next);
  dropArmed = true;
  gameOver = 0;
}

bool GameBoard::PlacePiece(int x, int y, int shape, int turn, int write) {
  if (Cell(x, y) != EmptyCell) return false;
  if (write) Cell(x, y) = shape;
  for (int i = 0; i < 3; ++i) {
    const PieceOffset offset = TurnedOffset(shape, turn, i);
    int32_t& cell = Cell(x + offset.dx, y + offset.dy);
    if (cell != EmptyCell) return false;
    if (write) cell = shape;
  }
  if (!write) return PlacePiece(x, y, shape, turn, 1);
  return true;
}

void GameBoard::RemovePiece(int x, int y, int shape, int turn) {
  Cell(x, y) = EmptyCell;
  for (int i = 0; i < 3; ++i) {
    const PieceOffset offset = TurnedOffset(shape, turn, i);
    Cell(x + offset.dx, y + offset.dy) = EmptyCell;
  }
}

bool GameBoard::MoveByInput() {
  int x = current.x;
  int turn = current.turn;
  bool softDrop = false;
  const int bits = services_.GetPadInputBits(kPadWithKeyboard);
  if (bits & PadLeft) {
    --x;
  } else if (bits & PadRight) {
    ++x;
  } else if (bits & PadUp) {
    ++turn;
    services_.PlaySoundHandle(GameSounds[TurnSound], 1, 1);  // Also when the turn will not fit.
  } else if (bits & PadDown) {
    softDrop = dropArmed;
  }
  if (!(bits & PadDown)) dropArmed = true;
  if (x == current.x && turn == current.turn) return softDrop;

  RemovePiece(current.x, current.y, current.shape, current.turn);
  if (PlacePiece(x, current.y, current.shape, turn, 0)) {
    current.x = x;
    current.turn = turn;
  } else {
    PlacePiece(current.x, current.y, current.shape, current.turn, 0);
  }
  return softDrop;
}

int GameBoard::FallOneRow() {
  RemovePiece(current.x, current.y, current.shape, current.turn);
  if (PlacePiece(current.x, current.y - 1, current.shape, current.turn, 0)) {
    --current.y;
    return 0;
  }
  PlacePiece(current.x, current.y, current.shape, current.turn, 0);
  const int removed = ClearFullRows();
  TakeNextPiece();
  dropArmed = false;  // The soft drop waits until the down input has been let go once.
  if (!PlacePiece(current.x, current.y, current.shape, current.turn, 0)) {
    EndGame();
    gameOver = 1;
  }
  return removed;
}

int GameBoard::ClearFullRows() {
  int removed = 0;
  int row = 1;
  while (row < kTopShiftedRow) {
    bool full = true;
    for (int x = kFirstVisibleColumn; x <= kLastVisibleColumn; ++x) full = full && Cell(x, row) != EmptyCell;
    if (!full) {
      ++row;
      continue;
    }
    for (int y = row; y < kTopShiftedRow; ++y) {
      for (int x = kFirstVisibleColumn; x <= kLastVisibleColumn; ++x) Cell(x, y) = Cell(x, y + 1);
    }
    ++removed;
    services_.PlaySoundHandle(GameSounds[RowRemovedSound], 1, 1);
  }
  return removed;
}

void GameBoard::TakeNextPiece() {
  current = next;
  DealPiece(&next);
}

void GameBoard::EndGame() {
  for (int x = kFirstVisibleColumn; x <= kLastVisibleColumn; ++x) {
    for (int y = 1; y <= kLastVisibleRow; ++y) {
      if (Cell(x, y) != EmptyCell) Cell(x, y) = FinishedCell;
    }
  }
  services_.PlaySoundHandle(GameSounds[GameOverSound], 1, 1);
}

int FallIntervalForMinute(int minute) {
  static constexpr int kIntervals[] = {300, 250, 200, 150};
  return minute >= 0 && minute < 4 ? kIntervals[minute] : 100;
}

int ElapsedMilliseconds(int earlier, int later) {
  return static_cast<int>((static_cast<uint32_t>(later) - static_cast<uint32_t>(earlier)) & 0x7FFFFFFFu);
}
