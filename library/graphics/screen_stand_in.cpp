// Stand-ins for the screen services that start-up, the window and the pump call, until the
// graphics start-up and screen modes land (images, software images and the device are built; these
// are not). The screen settings are recorded as the real setters record them before start-up;
// graphics start-up answers success so that the library can start without a device.
#include "graphics/screen_services.h"
#include "window/window_services.h"

namespace {
struct ScreenSettingsStandIn {
  int width = 0;
  int height = 0;
  int colorBits = 0;
  int refresh = 0;
  int softwareRequested = 0;
  int emulating320x240 = 0;
  int restoreCallbackSet = 0;
  int drawTarget = -4;
  int useMask = 0;
  int vsyncWait = 1;
  RECT clipArea{0, 0, 0, 0};
  int displayModeCount = -1;
  DisplayModeEntry* displayModes = nullptr;
} g_screen;
}  // namespace

int SetScreenMode(int width, int height, int colorBits, int refresh) {
  if (width == 0 || height == 0 || (colorBits != 8 && colorBits != 16 && colorBits != 32)) return -1;
  if (g_windowSystem.initialised) return -1;
  g_screen.width = width;
  g_screen.height = height;
  g_screen.colorBits = colorBits;
  g_screen.refresh = refresh;
  return 0;
}

int GetScreenSizeSetting(int* width, int* height) {
  if (width) *width = g_screen.width ? g_screen.width : 640;
  if (height) *height = g_screen.height ? g_screen.height : 480;
  return 0;
}

int GetScreenColorBits() { return g_screen.colorBits ? g_screen.colorBits : 16; }

int GetDisplayModeCount() {
  if (g_screen.displayModeCount < 0) CollectDisplayModes(&g_screen.displayModeCount, &g_screen.displayModes);
  return g_screen.displayModeCount;
}

DisplayModeEntry* GetDisplayModeEntry(DisplayModeEntry* out, int index) {
  if (index < 0 || index >= GetDisplayModeCount()) {
    *out = DisplayModeEntry{-1, -1, -1, -1};
    return out;
  }
  *out = g_screen.displayModes[index];
  return out;
}

int IsHardwareAccelWanted() { return !g_screen.softwareRequested; }
int SetEmulating320x240(int on) {
  g_screen.emulating320x240 = on;
  if (on) g_screen.width = 640, g_screen.height = 480;
  return 0;
}

int QueryScreenMode(int* width, int* height, int* colorBits) {
  int w = 0, h = 0;
  GetScreenSizeSetting(&w, &h);
  if (g_screen.emulating320x240) w = 320, h = 240;
  if (width) *width = w;
  if (height) *height = h;
  if (colorBits) *colorBits = GetScreenColorBits();
  return 0;
}

int IsFullScreenMode() { return g_windowSystem.windowedMode ? 0 : 1; }
int ChangeScreenMode(const ScreenModeRequest*) { return 0; }
int InitGraphicsSystem() { return 0; }
int TerminateGraphicsSystem() {
  // The display-mode list is made again on the next start-up.
  if (g_screen.displayModes) HeapFree(GetProcessHeap(), 0, g_screen.displayModes);
  g_screen.displayModes = nullptr;
  g_screen.displayModeCount = -1;
  return 0;
}
int ReviveGraphicsSystem() { return -1; }
int SetGraphRestoreCallback(void (*)()) {
  g_screen.restoreCallbackSet = 1;  // Null selects the default restore function.
  return 0;
}
int HasGraphRestoreCallback() { return g_screen.restoreCallbackSet; }
int SelectDrawTarget(int screen) {
  g_screen.drawTarget = screen;
  return 0;
}
int GetDrawTarget() { return g_screen.drawTarget; }
int InitModelSystem() { return 0; }
int TerminateModelSystem() { return 0; }
int DeleteAllSoftImages() { return 0; }
int DeleteFontHandle(int) { return -1; }
int PresentScreen(const RECT*) { return -1; }
int EndSceneIfOpen() { return 0; }
void* GetDirectDrawObject() { return nullptr; }
int SwitchDialogBoxMode(int) { return 0; }
int GetFlipVSyncWait() { return g_screen.vsyncWait; }
int SetFlipVSyncWait(int on) {
  g_screen.vsyncWait = on;
  return 0;
}
int GetUseMaskFlag() { return g_screen.useMask; }
int SetUseMaskFlag(int on) {
  g_screen.useMask = on;
  return 0;
}
int SetDrawClipArea(int x1, int y1, int x2, int y2) {
  g_screen.clipArea = RECT{x1, y1, x2, y2};
  return 0;
}
int GetDrawClipArea(RECT* out) {
  if (out) *out = g_screen.clipArea;
  return 0;
}
