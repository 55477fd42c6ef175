// TransferImagePixels: the ordered cases, the fast paths (exact bytes, and a differential check
// against the general path where the two agree), keys, alpha images, mirroring and the copies.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "memimg/image_transfer.h"
#include "platform/gdi.h"
#include "zyvel/graphics.h"

namespace {

ColorData Format(const char* name) {
  ColorData c{};
  const std::string n = name;
  if (n == "palette") {
    SetupPalette8ColorData(&c);
    for (int i = 0; i < 256; ++i)
      c.palette[i] = {static_cast<uint8_t>(i * 7), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 3 + 1), 0};
  } else if (n == "565")
    SetupColorDataFromMasks(&c, 16, 0xF800, 0x07E0, 0x001F, 0);
  else if (n == "x1555")
    SetupColorDataFromMasks(&c, 16, 0x7C00, 0x03E0, 0x001F, 0);
  else if (n == "a1555")
    SetupColorDataFromMasks(&c, 16, 0x7C00, 0x03E0, 0x001F, 0x8000);
  else if (n == "a4444")
    SetupColorDataFromMasks(&c, 16, 0x0F00, 0x00F0, 0x000F, 0xF000);
  else if (n == "rgb24")
    SetupRGB24ColorData(&c);
  else if (n == "xrgb8")
    SetupXRGB8ColorData(&c);
  else if (n == "argb8")
    SetupARGB8ColorData(&c);
  return c;
}

uint32_t Read(const std::vector<uint8_t>& buffer, int index, int bytes) {
  uint32_t value = 0;
  std::memcpy(&value, buffer.data() + index * bytes, static_cast<size_t>(bytes));
  return value;
}

void Write(std::vector<uint8_t>& buffer, int index, int bytes, uint32_t value) {
  std::memcpy(buffer.data() + index * bytes, &value, static_cast<size_t>(bytes));
}

struct Options {
  int mirror = 0, keyToAlpha = 0, dither = 0, colorOff = 0, alphaFromRed = 0, keySkip = 0, remap = 0;
  uint32_t key = 0;
};

// Converts a one-row image of `values` and returns the destination values.
std::vector<uint32_t> Convert(const char* from, const char* to, const std::vector<uint32_t>& values, Options o = {},
                              const std::vector<uint8_t>* alphaRow = nullptr, const ColorData* alphaColor = nullptr,
                              int* result = nullptr) {
  const ColorData src = Format(from), dst = Format(to);
  const int width = static_cast<int>(values.size());
  std::vector<uint8_t> source(static_cast<size_t>(width) * src.bytesPerPixel);
  for (int i = 0; i < width; ++i) Write(source, i, src.bytesPerPixel, values[static_cast<size_t>(i)]);
  std::vector<uint8_t> destination(static_cast<size_t>(width) * dst.bytesPerPixel, 0xEE);
  const ImageTransferRect rect = {0, 0, width, 1};
  const int r = TransferImagePixels(destination.data(), 0, &dst, source.data(), 0, &src,
                                    alphaRow ? alphaRow->data() : nullptr, 0, alphaColor, 0, 0, &rect, o.mirror,
                                    o.keyToAlpha, o.key, o.dither, o.colorOff, o.alphaFromRed, o.keySkip, o.remap);
  if (result) *result = r;
  std::vector<uint32_t> out;
  for (int i = 0; i < width; ++i) out.push_back(Read(destination, i, dst.bytesPerPixel));
  return out;
}

