// Stand-ins for the sound services that start-up, the window and the pump call, until sound
// lands.
#include "runtime/window_system.h"

int InitSoundSystem() { return 0; }
int EndSoundSystem() { return 0; }
int EndCurrentMusic() { return 0; }
int UpdateStreamSounds() { return 0; }
int UpdateSoftSoundPlayers() { return 0; }
int UpdateMidiPlayState() { return 0; }
int OnMidiNotify() { return 0; }
