// Colour data, base images and per-pixel access, and the DXT block decoder.
#include <gtest/gtest.h>

#include <cstring>

#include "zyvel/graphics.h"

namespace {

ColorData FromMasks(int bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  ColorData color{};
  SetupColorDataFromMasks(&color, bits, r, g, b, a);
  return color;
}

TEST(ColorData, MasksGiveShiftsWidthsAndSpareBits) {
  const struct {
    int bits;
    uint32_t masks[4];
    int widths[4];
    int shifts[4];
    uint32_t spare;
    int spareShift, spareWidth;
  } cases[] = {
      {16, {0xF800, 0x07E0, 0x001F, 0}, {5, 6, 5, 0}, {11, 5, 0, 0}, 0, 0, 0},
      {16, {0x7C00, 0x03E0, 0x001F, 0}, {5, 5, 5, 0}, {10, 5, 0, 0}, 0x8000, 15, 1},
      {32, {0xFF0000, 0xFF00, 0xFF, 0}, {8, 8, 8, 0}, {16, 8, 0, 0}, 0xFF000000, 24, 8},
      {32, {0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000}, {10, 10, 10, 2}, {0, 10, 20, 30}, 0, 0, 0},
      {16, {0x0F0F, 0x00F0, 0, 0}, {4, 4, 0, 0}, {0, 4, 0, 0}, 0xF000, 12, 4},  // A gap: lowest run only.
  };
  for (const auto& c : cases) {
    ColorData color = FromMasks(c.bits, c.masks[0], c.masks[1], c.masks[2], c.masks[3]);
    SCOPED_TRACE(c.masks[0]);
    EXPECT_EQ(color.bytesPerPixel, c.bits / 8);
    EXPECT_EQ(color.redWidth, c.widths[0]);
    EXPECT_EQ(color.greenWidth, c.widths[1]);
    EXPECT_EQ(color.blueWidth, c.widths[2]);
    EXPECT_EQ(color.alphaWidth, c.widths[3]);
    EXPECT_EQ(color.redShift, c.shifts[0]);
    EXPECT_EQ(color.greenShift, c.shifts[1]);
    EXPECT_EQ(color.alphaShift, c.shifts[3]);
    EXPECT_EQ(color.spareMask, c.spare);
    EXPECT_EQ(color.spareShift, c.spareShift);
    EXPECT_EQ(color.spareWidth, c.spareWidth);
  }
}

TEST(ColorData, StandardBuildersAndSpareRefresh) {
  ColorData color;
  std::memset(&color, 0xAB, sizeof(color));
  SetupARGB8ColorData(&color);
  EXPECT_EQ(color.alphaMask, 0xFF000000u);
  EXPECT_EQ(color.spareMask, 0u);
  EXPECT_EQ(color.dxtKind, 0u);
  EXPECT_EQ(color.palette[3].red, 0xAB);  // Kept.
  SetupGrey8ColorData(&color);
  EXPECT_EQ(color.palette[77].red, 77);
  EXPECT_EQ(color.palette[77].alpha, 0);
  EXPECT_EQ(color.spareMask, 0xFF000000u);
  SetupXRGB8ColorData(&color);
  EXPECT_EQ(color.spareShift, 24);
  EXPECT_EQ(RefreshSpareBitMask(&color)->spareMask, 0xFF000000u);
  color.alphaMask = 0xFF000000;
  color.alphaWidth = 8;
  EXPECT_EQ(RefreshSpareBitMask(&color)->spareMask, 0u);
}

TEST(ColorData, ColourCodesAndTheirSplit) {
  ColorData xrgb{}, argb{}, rgb565 = FromMasks(16, 0xF800, 0x07E0, 0x001F, 0);
  SetupXRGB8ColorData(&xrgb);
  SetupARGB8ColorData(&argb);
  EXPECT_EQ(MakeBaseImageColorCode(&xrgb, 1, 2, 3, 4), 0xFF010203u);
  EXPECT_EQ(MakeBaseImageColorCode(&argb, 1, 2, 3, 4), 0x04010203u);
  EXPECT_EQ(MakeBaseImageColorCode(&rgb565, 0x1FF, 0xFF, 0xFF, 0), 0xFFFFu);  // Low 8 bits of each.
  uint32_t r, g, b, a = 99;
  SplitColorCode(&rgb565, 0xFFFF, &r, &g, &b, &a);
  EXPECT_EQ(r, 255u);
  EXPECT_EQ(g, 255u);
  EXPECT_EQ(b, 255u);
  EXPECT_EQ(a, 0u);
  SplitColorCode(&rgb565, 0x8410, &r, &g, &b, nullptr);  // 16, 32, 16: scaled and truncated.
  EXPECT_EQ(r, 131u);
  EXPECT_EQ(g, 129u);
  SplitColorCode(&xrgb, 0xFF112233, &r, nullptr, nullptr, &a);
  EXPECT_EQ(r, 0x11u);
  EXPECT_EQ(a, 0u);

  ColorData palette{};
  SetupPalette8ColorData(&palette);
  std::memset(palette.palette, 0xFF, sizeof(palette.palette));
  palette.palette[0] = {0, 0, 0, 0};
  palette.palette[5] = {0, 0, 0, 0};
  palette.palette[9] = {10, 10, 10, 0};
  EXPECT_EQ(MakeBaseImageColorCode(&palette, 0, 0, 0, 0), 0u);  // Lowest index wins ties.
  EXPECT_EQ(MakeBaseImageColorCode(&palette, 9, 11, 9, 0), 9u);
}

TEST(BaseImage, CreatePitchesAndRelease) {
  ColorData rgb24{}, palette{};
  SetupRGB24ColorData(&rgb24);
  SetupPalette8ColorData(&palette);
  BaseImage image;
  ASSERT_EQ(CreateBaseImageLike(3, 2, &rgb24, &image), 0);
  EXPECT_EQ(image.pitch, 12);
  ReleaseBaseImage(&image);
  EXPECT_EQ(image.pixels, nullptr);
  ASSERT_EQ(CreateBaseImageLike(5, 1, &palette, &image), 0);
  EXPECT_EQ(image.pitch, 8);
  ReleaseBaseImage(&image);
  ASSERT_EQ(CreateARGB8BaseImage(3, 3, &image), 0);
  EXPECT_EQ(image.pitch, 12);
  EXPECT_EQ(image.mipMapCount, 0);
  ReleaseBaseImage(&image);
}

// A width x height image whose pixel (x, y) holds the value 16 y + x in every byte.
BaseImage MakeNumbered(int width, int height, int bits) {
  ColorData color{};
  if (bits == 8)
    SetupPalette8ColorData(&color);
  else if (bits == 24)
    SetupRGB24ColorData(&color);
  else if (bits == 16)
    SetupColorDataFromMasks(&color, 16, 0xF800, 0x07E0, 0x001F, 0);
  else
    SetupXRGB8ColorData(&color);
  BaseImage image;
  CreateBaseImageLike(width, height, &color, &image);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      std::memset(image.pixels + y * image.pitch + x * (bits / 8), 16 * y + x, static_cast<size_t>(bits / 8));
  return image;
}

uint8_t At(const BaseImage& image, int x, int y) {
  return image.pixels[y * image.pitch + x * image.color.bytesPerPixel];
}

TEST(BaseImage, MirrorRotateAndClear) {
  for (int bits : {8, 16, 24, 32}) {
    SCOPED_TRACE(bits);
    BaseImage image = MakeNumbered(3, 3, bits);
    ASSERT_EQ(MirrorBaseImage(&image), 0);
    EXPECT_EQ(At(image, 0, 1), 0x12);
    EXPECT_EQ(At(image, 1, 1), 0x11);
    EXPECT_EQ(At(image, 2, 1), 0x10);
    ASSERT_EQ(MirrorBaseImage(&image), 0);
    ASSERT_EQ(RotateBaseImage180(&image), 0);
    EXPECT_EQ(At(image, 0, 0), 0x22);
    EXPECT_EQ(At(image, 0, 1), 0x12);  // The middle row reversed.
    EXPECT_EQ(At(image, 1, 1), 0x11);
    EXPECT_EQ(At(image, 2, 2), 0x00);
    ClearBaseImageRect(&image, 1, 1, 5, 5);  // Kept inside the image.
    EXPECT_EQ(At(image, 2, 2), 0);
    EXPECT_EQ(At(image, 0, 1), 0x12);
    ReleaseBaseImage(&image);
  }
  BaseImage narrow = MakeNumbered(1, 2, 32);
  EXPECT_EQ(MirrorBaseImage(&narrow), 0);
  EXPECT_EQ(At(narrow, 0, 1), 0x10);
  ReleaseBaseImage(&narrow);
  BaseImage empty{};
  EXPECT_EQ(MirrorBaseImage(&empty), -1);
}

TEST(BaseImage, PixelAccess) {
  BaseImage image = MakeNumbered(2, 2, 16);
  EXPECT_EQ(SetBaseImagePixel(&image, 1, 1, 255, 255, 255, 0), 0);
  EXPECT_EQ(GetBaseImagePixelArgb(&image, 1, 1), 0x00F8FCF8u);
  uint32_t r = 0;
  EXPECT_EQ(GetBaseImagePixel(&image, 1, 1, &r, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(r, 255u);
  EXPECT_EQ(GetBaseImagePixel(&image, 2, 0, &r, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(SetBaseImagePixel(&image, 0, 2, 1, 1, 1, 1), -1);
  ReleaseBaseImage(&image);

  BaseImage rgb = MakeNumbered(2, 1, 24);
  EXPECT_EQ(SetBaseImagePixel(&rgb, 1, 0, 0x12, 0x34, 0x56, 0), 0);
  EXPECT_EQ(rgb.pixels[3], 0x56);
  EXPECT_EQ(rgb.pixels[5], 0x12);
  EXPECT_EQ(rgb.pixels[0], 0x00);
  ReleaseBaseImage(&rgb);

  BaseImage palette = MakeNumbered(1, 1, 8);
  palette.color.palette[0] = {1, 2, 3, 4};
  uint32_t g, b, a;
  GetBaseImagePixel(&palette, 0, 0, &r, &g, &b, &a);
  EXPECT_EQ(r, 3u);
  EXPECT_EQ(a, 4u);
  EXPECT_EQ(GetBaseImagePixelArgb(&palette, 0, 0), 0x00030201u);
  ReleaseBaseImage(&palette);
}

// ---- DXT ----

BaseImage MakeDxt(uint32_t kind, int width, int height, const std::vector<uint8_t>& blocks) {
  BaseImage image{};
  SetupARGB8ColorData(&image.color);
  image.color.dxtKind = kind;
  image.color.bitDepth = kind == 1 ? 4 : 8;
  image.width = width;
  image.height = height;
  image.pixels = static_cast<uint8_t*>(ZV_ALLOC(static_cast<int>(blocks.size())));
  std::memcpy(image.pixels, blocks.data(), blocks.size());
  return image;
}

uint32_t PixelWord(const BaseImage& image, int x, int y) {
  uint32_t value;
  std::memcpy(&value, image.pixels + y * image.pitch + x * 4, 4);
  return value;
}

TEST(DxtDecoder, ColourAndAlphaBlocks) {
  // DXT1 with equal colours: three-colour mode, index 3 transparent.
  BaseImage dxt1 = MakeDxt(1, 4, 4, {0x1F, 0x00, 0x1F, 0x00, 0xC0, 0x00, 0x00, 0x00});
  ASSERT_EQ(DecodeDxtBaseImage(&dxt1), 0);
  EXPECT_EQ(dxt1.color.dxtKind, 0u);
  EXPECT_EQ(dxt1.pitch, 16);
  EXPECT_EQ(PixelWord(dxt1, 0, 0), 0xFF0000FFu);
  EXPECT_EQ(PixelWord(dxt1, 3, 0), 0x000000FFu);
  EXPECT_EQ(DecodeDxtBaseImage(&dxt1), 0);  // Already plain.
  ReleaseBaseImage(&dxt1);

  // DXT3 nibbles 0xF and 0x1.
  BaseImage dxt3 = MakeDxt(3, 4, 4, {0x1F, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0});
  ASSERT_EQ(DecodeDxtBaseImage(&dxt3), 0);
  EXPECT_EQ(PixelWord(dxt3, 0, 0) >> 24, 255u);
  EXPECT_EQ(PixelWord(dxt3, 1, 0) >> 24, 17u);
  ReleaseBaseImage(&dxt3);

  // DXT5 with alpha 0 = 255, alpha 1 = 0: index 2 is 218.
  BaseImage dxt5 = MakeDxt(5, 4, 4, {255, 0, 0x02, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0});
  ASSERT_EQ(DecodeDxtBaseImage(&dxt5), 0);
  EXPECT_EQ(PixelWord(dxt5, 0, 0) >> 24, 218u);
  EXPECT_EQ(PixelWord(dxt5, 1, 0) >> 24, 255u);
  ReleaseBaseImage(&dxt5);

  // DXT4 (premultiplied) with alpha 0 gives black rather than dividing by zero; a 2 x 2 image
  // decodes its one partial block.
  BaseImage dxt4 = MakeDxt(4, 2, 2, {0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0});
  ASSERT_EQ(DecodeDxtBaseImage(&dxt4), 0);
  EXPECT_EQ(PixelWord(dxt4, 1, 1), 0u);
  ReleaseBaseImage(&dxt4);

  // Mirroring and pixel access decode first.
  BaseImage mirrored = MakeDxt(1, 4, 4, {0x00, 0xF8, 0x1F, 0x00, 0x01, 0, 0, 0});
  ASSERT_EQ(MirrorBaseImage(&mirrored), 0);
  EXPECT_EQ(PixelWord(mirrored, 3, 0), 0xFF0000FFu);
  EXPECT_EQ(PixelWord(mirrored, 0, 0), 0xFFFF0000u);
  ReleaseBaseImage(&mirrored);
}

}  // namespace
