// The software path's drawing entry points and the colour values every drawer meets: the graph
// and box drawers reach the MEMIMG blits and rasteriser through these thin calls (into the
// current draw-target image, weighted by the blend graph's image when one is set); the setters
// of the blend mode and draw-bright colour keep the hardware path's vertex colour in step.
#pragma once

#include <cstdint>

#include "graphics/graphs/graph_records.h"
#include "zyvel/graphics.h"

// The record the movie drawing clears before use.
struct DrawEffectRecord {
  uint8_t Bytes[380];
};

int DrawGraphSoftware(int x, int y, int transparent, GraphRecord* graph);
int DrawGraphStretchedSoftware(int x1, int y1, int x2, int y2, GraphRecord* graph, int transparent);
// Corners top-left, top-right, bottom-left, bottom-right.
int DrawGraphQuadSoftware(GraphRecord* graph, int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4,
                          int transparent);
int DrawGraphQuadSoftwareF(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                           GraphRecord* graph, int transparent);
int FillBoxSoftware(int x1, int y1, int x2, int y2, unsigned color);
// Replaces the draw-bright colour with the low 24 bits (0xRRGGBB) of the word.
void SetDrawBrightColor(uint32_t color);
// The 2D vertex colour (D3DCOLOR) the draw state asks for.
uint32_t ComputeVertexColor();
// 0 when the blend graph is live and at least as large as the graph, else -1.
int CheckBlendGraphCovers(const GraphRecord* graph);
// Row vector times the matrix: the point with w = 1, the direction without the translation.
Vector3* TransformPoint(Vector3* out, const Vector3* in, const Matrix4* matrix);
Vector3* TransformDirection(Vector3* out, const Vector3* in, const Matrix4* matrix);
DrawEffectRecord* ResetDrawEffectRecord(DrawEffectRecord* record);
