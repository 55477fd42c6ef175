// Shared helpers of the integration tests: the library started in a directory of its own (start-up
// writes Log.txt into the current directory, and the suites run side by side), fixture files,
// files and archives written into that directory, and the log read back.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "../../tools/zva-pack/archive_writer.h"
#include "platform/kernel.h"
#include "platform/testing.h"
#include "runtime/runtime_state.h"
#include "runtime/tracked_heap.h"
#include "window/window_services.h"
#include "zyvel/graphics.h"
#include "zyvel/runtime.h"

namespace integration_test {

typedef std::vector<unsigned char> Bytes;

inline Bytes ReadBytes(const std::string& linuxPath) {
  std::ifstream file(linuxPath, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A file of tests/fixtures/ ("images/tga24.tga", "sound/tone_mono.wav", ...).
inline Bytes ReadFixture(const std::string& relative) {
  Bytes bytes = ReadBytes(std::string(ZYVEL_SOURCE_DIR) + "/tests/fixtures/" + relative);
  EXPECT_FALSE(bytes.empty()) << "fixture missing: " << relative;
  return bytes;
}

inline Bytes Prefix(const Bytes& bytes, size_t length) {
  return Bytes(bytes.begin(), bytes.begin() + static_cast<long>(std::min(length, bytes.size())));
}

// One member of an archive tree, by its path inside the archive ("img\\a.png").
struct Member {
  std::string path;
  Bytes data;
};

// The components of a member path; a 0x5C trail byte of a double-byte character is no separator.
inline std::vector<std::string> SplitMemberPath(const std::string& path) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) && i + 1 < path.size()) {
      parts.back() += path.substr(i++, 2);
    } else if (c == '\\') {
      parts.emplace_back();
    } else {
      parts.back() += path[i];
    }
  }
  return parts;
}

// The tree the writer wants, built from member paths.
inline ArchiveWriterItem TreeOf(const std::vector<Member>& members) {
  ArchiveWriterItem root;
  root.isDirectory = true;
  for (const Member& member : members) {
    const std::vector<std::string> parts = SplitMemberPath(member.path);
    ArchiveWriterItem* directory = &root;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
      ArchiveWriterItem* found = nullptr;
      for (ArchiveWriterItem& child : directory->children)
        if (child.isDirectory && child.name == parts[i]) found = &child;
      if (!found) {
        ArchiveWriterItem child;
        child.name = parts[i];
        child.isDirectory = true;
        directory->children.push_back(child);
        found = &directory->children.back();
      }
      directory = found;
    }
    ArchiveWriterItem file;
    file.name = parts.back();
    file.data = member.data;
    directory->children.push_back(file);
  }
  return root;
}

inline Bytes PackArchive(const std::vector<Member>& members, ArchiveCompression compression) {
  ArchiveWriterOptions options;
  options.compression = compression;
  Bytes bytes;
  std::string error;
  EXPECT_TRUE(WriteArchive(TreeOf(members), options, &bytes, &error)) << error;
  return bytes;
}

// The library started as the game starts it (headless: SDL's dummy drivers, sound mixed only when
// a test asks, a sound thread), in a fresh current directory that is removed afterwards. Shut-down must leave no
// tracked block behind.
class StartedLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::testing::ResetAll();
    platform::testing::ResetSoundSwitches();
    platform::testing::UseDummyVideoDriver();
    platform::testing::UseSoundDriver("dummy");
    platform::testing::UseManualSoundMixing(true);
    platform::testing::SetProcessorCount(2);  // The sound thread runs whatever the machine.
    platform::testing::SetDisplayModes({{640, 480, 32, 60}, {1024, 768, 32, 60}}, {1024, 768, 32, 60});
    platform::testing::CaptureDebugOutput([](const std::string&) {});
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof(previous)), nullptr);
    previousDirectory_ = previous;
    char pattern[] = "/tmp/zyvel-integration-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
    platform::testing::SetWindowLockDirectory(directory_);
    ASSERT_EQ(chdir(directory_.c_str()), 0);
    g_windowSystem = WindowSystemRecord{};
    g_runtime = RuntimeRecord{};
    SetScreenMode(640, 480, 32, 60);
    BeforeStart();
    ASSERT_EQ(InitializeLibrary(), 0);
    started_ = true;
  }

  void TearDown() override {
    if (started_) {
      EXPECT_EQ(FinishLibrary(), 0);
      EXPECT_NE(ReadLog().find("Alloc num:0"), std::string::npos) << "tracked blocks left at shut-down";
    }
    g_windowSystem = WindowSystemRecord{};
    g_runtime = RuntimeRecord{};
    platform::testing::CaptureDebugOutput({});
    platform::testing::ResetSoundSwitches();
    platform::testing::ResetAll();
    EXPECT_EQ(chdir(previousDirectory_.c_str()), 0);
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }

  // The last word on the platform's switches before start-up.
  virtual void BeforeStart() {}

  // Writes a file below the current directory ("img/a.png", CP932 names), making its directories.
  void WriteFile(const std::string& relative, const Bytes& bytes) const {
    const std::filesystem::path path = std::filesystem::path(directory_) / platform::Cp932ToUtf8(relative);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(file.good()) << relative;
  }

  // Log.txt as CP932 text.
  std::string ReadLog() const {
    std::ifstream file(directory_ + "/Log.txt", std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return platform::Utf8ToCp932(text.str());
  }

  std::string directory_;
  std::string previousDirectory_;
  bool started_ = false;
};

}  // namespace integration_test
