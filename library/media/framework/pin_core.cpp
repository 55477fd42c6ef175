// The pin core: connection and the media-type agreement, disconnection and the pin queries.
#include "media/framework/pin_core.h"

#include <cstring>
#include <new>

#include "media/framework/filter_core.h"
#include "media/framework/media_type_lister.h"

namespace {

// Refusals that mean "not this type" and so let the agreement go on to the next candidate.
bool IsTypeRefusal(HRESULT result) {
  return result == E_FAIL || result == VFW_E_TYPE_NOT_ACCEPTED || result == E_INVALIDARG;
}

// What a TestType answer other than S_OK means to the connecting side.
HRESULT TypeRefusalOf(HRESULT result) {
  return SUCCEEDED(result) || result == E_FAIL || result == E_INVALIDARG ? VFW_E_TYPE_NOT_ACCEPTED : result;
}

}  // namespace

Z_CPinCore::Z_CPinCore(const char* name, Z_CFilterCore* filter, Z_CLockSection* lock, HRESULT*, LPCWSTR pinName,
                       PIN_DIRECTION direction)
    : Z_CInnerUnknown(name, nullptr), m_direction(direction), m_lock(lock), m_filter(filter) {
  if (pinName) {
    const int length = lstrlenW(pinName);
    m_pinName = new (std::nothrow) WCHAR[static_cast<size_t>(length) + 1];
    if (m_pinName) std::memcpy(m_pinName, pinName, (static_cast<size_t>(length) + 1) * sizeof(WCHAR));
  }
}

Z_CPinCore::~Z_CPinCore() { delete[] m_pinName; }

HRESULT Z_CPinCore::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IPin) return HandOutInterface(static_cast<IPin*>(this), out);
  if (iid == IID_IQualityControl) return HandOutInterface(static_cast<IQualityControl*>(this), out);
  return Z_CInnerUnknown::InnerQueryInterface(iid, out);
}

ULONG Z_CPinCore::InnerAddRef() { return m_filter ? static_cast<IBaseFilter*>(m_filter)->AddRef() : 1; }

ULONG Z_CPinCore::InnerRelease() { return m_filter ? static_cast<IBaseFilter*>(m_filter)->Release() : 1; }

LONG Z_CPinCore::GetTypeRevision() { return m_typeRevision; }

HRESULT Z_CPinCore::OnActivate() { return S_OK; }

HRESULT Z_CPinCore::OnDeactivate() {
  m_runtimeError = false;
  return S_OK;
}

HRESULT Z_CPinCore::OnRunHook(REFERENCE_TIME) { return S_OK; }

HRESULT Z_CPinCore::AdoptType(const AM_MEDIA_TYPE* type) { return m_mediaType.Assign(*type); }

