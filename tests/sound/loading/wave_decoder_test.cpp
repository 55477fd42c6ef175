// The WAVE chunk walk and both WAVE decoders, on images built in code.
#include <gtest/gtest.h>

#include <random>

#include "sound_fixtures.h"

namespace {

// Only the WAVE decoders: counting PCM may look like MP3 frames or nothing at all.
constexpr int kWaveOnly = SOUND_DECODER_OGG_VORBIS | SOUND_DECODER_MP3_ACM | SOUND_DECODER_MEDIA_FRAMEWORK;
constexpr int kAcmOnly = kWaveOnly | SOUND_DECODER_WAVE_PCM;

Bytes Format() { return FormatChunk(WAVE_FORMAT_PCM, 2, 8000, 4, 16); }

TEST(WaveChunkWalk, AcceptsAndRefusesChunkLayouts) {
  const Bytes pcm = CountingPcm16(300, 2);
  struct LayoutCase {
    const char* name;
    std::vector<WaveChunk> chunks;
    bool accepted;
  };
  const LayoutCase cases[] = {
      {"bext first", {{"bext", Bytes(33, 7)}, {"fmt ", Format()}, {"data", pcm}}, true},
      {"LIST first", {{"LIST", Bytes(12, 7)}, {"fmt ", Format()}, {"data", pcm}}, false},
      {"odd chunks between", {{"fmt ", Format()}, {"junk", Bytes(3, 1)}, {"fact", Bytes(5, 2)}, {"data", pcm}}, true},
      {"no data", {{"fmt ", Format()}, {"junk", Bytes(3, 1)}}, false},
      {"chunk past the end", {{"fmt ", Format()}, {"junk", Bytes(4, 1), 0xFFFFFFF0u}, {"data", pcm}}, false},
      {"chunk size with the sign bit", {{"fmt ", Format()}, {"junk", Bytes(4, 1), 0x80000000u}, {"data", pcm}}, false},
      {"format past the end", {{"fmt ", Format(), 0x7FFFFFFFu}, {"data", pcm}}, false},
      {"bext past the end", {{"bext", Bytes(2, 0), 0xFFFFFFFFu - 1}, {"fmt ", Format()}, {"data", pcm}}, false},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.name);
    for (int mask : {kWaveOnly, kAcmOnly}) {
      const WholeDecode decode = DecodeWhole(BuildWave(c.chunks), mask);
      EXPECT_EQ(decode.result == 0, c.accepted);
      if (c.accepted) {
        EXPECT_EQ(decode.pcm, pcm);
      }
    }
  }
  Bytes notWave = BuildWave({{"fmt ", Format()}, {"data", pcm}});
  notWave[8] = 'X';
  EXPECT_EQ(DecodeWhole(notWave, kWaveOnly).result, -1);
}

TEST(WaveFormatFields, ZerosAreRefusedAndAMissingAverageIsFilledIn) {
  const Bytes pcm = CountingPcm16(100, 2);
  struct FieldCase {
    const char* name;
    Bytes format;
    bool accepted;
  };
  const FieldCase cases[] = {
      {"no channels", FormatChunk(WAVE_FORMAT_PCM, 0, 8000, 4, 16), false},
      {"no rate", FormatChunk(WAVE_FORMAT_PCM, 2, 0, 4, 16), false},
      {"no block align", FormatChunk(WAVE_FORMAT_PCM, 2, 8000, 0, 16), false},
      {"no average", FormatChunk(WAVE_FORMAT_PCM, 2, 8000, 4, 16, 16, 0), true},
      {"short format", FormatChunk(WAVE_FORMAT_PCM, 2, 8000, 4, 16, 12), false},
  };
  for (const FieldCase& c : cases) {
    SCOPED_TRACE(c.name);
    for (int mask : {kWaveOnly, kAcmOnly}) {
      const WholeDecode decode = DecodeWhole(BuildWave({{"fmt ", c.format}, {"data", pcm}}), mask);
      ASSERT_EQ(decode.result == 0, c.accepted);
      if (c.accepted) {
        EXPECT_EQ(decode.format.nAvgBytesPerSec, 32000u);
        EXPECT_EQ(decode.pcm, pcm);
      }
    }
  }
}

