// A stand-in for the library under the game: pad bits and the clock are set by the test, random
// numbers come from a script (or the library's own generator), and every sound, draw and message
// is recorded.
#pragma once

#include <deque>
#include <set>
#include <string>
#include <vector>

#include "game_services.h"
#include "zyvel/runtime.h"

struct DrawCall {
  int x;
  int y;
  int graph;
  bool operator==(const DrawCall&) const = default;
};

class FakeGameServices : public GameServices {
 public:
  // Input, random numbers, sounds.
  int padBits = 0;
  bool useLibraryRandom = false;
  std::deque<int> randomScript;  // Taken in order; when empty, 0.
  std::vector<int> randomMaxima;
  std::vector<int> seeds;
  std::vector<int> soundsPlayed;

  int GetPadInputBits(int kind) override { return kind == 0x1001 ? padBits : 0; }
  int SeedRandom(int seed) override {
    seeds.push_back(seed);
    return useLibraryRandom ? ::SeedRandom(seed) : 0;
  }
  int RandomUpTo(int max) override {
    randomMaxima.push_back(max);
    if (useLibraryRandom) return ::RandomUpTo(max);
    if (randomScript.empty()) return 0;
    const int value = randomScript.front();
    randomScript.pop_front();
    return value;
  }
  int PlaySoundHandle(int handle, int, int) override {
    soundsPlayed.push_back(handle);
    return 0;
  }

  // The clock: each read returns `now`, then moves it on by `tick`.
  int now = 1000;
  int tick = 0;
  std::vector<DWORD> sleeps;
  int GetMillisecondCount() override {
    const int value = now;
    now = static_cast<int>((static_cast<unsigned>(now) + static_cast<unsigned>(tick)) & 0x7FFFFFFFu);
    return value;
  }
  void Sleep(DWORD milliseconds) override { sleeps.push_back(milliseconds); }

  // Start-up, frames and shut-down.
  int initializeResult = 0;
  int framesBeforeQuit = 0;  // ProcessWindowMessages answers 0 this many times, then -1.
  int initializeCalls = 0;
  int finishCalls = 0;
  int clearCalls = 0;
  int flipCalls = 0;
  std::vector<std::string> messages;  // "caption: text"
  std::set<std::string> missingFiles;
  std::vector<std::string> soundFilesLoaded;

  int ChangeWindowTitle(const char*) override { return 0; }
  int ApplyWindowIcon(int) override { return 0; }
  int SetScreenMode(int, int, int, int) override { return 0; }
  int ChangeWindowMode(int) override { return 0; }
  int InitializeLibrary() override {
    ++initializeCalls;
    return initializeResult;
  }
  int FinishLibrary() override {
    ++finishCalls;
    return 0;
  }
  int ProcessWindowMessages() override {
    if (framesBeforeQuit <= 0) return -1;
    --framesBeforeQuit;
    return 0;
  }
  int IsKeyDown(int) override { return 0; }
  int SetCursorVisible(int) override { return 0; }
  int MoveMouseCursor(int, int) override { return 0; }
  int MessageBoxA(HWND, const char* text, const char* caption, UINT) override {
    messages.push_back(std::string(caption) + ": " + text);
    return 1;
  }

  // Screens, graphs and fonts: graph handles are 1000 + the order of their making.
  int nextGraph = 1000;
  std::vector<DrawCall> draws;
  std::vector<int> boxes;  // x1, y1, x2, y2, colour, fill per box
  int SelectDrawTarget(int) override { return 0; }
  int ClearDrawScreenAll() override {
    ++clearCalls;
    return 0;
  }
  int FlipScreen() override {
    ++flipCalls;
    return 0;
  }
  unsigned MakeColorCode(int red, int green, int blue) override {
    return static_cast<unsigned>(red << 16 | green << 8 | blue);
  }
  int LoadGraphFile(const char* name, int) override { return missingFiles.count(name) ? -1 : nextGraph++; }
  int CutSubGraph(int, int, int, int, int) override { return nextGraph++; }
  int DrawGraphAt(int x, int y, int graph, int) override {
    draws.push_back(DrawCall{x, y, graph});
    return 0;
  }
  void DrawBoxShape(int x1, int y1, int x2, int y2, unsigned color, int fill) override {
    boxes.insert(boxes.end(), {x1, y1, x2, y2, static_cast<int>(color), fill});
  }
  // Fonts are numbered by their size.
  int CreateFontToHandle(const char*, int size, int, int, int, int, int, int, int) override { return size; }
  int MeasureTextWidth(const char*, int length, int font, int) override { return length * font / 2 + 1; }
  std::vector<std::string> texts;  // "x,y,font,colour:text"
  int DrawTextWithFont(int x, int y, const char* text, unsigned color, int font, unsigned, int) override {
    texts.push_back(std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(font) + "," +
                    std::to_string(color) + ":" + text);
    return 0;
  }

  int LoadSoundFile(const char* name, int, int) override {
    if (missingFiles.count(name)) return -1;
    soundFilesLoaded.push_back(name);
    return 500 + static_cast<int>(soundFilesLoaded.size()) - 1;
  }
};
