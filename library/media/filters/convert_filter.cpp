// The converter filter and its two pins.
#include "media/filters/convert_filter.h"

#include <new>

namespace {

const WCHAR kInputId[] = u"In";
const WCHAR kOutputId[] = u"Out";

}  // namespace

HRESULT MakeSeekingPassThrough(IUnknown* outer, BOOL supportRendering, IPin* pin, IUnknown** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  IUnknown* object = nullptr;
  HRESULT result = CoCreateInstance(CLSID_SeekingPassThru, outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                    reinterpret_cast<void**>(&object));
  if (FAILED(result)) return result;
  ISeekingPassThru* passThrough = nullptr;
  result = object->QueryInterface(IID_ISeekingPassThru, reinterpret_cast<void**>(&passThrough));
  if (SUCCEEDED(result)) {
    result = passThrough->Init(supportRendering, pin);
    passThrough->Release();
  }
  if (FAILED(result)) {
    object->Release();
    return result;
  }
  *out = object;
  return S_OK;
}

// ---- Z_CConvertFilter ----

Z_CConvertFilter::Z_CConvertFilter(const char* name, IUnknown* outer, REFCLSID classId)
    : Z_CFilterCore(name, outer, &m_filterLock, classId) {}

Z_CConvertFilter::~Z_CConvertFilter() {
  delete m_input;
  delete m_output;
}

Z_CPinCore* Z_CConvertFilter::PinAt(int index) {
  if (!m_input) {
    HRESULT result = S_OK;
    m_input = new (std::nothrow) Z_CConvertInputPin("Transform input pin", this, &result, u"XForm In");
    if (!m_input) return nullptr;
    m_output = new (std::nothrow) Z_CConvertOutputPin("Transform output pin", this, &result, u"XForm Out");
    if (!m_output) {
      delete m_input;
      m_input = nullptr;
    }
  }
  if (index == 0) return m_input;
  if (index == 1) return m_output;
  return nullptr;
}

HRESULT Z_CConvertFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (!pin) return E_POINTER;
  int index = -1;
  if (lstrcmpW(id, kInputId) == 0) index = 0;
  if (lstrcmpW(id, kOutputId) == 0) index = 1;
  if (index < 0) {
    *pin = nullptr;
    return VFW_E_NOT_FOUND;
  }
  Z_CPinCore* found = PinAt(index);
  *pin = found ? static_cast<IPin*>(found) : nullptr;
  if (!*pin) return E_OUTOFMEMORY;
  (*pin)->AddRef();
  return S_OK;
}

HRESULT Z_CConvertFilter::Pause() {
  Z_CScopedLock lock(&m_filterLock);
  HRESULT result = S_OK;
  if (State() == State_Paused) {
    // Nothing changes but the drop bookkeeping.
  } else if (!m_input || !m_input->IsConnected()) {
    if (m_output && !m_endOfStreamDelivered) {
      m_output->PassEndOfStream();
      m_endOfStreamDelivered = true;
    }
    m_state = State_Paused;
  } else if (!m_output->IsConnected()) {
    m_state = State_Paused;
  } else if (State() == State_Running) {
    result = Z_CFilterCore::Pause();
  } else {
    {
      Z_CScopedLock receiveLock(&m_receiveLock);
      result = BeginStreaming();
    }
    if (SUCCEEDED(result)) result = Z_CFilterCore::Pause();
  }
  m_droppedSample = false;
  m_qualityChanged = false;
  return result;
}

HRESULT Z_CConvertFilter::Stop() {
  Z_CScopedLock lock(&m_filterLock);
  if (IsStopped()) return S_OK;
  if (m_input && m_output && m_input->IsConnected() && m_output->IsConnected()) {
    m_input->OnDeactivate();
    Z_CScopedLock receiveLock(&m_receiveLock);
    m_output->OnDeactivate();
    const HRESULT result = EndStreaming();
    if (SUCCEEDED(result)) {
      m_state = State_Stopped;
      m_endOfStreamDelivered = false;
    }
    return result;
  }
  m_state = State_Stopped;
  m_endOfStreamDelivered = false;
  return S_OK;
}

