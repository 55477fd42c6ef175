// Vertex buffers, index buffers and shaders that callers own: three handle tables (kinds 14, 15
// and 12) whose records keep a copy of what was last written (or the byte code), so the device
// objects can be made again after the device was re-created. Also the thin buffer wrappers the
// model buffers use, the switch between a caller's shader constants and the library's, and two
// small state setters of the fixed-function path.
//
// Nothing in the library makes handles of these kinds; the `Add*Handle` creators below are the
// door through which tests (and a future creating call) reach them.
#pragma once

#include <cstdint>

#include "platform/d3d9.h"
#include "runtime/runtime_services.h"

constexpr int kVertexBufferTableSize = 16384;
constexpr int kIndexBufferTableSize = 16384;
constexpr int kShaderTableSize = 4096;

// XYZ | NORMAL | DIFFUSE | SPECULAR | TEX2: the vertex format of a format flag of 0.
constexpr DWORD kVertexBufferFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2;
constexpr int kVertexBufferStride = 48;

struct VertexBufferRecord {
  int CheckValue;
  int Handle;
  int* LostFlag;
  int FormatFlag;  // 0: kVertexBufferFvf.
  int Stride;      // Bytes per vertex.
  int VertexCount;
  uint8_t* KeptCopy;               // VertexCount x Stride bytes, as last written.
  IDirect3DVertexBuffer9* Buffer;  // Null while there is no device object.
};

struct IndexBufferRecord {
  int CheckValue;
  int Handle;
  int* LostFlag;
  int FormatFlag;  // 0: 16-bit indices.
  int IndexSize;   // Bytes.
  int IndexCount;
  uint8_t* KeptCopy;
  IDirect3DIndexBuffer9* Buffer;
};

struct ShaderRecord {
  int CheckValue;
  int Handle;
  int* LostFlag;
  int VertexShader;  // 1 vertex shader, 0 pixel shader.
  uint32_t* ByteCode;
  int ByteCodeSize;  // Bytes.
  IUnknown* Shader;  // IDirect3DVertexShader9 or IDirect3DPixelShader9; null while there is none.
};

extern HandleTable g_vertexBufferTable;
extern HandleTable g_indexBufferTable;
extern HandleTable g_shaderTable;

VertexBufferRecord* GetVertexBufferRecord(int handle);
IndexBufferRecord* GetIndexBufferRecord(int handle);
ShaderRecord* GetShaderRecord(int handle);

// ---- Creators (no library call makes these handles) ----
// A zero-filled buffer of `count` vertices (format flag 0) or 16-bit indices, with its device
// object when the device processes vertices in hardware. -1 for a count below 1 or too large.
int AddVertexBufferHandle(int vertexCount);
int AddIndexBufferHandle(int indexCount);
// A shader handle keeping a copy of `size` bytes of byte code (a multiple of 4, at least 4), with
// its device object when the device makes one. -1 for bad code.
int AddShaderHandle(int vertexShader, const void* byteCode, int size);

// ---- Deletion ----
int DeleteVertexBufferHandle(int handle);
int DeleteIndexBufferHandle(int handle);
int DeleteShaderHandle(int handle);
int DeleteAllVertexBuffers();
int DeleteAllIndexBuffers();
int DeleteAllShaders();

// ---- Contents and device objects ----
int SetVertexBufferData(int start, const void* data, int count, int handle);
int SetIndexBufferData(int start, const void* data, int count, int handle);
int RecreateVertexBufferObject(VertexBufferRecord* record);
int RecreateIndexBufferObject(IndexBufferRecord* record);
int RecreateShaderObject(ShaderRecord* record);
// Around a device re-creation: the device objects of every handle go (records and copies stay),
// then come back with their kept contents.
int ReleaseBufferAndShaderObjects();
int RecreateBufferAndShaderObjects();
IDirect3DVertexBuffer9* CreateDeviceVertexBuffer(int length, DWORD usage, DWORD fvf, D3DPOOL pool);
IDirect3DIndexBuffer9* CreateDeviceIndexBuffer(int length, DWORD usage, D3DFORMAT format, D3DPOOL pool);

// ---- Shader constants ----
// A caller's pending constants: six ranges (start register and count) into their shadows, sent
// whole when the caller's set is selected again.
enum ShaderConstantRange : int {
  kVertexFloatConstants = 0,
  kVertexIntConstants,
  kVertexBoolConstants,
  kPixelFloatConstants,
  kPixelIntConstants,
  kPixelBoolConstants,
  kShaderConstantRangeCount,
};
struct CallerShaderConstants {
  int Start[kShaderConstantRangeCount];
  int Count[kShaderConstantRangeCount];
  float VertexFloat[256][4];
  int VertexInt[16][4];
  BOOL VertexBool[16];
  float PixelFloat[224][4];
  int PixelInt[16][4];
  BOOL PixelBool[16];
  int CallerSetSelected;  // 1 while the caller's constants are on the device.
};
extern CallerShaderConstants g_callerShaderConstants;

int SelectShaderConstantSet(int userFlag);
int ResetTexCoordIndices();
