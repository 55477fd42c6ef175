// Reading back what was drawn: a rectangle of the draw target made readable in memory, on the
// device path through a direct lock of the surface or a copy into a temporary system-memory
// surface, whichever device creation measured faster.
#include <cstring>

#include "graphics/graph_records.h"
#include "graphics/render_device.h"
#include "graphics/screen_settings.h"
#include "graphics/screens.h"
#include "zyvel/graphics.h"
#include "zyvel/memimg.h"
#include "zyvel/runtime.h"

namespace {
struct ScreenLock {
  int Locked = 0;
  IDirect3DSurface9* SystemSurface = nullptr;  // The temporary copy; null for a direct lock.
  IDirect3DSurface9* DirectSurface = nullptr;
} g_screenLock;

// The draw target's surface and format (device path).
IDirect3DSurface9* SourceSurface(D3DFORMAT* format) {
  RenderDeviceState& device = g_renderDevice;
  if (const GraphRecord* graph = GetGraphRecord(g_drawState.DrawTarget)) {
    const GraphImagePart* part = graph->Part;
    if (!part || !part->Textured || part->TextureCount < 1 || !part->Textures) return nullptr;
    *format = device.TextureFormats[part->FormatCode];
    return part->Textures[0].Surface;
  }
  *format = device.ScreenFormat;
  return device.SubBackBuffer ? device.SubBackBuffer : device.BackBuffer;
}
}  // namespace

int LockDrawScreenBuffer(const RECT* area, BaseImage* out) {
  // A second lock would lose the first one's temporary surface.
  if (g_screenLock.Locked || !area || !out) return -1;
  FlushVertexBatch();
  EndSceneIfOpen();
  const DrawState& state = g_drawState;
  if (area->left < 0 || area->left >= area->right || area->right > state.DrawTargetWidth || area->top < 0 ||
      area->top >= area->bottom || area->bottom > state.DrawTargetHeight)
    return -1;
  const int width = area->right - area->left, height = area->bottom - area->top;

  if (g_screenSettings.HardwareInUse) {
    RenderDeviceState& device = g_renderDevice;
    if (!device.Device) return -1;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    IDirect3DSurface9* source = SourceSurface(&format);
    const ColorData* color = GetFormatColorData(format);
    if (!source || !color) return -1;
    D3DLOCKED_RECT locked{};
    if (device.UseBackBufferLock && SUCCEEDED(source->LockRect(&locked, area, D3DLOCK_READONLY))) {
      g_screenLock.DirectSurface = source;
    } else {
      IDirect3DSurface9* target = nullptr;
      if (FAILED(device.Device->CreateRenderTarget(static_cast<UINT>(width), static_cast<UINT>(height), format,
                                                   D3DMULTISAMPLE_NONE, 0, FALSE, &target, nullptr))) {
        AddLogText("バックバッファロック用描画可能サーフェスの作成に失敗しました\n");
        return -1;
      }
      IDirect3DSurface9* system = nullptr;
      if (FAILED(device.Device->CreateOffscreenPlainSurface(static_cast<UINT>(width), static_cast<UINT>(height),
                                                            format, D3DPOOL_SYSTEMMEM, &system, nullptr))) {
        AddLogText("バックバッファロック用システムメモリサーフェスの作成に失敗しました\n");
        target->Release();
        return -1;
      }
      const RECT whole{0, 0, width, height};
      device.Device->StretchRect(source, area, target, &whole, D3DTEXF_NONE);
      device.Device->GetRenderTargetData(target, system);
      target->Release();
      if (FAILED(system->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
        system->Release();
        return -1;
      }
      g_screenLock.SystemSurface = system;
    }
    out->color = *color;
    out->pitch = locked.Pitch;
    out->pixels = static_cast<uint8_t*>(locked.pBits);
  } else {
    GraphRecord* graph = GetGraphRecord(state.DrawTarget);
    MEMIMG* image = graph ? &graph->SoftView : &g_softwareScreen.ScreenImage;
    if (!IsMemImgValid(image)) return -1;
    const MemImgCore* core = image->Core;
    const int bytes = core->Format == kMemImgFormat16 ? 2 : 4;
    out->color = *core->Layout;
    out->pitch = core->Pitch;
    out->pixels = image->Pixels + area->top * core->Pitch + area->left * bytes;
  }
  out->width = width;
  out->height = height;
  out->mipMapCount = 0;
  g_screenLock.Locked = 1;
  return 0;
}

int UnlockDrawScreenBuffer() {
  ScreenLock& lock = g_screenLock;
  if (!lock.Locked) return 0;
  if (lock.SystemSurface) {
    lock.SystemSurface->UnlockRect();
    lock.SystemSurface->Release();
  } else if (lock.DirectSurface) {
    lock.DirectSurface->UnlockRect();
  }
  lock = ScreenLock{};
  return 0;
}
