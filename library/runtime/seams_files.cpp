// Stand-ins for the file-function table, until files land. The directory operations behave as
// the plain-file set's do, so that shut-down puts the current directory back.
#include "platform/kernel.h"
#include "runtime/window_system.h"

int InstallFileFunctions(const void*) { return 0; }
int ReleaseUnusedArchives() { return 0; }
int CallFileTableGetDir(char* buffer) { return static_cast<int>(GetCurrentDirectoryA(MAX_PATH, buffer)); }
int CallFileTableSetDir(const char* path) { return SetCurrentDirectoryA(path); }
