// MPEG audio frame headers: the bit-rate and sample-rate tables and the frame-length rule.
#include "platform/mpeg_audio.h"

namespace platform {

namespace {

// Bit rates in kbit/s by [MPEG-1?][layer index][bit-rate index].
const uint32_t kBitRates[2][3][16] = {
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
};
// MPEG-1's rates; MPEG-2 halves them and MPEG-2.5 quarters them.
const uint32_t kSampleRates[3] = {44100, 48000, 32000};

}  // namespace

int ReadMpegAudioFrameHeader(const uint8_t header[4], MpegAudioFrameHeader* out) {
  if (header[0] != 0xFF || (header[1] & 0xE0) != 0xE0) return -2;
  const int version = (header[1] >> 3) & 3;
  const int layerBits = (header[1] >> 1) & 3;
  const int bitRateIndex = header[2] >> 4;
  const int rateIndex = (header[2] >> 2) & 3;
  if (version == 1 || layerBits == 0 || bitRateIndex == 15 || rateIndex == 3) return -1;
  const bool mpeg1 = version == 3;
  out->version = static_cast<uint8_t>(version);
  out->layerIndex = static_cast<uint8_t>(3 - layerBits);
  out->padding = static_cast<uint8_t>((header[2] >> 1) & 1);
  out->channels = static_cast<uint8_t>(((header[3] >> 6) & 3) == 3 ? 1 : 2);
  out->sampleRate = kSampleRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
  out->bitRate = kBitRates[mpeg1][out->layerIndex][bitRateIndex];
  const uint32_t rate = out->sampleRate;
  const uint32_t bits = out->bitRate;
  if (out->layerIndex == 0) {
    out->samplesPerFrame = 384;
    out->frameLength = (12000 * bits / rate + out->padding) * 4;
  } else if (out->layerIndex == 2 && !mpeg1) {
    out->samplesPerFrame = 576;
    out->frameLength = 72000 * bits / rate + out->padding;
  } else {
    out->samplesPerFrame = 1152;
    out->frameLength = 144000 * bits / rate + out->padding;
  }
  if (bits == 0) out->frameLength = 0;
  return 0;
}

}  // namespace platform
