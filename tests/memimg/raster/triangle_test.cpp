// Textured triangles: which pixels a triangle covers, how the texture lands on them, the source
// kinds and their transparency, and the cases that draw nothing.
#include <algorithm>
#include <array>

#include "raster_images.h"

namespace {

class TriangleTest : public RasterTest {
 protected:
  // Coverage counts: every drawn pixel adds 1 to blue (mode 2 at full strength on black).
  static constexpr int kSize = 40;
  RasterImage counts{kSize, kSize, 1, 4};

  void SetUp() override {
    RasterTest::SetUp();
    counts.Fill(0);
  }
  void Count(const MemImgVertex (&corners)[3]) {
    g_rasterDrawSettings.BlendMode = 2;
    g_rasterDrawSettings.BlendParam = 255;
    MapMemImgTriangle(counts.Get(), nullptr, corners, 0, nullptr, 1, g_rasterDrawSettings);
  }
  uint32_t CountAt(int x, int y) { return counts.Pixel(x, y); }
  uint32_t MaximumCount() {
    uint32_t most = 0;
    for (int y = 0; y < kSize; ++y)
      for (int x = 0; x < kSize; ++x) most = std::max(most, CountAt(x, y));
    return most;
  }
};

TEST_F(TriangleTest, RightTriangleCoversItsRowsAndColumnsHalfOpen) {
  Count({{0, 0, 0, 0}, {10, 0, 0, 0}, {0, 10, 0, 0}});
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) EXPECT_EQ(CountAt(x, y), x + y <= 9 ? 1u : 0u) << x << "," << y;
}

TEST_F(TriangleTest, CornerOrderAndWindingDoNotChangeCoverage) {
  std::array<MemImgVertex, 3> corners = {{{3, 1, 0, 0}, {27, 9, 0, 0}, {8, 33, 0, 0}}};
  std::sort(corners.begin(), corners.end(), [](const MemImgVertex& a, const MemImgVertex& b) { return a.x < b.x; });
  Count({corners[0], corners[1], corners[2]});
  std::vector<uint32_t> first(counts.Buffer.begin(), counts.Buffer.end());
  int orders = 0;
  while (std::next_permutation(corners.begin(), corners.end(),
                               [](const MemImgVertex& a, const MemImgVertex& b) { return a.x < b.x; })) {
    counts.Fill(0);
    Count({corners[0], corners[1], corners[2]});
    EXPECT_TRUE(std::equal(first.begin(), first.end(), counts.Buffer.begin())) << orders;
    ++orders;
  }
  EXPECT_EQ(orders, 5);
}

TEST_F(TriangleTest, SharedEdgesAreDrawnOnceWithoutGaps) {
  // An axis-aligned quad split along its diagonal fills its rectangle exactly once.
  Count({{2, 3, 0, 0}, {20, 3, 0, 0}, {2, 17, 0, 0}});
  Count({{20, 3, 0, 0}, {2, 17, 0, 0}, {20, 17, 0, 0}});
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x)
      EXPECT_EQ(CountAt(x, y), x >= 2 && x < 20 && y >= 3 && y < 17 ? 1u : 0u) << x << "," << y;

  // A fan of triangles around one centre, with edges in every direction (and the middle corner on
  // either side): no pixel twice, and each row of the convex whole is one unbroken run.
  counts.Fill(0);
  const int outline[][2] = {{20, 1}, {33, 6}, {38, 19}, {31, 35}, {17, 38}, {4, 30}, {2, 13}, {9, 4}};
  const int count = static_cast<int>(std::size(outline));
  for (int i = 0; i < count; ++i) {
    const int* a = outline[i];
    const int* b = outline[(i + 1) % count];
    Count({{19, 20, 0, 0}, {a[0], a[1], 0, 0}, {b[0], b[1], 0, 0}});
  }
  EXPECT_EQ(MaximumCount(), 1u);
  int coveredRows = 0;
  for (int y = 0; y < kSize; ++y) {
    int runs = 0;
    for (int x = 0; x < kSize; ++x)
      if (CountAt(x, y) == 1 && (x == 0 || CountAt(x - 1, y) == 0)) ++runs;
    EXPECT_LE(runs, 1) << "row " << y;
    coveredRows += runs;
  }
  EXPECT_EQ(coveredRows, 36);  // Rows 2 to 37: the pointed top corner's own row is empty.
}

