// The LZ packer: greedy matching over hash chains of 4-byte prefixes, distances up to 2^24 and
// lengths 4 to 8,195. Tokens are written in the order the decoder reads them: escape byte E,
// code c (c + 1 when c is not below E, so that it never equals E), the optional length
// extension byte, then distance - 1 in 1, 2 or 3 little-endian bytes.
#include <array>
#include <cstring>

#include "archive_writer.h"

namespace {

constexpr size_t kMinMatch = 4;
constexpr size_t kMaxMatch = 8195;
constexpr size_t kMaxDistance = size_t{1} << 24;
constexpr int kChainDepth = 48;
constexpr int kHashBits = 16;

uint32_t HashAt(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return (v * 2654435761u) >> (32 - kHashBits);
}

int DistanceWidth(size_t distance) { return distance <= 0x100 ? 0 : distance <= 0x10000 ? 1 : 2; }

size_t TokenSize(size_t length, size_t distance) {
  return 2 + (length - 4 > 31 ? 1 : 0) + static_cast<size_t>(DistanceWidth(distance)) + 1;
}

void PutU32(std::vector<unsigned char>& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace

std::vector<unsigned char> PackArchiveLz(const unsigned char* data, size_t size) {
  std::array<size_t, 256> counts{};
  for (size_t i = 0; i < size; ++i) ++counts[data[i]];
  unsigned char escape = 0;
  for (int b = 1; b < 256; ++b)
    if (counts[b] < counts[escape]) escape = static_cast<unsigned char>(b);

  std::vector<unsigned char> out(9, 0);
  out[8] = escape;
  std::vector<int64_t> head(size_t{1} << kHashBits, -1);
  std::vector<int64_t> previous(size, -1);
  auto insert = [&](size_t at) {
    if (at + kMinMatch > size) return;
    uint32_t h = HashAt(data + at);
    previous[at] = head[h];
    head[h] = static_cast<int64_t>(at);
  };

  size_t i = 0;
  while (i < size) {
    size_t bestLength = 0, bestDistance = 0;
    if (i + kMinMatch <= size) {
      const size_t limit = size - i < kMaxMatch ? size - i : kMaxMatch;
      int64_t candidate = head[HashAt(data + i)];
      for (int depth = 0; candidate >= 0 && depth < kChainDepth; ++depth) {
        const size_t distance = i - static_cast<size_t>(candidate);
        if (distance > kMaxDistance) break;
        size_t length = 0;
        while (length < limit && data[candidate + length] == data[i + length]) ++length;
        if (length > bestLength) {
          bestLength = length;
          bestDistance = distance;
          if (length == limit) break;
        }
        candidate = previous[static_cast<size_t>(candidate)];
      }
    }
    if (bestLength >= kMinMatch && bestLength > TokenSize(bestLength, bestDistance)) {
      const size_t field = bestLength - 4;
      const int width = DistanceWidth(bestDistance);
      unsigned int code = static_cast<unsigned int>((field & 31) << 3) | (field > 31 ? 4u : 0u) |
                          static_cast<unsigned int>(width);
      out.push_back(escape);
      out.push_back(static_cast<unsigned char>(code < escape ? code : code + 1));
      if (field > 31) out.push_back(static_cast<unsigned char>(field >> 5));
      const size_t value = bestDistance - 1;
      for (int b = 0; b <= width; ++b) out.push_back(static_cast<unsigned char>(value >> (8 * b)));
      for (size_t k = 0; k < bestLength; ++k) insert(i + k);
      i += bestLength;
      continue;
    }
    out.push_back(data[i]);
    if (data[i] == escape) out.push_back(escape);
    insert(i);
    ++i;
  }
  PutU32(out, 0, static_cast<uint32_t>(size));
  PutU32(out, 4, static_cast<uint32_t>(out.size()));
  return out;
}
