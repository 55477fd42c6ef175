// The DDS loader: files ImageMagick writes here at test time (DXT1, DXT5 and uncompressed, with
// and without mip chains) against ImageMagick's own decode, files built byte by byte for what it
// does not write (DXT2 to DXT4, Direct3D format numbers, odd chains), and cut or damaged files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image_test_support.h"
#include "runtime/tracked_heap.h"

namespace {

using image_test::LoadFromMemory;
using image_test::ReadFileBytes;
using image_test::ToRgba8;

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

constexpr uint32_t kFourCCFlag = 0x4, kRgbFlag = 0x40, kAlphaPixelsFlag = 0x1;

uint32_t Code(const char* text) {
  return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) |
         static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24;
}

struct DdsFormat {
  uint32_t pixelFlags;
  uint32_t fourCC;
  uint32_t bits;
  uint32_t masks[4];  // Red, green, blue, alpha.
};

// A 128-byte header and the data; a mip count above 0 sets the count flag and both mip caps.
std::vector<uint8_t> MakeDds(int width, int height, const DdsFormat& format, int mipCount,
                             const std::vector<uint8_t>& data, uint32_t pitch = 0) {
  std::vector<uint8_t> out(128 + data.size(), 0);
  std::memcpy(out.data(), "DDS ", 4);
  Put32(out, 4, 124);
  Put32(out, 8, 0x1007 | (pitch ? 0x8 : 0) | (mipCount ? 0x20000 : 0));
  Put32(out, 12, static_cast<uint32_t>(height));
  Put32(out, 16, static_cast<uint32_t>(width));
  Put32(out, 20, pitch);
  Put32(out, 28, static_cast<uint32_t>(mipCount));
  Put32(out, 76, 32);
  Put32(out, 80, format.pixelFlags);
  Put32(out, 84, format.fourCC);
  Put32(out, 88, format.bits);
  for (int i = 0; i < 4; ++i) Put32(out, 92 + 4 * i, format.masks[i]);
  Put32(out, 108, 0x1000 | (mipCount ? 0x400008 : 0));
  std::copy(data.begin(), data.end(), out.begin() + 128);
  return out;
}

DdsFormat Dxt(const char* code) { return {kFourCCFlag, Code(code), 0, {0, 0, 0, 0}}; }

// A temporary directory for ImageMagick's files, removed with everything in it.
class ImageMagickFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zyvel_dds_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
  }
  void TearDown() override { ASSERT_EQ(std::system(("rm -rf " + directory_).c_str()), 0); }

  // Writes `picture` as a DDS file with the given options and its RGBA decode beside it.
  std::string Make(const std::string& name, const std::string& picture, const std::string& options) {
    const std::string path = directory_ + "/" + name + ".dds";
    const std::string command = "convert " + picture + " " + options + " " + path + " && convert " + path +
                                " -depth 8 rgba:" + path + ".rgba";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return path;
  }

  std::string directory_;
};

struct MagickCase {
  const char* picture;
  const char* options;
  uint32_t dxtKind;  // Of the loaded image.
  int tolerance;     // Per channel, against ImageMagick's decode.
};

const char* const kGradient13x7 =
    "-size 13x7 xc: -sparse-color bilinear '0,0 red 12,0 lime 0,6 blue 12,6 white' -alpha set -channel A -fx "
    "'0.1+i/13' +channel";

