// The file source and its file stream.
#include "media/filters/file_source.h"

#include <cstring>
#include <new>
#include <vector>

// ---- The file stream ----

Z_CFileStream::~Z_CFileStream() {
  if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
}

HRESULT Z_CFileStream::Open(const char* path) {
  Z_CScopedLock lock(&m_lock);
  if (m_file != INVALID_HANDLE_VALUE) return E_UNEXPECTED;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return ResultOfLastError();
  DWORD high = 0;
  const DWORD low = GetFileSize(file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != 0) {
    CloseHandle(file);
    return E_FAIL;
  }
  m_file = file;
  m_length = static_cast<LONGLONG>((static_cast<uint64_t>(high) << 32) | low);
  m_position = 0;
  return S_OK;
}

HRESULT Z_CFileStream::SetPosition(LONGLONG position) {
  if (position < 0 || position > m_length) return S_FALSE;
  m_position = position;
  return S_OK;
}

HRESULT Z_CFileStream::ReadBytes(BYTE* buffer, LONG length, BOOL, LONG* actual) {
  Z_CScopedLock lock(&m_lock);
  if (actual) *actual = 0;
  if (m_file == INVALID_HANDLE_VALUE) return E_UNEXPECTED;
  LONGLONG count = length < 0 ? 0 : length;
  if (m_position + count > m_length) count = m_length - m_position;
  LONG high = static_cast<LONG>(m_position >> 32);
  if (SetFilePointer(m_file, static_cast<LONG>(m_position & 0xFFFFFFFF), &high, FILE_BEGIN) ==
          INVALID_SET_FILE_POINTER &&
      GetLastError() != 0)
    return E_FAIL;
  DWORD read = 0;
  if (count > 0 && !ReadFile(m_file, buffer, static_cast<DWORD>(count), &read, nullptr)) return E_FAIL;
  m_position += read;
  if (actual) *actual = static_cast<LONG>(read);
  return S_OK;
}

LONGLONG Z_CFileStream::QuerySize(LONGLONG* available) {
  if (available) *available = m_length;
  return m_length;
}

// ---- The file source ----

Z_CFileSource::Z_CFileSource() : Z_CAsyncSource("File source", nullptr, &m_file, nullptr) {}

HRESULT Z_CFileSource::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* source = new (std::nothrow) Z_CFileSource;
  if (!source) return E_OUTOFMEMORY;
  const HRESULT result = source->InnerQueryInterface(iid, out);
  if (FAILED(result)) delete source;
  return result;
}

HRESULT Z_CFileSource::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IFileSourceFilter) return HandOutInterface(static_cast<IFileSourceFilter*>(this), out);
  return Z_CAsyncSource::InnerQueryInterface(iid, out);
}

HRESULT Z_CFileSource::Load(LPCWSTR fileName, const AM_MEDIA_TYPE* type) {
  if (!fileName) return E_POINTER;
  Z_CScopedLock lock(&m_filterLock);
  if (!m_fileName.empty()) return E_UNEXPECTED;
  const int bytes = WideCharToMultiByte(CP_ACP, 0, fileName, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return E_INVALIDARG;
  std::vector<char> path(static_cast<size_t>(bytes));
  WideCharToMultiByte(CP_ACP, 0, fileName, -1, path.data(), bytes, nullptr, nullptr);
  const HRESULT result = m_file.Open(path.data());
  if (FAILED(result)) return result;
  m_fileName = fileName;

  if (type) return m_offeredType.Assign(*type);
  BYTE head[3] = {};
  LONG actual = 0;
  m_file.LockStream();
  m_file.SetPosition(0);
  m_file.ReadBytes(head, 3, FALSE, &actual);
  m_file.UnlockStream();
  const bool mpegAudio = actual == 3 &&
                         (std::memcmp(head, "ID3", 3) == 0 || (head[0] == 0xFF && (head[1] & 0xE0) == 0xE0));
  m_offeredType.InitEmpty();
  m_offeredType.majortype = MEDIATYPE_Stream;
  m_offeredType.subtype = mpegAudio ? MEDIASUBTYPE_MPEG1Audio : GUID_NULL;
  return S_OK;
}

HRESULT Z_CFileSource::GetCurFile(LPWSTR* fileName, AM_MEDIA_TYPE* type) {
  if (!fileName) return E_POINTER;
  Z_CScopedLock lock(&m_filterLock);
  *fileName = nullptr;
  if (m_fileName.empty()) return E_FAIL;
  HRESULT result = CopyWideStringToTaskMemory(m_fileName.c_str(), fileName);
  if (SUCCEEDED(result) && type) result = CopyMediaTypeContents(type, &m_offeredType);
  return result;
}
