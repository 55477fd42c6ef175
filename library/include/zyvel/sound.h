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
enum : int {
  SOUND_LOAD_WHOLE = 0,        // Decode the whole file into the sound's buffers.
  SOUND_LOAD_FILE_IMAGE = 2,   // Keep the file image in memory and decode while playing.
  SOUND_LOAD_STREAM_FILE = 3,  // Read the file while playing.
};
enum : int {
  SOUND_PLAY_WAIT = 0,        // Returns when the sound has ended.
  SOUND_PLAY_BACKGROUND = 1,  // Returns at once; so does any value not named here.
  SOUND_PLAY_LOOP = 3,
};
// Decoder-disable mask bits (SetSoundDecoderMask): a set bit skips that decoder.
enum SoundDecoderBit : int {
  SOUND_DECODER_WAVE_PCM = 0x01,
  SOUND_DECODER_WAVE_ACM = 0x02,  // WAVE through the compression manager.
  SOUND_DECODER_OGG_VORBIS = 0x04,
  SOUND_DECODER_MP3_ACM = 0x08,
  SOUND_DECODER_MEDIA_FRAMEWORK = 0x10,
};
// Load mode: a SOUND_LOAD_ value (1 is taken as 0).
int SetSoundLoadMode(unsigned mode);
int GetSoundLoadMode();
int SetSoundDecoderMask(int mask);
int GetSoundDecoderMask();
// A sound of up to ten buffers (more are cut to ten); plays take them in turn. `sharedStream`
// is -1, or a stream sound of the same format whose buffer a new stream sound plays through.
int LoadSoundFile(const char* name, int bufferCount, int sharedStream);
// As LoadSoundFile over a file image in memory; more than ten buffers, or fewer than one, fail.
int LoadSoundFromMemoryImage(const void* data, int size, int bufferCount, int sharedStream);
// playType: a SOUND_PLAY_ value. fromStart 0 leaves a busy buffer alone and resumes where the last
// one stands.
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
