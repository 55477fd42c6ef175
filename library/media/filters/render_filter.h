// The base of every renderer: one input pin ("In") that holds at most one sample and draws it when
// the reference clock reaches the sample's start time. A Pause completes only when a first sample
// (or the end of the stream) has arrived; after the end of the stream, EC_COMPLETE goes to the
// graph when the clock reaches the last sample's stop time (through a one-shot multimedia timer
// when 50 ms or more remain). IMediaPosition and IMediaSeeking come from an aggregated position
// tracker. A derived class accepts media types (TestType) and draws (RenderSample).
//
// Threads: the graph's control thread (Stop, Pause, Run, GetState, connections), the upstream
// streaming thread (samples, end of stream, flushes), the timer thread (the end of the stream),
// and any thread asking for positions. Lock order: the filter lock, then the render lock; the
// creation lock is taken alone. The streaming thread waits for a sample's time holding no lock.
#pragma once

#include <atomic>

#include "media/framework/filter_core.h"
#include "media/framework/locks.h"
#include "platform/dshow_position.h"
#include "platform/user.h"

class Z_CRenderPin;
class Z_CRenderPosTracker;

// Waits for the object (and the second one, when given) up to the time-out, keeping the thread's
// messages moving; the wait result of WaitForMultipleObjects.
DWORD WaitWithMessageDispatch(HANDLE object, DWORD timeoutMilliseconds, HWND window, UINT message, HANDLE second);

class Z_CRenderFilter : public Z_CFilterCore {
 public:
  // The result is left as it is.
  Z_CRenderFilter(REFCLSID classId, const char* name, IUnknown* outer, HRESULT* result);
  ~Z_CRenderFilter() override;

  HRESULT InnerQueryInterface(REFIID iid, void** out) override;
  int CountPins() override { return 1; }
  Z_CPinCore* PinAt(int index) override;

  // IBaseFilter.
  HRESULT Stop() override;
  HRESULT Pause() override;
  HRESULT Run(REFERENCE_TIME start) override;
  HRESULT GetState(DWORD timeoutMilliseconds, FILTER_STATE* state) override;
  HRESULT FindPin(LPCWSTR id, IPin** pin) override;

  virtual HRESULT ProvidePositionInterface(REFIID iid, void** out);
  // 1 lets a waiting streaming thread wait again; anything else releases it.
  virtual HRESULT SignalEventByFlag(int flag);
  virtual HRESULT AwaitRenderTime();
  virtual HRESULT FinishStateChange(FILTER_STATE previous);
  virtual void OnFirstSampleHook(IMediaSample*) {}
  virtual void OnRenderBeginHook(IMediaSample*) {}
  virtual void OnRenderEndHook(IMediaSample*) {}
  virtual HRESULT OnStreamingBeginHook() { return S_OK; }
  virtual HRESULT OnStreamingEndHook() { return S_OK; }
  virtual void OnWaitBeginHook() {}
  virtual void OnWaitEndHook() {}
  virtual void PrepareDrawHook() {}
  // 1 when the sample is scheduled (due at once or advised by the clock), 0 when not.
  virtual int PlanSample(IMediaSample* sample);
  // S_OK draws at once, S_FALSE waits for the start time.
  virtual HRESULT ReadSampleTimes(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop);
  virtual HRESULT DecideDrawNow(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop);
  virtual HRESULT PostEndOfStream();
  virtual HRESULT ClearEndOfStream();
  virtual HRESULT MarkEndOfStream();
  virtual HRESULT DropClockAdvice();
  virtual HRESULT ReleasePendingSample();
  virtual HRESULT ZeroReturnHook() { return S_OK; }
  virtual HRESULT ResetPositionAndSample();
  virtual HRESULT BeginStreaming();
  virtual HRESULT EndStreaming();
  virtual HRESULT OnFlushBegin();
  virtual HRESULT OnFlushEnd();
  virtual HRESULT OnUnlink();
  virtual HRESULT AdoptType(const AM_MEDIA_TYPE*) { return S_OK; }
  virtual HRESULT OnLinked(IPin* peer);
  virtual HRESULT AcceptSample(IMediaSample* sample);
  virtual HRESULT ProcessSample(IMediaSample* sample);
  virtual int HasPendingSample();
  virtual IMediaSample* GetPendingSample();  // One reference added, or null.
  virtual HRESULT DrawSample(IMediaSample* sample);
  virtual HRESULT RenderSample(IMediaSample* sample) = 0;
  virtual HRESULT TestType(const AM_MEDIA_TYPE* type) = 0;

  HRESULT DeliverEndOfStream();
  void KillEndOfStreamTimer();
  // Returns once the streaming thread has left the sample path.
  void WaitReceiveExit();

  Z_CLockSection* RenderLock() { return &m_renderLock; }
  bool IsStreaming() const { return m_streaming.load(std::memory_order_acquire); }
  bool IsEndOfStreamDelivered() const { return m_endOfStreamDelivered.load(std::memory_order_acquire); }
  bool IsEndOfStreamReceived() const { return m_endOfStreamReceived.load(std::memory_order_acquire); }
  bool HasEndOfStreamTimer();
  // The tracker, when one was asked for (no reference).
  Z_CRenderPosTracker* PositionTracker() const { return m_position.load(std::memory_order_acquire); }

 protected:
  Z_CRenderPin* InputPin();
  IReferenceClock* Clock() const { return m_clock; }
  REFERENCE_TIME StartTime() const { return m_startTime; }

  IQualityControl* m_qualitySink = nullptr;  // One reference owned.

 private:
  static void OnEndOfStreamTimer(UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR, DWORD_PTR);

  std::atomic<Z_CRenderPosTracker*> m_position{nullptr};  // Owned.
  Z_CWaitEvent m_renderEvent{false};
  Z_CWaitEvent m_abortEvent{true};
  Z_CWaitEvent m_stateEvent{true};
  std::atomic<bool> m_streaming{false};
  std::atomic<DWORD_PTR> m_adviseCookie{0};  // Cleared without a lock when the advice fires.
  IMediaSample* m_pendingSample = nullptr;   // One reference owned; render lock.
  std::atomic<bool> m_endOfStreamReceived{false};
  std::atomic<bool> m_endOfStreamDelivered{false};
  std::atomic<Z_CRenderPin*> m_pin{nullptr};  // Owned.
  Z_CLockSection m_filterLock;
  Z_CLockSection m_renderLock;
  std::atomic<bool> m_receiving{false};
  REFERENCE_TIME m_lastStopTime = 0;  // Render lock.
  UINT m_timerId = 0;                 // Render lock.
  Z_CLockSection m_creationLock;
};
