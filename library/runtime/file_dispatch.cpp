// Dispatchers of the file stream set. (Interim: no file-function table is installed yet, so every
// file stream operation declines.)
#include "zyvel/runtime.h"

int StreamFileTell(StreamHandle) { return -1; }
int StreamFileSeek(StreamHandle, int, int) { return -1; }
int StreamFileRead(void*, int, int, StreamHandle) { return 0; }
int StreamFileEof(StreamHandle) { return -1; }
int StreamFileIdleWait(StreamHandle) { return 1; }
int StreamFileClose(StreamHandle) { return -1; }
