// Creation, probing and release of the hardware path's objects: DirectDraw 7 (display modes and
// vertical blank), the Direct3D 9 object (9Ex when the system has it), the device with its back
// buffer and swap chain, the texture format table, the Z buffer, the sub back buffer and the
// brightness volume texture. Every failure is one log line and -1; the caller falls back to the
// software path.
#include "graphics/device/render_device.h"

#include "graphics/device/device_state_cache.h"
#include "graphics/device/display_modes.h"
#include "graphics/graphs/draw_state.h"
#include "graphics/graphs/screen_settings.h"
#include "graphics/graphs/screens.h"
#include "graphics/models/model_buffers.h"
#include "graphics/models/shader_pack.h"
#include "platform/com.h"
#include "window/window_services.h"

RenderDeviceState g_renderDevice;

namespace {

template <typename Object>
void ReleaseAndClear(Object*& object) {
  if (object) object->Release();
  object = nullptr;
}

// ---- The texture format table ----
// For each entry, the formats tried in order with the log name of each; the first the device
// supports wins. Entries with a fall-back take another entry's format when none is supported.
struct FormatCandidate {
  D3DFORMAT format;
  const char* name;
};
struct FormatRule {
  int index;
  FormatCandidate candidates[3];
  int candidateCount;
  int fallbackIndex;  // -1: none (a failure, or 0 stored for drawable entries).
  bool drawable;      // Checked with D3DUSAGE_RENDERTARGET; failing stores 0 and goes on.
  const char* found;  // printf format with the candidate's name.
  const char* missing;
};

const FormatRule kFormatRules[] = {
    {kTextureFormatColor16,
     {{D3DFMT_R5G6B5, "Z_D3DFMT_R5G6B5"}, {D3DFMT_X1R5G5B5, "Z_D3DFMT_X1R5G5B5"}},
     2,
     -1,
     false,
     "16bit カラーフォーマットは %s です",
     "使用できる 16bit カラーフォーマットが見つかりませんでした\n"},
    {kTextureFormatColor32,
     {{D3DFMT_X8R8G8B8, "Z_D3DFMT_X8R8G8B8"}},
     1,
     kTextureFormatColor16,
     false,
     "32bit カラーフォーマットは %s です",
     nullptr},
    {kTextureFormatAlpha16,
     {{D3DFMT_A4R4G4B4, "Z_D3DFMT_A4R4G4B4"}, {D3DFMT_A8R8G8B8, "Z_D3DFMT_A8R8G8B8"}},
     2,
     -1,
     false,
     "アルファ付き 16bit カラーフォーマットは %s です",
     "使用できるアルファ付き 16bit カラーフォーマットが見つかりませんでした\n"},
    {kTextureFormatAlpha32,
     {{D3DFMT_A8R8G8B8, "Z_D3DFMT_A8R8G8B8"}, {D3DFMT_A4R4G4B4, "Z_D3DFMT_A4R4G4B4"}},
     2,
     -1,
     false,
     "アルファ付き 32bit カラーフォーマットは %s です",
     "使用できるアルファ付き 32bit カラーフォーマットが見つかりませんでした\n"},
    {kTextureFormatAlphaTest16,
     {{D3DFMT_A1R5G5B5, "Z_D3DFMT_A1R5G5B5"},
      {D3DFMT_A8R8G8B8, "Z_D3DFMT_A8R8G8B8"},
      {D3DFMT_A4R4G4B4, "Z_D3DFMT_A4R4G4B4"}},
     3,
     -1,
     false,
     "アルファテスト用 16bit カラーフォーマットは %s です",
     "使用できるアルファテスト用 16bit カラーフォーマットが見つかりませんでした\n"},
    {kTextureFormatAlphaTest32,
     {{D3DFMT_A8R8G8B8, "Z_D3DFMT_A8R8G8B8"},
      {D3DFMT_A1R5G5B5, "Z_D3DFMT_A1R5G5B5"},
      {D3DFMT_A4R4G4B4, "Z_D3DFMT_A4R4G4B4"}},
     3,
     -1,
     false,
     "アルファテスト用 32bit カラーフォーマットは %s です",
     "使用できるアルファテスト用 32bit カラーフォーマットが見つかりませんでした\n"},
};

const D3DFORMAT kDxtFormats[5] = {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5};
const char* const kDxtFoundLines[5] = {"ＤＸＴ１テクスチャフォーマットは%s", "ＤＸＴ２テクスチャフォーマットは%s",
                                       "ＤＸＴ３テクスチャフォーマットは%s", "ＤＸＴ４テクスチャフォーマットは%s",
                                       "ＤＸＴ５テクスチャフォーマットは%s"};
const char* const kDxtNames[5] = {" Z_D3DFMT_DXT1 です", " Z_D3DFMT_DXT2 です", " Z_D3DFMT_DXT3 です",
                                  " Z_D3DFMT_DXT4 です", " Z_D3DFMT_DXT5 です"};

bool FormatSupported(D3DFORMAT format, DWORD usage) {
  return SUCCEEDED(g_renderDevice.Direct3D->CheckDeviceFormat(
      D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, g_renderDevice.ScreenFormat, usage, D3DRTYPE_TEXTURE, format));
}

// The first supported candidate; its log name through `name`. D3DFMT_UNKNOWN when none.
D3DFORMAT FirstSupported(const FormatCandidate* candidates, int count, DWORD usage, const char** name) {
  for (int i = 0; i < count; ++i)
    if (FormatSupported(candidates[i].format, usage)) {
      *name = candidates[i].name;
      return candidates[i].format;
    }
  return D3DFMT_UNKNOWN;
}

const char* NameOfEntry(int index) {
  for (const FormatRule& rule : kFormatRules)
    if (rule.index == index)
      for (int i = 0; i < rule.candidateCount; ++i)
        if (rule.candidates[i].format == g_renderDevice.TextureFormats[index]) return rule.candidates[i].name;
  return "";
}

int ChooseTextureFormats() {
  RenderDeviceState& device = g_renderDevice;
  D3DFORMAT* table = device.TextureFormats;
  const char* name = nullptr;

  const FormatCandidate depth[] = {
      {D3DFMT_D16, "D3DFMT_D16"}, {D3DFMT_D24X8, "D3DFMT_D24X8"}, {D3DFMT_D32, "D3DFMT_D32"}};
  table[kTextureFormatZBuffer] = D3DFMT_UNKNOWN;
  for (const FormatCandidate& candidate : depth)
    if (SUCCEEDED(device.Direct3D->CheckDepthStencilMatch(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, device.ScreenFormat,
                                                          device.ScreenFormat, candidate.format))) {
      table[kTextureFormatZBuffer] = candidate.format;
      WriteLogFormat("Ｚバッファのフォーマットは %s です", candidate.name);
      break;
    }
  if (table[kTextureFormatZBuffer] == D3DFMT_UNKNOWN) {
    AddLogText("使用できる Zバッファフォーマットが見つかりませんでした\n");
    return -1;
  }

  for (const FormatRule& rule : kFormatRules) {
    D3DFORMAT format = FirstSupported(rule.candidates, rule.candidateCount, 0, &name);
    if (format == D3DFMT_UNKNOWN && rule.fallbackIndex >= 0) {
      format = table[rule.fallbackIndex];
      name = NameOfEntry(rule.fallbackIndex);
    }
    if (format == D3DFMT_UNKNOWN) {
      AddLogText(rule.missing);
      return -1;
    }
    table[rule.index] = format;
    WriteLogFormat(rule.found, name);
  }

  for (int i = 0; i < 5; ++i) {
    int index = kTextureFormatDxt1 + i;
    if (FormatSupported(kDxtFormats[i], 0)) {
      table[index] = kDxtFormats[i];
      WriteLogFormat(kDxtFoundLines[i], kDxtNames[i]);
    } else {
      table[index] = table[i == 0 ? kTextureFormatAlphaTest16 : kTextureFormatAlpha32];
      WriteLogFormat(kDxtFoundLines[i], "使えません");
    }
  }

  // Drawable entries: the screen's own 16-bit layout first.
  bool screen565 = device.ScreenFormat == D3DFMT_R5G6B5;
  const FormatCandidate drawable16[] = {
      screen565 ? FormatCandidate{D3DFMT_R5G6B5, "D3DFMT_R5G6B5"} : FormatCandidate{D3DFMT_X1R5G5B5, "Z_D3DFMT_R5G5B5"},
      screen565 ? FormatCandidate{D3DFMT_X1R5G5B5, "D3DFMT_R5G5B5"} : FormatCandidate{D3DFMT_R5G6B5, "Z_D3DFMT_R5G6B5"},
      {D3DFMT_X8R8G8B8, "Z_D3DFMT_X8R8G8B8"}};
  const FormatCandidate drawable32[] = {
      {D3DFMT_X8R8G8B8, "Z_D3DFMT_X8R8G8B8"}, {D3DFMT_R5G6B5, "D3DFMT_R5G6B5"}, {D3DFMT_X1R5G5B5, "D3DFMT_R5G5B5"}};
  const FormatCandidate drawableAlpha32[] = {{D3DFMT_A8R8G8B8, "Z_D3DFMT_A8R8G8B8"},
                                             {D3DFMT_A4R4G4B4, "D3DFMT_A4R4G4B4"}};
  struct DrawableRule {
    int index;
    const FormatCandidate* candidates;
    int count;
    const char* found;
    const char* missing;
  };
  const DrawableRule drawableRules[] = {
      {kTextureFormatDrawable16, drawable16, 3, "描画用 16bit カラーフォーマットは %s です",
       "使用できる描画用 16bit カラーフォーマットがありませんでした\n"},
      {kTextureFormatDrawable32, drawable32, 3, "描画用 32bit カラーフォーマットは %s です",
       "使用できる描画用 32bit カラーフォーマットがありませんでした\n"},
      {kTextureFormatDrawableAlpha32, drawableAlpha32, 2, "描画用アルファ付き 32bit カラーフォーマットは %s です",
       "使用できる描画用アルファ付き 32bit カラーフォーマットがありませんでした\n"},
  };
  for (const DrawableRule& rule : drawableRules) {
    table[rule.index] = FirstSupported(rule.candidates, rule.count, D3DUSAGE_RENDERTARGET, &name);
    if (table[rule.index] == D3DFMT_UNKNOWN)
      AddLogText(rule.missing);
    else
      WriteLogFormat(rule.found, name);
  }

  bool screen32 = g_screenSettings.ColorBits == 32;
  table[kTextureFormatDrawableScreen] = table[screen32 ? kTextureFormatDrawable32 : kTextureFormatDrawable16];
  table[kTextureFormatAlphaTestScreen] = table[screen32 ? kTextureFormatAlphaTest32 : kTextureFormatAlphaTest16];
  return 0;
}

// ---- The back-buffer lock test ----

// Copies `side` rows of the locked source into a locked system surface.
void CopyLockedRows(const D3DLOCKED_RECT& from, const D3DLOCKED_RECT& to, int side, int bytesPerPixel) {
  for (int y = 0; y < side; ++y)
    CopyBytes(static_cast<uint8_t*>(to.pBits) + static_cast<ptrdiff_t>(y) * to.Pitch,
              static_cast<const uint8_t*>(from.pBits) + static_cast<ptrdiff_t>(y) * from.Pitch,
              static_cast<size_t>(side) * bytesPerPixel);
}

// One pass: the time to read an S x S square straight from the back buffer and through a
// temporary render target; -1 for a route that failed.
void TimeBackBufferReads(int side, int64_t* direct, int64_t* temporary) {
  RenderDeviceState& state = g_renderDevice;
  IDirect3DDevice9* device = state.Device;
  *direct = *temporary = -1;
  const ColorData* color = GetFormatColorData(state.ScreenFormat);
  if (!color) return;
  RECT area = {0, 0, side, side};
  IDirect3DSurface9* system = nullptr;
  if (FAILED(device->CreateOffscreenPlainSurface(side, side, state.ScreenFormat, D3DPOOL_SYSTEMMEM, &system, nullptr)))
    return;
  D3DLOCKED_RECT systemLock;
  if (FAILED(system->LockRect(&systemLock, &area, D3DLOCK_READONLY))) {
    system->Release();
    return;
  }

  uint64_t start = GetMicrosecondCount(0);
  D3DLOCKED_RECT backLock;
  bool directRead = SUCCEEDED(state.BackBuffer->LockRect(&backLock, &area, D3DLOCK_READONLY));
  if (directRead) {
    CopyLockedRows(backLock, systemLock, side, color->bytesPerPixel);
    state.BackBuffer->UnlockRect();
    *direct = static_cast<int64_t>(GetMicrosecondCount(0) - start);
  }

  start = GetMicrosecondCount(0);
  IDirect3DSurface9* target = nullptr;
  IDirect3DSurface9* second = nullptr;
  bool copied = false;
  if (SUCCEEDED(device->CreateRenderTarget(side, side, state.ScreenFormat, D3DMULTISAMPLE_NONE, 0, FALSE, &target,
                                           nullptr)) &&
      SUCCEEDED(
          device->CreateOffscreenPlainSurface(side, side, state.ScreenFormat, D3DPOOL_SYSTEMMEM, &second, nullptr)) &&
      SUCCEEDED(device->StretchRect(state.BackBuffer, &area, target, &area, D3DTEXF_NONE)) &&
      SUCCEEDED(device->GetRenderTargetData(target, second))) {
    D3DLOCKED_RECT secondLock;
    if (SUCCEEDED(second->LockRect(&secondLock, &area, D3DLOCK_READONLY))) {
      CopyLockedRows(secondLock, systemLock, side, color->bytesPerPixel);
      second->UnlockRect();
      copied = true;
    }
  }
  ReleaseAndClear(second);
  ReleaseAndClear(target);
  if (copied) *temporary = static_cast<int64_t>(GetMicrosecondCount(0) - start);

  system->UnlockRect();
  system->Release();
}

void ChooseBackBufferReadRoute() {
  int64_t direct = -1, temporary = -1;
  for (int pass = 0; pass < 3; ++pass) {
    int side = 256;
    while (side > g_screenSettings.Width || side > g_screenSettings.Height) side /= 2;
    TimeBackBufferReads(side, &direct, &temporary);
  }
  if (direct == -1 || temporary == -1) {
    AddLogText("バックバッファロックはロックできません\n");
    return;
  }
  // The log text names nanoseconds; the figures are microseconds.
  WriteLogFormat("バックバッファロック転送の時間:%dnsec  一時的な描画可能バッファを使用した転送の時間:%dnsec",
                 static_cast<int>(direct), static_cast<int>(temporary));
  if (direct < temporary) {
    g_renderDevice.UseBackBufferLock = 1;
    AddLogText("バックバッファロックを使用します\n");
  } else {
    AddLogText("バックバッファロックを使用しません\n");
  }
}

const char* ScreenFormatName(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_X8R8G8B8:
      return "D3DFMT_X8R8G8B8";
    case D3DFMT_R5G6B5:
      return "D3DFMT_R5G6B5";
    case D3DFMT_X1R5G5B5:
      return "D3DFMT_X1R5G5B5";
    default:
      return nullptr;
  }
}

}  // namespace

