// DXT1 to DXT5 block decoding into ARGB8 pixels.
//
// The pixel buffer of a compressed image holds ceil(width / 4) x ceil(height / 4) blocks of the
// top level first; block pixels outside the image are dropped.
#include <cstring>

#include "zyvel/graphics.h"

namespace {

struct BlockColor {
  uint32_t blue, green, red, alpha;
};

BlockColor ExpandColor565(uint16_t value) {
  return {(value & 0x1Fu) * 255u / 31u, ((value >> 5) & 0x3Fu) * 255u / 63u, ((value >> 11) & 0x1Fu) * 255u / 31u,
          255u};
}

uint16_t ReadWord(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t ReadDword(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// Decodes the 8-byte colour block into 16 pixels (blue, green, red, alpha each).
void DecodeColorBlock(const uint8_t* block, bool allowThreeColor, uint8_t out[16][4]) {
  const uint16_t code0 = ReadWord(block);
  const uint16_t code1 = ReadWord(block + 2);
  const uint32_t indices = ReadDword(block + 4);
  BlockColor colors[4];
  colors[0] = ExpandColor565(code0);
  colors[1] = ExpandColor565(code1);
  const BlockColor& c0 = colors[0];
  const BlockColor& c1 = colors[1];
  if (!allowThreeColor || code0 > code1) {
    colors[2] = {(2 * c0.blue + c1.blue) / 3, (2 * c0.green + c1.green) / 3, (2 * c0.red + c1.red) / 3, 255};
    colors[3] = {(c0.blue + 2 * c1.blue) / 3, (c0.green + 2 * c1.green) / 3, (c0.red + 2 * c1.red) / 3, 255};
  } else {
    colors[2] = {(c0.blue + c1.blue) / 2, (c0.green + c1.green) / 2, (c0.red + c1.red) / 2, 255};
    colors[3] = colors[2];
    colors[3].alpha = 0;
  }
  for (int i = 0; i < 16; ++i) {
    const BlockColor& c = colors[(indices >> (2 * i)) & 3u];
    out[i][0] = static_cast<uint8_t>(c.blue);
    out[i][1] = static_cast<uint8_t>(c.green);
    out[i][2] = static_cast<uint8_t>(c.red);
    out[i][3] = static_cast<uint8_t>(c.alpha);
  }
}

void DecodeExplicitAlpha(const uint8_t* block, uint8_t out[16][4]) {
  for (int i = 0; i < 16; ++i) {
    const int nibble = (block[i / 2] >> ((i & 1) * 4)) & 0xF;
    out[i][3] = static_cast<uint8_t>(nibble * 17);
  }
}

void DecodeInterpolatedAlpha(const uint8_t* block, uint8_t out[16][4]) {
  const uint32_t a0 = block[0];
  const uint32_t a1 = block[1];
  uint32_t values[8] = {a0, a1};
  if (a0 > a1) {
    for (uint32_t k = 1; k <= 6; ++k) values[k + 1] = ((7 - k) * a0 + k * a1) / 7;
  } else {
    for (uint32_t k = 1; k <= 4; ++k) values[k + 1] = ((5 - k) * a0 + k * a1) / 5;
    values[6] = 0;
    values[7] = 255;
  }
  const uint32_t low = block[2] | (block[3] << 8) | (block[4] << 16);
  const uint32_t high = block[5] | (block[6] << 8) | (block[7] << 16);
  for (int i = 0; i < 16; ++i) {
    const uint32_t bits = i < 8 ? low >> (3 * i) : high >> (3 * (i - 8));
    out[i][3] = static_cast<uint8_t>(values[bits & 7u]);
  }
}

// Premultiplied colour back to straight colour; a clear pixel has no colour to recover.
void Unpremultiply(uint8_t pixel[4]) {
  const uint32_t alpha = pixel[3];
  for (int c = 0; c < 3; ++c) {
    const uint32_t value = alpha == 0 ? 0 : pixel[c] * 255u / alpha;
    pixel[c] = static_cast<uint8_t>(value > 255 ? 255 : value);
  }
}

}  // namespace

int DecodeDxtBaseImage(BaseImage* image) {
  const uint32_t kind = image->color.dxtKind;
  if (kind == 0) return 0;
  if (kind > 5 || image->width <= 0 || image->height <= 0 || !image->pixels) return -1;
  const int64_t size = static_cast<int64_t>(image->width) * 4 * image->height;
  if (size > 0x7FFFFFFF) return -1;
  auto* decoded = static_cast<uint8_t*>(ZV_ALLOC(static_cast<int>(size)));
  if (!decoded) return -1;
  const int blockBytes = kind == 1 ? 8 : 16;
  const int blockColumns = (image->width + 3) / 4;
  const int blockRows = (image->height + 3) / 4;
  const uint8_t* block = image->pixels;
  uint8_t pixels[16][4];
  for (int by = 0; by < blockRows; ++by) {
    for (int bx = 0; bx < blockColumns; ++bx, block += blockBytes) {
      if (kind == 1) {
        DecodeColorBlock(block, true, pixels);
      } else {
        DecodeColorBlock(block + 8, false, pixels);
        if (kind <= 3)
          DecodeExplicitAlpha(block, pixels);
        else
          DecodeInterpolatedAlpha(block, pixels);
        if (kind == 2 || kind == 4)
          for (auto& pixel : pixels) Unpremultiply(pixel);
      }
      for (int y = 0; y < 4; ++y) {
        const int imageY = by * 4 + y;
        if (imageY >= image->height) break;
        for (int x = 0; x < 4; ++x) {
          const int imageX = bx * 4 + x;
          if (imageX >= image->width) break;
          std::memcpy(decoded + (static_cast<int64_t>(imageY) * image->width + imageX) * 4, pixels[4 * y + x], 4);
        }
      }
    }
  }
  ZV_FREE(image->pixels);
  image->pixels = decoded;
  SetupARGB8ColorData(&image->color);
  image->pitch = image->width * 4;
  image->mipMapCount = 0;
  return 0;
}
