// The device state cache: shadowed setters, the grid strip drawer, the model vertex declarations,
// and the set-up, re-apply and restore passes that send the whole cache with the force flag on.
#include "graphics/device/device_state_cache.h"

#include <cstring>

#include "graphics/device/blend_state.h"
#include "graphics/device/device_buffers.h"
#include "graphics/graphs/draw_state.h"
#include "graphics/graphs/screen_settings.h"
#include "graphics/models/camera.h"

DeviceStateCache g_deviceStateCache;

namespace {

DeviceStateCache& Cache() { return g_deviceStateCache; }
IDirect3DDevice9* Device() { return g_renderDevice.Device; }

DWORD FloatBits(float value) {
  DWORD bits;
  std::memcpy(&bits, &value, sizeof(bits));
  return bits;
}

int ResultOf(HRESULT result) { return FAILED(result) ? -1 : 0; }

// The setter rule with a device value that differs from the shadowed one.
int SendMappedRenderState(D3DRENDERSTATETYPE state, int* shadow, int value, DWORD sent) {
  if (!Device()) return -1;
  if (*shadow == value && !Cache().ForceApply) return 0;
  FlushVertexBatch();
  *shadow = value;
  return ResultOf(Device()->SetRenderState(state, sent));
}

int SendSamplerState(int stage, D3DSAMPLERSTATETYPE type, int* shadow, int value) {
  if (*shadow == value && !Cache().ForceApply) return 0;
  FlushVertexBatch();
  *shadow = value;
  return ResultOf(Device()->SetSamplerState(static_cast<DWORD>(stage), type, static_cast<DWORD>(value)));
}

D3DMATRIX DeviceMatrix(const Matrix4& matrix) {
  D3DMATRIX out;
  std::memcpy(out.m, matrix.m, sizeof(out.m));
  return out;
}

// Writes rows of the transposed matrix into four constant registers (shadowed; sent while the
// library's shaders are in use).
void SetTransposedConstants(int first, const Matrix4& matrix) {
  float transposed[4][4];
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 4; ++column) transposed[row][column] = matrix.m[column][row];
  SetVertexShaderConstants(first, &transposed[0][0], 4);
}

void SetFogConstants() {
  DeviceStateCache& cache = Cache();
  float range = cache.FogEnd - cache.FogStart;
  float constants[4] = {range != 0.0f ? cache.FogEnd / range : 0.0f, range != 0.0f ? -1.0f / range : 0.0f,
                        cache.FogDensity, 2.7182817f};
  SetVertexShaderConstants(10, constants, 1);
}

int SetShaderConstants(float (*shadow)[4], int registers, int start, const float* data, int count, bool vertex) {
  if (start < 0 || count < 0 || count > registers - start || !data) return -1;
  std::memcpy(shadow[start], data, sizeof(float) * 4 * static_cast<size_t>(count));
  if (!Device() || !Cache().LibraryShadersInUse || count == 0) return 0;
  FlushVertexBatch();
  SelectShaderConstantSet(0);  // A caller's constants give way to the library's whole set first.
  HRESULT result = vertex ? Device()->SetVertexShaderConstantF(static_cast<UINT>(start), data, static_cast<UINT>(count))
                          : Device()->SetPixelShaderConstantF(static_cast<UINT>(start), data, static_cast<UINT>(count));
  return ResultOf(result);
}

// One address (U, V or W) of one stage or, for stage -1, of all eight (sent from stage 7 down).
int SetAddress(int (&shadows)[kStageCount], D3DSAMPLERSTATETYPE type, int mode, int stage) {
  if (stage > 7) return -1;
  if (!Device()) return 0;
  int result = 0;
  for (int s = stage < 0 ? 7 : stage; s >= (stage < 0 ? 0 : stage); --s)
    result = SendSamplerState(s, type, &shadows[s], mode);
  return result;
}

const float kVertexC0[4] = {0.0f, 1.0f, 0.0f, 0.0f};
const float kPixelC0[4] = {0.0f, 0.5f, 1.0f, 2.0f};

}  // namespace

// ---- Generic sends ----

int SendRenderState(D3DRENDERSTATETYPE state, int* shadow, int value) {
  return SendMappedRenderState(state, shadow, value, static_cast<DWORD>(value));
}

int SendTextureStageState(int stage, D3DTEXTURESTAGESTATETYPE type, uint16_t* shadow, int value) {
  if (!Device()) return -1;
  if (*shadow == static_cast<uint16_t>(value) && !Cache().ForceApply) return 0;
  FlushVertexBatch();
  *shadow = static_cast<uint16_t>(value);
  return ResultOf(Device()->SetTextureStageState(static_cast<DWORD>(stage), type, static_cast<DWORD>(value)));
}

