// Kernel objects behind HANDLE values: files, events, semaphores, mutexes, threads, find handles.
// A HANDLE is the object's address; the registry of live objects lets a stale or foreign handle
// be refused instead of followed.
#pragma once

#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/kernel.h"

namespace platform {

enum class ObjectKind { File, Event, Semaphore, Mutex, Thread, Find, Process };

struct KernelObject {
  explicit KernelObject(ObjectKind k) : kind(k) {}
  virtual ~KernelObject() = default;
  ObjectKind kind;
  int references = 1;
  // The conditions of the threads waiting on this object now (guarded by WaitMutex), so that a
  // signal wakes only them and not every waiting thread of the process.
  std::vector<std::condition_variable*> waiters;
};

// Wakes the threads waiting on `object`; the caller holds WaitMutex.
void NotifyWaiters(KernelObject* object);

// Registers a new object and returns its handle.
HANDLE RegisterObject(KernelObject* object);
// The live object behind a handle when it has the given kind; null otherwise.
KernelObject* LookUpObject(HANDLE handle, ObjectKind kind);
KernelObject* LookUpAnyObject(HANDLE handle);

// Every waitable object's state is guarded by this one mutex. A signal wakes the object's own
// waiters (`NotifyWaiters`); the one condition only announces that a thread may start.
std::mutex& WaitMutex();
std::condition_variable& WaitCondition();

// Time source shared by the clocks (fake clock aware), in microseconds since an arbitrary origin.
uint64_t NowMicroseconds();
// True when the fake clock took the sleep (the calling thread drives it) and moved on instead.
bool SleepOnFakeClock(DWORD milliseconds);
// True while the calling thread drives the fake clock.
bool DrivesFakeClock();
// Sleeps until NowMicroseconds reads `deadline` or later (at once when it has passed). A thread
// that drives the fake clock moves it there instead.
void SleepUntilMicroseconds(uint64_t deadline);

}  // namespace platform
