// The Direct3D 9 object: the one adapter, its modes and formats, the caps of the software
// device, device creation, and the two exports of "d3d9.dll".
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "d3d9/device.h"

#define D3DPMISCCAPS_SEPARATEALPHABLEND 0x00020000L
#define D3DPTFILTERCAPS_MINFANISOTROPIC 0x00000400L

namespace platform::d3d9 {

namespace {
const D3DFORMAT kRenderTargetFormats[] = {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_R5G6B5,
                                          D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4};
const D3DFORMAT kDepthFormats[] = {D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D24S8, D3DFMT_D32};
}  // namespace

namespace {
bool IsRefused(D3DFORMAT format) {
  testing::Direct3DSwitches switches = CurrentSwitches();
  for (DWORD refused : switches.refusedFormats)
    if (refused == format) return true;
  return false;
}
}  // namespace

namespace {
// The machine's card: PLATFORM_NO_3D_DEVICE=1 in the environment stands for a machine without a
// 3D device, where every device creation is refused; programs then draw on their software path.
bool MachineHasNo3DDevice() {
  static const bool none = [] {
    const char* setting = std::getenv("PLATFORM_NO_3D_DEVICE");
    return setting && std::strcmp(setting, "1") == 0;
  }();
  return none;
}
}  // namespace

bool IsDisplayFormat(D3DFORMAT format) {
  return format == D3DFMT_X8R8G8B8 || format == D3DFMT_R5G6B5 || format == D3DFMT_X1R5G5B5;
}

bool IsRenderTargetFormat(D3DFORMAT format) {
  if (IsRefused(format)) return false;
  for (D3DFORMAT candidate : kRenderTargetFormats)
    if (candidate == format) return true;
  return false;
}

bool IsDepthFormat(D3DFORMAT format) {
  if (IsRefused(format)) return false;
  for (D3DFORMAT candidate : kDepthFormats)
    if (candidate == format) return true;
  return false;
}

bool IsTextureFormat(D3DFORMAT format) {
  if (!IsColorFormat(format) || IsRefused(format)) return false;
  if (IsDxtFormat(format)) return CurrentSwitches().offerDxtFormats;
  return true;
}

UINT MaximumTextureSide() { return 4096; }

void FillDeviceCaps(D3DCAPS9* caps) {
  testing::Direct3DSwitches switches = CurrentSwitches();
  std::memset(caps, 0, sizeof(*caps));
  caps->DeviceType = D3DDEVTYPE_HAL;
  caps->Caps2 = D3DCAPS2_DYNAMICTEXTURES | D3DCAPS2_CANMANAGERESOURCE;
  caps->PresentationIntervals = D3DPRESENT_INTERVAL_ONE | D3DPRESENT_INTERVAL_IMMEDIATE;
  caps->DevCaps = D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY | D3DDEVCAPS_TEXTURESYSTEMMEMORY |
                  D3DDEVCAPS_DRAWPRIMTLVERTEX;
  if (switches.reportShaderModel2) caps->DevCaps |= D3DDEVCAPS_HWTRANSFORMANDLIGHT;
  caps->PrimitiveMiscCaps = D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW |
                            D3DPMISCCAPS_COLORWRITEENABLE | D3DPMISCCAPS_TSSARGTEMP | D3DPMISCCAPS_BLENDOP |
                            D3DPMISCCAPS_SEPARATEALPHABLEND;
  if (switches.noBlendOperations) caps->PrimitiveMiscCaps &= ~static_cast<DWORD>(D3DPMISCCAPS_BLENDOP);
  caps->RasterCaps = D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_FOGVERTEX | D3DPRASTERCAPS_SCISSORTEST;
  caps->ZCmpCaps = caps->AlphaCmpCaps = 0xFF;        // All eight comparisons.
  caps->SrcBlendCaps = caps->DestBlendCaps = 0x7FF;  // ZERO through SRCALPHASAT.
  caps->ShadeCaps = D3DPSHADECAPS_COLORGOURAUDRGB | D3DPSHADECAPS_SPECULARGOURAUDRGB | D3DPSHADECAPS_ALPHAGOURAUDBLEND |
                    D3DPSHADECAPS_FOGGOURAUD;
  caps->TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_MIPMAP |
                      D3DPTEXTURECAPS_VOLUMEMAP;
  if (switches.reportSquareOnlyTextures) caps->TextureCaps |= D3DPTEXTURECAPS_SQUAREONLY;
  caps->TextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MIPFPOINT |
                            D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
  caps->TextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP |
                             D3DPTADDRESSCAPS_BORDER | D3DPTADDRESSCAPS_MIRRORONCE;
  caps->MaxTextureWidth = caps->MaxTextureHeight = switches.reportZeroMaximumTextureSize ? 0 : MaximumTextureSide();
  caps->MaxVolumeExtent = 256;
  caps->MaxTextureRepeat = 8192;
  caps->MaxTextureAspectRatio = MaximumTextureSide();
  caps->MaxAnisotropy = 1;
  caps->MaxVertexW = 1e10f;
  caps->GuardBandLeft = caps->GuardBandTop = -262144.0f;
  caps->GuardBandRight = caps->GuardBandBottom = 262144.0f;
  caps->FVFCaps = kMaxTexCoordSets;
  caps->TextureOpCaps = D3DTEXOPCAPS_DISABLE | D3DTEXOPCAPS_SELECTARG1 | D3DTEXOPCAPS_SELECTARG2 |
                        D3DTEXOPCAPS_MODULATE | D3DTEXOPCAPS_MODULATE2X | D3DTEXOPCAPS_MODULATE4X | D3DTEXOPCAPS_ADD |
                        D3DTEXOPCAPS_SUBTRACT | D3DTEXOPCAPS_BLENDDIFFUSEALPHA | D3DTEXOPCAPS_BLENDTEXTUREALPHA |
                        D3DTEXOPCAPS_BLENDFACTORALPHA | D3DTEXOPCAPS_BLENDCURRENTALPHA;
  caps->MaxTextureBlendStages = caps->MaxSimultaneousTextures = kStageCount;
  caps->MaxActiveLights = 8;  // Lights are kept but not applied: vertex colours pass unlit.
  caps->MaxPointSize = 1.0f;
  caps->MaxPrimitiveCount = 0xFFFFF;
  caps->MaxVertexIndex = 0xFFFFFF;
  caps->MaxStreams = 1;
  caps->MaxStreamStride = 255;
  if (switches.reportShaderModel2) {
    caps->VertexShaderVersion = D3DVS_VERSION(2, 0);
    caps->PixelShaderVersion = D3DPS_VERSION(2, 0);
    caps->MaxVertexShaderConst = 256;
  }
  caps->NumberOfAdaptersInGroup = 1;
  caps->NumSimultaneousRTs = 1;
  caps->StretchRectFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MINFLINEAR |
                                D3DPTFILTERCAPS_MAGFLINEAR;
}

HRESULT CompletePresentParameters(D3DPRESENT_PARAMETERS* parameters, HWND focusWindow) {
  if (!parameters) return D3DERR_INVALIDCALL;
  if (parameters->SwapEffect < D3DSWAPEFFECT_DISCARD || parameters->SwapEffect > D3DSWAPEFFECT_COPY)
    return D3DERR_INVALIDCALL;
  if (parameters->MultiSampleType != D3DMULTISAMPLE_NONE) return D3DERR_INVALIDCALL;
  if (parameters->BackBufferCount == 0) parameters->BackBufferCount = 1;
  if (parameters->BackBufferCount > 1 && parameters->SwapEffect == D3DSWAPEFFECT_COPY) return D3DERR_INVALIDCALL;
  if (parameters->BackBufferCount > 3) return D3DERR_INVALIDCALL;
  if (!parameters->hDeviceWindow && !focusWindow) return D3DERR_INVALIDCALL;
  if (parameters->EnableAutoDepthStencil && !IsDepthFormat(parameters->AutoDepthStencilFormat))
    return D3DERR_INVALIDCALL;
  if (parameters->Windowed) {
    if (parameters->BackBufferFormat == D3DFMT_UNKNOWN) parameters->BackBufferFormat = DesktopAdapterMode().format;
    if (!IsRenderTargetFormat(parameters->BackBufferFormat)) return D3DERR_INVALIDCALL;
    // The window's client size would be taken here; until windows report one, 640 x 480.
    if (parameters->BackBufferWidth == 0) parameters->BackBufferWidth = 640;
    if (parameters->BackBufferHeight == 0) parameters->BackBufferHeight = 480;
    if (parameters->FullScreen_RefreshRateInHz != 0) return D3DERR_INVALIDCALL;
  } else {
    bool listed = false;
    for (const AdapterMode& mode : ListAdapterModes())
      if (mode.width == parameters->BackBufferWidth && mode.height == parameters->BackBufferHeight &&
          mode.format == parameters->BackBufferFormat &&
          (parameters->FullScreen_RefreshRateInHz == 0 || parameters->FullScreen_RefreshRateInHz == mode.refreshRate))
        listed = true;
    if (!listed) return D3DERR_INVALIDCALL;
  }
  if (parameters->BackBufferWidth > 16384 || parameters->BackBufferHeight > 16384) return D3DERR_INVALIDCALL;
  return D3D_OK;
}

// ---- The Direct3D object ----

void* Direct3D::InterfaceFor(REFIID iid) {
  if (iid == IID_IUnknown || iid == IID_IDirect3D9 || (ex_ && iid == IID_IDirect3D9Ex))
    return static_cast<IDirect3D9Ex*>(this);
  return nullptr;
}
HRESULT Direct3D::GetAdapterIdentifier(UINT adapter, DWORD, D3DADAPTER_IDENTIFIER9* identifier) {
  if (adapter != 0 || !identifier) return D3DERR_INVALIDCALL;
  std::memset(identifier, 0, sizeof(*identifier));
  std::snprintf(identifier->Driver, sizeof(identifier->Driver), "zyvel_software.dll");
  std::snprintf(identifier->Description, sizeof(identifier->Description), "Zyvel software rasteriser");
  std::snprintf(identifier->DeviceName, sizeof(identifier->DeviceName), "\\\\.\\DISPLAY1");
  return D3D_OK;
}

UINT Direct3D::GetAdapterModeCount(UINT adapter, D3DFORMAT format) {
  if (adapter != 0) return 0;
  UINT count = 0;
  for (const AdapterMode& mode : ListAdapterModes()) count += mode.format == format;
  return count;
}

HRESULT Direct3D::EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT index, D3DDISPLAYMODE* out) {
  if (adapter != 0 || !out) return D3DERR_INVALIDCALL;
  for (const AdapterMode& mode : ListAdapterModes()) {
    if (mode.format != format) continue;
    if (index-- == 0) {
      *out = {mode.width, mode.height, mode.refreshRate, mode.format};
      return D3D_OK;
    }
  }
  return D3DERR_INVALIDCALL;
}