HRESULT Z_CConvertFilter::ReceiveSample(IMediaSample* sample) {
  if (m_input->SampleProperties().dwStreamId != 0) return m_output->SendSample(sample);
  IMediaSample* output = nullptr;
  HRESULT result = PrepareOutputSample(sample, &output);
  if (FAILED(result)) return result;
  result = ConvertSample(sample, output);
  if (result == S_OK) {
    result = m_output->SendSample(output);
    m_droppedSample = false;
    output->Release();
    return result;
  }
  output->Release();
  if (result == S_FALSE) {
    m_droppedSample = true;
    if (!m_qualityChanged) {
      NotifyGraphEvent(EC_QUALITY_CHANGE, 0, 0);
      m_qualityChanged = true;
    }
    return S_OK;
  }
  return result;
}

HRESULT Z_CConvertFilter::PrepareOutputSample(IMediaSample* input, IMediaSample** output) {
  const AM_SAMPLE2_PROPERTIES& properties = m_input->SampleProperties();
  DWORD flags = m_droppedSample ? AM_GBF_PREVFRAMESKIPPED : 0;
  if (!(properties.dwSampleFlags & AM_SAMPLE_SPLICEPOINT)) flags |= AM_GBF_NOTASYNCPOINT;
  REFERENCE_TIME start = properties.tStart;
  REFERENCE_TIME stop = properties.tStop;
  HRESULT result = m_output->TakeDeliveryBuffer(
      output, (properties.dwSampleFlags & AM_SAMPLE_TIMEVALID) ? &start : nullptr,
      (properties.dwSampleFlags & AM_SAMPLE_STOPVALID) ? &stop : nullptr, flags);
  if (FAILED(result)) return result;
  IMediaSample* sample = *output;

  IMediaSample2* sample2 = nullptr;
  if (SUCCEEDED(sample->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&sample2))) && sample2) {
    AM_SAMPLE2_PROPERTIES record{};
    constexpr DWORD kHeadSize = offsetof(AM_SAMPLE2_PROPERTIES, lActual) + sizeof(record.lActual);
    constexpr DWORD kTimesSize = offsetof(AM_SAMPLE2_PROPERTIES, tStop) + sizeof(record.tStop);
    sample2->GetProperties(kHeadSize, reinterpret_cast<BYTE*>(&record));
    record.cbData = kTimesSize;
    record.dwTypeSpecificFlags = properties.dwTypeSpecificFlags;
    record.dwSampleFlags = (properties.dwSampleFlags & ~AM_SAMPLE_TYPECHANGED) |
                           (record.dwSampleFlags & AM_SAMPLE_TYPECHANGED);
    record.tStart = properties.tStart;
    record.tStop = properties.tStop;
    result = sample2->SetProperties(kTimesSize, reinterpret_cast<const BYTE*>(&record));
    sample2->Release();
    if (properties.dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY) m_droppedSample = false;
    if (FAILED(result)) {
      sample->Release();
      *output = nullptr;
      return result;
    }
    return S_OK;
  }
  if (properties.dwSampleFlags & AM_SAMPLE_TIMEVALID) sample->SetTime(&start, &stop);
  if (properties.dwSampleFlags & AM_SAMPLE_SPLICEPOINT) sample->SetSyncPoint(TRUE);
  if (properties.dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY) {
    sample->SetDiscontinuity(TRUE);
    m_droppedSample = false;
  }
  LONGLONG mediaStart = 0;
  LONGLONG mediaStop = 0;
  if (input->GetMediaTime(&mediaStart, &mediaStop) == S_OK) sample->SetMediaTime(&mediaStart, &mediaStop);
  return S_OK;
}

