// ADPCM sources: IMA ADPCM and Microsoft ADPCM, both in blocks of nBlockAlign bytes that each
// start with a header per channel and decode on their own.
//
// A part block at the end of the data is decoded as far as its bytes go, and only when the caller
// says it is the end.
#include <algorithm>
#include <cstring>

#include "acm/codec.h"

namespace acm {

namespace {

int16_t ClampToShort(int value) { return static_cast<int16_t>(std::clamp(value, -32768, 32767)); }
int16_t ReadShort(const BYTE* p) { return static_cast<int16_t>(p[0] | p[1] << 8); }

// The framing both codecs share: blocks of nBlockAlign bytes that each give framesPerBlock_
// frames, and at the end a part block that holds at least every channel's header.
class AdpcmBlockDecoder : public SourceDecoder {
 public:
  bool NextUnit(const BYTE*, DWORD length, bool end, DWORD, DWORD* unitBytes, DWORD* maxFrames) override {
    if (length >= blockAlign_) {
      *unitBytes = blockAlign_;
    } else if (end && length >= headerBytes_) {
      *unitBytes = length;
    } else {
      return false;
    }
    *maxFrames = framesPerBlock_;
    return true;
  }

  // Exact, a part block at the end counted by what it gives, so that a sound sized by this
  // holds the frames its decode gives and no more.
  uint64_t MaxFramesFor(uint64_t bytes) const override {
    const uint64_t rest = bytes % blockAlign_;
    const uint64_t partFrames = rest >= headerBytes_ ? FramesOfPartBlock(static_cast<DWORD>(rest)) : 0;
    return bytes / blockAlign_ * framesPerBlock_ + partFrames;
  }
  uint64_t SourceBytesFor(uint64_t frames) const override { return frames / framesPerBlock_ * blockAlign_; }

 protected:
  AdpcmBlockDecoder(const WAVEFORMATEX* format, DWORD headerBytesPerChannel)
      : channels_(format->nChannels),
        blockAlign_(format->nBlockAlign),
        headerBytes_(headerBytesPerChannel * format->nChannels) {}

  // The frames a block of `bytes` bytes (at least the headers, at most a whole block) gives.
  virtual DWORD FramesOfPartBlock(DWORD bytes) const = 0;

