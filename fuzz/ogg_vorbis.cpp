// Fuzz target: the Ogg Vorbis decoder alone (every other decoder masked off), converting, seeking
// and converting again. Seeds (fuzz/corpus/ogg_vorbis): the first 4 KB of the test fixture
// vorbis_stereo.ogg (oggenc), and the whole of a one-tenth-second mono file made by
// `sox -n -r 8000 -c 1 tone.ogg synth 0.1 sine 440`.
#include "sound_decoding_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 16)) return 0;
  constexpr int kAllButOgg = SOUND_DECODER_WAVE_PCM | SOUND_DECODER_WAVE_ACM | SOUND_DECODER_MP3_ACM |
                             SOUND_DECODER_MEDIA_FRAMEWORK;
  FuzzSoundDecoding(data, size, kAllButOgg);
  return 0;
}
