// COM-shaped part of the platform stand-in (ole32): the IUnknown base and object creation.
#pragma once

#include <tuple>

#include "platform/types.h"

// ---- Apartment ----
// Per thread: the first CoInitialize gives S_OK, further ones S_FALSE; each needs its
// CoUninitialize.
HRESULT CoInitialize(LPVOID reserved);
void CoUninitialize();

// ---- IUnknown and object creation ----
// Objects count their references honestly: QueryInterface and AddRef add one, Release takes one
// away and frees the object at zero. CoCreateInstance finds classes in one registry
// (platform/com/class_registry.cpp), so a test can refuse a class as if it were not installed.

#define CLSCTX_INPROC_SERVER 0x1u
#define CLSCTX_INPROC_HANDLER 0x2u
#define CLSCTX_LOCAL_SERVER 0x4u
#define CLSCTX_REMOTE_SERVER 0x10u
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154)

// {00000000-0000-0000-C000-000000000046}
inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct IUnknown {
  virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;  // Objects end through Release only.
};
typedef IUnknown* LPUNKNOWN;

HRESULT CoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object);

#include <atomic>
#include <initializer_list>

namespace platform {

// The IUnknown bodies of every COM-style object of the stand-in. `Object` derives from
// ComInterfaces<Object, Interfaces...> and supplies:
//   void* InterfaceFor(REFIID iid): the interface pointer the id names, or null. The default
//     answers `Interfaces`' first for IUnknown and every id in Object::kInterfaceIds.
//   ULONG AddReference(), ULONG DropReference(): the count; ComObject below keeps a plain one.
template <typename Object, typename... Interfaces>
class ComInterfaces : public Interfaces... {
 public:
  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = Self()->InterfaceFor(iid);
    if (!*out) return E_NOINTERFACE;
    Self()->AddReference();
    return S_OK;
  }
  ULONG AddRef() override { return Self()->AddReference(); }
  ULONG Release() override { return Self()->DropReference(); }

  void* InterfaceFor(REFIID iid) {
    using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;
    if (iid == IID_IUnknown) return static_cast<First*>(Self());
    for (const IID* id : Object::kInterfaceIds)
      if (*id == iid) return static_cast<First*>(Self());
    return nullptr;
  }

 protected:
  ~ComInterfaces() = default;

 private:
  Object* Self() { return static_cast<Object*>(this); }
};

// A COM-style object with the plain count: one reference at birth, deleted when the last goes.
// `Object` may act on its last reference first (`void OnFinalRelease()`).
template <typename Object, typename... Interfaces>
class ComObject : public ComInterfaces<Object, Interfaces...> {
 public:
  ULONG AddReference() { return ++references_; }
  ULONG DropReference() {
    ULONG left = --references_;
    if (left == 0) {
      static_cast<Object*>(this)->OnFinalRelease();
      delete static_cast<Object*>(this);
    }
    return left;
  }
  void OnFinalRelease() {}

 protected:
  ~ComObject() = default;

 private:
  std::atomic<ULONG> references_{1};
};

}  // namespace platform

namespace platform {

// One registered class: makes a new object and hands out the asked interface (one reference).
typedef HRESULT (*ComClassFactory)(LPUNKNOWN outer, REFIID iid, void** object);

struct ComClassDefinition {
  const CLSID* classId;
  ComClassFactory create;
};

// Every class CoCreateInstance can make; the table ends with a null class id.
extern const ComClassDefinition kComClassTable[];

}  // namespace platform

// ==== Task memory and classes the program registers itself (used by the media framework) ====
// Task memory is the platform's allocator for blocks that one side allocates and the other frees
// (media types, pin ids). A program offers a class of its own to CoCreateInstance with
// CoRegisterClassObject; registered classes are found before the stand-in's own table, and a
// refused class stays refused.

// {00000000-0000-0000-0000-000000000000}
inline constexpr GUID GUID_NULL = {0x00000000, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 0}};
#define IID_NULL GUID_NULL

#define REGCLS_SINGLEUSE 0u
#define REGCLS_MULTIPLEUSE 1u

// {00000001-0000-0000-C000-000000000046}
inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct IClassFactory : IUnknown {
  virtual HRESULT CreateInstance(LPUNKNOWN outer, REFIID iid, void** object) = 0;
  virtual HRESULT LockServer(BOOL lock) = 0;
};

LPVOID CoTaskMemAlloc(SIZE_T bytes);
void CoTaskMemFree(LPVOID block);
// The registry holds one reference on the class object until CoRevokeClassObject.
HRESULT CoRegisterClassObject(REFCLSID classId, LPUNKNOWN classObject, DWORD context, DWORD flags, LPDWORD cookie);
HRESULT CoRevokeClassObject(DWORD cookie);
void CoFreeUnusedLibraries();
