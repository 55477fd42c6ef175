// Byte ring: a growable circular byte buffer that keeps its contents in order when it grows. The
// network handles queue their bytes in rings and the soft-sound players their samples.
//
// Callers write in place: after `ReserveByteRing` they copy into `data` from `writePos` (wrapping
// at `capacity`) and advance `writePos` and `stored`. A ring has no lock of its own.
#pragma once

#include <cstdint>

// `stored` bytes run from `readPos` forward, wrapping at `capacity`; a position equal to
// `capacity` means 0. An all-zero record is an empty ring.
struct ByteRing {
  uint8_t* data;  // Tracked heap; null while the ring has never grown.
  int readPos;
  int writePos;
  int stored;
  int capacity;
};

// Folds a read or write position that stands at `capacity` to 0.
ByteRing* NormalizeByteRing(ByteRing* ring);
// Makes room for `need` more bytes. -1 when memory runs out (the ring is then empty: its contents
// are lost) or when `need` is negative or too large to grow by (the ring is left as it was).
int ReserveByteRing(ByteRing* ring, int need);
// Copies `length` bytes out; with `peek` non-zero they stay in the ring. -1 (nothing copied) when
// fewer are stored.
int ReadByteRing(ByteRing* ring, void* destination, int length, int peek);
int FreeByteRing(ByteRing* ring);
