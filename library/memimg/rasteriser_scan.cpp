// Rasteriser geometry: draw-settings reading, triangle set-up (fixed point, gradients, edges) and line
// clipping. The set-up keeps every intermediate in range: corners are limited to -8192..8191,
// edge positions are 64-bit and every double is saturated before it becomes an integer.
#include "memimg/rasteriser_scan.h"

#include <cmath>
#include <cstdint>

int ReadRasterDrawSettings(const MEMIMG* dst, const MemImgDrawSettings& drawSettings, RasterDrawSettings* settings) {
  if (!IsMemImgValid(dst) || dst->Pixels == nullptr) return -1;
  const MemImgCore* core = dst->Core;
  if ((core->Format != kMemImgFormat16 && core->Format != kMemImgFormat32) || core->UsePalette != 0 ||
      core->UseAlpha != 0)
    return -1;
  // The draw area belongs to the current draw target, which need not be dst (a graph filled while
  // the screen is the target): cut it to dst as well.
  RECT area = drawSettings.DrawArea;
  if (area.left < 0) area.left = 0;
  if (area.top < 0) area.top = 0;
  if (area.right > dst->Width) area.right = dst->Width;
  if (area.bottom > dst->Height) area.bottom = dst->Height;
  if (area.right < area.left) area.right = area.left;
  if (area.bottom < area.top) area.bottom = area.top;
  settings->Area = area;
  settings->BlendMode = drawSettings.BlendMode;
  int param = drawSettings.BlendParam;
  settings->BlendParam = param < 0 ? 0 : (param > 255 ? 255 : param);
  const uint32_t bright = drawSettings.BrightColor;
  settings->UseBright = (bright & 0xFFFFFF) != 0xFFFFFF;
  settings->Bright[0] = static_cast<uint8_t>(bright);
  settings->Bright[1] = static_cast<uint8_t>(bright >> 8);
  settings->Bright[2] = static_cast<uint8_t>(bright >> 16);
  return 0;
}

namespace {

int32_t SaturateToInt32(double value) {
  if (!(value > -2147483648.0)) return INT32_MIN;  // NaN cannot occur; saturate it low anyway.
  if (value >= 2147483647.0) return INT32_MAX;
  return static_cast<int32_t>(value);
}

int64_t SaturateToInt64(double value) {
  // Far beyond any image, near enough to keep later sums exact.
  constexpr double kLimit = 4611686018427387904.0;  // 2^62
  if (!(value > -kLimit)) return -static_cast<int64_t>(kLimit);
  if (value >= kLimit) return static_cast<int64_t>(kLimit);
  return static_cast<int64_t>(value);
}

// The exchange sort of the set-up: equal keys are never swapped.
void SortCornerIndices(const int64_t keys[3], int order[3]) {
  order[0] = 0;
  order[1] = 1;
  order[2] = 2;
  for (int i = 0; i < 2; ++i)
    for (int j = i + 1; j < 3; ++j)
      if (keys[order[i]] > keys[order[j]]) {
        const int swap = order[i];
        order[i] = order[j];
        order[j] = swap;
      }
}

TriangleEdgeSegment MakeSegment(int64_t startX, int64_t startY, int64_t endX, int64_t endY) {
  TriangleEdgeSegment segment;
  segment.StartX = startX;
  segment.StartY = startY;
  segment.Rows = static_cast<int>(WholeOfFixed(endY - startY));
  segment.StepX = segment.Rows > 0 ? (endX - startX) / segment.Rows : 0;
  return segment;
}

}  // namespace

