// Golden scenes on the software device: every expected pixel is computed here from the pixel
// rules (integer sample points, top-left fill, 8-bit products rounded once), not by the device.
#include <cmath>
#include <functional>
#include <random>

#include "device_fixture.h"

namespace d3d9_test {
namespace {

std::vector<uint32_t> RandomPixels(int count, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint32_t> pixels(count);
  for (uint32_t& pixel : pixels) pixel = random();
  return pixels;
}

int Round255(double product) { return static_cast<int>(std::lround(product / 255.0)); }

class RasterSceneTest : public DeviceTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    platform::testing::UseRasterFastPaths(GetParam());
  }
};

// An 8 x 8 texture drawn at -0.5 offsets lands texel for texel, with point and linear filtering.
TEST_P(RasterSceneTest, TexturedQuadAtHalfPixelOffsetsCopiesTheTexture) {
  std::vector<uint32_t> texels = RandomPixels(64, 1);
  IDirect3DTexture9* texture = MakeTexture(8, 8, texels);
  for (DWORD filter : {D3DTEXF_POINT, D3DTEXF_LINEAR}) {
    Fill(0xFF102030);
    device_->SetTexture(0, texture);
    device_->SetSamplerState(0, D3DSAMP_MAGFILTER, filter);
    device_->SetSamplerState(0, D3DSAMP_MINFILTER, filter);
    UseStage(D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    DrawQuad(3 - 0.5f, 5 - 0.5f, 11 - 0.5f, 13 - 0.5f);
    std::vector<uint32_t> pixels = ReadBackBuffer();
    for (int y = 0; y < kSize; ++y)
      for (int x = 0; x < kSize; ++x) {
        bool inside = x >= 3 && x < 11 && y >= 5 && y < 13;
        uint32_t expected = inside ? (texels[(y - 5) * 8 + (x - 3)] | 0xFF000000u) : 0xFF102030u;
        ASSERT_EQ(pixels[y * kSize + x], expected) << "filter " << filter << " at " << x << "," << y;
      }
  }
}

TEST_P(RasterSceneTest, AlphaBlendMixesBySourceAlpha) {
  std::vector<uint32_t> texels = RandomPixels(64, 2);
  IDirect3DTexture9* texture = MakeTexture(8, 8, texels);
  const uint32_t background = 0xFF4080C0;
  Fill(background);
  device_->SetTexture(0, texture);
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  UseStage(D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
  DrawQuad(-0.5f, -0.5f, 7.5f, 7.5f);
  std::vector<uint32_t> pixels = ReadBackBuffer();
  for (int i = 0; i < 64; ++i) {
    uint32_t source = texels[i];
    int alpha = Channel(source, 3);
    for (int channel = 0; channel < 3; ++channel) {
      int expected = Round255(Channel(source, channel) * alpha + Channel(background, channel) * (255.0 - alpha));
      ASSERT_EQ(Channel(pixels[(i / 8) * kSize + i % 8], channel), expected) << "texel " << i;
    }
  }
}

// Colour-keyed pictures carry alpha 0 where the key was; the alpha test drops those pixels.
TEST_P(RasterSceneTest, AlphaTestDropsKeyedTexels) {
  std::vector<uint32_t> texels = RandomPixels(64, 3);
  for (size_t i = 0; i < texels.size(); ++i)
    texels[i] = (i % 3 == 0) ? (texels[i] & 0x00FFFFFF) : (texels[i] | 0xFF000000);
  IDirect3DTexture9* texture = MakeTexture(8, 8, texels);
  Fill(0xFF000000);
  device_->SetTexture(0, texture);
  device_->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  device_->SetRenderState(D3DRS_ALPHAREF, 0);
  device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
  UseStage(D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
  DrawQuad(-0.5f, -0.5f, 7.5f, 7.5f);
  std::vector<uint32_t> pixels = ReadBackBuffer();
  for (int i = 0; i < 64; ++i) {
    uint32_t expected = (i % 3 == 0) ? 0xFF000000u : (texels[i] | 0xFF000000u);
    ASSERT_EQ(pixels[(i / 8) * kSize + i % 8], expected) << "texel " << i;
  }
}

TEST_P(RasterSceneTest, Modulate2xDoublesAndSaturates) {
  std::vector<uint32_t> texels = RandomPixels(64, 4);
  IDirect3DTexture9* texture = MakeTexture(8, 8, texels);
  const uint32_t diffuse = 0xFFA0C040;
  Fill(0xFF000000);
  device_->SetTexture(0, texture);
  UseStage(D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
  DrawQuad(-0.5f, -0.5f, 7.5f, 7.5f, diffuse);
  std::vector<uint32_t> pixels = ReadBackBuffer();
  for (int i = 0; i < 64; ++i)
    for (int channel = 0; channel < 3; ++channel) {
      int expected = std::min(255, Round255(2.0 * Channel(texels[i], channel) * Channel(diffuse, channel)));
      ASSERT_EQ(Channel(pixels[(i / 8) * kSize + i % 8], channel), expected) << "texel " << i;
    }
}

TEST_P(RasterSceneTest, ReverseSubtractTakesSourceFromDestination) {
  const uint32_t background = 0xFF80FF20;
  Fill(background);
  device_->SetTexture(0, nullptr);
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  device_->SetRenderState(D3DRS_BLENDOP, D3DBLENDOP_REVSUBTRACT);
  UseStage(D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT);
  const uint32_t source = 0xFF9040FF;
  DrawQuad(-0.5f, -0.5f, 3.5f, 3.5f, source);
  std::vector<uint32_t> pixels = ReadBackBuffer();
  for (int channel = 0; channel < 3; ++channel)
    EXPECT_EQ(Channel(pixels[0], channel), std::max(0, Channel(background, channel) - Channel(source, channel)));
  EXPECT_EQ(pixels[5], background);
}

// Flat shading colours each triangle of a strip with its first vertex.
TEST_P(RasterSceneTest, FlatShadingTakesTheFirstVertexOfEachTriangle) {
  Fill(0xFF000000);
  device_->SetTexture(0, nullptr);
  device_->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
  UseStage(D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT);
  TexturedVertex strip[4] = {{-0.5f, -0.5f, 0, 1, 0xFFFF0000, 0, 0},
                             {15.5f, -0.5f, 0, 1, 0xFF00FF00, 0, 0},
                             {-0.5f, 15.5f, 0, 1, 0xFF0000FF, 0, 0},
                             {15.5f, 15.5f, 0, 1, 0xFFFFFFFF, 0, 0}};
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, strip, sizeof(TexturedVertex)), D3D_OK);
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  std::vector<uint32_t> pixels = ReadBackBuffer();
  // The diagonal from (15.5, -0.5) to (-0.5, 15.5): x + y < 15 lies in the first triangle, and
  // the centres on it (x + y = 15) belong to the first too (its right edge), so the second gets
  // x + y > 15.
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      uint32_t expected = x + y < 15 ? 0xFFFF0000u : (x + y > 15 ? 0xFF00FF00u : 0u);
      if (expected == 0) continue;
      ASSERT_EQ(pixels[y * kSize + x], expected) << x << "," << y;
    }
}

TEST_P(RasterSceneTest, ScissorAndViewportClipDrawing) {
  std::vector<uint32_t> texels(64, 0xFFFFFFFF);
  IDirect3DTexture9* texture = MakeTexture(8, 8, texels);
  Fill(0xFF000000);
  device_->SetTexture(0, texture);
  RECT scissor = {4, 6, 20, 9};
  device_->SetScissorRect(&scissor);
  device_->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
  D3DVIEWPORT9 viewport = {10, 0, 20, 32, 0.0f, 1.0f};
  ASSERT_EQ(device_->SetViewport(&viewport), D3D_OK);
  DrawQuad(-0.5f, -0.5f, kSize - 0.5f, kSize - 0.5f);
  std::vector<uint32_t> pixels = ReadBackBuffer();
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      bool inside = x >= 10 && x < 20 && y >= 6 && y < 9;
      ASSERT_EQ(pixels[y * kSize + x], inside ? 0xFFFFFFFFu : 0xFF000000u) << x << "," << y;
    }
}

