// The MP3 decoder's frame headers, ID3v2 heads, "TAG" trailers and frame scan.
#include <gtest/gtest.h>

#include "sound/mp3_frame_header.h"
#include "sound/sound_records.h"
#include "sound_fixtures.h"

namespace {

TEST(Mp3FrameHeader, DecodesLengthsAndRefusesReservedValues) {
  struct HeaderCase {
    uint8_t bytes[4];
    int result;
    uint32_t length;
    uint32_t samples;
    uint32_t rate;
    int channels;
  };
  const HeaderCase cases[] = {
      {{0xFF, 0xFB, 0x90, 0x00}, 0, 417, 1152, 44100, 2},  // MPEG-1 Layer III 128 kbit/s
      {{0xFF, 0xFB, 0x92, 0xC0}, 0, 418, 1152, 44100, 1},  // the same, padded, single channel
      {{0xFF, 0xF3, 0x80, 0x00}, 0, 208, 576, 22050, 2},   // MPEG-2 Layer III 64 kbit/s
      {{0xFF, 0xFD, 0xA0, 0x00}, 0, 626, 1152, 44100, 2},  // MPEG-1 Layer II 192 kbit/s
      {{0xFF, 0xFF, 0x90, 0x00}, 0, 312, 384, 44100, 2},   // MPEG-1 Layer I 288 kbit/s
      {{0xFF, 0xFB, 0x00, 0x00}, 0, 0, 1152, 44100, 2},    // free format: no length
      {{0xFF, 0xF9, 0x90, 0x00}, -1, 0, 0, 0, 0},          // reserved layer
      {{0xFF, 0xFB, 0xF0, 0x00}, -1, 0, 0, 0, 0},          // bit-rate index 15
      {{0xFF, 0xFB, 0x9C, 0x00}, -1, 0, 0, 0, 0},          // sample-rate index 3
      {{0xFF, 0xE3, 0x80, 0x00}, -2, 0, 0, 0, 0},          // MPEG-2.5 lacks a sync bit
      {{0xFE, 0xFB, 0x90, 0x00}, -2, 0, 0, 0, 0},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(Bytes(c.bytes, c.bytes + 4)));
    Mp3FrameInfo info{};
    ASSERT_EQ(DecodeMp3FrameHeader(&info, c.bytes), c.result);
    if (c.result != 0) continue;
    EXPECT_EQ(info.frameLength, c.length);
    EXPECT_EQ(info.samplesPerFrame, c.samples);
    EXPECT_EQ(info.sampleRate, c.rate);
    EXPECT_EQ(info.channels, c.channels);
  }
}

Bytes Id3Head(int majorVersion, uint8_t flags, int size) {
  Bytes head = {'I',
                'D',
                '3',
                static_cast<uint8_t>(majorVersion),
                0,
                flags,
                static_cast<uint8_t>((size >> 21) & 0x7F),
                static_cast<uint8_t>((size >> 14) & 0x7F),
                static_cast<uint8_t>((size >> 7) & 0x7F),
                static_cast<uint8_t>(size & 0x7F)};
  // A body full of would-be frame syncs: only skipping it whole leaves them out.
  for (int i = 0; i < size; ++i) head.push_back(i % 2 ? 0xFB : 0xFF);
  return head;
}

