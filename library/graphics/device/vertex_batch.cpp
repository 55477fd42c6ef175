// The vertex batch: 2D and simple 3D draws write their vertices into fixed caches of just under
// 64 KB, and one DrawPrimitiveUP draws them when something forces it, so thousands of small draws
// a frame cost a few device calls and no allocation.
#include "graphics/device/device_state_cache.h"
#include "graphics/device/render_device.h"
#include "graphics/graphs/draw_state.h"
#include "graphics/screen_services.h"
#include "zyvel/window.h"

const BatchLayout kBatchLayouts[kBatchSetCount][kBatchKindCount] = {
    {{D3DFVF_XYZRHW | D3DFVF_DIFFUSE, 20, 3225},
     {D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, 28, 2340},
     {D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2, 40, 1638}},
    {{D3DFVF_XYZ | D3DFVF_DIFFUSE, 16, 4096}, {D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, 24, 2730}, {0, 0, 0}},
};

namespace {

alignas(16) uint8_t g_cacheUntextured2D[20 * 3225];
alignas(16) uint8_t g_cacheOneTexture2D[28 * 2340];
alignas(16) uint8_t g_cacheTwoTextures2D[40 * 1638];
alignas(16) uint8_t g_cache3D[16 * 4096];  // The two 3D kinds share it.
static_assert(sizeof(g_cache3D) >= 24 * 2730 && sizeof(g_cache3D) <= 65536);

uint8_t* CacheStart(const VertexBatch& batch) { return batch.Caches[batch.Set3D * kBatchKindCount + batch.Kind]; }

int PrimitiveCount(int type, int vertices) {
  switch (type) {
    case D3DPT_POINTLIST:
      return vertices;
    case D3DPT_LINELIST:
      return vertices / 2;
    case D3DPT_LINESTRIP:
      return vertices - 1;
    case D3DPT_TRIANGLELIST:
      return vertices / 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
      return vertices - 2;
    default:
      return 0;
  }
}

D3DMATRIX DeviceMatrix(const Matrix4& matrix) {
  D3DMATRIX out;
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 4; ++column) out.m[row][column] = matrix.m[row][column];
  return out;
}

}  // namespace

void ResetVertexBatch() {
  VertexBatch& batch = g_renderDevice.Batch;
  batch.Caches[0] = g_cacheUntextured2D;
  batch.Caches[1] = g_cacheOneTexture2D;
  batch.Caches[2] = g_cacheTwoTextures2D;
  batch.Caches[3] = g_cache3D;
  batch.Caches[4] = g_cache3D;
  batch.Caches[5] = nullptr;
  // The constant fields of the 2D vertices: rhw 1, and an opaque white specular colour, which the
  // two-texture stage sets read as their alpha.
  for (int i = 0; i < 3225; ++i) reinterpret_cast<Vertex2D*>(g_cacheUntextured2D)[i].rhw = 1.0f;
  for (int i = 0; i < 2340; ++i) reinterpret_cast<TexturedVertex2D*>(g_cacheOneTexture2D)[i].rhw = 1.0f;
  for (int i = 0; i < 1638; ++i) {
    auto& vertex = reinterpret_cast<BlendVertex2D*>(g_cacheTwoTextures2D)[i];
    vertex.rhw = 1.0f;
    vertex.specular = 0xFFFFFFFF;
  }
  batch.Set3D = 0;
  batch.Kind = kBatchUntextured;
  batch.PrimitiveType = D3DPT_TRIANGLELIST;
  batch.PendingCount = 0;
  batch.WritePointer = batch.Caches[0];
}

int FlushVertexBatch() {
  RenderDeviceState& state = g_renderDevice;
  VertexBatch& batch = state.Batch;
  if (!state.Device) return -1;
  if (batch.PendingCount != 0 && !IsQuitRequested() && CacheStart(batch)) {
    BeginSceneIfClosed();
    int primitives = PrimitiveCount(batch.PrimitiveType, batch.PendingCount);
    // Too few vertices for one primitive draw nothing.
    if (!batch.DiscardVertices && primitives > 0) {
      const BatchLayout& layout = kBatchLayouts[batch.Set3D][batch.Kind];
      SetDeviceFvf(layout.fvf);
      if (batch.Set3D) {
        D3DMATRIX identity = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
        state.Device->SetTransform(D3DTS_WORLD, &identity);
      }
      state.Device->DrawPrimitiveUP(static_cast<D3DPRIMITIVETYPE>(batch.PrimitiveType), static_cast<UINT>(primitives),
                                    CacheStart(batch), static_cast<UINT>(layout.stride));
      if (batch.Set3D) {
        D3DMATRIX world = DeviceMatrix(g_drawState.WorldMatrix);
        state.Device->SetTransform(D3DTS_WORLD, &world);
      }
    }
  }
  batch.PendingCount = 0;
  batch.WritePointer = CacheStart(batch);
  return 0;
}

uint8_t* ReserveBatchVertices(int set3D, int kind, int primitiveType, int count) {
  VertexBatch& batch = g_renderDevice.Batch;
  if (!g_renderDevice.Device || set3D < 0 || set3D >= kBatchSetCount || kind < 0 || kind >= kBatchKindCount)
    return nullptr;
  const BatchLayout& layout = kBatchLayouts[set3D][kind];
  if (layout.capacity == 0 || count <= 0 || count >= layout.capacity) return nullptr;
  if (!batch.Caches[0]) ResetVertexBatch();
  if (batch.Set3D != set3D || batch.Kind != kind || batch.PrimitiveType != primitiveType ||
      batch.PendingCount + count >= layout.capacity) {
    FlushVertexBatch();
    batch.Set3D = set3D;
    batch.Kind = kind;
    batch.PrimitiveType = primitiveType;
    batch.WritePointer = CacheStart(batch);
  }
  uint8_t* at = batch.WritePointer;
  batch.WritePointer += static_cast<size_t>(count) * layout.stride;
  batch.PendingCount += count;
  return at;
}

int SetDeviceWorldMatrix(const Matrix4* matrix) {
  if (!g_renderDevice.Device || !matrix) return 0;
  D3DMATRIX world = DeviceMatrix(*matrix);
  g_renderDevice.Device->SetTransform(D3DTS_WORLD, &world);
  return 0;
}

int SetWorldMatrix(const Matrix4* matrix) {
  if (!matrix) return -1;
  FlushVertexBatch();
  g_drawState.WorldMatrix = *matrix;
  // The camera's combined matrices are recomputed from this where they are kept.
  if (g_renderDevice.Device) {
    SetDeviceWorldMatrix(matrix);
    g_drawState.WorldMatrixSet = 1;
  }
  return 0;
}
