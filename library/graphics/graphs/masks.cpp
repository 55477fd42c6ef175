// Masks: the mask buffer, the mask screen of each path, the switches that turn masking on and off,
// the begin/end brackets every draw call puts around its work while masking is active, and the
// table of mask records.
//
// The brackets work on the draw call's rectangle clipped to the draw area and to the mask
// screen (a drawable graph may be larger than the screen the mask covers; outside the mask
// nothing is composed). The device path composes with an alpha test against the mask texture:
// texel alpha 0 passes, so the texture holds 255 wherever the buffer holds a non-zero byte.
#include "graphics/graphs/masks.h"

#include <algorithm>
#include <cstring>

#include "graphics/device/blend_state.h"
#include "graphics/device/device_state_cache.h"
#include "graphics/device/render_device.h"
#include "graphics/graphs/draw_settings.h"
#include "graphics/graphs/graph_records.h"
#include "graphics/graphs/screen_settings.h"
#include "graphics/graphs/screens.h"
#include "zyvel/graphics.h"
#include "zyvel/runtime.h"

MaskScreenState g_maskScreen;
MaskRecord g_maskTable[kMaskTableSize];

namespace {

int g_nextMaskCheckValue = 0;

// Formats the mask texture may take, first supported wins; the texel written where the mask holds
// drawing back.
struct MaskImageFormat {
  D3DFORMAT format;
  int bytesPerPixel;
  uint32_t heldBack;
};
const MaskImageFormat kMaskImageFormats[] = {
    {D3DFMT_A8, 1, 0xFF},
    {D3DFMT_A8R8G8B8, 4, 0xFF000000},
    {D3DFMT_A4R4G4B4, 2, 0xF000},
    {D3DFMT_A1R5G5B5, 2, 0x8000},
};

bool DevicePath() { return g_screenSettings.HardwareInUse && g_renderDevice.Device; }

GraphRecord* TargetGraph() { return GetGraphRecord(g_drawState.DrawTarget); }

// The surface drawing goes to when it is not masked.
IDirect3DSurface9* TargetSurface() {
  if (const GraphRecord* graph = TargetGraph()) {
    const GraphImagePart* part = graph->Part;
    if (part && part->Drawable && part->Textured && part->TextureCount > 0 && part->Textures)
      return part->Textures[0].Surface;
  }
  return g_renderDevice.SubBackBuffer ? g_renderDevice.SubBackBuffer : g_renderDevice.BackBuffer;
}

// The image drawing goes to when it is not masked.
MEMIMG* TargetImage() {
  if (GraphRecord* graph = TargetGraph()) {
    const GraphImagePart* part = graph->Part;
    if (part && part->Drawable && !part->Textured) return &graph->SoftView;
  }
  return &g_softwareScreen.ScreenImage;
}

// A render-target change resets the device's viewport and scissor to the whole target; drawing
// goes on inside the draw area.
void RestoreDrawAreaOnDevice() {
  const RECT& area = g_drawState.DrawArea;
  if (area.right <= area.left || area.bottom <= area.top) return;
  const int force = g_deviceStateCache.ForceApply;
  g_deviceStateCache.ForceApply = 1;
  SetDeviceViewportRect(area.left, area.top, area.right, area.bottom);
  SetDeviceScissorRect(&area);
  g_deviceStateCache.ForceApply = force;
}

// The rectangle clipped to the draw area and the mask screen; false when nothing is left.
bool ClipToMask(int left, int top, int right, int bottom, RECT* out) {
  *out = RECT{left, top, right, bottom};
  ClipRectToRect(out, &g_drawState.DrawArea);
  const RECT screen = {0, 0, g_maskScreen.MaskWidth, g_maskScreen.MaskHeight};
  ClipRectToRect(out, &screen);
  return out->right > out->left && out->bottom > out->top;
}

int PowerOfTwoAtLeast(int value) {
  int power = 1;
  while (power < value) power *= 2;
  return power;
}

void MakeMaskTextures(int width, int height) {
  MaskScreenState& mask = g_maskScreen;
  RenderDeviceState& device = g_renderDevice;
  const D3DFORMAT screenFormat = device.ScreenFormat;
  if (!device.Direct3D ||
      FAILED(device.Direct3D->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, screenFormat, D3DUSAGE_RENDERTARGET,
                                                D3DRTYPE_TEXTURE, screenFormat)))
    AbortWithLog("マスク描画用カラーバッファで使用できるテクスチャフォーマットがありませんでした");
  const MaskImageFormat* imageFormat = nullptr;
  for (const MaskImageFormat& candidate : kMaskImageFormats) {
    if (SUCCEEDED(device.Direct3D->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, screenFormat, D3DUSAGE_DYNAMIC,
                                                     D3DRTYPE_TEXTURE, candidate.format))) {
      imageFormat = &candidate;
      break;
    }
  }
  if (!imageFormat)
    AbortWithLog("マスク描画用アルファチャンネルバッファで使用できるテクスチャフォーマットがありませんでした");

  mask.TextureWidth = PowerOfTwoAtLeast(width);
  mask.TextureHeight = PowerOfTwoAtLeast(height);
  const UINT textureWidth = static_cast<UINT>(mask.TextureWidth), textureHeight = static_cast<UINT>(mask.TextureHeight);
  if (!mask.ImageTexture) {
    if (FAILED(device.Device->CreateTexture(textureWidth, textureHeight, 1, D3DUSAGE_DYNAMIC, imageFormat->format,
                                            D3DPOOL_DEFAULT, &mask.ImageTexture, nullptr)))
      AbortWithLog("マスク用イメージテクスチャの作成に失敗しました");
    mask.ImageFormat = imageFormat->format;
    // A new texture follows the buffer (all zero when the buffer is new, the mask itself after the
    // device was made again).
    UpdateMaskImageTexture(nullptr);
  }
  if (!mask.ScreenTexture) {
    if (FAILED(device.Device->CreateTexture(textureWidth, textureHeight, 1, D3DUSAGE_RENDERTARGET, screenFormat,
                                            D3DPOOL_DEFAULT, &mask.ScreenTexture, nullptr)))
      AbortWithLog("マスク用スクリーンテクスチャの作成に失敗しました");
  }
  if (!mask.ScreenSurface) mask.ScreenTexture->GetSurfaceLevel(0, &mask.ScreenSurface);
}

