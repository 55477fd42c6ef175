// Finds a blit loop in the tables of blit_table.h: for each source family, one entry per form,
// operation and switch combination, null where the combination cannot occur.
#include "memimg/blit_table.h"

BlitRowsFunction GetBlitRowsFunction(int form, int family, int operation, bool blendImage, bool plainBright,
                                     bool sourceAlpha, bool transparent) {
  if (family < 0 || family >= kFamilyCount || operation < 0 || operation >= kOperationCount) return nullptr;
  if (form < 0 || form >= kFormCount) return nullptr;
  static constexpr const BlitFamilyLoops* kFamilies[kFamilyCount] = {&kPalette32Loops, &kDirect32Loops,
                                                                     &kPalette16Loops, &kDirect16Loops};
  static_assert(kFamilyPalette32 == 0 && kFamilyDirect32 == 1 && kFamilyPalette16 == 2 && kFamilyDirect16 == 3);
  const int index = blit_detail::FamilyTableIndex(operation, blendImage, plainBright, sourceAlpha, transparent);
  return (*kFamilies[family])[form][index];
}
