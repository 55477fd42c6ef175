// Drawing on the software device: vertex layouts, vertex processing (transform, viewport, vertex
// fog, texture transforms; no lighting), primitive assembly, and the per-draw pipeline state.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "d3d9/device.h"

namespace platform::d3d9 {

namespace {

constexpr UINT kMaxPrimitiveCount = 0xFFFFF;  // As the caps report.

float ReadFloat(const uint8_t* p) {
  float value;
  std::memcpy(&value, p, 4);
  return value;
}

uint32_t ReadDword(const uint8_t* p) {
  uint32_t value;
  std::memcpy(&value, p, 4);
  return value;
}

void Transform(const float in[4], const D3DMATRIX& m, float out[4]) {
  for (int column = 0; column < 4; ++column)
    out[column] = in[0] * m.m[0][column] + in[1] * m.m[1][column] + in[2] * m.m[2][column] + in[3] * m.m[3][column];
}

float FloatFromBits(DWORD bits) {
  float value;
  std::memcpy(&value, &bits, 4);
  return value;
}

UINT VertexCountFor(D3DPRIMITIVETYPE type, UINT primitives) {
  switch (type) {
    case D3DPT_POINTLIST:
      return primitives;
    case D3DPT_LINELIST:
      return primitives * 2;
    case D3DPT_LINESTRIP:
      return primitives + 1;
    case D3DPT_TRIANGLELIST:
      return primitives * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
      return primitives + 2;
    default:
      return 0;
  }
}

// A draw's indices widened to 32 bits: on the stack for the few of a sprite, else on the heap.
struct IndexList {
  explicit IndexList(UINT count) {
    if (count > kLocalCount) {
      heap.resize(count);
      data = heap.data();
    }
  }
  IndexList(const IndexList&) = delete;
  IndexList& operator=(const IndexList&) = delete;
  static constexpr UINT kLocalCount = 64;
  uint32_t local[kLocalCount];
  std::vector<uint32_t> heap;
  uint32_t* data = local;
};

}  // namespace

VertexLayout LayoutFromFvf(DWORD fvf) {
  VertexLayout layout;
  UINT offset = 0;
  switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ:
      offset = 12;
      break;
    case D3DFVF_XYZRHW:
      offset = 16;
      layout.transformed = true;
      break;
    case D3DFVF_XYZW:
      offset = 16;
      break;
    case D3DFVF_XYZB1:
      offset = 16;
      break;
    case D3DFVF_XYZB2:
      offset = 20;
      break;
    case D3DFVF_XYZB3:
      offset = 24;
      break;
    case D3DFVF_XYZB4:
      offset = 28;
      break;
    case D3DFVF_XYZB5:
      offset = 32;
      break;
    default:
      return layout;
  }
  if ((fvf & D3DFVF_XYZRHW) && (fvf & D3DFVF_NORMAL)) return layout;  // Transformed vertices carry no normal.
  if (fvf & D3DFVF_NORMAL) offset += 12;
  if (fvf & D3DFVF_PSIZE) offset += 4;
  if (fvf & D3DFVF_DIFFUSE) {
    layout.diffuse = static_cast<int>(offset);
    offset += 4;
  }
  if (fvf & D3DFVF_SPECULAR) {
    layout.specular = static_cast<int>(offset);
    offset += 4;
  }
  int count = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
  if (count > kMaxTexCoordSets) return layout;
  layout.texCount = count;
  for (int set = 0; set < count; ++set) {
    static const int kDimensions[4] = {2, 3, 4, 1};
    int dimensions = kDimensions[(fvf >> (set * 2 + 16)) & 3];
    layout.texOffset[set] = static_cast<int>(offset);
    layout.texDimensions[set] = dimensions;
    offset += 4 * dimensions;
  }
  layout.size = offset;
  layout.valid = true;
  return layout;
}

