// `BlitMemImgAt`: one MEMIMG drawn into another without scaling, clipped to the draw area (and
// to the destination), in the draw settings' blend mode. A transparent draw of a whole source whose
// line codes are valid walks the codes and skips transparent runs wholesale; every other draw
// tests each pixel. The loops themselves are chosen from the table in blit_table.cpp.
#include <climits>

#include "memimg/blit_setup.h"
#include "memimg/blit_vector.h"

static LONG ClampToLong(long long value) {
  return value < INT_MIN ? INT_MIN : value > INT_MAX ? INT_MAX : static_cast<LONG>(value);
}

void BlitMemImgAt(MEMIMG* dest, const MEMIMG* source, int x, int y, int transparent, const MEMIMG* blendImage,
                  const MemImgDrawSettings& settings) {
  if (!IsMemImgValid(dest) || !IsMemImgValid(source)) return;
  RECT area = {x, y, ClampToLong(static_cast<long long>(x) + source->Width),
               ClampToLong(static_cast<long long>(y) + source->Height)};
  ClipRectToRect(&area, &settings.DrawArea);
  // The draw area belongs to the draw target, which need not be this destination.
  const RECT whole = {0, 0, dest->Width, dest->Height};
  ClipRectToRect(&area, &whole);
  if (area.left >= area.right || area.top >= area.bottom) return;

  const MemImgCore* core = source->Core;
  const bool fullSource = area.right - area.left == source->Width && area.bottom - area.top == source->Height;
  // Line codes describe the whole store, so only a view of the whole store may use them.
  const bool wholeStore = source->Pixels == core->PixelBuffer && source->Width == core->Width &&
                          source->Height == core->Height;
  const int form = transparent && core->LineCodesValid && core->LineCodes && fullSource && wholeStore ? kFormLineCodes
                                                                                                      : kFormGeneral;

  BlitChoice choice;
  if (!ChooseBlit(dest, source, blendImage, transparent, form, settings, &choice)) return;
  const BlitRowsFunction rows = GetBlitRowsFunction(form, choice.family, choice.operation, choice.blendImage,
                                                    choice.plainBright, choice.sourceAlpha, choice.transparent);
  if (!rows) return;

  BlitCall call = {};
  PrepareBlitCall(source, blendImage, settings, &call);
  const ptrdiff_t offsetX = area.left - static_cast<ptrdiff_t>(x);
  const ptrdiff_t offsetY = area.top - static_cast<ptrdiff_t>(y);
  const int destBytes = GetMemImgBytesPerPixel(dest->Core);
  call.dest = dest->Pixels + area.top * static_cast<ptrdiff_t>(dest->Core->Pitch) + area.left * destBytes;
  call.destPitch = dest->Core->Pitch;
  call.source = source->Pixels + offsetY * call.sourcePitch + offsetX * GetMemImgBytesPerPixel(core);
  call.blend = blendImage ? blendImage->Pixels + offsetY * call.blendPitch + offsetX : nullptr;
  call.width = area.right - area.left;
  call.height = area.bottom - area.top;
  call.lineCodes = core->LineCodes;
  InvalidateMemImgDerivedData(dest);
  if (!RunVectorBlit(form, choice, call)) rows(call);
}