TEST_F(TriangleTest, DegenerateTrianglesDrawNothing) {
  Count({{1, 1, 0, 0}, {5, 5, 0, 0}, {9, 9, 0, 0}});
  Count({{1, 4, 0, 0}, {30, 4, 0, 0}, {12, 4, 0, 0}});
  Count({{6, 6, 0, 0}, {6, 6, 0, 0}, {6, 6, 0, 0}});
  EXPECT_EQ(MaximumCount(), 0u);
}

// A source whose texel (x, y) holds x + 16 y + 0x100, so every texel is told apart.
void FillNumbered(RasterImage& source) {
  for (int y = 0; y < source.Image.Height; ++y)
    for (int x = 0; x < source.Image.Width; ++x) source.SetPixel(x, y, 0x100u + x + 16u * y);
}

void DrawQuad(MEMIMG* dst, MEMIMG* src, int left, int top, int right, int bottom, int uRight, int vBottom,
              int uLeft = 0, int vTop = 0) {
  const MemImgVertex first[3] = {{left, top, uLeft, vTop}, {right, top, uRight, vTop}, {left, bottom, uLeft, vBottom}};
  const MemImgVertex second[3] = {
      {right, top, uRight, vTop}, {left, bottom, uLeft, vBottom}, {right, bottom, uRight, vBottom}};
  MapMemImgTriangle(dst, src, first, 0, nullptr, 0, g_rasterDrawSettings);
  MapMemImgTriangle(dst, src, second, 0, nullptr, 0, g_rasterDrawSettings);
}

TEST_F(TriangleTest, AnUnscaledQuadCopiesTheSourceTexelForTexel) {
  for (int format : {0, 1}) {
    const int bytes = format == 1 ? 4 : 2;
    RasterImage source(8, 6, format, bytes);
    FillNumbered(source);
    RasterImage dest(16, 12, format, bytes);
    dest.Fill(0xAAAA);
    DrawQuad(dest.Get(), source.Get(), 3, 2, 11, 8, 8, 6);
    for (int y = 0; y < 12; ++y)
      for (int x = 0; x < 16; ++x) {
        const bool inside = x >= 3 && x < 11 && y >= 2 && y < 8;
        EXPECT_EQ(dest.Pixel(x, y), inside ? source.Pixel(x - 3, y - 2) : 0xAAAAu) << format << ": " << x << "," << y;
      }
  }
}

TEST_F(TriangleTest, ClippingKeepsThePictureInPlace) {
  RasterImage source(8, 8, 1, 4);
  FillNumbered(source);
  RasterImage dest(16, 16, 1, 4);
  dest.Fill(0xAAAA);
  g_rasterDrawSettings.DrawArea = RECT{5, 4, 9, 12};
  DrawQuad(dest.Get(), source.Get(), 2, 1, 10, 9, 8, 8);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const bool drawn = x >= 5 && x < 9 && y >= 4 && y < 9;
      EXPECT_EQ(dest.Pixel(x, y), drawn ? source.Pixel(x - 2, y - 1) : 0xAAAAu) << x << "," << y;
    }
  // Off the top-left edge of the image: the visible part keeps its texels.
  dest.Fill(0xAAAA);
  g_rasterDrawSettings.DrawArea = RECT{0, 0, 16, 16};
  DrawQuad(dest.Get(), source.Get(), -3, -2, 5, 6, 8, 8);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(dest.Pixel(x, y), source.Pixel(x + 3, y + 2));
}

TEST_F(TriangleTest, TexelsOutsideTheSourceLeaveTheDestination) {
  RasterImage source(4, 4, 1, 4);
  FillNumbered(source);
  RasterImage dest(16, 16, 1, 4);
  dest.Fill(0xAAAA);
  // u runs from -4 to 12 over the 16 pixels: only texels 0..3 (pixels 4..7) exist.
  DrawQuad(dest.Get(), source.Get(), 0, 0, 16, 4, 12, 4, -4, 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 16; ++x) EXPECT_EQ(dest.Pixel(x, y), x >= 4 && x < 8 ? source.Pixel(x - 4, y) : 0xAAAAu) << x;
}

