// The screens: selecting what the program draws into, clearing it, the flip that shows the frame
// (the swap chain's Present on the device path; the screen image copied into the window on the
// software path), and the colour codes of the screen's pixel format.
#include <cstring>

#include "graphics/device/blend_state.h"
#include "graphics/device/device_state_cache.h"
#include "graphics/device/display_modes.h"
#include "graphics/device/render_device.h"
#include "graphics/graphs/draw_settings.h"
#include "graphics/graphs/graph_records.h"
#include "graphics/graphs/masks.h"
#include "graphics/graphs/screen_settings.h"
#include "graphics/graphs/screens.h"
#include "graphics/graphs/software_drawing.h"
#include "graphics/models/camera.h"
#include "platform/gdi.h"
#include "window/window_services.h"
#include "zyvel/graphics.h"
#include "zyvel/memimg.h"
#include "zyvel/runtime.h"

namespace {

bool DevicePath() { return g_screenSettings.HardwareInUse && g_renderDevice.Device; }

// The graph's render-target surface, or null when the graph cannot be drawn into.
IDirect3DSurface9* GraphRenderTarget(const GraphRecord* graph) {
  const GraphImagePart* part = graph->Part;
  if (!part || !part->Drawable || !part->Textured || part->TextureCount < 1 || !part->Textures) return nullptr;
  return part->Textures[0].Surface;
}

MEMIMG* GraphSoftImage(GraphRecord* graph) {
  const GraphImagePart* part = graph->Part;
  if (!part || !part->Drawable || part->Textured) return nullptr;
  return &graph->SoftView;
}

IDirect3DSurface9* ScreenSurface() {
  return g_renderDevice.SubBackBuffer ? g_renderDevice.SubBackBuffer : g_renderDevice.BackBuffer;
}

// The screen is 640 x 480 and shows its top-left quarter enlarged.
bool HalfMode() {
  int width = 0, height = 0;
  GetScreenSizeSetting(&width, &height);
  return (g_drawState.Emulate320x240 || g_screenSettings.Emulating320x240) && width == 640 && height == 480;
}

// The front-screen timer keeps the window fresh while the program draws into the shown screen.
constexpr UINT_PTR kFrontScreenTimerId = 0x7FFF;
constexpr UINT kFrontScreenTimerPeriod = 32;

// A layered main window takes the picture as an image with per-pixel alpha instead of a present.
bool PerPixelAlphaWindow() { return IsLayeredMainWindow() != 0; }

// The back screen, read over the whole screen, refreshes the layered window; the draw target is the
// back screen for the moment.
void PresentToLayeredWindow(int screenWidth, int screenHeight) {
  DrawState& state = g_drawState;
  const int target = state.DrawTarget, targetWidth = state.DrawTargetWidth, targetHeight = state.DrawTargetHeight;
  state.DrawTarget = SCREEN_BACK;
  state.DrawTargetWidth = screenWidth;
  state.DrawTargetHeight = screenHeight;
  const RECT whole{0, 0, screenWidth, screenHeight};
  BaseImage image{};
  if (LockDrawScreenBuffer(&whole, &image) == 0) {
    UpdateLayeredWindowFromImage(&image, nullptr, 0);
    UnlockDrawScreenBuffer();
  }
  state.DrawTarget = target;
  state.DrawTargetWidth = targetWidth;
  state.DrawTargetHeight = targetHeight;
}

// The on-screen log goes over the whole screen, unblended and in its own colours; the program's
// draw settings are put back afterwards.
void DrawOnScreenLogOverScreen(int screenWidth, int screenHeight) {
  DrawState& state = g_drawState;
  RECT area{};
  GetDrawClipArea(&area);
  const int blendMode = state.BlendMode, blendParam = state.BlendParam;
  const uint32_t bright = state.BrightColor, vertexColor = g_renderDevice.Batch.DiffuseColor2D;
  SetDrawClipArea(0, 0, screenWidth, screenHeight);
  state.BlendMode = kBlendCopy;
  state.BlendParam = 0;
  state.BrightColor = 0xFFFFFF;
  if (g_screenSettings.HardwareInUse) g_renderDevice.Batch.DiffuseColor2D = ComputeVertexColor();
  DrawOnScreenLog();
  SetDrawClipArea(area.left, area.top, area.right, area.bottom);
  state.BlendMode = blendMode;
  state.BlendParam = blendParam;
  state.BrightColor = bright;
  g_renderDevice.Batch.DiffuseColor2D = vertexColor;
}

const ColorData* ScreenColorData() {
  const bool sixteen = GetScreenColorBits() == 16;
  if (DevicePath()) return GetFormatColorData(sixteen ? D3DFMT_R5G6B5 : D3DFMT_X8R8G8B8);
  return GetMemImgColorData(sixteen ? kMemImgFormat16 : kMemImgFormat32, 0, 0);
}

}  // namespace

