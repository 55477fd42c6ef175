// The blit loops as data, one slice per source family. Each family's loops are instantiated in a
// file of their own (blit_table_<family>.cpp) so the compiler builds them side by side;
// blit_table.cpp looks a loop up.
#pragma once

#include <array>
#include <utility>

#include "memimg/blit_kernels.h"

constexpr int kSwitchCombinations = 16;
constexpr int kLoopsPerFamily = static_cast<int>(kOperationCount) * kSwitchCombinations;

// One family's loops: one entry per form, operation and switch combination, null where the
// combination cannot occur.
using BlitFamilyLoops = std::array<std::array<BlitRowsFunction, kLoopsPerFamily>, kFormCount>;

extern const BlitFamilyLoops kPalette32Loops;
extern const BlitFamilyLoops kDirect32Loops;
extern const BlitFamilyLoops kPalette16Loops;
extern const BlitFamilyLoops kDirect16Loops;

namespace blit_detail {

constexpr int FamilyTableIndex(int operation, bool blendImage, bool plainBright, bool sourceAlpha, bool transparent) {
  return (operation * 2 + (blendImage ? 1 : 0)) * 8 + (plainBright ? 4 : 0) + (sourceAlpha ? 2 : 0) +
         (transparent ? 1 : 0);
}

// Which loops exist: paletted sources have no alpha, the line-code form always skips transparent
// runs, and the special forms of modes 1 and 2 exist only where the call could select them.
constexpr bool IsLoopUsed(int form, int family, int operation, bool blendImage, bool plainBright, bool sourceAlpha,
                          bool transparent) {
  const bool palette = family == kFamilyPalette32 || family == kFamilyPalette16;
  if (palette && sourceAlpha) return false;
  if (form == kFormLineCodes && !transparent) return false;
  const bool plainOpaque = !blendImage && plainBright && !sourceAlpha;
  switch (operation) {
    case kOperationAlphaHalving:
      return form == kFormGeneral && plainOpaque;
    case kOperationAlphaMix:
      return form == kFormGeneral && family == kFamilyDirect16 && plainOpaque;
    case kOperationAddFull:
      return plainOpaque;
    default:
      return true;
  }
}

template <int Family, int Form, int Index>
constexpr BlitRowsFunction MakeEntry() {
  constexpr bool transparent = Index & 1;
  constexpr bool sourceAlpha = (Index >> 1) & 1;
  constexpr bool plainBright = (Index >> 2) & 1;
  constexpr bool blendImage = (Index >> 3) & 1;
  constexpr int operation = Index >> 4;
  if constexpr (!IsLoopUsed(Form, Family, operation, blendImage, plainBright, sourceAlpha, transparent))
    return nullptr;
  else
    return &BlitLoop<Family, operation, blendImage, plainBright, sourceAlpha, transparent, Form>::Rows;
}

template <int Family, int Form, size_t... Index>
constexpr std::array<BlitRowsFunction, kLoopsPerFamily> MakeFormLoops(std::index_sequence<Index...>) {
  return {MakeEntry<Family, Form, static_cast<int>(Index)>()...};
}

template <int Family>
constexpr BlitFamilyLoops MakeFamilyLoops() {
  constexpr auto indices = std::make_index_sequence<kLoopsPerFamily>();
  return {MakeFormLoops<Family, kFormGeneral>(indices), MakeFormLoops<Family, kFormLineCodes>(indices),
          MakeFormLoops<Family, kFormStretched>(indices)};
}

}  // namespace blit_detail
