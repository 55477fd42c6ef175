// The framework's classes that the platform creates by class id: the memory allocator
// (CLSID_MemoryAllocator) is the framework's heap sample pool, the seeking pass-through
// (CLSID_SeekingPassThru) its position pass-through.
#pragma once

#include "platform/com.h"

// Registers the classes with CoCreateInstance once per process; later calls do nothing.
void RegisterMediaFrameworkClasses();

typedef HRESULT (*FrameworkCreateFunction)(IUnknown* outer, REFIID iid, void** out);

// The class object of one of the framework's classes: it lives as long as the process, so its
// references are nominal.
template <FrameworkCreateFunction Create>
class FrameworkClass final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *object = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(LPUNKNOWN outer, REFIID iid, void** object) override { return Create(outer, iid, object); }
  HRESULT LockServer(BOOL) override { return S_OK; }
};

// Offers the class to CoCreateInstance under the class id.
template <FrameworkCreateFunction Create>
void RegisterFrameworkClass(REFCLSID classId) {
  static auto* const factory = new FrameworkClass<Create>;
  DWORD cookie = 0;
  CoRegisterClassObject(classId, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
}
