// Filling MEMIMG images from base images and copying between images, through the one pixel
// converter. A fill that covers the whole view also rebuilds the store's premultiplied plane and
// line codes; any other write leaves them invalid.
//
// Rectangles are clipped to the images they read and write (the converter itself clips nothing),
// and compressed base images, or ones whose pitch is shorter than a row, are refused.
#include <algorithm>
#include <cstring>

#include "memimg/derived_data.h"
#include "memimg/image_transfer.h"
#include "zyvel/memimg.h"

namespace {

// A source rectangle placed at (destX, destY), cut to the source's and the destination's edges.
struct Placement {
  ImageTransferRect source;
  int destX;
  int destY;
};

bool ClipPlacement(int sourceX, int sourceY, int width, int height, int destX, int destY, int sourceWidth,
                   int sourceHeight, int destWidth, int destHeight, Placement* out) {
  long long left = sourceX, top = sourceY, right = static_cast<long long>(sourceX) + width,
            bottom = static_cast<long long>(sourceY) + height;
  long long dx = destX, dy = destY;
  // Shift the start until both the source and the destination corner lie inside.
  const long long cutX = std::max({0LL, -left, -dx});
  const long long cutY = std::max({0LL, -top, -dy});
  left += cutX;
  dx += cutX;
  top += cutY;
  dy += cutY;
  right = std::min({right, static_cast<long long>(sourceWidth), left + (destWidth - dx)});
  bottom = std::min({bottom, static_cast<long long>(sourceHeight), top + (destHeight - dy)});
  if (right <= left || bottom <= top) return false;
  out->source = {static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right),
                 static_cast<int32_t>(bottom)};
  out->destX = static_cast<int>(dx);
  out->destY = static_cast<int>(dy);
  return true;
}

// A base image whose pixels the converter can walk: plain pixels, rows at least a row long.
bool IsReadableBaseImage(const BaseImage* image) {
  const int bytes = image->color.bytesPerPixel;
  return image->pixels && image->color.dxtKind == 0 && bytes >= 1 && bytes <= 4 && image->width >= 0 &&
         image->height >= 0 && static_cast<long long>(image->pitch) >= static_cast<long long>(image->width) * bytes;
}

}  // namespace

int FillMemImgFromBaseImage(const BaseImage* base, const BaseImage* alphaBase, MEMIMG* dest, int sourceX, int sourceY,
                            int width, int height, int destX, int destY, int useKeyColor) {
  if (!IsMemImgValid(dest) || !base || !IsReadableBaseImage(base)) return -1;
  if (alphaBase && !IsReadableBaseImage(alphaBase)) return -1;
  MemImgCore* core = dest->Core;
  int sourceWidth = base->width;
  int sourceHeight = base->height;
  if (alphaBase && core->Format < kMemImgFormatChannel8) {
    sourceWidth = std::min(sourceWidth, alphaBase->width);
    sourceHeight = std::min(sourceHeight, alphaBase->height);
  }
  Placement placement;
  if (!ClipPlacement(sourceX, sourceY, width, height, destX, destY, sourceWidth, sourceHeight, dest->Width,
                     dest->Height, &placement))
    return -1;
  InvalidateMemImgDerivedData(dest);

  int result = 0;
  if (core->Format >= kMemImgFormatChannel8) {
    // Single-channel images take the source's red: colour off, alpha from red.
    TransferImagePixels(dest->Pixels, core->Pitch, core->Layout, base->pixels, base->pitch, &base->color,
                        placement.destX, placement.destY, &placement.source, {.colorOff = 1, .alphaFromRed = 1});
  } else {
    const bool withAlpha = alphaBase != nullptr;
    result = TransferImagePixels(dest->Pixels, core->Pitch, core->Layout, base->pixels, base->pitch, &base->color,
                                 placement.destX, placement.destY, &placement.source,
                                 {.alphaPixels = withAlpha ? alphaBase->pixels : nullptr,
                                  .alphaPitch = withAlpha ? alphaBase->pitch : 0,
                                  .alphaColor = withAlpha ? &alphaBase->color : nullptr,
                                  .keyToAlpha = useKeyColor,
                                  .keyColor = core->KeyColor});
    if (result < 0) return result;
    if (core->UsePalette && !withAlpha) core->PaletteColors = result + 1;
  }

  if (core->UsePalette) {
    for (int i = 0; i < 256; ++i) {
      const ColorPaletteEntry& entry = base->color.palette[i];
      if (core->Format == kMemImgFormat16) {
        const uint16_t value =
            static_cast<uint16_t>(((entry.red & 0xF8) << 8) | ((entry.green & 0xFC) << 3) | (entry.blue >> 3));
        std::memcpy(core->Palette + i * 2, &value, 2);
      } else {
        const uint32_t value = (static_cast<uint32_t>(entry.red) << 16) | (entry.green << 8) | entry.blue;
        std::memcpy(core->Palette + i * 4, &value, 4);
      }
    }
    std::memcpy(core->PaletteCopy, core->Palette, core->Format == kMemImgFormat16 ? 512 : 1024);
  }

  const bool wholeView = placement.source.right - placement.source.left == dest->Width &&
                         placement.source.bottom - placement.source.top == dest->Height;
  if (!wholeView || core->Format > kMemImgFormat32 || !core->LineCodes) return result;
  core->LineCodesValid = 1;
  if (core->UseAlpha && core->PremultBuffer) {
    core->PremultValid = 1;
    BuildMemImgPremultPlane(core);
  }
  BuildMemImgLineCodes(core);
  return result;
}

int CopyMemImgArea(MEMIMG* dest, const MEMIMG* source, const RECT* sourceArea, int destX, int destY) {
  if (!IsMemImgValid(dest) || !IsMemImgValid(source)) return -1;
  const RECT area = sourceArea ? *sourceArea : RECT{0, 0, source->Width, source->Height};
  Placement placement;
  if (!ClipPlacement(area.left, area.top, area.right - area.left, area.bottom - area.top, destX, destY, source->Width,
                     source->Height, dest->Width, dest->Height, &placement))
    return -1;
  InvalidateMemImgDerivedData(dest);
  return TransferImagePixels(dest->Pixels, dest->Core->Pitch, dest->Core->Layout, source->Pixels, source->Core->Pitch,
                             source->Core->Layout, placement.destX, placement.destY, &placement.source, {});
}
