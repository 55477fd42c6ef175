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

int UnpackArchiveLz(const void* stream, int streamLength, void* out, int outCapacity) {
  const auto* in = static_cast<const unsigned char*>(stream);
  if (!in || streamLength < kArchiveLzHeadSize) return -1;
  const uint32_t unpackedSize = ReadArchiveU32(in);
  const uint32_t packedSize = ReadArchiveU32(in + 4);
  const unsigned char escape = in[8];
  if (unpackedSize > 0x7FFFFFFFu) return -1;
  if (!out) return static_cast<int>(unpackedSize);
  if (packedSize < static_cast<uint32_t>(kArchiveLzHeadSize) || packedSize > static_cast<uint32_t>(streamLength) ||
      unpackedSize > static_cast<uint32_t>(outCapacity < 0 ? 0 : outCapacity))
    return -1;

  const unsigned char* p = in + kArchiveLzHeadSize;
  const unsigned char* const end = in + packedSize;
  auto* const outStart = static_cast<unsigned char*>(out);
  unsigned char* o = outStart;
  unsigned char* const outEnd = outStart + unpackedSize;

  while (p < end) {
    // A run of literals up to the next escape byte is one copy.
    const unsigned char* next = static_cast<const unsigned char*>(std::memchr(p, escape, static_cast<size_t>(end - p)));
    const unsigned char* runEnd = next ? next : end;
    const size_t run = static_cast<size_t>(runEnd - p);
    if (run > static_cast<size_t>(outEnd - o)) return -1;
    std::memcpy(o, p, run);
    o += run;
    p = runEnd;
    if (!next) break;

    ++p;  // The escape byte.
    if (p >= end) return -1;
    unsigned int code = *p++;
    if (code == escape) {
      if (o >= outEnd) return -1;
      *o++ = escape;
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
    if (distance > static_cast<size_t>(o - outStart) || length > static_cast<size_t>(outEnd - o)) return -1;

    // Front to back, so a distance shorter than the length repeats the recent bytes; the source
    // window doubles after each block.
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
  }
  if (o != outEnd) return -1;
  return static_cast<int>(unpackedSize);
}
