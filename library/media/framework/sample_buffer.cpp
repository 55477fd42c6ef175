// The media sample's accessors, its properties record and its return to the pool.
//
// The properties record is read and written in prefixes: a field takes part when the given size
// reaches its end in this machine's record, so callers that know fewer fields are still served.
#include "media/framework/sample_buffer.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "media/framework/inner_unknown.h"
#include "media/framework/media_type.h"
#include "media/framework/sample_pool.h"

namespace {

template <typename Field>
constexpr DWORD EndOf(size_t offset) {
  return static_cast<DWORD>(offset + sizeof(Field));
}

constexpr DWORD kTypeSpecificFlagsEnd = EndOf<DWORD>(offsetof(AM_SAMPLE2_PROPERTIES, dwTypeSpecificFlags));
constexpr DWORD kSampleFlagsEnd = EndOf<DWORD>(offsetof(AM_SAMPLE2_PROPERTIES, dwSampleFlags));
constexpr DWORD kActualEnd = EndOf<LONG>(offsetof(AM_SAMPLE2_PROPERTIES, lActual));
constexpr DWORD kStartEnd = EndOf<REFERENCE_TIME>(offsetof(AM_SAMPLE2_PROPERTIES, tStart));
constexpr DWORD kStopEnd = EndOf<REFERENCE_TIME>(offsetof(AM_SAMPLE2_PROPERTIES, tStop));
constexpr DWORD kStreamIdEnd = EndOf<DWORD>(offsetof(AM_SAMPLE2_PROPERTIES, dwStreamId));
constexpr DWORD kMediaTypeEnd = EndOf<AM_MEDIA_TYPE*>(offsetof(AM_SAMPLE2_PROPERTIES, pMediaType));
constexpr DWORD kBufferEnd = EndOf<BYTE*>(offsetof(AM_SAMPLE2_PROPERTIES, pbBuffer));
constexpr DWORD kBufferSizeEnd = EndOf<LONG>(offsetof(AM_SAMPLE2_PROPERTIES, cbBuffer));
constexpr DWORD kRecordSize = sizeof(AM_SAMPLE2_PROPERTIES);
constexpr DWORD kSizeFieldEnd = EndOf<DWORD>(offsetof(AM_SAMPLE2_PROPERTIES, cbData));

// Every flag a caller may set through SetProperties: all up to AM_SAMPLE_STOPVALID but the
// sample's own media-time bit.
constexpr DWORD kSettableFlags = 0x1DF;

// Times are stamps, not quantities: sums wrap at 64 bits rather than overflow.
LONGLONG WrappingAdd(LONGLONG a, LONGLONG b) {
  return static_cast<LONGLONG>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}

}  // namespace

Z_CSampleBuffer::Z_CSampleBuffer(const char*, Z_CSamplePool* pool, HRESULT*, BYTE* buffer, LONG size)
    : m_buffer(buffer), m_actualLength(size), m_bufferSize(size), m_pool(pool) {}

Z_CSampleBuffer::~Z_CSampleBuffer() { DeleteMediaTypeBlock(m_mediaType); }

HRESULT Z_CSampleBuffer::QueryInterface(REFIID iid, void** out) {
  if (iid == IID_IMediaSample || iid == IID_IMediaSample2 || iid == IID_IUnknown)
    return Z_CInnerUnknown::HandOutInterface(static_cast<IMediaSample2*>(this), out);
  if (out) *out = nullptr;
  return E_NOINTERFACE;
}

ULONG Z_CSampleBuffer::AddRef() { return static_cast<ULONG>(++m_referenceCount); }

ULONG Z_CSampleBuffer::Release() {
  const LONG count = --m_referenceCount;
  if (count != 0) return static_cast<ULONG>(count);
  if (m_flags & AM_SAMPLE_TYPECHANGED) SetMediaType(nullptr);
  // Times, media times and the data length stay for the next user to overwrite.
  m_flags = 0;
  m_typeSpecificFlags = 0;
  m_streamId = 0;
  m_pool->ReleaseBuffer(this);
  return 0;
}

HRESULT Z_CSampleBuffer::GetPointer(BYTE** buffer) {
  if (!buffer) return E_POINTER;
  *buffer = m_buffer;
  return S_OK;
}

