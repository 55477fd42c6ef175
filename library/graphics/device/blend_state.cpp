// The blend table, the fixed texture-stage sets, the blend-state application and the per-draw
// preparation; the fixed-function light, material and ambient setters beside them.
#include "graphics/device/blend_state.h"

#include <cmath>
#include <cstring>

#include "graphics/device/device_buffers.h"
#include "graphics/device/render_device.h"
#include "graphics/graphs/draw_state.h"
#include "graphics/graphs/graph_records.h"
#include "graphics/models/camera.h"

// Destination and source factors are D3DBLEND numbers, the operation a D3DBLENDOP number.
const BlendModeRow BlendModeTable[13] = {
    {-1, -1, 0, D3DBLENDOP_ADD},                                   // 0 copy
    {D3DBLEND_INVSRCALPHA, D3DBLEND_SRCALPHA, 0, D3DBLENDOP_ADD},  // 1 alpha
    {D3DBLEND_ONE, D3DBLEND_SRCALPHA, 0, D3DBLENDOP_ADD},          // 2 add
    {D3DBLEND_ZERO, D3DBLEND_INVDESTCOLOR, 0, D3DBLENDOP_ADD},     // 3 subtract (emulated)
    {D3DBLEND_SRCCOLOR, D3DBLEND_ZERO, 0, D3DBLENDOP_ADD},         // 4 multiply
    {D3DBLEND_ONE, D3DBLEND_SRCALPHA, 0, D3DBLENDOP_ADD},          // 5
    {-1, -1, 0, D3DBLENDOP_ADD},                                   // 6
    {-1, -1, 0, D3DBLENDOP_ADD},                                   // 7
    {D3DBLEND_ONE, D3DBLEND_ZERO, 0, D3DBLENDOP_ADD},              // 8
    {D3DBLEND_ZERO, D3DBLEND_INVDESTCOLOR, 0, D3DBLENDOP_ADD},     // 9
    {D3DBLEND_INVSRCALPHA, D3DBLEND_SRCALPHA, 2, D3DBLENDOP_ADD},  // 10 inverted alpha
    {D3DBLEND_SRCCOLOR, D3DBLEND_ZERO, 1, D3DBLENDOP_ADD},         // 11 product alpha
    {D3DBLEND_ONE, D3DBLEND_SRCALPHA, 0, D3DBLENDOP_REVSUBTRACT},  // 12
};

int g_blendVertexKind = 0;

namespace {
struct LastPreparation {
  uint32_t Flags;
  const TextureFormatDescription* Format;
  IDirect3DBaseTexture9* Texture;
} g_lastPreparation;
}  // namespace

