// Open archives and their members, the open-archive and open-file tables of the archive-aware
// file functions, and the look-up of the archive that serves a path.
#pragma once

#include "files/archive_format.h"

constexpr int kMaxOpenArchives = 512;
constexpr int kMaxOpenFiles = 512;
constexpr uintptr_t kArchiveAwareHandleMark = 0xF0000000u;
constexpr int kArchivePathSize = 256;

// What an asynchronous member read has left to finish.
enum ArchivePendingRead {
  kPendingNothing = 0,
  kPendingPackedData = 1,  // The whole packed member is being read; it is decoded when it arrives.
  kPendingStoredData = 2,  // A read of stored data is in flight; it is unmasked when it arrives.
};

// One member file being read.
struct ArchiveFileState {
  ArchiveState* archive;
  const unsigned char* entry;
  unsigned char* decoded;  // The whole unpacked data of a compressed member.
  unsigned char* packed;   // The packed data while its asynchronous read runs.
  int eof;
  int position;
  int asynchronous;
  int pending;  // ArchivePendingRead
  int pendingFilePosition;
  unsigned char* pendingDestination;
  int pendingLength;
  int size;
};

struct ArchiveSlot {
  int refCount;
  ArchiveState state;
  char path[kArchivePathSize];
};

// Fixed in this program: archives first, no key text, the extension "ZVA".
struct ArchiveSettings {
  int plainFirst = 0;
  int useKeyText = 0;
  char keyText[16] = {0};
  char extension[64] = {0};
  int extensionLength = 0;
};

// ---- Archive states ----
int ClearArchiveState(ArchiveState* state);
// Unscrambles the caller's image in place while it is open; closing scrambles it back.
int OpenArchiveInMemory(ArchiveState* state, void* image, int size, const char* keyText);
int OpenArchiveFileWhole(ArchiveState* state, const char* path, const char* keyText, int asynchronous);
int OpenArchiveFileHeader(ArchiveState* state, const char* path, const char* keyText);
int FinishArchiveLoad(ArchiveState* state);
void* GetArchiveImage(ArchiveState* state);
int GetArchiveFileInfo(ArchiveState* state, const char* path, int* outPosition, int* outSize);
int CloseArchiveState(ArchiveState* state);

// ---- The open-archive table ----
int OpenArchiveSlot(int hint, const char* path, int wholeFile, int asynchronous);
void CloseUnusedArchives();
// The upper-cased full path of `path` against the current directory; -1 when it does not fit.
int NormalizeArchivePath(char* out, const char* path);
// The archive for `path`: its slot (holding one more reference), its path and the path inside it.
int FindArchiveForPath(const char* path, int* outIndex, char* outArchivePath, char* outInnerPath);
// Test door: the slot's reference count, -1 for a free slot; the number of open archives.
int ArchiveSlotReferences(int index);
int OpenArchiveCount();

// ---- Members ----
int OpenArchiveMember(ArchiveFileState* member, ArchiveState* archive, const char* innerPath, int asynchronous);
int FinishArchiveMemberRead(ArchiveFileState* member);
int ReadArchiveMember(ArchiveFileState* member, void* buffer, int length);
int SeekArchiveMember(ArchiveFileState* member, int offset, int origin);
int TellArchiveMember(ArchiveFileState* member);
int EofArchiveMember(ArchiveFileState* member);
int CloseArchiveMember(ArchiveFileState* member);
