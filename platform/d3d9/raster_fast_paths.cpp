// Fast span paths of the rasteriser, as a table: each entry names the state it serves and a span
// function that gives exactly the plain path's bytes there (a differential test holds them to
// it). They cover the 2D picture and glyph draws: one point-sampled, clamped texture (32-bit, or
// a narrower format widened a run at a time), its colour and its alpha each taken as they are or
// modulated by the diffuse colour, onto a 32-bit target, opaque, alpha-blended or alpha-tested.
// Texture coordinates step in fixed point along each span, and spans that read one texel per
// pixel go to run loops that copy or blend several pixels at once.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "d3d9/raster_setup.h"

namespace platform::d3d9 {

namespace {

enum class StageKind { TextureOnly, TextureTimesDiffuse };
enum class BlendKind { Opaque, SourceAlpha, Other };

// What the first stage makes of colour and of alpha: the texture alone or the texture times the
// diffuse colour, in either order of the arguments; anything else is not served.
struct StageParts {
  bool served = false;
  bool modulateColor = false, modulateAlpha = false;
};

StageParts ClassifyStage(const StageSetup& stage) {
  // 0: texture alone, 1: texture times diffuse, -1: neither.
  auto part = [](DWORD op, DWORD first, DWORD second) {
    if (op == D3DTOP_MODULATE &&
        ((first == D3DTA_TEXTURE && second == D3DTA_DIFFUSE) || (first == D3DTA_DIFFUSE && second == D3DTA_TEXTURE)))
      return 1;
    if ((op == D3DTOP_SELECTARG1 && first == D3DTA_TEXTURE) || (op == D3DTOP_SELECTARG2 && second == D3DTA_TEXTURE))
      return 0;
    return -1;
  };
  const int color = part(stage.colorOp, stage.colorArg1, stage.colorArg2);
  const int alpha = part(stage.alphaOp, stage.alphaArg1, stage.alphaArg2);
  StageParts parts;
  parts.served = color >= 0 && alpha >= 0;
  parts.modulateColor = color == 1;
  parts.modulateAlpha = alpha == 1;
  return parts;
}

BlendKind ClassifyBlend(const PipelineState& state) {
  if (!state.blend) return BlendKind::Opaque;
  if (state.separateAlphaBlend) return BlendKind::Other;
  if (state.sourceBlend == D3DBLEND_SRCALPHA && state.destinationBlend == D3DBLEND_INVSRCALPHA &&
      state.blendOp == D3DBLENDOP_ADD)
    return BlendKind::SourceAlpha;
  return BlendKind::Other;
}

bool Is32BitRgb(D3DFORMAT format) { return format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8; }

inline uint32_t Load32(const uint8_t* p) {
  uint32_t value;
  std::memcpy(&value, p, 4);
  return value;
}

// A texel coordinate stepped across one span in 32.32 fixed point. The plain path floors
// float(plane) * size at every pixel; the stepped value stays within `guard` of that (bounds on
// the float and double rounding of the plain formula and on the stepping, with margin), so
// wherever its fraction is at least `guard` away from a texel edge both floor to the same texel.
// Pixels nearer an edge take the plain formula.
struct SpanCoordinate {
  int64_t value = 0, step = 0;
  uint32_t guard = 0;
  bool Settled() const {
    uint32_t fraction = static_cast<uint32_t>(value);
    return fraction >= guard && fraction <= ~guard;
  }
  int Texel(int size) const { return static_cast<int>(std::clamp<int64_t>(value >> 32, 0, size - 1)); }
};

inline double PlainTexelCoordinate(const AttributePlane& plane, const TriangleSetup& setup, int px, int py, int size) {
  float coordinate = static_cast<float>(plane.At(px, py, setup.x0, setup.y0));
  return static_cast<double>(coordinate) * size;
}

// False where no stepping can be proved for the span (huge or non-finite values): the span then
// runs the plain formula at every pixel.
bool SetUpSpanCoordinate(const AttributePlane& plane, const TriangleSetup& setup, int py, int xl, int xr, int size,
                         SpanCoordinate* out) {
  constexpr double kOne = 4294967296.0;  // 2^32
  double first = PlainTexelCoordinate(plane, setup, xl, py, size);
  double last = PlainTexelCoordinate(plane, setup, xr, py, size);
  if (!(std::fabs(first) < 1e8) || !(std::fabs(last) < 1e8)) return false;
  // The plain value differs from the exact plane by the float rounding of the coordinate
  // (2^-24 relative) and a few double roundings of the plane's terms (2^-53 each).
  double reach = std::max(std::fabs(xl - setup.x0), std::fabs(xr - setup.x0));
  double terms = std::fabs(plane.base) + std::fabs(plane.dx) * reach + std::fabs(plane.dy * (py - setup.y0));
  if (!(terms < 1e12)) return false;
  double plainError = (std::max(std::fabs(first), std::fabs(last)) + 1.0) * 0x1p-22 + terms * size * 0x1p-46;
  // The stepped line runs through the two plain end values (so within one plainError of the
  // plane), plus the fixed-point rounding of its start and of each step.
  double guard = 2 * plainError + (xr - xl + 2) * 0x1p-31 + 0x1p-24;
  if (guard > 0.25) return false;
  double slope = xr > xl ? (last - first) / (xr - xl) : 0.0;
  // Truncation is off by less than one unit of 2^-32, which the guard allows for.
  out->value = static_cast<int64_t>(first * kOne);
  out->step = static_cast<int64_t>(slope * kOne);
  out->guard = static_cast<uint32_t>(std::ceil(guard * kOne));
  return true;
}

// Whether one coordinate advances exactly one texel per pixel along x (u) or y (v), and not
// along the other axis, everywhere in the box: then the plain formula floors to the corner's
// texel plus the pixel distance. The bound is SetUpSpanCoordinate's over the whole box, plus how
// far the plane's steps drift from whole texels across it.
bool ProveUnitTexels(const AttributePlane& plane, const TriangleSetup& setup, int left, int top, int right, int bottom,
                     int size, bool alongX, int* offset) {
  const double start = PlainTexelCoordinate(plane, setup, left, top, size);
  if (!(std::fabs(start) < 1e8)) return false;
  const double width = right - left, height = bottom - top;
  const double drift = std::fabs(plane.dx * size - (alongX ? 1.0 : 0.0)) * width +
                       std::fabs(plane.dy * size - (alongX ? 0.0 : 1.0)) * height;
  if (!(drift < 0.25)) return false;
  const double reachX = std::max(std::fabs(left - setup.x0), std::fabs(right - setup.x0));
  const double reachY = std::max(std::fabs(top - setup.y0), std::fabs(bottom - setup.y0));
  const double terms = std::fabs(plane.base) + std::fabs(plane.dx) * reachX + std::fabs(plane.dy) * reachY;
  if (!(terms < 1e12)) return false;
  const double largest = std::fabs(start) + width + height + 1.0;
  const double plainError = (largest + 1.0) * 0x1p-22 + terms * size * 0x1p-46;
  const double guard = 2 * plainError + drift + 0x1p-24;
  const double whole = std::floor(start);
  const double fraction = start - whole;
  if (!(guard < 0.25) || fraction < guard || fraction > 1.0 - guard) return false;
  *offset = static_cast<int>(whole) - (alongX ? left : top);
  return true;
}

inline bool AlphaPasses(DWORD function, int alpha, int reference) {
  switch (function) {
    case D3DCMP_NEVER:
      return false;
    case D3DCMP_LESS:
      return alpha < reference;
    case D3DCMP_EQUAL:
      return alpha == reference;
    case D3DCMP_LESSEQUAL:
      return alpha <= reference;
    case D3DCMP_GREATER:
      return alpha > reference;
    case D3DCMP_NOTEQUAL:
      return alpha != reference;
    case D3DCMP_GREATEREQUAL:
      return alpha >= reference;
    default:
      return true;
  }
}

// The factors of a stage that modulates the channels in `modulated` (B, G, R, A), when they are the
// same at every pixel: flat shading, or Gouraud planes that do not vary. 255 for the channels that
// take the texture alone.
bool ConstantFactors(const TriangleSetup& setup, const bool modulated[4], int out[4]) {
  for (int channel = 0; channel < 4; ++channel) {
    out[channel] = 255;
    if (!modulated[channel]) continue;
    if (!setup.gouraud) {
      out[channel] = setup.flatDiffuse[channel];
      continue;
    }
    const AttributePlane& plane = setup.diffuse[channel];
    if (plane.dx != 0 || plane.dy != 0 || !std::isfinite(plane.base)) return false;
    out[channel] = RoundChannel(plane.base);
  }
  return true;
}

// The four channels of a pixel in the 16-bit lanes of a 64-bit word, and back.
inline uint64_t SpreadChannels(uint32_t pixel) {
  uint64_t x = pixel;
  x = (x | (x << 16)) & 0x0000FFFF0000FFFFull;
  return (x | (x << 8)) & 0x00FF00FF00FF00FFull;
}
inline uint32_t GatherChannels(uint64_t x) {
  x = (x | (x >> 8)) & 0x0000FFFF0000FFFFull;
  return static_cast<uint32_t>(x | (x >> 16));
}

// Div255Product(source * alpha + destination * (255 - alpha)) on all four channels at once: each
// lane's sum stays below 65536 at every step, so no lane carries into the next.
inline uint32_t BlendSourceAlpha(uint32_t source, uint32_t destination) {
  uint64_t alpha = source >> 24;
  uint64_t sum = SpreadChannels(source) * alpha + SpreadChannels(destination) * (255 - alpha);
  sum += 0x0080008000800080ull;
  sum = (sum + ((sum >> 8) & 0x00FF00FF00FF00FFull)) >> 8;
  return GatherChannels(sum & 0x00FF00FF00FF00FFull);
}

#if defined(__x86_64__)
// The ORed copy eight pixels a step, for processors with AVX2 (chosen at run time).
__attribute__((target("avx2"))) int CopyRunAvx2(const uint8_t* source, uint8_t* destination, int count, uint32_t fill) {
  const __m256i fills = _mm256_set1_epi32(static_cast<int>(fill));
  int i = 0;
  for (; i + 16 <= count; i += 16) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + 4 * i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + 4 * i + 32));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + 4 * i), _mm256_or_si256(a, fills));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + 4 * i + 32), _mm256_or_si256(b, fills));
  }
  return i;
}
const bool kHasAvx2 = __builtin_cpu_supports("avx2");
#endif

