// The rasteriser's fast span paths against the plain path: many seeded random scenes in the
// states the fast paths serve (and a few they do not) must give the same bytes on both.
#include <cmath>
#include <random>

#include "../../../platform/d3d9/channel_math.h"  // The shared rounding, checked over every input.
#include "device_fixture.h"

namespace d3d9_test {
namespace {

TEST_F(DeviceTest, FastPathsGiveThePlainPathsBytes) {
  std::mt19937 random(7);
  std::vector<uint32_t> texels(16 * 8);
  for (uint32_t& texel : texels) texel = random();
  IDirect3DTexture9* texture = MakeTexture(16, 8, texels);
  IDirect3DTexture9* opaque = MakeTexture(16, 8, texels, D3DFMT_X8R8G8B8);
  const DWORD stageChoices[][2] = {{D3DTOP_SELECTARG1, D3DTA_DIFFUSE},
                                   {D3DTOP_MODULATE, D3DTA_DIFFUSE},
                                   {D3DTOP_SELECTARG2, D3DTA_DIFFUSE},
                                   {D3DTOP_MODULATE2X, D3DTA_DIFFUSE}};
  uint64_t checksum = 0xCBF29CE484222325ull;
  for (int scene = 0; scene < 120; ++scene) {
    device_->SetTexture(0, scene % 2 ? texture : opaque);
    const DWORD* stage = stageChoices[random() % 4];
    UseStage(stage[0], D3DTA_TEXTURE, stage[1], stage[0], D3DTA_TEXTURE, stage[1]);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, random() % 2);
    device_->SetRenderState(D3DRS_SRCBLEND, random() % 4 ? D3DBLEND_SRCALPHA : D3DBLEND_ONE);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device_->SetRenderState(D3DRS_ALPHATESTENABLE, random() % 2);
    device_->SetRenderState(D3DRS_ALPHAFUNC, 1 + random() % 8);
    device_->SetRenderState(D3DRS_ALPHAREF, random() % 256);
    device_->SetRenderState(D3DRS_SHADEMODE, random() % 2 ? D3DSHADE_FLAT : D3DSHADE_GOURAUD);
    device_->SetSamplerState(0, D3DSAMP_ADDRESSU, random() % 5 ? D3DTADDRESS_CLAMP : D3DTADDRESS_WRAP);
    std::vector<TexturedVertex> vertices(12);
    for (TexturedVertex& vertex : vertices) {
      vertex = {static_cast<float>(random() % 2400) / 64.0f - 3.0f,
                static_cast<float>(random() % 2400) / 64.0f - 3.0f,
                0.0f,
                1.0f,
                static_cast<DWORD>(random()),
                static_cast<float>(random() % 300) / 100.0f - 1.0f,
                static_cast<float>(random() % 300) / 100.0f - 1.0f};
    }
    std::vector<uint32_t> results[2];
    for (int fast = 0; fast < 2; ++fast) {
      platform::testing::UseRasterFastPaths(fast != 0);
      Fill(0xFF000000u | (scene * 0x010203u));
      ASSERT_EQ(device_->BeginScene(), D3D_OK);
      ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 4, vertices.data(), sizeof(TexturedVertex)), D3D_OK);
      ASSERT_EQ(device_->EndScene(), D3D_OK);
      results[fast] = ReadBackBuffer();
    }
    ASSERT_EQ(results[0], results[1]) << "scene " << scene;
    for (uint32_t pixel : results[0]) checksum = (checksum ^ pixel) * 0x100000001B3ull;
  }
  // The same seeded scenes always give the same pictures: a change that moved both paths alike
  // shows here.
  EXPECT_EQ(checksum, 0xA7A9995384D5C39Dull) << std::hex << "0x" << checksum;
}

// The division-free rounding must equal the plain one for every value a channel product or a
// blend sum can take.
TEST(ChannelMath, DivisionFreeRoundingMatchesOverEveryInput) {
  for (int value = 0; value <= 65535; ++value)
    ASSERT_EQ(platform::d3d9::Div255Product(value), platform::d3d9::Div255(value)) << value;
}

