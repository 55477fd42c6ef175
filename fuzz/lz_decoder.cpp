// Fuzz target: the LZ decoder on arbitrary streams (bounded input and output), and the packer of
// zva-pack against the decoder (every input must come back byte for byte). The seeds in
// fuzz/corpus/lz_decoder/ are PackArchiveLz streams of two short texts.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../tools/zva-pack/lz_packer.cpp"
#include "files/archive_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  // As a stream: the capacity is what its head claims (bounded), and one byte less.
  const int claimed = UnpackArchiveLz(data, static_cast<int>(size), nullptr, 0);
  if (claimed >= 0 && claimed <= (1 << 22)) {
    for (int capacity : {claimed, claimed - 1}) {
      if (capacity < 0) continue;
      std::vector<unsigned char> out(static_cast<size_t>(capacity) + 1);
      const int result = UnpackArchiveLz(data, static_cast<int>(size), out.data(), capacity);
      if (result != -1 && result != claimed) std::abort();
      if (result >= 0 && capacity < claimed) std::abort();
    }
  }
  // As plain data: packing then unpacking gives it back.
  const std::vector<unsigned char> packed = PackArchiveLz(data, size);
  std::vector<unsigned char> out(size + 1);
  if (UnpackArchiveLz(packed.data(), static_cast<int>(packed.size()), out.data(), static_cast<int>(size)) !=
          static_cast<int>(size) ||
      std::memcmp(out.data(), data, size) != 0)
    std::abort();
  return 0;
}
