// The media-type lister every pin hands out.
#include "media/framework/media_type_lister.h"

#include <cstring>
#include <new>

#include "media/framework/media_type.h"
#include "media/framework/pin_core.h"

Z_CMediaTypeLister::Z_CMediaTypeLister(Z_CPinCore* pin, const Z_CMediaTypeLister* source) : m_pin(pin) {
  static_cast<IPin*>(m_pin)->AddRef();
  if (source) {
    m_position = source->m_position;
    m_revision = source->m_revision;
  } else {
    m_revision = m_pin->GetTypeRevision();
  }
}

Z_CMediaTypeLister::~Z_CMediaTypeLister() { static_cast<IPin*>(m_pin)->Release(); }

HRESULT Z_CMediaTypeLister::Next(ULONG wanted, AM_MEDIA_TYPE** types, ULONG* fetched) {
  if (!types) return E_POINTER;
  if (m_pin->GetTypeRevision() != m_revision) return VFW_E_ENUM_OUT_OF_SYNC;
  if (fetched)
    *fetched = 0;
  else if (wanted > 1)
    return E_INVALIDARG;

  ULONG handedOut = 0;
  while (handedOut < wanted) {
    Z_CMediaTypeHolder type;
    const HRESULT result = m_pin->ListTypeAt(m_position++, &type);
    if (result != S_OK) break;
    auto* block = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    types[handedOut] = block;
    if (!block) break;
    // The block takes over the holder's format block and unknown.
    std::memcpy(static_cast<void*>(block), static_cast<const AM_MEDIA_TYPE*>(&type), sizeof(AM_MEDIA_TYPE));
    type.cbFormat = 0;
    type.pbFormat = nullptr;
    type.pUnk = nullptr;
    ++handedOut;
  }
  if (fetched) *fetched = handedOut;
  return handedOut < wanted ? S_FALSE : S_OK;
}

HRESULT Z_CMediaTypeLister::Skip(ULONG count) {
  if (count == 0) return S_OK;
  if (m_pin->GetTypeRevision() != m_revision) return VFW_E_ENUM_OUT_OF_SYNC;
  m_position += static_cast<LONG>(count);
  Z_CMediaTypeHolder type;
  return m_pin->ListTypeAt(m_position - 1, &type) == S_OK ? S_OK : S_FALSE;
}

HRESULT Z_CMediaTypeLister::Reset() {
  m_position = 0;
  m_revision = m_pin->GetTypeRevision();
  return S_OK;
}

HRESULT Z_CMediaTypeLister::Clone(IEnumMediaTypes** copy) {
  if (!copy) return E_POINTER;
  *copy = nullptr;
  if (m_pin->GetTypeRevision() != m_revision) return VFW_E_ENUM_OUT_OF_SYNC;
  *copy = new (std::nothrow) Z_CMediaTypeLister(m_pin, this);
  return *copy ? S_OK : E_OUTOFMEMORY;
}
