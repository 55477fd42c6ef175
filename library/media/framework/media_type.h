// Media types: copying, cloning and freeing AM_MEDIA_TYPE records in COM task memory, and
// Z_CMediaTypeHolder, an owning AM_MEDIA_TYPE with comparison and wildcard matching.
#pragma once

#include "platform/dshow.h"

// Copies the record and gives the destination its own format block and attached-unknown reference.
// When the block cannot be allocated the destination has no format and no unknown: E_OUTOFMEMORY.
HRESULT CopyMediaTypeContents(AM_MEDIA_TYPE* destination, const AM_MEDIA_TYPE* source);
// A new task-memory record holding a deep copy, or null.
AM_MEDIA_TYPE* CloneMediaTypeBlock(const AM_MEDIA_TYPE* source);
// Frees the format block and releases the attached unknown; the record itself stays.
void FreeMediaTypeContents(AM_MEDIA_TYPE* type);
// Frees a task-memory record and everything it owns (null is allowed). Types handed out by
// media-type listers and by samples are disposed of this way.
void DeleteMediaTypeBlock(AM_MEDIA_TYPE* type);
// A task-memory copy of the string with its terminator, for the caller to free.
HRESULT CopyWideStringToTaskMemory(LPCWSTR text, LPWSTR* out);
// The empty type: all zero but fixed-size samples and a sample size of 1. Owns nothing.
void InitEmptyMediaType(AM_MEDIA_TYPE* type);

// The holder's comparisons for records that are not holders.
bool IsMediaTypePartiallySpecified(const AM_MEDIA_TYPE& type);
bool MediaTypeMatchesPartial(const AM_MEDIA_TYPE& type, const AM_MEDIA_TYPE& pattern);

// Exactly an AM_MEDIA_TYPE and nothing more, so its bytes can move into a record as they are.
class Z_CMediaTypeHolder : public AM_MEDIA_TYPE {
 public:
  Z_CMediaTypeHolder() { InitEmptyMediaType(this); }
  Z_CMediaTypeHolder(const Z_CMediaTypeHolder& other) : Z_CMediaTypeHolder() { Assign(other); }
  explicit Z_CMediaTypeHolder(const AM_MEDIA_TYPE& other) : Z_CMediaTypeHolder() { Assign(other); }
  ~Z_CMediaTypeHolder() { FreeMediaTypeContents(this); }
  Z_CMediaTypeHolder& operator=(const Z_CMediaTypeHolder& other) {
    Assign(other);
    return *this;
  }
  Z_CMediaTypeHolder& operator=(const AM_MEDIA_TYPE& other) {
    Assign(other);
    return *this;
  }

  // Frees what the holder owns and makes it the empty type.
  void InitEmpty();
  // A deep copy of the other type (nothing happens for the holder itself); E_OUTOFMEMORY when the
  // format block cannot be copied.
  HRESULT Assign(const AM_MEDIA_TYPE& other);
  void SetMajorType(REFGUID type) { majortype = type; }
  void SetSubtype(REFGUID type) { subtype = type; }

  // Major type, subtype, format type and format block; flags, sample size and the unknown do not count.
  bool Equals(const AM_MEDIA_TYPE& other) const;
  bool operator==(const AM_MEDIA_TYPE& other) const { return Equals(other); }
  bool operator!=(const AM_MEDIA_TYPE& other) const { return !Equals(other); }
  // Major type or format type left open (GUID_NULL); the subtype does not count.
  bool IsPartiallySpecified() const { return IsMediaTypePartiallySpecified(*this); }
  // This type against a pattern whose GUID_NULL fields match anything.
  bool MatchesPartial(const AM_MEDIA_TYPE& pattern) const { return MediaTypeMatchesPartial(*this, pattern); }
};

static_assert(sizeof(Z_CMediaTypeHolder) == sizeof(AM_MEDIA_TYPE), "a holder is exactly a media type");
