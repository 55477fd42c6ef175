// The game-wide resource tables: filled once by CGame::LoadResources and never freed by the game
// (the library's shut-down frees every graph and sound).
#pragma once

// Indexed by a cell's value: 0 empty, 1 to 7 the shapes, 8 a cell of a finished game, 9 wall.
extern int CellTiles[10];
// The label pictures; where each is drawn is in screens.cpp.
extern int LabelImages[8];
// The digits 0 to 9.
extern int DigitImages[10];

// The three sounds, in load order.
enum GameSoundIndex : int {
  TurnSound = 0,
  RowRemovedSound = 1,
  GameOverSound = 2,
};
extern int GameSounds[3];

// Milliseconds read after the previous frame's pause; 0 before the first frame.
extern int LastFrameTime;