// What one texel does to the destination pixel (1, 1).
struct SourceCase {
  const char* Name;
  int Format;
  int Kind;  // 0 direct, 1 paletted (index 5, key 5 or 7), 2 alpha.
  int Transparent;
  int Mode;
  int Param;
  int BlendByte;  // -1: no blend image.
  uint32_t Texel;
  uint32_t Key;
  uint32_t Expected;
};

constexpr uint32_t kDest32 = 0x11406080;
constexpr uint32_t kDest16 = 0x5514;
constexpr uint32_t kPaletteEntry32 = 0x00C08020;

constexpr SourceCase kSourceCases[] = {
    {"key skipped", 1, 0, 1, 0, 255, -1, 0x22C08020, 0x22C08020, kDest32},
    {"key drawn without the flag", 1, 0, 0, 0, 255, -1, 0x22C08020, 0x22C08020, 0x22C08020},
    {"palette index equal to the key", 1, 1, 1, 0, 255, -1, 5, 5, kDest32},
    {"palette entry written whole", 1, 1, 1, 0, 255, -1, 5, 7, kPaletteEntry32},
    {"palette subtract at parameter 0", 1, 1, 0, 3, 0, -1, 5, 7, 0x00416180},
    {"alpha 128 copy", 1, 2, 0, 0, 255, -1, 0x80C08020, 0, 0x11807050},
    {"alpha 255 with the flag is copied", 1, 2, 1, 0, 255, -1, 0xFFC08020, 0, 0xFFC08020},
    {"alpha 255 without the flag blends", 1, 2, 0, 0, 255, -1, 0xFFC08020, 0, 0x11BF7F20},
    {"alpha 0 with the flag", 1, 2, 1, 0, 255, -1, 0x00C08020, 0, kDest32},
    {"alpha 128 blend 128", 1, 2, 0, 1, 128, -1, 0x80C08020, 0, 0x11606868},
    {"alpha 128 add 128", 1, 2, 0, 2, 128, -1, 0x80C08020, 0, 0x00708088},
    {"alpha 128 multiply", 1, 2, 0, 4, 255, -1, 0x80C08020, 0, 0x11181808},
    {"blend image 128 copy", 1, 0, 0, 0, 255, 128, 0x22C08020, 0, 0x11807050},
    {"alpha 255, flag, blend image 128", 1, 2, 1, 0, 255, 128, 0xFFC08020, 0, 0x11807050},
    {"blend image 0 copy", 1, 0, 0, 0, 255, 0, 0x22C08020, 0, kDest32},
    {"16-bit alpha 128 copy", 0, 2, 0, 0, 255, -1, 0x0080F284, 0, 0xA3CC},
    {"16-bit alpha 255 with the flag", 0, 2, 1, 0, 255, -1, 0x00FFF284, 0, 0xF284},
    {"16-bit key skipped", 0, 0, 1, 0, 255, -1, 0xF284, 0xF284, kDest16},
    {"16-bit key with bits above the pixel", 0, 0, 1, 0, 255, -1, 0xF284, 0x3F284, kDest16},
    {"palette key with bits above the index", 1, 1, 1, 0, 255, -1, 5, 0x105, kDest32},
    {"16-bit alpha 128 blend 128", 0, 2, 0, 1, 128, -1, 0x0080F284, 0, 0x7C70},
    {"16-bit blend image 128 add 128", 0, 0, 0, 2, 128, 128, 0xF284, 0, 0x8DB5},
};

