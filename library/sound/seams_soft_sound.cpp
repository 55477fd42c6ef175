// Seam: soft sounds and soft-sound players are built by a later sound issue. Their tables are
// always empty until then.
#include "sound/sound_records.h"

int DeleteAllSoftSounds() { return g_soundOptions.directSound ? 0 : -1; }
int DeleteAllSoftSoundPlayers() { return g_soundOptions.directSound ? 0 : -1; }
int UpdateSoftSoundPlayers() { return g_soundOptions.directSound ? 0 : -1; }
