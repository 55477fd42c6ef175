// `BlitMemImgToRect`: a whole MEMIMG drawn scaled into a rectangle, mirrored when the corners
// come reversed, clipped to the draw area (and to the destination). Source positions are stepped
// in 16.16 fixed point with additions only; the same-size, unmirrored case is the unscaled blit's.
//
// Sources beyond 65536 pixels on a side are refused: the stepping would leave them.
#include <climits>

#include "memimg/blit_setup.h"
#include "memimg/blit_vector.h"

void BlitMemImgToRect(MEMIMG* dest, const MEMIMG* source, const int rect[4], int transparent, const MEMIMG* blendImage,
                      const MemImgDrawSettings& settings) {
  if (!IsMemImgValid(dest) || !IsMemImgValid(source)) return;
  const int left = rect[0] < rect[2] ? rect[0] : rect[2];
  const int right = rect[0] < rect[2] ? rect[2] : rect[0];
  const int top = rect[1] < rect[3] ? rect[1] : rect[3];
  const int bottom = rect[1] < rect[3] ? rect[3] : rect[1];
  const int directionX = rect[0] > rect[2] ? -1 : 1;
  const int directionY = rect[1] > rect[3] ? -1 : 1;
  const int64_t width = static_cast<int64_t>(right) - left;
  const int64_t height = static_cast<int64_t>(bottom) - top;
  if (width == 0 || height == 0) return;
  if (width == source->Width && height == source->Height && directionX > 0 && directionY > 0) {
    BlitMemImgAt(dest, source, left, top, transparent, blendImage, settings);
    return;
  }
  if (source->Width <= 0 || source->Height <= 0 || source->Width > 65536 || source->Height > 65536) return;

  // Destination pixels per source pixel, 16.16.
  const int64_t stepX = (width << 16) / source->Width;
  const int64_t stepY = (height << 16) / source->Height;
  if (stepX == 0 || stepY == 0) return;

  RECT area = {left, top, right, bottom};
  ClipRectToRect(&area, &settings.DrawArea);
  const RECT whole = {0, 0, dest->Width, dest->Height};
  ClipRectToRect(&area, &whole);
  if (area.left >= area.right || area.top >= area.bottom) return;

  BlitChoice choice;
  if (!ChooseBlit(dest, source, blendImage, transparent, kFormStretched, settings, &choice)) return;
  const BlitRowsFunction rows = GetBlitRowsFunction(kFormStretched, choice.family, choice.operation, choice.blendImage,
                                                    choice.plainBright, choice.sourceAlpha, choice.transparent);
  if (!rows) return;

  BlitCall call = {};
  PrepareBlitCall(source, blendImage, settings, &call);
  // Where the unclipped stepping stands at the clipped corner: whole source pixels and the
  // remainder that starts the error terms.
  const int64_t skippedX = (static_cast<int64_t>(area.left) - left) << 16;
  const int64_t skippedY = (static_cast<int64_t>(area.top) - top) << 16;
  const int64_t offsetX = skippedX / stepX;
  const int64_t offsetY = skippedY / stepY;
  call.startErrorX = stepX - skippedX % stepX;
  call.startErrorY = stepY - skippedY % stepY;
  call.stepX = stepX;
  call.stepY = stepY;
  call.directionX = directionX;
  call.directionY = directionY;
  call.startColumn = static_cast<int>(directionX > 0 ? offsetX : source->Width - 1 - offsetX);
  call.startRow = static_cast<int>(directionY > 0 ? offsetY : source->Height - 1 - offsetY);

  const int destBytes = GetMemImgBytesPerPixel(dest->Core);
  call.dest = dest->Pixels + area.top * static_cast<ptrdiff_t>(dest->Core->Pitch) + area.left * destBytes;
  call.destPitch = dest->Core->Pitch;
  call.source = source->Pixels;
  call.blend = blendImage ? blendImage->Pixels : nullptr;
  call.width = area.right - area.left;
  call.height = area.bottom - area.top;
  InvalidateMemImgDerivedData(dest);
  if (!RunVectorBlit(kFormStretched, choice, call)) rows(call);
}
