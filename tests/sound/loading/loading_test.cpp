// Loading sounds from memory images into buffers, and playing them in turn, heard through the
// captured mix of the DirectSound stand-in.
#include <gtest/gtest.h>

#include <algorithm>

#include "../sound_system_fixture.h"
#include "platform/testing.h"
#include "runtime/runtime_state.h"
#include "sound/loading.h"
#include "sound_fixtures.h"
#include "window/window_state.h"

namespace testing_door = platform::testing;

namespace {

class SoundLoadingTest : public sound_test::SoundSystemFixture {
 protected:
  void SetUp() override {
    SoundSystemFixture::SetUp();
    ASSERT_EQ(InitSoundSystem(), 0);
  }
  void TearDown() override {
    SoundSystemFixture::TearDown();
    g_soundOptions.loadMode = 0;
    g_soundOptions.decoderMask = 0;
  }
};

// Stereo 16-bit PCM at the mixer's own rate, every sample `level`, so copies add up plainly.
Bytes LevelWave(int frames, int16_t level, int rate = 44100) {
  Bytes pcm;
  for (int i = 0; i < frames * 2; ++i) {
    pcm.push_back(static_cast<uint8_t>(level));
    pcm.push_back(static_cast<uint8_t>(level >> 8));
  }
  return BuildWave({{"fmt ", FormatChunk(WAVE_FORMAT_PCM, 2, rate, 4, 16)}, {"data", pcm}});
}

int LoadImage(const Bytes& image, int buffers) {
  return LoadSoundFromMemoryImage(image.data(), static_cast<int>(image.size()), buffers, -1);
}

int LeftLevel(int frames) {
  const std::vector<int16_t> mix = testing_door::MixSoundFrames(frames);
  return mix.empty() ? -1 : mix[mix.size() - 2];
}

int PlayFrames(SoundRecord* record, int buffer) {
  int bytes = -1;
  SndBufGetPlayPosition(&record->buffers[buffer], &bytes);
  return bytes / 4;
}

TEST_F(SoundLoadingTest, ThreeBuffersOverlapAndTheFourthPlayRestartsTheFirst) {
  const int handle = LoadImage(LevelWave(44100, 1000), 3);
  ASSERT_NE(handle, -1);
  SoundRecord* record = GetSoundRecord(handle);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->bufferCount, 3);
  EXPECT_EQ(GetSoundTotalSample(handle), 44100);

  const int expectedBuffer[4] = {1, 2, 0, 1};
  for (int play = 0; play < 3; ++play) {
    ASSERT_EQ(PlaySoundHandle(handle, 1, 1), 0);
    EXPECT_EQ(record->currentBuffer, expectedBuffer[play]);
    EXPECT_EQ(LeftLevel(100), 1000 * (play + 1));
  }
  EXPECT_EQ(PlayFrames(record, 1), 300);
  EXPECT_EQ(PlayFrames(record, 2), 200);
  EXPECT_EQ(PlayFrames(record, 0), 100);
  // The fourth play takes buffer 1 again from its start; three copies still sound.
  ASSERT_EQ(PlaySoundHandle(handle, 1, 1), 0);
  EXPECT_EQ(record->currentBuffer, expectedBuffer[3]);
  EXPECT_EQ(PlayFrames(record, 1), 0);
  EXPECT_EQ(LeftLevel(50), 3000);
  EXPECT_EQ(PlayFrames(record, 1), 50);
  EXPECT_EQ(GetSoundHandlePosition(handle), 1);  // 50 frames at 44.1 kHz

  EXPECT_EQ(CheckSoundHandle(handle), 1);
  EXPECT_EQ(StopSoundHandle(handle), 0);
  EXPECT_EQ(CheckSoundHandle(handle), 0);
  EXPECT_EQ(LeftLevel(10), 0);
  EXPECT_EQ(DeleteSoundHandle(handle, 0), 0);
}

TEST_F(SoundLoadingTest, OneBufferResumesWithoutFromStartAndLeavesABusyBufferAlone) {
  const int handle = LoadImage(LevelWave(44100, 500), 1);
  ASSERT_NE(handle, -1);
  SoundRecord* record = GetSoundRecord(handle);
  ASSERT_EQ(PlaySoundHandle(handle, 1, 1), 0);
  EXPECT_EQ(record->currentBuffer, 0);
  LeftLevel(400);
  EXPECT_EQ(PlaySoundHandle(handle, 1, 0), 0);  // Busy: nothing happens.
  EXPECT_EQ(PlayFrames(record, 0), 400);
  EXPECT_EQ(StopSoundHandle(handle), 0);
  EXPECT_EQ(PlaySoundHandle(handle, 1, 0), 0);  // Stopped: resumes where it stood.
  EXPECT_EQ(PlayFrames(record, 0), 400);
  EXPECT_EQ(LeftLevel(100), 500);
  EXPECT_EQ(PlaySoundHandle(handle, 1, 1), 0);  // From the start.
  EXPECT_EQ(PlayFrames(record, 0), 0);
}

