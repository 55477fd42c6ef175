// The audio compression manager stand-in: format suggestion, stream handling, the PCM output
// stage, and that a conversion cut into pieces of any size gives the bytes of one whole run.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "platform/acm.h"
#include "sound_fixtures.h"

namespace {

WAVEFORMATEX Pcm(int channels, int rate, int bits) {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = static_cast<WORD>(channels);
  f.nSamplesPerSec = static_cast<DWORD>(rate);
  f.wBitsPerSample = static_cast<WORD>(bits);
  f.nBlockAlign = static_cast<WORD>(channels * bits / 8);
  f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
  return f;
}

struct Conversion {
  MMRESULT result;
  Bytes output;
  DWORD sourceUsed;
};

Conversion ConvertOnce(HACMSTREAM stream, const Bytes& source, DWORD destinationRoom, DWORD flags) {
  Conversion c{};
  Bytes in = source;
  if (in.empty()) in.push_back(0);
  c.output.assign(destinationRoom ? destinationRoom : 1, 0xCC);
  ACMSTREAMHEADER header{};
  header.cbStruct = sizeof(header);
  header.pbSrc = in.data();
  header.cbSrcLength = static_cast<DWORD>(source.size());
  header.pbDst = c.output.data();
  header.cbDstLength = destinationRoom;
  EXPECT_EQ(acmStreamPrepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
  c.result = acmStreamConvert(stream, &header, flags);
  EXPECT_EQ(acmStreamUnprepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
  c.output.resize(header.cbDstLengthUsed);
  c.sourceUsed = header.cbSrcLengthUsed;
  return c;
}

Bytes ConvertWhole(WAVEFORMATEX* source, WAVEFORMATEX* destination, const Bytes& data) {
  HACMSTREAM stream = nullptr;
  EXPECT_EQ(acmStreamOpen(&stream, nullptr, source, destination, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME), 0u);
  const Conversion c = ConvertOnce(stream, data, static_cast<DWORD>(data.size() * 64 + 65536),
                                   ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_END);
  EXPECT_EQ(c.sourceUsed, data.size());
  acmStreamClose(stream, 0);
  return c.output;
}

// Feeds the data in pieces of random sizes into a destination of random room, carrying what each
// call left unused into the next, as a streaming caller does.
Bytes ConvertInPieces(WAVEFORMATEX* source, WAVEFORMATEX* destination, const Bytes& data, unsigned seed) {
  HACMSTREAM stream = nullptr;
  EXPECT_EQ(acmStreamOpen(&stream, nullptr, source, destination, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME), 0u);
  std::mt19937 random(seed);
  Bytes output;
  size_t position = 0;
  int idleCalls = 0;
  while (idleCalls < 50) {
    const size_t left = data.size() - position;
    const size_t piece = std::min<size_t>(left, 1 + random() % 5000);
    const bool last = piece == left;
    const DWORD room = 1 + random() % 40000;
    const Conversion c = ConvertOnce(stream, Bytes(data.begin() + position, data.begin() + position + piece), room,
                                     ACM_STREAMCONVERTF_BLOCKALIGN | (last ? ACM_STREAMCONVERTF_END : 0));
    EXPECT_LE(c.sourceUsed, piece);
    output.insert(output.end(), c.output.begin(), c.output.end());
    position += c.sourceUsed;
    if (c.sourceUsed == 0 && c.output.empty()) ++idleCalls;
    if (position == data.size() && last && c.output.empty()) break;
  }
  acmStreamClose(stream, 0);
  return output;
}

Bytes DataChunk(const Bytes& wave, Bytes* format) {
  size_t p = 12;
  Bytes data;
  while (p + 8 <= wave.size()) {
    const uint32_t size = wave[p + 4] | wave[p + 5] << 8 | wave[p + 6] << 16 | static_cast<uint32_t>(wave[p + 7]) << 24;
    const std::string id(wave.begin() + p, wave.begin() + p + 4);
    if (id == "fmt ") format->assign(wave.begin() + p + 8, wave.begin() + p + 8 + size);
    if (id == "data") return Bytes(wave.begin() + p + 8, wave.begin() + p + 8 + size);
    p += 8 + size + (size & 1);
  }
  return data;
}

TEST(AcmPcmOutput, ConvertsBitsChannelsAndRate) {
  // Four stereo 16-bit frames.
  const int16_t frames[8] = {0, 256, -32768, 32767, 1000, -1000, 0x1234, -2};
  Bytes data(sizeof(frames));
  std::memcpy(data.data(), frames, sizeof(frames));
  WAVEFORMATEX stereo16 = Pcm(2, 8000, 16);

  WAVEFORMATEX mono16 = Pcm(1, 8000, 16);
  const std::vector<int16_t> mono = ToSamples(ConvertWhole(&stereo16, &mono16, data));
  EXPECT_EQ(mono, (std::vector<int16_t>{128, -1, 0, (0x1234 - 2) / 2}));

  WAVEFORMATEX stereo8 = Pcm(2, 8000, 8);
  EXPECT_EQ(ConvertWhole(&stereo16, &stereo8, data), (Bytes{128, 129, 0, 255, 131, 124, 146, 127}));

  WAVEFORMATEX stereo24 = Pcm(2, 8000, 24);
  const Bytes wide = ConvertWhole(&stereo16, &stereo24, data);
  ASSERT_EQ(wide.size(), 24u);
  EXPECT_EQ(Bytes(wide.begin() + 3, wide.begin() + 6), (Bytes{0, 0x00, 0x01}));
  EXPECT_EQ(ConvertWhole(&stereo24, &stereo16, wide), data);

  WAVEFORMATEX stereo32 = Pcm(2, 8000, 32);
  EXPECT_EQ(ConvertWhole(&stereo32, &stereo16, ConvertWhole(&stereo16, &stereo32, data)), data);

  WAVEFORMATEX mono8 = Pcm(1, 8000, 8);
  const Bytes fromEight = ConvertWhole(&mono8, &stereo16, Bytes{128, 255, 0});
  EXPECT_EQ(ToSamples(fromEight), (std::vector<int16_t>{0, 0, 127 * 256, 127 * 256, -32768, -32768}));

  // Doubling the rate interpolates between neighbours; the end gives out the last frame held.
  WAVEFORMATEX fast = Pcm(2, 16000, 16);
  const std::vector<int16_t> doubled = ToSamples(ConvertWhole(&stereo16, &fast, data));
  ASSERT_EQ(doubled.size(), 16u);
  EXPECT_EQ(doubled[0], 0);
  EXPECT_EQ(doubled[2], -16384);
  EXPECT_EQ(doubled[4], -32768);
  EXPECT_EQ(doubled[14], 0x1234);
}

TEST(AcmFormats, SuggestsPcmForEveryCodecAndRefusesTheRest) {
  struct SuggestCase {
    const char* file;
    int bits;
  };
  for (const SuggestCase& c :
       {SuggestCase{"ima_adpcm.wav", 16}, SuggestCase{"ms_adpcm.wav", 16}, SuggestCase{"mulaw.wav", 16},
        SuggestCase{"pcm24.wav", 24}, SuggestCase{"pcm24_ext.wav", 16}, SuggestCase{"pcm32_ext.wav", 16},
        SuggestCase{"float32.wav", 16}}) {
    SCOPED_TRACE(c.file);
    Bytes format;
    DataChunk(ReadSoundFixture(c.file), &format);
    format.resize(std::max<size_t>(format.size(), sizeof(WAVEFORMATEX)));
    auto* source = reinterpret_cast<WAVEFORMATEX*>(format.data());
    WAVEFORMATEX suggestion{};
    suggestion.wFormatTag = WAVE_FORMAT_PCM;
    ASSERT_EQ(acmFormatSuggest(nullptr, source, &suggestion, sizeof(suggestion), ACM_FORMATSUGGESTF_WFORMATTAG), 0u);
    EXPECT_EQ(suggestion.nChannels, source->nChannels);
    EXPECT_EQ(suggestion.nSamplesPerSec, source->nSamplesPerSec);
    EXPECT_EQ(suggestion.wBitsPerSample, c.bits);
    EXPECT_EQ(suggestion.nBlockAlign, source->nChannels * c.bits / 8);
  }
  WAVEFORMATEX unknown = Pcm(2, 44100, 16);
  unknown.wFormatTag = 0x1234;
  WAVEFORMATEX out{};
  out.wFormatTag = WAVE_FORMAT_PCM;
  EXPECT_EQ(acmFormatSuggest(nullptr, &unknown, &out, sizeof(out), ACM_FORMATSUGGESTF_WFORMATTAG), ACMERR_NOTPOSSIBLE);
  WAVEFORMATEX broken = Pcm(2, 44100, 16);
  broken.nBlockAlign = 3;
  EXPECT_EQ(acmFormatSuggest(nullptr, &broken, &out, sizeof(out), ACM_FORMATSUGGESTF_WFORMATTAG), ACMERR_NOTPOSSIBLE);
  WAVEFORMATEX six = Pcm(6, 44100, 16);
  WAVEFORMATEX stereo = Pcm(2, 44100, 16);
  EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &six, &stereo, nullptr, 0, 0, ACM_STREAMOPENF_QUERY), ACMERR_NOTPOSSIBLE);
  EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &six, &six, nullptr, 0, 0, ACM_STREAMOPENF_QUERY), 0u);
}

