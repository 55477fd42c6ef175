// The archive's LZ decoder. A stream is a 9-byte head (unpacked size, packed size with the head,
// escape byte E) and a body of literal bytes and escape-led tokens:
//   E E                  a literal E
//   E c [x] d d? d?      a copy: c (minus 1 when above E) holds the length field's bits 0-4 in
//                        bits 3-7, "an extension byte x follows with bits 5-12" in bit 2 and
//                        the distance width (1, 2 or 3 bytes, little-endian) in bits 0-1;
//                        length = field + 4, distance = value + 1.
// Input and output are both bounded: a hostile stream fails, it never reads or writes outside.
#include <cstring>

#include "files/archive_format.h"

namespace {

// One pass over a stream whose head has been checked; with a null `out` nothing is written and
// only the output's length is followed, so a member's claim can be tried before its memory is
// allocated. The unpacked size, or -1 for a malformed stream.
int WalkArchiveLz(const unsigned char* in, uint32_t packedSize, unsigned char* out, uint32_t unpackedSize) {
  const unsigned char escape = in[8];
  const unsigned char* p = in + kArchiveLzHeadSize;
  const unsigned char* const end = in + packedSize;
  size_t produced = 0;

  while (p < end) {
    // A run of literals up to the next escape byte is one copy.
    const unsigned char* next = static_cast<const unsigned char*>(std::memchr(p, escape, static_cast<size_t>(end - p)));
    const unsigned char* runEnd = next ? next : end;
    const size_t run = static_cast<size_t>(runEnd - p);
    if (run > unpackedSize - produced) return -1;
    if (out) std::memcpy(out + produced, p, run);
    produced += run;
    p = runEnd;
    if (!next) break;

    ++p;  // The escape byte.
    if (p >= end) return -1;
    unsigned int code = *p++;
    if (code == escape) {
      if (produced >= unpackedSize) return -1;
      if (out) out[produced] = escape;
      ++produced;
      continue;
    }
    if (code > escape) --code;
    uint32_t lengthField = code >> 3;
    if (code & 4) {
      if (p >= end) return -1;
      lengthField |= static_cast<uint32_t>(*p++) << 5;
    }
    const int width = static_cast<int>(code & 3);
    if (width == 3 || end - p < width + 1) return -1;
    uint32_t distance = p[0];
    if (width >= 1) distance |= static_cast<uint32_t>(p[1]) << 8;
    if (width == 2) distance |= static_cast<uint32_t>(p[2]) << 16;
    p += width + 1;
    distance += 1;
    const size_t length = lengthField + 4;
    if (distance > produced || length > unpackedSize - produced) return -1;
    if (!out) {
      produced += length;
      continue;
    }

    // Front to back, so a distance shorter than the length repeats the recent bytes; the source
    // window doubles after each block.
    unsigned char* o = out + produced;
    const unsigned char* from = o - distance;
    size_t left = length;
    size_t block = distance;
    while (left > 0) {
      size_t step = block < left ? block : left;
      std::memcpy(o, from, step);
      o += step;
      left -= step;
      block += step;
    }
    produced += length;
  }
  if (produced != unpackedSize) return -1;
  return static_cast<int>(unpackedSize);
}

// The head's sizes, or false when they cannot describe a stream of `streamLength` bytes.
bool ReadArchiveLzHead(const unsigned char* in, int streamLength, uint32_t* unpackedSize, uint32_t* packedSize) {
  if (!in || streamLength < kArchiveLzHeadSize) return false;
  *unpackedSize = ReadArchiveU32(in);
  *packedSize = ReadArchiveU32(in + 4);
  return *unpackedSize <= 0x7FFFFFFFu && *packedSize >= static_cast<uint32_t>(kArchiveLzHeadSize) &&
         *packedSize <= static_cast<uint32_t>(streamLength);
}

}  // namespace

int UnpackArchiveLz(const void* stream, int streamLength, void* out, int outCapacity) {
  const auto* in = static_cast<const unsigned char*>(stream);
  if (!in || streamLength < kArchiveLzHeadSize) return -1;
  if (!out) return ReadArchiveU32(in) > 0x7FFFFFFFu ? -1 : static_cast<int>(ReadArchiveU32(in));
  uint32_t unpackedSize = 0, packedSize = 0;
  if (!ReadArchiveLzHead(in, streamLength, &unpackedSize, &packedSize) ||
      unpackedSize > static_cast<uint32_t>(outCapacity < 0 ? 0 : outCapacity))
    return -1;
  return WalkArchiveLz(in, packedSize, static_cast<unsigned char*>(out), unpackedSize);
}

int MeasureArchiveLz(const void* stream, int streamLength) {
  const auto* in = static_cast<const unsigned char*>(stream);
  uint32_t unpackedSize = 0, packedSize = 0;
  if (!ReadArchiveLzHead(in, streamLength, &unpackedSize, &packedSize)) return -1;
  return WalkArchiveLz(in, packedSize, nullptr, unpackedSize);
}
