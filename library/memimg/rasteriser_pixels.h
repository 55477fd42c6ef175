// Rasteriser pixel operations: fetching a source colour (direct, paletted, alpha or flat), the
// transparency test, the bright colour, the blend-image and alpha weights, and the seven blend
// modes for 32-bit (blue, green, red, fourth byte) and 16-bit 5-6-5 destinations. Every setting is
// a template parameter, so each loop variant carries no per-pixel test of the settings; scaling by
// 0..255 goes through the blend tables' rows chosen once per call.
#pragma once

#include <cstdint>
#include <cstring>

#include "zyvel/memimg.h"

enum class RasterSourceKind { Paletted, Direct, Alpha, Flat };

// Everything a pixel operation reads, set up once per draw.
struct RasterPixelContext {
  const uint8_t* SourcePixels;
  int SourcePitch;
  uint32_t KeyColor;
  const uint8_t* Palette;
  const uint8_t* BlendPixels;
  int BlendPitch;
  const uint8_t* BlendAlphaTable;  // `BlendImageAlphaTable`.
  const int32_t* BrightRows[3];    // Product rows of the bright colour's blue, green and red.
  const int32_t* ParamRow;         // Product row of the blend parameter.
  const int32_t* SignedParamRow;   // Signed product row of the blend parameter, centred on 0.
  uint32_t BlendParam;
  uint32_t Color;       // The flat colour.
  uint32_t WidthBound;  // Source width and height x 2^18.
  uint32_t HeightBound;
};

inline uint32_t LoadPixel32(const uint8_t* at) {
  uint32_t value;
  std::memcpy(&value, at, 4);
  return value;
}
inline uint32_t LoadPixel16(const uint8_t* at) {
  uint16_t value;
  std::memcpy(&value, at, 2);
  return value;
}
inline void StorePixel32(uint8_t* at, uint32_t value) { std::memcpy(at, &value, 4); }
inline void StorePixel16(uint8_t* at, uint32_t value) {
  const uint16_t narrow = static_cast<uint16_t>(value);
  std::memcpy(at, &narrow, 2);
}

// Packed per-channel add and subtract of three channels in one word: the carries of the lower
// channels pass through the lowest bit of the next one, as the bit formulas give.
inline uint32_t PackedAdd32(uint32_t source, uint32_t dest) {
  const uint32_t sum = (source & 0xFEFEFF) + (dest & 0xFEFEFF);
  const uint32_t carries = sum & 0x1010100;
  return (carries - (carries >> 8)) | ((source | dest) & 0x10100) | sum;
}
inline uint32_t PackedSubtract32(uint32_t source, uint32_t dest) {
  const uint32_t difference = (dest | 0x1010100) - (source & 0xFEFEFEFF);
  const uint32_t kept = difference & 0x1010100;
  return (kept - (kept >> 8)) & difference;
}
inline uint32_t PackedAdd16(uint32_t source, uint32_t dest) {
  const uint32_t sum = (source & 0xF7DF) + (dest & 0xF7DF);
  const uint32_t carries = sum & 0x10820;
  return ((carries - (carries >> 5)) | ((source | dest) & 0x820) | sum) & 0xFFFF;
}
inline uint32_t PackedSubtract16(uint32_t source, uint32_t dest) {
  const uint32_t difference = (dest | 0x10820) - (source & 0xF7DF);
  const uint32_t kept = difference & 0x10820;
  return ((kept - (kept >> 5)) & difference) & 0xFFFF;
}

// d + (t - d) F / 2^shift, floored, in 32-bit wrapping arithmetic: the true value lies in
// 0..2^32, so the low byte of the shifted sum is exact.
inline uint32_t WeightChannel(uint32_t dest, uint32_t target, uint32_t weight, int shift) {
  return (((dest << shift) + (target - dest) * weight) >> shift) & 0xFF;
}

