// Drawing graphs and boxes. Each public call checks its graph and the draw area, then draws on
// the path the graph's pixels live on: texture tiles become screen-space vertices queued in the
// vertex batch (six per tile, a triangle list in the order top-left, top-right, bottom-left,
// bottom-right, bottom-left, top-right), or the software blits and rasteriser draw into the
// target's MEMIMG. Vertices sit half a pixel up and left of the pixel grid, so that texels map
// one to one onto pixels under the device's pixel-centre rules; a graph that crosses the draw
// area is clipped per vertex on the CPU, moving the texture coordinates by the clipped distance.
#include <algorithm>
#include <cmath>

#include "graphics/device/blend_state.h"
#include "graphics/device/device_state_cache.h"
#include "graphics/device/render_device.h"
#include "graphics/graphs/blend_mode.h"
#include "graphics/graphs/draw_state.h"
#include "graphics/graphs/graph_drawing.h"
#include "graphics/graphs/graph_handles.h"
#include "graphics/graphs/graph_records.h"
#include "graphics/graphs/masks.h"
#include "graphics/graphs/screen_settings.h"
#include "graphics/graphs/screens.h"
#include "graphics/graphs/software_drawing.h"
#include "window/window_services.h"
#include "zyvel/graphics.h"
#include "zyvel/memimg.h"

