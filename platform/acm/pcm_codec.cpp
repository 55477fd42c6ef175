// Linear PCM sources: 8-bit unsigned, 16/24/32-bit signed little-endian.
#include "acm/codec.h"

namespace acm {

namespace {

// Frames handed on per piece, so a long buffer converts in bounded scratch space.
constexpr DWORD kFramesPerUnit = 4096;

class PcmDecoder : public SourceDecoder {
 public:
  explicit PcmDecoder(const WAVEFORMATEX* format)
      : channels_(format->nChannels), bits_(format->wBitsPerSample), blockAlign_(format->nBlockAlign) {}

  bool NextUnit(const BYTE*, DWORD length, bool, DWORD frameRoom, DWORD* unitBytes, DWORD* maxFrames) override {
    DWORD frames = length / blockAlign_;
    if (frames == 0) return false;
    if (frames > kFramesPerUnit) frames = kFramesPerUnit;
    if (frames > frameRoom && frameRoom > 0) frames = frameRoom;
    *unitBytes = frames * blockAlign_;
    *maxFrames = frames;
    return true;
  }

  DWORD DecodeUnit(const BYTE* unit, DWORD bytes, FrameBuffer* out) override {
    const DWORD frames = bytes / blockAlign_;
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

  uint64_t MaxFramesFor(uint64_t bytes) const override { return bytes / blockAlign_; }
  uint64_t SourceBytesFor(uint64_t frames) const override { return frames * blockAlign_; }

 private:
  int channels_;
  int bits_;
  DWORD blockAlign_;
};

}  // namespace

bool AcceptsPcm(const WAVEFORMATEX* format) { return IsWritablePcm(format); }
WORD PcmSuggestedBits(const WAVEFORMATEX* format) { return format->wBitsPerSample; }
WORD SixteenBits(const WAVEFORMATEX*) { return 16; }
std::unique_ptr<SourceDecoder> CreatePcmDecoder(const WAVEFORMATEX* format) {
  return std::make_unique<PcmDecoder>(format);
}

}  // namespace acm