LONG Z_CSampleBuffer::GetSize() { return m_bufferSize; }

HRESULT Z_CSampleBuffer::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) {
  if (!start || !end) return E_POINTER;
  if (m_flags & AM_SAMPLE_STOPVALID) {
    *start = m_start;
    *end = m_end;
    return S_OK;
  }
  if (!(m_flags & AM_SAMPLE_TIMEVALID)) return VFW_E_SAMPLE_TIME_NOT_SET;
  *start = m_start;
  *end = WrappingAdd(m_start, 1);
  return VFW_S_NO_STOP_TIME;
}

HRESULT Z_CSampleBuffer::SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) {
  if (!start) {
    m_flags &= ~(AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID);
  } else if (!end) {
    m_start = *start;
    m_flags = (m_flags | AM_SAMPLE_TIMEVALID) & ~AM_SAMPLE_STOPVALID;
  } else {
    m_start = *start;
    m_end = *end;
    m_flags |= AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID;
  }
  return S_OK;
}

static HRESULT FlagResult(DWORD flags, DWORD flag) { return (flags & flag) ? S_OK : S_FALSE; }

static void ChangeFlag(DWORD& flags, DWORD flag, BOOL on) {
  if (on)
    flags |= flag;
  else
    flags &= ~flag;
}

HRESULT Z_CSampleBuffer::IsSyncPoint() { return FlagResult(m_flags, AM_SAMPLE_SPLICEPOINT); }

HRESULT Z_CSampleBuffer::SetSyncPoint(BOOL syncPoint) {
  ChangeFlag(m_flags, AM_SAMPLE_SPLICEPOINT, syncPoint);
  return S_OK;
}

HRESULT Z_CSampleBuffer::IsPreroll() { return FlagResult(m_flags, AM_SAMPLE_PREROLL); }

HRESULT Z_CSampleBuffer::SetPreroll(BOOL preroll) {
  ChangeFlag(m_flags, AM_SAMPLE_PREROLL, preroll);
  return S_OK;
}

HRESULT Z_CSampleBuffer::IsDiscontinuity() { return FlagResult(m_flags, AM_SAMPLE_DATADISCONTINUITY); }

HRESULT Z_CSampleBuffer::SetDiscontinuity(BOOL discontinuity) {
  ChangeFlag(m_flags, AM_SAMPLE_DATADISCONTINUITY, discontinuity);
  return S_OK;
}

LONG Z_CSampleBuffer::GetActualDataLength() { return m_actualLength; }

HRESULT Z_CSampleBuffer::SetActualDataLength(LONG length) {
  if (length > m_bufferSize) return VFW_E_BUFFER_OVERFLOW;
  m_actualLength = length;
  return S_OK;
}

HRESULT Z_CSampleBuffer::GetMediaType(AM_MEDIA_TYPE** type) {
  if (!type) return E_POINTER;
  if (!(m_flags & AM_SAMPLE_TYPECHANGED)) {
    *type = nullptr;
    return S_FALSE;
  }
  *type = CloneMediaTypeBlock(m_mediaType);
  return *type ? S_OK : E_OUTOFMEMORY;
}

HRESULT Z_CSampleBuffer::SetMediaType(AM_MEDIA_TYPE* type) {
  DeleteMediaTypeBlock(m_mediaType);
  m_mediaType = nullptr;
  if (!type) {
    m_flags &= ~AM_SAMPLE_TYPECHANGED;
    return S_OK;
  }
  m_mediaType = CloneMediaTypeBlock(type);
  if (!m_mediaType) {
    m_flags &= ~AM_SAMPLE_TYPECHANGED;
    return E_OUTOFMEMORY;
  }
  m_flags |= AM_SAMPLE_TYPECHANGED;
  return S_OK;
}

HRESULT Z_CSampleBuffer::GetMediaTime(LONGLONG* start, LONGLONG* end) {
  if (!(m_flags & kMediaTimeValid)) return VFW_E_MEDIA_TIME_NOT_SET;
  if (!start || !end) return E_POINTER;
  *start = m_mediaStart;
  *end = WrappingAdd(m_mediaStart, m_mediaEndDifference);
  return S_OK;
}