uint32_t BackgroundColor() {
  int red = 0, green = 0, blue = 0;
  GetWindowBackgroundColor(&red, &green, &blue);
  return static_cast<uint32_t>((red & 0xFF) << 16 | (green & 0xFF) << 8 | (blue & 0xFF));
}

int SelectDrawTarget(int target) {
  if (!g_screenSettings.Initialised) return -1;
  if (!IsWindowActive()) WaitWhileInactive();
  GraphRecord* graph = nullptr;
  if (target != SCREEN_BACK && target != -3 && target != SCREEN_FRONT && target != -5) {
    graph = GetGraphRecord(target);
    if (!graph) return -1;
    if (g_screenSettings.HardwareInUse ? !GraphRenderTarget(graph) : !GraphSoftImage(graph)) return -1;
  }
  const int mask = GetUseMaskFlag();
  SetUseMaskFlag(0);

  if (DevicePath()) {
    FlushVertexBatch();
    EndSceneIfOpen();
    DeviceStateCache& cache = g_deviceStateCache;
    if (cache.MainTexture || cache.ForceApply) {
      if (cache.MainTexture) cache.BlendDirty = 1;
      cache.TextureChanged = 1;
      SelectMainTexture(nullptr);
    }
    SetDeviceRenderTarget(graph ? GraphRenderTarget(graph) : ScreenSurface());
  } else {
    g_softwareScreen.TargetImage = graph ? GraphSoftImage(graph) : &g_softwareScreen.ScreenImage;
  }

  DrawState& state = g_drawState;
  const int previousWidth = state.DrawTargetWidth, previousHeight = state.DrawTargetHeight;
  const RECT area = state.DrawArea;
  state.DrawTarget = target;
  int width = 0, height = 0;
  if (graph) {
    width = graph->Width, height = graph->Height;
  } else {
    GetScreenSizeSetting(&width, &height);
  }
  state.DrawTargetWidth = width;
  state.DrawTargetHeight = height;
  if (target == SCREEN_FRONT && GetMainWindow())
    SetTimer(GetMainWindow(), kFrontScreenTimerId, kFrontScreenTimerPeriod, FrontScreenTimerProc);
  if (width == previousWidth && height == previousHeight)
    SetDrawClipArea(area.left, area.top, area.right, area.bottom);
  else
    SetDrawClipArea(0, 0, width, height);
  SetDefaultCamera(width, height);
  SetUseMaskFlag(mask);
  return 0;
}