TEST(TransferImagePixels, FastPathsGiveTheirOwnExactBytes) {
  const struct {
    const char* from;
    const char* to;
    Options options;
    uint32_t in;
    uint32_t out;
  } cases[] = {
      {"565", "xrgb8", {}, 0xFFFF, 0x00F8FCF8},  // Shifted, top byte 0.
      {"565", "rgb24", {}, 0xF81F, 0xF800F8},
      {"565", "x1555", {}, 0xFFFF, 0x7FFF},  // Bit 15 clear.
      {"x1555", "565", {}, 0x0021, 0x0061},  // green6 = 2 g5 + (g5 & 1).
      {"rgb24", "xrgb8", {}, 0x123456, 0xFF123456},
      {"rgb24", "argb8", {}, 0x123456, 0xFF123456},
      {"rgb24", "565", {}, 0xFFFFFF, 0xFFFF},
      {"rgb24", "x1555", {}, 0x080808, 0x8421},
      {"xrgb8", "565", {}, 0x00FF0000, 0xF800},
      {"palette", "xrgb8", {}, 2, 0xFF07FD0E},
      {"palette", "565", {}, 2, ((7 >> 3) << 11) | ((253 >> 2) << 5) | (14 >> 3)},
      {"palette", "x1555", {}, 2, 0x8000 | ((7 >> 3) << 10) | ((253 >> 3) << 5) | (14 >> 3)},
      {"565", "argb8", {.keyToAlpha = 1, .key = 0xFF00FF}, 0xF81F, 0x00F800F8},
      {"565", "argb8", {.keyToAlpha = 1, .key = 0xFF00FF}, 0xF81E, 0xFFF800F0},
      {"565", "a1555", {.keyToAlpha = 1, .key = 0x000000}, 0x0020, 0x0000},  // Green's low bit ignored.
      {"rgb24", "argb8", {.keyToAlpha = 1, .key = 0x123456}, 0x123456, 0x00123456},
      {"rgb24", "a1555", {.keyToAlpha = 1, .key = 0x123456}, 0x123457, 0x8000 | (2 << 10) | (6 << 5) | 10},
      {"palette", "argb8", {.keyToAlpha = 1, .key = 0x07FD0E}, 2, 0x0007FD0E},
      {"palette", "argb8", {.keyToAlpha = 1, .key = 0x07FD0E}, 3, 0xFF0AFC15},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.from) + " -> " + c.to);
    EXPECT_EQ(Convert(c.from, c.to, {c.in}, c.options)[0], c.out);
  }
}

TEST(TransferImagePixels, GeneralPathWidensToFullValues) {
  // A 5-bit 31 becomes 255 here, where the 5-6-5 fast path gives 248; spare bits are set.
  EXPECT_EQ(Convert("565", "argb8", {0xFFFF})[0], 0xFFFFFFFFu);
  EXPECT_EQ(Convert("a4444", "argb8", {0x8421})[0], 0x88442211u);
  EXPECT_EQ(Convert("argb8", "a4444", {0xFFFFFFFF})[0], 0xFFFFu);
  EXPECT_EQ(Convert("argb8", "xrgb8", {0x00102030})[0], 0xFF102030u);  // Spare byte set.
}

TEST(TransferImagePixels, FastPathsMatchTheGeneralPathWhereTheyAgree) {
  const struct {
    const char* from;
    const char* to;
    int keyToAlpha;
  } pairs[] = {{"palette", "565", 0},   {"palette", "x1555", 0}, {"palette", "xrgb8", 0}, {"rgb24", "565", 0},
               {"rgb24", "x1555", 0},   {"rgb24", "xrgb8", 0},   {"rgb24", "argb8", 0},   {"xrgb8", "565", 0},
               {"palette", "argb8", 1}, {"palette", "a1555", 1}, {"rgb24", "argb8", 1},   {"rgb24", "a1555", 1}};
  uint32_t seed = 99;
  for (const auto& pair : pairs) {
    SCOPED_TRACE(std::string(pair.from) + " -> " + pair.to);
    std::vector<uint32_t> values;
    for (int i = 0; i < 4096; ++i) {
      seed = seed * 1664525u + 1013904223u;
      values.push_back(i % 7 == 0 ? 0x07FD0E : seed >> 8);  // Some pixels equal the key.
    }
    if (std::string(pair.from) == "palette")
      for (auto& v : values) v &= 0xFF;
    Options options;
    options.keyToAlpha = pair.keyToAlpha;
    options.key = 0x07FD0E;
    const auto fast = Convert(pair.from, pair.to, values, options);
    EnableImageTransferFastPaths(0);
    const auto general = Convert(pair.from, pair.to, values, options);
    EnableImageTransferFastPaths(1);
    EXPECT_EQ(fast, general);
  }
}

TEST(TransferImagePixels, PaletteCases) {
  int result = 0;
  // Equal palettes: indices copied, the highest returned (mirror honoured).
  EXPECT_EQ(Convert("palette", "palette", {3, 9, 1}, {.mirror = 1}, nullptr, nullptr, &result),
            (std::vector<uint32_t>{1, 9, 3}));
  EXPECT_EQ(result, 9);
  Convert("palette", "palette", {0, 0}, {}, nullptr, nullptr, &result);
  EXPECT_EQ(result, 0);
  // True colour to a palette: the nearest entry.
  EXPECT_EQ(Convert("xrgb8", "palette", {0x0E0AFC15 & 0xFFFFFF})[0], 3u);
  // Different palettes with remap: nearest colour in the destination palette.
  const ColorData src = Format("palette");
  ColorData dst = Format("palette");
  for (int i = 0; i < 256; ++i) dst.palette[i] = src.palette[255 - i];
  uint8_t in[2] = {4, 200}, out[2] = {0, 0};
  const ImageTransferRect rect = {0, 0, 2, 1};
  EXPECT_EQ(TransferImagePixels(out, 2, &dst, in, 2, &src, nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0, 0, 0, 0, 0, 1),
            0);
  EXPECT_EQ(out[0], 251);
  EXPECT_EQ(out[1], 55);
}

