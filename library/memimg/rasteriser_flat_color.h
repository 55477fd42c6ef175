// Flat-colour pixel operations shared by the filled box and the lines: one colour, already scaled
// by the bright colour (each channel c x bright / 256), combined with the destination in the
// blend mode. The colour-dependent table rows are chosen once per call.
#pragma once

#include <cstdint>

#include "memimg/rasteriser_pixels.h"
#include "memimg/rasteriser_scan.h"

struct FlatColorContext {
  uint32_t Color;        // The scaled colour word (32-bit: top byte as given; 16-bit: 5-6-5).
  uint32_t Channels[3];  // Its blue, green and red channels or fields.
  uint32_t Inverted[3];  // 255 - channel (32-bit), or the fields of the flipped 16-bit colour.
  uint32_t ParamScaled;  // Packed channels P[p][c], the operand of modes 2 and 3.
  uint32_t BlendParam;
  const int32_t* SignedParamRow;
};

// Modes 5 to 9 and above 11 draw nothing; mode 1 at parameter 255 is a copy; modes 1 to 3 at
// parameter 0 draw nothing (a flat colour is never a paletted source). -1: nothing is drawn.
inline int ResolveFlatBlendMode(int mode, int param) {
  return ResolveTriangleBlendMode(mode, param, RasterSourceKind::Flat);
}

// The bright colour's scaling of a raw colour, as the box and line take it (a division by 256).
inline uint32_t ScaleFlatColor(int format, uint32_t color, const RasterDrawSettings& settings) {
  if (!settings.UseBright) return color;
  if (format == kMemImgFormat32) {
    uint32_t out = color & 0xFF000000;
    for (int i = 0; i < 3; ++i) out |= ((((color >> (8 * i)) & 0xFF) * settings.Bright[i]) >> 8) << (8 * i);
    return out;
  }
  const uint32_t blue = ((color & 31) * settings.Bright[0]) >> 8;
  const uint32_t green = (((color >> 5) & 63) * settings.Bright[1]) >> 8;
  const uint32_t red = (((color >> 11) & 31) * settings.Bright[2]) >> 8;
  return red << 11 | green << 5 | blue;
}

inline void SetupFlatColorContext(int format, uint32_t scaledColor, int param, FlatColorContext* c) {
  const int32_t* productRow = g_memImgBlendTables.ProductTable[param];
  c->BlendParam = static_cast<uint32_t>(param);
  c->SignedParamRow = GetSignedProductRow(param);
  if (format == kMemImgFormat32) {
    c->Color = scaledColor;
    for (int i = 0; i < 3; ++i) {
      c->Channels[i] = (scaledColor >> (8 * i)) & 0xFF;
      c->Inverted[i] = 255 - c->Channels[i];
    }
    c->ParamScaled = static_cast<uint32_t>(productRow[c->Channels[2]]) << 16 |
                     static_cast<uint32_t>(productRow[c->Channels[1]]) << 8 |
                     static_cast<uint32_t>(productRow[c->Channels[0]]);
  } else {
    c->Color = scaledColor & 0xFFFF;
    const uint32_t flipped = ~scaledColor & 0xFFFF;
    c->Channels[0] = scaledColor & 31;
    c->Channels[1] = (scaledColor >> 5) & 63;
    c->Channels[2] = (scaledColor >> 11) & 31;
    c->Inverted[0] = flipped & 31;
    c->Inverted[1] = (flipped >> 5) & 63;
    c->Inverted[2] = (flipped >> 11) & 31;
    c->ParamScaled = static_cast<uint32_t>(productRow[c->Channels[2]]) << 11 |
                     static_cast<uint32_t>(productRow[c->Channels[1]]) << 5 |
                     static_cast<uint32_t>(productRow[c->Channels[0]]);
  }
}

