// The draw-state setters and getters, with their device side, and the reset graphics start-up
// runs.
#include "graphics/graphs/draw_settings.h"

#include <cstring>

#include "graphics/device/blend_state.h"
#include "graphics/device/device_state_cache.h"
#include "graphics/device/render_device.h"
#include "graphics/graphs/graph_records.h"
#include "graphics/graphs/masks.h"
#include "graphics/graphs/screen_settings.h"
#include "graphics/graphs/software_drawing.h"
#include "graphics/models/camera.h"
#include "graphics/screen_services.h"
#include "window/window_services.h"

namespace {

bool HardwarePath() { return g_screenSettings.HardwareInUse != 0; }

// The draw area as last asked for, unclamped: the window code applies it again after a move or
// a device re-creation. It outlives the draw state's reset.
RECT g_requestedDrawArea = {0, 0, 0, 0};

int Clamp(int value, int low, int high) { return value < low ? low : (value > high ? high : value); }

}  // namespace

int SetDrawFilterMode(int mode) {
  if (mode == g_drawState.DrawFilterMode) return 0;
  g_drawState.DrawFilterMode = mode;
  if (HardwarePath()) SetDeviceFilterMode(mode);
  return 0;
}

int GetDrawFilterMode() { return g_drawState.DrawFilterMode; }

int SetDrawClipArea(int x1, int y1, int x2, int y2) {
  DrawState& state = g_drawState;
  g_requestedDrawArea = RECT{x1, y1, x2, y2};

  int width = 0, height = 0;
  if (state.DrawTarget == SCREEN_BACK || state.DrawTarget == SCREEN_FRONT) {
    GetScreenSizeSetting(&width, &height);
  } else if (const GraphRecord* graph = GetGraphRecord(state.DrawTarget)) {
    width = graph->Width;
    height = graph->Height;
  } else {
    return -1;
  }

  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  x1 = Clamp(x1, 0, width), x2 = Clamp(x2, 0, width);
  y1 = Clamp(y1, 0, height), y2 = Clamp(y2, 0, height);
  state.DrawArea = RECT{x1, y1, x2, y2};
  state.DrawAreaF[0] = static_cast<float>(x1);
  state.DrawAreaF[1] = static_cast<float>(y1);
  state.DrawAreaF[2] = static_cast<float>(x2);
  state.DrawAreaF[3] = static_cast<float>(y2);

  if (x2 - x1 == 0 || y2 - y1 == 0) {
    state.DrawAreaEmpty = 1;
    return 0;
  }
  state.DrawAreaEmpty = 0;
  if (!HardwarePath()) return 0;
  if (!g_renderDevice.Device) return -1;

  const int areaWidth = x2 - x1, areaHeight = y2 - y1;
  D3DVIEWPORT9 viewport = {static_cast<DWORD>(x1),
                           static_cast<DWORD>(y1),
                           static_cast<DWORD>(areaWidth),
                           static_cast<DWORD>(areaHeight),
                           0.0f,
                           1.0f};
  SetDeviceViewport(&viewport);
  SetDeviceScissorRect(&state.DrawArea);
  // Outline boxes are clipped by the scissor rectangle, so the test is on wherever an area is set.
  int scissorOn = 0;
  SendRenderState(D3DRS_SCISSORTESTENABLE, &scissorOn, 1);
  MakeViewportMatrix(&state.AreaViewportMatrix, x1 + areaWidth / 2.0f, y1 + areaHeight / 2.0f,
                     static_cast<float>(areaWidth), static_cast<float>(areaHeight));
  InvertMatrix(&state.InverseAreaViewportMatrix, &state.AreaViewportMatrix);
  SendDeviceProjection();
  return 0;
}

int GetDrawClipArea(RECT* out) {
  if (out) *out = g_requestedDrawArea;
  return 0;
}

int SetBlendGraph(int graph, int borderParam, int borderRange) {
  DrawState& state = g_drawState;
  if (graph == state.BlendGraph && borderParam == state.BlendGraphBorderParam &&
      borderRange == state.BlendGraphBorderRange)
    return 0;
  const GraphRecord* record = nullptr;
  if (graph != -1) {
    record = GetGraphRecord(graph);
    // A dead handle, or a graph without textures on the hardware path, changes nothing.
    if (!record || !record->Part) return -1;
    if (HardwarePath() && (!record->Part->Textured || record->Part->TextureCount < 1)) return -1;
  }
  if (HardwarePath() && !g_renderDevice.Device) return -1;

  state.BlendGraph = graph;
  WaitWhileInactive();
  state.BlendGraphBorderParam = Clamp(borderParam, 0, 255);
  state.BlendGraphBorderRange = Clamp(borderRange, 0, 255);

  if (!HardwarePath()) {
    state.SoftBlendImage = record ? &record->Part->SoftImage : nullptr;
    SetMemImgBlendImageBorder(state.BlendGraphBorderParam, state.BlendGraphBorderRange);
    return 0;
  }
  if (record) {
    const GraphTexture& first = record->Part->Textures[0];
    SelectBlendTexture(first.Texture, state.BlendGraphBorderParam, state.BlendGraphBorderRange);
    state.BlendTextureWidth = first.TextureWidth;
    state.BlendTextureHeight = first.TextureHeight;
    state.BlendTextureInverseWidth = 1.0f / static_cast<float>(first.TextureWidth);
    state.BlendTextureInverseHeight = 1.0f / static_cast<float>(first.TextureHeight);
  } else {
    SelectBlendTexture(nullptr, state.BlendGraphBorderParam, state.BlendGraphBorderRange);
  }
  return 0;
}

