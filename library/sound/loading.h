// Loading sounds into buffers and playing them in turn.
#pragma once

#include "sound/sound_records.h"

constexpr int kLongestWholeSoundSeconds = 180;

int LoadSoundFileImpl(const char* name, int bufferCount, int sharedStream);
// SOUND_BUFFERS_WHOLE_PCM: the buffers of a whole-PCM sound (the first created, or duplicated from
// the first buffer of sound `source`; the rest duplicated). SOUND_BUFFER_STREAM: the one-second
// buffer of a stream sound.
int CreateSoundBuffers(int source, const WAVEFORMATEX* format, int bytes, int kind, int count, int handle);
// Moves the sound to its next buffer and readies it: 0, 1 (that buffer is busy and fromStart is
// 0: nothing to do) or -1.
int PrepareSoundPlay(SoundRecord* record, int fromStart);
// The volume, pan and frequency of the next play: the one-shot values where they are set (taking
// them clears them), else the sound's own.
struct PlaySettings {
  int volume;
  int pan;
  int frequency;
};
PlaySettings TakePlaySettings(SoundRecord* record);
void ApplyPlaySettings(SoundBufferEntry* buffer, const PlaySettings& settings);

// Stream sounds, for the sounds loading hands over to them.
int PlayStreamSoundHandle(int handle, int playType, int fromStart);
int GetStreamSoundPosition(int handle);
