// The render filter: the held sample, its time, the state changes and the end of the stream.
#include "media/filters/render_filter.h"

#include <algorithm>
#include <new>

#include "media/filters/position_pass_through.h"
#include "media/filters/render_pin.h"
#include "platform/winmm.h"

namespace {

const WCHAR kInputPinName[] = u"In";
// An end of stream nearer than this is delivered at once rather than by a timer.
constexpr LONG kShortestEndOfStreamTimerMs = 50;

// The number of "AMUnblock", registered once per process (0 when registration failed).
UINT UnblockMessage() {
  static const UINT AMUnblockMessage = RegisterWindowMessageA("AMUnblock");
  return AMUnblockMessage;
}

bool HasPostedMessages() { return ((GetQueueStatus(QS_POSTMESSAGE) >> 16) & QS_POSTMESSAGE) != 0; }

}  // namespace

DWORD WaitWithMessageDispatch(HANDLE object, DWORD timeoutMilliseconds, HWND window, UINT message, HANDLE second) {
  const HANDLE objects[2] = {object, second};
  const DWORD count = second ? 2 : 1;
  const bool timed = timeoutMilliseconds != 0 && timeoutMilliseconds != INFINITE;
  DWORD startTicks = timed ? GetTickCount() : 0;
  DWORD result = WaitForMultipleObjects(count, objects, FALSE, 0);
  if (result < WAIT_OBJECT_0 + count) return result;

  DWORD remaining = timeoutMilliseconds;
  bool priorityRead = false;
  int priority = THREAD_PRIORITY_NORMAL;
  for (;;) {
    const DWORD slice = std::min<DWORD>(remaining, 10);
    result = MsgWaitForMultipleObjects(count, objects, FALSE, slice, QS_SENDMESSAGE | (window ? QS_POSTMESSAGE : 0));
    if (!(result == WAIT_OBJECT_0 + count || (result == WAIT_TIMEOUT && slice < remaining))) break;
    MSG msg;
    if (window)
      while (PeekMessageA(&msg, window, message, message, PM_REMOVE)) DispatchMessageA(&msg);
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    if (timed) {
      const DWORD now = GetTickCount();
      const DWORD elapsed = now - startTicks;
      remaining = elapsed > remaining ? 0 : remaining - elapsed;
      startTicks = now;
    }
    if (!priorityRead) {
      priorityRead = true;
      priority = GetThreadPriority(GetCurrentThread());
      if (priority == THREAD_PRIORITY_NORMAL || priority == THREAD_PRIORITY_ABOVE_NORMAL)
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    }
    result = WaitForMultipleObjects(count, objects, FALSE, 0);
    if (result < WAIT_OBJECT_0 + count) break;
  }
  if (priorityRead) SetThreadPriority(GetCurrentThread(), priority);
  if (HasPostedMessages()) {
    const UINT unblock = UnblockMessage();
    MSG msg;
    const HWND threadOnly = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));
    while (PeekMessageA(&msg, threadOnly, unblock, unblock, PM_REMOVE)) {
    }
    PostThreadMessageA(GetCurrentThreadId(), unblock, 0, 0);
  }
  return result;
}

Z_CRenderFilter::Z_CRenderFilter(REFCLSID classId, const char* name, IUnknown* outer, HRESULT* result)
    : Z_CFilterCore(name, outer, &m_filterLock, classId, result) {
  SetEvent(m_stateEvent.Handle());
}

Z_CRenderFilter::~Z_CRenderFilter() {
  // A pending end-of-stream timer would call into a freed filter.
  KillEndOfStreamTimer();
  EndStreaming();
  ReleasePendingSample();
  delete m_position.exchange(nullptr);
  delete m_pin.exchange(nullptr);
  if (m_qualitySink) {
    m_qualitySink->Release();
    m_qualitySink = nullptr;
  }
}

HRESULT Z_CRenderFilter::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IMediaPosition || iid == IID_IMediaSeeking) return ProvidePositionInterface(iid, out);
  return Z_CFilterCore::InnerQueryInterface(iid, out);
}