Bytes Concatenate(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(Mp3Decoder, SkipsId3HeadsByVersionAndFooterFlag) {
  const Bytes plain = ReadSoundFixture("mp3_mono_cbr.mp3");
  const WholeDecode expected = DecodeWhole(plain);
  ASSERT_EQ(expected.result, 0);
  struct HeadCase {
    const char* name;
    Bytes image;
  };
  const Bytes footer = {'3', 'D', 'I', 4, 0, 0x10, 0, 0, 0, 20};
  const HeadCase cases[] = {
      {"v2.3", Concatenate({Id3Head(3, 0, 20), plain})},
      {"v2.4 with footer", Concatenate({Id3Head(4, 0x10, 20), footer, plain})},
      {"v2.3 with the footer flag", Concatenate({Id3Head(3, 0x10, 20), plain})},
  };
  for (const HeadCase& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryConverter memory(c.image);
    ASSERT_EQ(memory.setupResult, 0);
    EXPECT_EQ(memory.converter.dataPosition, static_cast<int>(c.image.size() - plain.size()));
    EXPECT_EQ(memory.ReadAll(), expected.pcm);
  }
}

TEST(Mp3Decoder, LeavesTheTagTrailerOut) {
  const Bytes tagged = ReadSoundFixture("mp3_mono_tag.mp3");
  MemoryConverter memory(tagged);
  ASSERT_EQ(memory.setupResult, 0);
  EXPECT_EQ(memory.converter.dataPosition + memory.converter.dataSize, static_cast<int>(tagged.size()) - 128);
  // A last frame cut short, so its length reaches into the trailer: the sound still stops before it.
  const Bytes plain = ReadSoundFixture("mp3_mono_cbr.mp3");
  const Bytes cut = Concatenate({Bytes(plain.begin(), plain.end() - 100), Bytes(tagged.end() - 128, tagged.end())});
  MemoryConverter cutMemory(cut);
  ASSERT_EQ(cutMemory.setupResult, 0);
  EXPECT_EQ(cutMemory.converter.dataPosition + cutMemory.converter.dataSize, static_cast<int>(cut.size()) - 128);
  EXPECT_EQ(cutMemory.converter.acm.totalSamples, memory.converter.acm.totalSamples);
  EXPECT_FALSE(cutMemory.ReadAll().empty());
}

TEST(Mp3Decoder, SkipsGarbageBetweenFramesAndRefusesBadHeaders) {
  const Bytes plain = ReadSoundFixture("mp3_stereo_cbr.mp3");
  MemoryConverter reference(plain);
  ASSERT_EQ(reference.setupResult, 0);
  const Bytes expected = reference.ReadAll();
  // Frames here are 417 or 418 bytes; frame 3 starts at 417 x 2 + 418.
  const size_t frameStart = 417 + 417 + 418;
  ASSERT_EQ(plain[frameStart], 0xFF);
  const Bytes garbage = {0x00, 0xFF, 0x00, 0xFF, 0xE0, 0x12, 0x00};
  const Bytes withGarbage = Concatenate(
      {Bytes(plain.begin(), plain.begin() + frameStart), garbage, Bytes(plain.begin() + frameStart, plain.end())});
  MemoryConverter skipped(withGarbage);
  ASSERT_EQ(skipped.setupResult, 0);
  EXPECT_EQ(skipped.converter.acm.totalSamples, reference.converter.acm.totalSamples);
  EXPECT_EQ(skipped.ReadAll(), expected);

  const Bytes badRate = Concatenate({Bytes(plain.begin(), plain.begin() + frameStart),
                                     {0xFF, 0xFB, 0xF0, 0x00},
                                     Bytes(plain.begin() + frameStart, plain.end())});
  // The media framework's decoder, last in the chain, is left out: these are this decoder's refusals.
  EXPECT_EQ(MemoryConverter(badRate, SOUND_DECODER_MEDIA_FRAMEWORK).setupResult, -1);
  const Bytes freeFormat = Concatenate({{0xFF, 0xFB, 0x00, 0x00}, plain});
  EXPECT_EQ(MemoryConverter(freeFormat, SOUND_DECODER_MEDIA_FRAMEWORK).setupResult, -1);
  EXPECT_EQ(MemoryConverter(Bytes(128, 0xFF)).setupResult, -1);
  EXPECT_EQ(MemoryConverter(Bytes(4000, 0x00)).setupResult, -1);
}

TEST(Mp3Decoder, DescribesTheFirstFrameAndCountsItsSamples) {
  MemoryConverter memory(ReadSoundFixture("mp3_stereo_cbr.mp3"));
  ASSERT_EQ(memory.setupResult, 0);
  const auto* layer3 = reinterpret_cast<const MPEGLAYER3WAVEFORMAT*>(memory.converter.acm.sourceFormat);
  EXPECT_EQ(layer3->wfx.wFormatTag, WAVE_FORMAT_MPEGLAYER3);
  EXPECT_EQ(layer3->wfx.nChannels, 2);
  EXPECT_EQ(layer3->wfx.nAvgBytesPerSec, 16000u);
  EXPECT_EQ(layer3->wfx.nBlockAlign, 1);
  EXPECT_EQ(layer3->wfx.cbSize, 12);
  EXPECT_EQ(layer3->wID, MPEGLAYER3_ID_MPEG);
  EXPECT_EQ(layer3->nBlockSize, 417);
  EXPECT_EQ(layer3->nFramesPerBlock, 1);
  EXPECT_EQ(layer3->nCodecDelay, 700);
  // The information frame gives no sound and the encoder's delay and padding are trimmed: the
  // count is the tone's own 11,025 samples, not 12 x 1152.
  EXPECT_EQ(memory.converter.acm.totalSamples, 11025);
  EXPECT_EQ(GetPcmConvertedSize(&memory.converter), memory.converter.acm.totalSamples * 4);
  // A sound shorter than the 4/3-second buffer gets a buffer of its whole output.
  EXPECT_EQ(memory.converter.bufferSize, 11025 * 4);
  EXPECT_EQ(memory.ReadAll().size(), 11025u * 4);
}

// An information frame claiming billions of frames would stall libmpg123's gapless set-up for
// half a minute; it is decoded as a plain frame instead, so the sound comes out untrimmed.
TEST(Mp3Decoder, InformationFrameWithAnAbsurdFrameCountIsNotTrusted) {
  Bytes mp3 = ReadSoundFixture("mp3_mono_cbr.mp3");
  ASSERT_EQ(std::string(mp3.begin() + 13, mp3.begin() + 17), "Info");
  const uint8_t count[4] = {0x80, 0x00, 0x00, 0x00};
  std::copy(count, count + 4, mp3.begin() + 21);
  {
    MemoryConverter memory(mp3);
    ASSERT_EQ(memory.setupResult, 0);
    const int decoded = static_cast<int>(memory.ReadAll().size());
    EXPECT_GT(decoded, 6615 * 2);  // More than the trimmed tone
    EXPECT_EQ(decoded, GetPcmConvertedSize(&memory.converter));
  }
  // Decoders are kept for the next sound: the one that stopped trusting information frames
  // trusts them again for a sound of another layout.
  MemoryConverter next(ReadSoundFixture("mp3_stereo_cbr.mp3"));
  ASSERT_EQ(next.setupResult, 0);
  EXPECT_EQ(next.ReadAll().size(), 11025u * 4);
}

// Whether a first frame is an information frame is the codec's call: the "Xing" or "Info" tag
// right after the side information, which must be zero from its third byte on, checksum or not.
// A frame that fails gives sound, so the count must include it, untrimmed, or the sound would
// start with the frame and the delays and lose its end; both paths give the same PCM.
TEST(Mp3Decoder, TheCodecsRuleDecidesWhatIsAnInformationFrame) {
  struct FrameCase {
    const char* name;
    size_t at;  // In mp3_stereo_cbr.mp3's first frame: header, 32 bytes of side information, "Info"
    uint8_t value;
    bool information;
  };
  const FrameCase cases[] = {
      {"side information byte 1 set", 4 + 1, 0x40, true},
      {"side information byte 2 set", 4 + 2, 0x40, false},
      {"last side information byte set", 4 + 31, 0x01, false},
      {"checksum bit, tag unmoved", 1, 0xFA, true},
  };
  const Bytes plain = ReadSoundFixture("mp3_stereo_cbr.mp3");
  ASSERT_EQ(std::string(plain.begin() + 36, plain.begin() + 40), "Info");
  for (const FrameCase& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes mp3 = plain;
    mp3[c.at] = c.value;
    MemoryConverter throughAcm(mp3);
    const WholeDecode throughGraph = DecodeWhole(
        mp3, SOUND_DECODER_WAVE_PCM | SOUND_DECODER_WAVE_ACM | SOUND_DECODER_OGG_VORBIS | SOUND_DECODER_MP3_ACM);
    ASSERT_EQ(throughAcm.setupResult, 0);
    ASSERT_EQ(throughGraph.result, 0);
    // The tone's 11,025 frames trimmed, or all twelve frames of 1152 as they are.
    const int frames = c.information ? 11025 : 12 * 1152;
    EXPECT_EQ(throughAcm.converter.acm.totalSamples, frames);
    const Bytes pcm = throughAcm.ReadAll();
    EXPECT_EQ(pcm.size(), frames * 4u);
    EXPECT_TRUE(pcm == throughGraph.pcm);
  }
}

// The frame scan reads through a buffer: a large stream that no decoder takes costs a few reads,
// not one for every byte (it would be 132,000 here), and frames found across buffer ends count.
int g_readCalls = 0;
int CountingRead(void* buffer, int itemSize, int count, StreamHandle stream) {
  ++g_readCalls;
  return GetMemoryStreamFuncs()->Read(buffer, itemSize, count, stream);
}

TEST(Mp3Decoder, TheFrameScanReadsThroughABuffer) {
  for (const Bytes& image :
       {Bytes(132000, 0x00), Concatenate({Bytes(4095, 0x00), ReadSoundFixture("mp3_stereo_noinfo.mp3")})}) {
    SoundStreamSource source;
    source.functions = *GetMemoryStreamFuncs();
    source.functions.Read = CountingRead;
    source.stream = reinterpret_cast<StreamHandle>(OpenMemoryStream(image.data(), static_cast<int>(image.size())));
    PcmConverter converter{};
    g_readCalls = 0;
    const int savedMask = g_soundOptions.decoderMask;
    g_soundOptions.decoderMask = SOUND_DECODER_WAVE_PCM | SOUND_DECODER_WAVE_ACM | SOUND_DECODER_OGG_VORBIS |
                                 SOUND_DECODER_MEDIA_FRAMEWORK;
    const int result = SetupPcmConverter(&source, &converter);
    g_soundOptions.decoderMask = savedMask;
    EXPECT_LT(g_readCalls, 100);
    if (image[0] == 0x00 && image.size() == 132000) {
      EXPECT_EQ(result, -1);
    } else {
      ASSERT_EQ(result, 0);
      EXPECT_EQ(converter.dataPosition, 4095);
      EXPECT_EQ(GetPcmConvertedSize(&converter), 50688);  // As the reference decode
    }
    EndPcmConverter(&converter);
    CloseMemoryStream(source.stream);
  }
}

}  // namespace
