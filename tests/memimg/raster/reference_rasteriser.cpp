// The rasteriser's reference path (see reference_rasteriser.h).
#include "reference_rasteriser.h"

#include <cstddef>
#include <cstdint>

#include "memimg/rasteriser_flat_color.h"
#include "memimg/rasteriser_pixels.h"
#include "memimg/rasteriser_scan.h"

namespace {

// Channel layout of a pixel format: blue, green, red.
struct ChannelLayout {
  int Shift[3];
  int Maximum[3];
};
constexpr ChannelLayout kLayout32 = {{0, 8, 16}, {255, 255, 255}};
constexpr ChannelLayout kLayout16 = {{0, 5, 11}, {31, 63, 31}};

const ChannelLayout& LayoutOf(int format) { return format == 1 ? kLayout32 : kLayout16; }

void Unpack(int format, uint32_t value, int64_t channels[3]) {
  const ChannelLayout& layout = LayoutOf(format);
  for (int i = 0; i < 3; ++i) channels[i] = (value >> layout.Shift[i]) & layout.Maximum[i];
}

uint32_t Pack(int format, const int64_t channels[3]) {
  const ChannelLayout& layout = LayoutOf(format);
  uint32_t value = 0;
  for (int i = 0; i < 3; ++i) value |= static_cast<uint32_t>(channels[i]) << layout.Shift[i];
  return value;
}

int64_t FloorDivide(int64_t value, int64_t divisor) {
  int64_t quotient = value / divisor;
  if (value % divisor != 0 && value < 0) --quotient;
  return quotient;
}

// d + (t - d) F / 2^(8n), floored.
int64_t Weighted(int64_t d, int64_t t, int64_t weight, int count) {
  const int64_t unit = int64_t{1} << (8 * count);
  return FloorDivide(d * unit + (t - d) * weight, unit);
}

// p x d / 255 truncated toward zero: the signed product table.
int64_t SignedScale(int64_t p, int64_t d) { return p * d / 255; }

// The packed add, told channel by channel: blue saturates; green and red add their upper bits,
// take the OR of both lowest bits and the carry from below as lowest bit, and saturate on
// overflow. Returns the red carry. In 5-6-5 the saturation mask of green starts one bit above the
// field (the carries are spaced 5 bits apart), so a saturated green keeps its lowest bit from the
// sum instead of setting it.
int64_t ChannelAdd(const ChannelLayout& layout, const int64_t s[3], const int64_t d[3], int64_t out[3]) {
  const bool narrowGreenMask = layout.Maximum[1] == 63;
  int64_t carry = 0;
  for (int i = 0; i < 3; ++i) {
    const int64_t maximum = layout.Maximum[i];
    if (i == 0) {
      const int64_t sum = s[0] + d[0];
      carry = sum > maximum;
      out[0] = carry ? maximum : sum;
    } else {
      const int64_t sum = (s[i] & ~int64_t{1}) + (d[i] & ~int64_t{1}) + carry;
      const int64_t lowest = (sum | s[i] | d[i]) & 1;
      carry = sum > maximum;
      if (!carry)
        out[i] = sum | lowest;
      else
        out[i] = i == 1 && narrowGreenMask ? (maximum - 1) | lowest : maximum;
    }
  }
  return carry;
}

// The packed subtract, channel by channel: blue clamps at 0; green and red subtract their upper
// bits, clamp at 0, and otherwise take as lowest bit whether the channel below stayed >= 0. In
// 5-6-5 green's lowest bit falls outside every keep mask and is always cleared.
void ChannelSubtract(const ChannelLayout& layout, const int64_t s[3], const int64_t d[3], int64_t out[3]) {
  const bool narrowGreenMask = layout.Maximum[1] == 63;
  bool kept = d[0] >= s[0];
  out[0] = kept ? d[0] - s[0] : 0;
  for (int i = 1; i < 3; ++i) {
    const int64_t difference = (d[i] & ~int64_t{1}) - (s[i] & ~int64_t{1});
    const bool lowestKept = kept && !(i == 1 && narrowGreenMask);
    out[i] = difference >= 0 ? (difference | (lowestKept ? 1 : 0)) : 0;
    kept = difference >= 0;
  }
}

// What one triangle pixel blends: the source value and its weights, resolved per pixel.
struct ReferenceSource {
  uint32_t Value;
  bool UseBright;
  int64_t Weights[2];  // Alpha and blend-image factor, those present.
  int WeightCount;
};

void BlendReferencePixel(int format, int mode, int p, const ReferenceSource& source, const uint8_t bright[3],
                         uint8_t* dst) {
  const ChannelLayout& layout = LayoutOf(format);
  int64_t s[3], d[3], out[3];
  Unpack(format, source.Value, s);
  if (source.UseBright)
    for (int i = 0; i < 3; ++i) s[i] = bright[i] * s[i] / 255;
  const uint32_t dword = format == 1 ? LoadPixel32(dst) : LoadPixel16(dst);
  Unpack(format, dword, d);
  int64_t weight = 1;
  for (int i = 0; i < source.WeightCount; ++i) weight *= source.Weights[i];
  const int count = source.WeightCount;
  uint32_t fourth = dword & 0xFF000000;
  switch (mode) {
    case 0:
      if (count == 0) {
        if (!source.UseBright) {
          if (format == 1)
            StorePixel32(dst, source.Value);
          else
            StorePixel16(dst, source.Value);
          return;
        }
        for (int i = 0; i < 3; ++i) out[i] = s[i];
      } else {
        for (int i = 0; i < 3; ++i) out[i] = Weighted(d[i], s[i], weight, count);
      }
      break;
    case 2:
    case 3: {
      int64_t scaled[3];
      for (int i = 0; i < 3; ++i) {
        if (count == 0)
          scaled[i] = p * s[i] / 255;
        else if (format == 1)
          scaled[i] = FloorDivide(s[i] * weight * p, int64_t{1} << (8 * (count + 1)));
        else
          scaled[i] = p * FloorDivide(s[i] * weight, int64_t{1} << (8 * count)) / 255;
      }
      if (mode == 2) {
        fourth = static_cast<uint32_t>(ChannelAdd(layout, scaled, d, out)) << 24;
      } else {
        ChannelSubtract(layout, scaled, d, out);
        fourth = 0;
      }
      break;
    }
    case 4:
      for (int i = 0; i < 3; ++i) {
        // A product of two channels is 2^8 (or 2^5, 2^6 for the fields) too large.
        const int64_t unit = (layout.Maximum[i] + 1) << (8 * count);
        out[i] = FloorDivide(s[i] * weight * d[i], unit);
      }
      break;
    default:
      for (int i = 0; i < 3; ++i) {
        int64_t target = s[i];
        if (mode == 10) target = layout.Maximum[i] - s[i];
        if (mode == 11) target = FloorDivide(s[i] * d[i], layout.Maximum[i] + 1);
        if (format == 0 && count == 0)
          out[i] = d[i] + SignedScale(p, target - d[i]);
        else
          out[i] = Weighted(d[i], target, weight * p, count + 1);
      }
      break;
  }
  if (format == 1)
    StorePixel32(dst, fourth | Pack(1, out));
  else
    StorePixel16(dst, Pack(0, out));
}

void ReferenceTrianglePixel(const TriangleDraw& draw, const RasterDrawSettings& settings, uint8_t* dst, uint32_t u,
                            uint32_t v) {
  const RasterPixelContext& c = draw.Context;
  const int format = draw.Format;
  ReferenceSource source{};
  source.UseBright = draw.UseBright;
  if (draw.Kind == RasterSourceKind::Flat) {
    source.Value = c.Color;
    BlendReferencePixel(format, draw.Mode, settings.BlendParam, source, settings.Bright, dst);
    return;
  }
  if (u >= c.WidthBound || v >= c.HeightBound) return;
  const uint32_t tx = u / kRasterOne, ty = v / kRasterOne;
  const uint8_t* row = c.SourcePixels + static_cast<ptrdiff_t>(ty) * c.SourcePitch;
  if (draw.Kind == RasterSourceKind::Paletted) {
    const uint32_t index = row[tx];
    if (draw.Transparent && index == c.KeyColor) return;
    source.Value = format == 1 ? LoadPixel32(c.Palette + 4 * index) : LoadPixel16(c.Palette + 2 * index);
  } else if (draw.Kind == RasterSourceKind::Direct) {
    source.Value = format == 1 ? LoadPixel32(row + 4 * tx) : LoadPixel16(row + 2 * tx);
    if (draw.Transparent && source.Value == c.KeyColor) return;
  } else {
    const uint32_t raw = LoadPixel32(row + 4 * tx);
    const uint32_t alpha = format == 1 ? raw >> 24 : (raw >> 16) & 0xFF;
    source.Value = format == 1 ? raw : raw & 0xFFFF;
    if (draw.Transparent && alpha == 0) return;
    if (draw.Transparent && alpha == 255) {
      if (draw.Mode == 0 && !draw.UseBlendImage && !draw.UseBright) {
        if (format == 1)
          StorePixel32(dst, raw);
        else
          StorePixel16(dst, source.Value);
        return;
      }
    } else {
      source.Weights[source.WeightCount++] = alpha;
    }
  }
  if (draw.UseBlendImage)
    source.Weights[source.WeightCount++] =
        c.BlendAlphaTable[c.BlendPixels[static_cast<ptrdiff_t>(ty) * c.BlendPitch + tx]];
  BlendReferencePixel(format, draw.Mode, settings.BlendParam, source, settings.Bright, dst);
}

void ReferenceFlatPixel(int format, int mode, int p, uint32_t color, uint8_t* dst) {
  const ChannelLayout& layout = LayoutOf(format);
  if (mode == 0) {
    if (format == 1)
      StorePixel32(dst, color);
    else
      StorePixel16(dst, color);
    return;
  }
  int64_t c[3], d[3], out[3];
  Unpack(format, color, c);
  const uint32_t dword = format == 1 ? LoadPixel32(dst) : LoadPixel16(dst);
  Unpack(format, dword, d);
  uint32_t fourth = dword & 0xFF000000;
  if (mode == 2 || mode == 3) {
    int64_t scaled[3];
    for (int i = 0; i < 3; ++i) scaled[i] = p * c[i] / 255;
    if (mode == 2) {
      fourth = static_cast<uint32_t>(ChannelAdd(layout, scaled, d, out)) << 24;
    } else {
      ChannelSubtract(layout, scaled, d, out);
      fourth = 0;
    }
  } else {
    for (int i = 0; i < 3; ++i) {
      const int64_t unit = layout.Maximum[i] + 1;  // 256, or 32 and 64 for the 5-6-5 fields.
      int64_t target = c[i];
      if (mode == 10) target = layout.Maximum[i] - c[i];
      if (mode == 11) target = d[i] * c[i] / unit;
      if (mode == 4)
        out[i] = d[i] * c[i] / unit;
      else if (format == 1)
        out[i] = Weighted(d[i], target, p, 1);
      else
        out[i] = d[i] + SignedScale(p, target - d[i]);
    }
  }
  if (format == 1)
    StorePixel32(dst, fourth | Pack(1, out));
  else
    StorePixel16(dst, Pack(0, out));
}

uint32_t ReferenceScaleFlatColor(int format, uint32_t color, const RasterDrawSettings& settings) {
  if (!settings.UseBright) return color;
  int64_t c[3];
  Unpack(format, color, c);
  for (int i = 0; i < 3; ++i) c[i] = c[i] * settings.Bright[i] / 256;
  return (format == 1 ? color & 0xFF000000 : 0) | Pack(format, c);
}

}  // namespace

