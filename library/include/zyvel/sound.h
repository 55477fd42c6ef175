// Zyvel sound: sound handles, loading and decoding, stream sounds, MIDI and capture.
#pragma once

#include "zyvel/runtime.h"

// ---- Sound system ----
// Start-up calls InitSoundSystem (unless sound is switched off) and goes on whatever it returns;
// until it succeeds every sound call answers -1. Shut-down calls EndSoundSystem.
int InitSoundSystem();
int EndSoundSystem();
int EndSoundCapture();

// Per-frame services of message processing. The two refills run there only on a one-processor
// machine; elsewhere the sound thread runs them.
int UpdateStreamSounds();
int UpdateSoftSoundPlayers();
int UpdateMidiPlayState();
int OnMidiNotify();
int EndCurrentMusic();

// ---- Sound handles ----
int GetSoundTotalSample(int handle);  // Sample frames
int GetSoundTotalTime(int handle);    // Milliseconds
int CheckSoundHandle(int handle);     // 1 while playing, 0 not, -1 bad handle
int DeleteSoundHandle(int handle, int unused = 0);
int DeleteAllSoundHandles();
