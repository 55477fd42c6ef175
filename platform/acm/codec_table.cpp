// The codecs of the audio compression manager, by source format tag.
#include "acm/codec.h"

namespace acm {

namespace {

const SourceCodec kSourceCodecs[] = {
    {WAVE_FORMAT_PCM, AcceptsPcm, PcmSuggestedBits, CreatePcmDecoder},
    {WAVE_FORMAT_IEEE_FLOAT, AcceptsSampleFormat, SixteenBits, CreatePcmDecoder},
    {WAVE_FORMAT_EXTENSIBLE, AcceptsSampleFormat, SixteenBits, CreatePcmDecoder},
    {WAVE_FORMAT_MULAW, AcceptsMuLaw, SixteenBits, CreateMuLawDecoder},
    {WAVE_FORMAT_ALAW, AcceptsALaw, SixteenBits, CreateALawDecoder},
    {WAVE_FORMAT_IMA_ADPCM, AcceptsImaAdpcm, SixteenBits, CreateImaAdpcmDecoder},
    {WAVE_FORMAT_ADPCM, AcceptsMsAdpcm, SixteenBits, CreateMsAdpcmDecoder},
    {WAVE_FORMAT_MPEGLAYER3, AcceptsMpegAudio, SixteenBits, CreateMpegAudioDecoder},
    {WAVE_FORMAT_MPEG, AcceptsMpegAudio, SixteenBits, CreateMpegAudioDecoder},
};

}  // namespace

const SourceCodec* FindSourceCodec(const WAVEFORMATEX* format) {
  for (const SourceCodec& codec : kSourceCodecs)
    if (codec.formatTag == format->wFormatTag) return codec.Accepts(format) ? &codec : nullptr;
  return nullptr;
}

}  // namespace acm
