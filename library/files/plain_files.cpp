// The plain-file set: Windows files read directly, or through a worker thread of their own with
// an optional 128 KB read-ahead cache, plus the current directory and find-file operations.
//
// Positions and sizes are 32-bit: files of 2 GB or more do not open.
#include <cstring>

#include "files/file_functions.h"

namespace {

HANDLE OpenForReading(const char* path, DWORD shareMode) {
  return CreateFileA(path, GENERIC_READ, shareMode, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The record's own worker: runs one command per request, and tops up the read-ahead cache
// whenever it has been idle for 100 ms.
DWORD PlainFileWorker(LPVOID parameter) {
  auto* record = static_cast<PlainFileRecord*>(parameter);
  for (;;) {
    DWORD wait = WaitForSingleObject(record->requestEvent, record->cache ? 100 : INFINITE);
    if (wait == WAIT_TIMEOUT) {
      if (record->workerFile && record->cacheLength < kPlainFileCacheSize) {
        SetFilePointer(record->workerFile, record->cacheStart + record->cacheLength, nullptr, FILE_BEGIN);
        DWORD got = 0;
        ReadFile(record->workerFile, record->cache + record->cacheLength,
                 static_cast<DWORD>(kPlainFileCacheSize - record->cacheLength), &got, nullptr);
        record->cacheLength += static_cast<int>(got);
      }
      continue;
    }
    if (wait != WAIT_OBJECT_0) continue;
    ResetEvent(record->requestEvent);
    ResetEvent(record->doneEvent);
    switch (record->command) {
      case kWorkerOpen:
        record->workerFile = OpenForReading(record->path, 0);
        if (record->workerFile == INVALID_HANDLE_VALUE) {
          record->workerFile = nullptr;
          record->openFailed = 1;
          record->threadEnded = 1;
          SetEvent(record->doneEvent);
          return 1;
        }
        break;
      case kWorkerCloseHandle:
        CloseHandle(record->workerFile);
        record->workerFile = nullptr;
        break;
      case kWorkerRead: {
        int done = 0;
        if (record->cache && record->cacheStart == record->readPosition && record->cacheLength != 0) {
          int n = record->readLength < record->cacheLength ? record->readLength : record->cacheLength;
          std::memcpy(record->readDestination, record->cache, static_cast<size_t>(n));
          record->readDestination += n;
          record->readPosition += n;
          record->cacheStart += n;
          record->readLength -= n;
          record->cacheLength -= n;
          if (record->cacheLength > 0)
            std::memmove(record->cache, record->cache + n, static_cast<size_t>(record->cacheLength));
          done = n;
        }
        if (record->readLength > 0) {
          DWORD got = 0;
          SetFilePointer(record->workerFile, record->readPosition, nullptr, FILE_BEGIN);
          ReadFile(record->workerFile, record->readDestination, static_cast<DWORD>(record->readLength), &got, nullptr);
          record->readLength = static_cast<int>(got);
          done += static_cast<int>(got);
          if (record->cache) {
            record->cacheLength = 0;
            record->cacheStart = record->readPosition + static_cast<int>(got);
          }
        }
        record->readDone = done;
        break;
      }
      case kWorkerSeek:
        SetFilePointer(record->workerFile, record->seekTarget, nullptr, FILE_BEGIN);
        if (record->cache) {
          record->cacheLength = 0;
          record->cacheStart = record->seekTarget;
        }
        break;
      case kWorkerExit:
        if (record->workerFile) CloseHandle(record->workerFile);
        record->workerFile = nullptr;
        record->threadEnded = 1;
        SetEvent(record->doneEvent);
        return 1;
      default:
        break;
    }
    SetEvent(record->doneEvent);
  }
}

// Hands the worker its next command once the previous one has finished; the caller fills the
// command's parameters in `prepare`, between those two moments.
template <typename Prepare>
void IssueWorkerCommand(PlainFileRecord* record, int command, Prepare prepare) {
  WaitForSingleObject(record->doneEvent, INFINITE);
  record->command = command;
  prepare();
  ResetEvent(record->doneEvent);
  SetEvent(record->requestEvent);
}

void EndWorker(PlainFileRecord* record) {
  WaitForSingleObject(record->thread, INFINITE);
  CloseHandle(record->thread);
  CloseHandle(record->requestEvent);
  CloseHandle(record->doneEvent);
  ZV_FREE(record->cache);
}

void FillFileFindData(const WIN32_FIND_DATAA& data, FileFindData* out) {
  std::memset(out, 0, sizeof(*out));
  std::memcpy(out->name, data.cFileName, sizeof(out->name));
  out->name[sizeof(out->name) - 1] = 0;
  out->isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
  out->sizeLow = data.nFileSizeLow;
  out->sizeHigh = data.nFileSizeHigh;
  ConvertFileTimeToDateData(&data.ftCreationTime, &out->creation);
  ConvertFileTimeToDateData(&data.ftLastWriteTime, &out->lastWrite);
}

}  // namespace

void ConvertFileTimeToDateData(const FILETIME* time, FileDateData* out) {
  FILETIME local;
  SYSTEMTIME system;
  if (!FileTimeToLocalFileTime(time, &local) || !FileTimeToSystemTime(&local, &system)) {
    std::memset(out, 0, sizeof(*out));
    return;
  }
  out->year = system.wYear;
  out->month = system.wMonth;
  out->day = system.wDay;
  out->hour = system.wHour;
  out->minute = system.wMinute;
  out->second = system.wSecond;
}

StreamHandle PlainFileOpen(const char* path, int useCache, int, int asynchronous) {
  FileLayerGuard guard(FileLayerLock());
  // The worker gets its own copy of the path, which must fit its record.
  if (!path || ((useCache || asynchronous) && std::strlen(path) >= MAX_PATH)) return 0;
  auto* record = static_cast<PlainFileRecord*>(ZV_ALLOC_ZEROED(sizeof(PlainFileRecord)));
  if (!record) return 0;
  record->useCache = useCache;
  record->asynchronous = asynchronous;
  record->threaded = (useCache || asynchronous) ? 1 : 0;

  HANDLE file = OpenForReading(path, FILE_SHARE_READ);
  if (file == INVALID_HANDLE_VALUE) {
    ZV_FREE(record);
    return 0;
  }
  DWORD sizeHigh = 0;
  DWORD size = GetFileSize(file, &sizeHigh);
  if (size == INVALID_FILE_SIZE || sizeHigh != 0 || size > 0x7FFFFFFFu) {
    CloseHandle(file);
    ZV_FREE(record);
    return 0;
  }
  record->size = static_cast<int>(size);
  if (!record->threaded) {
    record->file = file;
    return reinterpret_cast<StreamHandle>(record);
  }
  CloseHandle(file);  // The worker opens the file itself.

  if (useCache) {
    record->cache = static_cast<unsigned char*>(ZV_ALLOC(kPlainFileCacheSize));
    if (!record->cache) {
      ZV_FREE(record);
      AddLogText("ファイル読み込みキャッシュ用メモリの確保に失敗しました\n");
      return 0;
    }
  }
  record->requestEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  record->doneEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  if (record->requestEvent && record->doneEvent)
    record->thread = CreateThread(nullptr, 0, PlainFileWorker, record, 0, &record->threadId);
  if (!record->thread) {
    ZV_FREE(record->cache);
    if (record->requestEvent) CloseHandle(record->requestEvent);
    if (record->doneEvent) CloseHandle(record->doneEvent);
    ZV_FREE(record);
    AddLogText("ファイルアクセス専用スレッドの作成に失敗しました\n");
    return 0;
  }
  IssueWorkerCommand(record, kWorkerOpen, [&] { std::strcpy(record->path, path); });
  WaitForSingleObject(record->doneEvent, INFINITE);
  if (record->openFailed) {
    EndWorker(record);
    ZV_FREE(record);
    AddLogText("ファイルのオープンに失敗しました\n");
    return 0;
  }
  return reinterpret_cast<StreamHandle>(record);
}

int PlainFileClose(StreamHandle stream) {
  FileLayerGuard guard(FileLayerLock());
  PlainFileRecord* record = PlainFileRecordOf(stream);
  if (!record->threaded) {
    BOOL closed = CloseHandle(record->file);
    ZV_FREE(record);
    return closed ? 0 : -1;
  }
  IssueWorkerCommand(record, kWorkerExit, [] {});
  WaitForSingleObject(record->doneEvent, INFINITE);
  EndWorker(record);
  ZV_FREE(record);
  return 0;
}

int PlainFileTell(StreamHandle stream) {
  FileLayerGuard guard(FileLayerLock());
  return PlainFileRecordOf(stream)->position;
}

int PlainFileSeek(StreamHandle stream, int offset, int origin) {
  FileLayerGuard guard(FileLayerLock());
  PlainFileRecord* record = PlainFileRecordOf(stream);
  int64_t target = offset;
  if (origin == STREAM_SEEK_CURRENT) target += record->position;
  if (origin == STREAM_SEEK_END) target += record->size;
  // Beyond the size is allowed (reads there find the end); before the start, or beyond what a
  // 32-bit position holds, is not.
  if (target < 0 || target > 0x7FFFFFFF) return -1;
  if (record->threaded) {
    IssueWorkerCommand(record, kWorkerSeek, [&] { record->seekTarget = static_cast<int>(target); });
  } else if (SetFilePointer(record->file, static_cast<LONG>(target), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
    return -1;
  }
  record->position = static_cast<int>(target);
  record->eof = 0;
  return 0;
}

int PlainFileRead(void* buffer, int itemSize, int count, StreamHandle stream) {
  FileLayerGuard guard(FileLayerLock());
  PlainFileRecord* record = PlainFileRecordOf(stream);
  if (itemSize <= 0 || count <= 0) return 0;
  // A position at or past the end (a seek may go there) reads nothing.
  if (record->position >= record->size) {
    record->eof = 1;
    return 0;
  }
  const int remaining = record->size - record->position;
  if (static_cast<int64_t>(itemSize) * count > remaining) {
    count = remaining / itemSize;  // A trailing partial item is never read.
    if (count == 0) {
      record->eof = 1;
      return 0;
    }
  }
  const int length = itemSize * count;
  int got = 0;
  if (record->threaded) {
    IssueWorkerCommand(record, kWorkerRead, [&] {
      record->readDestination = static_cast<unsigned char*>(buffer);
      record->readPosition = record->position;
      record->readLength = length;
      record->readDone = 0;
    });
    if (record->asynchronous) {
      // The data arrives later; the count is what was asked for.
      record->position += length;
      return count;
    }
    WaitForSingleObject(record->doneEvent, INFINITE);
    got = record->readDone;
  } else {
    DWORD read = 0;
    if (!ReadFile(record->file, buffer, static_cast<DWORD>(length), &read, nullptr)) return 0;
    got = static_cast<int>(read);
  }
  record->position += got;
  return got / itemSize;
}

int PlainFileEof(StreamHandle stream) {
  FileLayerGuard guard(FileLayerLock());
  return PlainFileRecordOf(stream)->eof ? -1 : 0;
}

int PlainFileIdleWait(StreamHandle stream) {
  FileLayerGuard guard(FileLayerLock());
  PlainFileRecord* record = PlainFileRecordOf(stream);
  if (!record->threaded) return 1;
  return WaitForSingleObject(record->doneEvent, 0) == WAIT_OBJECT_0 ? 1 : 0;
}

int PlainFileSetDir(const char* path) {
  FileLayerGuard guard(FileLayerLock());
  return SetCurrentDirectoryA(path);
}

int PlainFileGetDir(char* buffer) {
  FileLayerGuard guard(FileLayerLock());
  return static_cast<int>(GetCurrentDirectoryA(MAX_PATH, buffer));
}

FileFindHandle PlainFileFindFirst(const char* pattern, FileFindData* out) {
  FileLayerGuard guard(FileLayerLock());
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(pattern, &data);
  if (find == INVALID_HANDLE_VALUE || find == nullptr) return -1;
  if (out) FillFileFindData(data, out);
  return reinterpret_cast<FileFindHandle>(find);
}

int PlainFileFindNext(FileFindHandle find, FileFindData* out) {
  FileLayerGuard guard(FileLayerLock());
  WIN32_FIND_DATAA data;
  if (!FindNextFileA(reinterpret_cast<HANDLE>(find), &data)) return -1;
  if (out) FillFileFindData(data, out);
  return 0;
}

int PlainFileFindClose(FileFindHandle find) {
  FileLayerGuard guard(FileLayerLock());
  return FindClose(reinterpret_cast<HANDLE>(find)) ? 0 : -1;
}
