// The base of every output pin: agrees an allocator with the downstream input pin when a
// connection completes (the peer's first, else a new memory allocator), commits and decommits it
// with the filter's state, and passes samples, end of stream, flushes and new segments downstream.
#pragma once

#include "media/framework/pin_core.h"

class Z_CDeliveringPin : public Z_CPinCore {
 public:
  // The result is left as it is: nothing here can fail.
  Z_CDeliveringPin(const char* name, Z_CFilterCore* filter, Z_CLockSection* lock, HRESULT* result, LPCWSTR pinName);
  ~Z_CDeliveringPin() override;

  HRESULT OnActivate() override;
  HRESULT OnDeactivate() override;
  HRESULT TestPeer(IPin* peer) override;
  HRESULT OnUnlink() override;
  HRESULT OnLinked(IPin* peer) override;

  virtual HRESULT ChooseAllocator(IMemInputPin* peerInput, IMemAllocator** allocator);
  // Sets buffer count and size on the allocator for the agreed type.
  virtual HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
  virtual HRESULT TakeDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags);
  virtual HRESULT SendSample(IMediaSample* sample);
  virtual HRESULT MakeAllocator(IMemAllocator** allocator);
  virtual HRESULT PassEndOfStream();
  virtual HRESULT PassBeginFlush();
  virtual HRESULT PassEndFlush();
  virtual HRESULT PassNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

  // An output pin is never sent these.
  HRESULT EndOfStream() override { return E_UNEXPECTED; }
  HRESULT BeginFlush() override { return E_UNEXPECTED; }
  HRESULT EndFlush() override { return E_UNEXPECTED; }
  HRESULT Notify(IBaseFilter*, Quality) override { return E_NOTIMPL; }

  IMemAllocator* Allocator() const { return m_allocator; }  // No reference added.

 protected:
  IMemAllocator* m_allocator = nullptr;  // One reference owned while connected.
  IMemInputPin* m_peerInput = nullptr;   // One reference owned while connected.
};
