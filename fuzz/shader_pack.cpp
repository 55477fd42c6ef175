// Fuzz target: the shader pack, the library's one reader of its own built-in archive image. The
// first byte chooses what the rest is:
//   0: a whole pack (short ones are refused at once);
//   1: patches of a pack's size table (offset byte, then bytes written there) followed by code
//      bytes, so the fuzzer reaches the 0x44400-byte table without spelling it out;
//   2: the built-in archive image itself (LZ-packed archive holding "ZvShaderPack.bin").
// An accepted pack must point every non-empty entry inside the pack, in order, back to back.
#include "graphics/models/shader_pack.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

ShaderCodeTables g_tables;

void CheckAccepted(const std::vector<uint8_t>& pack) {
  const uint8_t* next = pack.data() + kShaderPackHeaderSize;
  for (int i = 0; i < kVertexShaderCodeCount + kPixelShaderCodeCount; ++i) {
    const int size = pack[2 * i] | pack[2 * i + 1] << 8;
    const uint32_t* code = i < kVertexShaderCodeCount ? g_tables.VertexShaderCode[i]
                                                      : g_tables.PixelShaderCode[i - kVertexShaderCodeCount];
    if ((size == 0) != (code == nullptr)) std::abort();
    if (!code) continue;
    if (reinterpret_cast<const uint8_t*>(code) != next) std::abort();
    next += size;
  }
  if (next != pack.data() + pack.size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1u << 20)) return 0;
  const int mode = data[0] % 3;
  ++data, --size;
  if (mode == 0) {
    std::vector<uint8_t> pack(data, data + size);
    if (ParseShaderPack(pack.data(), static_cast<int>(pack.size()), &g_tables) == 0) CheckAccepted(pack);
  } else if (mode == 1) {
    std::vector<uint8_t> pack(kShaderPackHeaderSize);
    size_t at = 0;
    // Patches: [offset in 1 KiB steps][length][bytes], while they fit; the rest is code.
    while (at + 2 <= size && data[at] != 0xFF) {
      const size_t offset = static_cast<size_t>(data[at]) * 1024, length = data[at + 1];
      at += 2;
      for (size_t i = 0; i < length && at < size && offset + i < pack.size(); ++i, ++at) pack[offset + i] = data[at];
    }
    if (at < size) ++at;
    pack.insert(pack.end(), data + at, data + size);
    if (ParseShaderPack(pack.data(), static_cast<int>(pack.size()), &g_tables) == 0) CheckAccepted(pack);
  } else {
    std::vector<uint8_t> image(data, data + size);
    SetBuiltInShaderArchive(image.data(), static_cast<int>(image.size()));
    UnpackShaderPack();
    ReleaseShaderPack();
    SetBuiltInShaderArchive(nullptr, 0);
  }
  return 0;
}
