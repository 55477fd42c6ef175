// The plain reference path of the software rasteriser: setup, span loop and per-pixel pipeline.
#include "d3d9/rasterizer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "d3d9/raster_setup.h"

namespace platform::d3d9 {

namespace {

constexpr double kSubpixels = 256.0;
constexpr float kLargestCoordinate = 524288.0f;  // 2^19 pixels keeps every edge product in 64 bits.

inline void UnpackColor(uint32_t argb, int out[4]) {
  out[0] = argb & 0xFF;
  out[1] = (argb >> 8) & 0xFF;
  out[2] = (argb >> 16) & 0xFF;
  out[3] = argb >> 24;
}

inline uint32_t PackColor(const int c[4]) {
  return static_cast<uint32_t>(c[0]) | (static_cast<uint32_t>(c[1]) << 8) | (static_cast<uint32_t>(c[2]) << 16) |
         (static_cast<uint32_t>(c[3]) << 24);
}

template <typename Value>
bool Compare(DWORD function, Value value, Value reference) {
  switch (function) {
    case D3DCMP_NEVER:
      return false;
    case D3DCMP_LESS:
      return value < reference;
    case D3DCMP_EQUAL:
      return value == reference;
    case D3DCMP_LESSEQUAL:
      return value <= reference;
    case D3DCMP_GREATER:
      return value > reference;
    case D3DCMP_NOTEQUAL:
      return value != reference;
    case D3DCMP_GREATEREQUAL:
      return value >= reference;
    default:
      return true;  // ALWAYS, and unknown values are tolerated as ALWAYS.
  }
}

// ---- Texture sampling ----

int AddressTexel(int i, int n, DWORD mode, bool* outside) {
  switch (mode) {
    case D3DTADDRESS_WRAP:
      i %= n;
      return i < 0 ? i + n : i;
    case D3DTADDRESS_MIRROR: {
      int period = 2 * n, m = i % period;
      if (m < 0) m += period;
      return m < n ? m : period - 1 - m;
    }
    case D3DTADDRESS_MIRRORONCE:
      if (i < 0) i = -i - 1;
      return std::min(i, n - 1);
    case D3DTADDRESS_BORDER:
      if (i < 0 || i >= n) *outside = true;
      return 0;
    default:
      return std::clamp(i, 0, n - 1);
  }
}

uint32_t FetchTexel(const SamplerSetup& sampler, const SurfaceStorage& level, int i, int j) {
  bool outside = false;
  int x = AddressTexel(i, static_cast<int>(level.width), sampler.addressU, &outside);
  int y = AddressTexel(j, static_cast<int>(level.height), sampler.addressV, &outside);
  if (outside) return sampler.borderColor;
  if (sampler.addressU == D3DTADDRESS_BORDER) x = i;
  if (sampler.addressV == D3DTADDRESS_BORDER) y = j;
  if (IsDxtFormat(level.format)) return ReadDxtTexelArgb(level.format, level.bytes.data(), level.pitch, x, y);
  return ReadPixelArgb(level.format,
                       level.Row(y) + static_cast<size_t>(x) * FindPixelFormat(level.format)->bytesPerPixel);
}

uint32_t SampleTexture(const SamplerSetup& sampler, int levelIndex, DWORD filter, float u, float v) {
  if (sampler.levelCount == 0) return 0xFFFFFFFFu;  // An unbound stage reads opaque white.
  const SurfaceStorage& level = *sampler.levels[levelIndex];
  double fu = static_cast<double>(u) * level.width, fv = static_cast<double>(v) * level.height;
  if (filter != D3DTEXF_LINEAR && filter != D3DTEXF_ANISOTROPIC) {
    if (!(std::fabs(fu) < 1e9) || !(std::fabs(fv) < 1e9)) return 0;
    return FetchTexel(sampler, level, static_cast<int>(std::floor(fu)), static_cast<int>(std::floor(fv)));
  }
  fu -= 0.5;
  fv -= 0.5;
  if (!(std::fabs(fu) < 1e9) || !(std::fabs(fv) < 1e9)) return 0;
  double floorU = std::floor(fu), floorV = std::floor(fv);
  double weightU = fu - floorU, weightV = fv - floorV;
  int i = static_cast<int>(floorU), j = static_cast<int>(floorV);
  uint32_t texels[4] = {FetchTexel(sampler, level, i, j), FetchTexel(sampler, level, i + 1, j),
                        FetchTexel(sampler, level, i, j + 1), FetchTexel(sampler, level, i + 1, j + 1)};
  double weights[4] = {(1 - weightU) * (1 - weightV), weightU * (1 - weightV), (1 - weightU) * weightV,
                       weightU * weightV};
  uint32_t result = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    double sum = 0;
    for (int k = 0; k < 4; ++k) sum += weights[k] * ((texels[k] >> shift) & 0xFF);
    result |= static_cast<uint32_t>(RoundChannel(sum)) << shift;
  }
  return result;
}

// ---- Texture stages ----

struct StageContext {
  const PipelineState& state;
  const PixelInput& input;
  int stage;
  int current[4];
  int temp[4];
  int texture[4];
  bool textureFetched;
  int factor[4];
};

void FetchArgument(StageContext& context, DWORD argument, int out[4]) {
  const int* source;
  switch (argument & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE:
      source = context.input.diffuse;
      break;
    case D3DTA_CURRENT:
      source = context.current;
      break;
    case D3DTA_TEXTURE: {
      if (!context.textureFetched) {
        const StageSetup& setup = context.state.stages[context.stage];
        int set = setup.texCoordSet;
        UnpackColor(SampleTexture(setup.sampler, context.input.level[context.stage],
                                  context.input.filter[context.stage], context.input.u[set], context.input.v[set]),
                    context.texture);
        context.textureFetched = true;
      }
      source = context.texture;
      break;
    }
    case D3DTA_TFACTOR:
    case D3DTA_CONSTANT:
      source = context.factor;
      break;
    case D3DTA_SPECULAR:
      source = context.input.specular;
      break;
    case D3DTA_TEMP:
      source = context.temp;
      break;
    default:
      source = context.current;
      break;
  }
  for (int channel = 0; channel < 4; ++channel) out[channel] = source[channel];
  if (argument & D3DTA_ALPHAREPLICATE) out[0] = out[1] = out[2] = out[3];
  if (argument & D3DTA_COMPLEMENT)
    for (int channel = 0; channel < 4; ++channel) out[channel] = 255 - out[channel];
}

int Operate(StageContext& context, DWORD op, int first, int second, int* textureAlpha) {
  auto blendBy = [&](int alpha) { return Div255(first * alpha + second * (255 - alpha)); };
  switch (op) {
    case D3DTOP_SELECTARG1:
      return first;
    case D3DTOP_SELECTARG2:
      return second;
    case D3DTOP_MODULATE:
      return Div255(first * second);
    case D3DTOP_MODULATE2X:
      return std::min(255, Div255(2 * first * second));
    case D3DTOP_MODULATE4X:
      return std::min(255, Div255(4 * first * second));
    case D3DTOP_ADD:
      return std::min(255, first + second);
    case D3DTOP_ADDSIGNED:
      return std::clamp(first + second - 128, 0, 255);
    case D3DTOP_ADDSIGNED2X:
      return std::clamp(2 * (first + second - 128), 0, 255);
    case D3DTOP_SUBTRACT:
      return std::max(0, first - second);
    case D3DTOP_ADDSMOOTH:
      return std::min(255, first + second - Div255(first * second));
    case D3DTOP_BLENDDIFFUSEALPHA:
      return blendBy(context.input.diffuse[3]);
    case D3DTOP_BLENDTEXTUREALPHA:
      return blendBy(*textureAlpha);
    case D3DTOP_BLENDFACTORALPHA:
      return blendBy(context.factor[3]);
    case D3DTOP_BLENDCURRENTALPHA:
      return blendBy(context.current[3]);
    case D3DTOP_BLENDTEXTUREALPHAPM:
      return std::min(255, first + Div255(second * (255 - *textureAlpha)));
    default:
      return first;  // Operations the device does not offer pass the first argument.
  }
}

bool UsesTexture(DWORD op, DWORD argument1, DWORD argument2) {
  if (op == D3DTOP_BLENDTEXTUREALPHA || op == D3DTOP_BLENDTEXTUREALPHAPM) return true;
  return (argument1 & D3DTA_SELECTMASK) == D3DTA_TEXTURE || (argument2 & D3DTA_SELECTMASK) == D3DTA_TEXTURE;
}

void RunStages(const PipelineState& state, const PixelInput& input, int out[4]) {
  StageContext context{state, input, 0, {}, {0, 0, 0, 0}, {}, false, {}};
  UnpackColor(state.textureFactor, context.factor);
  for (int channel = 0; channel < 4; ++channel) context.current[channel] = input.diffuse[channel];
  for (int stage = 0; stage < state.stageCount; ++stage) {
    const StageSetup& setup = state.stages[stage];
    context.stage = stage;
    context.textureFetched = false;
    int result[4];
    int textureAlpha = 0;
    if (setup.colorOp == D3DTOP_BLENDTEXTUREALPHA || setup.colorOp == D3DTOP_BLENDTEXTUREALPHAPM ||
        setup.alphaOp == D3DTOP_BLENDTEXTUREALPHA || setup.alphaOp == D3DTOP_BLENDTEXTUREALPHAPM) {
      int texture[4];
      FetchArgument(context, D3DTA_TEXTURE, texture);
      textureAlpha = texture[3];
    }
    int first[4], second[4];
    FetchArgument(context, setup.colorArg1, first);
    FetchArgument(context, setup.colorArg2, second);
    for (int channel = 0; channel < 3; ++channel)
      result[channel] = Operate(context, setup.colorOp, first[channel], second[channel], &textureAlpha);
    if (setup.alphaOp == D3DTOP_DISABLE) {
      result[3] = context.current[3];
    } else {
      FetchArgument(context, setup.alphaArg1, first);
      FetchArgument(context, setup.alphaArg2, second);
      result[3] = Operate(context, setup.alphaOp, first[3], second[3], &textureAlpha);
    }
    int* destination = (setup.resultArg & D3DTA_SELECTMASK) == D3DTA_TEMP ? context.temp : context.current;
    for (int channel = 0; channel < 4; ++channel) destination[channel] = result[channel];
  }
  for (int channel = 0; channel < 4; ++channel) out[channel] = context.current[channel];
}

// ---- Blending ----

int BlendFactor(DWORD factor, int channel, const int source[4], const int destination[4]) {
  switch (factor) {
    case D3DBLEND_ZERO:
      return 0;
    case D3DBLEND_ONE:
      return 255;
    case D3DBLEND_SRCCOLOR:
      return source[channel];
    case D3DBLEND_INVSRCCOLOR:
      return 255 - source[channel];
    case D3DBLEND_SRCALPHA:
      return source[3];
    case D3DBLEND_INVSRCALPHA:
      return 255 - source[3];
    case D3DBLEND_DESTALPHA:
      return destination[3];
    case D3DBLEND_INVDESTALPHA:
      return 255 - destination[3];
    case D3DBLEND_DESTCOLOR:
      return destination[channel];
    case D3DBLEND_INVDESTCOLOR:
      return 255 - destination[channel];
    case D3DBLEND_SRCALPHASAT:
      return channel == 3 ? 255 : std::min(source[3], 255 - destination[3]);
    default:
      return 255;
  }
}

int BlendChannel(DWORD op, DWORD sourceFactor, DWORD destinationFactor, int channel, const int source[4],
                 const int destination[4]) {
  int s = source[channel] * BlendFactor(sourceFactor, channel, source, destination);
  int d = destination[channel] * BlendFactor(destinationFactor, channel, source, destination);
  switch (op) {
    case D3DBLENDOP_SUBTRACT:
      return Div255(std::max(0, s - d));
    case D3DBLENDOP_REVSUBTRACT:
      return Div255(std::max(0, d - s));
    case D3DBLENDOP_MIN:
      return std::min(source[channel], destination[channel]);
    case D3DBLENDOP_MAX:
      return std::max(source[channel], destination[channel]);
    default:
      return std::min(255, Div255(s + d));
  }
}

// ---- Setup helpers ----

bool Usable(const ScreenVertex& vertex) {
  return std::isfinite(vertex.x) && std::isfinite(vertex.y) && std::isfinite(vertex.z) && std::isfinite(vertex.rhw) &&
         std::fabs(vertex.x) < kLargestCoordinate && std::fabs(vertex.y) < kLargestCoordinate;
}

// A usable coordinate in 1/256 pixels, rounded half away from zero as llround rounds, without
// the library call: below 2^19 pixels the scaled value is exact and below 2^27, so the truncation
// and the remainder are exact too.
inline int64_t SnapToSubpixels(float coordinate) {
  const double scaled = coordinate * kSubpixels;
  const int64_t whole = static_cast<int64_t>(scaled);
  const double rest = scaled - static_cast<double>(whole);
  return rest >= 0.5 ? whole + 1 : rest <= -0.5 ? whole - 1 : whole;
}

int64_t FloorDivide(int64_t numerator, int64_t denominator) {  // denominator > 0
  int64_t quotient = numerator / denominator;
  if ((numerator % denominator != 0) && (numerator < 0)) --quotient;
  return quotient;
}

AttributePlane MakePlane(const double x[3], const double y[3], const double value[3], double area) {
  AttributePlane plane;
  double d1 = value[1] - value[0], d2 = value[2] - value[0];
  plane.dx = (d1 * (y[2] - y[0]) - d2 * (y[1] - y[0])) / area;
  plane.dy = (d2 * (x[1] - x[0]) - d1 * (x[2] - x[0])) / area;
  plane.base = value[0];
  return plane;
}

void ChooseLevels(const PipelineState& state, TriangleSetup* setup) {
  for (int stage = 0; stage < state.stageCount; ++stage) {
    const SamplerSetup& sampler = state.stages[stage].sampler;
    setup->level[stage] = 0;
    setup->filter[stage] = sampler.magFilter;
    if (sampler.levelCount == 0) continue;
    // Neither filter blending texels and no smaller level to choose: the level of detail would
    // change nothing the pixels see.
    auto pointLike = [](DWORD filter) { return filter != D3DTEXF_LINEAR && filter != D3DTEXF_ANISOTROPIC; };
    if (pointLike(sampler.magFilter) && pointLike(sampler.minFilter) &&
        (sampler.mipFilter == D3DTEXF_NONE || sampler.levelCount == 1))
      continue;
    int set = state.stages[stage].texCoordSet;
    double width = sampler.levels[0]->width, height = sampler.levels[0]->height;
    double scaleX = std::hypot(setup->u[set].dx * width, setup->v[set].dx * height);
    double scaleY = std::hypot(setup->u[set].dy * width, setup->v[set].dy * height);
    double lod = std::log2(std::max(scaleX, scaleY));
    if (!(lod > 1e-6)) continue;
    setup->filter[stage] = sampler.minFilter;
    if (sampler.mipFilter == D3DTEXF_NONE || sampler.levelCount == 1) continue;
    setup->level[stage] = std::min(static_cast<int>(std::floor(lod + 0.5)), sampler.levelCount - 1);
  }
}

void MarkUsedSets(const PipelineState& state, TriangleSetup* setup) {
  for (int stage = 0; stage < state.stageCount; ++stage) {
    const StageSetup& stageSetup = state.stages[stage];
    if (stageSetup.sampler.levelCount == 0) continue;
    if (UsesTexture(stageSetup.colorOp, stageSetup.colorArg1, stageSetup.colorArg2) ||
        UsesTexture(stageSetup.alphaOp, stageSetup.alphaArg1, stageSetup.alphaArg2))
      setup->setUsed[stageSetup.texCoordSet] = true;
  }
}

}  // namespace

