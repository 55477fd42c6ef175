// COM task memory: blocks that one side allocates and the other frees.
#include <atomic>
#include <cstdlib>

#include "platform/com.h"
#include "platform/testing.h"

namespace {
std::atomic<int> g_failTaskMemory{0};

bool TakeTaskMemoryFault() {
  int value = g_failTaskMemory.load();
  while (value != 0) {
    if (value < 0) return true;
    if (g_failTaskMemory.compare_exchange_weak(value, value - 1)) return true;
  }
  return false;
}
}  // namespace

LPVOID CoTaskMemAlloc(SIZE_T bytes) {
  if (TakeTaskMemoryFault()) return nullptr;
  return std::malloc(bytes ? bytes : 1);
}

void CoTaskMemFree(LPVOID block) { std::free(block); }

void CoFreeUnusedLibraries() {}

namespace platform::testing {

void FailTaskMemoryAllocations(int count) { g_failTaskMemory = count; }

}  // namespace platform::testing
