// Seam: loading and playing sounds is built by a later sound issue. Stopping declines.
#include "sound/sound_records.h"

int StopSoundHandle(int) { return -1; }
