// What the unscaled and stretched blits share before their loops run: the preconditions, the
// choice of source family and operation, and the table rows of the draw settings.
#pragma once

#include "memimg/blit_kernels.h"

struct BlitChoice {
  int family;
  int operation;
  bool blendImage;
  bool plainBright;
  bool sourceAlpha;
  bool transparent;
};

// False when the call draws nothing: an image not set up, formats that differ, a paletted or
// alpha destination, a source format other than 0 or 1, a blend image smaller than the source,
// or a blend mode and parameter that draw nothing. `form` matters for the forms of mode 1 that
// only the general path has.
bool ChooseBlit(const MEMIMG* dest, const MEMIMG* source, const MEMIMG* blendImage, int transparent, int form,
                const MemImgDrawSettings& settings, BlitChoice* choice);

// Fills the call's key, palette and table rows from the source and the draw settings.
void PrepareBlitCall(const MEMIMG* source, const MEMIMG* blendImage, const MemImgDrawSettings& settings,
                     BlitCall* call);
