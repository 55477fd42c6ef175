#include "sound_fixtures.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "sound/sound_records.h"

Bytes ReadSoundFixture(const std::string& name) {
  std::ifstream file(std::string(ZYVEL_SOURCE_DIR) + "/tests/fixtures/sound/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

Bytes WideSampleFixture(const std::string& name) {
  if (name != "float32_ext") return ReadSoundFixture(name);
  const Bytes plain = ReadSoundFixture("float32.wav");
  // RIFF head, then "fmt " with 18 bytes, "fact", and the data chunk to the end.
  WAVEFORMATEXTENSIBLE extensible{};
  std::memcpy(&extensible.Format, plain.data() + 20, sizeof(WAVEFORMATEX));
  extensible.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
  extensible.Format.cbSize = kWaveFormatExtensibleExtraBytes;
  extensible.Samples.wValidBitsPerSample = 32;
  extensible.dwChannelMask = 4;  // Front centre
  extensible.SubFormat = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
  const auto* format = reinterpret_cast<const uint8_t*>(&extensible);
  const std::string data4 = "data";
  const auto dataAt = std::search(plain.begin(), plain.end(), data4.begin(), data4.end());
  const Bytes data(dataAt + 8, plain.end());
  return BuildWave({{"fmt ", Bytes(format, format + sizeof(extensible))}, {"data", data}});
}

std::vector<int16_t> ToSamples(const Bytes& bytes) {
  std::vector<int16_t> samples(bytes.size() / 2);
  if (!samples.empty()) std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

static void PutWord(Bytes* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

Bytes BuildWave(const std::vector<WaveChunk>& chunks) {
  Bytes body = {'W', 'A', 'V', 'E'};
  for (const WaveChunk& chunk : chunks) {
    body.insert(body.end(), chunk.id.begin(), chunk.id.end());
    PutWord(&body, chunk.claimedSize != 0xFFFFFFFFu ? chunk.claimedSize : static_cast<uint32_t>(chunk.payload.size()));
    body.insert(body.end(), chunk.payload.begin(), chunk.payload.end());
    if (chunk.payload.size() & 1) body.push_back(0);
  }
  Bytes image = {'R', 'I', 'F', 'F'};
  PutWord(&image, static_cast<uint32_t>(body.size()));
  image.insert(image.end(), body.begin(), body.end());
  return image;
}

Bytes FormatChunk(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t blockAlign, uint16_t bits, int size,
                  uint32_t average) {
  WAVEFORMATEX format{};
  format.wFormatTag = tag;
  format.nChannels = channels;
  format.nSamplesPerSec = rate;
  format.nAvgBytesPerSec = average != 0xFFFFFFFFu ? average : rate * blockAlign;
  format.nBlockAlign = blockAlign;
  format.wBitsPerSample = bits;
  Bytes bytes(static_cast<size_t>(size), 0);
  std::memcpy(bytes.data(), &format,
              static_cast<size_t>(size) < sizeof(format) ? static_cast<size_t>(size) : sizeof(format));
  return bytes;
}

Bytes CountingPcm16(int frames, int channels) {
  Bytes pcm;
  for (int f = 0; f < frames; ++f)
    for (int c = 0; c < channels; ++c) {
      const uint16_t value = static_cast<uint16_t>(f * 7 + c * 1000 + (f >> 8) * 3);
      pcm.push_back(static_cast<uint8_t>(value));
      pcm.push_back(static_cast<uint8_t>(value >> 8));
    }
  return pcm;
}

MemoryConverter::MemoryConverter(const Bytes& image, int decoderMask) : image_(image) {
  source_.functions = *GetMemoryStreamFuncs();
  source_.stream = reinterpret_cast<StreamHandle>(OpenMemoryStream(image_.data(), static_cast<int>(image_.size())));
  const int savedMask = g_soundOptions.decoderMask;
  g_soundOptions.decoderMask = decoderMask;
  setupResult = SetupPcmConverter(&source_, &converter);
  g_soundOptions.decoderMask = savedMask;
}

MemoryConverter::~MemoryConverter() {
  EndPcmConverter(&converter);
  CloseMemoryStream(source_.stream);
}

Bytes MemoryConverter::ReadAll(int pieceSize) {
  Bytes all;
  Bytes piece(static_cast<size_t>(pieceSize));
  for (;;) {
    const int got = ConvertPcm(&converter, piece.data(), pieceSize);
    if (got <= 0) break;
    all.insert(all.end(), piece.begin(), piece.begin() + got);
  }
  return all;
}

WholeDecode DecodeWhole(const Bytes& image, int decoderMask) {
  WholeDecode decode;
  MemoryConverter memory(image, decoderMask);
  if (memory.setupResult != 0) return decode;
  void* pcm = nullptr;
  int size = 0;
  decode.result = ConvertWholeToPcm(&memory.converter, &decode.format, &pcm, &size);
  if (decode.result == 0) {
    decode.pcm.assign(static_cast<uint8_t*>(pcm), static_cast<uint8_t*>(pcm) + size);
    ZV_FREE(pcm);
  }
  return decode;
}