TEST(WavePcmDecoder, SixteenByteFormatTakesItsBitsFromTheBlockAlign) {
  const Bytes pcm = CountingPcm16(100, 2);
  const WholeDecode wrongBits = DecodeWhole(
      BuildWave({{"fmt ", FormatChunk(WAVE_FORMAT_PCM, 2, 8000, 4, 12)}, {"data", pcm}}), kWaveOnly);
  ASSERT_EQ(wrongBits.result, 0);
  EXPECT_EQ(wrongBits.format.wBitsPerSample, 16);
  EXPECT_EQ(wrongBits.format.cbSize, 0);
  // An 18-byte chunk is taken as written, except for extra bytes PCM never has.
  Bytes format = FormatChunk(WAVE_FORMAT_PCM, 2, 8000, 4, 16, 18);
  format[16] = 22;
  const WholeDecode eighteen = DecodeWhole(BuildWave({{"fmt ", format}, {"data", pcm}}), kWaveOnly);
  EXPECT_EQ(eighteen.result, 0);
  EXPECT_EQ(eighteen.format.wBitsPerSample, 16);
  EXPECT_EQ(eighteen.format.cbSize, 0);
}

TEST(WavePcmDecoder, DataClaimingMoreThanTheFileEndsAtTheEnd) {
  const Bytes pcm = CountingPcm16(1000, 2);
  const Bytes image = BuildWave({{"fmt ", Format()}, {"data", pcm, 1000000}});
  for (int mask : {kWaveOnly, kAcmOnly}) {
    SCOPED_TRACE(mask);
    const WholeDecode decode = DecodeWhole(image, mask);
    ASSERT_EQ(decode.result, 0);
    EXPECT_EQ(decode.pcm, pcm);
    MemoryConverter memory(image, mask);
    EXPECT_EQ(GetPcmConvertedSize(&memory.converter) >= static_cast<int>(pcm.size()), true);
    EXPECT_EQ(memory.ReadAll(999), pcm);
  }
}

TEST(WaveAcmDecoder, RefusesExtraBytesBeyondTheFormatChunk) {
  Bytes format = FormatChunk(WAVE_FORMAT_IMA_ADPCM, 1, 8000, 256, 4, 20);
  format[16] = 40;  // cbSize claims 40 extra bytes; the chunk holds 2.
  EXPECT_EQ(DecodeWhole(BuildWave({{"fmt ", format}, {"data", Bytes(512, 0x11)}}), kWaveOnly).result, -1);
  format[16] = 2;
  format[18] = 0xF9;  // wSamplesPerBlock 505
  format[19] = 0x01;
  const WholeDecode decode = DecodeWhole(BuildWave({{"fmt ", format}, {"data", Bytes(512, 0x11)}}), kWaveOnly);
  ASSERT_EQ(decode.result, 0);
  EXPECT_EQ(decode.pcm.size(), 2u * 505 * 2);
}

// Blocks larger than the 2048-byte conversion step still convert: the step grows to one block.
TEST(WaveAcmDecoder, BlocksLargerThanOneStepConvert) {
  Bytes format = FormatChunk(WAVE_FORMAT_IMA_ADPCM, 1, 8000, 4096, 4, 20);
  format[16] = 2;
  std::mt19937 random(3);
  Bytes data(3 * 4096);
  for (uint8_t& b : data) b = static_cast<uint8_t>(random());
  const WholeDecode decode = DecodeWhole(BuildWave({{"fmt ", format}, {"data", data}}), kWaveOnly);
  ASSERT_EQ(decode.result, 0);
  EXPECT_EQ(decode.pcm.size(), 3u * 8185 * 2);
}

}  // namespace
