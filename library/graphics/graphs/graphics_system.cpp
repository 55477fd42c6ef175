// Graphics start-up and shut-down: the Direct3D 9 path when a device can be made (falling back to
// the software path when it cannot), the base device state or the software screen images, and the
// draw state defaults; shut-down takes it all down again in a fixed order.
#include <cstring>

#include "graphics/device/device_buffers.h"
#include "graphics/device/device_state_cache.h"
#include "graphics/device/display_modes.h"
#include "graphics/device/render_device.h"
#include "graphics/fonts/fonts.h"
#include "graphics/graphs/draw_settings.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/graph_records.h"
#include "graphics/graphs/masks.h"
#include "graphics/graphs/screen_settings.h"
#include "graphics/graphs/screens.h"
#include "graphics/graphs/texture_upload.h"
#include "graphics/models/camera.h"
#include "graphics/models/model_buffers.h"
#include "graphics/models/shader_pack.h"
#include "window/window_services.h"
#include "zyvel/graphics.h"
#include "zyvel/input.h"
#include "zyvel/memimg.h"
#include "zyvel/runtime.h"

SoftwareScreen g_softwareScreen;

namespace {
int g_libraryShadersInUse = 0;

const float kVertexConstant0[4] = {0.0f, 1.0f, 0.0f, 0.0f};
const float kPixelConstant0[4] = {0.0f, 0.5f, 1.0f, 2.0f};
}  // namespace

int AreLibraryShadersInUse() { return g_libraryShadersInUse; }

int StartProgrammableShaders() {
  ReleaseShaderTables();
  g_libraryShadersInUse = 0;
  const RenderDeviceState& device = g_renderDevice;
  if (device.VertexShader20Usable && device.PixelShader20Usable && CreateLibraryShaders() == 0)
    g_libraryShadersInUse = 1;
  g_deviceStateCache.LibraryShadersInUse = g_libraryShadersInUse;
  AddLogText(g_libraryShadersInUse ? "プログラマブルシェーダーを使用します\n"
                                   : "プログラマブルシェーダーを使用しません\n");
  // The shadows always hold the constants; the device gets them only while the shaders are in use.
  SetVertexShaderConstants(0, kVertexConstant0, 1);
  SetPixelShaderConstants(0, kPixelConstant0, 1);
  return 0;
}

int StartDirect3D() {
  RenderDeviceState& device = g_renderDevice;
  device.D3D9Module = LoadLibraryA("d3d9.dll");
  if (!device.D3D9Module) {
    AddLogText("d3d9.dll の読み込みに失敗しました\n");
    return -1;
  }
  if (CreateDirectDrawObject() != 0) {
    FreeLibrary(device.D3D9Module);
    device.D3D9Module = nullptr;
    return -1;
  }
  g_screenSettings.HardwareInUse = 0;
  if (!g_screenSettings.SoftwareRequested) {
    bool tryDevice = true;
    if (!IsWindowedMode() && GetOsCode() >= OS_CODE_VISTA &&
        (g_screenSettings.Emulating320x240 || g_drawState.Emulate320x240))
      tryDevice = ChangeDisplayMode() == 0;
    if (tryDevice && CreateDirect3DObject() == 0 && CreateDirect3DDevice() == 0 && CreateZBuffer() == 0) {
      g_screenSettings.HardwareInUse = 1;
      StartProgrammableShaders();
      if (g_libraryShadersInUse) {
        CreateVertexDeclarations();
        CreateBrightnessVolumeTexture();
      }
      return 0;
    }
    // Back to the software path: only the device's objects go, DirectDraw stays.
    if (device.ZBuffer) device.ZBuffer->Release(), device.ZBuffer = nullptr;
    if (device.BackBuffer) device.BackBuffer->Release(), device.BackBuffer = nullptr;
    if (device.SwapChain) device.SwapChain->Release(), device.SwapChain = nullptr;
    if (device.Device) device.Device->Release(), device.Device = nullptr;
    device.DeviceEx = nullptr;
    if (device.Direct3D) device.Direct3D->Release(), device.Direct3D = nullptr;
    device.Direct3DEx = nullptr;
  }
  if (!IsWindowedMode() && ChangeDisplayMode() != 0) return -1;
  MeasureVerticalBlankPeriod();
  return 0;
}

int SetupPrimaryMemImg() {
  SoftwareScreen& soft = g_softwareScreen;
  int width = 0, height = 0;
  GetScreenSizeSetting(&width, &height);
  const int format = GetScreenColorBits() == 16 ? kMemImgFormat16 : kMemImgFormat32;
  if (SetupScreenMemImg(&soft.ScreenImage, width, height, format) != 0)
    AbortWithLog("プライマリサーフェス用の MEMIMG の作成に失敗しました\n");
  for (int i = 0; i < 2; ++i) {
    ReleaseMemImg(&soft.WorkImages[i]);
    std::memset(&soft.WorkImages[i], 0, sizeof soft.WorkImages[i]);
    if (SetupMemImg(&soft.WorkImages[i], width, height, -1, 0, format, 0, i, 0, nullptr) != 0)
      AbortWithLog("プライマリサーフェス用の MEMIMG の作成に失敗しました\n");
  }
  int red = 0, green = 0, blue = 0;
  GetWindowBackgroundColor(&red, &green, &blue);
  const uint32_t background = MakeBaseImageColorCode(soft.ScreenImage.Core->Layout, red & 0xFF, green & 0xFF,
                                                     blue & 0xFF, 0);
  FillMemImgRaw(&soft.ScreenImage, nullptr, background);
  soft.TargetImage = &soft.ScreenImage;
  return 0;
}

