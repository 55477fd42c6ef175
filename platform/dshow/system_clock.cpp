// The system reference clock: 100-ns time from the performance counter, never running backwards,
// and one thread that sets events and releases semaphores when their advised times come. The
// thread wakes at least every few milliseconds, so a fake clock that jumps is noticed too.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "dshow/graph_parts.h"
#include "platform/kernel.h"

namespace platform {
namespace {

class SystemClock final : public ComObject<SystemClock, IReferenceClock> {
 public:
  static constexpr const IID* kInterfaceIds[] = {&IID_IReferenceClock};

  SystemClock() : m_worker([this] { Serve(); }) {}
  void OnFinalRelease() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_ending = true;
    }
    m_changed.notify_all();
    m_worker.join();
  }

  HRESULT GetTime(REFERENCE_TIME* time) override {
    if (!time) return E_POINTER;
    *time = Now();
    return S_OK;
  }

  HRESULT AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT event, DWORD_PTR* cookie) override {
    if (!cookie) return E_POINTER;
    if (!event || streamTime < 0 || baseTime < 0) return E_INVALIDARG;
    return Add({baseTime + streamTime, 0, reinterpret_cast<HANDLE>(event), false, 0}, cookie);
  }

  HRESULT AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime, HSEMAPHORE semaphore,
                         DWORD_PTR* cookie) override {
    if (!cookie) return E_POINTER;
    if (!semaphore || startTime < 0 || periodTime <= 0) return E_INVALIDARG;
    return Add({startTime, periodTime, reinterpret_cast<HANDLE>(semaphore), true, 0}, cookie);
  }

  HRESULT Unadvise(DWORD_PTR cookie) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = std::find_if(m_advises.begin(), m_advises.end(),
                                    [&](const Advise& a) { return a.cookie == cookie; });
    if (found == m_advises.end()) return S_FALSE;
    m_advises.erase(found);
    return S_OK;
  }

 private:
  struct Advise {
    REFERENCE_TIME due;
    REFERENCE_TIME period;  // 0 for a one-shot event.
    HANDLE handle;
    bool semaphore;
    DWORD_PTR cookie;
  };

  REFERENCE_TIME Now() {
    LARGE_INTEGER count{}, frequency{};
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    const long double seconds = static_cast<long double>(count.QuadPart) / static_cast<long double>(frequency.QuadPart);
    const REFERENCE_TIME now = static_cast<REFERENCE_TIME>(seconds * 10000000.0L);
    std::lock_guard<std::mutex> lock(m_timeMutex);
    m_last = std::max(m_last, now);
    return m_last;
  }

  HRESULT Add(Advise advise, DWORD_PTR* cookie) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      advise.cookie = ++m_nextCookie;
      m_advises.push_back(advise);
      *cookie = advise.cookie;
    }
    m_changed.notify_all();
    return S_OK;
  }

  void Serve() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_ending) {
      const REFERENCE_TIME now = Now();
      REFERENCE_TIME next = now + 50000;  // 5 ms at most between looks.
      for (size_t i = 0; i < m_advises.size();) {
        Advise& advise = m_advises[i];
        if (advise.due <= now) {
          if (advise.semaphore) {
            ReleaseSemaphore(advise.handle, 1, nullptr);
            advise.due += advise.period;
          } else {
            SetEvent(advise.handle);
            m_advises.erase(m_advises.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
          }
        }
        next = std::min(next, advise.due);
        ++i;
      }
      const auto wait = std::chrono::microseconds(std::max<REFERENCE_TIME>((next - now) / 10, 100));
      m_changed.wait_for(lock, wait);
    }
  }

  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<Advise> m_advises;
  DWORD_PTR m_nextCookie = 0;
  bool m_ending = false;
  std::mutex m_timeMutex;
  REFERENCE_TIME m_last = 0;
  std::thread m_worker;
};

}  // namespace

IReferenceClock* CreateSystemClock() { return new SystemClock; }

HRESULT CreateSystemClockObject(LPUNKNOWN outer, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  IReferenceClock* clock = CreateSystemClock();
  const HRESULT result = clock->QueryInterface(iid, object);
  clock->Release();
  return result;
}

}  // namespace platform
