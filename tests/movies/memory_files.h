// Files served from memory through a FileFunctionTable, so a decoder or a loader reads test bytes
// exactly as it reads a file (Open, Close, Tell, Seek, Read and Eof; the rest refuse). Each file
// counts the bytes read from it over all its streams.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zyvel/files.h"
#include "zyvel/runtime.h"

namespace movie_test {

struct MemoryFile {
  std::vector<uint8_t> bytes;
  int64_t bytesRead = 0;  // Over every stream opened on the file.
  int opens = 0;
  int closes = 0;
};

// The table; Open finds the files added below by their exact name.
const FileFunctionTable* MemoryFileTable();
// Adds (or replaces) a named file; the result stays valid until the files are cleared.
std::shared_ptr<MemoryFile> AddMemoryFile(const std::string& name, std::vector<uint8_t> bytes);
void ClearMemoryFiles();

// A stream on a file not added by name (closed through the table's Close).
StreamHandle OpenMemoryFile(const std::shared_ptr<MemoryFile>& file);

}  // namespace movie_test
