// What triangle setup hands the span loops: edge functions on the 1/256 grid and the planes of
// the interpolated values. Shared by the plain span loop and the fast span paths, which must
// evaluate every value with the same arithmetic.
#pragma once

#include <cmath>

#include "d3d9/channel_math.h"
#include "d3d9/rasterizer.h"

namespace platform::d3d9 {

struct AttributePlane {
  double base = 0, dx = 0, dy = 0;
  double At(int px, int py, double x0, double y0) const { return base + dx * (px - x0) + dy * (py - y0); }
};

// What the fast span paths work out once per triangle: where the first stage's texels are and how
// to widen them to 8-bit A, R, G, B, and the per-channel factor the texels are multiplied by (255,
// which leaves a texel as it is, where a channel takes the texture alone).
struct FastSpanPlan {
  const uint8_t* texels = nullptr;
  size_t pitch = 0;
  int width = 0, height = 0;
  int bytesPerTexel = 4;
  const uint32_t* widen = nullptr;  // Texels narrower than 32 bits: their two byte tables.
  uint32_t textureFill = 0, targetFill = 0;
  bool modulateColor = false, modulateAlpha = false;
  bool modulate = false;         // Some factor is not 255 somewhere.
  bool constantDiffuse = false;  // `diffuse` holds for every pixel.
  int diffuse[4] = {255, 255, 255, 255};
  bool oneBitAlphaTest = false;  // As PipelineState::FastSpanState's.
};

struct TriangleSetup {
  double x0 = 0, y0 = 0;     // Vertex 0 in pixels (snapped), the planes' origin.
  bool perspective = false;  // 1/w differs between the vertices.
  AttributePlane q;          // 1/w (perspective only).
  AttributePlane z;
  bool gouraud = false;
  AttributePlane diffuse[4];  // B, G, R, A; when Gouraud.
  AttributePlane specular[4];
  int flatDiffuse[4] = {};
  int flatSpecular[4] = {};
  bool setUsed[kMaxTexCoordSets] = {};
  AttributePlane u[kMaxTexCoordSets], v[kMaxTexCoordSets];
  int level[kStageCount] = {};
  DWORD filter[kStageCount] = {};
  // Set with the fast span when the first stage's texture maps one texel to each pixel all over
  // the triangle: pixel (px, py) reads texel (px + unitTexelX, py + unitTexelY), as the plain
  // path's per-pixel formula would.
  bool unitTexels = false;
  int unitTexelX = 0, unitTexelY = 0;
  FastSpanPlan plan;
};

inline int RoundChannel(double value) {
  if (!(value > 0)) return 0;
  if (value >= 255) return 255;
  return static_cast<int>(value + 0.5);
}

// Fills `input` for pixel (px, py) from the setup: the one definition both paths use.
inline void InterpolatePixel(const TriangleSetup& setup, int px, int py, PixelInput* input) {
  double inverseQ = 1.0;
  if (setup.perspective) {
    double q = setup.q.At(px, py, setup.x0, setup.y0);
    inverseQ = q > 0 ? 1.0 / q : 0.0;
  }
  input->z = static_cast<float>(setup.z.At(px, py, setup.x0, setup.y0));
  for (int channel = 0; channel < 4; ++channel) {
    if (setup.gouraud) {
      input->diffuse[channel] = RoundChannel(setup.diffuse[channel].At(px, py, setup.x0, setup.y0) * inverseQ);
      input->specular[channel] = RoundChannel(setup.specular[channel].At(px, py, setup.x0, setup.y0) * inverseQ);
    } else {
      input->diffuse[channel] = setup.flatDiffuse[channel];
      input->specular[channel] = setup.flatSpecular[channel];
    }
  }
  for (int set = 0; set < kMaxTexCoordSets; ++set) {
    if (!setup.setUsed[set]) continue;
    input->u[set] = static_cast<float>(setup.u[set].At(px, py, setup.x0, setup.y0) * inverseQ);
    input->v[set] = static_cast<float>(setup.v[set].At(px, py, setup.x0, setup.y0) * inverseQ);
  }
  for (int stage = 0; stage < kStageCount; ++stage) {
    input->level[stage] = setup.level[stage];
    input->filter[stage] = setup.filter[stage];
  }
}

// A fast span path: draws pixels xl..xr of row py exactly as ShadePixel would.
typedef void (*FastSpanFunction)(const PipelineState& state, const TriangleSetup& setup, int py, int xl, int xr);

// The fast path for this state and triangle, or null for the plain path.
// left, top, right, bottom: the triangle's pixel bounds, inclusive.
FastSpanFunction FindFastSpan(const PipelineState& state, TriangleSetup* setup, int left, int top, int right,
                              int bottom);

// Whether the state is one the fast spans might draw a rectangle in (a quick test before any setup).
bool FastRectanglePossible(const PipelineState& state);
// Draws the pixels left..right, top..bottom of a rectangle made of two triangles (`halves`, set up
// but not yet given a fast span) as rows of texel runs, when that gives exactly what the halves
// would; false (nothing drawn) otherwise.
bool DrawFastRectangle(const PipelineState& state, TriangleSetup halves[2], int left, int top, int right, int bottom);

}  // namespace platform::d3d9
