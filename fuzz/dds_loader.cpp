// Fuzz target: the DDS loader on arbitrary bytes read through a memory stream; compressed
// pictures are decoded, and the pixels of anything it accepts read back in full.
// Seeds (fuzz/corpus/dds_loader), written by ImageMagick:
//   convert -size 5x3 gradient:white-green -define dds:compression=dxt1 dxt1_5x3_mips.dds
//   convert -size 13x7 gradient:red-blue -alpha set -channel A -fx 'i/13' +channel
//           -define dds:compression=dxt5 -define dds:mipmaps=0 dxt5_13x7.dds
//   convert -size 4x4 gradient:yellow-navy -alpha off -define dds:compression=none rgb24_4x4_mips.dds
#include "image_loader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzImageLoader(LoadDdsImage, data, size);
}
