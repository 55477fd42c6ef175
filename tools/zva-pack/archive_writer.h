// The archive writer of zva-pack: builds a scrambled ZVA archive in memory from a tree of items.
// It shares only the key builder with the library; names, tables and the LZ packer are its own,
// so that archives it writes check the reader rather than mirror it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ArchiveWriterItem {
  std::string name;  // In the archive's code page (932 below version 4), no separators.
  bool isDirectory = false;
  std::vector<unsigned char> data;
  uint64_t creationTime = 0;  // FILETIME values.
  uint64_t lastAccessTime = 0;
  uint64_t lastWriteTime = 0;
  std::vector<ArchiveWriterItem> children;
};

enum class ArchiveCompression {
  Store,        // Every member stored.
  WhenSmaller,  // LZ where it saves space (versions 2 to 4).
  Always,       // LZ for every file (versions 2 to 4).
};

struct ArchiveWriterOptions {
  int version = 4;          // 0 to 4; below 2 every member is stored.
  uint32_t codePage = 932;  // Written in version 4 only.
  ArchiveCompression compression = ArchiveCompression::WhenSmaller;
  bool secondKey = false;  // Scramble with the readers' fallback key.
};

// The archive's bytes, scrambled; false with a reason for duplicate names, a directory name
// ending in a lead byte, a bad version or an archive of 2 GB or more.
bool WriteArchive(const ArchiveWriterItem& root, const ArchiveWriterOptions& options, std::vector<unsigned char>* out,
                  std::string* error);

// One LZ stream (head and body) for `size` bytes; the escape byte is the least frequent byte.
std::vector<unsigned char> PackArchiveLz(const unsigned char* data, size_t size);