int SendStageTexture(int stage, IDirect3DBaseTexture9* texture) {
  if (!Device()) return -1;
  StageRecord& record = Cache().Stages[stage];
  if (record.Texture == texture && !Cache().ForceApply) return 0;
  FlushVertexBatch();
  record.Texture = texture;
  return ResultOf(Device()->SetTexture(static_cast<DWORD>(stage), texture));
}

int SetDeviceFvf(DWORD fvf) {
  if (!Device()) return -1;
  if (Cache().CurrentFvf == fvf && !Cache().ForceApply) return 0;
  Cache().CurrentFvf = fvf;
  return ResultOf(Device()->SetFVF(fvf));
}

// ---- Sampler setters ----

int SetDeviceFilterMode(int mode) {
  DeviceStateCache& cache = Cache();
  if (!Device()) return -1;
  if (mode == cache.FilterMode && !cache.ForceApply) return 0;
  FlushVertexBatch();
  static const int kFilters[3][3] = {{D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE},
                                     {D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_NONE},
                                     {D3DTEXF_LINEAR, D3DTEXF_ANISOTROPIC, D3DTEXF_LINEAR}};
  if (mode < 0 || mode > 2) return -1;
  for (int stage = 0; stage < cache.StagesInUse; ++stage) {
    SendSamplerState(stage, D3DSAMP_MAGFILTER, &cache.MagFilter[stage], kFilters[mode][0]);
    SendSamplerState(stage, D3DSAMP_MINFILTER, &cache.MinFilter[stage], kFilters[mode][1]);
    SendSamplerState(stage, D3DSAMP_MIPFILTER, &cache.MipFilter[stage], kFilters[mode][2]);
  }
  cache.FilterMode = mode;
  return 0;
}

int SetDeviceMaxAnisotropy(int value) {
  DeviceStateCache& cache = Cache();
  if (!Device()) return -1;
  if (value < 1) value = 1;
  if (value == cache.MaxAnisotropy && !cache.ForceApply) return 0;
  FlushVertexBatch();
  // Per stage the shadow alone decides, also when forced.
  for (int stage = 0; stage < cache.StagesInUse; ++stage)
    if (cache.StageMaxAnisotropy[stage] != value) {
      cache.StageMaxAnisotropy[stage] = value;
      Device()->SetSamplerState(static_cast<DWORD>(stage), D3DSAMP_MAXANISOTROPY, static_cast<DWORD>(value));
    }
  cache.MaxAnisotropy = value;
  return 0;
}

int SetDeviceTextureAddress(int mode, int stage) {
  if (stage > 7) return -1;
  if (!Device()) return 0;
  int result = 0;
  for (int s = stage < 0 ? 7 : stage; s >= (stage < 0 ? 0 : stage); --s) {
    SendSamplerState(s, D3DSAMP_ADDRESSU, &Cache().AddressU[s], mode);
    SendSamplerState(s, D3DSAMP_ADDRESSV, &Cache().AddressV[s], mode);
    result = SendSamplerState(s, D3DSAMP_ADDRESSW, &Cache().AddressW[s], mode);
  }
  return result;
}

int SetDeviceTextureAddressU(int mode, int stage) {
  return SetAddress(Cache().AddressU, D3DSAMP_ADDRESSU, mode, stage);
}
int SetDeviceTextureAddressV(int mode, int stage) {
  return SetAddress(Cache().AddressV, D3DSAMP_ADDRESSV, mode, stage);
}
int SetDeviceTextureAddressW(int mode, int stage) {
  return SetAddress(Cache().AddressW, D3DSAMP_ADDRESSW, mode, stage);
}

// ---- Render-state setters ----

int SetDeviceZEnable(int value) { return SendMappedRenderState(D3DRS_ZENABLE, &Cache().ZEnable, value, value == 1); }
int SetDeviceZWriteEnable(int value) { return SendRenderState(D3DRS_ZWRITEENABLE, &Cache().ZWriteEnable, value); }
int SetDeviceZFunc(int value) { return SendRenderState(D3DRS_ZFUNC, &Cache().ZFunc, value); }
int SetDeviceDepthBias(int value) { return SendRenderState(D3DRS_DEPTHBIAS, &Cache().DepthBias, value); }
int SetDeviceFillMode(int value) { return SendRenderState(D3DRS_FILLMODE, &Cache().FillMode, value); }
int SetDeviceShadeMode(int value) { return SendRenderState(D3DRS_SHADEMODE, &Cache().ShadeMode, value); }
int SetDeviceSpecularEnable(int flag) { return SendRenderState(D3DRS_SPECULARENABLE, &Cache().SpecularEnable, flag); }
int SetDeviceLightingEnable(int flag) { return SendRenderState(D3DRS_LIGHTING, &Cache().LightingEnable, flag); }

