// The video renderer's frame decision, quality messages, throttle and statistics.
#include "media/filters/video_render_filter.h"

#include <algorithm>

#include "media/filters/render_pin.h"
#include "platform/winmm.h"

namespace {

constexpr LONGLONG kFrameAdvance = 80000;       // Every frame is timed 8 ms early.
constexpr LONGLONG kLatenessLimit = 500000000;  // ±50 s.
constexpr LONGLONG kOneSecond = 10000000;
constexpr LONG kDropWaitLimit = 80000;  // 8 ms.

LONG ClampToLateness(LONGLONG value) { return static_cast<LONG>(std::clamp(value, -kLatenessLimit, kLatenessLimit)); }

}  // namespace

LONGLONG MulDiv64(LONGLONG a, LONGLONG b, LONGLONG c, LONGLONG d) {
  if (c == 0) return (a < 0) != (b < 0) ? INT64_MIN : INT64_MAX;
  const __int128 quotient = (static_cast<__int128>(a) * b + d) / c;
  if (quotient > INT64_MAX) return INT64_MAX;
  if (quotient < INT64_MIN) return INT64_MIN;
  return static_cast<LONGLONG>(quotient);
}

int IntegerSquareRoot(int a) {
  if (a <= 0) return 0;
  if (a > 0x40000000) return 0x8000;
  int c = 1;
  if (a > 1)
    while (static_cast<long long>(c) * c < a) c *= 2;
  int r = c;
  for (int step = 0; step < 3; ++step) r = static_cast<int>((static_cast<long long>(r) * r + a) / (2LL * r));
  return r;
}

Z_CVideoRenderFilter::Z_CVideoRenderFilter(REFCLSID classId, const char* name, IUnknown* outer, HRESULT* result)
    : Z_CRenderFilter(classId, name, outer, result) {
  ResetStatistics();
}

Z_CVideoRenderFilter::~Z_CVideoRenderFilter() = default;

HRESULT Z_CVideoRenderFilter::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IQualProp) return HandOutInterface(static_cast<IQualProp*>(this), out);
  if (iid == IID_IQualityControl) return HandOutInterface(static_cast<IQualityControl*>(this), out);
  return Z_CRenderFilter::InnerQueryInterface(iid, out);
}

HRESULT Z_CVideoRenderFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  if (!graph && m_graph) {
    IBaseFilter* self = nullptr;
    if (SUCCEEDED(QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&self)))) {
      NotifyGraphEvent(EC_WINDOW_DESTROYED, reinterpret_cast<LONG_PTR>(self), 0);
      self->Release();
    }
  }
  return Z_CRenderFilter::JoinFilterGraph(graph, name);
}

// ---- The frame decision ----

int Z_CVideoRenderFilter::PlanSample(IMediaSample* sample) {
  const int planned = Z_CRenderFilter::PlanSample(sample);
  if (!planned) ++m_framesDropped;
  return planned;
}

HRESULT Z_CVideoRenderFilter::DecideDrawNow(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop) {
  if (*start >= kFrameAdvance) {
    *start -= kFrameAdvance;
    *stop -= kFrameAdvance;
  }
  m_sampleStart = *start;

  REFERENCE_TIME now = 0;
  Clock()->GetTime(&now);
  const LONGLONG stream = now - StartTime();
  const LONG late = ClampToLateness(stream - *start);
  m_supplierHandlesQuality = JudgeQuality(late, stream) == S_OK;

  const LONG length = static_cast<LONG>(static_cast<uint64_t>(*stop - *start));
  const LONG tolerance = m_nominalFrameLength / 32;
  if (length > m_nominalFrameLength + tolerance || length < m_nominalFrameLength - tolerance)
    m_frameInterval = m_nominalFrameLength = length;

  const bool asap = (m_supplierHandlesQuality && sample->IsDiscontinuity() == S_OK) || m_catchUp == -1;
  if (late > 0)
    m_earliness = 0;
  else if (late < m_earliness && !asap)
    m_earliness -= m_earliness / 8;
  else
    m_earliness = late;

  const LONG early = late < 0 ? -late : 0;
  const LONG newWait = static_cast<LONG>((3LL * m_waitAverage + early) / 4);
  const LONGLONG since = stream - m_lastFrameTime;
  const LONG sinceCapped = static_cast<LONG>(std::clamp(since, -kLatenessLimit, kOneSecond));

  if (3LL * m_averageDrawTime > m_frameInterval) {
    const bool ok = m_supplierHandlesQuality ? late <= 4LL * length : 2LL * late < length;
    if (!ok && m_waitAverage <= kDropWaitLimit && since <= kOneSecond) {
      m_catchUp = -1;
      m_waitAverage = newWait;
      return E_FAIL;
    }
  }

  const bool drawNow = asap || (m_frameInterval > length + length / 16 && late > -10LL * length);
  if (late >= -kOneSecond && drawNow) {
    m_waitAverage = static_cast<LONG>(3LL * m_waitAverage / 4);
    m_catchUp = 0;
    m_frameInterval = static_cast<LONG>((3LL * m_frameInterval + sinceCapped) / 4);
    StoreFrameTiming(late, sinceCapped);
    m_lastFrameTime = stream;
    m_earliness = std::min(m_earliness, late);
    return S_OK;
  }

  ++m_catchUp;
  m_frameInterval = length;
  *start += std::max<LONG>(m_earliness, -length);
  m_waitAverage = newWait;
  if (late < 0) {
    const LONG interval = ClampToLateness(*start - m_lastFrameTime);
    const LONG lateness = ClampToLateness(*start - m_sampleStart);
    m_lastFrameTime = *start;
    StoreFrameTiming(lateness, interval);
    return S_FALSE;
  }
  m_lastFrameTime = stream;
  StoreFrameTiming(late, sinceCapped);
  return S_OK;
}

