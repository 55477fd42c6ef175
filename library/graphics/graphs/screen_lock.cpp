// Reading back what was drawn: a rectangle of the draw target made readable in memory, on the
// device path through a direct lock of the surface or a copy into a temporary system-memory
// surface, whichever device creation measured faster; and a rectangle captured into a graph of its
// size.
#include <cstring>

#include "graphics/device/render_device.h"
#include "graphics/graphs/graph_records.h"
#include "graphics/graphs/screen_settings.h"
#include "graphics/graphs/screens.h"
#include "graphics/graphs/texture_upload.h"
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

// 0 <= left < right <= target width and 0 <= top < bottom <= target height.
bool InsideDrawTarget(const RECT& area) {
  const DrawState& state = g_drawState;
  return area.left >= 0 && area.left < area.right && area.right <= state.DrawTargetWidth && area.top >= 0 &&
         area.top < area.bottom && area.bottom <= state.DrawTargetHeight;
}
}  // namespace

int LockDrawScreenBuffer(const RECT* area, BaseImage* out) {
  // A second lock would lose the first one's temporary surface.
  if (g_screenLock.Locked || !area || !out) return -1;
  FlushVertexBatch();
  EndSceneIfOpen();
  const DrawState& state = g_drawState;
  if (!InsideDrawTarget(*area)) return -1;
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
      if (FAILED(device.Device->CreateOffscreenPlainSurface(static_cast<UINT>(width), static_cast<UINT>(height), format,
                                                            D3DPOOL_SYSTEMMEM, &system, nullptr))) {
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

int CaptureDrawScreenToGraph(int x1, int y1, int x2, int y2, int graphHandle) {
  GraphRecord* graph = GetGraphRecord(graphHandle);
  if (!graph || !graph->Part) return -1;
  FlushVertexBatch();
  EndSceneIfOpen();
  const RECT area{x1, y1, x2, y2};
  if (!InsideDrawTarget(area) || graph->Width != x2 - x1 || graph->Height != y2 - y1) return -1;
  const GraphImagePart* part = graph->Part;

  if (!part->Textured) {
    GraphRecord* target = GetGraphRecord(g_drawState.DrawTarget);
    const MEMIMG* source = target ? &target->SoftView : &g_softwareScreen.ScreenImage;
    if (!IsMemImgValid(source) || !IsMemImgValid(&graph->SoftView)) return -1;
    return CopyMemImgArea(&graph->SoftView, source, &area, 0, 0) < 0 ? -1 : 0;
  }

  RenderDeviceState& device = g_renderDevice;
  if (!device.Device || graph->TileCount < 1) return -1;
  if (part->Drawable) {
    D3DFORMAT format = D3DFMT_UNKNOWN;
    IDirect3DSurface9* source = SourceSurface(&format);
    const GraphTileDraw& tile = graph->TileDraws()[0];
    if (!source || !tile.Texture || !tile.Texture->Surface) return -1;
    // Where the graph lies in its tile: a graph cut from a drawable graph starts inside it.
    const RECT destination{tile.SourceX, tile.SourceY, tile.SourceX + graph->Width, tile.SourceY + graph->Height};
    return FAILED(device.Device->StretchRect(source, &area, tile.Texture->Surface, &destination, D3DTEXF_NONE)) ? -1
                                                                                                                : 0;
  }

  // Textured graph: the rectangle is read back and converted into every tile the graph covers,
  // keyed by the part's transparent colour as a load would be.
  BaseImage screen{};
  if (LockDrawScreenBuffer(&area, &screen) != 0) return -1;
  const RECT whole{0, 0, screen.width, screen.height};
  const int result = UploadImageToGraph(graphHandle, nullptr, nullptr, nullptr, &whole, 0, 0, 0, &screen, nullptr, 0, 1,
                                        0);
  UnlockDrawScreenBuffer();
  return result < 0 ? -1 : 0;
}