TEST_F(ImageMagickFiles, DecodeToImageMagicksPixels) {
  // ImageMagick rounds the interpolated colours and alphas where the blocks are decoded with
  // truncation, so compressed pixels may differ by one.
  const MagickCase cases[] = {
      {kGradient13x7, "-define dds:compression=dxt1 -define dds:mipmaps=0", 1, 1},
      {kGradient13x7, "-define dds:compression=dxt5 -define dds:mipmaps=0", 5, 1},
      {kGradient13x7, "-define dds:compression=none -define dds:mipmaps=0", 0, 0},
      {"-size 13x7 gradient:yellow-navy -alpha off", "-define dds:compression=none", 0, 0},
      {"-size 1x1 xc:orange", "-define dds:compression=dxt1", 1, 1},
      {"-size 3x5 gradient:red-blue -alpha set -channel A -fx 'j/5' +channel", "-define dds:compression=dxt5", 5, 1},
      {"-size 5x3 gradient:white-green", "-define dds:compression=dxt1", 1, 1},
      {"-size 5x3 gradient:white-green -alpha set -channel A -fx 'i/5' +channel", "-define dds:compression=none", 0, 0},
  };
  int made = 0;
  for (const MagickCase& c : cases) {
    SCOPED_TRACE(std::string(c.picture) + " " + c.options);
    const std::string path = Make(std::to_string(made++), c.picture, c.options);
    BaseImage image;
    ASSERT_EQ(LoadFromMemory(ReadFileBytes(path), &image), 0);
    EXPECT_EQ(image.color.dxtKind, c.dxtKind);
    const auto expected = ReadFileBytes(path + ".rgba");
    const auto actual = ToRgba8(&image);
    ASSERT_EQ(actual.size(), expected.size());
    int worst = 0;
    for (size_t i = 0; i < actual.size(); ++i) worst = std::max(worst, std::abs(actual[i] - expected[i]));
    EXPECT_LE(worst, c.tolerance);
    ReleaseBaseImage(&image);
  }
}

// 256 x 256 DXT1 with 9 levels: 32,768 + 8,192 + 2,048 + 512 + 128 + 32 + 8 + 8 + 8 bytes.
TEST_F(ImageMagickFiles, MipChainOfDxt1IsKeptCompressedAndWhole) {
  const std::string path = Make("chain", "-size 256x256 gradient:red-blue",
                                "-define dds:compression=dxt1 -define dds:mipmaps=8");
  auto file = ReadFileBytes(path);
  ASSERT_EQ(file.size(), 128u + 43704u);
  BaseImage image;
  const int bytesBefore = GetTrackedTotalBytes();
  ASSERT_EQ(LoadFromMemory(file, &image), 0);
  EXPECT_EQ(GetTrackedTotalBytes() - bytesBefore, 43704);
  EXPECT_EQ(image.mipMapCount, 9);
  EXPECT_EQ(image.color.dxtKind, 1u);
  EXPECT_EQ(image.color.bitDepth, 4);
  EXPECT_EQ(image.pitch, 0);
  ReleaseBaseImage(&image);
  file.pop_back();
  EXPECT_EQ(LoadFromMemory(file, &image), -1) << "the last level is one byte short";
}

// Levels of non-square and small pictures are whole blocks (DXT) or packed rows (plain), each
// level at least one block or pixel; a chain longer than the picture's reads no more.
TEST(DdsLoader, MipLevelSizesOfOddPictures) {
  const DdsFormat argb = {kRgbFlag | kAlphaPixelsFlag, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}};
  struct Case {
    const char* name;
    int width, height, mipCount;
    DdsFormat format;
    int bytes;  // The levels' total.
  } cases[] = {
      {"DXT5 8x2, 4 levels", 8, 2, 4, Dxt("DXT5"), 32 + 16 + 16 + 16},
      {"DXT1 2x9, 4 levels", 2, 9, 4, Dxt("DXT1"), 24 + 8 + 8 + 8},
      {"DXT3 3x5, 1 level", 3, 5, 1, Dxt("DXT3"), 32},
      {"ARGB 4x2, 3 levels", 4, 2, 3, argb, 32 + 8 + 4},
      {"ARGB 4x2, 20 levels announced", 4, 2, 20, argb, 32 + 8 + 4},
      {"ARGB 1x3, 2 levels", 1, 3, 2, argb, 12 + 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> data(static_cast<size_t>(c.bytes), 0x5A);
    BaseImage image;
    const auto file = MakeDds(c.width, c.height, c.format, c.mipCount, data);
    const int bytesBefore = GetTrackedTotalBytes();
    ASSERT_EQ(LoadFromMemory(file, &image), 0);
    EXPECT_EQ(GetTrackedTotalBytes() - bytesBefore, c.bytes);
    EXPECT_GE(image.mipMapCount, 1);
    ASSERT_EQ(DecodeDxtBaseImage(&image), 0);
    EXPECT_EQ(image.pitch, image.width * 4);
    ToRgba8(&image);
    ReleaseBaseImage(&image);
    data.pop_back();
    EXPECT_EQ(LoadFromMemory(MakeDds(c.width, c.height, c.format, c.mipCount, data), &image), -1) << "one byte short";
  }
}

