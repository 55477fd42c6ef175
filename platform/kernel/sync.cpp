// Critical sections, events, semaphores, mutexes, threads and the waits on them.
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <unordered_set>
#include <vector>

#include "kernel/objects.h"
#include "kernel/state.h"

namespace platform {
namespace {

struct EventObject : KernelObject {
  EventObject() : KernelObject(ObjectKind::Event) {}
  bool manualReset = false;
  bool signalled = false;
};

struct SemaphoreObject : KernelObject {
  SemaphoreObject() : KernelObject(ObjectKind::Semaphore) {}
  LONG count = 0;
  LONG maximum = 0;
};

struct MutexObject : KernelObject {
  MutexObject() : KernelObject(ObjectKind::Mutex) {}
  DWORD owner = 0;
  int recursion = 0;
};

struct ThreadObject : KernelObject {
  ThreadObject() : KernelObject(ObjectKind::Thread) {}
  DWORD id = 0;
  bool started = false;  // False while created suspended.
  bool finished = false;
  DWORD exitCode = STILL_ACTIVE;
  int priority = THREAD_PRIORITY_NORMAL;
};

std::unordered_set<KernelObject*>& LiveObjects() {
  static auto* objects = new std::unordered_set<KernelObject*>;
  return *objects;
}

std::atomic<DWORD> g_nextThreadId{1000};
thread_local DWORD t_threadId = 0;
thread_local DWORD t_lastError = 0;
thread_local ThreadObject* t_threadObject = nullptr;

// Drops one reference; the caller holds WaitMutex.
void ReleaseReference(KernelObject* object) {
  if (--object->references == 0) {
    LiveObjects().erase(object);
    delete object;
  }
}

bool IsSignalled(KernelObject* object, DWORD thread) {
  switch (object->kind) {
    case ObjectKind::Event:
      return static_cast<EventObject*>(object)->signalled;
    case ObjectKind::Semaphore:
      return static_cast<SemaphoreObject*>(object)->count > 0;
    case ObjectKind::Mutex: {
      auto* mutex = static_cast<MutexObject*>(object);
      return mutex->recursion == 0 || mutex->owner == thread;
    }
    case ObjectKind::Thread:
      return static_cast<ThreadObject*>(object)->finished;
    case ObjectKind::Process:
      return false;
    default:
      return true;
  }
}

// Takes the signal of an object that satisfied a wait.
void Consume(KernelObject* object, DWORD thread) {
  switch (object->kind) {
    case ObjectKind::Event: {
      auto* event = static_cast<EventObject*>(object);
      if (!event->manualReset) event->signalled = false;
      break;
    }
    case ObjectKind::Semaphore:
      --static_cast<SemaphoreObject*>(object)->count;
      break;
    case ObjectKind::Mutex: {
      auto* mutex = static_cast<MutexObject*>(object);
      mutex->owner = thread;
      ++mutex->recursion;
      break;
    }
    default:
      break;
  }
}

struct ThreadStart {
  ThreadObject* object;
  LPTHREAD_START_ROUTINE start;
  LPVOID parameter;
};

struct ThreadExit {
  DWORD code;
};

void FinishThread(ThreadObject* object, DWORD code) {
  std::lock_guard<std::mutex> lock(WaitMutex());
  object->finished = true;
  object->exitCode = code;
  NotifyWaiters(object);
  ReleaseReference(object);
}

void RunThread(ThreadStart start) {
  ThreadObject* object = start.object;
  t_threadId = object->id;
  t_threadObject = object;
  {
    std::unique_lock<std::mutex> lock(WaitMutex());
    WaitCondition().wait(lock, [object] { return object->started; });
  }
  DWORD code = 0;
  try {
    code = start.start(start.parameter);
  } catch (const ThreadExit& exit) {
    code = exit.code;
  }
  FinishThread(object, code);
}

}  // namespace

// Never destroyed: threads still waiting when the process exits (a file worker, say) must not
// find them gone, and destroying a condition with waiters blocks the exit.
void NotifyWaiters(KernelObject* object) {
  for (std::condition_variable* waiter : object->waiters) waiter->notify_one();
}

std::mutex& WaitMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}

