// The sound system's load options, read by the loaders and decoders.
#pragma once

struct SoundOptions {
  int loadMode;            // 0 whole PCM, 2 memory image streamed, 3 file streamed
  int oggSampleWidth;      // Bytes per output sample of the Ogg Vorbis decoder
  int decoderDisableMask;  // SoundDecoderBit: a set bit skips that decoder
  int movieSoundFlag;      // 1 while a movie's sound track loads
};

extern SoundOptions g_soundOptions;
