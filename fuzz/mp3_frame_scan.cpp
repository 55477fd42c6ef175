// Fuzz target: the MP3 frame scan (ID3v2 heads, "TAG" trailers, garbage between frames) and the
// conversion of the frames found through libmpg123, converting, seeking and converting again.
#include "sound_decoding_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  constexpr int kOnlyMp3 = 0x1F & ~SOUND_DECODER_MP3_ACM;
  FuzzSoundDecoding(data, size, kOnlyMp3);
  return 0;
}
