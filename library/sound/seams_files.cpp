// Seam: the file-function table is not installed yet, so no file opens.
#include "sound/pcm_converter.h"

StreamHandle StreamFileOpen(const char*, int, int, int) { return 0; }