HRESULT Z_CVideoRenderFilter::JudgeQuality(LONGLONG late, LONGLONG stream) {
  Quality quality{};
  quality.Type = (m_frameInterval < 0 || m_frameInterval > 2LL * m_averageDrawTime) ? Famine : Flood;
  quality.Proportion = 1000;
  if (m_frameInterval >= 0) {
    if (late > 0) {
      quality.Proportion = std::max<LONG>(1000 - static_cast<LONG>(late / 10000), 500);
    } else if (late < -20000 && m_waitAverage > 20000) {
      if (m_waitAverage >= m_frameInterval)
        quality.Proportion = 2000;
      else
        quality.Proportion = std::min<LONG>(1000 * (m_frameInterval / (m_frameInterval - m_waitAverage + 20000)), 2000);
    }
  }
  quality.Late = late + m_averageDrawTime / 2;
  quality.TimeStamp = stream;

  if (!m_qualitySink) {
    Z_CRenderPin* pin = InputPin();
    IPin* peer = pin ? pin->ConnectedPin() : nullptr;
    if (peer) peer->QueryInterface(IID_IQualityControl, reinterpret_cast<void**>(&m_qualitySink));
  }
  if (!m_qualitySink) return S_FALSE;
  return m_qualitySink->Notify(BaseFilter(), quality);
}

// ---- Statistics ----

void Z_CVideoRenderFilter::RecordLateness(LONG lateness, LONG interval) {
  LONG ms = lateness / 10000;
  if (ms > 1000 || ms < -1000) ms = m_framesDrawn <= 1 ? 0 : (ms <= 0 ? -1000 : 1000);
  if (m_framesDrawn > 1) {
    m_latenessSum += ms;
    m_latenessSquareSum += static_cast<LONGLONG>(ms) * ms;
  }
  if (m_framesDrawn > 2) {
    LONG intervalMs = interval / 10000;
    if (intervalMs > 1000 || intervalMs < 0) intervalMs = 1000;
    m_intervalSquareSum += static_cast<LONGLONG>(intervalMs) * intervalMs;
    m_intervalSum += intervalMs;
  }
  ++m_framesDrawn;
}

void Z_CVideoRenderFilter::OnRenderBeginHook(IMediaSample*) {
  RecordLateness(m_pendingLateness, m_pendingInterval);
  m_drawStart = timeGetTime();
}

void Z_CVideoRenderFilter::OnRenderEndHook(IMediaSample*) {
  const LONG drawTime = static_cast<LONG>((timeGetTime() - m_drawStart) * 10000u);
  // A draw that takes more than twice both the average and the last is left out of the average.
  if (drawTime < 2 * m_averageDrawTime || drawTime < 2 * m_lastDrawTime)
    m_averageDrawTime = static_cast<LONG>((drawTime + 3LL * m_averageDrawTime) / 4);
  m_lastDrawTime = drawTime;
  ThrottleSleep();
}

void Z_CVideoRenderFilter::ThrottleSleep() {
  const LONG throttle = m_throttle.load(std::memory_order_relaxed);
  Sleep(throttle > 0 ? static_cast<DWORD>(throttle / 10000) : 0);
}