HRESULT Z_CSampleBuffer::SetMediaTime(LONGLONG* start, LONGLONG* end) {
  if (!start) {
    m_flags &= ~kMediaTimeValid;
    return S_OK;
  }
  if (!end) return E_POINTER;
  m_mediaStart = *start;
  m_mediaEndDifference = static_cast<LONG>(static_cast<uint32_t>(*end) - static_cast<uint32_t>(*start));
  m_flags |= kMediaTimeValid;
  return S_OK;
}

HRESULT Z_CSampleBuffer::GetProperties(DWORD size, BYTE* properties) {
  if (size == 0) return S_OK;
  if (!properties) return E_POINTER;
  const DWORD count = std::min(size, kRecordSize);
  AM_SAMPLE2_PROPERTIES record{};
  record.cbData = count;
  record.dwTypeSpecificFlags = m_typeSpecificFlags;
  record.dwSampleFlags = m_flags & ~kMediaTimeValid;
  record.lActual = m_actualLength;
  record.tStart = m_start;
  record.tStop = m_end;
  record.dwStreamId = m_streamId;
  record.pMediaType = (m_flags & AM_SAMPLE_TYPECHANGED) ? m_mediaType : nullptr;
  record.pbBuffer = m_buffer;
  record.cbBuffer = m_bufferSize;
  std::memcpy(properties, &record, count);
  return S_OK;
}

HRESULT Z_CSampleBuffer::SetProperties(DWORD size, const BYTE* properties) {
  if (size < kSizeFieldEnd) return S_OK;
  if (!properties) return E_POINTER;
  // Only the bytes the caller gave are read; the rest of the record stays zero.
  AM_SAMPLE2_PROPERTIES record{};
  std::memcpy(&record, properties, std::min(size, kRecordSize));
  const DWORD count = std::min(size, record.cbData);
  if (count > kRecordSize || record.cbData > kRecordSize) return E_INVALIDARG;

  if (count >= kSampleFlagsEnd) {
    if (record.dwSampleFlags & ~kSettableFlags) return E_INVALIDARG;
    if ((record.dwSampleFlags & AM_SAMPLE_TIMEVALID) && !(m_flags & AM_SAMPLE_TIMEVALID) && count < kStopEnd)
      return E_INVALIDARG;
  }
  // Short records reach the data length without the buffer size: it is held to the buffer all
  // the same, so no sample ever claims more data than it holds.
  if (count >= kActualEnd && record.lActual > m_bufferSize) return E_INVALIDARG;
  if (count >= kBufferEnd && record.pbBuffer && record.pbBuffer != m_buffer) return E_INVALIDARG;
  if (count >= kBufferSizeEnd &&
      ((record.cbBuffer != 0 && record.cbBuffer != m_bufferSize) || record.cbBuffer < record.lActual))
    return E_INVALIDARG;

  AM_MEDIA_TYPE* newType = nullptr;
  const bool takesType = count >= kMediaTypeEnd && (record.dwSampleFlags & AM_SAMPLE_TYPECHANGED);
  if (takesType) {
    if (!record.pMediaType) return E_POINTER;
    newType = CloneMediaTypeBlock(record.pMediaType);
    if (!newType) return E_OUTOFMEMORY;
  }

  if (count >= kStreamIdEnd) m_streamId = record.dwStreamId;
  if (count >= kSampleFlagsEnd) {
    m_flags = record.dwSampleFlags | (m_flags & kMediaTimeValid);
    m_typeSpecificFlags = record.dwTypeSpecificFlags;
  } else if (count >= kTypeSpecificFlagsEnd) {
    m_typeSpecificFlags = record.dwTypeSpecificFlags;
  }
  if (count >= kActualEnd) m_actualLength = record.lActual;
  if (count >= kStopEnd) m_end = record.tStop;
  if (count >= kStartEnd) m_start = record.tStart;
  if (takesType) {
    DeleteMediaTypeBlock(m_mediaType);
    m_mediaType = newType;
  }
  // The flag follows the type the sample holds, whatever the record said.
  if (m_mediaType)
    m_flags |= AM_SAMPLE_TYPECHANGED;
  else
    m_flags &= ~AM_SAMPLE_TYPECHANGED;
  return S_OK;
}
