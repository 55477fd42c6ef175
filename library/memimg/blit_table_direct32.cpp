// The blit loops of the direct 32-bit family.
#include "memimg/blit_table.h"

constinit const BlitFamilyLoops kDirect32Loops = blit_detail::MakeFamilyLoops<kFamilyDirect32>();