void ShadePixel(const PipelineState& state, const PixelInput& input, int x, int y) {
  int color[4];
  RunStages(state, input, color);
  if (state.specularEnable)
    for (int channel = 0; channel < 3; ++channel)
      color[channel] = std::min(255, color[channel] + input.specular[channel]);
  if (state.fogEnable) {
    int fog[4], factor = input.specular[3];
    UnpackColor(state.fogColor, fog);
    for (int channel = 0; channel < 3; ++channel)
      color[channel] = Div255(color[channel] * factor + fog[channel] * (255 - factor));
  }
  if (state.alphaTest && !Compare<int>(state.alphaFunc, color[3], static_cast<int>(state.alphaReference & 0xFF)))
    return;
  SurfaceStorage& target = *state.target;
  if (state.depth) {
    float& stored = state.depth->depth[static_cast<size_t>(y) * state.depth->width + x];
    float z = std::clamp(input.z, 0.0f, 1.0f);
    if (!Compare<float>(state.depthFunc, z, stored)) return;
    if (state.depthWrite) stored = z;
  }
  uint8_t* pixel = target.Row(y) + static_cast<size_t>(x) * FindPixelFormat(target.format)->bytesPerPixel;
  int destination[4];
  bool needDestination = state.blend || state.colorWriteMask != 0xF;
  if (needDestination) UnpackColor(ReadPixelArgb(target.format, pixel), destination);
  if (state.blend) {
    int blended[4];
    for (int channel = 0; channel < 3; ++channel)
      blended[channel] = BlendChannel(state.blendOp, state.sourceBlend, state.destinationBlend, channel, color,
                                      destination);
    blended[3] = state.separateAlphaBlend
                     ? BlendChannel(state.blendOpAlpha, state.sourceBlendAlpha, state.destinationBlendAlpha, 3, color,
                                    destination)
                     : BlendChannel(state.blendOp, state.sourceBlend, state.destinationBlend, 3, color, destination);
    for (int channel = 0; channel < 4; ++channel) color[channel] = blended[channel];
  }
  if (state.colorWriteMask != 0xF) {
    // The mask's bits are red 1, green 2, blue 4, alpha 8.
    const int maskBit[4] = {4, 2, 1, 8};
    for (int channel = 0; channel < 4; ++channel)
      if (!(state.colorWriteMask & maskBit[channel])) color[channel] = destination[channel];
  }
  WritePixelArgb(target.format, pixel, PackColor(color));
}

