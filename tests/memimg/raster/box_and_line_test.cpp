// Filled boxes and lines: which pixels they cover, their clipping, and the record order of a line
// list. (The colour each blend mode gives is in golden_pixels_test.cpp.)
#include <algorithm>
#include <vector>

#include "raster_images.h"

namespace {

class BoxAndLineTest : public RasterTest {
 protected:
  // The set of pixels that differ from the background value.
  static std::vector<std::pair<int, int>> Drawn(RasterImage& image, uint32_t background) {
    std::vector<std::pair<int, int>> drawn;
    for (int y = 0; y < image.Image.Height; ++y)
      for (int x = 0; x < image.Image.Width; ++x)
        if (image.Pixel(x, y) != background) drawn.emplace_back(x, y);
    return drawn;
  }
  static std::vector<std::pair<int, int>> Rectangle(int left, int top, int right, int bottom) {
    std::vector<std::pair<int, int>> pixels;
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x) pixels.emplace_back(x, y);
    return pixels;
  }
  static std::vector<std::pair<int, int>> Row(int y, int first, int last) {
    return Rectangle(first, y, last + 1, y + 1);
  }
};

TEST_F(BoxAndLineTest, BoxCornersAreOrderedAndClippedToTheDrawArea) {
  struct BoxCase {
    RECT Box;
    RECT Area;
    std::vector<std::pair<int, int>> Expected;
  };
  const BoxCase cases[] = {
      {{2, 3, 6, 5}, {0, 0, 16, 12}, Rectangle(2, 3, 6, 5)},
      {{6, 5, 2, 3}, {0, 0, 16, 12}, Rectangle(2, 3, 6, 5)},
      {{6, 3, 2, 5}, {0, 0, 16, 12}, Rectangle(2, 3, 6, 5)},
      {{-5, -5, 40, 40}, {3, 2, 9, 7}, Rectangle(3, 2, 9, 7)},
      {{10, 8, 14, 11}, {3, 2, 9, 7}, {}},
      {{4, 4, 4, 9}, {0, 0, 16, 12}, {}},
      // An area larger than the image (the target is another image) stops at the image.
      {{-5, -5, 40, 40}, {0, 0, 4096, 4096}, Rectangle(0, 0, 16, 12)},
  };
  for (int format : {0, 1}) {
    for (const BoxCase& test : cases) {
      RasterImage image(16, 12, format, format == 1 ? 4 : 2);
      g_rasterDrawSettings.DrawArea = test.Area;
      FillMemImgBox(image.Get(), &test.Box, 0x7777, g_rasterDrawSettings);
      EXPECT_EQ(Drawn(image, 0), test.Expected)
          << format << ": " << test.Box.left << "," << test.Box.top << "," << test.Box.right << "," << test.Box.bottom;
    }
  }
  RasterImage image(16, 12, 1, 4);
  g_rasterDrawSettings.DrawArea = RECT{1, 1, 15, 11};
  FillMemImgBox(image.Get(), nullptr, 0x7777, g_rasterDrawSettings);
  EXPECT_EQ(Drawn(image, 0), Rectangle(1, 1, 15, 11));
}

TEST_F(BoxAndLineTest, SixteenBitCopiesFillOddAndEvenSpansExactly) {
  // Two pixels per store, then the odd last one: every start and width.
  for (int left = 0; left < 3; ++left)
    for (int width = 1; width <= 5; ++width) {
      RasterImage image(9, 2, 0, 2, 0, 0, 2);
      const RECT box = {left, 0, left + width, 1};
      FillMemImgBox(image.Get(), &box, 0xBEEF, g_rasterDrawSettings);
      EXPECT_EQ(Drawn(image, 0), Row(0, left, left + width - 1)) << left << " " << width;
      EXPECT_EQ(image.Pixel(left, 0), 0xBEEFu);
    }
}

TEST_F(BoxAndLineTest, PalettedOrAlphaDestinationsAreLeftAlone) {
  RasterImage paletted(8, 8, 1, 1, 1);
  RasterImage withAlpha(8, 8, 1, 4, 0, 1);
  RasterImage single(8, 8, 2, 1);
  for (RasterImage* image : {&paletted, &withAlpha, &single}) {
    FillMemImgBox(image->Get(), nullptr, 0xFFFFFFFF, g_rasterDrawSettings);
    DrawMemImgLine(image->Get(), 0, 0, 7, 7, 0xFFFFFFFF, g_rasterDrawSettings);
    EXPECT_TRUE(Drawn(*image, 0).empty());
  }
  FillMemImgBox(nullptr, nullptr, 1, g_rasterDrawSettings);
  DrawMemImgLine(nullptr, 0, 0, 3, 3, 1, g_rasterDrawSettings);
}

