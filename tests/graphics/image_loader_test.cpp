// The loader chain and the BMP, "BGRA", TGA, PNG and JPEG loaders: ImageMagick fixtures, pictures
// built here byte by byte, and truncated or damaged files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <png.h>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image_test_support.h"
#include "platform/gdi.h"
#include "runtime/tracked_heap.h"

namespace {

using image_test::FixturePath;
using image_test::LoadFromMemory;
using image_test::ReadFileBytes;
using image_test::ToRgba8;

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// A BMP with a 40-byte header, an optional colour table or masks, and the given pixel bytes.
std::vector<uint8_t> MakeBmp(int width, int height, int bits, uint32_t compression, const std::vector<uint32_t>& table,
                             const std::vector<uint8_t>& pixels) {
  std::vector<uint8_t> out = {'B', 'M'};
  const uint32_t offset = 14 + 40 + static_cast<uint32_t>(table.size()) * 4;
  Put32(out, offset + static_cast<uint32_t>(pixels.size()));
  Put32(out, 0);
  Put32(out, offset);
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(width));
  Put32(out, static_cast<uint32_t>(height));
  Put16(out, 1);
  Put16(out, static_cast<uint32_t>(bits));
  Put32(out, compression);
  Put32(out, static_cast<uint32_t>(pixels.size()));
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  for (uint32_t entry : table) Put32(out, entry);
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}

// ---- ImageMagick fixtures ----

struct FixtureCase {
  const char* name;
  int bitDepth;   // Of the loaded image.
  int tolerance;  // Per channel, against ImageMagick's decode.
  bool compareAlpha;
};

TEST(ImageFixtures, DecodeToImageMagicksPixels) {
  const FixtureCase cases[] = {
      {"tga24.tga", 24, 0, true},
      {"tga24rle.tga", 24, 0, true},
      {"tga24top.tga", 24, 0, true},
      {"tga24toprightrle.tga", 24, 0, true},
      {"tga24right.tga", 24, 0, true},
      {"tga32.tga", 32, 0, true},
      {"tga32toprle.tga", 32, 0, true},
      {"tga8mapped.tga", 24, 0, true},
      {"tga8mappedrle.tga", 24, 0, true},
      {"tga16.tga", 16, 0, false},
      {"tga16rle.tga", 16, 0, false},
      {"jpeg_baseline.jpg", 24, 2, true},
      {"jpeg_progressive.jpg", 24, 2, true},
      {"jpeg_grey.jpg", 8, 2, true},
  };
  for (const FixtureCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = FixturePath(std::string("images/") + c.name);
    BaseImage image;
    ASSERT_EQ(LoadFromMemory(ReadFileBytes(path), &image), 0);
    EXPECT_EQ(image.color.bitDepth, c.bitDepth);
    const auto expected = ReadFileBytes(path + ".rgba");
    const auto actual = ToRgba8(&image);
    ASSERT_EQ(actual.size(), expected.size());
    int worst = 0;
    for (size_t i = 0; i < actual.size(); ++i) {
      if (i % 4 == 3 && !c.compareAlpha) continue;
      worst = std::max(worst, std::abs(actual[i] - expected[i]));
    }
    EXPECT_LE(worst, c.tolerance);
    ReleaseBaseImage(&image);
  }
}

TEST(ImageFixtures, GreyJpegHasPitchEqualToWidthAndGreyTgaIsRefused) {
  BaseImage image;
  ASSERT_EQ(LoadFromMemory(ReadFileBytes(FixturePath("images/jpeg_grey.jpg")), &image), 0);
  EXPECT_EQ(image.pitch, image.width);
  EXPECT_EQ(image.color.bytesPerPixel, 1);
  ReleaseBaseImage(&image);
  EXPECT_EQ(LoadFromMemory(ReadFileBytes(FixturePath("images/tga8grey.tga")), &image), -1);
}

// ---- TGA ----

