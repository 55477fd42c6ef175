// Voice mixing: the plain reference path and the per-format fast paths that must match it.
#include "dsound/mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform::dsound {

namespace {

double AttenuationOf(int32_t hundredthsOfDecibel) {
  if (hundredthsOfDecibel <= -10000) return 0.0;
  return std::pow(10.0, hundredthsOfDecibel / 2000.0);
}

// One sample as signed 16-bit: 8-bit samples are unsigned around 128.
inline int32_t DecodeSample8(const uint8_t* sample) { return (static_cast<int32_t>(*sample) - 128) * 256; }
inline int32_t DecodeSample16(const uint8_t* sample) {
  int16_t value;
  std::memcpy(&value, sample, 2);
  return value;
}

inline int32_t Interpolate(int32_t first, int32_t second, uint32_t fraction16) {
  return first + static_cast<int32_t>((static_cast<int64_t>(second - first) * fraction16) >> 16);
}

inline int32_t Scale(int32_t sample, int32_t gain) {
  return static_cast<int32_t>((static_cast<int64_t>(sample) * gain) >> 16);
}

int32_t ReadSample(const Voice& voice, uint32_t frame, int channel) {
  const uint8_t* bytes = voice.samples->bytes.data() + static_cast<size_t>(frame) * voice.format.nBlockAlign;
  switch (voice.layout) {
    case platform::winmm::SampleLayout::kUnsigned8:
      return DecodeSample8(bytes + channel);
    case platform::winmm::SampleLayout::kSigned16:
      return DecodeSample16(bytes + channel * 2);
    default:
      return platform::winmm::ReadFullScaleSample(voice.layout, bytes + channel * (voice.format.wBitsPerSample / 8)) >>
             16;
  }
}

// After each step: a looping voice wraps, any other stops at its end with its cursor at 0.
inline void CheckEnd(Voice& voice) {
  const uint64_t end = static_cast<uint64_t>(voice.frames) << 32;
  if (voice.position < end) return;
  if (voice.looping) {
    voice.position %= end;
  } else {
    voice.playing = false;
    voice.position = 0;
  }
}

void MixOneFrame(Voice& voice, int32_t* accumulator, uint64_t step) {
  const uint32_t index = static_cast<uint32_t>(voice.position >> 32);
  const uint32_t fraction = static_cast<uint32_t>(voice.position >> 16) & 0xFFFF;
  const uint32_t next = index + 1 < voice.frames ? index + 1 : (voice.looping ? 0 : index);
  const int32_t left = Interpolate(ReadSample(voice, index, 0), ReadSample(voice, next, 0), fraction);
  const int32_t right = voice.format.nChannels == 2
                            ? Interpolate(ReadSample(voice, index, 1), ReadSample(voice, next, 1), fraction)
                            : left;
  accumulator[0] += Scale(left, voice.leftGain);
  accumulator[1] += Scale(right, voice.rightGain);
  voice.position += step;
  CheckEnd(voice);
}

template <int Bits>
inline int32_t Decode(const uint8_t* sample) {
  if constexpr (Bits == 8)
    return DecodeSample8(sample);
  else
    return DecodeSample16(sample);
}

// Runs of frames whose following frame lies inside the buffer go through a loop without bounds
// tests; the frame at the end of the buffer goes through the reference frame.
template <int Bits, int Channels, bool UnitStep>
void MixVoiceFast(Voice& voice, int32_t* accumulator, int frames) {
  constexpr int kBytesPerSample = Bits / 8;
  constexpr int kBlockAlign = kBytesPerSample * Channels;
  const uint64_t step = StepOf(voice.frequency);
  const uint8_t* base = voice.samples->bytes.data();
  const uint64_t lastFrameStart = static_cast<uint64_t>(voice.frames - 1) << 32;
  const uint32_t fixedFraction = static_cast<uint32_t>(voice.position >> 16) & 0xFFFF;
  int done = 0;
  while (done < frames && voice.playing) {
    uint64_t run = 0;
    if (voice.position < lastFrameStart) run = (lastFrameStart - voice.position + step - 1) / step;
    if (run == 0) {
      MixOneFrame(voice, accumulator + 2 * done, step);
      ++done;
      continue;
    }
    const int count = static_cast<int>(std::min<uint64_t>(run, static_cast<uint64_t>(frames - done)));
    uint64_t position = voice.position;
    int32_t* out = accumulator + 2 * done;
    const int32_t leftGain = voice.leftGain;
    const int32_t rightGain = voice.rightGain;
    for (int i = 0; i < count; ++i) {
      const uint8_t* frame = base + (position >> 32) * kBlockAlign;
      int32_t left;
      int32_t right;
      if constexpr (UnitStep) {
        if (fixedFraction == 0) {
          left = Decode<Bits>(frame);
          right = Channels == 2 ? Decode<Bits>(frame + kBytesPerSample) : left;
        } else {
          left = Interpolate(Decode<Bits>(frame), Decode<Bits>(frame + kBlockAlign), fixedFraction);
          right = Channels == 2 ? Interpolate(Decode<Bits>(frame + kBytesPerSample),
                                              Decode<Bits>(frame + kBlockAlign + kBytesPerSample), fixedFraction)
                                : left;
        }
      } else {
        const uint32_t fraction = static_cast<uint32_t>(position >> 16) & 0xFFFF;
        left = Interpolate(Decode<Bits>(frame), Decode<Bits>(frame + kBlockAlign), fraction);
        right = Channels == 2 ? Interpolate(Decode<Bits>(frame + kBytesPerSample),
                                            Decode<Bits>(frame + kBlockAlign + kBytesPerSample), fraction)
                              : left;
      }
      out[2 * i] += Scale(left, leftGain);
      out[2 * i + 1] += Scale(right, rightGain);
      position += step;
    }
    voice.position = position;
    done += count;
    CheckEnd(voice);
  }
}

typedef void (*VoiceMixer)(Voice& voice, int32_t* accumulator, int frames);

// Keyed by [16-bit][stereo][rate equals the output rate].
constexpr VoiceMixer kVoiceMixers[2][2][2] = {
    {{MixVoiceFast<8, 1, false>, MixVoiceFast<8, 1, true>}, {MixVoiceFast<8, 2, false>, MixVoiceFast<8, 2, true>}},
    {{MixVoiceFast<16, 1, false>, MixVoiceFast<16, 1, true>}, {MixVoiceFast<16, 2, false>, MixVoiceFast<16, 2, true>}},
};

}  // namespace

