// The in-place filter: the shared allocator decision, the reconnection after a link, and the
// receive path that copies only where the allocators differ.
#include "media/filters/in_place_filter.h"

#include <cstring>
#include <new>

Z_CInPlaceFilter::Z_CInPlaceFilter(const char* name, IUnknown* outer, REFCLSID classId, HRESULT*, bool modifiesData)
    : Z_CConvertFilter(name, outer, classId), m_modifiesData(modifiesData) {}

Z_CPinCore* Z_CInPlaceFilter::PinAt(int index) {
  if (!m_input) {
    HRESULT result = S_OK;
    m_input = new (std::nothrow) Z_CInPlaceInputPin("In-place input pin", this, &result, u"Input");
    if (!m_input) return nullptr;
  }
  if (!m_output) {
    HRESULT result = S_OK;
    m_output = new (std::nothrow) Z_CInPlaceOutputPin("In-place output pin", this, &result, u"Output");
    if (!m_output) {
      delete m_input;
      m_input = nullptr;
      return nullptr;
    }
  }
  if (index == 0) return m_input;
  if (index == 1) return m_output;
  return nullptr;
}

Z_CInPlaceInputPin* Z_CInPlaceFilter::InPlaceInput() { return static_cast<Z_CInPlaceInputPin*>(m_input); }
Z_CInPlaceOutputPin* Z_CInPlaceFilter::InPlaceOutput() { return static_cast<Z_CInPlaceOutputPin*>(m_output); }

HRESULT Z_CInPlaceFilter::SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties) {
  if (!allocator || !properties) return E_POINTER;
  ALLOCATOR_PROPERTIES wanted{1, 1, 0, 0};
  if (m_input && m_input->IsConnected() && m_input->Allocator()) {
    const HRESULT result = m_input->Allocator()->GetProperties(&wanted);
    if (FAILED(result)) return result;
  }
  properties->cBuffers = wanted.cBuffers > 0 ? wanted.cBuffers : 1;
  properties->cbBuffer = wanted.cbBuffer > 0 ? wanted.cbBuffer : 1;
  properties->cbAlign = wanted.cbAlign;
  ALLOCATOR_PROPERTIES actual{};
  const HRESULT result = allocator->SetProperties(properties, &actual);
  if (FAILED(result)) return result;
  if (actual.cBuffers < properties->cBuffers || actual.cbBuffer < properties->cbBuffer ||
      actual.cbAlign < properties->cbAlign)
    return E_FAIL;
  return S_OK;
}

HRESULT Z_CInPlaceFilter::OnLinked(int side, IPin*) {
  if (!m_graph) return VFW_E_NOT_IN_GRAPH;
  if (side == 1) {
    if (m_input && m_input->IsConnected())
      return ReconnectPinInGraph(static_cast<IPin*>(m_input), &m_output->CurrentMediaType());
    return S_OK;
  }
  if (m_output && m_output->IsConnected() && m_output->CurrentMediaType() != m_input->CurrentMediaType())
    return ReconnectPinInGraph(static_cast<IPin*>(m_output), &m_input->CurrentMediaType());
  return S_OK;
}

HRESULT Z_CInPlaceFilter::ReceiveSample(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  if (m_input->SampleProperties().dwStreamId != 0) return m_output->IsConnected() ? m_output->SendSample(sample) : S_OK;
  IMediaSample* copy = nullptr;
  if (m_input->Allocator() != m_output->Allocator()) {
    copy = CopySample(sample);
    if (!copy) return E_UNEXPECTED;
    sample = copy;
  }
  HRESULT result = TransformSample(sample);
  if (result == S_OK) result = m_output->SendSample(sample);
  if (copy) copy->Release();
  return result;
}

