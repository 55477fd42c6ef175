// Seam: the graph-mode settings, until the display-mode code lands. Answers as an unset mode does.
#include "zyvel/graphics.h"

int GetScreenSizeSetting(int* width, int* height) {
  if (width) *width = 640;
  if (height) *height = 480;
  return 0;
}

int GetScreenColorBits() { return 16; }
