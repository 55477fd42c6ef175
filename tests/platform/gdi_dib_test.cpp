// DIB sections and the DIB picture output of the GDI stand-in: every DIB format drawn into a
// 24-bit section, and the window path through the presented frame.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/gdi.h"
#include "platform/testing.h"

namespace {

// A BITMAPINFO with room for a full colour table.
struct InfoBlock {
  BITMAPINFOHEADER header;
  uint32_t table[256];
  const BITMAPINFO* info() const { return reinterpret_cast<const BITMAPINFO*>(this); }
};

InfoBlock MakeInfo(int width, int height, int bits, DWORD compression, std::vector<uint32_t> table = {}) {
  InfoBlock block{};
  block.header.biSize = sizeof(BITMAPINFOHEADER);
  block.header.biWidth = width;
  block.header.biHeight = height;
  block.header.biPlanes = 1;
  block.header.biBitCount = static_cast<WORD>(bits);
  block.header.biCompression = compression;
  for (size_t i = 0; i < table.size(); ++i) block.table[i] = table[i];
  return block;
}

// Draws the DIB into a top-down 24-bit section and returns its pixels as 0xRRGGBB.
std::vector<uint32_t> DrawIntoSection(const InfoBlock& block, const std::vector<uint8_t>& bits, int* lines = nullptr) {
  const int width = block.header.biWidth;
  const int height = block.header.biHeight < 0 ? -block.header.biHeight : block.header.biHeight;
  HDC dc = CreateCompatibleDC(nullptr);
  InfoBlock section = MakeInfo(width, -height, 24, BI_RGB);
  void* sectionBits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, section.info(), DIB_RGB_COLORS, &sectionBits, nullptr, 0);
  EXPECT_NE(bitmap, nullptr);
  SelectObject(dc, bitmap);
  const int drawn = SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0, 0, 0,
                                      static_cast<UINT>(height), bits.data(), block.info(), DIB_RGB_COLORS);
  if (lines) *lines = drawn;
  BITMAP description{};
  EXPECT_EQ(GetObjectA(bitmap, sizeof(description), &description), static_cast<int>(sizeof(BITMAP)));
  EXPECT_EQ(description.bmBits, sectionBits);
  std::vector<uint32_t> pixels;
  const auto* rows = static_cast<const uint8_t*>(sectionBits);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = rows + y * description.bmWidthBytes + x * 3;
      pixels.push_back(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                       (static_cast<uint32_t>(p[2]) << 16));
    }
  DeleteDC(dc);
  EXPECT_TRUE(DeleteObject(bitmap));
  return pixels;
}

TEST(GdiPictureOutput, DrawsEveryDibFormatIntoASection) {
  const std::vector<uint32_t> twoColours = {0x000000, 0xFFFFFF};
  const std::vector<uint32_t> sixteen = {0x000000, 0x112233, 0x445566, 0x778899};
  const struct {
    const char* name;
    InfoBlock info;
    std::vector<uint8_t> bits;
    std::vector<uint32_t> expected;  // Top row first.
  } cases[] = {
      {"1-bit bottom-up",
       MakeInfo(3, 2, 1, BI_RGB, twoColours),
       {0xA0, 0, 0, 0, 0x40, 0, 0, 0},
       {0x000000, 0xFFFFFF, 0x000000, 0xFFFFFF, 0x000000, 0xFFFFFF}},
      {"4-bit top-down", MakeInfo(2, -1, 4, BI_RGB, sixteen), {0x31, 0, 0, 0}, {0x778899, 0x112233}},
      {"8-bit", MakeInfo(1, 1, 8, BI_RGB, sixteen), {2, 0, 0, 0}, {0x445566}},
      {"16-bit 5-5-5", MakeInfo(2, 1, 16, BI_RGB), {0xFF, 0x7F, 0x10, 0x42}, {0xFFFFFF, 0x848484}},
      {"16-bit 5-6-5 fields", MakeInfo(1, 1, 16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}), {0x20, 0x00}, {0x000400}},
      {"32-bit fields", MakeInfo(1, 1, 32, BI_BITFIELDS, {0xFF, 0xFF00, 0xFF0000}), {1, 2, 3, 4}, {0x010203}},
      {"24-bit", MakeInfo(1, 2, 24, BI_RGB), {1, 2, 3, 0, 4, 5, 6, 0}, {0x060504, 0x030201}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int lines = 0;
    EXPECT_EQ(DrawIntoSection(c.info, c.bits, &lines), c.expected);
    EXPECT_GT(lines, 0);
  }
}

TEST(GdiPictureOutput, RunLengthDibsReadNoFurtherThanTheirSize) {
  InfoBlock rle8 = MakeInfo(4, 2, 8, BI_RLE8, {0x000000, 0x0000FF, 0x00FF00});
  const std::vector<uint8_t> data = {3, 1, 0, 0, 0, 3, 2, 1, 2, 0, 0, 1, 9, 9};
  rle8.header.biSizeImage = 12;
  EXPECT_EQ(DrawIntoSection(rle8, data),
            (std::vector<uint32_t>{0x00FF00, 0x0000FF, 0x00FF00, 0, 0x0000FF, 0x0000FF, 0x0000FF, 0}));
  InfoBlock rle4 = MakeInfo(4, 1, 4, BI_RLE4, {0x000000, 0x0000FF, 0x00FF00});
  rle4.header.biSizeImage = 2;
  EXPECT_EQ(DrawIntoSection(rle4, {4, 0x12, 0, 1}), (std::vector<uint32_t>{0x0000FF, 0x00FF00, 0x0000FF, 0x00FF00}));
}

