// Vector forms of the commonest 32-bit blit loops, written once over a vector type V that holds
// V::kPixels pixels. Each form writes exactly the bytes its plain loop in blit_kernels.h writes:
//   d + floor(f (s - d) / 256) per colour byte, computed as ((d << 8) + (s - d) f) >> 8 in
//   16-bit lanes; the sum is at most 255 * 256, so wrapping products are exact. The fourth byte
//   of the destination is kept (weight 0), except where a plain copy writes the source word.
// The additive forms give the plain loop's word arithmetic (its dropped low bits, its carries
// into the next byte and the fourth byte they leave) from a word sum and a byte-wise saturated
// sum; the scaled colour before it is floor(x w / 255), exact as (x w * 0x8081) >> 23 for any
// 16-bit x w, and the alpha-weighted one floor(s a p / 65536), the high half of s times a p.
// Included by one source file per instruction set; everything here has internal linkage so the
// copies built for different instruction sets never mix.
#pragma once

#include <cstddef>
#include <cstdint>

#include <cstring>
#include <utility>

#include "memimg/blit_kernels.h"

enum VectorRowsKind {
  kVectorSourceAlpha = 0,  // Per-pixel alpha, transparent flag set: 0 skips, 255 copies the word.
  kVectorCopy,             // The source word as it is.
  kVectorCopyKey,          // The same, skipping the key colour.
  kVectorConstantAlpha,    // A step of `param` / 256 toward the source colour.
  kVectorConstantAlphaKey,
  // Mode 2: the source colour, scaled, added to the destination. "Bright" forms scale each
  // colour byte by the bright colour's first.
  kVectorAddFull,  // At full strength with the plain bright colour: the colour as it is.
  kVectorAddFullKey,
  kVectorAdd,  // Scaled by `param` / 255.
  kVectorAddKey,
  kVectorAddBright,
  kVectorAddBrightKey,
  kVectorAddAlpha,  // Per-pixel alpha, transparent flag set: 0 skips, 255 as kVectorAdd, others by alpha too.
  kVectorAddAlphaBright,
  kVectorAddAlphaAll,  // Per-pixel alpha without the flag: every pixel scaled by its alpha too.
  kVectorAddAlphaAllBright,
  kVectorRowsKindCount,
};

// The vector loops of one instruction set, by kind.
struct VectorKernelTable {
  void (*rows[kVectorRowsKindCount])(const BlitCall& call);
  // columns: the source column of each destination column; gathered: room for one row.
  void (*stretched[kVectorRowsKindCount])(const BlitCall& call, const int32_t* columns, uint32_t* gathered);
};

constexpr bool IsVectorAddKind(int kind) { return kind >= kVectorAddFull && kind < kVectorRowsKindCount; }

namespace {

inline uint32_t LoadWord(const uint8_t* p) {
  uint32_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}
inline void StoreWord(uint8_t* p, uint32_t value) { std::memcpy(p, &value, sizeof value); }

constexpr bool AddSkipsKey(int kind) {
  return kind == kVectorAddFullKey || kind == kVectorAddKey || kind == kVectorAddBrightKey;
}
constexpr bool AddUsesBright(int kind) {
  return kind == kVectorAddBright || kind == kVectorAddBrightKey || kind == kVectorAddAlphaBright ||
         kind == kVectorAddAlphaAllBright;
}

template <class V>
struct VectorRows {
  using Vec = typename V::Vec;
  static constexpr int kPixels = V::kPixels;

  // What a row of the additive forms multiplies by, in 16-bit lanes.
  struct Weights {
    Vec param;
    Vec bright;  // Blue, green and red of the bright colour; the fourth lane is never used.
  };

  static inline Weights Prepare(const BlitCall& call) {
    // ProductTable[w][255] is w: the bright colour's own bytes.
    const uint64_t bright = static_cast<uint64_t>(call.bright[0][255] & 0xFF) |
                            static_cast<uint64_t>(call.bright[1][255] & 0xFF) << 16 |
                            static_cast<uint64_t>(call.bright[2][255] & 0xFF) << 32;
    return {V::Set16(static_cast<int16_t>(call.param)), V::Set64(bright)};
  }

  // floor(n / 255) in 16-bit lanes.
  static inline Vec Divide255(Vec n) {
    return V::ShiftRight16(V::MulHighUnsigned16(n, V::Set16(static_cast<int16_t>(0x8081 - 0x10000))), 7);
  }