namespace {

// ---- Common parts ----

bool DeviceUsable() {
  IDirect3DDevice9* device = g_renderDevice.Device;
  return device && device->TestCooperativeLevel() == D3D_OK;
}

// What the part's texture format says about transparency, for the per-draw preparation.
TextureFormatDescription DescribeFormat(const GraphImagePart& part) {
  switch (part.FormatCode) {
    case kTextureFormatAlpha16:
    case kTextureFormatAlpha32:
    case kTextureFormatDrawableAlpha32:
    case kTextureFormatDxt1 + 1:
    case kTextureFormatDxt1 + 2:
    case kTextureFormatDxt1 + 3:
    case kTextureFormatDxt5:
      return {1, 0};
    case kTextureFormatAlphaTest16:
    case kTextureFormatAlphaTest32:
    case kTextureFormatDxt1:
      return {0, 1};
    default:
      return {0, 0};
  }
}

IDirect3DBaseTexture9* FirstTexture(GraphRecord& graph) {
  return graph.TileCount > 0 ? graph.TileDraws()[0].Texture->Texture : nullptr;
}

uint32_t TransparentFlag(int transparent) { return transparent ? kPrepareTransparent : 0u; }

// Binds the tile's texture when it is not the current one and brings a pending blend change to
// the device before the tile's vertices are queued.
void UseTileTexture(const GraphTileDraw& tile) {
  DeviceStateCache& cache = g_deviceStateCache;
  IDirect3DBaseTexture9* texture = tile.Texture->Texture;
  if (cache.MainTexture != texture) SelectMainTexture(texture);
  if (cache.BlendDirty || cache.TextureChanged) ApplyBlendState(1, nullptr, 0);
}

// The graph prologue: 1 to draw, else the call's result (0 for an empty draw area, -1 for a dead
// graph, a blend graph that does not cover it, or graphics that are down).
int BeginGraphDraw(int handle, GraphRecord** out) {
  if (!g_screenSettings.Initialised) return -1;
  if (g_drawState.DrawAreaEmpty) return 0;
  GraphRecord* graph = GetGraphRecord(handle);
  if (!graph || !graph->Part) return -1;
  if (g_drawState.BlendGraph != -1 && CheckBlendGraphCovers(graph) != 0) return -1;
  if (!IsWindowActive()) WaitWhileInactive();
  if (graph->MovieHandle != -1) GraphMovies().updateFrame(graph->MovieHandle, 0);
  *out = graph;
  return 1;
}

// One vertex as the drawers build it, before it is written in the batch's layout.
struct QuadCorner {
  float x, y, u, v, blendU, blendV;
};

// Writes corners (top-left, top-right, bottom-left, bottom-right) as one quad of six vertices.
// The specular word of the two-texture kind is written opaque white: its alpha is what the
// blend-graph stage sets read.
int WriteQuad(int kind, const QuadCorner corner[4], uint32_t color) {
  static constexpr int kOrder[6] = {0, 1, 2, 3, 2, 1};
  uint8_t* at = ReserveBatchVertices(0, kind, D3DPT_TRIANGLELIST, 6);
  if (!at) return -1;
  const float z = g_drawState.DrawZ;
  if (kind == kBatchTwoTextures) {
    auto* vertex = reinterpret_cast<BlendVertex2D*>(at);
    for (int i = 0; i < 6; ++i) {
      const QuadCorner& c = corner[kOrder[i]];
      vertex[i] = BlendVertex2D{c.x, c.y, z, 1.0f, color, 0xFFFFFFFF, c.blendU, c.blendV, c.u, c.v};
    }
  } else {
    auto* vertex = reinterpret_cast<TexturedVertex2D*>(at);
    for (int i = 0; i < 6; ++i) {
      const QuadCorner& c = corner[kOrder[i]];
      vertex[i] = TexturedVertex2D{c.x, c.y, z, 1.0f, color, c.u, c.v};
    }
  }
  return 0;
}

// ---- Unscaled and stretched tiles ----

// Where a graph's tiles land: graph point (gx, gy) goes to (originX + scaleX gx, originY +
// scaleY gy); with `clip` every corner is kept inside the bounds.
struct TilePlacement {
  float originX, originY, scaleX, scaleY;
  bool clip;
  float left, top, right, bottom;
};

void ClipCorner(QuadCorner& c, const TilePlacement& p, float textureWidth, float textureHeight) {
  const DrawState& state = g_drawState;
  auto moveX = [&](float to) {
    const float graphDistance = (to - c.x) / p.scaleX;
    c.u += graphDistance / textureWidth;
    c.blendU += graphDistance * state.BlendTextureInverseWidth;
    c.x = to;
  };
  auto moveY = [&](float to) {
    const float graphDistance = (to - c.y) / p.scaleY;
    c.v += graphDistance / textureHeight;
    c.blendV += graphDistance * state.BlendTextureInverseHeight;
    c.y = to;
  };
  if (c.x < p.left) moveX(p.left);
  if (c.x > p.right) moveX(p.right);
  if (c.y < p.top) moveY(p.top);
  if (c.y > p.bottom) moveY(p.bottom);
}

int DrawPlacedTiles(GraphRecord* graph, const TilePlacement& p) {
  const DrawState& state = g_drawState;
  const uint32_t color = g_renderDevice.Batch.DiffuseColor2D;
  const GraphTileDraw* tiles = graph->TileDraws();
  for (int t = 0; t < graph->TileCount; ++t) {
    const GraphTileDraw& tile = tiles[t];
    UseTileTexture(tile);
    const int kind = g_blendVertexKind == kBatchTwoTextures ? kBatchTwoTextures : kBatchOneTexture;
    const float textureWidth = static_cast<float>(tile.Texture->TextureWidth);
    const float textureHeight = static_cast<float>(tile.Texture->TextureHeight);
    QuadCorner corner[4];
    for (int i = 0; i < 4; ++i) {
      const GraphTileDraw::Corner& from = tile.Corners[i];
      corner[i] = QuadCorner{
          p.originX + p.scaleX * from.x,           p.originY + p.scaleY * from.y,           from.u, from.v,
          from.x * state.BlendTextureInverseWidth, from.y * state.BlendTextureInverseHeight};
      if (p.clip) ClipCorner(corner[i], p, textureWidth, textureHeight);
    }
    if (WriteQuad(kind, corner, color) != 0) return -1;
  }
  return 0;
}

bool InsideArea(const RECT& area, int left, int top, int right, int bottom) {
  return left >= area.left && top >= area.top && right <= area.right && bottom <= area.bottom;
}

// Opens the scene and prepares the device for the graph's tiles.
void PrepareTileDraw(GraphRecord* graph, uint32_t flags) {
  BeginSceneIfClosed();
  const TextureFormatDescription format = DescribeFormat(*graph->Part);
  PrepareDeviceForDraw(&format, FirstTexture(*graph), flags);
}

// Queues the graph's tiles unscaled with its top-left corner at (x, y), clipped to `area` where
// the graph reaches outside it.
int DrawTilesAt(int x, int y, GraphRecord* graph, const RECT& area) {
  const TilePlacement placement = {static_cast<float>(x) - 0.5f,
                                   static_cast<float>(y) - 0.5f,
                                   1.0f,
                                   1.0f,
                                   !InsideArea(area, x, y, x + graph->Width, y + graph->Height),
                                   static_cast<float>(area.left),
                                   static_cast<float>(area.top),
                                   static_cast<float>(area.right),
                                   static_cast<float>(area.bottom)};
  return DrawPlacedTiles(graph, placement);
}

int DrawGraphTilesHW(int x, int y, GraphRecord* graph, int transparent) {
  if (!DeviceUsable()) return -1;
  PrepareTileDraw(graph, TransparentFlag(transparent) | kPrepareKeepTransparencyFiltered);
  return DrawTilesAt(x, y, graph, g_drawState.DrawArea);
}

int DrawGraphStretchedHW(float x1, float y1, float x2, float y2, GraphRecord* graph, int transparent,
                         bool integerCall) {
  if (!DeviceUsable()) return -1;
  const int left = static_cast<int>(x1), top = static_cast<int>(y1);
  const int right = static_cast<int>(x2), bottom = static_cast<int>(y2);
  if (left == right || top == bottom) return -1;
  uint32_t flags = TransparentFlag(transparent);
  if (integerCall && g_drawState.DrawFilterMode != kFilterBilinear) flags |= kPrepareKeepTransparencyFiltered;
  PrepareTileDraw(graph, flags);
  const float* area = g_drawState.DrawAreaF;
  const bool inside = InsideArea(g_drawState.DrawArea, std::min(left, right), std::min(top, bottom),
                                 std::max(left, right), std::max(top, bottom));
  const TilePlacement placement = {x1 - 0.5f,
                                   y1 - 0.5f,
                                   (x2 - x1) / static_cast<float>(graph->Width),
                                   (y2 - y1) / static_cast<float>(graph->Height),
                                   !inside,
                                   area[0] - 0.5f,
                                   area[1] - 0.5f,
                                   area[2] - 0.5f,
                                   area[3] - 0.5f};
  return DrawPlacedTiles(graph, placement);
}

// ---- Four-corner draws ----

struct Point {
  float x, y;
};
Point operator-(Point a, Point b) { return {a.x - b.x, a.y - b.y}; }
Point operator+(Point a, Point b) { return {a.x + b.x, a.y + b.y}; }
Point operator*(Point a, float s) { return {a.x * s, a.y * s}; }
float Cross(Point a, Point b) { return a.x * b.y - a.y * b.x; }

// One tile onto the four corners (top-left, top-right, bottom-left, bottom-right), taken as
// they are: one quad when the corners form a parallelogram, else a 7 x 7 cell mesh, so that a
// strongly distorted quad does not fold its texture along one diagonal.
int DrawTileGridMeshHW(const GraphTileDraw& tile, const Point corner[4]) {
  UseTileTexture(tile);
  const uint32_t color = g_renderDevice.Batch.DiffuseColor2D;
  const Point top = corner[1] - corner[0], bottom = corner[3] - corner[2];
  const Point left = corner[2] - corner[0], right = corner[3] - corner[1];
  const bool parallelogram = std::fabs(top.x - bottom.x) < 1.0f && std::fabs(top.y - bottom.y) < 1.0f &&
                             std::fabs(left.x - right.x) < 1.0f && std::fabs(left.y - right.y) < 1.0f;
  const GraphTileDraw::Corner* uv = tile.Corners;
  if (parallelogram) {
    QuadCorner quad[4];
    for (int i = 0; i < 4; ++i) quad[i] = QuadCorner{corner[i].x, corner[i].y, uv[i].u, uv[i].v, 0.0f, 0.0f};
    // Both triangles turned away: exchanging the two middle corners turns them back.
    if (Cross(top, left) <= 0.0f && Cross(corner[2] - corner[3], corner[1] - corner[3]) <= 0.0f)
      std::swap(quad[1], quad[2]);
    return WriteQuad(kBatchOneTexture, quad, color);
  }

  constexpr int kSide = 8;
  TexturedVertex2D grid[kSide * kSide];
  const float width = static_cast<float>(tile.Width), height = static_cast<float>(tile.Height);
  const float uInset = 0.001f * ((uv[1].u - uv[0].u) / width);
  const float vInset = 0.001f * ((uv[2].v - uv[0].v) / height);
  const float u0 = uv[0].u + (uv[0].u >= 0.000001f ? uInset : 0.0f);
  const float u1 = uv[1].u - (uv[1].u <= 0.99999f ? uInset : 0.0f);
  const float v0 = uv[0].v + (uv[0].v >= 0.000001f ? vInset : 0.0f);
  const float v1 = uv[2].v - (uv[2].v <= 0.99999f ? vInset : 0.0f);
  const float z = g_drawState.DrawZ;
  for (int r = 0; r < kSide; ++r) {
    const float t = static_cast<float>(r) / (kSide - 1);
    const Point rowLeft = corner[0] + left * t, rowRight = corner[1] + right * t;
    for (int c = 0; c < kSide; ++c) {
      const float s = static_cast<float>(c) / (kSide - 1);
      const Point at = rowLeft + (rowRight - rowLeft) * s;
      grid[r * kSide + c] = TexturedVertex2D{at.x, at.y, z, 1.0f, color, u0 + (u1 - u0) * s, v0 + (v1 - v0) * t};
    }
  }
  return DrawGridStrips(kSide, kSide, grid);
}

int DrawGraphStretchedIntHW(int x1, int y1, int x2, int y2, GraphRecord* graph, int transparent) {
  return DrawGraphStretchedHW(static_cast<float>(x1), static_cast<float>(y1), static_cast<float>(x2),
                              static_cast<float>(y2), graph, transparent, true);
}

// With a blend graph: the quad as two affine maps meeting on the graph's anti-diagonal, each
// tile one strip of two triangles sent straight to the device.
int DrawGraphQuadAffineHW(GraphRecord* graph, const int c[8], int transparent) {
  const int x1 = c[0], y1 = c[1], x2 = c[2], y2 = c[3], x3 = c[4], y3 = c[5], x4 = c[6], y4 = c[7];
  if (x1 == x3 && x2 == x4 && y1 == y2 && y3 == y4) return DrawGraphStretchedIntHW(x1, y1, x4, y4, graph, transparent);
  if (!DeviceUsable()) return -1;
  FlushVertexBatch();
  BeginSceneIfClosed();
  const TextureFormatDescription format = DescribeFormat(*graph->Part);
  PrepareDeviceForDraw(&format, FirstTexture(*graph), TransparentFlag(transparent) | kPrepareKeepTransparencyFiltered);
  const float width = static_cast<float>(graph->Width), height = static_cast<float>(graph->Height);
  const Point p1 = {x1 - 0.5f, y1 - 0.5f}, p2 = {x2 - 0.5f, y2 - 0.5f};
  const Point p3 = {x3 - 0.5f, y3 - 0.5f}, p4 = {x4 - 0.5f, y4 - 0.5f};
  auto mapA = [&](float gx, float gy) { return p1 + (p2 - p1) * (gx / width) + (p3 - p1) * (gy / height); };
  auto mapB = [&](float gx, float gy) {
    return p4 + (p3 - p4) * ((width - gx) / width) + (p2 - p4) * ((height - gy) / height);
  };
  const DrawState& state = g_drawState;
  const uint32_t color = g_renderDevice.Batch.DiffuseColor2D;
  IDirect3DDevice9* device = g_renderDevice.Device;
  const GraphTileDraw* tiles = graph->TileDraws();
  for (int t = 0; t < graph->TileCount; ++t) {
    const GraphTileDraw& tile = tiles[t];
    UseTileTexture(tile);
    const int kind = g_blendVertexKind == kBatchTwoTextures ? kBatchTwoTextures : kBatchOneTexture;
    Point at[4];
    for (int i = 0; i < 4; ++i) {
      const GraphTileDraw::Corner& from = tile.Corners[i];
      at[i] = tile.CornerFlags[i] ? mapA(from.x, from.y) : mapB(from.x, from.y);
    }
    int order[4] = {0, 1, 2, 3};
    const float a = Cross(at[1] - at[0], at[2] - at[0]), b = Cross(at[2] - at[3], at[1] - at[3]);
    if (a < 0.0f || (a == 0.0f && b <= 0.0f)) std::swap(order[1], order[2]);
    BlendVertex2D blendStrip[4];
    TexturedVertex2D strip[4];
    for (int i = 0; i < 4; ++i) {
      const GraphTileDraw::Corner& from = tile.Corners[order[i]];
      const Point& p = at[order[i]];
      blendStrip[i] = BlendVertex2D{p.x,
                                    p.y,
                                    state.DrawZ,
                                    1.0f,
                                    color,
                                    0xFFFFFFFF,
                                    from.x * state.BlendTextureInverseWidth,
                                    from.y * state.BlendTextureInverseHeight,
                                    from.u,
                                    from.v};
      strip[i] = TexturedVertex2D{p.x, p.y, state.DrawZ, 1.0f, color, from.u, from.v};
    }
    const BatchLayout& layout = kBatchLayouts[0][kind];
    SetDeviceFvf(layout.fvf);
    if (!g_renderDevice.Batch.DiscardVertices)
      device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2,
                              kind == kBatchTwoTextures ? static_cast<const void*>(blendStrip) : strip,
                              static_cast<UINT>(layout.stride));
  }
  return 0;
}

