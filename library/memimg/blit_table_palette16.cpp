// The blit loops of the paletted 16-bit family.
#include "memimg/blit_table.h"

constinit const BlitFamilyLoops kPalette16Loops = blit_detail::MakeFamilyLoops<kFamilyPalette16>();
