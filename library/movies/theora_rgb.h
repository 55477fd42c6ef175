// A Theora picture's Y, U and V planes to 32-bit RGB (blue, green, red, 255 per pixel), BT.601 at
// studio range. 4:2:0 pictures go through integer tables, other chroma layouts per pixel in
// floating point; each pixel takes the chroma sample that covers it in its layout.
//
// The plain loops are the reference. Vector loops (SSE2, and AVX2 where the processor has it)
// write exactly the same bytes and run whenever they can; the plain loops finish each row's last
// pixels and take layouts the vector loops do not know.
#pragma once

#include <cstdint>

struct TheoraYuvPlanes {
  const uint8_t* planes[3];  // Y, U, V, each rows top to bottom at its stride.
  int yWidth, yHeight, yStride;
  int uvWidth, uvHeight, uvStride;
};

// Writes the top-left `width` x `height` pixels (at most the luma plane's size) at `pitch` bytes
// a row. The tables must have been built (InitTheoraColorTables).
void ConvertTheoraPlanesToRgb(const TheoraYuvPlanes& picture, uint8_t* pixels, int pitch, int width, int height);

// Which loops convert: the best the processor has (the default), or a lower level, so tests can
// compare each against the plain loops. A level the processor lacks falls back to SSE2.
enum TheoraRgbLevel { kTheoraRgbBest = 0, kTheoraRgbPlain, kTheoraRgbSse2, kTheoraRgbAvx2 };
void SetTheoraRgbLevel(TheoraRgbLevel level);
// The level conversions now run at (never kTheoraRgbBest).
TheoraRgbLevel GetTheoraRgbLevel();
