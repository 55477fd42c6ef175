// Fuzz target: archives on disk, through the three ways of opening one: the header block with the
// file kept open (members read synchronously, or asynchronously with their bytes arriving from
// the file's worker), and the whole file read by the worker and finished lazily. The first byte
// picks the way; the rest is written to a file as the archive (an input that starts with the
// plain magic "ZV" is scrambled with the run-time key first, as in the in-memory target).
// Seeds: fuzz/corpus/archive_parser/, each with a steering byte ahead (fuzz/corpus/archive_disk).
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "files/archive_files.h"
#include "platform/kernel.h"

namespace {

// One private directory for the process; each input is written over the same file.
const std::string& ArchivePath(std::string* linuxPath) {
  static std::string linux, windows;
  if (windows.empty()) {
    char pattern[] = "/tmp/zyvel-fuzz-archive-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    linux = std::string(pattern) + "/A.ZVA";
    windows = platform::WindowsPathOf(linux);
  }
  *linuxPath = linux;
  return windows;
}

void ReadMembers(ArchiveState* archive, const std::string& directory, int depth, int asynchronous) {
  FileFindData data;
  ArchiveFindRecord* find = ArchiveFindFirst(archive, (directory + "*").c_str(), &data);
  if (!find) return;
  int members = 0;
  do {
    if (data.name[0] == '.') continue;
    const std::string path = directory + data.name;
    if (data.isDirectory) {
      if (depth < 3) ReadMembers(archive, path + "\\", depth + 1, asynchronous);
      continue;
    }
    if (++members > 16) break;
    ArchiveFileState member;
    if (OpenArchiveMember(&member, archive, path.c_str(), asynchronous) != 0) continue;
    unsigned char buffer[4096];
    SeekArchiveMember(&member, 5, 0);
    ReadArchiveMember(&member, buffer, 7);
    while (!FinishArchiveMemberRead(&member)) Sleep(0);
    SeekArchiveMember(&member, -3, 2);
    ReadArchiveMember(&member, buffer, sizeof(buffer));
    SeekArchiveMember(&member, 0, 0);
    for (int pieces = 0; pieces < 64 && ReadArchiveMember(&member, buffer, sizeof(buffer)) > 0; ++pieces) {
    }
    TellArchiveMember(&member);
    EofArchiveMember(&member);
    CloseArchiveMember(&member);
  } while (ArchiveFindNext(find, &data) == 0);
  ZV_FREE(find);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1u << 18)) return 0;
  const int way = data[0] % 4;
  std::vector<unsigned char> image(data + 1, data + size);
  if (image.size() >= 2 && image[0] == 'Z' && image[1] == 'V') {
    unsigned char key[kArchiveKeySize];
    BuildArchiveKey(nullptr, key);
    XorArchiveBytes(static_cast<int>(image.size()), image.data(), 0, key);
  }
  std::string linuxPath;
  const std::string& path = ArchivePath(&linuxPath);
  FILE* file = std::fopen(linuxPath.c_str(), "wb");
  if (!file) std::abort();
  if (!image.empty() && std::fwrite(image.data(), 1, image.size(), file) != image.size()) std::abort();
  std::fclose(file);

  ArchiveState archive;
  ClearArchiveState(&archive);
  const int opened = way < 2 ? OpenArchiveFileHeader(&archive, path.c_str(), nullptr)
                             : OpenArchiveFileWhole(&archive, path.c_str(), nullptr, way == 3);
  if (opened != 0) return 0;
  if (way == 3) {
    // Asked before the load has finished, then after.
    FinishArchiveLoad(&archive);
    GetArchiveFileInfo(&archive, "readme.txt", nullptr, nullptr);
  }
  ReadMembers(&archive, "", 0, way == 1);
  CloseArchiveState(&archive);
  return 0;
}
