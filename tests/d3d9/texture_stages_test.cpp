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

const uint32_t kTexel = 0xC0306090;    // A, R, G, B
const uint32_t kDiffuse = 0x40F08020;
const uint32_t kFactor = 0x80102030;

const StageCase kStageCases[] = {
    {"SelectTexture", D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, [](int t, int, int, int, int) { return t; }},
    {"SelectDiffuse", D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE, [](int, int d, int, int, int) { return d; }},
    {"Modulate", D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, [](int t, int d, int, int, int) { return Product(t, d); }},
    {"Modulate4x", D3DTOP_MODULATE4X, D3DTA_TEXTURE, D3DTA_DIFFUSE,
     [](int t, int d, int, int, int) { return std::min(255, static_cast<int>(std::lround(4.0 * t * d / 255.0))); }},
    {"Add", D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_DIFFUSE, [](int t, int d, int, int, int) { return std::min(255, t + d); }},
    {"Subtract", D3DTOP_SUBTRACT, D3DTA_TEXTURE, D3DTA_DIFFUSE, [](int t, int d, int, int, int) { return std::max(0, t - d); }},
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
    {"ModulateFactor", D3DTOP_MODULATE, D3DTA_TFACTOR, D3DTA_DIFFUSE, [](int, int d, int, int, int f) { return Product(f, d); }},
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
    EXPECT_EQ(Channel(pixel, channel), stageCase.expected(Channel(kTexel, channel), Channel(kDiffuse, channel),
                                                          Channel(kTexel, 3), Channel(kDiffuse, 3), Channel(kFactor, channel)))
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
