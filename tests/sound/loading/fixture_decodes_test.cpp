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
  int decoderMask;  // Decoders skipped, to reach the path under test
  int tolerance;    // Largest sample difference allowed
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
    {"mp3_stereo_noinfo.mp3", "mp3_stereo_noinfo.ref.raw", 2, 44100, 0, 0},
    {"mp3_mono_noinfo_vbr.mp3", "mp3_mono_noinfo_vbr.ref.raw", 1, 22050, 0, 0},
    {"mp3_click_noinfo.mp3", "mp3_click_noinfo.ref.raw", 1, 44100, 0, 0},
    {"mp2_stereo.mp2", "mp2_stereo.ref.raw", 2, 44100, 0, 0},
    {"vorbis_stereo.ogg", "vorbis_stereo.ref.raw", 2, 44100, 0, 0},
};

class FixtureDecode : public ::testing::TestWithParam<FixtureCase> {};

// The largest difference between two decodes of equal length, and where it is.
::testing::AssertionResult WithinTolerance(const std::vector<int16_t>& decoded, const std::vector<int16_t>& reference,
                                           int tolerance) {
  if (reference.empty()) return ::testing::AssertionFailure() << "no reference";
  if (decoded.size() != reference.size())
    return ::testing::AssertionFailure() << decoded.size() << " samples, reference " << reference.size();
  for (size_t i = 0; i < reference.size(); ++i)
    if (std::abs(decoded[i] - reference[i]) > tolerance)
      return ::testing::AssertionFailure() << "sample " << i << ": " << decoded[i] << ", reference " << reference[i];
  return ::testing::AssertionSuccess();
}

TEST_P(FixtureDecode, MatchesTheReferenceDecode) {
  const FixtureCase& c = GetParam();
  const WholeDecode decode = DecodeWhole(ReadSoundFixture(c.file), c.decoderMask);
  // The size told before decoding is the size decoding gives (for MP3: the gapless length).
  MemoryConverter told(ReadSoundFixture(c.file), c.decoderMask);
  ASSERT_EQ(told.setupResult, 0);
  EXPECT_EQ(static_cast<size_t>(GetPcmConvertedSize(&told.converter)), decode.pcm.size());
  ASSERT_EQ(decode.result, 0);
  EXPECT_EQ(decode.format.wFormatTag, WAVE_FORMAT_PCM);
  EXPECT_EQ(decode.format.nChannels, c.channels);
  EXPECT_EQ(decode.format.nSamplesPerSec, static_cast<DWORD>(c.rate));
  EXPECT_EQ(decode.format.wBitsPerSample, 16);
  EXPECT_EQ(decode.format.nBlockAlign, c.channels * 2);
  EXPECT_EQ(decode.format.nAvgBytesPerSec, static_cast<DWORD>(c.rate * c.channels * 2));
  EXPECT_EQ(decode.format.cbSize, 0);
  EXPECT_TRUE(WithinTolerance(ToSamples(decode.pcm), ToSamples(ReadSoundFixture(c.reference)), c.tolerance));
}

INSTANTIATE_TEST_SUITE_P(SoundFixtures, FixtureDecode, ::testing::ValuesIn(kFixtureCases),
                         [](const ::testing::TestParamInfo<FixtureCase>& info) {
                           std::string name = info.param.file;
                           std::replace_if(
                               name.begin(), name.end(), [](char ch) { return !isalnum(ch); }, '_');
                           return name;
                         });

// MPEG audio inside a WAVE file (format tags 0x55 and 0x50) decodes as the bare frames do, and
// its length comes from its frames (MPEG-2.5 included, which the codec takes inside WAVE files).
TEST(MpegAudioInWave, DecodesAsTheBareFramesWithTheirLength) {
  struct Case {
    const char* file;
    const char* reference;
    uint16_t tag;
    uint16_t channels;
    uint32_t rate;
  };
  for (const Case& c : {Case{"mp3_stereo_noinfo.mp3", "mp3_stereo_noinfo.ref.raw", WAVE_FORMAT_MPEGLAYER3, 2, 44100},
                        Case{"mp3_stereo_cbr.mp3", "mp3_stereo_cbr.ref.raw", WAVE_FORMAT_MPEGLAYER3, 2, 44100},
                        Case{"mp3_mono_8k_noinfo.mp3", "mp3_mono_8k_noinfo.ref.raw", WAVE_FORMAT_MPEGLAYER3, 1, 8000},
                        Case{"mp2_stereo.mp2", "mp2_stereo.ref.raw", WAVE_FORMAT_MPEG, 2, 44100}}) {
    SCOPED_TRACE(c.file);
    const Bytes frames = ReadSoundFixture(c.file);
    ASSERT_EQ(frames[0], 0xFF);
    // The format as a WAVE writer puts it: the 18 bytes, then the extra bytes the tag has.
    MPEGLAYER3WAVEFORMAT layer3{};
    layer3.wfx.wFormatTag = c.tag;
    layer3.wfx.nChannels = c.channels;
    layer3.wfx.nSamplesPerSec = c.rate;
    layer3.wfx.nAvgBytesPerSec = c.tag == WAVE_FORMAT_MPEG ? 24000 : c.rate == 8000 ? 2000 : 16000;
    layer3.wfx.nBlockAlign = 1;
    layer3.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    layer3.wID = MPEGLAYER3_ID_MPEG;
    layer3.nBlockSize = 417;
    layer3.nFramesPerBlock = 1;
    const auto* formatBytes = reinterpret_cast<const uint8_t*>(&layer3);
    const Bytes image = BuildWave({{"fmt ", Bytes(formatBytes, formatBytes + sizeof(layer3))}, {"data", frames}});
    const std::vector<int16_t> reference = ToSamples(ReadSoundFixture(c.reference));
    MemoryConverter told(image, SOUND_DECODER_WAVE_PCM);
    ASSERT_EQ(told.setupResult, 0);
    EXPECT_EQ(told.converter.method, PCM_CONVERT_ACM);
    EXPECT_EQ(static_cast<size_t>(GetPcmConvertedSize(&told.converter)), reference.size() * 2);
    const WholeDecode decode = DecodeWhole(image);
    ASSERT_EQ(decode.result, 0);
    EXPECT_TRUE(WithinTolerance(ToSamples(decode.pcm), reference, 0));
  }
}

