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
// A new, empty sound (no buffers, no data): its handle, or -1. Pass -1.
int AddSoundData(int handle);
int GetSoundTotalSample(int handle);  // Sample frames
int GetSoundTotalTime(int handle);    // Milliseconds
int CheckSoundHandle(int handle);     // 1 while playing, 0 not, -1 bad handle
int DeleteSoundHandle(int handle, int unused = 0);
int DeleteAllSoundHandles(int unused = 0);

// ---- Loading and playing sounds ----
// Load mode: 0 decode the whole file into the sound's buffers, 2 keep the file image and decode
// while playing, 3 read the file while playing (1 is taken as 0). The decoder mask's set bits
// skip decoders: 0x01 WAVE PCM, 0x02 WAVE through the compression manager, 0x04 Ogg Vorbis,
// 0x08 MP3, 0x10 the media framework.
int SetSoundLoadMode(unsigned mode);
int GetSoundLoadMode();
int SetSoundDecoderMask(int mask);
int GetSoundDecoderMask();
// A sound of up to ten buffers (more are cut to ten); plays take them in turn. `sharedStream`
// is -1, or a stream sound of the same format whose buffer a new stream sound plays through.
int LoadSoundFile(const char* name, int bufferCount, int sharedStream);
// As LoadSoundFile over a file image in memory; more than ten buffers, or fewer than one, fail.
int LoadSoundFromMemoryImage(const void* data, int size, int bufferCount, int sharedStream);
// Play types: 0 wait for the end, 1 background, 3 loop (any other value plays once in the
// background). fromStart 0 leaves a busy buffer alone and resumes where the last one stands.
int PlaySoundHandle(int handle, int playType, int fromStart);
int StopSoundHandle(int handle);
// Milliseconds played in the current buffer.
int GetSoundHandlePosition(int handle);

// ---- Stream sounds ----
// Adds a data entry to a sound from AddSoundData: up to three entries of one format, played in
// turn, each repeated `loopCount` more times (-1 endlessly). Kind 0 converts the data whole now,
// 2 keeps the file image in memory, 3 reads the file while playing (from memory, 3 is taken as
// 2). `sharedStream` is -1, or a stream sound of the same format whose buffer this one plays
// through.
int AddStreamSoundFile(const char* path, int loopCount, int handle, int kind, int sharedStream);
int AddStreamSoundMemory(const void* image, int size, int loopCount, int handle, int kind, int sharedStream);
// Fills the buffer of a stream sound that is not playing, so that a play starts at once.
int PrimeStreamSound(int handle);