// Triangles whose texture coordinates step across texels the way sprites do: 1:1 and scaled
// maps, half-texel and exact-edge offsets (where the stepped coordinate has to give way to the
// plain formula), mirrored and rotated maps, and coordinates far outside the texture.
TEST_F(DeviceTest, SteppedTextureCoordinatesGiveThePlainPathsBytes) {
  std::mt19937 random(11);
  std::vector<uint32_t> texels(32 * 32);
  for (uint32_t& texel : texels) texel = random();
  IDirect3DTexture9* textures[] = {MakeTexture(32, 32, texels), MakeTexture(32, 32, texels, D3DFMT_X8R8G8B8),
                                   MakeTexture(16, 8, texels), MakeTexture(7, 5, texels)};
  const int sizes[][2] = {{32, 32}, {32, 32}, {16, 8}, {7, 5}};
  const float offsets[] = {0.0f, 0.5f, 0.25f, 1e-6f, -1e-6f, 0.4999999f, 0.5000001f, 3.0f, -2.5f};
  const float scales[] = {1.0f, 1.0f, 1.0f, -1.0f, 2.0f, 0.5f, 1.0f / 3.0f, 1.0000001f, 0.9999999f, 40.0f, 1e5f};
  for (int scene = 0; scene < 400; ++scene) {
    int which = random() % 4;
    device_->SetTexture(0, textures[which]);
    float width = static_cast<float>(sizes[which][0]), height = static_cast<float>(sizes[which][1]);
    bool modulate = random() % 2;
    UseStage(modulate ? D3DTOP_MODULATE : D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE,
             modulate ? D3DTOP_MODULATE : D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, random() % 2);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device_->SetRenderState(D3DRS_ALPHATESTENABLE, random() % 4 == 0);
    device_->SetRenderState(D3DRS_ALPHAFUNC, 1 + random() % 8);
    device_->SetRenderState(D3DRS_ALPHAREF, random() % 256);
    device_->SetRenderState(D3DRS_SHADEMODE, random() % 2 ? D3DSHADE_FLAT : D3DSHADE_GOURAUD);
    // Mostly one colour for all three vertices (white or not), as sprites are drawn.
    DWORD colors[3];
    DWORD shared = random() % 2 ? 0xFFFFFFFFu : static_cast<DWORD>(random());
    for (DWORD& color : colors) color = random() % 4 ? shared : static_cast<DWORD>(random());
    float scaleU = scales[random() % 11], scaleV = random() % 2 ? scaleU : scales[random() % 11];
    float offsetU = offsets[random() % 9], offsetV = offsets[random() % 9];
    float shift = (random() % 5) * 0.25f - 0.5f;
    float rotation = random() % 3 == 0 ? static_cast<float>(random() % 628) / 100.0f : 0.0f;
    TexturedVertex vertices[3];
    for (int k = 0; k < 3; ++k) {
      float x = static_cast<float>(random() % 48) - 8.0f + shift, y = static_cast<float>(random() % 48) - 8.0f + shift;
      float tx = x * std::cos(rotation) + y * std::sin(rotation), ty = y * std::cos(rotation) - x * std::sin(rotation);
      vertices[k] = {x, y, 0.0f, 1.0f, colors[k], (tx * scaleU + offsetU) / width, (ty * scaleV + offsetV) / height};
    }
    std::vector<uint32_t> results[2];
    for (int fast = 0; fast < 2; ++fast) {
      platform::testing::UseRasterFastPaths(fast != 0);
      Fill(0xFF000000u | (scene * 0x030507u));
      ASSERT_EQ(device_->BeginScene(), D3D_OK);
      ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, vertices, sizeof(TexturedVertex)), D3D_OK);
      ASSERT_EQ(device_->EndScene(), D3D_OK);
      results[fast] = ReadBackBuffer();
    }
    ASSERT_EQ(results[0], results[1]) << "scene " << scene;
  }
}

