// The byte script the stateful fuzz targets read their operations from: past its end every read
// yields zero, so a target never reads outside the input.
#pragma once

#include <cstddef>
#include <cstdint>

struct FuzzScript {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  bool Done() const { return at >= size; }
  uint8_t Byte() { return at < size ? data[at++] : 0; }
  // Four bytes, little-endian.
  uint32_t Word() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(Byte()) << (8 * i);
    return value;
  }
};
