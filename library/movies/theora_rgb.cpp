// The plain YUV-to-RGB loops with their tables, the SSE2 row loops (which every x86-64 processor
// has), and the choice between them and the AVX2 ones, made once from what the processor reports.
#include "movies/theora_rgb.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>

#include "movies/movie_services.h"
#include "movies/theora_rgb_kernels.h"

#if defined(__x86_64__)
#include <emmintrin.h>

void GetAvx2TheoraRgbKernels(TheoraRgbRowKernels* kernels);
#endif

namespace {

// YUV to RGB in 1/16384 units (BT.601, studio range); the clamp table is indexed -512..767.
constexpr int kColorShiftUnit = 16384;
constexpr int kClampBias = 512;
uint8_t g_clamp[1280];
int32_t g_yTerm[256];
int32_t g_vToRed[256];
int32_t g_uToGreen[256];
int32_t g_vToGreen[256];
int32_t g_uToBlue[256];

// Set by tests and benchmarks; atomic, so setting it never races with a conversion on another thread.
std::atomic<TheoraRgbLevel> g_forcedLevel{kTheoraRgbBest};

void PlainHalfChromaRow(const uint8_t* luma, const uint8_t* u, const uint8_t* v, uint8_t* out, int first, int width) {
  const uint8_t* clamp = g_clamp + kClampBias;
  out += 4 * static_cast<ptrdiff_t>(first);
  for (int column = first; column < width; ++column, out += 4) {
    const int y = g_yTerm[luma[column]];
    const int cb = u[column / 2], cr = v[column / 2];
    out[0] = clamp[(y + g_uToBlue[cb]) / kColorShiftUnit];
    out[1] = clamp[(y + g_uToGreen[cb] + g_vToGreen[cr]) / kColorShiftUnit];
    out[2] = clamp[(y + g_vToRed[cr]) / kColorShiftUnit];
    out[3] = 255;
  }
}

void PlainFloatingPointRow(const uint8_t* luma, const uint8_t* u, const uint8_t* v, uint8_t* out, int first, int width,
                           const TheoraYuvPlanes& picture) {
  const auto clampDouble = [](double value) { return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value); };
  out += 4 * static_cast<ptrdiff_t>(first);
  for (int column = first; column < width; ++column, out += 4) {
    const int chromaColumn = static_cast<int>(static_cast<int64_t>(column) * picture.uvWidth / picture.yWidth);
    const double y = (luma[column] - 16) * kFloatLumaFactor;
    const double cb = u[chromaColumn] - 128, cr = v[chromaColumn] - 128;
    out[0] = clampDouble(y + kFloatUToBlue * cb);
    out[1] = clampDouble(y - kFloatUToGreen * cb - kFloatVToGreen * cr);
    out[2] = clampDouble(y + kFloatVToRed * cr);
    out[3] = 255;
  }
}

#if defined(__x86_64__)

__m128i LoadTwo(const uint8_t* p) {
  uint16_t value;
  std::memcpy(&value, p, sizeof value);
  return _mm_cvtsi32_si128(value);
}

__m128i FactorPair(int low, int high) { return _mm_set1_epi32(FactorPairLane(low, high)); }

