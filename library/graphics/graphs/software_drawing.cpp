// The software path's drawing entry points (graphs and boxes into the draw-target MEMIMG) and the
// colour values of the draw state: blend mode, draw-bright colour and the vertex colour the
// hardware path's 2D vertices carry.
#include "graphics/graphs/software_drawing.h"

#include <cstring>

#include "graphics/device/render_device.h"
#include "graphics/graphs/draw_state.h"
#include "graphics/graphs/screen_settings.h"
#include "graphics/graphs/screens.h"
#include "window/window_services.h"
#include "zyvel/memimg.h"

namespace {

int ClampByte(int value) { return value < 0 ? 0 : (value > 255 ? 255 : value); }

MEMIMG* BlendImage() { return const_cast<MEMIMG*>(g_drawState.SoftBlendImage); }

// The hardware path's 2D vertices take the new colour from the next draw on.
void UpdateVertexColor() {
  if (g_screenSettings.HardwareInUse) g_renderDevice.Batch.DiffuseColor2D = ComputeVertexColor();
}

}  // namespace

int DrawGraphSoftware(int x, int y, int transparent, GraphRecord* graph) {
  MEMIMG* target = g_softwareScreen.TargetImage;
  if (!target || !IsMemImgValid(target) || !IsMemImgValid(&graph->SoftView)) return 0;
  BlitMemImgAt(target, &graph->SoftView, x, y, transparent, BlendImage(), SoftDrawSettings());
  return 0;
}

int DrawGraphStretchedSoftware(int x1, int y1, int x2, int y2, GraphRecord* graph, int transparent) {
  MEMIMG* target = g_softwareScreen.TargetImage;
  if (!target || !IsMemImgValid(target) || !IsMemImgValid(&graph->SoftView)) return 0;
  const int rect[4] = {x1, y1, x2, y2};
  BlitMemImgToRect(target, &graph->SoftView, rect, transparent, BlendImage(), SoftDrawSettings());
  return 0;
}

int DrawGraphQuadSoftware(GraphRecord* graph, int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4,
                          int transparent) {
  MEMIMG* target = g_softwareScreen.TargetImage;
  if (!target || !IsMemImgValid(target) || !IsMemImgValid(&graph->SoftView)) return 0;
  const int width = graph->Width, height = graph->Height;
  const MemImgVertex first[3] = {{x1, y1, 0, 0}, {x2, y2, width, 0}, {x3, y3, 0, height}};
  const MemImgVertex second[3] = {{x2, y2, width, 0}, {x3, y3, 0, height}, {x4, y4, width, height}};
  const MemImgDrawSettings settings = SoftDrawSettings();
  MapMemImgTriangle(target, &graph->SoftView, first, transparent, BlendImage(), 0, settings);
  MapMemImgTriangle(target, &graph->SoftView, second, transparent, BlendImage(), 0, settings);
  return 0;
}

int DrawGraphQuadSoftwareF(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                           GraphRecord* graph, int transparent) {
  return DrawGraphQuadSoftware(graph, FloatToInt(x1), FloatToInt(y1), FloatToInt(x2), FloatToInt(y2), FloatToInt(x3),
                               FloatToInt(y3), FloatToInt(x4), FloatToInt(y4), transparent);
}

int FillBoxSoftware(int x1, int y1, int x2, int y2, unsigned color) {
  MEMIMG* target = g_softwareScreen.TargetImage;
  if (!target || !IsMemImgValid(target)) return 0;
  const RECT box = {x1, y1, x2, y2};
  FillMemImgBox(target, &box, color, SoftDrawSettings());
  return 0;
}

ColorF* MakeColorF(ColorF* out, float red, float green, float blue, float alpha) {
  out->red = red;
  out->green = green;
  out->blue = blue;
  out->alpha = alpha;
  return out;
}

int SetDrawBlendMode(int mode, int param) {
  DrawState& state = g_drawState;
  if (mode == state.BlendMode && param == state.BlendParam) return 0;
  if (!IsWindowActive()) WaitWhileInactive();
  state.BlendMode = mode;
  state.BlendParam = ClampByte(param);
  UpdateVertexColor();
  return 0;
}

int SetDrawBright(int red, int green, int blue) {
  DrawState& state = g_drawState;
  const uint32_t current = state.BrightColor;
  if (red == static_cast<int>(current >> 16 & 0xFF) && green == static_cast<int>(current >> 8 & 0xFF) &&
      blue == static_cast<int>(current & 0xFF))
    return 0;
  state.BrightColor = static_cast<uint32_t>(ClampByte(red) << 16 | ClampByte(green) << 8 | ClampByte(blue));
  UpdateVertexColor();
  return 0;
}

void SetDrawBrightColor(uint32_t color) {
  color &= 0xFFFFFF;
  if ((g_drawState.BrightColor & 0xFFFFFF) == color) return;
  g_drawState.BrightColor = color;
  UpdateVertexColor();
}

uint32_t ComputeVertexColor() {
  const DrawState& state = g_drawState;
  const uint32_t alpha = state.BlendMode != kBlendCopy || state.AlphaFromParam ? static_cast<uint32_t>(state.BlendParam)
                                                                               : 255u;
  return alpha << 24 | (state.BrightColor & 0xFFFFFF);
}

int CheckBlendGraphCovers(const GraphRecord* graph) {
  const GraphRecord* blend = GetGraphRecord(g_drawState.BlendGraph);
  if (!blend || !graph) return -1;
  return blend->Width >= graph->Width && blend->Height >= graph->Height ? 0 : -1;
}

Vector3* TransformPoint(Vector3* out, const Vector3* in, const Matrix4* matrix) {
  const float(*m)[4] = matrix->m;
  const Vector3 v = *in;
  out->x = v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0] + m[3][0];
  out->y = v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1] + m[3][1];
  out->z = v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2] + m[3][2];
  return out;
}

Vector3* TransformDirection(Vector3* out, const Vector3* in, const Matrix4* matrix) {
  const float(*m)[4] = matrix->m;
  const Vector3 v = *in;
  out->x = v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0];
  out->y = v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1];
  out->z = v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2];
  return out;
}

DrawEffectRecord* ResetDrawEffectRecord(DrawEffectRecord* record) {
  std::memset(record, 0, sizeof *record);
  return record;
}
