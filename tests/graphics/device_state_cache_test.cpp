// The device state cache and the vertex batch, read through the stand-in's call recorder.
#include "render_device_support.h"

#include "graphics/device/blend_state.h"

namespace device_test {
namespace {

using Calls = std::vector<std::string>;

class DeviceStateCacheTest : public RenderDeviceTest {
 protected:
  void SetUp() override {
    RenderDeviceTest::SetUp();
    ASSERT_EQ(StartDevice(), 0);
    ASSERT_EQ(SetupDeviceStateCache(), 0);
    ResetVertexBatch();  // Set-up leaves one point queued; these tests start empty.
    platform::testing::RecordDeviceCalls(true);
  }
  void TearDown() override {
    platform::testing::RecordDeviceCalls(false);
    platform::testing::TakeRecordedDeviceCalls();
    RenderDeviceTest::TearDown();
  }

  static Calls Take() { return platform::testing::TakeRecordedDeviceCalls(); }

  // Queues one 2D textured quad (two triangles).
  static void QueueQuad(float x) {
    auto* vertices =
        reinterpret_cast<TexturedVertex2D*>(ReserveBatchVertices(0, kBatchOneTexture, D3DPT_TRIANGLELIST, 6));
    ASSERT_NE(vertices, nullptr);
    for (int i = 0; i < 6; ++i) vertices[i] = {x + (i & 1), static_cast<float>(i / 2), 0.0f, 1.0f, 0xFFFFFFFF, 0, 0};
  }
};

TEST_F(DeviceStateCacheTest, UnchangedStatesAreNotSentAgainUnlessForced) {
  EXPECT_EQ(SetDeviceZFunc(D3DCMP_LESS), 0);
  EXPECT_EQ(SetDeviceZFunc(D3DCMP_LESS), 0);
  EXPECT_EQ(Take(), Calls{"SetRenderState(23,2)"});
  g_deviceStateCache.ForceApply = 1;
  SetDeviceZFunc(D3DCMP_LESS);
  g_deviceStateCache.ForceApply = 0;
  EXPECT_EQ(Take(), Calls{"SetRenderState(23,2)"});

  // Mapped values keep the library's code in the shadow.
  SetDeviceCullMode(2);
  SetDeviceCullMode(2);
  SetDeviceZEnable(5);
  EXPECT_EQ(Take(), (Calls{"SetRenderState(22,2)", "SetRenderState(7,0)"}));
  EXPECT_EQ(g_deviceStateCache.CullMode, 2);
}

TEST_F(DeviceStateCacheTest, SamplerSettersFollowTheirOwnRules) {
  g_deviceStateCache.StagesInUse = 1;
  g_deviceStateCache.MipFilter[0] = D3DTEXF_POINT;  // So that mode 1 has a mip filter to change.
  QueueQuad(0);
  EXPECT_EQ(SetDeviceFilterMode(5), -1);
  EXPECT_EQ(Take(), (Calls{"SetFVF(0x144)", "DrawPrimitive(4,2,28)"})) << "the batch is drawn, no sampler is touched";
  EXPECT_EQ(SetDeviceFilterMode(1), 0);
  EXPECT_EQ(Take(), (Calls{"SetSamplerState(0,5,2)", "SetSamplerState(0,6,2)", "SetSamplerState(0,7,0)"}));
  EXPECT_EQ(SetDeviceFilterMode(0), 0);
  EXPECT_EQ(Take(), (Calls{"SetSamplerState(0,5,1)", "SetSamplerState(0,6,1)"})) << "the mip filter stays NONE";
  EXPECT_EQ(SetDeviceMaxAnisotropy(0), 0);
  EXPECT_EQ(g_deviceStateCache.MaxAnisotropy, 1);
  EXPECT_EQ(Take(), Calls{}) << "1 is what stage 0 already has";
  SetDeviceMaxAnisotropy(4);
  EXPECT_EQ(Take(), Calls{"SetSamplerState(0,10,4)"});
  EXPECT_EQ(SetDeviceTextureAddress(D3DTADDRESS_WRAP, 8), -1);
  SetDeviceTextureAddressU(D3DTADDRESS_WRAP, -1);
  Calls calls = Take();
  ASSERT_EQ(calls.size(), 8u);
  EXPECT_EQ(calls.front(), "SetSamplerState(7,1,1)") << "all stages, from 7 down";
  EXPECT_EQ(calls.back(), "SetSamplerState(0,1,1)");
}

TEST_F(DeviceStateCacheTest, AFailingViewportLogsAndKeepsTheOldShadow) {
  D3DVIEWPORT9 before = g_renderDevice.Viewport;
  D3DVIEWPORT9 tooLarge = {0, 0, 4000, 4000, 0.0f, 1.0f};
  EXPECT_EQ(SetDeviceViewport(&tooLarge), -1);
  EXPECT_EQ(g_renderDevice.Viewport.Width, before.Width);
  EXPECT_NE(ReadLog().find("ビューポートのセットに失敗しました ErrorCode 8876086c\n"), std::string::npos);
  EXPECT_EQ(SetDeviceViewportRect(10, 20, 110, 70), 0);
  EXPECT_EQ(g_renderDevice.Viewport.Width, 100u);
  EXPECT_EQ(g_renderDevice.Viewport.Height, 50u);
  Take();
  SetDeviceViewportRect(10, 20, 110, 70);
  EXPECT_EQ(Take(), Calls{});
}

TEST_F(DeviceStateCacheTest, BlendSelectionMarksWhatMustBeRebuilt) {
  DeviceStateCache& cache = g_deviceStateCache;
  IDirect3DTexture9* first = nullptr;
  IDirect3DTexture9* second = nullptr;
  ASSERT_EQ(g_renderDevice.Device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &first, nullptr),
            D3D_OK);
  ASSERT_EQ(g_renderDevice.Device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &second, nullptr),
            D3D_OK);
  cache.BlendDirty = cache.TextureChanged = 0;
  SelectMainTexture(first);
  EXPECT_EQ(cache.BlendDirty, 1) << "none to a texture";
  EXPECT_EQ(cache.TextureChanged, 1);
  cache.BlendDirty = cache.TextureChanged = 0;
  SelectMainTexture(second);
  EXPECT_EQ(cache.BlendDirty, 0) << "one texture to another";
  EXPECT_EQ(cache.TextureChanged, 1);
  cache.TextureChanged = 0;
  SelectBlendTexture(nullptr, 10, 20);
  EXPECT_EQ(cache.BlendDirty, 0) << "no blend texture before or after";
  SelectBlendTexture(first, 128, -1);
  EXPECT_EQ(cache.BlendBorderParam, 128);
  EXPECT_EQ(cache.BlendDirty, 1);
  cache.BlendDirty = 0;
  SelectBlendState(0, 0, 0);
  EXPECT_EQ(cache.BlendDirty, 0);
  SelectBlendState(1, 0, 0);
  EXPECT_EQ(cache.BlendDirty, 1);
  SelectMainTexture(nullptr);
  SelectBlendTexture(nullptr, -1, -1);
  first->Release();
  second->Release();
}

