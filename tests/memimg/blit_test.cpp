// The software blits' rules one at a time: golden pixels computed by hand for each formula, the
// modes that draw nothing, transparency on both paths, clipping, views and line codes, and the
// stretched blit's stepping and mirroring.
#include <gtest/gtest.h>

#include <limits>

#include "memimg/derived_data.h"
#include "memimg_test_images.h"
#include "reference_blit.h"

namespace {

class BlitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = g_blitDrawSettings;
    SetupMemImgBlendTables();
    g_blitDrawSettings.BrightColor = 0xFFFFFF;
    g_blitDrawSettings.BlendMode = 0;
    g_blitDrawSettings.BlendParam = 0;
    g_blitDrawSettings.DrawArea = {0, 0, 1000, 1000};
  }
  void TearDown() override { g_blitDrawSettings = saved_; }

  void Mode(int mode, int param) {
    g_blitDrawSettings.BlendMode = mode;
    g_blitDrawSettings.BlendParam = param;
  }

  MemImgDrawSettings saved_;
};

// A one-pixel source drawn onto a one-pixel destination.
uint32_t DrawOne(int format, bool palette, uint32_t source, uint32_t dest, int transparent = 0,
                 uint32_t key = 0xDEADBEEF) {
  TestImage s;
  TestImage d;
  EXPECT_EQ(0, SetupMemImg(s.get(), 1, 1, -1, key, format, palette, 0, 0, nullptr));
  EXPECT_EQ(0, SetupMemImg(d.get(), 1, 1, -1, 0, format, 0, 0, 0, nullptr));
  if (palette) {
    std::memcpy(s->Core->Palette + 7 * (format == 1 ? 4 : 2), &source, format == 1 ? 4 : 2);
    s->Pixels[0] = 7;
  } else {
    WritePixelAt(s.get(), 0, 0, source);
  }
  WritePixelAt(d.get(), 0, 0, dest);
  BlitMemImgAt(d.get(), s.get(), 0, 0, transparent, nullptr, g_blitDrawSettings);
  return ReadPixelAt(d.get(), 0, 0);
}

constexpr uint32_t Rgb565(int r, int g, int b) { return static_cast<uint32_t>((r << 11) | (g << 5) | b); }

}  // namespace

TEST_F(BlitTest, GoldenPixelsOfEachFormula) {
  struct Golden {
    const char* what;
    int format;
    bool palette;
    int mode;
    int param;
    uint32_t source;
    uint32_t dest;
    uint32_t expected;
  };
  // 32-bit source (red 192, green 128, blue 64) over (32, 64, 96); 5-6-5 source (20, 40, 10)
  // over (10, 20, 30).
  const uint32_t s32 = 0x00C08040, d32 = 0x11204060;
  const uint32_t s16 = Rgb565(20, 40, 10), d16 = Rgb565(10, 20, 30);
  const Golden cases[] = {
      {"copy keeps the whole word", 1, false, 0, 0, 0x77C08040, d32, 0x77C08040},
      {"alpha floors by 256, fourth byte kept", 1, false, 1, 100, s32, d32, 0x115E5953},
      {"alpha at 128 halves, fourth byte cleared", 1, false, 1, 128, s32, d32, 0x00706050},
      {"alpha at 255 copies", 1, false, 1, 255, s32, d32, s32},
      {"full-strength add", 1, false, 2, 255, s32, d32, 0x00E0C0A0},
      {"add saturates, red carry in the fourth byte", 1, false, 2, 255, 0x00FFFFFF, 0x00FFFFFF, 0x01FFFFFF},
      {"subtract clamps at 0", 1, false, 3, 255, s32, d32, 0x00000020},
      {"multiply", 1, false, 4, 0, s32, d32, 0x11182018},
      {"inverted alpha", 1, false, 10, 255, s32, d32, 0x113E7EBE},
      {"multiply-blend", 1, false, 11, 128, s32, d32, 0x111C303C},
      {"paletted copy writes the entry", 1, true, 0, 0, s32, d32, s32},
      {"paletted subtract at 0 still writes", 1, true, 3, 0, s32, 0x11204060, 0x00214160},
      {"5-6-5 alpha through the mix table", 0, false, 1, 100, s16, d16, Rgb565(13, 27, 22)},
      {"5-6-5 paletted alpha truncates by 255", 0, true, 1, 100, s16, d16, Rgb565(13, 27, 23)},
      {"5-6-5 alpha at 128 halves", 0, false, 1, 128, s16, d16, Rgb565(15, 30, 20)},
      {"5-6-5 multiply by field ranges", 0, false, 4, 0, s16, d16, Rgb565(6, 12, 9)},
      {"5-6-5 add saturates per field", 0, false, 2, 255, Rgb565(31, 63, 31), d16, Rgb565(31, 63, 31)},
      {"5-6-5 subtract: the guard bits", 0, false, 3, 255, Rgb565(4, 8, 31), d16, Rgb565(7, 12, 0)},
  };
  for (const Golden& c : cases) {
    Mode(c.mode, c.param);
    EXPECT_EQ(c.expected, DrawOne(c.format, c.palette, c.source, c.dest)) << c.what;
  }
}