IMediaSample* Z_CInPlaceFilter::CopySample(IMediaSample* source) {
  REFERENCE_TIME start = 0;
  REFERENCE_TIME end = 0;
  const bool timesValid = source->GetTime(&start, &end) == S_OK;
  IMediaSample* copy = nullptr;
  if (FAILED(m_output->TakeDeliveryBuffer(&copy, timesValid ? &start : nullptr, timesValid ? &end : nullptr,
                                          m_droppedSample ? AM_GBF_PREVFRAMESKIPPED : 0)))
    return nullptr;
  // A buffer too small for the data is refused rather than overrun.
  const LONG length = source->GetActualDataLength();
  if (length < 0 || length > copy->GetSize()) {
    copy->Release();
    return nullptr;
  }

  IMediaSample2* copy2 = nullptr;
  if (SUCCEEDED(copy->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&copy2))) && copy2) {
    AM_SAMPLE2_PROPERTIES record = m_input->SampleProperties();
    constexpr DWORD kSize = offsetof(AM_SAMPLE2_PROPERTIES, pMediaType) + sizeof(record.pMediaType);
    record.cbData = kSize;
    const HRESULT result = copy2->SetProperties(kSize, reinterpret_cast<const BYTE*>(&record));
    copy2->Release();
    if (FAILED(result)) {
      copy->Release();
      return nullptr;
    }
  } else {
    if (timesValid) copy->SetTime(&start, &end);
    if (source->IsSyncPoint() == S_OK) copy->SetSyncPoint(TRUE);
    if (source->IsDiscontinuity() == S_OK || m_droppedSample) copy->SetDiscontinuity(TRUE);
    if (source->IsPreroll() == S_OK) copy->SetPreroll(TRUE);
    AM_MEDIA_TYPE* type = nullptr;
    if (source->GetMediaType(&type) == S_OK && type) {
      copy->SetMediaType(type);
      DeleteMediaTypeBlock(type);
    }
  }
  m_droppedSample = false;
  LONGLONG mediaStart = 0;
  LONGLONG mediaEnd = 0;
  if (source->GetMediaTime(&mediaStart, &mediaEnd) == S_OK) copy->SetMediaTime(&mediaStart, &mediaEnd);
  copy->SetActualDataLength(length);
  BYTE* from = nullptr;
  BYTE* to = nullptr;
  if (length > 0 && SUCCEEDED(source->GetPointer(&from)) && SUCCEEDED(copy->GetPointer(&to)))
    std::memcpy(to, from, static_cast<size_t>(length));
  return copy;
}

// ---- Z_CInPlaceInputPin ----

Z_CInPlaceInputPin::Z_CInPlaceInputPin(const char* name, Z_CInPlaceFilter* filter, HRESULT* result, LPCWSTR pinName)
    : Z_CConvertInputPin(name, filter, result, pinName), m_inPlace(filter) {}

HRESULT Z_CInPlaceInputPin::TestType(const AM_MEDIA_TYPE* type) {
  const HRESULT result = m_inPlace->TestInputType(type);
  if (result != S_OK) return result;
  Z_CConvertOutputPin* output = m_inPlace->Output();
  if (output && output->IsConnected()) return output->ConnectedPin()->QueryAccept(type);
  return S_OK;
}

HRESULT Z_CInPlaceInputPin::OnLinked(IPin* peer) {
  const HRESULT result = Z_CPinCore::OnLinked(peer);
  if (FAILED(result)) return result;
  return m_inPlace->OnLinked(0, peer);
}

HRESULT Z_CInPlaceInputPin::EnumMediaTypes(IEnumMediaTypes** types) {
  Z_CConvertOutputPin* output = m_inPlace->Output();
  if (!output || !output->IsConnected()) return VFW_E_NOT_CONNECTED;
  return output->ConnectedPin()->EnumMediaTypes(types);
}

HRESULT Z_CInPlaceInputPin::GetAllocator(IMemAllocator** allocator) {
  if (!allocator) return E_POINTER;
  Z_CScopedLock lock(m_lock);
  Z_CInPlaceOutputPin* output = m_inPlace->InPlaceOutput();
  if (output && output->IsConnected() && output->PeerInput()) {
    const HRESULT result = output->PeerInput()->GetAllocator(allocator);
    if (SUCCEEDED(result)) output->AdoptAllocator(*allocator);
    return result;
  }
  return Z_CReceivingPin::GetAllocator(allocator);
}

