// Fuzz target: a script of reserves (with hostile sizes), writes, reads and peeks on a byte ring,
// checked against a std::deque.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

#include "fuzz_script.h"
#include "runtime/byte_ring.h"
#include "zyvel/runtime.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzScript script{data, size};
  ByteRing ring{};
  std::deque<uint8_t> model;
  std::vector<uint8_t> buffer;
  uint8_t next = 0;
  while (!script.Done()) {
    const uint8_t operation = script.Byte();
    switch (operation % 4) {
      case 0: {  // A reservation: small sizes, then negative or overflowing ones from any word.
        const int32_t word = static_cast<int32_t>(script.Word());
        const int kind = word & 3;
        if (kind == 0) {
          const int need = (word >> 2) & 0xFFFFF;
          if (ReserveByteRing(&ring, need) != 0 || ring.capacity < ring.stored + need) abort();
          break;
        }
        const int need = kind == 1 ? (word | INT32_MIN) : INT32_MAX - ((word >> 2) & 0x1FF);
        const int capacity = ring.capacity;
        if (ReserveByteRing(&ring, need) != -1 || ring.capacity != capacity) abort();
        break;
      }
      case 1: {  // Write.
        const int length = script.Byte() * 7;
        if (ReserveByteRing(&ring, length) != 0) abort();
        for (int i = 0; i < length; ++i) {
          if (ring.writePos == ring.capacity) ring.writePos = 0;
          ring.data[ring.writePos++] = next;
          model.push_back(next++);
        }
        ring.stored += length;
        break;
      }
      default: {  // Read or peek.
        const int length = script.Byte() * 5;
        const int peek = operation & 4 ? 1 : 0;
        buffer.assign(static_cast<size_t>(length) + 1, 0);
        const int result = ReadByteRing(&ring, buffer.data(), length, peek);
        if (length > static_cast<int>(model.size())) {
          if (result != -1) abort();
          break;
        }
        if (result != 0) abort();
        for (int i = 0; i < length; ++i)
          if (buffer[static_cast<size_t>(i)] != model[static_cast<size_t>(i)]) abort();
        if (!peek) model.erase(model.begin(), model.begin() + length);
        break;
      }
    }
    if (ring.stored != static_cast<int>(model.size()) || ring.stored > ring.capacity) abort();
  }
  FreeByteRing(&ring);
  return 0;
}
