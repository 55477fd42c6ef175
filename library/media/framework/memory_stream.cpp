// The memory stream: reads from a block of memory, paced by the delivery rate.
#include "media/framework/memory_stream.h"

#include <cstring>
#include <new>

#include "platform/winmm.h"

Z_CMemStream::Z_CMemStream(const BYTE* data, LONGLONG length, DWORD rate)
    : m_data(data), m_length(length), m_rate(rate), m_startTime(timeGetTime()) {}

Z_CMemStream* Z_CMemStream::Create(const BYTE* data, DWORD lengthLow, DWORD lengthHigh, DWORD rate) {
  const LONGLONG length = static_cast<LONGLONG>((static_cast<uint64_t>(lengthHigh) << 32) | lengthLow);
  if (rate == 0 || length < 0 || (!data && length > 0)) return nullptr;
  return new (std::nothrow) Z_CMemStream(data, length, rate);
}

void Z_CMemStream::Destroy(Z_CMemStream* stream) { delete stream; }

HRESULT Z_CMemStream::SetPosition(LONGLONG position) {
  if (position < 0 || position > m_length) return S_FALSE;
  m_position = position;
  return S_OK;
}

HRESULT Z_CMemStream::ReadBytes(BYTE* buffer, LONG length, BOOL, LONG* actual) {
  Z_CScopedLock lock(&m_lock);
  const DWORD now = timeGetTime();
  LONGLONG count = length < 0 ? 0 : length;
  if (m_position + count > m_length) count = m_length - m_position;

  // The bytes up to the end of this read are due this many milliseconds after the start.
  const DWORD due = static_cast<DWORD>(m_position + count) / m_rate;
  if (now - m_startTime < due) Sleep(m_startTime + due - now);

  if (count > 0) std::memcpy(buffer, m_data + m_position, static_cast<size_t>(count));
  m_position += count;
  if (actual) *actual = static_cast<LONG>(count);
  return S_OK;
}

LONGLONG Z_CMemStream::QuerySize(LONGLONG* available) {
  const DWORD elapsed = timeGetTime() - m_startTime;
  const uint64_t arrived = static_cast<uint64_t>(elapsed) * m_rate;
  if (available) *available = arrived < static_cast<uint64_t>(m_length) ? static_cast<LONGLONG>(arrived) : m_length;
  return m_length;
}