VertexLayout LayoutFromDeclaration(const std::vector<D3DVERTEXELEMENT9>& elements) {
  static const int kTypeSizes[] = {4, 8, 12, 16, 4, 4, 4, 8, 4, 4, 4, 8, 4, 8, 4, 4, 8};
  VertexLayout layout;
  bool position = false;
  for (const D3DVERTEXELEMENT9& element : elements) {
    if (element.Stream != 0 || element.Type >= D3DDECLTYPE_UNUSED) continue;
    layout.size = std::max<UINT>(layout.size, element.Offset + kTypeSizes[element.Type]);
    if ((element.Usage == D3DDECLUSAGE_POSITION || element.Usage == D3DDECLUSAGE_POSITIONT) &&
        element.UsageIndex == 0 && (element.Type == D3DDECLTYPE_FLOAT3 || element.Type == D3DDECLTYPE_FLOAT4)) {
      position = true;
      layout.position = element.Offset;
      layout.transformed = element.Usage == D3DDECLUSAGE_POSITIONT;
    } else if (element.Usage == D3DDECLUSAGE_COLOR && element.Type == D3DDECLTYPE_D3DCOLOR) {
      (element.UsageIndex == 0 ? layout.diffuse : layout.specular) = element.Offset;
    } else if (element.Usage == D3DDECLUSAGE_TEXCOORD && element.UsageIndex < kMaxTexCoordSets &&
               element.Type <= D3DDECLTYPE_FLOAT4) {
      layout.texOffset[element.UsageIndex] = element.Offset;
      layout.texDimensions[element.UsageIndex] = element.Type + 1;
      layout.texCount = std::max(layout.texCount, element.UsageIndex + 1);
    }
  }
  layout.valid = position;
  return layout;
}

bool Device::TransformVertex(const VertexLayout& layout, const uint8_t* vertex, ScreenVertex* out) {
  const uint8_t* position = vertex + layout.position;
  float eyeZ = 0.0f;
  if (layout.transformed) {
    out->x = ReadFloat(position);
    out->y = ReadFloat(position + 4);
    out->z = ReadFloat(position + 8);
    out->rhw = ReadFloat(position + 12);
  } else {
    float object[4] = {ReadFloat(position), ReadFloat(position + 4), ReadFloat(position + 8), 1.0f};
    float world[4], eye[4], clip[4];
    Transform(object, world_, world);
    Transform(world, view_, eye);
    Transform(eye, projection_, clip);
    eyeZ = eye[2];
    // Without near-plane clipping, anything at or behind the eye cannot be drawn.
    if (!(clip[3] > 1e-6f)) return false;
    float inverseW = 1.0f / clip[3];
    out->x = viewport_.X + (1.0f + clip[0] * inverseW) * viewport_.Width * 0.5f;
    out->y = viewport_.Y + (1.0f - clip[1] * inverseW) * viewport_.Height * 0.5f;
    out->z = viewport_.MinZ + clip[2] * inverseW * (viewport_.MaxZ - viewport_.MinZ);
    out->rhw = inverseW;
  }
  out->diffuse = layout.diffuse >= 0 ? ReadDword(vertex + layout.diffuse) : 0xFFFFFFFFu;
  out->specular = layout.specular >= 0 ? ReadDword(vertex + layout.specular) : 0;
  // Fog factors are worked out per vertex and interpolated; table (pixel) fog is approximated the
  // same way, on the depth for transformed vertices. Transformed vertices without table fog bring
  // their own factor in the specular alpha.
  DWORD tableFog = renderStates_[D3DRS_FOGTABLEMODE];
  if (renderStates_[D3DRS_FOGENABLE] && (!layout.transformed || tableFog != D3DFOG_NONE)) {
    float factor = 1.0f, distance = layout.transformed ? out->z : std::fabs(eyeZ);
    float start = FloatFromBits(renderStates_[D3DRS_FOGSTART]), end = FloatFromBits(renderStates_[D3DRS_FOGEND]);
    float density = FloatFromBits(renderStates_[D3DRS_FOGDENSITY]);
    switch (tableFog != D3DFOG_NONE ? tableFog : renderStates_[D3DRS_FOGVERTEXMODE]) {
      case D3DFOG_LINEAR:
        factor = end != start ? (end - distance) / (end - start) : 1.0f;
        break;
      case D3DFOG_EXP:
        factor = std::exp(-density * distance);
        break;
      case D3DFOG_EXP2:
        factor = std::exp(-(density * distance) * (density * distance));
        break;
      default:
        break;
    }
    uint32_t fog = static_cast<uint32_t>(std::lround(std::clamp(factor, 0.0f, 1.0f) * 255.0f));
    out->specular = (out->specular & 0x00FFFFFFu) | (fog << 24);
  }
  for (int set = 0; set < kMaxTexCoordSets; ++set) {
    out->tex[set][0] = out->tex[set][1] = 0.0f;
    if (set >= layout.texCount) continue;
    const uint8_t* coordinates = vertex + layout.texOffset[set];
    out->tex[set][0] = ReadFloat(coordinates);
    if (layout.texDimensions[set] >= 2) out->tex[set][1] = ReadFloat(coordinates + 4);
  }
  // Texture transforms: a stage's transform applies to the coordinate set it reads.
  for (int stage = 0; stage < kStageCount; ++stage) {
    DWORD flags = stageStates_[stage][D3DTSS_TEXTURETRANSFORMFLAGS];
    DWORD count = flags & 0xFF;
    int set = static_cast<int>(stageStates_[stage][D3DTSS_TEXCOORDINDEX] & 0xFFFF);
    if (count == D3DTTFF_DISABLE || set >= kMaxTexCoordSets) continue;
    float in[4] = {out->tex[set][0], out->tex[set][1], 1.0f, 0.0f};
    if (set < layout.texCount && layout.texDimensions[set] >= 3) in[2] = ReadFloat(vertex + layout.texOffset[set] + 8);
    float result[4];
    Transform(in, textureTransforms_[stage], result);
    if ((flags & D3DTTFF_PROJECTED) && count >= 2 && result[count - 1] != 0.0f) {
      result[0] /= result[count - 1];
      result[1] /= result[count - 1];
    }
    out->tex[set][0] = result[0];
    out->tex[set][1] = result[1];
  }
  return true;
}

