// DirectDraw 7 as the stand-in offers it: the object the program keeps for display enumeration
// and vertical-blank waits. No surfaces: nothing in the program draws through DirectDraw.
// The vertical blank is simulated at the display's refresh rate on the stand-in's clock.
#pragma once

#include "platform/com.h"

#define DD_OK S_OK
#define DDENUMRET_CANCEL 0
#define DDENUMRET_OK 1
#define DDERR_ALREADYINITIALIZED ((HRESULT)0x88760005)
#define DDERR_INVALIDPARAMS E_INVALIDARG
#define DDERR_NOTINITIALIZED ((HRESULT)0x800401F0)
#define DDERR_UNSUPPORTED E_NOTIMPL

#define DDSCL_FULLSCREEN 0x00000001L
#define DDSCL_ALLOWREBOOT 0x00000002L
#define DDSCL_NOWINDOWCHANGES 0x00000004L
#define DDSCL_NORMAL 0x00000008L
#define DDSCL_EXCLUSIVE 0x00000010L
#define DDSCL_MULTITHREADED 0x00000400L
#define DDSCL_FPUSETUP 0x00000800L
#define DDSCL_FPUPRESERVE 0x00001000L

#define DDWAITVB_BLOCKBEGIN 0x00000001L
#define DDWAITVB_BLOCKBEGINEVENT 0x00000002L
#define DDWAITVB_BLOCKEND 0x00000004L

#define DDEDM_REFRESHRATES 0x00000001L

#define DDSD_HEIGHT 0x00000002L
#define DDSD_WIDTH 0x00000004L
#define DDSD_PITCH 0x00000008L
#define DDSD_PIXELFORMAT 0x00001000L
#define DDSD_REFRESHRATE 0x00040000L
#define DDPF_RGB 0x00000040L

struct DDCOLORKEY {
  DWORD dwColorSpaceLowValue;
  DWORD dwColorSpaceHighValue;
};
struct DDPIXELFORMAT {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwFourCC;
  DWORD dwRGBBitCount;
  DWORD dwRBitMask;
  DWORD dwGBitMask;
  DWORD dwBBitMask;
  DWORD dwRGBAlphaBitMask;
};
struct DDSCAPS2 {
  DWORD dwCaps;
  DWORD dwCaps2;
  DWORD dwCaps3;
  DWORD dwCaps4;
};
struct DDSURFACEDESC2 {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwHeight;
  DWORD dwWidth;
  LONG lPitch;
  DWORD dwBackBufferCount;
  DWORD dwRefreshRate;
  DWORD dwAlphaBitDepth;
  DWORD dwReserved;
  void* lpSurface;
  DDCOLORKEY ddckCKDestOverlay;
  DDCOLORKEY ddckCKDestBlt;
  DDCOLORKEY ddckCKSrcOverlay;
  DDCOLORKEY ddckCKSrcBlt;
  DDPIXELFORMAT ddpfPixelFormat;
  DDSCAPS2 ddsCaps;
  DWORD dwTextureStage;
};

typedef HRESULT (*LPDDENUMMODESCALLBACK2)(DDSURFACEDESC2* mode, void* context);

inline constexpr GUID CLSID_DirectDraw7 = {
    0x3C305196, 0x50DB, 0x11D3, {0x9C, 0xFE, 0x00, 0xC0, 0x4F, 0xD9, 0x30, 0xC5}};
inline constexpr GUID IID_IDirectDraw7 = {0x15E65EC0, 0x3B9C, 0x11D2, {0xB9, 0x2F, 0x00, 0x60, 0x97, 0x97, 0xEA, 0x5B}};

struct IDirectDraw7 : IUnknown {
  virtual HRESULT Initialize(GUID* driver) = 0;
  virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
  virtual HRESULT EnumDisplayModes(DWORD flags, DDSURFACEDESC2* filter, void* context,
                                   LPDDENUMMODESCALLBACK2 callback) = 0;
  virtual HRESULT GetDisplayMode(DDSURFACEDESC2* mode) = 0;
  virtual HRESULT GetMonitorFrequency(DWORD* frequency) = 0;
  virtual HRESULT GetVerticalBlankStatus(BOOL* inVerticalBlank) = 0;
  virtual HRESULT WaitForVerticalBlank(DWORD flags, HANDLE event) = 0;
};
typedef IDirectDraw7* LPDIRECTDRAW7;

namespace platform {
// The class factory behind CoCreateInstance(CLSID_DirectDraw7).
HRESULT CreateDirectDrawInstance(LPUNKNOWN outer, REFIID iid, void** object);
}  // namespace platform
