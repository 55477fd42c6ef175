// The game's life: window settings, start-up, fonts and resources, the frame loop, the saved
// high score and shut-down; and the logic of a Play frame.
#include "game.h"

#include <unistd.h>

#include <cstdio>

#include "game_resources.h"
#include "zyvel/graphics.h"

int CellTiles[10];
int LabelImages[8];
int DigitImages[10];
int GameSounds[3];
int LastFrameTime = 0;

namespace {

constexpr int kEscapeKey = 1;
constexpr int kFrameMilliseconds = 16;
constexpr UINT kMessageBoxOk = 0;
constexpr int kAntiAliasedFont = 2;

constexpr char kSaveFileName[] = "pylonrush21.dat";
constexpr char kSaveWorkFileName[] = "pylonrush21.dat.new";
constexpr const char* kSoundFileNames[3] = {"pylonrush11.mp3", "pylonrush12.mp3", "pylonrush13.mp3"};
constexpr int kSoundBufferCount = 3;  // One sound can be heard three times at once.

// The save record: the high score and two zero words, little-endian.
constexpr int kSaveRecordBytes = 12;

int LoadSheet(GameServices& services, const char* name) {
  const int sheet = services.LoadGraphFile(name, 0);
  if (sheet == -1) throw -1;
  return sheet;
}

}  // namespace

int ReadSaveFile(int32_t* highScore) {
  FILE* file = std::fopen(kSaveFileName, "rb");
  if (!file) return -1;
  unsigned char record[kSaveRecordBytes] = {};
  // A short file leaves its missing bytes 0.
  [[maybe_unused]] const size_t bytesRead = std::fread(record, 1, sizeof record, file);
  std::fclose(file);
  const uint32_t word = static_cast<uint32_t>(record[0]) | static_cast<uint32_t>(record[1]) << 8 |
                        static_cast<uint32_t>(record[2]) << 16 | static_cast<uint32_t>(record[3]) << 24;
  const int32_t value = static_cast<int32_t>(word);
  // A negative score can only come from a damaged file; it would index the digit pictures.
  *highScore = value < 0 ? 0 : value;
  return 0;
}

int LoadCellTiles(GameServices& services) {
  const int sheet = LoadSheet(services, "pylonrush01.png");
  for (int k = 0; k < 10; ++k) CellTiles[k] = services.CutSubGraph(24 * k, 0, 24, 24, sheet);
  return 0;
}

int LoadLabelImages(GameServices& services) {
  const int sheet = LoadSheet(services, "pylonrush02.png");
  for (int k = 0; k < 6; ++k) LabelImages[k] = services.CutSubGraph(0, 24 * k, 109, 24, sheet);
  LabelImages[6] = services.CutSubGraph(109, 0, 187, 30, sheet);
  LabelImages[7] = services.CutSubGraph(109, 30, 187, 30, sheet);
  return 0;
}

int LoadDigitImages(GameServices& services) {
  const int sheet = LoadSheet(services, "pylonrush03.png");
  for (int d = 0; d < 10; ++d) DigitImages[d] = services.CutSubGraph(21 * d, 0, 21, 24, sheet);
  return 0;
}

CGame::CGame(GameServices& services) : board(services), services_(services) {}

void CGame::Run() {
  services_.ChangeWindowTitle("Pylon Rush");
  services_.ApplyWindowIcon(101);
  services_.SetScreenMode(408, 504, 32, 60);
  services_.ChangeWindowMode(1);
  if (services_.InitializeLibrary() == -1) return;

  services_.SetCursorVisible(0);
  services_.MoveMouseCursor(0, 0);
  services_.SeedRandom(10);
  services_.SelectDrawTarget(SCREEN_BACK);
  titleFont = services_.CreateFontToHandle(nullptr, 64, 9, kAntiAliasedFont, -1, -1, 0, -1, -1);
  promptFont = services_.CreateFontToHandle(nullptr, 24, 9, kAntiAliasedFont, -1, -1, 0, -1, -1);

  try {
    LoadResources();
  } catch (int code) {
    // A missing save file (-7) ends the run without a word; nothing is saved or shut down.
    if (code == -1) services_.MessageBoxA(nullptr, "LOAD FILE ERROR", "MESSAGE", kMessageBoxOk);
    return;
  }
  Setup();
  ChangeState(TitleState);

  while (services_.ProcessWindowMessages() == 0 && services_.IsKeyDown(kEscapeKey) == 0) {
    services_.ClearDrawScreenAll();
    RunCurrentScreen();
    services_.FlipScreen();
    PauseAfterFrame();
  }

  try {
    SaveData();
  } catch (int code) {
    if (code == -1) services_.MessageBoxA(nullptr, "SAVE FILE ERROR", "MESSAGE", kMessageBoxOk);
  }
  services_.FinishLibrary();
}