// A chained Ogg Vorbis file plays its links as one sound while they keep the first link's rate and
// channel count, and ends where the format changes.
TEST(ChainedOgg, PlaysOnWhileTheFormatHoldsAndEndsWhereItChanges) {
  const Bytes stereo = ReadSoundFixture("vorbis_stereo.ogg");
  const std::vector<int16_t> reference = ToSamples(ReadSoundFixture("vorbis_stereo.ref.raw"));
  struct Case {
    const char* second;
    size_t links;  // Links heard
  };
  for (const Case& c : {Case{"vorbis_stereo_link2.ogg", 2}, Case{"vorbis_mono.ogg", 1}}) {
    SCOPED_TRACE(c.second);
    const Bytes secondLink = ReadSoundFixture(c.second);
    Bytes chained = stereo;
    chained.insert(chained.end(), secondLink.begin(), secondLink.end());
    std::vector<int16_t> expected;
    for (size_t link = 0; link < c.links; ++link) expected.insert(expected.end(), reference.begin(), reference.end());
    MemoryConverter told(chained);
    ASSERT_EQ(told.setupResult, 0);
    EXPECT_EQ(static_cast<size_t>(GetPcmConvertedSize(&told.converter)), expected.size() * 2);
    const WholeDecode decode = DecodeWhole(chained);
    ASSERT_EQ(decode.result, 0);
    EXPECT_EQ(decode.format.nChannels, 2);
    EXPECT_EQ(decode.format.nSamplesPerSec, 44100u);
    EXPECT_TRUE(WithinTolerance(ToSamples(decode.pcm), expected, 0));
    // Read in pieces, the converter stops at the same place.
    EXPECT_EQ(told.ReadAll(1000).size(), expected.size() * 2);
  }
}

// WAVE files cut inside an ADPCM block keep the part block: its samples are the whole file's.
TEST(AdpcmFixtures, APartBlockAtTheEndIsDecodedAsFarAsItGoes) {
  for (const char* file : {"ima_adpcm.wav", "ms_adpcm.wav"}) {
    SCOPED_TRACE(file);
    const Bytes whole = ReadSoundFixture(file);
    const std::vector<int16_t> full = ToSamples(DecodeWhole(whole).pcm);
    MemoryConverter probe(whole);
    ASSERT_EQ(probe.setupResult, 0);
    const auto* format = reinterpret_cast<const WAVEFORMATEX*>(probe.converter.acm.sourceFormat);
    const int blockAlign = format->nBlockAlign;
    const int channels = format->nChannels;
    ASSERT_EQ(channels, 2);
    const bool ima = format->wFormatTag == WAVE_FORMAT_IMA_ADPCM;
    // Two whole blocks, then the headers and 40 bytes of the third.
    const int headerBytes = (ima ? 4 : 7) * channels;
    const int partBytes = headerBytes + 40;
    const int dataBytes = 2 * blockAlign + partBytes;
    const size_t dataAt = static_cast<size_t>(probe.converter.dataPosition);
    Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(dataAt + dataBytes));
    for (int i = 0; i < 4; ++i) cut[dataAt - 4 + i] = static_cast<uint8_t>(dataBytes >> (8 * i));
    const int framesPerBlock = ima ? (blockAlign - 4 * channels) * 2 / channels + 1
                                   : (blockAlign - 7 * channels) * 2 / channels + 2;
    const int partFrames = ima ? 1 + 40 / (4 * channels) * 8 : 2 + 40 * 2 / channels;
    const WholeDecode decode = DecodeWhole(cut);
    ASSERT_EQ(decode.result, 0);
    const std::vector<int16_t> expected(full.begin(), full.begin() + (2 * framesPerBlock + partFrames) * channels);
    EXPECT_TRUE(WithinTolerance(ToSamples(decode.pcm), expected, 0));
  }
}

// Float and extensible WAVE files, as common tools write them, decode to the 16-bit tone they were
// made from, through the compression manager; plain integer PCM keeps its width.
TEST(PcmFixtures, FloatAndExtensibleFilesDecodeToTheSixteenBitTone) {
  const std::vector<int16_t> tone = ToSamples(DecodeWhole(ReadSoundFixture("tone_mono.wav")).pcm);
  ASSERT_EQ(tone.size(), 6615u);
  for (const char* file : {"pcm24_ext.wav", "pcm32_ext.wav", "float32.wav", "float32_ext"}) {
    SCOPED_TRACE(file);
    const WholeDecode decode = DecodeWhole(WideSampleFixture(file));
    ASSERT_EQ(decode.result, 0);
    EXPECT_EQ(decode.format.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(decode.format.wBitsPerSample, 16);
    EXPECT_EQ(decode.format.nBlockAlign, 2);
    EXPECT_TRUE(WithinTolerance(ToSamples(decode.pcm), tone, 0));
  }
}

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
      int value = bytesPerSample == 1 ? (p[0] - 128) * 256
                                      : static_cast<int16_t>(p[bytesPerSample - 2] | p[bytesPerSample - 1] << 8);
      worst = std::max(worst, std::abs(value - tone[i]));
    }
    EXPECT_LE(worst, c.tolerance);
  }
}

}  // namespace