namespace {

// A triangle snapped to the 1/256 grid, turned clockwise (vertex 0, the flat-shading one, stays
// first), with its pixel bounds inside the clip rectangle.
struct SnappedTriangle {
  const ScreenVertex* vertex[3];
  int64_t X[3], Y[3];
  int64_t area;  // Twice the area, in 1/256 units squared; positive.
  int left, top, right, bottom;
};

// False when the triangle draws nothing: unusable coordinates, no area, culled, or outside the
// clip rectangle.
bool SnapTriangle(const PipelineState& state, const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                  SnappedTriangle* out) {
  if (!state.target || !Usable(a) || !Usable(b) || !Usable(c)) return false;
  SnappedTriangle& t = *out;
  t.vertex[0] = &a;
  t.vertex[1] = &b;
  t.vertex[2] = &c;
  for (int k = 0; k < 3; ++k) {
    t.X[k] = SnapToSubpixels(t.vertex[k]->x);
    t.Y[k] = SnapToSubpixels(t.vertex[k]->y);
  }
  t.area = (t.X[1] - t.X[0]) * (t.Y[2] - t.Y[0]) - (t.Y[1] - t.Y[0]) * (t.X[2] - t.X[0]);
  if (t.area == 0) return false;
  // A positive area is clockwise on the screen (y grows downwards).
  if ((state.cullMode == D3DCULL_CW && t.area > 0) || (state.cullMode == D3DCULL_CCW && t.area < 0)) return false;
  if (t.area < 0) {
    std::swap(t.vertex[1], t.vertex[2]);
    std::swap(t.X[1], t.X[2]);
    std::swap(t.Y[1], t.Y[2]);
    t.area = -t.area;
  }
  const RECT& clip = state.clip;
  const int64_t minX = std::min({t.X[0], t.X[1], t.X[2]}), maxX = std::max({t.X[0], t.X[1], t.X[2]});
  const int64_t minY = std::min({t.Y[0], t.Y[1], t.Y[2]}), maxY = std::max({t.Y[0], t.Y[1], t.Y[2]});
  t.left = static_cast<int>(std::max<int64_t>(clip.left, -FloorDivide(-minX, 256)));
  t.right = static_cast<int>(std::min<int64_t>(clip.right - 1, FloorDivide(maxX, 256)));
  t.top = static_cast<int>(std::max<int64_t>(clip.top, -FloorDivide(-minY, 256)));
  t.bottom = static_cast<int>(std::min<int64_t>(clip.bottom - 1, FloorDivide(maxY, 256)));
  return t.left <= t.right && t.top <= t.bottom;
}

// Interpolation planes, in pixels, from the snapped positions.
void SetUpPlanes(const PipelineState& state, const SnappedTriangle& t, TriangleSetup* out) {
  TriangleSetup& setup = *out;
  const ScreenVertex* const* vertex = t.vertex;
  double x[3], y[3];
  for (int k = 0; k < 3; ++k) {
    x[k] = t.X[k] / kSubpixels;
    y[k] = t.Y[k] / kSubpixels;
  }
  double areaPixels = t.area / (kSubpixels * kSubpixels);
  setup.x0 = x[0];
  setup.y0 = y[0];
  double q[3] = {vertex[0]->rhw, vertex[1]->rhw, vertex[2]->rhw};
  setup.perspective = !(q[0] == q[1] && q[1] == q[2]) && q[0] > 0 && q[1] > 0 && q[2] > 0;
  if (!setup.perspective) q[0] = q[1] = q[2] = 1.0;
  // Planes no pixel reads are left flat: 1/w without perspective, depth without a depth test,
  // and the specular colour without specular or fog.
  if (setup.perspective) setup.q = MakePlane(x, y, q, areaPixels);
  double values[3];
  if (state.depth) {
    for (int k = 0; k < 3; ++k) values[k] = vertex[k]->z;
    setup.z = MakePlane(x, y, values, areaPixels);
  }
  const bool specular = state.specularEnable || state.fogEnable;
  setup.gouraud = !state.flatShading;
  int flatDiffuse[4], flatSpecular[4];
  UnpackColor(vertex[0]->diffuse, flatDiffuse);
  UnpackColor(vertex[0]->specular, flatSpecular);
  // Without perspective, one diffuse colour at all three vertices is a plane that does not slope
  // (what MakePlane gives it, up to the sign of a zero slope).
  const bool uniformDiffuse = !setup.perspective && vertex[0]->diffuse == vertex[1]->diffuse &&
                              vertex[1]->diffuse == vertex[2]->diffuse;
  for (int channel = 0; channel < 4; ++channel) {
    setup.flatDiffuse[channel] = flatDiffuse[channel];
    setup.flatSpecular[channel] = flatSpecular[channel];
    if (!setup.gouraud) continue;
    if (uniformDiffuse) {
      setup.diffuse[channel] = AttributePlane{static_cast<double>(flatDiffuse[channel]), 0.0, 0.0};
    } else {
      for (int k = 0; k < 3; ++k) values[k] = ((vertex[k]->diffuse >> (8 * channel)) & 0xFF) * q[k];
      setup.diffuse[channel] = MakePlane(x, y, values, areaPixels);
    }
    if (!specular) continue;
    for (int k = 0; k < 3; ++k) values[k] = ((vertex[k]->specular >> (8 * channel)) & 0xFF) * q[k];
    setup.specular[channel] = MakePlane(x, y, values, areaPixels);
  }
  MarkUsedSets(state, &setup);
  for (int set = 0; set < kMaxTexCoordSets; ++set) {
    if (!setup.setUsed[set]) continue;
    for (int k = 0; k < 3; ++k) values[k] = vertex[k]->tex[set][0] * q[k];
    setup.u[set] = MakePlane(x, y, values, areaPixels);
    for (int k = 0; k < 3; ++k) values[k] = vertex[k]->tex[set][1] * q[k];
    setup.v[set] = MakePlane(x, y, values, areaPixels);
  }
  ChooseLevels(state, &setup);
}

// One snapped triangle with its planes, on its fast span when one serves it, else pixel by pixel.
void DrawSetUpTriangle(const PipelineState& state, const SnappedTriangle& snapped, TriangleSetup& setup);

}  // namespace