// Which pixels a triangle covers, against the fill rule evaluated at every pixel on its own:
// positions snapped to 1/256 pixel, a pixel centre inside where every edge function is positive,
// or zero on a top or left edge. Thin, steep and nearly flat triangles, and ones reaching past
// the buffer, so that the rasteriser's row-to-row edge stepping meets every kind of slope.
TEST_F(DeviceTest, TriangleCoverageFollowsTheFillRuleAtEveryPixel) {
  device_->SetTexture(0, nullptr);
  device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  UseStage(D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT);
  std::mt19937 random(23);
  int mismatches = 0;
  for (int scene = 0; scene < 400; ++scene) {
    TexturedVertex vertices[3];
    int64_t X[3], Y[3];
    // The last scenes put every vertex half way between two snapped positions, on either side of 0.
    const float half = scene >= 300 ? 1.0f / 512 : 0.0f;
    for (int k = 0; k < 3; ++k) {
      const float x = static_cast<float>(static_cast<int>(random() % 3200) - 800) / 64.0f + half;
      const float y = static_cast<float>(static_cast<int>(random() % 3200) - 800) / 64.0f + half;
      vertices[k] = {x, y, 0, 1, 0xFFFFFFFF, 0, 0};
    }
    if (scene % 3 == 1) vertices[2].x = vertices[1].x + (random() % 2 ? 0.01f : 0.0f);  // steep
    if (scene % 3 == 2) vertices[2].y = vertices[1].y;                                  // flat edge
    for (int k = 0; k < 3; ++k) {
      X[k] = std::llround(vertices[k].x * 256.0);
      Y[k] = std::llround(vertices[k].y * 256.0);
    }
    const int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (Y[1] - Y[0]) * (X[2] - X[0]);
    int order[3] = {0, 1, 2};
    if (area < 0) std::swap(order[1], order[2]);
    Fill(0xFF000000);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, vertices, sizeof(TexturedVertex)), D3D_OK);
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    const std::vector<uint32_t> pixels = ReadBackBuffer();
    for (int py = 0; py < kSize; ++py)
      for (int px = 0; px < kSize; ++px) {
        bool inside = area != 0;
        for (int e = 0; e < 3 && inside; ++e) {
          const int k = order[e], next = order[(e + 1) % 3];
          const int64_t dx = X[next] - X[k], dy = Y[next] - Y[k];
          const int64_t edge = dx * (static_cast<int64_t>(py) * 256 - Y[k]) -
                               dy * (static_cast<int64_t>(px) * 256 - X[k]);
          const bool topOrLeft = (dy == 0 && dx > 0) || dy < 0;
          inside = edge > 0 || (edge == 0 && topOrLeft);
        }
        const bool drawn = pixels[py * kSize + px] == 0xFFFFFFFFu;
        if (drawn != inside && ++mismatches <= 5)
          ADD_FAILURE() << "scene " << scene << " pixel " << px << "," << py << (inside ? " missed" : " drawn");
      }
  }
  EXPECT_EQ(mismatches, 0);
}

// Glyph and sprite quads as the library draws them onto a larger target: axis-aligned, one texel
// per pixel, at the half-pixel offset the library gives its corners (and a few other sub-pixel
// offsets), every size from 1 to 64. The textures are in the formats the glyph caches and sprites
// use (16-bit with alpha, 32-bit, alpha only), and the stage takes colour and alpha each from the
// texture alone or times the diffuse colour, opaque, blended or through the alpha test.
class QuadDifferentialTest : public DeviceTest {
 protected:
  static constexpr int kTarget = 80;

