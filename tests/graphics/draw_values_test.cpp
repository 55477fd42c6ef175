// The draw state's colour values: the blend-mode and draw-bright setters, the vertex colour the
// device path's 2D vertices carry, and the small vector transforms.
#include <gtest/gtest.h>

#include <cstring>

#include "graphics/device/render_device.h"
#include "graphics/graphs/draw_state.h"
#include "graphics/graphs/screen_settings.h"
#include "graphics/graphs/software_drawing.h"

namespace {

class DrawValuesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedState_ = g_drawState;
    savedHardware_ = g_screenSettings.HardwareInUse;
    g_drawState.BlendMode = kBlendCopy;
    g_drawState.BlendParam = 0;
    g_drawState.BrightColor = 0xFFFFFF;
    g_drawState.AlphaFromParam = 0;
    g_screenSettings.HardwareInUse = 1;  // So the vertex colour follows every change.
    g_renderDevice.Batch.DiffuseColor2D = 0xFFFFFFFF;
  }
  void TearDown() override {
    g_drawState = savedState_;
    g_screenSettings.HardwareInUse = savedHardware_;
    g_renderDevice.Batch.DiffuseColor2D = 0xFFFFFFFF;
  }
  DrawState savedState_;
  int savedHardware_ = 0;
};

TEST_F(DrawValuesTest, BlendModeParameterIsClampedAndBecomesTheVertexAlpha) {
  EXPECT_EQ(SetDrawBlendMode(BLEND_MODE_ALPHA, 300), 0);
  EXPECT_EQ(g_drawState.BlendParam, 255);
  EXPECT_EQ(g_renderDevice.Batch.DiffuseColor2D, 0xFFFFFFFFu);
  SetDrawBlendMode(BLEND_MODE_ADD, 64);
  EXPECT_EQ(g_renderDevice.Batch.DiffuseColor2D, 0x40FFFFFFu);
  SetDrawBlendMode(BLEND_MODE_ALPHA, -9);
  EXPECT_EQ(g_drawState.BlendParam, 0);
  // Mode 0 keeps the vertex opaque whatever the parameter, unless the parameter is asked for as
  // the alpha in every mode.
  SetDrawBlendMode(BLEND_MODE_COPY, 100);
  EXPECT_EQ(ComputeVertexColor(), 0xFFFFFFFFu);
  g_drawState.AlphaFromParam = 1;
  EXPECT_EQ(ComputeVertexColor(), 0x64FFFFFFu);
}

TEST_F(DrawValuesTest, BrightValuesAreClampedIntoTheVertexColour) {
  EXPECT_EQ(SetDrawBright(-5, 128, 999), 0);
  EXPECT_EQ(g_drawState.BrightColor, 0x0080FFu);
  EXPECT_EQ(g_renderDevice.Batch.DiffuseColor2D, 0xFF0080FFu);
  SetDrawBrightColor(0xAB123456);
  EXPECT_EQ(g_drawState.BrightColor, 0x123456u);
  EXPECT_EQ(g_renderDevice.Batch.DiffuseColor2D, 0xFF123456u);
}

TEST_F(DrawValuesTest, SoftwarePathLeavesTheVertexColourAlone) {
  g_screenSettings.HardwareInUse = 0;
  SetDrawBright(1, 2, 3);
  SetDrawBlendMode(BLEND_MODE_ALPHA, 7);
  EXPECT_EQ(g_renderDevice.Batch.DiffuseColor2D, 0xFFFFFFFFu);
  EXPECT_EQ(ComputeVertexColor(), 0x07010203u);
}

TEST(DrawValues, TransformsAndSmallRecords) {
  Matrix4 m = {{{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}, {10, 20, 30, 1}}};
  const Vector3 in = {1, 1, 2};
  Vector3 out{};
  EXPECT_EQ(TransformPoint(&out, &in, &m), &out);
  EXPECT_FLOAT_EQ(out.x, 1 + 4 + 14 + 10);
  EXPECT_FLOAT_EQ(out.y, 2 + 5 + 16 + 20);
  EXPECT_FLOAT_EQ(out.z, 3 + 6 + 18 + 30);
  TransformDirection(&out, &in, &m);
  EXPECT_FLOAT_EQ(out.x, 19);
  EXPECT_FLOAT_EQ(out.z, 27);
  Vector3 same = in;
  TransformPoint(&same, &same, &m);  // In place.
  EXPECT_FLOAT_EQ(same.y, 43);

  ColorF color{};
  EXPECT_EQ(MakeColorF(&color, 0.1f, 0.2f, 0.3f, 0.4f), &color);
  EXPECT_FLOAT_EQ(color.red, 0.1f);
  EXPECT_FLOAT_EQ(color.alpha, 0.4f);

  DrawEffectRecord record;
  std::memset(&record, 0xEE, sizeof record);
  EXPECT_EQ(ResetDrawEffectRecord(&record), &record);
  EXPECT_EQ(sizeof record, 380u);
  for (uint8_t byte : record.Bytes) ASSERT_EQ(byte, 0);
}

}  // namespace

namespace {

// While graphics are down nothing is made or drawn, and every call says so.
TEST(GraphicsDown, EveryGraphAndBoxCallFails) {
  const int initialised = g_screenSettings.Initialised;
  g_screenSettings.Initialised = 0;
  EXPECT_EQ(MakeBlankGraph(8, 8), -1);
  EXPECT_EQ(LoadGraphFile("anything.bmp", 0), -1);
  EXPECT_EQ(DrawGraphAt(0, 0, 0, 0), -1);
  EXPECT_EQ(DrawGraphStretched(0, 0, 4, 4, 0, 0), -1);
  EXPECT_EQ(DrawGraphQuad(0, 0, 4, 0, 4, 4, 0, 4, 0, 0), -1);
  EXPECT_EQ(DrawFilledBox(0, 0, 4, 4, 0), -1);
  EXPECT_EQ(DrawOutlineBox(0, 0, 4, 4, 0), -1);
  EXPECT_EQ(DeleteAllGraphs(), 0);
  g_screenSettings.Initialised = initialised;
}

}  // namespace