bool DrawRectangle(const PipelineState& state, const ScreenVertex* const first[3],
                   const ScreenVertex* const second[3]) {
  if (!state.fastPaths || !FastRectanglePossible(state)) return false;
  SnappedTriangle halves[2];
  if (!SnapTriangle(state, *first[0], *first[1], *first[2], &halves[0]) ||
      !SnapTriangle(state, *second[0], *second[1], *second[2], &halves[1]))
    return false;
  // The two must be the halves of one axis-aligned rectangle, cut along a diagonal: four corners
  // between them, each triangle on three, the two shared ones opposite. The top-left rule then
  // gives every pixel of the rectangle to exactly one half: those with L <= x * 256 < R and
  // T <= y * 256 < B.
  const int64_t L = std::min({halves[0].X[0], halves[0].X[1], halves[0].X[2]});
  const int64_t R = std::max({halves[0].X[0], halves[0].X[1], halves[0].X[2]});
  const int64_t T = std::min({halves[0].Y[0], halves[0].Y[1], halves[0].Y[2]});
  const int64_t B = std::max({halves[0].Y[0], halves[0].Y[1], halves[0].Y[2]});
  int corners[2] = {0, 0};  // Bit (2 * bottom + right) for each corner a half touches.
  for (int half = 0; half < 2; ++half)
    for (int k = 0; k < 3; ++k) {
      const int64_t X = halves[half].X[k], Y = halves[half].Y[k];
      if ((X != L && X != R) || (Y != T && Y != B)) return false;
      corners[half] |= 1 << ((Y == B ? 2 : 0) + (X == R ? 1 : 0));
    }
  // Three corners each (three of the four bits), together all four, sharing a diagonal.
  auto threeCorners = [](int bits) { return bits == 0b0111 || bits == 0b1011 || bits == 0b1101 || bits == 0b1110; };
  const int shared = corners[0] & corners[1];
  if (!threeCorners(corners[0]) || !threeCorners(corners[1]) || (corners[0] | corners[1]) != 15 ||
      (shared != 0b1001 && shared != 0b0110))
    return false;
  const RECT& clip = state.clip;
  const int left = static_cast<int>(std::max<int64_t>(clip.left, -FloorDivide(-L, 256)));
  const int right = static_cast<int>(std::min<int64_t>(clip.right - 1, FloorDivide(R - 1, 256)));
  const int top = static_cast<int>(std::max<int64_t>(clip.top, -FloorDivide(-T, 256)));
  const int bottom = static_cast<int>(std::min<int64_t>(clip.bottom - 1, FloorDivide(B - 1, 256)));
  if (left > right || top > bottom) return true;
  TriangleSetup setups[2];
  for (int half = 0; half < 2; ++half) SetUpPlanes(state, halves[half], &setups[half]);
  if (DrawFastRectangle(state, setups, left, top, right, bottom)) return true;
  // A stretched or turned picture, or one that reaches past its texture: the two halves as
  // triangles, from the set-up already made.
  for (int half = 0; half < 2; ++half) DrawSetUpTriangle(state, halves[half], setups[half]);
  return true;
}

