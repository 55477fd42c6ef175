// Per-mode golden pixels, worked out by hand from the blend formulas, for every drawer that blends
// one colour without weights: a triangle with a direct-colour source, a flat triangle, a box and a
// line. In 32 bits the destination is 0x11406080 (fourth byte 0x11, red 64, green 96, blue 128)
// and the colour 0x22C08020 (red 192, green 128, blue 32); in 16 bits the destination holds the
// fields red 10, green 40, blue 20 (0x5514) and the colour red 30, green 20, blue 4 (0xF284).
#include "raster_images.h"

namespace {

struct GoldenCase {
  int Format;
  int Mode;
  int Param;
  uint32_t Dest;
  uint32_t Color;
  uint32_t Expected;
};

constexpr GoldenCase kGoldenCases[] = {
    // 32 bits: a copy writes the whole word; blends keep the fourth byte; add leaves the red
    // carry there and subtract clears it.
    {1, 0, 128, 0x11406080, 0x22C08020, 0x22C08020},
    {1, 1, 255, 0x11406080, 0x22C08020, 0x22C08020},
    {1, 1, 128, 0x11406080, 0x22C08020, 0x11807050},
    {1, 2, 128, 0x11406080, 0x22C08020, 0x00A0A090},
    {1, 2, 255, 0x11FFFFFF, 0x00FFFFFF, 0x01FFFFFF},
    {1, 2, 255, 0x00010101, 0x00010101, 0x00010102},
    {1, 3, 128, 0x11406080, 0x22C08020, 0x00002170},
    {1, 3, 255, 0x11406080, 0x00FF0000, 0x00006180},
    {1, 4, 128, 0x11406080, 0x22C08020, 0x11303010},
    {1, 4, 128, 0x11406080, 0x00FFFFFF, 0x113F5F7F},
    {1, 4, 128, 0x11406080, 0x00000000, 0x11000000},
    {1, 10, 128, 0x11406080, 0x22C08020, 0x113F6FAF},
    {1, 11, 128, 0x11406080, 0x22C08020, 0x11384848},
    {1, 10, 0, 0x11406080, 0x22C08020, 0x11406080},
    // 16 bits.
    {0, 0, 128, 0x5514, 0xF284, 0xF284},
    {0, 1, 128, 0x5514, 0xF284, 0xA3CC},
    {0, 2, 128, 0x5514, 0xF284, 0xCE56},
    {0, 2, 255, 0xFFFF, 0xFFFF, 0xFFFF},
    // The 5-6-5 carry masks are spaced 5 bits apart, one short for green: a subtract always clears
    // green's lowest bit, and a saturated green keeps its lowest bit from the sum (62, not 63;
    // red takes the carry).
    {0, 3, 128, 0x5514, 0xF284, 0x03D2},
    {0, 2, 255, 0x0400, 0x0400, 0x0FC0},
    {0, 4, 128, 0x5514, 0xF284, 0x4982},
    {0, 10, 128, 0x5514, 0xF284, 0x3537},
    {0, 11, 128, 0x5514, 0xF284, 0x534B},
};

// Modes that draw nothing, whatever the drawer.
constexpr int kInactive[][2] = {{5, 128}, {7, 128}, {9, 128}, {12, 128}, {-1, 128}, {1, 0}, {2, 0}, {3, 0}};

enum class Drawer { DirectTriangle, FlatTriangle, Box, Line };
constexpr Drawer kDrawers[] = {Drawer::DirectTriangle, Drawer::FlatTriangle, Drawer::Box, Drawer::Line};

// Draws the colour with one drawer over pixel (1, 1) of an 8 x 8 image and returns that pixel.
uint32_t DrawOnePixel(Drawer drawer, int format, uint32_t dest, uint32_t color) {
  const int bytes = format == 1 ? 4 : 2;
  RasterImage image(8, 8, format, bytes);
  image.Fill(dest);
  switch (drawer) {
    case Drawer::DirectTriangle: {
      RasterImage source(8, 8, format, bytes);
      source.Fill(color);
      const MemImgVertex corners[3] = {{0, 0, 0, 0}, {8, 0, 8, 0}, {0, 8, 0, 8}};
      MapMemImgTriangle(image.Get(), source.Get(), corners, 0, nullptr, 0, g_rasterDrawSettings);
      break;
    }
    case Drawer::FlatTriangle: {
      const MemImgVertex corners[3] = {{0, 0, 0, 0}, {8, 0, 0, 0}, {0, 8, 0, 0}};
      MapMemImgTriangle(image.Get(), nullptr, corners, 0, nullptr, color, g_rasterDrawSettings);
      break;
    }
    case Drawer::Box: {
      const RECT box = {1, 1, 2, 2};
      FillMemImgBox(image.Get(), &box, color, g_rasterDrawSettings);
      break;
    }
    case Drawer::Line:
      DrawMemImgLine(image.Get(), 1, 1, 2, 1, color, g_rasterDrawSettings);
      break;
  }
  return image.Pixel(1, 1);
}

class GoldenPixelTest : public RasterTest {};

TEST_F(GoldenPixelTest, EveryModeGivesTheWorkedOutPixelInEveryDrawer) {
  for (const GoldenCase& golden : kGoldenCases) {
    for (Drawer drawer : kDrawers) {
      g_rasterDrawSettings.BlendMode = golden.Mode;
      g_rasterDrawSettings.BlendParam = golden.Param;
      EXPECT_EQ(DrawOnePixel(drawer, golden.Format, golden.Dest, golden.Color), golden.Expected)
          << "format " << golden.Format << " mode " << golden.Mode << " param " << golden.Param << " drawer "
          << static_cast<int>(drawer);
    }
  }
}

TEST_F(GoldenPixelTest, InactiveModesAndZeroParametersDrawNothing) {
  for (const auto& inactive : kInactive) {
    for (int format : {0, 1}) {
      for (Drawer drawer : kDrawers) {
        g_rasterDrawSettings.BlendMode = inactive[0];
        g_rasterDrawSettings.BlendParam = inactive[1];
        const uint32_t dest = format == 1 ? 0x11406080 : 0x5514;
        EXPECT_EQ(DrawOnePixel(drawer, format, dest, format == 1 ? 0x22C08020 : 0xF284), dest)
            << "mode " << inactive[0] << " param " << inactive[1] << " drawer " << static_cast<int>(drawer);
      }
    }
  }
}

// The box and the line scale the colour by the bright colour with a division by 256; a triangle
// scales through the product table (a division by 255), and keeps the fourth byte in a copy.
TEST_F(GoldenPixelTest, BrightColorScalesTheColorBeforeBlending) {
  g_rasterDrawSettings.BrightColor = 0x808080;
  EXPECT_EQ(DrawOnePixel(Drawer::Box, 1, 0x11406080, 0x00FFFFFF), 0x007F7F7Fu);
  EXPECT_EQ(DrawOnePixel(Drawer::Line, 1, 0x11406080, 0x00FFFFFF), 0x007F7F7Fu);
  EXPECT_EQ(DrawOnePixel(Drawer::FlatTriangle, 1, 0x11406080, 0x00FFFFFF), 0x11808080u);
  EXPECT_EQ(DrawOnePixel(Drawer::DirectTriangle, 1, 0x11406080, 0x22C08020), 0x11604010u);
  // 16 bits: each field keeps its width (31 x 128 / 256 = 15, 63 x 128 / 256 = 31).
  EXPECT_EQ(DrawOnePixel(Drawer::Box, 0, 0x5514, 0xFFFF), (15u << 11) | (31u << 5) | 15u);
  EXPECT_EQ(DrawOnePixel(Drawer::FlatTriangle, 0, 0x5514, 0xFFFF), (15u << 11) | (31u << 5) | 15u);
  // Bright colour on a blend: mode 1 at 128 with the colour halved first.
  g_rasterDrawSettings.BlendMode = 1;
  g_rasterDrawSettings.BlendParam = 128;
  EXPECT_EQ(DrawOnePixel(Drawer::Box, 1, 0x11406080, 0x00FFFFFF), 0x115F6F7Fu);
}

}  // namespace