namespace {

DeviceStateCache& Cache() { return g_deviceStateCache; }
IDirect3DDevice9* Device() { return g_renderDevice.Device; }
int ResultOf(HRESULT result) { return FAILED(result) ? -1 : 0; }

constexpr int kKeep = -1;

StageRecord Stage(int texCoord, uint16_t alphaOp, uint16_t alphaArg1, uint16_t alphaArg2, uint16_t colorOp,
                  uint16_t colorArg1, uint16_t colorArg2) {
  StageRecord stage;
  stage.Texture = nullptr;
  stage.TexCoordIndex = texCoord;
  stage.ResultToTemp = 0;
  stage.AlphaArg1 = alphaArg1;
  stage.AlphaArg2 = alphaArg2;
  stage.AlphaOp = alphaOp;
  stage.ColorArg1 = colorArg1;
  stage.ColorArg2 = colorArg2;
  stage.ColorOp = colorOp;
  return stage;
}

StageRecord DisableStage() {
  StageRecord stage = Stage(kKeep, D3DTOP_DISABLE, kStageKeep, kStageKeep, D3DTOP_DISABLE, kStageKeep, kStageKeep);
  stage.ResultToTemp = kKeep;
  return stage;
}

void Close(StageSet& set) { set.Stages[set.Count] = DisableStage(); }

// Colour of stage 0 for a texture: the texture (complemented in variant 2), modulated by the
// diffuse colour with X.
void SetTextureColor(StageRecord& stage, int colorModulation, int variant) {
  const uint16_t texture = variant == 2 ? (D3DTA_COMPLEMENT | D3DTA_TEXTURE) : D3DTA_TEXTURE;
  stage.ColorArg1 = texture;
  stage.ColorArg2 = D3DTA_DIFFUSE;
  stage.ColorOp = colorModulation ? D3DTOP_MODULATE : D3DTOP_SELECTARG1;
}

StageSet BuildTextureSet(int transparency, int alphaModulation, int colorModulation, int variant) {
  StageSet set{};
  StageRecord& stage0 = set.Stages[0];
  stage0 = Stage(0, 0, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, 0, 0);
  SetTextureColor(stage0, colorModulation, variant);
  if (transparency == 0)
    stage0.AlphaOp = D3DTOP_SELECTARG2;
  else
    stage0.AlphaOp = alphaModulation ? D3DTOP_MODULATE : D3DTOP_SELECTARG1;
  set.Count = 1;
  if (variant == 1) {
    set.Stages[1] = Stage(1, D3DTOP_SELECTARG1, D3DTA_CURRENT, kStageKeep, D3DTOP_BLENDCURRENTALPHA, D3DTA_CURRENT,
                          D3DTA_TFACTOR);
    set.Count = 2;
  }
  Close(set);
  return set;
}

// Stage 0 holds the blend texture; the main texture's stages follow on coordinates 1.
StageSet BuildBlendTextureSet(int transparency, int alphaModulation, int colorModulation) {
  StageSet set{};
  set.Stages[0] = Stage(0, D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_TFACTOR, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
  const uint16_t colorOp = colorModulation ? D3DTOP_MODULATE : D3DTOP_SELECTARG1;
  auto textureStage = [&](uint16_t alphaArg) {
    return Stage(1, D3DTOP_MODULATE, alphaArg, D3DTA_CURRENT, colorOp, D3DTA_TEXTURE, D3DTA_DIFFUSE);
  };
  int n = 1;
  if (transparency == 1) {
    set.Stages[n++] = Stage(1, D3DTOP_MODULATE, D3DTA_SPECULAR, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_CURRENT,
                            kStageKeep);
    set.Stages[n++] = textureStage(D3DTA_TEXTURE);
  } else {
    const bool textureAlpha = transparency == 2;
    set.Stages[n++] = textureStage(textureAlpha ? D3DTA_TEXTURE : (alphaModulation ? D3DTA_DIFFUSE : D3DTA_CURRENT));
    if (!textureAlpha && !alphaModulation) {
      // Set 12 (and 18): the blend alpha modulated by the diffuse alpha.
      set.Stages[n - 1].AlphaArg1 = D3DTA_CURRENT;
      set.Stages[n - 1].AlphaArg2 = D3DTA_DIFFUSE;
    }
  }
  if (alphaModulation && transparency != 0) {
    set.Stages[n++] = Stage(transparency == 1 ? 0 : 1, D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTOP_SELECTARG1,
                            D3DTA_CURRENT, kStageKeep);
  }
  set.Count = n;
  Close(set);
  return set;
}

struct StageSetTable {
  StageSet Sets[60];
  StageSet SubtractUntextured;
  StageSetTable() {
    for (StageSet& set : Sets) set = StageSet{};
    for (int v = 0; v < 3; ++v)
      for (int x = 0; x < 2; ++x)
        for (int y = 0; y < 2; ++y)
          for (int e = 0; e < 3; ++e) Sets[TextureStageSetIndex(e, y, x, v)] = BuildTextureSet(e, y, x, v);
    for (int x = 0; x < 2; ++x)
      for (int y = 0; y < 2; ++y)
        for (int e = 0; e < 3; ++e) Sets[BlendTextureStageSetIndex(e, y, x)] = BuildBlendTextureSet(e, y, x);
    SubtractUntextured = StageSet{};
    SubtractUntextured.Stages[0] = Stage(0, D3DTOP_SELECTARG2, kStageKeep, D3DTA_DIFFUSE, D3DTOP_SELECTARG1,
                                         D3DTA_DIFFUSE, kStageKeep);
    SubtractUntextured.Count = 1;
    Close(SubtractUntextured);
  }
};

const StageSetTable& StageSets() {
  static const StageSetTable table;
  return table;
}

// The user configuration installed by SetUserBlendState.
UserBlendRecord g_userBlend;
int g_userBlendInstalled = 0;
int g_userBlendTexturesOnly = 0;

// What ApplyBlendState sends: the render states, then the stages.
struct BlendConfiguration {
  int AlphaTestEnable = kKeep;
  int AlphaRef = kKeep;
  int AlphaFunc = kKeep;
  int AlphaBlendEnable = kKeep;
  int64_t TextureFactor = kKeep;
  int SrcBlend = kKeep;
  int DestBlend = kKeep;
  int BlendOp = kKeep;
  StageSet Stages{};
};

int SendIntStageState(int stage, D3DTEXTURESTAGESTATETYPE type, int* shadow, int value) {
  if (value == kKeep) return 0;
  if (*shadow == value && !Cache().ForceApply) return 0;
  FlushVertexBatch();
  *shadow = value;
  return ResultOf(Device()->SetTextureStageState(static_cast<DWORD>(stage), type, static_cast<DWORD>(value)));
}

int SendStageWord(int stage, D3DTEXTURESTAGESTATETYPE type, uint16_t* shadow, uint16_t value) {
  if (value == kStageKeep) return 0;
  return SendTextureStageState(stage, type, shadow, value);
}

// A render state of the blend block: -1 leaves it, except that a forced pass re-sends a factor
// whose shadow is a real factor.
void SendBlendRenderState(D3DRENDERSTATETYPE state, int* shadow, int64_t value, bool factor) {
  if (value == kKeep) {
    if (!(factor && Cache().ForceApply && *shadow > 1)) return;
    value = *shadow;
  }
  SendRenderState(state, shadow, static_cast<int>(value));
}

void SendConfiguration(const BlendConfiguration& config, int texturesOnly) {
  DeviceStateCache& cache = Cache();
  if (!texturesOnly) {
    SendBlendRenderState(D3DRS_ALPHAFUNC, &cache.AlphaFunc, config.AlphaFunc, false);
    SendBlendRenderState(D3DRS_ALPHAREF, &cache.AlphaRef, config.AlphaRef, false);
    SendBlendRenderState(D3DRS_ALPHATESTENABLE, &cache.AlphaTestEnable, config.AlphaTestEnable, false);
    SendBlendRenderState(D3DRS_ALPHABLENDENABLE, &cache.AlphaBlendEnable, config.AlphaBlendEnable, false);
    const int factorBefore = cache.TextureFactor;
    const bool factorSent = config.TextureFactor != kKeep &&
                            (cache.ForceApply || cache.TextureFactor != static_cast<int>(config.TextureFactor));
    SendBlendRenderState(D3DRS_TEXTUREFACTOR, &cache.TextureFactor, config.TextureFactor, false);
    if (factorSent || (cache.TextureFactor != factorBefore)) {
      const uint32_t argb = static_cast<uint32_t>(cache.TextureFactor);
      const float c5[4] = {((argb >> 16) & 0xFF) / 255.0f, ((argb >> 8) & 0xFF) / 255.0f, (argb & 0xFF) / 255.0f,
                           (argb >> 24) / 255.0f};
      // Sending would put the library's constants back over a caller's: only the shadow takes
      // it then, and it reaches the device with the library's whole set.
      if (g_callerShaderConstants.CallerSetSelected)
        std::memcpy(cache.PixelConstants[5], c5, sizeof c5);
      else
        SetPixelShaderConstants(5, c5, 1);
    }
    SendBlendRenderState(D3DRS_SRCBLEND, &cache.SrcBlend, config.SrcBlend, true);
    SendBlendRenderState(D3DRS_DESTBLEND, &cache.DestBlend, config.DestBlend, true);
    SendBlendRenderState(D3DRS_BLENDOP, &cache.BlendOp, config.BlendOp, true);
  }

  const StageSet& set = config.Stages;
  if (set.Count != cache.StagesInUse) {
    cache.StagesInUse = set.Count;
    const int force = cache.ForceApply;
    cache.ForceApply = 1;
    SetDeviceFilterMode(cache.FilterMode);
    SetDeviceMaxAnisotropy(cache.MaxAnisotropy);
    cache.ForceApply = force;
  }
  const int sent = set.Count + 1 < kStageCount ? set.Count + 1 : kStageCount;
  for (int s = 0; s < sent; ++s) {
    const StageRecord& want = set.Stages[s];
    StageRecord& shadow = cache.Stages[s];
    SendStageTexture(s, want.Texture);
    SendIntStageState(s, D3DTSS_TEXCOORDINDEX, &shadow.TexCoordIndex, want.TexCoordIndex);
    if (!texturesOnly) {
      if (g_renderDevice.TssArgTempCap && want.ResultToTemp != kKeep) {
        if (shadow.ResultToTemp != want.ResultToTemp || cache.ForceApply) {
          FlushVertexBatch();
          shadow.ResultToTemp = want.ResultToTemp;
          Device()->SetTextureStageState(static_cast<DWORD>(s), D3DTSS_RESULTARG,
                                         want.ResultToTemp ? D3DTA_TEMP : D3DTA_CURRENT);
        }
      }
      SendStageWord(s, D3DTSS_ALPHAOP, &shadow.AlphaOp, want.AlphaOp);
      SendStageWord(s, D3DTSS_ALPHAARG1, &shadow.AlphaArg1, want.AlphaArg1);
      SendStageWord(s, D3DTSS_ALPHAARG2, &shadow.AlphaArg2, want.AlphaArg2);
      SendStageWord(s, D3DTSS_COLOROP, &shadow.ColorOp, want.ColorOp);
      SendStageWord(s, D3DTSS_COLORARG1, &shadow.ColorArg1, want.ColorArg1);
      SendStageWord(s, D3DTSS_COLORARG2, &shadow.ColorArg2, want.ColorArg2);
      if (s >= 2 && want.AlphaOp == D3DTOP_DISABLE) break;
    }
  }
}

IDirect3DBaseTexture9* FirstTextureOfGraph(intptr_t handle) {
  const GraphRecord* record = GetGraphRecord(static_cast<int>(handle));
  if (!record || !record->Part || !record->Part->Textured || record->Part->TextureCount < 1) return nullptr;
  return record->Part->Textures[0].Texture;
}

BlendConfiguration FromUserRecord(const UserBlendRecord& record, int resolve) {
  BlendConfiguration config;
  config.AlphaTestEnable = record.AlphaTestEnable;
  config.AlphaRef = record.AlphaRef;
  config.AlphaFunc = record.AlphaFunc;
  config.AlphaBlendEnable = record.AlphaBlendEnable;
  config.TextureFactor = record.TextureFactor;
  config.SrcBlend = record.SrcBlend;
  config.DestBlend = record.DestBlend;
  config.BlendOp = record.BlendOp;
  const int count = record.StageCount < 0 ? 0 : (record.StageCount > kStageCount ? kStageCount : record.StageCount);
  config.Stages.Count = count < kStageCount ? count : kStageCount - 1;
  for (int s = 0; s < kStageCount; ++s) {
    config.Stages.Stages[s] = record.Stages[s];
    if (resolve)
      config.Stages.Stages[s].Texture = FirstTextureOfGraph(reinterpret_cast<intptr_t>(record.Stages[s].Texture));
  }
  if (count < kStageCount) config.Stages.Stages[count] = DisableStage();
  return config;
}

// The border ramp of a blend graph whose range is above 1.
void SetBorderRamp(BlendConfiguration& config, int param, int range) {
  int scale, offset, stage1Op;
  if (range <= 64)
    scale = 1280, offset = 1024, stage1Op = D3DTOP_MODULATE4X;
  else if (range <= 128)
    scale = 768, offset = 512, stage1Op = D3DTOP_MODULATE2X;
  else
    scale = 512, offset = 256, stage1Op = D3DTOP_MODULATE;
  const int k = param * scale / 255;
  const int v = scale - k;
  int alpha, stage0Op;
  if (v < offset) {
    alpha = 255 - v * 255 / offset;
    stage0Op = D3DTOP_SUBTRACT;
  } else {
    // 64, 128 and 255 per 256 over the offset: what the 4x, 2x and 1x modulation brings back.
    const int per256 = offset == 1024 ? 64 : (offset == 512 ? 128 : 255);
    alpha = (v - offset) * per256 / 256;
    stage0Op = D3DTOP_ADD;
  }
  config.Stages.Stages[0].AlphaOp = static_cast<uint16_t>(stage0Op);
  config.Stages.Stages[1].AlphaOp = static_cast<uint16_t>(stage1Op);
  config.TextureFactor = static_cast<int64_t>(static_cast<uint32_t>(alpha) << 24 | 0xFFFFFF);
}

}  // namespace

int TextureStageSetIndex(int transparencyKind, int alphaModulation, int colorModulation, int variant) {
  return transparencyKind + 3 * (alphaModulation + 2 * (colorModulation + 4 * variant));
}

int BlendTextureStageSetIndex(int transparencyKind, int alphaModulation, int colorModulation) {
  return transparencyKind + 3 * (alphaModulation + 2 * (colorModulation + 2));
}

const StageSet& GetTextureStageSet(int index) { return StageSets().Sets[index]; }

int ApplyBlendState(int resolveGraphHandles, const UserBlendRecord* userBlend, int texturesOnly) {
  DeviceStateCache& cache = Cache();
  if (!Device()) return -1;

  if (userBlend || g_userBlendInstalled) {
    const UserBlendRecord& record = userBlend ? *userBlend : g_userBlend;
    cache.BlendDirty = cache.TextureChanged = 0;
    SendConfiguration(FromUserRecord(record, resolveGraphHandles), userBlend ? texturesOnly : g_userBlendTexturesOnly);
    return 0;
  }

  const bool hasBlendTexture = cache.BlendTexture != nullptr;
  if (!cache.ForceApply && !cache.BlendDirty) {
    if (!cache.TextureChanged) return -1;
    int stage = 0;
    if (hasBlendTexture) stage = cache.AlphaChannel ? 2 : 1;
    SendStageTexture(stage, cache.MainTexture);
    cache.TextureChanged = 0;
    return 0;
  }
  cache.BlendDirty = cache.TextureChanged = 0;

  const int mode = cache.BlendMode >= 0 && cache.BlendMode < 13 ? cache.BlendMode : 0;
  BlendModeRow row = BlendModeTable[mode];
  if (mode == kBlendSubtract && g_renderDevice.BlendOpCap)
    row = BlendModeRow{D3DBLEND_ONE, D3DBLEND_SRCALPHA, 0, D3DBLENDOP_REVSUBTRACT};
  const bool modeBlends = mode != kBlendCopy && mode != kBlendDeviceOpaque;
  const int a = cache.AlphaChannel, k = cache.ColorKey;
  const int transparency = a ? 1 : ((k || (cache.ZEnable && !hasBlendTexture)) ? 2 : 0);

  BlendConfiguration config;
  config.SrcBlend = row.SrcBlend;
  config.DestBlend = row.DestBlend;
  config.BlendOp = row.BlendOp;
  config.AlphaBlendEnable = modeBlends ? 1 : 0;
  g_renderDevice.Batch.DiscardVertices = 0;

  if (!cache.MainTexture) {
    g_blendVertexKind = 0;
    if (mode == kBlendSubtract) {
      config.Stages = StageSets().SubtractUntextured;
    } else {
      StageSet& set = config.Stages;
      StageRecord& stage = set.Stages[0];
      stage = Stage(0, D3DTOP_SELECTARG2, kStageKeep, D3DTA_DIFFUSE, D3DTOP_SELECTARG2, kStageKeep, D3DTA_DIFFUSE);
      if (row.StageVariant == 1) {
        stage.ColorOp = D3DTOP_BLENDDIFFUSEALPHA;
        stage.ColorArg1 = D3DTA_DIFFUSE;
        stage.ColorArg2 = D3DTA_TFACTOR;
        config.TextureFactor = 0xFFFFFFFF;
      } else if (row.StageVariant == 2) {
        stage.ColorOp = D3DTOP_SELECTARG1;
        stage.ColorArg1 = D3DTA_COMPLEMENT | D3DTA_DIFFUSE;
      }
      set.Count = 1;
      Close(set);
    }
    config.AlphaTestEnable = 0;
  } else if (!hasBlendTexture) {
    g_blendVertexKind = 1;
    config.Stages =
        StageSets()
            .Sets[TextureStageSetIndex(transparency, cache.AlphaModulation, cache.ColorModulation, row.StageVariant)];
    config.Stages.Stages[0].Texture = cache.MainTexture;
    if (k) {
      config.AlphaTestEnable = 1, config.AlphaRef = 16, config.AlphaFunc = D3DCMP_GREATER;
    } else if (cache.ZEnable) {
      config.AlphaTestEnable = 1, config.AlphaRef = 0, config.AlphaFunc = D3DCMP_GREATER;
    } else {
      config.AlphaTestEnable = 0;
    }
    if (a && !modeBlends) config.DestBlend = D3DBLEND_INVSRCALPHA, config.SrcBlend = D3DBLEND_SRCALPHA;
    config.AlphaBlendEnable = (a || modeBlends) ? 1 : 0;
    config.TextureFactor = 0xFFFFFFFF;
  } else {
    g_blendVertexKind = 2;
    config.Stages =
        StageSets().Sets[BlendTextureStageSetIndex(transparency, cache.AlphaModulation, cache.ColorModulation)];
    config.Stages.Stages[0].Texture = cache.BlendTexture;
    config.Stages.Stages[a ? 2 : 1].Texture = cache.MainTexture;
    if (!modeBlends) config.DestBlend = D3DBLEND_INVSRCALPHA, config.SrcBlend = D3DBLEND_SRCALPHA;
    const int param = cache.BlendBorderParam, range = cache.BlendBorderRange;
    g_renderDevice.Batch.DiscardVertices = param == 255 ? 1 : 0;
    if (range <= 1) {
      config.AlphaTestEnable = 1;
      config.AlphaRef = (param == 0 && (a || k)) ? 1 : param;
      config.AlphaFunc = D3DCMP_GREATEREQUAL;
      config.AlphaBlendEnable = 0;
      config.TextureFactor = 0x00FFFFFF;
    } else {
      config.AlphaTestEnable = 0;
      config.AlphaBlendEnable = 1;
      SetBorderRamp(config, param, range);
    }
  }

  const int force = cache.ForceApply;
  SendConfiguration(config, texturesOnly);
  cache.ForceApply = force;
  return 0;
}

int SetUserBlendState(const UserBlendRecord* record, int texturesOnly) {
  FlushVertexBatch();
  if (!record) {
    g_userBlendInstalled = 0;
    return 0;
  }
  g_userBlend = *record;
  g_userBlendInstalled = 1;
  g_userBlendTexturesOnly = texturesOnly;
  Cache().BlendDirty = Cache().TextureChanged = 1;
  ApplyBlendState(1, nullptr, 0);
  return 0;
}

void PrepareDeviceForDraw(const TextureFormatDescription* format, IDirect3DBaseTexture9* texture, uint32_t flags) {
  DeviceStateCache& cache = Cache();
  IDirect3DDevice9* device = Device();
  if (!device) return;
  DrawState& state = g_drawState;

  if (!(flags & kPrepareKeepShaders)) {
    if (cache.CallerVertexShader) {
      FlushVertexBatch();
      device->SetVertexShader(nullptr);
      cache.CallerVertexShader = nullptr;
      cache.CurrentFvf = 0;
    }
    if (cache.CallerPixelShader) {
      FlushVertexBatch();
      device->SetPixelShader(nullptr);
      cache.CallerPixelShader = nullptr;
    }
  }

  DrawLightArea& lights = state.Lights;
  if ((flags & kPrepareLighting) && !lights.LightingOff) {
    if (lights.LightsChanged || lights.ForceApplyLights)
      ApplyLightsToDevice();
    else
      SetDeviceLightingEnable(1);
    if (lights.MaterialChanged) {
      D3DMATERIAL9 material;
      static_assert(sizeof(material) == sizeof(lights.Material), "the light area keeps the device's material");
      std::memcpy(&material, &lights.Material, sizeof(material));
      SetDeviceMaterial(&material);
      lights.MaterialChanged = 0;
    }
    SetDiffuseMaterialSource(lights.DiffuseMaterialSource == 0);
    SetSpecularMaterialSource(lights.SpecularMaterialSource == 0);
  } else {
    SetDeviceLightingEnable(0);
  }

  SetDeviceSpecularEnable((flags & kPrepareSpecular) && !state.NoSpecular ? 1 : 0);

  const int* z = (flags & kPrepareZ3D) ? state.ZState3D : state.ZState2D;
  if (z[0]) {
    SetDeviceZEnable(z[0]);
    SetDeviceZWriteEnable(z[1]);
    SetDeviceZFunc(z[2]);
    SetDeviceDepthBias(z[3]);
  } else {
    SetDeviceZEnable(0);
  }

  SetDeviceFillMode(state.FillMode);
  SetDeviceFogEnable((flags & kPrepareFog) ? state.FogEnable : 0);

  if (!(flags & kPrepareKeepBlend)) {
    int a = 0, k = 0;
    if (texture && format && (flags & kPrepareTransparent) && (format->ColorKey || format->AlphaChannel)) {
      if ((state.BlendMode != kBlendCopy && state.BlendMode != kBlendKeepDestination) ||
          (!(flags & kPrepareKeepTransparencyFiltered) && state.DrawFilterMode == kFilterBilinear)) {
        a = 1;
      } else {
        a = format->AlphaChannel;
        k = format->ColorKey;
      }
    }
    const int x = (flags & kPrepareColorModulation) || (state.BrightColor & 0xFFFFFF) != 0xFFFFFF ? 1 : 0;
    const int y = (flags & kPrepareAlphaModulation) || state.BlendMode != kBlendCopy || state.AlphaFromParam ? 1 : 0;
    if (x != cache.ColorModulation || y != cache.AlphaModulation) {
      FlushVertexBatch();
      cache.ColorModulation = x;
      cache.AlphaModulation = y;
      cache.BlendDirty = 1;
    }
    SelectMainTexture(texture);
    SelectBlendState(state.BlendMode, a, k);
    if (cache.BlendDirty || cache.TextureChanged) ApplyBlendState(1, nullptr, 0);
  }

  SetDeviceShadeMode((flags & kPrepareGouraud) ? D3DSHADE_GOURAUD : D3DSHADE_FLAT);
  SetDeviceFilterMode(state.DrawFilterMode);
  SetDeviceMaxAnisotropy(state.MaxAnisotropy);
  SetDeviceCullMode(state.CullMode);
  if (state.TextureTransformPending) {
    for (int stage = 0; stage < 4; ++stage)
      SetDeviceTextureTransform(stage, state.TextureTransformOn[stage], &state.TextureTransforms[stage]);
    state.TextureTransformPending = 0;
  }

  for (int stage = 0; stage < ((flags & kPrepareStageAddress) ? kStageCount : 4); ++stage) {
    if (flags & kPrepareStageAddress) {
      SetDeviceTextureAddressU(state.AddressU[stage], stage);
      SetDeviceTextureAddressV(state.AddressV[stage], stage);
    } else if (cache.AddressU[stage] != D3DTADDRESS_CLAMP || cache.AddressV[stage] != D3DTADDRESS_CLAMP) {
      SetDeviceTextureAddress(D3DTADDRESS_CLAMP, stage);
    }
  }

  g_lastPreparation = {flags, format, texture};
}

int SetDeviceRenderTarget(IDirect3DSurface9* surface) {
  IDirect3DDevice9* device = Device();
  if (!device || !surface) return -1;
  FlushVertexBatch();
  device->SetRenderTarget(0, surface);
  D3DSURFACE_DESC desc{};
  surface->GetDesc(&desc);
  D3DVIEWPORT9 viewport = {0, 0, desc.Width, desc.Height, 0.0f, 1.0f};
  const int force = Cache().ForceApply;
  Cache().ForceApply = 1;
  SetDeviceViewport(&viewport);
  Cache().ForceApply = force;
  return 0;
}

// ---- Lights, material, ambient ----

void UpdateLightColorConstants() {
  DeviceStateCache& cache = Cache();
  const D3DMATERIAL9& material = cache.Material;
  for (int i = 0; i < 4 && i <= cache.HighestEnabledLight; ++i) {
    if (!cache.LightEnabled[i]) continue;
    const D3DCOLORVALUE& ambient = cache.Lights[i].Ambient;
    const float product[4] = {ambient.r * material.Ambient.r, ambient.g * material.Ambient.g,
                              ambient.b * material.Ambient.b, ambient.a * material.Ambient.a};
    SetVertexShaderConstants(18 + 7 * i, product, 1);
    SetPixelShaderConstants(11 + 3 * i, product, 1);
  }
  const float global[4] = {cache.Ambient[0] * material.Ambient.r + material.Emissive.r,
                           cache.Ambient[1] * material.Ambient.g + material.Emissive.g,
                           cache.Ambient[2] * material.Ambient.b + material.Emissive.b,
                           cache.Ambient[3] * material.Ambient.a + material.Emissive.a};
  SetVertexShaderConstants(1, global, 1);
  SetPixelShaderConstants(1, global, 1);
}

int SetDeviceLight(int index, const D3DLIGHT9* light) {
  DeviceStateCache& cache = Cache();
  if (!light) return -1;
  if (index >= 0 && index < kCachedLightCount) {
    cache.Lights[index] = *light;
    cache.LightStored[index] = 1;
  }
  if (!Device()) return 0;
  FlushVertexBatch();
  if (index >= 0 && index < 4) {
    Vector3 position = {light->Position.x, light->Position.y, light->Position.z};
    Vector3 direction = {light->Direction.x, light->Direction.y, light->Direction.z};
    Vector3 viewPosition, viewDirection;
    TransformVector(&viewPosition, &position, &g_drawState.ViewMatrix);
    Matrix4 rotation = g_drawState.ViewMatrix;
    rotation.m[3][0] = rotation.m[3][1] = rotation.m[3][2] = 0.0f;
    TransformVector(&viewDirection, &direction, &rotation);
    const float cosHalfPhi = std::cos(light->Phi / 2.0f), cosHalfTheta = std::cos(light->Theta / 2.0f);
    const float spread = cosHalfTheta - cosHalfPhi;
    const float vertex[7][4] = {
        {viewPosition.x, viewPosition.y, viewPosition.z, 1.0f},
        {viewDirection.x, viewDirection.y, viewDirection.z, 0.0f},
        {light->Diffuse.r, light->Diffuse.g, light->Diffuse.b, light->Diffuse.a},
        {light->Specular.r, light->Specular.g, light->Specular.b, light->Specular.a},
        {light->Ambient.r, light->Ambient.g, light->Ambient.b, light->Ambient.a},
        {light->Range * light->Range, light->Falloff, light->Attenuation0, light->Attenuation1},
        {light->Attenuation2, cosHalfPhi, spread != 0.0f ? 1.0f / spread : 0.0f, 0.0f},
    };
    SetVertexShaderConstants(14 + 7 * index, &vertex[0][0], 7);
    SetPixelShaderConstants(9 + 3 * index, &vertex[2][0], 3);
    if (cache.LibraryShadersInUse) {
      const BOOL kinds[2] = {light->Type == D3DLIGHT_POINT || light->Type == D3DLIGHT_SPOT,
                             light->Type == D3DLIGHT_SPOT};
      Device()->SetVertexShaderConstantB(static_cast<UINT>(5 + 3 * index), kinds, 2);
    }
  }
  UpdateLightColorConstants();
  return ResultOf(Device()->SetLight(static_cast<DWORD>(index), light));
}

int EnableDeviceLight(int index, int enable) {
  DeviceStateCache& cache = Cache();
  if (index >= 0 && index < kCachedLightCount) {
    cache.LightEnabled[index] = enable ? 1 : 0;
    if (enable) {
      if (index > cache.HighestEnabledLight) cache.HighestEnabledLight = index;
    } else if (index == cache.HighestEnabledLight) {
      int below = index - 1;
      while (below >= 0 && !cache.LightEnabled[below]) --below;
      cache.HighestEnabledLight = below < 0 ? 0 : below;
    }
  }
  if (!Device()) return 0;
  FlushVertexBatch();
  UpdateLightColorConstants();
  if (cache.LibraryShadersInUse && index >= 0 && index < 4) {
    const BOOL on = enable ? TRUE : FALSE;
    Device()->SetVertexShaderConstantB(static_cast<UINT>(4 + 3 * index), &on, 1);
  }
  return ResultOf(Device()->LightEnable(static_cast<DWORD>(index), enable ? TRUE : FALSE));
}

int SetDeviceMaterial(const D3DMATERIAL9* material) {
  DeviceStateCache& cache = Cache();
  if (!material) return -1;
  if (!Device()) return 0;
  if (!cache.ForceApply && std::memcmp(&cache.Material, material, sizeof(D3DMATERIAL9)) == 0) return 0;
  FlushVertexBatch();
  cache.Material = *material;
  const float constants[3][4] = {
      {material->Diffuse.r, material->Diffuse.g, material->Diffuse.b, material->Diffuse.a},
      {material->Specular.r, material->Specular.g, material->Specular.b, material->Specular.a},
      {material->Power, 0.0f, 0.0f, 0.0f},
  };
  SetVertexShaderConstants(11, &constants[0][0], 3);
  SetPixelShaderConstants(2, &constants[0][0], 3);
  UpdateLightColorConstants();
  return ResultOf(Device()->SetMaterial(material));
}

int SetDeviceAmbientColor(uint32_t argb) {
  DeviceStateCache& cache = Cache();
  cache.Ambient[0] = ((argb >> 16) & 0xFF) / 255.0f;
  cache.Ambient[1] = ((argb >> 8) & 0xFF) / 255.0f;
  cache.Ambient[2] = (argb & 0xFF) / 255.0f;
  cache.Ambient[3] = (argb >> 24) / 255.0f;
  if (!Device()) return 0;
  FlushVertexBatch();
  UpdateLightColorConstants();
  return ResultOf(Device()->SetRenderState(D3DRS_AMBIENT, argb));
}
