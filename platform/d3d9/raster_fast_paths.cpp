// Fast span paths of the rasteriser, as a table: each entry names the state it serves and a span
// function that gives exactly the plain path's bytes there (a differential test holds them to
// it). They cover the 2D picture draws: one point-sampled, clamped 32-bit texture, taken as is
// or modulated by the diffuse colour, onto a 32-bit target, opaque or alpha-blended.
#include <algorithm>
#include <cstring>

#include "d3d9/raster_setup.h"

namespace platform::d3d9 {

namespace {

enum class StageKind { TextureOnly, TextureTimesDiffuse, Other };
enum class BlendKind { Opaque, SourceAlpha, Other };

bool IsArgument(DWORD argument, DWORD which) { return argument == which; }

StageKind ClassifyStage(const StageSetup& stage) {
  auto isModulate = [](DWORD op, DWORD first, DWORD second) {
    return op == D3DTOP_MODULATE && ((IsArgument(first, D3DTA_TEXTURE) && IsArgument(second, D3DTA_DIFFUSE)) ||
                                     (IsArgument(first, D3DTA_DIFFUSE) && IsArgument(second, D3DTA_TEXTURE)));
  };
  auto isTexture = [](DWORD op, DWORD first, DWORD second) {
    return (op == D3DTOP_SELECTARG1 && IsArgument(first, D3DTA_TEXTURE)) ||
           (op == D3DTOP_SELECTARG2 && IsArgument(second, D3DTA_TEXTURE));
  };
  if (isModulate(stage.colorOp, stage.colorArg1, stage.colorArg2) &&
      isModulate(stage.alphaOp, stage.alphaArg1, stage.alphaArg2))
    return StageKind::TextureTimesDiffuse;
  if (isTexture(stage.colorOp, stage.colorArg1, stage.colorArg2) &&
      isTexture(stage.alphaOp, stage.alphaArg1, stage.alphaArg2))
    return StageKind::TextureOnly;
  return StageKind::Other;
}

BlendKind ClassifyBlend(const PipelineState& state) {
  if (!state.blend) return BlendKind::Opaque;
  if (state.separateAlphaBlend) return BlendKind::Other;
  if (state.sourceBlend == D3DBLEND_SRCALPHA && state.destinationBlend == D3DBLEND_INVSRCALPHA &&
      state.blendOp == D3DBLENDOP_ADD)
    return BlendKind::SourceAlpha;
  return BlendKind::Other;
}

bool Is32BitRgb(D3DFORMAT format) { return format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8; }

inline uint32_t Load32(const uint8_t* p) {
  uint32_t value;
  std::memcpy(&value, p, 4);
  return value;
}

template <StageKind stageKind, BlendKind blendKind>
void TexturedSpan(const PipelineState& state, const TriangleSetup& setup, int py, int xl, int xr) {
  const StageSetup& stage = state.stages[0];
  const SurfaceStorage& texture = *stage.sampler.levels[0];
  const uint32_t textureAlphaFill = texture.format == D3DFMT_X8R8G8B8 ? 0xFF000000u : 0;
  const uint32_t targetAlphaFill = state.target->format == D3DFMT_X8R8G8B8 ? 0xFF000000u : 0;
  const int set = stage.texCoordSet;
  const int width = static_cast<int>(texture.width), height = static_cast<int>(texture.height);
  const int reference = static_cast<int>(state.alphaReference & 0xFF);
  uint8_t* row = state.target->Row(py);
  int diffuse[4] = {setup.flatDiffuse[0], setup.flatDiffuse[1], setup.flatDiffuse[2], setup.flatDiffuse[3]};
  for (int px = xl; px <= xr; ++px) {
    // Only the values this path reads, each by the plain path's formula (no perspective here, so
    // 1/w is 1), so rounding and addressing come out the same.
    if (stageKind == StageKind::TextureTimesDiffuse && setup.gouraud)
      for (int channel = 0; channel < 4; ++channel)
        diffuse[channel] = RoundChannel(setup.diffuse[channel].At(px, py, setup.x0, setup.y0));
    float u = static_cast<float>(setup.u[set].At(px, py, setup.x0, setup.y0));
    float v = static_cast<float>(setup.v[set].At(px, py, setup.x0, setup.y0));
    double fu = static_cast<double>(u) * width, fv = static_cast<double>(v) * height;
    int tx = 0, ty = 0;
    if (std::fabs(fu) < 1e9 && std::fabs(fv) < 1e9) {
      tx = std::clamp(static_cast<int>(std::floor(fu)), 0, width - 1);
      ty = std::clamp(static_cast<int>(std::floor(fv)), 0, height - 1);
    }
    uint32_t texel = (std::fabs(fu) < 1e9 && std::fabs(fv) < 1e9)
                         ? (Load32(texture.Row(ty) + static_cast<size_t>(tx) * 4) | textureAlphaFill)
                         : 0;
    int color[4];
    for (int channel = 0; channel < 4; ++channel) {
      int t = (texel >> (8 * channel)) & 0xFF;
      color[channel] = stageKind == StageKind::TextureTimesDiffuse ? Div255(t * diffuse[channel]) : t;
    }
    if (state.alphaTest) {
      bool pass;
      switch (state.alphaFunc) {
        case D3DCMP_NEVER:
          pass = false;
          break;
        case D3DCMP_LESS:
          pass = color[3] < reference;
          break;
        case D3DCMP_EQUAL:
          pass = color[3] == reference;
          break;
        case D3DCMP_LESSEQUAL:
          pass = color[3] <= reference;
          break;
        case D3DCMP_GREATER:
          pass = color[3] > reference;
          break;
        case D3DCMP_NOTEQUAL:
          pass = color[3] != reference;
          break;
        case D3DCMP_GREATEREQUAL:
          pass = color[3] >= reference;
          break;
        default:
          pass = true;
          break;
      }
      if (!pass) continue;
    }
    uint8_t* pixel = row + static_cast<size_t>(px) * 4;
    if (blendKind == BlendKind::SourceAlpha) {
      uint32_t destination = Load32(pixel) | targetAlphaFill;
      int alpha = color[3];
      for (int channel = 0; channel < 4; ++channel) {
        int d = (destination >> (8 * channel)) & 0xFF;
        color[channel] = std::min(255, Div255(color[channel] * alpha + d * (255 - alpha)));
      }
    }
    uint32_t out = static_cast<uint32_t>(color[0]) | (static_cast<uint32_t>(color[1]) << 8) |
                   (static_cast<uint32_t>(color[2]) << 16) | (static_cast<uint32_t>(color[3]) << 24);
    out |= targetAlphaFill;
    std::memcpy(pixel, &out, 4);
  }
}

struct FastSpanEntry {
  StageKind stage;
  BlendKind blend;
  FastSpanFunction span;
};

const FastSpanEntry kFastSpans[] = {
    {StageKind::TextureOnly, BlendKind::Opaque, TexturedSpan<StageKind::TextureOnly, BlendKind::Opaque>},
    {StageKind::TextureOnly, BlendKind::SourceAlpha, TexturedSpan<StageKind::TextureOnly, BlendKind::SourceAlpha>},
    {StageKind::TextureTimesDiffuse, BlendKind::Opaque,
     TexturedSpan<StageKind::TextureTimesDiffuse, BlendKind::Opaque>},
    {StageKind::TextureTimesDiffuse, BlendKind::SourceAlpha,
     TexturedSpan<StageKind::TextureTimesDiffuse, BlendKind::SourceAlpha>},
};

}  // namespace

FastSpanFunction FindFastSpan(const PipelineState& state, const TriangleSetup& setup) {
  if (!Is32BitRgb(state.target->format) || state.depth || state.specularEnable || state.fogEnable ||
      state.colorWriteMask != 0xF || state.stageCount != 1 || setup.perspective)
    return nullptr;
  const StageSetup& stage = state.stages[0];
  const SamplerSetup& sampler = stage.sampler;
  if (sampler.levelCount == 0 || !Is32BitRgb(sampler.levels[0]->format) || setup.level[0] != 0 ||
      (setup.filter[0] != D3DTEXF_POINT && setup.filter[0] != D3DTEXF_NONE) || sampler.addressU != D3DTADDRESS_CLAMP ||
      sampler.addressV != D3DTADDRESS_CLAMP || (stage.resultArg & D3DTA_SELECTMASK) == D3DTA_TEMP)
    return nullptr;
  StageKind stageKind = ClassifyStage(stage);
  BlendKind blendKind = ClassifyBlend(state);
  for (const FastSpanEntry& entry : kFastSpans)
    if (entry.stage == stageKind && entry.blend == blendKind) return entry.span;
  return nullptr;
}

}  // namespace platform::d3d9