  void SetUp() override {
    DeviceTest::SetUp();
    for (D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8}) {
      IDirect3DSurface9* target = nullptr;
      ASSERT_EQ(device_->CreateRenderTarget(kTarget, kTarget, format, D3DMULTISAMPLE_NONE, 0, TRUE, &target, nullptr),
                D3D_OK);
      owned_.push_back(target);
      targets_.push_back(target);
    }
  }

  // A texture of raw texel bytes, `bytes` per texel.
  IDirect3DTexture9* MakeRawTexture(int width, int height, D3DFORMAT format, int bytes, std::mt19937* random) {
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(device_->CreateTexture(width, height, 1, D3DUSAGE_DYNAMIC, format, D3DPOOL_DEFAULT, &texture, nullptr),
              D3D_OK);
    D3DLOCKED_RECT locked;
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < height; ++y) {
      uint8_t* row = static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch;
      for (int x = 0; x < width * bytes; ++x) {
        // Runs of fully clear and fully opaque texels among the random ones, as glyphs have.
        const int kind = (x / bytes / 5 + y) % 4;
        row[x] = kind == 0 ? 0 : kind == 1 ? 0xFF : static_cast<uint8_t>((*random)());
      }
    }
    texture->UnlockRect(0);
    owned_.push_back(texture);
    return texture;
  }

  std::vector<uint32_t> ReadTarget(IDirect3DSurface9* target) {
    std::vector<uint32_t> pixels(kTarget * kTarget);
    D3DLOCKED_RECT locked;
    EXPECT_EQ(target->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (int y = 0; y < kTarget; ++y)
      std::memcpy(&pixels[y * kTarget], static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, kTarget * 4);
    target->UnlockRect();
    return pixels;
  }

  // Draws the strip on both paths over the same background; the two pictures.
  void DrawBoth(IDirect3DSurface9* target, const TexturedVertex* strip, uint32_t background,
                std::vector<uint32_t> results[2]) {
    for (int fast = 0; fast < 2; ++fast) {
      platform::testing::UseRasterFastPaths(fast != 0);
      ASSERT_EQ(device_->SetRenderTarget(0, target), D3D_OK);
      ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, background, 1.0f, 0), D3D_OK);
      ASSERT_EQ(device_->BeginScene(), D3D_OK);
      ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, strip, sizeof(TexturedVertex)), D3D_OK);
      ASSERT_EQ(device_->EndScene(), D3D_OK);
      results[fast] = ReadTarget(target);
    }
    platform::testing::UseRasterFastPaths(true);
  }

  std::vector<IDirect3DSurface9*> targets_;
};

