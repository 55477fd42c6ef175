// Open archives in their three forms (header block with the file kept open, the whole file in
// memory, a caller's image) and the members read from them: compressed members are decoded whole
// when opened, stored members are read on demand.
#include <cstring>

#include "files/archive_files.h"
#include "files/file_functions.h"

namespace {

void WaitArchiveLoad(ArchiveState* state) {
  while (!FinishArchiveLoad(state)) Sleep(0);
}

void WaitMemberWork(ArchiveFileState* member) {
  while (!FinishArchiveMemberRead(member)) Sleep(1);
}

bool HasMagic(const unsigned char* header) { return header[0] == 'Z' && header[1] == 'V'; }

void LogBadArchive(const char* path) {
  WriteLogFormat("アーカイブファイルの形式が正しくありません : %s", path ? path : "(メモリイメージ)");
}

StreamHandle ArchiveStream(const ArchiveState* state) { return reinterpret_cast<StreamHandle>(state->source); }

// Reads and checks the header and the header block of an archive file, through its plain-file
// stream; on success the state holds the key, header, block and tables.
int ReadArchiveFileHeader(ArchiveState* state, StreamHandle stream, const char* keyText) {
  unsigned char bytes[kArchiveHeaderSizeV4];
  BuildArchiveKey(keyText && *keyText ? keyText : nullptr, state->key);
  if (ReadArchiveBytes(0, stream, bytes, 8, state->key) != 0) return -1;
  if (!HasMagic(bytes)) {
    BuildSecondArchiveKey(state->key);
    if (ReadArchiveBytes(0, stream, bytes, 8, state->key) != 0) return -1;
  }
  if (!HasMagic(bytes) || ReadArchiveU16(bytes + 2) > kArchiveMaxVersion) return -1;
  const int headerSize = ReadArchiveU16(bytes + 2) >= 4 ? kArchiveHeaderSizeV4 : kArchiveHeaderSize;
  if (ReadArchiveBytes(8, stream, bytes + 8, headerSize - 8, state->key) != 0 ||
      ParseArchiveHeader(bytes, headerSize, &state->header) != 0)
    return -1;
  state->archiveSize = PlainFileRecordOf(stream)->size;
  const uint64_t blockEnd = static_cast<uint64_t>(state->header.blockOffset) + state->header.blockSize;
  if (state->header.blockSize < kArchiveDirectorySize || blockEnd > static_cast<uint64_t>(state->archiveSize))
    return -1;
  state->block = static_cast<unsigned char*>(ZV_ALLOC(static_cast<int>(state->header.blockSize)));
  if (!state->block) return -1;
  if (ReadArchiveBytes(static_cast<int>(state->header.blockOffset), stream, state->block,
                       static_cast<int>(state->header.blockSize), state->key) != 0 ||
      CheckArchiveLayout(state) != 0)
    return -1;
  return 0;
}

}  // namespace

int ClearArchiveState(ArchiveState* state) {
  std::memset(state, 0, sizeof(*state));
  return 0;
}

