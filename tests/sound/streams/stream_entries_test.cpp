// Adding data entries to stream sounds (kinds, limits, refusals and their log lines) and the
// refill steps: sizes, the amount a round writes, the play count across the wrap and the padding.
#include "stream_sound_support.h"

using namespace stream_test;

namespace {

class StreamEntriesTest : public StreamSoundFixture {
 protected:
  void SetUp() override {
    StreamSoundFixture::SetUp();
    StartSoundSystem(1);
  }

  static int AddImage(int handle, const std::vector<uint8_t>& image, int loopCount = 0) {
    return AddStreamSoundMemory(image.data(), static_cast<int>(image.size()), loopCount, handle, 2, -1);
  }
};

// The source stream of a kind-3 entry, which the caller keeps open while the sound plays.
struct CallerStream {
  explicit CallerStream(const std::vector<uint8_t>& image) : bytes(image) {
    source.functions = *GetMemoryStreamFuncs();
    source.stream = reinterpret_cast<StreamHandle>(OpenMemoryStream(bytes.data(), static_cast<int>(bytes.size())));
  }
  ~CallerStream() { CloseMemoryStream(source.stream); }
  std::vector<uint8_t> bytes;
  SoundStreamSource source{};
};

TEST_F(StreamEntriesTest, EveryKindOfEntryPlaysTheSameSamples) {
  const int64_t frames = 50001;
  const std::vector<uint8_t> image = CounterWave(frames, 2);
  const ExpectedOutput expected({{2, frames}}, false);
  for (int kind : {0, 2, 3}) {
    SCOPED_TRACE(kind);
    CallerStream caller(image);
    const int handle = AddSoundData(-1);
    int copied = -1;
    ASSERT_EQ(AddSreamSound(&caller.source, 0, handle, kind, &copied, -1), 0);
    EXPECT_EQ(copied, kind == 3 ? 0 : 1);
    EXPECT_EQ(GetSoundTotalSample(handle), frames);
    ASSERT_EQ(PlaySoundHandle(handle, 1, 1), 0);
    int64_t clock = 0;
    ASSERT_TRUE(MixAndCompare(frames, expected, clock));
    ASSERT_TRUE(RunOutWithinOneLap(handle, expected, clock));
    EXPECT_EQ(DeleteSoundHandle(handle), 0);
  }
  int copied = 0;
  CallerStream caller(image);
  const int handle = AddSoundData(-1);
  EXPECT_EQ(AddSreamSound(&caller.source, 0, handle, 1, &copied, -1), -1);  // No such kind.
  EXPECT_EQ(StreamOf(handle).entryCount, 0);
}

TEST_F(StreamEntriesTest, EntriesAreRefusedWithTheirLogLines) {
  const std::vector<uint8_t> stereo = CounterWave(4410, 1);
  const std::vector<uint8_t> mono = WaveHeaderAnd(2 * 4410, 1, 16, kRate);

  const int full = StreamSoundOf(stereo);
  ASSERT_EQ(AddImage(full, stereo), 0);
  ASSERT_EQ(AddImage(full, stereo), 0);
  EXPECT_EQ(AddImage(full, stereo), -1);
  EXPECT_NE(LogText().find("ストリーム風サウンドの制御データ領域がいっぱいです"), std::string::npos);
  EXPECT_EQ(StreamOf(full).entryCount, 3);
  EXPECT_EQ(GetSoundTotalSample(full), 3 * 4410);

  const int stereoSound = StreamSoundOf(stereo);
  EXPECT_EQ(AddImage(stereoSound, mono), -1);
  EXPECT_NE(LogText().find("フォーマットの違う音声データは同時に使うことは出来ません"), std::string::npos);
  EXPECT_EQ(StreamOf(stereoSound).entryCount, 1);

  ASSERT_EQ(PlaySoundHandle(stereoSound, 3, 1), 0);
  EXPECT_EQ(AddImage(stereoSound, stereo), -1);
  EXPECT_NE(LogText().find("既に再生中のストリームサウンドデータにデータを追加しようとしました"), std::string::npos);
  EXPECT_EQ(StopSoundHandle(stereoSound), 0);
  EXPECT_EQ(AddImage(stereoSound, stereo), 0);  // Stopped: allowed.
  EXPECT_EQ(StreamOf(stereoSound).entryCount, 2);

  const int whole = LoadSoundFromMemoryImage(stereo.data(), static_cast<int>(stereo.size()), 1, -1);
  ASSERT_NE(whole, -1);
  EXPECT_EQ(AddImage(whole, stereo), -1);
  EXPECT_NE(LogText().find("ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound"),
            std::string::npos);

  // Data no decoder takes, and a truncated WAVE header.
  const int empty = AddSoundData(-1);
  const std::vector<uint8_t> junk(300, 0x5A);
  const std::vector<uint8_t> truncated(stereo.begin(), stereo.begin() + 30);
  for (const std::vector<uint8_t>* image : {&junk, &truncated}) {
    EXPECT_EQ(AddImage(empty, *image), -1);
    EXPECT_EQ(StreamOf(empty).entryCount, 0);
    EXPECT_EQ(GetSoundRecord(empty)->streamFlag, 0);
  }
  EXPECT_NE(LogText().find("音声データのオープンに失敗しました"), std::string::npos);
  EXPECT_NE(LogText().find("ＷＡＶファイルのストリームイメージのセットアップに失敗しました"), std::string::npos);
  EXPECT_EQ(PlaySoundHandle(empty, 1, 1), -1);  // No buffers to play.
  // Files that are missing or that no decoder takes; the lines name the path and end once.
  const std::string junkFile = WriteFile("junk.wav", junk);
  EXPECT_EQ(AddStreamSoundFile(junkFile.c_str(), 0, empty, 2, -1), -1);
  EXPECT_EQ(AddStreamSoundFile("missing.wav", 0, empty, 2, -1), -1);
  EXPECT_NE(LogText().find("右記のＷＡＶファイルのセットアップに失敗しました：" + junkFile + " \r\n"),
            std::string::npos);
  EXPECT_NE(LogText().find("右記のＷＡＶファイルのロードに失敗しました：missing.wav \r\n"), std::string::npos);
  EXPECT_EQ(LogText().find("\r\n\r\n"), std::string::npos);

  EXPECT_EQ(DeleteAllSoundHandles(0), 0);
  EXPECT_EQ(g_soundHandles.usedCount, 0);
  EXPECT_EQ(g_soundOptions.streamChainHead.next, &g_soundOptions.streamChainTail);
  EXPECT_EQ(EndSoundSystem(), 0);
  EXPECT_EQ(UpdateStreamSounds(), -1);
}

// A sound whose buffers cannot be made is streamed instead, behind the same handle.
TEST_F(StreamEntriesTest, ASoundWithoutBuffersFallsBackToAStream) {
  const int64_t frames = 30000;
  const std::vector<uint8_t> image = CounterWave(frames, 5);
  testing_door::RefuseSoundBuffers(2);  // The created buffer and its retry.
  const int handle = LoadSoundFromMemoryImage(image.data(), static_cast<int>(image.size()), 2, -1);
  ASSERT_NE(handle, -1);
  EXPECT_EQ(GetSoundRecord(handle)->streamFlag, 1);
  EXPECT_EQ(GetSoundLoadMode(), 0);
  ASSERT_EQ(PlaySoundHandle(handle, 1, 1), 0);
  const ExpectedOutput expected({{5, frames}}, false);
  int64_t clock = 0;
  ASSERT_TRUE(MixAndCompare(frames, expected, clock));
  EXPECT_TRUE(RunOutWithinOneLap(handle, expected, clock));
}

// 24-bit PCM decodes, but the device has no buffer for it: whole or streamed, the load fails
// and the program goes on.
TEST_F(StreamEntriesTest, AFormatTheDeviceCannotPlayFailsToLoad) {
  const std::vector<uint8_t> image = WaveHeaderAnd(8 * 1000, 4, 16, kRate);  // Four channels
  EXPECT_EQ(LoadSoundFromMemoryImage(image.data(), static_cast<int>(image.size()), 1, -1), -1);
  EXPECT_NE(LogText().find("ストリーム風サウンドバッファの作成に失敗しました"), std::string::npos);
  EXPECT_EQ(g_soundHandles.usedCount, 0);
  const int handle = AddSoundData(-1);
  EXPECT_EQ(AddImage(handle, image), -1);
  EXPECT_EQ(StreamOf(handle).entryCount, 0);
  EXPECT_EQ(GetSoundRecord(handle)->streamFlag, 0);
  EXPECT_EQ(g_soundOptions.streamChainHead.next, &g_soundOptions.streamChainTail);
}

// A header whose average bytes per second is far off the samples (here one byte a second):
// such a sound counts as hours long, so it streams, at the pace of its samples.
TEST_F(StreamEntriesTest, AWrongAverageInTheHeaderStillStreamsExactly) {
  const int64_t frames = 60000;
  std::vector<uint8_t> image = CounterWave(frames, 6);
  PutU32(image.data() + 28, 1);
  const int handle = LoadSoundFromMemoryImage(image.data(), static_cast<int>(image.size()), 1, -1);
  ASSERT_NE(handle, -1);
  EXPECT_EQ(GetSoundRecord(handle)->streamFlag, 1);
  EXPECT_EQ(StreamOf(handle).bufferLength, 176400);
  ASSERT_EQ(PlaySoundHandle(handle, 1, 1), 0);
  const ExpectedOutput expected({{6, frames}}, false);
  int64_t clock = 0;
  ASSERT_TRUE(MixAndCompare(frames, expected, clock));
  EXPECT_TRUE(RunOutWithinOneLap(handle, expected, clock));
}

// An ADPCM WAVE of `dataBytes` bytes in blocks of `blockAlign` (tag 0x11 IMA, 2 Microsoft); the
// block headers and nibbles are arbitrary bytes, which both codecs decode.
std::vector<uint8_t> AdpcmWave(uint16_t tag, uint16_t channels, uint16_t blockAlign, uint32_t dataBytes) {
  const bool ima = tag == 0x11;
  const uint16_t samplesPerBlock = static_cast<uint16_t>(ima ? (blockAlign - 4 * channels) * 2 / channels + 1
                                                             : (blockAlign - 7 * channels) * 2 / channels + 2);
  // Microsoft ADPCM's seven standard coefficient pairs.
  const int16_t coefficients[14] = {256, 0, 512, -256, 0, 0, 192, 64, 240, 0, 460, -208, 392, -232};
  const uint16_t extra = ima ? 2 : 4 + sizeof(coefficients);
  const uint32_t formatBytes = 18 + extra;
  std::vector<uint8_t> image(20 + formatBytes + 8 + dataBytes);
  uint8_t* p = image.data();
  std::memcpy(p, "RIFF", 4);
  PutU32(p + 4, static_cast<uint32_t>(image.size() - 8));
  std::memcpy(p + 8, "WAVEfmt ", 8);
  PutU32(p + 16, formatBytes);
  PutU16(p + 20, tag);
  PutU16(p + 22, channels);
  PutU32(p + 24, 22050);
  PutU32(p + 28, 22050u * blockAlign / samplesPerBlock);
  PutU16(p + 32, blockAlign);
  PutU16(p + 34, 4);
  PutU16(p + 36, extra);
  PutU16(p + 38, samplesPerBlock);
  if (!ima) {
    PutU16(p + 40, 7);
    for (int i = 0; i < 14; ++i) PutU16(p + 42 + 2 * i, static_cast<uint16_t>(coefficients[i]));
  }
  uint8_t* data = p + 20 + formatBytes;
  std::memcpy(data, "data", 4);
  PutU32(data + 4, dataBytes);
  for (uint32_t i = 0; i < dataBytes; ++i) data[8 + i] = static_cast<uint8_t>(i * 37 + 11);
  return image;
}

// An ADPCM sound whose data stops inside a block: the part block's frames count, no more, so the
// sound's length is what its decode gives.
TEST_F(StreamEntriesTest, AnAdpcmSoundEndingInsideABlockIsAsLongAsItsDecode) {
  struct Case {
    const char* name;
    uint16_t tag;
    uint16_t channels;
    uint32_t dataBytes;  // Blocks of 1024 bytes
    int frames;
  };
  const Case cases[] = {
      // Whole blocks give 1 + (1024 - 4) x 2 = 2041 frames; a part of 512 bytes 1 + 508 / 4 x 8.
      {"IMA mono, half a block", 0x11, 1, 2 * 1024 + 512, 2 * 2041 + 1017},
      // Stereo: 1 + (1024 - 8) = 1017 a block; 100 bytes hold 92 / 8 = 11 whole groups of 8 frames.
      {"IMA stereo, a part block", 0x11, 2, 3 * 1024 + 100, 3 * 1017 + 1 + 11 * 8},
      {"IMA mono, part of a header", 0x11, 1, 2 * 1024 + 3, 2 * 2041},
      // 2 + (1024 - 7) x 2 = 2036 a block; a part of 300 bytes 2 + 293 x 2.
      {"Microsoft mono, a part block", 0x02, 1, 1024 + 300, 2036 + 2 + 586},
      // 2 + (1024 - 14) = 1012 a block; 101 bytes give 2 + 87.
      {"Microsoft stereo, a part block", 0x02, 2, 2 * 1024 + 101, 2 * 1012 + 2 + 87},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> image = AdpcmWave(c.tag, c.channels, 1024, c.dataBytes);
    CallerStream caller(image);
    PcmConverter converter{};
    ASSERT_EQ(SetupPcmConverter(&caller.source, &converter), 0);
    WAVEFORMATEX format{};
    void* pcm = nullptr;
    int size = 0;
    ASSERT_EQ(ConvertWholeToPcm(&converter, &format, &pcm, &size), 0);
    ZV_FREE(pcm);
    EndPcmConverter(&converter);
    EXPECT_EQ(size / format.nBlockAlign, c.frames);

    const int handle = AddSoundData(-1);
    ASSERT_EQ(AddImage(handle, image), 0);
    EXPECT_EQ(GetSoundTotalSample(handle), c.frames);
    EXPECT_EQ(DeleteSoundHandle(handle), 0);
  }
}

TEST_F(StreamEntriesTest, SizesOfTheStreamBuffer) {
  struct Case {
    WAVEFORMATEX format;
    StreamSizes sizes;
  };
  auto format = [](DWORD rate, WORD channels, WORD bits) {
    WAVEFORMATEX f{};
    f.wFormatTag = 1;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
  };
  for (const Case& c : {Case{format(44100, 2, 16), {176400, 132300, 132300, 22048}},
                        Case{format(22050, 1, 8), {22050, 16537, 16537, 2756}},
                        Case{format(11025, 2, 16), {44100, 33076, 33072, 5512}}}) {
    const StreamSizes sizes = StreamSizesOf(c.format);
    EXPECT_EQ(sizes.bufferLength, c.sizes.bufferLength) << c.format.nAvgBytesPerSec;
    EXPECT_EQ(sizes.refillLead, c.sizes.refillLead) << c.format.nAvgBytesPerSec;
    EXPECT_EQ(sizes.primeAmount, c.sizes.primeAmount) << c.format.nAvgBytesPerSec;
    EXPECT_EQ(sizes.step, c.sizes.step) << c.format.nAvgBytesPerSec;
  }
}

// A round writes one step, or more when less than 0.375 s is buffered ahead of the cursor.
TEST_F(StreamEntriesTest, ARoundWritesMoreWhenLittleIsBuffered) {
  struct Case {
    int bytesBehind;  // From the cursor forward to the write position
    int written;
  };
  for (const Case& c : {Case{88200, 22048}, Case{52920, 13436}, Case{8820, 57536}}) {
    const int handle = StreamSoundOf(CounterWave(5 * kRate, 1));
    ASSERT_EQ(PlaySoundHandle(handle, 1, 1), 0);
    const int primed = StreamOf(handle).writePosition;
    ASSERT_EQ(primed, 132300);
    testing_door::MixSoundFrames((primed - c.bytesBehind) / kBytesPerFrame);
    EXPECT_EQ(UpdateStreamSounds(), 0);
    EXPECT_EQ((StreamOf(handle).writePosition - primed + 176400) % 176400, c.written) << c.bytesBehind;
    EXPECT_EQ(DeleteSoundHandle(handle), 0);
  }
}

TEST_F(StreamEntriesTest, ThePlayCountFollowsTheCursorAcrossTheWrapAndTheEndMark) {
  struct Case {
    int last;
    int cursor;
    bool markPending;
    int mark;
    int64_t playedBefore;
    int64_t playedAfter;
    bool markStillPending;
  };
  const int handle = StreamSoundOf(CounterWave(kRate, 1));
  StreamSoundPart& stream = StreamOf(handle);
  stream.playing = 1;
  stream.playedBytesAtEndMark = 1000;
  for (const Case& c : {
           Case{160000, 5000, true, 170000, 7, 1000 + 11400, false},      // Over the mark, then the wrap
           Case{170000, 3000, true, 3000, 7, 1000, false},                // Onto a mark just after the wrap
           Case{1000, 5000, true, 170000, 7, 4007, true},                 // Short of the mark
           Case{170000, 1000, false, 0, 7, 7 + 6400 + 1000, false},       // The wrap alone
           Case{5000, 5000, true, 5000, 7, 7, true},                      // No move
           Case{100, 4100, false, 0, 3000000000LL, 3000004000LL, false},  // Hours of play
       }) {
    stream.lastPlayCursor = c.last;
    stream.endMarkPending = c.markPending;
    stream.endMarkPosition = c.mark;
    stream.playedBytes = c.playedBefore;
    EXPECT_EQ(UpdateStreamPlayCount(handle, c.cursor), 0);
    EXPECT_EQ(stream.playedBytes, c.playedAfter) << c.last << " -> " << c.cursor;
    EXPECT_EQ(stream.endMarkPending != 0, c.markStillPending) << c.last << " -> " << c.cursor;
  }
  stream.playing = 0;
  EXPECT_EQ(UpdateStreamPlayCount(-5, 0), -1);
}

TEST_F(StreamEntriesTest, SilencePadsEightBitStreamsWith7FAndOthersWithZero) {
  for (int bits : {8, 16}) {
    SoundRecord record{};
    record.format.wBitsPerSample = static_cast<WORD>(bits);
    uint8_t first[6];
    uint8_t second[4];
    std::memset(first, 0xEE, sizeof(first));
    std::memset(second, 0xEE, sizeof(second));
    RefillWindow window{100, first, second, 6, 4, 2, 0, 4, 4};
    FillStreamSilence(&record, &window, 100);  // More than is free: stops at the end of the window.
    const uint8_t pad = bits == 8 ? 0x7F : 0x00;
    EXPECT_EQ(first[0], 0xEE);
    EXPECT_EQ(first[1], 0xEE);
    for (int i = 2; i < 6; ++i) {
      EXPECT_EQ(first[i], pad) << bits;
    }
    for (uint8_t byte : second) {
      EXPECT_EQ(byte, pad) << bits;
    }
    EXPECT_EQ(window.firstFree + window.secondFree, 0);
    EXPECT_EQ(window.firstWritten + window.secondWritten, 10);
  }
}

}  // namespace