std::condition_variable& WaitCondition() {
  static std::condition_variable* condition = new std::condition_variable;
  return *condition;
}

HANDLE RegisterObject(KernelObject* object) {
  std::lock_guard<std::mutex> lock(WaitMutex());
  LiveObjects().insert(object);
  return static_cast<HANDLE>(object);
}

KernelObject* LookUpAnyObject(HANDLE handle) {
  std::lock_guard<std::mutex> lock(WaitMutex());
  auto* object = static_cast<KernelObject*>(handle);
  return LiveObjects().count(object) ? object : nullptr;
}

KernelObject* LookUpObject(HANDLE handle, ObjectKind kind) {
  KernelObject* object = LookUpAnyObject(handle);
  return object && object->kind == kind ? object : nullptr;
}

}  // namespace platform

using namespace platform;

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD error) { t_lastError = error; }

// ---- Critical sections ----

void InitializeCriticalSection(LPCRITICAL_SECTION section) { section->lock = new std::recursive_mutex; }

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
  delete static_cast<std::recursive_mutex*>(section->lock);
  section->lock = nullptr;
}

void EnterCriticalSection(LPCRITICAL_SECTION section) { static_cast<std::recursive_mutex*>(section->lock)->lock(); }

void LeaveCriticalSection(LPCRITICAL_SECTION section) { static_cast<std::recursive_mutex*>(section->lock)->unlock(); }

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) {
  return static_cast<std::recursive_mutex*>(section->lock)->try_lock() ? TRUE : FALSE;
}

