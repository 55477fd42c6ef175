// MPEG audio frame headers (Layers I to III of MPEG-1, MPEG-2 and MPEG-2.5), read once for every
// reader of MPEG audio: the audio compression manager's codec, the MP3 sound loader and the movie
// graph's decoder. Not a platform library of its own, but the codec below the library needs it.
#pragma once

#include <cstdint>

namespace platform {

struct MpegAudioFrameHeader {
  uint8_t version;     // As the header writes it: 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5.
  uint8_t layerIndex;  // 0 Layer I, 1 Layer II, 2 Layer III.
  uint8_t padding;     // 1 when the frame carries one more slot.
  uint8_t channels;
  uint32_t sampleRate;       // Hz.
  uint32_t bitRate;          // kbit/s; 0 for free format, whose frames tell no length.
  uint32_t frameLength;      // Bytes, header included; 0 for free format.
  uint32_t samplesPerFrame;  // Per channel.
};

// Reads the four bytes at `header`: 0 for a frame header; -2 when they start with no sync (eleven
// set bits); -1 for the reserved version or layer, bit-rate index 15 or sample-rate index 3.
int ReadMpegAudioFrameHeader(const uint8_t header[4], MpegAudioFrameHeader* out);

// A frame header with a frame length the parsers can step by (free format has none): false for
// anything else.
inline bool ReadSizedMpegAudioFrameHeader(const uint8_t header[4], MpegAudioFrameHeader* out) {
  return ReadMpegAudioFrameHeader(header, out) == 0 && out->frameLength > 4;
}

}  // namespace platform