void Z_CVideoRenderFilter::ThrottleAfterDrop() {
  m_averageDrawTime = 0;
  m_lastDrawTime = 5000000;
  RecordLateness(m_pendingLateness, m_pendingInterval);
  ThrottleSleep();
}

void Z_CVideoRenderFilter::ResetStatistics() {
  m_lastFrameTime = -1000;
  m_streamingTime = timeGetTime();
  m_latenessSum = m_latenessSquareSum = m_intervalSum = m_intervalSquareSum = 0;
  m_sampleStart = 0;
  m_averageDrawTime = m_lastDrawTime = 0;
  m_nominalFrameLength = 0;
  m_waitAverage = 0;
  m_drawStart = 0;
  m_framesDrawn = m_framesDropped = 0;
  m_pendingLateness = m_pendingInterval = 0;
  m_catchUp = 0;
  m_earliness = 0;
  m_throttle = 0;
  m_frameInterval = -1;
}

HRESULT Z_CVideoRenderFilter::OnStreamingBeginHook() {
  ResetStatistics();
  return S_OK;
}

HRESULT Z_CVideoRenderFilter::OnStreamingEndHook() {
  m_streamingTime = timeGetTime() - m_streamingTime;
  return S_OK;
}

int Z_CVideoRenderFilter::ComputeDeviation(LONG count, LONGLONG squareSum, LONGLONG sum) {
  Z_CScopedLock lock(FilterLock());
  if (!Clock() || count <= 1) return 0;
  const LONGLONG variance = (squareSum - MulDiv64(sum, sum, count, 0)) / (count - 1);
  return IntegerSquareRoot(static_cast<int>(static_cast<uint32_t>(variance)));
}

// ---- IQualProp ----

HRESULT Z_CVideoRenderFilter::get_FramesDroppedInRenderer(int* frames) {
  if (!frames) return E_POINTER;
  Z_CScopedLock lock(FilterLock());
  *frames = m_framesDropped;
  return S_OK;
}

HRESULT Z_CVideoRenderFilter::get_FramesDrawn(int* frames) {
  if (!frames) return E_POINTER;
  Z_CScopedLock lock(FilterLock());
  *frames = m_framesDrawn;
  return S_OK;
}

HRESULT Z_CVideoRenderFilter::get_AvgFrameRate(int* rate) {
  if (!rate) return E_POINTER;
  Z_CScopedLock lock(FilterLock());
  const int elapsed = static_cast<int>(IsStreaming() ? timeGetTime() - m_streamingTime : m_streamingTime);
  *rate = elapsed <= 0 ? 0 : MulDiv(100000, m_framesDrawn, elapsed);
  return S_OK;
}

HRESULT Z_CVideoRenderFilter::get_Jitter(int* jitter) {
  if (!jitter) return E_POINTER;
  Z_CScopedLock lock(FilterLock());
  *jitter = ComputeDeviation(m_framesDrawn - 2, m_intervalSquareSum, m_intervalSum);
  return S_OK;
}

HRESULT Z_CVideoRenderFilter::get_AvgSyncOffset(int* offset) {
  if (!offset) return E_POINTER;
  Z_CScopedLock lock(FilterLock());
  *offset = (!Clock() || m_framesDrawn <= 1) ? 0 : static_cast<int>(m_latenessSum / (m_framesDrawn - 1));
  return S_OK;
}

HRESULT Z_CVideoRenderFilter::get_DevSyncOffset(int* deviation) {
  if (!deviation) return E_POINTER;
  Z_CScopedLock lock(FilterLock());
  *deviation = ComputeDeviation(m_framesDrawn - 1, m_latenessSquareSum, m_latenessSum);
  return S_OK;
}

// ---- IQualityControl ----

HRESULT Z_CVideoRenderFilter::Notify(IBaseFilter*, Quality quality) {
  // A proportion outside 0..1000 would divide by zero at -167; it is held to the range.
  const LONG proportion = std::clamp<LONG>(quality.Proportion, 0, 1000);
  m_throttle = proportion >= 1000 ? 0 : 388880000 / (proportion + 167) - 330000;
  return S_OK;
}

HRESULT Z_CVideoRenderFilter::SetSink(IQualityControl* sink) {
  // Kept with a reference: the renderer releases whatever sink it holds when the link breaks.
  if (sink) sink->AddRef();
  IQualityControl* previous = m_qualitySink;
  m_qualitySink = sink;
  if (previous) previous->Release();
  return S_OK;
}
