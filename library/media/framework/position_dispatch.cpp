// The position objects' IDispatch over the platform's type library.
#include "media/framework/position_dispatch.h"

#include "platform/kernel.h"

namespace {

HRESULT LastErrorResult() { return static_cast<HRESULT>(0x80070000u | GetLastError()); }

const WCHAR kTypeLibraryFile[] = u"control.tlb";

}  // namespace

HMODULE LoadOleAutomation() {
  HMODULE module = Z_CNamedObject::AutomationModule.load();
  if (module) return module;
  module = LoadLibraryA("OleAut32.dll");
  if (!module) return nullptr;
  HMODULE expected = nullptr;
  if (!Z_CNamedObject::AutomationModule.compare_exchange_strong(expected, module)) {
    FreeLibrary(module);
    return expected;
  }
  return module;
}

Z_CTypeInfoCache::~Z_CTypeInfoCache() {
  if (ITypeInfo* info = m_typeInfo.load()) info->Release();
}

HRESULT Z_CTypeInfoCache::GetTypeInfo(REFIID iid, UINT index, LCID locale, ITypeInfo** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (index != 0) return TYPE_E_ELEMENTNOTFOUND;
  if (!m_typeInfo.load()) {
    HMODULE module = LoadOleAutomation();
    if (!module) return LastErrorResult();
    auto loadRegistered = reinterpret_cast<LoadRegTypeLibFunction>(GetProcAddress(module, "LoadRegTypeLib"));
    if (!loadRegistered) return LastErrorResult();
    ITypeLib* library = nullptr;
    if (FAILED(loadRegistered(LIBID_MediaControl, 1, 0, locale, &library))) {
      auto loadFile = reinterpret_cast<LoadTypeLibFunction>(GetProcAddress(module, "LoadTypeLib"));
      if (!loadFile) return LastErrorResult();
      const HRESULT result = loadFile(kTypeLibraryFile, &library);
      if (FAILED(result)) return result;
    }
    ITypeInfo* info = nullptr;
    const HRESULT result = library->GetTypeInfoOfGuid(iid, &info);
    library->Release();
    if (FAILED(result)) return result;
    ITypeInfo* expected = nullptr;
    if (!m_typeInfo.compare_exchange_strong(expected, info)) info->Release();
  }
  *out = m_typeInfo.load();
  (*out)->AddRef();
  return S_OK;
}

HRESULT Z_CTypeInfoCache::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT nameCount, LCID locale, DISPID* ids) {
  ITypeInfo* info = nullptr;
  HRESULT result = GetTypeInfo(iid, 0, locale, &info);
  if (FAILED(result)) return result;
  result = info->GetIDsOfNames(names, nameCount, ids);
  info->Release();
  return result;
}

Z_CPositionDispatch::Z_CPositionDispatch(const char* name, IUnknown* outer) : Z_CInnerUnknown(name, outer) {}

Z_CPositionDispatch::~Z_CPositionDispatch() = default;

HRESULT Z_CPositionDispatch::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IMediaPosition) return HandOutInterface(static_cast<IMediaPosition*>(this), out);
  return Z_CInnerUnknown::InnerQueryInterface(iid, out);
}

HRESULT Z_CPositionDispatch::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT Z_CPositionDispatch::GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) {
  return m_typeInfo.GetTypeInfo(IID_IMediaPosition, index, locale, info);
}

HRESULT Z_CPositionDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT nameCount, LCID locale, DISPID* ids) {
  return m_typeInfo.GetIDsOfNames(IID_IMediaPosition, names, nameCount, locale, ids);
}

HRESULT Z_CPositionDispatch::Invoke(DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                    VARIANT* result, EXCEPINFO* exception, UINT* argumentError) {
  if (!(iid == IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* info = nullptr;
  HRESULT outcome = static_cast<IMediaPosition*>(this)->GetTypeInfo(0, locale, &info);
  if (FAILED(outcome)) return outcome;
  outcome = info->Invoke(static_cast<IMediaPosition*>(this), member, flags, parameters, result, exception,
                         argumentError);
  info->Release();
  return outcome;
}
