// The MEMIMG manager: set-up and pitches, views and shared stores, raw fills, fills from base
// images with their line codes and premultiplied plane, copies, and the blend tables.
#include <gtest/gtest.h>

#include <vector>

#include "memimg/derived_data.h"
#include "memimg/memimg_services.h"
#include "memimg_test_images.h"
#include "platform/testing.h"
#include "zyvel/graphics.h"

namespace {

struct PitchCase {
  int width;
  int format;
  int palette;
  int alpha;
  int pitch;
  int expectedPitch;
  int expectedShift;
  int expectedBytes;
  int expectedAlpha;
};

// An XRGB8 or ARGB8 base image whose pixels the test sets.
struct TestBase {
  BaseImage image = {};
  TestBase(int width, int height, bool alpha) {
    EXPECT_EQ(0, alpha ? CreateARGB8BaseImage(width, height, &image) : CreateXRGB8BaseImage(width, height, &image));
  }
  ~TestBase() { ReleaseBaseImage(&image); }
  void Set(int x, int y, uint32_t value) { std::memcpy(image.pixels + y * image.pitch + x * 4, &value, 4); }
};

std::vector<uint8_t> LineCodeRow(const MemImgCore* core) {
  std::vector<uint8_t> codes;
  for (const uint8_t* code = core->LineCodes;; ++code) {
    codes.push_back(*code);
    if (*code == kMemImgLineEnd) break;
  }
  return codes;
}

}  // namespace

TEST(MemImgSetup, PitchesShiftsAndPixelSizes) {
  const PitchCase cases[] = {
      {100, 1, 0, 0, -1, 400, -1, 4, 0},  // Not a power of two.
      {128, 1, 0, 0, -1, 512, 9, 4, 0},
      {4, 0, 0, 0, -1, 16, -1, 2, 0},    // Padded to 16 bytes: never a power-of-two pitch.
      {4, 0, 0, 1, -1, 16, 4, 4, 1},     // 5-6-5 with alpha takes 4 bytes.
      {10, 1, 1, 1, -1, 16, 4, 1, 0},    // A paletted image never has alpha.
      {64, 1, 0, 0, 256, 256, 8, 4, 0},  // A given pitch counts as it is.
      {64, 1, 0, 0, 300, 300, -1, 4, 0},
      {7, 2, 1, 1, -1, 16, -1, 1, 0},  // Single-channel formats take neither option.
      {8, 3, 0, 0, -1, 16, 4, 2, 0},
  };
  for (const PitchCase& c : cases) {
    TestImage image;
    ASSERT_EQ(0, SetupMemImg(image.get(), c.width, 3, c.pitch, 0, c.format, c.palette, c.alpha, 0, nullptr));
    EXPECT_EQ(c.expectedPitch, image->Core->Pitch) << c.width;
    EXPECT_EQ(c.expectedShift, image->Core->PitchShift) << c.width;
    EXPECT_EQ(c.expectedBytes, GetMemImgBytesPerPixel(image->Core)) << c.width;
    EXPECT_EQ(c.expectedAlpha, image->Core->UseAlpha) << c.width;
    EXPECT_EQ(1, image->Core->RefCount);
    EXPECT_EQ(1, IsMemImgValid(image.get()));
  }
}

TEST(MemImgSetup, RefusesWhatItCannotHold) {
  TestImage image;
  ASSERT_EQ(0, SetupMemImg(image.get(), 8, 8, -1, 0, 1, 0, 0, 0, nullptr));
  EXPECT_EQ(-1, SetupMemImg(image.get(), 8, 8, -1, 0, 1, 0, 0, 0, nullptr));  // Already set up.
  MEMIMG other = {};
  EXPECT_EQ(-1, SetupMemImg(&other, 8, 8, 16, 0, 1, 0, 0, 0, nullptr));              // Pitch shorter than a row.
  EXPECT_EQ(-1, SetupMemImg(&other, 8, 8, -1, 0, 4, 0, 0, 0, nullptr));              // No format 4.
  EXPECT_EQ(-1, SetupMemImg(&other, 0x10000, 0x10000, -1, 0, 1, 0, 0, 0, nullptr));  // Too large.
  EXPECT_EQ(-1, SetupMemImg(&other, -1, 8, -1, 0, 1, 0, 0, 0, nullptr));
  EXPECT_EQ(0, IsMemImgValid(&other));
  EXPECT_EQ(nullptr, other.Core);
}