std::vector<uint8_t> MakeTgaHeader(int type, int width, int height, int depth, int descriptor) {
  std::vector<uint8_t> out(18, 0);
  out[2] = static_cast<uint8_t>(type);
  out[12] = static_cast<uint8_t>(width);
  out[13] = static_cast<uint8_t>(width >> 8);
  out[14] = static_cast<uint8_t>(height);
  out[15] = static_cast<uint8_t>(height >> 8);
  out[16] = static_cast<uint8_t>(depth);
  out[17] = static_cast<uint8_t>(descriptor);
  return out;
}

std::vector<uint8_t> Footer(uint32_t extensionOffset) {
  std::vector<uint8_t> out;
  Put32(out, extensionOffset);
  Put32(out, 0);
  const char signature[] = "TRUEVISION-XFILE.";
  out.insert(out.end(), signature, signature + 18);
  return out;
}

TEST(TgaLoader, RefusesGreyHugeAndOffsetPictures) {
  auto tga = ReadFileBytes(FixturePath("images/tga24top.tga"));
  BaseImage image;
  struct Damage {
    size_t offset;
    uint8_t value;
  } damages[] = {{2, 3}, {2, 11}, {2, 5}, {12, 0x01}, {8, 1}, {16, 15}};
  for (const Damage& damage : damages) {
    auto bytes = tga;
    bytes[damage.offset] = damage.value;
    if (damage.offset == 12) bytes[13] = 0x20;  // 8193 pixels wide.
    SCOPED_TRACE(damage.offset);
    image_test::MemorySource source(bytes);
    EXPECT_EQ(LoadTgaImage(&source.source, &image), -1);
  }
}

TEST(TgaLoader, FooterEndsRunLengthDataOnlyWithAZeroExtensionOffset) {
  // Two pixels of four, then the data end: the footer must not be read as pixels.
  auto bytes = MakeTgaHeader(10, 4, 1, 24, 0x20);
  const uint8_t packet[] = {0x81, 10, 20, 30};
  bytes.insert(bytes.end(), packet, packet + 4);
  for (uint32_t extension : {0u, 1000u}) {
    auto file = bytes;
    const auto footer = Footer(extension);
    file.insert(file.end(), footer.begin(), footer.end());
    BaseImage image;
    image_test::MemorySource source(file);
    ASSERT_EQ(LoadTgaImage(&source.source, &image), 0);
    uint32_t r, g, b;
    GetBaseImagePixel(&image, 1, 0, &r, &g, &b, nullptr);
    EXPECT_EQ(r, 30u);
    GetBaseImagePixel(&image, 2, 0, &r, &g, &b, nullptr);
    if (extension == 0)
      EXPECT_EQ(r + g + b, 0u);  // Never written.
    else
      EXPECT_NE(r + g + b, 0u);  // The footer's bytes decoded as a raw packet.
    ReleaseBaseImage(&image);
  }
}

TEST(TgaLoader, RunLengthPicturesLargerThanTheirPacketsCouldHoldAreRefused) {
  // One repeat packet (a header byte and one element) holds at most 128 pixels; a 23-byte file
  // may not become an 8192 x 8192 picture.
  struct Case {
    int type, width, height, depth;
    std::vector<uint8_t> data;
    int expected;
  } cases[] = {
      {10, 8192, 8192, 32, {0xFF, 1, 2, 3, 4}, -1},
      {10, 129, 1, 24, {0xFF, 1, 2, 3}, -1},
      {10, 128, 1, 24, {0xFF, 1, 2, 3}, 0},
      {10, 64, 4, 24, {0xFF, 1, 2, 3, 0x00, 4, 5, 6}, 0},  // 129 pixels given, the rest zero.
      {9, 257, 1, 8, {0xFF, 0, 0x81, 0}, -1},              // Indices: a packet is two bytes.
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
    auto bytes = MakeTgaHeader(c.type, c.width, c.height, c.type == 9 ? 8 : c.depth, 0x20);
    if (c.type == 9) {
      bytes[1] = 1;
      bytes[5] = 1;  // One map entry.
      bytes[7] = 24;
      bytes.insert(bytes.end(), {9, 8, 7});
    }
    bytes.insert(bytes.end(), c.data.begin(), c.data.end());
    BaseImage image;
    image_test::MemorySource source(bytes);
    ASSERT_EQ(LoadTgaImage(&source.source, &image), c.expected);
    if (c.expected == 0) {
      EXPECT_EQ(GetBaseImagePixelArgb(&image, 0, 0) & 0xFFFFFF, 0x030201u);  // Stored blue first.
      EXPECT_EQ(GetBaseImagePixelArgb(&image, c.width - 1, c.height - 1) & 0xFFFFFF, c.height == 4 ? 0u : 0x030201u);
      ReleaseBaseImage(&image);
    }
  }
}

