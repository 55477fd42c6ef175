// Zyvel files: the replaceable file-function table, plain files, archives and paths.
//
// Every function returns 0 (or a new handle) on success and -1 on failure, with one log line;
// yes/no queries return 1 or 0. Text is multi-byte text in the active character set (CP932).
#pragma once

#include "zyvel/runtime.h"

// ---- Files and archives ----
// Every file the library reads goes through one replaceable table of twelve operations. By
// default it holds the archive-aware set, which serves a file from an archive named after one of
// the leading directories of its path ("DATA.ZVA" for "data\\img\\a.png") and opens the plain
// file only when no such archive exists; with the plain-files-only start-up option it holds the
// plain-file set. Both sets are guarded by one recursive lock, so the sound thread may use them.

// A file date in local time (milliseconds and the day of the week are dropped).
struct FileDateData {
  int year;
  int month;
  int day;
  int hour;
  int minute;
  int second;
};

// One entry reported by FindFirst and FindNext.
struct FileFindData {
  char name[260];  // No directory part.
  int isDirectory;
  uint32_t sizeLow;
  uint32_t sizeHigh;
  FileDateData creation;
  FileDateData lastWrite;
};

// A find handle; -1 is "no handle".
typedef intptr_t FileFindHandle;

struct FileFunctionTable {
  StreamHandle (*Open)(const char* path, int useCache, int ignored, int asynchronous);  // 0 on failure
  int (*Close)(StreamHandle stream);
  int (*Tell)(StreamHandle stream);
  int (*Seek)(StreamHandle stream, int offset, int origin);
  int (*Read)(void* buffer, int itemSize, int count, StreamHandle stream);
  int (*Eof)(StreamHandle stream);
  int (*IdleWait)(StreamHandle stream);
  int (*SetDir)(const char* path);
  int (*GetDir)(char* buffer);  // The buffer holds 260 bytes.
  FileFindHandle (*FindFirst)(const char* pattern, FileFindData* out);
  int (*FindNext)(FileFindHandle find, FileFindData* out);
  int (*FindClose)(FileFindHandle find);
};

// Copies a caller's table; null installs the plain-file set when the plain-files-only start-up
// option is 1 and the archive-aware set otherwise.
int InstallFileFunctions(const FileFunctionTable* table);
// The table in use (start-up saves the current directory through its GetDir slot and shut-down
// restores it through SetDir).
const FileFunctionTable* GetFileFunctions();
// Closes the archives that no open file or search uses any more.
int ReleaseUnusedArchives();

// The opener of the file set; every loader opens with (path, 0, 1, 0).
StreamHandle StreamFileOpen(const char* path, int useCache, int ignored, int asynchronous);

// The plain-file set: Windows files, served by a worker thread when useCache (128 KB read-ahead)
// or asynchronous is asked.
StreamHandle PlainFileOpen(const char* path, int useCache, int ignored, int asynchronous);
int PlainFileClose(StreamHandle stream);
int PlainFileTell(StreamHandle stream);
int PlainFileSeek(StreamHandle stream, int offset, int origin);
int PlainFileRead(void* buffer, int itemSize, int count, StreamHandle stream);
int PlainFileEof(StreamHandle stream);
int PlainFileIdleWait(StreamHandle stream);
int PlainFileSetDir(const char* path);
int PlainFileGetDir(char* buffer);
FileFindHandle PlainFileFindFirst(const char* pattern, FileFindData* out);
int PlainFileFindNext(FileFindHandle find, FileFindData* out);
int PlainFileFindClose(FileFindHandle find);

// The archive-aware set. Stream handles are the open-file slot OR 0xF0000000.
StreamHandle ArchiveAwareOpen(const char* path, int useCache, int ignored, int asynchronous);
int ArchiveAwareClose(StreamHandle stream);
int ArchiveAwareTell(StreamHandle stream);
int ArchiveAwareSeek(StreamHandle stream, int offset, int origin);
int ArchiveAwareRead(void* buffer, int itemSize, int count, StreamHandle stream);
int ArchiveAwareEof(StreamHandle stream);
int ArchiveAwareIdleWait(StreamHandle stream);
int ArchiveAwareSetDir(const char* path);  // 0 even when the directory does not exist.
int ArchiveAwareGetDir(char* buffer);
FileFindHandle ArchiveAwareFindFirst(const char* pattern, FileFindData* out);
int ArchiveAwareFindNext(FileFindHandle find, FileFindData* out);
int ArchiveAwareFindClose(FileFindHandle find);

// The full path of `path` (null: the base itself) against `baseDir` (null: the current directory
// read through the table's GetDir). `out` holds 260 bytes; -1 (and an empty `out`) when the result
// does not fit.
int MakeAbsolutePath(const char* path, char* out, const char* baseDir);
// Creates an empty temporary file for writing and returns its Windows HANDLE, null on any
// failure; `outPath` (260 bytes, or null) receives its full path.
void* MakeTempFile(char* outPath);