// Hand-worked block values, through the loader and the decoder:
// - DXT1 with colour 0 = colour 1 (pure blue) is in three-colour mode: index 3 is clear.
// - DXT3 nibble 0xF is alpha 255, 0x1 is 17.
// - DXT5 with alpha 0 = 255, alpha 1 = 0: index 2 is (6 x 255 + 0) / 7 = 218.
// - DXT2 and DXT4 are premultiplied: blue 0x1F (255) at alpha 0x8 x 17 = 136 would be
//   255 x 255 / 136 = 478, clamped to 255; green 0x20 of 6 bits (129) at 136 gives 241;
//   alpha 0 gives colour 0.
TEST(DdsLoader, BlockValuesThroughTheLoader) {
  struct Case {
    const char* code;
    std::vector<uint8_t> block;
    int x;
    uint32_t argb;  // Of pixel (x, 0).
  } cases[] = {
      {"DXT1", {0x1F, 0x00, 0x1F, 0x00, 0xC0, 0x00, 0x00, 0x00}, 3, 0x000000FFu},
      {"DXT1", {0x1F, 0x00, 0x1F, 0x00, 0xC0, 0x00, 0x00, 0x00}, 0, 0xFF0000FFu},
      {"DXT3", {0x1F, 0, 0, 0, 0, 0, 0, 0, 0x1F, 0x00, 0x1F, 0x00, 0, 0, 0, 0}, 0, 0xFF0000FFu},
      {"DXT3", {0x1F, 0, 0, 0, 0, 0, 0, 0, 0x1F, 0x00, 0x1F, 0x00, 0, 0, 0, 0}, 1, 0x110000FFu},
      {"DXT5", {255, 0, 0x02, 0, 0, 0, 0, 0, 0x1F, 0x00, 0x1F, 0x00, 0, 0, 0, 0}, 0, 0xDA0000FFu},
      {"DXT2", {0x08, 0, 0, 0, 0, 0, 0, 0, 0x1F, 0x04, 0x1F, 0x04, 0, 0, 0, 0}, 0, 0x8800F1FFu},
      {"DXT2", {0x08, 0, 0, 0, 0, 0, 0, 0, 0x1F, 0x04, 0x1F, 0x04, 0, 0, 0, 0}, 2, 0x00000000u},
      {"DXT4", {136, 0, 0, 0, 0, 0, 0, 0, 0x1F, 0x04, 0x1F, 0x04, 0, 0, 0, 0}, 1, 0x8800F1FFu},
      {"DXT4", {0, 0, 0, 0, 0, 0, 0, 0, 0x1F, 0x04, 0x1F, 0x04, 0, 0, 0, 0}, 1, 0x00000000u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.code) + " pixel " + std::to_string(c.x));
    BaseImage image;
    ASSERT_EQ(LoadFromMemory(MakeDds(4, 4, Dxt(c.code), 0, c.block), &image), 0);
    EXPECT_EQ(image.color.dxtKind, static_cast<uint32_t>(c.code[3] - '0'));
    EXPECT_EQ(image.color.bitDepth, c.code[3] == '1' ? 4 : 8);
    ASSERT_EQ(DecodeDxtBaseImage(&image), 0);
    EXPECT_EQ(GetBaseImagePixelArgb(&image, c.x, 0), c.argb);
    ReleaseBaseImage(&image);
  }
}