// ---- DirectDraw and the Direct3D object ----

int CreateDirectDrawObject() {
  RenderDeviceState& state = g_renderDevice;
  ReleaseAndClear(state.DirectDraw);
  AddLogText("DirectDraw オブジェクトの取得を行います....  ");
  if (FAILED(CoCreateInstance(CLSID_DirectDraw7, nullptr, CLSCTX_ALL, IID_IDirectDraw7,
                              reinterpret_cast<void**>(&state.DirectDraw)))) {
    state.DirectDraw = nullptr;
    AddLogText("オブジェクトの取得に失敗しました\n");
    return -1;
  }
  AddLogText("成功\n");
  AddLogText("引き続き初期化処理... ");
  if (FAILED(state.DirectDraw->Initialize(nullptr))) {
    AddLogText("DirectDrawオブジェクトの初期化に失敗しました\n");
    ReleaseAndClear(state.DirectDraw);
    return -1;
  }
  AddLogText("初期化に成功しました\n");
  DWORD level = DDSCL_NORMAL | (IsFloatingPointPreserved() ? DDSCL_FPUPRESERVE : 0);
  state.DirectDraw->SetCooperativeLevel(GetMainWindow(), level);
  return 0;
}

int CreateDirect3DObject() {
  RenderDeviceState& state = g_renderDevice;
  ReleaseAndClear(state.Direct3D);
  state.Direct3DEx = nullptr;
  AddLogText("IDirect3D9Ex オブジェクトを取得します.... ");
  auto createEx = reinterpret_cast<HRESULT (*)(UINT, IDirect3D9Ex**)>(
      state.D3D9Module ? GetProcAddress(state.D3D9Module, "Direct3DCreate9Ex") : nullptr);
  IDirect3D9Ex* ex = nullptr;
  if (createEx && SUCCEEDED(createEx(D3D_SDK_VERSION, &ex)) && ex) {
    state.Direct3D = ex;
    state.Direct3DEx = ex;
  } else {
    AddLogText("IDirect3D9 オブジェクトを取得します.... ");
    auto create = reinterpret_cast<IDirect3D9* (*)(UINT)>(
        state.D3D9Module ? GetProcAddress(state.D3D9Module, "Direct3DCreate9") : nullptr);
    if (!create) {
      AddLogText("Direct3DCreate9 APIのアドレス取得に失敗しました\n");
      return -1;
    }
    state.Direct3D = create(D3D_SDK_VERSION);
    if (!state.Direct3D) {
      AddLogText("IDirect3D9 オブジェクトの取得に失敗しました\n");
      return -1;
    }
  }
  AddLogText("成功\n");
  return 0;
}