template <typename Interface>
void ReleaseInterface(Interface*& object) {
  if (object) object->Release();
  object = nullptr;
}

// Pixels x0..x1 of one row: the mask screen's where the mask lets drawing through, else the
// target's own. Chosen by a bit mask rather than a branch, as masks are patterns the branch
// predictor cannot follow.
template <typename Pixel>
void SelectPixels(const uint8_t* maskRow, const uint8_t* from, uint8_t* to, LONG x0, LONG x1, bool reverse) {
  const Pixel flip = reverse ? static_cast<Pixel>(~Pixel{0}) : Pixel{0};
  for (LONG x = x0; x < x1; ++x) {
    Pixel drawn, kept;
    std::memcpy(&drawn, from + x * sizeof(Pixel), sizeof(Pixel));
    std::memcpy(&kept, to + x * sizeof(Pixel), sizeof(Pixel));
    const Pixel pass = static_cast<Pixel>(static_cast<Pixel>(maskRow[x] == 0 ? ~Pixel{0} : Pixel{0}) ^ flip);
    const Pixel result = static_cast<Pixel>((drawn & pass) | (kept & static_cast<Pixel>(~pass)));
    std::memcpy(to + x * sizeof(Pixel), &result, sizeof(Pixel));
  }
}

// The mask screen's pixels back into the target where the mask lets them through.
void ComposeSoftware(const RECT& area) {
  const MaskScreenState& mask = g_maskScreen;
  MEMIMG* target = TargetImage();
  if (!IsMemImgValid(target) || !IsMemImgValid(&mask.MaskImage)) return;
  const int bytes = GetMemImgBytesPerPixel(target->Core);
  if (bytes != GetMemImgBytesPerPixel(mask.MaskImage.Core) || (bytes != 2 && bytes != 4)) return;
  const RECT limit = {0, 0, std::min(target->Width, mask.MaskImage.Width),
                      std::min(target->Height, mask.MaskImage.Height)};
  RECT clipped = area;
  ClipRectToRect(&clipped, &limit);
  for (LONG y = clipped.top; y < clipped.bottom; ++y) {
    const uint8_t* maskRow = mask.MaskBuffer + static_cast<size_t>(y) * mask.MaskPitch;
    const uint8_t* from = mask.MaskImage.Pixels + static_cast<ptrdiff_t>(y) * mask.MaskImage.Core->Pitch;
    uint8_t* to = target->Pixels + static_cast<ptrdiff_t>(y) * target->Core->Pitch;
    if (bytes == 4)
      SelectPixels<uint32_t>(maskRow, from, to, clipped.left, clipped.right, mask.Reverse != 0);
    else
      SelectPixels<uint16_t>(maskRow, from, to, clipped.left, clipped.right, mask.Reverse != 0);
  }
  InvalidateMemImgDerivedData(target);
}

