// Stand-in for the library's font calls, which the game needs and the library does not offer yet.
// Each body answers as the real call would for a game that draws no text: fonts get numbers, text
// measures 0 pixels and drawing it succeeds without a picture. When the library's fonts are public,
// each body becomes the library call of the same name and arguments, and this file goes.
#include "library_services.h"

namespace {
int g_nextFont = 1;
}  // namespace

int LibraryServices::CreateFontToHandle(const char*, int, int, int, int, int, int, int, int) { return g_nextFont++; }
int LibraryServices::MeasureTextWidth(const char*, int, int, int) { return 0; }
int LibraryServices::DrawTextWithFont(int, int, const char*, unsigned, int, unsigned, int) { return 0; }