TEST(MemImgSetup, FailedAllocationsLeaveNothingBehind) {
  MEMIMG image = {};
  platform::testing::FailHeapAllocations(1);  // The store record itself.
  EXPECT_EQ(-1, SetupMemImg(&image, 8, 8, -1, 0, 1, 1, 0, 1, nullptr));
  EXPECT_EQ(nullptr, image.Core);
  // A store left in an unmarked record is reused; when its pixels cannot be had, what it held is
  // freed with it (the leak checker watches).
  ASSERT_EQ(0, SetupMemImg(&image, 8, 8, -1, 0, 1, 0, 1, 1, nullptr));
  image.ValidMark = 0;
  platform::testing::FailHeapAllocations(1);
  EXPECT_EQ(-1, SetupMemImg(&image, 8, 8, -1, 0, 1, 0, 1, 1, nullptr));
  platform::testing::FailHeapAllocations(0);
  EXPECT_EQ(0, IsMemImgValid(&image));
  EXPECT_EQ(nullptr, image.Core);
}

TEST(MemImgScreen, IsAPlainStoreOfTheFormatAskedForOrTheScreensDepth) {
  TestImage screen;
  ASSERT_EQ(0, SetupScreenMemImg(screen.get(), 40, 30, kMemImgFormat16));
  EXPECT_EQ(kMemImgFormat16, screen->Core->Format);
  EXPECT_EQ(0, screen->Core->UseAlpha);
  EXPECT_EQ(0, screen->Core->UsePalette);
  // Format -1 follows the screen's depth, which graphics reports once connected (16 bits before).
  TestImage unnamed;
  ASSERT_EQ(0, SetupScreenMemImg(unnamed.get(), 40, 30, -1));
  EXPECT_EQ(kMemImgFormat16, unnamed->Core->Format);
  SetMemImgScreenColorBitsQuery([] { return 32; });
  TestImage deep;
  ASSERT_EQ(0, SetupScreenMemImg(deep.get(), 40, 30, -1));
  EXPECT_EQ(1, deep->Core->Format);
  SetMemImgScreenColorBitsQuery(nullptr);
  TestImage wide;
  ASSERT_EQ(0, SetupScreenMemImg(wide.get(), 40, 30, 1));
  EXPECT_EQ(160, wide->Core->Pitch);
  // Setting up a screen record again lets go of its old store (the leak checker watches).
  ASSERT_EQ(0, SetupScreenMemImg(wide.get(), 20, 10, 0));
  EXPECT_EQ(48, wide->Core->Pitch);
}

TEST(MemImgViews, ShareTheStoreUntilTheLastRelease) {
  MEMIMG image = {};
  ASSERT_EQ(0, SetupMemImg(&image, 16, 8, -1, 0, 1, 0, 1, 1, nullptr));
  MEMIMG view = {};
  MEMIMG viewOfView = {};
  MakeMemImgView(&view, &image, 4, 2, 8, 4);
  MakeMemImgView(&viewOfView, &view, 1, 1, 2, 2);
  ASSERT_EQ(1, IsMemImgValid(&view));
  EXPECT_EQ(3, image.Core->RefCount);
  EXPECT_EQ(image.Pixels + 2 * 64 + 4 * 4, view.Pixels);
  EXPECT_EQ(image.Pixels + 3 * 64 + 5 * 4, viewOfView.Pixels);
  EXPECT_EQ(image.PremultPixels + 2 * 64 + 4 * 4, view.PremultPixels);

  ReleaseMemImg(&image);
  EXPECT_EQ(0, IsMemImgValid(&image));
  ReleaseMemImg(&image);                  // A second release of an unset record does nothing.
  WritePixelAt(&view, 0, 0, 0x12345678);  // The store is alive while a view holds it.
  EXPECT_EQ(0x12345678u, ReadPixelAt(&view, 0, 0));
  ReleaseMemImg(&view);
  EXPECT_EQ(1, viewOfView.Core->RefCount);
  ReleaseMemImg(&viewOfView);  // Frees the store; the sanitizers catch a double free or a leak.
}

