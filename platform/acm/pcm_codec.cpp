// Uncompressed sources: integer PCM of 8 (unsigned), 16, 24 and 32 bits and 32-bit float, plain
// or in the extensible format. Plain integer PCM is suggested at its own width; float and
// extensible sound is suggested as 16-bit PCM.
#include "acm/codec.h"
#include "winmm/wave_samples.h"

namespace acm {

namespace {

using platform::winmm::SampleLayout;

class PcmDecoder : public FixedFrameDecoder {
 public:
  explicit PcmDecoder(const WAVEFORMATEX* format)
      : FixedFrameDecoder(format->nBlockAlign),
        channels_(format->nChannels),
        bytesPerSample_(format->wBitsPerSample / 8),
        layout_(platform::winmm::SampleLayoutOf(format)) {}

  DWORD DecodeUnit(const BYTE* unit, DWORD bytes, FrameBuffer* out) override {
    const DWORD frames = bytes / frameBytes_;
    const size_t samples = static_cast<size_t>(frames) * channels_;
    out->resize(samples);
    int32_t* o = out->data();
    for (size_t i = 0; i < samples; ++i)
      o[i] = platform::winmm::ReadFullScaleSample(layout_, unit + i * bytesPerSample_);
    return frames;
  }

 private:
  int channels_;
  int bytesPerSample_;
  SampleLayout layout_;
};

}  // namespace

bool AcceptsPcm(const WAVEFORMATEX* format) { return IsWritablePcm(format); }
bool AcceptsSampleFormat(const WAVEFORMATEX* format) {
  if (format->nChannels < 1 || format->nChannels > 8) return false;
  if (format->nSamplesPerSec < 1 || format->nSamplesPerSec > 384000) return false;
  return platform::winmm::SampleLayoutOf(format) != SampleLayout::kNone;
}
WORD PcmSuggestedBits(const WAVEFORMATEX* format) { return format->wBitsPerSample; }
WORD SixteenBits(const WAVEFORMATEX*) { return 16; }
std::unique_ptr<SourceDecoder> CreatePcmDecoder(const WAVEFORMATEX* format) {
  return std::make_unique<PcmDecoder>(format);
}

}  // namespace acm
