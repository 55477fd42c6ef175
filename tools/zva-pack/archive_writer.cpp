// Archive layout as written here: the header, the data area right after it, then the header
// block (name table, file table, directory table, each 4-aligned). Directories are numbered
// breadth first, so the root's record is at offset 0 and each directory's entries are contiguous.
#include <cstring>
#include <deque>

#include "archive_writer.h"
#include "files/archive_format.h"

namespace {

struct PendingDirectory {
  const ArchiveWriterItem* item;
  uint32_t parentRecord;
  uint32_t record;
};

void Put16(std::vector<unsigned char>& out, uint16_t value) {
  out.push_back(static_cast<unsigned char>(value));
  out.push_back(static_cast<unsigned char>(value >> 8));
}
void Put32(std::vector<unsigned char>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}
void Put64(std::vector<unsigned char>& out, uint64_t value) {
  Put32(out, static_cast<uint32_t>(value));
  Put32(out, static_cast<uint32_t>(value >> 32));
}
void Align4(std::vector<unsigned char>& out) {
  while (out.size() % 4) out.push_back(0);
}

bool IsLeadByte(unsigned char byte, int charSet) {
  if (charSet >= 2) return byte & 0x80;
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// The key name: a to z upper-cased, double-byte characters kept, 1 to 4 zero bytes of padding.
std::vector<unsigned char> KeyNameOf(const std::string& name, int charSet) {
  std::vector<unsigned char> key;
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (IsLeadByte(c, charSet) && i + 1 < name.size()) {
      key.push_back(c);
      key.push_back(static_cast<unsigned char>(name[++i]));
      continue;
    }
    key.push_back(c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c);
  }
  do key.push_back(0);
  while (key.size() % 4);
  return key;
}

// A "\\" that is the trail byte of a double-byte character is part of the name.
bool HasSeparator(const std::string& name, int charSet) {
  for (size_t i = 0; i < name.size(); ++i) {
    if (IsLeadByte(static_cast<unsigned char>(name[i]), charSet) && i + 1 < name.size()) {
      ++i;
      continue;
    }
    if (name[i] == '\\' || name[i] == '/') return true;
  }
  return false;
}

// A directory name whose last byte reads as a lead byte would swallow the separator after it, so
// no path could pass through that directory.
bool EndsInLeadByte(const std::string& name, int charSet) {
  for (size_t i = 0; i < name.size(); ++i) {
    if (IsLeadByte(static_cast<unsigned char>(name[i]), charSet)) {
      if (i + 1 == name.size()) return true;
      ++i;
    }
  }
  return false;
}

}  // namespace