// Draws the mask screen's rectangle onto the remembered target through the mask texture.
void ComposeOnDevice(const RECT& area) {
  MaskScreenState& mask = g_maskScreen;
  SetDeviceRenderTarget(mask.SavedTarget);
  BeginSceneIfClosed();
  RestoreDrawAreaOnDevice();

  UserBlendRecord blend{};
  blend.AlphaTestEnable = 1;
  blend.AlphaRef = 0;
  blend.AlphaFunc = mask.Reverse ? D3DCMP_NOTEQUAL : D3DCMP_EQUAL;
  blend.AlphaBlendEnable = 0;
  blend.TextureFactor = 0xFFFFFFFF;  // No stage here reads it.
  blend.SrcBlend = blend.DestBlend = blend.BlendOp = -1;
  blend.StageCount = 2;
  StageRecord& screen = blend.Stages[0];
  screen.Texture = mask.ScreenTexture;
  screen.ColorOp = D3DTOP_SELECTARG1, screen.ColorArg1 = D3DTA_TEXTURE;
  screen.AlphaOp = D3DTOP_SELECTARG1, screen.AlphaArg1 = D3DTA_CURRENT;
  StageRecord& image = blend.Stages[1];
  image.Texture = mask.ImageTexture;
  image.ColorOp = D3DTOP_SELECTARG1, image.ColorArg1 = D3DTA_CURRENT;
  image.AlphaOp = D3DTOP_SELECTARG1, image.AlphaArg1 = D3DTA_TEXTURE;
  ApplyUserBlend(&blend, 0, 0);

  BeginSceneIfClosed();
  SetDeviceFvf(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
  const float width = static_cast<float>(mask.TextureWidth), height = static_cast<float>(mask.TextureHeight);
  const float left = static_cast<float>(area.left), top = static_cast<float>(area.top);
  const float right = static_cast<float>(area.right), bottom = static_cast<float>(area.bottom);
  const TexturedVertex2D strip[4] = {
      {left - 0.5f, top - 0.5f, 0.0f, 1.0f, 0xFFFFFFFF, left / width, top / height},
      {right - 0.5f, top - 0.5f, 0.0f, 1.0f, 0xFFFFFFFF, right / width, top / height},
      {left - 0.5f, bottom - 0.5f, 0.0f, 1.0f, 0xFFFFFFFF, left / width, bottom / height},
      {right - 0.5f, bottom - 0.5f, 0.0f, 1.0f, 0xFFFFFFFF, right / width, bottom / height},
  };
  g_renderDevice.Device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, strip, sizeof(TexturedVertex2D));

  EndSceneIfOpen();
  BeginSceneIfClosed();
  SetUserBlendState(nullptr, 0);
  SetDeviceRenderTarget(mask.SavedMaskSurface);
  RestoreDrawAreaOnDevice();
}

}  // namespace

int MakeMaskScreen(int flag) {
  if (!flag) return 0;
  MaskScreenState& mask = g_maskScreen;
  int width = 0, height = 0;
  GetScreenSizeSetting(&width, &height);
  if (width <= 0 || height <= 0) width = 640, height = 480;
  if (!mask.MaskBuffer) {
    const int pitch = (width + 3) / 4 * 4;
    mask.MaskBuffer = static_cast<uint8_t*>(ZV_ALLOC_ZEROED(pitch * height));
    if (!mask.MaskBuffer) return -1;
    mask.MaskPitch = pitch;
    mask.MaskWidth = width;
    mask.MaskHeight = height;
  }
  if (!g_screenSettings.HardwareInUse) {
    if (IsMemImgValid(&mask.MaskImage)) return 0;
    const int format = GetScreenColorBits() == 16 ? kMemImgFormat16 : kMemImgFormat32;
    if (SetupScreenMemImg(&mask.MaskImage, width, height, format) != 0)
      AbortWithLog("マスク用 MEMIMG の作成に失敗しました");
    mask.MaskImageMade = 1;
    return 0;
  }
  if (g_renderDevice.Device) MakeMaskTextures(width, height);
  return 0;
}

