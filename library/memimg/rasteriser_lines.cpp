// `DrawMemImgLine` and `DrawMemImgLines`: straight lines of one colour, clipped to the draw area,
// end point excluded, each pixel through the flat-colour operation of the box.
#include <cstddef>

#include "memimg/rasteriser_flat_color.h"

namespace {

using LinePixelFunction = void (*)(const FlatColorContext&, uint8_t*);

// [kMemImgFormat16, kMemImgFormat32][mode index of kRasterBlendModes]
constexpr LinePixelFunction kLinePixels[2][7] = {
    {FlatColorPixel<0, BLEND_MODE_COPY>, FlatColorPixel<0, BLEND_MODE_ALPHA>, FlatColorPixel<0, BLEND_MODE_ADD>,
     FlatColorPixel<0, BLEND_MODE_SUBTRACT>, FlatColorPixel<0, BLEND_MODE_MULTIPLY>,
     FlatColorPixel<0, BLEND_MODE_INVERTED_ALPHA>, FlatColorPixel<0, BLEND_MODE_PRODUCT_ALPHA>},
    {FlatColorPixel<1, BLEND_MODE_COPY>, FlatColorPixel<1, BLEND_MODE_ALPHA>, FlatColorPixel<1, BLEND_MODE_ADD>,
     FlatColorPixel<1, BLEND_MODE_SUBTRACT>, FlatColorPixel<1, BLEND_MODE_MULTIPLY>,
     FlatColorPixel<1, BLEND_MODE_INVERTED_ALPHA>, FlatColorPixel<1, BLEND_MODE_PRODUCT_ALPHA>},
};

}  // namespace

void DrawMemImgLine(MEMIMG* dst, int x1, int y1, int x2, int y2, unsigned color,
                    const MemImgDrawSettings& drawSettings) {
  RasterDrawSettings settings;
  if (ReadRasterDrawSettings(dst, drawSettings, &settings) != 0) return;
  LineScan scan;
  if (SetupLineScan(x1, y1, x2, y2, settings.Area, &scan) != 0) return;
  FlatColorContext context;
  const int modeIndex = PrepareFlatColorDraw(dst, settings, color, &context);
  if (modeIndex < 0) return;
  const int format = dst->Core->Format;
  const LinePixelFunction drawPixel = kLinePixels[format][modeIndex];
  const int pixelBytes = RasterDestinationPixelBytes(dst);
  const ptrdiff_t pitch = dst->Core->Pitch;
  WalkLinePixels(scan, [&](int x, int y) {
    drawPixel(context, dst->Pixels + y * pitch + static_cast<ptrdiff_t>(x) * pixelBytes);
  });
}

void DrawMemImgLines(MEMIMG* dst, const MemImgLineRecord* lines, int count, const MemImgDrawSettings& drawSettings) {
  if (lines == nullptr) return;
  for (int i = 0; i < count; ++i)
    DrawMemImgLine(dst, lines[i].x1, lines[i].y1, lines[i].x2, lines[i].y2, lines[i].color, drawSettings);
}
