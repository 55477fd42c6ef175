// Fuzz target: arbitrary bytes as log text (line-end conversion, double-byte scanning, the UTF-8
// conversion and the file write), checked against the file that results.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/kernel.h"
#include "platform/testing.h"
#include "runtime/runtime_state.h"
#include "zyvel/runtime.h"

namespace {

const std::string& LogDirectory();

std::string LogFilePath() { return LogDirectory() + "/Log.txt"; }

const std::string& LogDirectory() {
  // Never destroyed, so the clean-up at exit can still read it.
  static const std::string& directory = *[] {
    char pattern[] = "/tmp/zyvel-fuzz-log-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) abort();
    std::atexit([] {
      unlink((LogDirectory() + "/Log.txt").c_str());
      rmdir(LogDirectory().c_str());
    });
    return new std::string(made);
  }();
  static bool set = [] {
    SetLogDirectory(platform::WindowsPathOf(directory).c_str());
    g_runtime.log.noTimeStamp = 1;
    platform::testing::CaptureDebugOutput([](const std::string&) {});  // Keeps stderr for findings.
    return true;
  }();
  (void)set;
  return directory;
}

long FileSize(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return -1;
  std::fseek(file, 0, SEEK_END);
  const long size = std::ftell(file);
  std::fclose(file);
  return size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = LogFilePath();
  OpenLogFile();  // Each input starts an empty file.
  const std::string text(reinterpret_cast<const char*>(data), size);
  // The first byte picks the character set, so every scanner rule is exercised.
  g_runtime.charSet = size > 0 ? data[0] % 5 : 1;
  AddLogText(text.c_str());
  g_runtime.charSet = 1;
  const size_t length = text.find('\0') == std::string::npos ? text.size() : text.find('\0');
  // Every CP932 byte becomes at most three bytes of UTF-8, a line feed gains a carriage return.
  const long written = FileSize(path);
  if (written < 0 || static_cast<size_t>(written) > length * 2 * 3) abort();
  if (length > 0 && written == 0) abort();
  return 0;
}
