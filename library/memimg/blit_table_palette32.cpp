// The blit loops of the paletted 32-bit family.
#include "memimg/blit_table.h"

constinit const BlitFamilyLoops kPalette32Loops = blit_detail::MakeFamilyLoops<kFamilyPalette32>();
