// Every loop of the software blits against the reference model, byte for byte: each pixel
// format and source kind, blend mode, parameter class, bright colour, transparency, blend image
// and path (general, line codes, stretched and mirrored), with random sizes, contents, clipping
// and positions.
#include <gtest/gtest.h>

#include <random>

#include "memimg/blit_vector.h"
#include "memimg/derived_data.h"
#include "memimg_test_images.h"
#include "reference_blit.h"

namespace {

enum class SourceKind { Direct, Alpha, Palette };
enum class Drawing { Unscaled, UnscaledWhole, Stretched };

struct DrawSettingsScope {
  MemImgDrawSettings saved = g_blitDrawSettings;
  ~DrawSettingsScope() { g_blitDrawSettings = saved; }
};

uint64_t Fnv(uint64_t hash, const std::vector<uint8_t>& bytes) {
  for (uint8_t b : bytes) hash = (hash ^ b) * 0x100000001B3ull;
  return hash;
}

// Source pixels: a quarter of them the key, alpha mostly 0 or 255, the rest anything.
void FillSource(MEMIMG* source, SourceKind kind, int format, std::mt19937& random) {
  FillRandom(source, random);
  MemImgCore* core = source->Core;
  if (kind == SourceKind::Palette) {
    for (int i = 0; i < 1024; ++i) core->Palette[i] = static_cast<uint8_t>(random());
  }
  const uint32_t key = ReadPixelAt(source, 0, 0);
  // Bits above the pixel's size do not take part in the comparison.
  const uint32_t spare = random() % 4 == 0 ? 0x10000u << (random() % 8) : 0;
  core->KeyColor = kind == SourceKind::Palette ? (key & 0xFF) | (spare ? 0x100 : 0) : format == 0 ? key | spare : key;
  for (int y = 0; y < core->Height; ++y)
    for (int x = 0; x < core->Width; ++x) {
      uint32_t value = ReadPixelAt(source, x, y);
      if (random() % 4 == 0) value = key;
      if (kind == SourceKind::Alpha) {
        const int choice = random() % 4;
        const uint32_t alpha = choice == 0 ? 0 : choice == 1 ? 255 : random() % 256;
        value = format == 1 ? (value & 0xFFFFFF) | (alpha << 24) : (value & 0xFF00FFFF) | (alpha << 16);
      }
      WritePixelAt(source, x, y, value);
    }
}

int PickParam(int paramClass, std::mt19937& random) {
  static const int kSpecial[] = {0, 128, 255};
  if (paramClass < 3) return kSpecial[paramClass];
  static const int kEdges[] = {1, 3, 4, 127, 129, 254};
  return random() % 2 ? kEdges[random() % 6] : static_cast<int>(random() % 256);
}

}  // namespace

class BlitDifferential : public testing::TestWithParam<VectorBlitLevel> {
 protected:
  void SetUp() override { SetVectorBlitLevel(GetParam()); }
  void TearDown() override { SetVectorBlitLevel(kVectorBlitBest); }
};

// Run with the plain loops alone, with the SSE2 loops and with the best this processor runs
// (blit_vector_test holds each set of vector loops to the plain ones at every width).
INSTANTIATE_TEST_SUITE_P(Levels, BlitDifferential, testing::Values(kVectorBlitNone, kVectorBlitSse2, kVectorBlitBest));

