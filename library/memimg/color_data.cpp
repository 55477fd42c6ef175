// Colour data: the standard pixel formats, formats from masks, and colour codes.
#include <cstring>

#include "zyvel/memimg.h"

namespace {

// Position of a mask's lowest set bit and the length of the run that starts there; a mask with
// a gap is described by its lowest run only.
void FindChannelRun(uint32_t mask, uint8_t* shift, uint8_t* width) {
  *shift = 0;
  *width = 0;
  if (mask == 0) return;
  int position = 0;
  while (((mask >> position) & 1u) == 0) ++position;
  int length = 0;
  while (position + length < 32 && ((mask >> (position + length)) & 1u) != 0) ++length;
  *shift = static_cast<uint8_t>(position);
  *width = static_cast<uint8_t>(length);
}

void SetChannels8(ColorData* color) {
  color->redMask = 0xFF0000;
  color->redShift = 16;
  color->redWidth = 8;
  color->greenMask = 0xFF00;
  color->greenShift = 8;
  color->greenWidth = 8;
  color->blueMask = 0xFF;
  color->blueShift = 0;
  color->blueWidth = 8;
  color->alphaMask = 0;
  color->alphaShift = 0;
  color->alphaWidth = 0;
  color->dxtKind = 0;
}

uint32_t AllBitsOf(int bits) { return bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1u); }

}  // namespace

int SetupPalette8ColorData(ColorData* color) {
  SetChannels8(color);
  color->bitDepth = 8;
  color->bytesPerPixel = 1;
  color->spareMask = 0xFF000000;
  return 0;
}

int SetupGrey8ColorData(ColorData* color) {
  SetupPalette8ColorData(color);
  for (int i = 0; i < 256; ++i) {
    const auto level = static_cast<uint8_t>(i);
    color->palette[i] = {level, level, level, 0};
  }
  return 0;
}

int SetupXRGB8ColorData(ColorData* color) {
  SetChannels8(color);
  color->bitDepth = 32;
  color->bytesPerPixel = 4;
  color->spareMask = 0xFF000000;
  color->spareShift = 24;
  color->spareWidth = 8;
  return 0;
}

int SetupARGB8ColorData(ColorData* color) {
  SetChannels8(color);
  color->bitDepth = 32;
  color->bytesPerPixel = 4;
  color->alphaMask = 0xFF000000;
  color->alphaShift = 24;
  color->alphaWidth = 8;
  color->spareMask = 0;
  return 0;
}

int SetupRGB24ColorData(ColorData* color) {
  SetChannels8(color);
  color->bitDepth = 24;
  color->bytesPerPixel = 3;
  color->spareMask = 0;
  return 0;
}

int SetupColorDataFromMasks(ColorData* color, int bits, uint32_t redMask, uint32_t greenMask, uint32_t blueMask,
                            uint32_t alphaMask) {
  color->bitDepth = static_cast<uint16_t>(bits);
  color->bytesPerPixel = static_cast<uint16_t>(bits / 8);
  color->redMask = redMask;
  color->greenMask = greenMask;
  color->blueMask = blueMask;
  color->alphaMask = alphaMask;
  FindChannelRun(redMask, &color->redShift, &color->redWidth);
  FindChannelRun(greenMask, &color->greenShift, &color->greenWidth);
  FindChannelRun(blueMask, &color->blueShift, &color->blueWidth);
  FindChannelRun(alphaMask, &color->alphaShift, &color->alphaWidth);
  color->spareMask = AllBitsOf(bits) & ~(redMask | greenMask | blueMask | alphaMask);
  FindChannelRun(color->spareMask, &color->spareShift, &color->spareWidth);
  color->dxtKind = 0;
  return 0;
}

ColorData* RefreshSpareBitMask(ColorData* color) {
  const int widths = color->redWidth + color->greenWidth + color->blueWidth + color->alphaWidth;
  if (widths == color->bitDepth) {
    color->spareMask = 0;
  } else {
    color->spareMask = AllBitsOf(color->bitDepth) &
                       ~(color->redMask | color->greenMask | color->blueMask | color->alphaMask);
  }
  return color;
}

uint32_t MakeBaseImageColorCode(const ColorData* color, int red, int green, int blue, int alpha) {
  if (color->bytesPerPixel == 1) {
    uint32_t best = 0;
    int64_t bestDistance = INT64_MAX;
    for (int i = 0; i < 256; ++i) {
      const ColorPaletteEntry& entry = color->palette[i];
      const int64_t dr = static_cast<int64_t>(entry.red) - red;
      const int64_t dg = static_cast<int64_t>(entry.green) - green;
      const int64_t db = static_cast<int64_t>(entry.blue) - blue;
      const int64_t distance = dr * dr + dg * dg + db * db;
      if (distance < bestDistance) {
        bestDistance = distance;
        best = static_cast<uint32_t>(i);
      }
    }
    return best;
  }
  auto place = [](int value, int width, int shift) -> uint32_t {
    if (width == 0) return 0;
    const uint32_t byte = static_cast<uint32_t>(value) & 0xFFu;
    return width >= 8 ? (byte << (width - 8)) << shift : (byte >> (8 - width)) << shift;
  };
  uint32_t code = place(red, color->redWidth, color->redShift) | place(green, color->greenWidth, color->greenShift) |
                  place(blue, color->blueWidth, color->blueShift);
  code |= color->spareMask;
  if (color->alphaWidth != 0) code |= place(alpha, color->alphaWidth, color->alphaShift);
  return code;
}

int SplitColorCode(const ColorData* color, uint32_t code, uint32_t* red, uint32_t* green, uint32_t* blue,
                   uint32_t* alpha) {
  const bool all8 = color->redWidth == 8 && color->greenWidth == 8 && color->blueWidth == 8;
  auto split = [&](uint32_t mask, int shift, int width, bool plain) -> uint32_t {
    if (width == 0) return 0;
    const uint32_t value = (code & mask) >> shift;
    if (plain || width >= 32) return value;
    const uint64_t maximum = (uint64_t{1} << width) - 1;
    return static_cast<uint32_t>(uint64_t{value} * 255u / maximum);
  };
  if (red) *red = split(color->redMask, color->redShift, color->redWidth, all8);
  if (green) *green = split(color->greenMask, color->greenShift, color->greenWidth, all8);
  if (blue) *blue = split(color->blueMask, color->blueShift, color->blueWidth, all8);
  if (alpha) *alpha = split(color->alphaMask, color->alphaShift, color->alphaWidth, color->alphaWidth == 8);
  return 0;
}
