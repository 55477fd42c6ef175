// `ApiLock`: the library-wide call lock taken by start-up, shut-down and message processing.
// Re-entrant for its owner, handed over first-in first-out: a released lock goes to the head of
// the queue, and a newcomer queues behind waiting threads even while the lock is free.
//
// The events and the critical section are made once, on first use from any thread, and kept for
// the life of the process: a thread may still be queued when the library shuts down.
#include <mutex>

#include "platform/kernel.h"
#include "window/window_services.h"

namespace {

constexpr int kQueueLength = 4096;
constexpr DWORD kNoOwner = 0xFFFFFFFFu;

struct ApiLock {
  int nesting = 0;
  int locked = 0;
  DWORD owner = kNoOwner;
  struct Entry {
    DWORD threadId;
    HANDLE event;
  } queue[kQueueLength] = {};
  int waiters = 0;
  CRITICAL_SECTION section{};
};

ApiLock& TheLock() {
  static ApiLock* lock = [] {
    auto* made = new ApiLock;
    for (auto& entry : made->queue) entry.event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    InitializeCriticalSection(&made->section);
    return made;
  }();
  return *lock;
}

// The caller holds the section.
void Acquire(ApiLock& lock, DWORD self) {
  ++lock.nesting;
  lock.locked = 1;
  lock.owner = self;
}

}  // namespace

void ApiLockEnter() {
  ApiLock& lock = TheLock();
  const DWORD self = GetCurrentThreadId();
  for (;;) {
    EnterCriticalSection(&lock.section);
    bool take = false;
    if (lock.locked) {
      take = lock.owner == self;
    } else if (lock.waiters == 0 || lock.owner == self) {
      take = true;
    } else if (lock.queue[0].threadId == self) {
      // The head takes the lock and leaves the queue; its event moves to the end of the used
      // part, so every entry keeps an event of its own.
      HANDLE headEvent = lock.queue[0].event;
      for (int i = 1; i < lock.waiters; ++i) lock.queue[i - 1] = lock.queue[i];
      lock.queue[lock.waiters - 1] = {0, headEvent};
      --lock.waiters;
      take = true;
    }
    if (take) {
      Acquire(lock, self);
      LeaveCriticalSection(&lock.section);
      return;
    }
    if (lock.waiters == kQueueLength) {
      LeaveCriticalSection(&lock.section);
      Sleep(1);
      continue;
    }
    // Queue, unless already queued (woken while not yet the head, or the lock was taken).
    int position = -1;
    for (int i = 0; i < lock.waiters; ++i)
      if (lock.queue[i].threadId == self) position = i;
    if (position < 0) {
      position = lock.waiters++;
      lock.queue[position].threadId = self;
    }
    HANDLE event = lock.queue[position].event;
    LeaveCriticalSection(&lock.section);
    WaitForSingleObject(event, INFINITE);
    ResetEvent(event);
  }
}

void ApiLockLeave() {
  ApiLock& lock = TheLock();
  const DWORD self = GetCurrentThreadId();
  EnterCriticalSection(&lock.section);
  if (!lock.locked || lock.owner != self || lock.nesting <= 0) {
    LeaveCriticalSection(&lock.section);
    // A leave without the lock would free another thread's lock: it is refused.
    AddLogText("ApiLockLeave: ロックを持たないスレッドからの解放を無視しました\n");
    return;
  }
  HANDLE wake = nullptr;
  if (lock.nesting == 1) {
    lock.locked = 0;
    lock.owner = kNoOwner;
    if (lock.waiters > 0) wake = lock.queue[0].event;
  }
  --lock.nesting;
  LeaveCriticalSection(&lock.section);
  if (wake) {
    SetEvent(wake);
    Sleep(0);
  }
}

void ReadApiLockState(int* nesting, DWORD* owner, int* waiters) {
  ApiLock& lock = TheLock();
  EnterCriticalSection(&lock.section);
  if (nesting) *nesting = lock.nesting;
  if (owner) *owner = lock.owner;
  if (waiters) *waiters = lock.waiters;
  LeaveCriticalSection(&lock.section);
}

int IsApiLockHeldByCurrentThread() {
  ApiLock& lock = TheLock();
  EnterCriticalSection(&lock.section);
  int held = lock.locked && lock.owner == GetCurrentThreadId();
  LeaveCriticalSection(&lock.section);
  return held;
}