TEST(GdiPictureOutput, RefusesUnknownFormats) {
  HDC dc = CreateCompatibleDC(nullptr);
  InfoBlock section = MakeInfo(2, 2, 24, BI_RGB);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, section.info(), DIB_RGB_COLORS, &bits, nullptr, 0);
  SelectObject(dc, bitmap);
  const uint8_t data[16] = {};
  for (const InfoBlock& info :
       {MakeInfo(2, 2, 2, BI_RGB), MakeInfo(2, 2, 24, 4), MakeInfo(0, 2, 24, BI_RGB), MakeInfo(2, 2, 24, BI_BITFIELDS)})
    EXPECT_EQ(SetDIBitsToDevice(dc, 0, 0, 2, 2, 0, 0, 0, 2, data, info.info(), DIB_RGB_COLORS), 0);
  EXPECT_EQ(CreateDIBSection(dc, MakeInfo(100000, 100000, 32, BI_RGB).info(), DIB_RGB_COLORS, &bits, nullptr, 0),
            nullptr);
  EXPECT_FALSE(DeleteObject(bitmap));  // Still selected.
  DeleteDC(dc);
  EXPECT_TRUE(DeleteObject(bitmap));
}

TEST(GdiBitmaps, CompatibleBitmapDescribesItself) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, 3, 2);
  ASSERT_NE(bitmap, nullptr);
  BITMAP description{};
  EXPECT_EQ(GetObjectA(bitmap, 0, nullptr), static_cast<int>(sizeof(BITMAP)));
  ASSERT_EQ(GetObjectA(bitmap, sizeof(description), &description), static_cast<int>(sizeof(BITMAP)));
  EXPECT_EQ(description.bmWidth, 3);
  EXPECT_EQ(description.bmHeight, 2);
  EXPECT_EQ(description.bmWidthBytes, 12);
  EXPECT_EQ(description.bmBitsPixel, 32);
  EXPECT_EQ(description.bmBits, nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(dc, 0, 2), nullptr);
  DeleteDC(dc);
  EXPECT_TRUE(DeleteObject(bitmap));
}

TEST(GdiPictureOutput, WindowContextsPresentThePicture) {
  platform::testing::KeepPresentedFrames(true);
  HWND window = reinterpret_cast<HWND>(0x1234);
  HDC dc = GetDC(window);
  const InfoBlock info = MakeInfo(2, 2, 24, BI_RGB);
  const uint8_t bits[16] = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
  ASSERT_EQ(SetDIBitsToDevice(dc, 5, 6, 2, 2, 0, 0, 0, 2, bits, info.info(), DIB_RGB_COLORS), 2);
  platform::testing::PresentedFrame frame;
  ASSERT_TRUE(platform::testing::LastPresentedFrame(&frame));
  EXPECT_EQ(frame.window, window);
  EXPECT_EQ(frame.destination.left, 5);
  EXPECT_EQ(frame.destination.bottom, 8);
  EXPECT_EQ(frame.pixels, (std::vector<uint32_t>{0x090807, 0x0C0B0A, 0x030201, 0x060504}));
  // Stretched twice as wide and mirrored by a negative width.
  ASSERT_GT(StretchDIBits(dc, 0, 0, 4, 2, 0, 0, 2, 2, bits, info.info(), DIB_RGB_COLORS, SRCCOPY), 0);
  ASSERT_TRUE(platform::testing::LastPresentedFrame(&frame));
  EXPECT_EQ(frame.width, 4);
  EXPECT_EQ(frame.pixels[0], 0x090807u);
  EXPECT_EQ(frame.pixels[1], 0x090807u);
  EXPECT_EQ(frame.pixels[2], 0x0C0B0Au);
  ASSERT_GT(StretchDIBits(dc, 1, 0, -2, 2, 0, 0, 2, 2, bits, info.info(), DIB_RGB_COLORS, SRCCOPY), 0);
  ASSERT_TRUE(platform::testing::LastPresentedFrame(&frame));
  EXPECT_EQ(frame.pixels[0], 0x0C0B0Au);
  // The source rectangle counts from the bottom also for a top-down DIB: source row 0 of height 1
  // is the DIB's last row.
  const InfoBlock topDown = MakeInfo(2, -2, 24, BI_RGB);
  ASSERT_GT(StretchDIBits(dc, 0, 0, 2, 1, 0, 0, 2, 1, bits, topDown.info(), DIB_RGB_COLORS, SRCCOPY), 0);
  ASSERT_TRUE(platform::testing::LastPresentedFrame(&frame));
  EXPECT_EQ(frame.pixels, (std::vector<uint32_t>{0x090807, 0x0C0B0A}));
  ReleaseDC(window, dc);
  platform::testing::KeepPresentedFrames(false);
}

}  // namespace