void DrawTriangle(const PipelineState& state, const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c) {
  SnappedTriangle snapped;
  if (!SnapTriangle(state, a, b, c, &snapped)) return;
  TriangleSetup setup;
  SetUpPlanes(state, snapped, &setup);
  DrawSetUpTriangle(state, snapped, setup);
}

namespace {

void DrawSetUpTriangle(const PipelineState& state, const SnappedTriangle& snapped, TriangleSetup& setup) {
  const int64_t* X = snapped.X;
  const int64_t* Y = snapped.Y;
  const int left = snapped.left, right = snapped.right, top = snapped.top, bottom = snapped.bottom;

  // Edge k runs from vertex k to vertex k+1; the inside is where E >= threshold.
  int64_t stepX[3], threshold[3], dxs[3], dys[3];
  for (int k = 0; k < 3; ++k) {
    int next = (k + 1) % 3;
    dxs[k] = X[next] - X[k];
    dys[k] = Y[next] - Y[k];
    stepX[k] = -dys[k] * 256;
    bool topEdge = dys[k] == 0 && dxs[k] > 0;
    bool leftEdge = dys[k] < 0;
    threshold[k] = (topEdge || leftEdge) ? 0 : 1;
  }

  FastSpanFunction fastSpan = state.fastPaths ? FindFastSpan(state, &setup, left, top, right, bottom) : nullptr;
  PixelInput input{};
  // Each sloped edge bounds the span at floor((constant - threshold) / |stepX|). The constant grows
  // by dxs * 256 a row, so the quotient and remainder are carried from row to row instead of
  // divided afresh.
  int64_t quotient[3] = {}, remainder[3] = {}, rowQuotient[3] = {}, rowRemainder[3] = {};
  for (int k = 0; k < 3; ++k) {
    if (stepX[k] == 0) continue;
    const int64_t divisor = stepX[k] > 0 ? stepX[k] : -stepX[k];
    const int64_t numerator = dxs[k] * (static_cast<int64_t>(top) * 256 - Y[k]) + dys[k] * X[k] - threshold[k];
    quotient[k] = FloorDivide(numerator, divisor);
    remainder[k] = numerator - quotient[k] * divisor;
    rowQuotient[k] = FloorDivide(dxs[k] * 256, divisor);
    rowRemainder[k] = dxs[k] * 256 - rowQuotient[k] * divisor;
  }
  for (int py = top; py <= bottom; ++py) {
    int64_t spanLeft = left, spanRight = right;
    for (int k = 0; k < 3; ++k) {
      if (stepX[k] > 0) {
        spanLeft = std::max(spanLeft, -quotient[k]);
      } else if (stepX[k] < 0) {
        spanRight = std::min(spanRight, quotient[k]);
      } else {
        const int64_t constant = dxs[k] * (static_cast<int64_t>(py) * 256 - Y[k]) + dys[k] * X[k];
        if (constant < threshold[k]) spanLeft = spanRight + 1;
      }
    }
    for (int k = 0; k < 3; ++k) {
      if (stepX[k] == 0) continue;
      quotient[k] += rowQuotient[k];
      remainder[k] += rowRemainder[k];
      const int64_t divisor = stepX[k] > 0 ? stepX[k] : -stepX[k];
      if (remainder[k] >= divisor) {
        remainder[k] -= divisor;
        ++quotient[k];
      }
    }
    if (spanLeft > spanRight) continue;
    if (fastSpan) {
      fastSpan(state, setup, py, static_cast<int>(spanLeft), static_cast<int>(spanRight));
      continue;
    }
    for (int px = static_cast<int>(spanLeft); px <= spanRight; ++px) {
      InterpolatePixel(setup, px, py, &input);
      ShadePixel(state, input, px, py);
    }
  }
}

void ShadeVertexAt(const PipelineState& state, const ScreenVertex& from, const ScreenVertex& to, double t,
                   const ScreenVertex& flat, int px, int py) {
  if (px < state.clip.left || px >= state.clip.right || py < state.clip.top || py >= state.clip.bottom) return;
  PixelInput input{};
  input.z = static_cast<float>(from.z + (to.z - from.z) * t);
  for (int channel = 0; channel < 4; ++channel) {
    int shift = 8 * channel;
    if (state.flatShading) {
      input.diffuse[channel] = (flat.diffuse >> shift) & 0xFF;
      input.specular[channel] = (flat.specular >> shift) & 0xFF;
    } else {
      double d0 = (from.diffuse >> shift) & 0xFF, d1 = (to.diffuse >> shift) & 0xFF;
      double s0 = (from.specular >> shift) & 0xFF, s1 = (to.specular >> shift) & 0xFF;
      input.diffuse[channel] = RoundChannel(d0 + (d1 - d0) * t);
      input.specular[channel] = RoundChannel(s0 + (s1 - s0) * t);
    }
  }
  for (int set = 0; set < kMaxTexCoordSets; ++set) {
    input.u[set] = static_cast<float>(from.tex[set][0] + (to.tex[set][0] - from.tex[set][0]) * t);
    input.v[set] = static_cast<float>(from.tex[set][1] + (to.tex[set][1] - from.tex[set][1]) * t);
  }
  for (int stage = 0; stage < kStageCount; ++stage) {
    input.level[stage] = 0;
    input.filter[stage] = state.stages[stage].sampler.magFilter;
  }
  ShadePixel(state, input, px, py);
}
}  // namespace

