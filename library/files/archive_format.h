// The archive format ("ZVA"): a header, a header block holding the name, file and directory
// tables, and a data area of stored or LZ-compressed members; every byte of the file is XORed
// with a 12-byte key by its file offset. All integers are little-endian.
//
// Every offset, count and size in an archive is checked against the data when the archive is
// opened (`CheckArchiveLayout`), so the look-ups below never leave the header block.
#pragma once

#include <cstdint>

#include "zyvel/files.h"

constexpr int kArchiveKeySize = 12;
constexpr int kArchiveHeaderSize = 24;    // Versions 0 to 3.
constexpr int kArchiveHeaderSizeV4 = 28;  // Version 4 adds the code page.
constexpr int kArchiveMaxVersion = 4;
constexpr int kArchiveDirectorySize = 16;
constexpr int kArchiveLzHeadSize = 9;
constexpr uint32_t kArchiveStoredMark = 0xFFFFFFFFu;  // Packed size of a stored member.
constexpr uint32_t kArchiveNoParent = 0xFFFFFFFFu;
constexpr uint32_t kArchiveDirectoryAttribute = 0x10;

// The largest output an LZ stream can give per input byte: a 4-byte token copies 8,195 bytes.
constexpr int64_t kArchiveLzMaxExpansion = 2049;

inline uint32_t ReadArchiveU32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
inline uint16_t ReadArchiveU16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

struct ArchiveHeader {
  uint16_t magic;
  uint16_t version;
  uint32_t blockSize;
  uint32_t dataOffset;
  uint32_t blockOffset;
  uint32_t fileTableOffset;
  uint32_t directoryTableOffset;
  uint32_t codePage;  // Version 4 only, else 0.
};

// One open archive.
struct ArchiveState {
  ArchiveHeader header;
  int charSet;
  // Header-block mode: the archive file's plain-file stream. In-memory modes: the image.
  void* source;
  unsigned char* block;
  unsigned char* fileTable;
  unsigned char* directoryTable;
  unsigned char* nameTable;
  uint32_t currentDirectory;  // Offset of its record in the directory table; 0 is the root.
  unsigned char key[kArchiveKeySize];
  int inMemory;
  int callerImage;
  int imageSize;
  int loadPending;
  StreamHandle loadStream;
  int archiveSize;  // Bytes in the archive file or image: the bound of every member's data.
  int entrySize;    // 40 bytes in versions 0 and 1, 44 from version 2.
};

// The search form of one path component: the key name as an entry stores it.
struct ArchiveNameKey {
  unsigned char name[1024];
  uint16_t check;
  uint16_t length;  // In 4-byte units.
};

struct ArchiveFindRecord {
  ArchiveState* archive;
  char pattern[260];  // Upper-cased.
  uint32_t directory;
  int next;
};

// ---- File entries (the fields of an `ArchiveFileEntry`) ----
inline uint32_t ArchiveEntryNameOffset(const unsigned char* entry) { return ReadArchiveU32(entry); }
inline uint32_t ArchiveEntryAttributes(const unsigned char* entry) { return ReadArchiveU32(entry + 4); }
inline bool ArchiveEntryIsDirectory(const unsigned char* entry) {
  return (ArchiveEntryAttributes(entry) & kArchiveDirectoryAttribute) != 0;
}
inline uint32_t ArchiveEntryDataAddress(const unsigned char* entry) { return ReadArchiveU32(entry + 32); }
inline uint32_t ArchiveEntrySize(const unsigned char* entry) { return ReadArchiveU32(entry + 36); }
// The LZ stream's length, or kArchiveStoredMark for a stored member (always so below version 2).
uint32_t ArchiveEntryPackedSize(const ArchiveState* archive, const unsigned char* entry);

// ---- Key and scrambling ----
// The run-time key: from the key text (null or empty: none), or the second key of the fallback.
void BuildArchiveKey(const char* keyText, unsigned char key[kArchiveKeySize]);
void BuildSecondArchiveKey(unsigned char key[kArchiveKeySize]);
// XORs `count` bytes that lie at `fileOffset` in the archive; its own inverse.
void XorArchiveBytes(int count, void* buffer, uint32_t fileOffset, const unsigned char* key);
// Reads `length` bytes at `fileOffset` (-1: the stream's position) of a plain-file archive stream,
// waits for them and unscrambles them. -1 when fewer bytes arrived.
int ReadArchiveBytes(int fileOffset, StreamHandle stream, void* buffer, int length, const unsigned char* key);

// ---- Header and layout ----
int CharSetOfCodePage(uint32_t codePage);
// Reads the (unscrambled) header; `available` bytes are at `bytes`. -1 for a wrong magic, a
// version above 4 or too few bytes.
int ParseArchiveHeader(const unsigned char* bytes, int available, ArchiveHeader* header);
inline int ArchiveHeaderSize(const ArchiveHeader& header) {
  return header.version >= 4 ? kArchiveHeaderSizeV4 : kArchiveHeaderSize;
}
// With `block` and `archiveSize` set: sets the table pointers, the character set and the entry
// size, then checks every directory reachable from the root (records, entry ranges, names,
// member data ranges). -1 refuses the archive.
int CheckArchiveLayout(ArchiveState* archive);

// ---- LZ decoder ----
// Decodes the stream of `streamLength` bytes into `out` (`outCapacity` bytes) and returns the
// unpacked size; with a null `out` only the size in the head is returned. -1 for a malformed
// stream: a head that does not fit, a token cut short, a copy from before the output's start or
// beyond its end, a distance width of 3, or fewer bytes than the head promised.
int UnpackArchiveLz(const void* stream, int streamLength, void* out, int outCapacity);
// The size the stream really unpacks to, found without writing anything (the checks above apply),
// or -1 for a malformed stream: a member's claimed size is tried with it before it is allocated.
int MeasureArchiveLz(const void* stream, int streamLength);

// ---- Names, directories, look-ups ----
// The key of the component at the start of `text` (up to "\\", "/" or NUL); `consumed` gets its
// length. -1 when the component is too long to be any name.
int MakeArchiveNameKey(ArchiveNameKey* key, const ArchiveState* archive, const char* text, int* consumed);
// Makes the subdirectory of the current directory named by `key` current; 1 when found, else 0.
int FindArchiveSubdirectory(ArchiveState* archive, const ArchiveNameKey* key);
int ChangeArchiveDirectory(ArchiveState* archive, const char* path, int restoreOnFailure, ArchiveNameKey* keyOut);
// The entry of the file at `path` (relative to the current directory), or null.
const unsigned char* FindArchiveFileEntry(const char* path, ArchiveState* archive);
// Splits at the last "\\", "/" or ":": each output holds 260 bytes. -1 when a part does not fit.
int SplitArchivePath(const char* path, const ArchiveState* archive, char* fileOut, char* directoryOut);
// 0 on a match, -1 otherwise (byte-wise, case-sensitive, no back-tracking).
int MatchArchiveWildcard(const char* name, const char* pattern, const ArchiveState* archive);
// A directory search; null when nothing matches.
ArchiveFindRecord* ArchiveFindFirst(ArchiveState* archive, const char* pathPattern, FileFindData* out);
int ArchiveFindNext(ArchiveFindRecord* find, FileFindData* out);