// Triangles that share edges cover every pixel of their union exactly once: drawn with additive
// blending of 1, each pixel centre inside the outline reads 1 and every other pixel 0.
TEST_P(RasterSceneTest, SharedEdgesTouchEachPixelOnce) {
  Fill(0xFF000000);
  device_->SetTexture(0, nullptr);
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  UseStage(D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT);
  // A 6 x 6 grid of points over the outline (1.3, 2.6)-(29.7, 27.4); inner points sit on pixel
  // centres, edges and random spots so that many edges pass exactly through sample points.
  std::mt19937 random(5);
  const int n = 6;
  float px[n][n], py[n][n];
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      px[j][i] = 1.3f + (29.7f - 1.3f) * i / (n - 1);
      py[j][i] = 2.6f + (27.4f - 2.6f) * j / (n - 1);
      if (i > 0 && i < n - 1 && j > 0 && j < n - 1) {
        int kind = random() % 3;
        if (kind == 0) {
          px[j][i] = std::round(px[j][i]);
          py[j][i] = std::round(py[j][i]);
        } else if (kind == 1) {
          px[j][i] = std::round(px[j][i]) + 0.5f;
        } else {
          px[j][i] += (random() % 100) / 100.0f - 0.5f;
          py[j][i] += (random() % 100) / 100.0f - 0.5f;
        }
      }
    }
  std::vector<TexturedVertex> triangles;
  auto vertex = [&](int j, int i) { return TexturedVertex{px[j][i], py[j][i], 0, 1, 0xFF010101, 0, 0}; };
  for (int j = 0; j + 1 < n; ++j)
    for (int i = 0; i + 1 < n; ++i) {
      bool flip = (i + j) % 2 != 0;
      TexturedVertex a = vertex(j, i), b = vertex(j, i + 1), c = vertex(j + 1, i), d = vertex(j + 1, i + 1);
      if (flip) {
        triangles.insert(triangles.end(), {a, b, d, a, d, c});
      } else {
        triangles.insert(triangles.end(), {a, b, c, b, d, c});
      }
    }
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, static_cast<UINT>(triangles.size() / 3), triangles.data(),
                                     sizeof(TexturedVertex)),
            D3D_OK);
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  std::vector<uint32_t> pixels = ReadBackBuffer();
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      bool inside = x > 1.3f && x < 29.7f && y > 2.6f && y < 27.4f;
      ASSERT_EQ(pixels[y * kSize + x], inside ? 0xFF010101u : 0xFF000000u) << x << "," << y;
    }
}

