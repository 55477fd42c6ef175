// Base images: creation, release, clearing, mirroring, rotation and per-pixel access.
#include <cstring>

#include "memimg/memimg_services.h"
#include "zyvel/graphics.h"

namespace {

void WritePixelValue(uint8_t* p, int bytes, uint32_t value) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

void SwapPixels(uint8_t* a, uint8_t* b, int bytes) {
  uint8_t held[4];
  std::memcpy(held, a, bytes);
  std::memcpy(a, b, bytes);
  std::memcpy(b, held, bytes);
}

// Left-aligns a channel's field in the byte that ends at bit `top`.
uint32_t AlignChannel(uint32_t value, uint32_t mask, int shift, int width, int top) {
  if (width == 0) return 0;
  const uint32_t field = (value & mask) >> shift;
  const int move = top - width;
  return move >= 0 ? field << move : field >> -move;
}

}  // namespace

int CreateBaseImageLike(int width, int height, const ColorData* color, BaseImage* out) {
  std::memset(out, 0, sizeof(*out));
  out->color = *color;
  out->width = width;
  out->height = height;
  const int64_t pitch = (static_cast<int64_t>(width) * color->bytesPerPixel + 3) / 4 * 4;
  const int64_t size = pitch * height;
  out->pitch = static_cast<int32_t>(pitch);
  out->mipMapCount = 0;
  if (width < 0 || height < 0 || size > 0x7FFFFFFF) return -1;
  // Image buffers carry no name tag in the heap dump.
  out->pixels = static_cast<uint8_t*>(AllocTrackedMemory(static_cast<int>(size), "", 0));
  return out->pixels ? 0 : -1;
}

int CreateXRGB8BaseImage(int width, int height, BaseImage* out) {
  ColorData color{};
  SetupXRGB8ColorData(&color);
  return CreateBaseImageLike(width, height, &color, out);
}

int CreateARGB8BaseImage(int width, int height, BaseImage* out) {
  ColorData color{};
  SetupARGB8ColorData(&color);
  return CreateBaseImageLike(width, height, &color, out);
}

int ReleaseBaseImage(BaseImage* image) {
  if (image->pixels) ZV_FREE(image->pixels);
  std::memset(image, 0, sizeof(*image));
  return 0;
}

int ClearBaseImageRect(BaseImage* image, int x, int y, int width, int height) {
  // Kept to the image, so a careless rectangle cannot write outside the buffer.
  if (x < 0) width += x, x = 0;
  if (y < 0) height += y, y = 0;
  if (x + width > image->width) width = image->width - x;
  if (y + height > image->height) height = image->height - y;
  if (width <= 0 || height <= 0 || !image->pixels || image->color.dxtKind != 0) return 0;
  const int bytes = image->color.bytesPerPixel;
  for (int row = 0; row < height; ++row) {
    uint8_t* line = image->pixels + static_cast<int64_t>(y + row) * image->pitch + static_cast<int64_t>(x) * bytes;
    std::memset(line, 0, static_cast<size_t>(width) * bytes);
  }
  return 0;
}

int MirrorBaseImage(BaseImage* image) {
  if (image->width == 0 || image->height == 0) return -1;
  // Compressed blocks have no rows to reverse: decode them first.
  if (DecodeDxtBaseImage(image) != 0) return -1;
  const int bytes = image->color.bytesPerPixel;
  if (bytes < 1 || bytes > 4 || !image->pixels) return -1;
  for (int y = 0; y < image->height; ++y) {
    uint8_t* line = image->pixels + static_cast<int64_t>(y) * image->pitch;
    for (int x = 0; x < image->width / 2; ++x)
      SwapPixels(line + x * bytes, line + (image->width - 1 - x) * bytes, bytes);
  }
  return 0;
}

int RotateBaseImage180(BaseImage* image) {
  if (image->color.dxtKind != 0) return -1;
  const int bytes = image->color.bytesPerPixel;
  if (bytes < 1 || bytes > 4 || !image->pixels) return -1;
  const int width = image->width;
  const int height = image->height;
  for (int y = 0; y < (height + 1) / 2; ++y) {
    uint8_t* top = image->pixels + static_cast<int64_t>(y) * image->pitch;
    uint8_t* bottom = image->pixels + static_cast<int64_t>(height - 1 - y) * image->pitch;
    // The middle row of an odd height pairs with itself, so only its left half moves.
    const int count = top == bottom ? width / 2 : width;
    for (int x = 0; x < count; ++x) SwapPixels(top + x * bytes, bottom + (width - 1 - x) * bytes, bytes);
  }
  return 0;
}

uint32_t GetBaseImagePixelArgb(const BaseImage* image, int x, int y) {
  // Compressed blocks hold no pixel at x, y; the image must be decoded first.
  if (!image->pixels || image->color.dxtKind != 0) return 0;
  const ColorData& color = image->color;
  const int bytes = color.bytesPerPixel;
  const uint8_t* p = image->pixels + static_cast<int64_t>(y) * image->pitch + static_cast<int64_t>(x) * bytes;
  const uint32_t value = bytes == 1 ? PaletteWord(color.palette[p[0]]) : ReadPixelValue(p, bytes);
  uint32_t argb = AlignChannel(value, color.blueMask, color.blueShift, color.blueWidth, 8) |
                  AlignChannel(value, color.greenMask, color.greenShift, color.greenWidth, 16) |
                  AlignChannel(value, color.redMask, color.redShift, color.redWidth, 24);
  if (color.alphaWidth != 0) argb |= AlignChannel(value, color.alphaMask, color.alphaShift, color.alphaWidth, 32);
  return argb;
}

int GetBaseImagePixel(BaseImage* image, unsigned x, unsigned y, uint32_t* red, uint32_t* green, uint32_t* blue,
                      uint32_t* alpha) {
  if (DecodeDxtBaseImage(image) != 0) return -1;
  if (x >= static_cast<unsigned>(image->width) || y >= static_cast<unsigned>(image->height) || !image->pixels)
    return -1;
  const int bytes = image->color.bytesPerPixel;
  const uint8_t* p = image->pixels + static_cast<int64_t>(y) * image->pitch + static_cast<int64_t>(x) * bytes;
  if (bytes == 1) {
    const ColorPaletteEntry& entry = image->color.palette[p[0]];
    if (red) *red = entry.red;
    if (green) *green = entry.green;
    if (blue) *blue = entry.blue;
    if (alpha) *alpha = entry.alpha;
    return 0;
  }
  return SplitColorCode(&image->color, ReadPixelValue(p, bytes), red, green, blue, alpha);
}

int SetBaseImagePixel(BaseImage* image, unsigned x, unsigned y, int red, int green, int blue, int alpha) {
  if (DecodeDxtBaseImage(image) != 0) return -1;
  if (x >= static_cast<unsigned>(image->width) || y >= static_cast<unsigned>(image->height) || !image->pixels)
    return -1;
  const int bytes = image->color.bytesPerPixel;
  uint8_t* p = image->pixels + static_cast<int64_t>(y) * image->pitch + static_cast<int64_t>(x) * bytes;
  WritePixelValue(p, bytes, MakeBaseImageColorCode(&image->color, red, green, blue, alpha));
  return 0;
}
