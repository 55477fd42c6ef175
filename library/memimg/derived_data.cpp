// The premultiplied plane and the run-length line codes of a store, built after a whole-image
// fill. Line codes let the unscaled blit skip transparent runs wholesale.
#include "memimg/derived_data.h"

#include <cstring>

uint32_t GetMemImgComparedKey(const MemImgCore* core) {
  if (core->UsePalette) return core->KeyColor & 0xFF;
  if (core->Format == kMemImgFormat16) return core->KeyColor & 0xFFFF;
  return core->KeyColor;
}

// Run kind of the pixel at x of a row.
static int LineCodeKind(const MemImgCore* core, const uint8_t* row, int x, uint32_t key) {
  if (core->UsePalette) return row[x] == key ? kMemImgRunTransparent : kMemImgRunOpaque;
  if (core->UseAlpha) {
    // 16-bit images keep alpha in the third byte of their 4-byte pixels, 32-bit in the fourth.
    const int alpha = row[x * 4 + (core->Format == kMemImgFormat16 ? 2 : 3)];
    return alpha == 0 ? kMemImgRunTransparent : alpha == 255 ? kMemImgRunOpaque : kMemImgRunPartial;
  }
  if (core->Format == kMemImgFormat16) {
    uint16_t pixel;
    std::memcpy(&pixel, row + x * 2, 2);
    return pixel == key ? kMemImgRunTransparent : kMemImgRunOpaque;
  }
  uint32_t pixel;
  std::memcpy(&pixel, row + x * 4, 4);
  return pixel == key ? kMemImgRunTransparent : kMemImgRunOpaque;
}

void BuildMemImgLineCodes(MemImgCore* core) {
  const uint32_t key = GetMemImgComparedKey(core);
  uint8_t* code = core->LineCodes;
  for (int y = 0; y < core->Height; ++y) {
    const uint8_t* row = core->PixelBuffer + static_cast<ptrdiff_t>(y) * core->Pitch;
    int x = 0;
    while (x < core->Width) {
      const int kind = LineCodeKind(core, row, x, key);
      int length = 1;
      while (x + length < core->Width && length < 64 && LineCodeKind(core, row, x + length, key) == kind) ++length;
      *code++ = static_cast<uint8_t>((kind << 6) | (length - 1));
      x += length;
    }
    *code++ = kMemImgLineEnd;
  }
}

void BuildMemImgPremultPlane(MemImgCore* core) {
  for (int y = 0; y < core->Height; ++y) {
    const uint8_t* source = core->PixelBuffer + static_cast<ptrdiff_t>(y) * core->Pitch;
    uint8_t* target = core->PremultBuffer + static_cast<ptrdiff_t>(y) * core->Pitch;
    for (int x = 0; x < core->Width; ++x) {
      uint32_t pixel;
      std::memcpy(&pixel, source + x * 4, 4);
      uint32_t result;
      if (core->Format == kMemImgFormat32) {
        const uint32_t alpha = pixel >> 24;
        result = (alpha << 24) | ((((pixel >> 16) & 0xFF) * alpha >> 8) << 16) |
                 ((((pixel >> 8) & 0xFF) * alpha >> 8) << 8) | ((pixel & 0xFF) * alpha >> 8);
      } else {
        // Each 5-6-5 field scaled by alpha / 256 in place; alpha stays in the third byte and the
        // fourth byte is kept.
        const uint32_t colour = pixel & 0xFFFF;
        const uint32_t alpha = (pixel >> 16) & 0xFF;
        const uint32_t scaled = (((colour & 0xF800) * alpha & 0xF80000) | ((colour & 0x07E0) * alpha & 0x07E000) |
                                 ((colour & 0x001F) * alpha & 0x1F00)) >>
                                8;
        result = (pixel & 0xFF000000) | (alpha << 16) | scaled;
      }
      std::memcpy(target + x * 4, &result, 4);
    }
  }
}
