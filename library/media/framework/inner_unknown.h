// The reference-counted, aggregatable unknown on which every framework COM object is built.
//
// The object's own IUnknown (the inner unknown) is a sub-object that calls InnerQueryInterface,
// InnerAddRef and InnerRelease. Every interface the object exposes forwards its three IUnknown
// methods to the outer unknown: the owner's when the object is aggregated, else the object's own
// inner unknown, so an aggregated object shares its owner's identity and count.
#pragma once

#include <atomic>

#include "media/framework/named_object.h"
#include "platform/com.h"

class Z_CInnerUnknown : public Z_CNamedObject {
 public:
  Z_CInnerUnknown(const char* name, IUnknown* outer);
  virtual ~Z_CInnerUnknown();

  // IUnknown answers with the inner unknown; any other interface is refused.
  virtual HRESULT InnerQueryInterface(REFIID iid, void** out);
  virtual ULONG InnerAddRef();
  // Deletes the object when the count comes back to 0; the count reads 1 during destruction.
  virtual ULONG InnerRelease();

  IUnknown* InnerUnknown() { return &m_innerUnknown; }
  IUnknown* OuterUnknown() const { return m_outer; }

  // Writes the pointer to out with one reference added; E_POINTER for a null out.
  static HRESULT HandOutInterface(IUnknown* pointer, void** out);

 protected:
  HRESULT ForwardQueryInterface(REFIID iid, void** out) { return m_outer->QueryInterface(iid, out); }
  ULONG ForwardAddRef() { return m_outer->AddRef(); }
  ULONG ForwardRelease() { return m_outer->Release(); }

  std::atomic<LONG> m_referenceCount{0};

 private:
  class InnerUnknownInterface final : public IUnknown {
   public:
    explicit InnerUnknownInterface(Z_CInnerUnknown& object) : m_object(object) {}
    HRESULT QueryInterface(REFIID iid, void** out) override { return m_object.InnerQueryInterface(iid, out); }
    ULONG AddRef() override { return m_object.InnerAddRef(); }
    ULONG Release() override { return m_object.InnerRelease(); }

   private:
    Z_CInnerUnknown& m_object;
  };

  InnerUnknownInterface m_innerUnknown;
  IUnknown* m_outer;
};

// The three IUnknown methods of every interface a framework class exposes: forwarded to the outer
// unknown. A class that adds interfaces to its base's repeats this, so the new ones forward too.
#define Z_FORWARD_IUNKNOWN_TO_OUTER                                                                   \
  HRESULT QueryInterface(REFIID iid, void** out) override { return ForwardQueryInterface(iid, out); } \
  ULONG AddRef() override { return ForwardAddRef(); }                                                 \
  ULONG Release() override { return ForwardRelease(); }