TEST(MemImgViews, RefuseAreasOutsideTheSource) {
  TestImage image;
  ASSERT_EQ(0, SetupMemImg(image.get(), 16, 8, -1, 0, 1, 0, 0, 0, nullptr));
  const int areas[][4] = {{-1, 0, 4, 4}, {0, -1, 4, 4}, {13, 0, 4, 4}, {0, 5, 4, 4}, {0, 0, -1, 4}, {0, 0, 4, -2}};
  for (const auto& area : areas) {
    MEMIMG view = {};
    MakeMemImgView(&view, image.get(), area[0], area[1], area[2], area[3]);
    EXPECT_EQ(0, IsMemImgValid(&view));
  }
  EXPECT_EQ(1, image->Core->RefCount);
}

TEST(MemImgViews, RemakingAViewLetsGoOfItsOldStore) {
  TestImage first;
  TestImage second;
  ASSERT_EQ(0, SetupMemImg(first.get(), 8, 8, -1, 0, 1, 0, 0, 0, nullptr));
  ASSERT_EQ(0, SetupMemImg(second.get(), 8, 8, -1, 0, 1, 0, 0, 0, nullptr));
  TestImage view;
  MakeMemImgView(view.get(), first.get(), 0, 0, 4, 4);
  MakeMemImgView(view.get(), second.get(), 0, 0, 4, 4);
  EXPECT_EQ(1, first->Core->RefCount);
  EXPECT_EQ(2, second->Core->RefCount);
  MakeMemImgView(view.get(), view.get(), 1, 1, 2, 2);  // A view of itself keeps its store.
  EXPECT_EQ(2, second->Core->RefCount);
  EXPECT_EQ(PixelAt(second.get(), 1, 1), view->Pixels);
}

TEST(MemImgViews, CallerPixelsAreNeverFreed) {
  std::vector<uint32_t> pixels(8 * 4, 0xAABBCCDD);
  MEMIMG image = {};
  ASSERT_EQ(0, SetupMemImg(&image, 8, 4, 32, 0, 1, 0, 0, 0, pixels.data()));
  EXPECT_EQ(1, image.Core->UserPixels);
  EXPECT_EQ(0xAABBCCDDu, ReadPixelAt(&image, 7, 3));
  ReleaseMemImg(&image);  // Freeing the vector's buffer here would be caught by the sanitizer.
  EXPECT_EQ(0xAABBCCDDu, pixels[31]);
}

TEST(MemImgFill, RawFillsClampAndWriteThePixelSize) {
  TestImage image;
  ASSERT_EQ(0, SetupMemImg(image.get(), 6, 4, -1, 0, 0, 0, 1, 0, nullptr));  // 4-byte pixels.
  FillMemImgRaw(image.get(), nullptr, 0);
  const RECT reversed = {4, 3, -5, 1};
  FillMemImgRaw(image.get(), &reversed, 0x00FF1234);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x)
      EXPECT_EQ(x < 4 && y >= 1 && y < 3 ? 0x00FF1234u : 0u, ReadPixelAt(image.get(), x, y)) << x << "," << y;
  const RECT outside = {10, 0, 20, 4};
  FillMemImgRaw(image.get(), &outside, 0xFFFFFFFF);
  EXPECT_EQ(0u, ReadPixelAt(image.get(), 5, 0));
}

