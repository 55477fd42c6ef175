// The archive-aware file functions: a file is served from the first archive named after one of
// the leading directories of its full path ("C:\GAME\DATA.ZVA" for "C:\GAME\DATA\IMG\A.PNG",
// shortest prefix first), and only when none opens from the plain file. Archives are opened once,
// shared by reference count, and stay open while unreferenced until the table fills up or
// start-up and shut-down release them.
#include <cstring>

#include "files/archive_files.h"
#include "files/file_functions.h"
#include "runtime/runtime_services.h"

namespace {

// One file of the archive-aware set.
enum OpenFileKind {
  kOpenPlainFile = 0,
  kOpenArchiveMember = 1,
};

struct OpenFileRecord {
  int kind;  // OpenFileKind
  StreamHandle plain;
  int archiveIndex;
  ArchiveFileState member;
};

struct ArchiveFindHandle {
  int insideArchive;
  int archiveIndex;
  ArchiveFindRecord* archiveFind;
  FileFindHandle plainFind;
};

// The archive found last, so that files of the same tree skip the scan of their path.
struct ArchiveLookupCache {
  char path[kArchivePathSize];
  int directoryLength;  // 0: nothing remembered.
  int index;
};

struct ArchiveTables {
  ArchiveSlot* archives[kMaxOpenArchives];
  int archiveCount;
  OpenFileRecord* files[kMaxOpenFiles];
  int fileCount;
  ArchiveLookupCache lookupCache;
  ArchiveSettings settings;
};

ArchiveTables g_archiveTables;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

void DropArchiveReference(int index) {
  if (index < 0 || index >= kMaxOpenArchives || !g_archiveTables.archives[index]) return;
  if (g_archiveTables.archives[index]->refCount > 0) --g_archiveTables.archives[index]->refCount;
}

OpenFileRecord* RecordOf(StreamHandle handle) {
  const uintptr_t slot = handle & 0x0FFFFFFFu;
  if (slot >= static_cast<uintptr_t>(kMaxOpenFiles)) return nullptr;
  return g_archiveTables.files[slot];
}

const char* ArchiveExtension() {
  const ArchiveSettings& settings = g_archiveTables.settings;
  return settings.extensionLength != 0 ? settings.extension : "ZVA";
}

bool CopyBounded(char* out, const char* text, size_t capacity) {
  size_t length = std::strlen(text);
  if (length >= capacity) return false;
  std::memcpy(out, text, length + 1);
  return true;
}

}  // namespace

// ---- The open-archive table ----

int OpenArchiveSlot(int hint, const char* path, int wholeFile, int asynchronous) {
  FileLayerGuard guard(FileLayerLock());
  ArchiveTables& tables = g_archiveTables;
  if (std::strlen(path) >= kArchivePathSize) return -1;
  if (hint >= 0 && hint < kMaxOpenArchives && tables.archives[hint] &&
      std::strcmp(tables.archives[hint]->path, path) == 0) {
    ++tables.archives[hint]->refCount;
    return hint;
  }
  int freeSlot = -1;
  for (int i = 0, seen = 0; i < kMaxOpenArchives && seen < tables.archiveCount; ++i) {
    ArchiveSlot* slot = tables.archives[i];
    if (!slot) {
      freeSlot = i;
      continue;
    }
    ++seen;
    if (std::strcmp(slot->path, path) == 0) {
      ++slot->refCount;
      return i;
    }
  }
  if (tables.archiveCount >= kMaxOpenArchives) {
    CloseUnusedArchives();
    if (tables.archiveCount >= kMaxOpenArchives) return -1;
    freeSlot = -1;
  }
  if (freeSlot < 0) {
    for (int i = 0; i < kMaxOpenArchives; ++i) {
      if (!tables.archives[i]) {
        freeSlot = i;
        break;
      }
    }
  }
  ArchiveState state;
  ClearArchiveState(&state);
  const char* keyText = tables.settings.useKeyText == 1 ? tables.settings.keyText : nullptr;
  const int opened = wholeFile ? OpenArchiveFileWhole(&state, path, keyText, asynchronous)
                               : OpenArchiveFileHeader(&state, path, keyText);
  if (opened != 0) return -1;
  auto* slot = static_cast<ArchiveSlot*>(ZV_ALLOC_ZEROED(sizeof(ArchiveSlot)));
  if (!slot) {
    CloseArchiveState(&state);
    return -1;
  }
  slot->state = state;
  slot->refCount = 1;
  std::strcpy(slot->path, path);
  tables.archives[freeSlot] = slot;
  ++tables.archiveCount;
  return freeSlot;
}

void CloseUnusedArchives() {
  FileLayerGuard guard(FileLayerLock());
  for (ArchiveSlot*& slot : g_archiveTables.archives) {
    if (!slot || slot->refCount > 0) continue;
    CloseArchiveState(&slot->state);
    ZV_FREE(slot);
    slot = nullptr;
    --g_archiveTables.archiveCount;
  }
}

