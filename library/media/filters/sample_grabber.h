// The sample grabber: an in-place filter that lets library code tap a stream. It accepts only the
// media type its caller asked for, hands every media sample to the caller's callback with its
// times (plus the segment start), and passes the sample on unchanged. The caller may give it a
// buffer of its own for upstream to decode into (the delivery buffer, cut by the grabber's own
// allocator). Its control surface is Z_IGrabberControl.
#pragma once

#include <atomic>

#include "media/filters/in_place_filter.h"
#include "media/framework/heap_sample_pool.h"

// The sample, its start and end time plus the segment start (a sample without times counts as 0), 1 for the
// first callback after each connection of the input pin, and the caller's value. 0 lets the
// sample go downstream; anything else goes back upstream instead.
typedef HRESULT (*GrabberSampleCallback)(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                                         BOOL typeChanged, DWORD_PTR value);

// {6B652FFF-11FE-4FCE-9264-323635373766}
inline constexpr IID IID_Z_IGrabberControl = {
    0x6B652FFF, 0x11FE, 0x4FCE, {0x92, 0x64, 0x32, 0x36, 0x35, 0x37, 0x37, 0x66}};
// {2FA4F053-6D60-4CB0-9533-653933666633}
inline constexpr CLSID CLSID_Z_SampleGrabber = {
    0x2FA4F053, 0x6D60, 0x4CB0, {0x95, 0x33, 0x65, 0x39, 0x33, 0x66, 0x66, 0x33}};

struct Z_IGrabberControl : IUnknown {
  // A deep copy for later connections; null accepts every type again.
  virtual HRESULT SetAcceptedType(const AM_MEDIA_TYPE* type) = 0;
  // The type of the input pin's current connection.
  virtual HRESULT GetAcceptedType(AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT SetSampleCallback(GrabberSampleCallback callback, DWORD_PTR value) = 0;
  // Only while both pins are unconnected, with a buffer count of 1.
  virtual HRESULT SetDeliveryBuffer(ALLOCATOR_PROPERTIES properties, BYTE* buffer) = 0;
};

class SampleGrabberInputPin;

// Cuts the caller's delivery buffer into samples; never frees it.
class SampleGrabberAllocator : public Z_CHeapSamplePool {
 public:
  SampleGrabberAllocator(IUnknown* outer, HRESULT* result, SampleGrabberInputPin* pin);
  ~SampleGrabberAllocator() override;

  HRESULT SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
  void FreeBuffers() override {}
  HRESULT AllocBuffers() override;

 private:
  SampleGrabberInputPin* m_pin;
  BYTE* m_deliveryBlock = nullptr;  // The caller's.
};

class SampleGrabberInputPin : public Z_CInPlaceInputPin {
 public:
  SampleGrabberInputPin(Z_CInPlaceFilter* filter, HRESULT* result);
  ~SampleGrabberInputPin() override;

  HRESULT SetDeliveryBuffer(const ALLOCATOR_PROPERTIES& properties, BYTE* buffer);
  HRESULT GetAllocator(IMemAllocator** allocator) override;
  HRESULT NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
  HRESULT ListTypeAt(int index, Z_CMediaTypeHolder* type) override;
  HRESULT EnumMediaTypes(IEnumMediaTypes** types) override;
  HRESULT AdoptType(const AM_MEDIA_TYPE* type) override;

  const ALLOCATOR_PROPERTIES& DeliveryProperties() const { return m_deliveryProperties; }
  BYTE* DeliveryBuffer() const { return m_deliveryBuffer; }
  // Set by each connection, read and cleared by the grabber's callback.
  std::atomic<bool> m_typeChanged{false};

 private:
  SampleGrabberAllocator* m_ownAllocator = nullptr;  // One reference owned.
  ALLOCATOR_PROPERTIES m_deliveryProperties{};
  BYTE* m_deliveryBuffer = nullptr;
};

class Z_CSampleGrabber : public Z_CInPlaceFilter, public Z_IGrabberControl {
 public:
  // Null when the grabber or its input pin cannot be made (E_OUTOFMEMORY in the result).
  static Z_CSampleGrabber* Create(IUnknown* outer, HRESULT* result);
  ~Z_CSampleGrabber() override;

  Z_FORWARD_IUNKNOWN_TO_OUTER
  HRESULT InnerQueryInterface(REFIID iid, void** out) override;
  HRESULT TestInputType(const AM_MEDIA_TYPE* type) override;
  HRESULT TransformSample(IMediaSample* sample) override;

  HRESULT SetAcceptedType(const AM_MEDIA_TYPE* type) override;
  HRESULT GetAcceptedType(AM_MEDIA_TYPE* type) override;
  HRESULT SetSampleCallback(GrabberSampleCallback callback, DWORD_PTR value) override;
  HRESULT SetDeliveryBuffer(ALLOCATOR_PROPERTIES properties, BYTE* buffer) override;

  // The accepted major type (under the grabber lock).
  GUID AcceptedMajorType();

 private:
  Z_CSampleGrabber(IUnknown* outer, HRESULT* result);

  Z_CMediaTypeHolder m_acceptedType;
  GrabberSampleCallback m_callback = nullptr;
  Z_CLockSection m_grabberLock;
  DWORD_PTR m_callbackValue = 0;
};