// A run of texels copied, each ORed with the alpha fill.
void CopyRun(const uint8_t* source, uint8_t* destination, int count, uint32_t fill) {
  if (fill == 0) {
    std::memcpy(destination, source, static_cast<size_t>(count) * 4);
    return;
  }
  int i = 0;
#if defined(__x86_64__)
  if (kHasAvx2) i = CopyRunAvx2(source, destination, count, fill);
#endif
#if defined(__SSE2__)
  const __m128i fills = _mm_set1_epi32(static_cast<int>(fill));
  // Four loads before four stores keep more reads in flight.
  for (; i + 16 <= count; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4 * i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4 * i + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4 * i + 32));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4 * i + 48));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + 4 * i), _mm_or_si128(a, fills));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + 4 * i + 16), _mm_or_si128(b, fills));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + 4 * i + 32), _mm_or_si128(c, fills));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + 4 * i + 48), _mm_or_si128(d, fills));
  }
  for (; i + 4 <= count; i += 4)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + 4 * i),
                     _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4 * i)), fills));
#endif
  for (; i < count; ++i) {
    uint32_t texel = Load32(source + 4 * i) | fill;
    std::memcpy(destination + 4 * i, &texel, 4);
  }
}

// BlendSourceAlpha over a run of pixels, each source or destination word ORed with its alpha
// fill first; four pixels at a time with SSE2, in the same 16-bit lane arithmetic.
void BlendRun(const uint8_t* source, uint8_t* destination, int count, uint32_t sourceFill, uint32_t destinationFill) {
  int i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128(), half = _mm_set1_epi16(128), full = _mm_set1_epi16(255);
  const __m128i sourceFills = _mm_set1_epi32(static_cast<int>(sourceFill));
  const __m128i destinationFills = _mm_set1_epi32(static_cast<int>(destinationFill));
  auto blendTwo = [&](__m128i from, __m128i onto) {
    __m128i alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(from, 0xFF), 0xFF);
    __m128i sum = _mm_add_epi16(_mm_mullo_epi16(from, alpha), _mm_mullo_epi16(onto, _mm_sub_epi16(full, alpha)));
    sum = _mm_add_epi16(sum, half);
    return _mm_srli_epi16(_mm_add_epi16(sum, _mm_srli_epi16(sum, 8)), 8);
  };
  const __m128i alphas = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  for (; i + 4 <= count; i += 4) {
    __m128i from = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4 * i)), sourceFills);
    // Four clear texels leave the destination as it is, four opaque ones replace it (glyph cells
    // are mostly one or the other). The alphas' top bits are tested first, so that mixed groups
    // pay one test.
    const int topBits = _mm_movemask_ps(_mm_castsi128_ps(from));
    const __m128i alpha = _mm_and_si128(from, alphas);
    if (topBits == 0xF && _mm_movemask_epi8(_mm_cmpeq_epi32(alpha, alphas)) == 0xFFFF) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + 4 * i), _mm_or_si128(from, destinationFills));
      continue;
    }
    __m128i onto = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(destination + 4 * i)),
                                destinationFills);
    if (topBits == 0 && _mm_movemask_epi8(_mm_cmpeq_epi32(alpha, zero)) == 0xFFFF) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + 4 * i), onto);
      continue;
    }
    __m128i low = blendTwo(_mm_unpacklo_epi8(from, zero), _mm_unpacklo_epi8(onto, zero));
    __m128i high = blendTwo(_mm_unpackhi_epi8(from, zero), _mm_unpackhi_epi8(onto, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + 4 * i),
                     _mm_or_si128(_mm_packus_epi16(low, high), destinationFills));
  }
