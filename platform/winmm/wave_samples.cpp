#include "winmm/wave_samples.h"

#include <cmath>
#include <cstring>

namespace platform::winmm {

SampleLayout SampleLayoutOf(const WAVEFORMATEX* format) {
  if (!format || format->nChannels == 0) return SampleLayout::kNone;
  bool floating = false;
  switch (format->wFormatTag) {
    case WAVE_FORMAT_PCM:
      break;
    case WAVE_FORMAT_IEEE_FLOAT:
      floating = true;
      break;
    case WAVE_FORMAT_EXTENSIBLE: {
      if (format->cbSize < kWaveFormatExtensibleExtraBytes) return SampleLayout::kNone;
      WAVEFORMATEXTENSIBLE extensible;
      std::memcpy(&extensible, format, sizeof(extensible));
      if (extensible.Samples.wValidBitsPerSample > format->wBitsPerSample) return SampleLayout::kNone;
      if (extensible.SubFormat == KSDATAFORMAT_SUBTYPE_IEEE_FLOAT)
        floating = true;
      else if (!(extensible.SubFormat == KSDATAFORMAT_SUBTYPE_PCM))
        return SampleLayout::kNone;
      break;
    }
    default:
      return SampleLayout::kNone;
  }
  const int bits = format->wBitsPerSample;
  if (format->nBlockAlign != format->nChannels * bits / 8 || bits % 8 != 0) return SampleLayout::kNone;
  if (floating) return bits == 32 ? SampleLayout::kFloat32 : SampleLayout::kNone;
  switch (bits) {
    case 8:
      return SampleLayout::kUnsigned8;
    case 16:
      return SampleLayout::kSigned16;
    case 24:
      return SampleLayout::kSigned24;
    case 32:
      return SampleLayout::kSigned32;
    default:
      return SampleLayout::kNone;
  }
}

int32_t ReadFullScaleSample(SampleLayout layout, const uint8_t* p) {
  switch (layout) {
    case SampleLayout::kUnsigned8:
      return (static_cast<int32_t>(p[0]) - 128) * (1 << 24);
    case SampleLayout::kSigned16:
      return static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 24);
    case SampleLayout::kSigned24:
      return static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 8 | static_cast<uint32_t>(p[1]) << 16 |
                                  static_cast<uint32_t>(p[2]) << 24);
    case SampleLayout::kSigned32:
      return static_cast<int32_t>(p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
                                  static_cast<uint32_t>(p[3]) << 24);
    case SampleLayout::kFloat32: {
      float value;
      std::memcpy(&value, p, 4);
      if (std::isnan(value)) return 0;
      if (value >= 1.0f) return INT32_MAX;
      if (value <= -1.0f) return INT32_MIN;
      return static_cast<int32_t>(static_cast<double>(value) * 2147483648.0);
    }
    default:
      return 0;
  }
}

}  // namespace platform::winmm
