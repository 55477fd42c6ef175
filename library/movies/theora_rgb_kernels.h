// The row loops the vector conversions are made of, one table per instruction set, the
// constants they share with the plain loops, and the helpers the SSE2 and AVX2 loops share.
//
// The 4:2:0 tables give clamp((19070 (Y - 16) + c) / 16384) per colour, where c is 33062 (U - 128)
// for blue, 26148 (V - 128) for red and -6406 (U - 128) - 13320 (V - 128) for green. Every factor
// is even, so the vector loops use the halves, which fit 16-bit lanes, and shift by 13: sums and
// products of halves are exact in 32 bits, and where the division rounds towards zero and the
// shift towards minus infinity the sum is negative, so both clamp to 0.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

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

#if defined(__x86_64__)

// Helpers of both instruction sets' loops. Everything here has internal linkage, so the copies
// built for SSE2 and for AVX2 never mix.
namespace {

inline __m128i LoadFour(const uint8_t* p) {
  int32_t value;
  std::memcpy(&value, p, sizeof value);
  return _mm_cvtsi32_si128(value);
}

// Two 16-bit factors in one 32-bit lane, for the multiply-adds over (luma, chroma) pairs.
inline int FactorPairLane(int low, int high) {
  return static_cast<int>((static_cast<uint32_t>(high) << 16) | (low & 0xFFFF));
}

// The plain loop's clamp: below 0 is 0, above 255 is 255, the rest truncated; two vectors of
// doubles become one of 32-bit ints. D gives one instruction set's steps: its Doubles type, Max,
// Min, Set, the truncating conversion Truncate and Join, which puts the low half's ints first.
template <typename D>
auto ClampToInt(typename D::Doubles low, typename D::Doubles high) {
  const typename D::Doubles zero = D::Set(0), top = D::Set(255);
  return D::Join(D::Truncate(D::Min(D::Max(low, zero), top)), D::Truncate(D::Min(D::Max(high, zero), top)));
}

}  // namespace

#endif