int OpenArchiveInMemory(ArchiveState* state, void* image, int size, const char* keyText) {
  FileLayerGuard guard(FileLayerLock());
  if (state->source || !image) return -1;
  if (size < kArchiveHeaderSize) {
    LogBadArchive(nullptr);
    return -1;
  }
  auto* bytes = static_cast<unsigned char*>(image);
  unsigned char key[kArchiveKeySize];
  unsigned char head[8];
  BuildArchiveKey(keyText && *keyText ? keyText : nullptr, key);
  std::memcpy(head, bytes, sizeof(head));
  XorArchiveBytes(sizeof(head), head, 0, key);
  if (!HasMagic(head)) {
    BuildSecondArchiveKey(key);
    std::memcpy(head, bytes, sizeof(head));
    XorArchiveBytes(sizeof(head), head, 0, key);
    if (!HasMagic(head)) {
      LogBadArchive(nullptr);
      return -1;
    }
  }
  XorArchiveBytes(size, bytes, 0, key);
  ClearArchiveState(state);
  std::memcpy(state->key, key, sizeof(key));
  state->archiveSize = size;
  if (ParseArchiveHeader(bytes, size, &state->header) != 0 ||
      static_cast<uint64_t>(state->header.blockOffset) + state->header.blockSize > static_cast<uint64_t>(size) ||
      state->header.blockSize < kArchiveDirectorySize) {
    XorArchiveBytes(size, bytes, 0, key);
    ClearArchiveState(state);
    LogBadArchive(nullptr);
    return -1;
  }
  state->block = bytes + state->header.blockOffset;
  if (CheckArchiveLayout(state) != 0) {
    XorArchiveBytes(size, bytes, 0, key);
    ClearArchiveState(state);
    LogBadArchive(nullptr);
    return -1;
  }
  state->inMemory = 1;
  state->callerImage = 1;
  state->imageSize = size;
  state->source = image;
  return 0;
}

int OpenArchiveFileHeader(ArchiveState* state, const char* path, const char* keyText) {
  FileLayerGuard guard(FileLayerLock());
  if (state->source) return -1;
  ClearArchiveState(state);
  StreamHandle stream = PlainFileOpen(path, 0, 1, 1);
  if (!stream) return -1;
  if (ReadArchiveFileHeader(state, stream, keyText) != 0) {
    LogBadArchive(path);
    PlainFileClose(stream);
    ZV_FREE(state->block);
    ClearArchiveState(state);
    return -1;
  }
  state->source = reinterpret_cast<void*>(stream);
  return 0;
}

int OpenArchiveFileWhole(ArchiveState* state, const char* path, const char* keyText, int asynchronous) {
  FileLayerGuard guard(FileLayerLock());
  if (state->source) return -1;
  ClearArchiveState(state);
  StreamHandle stream = PlainFileOpen(path, 0, 1, 1);
  if (!stream) return -1;
  unsigned char* image = nullptr;
  const bool headerRead = ReadArchiveFileHeader(state, stream, keyText) == 0;
  if (!headerRead) LogBadArchive(path);
  if (!headerRead ||
      !(image = static_cast<unsigned char*>(ZV_ALLOC_ZEROED(state->archiveSize > 0 ? state->archiveSize : 1))) ||
      PlainFileSeek(stream, 0, STREAM_SEEK_START) != 0) {
    PlainFileClose(stream);
    ZV_FREE(image);
    ZV_FREE(state->block);
    ClearArchiveState(state);
    return -1;
  }
  PlainFileRead(image, state->archiveSize, 1, stream);  // Runs on the worker; finished lazily.
  state->loadPending = 1;
  state->loadStream = stream;
  state->source = image;
  state->imageSize = state->archiveSize;
  state->inMemory = 1;
  state->callerImage = 0;
  if (!asynchronous) WaitArchiveLoad(state);
  return 0;
}

int FinishArchiveLoad(ArchiveState* state) {
  FileLayerGuard guard(FileLayerLock());
  if (!state->loadPending) return 1;
  if (PlainFileIdleWait(state->loadStream) == 0) return 0;
  PlainFileClose(state->loadStream);
  state->loadStream = 0;
  XorArchiveBytes(state->imageSize, state->source, 0, state->key);
  state->loadPending = 0;
  return 1;
}

void* GetArchiveImage(ArchiveState* state) {
  FileLayerGuard guard(FileLayerLock());
  WaitArchiveLoad(state);
  return state->inMemory ? state->source : nullptr;
}