int SetupTriangleScan(const MemImgVertex vertices[3], TriangleScan* scan) {
  int64_t X[3], Y[3], U[3], V[3];
  for (int i = 0; i < 3; ++i) {
    const MemImgVertex& corner = vertices[i];
    const int32_t values[4] = {corner.x, corner.y, corner.u, corner.v};
    for (int32_t value : values)
      if (value < kRasterCoordinateMin || value > kRasterCoordinateMax) return -1;
    X[i] = static_cast<int64_t>(corner.x) * kRasterOne + kRasterOne / 2;
    Y[i] = static_cast<int64_t>(corner.y) * kRasterOne + kRasterOne / 2;
    U[i] = static_cast<int64_t>(corner.u) * kRasterOne;
    V[i] = static_cast<int64_t>(corner.v) * kRasterOne;
  }
  int byX[3], byY[3];
  SortCornerIndices(X, byX);
  SortCornerIndices(Y, byY);

  // Gradients from the leftmost corner. Whole-unit differences are below 2^14, so D and the
  // numerators fit 32 bits; only the quotient can leave the range (a tiny triangle with a large
  // texture), and it saturates.
  const int a0 = byX[0], a1 = byX[1], a2 = byX[2];
  const int64_t dx1 = WholeOfFixed(X[a1] - X[a0]), dy1 = WholeOfFixed(Y[a1] - Y[a0]);
  const int64_t du1 = WholeOfFixed(U[a1] - U[a0]), dv1 = WholeOfFixed(V[a1] - V[a0]);
  const int64_t dx2 = WholeOfFixed(X[a2] - X[a0]), dy2 = WholeOfFixed(Y[a2] - Y[a0]);
  const int64_t du2 = WholeOfFixed(U[a2] - U[a0]), dv2 = WholeOfFixed(V[a2] - V[a0]);
  const int64_t D = dx2 * dy1 - dx1 * dy2;
  if (D == 0) return -1;
  const double scale = 262144.0 / static_cast<double>(D);
  scan->GradientUx = SaturateToInt32(static_cast<double>(dy1 * du2 - dy2 * du1) * scale);
  scan->GradientUy = SaturateToInt32(static_cast<double>(du1 * dx2 - du2 * dx1) * scale);
  scan->GradientVx = SaturateToInt32(static_cast<double>(dy1 * dv2 - dv1 * dy2) * scale);
  scan->GradientVy = SaturateToInt32(static_cast<double>(dv1 * dx2 - dv2 * dx1) * scale);
  scan->OriginX = static_cast<int32_t>(WholeOfFixed(X[a0]));
  scan->OriginY = static_cast<int32_t>(WholeOfFixed(Y[a0]));
  scan->OriginU = static_cast<int32_t>(U[a0]);
  scan->OriginV = static_cast<int32_t>(V[a0]);

  const int b0 = byY[0], b1 = byY[1], b2 = byY[2];
  scan->Left[0] = scan->Left[1] = scan->Right[0] = scan->Right[1] = TriangleEdgeSegment{};
  if (Y[b0] == Y[b1]) {
    const int left = X[b0] <= X[b1] ? b0 : b1;
    const int right = left == b0 ? b1 : b0;
    scan->Left[1] = MakeSegment(X[left], Y[left], X[b2], Y[b2]);
    scan->Right[1] = MakeSegment(X[right], Y[right], X[b2], Y[b2]);
    scan->LeftIndex = scan->RightIndex = 1;
  } else if (Y[b1] == Y[b2]) {
    const int bottomLeft = X[b1] <= X[b2] ? b1 : b2;
    const int bottomRight = bottomLeft == b1 ? b2 : b1;
    scan->Left[1] = MakeSegment(X[b0], Y[b0], X[bottomLeft], Y[bottomLeft]);
    scan->Right[1] = MakeSegment(X[b0], Y[b0], X[bottomRight], Y[bottomRight]);
    scan->LeftIndex = scan->RightIndex = 1;
  } else {
    const double slope01 = static_cast<double>(X[b1] - X[b0]) / static_cast<double>(Y[b1] - Y[b0]);
    const double slope02 = static_cast<double>(X[b2] - X[b0]) / static_cast<double>(Y[b2] - Y[b0]);
    if (slope01 < slope02) {
      scan->Left[0] = MakeSegment(X[b0], Y[b0], X[b1], Y[b1]);
      scan->Left[1] = MakeSegment(X[b1], Y[b1], X[b2], Y[b2]);
      scan->Right[1] = MakeSegment(X[b0], Y[b0], X[b2], Y[b2]);
      scan->LeftIndex = 0;
      scan->RightIndex = 1;
    } else {
      // Every edge is stepped from its upper corner alone, whichever triangle it belongs to.
      scan->Right[0] = MakeSegment(X[b0], Y[b0], X[b1], Y[b1]);
      scan->Right[1] = MakeSegment(X[b1], Y[b1], X[b2], Y[b2]);
      scan->Left[1] = MakeSegment(X[b0], Y[b0], X[b2], Y[b2]);
      scan->LeftIndex = 1;
      scan->RightIndex = 0;
    }
  }
  return 0;
}

int SetupLineScan(int x1, int y1, int x2, int y2, const RECT& area, LineScan* scan) {
  const int64_t left = area.left, top = area.top, right = area.right, bottom = area.bottom;
  if (left >= right || top >= bottom) return -1;
  if (!((y1 < y2 ? y1 : y2) < bottom && (x1 < x2 ? x1 : x2) < right && (y1 > y2 ? y1 : y2) >= top &&
        (x1 > x2 ? x1 : x2) >= left))
    return -1;
  // Both line equations always start from the end points passed in; differences are taken in
  // 64 bits, and every computed coordinate saturates before the clamps below bring it back.
  const double slopeYX = x1 == x2 ? 0.0
                                  : static_cast<double>(static_cast<int64_t>(y2) - y1) /
                                        static_cast<double>(static_cast<int64_t>(x2) - x1);
  const double slopeXY = y1 == y2 ? 0.0
                                  : static_cast<double>(static_cast<int64_t>(x2) - x1) /
                                        static_cast<double>(static_cast<int64_t>(y2) - y1);
  auto yAt = [&](int64_t x) {
    return SaturateToInt64(static_cast<double>(y1) + slopeYX * static_cast<double>(x - x1));
  };
  auto xAt = [&](int64_t y) {
    return SaturateToInt64(static_cast<double>(x1) + slopeXY * static_cast<double>(y - y1));
  };
  int64_t startX = x1, startY = y1, endX = x2, endY = y2;
  if (startX < left) {
    startX = left;
    startY = yAt(left);
  } else if (startX >= right) {
    startX = right - 1;
    startY = yAt(right - 1);
  }
  if (endX < left) {
    endX = left - 1;
    endY = yAt(left - 1);
  } else if (endX >= right) {
    endX = right;
    endY = yAt(right);
  }
  if (startY < top) {
    startX = xAt(top);
    startY = top;
  } else if (startY >= bottom) {
    startX = xAt(bottom - 1);
    startY = bottom - 1;
  }
  if (endY < top) {
    endX = xAt(top - 1);
    endY = top - 1;
  } else if (endY >= bottom) {
    endX = xAt(bottom);
    endY = bottom;
  }
  auto clamp = [](int64_t value, int64_t low, int64_t high) {
    return value < low ? low : (value > high ? high : value);
  };
  scan->StartX = static_cast<int>(clamp(startX, left, right - 1));
  scan->StartY = static_cast<int>(clamp(startY, top, bottom - 1));
  scan->EndX = static_cast<int>(clamp(endX, left - 1, right));
  scan->EndY = static_cast<int>(clamp(endY, top - 1, bottom));
  if (scan->StartX == scan->EndX && scan->StartY == scan->EndY) return -1;
  return 0;
}
