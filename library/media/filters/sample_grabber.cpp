// The sample grabber, its input pin with the optional delivery buffer, and the allocator that cuts
// that buffer into samples.
#include "media/filters/sample_grabber.h"

#include <new>

#include "media/framework/media_type_lister.h"

// ---- SampleGrabberAllocator ----

SampleGrabberAllocator::SampleGrabberAllocator(IUnknown* outer, HRESULT* result, SampleGrabberInputPin* pin)
    : Z_CHeapSamplePool("SampleGrabberAllocator", outer, result), m_pin(pin) {}

// The heap pool's destructor deletes the samples; the block is the caller's and stays.
SampleGrabberAllocator::~SampleGrabberAllocator() { m_deliveryBlock = nullptr; }

HRESULT SampleGrabberAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) {
  HRESULT result = Z_CHeapSamplePool::SetProperties(request, actual);
  if (FAILED(result)) return result;
  const ALLOCATOR_PROPERTIES& delivery = m_pin->DeliveryProperties();
  if (request->cbAlign != delivery.cbAlign) return VFW_E_BADALIGN;
  if (request->cbPrefix != delivery.cbPrefix) return E_FAIL;
  if (request->cbBuffer > delivery.cbBuffer) return E_FAIL;
  if (request->cBuffers > delivery.cBuffers) return E_FAIL;
  Z_CScopedLock lock(&m_lock);
  *actual = delivery;
  m_bufferCount = delivery.cBuffers;
  m_bufferSize = delivery.cbBuffer;
  m_alignment = delivery.cbAlign;
  m_prefix = delivery.cbPrefix;
  return S_OK;
}

HRESULT SampleGrabberAllocator::AllocBuffers() {
  Z_CScopedLock lock(&m_lock);
  const HRESULT check = CheckProperties();
  if (FAILED(check)) return check;
  if (check == S_FALSE) return S_OK;
  if (m_deliveryBlock) FreeBlock();
  SIZE_T step = static_cast<SIZE_T>(m_bufferSize) + static_cast<SIZE_T>(m_prefix);
  if (m_alignment > 1 && step % static_cast<SIZE_T>(m_alignment) != 0)
    step += static_cast<SIZE_T>(m_alignment) - step % static_cast<SIZE_T>(m_alignment);
  m_deliveryBlock = m_pin->DeliveryBuffer();
  if (!m_deliveryBlock) return E_OUTOFMEMORY;
  BYTE* position = m_deliveryBlock;
  while (m_samplesMade < m_bufferCount) {
    auto* sample = new (std::nothrow)
        Z_CSampleBuffer("Sample grabber sample", this, nullptr, position + m_prefix, m_bufferSize);
    if (!sample) return E_OUTOFMEMORY;
    m_freeList.Push(sample);
    ++m_samplesMade;
    position += step;
  }
  m_changed = false;
  return S_OK;
}

// ---- SampleGrabberInputPin ----

SampleGrabberInputPin::SampleGrabberInputPin(Z_CInPlaceFilter* filter, HRESULT* result)
    : Z_CInPlaceInputPin("SampleGrabberInputPin", filter, result, u"Input") {}

SampleGrabberInputPin::~SampleGrabberInputPin() {
  if (m_ownAllocator) m_ownAllocator->Release();
}

HRESULT SampleGrabberInputPin::SetDeliveryBuffer(const ALLOCATOR_PROPERTIES& properties, BYTE* buffer) {
  if (properties.cBuffers != 1) return E_INVALIDARG;
  if (!buffer) return E_POINTER;
  m_deliveryBuffer = buffer;
  m_deliveryProperties = properties;
  if (m_ownAllocator) {
    m_ownAllocator->Release();
    m_ownAllocator = nullptr;
  }
  HRESULT result = S_OK;
  auto* allocator = new (std::nothrow) SampleGrabberAllocator(nullptr, &result, this);
  if (!allocator) return E_OUTOFMEMORY;
  allocator->AddRef();
  m_ownAllocator = allocator;
  return result;
}

HRESULT SampleGrabberInputPin::GetAllocator(IMemAllocator** allocator) {
  if (!m_ownAllocator) return Z_CInPlaceInputPin::GetAllocator(allocator);
  if (!allocator) return E_POINTER;
  *allocator = m_ownAllocator;
  m_ownAllocator->AddRef();
  return S_OK;
}

HRESULT SampleGrabberInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
  if (m_ownAllocator) {
    if (allocator != static_cast<IMemAllocator*>(m_ownAllocator)) return E_FAIL;
    if (readOnly && m_inPlace->ModifiesData()) return E_FAIL;
  }
  return Z_CInPlaceInputPin::NotifyAllocator(allocator, readOnly);
}

HRESULT SampleGrabberInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) {
  if (!m_ownAllocator) return Z_CInPlaceInputPin::GetAllocatorRequirements(properties);
  if (!properties) return E_POINTER;
  *properties = m_deliveryProperties;
  return S_OK;
}

