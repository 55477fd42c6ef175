// Fuzz target: the RIFF WAVE chunk walk and both WAVE decoders (PCM read directly, and every
// codec of the audio compression manager), converting, seeking and converting again.
#include "sound_decoding_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  constexpr int kNotWave = SOUND_DECODER_OGG_VORBIS | SOUND_DECODER_MP3_ACM | SOUND_DECODER_MEDIA_FRAMEWORK;
  FuzzSoundDecoding(data, size, kNotWave);
  FuzzSoundDecoding(data, size, kNotWave | SOUND_DECODER_WAVE_PCM);
  return 0;
}