TEST_F(BoxAndLineTest, LinesLeaveOutTheirEndPointAndClip) {
  struct LineCase {
    int X1, Y1, X2, Y2;
    RECT Area;
    std::vector<std::pair<int, int>> Expected;
  };
  const RECT whole = {0, 0, 16, 12};
  const LineCase cases[] = {
      {0, 0, 10, 0, whole, Row(0, 0, 9)},
      {10, 0, 0, 0, whole, Row(0, 1, 10)},
      {0, 0, 10, 1, whole, Row(0, 0, 9)},
      {5, 5, 5, 5, whole, {}},
      {-10, 5, 10, 5, whole, Row(5, 0, 9)},
      {3, 7, 40, 7, whole, Row(7, 3, 15)},
      {3, 2, 3, 6, whole, {{3, 2}, {3, 3}, {3, 4}, {3, 5}}},
      {0, 0, 4, 4, whole, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}},
      {0, 0, 2, 6, whole, {{0, 0}, {0, 1}, {0, 2}, {1, 3}, {1, 4}, {1, 5}}},
      {2, 1, 9, 1, {4, 0, 7, 12}, Row(1, 4, 6)},
      {5, -3, 5, 30, {0, 2, 16, 6}, {{5, 2}, {5, 3}, {5, 4}, {5, 5}}},
      {20, 20, 30, 30, whole, {}},
      {-2147483647 - 1, 3, 2147483647, 3, whole, Row(3, 0, 15)},
  };
  for (int format : {0, 1}) {
    for (const LineCase& test : cases) {
      RasterImage image(16, 12, format, format == 1 ? 4 : 2);
      g_rasterDrawSettings.DrawArea = test.Area;
      DrawMemImgLine(image.Get(), test.X1, test.Y1, test.X2, test.Y2, 0x7777, g_rasterDrawSettings);
      std::vector<std::pair<int, int>> drawn = Drawn(image, 0);
      std::vector<std::pair<int, int>> expected = test.Expected;
      std::sort(expected.begin(), expected.end(),
                [](auto a, auto b) { return a.second != b.second ? a.second < b.second : a.first < b.first; });
      EXPECT_EQ(drawn, expected) << format << ": (" << test.X1 << "," << test.Y1 << ") to (" << test.X2 << ","
                                 << test.Y2 << ")";
    }
  }
}

TEST_F(BoxAndLineTest, LineListsDrawTheirRecordsInOrder) {
  const MemImgLineRecord records[3] = {
      {0, 2, 8, 2, 0x0000FF, 99}, {4, 0, 4, 8, 0x00FF00, 99}, {0, 0, 8, 8, 0xFF0000, 99}};
  g_rasterDrawSettings.BlendMode = 1;
  g_rasterDrawSettings.BlendParam = 128;
  RasterImage listed(8, 8, 1, 4), oneByOne(8, 8, 1, 4), reversed(8, 8, 1, 4);
  DrawMemImgLines(listed.Get(), records, 3, g_rasterDrawSettings);
  for (const MemImgLineRecord& line : records)
    DrawMemImgLine(oneByOne.Get(), line.x1, line.y1, line.x2, line.y2, line.color, g_rasterDrawSettings);
  for (int i = 2; i >= 0; --i)
    DrawMemImgLine(reversed.Get(), records[i].x1, records[i].y1, records[i].x2, records[i].y2, records[i].color,
                   g_rasterDrawSettings);
  EXPECT_EQ(listed.Buffer, oneByOne.Buffer);
  EXPECT_NE(listed.Buffer, reversed.Buffer);
  RasterImage untouched(8, 8, 1, 4);
  DrawMemImgLines(untouched.Get(), records, 0, g_rasterDrawSettings);
  DrawMemImgLines(untouched.Get(), records, -3, g_rasterDrawSettings);
  DrawMemImgLines(untouched.Get(), nullptr, 3, g_rasterDrawSettings);
  EXPECT_TRUE(Drawn(untouched, 0).empty());
}

}  // namespace
