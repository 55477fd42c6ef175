// Blend modes: the numbers `DrawState.BlendMode` holds and `SetDrawBlendMode` takes. The device
// path's blend table has one row per mode; the software blits and rasteriser draw only the seven
// modes that callers see by name (zyvel/graphics.h) and draw nothing in the device-only ones.
#pragma once

#include "zyvel/graphics.h"

enum DrawBlendMode : int {
  kBlendCopy = BLEND_MODE_COPY,                     // Source over destination, no blending.
  kBlendAlpha = BLEND_MODE_ALPHA,                   // Toward the source by the blend parameter.
  kBlendAdd = BLEND_MODE_ADD,                       // Source x parameter added, saturating.
  kBlendSubtract = BLEND_MODE_SUBTRACT,             // Source x parameter subtracted, down to 0.
  kBlendMultiply = BLEND_MODE_MULTIPLY,             // Source x destination.
  kBlendDeviceAdd = 5,                              // The add the subtract emulation draws with.
  kBlendDeviceOpaque = 6,                           // Blending off.
  kBlendDeviceKeepFactors = 7,                      // Blending on with the factors already set.
  kBlendKeepDestination = 8,                        // Source x 0 + destination.
  kBlendInvertDestination = 9,                      // Source x (1 - destination).
  kBlendInvertedAlpha = BLEND_MODE_INVERTED_ALPHA,  // Toward the inverted source by the parameter.
  kBlendProductAlpha = BLEND_MODE_PRODUCT_ALPHA,    // Toward source x destination by the parameter.
  kBlendReverseSubtract = 12,                       // Destination - source x alpha.
  kBlendModeCount = 13,                             // Rows of the device path's blend table.
};

// Subtraction on a device without the reverse-subtract operation: Begin inverts the rectangle and
// leaves the device's add mode for the draw, End inverts it again and puts the subtract mode back;
// destination - source is the inverse of (inverse of destination + source). The parameter is kept.
void BeginSubtractEmulation(const RECT& area);
void EndSubtractEmulation(const RECT& area);
// True when a draw through the device in the current mode needs the emulation.
bool NeedsSubtractEmulation();
// Runs a draw through the device, inside the emulation's brackets where it needs them.
template <typename Draw>
int DrawWithSubtractEmulation(const RECT& area, Draw draw) {
  if (!NeedsSubtractEmulation()) return draw();
  BeginSubtractEmulation(area);
  const int result = draw();
  EndSubtractEmulation(area);
  return result;
}
