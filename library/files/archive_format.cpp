// Archive headers, scrambling, the layout check, name keys, directory walking, look-ups,
// wildcards and directory searches.
#include <cstring>

#include "files/archive_format.h"
#include "files/file_functions.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The record of the directory at `offset` of the directory table (checked at open).
const unsigned char* DirectoryRecord(const ArchiveState* archive, uint32_t offset) {
  return archive->directoryTable + offset;
}
uint32_t DirectoryParent(const ArchiveState* archive, uint32_t offset) {
  return ReadArchiveU32(DirectoryRecord(archive, offset) + 4);
}
uint32_t DirectoryEntryCount(const ArchiveState* archive, uint32_t offset) {
  return ReadArchiveU32(DirectoryRecord(archive, offset) + 8);
}
const unsigned char* DirectoryEntry(const ArchiveState* archive, uint32_t offset, uint32_t index) {
  return archive->fileTable + ReadArchiveU32(DirectoryRecord(archive, offset) + 12) +
         static_cast<size_t>(index) * static_cast<size_t>(archive->entrySize);
}

const unsigned char* NameEntry(const ArchiveState* archive, const unsigned char* entry) {
  return archive->nameTable + ArchiveEntryNameOffset(entry);
}
const char* KeyNameOf(const unsigned char* nameEntry) { return reinterpret_cast<const char*>(nameEntry + 4); }
const char* DisplayNameOf(const unsigned char* nameEntry) {
  return reinterpret_cast<const char*>(nameEntry + 4 + ReadArchiveU16(nameEntry) * 4);
}

bool KeyMatches(const unsigned char* nameEntry, const ArchiveNameKey* key) {
  return ReadArchiveU16(nameEntry) == key->length && ReadArchiveU16(nameEntry + 2) == key->check &&
         std::memcmp(nameEntry + 4, key->name, static_cast<size_t>(key->length) * 4) == 0;
}

// The entry of directory `directory` named by `key`, a directory or a file as asked, or null.
const unsigned char* FindInDirectory(const ArchiveState* archive, uint32_t directory, const ArchiveNameKey* key,
                                     bool wantDirectory) {
  const uint32_t count = DirectoryEntryCount(archive, directory);
  for (uint32_t i = 0; i < count; ++i) {
    const unsigned char* entry = DirectoryEntry(archive, directory, i);
    if (ArchiveEntryIsDirectory(entry) == wantDirectory && KeyMatches(NameEntry(archive, entry), key)) return entry;
  }
  return nullptr;
}

// A directory walk ends at the end of the text or at a single trailing separator.
bool AtPathEnd(const char* p) { return *p == 0 || (IsSeparator(*p) && p[1] == 0); }

void UpperCaseArchiveText(char* text, int charSet) {
  for (char* p = text; *p; ++p) {
    if (CheckLeadByte(p, charSet) && p[1]) {
      ++p;
      continue;
    }
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
  }
}

// ---- The layout check ----

struct LayoutCheck {
  ArchiveState* archive;
  uint64_t blockSize;
  uint64_t directorySpace;           // Bytes from the directory table to the end of the block.
  uint64_t fileSpace;                // Bytes from the file table to the end of the block.
  unsigned char* visited = nullptr;  // One bit per byte offset of the directory table.
  uint32_t* pending = nullptr;       // Directories found but not yet checked.
  int pendingCount = 0;
  int pendingCapacity = 0;
  uint64_t entriesChecked = 0;

  ~LayoutCheck() {
    ZV_FREE(visited);
    ZV_FREE(pending);
  }

  bool NameIsValid(uint32_t nameOffset) const {
    if (static_cast<uint64_t>(nameOffset) + 4 > blockSize) return false;
    const unsigned char* name = archive->block + nameOffset;
    const uint64_t keyBytes = static_cast<uint64_t>(ReadArchiveU16(name)) * 4;
    if (keyBytes == 0 || nameOffset + 4 + keyBytes > blockSize) return false;
    if (name[4 + keyBytes - 1] != 0) return false;  // The key name ends in padding zeros.
    const uint64_t displayStart = nameOffset + 4 + keyBytes;
    return std::memchr(archive->block + displayStart, 0, static_cast<size_t>(blockSize - displayStart)) != nullptr;
  }

