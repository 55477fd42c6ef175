// A fresh library state for each test: the dummy SDL driver, a known display, a private lock
// directory and current directory, a record back at its defaults, and a fake clock that the
// test's thread drives, so that start-up's timer probe and clock measurement and the bounded
// waits take no real time.
#pragma once

#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "graphics/screen_services.h"
#include "platform/kernel.h"
#include "platform/testing.h"
#include "runtime/runtime_state.h"
#include "window/window_services.h"

extern char** environ;

namespace windowtest {

inline std::string MakeTemporaryDirectory() {
  char pattern[] = "/tmp/zyvel-window-test-XXXXXX";
  const char* made = mkdtemp(pattern);
  return made ? made : "/tmp";
}

// The lock directory is shared with child processes through this variable; the library never
// reads it, only the tests do.
constexpr char kLockDirectoryVariable[] = "ZYVEL_TEST_LOCK_DIRECTORY";

class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::testing::UseDummyVideoDriver();
    platform::testing::UseSoundDriver("dummy");
    platform::testing::SetDisplayModes({{640, 480, 32, 60}, {1024, 768, 32, 60}, {1024, 768, 16, 60}},
                                       {1024, 768, 32, 60});
    const char* shared = std::getenv(kLockDirectoryVariable);
    ownsLockDirectory_ = shared == nullptr;
    lockDirectory_ = shared ? shared : MakeTemporaryDirectory();
    platform::testing::SetWindowLockDirectory(lockDirectory_);
    char previous[4096];
    previousDirectory_ = getcwd(previous, sizeof(previous)) ? previous : "/";
    workDirectory_ = MakeTemporaryDirectory();
    ASSERT_EQ(chdir(workDirectory_.c_str()), 0);
    g_windowSystem = WindowSystemRecord{};
    g_runtime = RuntimeRecord{};
    SetScreenMode(408, 504, 32, 60);
    SetEmulating320x240(0);
    platform::testing::CaptureDebugOutput([](const std::string&) {});
    platform::testing::UseFakeClock(true);
    platform::testing::SetFakeClockMilliseconds(1000);
    platform::testing::DriveFakeClockFromThisThread(true);
    // RunChild's run of this program is for its child test alone, and a child test has no part
    // in the ordinary run. The body is skipped, and the tear-down still undoes the above.
    if (IsChild() != runsInChild_) GTEST_SKIP();
  }

  void TearDown() override {
    FinishLibrary();
    g_windowSystem = WindowSystemRecord{};
    g_runtime = RuntimeRecord{};
    platform::testing::UseFakeClock(false);
    platform::testing::CaptureDebugOutput({});
    RemoveDirectories();
  }

  // Also for a test's child process that ends without its tear-down.
  void RemoveDirectories() {
    if (chdir(previousDirectory_.c_str()) != 0) ADD_FAILURE() << "cannot go back to " << previousDirectory_;
    std::error_code ignored;
    std::filesystem::remove_all(workDirectory_, ignored);
    if (ownsLockDirectory_) std::filesystem::remove_all(lockDirectory_, ignored);
  }

  // Log.txt as CP932 text; empty while no log file is written.
  std::string ReadLog() const {
    std::ifstream file(workDirectory_ + "/Log.txt", std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return platform::Utf8ToCp932(text.str());
  }

  // Runs this test program again with only `filter`, a test of a LibraryChildTest fixture, in
  // another directory, and gives its exit status; -1 when the test did not run to its end there (a
  // child that skipped it or found no such test would otherwise pass unseen).
  int RunChild(const std::string& filter) {
    std::string self = "/proc/self/exe";
    char exe[4096];
    ssize_t length = readlink(self.c_str(), exe, sizeof(exe) - 1);
    if (length <= 0) return -1;
    exe[length] = 0;
    std::string filterArgument = "--gtest_filter=" + filter;
    const std::string report = lockDirectory_ + "/child_report.json";
    std::string reportArgument = "--gtest_output=json:" + report;
    std::vector<char*> arguments{exe, filterArgument.data(), reportArgument.data(), nullptr};
    std::vector<std::string> variables;
    for (char** entry = environ; *entry; ++entry) variables.emplace_back(*entry);
    variables.push_back(std::string(kLockDirectoryVariable) + "=" + lockDirectory_);
    variables.push_back("ZYVEL_TEST_CHILD=1");
    std::vector<char*> environment;
    for (auto& variable : variables) environment.push_back(variable.data());
    environment.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawn(&child, exe, nullptr, nullptr, arguments.data(), environment.data()) != 0) return -1;
    int status = 0;
    waitpid(child, &status, 0);
    std::ifstream file(report);
    std::stringstream text;
    text << file.rdbuf();
    std::error_code ignored;
    std::filesystem::remove(report, ignored);
    if (text.str().find("\"result\": \"COMPLETED\"") == std::string::npos) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  static bool IsChild() { return std::getenv("ZYVEL_TEST_CHILD") != nullptr; }

  bool runsInChild_ = false;
  bool ownsLockDirectory_ = false;
  std::string lockDirectory_;
  std::string workDirectory_;
  std::string previousDirectory_;
};

// A test that another test runs in a second process with RunChild.
class LibraryChildTest : public LibraryTest {
 protected:
  LibraryChildTest() { runsInChild_ = true; }
};

}  // namespace windowtest
