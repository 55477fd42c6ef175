// The blit loops of the direct 16-bit family.
#include "memimg/blit_table.h"

constinit const BlitFamilyLoops kDirect16Loops = blit_detail::MakeFamilyLoops<kFamilyDirect16>();
