// The pixel converter's options by name, and its internal switches.
#pragma once

#include <cstdint>

#include "zyvel/memimg.h"

enum ImageDitherMode : int {
  kDitherNone = 0,
  kDitherOrdered = 1,           // By `BayerDitherMatrix`.
  kDitherRunningRemainder = 2,  // The dropped low bits summed along the row.
};

// Everything a transfer can do beyond a plain copy; a default record is a plain copy, so a call
// names only what it switches on.
struct ImageTransferOptions {
  const uint8_t* alphaPixels = nullptr;  // A separate alpha image (its red channel), or null.
  int alphaPitch = 0;
  const ColorData* alphaColor = nullptr;
  int mirror = 0;         // Rows written right to left.
  int keyToAlpha = 0;     // The key colour gets alpha 0, every other colour full alpha.
  uint32_t keyColor = 0;  // 0x00RRGGBB; a palette index for palette sources with keySkip.
  int ditherMode = kDitherNone;
  int colorOff = 0;      // Red, green and blue written as 0.
  int alphaFromRed = 0;  // The output alpha is the source's red.
  int keySkip = 0;       // Destination pixels under the key colour are left alone.
  int paletteRemap = 0;  // 1-byte images with different palettes convert by nearest colour.
};

// TransferImagePixels with its options in a record; the same results.
int TransferImagePixels(uint8_t* dstPixels, int dstPitch, const ColorData* dstColor, const uint8_t* srcPixels,
                        int srcPitch, const ColorData* srcColor, int dstX, int dstY, const ImageTransferRect* srcRect,
                        const ImageTransferOptions& options);

// With 0 every transfer that would take a fast path takes the general path instead; tests use it
// to compare the two.
void EnableImageTransferFastPaths(int enable);