int InitGraphicsSystem() {
  ScreenSettings& screen = g_screenSettings;
  if (screen.Initialised) return 0;
  g_graphHandleTable.usedCount = 0;
  g_graphHandleTable.highWaterMark = 0;
  if (screen.Width == 0) screen.Width = 640;
  if (screen.Height == 0) screen.Height = 480;
  if (screen.ColorBits == 0) screen.ColorBits = 16;
  if (!IsWindowedMode() && screen.Width == 320 && screen.Height == 240) {
    screen.Emulating320x240 = 1;
    screen.Width = 640;
    screen.Height = 480;
  }
  if (StartDirect3D() != 0) {
    TerminateGraphicsSystem();
    return -1;
  }
  screen.Initialised = 1;
  if (screen.HardwareInUse)
    SetupDeviceStateCache();
  else
    SetupPrimaryMemImg();
  ResetDrawState();
  SetupMemImgBlendTables();
  StartFontSystem();
  return 0;
}

int TerminateGraphicsSystem() {
  EndFontSystem();
  // Whatever a device start took goes back, also after a start that failed half-way (the d3d9
  // module, DirectDraw, a changed display mode).
  if (!g_screenSettings.Initialised) {
    ReleaseDirect3D();
    return 0;
  }
  DeleteAllGraphs();
  DeleteAllVertexBuffers();
  DeleteAllIndexBuffers();
  DeleteAllShaders();
  EndMaskSystem();
  DeleteAllMaskRecords();
  DeleteLightsButDefault();
  DeleteLightHandle(g_drawState.Lights.DefaultLight);
  g_drawState.Lights.DefaultLight = -1;
  // Textures of graphs that outlive the handles' deletion go before their device does.
  ReleaseAllDeviceResources();
  ReleaseDirect3D();
  SoftwareScreen& soft = g_softwareScreen;
  ReleaseMemImg(&soft.ScreenImage);
  for (MEMIMG& work : soft.WorkImages) ReleaseMemImg(&work);
  soft = SoftwareScreen{};
  ReleaseShaderPack();
  g_libraryShadersInUse = 0;
  g_deviceStateCache.LibraryShadersInUse = 0;
  g_screenSettings.HardwareInUse = 0;
  g_screenSettings.Initialised = 0;
  return 0;
}

int RestartGraphicsDevice(int newMode, int width, int height, int colorBits, int refresh) {
  ScreenSettings& screen = g_screenSettings;
  const bool graphicsOff = GetStartupOptions().noGraphics != 0;
  const int wasHardware = screen.HardwareInUse;
  if (!graphicsOff) {
    if (screen.HardwareInUse) {
      // The mask buffer stays: the rebuilt mask texture is filled from it.
      ReleaseMaskTextures();
      ReleaseAllDeviceResources();
    }
    ReleaseDirect3D();
  }
  if (newMode) {
    screen.Width = width;
    screen.Height = height;
    screen.ColorBits = colorBits;
    screen.Refresh = refresh;
  } else if (!GetStartupOptions().noInput) {
    ReleaseInputDevices();
    StartInputDevices();
  }
  if (graphicsOff) return 0;
  // A device that cannot be made again leaves nothing to show: the caller hears of it.
  if (StartDirect3D() != 0) return -1;
  if (wasHardware && !screen.HardwareInUse) {
    // The graphs live in textures and there is no software screen: without a device nothing can
    // be drawn or shown. The run stays on the device path with no device, every flip fails, and
    // the next activation of the window tries again.
    ReleaseDirect3D();
    screen.HardwareInUse = 1;
    return -1;
  }
  if (!screen.HardwareInUse) return 0;

  DrawState& state = g_drawState;
  RecreateAllDeviceResources();
  RebuildMaskScreen();
  const Matrix4 view = state.ViewMatrix, viewport = state.CameraViewportMatrix;
  const Matrix4 projection = state.CameraProjection;
  const int projectionMode = state.ProjectionMode;
  SelectDrawTarget(state.DrawTarget);
  RestoreDeviceStates();
  for (int i = 0; i < 2; ++i) {
    ClearDrawScreenAll();
    PresentScreen(nullptr);
  }
  if (newMode)
    RestoreGraphsFromFiles();
  else
    RestoreAllGraphs();
  // Model textures and glyph caches live in graphs without a file: their makers fill them again
  // (the fonts under the same handles).
  ReloadModelTextures();
  RecreateAllFonts();
  ReapplyDeviceStates();
  RebuildAllModelBuffers();
  // The device indices the lights recorded were the old device's: the next lit draw sends every
  // light again.
  state.Lights.ForceApplyLights = 1;
  if (!newMode) {
    RECT area{};
    GetDrawClipArea(&area);
    SetDrawClipArea(area.left, area.top, area.right, area.bottom);
    const Matrix4 world = state.WorldMatrix;
    SetWorldMatrix(&world);
    SetViewMatrix(&view);
    SetUserProjection(&projection);
    // A perspective camera stays one: its projection follows later changes of the clip planes
    // and field of view again.
    state.ProjectionMode = projectionMode;
    SetViewportMatrix(&viewport);
  }
  return 0;
}

