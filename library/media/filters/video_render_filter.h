// The base of video renderers: decides for each frame whether to draw it at once, wait for its
// time or drop it (from its lateness on the reference clock, the time drawing takes and the frame
// rate), sends quality messages upstream, can be throttled by quality messages it receives, and
// keeps frame statistics behind IQualProp. All times are 100-ns units unless named milliseconds.
//
// The decision and the statistics run on the streaming thread under the renderer's locks; the
// IQualProp getters take the filter lock; Notify and SetSink take none (the throttle is atomic).
#pragma once

#include "media/filters/render_filter.h"

// a × b + d divided by c with the product exact in 128 bits, truncated toward zero; saturates at
// the 64-bit limits.
LONGLONG MulDiv64(LONGLONG a, LONGLONG b, LONGLONG c, LONGLONG d);
// Three Newton steps from the next power of two; 0 for 0 and for negative numbers.
int IntegerSquareRoot(int a);

class Z_CVideoRenderFilter : public Z_CRenderFilter, public IQualProp, public IQualityControl {
 public:
  Z_CVideoRenderFilter(REFCLSID classId, const char* name, IUnknown* outer, HRESULT* result);
  ~Z_CVideoRenderFilter() override;

  Z_FORWARD_IUNKNOWN_TO_OUTER
  HRESULT InnerQueryInterface(REFIID iid, void** out) override;
  HRESULT JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;

  void OnRenderBeginHook(IMediaSample* sample) override;
  void OnRenderEndHook(IMediaSample* sample) override;
  HRESULT OnStreamingBeginHook() override;
  HRESULT OnStreamingEndHook() override;
  int PlanSample(IMediaSample* sample) override;
  HRESULT DecideDrawNow(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop) override;

  virtual void RecordLateness(LONG lateness, LONG interval);
  virtual void ThrottleAfterDrop();
  virtual void ResetStatistics();
  virtual HRESULT JudgeQuality(LONGLONG late, LONGLONG stream);

  // IQualProp.
  HRESULT get_FramesDroppedInRenderer(int* frames) override;
  HRESULT get_FramesDrawn(int* frames) override;
  HRESULT get_AvgFrameRate(int* rate) override;
  HRESULT get_Jitter(int* jitter) override;
  HRESULT get_AvgSyncOffset(int* offset) override;
  HRESULT get_DevSyncOffset(int* deviation) override;
  // IQualityControl. The sink given to SetSink is kept with a reference.
  HRESULT Notify(IBaseFilter* sender, Quality quality) override;
  HRESULT SetSink(IQualityControl* sink) override;

  LONG Throttle() const { return m_throttle.load(std::memory_order_relaxed); }

 protected:
  int ComputeDeviation(LONG count, LONGLONG squareSum, LONGLONG sum);
  void StoreFrameTiming(LONG lateness, LONG interval) {
    m_pendingLateness = lateness;
    m_pendingInterval = interval;
  }
  void ThrottleSleep();

  LONG m_catchUp = 0;
  bool m_supplierHandlesQuality = false;
  std::atomic<LONG> m_throttle{0};
  LONG m_averageDrawTime = 0;
  LONG m_lastDrawTime = 0;
  DWORD m_drawStart = 0;
  LONG m_earliness = 0;
  LONG m_waitAverage = 0;
  LONG m_frameInterval = -1;
  LONG m_nominalFrameLength = 0;
  LONGLONG m_sampleStart = 0;
  LONG m_framesDropped = 0;
  LONG m_framesDrawn = 0;
  LONGLONG m_latenessSum = 0;
  LONGLONG m_latenessSquareSum = 0;
  LONGLONG m_lastFrameTime = 0;
  LONGLONG m_intervalSquareSum = 0;
  LONGLONG m_intervalSum = 0;
  LONG m_pendingLateness = 0;
  LONG m_pendingInterval = 0;
  DWORD m_streamingTime = 0;
};