TEST(AcmStreams, RefuseStaleHandlesAndUnpreparedHeaders) {
  WAVEFORMATEX pcm = Pcm(1, 8000, 16);
  HACMSTREAM stream = nullptr;
  ASSERT_EQ(acmStreamOpen(&stream, nullptr, &pcm, &pcm, nullptr, 0, 0, 0), 0u);
  BYTE source[4] = {};
  BYTE destination[4] = {};
  ACMSTREAMHEADER header{};
  header.cbStruct = sizeof(header);
  header.pbSrc = source;
  header.cbSrcLength = 4;
  header.pbDst = destination;
  header.cbDstLength = 4;
  EXPECT_EQ(acmStreamConvert(stream, &header, 0), ACMERR_UNPREPARED);
  EXPECT_EQ(acmStreamUnprepareHeader(stream, &header, 0), ACMERR_UNPREPARED);
  header.cbStruct = 8;
  EXPECT_EQ(acmStreamPrepareHeader(stream, &header, 0), MMSYSERR_INVALPARAM);
  DWORD size = 0;
  EXPECT_EQ(acmStreamSize(stream, 6, &size, ACM_STREAMSIZEF_SOURCE), 0u);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(acmStreamClose(stream, 0), 0u);
  EXPECT_EQ(acmStreamClose(stream, 0), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(acmStreamSize(stream, 6, &size, ACM_STREAMSIZEF_SOURCE), MMSYSERR_INVALHANDLE);
  DWORD largest = 0;
  EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &largest), 0u);
  EXPECT_GE(largest, sizeof(MPEGLAYER3WAVEFORMAT));
}

