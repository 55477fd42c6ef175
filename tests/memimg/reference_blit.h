// A plain per-pixel model of the software blits, written straight from their formulas with
// ordinary divisions and no tables. Tests compare the real blits against it byte for byte.
#pragma once

#include "zyvel/memimg.h"

// Same arguments and draw-state inputs as BlitMemImgAt and BlitMemImgToRect. The blend-image
// weight comes from the draw state's border parameter and range.
void ReferenceBlitAt(MEMIMG* dest, const MEMIMG* source, int x, int y, int transparent,
                     const MEMIMG* blendImage);
void ReferenceBlitToRect(MEMIMG* dest, const MEMIMG* source, const int rect[4], int transparent,
                         const MEMIMG* blendImage);