TEST(TgaLoader, SixteenBitsKeepTheTopBitAsSpareBits) {
  BaseImage image;
  ASSERT_EQ(LoadFromMemory(ReadFileBytes(FixturePath("images/tga16.tga")), &image), 0);
  EXPECT_EQ(image.color.alphaMask, 0u);
  EXPECT_EQ(image.color.spareMask, 0x8000u);
  EXPECT_EQ(image.color.redMask, 0x7C00u);
  ReleaseBaseImage(&image);
}

TEST(TgaLoader, ColourMapPastEntry255IsReadPastAndIndicesStayInTheMap) {
  auto bytes = MakeTgaHeader(1, 2, 1, 8, 0x20);
  bytes[1] = 1;
  bytes[3] = 250;  // First index 250, 10 entries: six fit.
  bytes[5] = 10;
  bytes[7] = 24;
  for (int i = 0; i < 10; ++i) {
    bytes.push_back(static_cast<uint8_t>(i));
    bytes.push_back(0);
    bytes.push_back(0);
  }
  bytes.push_back(255);
  bytes.push_back(251);
  BaseImage image;
  image_test::MemorySource source(bytes);
  ASSERT_EQ(LoadTgaImage(&source.source, &image), 0);
  uint32_t b;
  GetBaseImagePixel(&image, 0, 0, nullptr, nullptr, &b, nullptr);
  EXPECT_EQ(b, 5u);
  GetBaseImagePixel(&image, 1, 0, nullptr, nullptr, &b, nullptr);
  EXPECT_EQ(b, 1u);
  ReleaseBaseImage(&image);
}

// ---- BMP ----

TEST(BmpLoader, BottomUpAndTopDownTwinsGiveTheSameImage) {
  std::vector<uint8_t> rows;  // 3 x 2, 24-bit, pitch 12.
  for (int i = 0; i < 24; ++i) rows.push_back(static_cast<uint8_t>(i * 7 + 1));
  std::vector<uint8_t> flipped(rows.begin() + 12, rows.end());
  flipped.insert(flipped.end(), rows.begin(), rows.begin() + 12);
  BaseImage top, bottom;
  ASSERT_EQ(LoadFromMemory(MakeBmp(3, -2, 24, 0, {}, rows), &top), 0);
  ASSERT_EQ(LoadFromMemory(MakeBmp(3, 2, 24, 0, {}, flipped), &bottom), 0);
  EXPECT_EQ(ToRgba8(&top), ToRgba8(&bottom));
  EXPECT_EQ(top.pitch, 12);
  ReleaseBaseImage(&top);
  ReleaseBaseImage(&bottom);
}

TEST(BmpLoader, ThirtyTwoBitKeepsItsFourthByteUnlessBitFields) {
  const std::vector<uint8_t> pixel = {10, 20, 30, 40};
  BaseImage image;
  ASSERT_EQ(LoadFromMemory(MakeBmp(1, 1, 32, 0, {}, pixel), &image), 0);
  EXPECT_EQ(image.color.alphaMask, 0xFF000000u);
  EXPECT_EQ(GetBaseImagePixelArgb(&image, 0, 0), 0x281E140Au);
  ReleaseBaseImage(&image);
  ASSERT_EQ(LoadFromMemory(MakeBmp(1, 1, 32, 3, {0xFF0000, 0xFF00, 0xFF}, pixel), &image), 0);
  EXPECT_EQ(image.color.bitDepth, 24);
  EXPECT_EQ(GetBaseImagePixelArgb(&image, 0, 0), 0x001E140Au);
  ReleaseBaseImage(&image);
}