TEST(AcmStreams, ConvertWholeBlocksAndLeaveTheRestForTheNextCall) {
  Bytes formatBytes;
  const Bytes data = DataChunk(ReadSoundFixture("ima_adpcm.wav"), &formatBytes);
  auto* source = reinterpret_cast<WAVEFORMATEX*>(formatBytes.data());
  WAVEFORMATEX pcm = Pcm(2, 44100, 16);
  HACMSTREAM stream = nullptr;
  ASSERT_EQ(acmStreamOpen(&stream, nullptr, source, &pcm, nullptr, 0, 0, 0), 0u);
  const DWORD block = source->nBlockAlign;
  const Bytes oneAndAHalf(data.begin(), data.begin() + block + block / 2);
  const Conversion aligned = ConvertOnce(stream, oneAndAHalf, 1 << 20, ACM_STREAMCONVERTF_BLOCKALIGN);
  EXPECT_EQ(aligned.sourceUsed, block);
  EXPECT_EQ(aligned.output.size(), 505u * 4);
  // Room for less than a block's sound: nothing is taken, so nothing is left inside the codec.
  const Conversion cramped = ConvertOnce(stream, oneAndAHalf, 505 * 4 - 1, ACM_STREAMCONVERTF_BLOCKALIGN);
  EXPECT_EQ(cramped.sourceUsed, 0u);
  EXPECT_TRUE(cramped.output.empty());
  const Conversion ending = ConvertOnce(stream, Bytes(oneAndAHalf.begin() + block, oneAndAHalf.end()), 1 << 20,
                                        ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_END);
  EXPECT_EQ(ending.sourceUsed, block / 2);
  EXPECT_EQ(ending.output.size(), (1 + (block / 2 - 8) / 8 * 8) * 4);
  DWORD estimate = 0;
  EXPECT_EQ(acmStreamSize(stream, static_cast<DWORD>(data.size()), &estimate, ACM_STREAMSIZEF_SOURCE), 0u);
  EXPECT_GE(estimate, 22u * 505 * 4);
  acmStreamClose(stream, 0);
}

