// Stand-in for the library calls the game needs that are not public yet: the graph and box calls,
// and the cursor calls (the screen and font calls go to the library). Each body answers as the real call would for a game that
// draws nothing: a sheet "loads" when its file can be opened (so a missing picture still ends in
// "LOAD FILE ERROR"), cut graphs and fonts get numbers, drawing succeeds without a picture.
//
// When the library's graphics are public, each body becomes the library call of the same name
// and arguments (MakeColorCode returns the library's colour code, DrawBoxShape returns nothing),
// and this file goes.
#include "library_services.h"
#include "zyvel/zyvel.h"

namespace {
int g_nextHandle = 1;
}  // namespace

int LibraryServices::SelectDrawTarget(int target) { return ::SelectDrawTarget(target); }
int LibraryServices::ClearDrawScreenAll() { return ::ClearDrawScreenAll(); }
int LibraryServices::FlipScreen() { return ::FlipScreen(); }
unsigned LibraryServices::MakeColorCode(int red, int green, int blue) {
  return static_cast<unsigned>(::MakeColorCode(red, green, blue));
}

int LibraryServices::LoadGraphFile(const char* name, int) {
  const StreamHandle file = StreamFileOpen(name, 0, 1, 0);
  if (!file) return -1;
  StreamFileClose(file);
  return g_nextHandle++;
}

int LibraryServices::CutSubGraph(int, int, int, int, int sourceGraph) {
  return sourceGraph > 0 ? g_nextHandle++ : -1;
}

int LibraryServices::DrawGraphAt(int, int, int, int) { return 0; }
void LibraryServices::DrawBoxShape(int, int, int, int, unsigned, int) {}

int LibraryServices::CreateFontToHandle(const char* faceName, int size, int thickness, int fontType, int charSet,
                                        int edgeSize, int italic, int slot, int checkValue) {
  return ::CreateFontToHandle(faceName, size, thickness, fontType, charSet, edgeSize, italic, slot, checkValue);
}
int LibraryServices::MeasureTextWidth(const char* text, int length, int font, int vertical) {
  return ::MeasureTextWidth(text, length, font, vertical);
}
int LibraryServices::DrawTextWithFont(int x, int y, const char* text, unsigned color, int font, unsigned edgeColor,
                                      int vertical) {
  return ::DrawTextWithFont(x, y, text, color, font, edgeColor, vertical);
}
