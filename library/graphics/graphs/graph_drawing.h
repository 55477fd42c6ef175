// Graph drawing beyond the public calls: many rectangles of one graph in one device preparation.
#pragma once

// One rectangle of a graph: the part (sourceX, sourceY, width, height) of it drawn at (x, y), as
// DrawGraphRect takes it.
struct GraphRectPiece {
  int x, y;
  int sourceX, sourceY;
  int width, height;
};

// Draws the rectangles of a texture graph as DrawGraphRect would draw them one after another
// (transparent, not mirrored): the same vertices in the same order, after one preparation of the
// device instead of one per rectangle. -1, with nothing drawn, when the draws need what only the
// single call does (the software path, a mask, the subtract emulation, a blend graph, a movie) or
// the device cannot draw; the caller then draws them one by one.
int DrawGraphRectsOnDevice(int graph, const GraphRectPiece* pieces, int count);
