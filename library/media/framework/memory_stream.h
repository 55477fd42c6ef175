// Byte streams: the random-access source the asynchronous read engine reads from, and its one
// implementation, a read-only view of memory that can be throttled to a delivery rate (bytes per
// millisecond since the stream was made), so that a slow source can be imitated.
//
// A reader locks the stream, sets the position and reads as one unit; SetPosition takes no lock of
// its own. The stream never owns its bytes: the creator keeps them alive and frees them after
// destroying the stream.
#pragma once

#include "media/framework/locks.h"
#include "platform/types.h"

class Z_CByteStream {
 public:
  Z_CByteStream() = default;
  virtual ~Z_CByteStream() = default;
  Z_CByteStream(const Z_CByteStream&) = delete;
  Z_CByteStream& operator=(const Z_CByteStream&) = delete;

  // S_OK, or S_FALSE (position unchanged) outside 0..length.
  virtual HRESULT SetPosition(LONGLONG position) = 0;
  virtual HRESULT ReadBytes(BYTE* buffer, LONG length, BOOL aligned, LONG* actual) = 0;
  // The total length; `available` (may be null) receives how much of it has arrived.
  virtual LONGLONG QuerySize(LONGLONG* available) = 0;
  virtual LONG QueryAlignment() = 0;
  virtual void LockStream() = 0;
  virtual void UnlockStream() = 0;
};

class Z_CMemStream final : public Z_CByteStream {
 public:
  // Null when the stream cannot be made, when the rate is 0 (nothing would ever arrive) or when
  // the length is negative.
  static Z_CMemStream* Create(const BYTE* data, DWORD lengthLow, DWORD lengthHigh, DWORD rate);
  // Null is allowed. The bytes are not touched.
  static void Destroy(Z_CMemStream* stream);

  HRESULT SetPosition(LONGLONG position) override;
  // Copies up to `length` bytes from the position; a throttled stream sleeps, holding its lock,
  // until those bytes are due. Always S_OK (0 bytes at the end or for a negative length).
  HRESULT ReadBytes(BYTE* buffer, LONG length, BOOL aligned, LONG* actual) override;
  LONGLONG QuerySize(LONGLONG* available) override;
  LONG QueryAlignment() override { return 1; }
  void LockStream() override { EnterCriticalSection(m_lock.Section()); }
  void UnlockStream() override { LeaveCriticalSection(m_lock.Section()); }

 private:
  Z_CMemStream(const BYTE* data, LONGLONG length, DWORD rate);
  ~Z_CMemStream() override = default;

  Z_CLockSection m_lock;
  const BYTE* m_data;
  LONGLONG m_length;
  LONGLONG m_position = 0;
  DWORD m_rate;
  DWORD m_startTime;
};