int SetDeviceCullMode(int mode) {
  if (!Device()) return 0;
  DWORD sent = mode == 0 ? D3DCULL_NONE : mode == 2 ? D3DCULL_CW : D3DCULL_CCW;
  return SendMappedRenderState(D3DRS_CULLMODE, &Cache().CullMode, mode, sent);
}

int SetDiffuseMaterialSource(int flag) {
  if (!Device()) return 0;
  return SendMappedRenderState(D3DRS_DIFFUSEMATERIALSOURCE, &Cache().DiffuseMaterialSource, flag,
                               flag ? D3DMCS_COLOR1 : D3DMCS_MATERIAL);
}

int SetSpecularMaterialSource(int flag) {
  if (!Device()) return 0;
  return SendMappedRenderState(D3DRS_SPECULARMATERIALSOURCE, &Cache().SpecularMaterialSource, flag,
                               flag ? D3DMCS_COLOR2 : D3DMCS_MATERIAL);
}

int SetDeviceTextureTransform(int stage, int flag, const Matrix4* matrix) {
  DeviceStateCache& cache = Cache();
  if (!Device() || stage > 7 || (flag == 1 && !matrix)) return -1;
  if (stage < 0) {
    FlushVertexBatch();
    for (int s = 0; s < 4; ++s) {
      cache.TextureTransformOn[s] = flag == 1;
      if (flag == 1) {
        cache.TextureTransform[s] = *matrix;
        D3DMATRIX sent = DeviceMatrix(*matrix);
        Device()->SetTextureStageState(static_cast<DWORD>(s), D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3);
        Device()->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + s), &sent);
      } else {
        Device()->SetTextureStageState(static_cast<DWORD>(s), D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
      }
    }
    return 0;
  }
  int wasOn = cache.TextureTransformOn[stage];
  if (!wasOn && flag == 0) return 0;
  FlushVertexBatch();
  if (flag == 1) {
    if (!wasOn) Device()->SetTextureStageState(static_cast<DWORD>(stage), D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3);
    cache.TextureTransform[stage] = *matrix;
    D3DMATRIX sent = DeviceMatrix(*matrix);
    Device()->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + stage), &sent);
    cache.TextureTransformOn[stage] = 1;
  } else {
    Device()->SetTextureStageState(static_cast<DWORD>(stage), D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    cache.TextureTransformOn[stage] = 0;
  }
  return 0;
}

// ---- Fog ----

int SetDeviceFogEnable(int flag) {
  if (!Device()) return 0;
  return SendRenderState(D3DRS_FOGENABLE, &Cache().FogEnable, flag);
}

int SetDeviceFogMode(int mode) {
  DeviceStateCache& cache = Cache();
  if (!Device()) return -1;
  if (mode == cache.FogMode && !cache.ForceApply) return 0;
  int result = SendRenderState(D3DRS_FOGVERTEXMODE, &cache.FogMode, mode);
  if (cache.LibraryShadersInUse) {
    BOOL modes[4] = {mode == D3DFOG_LINEAR, mode == D3DFOG_EXP, mode == D3DFOG_EXP2, mode != D3DFOG_NONE};
    Device()->SetVertexShaderConstantB(0, modes, 4);
  }
  return result;
}

int SetDeviceFogColor(uint32_t color) {
  int shadow = static_cast<int>(Cache().FogColor);
  int result = SendRenderState(D3DRS_FOGCOLOR, &shadow, static_cast<int>(color));
  Cache().FogColor = static_cast<uint32_t>(shadow);
  return result;
}

int SetDeviceFogStartEnd(float start, float end) {
  DeviceStateCache& cache = Cache();
  if (!Device()) return -1;
  FlushVertexBatch();
  if (start != cache.FogStart || cache.ForceApply == 1) {
    cache.FogStart = start;
    Device()->SetRenderState(D3DRS_FOGSTART, FloatBits(start));
    SetFogConstants();
  }
  if (end != cache.FogEnd || cache.ForceApply == 1) {
    cache.FogEnd = end;
    Device()->SetRenderState(D3DRS_FOGEND, FloatBits(end));
    SetFogConstants();
  }
  return 0;
}

int SetDeviceFogDensity(float density) {
  DeviceStateCache& cache = Cache();
  if (!Device()) return -1;
  if (density == cache.FogDensity && !cache.ForceApply) return 0;
  FlushVertexBatch();
  cache.FogDensity = density;
  SetFogConstants();
  return ResultOf(Device()->SetRenderState(D3DRS_FOGDENSITY, FloatBits(density)));
}

// ---- Viewport, scissor and transforms ----

