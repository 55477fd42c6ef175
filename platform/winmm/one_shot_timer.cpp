// One-shot multimedia timers: one thread serves every pending timer in order of its due time. A
// kill waits for a callback that is running, so the caller may free what the callback uses as soon
// as timeKillEvent returns.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "platform/testing.h"
#include "platform/winmm.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

struct PendingTimer {
  SteadyClock::time_point due;
  LPTIMECALLBACK callback;
  DWORD_PTR user;
};

class TimerThread {
 public:
  ~TimerThread() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_stopping = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) m_thread.join();
  }

  UINT Add(UINT delayMilliseconds, LPTIMECALLBACK callback, DWORD_PTR user) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopping) return 0;
    if (!m_thread.joinable()) m_thread = std::thread([this] { Serve(); });
    UINT id = ++m_lastId;
    if (id == 0) id = ++m_lastId;  // 0 means "no timer".
    m_pending[id] = {SteadyClock::now() + std::chrono::milliseconds(delayMilliseconds), callback, user};
    m_changed.notify_all();
    return id;
  }

  MMRESULT Kill(UINT id) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_pending.erase(id)) {
      m_changed.notify_all();
      return TIMERR_NOERROR;
    }
    if (id == 0 || id != m_runningId) return MMSYSERR_INVALPARAM;
    // The callback may kill its own timer; waiting for itself would never end.
    if (std::this_thread::get_id() == m_thread.get_id()) return TIMERR_NOERROR;
    m_callbackDone.wait(lock, [&] { return m_runningId != id; });
    return TIMERR_NOERROR;
  }

 private:
  void Serve() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping) {
      auto next = m_pending.end();
      for (auto it = m_pending.begin(); it != m_pending.end(); ++it)
        if (next == m_pending.end() || it->second.due < next->second.due) next = it;
      if (next == m_pending.end()) {
        m_changed.wait(lock);
        continue;
      }
      const SteadyClock::time_point due = next->second.due;  // The entry may go while waiting.
      if (SteadyClock::now() < due) {
        m_changed.wait_until(lock, due);
        continue;
      }
      const UINT id = next->first;
      const PendingTimer timer = next->second;
      m_pending.erase(next);
      m_runningId = id;
      lock.unlock();
      timer.callback(id, 0, timer.user, 0, 0);
      lock.lock();
      m_runningId = 0;
      m_callbackDone.notify_all();
    }
  }

  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::condition_variable m_callbackDone;
  std::map<UINT, PendingTimer> m_pending;
  UINT m_lastId = 0;
  UINT m_runningId = 0;
  bool m_stopping = false;
  std::thread m_thread;
};

TimerThread& Timers() {
  static TimerThread timers;
  return timers;
}

std::atomic<int> g_refusedTimers{0};

}  // namespace

MMRESULT timeSetEvent(UINT delayMilliseconds, UINT, LPTIMECALLBACK callback, DWORD_PTR user, UINT flags) {
  if (!callback || (flags & TIME_PERIODIC)) return 0;
  int refused = g_refusedTimers.load();
  while (refused != 0) {
    if (refused < 0) return 0;
    if (g_refusedTimers.compare_exchange_weak(refused, refused - 1)) return 0;
  }
  return Timers().Add(delayMilliseconds, callback, user);
}

MMRESULT timeKillEvent(UINT timerId) { return Timers().Kill(timerId); }

namespace platform::testing {

void FailTimerCreation(int count) { g_refusedTimers = count; }

}  // namespace platform::testing