TEST(MemImgFill, WholeFillBuildsLineCodesOfRuns) {
  // 130 transparent pixels, then 130 opaque ones: runs of 64, 64 and 2 each.
  TestImage image;
  // The converter sets the spare top byte, so the key carries it too.
  ASSERT_EQ(0, SetupMemImg(image.get(), 130, 2, -1, 0xFF102030, 1, 0, 0, 1, nullptr));
  TestBase base(130, 2, false);
  for (int x = 0; x < 130; ++x) {
    base.Set(x, 0, 0xFF102030);
    base.Set(x, 1, 0xFF405060);
  }
  EXPECT_GE(FillMemImgFromBaseImage(&base.image, nullptr, image.get(), 0, 0, 130, 2, 0, 0, 0), 0);
  ASSERT_EQ(1, image->Core->LineCodesValid);
  const std::vector<uint8_t> expected = {0x3F, 0x3F, 0x01, 0xC0, 0x7F, 0x7F, 0x41, 0xC0};
  EXPECT_EQ(expected, std::vector<uint8_t>(image->Core->LineCodes, image->Core->LineCodes + 8));
  EXPECT_EQ(0x00102030u, ReadPixelAt(image.get(), 0, 0) & 0xFFFFFF);

  // Every later write to the store invalidates them.
  const RECT corner = {0, 0, 1, 1};
  FillMemImgRaw(image.get(), &corner, 0);
  EXPECT_EQ(0, image->Core->LineCodesValid);
}

TEST(MemImgFill, AlphaKindsAndThePremultipliedPlane) {
  TestImage image;
  ASSERT_EQ(0, SetupMemImg(image.get(), 4, 1, -1, 0, 1, 0, 1, 1, nullptr));
  TestBase base(4, 1, true);
  base.Set(0, 0, 0x00FFFFFF);
  base.Set(1, 0, 0xFF806040);
  base.Set(2, 0, 0x80806040);
  base.Set(3, 0, 0x80806040);
  EXPECT_GE(FillMemImgFromBaseImage(&base.image, nullptr, image.get(), 0, 0, 4, 1, 0, 0, 0), 0);
  EXPECT_EQ(1, image->Core->PremultValid);
  EXPECT_EQ((std::vector<uint8_t>{0x00, 0x40, 0x81, 0xC0}), LineCodeRow(image->Core));
  uint32_t premult;
  std::memcpy(&premult, image->PremultPixels + 8, 4);
  EXPECT_EQ(0x80403020u, premult);  // Each colour byte times 128 / 256.

  // 5-6-5 with alpha: each field scaled in place, alpha again in the third byte.
  TestImage wide;
  ASSERT_EQ(0, SetupMemImg(wide.get(), 1, 1, -1, 0, 0, 0, 1, 1, nullptr));
  TestBase white(1, 1, true);
  white.Set(0, 0, 0x80FFFFFF);
  EXPECT_GE(FillMemImgFromBaseImage(&white.image, nullptr, wide.get(), 0, 0, 1, 1, 0, 0, 0), 0);
  EXPECT_EQ(0x0080FFFFu, ReadPixelAt(wide.get(), 0, 0) & 0x00FFFFFF);
  std::memcpy(&premult, wide->PremultPixels, 4);
  EXPECT_EQ(0x0080u, (premult >> 16) & 0xFF);
  EXPECT_EQ(((15u << 11) | (31u << 5) | 15u), premult & 0xFFFF);
}

