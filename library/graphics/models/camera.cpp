// Camera matrices, the projection rebuild and the light handles.
#include "graphics/models/camera.h"

#include <cmath>

#include "graphics/device/blend_state.h"
#include "graphics/device/device_state_cache.h"
#include "graphics/device/render_device.h"
#include "graphics/graphs/draw_state.h"
#include "graphics/models/math.h"
#include "runtime/runtime_services.h"
#include "zyvel/runtime.h"

namespace {
bool HasDevice() { return g_renderDevice.Device != nullptr; }
}  // namespace

int SendDeviceProjection() {
  if (!HasDevice()) return -1;
  const DrawState& state = g_drawState;
  Matrix4 product;
  MultiplyMatrix(&product, &state.ProjectionMatrix, &state.CameraViewportMatrix);
  MultiplyMatrix(&product, &product, &state.InverseAreaViewportMatrix);
  return SetDeviceProjectionTransform(&product);
}

int SetViewMatrix(const Matrix4* matrix) {
  if (!matrix) return -1;
  FlushVertexBatch();
  g_drawState.ViewMatrix = *matrix;
  if (HasDevice()) {
    SetDeviceViewTransform(matrix);
    g_drawState.ViewMatrixSet = 1;
  }
  return 0;
}

int SetProjectionMatrix(const Matrix4* matrix) {
  if (!matrix) return -1;
  FlushVertexBatch();
  g_drawState.ProjectionMatrix = *matrix;
  if (HasDevice()) {
    SendDeviceProjection();
    g_drawState.ProjectionMatrixSet = 1;
  }
  return 0;
}

int SetViewportMatrix(const Matrix4* matrix) {
  if (!matrix) return -1;
  FlushVertexBatch();
  g_drawState.CameraViewportMatrix = *matrix;
  if (HasDevice()) SendDeviceProjection();
  return 0;
}

int SetCameraScreenCenter(float x, float y) {
  DrawState& state = g_drawState;
  state.CameraScreenCenter[0] = x;
  state.CameraScreenCenter[1] = y;
  Matrix4 viewport;
  MakeViewportMatrix(&viewport, x, y, state.DrawTargetWidth * state.ViewportScale,
                     state.DrawTargetHeight * state.ViewportScale);
  return SetViewportMatrix(&viewport);
}

int RefreshProjection() {
  DrawState& state = g_drawState;
  if (state.ProjectionMode == kProjectionPerspective && state.DrawTargetWidth != 0) {
    const float aspect = static_cast<float>(state.DrawTargetHeight) / static_cast<float>(state.DrawTargetWidth) *
                         state.AspectFactor;
    // A failure (planes or field of view too close to 0) keeps the previous projection.
    MakePerspectiveFovMatrix(&state.CameraProjection, state.FieldOfView, state.ProjectionNear, state.ProjectionFar,
                             aspect);
  }
  const Matrix4 projection = state.CameraProjection;
  return SetProjectionMatrix(&projection);
}

int SetProjectionNearFar(float nearPlane, float farPlane) {
  g_drawState.ProjectionNear = nearPlane;
  g_drawState.ProjectionFar = farPlane;
  RefreshProjection();
  return 0;
}

int SetPerspectiveFov(float fieldOfView) {
  g_drawState.ProjectionMode = kProjectionPerspective;
  g_drawState.FieldOfView = fieldOfView;
  RefreshProjection();
  return 0;
}

int SetUserProjection(const Matrix4* matrix) {
  if (!matrix) return -1;
  g_drawState.ProjectionMode = kProjectionCallerMatrix;
  g_drawState.CameraProjection = *matrix;
  RefreshProjection();
  return 0;
}

int SetDefaultCamera(int width, int height) {
  DrawState& state = g_drawState;
  SetWorldMatrix(&kIdentityMatrix);
  MakeViewportMatrix(&state.AreaViewportMatrix, width / 2.0f, height / 2.0f, static_cast<float>(width),
                     static_cast<float>(height));
  InvertMatrix(&state.InverseAreaViewportMatrix, &state.AreaViewportMatrix);
  SetCameraScreenCenter(width / 2.0f, height / 2.0f);
  const float distance = static_cast<float>(height / 2) / 0.57735026f;
  const Vector3 eye = {width / 2.0f, height / 2.0f, -distance};
  const Vector3 at = {width / 2.0f, height / 2.0f, -distance + 1.0f};
  const Vector3 up = {0.0f, 1.0f, 0.0f};
  Matrix4 view;
  MakeLookAtMatrix(&view, &eye, &at, &up);
  SetViewMatrix(&view);
  SetPerspectiveFov(1.0471976f);
  SetProjectionNearFar(distance * 0.1f, distance + 20000.0f);
  return 0;
}

// ---- Light handles ----

