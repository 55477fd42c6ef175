// The renderers the platform's filter graph ends its chains with, built on the framework: the
// null renderer (CLSID_NullRenderer), which takes any type and drops every sample, and the audio
// renderer (CLSID_AudioRender), which takes 16-bit PCM, holds each sample until its time on the
// reference clock comes (at once without a clock) and plays it through DirectSound. Both report
// the end of the stream to the graph once it has been run; an end that arrives while paused is
// reported when the graph runs.
#pragma once

#include <atomic>
#include <deque>

#include "media/framework/filter_core.h"
#include "media/framework/locks.h"
#include "media/framework/receiving_pin.h"
#include "platform/dsound.h"

class Z_CGraphRenderer;

class Z_CGraphRendererPin : public Z_CReceivingPin {
 public:
  Z_CGraphRendererPin(Z_CGraphRenderer* filter, Z_CLockSection* lock);

  HRESULT TestType(const AM_MEDIA_TYPE* type) override;
  HRESULT OnUnlink() override { return ReleaseAllocator(); }
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT EndOfStream() override;
  HRESULT BeginFlush() override;
  HRESULT EndFlush() override;

 private:
  Z_CGraphRenderer* m_renderer;
};

class Z_CGraphRenderer : public Z_CFilterCore {
 public:
  Z_CGraphRenderer(const char* name, REFCLSID classId);
  ~Z_CGraphRenderer() override;

  int CountPins() override { return 1; }
  Z_CPinCore* PinAt(int index) override { return index == 0 ? &m_pin : nullptr; }
  HRESULT Run(REFERENCE_TIME start) override;
  HRESULT Pause() override;
  HRESULT Stop() override;

  virtual HRESULT TestType(const AM_MEDIA_TYPE* type) = 0;
  // Called on the streaming thread once the sample's time has come.
  virtual HRESULT RenderSample(IMediaSample* sample) = 0;
  virtual void OnStreamEnd() {}

  // Waits (without the filter lock) until the sample is due; false when a stop or flush ended the wait.
  bool WaitUntilDue(IMediaSample* sample);
  HRESULT ReportEndOfStream();
  void CancelWaits();
  void AllowWaits();

 protected:
  Z_CLockSection m_filterLock;
  Z_CGraphRendererPin m_pin;

 private:
  // Guards the three flags below; the event wakes a wait for a sample's time when they change or
  // the graph runs (auto-reset: a wake that finds no waiter lets the next wait return at once).
  Z_CLockSection m_waitLock;
  Z_CWaitEvent m_waitChanged{false};
  bool m_waitsCancelled = false;
  bool m_endPending = false;  // Arrived while paused.
  bool m_endReported = false;
};

class Z_CNullRenderer final : public Z_CGraphRenderer {
 public:
  Z_CNullRenderer();
  static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out);
  HRESULT TestType(const AM_MEDIA_TYPE* type) override { return type ? S_OK : E_POINTER; }
  HRESULT RenderSample(IMediaSample*) override { return S_OK; }
};

// Each sample plays from a DirectSound buffer of its own, made when its time comes; the device
// is opened when the connected renderer first leaves Stopped, so one that never plays opens nothing.
class Z_CAudioRenderer final : public Z_CGraphRenderer, public IBasicAudio {
 public:
  Z_CAudioRenderer();
  ~Z_CAudioRenderer() override;
  static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out);

  Z_FORWARD_IUNKNOWN_TO_OUTER
  HRESULT InnerQueryInterface(REFIID iid, void** out) override;
  // 16-bit PCM, one or two channels, described by a WAVEFORMATEX.
  HRESULT TestType(const AM_MEDIA_TYPE* type) override;
  HRESULT RenderSample(IMediaSample* sample) override;
  HRESULT Pause() override;
  HRESULT Stop() override;

  HRESULT put_Volume(LONG volume) override;
  HRESULT get_Volume(LONG* volume) override;
  HRESULT put_Balance(LONG balance) override;
  HRESULT get_Balance(LONG* balance) override;

 private:
  void ReleaseBuffers(bool finishedOnly);

  Z_CLockSection m_soundLock;
  IDirectSound* m_sound = nullptr;
  bool m_soundTried = false;
  std::deque<IDirectSoundBuffer*> m_playing;
  std::atomic<LONG> m_volume{0};
  std::atomic<LONG> m_balance{0};
};
