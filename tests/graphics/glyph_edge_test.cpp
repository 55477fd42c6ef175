// Glyph edges: the pattern each edge size paints, and random glyph planes of every kind against
// painting each body pixel's pattern in turn, row by row (the anti-aliased kind rounds at each
// step, so the order is part of the result).
#include "graphics/fonts/glyph_edge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

struct Plane {
  int width, height;
  std::vector<uint8_t> pixels;
  Plane(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h, 0) {}
  uint8_t& at(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
};

Plane GrowEdge(Plane& body, int edgeSize, int kind) {
  Plane edge(body.width, body.height);
  GrowGlyphEdge(body.pixels.data(), body.width, body.height, edgeSize, kind, edge.pixels.data());
  return edge;
}

struct Offset {
  int dx, dy;
};

// The offsets a lone body pixel paints, read off its coverage edge.
std::vector<Offset> PatternOf(int edgeSize) {
  const int side = 4 * edgeSize + 3, middle = side / 2;
  Plane body(side, side);
  body.at(middle, middle) = 1;
  Plane edge = GrowEdge(body, edgeSize, 0);
  std::vector<Offset> pattern;
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x)
      if (edge.at(x, y)) pattern.push_back({x - middle, y - middle});
  return pattern;
}

// Each body pixel, in plane order, paints its pattern onto the edge.
Plane PaintEdge(Plane& body, const std::vector<Offset>& pattern, int kind) {
  Plane edge(body.width, body.height);
  for (int y = 0; y < body.height; ++y)
    for (int x = 0; x < body.width; ++x) {
      const int level = body.at(x, y);
      if (level == 0) continue;
      for (const Offset& o : pattern) {
        const int ex = x + o.dx, ey = y + o.dy;
        if (ex < 0 || ey < 0 || ex >= body.width || ey >= body.height) continue;
        uint8_t& e = edge.at(ex, ey);
        if (kind == 0)
          e = 1;
        else if (kind == 1)
          e = static_cast<uint8_t>((256 - (16 - e) * (16 - level)) >> 4);
        else
          e = static_cast<uint8_t>(std::max(static_cast<int>(e), level - 1));
      }
    }
  return edge;
}

TEST(GlyphEdge, EachSizePaintsItsPattern) {
  struct Case {
    int edgeSize;
    std::vector<std::string> rows;
  };
  const Case cases[] = {
      {1, {"010", "101", "010"}},
      {2, {"01110", "11111", "11111", "11111", "01110"}},
      {3, {"0001000", "0111110", "0111110", "1111111", "0111110", "0111110", "0001000"}},
      {5, std::vector<std::string>(11, std::string(11, '1'))},
  };
  for (const Case& c : cases) {
    std::vector<std::string> painted(c.rows.size(), std::string(c.rows.size(), '0'));
    for (const Offset& o : PatternOf(c.edgeSize)) painted[o.dy + c.edgeSize][o.dx + c.edgeSize] = '1';
    EXPECT_EQ(painted, c.rows) << "edge size " << c.edgeSize;
  }
}

TEST(GlyphEdge, RandomPlanesMatchPaintingPixelByPixel) {
  std::mt19937 random(5);
  for (int edgeSize = 1; edgeSize <= 6; ++edgeSize) {
    const std::vector<Offset> pattern = PatternOf(edgeSize);
    for (int kind = 0; kind < 3; ++kind)
      for (int round = 0; round < 40; ++round) {
        Plane body(1 + static_cast<int>(random() % 40), 1 + static_cast<int>(random() % 40));
        const int density = static_cast<int>(random() % 4);  // From a few pixels to a solid body.
        const int top = kind == 0 ? 1 : 16;
        for (uint8_t& level : body.pixels)
          if (static_cast<int>(random() % 4) <= density - 1 || density == 3)
            level = static_cast<uint8_t>(random() % 3 == 0 ? top : random() % (top + 1));
        EXPECT_EQ(GrowEdge(body, edgeSize, kind).pixels, PaintEdge(body, pattern, kind).pixels)
            << "edge size " << edgeSize << ", kind " << kind << ", " << body.width << " x " << body.height;
      }
  }
}

}  // namespace
