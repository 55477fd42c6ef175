// Shared helpers of the file tests: a scratch directory, files on disk and archive trees.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "../../tools/zva-pack/archive_writer.h"
#include "files/archive_files.h"
#include "files/file_functions.h"
#include "platform/kernel.h"
#include "platform/testing.h"
#include "zyvel/runtime.h"

namespace files_test {

inline std::vector<unsigned char> RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<unsigned char> bytes(size);
  for (auto& b : bytes) b = static_cast<unsigned char>(random());
  return bytes;
}

// Text-like data with repeats near and far, so the packer uses every distance width.
inline std::vector<unsigned char> CompressibleBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<unsigned char> bytes;
  while (bytes.size() < size) {
    if (bytes.size() > 16 && random() % 3 == 0) {
      size_t distance = 1 + random() % std::min<size_t>(bytes.size(), random() % 2 ? 300 : 200000);
      size_t length = 4 + random() % 60;
      for (size_t i = 0; i < length && bytes.size() < size; ++i) bytes.push_back(bytes[bytes.size() - distance]);
    } else {
      bytes.push_back(static_cast<unsigned char>("abcdefgh \n"[random() % 10]));
    }
  }
  return bytes;
}

inline ArchiveWriterItem FileItem(const std::string& name, std::vector<unsigned char> data) {
  ArchiveWriterItem item;
  item.name = name;
  item.data = std::move(data);
  item.lastWriteTime = 133000000000000000ull;  // A day in 2022.
  item.creationTime = 132000000000000000ull;
  return item;
}

inline ArchiveWriterItem DirectoryItem(const std::string& name, std::vector<ArchiveWriterItem> children) {
  ArchiveWriterItem item;
  item.name = name;
  item.isDirectory = true;
  item.children = std::move(children);
  return item;
}

inline std::vector<unsigned char> PackTree(const ArchiveWriterItem& root, const ArchiveWriterOptions& options = {}) {
  std::vector<unsigned char> bytes;
  std::string error;
  EXPECT_TRUE(WriteArchive(root, options, &bytes, &error)) << error;
  return bytes;
}

inline void WriteDiskFile(const std::string& linuxPath, const std::vector<unsigned char>& bytes) {
  std::ofstream file(linuxPath, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(file.good()) << linuxPath;
}

inline std::vector<unsigned char> ReadDiskFile(const std::string& linuxPath) {
  std::ifstream file(linuxPath, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A fresh directory under /tmp, current while the test runs. Its Windows name is unique, so the
// archive look-up cache never carries a hit from one test into the next.
class ScratchDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::testing::ResetAll();
    char pattern[] = "/tmp/zyvel-files-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    char current[4096];
    ASSERT_NE(getcwd(current, sizeof(current)), nullptr);
    previous_ = current;
    ASSERT_EQ(chdir(root_.c_str()), 0);
    char windows[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, windows);
    windowsRoot_ = windows;
  }
  void TearDown() override {
    platform::testing::ResetAll();
    ReleaseUnusedArchives();
    EXPECT_EQ(chdir(previous_.c_str()), 0);
    std::string command = "rm -rf '" + root_ + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }
  // A path below the scratch directory, "/" separated, UTF-8.
  std::string Linux(const std::string& relative) const { return root_ + "/" + relative; }
  void MakeDirectories(const std::string& relative) const {
    std::string path = root_;
    size_t start = 0;
    while (start <= relative.size()) {
      size_t end = relative.find('/', start);
      if (end == std::string::npos) end = relative.size();
      path += '/';
      path += relative.substr(start, end - start);
      mkdir(path.c_str(), 0755);
      start = end + 1;
    }
  }

  std::string root_;
  std::string windowsRoot_;  // "C:\TMP\..." as the library sees it.
  std::string previous_;
};

}  // namespace files_test
