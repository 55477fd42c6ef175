// IMediaPosition's IDispatch half, written once for every position object: the type information
// comes from the platform's type library (registered, else the file "control.tlb"), through the
// automation library loaded by name on first use. The eleven IMediaPosition methods are the
// derived class's.
#pragma once

#include <atomic>

#include "media/framework/inner_unknown.h"
#include "platform/dshow_position.h"

// One ITypeInfo, loaded on first use and kept. No lock: two threads may both load it, and the
// slot is swapped atomically so that one copy wins and the other is released.
class Z_CTypeInfoCache {
 public:
  Z_CTypeInfoCache() = default;
  ~Z_CTypeInfoCache();
  Z_CTypeInfoCache(const Z_CTypeInfoCache&) = delete;
  Z_CTypeInfoCache& operator=(const Z_CTypeInfoCache&) = delete;

  HRESULT GetTypeInfo(REFIID iid, UINT index, LCID locale, ITypeInfo** out);
  HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT nameCount, LCID locale, DISPID* ids);

 private:
  std::atomic<ITypeInfo*> m_typeInfo{nullptr};  // One reference owned.
};

// The automation module, loaded once per process (kept in Z_CNamedObject::AutomationModule); null
// with the platform's error in the last-error slot when it cannot be loaded.
HMODULE LoadOleAutomation();

class Z_CPositionDispatch : public Z_CInnerUnknown, public IMediaPosition {
 public:
  Z_CPositionDispatch(const char* name, IUnknown* outer);
  ~Z_CPositionDispatch() override;

  Z_FORWARD_IUNKNOWN_TO_OUTER
  // IMediaPosition; IDispatch itself is not answered.
  HRESULT InnerQueryInterface(REFIID iid, void** out) override;

  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT nameCount, LCID locale, DISPID* ids) override;
  HRESULT Invoke(DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                 EXCEPINFO* exception, UINT* argumentError) override;

 private:
  Z_CTypeInfoCache m_typeInfo;
};
