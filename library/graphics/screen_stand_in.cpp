// Stand-ins for the graphics services that start-up and shut-down call whose subsystems are not
// built yet: models, soft images and masks.
// Each answers as the real one does when it has nothing to do.
#include "graphics/screen_services.h"

namespace {
struct ScreenStandIn {
  int useMask = 0;
} g_screen;
}  // namespace

int InitModelSystem() { return 0; }
int TerminateModelSystem() { return 0; }
int DeleteAllSoftImages() { return 0; }
int GetUseMaskFlag() { return g_screen.useMask; }
int SetUseMaskFlag(int on) {
  g_screen.useMask = on;
  return 0;
}