TEST_F(BlitTest, ModesAndParametersThatDrawNothing) {
  const uint32_t dest = 0x11223344;
  const int nothing[][2] = {{1, 0}, {2, 0}, {3, 0}, {5, 100}, {6, 100}, {9, 100}, {12, 100}, {-1, 100}};
  for (const auto& c : nothing) {
    Mode(c[0], c[1]);
    EXPECT_EQ(dest, DrawOne(1, false, 0x00ABCDEF, dest)) << c[0] << "/" << c[1];
  }
  // Mismatched formats and a paletted destination.
  TestImage wide;
  TestImage narrow;
  TestImage indexed;
  ASSERT_EQ(0, SetupMemImg(wide.get(), 2, 2, -1, 0, 1, 0, 0, 0, nullptr));
  ASSERT_EQ(0, SetupMemImg(narrow.get(), 2, 2, -1, 0, 0, 0, 0, 0, nullptr));
  ASSERT_EQ(0, SetupMemImg(indexed.get(), 2, 2, -1, 0, 1, 1, 0, 0, nullptr));
  FillMemImgRaw(wide.get(), nullptr, 0x00808080);
  FillMemImgRaw(narrow.get(), nullptr, 0xFFFF);
  FillMemImgRaw(indexed.get(), nullptr, 3);
  Mode(0, 0);
  BlitMemImgAt(wide.get(), narrow.get(), 0, 0, 0, nullptr, g_blitDrawSettings);
  BlitMemImgAt(indexed.get(), wide.get(), 0, 0, 0, nullptr, g_blitDrawSettings);
  EXPECT_EQ(0x00808080u, ReadPixelAt(wide.get(), 1, 1));
  EXPECT_EQ(3u, ReadPixelAt(indexed.get(), 1, 1));
}

TEST_F(BlitTest, KeysCompareTheWholeWord) {
  Mode(0, 0);
  EXPECT_EQ(0x11111111u, DrawOne(1, false, 0x00102030, 0x11111111, 1, 0x00102030));
  // A key whose top byte differs from the pixel's never matches.
  EXPECT_EQ(0xFF102030u, DrawOne(1, false, 0xFF102030, 0x11111111, 1, 0x00102030));
  EXPECT_EQ(0x1111u, DrawOne(0, false, 0xF81F, 0x1111, 1, 0xF81F));
  EXPECT_EQ(0x1111u, DrawOne(0, true, 0xF81F, 0x1111, 1, 7));  // Index 7 is the key.
  // Without the transparent flag nothing is left out.
  EXPECT_EQ(0x00102030u, DrawOne(1, false, 0x00102030, 0x11111111, 0, 0x00102030));
}

