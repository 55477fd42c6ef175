// The pin lister every filter hands out.
#include "media/framework/pin_lister.h"

#include <new>

#include "media/framework/filter_core.h"
#include "media/framework/pin_core.h"

Z_CPinLister::Z_CPinLister(Z_CFilterCore* filter, const Z_CPinLister* source) : m_filter(filter) {
  static_cast<IBaseFilter*>(m_filter)->AddRef();
  if (source) {
    m_position = source->m_position;
    m_pinCount = source->m_pinCount;
    m_revision = source->m_revision;
    m_complete = m_handedOut.AddTailList(source->m_handedOut) != 0;
  } else {
    m_revision = m_filter->GetPinRevision();
    m_pinCount = m_filter->CountPins();
  }
}

Z_CPinLister::~Z_CPinLister() { static_cast<IBaseFilter*>(m_filter)->Release(); }

HRESULT Z_CPinLister::Next(ULONG wanted, IPin** pins, ULONG* fetched) {
  if (!pins) return E_POINTER;
  if (fetched)
    *fetched = 0;
  else if (wanted > 1)
    return E_INVALIDARG;
  if (m_filter->GetPinRevision() != m_revision) {
    m_revision = m_filter->GetPinRevision();
    m_pinCount = m_filter->CountPins();
    m_position = 0;
  }
  LONG toHandOut = m_pinCount - m_position;
  if (static_cast<LONG>(wanted) < toHandOut) toHandOut = static_cast<LONG>(wanted);
  if (toHandOut <= 0) return S_FALSE;

  LONG handedOut = 0;
  while (m_position < m_pinCount) {
    Z_CPinCore* pin = m_filter->PinAt(m_position++);
    if (!pin) {
      // The pins already handed out carry a reference each: the caller must know of them.
      if (fetched) *fetched = static_cast<ULONG>(handedOut);
      return VFW_E_ENUM_OUT_OF_SYNC;
    }
    if (m_handedOut.Find(pin)) continue;
    IPin* pinInterface = pin;
    pins[handedOut] = pinInterface;
    pinInterface->AddRef();
    m_handedOut.AddTail(pin);
    if (++handedOut == toHandOut) break;
  }
  if (fetched) *fetched = static_cast<ULONG>(handedOut);
  return static_cast<ULONG>(handedOut) == wanted ? S_OK : S_FALSE;
}

HRESULT Z_CPinLister::Skip(ULONG count) {
  if (m_filter->GetPinRevision() != m_revision) return VFW_E_ENUM_OUT_OF_SYNC;
  if (count > static_cast<ULONG>(m_pinCount - m_position)) return S_FALSE;
  m_position += static_cast<LONG>(count);
  return S_OK;
}

HRESULT Z_CPinLister::Reset() {
  m_revision = m_filter->GetPinRevision();
  m_pinCount = m_filter->CountPins();
  m_position = 0;
  m_handedOut.RemoveAll();
  return S_OK;
}

HRESULT Z_CPinLister::Clone(IEnumPins** copy) {
  if (!copy) return E_POINTER;
  *copy = nullptr;
  if (m_filter->GetPinRevision() != m_revision) return VFW_E_ENUM_OUT_OF_SYNC;
  auto* lister = new (std::nothrow) Z_CPinLister(m_filter, this);
  if (lister && !lister->IsComplete()) {
    lister->Release();
    lister = nullptr;
  }
  *copy = lister;
  return lister ? S_OK : E_OUTOFMEMORY;
}
