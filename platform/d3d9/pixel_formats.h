// Pixel formats the software device stores: their sizes, and the conversions of one pixel to and
// from 8-bit A, R, G, B. Narrow channels widen by repeating their top bits (so 31 in five bits
// becomes 255) and narrow by dropping the low bits.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/d3d9.h"

namespace platform::d3d9 {

struct PixelFormatInfo {
  D3DFORMAT format;
  int bytesPerPixel;  // 0 for block-compressed formats.
  int blockBytes;     // Bytes per 4 x 4 block of a DXT format, else 0.
  bool depth;
  bool alpha;  // The format keeps an alpha channel.
};

// Null for a format the device does not know.
const PixelFormatInfo* FindPixelFormat(D3DFORMAT format);
bool IsColorFormat(D3DFORMAT format);
bool IsDxtFormat(D3DFORMAT format);

// Bytes per row and number of rows of a level of `width` x `height` (block rows for DXT).
size_t RowPitchOf(D3DFORMAT format, UINT width);
UINT RowCountOf(D3DFORMAT format, UINT height);

uint32_t ReadPixelArgb(D3DFORMAT format, const uint8_t* pixel);
void WritePixelArgb(D3DFORMAT format, uint8_t* pixel, uint32_t argb);
// The texel (x, y) of a DXT level whose block rows are `pitch` bytes apart.
uint32_t ReadDxtTexelArgb(D3DFORMAT format, const uint8_t* level, size_t pitch, int x, int y);

}  // namespace platform::d3d9