HRESULT Direct3D::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* out) {
  if (adapter != 0 || !out) return D3DERR_INVALIDCALL;
  AdapterMode desktop = DesktopAdapterMode();
  *out = {desktop.width, desktop.height, desktop.refreshRate, desktop.format};
  return D3D_OK;
}

HRESULT Direct3D::CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT displayFormat, D3DFORMAT backBufferFormat,
                                  BOOL) {
  if (adapter != 0) return D3DERR_INVALIDCALL;
  if (type != D3DDEVTYPE_HAL || !IsDisplayFormat(displayFormat)) return D3DERR_NOTAVAILABLE;
  if (backBufferFormat != D3DFMT_UNKNOWN && !IsRenderTargetFormat(backBufferFormat)) return D3DERR_NOTAVAILABLE;
  return D3D_OK;
}

HRESULT Direct3D::CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                                    D3DRESOURCETYPE resourceType, D3DFORMAT format) {
  if (adapter != 0) return D3DERR_INVALIDCALL;
  if (type != D3DDEVTYPE_HAL || !IsDisplayFormat(adapterFormat)) return D3DERR_NOTAVAILABLE;
  if (usage & D3DUSAGE_DEPTHSTENCIL)
    return resourceType == D3DRTYPE_SURFACE && IsDepthFormat(format) ? D3D_OK : D3DERR_NOTAVAILABLE;
  if (usage & D3DUSAGE_RENDERTARGET)
    return (resourceType == D3DRTYPE_SURFACE || resourceType == D3DRTYPE_TEXTURE) && IsRenderTargetFormat(format)
               ? D3D_OK
               : D3DERR_NOTAVAILABLE;
  switch (resourceType) {
    case D3DRTYPE_SURFACE:
    case D3DRTYPE_TEXTURE:
      return IsTextureFormat(format) ? D3D_OK : D3DERR_NOTAVAILABLE;
    case D3DRTYPE_VOLUMETEXTURE:
      return IsTextureFormat(format) && !IsDxtFormat(format) ? D3D_OK : D3DERR_NOTAVAILABLE;
    default:
      return D3DERR_NOTAVAILABLE;
  }
}

