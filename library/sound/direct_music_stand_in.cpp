// Stand-in for the DirectMusic back end's start and end until they are built: the start answers
// as a missing loader does, so start goes on with DirectSound.
#include "sound/sound_records.h"

int StartDirectMusicBackEnd(IDirectSound** directSound) {
  *directSound = nullptr;
  return 1;
}

int EndDirectMusicBackEnd() { return 0; }
