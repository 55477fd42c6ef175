// Position pass-through: IMediaSeeking and IMediaPosition answered by the filter upstream of one
// input pin (whatever output pin it is connected to). The renderer's tracker also remembers the
// time stamps of the sample being rendered, so that the current position is the renderer's own.
// Nothing connected, or an upstream pin without the interface: every call gives E_NOTIMPL.
#pragma once

#include "media/framework/locks.h"
#include "media/framework/position_dispatch.h"

class Z_CPosPassThru : public Z_CPositionDispatch, public IMediaSeeking {
 public:
  // A null pin stores E_POINTER in the result: the object is then of no use.
  Z_CPosPassThru(const char* name, IUnknown* outer, HRESULT* result, IPin* pin);
  ~Z_CPosPassThru() override;

  Z_FORWARD_IUNKNOWN_TO_OUTER
  HRESULT InnerQueryInterface(REFIID iid, void** out) override;

  // The upstream pin's interface with one reference; E_NOTIMPL when there is none.
  HRESULT GetUpstreamSeeking(IMediaSeeking** out);
  HRESULT GetUpstreamPosition(IMediaPosition** out);
  // The stamps of the sample being rendered; E_FAIL here, where nothing is tracked.
  virtual HRESULT GetSampleMediaTime(LONGLONG* start, LONGLONG* stop);

  // IMediaSeeking.
  HRESULT GetCapabilities(DWORD* capabilities) override;
  HRESULT CheckCapabilities(DWORD* capabilities) override;
  HRESULT IsFormatSupported(const GUID* format) override;
  HRESULT QueryPreferredFormat(GUID* format) override;
  HRESULT GetTimeFormat(GUID* format) override;
  HRESULT IsUsingTimeFormat(const GUID* format) override;
  HRESULT SetTimeFormat(const GUID* format) override;
  HRESULT GetDuration(LONGLONG* duration) override;
  HRESULT GetStopPosition(LONGLONG* stop) override;
  HRESULT GetCurrentPosition(LONGLONG* current) override;
  HRESULT ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                            const GUID* sourceFormat) override;
  HRESULT SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) override;
  HRESULT GetPositions(LONGLONG* current, LONGLONG* stop) override;
  HRESULT GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
  HRESULT SetRate(double rate) override;
  HRESULT GetRate(double* rate) override;
  HRESULT GetPreroll(LONGLONG* preroll) override;

  // IMediaPosition.
  HRESULT get_Duration(REFTIME* length) override;
  HRESULT put_CurrentPosition(REFTIME time) override;
  HRESULT get_CurrentPosition(REFTIME* time) override;
  HRESULT get_StopTime(REFTIME* time) override;
  HRESULT put_StopTime(REFTIME time) override;
  HRESULT get_PrerollTime(REFTIME* time) override;
  HRESULT put_PrerollTime(REFTIME time) override;
  HRESULT put_Rate(double rate) override;
  HRESULT get_Rate(double* rate) override;
  HRESULT CanSeekForward(LONG* canSeek) override;
  HRESULT CanSeekBackward(LONG* canSeek) override;

  IMediaSeeking* Seeking() { return this; }
  IMediaPosition* Position() { return this; }

 private:
  template <typename Call>
  HRESULT ForwardSeeking(Call call);
  template <typename Call>
  HRESULT ForwardPosition(Call call);

  IPin* m_pin;  // Not counted: the pin's filter owns this object.
};

class Z_CRenderPosTracker : public Z_CPosPassThru {
 public:
  Z_CRenderPosTracker(const char* name, IUnknown* outer, HRESULT* result, IPin* pin);
  ~Z_CRenderPosTracker() override;

  HRESULT RecordSampleTimes(IMediaSample* sample);
  HRESULT ResetSampleTimes();
  // The end of the stream is delivered: the stamps become the upstream stop position.
  HRESULT EndOfStreamReached();
  HRESULT GetSampleMediaTime(LONGLONG* start, LONGLONG* stop) override;

 private:
  Z_CLockSection m_lock;
  REFERENCE_TIME m_sampleStart = 0;
  REFERENCE_TIME m_sampleStop = 0;
  std::atomic<bool> m_reset{true};  // Read without the lock by EndOfStreamReached.
};

// The class made under CLSID_SeekingPassThru: aggregated by an output pin, it gives that pin's
// IMediaSeeking and IMediaPosition once Init has named the input pin to follow.
class Z_CSeekingPassThru : public Z_CInnerUnknown, public ISeekingPassThru {
 public:
  Z_CSeekingPassThru(IUnknown* outer);
  ~Z_CSeekingPassThru() override;

  // The class's creation by class id.
  static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out);

  Z_FORWARD_IUNKNOWN_TO_OUTER
  HRESULT InnerQueryInterface(REFIID iid, void** out) override;
  // A renderer (support-rendering set) gets the tracker; a second Init is refused.
  HRESULT Init(BOOL supportRendering, IPin* pin) override;

 private:
  Z_CPosPassThru* m_passThrough = nullptr;  // Owned; aggregated by the same outer unknown.
};