// Eight pixels a step: each colour is a multiply-add of (luma, chroma) pairs in 32-bit lanes.
int HalfChromaRowSse2(const uint8_t* luma, const uint8_t* u, const uint8_t* v, uint8_t* out, int width) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lumaBias = _mm_set1_epi16(16), chromaBias = _mm_set1_epi16(128);
  const __m128i blue = FactorPair(kHalfLumaFactor, kHalfUToBlue);
  const __m128i red = FactorPair(kHalfLumaFactor, kHalfVToRed);
  const __m128i green = FactorPair(kHalfLumaFactor, kHalfUToGreen);
  const __m128i vGreen = FactorPair(kHalfVToGreen, 0);
  const __m128i alpha = _mm_set1_epi16(255);
  int column = 0;
  for (; column + 8 <= width; column += 8) {
    const __m128i y = _mm_sub_epi16(
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(luma + column)), zero), lumaBias);
    __m128i cb = LoadFour(u + column / 2), cr = LoadFour(v + column / 2);
    cb = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_unpacklo_epi8(cb, cb), zero), chromaBias);
    cr = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_unpacklo_epi8(cr, cr), zero), chromaBias);
    const __m128i yuLow = _mm_unpacklo_epi16(y, cb), yuHigh = _mm_unpackhi_epi16(y, cb);
    const __m128i yvLow = _mm_unpacklo_epi16(y, cr), yvHigh = _mm_unpackhi_epi16(y, cr);
    const __m128i b = _mm_packs_epi32(_mm_srai_epi32(_mm_madd_epi16(yuLow, blue), kHalfShift),
                                      _mm_srai_epi32(_mm_madd_epi16(yuHigh, blue), kHalfShift));
    const __m128i r = _mm_packs_epi32(_mm_srai_epi32(_mm_madd_epi16(yvLow, red), kHalfShift),
                                      _mm_srai_epi32(_mm_madd_epi16(yvHigh, red), kHalfShift));
    const __m128i gLow = _mm_add_epi32(_mm_madd_epi16(yuLow, green),
                                       _mm_madd_epi16(_mm_unpacklo_epi16(cr, zero), vGreen));
    const __m128i gHigh = _mm_add_epi32(_mm_madd_epi16(yuHigh, green),
                                        _mm_madd_epi16(_mm_unpackhi_epi16(cr, zero), vGreen));
    const __m128i g = _mm_packs_epi32(_mm_srai_epi32(gLow, kHalfShift), _mm_srai_epi32(gHigh, kHalfShift));
    // b0..b7 r0..r7 and g0..g7 255 x 8, then interleaved to b g r 255 per pixel.
    const __m128i blueRed = _mm_packus_epi16(b, r), greenAlpha = _mm_packus_epi16(g, alpha);
    const __m128i blueGreen = _mm_unpacklo_epi8(blueRed, greenAlpha);
    const __m128i redAlpha = _mm_unpackhi_epi8(blueRed, greenAlpha);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * column), _mm_unpacklo_epi16(blueGreen, redAlpha));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * column + 16), _mm_unpackhi_epi16(blueGreen, redAlpha));
  }
  return column;
}

// ClampToInt's steps on two doubles a vector.
struct Sse2Doubles {
  using Doubles = __m128d;
  static __m128d Max(__m128d a, __m128d b) { return _mm_max_pd(a, b); }
  static __m128d Min(__m128d a, __m128d b) { return _mm_min_pd(a, b); }
  static __m128d Set(double value) { return _mm_set1_pd(value); }
  static __m128i Truncate(__m128d a) { return _mm_cvttpd_epi32(a); }
  static __m128i Join(__m128i low, __m128i high) { return _mm_unpacklo_epi64(low, high); }
};

// Four pixels a step in double precision, the plain loop's operations in its order.
int FloatingPointRowSse2(const uint8_t* luma, const uint8_t* u, const uint8_t* v, uint8_t* out, int width,
                         int chromaShift) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lumaBias = _mm_set1_epi32(16), chromaBias = _mm_set1_epi32(128);
  const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  int column = 0;
  for (; column + 4 <= width; column += 4) {
    __m128i cb, cr;
    if (chromaShift) {
      cb = LoadTwo(u + column / 2), cr = LoadTwo(v + column / 2);
      cb = _mm_unpacklo_epi8(cb, cb), cr = _mm_unpacklo_epi8(cr, cr);
    } else {
      cb = LoadFour(u + column), cr = LoadFour(v + column);
    }
    const auto widen = [&](__m128i bytes, __m128i bias) {
      return _mm_sub_epi32(_mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero), bias);
    };
    const __m128i yInts = widen(LoadFour(luma + column), lumaBias);
    cb = widen(cb, chromaBias), cr = widen(cr, chromaBias);
    const auto low = [](__m128i ints) { return _mm_cvtepi32_pd(ints); };
    const auto high = [](__m128i ints) { return _mm_cvtepi32_pd(_mm_srli_si128(ints, 8)); };
    __m128d channels[3][2];
    for (int half = 0; half < 2; ++half) {
      const auto pick = half ? high : low;
      const __m128d y = _mm_mul_pd(pick(yInts), _mm_set1_pd(kFloatLumaFactor));
      const __m128d b = pick(cb), r = pick(cr);
      channels[0][half] = _mm_add_pd(y, _mm_mul_pd(_mm_set1_pd(kFloatUToBlue), b));
      channels[1][half] = _mm_sub_pd(_mm_sub_pd(y, _mm_mul_pd(_mm_set1_pd(kFloatUToGreen), b)),
                                     _mm_mul_pd(_mm_set1_pd(kFloatVToGreen), r));
      channels[2][half] = _mm_add_pd(y, _mm_mul_pd(_mm_set1_pd(kFloatVToRed), r));
    }
    const __m128i pixels = _mm_or_si128(
        _mm_or_si128(ClampToInt<Sse2Doubles>(channels[0][0], channels[0][1]),
                     _mm_slli_epi32(ClampToInt<Sse2Doubles>(channels[1][0], channels[1][1]), 8)),
        _mm_or_si128(_mm_slli_epi32(ClampToInt<Sse2Doubles>(channels[2][0], channels[2][1]), 16), alpha));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * column), pixels);
  }
  return column;
}

