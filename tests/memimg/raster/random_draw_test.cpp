// 10,000 seeded random boxes, lines and triangles each, in random formats, modes, parameters,
// bright colours, source kinds and draw areas, with coordinates from near the image to the ends
// of the integer range: the table-driven loops must give the reference path's bytes, and nothing
// may change outside the draw area (the sanitizers catch writes outside the image itself).
#include <algorithm>
#include <cstring>
#include <random>

#include "raster_images.h"
#include "reference_rasteriser.h"

namespace {

constexpr int kWidth = 48;
constexpr int kHeight = 40;
constexpr int kCases = 10000;
constexpr int kModes[] = {0, 1, 2, 3, 4, 10, 11};
constexpr int kInactiveModes[] = {5, 7, 12};
constexpr int kParams[] = {0, 1, 128, 254, 255};

class RandomDrawTest : public RasterTest {
 protected:
  std::mt19937 random{20261210};

  int Below(int limit) { return static_cast<int>(random() % static_cast<uint32_t>(limit)); }

  // Each case picks how far its coordinates reach: mostly near the image, sometimes to the
  // rasteriser's range limit and past it, sometimes anywhere in the integer range.
  int reach = 0;
  void PickReach() { reach = Below(10); }
  int Coordinate() {
    if (reach == 0 && Below(2) == 0) return static_cast<int>(random());
    if (reach <= 2 && Below(2) == 0) return Below(20000) - 10000;
    return Below(90) - 25;
  }

  void RandomSettings() {
    // One case in ten takes an inactive mode (5, 7 or 12).
    g_rasterDrawSettings.BlendMode = Below(10) == 0 ? kInactiveModes[Below(3)] : kModes[Below(std::size(kModes))];
    g_rasterDrawSettings.BlendParam = Below(3) == 0 ? Below(256) : kParams[Below(std::size(kParams))];
    g_rasterDrawSettings.BrightColor = Below(2) == 0 ? 0xFFFFFF : random();
    // The whole image, or any area, also reaching past the image or turned inside out.
    if (Below(3) == 0) {
      g_rasterDrawSettings.DrawArea = RECT{0, 0, kWidth, kHeight};
    } else {
      const int left = Below(56) - 8, top = Below(46) - 8;
      g_rasterDrawSettings.DrawArea = RECT{left, top, left + Below(60) - 4, top + Below(50) - 4};
    }
  }

  void FillRandom(RasterImage& image) {
    for (size_t at = 0; at < image.Buffer.size(); at += 4) {
      const uint32_t word = random();
      std::memcpy(image.Buffer.data() + at, &word, std::min<size_t>(4, image.Buffer.size() - at));
    }
  }

  // The fast result must equal the reference result, and every byte outside the draw area (cut
  // to the image) must still hold the pattern, the row padding included.
  void Check(RasterImage& fast, RasterImage& reference, const std::vector<uint8_t>& pattern, int caseNumber) {
    ASSERT_EQ(fast.Buffer, reference.Buffer) << "case " << caseNumber;
    RECT area = g_rasterDrawSettings.DrawArea;
    area.left = std::max<LONG>(area.left, 0);
    area.top = std::max<LONG>(area.top, 0);
    area.right = std::min<LONG>(area.right, kWidth);
    area.bottom = std::min<LONG>(area.bottom, kHeight);
    std::vector<uint8_t> expected = pattern;
    for (LONG y = area.top; y < area.bottom; ++y)
      for (LONG x = area.left; x < area.right; ++x)
        std::memcpy(expected.data() + (fast.At(x, y) - fast.Buffer.data()), fast.At(x, y),
                    static_cast<size_t>(fast.PixelBytes));
    ASSERT_EQ(fast.Buffer, expected) << "case " << caseNumber << " wrote outside the draw area";
    if (fast.Buffer != pattern) ++drawnCases;
  }

  int drawnCases = 0;