// Corners in the internal order top-left, top-right, bottom-left, bottom-right.
int DrawGraphQuadHW(GraphRecord* graph, const float c[8], int transparent) {
  if (g_drawState.BlendGraph != -1) {
    int truncated[8];
    for (int i = 0; i < 8; ++i) truncated[i] = static_cast<int>(c[i]);
    return DrawGraphQuadAffineHW(graph, truncated, transparent);
  }
  if (!DeviceUsable()) return -1;
  BeginSceneIfClosed();
  const TextureFormatDescription format = DescribeFormat(*graph->Part);
  PrepareDeviceForDraw(&format, FirstTexture(*graph), TransparentFlag(transparent));
  const Point tl = {c[0], c[1]}, tr = {c[2], c[3]}, bl = {c[4], c[5]}, br = {c[6], c[7]};
  const GraphTileDraw* tiles = graph->TileDraws();
  if (graph->TileCount == 1) {
    const Point corners[4] = {tl, tr, bl, br};
    return DrawTileGridMeshHW(tiles[0], corners);
  }
  const float width = static_cast<float>(graph->Width), height = static_cast<float>(graph->Height);
  for (int t = 0; t < graph->TileCount; ++t) {
    Point corners[4];
    for (int i = 0; i < 4; ++i) {
      const float s = tiles[t].Corners[i].x / width, v = tiles[t].Corners[i].y / height;
      const Point left = tl + (bl - tl) * v, right = tr + (br - tr) * v;
      corners[i] = left + (right - left) * s;
    }
    if (DrawTileGridMeshHW(tiles[t], corners) != 0) return -1;
  }
  return 0;
}

