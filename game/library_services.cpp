// The game's services filled with the library's own calls.
#include "library_services.h"

#include "platform/kernel.h"
#include "platform/user.h"
#include "zyvel/zyvel.h"

int LibraryServices::GetPadInputBits(int kind) { return ::GetPadInputBits(kind); }
int LibraryServices::SeedRandom(int seed) { return ::SeedRandom(seed); }
int LibraryServices::RandomUpTo(int max) { return ::RandomUpTo(max); }
int LibraryServices::PlaySoundHandle(int handle, int playType, int fromStart) {
  return ::PlaySoundHandle(handle, playType, fromStart);
}

int LibraryServices::ChangeWindowTitle(const char* text) { return ::ChangeWindowTitle(text); }
int LibraryServices::SetCursorVisible(int visible) { return ::SetCursorVisible(visible); }
int LibraryServices::MoveMouseCursor(int x, int y) { return ::MoveMouseCursor(x, y); }
int LibraryServices::ApplyWindowIcon(int id) { return ::ApplyWindowIcon(id); }
int LibraryServices::SetScreenMode(int width, int height, int colorBits, int refresh) {
  return ::SetScreenMode(width, height, colorBits, refresh);
}
int LibraryServices::ChangeWindowMode(int windowed) { return ::ChangeWindowMode(windowed); }
int LibraryServices::InitializeLibrary() { return ::InitializeLibrary(); }
int LibraryServices::FinishLibrary() { return ::FinishLibrary(); }
int LibraryServices::ProcessWindowMessages() { return ::ProcessWindowMessages(); }
int LibraryServices::IsKeyDown(int key) { return ::IsKeyDown(key); }
int LibraryServices::GetMillisecondCount() { return ::GetMillisecondCount(); }
void LibraryServices::Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }
int LibraryServices::MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
  return ::MessageBoxA(owner, text, caption, type);
}

int LibraryServices::SelectDrawTarget(int target) { return ::SelectDrawTarget(target); }
int LibraryServices::ClearDrawScreenAll() { return ::ClearDrawScreenAll(); }
int LibraryServices::FlipScreen() { return ::FlipScreen(); }
unsigned LibraryServices::MakeColorCode(int red, int green, int blue) {
  return static_cast<unsigned>(::MakeColorCode(red, green, blue));
}
int LibraryServices::LoadGraphFile(const char* name, int flag) { return ::LoadGraphFile(name, flag); }
int LibraryServices::CutSubGraph(int x, int y, int width, int height, int sourceGraph) {
  return ::CutSubGraph(x, y, width, height, sourceGraph);
}
int LibraryServices::DrawGraphAt(int x, int y, int graph, int transparent) {
  return ::DrawGraphAt(x, y, graph, transparent);
}
void LibraryServices::DrawBoxShape(int x1, int y1, int x2, int y2, unsigned color, int fill) {
  ::DrawBoxShape(x1, y1, x2, y2, color, fill);
}

int LibraryServices::CreateFontToHandle(const char* faceName, int size, int thickness, int fontType, int charSet,
                                        int edgeSize, int italic, int slot, int checkCount) {
  return ::CreateFontToHandle(faceName, size, thickness, fontType, charSet, edgeSize, italic, slot, checkCount);
}
int LibraryServices::MeasureTextWidth(const char* text, int length, int font, int vertical) {
  return ::MeasureTextWidth(text, length, font, vertical);
}
int LibraryServices::DrawTextWithFont(int x, int y, const char* text, unsigned color, int font, unsigned edgeColor,
                                      int vertical) {
  return ::DrawTextWithFont(x, y, text, color, font, edgeColor, vertical);
}

int LibraryServices::LoadSoundFile(const char* name, int bufferCount, int sharedStream) {
  return ::LoadSoundFile(name, bufferCount, sharedStream);
}