int ReleaseMaskTextures() {
  MaskScreenState& mask = g_maskScreen;
  ReleaseInterface(mask.ImageTexture);
  ReleaseInterface(mask.ScreenSurface);
  ReleaseInterface(mask.ScreenTexture);
  mask.SavedTarget = mask.SavedMaskSurface = nullptr;
  return 0;
}

int FreeMaskScreen() {
  MaskScreenState& mask = g_maskScreen;
  if (mask.MaskBuffer) ZV_FREE(mask.MaskBuffer);
  mask.MaskBuffer = nullptr;
  mask.MaskPitch = mask.MaskWidth = mask.MaskHeight = 0;
  if (mask.MaskImageMade) {
    ReleaseMemImg(&mask.MaskImage);
    mask.MaskImage = MEMIMG{};
    mask.MaskImageMade = 0;
  }
  return ReleaseMaskTextures();
}

int UpdateMaskImageTexture(const RECT* area) {
  MaskScreenState& mask = g_maskScreen;
  if (!mask.ImageTexture || !mask.MaskBuffer) return -1;
  const MaskImageFormat* format = nullptr;
  for (const MaskImageFormat& candidate : kMaskImageFormats)
    if (candidate.format == mask.ImageFormat) format = &candidate;
  if (!format) return -1;
  RECT rect = area ? *area : RECT{0, 0, mask.MaskWidth, mask.MaskHeight};
  const RECT whole = {0, 0, mask.MaskWidth, mask.MaskHeight};
  ClipRectToRect(&rect, &whole);
  if (rect.right <= rect.left || rect.bottom <= rect.top) return 0;
  D3DLOCKED_RECT locked;
  if (FAILED(mask.ImageTexture->LockRect(0, &locked, &rect, 0))) return -1;
  for (LONG y = rect.top; y < rect.bottom; ++y) {
    const uint8_t* from = mask.MaskBuffer + static_cast<size_t>(y) * mask.MaskPitch;
    uint8_t* to = static_cast<uint8_t*>(locked.pBits) + static_cast<ptrdiff_t>(y - rect.top) * locked.Pitch;
    for (LONG x = rect.left; x < rect.right; ++x) {
      const uint32_t texel = from[x] ? format->heldBack : 0;
      std::memcpy(to + (x - rect.left) * format->bytesPerPixel, &texel, static_cast<size_t>(format->bytesPerPixel));
    }
  }
  mask.ImageTexture->UnlockRect(0);
  return 0;
}

int CreateMaskScreen() {
  g_maskScreen.MaskScreenFlag = 1;
  return MakeMaskScreen(1);
}

int SetUseMaskFlag(int flag) {
  MaskScreenState& mask = g_maskScreen;
  if (!mask.MaskBuffer) return -1;
  mask.UseMaskFlag = flag;
  mask.MaskActive = flag && mask.MaskScreenFlag ? 1 : 0;
  if (!g_screenSettings.HardwareInUse) {
    g_softwareScreen.TargetImage = mask.MaskActive && IsMemImgValid(&mask.MaskImage) ? &mask.MaskImage : TargetImage();
  } else if (g_renderDevice.Device) {
    FlushVertexBatch();
    SetDeviceRenderTarget(mask.MaskActive && mask.ScreenSurface ? mask.ScreenSurface : TargetSurface());
    RestoreDrawAreaOnDevice();
  }
  return 0;
}

int GetUseMaskFlag() { return g_maskScreen.UseMaskFlag; }

int IsMaskActive() { return g_maskScreen.MaskActive; }

IDirect3DSurface9* GetActiveMaskSurface() {
  return g_maskScreen.MaskActive && DevicePath() ? g_maskScreen.ScreenSurface : nullptr;
}

