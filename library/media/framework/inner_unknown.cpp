// Reference counting and identity of the framework's COM objects.
#include "media/framework/inner_unknown.h"

Z_CInnerUnknown::Z_CInnerUnknown(const char* name, IUnknown* outer)
    : Z_CNamedObject(name), m_innerUnknown(*this), m_outer(outer ? outer : &m_innerUnknown) {}

Z_CInnerUnknown::~Z_CInnerUnknown() = default;

HRESULT Z_CInnerUnknown::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown) return HandOutInterface(&m_innerUnknown, out);
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG Z_CInnerUnknown::InnerAddRef() {
  const ULONG count = static_cast<ULONG>(++m_referenceCount);
  return count > 1 ? count : 1;
}

ULONG Z_CInnerUnknown::InnerRelease() {
  const LONG count = --m_referenceCount;
  if (count == 0) {
    // An AddRef and Release pair made by the destructor must not come back here.
    m_referenceCount = 1;
    delete this;
    return 0;
  }
  return static_cast<ULONG>(count) > 1 ? static_cast<ULONG>(count) : 1;
}

HRESULT Z_CInnerUnknown::HandOutInterface(IUnknown* pointer, void** out) {
  if (!out) return E_POINTER;
  *out = pointer;
  pointer->AddRef();
  return S_OK;
}
