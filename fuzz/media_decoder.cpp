// Fuzz target: decoding through the media framework alone: the memory reader serving the bytes,
// the graph rendering them through the MPEG-audio parser and decoder into the sample grabber, the
// renderer swap and the unclocked run, then converting, seeking and converting again.
#include "media/framework/named_object.h"
#include "sound_decoding_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 18)) return 0;
  constexpr int kOnlyMediaFramework = 0x1F & ~SOUND_DECODER_MEDIA_FRAMEWORK;
  FuzzSoundDecoding(data, size, kOnlyMediaFramework);
  // Every graph, filter and sample is gone once the conversion has ended.
  if (Z_CNamedObject::LiveObjectCount.load() != 0) __builtin_trap();
  return 0;
}
