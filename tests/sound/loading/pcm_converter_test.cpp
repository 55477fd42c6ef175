// The conversion front end: decoder choice and mask, pieces, seeking, the end flag, and the small
// routines of the sound data path.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "sound/sound_records.h"
#include "sound_fixtures.h"

namespace {

Bytes PcmWave(int frames, int channels = 2, int rate = 8000) {
  return BuildWave({{"fmt ", FormatChunk(WAVE_FORMAT_PCM, channels, rate, channels * 2, 16)},
                    {"data", CountingPcm16(frames, channels)}});
}

TEST(PcmConverterSetup, EveryDecoderMaskedFailsWithTheStreamAtTheStart) {
  const Bytes image = PcmWave(100);
  SoundStreamSource source{*GetMemoryStreamFuncs(), reinterpret_cast<StreamHandle>(OpenMemoryStream(
                                                        image.data(), static_cast<int>(image.size())))};
  MemoryStreamSeek(source.stream, 10, 0);
  PcmConverter converter{};
  g_soundOptions.decoderMask = 0x1F;
  EXPECT_EQ(SetupPcmConverter(&source, &converter), -1);
  g_soundOptions.decoderMask = 0;
  EXPECT_EQ(MemoryStreamTell(source.stream), 0);
  EXPECT_EQ(ConvertPcm(&converter, nullptr, 10), -1);
  EXPECT_EQ(EndPcmConverter(&converter), -1);
  CloseMemoryStream(source.stream);
}

TEST(PcmConverterSetup, TakesTheFirstDecoderTheMaskLeaves) {
  struct MaskCase {
    const char* file;
    int mask;
    int setup;
    int method;
  };
  const MaskCase cases[] = {
      {"tone_mono.wav", 0, 0, PCM_CONVERT_WAVE_PCM},
      {"tone_mono.wav", SOUND_DECODER_WAVE_PCM, 0, PCM_CONVERT_ACM},
      {"tone_mono.wav", SOUND_DECODER_WAVE_PCM | SOUND_DECODER_WAVE_ACM, -1, 0},
      {"ima_adpcm.wav", 0, 0, PCM_CONVERT_ACM},
      {"ima_adpcm.wav", SOUND_DECODER_WAVE_ACM, -1, 0},
      {"vorbis_stereo.ogg", 0, 0, PCM_CONVERT_OGG_VORBIS},
      {"vorbis_stereo.ogg", SOUND_DECODER_OGG_VORBIS, -1, 0},
      {"mp3_stereo_cbr.mp3", 0, 0, PCM_CONVERT_ACM},
      {"mp3_stereo_cbr.mp3", SOUND_DECODER_MP3_ACM, 0, PCM_CONVERT_MEMORY_PCM},
      {"mp3_stereo_cbr.mp3", SOUND_DECODER_MP3_ACM | SOUND_DECODER_MEDIA_FRAMEWORK, -1, 0},
  };
  for (const MaskCase& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " mask " + std::to_string(c.mask));
    MemoryConverter memory(ReadSoundFixture(c.file), c.mask);
    EXPECT_EQ(memory.setupResult, c.setup);
    if (c.setup == 0) {
      EXPECT_EQ(memory.converter.method, c.method);
    }
  }
}

TEST(PcmConverterConvert, DeliversAnyPieceSizeAndStopsAtTheEnd) {
  const Bytes pcm = CountingPcm16(20000, 2);
  for (int mask : {0, static_cast<int>(SOUND_DECODER_WAVE_PCM)}) {
    SCOPED_TRACE(mask);
    MemoryConverter memory(PcmWave(20000), mask);
    ASSERT_EQ(memory.setupResult, 0);
    BYTE scratch[8];
    EXPECT_EQ(ConvertPcm(&memory.converter, scratch, 0), 0);
    EXPECT_EQ(memory.converter.outputPosition, 0);
    EXPECT_EQ(memory.ReadAll(777), pcm);
    EXPECT_EQ(memory.converter.end, 1);
    EXPECT_EQ(ConvertPcm(&memory.converter, scratch, 8), 0);
    EXPECT_EQ(GetPcmConvertedSize(&memory.converter), static_cast<int>(pcm.size()));
  }
}

// Through the compression manager, pieces of any size give the bytes of the whole decode, whether
// a piece's room takes the codec's output straight or the buffer serves it, and in any mix.
TEST(PcmConverterConvert, CompressionManagerPiecesOfAnySizeGiveTheWholeDecode) {
  for (const char* file : {"mp3_stereo_vbr.mp3", "mp3_mono_cbr.mp3", "ima_adpcm.wav", "mulaw.wav"}) {
    SCOPED_TRACE(file);
    const Bytes image = ReadSoundFixture(file);
    const WholeDecode whole = DecodeWhole(image);
    ASSERT_EQ(whole.result, 0);
    for (unsigned seed = 1; seed <= 3; ++seed) {
      MemoryConverter memory(image);
      ASSERT_EQ(memory.setupResult, 0);
      ASSERT_EQ(memory.converter.method, PCM_CONVERT_ACM);
      std::mt19937 random(seed);
      Bytes pieces;
      for (;;) {
        const int size = static_cast<int>(random() % 3 == 0 ? 1 + random() % 64 : 1 + random() % 40000);
        Bytes piece(static_cast<size_t>(size));
        const int got = ConvertPcm(&memory.converter, piece.data(), size);
        if (got <= 0) break;
        pieces.insert(pieces.end(), piece.begin(), piece.begin() + got);
      }
      EXPECT_EQ(pieces, whole.pcm);
      EXPECT_EQ(memory.converter.outputPosition, static_cast<int>(whole.pcm.size()));
    }
  }
}

