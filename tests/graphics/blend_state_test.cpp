// Blend modes on the device path: the states each mode and transparency case leaves in the
// device, and the pixels modes 0-4 give through the Direct3D 9 stand-in beside the software
// blit's.
#include "render_device_support.h"

#include "../memimg/memimg_test_images.h"
#include "graphics/device/blend_state.h"
#include "graphics/device/device_buffers.h"
#include "zyvel/memimg.h"

namespace device_test {
namespace {

class BlendStateTest : public RenderDeviceTest {
 protected:
  void SetUp() override {
    RenderDeviceTest::SetUp();
    ASSERT_EQ(StartDevice(), 0);
    ASSERT_EQ(SetupDeviceStateCache(), 0);
    ResetVertexBatch();
    IDirect3DDevice9* device = g_renderDevice.Device;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture_, nullptr),
              D3D_OK);
    ASSERT_EQ(
        device->CreateTexture(4, 4, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &blendTexture_, nullptr),
        D3D_OK);
  }
  void TearDown() override {
    SelectMainTexture(nullptr);
    SelectBlendTexture(nullptr, 0, 0);
    for (StageRecord& stage : g_deviceStateCache.Stages) stage.Texture = nullptr;
    for (int s = 0; s < kStageCount; ++s) g_renderDevice.Device->SetTexture(static_cast<DWORD>(s), nullptr);
    if (texture_) texture_->Release();
    if (blendTexture_) blendTexture_->Release();
    RenderDeviceTest::TearDown();
  }

  IDirect3DTexture9* texture_ = nullptr;
  IDirect3DTexture9* blendTexture_ = nullptr;
};

enum Case { kNoTexture, kOpaqueTexture, kKeyTexture, kBlendGraph };

// The blend table in the device's numbers, as the modes are meant: source factor, destination
// factor, operation, whether blending is on; 0 where the mode keeps the device's factor (the test
// starts every case from 0 shadows).
struct ModeExpectation {
  int src, dest, op;
  bool blends;
  int variant;
};
const ModeExpectation kModes[13] = {
    {0, 0, 1, false, 0}, {5, 6, 1, true, 0}, {5, 2, 1, true, 0},  {5, 2, 3, true, 0},  // 3 with the cap
    {1, 3, 1, true, 0},  {5, 2, 1, true, 0}, {0, 0, 1, false, 0}, {0, 0, 1, true, 0}, {1, 2, 1, true, 0},
    {10, 1, 1, true, 0}, {5, 6, 1, true, 2}, {1, 3, 1, true, 1},  {5, 2, 3, true, 0},
};

