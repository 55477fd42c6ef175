// MPEG audio sources (Layers I to III) over libmpg123, fed one whole frame at a time.
//
// Feeding single frames without read-ahead means every frame's sound comes out in the call that
// consumed it: nothing waits inside libmpg123 when the source ends. Should the library still hand
// out more than a frame's worth, the rest is carried to the next piece and counted in its promise,
// so no decoded sample is ever dropped. Bytes that do not start a frame are skipped as pieces of
// their own. Gapless trimming (the encoder's delay and padding, from a LAME/Xing info frame) is
// libmpg123's own.
#include <mpg123.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "acm/codec.h"

namespace acm {

namespace {

// Bit rates in kbit/s by [MPEG-1?][layer index 0..2][bit-rate index].
const int kBitRates[2][3][16] = {
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
};
const DWORD kSampleRates[3] = {44100, 48000, 32000};

struct FrameHeader {
  DWORD length;
  DWORD samples;
};

// Reads a frame header (MPEG-1, MPEG-2 and MPEG-2.5); false when the bytes are none.
bool ReadFrameHeader(const BYTE* p, FrameHeader* out) {
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
  const int version = (p[1] >> 3) & 3;  // 0 MPEG-2.5, 2 MPEG-2, 3 MPEG-1
  const int layerBits = (p[1] >> 1) & 3;
  const int bitRateIndex = p[2] >> 4;
  const int rateIndex = (p[2] >> 2) & 3;
  if (version == 1 || layerBits == 0 || bitRateIndex == 0 || bitRateIndex == 15 || rateIndex == 3) return false;
  const int layer = 3 - layerBits;  // 0 Layer I, 1 Layer II, 2 Layer III
  const bool mpeg1 = version == 3;
  const DWORD rate = kSampleRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
  const DWORD bitRate = static_cast<DWORD>(kBitRates[mpeg1][layer][bitRateIndex]);
  const DWORD padding = (p[2] >> 1) & 1;
  if (layer == 0) {
    out->length = (12000 * bitRate / rate + padding) * 4;
    out->samples = 384;
  } else if (layer == 2 && !mpeg1) {
    out->length = 72000 * bitRate / rate + padding;
    out->samples = 576;
  } else {
    out->length = 144000 * bitRate / rate + padding;
    out->samples = 1152;
  }
  return out->length > 4;
}

// More frames than any real sound holds (over six hours at 44.1 kHz).
constexpr uint32_t kMostInformationFrames = 1u << 20;

// True for a Xing/Info information frame whose frame count is beyond any real sound. libmpg123's
// gapless set-up takes time in proportion to that count (half a minute for 2^31), so such a frame
// is decoded as plain sound instead.
bool ClaimsAbsurdLength(const BYTE* frame, DWORD bytes) {
  for (DWORD at = 4; at + 12 <= bytes && at <= 4 + 2 + 32; ++at) {
    if (std::memcmp(frame + at, "Xing", 4) != 0 && std::memcmp(frame + at, "Info", 4) != 0) continue;
    const BYTE* p = frame + at + 4;
    const uint32_t flags = static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
    const uint32_t frames = static_cast<uint32_t>(p[4]) << 24 | p[5] << 16 | p[6] << 8 | p[7];
    return (flags & 1) && frames > kMostInformationFrames;
  }
  return false;
}

class MpegAudioDecoder : public SourceDecoder {
 public:
  explicit MpegAudioDecoder(const WAVEFORMATEX* format)
      : channels_(format->nChannels), rate_(format->nSamplesPerSec), averageBytes_(format->nAvgBytesPerSec) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { mpg123_init(); });
    Open();
  }
  ~MpegAudioDecoder() override { Close(); }

  bool NextUnit(const BYTE* source, DWORD length, bool end, DWORD, DWORD* unitBytes, DWORD* maxFrames) override {
    if (length == 0) return false;
    *maxFrames = CarriedFrames();
    if (length < 4) {
      if (!end) return false;
      *unitBytes = length;
      return true;
    }
    FrameHeader header;
    if (!ReadFrameHeader(source, &header)) {
      // Skip to the next byte that may start a frame.
      DWORD skip = 1;
      while (skip < length && source[skip] != 0xFF) ++skip;
      *unitBytes = skip;
      return true;
    }
    if (header.length > length) {
      if (!end) return false;
      *unitBytes = length;
      return true;
    }
    *unitBytes = header.length;
    *maxFrames = header.samples + CarriedFrames();
    return true;
  }

