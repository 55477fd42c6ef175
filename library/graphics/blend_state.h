// Blend modes and the per-draw preparation: what the device state cache's set-up and re-apply
// passes call into. Until that layer is built, blend_state_stand_in.cpp answers for it.
#pragma once

#include <cstdint>

#include "platform/d3d9.h"

// Brings every device state a draw needs in line (flag bits as the drawers pass them).
void PrepareDeviceForDraw(const void* formatDescription, IDirect3DBaseTexture9* texture, uint32_t flags);
// Rebuilds the stage configuration from the blend selection: 0, or -1 without a device or when
// nothing was dirty.
int ApplyBlendState(int resolveGraphHandles, const void* userBlend, int texturesOnly);