TEST(MemImgFill, PartialFillsLeaveDerivedDataInvalid) {
  TestImage image;
  ASSERT_EQ(0, SetupMemImg(image.get(), 8, 8, -1, 0, 1, 0, 1, 1, nullptr));
  TestBase base(8, 8, true);
  EXPECT_GE(FillMemImgFromBaseImage(&base.image, nullptr, image.get(), 0, 0, 4, 8, 0, 0, 0), 0);
  EXPECT_EQ(0, image->Core->LineCodesValid);
  EXPECT_EQ(0, image->Core->PremultValid);
  // Rectangles that leave either image are cut, not overrun.
  EXPECT_GE(FillMemImgFromBaseImage(&base.image, nullptr, image.get(), -4, 2, 20, 20, 3, -1, 0), 0);
  EXPECT_EQ(-1, FillMemImgFromBaseImage(&base.image, nullptr, image.get(), 8, 0, 4, 4, 0, 0, 0));
  // A base image whose rows are shorter than its width is refused, not read past.
  BaseImage narrow = base.image;
  narrow.pitch = 8;
  EXPECT_EQ(-1, FillMemImgFromBaseImage(&narrow, nullptr, image.get(), 0, 0, 8, 8, 0, 0, 0));
}

TEST(MemImgFill, PalettesBecomeImageEntries) {
  TestImage wide;
  TestImage narrow;
  ASSERT_EQ(0, SetupMemImg(wide.get(), 2, 1, -1, 0, 1, 1, 0, 0, nullptr));
  ASSERT_EQ(0, SetupMemImg(narrow.get(), 2, 1, -1, 0, 0, 1, 0, 0, nullptr));
  BaseImage base = {};
  ColorData palette = {};
  SetupPalette8ColorData(&palette);
  ASSERT_EQ(0, CreateBaseImageLike(2, 1, &palette, &base));
  base.color.palette[0] = {0x10, 0x20, 0x30, 0};
  base.color.palette[3] = {0xFF, 0x84, 0x48, 0x77};  // Blue, green, red, alpha.
  base.pixels[0] = 3;
  base.pixels[1] = 0;
  EXPECT_GE(FillMemImgFromBaseImage(&base, nullptr, wide.get(), 0, 0, 2, 1, 0, 0, 0), 0);
  EXPECT_GE(FillMemImgFromBaseImage(&base, nullptr, narrow.get(), 0, 0, 2, 1, 0, 0, 0), 0);
  uint32_t entry;
  std::memcpy(&entry, wide->Core->Palette + 3 * 4, 4);
  EXPECT_EQ(0x004884FFu, entry);
  uint16_t word;
  std::memcpy(&word, narrow->Core->Palette + 3 * 2, 2);
  EXPECT_EQ(((0x48 & 0xF8) << 8) | ((0x84 & 0xFC) << 3) | (0xFF >> 3), word);
  EXPECT_EQ(0, std::memcmp(wide->Core->Palette, wide->Core->PaletteCopy, 1024));
  EXPECT_EQ(3u, wide->Pixels[0]);
  EXPECT_EQ(4, wide->Core->PaletteColors);
  ReleaseBaseImage(&base);
}

TEST(MemImgFill, CopiesConvertBetweenImages) {
  TestImage source;
  TestImage dest;
  ASSERT_EQ(0, SetupMemImg(source.get(), 4, 4, -1, 0, 1, 0, 0, 0, nullptr));
  ASSERT_EQ(0, SetupMemImg(dest.get(), 4, 4, -1, 0, 0, 0, 0, 0, nullptr));
  FillMemImgRaw(source.get(), nullptr, 0x00F80400);
  FillMemImgRaw(dest.get(), nullptr, 0);
  const RECT area = {0, 0, 2, 2};
  EXPECT_EQ(0, CopyMemImgArea(dest.get(), source.get(), &area, 3, 3));
  EXPECT_EQ(0xF820u, ReadPixelAt(dest.get(), 3, 3));  // Cut at the destination's edge.
  EXPECT_EQ(0u, ReadPixelAt(dest.get(), 2, 2));
}

