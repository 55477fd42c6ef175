// The edge plane of a glyph: the pixels an edge of a given size paints around the glyph's body.
#pragma once

#include <cstdint>

// Grows `edge` (width x height, overwritten) from `body` (levels 0/1, or 0-16 for anti-aliased
// glyphs). Kind 0: 1 wherever some body pixel reaches; 1: the anti-aliased combination of every
// level that reaches, 16 - (16 - e)(16 - level) / 16 at each step, rounded down (the device
// cache); 2: the highest level that reaches, less one (the byte cache's high nibble).
void GrowGlyphEdge(const uint8_t* body, int width, int height, int edgeSize, int kind, uint8_t* edge);
