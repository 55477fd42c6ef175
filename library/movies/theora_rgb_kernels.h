// The row loops the vector conversions are made of, one table per instruction set, and the
// constants they share with the plain loops.
//
// The 4:2:0 tables give clamp((19070 (Y - 16) + c) / 16384) per colour, where c is 33062 (U - 128)
// for blue, 26148 (V - 128) for red and -6406 (U - 128) - 13320 (V - 128) for green. Every factor
// is even, so the vector loops use the halves, which fit 16-bit lanes, and shift by 13: sums and
// products of halves are exact in 32 bits, and where the division rounds towards zero and the
// shift towards minus infinity the sum is negative, so both clamp to 0.
#pragma once

#include <cstdint>

constexpr int kHalfLumaFactor = 9535;
constexpr int kHalfUToBlue = 16531;
constexpr int kHalfVToRed = 13074;
constexpr int kHalfUToGreen = -3203;
constexpr int kHalfVToGreen = -6660;
constexpr int kHalfShift = 13;

// The floating-point layouts' factors, in the order the plain loop applies them.
constexpr double kFloatLumaFactor = 1.164;
constexpr double kFloatUToBlue = 2.018;
constexpr double kFloatUToGreen = 0.391;  // Subtracted.
constexpr double kFloatVToGreen = 0.813;  // Subtracted.
constexpr double kFloatVToRed = 1.596;

// Each loop converts the first pixels of one row, a whole number of its steps, and returns how
// many it did; the plain loop does the rest of the row.
struct TheoraRgbRowKernels {
  // 4:2:0: pixel x takes chroma sample x / 2.
  int (*halfChroma)(const uint8_t* luma, const uint8_t* u, const uint8_t* v, uint8_t* out, int width);
  // Floating point: pixel x takes chroma sample x >> chromaShift (0 or 1).
  int (*floatingPoint)(const uint8_t* luma, const uint8_t* u, const uint8_t* v, uint8_t* out, int width,
                       int chromaShift);
};