// The device keeps what it worked out from its states between draws: every kind of state change
// after a draw must still reach the next draw. Each case draws once in the base states (the
// picture's right texel, blue, everywhere: coordinates 1..2 across, clamped), makes one change,
// and draws again; on both paths.
TEST_P(RasterSceneTest, AStateChangedAfterADrawReachesTheNextDraw) {
  const uint32_t kRed = 0xFFFF0000u, kBlue = 0xFF0000FFu, kGreen = 0xFF00FF00u, kBackground = 0xFF101010u;
  IDirect3DTexture9* picture = MakeTexture(2, 1, {kRed, kBlue});
  IDirect3DTexture9* green = MakeTexture(2, 1, {kGreen, kGreen});
  IDirect3DSurface9* otherTarget = nullptr;
  ASSERT_EQ(
      device_->CreateRenderTarget(kSize, kSize, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE, &otherTarget, nullptr),
      D3D_OK);
  owned_.push_back(otherTarget);
  IDirect3DSurface9* back = nullptr;
  ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
  owned_.push_back(back);
  const RECT whole = {0, 0, kSize, kSize}, corner = {0, 0, 4, 4};
  const D3DVIEWPORT9 small = {0, 0, 4, 4, 0.0f, 1.0f};
  auto base = [&] {
    device_->SetRenderTarget(0, back);
    device_->SetFVF(kTexturedFvf);
    device_->SetTexture(0, picture);
    UseStage(D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    device_->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
    device_->SetScissorRect(&whole);
  };
  struct Case {
    const char* name;
    std::function<void()> change;
    uint32_t expected;  // At pixel (10, 10) of the back buffer.
  };
  const Case cases[] = {
      {"texture", [&] { device_->SetTexture(0, green); }, kGreen},
      {"stage operation", [&] { device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2); }, 0xFFFFFF00u},
      {"sampler addressing", [&] { device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP); }, kRed},
      {"blending", [&] { device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE); }, kBackground},
      {"viewport", [&] { device_->SetViewport(&small); }, kBackground},
      {"scissor rectangle", [&] { device_->SetScissorRect(&corner); }, kBackground},
      {"vertex format", [&] { device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE); }, kRed},  // No coordinates: u = 0.
      {"render target", [&] { device_->SetRenderTarget(0, otherTarget); }, kBackground},
  };
  const float edge = kSize - 0.5f;
  const TexturedVertex quad[4] = {{-0.5f, -0.5f, 0, 1, 0xFFFFFF00u, 1, 0},
                                  {edge, -0.5f, 0, 1, 0xFFFFFF00u, 2, 0},
                                  {-0.5f, edge, 0, 1, 0xFFFFFF00u, 1, 1},
                                  {edge, edge, 0, 1, 0xFFFFFF00u, 2, 1}};
  auto drawOnce = [&] {
    ASSERT_EQ(device_->ColorFill(back, nullptr, kBackground), D3D_OK);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(TexturedVertex)), D3D_OK);
    ASSERT_EQ(device_->EndScene(), D3D_OK);
  };
  for (const Case& test : cases) {
    base();
    drawOnce();
    ASSERT_EQ(ReadBackBuffer()[10 * kSize + 10], kBlue) << test.name;
    test.change();
    drawOnce();
    EXPECT_EQ(ReadBackBuffer()[10 * kSize + 10], test.expected) << test.name;
  }
  device_->SetRenderTarget(0, back);
}

