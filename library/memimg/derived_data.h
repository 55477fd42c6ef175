// The data kept beside a store's pixels: the premultiplied plane and the run-length line codes.
#pragma once

#include "zyvel/memimg.h"

// The key as the blits compare it: a palette index's low byte, a 5-6-5 key's low 16 bits, or the
// whole 32-bit word. Line codes use the same comparison, so both blit paths agree.
uint32_t GetMemImgComparedKey(const MemImgCore* core);

// Both run over the whole image; the core must have the buffer.
void BuildMemImgLineCodes(MemImgCore* core);
void BuildMemImgPremultPlane(MemImgCore* core);
