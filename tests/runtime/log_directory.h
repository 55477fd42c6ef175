// Test fixture: a fresh log in a temporary directory, with the debugger output captured and the
// clock standing still, so every line of the log can be compared byte for byte.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "platform/kernel.h"
#include "platform/testing.h"
#include "runtime/log.h"
#include "runtime/runtime_state.h"
#include "zyvel/runtime.h"

namespace zyvel_test {

inline std::string ReadWholeFile(const std::string& path) {
  std::string bytes;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.append(buffer, count);
    std::fclose(file);
  }
  return bytes;
}

inline bool FileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

inline void RemoveTree(const std::string& path) {
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      const std::string child = path + "/" + name;
      struct stat info;
      if (lstat(child.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        RemoveTree(child);
      else
        unlink(child.c_str());
    }
    closedir(dir);
  }
  rmdir(path.c_str());
}

// The text as it is on disk: UTF-8 literals are written u8"..." since the tests' own literals are
// CP932.
inline std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

class LogDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::testing::ResetAll();
    char pattern[] = "/tmp/zyvel-log-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
    g_runtime.log = LogState{};
    platform::testing::UseFakeClock(true);
    platform::testing::SetFakeClockMilliseconds(1000);
    platform::testing::CaptureDebugOutput([this](const std::string& text) {
      std::lock_guard<std::mutex> lock(debugMutex_);
      debugPieces_.push_back(text);
    });
    SetLogDirectory(platform::WindowsPathOf(directory_).c_str());
    OpenLogFile();
  }

  void TearDown() override {
    SetLogDirectory("");
    g_runtime.log = LogState{};
    platform::testing::ResetAll();
    RemoveTree(directory_);
  }

  std::string LogPath() const { return directory_ + "/Log.txt"; }
  std::string LogText() const { return ReadWholeFile(LogPath()); }

  std::string DebugText() {
    std::lock_guard<std::mutex> lock(debugMutex_);
    std::string all;
    for (const std::string& piece : debugPieces_) all += piece;
    return all;
  }
  void ClearDebugText() {
    std::lock_guard<std::mutex> lock(debugMutex_);
    debugPieces_.clear();
  }

  std::string directory_;
  std::mutex debugMutex_;
  std::vector<std::string> debugPieces_;
};

}  // namespace zyvel_test
