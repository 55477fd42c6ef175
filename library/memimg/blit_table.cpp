// The blit loops as data: for each form, one entry per source family, operation and switch
// combination, null where the combination cannot occur.
#include <array>
#include <utility>

#include "memimg/blit_kernels.h"

namespace {

constexpr int kSwitchCombinations = 16;
constexpr int kEntriesPerForm = static_cast<int>(kFamilyCount) * static_cast<int>(kOperationCount) * kSwitchCombinations;

constexpr int TableIndex(int family, int operation, bool blendImage, bool plainBright,
                         bool sourceAlpha, bool transparent) {
  return ((family * static_cast<int>(kOperationCount) + operation) * 2 + (blendImage ? 1 : 0)) * 8 +
         (plainBright ? 4 : 0) + (sourceAlpha ? 2 : 0) + (transparent ? 1 : 0);
}

// Which loops exist: paletted sources have no alpha, the line-code form always skips transparent
// runs, and the special forms of modes 1 and 2 exist only where the call could select them.
constexpr bool IsLoopUsed(int form, int family, int operation, bool blendImage, bool plainBright,
                          bool sourceAlpha, bool transparent) {
  const bool palette = family == kFamilyPalette32 || family == kFamilyPalette16;
  if (palette && sourceAlpha) return false;
  if (form == kFormLineCodes && !transparent) return false;
  const bool plainOpaque = !blendImage && plainBright && !sourceAlpha;
  switch (operation) {
    case kOperationAlphaHalving: return form == kFormGeneral && plainOpaque;
    case kOperationAlphaMix: return form == kFormGeneral && family == kFamilyDirect16 && plainOpaque;
    case kOperationAddFull: return plainOpaque;
    default: return true;
  }
}

template <int Form, int Index>
constexpr BlitRowsFunction MakeEntry() {
  constexpr bool transparent = Index & 1;
  constexpr bool sourceAlpha = (Index >> 1) & 1;
  constexpr bool plainBright = (Index >> 2) & 1;
  constexpr bool blendImage = (Index >> 3) & 1;
  constexpr int operation = (Index >> 4) % kOperationCount;
  constexpr int family = (Index >> 4) / kOperationCount;
  if constexpr (!IsLoopUsed(Form, family, operation, blendImage, plainBright, sourceAlpha, transparent))
    return nullptr;
  else
    return &blit_detail::BlitLoop<family, operation, blendImage, plainBright, sourceAlpha,
                                  transparent, Form>::Rows;
}

template <int Form, size_t... Index>
constexpr std::array<BlitRowsFunction, sizeof...(Index)> MakeTable(std::index_sequence<Index...>) {
  return {MakeEntry<Form, static_cast<int>(Index)>()...};
}

constexpr auto kGeneralLoops = MakeTable<kFormGeneral>(std::make_index_sequence<kEntriesPerForm>());
constexpr auto kLineCodeLoops = MakeTable<kFormLineCodes>(std::make_index_sequence<kEntriesPerForm>());
constexpr auto kStretchedLoops = MakeTable<kFormStretched>(std::make_index_sequence<kEntriesPerForm>());

}  // namespace

BlitRowsFunction GetBlitRowsFunction(int form, int family, int operation, bool blendImage,
                                     bool plainBright, bool sourceAlpha, bool transparent) {
  if (family < 0 || family >= kFamilyCount || operation < 0 || operation >= kOperationCount)
    return nullptr;
  const int index = TableIndex(family, operation, blendImage, plainBright, sourceAlpha, transparent);
  switch (form) {
    case kFormGeneral: return kGeneralLoops[index];
    case kFormLineCodes: return kLineCodeLoops[index];
    case kFormStretched: return kStretchedLoops[index];
    default: return nullptr;
  }
}