TEST_F(SoundLoadingTest, LoopingPlayGoesOnPastTheEnd) {
  const int handle = LoadImage(LevelWave(1000, 700), 2);
  ASSERT_NE(handle, -1);
  ASSERT_EQ(PlaySoundHandle(handle, 3, 1), 0);
  EXPECT_EQ(LeftLevel(2500), 700);
  EXPECT_EQ(CheckSoundHandle(handle), 1);
  ASSERT_EQ(PlaySoundHandle(handle, 7, 1), 0);  // Unknown play type: once, in the background.
  LeftLevel(1500);
  SoundRecord* record = GetSoundRecord(handle);
  DWORD status = 0;
  SndBufGetStatus(&record->buffers[record->currentBuffer], &status);
  EXPECT_EQ(status & DSBSTATUS_PLAYING, 0u);
}

// Play type 0 returns once the sound has ended: here the dummy device mixes in real time.
TEST_F(SoundLoadingTest, NormalPlayWaitsForTheEnd) {
  EndSoundSystem();
  testing_door::UseManualSoundMixing(false);
  ASSERT_EQ(InitSoundSystem(), 0);
  const int handle = LoadImage(LevelWave(441, 100), 2);  // 10 ms
  ASSERT_NE(handle, -1);
  ASSERT_EQ(PlaySoundHandle(handle, 0, 1), 0);
  EXPECT_EQ(CheckSoundHandle(handle), 0);
}

TEST_F(SoundLoadingTest, DecodedSoundsLoadWithTheirFormatAndLength) {
  struct DecodedCase {
    const char* file;
    int frames;
    int rate;
  };
  for (const DecodedCase& c :
       {DecodedCase{"mp3_stereo_cbr.mp3", 11025, 44100}, DecodedCase{"vorbis_stereo.ogg", 11025, 44100},
        DecodedCase{"ms_adpcm.wav", 12216, 44100}, DecodedCase{"pcm8.wav", 6615, 22050}}) {
    SCOPED_TRACE(c.file);
    const int handle = LoadImage(ReadSoundFixture(c.file), 3);
    ASSERT_NE(handle, -1);
    EXPECT_EQ(GetSoundTotalSample(handle), c.frames);
    EXPECT_EQ(GetSoundRecord(handle)->frequency, c.rate);
    EXPECT_EQ(DeleteSoundHandle(handle, 0), 0);
  }
}

TEST_F(SoundLoadingTest, ASoundWithEveryOtherDecoderMaskedPlaysThroughTheMediaFramework) {
  ASSERT_EQ(SetSoundDecoderMask(0x0F), 0);
  const int handle = LoadImage(ReadSoundFixture("mp3_stereo_cbr.mp3"), 1);
  ASSERT_NE(handle, -1);
  EXPECT_EQ(GetSoundTotalSample(handle), 11025);
  ASSERT_EQ(PlaySoundHandle(handle, 1, 1), 0);
  const std::vector<int16_t> mix = testing_door::MixSoundFrames(4410);
  EXPECT_TRUE(std::any_of(mix.begin(), mix.end(), [](int16_t sample) { return sample != 0; }));
  EXPECT_EQ(CheckSoundHandle(handle), 1);
}

TEST_F(SoundLoadingTest, RefusesBadCountsAndUndecodableImagesLeavingNoHandle) {
  const Bytes image = LevelWave(100, 1);
  const int before = g_soundHandles.usedCount;
  for (int count : {11, 0, -3}) EXPECT_EQ(LoadImage(image, count), -1) << count;
  EXPECT_EQ(LoadImage(Bytes(500, 0x42), 1), -1);
  EXPECT_EQ(LoadImage(Bytes(), 1), -1);
  EXPECT_NE(LoadImage(image, 10), -1);
  EXPECT_EQ(g_soundHandles.usedCount, before + 1);
  // No file layer here: loading a file fails at the read, cleanly.
  EXPECT_EQ(LoadSoundFile("tone.wav", 11, -1), -1);
  EXPECT_EQ(g_soundHandles.usedCount, before + 1);
}

