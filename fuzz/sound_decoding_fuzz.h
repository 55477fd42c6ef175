// One fuzz run of the sound decoders on arbitrary bytes: the decoders the mask leaves on convert,
// seek and convert again. Each sound target names the decoders it reaches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sound/pcm_converter.h"
#include "sound/sound_records.h"

inline void FuzzSoundDecoding(const uint8_t* data, size_t size, int mask) {
  SoundStreamSource source{*GetMemoryStreamFuncs(),
                           reinterpret_cast<StreamHandle>(OpenMemoryStream(data, static_cast<int>(size)))};
  if (!source.stream) return;
  g_soundOptions.decoderMask = mask;
  PcmConverter converter{};
  if (SetupPcmConverter(&source, &converter) == 0) {
    std::vector<uint8_t> piece(3000);
    // Bounded: a hostile header may promise far more sound than its bytes hold, and a run must
    // stay quick for the fuzzer to go deep.
    for (int i = 0; i < 16 && ConvertPcm(&converter, piece.data(), 3000) > 0; ++i) {
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
