// Byte ring. Growth adds half the stored size plus 1,000 bytes, so a steady writer reallocates a
// logarithmic number of times; reads copy at most two pieces.
#include "runtime/byte_ring.h"

#include <climits>
#include <cstring>

#include "zyvel/runtime.h"

ByteRing* NormalizeByteRing(ByteRing* ring) {
  if (ring->readPos == ring->capacity) ring->readPos = 0;
  if (ring->writePos == ring->capacity) ring->writePos = 0;
  return ring;
}

int ReserveByteRing(ByteRing* ring, int need) {
  NormalizeByteRing(ring);
  if (need < 0) {
    WriteLogFormat("リングバッファの再確保に失敗しました(確保しようとしたサイズ %d byte)", need);
    return -1;
  }
  if (static_cast<int64_t>(ring->capacity) >= static_cast<int64_t>(ring->stored) + need) return 0;

  // A peer-controlled `need` must not wrap the size: refuse it and keep what is stored.
  const int64_t newCapacity = static_cast<int64_t>(need) + static_cast<int64_t>(ring->stored) * 3 / 2 + 1000;
  if (newCapacity > INT_MAX) {
    WriteLogFormat("リングバッファの再確保に失敗しました(確保しようとしたサイズ %lld byte)",
                   static_cast<long long>(newCapacity));
    return -1;
  }
  auto* grown = static_cast<uint8_t*>(ZV_ALLOC(static_cast<int>(newCapacity)));
  if (!grown) {
    ZV_FREE(ring->data);
    *ring = ByteRing{};
    WriteLogFormat("リングバッファの再確保に失敗しました(確保しようとしたサイズ %d byte)",
                   static_cast<int>(newCapacity));
    return -1;
  }
  if (ring->stored > 0) {
    const int firstPiece = ring->capacity - ring->readPos;
    if (ring->stored > firstPiece) {
      std::memcpy(grown, ring->data + ring->readPos, static_cast<size_t>(firstPiece));
      std::memcpy(grown + firstPiece, ring->data, static_cast<size_t>(ring->stored - firstPiece));
    } else {
      std::memcpy(grown, ring->data + ring->readPos, static_cast<size_t>(ring->stored));
    }
  }
  ZV_FREE(ring->data);
  ring->data = grown;
  ring->capacity = static_cast<int>(newCapacity);
  ring->readPos = 0;
  ring->writePos = ring->stored;
  return 0;
}

int ReadByteRing(ByteRing* ring, void* destination, int length, int peek) {
  if (length < 0 || ring->stored < length) return -1;
  NormalizeByteRing(ring);
  auto* out = static_cast<uint8_t*>(destination);
  if (length == 0) return 0;
  if (ring->readPos + length > ring->capacity) {
    const int firstPiece = ring->capacity - ring->readPos;
    std::memcpy(out, ring->data + ring->readPos, static_cast<size_t>(firstPiece));
    std::memcpy(out + firstPiece, ring->data, static_cast<size_t>(length - firstPiece));
    if (!peek) ring->readPos = ring->readPos + length - ring->capacity;
  } else {
    std::memcpy(out, ring->data + ring->readPos, static_cast<size_t>(length));
    if (!peek) ring->readPos += length;
  }
  if (!peek) ring->stored -= length;
  return 0;
}

int FreeByteRing(ByteRing* ring) {
  ZV_FREE(ring->data);
  *ring = ByteRing{};
  return 0;
}
