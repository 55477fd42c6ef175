// Blend modes and the per-draw preparation of the hardware path. Before every draw the drawers
// call `PrepareDeviceForDraw`, which asks the device state cache for everything the draw needs
// (lighting, specular, z, fill, fog, transparency, colour and alpha modulation, shading, filter,
// cull, texture transforms, address modes); only real changes reach the device. The blend part
// ends in `ApplyBlendState`, which turns the blend mode and the transparency kind into blend,
// alpha-test and texture-factor states and one of the fixed texture-stage sets.
#pragma once

#include <cstdint>

#include "graphics/device/device_state_cache.h"
#include "platform/d3d9.h"

// One row of `BlendModeTable`; -1 keeps the device's current factor.
struct BlendModeRow {
  int DestBlend;
  int SrcBlend;
  int StageVariant;  // 0 plain, 1 fade toward white by the texture factor, 2 complemented colour.
  int BlendOp;
};
extern const BlendModeRow BlendModeTable[13];

// A stage configuration: `Count` stages, then the closing DISABLE stage. Argument and operation
// words of 0xFFFF and texture-coordinate or result words of -1 leave the device's value.
constexpr uint16_t kStageKeep = 0xFFFF;
struct StageSet {
  int Count;
  StageRecord Stages[kStageCount];
};
// The fixed sets: index E + 3 (Y + 2 (X + 4 V)) for a texture alone (0-11, 24-35, 48-59), and
// E + 3 (Y + 2 (X + 2)) (12-23) with a blend texture; E the transparency kind, X and Y the colour
// and alpha modulation, V the mode's stage variant. 36-47 are empty.
const StageSet& GetTextureStageSet(int index);
int TextureStageSetIndex(int transparencyKind, int alphaModulation, int colorModulation, int variant);
int BlendTextureStageSetIndex(int transparencyKind, int alphaModulation, int colorModulation);

// A caller's own blend configuration; with the resolve flag the stage texture words hold graph
// handles.
struct UserBlendRecord {
  int AlphaTestEnable;
  int AlphaRef;
  int AlphaFunc;
  int AlphaBlendEnable;
  uint32_t TextureFactor;
  int SrcBlend;
  int DestBlend;
  int BlendOp;
  int StageCount;  // 0 to 8.
  StageRecord Stages[kStageCount];
};

// Flag bits of `PrepareDeviceForDraw`.
enum DrawPrepareFlag : uint32_t {
  kPrepareTransparent = 0x1,
  kPrepareKeepTransparencyFiltered = 0x2,
  kPrepareGouraud = 0x8,
  kPrepareColorModulation = 0x20,
  kPrepareAlphaModulation = 0x40,
  kPrepareFog = 0x80,
  kPrepareKeepBlend = 0x100,
  kPrepareLighting = 0x200,
  kPrepareSpecular = 0x400,
  kPrepareZ3D = 0x800,
  kPrepareStageAddress = 0x1000,
  kPrepareKeepShaders = 0x2000,
};

// What a texture's format says about its transparency (both may be null for untextured draws).
struct TextureFormatDescription {
  uint8_t AlphaChannel;
  uint8_t ColorKey;
};

// Which vertex kind the batch fills for the current configuration (0 untextured, 1 one texture,
// 2 texture and blend texture).
extern int g_blendVertexKind;

void PrepareDeviceForDraw(const TextureFormatDescription* format, IDirect3DBaseTexture9* texture, uint32_t flags);
// 0, or -1 without a device or when nothing was dirty.
int ApplyBlendState(int resolveGraphHandles, const UserBlendRecord* userBlend, int texturesOnly);
int SetUserBlendState(const UserBlendRecord* record, int texturesOnly);
int SetDeviceRenderTarget(IDirect3DSurface9* surface);

// Fixed-function lights, material and ambient colour, kept in step with the library's shader
// constants.
int SetDeviceLight(int index, const D3DLIGHT9* light);
int EnableDeviceLight(int index, int enable);
int SetDeviceMaterial(const D3DMATERIAL9* material);
int SetDeviceAmbientColor(uint32_t argb);
void UpdateLightColorConstants();