TEST_F(QuadDifferentialTest, GlyphAndSpriteQuadsGiveThePlainPathsBytes) {
  std::mt19937 random(31);
  struct Format {
    D3DFORMAT format;
    int bytes;
  };
  const Format formats[] = {{D3DFMT_A4R4G4B4, 2}, {D3DFMT_A1R5G5B5, 2}, {D3DFMT_A8R8G8B8, 4}, {D3DFMT_X8R8G8B8, 4},
                            {D3DFMT_R5G6B5, 2},   {D3DFMT_X1R5G5B5, 2}, {D3DFMT_A8, 1}};
  std::vector<IDirect3DTexture9*> textures;
  for (const Format& format : formats) textures.push_back(MakeRawTexture(72, 70, format.format, format.bytes, &random));
  // Each stage part: the texture alone (in either argument) or times the diffuse colour.
  const DWORD parts[][3] = {{D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE},
                            {D3DTOP_SELECTARG2, D3DTA_DIFFUSE, D3DTA_TEXTURE},
                            {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE},
                            {D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_TEXTURE}};
  // Corner offsets: the library's half pixel, whole pixels, and off-grid ones.
  const float offsets[] = {-0.5f, -0.5f, -0.5f, 0.0f, 0.25f, -0.5f + 1.0f / 256, -0.5f - 1.0f / 512};
  const DWORD colors[] = {0xFFFFFFFFu, 0xFF0000FFu, 0x80FFFFFFu, 0x00FFFFFFu, 0xFFFFFF00u};
  const DWORD alphaTests[][2] = {{D3DCMP_GREATER, 16}, {D3DCMP_GREATEREQUAL, 128}, {D3DCMP_LESS, 200}};
  uint64_t checksum = 0xCBF29CE484222325ull;
  int scenes = 0;
  for (int size = 1; size <= 64; ++size) {
    for (int repeat = 0; repeat < 5; ++repeat, ++scenes) {
      const int which = (size + repeat) % 7;
      device_->SetTexture(0, textures[which]);
      const DWORD* color = parts[random() % 4];
      const DWORD* alpha = parts[random() % 4];
      UseStage(color[0], color[1], color[2], alpha[0], alpha[1], alpha[2]);
      const int mode = random() % 4;  // opaque, blended, alpha-tested, blended and alpha-tested
      device_->SetRenderState(D3DRS_ALPHABLENDENABLE, mode & 1);
      device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
      device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
      device_->SetRenderState(D3DRS_ALPHATESTENABLE, mode >= 2);
      const DWORD* test = alphaTests[random() % 3];
      device_->SetRenderState(D3DRS_ALPHAFUNC, test[0]);
      device_->SetRenderState(D3DRS_ALPHAREF, test[1]);
      const bool gouraud = random() % 3 == 0;
      device_->SetRenderState(D3DRS_SHADEMODE, gouraud ? D3DSHADE_GOURAUD : D3DSHADE_FLAT);
      DWORD diffuse[4];
      const DWORD shared = random() % 3 ? colors[random() % 5] : static_cast<DWORD>(random());
      for (DWORD& vertex : diffuse) vertex = gouraud && random() % 2 ? static_cast<DWORD>(random()) : shared;
      const float x = static_cast<float>(random() % 12) + offsets[random() % 7];
      const float y = static_cast<float>(random() % 12) + offsets[random() % 7];
      // The cell of the texture the quad shows, in texels.
      const float cellX = static_cast<float>(random() % (72 - size + 1)),
                  cellY = static_cast<float>(random() % (70 - size + 1));
      const float w = static_cast<float>(size), h = static_cast<float>(size % 5 == 0 ? size / 2 + 1 : size);
      auto u = [](float texel) { return texel / 72.0f; };
      auto v = [](float texel) { return texel / 70.0f; };
      const TexturedVertex strip[4] = {{x, y, 0, 1, diffuse[0], u(cellX), v(cellY)},
                                       {x + w, y, 0, 1, diffuse[1], u(cellX + w), v(cellY)},
                                       {x, y + h, 0, 1, diffuse[2], u(cellX), v(cellY + h)},
                                       {x + w, y + h, 0, 1, diffuse[3], u(cellX + w), v(cellY + h)}};
      IDirect3DSurface9* target = targets_[random() % 2];
      std::vector<uint32_t> results[2];
      DrawBoth(target, strip, 0x80000000u | (random() & 0xFFFFFF), results);
      ASSERT_EQ(results[0], results[1]) << "size " << size << " scene " << scenes << " format " << which;
      for (uint32_t pixel : results[0]) checksum = (checksum ^ pixel) * 0x100000001B3ull;
    }
  }
  EXPECT_EQ(checksum, 0x7CB2A62855B2C9C1ull) << std::hex << "0x" << checksum;
}