// What the box and the lines do once they know what they cover: -1 when the blend mode draws
// nothing; otherwise the destination's derived data are dropped, `context` is set up for the
// colour, and the mode's index in kRasterBlendModes (the column of their loop tables) returned.
inline int PrepareFlatColorDraw(MEMIMG* dst, const RasterDrawSettings& settings, uint32_t color,
                                FlatColorContext* context) {
  const int mode = ResolveFlatBlendMode(settings.BlendMode, settings.BlendParam);
  if (mode < 0) return -1;
  InvalidateMemImgDerivedData(dst);
  const int format = dst->Core->Format;
  SetupFlatColorContext(format, ScaleFlatColor(format, color, settings), settings.BlendParam, context);
  int modeIndex = 0;
  while (kRasterBlendModes[modeIndex] != mode) ++modeIndex;
  return modeIndex;
}

template <int Format, int Mode>
inline void FlatColorPixel(const FlatColorContext& c, uint8_t* dst) {
  const uint32_t p = c.BlendParam;
  if constexpr (Format == kMemImgFormat32) {
    if constexpr (Mode == BLEND_MODE_COPY) {
      StorePixel32(dst, c.Color);
      return;
    }
    const uint32_t d = LoadPixel32(dst);
    if constexpr (Mode == BLEND_MODE_ADD) {
      StorePixel32(dst, PackedAdd32(c.ParamScaled, d));
    } else if constexpr (Mode == BLEND_MODE_SUBTRACT) {
      StorePixel32(dst, PackedSubtract32(c.ParamScaled, d));
    } else {
      uint32_t out = d & 0xFF000000;
      for (int i = 0; i < 3; ++i) {
        const uint32_t dc = (d >> (8 * i)) & 0xFF;
        uint32_t channel = 0;
        if constexpr (Mode == BLEND_MODE_ALPHA) channel = WeightChannel(dc, c.Channels[i], p, 8);
        if constexpr (Mode == BLEND_MODE_MULTIPLY) channel = (dc * c.Channels[i]) >> 8;
        if constexpr (Mode == BLEND_MODE_INVERTED_ALPHA) channel = WeightChannel(dc, c.Inverted[i], p, 8);
        if constexpr (Mode == BLEND_MODE_PRODUCT_ALPHA) channel = WeightChannel(dc, (dc * c.Channels[i]) >> 8, p, 8);
        out |= channel << (8 * i);
      }
      StorePixel32(dst, out);
    }
  } else {
    if constexpr (Mode == BLEND_MODE_COPY) {
      StorePixel16(dst, c.Color);
      return;
    }
    const uint32_t d = LoadPixel16(dst);
    if constexpr (Mode == BLEND_MODE_ADD) {
      StorePixel16(dst, PackedAdd16(c.ParamScaled, d));
    } else if constexpr (Mode == BLEND_MODE_SUBTRACT) {
      StorePixel16(dst, PackedSubtract16(c.ParamScaled, d));
    } else {
      constexpr int kShift[3] = {0, 5, 11};
      constexpr int kProductShift[3] = {5, 6, 5};
      uint32_t out = 0;
      for (int i = 0; i < 3; ++i) {
        const uint32_t dc = (d >> kShift[i]) & (i == 1 ? 63 : 31);
        int target = 0;
        if constexpr (Mode == BLEND_MODE_ALPHA) target = static_cast<int>(c.Channels[i]);
        if constexpr (Mode == BLEND_MODE_INVERTED_ALPHA) target = static_cast<int>(c.Inverted[i]);
        if constexpr (Mode == BLEND_MODE_PRODUCT_ALPHA)
          target = static_cast<int>((dc * c.Channels[i]) >> kProductShift[i]);
        uint32_t channel;
        if constexpr (Mode == BLEND_MODE_MULTIPLY)
          channel = (dc * c.Channels[i]) >> kProductShift[i];
        else
          channel = dc + static_cast<uint32_t>(c.SignedParamRow[target - static_cast<int>(dc)]);
        out |= channel << kShift[i];
      }
      StorePixel16(dst, out);
    }
  }
}

// The box put in order (null: the whole image) and clipped to the draw area; -1 when empty.
int PrepareMemImgBox(const MEMIMG* dst, const RECT* box, const RasterDrawSettings& settings, RECT* clipped);
