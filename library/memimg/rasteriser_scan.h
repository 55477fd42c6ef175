// Rasteriser geometry: which pixels a triangle or a line covers, shared by the fast loops and the
// reference path so that both draw exactly the same pixels. Also the reading of the draw settings
// that every rasteriser routine does first.
#pragma once

#include <cstdint>

#include "zyvel/memimg.h"

// Fixed point of positions and texel coordinates: 18 fraction bits.
constexpr int kRasterFractionBits = 18;
constexpr int32_t kRasterOne = 1 << kRasterFractionBits;
// Whole values a corner may take; x 2^18 + 2^17 must fit a signed 32-bit integer.
constexpr int32_t kRasterCoordinateMin = -8192;
constexpr int32_t kRasterCoordinateMax = 8191;

// The draw settings as one rasteriser call sees them.
struct RasterDrawSettings {
  RECT Area;  // Draw area cut to the destination image; may be empty.
  int BlendMode;
  int BlendParam;     // Clamped to 0..255.
  int UseBright;      // Bright colour's low 24 bits differ from white.
  uint8_t Bright[3];  // Blue, green, red.
};

// Reads the draw settings for a draw into dst. Returns -1 when dst cannot be drawn into: null, not
// 16- or 32-bit, paletted or carrying alpha.
int ReadRasterDrawSettings(const MEMIMG* dst, const MemImgDrawSettings& drawSettings, RasterDrawSettings* settings);

// Bytes per pixel of a destination that passed `ReadRasterDrawSettings`.
inline int RasterDestinationPixelBytes(const MEMIMG* dst) { return dst->Core->Format == kMemImgFormat32 ? 4 : 2; }

// Whole units of a fixed-point value, rounded down: a position left of or above 0 lands on its
// own pixel, so a picture moving off the top or left edge does not jump by one pixel.
inline int64_t WholeOfFixed(int64_t value) { return value >> kRasterFractionBits; }

// ---- Triangles ----

struct TriangleEdgeSegment {
  int64_t StartX;  // Fixed point. 64-bit: an edge may span the whole 2^32 range of positions.
  int64_t StepX;
  int Rows;
  int64_t StartY;  // Read for left segments only.
};

struct TriangleScan {
  TriangleEdgeSegment Left[2];
  TriangleEdgeSegment Right[2];
  int LeftIndex;  // Active segment on each side; a side with one segment starts at 1.
  int RightIndex;
  int32_t GradientUx;  // dU/dx, dU/dy, dV/dx, dV/dy in fixed point.
  int32_t GradientUy;
  int32_t GradientVx;
  int32_t GradientVy;
  int32_t OriginX;  // The leftmost corner in whole pixels, and its U and V in fixed point.
  int32_t OriginY;
  int32_t OriginU;
  int32_t OriginV;
};

// Returns -1 when the triangle draws nothing (a corner out of range, or degenerate).
int SetupTriangleScan(const MemImgVertex vertices[3], TriangleScan* scan);

// Calls emit(y, firstX, pixelCount, U, V) for every non-empty span inside area, top to bottom,
// with the texel position of the span's first pixel. A triangle covers the rows from its top
// corner's row down to, not including, its bottom corner's row, and in each row the pixels from
// its left edge up to, not including, its right edge.
template <typename Emit>
void WalkTriangleSpans(const TriangleScan& scan, const RECT& area, Emit&& emit) {
  int leftIndex = scan.LeftIndex;
  int rightIndex = scan.RightIndex;
  const TriangleEdgeSegment* left = &scan.Left[leftIndex];
  const TriangleEdgeSegment* right = &scan.Right[rightIndex];
  if (left->Rows <= 0 || right->Rows <= 0) return;
  int64_t leftX = left->StartX;
  int64_t rightX = right->StartX;
  int leftRows = left->Rows;
  int rightRows = right->Rows;
  int64_t y = WholeOfFixed(left->StartY);
  for (;;) {
    if (y >= area.top && y < area.bottom) {
      // The right end is exclusive, as the bottom row is: two triangles that share an edge
      // step it identically, so each pixel on it is drawn by exactly one of them.
      int64_t first = WholeOfFixed(leftX);
      int64_t last = WholeOfFixed(rightX) - 1;
      if (first < area.left) first = area.left;
      if (last > area.right - 1) last = area.right - 1;
      if (first <= last) {
        // The plane is evaluated afresh per span, in 32-bit wrapping arithmetic, so no error
        // accumulates down the triangle.
        const uint32_t offsetX = static_cast<uint32_t>(first - scan.OriginX);
        const uint32_t offsetY = static_cast<uint32_t>(y - scan.OriginY);
        const uint32_t u = static_cast<uint32_t>(scan.OriginU) + offsetX * static_cast<uint32_t>(scan.GradientUx) +
                           offsetY * static_cast<uint32_t>(scan.GradientUy);
        const uint32_t v = static_cast<uint32_t>(scan.OriginV) + offsetX * static_cast<uint32_t>(scan.GradientVx) +
                           offsetY * static_cast<uint32_t>(scan.GradientVy);
        emit(static_cast<int>(y), static_cast<int>(first), static_cast<int>(last - first + 1), u, v);
      }
    }
    leftX += left->StepX;
    rightX += right->StepX;
    ++y;
    --leftRows;
    --rightRows;
    if (leftRows <= 0) {
      if (leftIndex == 1) return;
      leftIndex = 1;
      left = &scan.Left[1];
      leftX = left->StartX;
      leftRows = left->Rows;
      y = WholeOfFixed(left->StartY);
      if (leftRows <= 0) return;
    }
    if (rightRows <= 0) {
      if (rightIndex == 1) return;
      rightIndex = 1;
      right = &scan.Right[1];
      rightX = right->StartX;
      rightRows = right->Rows;
      if (rightRows <= 0) return;
    }
  }
}

// ---- Lines ----

// The clipped line: the start pixel lies inside the area, the end (not drawn) at most one step
// outside it. Returns -1 when nothing is drawn.
struct LineScan {
  int StartX;
  int StartY;
  int EndX;
  int EndY;
};
int SetupLineScan(int x1, int y1, int x2, int y2, const RECT& area, LineScan* scan);

// Calls visit(x, y) for every pixel of the clipped line, start first.
template <typename Visit>
void WalkLinePixels(const LineScan& scan, Visit&& visit) {
  const int dx = scan.EndX - scan.StartX;
  const int dy = scan.EndY - scan.StartY;
  const int stepX = dx < 0 ? -1 : 1;
  const int stepY = dy < 0 ? -1 : 1;
  const int lengthX = dx < 0 ? -dx : dx;
  const int lengthY = dy < 0 ? -dy : dy;
  int x = scan.StartX;
  int y = scan.StartY;
  int error = 0;
  if (lengthX >= lengthY) {
    for (int i = 0; i < lengthX; ++i) {
      visit(x, y);
      x += stepX;
      error += lengthY;
      if (error >= lengthX) {
        y += stepY;
        error -= lengthX;
      }
    }
  } else {
    for (int i = 0; i < lengthY; ++i) {
      visit(x, y);
      y += stepY;
      error += lengthX;
      if (error >= lengthY) {
        x += stepX;
        error -= lengthY;
      }
    }
  }
}