TEST(BmpLoader, RunLengthStreamWithoutEndMarkLeavesTheRestZero) {
  std::vector<uint32_t> table(256, 0);
  table[7] = 0x112233;
  // Bottom-up 4 x 2: the bottom row gets two pixels of index 7, then the data end.
  BaseImage image;
  ASSERT_EQ(LoadFromMemory(MakeBmp(4, 2, 8, 1, table, {2, 7}), &image), 0);
  const uint8_t expected[2][4] = {{0, 0, 0, 0}, {7, 7, 0, 0}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(image.pixels[y * image.pitch + x], expected[y][x]) << x << "," << y;
  EXPECT_EQ(image.color.palette[7].red, 0x11);
  EXPECT_EQ(image.color.palette[7].alpha, 0);
  ReleaseBaseImage(&image);
}

TEST(BmpLoader, RunLengthThatLeavesThePictureIsRefused) {
  std::vector<uint32_t> table(256, 0);
  const std::vector<std::vector<uint8_t>> streams = {
      {0, 4, 1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 3, 3},  // A run below the last row.
      {0, 2, 9, 0},                                // A move past the right edge.
      {0, 6, 1, 2},                                // A copy cut short by the end of the data.
  };
  for (const auto& stream : streams) {
    BaseImage image;
    EXPECT_EQ(LoadFromMemory(MakeBmp(4, 2, 8, 1, table, stream), &image), -1);
  }
}

// Runs and copies may go on into the row's padding and past it: the pixels past the width are
// dropped, the row ends at the pitch, and nothing is refused or written outside the row.
TEST(BmpLoader, RunLengthIntoTheRowPaddingDropsThePixelsPastTheWidth) {
  std::vector<uint32_t> table(256, 0);
  struct Case {
    int bits;
    std::vector<uint8_t> stream;
  };
  // Top-down 3 x 3, pitch 4: row 0 runs to the padded width, row 1 far past it, row 2 copies
  // into the padding; each row is 7, 5, 9 (RLE4: its nibbles).
  const Case cases[] = {
      {8, {4, 7, 0, 0, 200, 5, 0, 0, 0, 4, 9, 9, 9, 1, 0, 1}},
      {4, {4, 0x77, 0, 0, 200, 0x55, 0, 0, 0, 6, 0x99, 0x91, 0x11, 0, 0, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bits);
    BaseImage image;
    ASSERT_EQ(LoadFromMemory(MakeBmp(3, -3, c.bits, c.bits == 8 ? 1 : 2, table, c.stream), &image), 0);
    ASSERT_EQ(image.pitch, 4);
    const uint8_t expected[3][4] = {{7, 7, 7, 0}, {5, 5, 5, 0}, {9, 9, 9, 0}};
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 4; ++x) EXPECT_EQ(image.pixels[y * image.pitch + x], expected[y][x]) << x << "," << y;
    ReleaseBaseImage(&image);
  }
}

// ImageMagick writes 8-bit BMP3 files with RLE8 and runs each row out to its padded width; such
// files, made here with ImageMagick, decode as the uncompressed file it writes of the same
// picture. (ImageMagick's own reader loses a row of the 1-pixel-wide one.)
TEST(BmpLoader, ImageMagickRunLengthFilesDecodeAsTheirUncompressedTwins) {
  char directory[] = "/tmp/zyvel_bmp_XXXXXX";
  ASSERT_NE(mkdtemp(directory), nullptr);
  const std::string base = directory;
  const char* sources[] = {
      "-size 13x7 xc: -sparse-color bilinear '0,0 red 12,0 lime 0,6 blue 12,6 white' -colors 200",
      "-size 5x3 xc:navy -fill yellow -draw 'point 4,1'",
      "-size 1x4 gradient:red-blue -colors 3",
      "-size 30x2 xc:white -fill black -draw 'rectangle 3,0 20,1'",
  };
  int made = 0;
  for (const char* source : sources) {
    SCOPED_TRACE(source);
    const std::string compressed = base + "/" + std::to_string(made) + "rle.bmp";
    const std::string plain = base + "/" + std::to_string(made) + ".bmp";
    ++made;
    const std::string picture = "convert " + std::string(source) + " -type Palette";
    const std::string command = picture + " -compress RLE BMP3:" + compressed + " && " + picture +
                                " -compress None BMP3:" + plain;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::vector<uint8_t> file = ReadFileBytes(compressed);
    ASSERT_GT(file.size(), 34u);
    EXPECT_EQ(file[30], 1) << "not RLE8";
    BaseImage image;
    BaseImage twin;
    ASSERT_EQ(LoadFromMemory(file, &image), 0);
    ASSERT_EQ(LoadFromMemory(ReadFileBytes(plain), &twin), 0);
    EXPECT_EQ(ToRgba8(&image), ToRgba8(&twin));
    ReleaseBaseImage(&image);
    ReleaseBaseImage(&twin);
    unlink(compressed.c_str());
    unlink(plain.c_str());
  }
  rmdir(directory);
}

TEST(BmpLoader, RefusesShortPixelDataAndUnknownCompressions) {
  BaseImage image;
  EXPECT_EQ(LoadFromMemory(MakeBmp(4, 4, 24, 0, {}, std::vector<uint8_t>(47, 1)), &image), -1);
  EXPECT_EQ(LoadFromMemory(MakeBmp(2, 2, 24, 4, {}, std::vector<uint8_t>(64, 1)), &image), -1);
  EXPECT_EQ(LoadFromMemory(MakeBmp(2, 2, 16, 5, {}, std::vector<uint8_t>(64, 1)), &image), -1);
}

// ---- "BGRA" ----

std::vector<uint8_t> MakeBgra(uint32_t sizes, int width, int height, const std::vector<uint8_t>& pixels) {
  std::vector<uint8_t> out = {'B', 'G', 'R', 'A'};
  Put32(out, sizes);
  Put32(out, static_cast<uint32_t>(width));
  Put32(out, static_cast<uint32_t>(height));
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}

TEST(BgraLoader, EightAndSixteenBitChannels) {
  BaseImage image;
  ASSERT_EQ(LoadFromMemory(MakeBgra(0x08080808, 1, 1, {1, 2, 3, 4}), &image), 0);
  EXPECT_EQ(GetBaseImagePixelArgb(&image, 0, 0), 0x04030201u);
  ReleaseBaseImage(&image);
  ASSERT_EQ(LoadFromMemory(MakeBgra(0x10101010, 1, 1, {0xFF, 1, 0xFF, 2, 0xFF, 3, 0xFF, 4}), &image), 0);
  EXPECT_EQ(GetBaseImagePixelArgb(&image, 0, 0), 0x04030201u);
  EXPECT_EQ(image.pitch, 4);
  ReleaseBaseImage(&image);
  EXPECT_EQ(LoadFromMemory(MakeBgra(0x08081008, 1, 1, {1, 2, 3, 4}), &image), -1);
  EXPECT_EQ(LoadFromMemory(MakeBgra(0x08080808, 2, 1, {1, 2, 3, 4}), &image), -1);
  EXPECT_EQ(LoadFromMemory(MakeBgra(0x08080808, -1, 1, {1, 2, 3, 4}), &image), -1);
}

// ---- PNG and JPEG ----

struct PngWriteBuffer {
  std::vector<uint8_t> bytes;
};

void AppendPngData(png_structp png, png_bytep data, png_size_t length) {
  auto* buffer = static_cast<PngWriteBuffer*>(png_get_io_ptr(png));
  buffer->bytes.insert(buffer->bytes.end(), data, data + length);
}

// Encodes rows with libpng (an independent encoder of the test's own).
std::vector<uint8_t> EncodePng(int width, int height, int bitDepth, int colorType, const std::vector<uint8_t>& rows,
                               const std::vector<png_color>& palette = {},
                               const std::vector<uint8_t>& transparency = {}) {
  PngWriteBuffer buffer;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &buffer, AppendPngData, nullptr);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), bitDepth, colorType,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  if (!transparency.empty())
    png_set_tRNS(png, info, transparency.data(), static_cast<int>(transparency.size()), nullptr);
  png_write_info(png, info);
  const size_t rowBytes = rows.size() / static_cast<size_t>(height);
  for (int y = 0; y < height; ++y) png_write_row(png, rows.data() + rowBytes * static_cast<size_t>(y));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return buffer.bytes;
}

