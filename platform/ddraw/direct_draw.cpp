// The DirectDraw 7 object: initialisation, cooperative level, display modes and the vertical
// blank. Made through CoCreateInstance(CLSID_DirectDraw7).
#include <cstring>

#include "d3d9/pixel_formats.h"
#include "d3d9/standin_state.h"
#include "ddraw/vertical_blank.h"
#include "platform/ddraw.h"

namespace platform::ddraw {

namespace {

void DescribeMode(const d3d9::AdapterMode& mode, DDSURFACEDESC2* out) {
  std::memset(out, 0, sizeof(*out));
  out->dwSize = sizeof(*out);
  out->dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT | DDSD_REFRESHRATE;
  out->dwWidth = mode.width;
  out->dwHeight = mode.height;
  out->dwRefreshRate = mode.refreshRate;
  DDPIXELFORMAT& format = out->ddpfPixelFormat;
  format.dwSize = sizeof(format);
  format.dwFlags = DDPF_RGB;
  switch (mode.format) {
    case D3DFMT_R5G6B5:
      format.dwRGBBitCount = 16;
      format.dwRBitMask = 0xF800;
      format.dwGBitMask = 0x7E0;
      format.dwBBitMask = 0x1F;
      break;
    case D3DFMT_X1R5G5B5:
      format.dwRGBBitCount = 16;
      format.dwRBitMask = 0x7C00;
      format.dwGBitMask = 0x3E0;
      format.dwBBitMask = 0x1F;
      break;
    default:
      format.dwRGBBitCount = 32;
      format.dwRBitMask = 0xFF0000;
      format.dwGBitMask = 0xFF00;
      format.dwBBitMask = 0xFF;
      break;
  }
  out->lPitch = static_cast<LONG>(mode.width * (format.dwRGBBitCount / 8));
}

class DirectDraw final : public ComInterfaces<DirectDraw, IDirectDraw7>, public d3d9::CountedObject {
 public:
  static constexpr const IID* kInterfaceIds[] = {&IID_IDirectDraw7};

  HRESULT Initialize(GUID*) override {
    if (initialized_) return DDERR_ALREADYINITIALIZED;
    initialized_ = true;
    return DD_OK;
  }

  HRESULT SetCooperativeLevel(HWND window, DWORD flags) override {
    if (!initialized_) return DDERR_NOTINITIALIZED;
    bool normal = (flags & DDSCL_NORMAL) != 0, exclusive = (flags & DDSCL_EXCLUSIVE) != 0;
    if (normal == exclusive) return DDERR_INVALIDPARAMS;
    if (exclusive && (!(flags & DDSCL_FULLSCREEN) || !window)) return DDERR_INVALIDPARAMS;
    window_ = window;
    flags_ = flags;
    return DD_OK;
  }

  HRESULT EnumDisplayModes(DWORD flags, DDSURFACEDESC2* filter, void* context,
                           LPDDENUMMODESCALLBACK2 callback) override {
    if (!initialized_) return DDERR_NOTINITIALIZED;
    if (!callback) return DDERR_INVALIDPARAMS;
    std::vector<d3d9::AdapterMode> reported;
    for (d3d9::AdapterMode mode : d3d9::ListAdapterModes()) {
      if (!(flags & DDEDM_REFRESHRATES)) mode.refreshRate = 0;
      bool seen = false;
      for (const d3d9::AdapterMode& earlier : reported)
        seen |= earlier.width == mode.width && earlier.height == mode.height && earlier.format == mode.format &&
                earlier.refreshRate == mode.refreshRate;
      if (seen) continue;
      reported.push_back(mode);
      DDSURFACEDESC2 description;
      DescribeMode(mode, &description);
      if (filter && (filter->dwFlags & DDSD_WIDTH) && filter->dwWidth != description.dwWidth) continue;
      if (filter && (filter->dwFlags & DDSD_HEIGHT) && filter->dwHeight != description.dwHeight) continue;
      if (callback(&description, context) == DDENUMRET_CANCEL) break;
    }
    return DD_OK;
  }

  HRESULT GetDisplayMode(DDSURFACEDESC2* mode) override {
    if (!initialized_) return DDERR_NOTINITIALIZED;
    if (!mode || mode->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
    DescribeMode(d3d9::DesktopAdapterMode(), mode);
    return DD_OK;
  }

  HRESULT GetMonitorFrequency(DWORD* frequency) override {
    if (!initialized_) return DDERR_NOTINITIALIZED;
    if (!frequency) return DDERR_INVALIDPARAMS;
    *frequency = static_cast<DWORD>(1000000u / VerticalBlankPeriodMicroseconds());
    return DD_OK;
  }

  HRESULT GetVerticalBlankStatus(BOOL* inVerticalBlank) override {
    if (!initialized_) return DDERR_NOTINITIALIZED;
    if (!inVerticalBlank) return DDERR_INVALIDPARAMS;
    *inVerticalBlank = InVerticalBlank() ? TRUE : FALSE;
    return DD_OK;
  }

  HRESULT WaitForVerticalBlank(DWORD flags, HANDLE) override {
    if (!initialized_) return DDERR_NOTINITIALIZED;
    if (flags != DDWAITVB_BLOCKBEGIN && flags != DDWAITVB_BLOCKEND) return DDERR_UNSUPPORTED;
    WaitForNextVerticalBlank();
    return DD_OK;
  }

 private:
  bool initialized_ = false;
  HWND window_ = nullptr;
  DWORD flags_ = 0;
};

}  // namespace

}  // namespace platform::ddraw

namespace platform {

HRESULT CreateDirectDrawInstance(LPUNKNOWN outer, REFIID iid, void** object) {
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* directDraw = new ddraw::DirectDraw;
  HRESULT result = directDraw->QueryInterface(iid, object);
  directDraw->Release();
  return result;
}

}  // namespace platform
