// Texture-stage operations and arguments, one pixel each, against the combiner's arithmetic:
// products of two 8-bit values round once to the nearest integer.
#include <cmath>

#include "device_fixture.h"

namespace d3d9_test {
namespace {

int Product(int a, int b) { return static_cast<int>(std::lround(a * b / 255.0)); }

struct StageCase {
  const char* name;
  DWORD op, arg1, arg2;
  int (*expected)(int texture, int diffuse, int textureAlpha, int diffuseAlpha, int factor);
};

const uint32_t kTexel = 0xC0306090;  // A, R, G, B
const uint32_t kDiffuse = 0x40F08020;
const uint32_t kFactor = 0x80102030;

const StageCase kStageCases[] = {
    {"SelectTexture", D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, [](int t, int, int, int, int) { return t; }},
    {"SelectDiffuse", D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE, [](int, int d, int, int, int) { return d; }},
    {"Modulate", D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE,
     [](int t, int d, int, int, int) { return Product(t, d); }},
    {"Modulate4x", D3DTOP_MODULATE4X, D3DTA_TEXTURE, D3DTA_DIFFUSE,
     [](int t, int d, int, int, int) { return std::min(255, static_cast<int>(std::lround(4.0 * t * d / 255.0))); }},
    {"Add", D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_DIFFUSE, [](int t, int d, int, int, int) { return std::min(255, t + d); }},
    {"Subtract", D3DTOP_SUBTRACT, D3DTA_TEXTURE, D3DTA_DIFFUSE,
     [](int t, int d, int, int, int) { return std::max(0, t - d); }},
    {"SubtractComplement", D3DTOP_SUBTRACT, D3DTA_TEXTURE | D3DTA_COMPLEMENT, D3DTA_DIFFUSE,
     [](int t, int d, int, int, int) { return std::max(0, 255 - t - d); }},
    {"BlendDiffuseAlpha", D3DTOP_BLENDDIFFUSEALPHA, D3DTA_TEXTURE, D3DTA_TFACTOR,
     [](int t, int, int, int da, int f) { return static_cast<int>(std::lround((t * da + f * (255 - da)) / 255.0)); }},
    {"BlendCurrentAlpha", D3DTOP_BLENDCURRENTALPHA, D3DTA_TEXTURE, D3DTA_TFACTOR,
     [](int t, int, int, int da, int f) { return static_cast<int>(std::lround((t * da + f * (255 - da)) / 255.0)); }},
    {"BlendTextureAlpha", D3DTOP_BLENDTEXTUREALPHA, D3DTA_DIFFUSE, D3DTA_TFACTOR,
     [](int, int d, int ta, int, int f) { return static_cast<int>(std::lround((d * ta + f * (255 - ta)) / 255.0)); }},
    {"AlphaReplicate", D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE, D3DTA_DIFFUSE,
     [](int, int, int ta, int, int) { return ta; }},
    {"ModulateFactor", D3DTOP_MODULATE, D3DTA_TFACTOR, D3DTA_DIFFUSE,
     [](int, int d, int, int, int f) { return Product(f, d); }},
};

class TextureStageTest : public DeviceTest, public ::testing::WithParamInterface<StageCase> {};

TEST_P(TextureStageTest, OneStageGivesTheOperationsResult) {
  const StageCase& stageCase = GetParam();
  IDirect3DTexture9* texture = MakeTexture(1, 1, {kTexel});
  Fill(0xFF000000);
  device_->SetTexture(0, texture);
  device_->SetRenderState(D3DRS_TEXTUREFACTOR, kFactor);
  UseStage(stageCase.op, stageCase.arg1, stageCase.arg2, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
  DrawQuad(-0.5f, -0.5f, 0.5f, 0.5f, kDiffuse);
  uint32_t pixel = ReadBackBuffer()[0];
  for (int channel = 0; channel < 3; ++channel)
    EXPECT_EQ(Channel(pixel, channel),
              stageCase.expected(Channel(kTexel, channel), Channel(kDiffuse, channel), Channel(kTexel, 3),
                                 Channel(kDiffuse, 3), Channel(kFactor, channel)))
        << "channel " << channel;
}

INSTANTIATE_TEST_SUITE_P(Operations, TextureStageTest, ::testing::ValuesIn(kStageCases),
                         [](const ::testing::TestParamInfo<StageCase>& info) { return info.param.name; });

// Two stages through the temporary register: stage 0 writes texture x diffuse to TEMP, stage 1
// adds TEMP to the (untouched) current colour, which is still the diffuse colour.
TEST_F(DeviceTest, ResultArgumentTempKeepsCurrent) {
  IDirect3DTexture9* texture = MakeTexture(1, 1, {kTexel});
  Fill(0xFF000000);
  device_->SetTexture(0, texture);
  UseStage(D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
  device_->SetTextureStageState(0, D3DTSS_RESULTARG, D3DTA_TEMP);
  device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
  device_->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEMP);
  device_->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
  device_->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_CURRENT);
  DrawQuad(-0.5f, -0.5f, 0.5f, 0.5f, kDiffuse);
  uint32_t pixel = ReadBackBuffer()[0];
  for (int channel = 0; channel < 3; ++channel) {
    int t = Channel(kTexel, channel), d = Channel(kDiffuse, channel);
    EXPECT_EQ(Channel(pixel, channel), std::min(255, Product(t, d) + d));
  }
}

}  // namespace
}  // namespace d3d9_test

