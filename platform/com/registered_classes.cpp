// Class objects the program registers with CoRegisterClassObject, found by CoCreateInstance
// before the stand-in's own table.
#include <mutex>
#include <vector>

#include "com/registered_classes.h"

namespace platform {
namespace {

struct RegisteredClass {
  CLSID classId;
  IClassFactory* factory;  // One reference held.
  DWORD cookie;
};

struct RegisteredClasses {
  std::mutex mutex;
  std::vector<RegisteredClass> classes;
  DWORD nextCookie = 1;
};

RegisteredClasses& Registry() {
  static RegisteredClasses* registry = new RegisteredClasses;
  return *registry;
}

}  // namespace

IClassFactory* FindRegisteredClass(REFCLSID classId) {
  RegisteredClasses& registry = Registry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  for (const RegisteredClass& entry : registry.classes)
    if (entry.classId == classId) {
      entry.factory->AddRef();
      return entry.factory;
    }
  return nullptr;
}

}  // namespace platform

using namespace platform;

HRESULT CoRegisterClassObject(REFCLSID classId, LPUNKNOWN classObject, DWORD context, DWORD, LPDWORD cookie) {
  if (!classObject || !cookie) return E_INVALIDARG;
  *cookie = 0;
  if ((context & CLSCTX_ALL) == 0) return E_INVALIDARG;
  IClassFactory* factory = nullptr;
  HRESULT result = classObject->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(result)) return result;
  RegisteredClasses& registry = Registry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  *cookie = registry.nextCookie++;
  registry.classes.push_back({classId, factory, *cookie});
  return S_OK;
}

HRESULT CoRevokeClassObject(DWORD cookie) {
  IClassFactory* factory = nullptr;
  {
    RegisteredClasses& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    for (auto it = registry.classes.begin(); it != registry.classes.end(); ++it)
      if (it->cookie == cookie) {
        factory = it->factory;
        registry.classes.erase(it);
        break;
      }
  }
  if (!factory) return E_INVALIDARG;
  factory->Release();
  return S_OK;
}
