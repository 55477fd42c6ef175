// Fuzz target: zva-pack's LZ packer against the library's decoder: every input, packed, must
// unpack byte for byte, and the dry walk must measure it whole. Seeds: fuzz/corpus/lz_round_trip/,
// the lz_decoder seeds.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../tools/zva-pack/lz_packer.cpp"
#include "files/archive_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 16)) return 0;
  const std::vector<unsigned char> packed = PackArchiveLz(data, size);
  const int packedLength = static_cast<int>(packed.size());
  std::vector<unsigned char> out(size + 1);
  if (UnpackArchiveLz(packed.data(), packedLength, out.data(), static_cast<int>(size)) != static_cast<int>(size) ||
      std::memcmp(out.data(), data, size) != 0 ||
      MeasureArchiveLz(packed.data(), packedLength) != static_cast<int>(size))
    std::abort();
  return 0;
}