// ---- The device ----

int CreateDirect3DDevice() {
  RenderDeviceState& state = g_renderDevice;
  if (!state.Direct3D) return -1;
  ReleaseAndClear(state.BackBuffer);
  ReleaseAndClear(state.SwapChain);
  ReleaseAndClear(state.Device);
  state.DeviceEx = nullptr;

  D3DPRESENT_PARAMETERS parameters = {};
  parameters.BackBufferWidth = static_cast<UINT>(g_screenSettings.Width);
  parameters.BackBufferHeight = static_cast<UINT>(g_screenSettings.Height);
  parameters.BackBufferCount = 1;
  parameters.MultiSampleType = D3DMULTISAMPLE_NONE;
  parameters.SwapEffect = D3DSWAPEFFECT_COPY;
  parameters.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
  parameters.EnableAutoDepthStencil = FALSE;
  parameters.hDeviceWindow = GetMainWindow();
  parameters.PresentationInterval = g_drawState.NoVSyncWait ? D3DPRESENT_INTERVAL_IMMEDIATE : D3DPRESENT_INTERVAL_ONE;

  auto formatOfBits = [&](int bits, D3DFORMAT* format) {
    if (bits == 16) {
      *format = state.Direct3D->GetAdapterModeCount(D3DADAPTER_DEFAULT, D3DFMT_R5G6B5) ? D3DFMT_R5G6B5
                                                                                       : D3DFMT_X1R5G5B5;
      return true;
    }
    if (bits == 32) {
      *format = D3DFMT_X8R8G8B8;
      return true;
    }
    AddLogText("非対応のバックバッファービット深度が指定されました\n");
    return false;
  };

  D3DDISPLAYMODEEX fullScreenMode = {};
  bool fullScreen = false;
  if (IsWindowedMode()) {
    parameters.Windowed = TRUE;
    D3DDISPLAYMODE desktop = {};
    state.Direct3D->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &desktop);
    parameters.BackBufferFormat = desktop.Format;
    if (desktop.Format == D3DFMT_X8R8G8B8) g_screenSettings.ColorBits = 32;
    if (desktop.Format == D3DFMT_R5G6B5 || desktop.Format == D3DFMT_X1R5G5B5 || desktop.Format == D3DFMT_A1R5G5B5)
      g_screenSettings.ColorBits = 16;
    SetDesktopComposition(1);
  } else if (g_screenSettings.Emulating320x240 && GetOsCode() >= OS_CODE_VISTA) {
    // The display mode was already changed by the program; the device runs windowed over it.
    parameters.Windowed = TRUE;
    if (!formatOfBits(g_screenSettings.ColorBits, &parameters.BackBufferFormat)) return -1;
  } else {
    parameters.Windowed = FALSE;
    if (!formatOfBits(g_screenSettings.ColorBits, &parameters.BackBufferFormat)) return -1;
    parameters.FullScreen_RefreshRateInHz = static_cast<UINT>(g_screenSettings.Refresh);
    fullScreenMode = {sizeof(D3DDISPLAYMODEEX),    parameters.BackBufferWidth,
                      parameters.BackBufferHeight, parameters.FullScreen_RefreshRateInHz,
                      parameters.BackBufferFormat, D3DSCANLINEORDERING_PROGRESSIVE};
    fullScreen = true;
    SetDesktopComposition(0);
    if (HasCompositionSwitch()) AddLogText("Desktop Window Manager を無効にしました\n");
  }

  D3DCAPS9 caps = {};
  state.Direct3D->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps);
  state.HardwareVertexProcessing = (caps.VertexShaderVersion & 0xFFFF) >= 0x200 &&
                                   (caps.PixelShaderVersion & 0xFFFF) >= 0x200;
  DWORD preserve = IsFloatingPointPreserved() ? D3DCREATE_FPU_PRESERVE : 0;
  auto behaviour = [&]() -> DWORD {
    return (state.HardwareVertexProcessing ? D3DCREATE_MIXED_VERTEXPROCESSING : D3DCREATE_SOFTWARE_VERTEXPROCESSING) |
           preserve;
  };

  // One attempt: a 9Ex device from a 9Ex object, else a plain one; null when refused.
  bool ex = state.Direct3DEx != nullptr;
  auto create = [&]() -> IDirect3DDevice9* {
    D3DPRESENT_PARAMETERS attempt = parameters;
    if (ex) {
      IDirect3DDevice9Ex* device = nullptr;
      HRESULT result = state.Direct3DEx->CreateDeviceEx(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, GetMainWindow(),
                                                        behaviour(), &attempt, fullScreen ? &fullScreenMode : nullptr,
                                                        &device);
      return SUCCEEDED(result) ? device : nullptr;
    }
    IDirect3DDevice9* device = nullptr;
    HRESULT result = state.Direct3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, GetMainWindow(), behaviour(),
                                                  &attempt, &device);
    return SUCCEEDED(result) ? device : nullptr;
  };
  AddLogText(ex ? "IDirect3DDevice9Ex オブジェクトを取得します.... "
                : "IDirect3DDevice9 オブジェクトを取得します.... ");
  state.Device = create();
  if (!state.Device) {
    // Again with software vertex processing.
    state.HardwareVertexProcessing = 0;
    state.Device = create();
  }
  if (!state.Device) {
    AddLogText(ex ? "Direct3DDevice9Ex の作成に失敗しました\n" : "Direct3DDevice9 の作成に失敗しました\n");
    return -1;
  }
  if (ex) {
    state.DeviceEx = static_cast<IDirect3DDevice9Ex*>(state.Device);
    state.DeviceEx->SetMaximumFrameLatency(1);
  }
  AddLogText(state.HardwareVertexProcessing ? "ハードウエア頂点演算を使用します\n"
                                            : "ソフトウエア頂点演算を使用します\n");

  IDirect3DDevice9* device = state.Device;
  MeasureVerticalBlankPeriod();
  ClearDeviceStateWords();
  device->SetRenderState(D3DRS_ZENABLE, TRUE);

  const D3DCOLOR background = BackgroundColor();
  for (int i = 0; i < 4; ++i) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, background, 1.0f, 0);
    if (i < 3) device->Present(nullptr, nullptr, GetMainWindow(), nullptr);
  }

  device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &state.BackBuffer);
  device->GetSwapChain(0, &state.SwapChain);
  AddLogText("成功\n");

  device->GetDeviceCaps(&state.Caps);
  state.TssArgTempCap = (state.Caps.PrimitiveMiscCaps & D3DPMISCCAPS_TSSARGTEMP) != 0;
  state.BlendOpCap = (state.Caps.PrimitiveMiscCaps & D3DPMISCCAPS_BLENDOP) != 0;
  state.VertexShader20Usable = state.HardwareVertexProcessing && (state.Caps.VertexShaderVersion & 0xFFFF) >= 0x200;
  state.PixelShader20Usable = state.HardwareVertexProcessing && (state.Caps.PixelShaderVersion & 0xFFFF) >= 0x200;
  int maxWidth = state.Caps.MaxTextureWidth ? static_cast<int>(state.Caps.MaxTextureWidth) : 256;
  int maxHeight = state.Caps.MaxTextureHeight ? static_cast<int>(state.Caps.MaxTextureHeight) : 256;
  state.MaxTextureSide = maxWidth < maxHeight ? maxWidth : maxHeight;
  SetDeviceStateWordsAfterCaps();

  D3DADAPTER_IDENTIFIER9 identifier = {};
  state.Direct3D->GetAdapterIdentifier(D3DADAPTER_DEFAULT, 0, &identifier);
  WriteLogFormat("Driver:%s  Description:%s", identifier.Driver, identifier.Description);

  D3DSURFACE_DESC description = {};
  if (state.BackBuffer) state.BackBuffer->GetDesc(&description);
  state.ScreenFormat = description.Format;
  if (const char* name = ScreenFormatName(state.ScreenFormat))
    WriteLogFormat("画面のフォーマットは %s です", name);
  else
    WriteLogFormat("バックバッファが対応していないフォーマット %d です", static_cast<int>(state.ScreenFormat));

  if (ChooseTextureFormats() != 0) return -1;
  if (state.BackBuffer) ChooseBackBufferReadRoute();
  return 0;
}

