// The call lock: re-entry, first-in first-out hand-over, and a stray leave.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "window/window_services.h"

namespace {

int Waiters() {
  int waiters = 0;
  ReadApiLockState(nullptr, nullptr, &waiters);
  return waiters;
}

void WaitForWaiters(int count) {
  while (Waiters() != count) std::this_thread::yield();
}

TEST(ApiLock, ReentryHoldsUntilTheLastLeave) {
  ApiLockEnter();
  ApiLockEnter();
  int nesting = 0;
  DWORD owner = 0;
  ReadApiLockState(&nesting, &owner, nullptr);
  EXPECT_EQ(nesting, 2);
  EXPECT_EQ(owner, GetCurrentThreadId());

  ApiLockLeave();
  ReadApiLockState(&nesting, &owner, nullptr);
  EXPECT_EQ(nesting, 1);
  EXPECT_EQ(owner, GetCurrentThreadId());

  ApiLockLeave();
  ReadApiLockState(&nesting, &owner, nullptr);
  EXPECT_EQ(nesting, 0);
  EXPECT_EQ(owner, 0xFFFFFFFFu);
}

TEST(ApiLock, HandsOverFirstInFirstOut) {
  std::mutex orderMutex;
  std::vector<std::string> order;
  auto worker = [&](const char* name) {
    ApiLockEnter();
    {
      std::lock_guard<std::mutex> lock(orderMutex);
      order.push_back(name);
    }
    ApiLockLeave();
  };

  ApiLockEnter();  // A owns the lock.
  std::thread b(worker, "B");
  WaitForWaiters(1);
  std::thread c(worker, "C");
  WaitForWaiters(2);
  ApiLockLeave();
  // D arrives after A's release, while B and C are still queued or running: it goes last.
  std::thread d(worker, "D");
  b.join();
  c.join();
  d.join();
  EXPECT_EQ(order, (std::vector<std::string>{"B", "C", "D"}));
  EXPECT_EQ(Waiters(), 0);
}

TEST(ApiLock, StrayLeaveFromAnotherThreadIsIgnored) {
  ApiLockEnter();
  std::thread stray([] { ApiLockLeave(); });
  stray.join();
  int nesting = 0;
  DWORD owner = 0;
  ReadApiLockState(&nesting, &owner, nullptr);
  EXPECT_EQ(nesting, 1);
  EXPECT_EQ(owner, GetCurrentThreadId());
  ApiLockLeave();

  ApiLockLeave();  // Not held at all: ignored as well.
  ReadApiLockState(&nesting, &owner, nullptr);
  EXPECT_EQ(nesting, 0);
}

}  // namespace