#endif
  for (; i < count; ++i) {
    uint32_t out = BlendSourceAlpha(Load32(source + 4 * i) | sourceFill,
                                    Load32(destination + 4 * i) | destinationFill) |
                   destinationFill;
    std::memcpy(destination + 4 * i, &out, 4);
  }
}

// Which texels pass the alpha test, as a lane mask (SSE2: alpha in 0..255 compares as signed).
#if defined(__SSE2__)
inline __m128i AlphaTestMask(__m128i texels, DWORD function, __m128i reference) {
  const __m128i alpha = _mm_srli_epi32(texels, 24);
  const __m128i all = _mm_set1_epi32(-1);
  switch (function) {
    case D3DCMP_NEVER:
      return _mm_setzero_si128();
    case D3DCMP_LESS:
      return _mm_cmpgt_epi32(reference, alpha);
    case D3DCMP_EQUAL:
      return _mm_cmpeq_epi32(alpha, reference);
    case D3DCMP_LESSEQUAL:
      return _mm_xor_si128(_mm_cmpgt_epi32(alpha, reference), all);
    case D3DCMP_GREATER:
      return _mm_cmpgt_epi32(alpha, reference);
    case D3DCMP_NOTEQUAL:
      return _mm_xor_si128(_mm_cmpeq_epi32(alpha, reference), all);
    case D3DCMP_GREATEREQUAL:
      return _mm_xor_si128(_mm_cmpgt_epi32(reference, alpha), all);
    default:
      return all;
  }
}
#endif

// A run of texels (each ORed with the texture's alpha fill) written where they pass the alpha test,
// each written word ORed with the target's alpha fill; the blended form blends the passing ones.
template <BlendKind blendKind>
void AlphaTestedRun(const uint8_t* source, uint8_t* destination, int count, uint32_t sourceFill,
                    uint32_t destinationFill, DWORD function, int reference) {
  int i = 0;
#if defined(__SSE2__)
  const __m128i references = _mm_set1_epi32(reference);
  const __m128i sourceFills = _mm_set1_epi32(static_cast<int>(sourceFill));
  const __m128i destinationFills = _mm_set1_epi32(static_cast<int>(destinationFill));
  for (; i + 4 <= count; i += 4) {
    const __m128i texels = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4 * i)), sourceFills);
    const __m128i pass = AlphaTestMask(texels, function, references);
    const int passing = _mm_movemask_epi8(pass);
    if (passing == 0) continue;
    __m128i* target = reinterpret_cast<__m128i*>(destination + 4 * i);
    if (blendKind == BlendKind::Opaque) {
      // Opaque texels are stored where they pass, without reading what they cover (glyph edges
      // would otherwise wait on every target line they touch).
      const __m128i drawn = _mm_or_si128(texels, destinationFills);
      if (passing == 0xFFFF) {
        _mm_storeu_si128(target, drawn);
      } else {
        uint32_t words[4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(words), drawn);
        for (int k = 0; k < 4; ++k)
          if (passing & (1 << (4 * k))) std::memcpy(destination + 4 * (i + k), &words[k], 4);
      }
      continue;
    }
    const __m128i old = _mm_loadu_si128(target);
    __m128i drawn = _mm_or_si128(texels, destinationFills);
    if (blendKind == BlendKind::SourceAlpha) {
      uint32_t words[4];
      _mm_storeu_si128(reinterpret_cast<__m128i*>(words), texels);
      uint32_t onto[4];
      _mm_storeu_si128(reinterpret_cast<__m128i*>(onto), old);
      for (int k = 0; k < 4; ++k) words[k] = BlendSourceAlpha(words[k], onto[k] | destinationFill) | destinationFill;
      drawn = _mm_loadu_si128(reinterpret_cast<const __m128i*>(words));
    }
    _mm_storeu_si128(target, _mm_or_si128(_mm_and_si128(pass, drawn), _mm_andnot_si128(pass, old)));
  }
#endif
  for (; i < count; ++i) {
    const uint32_t texel = Load32(source + 4 * i) | sourceFill;
    if (!AlphaPasses(function, static_cast<int>(texel >> 24), reference)) continue;
    uint32_t out = texel;
    if (blendKind == BlendKind::SourceAlpha)
      out = BlendSourceAlpha(texel, Load32(destination + 4 * i) | destinationFill);
    out |= destinationFill;
    std::memcpy(destination + 4 * i, &out, 4);
  }
}

