// The base of every filter with one input pin and one output pin that turns each received sample
// into one delivered sample. It owns the pins ("XForm In", "XForm Out"; found as "In" and "Out"),
// runs the state changes with the subclass's streaming hooks, carries samples through the
// subclass's conversion, and passes end of stream, flushes, new segments and quality messages on.
// A run of dropped samples is reported once as EC_QUALITY_CHANGE.
//
// Two locks: the filter lock (state changes, connections, flushing; every pin's lock) and the
// receive lock (the sample path, end of stream, streaming hooks), nested only in that order.
#pragma once

#include <atomic>

#include "media/framework/delivering_pin.h"
#include "media/framework/filter_core.h"
#include "media/framework/receiving_pin.h"
#include "platform/dshow_position.h"

class Z_CConvertInputPin;
class Z_CConvertOutputPin;

// Creates the seeking pass-through aggregated by `outer`, following `pin`; out is its IUnknown.
HRESULT MakeSeekingPassThrough(IUnknown* outer, BOOL supportRendering, IPin* pin, IUnknown** out);

class Z_CConvertFilter : public Z_CFilterCore {
 public:
  Z_CConvertFilter(const char* name, IUnknown* outer, REFCLSID classId);
  ~Z_CConvertFilter() override;

  int CountPins() override { return 2; }
  Z_CPinCore* PinAt(int index) override;
  HRESULT Stop() override;
  HRESULT Pause() override;
  HRESULT FindPin(LPCWSTR id, IPin** pin) override;

  // 0 delivers the output sample, S_FALSE drops it.
  virtual HRESULT ConvertSample(IMediaSample* input, IMediaSample* output) = 0;
  virtual HRESULT TestInputType(const AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT TestConversion(const AM_MEDIA_TYPE* input, const AM_MEDIA_TYPE* output) = 0;
  virtual HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) = 0;
  virtual HRESULT ListTypeAt(int index, Z_CMediaTypeHolder* type) = 0;
  virtual HRESULT BeginStreaming() { return S_OK; }
  virtual HRESULT EndStreaming() { return S_OK; }
  virtual HRESULT AdjustQuality(const Quality&) { return S_FALSE; }  // S_FALSE: not handled.
  // Direction 0 is the input pin, 1 the output pin.
  virtual HRESULT AdoptType(int, const AM_MEDIA_TYPE*) { return S_OK; }
  virtual HRESULT TestPeer(int, IPin*) { return S_OK; }
  virtual HRESULT OnUnlink(int) { return S_OK; }
  virtual HRESULT OnLinked(int, IPin*) { return S_OK; }
  virtual HRESULT ReceiveSample(IMediaSample* sample);
  virtual HRESULT PassEndOfStream();
  virtual HRESULT PassBeginFlush();
  virtual HRESULT PassEndFlush();
  virtual HRESULT PassNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

  Z_CLockSection* ReceiveLock() { return &m_receiveLock; }
  Z_CConvertInputPin* Input() const { return m_input; }
  Z_CConvertOutputPin* Output() const { return m_output; }
  bool IsSampleDropped() const { return m_droppedSample.load(std::memory_order_acquire); }

 protected:
  // An output sample of the output allocator carrying the input sample's properties.
  HRESULT PrepareOutputSample(IMediaSample* input, IMediaSample** output);

  std::atomic<bool> m_endOfStreamDelivered{false};
  std::atomic<bool> m_droppedSample{false};
  std::atomic<bool> m_qualityChanged{false};
  Z_CLockSection m_filterLock;
  Z_CLockSection m_receiveLock;
  Z_CConvertInputPin* m_input = nullptr;    // Owned.
  Z_CConvertOutputPin* m_output = nullptr;  // Owned.
};

class Z_CConvertInputPin : public Z_CReceivingPin {
 public:
  Z_CConvertInputPin(const char* name, Z_CConvertFilter* filter, HRESULT* result, LPCWSTR pinName);

  HRESULT TestType(const AM_MEDIA_TYPE* type) override;
  HRESULT AdoptType(const AM_MEDIA_TYPE* type) override;
  HRESULT TestPeer(IPin* peer) override;
  HRESULT OnUnlink() override;
  HRESULT OnLinked(IPin* peer) override;
  // VFW_E_NOT_CONNECTED without an output connection; the flush before the state.
  HRESULT CheckStreamingState() override;

  HRESULT QueryId(LPWSTR* id) override;
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT EndOfStream() override;
  HRESULT BeginFlush() override;
  HRESULT EndFlush() override;
  HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

 protected:
  Z_CConvertFilter* m_owner;
};

class Z_CConvertOutputPin : public Z_CDeliveringPin {
 public:
  Z_CConvertOutputPin(const char* name, Z_CConvertFilter* filter, HRESULT* result, LPCWSTR pinName);
  ~Z_CConvertOutputPin() override;

  // IMediaPosition and IMediaSeeking come from a seeking pass-through made on first request.
  HRESULT InnerQueryInterface(REFIID iid, void** out) override;
  HRESULT TestType(const AM_MEDIA_TYPE* type) override;
  HRESULT ListTypeAt(int index, Z_CMediaTypeHolder* type) override;
  HRESULT TestPeer(IPin* peer) override;
  HRESULT AdoptType(const AM_MEDIA_TYPE* type) override;
  HRESULT OnUnlink() override;
  HRESULT OnLinked(IPin* peer) override;
  HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

  HRESULT QueryId(LPWSTR* id) override;
  HRESULT Notify(IBaseFilter* sender, Quality quality) override;

  IMemInputPin* PeerInput() const { return m_peerInput; }  // No reference added.

 protected:
  Z_CConvertFilter* m_owner;

 private:
  IUnknown* m_seekingPassThrough = nullptr;  // One reference owned.
};
