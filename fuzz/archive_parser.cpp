// Fuzz target: archive images through the parser, the layout check, directory searches, name
// look-ups and member reads. An input that starts with the plain magic "ZV" is scrambled with the
// run-time key first, so mutations act on the archive's structure; other inputs are taken as
// scrambled archives (as zva-pack writes them).
//
// Seeds in fuzz/corpus/archive_parser/ were made by zva-pack over a small tree of text files and
// nested directories ("zva-pack v4.zva tree", "-v 1", "--compress-all --second-key", and
// "-v 2 --compress-all" over one file); v4-plain.zva is v4.zva unscrambled with the run-time key.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "files/archive_files.h"

namespace {

void ReadMembers(ArchiveState* archive, const std::string& directory, int depth) {
  FileFindData data;
  const std::string pattern = directory + "*";
  ArchiveFindRecord* find = ArchiveFindFirst(archive, pattern.c_str(), &data);
  if (!find) return;
  do {
    if (data.name[0] == '.') continue;
    const std::string path = directory + data.name;
    if (data.isDirectory) {
      if (depth < 4) ReadMembers(archive, path + "\\", depth + 1);
      continue;
    }
    ArchiveFileState member;
    if (OpenArchiveMember(&member, archive, path.c_str(), 0) != 0) continue;
    unsigned char buffer[4096];
    SeekArchiveMember(&member, 3, 0);
    ReadArchiveMember(&member, buffer, 10);
    SeekArchiveMember(&member, 0, 0);
    while (ReadArchiveMember(&member, buffer, sizeof(buffer)) > 0) {
    }
    CloseArchiveMember(&member);
  } while (ArchiveFindNext(find, &data) == 0);
  ZV_FREE(find);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  std::vector<unsigned char> image(data, data + size);
  if (size >= 2 && image[0] == 'Z' && image[1] == 'V') {
    unsigned char key[kArchiveKeySize];
    BuildArchiveKey(nullptr, key);
    XorArchiveBytes(static_cast<int>(size), image.data(), 0, key);
  }
  const std::vector<unsigned char> before = image;
  ArchiveState archive;
  ClearArchiveState(&archive);
  if (OpenArchiveInMemory(&archive, image.data(), static_cast<int>(image.size()), nullptr) != 0) {
    if (image != before) std::abort();
    return 0;
  }
  ReadMembers(&archive, "", 0);
  FindArchiveFileEntry("a\\b\\c.txt", &archive);
  int position = 0, length = 0;
  GetArchiveFileInfo(&archive, "readme.txt", &position, &length);
  CloseArchiveState(&archive);
  if (image != before) std::abort();  // The caller's image must come back unchanged.
  return 0;
}
