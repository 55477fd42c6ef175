// The texture tiles of graph image parts: their sizes on this device, their creation (cleared,
// with a system-memory twin where the part keeps one) and release around a device loss.
#include <algorithm>
#include <cstring>

#include "graphics/device/device_buffers.h"
#include "graphics/device/render_device.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/graph_records.h"
#include "graphics/graphs/screen_settings.h"
#include "graphics/graphs/texture_upload.h"
#include "zyvel/runtime.h"

namespace {

template <typename T>
void ReleaseAndClear(T*& object) {
  if (object) object->Release();
  object = nullptr;
}

bool IsDxtFormat(D3DFORMAT format) {
  return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
         format == D3DFMT_DXT5;
}

// Sets every byte of every level to 0 (levels that do not lock are left as they are).
void ClearTextureLevels(IDirect3DTexture9* texture, int levels, int height) {
  const int count = levels < 2 ? 1 : levels;
  int rows = height;
  for (int level = 0; level < count; ++level, rows = (rows > 1) ? rows / 2 : 1) {
    D3DLOCKED_RECT locked;
    if (FAILED(texture->LockRect(static_cast<UINT>(level), &locked, nullptr, 0))) continue;
    std::memset(locked.pBits, 0, static_cast<size_t>(locked.Pitch) * static_cast<size_t>(rows));
    texture->UnlockRect(static_cast<UINT>(level));
  }
}

}  // namespace

int SplitTextureSizes(int length, int* sizes, int single) {
  int screenWidth = 0;
  GetScreenSizeSetting(&screenWidth, nullptr);
  return SplitTextureSizesFor(length, sizes, single, g_renderDevice.MaxTextureSide, screenWidth);
}

int LayoutGraphTextures(GraphImagePart* part, int single) {
  if (!part || part->Width <= 0 || part->Height <= 0) return -1;
  const int widthCount = SplitTextureSizes(part->Width, nullptr, single);
  const int heightCount = SplitTextureSizes(part->Height, nullptr, single);
  int* widths = static_cast<int*>(ZV_ALLOC(static_cast<int>(sizeof(int)) * (widthCount + heightCount)));
  if (!widths) return -1;
  int* heights = widths + widthCount;
  SplitTextureSizes(part->Width, widths, single);
  SplitTextureSizes(part->Height, heights, single);
  const bool squareOnly = (g_renderDevice.Caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) != 0;

  // Each non-square tile becomes squares of its shorter side on a square-only device.
  int count = 0;
  for (int r = 0; r < heightCount; ++r)
    for (int c = 0; c < widthCount; ++c)
      count += squareOnly ? std::max(widths[c], heights[r]) / std::min(widths[c], heights[r]) : 1;
  auto* tiles = static_cast<GraphTexture*>(ZV_ALLOC_ZEROED(static_cast<int>(sizeof(GraphTexture)) * count));
  if (!tiles) {
    ZV_FREE(widths);
    return -1;
  }
  int n = 0;
  for (int r = 0, y = 0; r < heightCount; y += heights[r++])
    for (int c = 0, x = 0; c < widthCount; x += widths[c++]) {
      const int side = squareOnly ? std::min(widths[c], heights[r]) : 0;
      const int across = squareOnly ? widths[c] / side : 1, down = squareOnly ? heights[r] / side : 1;
      for (int j = 0; j < down; ++j)
        for (int i = 0; i < across; ++i) {
          GraphTexture& tile = tiles[n++];
          tile.TextureWidth = squareOnly ? side : widths[c];
          tile.TextureHeight = squareOnly ? side : heights[r];
          tile.X = x + i * tile.TextureWidth;
          tile.Y = y + j * tile.TextureHeight;
          tile.UsedWidth = std::max(0, std::min(tile.TextureWidth, part->Width - tile.X));
          tile.UsedHeight = std::max(0, std::min(tile.TextureHeight, part->Height - tile.Y));
        }
    }
  ZV_FREE(widths);
  part->Textures = tiles;
  part->TextureCount = count;
  return 0;
}