TEST_F(BlendStateTest, EachModeAndTransparencyCaseLeavesItsDeviceStates) {
  g_renderDevice.BlendOpCap = 1;
  DeviceStateCache& cache = g_deviceStateCache;
  for (int mode = 0; mode < 13; ++mode) {
    for (Case c : {kNoTexture, kOpaqueTexture, kKeyTexture, kBlendGraph}) {
      SCOPED_TRACE(::testing::Message() << "mode " << mode << " case " << c);
      cache.SrcBlend = cache.DestBlend = 0;
      cache.AlphaTestEnable = cache.AlphaRef = cache.AlphaFunc = 0;
      SelectMainTexture(nullptr);
      SelectBlendTexture(c == kBlendGraph ? blendTexture_ : nullptr, 100, 1);
      g_drawState.BlendMode = mode;
      const TextureFormatDescription opaque = {0, 0}, keyed = {0, 1};
      cache.BlendDirty = 1;
      PrepareDeviceForDraw(c == kKeyTexture ? &keyed : &opaque, c == kNoTexture ? nullptr : texture_,
                           kPrepareTransparent);

      const ModeExpectation& m = kModes[mode];
      // The transparency a keyed texture takes: the key itself in modes 0 and 8, else its alpha.
      const bool alphaChannel = c == kKeyTexture && mode != 0 && mode != 8;
      const bool keyTest = c == kKeyTexture && !alphaChannel;
      bool blends = m.blends;
      int src = m.src, dest = m.dest;
      if (alphaChannel) blends = true;
      if ((alphaChannel || c == kBlendGraph) && !m.blends) src = D3DBLEND_SRCALPHA, dest = D3DBLEND_INVSRCALPHA;
      if (c == kBlendGraph) blends = false;  // Border range 1: the alpha test cuts instead.
      EXPECT_EQ(cache.AlphaBlendEnable, blends ? 1 : 0);
      EXPECT_EQ(cache.SrcBlend, src);
      EXPECT_EQ(cache.DestBlend, dest);
      EXPECT_EQ(cache.BlendOp, m.op);

      const StageRecord& stage0 = cache.Stages[0];
      const int alphaModulation = mode != 0;
      switch (c) {
        case kNoTexture:
          EXPECT_EQ(g_blendVertexKind, 0);
          EXPECT_EQ(cache.AlphaTestEnable, 0);
          EXPECT_EQ(stage0.Texture, nullptr);
          EXPECT_EQ(stage0.AlphaOp, D3DTOP_SELECTARG2);
          EXPECT_EQ(stage0.ColorOp, mode == 3 || m.variant == 2 ? D3DTOP_SELECTARG1
                                    : m.variant == 1            ? D3DTOP_BLENDDIFFUSEALPHA
                                                                : D3DTOP_SELECTARG2);
          if (m.variant == 2) {
            EXPECT_EQ(stage0.ColorArg1, D3DTA_COMPLEMENT | D3DTA_DIFFUSE);
          }
          EXPECT_EQ(cache.StagesInUse, 1);
          break;
        case kOpaqueTexture:
        case kKeyTexture:
          EXPECT_EQ(g_blendVertexKind, 1);
          EXPECT_EQ(stage0.Texture, texture_);
          EXPECT_EQ(cache.AlphaTestEnable, keyTest ? 1 : 0);
          if (keyTest) {
            EXPECT_EQ(cache.AlphaRef, 16);
            EXPECT_EQ(cache.AlphaFunc, D3DCMP_GREATER);
          }
          EXPECT_EQ(static_cast<uint32_t>(cache.TextureFactor), 0xFFFFFFFFu);
          EXPECT_EQ(stage0.ColorOp, D3DTOP_SELECTARG1);
          EXPECT_EQ(stage0.ColorArg1, m.variant == 2 ? (D3DTA_COMPLEMENT | D3DTA_TEXTURE) : D3DTA_TEXTURE);
          // An opaque texture takes the diffuse alpha; a keyed one its own, modulated in blending modes.
          EXPECT_EQ(stage0.AlphaOp, c == kOpaqueTexture ? D3DTOP_SELECTARG2
                                    : alphaModulation   ? D3DTOP_MODULATE
                                                        : D3DTOP_SELECTARG1);
          EXPECT_EQ(cache.StagesInUse, m.variant == 1 ? 2 : 1);
          if (m.variant == 1) {
            EXPECT_EQ(cache.Stages[1].ColorOp, D3DTOP_BLENDCURRENTALPHA);
          }
          EXPECT_EQ(cache.Stages[cache.StagesInUse].ColorOp, D3DTOP_DISABLE);
          break;
        case kBlendGraph:
          EXPECT_EQ(g_blendVertexKind, 2);
          EXPECT_EQ(stage0.Texture, blendTexture_);
          EXPECT_EQ(cache.Stages[1].Texture, texture_);
          EXPECT_EQ(cache.AlphaTestEnable, 1);
          EXPECT_EQ(cache.AlphaRef, 100);
          EXPECT_EQ(cache.AlphaFunc, D3DCMP_GREATEREQUAL);
          EXPECT_EQ(static_cast<uint32_t>(cache.TextureFactor), 0x00FFFFFFu);
          EXPECT_EQ(stage0.AlphaOp, D3DTOP_ADD);
          EXPECT_EQ(cache.Stages[1].AlphaArg1, alphaModulation ? D3DTA_DIFFUSE : D3DTA_CURRENT);
          EXPECT_EQ(cache.StagesInUse, 2);
          break;
      }
    }
  }
}

TEST_F(BlendStateTest, ChangingOnlyTheTextureRebindsOneStage) {
  const TextureFormatDescription opaque = {0, 0};
  g_drawState.BlendMode = 0;
  PrepareDeviceForDraw(&opaque, texture_, kPrepareTransparent);
  platform::testing::RecordDeviceCalls(true);
  PrepareDeviceForDraw(&opaque, blendTexture_, kPrepareTransparent);
  platform::testing::RecordDeviceCalls(false);
  std::vector<std::string> calls = platform::testing::TakeRecordedDeviceCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].rfind("SetTexture(0,", 0), 0u) << calls[0];
}

