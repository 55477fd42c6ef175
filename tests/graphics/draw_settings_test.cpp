// Draw settings: the draw area on both paths, the blend graph, fog and the reset; the camera's
// projection and the light handles' device indices.
#include "render_device_support.h"

#include <cmath>
#include <cstring>

#include "graphics/device/blend_state.h"
#include "graphics/graphs/draw_settings.h"
#include "graphics/graphs/graph_records.h"
#include "graphics/graphs/screens.h"
#include "graphics/models/camera.h"

namespace device_test {
namespace {

class DrawSettingsTest : public RenderDeviceTest {
 protected:
  void TearDown() override {
    for (int slot = 0; slot < g_graphHandleTable.highWaterMark; ++slot)
      if (auto* record = static_cast<GraphRecord*>(g_graphHandleTable.slots[slot]))
        DeleteHandleRecord(&g_graphHandleTable, record->Handle);
    for (LightRecord*& light : g_drawState.Lights.Lights)
      if (light) ZV_FREE(light), light = nullptr;
    RenderDeviceTest::TearDown();
  }
  void StartHardware() {
    ASSERT_EQ(StartDevice(), 0);
    ASSERT_EQ(SetupDeviceStateCache(), 0);
    g_screenSettings.HardwareInUse = 1;
  }
};

TEST_F(DrawSettingsTest, TheDrawAreaIsOrderedAndClampedToTheTarget) {
  struct Case {
    RECT asked, area;
    int empty;
  };
  const Case cases[] = {
      {{100, 80, 20, 10}, {20, 10, 100, 80}, 0},
      {{-50, -50, 1000, 1000}, {0, 0, 640, 480}, 0},
      {{10, 10, 10, 200}, {10, 10, 10, 200}, 1},
      {{700, 0, 800, 10}, {640, 0, 640, 10}, 1},
  };
  g_drawState.DrawTarget = SCREEN_BACK;
  for (const Case& c : cases) {
    EXPECT_EQ(SetDrawClipArea(c.asked.left, c.asked.top, c.asked.right, c.asked.bottom), 0);
    const RECT& area = g_drawState.DrawArea;
    EXPECT_EQ(std::vector<int>({area.left, area.top, area.right, area.bottom}),
              std::vector<int>({c.area.left, c.area.top, c.area.right, c.area.bottom}));
    EXPECT_EQ(g_drawState.DrawAreaF[2], static_cast<float>(c.area.right));
    EXPECT_EQ(g_drawState.DrawAreaEmpty, c.empty);
    RECT asked;
    GetDrawClipArea(&asked);
    EXPECT_EQ(asked.left, c.asked.left) << "the window code gets the area as it was asked for";
  }
  g_drawState.DrawTarget = 0x7FFF;  // Neither a screen nor a live graph.
  EXPECT_EQ(SetDrawClipArea(0, 0, 10, 10), -1);
}

TEST_F(DrawSettingsTest, OnTheDeviceTheAreaSetsViewportScissorAndScissorTest) {
  g_drawState.DrawTarget = SCREEN_BACK;
  g_screenSettings.HardwareInUse = 1;
  EXPECT_EQ(SetDrawClipArea(0, 0, 10, 10), -1) << "no device yet: the area is stored, the result is -1";
  EXPECT_EQ(g_drawState.DrawArea.right, 10);
  StartHardware();
  platform::testing::RecordDeviceCalls(true);
  EXPECT_EQ(SetDrawClipArea(20, 10, 100, 80), 0);
  platform::testing::RecordDeviceCalls(false);
  std::vector<std::string> calls = platform::testing::TakeRecordedDeviceCalls();
  auto sent = [&](const std::string& call) { return std::find(calls.begin(), calls.end(), call) != calls.end(); };
  EXPECT_TRUE(sent("SetViewport(20,10,80,70,0,1)"));
  EXPECT_TRUE(sent("SetScissorRect(20,10,100,80)"));
  EXPECT_TRUE(sent("SetRenderState(174,1)")) << "scissor test on";
  // The area viewport maps -1..1 onto the area; its inverse undoes it.
  Vector3 corner = {-1.0f, 1.0f, 0.0f}, onScreen;
  TransformVector(&onScreen, &corner, &g_drawState.AreaViewportMatrix);
  EXPECT_FLOAT_EQ(onScreen.x, 20.0f);
  EXPECT_FLOAT_EQ(onScreen.y, 10.0f);
}

TEST_F(DrawSettingsTest, TheBlendGraphIsCheckedBeforeAnythingIsStored) {
  const int graph = NewGraphHandle();
  GraphImagePart part{};
  GetGraphRecord(graph)->Part = &part;
  EXPECT_EQ(SetBlendGraph(graph, -5, 300), 0);
  EXPECT_EQ(g_drawState.BlendGraph, graph);
  EXPECT_EQ(g_drawState.BlendGraphBorderParam, 0);
  EXPECT_EQ(g_drawState.BlendGraphBorderRange, 255);
  EXPECT_EQ(g_drawState.SoftBlendImage, &part.SoftImage);

  EXPECT_EQ(SetBlendGraph(graph + 1, 10, 10), -1) << "a stale handle";
  EXPECT_EQ(g_drawState.BlendGraph, graph);
  EXPECT_EQ(g_drawState.BlendGraphBorderParam, 0);
  g_screenSettings.HardwareInUse = 1;
  StartHardware();
  EXPECT_EQ(SetBlendGraph(graph, 10, 10), -1) << "no textures on the hardware path";
  EXPECT_EQ(g_drawState.BlendGraphBorderParam, 0);
  EXPECT_EQ(SetBlendGraph(-1, 0, 0), 0);
  EXPECT_EQ(g_drawState.BlendGraph, -1);
}

TEST_F(DrawSettingsTest, FogColourAndResetDefaults) {
  EXPECT_EQ(SetFogColor(255, 0, 0), 0);
  EXPECT_EQ(g_drawState.FogColor, 0xFFFF0000u);
  EXPECT_EQ(SetFogColor(0x1FF, 0x100, 0x101), 0);
  EXPECT_EQ(g_drawState.FogColor, 0xFFFF0001u) << "each component is its low 8 bits";

  g_drawState.NoVSyncWait = 1;
  g_drawState.BlendMode = 3;
  g_screenSettings.Initialised = 1;  // The reset runs inside graphics start-up.
  ASSERT_EQ(ResetDrawState(), 0);
  EXPECT_EQ(GetDrawTarget(), SCREEN_FRONT);
  EXPECT_EQ(g_drawState.DrawArea.right, 640);
  EXPECT_EQ(g_drawState.DrawArea.bottom, 480);
  EXPECT_EQ(g_drawState.DrawAreaEmpty, 0);
  EXPECT_EQ(g_drawState.BlendMode, 0);
  EXPECT_EQ(g_drawState.NoVSyncWait, 1) << "kept across the reset";
  EXPECT_EQ(g_drawState.FogColor, 0xFFFFFFFFu);
  EXPECT_EQ(g_drawState.FogEnd, 1500.0f);
  EXPECT_NE(GetLightRecord(g_drawState.Lights.DefaultLight), nullptr);
  const int light = g_drawState.Lights.DefaultLight;
  ASSERT_EQ(ResetDrawState(), 0);
  EXPECT_EQ(g_drawState.Lights.DefaultLight, light) << "lights live across the reset";
  EXPECT_EQ(g_drawState.Lights.LightCount, 1);
}

TEST_F(DrawSettingsTest, TheDefaultCameraPutsPointXYOnPixelXHeightMinusY) {
  g_drawState.DrawTargetWidth = 640;
  g_drawState.DrawTargetHeight = 480;
  ASSERT_EQ(SetDefaultCamera(640, 480), 0);
  // d = 240 / 0.57735026 = 415.69.
  EXPECT_NEAR(g_drawState.ProjectionNear, 41.569f, 0.01f);
  EXPECT_NEAR(g_drawState.ProjectionFar, 20415.69f, 0.05f);
  const float point[4] = {100.0f, 50.0f, 0.0f, 1.0f};
  Matrix4 viewProjection;
  MultiplyMatrix(&viewProjection, &g_drawState.ViewMatrix, &g_drawState.ProjectionMatrix);
  float clip[4] = {};
  for (int j = 0; j < 4; ++j)
    for (int i = 0; i < 4; ++i) clip[j] += point[i] * viewProjection.m[i][j];
  Vector3 ndc = {clip[0] / clip[3], clip[1] / clip[3], clip[2] / clip[3]}, pixel;
  TransformVector(&pixel, &ndc, &g_drawState.CameraViewportMatrix);
  EXPECT_NEAR(pixel.x, 100.0f, 0.01f);
  EXPECT_NEAR(pixel.y, 430.0f, 0.01f);
}

TEST_F(DrawSettingsTest, TheDeviceProjectionIsProjectionTimesCameraTimesInverseArea) {
  StartHardware();
  g_drawState.DrawTarget = SCREEN_BACK;
  g_drawState.DrawTargetWidth = 640;
  g_drawState.DrawTargetHeight = 480;
  SetDefaultCamera(640, 480);
  SetDrawClipArea(100, 100, 300, 200);
  Matrix4 expected;
  MultiplyMatrix(&expected, &g_drawState.ProjectionMatrix, &g_drawState.CameraViewportMatrix);
  MultiplyMatrix(&expected, &expected, &g_drawState.InverseAreaViewportMatrix);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_FLOAT_EQ(g_deviceStateCache.Projection.m[i][j], expected.m[i][j]);
  // A failing perspective (near = far) keeps the projection.
  const Matrix4 before = g_drawState.CameraProjection;
  SetProjectionNearFar(5.0f, 5.0f);
  EXPECT_EQ(std::memcmp(&before, &g_drawState.CameraProjection, sizeof(before)), 0);
}

TEST_F(DrawSettingsTest, LightsTakeDeviceIndicesByTypeAndFreedSlotsAreDisabled) {
  StartHardware();
  DrawLightArea& area = g_drawState.Lights;
  const int point1 = CreateLightHandle();
  GetLightRecord(point1)->Light.Type = D3DLIGHT_POINT;
  const int directional[3] = {CreateDirectionalLight(1, 0, 0), CreateDirectionalLight(0, 1, 0),
                              CreateDirectionalLight(0, 0, 2)};
  const int point2 = CreateLightHandle();
  GetLightRecord(point2)->Light.Type = D3DLIGHT_POINT;
  EXPECT_FLOAT_EQ(GetLightRecord(directional[2])->Light.Direction.z, 1.0f);

  ApplyLightsToDevice();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(GetLightRecord(directional[i])->DeviceIndex, i);
  EXPECT_EQ(GetLightRecord(point1)->DeviceIndex, 3);
  EXPECT_EQ(GetLightRecord(point2)->DeviceIndex, 4);
  EXPECT_EQ(area.LastDeviceLightIndex, 4);
  EXPECT_EQ(area.LightsChanged, 0);

  // The last light goes: its device slot 4 is switched off on the next lit draw.
  EXPECT_EQ(DeleteLightHandle(point2), 0);
  EXPECT_EQ(DeleteLightHandle(point2), -1);
  ApplyLightsToDevice();
  EXPECT_EQ(g_deviceStateCache.LightEnabled[4], 0);
  EXPECT_EQ(g_deviceStateCache.LightEnabled[3], 1);
  EXPECT_EQ(area.LastDeviceLightIndex, 3);

  area.DefaultLight = directional[0];
  DeleteLightsButDefault();
  EXPECT_EQ(area.LightCount, 1);
  EXPECT_NE(GetLightRecord(directional[0]), nullptr);
}

// After the device was made again the next lit draw sends every light, although each keeps the
// device index it had.
TEST_F(DrawSettingsTest, TheFirstLitDrawAfterADeviceRestartSendsEveryLight) {
  StartHardware();
  const int first = CreateDirectionalLight(1, 0, 0);
  const int second = CreateLightHandle();
  GetLightRecord(second)->Light.Type = D3DLIGHT_POINT;
  ApplyLightsToDevice();
  ASSERT_EQ(GetLightRecord(second)->DeviceIndex, 1);
  platform::testing::LoseDevices();
  platform::testing::RegainLostDevices();
  ASSERT_EQ(RestartGraphicsDevice(0, -1, -1, -1, -1), 0);
  EXPECT_EQ(g_drawState.Lights.ForceApplyLights, 1);

  platform::testing::RecordDeviceCalls(true);
  platform::testing::TakeRecordedDeviceCalls();
  ApplyLightsToDevice();
  platform::testing::RecordDeviceCalls(false);
  std::vector<std::string> sent;
  for (const std::string& call : platform::testing::TakeRecordedDeviceCalls())
    if (call.rfind("SetLight(", 0) == 0 || call.rfind("LightEnable(", 0) == 0) sent.push_back(call);
  EXPECT_EQ(sent, (std::vector<std::string>{"SetLight(0,3)", "LightEnable(0,1)", "SetLight(1,1)", "LightEnable(1,1)"}));
  EXPECT_EQ(GetLightRecord(first)->DeviceIndex, 0);
  EXPECT_EQ(g_drawState.Lights.ForceApplyLights, 0);
}

TEST_F(DrawSettingsTest, DisablingALightBelowTheHighestKeepsTheHighest) {
  StartHardware();
  EnableDeviceLight(0, 1);
  EnableDeviceLight(2, 1);
  EnableDeviceLight(5, 0);
  EXPECT_EQ(g_deviceStateCache.HighestEnabledLight, 2);
  EnableDeviceLight(2, 0);
  EXPECT_EQ(g_deviceStateCache.HighestEnabledLight, 0);
}

}  // namespace
}  // namespace device_test
