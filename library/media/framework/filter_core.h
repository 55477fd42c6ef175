// The base of every framework filter: IBaseFilter (also answered for IMediaFilter and IPersist)
// and IAMovieSetup. It keeps the Stopped/Paused/Running state with the reference clock and the
// start time, joins a filter graph and its event sink, finds and lists pins, and registers with
// the filter mapper. A concrete filter supplies its pins (CountPins, PinAt) and the lock that it
// shares with them.
#pragma once

#include <atomic>

#include "media/framework/inner_unknown.h"
#include "media/framework/locks.h"
#include "platform/dshow.h"

class Z_CPinCore;

class Z_CFilterCore : public Z_CInnerUnknown, public IBaseFilter, public IAMovieSetup {
 public:
  Z_CFilterCore(const char* name, IUnknown* outer, Z_CLockSection* lock, REFCLSID classId);
  // The result is left as it is: nothing here can fail.
  Z_CFilterCore(const char* name, IUnknown* outer, Z_CLockSection* lock, REFCLSID classId, HRESULT* result);
  ~Z_CFilterCore() override;

  Z_FORWARD_IUNKNOWN_TO_OUTER
  HRESULT InnerQueryInterface(REFIID iid, void** out) override;

  // IPersist, IMediaFilter, IBaseFilter.
  HRESULT GetClassID(CLSID* classId) override;
  HRESULT Stop() override;
  HRESULT Pause() override;
  HRESULT Run(REFERENCE_TIME start) override;
  HRESULT GetState(DWORD timeoutMilliseconds, FILTER_STATE* state) override;
  HRESULT SetSyncSource(IReferenceClock* clock) override;
  HRESULT GetSyncSource(IReferenceClock** clock) override;
  HRESULT EnumPins(IEnumPins** pins) override;
  HRESULT FindPin(LPCWSTR id, IPin** pin) override;
  HRESULT QueryFilterInfo(FILTER_INFO* info) override;
  HRESULT JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  HRESULT QueryVendorInfo(LPWSTR* vendorInfo) override;

  // IAMovieSetup: S_FALSE without a registration record.
  HRESULT Register() override;
  HRESULT Unregister() override;

  // Clock time minus the start time; VFW_E_NO_CLOCK without a clock.
  virtual HRESULT QueryStreamTime(REFERENCE_TIME* time);
  virtual LONG GetPinRevision();
  virtual int CountPins() = 0;
  virtual Z_CPinCore* PinAt(int index) = 0;  // No reference added; null past the end.
  virtual const AMOVIESETUP_FILTER* QuerySetupData();

  // Sends an event to the graph's sink (EC_COMPLETE carries this filter); E_NOTIMPL without one.
  HRESULT NotifyGraphEvent(LONG code, LONG_PTR first, LONG_PTR second);
  // ReconnectEx when the graph has it, else Reconnect; E_NOINTERFACE outside a graph.
  HRESULT ReconnectPinInGraph(IPin* pin, const AM_MEDIA_TYPE* type);
  HRESULT RegisterWithMapper(const AMOVIESETUP_FILTER* setup, IFilterMapper* mapper, bool registering);

  FILTER_STATE State() const { return m_state.load(std::memory_order_acquire); }
  bool IsStopped() const { return State() == State_Stopped; }
  Z_CLockSection* FilterLock() const { return m_lock; }
  IBaseFilter* BaseFilter() { return this; }

 protected:
  // Read by the streaming threads without the lock.
  std::atomic<FILTER_STATE> m_state{State_Stopped};
  IReferenceClock* m_clock = nullptr;  // One reference owned.
  REFERENCE_TIME m_startTime = 0;
  CLSID m_classId;
  Z_CLockSection* m_lock;
  WCHAR* m_name = nullptr;
  IFilterGraph* m_graph = nullptr;         // No reference held.
  IMediaEventSink* m_eventSink = nullptr;  // No reference held.
  LONG m_pinRevision = 1;
};
