// Graphics services that start-up, the main window, the window procedure and the pump call.
// Public calls (SetScreenMode, GetScreenSizeSetting, GetScreenColorBits) are in zyvel/graphics.h.
// The draw state and the pixel converter's options (memimg's) reach the graphics files through here.
// The models, fonts, soft images and masks answer theirs from their own files.
#pragma once

#include "graphics/graphs/draw_state.h"
#include "graphics/models/math.h"
#include "memimg/memimg_services.h"
#include "platform/user.h"
#include "zyvel/graphics.h"

// One display mode as the library lists it.
struct DisplayModeEntry {
  int width;
  int height;
  int bits;
  int refresh;
};

// A screen-mode change: -1 keeps the current value of a field.
struct ScreenModeRequest {
  int width;
  int height;
  int colorBits;
  int force;
  int refresh;
};

int GetDisplayModeCount();
DisplayModeEntry* GetDisplayModeEntry(DisplayModeEntry* out, int index);
int IsHardwareAccelWanted();
int SetEmulating320x240(int on);
int QueryScreenMode(int* width, int* height, int* colorBits);
int IsFullScreenMode();
int ChangeScreenMode(const ScreenModeRequest* request);
int InitGraphicsSystem();
int TerminateGraphicsSystem();
int ReviveGraphicsSystem();
int SetGraphRestoreCallback(void (*callback)());
int HasGraphRestoreCallback();
int GetDrawTarget();
int InitModelSystem();
int TerminateModelSystem();
int DeleteAllSoftImages();
int PresentScreen(const RECT* area);
int EndSceneIfOpen();
void* GetDirectDrawObject();
int SwitchDialogBoxMode(int on);
int GetFlipVSyncWait();
int SetFlipVSyncWait(int on);
int GetUseMaskFlag();
int SetUseMaskFlag(int on);
int SetDrawClipArea(int x1, int y1, int x2, int y2);
int GetDrawClipArea(RECT* out);

// ---- What graphics start-up, shut-down and device restarts call in the masks ----
int EndMaskSystem();
int DeleteAllMaskRecords();
int FreeMaskScreen();
int RebuildMaskScreen();

// ---- What the movie decoder asks of graphics ----
// The Direct3D device when graphics run on it, else null: a Theora movie makes its YUV surface on it.
IDirect3DDevice9* GetMovieSurfaceDevice();
