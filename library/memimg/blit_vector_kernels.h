// Vector forms of the commonest 32-bit blit loops, written once over a vector type V that holds
// V::kPixels pixels. Each form writes exactly the bytes its plain loop in blit_kernels.h writes:
//   d + floor(f (s - d) / 256) per colour byte, computed as ((d << 8) + (s - d) f) >> 8 in
//   16-bit lanes; the sum is at most 255 * 256, so wrapping products are exact. The fourth byte
//   of the destination is kept (weight 0), except where a plain copy writes the source word.
// Included by one source file per instruction set; everything here has internal linkage so the
// copies built for different instruction sets never mix.
#pragma once

#include <cstddef>
#include <cstdint>

#include <cstring>

#include "memimg/blit_kernels.h"

// The vector loops of one instruction set, by kind.
struct VectorKernelTable {
  void (*rows[5])(const BlitCall& call);
  // columns: the source column of each destination column; gathered: room for one row.
  void (*stretched[5])(const BlitCall& call, const int32_t* columns, uint32_t* gathered);
};

namespace {

inline uint32_t LoadWord(const uint8_t* p) {
  uint32_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}
inline void StoreWord(uint8_t* p, uint32_t value) { std::memcpy(p, &value, sizeof value); }

enum VectorRowsKind {
  kVectorSourceAlpha = 0,  // Per-pixel alpha, transparent flag set: 0 skips, 255 copies the word.
  kVectorCopy,             // The source word as it is.
  kVectorCopyKey,          // The same, skipping the key colour.
  kVectorConstantAlpha,    // A step of `param` / 256 toward the source colour.
  kVectorConstantAlphaKey,
  kVectorRowsKindCount,
};

template <class V>
struct VectorRows {
  using Vec = typename V::Vec;
  static constexpr int kPixels = V::kPixels;

  // Steps each colour byte of d toward s by the 16-bit lane weights (the fourth lane weighs 0).
  static inline Vec Step(Vec d, Vec s, Vec weightLow, Vec weightHigh) {
    const Vec zero = V::Zero();
    const Vec dLow = V::UnpackLow8(d, zero), dHigh = V::UnpackHigh8(d, zero);
    const Vec sLow = V::UnpackLow8(s, zero), sHigh = V::UnpackHigh8(s, zero);
    const Vec low = V::ShiftRight16(V::Add16(V::ShiftLeft16(dLow, 8), V::MulLow16(V::Sub16(sLow, dLow), weightLow)), 8);
    const Vec high = V::ShiftRight16(
        V::Add16(V::ShiftLeft16(dHigh, 8), V::MulLow16(V::Sub16(sHigh, dHigh), weightHigh)), 8);
    return V::PackUnsigned16(low, high);
  }

  // Per-pixel alpha: weights are each pixel's alpha in its colour lanes.
  static inline Vec SourceAlpha(Vec d, Vec s) {
    const Vec zero = V::Zero();
    const Vec colourLanes = V::ColourLanes();
    const Vec weightLow = V::And(V::BroadcastAlpha(V::UnpackLow8(s, zero)), colourLanes);
    const Vec weightHigh = V::And(V::BroadcastAlpha(V::UnpackHigh8(s, zero)), colourLanes);
    const Vec alphaMask = V::Set32(0xFF000000u);
    const Vec opaque = V::Equal32(V::And(s, alphaMask), alphaMask);
    return V::Select(opaque, s, Step(d, s, weightLow, weightHigh));
  }

  // One group of pixels; false when the group leaves the destination as it is.
  template <int Kind>
  static inline bool Group(Vec d, Vec s, const BlitCall& call, Vec* out) {
    if constexpr (Kind == kVectorSourceAlpha) {
      const Vec alpha = V::And(s, V::Set32(0xFF000000u));
      const int clear = V::Mask(V::Equal32(alpha, V::Zero()));
      if (clear == V::kAllLanes) return false;
      const int opaque = V::Mask(V::Equal32(alpha, V::Set32(0xFF000000u)));
      *out = opaque == V::kAllLanes ? s : SourceAlpha(d, s);
      return true;
    } else if constexpr (Kind == kVectorCopy) {
      *out = s;
      return true;
    } else {
      Vec value = s;
      if constexpr (Kind == kVectorConstantAlpha || Kind == kVectorConstantAlphaKey) {
        const Vec weight = V::And(V::Set16(static_cast<int16_t>(call.param)), V::ColourLanes());
        value = Step(d, s, weight, weight);
      }
      if constexpr (Kind == kVectorCopyKey || Kind == kVectorConstantAlphaKey) {
        const Vec key = V::Equal32(s, V::Set32(call.key));
        const int keyed = V::Mask(key);
        if (keyed == V::kAllLanes) return false;
        value = V::Select(key, d, value);
      }
      *out = value;
      return true;
    }
  }

