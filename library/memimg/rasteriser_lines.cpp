// `DrawMemImgLine` and `DrawMemImgLines`: straight lines of one colour, clipped to the draw area,
// end point excluded, each pixel through the flat-colour operation of the box.
#include <cstddef>

#include "memimg/rasteriser_flat_colour.h"

namespace {

using LinePixelFunction = void (*)(const FlatColourContext&, uint8_t*);

// [format][mode index of kRasterBlendModes]
constexpr LinePixelFunction kLinePixels[2][7] = {
    {FlatColourPixel<0, 0>, FlatColourPixel<0, 1>, FlatColourPixel<0, 2>, FlatColourPixel<0, 3>,
     FlatColourPixel<0, 4>, FlatColourPixel<0, 10>, FlatColourPixel<0, 11>},
    {FlatColourPixel<1, 0>, FlatColourPixel<1, 1>, FlatColourPixel<1, 2>, FlatColourPixel<1, 3>,
     FlatColourPixel<1, 4>, FlatColourPixel<1, 10>, FlatColourPixel<1, 11>},
};

}  // namespace

void DrawMemImgLine(MEMIMG* dst, int x1, int y1, int x2, int y2, unsigned color) {
  RasterDrawSettings settings;
  if (ReadRasterDrawSettings(dst, &settings) != 0) return;
  LineScan scan;
  if (SetupLineScan(x1, y1, x2, y2, settings.Area, &scan) != 0) return;
  const int mode = ResolveFlatBlendMode(settings.BlendMode, settings.BlendParam);
  if (mode < 0) return;
  InvalidateMemImgDerivedData(dst);
  const int format = dst->Core->Format;
  FlatColourContext context;
  SetupFlatColourContext(format, ScaleFlatColour(format, color, settings), settings.BlendParam,
                         &context);
  int modeIndex = 0;
  while (kRasterBlendModes[modeIndex] != mode) ++modeIndex;
  const LinePixelFunction drawPixel = kLinePixels[format][modeIndex];
  const int pixelBytes = RasterDestinationPixelBytes(dst);
  const ptrdiff_t pitch = dst->Core->Pitch;
  WalkLinePixels(scan, [&](int x, int y) {
    drawPixel(context, dst->Pixels + y * pitch + static_cast<ptrdiff_t>(x) * pixelBytes);
  });
}

void DrawMemImgLines(MEMIMG* dst, const MemImgLineRecord* lines, int count) {
  if (lines == nullptr) return;
  for (int i = 0; i < count; ++i)
    DrawMemImgLine(dst, lines[i].x1, lines[i].y1, lines[i].x2, lines[i].y2, lines[i].color);
}
