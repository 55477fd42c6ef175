// Fuzz target: the PNG loader on arbitrary bytes read through a memory stream, and the
// pixels of anything it accepts read back in full.
#include "image_loader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzImageLoader(LoadPngImage, data, size);
}
