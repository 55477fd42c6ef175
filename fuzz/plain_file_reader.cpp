// Fuzz target: the plain-file reader against a model. Files of a few telling sizes (empty, one
// byte, around the 128 KB read-ahead cache) hold a known pattern; the script opens one directly,
// through its worker, with the cache or asynchronously, and runs reads of any item size and count,
// seeks from every origin, tells, end checks and idle waits. Every byte delivered must be the
// file's own byte at the modelled position, and the position must follow the model. Rarely the
// script pauses long enough for the worker to top up its cache.
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "files/file_functions.h"
#include "fuzz_script.h"
#include "platform/kernel.h"

namespace {

constexpr int kSizes[] = {0, 1, 4095, kPlainFileCacheSize - 1, kPlainFileCacheSize + 3, 3 * kPlainFileCacheSize / 2};
constexpr int kFileCount = sizeof(kSizes) / sizeof(kSizes[0]);

uint8_t PatternByte(int64_t at) { return static_cast<uint8_t>((at * 131) ^ (at >> 9)); }

// The files, written once per process; their Windows paths.
const std::vector<std::string>& Files() {
  static const std::vector<std::string> paths = [] {
    char pattern[] = "/tmp/zyvel-fuzz-plain-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    std::vector<std::string> out;
    for (int i = 0; i < kFileCount; ++i) {
      const std::string linux = std::string(pattern) + "/f" + std::to_string(i);
      std::vector<uint8_t> bytes(static_cast<size_t>(kSizes[i]));
      for (int j = 0; j < kSizes[i]; ++j) bytes[static_cast<size_t>(j)] = PatternByte(j);
      FILE* file = std::fopen(linux.c_str(), "wb");
      if (!file || (kSizes[i] > 0 && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())) std::abort();
      std::fclose(file);
      out.push_back(platform::WindowsPathOf(linux));
    }
    return out;
  }();
  return paths;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  FuzzScript script{data, size};
  const uint8_t setup = script.Byte();
  const int fileIndex = setup % kFileCount;
  const int fileSize = kSizes[fileIndex];
  const int useCache = (setup >> 3) & 1;
  const int asynchronous = (setup >> 4) & 1;
  const bool mayPause = (setup >> 5) == 7;
  StreamHandle stream = PlainFileOpen(Files()[static_cast<size_t>(fileIndex)].c_str(), useCache, 0, asynchronous);
  Check(stream != 0);
  const bool threaded = useCache || asynchronous;
  int64_t position = 0;
  bool paused = false;
  std::vector<uint8_t> buffer;
  for (int step = 0; step < 64 && !script.Done(); ++step) {
    switch (script.Byte() % 6) {
      case 0: {  // Read
        const int itemSize = 1 + script.Byte() % 9;
        const int count = static_cast<int>(script.Word() % 20000);
        buffer.assign(static_cast<size_t>(itemSize) * static_cast<size_t>(count) + 1, 0xEE);
        const int got = PlainFileRead(buffer.data(), itemSize, count, stream);
        const int64_t remaining = position < fileSize ? fileSize - position : 0;
        const int64_t expected = count == 0 ? 0 : std::min<int64_t>(count, remaining / itemSize);
        Check(got == expected);
        if (asynchronous)
          while (PlainFileIdleWait(stream) == 0) Sleep(0);
        for (int64_t i = 0; i < static_cast<int64_t>(got) * itemSize; ++i)
          Check(buffer[static_cast<size_t>(i)] == PatternByte(position + i));
        for (size_t i = static_cast<size_t>(got) * static_cast<size_t>(itemSize); i < buffer.size(); ++i)
          Check(buffer[i] == 0xEE);  // Nothing beyond what was delivered.
        position += static_cast<int64_t>(got) * itemSize;
        break;
      }
      case 1: {  // Seek
        const int origin = script.Byte() % 3;
        const int offset = static_cast<int>(script.Word()) % (2 * kPlainFileCacheSize);
        int64_t target = offset + (origin == 1 ? position : origin == 2 ? fileSize : 0);
        const int result = PlainFileSeek(stream, offset, origin);
        Check((result == 0) == (target >= 0));
        if (result == 0) position = target;
        break;
      }
      case 2:
        Check(PlainFileTell(stream) == position);
        break;
      case 3:
        PlainFileEof(stream);
        break;
      case 4:
        Check(PlainFileIdleWait(stream) == 1 || threaded);
        break;
      case 5:
        // The worker fills its cache after 100 ms of quiet.
        if (mayPause && useCache && !paused) {
          Sleep(110);
          paused = true;
        }
        break;
    }
  }
  Check(PlainFileClose(stream) == 0);
  return 0;
}