TEST_F(DeviceStateCacheTest, ShaderConstantsRefuseRangesOutsideTheRegisters) {
  const float values[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(SetVertexShaderConstants(255, values, 1), 0);
  EXPECT_EQ(g_deviceStateCache.VertexConstants[255][3], 4.0f);
  EXPECT_EQ(SetVertexShaderConstants(255, values, 2), -1);
  EXPECT_EQ(SetVertexShaderConstants(2, values, -1), -1);
  EXPECT_EQ(SetPixelShaderConstants(31, values, 2), -1);
  EXPECT_EQ(Take(), Calls{}) << "without the library's shaders nothing is sent";
}

TEST_F(DeviceStateCacheTest, GridStripsJoinRowPairsThroughDegenerateTriangles) {
  std::vector<TexturedVertex2D> grid(10 * 3);
  for (int i = 0; i < 30; ++i)
    grid[i] = {static_cast<float>(i % 10), static_cast<float>(i / 10), 0, 1, 0xFFFFFFFF, 0, 0};
  EXPECT_EQ(DrawGridStrips(10, 3, grid.data()), 0);
  EXPECT_EQ(Take(), (Calls{"SetFVF(0x144)", "DrawIndexedPrimitive(5,40,28)"})) << "42 indices: 20 + 1 + 1 + 20";
  EXPECT_EQ(DrawGridStrips(2, 2, grid.data()), 0);
  EXPECT_EQ(Take(), Calls{"DrawIndexedPrimitive(5,2,28)"});
  EXPECT_EQ(DrawGridStrips(1, 5, grid.data()), -1);
  std::vector<TexturedVertex2D> wide(500 * 2);
  EXPECT_EQ(DrawGridStrips(500, 2, wide.data()), -1) << "one row pair would not fit 1000 indices";
  // Many rows: the indices are drawn in several calls of at most 1000.
  std::vector<TexturedVertex2D> tall(100 * 30);
  EXPECT_EQ(DrawGridStrips(100, 30, tall.data()), 0);
  Calls calls = Take();
  EXPECT_GT(calls.size(), 1u);
}

TEST_F(DeviceStateCacheTest, AStateChangeDrawsWhatWasQueuedFirst) {
  QueueQuad(0);
  QueueQuad(10);
  EXPECT_EQ(Take(), Calls{}) << "queued, not drawn";
  SetDeviceZFunc(D3DCMP_ALWAYS);
  EXPECT_EQ(Take(), (Calls{"SetFVF(0x144)", "DrawPrimitive(4,4,28)", "SetRenderState(23,8)"}));
  EXPECT_EQ(FlushVertexBatch(), 0) << "an empty batch draws nothing";
  EXPECT_EQ(Take(), Calls{});
}

TEST_F(DeviceStateCacheTest, AFullBatchIsDrawnInOneCallAndStartsAgain) {
  for (int quad = 0; quad < 389; ++quad) QueueQuad(static_cast<float>(quad % 600));
  EXPECT_EQ(Take(), Calls{}) << "2334 vertices fit below 2340";
  QueueQuad(0);
  EXPECT_EQ(Take(), (Calls{"SetFVF(0x144)", "DrawPrimitive(4,778,28)"}));
  EXPECT_EQ(g_renderDevice.Batch.PendingCount, 6);
  // Another kind draws what was queued; the FVF is sent only when it changes.
  ASSERT_NE(ReserveBatchVertices(0, kBatchUntextured, D3DPT_TRIANGLELIST, 3), nullptr);
  QueueQuad(0);
  FlushVertexBatch();
  EXPECT_EQ(Take(), (Calls{"DrawPrimitive(4,2,28)", "SetFVF(0x44)", "DrawPrimitive(4,1,20)", "SetFVF(0x144)",
                           "DrawPrimitive(4,2,28)"}));
  EXPECT_EQ(ReserveBatchVertices(1, kBatchTwoTextures, D3DPT_TRIANGLELIST, 3), nullptr) << "no 3D two-texture cache";
  EXPECT_EQ(ReserveBatchVertices(0, kBatchOneTexture, D3DPT_TRIANGLELIST, 2340), nullptr);
}

TEST_F(DeviceStateCacheTest, ThreeDimensionalBatchesDrawWithAnIdentityWorld) {
  Matrix4 world = {{{2, 0, 0, 0}, {0, 2, 0, 0}, {0, 0, 2, 0}, {5, 6, 7, 1}}};
  SetWorldMatrix(&world);
  Take();
  ASSERT_NE(ReserveBatchVertices(1, kBatchUntextured, D3DPT_LINELIST, 2), nullptr);
  FlushVertexBatch();
  Calls calls = Take();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0], "SetFVF(0x42)");
  EXPECT_EQ(calls[1], "SetTransform(256,1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1)");
  EXPECT_EQ(calls[2], "DrawPrimitive(2,1,16)");
  EXPECT_EQ(calls[3], "SetTransform(256,2,0,0,0,0,2,0,0,0,0,2,0,5,6,7,1)");
}

