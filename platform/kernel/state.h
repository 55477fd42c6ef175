// The kernel stand-in's global record: the switches of the test door and the mapped root.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <string>

#include "platform/kernel.h"

namespace platform {

struct KernelState {
  std::mutex mutex;  // Guards the strings, sets and functions below.

  std::atomic<bool> fakeClock{false};
  std::atomic<uint64_t> fakeMicroseconds{0};
  std::atomic<bool> sleepMovesFakeClock{false};
  std::atomic<DWORD> fakeClockDriver{0};       // The thread whose sleeps and readings move it; 0 none.
  std::atomic<uint64_t> fakeSleepLateness{0};  // Microseconds each of the driver's sleeps overruns.
  bool fakeLocalTimeSet = false;
  SYSTEMTIME fakeLocalTime{};

  std::atomic<int> processorCount{0};

  std::string mappedRoot = "/";
  std::atomic<int> failFileOpens{0};
  std::atomic<int> failThreads{0};
  std::atomic<int> failHeap{0};
  std::atomic<int> failVirtual{0};
  std::atomic<int> failSyncObjects{0};

  std::function<void(const std::string&)> debugSink;
  std::set<std::string> hiddenModules;  // Upper-cased file names.
};

KernelState& State();

// Counts one use of a fault switch: true when this use must fail.
inline bool TakeFault(std::atomic<int>& counter) {
  int value = counter.load();
  while (value != 0) {
    if (value < 0) return true;
    if (counter.compare_exchange_weak(value, value - 1)) return true;
  }
  return false;
}

}  // namespace platform