Z_CPinCore* Z_CRenderFilter::PinAt(int index) {
  if (index != 0) return nullptr;
  if (Z_CRenderPin* pin = m_pin.load(std::memory_order_acquire)) return pin;
  Z_CScopedLock lock(&m_creationLock);
  if (!m_pin.load()) {
    HRESULT result = S_OK;
    auto* pin = new (std::nothrow) Z_CRenderPin(this, &result, kInputPinName);
    if (!pin) return nullptr;
    if (FAILED(result)) {
      delete pin;
      return nullptr;
    }
    m_pin.store(pin, std::memory_order_release);
  }
  return m_pin.load();
}

Z_CRenderPin* Z_CRenderFilter::InputPin() {
  PinAt(0);
  return m_pin.load(std::memory_order_acquire);
}

HRESULT Z_CRenderFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (!pin) return E_POINTER;
  if (lstrcmpW(id, kInputPinName) == 0) {
    Z_CPinCore* input = PinAt(0);
    *pin = input ? static_cast<IPin*>(input) : nullptr;
    if (*pin) (*pin)->AddRef();
    return S_OK;
  }
  *pin = nullptr;
  return VFW_E_NOT_FOUND;
}

HRESULT Z_CRenderFilter::ProvidePositionInterface(REFIID iid, void** out) {
  Z_CScopedLock lock(&m_creationLock);
  if (Z_CRenderPosTracker* tracker = m_position.load()) return tracker->InnerQueryInterface(iid, out);
  HRESULT result = S_OK;
  Z_CPinCore* pin = PinAt(0);
  auto* tracker = new (std::nothrow)
      Z_CRenderPosTracker("Renderer Z_CPosPassThru", OuterUnknown(), &result, pin ? static_cast<IPin*>(pin) : nullptr);
  if (!tracker) return E_OUTOFMEMORY;
  if (FAILED(result)) {
    delete tracker;
    return E_NOINTERFACE;
  }
  m_position.store(tracker, std::memory_order_release);
  return tracker->InnerQueryInterface(iid, out);
}

HRESULT Z_CRenderFilter::GetState(DWORD timeoutMilliseconds, FILTER_STATE* state) {
  if (!state) return E_POINTER;
  const DWORD waited = WaitWithMessageDispatch(m_stateEvent.Handle(), timeoutMilliseconds, nullptr, 0, nullptr);
  *state = State();
  return waited == WAIT_TIMEOUT ? VFW_S_STATE_INTERMEDIATE : S_OK;
}

// ---- State changes ----

HRESULT Z_CRenderFilter::Stop() {
  Z_CScopedLock lock(&m_filterLock);
  if (IsStopped()) return S_OK;
  Z_CRenderPin* pin = InputPin();
  if (!pin || !pin->IsConnected()) {
    m_state = State_Stopped;
    return S_OK;
  }
  Z_CFilterCore::Stop();
  if (IMemAllocator* allocator = pin->Allocator()) allocator->Decommit();
  EndStreaming();
  SignalEventByFlag(0);
  ClearEndOfStream();
  DropClockAdvice();
  SetEvent(m_stateEvent.Handle());
  WaitReceiveExit();
  return S_OK;
}

HRESULT Z_CRenderFilter::Pause() {
  Z_CScopedLock lock(&m_filterLock);
  const FILTER_STATE previous = State();
  if (previous == State_Paused) return FinishStateChange(State_Paused);
  Z_CRenderPin* pin = InputPin();
  if (!pin || !pin->IsConnected()) {
    m_state = State_Paused;
    return FinishStateChange(State_Paused);
  }
  const HRESULT result = Z_CFilterCore::Pause();
  if (FAILED(result)) return result;
  EndStreaming();
  SignalEventByFlag(1);
  DropClockAdvice();
  KillEndOfStreamTimer();
  if (IMemAllocator* allocator = pin->Allocator()) allocator->Commit();
  if (previous == State_Stopped) ReleasePendingSample();
  return FinishStateChange(previous);
}

