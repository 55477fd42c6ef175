// The mixing core of the DirectSound stand-in: one voice per secondary buffer, resampled linearly
// to the output rate, scaled by its gains and summed into a 32-bit accumulator that is clipped to
// signed 16 bits at the end.
//
// Arithmetic is integer throughout: the cursor is a 32.32 fixed-point frame count, interpolation
// uses the top 16 bits of its fraction, gains are Q16. The per-format fast paths (a table keyed by
// sample width, channel count and whether the rate equals the output rate) therefore give exactly
// the bytes of the one plain reference path, which a differential test checks. Samples of 24 and
// 32 bits and float are taken at 16 bits (truncated) and mixed by the reference path.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "../winmm/wave_samples.h"
#include "platform/winmm.h"

namespace platform::dsound {

constexpr uint32_t kOutputRate = 44100;
constexpr int kOutputChannels = 2;
constexpr int kPeriodFrames = 512;  // One device callback; the play cursor moves by this much.

// The samples of a buffer and of all its duplicates.
struct SampleStore {
  std::vector<uint8_t> bytes;
};

struct Voice {
  std::shared_ptr<SampleStore> samples;
  WAVEFORMATEX format{};
  platform::winmm::SampleLayout layout = platform::winmm::SampleLayout::kSigned16;
  uint32_t frames = 0;     // Whole frames in the buffer.
  uint32_t frequency = 0;  // Current rate in Hz.
  bool playing = false;
  bool looping = false;
  uint64_t position = 0;     // Frames, 32.32 fixed point.
  int32_t leftGain = 65536;  // Q16, volume and pan together.
  int32_t rightGain = 65536;
};

// The cursor step per output frame for a voice playing at `frequency`.
inline uint64_t StepOf(uint32_t frequency) { return (static_cast<uint64_t>(frequency) << 32) / kOutputRate; }

// Q16 gains of a volume and a pan in hundredths of a decibel: the amplitude falls by
// 10^(hundredths / 2000), pan lowers the far side only, and the ends of the ranges are silence.
void GainsOf(int32_t volume, int32_t pan, int32_t* leftGain, int32_t* rightGain);

// Adds `frames` output frames of the voice into `accumulator` (interleaved left, right) and moves
// its cursor; a voice without looping that passes its end stops with its cursor at 0.
// MixVoice takes the voice's fast path; MixVoiceReference is the plain path it must match.
void MixVoice(Voice& voice, int32_t* accumulator, int frames);
void MixVoiceReference(Voice& voice, int32_t* accumulator, int frames);

// Clips the accumulator into signed 16-bit output.
void ClipToOutput(const int32_t* accumulator, int16_t* output, int samples);

}  // namespace platform::dsound