  // The plain loop's saturating add of whole words: green and red add without their low bits,
  // which come back as the OR of both (LowBits) and the carry of the byte below; a carry out of
  // red lands in the fourth byte, which the destination's own fourth byte never reaches. With the
  // low bits and the fourth bytes cleared, the word sum holds each byte's sum plus the carry from
  // below, and the byte-wise saturated sum is 255 where a byte carried and even elsewhere: their
  // OR is the plain loop's word.
  template <bool LowBits>
  static inline Vec AddWords(Vec scaled, Vec d) {
    const Vec addMask = V::Set32(0xFEFEFF);
    const Vec added = V::And(scaled, addMask);
    const Vec under = V::And(d, addMask);
    Vec result = V::Or(V::Add32(added, under), V::AddSaturated8(added, under));
    if constexpr (LowBits) result = V::Or(result, V::And(V::Or(scaled, d), V::Set32(0x10100)));
    return result;
  }

  // The colour bytes of s in 16-bit lanes, after the bright colour when Bright.
  template <bool Bright>
  static inline void Colour16(Vec s, const Weights& weights, Vec* low, Vec* high) {
    const Vec zero = V::Zero();
    *low = V::UnpackLow8(s, zero);
    *high = V::UnpackHigh8(s, zero);
    if constexpr (Bright) {
      *low = Divide255(V::MulLow16(*low, weights.bright));
      *high = Divide255(V::MulLow16(*high, weights.bright));
    }
  }

  // floor(c param / 255): the product table's row of the parameter.
  static inline Vec ScaledByParam(Vec low, Vec high, const Weights& weights) {
    return V::PackUnsigned16(Divide255(V::MulLow16(low, weights.param)), Divide255(V::MulLow16(high, weights.param)));
  }

  // floor(c alpha param / 65536).
  static inline Vec ScaledByAlpha(Vec s, Vec low, Vec high, const Weights& weights) {
    const Vec zero = V::Zero();
    const Vec weightLow = V::MulLow16(V::BroadcastAlpha(V::UnpackLow8(s, zero)), weights.param);
    const Vec weightHigh = V::MulLow16(V::BroadcastAlpha(V::UnpackHigh8(s, zero)), weights.param);
    return V::PackUnsigned16(V::MulHighUnsigned16(low, weightLow), V::MulHighUnsigned16(high, weightHigh));
  }

