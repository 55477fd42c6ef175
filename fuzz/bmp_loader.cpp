// Fuzz target: the BMP loader on arbitrary bytes read through a memory stream, and the
// pixels of anything it accepts read back in full.
#include <cstddef>
#include <cstdint>

#include "zyvel/graphics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 24)) return 0;
  const StreamFunctionSet* functions = GetMemoryStreamFuncs();
  ImageLoadSource source = {functions->Tell, functions->Seek, functions->Read, functions->Eof,
                            functions->IdleWait, functions->Close, 0};
  source.stream = reinterpret_cast<StreamHandle>(OpenMemoryStream(data, static_cast<int>(size)));
  if (source.stream == 0) return 0;
  BaseImage image = {};
  if (LoadBmpImage(&source, &image) == 0) {
    uint32_t sum = 0;
    for (int y = 0; y < image.height; ++y)
      for (int x = 0; x < image.width; ++x) sum += GetBaseImagePixelArgb(&image, x, y);
    (void)sum;
    ReleaseBaseImage(&image);
  } else if (image.pixels) {
    ReleaseBaseImage(&image);
  }
  source.Close(source.stream);
  return 0;
}