TEST(DdsLoader, DirectFormatNumbersAndMasks) {
  // Format 21 is A8R8G8B8: its pixel reads back through the table's masks and bit count.
  BaseImage image;
  const DdsFormat code21 = {kFourCCFlag, 21, 0, {0, 0, 0, 0}};
  ASSERT_EQ(LoadFromMemory(MakeDds(2, 1, code21, 0, {0x30, 0x20, 0x10, 0x80, 1, 2, 3, 4}), &image), 0);
  EXPECT_EQ(image.color.bitDepth, 32);
  EXPECT_EQ(image.color.alphaMask, 0xFF000000u);
  EXPECT_EQ(image.pitch, 8);
  EXPECT_EQ(GetBaseImagePixelArgb(&image, 0, 0), 0x80102030u);
  ReleaseBaseImage(&image);

  // Format 27 (R3G3B2) is one byte a pixel: a palette spells out every byte value's colour.
  const DdsFormat code27 = {kFourCCFlag, 27, 0, {0, 0, 0, 0}};
  ASSERT_EQ(LoadFromMemory(MakeDds(3, 1, code27, 0, {0xE0, 0x1C, 0x02}), &image), 0);
  EXPECT_EQ(ToRgba8(&image), (std::vector<uint8_t>{255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 170, 255}));
  ReleaseBaseImage(&image);

  // A 16-bit file by its masks, with a given pitch longer than its rows.
  const DdsFormat rgb565 = {kRgbFlag, 0, 16, {0xF800, 0x07E0, 0x001F, 0}};
  ASSERT_EQ(LoadFromMemory(MakeDds(1, 2, rgb565, 0, {0x00, 0xF8, 9, 9, 0x1F, 0x00, 9, 9}, 4), &image), 0);
  EXPECT_EQ(ToRgba8(&image), (std::vector<uint8_t>{255, 0, 0, 255, 0, 0, 255, 255}));
  ReleaseBaseImage(&image);
}

// Luminance files are grey, the one mask standing for all three colours; alpha-only files are
// white under their alpha. Two pixels each:
// - L16 0x8080 is 0x8080 x 255 / 0xFFFF = 128.
// - A4L4 0x8F is luminance 15 (255) at alpha 8 x 17 = 136; 0x30 is black at alpha 51.
TEST(DdsLoader, LuminanceIsGreyAndAlphaOnlyIsWhite) {
  constexpr uint32_t kLuminanceFlag = 0x20000, kAlphaOnlyFlag = 0x2;
  struct Case {
    const char* name;
    DdsFormat format;
    std::vector<uint8_t> data;
    std::vector<uint8_t> rgba;
  } const cases[] = {
      {"L8", {kLuminanceFlag, 0, 8, {0xFF, 0, 0, 0}}, {0x00, 0x80}, {0, 0, 0, 255, 128, 128, 128, 255}},
      {"L16",
       {kLuminanceFlag, 0, 16, {0xFFFF, 0, 0, 0}},
       {0xFF, 0xFF, 0x80, 0x80},
       {255, 255, 255, 255, 128, 128, 128, 255}},
      {"A8L8",
       {kLuminanceFlag | kAlphaPixelsFlag, 0, 16, {0xFF, 0, 0, 0xFF00}},
       {0x40, 0x80, 0xFF, 0x00},
       {64, 64, 64, 128, 255, 255, 255, 0}},
      {"A4L4",
       {kLuminanceFlag | kAlphaPixelsFlag, 0, 8, {0x0F, 0, 0, 0xF0}},
       {0x8F, 0x30},
       {255, 255, 255, 136, 0, 0, 0, 51}},
      {"A8", {kAlphaOnlyFlag, 0, 8, {0, 0, 0, 0xFF}}, {0x00, 0xC0}, {255, 255, 255, 0, 255, 255, 255, 192}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BaseImage image;
    ASSERT_EQ(LoadFromMemory(MakeDds(2, 1, c.format, 0, c.data), &image), 0);
    EXPECT_EQ(ToRgba8(&image), c.rgba);
    ReleaseBaseImage(&image);
  }

  // A one-byte file with alpha grows to four bytes a pixel, its mip levels with it: 3 x 2 with a
  // pitch of 4, then 1 x 1.
  BaseImage image;
  const DdsFormat a8 = {kAlphaOnlyFlag, 0, 8, {0, 0, 0, 0xFF}};
  ASSERT_EQ(LoadFromMemory(MakeDds(3, 2, a8, 2, {1, 2, 3, 99, 4, 5, 6, 99, 7}, 4), &image), 0);
  EXPECT_EQ(image.pitch, 12);
  EXPECT_EQ(image.mipMapCount, 2);
  EXPECT_EQ(GetBaseImagePixelArgb(&image, 2, 1), 0x06FFFFFFu);
  EXPECT_EQ(image.pixels[6 * 4 + 3], 7) << "the 1 x 1 level follows the top one";
  ReleaseBaseImage(&image);
}

TEST(DdsLoader, RefusesUnknownCodesAndImpossibleHeaders) {
  const std::vector<uint8_t> data(256, 0);
  const DdsFormat argb = {kRgbFlag | kAlphaPixelsFlag, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}};
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
  } cases[] = {
      {"unknown four-character code", MakeDds(4, 4, Dxt("DXT6"), 0, data)},
      {"extended header", MakeDds(4, 4, Dxt("DX10"), 0, data)},
      {"unknown format number", MakeDds(4, 4, {kFourCCFlag, 28, 0, {0, 0, 0, 0}}, 0, data)},
      {"12 bits a pixel", MakeDds(4, 4, {kRgbFlag, 0, 12, {0xF00, 0xF0, 0xF, 0}}, 0, data)},
      {"pitch shorter than a row", MakeDds(4, 4, argb, 0, data, 12)},
      {"no width", MakeDds(0, 4, argb, 0, data)},
      {"no height", MakeDds(4, 0, Dxt("DXT1"), 0, data)},
      {"side past the limit", MakeDds(40000, 1, Dxt("DXT1"), 0, data)},
      {"size past the limit", MakeDds(30000, 30000, argb, 0, data)},
      {"data short of the top level", MakeDds(16, 16, argb, 0, data)},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    BaseImage image;
    EXPECT_EQ(LoadFromMemory(c.file, &image), -1);
  }
  auto wrongMagic = MakeDds(4, 4, argb, 0, data);
  wrongMagic[2] = 'X';
  BaseImage image;
  EXPECT_EQ(LoadFromMemory(wrongMagic, &image), -1);
  auto cutHeader = MakeDds(4, 4, argb, 0, data);
  cutHeader.resize(100);
  EXPECT_EQ(LoadFromMemory(cutHeader, &image), -1);
}

