// Linear PCM sources: 8-bit unsigned, 16/24/32-bit signed little-endian.
#include "acm/codec.h"

namespace acm {

namespace {

class PcmDecoder : public FixedFrameDecoder {
 public:
  explicit PcmDecoder(const WAVEFORMATEX* format)
      : FixedFrameDecoder(format->nBlockAlign), channels_(format->nChannels), bits_(format->wBitsPerSample) {}

  DWORD DecodeUnit(const BYTE* unit, DWORD bytes, FrameBuffer* out) override {
    const DWORD frames = bytes / frameBytes_;
    const size_t samples = static_cast<size_t>(frames) * channels_;
    out->resize(samples);
    int32_t* o = out->data();
    const BYTE* p = unit;
    switch (bits_) {
      case 8:
        for (size_t i = 0; i < samples; ++i) o[i] = (static_cast<int32_t>(p[i]) - 128) * (1 << 24);
        break;
      case 16:
        for (size_t i = 0; i < samples; ++i, p += 2)
          o[i] = static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 24);
        break;
      case 24:
        for (size_t i = 0; i < samples; ++i, p += 3)
          o[i] = static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 8 | static_cast<uint32_t>(p[1]) << 16 |
                                      static_cast<uint32_t>(p[2]) << 24);
        break;
      default:
        for (size_t i = 0; i < samples; ++i, p += 4)
          o[i] = static_cast<int32_t>(p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
                                      static_cast<uint32_t>(p[3]) << 24);
        break;
    }
    return frames;
  }

 private:
  int channels_;
  int bits_;
};

}  // namespace

bool AcceptsPcm(const WAVEFORMATEX* format) { return IsWritablePcm(format); }
WORD PcmSuggestedBits(const WAVEFORMATEX* format) { return format->wBitsPerSample; }
WORD SixteenBits(const WAVEFORMATEX*) { return 16; }
std::unique_ptr<SourceDecoder> CreatePcmDecoder(const WAVEFORMATEX* format) {
  return std::make_unique<PcmDecoder>(format);
}

}  // namespace acm
