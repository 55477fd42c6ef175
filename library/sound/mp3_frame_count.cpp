// The length of MPEG audio as the codec gives it: whole frames, less what gapless trimming takes.
#include <cstring>

#include "sound/mp3_frame_header.h"

namespace {

// The decoder's own synthesis delay, which gapless trimming adds to the encoder's delay.
constexpr int64_t kDecoderDelay = 529;
// More frames than any real sound holds; the codec decodes an information frame that claims more
// as plain sound.
constexpr uint32_t kMostInformationFrames = 1u << 20;

uint32_t ReadBigEndian32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         p[3];
}

}  // namespace

int64_t GaplessSampleCount(const uint8_t* firstFrame, uint32_t bytes, const Mp3FrameInfo& frame,
                           int64_t scannedSamples) {
  if (frame.layerIndex != 2 || bytes < 4) return scannedSamples;
  const bool stereo = ((firstFrame[3] >> 6) & 3) != 3;
  const uint32_t sideInformation = frame.version != 3 ? (stereo ? 17 : 9) : (stereo ? 32 : 17);
  // The codec's rule, checksum or not: the tag right after a side information of that length,
  // and the side information all zero but for its first two bytes. A frame that fails it is
  // decoded as sound, tag and all.
  uint32_t at = 4 + sideInformation;
  if (at + 8 > bytes) return scannedSamples;
  for (uint32_t i = 6; i < at; ++i)
    if (firstFrame[i] != 0) return scannedSamples;
  if (std::memcmp(firstFrame + at, "Xing", 4) != 0 && std::memcmp(firstFrame + at, "Info", 4) != 0)
    return scannedSamples;
  const uint32_t flags = ReadBigEndian32(firstFrame + at + 4);
  at += 8;
  uint32_t frames = 0;
  const bool counted = flags & 1;
  if (counted) {
    if (at + 4 > bytes) return scannedSamples;
    frames = ReadBigEndian32(firstFrame + at);
    if (frames > kMostInformationFrames) return scannedSamples;
    at += 4;
  }
  const int64_t sound = scannedSamples - frame.samplesPerFrame;
  if (!counted) return sound;
  if (flags & 2) at += 4;    // Byte count
  if (flags & 4) at += 100;  // Seek table
  if (flags & 8) at += 4;    // Quality
  // The LAME extension: encoder name and settings, then 12 bits of delay and 12 of padding.
  int64_t delay = 0;
  int64_t padding = 0;
  if (at + 24 <= bytes) {
    const uint8_t* p = firstFrame + at + 21;
    delay = p[0] << 4 | p[1] >> 4;
    padding = (p[1] & 0x0F) << 8 | p[2];
  }
  const int64_t begin = delay + kDecoderDelay;
  int64_t end = static_cast<int64_t>(frames) * frame.samplesPerFrame - padding + kDecoderDelay;
  if (end > sound) end = sound;
  return end > begin ? end - begin : 0;
}

int64_t CountMpegAudioSamples(const uint8_t* data, uint32_t bytes) {
  int64_t samples = 0;
  const uint8_t* first = nullptr;
  Mp3FrameInfo firstFrame{};
  uint32_t at = 0;
  while (at + 4 <= bytes) {
    Mp3FrameInfo frame;
    // MPEG-2.5 too: the codec decodes it inside WAVE files though MP3 files refuse it.
    if (platform::ReadSizedMpegAudioFrameHeader(data + at, &frame) && frame.frameLength <= bytes - at) {
      if (!first) {
        first = data + at;
        firstFrame = frame;
      }
      samples += frame.samplesPerFrame;
      at += frame.frameLength;
      continue;
    }
    ++at;
    while (at < bytes && data[at] != 0xFF) ++at;
  }
  return first ? GaplessSampleCount(first, firstFrame.frameLength, firstFrame, samples) : 0;
}