int SetFogMode(int mode) {
  if (mode == g_drawState.FogMode && (!g_renderDevice.Device || g_deviceStateCache.FogMode == mode)) return 0;
  FlushVertexBatch();
  g_drawState.FogMode = mode;
  if (HardwarePath()) SetDeviceFogMode(mode);
  return 0;
}

int SetFogColor(int red, int green, int blue) {
  const uint32_t color = 0xFF000000u | static_cast<uint32_t>(red & 0xFF) << 16 |
                         static_cast<uint32_t>(green & 0xFF) << 8 | static_cast<uint32_t>(blue & 0xFF);
  if (color == g_drawState.FogColor && (!g_renderDevice.Device || g_deviceStateCache.FogColor == color)) return 0;
  FlushVertexBatch();
  g_drawState.FogColor = color;
  if (HardwarePath()) SetDeviceFogColor(color);
  return 0;
}

int SetFogStartEnd(float start, float end) {
  const DeviceStateCache& cache = g_deviceStateCache;
  if (start == g_drawState.FogStart && end == g_drawState.FogEnd &&
      (!g_renderDevice.Device || (cache.FogStart == start && cache.FogEnd == end)))
    return 0;
  FlushVertexBatch();
  g_drawState.FogStart = start;
  g_drawState.FogEnd = end;
  if (HardwarePath()) SetDeviceFogStartEnd(start, end);
  return 0;
}

int ApplyUserBlend(const UserBlendRecord* record, int texturesOnly, int resolve) {
  FlushVertexBatch();
  ApplyBlendState(resolve, record, texturesOnly);
  g_deviceStateCache.BlendDirty = 1;
  g_deviceStateCache.TextureChanged = 1;
  return 0;
}

int SetCreateGraphColorBits(int bits) {
  g_drawState.CreateColorBits = bits;
  return 0;
}
int GetCreateGraphColorBits() { return g_drawState.CreateColorBits; }
int SetCreateRenderTargetGraph(int flag) {
  g_drawState.CreateRenderTargetGraph = flag;
  return 0;
}
int GetCreateRenderTargetGraph() { return g_drawState.CreateRenderTargetGraph; }
int SetUseTransparentColor(int flag) {
  g_drawState.UseTransparentColor = flag;
  return 0;
}
int GetUseTransparentColor() { return g_drawState.UseTransparentColor; }
int SetUseKeyToAlpha(int flag) {
  g_drawState.NoKeyToAlpha = !flag;
  return 0;
}
int SetCreateAlphaGraph(int flag) {
  g_drawState.CreateAlphaGraph = flag;
  return 0;
}
int GetCreateAlphaGraph() { return g_drawState.CreateAlphaGraph; }
int SetCreateKeepSysMemCopy(int flag) {
  g_drawState.CreateKeepSysMemCopy = flag;
  return 0;
}
int GetCreateKeepSysMemCopy() { return g_drawState.CreateKeepSysMemCopy; }
int GetDrawTarget() { return g_drawState.DrawTarget; }

int SetFlipVSyncWait(int flag) {
  g_drawState.NoVSyncWait = !flag;
  if (!IsLibraryInitialised()) g_drawState.VSyncStartSetting = flag;
  return 0;
}
int GetFlipVSyncWait() { return !g_drawState.NoVSyncWait; }
int SetEmulate320x240(int flag) {
  g_drawState.Emulate320x240 = flag;
  return 0;
}

int ResetDrawState() {
  DrawState& state = g_drawState;
  int (*const restore)() = state.GraphRestoreCallback;
  const int noVSyncWait = state.NoVSyncWait, vsyncStart = state.VSyncStartSetting;
  const int emulate = state.Emulate320x240;
  // The light area (and its light records) lives across the reset.
  DrawLightArea* lights = new DrawLightArea(state.Lights);
  state = DrawState{};
  state.Lights = *lights;
  delete lights;
  state.GraphRestoreCallback = restore;
  state.NoVSyncWait = noVSyncWait;
  state.VSyncStartSetting = vsyncStart;
  state.Emulate320x240 = emulate;
  state.BlendGraph = -1;
  state.Lights.LightsChanged = 1;
  state.BrightColor = 0x00FFFFFF;
  // The record's own defaults are already in place; fog goes through its setters for the device.
  state.FogMode = -1;
  state.FogColor = 0;
  state.FogStart = state.FogEnd = -1.0f;
  SetFogMode(D3DFOG_LINEAR);
  SetFogColor(255, 255, 255);
  SetFogStartEnd(0.0f, 1500.0f);

  ResetMaskUseFlag();
  state.DrawTarget = SCREEN_BACK;
  SelectDrawTarget(SCREEN_FRONT);
  int width = 0, height = 0;
  GetGraphDimensions(state.DrawTarget, &width, &height);
  SetDrawClipArea(0, 0, width, height);

  if (state.Lights.DefaultLight == -1 || !GetLightRecord(state.Lights.DefaultLight))
    state.Lights.DefaultLight = CreateDirectionalLight(1.0f, -1.0f, 1.0f);

  state.ProjectionNear = 10.0f;
  state.ProjectionFar = 10000.0f;
  state.ProjectionMode = kProjectionPerspective;
  state.AspectFactor = 1.0f;
  state.FieldOfView = 1.0471976f;
  state.CameraProjection = kIdentityMatrix;
  state.Lights.MaterialChanged = 1;
  state.Lights.Material = DrawLightArea{}.Material;
  state.ViewportScale = 1.0f;
  g_renderDevice.Batch.DiffuseColor2D = ComputeVertexColor();
  return 0;
}
