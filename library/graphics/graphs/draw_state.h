// `DrawState`: the one global record that every drawing call consults: where drawing goes, how it
// is blended and coloured, how textures are sampled, how new graphs are made, and the camera,
// projection and light state. The initial values are those the graphics start-up's reset gives
// (the draw target's size, and with it the draw area, is only known once a target is selected).
// The software blits and rasteriser get the draw area, blend mode and parameter and the bright
// colour from here with every draw (`SoftDrawSettings`).
#pragma once

#include <cstdint>

#include "graphics/graphs/blend_mode.h"
#include "platform/d3d9.h"
#include "zyvel/graphics.h"
#include "zyvel/memimg.h"

struct LightRecord;

// How textures are sampled (`DrawFilterMode`).
enum TextureFilterMode : int {
  kFilterNearest = 0,
  kFilterBilinear = 1,
  kFilterAnisotropic = 2,
};

// Where the projection matrix comes from (`ProjectionMode`).
enum ProjectionKind : int {
  kProjectionPerspective = 0,
  kProjectionCallerMatrix = 2,
};

// The lights' share of the record; it lives across graphics restarts.
struct DrawLightArea {
  int LightingOff = 0;
  int MaterialChanged = 1;
  // Diffuse, ambient, specular and emissive colours (red, green, blue, alpha), then the power:
  // the device's material layout.
  struct Material {
    float Diffuse[4];
    float Ambient[4];
    float Specular[4];
    float Emissive[4];
    float Power;
  } Material = {{0.8f, 0.8f, 0.8f, 1.0f}, {0, 0, 0, 0}, {0.8f, 0.8f, 0.8f, 0.0f}, {0, 0, 0, 0}, 20.0f};
  int DiffuseMaterialSource = 0;
  int SpecularMaterialSource = 0;
  // `LightHandleTable`.
  static constexpr int kLightTableSize = 4096;
  LightRecord* Lights[kLightTableSize] = {};
  int LightCount = 0;
  int LightHighWater = 0;
  int NextLightCheck = 0;
  int NextDeviceLightIndex = 0;
  int LastDeviceLightIndex = -1;
  int LightsChanged = 1;
  int ForceApplyLights = 0;
  int DefaultLight = -1;
};

struct DrawState {
  int (*GraphRestoreCallback)() = nullptr;  // Null: the default restorer.
  int DrawTarget = SCREEN_FRONT;            // A ScreenTarget, -3, -5, or a graph.
  RECT DrawArea = {0, 0, 0, 0};             // Right and bottom exclusive.
  float DrawAreaF[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  int DrawTargetWidth = 0;
  int DrawTargetHeight = 0;
  float ViewportScale = 1.0f;
  int ProjectionMode = kProjectionPerspective;
  float ProjectionNear = 10.0f;
  float ProjectionFar = 10000.0f;
  float AspectFactor = 1.0f;
  float FieldOfView = 1.0471976f;
  Matrix4 CameraProjection = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
  int ZState2D[4] = {0, 0, D3DCMP_LESSEQUAL, 0};  // Z enable, z write, z compare, depth bias.
  int ZState3D[4] = {0, 0, D3DCMP_LESSEQUAL, 0};
  int FillMode = D3DFILL_SOLID;
  // Sampler address mode of each texture stage.
  int AddressU[8] = {D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP,
                     D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP};
  int AddressV[8] = {D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP,
                     D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP};
  int AddressW[8] = {D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP,
                     D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP};
  int FogMode = D3DFOG_LINEAR;
  uint32_t FogColor = 0xFFFFFFFF;
  float FogStart = 0.0f;
  float FogEnd = 1500.0f;
  float DrawZ = 0.2f;
  int DrawFilterMode = kFilterNearest;
  int MaxAnisotropy = 1;
  int BlendMode = kBlendCopy;
  int BlendParam = 0;  // 0..255.
  int BlendGraph = -1;
  int BlendGraphBorderParam = 0;
  int BlendGraphBorderRange = 0;
  uint32_t BrightColor = 0x00FFFFFF;  // Bytes blue, green, red; the top byte is not read.
  int CreateColorBits = 0;
  int CreateRenderTargetGraph = 0;
  int CreateAlphaGraph = 0;
  int UseTransparentColor = 1;
  int CreateKeepSysMemCopy = 0;
  int NoVSyncWait = 0;
  int VSyncStartSetting = 0;
  int Emulate320x240 = 0;
  uint32_t TransparentColor = 0;  // 0x00RRGGBB; stays black.
  int NoKeyToAlpha = 0;
  int DrawAreaEmpty = 1;

  // Read by the per-draw preparation.
  int AlphaFromParam = 0;  // Alpha modulation also in blend mode 0.
  int NoSpecular = 0;
  int FogEnable = 0;
  int CullMode = 0;                 // 0 none, 1 counter-clockwise, 2 clockwise.
  int TextureTransformPending = 0;  // The stage 0-3 transforms below go to the device next draw.
  int TextureTransformOn[4] = {};
  Matrix4 TextureTransforms[4] = {};
  // The blend graph's first texture size, and its reciprocals the drawers scale blend texture
  // coordinates by.
  int BlendTextureWidth = 0;
  int BlendTextureHeight = 0;
  float BlendTextureInverseWidth = 0.0f;
  float BlendTextureInverseHeight = 0.0f;
  // Software path: the blend graph's image the blits weight by.
  const MEMIMG* SoftBlendImage = nullptr;

  // Camera and projection.
  Matrix4 WorldMatrix = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
  int WorldMatrixSet = 0;  // The device has had the world matrix set.
  Matrix4 ViewMatrix = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
  int ViewMatrixSet = 0;
  Matrix4 ProjectionMatrix = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
  int ProjectionMatrixSet = 0;
  Matrix4 CameraViewportMatrix = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
  Matrix4 AreaViewportMatrix = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
  Matrix4 InverseAreaViewportMatrix = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
  float CameraScreenCenter[2] = {0.0f, 0.0f};

  DrawLightArea Lights;
};

extern DrawState g_drawState;

// What a draw on the software path hands the MEMIMG blits and rasteriser.
inline MemImgDrawSettings SoftDrawSettings() {
  return {g_drawState.DrawArea, g_drawState.BlendMode, g_drawState.BlendParam, g_drawState.BrightColor};
}
