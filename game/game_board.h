// The well, the seven pieces and the rules that move, turn, drop and lock them.
//
// x is the column (growing to the right), y the row (growing upward; row 1 is the bottom row).
// Column 0, column 11 and row 0 are wall and floor; columns 1 to 10, rows 1 to 24 are the well,
// of which rows 1 to 20 are seen. The falling piece lives in the cells like a locked one: moving
// it means taking it out, trying the new place and putting it back when that does not fit.
#pragma once

#include <cstdint>

#include "game_services.h"

// Cell values besides the shape numbers 1 to 7.
enum CellValue : int32_t {
  EmptyCell = 0,
  FinishedCell = 8,
  WallCell = 9,
};

struct PieceOffset {
  int32_t dx;
  int32_t dy;
};

// A shape: how many different turns it has, and its three cells besides the centre (0, 0).
struct PieceShape {
  int32_t turnCount;
  PieceOffset offsets[3];
};

struct PiecePosition {
  int32_t x;
  int32_t y;
  int32_t shape;  // 1 to 7
  int32_t turn;   // Only grows; taken modulo the shape's turn count.
};

// Pad bits the board reads (the keys behind them are the library's default key-to-pad table).
enum PadBit : int {
  PadDown = 0x1,
  PadLeft = 0x2,
  PadRight = 0x4,
  PadUp = 0x8,
  PadStart = 0x100,
};
constexpr int kPadWithKeyboard = 0x1001;

class GameBoard {
 public:
  static constexpr int kColumns = 12;
  static constexpr int kRows = 25;
  static constexpr int kSpawnX = 5;
  static constexpr int kSpawnY = 21;

  // Fills the shape table and seeds the random numbers with 10, so every run deals alike.
  explicit GameBoard(BoardServices& services);

  // A new board: walls and floor, the first piece written, the next piece dealt.
  void Reset();
  // Whether the piece fits; with write 0 a fitting piece is also written, with write 1 every
  // free cell is written as it is looked at (only Reset, which checked first, asks for that).
  bool PlacePiece(int x, int y, int shape, int turn, int write);
  void RemovePiece(int x, int y, int shape, int turn);
  // Acts on the first held input of left, right, turn, down; true when this call asks for a
  // soft drop.
  bool MoveByInput();
  // Drops the piece one row, or locks it; the number of rows the lock removed.
  int FallOneRow();
  int ClearFullRows();
  void TakeNextPiece();
  // Marks the visible cells of the finished game and plays the game-over sound.
  void EndGame();

  int32_t Cell(int x, int y) const { return cells[x * kRows + y]; }
  int32_t& Cell(int x, int y) { return cells[x * kRows + y]; }
  // The offset as it lies in the given turn.
  PieceOffset TurnedOffset(int shape, int turn, int index) const;

  // Fields in the order of the record.
  int32_t gameOver = 0;
  PieceShape shapes[8]{};
  PiecePosition current{};
  PiecePosition next{};
  int32_t cells[kColumns * kRows]{};
  bool dropArmed = true;

 private:
  void DealPiece(PiecePosition* piece);

  BoardServices& services_;
};

// The pause between timed falls, by whole minutes of play: 300, 250, 200, 150, then 100 ms.
int FallIntervalForMinute(int minute);

// Milliseconds from `earlier` to `later` on the 31-bit clock, across its wrap.
int ElapsedMilliseconds(int earlier, int later);
