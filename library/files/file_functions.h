// Internals shared by the file-function table, the plain-file set and the archive-aware set.
#pragma once

#include <mutex>

#include "platform/kernel.h"
#include "zyvel/files.h"

// The one recursive lock of the file layer: both sets, their tables and the shared archive
// stream positions are used from the main thread and the sound thread.
std::recursive_mutex& FileLayerLock();
typedef std::lock_guard<std::recursive_mutex> FileLayerGuard;

enum PlainFileWorkerCommand {
  kWorkerOpen = 0,
  kWorkerCloseHandle = 1,
  kWorkerRead = 2,
  kWorkerSeek = 3,
  kWorkerExit = 4,
};

constexpr int kPlainFileCacheSize = 0x20000;

// One open plain file; its address is the stream handle.
struct PlainFileRecord {
  HANDLE file;  // Only when no worker serves the file.
  int threaded;
  int useCache;
  int asynchronous;
  int eof;
  int position;
  int size;

  // Worker block: the calling thread writes the command fields only while the done event is
  // signalled; the worker touches them only between a request and setting done.
  DWORD threadId;
  HANDLE thread;
  HANDLE workerFile;
  HANDLE requestEvent;
  HANDLE doneEvent;
  int command;
  int threadEnded;
  int openFailed;
  char path[MAX_PATH];
  unsigned char* readDestination;
  int readPosition;
  int readLength;
  int readDone;  // Bytes the last read command really delivered.
  int seekTarget;
  unsigned char* cache;  // kPlainFileCacheSize bytes, with useCache only; the worker's alone.
  int cacheStart;
  int cacheLength;
};

inline PlainFileRecord* PlainFileRecordOf(StreamHandle stream) { return reinterpret_cast<PlainFileRecord*>(stream); }

// FILETIME to a local `FileDateData` (zero when it does not convert).
void ConvertFileTimeToDateData(const FILETIME* time, FileDateData* out);