TEST(AcmStreams, MpegAudioUsesWholeFramesOnly) {
  const Bytes mp3 = ReadSoundFixture("mp3_stereo_cbr.mp3");
  MPEGLAYER3WAVEFORMAT layer3{};
  layer3.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
  layer3.wfx.nChannels = 2;
  layer3.wfx.nSamplesPerSec = 44100;
  layer3.wfx.nAvgBytesPerSec = 16000;
  layer3.wfx.nBlockAlign = 1;
  layer3.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
  layer3.wID = MPEGLAYER3_ID_MPEG;
  layer3.nBlockSize = 417;
  layer3.nFramesPerBlock = 1;
  WAVEFORMATEX pcm = Pcm(2, 44100, 16);
  HACMSTREAM stream = nullptr;
  ASSERT_EQ(acmStreamOpen(&stream, nullptr, &layer3.wfx, &pcm, nullptr, 0, 0, 0), 0u);
  // The first frame is lame's information frame (417 bytes at 128 kbit/s): it gives no sound.
  const Conversion first = ConvertOnce(stream, Bytes(mp3.begin(), mp3.begin() + 1000), 1 << 20, 0);
  EXPECT_EQ(first.sourceUsed, 417u + 417u);
  const Conversion cramped = ConvertOnce(stream, Bytes(mp3.begin() + 834, mp3.end()), 1152 * 4 - 1, 0);
  EXPECT_EQ(cramped.sourceUsed, 0u);
  acmStreamClose(stream, 0);
}

// Every codec, cut into random pieces, gives the bytes of one whole run.
TEST(AcmStreams, PiecesGiveTheBytesOfOneWholeRun) {
  struct PieceCase {
    const char* file;
    int channels;
    int rate;
  };
  for (const PieceCase& c : {PieceCase{"ima_adpcm.wav", 2, 44100}, PieceCase{"ms_adpcm.wav", 1, 44100},
                             PieceCase{"mulaw.wav", 2, 22050}, PieceCase{"alaw.wav", 1, 22050},
                             PieceCase{"tone_stereo.wav", 1, 22050}, PieceCase{"tone_mono.wav", 2, 48000}}) {
    SCOPED_TRACE(c.file);
    Bytes formatBytes;
    const Bytes data = DataChunk(ReadSoundFixture(c.file), &formatBytes);
    formatBytes.resize(std::max<size_t>(formatBytes.size(), sizeof(WAVEFORMATEX)));
    auto* source = reinterpret_cast<WAVEFORMATEX*>(formatBytes.data());
    if (source->wFormatTag == WAVE_FORMAT_PCM) source->cbSize = 0;
    WAVEFORMATEX pcm = Pcm(c.channels, c.rate, 16);
    const Bytes whole = ConvertWhole(source, &pcm, data);
    EXPECT_FALSE(whole.empty());
    for (unsigned seed = 1; seed <= 3; ++seed) EXPECT_EQ(ConvertInPieces(source, &pcm, data, seed), whole);
  }
  Bytes mp3 = ReadSoundFixture("mp3_stereo_vbr.mp3");
  MPEGLAYER3WAVEFORMAT layer3{};
  layer3.wfx = {WAVE_FORMAT_MPEGLAYER3, 2, 44100, 16000, 1, 0, MPEGLAYER3_WFX_EXTRA_BYTES};
  WAVEFORMATEX pcm = Pcm(2, 44100, 16);
  const Bytes whole = ConvertWhole(&layer3.wfx, &pcm, mp3);
  EXPECT_EQ(whole.size(), 44100u);
  EXPECT_EQ(ConvertInPieces(&layer3.wfx, &pcm, mp3, 7), whole);
}