  DWORD DecodeUnit(const BYTE* unit, DWORD bytes, FrameBuffer* out) override {
    // What NextUnit promised for this piece: the carried frames and the piece's own.
    FrameHeader header;
    const bool whole = bytes >= 4 && ReadFrameHeader(unit, &header) && header.length == bytes;
    const size_t promised = (static_cast<size_t>(whole ? header.samples : 0) + CarriedFrames()) * channels_;
    if (handle_ && whole) {
      if (ClaimsAbsurdLength(unit, bytes)) mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_IGNORE_INFOFRAME, 0);
      if (mpg123_feed(handle_, unit, bytes) == MPG123_OK) {
        // One frame in gives one frame out (after a format notice); a hostile stream gets no
        // more calls than that, and whatever libmpg123 still holds comes out with the next frame.
        for (int call = 0; call < 4; ++call) {
          off_t frameNumber;
          unsigned char* audio;
          size_t audioBytes;
          const int result = mpg123_decode_frame(handle_, &frameNumber, &audio, &audioBytes);
          if (result == MPG123_NEW_FORMAT) continue;
          if (result != MPG123_OK) break;
          const size_t samples = audioBytes / 2;
          for (size_t i = 0; i < samples; ++i) {
            const int16_t s = static_cast<int16_t>(audio[2 * i] | audio[2 * i + 1] << 8);
            carried_.push_back(s * (1 << 16));
          }
        }
      }
    }
    const size_t given = std::min(promised, carried_.size() / channels_ * channels_);
    out->assign(carried_.begin(), carried_.begin() + static_cast<std::ptrdiff_t>(given));
    carried_.erase(carried_.begin(), carried_.begin() + static_cast<std::ptrdiff_t>(given));
    return static_cast<DWORD>(given / channels_);
  }

  void Reset() override {
    Close();
    Open();
    carried_.clear();
  }

  uint64_t MaxFramesFor(uint64_t bytes) const override {
    // From the average rate, with room for variable bit rates and the frames at either end.
    const uint64_t average = averageBytes_ ? averageBytes_ : 1000;
    return bytes * rate_ / average * 2 + 2 * 1152;
  }
  uint64_t SourceBytesFor(uint64_t frames) const override {
    const uint64_t average = averageBytes_ ? averageBytes_ : 1000;
    return frames * average / rate_;
  }

 private:
  void Open() {
    int error = 0;
    handle_ = mpg123_new(nullptr, &error);
    if (!handle_) return;
    // Whole frames are fed, so no read-ahead is needed to trust the first one.
    mpg123_param(handle_, MPG123_ADD_FLAGS,
                 MPG123_QUIET | MPG123_NO_READAHEAD | (channels_ == 1 ? MPG123_MONO_MIX : MPG123_FORCE_STEREO), 0);
    mpg123_format_none(handle_);
    mpg123_format(handle_, static_cast<long>(rate_), channels_ == 1 ? MPG123_MONO : MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open_feed(handle_) != MPG123_OK) Close();
  }
  void Close() {
    if (handle_) mpg123_delete(handle_);
    handle_ = nullptr;
  }
  DWORD CarriedFrames() const { return static_cast<DWORD>(carried_.size() / channels_); }

  mpg123_handle* handle_ = nullptr;
  FrameBuffer carried_;  // Decoded, not yet given out.
  DWORD channels_;
  DWORD rate_;
  DWORD averageBytes_;
};

}  // namespace

bool AcceptsMpegAudio(const WAVEFORMATEX* format) {
  if (format->nChannels < 1 || format->nChannels > 2) return false;
  switch (format->nSamplesPerSec) {
    case 8000: case 11025: case 12000: case 16000: case 22050: case 24000: case 32000: case 44100: case 48000:
      return true;
    default:
      return false;
  }
}

std::unique_ptr<SourceDecoder> CreateMpegAudioDecoder(const WAVEFORMATEX* format) {
  return std::make_unique<MpegAudioDecoder>(format);
}

}  // namespace acm