int SetDeviceViewport(const D3DVIEWPORT9* viewport) {
  RenderDeviceState& state = g_renderDevice;
  if (!Device() || !viewport) return -1;
  const D3DVIEWPORT9& shadow = state.Viewport;
  if (viewport->X == shadow.X && viewport->Y == shadow.Y && viewport->Width == shadow.Width &&
      viewport->Height == shadow.Height && !Cache().ForceApply)
    return 0;
  FlushVertexBatch();
  EndSceneIfOpen();
  HRESULT result = Device()->SetViewport(viewport);
  if (FAILED(result)) {
    char line[96];
    FormatText(line, sizeof(line), "ビューポートのセットに失敗しました ErrorCode %x\n", static_cast<unsigned>(result));
    AddLogText(line);
    return -1;
  }
  state.Viewport = *viewport;
  return 0;
}

int SetDeviceViewportRect(int x1, int y1, int x2, int y2) {
  D3DVIEWPORT9 viewport = {static_cast<DWORD>(x1),
                           static_cast<DWORD>(y1),
                           static_cast<DWORD>(x2 - x1),
                           static_cast<DWORD>(y2 - y1),
                           0.0f,
                           1.0f};
  return SetDeviceViewport(&viewport);
}

int SetDeviceScissorRect(const RECT* rect) {
  RenderDeviceState& state = g_renderDevice;
  if (!Device() || !rect) return -1;
  const RECT& shadow = state.ScissorRect;
  if (rect->left == shadow.left && rect->top == shadow.top && rect->right == shadow.right &&
      rect->bottom == shadow.bottom && !Cache().ForceApply)
    return 0;
  FlushVertexBatch();
  EndSceneIfOpen();
  state.ScissorRect = *rect;
  return ResultOf(Device()->SetScissorRect(rect));
}

int SetDeviceViewTransform(const Matrix4* matrix) {
  DeviceStateCache& cache = Cache();
  if (!Device() || !matrix) return -1;
  FlushVertexBatch();
  cache.View = *matrix;
  D3DMATRIX sent = DeviceMatrix(*matrix);
  HRESULT result = Device()->SetTransform(D3DTS_VIEW, &sent);
  SetTransposedConstants(6, *matrix);
  // Lights 0-3 live in view space for the library's shaders.
  for (int i = 0; i < 4; ++i) {
    const D3DLIGHT9& light = cache.Lights[i];
    Vector3 position = {light.Position.x, light.Position.y, light.Position.z};
    Vector3 direction = {light.Direction.x, light.Direction.y, light.Direction.z};
    Vector3 viewPosition, viewDirection;
    TransformVector(&viewPosition, &position, matrix);
    Matrix4 rotation = *matrix;
    rotation.m[3][0] = rotation.m[3][1] = rotation.m[3][2] = 0.0f;
    TransformVector(&viewDirection, &direction, &rotation);
    float registers[2][4] = {{viewPosition.x, viewPosition.y, viewPosition.z, 1.0f},
                             {viewDirection.x, viewDirection.y, viewDirection.z, 0.0f}};
    SetVertexShaderConstants(14 + 7 * i, &registers[0][0], 2);
  }
  return ResultOf(result);
}

int SetDeviceProjectionTransform(const Matrix4* matrix) {
  if (!Device() || !matrix) return -1;
  FlushVertexBatch();
  Cache().Projection = *matrix;
  D3DMATRIX sent = DeviceMatrix(*matrix);
  HRESULT result = Device()->SetTransform(D3DTS_PROJECTION, &sent);
  SetTransposedConstants(2, *matrix);
  return ResultOf(result);
}

int SetVertexShaderConstants(int start, const float* data, int count) {
  return SetShaderConstants(Cache().VertexConstants, kVertexConstantCount, start, data, count, true);
}

int SetPixelShaderConstants(int start, const float* data, int count) {
  return SetShaderConstants(Cache().PixelConstants, kPixelConstantCount, start, data, count, false);
}

// ---- Blend selection ----

int SelectMainTexture(IDirect3DBaseTexture9* texture) {
  DeviceStateCache& cache = Cache();
  if (cache.MainTexture == texture) return 0;
  if ((cache.MainTexture == nullptr) != (texture == nullptr)) cache.BlendDirty = 1;
  cache.MainTexture = texture;
  cache.TextureChanged = 1;
  return 0;
}

int SelectBlendTexture(IDirect3DBaseTexture9* texture, int borderParam, int borderRange) {
  DeviceStateCache& cache = Cache();
  if (!texture && !cache.BlendTexture) return 0;
  if (borderParam == -1) borderParam = cache.BlendBorderParam;
  if (borderRange == -1) borderRange = cache.BlendBorderRange;
  if (texture == cache.BlendTexture && borderParam == cache.BlendBorderParam && borderRange == cache.BlendBorderRange)
    return 0;
  cache.BlendTexture = texture;
  cache.BlendBorderParam = borderParam;
  cache.BlendBorderRange = borderRange;
  cache.BlendDirty = 1;
  return 0;
}

