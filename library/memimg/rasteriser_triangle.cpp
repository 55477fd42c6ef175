// `MapMemImgTriangle`: one affine-textured or flat triangle into a 16- or 32-bit MEMIMG. The
// choices (destination format, source kind, blend mode, blend image, bright colour, transparency)
// select one span loop from a table, so the pixel loop tests none of them. The texel position is
// checked per pixel: texels outside the source leave the destination as it was.
#include <array>
#include <cstddef>
#include <utility>

#include "memimg/derived_data.h"
#include "memimg/rasteriser_pixels.h"
#include "memimg/rasteriser_scan.h"

namespace {

template <int Format, RasterSourceKind Kind, int Mode, bool UseBlendImage, bool UseBright, bool Transparent>
void TriangleSpanLoop(const RasterPixelContext& c, uint8_t* dst, int count, uint32_t u, uint32_t v, uint32_t stepU,
                      uint32_t stepV) {
  constexpr int kPixelBytes = Format == kMemImgFormat32 ? 4 : 2;
  for (; count > 0; --count, dst += kPixelBytes, u += stepU, v += stepV) {
    if constexpr (Kind == RasterSourceKind::Flat) {
      CombineRasterPixel<Format, Mode, UseBright>(c, dst, c.Color, 1, 0);
    } else {
      if (u >= c.WidthBound || v >= c.HeightBound) continue;
      const uint32_t tx = u >> kRasterFractionBits;
      const uint32_t ty = v >> kRasterFractionBits;
      const uint8_t* row = c.SourcePixels + static_cast<ptrdiff_t>(ty) * c.SourcePitch;
      uint32_t value;
      uint32_t weight = 1;
      int weightCount = 0;
      if constexpr (Kind == RasterSourceKind::Paletted) {
        const uint32_t index = row[tx];
        if (Transparent && index == c.KeyColor) continue;
        value = Format == kMemImgFormat32 ? LoadPixel32(c.Palette + 4 * index) : LoadPixel16(c.Palette + 2 * index);
      } else if constexpr (Kind == RasterSourceKind::Direct) {
        value = Format == kMemImgFormat32 ? LoadPixel32(row + 4 * tx) : LoadPixel16(row + 2 * tx);
        if (Transparent && value == c.KeyColor) continue;
      } else {
        const uint32_t raw = LoadPixel32(row + 4 * tx);
        const uint32_t alpha = Format == kMemImgFormat32 ? raw >> 24 : (raw >> 16) & 0xFF;
        value = Format == kMemImgFormat32 ? raw : raw & 0xFFFF;
        if (Transparent && alpha == 0) continue;
        if (Transparent && alpha == 255) {
          // Opaque: the alpha weight drops out, and a plain copy writes the texel as it is.
          if constexpr (Mode == BLEND_MODE_COPY && !UseBlendImage && !UseBright) {
            if constexpr (Format == kMemImgFormat32)
              StorePixel32(dst, raw);
            else
              StorePixel16(dst, value);
            continue;
          }
        } else {
          weight = alpha;
          weightCount = 1;
        }
      }
      if constexpr (UseBlendImage) {
        weight *= c.BlendAlphaTable[c.BlendPixels[static_cast<ptrdiff_t>(ty) * c.BlendPitch + tx]];
        ++weightCount;
      }
      CombineRasterPixel<Format, Mode, UseBright>(c, dst, value, weight, weightCount);
    }
  }
}

using TriangleSpanFunction = void (*)(const RasterPixelContext&, uint8_t*, int, uint32_t, uint32_t, uint32_t, uint32_t);

// Table index: format, source kind, mode, blend image, bright colour, transparency (last fastest).
constexpr size_t kTriangleLoopCount = 2 * 4 * 7 * 2 * 2 * 2;

constexpr size_t TriangleLoopIndex(int format, RasterSourceKind kind, int modeIndex, bool useBlendImage, bool useBright,
                                   bool transparent) {
  size_t index = static_cast<size_t>(format) * 4 + static_cast<size_t>(kind);
  index = index * 7 + static_cast<size_t>(modeIndex);
  index = index * 2 + useBlendImage;
  index = index * 2 + useBright;
  return index * 2 + transparent;
}

template <size_t Index>
constexpr TriangleSpanFunction MakeTriangleLoopEntry() {
  constexpr bool kTransparent = Index % 2;
  constexpr bool kBright = (Index / 2) % 2;
  constexpr bool kBlendImage = (Index / 4) % 2;
  constexpr int kModeIndex = (Index / 8) % 7;
  constexpr auto kKind = static_cast<RasterSourceKind>((Index / 56) % 4);
  constexpr int kFormat = static_cast<int>(Index / 224);
  // A flat triangle has no texel to test or weight: those entries share the plain flat loop.
  constexpr bool kFlat = kKind == RasterSourceKind::Flat;
  constexpr int kMode = kRasterBlendModes[kModeIndex];
  return &TriangleSpanLoop < kFormat, kKind, kMode, kBlendImage && !kFlat, kBright, kTransparent && !kFlat > ;
}

template <size_t... Index>
constexpr std::array<TriangleSpanFunction, sizeof...(Index)> MakeTriangleLoopTable(std::index_sequence<Index...>) {
  return {MakeTriangleLoopEntry<Index>()...};
}

constexpr std::array<TriangleSpanFunction, kTriangleLoopCount> kTriangleLoops =
    MakeTriangleLoopTable(std::make_index_sequence<kTriangleLoopCount>());

int BlendModeIndex(int mode) {
  for (int i = 0; i < 7; ++i)
    if (kRasterBlendModes[i] == mode) return i;
  return -1;
}

}  // namespace

