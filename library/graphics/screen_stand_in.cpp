// Stand-ins for the graphics services that start-up, shut-down and device restarts call whose
// subsystems are not built yet: soft images, fonts and masks. Each answers as the real one does when it has nothing to do.
#include "graphics/screen_services.h"

namespace {
struct ScreenStandIn {
  int useMask = 0;
} g_screen;
}  // namespace

int DeleteAllSoftImages() { return 0; }

// No font exists until the font system is built: the default font handle is never valid.
int StartFontSystem() { return 0; }
int EndFontSystem() { return 0; }
int RecreateAllFonts() { return 0; }
int DeleteFontHandle(int) { return -1; }
int QueryDefaultFontHandle() { return -1; }
int CheckFontHandle(int) { return 0; }
int QueryFontInfo(char*, int*, int*, int) { return -1; }
int SetDefaultFontSize(const char*, int, int) { return 0; }


int GetUseMaskFlag() { return g_screen.useMask; }
int SetUseMaskFlag(int on) {
  g_screen.useMask = on;
  return 0;
}
int EndMaskSystem() {
  g_screen.useMask = 0;
  return 0;
}
int DeleteAllMaskRecords() { return 0; }
int FreeMaskScreen() { return 0; }
int RebuildMaskScreen() { return 0; }