// A run of texels times one diffuse colour (Div255Product per channel), then written or
// blended by its alpha like BlendRun; four pixels at a time with SSE2 in the same lane arithmetic.
template <BlendKind blendKind>
void ModulatedRun(const uint8_t* source, uint8_t* destination, int count, uint32_t sourceFill, uint32_t destinationFill,
                  const int diffuse[4]) {
  int i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128(), half = _mm_set1_epi16(128), full = _mm_set1_epi16(255);
  const __m128i sourceFills = _mm_set1_epi32(static_cast<int>(sourceFill));
  const __m128i destinationFills = _mm_set1_epi32(static_cast<int>(destinationFill));
  const __m128i colour = _mm_set_epi16(static_cast<int16_t>(diffuse[3]), static_cast<int16_t>(diffuse[2]),
                                       static_cast<int16_t>(diffuse[1]), static_cast<int16_t>(diffuse[0]),
                                       static_cast<int16_t>(diffuse[3]), static_cast<int16_t>(diffuse[2]),
                                       static_cast<int16_t>(diffuse[1]), static_cast<int16_t>(diffuse[0]));
  auto divide = [&](__m128i sum) {
    sum = _mm_add_epi16(sum, half);
    return _mm_srli_epi16(_mm_add_epi16(sum, _mm_srli_epi16(sum, 8)), 8);
  };
  auto shadeTwo = [&](__m128i texels, __m128i onto) {
    __m128i from = divide(_mm_mullo_epi16(texels, colour));
    if (blendKind != BlendKind::SourceAlpha) return from;
    __m128i alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(from, 0xFF), 0xFF);
    return divide(_mm_add_epi16(_mm_mullo_epi16(from, alpha), _mm_mullo_epi16(onto, _mm_sub_epi16(full, alpha))));
  };
  const __m128i alphas = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  // With an opaque diffuse alpha, four opaque texels stay opaque and cover the destination.
  const bool opaqueDiffuse = diffuse[3] == 255;
  for (; i + 4 <= count; i += 4) {
    __m128i texels = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4 * i)), sourceFills);
    if (blendKind == BlendKind::SourceAlpha && opaqueDiffuse && _mm_movemask_ps(_mm_castsi128_ps(texels)) == 0xF &&
        _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(texels, alphas), alphas)) == 0xFFFF) {
      const __m128i low = divide(_mm_mullo_epi16(_mm_unpacklo_epi8(texels, zero), colour));
      const __m128i high = divide(_mm_mullo_epi16(_mm_unpackhi_epi8(texels, zero), colour));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + 4 * i),
                       _mm_or_si128(_mm_packus_epi16(low, high), destinationFills));
      continue;
    }
    // Opaque runs do not read what they cover (the destination may be a scratch buffer).
    __m128i onto = blendKind == BlendKind::SourceAlpha
                       ? _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(destination + 4 * i)),
                                      destinationFills)
                       : zero;
    // Four clear texels stay clear times any colour, and blend to the destination unchanged.
    if (blendKind == BlendKind::SourceAlpha &&
        _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(texels, alphas), zero)) == 0xFFFF) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + 4 * i), _mm_or_si128(onto, destinationFills));
      continue;
    }
    __m128i low = shadeTwo(_mm_unpacklo_epi8(texels, zero), _mm_unpacklo_epi8(onto, zero));
    __m128i high = shadeTwo(_mm_unpackhi_epi8(texels, zero), _mm_unpackhi_epi8(onto, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + 4 * i),
                     _mm_or_si128(_mm_packus_epi16(low, high), destinationFills));
  }
#endif
  for (; i < count; ++i) {
    uint32_t texel = Load32(source + 4 * i) | sourceFill, out = 0;
    for (int channel = 0; channel < 4; ++channel)
      out |= static_cast<uint32_t>(Div255Product(static_cast<int>((texel >> (8 * channel)) & 0xFF) * diffuse[channel]))
             << (8 * channel);
    if (blendKind == BlendKind::SourceAlpha) out = BlendSourceAlpha(out, Load32(destination + 4 * i) | destinationFill);
    out |= destinationFill;
    std::memcpy(destination + 4 * i, &out, 4);
  }
}

// ---- Texels narrower than 32 bits ----

// The widened texel of a 16-bit word is the OR of what its two bytes widen to alone, since every
// channel widens by ORing shifted copies of its bits: so one table per byte serves any format.
struct WideningTable {
  D3DFORMAT format;
  uint32_t bytes[512];  // The low byte's 256 values, then the high byte's (zero for 8-bit formats).
};

const D3DFORMAT kWidenedFormats[] = {D3DFMT_R5G6B5,   D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4,
                                     D3DFMT_X4R4G4B4, D3DFMT_A8R3G3B2, D3DFMT_A8,       D3DFMT_R3G3B2};
constexpr int kWidenedFormatCount = sizeof(kWidenedFormats) / sizeof(kWidenedFormats[0]);

const WideningTable* BuildWideningTables() {
  static WideningTable tables[kWidenedFormatCount];
  for (int k = 0; k < kWidenedFormatCount; ++k) {
    WideningTable& table = tables[k];
    table.format = kWidenedFormats[k];
    const bool wide = FindPixelFormat(table.format)->bytesPerPixel == 2;
    for (int value = 0; value < 256; ++value) {
      const uint8_t low[2] = {static_cast<uint8_t>(value), 0}, high[2] = {0, static_cast<uint8_t>(value)};
      table.bytes[value] = ReadPixelArgb(table.format, low);
      table.bytes[256 + value] = wide ? ReadPixelArgb(table.format, high) : 0;
    }
  }
  return tables;
}

inline uint32_t WidenTexel(const uint32_t* widen, int bytesPerTexel, const uint8_t* texel) {
  return bytesPerTexel == 2 ? widen[texel[0]] | widen[256 + texel[1]] : widen[texel[0]];
}

#if defined(__SSE2__)
// Eight A1R5G5B5 texels widened to 32 bits: the first four and the last four.
inline void WidenA1R5G5B5(__m128i v, __m128i* first, __m128i* second) {
  const __m128i five = _mm_set1_epi16(0x1F), low = _mm_set1_epi16(0xFF);
  auto widen5 = [](__m128i x) { return _mm_or_si128(_mm_slli_epi16(x, 3), _mm_srli_epi16(x, 2)); };
  const __m128i blue = widen5(_mm_and_si128(v, five));
  const __m128i green = widen5(_mm_and_si128(_mm_srli_epi16(v, 5), five));
  const __m128i red = widen5(_mm_and_si128(_mm_srli_epi16(v, 10), five));
  const __m128i alpha = _mm_and_si128(_mm_srai_epi16(v, 15), low);
  const __m128i blueRed = _mm_or_si128(blue, _mm_slli_epi16(red, 8));
  const __m128i greenAlpha = _mm_or_si128(green, _mm_slli_epi16(alpha, 8));
  *first = _mm_unpacklo_epi8(blueRed, greenAlpha);
  *second = _mm_unpackhi_epi8(blueRed, greenAlpha);
}

