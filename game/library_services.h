// The game's services filled with the library's calls.
#pragma once

#include "game_services.h"

class LibraryServices : public GameServices {
 public:
  int GetPadInputBits(int kind) override;
  int SeedRandom(int seed) override;
  int RandomUpTo(int max) override;
  int PlaySoundHandle(int handle, int playType, int fromStart) override;

  int ChangeWindowTitle(const char* text) override;
  int ApplyWindowIcon(int id) override;
  int SetScreenMode(int width, int height, int colorBits, int refresh) override;
  int ChangeWindowMode(int windowed) override;
  int InitializeLibrary() override;
  int FinishLibrary() override;
  int ProcessWindowMessages() override;
  int IsKeyDown(int key) override;
  int SetCursorVisible(int visible) override;
  int MoveMouseCursor(int x, int y) override;
  int GetMillisecondCount() override;
  void Sleep(DWORD milliseconds) override;
  int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) override;

  int SelectDrawTarget(int target) override;
  int ClearDrawScreenAll() override;
  int FlipScreen() override;
  unsigned MakeColorCode(int red, int green, int blue) override;
  int LoadGraphFile(const char* name, int flag) override;
  int CutSubGraph(int x, int y, int width, int height, int sourceGraph) override;
  int DrawGraphAt(int x, int y, int graph, int transparent) override;
  void DrawBoxShape(int x1, int y1, int x2, int y2, unsigned color, int fill) override;
  int CreateFontToHandle(const char* faceName, int size, int thickness, int fontType, int charSet, int edgeSize,
                         int italic, int slot, int checkCount) override;
  int MeasureTextWidth(const char* text, int length, int font, int vertical) override;
  int DrawTextWithFont(int x, int y, const char* text, unsigned color, int font, unsigned edgeColor,
                       int vertical) override;

  int LoadSoundFile(const char* name, int bufferCount, int sharedStream) override;
};