// ---- Boxes ----

// The box colour: the vertex colour scaled channel by channel by the colour code's components.
uint32_t BoxVertexColor(unsigned code) {
  int red = 0, green = 0, blue = 0;
  GetColorComponents(static_cast<int>(code), &red, &green, &blue);
  const uint32_t vertex = g_renderDevice.Batch.DiffuseColor2D;
  const uint32_t r = (vertex >> 16 & 0xFF) * static_cast<uint32_t>(red) / 255;
  const uint32_t g = (vertex >> 8 & 0xFF) * static_cast<uint32_t>(green) / 255;
  const uint32_t b = (vertex & 0xFF) * static_cast<uint32_t>(blue) / 255;
  return (vertex & 0xFF000000) | r << 16 | g << 8 | b;
}

void PrepareForBox() {
  BeginSceneIfClosed();
  DeviceStateCache& cache = g_deviceStateCache;
  if (cache.MainTexture) {
    FlushVertexBatch();
    SelectMainTexture(nullptr);
    cache.TextureChanged = 1;
    cache.BlendDirty = 1;
  }
  PrepareDeviceForDraw(nullptr, nullptr, kPrepareColorModulation);
}

void PutBoxQuad(Vertex2D* at, float left, float top, float right, float bottom, uint32_t color) {
  const float z = g_drawState.DrawZ;
  const Vertex2D tl = {left, top, z, 1.0f, color}, tr = {right, top, z, 1.0f, color};
  const Vertex2D bl = {left, bottom, z, 1.0f, color}, br = {right, bottom, z, 1.0f, color};
  at[0] = tl, at[1] = tr, at[2] = bl, at[3] = br, at[4] = bl, at[5] = tr;
}

