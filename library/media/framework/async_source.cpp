// The asynchronous source, its reader pin and the memory reader.
#include "media/framework/async_source.h"

#include <new>

#include "media/framework/heap_sample_pool.h"

namespace {

// One byte of the stream is one second of reference time.
constexpr LONGLONG kUnitsPerByte = 10000000;

}  // namespace

// ---- The pin ----

Z_CAsyncSourcePin::Z_CAsyncSourcePin(HRESULT* result, Z_CAsyncSource* filter, Z_CAsyncEngine* engine,
                                     Z_CLockSection* lock)
    : Z_CPinCore("Async source output pin", filter, lock, result, u"Output", PINDIR_OUTPUT),
      m_source(filter),
      m_engine(engine) {}

HRESULT Z_CAsyncSourcePin::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IAsyncReader) {
    m_askedForReader = true;
    return HandOutInterface(static_cast<IAsyncReader*>(this), out);
  }
  return Z_CPinCore::InnerQueryInterface(iid, out);
}

HRESULT Z_CAsyncSourcePin::TestType(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  Z_CScopedLock lock(m_lock);
  const Z_CMediaTypeHolder& offered = m_source->OfferedType();
  if (type->majortype != offered.majortype) return S_FALSE;
  if (offered.subtype == GUID_NULL) return S_OK;
  return type->subtype == offered.subtype ? S_OK : S_FALSE;
}

HRESULT Z_CAsyncSourcePin::TestPeer(IPin* peer) {
  m_askedForReader = false;
  return Z_CPinCore::TestPeer(peer);
}

HRESULT Z_CAsyncSourcePin::OnUnlink() {
  m_askedForReader = false;
  return S_OK;
}

HRESULT Z_CAsyncSourcePin::OnLinked(IPin*) { return m_askedForReader ? S_OK : E_FAIL; }

HRESULT Z_CAsyncSourcePin::ListTypeAt(int index, Z_CMediaTypeHolder* type) {
  if (index < 0) return E_INVALIDARG;
  if (index > 0) return VFW_S_NO_MORE_ITEMS;
  if (!type) return E_POINTER;
  if (!m_source) return E_UNEXPECTED;
  return type->Assign(m_source->OfferedType());
}

HRESULT Z_CAsyncSourcePin::Connect(IPin* receivingPin, const AM_MEDIA_TYPE* type) {
  return m_source->ConnectOutput(receivingPin, type);
}

bool Z_CAsyncSourcePin::FitsAlignment(LONG alignment) {
  LONG streamAlignment = 1;
  m_engine->Alignment(&streamAlignment);
  return (alignment & (streamAlignment - 1)) == 0;
}

HRESULT Z_CAsyncSourcePin::RequestAllocator(IMemAllocator* preferred, ALLOCATOR_PROPERTIES* properties,
                                            IMemAllocator** actual) {
  if (!preferred || !properties || !actual) return E_POINTER;
  LONG streamAlignment = 1;
  m_engine->Alignment(&streamAlignment);
  if (properties->cbAlign == 0 || !FitsAlignment(properties->cbAlign)) properties->cbAlign = streamAlignment;

  ALLOCATOR_PROPERTIES agreed{};
  HRESULT result = preferred->SetProperties(properties, &agreed);
  if (SUCCEEDED(result) && FitsAlignment(agreed.cbAlign)) {
    preferred->AddRef();
    *actual = preferred;
    return S_OK;
  }

  IMemAllocator* own = nullptr;
  result = MakeOwnAllocator(&own);
  if (FAILED(result)) return result;
  result = own->SetProperties(properties, &agreed);
  if (SUCCEEDED(result) && FitsAlignment(agreed.cbAlign)) {
    *actual = own;
    return S_OK;
  }
  own->Release();
  return FAILED(result) ? result : VFW_E_BADALIGN;
}

HRESULT Z_CAsyncSourcePin::MakeOwnAllocator(IMemAllocator** allocator) {
  if (!allocator) return E_POINTER;
  HRESULT result = S_OK;
  auto* pool = new (std::nothrow) Z_CHeapSamplePool(nullptr, nullptr, &result);
  if (!pool) return E_OUTOFMEMORY;
  if (FAILED(result)) {
    delete pool;
    return result;
  }
  if (FAILED(pool->InnerQueryInterface(IID_IMemAllocator, reinterpret_cast<void**>(allocator)))) {
    delete pool;
    return E_NOINTERFACE;
  }
  return S_OK;
}