bool WriteArchive(const ArchiveWriterItem& root, const ArchiveWriterOptions& options, std::vector<unsigned char>* out,
                  std::string* error) {
  if (options.version < 0 || options.version > 4) {
    *error = "version must be 0 to 4";
    return false;
  }
  const int charSet = options.version >= 4 ? CharSetOfCodePage(options.codePage) : 0;
  const int headerSize = options.version >= 4 ? 28 : 24;
  const int entrySize = options.version >= 2 ? 44 : 40;
  const bool mayCompress = options.version >= 2 && options.compression != ArchiveCompression::Store;

  std::vector<unsigned char> data;  // The data area.
  std::vector<unsigned char> names, files, directories;

  // Breadth first: every directory's record and entry range is known before its children.
  std::deque<PendingDirectory> queue;
  uint32_t nextRecord = 0;
  queue.push_back({&root, kArchiveNoParent, nextRecord});
  nextRecord += kArchiveDirectorySize;
  std::vector<std::pair<uint32_t, std::vector<unsigned char>>> records;
  while (!queue.empty()) {
    PendingDirectory directory = queue.front();
    queue.pop_front();
    std::vector<unsigned char> record;
    Put32(record, 0);
    Put32(record, directory.parentRecord);
    Put32(record, static_cast<uint32_t>(directory.item->children.size()));
    Put32(record, static_cast<uint32_t>(files.size()));
    records.push_back({directory.record, record});

    std::vector<std::vector<unsigned char>> seen;
    for (const ArchiveWriterItem& child : directory.item->children) {
      if (child.name.empty() || HasSeparator(child.name, charSet)) {
        *error = "bad name \"" + child.name + "\"";
        return false;
      }
      if (child.isDirectory && EndsInLeadByte(child.name, charSet)) {
        *error = "directory \"" + child.name +
                 "\" ends in a byte that readers take for the first of a double-byte character, so no path "
                 "can pass through it";
        return false;
      }
      std::vector<unsigned char> key = KeyNameOf(child.name, charSet);
      for (const auto& other : seen) {
        if (other == key) {
          *error = "two entries named \"" + child.name + "\" in one directory";
          return false;
        }
      }
      seen.push_back(key);
      if (key.size() / 4 > 0xFFFF) {
        *error = "name too long";
        return false;
      }
      Align4(names);
      const uint32_t nameOffset = static_cast<uint32_t>(names.size());
      uint16_t check = 0;
      for (unsigned char b : key) check = static_cast<uint16_t>(check + b);
      Put16(names, static_cast<uint16_t>(key.size() / 4));
      Put16(names, check);
      names.insert(names.end(), key.begin(), key.end());
      names.insert(names.end(), child.name.begin(), child.name.end());
      names.push_back(0);

      uint32_t address = 0, packed = kArchiveStoredMark;
      if (child.isDirectory) {
        address = nextRecord;
        queue.push_back({&child, directory.record, nextRecord});
        nextRecord += kArchiveDirectorySize;
      } else {
        address = static_cast<uint32_t>(data.size());
        std::vector<unsigned char> lz;
        if (mayCompress) lz = PackArchiveLz(child.data.data(), child.data.size());
        if (mayCompress && (options.compression == ArchiveCompression::Always || lz.size() < child.data.size())) {
          packed = static_cast<uint32_t>(lz.size());
          data.insert(data.end(), lz.begin(), lz.end());
        } else {
          data.insert(data.end(), child.data.begin(), child.data.end());
        }
      }
      Put32(files, nameOffset);
      Put32(files, child.isDirectory ? 0x10u : 0x20u);
      Put64(files, child.creationTime);
      Put64(files, child.lastAccessTime);
      Put64(files, child.lastWriteTime);
      Put32(files, address);
      Put32(files, child.isDirectory ? 0u : static_cast<uint32_t>(child.data.size()));
      if (entrySize == 44) Put32(files, packed);
    }
  }
  directories.resize(nextRecord);
  for (const auto& [offset, record] : records) std::memcpy(directories.data() + offset, record.data(), record.size());

  std::vector<unsigned char> block = names;
  Align4(block);
  const uint32_t fileTableOffset = static_cast<uint32_t>(block.size());
  block.insert(block.end(), files.begin(), files.end());
  Align4(block);
  const uint32_t directoryTableOffset = static_cast<uint32_t>(block.size());
  block.insert(block.end(), directories.begin(), directories.end());

  const uint64_t total = static_cast<uint64_t>(headerSize) + data.size() + block.size();
  if (total > 0x7FFFFFFF) {
    *error = "an archive must stay below 2 GB";
    return false;
  }
  std::vector<unsigned char>& bytes = *out;
  bytes.clear();
  bytes.push_back('Z');
  bytes.push_back('V');
  Put16(bytes, static_cast<uint16_t>(options.version));
  Put32(bytes, static_cast<uint32_t>(block.size()));
  Put32(bytes, static_cast<uint32_t>(headerSize));                // The data area follows the header.
  Put32(bytes, static_cast<uint32_t>(headerSize + data.size()));  // The block comes last.
  Put32(bytes, fileTableOffset);
  Put32(bytes, directoryTableOffset);
  if (options.version >= 4) Put32(bytes, options.codePage);
  bytes.insert(bytes.end(), data.begin(), data.end());
  bytes.insert(bytes.end(), block.begin(), block.end());

  unsigned char key[kArchiveKeySize];
  if (options.secondKey)
    BuildSecondArchiveKey(key);
  else
    BuildArchiveKey(nullptr, key);
  XorArchiveBytes(static_cast<int>(bytes.size()), bytes.data(), 0, key);
  return true;
}
