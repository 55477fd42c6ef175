// The vector blit loops for SSE2 (which every x86-64 processor has) and the choice between them
// and the AVX2 ones, made once from what the processor reports.
#include "memimg/blit_vector.h"

#include <vector>

#if defined(__x86_64__)
#include <emmintrin.h>

#include "memimg/blit_vector_kernels.h"

void GetAvx2VectorKernels(VectorKernelTable* table);

namespace {

struct Sse2 {
  using Vec = __m128i;
  static constexpr int kPixels = 4;
  static constexpr int kAllLanes = 0xFFFF;
  static Vec Zero() { return _mm_setzero_si128(); }
  static Vec Load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
  static void Store(void* p, Vec v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
  static Vec UnpackLow8(Vec a, Vec b) { return _mm_unpacklo_epi8(a, b); }
  static Vec UnpackHigh8(Vec a, Vec b) { return _mm_unpackhi_epi8(a, b); }
  static Vec ShiftLeft16(Vec a, int n) { return _mm_slli_epi16(a, n); }
  static Vec ShiftRight16(Vec a, int n) { return _mm_srli_epi16(a, n); }
  static Vec Add16(Vec a, Vec b) { return _mm_add_epi16(a, b); }
  static Vec Sub16(Vec a, Vec b) { return _mm_sub_epi16(a, b); }
  static Vec MulLow16(Vec a, Vec b) { return _mm_mullo_epi16(a, b); }
  static Vec MulHighUnsigned16(Vec a, Vec b) { return _mm_mulhi_epu16(a, b); }
  static Vec Add32(Vec a, Vec b) { return _mm_add_epi32(a, b); }
  static Vec AddSaturated8(Vec a, Vec b) { return _mm_adds_epu8(a, b); }
  static Vec PackUnsigned16(Vec a, Vec b) { return _mm_packus_epi16(a, b); }
  static Vec And(Vec a, Vec b) { return _mm_and_si128(a, b); }
  static Vec Or(Vec a, Vec b) { return _mm_or_si128(a, b); }
  static Vec Select(Vec mask, Vec a, Vec b) { return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b)); }
  static Vec Set32(uint32_t v) { return _mm_set1_epi32(static_cast<int>(v)); }
  static Vec Set16(int16_t v) { return _mm_set1_epi16(v); }
  static Vec Set64(uint64_t v) { return _mm_set1_epi64x(static_cast<long long>(v)); }
  static Vec Equal32(Vec a, Vec b) { return _mm_cmpeq_epi32(a, b); }
  static int Mask(Vec a) { return _mm_movemask_epi8(a); }
  static Vec ColourLanes() { return _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1); }
  static Vec BroadcastAlpha(Vec a) { return _mm_shufflehi_epi16(_mm_shufflelo_epi16(a, 0xFF), 0xFF); }
};

VectorBlitLevel g_forcedLevel = kVectorBlitBest;

const VectorKernelTable* Kernels(VectorBlitLevel* level) {
  static const struct Tables {
    VectorKernelTable sse2{};
    VectorKernelTable avx2{};
    bool hasAvx2 = false;
    Tables() {
      FillVectorKernelTable<Sse2>(&sse2);
      __builtin_cpu_init();
      hasAvx2 = __builtin_cpu_supports("avx2");
      if (hasAvx2) GetAvx2VectorKernels(&avx2);
    }
  } tables;
  VectorBlitLevel chosen = g_forcedLevel;
  if (chosen == kVectorBlitBest) chosen = tables.hasAvx2 ? kVectorBlitAvx2 : kVectorBlitSse2;
  if (chosen == kVectorBlitAvx2 && !tables.hasAvx2) chosen = kVectorBlitSse2;
  *level = chosen;
  if (chosen == kVectorBlitNone) return nullptr;
  return chosen == kVectorBlitAvx2 ? &tables.avx2 : &tables.sse2;
}

