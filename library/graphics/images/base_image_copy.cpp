// Base-image copy, stretch, half-size and DIB conversion, all built on TransferImagePixels.
#include <cstring>

#include "memimg/memimg_services.h"
#include "platform/gdi.h"
#include "zyvel/graphics.h"

int CopyBaseImageRect(int srcX, int srcY, int width, int height, int dstX, int dstY, BaseImage* src, BaseImage* dst) {
  if (DecodeDxtBaseImage(src) != 0 || DecodeDxtBaseImage(dst) != 0) return -1;
  if (srcX < 0) width += srcX, dstX -= srcX, srcX = 0;
  if (srcY < 0) height += srcY, dstY -= srcY, srcY = 0;
  if (dstX < 0) width += dstX, srcX -= dstX, dstX = 0;
  if (dstY < 0) height += dstY, srcY -= dstY, dstY = 0;
  if (dstX + width > dst->width) width = dst->width - dstX;
  if (dstY + height > dst->height) height = dst->height - dstY;
  if (srcX + width > src->width) width = src->width - srcX;
  if (srcY + height > src->height) height = src->height - srcY;
  if (width <= 0 || height <= 0) return 0;
  const ImageTransferRect rect = {srcX, srcY, srcX + width, srcY + height};
  TransferImagePixels(dst->pixels, dst->pitch, &dst->color, src->pixels, src->pitch, &src->color, dstX, dstY, &rect,
                      {.paletteRemap = 1});
  return 0;
}

namespace {

bool IsStretchRectValid(const BaseImage* image, int x1, int y1, int x2, int y2) {
  return x1 >= 0 && y1 >= 0 && x1 < x2 && y1 < y2 && x1 < image->width && y1 < image->height && x2 <= image->width &&
         y2 <= image->height;
}

}  // namespace

int StretchBaseImageRect(int srcX1, int srcY1, int srcX2, int srcY2, BaseImage* src, int dstX1, int dstY1, int dstX2,
                         int dstY2, BaseImage* dst, int bilinear) {
  if (!IsStretchRectValid(src, srcX1, srcY1, srcX2, srcY2) || !IsStretchRectValid(dst, dstX1, dstY1, dstX2, dstY2))
    return -1;
  const int srcWidth = srcX2 - srcX1, srcHeight = srcY2 - srcY1;
  const int dstWidth = dstX2 - dstX1, dstHeight = dstY2 - dstY1;
  if (srcWidth == dstWidth && srcHeight == dstHeight)
    return CopyBaseImageRect(srcX1, srcY1, srcWidth, srcHeight, dstX1, dstY1, src, dst);
  if (DecodeDxtBaseImage(src) != 0 || DecodeDxtBaseImage(dst) != 0) return -1;
  const int64_t stepX = static_cast<int64_t>(srcWidth) * 65536 / dstWidth;
  const int64_t stepY = static_cast<int64_t>(srcHeight) * 65536 / dstHeight;
  int64_t positionY = static_cast<int64_t>(srcY1) * 65536;
  for (int y = dstY1; y < dstY2; ++y, positionY += stepY) {
    int64_t positionX = static_cast<int64_t>(srcX1) * 65536;
    for (int x = dstX1; x < dstX2; ++x, positionX += stepX) {
      const auto sx = static_cast<unsigned>(positionX >> 16);
      const auto sy = static_cast<unsigned>(positionY >> 16);
      uint32_t red = 0, green = 0, blue = 0, alpha = 0;
      if (!bilinear) {
        GetBaseImagePixel(src, sx, sy, &red, &green, &blue, &alpha);
      } else {
        const uint64_t fx = static_cast<uint64_t>(positionX & 0xFFFF);
        const uint64_t fy = static_cast<uint64_t>(positionY & 0xFFFF);
        const uint64_t weights[4] = {((65535 - fx) * (65535 - fy)) >> 16, (fx * (65535 - fy)) >> 16,
                                     ((65535 - fx) * fy) >> 16, (fx * fy) >> 16};
        // Neighbours past the right and bottom edges repeat the edge pixel.
        const unsigned lastX = static_cast<unsigned>(src->width - 1), lastY = static_cast<unsigned>(src->height - 1);
        const unsigned xs[4] = {sx, sx + 1 > lastX ? lastX : sx + 1, sx, sx + 1 > lastX ? lastX : sx + 1};
        const unsigned ys[4] = {sy, sy, sy + 1 > lastY ? lastY : sy + 1, sy + 1 > lastY ? lastY : sy + 1};
        uint64_t sums[4] = {0, 0, 0, 0};
        for (int i = 0; i < 4; ++i) {
          uint32_t channel[4] = {0, 0, 0, 0};
          GetBaseImagePixel(src, xs[i], ys[i], &channel[0], &channel[1], &channel[2], &channel[3]);
          for (int c = 0; c < 4; ++c) sums[c] += channel[c] * weights[i];
        }
        red = static_cast<uint32_t>(sums[0] >> 16);
        green = static_cast<uint32_t>(sums[1] >> 16);
        blue = static_cast<uint32_t>(sums[2] >> 16);
        alpha = static_cast<uint32_t>(sums[3] >> 16);
      }
      SetBaseImagePixel(dst, static_cast<unsigned>(x), static_cast<unsigned>(y), static_cast<int>(red),
                        static_cast<int>(green), static_cast<int>(blue), static_cast<int>(alpha));
    }
  }
  return 0;
}