TEST_F(BlendStateTest, ABlendGraphAtBorder255DrawsNothingAndRangeOneKeepsReferenceOne) {
  const TextureFormatDescription alpha = {1, 0};
  SelectBlendTexture(blendTexture_, 0, 1);
  PrepareDeviceForDraw(&alpha, texture_, kPrepareTransparent);
  EXPECT_EQ(g_deviceStateCache.AlphaRef, 1) << "parameter 0 with an alpha channel";
  EXPECT_EQ(g_deviceStateCache.Stages[2].Texture, texture_) << "stage 1 is left empty for the alpha";
  SelectBlendTexture(blendTexture_, 255, 200);
  g_deviceStateCache.BlendDirty = 1;
  PrepareDeviceForDraw(&alpha, texture_, kPrepareTransparent);
  EXPECT_EQ(g_renderDevice.Batch.DiscardVertices, 1);
  // Range above 128: k = 255 * 512 / 255 = 512, v = 0 < 256: alpha 255, SUBTRACT.
  EXPECT_EQ(static_cast<uint32_t>(g_deviceStateCache.TextureFactor), 0xFFFFFFFFu);
  EXPECT_EQ(g_deviceStateCache.Stages[0].AlphaOp, D3DTOP_SUBTRACT);
  EXPECT_EQ(g_deviceStateCache.AlphaBlendEnable, 1);
  SelectBlendTexture(nullptr, 0, 0);
  PrepareDeviceForDraw(&alpha, texture_, kPrepareTransparent);
  EXPECT_EQ(g_renderDevice.Batch.DiscardVertices, 0);
}

TEST_F(BlendStateTest, AUserRecordBindsGraphTexturesAndStaysUntilSwitchedOff) {
  UserBlendRecord record{};
  record.AlphaTestEnable = 1;
  record.AlphaRef = 0;
  record.AlphaFunc = D3DCMP_EQUAL;
  record.AlphaBlendEnable = 0;
  record.TextureFactor = 0xFF000000;
  record.SrcBlend = record.DestBlend = record.BlendOp = -1;
  record.StageCount = 1;
  record.Stages[0].Texture = reinterpret_cast<IDirect3DBaseTexture9*>(static_cast<intptr_t>(0x7FFF1234));
  record.Stages[0].TexCoordIndex = 0;
  record.Stages[0].ColorOp = D3DTOP_SELECTARG1;
  record.Stages[0].ColorArg1 = D3DTA_TEXTURE;
  record.Stages[0].AlphaOp = D3DTOP_SELECTARG1;
  record.Stages[0].AlphaArg1 = D3DTA_TEXTURE;
  SendStageTexture(0, texture_);
  ASSERT_EQ(SetUserBlendState(&record, 0), 0);
  EXPECT_EQ(g_deviceStateCache.Stages[0].Texture, nullptr) << "an invalid graph handle binds no texture";
  EXPECT_EQ(g_deviceStateCache.AlphaFunc, D3DCMP_EQUAL);
  EXPECT_EQ(g_deviceStateCache.Stages[1].AlphaOp, D3DTOP_DISABLE);
  // A library preparation keeps the user configuration.
  const TextureFormatDescription opaque = {0, 0};
  PrepareDeviceForDraw(&opaque, texture_, kPrepareTransparent);
  EXPECT_EQ(g_deviceStateCache.AlphaFunc, D3DCMP_EQUAL);
  ASSERT_EQ(SetUserBlendState(nullptr, 0), 0);
  g_deviceStateCache.BlendDirty = 1;
  PrepareDeviceForDraw(&opaque, texture_, kPrepareTransparent);
  EXPECT_EQ(g_deviceStateCache.AlphaTestEnable, 0);
  EXPECT_EQ(g_deviceStateCache.Stages[0].Texture, texture_);
}