TEST(TransferImagePixels, KeysAlphaImagesAndOptions) {
  // Key skip leaves matching pixels alone; with mirror it is a plain mirrored copy.
  EXPECT_EQ(Convert("xrgb8", "xrgb8", {5, 7, 5}, {.keySkip = 1, .key = 5}),
            (std::vector<uint32_t>{0xEEEEEEEE, 7, 0xEEEEEEEE}));
  EXPECT_EQ(Convert("xrgb8", "xrgb8", {5, 7, 6}, {.mirror = 1, .keySkip = 1, .key = 5}),
            (std::vector<uint32_t>{6, 7, 5}));
  // XRGB8 to ARGB8 with key skip: matched pixels untouched, others opaque.
  EXPECT_EQ(Convert("xrgb8", "argb8", {0xAA000005, 0x00000007}, {.keySkip = 1, .key = 5}),
            (std::vector<uint32_t>{0xEEEEEEEE, 0xFF000007}));
  // Key to alpha between 16-bit formats of the same colour masks compares under those masks only,
  // so the unused top bit of the source never hides the key.
  EXPECT_EQ(Convert("x1555", "a1555", {0x001F, 0x801F, 0x0010}, {.keyToAlpha = 1, .key = 0x0000FF}),
            (std::vector<uint32_t>{0x001F, 0x001F, 0x8010}));
  // The general path: key to alpha for a 16-bit source into A4444.
  EXPECT_EQ(Convert("565", "a4444", {0xF800, 0x001F}, {.keyToAlpha = 1, .key = 0xFF0000}),
            (std::vector<uint32_t>{0x0F00, 0xF00F}));
  // An alpha image gives alpha from its red channel ...
  const ColorData alphaColor = Format("xrgb8");
  std::vector<uint8_t> alphaRow = {0, 0, 0x80, 0, 0, 0, 0x40, 0};
  EXPECT_EQ(Convert("xrgb8", "argb8", {0x123456, 0x654321}, {}, &alphaRow, &alphaColor),
            (std::vector<uint32_t>{0x80123456, 0x40654321}));
  // ... unless the source has alpha of its own.
  EXPECT_EQ(Convert("argb8", "argb8", {0x11123456}, {}, &alphaRow, &alphaColor)[0], 0x11123456u);
  // Colour off and alpha from red.
  EXPECT_EQ(Convert("xrgb8", "argb8", {0x00A01020}, {.colorOff = 1})[0], 0xFF000000u);
  EXPECT_EQ(Convert("xrgb8", "argb8", {0x00A01020}, {.alphaFromRed = 1})[0], 0xA0A01020u);
  // An empty rectangle fails.
  int result = 0;
  Convert("xrgb8", "argb8", {}, {}, nullptr, nullptr, &result);
  EXPECT_EQ(result, -1);
}

TEST(TransferImagePixels, DitheringRoundsUpAndSaturates) {
  // 0xFF in every channel never wraps to 0 when a carry is added.
  EXPECT_EQ(Convert("xrgb8", "565", {0x00FFFFFF}, {.dither = 1})[0], 0xFFFFu);
  EXPECT_EQ(Convert("xrgb8", "565", {0x00FFFFFF}, {.dither = 2})[0], 0xFFFFu);
  // Mode 2 carries the running remainder: 4 dropped of 7 twice gives one step up.
  const auto row = Convert("xrgb8", "565", {0x04, 0x04, 0x04}, {.dither = 2});
  EXPECT_EQ(row[0], 0u);
  EXPECT_EQ(row[1], 1u);
}

BaseImage MakeXrgb(int width, int height) {
  BaseImage image;
  CreateXRGB8BaseImage(width, height, &image);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t value = static_cast<uint32_t>(0x100 + y * 16 + x);
      std::memcpy(image.pixels + y * image.pitch + x * 4, &value, 4);
    }
  return image;
}

uint32_t PixelOf(const BaseImage& image, int x, int y) {
  uint32_t value;
  std::memcpy(&value, image.pixels + y * image.pitch + x * 4, 4);
  return value;
}