int ShrinkImageByHalf(const ColorData* color, uint8_t* dstPixels, int dstPitch, const uint8_t* srcPixels, int srcPitch,
                      int dstX, int, int srcX, int row, int srcWidth, int srcHeight) {
  if ((srcWidth != 1 && srcWidth % 2 != 0) || (srcHeight != 1 && srcHeight % 2 != 0)) return -1;
  const int bytes = color->bytesPerPixel;
  if (color->bitDepth != 16 && color->bitDepth != 32) return 0;
  dstPixels += static_cast<int64_t>(row) * dstPitch;
  srcPixels += static_cast<int64_t>(row) * srcPitch;
  auto read = [&](int x, int y) -> uint32_t {
    const uint8_t* p = srcPixels + static_cast<int64_t>(y) * srcPitch + static_cast<int64_t>(srcX + x) * bytes;
    uint32_t value = 0;
    std::memcpy(&value, p, static_cast<size_t>(bytes));
    return value;
  };
  const uint32_t masks[4] = {color->redMask, color->greenMask, color->blueMask, color->alphaMask};
  const int shifts[4] = {color->redShift, color->greenShift, color->blueShift, color->alphaShift};
  const int outWidth = srcWidth == 1 ? 1 : srcWidth / 2;
  const int outHeight = srcHeight == 1 ? 1 : srcHeight / 2;
  for (int y = 0; y < outHeight; ++y) {
    for (int x = 0; x < outWidth; ++x) {
      uint32_t value;
      if (srcWidth == 1 && srcHeight == 1) {
        value = read(0, 0);
      } else {
        const int sx = srcWidth == 1 ? 0 : 2 * x;
        const int sy = srcHeight == 1 ? 0 : 2 * y;
        const bool both = srcWidth != 1 && srcHeight != 1;
        uint32_t samples[4] = {read(sx, sy), 0, 0, 0};
        int count = 2;
        if (both) {
          samples[1] = read(sx + 1, sy);
          samples[2] = read(sx, sy + 1);
          samples[3] = read(sx + 1, sy + 1);
          count = 4;
        } else {
          samples[1] = srcWidth == 1 ? read(sx, sy + 1) : read(sx + 1, sy);
        }
        value = 0;
        for (int c = 0; c < 4; ++c) {
          if (masks[c] == 0) continue;
          uint32_t sum = 0;
          for (int i = 0; i < count; ++i) sum += (samples[i] & masks[c]) >> shifts[c];
          value |= ((count == 4 ? sum >> 2 : sum >> 1) << shifts[c]) & masks[c];
        }
      }
      uint8_t* p = dstPixels + static_cast<int64_t>(y) * dstPitch + static_cast<int64_t>(dstX + x) * bytes;
      std::memcpy(p, &value, static_cast<size_t>(bytes));
    }
  }
  return 0;
}

int ConvertBaseImageToDib(BaseImage* image, BITMAPINFO* out, void** bitsOut, int forceCopy, int force24Bit) {
  if (DecodeDxtBaseImage(image) != 0) return -1;
  const int width = image->width;
  const int height = image->height;
  std::memset(&out->bmiHeader, 0, sizeof(out->bmiHeader));
  out->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  out->bmiHeader.biWidth = width;
  out->bmiHeader.biHeight = -height;
  out->bmiHeader.biPlanes = 1;
  out->bmiHeader.biCompression = BI_RGB;
  if (image->color.bytesPerPixel == 1 && !force24Bit) {
    out->bmiHeader.biBitCount = 8;
    // The colour table follows the header; the caller's block holds all 256 entries.
    std::memcpy(reinterpret_cast<uint8_t*>(out) + sizeof(BITMAPINFOHEADER), image->color.palette,
                sizeof(image->color.palette));
    const int pitch = (width + 3) / 4 * 4;
    if (image->pitch == pitch && !forceCopy) {
      *bitsOut = image->pixels;
      return 0;
    }
    auto* bits = static_cast<uint8_t*>(ZV_ALLOC(pitch * height));
    if (!bits) return -1;
    for (int y = 0; y < height; ++y)
      std::memcpy(bits + y * pitch, image->pixels + static_cast<int64_t>(y) * image->pitch, width);
    *bitsOut = bits;
    return 1;
  }
  out->bmiHeader.biBitCount = 24;
  const int pitch = (width * 3 + 3) / 4 * 4;
  const ColorData& c = image->color;
  const bool plain24 = c.bitDepth == 24 && c.redMask == 0xFF0000 && c.greenMask == 0xFF00 && c.blueMask == 0xFF;
  if (!plain24 || forceCopy) {
    auto* bits = static_cast<uint8_t*>(ZV_ALLOC(pitch * height));
    if (!bits) return -1;
    ColorData rgb24{};
    SetupRGB24ColorData(&rgb24);
    const ImageTransferRect whole = {0, 0, width, height};
    TransferImagePixels(bits, pitch, &rgb24, image->pixels, image->pitch, &image->color, 0, 0, &whole, {});
    *bitsOut = bits;
    return 1;
  }
  if (image->pitch != pitch) {
    auto* bits = static_cast<uint8_t*>(ZV_ALLOC(pitch * height));
    if (!bits) return -1;
    for (int y = 0; y < height; ++y)
      std::memcpy(bits + y * pitch, image->pixels + static_cast<int64_t>(y) * image->pitch,
                  static_cast<size_t>(width) * 3);
    *bitsOut = bits;
    return 1;
  }
  *bitsOut = image->pixels;
  return 0;
}
