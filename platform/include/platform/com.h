// COM-shaped part of the platform stand-in (ole32): the IUnknown base and object creation.
#pragma once

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
