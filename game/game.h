// The game object: start-up, the frame loop and shut-down, the four screens and the play logic.
// Its failures are plain int codes thrown inside it and caught in Run: -1 a missing or unreadable
// picture, sound or save file to write, -7 no save file to read.
#pragma once

#include <cstdint>

#include "game_board.h"
#include "game_services.h"
#include "platform/types.h"

enum GameState : int32_t {
  TitleState = 0,
  PlayState = 1,
  GameClearState = 2,
  GameOverState = 3,
};

struct ScoreRecord {
  int32_t highScore;
  int32_t score;
  int32_t lines;
};

// The frame of a game: its resources and its screens, one virtual operation each. The frame loop
// calls the screen of slot 4 + state.
class CFrame {
 public:
  virtual void LoadResources() = 0;
  virtual void SaveData() = 0;
  virtual void Setup() = 0;
  virtual void NewGame() = 0;
  virtual void TitleScreen() = 0;
  virtual void PlayScreen() = 0;
  virtual void GameClearScreen() = 0;
  virtual void GameOverScreen() = 0;

 protected:
  ~CFrame() = default;
};

class CGame final : public CFrame {
 public:
  explicit CGame(GameServices& services);

  void Run();
  // Entering Play starts a new game; entering the current state does nothing.
  void ChangeState(GameState newState);
  // The screen operation of the current state; nothing for a state outside 0 to 3.
  void RunCurrentScreen();
  // The logic half of a Play frame: input, soft drop, timed fall, scoring, the end of the game.
  void RunPlayLogic();
  // Adds one lock's removed rows to the lines and the score, and lifts the high score with it.
  void AddScoreForRows(int rows);

  void LoadResources() override;
  void SaveData() override;
  void Setup() override;
  void NewGame() override;
  void TitleScreen() override;
  void PlayScreen() override;
  void GameClearScreen() override;
  void GameOverScreen() override;

  // Fields in the order of the record.
  GameState state = TitleState;
  int titleFont = -1;
  int promptFont = -1;
  GameBoard board;
  ScoreRecord scores{0, 0, 0};
  int32_t frameCounter = 0;
  int32_t lastFallTime = 0;
  int32_t playStartTime = 0;
  bool fastFall = false;

 private:
  // The pause that ends a frame: up to 16 ms from the end of the previous pause.
  void PauseAfterFrame();

  GameServices& services_;
};

// The save file's high score; 0 or -1 when the file cannot be opened. Missing bytes at the end
// count as 0, and a negative value from a damaged file as 0.
int ReadSaveFile(int32_t* highScore);
// Each loads its sheet and cuts it into the resource table; throws -1 when the sheet is missing.
int LoadCellTiles(GameServices& services);
int LoadLabelImages(GameServices& services);
int LoadDigitImages(GameServices& services);

// Drawing, screens.cpp.
void DrawBoard(GameServices& services, const GameBoard& board);
void DrawSidePanel(GameServices& services, const ScoreRecord& scores);
// Right-aligned decimal digits ending at x 368, leading zeros drawn.
void DrawNumber(GameServices& services, int count, int value, int y);

// The program entry: runs one game; returns the process exit code.
int WinMain(HINSTANCE instance, HINSTANCE previousInstance, char* commandLine, int showCommand);