TEST(BaseImageCopies, CopyClipsStretchAndShrink) {
  BaseImage src = MakeXrgb(4, 4), dst;
  CreateXRGB8BaseImage(4, 4, &dst);
  std::memset(dst.pixels, 0, static_cast<size_t>(dst.pitch) * 4);
  // Source x = -3: three columns fewer, starting three pixels further right.
  ASSERT_EQ(CopyBaseImageRect(-3, 0, 4, 1, 0, 0, &src, &dst), 0);
  EXPECT_EQ(PixelOf(dst, 2, 0), 0u);
  EXPECT_EQ(PixelOf(dst, 3, 0), 0x100u);  // Source (0, 0) lands at x = 3.
  ASSERT_EQ(CopyBaseImageRect(1, 1, 10, 10, -1, 2, &src, &dst), 0);
  EXPECT_EQ(PixelOf(dst, 0, 2), 0x112u);
  EXPECT_EQ(PixelOf(dst, 1, 3), 0x123u);
  EXPECT_EQ(PixelOf(dst, 2, 3), 0u);
  EXPECT_EQ(CopyBaseImageRect(0, 0, 2, 2, 9, 9, &src, &dst), 0);  // Empty after clipping.

  EXPECT_EQ(StretchBaseImageRect(0, 0, 0, 1, &src, 0, 0, 1, 1, &dst, 0), -1);
  EXPECT_EQ(StretchBaseImageRect(0, 0, 4, 4, &src, 0, 0, 4, 5, &dst, 0), -1);
  ASSERT_EQ(StretchBaseImageRect(0, 0, 2, 2, &src, 0, 0, 4, 4, &dst, 0), 0);
  EXPECT_EQ(PixelOf(dst, 3, 3) & 0xFFFFFF, 0x111u);
  EXPECT_EQ(PixelOf(dst, 1, 0) & 0xFFFFFF, 0x100u);
  ASSERT_EQ(StretchBaseImageRect(0, 0, 4, 4, &src, 0, 0, 3, 3, &dst, 1), 0);  // Edges clamp.
  ASSERT_EQ(StretchBaseImageRect(0, 0, 4, 4, &src, 0, 0, 4, 4, &dst, 1), 0);  // Equal sizes copy.
  EXPECT_EQ(PixelOf(dst, 3, 3), 0x133u);

  ColorData xrgb = src.color;
  uint8_t half[4 * 4] = {};
  EXPECT_EQ(ShrinkImageByHalf(&xrgb, half, 8, src.pixels, src.pitch, 0, 0, 0, 0, 3, 4), -1);
  ASSERT_EQ(ShrinkImageByHalf(&xrgb, half, 8, src.pixels, src.pitch, 0, 0, 0, 0, 4, 4), 0);
  uint32_t value;
  std::memcpy(&value, half + 4, 4);
  EXPECT_EQ(value, 0x100u | ((0x02 + 0x03 + 0x12 + 0x13) >> 2));
  ASSERT_EQ(ShrinkImageByHalf(&xrgb, half, 8, src.pixels, src.pitch, 0, 0, 1, 0, 1, 1), 0);
  std::memcpy(&value, half, 4);
  EXPECT_EQ(value, 0x101u);
  ReleaseBaseImage(&src);
  ReleaseBaseImage(&dst);
}

}  // namespace

namespace {

TEST(BaseImageCopies, DibConversionSharesOrCopiesPixels) {
  struct DibBlock {
    BITMAPINFOHEADER header;
    uint8_t colors[1024];
  } block;
  BaseImage palette;
  ColorData paletteColor{};
  SetupGrey8ColorData(&paletteColor);
  ASSERT_EQ(CreateBaseImageLike(3, 2, &paletteColor, &palette), 0);
  std::memset(palette.pixels, 5, 8);
  void* bits = nullptr;
  EXPECT_EQ(ConvertBaseImageToDib(&palette, reinterpret_cast<BITMAPINFO*>(&block), &bits, 0, 0), 0);
  EXPECT_EQ(bits, palette.pixels);
  EXPECT_EQ(block.header.biBitCount, 8);
  EXPECT_EQ(block.header.biHeight, -2);
  EXPECT_EQ(block.colors[4 * 9 + 2], 9);
  EXPECT_EQ(ConvertBaseImageToDib(&palette, reinterpret_cast<BITMAPINFO*>(&block), &bits, 0, 1), 1);
  EXPECT_EQ(block.header.biBitCount, 24);
  EXPECT_EQ(static_cast<uint8_t*>(bits)[0], 5);
  EXPECT_EQ(static_cast<uint8_t*>(bits)[12], 5);  // Row 1 at the 4-byte-rounded pitch.
  ZV_FREE(bits);
  ReleaseBaseImage(&palette);
}

}  // namespace