// A 16-bit destination of the source's layout takes libmpg123's samples as they are; any other
// gets the same samples through the output stage, narrowed or mixed, in one run or in pieces.
TEST(AcmStreams, MpegAudioToOtherLayoutsIsTheSixteenBitDecodeConverted) {
  const Bytes mp3 = ReadSoundFixture("mp3_stereo_vbr.mp3");
  MPEGLAYER3WAVEFORMAT layer3{};
  layer3.wfx = {WAVE_FORMAT_MPEGLAYER3, 2, 44100, 16000, 1, 0, MPEGLAYER3_WFX_EXTRA_BYTES};
  WAVEFORMATEX stereo16 = Pcm(2, 44100, 16);
  WAVEFORMATEX stereo8 = Pcm(2, 44100, 8);
  WAVEFORMATEX mono16 = Pcm(1, 44100, 16);
  const std::vector<int16_t> samples = ToSamples(ConvertWhole(&layer3.wfx, &stereo16, mp3));
  ASSERT_EQ(samples, ToSamples(ReadSoundFixture("mp3_stereo_vbr.ref.raw")));
  Bytes narrowed;
  std::vector<int16_t> mixed;
  for (size_t i = 0; i < samples.size(); ++i) narrowed.push_back(static_cast<BYTE>((samples[i] >> 8) + 128));
  for (size_t i = 0; i + 1 < samples.size(); i += 2)
    mixed.push_back(static_cast<int16_t>((samples[i] + samples[i + 1]) >> 1));
  EXPECT_EQ(ConvertWhole(&layer3.wfx, &stereo8, mp3), narrowed);
  EXPECT_EQ(ConvertInPieces(&layer3.wfx, &stereo8, mp3, 5), narrowed);
  EXPECT_EQ(ToSamples(ConvertWhole(&layer3.wfx, &mono16, mp3)), mixed);
  EXPECT_EQ(ToSamples(ConvertInPieces(&layer3.wfx, &mono16, mp3, 6)), mixed);
}

// Without an information frame to hold it back, each frame's sound comes out in the call that
// took the frame, and whole runs and pieces give every frame (layers II and III alike).
TEST(AcmStreams, MpegAudioWithoutAnInformationFrameGivesEveryFrame) {
  struct MpegCase {
    const char* file;
    const char* reference;
    WORD tag;
    DWORD firstFrameBytes;
  };
  for (const MpegCase& c : {MpegCase{"mp3_stereo_noinfo.mp3", "mp3_stereo_noinfo.ref.raw", WAVE_FORMAT_MPEGLAYER3, 417},
                            MpegCase{"mp2_stereo.mp2", "mp2_stereo.ref.raw", WAVE_FORMAT_MPEG, 626}}) {
    SCOPED_TRACE(c.file);
    const Bytes frames = ReadSoundFixture(c.file);
    MPEGLAYER3WAVEFORMAT layer3{};
    layer3.wfx = {c.tag, 2, 44100, 16000, 1, 0, MPEGLAYER3_WFX_EXTRA_BYTES};
    WAVEFORMATEX pcm = Pcm(2, 44100, 16);
    HACMSTREAM stream = nullptr;
    ASSERT_EQ(acmStreamOpen(&stream, nullptr, &layer3.wfx, &pcm, nullptr, 0, 0, 0), 0u);
    const Conversion first = ConvertOnce(stream, Bytes(frames.begin(), frames.begin() + c.firstFrameBytes), 1 << 16, 0);
    EXPECT_EQ(first.sourceUsed, c.firstFrameBytes);
    EXPECT_EQ(first.output.size(), 1152u * 4);
    acmStreamClose(stream, 0);
    const Bytes reference = ReadSoundFixture(c.reference);
    EXPECT_EQ(ConvertWhole(&layer3.wfx, &pcm, frames), reference);
    EXPECT_EQ(ConvertInPieces(&layer3.wfx, &pcm, frames, 11), reference);
  }
}

}  // namespace
