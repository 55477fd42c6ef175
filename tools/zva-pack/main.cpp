// zva-pack: packs a directory tree into a ZVA archive.
//
//   zva-pack [-v VERSION] [-c CODEPAGE] [--store | --compress-all] [--second-key] OUTPUT INPUT_DIR
//
// Names are taken from the file system (UTF-8) and written in the archive's code page (932 unless
// -c names another, which only version 4 can record); a name that code page cannot hold is
// refused, since a stand-in character would make it unreachable. By default members are
// LZ-compressed where that saves space (versions 2 to 4); version 4 is written unless asked.
#include <errno.h>
#include <iconv.h>
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

namespace {

constexpr uint64_t kFileTimeUnixEpoch = 116444736000000000ull;

uint64_t FileTimeOf(const timespec& time) {
  return kFileTimeUnixEpoch + static_cast<uint64_t>(time.tv_sec) * 10000000u +
         static_cast<uint64_t>(time.tv_nsec) / 100u;
}

// File names from UTF-8 into the archive's code page, strictly: no stand-in characters.
class NameConverter {
 public:
  explicit NameConverter(uint32_t codePage) : codePage_(codePage) {
    const std::string target = codePage == 65001 ? "UTF-8" : "CP" + std::to_string(codePage);
    converter_ = iconv_open(target.c_str(), "UTF-8");
  }
  ~NameConverter() {
    if (Usable()) iconv_close(converter_);
  }
  NameConverter(const NameConverter&) = delete;
  NameConverter& operator=(const NameConverter&) = delete;

  bool Usable() const { return converter_ != reinterpret_cast<iconv_t>(-1); }

  bool Convert(const std::string& utf8, std::string* out) const {
    iconv(converter_, nullptr, nullptr, nullptr, nullptr);
    std::string result(utf8.size() * 4 + 8, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* at = result.data();
    size_t outLeft = result.size();
    if (iconv(converter_, &in, &inLeft, &at, &outLeft) == static_cast<size_t>(-1) ||
        iconv(converter_, nullptr, nullptr, &at, &outLeft) == static_cast<size_t>(-1))
      return false;
    result.resize(result.size() - outLeft);
    *out = std::move(result);
    return true;
  }

  uint32_t CodePage() const { return codePage_; }

 private:
  uint32_t codePage_;
  iconv_t converter_;
};

bool ReadTree(const std::filesystem::path& directory, const NameConverter& names, ArchiveWriterItem* item,
              std::string* error) {
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
    if (!names.Convert(path.filename().string(), &child.name)) {
      *error = path.string() + ": the name cannot be written in code page " + std::to_string(names.CodePage());
      return false;
    }
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
      if (!ReadTree(path, names, &child, error)) return false;
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
               "  -c CODEPAGE     code page of the names (default 932; another needs version 4)\n"
               "  --store         store every file uncompressed\n"
               "  --compress-all  compress every file, even where that does not save space\n"
               "  --second-key    scramble with the readers' fallback key\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  ArchiveWriterOptions options;
  bool codePageGiven = false;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "-v" && i + 1 < argc) {
      options.version = std::atoi(argv[++i]);
    } else if (argument == "-c" && i + 1 < argc) {
      const char* text = argv[++i];
      char* end = nullptr;
      const unsigned long codePage = std::strtoul(text, &end, 10);
      if (*text < '0' || *text > '9' || *end != 0 || codePage == 0 || codePage > 65535) return Usage();
      options.codePage = static_cast<uint32_t>(codePage);
      codePageGiven = true;
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
  // Older versions record no code page: their readers take the names as code page 932.
  if (codePageGiven && options.codePage != 932 && options.version < 4) {
    std::fprintf(stderr, "zva-pack: -c %u needs version 4: older archives carry no code page\n", options.codePage);
    return 2;
  }
  if (options.version < 4) options.codePage = 932;
  const NameConverter names(options.codePage);
  if (!names.Usable()) {
    std::fprintf(stderr, "zva-pack: code page %u is not known to iconv\n", options.codePage);
    return 2;
  }

  ArchiveWriterItem root;
  root.isDirectory = true;
  std::string error;
  std::vector<unsigned char> bytes;
  if (!ReadTree(positional[1], names, &root, &error) || !WriteArchive(root, options, &bytes, &error)) {
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