TEST_F(BlitTest, AlphaZeroLeavesTheDestinationOnBothPaths) {
  // Three pixels: alpha 0, 255 and 128, drawn with line codes and (clipped) without.
  TestImage source;
  ASSERT_EQ(0, SetupMemImg(source.get(), 3, 1, -1, 0, 1, 0, 1, 1, nullptr));
  WritePixelAt(source.get(), 0, 0, 0x00FFFFFF);
  WritePixelAt(source.get(), 1, 0, 0xFF804020);
  WritePixelAt(source.get(), 2, 0, 0x80804020);
  BuildMemImgLineCodes(source->Core);
  for (int mode : {0, 1, 2, 3, 4, 10, 11}) {
    for (int clipped = 0; clipped < 2; ++clipped) {
      source->Core->LineCodesValid = 1;
      TestImage dest;
      ASSERT_EQ(0, SetupMemImg(dest.get(), 4, 1, -1, 0, 1, 0, 0, 0, nullptr));
      FillMemImgRaw(dest.get(), nullptr, 0x00406080);
      Mode(mode, 200);
      g_blitDrawSettings.DrawArea = {0, 0, clipped ? 3 : 4, 1};
      BlitMemImgAt(dest.get(), source.get(), clipped ? 1 : 0, 0, 1, nullptr, g_blitDrawSettings);
      EXPECT_EQ(0x00406080u, ReadPixelAt(dest.get(), clipped ? 1 : 0, 0)) << "mode " << mode;
    }
  }
  // Without the flag, multiply weights alpha 0 as well and clears the colour.
  TestImage dest;
  ASSERT_EQ(0, SetupMemImg(dest.get(), 3, 1, -1, 0, 1, 0, 0, 0, nullptr));
  FillMemImgRaw(dest.get(), nullptr, 0x00406080);
  Mode(4, 0);
  BlitMemImgAt(dest.get(), source.get(), 0, 0, 0, nullptr, g_blitDrawSettings);
  EXPECT_EQ(0u, ReadPixelAt(dest.get(), 0, 0) & 0xFFFFFF);
}

TEST_F(BlitTest, ClippedDrawsMatchTheLineCodePathOnTheVisiblePart) {
  TestImage source;
  ASSERT_EQ(0, SetupMemImg(source.get(), 9, 5, -1, 0, 1, 0, 1, 1, nullptr));
  std::mt19937 random(7);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 9; ++x) {
      const uint32_t alpha = (x + y) % 3 == 0 ? 0 : (x + y) % 3 == 1 ? 255 : random() % 256;
      WritePixelAt(source.get(), x, y, (random() & 0xFFFFFF) | alpha << 24);
    }
  BuildMemImgLineCodes(source->Core);
  source->Core->LineCodesValid = 1;
  for (int mode : {0, 1, 2, 3, 4, 10, 11}) {
    Mode(mode, 77);
    TestImage whole;
    TestImage cut;
    ASSERT_EQ(0, SetupMemImg(whole.get(), 12, 8, -1, 0, 1, 0, 0, 0, nullptr));
    ASSERT_EQ(0, SetupMemImg(cut.get(), 12, 8, -1, 0, 1, 0, 0, 0, nullptr));
    FillMemImgRaw(whole.get(), nullptr, 0x00336699);
    FillMemImgRaw(cut.get(), nullptr, 0x00336699);
    g_blitDrawSettings.DrawArea = {0, 0, 12, 8};
    BlitMemImgAt(whole.get(), source.get(), 2, 1, 1, nullptr, g_blitDrawSettings);
    g_blitDrawSettings.DrawArea = {4, 2, 12, 8};
    BlitMemImgAt(cut.get(), source.get(), 2, 1, 1, nullptr, g_blitDrawSettings);
    for (int y = 2; y < 8; ++y)
      for (int x = 4; x < 12; ++x)
        EXPECT_EQ(ReadPixelAt(whole.get(), x, y), ReadPixelAt(cut.get(), x, y)) << mode << " " << x << "," << y;
  }
}