HRESULT Z_CRenderFilter::Run(REFERENCE_TIME start) {
  Z_CScopedLock lock(&m_filterLock);
  const FILTER_STATE previous = State();
  if (previous == State_Running) return S_OK;
  Z_CRenderPin* pin = InputPin();
  if (!pin || !pin->IsConnected()) {
    NotifyGraphEvent(EC_COMPLETE, 0, reinterpret_cast<LONG_PTR>(BaseFilter()));
    m_state = State_Running;
    return S_OK;
  }
  SetEvent(m_stateEvent.Handle());
  const HRESULT result = Z_CFilterCore::Run(start);
  if (FAILED(result)) return result;
  SignalEventByFlag(1);
  if (IMemAllocator* allocator = pin->Allocator()) allocator->Commit();
  if (previous == State_Stopped) ReleasePendingSample();
  return BeginStreaming();
}

HRESULT Z_CRenderFilter::SignalEventByFlag(int flag) {
  if (flag == 1)
    ResetEvent(m_abortEvent.Handle());
  else
    SetEvent(m_abortEvent.Handle());
  return S_OK;
}

HRESULT Z_CRenderFilter::FinishStateChange(FILTER_STATE previous) {
  Z_CRenderPin* pin = InputPin();
  if (!pin || !pin->IsConnected() || IsEndOfStreamReceived() || (HasPendingSample() && previous != State_Stopped)) {
    SetEvent(m_stateEvent.Handle());
    return S_OK;
  }
  ResetEvent(m_stateEvent.Handle());
  return S_FALSE;
}

// ---- The sample path ----

HRESULT Z_CRenderFilter::ProcessSample(IMediaSample* sample) {
  HRESULT result = AcceptSample(sample);
  if (FAILED(result)) return result == VFW_E_SAMPLE_REJECTED ? S_OK : result;

  if (State() == State_Paused) {
    PrepareDrawHook();
    m_receiving = false;
    {
      Z_CScopedLock filterLock(&m_filterLock);
      if (IsStopped()) return S_OK;
      m_receiving = true;
      Z_CScopedLock renderLock(&m_renderLock);
      OnFirstSampleHook(sample);
    }
    SetEvent(m_stateEvent.Handle());
  }

  if (FAILED(AwaitRenderTime())) {
    m_receiving = false;
    return S_OK;
  }

  PrepareDrawHook();
  m_receiving = false;
  Z_CScopedLock filterLock(&m_filterLock);
  if (IsStopped()) return S_OK;
  Z_CScopedLock renderLock(&m_renderLock);
  DrawSample(m_pendingSample);
  ReleasePendingSample();
  PostEndOfStream();
  DropClockAdvice();
  return S_OK;
}

HRESULT Z_CRenderFilter::AcceptSample(IMediaSample* sample) {
  Z_CScopedLock filterLock(&m_filterLock);
  m_receiving = true;
  Z_CRenderPin* pin = InputPin();
  HRESULT result = pin ? pin->Z_CReceivingPin::Receive(sample) : E_FAIL;
  if (result != S_OK) {
    m_receiving = false;
    return E_FAIL;
  }
  const AM_SAMPLE2_PROPERTIES& properties = pin->SampleProperties();
  if (properties.pMediaType) {
    result = pin->AdoptType(properties.pMediaType);
    if (FAILED(result)) {
      m_receiving = false;
      return result;
    }
  }
  Z_CScopedLock renderLock(&m_renderLock);
  if (m_pendingSample || IsEndOfStreamReceived()) {
    SetEvent(m_stateEvent.Handle());
    m_receiving = false;
    return E_UNEXPECTED;
  }
  if (Z_CRenderPosTracker* tracker = PositionTracker()) tracker->RecordSampleTimes(sample);
  if (IsStreaming() && !PlanSample(sample)) {
    m_receiving = false;
    return VFW_E_SAMPLE_REJECTED;
  }
  m_lastStopTime = properties.tStop;
  m_pendingSample = sample;
  sample->AddRef();
  return S_OK;
}

int Z_CRenderFilter::PlanSample(IMediaSample* sample) {
  if (!sample) return 0;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  const HRESULT result = ReadSampleTimes(sample, &start, &stop);
  if (FAILED(result)) return 0;
  if (result == S_OK) {
    SetEvent(m_renderEvent.Handle());
    return 1;
  }
  DWORD_PTR cookie = 0;
  if (!m_clock ||
      FAILED(m_clock->AdviseTime(m_startTime, start, reinterpret_cast<HEVENT>(m_renderEvent.Handle()), &cookie)))
    return 0;
  m_adviseCookie = cookie;
  return 1;
}

