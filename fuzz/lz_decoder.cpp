// Fuzz target: the LZ decoder on arbitrary streams, with bounded input and output: the capacity is
// what the head claims (bounded) and one byte less, and the dry walk that tries a member's claim
// before it is allocated must agree with the decoder. The packer's round trip has its own target
// (lz_round_trip), so this one stays quick. The seeds in fuzz/corpus/lz_decoder/ are PackArchiveLz
// streams of two short texts.
#include <cstdlib>
#include <memory>

#include "files/archive_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 16)) return 0;
  const int length = static_cast<int>(size);
  const int claimed = UnpackArchiveLz(data, length, nullptr, 0);
  const int measured = MeasureArchiveLz(data, length);
  if (measured != -1 && measured != claimed) std::abort();
  if (claimed < 0 || claimed > (1 << 22)) return 0;
  // Not zeroed: the decoder must write every byte it reports.
  std::unique_ptr<unsigned char[]> out(new unsigned char[static_cast<size_t>(claimed) + 1]);
  for (int capacity : {claimed, claimed - 1}) {
    if (capacity < 0) continue;
    const int result = UnpackArchiveLz(data, length, out.get(), capacity);
    if (result != -1 && result != claimed) std::abort();
    if (result >= 0 && capacity < claimed) std::abort();
    if ((result == claimed) != (measured == claimed) && capacity == claimed) std::abort();
  }
  return 0;
}
