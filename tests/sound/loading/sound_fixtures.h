// Helpers of the sound-loading tests: fixture files, WAVE images built in code, and whole
// decodes through a PcmConverter over a memory stream.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sound/pcm_converter.h"

typedef std::vector<uint8_t> Bytes;

Bytes ReadSoundFixture(const std::string& name);
// A fixture with wide or float samples; "float32_ext" is float32.wav rewritten in the extensible
// format (sox writes float with tag 3 only).
Bytes WideSampleFixture(const std::string& name);
std::vector<int16_t> ToSamples(const Bytes& bytes);

// A RIFF WAVE image: the head, then the chunks as given (id, payload; odd payloads padded).
struct WaveChunk {
  std::string id;
  Bytes payload;
  uint32_t claimedSize = 0xFFFFFFFFu;  // The size field written, when not the payload's size.
};
Bytes BuildWave(const std::vector<WaveChunk>& chunks);
Bytes FormatChunk(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t blockAlign, uint16_t bits, int size = 16,
                  uint32_t average = 0xFFFFFFFFu);
// Frames of 16-bit PCM that differ from one another, so a slip by any byte shows.
Bytes CountingPcm16(int frames, int channels);

// A converter over a memory stream of `image`; the stream lives as long as the object.
class MemoryConverter {
 public:
  explicit MemoryConverter(const Bytes& image, int decoderMask = 0);
  ~MemoryConverter();
  int setupResult = -1;
  PcmConverter converter{};
  Bytes ReadAll(int pieceSize = 4096);

 private:
  Bytes image_;
  SoundStreamSource source_{};
};

struct WholeDecode {
  int result = -1;
  WAVEFORMATEX format{};
  Bytes pcm;
};
WholeDecode DecodeWhole(const Bytes& image, int decoderMask = 0);