TEST(PngLoader, FormatsByColourType) {
  const std::vector<png_color> palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  BaseImage image;
  // 4-bit palette: one index per byte.
  ASSERT_EQ(LoadFromMemory(EncodePng(3, 1, 4, PNG_COLOR_TYPE_PALETTE, {0x12, 0x00}, palette), &image), 0);
  EXPECT_EQ(image.color.bytesPerPixel, 1);
  EXPECT_EQ(image.pixels[0], 1);
  EXPECT_EQ(image.pixels[1], 2);
  EXPECT_EQ(image.pixels[2], 0);
  EXPECT_EQ(image.color.palette[2].blue, 255);
  ReleaseBaseImage(&image);
  // With transparency: 32-bit with alpha.
  ASSERT_EQ(LoadFromMemory(EncodePng(3, 1, 4, PNG_COLOR_TYPE_PALETTE, {0x12, 0x00}, palette, {0, 128}), &image), 0);
  EXPECT_EQ(image.color.alphaMask, 0xFF000000u);
  EXPECT_EQ(GetBaseImagePixelArgb(&image, 0, 0), 0x8000FF00u);
  EXPECT_EQ(GetBaseImagePixelArgb(&image, 2, 0), 0x00FF0000u);
  ReleaseBaseImage(&image);
  // 16-bit RGB: RGB24 with the high bytes.
  ASSERT_EQ(LoadFromMemory(EncodePng(1, 1, 16, PNG_COLOR_TYPE_RGB, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}), &image), 0);
  EXPECT_EQ(image.color.bitDepth, 24);
  EXPECT_EQ(GetBaseImagePixelArgb(&image, 0, 0), 0x0012569Au);
  ReleaseBaseImage(&image);
  // Grey with alpha keeps its alpha.
  ASSERT_EQ(LoadFromMemory(EncodePng(1, 1, 8, PNG_COLOR_TYPE_GRAY_ALPHA, {0x40, 0x90}), &image), 0);
  EXPECT_EQ(GetBaseImagePixelArgb(&image, 0, 0), 0x90404040u);
  ReleaseBaseImage(&image);
  // Plain grey: a grey 8-bit image.
  ASSERT_EQ(LoadFromMemory(EncodePng(2, 1, 8, PNG_COLOR_TYPE_GRAY, {7, 200}), &image), 0);
  EXPECT_EQ(image.color.bytesPerPixel, 1);
  EXPECT_EQ(image.pixels[1], 200);
  EXPECT_EQ(image.color.palette[200].green, 200);
  ReleaseBaseImage(&image);
}