  template <typename Draw>
  void RunCases(Draw&& draw) {
    RasterImage fast16(kWidth, kHeight, 0, 2), reference16(kWidth, kHeight, 0, 2);
    RasterImage fast32(kWidth, kHeight, 1, 4), reference32(kWidth, kHeight, 1, 4);
    for (int i = 0; i < kCases; ++i) {
      const int format = Below(2);
      RasterImage& fast = format == 1 ? fast32 : fast16;
      RasterImage& reference = format == 1 ? reference32 : reference16;
      FillRandom(fast);
      reference.Buffer = fast.Buffer;
      const std::vector<uint8_t> pattern = fast.Buffer;
      RandomSettings();
      PickReach();
      draw(format, fast, reference);
      Check(fast, reference, pattern, i);
      if (HasFatalFailure()) return;
    }
    // Enough of the cases must really draw for the comparison to mean something.
    EXPECT_GT(drawnCases, kCases / 5);
  }
};

TEST_F(RandomDrawTest, Boxes) {
  RunCases([&](int, RasterImage& fast, RasterImage& reference) {
    const RECT box = {Coordinate(), Coordinate(), Coordinate(), Coordinate()};
    const uint32_t color = random();
    const bool whole = Below(20) == 0;
    FillMemImgBox(fast.Get(), whole ? nullptr : &box, color, g_rasterDrawSettings);
    FillMemImgBoxReference(reference.Get(), whole ? nullptr : &box, color, g_rasterDrawSettings);
  });
}

TEST_F(RandomDrawTest, Lines) {
  RunCases([&](int, RasterImage& fast, RasterImage& reference) {
    const int x1 = Coordinate(), y1 = Coordinate(), x2 = Coordinate(), y2 = Coordinate();
    const uint32_t color = random();
    DrawMemImgLine(fast.Get(), x1, y1, x2, y2, color, g_rasterDrawSettings);
    DrawMemImgLineReference(reference.Get(), x1, y1, x2, y2, color, g_rasterDrawSettings);
  });
}

TEST_F(RandomDrawTest, Triangles) {
  // Sources of each kind in both formats, with alpha 0, 255 and in between, and a key colour
  // that occurs; a blend image as large as the largest source.
  struct Sources {
    RasterImage Direct, Paletted, Alpha;
  };
  Sources sources[2] = {{RasterImage(20, 14, 0, 2), RasterImage(20, 14, 0, 1, 1), RasterImage(20, 14, 0, 4, 0, 1)},
                        {RasterImage(20, 14, 1, 4), RasterImage(20, 14, 1, 1, 1), RasterImage(20, 14, 1, 4, 0, 1)}};
  for (Sources& kind : sources) {
    for (RasterImage* image : {&kind.Direct, &kind.Paletted, &kind.Alpha}) {
      FillRandom(*image);
      for (uint8_t& byte : image->PaletteBytes) byte = static_cast<uint8_t>(random());
    }
    // Alpha sits in the fourth byte (32-bit) or the third (5-6-5 in four bytes).
    const int alphaByte = &kind == &sources[1] ? 3 : 2;
    for (size_t at = 0; at + 4 <= kind.Alpha.Buffer.size(); at += 4) {
      const int choice = Below(4);
      if (choice < 2) kind.Alpha.Buffer[at + alphaByte] = choice == 0 ? 0 : 255;
    }
    kind.Direct.Core.KeyColor = kind.Direct.Pixel(3, 3);
    kind.Paletted.Core.KeyColor = kind.Paletted.Pixel(3, 3);
  }
  RasterImage blend(20, 14, 2, 1);
  FillRandom(blend);
  SetMemImgBlendImageBorder(Below(256), Below(256));

  RunCases([&](int format, RasterImage& fast, RasterImage& reference) {
    MemImgVertex corners[3];
    for (MemImgVertex& corner : corners) {
      corner.x = Coordinate();
      corner.y = Coordinate();
      corner.u = Below(8) == 0 ? Coordinate() : Below(28) - 4;
      corner.v = Below(8) == 0 ? Coordinate() : Below(22) - 4;
    }
    Sources& kind = sources[format];
    RasterImage* choices[4] = {nullptr, &kind.Direct, &kind.Paletted, &kind.Alpha};
    RasterImage* source = choices[Below(4)];
    MEMIMG* sourceImage = source != nullptr ? source->Get() : nullptr;
    // A view onto part of the source now and then, so its pitch differs from its width.
    MEMIMG view;
    if (source != nullptr && Below(3) == 0) {
      view = source->Image;
      view.Width = 1 + Below(19);
      view.Height = 1 + Below(13);
      view.Pixels += source->PixelBytes;
      view.Width = std::min(view.Width, source->Image.Width - 1);
      sourceImage = &view;
    }
    const int transparent = Below(2);
    MEMIMG* blendImage = Below(3) == 0 ? blend.Get() : nullptr;
    const uint32_t color = random();
    MapMemImgTriangle(fast.Get(), sourceImage, corners, transparent, blendImage, color, g_rasterDrawSettings);
    MapMemImgTriangleReference(reference.Get(), sourceImage, corners, transparent, blendImage, color,
                               g_rasterDrawSettings);
  });
}

}  // namespace