int GetArchiveFileInfo(ArchiveState* state, const char* path, int* outPosition, int* outSize) {
  FileLayerGuard guard(FileLayerLock());
  WaitArchiveLoad(state);
  if (!state->source) return -1;
  const unsigned char* entry = FindArchiveFileEntry(path, state);
  if (!entry) return -1;
  if (outPosition) *outPosition = static_cast<int>(state->header.dataOffset + ArchiveEntryDataAddress(entry));
  if (outSize) *outSize = static_cast<int>(ArchiveEntrySize(entry));
  return 0;
}

int CloseArchiveState(ArchiveState* state) {
  FileLayerGuard guard(FileLayerLock());
  if (!state->source) return 0;
  WaitArchiveLoad(state);
  if (!state->inMemory) {
    PlainFileClose(ArchiveStream(state));
    ZV_FREE(state->block);
  } else if (state->callerImage) {
    XorArchiveBytes(state->imageSize, state->source, 0, state->key);  // The caller gets its bytes back.
  } else {
    ZV_FREE(state->source);
    ZV_FREE(state->block);
  }
  ClearArchiveState(state);
  return 0;
}

// ---- Members ----

namespace {

int MemberFileOffset(const ArchiveFileState* member) {
  return static_cast<int>(member->archive->header.dataOffset + ArchiveEntryDataAddress(member->entry));
}

// Decodes a compressed member's packed bytes into a new `decoded`; false for a malformed stream.
// The stream is walked once without output first: its claimed size is allocated only when the
// stream really unpacks to it, so a small archive cannot ask for gigabytes.
bool DecodeMember(ArchiveFileState* member, const unsigned char* packed, int packedSize) {
  if (member->size >= 0 && MeasureArchiveLz(packed, packedSize) == member->size) {
    member->decoded = static_cast<unsigned char*>(ZV_ALLOC(member->size > 0 ? member->size : 1));
    if (!member->decoded) return false;
    if (UnpackArchiveLz(packed, packedSize, member->decoded, member->size) == member->size) return true;
    ZV_FREE(member->decoded);
    member->decoded = nullptr;
  }
  AddLogText("アーカイブ内のファイルの展開に失敗しました\n");
  return false;
}

}  // namespace

int OpenArchiveMember(ArchiveFileState* member, ArchiveState* archive, const char* innerPath, int asynchronous) {
  FileLayerGuard guard(FileLayerLock());
  WaitArchiveLoad(archive);
  const unsigned char* entry = FindArchiveFileEntry(innerPath, archive);
  if (!entry) return -1;
  std::memset(member, 0, sizeof(*member));
  member->archive = archive;
  member->entry = entry;
  member->asynchronous = asynchronous;
  member->size = static_cast<int>(ArchiveEntrySize(entry));
  const uint32_t packedSize = ArchiveEntryPackedSize(archive, entry);
  if (packedSize == kArchiveStoredMark) return 0;

  const int fileOffset = MemberFileOffset(member);
  if (archive->inMemory) {
    if (DecodeMember(member, static_cast<unsigned char*>(archive->source) + fileOffset, static_cast<int>(packedSize)))
      return 0;
    std::memset(member, 0, sizeof(*member));
    return -1;
  }
  // The packed bytes lie inside the archive file (the layout check saw to it), so this is bounded
  // by the file's own size.
  member->packed = static_cast<unsigned char*>(ZV_ALLOC(static_cast<int>(packedSize)));
  if (!member->packed) {
    std::memset(member, 0, sizeof(*member));
    return -1;
  }
  if (asynchronous) {
    StreamHandle stream = ArchiveStream(archive);
    member->pendingFilePosition = fileOffset;
    if (PlainFileSeek(stream, fileOffset, STREAM_SEEK_START) == 0 &&
        PlainFileRead(member->packed, static_cast<int>(packedSize), 1, stream) == 1) {
      member->pending = kPendingPackedData;
      return 0;
    }
  } else if (ReadArchiveBytes(fileOffset, ArchiveStream(archive), member->packed, static_cast<int>(packedSize),
                              archive->key) == 0 &&
             DecodeMember(member, member->packed, static_cast<int>(packedSize))) {
    ZV_FREE(member->packed);
    member->packed = nullptr;
    return 0;
  }
  ZV_FREE(member->packed);
  ZV_FREE(member->decoded);
  std::memset(member, 0, sizeof(*member));
  return -1;
}