TEST(PngLoader, CutPngFailsWithReadErrorAndTheChainMovesOn) {
  const auto png = EncodePng(2, 2, 8, PNG_COLOR_TYPE_RGB, std::vector<uint8_t>(12, 9));
  const std::vector<uint8_t> cut(png.begin(), png.end() - 20);
  BaseImage image;
  image_test::MemorySource source(cut);
  EXPECT_EQ(LoadPngImage(&source.source, &image), -1);
  EXPECT_EQ(LoadFromMemory(cut, &image), -1);
}

TEST(JpegLoader, EmptyStreamFailsAndCutFileStillLoads) {
  BaseImage image;
  const std::vector<uint8_t> empty;
  image_test::MemorySource source(empty);
  EXPECT_EQ(LoadJpegImage(&source.source, &image), -1);
  auto jpeg = ReadFileBytes(FixturePath("images/jpeg_baseline.jpg"));
  jpeg.resize(jpeg.size() - 40);
  ASSERT_EQ(LoadFromMemory(jpeg, &image), 0);
  EXPECT_EQ(image.width, 24);
  EXPECT_EQ(image.pitch, 72);
  ReleaseBaseImage(&image);
}

// Where each segment with the given marker starts (its 0xFF byte), walking the segments and
// stepping over the coded data after each start of scan.
std::vector<size_t> JpegSegments(const std::vector<uint8_t>& jpeg, uint8_t marker) {
  std::vector<size_t> found;
  for (size_t at = 2; at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xD9;) {
    const uint8_t code = jpeg[at + 1];
    if (code == marker) found.push_back(at);
    at += 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]);
    if (code != 0xDA) continue;
    while (at + 1 < jpeg.size() && !(jpeg[at] == 0xFF && jpeg[at + 1] != 0 && (jpeg[at + 1] & 0xF8) != 0xD0)) ++at;
  }
  return found;
}

