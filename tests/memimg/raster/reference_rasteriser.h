// The rasteriser's plain reference path, for the tests only: the same geometry as the fast loops,
// with every pixel operation written straight from its formula (exact arithmetic, no tables, the
// packed add and subtract channel by channel) and every setting tested per pixel. The tests check
// that the table-driven loops give the same bytes.
#pragma once

#include "zyvel/memimg.h"

void MapMemImgTriangleReference(MEMIMG* dst, MEMIMG* src, const MemImgVertex vertices[3], int transparent,
                                MEMIMG* blendImage, unsigned color, const MemImgDrawSettings& drawSettings);
void FillMemImgBoxReference(MEMIMG* dst, const RECT* box, unsigned color, const MemImgDrawSettings& drawSettings);
void DrawMemImgLineReference(MEMIMG* dst, int x1, int y1, int x2, int y2, unsigned color,
                             const MemImgDrawSettings& drawSettings);
