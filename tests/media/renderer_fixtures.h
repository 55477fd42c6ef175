// Fixtures of the renderer tests: a reference clock that advises (its time moves only when the
// test says), a renderer that records what it draws, and a push source feeding it from a thread
// of its own. Every wait is bounded.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "media/filters/render_filter.h"
#include "media/filters/render_pin.h"
#include "media_test_support.h"

namespace media_test {

inline constexpr REFERENCE_TIME kMs = 10000;  // One millisecond in 100-ns units.
inline constexpr auto kPatience = std::chrono::seconds(10);

// A reference clock whose advices fire when the test moves the time past them.
class AdvisingClock final : public IReferenceClock {
 public:
  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IReferenceClock) {
      *out = static_cast<IReferenceClock*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return static_cast<ULONG>(++m_references); }
  ULONG Release() override {
    const LONG left = --m_references;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT GetTime(REFERENCE_TIME* time) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    *time = m_time;
    return S_OK;
  }
  HRESULT AdviseTime(REFERENCE_TIME base, REFERENCE_TIME stream, HEVENT event, DWORD_PTR* cookie) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++adviceCount;
    if (refuseAdvice) return E_FAIL;
    const DWORD_PTR id = ++m_lastCookie;
    m_advices[id] = {base + stream, reinterpret_cast<HANDLE>(event)};
    *cookie = id;
    FireDue();
    return S_OK;
  }
  HRESULT AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, HSEMAPHORE, DWORD_PTR*) override { return E_NOTIMPL; }
  HRESULT Unadvise(DWORD_PTR cookie) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_advices.erase(cookie) ? S_OK : S_FALSE;
  }
  void SetTime(REFERENCE_TIME time) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_time = time;
    FireDue();
  }
  size_t PendingAdvices() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_advices.size();
  }

  bool refuseAdvice = false;  // Set before streaming starts.
  int adviceCount = 0;

 private:
  struct Advice {
    REFERENCE_TIME due;
    HANDLE event;
  };
  void FireDue() {
    for (auto it = m_advices.begin(); it != m_advices.end();) {
      if (it->second.due <= m_time) {
        SetEvent(it->second.event);
        it = m_advices.erase(it);
      } else {
        ++it;
      }
    }
  }
  std::atomic<LONG> m_references{1};
  std::mutex m_mutex;
  REFERENCE_TIME m_time = 0;
  DWORD_PTR m_lastCookie = 0;
  std::map<DWORD_PTR, Advice> m_advices;
};

// A renderer that records the start time of each sample it draws.
class RecordingRenderer : public Z_CRenderFilter {
 public:
  RecordingRenderer() : Z_CRenderFilter(kTestFilterClass, "Recording renderer", nullptr, nullptr) { AddRef(); }

  HRESULT TestType(const AM_MEDIA_TYPE* type) override { return type->majortype == kMajorVideo ? S_OK : S_FALSE; }
  HRESULT RenderSample(IMediaSample* sample) override {
    REFERENCE_TIME start = -1;
    REFERENCE_TIME stop = -1;
    sample->GetTime(&start, &stop);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_drawn.push_back(start);
    m_changed.notify_all();
    return S_OK;
  }
  std::vector<REFERENCE_TIME> Drawn() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_drawn;
  }
  bool WaitForDrawn(size_t count) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, kPatience, [&] { return m_drawn.size() >= count; });
  }
  IPin* Input() { return static_cast<IPin*>(PinAt(0)); }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<REFERENCE_TIME> m_drawn;
};

// Samples pushed into a renderer, each Receive on a thread of its own; the result is kept.
class PushedSample {
 public:
  PushedSample(IMemInputPin* input, IMediaSample* sample) {
    m_thread = std::thread([this, input, sample] {
      const HRESULT result = input->Receive(sample);
      std::lock_guard<std::mutex> lock(m_mutex);
      m_result = result;
      m_done = true;
      m_changed.notify_all();
    });
  }
  ~PushedSample() {
    if (m_thread.joinable()) m_thread.join();
  }
  // True when Receive returned within the patience.
  bool Finished() {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, kPatience, [&] { return m_done; });
  }
  bool StillWaiting() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_done;
  }
  HRESULT Result() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_result;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_done = false;
  HRESULT m_result = E_PENDING_TEST;
  static constexpr HRESULT E_PENDING_TEST = static_cast<HRESULT>(0x8000000A);
  std::thread m_thread;
};

// A source filter's output pin connected to the renderer's input, in a recording graph.
struct RendererChain {
  ComRef<RecordingRenderer> renderer{new RecordingRenderer};
  FilterRef source{new TestFilter};
  TestOutputPin* out = source->AddPin<TestOutputPin>("Out");
  ComRef<platform::testing::FakeFilterGraph> graph{platform::testing::CreateFakeFilterGraph({})};
  AdvisingClock* clock = new AdvisingClock;
  Z_CMediaTypeHolder video = MakeType(kMajorVideo, kSubPcm, kFormatWave, {1});

  RendererChain() {
    out->rule.acceptsAll = true;
    renderer->JoinFilterGraph(graph.get(), nullptr);
    renderer->SetSyncSource(clock);
  }
  ~RendererChain() {
    renderer->Stop();
    source->Stop();
    out->Disconnect();
    renderer->Input()->Disconnect();
    renderer->JoinFilterGraph(nullptr, nullptr);
    renderer->SetSyncSource(nullptr);
    clock->Release();
  }
  HRESULT Connect() { return out->Connect(renderer->Input(), &video); }
  IMemInputPin* Input() { return static_cast<IMemInputPin*>(static_cast<Z_CRenderPin*>(renderer->PinAt(0))); }
  // A sample of the shared allocator (committed by the renderer's Pause) with the given times.
  ComRef<IMediaSample> Sample(REFERENCE_TIME start, REFERENCE_TIME stop) {
    IMediaSample* sample = nullptr;
    EXPECT_EQ(out->TakeDeliveryBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT), S_OK);
    if (sample && start >= 0) sample->SetTime(&start, &stop);
    return ComRef<IMediaSample>(sample);
  }
  int EventCount(LONG code) {
    int count = 0;
    for (const auto& event : graph->Events()) count += event.code == code;
    return count;
  }
  // Waits (bounded) until the graph was sent `count` events of the code.
  bool WaitForEvents(LONG code, int count) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (EventCount(code) < count) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }
  // Waits (bounded) until the renderer holds a sample.
  bool WaitForPendingSample() {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!renderer->HasPendingSample()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }
};

}  // namespace media_test