int ReviveGraphicsSystem() { return RestartGraphicsDevice(0, -1, -1, -1, -1); }

namespace {
int TryScreenMode(int width, int height, int colorBits, int refresh) {
  ScreenSettings& screen = g_screenSettings;
  if (screen.Initialised) TerminateGraphicsSystem();
  screen.Width = width;
  screen.Height = height;
  screen.ColorBits = colorBits;
  screen.Refresh = refresh;
  return InitGraphicsSystem();
}
}  // namespace

int ChangeScreenMode(const ScreenModeRequest* request) {
  ScreenSettings& screen = g_screenSettings;
  int width = request->width, height = request->height;
  if (IsWindowedMode()) {
    if (request->force == 1 && screen.Emulating320x240 && screen.Width == 640 && screen.Height == 480)
      width = 320, height = 240;
    screen.Emulating320x240 = 0;
  } else if (width == 320 && height == 240) {
    screen.Emulating320x240 = 1;
    width = 640, height = 480;
  } else {
    screen.Emulating320x240 = 0;
  }
  if (width == -1) width = screen.Width;
  if (height == -1) height = screen.Height;
  const int colorBits = request->colorBits == -1 ? screen.ColorBits : request->colorBits;
  const int refresh = request->refresh == -1 ? screen.Refresh : request->refresh;
  if (width == screen.Width && height == screen.Height && colorBits == screen.ColorBits && refresh == screen.Refresh &&
      request->force == 0)
    return 0;

  AddLogText("画面モード変更処理を開始します\n");
  PushLogIndent();
  // The default font is made again in its old size and thickness once the new mode is up.
  int fontSize = -1, fontThickness = -1;
  if (screen.Initialised && CheckFontHandle(QueryDefaultFontHandle()) == 1)
    QueryFontInfo(nullptr, &fontSize, &fontThickness, QueryDefaultFontHandle());
  if (!IsLibraryInitialised() && !IsLibraryInitialising()) {
    PopLogIndent();
    return 0;
  }
  const int oldWidth = screen.Width, oldHeight = screen.Height, oldBits = screen.ColorBits, oldRefresh = screen.Refresh;
  if (TryScreenMode(width, height, colorBits, refresh) != 0) {
    bool started = false;
    if (width == 320 && height == 240) {
      SetEmulate320x240(1);
      started = TryScreenMode(640, 480, colorBits, refresh) == 0;
    }
    if (!started) started = TryScreenMode(oldWidth, oldHeight, oldBits, oldRefresh) == 0;
    if (!started && TryScreenMode(640, 480, 16, 0) != 0) AbortWithLog("予期せぬ画面モード変更不能現象が起きました2\n");
  }
  if (IsWindowedMode()) ApplyWindowStyle();
  if (fontSize != -1) SetDefaultFontSize(nullptr, fontSize, fontThickness);
  PopLogIndent();
  AddLogText("画面モード変更処理は正常に終了しました\n");
  PumpWindowMessages();
  SelectDrawTarget(g_drawState.DrawTarget);
  return 0;
}

int SetEmulating320x240(int on) {
  g_screenSettings.Emulating320x240 = on;
  if (on) g_screenSettings.Width = 640, g_screenSettings.Height = 480;
  return 0;
}

int SetScreenMode(int width, int height, int colorBits, int refresh) {
  if (width == 0 || height == 0 || (colorBits != 8 && colorBits != 16 && colorBits != 32)) return -1;
  ScreenSettings& screen = g_screenSettings;
  if (!IsLibraryInitialised()) {
    screen.Width = width;
    screen.Height = height;
    screen.ColorBits = colorBits;
    screen.Refresh = refresh;
    return 0;
  }
  const int oldWidth = screen.Width, oldHeight = screen.Height, oldBits = screen.ColorBits, oldRefresh = screen.Refresh;
  const ScreenModeRequest request{width, height, colorBits, 0, refresh};
  ChangeScreenMode(&request);
  if (screen.Width == width && screen.Height == height && screen.ColorBits == colorBits && screen.Refresh == refresh)
    return 0;
  const bool changed = screen.Width != oldWidth || screen.Height != oldHeight || screen.ColorBits != oldBits ||
                       screen.Refresh != oldRefresh;
  if (changed && screen.Width == 640 && screen.Height == 480 && screen.ColorBits == 16 && screen.Refresh == 0)
    return -2;
  return -1;
}