  template <int Kind>
  static inline Vec Add(Vec d, Vec s, const Weights& weights, bool* drawn) {
    constexpr bool kBright = AddUsesBright(Kind);
    if constexpr (Kind == kVectorAddFull || Kind == kVectorAddFullKey) {
      return AddWords<false>(s, d);
    } else if constexpr (Kind == kVectorAddAlpha || Kind == kVectorAddAlphaBright) {
      const Vec alphaMask = V::Set32(0xFF000000u);
      const Vec alpha = V::And(s, alphaMask);
      const Vec clearLanes = V::Equal32(alpha, V::Zero());
      const int clear = V::Mask(clearLanes);
      if (clear == V::kAllLanes) {
        *drawn = false;
        return d;
      }
      const Vec opaqueLanes = V::Equal32(alpha, alphaMask);
      const int opaque = V::Mask(opaqueLanes);
      Vec low, high;
      Colour16<kBright>(s, weights, &low, &high);
      Vec scaled;
      if (opaque == V::kAllLanes)
        scaled = ScaledByParam(low, high, weights);
      else if (opaque == 0)
        scaled = ScaledByAlpha(s, low, high, weights);
      else
        scaled = V::Select(opaqueLanes, ScaledByParam(low, high, weights), ScaledByAlpha(s, low, high, weights));
      const Vec value = AddWords<true>(scaled, d);
      return clear == 0 ? value : V::Select(clearLanes, d, value);
    } else {
      Vec low, high;
      Colour16<kBright>(s, weights, &low, &high);
      if constexpr (Kind == kVectorAddAlphaAll || Kind == kVectorAddAlphaAllBright)
        return AddWords<true>(ScaledByAlpha(s, low, high, weights), d);
      else
        return AddWords<true>(ScaledByParam(low, high, weights), d);
    }
  }

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
  static inline bool Group(Vec d, Vec s, const BlitCall& call, const Weights& weights, Vec* out) {
    if constexpr (IsVectorAddKind(Kind)) {
      Vec key;
      int keyed = 0;
      if constexpr (AddSkipsKey(Kind)) {
        key = V::Equal32(s, V::Set32(call.key));
        keyed = V::Mask(key);
        if (keyed == V::kAllLanes) return false;
      }
      bool drawn = true;
      Vec value = Add<Kind>(d, s, weights, &drawn);
      if (!drawn) return false;
      if constexpr (AddSkipsKey(Kind))
        if (keyed != 0) value = V::Select(key, d, value);
      *out = value;
      return true;
    } else if constexpr (Kind == kVectorSourceAlpha) {
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
  static inline void Tail(const BlitCall& call, const Weights& weights, const uint8_t* source, uint8_t* dest,
                          int count) {
    uint32_t sourceWords[kPixels] = {};
    uint32_t destWords[kPixels] = {};
    for (int i = 0; i < count; ++i) {
      std::memcpy(&sourceWords[i], source + 4 * i, 4);
      std::memcpy(&destWords[i], dest + 4 * i, 4);
    }
    Vec out;
    if (!Group<Kind>(V::Load(destWords), V::Load(sourceWords), call, weights, &out)) return;
    uint32_t outWords[kPixels];
    V::Store(outWords, out);
    for (int i = 0; i < count; ++i) std::memcpy(dest + 4 * i, &outWords[i], 4);
  }

  // A full-strength add does so little per pixel that memory sets its pace, so the additive rows
  // start on an aligned destination group (the first group, drawn from the pixels as they were,
  // overlaps the next, which gives the same bytes again) and take a cache line of each image per
  // step. The processor's own prefetch keeps up: asking for lines ahead made large images slower.
  // Returns where the row's remaining groups start.
  template <int Kind>
  static int AddRowLines(const BlitCall& call, const Weights& weights, const uint8_t* source, uint8_t* dest) {
    constexpr int kGroups = 64 / static_cast<int>(sizeof(Vec));
    constexpr int kStep = kGroups * kPixels;
    const int head = static_cast<int>((0u - reinterpret_cast<uintptr_t>(dest)) % sizeof(Vec)) / 4;
    if (head + kPixels + kStep > call.width) return 0;
    int x = 0;
    if (head > 0) {
      Vec first = V::Zero(), second = V::Zero();
      const uint8_t* nextSource = source + 4 * head;
      uint8_t* next = dest + 4 * head;
      const bool drawFirst = Group<Kind>(V::Load(dest), V::Load(source), call, weights, &first);
      const bool drawSecond = Group<Kind>(V::Load(next), V::Load(nextSource), call, weights, &second);
      if (drawFirst) V::Store(dest, first);
      if (drawSecond) V::Store(next, second);
      x = head + kPixels;
    }
    for (; x + kStep <= call.width; x += kStep) {
      for (int g = 0; g < kGroups; ++g) {
        const int at = 4 * (x + g * kPixels);
        Vec out;
        if (Group<Kind>(V::Load(dest + at), V::Load(source + at), call, weights, &out)) V::Store(dest + at, out);
      }
    }
    return x;
  }

  template <int Kind>
  static void Row(const BlitCall& call, const uint8_t* source, uint8_t* dest) {
    Weights weights{};
    int x = 0;
    if constexpr (IsVectorAddKind(Kind)) {
      weights = Prepare(call);
      x = AddRowLines<Kind>(call, weights, source, dest);
    }
    for (; x + kPixels <= call.width; x += kPixels) {
      Vec out;
      if (Group<Kind>(V::Load(dest + 4 * x), V::Load(source + 4 * x), call, weights, &out)) V::Store(dest + 4 * x, out);
    }
    if (x < call.width) Tail<Kind>(call, weights, source + 4 * x, dest + 4 * x, call.width - x);
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

template <class V, int... Kind>
void FillVectorKernels(VectorKernelTable* table, std::integer_sequence<int, Kind...>) {
  ((table->rows[Kind] = &VectorRows<V>::template Rows<Kind>), ...);
  ((table->stretched[Kind] = &VectorRows<V>::template StretchedRows<Kind>), ...);
}

template <class V>
void FillVectorKernelTable(VectorKernelTable* table) {
  FillVectorKernels<V>(table, std::make_integer_sequence<int, kVectorRowsKindCount>());
}

}  // namespace