TEST_F(DeviceStateCacheTest, AfterAQuitRequestQueuedVerticesAreDropped) {
  QueueQuad(0);
  g_windowSystem.quitRequested = 1;
  EXPECT_EQ(FlushVertexBatch(), 0);
  g_windowSystem.quitRequested = 0;
  EXPECT_EQ(Take(), Calls{});
  EXPECT_EQ(g_renderDevice.Batch.PendingCount, 0);
}

TEST_F(DeviceStateCacheTest, ReapplySendsTheWholeCacheWithTheForceFlag) {
  EXPECT_EQ(ReapplyDeviceStates(), 0);
  Calls calls = Take();
  auto sent = [&](const std::string& call) { return std::find(calls.begin(), calls.end(), call) != calls.end(); };
  // Set-up's preparation left z off (the 2D z state).
  EXPECT_TRUE(sent("SetRenderState(7,0)")) << "z enable";
  EXPECT_TRUE(sent("SetRenderState(14,0)")) << "z write";
  EXPECT_TRUE(sent("SetRenderState(23,4)")) << "z function";
  EXPECT_TRUE(sent("SetRenderState(8,3)")) << "fill mode";
  EXPECT_TRUE(sent("SetRenderState(22,1)")) << "cull none";
  EXPECT_TRUE(sent("SetViewport(0,0,640,480,0,1)"));
  EXPECT_TRUE(sent("SetTextureStageState(1,11,1)")) << "texture-coordinate index of stage 1";
  EXPECT_EQ(g_deviceStateCache.ForceApply, 0);
  EXPECT_EQ(RestoreDeviceStates(), 0);
  EXPECT_EQ(g_deviceStateCache.ForceApply, 0);
}