  // Queues a directory record once; false when it does not lie in the table.
  bool Discover(uint32_t offset) {
    if (static_cast<uint64_t>(offset) + kArchiveDirectorySize > directorySpace) return false;
    if (visited[offset >> 3] & (1u << (offset & 7))) return true;
    visited[offset >> 3] |= static_cast<unsigned char>(1u << (offset & 7));
    if (pendingCount == pendingCapacity) {
      int capacity = pendingCapacity ? pendingCapacity * 2 : 64;
      auto* grown = static_cast<uint32_t*>(ZV_REALLOC(pending, capacity * static_cast<int>(sizeof(uint32_t))));
      if (!grown) return false;
      pending = grown;
      pendingCapacity = capacity;
    }
    pending[pendingCount++] = offset;
    return true;
  }

  bool CheckDirectory(uint32_t offset) {
    const unsigned char* record = archive->directoryTable + offset;
    const uint32_t parent = ReadArchiveU32(record + 4);
    const uint64_t count = ReadArchiveU32(record + 8);
    const uint64_t first = ReadArchiveU32(record + 12);
    if (parent != kArchiveNoParent && !Discover(parent)) return false;
    if (first + count * static_cast<uint64_t>(archive->entrySize) > fileSpace) return false;
    // Every entry belongs to one directory, so all directories together hold no more entries
    // than the table has room for; this also bounds the work on a hostile archive.
    entriesChecked += count;
    if (entriesChecked > fileSpace / static_cast<uint64_t>(archive->entrySize)) return false;
    for (uint64_t i = 0; i < count; ++i) {
      const unsigned char* entry = archive->fileTable + first + i * static_cast<uint64_t>(archive->entrySize);
      if (!NameIsValid(ArchiveEntryNameOffset(entry))) return false;
      const uint32_t address = ArchiveEntryDataAddress(entry);
      if (ArchiveEntryIsDirectory(entry)) {
        if (!Discover(address)) return false;
        continue;
      }
      const uint64_t size = ArchiveEntrySize(entry);
      const uint32_t packed = ArchiveEntryPackedSize(archive, entry);
      const uint64_t start = static_cast<uint64_t>(archive->header.dataOffset) + address;
      if (size > 0x7FFFFFFF) return false;
      if (packed == kArchiveStoredMark) {
        if (start + size > static_cast<uint64_t>(archive->archiveSize)) return false;
      } else {
        if (packed < static_cast<uint32_t>(kArchiveLzHeadSize) ||
            start + packed > static_cast<uint64_t>(archive->archiveSize) ||
            size > static_cast<uint64_t>(packed) * kArchiveLzMaxExpansion)
          return false;
      }
    }
    return true;
  }

  bool Run() {
    visited = static_cast<unsigned char*>(ZV_ALLOC_ZEROED(static_cast<int>(directorySpace / 8 + 1)));
    if (!visited || !Discover(0)) return false;
    if (ReadArchiveU32(archive->directoryTable + 4) != kArchiveNoParent) return false;
    while (pendingCount > 0) {
      if (!CheckDirectory(pending[--pendingCount])) return false;
    }
    return true;
  }
};

}  // namespace

uint32_t ArchiveEntryPackedSize(const ArchiveState* archive, const unsigned char* entry) {
  return archive->header.version < 2 ? kArchiveStoredMark : ReadArchiveU32(entry + 40);
}

void XorArchiveBytes(int count, void* buffer, uint32_t fileOffset, const unsigned char* key) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  int k = static_cast<int>(fileOffset % kArchiveKeySize);
  int i = 0;
  // Byte-wise up to a whole key group, then three words per group, then the tail.
  for (; i < count && k != 0; ++i) {
    bytes[i] ^= key[k];
    if (++k == kArchiveKeySize) k = 0;
  }
  uint32_t words[3];
  std::memcpy(words, key, sizeof(words));
  for (; i + kArchiveKeySize <= count; i += kArchiveKeySize) {
    uint32_t group[3];
    std::memcpy(group, bytes + i, sizeof(group));
    group[0] ^= words[0];
    group[1] ^= words[1];
    group[2] ^= words[2];
    std::memcpy(bytes + i, group, sizeof(group));
  }
  for (; i < count; ++i) bytes[i] ^= key[k++];  // k starts at 0 here and stays below 12.
}

