// Fuzz target: the Ogg Vorbis decoder over libvorbisfile, chained files included (links that
// change the format end the sound), converting, seeking and converting again. Inputs are kept
// small so that runs stay quick. Seeds (fuzz/corpus/ogg_vorbis): the test fixture
// vorbis_stereo.ogg (oggenc), and a tenth of a second of mono made by
// `sox -n -r 8000 -c 1 tone.ogg synth 0.1 sine 440`.
#include "sound_decoding_fuzz.h"

// libvorbisfile 1.3.7 loses a few bytes (a list of serial numbers) when it gives up opening some
// damaged chained files; that leak is inside the library, before any of our code runs.
extern "C" const char* __lsan_default_suppressions() { return "leak:libvorbisfile.so"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 16)) return 0;
  constexpr int kOnlyOgg = 0x1F & ~SOUND_DECODER_OGG_VORBIS;
  FuzzSoundDecoding(data, size, kOnlyOgg);
  return 0;
}
