// The software rasteriser: the state one draw call runs with, and points, lines and triangles in
// screen space. Pixel rules are Direct3D 9's: sample points at integer coordinates, the top-left
// fill rule on a 1/256-pixel grid, flat shading from the first vertex of each primitive, then per
// pixel the texture stages, specular add, fog, alpha test, depth test, blending and write mask.
//
// Colour arithmetic is on 8-bit integers; every product of two channels is rounded to the nearest
// integer once ((x + 127) / 255), and blending rounds the sum of its two products once.
#pragma once

#include <cstdint>

#include "d3d9/resources.h"

namespace platform::d3d9 {

constexpr int kStageCount = 8;
constexpr int kMaxTextureLevels = 16;

struct SamplerSetup {
  const SurfaceStorage* levels[kMaxTextureLevels] = {};
  int levelCount = 0;  // 0: no texture bound.
  DWORD addressU = D3DTADDRESS_WRAP;
  DWORD addressV = D3DTADDRESS_WRAP;
  DWORD magFilter = D3DTEXF_POINT;
  DWORD minFilter = D3DTEXF_POINT;
  DWORD mipFilter = D3DTEXF_NONE;
  uint32_t borderColor = 0;
};

struct StageSetup {
  DWORD colorOp, colorArg1, colorArg2;
  DWORD alphaOp, alphaArg1, alphaArg2;
  DWORD resultArg;
  int texCoordSet;  // Which of the vertex's coordinate sets the stage samples with.
  SamplerSetup sampler;
};

struct PipelineState {
  SurfaceStorage* target = nullptr;
  SurfaceStorage* depth = nullptr;  // Null when the depth test is off or no depth surface is set.
  RECT clip{};                      // Viewport, scissor and target, intersected.
  bool flatShading = false;
  DWORD cullMode = D3DCULL_NONE;
  int stageCount = 0;  // Stages before the first disabled colour operation.
  StageSetup stages[kStageCount];
  uint32_t textureFactor = 0xFFFFFFFFu;
  bool specularEnable = false;
  bool fogEnable = false;
  uint32_t fogColor = 0;
  bool alphaTest = false;
  DWORD alphaFunc = D3DCMP_ALWAYS;
  uint32_t alphaReference = 0;
  bool depthWrite = false;
  DWORD depthFunc = D3DCMP_LESSEQUAL;
  bool blend = false;
  DWORD sourceBlend = D3DBLEND_ONE, destinationBlend = D3DBLEND_ZERO, blendOp = D3DBLENDOP_ADD;
  bool separateAlphaBlend = false;
  DWORD sourceBlendAlpha = D3DBLEND_ONE, destinationBlendAlpha = D3DBLEND_ZERO, blendOpAlpha = D3DBLENDOP_ADD;
  DWORD colorWriteMask = 0xF;
  bool lastPixel = true;
  bool fastPaths = true;  // Allow the table of fast span paths.
  // What the fast span paths make of the state, worked out once by PrepareFastSpans; a state not
  // prepared draws on the plain path.
  struct FastSpanState {
    bool prepared = false;
    bool served = false;  // A state the fast spans draw in (a triangle may still need the plain path).
    bool modulateColor = false, modulateAlpha = false;  // The stage's colour, alpha: texture times diffuse.
    bool sourceAlpha = false;                           // Blended by the source alpha, else opaque.
    int bytesPerTexel = 4;
    const uint32_t* widen = nullptr;  // Byte tables for textures narrower than 32 bits.
    bool oneBitAlphaTest = false;     // A1R5G5B5 texels through an alpha test passing 255 but not 0.
  } fastSpans;
};

// Fills state->fastSpans from the rest of the state.
void PrepareFastSpans(PipelineState* state);

constexpr int kMaxTexCoordSets = 8;

// A vertex after transformation: screen position, depth, 1/w, colours and texture coordinates.
// The fog factor rides in the specular alpha, as the platform does for transformed vertices.
struct ScreenVertex {
  float x, y, z, rhw;
  uint32_t diffuse, specular;
  float tex[kMaxTexCoordSets][2];
};

void DrawTriangle(const PipelineState& state, const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c);
// Two triangles that make one axis-aligned rectangle (a sprite's or a glyph's quad), drawn at once
// on the fast spans with exactly the bytes the two DrawTriangle calls would give. False, with
// nothing drawn, when they are not such a pair or the fast spans cannot draw it: the caller then
// draws the triangles.
bool DrawRectangle(const PipelineState& state, const ScreenVertex* const first[3], const ScreenVertex* const second[3]);
void DrawLine(const PipelineState& state, const ScreenVertex& a, const ScreenVertex& b, bool lastPixel);
void DrawPoint(const PipelineState& state, const ScreenVertex& a);

// The colour at one pixel before the per-pixel pipeline, and that pipeline itself (exposed for
// the fast paths, which must match it byte for byte).
struct PixelInput {
  int diffuse[4];  // B, G, R, A
  int specular[4];
  float z;
  float u[kMaxTexCoordSets];
  float v[kMaxTexCoordSets];
  int level[kStageCount];
  DWORD filter[kStageCount];
};
void ShadePixel(const PipelineState& state, const PixelInput& input, int x, int y);

}  // namespace platform::d3d9
