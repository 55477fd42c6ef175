// The graph's renderers: the shared receiving, timing and end-of-stream logic, and the null
// renderer.
#include "media/graph_renderers.h"

#include <new>

// ---- The pin ----

Z_CGraphRendererPin::Z_CGraphRendererPin(Z_CGraphRenderer* filter, Z_CLockSection* lock)
    : Z_CReceivingPin("Graph renderer input pin", filter, lock, nullptr, u"In"), m_renderer(filter) {}

HRESULT Z_CGraphRendererPin::TestType(const AM_MEDIA_TYPE* type) { return m_renderer->TestType(type); }

HRESULT Z_CGraphRendererPin::Receive(IMediaSample* sample) {
  const HRESULT result = Z_CReceivingPin::Receive(sample);
  if (result != S_OK) return result;
  if (!m_renderer->WaitUntilDue(sample)) return S_FALSE;
  return m_renderer->RenderSample(sample);
}

HRESULT Z_CGraphRendererPin::EndOfStream() {
  const HRESULT result = CheckStreamingState();
  if (result != S_OK) return result == S_FALSE ? S_OK : result;
  return m_renderer->ReportEndOfStream();
}

HRESULT Z_CGraphRendererPin::BeginFlush() {
  Z_CScopedLock lock(m_lock);
  StartFlush();
  m_renderer->CancelWaits();
  return S_OK;
}

HRESULT Z_CGraphRendererPin::EndFlush() {
  Z_CScopedLock lock(m_lock);
  m_renderer->AllowWaits();
  return StopFlush();
}

// ---- The filter ----

Z_CGraphRenderer::Z_CGraphRenderer(const char* name, REFCLSID classId)
    : Z_CFilterCore(name, nullptr, &m_filterLock, classId), m_pin(this, &m_filterLock) {}

Z_CGraphRenderer::~Z_CGraphRenderer() = default;

HRESULT Z_CGraphRenderer::Pause() {
  AllowWaits();
  return Z_CFilterCore::Pause();
}

HRESULT Z_CGraphRenderer::Run(REFERENCE_TIME start) {
  AllowWaits();
  const HRESULT result = Z_CFilterCore::Run(start);
  bool report = false;
  {
    std::lock_guard<std::mutex> lock(m_waitMutex);
    report = m_endPending;
    m_endPending = false;
  }
  m_waitChanged.notify_all();
  if (report) ReportEndOfStream();
  return result;
}

HRESULT Z_CGraphRenderer::Stop() {
  // A streaming thread waiting for a sample's time lets go before the state changes.
  CancelWaits();
  const HRESULT result = Z_CFilterCore::Stop();
  std::lock_guard<std::mutex> lock(m_waitMutex);
  m_endPending = false;
  m_endReported = false;
  return result;
}

void Z_CGraphRenderer::CancelWaits() {
  {
    std::lock_guard<std::mutex> lock(m_waitMutex);
    m_waitsCancelled = true;
  }
  m_waitChanged.notify_all();
}

void Z_CGraphRenderer::AllowWaits() {
  std::lock_guard<std::mutex> lock(m_waitMutex);
  m_waitsCancelled = false;
}

bool Z_CGraphRenderer::WaitUntilDue(IMediaSample* sample) {
  REFERENCE_TIME start = 0, end = 0;
  const bool timed = SUCCEEDED(sample->GetTime(&start, &end));
  std::unique_lock<std::mutex> lock(m_waitMutex);
  for (;;) {
    if (m_waitsCancelled) return false;
    // Paused: nothing is rendered until the graph runs.
    if (State() == State_Running) {
      IReferenceClock* clock = nullptr;
      REFERENCE_TIME startTime = 0;
      {
        Z_CScopedLock filterLock(m_lock);
        clock = m_clock;
        startTime = m_startTime;
        if (clock) clock->AddRef();
      }
      if (!clock || !timed) {
        if (clock) clock->Release();
        return true;
      }
      REFERENCE_TIME now = 0;
      const HRESULT got = clock->GetTime(&now);
      clock->Release();
      if (FAILED(got) || now >= startTime + start) return true;
      const REFERENCE_TIME left = startTime + start - now;
      m_waitChanged.wait_for(lock, std::chrono::microseconds(std::min<REFERENCE_TIME>(left / 10 + 1, 10000)));
    } else {
      m_waitChanged.wait_for(lock, std::chrono::milliseconds(10));
    }
  }
}

HRESULT Z_CGraphRenderer::ReportEndOfStream() {
  {
    std::lock_guard<std::mutex> lock(m_waitMutex);
    if (State() != State_Running) {
      m_endPending = true;
      return S_OK;
    }
    if (m_endReported) return S_OK;
    m_endReported = true;
  }
  OnStreamEnd();
  NotifyGraphEvent(EC_COMPLETE, S_OK, 0);
  return S_OK;
}

// ---- The null renderer ----

Z_CNullRenderer::Z_CNullRenderer() : Z_CGraphRenderer("Null renderer", CLSID_NullRenderer) {}

HRESULT Z_CNullRenderer::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* renderer = new (std::nothrow) Z_CNullRenderer;
  if (!renderer) return E_OUTOFMEMORY;
  const HRESULT result = renderer->InnerQueryInterface(iid, out);
  if (FAILED(result)) delete renderer;
  return result;
}
