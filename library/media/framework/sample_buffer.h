// The framework's media sample: one buffer of stream data (a slice of its pool's block) with its
// time stamps, flags and optional media type. Only sample pools make samples; the last Release
// hands the sample back to its pool, which alone deletes it.
//
// The reference count is the only field changed with atomic operations: whoever holds the sample
// uses the rest without a lock.
#pragma once

#include <atomic>

#include "platform/dshow.h"

class Z_CSamplePool;

class Z_CSampleBuffer : public IMediaSample2 {
 public:
  // The name and the result are not used: nothing here can fail.
  Z_CSampleBuffer(const char* name, Z_CSamplePool* pool, HRESULT* result, BYTE* buffer, LONG size);
  virtual ~Z_CSampleBuffer();
  Z_CSampleBuffer(const Z_CSampleBuffer&) = delete;
  Z_CSampleBuffer& operator=(const Z_CSampleBuffer&) = delete;

  HRESULT QueryInterface(REFIID iid, void** out) override;
  ULONG AddRef() override;
  ULONG Release() override;

  HRESULT GetPointer(BYTE** buffer) override;
  LONG GetSize() override;
  HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
  HRESULT SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
  HRESULT IsSyncPoint() override;
  HRESULT SetSyncPoint(BOOL syncPoint) override;
  HRESULT IsPreroll() override;
  HRESULT SetPreroll(BOOL preroll) override;
  LONG GetActualDataLength() override;
  HRESULT SetActualDataLength(LONG length) override;
  // The type handed out is the caller's copy, freed with DeleteMediaTypeBlock.
  HRESULT GetMediaType(AM_MEDIA_TYPE** type) override;
  HRESULT SetMediaType(AM_MEDIA_TYPE* type) override;
  HRESULT IsDiscontinuity() override;
  HRESULT SetDiscontinuity(BOOL discontinuity) override;
  HRESULT GetMediaTime(LONGLONG* start, LONGLONG* end) override;
  HRESULT SetMediaTime(LONGLONG* start, LONGLONG* end) override;
  // The first `size` bytes of the properties record (at most the whole record).
  HRESULT GetProperties(DWORD size, BYTE* properties) override;
  HRESULT SetProperties(DWORD size, const BYTE* properties) override;

  // The pool's view.
  void SetReferenceCount(LONG count) { m_referenceCount.store(count, std::memory_order_release); }
  Z_CSampleBuffer* m_next = nullptr;  // Link in the pool's free list.

 private:
  // The media times are valid: the sample's own bit, never reported outward.
  static constexpr DWORD kMediaTimeValid = 0x20;

  DWORD m_flags = 0;
  DWORD m_typeSpecificFlags = 0;
  BYTE* m_buffer;
  LONG m_actualLength;
  LONG m_bufferSize;
  Z_CSamplePool* m_pool;
  REFERENCE_TIME m_start;
  REFERENCE_TIME m_end;
  LONGLONG m_mediaStart;
  LONG m_mediaEndDifference;             // Media end minus media start, low 32 bits.
  AM_MEDIA_TYPE* m_mediaType = nullptr;  // Owned task-memory copy.
  DWORD m_streamId = 0;
  std::atomic<LONG> m_referenceCount{0};
};