int PrepareTriangleDraw(const MEMIMG* dst, const MEMIMG* src, int transparent, const MEMIMG* blendImage, unsigned color,
                        const RasterDrawSettings& settings, TriangleDraw* draw) {
  const MemImgCore* dstCore = dst->Core;
  RasterPixelContext& c = draw->Context;
  c = RasterPixelContext{};
  draw->Format = dstCore->Format;
  draw->DestinationPixels = dst->Pixels;
  draw->DestinationPitch = dstCore->Pitch;
  draw->PixelBytes = dstCore->Format == kMemImgFormat32 ? 4 : 2;
  draw->UseBright = settings.UseBright != 0;
  draw->UseBlendImage = false;
  draw->Transparent = false;
  if (src == nullptr) {
    draw->Kind = RasterSourceKind::Flat;
    c.Color = color;
  } else {
    const MemImgCore* srcCore = src->Core;
    if (!IsMemImgValid(src) || src->Pixels == nullptr || srcCore->Format != dstCore->Format) return -1;
    // The texel bounds are width and height x 2^18 as unsigned 32-bit values.
    if (src->Width <= 0 || src->Height <= 0 || src->Width > 16383 || src->Height > 16383) return -1;
    if (srcCore->UsePalette) {
      if (srcCore->Palette == nullptr) return -1;
      draw->Kind = RasterSourceKind::Paletted;
    } else {
      draw->Kind = srcCore->UseAlpha ? RasterSourceKind::Alpha : RasterSourceKind::Direct;
    }
    c.SourcePixels = src->Pixels;
    c.SourcePitch = srcCore->Pitch;
    // Compared as the blits compare it, so a key with bits above the pixel still matches.
    c.KeyColor = GetMemImgComparedKey(srcCore);
    c.Palette = srcCore->Palette;
    c.WidthBound = static_cast<uint32_t>(src->Width) << kRasterFractionBits;
    c.HeightBound = static_cast<uint32_t>(src->Height) << kRasterFractionBits;
    draw->Transparent = transparent != 0;
    if (blendImage != nullptr) {
      // Sampled at the source's texel: it must hold one byte per texel over the whole source, or
      // it would be read past its end.
      const MemImgCore* blendCore = blendImage->Core;
      if (!IsMemImgValid(blendImage) || blendImage->Pixels == nullptr ||
          (blendCore->Format != kMemImgFormatChannel8 && !blendCore->UsePalette) || blendImage->Width < src->Width ||
          blendImage->Height < src->Height)
        return -1;
      draw->UseBlendImage = true;
      c.BlendPixels = blendImage->Pixels;
      c.BlendPitch = blendCore->Pitch;
      c.BlendAlphaTable = g_memImgBlendTables.BlendImageAlphaTable;
    }
  }
  draw->Mode = ResolveTriangleBlendMode(settings.BlendMode, settings.BlendParam, draw->Kind);
  if (draw->Mode < 0) return -1;
  for (int i = 0; i < 3; ++i) c.BrightRows[i] = g_memImgBlendTables.ProductTable[settings.Bright[i]];
  c.BlendParam = static_cast<uint32_t>(settings.BlendParam);
  c.ParamRow = g_memImgBlendTables.ProductTable[settings.BlendParam];
  c.SignedParamRow = GetSignedProductRow(settings.BlendParam);
  return 0;
}

void MapMemImgTriangle(MEMIMG* dst, MEMIMG* src, const MemImgVertex vertices[3], int transparent, MEMIMG* blendImage,
                       unsigned color, const MemImgDrawSettings& drawSettings) {
  RasterDrawSettings settings;
  if (vertices == nullptr || ReadRasterDrawSettings(dst, drawSettings, &settings) != 0) return;
  TriangleDraw draw;
  if (PrepareTriangleDraw(dst, src, transparent, blendImage, color, settings, &draw) != 0) return;
  TriangleScan scan;
  if (SetupTriangleScan(vertices, &scan) != 0) return;
  InvalidateMemImgDerivedData(dst);
  const TriangleSpanFunction loop = kTriangleLoops[TriangleLoopIndex(
      draw.Format, draw.Kind, BlendModeIndex(draw.Mode), draw.UseBlendImage, draw.UseBright, draw.Transparent)];
  WalkTriangleSpans(scan, settings.Area, [&](int y, int x, int count, uint32_t u, uint32_t v) {
    uint8_t* row = draw.DestinationPixels + static_cast<ptrdiff_t>(y) * draw.DestinationPitch;
    loop(draw.Context, row + static_cast<ptrdiff_t>(x) * draw.PixelBytes, count, u, v,
         static_cast<uint32_t>(scan.GradientUx), static_cast<uint32_t>(scan.GradientVx));
  });
}