int CreateZBuffer() {
  RenderDeviceState& state = g_renderDevice;
  if (!state.Device) return -1;
  ReleaseAndClear(state.ZBuffer);
  AddLogText("Ｚバッファを作成します.... ");
  int width = 1, height = 1;
  while (width < g_screenSettings.Width) width <<= 1;
  while (height < g_screenSettings.Height) height <<= 1;
  state.ZBufferWidth = width;
  state.ZBufferHeight = height;
  if (FAILED(state.Device->CreateDepthStencilSurface(width, height, state.TextureFormats[kTextureFormatZBuffer],
                                                     D3DMULTISAMPLE_NONE, 0, TRUE, &state.ZBuffer, nullptr))) {
    state.ZBuffer = nullptr;
    AddLogText("Ｚバッファの作成に失敗しました\n");
    return -1;
  }
  state.Device->SetDepthStencilSurface(state.ZBuffer);
  state.Device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
  AddLogText("成功\n");
  return 0;
}

int CreateSubBackBuffer() {
  RenderDeviceState& state = g_renderDevice;
  if (!state.Device) return -1;
  ReleaseAndClear(state.SubBackBuffer);
  if (FAILED(state.Device->CreateRenderTarget(g_screenSettings.Width, g_screenSettings.Height, state.ScreenFormat,
                                              D3DMULTISAMPLE_NONE, 0, FALSE, &state.SubBackBuffer, nullptr))) {
    state.SubBackBuffer = nullptr;
    AddLogText("サブバックバッファの作成に失敗しました\n");
    return -1;
  }
  return 0;
}