int ReleaseUnusedArchives() {
  CloseUnusedArchives();
  return 0;
}

int ArchiveSlotReferences(int index) {
  FileLayerGuard guard(FileLayerLock());
  if (index < 0 || index >= kMaxOpenArchives || !g_archiveTables.archives[index]) return -1;
  return g_archiveTables.archives[index]->refCount;
}

int OpenArchiveCount() {
  FileLayerGuard guard(FileLayerLock());
  return g_archiveTables.archiveCount;
}

int FindArchiveForPath(const char* path, int* outIndex, char* outArchivePath, char* outInnerPath) {
  FileLayerGuard guard(FileLayerLock());
  ArchiveLookupCache& cache = g_archiveTables.lookupCache;
  char normalized[MAX_PATH];
  if (!path || NormalizeArchivePath(normalized, path) != 0) return -1;

  int index = -1;
  const char* inner = nullptr;
  const int cached = cache.directoryLength;
  if (cached > 0 && std::strncmp(normalized, cache.path, static_cast<size_t>(cached)) == 0 &&
      IsSeparator(normalized[cached])) {
    index = OpenArchiveSlot(cache.index, cache.path, 0, 0);
    if (index < 0) return -1;
    inner = normalized + cached + 1;
  } else {
    const int charSet = GetCharSet();
    char prefix[MAX_PATH];
    int prefixLength = 0;
    const char* p = normalized;
    if (p[0] == '\\' && p[1] == '\\') {
      prefix[prefixLength++] = '\\';
      prefix[prefixLength++] = '\\';
      p += 2;
    }
    const char* extension = ArchiveExtension();
    for (;;) {
      const char* start = p;
      while (*p && !IsSeparator(*p)) p += (CheckLeadByte(p, charSet) && p[1]) ? 2 : 1;
      // The file name itself is never a candidate, and an empty component ends the scan.
      if (*p == 0 || p == start) return -1;
      const int length = static_cast<int>(p - start);
      char candidate[kArchivePathSize];
      if (prefixLength + length + 1 + static_cast<int>(std::strlen(extension)) >= kArchivePathSize) return -1;
      std::memcpy(prefix + prefixLength, start, static_cast<size_t>(length));
      prefixLength += length;
      std::memcpy(candidate, prefix, static_cast<size_t>(prefixLength));
      candidate[prefixLength] = '.';
      std::strcpy(candidate + prefixLength + 1, extension);
      index = OpenArchiveSlot(-1, candidate, 0, 0);
      if (index >= 0) {
        inner = p + 1;
        std::strcpy(cache.path, candidate);
        cache.directoryLength = prefixLength;
        cache.index = index;
        break;
      }
      prefix[prefixLength++] = '\\';
      ++p;
    }
  }
  if (outArchivePath) std::strcpy(outArchivePath, g_archiveTables.archives[index]->path);
  if (outInnerPath && !CopyBounded(outInnerPath, inner, MAX_PATH)) {
    DropArchiveReference(index);
    return -1;
  }
  *outIndex = index;
  return 0;
}

// ---- The archive-aware set ----

StreamHandle ArchiveAwareOpen(const char* path, int useCache, int, int asynchronous) {
  FileLayerGuard guard(FileLayerLock());
  ArchiveTables& tables = g_archiveTables;
  if (tables.fileCount >= kMaxOpenFiles) {
    AddLogText("同時に開けるファイルの数が限界を超えました\n");
    return 0;
  }
  int slot = 0;
  while (tables.files[slot]) ++slot;
  auto* record = static_cast<OpenFileRecord*>(ZV_ALLOC_ZEROED(sizeof(OpenFileRecord)));
  if (!record) {
    AddLogText("ファイルの情報を格納するメモリの確保に失敗しました\n");
    return 0;
  }
  tables.files[slot] = record;

  auto openFromArchive = [&](bool* found) -> bool {
    int index = -1;
    char inner[MAX_PATH];
    *found = FindArchiveForPath(path, &index, nullptr, inner) == 0;
    if (!*found) return false;
    record->kind = kOpenArchiveMember;
    record->archiveIndex = index;
    if (OpenArchiveMember(&record->member, &tables.archives[index]->state, inner, asynchronous) == 0) return true;
    DropArchiveReference(index);
    return false;
  };
  auto openPlain = [&]() -> bool {
    record->kind = kOpenPlainFile;
    record->plain = PlainFileOpen(path, useCache, 1, asynchronous);
    return record->plain != 0;
  };

  bool opened = false;
  bool archiveFound = false;
  if (tables.settings.plainFirst == 0) {
    opened = openFromArchive(&archiveFound);
    // A path that an archive covers is never served from the plain file.
    if (!archiveFound) opened = openPlain();
  } else {
    opened = openPlain() || openFromArchive(&archiveFound);
  }
  if (!opened) {
    ZV_FREE(record);
    tables.files[slot] = nullptr;
    return 0;
  }
  ++tables.fileCount;
  return static_cast<StreamHandle>(slot) | kArchiveAwareHandleMark;
}