TEST(PcmConverterSeek, NearbyTargetsChangeNothingAndSampleZeroStartsAgain) {
  MemoryConverter memory(PcmWave(1000));
  ASSERT_EQ(memory.setupResult, 0);
  const Bytes all = memory.ReadAll();
  ASSERT_EQ(memory.converter.end, 1);
  // 1000 frames of 4 bytes: frame 997 is 12 bytes from the end, inside the 16-byte dead zone.
  EXPECT_EQ(SetPcmConverterSampleTime(&memory.converter, 997), 0);
  EXPECT_EQ(memory.converter.end, 1);
  BYTE scratch[4];
  EXPECT_EQ(ConvertPcm(&memory.converter, scratch, 4), 0);
  SetPcmConverterSampleTime(&memory.converter, 0);
  EXPECT_EQ(memory.converter.end, 0);
  EXPECT_EQ(memory.ReadAll(), all);
}

// Seeking to a sample and converting from there gives the matching slice of the whole decode,
// forwards and backwards, for each method.
TEST(PcmConverterSeek, SeekThenConvertEqualsASliceOfTheWholeDecode) {
  struct SeekCase {
    const char* file;
    int mask;
  };
  for (const SeekCase& c :
       {SeekCase{"tone_stereo.wav", 0}, SeekCase{"tone_stereo.wav", SOUND_DECODER_WAVE_PCM},
        SeekCase{"ms_adpcm.wav", 0}, SeekCase{"mp3_stereo_cbr.mp3", 0}, SeekCase{"vorbis_stereo.ogg", 0}}) {
    SCOPED_TRACE(c.file);
    const Bytes image = ReadSoundFixture(c.file);
    const Bytes whole = MemoryConverter(image, c.mask).ReadAll();
    MemoryConverter memory(image, c.mask);
    ASSERT_EQ(memory.setupResult, 0);
    const int align = memory.converter.outputFormat.nBlockAlign;
    for (int sample : {5000, 1200, 9000, 0, 3333}) {
      SCOPED_TRACE(sample);
      SetPcmConverterSampleTime(&memory.converter, sample);
      EXPECT_EQ(memory.converter.outputPosition, sample * align);
      Bytes piece(4000);
      ASSERT_EQ(ConvertPcm(&memory.converter, piece.data(), 4000), 4000);
      EXPECT_TRUE(std::equal(piece.begin(), piece.end(), whole.begin() + sample * align));
    }
  }
}

TEST(SoundDataPath, BuildWaveImageWritesTheChunks) {
  WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
  const Bytes pcm = CountingPcm16(250, 2);
  void* image = nullptr;
  int size = 0;
  ASSERT_EQ(BuildWaveImage(&image, &size, &format, 18, pcm.data(), static_cast<int>(pcm.size())), 0);
  ASSERT_EQ(size, 1046);
  const auto* bytes = static_cast<const uint8_t*>(image);
  EXPECT_EQ(0, std::memcmp(bytes, "RIFF\x0e\x04\x00\x00WAVEfmt \x12\x00\x00\x00", 20));
  EXPECT_EQ(0, std::memcmp(bytes + 38, "data\xe8\x03\x00\x00", 8));
  // The image reads back through the converter as the same sound.
  const WholeDecode decode = DecodeWhole(Bytes(bytes, bytes + size));
  EXPECT_EQ(decode.pcm, pcm);
  EXPECT_EQ(0, std::memcmp(&decode.format, &format, sizeof(format)));
  ZV_FREE(image);
}

TEST(SoundDataPath, SamplesToMillisecondsAndStreamReads) {
  EXPECT_EQ(SamplesToMilliseconds(44100, 44100), 1000);
  EXPECT_EQ(SamplesToMilliseconds(3000000, 22050), 136054);
  EXPECT_EQ(SamplesToMilliseconds(-441, 44100), -10);
  EXPECT_EQ(SamplesToMilliseconds(5, 0), 0);

  const Bytes image = PcmWave(10);
  SoundStreamSource source{*GetMemoryStreamFuncs(), reinterpret_cast<StreamHandle>(OpenMemoryStream(
                                                        image.data(), static_cast<int>(image.size())))};
  void* data = nullptr;
  int size = 0;
  ASSERT_EQ(ReadStreamToMemory(&source, &data, &size), 0);
  EXPECT_EQ(Bytes(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size), image);
  ZV_FREE(data);
  CloseMemoryStream(source.stream);
  EXPECT_EQ(LoadFileToMemory("missing.wav", &data, &size), -1);
}

}  // namespace