int ResetMaskUseFlag() {
  g_maskScreen.UseMaskFlag = 1;
  g_maskScreen.MaskActive = 0;
  return 0;
}

int RebuildMaskScreen() {
  MakeMaskScreen(g_maskScreen.MaskScreenFlag);
  if (g_maskScreen.UseMaskFlag) SetUseMaskFlag(1);
  return 0;
}

int EndMaskSystem() {
  if (g_maskScreen.UseMaskFlag) SetUseMaskFlag(0);
  FreeMaskScreen();
  g_maskScreen.MaskScreenFlag = 0;
  g_maskScreen.MaskActive = 0;
  g_maskScreen.Nesting = 0;
  return 0;
}

int BeginMaskedDrawing(int left, int top, int right, int bottom) {
  MaskScreenState& mask = g_maskScreen;
  if (mask.Nesting++ != 0) return 0;
  if (!mask.MaskActive) return 0;
  RECT area;
  if (!ClipToMask(left, top, right, bottom, &area)) return 0;
  if (DevicePath()) {
    if (!mask.ScreenSurface) return 0;
    FlushVertexBatch();
    mask.SavedMaskSurface = mask.ScreenSurface;
    mask.SavedTarget = TargetSurface();
    g_renderDevice.Device->StretchRect(mask.SavedTarget, &area, mask.ScreenSurface, &area, D3DTEXF_NONE);
  } else if (!g_screenSettings.HardwareInUse) {
    CopyMemImgArea(&mask.MaskImage, TargetImage(), &area, area.left, area.top);
  }
  return 0;
}

int EndMaskedDrawing(int left, int top, int right, int bottom) {
  MaskScreenState& mask = g_maskScreen;
  if (mask.Nesting <= 0) {
    mask.Nesting = 0;
    return 0;
  }
  if (--mask.Nesting != 0) return 0;
  if (!mask.MaskActive) return 0;
  RECT area;
  if (!ClipToMask(left, top, right, bottom, &area)) return 0;
  if (DevicePath()) {
    if (mask.ScreenSurface && mask.SavedTarget && mask.SavedMaskSurface) ComposeOnDevice(area);
  } else if (!g_screenSettings.HardwareInUse) {
    ComposeSoftware(area);
  }
  return 0;
}

// ---- Mask records ----

namespace {
MaskRecord* GetMaskRecord(int handle) {
  if (handle < 0 || HandleKindOf(handle) != HANDLE_KIND_MASK) return nullptr;
  const int slot = HandleSlotOf(handle);
  if (slot >= kMaskTableSize) return nullptr;
  MaskRecord& record = g_maskTable[slot];
  if (record.Used != 1 || record.CheckValue != HandleCheckCountOf(handle)) return nullptr;
  return &record;
}
}  // namespace

int AddMaskRecord(int dataBytes) {
  if (dataBytes < 0) return -1;
  int slot = 0;
  while (slot < kMaskTableSize && g_maskTable[slot].Used) ++slot;
  if (slot == kMaskTableSize) return -1;
  uint8_t* data = nullptr;
  if (dataBytes > 0 && !(data = static_cast<uint8_t*>(ZV_ALLOC_ZEROED(dataBytes)))) return -1;
  MaskRecord& record = g_maskTable[slot];
  record = MaskRecord{};
  record.CheckValue = g_nextMaskCheckValue;
  g_nextMaskCheckValue = (g_nextMaskCheckValue + 1) % HANDLE_CHECK_COUNT_LIMIT;
  record.Data = data;
  record.Used = 1;
  return MakeHandleWord(slot, record.CheckValue, HANDLE_KIND_MASK);
}

int DeleteMaskRecord(int handle) {
  MaskRecord* record = GetMaskRecord(handle);
  if (!record) return -1;
  if (record->Data) ZV_FREE(record->Data);
  *record = MaskRecord{};
  return 0;
}

int DeleteAllMaskRecords() {
  for (int slot = 0; slot < kMaskTableSize; ++slot) {
    const MaskRecord& record = g_maskTable[slot];
    if (record.Used == 1) DeleteMaskRecord(MakeHandleWord(slot, record.CheckValue, HANDLE_KIND_MASK));
  }
  return 0;
}
