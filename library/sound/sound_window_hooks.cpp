// What the window calls in the sound system: the library's start-up hands it over, and so does
// InitSoundSystem for a program that starts the sound system on its own.
#include "sound/sound_services.h"
#include "window/window_services.h"
#include "zyvel/sound.h"

namespace {

const WindowSoundHooks kSoundHooks{
    .start = InitSoundSystem,
    .end = EndSoundSystem,
    .endCurrentMusic = EndCurrentMusic,
    .threadRunning = SoundThreadRunning,
    .updateStreams = UpdateStreamSounds,
    .updateSoftPlayers = UpdateSoftSoundPlayers,
    .updateMidiPlayState = UpdateMidiPlayState,
    .midiNotify = OnMidiNotify,
};

}  // namespace

void ConnectSoundToWindow() { SetWindowSoundHooks(&kSoundHooks); }