int DrawFilledBoxHW(int x1, int y1, int x2, int y2, unsigned color) {
  if (!DeviceUsable()) return -1;
  RECT box = {x1, y1, x2, y2};
  if (box.left > box.right) std::swap(box.left, box.right);
  if (box.top > box.bottom) std::swap(box.top, box.bottom);
  ClipRectToRect(&box, &g_drawState.DrawArea);
  if (box.right <= box.left || box.bottom <= box.top) return 0;
  PrepareForBox();
  auto* at = reinterpret_cast<Vertex2D*>(ReserveBatchVertices(0, kBatchUntextured, D3DPT_TRIANGLELIST, 6));
  if (!at) return -1;
  PutBoxQuad(at, static_cast<float>(box.left), static_cast<float>(box.top), static_cast<float>(box.right),
             static_cast<float>(box.bottom), BoxVertexColor(color));
  return 0;
}

// Four one-pixel quads that touch without overlapping; the scissor rectangle of the draw area
// clips them. Each axis is put in order on its own.
int DrawOutlineBoxHW(int x1, int y1, int x2, int y2, unsigned color) {
  if (!DeviceUsable()) return -1;
  PrepareForBox();
  const float left = static_cast<float>(std::min(x1, x2)), right = static_cast<float>(std::max(x1, x2));
  const float top = static_cast<float>(std::min(y1, y2)), bottom = static_cast<float>(std::max(y1, y2));
  auto* at = reinterpret_cast<Vertex2D*>(ReserveBatchVertices(0, kBatchUntextured, D3DPT_TRIANGLELIST, 24));
  if (!at) return -1;
  const uint32_t vertexColor = BoxVertexColor(color);
  PutBoxQuad(at, left, top, right, top + 1, vertexColor);
  PutBoxQuad(at + 6, right - 1, top + 1, right, bottom, vertexColor);
  PutBoxQuad(at + 12, left, top + 1, left + 1, bottom, vertexColor);
  PutBoxQuad(at + 18, left + 1, bottom - 1, right - 1, bottom, vertexColor);
  return 0;
}