HRESULT Direct3D::CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                         D3DFORMAT renderTargetFormat, D3DFORMAT depthStencilFormat) {
  if (adapter != 0) return D3DERR_INVALIDCALL;
  if (type != D3DDEVTYPE_HAL || !IsDisplayFormat(adapterFormat) || !IsRenderTargetFormat(renderTargetFormat) ||
      !IsDepthFormat(depthStencilFormat))
    return D3DERR_NOTAVAILABLE;
  return D3D_OK;
}

HRESULT Direct3D::GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) {
  if (adapter != 0 || !caps) return D3DERR_INVALIDCALL;
  if (type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
  FillDeviceCaps(caps);
  return D3D_OK;
}

HRESULT Direct3D::MakeDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                             D3DPRESENT_PARAMETERS* parameters, const D3DDISPLAYMODEEX* fullScreenMode, bool ex,
                             Device** device) {
  if (!device) return D3DERR_INVALIDCALL;
  *device = nullptr;
  if (adapter != 0 || !parameters) return D3DERR_INVALIDCALL;
  if (type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
  DWORD processing = behaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                      D3DCREATE_MIXED_VERTEXPROCESSING);
  if (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING && processing != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
      processing != D3DCREATE_MIXED_VERTEXPROCESSING)
    return D3DERR_INVALIDCALL;
  testing::Direct3DSwitches switches = CurrentSwitches();
  // Hardware (or mixed) vertex processing needs the transform-and-lighting caps the device
  // reports only with shader model 2.0.
  if (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING &&
      (!switches.reportShaderModel2 || switches.refuseMixedVertexProcessing))
    return D3DERR_INVALIDCALL;
  if (TakeFaultCount(StandIn().failDeviceCreation) || MachineHasNo3DDevice()) return D3DERR_NOTAVAILABLE;
  if (StandIn().devicesLost.load()) return D3DERR_DEVICELOST;
  D3DPRESENT_PARAMETERS completed = *parameters;
  HRESULT result = CompletePresentParameters(&completed, focusWindow);
  if (FAILED(result)) return result;
  if (ex) {
    if (completed.Windowed && fullScreenMode) return D3DERR_INVALIDCALL;
    if (!completed.Windowed &&
        (!fullScreenMode || fullScreenMode->Size != sizeof(D3DDISPLAYMODEEX) ||
         fullScreenMode->Width != completed.BackBufferWidth || fullScreenMode->Height != completed.BackBufferHeight))
      return D3DERR_INVALIDCALL;
  }
  *parameters = completed;
  *device = new Device(this, ex, focusWindow, behaviorFlags, completed);
  RecordCall("CreateDevice", "0x%X,%u,%u,%u", behaviorFlags, completed.BackBufferWidth, completed.BackBufferHeight,
             completed.BackBufferFormat);
  return D3D_OK;
}