// Pairs of triangles that make a rectangle are drawn as one on the fast spans; pairs that only
// look alike must not be. Each case is drawn blended over a background (so a pixel drawn twice or
// missed shows) with fast spans on and off, in every arrangement the primitive types give.
TEST_F(QuadDifferentialTest, TrianglePairsGiveThePlainPathsBytes) {
  std::mt19937 random(41);
  IDirect3DTexture9* texture = MakeRawTexture(40, 40, D3DFMT_A8R8G8B8, 4, &random);
  device_->SetTexture(0, texture);
  UseStage(D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  device_->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
  device_->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
  // Corners of a 30 x 20 rectangle at a half-pixel offset, texels (4, 6) on.
  auto corner = [](int right, int bottom, DWORD diffuse = 0xC0FFFFFF) {
    const float x = right ? 35.5f : 5.5f, y = bottom ? 27.5f : 7.5f;
    return TexturedVertex{x, y, 0, 1, diffuse, (x - 1.5f) / 40.0f, (y - 1.5f) / 40.0f};
  };
  const TexturedVertex tl = corner(0, 0), tr = corner(1, 0), bl = corner(0, 1), br = corner(1, 1);
  struct Case {
    const char* name;
    D3DPRIMITIVETYPE type;
    std::vector<TexturedVertex> vertices;
    DWORD cull = D3DCULL_NONE;
    bool scissor = false;
    bool empty = false;  // Culled whole.
  };
  TexturedVertex shifted = br;  // The far corner's texel moved: the halves map differently.
  shifted.u += 3.0f / 40.0f;
  TexturedVertex tinted = br;
  tinted.diffuse = 0x80FF0000;
  TexturedVertex outside = br;  // Reaching past the texture's edge, where texels clamp.
  outside.x += 12.0f;
  outside.u += 12.0f / 40.0f;
  TexturedVertex offGrid = bl;
  offGrid.x += 1.0f / 512;
  const Case cases[] = {
      {"strip", D3DPT_TRIANGLESTRIP, {tl, tr, bl, br}},
      {"list, diagonal from top-left", D3DPT_TRIANGLELIST, {tl, tr, br, tl, br, bl}},
      {"list, diagonal from top-right", D3DPT_TRIANGLELIST, {tl, tr, bl, tr, br, bl}},
      {"list, opposite windings", D3DPT_TRIANGLELIST, {tl, tr, bl, tr, bl, br}},
      {"fan", D3DPT_TRIANGLEFAN, {tl, tr, br, bl}},
      {"list, halves sharing a side (overlapping)", D3DPT_TRIANGLELIST, {tl, tr, bl, tl, tr, br}},
      {"list, the same half twice", D3DPT_TRIANGLELIST, {tl, tr, bl, tl, tr, bl}},
      {"list, one half culled", D3DPT_TRIANGLELIST, {tl, tr, bl, tr, bl, br}, D3DCULL_CCW},
      {"strip, culled", D3DPT_TRIANGLESTRIP, {tl, tr, bl, br}, D3DCULL_CW, false, true},
      {"strip, halves mapping different texels", D3DPT_TRIANGLESTRIP, {tl, tr, bl, shifted}},
      {"strip, one corner tinted", D3DPT_TRIANGLESTRIP, {tl, tr, bl, tinted}},
      {"strip, past the texture's edge", D3DPT_TRIANGLESTRIP, {tl, corner(1, 0), bl, outside}},
      {"strip, a corner off the grid", D3DPT_TRIANGLESTRIP, {tl, tr, offGrid, br}},
      {"strip, under a scissor rectangle", D3DPT_TRIANGLESTRIP, {tl, tr, bl, br}, D3DCULL_NONE, true},
      {"list of three rectangles' halves", D3DPT_TRIANGLELIST, {tl, tr, bl, tr, br, bl, tl, tr, bl}},
  };
  for (const Case& test : cases) {
    device_->SetRenderState(D3DRS_CULLMODE, test.cull);
    device_->SetRenderState(D3DRS_SCISSORTESTENABLE, test.scissor);
    const RECT scissor = {9, 3, 30, 25};
    device_->SetScissorRect(&scissor);
    const UINT primitives = test.type == D3DPT_TRIANGLELIST ? static_cast<UINT>(test.vertices.size() / 3)
                                                            : static_cast<UINT>(test.vertices.size() - 2);
    std::vector<uint32_t> results[2];
    for (int fast = 0; fast < 2; ++fast) {
      platform::testing::UseRasterFastPaths(fast != 0);
      ASSERT_EQ(device_->SetRenderTarget(0, targets_[0]), D3D_OK);
      ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF204060, 1.0f, 0), D3D_OK);
      ASSERT_EQ(device_->SetScissorRect(&scissor), D3D_OK);  // Setting the target reset it.
      ASSERT_EQ(device_->BeginScene(), D3D_OK);
      ASSERT_EQ(device_->DrawPrimitiveUP(test.type, primitives, test.vertices.data(), sizeof(TexturedVertex)), D3D_OK);
      ASSERT_EQ(device_->EndScene(), D3D_OK);
      results[fast] = ReadTarget(targets_[0]);
    }
    platform::testing::UseRasterFastPaths(true);
    EXPECT_EQ(results[0], results[1]) << test.name;
    EXPECT_EQ(results[0] == std::vector<uint32_t>(results[0].size(), 0xFF204060u), test.empty) << test.name;
  }
  device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device_->SetRenderState(D3DRS_SCISSORTESTENABLE, FALSE);
}