int ReadArchiveBytes(int fileOffset, StreamHandle stream, void* buffer, int length, const unsigned char* key) {
  if (length <= 0) return 0;
  if (fileOffset >= 0) {
    if (PlainFileSeek(stream, fileOffset, STREAM_SEEK_START) != 0) return -1;
  } else {
    fileOffset = PlainFileTell(stream);
  }
  if (PlainFileRead(buffer, length, 1, stream) != 1) return -1;
  while (PlainFileIdleWait(stream) == 0) Sleep(0);
  PlainFileRecord* record = PlainFileRecordOf(stream);
  if (record->threaded && record->readDone != length) return -1;
  XorArchiveBytes(length, buffer, static_cast<uint32_t>(fileOffset), key);
  return 0;
}

int CharSetOfCodePage(uint32_t codePage) {
  switch (codePage) {
    case 932:
      return CHARSET_SHIFTJIS;
    case 949:
      return CHARSET_HANGEUL;
    case 950:
      return CHARSET_BIG5;
    case 936:
      return CHARSET_GB2312;
    default:
      return CHARSET_DEFAULT;
  }
}

int ParseArchiveHeader(const unsigned char* bytes, int available, ArchiveHeader* header) {
  std::memset(header, 0, sizeof(*header));
  if (available < 4 || bytes[0] != 'Z' || bytes[1] != 'V') return -1;
  header->magic = ReadArchiveU16(bytes);
  header->version = ReadArchiveU16(bytes + 2);
  if (header->version > kArchiveMaxVersion || available < ArchiveHeaderSize(*header)) return -1;
  header->blockSize = ReadArchiveU32(bytes + 4);
  header->dataOffset = ReadArchiveU32(bytes + 8);
  header->blockOffset = ReadArchiveU32(bytes + 12);
  header->fileTableOffset = ReadArchiveU32(bytes + 16);
  header->directoryTableOffset = ReadArchiveU32(bytes + 20);
  if (header->version >= 4) header->codePage = ReadArchiveU32(bytes + 24);
  return 0;
}

int CheckArchiveLayout(ArchiveState* archive) {
  const ArchiveHeader& header = archive->header;
  archive->entrySize = header.version < 2 ? 40 : 44;
  archive->charSet = CharSetOfCodePage(header.codePage);
  if (static_cast<uint64_t>(header.blockOffset) + header.blockSize > static_cast<uint64_t>(archive->archiveSize) ||
      header.dataOffset > static_cast<uint32_t>(archive->archiveSize) || header.fileTableOffset > header.blockSize ||
      header.directoryTableOffset > header.blockSize)
    return -1;
  archive->nameTable = archive->block;
  archive->fileTable = archive->block + header.fileTableOffset;
  archive->directoryTable = archive->block + header.directoryTableOffset;
  archive->currentDirectory = 0;
  LayoutCheck check{archive, header.blockSize, header.blockSize - header.directoryTableOffset,
                    header.blockSize - header.fileTableOffset};
  return check.Run() ? 0 : -1;
}

int MakeArchiveNameKey(ArchiveNameKey* key, const ArchiveState* archive, const char* text, int* consumed) {
  int length = 0;
  uint16_t check = 0;
  const char* p = text;
  while (*p && !IsSeparator(*p)) {
    if (length + 2 > static_cast<int>(sizeof(key->name)) - 4) {
      if (consumed) *consumed = static_cast<int>(p - text);
      key->length = 0;
      key->check = 0;
      return -1;
    }
    if (CheckLeadByte(p, archive->charSet) && p[1]) {
      key->name[length++] = static_cast<unsigned char>(p[0]);
      key->name[length++] = static_cast<unsigned char>(p[1]);
      check = static_cast<uint16_t>(check + static_cast<unsigned char>(p[0]) + static_cast<unsigned char>(p[1]));
      p += 2;
      continue;
    }
    unsigned char c = static_cast<unsigned char>(*p++);
    if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
    key->name[length++] = c;
    check = static_cast<uint16_t>(check + c);
  }
  // One to four zero bytes up to the next multiple of 4.
  const int padded = (length / 4 + 1) * 4;
  std::memset(key->name + length, 0, static_cast<size_t>(padded - length));
  key->length = static_cast<uint16_t>(padded / 4);
  key->check = check;
  if (consumed) *consumed = static_cast<int>(p - text);
  return 0;
}