HRESULT Z_CAsyncSourcePin::PrepareRead(IMediaSample* sample, LONGLONG* position, LONG* length, BYTE** buffer) {
  if (!sample) return E_POINTER;
  REFERENCE_TIME start = 0, end = 0;
  HRESULT result = sample->GetTime(&start, &end);
  if (FAILED(result)) return result;
  // A range that runs backwards or starts before the stream names no bytes.
  if (end < start || start < 0) return E_INVALIDARG;

  *position = start / kUnitsPerByte;
  LONGLONG bytes = (end - start) / kUnitsPerByte;
  LONGLONG total = 0;
  m_engine->Length(&total, nullptr);
  if (*position + bytes > total) {
    LONG alignment = 1;
    m_engine->Alignment(&alignment);
    const LONGLONG rounded = (total + alignment - 1) / alignment * alignment;
    if (*position + bytes > rounded) {
      bytes = rounded > *position ? rounded - *position : 0;
      REFERENCE_TIME clippedEnd = rounded * kUnitsPerByte;
      sample->SetTime(&start, &clippedEnd);
    }
  }
  // The bytes must fit the sample they are read into.
  if (bytes > sample->GetSize()) return VFW_E_BUFFER_OVERFLOW;
  *length = static_cast<LONG>(bytes);

  result = sample->GetPointer(buffer);
  return FAILED(result) ? result : S_OK;
}

HRESULT Z_CAsyncSourcePin::Request(IMediaSample* sample, DWORD_PTR userValue) {
  LONGLONG position = 0;
  LONG length = 0;
  BYTE* buffer = nullptr;
  const HRESULT result = PrepareRead(sample, &position, &length, &buffer);
  if (FAILED(result)) return result;
  return m_engine->Request(position, length, TRUE, buffer, sample, userValue);
}

HRESULT Z_CAsyncSourcePin::SyncReadAligned(IMediaSample* sample) {
  LONGLONG position = 0;
  LONG length = 0;
  BYTE* buffer = nullptr;
  HRESULT result = PrepareRead(sample, &position, &length, &buffer);
  if (FAILED(result)) return result;
  LONG actual = 0;
  result = m_engine->SyncReadAligned(position, length, buffer, &actual, sample);
  if (result != VFW_E_BADALIGN) sample->SetActualDataLength(actual);
  return result;
}

HRESULT Z_CAsyncSourcePin::WaitForNext(DWORD timeoutMilliseconds, IMediaSample** sample, DWORD_PTR* userValue) {
  if (!sample) return E_POINTER;
  IMediaSample* finished = nullptr;
  LONG actual = 0;
  const HRESULT result = m_engine->WaitForNext(timeoutMilliseconds, &finished, userValue, &actual);
  if (SUCCEEDED(result) && finished) finished->SetActualDataLength(actual);
  // Failed and flushed reads hand their samples back too.
  *sample = finished;
  return result;
}

HRESULT Z_CAsyncSourcePin::SyncRead(LONGLONG position, LONG length, BYTE* buffer) {
  return m_engine->SyncRead(position, length, buffer);
}

HRESULT Z_CAsyncSourcePin::Length(LONGLONG* total, LONGLONG* available) { return m_engine->Length(total, available); }

// ---- The filter ----

Z_CAsyncSource::Z_CAsyncSource(const char* name, IUnknown* outer, Z_CByteStream* stream, HRESULT* result)
    : Z_CFilterCore(name, outer, &m_filterLock, CLSID_AsyncSource),
      m_engine(stream),
      m_pin(result, this, &m_engine, &m_filterLock) {}

Z_CAsyncSource::~Z_CAsyncSource() = default;

Z_CPinCore* Z_CAsyncSource::PinAt(int index) { return CountPins() >= 1 && index == 0 ? &m_pin : nullptr; }

HRESULT Z_CAsyncSource::ConnectOutput(IPin* receivingPin, const AM_MEDIA_TYPE* type) {
  return m_pin.Z_CPinCore::Connect(receivingPin, type);
}

// ---- The memory reader ----

Z_CMemReader::Z_CMemReader(Z_CMemStream* stream, HRESULT* result)
    : Z_CAsyncSource("Mem Reader", nullptr, stream, result) {}

Z_CMemReader* Z_CMemReader::Create(Z_CMemStream* stream, const AM_MEDIA_TYPE* type, HRESULT* result) {
  auto* reader = new (std::nothrow) Z_CMemReader(stream, result);
  if (!reader) {
    if (result) *result = E_OUTOFMEMORY;
    return nullptr;
  }
  if (type && FAILED(reader->m_offeredType.Assign(*type)) && result) *result = E_OUTOFMEMORY;
  return reader;
}

void Z_CMemReader::Destroy(Z_CMemReader* reader) { delete reader; }
