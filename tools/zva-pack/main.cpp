// zva-pack: packs a directory tree into a ZVA archive.
//
//   zva-pack [-v VERSION] [-c CODEPAGE] [--store | --compress-all] [--second-key] OUTPUT INPUT_DIR
//
// Names are taken from the file system (UTF-8) and written in code page 932. By default members
// are LZ-compressed where that saves space (versions 2 to 4); version 4 is written unless asked.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "archive_writer.h"
#include "platform/kernel.h"

namespace {

constexpr uint64_t kFileTimeUnixEpoch = 116444736000000000ull;

uint64_t FileTimeOf(const timespec& time) {
  return kFileTimeUnixEpoch + static_cast<uint64_t>(time.tv_sec) * 10000000u + static_cast<uint64_t>(time.tv_nsec) / 100u;
}

bool ReadTree(const std::filesystem::path& directory, ArchiveWriterItem* item, std::string* error) {
  std::vector<std::filesystem::path> entries;
  std::error_code code;
  for (const auto& entry : std::filesystem::directory_iterator(directory, code)) entries.push_back(entry.path());
  if (code) {
    *error = directory.string() + ": " + code.message();
    return false;
  }
  std::sort(entries.begin(), entries.end());
  for (const auto& path : entries) {
    ArchiveWriterItem child;
    child.name = platform::Utf8ToCp932(path.filename().string());
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
      *error = path.string() + ": cannot be read";
      return false;
    }
    child.creationTime = FileTimeOf(info.st_ctim);
    child.lastAccessTime = FileTimeOf(info.st_atim);
    child.lastWriteTime = FileTimeOf(info.st_mtim);
    if (S_ISDIR(info.st_mode)) {
      child.isDirectory = true;
      if (!ReadTree(path, &child, error)) return false;
    } else {
      std::ifstream file(path, std::ios::binary);
      if (!file) {
        *error = path.string() + ": cannot be read";
        return false;
      }
      child.data.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    item->children.push_back(std::move(child));
  }
  return true;
}

int Usage() {
  std::fprintf(stderr,
               "usage: zva-pack [-v VERSION] [-c CODEPAGE] [--store | --compress-all] [--second-key] "
               "OUTPUT INPUT_DIR\n"
               "  -v VERSION      archive version 0 to 4 (default 4; below 2 every file is stored)\n"
               "  -c CODEPAGE     code page of the names, written in version 4 (default 932)\n"
               "  --store         store every file uncompressed\n"
               "  --compress-all  compress every file, even where that does not save space\n"
               "  --second-key    scramble with the readers' fallback key\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  ArchiveWriterOptions options;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "-v" && i + 1 < argc) {
      options.version = std::atoi(argv[++i]);
    } else if (argument == "-c" && i + 1 < argc) {
      options.codePage = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (argument == "--store") {
      options.compression = ArchiveCompression::Store;
    } else if (argument == "--compress-all") {
      options.compression = ArchiveCompression::Always;
    } else if (argument == "--second-key") {
      options.secondKey = true;
    } else if (!argument.empty() && argument[0] == '-') {
      return Usage();
    } else {
      positional.push_back(argument);
    }
  }
  if (positional.size() != 2) return Usage();

  ArchiveWriterItem root;
  root.isDirectory = true;
  std::string error;
  std::vector<unsigned char> bytes;
  if (!ReadTree(positional[1], &root, &error) || !WriteArchive(root, options, &bytes, &error)) {
    std::fprintf(stderr, "zva-pack: %s\n", error.c_str());
    return 1;
  }
  std::ofstream output(positional[0], std::ios::binary | std::ios::trunc);
  output.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!output) {
    std::fprintf(stderr, "zva-pack: %s: cannot be written\n", positional[0].c_str());
    return 1;
  }
  return 0;
}