// Blends one source colour into the destination pixel. value is the raw colour (32-bit word or
// 5-6-5) before the bright colour; weight and weightCount are the product and number of the
// alpha and blend-image factors present (1 and 0 when none).
template <int Format, int Mode, bool UseBright>
inline void CombineRasterPixel(const RasterPixelContext& c, uint8_t* dst, uint32_t value, uint32_t weight,
                               int weightCount) {
  const uint32_t p = c.BlendParam;
  if constexpr (Format == kMemImgFormat32) {
    uint32_t s[3] = {value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF};
    if constexpr (UseBright)
      for (int i = 0; i < 3; ++i) s[i] = static_cast<uint32_t>(c.BrightRows[i][s[i]]);
    const uint32_t d = LoadPixel32(dst);
    const uint32_t dc[3] = {d & 0xFF, (d >> 8) & 0xFF, (d >> 16) & 0xFF};
    uint32_t out[3];
    if constexpr (Mode == BLEND_MODE_COPY) {
      if (weightCount == 0) {
        StorePixel32(dst, UseBright ? (d & 0xFF000000) | s[2] << 16 | s[1] << 8 | s[0] : value);
        return;
      }
      for (int i = 0; i < 3; ++i) out[i] = WeightChannel(dc[i], s[i], weight, 8 * weightCount);
    } else if constexpr (Mode == BLEND_MODE_ALPHA || Mode == BLEND_MODE_INVERTED_ALPHA ||
                         Mode == BLEND_MODE_PRODUCT_ALPHA) {
      for (int i = 0; i < 3; ++i) {
        uint32_t target = s[i];
        if constexpr (Mode == BLEND_MODE_INVERTED_ALPHA) target = 255 - s[i];
        if constexpr (Mode == BLEND_MODE_PRODUCT_ALPHA) target = (s[i] * dc[i]) >> 8;
        out[i] = WeightChannel(dc[i], target, weight * p, 8 * (weightCount + 1));
      }
    } else if constexpr (Mode == BLEND_MODE_ADD || Mode == BLEND_MODE_SUBTRACT) {
      uint32_t scaled[3];
      for (int i = 0; i < 3; ++i)
        scaled[i] = weightCount == 0 ? static_cast<uint32_t>(c.ParamRow[s[i]])
                                     : (s[i] * weight * p) >> (8 * (weightCount + 1));
      const uint32_t word = scaled[2] << 16 | scaled[1] << 8 | scaled[0];
      StorePixel32(dst, Mode == BLEND_MODE_ADD ? PackedAdd32(word, d) : PackedSubtract32(word, d));
      return;
    } else if constexpr (Mode == BLEND_MODE_MULTIPLY) {
      for (int i = 0; i < 3; ++i)
        out[i] = weightCount == 0 ? (s[i] * dc[i]) >> 8 : (s[i] * weight * dc[i]) >> (8 * weightCount + 8);
    }
    StorePixel32(dst, (d & 0xFF000000) | out[2] << 16 | out[1] << 8 | out[0]);
  } else {
    // Fields blue (5 bits), green (6), red (5); the bright rows are indexed by the field value.
    constexpr uint32_t kMaximum[3] = {31, 63, 31};
    constexpr int kProductShift[3] = {5, 6, 5};
    uint32_t s[3] = {value & 31, (value >> 5) & 63, (value >> 11) & 31};
    if constexpr (UseBright)
      for (int i = 0; i < 3; ++i) s[i] = static_cast<uint32_t>(c.BrightRows[i][s[i]]);
    const uint32_t d = LoadPixel16(dst);
    const uint32_t dc[3] = {d & 31, (d >> 5) & 63, (d >> 11) & 31};
    uint32_t out[3];
    if constexpr (Mode == BLEND_MODE_COPY) {
      if (weightCount == 0) {
        StorePixel16(dst, UseBright ? s[2] << 11 | s[1] << 5 | s[0] : value);
        return;
      }
      for (int i = 0; i < 3; ++i) out[i] = WeightChannel(dc[i], s[i], weight, 8 * weightCount);
    } else if constexpr (Mode == BLEND_MODE_ALPHA || Mode == BLEND_MODE_INVERTED_ALPHA ||
                         Mode == BLEND_MODE_PRODUCT_ALPHA) {
      for (int i = 0; i < 3; ++i) {
        uint32_t target = s[i];
        if constexpr (Mode == BLEND_MODE_INVERTED_ALPHA) target = kMaximum[i] - s[i];
        if constexpr (Mode == BLEND_MODE_PRODUCT_ALPHA) target = (s[i] * dc[i]) >> kProductShift[i];
        out[i] = weightCount == 0
                     ? dc[i] +
                           static_cast<uint32_t>(c.SignedParamRow[static_cast<int>(target) - static_cast<int>(dc[i])])
                     : WeightChannel(dc[i], target, weight * p, 8 * (weightCount + 1));
      }
    } else if constexpr (Mode == BLEND_MODE_ADD || Mode == BLEND_MODE_SUBTRACT) {
      uint32_t scaled[3];
      for (int i = 0; i < 3; ++i) {
        const uint32_t weighted = weightCount == 0 ? s[i] : (s[i] * weight) >> (8 * weightCount);
        scaled[i] = static_cast<uint32_t>(c.ParamRow[weighted]);
      }
      const uint32_t word = scaled[2] << 11 | scaled[1] << 5 | scaled[0];
      StorePixel16(dst, Mode == BLEND_MODE_ADD ? PackedAdd16(word, d) : PackedSubtract16(word, d));
      return;
    } else if constexpr (Mode == BLEND_MODE_MULTIPLY) {
      for (int i = 0; i < 3; ++i) out[i] = (s[i] * weight * dc[i]) >> (8 * weightCount + kProductShift[i]);
    }
    StorePixel16(dst, (out[2] & 31) << 11 | (out[1] & 63) << 5 | (out[0] & 31));
  }
}