LightRecord* GetLightRecord(int handle) {
  if (handle < 0 || HandleKindOf(handle) != HANDLE_KIND_LIGHT) return nullptr;
  const int slot = HandleSlotOf(handle);
  if (slot >= DrawLightArea::kLightTableSize) return nullptr;
  LightRecord* record = g_drawState.Lights.Lights[slot];
  if (!record || record->CheckValue != HandleCheckCountOf(handle)) return nullptr;
  return record;
}

int CreateLightHandle() {
  DrawLightArea& area = g_drawState.Lights;
  int slot = area.LightHighWater;
  if (slot >= DrawLightArea::kLightTableSize) {
    for (slot = 0; slot < DrawLightArea::kLightTableSize && area.Lights[slot]; ++slot) {
    }
    // A full table is refused rather than written past.
    if (slot >= DrawLightArea::kLightTableSize) return -1;
  }
  auto* record = static_cast<LightRecord*>(ZV_ALLOC_ZEROED(sizeof(LightRecord)));
  if (!record) AbortWithLog("ライト用のメモリの確保に失敗しました");
  D3DLIGHT9& light = record->Light;
  light.Type = 0;
  light.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
  light.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
  light.Ambient = {0.33f, 0.33f, 0.33f, 0.33f};
  light.Range = 2000.0f;
  light.Falloff = 1.0f;
  light.Attenuation0 = 0.1f;
  light.Theta = 2.0f;
  light.Phi = 2.0f;
  record->DeviceIndex = -1;
  record->CheckValue = area.NextLightCheck;
  area.NextLightCheck = (area.NextLightCheck + 1) % HANDLE_CHECK_COUNT_LIMIT;
  record->Handle = MakeHandleWord(slot, record->CheckValue, HANDLE_KIND_LIGHT);
  area.Lights[slot] = record;
  ++area.LightCount;
  if (slot == area.LightHighWater) ++area.LightHighWater;
  record->Enabled = 1;
  record->Changed = 1;
  area.LightsChanged = 1;
  return record->Handle;
}

int CreateDirectionalLight(float x, float y, float z) {
  const int handle = CreateLightHandle();
  LightRecord* record = GetLightRecord(handle);
  if (!record) return -1;
  record->Light.Type = D3DLIGHT_DIRECTIONAL;
  Vector3 direction = {x, y, z};
  const float length = std::sqrt(DotVector(&direction, &direction));
  if (length > 0.0f) direction = {x / length, y / length, z / length};
  record->Light.Direction = {direction.x, direction.y, direction.z};
  return handle;
}

int DeleteLightHandle(int handle) {
  LightRecord* record = GetLightRecord(handle);
  if (!record) return -1;
  DrawLightArea& area = g_drawState.Lights;
  const int slot = HandleSlotOf(handle);
  area.LightsChanged = 1;
  --area.LightCount;
  area.Lights[slot] = nullptr;
  if (slot == area.LightHighWater - 1) {
    int below = slot - 1;
    while (below >= 0 && !area.Lights[below]) --below;
    area.LightHighWater = below + 1;
  }
  ZV_FREE(record);
  return 0;
}

int DeleteLightsButDefault() {
  DrawLightArea& area = g_drawState.Lights;
  for (int slot = area.LightHighWater - 1; slot >= 0; --slot) {
    LightRecord* record = area.Lights[slot];
    if (record && record->Handle != area.DefaultLight) DeleteLightHandle(record->Handle);
  }
  return 0;
}

int ApplyDeviceLight(int index, int enable, const D3DLIGHT9* light) {
  if (!HasDevice()) return 0;
  if (enable == 1 && light) SetDeviceLight(index, light);
  EnableDeviceLight(index, enable);
  return 0;
}

int ApplyLightsToDevice() {
  DrawLightArea& area = g_drawState.Lights;
  if (!area.LightingOff) SetDeviceLightingEnable(1);
  if (!area.LightsChanged && !area.ForceApplyLights) return 0;
  const int previous = area.LastDeviceLightIndex;
  int next = 0, last = -1;
  for (const DWORD type : {D3DLIGHT_DIRECTIONAL, D3DLIGHT_SPOT, D3DLIGHT_POINT}) {
    for (int slot = 0; slot < area.LightHighWater; ++slot) {
      LightRecord* record = area.Lights[slot];
      if (!record || !record->Enabled || record->Light.Type != type) continue;
      const int index = next;
      if (record->DeviceIndex != index || record->Changed || area.ForceApplyLights) {
        record->DeviceIndex = index;
        record->Changed = 0;
        ApplyDeviceLight(index, 1, &record->Light);
      }
      last = index;
      next = index + 1;
    }
  }
  for (int index = last + 1; index <= previous; ++index) ApplyDeviceLight(index, 0, nullptr);
  // Remembered, so the next pass disables what this one no longer uses.
  area.LastDeviceLightIndex = last;
  area.NextDeviceLightIndex = next;
  area.LightsChanged = 0;
  area.ForceApplyLights = 0;
  return 0;
}