// A run of A1R5G5B5 texels through an alpha test that passes alpha 255 and fails alpha 0: the
// texels with the alpha bit set are widened and written (ORed with the target's alpha fill) in
// one pass, the others leave their pixels unread. A last partial group is read as the eight
// texels ending the run (writing a texel twice writes the same word), or, in a run shorter than
// eight, as eight texels read on into the texture (up to `sourceEnd`) with the extra lanes masked.
void OneBitAlphaTestedRun(const uint8_t* source, const uint8_t* sourceEnd, uint8_t* destination, int count,
                          uint32_t destinationFill) {
  const __m128i fills = _mm_set1_epi32(static_cast<int>(destinationFill));
  auto eight = [&](__m128i v, uint8_t* out, int lanes) {
    const int passing = _mm_movemask_epi8(_mm_srai_epi16(v, 15)) & lanes;
    if (passing == 0) return;
    __m128i first, second;
    WidenA1R5G5B5(v, &first, &second);
    first = _mm_or_si128(first, fills);
    second = _mm_or_si128(second, fills);
    if (passing == 0xFFFF) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), first);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), second);
      return;
    }
    uint32_t words[8];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(words), first);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(words + 4), second);
    for (int k = 0; k < 8; ++k)
      if (passing & (1 << (2 * k))) std::memcpy(out + 4 * k, &words[k], 4);
  };
  auto load = [](const uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
  if (count >= 8) {
    int i = 0;
    for (; i + 8 <= count; i += 8) eight(load(source + 2 * i), destination + 4 * i, 0xFFFF);
    if (i < count) eight(load(source + 2 * (count - 8)), destination + 4 * (count - 8), 0xFFFF);
    return;
  }
  if (count <= 0) return;
  const int lanes = (1 << (2 * count)) - 1;
  if (sourceEnd - source >= 16) {
    eight(load(source), destination, lanes);
    return;
  }
  // Near the end of the texture: the words gathered in registers.
  uint64_t words[2] = {0, 0};
  for (int k = 0; k < count; ++k)
    words[k / 4] |= static_cast<uint64_t>(source[2 * k] | source[2 * k + 1] << 8) << (16 * (k % 4));
  eight(_mm_set_epi64x(static_cast<int64_t>(words[1]), static_cast<int64_t>(words[0])), destination, lanes);
}
#endif

// Widens `count` texels into `out`; the two formats fonts are drawn from eight at a time.
void WidenRun(D3DFORMAT format, const uint32_t* widen, int bytesPerTexel, const uint8_t* source, int count,
              uint32_t* out) {
  int i = 0;
#if defined(__SSE2__)
  if (format == D3DFMT_A4R4G4B4) {
    const __m128i nibbles = _mm_set1_epi16(0x0F0F);
    for (; i + 8 <= count; i += 8) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 2 * i));
      __m128i blueRed = _mm_and_si128(v, nibbles), greenAlpha = _mm_and_si128(_mm_srli_epi16(v, 4), nibbles);
      blueRed = _mm_or_si128(blueRed, _mm_slli_epi16(blueRed, 4));  // x * 17 in every byte.
      greenAlpha = _mm_or_si128(greenAlpha, _mm_slli_epi16(greenAlpha, 4));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(blueRed, greenAlpha));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 4), _mm_unpackhi_epi8(blueRed, greenAlpha));
    }
  } else if (format == D3DFMT_A1R5G5B5) {
    for (; i + 8 <= count; i += 8) {
      __m128i first, second;
      WidenA1R5G5B5(_mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 2 * i)), &first, &second);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), first);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 4), second);
    }
  }
#else
  (void)format;
#endif
  for (; i < count; ++i) out[i] = WidenTexel(widen, bytesPerTexel, source + static_cast<size_t>(i) * bytesPerTexel);
}

// Texel formats below 32 bits that the fast spans widen through the byte tables; null for the
// others.
const uint32_t* WideningTables(D3DFORMAT format) {
  static const WideningTable* const tables = BuildWideningTables();
  for (int k = 0; k < kWidenedFormatCount; ++k)
    if (tables[k].format == format) return tables[k].bytes;
  return nullptr;
}

// ---- Spans ----

inline uint32_t TexelAt(const FastSpanPlan& plan, int x, int y) {
  const uint8_t* texel = plan.texels + static_cast<size_t>(y) * plan.pitch +
                         static_cast<size_t>(x) * plan.bytesPerTexel;
  if (plan.bytesPerTexel == 4) return Load32(texel) | plan.textureFill;
  return WidenTexel(plan.widen, plan.bytesPerTexel, texel);
}

// The per-channel factors at one pixel: the rounded diffuse colour where the stage modulates, 255
// (no change) where it takes the texture alone.
inline void DiffuseAt(const FastSpanPlan& plan, const TriangleSetup& setup, int px, int py, int out[4]) {
  for (int channel = 0; channel < 4; ++channel) {
    const bool modulated = channel == 3 ? plan.modulateAlpha : plan.modulateColor;
    out[channel] = modulated ? RoundChannel(setup.diffuse[channel].At(px, py, setup.x0, setup.y0)) : 255;
  }
}