// The texture factor is the library's pixel constant c5. While a caller's own constants are on the
// device it waits in the shadow: sending it would put the library's whole set back over them.
TEST_F(BlendStateTest, TheTextureFactorReachesPixelC5OnlyWhileTheLibrarysConstantsAreInForce) {
  struct ConstantsReset {
    ~ConstantsReset() {
      g_callerShaderConstants = CallerShaderConstants{};
      g_deviceStateCache.LibraryShadersInUse = 0;
    }
  } constantsReset;
  g_deviceStateCache.LibraryShadersInUse = 1;
  g_callerShaderConstants.CallerSetSelected = 1;
  const TextureFormatDescription alpha = {1, 0};
  auto prepareWithBorder = [&](int parameter) {
    SelectBlendTexture(blendTexture_, parameter, 200);
    g_deviceStateCache.BlendDirty = 1;
    PrepareDeviceForDraw(&alpha, texture_, kPrepareTransparent);
  };
  auto constantCalls = [] {
    std::vector<std::string> constants;
    for (const std::string& call : platform::testing::TakeRecordedDeviceCalls())
      if (call.find("ShaderConstant") != std::string::npos) constants.push_back(call);
    return constants;
  };
  platform::testing::RecordDeviceCalls(true);
  // Range above 128: k = 100 x 512 / 255 = 200, v = 312: alpha (312 - 256) x 255 / 256 = 55.
  prepareWithBorder(100);
  EXPECT_EQ(static_cast<uint32_t>(g_deviceStateCache.TextureFactor), 0x37FFFFFFu);
  EXPECT_EQ(constantCalls(), std::vector<std::string>{});
  EXPECT_EQ(g_callerShaderConstants.CallerSetSelected, 1) << "the caller's constants stay in force";
  EXPECT_FLOAT_EQ(g_deviceStateCache.PixelConstants[5][3], 55.0f / 255.0f);
  EXPECT_FLOAT_EQ(g_deviceStateCache.PixelConstants[5][0], 1.0f);

  // With the library's set back, a new factor goes straight to c5; v = 512 gives alpha 255.
  ASSERT_EQ(SelectShaderConstantSet(0), 0);
  constantCalls();
  prepareWithBorder(0);
  EXPECT_EQ(static_cast<uint32_t>(g_deviceStateCache.TextureFactor), 0xFFFFFFFFu);
  EXPECT_EQ(constantCalls(), std::vector<std::string>{"SetPixelShaderConstantF(5,1)"});
  platform::testing::RecordDeviceCalls(false);
  EXPECT_FLOAT_EQ(g_deviceStateCache.PixelConstants[5][3], 1.0f);
}

TEST(StageSets, TheIndexRuleLeavesSets36To47Empty) {
  EXPECT_EQ(TextureStageSetIndex(2, 1, 1, 2), 59);
  EXPECT_EQ(BlendTextureStageSetIndex(0, 0, 0), 12);
  EXPECT_EQ(BlendTextureStageSetIndex(2, 1, 1), 23);
  for (int i = 36; i < 48; ++i) EXPECT_EQ(GetTextureStageSet(i).Count, 0) << i;
  // Set 16 (E 1, Y 1): blend stage, specular, texture, then the diffuse alpha on coordinates 0.
  const StageSet& set16 = GetTextureStageSet(16);
  ASSERT_EQ(set16.Count, 4);
  EXPECT_EQ(set16.Stages[1].AlphaArg1, D3DTA_SPECULAR);
  EXPECT_EQ(set16.Stages[3].TexCoordIndex, 0);
  EXPECT_EQ(set16.Stages[4].AlphaOp, D3DTOP_DISABLE);
  EXPECT_EQ(set16.Stages[4].TexCoordIndex, -1);
}

// ---- Pixels: modes 0-4 on the device beside the software blit ----