// One-bit alpha through an alpha test that keeps only the set bit (how glyphs are drawn): every
// run of every row of small textures, so runs shorter than eight texels end at each distance from
// the end of the texture's bytes and longer ones end at every offset within a group of eight.
TEST_F(QuadDifferentialTest, OneBitAlphaRunsGiveThePlainPathsBytesToTheTexturesEnd) {
  std::mt19937 random(53);
  const DWORD alphaTests[][2] = {{D3DCMP_GREATER, 16}, {D3DCMP_GREATEREQUAL, 255}, {D3DCMP_NOTEQUAL, 0}};
  for (int width : {7, 20}) {
    const int height = 3;
    IDirect3DTexture9* texture = MakeRawTexture(width, height, D3DFMT_A1R5G5B5, 2, &random);
    device_->SetTexture(0, texture);
    UseStage(D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device_->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    for (int first = 0; first < width; ++first)
      for (int last = first; last < width; ++last) {
        const DWORD* test = alphaTests[random() % 3];
        device_->SetRenderState(D3DRS_ALPHAFUNC, test[0]);
        device_->SetRenderState(D3DRS_ALPHAREF, test[1]);
        const float x = 3.5f, y = 2.5f, w = static_cast<float>(last - first + 1);
        const float u0 = static_cast<float>(first) / width, u1 = static_cast<float>(last + 1) / width;
        const TexturedVertex strip[4] = {{x, y, 0, 1, 0xFFFFFFFF, u0, 0},
                                         {x + w, y, 0, 1, 0xFFFFFFFF, u1, 0},
                                         {x, y + height, 0, 1, 0xFFFFFFFF, u0, 1},
                                         {x + w, y + height, 0, 1, 0xFFFFFFFF, u1, 1}};
        IDirect3DSurface9* target = targets_[random() % 2];
        std::vector<uint32_t> results[2];
        DrawBoth(target, strip, 0x80000000u | (random() & 0xFFFFFF), results);
        ASSERT_EQ(results[0], results[1]) << "width " << width << " texels " << first << ".." << last;
      }
  }
}

// Every 16-bit value of the narrow texture formats, drawn 1:1 through the fast span (which widens
// whole runs at once) and through the plain path's per-texel read.
TEST_F(QuadDifferentialTest, EveryNarrowTexelWidensAsThePlainPathReadsIt) {
  for (D3DFORMAT format :
       {D3DFMT_A4R4G4B4, D3DFMT_A1R5G5B5, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_X4R4G4B4, D3DFMT_A8R3G3B2}) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(256, 256, 1, D3DUSAGE_DYNAMIC, format, D3DPOOL_DEFAULT, &texture, nullptr),
              D3D_OK);
    owned_.push_back(texture);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 256; ++x) {
        uint8_t* texel = static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch + 2 * x;
        texel[0] = static_cast<uint8_t>(x);
        texel[1] = static_cast<uint8_t>(y);
      }
    texture->UnlockRect(0);
    device_->SetTexture(0, texture);
    UseStage(D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device_->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    // The texture in tiles of the target, each drawn 1:1 onto the A8R8G8B8 target (which keeps alpha).
    for (int tileY = 0; tileY < 256; tileY += 64)
      for (int tileX = 0; tileX < 256; tileX += 64) {
        const float u0 = tileX / 256.0f, v0 = tileY / 256.0f, u1 = (tileX + 64) / 256.0f, v1 = (tileY + 64) / 256.0f;
        const TexturedVertex strip[4] = {{-0.5f, -0.5f, 0, 1, 0xFFFFFFFF, u0, v0},
                                         {63.5f, -0.5f, 0, 1, 0xFFFFFFFF, u1, v0},
                                         {-0.5f, 63.5f, 0, 1, 0xFFFFFFFF, u0, v1},
                                         {63.5f, 63.5f, 0, 1, 0xFFFFFFFF, u1, v1}};
        std::vector<uint32_t> results[2];
        DrawBoth(targets_[1], strip, 0, results);
        ASSERT_EQ(results[0], results[1]) << "format " << format << " tile " << tileX << "," << tileY;
      }
  }
}

}  // namespace
}  // namespace d3d9_test