HRESULT Z_CPinCore::TestPeer(IPin* peer) {
  PIN_DIRECTION peerDirection = PINDIR_INPUT;
  const HRESULT result = peer->QueryDirection(&peerDirection);
  if (FAILED(result)) return result;
  return peerDirection == m_direction ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT Z_CPinCore::OnUnlink() { return S_OK; }

HRESULT Z_CPinCore::OnLinked(IPin*) { return S_OK; }

HRESULT Z_CPinCore::ListTypeAt(int, Z_CMediaTypeHolder*) { return E_UNEXPECTED; }

HRESULT Z_CPinCore::DropPeer() {
  if (!m_connected) return S_FALSE;
  const HRESULT result = OnUnlink();
  if (FAILED(result)) return result;
  m_connected->Release();
  m_connected = nullptr;
  return S_OK;
}

// ---- Connecting ----

HRESULT Z_CPinCore::Connect(IPin* receivingPin, const AM_MEDIA_TYPE* type) {
  if (!receivingPin) return E_POINTER;
  Z_CScopedLock lock(m_lock);
  if (m_connected) return VFW_E_ALREADY_CONNECTED;
  if (!m_filter->IsStopped()) return VFW_E_NOT_STOPPED;
  const HRESULT result = NegotiateType(receivingPin, type);
  if (SUCCEEDED(result)) return S_OK;
  OnUnlink();
  return result;
}

HRESULT Z_CPinCore::NegotiateType(IPin* receivingPin, const AM_MEDIA_TYPE* type) {
  if (type && !IsMediaTypePartiallySpecified(*type)) return TryOneType(receivingPin, type);

  HRESULT result = VFW_E_NO_ACCEPTABLE_TYPES;
  IPin* const offeringPins[2] = {receivingPin, static_cast<IPin*>(this)};
  for (IPin* offeringPin : offeringPins) {
    IEnumMediaTypes* types = nullptr;
    if (FAILED(offeringPin->EnumMediaTypes(&types)) || !types) continue;
    const HRESULT passResult = TryTypeList(receivingPin, type, types);
    types->Release();
    if (SUCCEEDED(passResult)) return S_OK;
    if (!IsTypeRefusal(passResult)) result = passResult;
  }
  return result;
}

HRESULT Z_CPinCore::TryTypeList(IPin* receivingPin, const AM_MEDIA_TYPE* pattern, IEnumMediaTypes* types) {
  HRESULT result = types->Reset();
  if (FAILED(result)) return result;
  HRESULT remembered = S_OK;
  AM_MEDIA_TYPE* candidate = nullptr;
  ULONG fetched = 0;
  if (types->Next(1, &candidate, &fetched) != S_OK) return VFW_E_NO_ACCEPTABLE_TYPES;
  do {
    if (!pattern || MediaTypeMatchesPartial(*candidate, *pattern)) {
      result = TryOneType(receivingPin, candidate);
      if (FAILED(result) && !IsTypeRefusal(result) && SUCCEEDED(remembered)) remembered = result;
    } else {
      result = VFW_E_TYPE_NOT_ACCEPTED;
    }
    DeleteMediaTypeBlock(candidate);
    candidate = nullptr;
    if (result == S_OK) return S_OK;
  } while (types->Next(1, &candidate, &fetched) == S_OK);
  return FAILED(remembered) ? remembered : VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT Z_CPinCore::TryOneType(IPin* receivingPin, const AM_MEDIA_TYPE* type) {
  HRESULT result = TestPeer(receivingPin);
  if (FAILED(result)) {
    OnUnlink();
    return result;
  }
  result = TestType(type);
  if (result != S_OK) {
    result = TypeRefusalOf(result);
  } else {
    m_connected = receivingPin;
    m_connected->AddRef();
    result = AdoptType(type);
    if (SUCCEEDED(result)) result = receivingPin->ReceiveConnection(static_cast<IPin*>(this), type);
    if (SUCCEEDED(result)) {
      result = OnLinked(receivingPin);
      if (SUCCEEDED(result)) return result;
      receivingPin->Disconnect();
    }
  }
  OnUnlink();
  if (m_connected) {
    m_connected->Release();
    m_connected = nullptr;
  }
  return result;
}

HRESULT Z_CPinCore::ReceiveConnection(IPin* connectingPin, const AM_MEDIA_TYPE* type) {
  if (!connectingPin || !type) return E_POINTER;
  Z_CScopedLock lock(m_lock);
  if (m_connected) return VFW_E_ALREADY_CONNECTED;
  if (!m_filter->IsStopped()) return VFW_E_NOT_STOPPED;
  HRESULT result = TestPeer(connectingPin);
  if (FAILED(result)) {
    OnUnlink();
    return result;
  }
  result = TestType(type);
  if (result != S_OK) {
    OnUnlink();
    return TypeRefusalOf(result);
  }
  m_connected = connectingPin;
  m_connected->AddRef();
  result = AdoptType(type);
  if (SUCCEEDED(result)) result = OnLinked(connectingPin);
  if (SUCCEEDED(result)) return S_OK;
  m_connected->Release();
  m_connected = nullptr;
  OnUnlink();
  return result;
}

HRESULT Z_CPinCore::Disconnect() {
  Z_CScopedLock lock(m_lock);
  if (!m_filter->IsStopped()) return VFW_E_NOT_STOPPED;
  return DropPeer();
}

// ---- Queries ----

HRESULT Z_CPinCore::ConnectedTo(IPin** pin) {
  if (!pin) return E_POINTER;
  IPin* peer = m_connected;
  *pin = peer;
  if (!peer) return VFW_E_NOT_CONNECTED;
  peer->AddRef();
  return S_OK;
}

HRESULT Z_CPinCore::ConnectionMediaType(AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  Z_CScopedLock lock(m_lock);
  if (!m_connected) {
    InitEmptyMediaType(type);
    return VFW_E_NOT_CONNECTED;
  }
  return CopyMediaTypeContents(type, &m_mediaType);
}

HRESULT Z_CPinCore::QueryPinInfo(PIN_INFO* info) {
  if (!info) return E_POINTER;
  info->pFilter = m_filter ? static_cast<IBaseFilter*>(m_filter) : nullptr;
  if (info->pFilter) info->pFilter->AddRef();
  if (m_pinName)
    lstrcpynW(info->achName, m_pinName, MAX_PIN_NAME);
  else
    info->achName[0] = 0;
  info->dir = m_direction;
  return S_OK;
}

HRESULT Z_CPinCore::QueryDirection(PIN_DIRECTION* direction) {
  if (!direction) return E_POINTER;
  *direction = m_direction;
  return S_OK;
}

HRESULT Z_CPinCore::QueryId(LPWSTR* id) { return CopyWideStringToTaskMemory(m_pinName, id); }

HRESULT Z_CPinCore::QueryAccept(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  const HRESULT result = TestType(type);
  return FAILED(result) ? S_FALSE : result;
}

HRESULT Z_CPinCore::EnumMediaTypes(IEnumMediaTypes** types) {
  if (!types) return E_POINTER;
  *types = new (std::nothrow) Z_CMediaTypeLister(this, nullptr);
  return *types ? S_OK : E_OUTOFMEMORY;
}

HRESULT Z_CPinCore::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

HRESULT Z_CPinCore::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  m_segmentStart = start;
  m_segmentStop = stop;
  m_segmentRate = rate;
  return S_OK;
}

HRESULT Z_CPinCore::SetSink(IQualityControl* sink) {
  Z_CScopedLock lock(m_lock);
  m_qualitySink = sink;
  return S_OK;
}
