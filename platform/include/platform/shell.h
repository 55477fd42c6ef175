// SHELL32-shaped part of the platform stand-in.
#pragma once

#include "platform/types.h"

// ---- Dropped files ----
// Nothing registers for drops (DragAcceptFiles), so no drop ever arrives: a handle names no
// files.
UINT DragQueryFileA(HDROP drop, UINT index, LPSTR file, UINT size);
void DragFinish(HDROP drop);
