// The output stage of every conversion: decoded frames to the destination's PCM.
#include <cstring>

#include "acm/codec.h"

namespace acm {

bool IsWritablePcm(const WAVEFORMATEX* format) {
  const int bits = format->wBitsPerSample;
  if (format->wFormatTag != WAVE_FORMAT_PCM) return false;
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  if (format->nChannels < 1 || format->nChannels > 8) return false;
  if (format->nSamplesPerSec < 1 || format->nSamplesPerSec > 384000) return false;
  return format->nBlockAlign == format->nChannels * bits / 8;
}

bool ChannelsConvertible(int from, int to) { return from == to || (from == 1 && to == 2) || (from == 2 && to == 1); }

PcmOutput::PcmOutput(int sourceChannels, DWORD sourceRate, const WAVEFORMATEX& destination)
    : sourceChannels_(sourceChannels),
      channels_(destination.nChannels),
      sourceRate_(sourceRate),
      rate_(destination.nSamplesPerSec),
      bits_(destination.wBitsPerSample),
      blockAlign_(destination.nBlockAlign),
      lastFrame_(static_cast<size_t>(destination.nChannels), 0) {}

void PcmOutput::Reset() {
  inputSeen_ = 0;
  outputGiven_ = 0;
}

// Frames k with floor(k x in / out) + 1 < seen can be made: k < (seen - 1) x out / in.
static uint64_t MadeBefore(uint64_t seen, DWORD in, DWORD out) {
  if (seen == 0) return 0;
  return ((seen - 1) * out + in - 1) / in;
}

uint64_t PcmOutput::MaxOutputFrames(uint64_t frames) const {
  if (sourceRate_ == rate_) return frames;
  return MadeBefore(inputSeen_ + frames, sourceRate_, rate_) - outputGiven_;
}

void PcmOutput::EncodeFrame(const int32_t* frame, BYTE* out) const {
  for (int c = 0; c < channels_; ++c) {
    const int32_t s = frame[c];
    switch (bits_) {
      case 8:
        *out++ = static_cast<BYTE>((s >> 24) + 128);
        break;
      case 16:
        out[0] = static_cast<BYTE>(s >> 16);
        out[1] = static_cast<BYTE>(s >> 24);
        out += 2;
        break;
      case 24:
        out[0] = static_cast<BYTE>(s >> 8);
        out[1] = static_cast<BYTE>(s >> 16);
        out[2] = static_cast<BYTE>(s >> 24);
        out += 3;
        break;
      default:
        out[0] = static_cast<BYTE>(s);
        out[1] = static_cast<BYTE>(s >> 8);
        out[2] = static_cast<BYTE>(s >> 16);
        out[3] = static_cast<BYTE>(s >> 24);
        out += 4;
        break;
    }
  }
}

DWORD PcmOutput::Write(const FrameBuffer& source, DWORD frames, BYTE* destination) {
  // Channels first, so the resampler and the encoder see the destination's layout.
  const int32_t* frameData = source.data();
  if (sourceChannels_ != channels_) {
    mapped_.resize(static_cast<size_t>(frames) * channels_);
    for (DWORD f = 0; f < frames; ++f) {
      const int32_t* in = source.data() + static_cast<size_t>(f) * sourceChannels_;
      int32_t* out = mapped_.data() + static_cast<size_t>(f) * channels_;
      if (channels_ == 2) {
        out[0] = out[1] = in[0];
      } else {
        out[0] = static_cast<int32_t>((static_cast<int64_t>(in[0]) + in[1]) / 2);
      }
    }
    frameData = mapped_.data();
  }
  if (sourceRate_ == rate_ && bits_ == 16) {
    // The common case, as one loop the compiler can widen: each sample's top 16 bits.
    const size_t samples = static_cast<size_t>(frames) * channels_;
    for (size_t i = 0; i < samples; ++i) {
      const int16_t sample = static_cast<int16_t>(frameData[i] >> 16);
      std::memcpy(destination + 2 * i, &sample, 2);
    }
    return frames * blockAlign_;
  }
  if (sourceRate_ == rate_) {
    for (DWORD f = 0; f < frames; ++f)
      EncodeFrame(frameData + static_cast<size_t>(f) * channels_, destination + f * blockAlign_);
    return frames * blockAlign_;
  }
  if (frames == 0) return 0;
  // Source frame i of this call is frame inputSeen_ + i of the stream; index -1 is lastFrame_.
  const uint64_t first = inputSeen_;
  const uint64_t seen = inputSeen_ + frames;
  const uint64_t target = MadeBefore(seen, sourceRate_, rate_);
  DWORD written = 0;
  std::vector<int32_t> frame(static_cast<size_t>(channels_));
  for (; outputGiven_ < target; ++outputGiven_) {
    const uint64_t position = outputGiven_ * sourceRate_;
    const uint64_t index = position / rate_;
    const int64_t fraction = static_cast<int64_t>(position % rate_);
    const int32_t* a = index < first ? lastFrame_.data() : frameData + (index - first) * channels_;
    const int32_t* b = frameData + (index + 1 - first) * channels_;
    for (int c = 0; c < channels_; ++c)
      frame[c] =
          static_cast<int32_t>(a[c] + (static_cast<int64_t>(b[c]) - a[c]) * fraction / static_cast<int64_t>(rate_));
    EncodeFrame(frame.data(), destination + written);
    written += blockAlign_;
  }
  std::memcpy(lastFrame_.data(), frameData + static_cast<size_t>(frames - 1) * channels_, sizeof(int32_t) * channels_);
  inputSeen_ = seen;
  return written;
}

DWORD PcmOutput::Flush(BYTE* destination, DWORD room) {
  if (sourceRate_ == rate_ || inputSeen_ == 0) return 0;
  // The frames whose left neighbour is the last source frame, held at that frame.
  const uint64_t end = (inputSeen_ * rate_ + sourceRate_ - 1) / sourceRate_;
  DWORD written = 0;
  while (outputGiven_ < end && room - written >= blockAlign_) {
    EncodeFrame(lastFrame_.data(), destination + written);
    written += blockAlign_;
    ++outputGiven_;
  }
  return written;
}

}  // namespace acm