void CGame::PauseAfterFrame() {
  // Measured on the 31-bit clock across its wrap, so the pause stays within 0 to 16 ms.
  const int spent = ElapsedMilliseconds(LastFrameTime, services_.GetMillisecondCount());
  if (spent < kFrameMilliseconds) services_.Sleep(static_cast<DWORD>(kFrameMilliseconds - spent));
  LastFrameTime = services_.GetMillisecondCount();
}

void CGame::RunCurrentScreen() {
  switch (state) {
    case TitleState:
      TitleScreen();
      break;
    case PlayState:
      PlayScreen();
      break;
    case GameClearState:
      GameClearScreen();
      break;
    case GameOverState:
      GameOverScreen();
      break;
  }
}

void CGame::ChangeState(GameState newState) {
  if (state == newState) return;
  state = newState;
  if (newState == PlayState) NewGame();
}

void CGame::LoadResources() {
  LoadCellTiles(services_);
  LoadLabelImages(services_);
  LoadDigitImages(services_);
  for (int i = 0; i < 3; ++i) {
    const int sound = services_.LoadSoundFile(kSoundFileNames[i], kSoundBufferCount, -1);
    if (sound == -1) throw -1;
    GameSounds[i] = sound;
  }
  if (ReadSaveFile(&scores.highScore) == -1) throw -7;
}

void CGame::SaveData() {
  const uint32_t high = static_cast<uint32_t>(scores.highScore);
  const unsigned char record[kSaveRecordBytes] = {
      static_cast<unsigned char>(high), static_cast<unsigned char>(high >> 8), static_cast<unsigned char>(high >> 16),
      static_cast<unsigned char>(high >> 24)};
  // The record goes to a file of its own beside the save and replaces it only once it is whole
  // on disk: a full disk, a crash or a kill part-way leaves the previous high score as it was.
  FILE* file = std::fopen(kSaveWorkFileName, "wb");
  if (!file) throw -1;
  bool written = std::fwrite(record, 1, sizeof record, file) == sizeof record;
  written = std::fflush(file) == 0 && written;
  written = fsync(fileno(file)) == 0 && written;
  written = std::fclose(file) == 0 && written;
  if (!written || std::rename(kSaveWorkFileName, kSaveFileName) != 0) {
    std::remove(kSaveWorkFileName);
    throw -1;
  }
}

void CGame::Setup() {}

void CGame::NewGame() {
  board.Reset();
  scores.score = 0;
  scores.lines = 0;
  frameCounter = 0;
  lastFallTime = playStartTime = services_.GetMillisecondCount();
}

void CGame::AddScoreForRows(int rows) {
  static constexpr int kPointsForRows[5] = {0, 10, 30, 70, 150};
  if (rows < 0 || rows > 4) return;
  scores.lines += rows;
  scores.score += kPointsForRows[rows];
  if (scores.score > scores.highScore) scores.highScore = scores.score;
}

void CGame::RunPlayLogic() {
  // Moves and turns repeat every 10th frame while held; a soft drop, once begun, goes one row
  // every frame.
  if (frameCounter % 10 == 0 || fastFall) {
    if (board.MoveByInput()) {
      frameCounter = 0;
      fastFall = true;
      AddScoreForRows(board.FallOneRow());
    } else {
      fastFall = false;
    }
  }
  // A soft drop that ended the game leaves the finished board alone.
  if (!board.gameOver) {
    const int now = services_.GetMillisecondCount();
    const int interval = FallIntervalForMinute(ElapsedMilliseconds(playStartTime, now) / 60000);
    // More than one interval: a timed fall comes once two have passed.
    if (ElapsedMilliseconds(lastFallTime, now) / interval > 1) {
      AddScoreForRows(board.FallOneRow());
      lastFallTime = now;
    }
  }
  if (board.gameOver == 1 && state != GameOverState) ChangeState(GameOverState);
  ++frameCounter;
}
