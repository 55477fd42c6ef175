// The base of every input pin: IMemInputPin over the pin core. It takes the allocator the
// upstream pin hands over (or makes one on request), checks the filter's state and the flush on
// every Receive, reads the sample's properties into one record for the derived pin, and refuses a
// sample whose new media type the pin does not accept by ending the stream with a run-time error.
#pragma once

#include <atomic>

#include "media/framework/pin_core.h"

class Z_CReceivingPin : public Z_CPinCore, public IMemInputPin {
 public:
  // The result is left as it is: nothing here can fail.
  Z_CReceivingPin(const char* name, Z_CFilterCore* filter, Z_CLockSection* lock, HRESULT* result, LPCWSTR pinName);
  ~Z_CReceivingPin() override;

  Z_FORWARD_IUNKNOWN_TO_OUTER
  HRESULT InnerQueryInterface(REFIID iid, void** out) override;
  HRESULT OnDeactivate() override;

  // VFW_E_WRONG_STATE while Stopped, S_FALSE while flushing, VFW_E_RUNTIME_ERROR after a refused
  // type change, else S_OK.
  virtual HRESULT CheckStreamingState();

  // IMemInputPin. Receive, ReceiveMultiple and ReceiveCanBlock run on the upstream streaming
  // thread without the lock.
  HRESULT GetAllocator(IMemAllocator** allocator) override;
  HRESULT NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) override;
  HRESULT ReceiveCanBlock() override;

  // IQualityControl: messages from downstream are dropped.
  HRESULT Notify(IBaseFilter* sender, Quality quality) override;

  // Decommits and releases the allocator; derived pins call it from OnUnlink.
  HRESULT ReleaseAllocator();
  // Derived pins call these from BeginFlush and EndFlush.
  HRESULT StartFlush();
  HRESULT StopFlush();
  // Sends a quality message upstream: to the quality sink, else to the connected pin.
  HRESULT PassQualityNotice(const Quality& quality);

  // The properties of the sample last received.
  const AM_SAMPLE2_PROPERTIES& SampleProperties() const { return m_sampleProperties; }
  IMemAllocator* Allocator() const { return m_allocator; }  // No reference added.
  bool IsReadOnly() const { return m_readOnly.load(std::memory_order_acquire); }
  bool IsFlushing() const { return m_flushing.load(std::memory_order_acquire); }

 protected:
  IMemAllocator* m_allocator = nullptr;  // One reference owned.
  // Written under the filter lock, read by Receive on the streaming thread.
  std::atomic<bool> m_readOnly{false};
  std::atomic<bool> m_flushing{false};
  AM_SAMPLE2_PROPERTIES m_sampleProperties{};

 private:
  // The record's media type is a copy this pin owns (taken from a sample without IMediaSample2).
  void FreeOwnedPropertiesType();
  bool m_ownsPropertiesType = false;
};
