// Fuzz target: the RIFF WAVE chunk walk and both WAVE decoders (PCM read directly, and every
// codec of the audio compression manager), converting, seeking and converting again. Inputs are
// kept small so that runs stay quick. Seeds (fuzz/corpus/wave_walk): twentieth-of-a-second files
// made by sox ("sox -n -r 8000 -c 1 -e ima-adpcm ima.wav synth 0.05 sine 440", likewise
// ms-adpcm stereo, u-law, a-law, 16-bit stereo and 8-bit PCM).
#include "sound_decoding_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 14)) return 0;
  constexpr int kNotWave = SOUND_DECODER_OGG_VORBIS | SOUND_DECODER_MP3_ACM | SOUND_DECODER_MEDIA_FRAMEWORK;
  FuzzSoundDecoding(data, size, kNotWave);
  FuzzSoundDecoding(data, size, kNotWave | SOUND_DECODER_WAVE_PCM);
  return 0;
}
