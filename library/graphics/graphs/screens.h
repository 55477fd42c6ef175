// Graphics start-up and shut-down, the software path's screen images, and the screens: what the
// program draws into, clearing it, and the flip that shows the finished frame.
#pragma once

#include "graphics/screen_services.h"
#include "zyvel/memimg.h"

// Clearing, flipping and colour codes are public (zyvel/graphics.h).

// The software path's screen: the image every software draw lands in unless a drawable graph is
// the draw target, and two work images of screen size kept beside it.
struct SoftwareScreen {
  MEMIMG ScreenImage = {};
  MEMIMG WorkImages[2] = {};
  MEMIMG* TargetImage = nullptr;  // The screen image, a drawable graph's image, or null.
};
extern SoftwareScreen g_softwareScreen;

int StartDirect3D();
int StartProgrammableShaders();
// Makes the device and its resources again in place (after a loss), or in a new mode when
// `newMode` is 1; -1 when no device or software screen could be started again.
int RestartGraphicsDevice(int newMode, int width, int height, int colorBits, int refresh);
int SetupPrimaryMemImg();
// 1 while the library's own shaders drive the device.
int AreLibraryShadersInUse();

// Presents the screen; in full-screen mode on the device path the program goes on drawing into a
// sub back buffer from then on.
int RefreshAndPresentScreen();
// Makes the sub back buffer (a copy of the back buffer) the render target, once; -1 without a
// device or when it cannot be made.
int PrepareSubBackBuffer();
// The front-screen timer's tick: presents the screen and starts the timer again while the front
// screen is drawn into.
void FrontScreenTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);

// Makes a rectangle of the draw target readable as `out`; -1 for a rectangle outside the target
// or while a lock is held.
int LockDrawScreenBuffer(const RECT* area, BaseImage* out);
int UnlockDrawScreenBuffer();

// The window's background colour as an X8R8G8B8 word: what cleared screens show.
uint32_t BackgroundColor();
