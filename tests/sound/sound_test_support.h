// Shared helpers of the sound tests: PCM builders and measurements of the captured mix.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/dsound.h"

namespace sound_test {

inline WAVEFORMATEX PcmFormat(DWORD rate, WORD channels, WORD bits) {
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = channels;
  format.nSamplesPerSec = rate;
  format.wBitsPerSample = bits;
  format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
  format.nAvgBytesPerSec = rate * format.nBlockAlign;
  return format;
}

inline DSBUFFERDESC BufferDescription(WAVEFORMATEX* format, DWORD bytes,
                                      DWORD flags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_CTRLFREQUENCY |
                                                    DSBCAPS_GLOBALFOCUS | DSBCAPS_STATIC) {
  DSBUFFERDESC description{};
  description.dwSize = sizeof(DSBUFFERDESC);
  description.dwFlags = flags;
  description.dwBufferBytes = bytes;
  description.lpwfxFormat = format;
  return description;
}

// Mono 16-bit sine samples.
inline std::vector<int16_t> Sine(double hertz, DWORD rate, int frames, double amplitude) {
  std::vector<int16_t> samples(static_cast<size_t>(frames));
  for (int i = 0; i < frames; ++i)
    samples[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(2.0 * M_PI * hertz * i / rate)));
  return samples;
}

// Copies bytes into the whole buffer through Lock and Unlock; false when either fails.
inline bool Fill(IDirectSoundBuffer* buffer, const void* data, DWORD bytes) {
  void* first = nullptr;
  void* second = nullptr;
  DWORD firstBytes = 0;
  DWORD secondBytes = 0;
  if (FAILED(buffer->Lock(0, bytes, &first, &firstBytes, &second, &secondBytes, 0))) return false;
  std::memcpy(first, data, firstBytes);
  return SUCCEEDED(buffer->Unlock(first, firstBytes, second, secondBytes));
}

// One channel (0 left, 1 right) of interleaved stereo output.
inline std::vector<int> Channel(const std::vector<int16_t>& mix, int channel, size_t from = 0,
                                size_t count = SIZE_MAX) {
  std::vector<int> samples;
  for (size_t frame = from; frame < mix.size() / 2 && samples.size() < count; ++frame)
    samples.push_back(mix[2 * frame + channel]);
  return samples;
}

inline int Peak(const std::vector<int>& samples) {
  int peak = 0;
  for (int sample : samples) peak = std::max(peak, std::abs(sample));
  return peak;
}

// Upward zero crossings, which over one second of a tone is its frequency.
inline int UpwardCrossings(const std::vector<int>& samples) {
  int crossings = 0;
  for (size_t i = 1; i < samples.size(); ++i)
    if (samples[i - 1] < 0 && samples[i] >= 0) ++crossings;
  return crossings;
}

}  // namespace sound_test
