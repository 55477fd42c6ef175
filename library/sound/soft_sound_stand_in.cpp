// Stand-in for soft sounds and soft-sound players until they are built: their tables are always
// empty.
#include "sound/sound_records.h"

int DeleteAllSoftSounds() { return g_soundOptions.directSound ? 0 : -1; }
int DeleteAllSoftSoundPlayers() { return g_soundOptions.directSound ? 0 : -1; }
int UpdateSoftSoundPlayers() { return g_soundOptions.directSound ? 0 : -1; }
