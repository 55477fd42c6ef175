// Pixel words as the base images store them: 1 to 4 bytes, little-endian, and palette entries as
// one blue-green-red-alpha word.
#pragma once

#include <cstdint>

#include "zyvel/memimg.h"

inline uint32_t ReadPixelValue(const uint8_t* p, int bytes) {
  switch (bytes) {
    case 1:
      return p[0];
    case 2:
      return static_cast<uint32_t>(p[0] | (p[1] << 8));
    case 3:
      return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
    default:
      return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
             (static_cast<uint32_t>(p[3]) << 24);
  }
}

inline uint32_t PaletteWord(const ColorPaletteEntry& entry) {
  return static_cast<uint32_t>(entry.blue) | (static_cast<uint32_t>(entry.green) << 8) |
         (static_cast<uint32_t>(entry.red) << 16) | (static_cast<uint32_t>(entry.alpha) << 24);
}
