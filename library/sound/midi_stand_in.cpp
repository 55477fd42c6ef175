// Stand-in for MIDI handles and the DirectMusic back end until they are built: there is no music
// to end or update, and the DirectMusic start answers as a missing loader does, so start goes on
// with DirectSound.
#include "sound/sound_records.h"

int DeleteAllMusicHandles() { return g_soundOptions.directSound ? 0 : -1; }
int EndCurrentMusic() { return 0; }
int UpdateMidiPlayState() { return g_soundOptions.directSound ? 0 : -1; }
int OnMidiNotify() { return 0; }

int StartDirectMusicBackEnd(IDirectSound** directSound) {
  *directSound = nullptr;
  return 1;
}

int EndDirectMusicBackEnd() { return 0; }
