// Tracked heap. (Interim: plain process-heap blocks until the tracked list lands.)
#include "platform/kernel.h"
#include "zyvel/runtime.h"

void* AllocTrackedMemory(int size, const char*, int) {
  if (size < 0) return nullptr;
  return HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(size));
}

void* AllocTrackedMemoryZeroed(int size, const char*, int) {
  if (size < 0) return nullptr;
  return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, static_cast<SIZE_T>(size));
}

void FreeTrackedMemory(void* data) {
  if (data) HeapFree(GetProcessHeap(), 0, data);
}

void* ReallocTrackedMemory(void* data, int size, const char*, int) {
  if (size < 0) return nullptr;
  return HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, data, static_cast<SIZE_T>(size));
}

int CheckTrackedMemory() { return 0; }
void DumpTrackedMemory() {}
void LogTrackedTotals() {}