TEST_F(BlitTest, ViewsAndRewrittenStoresNeverUseStaleLineCodes) {
  // A store whose line codes were built, then a view cut from it, then a write into the store.
  TestImage store;
  ASSERT_EQ(0, SetupMemImg(store.get(), 4, 2, -1, 0x00000000, 1, 0, 0, 1, nullptr));
  const uint32_t pixels[2][4] = {{0, 0x00111111, 0, 0x00222222}, {0x00333333, 0, 0x00444444, 0}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) WritePixelAt(store.get(), x, y, pixels[y][x]);
  BuildMemImgLineCodes(store->Core);
  store->Core->LineCodesValid = 1;
  TestImage view;
  MakeMemImgView(view.get(), store.get(), 1, 0, 3, 2);
  TestImage dest;
  TestImage expected;
  for (TestImage* image : {&dest, &expected}) {
    ASSERT_EQ(0, SetupMemImg(image->get(), 3, 2, -1, 0, 1, 0, 0, 0, nullptr));
    FillMemImgRaw(image->get(), nullptr, 0x00ABCDEF);
  }
  Mode(0, 0);
  BlitMemImgAt(dest.get(), view.get(), 0, 0, 1, nullptr, g_blitDrawSettings);
  ReferenceBlitAt(expected.get(), view.get(), 0, 0, 1, nullptr, g_blitDrawSettings);
  EXPECT_EQ(PixelBytes(expected.get()), PixelBytes(dest.get()));
  EXPECT_EQ(0x00111111u, ReadPixelAt(dest.get(), 0, 0));
  EXPECT_EQ(0x00ABCDEFu, ReadPixelAt(dest.get(), 1, 0));

  // Drawing into the store makes its codes stale: a key pixel written by a blit is skipped.
  TestImage black;
  ASSERT_EQ(0, SetupMemImg(black.get(), 1, 1, -1, 0xFFFFFFFF, 1, 0, 0, 0, nullptr));
  FillMemImgRaw(black.get(), nullptr, 0);
  BlitMemImgAt(store.get(), black.get(), 1, 0, 0, nullptr, g_blitDrawSettings);
  EXPECT_EQ(0, store->Core->LineCodesValid);
  TestImage after;
  ASSERT_EQ(0, SetupMemImg(after.get(), 4, 2, -1, 0, 1, 0, 0, 0, nullptr));
  FillMemImgRaw(after.get(), nullptr, 0x00ABCDEF);
  BlitMemImgAt(after.get(), store.get(), 0, 0, 1, nullptr, g_blitDrawSettings);
  EXPECT_EQ(0x00ABCDEFu, ReadPixelAt(after.get(), 1, 0));
}

TEST_F(BlitTest, BlendImagesWeightAndMustCoverTheSource) {
  TestImage source;
  TestImage blend;
  TestImage small;
  TestImage dest;
  ASSERT_EQ(0, SetupMemImg(source.get(), 2, 1, -1, 0, 1, 0, 0, 0, nullptr));
  ASSERT_EQ(0, SetupMemImg(blend.get(), 2, 1, -1, 0, 2, 0, 0, 0, nullptr));
  ASSERT_EQ(0, SetupMemImg(small.get(), 1, 1, -1, 0, 2, 0, 0, 0, nullptr));
  ASSERT_EQ(0, SetupMemImg(dest.get(), 2, 1, -1, 0, 1, 0, 0, 0, nullptr));
  FillMemImgRaw(source.get(), nullptr, 0x00FFFFFF);
  FillMemImgRaw(dest.get(), nullptr, 0);
  blend->Pixels[0] = 0;
  blend->Pixels[1] = 128;
  SetMemImgBlendImageBorder(128, 255);  // Weights equal the bytes.
  Mode(0, 0);
  BlitMemImgAt(dest.get(), source.get(), 0, 0, 0, blend.get(), g_blitDrawSettings);
  EXPECT_EQ(0u, ReadPixelAt(dest.get(), 0, 0));
  EXPECT_EQ(0x007F7F7Fu, ReadPixelAt(dest.get(), 1, 0));  // 0 + 128 x 255 / 256.
  FillMemImgRaw(dest.get(), nullptr, 0);
  BlitMemImgAt(dest.get(), source.get(), 0, 0, 0, small.get(), g_blitDrawSettings);
  EXPECT_EQ(0u, ReadPixelAt(dest.get(), 1, 0));
}

