// Dropped files: no drop is ever delivered here, so every handle names no files.
#include "platform/shell.h"

UINT DragQueryFileA(HDROP, UINT, LPSTR file, UINT size) {
  if (file && size > 0) file[0] = 0;
  return 0;
}

void DragFinish(HDROP) {}
