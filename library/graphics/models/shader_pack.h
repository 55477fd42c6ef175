// The shader pack: the library's own compiled shaders, kept as the member "ZvShaderPack.bin" of
// an archive image built into the program, and the tables that point at each entry's byte code
// and hold the shader objects made from them.
//
// The pack is 98304 + 41472 little-endian 16-bit code sizes, then the byte codes of the entries
// whose size is not 0, back to back. It is outside data: the size table is checked against the
// data before any code is pointed at, and a pack whose sizes do not add up to its data (or whose
// codes are not whole 32-bit words) is refused with a log line. This build carries no pack, so
// the library draws through the fixed-function pipeline unless a test provides one.
#pragma once

#include <cstdint>

#include "platform/d3d9.h"

constexpr int kVertexShaderCodeCount = 98304;
constexpr int kPixelShaderCodeCount = 41472;
constexpr int kShaderPackHeaderSize = (kVertexShaderCodeCount + kPixelShaderCodeCount) * 2;  // 0x44400

struct ShaderCodeTables {
  const uint32_t* VertexShaderCode[kVertexShaderCodeCount];  // Null for an entry of size 0.
  const uint32_t* PixelShaderCode[kPixelShaderCodeCount];
  IDirect3DVertexShader9* VertexShaders[kVertexShaderCodeCount];
  IDirect3DPixelShader9* PixelShaders[kPixelShaderCodeCount];
};
extern ShaderCodeTables g_shaderCodeTables;

// Points the code tables into `pack` (which must outlive them). 0, or -1 when the size table
// does not match the data; the tables are left empty then.
int ParseShaderPack(const uint8_t* pack, int size, ShaderCodeTables* tables);
// 1 when the pack is in memory (unpacked now or before), else 0.
int UnpackShaderPack();
// Unpacks the pack when needed and makes its first vertex and pixel shader: 0, or -1 when the
// library must draw without its own shaders.
int CreateLibraryShaders();
// Releases every shader object made from the pack (the code stays).
int ReleaseLibraryShaderObjects();
// Frees the pack and closes its archive image (graphics shut-down).
int ReleaseShaderPack();
// The archive image built into the program: none in this build. Tests give one (LZ-packed,
// scrambled like any archive); null removes it.
int SetBuiltInShaderArchive(const void* image, int size);
