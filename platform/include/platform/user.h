// USER32-shaped part of the platform stand-in.
#pragma once

#include "platform/types.h"

// ---- Window classes, windows and messages ----

// ---- Keyboard ----

// ---- Cursor and display ----

// ---- Desktop (sound-output) ----
// The desktop's window; DirectSound's cooperative level is set on it.
HWND GetDesktopWindow();
