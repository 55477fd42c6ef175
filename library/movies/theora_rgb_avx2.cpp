// The YUV-to-RGB row loops for AVX2, the SSE2 loops' steps twice as wide. This file alone is
// compiled for AVX2; the dispatcher calls into it only on processors that report the feature.
#if defined(__x86_64__)
#include <immintrin.h>

#include "movies/theora_rgb_kernels.h"

namespace {

__m128i LoadEight(const uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }

__m256i FactorPair(int low, int high) { return _mm256_set1_epi32(FactorPairLane(low, high)); }

// Sixteen pixels a step. The unpacks and packs work within each 128-bit half, so the halves hold
// pixels 0-7 and 8-15 until the last interleave, which the final permutes put back in order.
int HalfChromaRowAvx2(const uint8_t* luma, const uint8_t* u, const uint8_t* v, uint8_t* out, int width) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i lumaBias = _mm256_set1_epi16(16), chromaBias = _mm256_set1_epi16(128);
  const __m256i blue = FactorPair(kHalfLumaFactor, kHalfUToBlue);
  const __m256i red = FactorPair(kHalfLumaFactor, kHalfVToRed);
  const __m256i green = FactorPair(kHalfLumaFactor, kHalfUToGreen);
  const __m256i vGreen = FactorPair(kHalfVToGreen, 0);
  const __m256i alpha = _mm256_set1_epi16(255);
  int column = 0;
  for (; column + 16 <= width; column += 16) {
    const __m256i y = _mm256_sub_epi16(
        _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(luma + column))), lumaBias);
    const __m128i cbBytes = LoadEight(u + column / 2), crBytes = LoadEight(v + column / 2);
    const __m256i cb = _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_unpacklo_epi8(cbBytes, cbBytes)), chromaBias);
    const __m256i cr = _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_unpacklo_epi8(crBytes, crBytes)), chromaBias);
    const __m256i yuLow = _mm256_unpacklo_epi16(y, cb), yuHigh = _mm256_unpackhi_epi16(y, cb);
    const __m256i yvLow = _mm256_unpacklo_epi16(y, cr), yvHigh = _mm256_unpackhi_epi16(y, cr);
    const __m256i b = _mm256_packs_epi32(_mm256_srai_epi32(_mm256_madd_epi16(yuLow, blue), kHalfShift),
                                         _mm256_srai_epi32(_mm256_madd_epi16(yuHigh, blue), kHalfShift));
    const __m256i r = _mm256_packs_epi32(_mm256_srai_epi32(_mm256_madd_epi16(yvLow, red), kHalfShift),
                                         _mm256_srai_epi32(_mm256_madd_epi16(yvHigh, red), kHalfShift));
    const __m256i gLow = _mm256_add_epi32(_mm256_madd_epi16(yuLow, green),
                                          _mm256_madd_epi16(_mm256_unpacklo_epi16(cr, zero), vGreen));
    const __m256i gHigh = _mm256_add_epi32(_mm256_madd_epi16(yuHigh, green),
                                           _mm256_madd_epi16(_mm256_unpackhi_epi16(cr, zero), vGreen));
    const __m256i g = _mm256_packs_epi32(_mm256_srai_epi32(gLow, kHalfShift), _mm256_srai_epi32(gHigh, kHalfShift));
    const __m256i blueRed = _mm256_packus_epi16(b, r), greenAlpha = _mm256_packus_epi16(g, alpha);
    const __m256i blueGreen = _mm256_unpacklo_epi8(blueRed, greenAlpha);
    const __m256i redAlpha = _mm256_unpackhi_epi8(blueRed, greenAlpha);
    const __m256i first = _mm256_unpacklo_epi16(blueGreen, redAlpha);   // Pixels 0-3 and 8-11.
    const __m256i second = _mm256_unpackhi_epi16(blueGreen, redAlpha);  // Pixels 4-7 and 12-15.
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * column), _mm256_permute2x128_si256(first, second, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * column + 32),
                        _mm256_permute2x128_si256(first, second, 0x31));
  }
  return column;
}

// ClampToInt's steps on four doubles a vector.
struct Avx2Doubles {
  using Doubles = __m256d;
  static __m256d Max(__m256d a, __m256d b) { return _mm256_max_pd(a, b); }
  static __m256d Min(__m256d a, __m256d b) { return _mm256_min_pd(a, b); }
  static __m256d Set(double value) { return _mm256_set1_pd(value); }
  static __m128i Truncate(__m256d a) { return _mm256_cvttpd_epi32(a); }
  static __m256i Join(__m128i low, __m128i high) { return _mm256_set_m128i(high, low); }
};

// Eight pixels a step in double precision, the plain loop's operations in its order.
int FloatingPointRowAvx2(const uint8_t* luma, const uint8_t* u, const uint8_t* v, uint8_t* out, int width,
                         int chromaShift) {
  const __m256i lumaBias = _mm256_set1_epi32(16), chromaBias = _mm256_set1_epi32(128);
  const __m256i alpha = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  int column = 0;
  for (; column + 8 <= width; column += 8) {
    __m128i cbBytes, crBytes;
    if (chromaShift) {
      cbBytes = LoadFour(u + column / 2), crBytes = LoadFour(v + column / 2);
      cbBytes = _mm_unpacklo_epi8(cbBytes, cbBytes), crBytes = _mm_unpacklo_epi8(crBytes, crBytes);
    } else {
      cbBytes = LoadEight(u + column), crBytes = LoadEight(v + column);
    }
    const __m256i yInts = _mm256_sub_epi32(_mm256_cvtepu8_epi32(LoadEight(luma + column)), lumaBias);
    const __m256i cb = _mm256_sub_epi32(_mm256_cvtepu8_epi32(cbBytes), chromaBias);
    const __m256i cr = _mm256_sub_epi32(_mm256_cvtepu8_epi32(crBytes), chromaBias);
    __m256d channels[3][2];
    for (int half = 0; half < 2; ++half) {
      const auto pick = [half](__m256i ints) {
        return _mm256_cvtepi32_pd(half ? _mm256_extracti128_si256(ints, 1) : _mm256_castsi256_si128(ints));
      };
      const __m256d y = _mm256_mul_pd(pick(yInts), _mm256_set1_pd(kFloatLumaFactor));
      const __m256d b = pick(cb), r = pick(cr);
      channels[0][half] = _mm256_add_pd(y, _mm256_mul_pd(_mm256_set1_pd(kFloatUToBlue), b));
      channels[1][half] = _mm256_sub_pd(_mm256_sub_pd(y, _mm256_mul_pd(_mm256_set1_pd(kFloatUToGreen), b)),
                                        _mm256_mul_pd(_mm256_set1_pd(kFloatVToGreen), r));
      channels[2][half] = _mm256_add_pd(y, _mm256_mul_pd(_mm256_set1_pd(kFloatVToRed), r));
    }
    const __m256i pixels = _mm256_or_si256(
        _mm256_or_si256(ClampToInt<Avx2Doubles>(channels[0][0], channels[0][1]),
                        _mm256_slli_epi32(ClampToInt<Avx2Doubles>(channels[1][0], channels[1][1]), 8)),
        _mm256_or_si256(_mm256_slli_epi32(ClampToInt<Avx2Doubles>(channels[2][0], channels[2][1]), 16), alpha));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * column), pixels);
  }
  return column;
}

}  // namespace

void GetAvx2TheoraRgbKernels(TheoraRgbRowKernels* kernels) {
  kernels->halfChroma = HalfChromaRowAvx2;
  kernels->floatingPoint = FloatingPointRowAvx2;
}
#endif
