// Where pictures reach the screen: the GDI picture output (SetDIBitsToDevice, StretchDIBits) and
// the Direct3D 9 Present both hand their finished pixels to the window here.
#pragma once

#include "platform/types.h"

namespace platform {

// Shows `width` x `height` pixels of 32-bit B, G, R, X (rows `pitch` bytes apart, top row first)
// in the window's client area, stretched to `destination` (client coordinates; null: the whole
// client area). Copies the frame for the test door only while a test keeps frames. False for a null window or bad
// sizes.
bool PresentToWindow(HWND window, const void* pixels, int width, int height, int pitch, const RECT* destination);

}  // namespace platform