// Draws a 4 x 4 texture of `source` over a render target of `dest` in the mode and returns the
// target's first pixel (0x00RRGGBB).
uint32_t DrawOnDevice(IDirect3DTexture9* texture, uint32_t source, uint32_t dest, int mode, int param) {
  IDirect3DDevice9* device = g_renderDevice.Device;
  D3DLOCKED_RECT locked;
  texture->LockRect(0, &locked, nullptr, 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + locked.Pitch * y)[x] = 0xFF000000 | source;
  texture->UnlockRect(0);

  IDirect3DTexture9* target = nullptr;
  device->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr);
  IDirect3DSurface9* surface = nullptr;
  target->GetSurfaceLevel(0, &surface);
  device->ColorFill(surface, nullptr, 0xFF000000 | dest);
  SetDeviceRenderTarget(surface);
  RECT all = {0, 0, 4, 4};
  SetDeviceScissorRect(&all);

  g_drawState.BlendMode = mode;
  g_drawState.BlendParam = param;
  const TextureFormatDescription opaque = {0, 0};
  PrepareDeviceForDraw(&opaque, texture, kPrepareTransparent);
  BeginSceneIfClosed();
  auto* v = reinterpret_cast<TexturedVertex2D*>(ReserveBatchVertices(0, kBatchOneTexture, D3DPT_TRIANGLELIST, 6));
  const uint32_t diffuse = static_cast<uint32_t>(mode == 0 ? 255 : param) << 24 | 0xFFFFFF;
  const float c[4][2] = {{-0.5f, -0.5f}, {3.5f, -0.5f}, {-0.5f, 3.5f}, {3.5f, 3.5f}};
  const int order[6] = {0, 1, 2, 1, 3, 2};
  for (int i = 0; i < 6; ++i) {
    const float* p = c[order[i]];
    v[i] = {p[0], p[1], 0.0f, 1.0f, diffuse, (p[0] + 0.5f) / 4.0f, (p[1] + 0.5f) / 4.0f};
  }
  FlushVertexBatch();
  EndSceneIfOpen();

  IDirect3DSurface9* readable = nullptr;
  device->CreateOffscreenPlainSurface(4, 4, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &readable, nullptr);
  device->GetRenderTargetData(surface, readable);
  readable->LockRect(&locked, nullptr, D3DLOCK_READONLY);
  const uint32_t pixel = *static_cast<uint32_t*>(locked.pBits) & 0xFFFFFF;
  readable->UnlockRect();
  readable->Release();
  SetDeviceRenderTarget(g_renderDevice.BackBuffer);
  surface->Release();
  target->Release();
  return pixel;
}

uint32_t DrawWithBlit(uint32_t source, uint32_t dest, int mode, int param) {
  SetupMemImgBlendTables();
  TestImage s, d;
  SetupMemImg(s.get(), 1, 1, -1, 0, kMemImgFormat32, 0, 0, 0, nullptr);
  SetupMemImg(d.get(), 1, 1, -1, 0, kMemImgFormat32, 0, 0, 0, nullptr);
  WritePixelAt(s.get(), 0, 0, source);
  WritePixelAt(d.get(), 0, 0, dest);
  g_drawState.BlendMode = mode;
  g_drawState.BlendParam = param;
  g_drawState.BrightColor = 0xFFFFFF;
  g_drawState.DrawArea = {0, 0, 1, 1};
  BlitMemImgAt(d.get(), s.get(), 0, 0, 0, nullptr, SoftDrawSettings());
  return ReadPixelAt(d.get(), 0, 0) & 0xFFFFFF;
}

TEST_F(BlendStateTest, ModesZeroToFourDrawTheSoftwareBlitsPixels) {
  // The device blends in floating point and rounds; the blits use tables of x y / 255 and shifts
  // by 8: the two agree within 2 per channel (mode 1 at 128, red over blue: 128, 0, 127 +- 1).
  const int kTolerance = 2;
  struct Sample {
    uint32_t source, dest;
    int param;
  };
  const Sample samples[] = {{0xFF0000, 0x0000FF, 128},
                            {0x80C040, 0x406080, 200},
                            {0x10F0A0, 0xF01020, 64},
                            {0xFFFFFF, 0x808080, 255},
                            {0x204060, 0xFFFFFF, 17}};
  for (bool blendOpCap : {true, false}) {
    g_renderDevice.BlendOpCap = blendOpCap;
    for (int mode = 0; mode <= 4; ++mode) {
      if (mode == 3 && !blendOpCap) continue;  // Without the cap the drawers emulate mode 3.
      for (const Sample& s : samples) {
        const uint32_t device = DrawOnDevice(texture_, s.source, s.dest, mode, s.param);
        const uint32_t software = DrawWithBlit(s.source, s.dest, mode, s.param);
        for (int shift : {0, 8, 16}) {
          const int a = static_cast<int>((device >> shift) & 0xFF), b = static_cast<int>((software >> shift) & 0xFF);
          EXPECT_LE(std::abs(a - b), kTolerance) << "mode " << mode << " source " << std::hex << s.source << " dest "
                                                 << s.dest << " device " << device << " software " << software;
        }
      }
    }
  }
  EXPECT_NEAR(static_cast<int>(DrawOnDevice(texture_, 0xFF0000, 0x0000FF, 1, 128) >> 16), 128, 1);
}

}  // namespace
}  // namespace device_test
