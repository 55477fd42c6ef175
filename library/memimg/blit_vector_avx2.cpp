// The vector blit loops for AVX2, eight pixels a step. This file alone is compiled for AVX2; the
// dispatcher calls into it only on processors that report the feature.
#if defined(__x86_64__)
#include <immintrin.h>

#include "memimg/blit_vector_kernels.h"

namespace {

struct Avx2 {
  using Vec = __m256i;
  static constexpr int kPixels = 8;
  static constexpr int kAllLanes = -1;
  static Vec Zero() { return _mm256_setzero_si256(); }
  static Vec Load(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
  static void Store(void* p, Vec v) { _mm256_storeu_si256(static_cast<__m256i*>(p), v); }
  static Vec UnpackLow8(Vec a, Vec b) { return _mm256_unpacklo_epi8(a, b); }
  static Vec UnpackHigh8(Vec a, Vec b) { return _mm256_unpackhi_epi8(a, b); }
  static Vec ShiftLeft16(Vec a, int n) { return _mm256_slli_epi16(a, n); }
  static Vec ShiftRight16(Vec a, int n) { return _mm256_srli_epi16(a, n); }
  static Vec Add16(Vec a, Vec b) { return _mm256_add_epi16(a, b); }
  static Vec Sub16(Vec a, Vec b) { return _mm256_sub_epi16(a, b); }
  static Vec MulLow16(Vec a, Vec b) { return _mm256_mullo_epi16(a, b); }
  static Vec MulHighUnsigned16(Vec a, Vec b) { return _mm256_mulhi_epu16(a, b); }
  static Vec Add32(Vec a, Vec b) { return _mm256_add_epi32(a, b); }
  static Vec AddSaturated8(Vec a, Vec b) { return _mm256_adds_epu8(a, b); }
  static Vec PackUnsigned16(Vec a, Vec b) { return _mm256_packus_epi16(a, b); }
  static Vec And(Vec a, Vec b) { return _mm256_and_si256(a, b); }
  static Vec Or(Vec a, Vec b) { return _mm256_or_si256(a, b); }
  static Vec Select(Vec mask, Vec a, Vec b) { return _mm256_blendv_epi8(b, a, mask); }
  static Vec Set32(uint32_t v) { return _mm256_set1_epi32(static_cast<int>(v)); }
  static Vec Set16(int16_t v) { return _mm256_set1_epi16(v); }
  static Vec Set64(uint64_t v) { return _mm256_set1_epi64x(static_cast<long long>(v)); }
  static Vec Equal32(Vec a, Vec b) { return _mm256_cmpeq_epi32(a, b); }
  static int Mask(Vec a) { return _mm256_movemask_epi8(a); }
  static Vec ColourLanes() { return _mm256_set_epi16(0, -1, -1, -1, 0, -1, -1, -1, 0, -1, -1, -1, 0, -1, -1, -1); }
  static Vec BroadcastAlpha(Vec a) { return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(a, 0xFF), 0xFF); }
};

}  // namespace

void GetAvx2VectorKernels(VectorKernelTable* table) { FillVectorKernelTable<Avx2>(table); }
#endif