// Everything after the texel fetch for one pixel, as ShadePixel does it in these states.
template <StageKind stageKind, BlendKind blendKind>
inline void ShadeTexel(const PipelineState& state, const TriangleSetup& setup, uint32_t texel, int px, int py,
                       uint8_t* pixel) {
  const FastSpanPlan& plan = setup.plan;
  int color[4];
  for (int channel = 0; channel < 4; ++channel) color[channel] = (texel >> (8 * channel)) & 0xFF;
  if (stageKind == StageKind::TextureTimesDiffuse && plan.modulate) {
    int diffuse[4];
    if (plan.constantDiffuse)
      for (int channel = 0; channel < 4; ++channel) diffuse[channel] = plan.diffuse[channel];
    else
      DiffuseAt(plan, setup, px, py, diffuse);
    for (int channel = 0; channel < 4; ++channel) color[channel] = Div255Product(color[channel] * diffuse[channel]);
  }
  if (state.alphaTest && !AlphaPasses(state.alphaFunc, color[3], static_cast<int>(state.alphaReference & 0xFF))) return;
  if (blendKind == BlendKind::SourceAlpha) {
    uint32_t destination = Load32(pixel) | plan.targetFill;
    int alpha = color[3];
    for (int channel = 0; channel < 4; ++channel) {
      int d = (destination >> (8 * channel)) & 0xFF;
      color[channel] = Div255Product(color[channel] * alpha + d * (255 - alpha));
    }
  }
  uint32_t out = static_cast<uint32_t>(color[0]) | (static_cast<uint32_t>(color[1]) << 8) |
                 (static_cast<uint32_t>(color[2]) << 16) | (static_cast<uint32_t>(color[3]) << 24);
  out |= plan.targetFill;
  std::memcpy(pixel, &out, 4);
}

constexpr int kRunChunk = 64;  // Texels widened or modulated at a time into a scratch buffer.

// A run of 32-bit texels (`fill` still to be ORed in) drawn onto pixels xl.. of row py.
template <StageKind stageKind, BlendKind blendKind>
void DrawTexelRun(const PipelineState& state, const TriangleSetup& setup, const uint8_t* source, uint32_t fill,
                  int count, int py, int xl) {
  const FastSpanPlan& plan = setup.plan;
  uint8_t* destination = state.target->Row(py) + static_cast<size_t>(xl) * 4;
  const int reference = static_cast<int>(state.alphaReference & 0xFF);
  const bool modulate = stageKind == StageKind::TextureTimesDiffuse && plan.modulate;
  if (!modulate) {
    if (state.alphaTest)
      AlphaTestedRun<blendKind>(source, destination, count, fill, plan.targetFill, state.alphaFunc, reference);
    else if (blendKind == BlendKind::Opaque)
      CopyRun(source, destination, count, fill | plan.targetFill);
    else
      BlendRun(source, destination, count, fill, plan.targetFill);
    return;
  }
  if (plan.constantDiffuse && !state.alphaTest) {
    ModulatedRun<blendKind>(source, destination, count, fill, plan.targetFill, plan.diffuse);
    return;
  }
  if (plan.constantDiffuse) {
    // Modulated first, then through the alpha test as unmodulated texels would be.
    uint32_t modulated[kRunChunk];
    for (int done = 0; done < count; done += kRunChunk) {
      const int n = std::min(kRunChunk, count - done);
      ModulatedRun<BlendKind::Opaque>(source + 4 * done, reinterpret_cast<uint8_t*>(modulated), n, fill, 0,
                                      plan.diffuse);
      AlphaTestedRun<blendKind>(reinterpret_cast<const uint8_t*>(modulated), destination + 4 * done, n, 0,
                                plan.targetFill, state.alphaFunc, reference);
    }
    return;
  }
  for (int i = 0; i < count; ++i)
    ShadeTexel<stageKind, blendKind>(state, setup, Load32(source + 4 * i) | fill, xl + i, py, destination + 4 * i);
}

// A run of `count` texels of the plan's texture from `source`, drawn from pixel xl of row py on.
template <StageKind stageKind, BlendKind blendKind>
void DrawRun(const PipelineState& state, const TriangleSetup& setup, const uint8_t* source, int count, int py, int xl) {
  const FastSpanPlan& plan = setup.plan;
  if (plan.bytesPerTexel == 4) {
    DrawTexelRun<stageKind, blendKind>(state, setup, source, plan.textureFill, count, py, xl);
    return;
  }
#if defined(__SSE2__)
  // One-bit alpha through a test that tells its two values apart (glyphs) needs no scratch row.
  if (plan.oneBitAlphaTest && !(stageKind == StageKind::TextureTimesDiffuse && plan.modulate) &&
      blendKind == BlendKind::Opaque) {
    OneBitAlphaTestedRun(source, plan.texels + static_cast<size_t>(plan.height) * plan.pitch,
                         state.target->Row(py) + static_cast<size_t>(xl) * 4, count, plan.targetFill);
    return;
  }
#endif
  uint32_t widened[kRunChunk];
  for (int done = 0; done < count; done += kRunChunk) {
    const int n = std::min(kRunChunk, count - done);
    WidenRun(state.stages[0].sampler.levels[0]->format, plan.widen, plan.bytesPerTexel,
             source + static_cast<size_t>(done) * plan.bytesPerTexel, n, widened);
    DrawTexelRun<stageKind, blendKind>(state, setup, reinterpret_cast<const uint8_t*>(widened), 0, n, py, xl + done);
  }
}