// ---- Events, semaphores, mutexes ----

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR) {
  if (TakeFault(State().failSyncObjects)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* event = new EventObject;
  event->manualReset = manualReset != 0;
  event->signalled = initialState != 0;
  return RegisterObject(event);
}

static BOOL ChangeEvent(HANDLE handle, bool signalled, bool pulse) {
  std::lock_guard<std::mutex> lock(WaitMutex());
  auto* object = static_cast<KernelObject*>(handle);
  if (!LiveObjects().count(object) || object->kind != ObjectKind::Event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  static_cast<EventObject*>(object)->signalled = signalled;
  if (signalled) NotifyWaiters(object);
  (void)pulse;
  return TRUE;
}

BOOL SetEvent(HANDLE event) { return ChangeEvent(event, true, false); }
BOOL ResetEvent(HANDLE event) { return ChangeEvent(event, false, false); }

BOOL PulseEvent(HANDLE event) {
  // Waiters present now are woken; the event ends non-signalled. A waiter that has not yet
  // re-checked may miss the pulse, which the platform also permits.
  if (!SetEvent(event)) return FALSE;
  std::this_thread::yield();
  return ResetEvent(event);
}

HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES, LONG initialCount, LONG maximumCount, LPCSTR) {
  if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (TakeFault(State().failSyncObjects)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* semaphore = new SemaphoreObject;
  semaphore->count = initialCount;
  semaphore->maximum = maximumCount;
  return RegisterObject(semaphore);
}

BOOL ReleaseSemaphore(HANDLE handle, LONG releaseCount, LONG* previousCount) {
  std::lock_guard<std::mutex> lock(WaitMutex());
  auto* object = static_cast<KernelObject*>(handle);
  if (!LiveObjects().count(object) || object->kind != ObjectKind::Semaphore) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  auto* semaphore = static_cast<SemaphoreObject*>(object);
  if (releaseCount <= 0 || releaseCount > semaphore->maximum - semaphore->count) {
    SetLastError(ERROR_INVALID_PARAMETER);  // Too many posts: the platform refuses them too.
    return FALSE;
  }
  if (previousCount) *previousCount = semaphore->count;
  semaphore->count += releaseCount;
  NotifyWaiters(object);
  return TRUE;
}

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR) {
  auto* mutex = new MutexObject;
  if (initialOwner) {
    mutex->owner = GetCurrentThreadId();
    mutex->recursion = 1;
  }
  return RegisterObject(mutex);
}

BOOL ReleaseMutex(HANDLE handle) {
  std::lock_guard<std::mutex> lock(WaitMutex());
  auto* object = static_cast<KernelObject*>(handle);
  if (!LiveObjects().count(object) || object->kind != ObjectKind::Mutex) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  auto* mutex = static_cast<MutexObject*>(object);
  if (mutex->recursion == 0 || mutex->owner != GetCurrentThreadId()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (--mutex->recursion == 0) {
    mutex->owner = 0;
    NotifyWaiters(object);
  }
  return TRUE;
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  const DWORD thread = GetCurrentThreadId();
  std::unique_lock<std::mutex> lock(WaitMutex());
  std::vector<KernelObject*> objects(count);
  for (DWORD i = 0; i < count; ++i) {
    auto* object = static_cast<KernelObject*>(handles[i]);
    if (!LiveObjects().count(object)) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    objects[i] = object;
  }
  // Hold a reference for the wait, so a handle closed meanwhile does not vanish under us.
  for (auto* object : objects) ++object->references;
  thread_local std::condition_variable t_condition;

  auto ready = [&]() -> DWORD {
    if (waitAll) {
      for (auto* object : objects)
        if (!IsSignalled(object, thread)) return WAIT_TIMEOUT;
      for (auto* object : objects) Consume(object, thread);
      return WAIT_OBJECT_0;
    }
    for (DWORD i = 0; i < count; ++i) {
      if (IsSignalled(objects[i], thread)) {
        Consume(objects[i], thread);
        return WAIT_OBJECT_0 + i;
      }
    }
    return WAIT_TIMEOUT;
  };

  DWORD result = ready();
  if (result == WAIT_TIMEOUT && milliseconds != 0) {
    for (auto* object : objects) object->waiters.push_back(&t_condition);
    if (milliseconds == INFINITE) {
      while ((result = ready()) == WAIT_TIMEOUT) t_condition.wait(lock);
    } else {
      auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
      while ((result = ready()) == WAIT_TIMEOUT) {
        if (t_condition.wait_until(lock, deadline) == std::cv_status::timeout) {
          result = ready();
          break;
        }
      }
    }
    for (auto* object : objects) {
      auto& waiters = object->waiters;
      for (size_t i = 0; i < waiters.size(); ++i) {
        if (waiters[i] == &t_condition) {
          waiters.erase(waiters.begin() + static_cast<long>(i));
          break;
        }
      }
    }
  }
  for (auto* object : objects) ReleaseReference(object);
  return result;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}

BOOL CloseHandle(HANDLE handle) {
  std::lock_guard<std::mutex> lock(WaitMutex());
  auto* object = static_cast<KernelObject*>(handle);
  if (!handle || handle == INVALID_HANDLE_VALUE || !LiveObjects().count(object) ||
      object->kind == ObjectKind::Process) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  ReleaseReference(object);
  return TRUE;
}

BOOL DuplicateHandle(HANDLE, HANDLE source, HANDLE, HANDLE* target, DWORD, BOOL, DWORD) {
  std::lock_guard<std::mutex> lock(WaitMutex());
  auto* object = static_cast<KernelObject*>(source);
  if (!target || !LiveObjects().count(object)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  ++object->references;
  *target = source;
  return TRUE;
}

// ---- Threads ----

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                    LPDWORD threadId) {
  if (!start) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (TakeFault(State().failThreads)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* object = new ThreadObject;
  object->id = g_nextThreadId.fetch_add(1);
  object->started = (flags & CREATE_SUSPENDED) == 0;
  object->references = 2;  // The caller's handle and the running thread.
  HANDLE handle = RegisterObject(object);
  try {
    std::thread(RunThread, ThreadStart{object, start, parameter}).detach();
  } catch (...) {
    std::lock_guard<std::mutex> lock(WaitMutex());
    LiveObjects().erase(object);
    delete object;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (threadId) *threadId = object->id;
  return handle;
}

DWORD ResumeThread(HANDLE handle) {
  std::lock_guard<std::mutex> lock(WaitMutex());
  auto* object = static_cast<KernelObject*>(handle);
  if (!LiveObjects().count(object) || object->kind != ObjectKind::Thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0xFFFFFFFFu;
  }
  auto* thread = static_cast<ThreadObject*>(object);
  DWORD previous = thread->started ? 0 : 1;
  thread->started = true;
  WaitCondition().notify_all();
  return previous;
}

BOOL SetThreadPriority(HANDLE handle, int priority) {
  // Linux gives ordinary processes no say over real-time priorities; the value is kept so that
  // GetThreadPriority answers what was set.
  std::lock_guard<std::mutex> lock(WaitMutex());
  auto* object = static_cast<KernelObject*>(handle);
  if (handle == GetCurrentThread()) {
    if (t_threadObject) t_threadObject->priority = priority;
    return TRUE;
  }
  if (!LiveObjects().count(object) || object->kind != ObjectKind::Thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  static_cast<ThreadObject*>(object)->priority = priority;
  return TRUE;
}

int GetThreadPriority(HANDLE handle) {
  std::lock_guard<std::mutex> lock(WaitMutex());
  if (handle == GetCurrentThread()) return t_threadObject ? t_threadObject->priority : THREAD_PRIORITY_NORMAL;
  auto* object = static_cast<KernelObject*>(handle);
  if (!LiveObjects().count(object) || object->kind != ObjectKind::Thread) return 0x7FFFFFFF;
  return static_cast<ThreadObject*>(object)->priority;
}

BOOL GetExitCodeThread(HANDLE handle, LPDWORD exitCode) {
  std::lock_guard<std::mutex> lock(WaitMutex());
  auto* object = static_cast<KernelObject*>(handle);
  if (!exitCode || !LiveObjects().count(object) || object->kind != ObjectKind::Thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *exitCode = static_cast<ThreadObject*>(object)->exitCode;
  return TRUE;
}

void ExitThread(DWORD exitCode) {
  // Unwinds to the thread's entry, which records the code and signals the thread object.
  throw ThreadExit{exitCode};
}

HANDLE GetCurrentThread() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2)); }
HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }

DWORD GetCurrentThreadId() {
  if (t_threadId == 0) t_threadId = g_nextThreadId.fetch_add(1);
  return t_threadId;
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

void Sleep(DWORD milliseconds) {
  if (milliseconds != 0 && State().fakeClock.load() && State().sleepMovesFakeClock.load()) {
    State().fakeMicroseconds += static_cast<uint64_t>(milliseconds) * 1000u;
    sched_yield();
    return;
  }
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  // A yield here would cost a loaded machine more than the sleep saves.
  if (SleepOnFakeClock(milliseconds)) return;
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void ExitProcess(UINT exitCode) { std::exit(static_cast<int>(exitCode)); }

// ---- Interlocked operations ----

LONG InterlockedIncrement(LONG volatile* value) { return __atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedDecrement(LONG volatile* value) { return __atomic_sub_fetch(value, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedExchange(LONG volatile* target, LONG value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
LONG InterlockedExchangeAdd(LONG volatile* target, LONG value) {
  return __atomic_fetch_add(target, value, __ATOMIC_SEQ_CST);
}
LONG InterlockedCompareExchange(LONG volatile* target, LONG exchange, LONG comparand) {
  __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}

namespace platform::testing {

void FailEventAndSemaphoreCreation(int count) { State().failSyncObjects = count; }

}  // namespace platform::testing