HRESULT Z_CConvertFilter::PassEndOfStream() { return m_output ? m_output->PassEndOfStream() : S_OK; }
HRESULT Z_CConvertFilter::PassBeginFlush() { return m_output ? m_output->PassBeginFlush() : S_OK; }
HRESULT Z_CConvertFilter::PassEndFlush() { return m_output ? m_output->PassEndFlush() : S_OK; }
HRESULT Z_CConvertFilter::PassNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  return m_output ? m_output->PassNewSegment(start, stop, rate) : S_OK;
}

// ---- Z_CConvertInputPin ----

Z_CConvertInputPin::Z_CConvertInputPin(const char* name, Z_CConvertFilter* filter, HRESULT* result, LPCWSTR pinName)
    : Z_CReceivingPin(name, filter, filter->FilterLock(), result, pinName), m_owner(filter) {}

HRESULT Z_CConvertInputPin::TestType(const AM_MEDIA_TYPE* type) {
  const HRESULT result = m_owner->TestInputType(type);
  if (result != S_OK) return result;
  Z_CConvertOutputPin* output = m_owner->Output();
  if (output && output->IsConnected()) return m_owner->TestConversion(type, &output->CurrentMediaType());
  return S_OK;
}

HRESULT Z_CConvertInputPin::AdoptType(const AM_MEDIA_TYPE* type) {
  const HRESULT result = Z_CPinCore::AdoptType(type);
  if (FAILED(result)) return result;
  return m_owner->AdoptType(0, type);
}

HRESULT Z_CConvertInputPin::TestPeer(IPin* peer) {
  const HRESULT result = m_owner->TestPeer(0, peer);
  if (FAILED(result)) return result;
  return Z_CPinCore::TestPeer(peer);
}

HRESULT Z_CConvertInputPin::OnUnlink() {
  m_owner->OnUnlink(0);
  return ReleaseAllocator();
}

HRESULT Z_CConvertInputPin::OnLinked(IPin* peer) {
  const HRESULT result = m_owner->OnLinked(0, peer);
  if (FAILED(result)) return result;
  return Z_CPinCore::OnLinked(peer);
}

HRESULT Z_CConvertInputPin::CheckStreamingState() {
  Z_CConvertOutputPin* output = m_owner->Output();
  if (!output || !output->IsConnected()) return VFW_E_NOT_CONNECTED;
  if (IsFlushing()) return S_FALSE;
  if (m_owner->IsStopped()) return VFW_E_WRONG_STATE;
  if (HasRuntimeError()) return VFW_E_RUNTIME_ERROR;
  return S_OK;
}

HRESULT Z_CConvertInputPin::QueryId(LPWSTR* id) { return CopyWideStringToTaskMemory(kInputId, id); }

HRESULT Z_CConvertInputPin::Receive(IMediaSample* sample) {
  Z_CScopedLock lock(m_owner->ReceiveLock());
  const HRESULT result = Z_CReceivingPin::Receive(sample);
  if (result != S_OK) return result;
  return m_owner->ReceiveSample(sample);
}

HRESULT Z_CConvertInputPin::EndOfStream() {
  Z_CScopedLock lock(m_owner->ReceiveLock());
  const HRESULT result = CheckStreamingState();
  if (result != S_OK) return result;
  return m_owner->PassEndOfStream();
}

HRESULT Z_CConvertInputPin::BeginFlush() {
  Z_CScopedLock lock(m_lock);
  Z_CConvertOutputPin* output = m_owner->Output();
  if (!IsConnected() || !output || !output->IsConnected()) return VFW_E_NOT_CONNECTED;
  const HRESULT result = StartFlush();
  if (FAILED(result)) return result;
  return m_owner->PassBeginFlush();
}

