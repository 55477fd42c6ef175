// Mixer throughput in x-realtime (seconds of 44.1 kHz stereo output mixed per second) for N
// voices of mixed formats and rates, through the fast paths and the reference path, beside a
// memcpy of the same amount of output as the physical reference. Voices of 24-bit and float
// samples take the reference path in both.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "../platform/dsound/mixer.h"  // The mixer core.
#include "ratio_report.h"

namespace {

constexpr int kFramesPerPeriod = platform::dsound::kPeriodFrames;

std::vector<platform::dsound::Voice> MakeVoices(int count) {
  std::mt19937 random(count);
  std::vector<platform::dsound::Voice> voices(static_cast<size_t>(count));
  const struct {
    DWORD rate;
    WORD channels;
    WORD bits;
    WORD tag;
  } formats[] = {{44100, 2, 16, WAVE_FORMAT_PCM}, {22050, 1, 16, WAVE_FORMAT_PCM},
                 {44100, 1, 16, WAVE_FORMAT_PCM}, {11025, 1, 8, WAVE_FORMAT_PCM},
                 {48000, 2, 16, WAVE_FORMAT_PCM}, {32000, 2, 8, WAVE_FORMAT_PCM},
                 {48000, 2, 24, WAVE_FORMAT_PCM}, {44100, 2, 32, WAVE_FORMAT_IEEE_FLOAT}};
  for (int i = 0; i < count; ++i) {
    platform::dsound::Voice& voice = voices[i];
    const auto& format = formats[i % 8];
    voice.format.wFormatTag = format.tag;
    voice.format.nChannels = format.channels;
    voice.format.nSamplesPerSec = format.rate;
    voice.format.wBitsPerSample = format.bits;
    voice.format.nBlockAlign = static_cast<WORD>(format.channels * format.bits / 8);
    voice.layout = platform::winmm::SampleLayoutOf(&voice.format);
    voice.frames = format.rate;  // One second, played looping.
    voice.samples = std::make_shared<platform::dsound::SampleStore>();
    voice.samples->bytes.resize(static_cast<size_t>(voice.frames) * voice.format.nBlockAlign);
    for (uint8_t& byte : voice.samples->bytes) byte = static_cast<uint8_t>(random());
    if (format.tag == WAVE_FORMAT_IEEE_FLOAT)
      for (size_t at = 0; at + 4 <= voice.samples->bytes.size(); at += 4) {
        const float sample = static_cast<float>(static_cast<int>(random() % 65536) - 32768) / 32768.0f;
        std::memcpy(voice.samples->bytes.data() + at, &sample, 4);
      }
    voice.frequency = format.rate;
    voice.playing = true;
    voice.looping = true;
    voice.position = static_cast<uint64_t>(random() % voice.frames) << 32;
    platform::dsound::GainsOf(-static_cast<int32_t>(random() % 1200), static_cast<int32_t>(random() % 2001) - 1000,
                              &voice.leftGain, &voice.rightGain);
  }
  return voices;
}

// Stops the run unless the fast paths and the reference path mix the voices into the same
// output, bit for bit, over a second and a half (every voice loops round once), and leave them
// at the same positions.
void RequireFastPathsMatchReference(int count) {
  if (!FirstTime("mixer " + std::to_string(count))) return;
  std::vector<platform::dsound::Voice> fast = MakeVoices(count);
  std::vector<platform::dsound::Voice> plain = MakeVoices(count);
  std::vector<int32_t> fastSum(kFramesPerPeriod * 2), plainSum(kFramesPerPeriod * 2);
  std::vector<int16_t> fastOut(kFramesPerPeriod * 2), plainOut(kFramesPerPeriod * 2);
  bool same = true;
  for (uint32_t done = 0; same && done < platform::dsound::kOutputRate * 3 / 2; done += kFramesPerPeriod) {
    std::fill(fastSum.begin(), fastSum.end(), 0);
    std::fill(plainSum.begin(), plainSum.end(), 0);
    for (size_t i = 0; i < fast.size(); ++i) {
      platform::dsound::MixVoice(fast[i], fastSum.data(), kFramesPerPeriod);
      platform::dsound::MixVoiceReference(plain[i], plainSum.data(), kFramesPerPeriod);
      same = same && fast[i].position == plain[i].position;
    }
    platform::dsound::ClipToOutput(fastSum.data(), fastOut.data(), kFramesPerPeriod * 2);
    platform::dsound::ClipToOutput(plainSum.data(), plainOut.data(), kFramesPerPeriod * 2);
    same = same && fastSum == plainSum && fastOut == plainOut;
  }
  RequireSameOutput(same, "the mixer's fast paths and its reference path");
}

template <void (*Mix)(platform::dsound::Voice&, int32_t*, int)>
void MixVoices(benchmark::State& state) {
  RequireFastPathsMatchReference(static_cast<int>(state.range(0)));
  std::vector<platform::dsound::Voice> voices = MakeVoices(static_cast<int>(state.range(0)));
  std::vector<int32_t> accumulator(kFramesPerPeriod * 2);
  std::vector<int16_t> output(kFramesPerPeriod * 2);
  for (auto _ : state) {
    std::fill(accumulator.begin(), accumulator.end(), 0);
    for (platform::dsound::Voice& voice : voices) Mix(voice, accumulator.data(), kFramesPerPeriod);
    platform::dsound::ClipToOutput(accumulator.data(), output.data(), kFramesPerPeriod * 2);
    benchmark::DoNotOptimize(output.data());
  }
  state.counters["x_realtime"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kFramesPerPeriod / platform::dsound::kOutputRate,
      benchmark::Counter::kIsRate);
}

// Copying one period of output per voice: what the mix could not beat if it only moved bytes.
void CopyVoices(benchmark::State& state) {
  const int voices = static_cast<int>(state.range(0));
  std::vector<int16_t> source(kFramesPerPeriod * 2 * voices, 3);
  std::vector<int16_t> output(kFramesPerPeriod * 2);
  for (auto _ : state) {
    for (int voice = 0; voice < voices; ++voice)
      std::memcpy(output.data(), source.data() + voice * kFramesPerPeriod * 2, output.size() * 2);
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
  state.counters["x_realtime"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kFramesPerPeriod / platform::dsound::kOutputRate,
      benchmark::Counter::kIsRate);
}

BENCHMARK(MixVoices<platform::dsound::MixVoice>)->Name("MixFastPaths")->Arg(1)->Arg(8)->Arg(32);
BENCHMARK(MixVoices<platform::dsound::MixVoiceReference>)->Name("MixReferencePath")->Arg(1)->Arg(8)->Arg(32);
BENCHMARK(CopyVoices)->Name("MemcpyReference")->Arg(1)->Arg(8)->Arg(32);

}  // namespace
