// The hardware path's device: `RenderDeviceState` (the DirectDraw object kept for display
// enumeration and vertical-blank waits, the Direct3D 9 object, the device with its swap chain,
// back buffer, sub back buffer and Z buffer, the formats chosen for each kind of graph, the
// capabilities), its creation in the order graphics start-up calls it, the scene bracket, and its
// release in a fixed order. The `VertexBatch` lives here too: every 2D draw and the simple 3D
// draws queue their vertices in it, and `FlushVertexBatch` hands them to the device in one
// DrawPrimitiveUP before anything that would change how they are drawn.
#pragma once

#include <cstdint>

#include "graphics/models/math.h"
#include "graphics/screen_services.h"
#include "platform/d3d9.h"
#include "platform/ddraw.h"
#include "zyvel/graphics.h"

// What each entry of the texture format table holds (the formats tried for each are in
// render_device.cpp). Entries 14 and 15 copy 12/11 and 5/4 by the screen's depth.
enum TextureFormatIndex : int {
  kTextureFormatColor16 = 0,
  kTextureFormatColor32 = 1,
  kTextureFormatAlpha16 = 2,
  kTextureFormatAlpha32 = 3,
  kTextureFormatAlphaTest16 = 4,
  kTextureFormatAlphaTest32 = 5,
  kTextureFormatDxt1 = 6,  // 7-10: DXT2 to DXT5.
  kTextureFormatDxt5 = 10,
  kTextureFormatDrawable16 = 11,
  kTextureFormatDrawable32 = 12,
  kTextureFormatDrawableAlpha32 = 13,
  kTextureFormatDrawableScreen = 14,
  kTextureFormatAlphaTestScreen = 15,
  kTextureFormatZBuffer = 16,
  kTextureFormatCount = 17,
};

// ---- Vertex batching ----
// Vertex sets and kinds: set 0 holds pre-transformed 2D vertices, set 1 3D vertices; the kind says
// how many textures the vertices carry (kind 2 exists only in 2D).
enum BatchKind : int { kBatchUntextured = 0, kBatchOneTexture = 1, kBatchTwoTextures = 2 };
constexpr int kBatchSetCount = 2;
constexpr int kBatchKindCount = 3;

struct BatchLayout {
  uint32_t fvf;
  int stride;    // Bytes.
  int capacity;  // Vertices; a batch holds at most capacity - 1.
};
// Indexed [set][kind]; the 3D two-texture kind has no layout (capacity 0: never selectable).
extern const BatchLayout kBatchLayouts[kBatchSetCount][kBatchKindCount];

// One vertex of each 2D kind, as the caches hold them.
struct Vertex2D {
  float x, y, z, rhw;
  uint32_t diffuse;
};
struct TexturedVertex2D {
  float x, y, z, rhw;
  uint32_t diffuse;
  float u, v;
};
struct BlendVertex2D {
  float x, y, z, rhw;
  uint32_t diffuse;
  uint32_t specular;
  float u1, v1, u2, v2;
};
static_assert(sizeof(Vertex2D) == 20 && sizeof(TexturedVertex2D) == 28 && sizeof(BlendVertex2D) == 40);

struct VertexBatch {
  uint8_t* Caches[kBatchSetCount * kBatchKindCount] = {};  // [set * 3 + kind]; the 3D kinds share one buffer.
  int Set3D = 0;                                           // 0 while the batch holds 2D vertices, 1 for 3D.
  int PendingCount = 0;                                    // Vertices written since the last flush.
  int Kind = kBatchUntextured;
  int PrimitiveType = D3DPT_TRIANGLELIST;
  uint8_t* WritePointer = nullptr;
  uint32_t DiffuseColor2D = 0xFFFFFFFF;  // The colour drawers put into 2D vertices.
  // Set by the blend-state application while the current selection draws nothing (a blend graph
  // at border 255): flushes then drop the vertices.
  int DiscardVertices = 0;
};

// ---- The device record ----
struct RenderDeviceState {
  HMODULE D3D9Module = nullptr;  // "d3d9.dll", loaded by graphics start-up.
  int HardwareVertexProcessing = 0;
  int VertexShader20Usable = 0;
  int PixelShader20Usable = 0;
  int UseBackBufferLock = 0;  // Reading the back buffer by locking it beats a render-target copy.
  D3DFORMAT ScreenFormat = D3DFMT_UNKNOWN;
  D3DFORMAT TextureFormats[kTextureFormatCount] = {};  // 0: no usable format.
  IDirectDraw7* DirectDraw = nullptr;
  IDirect3D9* Direct3D = nullptr;
  IDirect3D9Ex* Direct3DEx = nullptr;  // The same object, when the system has 9Ex.
  IDirect3DDevice9* Device = nullptr;
  IDirect3DDevice9Ex* DeviceEx = nullptr;  // The same device, 9Ex only.
  IDirect3DSwapChain9* SwapChain = nullptr;
  IDirect3DSurface9* BackBuffer = nullptr;
  IDirect3DSurface9* SubBackBuffer = nullptr;
  IDirect3DSurface9* ZBuffer = nullptr;
  int ZBufferWidth = 0;  // Powers of two.
  int ZBufferHeight = 0;
  int TssArgTempCap = 0;
  D3DCAPS9 Caps = {};
  int MaxTextureSide = 0;
  int BlendOpCap = 0;
  IDirect3DVolumeTexture9* BrightnessVolumeTexture = nullptr;
  int InScene = 0;
  // Kept by the per-draw preparation for the current scene; cleared when a scene begins.
  int PerSceneWords[3] = {};
  // The display mode was changed by the program (software path, or the 320 x 240 emulation on the
  // device path), so release puts the desktop's mode back.
  int DisplayModeChanged = 0;

  D3DVIEWPORT9 Viewport = {};  // The device state cache's viewport and scissor shadows.
  RECT ScissorRect = {};

  VertexBatch Batch;
};

extern RenderDeviceState g_renderDevice;

// ---- Creation and release ----
int CreateDirectDrawObject();
int CreateDirect3DObject();
int CreateDirect3DDevice();
int CreateZBuffer();
int CreateSubBackBuffer();
int CreateBrightnessVolumeTexture();
int ReleaseBaseShaders();
int ReleaseShaderTables();
int ReleaseDirect3D();

// ---- Scene and dialog boxes ----
// EndSceneIfOpen, SwitchDialogBoxMode and GetDirectDrawObject serve the window layer (services
// header).
int BeginSceneIfClosed();
int ApplyMenuDialogBoxMode(int menuPresent);

// ---- Formats ----
const ColorData* GetFormatColorData(D3DFORMAT format);
// The pixel layout the library assumes for each kind (0-13), whatever format the device chose.
const ColorData* GetTextureFormatColorData(int index);
// The fully bright colour of the same hue, as the brightness volume texture holds it
// (0x00RRGGBB).
uint32_t MaxBrightnessColor(int red, int green, int blue);

// ---- Vertex batching ----
int FlushVertexBatch();
// Points the batch at its caches and empties it (called by the state cache's set-up).
void ResetVertexBatch();
int SetDeviceWorldMatrix(const Matrix4* matrix);
int SetWorldMatrix(const Matrix4* matrix);
// Room for `count` vertices of (set, kind, type): the write pointer, after a flush when the batch
// holds something else or would reach its capacity. Null without a device or for a kind that has
// no cache.
uint8_t* ReserveBatchVertices(int set3D, int kind, int primitiveType, int count);
