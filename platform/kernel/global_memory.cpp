// Global memory blocks: the handle is the data address, as for a fixed block; a registry of live
// blocks keeps each one's size and lock count, so a stale or foreign handle is refused instead of
// followed.
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/kernel.h"

namespace {

struct GlobalBlock {
  SIZE_T size = 0;
  int locks = 0;
};

struct GlobalBlocks {
  std::mutex mutex;
  std::map<void*, GlobalBlock> live;
};

GlobalBlocks& Blocks() {
  static auto* blocks = new GlobalBlocks;
  return *blocks;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  void* data = bytes > (SIZE_T(1) << 40) ? nullptr : std::malloc(bytes ? bytes : 1);
  if (!data) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (flags & GMEM_ZEROINIT) std::memset(data, 0, bytes);
  std::lock_guard<std::mutex> lock(Blocks().mutex);
  Blocks().live[data] = GlobalBlock{bytes, 0};
  return data;
}

LPVOID GlobalLock(HGLOBAL block) {
  std::lock_guard<std::mutex> lock(Blocks().mutex);
  auto it = Blocks().live.find(block);
  if (it == Blocks().live.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  ++it->second.locks;
  return block;
}

BOOL GlobalUnlock(HGLOBAL block) {
  std::lock_guard<std::mutex> lock(Blocks().mutex);
  auto it = Blocks().live.find(block);
  if (it == Blocks().live.end() || it->second.locks <= 0) return FALSE;
  return --it->second.locks > 0;
}

SIZE_T GlobalSize(HGLOBAL block) {
  std::lock_guard<std::mutex> lock(Blocks().mutex);
  auto it = Blocks().live.find(block);
  return it == Blocks().live.end() ? 0 : it->second.size;
}

HGLOBAL GlobalFree(HGLOBAL block) {
  std::lock_guard<std::mutex> lock(Blocks().mutex);
  auto it = Blocks().live.find(block);
  if (it == Blocks().live.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return block;
  }
  Blocks().live.erase(it);
  std::free(block);
  return nullptr;
}