TEST_F(BlitTest, BrightColourScalesEachChannel) {
  g_blitDrawSettings.BrightColor = 0x008040FF;  // Red 128, green 64, blue 255.
  Mode(0, 0);
  EXPECT_EQ(0x11804000u | 0xFF, DrawOne(1, false, 0x77FFFFFF, 0x11000000));
}

TEST_F(BlitTest, StretchedStepsMirrorsAndClips) {
  auto row = [](const MEMIMG* image) {
    std::vector<uint32_t> values;
    for (int x = 0; x < image->Width; ++x) values.push_back(ReadPixelAt(image, x, 0));
    return values;
  };
  TestImage two;
  TestImage four;
  ASSERT_EQ(0, SetupMemImg(two.get(), 2, 1, -1, 0, 1, 0, 0, 0, nullptr));
  ASSERT_EQ(0, SetupMemImg(four.get(), 4, 1, -1, 0, 1, 0, 0, 0, nullptr));
  for (int x = 0; x < 4; ++x) WritePixelAt(four.get(), x, 0, 0x10 * (x + 1));
  WritePixelAt(two.get(), 0, 0, 0xA);
  WritePixelAt(two.get(), 1, 0, 0xB);
  Mode(0, 0);

  TestImage dest;
  ASSERT_EQ(0, SetupMemImg(dest.get(), 6, 1, -1, 0, 1, 0, 0, 0, nullptr));
  FillMemImgRaw(dest.get(), nullptr, 0);
  const int doubled[4] = {0, 0, 4, 1};
  BlitMemImgToRect(dest.get(), two.get(), doubled, 0, nullptr, g_blitDrawSettings);
  EXPECT_EQ((std::vector<uint32_t>{0xA, 0xA, 0xB, 0xB, 0, 0}), row(dest.get()));

  FillMemImgRaw(dest.get(), nullptr, 0);
  const int halved[4] = {0, 0, 2, 1};
  BlitMemImgToRect(dest.get(), four.get(), halved, 0, nullptr, g_blitDrawSettings);
  EXPECT_EQ((std::vector<uint32_t>{0x10, 0x30, 0, 0, 0, 0}), row(dest.get()));

  FillMemImgRaw(dest.get(), nullptr, 0);
  const int mirrored[4] = {5, 1, 1, 0};  // Same size, reversed corners: mirrored both ways.
  BlitMemImgToRect(dest.get(), four.get(), mirrored, 0, nullptr, g_blitDrawSettings);
  EXPECT_EQ((std::vector<uint32_t>{0, 0x40, 0x30, 0x20, 0x10, 0}), row(dest.get()));

  // Partly left of the draw area: the first drawn column is where unclipped stepping would be.
  FillMemImgRaw(dest.get(), nullptr, 0);
  g_blitDrawSettings.DrawArea = {3, 0, 6, 1};
  const int wide[4] = {0, 0, 6, 1};  // 4 -> 6: 1.5 destination pixels per source pixel.
  BlitMemImgToRect(dest.get(), four.get(), wide, 0, nullptr, g_blitDrawSettings);
  EXPECT_EQ((std::vector<uint32_t>{0, 0, 0, 0x30, 0x30, 0x40}), row(dest.get()));

  FillMemImgRaw(dest.get(), nullptr, 0);
  g_blitDrawSettings.DrawArea = {0, 0, 6, 1};
  const int empty[4] = {2, 0, 2, 1};
  BlitMemImgToRect(dest.get(), four.get(), empty, 0, nullptr, g_blitDrawSettings);
  EXPECT_EQ(std::vector<uint32_t>(6, 0), row(dest.get()));
}

