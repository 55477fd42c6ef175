// `FillMemImgBox`: an axis-aligned rectangle of one colour in the current blend mode. A copy is a
// plain fill (whole words; two 16-bit pixels per store); every other mode runs the flat-colour
// operation of its format and mode, chosen from a table once per box.
#include <cstddef>

#include "memimg/rasteriser_flat_color.h"

namespace {

using BoxRowFunction = void (*)(const FlatColorContext&, uint8_t*, int);

template <int Format, int Mode>
void FillBoxRow(const FlatColorContext& c, uint8_t* row, int count) {
  if constexpr (Mode == BLEND_MODE_COPY && Format == kMemImgFormat32) {
    for (int i = 0; i < count; ++i) StorePixel32(row + 4 * i, c.Color);
  } else if constexpr (Mode == BLEND_MODE_COPY) {
    const uint32_t pair = c.Color | c.Color << 16;
    int i = 0;
    for (; i + 1 < count; i += 2) StorePixel32(row + 2 * i, pair);
    if (i < count) StorePixel16(row + 2 * i, c.Color);
  } else {
    constexpr int kPixelBytes = Format == kMemImgFormat32 ? 4 : 2;
    for (int i = 0; i < count; ++i) FlatColorPixel<Format, Mode>(c, row + kPixelBytes * i);
  }
}

// [kMemImgFormat16, kMemImgFormat32][mode index of kRasterBlendModes]
constexpr BoxRowFunction kBoxRows[2][7] = {
    {FillBoxRow<0, BLEND_MODE_COPY>, FillBoxRow<0, BLEND_MODE_ALPHA>, FillBoxRow<0, BLEND_MODE_ADD>,
     FillBoxRow<0, BLEND_MODE_SUBTRACT>, FillBoxRow<0, BLEND_MODE_MULTIPLY>, FillBoxRow<0, BLEND_MODE_INVERTED_ALPHA>,
     FillBoxRow<0, BLEND_MODE_PRODUCT_ALPHA>},
    {FillBoxRow<1, BLEND_MODE_COPY>, FillBoxRow<1, BLEND_MODE_ALPHA>, FillBoxRow<1, BLEND_MODE_ADD>,
     FillBoxRow<1, BLEND_MODE_SUBTRACT>, FillBoxRow<1, BLEND_MODE_MULTIPLY>, FillBoxRow<1, BLEND_MODE_INVERTED_ALPHA>,
     FillBoxRow<1, BLEND_MODE_PRODUCT_ALPHA>},
};

}  // namespace

int PrepareMemImgBox(const MEMIMG* dst, const RECT* box, const RasterDrawSettings& settings, RECT* clipped) {
  RECT area = box != nullptr ? *box : RECT{0, 0, dst->Width, dst->Height};
  if (area.right < area.left) {
    const LONG swap = area.left;
    area.left = area.right;
    area.right = swap;
  }
  if (area.bottom < area.top) {
    const LONG swap = area.top;
    area.top = area.bottom;
    area.bottom = swap;
  }
  ClipRectToRect(&area, &settings.Area);
  if (area.right <= area.left || area.bottom <= area.top) return -1;
  *clipped = area;
  return 0;
}

void FillMemImgBox(MEMIMG* dst, const RECT* box, unsigned color, const MemImgDrawSettings& drawSettings) {
  RasterDrawSettings settings;
  if (ReadRasterDrawSettings(dst, drawSettings, &settings) != 0) return;
  RECT area;
  if (PrepareMemImgBox(dst, box, settings, &area) != 0) return;
  FlatColorContext context;
  const int modeIndex = PrepareFlatColorDraw(dst, settings, color, &context);
  if (modeIndex < 0) return;
  const int format = dst->Core->Format;
  const BoxRowFunction fillRow = kBoxRows[format][modeIndex];
  const int pixelBytes = RasterDestinationPixelBytes(dst);
  const ptrdiff_t pitch = dst->Core->Pitch;
  uint8_t* row = dst->Pixels + area.top * pitch + static_cast<ptrdiff_t>(area.left) * pixelBytes;
  for (LONG y = area.top; y < area.bottom; ++y, row += pitch) fillRow(context, row, area.right - area.left);
}