void DrawPoint(const PipelineState& state, const ScreenVertex& a) {
  if (!state.target || !Usable(a)) return;
  int px = static_cast<int>(std::ceil(a.x - 0.5f)), py = static_cast<int>(std::ceil(a.y - 0.5f));
  ShadeVertexAt(state, a, a, 0.0, a, px, py);
}

void DrawLine(const PipelineState& state, const ScreenVertex& a, const ScreenVertex& b, bool lastPixel) {
  if (!state.target || !Usable(a) || !Usable(b)) return;
  // Steps along the major axis one pixel at a time; the minor coordinate is rounded at each
  // pixel centre. The end pixel is drawn only when the last-pixel state asks for it.
  double dx = b.x - a.x, dy = b.y - a.y;
  bool xMajor = std::fabs(dx) >= std::fabs(dy);
  double start = xMajor ? a.x : a.y, end = xMajor ? b.x : b.y;
  if (start == end && (xMajor ? dy : dx) == 0) return;
  int first = static_cast<int>(std::floor(start + 0.5)), last = static_cast<int>(std::floor(end + 0.5));
  int step = last >= first ? 1 : -1;
  int count = std::abs(last - first) + (lastPixel ? 1 : 0);
  double length = end - start;
  for (int i = 0; i < count; ++i) {
    int major = first + i * step;
    double t = length != 0 ? std::clamp((major - start) / length, 0.0, 1.0) : 0.0;
    double minor = xMajor ? a.y + dy * t : a.x + dx * t;
    int minorPixel = static_cast<int>(std::floor(minor + 0.5));
    if (xMajor)
      ShadeVertexAt(state, a, b, t, a, major, minorPixel);
    else
      ShadeVertexAt(state, a, b, t, a, minorPixel, major);
  }
}

}  // namespace platform::d3d9