int SelectBlendState(int blendMode, int alphaChannel, int colorKey) {
  DeviceStateCache& cache = Cache();
  if (blendMode == cache.BlendMode && alphaChannel == cache.AlphaChannel && colorKey == cache.ColorKey) return 0;
  cache.BlendMode = blendMode;
  cache.AlphaChannel = alphaChannel;
  cache.ColorKey = colorKey;
  cache.BlendDirty = 1;
  return 0;
}

// ---- Grid strips ----

int DrawGridStrips(int columns, int rows, const TexturedVertex2D* vertices) {
  constexpr int kMaxIndices = 1000;
  // One row pair takes 2 x columns indices plus two joins; a wider grid cannot be drawn.
  if (columns < 2 || rows < 2 || 2 * columns + 2 > kMaxIndices || !vertices) return -1;
  if (!Device()) return -1;
  FlushVertexBatch();
  BeginSceneIfClosed();
  uint16_t indices[kMaxIndices];
  int held = 0;
  auto draw = [&]() {
    if (held < 3) return;
    SetDeviceFvf(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    Device()->DrawIndexedPrimitiveUP(D3DPT_TRIANGLESTRIP, 0, static_cast<UINT>(columns * rows),
                                     static_cast<UINT>(held - 2), indices, D3DFMT_INDEX16, vertices,
                                     sizeof(TexturedVertex2D));
    held = 0;
  };
  for (int row = 0; row < rows - 1; ++row) {
    if (held + 2 * columns + 2 > kMaxIndices) draw();
    bool joined = held > 0;
    if (joined) indices[held++] = static_cast<uint16_t>((row + 1) * columns);  // Leading copy: a degenerate join.
    for (int column = 0; column < columns; ++column) {
      indices[held++] = static_cast<uint16_t>((row + 1) * columns + column);
      indices[held++] = static_cast<uint16_t>(row * columns + column);
    }
    if (row < rows - 2) indices[held] = indices[held - 1], ++held;  // The pair's last index, repeated.
  }
  draw();
  return 0;
}

// ---- Vertex declarations ----

int CreateVertexDeclarations() {
  DeviceStateCache& cache = Cache();
  if (!Device()) return -1;
  struct Element {
    WORD offset;
    BYTE type;
    BYTE usage;
    BYTE index;
  };
  const BYTE F3 = D3DDECLTYPE_FLOAT3, F4 = D3DDECLTYPE_FLOAT4, C = D3DDECLTYPE_D3DCOLOR, U4 = D3DDECLTYPE_UBYTE4;
  const BYTE POS = D3DDECLUSAGE_POSITION, NRM = D3DDECLUSAGE_NORMAL, COL = D3DDECLUSAGE_COLOR,
             BI = D3DDECLUSAGE_BLENDINDICES, BW = D3DDECLUSAGE_BLENDWEIGHT;
  struct Base {
    Element elements[10];
    int count;
    WORD extraFrom;
  };
  const Base bases[2][3] = {
      {{{{0, F3, POS, 0}, {12, F3, NRM, 0}, {24, C, COL, 0}, {28, C, COL, 1}}, 4, 32},
       {{{0, F3, POS, 0}, {12, U4, BI, 0}, {16, F4, BW, 0}, {32, F3, NRM, 0}, {44, C, COL, 0}, {48, C, COL, 1}}, 6, 52},
       {{{0, F3, POS, 0},
         {12, U4, BI, 0},
         {16, U4, BI, 1},
         {20, F4, BW, 0},
         {36, F4, BW, 1},
         {52, F3, NRM, 0},
         {64, C, COL, 0},
         {68, C, COL, 1}},
        8,
        72}},
      {{{{0, F3, POS, 0}, {12, F3, NRM, 0}, {24, F3, NRM, 1}, {36, F3, NRM, 2}, {48, C, COL, 0}, {52, C, COL, 1}},
        6,
        56},
       {{{0, F3, POS, 0},
         {12, U4, BI, 0},
         {16, F4, BW, 0},
         {32, F3, NRM, 0},
         {44, F3, NRM, 1},
         {56, F3, NRM, 2},
         {68, C, COL, 0},
         {72, C, COL, 1}},
        8,
        76},
       {{{0, F3, POS, 0},
         {12, U4, BI, 0},
         {16, U4, BI, 1},
         {20, F4, BW, 0},
         {36, F4, BW, 1},
         {52, F3, NRM, 0},
         {64, F3, NRM, 1},
         {76, F3, NRM, 2},
         {88, C, COL, 0},
         {92, C, COL, 1}},
        10,
        96}}};
  int result = 0;
  for (int tangent = 0; tangent < 2; ++tangent)
    for (int skin = 0; skin < 3; ++skin)
      for (int extra = 0; extra <= 8; ++extra) {
        const Base& base = bases[tangent][skin];
        D3DVERTEXELEMENT9 elements[20];
        int n = 0;
        for (int i = 0; i < base.count; ++i)
          elements[n++] = {0,
                           base.elements[i].offset,
                           base.elements[i].type,
                           D3DDECLMETHOD_DEFAULT,
                           base.elements[i].usage,
                           base.elements[i].index};
        for (int k = 0; k < extra; ++k)
          elements[n++] = {0,
                           static_cast<WORD>(base.extraFrom + 16 * k),
                           F4,
                           D3DDECLMETHOD_DEFAULT,
                           D3DDECLUSAGE_TEXCOORD,
                           static_cast<BYTE>(k)};
        elements[n++] = D3DDECL_END();
        IDirect3DVertexDeclaration9*& slot = cache.VertexDeclarations[tangent][skin][extra];
        if (slot) slot->Release();
        slot = nullptr;
        if (FAILED(Device()->CreateVertexDeclaration(elements, &slot))) {
          slot = nullptr;
          result = -1;
        }
      }
  return result;
}

// ---- Life of the cache ----

void ClearDeviceStateWords() {
  DeviceStateCache& cache = Cache();
  cache.CurrentFvf = 0;
  cache.CallerVertexShader = nullptr;
  cache.CallerPixelShader = nullptr;
  cache.StagesInUse = 0;
  cache.FilterMode = 3;
  cache.MaxAnisotropy = 1;
}

void SetDeviceStateWordsAfterCaps() {
  // Values no request matches, so the first alpha reference and texture factor are always sent.
  Cache().AlphaRef = 255;
  Cache().TextureFactor = 255;
}

void ForgetBoundShaders() {
  Cache().CallerVertexShader = nullptr;
  Cache().CallerPixelShader = nullptr;
}

void ReleaseVertexDeclarations() {
  for (auto& tangent : Cache().VertexDeclarations)
    for (auto& skin : tangent)
      for (IDirect3DVertexDeclaration9*& declaration : skin) {
        if (declaration) declaration->Release();
        declaration = nullptr;
      }
}

int SetupDeviceStateCache() {
  DeviceStateCache& cache = Cache();
  IDirect3DDevice9* device = Device();
  if (!device) return -1;
  ResetVertexBatch();

  for (int stage = 0; stage < kStageCount; ++stage) {
    if (g_drawState.AddressU[stage] == 0) g_drawState.AddressU[stage] = D3DTADDRESS_CLAMP;
    if (g_drawState.AddressV[stage] == 0) g_drawState.AddressV[stage] = D3DTADDRESS_CLAMP;
    if (g_drawState.AddressW[stage] == 0) g_drawState.AddressW[stage] = D3DTADDRESS_CLAMP;
    cache.AddressU[stage] = g_drawState.AddressU[stage];
    cache.AddressV[stage] = g_drawState.AddressV[stage];
    cache.AddressW[stage] = g_drawState.AddressW[stage];
    device->SetSamplerState(static_cast<DWORD>(stage), D3DSAMP_ADDRESSU, static_cast<DWORD>(cache.AddressU[stage]));
    device->SetSamplerState(static_cast<DWORD>(stage), D3DSAMP_ADDRESSV, static_cast<DWORD>(cache.AddressV[stage]));
    device->SetSamplerState(static_cast<DWORD>(stage), D3DSAMP_ADDRESSW, static_cast<DWORD>(cache.AddressW[stage]));
    int filter = cache.FilterMode >= 0 && cache.FilterMode <= 2 ? cache.FilterMode + 1
                                                                : static_cast<int>(D3DTEXF_POINT);
    cache.MagFilter[stage] = cache.MinFilter[stage] = cache.MipFilter[stage] = filter;
    device->SetSamplerState(static_cast<DWORD>(stage), D3DSAMP_MAGFILTER, static_cast<DWORD>(filter));
    device->SetSamplerState(static_cast<DWORD>(stage), D3DSAMP_MINFILTER, static_cast<DWORD>(filter));
    device->SetSamplerState(static_cast<DWORD>(stage), D3DSAMP_MIPFILTER, static_cast<DWORD>(filter));
    cache.StageMaxAnisotropy[stage] = 1;
    device->SetSamplerState(static_cast<DWORD>(stage), D3DSAMP_MAXANISOTROPY, 1);
  }

  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetRenderState(D3DRS_LIGHTING, TRUE);
  device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
  device->SetRenderState(D3DRS_DITHERENABLE, FALSE);
  device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
  device->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
  device->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
  device->SetRenderState(D3DRS_FOGENABLE, FALSE);
  device->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_NONE);
  device->SetRenderState(D3DRS_FOGCOLOR, 0);
  device->SetRenderState(D3DRS_FOGSTART, FloatBits(0.0f));
  device->SetRenderState(D3DRS_FOGEND, FloatBits(1.0f));
  // Outline boxes are clipped by the scissor rectangle: the test must be on.
  device->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);

  cache.StagesInUse = 0;
  for (StageRecord& stage : cache.Stages) stage = StageRecord{};
  cache.AlphaFunc = cache.AlphaTestEnable = cache.AlphaBlendEnable = 0;
  cache.SrcBlend = cache.DestBlend = cache.BlendOp = 0;

  int width = g_screenSettings.Width, height = g_screenSettings.Height;
  g_renderDevice.Viewport = {0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0.0f, 1.0f};
  g_renderDevice.ScissorRect = {0, 0, width, height};
  cache.ZEnable = 1;
  cache.ZWriteEnable = 0;
  cache.ZFunc = D3DCMP_LESSEQUAL;
  cache.DepthBias = 0;
  cache.FillMode = D3DFILL_SOLID;
  cache.MainTexture = cache.BlendTexture = nullptr;
  cache.BlendBorderParam = cache.BlendBorderRange = cache.BlendMode = 0;
  cache.AlphaChannel = cache.ColorKey = cache.ColorModulation = cache.AlphaModulation = 0;
  cache.BlendDirty = 1;
  cache.TextureChanged = 0;
  cache.CullMode = 0;
  cache.SpecularEnable = 1;
  cache.FogEnable = cache.FogMode = 0;
  cache.FogColor = 0;
  cache.FogStart = 0.0f;
  cache.FogEnd = 1.0f;
  cache.FilterMode = 3;
  cache.MaxAnisotropy = 1;
  cache.ShadeMode = D3DSHADE_FLAT;
  cache.LightingEnable = 1;

  ReapplyDeviceStates();
  BeginSceneIfClosed();
  PrepareDeviceForDraw(nullptr, nullptr, 0);
  if (cache.BlendDirty || cache.TextureChanged) ApplyBlendState(1, nullptr, 0);

  // The batch is left holding one point at the origin.
  ResetVertexBatch();
  VertexBatch& batch = g_renderDevice.Batch;
  batch.Set3D = 0;
  batch.Kind = kBatchUntextured;
  batch.PrimitiveType = D3DPT_POINTLIST;
  auto* point = reinterpret_cast<Vertex2D*>(batch.Caches[kBatchUntextured]);
  point->x = point->y = point->z = 0.0f;
  batch.WritePointer = reinterpret_cast<uint8_t*>(point + 1);
  batch.PendingCount = 1;
  return 0;
}