// The coded data of the n-th scan start right after its header.
size_t ScanData(const std::vector<uint8_t>& jpeg, size_t n) {
  const size_t at = JpegSegments(jpeg, 0xDA).at(n);
  return at + 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]);
}

std::vector<uint8_t> Cut(std::vector<uint8_t> jpeg, size_t length) {
  jpeg.resize(length);
  return jpeg;
}

// The frame header's height and width (the fixture's own data stay, so they cannot hold a row).
std::vector<uint8_t> ClaimSize(std::vector<uint8_t> jpeg, uint8_t frameMarker, int width, int height) {
  const size_t at = JpegSegments(jpeg, frameMarker).at(0);
  jpeg[at + 5] = static_cast<uint8_t>(height >> 8), jpeg[at + 6] = static_cast<uint8_t>(height);
  jpeg[at + 7] = static_cast<uint8_t>(width >> 8), jpeg[at + 8] = static_cast<uint8_t>(width);
  return jpeg;
}

// Nothing of a picture whose data end before the first row of blocks of its first scan could be
// shown: it is refused. One byte of coded data cannot hold a row of three blocks or more.
TEST(JpegLoader, DataEndingInTheFirstRowOfBlocksIsRefused) {
  const auto baseline = ReadFileBytes(FixturePath("images/jpeg_baseline.jpg"));
  const auto progressive = ReadFileBytes(FixturePath("images/jpeg_progressive.jpg"));
  const auto grey = ReadFileBytes(FixturePath("images/jpeg_grey.jpg"));
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    int result;
  } const cases[] = {
      {"baseline claiming 9000 x 9000", ClaimSize(baseline, 0xC0, 9000, 9000), -1},
      {"grey claiming 9000 x 9000", ClaimSize(grey, 0xC0, 9000, 9000), -1},
      {"baseline cut at its coded data", Cut(baseline, ScanData(baseline, 0)), -1},
      {"baseline cut one byte into its coded data", Cut(baseline, ScanData(baseline, 0) + 1), -1},
      {"progressive cut one byte into its first scan", Cut(progressive, ScanData(progressive, 0) + 1), -1},
      {"progressive cut one byte into its second scan", Cut(progressive, ScanData(progressive, 1) + 1), 0},
      {"baseline missing its last 40 bytes", Cut(baseline, baseline.size() - 40), 0},
      {"grey claiming 24 x 4000", ClaimSize(grey, 0xC0, 24, 4000), 0},
  };
  const int blocksBefore = GetTrackedBlockCount();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BaseImage image{};
    {
      image_test::MemorySource source(c.file);
      ASSERT_EQ(LoadJpegImage(&source.source, &image), c.result);
    }
    if (c.result == 0) ReleaseBaseImage(&image);
    EXPECT_EQ(GetTrackedBlockCount(), blocksBefore);
  }
}

// ---- Truncated and damaged files ----

