// Display modes, the program's own changes of the desktop's mode, vertical-blank pacing and the
// one-line screen queries. The blank is measured once per graphics start-up through DirectDraw;
// the wait then sleeps in 1 ms steps until 3 ms before the expected blank and only then blocks,
// so the processor stays free. Times are the microsecond clock's.
#include "graphics/device/display_modes.h"

#include "graphics/device/render_device.h"
#include "graphics/graphs/draw_state.h"
#include "graphics/graphs/screen_settings.h"
#include "window/window_services.h"

ScreenSettings g_screenSettings;

namespace {

struct DisplayModeList {
  int count = -1;  // -1: not listed yet.
  DisplayModeEntry* entries = nullptr;
} g_displayModes;

int64_t Now() { return static_cast<int64_t>(GetMicrosecondCount(0)); }

void WaitForBlank(IDirectDraw7* directDraw) { directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr); }

}  // namespace

// ---- Display modes ----

int GetDisplayModeCount() {
  if (g_displayModes.count < 0) CollectDisplayModes(&g_displayModes.count, &g_displayModes.entries);
  return g_displayModes.count;
}

DisplayModeEntry* GetDisplayModeEntry(DisplayModeEntry* out, int index) {
  if (index < 0 || index >= GetDisplayModeCount())
    *out = DisplayModeEntry{-1, -1, -1, -1};
  else
    *out = g_displayModes.entries[index];
  return out;
}

int IsDisplayModeAvailable(int width, int height, int colorBits) {
  for (int i = 0; i < GetDisplayModeCount(); ++i) {
    const DisplayModeEntry& mode = g_displayModes.entries[i];
    if (mode.width == width && mode.height == height && mode.bits == colorBits) return 1;
  }
  return 0;
}

void FreeDisplayModeList() {
  if (g_displayModes.entries) HeapFree(GetProcessHeap(), 0, g_displayModes.entries);
  g_displayModes = DisplayModeList{};
}

int ChangeDisplayMode() {
  ScreenSettings& screen = g_screenSettings;
  WriteLogFormat("画面モードの変更処理を開始します %u x %u  %u bit ", static_cast<unsigned>(screen.Width),
                 static_cast<unsigned>(screen.Height), static_cast<unsigned>(screen.ColorBits));
  PushLogIndent();
  if (screen.ColorBits != 16 && screen.ColorBits != 32) {
    PopLogIndent();
    return -1;
  }
  AddLogText("画面解像度を変更します... ");
  DEVMODEA mode = {};
  mode.dmSize = 156;
  mode.dmBitsPerPel = static_cast<DWORD>(screen.ColorBits);
  mode.dmPelsWidth = static_cast<DWORD>(screen.Width);
  mode.dmPelsHeight = static_cast<DWORD>(screen.Height);
  mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
  if (screen.Refresh != 0) {
    mode.dmDisplayFrequency = static_cast<DWORD>(screen.Refresh);
    mode.dmFields |= DM_DISPLAYFREQUENCY;
  }
  bool changed = ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL;
  if (!changed) {
    // Without the refresh rate, then a refused 320 x 240 as 640 x 480 shown at half size.
    mode.dmFields &= ~static_cast<DWORD>(DM_DISPLAYFREQUENCY);
    mode.dmDisplayFrequency = 0;
    screen.Refresh = 0;
    changed = ChangeDisplaySettingsA(&mode, 0) == DISP_CHANGE_SUCCESSFUL;
    if (!changed && screen.Width == 320 && screen.Height == 240) {
      screen.Width = 640;
      screen.Height = 480;
      g_drawState.Emulate320x240 = 1;
      mode.dmPelsWidth = 640;
      mode.dmPelsHeight = 480;
      changed = ChangeDisplaySettingsA(&mode, 0) == DISP_CHANGE_SUCCESSFUL;
      if (changed) ApplyWindowStyle();
    }
  }
  // Every exit leaves the indent where it found it.
  PopLogIndent();
  if (!changed) {
    AddLogText("画面モードの変更に失敗しました\n");
    return -1;
  }
  g_renderDevice.DisplayModeChanged = 1;
  AddLogText("成功しました\n");
  return 0;
}

// ---- Vertical blank ----

int MeasureVerticalBlankPeriod() {
  ScreenSettings& screen = g_screenSettings;
  IDirectDraw7* directDraw = g_renderDevice.DirectDraw;
  screen.VerticalBlankPeriod = -1;
  if (directDraw) {
    WaitForBlank(directDraw);
    int64_t previousTime = Now(), previousInterval = 0, sum = 0;
    int run = 0;
    for (int tries = 0; run < 10 && tries < 60; ++tries) {
      WaitForBlank(directDraw);
      int64_t now = Now();
      int64_t interval = now - previousTime;
      int64_t difference = interval - previousInterval;
      if (difference > 999 || difference < -999) {
        run = 0;
        sum = 0;
      } else {
        ++run;
        sum += interval;
      }
      if (run == 10) screen.VerticalBlankPeriod = sum / run;
      Sleep(5);
      previousInterval = interval;
      previousTime = now;
    }
  }
  WaitVerticalBlank();
  return 0;
}

void WaitVerticalBlank() {
  ScreenSettings& screen = g_screenSettings;
  IDirectDraw7* directDraw = g_renderDevice.DirectDraw;
  if (!directDraw) return;
  int64_t threshold = screen.VerticalBlankPeriod > 0 ? screen.VerticalBlankPeriod - 3000 : 4000;
  if (Now() - screen.LastVerticalBlankTime >= threshold) {
    WaitForBlank(directDraw);
    screen.LastVerticalBlankTime = Now();
    Sleep(0);
    return;
  }
  Sleep(0);
  while (Now() - screen.LastVerticalBlankTime < threshold) Sleep(1);
  WaitForBlank(directDraw);
  screen.LastVerticalBlankTime = Now();
}

// ---- Screen queries and setters ----

int QueryScreenMode(int* width, int* height, int* colorBits) {
  int w = 0, h = 0;
  GetScreenSizeSetting(&w, &h);
  if (g_screenSettings.Emulating320x240) w = 320, h = 240;
  if (width) *width = w;
  if (height) *height = h;
  if (colorBits) *colorBits = GetScreenColorBits();
  return 0;
}

int GetScreenSizeSetting(int* width, int* height) {
  if (width) *width = g_screenSettings.Width ? g_screenSettings.Width : 640;
  if (height) *height = g_screenSettings.Height ? g_screenSettings.Height : 480;
  return 0;
}

int GetScreenColorBits() { return g_screenSettings.ColorBits ? g_screenSettings.ColorBits : 16; }

int IsFullScreenMode() { return IsWindowedMode() ? 0 : 1; }

int SetHardwareAccelFlag(int flag) {
  if (IsLibraryInitialised()) return -1;
  g_screenSettings.SoftwareRequested = flag ? 0 : 1;
  return 0;
}

int IsHardwareAccelWanted() { return g_screenSettings.SoftwareRequested ? 0 : 1; }

void* GetPrimaryDisplaySurface() { return nullptr; }