int CreateBrightnessVolumeTexture() {
  RenderDeviceState& state = g_renderDevice;
  if (!state.Device) return -1;
  ReleaseAndClear(state.BrightnessVolumeTexture);
  constexpr int kSide = 128;
  if (FAILED(state.Device->CreateVolumeTexture(kSide, kSide, kSide, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT,
                                               &state.BrightnessVolumeTexture, nullptr))) {
    state.BrightnessVolumeTexture = nullptr;
    AddLogText("RGBカラーを輝度を最大にしたRGB値に変換するためのボリュームテクスチャの作成に失敗しました\n");
    return -1;
  }
  IDirect3DVolumeTexture9* source = nullptr;
  if (FAILED(state.Device->CreateVolumeTexture(kSide, kSide, kSide, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &source,
                                               nullptr))) {
    AddLogText("RGBカラーを輝度を最大にしたRGB値に変換するための転送元用ボリュームテクスチャの作成に失敗しました\n");
    ReleaseAndClear(state.BrightnessVolumeTexture);
    return -1;
  }
  D3DLOCKED_BOX box;
  if (FAILED(source->LockBox(0, &box, nullptr, 0))) {
    AddLogText("RGBカラーを輝度を最大にしたRGB値に変換するための転送元用ボリュームテクスチャのロックに失敗しました\n");
    source->Release();
    ReleaseAndClear(state.BrightnessVolumeTexture);
    return -1;
  }
  for (int z = 0; z < kSide; ++z)
    for (int y = 0; y < kSide; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(box.pBits) +
                                              static_cast<ptrdiff_t>(z) * box.SlicePitch +
                                              static_cast<ptrdiff_t>(y) * box.RowPitch);
      for (int x = 0; x < kSide; ++x)
        row[x] = 0xFF000000u | (x < 8 && y < 8 && z < 8 ? 0xFFFFFFu : MaxBrightnessColor(2 * x, 2 * y, 2 * z));
    }
  source->UnlockBox(0);
  state.Device->UpdateTexture(source, state.BrightnessVolumeTexture);
  source->Release();
  return 0;
}