int ClearDrawScreen(const RECT* area) {
  if (area && (area->left < 0 || area->top < 0)) area = nullptr;
  GraphRecord* graph = GetGraphRecord(g_drawState.DrawTarget);
  const uint32_t background = BackgroundColor();

  if (!g_screenSettings.HardwareInUse) {
    MEMIMG* image = graph ? GraphSoftImage(graph) : &g_softwareScreen.ScreenImage;
    if (!image || !IsMemImgValid(image)) return 0;
    const uint32_t value = MakeBaseImageColorCode(image->Core->Layout, background >> 16 & 0xFF, background >> 8 & 0xFF,
                                                  background & 0xFF, 0);
    FillMemImgRaw(image, area, value);
    return 0;
  }
  if (!DevicePath()) return 0;
  IDirect3DDevice9* device = g_renderDevice.Device;
  FlushVertexBatch();
  EndSceneIfOpen();
  IDirect3DSurface9* surface = graph ? GraphRenderTarget(graph) : ScreenSurface();
  if (!surface) return 0;
  // Clearing reaches the target itself, not the mask screen drawing goes to.
  IDirect3DSurface9* maskSurface = GetActiveMaskSurface();
  if (maskSurface) SetDeviceRenderTarget(surface);
  D3DSURFACE_DESC desc{};
  surface->GetDesc(&desc);
  D3DVIEWPORT9 whole = {0, 0, desc.Width, desc.Height, 0.0f, 1.0f};
  const int force = g_deviceStateCache.ForceApply;
  g_deviceStateCache.ForceApply = 1;
  SetDeviceViewport(&whole);
  g_deviceStateCache.ForceApply = force;
  device->Clear(area ? 1 : 0, area, D3DCLEAR_TARGET, background, 1.0f, 0);
  if (g_renderDevice.ZBuffer) device->Clear(area ? 1 : 0, area, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
  if (maskSurface) SetDeviceRenderTarget(maskSurface);
  const RECT& drawArea = g_drawState.DrawArea;
  SetDeviceViewportRect(drawArea.left, drawArea.top, drawArea.right, drawArea.bottom);
  return 0;
}

int ClearDrawScreenAll() { return ClearDrawScreen(nullptr); }

int PresentScreen(const RECT* rect) {
  if (!IsLibraryInitialised() || IsQuitRequested()) return -1;
  ScreenSettings& screen = g_screenSettings;
  int screenWidth = 0, screenHeight = 0;
  GetScreenSizeSetting(&screenWidth, &screenHeight);

  RECT scaled{};
  if (rect) {
    const RECT& p = screen.PresentationRect;
    scaled.left = p.left + rect->left * (p.right - p.left) / screenWidth;
    scaled.right = p.left + rect->right * (p.right - p.left) / screenWidth;
    scaled.top = p.top + rect->top * (p.bottom - p.top) / screenHeight;
    scaled.bottom = p.top + rect->bottom * (p.bottom - p.top) / screenHeight;
    if (scaled.left == scaled.right || scaled.top == scaled.bottom) return -1;
  }

  if (GetScreenLogFlag()) DrawOnScreenLogOverScreen(screenWidth, screenHeight);

  const bool half = HalfMode();
  RECT source = half ? RECT{0, 0, 320, 240} : RECT{0, 0, screenWidth, screenHeight};
  RECT windowArea{0, 0, screenWidth, screenHeight};
  if (IsWindowedMode()) {
    if (half) {
      int w = 0, h = 0;
      GetScreenSizeSetting(&w, &h);
      windowArea = RECT{0, 0, w, h};
    } else {
      double scaleX = 1.0, scaleY = 1.0;
      GetWindowScale(&scaleX, &scaleY);
      windowArea = RECT{0, 0, DoubleToInt(screenWidth * scaleX), DoubleToInt(screenHeight * scaleY)};
    }
    // The picture goes below a menu bar that shares the client area.
    RECT client{};
    const HWND mainWindow = GetMainWindow();
    if (mainWindow && GetMenu(mainWindow) && GetClientRect(mainWindow, &client)) {
      const LONG height = windowArea.bottom - windowArea.top;
      windowArea.top = client.bottom - height;
      windowArea.bottom = client.bottom;
    }
  }

  if (screen.HardwareInUse) {
    RenderDeviceState& device = g_renderDevice;
    if (!device.Device) return -1;
    // A lost device shows nothing until it can be reset; then it is made again in place.
    const HRESULT level = device.Device->TestCooperativeLevel();
    if (level == D3DERR_DEVICELOST) return -1;
    if (level == D3DERR_DEVICENOTRESET && ReviveGraphicsSystem() != 0) return -1;
    FlushVertexBatch();
    EndSceneIfOpen();
    if (PerPixelAlphaWindow()) {
      if (!g_drawState.NoVSyncWait) WaitVerticalBlank();
      PresentToLayeredWindow(screenWidth, screenHeight);
      return 0;
    }
    if (half) windowArea = RECT{0, 0, 640, 480};
    if (device.SubBackBuffer &&
        FAILED(device.Device->StretchRect(device.SubBackBuffer, nullptr, device.BackBuffer, nullptr, D3DTEXF_NONE)))
      return -1;
    if (!device.SwapChain) return 0;
    const uint64_t start = GetMicrosecondCount(0);
    HRESULT result;
    if (IsWindowedMode() && !rect) {
      screen.PresentationRect = source;
      result = device.SwapChain->Present(&source, &windowArea, GetMainWindow(), nullptr, 0);
    } else if (IsWindowedMode()) {
      result = device.SwapChain->Present(&scaled, rect, GetMainWindow(), nullptr, 0);
    } else if (half) {
      result = device.SwapChain->Present(&source, &windowArea, GetMainWindow(), nullptr, 0);
    } else {
      result = device.SwapChain->Present(nullptr, nullptr, GetMainWindow(), nullptr, 0);
    }
    if (FAILED(result)) return -1;
    // A present that did not wait for the display would let a program that runs while inactive
    // spin at full speed.
    if (GetStartupOptions().runWhileInactive && !g_drawState.NoVSyncWait && GetMicrosecondCount(0) - start < 500)
      WaitVerticalBlank();
    return 0;
  }

  MEMIMG& image = g_softwareScreen.ScreenImage;
  if (!IsMemImgValid(&image)) return 0;
  if (!g_drawState.NoVSyncWait) WaitVerticalBlank();
  if (PerPixelAlphaWindow()) {
    if (!g_drawState.NoVSyncWait) WaitVerticalBlank();
    PresentToLayeredWindow(screenWidth, screenHeight);
    return 0;
  }
  struct {
    BITMAPINFOHEADER header;
    DWORD masks[3];
  } info{};
  const ColorData* layout = image.Core->Layout;
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = screenWidth;
  info.header.biHeight = -screenHeight;
  info.header.biPlanes = 1;
  info.header.biBitCount = layout->bitDepth;
  info.header.biCompression = BI_BITFIELDS;
  info.masks[0] = layout->redMask;
  info.masks[1] = layout->greenMask;
  info.masks[2] = layout->blueMask;
  const BITMAPINFO* bitmap = reinterpret_cast<const BITMAPINFO*>(&info);
  HDC dc = GetDC(GetMainWindow());
  if (!dc) return 0;
  const void* bits = image.Core->PixelBuffer;
  if (half) {
    screen.PresentationRect = RECT{0, 0, 640, 480};
    StretchDIBits(dc, 0, 0, 640, 480, 0, 240, 320, 240, bits, bitmap, DIB_RGB_COLORS, SRCCOPY);
  } else if (rect) {
    StretchDIBits(dc, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, scaled.left,
                  screenHeight - scaled.bottom, scaled.right - scaled.left, scaled.bottom - scaled.top, bits, bitmap,
                  DIB_RGB_COLORS, SRCCOPY);
  } else {
    const int areaWidth = windowArea.right - windowArea.left, areaHeight = windowArea.bottom - windowArea.top;
    screen.PresentationRect = RECT{0, 0, areaWidth, areaHeight};
    if (areaWidth == screenWidth && areaHeight == screenHeight)
      SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(screenWidth), static_cast<DWORD>(screenHeight), 0, 0, 0,
                        static_cast<UINT>(screenHeight), bits, bitmap, DIB_RGB_COLORS);
    else
      StretchDIBits(dc, 0, 0, areaWidth, areaHeight, 0, 0, screenWidth, screenHeight, bits, bitmap, DIB_RGB_COLORS,
                    SRCCOPY);
  }
  ReleaseDC(GetMainWindow(), dc);
  return 0;
}

