// MPEG audio frame headers: each version and layer reads its own bit-rate table and its own share
// of the sample rate, and the frame length follows from them and the padding.
#include <gtest/gtest.h>

#include <vector>

#include "platform/mpeg_audio.h"

namespace {

TEST(MpegAudioFrameHeaderTest, ReadsEachVersionLayerRateAndPaddingAndRefusesReservedValues) {
  struct HeaderCase {
    const char* name;
    uint8_t bytes[4];
    int result;
    int version;
    int layerIndex;
    uint32_t bitRate;
    uint32_t sampleRate;
    int padding;
    int channels;
    uint32_t frameLength;
    uint32_t samplesPerFrame;
  };
  const HeaderCase cases[] = {
      {"MPEG-1 Layer III 128 kbit/s", {0xFF, 0xFB, 0x90, 0x00}, 0, 3, 2, 128, 44100, 0, 2, 417, 1152},
      {"MPEG-1 Layer III padded, one channel", {0xFF, 0xFB, 0x92, 0xC0}, 0, 3, 2, 128, 44100, 1, 1, 418, 1152},
      {"MPEG-1 Layer III 320 kbit/s 32 kHz", {0xFF, 0xFB, 0xE8, 0x40}, 0, 3, 2, 320, 32000, 0, 2, 1440, 1152},
      {"MPEG-1 Layer II 192 kbit/s", {0xFF, 0xFD, 0xA0, 0x00}, 0, 3, 1, 192, 44100, 0, 2, 626, 1152},
      {"MPEG-1 Layer I 288 kbit/s", {0xFF, 0xFF, 0x90, 0x00}, 0, 3, 0, 288, 44100, 0, 2, 312, 384},
      {"MPEG-1 Layer I padded: one four-byte slot", {0xFF, 0xFF, 0x92, 0x00}, 0, 3, 0, 288, 44100, 1, 2, 316, 384},
      {"MPEG-2 Layer III 64 kbit/s", {0xFF, 0xF3, 0x80, 0x00}, 0, 2, 2, 64, 22050, 0, 2, 208, 576},
      {"MPEG-2 Layer II 64 kbit/s 24 kHz", {0xFF, 0xF5, 0x84, 0x00}, 0, 2, 1, 64, 24000, 0, 2, 384, 1152},
      {"MPEG-2 Layer I 192 kbit/s 16 kHz", {0xFF, 0xF7, 0xC8, 0x00}, 0, 2, 0, 192, 16000, 0, 2, 576, 384},
      {"MPEG-2.5 Layer III padded", {0xFF, 0xE3, 0x82, 0xC0}, 0, 0, 2, 64, 11025, 1, 1, 418, 576},
      {"MPEG-2.5 Layer III 8 kHz", {0xFF, 0xE3, 0x48, 0x00}, 0, 0, 2, 32, 8000, 0, 2, 288, 576},
      {"free format: no length", {0xFF, 0xFB, 0x00, 0x00}, 0, 3, 2, 0, 44100, 0, 2, 0, 1152},
      {"free format padded: still no length", {0xFF, 0xFF, 0x02, 0x00}, 0, 3, 0, 0, 44100, 1, 2, 0, 384},
      {"reserved version", {0xFF, 0xEB, 0x90, 0x00}, -1},
      {"reserved layer", {0xFF, 0xF9, 0x90, 0x00}, -1},
      {"bit-rate index 15", {0xFF, 0xFB, 0xF0, 0x00}, -1},
      {"sample-rate index 3", {0xFF, 0xE3, 0x8C, 0x00}, -1},
      {"first byte short of a sync", {0xFE, 0xFB, 0x90, 0x00}, -2},
      {"ten sync bits", {0xFF, 0xC3, 0x90, 0x00}, -2},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    platform::MpegAudioFrameHeader header{};
    ASSERT_EQ(platform::ReadMpegAudioFrameHeader(c.bytes, &header), c.result);
    if (c.result != 0) continue;
    EXPECT_EQ(header.version, c.version);
    EXPECT_EQ(header.layerIndex, c.layerIndex);
    EXPECT_EQ(header.bitRate, c.bitRate);
    EXPECT_EQ(header.sampleRate, c.sampleRate);
    EXPECT_EQ(header.padding, c.padding);
    EXPECT_EQ(header.channels, c.channels);
    EXPECT_EQ(header.frameLength, c.frameLength);
    EXPECT_EQ(header.samplesPerFrame, c.samplesPerFrame);
  }
}

}  // namespace