uint32_t MaxBrightnessColor(int red, int green, int blue) {
  int in[3] = {red > 255 ? 255 : red, green > 255 ? 255 : green, blue > 255 ? 255 : blue};
  int high = in[0], low = in[0];
  for (int value : in) {
    high = value > high ? value : high;
    low = value < low ? value : low;
  }
  if (high == 0 || high == low) return 0xFFFFFF;  // Black and greys brighten to white.
  int spread = (high - low) * 255 / high;
  int out[3];
  for (int i = 0; i < 3; ++i) {
    if (in[i] == high)
      out[i] = 255;
    else if (in[i] == low)
      out[i] = 255 - spread;
    else
      out[i] = 255 - spread * (255 - (in[i] - low) * 255 / (high - low)) / 255;
  }
  return static_cast<uint32_t>(out[0] << 16 | out[1] << 8 | out[2]);
}

// ---- Shaders and release ----

int ReleaseBaseShaders() {
  if (g_renderDevice.Device) {
    g_renderDevice.Device->SetVertexShader(nullptr);
    g_renderDevice.Device->SetPixelShader(nullptr);
  }
  ForgetBoundShaders();
  ReleaseVertexDeclarations();
  return 0;
}

int ReleaseShaderTables() {
  if (g_renderDevice.Device) {
    g_renderDevice.Device->SetVertexShader(nullptr);
    g_renderDevice.Device->SetPixelShader(nullptr);
  }
  ForgetBoundShaders();
  ReleaseLibraryShaderObjects();
  return 0;
}

