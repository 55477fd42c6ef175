// The receiving pin: allocator hand-over, Receive with its checks and the sample-property record,
// flushing flags.
#include "media/framework/receiving_pin.h"

#include "media/framework/filter_core.h"

Z_CReceivingPin::Z_CReceivingPin(const char* name, Z_CFilterCore* filter, Z_CLockSection* lock, HRESULT* result,
                                 LPCWSTR pinName)
    : Z_CPinCore(name, filter, lock, result, pinName, PINDIR_INPUT) {}

Z_CReceivingPin::~Z_CReceivingPin() {
  FreeOwnedPropertiesType();
  if (m_allocator) m_allocator->Release();
}

HRESULT Z_CReceivingPin::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IMemInputPin) return HandOutInterface(static_cast<IMemInputPin*>(this), out);
  return Z_CPinCore::InnerQueryInterface(iid, out);
}

HRESULT Z_CReceivingPin::OnDeactivate() {
  m_runtimeError = false;
  if (!m_allocator) return VFW_E_NO_ALLOCATOR;
  m_flushing = false;
  return m_allocator->Decommit();
}

HRESULT Z_CReceivingPin::CheckStreamingState() {
  if (m_filter->IsStopped()) return VFW_E_WRONG_STATE;
  if (IsFlushing()) return S_FALSE;
  if (HasRuntimeError()) return VFW_E_RUNTIME_ERROR;
  return S_OK;
}

HRESULT Z_CReceivingPin::GetAllocator(IMemAllocator** allocator) {
  if (!allocator) return E_POINTER;
  Z_CScopedLock lock(m_lock);
  if (!m_allocator) {
    const HRESULT result = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                            reinterpret_cast<void**>(&m_allocator));
    if (FAILED(result)) return result;
  }
  *allocator = m_allocator;
  m_allocator->AddRef();
  return S_OK;
}

HRESULT Z_CReceivingPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
  if (!allocator) return E_POINTER;
  Z_CScopedLock lock(m_lock);
  allocator->AddRef();
  if (m_allocator) m_allocator->Release();
  m_allocator = allocator;
  m_readOnly = readOnly != 0;
  return S_OK;
}

HRESULT Z_CReceivingPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) { return E_NOTIMPL; }

void Z_CReceivingPin::FreeOwnedPropertiesType() {
  if (!m_ownsPropertiesType) return;
  DeleteMediaTypeBlock(m_sampleProperties.pMediaType);
  m_sampleProperties.pMediaType = nullptr;
  m_ownsPropertiesType = false;
}

HRESULT Z_CReceivingPin::Receive(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  HRESULT result = CheckStreamingState();
  if (result != S_OK) return result;

  FreeOwnedPropertiesType();
  IMediaSample2* sample2 = nullptr;
  if (SUCCEEDED(sample->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&sample2))) && sample2) {
    result = sample2->GetProperties(sizeof(m_sampleProperties), reinterpret_cast<BYTE*>(&m_sampleProperties));
    sample2->Release();
    if (FAILED(result)) return result;
  } else {
    AM_SAMPLE2_PROPERTIES& record = m_sampleProperties;
    record.cbData = sizeof(record);
    record.dwTypeSpecificFlags = 0;
    record.dwSampleFlags = 0;
    record.dwStreamId = 0;
    if (sample->IsDiscontinuity() == S_OK) record.dwSampleFlags |= AM_SAMPLE_DATADISCONTINUITY;
    if (sample->IsPreroll() == S_OK) record.dwSampleFlags |= AM_SAMPLE_PREROLL;
    if (sample->IsSyncPoint() == S_OK) record.dwSampleFlags |= AM_SAMPLE_SPLICEPOINT;
    if (SUCCEEDED(sample->GetTime(&record.tStart, &record.tStop)))
      record.dwSampleFlags |= AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID;
    record.pMediaType = nullptr;
    if (sample->GetMediaType(&record.pMediaType) == S_OK) record.dwSampleFlags |= AM_SAMPLE_TYPECHANGED;
    // The copy is the caller's: this pin frees it at the next sample or when it goes.
    m_ownsPropertiesType = record.pMediaType != nullptr;
    record.pbBuffer = nullptr;
    sample->GetPointer(&record.pbBuffer);
    record.lActual = sample->GetActualDataLength();
    record.cbBuffer = sample->GetSize();
  }

  if (!(m_sampleProperties.dwSampleFlags & AM_SAMPLE_TYPECHANGED)) return S_OK;
  if (m_sampleProperties.pMediaType && TestType(m_sampleProperties.pMediaType) == S_OK) return S_OK;
  m_runtimeError = true;
  static_cast<IPin*>(this)->EndOfStream();
  m_filter->NotifyGraphEvent(EC_ERRORABORT, VFW_E_TYPE_NOT_ACCEPTED, 0);
  return VFW_E_INVALIDMEDIATYPE;
}