// The software outline: four lines joining the corner pixels in a closed loop, each leaving out
// its end pixel, which the next line draws.
int DrawOutlineBoxSW(int x1, int y1, int x2, int y2, unsigned color) {
  MEMIMG* target = g_softwareScreen.TargetImage;
  if (!target || !IsMemImgValid(target)) return 0;
  const int left = std::min(x1, x2), right = std::max(x1, x2) - 1;
  const int top = std::min(y1, y2), bottom = std::max(y1, y2) - 1;
  if (right < left || bottom < top) return 0;
  const int param = g_drawState.BlendParam;
  const MemImgLineRecord lines[4] = {{left, top, right, top, color, param},
                                     {right, top, right, bottom, color, param},
                                     {right, bottom, left, bottom, color, param},
                                     {left, bottom, left, top, color, param}};
  // A box one pixel wide or high has edges of no length; its pixels are the one line itself.
  if (left == right || top == bottom) {
    const MemImgLineRecord line = {left,  top,  right + (left == right ? 0 : 1), bottom + (left == right ? 1 : 0),
                                   color, param};
    DrawMemImgLines(target, &line, 1, SoftDrawSettings());
    return 0;
  }
  DrawMemImgLines(target, lines, 4, SoftDrawSettings());
  return 0;
}

// ---- Subtractive blending without the device's reverse-subtract operation ----

// Inverts the rectangle with a white box drawn in the subtract mode's inverting form, and leaves
// the mode `next` with the saved parameter: destination - source is the inverse of (inverse of
// destination + source).
void InvertForSubtractEmulation(const RECT& area, int next) {
  DrawState& state = g_drawState;
  const int param = state.BlendParam;
  const uint32_t bright = state.BrightColor;
  state.BrightColor = 0xFFFFFF;
  state.BlendMode = kBlendSubtract;
  state.BlendParam = 255;
  if (g_screenSettings.HardwareInUse) g_renderDevice.Batch.DiffuseColor2D = ComputeVertexColor();
  DrawFilledBoxHW(area.left, area.top, area.right, area.bottom, static_cast<unsigned>(MakeColorCode(255, 255, 255)));
  state.BrightColor = bright;
  SetDrawBlendMode(next, param);
}