int FinishArchiveMemberRead(ArchiveFileState* member) {
  FileLayerGuard guard(FileLayerLock());
  if (!member->asynchronous || member->pending == kPendingNothing) return 1;
  if (PlainFileIdleWait(ArchiveStream(member->archive)) == 0) return 0;
  if (member->pending == kPendingPackedData) {
    const int packedSize = static_cast<int>(ArchiveEntryPackedSize(member->archive, member->entry));
    XorArchiveBytes(packedSize, member->packed, static_cast<uint32_t>(member->pendingFilePosition),
                    member->archive->key);
    if (!DecodeMember(member, member->packed, packedSize)) member->size = 0;  // Reads find nothing.
    ZV_FREE(member->packed);
    member->packed = nullptr;
  } else {
    XorArchiveBytes(member->pendingLength, member->pendingDestination,
                    static_cast<uint32_t>(member->pendingFilePosition), member->archive->key);
  }
  member->pending = kPendingNothing;
  return 1;
}

int ReadArchiveMember(ArchiveFileState* member, void* buffer, int length) {
  FileLayerGuard guard(FileLayerLock());
  WaitMemberWork(member);
  if (member->eof || length <= 0) return 0;
  if (member->position >= member->size) {
    member->eof = 1;
    return 0;
  }
  if (length > member->size - member->position) length = member->size - member->position;
  ArchiveState* archive = member->archive;
  if (member->decoded) {
    std::memcpy(buffer, member->decoded + member->position, static_cast<size_t>(length));
  } else if (archive->inMemory) {
    std::memcpy(buffer, static_cast<unsigned char*>(archive->source) + MemberFileOffset(member) + member->position,
                static_cast<size_t>(length));
  } else {
    StreamHandle stream = ArchiveStream(archive);
    const int filePosition = MemberFileOffset(member) + member->position;
    if (PlainFileTell(stream) != filePosition && PlainFileSeek(stream, filePosition, STREAM_SEEK_START) != 0) return 0;
    if (member->asynchronous) {
      if (PlainFileRead(buffer, length, 1, stream) != 1) return 0;
      member->pendingFilePosition = filePosition;
      member->pendingDestination = static_cast<unsigned char*>(buffer);
      member->pendingLength = length;
      member->pending = kPendingStoredData;
    } else if (ReadArchiveBytes(-1, stream, buffer, length, archive->key) != 0) {
      return 0;
    }
  }
  member->position += length;
  member->eof = 0;
  return length;
}

int SeekArchiveMember(ArchiveFileState* member, int offset, int origin) {
  FileLayerGuard guard(FileLayerLock());
  WaitMemberWork(member);
  int64_t target = offset;
  if (origin == STREAM_SEEK_CURRENT) target += member->position;
  if (origin == STREAM_SEEK_END) target += member->size;
  if (target < 0) target = 0;
  if (target > member->size) target = member->size;
  member->position = static_cast<int>(target);
  member->eof = 0;
  return 0;
}

int TellArchiveMember(ArchiveFileState* member) {
  FileLayerGuard guard(FileLayerLock());
  WaitMemberWork(member);
  return member->position;
}

int EofArchiveMember(ArchiveFileState* member) {
  FileLayerGuard guard(FileLayerLock());
  WaitMemberWork(member);
  return member->eof ? -1 : 0;
}

int CloseArchiveMember(ArchiveFileState* member) {
  FileLayerGuard guard(FileLayerLock());
  WaitMemberWork(member);
  ZV_FREE(member->decoded);
  ZV_FREE(member->packed);
  std::memset(member, 0, sizeof(*member));
  return 0;
}