TEST(MemImgColorData, OneLayoutPerVariant) {
  const ColorData* plain16 = GetMemImgColorData(0, 0, 0);
  ASSERT_NE(nullptr, plain16);
  EXPECT_EQ(16, plain16->bitDepth);
  EXPECT_EQ(0xF800u, plain16->redMask);
  EXPECT_EQ(plain16, GetMemImgColorData(0, 0, 0));
  EXPECT_EQ(32, GetMemImgColorData(0, 1, 0)->bitDepth);
  EXPECT_EQ(0x00FF0000u, GetMemImgColorData(0, 1, 0)->alphaMask);
  EXPECT_EQ(8, GetMemImgColorData(1, 1, 1)->bitDepth);
  EXPECT_EQ(0xFF000000u, GetMemImgColorData(1, 1, 0)->alphaMask);
  const ColorData* single = GetMemImgColorData(2, 1, 1);
  EXPECT_EQ(1, single->bytesPerPixel);
  EXPECT_EQ(0xFFu, single->alphaMask);
  EXPECT_EQ(0u, single->spareMask);
  EXPECT_EQ(0xFFFFu, GetMemImgColorData(3, 0, 0)->greenMask);
  EXPECT_EQ(nullptr, GetMemImgColorData(4, 0, 0));
}

TEST(MemImgBlendTables, ProductsMixesAndTheBorderTable) {
  SetupMemImgBlendTables();
  const MemImgBlendTables& t = g_memImgBlendTables;
  EXPECT_EQ(255, t.ProductTable[255][255]);
  EXPECT_EQ(0, t.ProductTable[254][1]);
  EXPECT_EQ(-128, GetSignedProductRow(128)[-255]);
  EXPECT_EQ(-128, t.SignedProductTable[128][1]);  // The centre is entry 256 of the row.
  EXPECT_EQ(0, t.SignedProductTable[200][0]);
  EXPECT_EQ(-7, GetSignedProductRow(100)[-20]);  // Truncated toward zero.
  for (int k = 0; k < 64; k += 9)
    for (int j = 0; j < 64; j += 7) {
      EXPECT_EQ(k, t.MixTable64[63 * 4096 + k * 64 + j]);
      EXPECT_EQ(j, t.MixTable64[0 * 4096 + k * 64 + j]);
    }

  struct BorderCase {
    int border;
    int range;
    int index;
    int expected;
  };
  const BorderCase cases[] = {
      {0, 0, 0, 255},   {0, 200, 0, 255},   {128, 255, 0, 0},   {128, 255, 77, 77}, {128, 255, 255, 255},
      {128, 0, 127, 0}, {128, 0, 128, 128}, {128, 0, 129, 255}, {255, 255, 254, 0}, {255, 255, 255, 1},
  };
  for (const BorderCase& c : cases) {
    SetMemImgBlendImageBorder(c.border, c.range);
    EXPECT_EQ(c.expected, t.BlendImageAlphaTable[c.index]) << c.border << "/" << c.range << "[" << c.index << "]";
  }
}

TEST(MemImgFill, SingleChannelImagesTakeTheRedChannel) {
  TestBase base(3, 1, false);
  base.Set(0, 0, 0xFF000000);
  base.Set(1, 0, 0xFF80FF00);
  base.Set(2, 0, 0xFFFF00FF);
  TestImage byte;
  TestImage word;
  ASSERT_EQ(0, SetupMemImg(byte.get(), 3, 1, -1, 0, 2, 1, 1, 1, nullptr));
  ASSERT_EQ(0, SetupMemImg(word.get(), 3, 1, -1, 0, 3, 0, 0, 1, nullptr));
  EXPECT_EQ(nullptr, byte->Core->LineCodes);  // Blend images need no line codes.
  FillMemImgFromBaseImage(&base.image, nullptr, byte.get(), 0, 0, 3, 1, 0, 0, 0);
  FillMemImgFromBaseImage(&base.image, nullptr, word.get(), 0, 0, 3, 1, 0, 0, 0);
  EXPECT_EQ((std::vector<uint8_t>{0x00, 0x80, 0xFF}), std::vector<uint8_t>(byte->Pixels, byte->Pixels + 3));
  EXPECT_EQ(0u, ReadPixelAt(word.get(), 0, 0));
  EXPECT_EQ(0xFFFFu, ReadPixelAt(word.get(), 2, 0));
  EXPECT_EQ(0, word->Core->LineCodesValid);
}