HRESULT Z_CReceivingPin::ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) {
  if (!samples || !processed) return E_POINTER;
  *processed = 0;
  HRESULT result = S_OK;
  for (LONG index = 0; index < count; ++index) {
    result = static_cast<IMemInputPin*>(this)->Receive(samples[index]);
    if (result != S_OK) break;
    ++*processed;
  }
  return result;
}

HRESULT Z_CReceivingPin::ReceiveCanBlock() {
  const int count = m_filter->CountPins();
  int pinsThatCannotBlock = 0;
  for (int index = 0; index < count; ++index) {
    Z_CPinCore* pin = m_filter->PinAt(index);
    if (!pin) continue;
    PIN_DIRECTION direction = PINDIR_INPUT;
    HRESULT result = static_cast<IPin*>(pin)->QueryDirection(&direction);
    if (FAILED(result)) return result;
    if (direction != PINDIR_OUTPUT) continue;
    IPin* peer = nullptr;
    if (FAILED(static_cast<IPin*>(pin)->ConnectedTo(&peer)) || !peer) continue;
    IMemInputPin* peerInput = nullptr;
    result = peer->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&peerInput));
    peer->Release();
    if (FAILED(result) || !peerInput) return S_OK;
    result = peerInput->ReceiveCanBlock();
    peerInput->Release();
    if (result != S_FALSE) return S_OK;
    ++pinsThatCannotBlock;
  }
  return pinsThatCannotBlock > 0 ? S_FALSE : S_OK;
}

HRESULT Z_CReceivingPin::Notify(IBaseFilter* sender, Quality) { return sender ? S_OK : E_POINTER; }

HRESULT Z_CReceivingPin::ReleaseAllocator() {
  if (!m_allocator) return S_OK;
  const HRESULT result = m_allocator->Decommit();
  if (FAILED(result)) return result;
  m_allocator->Release();
  m_allocator = nullptr;
  return S_OK;
}

HRESULT Z_CReceivingPin::StartFlush() {
  Z_CScopedLock lock(m_lock);
  m_flushing = true;
  return S_OK;
}

HRESULT Z_CReceivingPin::StopFlush() {
  Z_CScopedLock lock(m_lock);
  m_flushing = false;
  m_runtimeError = false;
  return S_OK;
}

HRESULT Z_CReceivingPin::PassQualityNotice(const Quality& quality) {
  IBaseFilter* self = static_cast<IBaseFilter*>(m_filter);
  if (m_qualitySink) return m_qualitySink->Notify(self, quality);
  if (m_connected) {
    IQualityControl* peerQuality = nullptr;
    if (SUCCEEDED(m_connected->QueryInterface(IID_IQualityControl, reinterpret_cast<void**>(&peerQuality))) &&
        peerQuality) {
      const HRESULT result = peerQuality->Notify(self, quality);
      peerQuality->Release();
      return result;
    }
  }
  return VFW_E_NOT_FOUND;
}