TEST_P(BlitDifferential, EveryLoopMatchesTheReferenceByteForByte) {
  DrawSettingsScope scope;
  SetupMemImgBlendTables();
  std::mt19937 random(0x5EED2026);
  static const int kModes[] = {0, 1, 2, 3, 4, 10, 11, 6};
  uint64_t realHash = 0xCBF29CE484222325ull;
  uint64_t referenceHash = realHash;
  int cases = 0;
  int mismatches = 0;

  for (int format = 0; format < 2; ++format)
    for (SourceKind kind : {SourceKind::Direct, SourceKind::Alpha, SourceKind::Palette})
      for (int mode : kModes)
        for (int paramClass = 0; paramClass < 4; ++paramClass)
          for (int bright = 0; bright < 2; ++bright)
            for (int transparent = 0; transparent < 2; ++transparent)
              for (int withBlend = 0; withBlend < 2; ++withBlend)
                for (Drawing drawing : {Drawing::Unscaled, Drawing::UnscaledWhole, Drawing::Stretched})
                  for (int repeat = 0; repeat < 5; ++repeat) {
                    ++cases;
                    const int width = 1 + random() % 20;
                    const int height = 1 + random() % 12;
                    TestImage store;
                    const bool lineCodes = drawing == Drawing::UnscaledWhole;
                    ASSERT_EQ(0, SetupMemImg(store.get(), width, height, -1, 0, format, kind == SourceKind::Palette,
                                             kind == SourceKind::Alpha, lineCodes, nullptr));
                    FillSource(store.get(), kind, format, random);
                    if (lineCodes) {
                      BuildMemImgLineCodes(store->Core);
                      store->Core->LineCodesValid = 1;
                    }
                    // Sometimes draw a view cut from a larger store.
                    TestImage view;
                    const MEMIMG* source = store.get();
                    if (drawing == Drawing::Unscaled && random() % 3 == 0 && width > 2 && height > 2) {
                      MakeMemImgView(view.get(), store.get(), 1, 1, width - 2, height - 1);
                      source = view.get();
                    }

                    TestImage blend;
                    if (withBlend) {
                      ASSERT_EQ(0, SetupMemImg(blend.get(), source->Width + random() % 3, source->Height, -1, 0, 2, 0,
                                               0, 0, nullptr));
                      FillRandom(blend.get(), random);
                      const int border = random() % 256;
                      const int range = random() % 4 == 0 ? 0 : random() % 256;
                      SetMemImgBlendImageBorder(border, range);
                      SetReferenceBlendImageBorder(border, range);
                    }

                    const int destWidth = 1 + random() % 40;
                    const int destHeight = 1 + random() % 24;
                    TestImage real;
                    TestImage reference;
                    ASSERT_EQ(0, SetupMemImg(real.get(), destWidth, destHeight, -1, 0, format, 0, 0, 0, nullptr));
                    ASSERT_EQ(0, SetupMemImg(reference.get(), destWidth, destHeight, -1, 0, format, 0, 0, 0, nullptr));
                    FillRandom(real.get(), random);
                    std::memcpy(reference->Pixels, real->Pixels, static_cast<size_t>(real->Core->Pitch) * destHeight);

                    g_blitDrawSettings.BlendMode = mode;
                    g_blitDrawSettings.BlendParam = PickParam(paramClass, random);
                    g_blitDrawSettings.BrightColor = bright ? random() & 0xFFFFFFFF : 0x00FFFFFF | (random() << 24);
                    if (drawing == Drawing::UnscaledWhole || random() % 2) {
                      g_blitDrawSettings.DrawArea = {0, 0, destWidth, destHeight};
                    } else {
                      const LONG left = static_cast<LONG>(random() % (destWidth + 1)) - 2;
                      const LONG top = static_cast<LONG>(random() % (destHeight + 1)) - 2;
                      g_blitDrawSettings.DrawArea = {left, top, left + static_cast<LONG>(random() % (destWidth + 4)),
                                                     top + static_cast<LONG>(random() % (destHeight + 4))};
                    }

                    const MEMIMG* blendImage = withBlend ? blend.get() : nullptr;
                    if (drawing == Drawing::Stretched) {
                      int rect[4];
                      rect[0] = static_cast<int>(random() % (destWidth + 8)) - 4;
                      rect[1] = static_cast<int>(random() % (destHeight + 8)) - 4;
                      rect[2] = rect[0] + static_cast<int>(random() % (2 * width + 2)) -
                                (random() % 3 == 0 ? 2 * width : 0);
                      rect[3] = rect[1] + static_cast<int>(random() % (2 * height + 2)) -
                                (random() % 3 == 0 ? 2 * height : 0);
                      BlitMemImgToRect(real.get(), source, rect, transparent, blendImage, g_blitDrawSettings);
                      ReferenceBlitToRect(reference.get(), source, rect, transparent, blendImage, g_blitDrawSettings);
                    } else {
                      int x = 0;
                      int y = 0;
                      if (drawing == Drawing::Unscaled) {
                        x = static_cast<int>(random() % (destWidth + width)) - width / 2;
                        y = static_cast<int>(random() % (destHeight + height)) - height / 2;
                      }
                      BlitMemImgAt(real.get(), source, x, y, transparent, blendImage, g_blitDrawSettings);
                      ReferenceBlitAt(reference.get(), source, x, y, transparent, blendImage, g_blitDrawSettings);
                    }
                    const std::vector<uint8_t> realBytes = StoreBytes(real.get());
                    const std::vector<uint8_t> referenceBytes = StoreBytes(reference.get());
                    realHash = Fnv(realHash, realBytes);
                    referenceHash = Fnv(referenceHash, referenceBytes);
                    if (realBytes != referenceBytes && ++mismatches <= 10) {
                      ADD_FAILURE() << "format " << format << " kind " << static_cast<int>(kind) << " mode " << mode
                                    << " param " << g_blitDrawSettings.BlendParam << " bright " << std::hex
                                    << g_blitDrawSettings.BrightColor << std::dec << " transparent " << transparent
                                    << " blend " << withBlend << " drawing " << static_cast<int>(drawing) << " source "
                                    << source->Width << "x" << source->Height;
                    }
                  }
  EXPECT_EQ(0, mismatches) << "of " << cases << " cases";
  EXPECT_EQ(realHash, referenceHash);
  // The same seeded cases always give the same bytes: a change that moved both paths alike, or
  // made the result depend on anything but the inputs, shows here.
  EXPECT_EQ(realHash, 0x2CA49E7655987ADAull) << std::hex << "0x" << realHash;
}