HRESULT Z_CConvertInputPin::EndFlush() {
  Z_CScopedLock lock(m_lock);
  Z_CConvertOutputPin* output = m_owner->Output();
  if (!IsConnected() || !output || !output->IsConnected()) return VFW_E_NOT_CONNECTED;
  const HRESULT result = m_owner->PassEndFlush();
  if (FAILED(result)) return result;
  return StopFlush();
}

HRESULT Z_CConvertInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  Z_CPinCore::NewSegment(start, stop, rate);
  return m_owner->PassNewSegment(start, stop, rate);
}

// ---- Z_CConvertOutputPin ----

Z_CConvertOutputPin::Z_CConvertOutputPin(const char* name, Z_CConvertFilter* filter, HRESULT* result, LPCWSTR pinName)
    : Z_CDeliveringPin(name, filter, filter->FilterLock(), result, pinName), m_owner(filter) {}

Z_CConvertOutputPin::~Z_CConvertOutputPin() {
  if (m_seekingPassThrough) m_seekingPassThrough->Release();
}

HRESULT Z_CConvertOutputPin::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IMediaPosition || iid == IID_IMediaSeeking) {
    Z_CScopedLock lock(m_lock);
    if (!m_seekingPassThrough) {
      Z_CPinCore* input = m_owner->PinAt(0);
      const HRESULT result = MakeSeekingPassThrough(OuterUnknown(), FALSE, input ? static_cast<IPin*>(input) : nullptr,
                                                    &m_seekingPassThrough);
      if (FAILED(result)) {
        *out = nullptr;
        return result;
      }
    }
    return m_seekingPassThrough->QueryInterface(iid, out);
  }
  return Z_CDeliveringPin::InnerQueryInterface(iid, out);
}

HRESULT Z_CConvertOutputPin::TestType(const AM_MEDIA_TYPE* type) {
  Z_CConvertInputPin* input = m_owner->Input();
  if (!input || !input->IsConnected()) return E_INVALIDARG;
  return m_owner->TestConversion(&input->CurrentMediaType(), type);
}

HRESULT Z_CConvertOutputPin::ListTypeAt(int index, Z_CMediaTypeHolder* type) {
  Z_CConvertInputPin* input = m_owner->Input();
  if (!input || !input->IsConnected()) return VFW_S_NO_MORE_ITEMS;
  return m_owner->ListTypeAt(index, type);
}

HRESULT Z_CConvertOutputPin::TestPeer(IPin* peer) {
  Z_CConvertInputPin* input = m_owner->Input();
  if (!input || !input->IsConnected()) return E_UNEXPECTED;
  const HRESULT result = m_owner->TestPeer(1, peer);
  if (FAILED(result)) return result;
  return Z_CDeliveringPin::TestPeer(peer);
}

HRESULT Z_CConvertOutputPin::AdoptType(const AM_MEDIA_TYPE* type) {
  const HRESULT result = Z_CPinCore::AdoptType(type);
  if (FAILED(result)) return result;
  return m_owner->AdoptType(1, type);
}

HRESULT Z_CConvertOutputPin::OnUnlink() {
  m_owner->OnUnlink(1);
  return Z_CDeliveringPin::OnUnlink();
}

HRESULT Z_CConvertOutputPin::OnLinked(IPin* peer) {
  const HRESULT result = m_owner->OnLinked(1, peer);
  if (FAILED(result)) return result;
  return Z_CDeliveringPin::OnLinked(peer);
}

HRESULT Z_CConvertOutputPin::SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  return m_owner->SizeBuffers(allocator, request);
}

HRESULT Z_CConvertOutputPin::QueryId(LPWSTR* id) { return CopyWideStringToTaskMemory(kOutputId, id); }

HRESULT Z_CConvertOutputPin::Notify(IBaseFilter*, Quality quality) {
  const HRESULT result = m_owner->AdjustQuality(quality);
  if (result != S_FALSE) return result;
  Z_CConvertInputPin* input = m_owner->Input();
  return input ? input->PassQualityNotice(quality) : result;
}