int ReapplyDeviceStates() {
  DeviceStateCache& cache = Cache();
  if (!Device()) return -1;
  cache.ForceApply = 1;
  D3DVIEWPORT9 viewport = g_renderDevice.Viewport;
  SetDeviceViewport(&viewport);
  RECT scissor = g_renderDevice.ScissorRect;
  SetDeviceScissorRect(&scissor);
  ResetStageAndShaderStates();
  SetDeviceFilterMode(cache.FilterMode);
  ApplyBlendState(1, nullptr, 0);
  SetDeviceZEnable(cache.ZEnable);
  SetDeviceZWriteEnable(cache.ZWriteEnable);
  SetDeviceZFunc(cache.ZFunc);
  SetDeviceDepthBias(cache.DepthBias);
  SetDeviceFillMode(cache.FillMode);
  SetDeviceCullMode(cache.CullMode);
  SetDeviceShadeMode(cache.ShadeMode);
  cache.ForceApply = 0;
  return 0;
}

int ResetStageAndShaderStates() {
  DeviceStateCache& cache = Cache();
  IDirect3DDevice9* device = Device();
  if (!device) return -1;
  FlushVertexBatch();
  static const int kTexCoordIndices[4] = {0, 1, 1, 0};
  for (int stage = 0; stage < 4; ++stage) {
    device->SetSamplerState(static_cast<DWORD>(stage), D3DSAMP_ADDRESSU, static_cast<DWORD>(cache.AddressU[stage]));
    device->SetSamplerState(static_cast<DWORD>(stage), D3DSAMP_ADDRESSV, static_cast<DWORD>(cache.AddressV[stage]));
    cache.Stages[stage].TexCoordIndex = kTexCoordIndices[stage];
    device->SetTextureStageState(static_cast<DWORD>(stage), D3DTSS_TEXCOORDINDEX,
                                 static_cast<DWORD>(kTexCoordIndices[stage]));
    if (g_renderDevice.TssArgTempCap) {
      cache.Stages[stage].ResultToTemp = 0;
      device->SetTextureStageState(static_cast<DWORD>(stage), D3DTSS_RESULTARG, D3DTA_CURRENT);
    }
  }
  device->SetRenderState(D3DRS_SHADEMODE, static_cast<DWORD>(cache.ShadeMode));
  device->SetRenderState(D3DRS_LIGHTING, static_cast<DWORD>(cache.LightingEnable));
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetRenderState(D3DRS_DITHERENABLE, FALSE);
  SetVertexShaderConstants(0, kVertexC0, 1);
  SetPixelShaderConstants(0, kPixelC0, 1);
  if (cache.CallerVertexShader) device->SetVertexShader(nullptr);
  if (cache.CallerPixelShader) device->SetPixelShader(nullptr);
  cache.CallerVertexShader = nullptr;
  cache.CallerPixelShader = nullptr;
  cache.CurrentFvf = 0;
  return 0;
}

