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

// Makes a rectangle of the draw target readable as `out`; -1 for a rectangle outside the target
// or while a lock is held.
int LockDrawScreenBuffer(const RECT* area, BaseImage* out);
int UnlockDrawScreenBuffer();
