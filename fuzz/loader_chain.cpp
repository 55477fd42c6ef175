// Fuzz target: the loader chain's own steps over hostile images: the colour image with its alpha
// companion from memory, the mirror option, and conversion to a DIB. The first byte steers
// (bit 0 mirror, bit 1 DIB, bit 2 alpha companion), the next two split the rest into the colour
// image and the alpha image. Seeds (fuzz/corpus/loader_chain): steering bytes ahead of pairs of
// the loaders' own seeds (BMP, TGA, PNG, BGRA).
#include <cstdlib>

#include "zyvel/graphics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3 || size > (1 << 20)) return 0;
  const int mirror = data[0] & 1;
  const bool wantDib = (data[0] & 2) != 0;
  const bool withAlpha = (data[0] & 4) != 0;
  const uint8_t* images = data + 3;
  const int total = static_cast<int>(size - 3);
  int split = data[1] | data[2] << 8;
  if (split > total) split = total;

  if (wantDib) {
    BaseImage image = {};
    BITMAPINFO* dib = nullptr;
    void* bits = nullptr;
    if (LoadBaseImage(nullptr, images, split, 1, 1, mirror, &image, &dib, &bits) == 0) {
      if (!dib || !bits) std::abort();
      ZV_FREE(bits);
      ZV_FREE(dib);
    }
  } else if (withAlpha) {
    BaseImage color = {}, alpha = {};
    const int loaded = LoadBaseImageWithAlpha(nullptr, images, split, 1, images + split, total - split, 1, &color,
                                              &alpha, mirror);
    if (loaded == 0) {
      GetBaseImagePixelArgb(&alpha, alpha.width - 1, alpha.height - 1);
      ReleaseBaseImage(&alpha);
    }
    if (loaded >= 0) {
      GetBaseImagePixelArgb(&color, color.width - 1, color.height - 1);
      ReleaseBaseImage(&color);
    }
  } else {
    BaseImage image = {};
    if (LoadBaseImagePlain(nullptr, images, split, 1, &image, mirror) == 0) {
      DecodeDxtBaseImage(&image);
      GetBaseImagePixelArgb(&image, 0, image.height - 1);
      ReleaseBaseImage(&image);
    }
  }
  return 0;
}
