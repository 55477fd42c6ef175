// Stand-in for the blend-state application and the per-draw preparation until they are built:
// the selection is taken as applied, so the cache's dirty flags behave as they will.
#include "graphics/blend_state.h"

#include "graphics/device_state_cache.h"

void PrepareDeviceForDraw(const void*, IDirect3DBaseTexture9*, uint32_t) {}

int ApplyBlendState(int, const void*, int) {
  DeviceStateCache& cache = g_deviceStateCache;
  if (!g_renderDevice.Device) return -1;
  if (!cache.ForceApply && !cache.BlendDirty && !cache.TextureChanged) return -1;
  cache.BlendDirty = 0;
  cache.TextureChanged = 0;
  return 0;
}
