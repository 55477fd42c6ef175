// Seam: stream sounds are built by a later sound issue. Nothing creates one yet, so the refill
// has nothing to do and the per-sound calls decline.
#include "sound/sound_records.h"

int StopStreamSoundHandle(int) { return -1; }
int CheckStreamSoundPlaying(int) { return 0; }

int UpdateStreamSounds() { return g_soundOptions.directSound ? 0 : -1; }