INSTANTIATE_TEST_SUITE_P(PlainAndFastPaths, RasterSceneTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Fast" : "Plain"; });

}  // namespace
}  // namespace d3d9_test

namespace d3d9_test {
namespace {

struct ColoredVertex {  // D3DFVF_XYZRHW | D3DFVF_DIFFUSE
  float x, y, z, rhw;
  DWORD diffuse;
};

struct PositionVertex {  // D3DFVF_XYZ | D3DFVF_DIFFUSE
  float x, y, z;
  DWORD diffuse;
};

TEST_F(DeviceTest, PointsAndLinesLightTheirPixels) {
  Fill(0xFF000000);
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  UseStage(D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT);
  ColoredVertex point = {5.0f, 6.0f, 0, 1, 0xFFFFFFFF};
  ColoredVertex line[2] = {{2.0f, 10.0f, 0, 1, 0xFFFF0000}, {8.0f, 10.0f, 0, 1, 0xFFFF0000}};
  ColoredVertex column[2] = {{20.0f, 3.0f, 0, 1, 0xFF00FF00}, {20.0f, 7.0f, 0, 1, 0xFF00FF00}};
  device_->SetRenderState(D3DRS_LASTPIXEL, FALSE);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &point, sizeof(ColoredVertex)), D3D_OK);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_LINELIST, 1, line, sizeof(ColoredVertex)), D3D_OK);
  device_->SetRenderState(D3DRS_LASTPIXEL, TRUE);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_LINESTRIP, 1, column, sizeof(ColoredVertex)), D3D_OK);
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  std::vector<uint32_t> pixels = ReadBackBuffer();
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      uint32_t expected = 0xFF000000;
      if (x == 5 && y == 6) expected = 0xFFFFFFFF;
      if (y == 10 && x >= 2 && x < 8) expected = 0xFFFF0000;   // The last pixel is left out.
      if (x == 20 && y >= 3 && y <= 7) expected = 0xFF00FF00;  // The last pixel is drawn.
      ASSERT_EQ(pixels[y * kSize + x], expected) << x << "," << y;
    }
}

// Untransformed vertices go through world, view and projection, then the viewport: with identity
// matrices the square (-1,-1)-(1,1) covers exactly the viewport.
TEST_F(DeviceTest, UntransformedSquareCoversTheViewport) {
  Fill(0xFF000000);
  device_->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  UseStage(D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT);
  D3DVIEWPORT9 viewport = {8, 4, 16, 12, 0.0f, 1.0f};
  ASSERT_EQ(device_->SetViewport(&viewport), D3D_OK);
  PositionVertex square[4] = {
      {-1, 1, 0.5f, 0xFF00FFFF}, {1, 1, 0.5f, 0xFF00FFFF}, {-1, -1, 0.5f, 0xFF00FFFF}, {1, -1, 0.5f, 0xFF00FFFF}};
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, square, sizeof(PositionVertex)), D3D_OK);
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  std::vector<uint32_t> pixels = ReadBackBuffer();
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      bool inside = x >= 8 && x < 24 && y >= 4 && y < 16;
      ASSERT_EQ(pixels[y * kSize + x], inside ? 0xFF00FFFFu : 0xFF000000u) << x << "," << y;
    }
}

}  // namespace
}  // namespace d3d9_test
