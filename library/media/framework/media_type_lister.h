// IEnumMediaTypes over one pin's offered types. It keeps the pin (so its filter) alive, lives by
// its own count and takes no lock. A change of the pin's type revision makes it fail with
// VFW_E_ENUM_OUT_OF_SYNC until Reset.
#pragma once

#include "platform/com.h"
#include "platform/dshow.h"

class Z_CPinCore;

class Z_CMediaTypeLister final : public platform::ComObject<Z_CMediaTypeLister, IEnumMediaTypes> {
 public:
  static constexpr const IID* kInterfaceIds[] = {&IID_IEnumMediaTypes};
  // Created with one reference; a source lister gives its position and revision.
  Z_CMediaTypeLister(Z_CPinCore* pin, const Z_CMediaTypeLister* source);

  // Each handed-out type is the caller's, freed with DeleteMediaTypeBlock.
  HRESULT Next(ULONG wanted, AM_MEDIA_TYPE** types, ULONG* fetched) override;
  HRESULT Skip(ULONG count) override;
  HRESULT Reset() override;
  HRESULT Clone(IEnumMediaTypes** copy) override;

 private:
  LONG m_position = 0;
  Z_CPinCore* m_pin;
  LONG m_revision;

  friend class platform::ComObject<Z_CMediaTypeLister, IEnumMediaTypes>;  // Deletes it at the last Release.
  ~Z_CMediaTypeLister();
};