HRESULT Z_CRenderFilter::ReadSampleTimes(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop) {
  if (FAILED(sample->GetTime(start, stop))) return S_OK;
  if (*stop < *start) return VFW_E_START_TIME_AFTER_END;
  return m_clock ? DecideDrawNow(sample, start, stop) : S_OK;
}

HRESULT Z_CRenderFilter::DecideDrawNow(IMediaSample*, REFERENCE_TIME*, REFERENCE_TIME*) { return S_FALSE; }

HRESULT Z_CRenderFilter::AwaitRenderTime() {
  OnWaitBeginHook();
  const HANDLE events[2] = {m_abortEvent.Handle(), m_renderEvent.Handle()};
  DWORD result;
  do {
    result = WaitForMultipleObjects(2, events, FALSE, 10000);
  } while (result == WAIT_TIMEOUT);
  OnWaitEndHook();
  if (result == WAIT_OBJECT_0) return VFW_E_STATE_CHANGED;
  m_adviseCookie = 0;  // The advice has fired.
  return S_OK;
}

HRESULT Z_CRenderFilter::DropClockAdvice() {
  const DWORD_PTR cookie = m_adviseCookie.exchange(0);
  if (cookie && m_clock) m_clock->Unadvise(cookie);
  ResetEvent(m_renderEvent.Handle());
  return cookie ? S_OK : S_FALSE;
}

HRESULT Z_CRenderFilter::DrawSample(IMediaSample* sample) {
  if (!sample || !IsStreaming()) return S_FALSE;
  OnRenderBeginHook(sample);
  RenderSample(sample);
  OnRenderEndHook(sample);
  return S_OK;
}

HRESULT Z_CRenderFilter::ReleasePendingSample() {
  Z_CScopedLock lock(&m_renderLock);
  if (m_pendingSample) {
    m_pendingSample->Release();
    m_pendingSample = nullptr;
  }
  return S_OK;
}

int Z_CRenderFilter::HasPendingSample() {
  Z_CScopedLock lock(&m_renderLock);
  return m_pendingSample ? 1 : 0;
}

IMediaSample* Z_CRenderFilter::GetPendingSample() {
  Z_CScopedLock lock(&m_renderLock);
  if (m_pendingSample) m_pendingSample->AddRef();
  return m_pendingSample;
}

// ---- End of stream ----

HRESULT Z_CRenderFilter::MarkEndOfStream() {
  if (IsStopped()) return S_OK;
  Z_CScopedLock lock(&m_renderLock);
  m_endOfStreamReceived = true;
  if (m_pendingSample) return S_OK;
  SetEvent(m_stateEvent.Handle());
  if (IsStreaming()) PostEndOfStream();
  return S_OK;
}

HRESULT Z_CRenderFilter::PostEndOfStream() {
  Z_CScopedLock lock(&m_renderLock);
  if (!IsEndOfStreamReceived() || IsEndOfStreamDelivered() || m_timerId) return S_OK;
  if (!m_clock) return DeliverEndOfStream();
  REFERENCE_TIME now = 0;
  // A clock that cannot be read gives no time to wait for.
  if (FAILED(m_clock->GetTime(&now))) return DeliverEndOfStream();
  const LONGLONG remaining = (m_startTime + m_lastStopTime - now) / 10000;
  const LONG milliseconds = static_cast<LONG>(static_cast<uint32_t>(remaining));
  if (milliseconds < kShortestEndOfStreamTimerMs) return DeliverEndOfStream();
  const UINT id = timeSetEvent(static_cast<UINT>(milliseconds), 10, &Z_CRenderFilter::OnEndOfStreamTimer,
                               reinterpret_cast<DWORD_PTR>(this), TIME_ONESHOT);
  if (!id) return DeliverEndOfStream();
  m_timerId = id;
  return S_OK;
}

void Z_CRenderFilter::OnEndOfStreamTimer(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  auto* filter = reinterpret_cast<Z_CRenderFilter*>(user);
  Z_CScopedLock lock(&filter->m_renderLock);
  if (!filter->m_timerId) return;
  filter->m_timerId = 0;
  filter->PostEndOfStream();
}