  DWORD channels_;
  DWORD blockAlign_;
  DWORD headerBytes_;
  DWORD framesPerBlock_ = 0;
};

// ---- IMA ADPCM ----

const int kImaStepSizes[89] = {7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
                               25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
                               88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
                               307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
                               1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
                               3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
                               12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
const int kImaIndexSteps[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

struct ImaChannelState {
  int predictor;
  int index;
};

int16_t ExpandImaNibble(ImaChannelState* state, int nibble) {
  const int step = kImaStepSizes[state->index];
  int difference = step >> 3;
  if (nibble & 1) difference += step >> 2;
  if (nibble & 2) difference += step >> 1;
  if (nibble & 4) difference += step;
  if (nibble & 8) difference = -difference;
  state->predictor = ClampToShort(state->predictor + difference);
  state->index = std::clamp(state->index + kImaIndexSteps[nibble], 0, 88);
  return static_cast<int16_t>(state->predictor);
}

class ImaAdpcmDecoder : public AdpcmBlockDecoder {
 public:
  explicit ImaAdpcmDecoder(const WAVEFORMATEX* format) : AdpcmBlockDecoder(format, 4) {
    framesPerBlock_ = (blockAlign_ - 4 * channels_) * 2 / channels_ + 1;
  }

  DWORD DecodeUnit(const BYTE* unit, DWORD bytes, FrameBuffer* out) override {
    ImaChannelState state[2];
    out->assign(static_cast<size_t>(framesPerBlock_) * channels_, 0);
    for (DWORD c = 0; c < channels_; ++c) {
      state[c].predictor = ReadShort(unit + 4 * c);
      state[c].index = std::min<int>(unit[4 * c + 2], 88);
      (*out)[c] = state[c].predictor * (1 << 16);
    }
    // After the headers: for each channel in turn, 4 bytes holding 8 samples, low nibble first.
    const DWORD groups = (bytes - 4 * channels_) / (4 * channels_);
    const BYTE* p = unit + 4 * channels_;
    for (DWORD g = 0; g < groups; ++g) {
      for (DWORD c = 0; c < channels_; ++c) {
        for (int i = 0; i < 8; ++i) {
          const int nibble = (p[i / 2] >> ((i & 1) * 4)) & 0x0F;
          const size_t frame = 1 + g * 8 + i;
          (*out)[frame * channels_ + c] = ExpandImaNibble(&state[c], nibble) * (1 << 16);
        }
        p += 4;
      }
    }
    return FramesOfPartBlock(bytes);
  }

 protected:
  DWORD FramesOfPartBlock(DWORD bytes) const override { return 1 + (bytes - 4 * channels_) / (4 * channels_) * 8; }
};

// ---- Microsoft ADPCM ----

const int kMsAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230};

constexpr int kMsDeltaCap = 1 << 20;

struct MsChannelState {
  int coefficient1;
  int coefficient2;
  int delta;
  int sample1;
  int sample2;
};

int16_t ExpandMsNibble(MsChannelState* state, int nibble) {
  const int64_t predicted = (static_cast<int64_t>(state->sample1) * state->coefficient1 +
                             static_cast<int64_t>(state->sample2) * state->coefficient2) >>
                            8;
  const int signedNibble = nibble >= 8 ? nibble - 16 : nibble;
  const int sample = static_cast<int>(
      std::clamp<int64_t>(predicted + static_cast<int64_t>(signedNibble) * state->delta, -32768, 32767));
  state->sample2 = state->sample1;
  state->sample1 = sample;
  // Real encoders keep the step far below the cap; a hostile block cannot make it overflow.
  state->delta = std::clamp((kMsAdaptation[nibble] * state->delta) >> 8, 16, kMsDeltaCap);
  return static_cast<int16_t>(sample);
}

class MsAdpcmDecoder : public AdpcmBlockDecoder {
 public:
  explicit MsAdpcmDecoder(const WAVEFORMATEX* format) : AdpcmBlockDecoder(format, 7) {
    const auto* adpcm = reinterpret_cast<const ADPCMWAVEFORMAT*>(format);
    const BYTE* coefficients = reinterpret_cast<const BYTE*>(format) + sizeof(ADPCMWAVEFORMAT);
    for (int i = 0; i < adpcm->wNumCoef; ++i)
      coefficients_.push_back({ReadShort(coefficients + 4 * i), ReadShort(coefficients + 4 * i + 2)});
    const DWORD most = (blockAlign_ - 7 * channels_) * 2 / channels_ + 2;
    framesPerBlock_ = std::min<DWORD>(adpcm->wSamplesPerBlock, most);
  }

  DWORD DecodeUnit(const BYTE* unit, DWORD bytes, FrameBuffer* out) override {
    MsChannelState state[2];
    const BYTE* p = unit;
    for (DWORD c = 0; c < channels_; ++c) {
      // A predictor outside the file's own table decodes from a flat prediction.
      const BYTE predictor = *p++;
      const ADPCMCOEFSET set = predictor < coefficients_.size() ? coefficients_[predictor] : ADPCMCOEFSET{0, 0};
      state[c].coefficient1 = set.iCoef1;
      state[c].coefficient2 = set.iCoef2;
    }
    for (DWORD c = 0; c < channels_; ++c, p += 2) state[c].delta = ReadShort(p);
    for (DWORD c = 0; c < channels_; ++c, p += 2) state[c].sample1 = ReadShort(p);
    for (DWORD c = 0; c < channels_; ++c, p += 2) state[c].sample2 = ReadShort(p);
    if (FramesOfPartBlock(bytes) == 0) {
      out->clear();
      return 0;
    }
    out->assign(static_cast<size_t>(framesPerBlock_) * channels_, 0);
    for (DWORD c = 0; c < channels_; ++c) {
      (*out)[c] = state[c].sample2 * (1 << 16);
      (*out)[channels_ + c] = state[c].sample1 * (1 << 16);
    }
    // Nibbles follow in frame order, channels interleaved, high nibble first.
    const DWORD nibbles = Nibbles(bytes);
    for (DWORD n = 0; n < nibbles; ++n) {
      const int nibble = (p[n / 2] >> ((n & 1) ? 0 : 4)) & 0x0F;
      const DWORD c = n % channels_;
      (*out)[2 * channels_ + n] = ExpandMsNibble(&state[c], nibble) * (1 << 16);
    }
    return FramesOfPartBlock(bytes);
  }

 protected:
  DWORD FramesOfPartBlock(DWORD bytes) const override {
    return framesPerBlock_ < 2 ? 0 : 2 + Nibbles(bytes) / channels_;
  }

 private:
  DWORD Nibbles(DWORD bytes) const {
    return std::min<DWORD>((bytes - 7 * channels_) * 2, (framesPerBlock_ - 2) * channels_);
  }

  std::vector<ADPCMCOEFSET> coefficients_;
};

}  // namespace

bool AcceptsImaAdpcm(const WAVEFORMATEX* format) {
  const DWORD channels = format->nChannels;
  if (channels < 1 || channels > 2 || format->wBitsPerSample != 4) return false;
  if (format->nSamplesPerSec < 1 || format->nSamplesPerSec > 384000) return false;
  return format->nBlockAlign > 4 * channels && (format->nBlockAlign - 4 * channels) % (4 * channels) == 0;
}

std::unique_ptr<SourceDecoder> CreateImaAdpcmDecoder(const WAVEFORMATEX* format) {
  return std::make_unique<ImaAdpcmDecoder>(format);
}

bool AcceptsMsAdpcm(const WAVEFORMATEX* format) {
  const DWORD channels = format->nChannels;
  if (channels < 1 || channels > 2 || format->wBitsPerSample != 4) return false;
  if (format->nSamplesPerSec < 1 || format->nSamplesPerSec > 384000) return false;
  if (format->nBlockAlign <= 7 * channels || format->cbSize < 4) return false;
  const auto* adpcm = reinterpret_cast<const ADPCMWAVEFORMAT*>(format);
  return adpcm->wNumCoef >= 1 && format->cbSize >= 4 + 4 * adpcm->wNumCoef && adpcm->wSamplesPerBlock >= 2;
}

std::unique_ptr<SourceDecoder> CreateMsAdpcmDecoder(const WAVEFORMATEX* format) {
  return std::make_unique<MsAdpcmDecoder>(format);
}

}  // namespace acm