void GainsOf(int32_t volume, int32_t pan, int32_t* leftGain, int32_t* rightGain) {
  const double level = AttenuationOf(volume);
  const double left = level * (pan > 0 ? AttenuationOf(-pan) : 1.0);
  const double right = level * (pan < 0 ? AttenuationOf(pan) : 1.0);
  *leftGain = static_cast<int32_t>(std::lround(left * 65536.0));
  *rightGain = static_cast<int32_t>(std::lround(right * 65536.0));
}

void MixVoiceReference(Voice& voice, int32_t* accumulator, int frames) {
  if (voice.frames == 0) return;
  const uint64_t step = StepOf(voice.frequency);
  for (int i = 0; i < frames && voice.playing; ++i) MixOneFrame(voice, accumulator + 2 * i, step);
}

void MixVoice(Voice& voice, int32_t* accumulator, int frames) {
  if (voice.frames == 0 || !voice.playing) return;
  if (voice.layout != platform::winmm::SampleLayout::kUnsigned8 &&
      voice.layout != platform::winmm::SampleLayout::kSigned16) {
    MixVoiceReference(voice, accumulator, frames);
    return;
  }
  const bool sixteenBit = voice.format.wBitsPerSample == 16;
  const bool stereo = voice.format.nChannels == 2;
  const bool unitStep = StepOf(voice.frequency) == (uint64_t{1} << 32);
  kVoiceMixers[sixteenBit][stereo][unitStep](voice, accumulator, frames);
}

void ClipToOutput(const int32_t* accumulator, int16_t* output, int samples) {
  for (int i = 0; i < samples; ++i)
    output[i] = static_cast<int16_t>(std::clamp<int32_t>(accumulator[i], -32768, 32767));
}

}  // namespace platform::dsound
