// VirtualAlloc and VirtualFree over mmap. A region is mapped a granule larger than asked and
// trimmed, so its base sits on the 64 KiB allocation granularity as the platform's regions do;
// callers that align buffers to any divisor of the granularity rely on that.
#include <sys/mman.h>

#include <cstdint>
#include <map>
#include <mutex>

#include "kernel/state.h"
#include "platform/testing.h"

namespace platform {
namespace {

constexpr uintptr_t kGranularity = 65536;

struct Regions {
  std::mutex mutex;
  std::map<uintptr_t, SIZE_T> sizes;  // Base -> reserved bytes.
};

Regions& TheRegions() {
  static Regions* regions = new Regions;
  return *regions;
}

SIZE_T PageSize() {
  static const SIZE_T size = static_cast<SIZE_T>(sysconf(_SC_PAGESIZE));
  return size;
}

int ProtectionOf(DWORD protect) {
  switch (protect) {
    case PAGE_NOACCESS:
      return PROT_NONE;
    case PAGE_READONLY:
      return PROT_READ;
    case PAGE_READWRITE:
      return PROT_READ | PROT_WRITE;
    default:
      return -1;
  }
}

// The region holding [address, address + size), or the end of the map.
std::map<uintptr_t, SIZE_T>::iterator RegionOf(Regions& regions, uintptr_t address, SIZE_T size) {
  auto it = regions.sizes.upper_bound(address);
  if (it == regions.sizes.begin()) return regions.sizes.end();
  --it;
  if (address + size < address || address + size > it->first + it->second) return regions.sizes.end();
  return it;
}

LPVOID NewRegion(SIZE_T size, DWORD type, int protection) {
  const SIZE_T pages = (size + PageSize() - 1) / PageSize() * PageSize();
  if (pages < size || pages > (SIZE_T(1) << 46)) return nullptr;
  void* mapped = mmap(nullptr, pages + kGranularity, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(mapped);
  const uintptr_t base = (start + kGranularity - 1) & ~(kGranularity - 1);
  if (base > start) munmap(mapped, base - start);
  const uintptr_t end = start + pages + kGranularity;
  if (end > base + pages) munmap(reinterpret_cast<void*>(base + pages), end - (base + pages));
  if ((type & MEM_COMMIT) && mprotect(reinterpret_cast<void*>(base), pages, protection) != 0) {
    munmap(reinterpret_cast<void*>(base), pages);
    return nullptr;
  }
  Regions& regions = TheRegions();
  std::lock_guard<std::mutex> lock(regions.mutex);
  regions.sizes[base] = pages;
  return reinterpret_cast<LPVOID>(base);
}

}  // namespace
}  // namespace platform

using namespace platform;

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect) {
  const int protection = ProtectionOf(protect);
  if (size == 0 || protection < 0 || (allocationType & (MEM_COMMIT | MEM_RESERVE)) == 0 ||
      (allocationType & ~(MEM_COMMIT | MEM_RESERVE)) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (TakeFault(State().failVirtual)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (!address) {
    LPVOID region = NewRegion(size, allocationType, protection);
    if (!region) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return region;
  }
  // Committing pages of a region reserved earlier.
  if (!(allocationType & MEM_COMMIT)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const uintptr_t first = reinterpret_cast<uintptr_t>(address) & ~(PageSize() - 1);
  const uintptr_t last = reinterpret_cast<uintptr_t>(address) + size;
  Regions& regions = TheRegions();
  std::lock_guard<std::mutex> lock(regions.mutex);
  if (RegionOf(regions, first, last - first) == regions.sizes.end() ||
      mprotect(reinterpret_cast<void*>(first), last - first, protection) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return reinterpret_cast<LPVOID>(first);
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType) {
  Regions& regions = TheRegions();
  std::lock_guard<std::mutex> lock(regions.mutex);
  const uintptr_t base = reinterpret_cast<uintptr_t>(address);
  if (freeType == MEM_RELEASE) {
    auto it = regions.sizes.find(base);
    if (size != 0 || it == regions.sizes.end()) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    munmap(address, it->second);
    regions.sizes.erase(it);
    return TRUE;
  }
  if (freeType == MEM_DECOMMIT && size != 0) {
    const uintptr_t first = base & ~(PageSize() - 1);
    const uintptr_t last = (base + size + PageSize() - 1) & ~(PageSize() - 1);
    if (RegionOf(regions, first, last - first) != regions.sizes.end()) {
      void* start = reinterpret_cast<void*>(first);
      madvise(start, last - first, MADV_DONTNEED);
      mprotect(start, last - first, PROT_NONE);
      return TRUE;
    }
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

namespace platform::testing {

void FailVirtualAllocations(int count) { State().failVirtual = count; }

}  // namespace platform::testing