// ---- Per-triangle choices ----

// Blend modes with loops, in the order of the loop table.
constexpr int kRasterBlendModes[7] = {BLEND_MODE_COPY,         BLEND_MODE_ALPHA,    BLEND_MODE_ADD,
                                      BLEND_MODE_SUBTRACT,     BLEND_MODE_MULTIPLY, BLEND_MODE_INVERTED_ALPHA,
                                      BLEND_MODE_PRODUCT_ALPHA};

// The mode a triangle really runs: alpha at parameter 255 is a copy; alpha, add and subtract at
// parameter 0 draw nothing, except a paletted source's subtract. -1: nothing is drawn.
inline int ResolveTriangleBlendMode(int mode, int param, RasterSourceKind kind) {
  switch (mode) {
    case BLEND_MODE_ALPHA:
      if (param == 255) return BLEND_MODE_COPY;
      return param == 0 ? -1 : BLEND_MODE_ALPHA;
    case BLEND_MODE_ADD:
      return param == 0 ? -1 : BLEND_MODE_ADD;
    case BLEND_MODE_SUBTRACT:
      return param == 0 && kind != RasterSourceKind::Paletted ? -1 : BLEND_MODE_SUBTRACT;
    case BLEND_MODE_COPY:
    case BLEND_MODE_MULTIPLY:
    case BLEND_MODE_INVERTED_ALPHA:
    case BLEND_MODE_PRODUCT_ALPHA:
      return mode;
    default:
      return -1;
  }
}

struct RasterDrawSettings;

// One triangle draw with every choice taken: which loop runs and what it reads.
struct TriangleDraw {
  int Format;
  RasterSourceKind Kind;
  int Mode;
  bool UseBlendImage;
  bool UseBright;
  bool Transparent;
  uint8_t* DestinationPixels;
  int DestinationPitch;
  int PixelBytes;
  RasterPixelContext Context;
};

// Checks the images and chooses the variant; -1 when nothing is drawn.
int PrepareTriangleDraw(const MEMIMG* dst, const MEMIMG* src, int transparent, const MEMIMG* blendImage, unsigned color,
                        const RasterDrawSettings& settings, TriangleDraw* draw);
