// `DeviceStateCache`: a shadow copy of every Direct3D 9 state the graphics layer changes. Each
// setter compares the new value with its shadow and calls the device only when it differs (or
// while `ForceApply` is on, after the device was created, reset or re-created), drawing the
// pending vertex batch first so that queued vertices keep the states they were queued under.
// Setters return -1 without a device unless noted; a failing device call keeps the new value in
// the shadow, so it is not retried until the value changes.
#pragma once

#include <cstdint>

#include "graphics/device/render_device.h"
#include "graphics/models/math.h"

constexpr int kStageCount = 8;
constexpr int kVertexConstantCount = 256;
constexpr int kPixelConstantCount = 32;
constexpr int kCachedLightCount = 256;

struct StageRecord {
  IDirect3DBaseTexture9* Texture = nullptr;
  int TexCoordIndex = 0;
  int ResultToTemp = 0;
  uint16_t AlphaArg1 = D3DTA_TEXTURE;
  uint16_t AlphaArg2 = D3DTA_DIFFUSE;
  uint16_t AlphaOp = D3DTOP_DISABLE;
  uint16_t ColorArg1 = D3DTA_TEXTURE;
  uint16_t ColorArg2 = D3DTA_DIFFUSE;
  uint16_t ColorOp = D3DTOP_DISABLE;
};

struct DeviceStateCache {
  int ForceApply = 0;
  int StagesInUse = 0;  // Stages the current blend configuration uses; filters apply to these.

  // Sampler shadows.
  int MagFilter[kStageCount] = {};
  int MinFilter[kStageCount] = {};
  int MipFilter[kStageCount] = {};
  int StageMaxAnisotropy[kStageCount] = {};
  int AddressU[kStageCount] = {};
  int AddressV[kStageCount] = {};
  int AddressW[kStageCount] = {};
  int FilterMode = 3;  // 3 matches no mode: the next request is always applied.
  int MaxAnisotropy = 1;

  // Render-state shadows.
  int ZEnable = 0;
  int ZWriteEnable = 0;
  int ZFunc = 0;
  int DepthBias = 0;
  int FillMode = 0;
  int ShadeMode = 0;
  int CullMode = 0;  // The library's 0 none, 1 counter-clockwise, 2 clockwise.
  int FogEnable = 0;
  int FogMode = 0;
  uint32_t FogColor = 0;
  float FogStart = 0.0f;
  float FogEnd = 1.0f;
  float FogDensity = 0.0f;
  int SpecularEnable = 0;
  int DiffuseMaterialSource = 0;
  int SpecularMaterialSource = 0;
  int LightingEnable = 0;
  int TextureFactor = 0;
  int AlphaFunc = 0;
  int AlphaRef = 0;
  int AlphaTestEnable = 0;
  int AlphaBlendEnable = 0;
  int SrcBlend = 0;
  int DestBlend = 0;
  int BlendOp = 0;

  int TextureTransformOn[kStageCount] = {};
  Matrix4 TextureTransform[kStageCount] = {};
  StageRecord Stages[kStageCount];

  // Blend selection: written by the Select* setters and the per-draw preparation, read by the
  // blend-state application.
  IDirect3DBaseTexture9* MainTexture = nullptr;
  IDirect3DBaseTexture9* BlendTexture = nullptr;
  int BlendBorderParam = 0;
  int BlendBorderRange = 0;
  int BlendMode = 0;
  int AlphaChannel = 0;
  int ColorKey = 0;
  int ColorModulation = 0;
  int AlphaModulation = 0;
  int BlendDirty = 0;      // The stage configuration must be rebuilt.
  int TextureChanged = 0;  // Only the bound texture changed.

  // Shader constants as the library last sent them.
  float VertexConstants[kVertexConstantCount][4] = {};
  float PixelConstants[kPixelConstantCount][4] = {};
  int LibraryShadersInUse = 0;

