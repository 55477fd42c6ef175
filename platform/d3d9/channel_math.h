// Rounded division of channel products by 255, shared by the plain path and the fast spans.
#pragma once

namespace platform::d3d9 {

// x / 255 rounded to the nearest integer (no input lies half-way), for any x >= 0.
inline int Div255(int value) { return (value + 127) / 255; }

// The same result without a division, for 0 <= x <= 65535 (a test checks every input against
// Div255): every product of two channels, and every sum of two blend products, is in range.
inline int Div255Product(int value) {
  value += 128;
  return (value + (value >> 8)) >> 8;
}

}  // namespace platform::d3d9
