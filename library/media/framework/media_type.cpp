// AM_MEDIA_TYPE copies in task memory and the media-type holder's comparisons.
#include "media/framework/media_type.h"

#include <cstring>

#include "platform/kernel.h"

namespace {

bool SameFormatBlock(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b) {
  if (a.formattype != b.formattype || a.cbFormat != b.cbFormat) return false;
  if (a.cbFormat == 0) return true;
  if (!a.pbFormat || !b.pbFormat) return a.pbFormat == b.pbFormat;
  return std::memcmp(a.pbFormat, b.pbFormat, a.cbFormat) == 0;
}

}  // namespace

HRESULT CopyMediaTypeContents(AM_MEDIA_TYPE* destination, const AM_MEDIA_TYPE* source) {
  *destination = *source;
  if (source->cbFormat != 0) {
    destination->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat));
    if (!destination->pbFormat) {
      destination->cbFormat = 0;
      destination->pUnk = nullptr;
      return E_OUTOFMEMORY;
    }
    // A size without a block (a malformed type from outside) copies as zeros.
    if (source->pbFormat)
      std::memcpy(destination->pbFormat, source->pbFormat, source->cbFormat);
    else
      std::memset(destination->pbFormat, 0, source->cbFormat);
  } else {
    destination->pbFormat = nullptr;
  }
  if (destination->pUnk) destination->pUnk->AddRef();
  return S_OK;
}

AM_MEDIA_TYPE* CloneMediaTypeBlock(const AM_MEDIA_TYPE* source) {
  auto* block = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (!block) return nullptr;
  if (FAILED(CopyMediaTypeContents(block, source))) {
    CoTaskMemFree(block);
    return nullptr;
  }
  return block;
}

void FreeMediaTypeContents(AM_MEDIA_TYPE* type) {
  if (type->cbFormat != 0) {
    CoTaskMemFree(type->pbFormat);
    type->cbFormat = 0;
    type->pbFormat = nullptr;
  }
  if (type->pUnk) {
    type->pUnk->Release();
    type->pUnk = nullptr;
  }
}

void DeleteMediaTypeBlock(AM_MEDIA_TYPE* type) {
  if (!type) return;
  FreeMediaTypeContents(type);
  CoTaskMemFree(type);
}

HRESULT CopyWideStringToTaskMemory(LPCWSTR text, LPWSTR* out) {
  if (!out) return E_POINTER;
  const int length = lstrlenW(text);
  *out = static_cast<LPWSTR>(CoTaskMemAlloc((static_cast<SIZE_T>(length) + 1) * sizeof(WCHAR)));
  if (!*out) return E_OUTOFMEMORY;
  if (length) std::memcpy(*out, text, static_cast<SIZE_T>(length) * sizeof(WCHAR));
  (*out)[length] = 0;
  return S_OK;
}

void InitEmptyMediaType(AM_MEDIA_TYPE* type) {
  std::memset(static_cast<void*>(type), 0, sizeof(AM_MEDIA_TYPE));
  type->bFixedSizeSamples = TRUE;
  type->lSampleSize = 1;
}

void Z_CMediaTypeHolder::InitEmpty() {
  FreeMediaTypeContents(this);
  InitEmptyMediaType(this);
}

HRESULT Z_CMediaTypeHolder::Assign(const AM_MEDIA_TYPE& other) {
  if (&other == static_cast<const AM_MEDIA_TYPE*>(this)) return S_OK;
  FreeMediaTypeContents(this);
  return FAILED(CopyMediaTypeContents(this, &other)) ? E_OUTOFMEMORY : S_OK;
}

bool Z_CMediaTypeHolder::Equals(const AM_MEDIA_TYPE& other) const {
  return majortype == other.majortype && subtype == other.subtype && SameFormatBlock(*this, other);
}

bool IsMediaTypePartiallySpecified(const AM_MEDIA_TYPE& type) {
  return type.majortype == GUID_NULL || type.formattype == GUID_NULL;
}

bool MediaTypeMatchesPartial(const AM_MEDIA_TYPE& type, const AM_MEDIA_TYPE& pattern) {
  if (pattern.majortype != GUID_NULL && type.majortype != pattern.majortype) return false;
  if (pattern.subtype != GUID_NULL && type.subtype != pattern.subtype) return false;
  if (pattern.formattype == GUID_NULL) return true;
  return SameFormatBlock(type, pattern);
}
