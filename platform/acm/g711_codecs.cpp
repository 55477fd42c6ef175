// G.711 sources: mu-law and A-law, one byte per sample, expanded to 16 bits.
#include <array>

#include "acm/codec.h"

namespace acm {

namespace {

int16_t ExpandMuLaw(BYTE code) {
  code = static_cast<BYTE>(~code);
  const int exponent = (code >> 4) & 7;
  const int mantissa = code & 0x0F;
  const int magnitude = (((mantissa << 3) + 0x84) << exponent) - 0x84;
  return static_cast<int16_t>((code & 0x80) ? -magnitude : magnitude);
}

int16_t ExpandALaw(BYTE code) {
  code ^= 0x55;
  const int exponent = (code >> 4) & 7;
  const int mantissa = code & 0x0F;
  int magnitude = exponent == 0 ? (mantissa << 4) + 8 : ((mantissa << 4) + 0x108) << (exponent - 1);
  return static_cast<int16_t>((code & 0x80) ? magnitude : -magnitude);
}

template <int16_t (*Expand)(BYTE)>
const std::array<int16_t, 256>& ExpansionTable() {
  static const std::array<int16_t, 256> table = [] {
    std::array<int16_t, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = Expand(static_cast<BYTE>(i));
    return t;
  }();
  return table;
}

// One byte a sample, so a frame takes one byte a channel.
class G711Decoder : public FixedFrameDecoder {
 public:
  G711Decoder(const WAVEFORMATEX* format, const std::array<int16_t, 256>& table)
      : FixedFrameDecoder(format->nChannels), table_(table) {}

  DWORD DecodeUnit(const BYTE* unit, DWORD bytes, FrameBuffer* out) override {
    out->resize(bytes);
    for (DWORD i = 0; i < bytes; ++i) (*out)[i] = table_[unit[i]] * (1 << 16);
    return bytes / frameBytes_;
  }

 private:
  const std::array<int16_t, 256>& table_;
};

bool AcceptsG711(const WAVEFORMATEX* format) {
  return format->wBitsPerSample == 8 && format->nChannels >= 1 && format->nChannels <= 8 &&
         format->nBlockAlign == format->nChannels && format->nSamplesPerSec >= 1 && format->nSamplesPerSec <= 384000;
}

}  // namespace

bool AcceptsMuLaw(const WAVEFORMATEX* format) { return AcceptsG711(format); }
bool AcceptsALaw(const WAVEFORMATEX* format) { return AcceptsG711(format); }
std::unique_ptr<SourceDecoder> CreateMuLawDecoder(const WAVEFORMATEX* format) {
  return std::make_unique<G711Decoder>(format, ExpansionTable<ExpandMuLaw>());
}
std::unique_ptr<SourceDecoder> CreateALawDecoder(const WAVEFORMATEX* format) {
  return std::make_unique<G711Decoder>(format, ExpansionTable<ExpandALaw>());
}

}  // namespace acm