template <StageKind stageKind, BlendKind blendKind>
void TexturedSpan(const PipelineState& state, const TriangleSetup& setup, int py, int xl, int xr) {
  const FastSpanPlan& plan = setup.plan;
  const int width = plan.width, height = plan.height;
  auto runStart = [&](int64_t texelX, int64_t texelY) {
    return plan.texels + static_cast<size_t>(texelY) * plan.pitch + static_cast<size_t>(texelX) * plan.bytesPerTexel;
  };

  if (setup.unitTexels) {
    const int64_t firstTexel = static_cast<int64_t>(xl) + setup.unitTexelX;
    const int64_t lastTexel = static_cast<int64_t>(xr) + setup.unitTexelX;
    const int64_t texelRow = static_cast<int64_t>(py) + setup.unitTexelY;
    if (firstTexel >= 0 && lastTexel < width && texelRow >= 0 && texelRow < height) {
      DrawRun<stageKind, blendKind>(state, setup, runStart(firstTexel, texelRow), xr - xl + 1, py, xl);
      return;
    }
  }

  const int set = state.stages[0].texCoordSet;
  SpanCoordinate cu, cv;
  const bool stepped = SetUpSpanCoordinate(setup.u[set], setup, py, xl, xr, width, &cu) &&
                       SetUpSpanCoordinate(setup.v[set], setup, py, xl, xr, height, &cv);
  if (stepped) {
    // A texel run: when both ends are settled, the line between them stays inside the cells
    // the ends lie in, so if u advances exactly one texel per pixel from end to end (inside the
    // texture) and v stays in one row, every pixel reads the next texel of that row.
    const int count = xr - xl;
    SpanCoordinate uEnd = cu, vEnd = cv;
    uEnd.value += cu.step * count;
    vEnd.value += cv.step * count;
    const int64_t firstTexel = cu.value >> 32;
    if (cu.Settled() && uEnd.Settled() && cv.Settled() && vEnd.Settled() && (uEnd.value >> 32) - firstTexel == count &&
        (vEnd.value >> 32) == (cv.value >> 32) && firstTexel >= 0 && firstTexel + count < width) {
      DrawRun<stageKind, blendKind>(state, setup, runStart(firstTexel, cv.Texel(height)), count + 1, py, xl);
      return;
    }
  }
  // The plain path's own formula (no perspective here, so 1/w is 1), for pixels near texel edges.
  auto plainTexel = [&](int px) {
    double fu = PlainTexelCoordinate(setup.u[set], setup, px, py, width);
    double fv = PlainTexelCoordinate(setup.v[set], setup, px, py, height);
    if (!(std::fabs(fu) < 1e9 && std::fabs(fv) < 1e9)) return 0u;
    int tx = std::clamp(static_cast<int>(std::floor(fu)), 0, width - 1);
    int ty = std::clamp(static_cast<int>(std::floor(fv)), 0, height - 1);
    return TexelAt(plan, tx, ty);
  };
  uint8_t* destination = state.target->Row(py) + static_cast<size_t>(xl) * 4;
  if (!stepped) {
    for (int px = xl; px <= xr; ++px, destination += 4)
      ShadeTexel<stageKind, blendKind>(state, setup, plainTexel(px), px, py, destination);
    return;
  }
  const bool modulate = stageKind == StageKind::TextureTimesDiffuse && plan.modulate;
  if (!modulate && !state.alphaTest && plan.bytesPerTexel == 4) {
    // The stepped values are linear along the span, so when both ends lie inside the texture no
    // pixel between them needs clamping.
    auto inside = [&](const SpanCoordinate& c, int size) {
      const int64_t first = c.value >> 32, last = (c.value + c.step * (xr - xl)) >> 32;
      return first >= 0 && first < size && last >= 0 && last < size;
    };
    // Locals, not the plan's fields: the stores below could otherwise alias them.
    const uint8_t* const texels = plan.texels;
    const size_t pitch = plan.pitch;
    const uint32_t textureFill = plan.textureFill, targetFill = plan.targetFill;
    auto plainTexel = [&](int px) {
      double fu = PlainTexelCoordinate(setup.u[set], setup, px, py, width);
      double fv = PlainTexelCoordinate(setup.v[set], setup, px, py, height);
      if (!(std::fabs(fu) < 1e9 && std::fabs(fv) < 1e9)) return 0u;
      int tx = std::clamp(static_cast<int>(std::floor(fu)), 0, width - 1);
      int ty = std::clamp(static_cast<int>(std::floor(fv)), 0, height - 1);
      return Load32(texels + static_cast<size_t>(ty) * pitch + static_cast<size_t>(tx) * 4) | textureFill;
    };
    if (inside(cu, width) && inside(cv, height)) {
      for (int px = xl; px <= xr; ++px, cu.value += cu.step, cv.value += cv.step, destination += 4) {
        uint32_t texel = cu.Settled() && cv.Settled() ? Load32(texels + static_cast<size_t>(cv.value >> 32) * pitch +
                                                               static_cast<size_t>(cu.value >> 32) * 4) |
                                                            textureFill
                                                      : plainTexel(px);
        if (blendKind == BlendKind::SourceAlpha) texel = BlendSourceAlpha(texel, Load32(destination) | targetFill);
        texel |= targetFill;
        std::memcpy(destination, &texel, 4);
      }
      return;
    }
    for (int px = xl; px <= xr; ++px, cu.value += cu.step, cv.value += cv.step, destination += 4) {
      uint32_t texel = cu.Settled() && cv.Settled()
                           ? Load32(texels + cv.Texel(height) * pitch + static_cast<size_t>(cu.Texel(width)) * 4) |
                                 textureFill
                           : plainTexel(px);
      if (blendKind == BlendKind::SourceAlpha) texel = BlendSourceAlpha(texel, Load32(destination) | targetFill);
      texel |= targetFill;
      std::memcpy(destination, &texel, 4);
    }
    return;
  }
  for (int px = xl; px <= xr; ++px, cu.value += cu.step, cv.value += cv.step, destination += 4) {
    const uint32_t texel = cu.Settled() && cv.Settled() ? TexelAt(plan, cu.Texel(width), cv.Texel(height))
                                                        : plainTexel(px);
    ShadeTexel<stageKind, blendKind>(state, setup, texel, px, py, destination);
  }
}

// Rows top..bottom of a rectangle whose every pixel reads the texel at the setup's unit offset,
// all inside the texture: one run per row.
template <StageKind stageKind, BlendKind blendKind>
void TexelRectangle(const PipelineState& state, const TriangleSetup& setup, int left, int top, int right, int bottom) {
  const FastSpanPlan& plan = setup.plan;
  const uint8_t* source = plan.texels + static_cast<size_t>(top + setup.unitTexelY) * plan.pitch +
                          static_cast<size_t>(left + setup.unitTexelX) * plan.bytesPerTexel;
  for (int py = top; py <= bottom; ++py, source += plan.pitch)
    DrawRun<stageKind, blendKind>(state, setup, source, right - left + 1, py, left);
}

typedef void (*FastRectangleFunction)(const PipelineState& state, const TriangleSetup& setup, int left, int top,
                                      int right, int bottom);

struct FastSpanEntry {
  StageKind stage;
  BlendKind blend;
  FastSpanFunction span;
  FastRectangleFunction rectangle;
};

template <StageKind stageKind, BlendKind blendKind>
constexpr FastSpanEntry Entry() {
  return {stageKind, blendKind, TexturedSpan<stageKind, blendKind>, TexelRectangle<stageKind, blendKind>};
}

