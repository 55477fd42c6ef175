// A plain per-pixel model of the software blits, written straight from their formulas with
// ordinary divisions and no tables. Tests compare the real blits against it byte for byte.
#pragma once

#include "zyvel/memimg.h"

// Same arguments as BlitMemImgAt and BlitMemImgToRect. The blend-image weight comes from the
// border parameter and range last given to SetReferenceBlendImageBorder (0 and 0 at first).
void SetReferenceBlendImageBorder(int border, int range);
void ReferenceBlitAt(MEMIMG* dest, const MEMIMG* source, int x, int y, int transparent, const MEMIMG* blendImage,
                     const MemImgDrawSettings& settings);
void ReferenceBlitToRect(MEMIMG* dest, const MEMIMG* source, const int rect[4], int transparent,
                         const MEMIMG* blendImage, const MemImgDrawSettings& settings);
