// Truncated and bit-flipped sound files are refused or decoded within their bounds, never read
// past their ends (the sanitizers watch), and Ogg Vorbis reports its format and size.
#include <gtest/gtest.h>

#include <random>

#include "sound_fixtures.h"

namespace {

const char* const kFixtures[] = {"tone_mono.wav",        "pcm8.wav",         "pcm24.wav",        "ima_adpcm.wav",
                                 "ms_adpcm.wav",         "mulaw.wav",        "mp3_mono_cbr.mp3", "mp3_stereo_vbr.mp3",
                                 "mp3_stereo_id3v2.mp3", "mp3_mono_tag.mp3", "vorbis_stereo.ogg"};

// Whatever a damaged file gives, a whole decode stays within what its converter promised, and
// a piecewise decode after a seek ends.
void DecodeDamaged(const Bytes& image) {
  MemoryConverter memory(image);
  if (memory.setupResult != 0) return;
  const int promised = GetPcmConvertedSize(&memory.converter);
  EXPECT_GE(promised, 0);
  void* pcm = nullptr;
  int size = 0;
  WAVEFORMATEX format{};
  if (promised < (64 << 20) && ConvertWholeToPcm(&memory.converter, &format, &pcm, &size) == 0) {
    EXPECT_LE(size, promised);
    EXPECT_GE(size, 0);
    ZV_FREE(pcm);
  }
  SetPcmConverterSampleTime(&memory.converter, 100);
  Bytes piece(1000);
  for (int i = 0; i < 100000 && ConvertPcm(&memory.converter, piece.data(), 1000) > 0; ++i) {
  }
}

TEST(HostileSoundInput, TruncatedFilesAreRefusedOrEndEarly) {
  for (const char* file : kFixtures) {
    SCOPED_TRACE(file);
    const Bytes image = ReadSoundFixture(file);
    for (size_t length : {size_t{0}, size_t{3}, size_t{11}, size_t{20}, size_t{44}, size_t{60}, size_t{200},
                          image.size() / 3, image.size() / 2, image.size() - 129, image.size() - 1}) {
      SCOPED_TRACE(length);
      DecodeDamaged(Bytes(image.begin(), image.begin() + std::min(length, image.size())));
    }
  }
  // A truncated WAVE gives exactly the bytes it holds.
  const Bytes wave = ReadSoundFixture("tone_mono.wav");
  const WholeDecode cut = DecodeWhole(Bytes(wave.begin(), wave.begin() + 1001));
  ASSERT_EQ(cut.result, 0);
  EXPECT_EQ(cut.pcm, Bytes(wave.begin() + 44, wave.begin() + 1001));
}

TEST(HostileSoundInput, BitFlippedFilesDecodeSafely) {
  std::mt19937 random(12);
  for (const char* file : kFixtures) {
    SCOPED_TRACE(file);
    const Bytes image = ReadSoundFixture(file);
    for (int round = 0; round < 40; ++round) {
      Bytes damaged = image;
      // Headers hold most of the decisions: half the flips land in the first 200 bytes.
      for (int flip = 0; flip < 4; ++flip) {
        const size_t at = (round & 1) ? random() % std::min<size_t>(200, damaged.size()) : random() % damaged.size();
        damaged[at] ^= static_cast<uint8_t>(1u << (random() % 8));
      }
      DecodeDamaged(damaged);
    }
  }
}

TEST(OggVorbisDecoder, ReportsItsFormatAndSize) {
  MemoryConverter memory(ReadSoundFixture("vorbis_stereo.ogg"));
  ASSERT_EQ(memory.setupResult, 0);
  WAVEFORMATEX format{};
  GetPcmConverterFormat(&memory.converter, &format);
  EXPECT_EQ(format.nChannels, 2);
  EXPECT_EQ(format.nSamplesPerSec, 44100u);
  EXPECT_EQ(format.nBlockAlign, 4);
  EXPECT_EQ(format.nAvgBytesPerSec, 176400u);
  EXPECT_EQ(GetPcmConvertedSize(&memory.converter), 11025 * 4);
  EXPECT_EQ(memory.converter.bufferSize, 4096);
  EXPECT_EQ(memory.ReadAll(1000).size(), 11025u * 4);
  // Not Ogg: refused, and ending the refused decoder touches nothing.
  PcmConverter refused{};
  refused.source = SoundStreamSource{*GetMemoryStreamFuncs(), 0};
  const Bytes junk(300, 0x4F);
  refused.source.stream = reinterpret_cast<StreamHandle>(OpenMemoryStream(junk.data(), 300));
  EXPECT_EQ(SetupOggDecoder(&refused), -1);
  EXPECT_EQ(refused.ogg.open, 0);
  EXPECT_EQ(EndOggDecoder(&refused), 0);
  CloseMemoryStream(refused.source.stream);
}

}  // namespace