  // Writes `count` pixels (fewer than a group) through a small buffer, so the tail rounds alike.
  template <int Kind>
  static inline void Tail(const BlitCall& call, const uint8_t* source, uint8_t* dest, int count) {
    uint32_t sourceWords[kPixels] = {};
    uint32_t destWords[kPixels] = {};
    for (int i = 0; i < count; ++i) {
      std::memcpy(&sourceWords[i], source + 4 * i, 4);
      std::memcpy(&destWords[i], dest + 4 * i, 4);
    }
    Vec out;
    if (!Group<Kind>(V::Load(destWords), V::Load(sourceWords), call, &out)) return;
    uint32_t outWords[kPixels];
    V::Store(outWords, out);
    for (int i = 0; i < count; ++i) std::memcpy(dest + 4 * i, &outWords[i], 4);
  }

  template <int Kind>
  static void Row(const BlitCall& call, const uint8_t* source, uint8_t* dest) {
    int x = 0;
    for (; x + kPixels <= call.width; x += kPixels) {
      Vec out;
      if (Group<Kind>(V::Load(dest + 4 * x), V::Load(source + 4 * x), call, &out)) V::Store(dest + 4 * x, out);
    }
    if (x < call.width) Tail<Kind>(call, source + 4 * x, dest + 4 * x, call.width - x);
  }

  template <int Kind>
  static void Rows(const BlitCall& shared) {
    const BlitCall call = shared;
    for (int y = 0; y < call.height; ++y)
      Row<Kind>(call, call.source + y * call.sourcePitch, call.dest + y * call.destPitch);
  }

  // The stretched form: the source columns of one destination row are stepped once per call
  // (every row visits the same columns), gathered a group at a time.
  template <int Kind>
  static void StretchedRows(const BlitCall& shared, const int32_t* columns, uint32_t* gathered) {
    const BlitCall call = shared;
    int64_t errorY = call.startErrorY;
    ptrdiff_t row = call.startRow;
    ptrdiff_t gatheredRow = -1;  // Enlarged pictures visit each source row more than once.
    for (int y = 0; y < call.height; ++y) {
      const uint8_t* source = call.source + row * call.sourcePitch;
      if (row != gatheredRow) {
        for (int x = 0; x < call.width; ++x) gathered[x] = LoadWord(source + 4 * static_cast<ptrdiff_t>(columns[x]));
        gatheredRow = row;
      }
      Row<Kind>(call, reinterpret_cast<const uint8_t*>(gathered), call.dest + y * call.destPitch);
      errorY -= 0x10000;
      while (errorY <= 0) {
        errorY += call.stepY;
        row += call.directionY;
      }
    }
  }
};

template <class V>
void FillVectorKernelTable(VectorKernelTable* table) {
  using R = VectorRows<V>;
  table->rows[kVectorSourceAlpha] = &R::template Rows<kVectorSourceAlpha>;
  table->rows[kVectorCopy] = &R::template Rows<kVectorCopy>;
  table->rows[kVectorCopyKey] = &R::template Rows<kVectorCopyKey>;
  table->rows[kVectorConstantAlpha] = &R::template Rows<kVectorConstantAlpha>;
  table->rows[kVectorConstantAlphaKey] = &R::template Rows<kVectorConstantAlphaKey>;
  table->stretched[kVectorSourceAlpha] = &R::template StretchedRows<kVectorSourceAlpha>;
  table->stretched[kVectorCopy] = &R::template StretchedRows<kVectorCopy>;
  table->stretched[kVectorCopyKey] = &R::template StretchedRows<kVectorCopyKey>;
  table->stretched[kVectorConstantAlpha] = &R::template StretchedRows<kVectorConstantAlpha>;
  table->stretched[kVectorConstantAlphaKey] = &R::template StretchedRows<kVectorConstantAlphaKey>;
}

}  // namespace