int ReleaseDirect3D() {
  RenderDeviceState& state = g_renderDevice;
  ReleaseAllModelBuffers();
  ReleaseBaseShaders();
  ReleaseShaderTables();
  if (!IsWindowedMode() && state.DisplayModeChanged) ChangeDisplaySettingsA(nullptr, 0);
  state.DisplayModeChanged = 0;
  ReleaseAndClear(state.ZBuffer);
  ReleaseAndClear(state.SubBackBuffer);
  ReleaseAndClear(state.BackBuffer);
  ReleaseAndClear(state.SwapChain);
  ReleaseAndClear(state.BrightnessVolumeTexture);
  ReleaseAndClear(state.Device);
  state.DeviceEx = nullptr;
  ReleaseAndClear(state.Direct3D);
  state.Direct3DEx = nullptr;
  ReleaseAndClear(state.DirectDraw);
  if (state.D3D9Module) FreeLibrary(state.D3D9Module);
  state.D3D9Module = nullptr;
  state.InScene = 0;
  FreeDisplayModeList();
  return 0;
}

// ---- Scene and dialog boxes ----

int BeginSceneIfClosed() {
  RenderDeviceState& state = g_renderDevice;
  if (!state.Direct3D || !state.Device || state.InScene) return 0;
  HRESULT result = state.Device->BeginScene();
  state.InScene = 1;
  for (int& word : state.PerSceneWords) word = 0;
  return SUCCEEDED(result) ? 0 : static_cast<int>(result);
}

int EndSceneIfOpen() {
  RenderDeviceState& state = g_renderDevice;
  if (!state.Device || !state.InScene) return 0;
  state.InScene = 0;
  HRESULT result = state.Device->EndScene();
  return SUCCEEDED(result) ? 0 : static_cast<int>(result);
}

int SwitchDialogBoxMode(int enable) {
  if (!g_renderDevice.Device) return 0;
  EndSceneIfOpen();
  g_renderDevice.Device->SetDialogBoxMode(enable ? TRUE : FALSE);
  return 0;
}

int ApplyMenuDialogBoxMode(int menuPresent) {
  if (!g_renderDevice.Device) return 0;
  g_renderDevice.Device->SetDialogBoxMode(FALSE);
  if (menuPresent) g_renderDevice.Device->SetDialogBoxMode(TRUE);
  return 0;
}

void* GetDirectDrawObject() { return g_renderDevice.DirectDraw; }