void Device::BuildPipelineState(PipelineState* state) {
  Surface* target = renderTarget_.Get();
  state->target = &target->Storage();
  RECT clip = {static_cast<LONG>(viewport_.X), static_cast<LONG>(viewport_.Y),
               static_cast<LONG>(viewport_.X + viewport_.Width), static_cast<LONG>(viewport_.Y + viewport_.Height)};
  auto intersect = [&clip](const RECT& other) {
    clip.left = std::max(clip.left, other.left);
    clip.top = std::max(clip.top, other.top);
    clip.right = std::min(clip.right, other.right);
    clip.bottom = std::min(clip.bottom, other.bottom);
  };
  intersect({0, 0, static_cast<LONG>(state->target->width), static_cast<LONG>(state->target->height)});
  if (renderStates_[D3DRS_SCISSORTESTENABLE]) intersect(scissor_);
  state->depth = nullptr;
  if (renderStates_[D3DRS_ZENABLE] && depthStencil_.Get()) {
    state->depth = &depthStencil_.Get()->Storage();
    // Pixels beyond a smaller depth surface are not drawn.
    intersect({0, 0, static_cast<LONG>(state->depth->width), static_cast<LONG>(state->depth->height)});
  }
  state->clip = clip;
  state->flatShading = renderStates_[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
  state->cullMode = renderStates_[D3DRS_CULLMODE];
  state->stageCount = 0;
  for (int stage = 0; stage < kStageCount; ++stage) {
    const DWORD* stageState = stageStates_[stage];
    if (stageState[D3DTSS_COLOROP] == D3DTOP_DISABLE) break;
    StageSetup& setup = state->stages[stage];
    setup.colorOp = stageState[D3DTSS_COLOROP];
    setup.colorArg1 = stageState[D3DTSS_COLORARG1];
    setup.colorArg2 = stageState[D3DTSS_COLORARG2];
    setup.alphaOp = stageState[D3DTSS_ALPHAOP];
    setup.alphaArg1 = stageState[D3DTSS_ALPHAARG1];
    setup.alphaArg2 = stageState[D3DTSS_ALPHAARG2];
    setup.resultArg = stageState[D3DTSS_RESULTARG];
    setup.texCoordSet = std::min<int>(stageState[D3DTSS_TEXCOORDINDEX] & 0xFFFF, kMaxTexCoordSets - 1);
    SamplerSetup& sampler = setup.sampler;
    sampler = SamplerSetup{};
    const DWORD* samplerState = samplerStates_[stage];
    sampler.addressU = samplerState[D3DSAMP_ADDRESSU];
    sampler.addressV = samplerState[D3DSAMP_ADDRESSV];
    sampler.magFilter = samplerState[D3DSAMP_MAGFILTER];
    sampler.minFilter = samplerState[D3DSAMP_MINFILTER];
    sampler.mipFilter = samplerState[D3DSAMP_MIPFILTER];
    sampler.borderColor = samplerState[D3DSAMP_BORDERCOLOR];
    if (Texture* texture = TextureFrom(textures_[stage])) {
      int levels = std::min<int>(texture->GetLevelCount(), kMaxTextureLevels);
      UINT first = std::min<UINT>(samplerState[D3DSAMP_MAXMIPLEVEL], levels - 1);
      for (int level = static_cast<int>(first); level < levels; ++level)
        sampler.levels[sampler.levelCount++] = &texture->Level(level)->Storage();
    }
    ++state->stageCount;
  }
  state->textureFactor = renderStates_[D3DRS_TEXTUREFACTOR];
  state->specularEnable = renderStates_[D3DRS_SPECULARENABLE] != 0;
  state->fogEnable = renderStates_[D3DRS_FOGENABLE] != 0;
  state->fogColor = renderStates_[D3DRS_FOGCOLOR];
  state->alphaTest = renderStates_[D3DRS_ALPHATESTENABLE] != 0;
  state->alphaFunc = renderStates_[D3DRS_ALPHAFUNC];
  state->alphaReference = renderStates_[D3DRS_ALPHAREF];
  state->depthWrite = renderStates_[D3DRS_ZWRITEENABLE] != 0;
  state->depthFunc = renderStates_[D3DRS_ZFUNC];
  state->blend = renderStates_[D3DRS_ALPHABLENDENABLE] != 0;
  state->sourceBlend = renderStates_[D3DRS_SRCBLEND];
  state->destinationBlend = renderStates_[D3DRS_DESTBLEND];
  state->blendOp = renderStates_[D3DRS_BLENDOP];
  state->separateAlphaBlend = renderStates_[D3DRS_SEPARATEALPHABLENDENABLE] != 0;
  state->sourceBlendAlpha = renderStates_[D3DRS_SRCBLENDALPHA];
  state->destinationBlendAlpha = renderStates_[D3DRS_DESTBLENDALPHA];
  state->blendOpAlpha = renderStates_[D3DRS_BLENDOPALPHA];
  state->colorWriteMask = renderStates_[D3DRS_COLORWRITEENABLE] & 0xF;
  state->lastPixel = renderStates_[D3DRS_LASTPIXEL] != 0;
  state->fastPaths = StandIn().fastPaths.load();
  PrepareFastSpans(state);
}

const PipelineState& Device::CurrentPipelineState() {
  if (!pipelineCurrent_) {
    BuildPipelineState(&pipeline_);
    pipelineCurrent_ = true;
  }
  pipeline_.fastPaths = StandIn().fastPaths.load();
  return pipeline_;
}

HRESULT Device::CheckDrawable(UINT stride, VertexLayout* layout) {
  if (!inScene_ || !renderTarget_.Get()) return D3DERR_INVALIDCALL;
  // Shader objects exist only for tests of the caps switch; the device cannot run them.
  if (vertexShader_.Get() || pixelShader_.Get()) return D3DERR_INVALIDCALL;
  if (!layoutCurrent_) {
    layout_ = declaration_.Get() ? LayoutFromDeclaration(declaration_.Get()->Elements()) : LayoutFromFvf(fvf_);
    layoutCurrent_ = true;
  }
  *layout = layout_;
  if (!layout->valid || stride < layout->size || stride == 0) return D3DERR_INVALIDCALL;
  return D3D_OK;
}

HRESULT Device::DrawVertices(D3DPRIMITIVETYPE type, UINT primitiveCount, const uint8_t* vertexData, size_t vertexBytes,
                             UINT stride, const uint32_t* indices, UINT minVertexIndex, UINT vertexCount) {
  VertexLayout layout;
  HRESULT result = CheckDrawable(stride, &layout);
  if (FAILED(result)) return result;
  if (primitiveCount == 0 || primitiveCount > kMaxPrimitiveCount) return D3DERR_INVALIDCALL;
  UINT used = VertexCountFor(type, primitiveCount);
  if (used == 0) return D3DERR_INVALIDCALL;
  UINT first = indices ? minVertexIndex : 0;
  UINT count = indices ? vertexCount : used;
  if (count == 0 || (static_cast<uint64_t>(first) + count - 1) * stride + layout.size > vertexBytes)
    return D3DERR_INVALIDCALL;
  if (indices)
    for (UINT i = 0; i < used; ++i)
      if (indices[i] < minVertexIndex || indices[i] - minVertexIndex >= vertexCount) return D3DERR_INVALIDCALL;
  RecordCall(indices ? "DrawIndexedPrimitive" : "DrawPrimitive", "%u,%u,%u", type, primitiveCount, stride);
  if (CurrentCondition() != Condition::Operational) return D3D_OK;  // A lost device draws nothing, silently.

  // Sprites and glyphs come a few vertices at a time: those stay on the stack.
  constexpr UINT kLocalVertices = 16;
  ScreenVertex localScreen[kLocalVertices];
  uint8_t localValid[kLocalVertices];
  std::vector<ScreenVertex> heapScreen;
  std::vector<uint8_t> heapValid;
  ScreenVertex* screen = localScreen;
  uint8_t* valid = localValid;
  if (count > kLocalVertices) {
    heapScreen.resize(count);
    heapValid.resize(count);
    screen = heapScreen.data();
    valid = heapValid.data();
  }
  for (UINT i = 0; i < count; ++i)
    valid[i] = TransformVertex(layout, vertexData + static_cast<size_t>(first + i) * stride, &screen[i]);
  auto vertexAt = [&](UINT position) -> UINT { return (indices ? indices[position] : position) - first; };

  const PipelineState& state = CurrentPipelineState();
  if (state.clip.left >= state.clip.right || state.clip.top >= state.clip.bottom) return D3D_OK;
  auto triangle = [&](UINT a, UINT b, UINT c) {
    if (valid[a] && valid[b] && valid[c]) DrawTriangle(state, screen[a], screen[b], screen[c]);
  };
  // Triangle p's vertices as the switch below takes them.
  auto corners = [&](UINT p, UINT out[3]) {
    switch (type) {
      case D3DPT_TRIANGLELIST:
        out[0] = vertexAt(3 * p), out[1] = vertexAt(3 * p + 1), out[2] = vertexAt(3 * p + 2);
        return true;
      case D3DPT_TRIANGLESTRIP:
        out[0] = vertexAt(p), out[1] = vertexAt(p % 2 ? p + 2 : p + 1), out[2] = vertexAt(p % 2 ? p + 1 : p + 2);
        return true;
      case D3DPT_TRIANGLEFAN:
        out[0] = vertexAt(p + 1), out[1] = vertexAt(p + 2), out[2] = vertexAt(0);
        return true;
      default:
        return false;
    }
  };
  // Two triangles that make a rectangle go to the rasteriser as one, when it can draw them so.
  auto rectangle = [&](UINT p) {
    UINT first[3], second[3];
    if (!state.fastPaths || p + 1 >= primitiveCount || !corners(p, first) || !corners(p + 1, second)) return false;
    const ScreenVertex* halves[2][3];
    for (int k = 0; k < 3; ++k) {
      if (!valid[first[k]] || !valid[second[k]]) return false;
      halves[0][k] = &screen[first[k]];
      halves[1][k] = &screen[second[k]];
    }
    return DrawRectangle(state, halves[0], halves[1]);
  };
  for (UINT p = 0; p < primitiveCount; ++p) {
    if (rectangle(p)) {
      ++p;
      continue;
    }
    switch (type) {
      case D3DPT_POINTLIST:
        if (valid[vertexAt(p)]) DrawPoint(state, screen[vertexAt(p)]);
        break;
      case D3DPT_LINELIST:
      case D3DPT_LINESTRIP: {
        UINT a = vertexAt(type == D3DPT_LINELIST ? 2 * p : p), b = vertexAt(type == D3DPT_LINELIST ? 2 * p + 1 : p + 1);
        bool last = state.lastPixel && (type == D3DPT_LINELIST || p + 1 == primitiveCount);
        if (valid[a] && valid[b]) DrawLine(state, screen[a], screen[b], last);
        break;
      }
      case D3DPT_TRIANGLELIST:
        triangle(vertexAt(3 * p), vertexAt(3 * p + 1), vertexAt(3 * p + 2));
        break;
      case D3DPT_TRIANGLESTRIP:
        // Odd triangles swap their last two vertices so that every triangle keeps one winding and
        // its first vertex (the flat-shading one) stays vertex p.
        if (p % 2 == 0)
          triangle(vertexAt(p), vertexAt(p + 1), vertexAt(p + 2));
        else
          triangle(vertexAt(p), vertexAt(p + 2), vertexAt(p + 1));
        break;
      case D3DPT_TRIANGLEFAN:
        triangle(vertexAt(p + 1), vertexAt(p + 2), vertexAt(0));
        break;
      default:
        break;
    }
  }
  return D3D_OK;
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData, UINT stride) {
  if (!vertexData || primitiveCount == 0 || primitiveCount > kMaxPrimitiveCount) return D3DERR_INVALIDCALL;
  streamSource_.Set(nullptr);  // The platform unsets stream 0 after a user-pointer draw.
  UINT used = VertexCountFor(type, primitiveCount);
  return DrawVertices(type, primitiveCount, static_cast<const uint8_t*>(vertexData), static_cast<size_t>(used) * stride,
                      stride, nullptr, 0, 0);
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minVertexIndex, UINT vertexCount,
                                       UINT primitiveCount, const void* indexData, D3DFORMAT indexFormat,
                                       const void* vertexData, UINT stride) {
  if (!indexData || !vertexData || vertexCount == 0 || primitiveCount == 0 || primitiveCount > kMaxPrimitiveCount)
    return D3DERR_INVALIDCALL;
  if (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
  streamSource_.Set(nullptr);
  indices_.Set(nullptr);
  UINT used = VertexCountFor(type, primitiveCount);
  IndexList list(used);
  uint32_t* indices = list.data;
  for (UINT i = 0; i < used; ++i) {
    if (indexFormat == D3DFMT_INDEX16) {
      uint16_t value;
      std::memcpy(&value, static_cast<const uint8_t*>(indexData) + 2 * i, 2);
      indices[i] = value;
    } else {
      std::memcpy(&indices[i], static_cast<const uint8_t*>(indexData) + 4 * static_cast<size_t>(i), 4);
    }
  }
  size_t bytes = static_cast<size_t>(minVertexIndex + static_cast<size_t>(vertexCount)) * stride;
  return DrawVertices(type, primitiveCount, static_cast<const uint8_t*>(vertexData), bytes, stride,
                      used ? indices : nullptr, minVertexIndex, vertexCount);
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
  VertexBuffer* buffer = streamSource_.Get();
  if (!buffer || streamStride_ == 0) return D3DERR_INVALIDCALL;
  const std::vector<uint8_t>& bytes = buffer->Bytes();
  size_t offset = streamOffset_ + static_cast<size_t>(startVertex) * streamStride_;
  if (offset > bytes.size()) return D3DERR_INVALIDCALL;
  return DrawVertices(type, primitiveCount, bytes.data() + offset, bytes.size() - offset, streamStride_, nullptr, 0, 0);
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertexIndex, UINT minVertexIndex, UINT vertexCount,
                                     UINT startIndex, UINT primitiveCount) {
  VertexBuffer* buffer = streamSource_.Get();
  IndexBuffer* indexBuffer = indices_.Get();
  if (!buffer || !indexBuffer || streamStride_ == 0 || vertexCount == 0 || primitiveCount == 0 ||
      primitiveCount > kMaxPrimitiveCount)
    return D3DERR_INVALIDCALL;
  UINT used = VertexCountFor(type, primitiveCount);
  size_t indexSize = indexBuffer->Format() == D3DFMT_INDEX16 ? 2 : 4;
  const std::vector<uint8_t>& indexBytes = indexBuffer->Bytes();
  if ((static_cast<size_t>(startIndex) + used) * indexSize > indexBytes.size()) return D3DERR_INVALIDCALL;
  IndexList list(used);
  uint32_t* indices = list.data;
  for (UINT i = 0; i < used; ++i) {
    const uint8_t* p = indexBytes.data() + (static_cast<size_t>(startIndex) + i) * indexSize;
    uint32_t value = indexSize == 2 ? static_cast<uint32_t>(p[0] | (p[1] << 8)) : ReadDword(p);
    int64_t shifted = static_cast<int64_t>(value) + baseVertexIndex;
    if (shifted < 0 || shifted > 0xFFFFFFFF) return D3DERR_INVALIDCALL;
    indices[i] = static_cast<uint32_t>(shifted);
  }
  const std::vector<uint8_t>& bytes = buffer->Bytes();
  if (streamOffset_ > bytes.size()) return D3DERR_INVALIDCALL;
  // The vertex range the call names is counted from the base vertex, as the indices are.
  const int64_t first = static_cast<int64_t>(baseVertexIndex) + minVertexIndex;
  if (first < 0 || first > 0xFFFFFFFF) return D3DERR_INVALIDCALL;
  return DrawVertices(type, primitiveCount, bytes.data() + streamOffset_, bytes.size() - streamOffset_, streamStride_,
                      used ? indices : nullptr, static_cast<UINT>(first), vertexCount);
}

}  // namespace platform::d3d9