HRESULT SampleGrabberInputPin::ListTypeAt(int index, Z_CMediaTypeHolder* type) {
  if (!type) return E_POINTER;
  if (index < 0) return E_INVALIDARG;
  if (index > 0) return VFW_S_NO_MORE_ITEMS;
  type->InitEmpty();
  type->SetMajorType(static_cast<Z_CSampleGrabber*>(m_inPlace)->AcceptedMajorType());
  return S_OK;
}

HRESULT SampleGrabberInputPin::EnumMediaTypes(IEnumMediaTypes** types) {
  if (!types) return E_POINTER;
  Z_CConvertOutputPin* output = m_inPlace->Output();
  if (output && output->IsConnected()) return output->ConnectedPin()->EnumMediaTypes(types);
  *types = new (std::nothrow) Z_CMediaTypeLister(this, nullptr);
  return *types ? S_OK : E_OUTOFMEMORY;
}

HRESULT SampleGrabberInputPin::AdoptType(const AM_MEDIA_TYPE* type) {
  m_typeChanged = true;
  return Z_CConvertInputPin::AdoptType(type);
}

// ---- Z_CSampleGrabber ----

Z_CSampleGrabber::Z_CSampleGrabber(IUnknown* outer, HRESULT* result)
    : Z_CInPlaceFilter("SampleGrabber", outer, CLSID_Z_SampleGrabber, result, false) {}

Z_CSampleGrabber::~Z_CSampleGrabber() = default;

Z_CSampleGrabber* Z_CSampleGrabber::Create(IUnknown* outer, HRESULT* result) {
  auto* grabber = new (std::nothrow) Z_CSampleGrabber(outer, result);
  if (!grabber) {
    if (result) *result = E_OUTOFMEMORY;
    return nullptr;
  }
  HRESULT pinResult = S_OK;
  grabber->m_input = new (std::nothrow) SampleGrabberInputPin(grabber, &pinResult);
  if (!grabber->m_input) {
    delete grabber;
    if (result) *result = E_OUTOFMEMORY;
    return nullptr;
  }
  grabber->PinAt(1);
  return grabber;
}

HRESULT Z_CSampleGrabber::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_Z_IGrabberControl) return HandOutInterface(static_cast<Z_IGrabberControl*>(this), out);
  return Z_CInPlaceFilter::InnerQueryInterface(iid, out);
}

GUID Z_CSampleGrabber::AcceptedMajorType() {
  Z_CScopedLock lock(&m_grabberLock);
  return m_acceptedType.majortype;
}

HRESULT Z_CSampleGrabber::TestInputType(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  Z_CScopedLock lock(&m_grabberLock);
  if (m_acceptedType.majortype == GUID_NULL) return S_OK;
  if (!(type->majortype == m_acceptedType.majortype)) return VFW_E_INVALID_MEDIA_TYPE;
  if (m_acceptedType.subtype == GUID_NULL) return S_OK;
  if (!(type->subtype == m_acceptedType.subtype)) return VFW_E_INVALID_MEDIA_TYPE;
  if (m_acceptedType.formattype == GUID_NULL) return S_OK;
  return type->formattype == m_acceptedType.formattype ? S_OK : VFW_E_INVALID_MEDIA_TYPE;
}

HRESULT Z_CSampleGrabber::TransformSample(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  Z_CScopedLock lock(&m_grabberLock);
  if (!m_callback) return S_OK;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME end = 0;
  if (FAILED(sample->GetTime(&start, &end))) start = end = 0;
  const REFERENCE_TIME segmentStart = m_input->SegmentStart();
  start += segmentStart;
  end += segmentStart;
  auto* input = static_cast<SampleGrabberInputPin*>(m_input);
  const HRESULT result = m_callback(sample, &start, &end, input->m_typeChanged.load() ? TRUE : FALSE, m_callbackValue);
  input->m_typeChanged = false;
  return result;
}

HRESULT Z_CSampleGrabber::SetAcceptedType(const AM_MEDIA_TYPE* type) {
  Z_CScopedLock lock(&m_grabberLock);
  if (!type) {
    m_acceptedType.InitEmpty();
    return S_OK;
  }
  return m_acceptedType.Assign(*type);
}

HRESULT Z_CSampleGrabber::GetAcceptedType(AM_MEDIA_TYPE* type) {
  if (!m_input || !m_input->IsConnected()) return VFW_E_NOT_CONNECTED;
  return m_input->ConnectionMediaType(type);
}

HRESULT Z_CSampleGrabber::SetSampleCallback(GrabberSampleCallback callback, DWORD_PTR value) {
  Z_CScopedLock lock(&m_grabberLock);
  m_callback = callback;
  m_callbackValue = value;
  return S_OK;
}

HRESULT Z_CSampleGrabber::SetDeliveryBuffer(ALLOCATOR_PROPERTIES properties, BYTE* buffer) {
  if (!m_input || !m_output) return E_POINTER;
  if (m_input->IsConnected() || m_output->IsConnected()) return E_INVALIDARG;
  return static_cast<SampleGrabberInputPin*>(m_input)->SetDeliveryBuffer(properties, buffer);
}
