// The file-function table: the twelve operations every file of the library goes through, the
// dispatchers that jump through it, and the temporary-file maker.
#include <cstring>

#include "files/file_functions.h"
#include "runtime/runtime_services.h"

namespace {

constexpr FileFunctionTable kPlainFileSet = {
    PlainFileOpen,     PlainFileClose,  PlainFileTell,   PlainFileSeek,      PlainFileRead,     PlainFileEof,
    PlainFileIdleWait, PlainFileSetDir, PlainFileGetDir, PlainFileFindFirst, PlainFileFindNext, PlainFileFindClose};

constexpr FileFunctionTable kArchiveAwareSet = {ArchiveAwareOpen,      ArchiveAwareClose,    ArchiveAwareTell,
                                                ArchiveAwareSeek,      ArchiveAwareRead,     ArchiveAwareEof,
                                                ArchiveAwareIdleWait,  ArchiveAwareSetDir,   ArchiveAwareGetDir,
                                                ArchiveAwareFindFirst, ArchiveAwareFindNext, ArchiveAwareFindClose};

// Archive-aware until start-up says otherwise.
FileFunctionTable g_fileFunctions = kArchiveAwareSet;

}  // namespace

std::recursive_mutex& FileLayerLock() {
  static std::recursive_mutex lock;
  return lock;
}

int InstallFileFunctions(const FileFunctionTable* table) {
  FileLayerGuard guard(FileLayerLock());
  if (table)
    g_fileFunctions = *table;
  else
    g_fileFunctions = GetPlainFilesOnly() == 1 ? kPlainFileSet : kArchiveAwareSet;
  return 0;
}

const FileFunctionTable* GetFileFunctions() { return &g_fileFunctions; }

// The dispatchers hold the lock only while they read the slot: a caller's table may block.
namespace {
FileFunctionTable CurrentTable() {
  FileLayerGuard guard(FileLayerLock());
  return g_fileFunctions;
}
}  // namespace

StreamHandle StreamFileOpen(const char* path, int useCache, int ignored, int asynchronous) {
  return CurrentTable().Open(path, useCache, ignored, asynchronous);
}
int StreamFileClose(StreamHandle stream) { return CurrentTable().Close(stream); }
int StreamFileTell(StreamHandle stream) { return CurrentTable().Tell(stream); }
int StreamFileSeek(StreamHandle stream, int offset, int origin) { return CurrentTable().Seek(stream, offset, origin); }
int StreamFileRead(void* buffer, int itemSize, int count, StreamHandle stream) {
  return CurrentTable().Read(buffer, itemSize, count, stream);
}
int StreamFileEof(StreamHandle stream) { return CurrentTable().Eof(stream); }
int StreamFileIdleWait(StreamHandle stream) { return CurrentTable().IdleWait(stream); }

void* MakeTempFile(char* outPath) {
  char directory[256];
  DWORD length = GetTempPathA(sizeof(directory), directory);
  if (length == 0 || length >= sizeof(directory)) return nullptr;
  if (directory[length - 1] != '\\') {
    if (length + 1 >= sizeof(directory)) return nullptr;
    directory[length] = '\\';
    directory[length + 1] = 0;
  }
  char name[MAX_PATH];
  if (GetTempFileNameA(directory, "tmp", 0, name) == 0) return nullptr;
  char fullPath[MAX_PATH];
  if (MakeAbsolutePath(name, fullPath, nullptr) != 0) {
    DeleteFileA(name);
    return nullptr;
  }
  DeleteFileA(fullPath);
  HANDLE file = CreateFileA(fullPath, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  // Callers test for null: a failed creation is never handed out as INVALID_HANDLE_VALUE.
  if (file == INVALID_HANDLE_VALUE || file == nullptr) return nullptr;
  if (outPath) std::strcpy(outPath, fullPath);
  return file;
}