int RestoreDeviceStates() {
  DeviceStateCache& cache = Cache();
  IDirect3DDevice9* device = Device();
  if (!device) return -1;
  cache.ForceApply = 1;
  device->SetRenderState(D3DRS_DITHERENABLE, FALSE);
  cache.BlendDirty = 1;
  SetDeviceCullMode(cache.CullMode);
  SetDeviceFilterMode(cache.FilterMode);
  SetDeviceShadeMode(cache.ShadeMode);
  SetDeviceMaxAnisotropy(cache.MaxAnisotropy);
  for (int stage = 0; stage < kStageCount; ++stage) {
    SendSamplerState(stage, D3DSAMP_ADDRESSU, &cache.AddressU[stage], cache.AddressU[stage]);
    SendSamplerState(stage, D3DSAMP_ADDRESSV, &cache.AddressV[stage], cache.AddressV[stage]);
    SendSamplerState(stage, D3DSAMP_ADDRESSW, &cache.AddressW[stage], cache.AddressW[stage]);
    if (cache.TextureTransformOn[stage]) {
      cache.TextureTransformOn[stage] = 0;
      SetDeviceTextureTransform(stage, 1, &cache.TextureTransform[stage]);
    }
  }
  SetDeviceFogEnable(cache.FogEnable);
  SetDeviceFogMode(cache.FogMode);
  SetDeviceFogColor(cache.FogColor);
  SetDeviceFogStartEnd(cache.FogStart, cache.FogEnd);
  SetDeviceFogDensity(cache.FogDensity);
  SetDeviceZEnable(cache.ZEnable);
  SetDeviceZWriteEnable(cache.ZWriteEnable);
  SetDeviceZFunc(cache.ZFunc);
  SetDeviceDepthBias(cache.DepthBias);
  SetDeviceFillMode(cache.FillMode);
  if (g_drawState.WorldMatrixSet) SetDeviceWorldMatrix(&g_drawState.WorldMatrix);
  SetDeviceViewTransform(&g_drawState.ViewMatrix);
  // From the camera's own matrices: they may have changed while there was no device to send to.
  SendDeviceProjection();
  device->SetMaterial(&cache.Material);
  SetDeviceSpecularEnable(cache.SpecularEnable);
  SetDiffuseMaterialSource(cache.DiffuseMaterialSource);
  SetSpecularMaterialSource(cache.SpecularMaterialSource);
  D3DCOLOR ambient = D3DCOLOR_ARGB(
      static_cast<int>(cache.Ambient[3] * 255.0f), static_cast<int>(cache.Ambient[0] * 255.0f),
      static_cast<int>(cache.Ambient[1] * 255.0f), static_cast<int>(cache.Ambient[2] * 255.0f));
  device->SetRenderState(D3DRS_AMBIENT, ambient);
  SetDeviceLightingEnable(cache.LightingEnable);
  // Disabled lights too, so that enabling one later finds it; an index never given a light and
  // never enabled is not made on the new device.
  for (int i = 0; i < kCachedLightCount; ++i) {
    if (cache.LightStored[i]) device->SetLight(static_cast<DWORD>(i), &cache.Lights[i]);
    if (cache.LightStored[i] || cache.LightEnabled[i])
      device->LightEnable(static_cast<DWORD>(i), cache.LightEnabled[i] ? TRUE : FALSE);
  }
  const RECT& area = g_drawState.DrawArea;
  if (area.right > area.left && area.bottom > area.top) {
    SetDeviceViewportRect(area.left, area.top, area.right, area.bottom);
    SetDeviceScissorRect(&area);
  }
  if (cache.LibraryShadersInUse) {
    device->SetVertexShaderConstantF(0, &cache.VertexConstants[0][0], kVertexConstantCount);
    device->SetPixelShaderConstantF(0, &cache.PixelConstants[0][0], kPixelConstantCount);
  }
  // The configuration in force may keep the alpha test's reference and function as they are (an
  // untextured draw does); the new device must still get the values the shadows hold.
  SendRenderState(D3DRS_ALPHAREF, &cache.AlphaRef, cache.AlphaRef);
  if (cache.AlphaFunc) SendRenderState(D3DRS_ALPHAFUNC, &cache.AlphaFunc, cache.AlphaFunc);
  ApplyBlendState(1, nullptr, 0);
  ReapplyDeviceStates();
  cache.ForceApply = 0;
  return 0;
}