HRESULT Z_CInPlaceInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
  if (!allocator) return E_POINTER;
  Z_CScopedLock lock(m_lock);
  m_readOnly = readOnly != 0;
  Z_CInPlaceOutputPin* output = m_inPlace->InPlaceOutput();
  if (!output || !output->IsConnected() || !output->PeerInput())
    return Z_CReceivingPin::NotifyAllocator(allocator, readOnly);

  IMemInputPin* downstream = output->PeerInput();
  HRESULT result = S_OK;
  if (readOnly && m_inPlace->ModifiesData()) {
    IMemAllocator* own = output->Allocator();
    if (own) {
      own->AddRef();
    } else if (FAILED(downstream->GetAllocator(&own))) {
      result = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                reinterpret_cast<void**>(&own));
      if (FAILED(result)) return result;
    }
    output->AdoptAllocator(own);
    own->Release();
    if (own == allocator) return E_FAIL;
    ALLOCATOR_PROPERTIES wanted{};
    ALLOCATOR_PROPERTIES granted{};
    result = allocator->GetProperties(&wanted);
    if (FAILED(result)) return result;
    result = own->SetProperties(&wanted, &granted);
    if (FAILED(result)) return result;
    if (granted.cBuffers < wanted.cBuffers || granted.cbBuffer < wanted.cbBuffer || granted.cbAlign < wanted.cbAlign)
      return E_FAIL;
    result = downstream->NotifyAllocator(own, FALSE);
  } else {
    result = downstream->NotifyAllocator(allocator, readOnly);
    if (SUCCEEDED(result)) output->AdoptAllocator(allocator);
  }
  if (FAILED(result)) return result;
  allocator->AddRef();
  if (m_allocator) m_allocator->Release();
  m_allocator = allocator;
  return result;
}

HRESULT Z_CInPlaceInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) {
  Z_CInPlaceOutputPin* output = m_inPlace->InPlaceOutput();
  if (!output || !output->IsConnected() || !output->PeerInput()) return E_NOTIMPL;
  return output->PeerInput()->GetAllocatorRequirements(properties);
}

// ---- Z_CInPlaceOutputPin ----

Z_CInPlaceOutputPin::Z_CInPlaceOutputPin(const char* name, Z_CInPlaceFilter* filter, HRESULT* result, LPCWSTR pinName)
    : Z_CConvertOutputPin(name, filter, result, pinName), m_inPlace(filter) {}

HRESULT Z_CInPlaceOutputPin::TestType(const AM_MEDIA_TYPE* type) {
  Z_CConvertInputPin* input = m_inPlace->Input();
  if (!m_inPlace->IsStopped() && input && input->Allocator() != m_allocator)
    return m_mediaType.Equals(*type) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  const HRESULT result = m_inPlace->TestInputType(type);
  if (result != S_OK) return result;
  if (input && input->IsConnected()) return input->ConnectedPin()->QueryAccept(type);
  return S_OK;
}

HRESULT Z_CInPlaceOutputPin::OnLinked(IPin* peer) {
  const HRESULT result = Z_CDeliveringPin::OnLinked(peer);
  if (FAILED(result)) return result;
  return m_inPlace->OnLinked(1, peer);
}

HRESULT Z_CInPlaceOutputPin::EnumMediaTypes(IEnumMediaTypes** types) {
  Z_CConvertInputPin* input = m_inPlace->Input();
  if (!input || !input->IsConnected()) return VFW_E_NOT_CONNECTED;
  return input->ConnectedPin()->EnumMediaTypes(types);
}

void Z_CInPlaceOutputPin::AdoptAllocator(IMemAllocator* allocator) {
  if (allocator) allocator->AddRef();
  if (m_allocator) m_allocator->Release();
  m_allocator = allocator;
}