TEST_F(TriangleTest, SourceKindsTransparencyAndWeights) {
  for (const SourceCase& test : kSourceCases) {
    const int format = test.Format;
    const bool alpha = test.Kind == 2, paletted = test.Kind == 1;
    RasterImage source(8, 8, format, paletted ? 1 : (format == 1 || alpha ? 4 : 2), paletted, alpha);
    source.Fill(test.Texel);
    source.Core.KeyColor = test.Key;
    source.SetPaletteEntry(5, format == 1 ? kPaletteEntry32 : 0xF284);
    RasterImage blend(8, 8, 2, 1);
    blend.Fill(static_cast<uint32_t>(test.BlendByte));
    RasterImage dest(8, 8, format, format == 1 ? 4 : 2);
    dest.Fill(format == 1 ? kDest32 : kDest16);
    g_rasterDrawSettings.BlendMode = test.Mode;
    g_rasterDrawSettings.BlendParam = test.Param;
    const MemImgVertex corners[3] = {{0, 0, 0, 0}, {8, 0, 8, 0}, {0, 8, 0, 8}};
    MapMemImgTriangle(dest.Get(), source.Get(), corners, test.Transparent, test.BlendByte < 0 ? nullptr : blend.Get(),
                      0, g_rasterDrawSettings);
    EXPECT_EQ(dest.Pixel(1, 1), test.Expected) << test.Name;
  }
}

TEST_F(TriangleTest, BlendAtFullStrengthIsACopy) {
  RasterImage source(8, 8, 1, 4, 0, 1);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) source.SetPixel(x, y, (x * 37u + y * 11u) << 24 | 0x405060u * x);
  RasterImage copied(8, 8, 1, 4), blended(8, 8, 1, 4);
  copied.Fill(0x11406080);
  blended.Fill(0x11406080);
  const MemImgVertex corners[3] = {{0, 0, 0, 0}, {8, 1, 8, 0}, {1, 8, 0, 8}};
  g_rasterDrawSettings.BlendMode = 0;
  MapMemImgTriangle(copied.Get(), source.Get(), corners, 1, nullptr, 0, g_rasterDrawSettings);
  g_rasterDrawSettings.BlendMode = 1;
  g_rasterDrawSettings.BlendParam = 255;
  MapMemImgTriangle(blended.Get(), source.Get(), corners, 1, nullptr, 0, g_rasterDrawSettings);
  EXPECT_EQ(copied.Buffer, blended.Buffer);
}

TEST_F(TriangleTest, UnsupportedImagesAndCornersDrawNothing) {
  RasterImage source(8, 8, 1, 4);
  source.Fill(0x123456);
  RasterImage source16(8, 8, 0, 2);
  RasterImage smallBlend(4, 8, 2, 1);
  RasterImage paletted(8, 8, 1, 1, 1);
  RasterImage withAlpha(8, 8, 1, 4, 0, 1);
  RasterImage single(8, 8, 2, 1);
  RasterImage dest(8, 8, 1, 4);
  const MemImgVertex corners[3] = {{0, 0, 0, 0}, {8, 0, 8, 0}, {0, 8, 0, 8}};
  const MemImgVertex farCorner[3] = {{0, 0, 0, 0}, {9000, 0, 8, 0}, {0, 8, 0, 8}};
  const MemImgVertex farTexel[3] = {{0, 0, 0, 0}, {8, 0, -9000, 0}, {0, 8, 0, 8}};
  MapMemImgTriangle(dest.Get(), source16.Get(), corners, 0, nullptr, 0, g_rasterDrawSettings);
  MapMemImgTriangle(paletted.Get(), source.Get(), corners, 0, nullptr, 0, g_rasterDrawSettings);
  MapMemImgTriangle(withAlpha.Get(), source.Get(), corners, 0, nullptr, 0, g_rasterDrawSettings);
  MapMemImgTriangle(single.Get(), nullptr, corners, 0, nullptr, 0xFF, g_rasterDrawSettings);
  MapMemImgTriangle(dest.Get(), source.Get(), corners, 0, smallBlend.Get(), 0, g_rasterDrawSettings);
  MapMemImgTriangle(dest.Get(), source.Get(), farCorner, 0, nullptr, 0, g_rasterDrawSettings);
  MapMemImgTriangle(dest.Get(), source.Get(), farTexel, 0, nullptr, 0, g_rasterDrawSettings);
  MapMemImgTriangle(nullptr, source.Get(), corners, 0, nullptr, 0, g_rasterDrawSettings);
  MapMemImgTriangle(dest.Get(), source.Get(), nullptr, 0, nullptr, 0, g_rasterDrawSettings);
  for (RasterImage* image : {&dest, &paletted, &withAlpha, &single})
    EXPECT_TRUE(std::all_of(image->Buffer.begin(), image->Buffer.end(), [](uint8_t byte) { return byte == 0; }));
}

}  // namespace
