// Fuzz target: DXT1 to DXT5 blocks decoded into ARGB8 pixels. The first byte picks the kind,
// the next two the size (1 to 64 pixels a side); the rest are the blocks, zero where the input
// runs short. Every decoded pixel is read back.
#include <cstdlib>
#include <cstring>

#include "zyvel/graphics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3 || size > (1 << 16)) return 0;
  BaseImage image = {};
  image.color.dxtKind = 1 + data[0] % 5;
  image.color.bitDepth = image.color.dxtKind == 1 ? 4 : 8;
  image.width = 1 + data[1] % 64;
  image.height = 1 + data[2] % 64;
  const int blockBytes = image.color.dxtKind == 1 ? 8 : 16;
  const int bytes = ((image.width + 3) / 4) * ((image.height + 3) / 4) * blockBytes;
  image.pixels = static_cast<uint8_t*>(ZV_ALLOC_ZEROED(bytes));
  if (!image.pixels) std::abort();
  std::memcpy(image.pixels, data + 3, size - 3 < static_cast<size_t>(bytes) ? size - 3 : static_cast<size_t>(bytes));
  if (DecodeDxtBaseImage(&image) != 0) std::abort();
  if (image.pitch != image.width * 4 || image.color.dxtKind != 0) std::abort();
  uint32_t sum = 0;
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) sum += GetBaseImagePixelArgb(&image, x, y);
  (void)sum;
  ReleaseBaseImage(&image);
  return 0;
}