int CreateGraphTextures(GraphImagePart* part) {
  IDirect3DDevice9* device = g_renderDevice.Device;
  if (!device || !part) return -1;
  if (!part->Textured) return 0;
  const D3DFORMAT format = part->FormatCode >= 0 && part->FormatCode < kTextureFormatCount
                               ? g_renderDevice.TextureFormats[part->FormatCode]
                               : D3DFMT_UNKNOWN;
  if (format == D3DFMT_UNKNOWN) {
    AddLogText("指定のフォーマットで作成できるテクスチャフォーマットがありませんでした\n");
    return -1;
  }
  for (int i = 0; i < part->TextureCount; ++i) {
    GraphTexture& tile = part->Textures[i];
    if (tile.Texture) continue;
    if (g_renderDevice.DeviceEx) part->SysMemCopy = 1;
    const UINT levels = static_cast<UINT>(part->MipLevels);
    const UINT width = static_cast<UINT>(tile.TextureWidth), height = static_cast<UINT>(tile.TextureHeight);
    const bool twin = !part->Drawable && part->SysMemCopy;
    const D3DPOOL pool = (!part->Drawable && !part->SysMemCopy) ? D3DPOOL_MANAGED : D3DPOOL_DEFAULT;
    if (FAILED(device->CreateTexture(width, height, levels, part->Drawable ? D3DUSAGE_RENDERTARGET : 0, format, pool,
                                     &tile.Texture, nullptr))) {
      tile.Texture = nullptr;
      AddLogText("書き込み専用テクスチャの作成に失敗しました\n");
      return -1;
    }
    if (twin && FAILED(device->CreateTexture(width, height, levels, D3DUSAGE_DYNAMIC, format, D3DPOOL_SYSTEMMEM,
                                             &tile.Twin, nullptr))) {
      tile.Twin = nullptr;
      ReleaseAndClear(tile.Texture);
      AddLogText("メモリテクスチャの作成に失敗しました\n");
      return -1;
    }
    if (FAILED(tile.Texture->GetSurfaceLevel(0, &tile.Surface))) {
      tile.Surface = nullptr;
      AddLogText("テクスチャのサーフェスアドレスの取得に失敗しました\n");
      return -1;
    }
    if (part->Drawable) device->ColorFill(tile.Surface, nullptr, 0);
    // DXT blocks of zero bytes are not black; every other format starts cleared.
    if (!part->Drawable && !IsDxtFormat(format)) {
      ClearTextureLevels(tile.Twin ? tile.Twin : tile.Texture, part->MipLevels, tile.TextureHeight);
      if (tile.Twin) device->UpdateTexture(tile.Twin, tile.Texture);
    }
  }
  return 0;
}

int ReleaseGraphTextures(GraphImagePart* part) {
  if (!part || !part->Textured) return 0;
  for (int i = 0; i < part->TextureCount; ++i) {
    GraphTexture& tile = part->Textures[i];
    ReleaseAndClear(tile.Surface);
    ReleaseAndClear(tile.Texture);
    ReleaseAndClear(tile.Twin);
  }
  return 0;
}

int ReleaseDrawableGraphExtras(GraphImagePart* part) {
  if (!part || !part->Drawable) return 0;
  if (part->Textured) {
    for (int i = 0; i < part->TextureCount; ++i) ReleaseAndClear(part->Textures[i].ExtraSurface);
  } else if (part->ExtraSoftImage) {
    ReleaseMemImg(part->ExtraSoftImage);
    ZV_FREE(part->ExtraSoftImage);
    part->ExtraSoftImage = nullptr;
  }
  return 0;
}

int ReleaseAllDeviceResources() {
  for (int slot = 0; slot < g_graphHandleTable.highWaterMark; ++slot) {
    auto* record = static_cast<GraphRecord*>(g_graphHandleTable.slots[slot]);
    if (record && record->Part) ReleaseGraphTextures(record->Part);
  }
  ReleaseBufferAndShaderObjects();
  return 0;
}

int RecreateAllDeviceResources() {
  for (int slot = 0; slot < g_graphHandleTable.highWaterMark; ++slot) {
    auto* record = static_cast<GraphRecord*>(g_graphHandleTable.slots[slot]);
    // Tiles that already have a texture are skipped, so a shared part is made once.
    if (record && record->Part) CreateGraphTextures(record->Part);
    // No file restores a movie graph: its movie fills it again at the next draw.
    if (record && record->MovieHandle != -1) GraphMovies().forgetPicture(record->MovieHandle);
  }
  RecreateBufferAndShaderObjects();
  return 0;
}