const FastSpanEntry kFastSpans[] = {
    Entry<StageKind::TextureOnly, BlendKind::Opaque>(),
    Entry<StageKind::TextureOnly, BlendKind::SourceAlpha>(),
    Entry<StageKind::TextureTimesDiffuse, BlendKind::Opaque>(),
    Entry<StageKind::TextureTimesDiffuse, BlendKind::SourceAlpha>(),
};

}  // namespace

void PrepareFastSpans(PipelineState* state) {
  PipelineState::FastSpanState& fast = state->fastSpans;
  fast = {};
  fast.prepared = true;
  if (!state->target || !Is32BitRgb(state->target->format) || state->depth || state->specularEnable ||
      state->fogEnable || state->colorWriteMask != 0xF || state->stageCount != 1)
    return;
  const StageSetup& stage = state->stages[0];
  const SamplerSetup& sampler = stage.sampler;
  if (sampler.levelCount == 0 || sampler.addressU != D3DTADDRESS_CLAMP || sampler.addressV != D3DTADDRESS_CLAMP ||
      (stage.resultArg & D3DTA_SELECTMASK) == D3DTA_TEMP)
    return;
  const D3DFORMAT format = sampler.levels[0]->format;
  if (!Is32BitRgb(format)) {
    fast.widen = WideningTables(format);
    if (!fast.widen) return;
    fast.bytesPerTexel = FindPixelFormat(format)->bytesPerPixel;
  }
  const StageParts parts = ClassifyStage(stage);
  const BlendKind blend = ClassifyBlend(*state);
  if (!parts.served || blend == BlendKind::Other) return;
  fast.modulateColor = parts.modulateColor;
  fast.modulateAlpha = parts.modulateAlpha;
  fast.sourceAlpha = blend == BlendKind::SourceAlpha;
  const int reference = static_cast<int>(state->alphaReference & 0xFF);
  fast.oneBitAlphaTest = format == D3DFMT_A1R5G5B5 && state->alphaTest &&
                         AlphaPasses(state->alphaFunc, 255, reference) && !AlphaPasses(state->alphaFunc, 0, reference);
  fast.served = true;
}

FastSpanFunction FindFastSpan(const PipelineState& state, TriangleSetup* triangle, int left, int top, int right,
                              int bottom) {
  TriangleSetup& setup = *triangle;
  setup.unitTexels = false;
  const PipelineState::FastSpanState& fast = state.fastSpans;
  if (!fast.prepared || !fast.served || setup.perspective || setup.level[0] != 0 ||
      (setup.filter[0] != D3DTEXF_POINT && setup.filter[0] != D3DTEXF_NONE))
    return nullptr;
  const StageSetup& stage = state.stages[0];
  const SurfaceStorage& texture = *stage.sampler.levels[0];
  FastSpanPlan& plan = setup.plan;
  plan.bytesPerTexel = fast.bytesPerTexel;
  plan.widen = fast.widen;
  plan.oneBitAlphaTest = fast.oneBitAlphaTest;
  const BlendKind blendKind = fast.sourceAlpha ? BlendKind::SourceAlpha : BlendKind::Opaque;
  plan.texels = texture.bytes.data();
  plan.pitch = texture.pitch;
  plan.width = static_cast<int>(texture.width);
  plan.height = static_cast<int>(texture.height);
  plan.textureFill = texture.format == D3DFMT_X8R8G8B8 ? 0xFF000000u : 0;
  plan.targetFill = state.target->format == D3DFMT_X8R8G8B8 ? 0xFF000000u : 0;
  plan.modulateColor = fast.modulateColor;
  plan.modulateAlpha = fast.modulateAlpha;
  const bool modulated[4] = {plan.modulateColor, plan.modulateColor, plan.modulateColor, plan.modulateAlpha};
  plan.constantDiffuse = ConstantFactors(setup, modulated, plan.diffuse);
  plan.modulate = plan.modulateColor || plan.modulateAlpha;
  // A factor of 255 leaves every texel as it is (t * 255 / 255 == t).
  if (plan.constantDiffuse)
    plan.modulate = plan.diffuse[0] != 255 || plan.diffuse[1] != 255 || plan.diffuse[2] != 255 ||
                    plan.diffuse[3] != 255;
  const StageKind stageKind = plan.modulate ? StageKind::TextureTimesDiffuse : StageKind::TextureOnly;
  FastSpanFunction span = nullptr;
  for (const FastSpanEntry& entry : kFastSpans)
    if (entry.stage == stageKind && entry.blend == blendKind) span = entry.span;
  const int set = stage.texCoordSet;
  setup.unitTexels =
      ProveUnitTexels(setup.u[set], setup, left, top, right, bottom, plan.width, true, &setup.unitTexelX) &&
      ProveUnitTexels(setup.v[set], setup, left, top, right, bottom, plan.height, false, &setup.unitTexelY);
  return span;
}

bool FastRectanglePossible(const PipelineState& state) { return state.fastSpans.prepared && state.fastSpans.served; }

bool DrawFastRectangle(const PipelineState& state, TriangleSetup halves[2], int left, int top, int right, int bottom) {
  // Both halves must map the whole rectangle one texel per pixel, by the same offset, inside the
  // texture (no clamping), with one colour: then every pixel reads the texel and colour its own
  // half would give it, and each row is one run.
  FastSpanFunction spans[2];
  for (int half = 0; half < 2; ++half) {
    spans[half] = FindFastSpan(state, &halves[half], left, top, right, bottom);
    if (!spans[half] || !halves[half].unitTexels || !halves[half].plan.constantDiffuse) return false;
  }
  const TriangleSetup& first = halves[0];
  const TriangleSetup& second = halves[1];
  if (spans[0] != spans[1] || first.unitTexelX != second.unitTexelX || first.unitTexelY != second.unitTexelY ||
      !std::equal(first.plan.diffuse, first.plan.diffuse + 4, second.plan.diffuse))
    return false;
  if (static_cast<int64_t>(left) + first.unitTexelX < 0 ||
      static_cast<int64_t>(right) + first.unitTexelX >= first.plan.width ||
      static_cast<int64_t>(top) + first.unitTexelY < 0 ||
      static_cast<int64_t>(bottom) + first.unitTexelY >= first.plan.height)
    return false;
  for (const FastSpanEntry& entry : kFastSpans)
    if (entry.span == spans[0]) entry.rectangle(state, first, left, top, right, bottom);
  return true;
}

}  // namespace platform::d3d9
