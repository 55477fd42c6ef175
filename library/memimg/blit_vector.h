// Vector loops for the commonest 32-bit blits (copies, key-colour copies, constant alpha and
// per-pixel alpha with the plain bright colour; additive draws with any bright colour; unscaled
// and stretched, no blend image). They write the same bytes as the plain loops; the blits try
// them first.
#pragma once

#include "memimg/blit_setup.h"

// True when a vector loop drew the call; false leaves it to the plain loop.
bool RunVectorBlit(int form, const BlitChoice& choice, const BlitCall& call);

// Which vector loops run: the best the processor has (the default), or a lower level, so tests
// can compare each against the plain loops.
enum VectorBlitLevel { kVectorBlitBest = 0, kVectorBlitNone, kVectorBlitSse2, kVectorBlitAvx2 };
void SetVectorBlitLevel(VectorBlitLevel level);
