// The platform's file source (CLSID_FileSource): an asynchronous source over a plain file, loaded
// by name through IFileSourceFilter. It offers {MEDIATYPE_Stream, MEDIASUBTYPE_MPEG1Audio} when
// the file starts like MPEG audio (an ID3v2 head or a frame sync), else {MEDIATYPE_Stream, any}.
// Only plain files: members of the library's archives are not files to it.
#pragma once

#include <string>

#include "media/framework/async_source.h"

// A byte stream over an open file, read with positioned reads under its lock.
class Z_CFileStream final : public Z_CByteStream {
 public:
  Z_CFileStream() = default;
  ~Z_CFileStream() override;

  HRESULT Open(const char* path);
  HRESULT SetPosition(LONGLONG position) override;
  HRESULT ReadBytes(BYTE* buffer, LONG length, BOOL aligned, LONG* actual) override;
  LONGLONG QuerySize(LONGLONG* available) override;
  LONG QueryAlignment() override { return 1; }
  void LockStream() override { EnterCriticalSection(m_lock.Section()); }
  void UnlockStream() override { LeaveCriticalSection(m_lock.Section()); }

 private:
  Z_CLockSection m_lock;
  HANDLE m_file = INVALID_HANDLE_VALUE;
  LONGLONG m_length = 0;
  LONGLONG m_position = 0;
};

class Z_CFileSource final : public Z_CAsyncSource, public IFileSourceFilter {
 public:
  Z_CFileSource();
  static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out);

  Z_FORWARD_IUNKNOWN_TO_OUTER
  HRESULT InnerQueryInterface(REFIID iid, void** out) override;
  // Once only; the file's name is in the platform's code page.
  HRESULT Load(LPCWSTR fileName, const AM_MEDIA_TYPE* type) override;
  HRESULT GetCurFile(LPWSTR* fileName, AM_MEDIA_TYPE* type) override;

 private:
  Z_CFileStream m_file;
  std::u16string m_fileName;
};