int ArchiveAwareClose(StreamHandle stream) {
  FileLayerGuard guard(FileLayerLock());
  OpenFileRecord* record = RecordOf(stream);
  if (!record) return -1;
  if (record->kind == kOpenPlainFile) {
    PlainFileClose(record->plain);
  } else {
    DropArchiveReference(record->archiveIndex);
    CloseArchiveMember(&record->member);
  }
  ZV_FREE(record);
  g_archiveTables.files[stream & 0x0FFFFFFFu] = nullptr;
  --g_archiveTables.fileCount;
  return 0;
}

int ArchiveAwareTell(StreamHandle stream) {
  FileLayerGuard guard(FileLayerLock());
  OpenFileRecord* record = RecordOf(stream);
  if (!record) return -1;
  return record->kind == kOpenPlainFile ? PlainFileTell(record->plain) : TellArchiveMember(&record->member);
}

int ArchiveAwareSeek(StreamHandle stream, int offset, int origin) {
  FileLayerGuard guard(FileLayerLock());
  OpenFileRecord* record = RecordOf(stream);
  if (!record) return -1;
  return record->kind == kOpenPlainFile ? PlainFileSeek(record->plain, offset, origin)
                                        : SeekArchiveMember(&record->member, offset, origin);
}

int ArchiveAwareRead(void* buffer, int itemSize, int count, StreamHandle stream) {
  FileLayerGuard guard(FileLayerLock());
  OpenFileRecord* record = RecordOf(stream);
  if (!record) return -1;
  if (record->kind == kOpenPlainFile) return PlainFileRead(buffer, itemSize, count, record->plain);
  if (itemSize <= 0 || count <= 0) return 0;
  int64_t length = static_cast<int64_t>(itemSize) * count;
  if (length > 0x7FFFFFFF) length = 0x7FFFFFFF;
  return ReadArchiveMember(&record->member, buffer, static_cast<int>(length)) / itemSize;
}

int ArchiveAwareEof(StreamHandle stream) {
  FileLayerGuard guard(FileLayerLock());
  OpenFileRecord* record = RecordOf(stream);
  if (!record) return -1;
  return record->kind == kOpenPlainFile ? PlainFileEof(record->plain) : EofArchiveMember(&record->member);
}

int ArchiveAwareIdleWait(StreamHandle stream) {
  FileLayerGuard guard(FileLayerLock());
  OpenFileRecord* record = RecordOf(stream);
  if (!record) return -1;
  return record->kind == kOpenPlainFile ? PlainFileIdleWait(record->plain) : FinishArchiveMemberRead(&record->member);
}

int ArchiveAwareSetDir(const char* path) {
  FileLayerGuard guard(FileLayerLock());
  SetCurrentDirectoryA(path);
  return 0;
}

int ArchiveAwareGetDir(char* buffer) {
  FileLayerGuard guard(FileLayerLock());
  GetCurrentDirectoryA(kArchivePathSize, buffer);
  return 0;
}

FileFindHandle ArchiveAwareFindFirst(const char* pattern, FileFindData* out) {
  FileLayerGuard guard(FileLayerLock());
  auto* find = static_cast<ArchiveFindHandle*>(ZV_ALLOC_ZEROED(sizeof(ArchiveFindHandle)));
  if (!find) return -1;
  int index = -1;
  char inner[MAX_PATH];
  if (FindArchiveForPath(pattern, &index, nullptr, inner) == 0) {
    find->insideArchive = 1;
    find->archiveIndex = index;
    find->archiveFind = ArchiveFindFirst(&g_archiveTables.archives[index]->state, inner, out);
    if (!find->archiveFind) {
      DropArchiveReference(index);
      ZV_FREE(find);
      return -1;
    }
  } else {
    find->plainFind = PlainFileFindFirst(pattern, out);
    if (find->plainFind == -1) {
      ZV_FREE(find);
      return -1;
    }
  }
  return reinterpret_cast<FileFindHandle>(find);
}

int ArchiveAwareFindNext(FileFindHandle handle, FileFindData* out) {
  FileLayerGuard guard(FileLayerLock());
  if (handle == -1 || handle == 0) return -1;
  auto* find = reinterpret_cast<ArchiveFindHandle*>(handle);
  return find->insideArchive ? ArchiveFindNext(find->archiveFind, out) : PlainFileFindNext(find->plainFind, out);
}

int ArchiveAwareFindClose(FileFindHandle handle) {
  FileLayerGuard guard(FileLayerLock());
  if (handle == -1 || handle == 0) return -1;
  auto* find = reinterpret_cast<ArchiveFindHandle*>(handle);
  if (find->insideArchive) {
    ZV_FREE(find->archiveFind);
    DropArchiveReference(find->archiveIndex);
  } else {
    PlainFileFindClose(find->plainFind);
  }
  ZV_FREE(find);
  return 0;
}
