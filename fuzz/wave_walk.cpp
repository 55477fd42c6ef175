// Fuzz target: the RIFF WAVE chunk walk and both WAVE decoders (PCM read directly, and every
// codec of the audio compression manager), converting, seeking and converting again.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sound/pcm_converter.h"
#include "sound/sound_records.h"

namespace {

void DecodeWith(const uint8_t* data, size_t size, int mask) {
  SoundStreamSource source{*GetMemoryStreamFuncs(),
                           reinterpret_cast<StreamHandle>(OpenMemoryStream(data, static_cast<int>(size)))};
  if (!source.stream) return;
  g_soundOptions.decoderMask = mask;
  PcmConverter converter{};
  if (SetupPcmConverter(&source, &converter) == 0) {
    std::vector<uint8_t> piece(3000);
    // Bounded: a hostile header may promise far more sound than its bytes hold.
    for (int i = 0; i < 64 && ConvertPcm(&converter, piece.data(), 3000) > 0; ++i) {
    }
    SetPcmConverterSampleTime(&converter, 17);
    ConvertPcm(&converter, piece.data(), 3000);
    SetPcmConverterSampleTime(&converter, 5000);
    ConvertPcm(&converter, piece.data(), 3000);
    GetPcmConvertedSize(&converter);
    EndPcmConverter(&converter);
  }
  CloseMemoryStream(source.stream);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  constexpr int kNotWave = SOUND_DECODER_OGG_VORBIS | SOUND_DECODER_MP3_ACM | SOUND_DECODER_MEDIA_FRAMEWORK;
  DecodeWith(data, size, kNotWave);
  DecodeWith(data, size, kNotWave | SOUND_DECODER_WAVE_PCM);
  return 0;
}