// Long sounds and sounds without buffers become stream sounds behind the same handle, and the
// load mode is the caller's again.
TEST_F(SoundLoadingTest, LongOrBufferlessSoundsGoToStreamSoundsWithTheSameLoadMode) {
  auto slowWave = [](int bytes) {
    return BuildWave(
        {{"fmt ", FormatChunk(WAVE_FORMAT_PCM, 1, 100, 1, 8)}, {"data", Bytes(static_cast<size_t>(bytes), 128)}});
  };
  const int before = g_soundHandles.usedCount;
  const int whole = LoadImage(slowWave(100 * 180 + 99), 1);  // 180.99 s stays whole
  ASSERT_NE(whole, -1);
  EXPECT_EQ(GetSoundRecord(whole)->streamFlag, 0);
  const int longSound = LoadImage(slowWave(100 * 181), 1);  // 181 s
  ASSERT_NE(longSound, -1);
  EXPECT_EQ(GetSoundRecord(longSound)->streamFlag, 1);
  EXPECT_EQ(GetSoundTotalSample(longSound), 100 * 181);
  EXPECT_EQ(g_soundOptions.loadMode, 0);
  testing_door::RefuseSoundBuffers(2);  // The first create and its plainer retry.
  const int bufferless = LoadImage(LevelWave(100, 1), 2);
  ASSERT_NE(bufferless, -1);
  EXPECT_EQ(GetSoundRecord(bufferless)->streamFlag, 1);
  EXPECT_EQ(g_soundOptions.loadMode, 0);
  testing_door::RefuseSoundBuffers(1);  // Only the first try: the plainer retry makes it.
  const int retried = LoadImage(LevelWave(100, 1), 2);
  ASSERT_NE(retried, -1);
  EXPECT_EQ(GetSoundRecord(retried)->bufferCount, 2);
  EXPECT_EQ(GetSoundRecord(retried)->streamFlag, 0);
  EXPECT_EQ(g_soundHandles.usedCount, before + 4);
  ASSERT_EQ(SetSoundLoadMode(2), 0);
  const int streamed = LoadImage(LevelWave(100, 1), 1);
  ASSERT_NE(streamed, -1);
  EXPECT_EQ(GetSoundRecord(streamed)->streamFlag, 1);
  EXPECT_EQ(g_soundOptions.loadMode, 2);
  EXPECT_EQ(g_soundHandles.usedCount, before + 5);
}

TEST_F(SoundLoadingTest, OptionsAndBufferCountsOfZero) {
  EXPECT_EQ(SetSoundLoadMode(4), -1);
  EXPECT_EQ(SetSoundLoadMode(1), 0);
  EXPECT_EQ(GetSoundLoadMode(), 0);
  EXPECT_EQ(SetSoundLoadMode(3), 0);
  EXPECT_EQ(GetSoundLoadMode(), 3);
  EXPECT_EQ(SetSoundLoadMode(0), 0);
  EXPECT_EQ(SetSoundDecoderMask(0x08), 0);
  EXPECT_EQ(GetSoundDecoderMask(), 0x08);
  EXPECT_EQ(SetSoundDecoderMask(0x18), 0);
  EXPECT_EQ(LoadImage(ReadSoundFixture("mp3_mono_cbr.mp3"), 1), -1);  // Both MP3 decoders skipped
  EXPECT_EQ(SetSoundDecoderMask(0), 0);

  const int handle = AddSoundData(-1);
  WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
  EXPECT_EQ(CreateSoundBuffers(-1, &format, 4000, 0, 0, handle), 0);
  EXPECT_EQ(GetSoundRecord(handle)->bufferCount, 0);
  EXPECT_EQ(PlaySoundHandle(handle, 1, 1), -1);
  EXPECT_EQ(GetSoundHandlePosition(handle), 0);
  EXPECT_EQ(PlaySoundHandle(-1, 1, 1), -1);
  EXPECT_EQ(StopSoundHandle(12345), -1);
}

TEST_F(SoundLoadingTest, NothingWorksWhileSoundIsDown) {
  const Bytes image = LevelWave(100, 1);
  EndSoundSystem();
  EXPECT_EQ(LoadImage(image, 1), -1);
  EXPECT_EQ(LoadSoundFile("tone.wav", 1, -1), -1);
  EXPECT_EQ(PlaySoundHandle(0x10000000, 1, 1), -1);
  EXPECT_EQ(GetSoundHandlePosition(0x10000000), -1);
  ASSERT_EQ(InitSoundSystem(), 0);
}

// WAVE files of wide, float and extensible samples load into buffers and stream alike, and are
// heard exactly as the 16-bit tone they were made from.
TEST_F(SoundLoadingTest, WideFloatAndExtensibleFilesPlayAsTheSixteenBitTone) {
  auto heard = [](const Bytes& image, int loadMode) {
    std::vector<int16_t> mix;
    g_soundOptions.loadMode = loadMode;
    const int handle = LoadImage(image, 1);
    g_soundOptions.loadMode = 0;
    if (handle == -1) return mix;
    if (GetSoundRecord(handle)->streamFlag != (loadMode != 0) || PlaySoundHandle(handle, 1, 1) != 0) return mix;
    // The tone lasts 13,230 output frames.
    for (int block = 0; block < 15; ++block) {
      UpdateStreamSounds();
      const std::vector<int16_t> part = testing_door::MixSoundFrames(1024);
      mix.insert(mix.end(), part.begin(), part.end());
    }
    DeleteSoundHandle(handle);
    return mix;
  };
  for (int loadMode : {0, 2}) {
    SCOPED_TRACE(loadMode);
    const std::vector<int16_t> tone = heard(ReadSoundFixture("tone_mono.wav"), loadMode);
    ASSERT_EQ(tone.size(), 15u * 1024 * 2);
    for (const char* file :
         {"pcm24.wav", "pcm32.wav", "pcm24_ext.wav", "pcm32_ext.wav", "float32.wav", "float32_ext"}) {
      SCOPED_TRACE(file);
      EXPECT_EQ(heard(WideSampleFixture(file), loadMode), tone);
    }
  }
}

}  // namespace
