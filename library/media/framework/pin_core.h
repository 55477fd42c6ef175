// The base of every framework pin: IPin and IQualityControl. It connects to a peer pin with the
// media-type agreement, accepts connections, disconnects, answers the pin queries and keeps the
// values of NewSegment. Derived pins decide which types they accept and offer and what happens
// when a connection is made or broken. A pin has no life of its own: a reference to a pin is a
// reference to its filter.
#pragma once

#include <atomic>

#include "media/framework/inner_unknown.h"
#include "media/framework/locks.h"
#include "media/framework/media_type.h"
#include "platform/dshow.h"

class Z_CFilterCore;

class Z_CPinCore : public Z_CInnerUnknown, public IPin, public IQualityControl {
 public:
  // The result is left as it is: nothing here can fail.
  Z_CPinCore(const char* name, Z_CFilterCore* filter, Z_CLockSection* lock, HRESULT* result, LPCWSTR pinName,
             PIN_DIRECTION direction);
  ~Z_CPinCore() override;

  Z_FORWARD_IUNKNOWN_TO_OUTER
  HRESULT InnerQueryInterface(REFIID iid, void** out) override;
  ULONG InnerAddRef() override;
  ULONG InnerRelease() override;

  virtual LONG GetTypeRevision();
  virtual HRESULT OnActivate();    // The filter leaves Stopped.
  virtual HRESULT OnDeactivate();  // The filter stops.
  virtual HRESULT OnRunHook(REFERENCE_TIME start);
  virtual HRESULT TestType(const AM_MEDIA_TYPE* type) = 0;  // S_OK accepts.
  virtual HRESULT AdoptType(const AM_MEDIA_TYPE* type);
  virtual HRESULT TestPeer(IPin* peer);
  virtual HRESULT OnUnlink();            // The connection is being broken or was not completed.
  virtual HRESULT OnLinked(IPin* peer);  // The connection is complete; a failure undoes it.
  // The type offered at an index; anything but S_OK when there is none (the base offers none).
  virtual HRESULT ListTypeAt(int index, Z_CMediaTypeHolder* type);
  virtual HRESULT DropPeer();

  // IPin. EndOfStream, BeginFlush and EndFlush belong to the derived pins.
  HRESULT Connect(IPin* receivingPin, const AM_MEDIA_TYPE* type) override;
  HRESULT ReceiveConnection(IPin* connectingPin, const AM_MEDIA_TYPE* type) override;
  HRESULT Disconnect() override;
  HRESULT ConnectedTo(IPin** pin) override;
  HRESULT ConnectionMediaType(AM_MEDIA_TYPE* type) override;
  HRESULT QueryPinInfo(PIN_INFO* info) override;
  HRESULT QueryDirection(PIN_DIRECTION* direction) override;
  HRESULT QueryId(LPWSTR* id) override;
  HRESULT QueryAccept(const AM_MEDIA_TYPE* type) override;
  HRESULT EnumMediaTypes(IEnumMediaTypes** types) override;
  HRESULT QueryInternalConnections(IPin** pins, ULONG* count) override;
  HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  // IQualityControl. Notify belongs to the derived pins.
  HRESULT SetSink(IQualityControl* sink) override;

  bool IsConnected() const { return m_connected != nullptr; }
  IPin* ConnectedPin() const { return m_connected; }  // No reference added.
  PIN_DIRECTION Direction() const { return m_direction; }
  LPCWSTR PinName() const { return m_pinName; }  // Null when the pin has none.
  const Z_CMediaTypeHolder& CurrentMediaType() const { return m_mediaType; }
  Z_CFilterCore* OwnerFilter() const { return m_filter; }
  bool HasRuntimeError() const { return m_runtimeError.load(std::memory_order_acquire); }
  REFERENCE_TIME SegmentStart() const { return m_segmentStart; }
  REFERENCE_TIME SegmentStop() const { return m_segmentStop; }
  double SegmentRate() const { return m_segmentRate; }

 protected:
  HRESULT NegotiateType(IPin* receivingPin, const AM_MEDIA_TYPE* type);
  HRESULT TryTypeList(IPin* receivingPin, const AM_MEDIA_TYPE* pattern, IEnumMediaTypes* types);
  HRESULT TryOneType(IPin* receivingPin, const AM_MEDIA_TYPE* type);

  WCHAR* m_pinName = nullptr;
  IPin* m_connected = nullptr;  // One reference owned.
  PIN_DIRECTION m_direction;
  Z_CLockSection* m_lock;
  // Set by a receiving pin that refused a sample's new type; read on the streaming thread.
  std::atomic<bool> m_runtimeError{false};
  Z_CFilterCore* m_filter;
  IQualityControl* m_qualitySink = nullptr;  // No reference held.
  LONG m_typeRevision = 1;
  Z_CMediaTypeHolder m_mediaType;
  REFERENCE_TIME m_segmentStart = 0;
  REFERENCE_TIME m_segmentStop = 0x7FFFFFFFFFFFFFFFll;
  double m_segmentRate = 1.0;
};
