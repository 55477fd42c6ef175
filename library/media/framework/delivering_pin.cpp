// The delivering pin: allocator agreement, commit with the filter's state, and passing downstream.
#include "media/framework/delivering_pin.h"

Z_CDeliveringPin::Z_CDeliveringPin(const char* name, Z_CFilterCore* filter, Z_CLockSection* lock, HRESULT* result,
                                   LPCWSTR pinName)
    : Z_CPinCore(name, filter, lock, result, pinName, PINDIR_OUTPUT) {}

Z_CDeliveringPin::~Z_CDeliveringPin() {
  // Normally released when the connection broke; a pin destroyed while connected lets them go here.
  if (m_allocator) m_allocator->Release();
  if (m_peerInput) m_peerInput->Release();
}

HRESULT Z_CDeliveringPin::OnActivate() { return m_allocator ? m_allocator->Commit() : VFW_E_NO_ALLOCATOR; }

HRESULT Z_CDeliveringPin::OnDeactivate() {
  m_runtimeError = false;
  return m_allocator ? m_allocator->Decommit() : VFW_E_NO_ALLOCATOR;
}

HRESULT Z_CDeliveringPin::TestPeer(IPin* peer) {
  HRESULT result = Z_CPinCore::TestPeer(peer);
  if (FAILED(result)) return result;
  IMemInputPin* peerInput = nullptr;
  result = peer->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&peerInput));
  if (FAILED(result)) return result;
  if (m_peerInput) m_peerInput->Release();
  m_peerInput = peerInput;
  return result;
}

HRESULT Z_CDeliveringPin::OnUnlink() {
  if (m_allocator) {
    const HRESULT result = m_allocator->Decommit();
    if (FAILED(result)) return result;
    m_allocator->Release();
    m_allocator = nullptr;
  }
  if (m_peerInput) {
    m_peerInput->Release();
    m_peerInput = nullptr;
  }
  return S_OK;
}

HRESULT Z_CDeliveringPin::OnLinked(IPin*) { return ChooseAllocator(m_peerInput, &m_allocator); }

HRESULT Z_CDeliveringPin::ChooseAllocator(IMemInputPin* peerInput, IMemAllocator** allocator) {
  if (!peerInput || !allocator) return E_POINTER;
  ALLOCATOR_PROPERTIES request{};
  *allocator = nullptr;
  peerInput->GetAllocatorRequirements(&request);
  if (request.cbAlign == 0) request.cbAlign = 1;

  // The peer's own allocator first.
  HRESULT result = peerInput->GetAllocator(allocator);
  if (SUCCEEDED(result)) {
    result = SizeBuffers(*allocator, &request);
    if (SUCCEEDED(result)) {
      result = peerInput->NotifyAllocator(*allocator, FALSE);
      if (SUCCEEDED(result)) return S_OK;
    }
  }
  if (*allocator) {
    (*allocator)->Release();
    *allocator = nullptr;
  }

  // Else a new one of our own.
  result = MakeAllocator(allocator);
  if (SUCCEEDED(result)) {
    result = SizeBuffers(*allocator, &request);
    if (SUCCEEDED(result)) {
      result = peerInput->NotifyAllocator(*allocator, FALSE);
      if (SUCCEEDED(result)) return S_OK;
    }
  }
  if (*allocator) {
    (*allocator)->Release();
    *allocator = nullptr;
  }
  return result;
}

HRESULT Z_CDeliveringPin::TakeDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                             DWORD flags) {
  if (!m_allocator) return E_NOINTERFACE;
  return m_allocator->GetBuffer(sample, start, stop, flags);
}

HRESULT Z_CDeliveringPin::SendSample(IMediaSample* sample) {
  if (!m_peerInput) return VFW_E_NOT_CONNECTED;
  return m_peerInput->Receive(sample);
}

HRESULT Z_CDeliveringPin::MakeAllocator(IMemAllocator** allocator) {
  return CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                          reinterpret_cast<void**>(allocator));
}

HRESULT Z_CDeliveringPin::PassEndOfStream() { return m_connected ? m_connected->EndOfStream() : VFW_E_NOT_CONNECTED; }

HRESULT Z_CDeliveringPin::PassBeginFlush() { return m_connected ? m_connected->BeginFlush() : VFW_E_NOT_CONNECTED; }

HRESULT Z_CDeliveringPin::PassEndFlush() { return m_connected ? m_connected->EndFlush() : VFW_E_NOT_CONNECTED; }

HRESULT Z_CDeliveringPin::PassNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  return m_connected ? m_connected->NewSegment(start, stop, rate) : VFW_E_NOT_CONNECTED;
}