// A re-created device is told every light it was given, enabled or not, and the camera's
// projection as the camera's own matrices make it now.
TEST_F(DeviceStateCacheTest, RestoreSendsEveryStoredLightAndTheCamerasProjection) {
  D3DLIGHT9 directional{}, point{};
  directional.Type = D3DLIGHT_DIRECTIONAL;
  directional.Direction = {0.0f, 0.0f, 1.0f};
  point.Type = D3DLIGHT_POINT;
  point.Range = 100.0f;
  SetDeviceLight(0, &directional);
  SetDeviceLight(2, &point);
  SetDeviceLight(5, &directional);
  EnableDeviceLight(0, 1);
  EnableDeviceLight(2, 1);
  EnableDeviceLight(5, 1);
  EnableDeviceLight(5, 0);
  ASSERT_EQ(g_deviceStateCache.HighestEnabledLight, 2);
  // The camera changed while there was no device: projection x camera viewport x inverse area
  // viewport = diag(2, 3, 1, 1) x translation (10, 20, 0) x diag(0.5, 0.5, 1, 1).
  DrawState& state = g_drawState;
  state.ProjectionMatrix = {{{2, 0, 0, 0}, {0, 3, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
  state.CameraViewportMatrix = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {10, 20, 0, 1}}};
  state.InverseAreaViewportMatrix = {{{0.5f, 0, 0, 0}, {0, 0.5f, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
  Take();

  EXPECT_EQ(RestoreDeviceStates(), 0);
  Calls lights, projections;
  for (const std::string& call : Take()) {
    if (call.rfind("SetLight(", 0) == 0 || call.rfind("LightEnable(", 0) == 0) lights.push_back(call);
    if (call.rfind("SetTransform(3,", 0) == 0) projections.push_back(call);
  }
  EXPECT_EQ(lights, (Calls{"SetLight(0,3)", "LightEnable(0,1)", "SetLight(2,1)", "LightEnable(2,1)", "SetLight(5,3)",
                           "LightEnable(5,0)"}));
  ASSERT_FALSE(projections.empty());
  for (const std::string& call : projections) EXPECT_EQ(call, "SetTransform(3,1,0,0,0,0,1.5,0,0,0,0,1,0,5,10,0,1)");
}

TEST_F(RenderDeviceTest, WithoutADeviceSettersRefuseOrDoNothing) {
  EXPECT_EQ(SetDeviceZFunc(3), -1);
  EXPECT_EQ(SetDeviceCullMode(1), 0);
  EXPECT_EQ(SetDeviceFogEnable(1), 0);
  EXPECT_EQ(SetDeviceTextureAddress(1, 0), 0);
  EXPECT_EQ(SetDeviceTextureTransform(0, 1, &g_drawState.ViewMatrix), -1);
  EXPECT_EQ(FlushVertexBatch(), -1);
  EXPECT_EQ(ReserveBatchVertices(0, 0, D3DPT_TRIANGLELIST, 3), nullptr);
  EXPECT_EQ(DrawGridStrips(2, 2, nullptr), -1);
}

}  // namespace
}  // namespace device_test