TEST_F(ImageMagickFiles, EveryPrefixAndByteFlipIsHandled) {
  const int blocksBefore = GetTrackedBlockCount();
  std::vector<std::vector<uint8_t>> files = {
      ReadFileBytes(Make("d1", kGradient13x7, "-define dds:compression=dxt1")),
      ReadFileBytes(Make("d5", kGradient13x7, "-define dds:compression=dxt5")),
      ReadFileBytes(Make("plain", kGradient13x7, "-define dds:compression=none")),
      MakeDds(5, 3, {kFourCCFlag, 27, 0, {0, 0, 0, 0}}, 3, std::vector<uint8_t>(15 + 2 + 1, 0x77)),
      MakeDds(8, 2, Dxt("DXT4"), 4, std::vector<uint8_t>(80, 0x3C)),
  };
  uint32_t seed = 2024;
  for (const auto& file : files) {
    ASSERT_GT(file.size(), 128u);
    for (size_t length = 0; length < file.size(); ++length) {
      BaseImage image;
      const std::vector<uint8_t> prefix(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
      if (LoadFromMemory(prefix, &image) == 0) {
        ToRgba8(&image);
        ReleaseBaseImage(&image);
      }
    }
    for (int round = 0; round < 300; ++round) {
      auto damaged = file;
      for (int flips = 0; flips < 3; ++flips) {
        seed = seed * 1103515245u + 12345u;
        // Most flips land in the header, where the loader decides.
        const size_t span = (seed & 0x10000) ? damaged.size() : 128;
        damaged[(seed >> 8) % span] ^= static_cast<uint8_t>(seed >> 24 | 1);
      }
      BaseImage image;
      if (LoadFromMemory(damaged, &image, static_cast<int>(seed >> 30 & 1)) == 0) {
        EXPECT_GT(image.width, 0);
        ToRgba8(&image);
        ReleaseBaseImage(&image);
      }
    }
  }
  EXPECT_EQ(GetTrackedBlockCount(), blocksBefore) << "refusing loaders leave nothing allocated";
}

}  // namespace