  // Fixed-function copies.
  Matrix4 View = {};
  Matrix4 Projection = {};
  D3DLIGHT9 Lights[kCachedLightCount] = {};
  int LightStored[kCachedLightCount] = {};  // 1 once the light was given; a restore sends only these.
  int LightEnabled[kCachedLightCount] = {};
  int HighestEnabledLight = -1;
  D3DMATERIAL9 Material = {};
  float Ambient[4] = {};

  DWORD CurrentFvf = 0;
  IDirect3DVertexShader9* CallerVertexShader = nullptr;  // Null: the library's own or none.
  IDirect3DPixelShader9* CallerPixelShader = nullptr;

  // [tangent set 0-1][skin kind 0-2][extra texture-coordinate count 0-8].
  IDirect3DVertexDeclaration9* VertexDeclarations[2][3][9] = {};
};

extern DeviceStateCache g_deviceStateCache;

// ---- Generic sends (the blend-state application uses them for its render and stage states) ----
// The setter rule for one value: equal to the shadow and not forced: 0; else flush, send, store.
// -1 without a device or when the device refused.
int SendRenderState(D3DRENDERSTATETYPE state, int* shadow, int value);
int SendTextureStageState(int stage, D3DTEXTURESTAGESTATETYPE type, uint16_t* shadow, int value);
int SendStageTexture(int stage, IDirect3DBaseTexture9* texture);

// ---- Setters ----
int SetDeviceFilterMode(int mode);
int SetDeviceMaxAnisotropy(int value);
int SetDeviceZEnable(int value);
int SetDeviceZWriteEnable(int value);
int SetDeviceZFunc(int value);
int SetDeviceDepthBias(int value);
int SetDeviceFillMode(int value);
int SetDeviceShadeMode(int value);
int SetDeviceCullMode(int mode);
int SetDeviceSpecularEnable(int flag);
int SetDeviceLightingEnable(int flag);
int SetDiffuseMaterialSource(int flag);
int SetSpecularMaterialSource(int flag);
int SetDeviceTextureAddress(int mode, int stage);
int SetDeviceTextureAddressU(int mode, int stage);
int SetDeviceTextureAddressV(int mode, int stage);
int SetDeviceTextureAddressW(int mode, int stage);
int SetDeviceTextureTransform(int stage, int flag, const Matrix4* matrix);
int SetDeviceFogEnable(int flag);
int SetDeviceFogMode(int mode);
int SetDeviceFogColor(uint32_t color);
int SetDeviceFogStartEnd(float start, float end);
int SetDeviceFogDensity(float density);
int SetDeviceViewport(const D3DVIEWPORT9* viewport);
int SetDeviceViewportRect(int x1, int y1, int x2, int y2);
int SetDeviceScissorRect(const RECT* rect);
int SetDeviceViewTransform(const Matrix4* matrix);
int SetDeviceProjectionTransform(const Matrix4* matrix);
int SetVertexShaderConstants(int start, const float* data, int count);
int SetPixelShaderConstants(int start, const float* data, int count);
int SelectMainTexture(IDirect3DBaseTexture9* texture);
int SelectBlendTexture(IDirect3DBaseTexture9* texture, int borderParam, int borderRange);
int SelectBlendState(int blendMode, int alphaChannel, int colorKey);
// Sends the FVF through its shadow (the batch and the grid drawer use it).
int SetDeviceFvf(DWORD fvf);

// A columns x rows grid of pre-transformed textured vertices (28 bytes each) as joined indexed
// triangle strips; -1 for fewer than 2 columns or rows, or more columns than one strip pair fits.
int DrawGridStrips(int columns, int rows, const TexturedVertex2D* vertices);

// ---- Life of the cache ----
// The device was (re)created: words that describe the device's own state are forgotten.
void ClearDeviceStateWords();
void SetDeviceStateWordsAfterCaps();
// The caller's shaders are no longer bound.
void ForgetBoundShaders();
int CreateVertexDeclarations();
void ReleaseVertexDeclarations();
int SetupDeviceStateCache();
int ReapplyDeviceStates();
int ResetStageAndShaderStates();
int RestoreDeviceStates();
