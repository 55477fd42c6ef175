// Every fixture decodes to PCM of the right format and length, equal to (or, for the lossy and
// ADPCM codecs, within a stated distance of) the reference decode made by sox or the reference
// tools.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "sound_fixtures.h"

namespace {

struct FixtureCase {
  const char* file;
  const char* reference;  // Signed 16-bit reference decode
  int channels;
  int rate;
  int decoderMask;        // Decoders skipped, to reach the path under test
  int tolerance;          // Largest sample difference allowed
};

// Every codec here matches its reference sample for sample: the ADPCM and G.711 decoders follow
// the published algorithms as sox does, and MP3 and Vorbis go through the same decoding
// libraries as mpg123 and oggdec (gapless trimming included). A tolerance stays in the table for
// a decoding library that rounds differently.
const FixtureCase kFixtureCases[] = {
    {"mulaw.wav", "mulaw.ref.raw", 1, 22050, 0, 0},
    {"alaw.wav", "alaw.ref.raw", 1, 22050, 0, 0},
    {"ima_adpcm.wav", "ima_adpcm.ref.raw", 2, 44100, 0, 0},
    {"ms_adpcm.wav", "ms_adpcm.ref.raw", 2, 44100, 0, 0},
    {"mp3_mono_cbr.mp3", "mp3_mono_cbr.ref.raw", 1, 22050, 0, 0},
    {"mp3_stereo_cbr.mp3", "mp3_stereo_cbr.ref.raw", 2, 44100, 0, 0},
    {"mp3_stereo_vbr.mp3", "mp3_stereo_vbr.ref.raw", 2, 44100, 0, 0},
    {"mp3_stereo_id3v2.mp3", "mp3_stereo_id3v2.ref.raw", 2, 44100, 0, 0},
    {"mp3_mono_tag.mp3", "mp3_mono_tag.ref.raw", 1, 22050, 0, 0},
    {"vorbis_stereo.ogg", "vorbis_stereo.ref.raw", 2, 44100, 0, 0},
};

class FixtureDecode : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(FixtureDecode, MatchesTheReferenceDecode) {
  const FixtureCase& c = GetParam();
  const WholeDecode decode = DecodeWhole(ReadSoundFixture(c.file), c.decoderMask);
  ASSERT_EQ(decode.result, 0);
  EXPECT_EQ(decode.format.wFormatTag, WAVE_FORMAT_PCM);
  EXPECT_EQ(decode.format.nChannels, c.channels);
  EXPECT_EQ(decode.format.nSamplesPerSec, static_cast<DWORD>(c.rate));
  EXPECT_EQ(decode.format.wBitsPerSample, 16);
  EXPECT_EQ(decode.format.nBlockAlign, c.channels * 2);
  EXPECT_EQ(decode.format.nAvgBytesPerSec, static_cast<DWORD>(c.rate * c.channels * 2));
  EXPECT_EQ(decode.format.cbSize, 0);
  const std::vector<int16_t> reference = ToSamples(ReadSoundFixture(c.reference));
  const std::vector<int16_t> decoded = ToSamples(decode.pcm);
  ASSERT_FALSE(reference.empty());
  ASSERT_EQ(decoded.size(), reference.size());
  int worst = 0;
  size_t worstAt = 0;
  for (size_t i = 0; i < reference.size(); ++i) {
    const int difference = std::abs(decoded[i] - reference[i]);
    if (difference > worst) {
      worst = difference;
      worstAt = i;
    }
  }
  EXPECT_LE(worst, c.tolerance) << "at sample " << worstAt;
}

INSTANTIATE_TEST_SUITE_P(SoundFixtures, FixtureDecode, ::testing::ValuesIn(kFixtureCases),
                         [](const ::testing::TestParamInfo<FixtureCase>& info) {
                           std::string name = info.param.file;
                           std::replace_if(name.begin(), name.end(), [](char ch) { return !isalnum(ch); }, '_');
                           return name;
                         });

// The PCM fixtures were made from one 16-bit tone: widening is exact, the 8-bit file is dithered.
struct PcmCase {
  const char* file;
  int bits;
  int tolerance;  // In 16-bit steps
};
const PcmCase kPcmCases[] = {
    {"tone_mono.wav", 16, 0}, {"pcm8.wav", 8, 2 * 256}, {"pcm24.wav", 24, 0}, {"pcm32.wav", 32, 0}};

TEST(PcmFixtures, DecodeDirectlyAndThroughTheCompressionManagerAlike) {
  const std::vector<int16_t> tone = ToSamples(DecodeWhole(ReadSoundFixture("tone_mono.wav")).pcm);
  ASSERT_EQ(tone.size(), 6615u);
  for (const PcmCase& c : kPcmCases) {
    SCOPED_TRACE(c.file);
    const Bytes image = ReadSoundFixture(c.file);
    const WholeDecode direct = DecodeWhole(image);
    const WholeDecode throughAcm = DecodeWhole(image, SOUND_DECODER_WAVE_PCM);
    ASSERT_EQ(direct.result, 0);
    ASSERT_EQ(throughAcm.result, 0);
    EXPECT_EQ(direct.format.wBitsPerSample, c.bits);
    EXPECT_EQ(0, std::memcmp(&direct.format, &throughAcm.format, sizeof(WAVEFORMATEX)));
    EXPECT_EQ(direct.pcm, throughAcm.pcm);
    const int bytesPerSample = c.bits / 8;
    ASSERT_EQ(direct.pcm.size(), tone.size() * bytesPerSample);
    int worst = 0;
    for (size_t i = 0; i < tone.size(); ++i) {
      const uint8_t* p = direct.pcm.data() + i * bytesPerSample;
      int value = bytesPerSample == 1 ? (p[0] - 128) * 256 : static_cast<int16_t>(p[bytesPerSample - 2] | p[bytesPerSample - 1] << 8);
      worst = std::max(worst, std::abs(value - tone[i]));
    }
    EXPECT_LE(worst, c.tolerance);
  }
}

}  // namespace
