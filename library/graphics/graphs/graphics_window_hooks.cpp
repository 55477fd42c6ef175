// What the window calls in graphics, handed to it by the library's start-up.
#include "graphics/screen_services.h"

namespace {

int ForgetRestoreCallback() { return SetGraphRestoreCallback(nullptr); }

int SelectStartDrawTargets() {
  SelectDrawTarget(SCREEN_BACK);
  return SelectDrawTarget(SCREEN_FRONT);
}

int ApplyWindowMode() {
  ScreenModeRequest request{-1, -1, -1, 1, -1};
  return ChangeScreenMode(&request);
}

int FullScreenDisplayOpen() { return GetDirectDrawObject() ? 1 : 0; }

// Presenting from the paint message must not wait for the vertical blank.
int PaintClientArea(const RECT* area) {
  if (GetDrawTarget() != SCREEN_BACK) return 0;
  int wait = GetFlipVSyncWait();
  SetFlipVSyncWait(0);
  PresentScreen(area);
  SetFlipVSyncWait(wait);
  return 0;
}

// Setting the mask flag and the clip area again recomputes them for the client area's new place.
int WindowMoved() {
  if (GetDrawTarget() == SCREEN_FRONT) {
    int useMask = GetUseMaskFlag();
    SetUseMaskFlag(0);
    SetUseMaskFlag(useMask);
  }
  RECT area;
  GetDrawClipArea(&area);
  SetDrawClipArea(area.left, area.top, area.right, area.bottom);
  return 0;
}

const WindowGraphicsHooks kGraphicsHooks{
    .start = InitGraphicsSystem,
    .end = TerminateGraphicsSystem,
    .startModels = InitModelSystem,
    .endModels = TerminateModelSystem,
    .deleteAllSoftImages = DeleteAllSoftImages,
    .forgetRestoreCallback = ForgetRestoreCallback,
    .selectStartDrawTargets = SelectStartDrawTargets,
    .screenSize = GetScreenSizeSetting,
    .screenColorBits = GetScreenColorBits,
    .hardwareAccelWanted = IsHardwareAccelWanted,
    .displayModeCount = GetDisplayModeCount,
    .displayModeEntry = GetDisplayModeEntry,
    .setEmulating320x240 = SetEmulating320x240,
    .queryScreenMode = QueryScreenMode,
    .applyWindowMode = ApplyWindowMode,
    .revive = ReviveGraphicsSystem,
    .hasRestoreCallback = HasGraphRestoreCallback,
    .fullScreenDisplayOpen = FullScreenDisplayOpen,
    .paintClientArea = PaintClientArea,
    .windowMoved = WindowMoved,
    .switchDialogBoxMode = SwitchDialogBoxMode,
    .startOnScreenLog = InitOnScreenLog,
    .endOnScreenLog = EndOnScreenLog,
};

}  // namespace

void ConnectGraphicsToWindow() {
  SetWindowGraphicsHooks(&kGraphicsHooks);
  SetMemImgScreenColorBitsQuery(GetScreenColorBits);
}
