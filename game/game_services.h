// What Pylon Rush asks of the library, as two interfaces. The program fills them with the
// library's own calls (LibraryServices); the tests fill them with fakes, so the rules, the frame
// loop and the screens run without a window, a clock or a sound device.
#pragma once

#include "platform/types.h"

// The board's view of the library: the pad bits, the random numbers and the sounds.
class BoardServices {
 public:
  virtual ~BoardServices() = default;
  // kind: pad number, plus 0x1000 to merge the keyboard (the game passes 0x1001).
  virtual int GetPadInputBits(int kind) = 0;
  virtual int SeedRandom(int seed) = 0;
  // 0 to max inclusive.
  virtual int RandomUpTo(int max) = 0;
  virtual int PlaySoundHandle(int handle, int playType, int fromStart) = 0;
};

// Everything else the game calls: window settings, start-up and shut-down, the clock, the
// screen, graphs, fonts, sound loading and the message box.
class GameServices : public BoardServices {
 public:
  // Window settings; before start-up the library only records them.
  virtual int ChangeWindowTitle(const char* text) = 0;
  virtual int ApplyWindowIcon(int id) = 0;
  virtual int SetScreenMode(int width, int height, int colorBits, int refresh) = 0;
  virtual int ChangeWindowMode(int windowed) = 0;

  virtual int InitializeLibrary() = 0;
  virtual int FinishLibrary() = 0;
  // 0 while the program should go on.
  virtual int ProcessWindowMessages() = 0;
  virtual int IsKeyDown(int key) = 0;
  virtual int SetCursorVisible(int visible) = 0;
  virtual int MoveMouseCursor(int x, int y) = 0;

  // A 31-bit millisecond count: it wraps to 0 after 0x7FFFFFFF.
  virtual int GetMillisecondCount() = 0;
  virtual void Sleep(DWORD milliseconds) = 0;
  virtual int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) = 0;

  // Screens and drawing.
  virtual int SelectDrawTarget(int target) = 0;
  virtual int ClearDrawScreenAll() = 0;
  virtual int FlipScreen() = 0;
  virtual unsigned MakeColorCode(int red, int green, int blue) = 0;
  virtual int LoadGraphFile(const char* name, int flag) = 0;
  virtual int CutSubGraph(int x, int y, int width, int height, int sourceGraph) = 0;
  virtual int DrawGraphAt(int x, int y, int graph, int transparent) = 0;
  virtual void DrawBoxShape(int x1, int y1, int x2, int y2, unsigned color, int fill) = 0;

  // Fonts.
  virtual int CreateFontToHandle(const char* faceName, int size, int thickness, int fontType, int charSet, int edgeSize,
                                 int italic, int slot, int checkCount) = 0;
  virtual int MeasureTextWidth(const char* text, int length, int font, int vertical) = 0;
  virtual int DrawTextWithFont(int x, int y, const char* text, unsigned color, int font, unsigned edgeColor,
                               int vertical) = 0;

  virtual int LoadSoundFile(const char* name, int bufferCount, int sharedStream) = 0;
};