HRESULT Z_CRenderFilter::DeliverEndOfStream() {
  Z_CScopedLock lock(&m_renderLock);
  if (!IsStreaming()) return S_OK;
  // A timer still pending stays recorded: its callback finds the end delivered, and the timer is
  // killed with the end-of-stream state (a kill here, under the render lock, could wait forever
  // for a callback that needs this lock).
  if (Z_CRenderPosTracker* tracker = PositionTracker()) tracker->EndOfStreamReached();
  m_endOfStreamDelivered = true;
  return NotifyGraphEvent(EC_COMPLETE, 0, reinterpret_cast<LONG_PTR>(BaseFilter()));
}

HRESULT Z_CRenderFilter::ClearEndOfStream() {
  KillEndOfStreamTimer();
  Z_CScopedLock lock(&m_renderLock);
  m_lastStopTime = 0;
  m_endOfStreamReceived = false;
  m_endOfStreamDelivered = false;
  return S_OK;
}

void Z_CRenderFilter::KillEndOfStreamTimer() {
  // Never with the render lock held: the kill waits for a running callback, which takes it.
  for (;;) {
    UINT id = 0;
    {
      Z_CScopedLock lock(&m_renderLock);
      id = m_timerId;
      m_timerId = 0;
    }
    if (!id) return;
    timeKillEvent(id);
  }
}

bool Z_CRenderFilter::HasEndOfStreamTimer() {
  Z_CScopedLock lock(&m_renderLock);
  return m_timerId != 0;
}

// ---- Streaming ----

HRESULT Z_CRenderFilter::BeginStreaming() {
  Z_CScopedLock lock(&m_renderLock);
  if (IsStreaming()) return S_OK;
  m_streaming = true;
  timeBeginPeriod(1);
  OnStreamingBeginHook();
  if (!m_pendingSample) return PostEndOfStream();
  if (!PlanSample(m_pendingSample)) SetEvent(m_renderEvent.Handle());
  return S_OK;
}

HRESULT Z_CRenderFilter::EndStreaming() {
  Z_CScopedLock lock(&m_renderLock);
  m_endOfStreamDelivered = false;
  if (IsStreaming()) {
    m_streaming = false;
    OnStreamingEndHook();
    timeEndPeriod(1);
  }
  return S_OK;
}

// ---- Flushing, connection and activation ----

HRESULT Z_CRenderFilter::OnFlushBegin() {
  if (State() == State_Paused) ResetEvent(m_stateEvent.Handle());
  SignalEventByFlag(0);
  DropClockAdvice();
  ReleasePendingSample();
  WaitReceiveExit();
  return S_OK;
}

HRESULT Z_CRenderFilter::OnFlushEnd() {
  if (Z_CRenderPosTracker* tracker = PositionTracker()) tracker->ResetSampleTimes();
  SignalEventByFlag(1);
  return S_OK;
}

HRESULT Z_CRenderFilter::OnLinked(IPin*) {
  if (State() == State_Running) {
    const HRESULT result = BeginStreaming();
    if (FAILED(result)) return result;
  }
  return S_OK;
}

HRESULT Z_CRenderFilter::OnUnlink() {
  if (m_qualitySink) {
    m_qualitySink->Release();
    m_qualitySink = nullptr;
  }
  Z_CRenderPin* pin = m_pin.load();
  if (!pin || !pin->IsConnected()) return S_FALSE;
  // Reconnecting while active is not offered by the pins: only a stopped renderer lets go.
  if (!IsStopped()) return VFW_E_NOT_STOPPED;
  ClearEndOfStream();
  ReleasePendingSample();
  if (State() == State_Running) EndStreaming();
  return S_OK;
}

HRESULT Z_CRenderFilter::ResetPositionAndSample() {
  if (Z_CRenderPosTracker* tracker = PositionTracker()) tracker->ResetSampleTimes();
  ReleasePendingSample();
  return S_OK;
}

void Z_CRenderFilter::WaitReceiveExit() {
  while (m_receiving.load(std::memory_order_acquire)) {
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    Sleep(1);
  }
  if (HasPostedMessages()) PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);
}
