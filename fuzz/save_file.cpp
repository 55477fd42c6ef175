// The game's save file: any bytes under its name give a high score of 0 or more, and writing it
// back gives the 12-byte record again.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "game.h"

namespace {

char g_scratch[] = "/tmp/fuzz_save_file_XXXXXX";

void RemoveScratchDirectory() {
  std::remove("pylonrush21.dat");
  rmdir(g_scratch);
}

// One scratch directory for the whole run; the save file is read by its fixed relative name.
void EnterScratchDirectory() {
  static bool entered = false;
  if (entered) return;
  if (!mkdtemp(g_scratch) || chdir(g_scratch) != 0) abort();
  atexit(RemoveScratchDirectory);
  entered = true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  EnterScratchDirectory();
  FILE* file = std::fopen("pylonrush21.dat", "wb");
  if (!file) abort();
  if (size && std::fwrite(data, 1, size, file) != size) abort();
  std::fclose(file);

  int32_t highScore = -1;
  if (ReadSaveFile(&highScore) != 0 || highScore < 0) abort();
  if (size >= 4) {
    uint32_t stored;
    std::memcpy(&stored, data, 4);
    const int32_t value = static_cast<int32_t>(stored);
    if (highScore != (value < 0 ? 0 : value)) abort();
  }
  return 0;
}