namespace d3d9_test {
namespace {

// With the DXT switch on, a DXT1 block samples as its four published colours.
TEST_F(DeviceTest, Dxt1TextureSamplesItsBlockColours) {
  platform::testing::Direct3DSwitches switches;
  switches.offerDxtFormats = true;
  platform::testing::SetDirect3DSwitches(switches);
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
  owned_.push_back(texture);
  D3DLOCKED_RECT locked;
  ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
  EXPECT_EQ(locked.Pitch, 8);
  // Colour 0 red (0xF800) above colour 1 blue (0x001F): four-colour mode; row 0 uses codes 0-3.
  const uint8_t block[8] = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0x00, 0x00, 0x00};
  std::memcpy(locked.pBits, block, 8);
  texture->UnlockRect(0);
  Fill(0xFF000000);
  device_->SetTexture(0, texture);
  UseStage(D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
  DrawQuad(-0.5f, -0.5f, 3.5f, 3.5f);
  std::vector<uint32_t> pixels = ReadBackBuffer();
  EXPECT_EQ(pixels[0], 0xFFFF0000u);
  EXPECT_EQ(pixels[1], 0xFF0000FFu);
  EXPECT_EQ(pixels[2], 0xFFAA0055u);
  EXPECT_EQ(pixels[3], 0xFF5500AAu);
  EXPECT_EQ(pixels[kSize], 0xFFFF0000u);
}

TEST_F(DeviceTest, VolumeTextureLocksAndUpdates) {
  IDirect3DVolumeTexture9* system = nullptr;
  IDirect3DVolumeTexture9* target = nullptr;
  ASSERT_EQ(device_->CreateVolumeTexture(8, 8, 8, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &system, nullptr), D3D_OK);
  ASSERT_EQ(device_->CreateVolumeTexture(8, 8, 8, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr), D3D_OK);
  D3DLOCKED_BOX box;
  EXPECT_EQ(target->LockBox(0, &box, nullptr, 0), D3DERR_INVALIDCALL);
  ASSERT_EQ(system->LockBox(0, &box, nullptr, 0), D3D_OK);
  EXPECT_EQ(box.RowPitch, 32);
  EXPECT_EQ(box.SlicePitch, 256);
  static_cast<uint32_t*>(box.pBits)[7 * 64 + 7 * 8 + 7] = 0xFFFFFFFF;
  ASSERT_EQ(system->UnlockBox(0), D3D_OK);
  EXPECT_EQ(device_->UpdateTexture(system, target), D3D_OK);
  EXPECT_EQ(device_->UpdateTexture(target, system), D3DERR_INVALIDCALL);
  system->Release();
  target->Release();
}

}  // namespace
}  // namespace d3d9_test

namespace d3d9_test {
namespace {

// Transformed vertices carry their fog factor in the specular alpha: 255 keeps the colour, 0
// gives the fog colour, and specular colour adds when enabled.
TEST_F(DeviceTest, VertexFogAndSpecularFollowTheSpecularColour) {
  struct Vertex {
    float x, y, z, rhw;
    DWORD diffuse, specular;
  };
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR);
  UseStage(D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT);
  device_->SetRenderState(D3DRS_FOGENABLE, TRUE);
  device_->SetRenderState(D3DRS_FOGCOLOR, 0xFF0000FF);
  device_->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
  Fill(0xFF000000);
  const DWORD fogFactors[3] = {0xFF000000, 0x00000000, 0x80000000};
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  for (int i = 0; i < 3; ++i) {
    float left = i * 4 - 0.5f;
    DWORD specular = fogFactors[i] | 0x00100000;
    Vertex quad[4] = {{left, -0.5f, 0, 1, 0xFF608000, specular},
                      {left + 4, -0.5f, 0, 1, 0xFF608000, specular},
                      {left, 3.5f, 0, 1, 0xFF608000, specular},
                      {left + 4, 3.5f, 0, 1, 0xFF608000, specular}};
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
  }
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  std::vector<uint32_t> pixels = ReadBackBuffer();
  EXPECT_EQ(pixels[1], 0xFF708000u);  // Specular red 0x10 added to 0x60.
  EXPECT_EQ(pixels[5], 0xFF0000FFu);
  // Factor 128: colour x 128/255 + fog x 127/255, rounded once.
  EXPECT_EQ(pixels[9], MakeColor(0xFF, static_cast<int>(std::lround(0x70 * 128 / 255.0)),
                                 static_cast<int>(std::lround(0x80 * 128 / 255.0)),
                                 static_cast<int>(std::lround(0xFF * 127 / 255.0))));
}

}  // namespace
}  // namespace d3d9_test
