// OLE Automation-shaped part of the platform stand-in: the dispatch and type-information
// interfaces that a dual interface carries. The stand-in has no automation library: loading
// "OleAut32.dll" fails with ERROR_MOD_NOT_FOUND (126), so these are declarations only, for the
// entry points a program looks up by name.
#pragma once

#include "platform/com.h"

typedef DWORD LCID;
typedef LONG DISPID;
typedef DISPID MEMBERID;
typedef WCHAR* LPOLESTR;
typedef const WCHAR* LPCOLESTR;

#define DISP_E_UNKNOWNINTERFACE ((HRESULT)0x80020001)
#define TYPE_E_ELEMENTNOTFOUND ((HRESULT)0x8002802B)

// Argument records of a late-bound call; the stand-in never looks inside them.
struct VARIANT {
  WORD vt;
  WORD reserved[3];
  LONGLONG value;
};
struct DISPPARAMS {
  VARIANT* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};
struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  LPOLESTR bstrSource;
  LPOLESTR bstrDescription;
  LPOLESTR bstrHelpFile;
  DWORD dwHelpContext;
  void* pvReserved;
  void* pfnDeferredFillIn;
  HRESULT scode;
};

struct ITypeInfo : IUnknown {
  virtual HRESULT GetIDsOfNames(LPOLESTR* names, UINT nameCount, MEMBERID* ids) = 0;
  virtual HRESULT Invoke(void* instance, MEMBERID member, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                         EXCEPINFO* exception, UINT* argumentError) = 0;
};

struct ITypeLib : IUnknown {
  virtual HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) = 0;
};

struct IDispatch : IUnknown {
  virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
  virtual HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) = 0;
  virtual HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT nameCount, LCID locale, DISPID* ids) = 0;
  virtual HRESULT Invoke(DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                         EXCEPINFO* exception, UINT* argumentError) = 0;
};

// The automation library's entry points, as GetProcAddress would give them.
typedef HRESULT (*LoadRegTypeLibFunction)(REFGUID library, WORD major, WORD minor, LCID locale, ITypeLib** out);
typedef HRESULT (*LoadTypeLibFunction)(LPCOLESTR file, ITypeLib** out);
