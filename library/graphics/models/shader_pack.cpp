// Unpacking the shader pack: the built-in archive image is LZ-unpacked into the tracked heap,
// opened in memory, and its "ZvShaderPack.bin" member read whole; the member's size table is
// checked against its data and then the code tables point into it. The pack stays in memory
// until graphics shut-down.
#include "graphics/models/shader_pack.h"

#include <cstring>

#include "files/files_services.h"
#include "graphics/device/render_device.h"
#include "zyvel/runtime.h"

ShaderCodeTables g_shaderCodeTables;

namespace {

struct ShaderPackState {
  const void* BuiltInImage = nullptr;  // LZ-packed archive image; none in this build.
  int BuiltInSize = 0;
  int Unpacked = 0;
  uint8_t* ArchiveImage = nullptr;  // Unpacked, open while the pack is in memory.
  ArchiveState Archive = {};
  int ArchiveOpen = 0;
  uint8_t* Pack = nullptr;
};
ShaderPackState g_shaderPack;

int ReadLittleEndian16(const uint8_t* p) { return p[0] | p[1] << 8; }

void ClearCodeTables(ShaderCodeTables* tables) {
  std::memset(tables->VertexShaderCode, 0, sizeof tables->VertexShaderCode);
  std::memset(tables->PixelShaderCode, 0, sizeof tables->PixelShaderCode);
}

// Frees whatever an unpack got as far as making.
void DropShaderPack() {
  ShaderPackState& state = g_shaderPack;
  ZV_FREE(state.Pack);
  state.Pack = nullptr;
  if (state.ArchiveOpen) CloseArchiveState(&state.Archive);
  state.ArchiveOpen = 0;
  ZV_FREE(state.ArchiveImage);
  state.ArchiveImage = nullptr;
  state.Unpacked = 0;
  ClearCodeTables(&g_shaderCodeTables);
}

}  // namespace

int ParseShaderPack(const uint8_t* pack, int size, ShaderCodeTables* tables) {
  ClearCodeTables(tables);
  if (!pack || size < kShaderPackHeaderSize) return -1;
  int64_t total = 0;
  for (int i = 0; i < kVertexShaderCodeCount + kPixelShaderCodeCount; ++i) {
    const int entry = ReadLittleEndian16(pack + 2 * i);
    // Byte code is made of 32-bit tokens; a part of one is damage.
    if (entry % 4 != 0) return -1;
    total += entry;
  }
  if (total != size - kShaderPackHeaderSize) return -1;
  const uint8_t* code = pack + kShaderPackHeaderSize;
  for (int i = 0; i < kVertexShaderCodeCount + kPixelShaderCodeCount; ++i) {
    const int entry = ReadLittleEndian16(pack + 2 * i);
    if (entry == 0) continue;
    const auto* words = reinterpret_cast<const uint32_t*>(code);
    if (i < kVertexShaderCodeCount)
      tables->VertexShaderCode[i] = words;
    else
      tables->PixelShaderCode[i - kVertexShaderCodeCount] = words;
    code += entry;
  }
  return 0;
}

int SetBuiltInShaderArchive(const void* image, int size) {
  g_shaderPack.BuiltInImage = size > 0 ? image : nullptr;
  g_shaderPack.BuiltInSize = image ? size : 0;
  return 0;
}

int UnpackShaderPack() {
  ShaderPackState& state = g_shaderPack;
  if (state.Unpacked) return 1;
  DropShaderPack();
  ClearArchiveState(&state.Archive);
  if (!state.BuiltInImage) return 0;

  const int imageSize = MeasureArchiveLz(state.BuiltInImage, state.BuiltInSize);
  if (imageSize <= 0) return 0;
  state.ArchiveImage = static_cast<uint8_t*>(ZV_ALLOC(imageSize));
  if (!state.ArchiveImage) return 0;
  if (UnpackArchiveLz(state.BuiltInImage, state.BuiltInSize, state.ArchiveImage, imageSize) != imageSize ||
      OpenArchiveInMemory(&state.Archive, state.ArchiveImage, imageSize, nullptr) != 0) {
    DropShaderPack();
    return 0;
  }
  state.ArchiveOpen = 1;

  ArchiveFileState member;
  if (OpenArchiveMember(&member, &state.Archive, "ZvShaderPack.bin", 0) != 0) {
    DropShaderPack();
    return 0;
  }
  const int packSize = member.size;
  state.Pack = packSize > 0 ? static_cast<uint8_t*>(ZV_ALLOC(packSize)) : nullptr;
  const bool read = state.Pack && ReadArchiveMember(&member, state.Pack, packSize) == packSize;
  CloseArchiveMember(&member);
  if (!read) {
    DropShaderPack();
    return 0;
  }
  if (ParseShaderPack(state.Pack, packSize, &g_shaderCodeTables) != 0) {
    AddLogText("シェーダーパックのサイズ表が中身と合いません\n");
    DropShaderPack();
    return 0;
  }
  state.Unpacked = 1;
  return 1;
}

int CreateLibraryShaders() {
  ReleaseLibraryShaderObjects();
  if (!UnpackShaderPack()) {
    AddLogText("シェーダーコードを展開するメモリ領域の確保に失敗しました\n");
    return -1;
  }
  IDirect3DDevice9* device = g_renderDevice.Device;
  ShaderCodeTables& tables = g_shaderCodeTables;
  if (!device) return -1;
  int vertex = 0, pixel = 0;
  while (vertex < kVertexShaderCodeCount && !tables.VertexShaderCode[vertex]) ++vertex;
  while (pixel < kPixelShaderCodeCount && !tables.PixelShaderCode[pixel]) ++pixel;
  if (vertex == kVertexShaderCodeCount || pixel == kPixelShaderCodeCount) return -1;
  if (FAILED(device->CreateVertexShader(reinterpret_cast<const DWORD*>(tables.VertexShaderCode[vertex]),
                                        &tables.VertexShaders[vertex]))) {
    tables.VertexShaders[vertex] = nullptr;
    return -1;
  }
  if (FAILED(device->CreatePixelShader(reinterpret_cast<const DWORD*>(tables.PixelShaderCode[pixel]),
                                       &tables.PixelShaders[pixel]))) {
    tables.PixelShaders[pixel] = nullptr;
    ReleaseLibraryShaderObjects();
    return -1;
  }
  return 0;
}

int ReleaseLibraryShaderObjects() {
  for (IDirect3DVertexShader9*& shader : g_shaderCodeTables.VertexShaders)
    if (shader) shader->Release(), shader = nullptr;
  for (IDirect3DPixelShader9*& shader : g_shaderCodeTables.PixelShaders)
    if (shader) shader->Release(), shader = nullptr;
  return 0;
}

int ReleaseShaderPack() {
  ReleaseLibraryShaderObjects();
  DropShaderPack();
  return 0;
}