int FlipScreen() { return PresentScreen(nullptr); }

int RefreshAndPresentScreen() {
  if (!IsWindowedMode() && DevicePath()) PrepareSubBackBuffer();
  return PresentScreen(nullptr);
}

int PrepareSubBackBuffer() {
  RenderDeviceState& device = g_renderDevice;
  if (device.SubBackBuffer) return 0;
  if (!DevicePath()) return -1;
  FlushVertexBatch();
  EndSceneIfOpen();
  if (CreateSubBackBuffer() != 0) return -1;
  device.Device->StretchRect(device.BackBuffer, nullptr, device.SubBackBuffer, nullptr, D3DTEXF_NONE);
  DeviceStateCache& cache = g_deviceStateCache;
  const int force = cache.ForceApply;
  cache.ForceApply = 1;
  SetDeviceRenderTarget(device.SubBackBuffer);
  cache.ForceApply = force;
  // A new render target covers itself whole: the draw area's viewport goes back on.
  const RECT& area = g_drawState.DrawArea;
  if (!g_drawState.DrawAreaEmpty) SetDeviceViewportRect(area.left, area.top, area.right, area.bottom);
  return 0;
}

void FrontScreenTimerProc(HWND window, UINT, UINT_PTR, DWORD) {
  KillTimer(window, kFrontScreenTimerId);
  if (g_drawState.DrawTarget != SCREEN_FRONT || PerPixelAlphaWindow()) return;
  if (!IsWindowedMode() && DevicePath()) PrepareSubBackBuffer();
  PresentScreen(nullptr);
  SetTimer(window, kFrontScreenTimerId, kFrontScreenTimerPeriod, FrontScreenTimerProc);
}

int MakeColorCode(int red, int green, int blue) {
  const ColorData* format = ScreenColorData();
  auto channel = [](int value, int width, int shift) {
    return static_cast<uint32_t>((value & 0xFF) >> (8 - width)) << shift;
  };
  return static_cast<int>(channel(red, format->redWidth, format->redShift) +
                          channel(green, format->greenWidth, format->greenShift) +
                          channel(blue, format->blueWidth, format->blueShift) + format->spareMask);
}

int GetColorComponents(int code, int* red, int* green, int* blue) {
  const ColorData* format = ScreenColorData();
  const uint32_t word = static_cast<uint32_t>(code);
  auto channel = [word](uint32_t mask, int shift, int width) {
    return width ? static_cast<int>(((word & mask) >> shift) * 255 / ((1u << width) - 1)) : 0;
  };
  if (red) *red = channel(format->redMask, format->redShift, format->redWidth);
  if (green) *green = channel(format->greenMask, format->greenShift, format->greenWidth);
  if (blue) *blue = channel(format->blueMask, format->blueShift, format->blueWidth);
  return 0;
}