HRESULT Direct3D::CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                               D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) {
  Device* made = nullptr;
  HRESULT result = MakeDevice(adapter, type, focusWindow, behaviorFlags, parameters, nullptr, false, &made);
  if (device) *device = made;
  return result;
}

HRESULT Direct3D::CreateDeviceEx(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                                 D3DPRESENT_PARAMETERS* parameters, D3DDISPLAYMODEEX* fullScreenMode,
                                 IDirect3DDevice9Ex** device) {
  if (!ex_) return D3DERR_INVALIDCALL;
  Device* made = nullptr;
  HRESULT result = MakeDevice(adapter, type, focusWindow, behaviorFlags, parameters, fullScreenMode, true, &made);
  if (device) *device = made;
  return result;
}

}  // namespace platform::d3d9

using platform::d3d9::Direct3D;

IDirect3D9* Direct3DCreate9(UINT sdkVersion) {
  if ((sdkVersion & 0x7FFFFFFFu) != D3D_SDK_VERSION) return nullptr;
  return new Direct3D(false);
}

HRESULT Direct3DCreate9Ex(UINT sdkVersion, IDirect3D9Ex** direct3d) {
  if (!direct3d) return D3DERR_INVALIDCALL;
  *direct3d = nullptr;
  if (platform::d3d9::CurrentSwitches().noDirect3DCreate9Ex) return D3DERR_NOTAVAILABLE;
  if ((sdkVersion & 0x7FFFFFFFu) != D3D_SDK_VERSION) return D3DERR_INVALIDCALL;
  *direct3d = new Direct3D(true);
  return D3D_OK;
}
