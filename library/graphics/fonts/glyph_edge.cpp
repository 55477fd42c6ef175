// Each edge pixel gathers the body levels the pattern reaches it from. The anti-aliased
// combination rounds at every step, so the levels are taken in the order of their body pixels on
// the plane (rows, then columns): the result is what painting each body pixel's pattern in turn
// gives. A clear level leaves every kind as it is, so whole rows are combined at once, over body
// rows padded with clear levels.
#include "graphics/fonts/glyph_edge.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

// Edge discs for edge sizes 2-4, rows of (2s + 1) cells.
constexpr const char* kEdgeDisc2[] = {"01110", "11111", "11111", "11111", "01110"};
constexpr const char* kEdgeDisc3[] = {"0001000", "0111110", "0111110", "1111111", "0111110", "0111110", "0001000"};
constexpr const char* kEdgeDisc4[] = {"001111100", "011111110", "111111111", "111111111", "111111111",
                                      "111111111", "111111111", "011111110", "001111100"};

struct Offset {
  int dx, dy;
};

// The pixels an edge of size s paints around one glyph pixel.
std::vector<Offset> EdgePattern(int size) {
  if (size <= 1) return {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
  std::vector<Offset> pattern;
  const char* const* disc = size == 2 ? kEdgeDisc2 : size == 3 ? kEdgeDisc3 : size == 4 ? kEdgeDisc4 : nullptr;
  for (int y = 0; y <= 2 * size; ++y)
    for (int x = 0; x <= 2 * size; ++x)
      if (!disc || disc[y][x] == '1') pattern.push_back({x - size, y - size});
  return pattern;
}

template <int Kind>
inline void Combine(int16_t* edge, const int16_t* levels, int count) {
  for (int x = 0; x < count; ++x) {
    if constexpr (Kind == 0)
      edge[x] = static_cast<int16_t>(edge[x] | (levels[x] != 0));
    else if constexpr (Kind == 1)
      // Both factors are at most 16: the product fits 16-bit lanes.
      edge[x] = static_cast<int16_t>(
          static_cast<uint16_t>(256 - static_cast<uint16_t>((16 - edge[x]) * (16 - levels[x]))) >> 4);
    else
      edge[x] = std::max<int16_t>(edge[x], static_cast<int16_t>(levels[x] - 1));
  }
}

template <int Kind>
void Grow(const uint8_t* body, int width, int height, const std::vector<Offset>& pattern, uint8_t* edge) {
  int reach = 0;
  for (const Offset& o : pattern) reach = std::max(reach, std::abs(o.dx));
  const size_t padded = static_cast<size_t>(width) + 2 * static_cast<size_t>(reach);
  std::vector<int16_t> levels(padded * static_cast<size_t>(height), 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      levels[static_cast<size_t>(y) * padded + reach + x] = body[static_cast<size_t>(y) * width + x];
  std::vector<int16_t> row(static_cast<size_t>(width));
  for (int y = 0; y < height; ++y) {
    std::fill(row.begin(), row.end(), int16_t{0});
    for (const Offset& o : pattern) {
      const int from = y - o.dy;
      if (from < 0 || from >= height) continue;
      Combine<Kind>(row.data(), &levels[static_cast<size_t>(from) * padded + reach - o.dx], width);
    }
    for (int x = 0; x < width; ++x) edge[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(row[x]);
  }
}

}  // namespace

void GrowGlyphEdge(const uint8_t* body, int width, int height, int edgeSize, int kind, uint8_t* edge) {
  std::vector<Offset> pattern = EdgePattern(edgeSize);
  // The body pixel edge (x, y) gathers from through offset o is (x - dx, y - dy): plane order is
  // dy, then dx, falling.
  std::sort(pattern.begin(), pattern.end(),
            [](const Offset& a, const Offset& b) { return a.dy != b.dy ? a.dy > b.dy : a.dx > b.dx; });
  if (kind == 0)
    Grow<0>(body, width, height, pattern, edge);
  else if (kind == 1)
    Grow<1>(body, width, height, pattern, edge);
  else
    Grow<2>(body, width, height, pattern, edge);
}