// While masking is active a draw goes into the mask screen, bracketed over its rectangle so that
// it reaches the target only through the mask.
template <typename Draw>
int DrawMasked(const RECT& area, Draw draw) {
  if (!IsMaskActive()) return draw();
  BeginMaskedDrawing(area.left, area.top, area.right, area.bottom);
  const int result = draw();
  EndMaskedDrawing(area.left, area.top, area.right, area.bottom);
  return result;
}

RECT OrderedRect(int x1, int y1, int x2, int y2) {
  return RECT{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

int DrawStretched(float x1, float y1, float x2, float y2, int handle, int transparent, bool integerCall) {
  GraphRecord* graph = nullptr;
  const int begun = BeginGraphDraw(handle, &graph);
  if (begun != 1) return begun;
  const int left = static_cast<int>(x1), top = static_cast<int>(y1);
  const int right = static_cast<int>(x2), bottom = static_cast<int>(y2);
  const RECT area = OrderedRect(left, top, right, bottom);
  if (!graph->Part->Textured) {
    if (left == right || top == bottom) return -1;
    return DrawMasked(area, [&] { return DrawGraphStretchedSoftware(left, top, right, bottom, graph, transparent); });
  }
  return DrawMasked(area, [&] {
    return DrawWithSubtractEmulation(
        area, [&] { return DrawGraphStretchedHW(x1, y1, x2, y2, graph, transparent, integerCall); });
  });
}

int DrawBox(int x1, int y1, int x2, int y2, unsigned color, bool fill) {
  if (!g_screenSettings.Initialised) return -1;
  if (g_drawState.DrawAreaEmpty) return 0;
  if (!IsWindowActive()) WaitWhileInactive();
  const RECT area = OrderedRect(x1, y1, x2, y2);
  return DrawMasked(area, [&] {
    if (!g_screenSettings.HardwareInUse) {
      if (fill) {
        return FillBoxSoftware(x1, y1, x2, y2, color);
      }
      return DrawOutlineBoxSW(x1, y1, x2, y2, color);
    }
    return DrawWithSubtractEmulation(
        area, [&] { return fill ? DrawFilledBoxHW(x1, y1, x2, y2, color) : DrawOutlineBoxHW(x1, y1, x2, y2, color); });
  });
}

}  // namespace

bool NeedsSubtractEmulation() { return g_drawState.BlendMode == kBlendSubtract && !g_renderDevice.BlendOpCap; }

void BeginSubtractEmulation(const RECT& area) { InvertForSubtractEmulation(area, kBlendDeviceAdd); }
void EndSubtractEmulation(const RECT& area) { InvertForSubtractEmulation(area, kBlendSubtract); }

int DrawGraphAt(int x, int y, int handle, int transparent) {
  GraphRecord* graph = nullptr;
  const int begun = BeginGraphDraw(handle, &graph);
  if (begun != 1) return begun;
  const RECT area = {x, y, x + graph->Width, y + graph->Height};
  if (!graph->Part->Textured) return DrawMasked(area, [&] { return DrawGraphSoftware(x, y, transparent, graph); });
  return DrawMasked(area, [&] {
    return DrawWithSubtractEmulation(area, [&] { return DrawGraphTilesHW(x, y, graph, transparent); });
  });
}

int DrawGraphStretched(int x1, int y1, int x2, int y2, int graph, int transparent) {
  return DrawStretched(static_cast<float>(x1), static_cast<float>(y1), static_cast<float>(x2), static_cast<float>(y2),
                       graph, transparent, true);
}

int DrawGraphStretchedF(float x1, float y1, float x2, float y2, int graph, int transparent) {
  return DrawStretched(x1, y1, x2, y2, graph, transparent, false);
}

int DrawGraphMirrored(int x, int y, int graph, int transparent) {
  int width = 0, height = 0;
  if (GetGraphDimensions(graph, &width, &height) != 0 || graph < 0) return -1;
  return DrawGraphStretched(x + width, y, x, y + height, graph, transparent);
}

int DrawGraphRect(int x, int y, int sourceX, int sourceY, int width, int height, int graph, int transparent,
                  int mirror) {
  const GraphRecord* record = GetGraphRecord(graph);
  if (!record) return -1;
  DrawState& state = g_drawState;
  const RECT savedArea = state.DrawArea;
  float savedAreaF[4];
  std::copy(state.DrawAreaF, state.DrawAreaF + 4, savedAreaF);
  const int savedEmpty = state.DrawAreaEmpty;
  RECT area = {x, y, x + width, y + height};
  ClipRectToRect(&area, &savedArea);
  state.DrawArea = area;
  state.DrawAreaF[0] = static_cast<float>(area.left);
  state.DrawAreaF[1] = static_cast<float>(area.top);
  state.DrawAreaF[2] = static_cast<float>(area.right);
  state.DrawAreaF[3] = static_cast<float>(area.bottom);
  state.DrawAreaEmpty = savedEmpty || area.right <= area.left || area.bottom <= area.top ? 1 : 0;
  const int result = mirror ? DrawGraphMirrored(x + sourceX + width - record->Width, y - sourceY, graph, transparent)
                            : DrawGraphAt(x - sourceX, y - sourceY, graph, transparent);
  state.DrawArea = savedArea;
  std::copy(savedAreaF, savedAreaF + 4, state.DrawAreaF);
  state.DrawAreaEmpty = savedEmpty;
  return result;
}

int DrawGraphRectsOnDevice(int handle, const GraphRectPiece* pieces, int count) {
  // Anything the single draw does besides queueing tiles on the device is left to the caller.
  const GraphRecord* record = GetGraphRecord(handle);
  if (!record || !record->Part || !record->Part->Textured || record->MovieHandle != -1 ||
      g_drawState.BlendGraph != -1 || IsMaskActive() || NeedsSubtractEmulation() || !DeviceUsable())
    return -1;
  GraphRecord* graph = nullptr;
  const int begun = BeginGraphDraw(handle, &graph);
  if (begun != 1) return begun;
  PrepareTileDraw(graph, TransparentFlag(1) | kPrepareKeepTransparencyFiltered);
  // Each rectangle as DrawGraphRect draws it: the whole graph placed so that the rectangle lands at
  // (x, y), cut to the rectangle within the draw area.
  for (int i = 0; i < count; ++i) {
    const GraphRectPiece& piece = pieces[i];
    RECT area = {piece.x, piece.y, piece.x + piece.width, piece.y + piece.height};
    ClipRectToRect(&area, &g_drawState.DrawArea);
    if (area.right <= area.left || area.bottom <= area.top) continue;
    // A failure partway stops with 0, no fallback: the glyph-by-glyph draws ignored the result too.
    if (DrawTilesAt(piece.x - piece.sourceX, piece.y - piece.sourceY, graph, area) != 0) return 0;
  }
  return 0;
}

int DrawGraphQuad(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, int handle,
                  int transparent) {
  GraphRecord* graph = nullptr;
  const int begun = BeginGraphDraw(handle, &graph);
  if (begun != 1) return begun;
  // Callers give the corners around the edge; the drawers take them row by row.
  const float corners[8] = {x1, y1, x2, y2, x4, y4, x3, y3};
  const int left = static_cast<int>(std::min({x1, x2, x3, x4})), top = static_cast<int>(std::min({y1, y2, y3, y4}));
  const int right = std::max(0, static_cast<int>(std::max({x1, x2, x3, x4})));
  const int bottom = std::max(0, static_cast<int>(std::max({y1, y2, y3, y4})));
  const RECT area = {left, top, right, bottom};
  if (!graph->Part->Textured)
    return DrawMasked(area, [&] { return DrawGraphQuadSoftwareF(x1, y1, x2, y2, x4, y4, x3, y3, graph, transparent); });
  return DrawMasked(area, [&] {
    return DrawWithSubtractEmulation(area, [&] { return DrawGraphQuadHW(graph, corners, transparent); });
  });
}

int DrawFilledBox(int x1, int y1, int x2, int y2, unsigned color) { return DrawBox(x1, y1, x2, y2, color, true); }

int DrawOutlineBox(int x1, int y1, int x2, int y2, unsigned color) { return DrawBox(x1, y1, x2, y2, color, false); }

void DrawBoxShape(int x1, int y1, int x2, int y2, unsigned color, int fill) {
  if (fill)
    DrawFilledBox(x1, y1, x2, y2, color);
  else
    DrawOutlineBox(x1, y1, x2, y2, color);
}
