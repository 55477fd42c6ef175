// Seam: the graph-mode settings, until the display-mode code lands; answers as an unset mode does.
// Weak, so another stand-in of the same calls (the window code keeps one) takes precedence.
#include "zyvel/graphics.h"

__attribute__((weak)) int GetScreenSizeSetting(int* width, int* height) {
  if (width) *width = 640;
  if (height) *height = 480;
  return 0;
}

__attribute__((weak)) int GetScreenColorBits() { return 16; }