int FindArchiveSubdirectory(ArchiveState* archive, const ArchiveNameKey* key) {
  const unsigned char* entry = FindInDirectory(archive, archive->currentDirectory, key, true);
  if (!entry) return 0;
  archive->currentDirectory = ArchiveEntryDataAddress(entry);
  return 1;
}

int ChangeArchiveDirectory(ArchiveState* archive, const char* path, int restoreOnFailure, ArchiveNameKey* keyOut) {
  const uint32_t before = archive->currentDirectory;
  if (std::strcmp(path, ".") == 0) return 0;
  if ((IsSeparator(path[0]) && path[1] == 0)) {
    archive->currentDirectory = 0;
    return 0;
  }
  if (std::strcmp(path, "..") == 0) {
    const uint32_t parent = DirectoryParent(archive, archive->currentDirectory);
    if (parent == kArchiveNoParent) return -1;
    archive->currentDirectory = parent;
    return 0;
  }
  ArchiveNameKey key;
  const char* p = path;
  while (!AtPathEnd(p)) {
    if (IsSeparator(*p)) {  // An empty component: a leading separator goes to the root.
      archive->currentDirectory = 0;
      ++p;
      continue;
    }
    int consumed = 0;
    if (MakeArchiveNameKey(&key, archive, p, &consumed) != 0 || !FindArchiveSubdirectory(archive, &key)) {
      if (restoreOnFailure) archive->currentDirectory = before;
      return -1;
    }
    if (keyOut) *keyOut = key;
    p += consumed;
    if (IsSeparator(*p) && p[1] != 0) ++p;
  }
  return 0;
}

const unsigned char* FindArchiveFileEntry(const char* path, ArchiveState* archive) {
  const uint32_t before = archive->currentDirectory;
  const unsigned char* found = nullptr;
  // The last component is the file; everything before it is walked as directories.
  const char* last = path;
  for (const char* p = path; *p;) {
    if (CheckLeadByte(p, archive->charSet) && p[1]) {
      p += 2;
      continue;
    }
    if (IsSeparator(*p)) last = p + 1;
    ++p;
  }
  bool reached = true;
  ArchiveNameKey key;
  for (const char* p = path; p < last && reached;) {
    if (IsSeparator(*p)) {
      if (p == path) archive->currentDirectory = 0;
      ++p;
      continue;
    }
    int consumed = 0;
    reached = MakeArchiveNameKey(&key, archive, p, &consumed) == 0 && FindArchiveSubdirectory(archive, &key);
    p += consumed;
  }
  if (reached && *last && MakeArchiveNameKey(&key, archive, last, nullptr) == 0)
    found = FindInDirectory(archive, archive->currentDirectory, &key, false);
  archive->currentDirectory = before;
  return found;
}

int SplitArchivePath(const char* path, const ArchiveState* archive, char* fileOut, char* directoryOut) {
  const char* split = nullptr;
  for (const char* p = path; *p;) {
    if (CheckLeadByte(p, archive->charSet) && p[1]) {
      p += 2;
      continue;
    }
    if (IsSeparator(*p) || *p == ':') split = p;
    ++p;
  }
  const size_t directoryLength = split ? static_cast<size_t>(split - path) : 0;
  const char* file = split ? split + 1 : path;
  if (directoryLength >= MAX_PATH || std::strlen(file) >= MAX_PATH) return -1;
  if (directoryOut) {
    std::memcpy(directoryOut, path, directoryLength);
    directoryOut[directoryLength] = 0;
  }
  if (fileOut) std::strcpy(fileOut, file);
  return 0;
}