TEST_F(BlitTest, StretchedSameSizeIsTheUnscaledBlit) {
  // 100 x 50 into (0, 0, 100, 50) takes the unscaled blit, line codes and halving form included;
  // into (100, 0, 0, 50) it is mirrored through the stepping, which has no halving form.
  TestImage source;
  ASSERT_EQ(0, SetupMemImg(source.get(), 100, 50, -1, 0, 1, 0, 0, 0, nullptr));
  std::mt19937 random(3);
  FillRandom(source.get(), random);
  Mode(1, 128);
  TestImage a;
  TestImage b;
  TestImage c;
  for (TestImage* image : {&a, &b, &c}) {
    ASSERT_EQ(0, SetupMemImg(image->get(), 100, 50, -1, 0, 1, 0, 0, 0, nullptr));
    FillMemImgRaw(image->get(), nullptr, 0x12345678);
  }
  const int same[4] = {0, 0, 100, 50};
  BlitMemImgToRect(a.get(), source.get(), same, 0, nullptr, g_blitDrawSettings);
  BlitMemImgAt(b.get(), source.get(), 0, 0, 0, nullptr, g_blitDrawSettings);
  EXPECT_EQ(PixelBytes(b.get()), PixelBytes(a.get()));
  EXPECT_EQ(0u, ReadPixelAt(a.get(), 5, 5) >> 24);  // The halving form clears the fourth byte.

  const int reversed[4] = {100, 0, 0, 50};
  BlitMemImgToRect(c.get(), source.get(), reversed, 0, nullptr, g_blitDrawSettings);
  const uint32_t s = ReadPixelAt(source.get(), 99, 7);
  const uint32_t got = ReadPixelAt(c.get(), 0, 7);
  EXPECT_EQ(0x12u, got >> 24);  // Stepping keeps the fourth byte: no halving form.
  for (int channel = 0; channel < 3; ++channel) {
    const int sc = (s >> (8 * channel)) & 0xFF;
    const int dc = (0x12345678 >> (8 * channel)) & 0xFF;
    EXPECT_EQ(dc + ((128 * (sc - dc)) >> 8), static_cast<int>((got >> (8 * channel)) & 0xFF));
  }
}

TEST_F(BlitTest, ExtremeCoordinatesStayInsideTheImages) {
  TestImage source;
  ASSERT_EQ(0, SetupMemImg(source.get(), 5, 3, -1, 0, 1, 0, 0, 0, nullptr));
  std::mt19937 random(11);
  FillRandom(source.get(), random);
  Mode(1, 77);
  const int kMin = std::numeric_limits<int>::min();
  const int kMax = std::numeric_limits<int>::max();
  const int rects[][4] = {{kMin, kMin, kMax, kMax},         {kMax, 0, kMin, 10},       {-2000000000, 1, 2000000000, 2},
                          {kMax - 1, kMax - 1, kMax, kMax}, {3, 2, 3 + 1, 2 - 100000}, {0, 0, 1, 70000}};
  for (const auto& rect : rects) {
    TestImage real;
    TestImage expected;
    for (TestImage* image : {&real, &expected}) {
      ASSERT_EQ(0, SetupMemImg(image->get(), 16, 8, -1, 0, 1, 0, 0, 0, nullptr));
      FillMemImgRaw(image->get(), nullptr, 0x00102030);
    }
    BlitMemImgToRect(real.get(), source.get(), rect, 0, nullptr, g_blitDrawSettings);
    ReferenceBlitToRect(expected.get(), source.get(), rect, 0, nullptr, g_blitDrawSettings);
    EXPECT_EQ(PixelBytes(expected.get()), PixelBytes(real.get())) << rect[0] << "," << rect[1];
    BlitMemImgAt(real.get(), source.get(), rect[0], rect[1], 1, nullptr, g_blitDrawSettings);
    ReferenceBlitAt(expected.get(), source.get(), rect[0], rect[1], 1, nullptr, g_blitDrawSettings);
    EXPECT_EQ(PixelBytes(expected.get()), PixelBytes(real.get())) << rect[0] << "," << rect[1];
  }
}