int KindOf(const BlitChoice& choice) {
  if (choice.family != kFamilyDirect32 || choice.blendImage) return -1;
  if (choice.operation == kOperationAddFull) return choice.transparent ? kVectorAddFullKey : kVectorAddFull;
  if (choice.operation == kOperationAdd) {
    const bool bright = !choice.plainBright;
    if (choice.sourceAlpha && choice.transparent) return bright ? kVectorAddAlphaBright : kVectorAddAlpha;
    if (choice.sourceAlpha) return bright ? kVectorAddAlphaAllBright : kVectorAddAlphaAll;
    if (choice.transparent) return bright ? kVectorAddBrightKey : kVectorAddKey;
    return bright ? kVectorAddBright : kVectorAdd;
  }
  if (!choice.plainBright) return -1;
  if (choice.operation == kOperationCopy) {
    if (choice.sourceAlpha) return choice.transparent ? kVectorSourceAlpha : kVectorCopy;
    return choice.transparent ? kVectorCopyKey : kVectorCopy;
  }
  if (choice.operation == kOperationAlpha && !choice.sourceAlpha)
    return choice.transparent ? kVectorConstantAlphaKey : kVectorConstantAlpha;
  return -1;
}

// Whether the pixels read and the pixels written share any byte: the plain loops read and write
// pixel by pixel, so an overlapping draw stays with them.
bool Overlaps(const uint8_t* readFirst, const uint8_t* readEnd, const BlitCall& call) {
  const uint8_t* writeFirst = call.dest;
  const uint8_t* writeEnd = call.dest + (call.height - 1) * call.destPitch + 4 * static_cast<ptrdiff_t>(call.width);
  return readFirst < writeEnd && writeFirst < readEnd;
}

}  // namespace

bool RunVectorBlit(int form, const BlitChoice& choice, const BlitCall& call) {
  VectorBlitLevel level;
  const VectorKernelTable* kernels = Kernels(&level);
  const int kind = KindOf(choice);
  if (!kernels || kind < 0 || call.width <= 0 || call.height <= 0) return false;
  if (call.destPitch < 0 || call.sourcePitch < 0) return false;
  if (form == kFormGeneral || form == kFormLineCodes) {
    // Line codes only speed up runs of whole-transparent or opaque pixels; the vector loop tests
    // a group for both at once, and handles the mixed runs that codes cannot. The additive walk
    // along the codes still draws pixel by pixel inside each run; its vector loop skips clear or
    // keyed groups itself.
    if (form == kFormLineCodes && kind != kVectorSourceAlpha && !IsVectorAddKind(kind)) return false;
    if (kind == kVectorCopy) return false;  // A row copy is one memmove already.
    const uint8_t* readEnd = call.source + (call.height - 1) * call.sourcePitch +
                             4 * static_cast<ptrdiff_t>(call.width);
    if (Overlaps(call.source, readEnd, call)) return false;
    kernels->rows[kind](call);
    return true;
  }
  if (form != kFormStretched) return false;
  // The source rows read lie between the first and the last visited; overlap is judged on the
  // whole source rectangle the call may touch.
  thread_local std::vector<int32_t> columns;
  thread_local std::vector<uint32_t> gathered;
  columns.resize(static_cast<size_t>(call.width));
  gathered.resize(static_cast<size_t>(call.width));
  int64_t errorX = call.startErrorX;
  int64_t column = call.startColumn;
  int64_t lowest = column, highest = column;
  for (int x = 0; x < call.width; ++x) {
    columns[static_cast<size_t>(x)] = static_cast<int32_t>(column);
    lowest = column < lowest ? column : lowest;
    highest = column > highest ? column : highest;
    errorX -= 0x10000;
    while (errorX <= 0) {
      errorX += call.stepX;
      column += call.directionX;
    }
  }
  int64_t errorY = call.startErrorY;
  int64_t row = call.startRow;
  int64_t top = row, bottom = row;
  for (int y = 0; y < call.height; ++y) {
    top = row < top ? row : top;
    bottom = row > bottom ? row : bottom;
    errorY -= 0x10000;
    while (errorY <= 0) {
      errorY += call.stepY;
      row += call.directionY;
    }
  }
  const uint8_t* readFirst = call.source + top * call.sourcePitch + 4 * lowest;
  const uint8_t* readEnd = call.source + bottom * call.sourcePitch + 4 * (highest + 1);
  if (Overlaps(readFirst, readEnd, call)) return false;
  kernels->stretched[kind](call, columns.data(), gathered.data());
  return true;
}

#else

bool RunVectorBlit(int, const BlitChoice&, const BlitCall&) { return false; }

#endif

void SetVectorBlitLevel(VectorBlitLevel level) {
#if defined(__x86_64__)
  g_forcedLevel = level;
#else
  (void)level;
#endif
}
