// Stand-ins for the screen services that start-up, the window and the pump call, until the
// graphics start-up and the screens land (images, software images, the device and the display
// modes are built; these are not). The screen settings are recorded as the real setters record
// them before start-up; graphics start-up answers success so that the library can start without a
// device.
#include "graphics/display_modes.h"
#include "graphics/graph_records.h"
#include "graphics/render_device.h"
#include "graphics/screen_services.h"
#include "graphics/screen_settings.h"
#include "window/window_services.h"

namespace {
struct ScreenStandIn {
  int restoreCallbackSet = 0;
  int useMask = 0;
} g_screen;
}  // namespace

int SetEmulating320x240(int on) {
  g_screenSettings.Emulating320x240 = on;
  if (on) g_screenSettings.Width = 640, g_screenSettings.Height = 480;
  return 0;
}

int SetGraphRestoreCallback(void (*)()) {
  g_screen.restoreCallbackSet = 1;  // Null selects the default restore function.
  return 0;
}
int HasGraphRestoreCallback() { return g_screen.restoreCallbackSet; }
int InitModelSystem() { return 0; }
int TerminateModelSystem() { return 0; }
int DeleteAllSoftImages() { return 0; }
int DeleteFontHandle(int) { return -1; }
int GetUseMaskFlag() { return g_screen.useMask; }
int SetUseMaskFlag(int on) {
  g_screen.useMask = on;
  return 0;
}