TEST(HostileInput, EveryPrefixAndByteFlipOfEachFormatIsHandled) {
  const int blocksBefore = GetTrackedBlockCount();
  std::vector<std::vector<uint8_t>> files;
  for (const char* name :
       {"images/tga24rle.tga", "images/tga8mappedrle.tga", "images/tga32.tga", "images/jpeg_progressive.jpg",
        "images/jpeg_grey.jpg", "conformance/bmpsuite/good/pal4rle.bmp", "conformance/bmpsuite/good/pal8rle.bmp",
        "conformance/bmpsuite/good/rgb16-565.bmp", "conformance/bmpsuite/good/pal1.bmp",
        "conformance/pngsuite/primary/basi3p02.png", "conformance/pngsuite/primary/tbrn2c08.png"})
    files.push_back(ReadFileBytes(FixturePath(name)));
  files.push_back(MakeBgra(0x10101010, 2, 2, std::vector<uint8_t>(32, 0x55)));
  uint32_t seed = 12345;
  for (const auto& file : files) {
    ASSERT_FALSE(file.empty());
    const size_t step = file.size() > 600 ? file.size() / 300 : 1;
    for (size_t length = 0; length < file.size(); length += step) {
      BaseImage image;
      const std::vector<uint8_t> prefix(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
      if (LoadFromMemory(prefix, &image) == 0) {
        ToRgba8(&image);
        ReleaseBaseImage(&image);
      }
    }
    for (int round = 0; round < 200; ++round) {
      auto damaged = file;
      for (int flips = 0; flips < 3; ++flips) {
        seed = seed * 1103515245u + 12345u;
        damaged[(seed >> 8) % damaged.size()] ^= static_cast<uint8_t>(seed >> 24 | 1);
      }
      BaseImage image;
      if (LoadFromMemory(damaged, &image) == 0) {
        EXPECT_GT(image.width, 0);
        ToRgba8(&image);
        ReleaseBaseImage(&image);
      }
    }
  }
  // Refusing loaders leave nothing allocated.
  EXPECT_EQ(GetTrackedBlockCount(), blocksBefore);
}

// ---- The chain and its options ----

TEST(LoaderChain, MirrorOptionAndDibOutput) {
  std::vector<uint8_t> row = {1, 2, 3, 4, 5, 6, 0, 0};  // 2 x 1, 24-bit.
  const auto bmp = MakeBmp(2, 1, 24, 0, {}, row);
  BaseImage image;
  ASSERT_EQ(LoadFromMemory(bmp, &image, 1), 0);
  EXPECT_EQ(GetBaseImagePixelArgb(&image, 0, 0), 0x00060504u);
  EXPECT_EQ(GetBaseImagePixelArgb(&image, 1, 0), 0x00030201u);
  ReleaseBaseImage(&image);

  BITMAPINFO* dib = nullptr;
  void* bits = nullptr;
  ASSERT_EQ(LoadBaseImage(nullptr, bmp.data(), static_cast<int>(bmp.size()), 1, 1, 0, &image, &dib, &bits), 0);
  ASSERT_NE(dib, nullptr);
  EXPECT_EQ(dib->bmiHeader.biBitCount, 24);
  EXPECT_EQ(dib->bmiHeader.biHeight, -1);
  EXPECT_EQ(static_cast<uint8_t*>(bits)[3], 4);
  ZV_FREE(bits);
  ZV_FREE(dib);
}

TEST(LoaderChain, AlphaCompanionFromMemoryAndNames) {
  const auto colour = MakeBgra(0x08080808, 1, 1, {1, 2, 3, 4});
  const auto alpha = MakeBgra(0x08080808, 1, 1, {9, 9, 9, 9});
  BaseImage colourImage, alphaImage;
  ASSERT_EQ(LoadBaseImageWithAlpha(nullptr, colour.data(), static_cast<int>(colour.size()), 1, alpha.data(),
                                   static_cast<int>(alpha.size()), 1, &colourImage, &alphaImage, 0),
            0);
  EXPECT_EQ(GetBaseImagePixelArgb(&alphaImage, 0, 0), 0x09090909u);
  ReleaseBaseImage(&colourImage);
  ReleaseBaseImage(&alphaImage);
  ASSERT_EQ(LoadBaseImageWithAlpha(nullptr, colour.data(), static_cast<int>(colour.size()), 1, colour.data(), 3, 1,
                                   &colourImage, &alphaImage, 0),
            1);
  ReleaseBaseImage(&colourImage);

  const struct {
    const char* path;
    const char* expected;
  } names[] = {{"pic.png", "pic_a.png"}, {"pic", "pic_a"},
               {"./p.png", "./p_a.png"}, {"data.v2\\p.png", "data.v2\\p_a.png"},
               {"a.b.c", "a_a.b.c"},     {"\x95\x5c.png", "\x95\x5c_a.png"}};
  for (const auto& name : names) {
    char out[260];
    ASSERT_EQ(MakeAlphaFileName(out, name.path), 0);
    EXPECT_STREQ(out, name.expected);
  }
  const std::string longPath(258, 'x');
  char out[260];
  EXPECT_EQ(MakeAlphaFileName(out, longPath.c_str()), -1);
}

}  // namespace