const TheoraRgbRowKernels* Kernels(TheoraRgbLevel* level) {
  static const struct Tables {
    TheoraRgbRowKernels sse2{HalfChromaRowSse2, FloatingPointRowSse2};
    TheoraRgbRowKernels avx2{};
    bool hasAvx2 = false;
    Tables() {
      __builtin_cpu_init();
      hasAvx2 = __builtin_cpu_supports("avx2");
      if (hasAvx2) GetAvx2TheoraRgbKernels(&avx2);
    }
  } tables;
  TheoraRgbLevel chosen = g_forcedLevel.load(std::memory_order_relaxed);
  if (chosen == kTheoraRgbBest) chosen = tables.hasAvx2 ? kTheoraRgbAvx2 : kTheoraRgbSse2;
  if (chosen == kTheoraRgbAvx2 && !tables.hasAvx2) chosen = kTheoraRgbSse2;
  *level = chosen;
  if (chosen == kTheoraRgbPlain) return nullptr;
  return chosen == kTheoraRgbAvx2 ? &tables.avx2 : &tables.sse2;
}

#else

const TheoraRgbRowKernels* Kernels(TheoraRgbLevel* level) {
  *level = kTheoraRgbPlain;
  return nullptr;
}

#endif

}  // namespace

void InitTheoraColorTables() {
  for (int i = 0; i < 1280; ++i) g_clamp[i] = static_cast<uint8_t>(std::clamp(i - kClampBias, 0, 255));
  for (int i = 0; i < 256; ++i) {
    g_yTerm[i] = 2 * kHalfLumaFactor * (i - 16);
    g_vToRed[i] = 2 * kHalfVToRed * (i - 128);
    g_uToGreen[i] = 2 * kHalfUToGreen * (i - 128);
    g_vToGreen[i] = 2 * kHalfVToGreen * (i - 128);
    g_uToBlue[i] = 2 * kHalfUToBlue * (i - 128);
  }
}

void ConvertTheoraPlanesToRgb(const TheoraYuvPlanes& picture, uint8_t* pixels, int pitch, int width, int height) {
  width = std::min(width, picture.yWidth);
  height = std::min(height, picture.yHeight);
  const bool is420 = picture.yWidth == 2 * picture.uvWidth && picture.yHeight == 2 * picture.uvHeight;
  // The vector floating-point loops know chroma as wide as the luma or half as wide.
  const int chromaShift = picture.uvWidth == picture.yWidth ? 0 : 2 * picture.uvWidth == picture.yWidth ? 1 : -1;
  TheoraRgbLevel level;
  const TheoraRgbRowKernels* kernels = Kernels(&level);
  for (int row = 0; row < height; ++row) {
    const uint8_t* luma = picture.planes[0] + static_cast<ptrdiff_t>(row) * picture.yStride;
    const int chromaRow = static_cast<int>(static_cast<int64_t>(row) * picture.uvHeight / picture.yHeight);
    const uint8_t* u = picture.planes[1] + static_cast<ptrdiff_t>(chromaRow) * picture.uvStride;
    const uint8_t* v = picture.planes[2] + static_cast<ptrdiff_t>(chromaRow) * picture.uvStride;
    uint8_t* out = pixels + static_cast<ptrdiff_t>(row) * pitch;
    if (is420) {
      const int done = kernels ? kernels->halfChroma(luma, u, v, out, width) : 0;
      PlainHalfChromaRow(luma, u, v, out, done, width);
    } else {
      const int done = kernels && chromaShift >= 0 ? kernels->floatingPoint(luma, u, v, out, width, chromaShift) : 0;
      PlainFloatingPointRow(luma, u, v, out, done, width, picture);
    }
  }
}

void SetTheoraRgbLevel(TheoraRgbLevel level) { g_forcedLevel.store(level, std::memory_order_relaxed); }

TheoraRgbLevel GetTheoraRgbLevel() {
  TheoraRgbLevel level;
  Kernels(&level);
  return level;
}