int MatchArchiveWildcard(const char* name, const char* pattern, const ArchiveState* archive) {
  const char* n = name;
  const char* p = pattern;
  if (*p == 0) return *n == 0 ? 0 : -1;
  if (*n == 0 && *p != '*') return -1;
  for (;;) {
    if (CheckLeadByte(p, archive->charSet) && p[1]) {
      if (n[0] != p[0] || n[1] != p[1]) return -1;
      p += 2;
      n += 2;
    } else if (*p == '?') {
      ++p;
      ++n;
    } else if (*p == '*') {
      while (*p == '*') ++p;
      if (*p == 0) return 0;
      const char* found = std::strchr(n, *p);
      if (!found) return -1;
      n = found + 1;
      ++p;
    } else {
      if (*n != *p) return -1;
      ++p;
      ++n;
    }
    // A name that ends before the pattern does, trailing stars included, is no match.
    if (*p == 0) return *n == 0 ? 0 : -1;
    if (*n == 0) return -1;
  }
}

namespace {

void ReportDot(const char* name, FileFindData* out) {
  std::memset(out, 0, sizeof(*out));
  std::strcpy(out->name, name);
  out->isDirectory = 1;
}

// Reports the first candidate from `find->next` on that matches; -1 when none is left.
int ReportNextMatch(ArchiveFindRecord* find, FileFindData* out) {
  const ArchiveState* archive = find->archive;
  const bool inRoot = DirectoryParent(archive, find->directory) == kArchiveNoParent;
  const int dotCount = inRoot ? 1 : 2;
  const int total = dotCount + static_cast<int>(DirectoryEntryCount(archive, find->directory));
  while (find->next < total) {
    const int candidate = find->next++;
    if (candidate < dotCount) {
      const char* name = candidate == 0 ? "." : "..";
      if (MatchArchiveWildcard(name, find->pattern, archive) == 0) {
        if (out) ReportDot(name, out);
        return 0;
      }
      continue;
    }
    const unsigned char* entry = DirectoryEntry(archive, find->directory, static_cast<uint32_t>(candidate - dotCount));
    const unsigned char* nameEntry = NameEntry(archive, entry);
    if (MatchArchiveWildcard(KeyNameOf(nameEntry), find->pattern, archive) != 0) continue;
    if (out) {
      std::memset(out, 0, sizeof(*out));
      std::strncpy(out->name, DisplayNameOf(nameEntry), sizeof(out->name) - 1);
      out->isDirectory = ArchiveEntryIsDirectory(entry) ? 1 : 0;
      out->sizeLow = ArchiveEntrySize(entry);
      out->sizeHigh = 0;
      FILETIME creation{ReadArchiveU32(entry + 8), ReadArchiveU32(entry + 12)};
      FILETIME lastWrite{ReadArchiveU32(entry + 24), ReadArchiveU32(entry + 28)};
      ConvertFileTimeToDateData(&creation, &out->creation);
      ConvertFileTimeToDateData(&lastWrite, &out->lastWrite);
    }
    return 0;
  }
  return -1;
}

}  // namespace

ArchiveFindRecord* ArchiveFindFirst(ArchiveState* archive, const char* pathPattern, FileFindData* out) {
  auto* find = static_cast<ArchiveFindRecord*>(ZV_ALLOC_ZEROED(sizeof(ArchiveFindRecord)));
  if (!find) return nullptr;
  char directory[MAX_PATH];
  if (SplitArchivePath(pathPattern, archive, find->pattern, directory) != 0) {
    ZV_FREE(find);
    return nullptr;
  }
  UpperCaseArchiveText(find->pattern, archive->charSet);
  UpperCaseArchiveText(directory, archive->charSet);
  find->archive = archive;
  find->directory = archive->currentDirectory;
  if (directory[0]) {
    const uint32_t before = archive->currentDirectory;
    const int walked = ChangeArchiveDirectory(archive, directory, 1, nullptr);
    find->directory = archive->currentDirectory;
    archive->currentDirectory = before;
    if (walked != 0) {
      ZV_FREE(find);
      return nullptr;
    }
  }
  find->next = 0;
  if (ReportNextMatch(find, out) != 0) {
    ZV_FREE(find);
    return nullptr;
  }
  return find;
}

int ArchiveFindNext(ArchiveFindRecord* find, FileFindData* out) { return ReportNextMatch(find, out); }
