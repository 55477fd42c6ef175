// Graphics services that start-up, the main window, the window procedure and the pump call.
// Public calls (SetScreenMode, GetScreenSizeSetting, GetScreenColorBits) are in zyvel/graphics.h.
// The draw state, the rectangle maths and the pixel converter's options are shared with the MEMIMG
// manager, blits and rasteriser.
// Those of the models and fonts are answered by screen_stand_in.cpp until those are built; the
// soft images and masks have their own files.
#pragma once

#include "graphics/draw_state.h"
#include "graphics/image_transfer.h"
#include "graphics/math.h"
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
int DeleteFontHandle(int handle);
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

// ---- What graphics start-up, shut-down and device restarts call in the fonts, vertex and index
// buffers and shaders, models and masks (screen_stand_in.cpp answers for the ones not built yet, as
// each does when it has nothing to do) ----
int StartFontSystem();
int EndFontSystem();
int RecreateAllFonts();
int QueryDefaultFontHandle();
int CheckFontHandle(int handle);
int QueryFontInfo(char* name, int* size, int* thickness, int handle);
int SetDefaultFontSize(const char* name, int size, int thickness);
int DeleteAllVertexBuffers();
int DeleteAllIndexBuffers();
int DeleteAllShaders();
// 1 when the library's shader pack is unpacked in memory, else 0.
int UnpackShaderPack();
// Closes the unpacked shader pack and frees what it holds (graphics shut-down).
int ReleaseShaderPack();
int ReloadModelTextures();
int RebuildAllModelBuffers();
int EndMaskSystem();
int DeleteAllMaskRecords();
int FreeMaskScreen();
int RebuildMaskScreen();