void MapMemImgTriangleReference(MEMIMG* dst, MEMIMG* src, const MemImgVertex vertices[3], int transparent,
                                MEMIMG* blendImage, unsigned color, const MemImgDrawSettings& drawSettings) {
  RasterDrawSettings settings;
  if (vertices == nullptr || ReadRasterDrawSettings(dst, drawSettings, &settings) != 0) return;
  TriangleDraw draw;
  if (PrepareTriangleDraw(dst, src, transparent, blendImage, color, settings, &draw) != 0) return;
  TriangleScan scan;
  if (SetupTriangleScan(vertices, &scan) != 0) return;
  WalkTriangleSpans(scan, settings.Area, [&](int y, int x, int count, uint32_t u, uint32_t v) {
    uint8_t* pixel = draw.DestinationPixels + static_cast<ptrdiff_t>(y) * draw.DestinationPitch +
                     static_cast<ptrdiff_t>(x) * draw.PixelBytes;
    for (int i = 0; i < count; ++i, pixel += draw.PixelBytes) {
      ReferenceTrianglePixel(draw, settings, pixel, u, v);
      u += static_cast<uint32_t>(scan.GradientUx);
      v += static_cast<uint32_t>(scan.GradientVx);
    }
  });
}

void FillMemImgBoxReference(MEMIMG* dst, const RECT* box, unsigned color, const MemImgDrawSettings& drawSettings) {
  RasterDrawSettings settings;
  if (ReadRasterDrawSettings(dst, drawSettings, &settings) != 0) return;
  RECT area;
  if (PrepareMemImgBox(dst, box, settings, &area) != 0) return;
  const int mode = ResolveFlatBlendMode(settings.BlendMode, settings.BlendParam);
  if (mode < 0) return;
  const int format = dst->Core->Format;
  const uint32_t scaled = ReferenceScaleFlatColor(format, color, settings);
  const int pixelBytes = RasterDestinationPixelBytes(dst);
  for (LONG y = area.top; y < area.bottom; ++y)
    for (LONG x = area.left; x < area.right; ++x)
      ReferenceFlatPixel(
          format, mode, settings.BlendParam, scaled,
          dst->Pixels + static_cast<ptrdiff_t>(y) * dst->Core->Pitch + static_cast<ptrdiff_t>(x) * pixelBytes);
}

void DrawMemImgLineReference(MEMIMG* dst, int x1, int y1, int x2, int y2, unsigned color,
                             const MemImgDrawSettings& drawSettings) {
  RasterDrawSettings settings;
  if (ReadRasterDrawSettings(dst, drawSettings, &settings) != 0) return;
  LineScan scan;
  if (SetupLineScan(x1, y1, x2, y2, settings.Area, &scan) != 0) return;
  const int mode = ResolveFlatBlendMode(settings.BlendMode, settings.BlendParam);
  if (mode < 0) return;
  const int format = dst->Core->Format;
  const uint32_t scaled = ReferenceScaleFlatColor(format, color, settings);
  const int pixelBytes = RasterDestinationPixelBytes(dst);
  WalkLinePixels(scan, [&](int x, int y) {
    ReferenceFlatPixel(
        format, mode, settings.BlendParam, scaled,
        dst->Pixels + static_cast<ptrdiff_t>(y) * dst->Core->Pitch + static_cast<ptrdiff_t>(x) * pixelBytes);
  });
}
