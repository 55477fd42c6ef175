// The sound system over the DirectSound stand-in: start and end with their log lines, the sound
// thread, a failing device, sound handles, deletion, both buffer back ends and the capture header.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "platform/testing.h"
#include "runtime/log.h"
#include "runtime/runtime_state.h"
#include "sound/sound_records.h"
#include "sound_system_fixture.h"
#include "sound_test_support.h"
#include "window/window_state.h"

using namespace sound_test;
namespace testing_door = platform::testing;

namespace {

// A fresh log in a temporary directory; collects what the log hands to the debugger output.
class LogCapture {
 public:
  LogCapture() {
    char pattern[] = "/tmp/zyvel-sound-log-XXXXXX";
    if (mkdtemp(pattern)) directory_ = pattern;
    g_runtime.log = LogState{};
    testing_door::CaptureDebugOutput([this](const std::string& text) {
      std::lock_guard<std::mutex> lock(mutex_);
      text_ += text;
    });
    SetLogDirectory(platform::WindowsPathOf(directory_).c_str());
    OpenLogFile();
  }
  ~LogCapture() {
    SetLogDirectory("");
    g_runtime.log = LogState{};
    testing_door::CaptureDebugOutput(nullptr);
    unlink((directory_ + "/Log.txt").c_str());
    rmdir(directory_.c_str());
  }
  std::string Text() {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }
  // True when every line appears, in this order.
  ::testing::AssertionResult HasInOrder(const std::vector<std::string>& lines) {
    const std::string text = Text();
    size_t at = 0;
    for (const std::string& line : lines) {
      const size_t found = text.find(line, at);
      if (found == std::string::npos) return ::testing::AssertionFailure() << "missing or out of order: " << line;
      at = found + line.size();
    }
    return ::testing::AssertionSuccess();
  }

 private:
  std::string directory_;
  std::mutex mutex_;
  std::string text_;
};

// The tests start the sound system themselves, some of them against faults.
class SoundSystemTest : public SoundSystemFixture {
 protected:
  void TearDown() override {
    SoundSystemFixture::TearDown();
    g_softwareSoundBuffers = 0;
    testing_door::RefuseComClass(CLSID_DirectSound, false);
    testing_door::FailThreadCreation(0);
  }

  // A whole-PCM sound of `count` buffers (the first created, the rest duplicated) holding `pcm`,
  // made as loading makes one.
  static int MakeSound(const std::vector<int16_t>& pcm, WAVEFORMATEX format, int count) {
    const int handle = AddSoundData(-1);
    SoundRecord* record = GetSoundRecord(handle);
    if (!record) return -1;
    const int bytes = static_cast<int>(pcm.size() * 2);
    DSBUFFERDESC description = BufferDescription(&format, static_cast<DWORD>(bytes));
    for (int i = 0; i < count; ++i) {
      const int made = i == 0 ? SndBufCreate(&record->buffers[0], &description)
                              : SndBufDuplicate(&record->buffers[i], &record->buffers[0]);
      if (made != 0) return -1;
    }
    record->bufferCount = count;
    record->format = format;
    record->frequency = static_cast<int>(format.nSamplesPerSec);
    record->dataSize = bytes;
    record->pcm = static_cast<uint8_t*>(ZV_ALLOC(bytes));
    record->pcmReferenceCount = static_cast<int*>(ZV_ALLOC(sizeof(int)));
    *record->pcmReferenceCount = 1;
    CopyBytes(record->pcm, pcm.data(), bytes);
    void* first = nullptr;
    void* second = nullptr;
    int firstSize = 0;
    int secondSize = 0;
    if (SndBufLock(0, &record->buffers[0], bytes, &first, &firstSize, &second, &secondSize) != 0) return -1;
    CopyBytes(first, record->pcm, firstSize);
    SndBufUnlock(&record->buffers[0], first, firstSize, second, secondSize);
    return handle;
  }
};

TEST_F(SoundSystemTest, StartPlaysTheSilentBufferAndSetsThePrimaryFormat) {
  ASSERT_EQ(InitSoundSystem(), 0);
  EXPECT_EQ(InitSoundSystem(), -1);  // Already started.
  ASSERT_NE(g_soundHandles.silentBuffer, nullptr);
  DWORD status = 0;
  ASSERT_EQ(g_soundHandles.silentBuffer->GetStatus(&status), DS_OK);
  EXPECT_EQ(status, DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
  EXPECT_EQ(Peak(Channel(testing_door::MixSoundFrames(1000), 0)), 0);
  EXPECT_EQ(g_soundOptions.loadMode, 0);
  EXPECT_EQ(g_soundOptions.oggSampleWidth, 2);
  EXPECT_EQ(g_soundOptions.streamChainHead.next, &g_soundOptions.streamChainTail);

  ASSERT_EQ(EndSoundSystem(), 0);
  EXPECT_EQ(g_soundOptions.directSound, nullptr);
  EXPECT_EQ(g_soundHandles.silentBuffer, nullptr);
  EXPECT_EQ(g_soundOptions.lockCreated, 0);
  EXPECT_EQ(EndSoundSystem(), -1);
}

TEST_F(SoundSystemTest, PrimaryRateIsTheHighestSecondaryRateUpTo44100) {
  struct Case {
    DWORD maximumRate;
    DWORD primaryRate;
  };
  for (Case c : {Case{200000, 44100}, Case{48000, 44100}, Case{44100, 44100}, Case{22050, 22050}}) {
    testing_door::SetSoundSampleRateRange(100, c.maximumRate);
    ASSERT_EQ(InitSoundSystem(), 0);
    WAVEFORMATEX format{};
    ASSERT_TRUE(testing_door::LastPrimarySoundFormat(&format));
    EXPECT_EQ(format.nSamplesPerSec, c.primaryRate) << c.maximumRate;
    EXPECT_EQ(format.nChannels, 2);
    EXPECT_EQ(format.wBitsPerSample, 16);
    EXPECT_EQ(format.nBlockAlign, 4);
    EXPECT_EQ(format.nAvgBytesPerSec, c.primaryRate * 4);
    ASSERT_EQ(EndSoundSystem(), 0);
  }
}

TEST_F(SoundSystemTest, TheSoundThreadRunsOnlyWithMoreThanOneProcessor) {
  for (int processors : {1, 2, 8}) {
    g_runtime.processor.processorCount = processors;
    ASSERT_EQ(InitSoundSystem(), 0);
    if (processors == 1) {
      EXPECT_EQ(g_soundOptions.threadHandle, nullptr);
    } else {
      ASSERT_NE(g_soundOptions.threadHandle, nullptr) << processors;
      DWORD exitCode = 0;
      ASSERT_TRUE(GetExitCodeThread(g_soundOptions.threadHandle, &exitCode));
      EXPECT_EQ(exitCode, static_cast<DWORD>(STILL_ACTIVE));
      EXPECT_EQ(GetThreadPriority(g_soundOptions.threadHandle), THREAD_PRIORITY_TIME_CRITICAL);
    }
    ASSERT_EQ(EndSoundSystem(), 0);
    EXPECT_EQ(g_soundOptions.threadHandle, nullptr);
    if (processors > 1) {
      EXPECT_EQ(g_soundOptions.threadStop.load(), 2);
    }
  }
  // A refused thread leaves the system started without one.
  g_runtime.processor.processorCount = 2;
  testing_door::FailThreadCreation(1);
  ASSERT_EQ(InitSoundSystem(), 0);
  EXPECT_EQ(g_soundOptions.threadHandle, nullptr);
}

TEST_F(SoundSystemTest, AFailedStartLeavesEverySoundCallRefusing) {
  for (int fault = 0; fault < 2; ++fault) {
    if (fault == 0)
      testing_door::FailSoundDevice(true);
    else
      testing_door::RefuseComClass(CLSID_DirectSound, true);
    ASSERT_EQ(InitSoundSystem(), -1);
    EXPECT_EQ(g_soundOptions.directSound, nullptr);
    EXPECT_EQ(g_soundOptions.lockCreated, 0);  // The lock does not leak.

    const int forged = 0x10000000;  // What the first handle would be.
    SoundBufferEntry absent{};
    DSBUFFERDESC description{};
    WAVEFORMATEX format = PcmFormat(44100, 2, 16);
    description = BufferDescription(&format, 400);
    EXPECT_EQ(AddSoundData(-1), -1);
    EXPECT_EQ(GetSoundTotalSample(forged), -1);
    EXPECT_EQ(GetSoundTotalTime(forged), -1);
    EXPECT_EQ(CheckSoundHandle(forged), -1);
    EXPECT_EQ(DeleteSoundHandle(forged), -1);
    EXPECT_EQ(DeleteAllSoundHandles(0), -1);
    EXPECT_EQ(UpdateStreamSounds(), -1);
    EXPECT_EQ(UpdateSoftSoundPlayers(), -1);
    EXPECT_EQ(UpdateMidiPlayState(), -1);
    EXPECT_EQ(EndSoundCapture(), -1);
    EXPECT_EQ(EndSoundSystem(), -1);
    EXPECT_EQ(SndBufCreate(&absent, &description), -1);
    testing_door::FailSoundDevice(false);
    testing_door::RefuseComClass(CLSID_DirectSound, false);
  }
  // The program goes on, and a later start works.
  EXPECT_EQ(InitSoundSystem(), 0);
}

TEST_F(SoundSystemTest, ARefusedSilentBufferIsLoggedAndStartGoesOn) {
  testing_door::RefuseSoundBuffers(1);
  ASSERT_EQ(InitSoundSystem(), 0);
  EXPECT_EQ(g_soundHandles.silentBuffer, nullptr);
  EXPECT_NE(g_soundOptions.primaryBuffer, nullptr);
}

TEST_F(SoundSystemTest, StartAndEndWriteTheirLogLinesInOrder) {
  LogCapture log;
  ASSERT_EQ(InitSoundSystem(), 0);
  EXPECT_TRUE(log.HasInOrder({
      "DirectSound の初期化を行います",
      "DirectSound インターフェースの取得を行います....  成功",
      "引き続きインターフェースの初期化処理...  成功",
      "DirectSound デバイスを列挙します",
      "モジュール名:               ",  // The primary driver has an empty module name.
      "ドライバ記述:Primary Sound Driver",
      "最大サンプリングレート:200.00KHz 最小サンプリングレート:0.10KHz",
      "総サウンドメモリ領域:0.00KB 空きサウンドメモリ領域:0.00KB",
      "利用可能サンプリング精度",
      " プライマリ １６bit = OK  ８bit = OK",
      " セカンダリ １６bit = OK  ８bit = OK",
      "利用可能チャンネル",
      " プライマリ MONO = OK  STEREO = OK",
      " セカンダリ MONO = OK  STEREO = OK",
      "DirectSound の初期化は正常に終了しました",
  }));
  ASSERT_EQ(EndSoundSystem(), 0);
  EXPECT_TRUE(
      log.HasInOrder({"DirectSound の初期化は正常に終了しました", "DirectSound の終了処理は正常に終了しました"}));

  testing_door::FailSoundDevice(true);
  ASSERT_EQ(InitSoundSystem(), -1);
  EXPECT_TRUE(log.HasInOrder(
      {"DirectSound の終了処理は正常に終了しました", "引き続きインターフェースの初期化処理...  初期化に失敗しました"}));
  testing_door::FailSoundDevice(false);

  // The DirectMusic back end finds no loader and goes on with DirectSound.
  g_soundHandles.backEnd = 1;
  ASSERT_EQ(InitSoundSystem(), 0);
  EXPECT_EQ(g_soundHandles.backEnd, 0);
  ASSERT_EQ(EndSoundSystem(), 0);
  EXPECT_TRUE(log.HasInOrder({"DirectSound8 の初期化を行います", "DirectMusicLoader8 オブジェクトの作成に失敗しました",
                              "前バージョンでの初期化処理に移ります", "DirectSound の初期化を行います",
                              "DirectSound の初期化は正常に終了しました"}));

  testing_door::HideModule("DSOUND.DLL", true);  // Only the device list goes.
  ASSERT_EQ(InitSoundSystem(), 0);
  testing_door::HideModule("DSOUND.DLL", false);
  EXPECT_TRUE(log.HasInOrder({"初期化に失敗しました", "DSOUND.DLL のロードに失敗しました", "最大サンプリングレート",
                              "DirectSound の初期化は正常に終了しました"}));
}

TEST_F(SoundSystemTest, HandlesCarryKindSlotAndCheckAndStaleOnesAreRefused) {
  ASSERT_EQ(InitSoundSystem(), 0);
  g_soundHandles.nextCheck = 0;  // Other tests of this program made handles before.
  const int first = AddSoundData(-1);
  EXPECT_EQ(first, 0x10000000);  // Slot 0, check 0, kind 2.
  const int second = AddSoundData(-1);
  EXPECT_EQ(second, 0x10010001);  // Slot 1, check 1.
  EXPECT_EQ(GetSoundTotalSample(first), 0);

  for (int refused : {-1, -2, 0x08000000, 0x10008000, 0x10000005, 0x10010000}) {
    EXPECT_EQ(GetSoundTotalSample(refused), -1) << std::hex << refused;
    EXPECT_EQ(DeleteSoundHandle(refused), -1) << std::hex << refused;
  }

  ASSERT_EQ(DeleteSoundHandle(second), 0);
  const int reused = AddSoundData(-1);
  EXPECT_EQ(reused & 0xFFFF, 1);
  EXPECT_EQ(GetSoundTotalSample(second), -1);  // Same slot, other check value.
  EXPECT_EQ(GetSoundTotalSample(reused), 0);

  // The check value wraps after 2,047: the 2,049th handle made in a row has check 0 again.
  int last = reused;
  for (int made = 4; made <= 2049; ++made) {
    ASSERT_EQ(DeleteSoundHandle(last), 0);
    last = AddSoundData(-1);
    ASSERT_NE(last, -1);
  }
  EXPECT_EQ((last >> 16) & 0x7FF, 0);
  EXPECT_EQ(last, 0x10000001);
}

TEST_F(SoundSystemTest, SlotsComeFromTheHighWaterMarkUntilTheTableIsFull) {
  ASSERT_EQ(InitSoundSystem(), 0);
  std::vector<int> handles;
  for (int i = 0; i < 3; ++i) handles.push_back(AddSoundData(-1));
  ASSERT_EQ(DeleteSoundHandle(handles[2]), 0);  // The highest: its slot comes back next.
  handles[2] = AddSoundData(-1);
  EXPECT_EQ(handles[2] & 0xFFFF, 2);
  ASSERT_EQ(DeleteSoundHandle(handles[1]), 0);  // A middle one: new sounds go on above.
  EXPECT_EQ(AddSoundData(-1) & 0xFFFF, 3);
  EXPECT_EQ(g_soundHandles.highWaterMark, 4);

  LogCapture log;
  while (g_soundHandles.usedCount < kSoundTableSize) ASSERT_NE(AddSoundData(-1), -1);
  EXPECT_EQ(AddSoundData(-1), -1);
  EXPECT_TRUE(log.HasInOrder({"サウンドの数が許容量を越えました"}));
  ASSERT_EQ(DeleteSoundHandle(handles[0]), 0);
  EXPECT_EQ(AddSoundData(-1) & 0xFFFF, 0);  // Full mark: the first free slot.
  ASSERT_EQ(DeleteAllSoundHandles(0), 0);
  EXPECT_EQ(g_soundHandles.usedCount, 0);
  EXPECT_EQ(g_soundHandles.highWaterMark, 0);
}

TEST_F(SoundSystemTest, LengthsInFramesAndMilliseconds) {
  ASSERT_EQ(InitSoundSystem(), 0);
  const int whole = AddSoundData(-1);
  SoundRecord* record = GetSoundRecord(whole);
  record->format = PcmFormat(44100, 2, 16);
  record->dataSize = 176400;
  EXPECT_EQ(GetSoundTotalSample(whole), 44100);
  EXPECT_EQ(GetSoundTotalTime(whole), 1000);

  const int stream = AddSoundData(-1);
  record = GetSoundRecord(stream);
  record->streamFlag = 1;
  record->format = PcmFormat(22050, 1, 16);
  record->stream.totalFrames = 33075;
  EXPECT_EQ(GetSoundTotalSample(stream), 33075);
  EXPECT_EQ(GetSoundTotalTime(stream), 1500);
}

TEST_F(SoundSystemTest, BuffersOfOneSoundPlayTogetherAndShareTheirPcm) {
  ASSERT_EQ(InitSoundSystem(), 0);
  std::vector<int16_t> tone = Sine(440.0, 44100, 44100, 8000.0);
  const int handle = MakeSound(tone, PcmFormat(44100, 1, 16), 3);
  ASSERT_NE(handle, -1);
  SoundRecord* record = GetSoundRecord(handle);
  EXPECT_EQ(CheckSoundHandle(handle), 0);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(SndBufPlay(&record->buffers[i], 0), 0);
  EXPECT_EQ(CheckSoundHandle(handle), 1);
  std::vector<int> left = Channel(testing_door::MixSoundFrames(44100), 0);
  EXPECT_NEAR(UpwardCrossings(left), 440, 1);
  EXPECT_NEAR(Peak(left), 24000, 100);  // Three copies at once.
  EXPECT_EQ(CheckSoundHandle(handle), 0);

  // A second record sharing the PCM block keeps it when the first is deleted.
  const int sharer = AddSoundData(-1);
  SoundRecord* shared = GetSoundRecord(sharer);
  shared->pcm = record->pcm;
  shared->pcmReferenceCount = record->pcmReferenceCount;
  shared->dataSize = record->dataSize;
  ++*record->pcmReferenceCount;
  ASSERT_EQ(DeleteSoundHandle(handle), 0);
  EXPECT_EQ(*shared->pcmReferenceCount, 1);
  EXPECT_EQ(CompareBytes(shared->pcm, tone.data(), shared->dataSize), 0);
  EXPECT_EQ(CheckSoundHandle(handle), -1);
  ASSERT_EQ(DeleteSoundHandle(sharer), 0);  // Frees the block (the leak check sees the rest).
}

int g_closeCallbacks = 0;

TEST_F(SoundSystemTest, AStreamSoundOthersPlayThroughStaysUntilItsLastReferrerGoes) {
  ASSERT_EQ(InitSoundSystem(), 0);
  const int owner = AddSoundData(-1);
  const int user = AddSoundData(-1);
  SoundRecord* ownerRecord = GetSoundRecord(owner);
  SoundRecord* userRecord = GetSoundRecord(user);
  for (SoundRecord* record : {ownerRecord, userRecord}) {
    record->streamFlag = 1;
    LinkHandleChain(&g_soundOptions.streamChainHead, &record->stream.chainNode, owner, record);
  }
  ownerRecord->stream.referrerCount = 1;
  userRecord->stream.referredHandle = owner;
  // The owner's one entry reads a memory stream of its own and has a close callback.
  static const uint8_t image[16] = {};
  StreamSoundEntry& entry = ownerRecord->stream.entries[0];
  entry.streamFunctions = *GetMemoryStreamFuncs();
  entry.stream = reinterpret_cast<StreamHandle>(OpenMemoryStream(image, sizeof(image)));
  entry.dataBlock = ZV_ALLOC(64);
  entry.closeCallback = [](StreamHandle) {
    ++g_closeCallbacks;
    return 0;
  };
  ownerRecord->stream.entryOwnsStream[0] = 1;
  ownerRecord->stream.entryCount = 1;

  ASSERT_EQ(DeleteSoundHandle(owner), 0);
  ASSERT_EQ(GetSoundRecord(owner), ownerRecord);  // Only marked.
  EXPECT_EQ(ownerRecord->stream.deletePending, 1);
  EXPECT_EQ(g_closeCallbacks, 0);

  ASSERT_EQ(DeleteSoundHandle(user), 0);
  EXPECT_EQ(GetSoundRecord(owner), nullptr);
  EXPECT_EQ(GetSoundRecord(user), nullptr);
  EXPECT_EQ(g_closeCallbacks, 1);
  EXPECT_EQ(g_soundOptions.streamChainHead.next, &g_soundOptions.streamChainTail);
  EXPECT_EQ(g_soundHandles.usedCount, 0);
}

TEST_F(SoundSystemTest, SoftwareBuffersLockVolumeAndPanAsTheirDataModelSays) {
  g_softwareSoundBuffers = 1;
  WAVEFORMATEX format = PcmFormat(44100, 2, 16);
  DSBUFFERDESC description = BufferDescription(&format, 4000);
  SoundBufferEntry entry{};
  ASSERT_EQ(SndBufCreate(&entry, &description), 0);
  EXPECT_EQ(SndBufCreate(&entry, &description), -1);  // Already made.
  EXPECT_EQ(entry.length, 1000);
  EXPECT_EQ(entry.volume, 255);
  EXPECT_EQ(entry.frequency, -1);

  void* first = nullptr;
  void* second = nullptr;
  int firstSize = 0;
  int secondSize = 0;
  ASSERT_EQ(SndBufLock(3600, &entry, 1000, &first, &firstSize, &second, &secondSize), 0);
  EXPECT_EQ(first, entry.pcm + 3600);
  EXPECT_EQ(firstSize, 400);
  EXPECT_EQ(second, entry.pcm);
  EXPECT_EQ(secondSize, 600);
  ASSERT_EQ(SndBufLock(0, &entry, 4000, &first, &firstSize, &second, &secondSize), 0);
  EXPECT_EQ(firstSize, 4000);
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(secondSize, 0);
  for (int refusedBytes : {4001, 0, -4})
    EXPECT_EQ(SndBufLock(0, &entry, refusedBytes, &first, &firstSize, &second, &secondSize), -1);
  EXPECT_EQ(SndBufLock(3998, &entry, 4001, &first, &firstSize, &second, &secondSize), -1);
  EXPECT_EQ(SndBufLock(4000, &entry, 4, &first, &firstSize, &second, &secondSize), -1);

  struct Level {
    int hundredths;
    int volume;
    int pan;
  };
  for (Level level :
       {Level{-10000, 0, -256}, Level{-1000, 25, -230}, Level{-600, 64, -191}, Level{0, 256, 0}, Level{-1, 255, 0}}) {
    ASSERT_EQ(SndBufSetVolume(&entry, level.hundredths), 0);
    EXPECT_EQ(entry.volume, level.volume) << level.hundredths;
    ASSERT_EQ(SndBufSetPan(level.hundredths, &entry), 0);
    EXPECT_EQ(entry.pan, level.pan) << level.hundredths;
    ASSERT_EQ(SndBufSetPan(-level.hundredths, &entry), 0);
    EXPECT_EQ(entry.pan, -level.pan) << -level.hundredths;
  }

  // A duplicate starts with its source's samples.
  for (int i = 0; i < 4000; ++i) entry.pcm[i] = static_cast<uint8_t>(i * 7);
  SoundBufferEntry copy{};
  ASSERT_EQ(SndBufDuplicate(&copy, &entry), 0);
  EXPECT_EQ(CompareBytes(copy.pcm, entry.pcm, 4000), 0);
  ASSERT_EQ(SndBufSetPosition(400, &copy), 0);
  int position = 0;
  ASSERT_EQ(SndBufGetPlayPosition(&copy, &position), 0);
  EXPECT_EQ(position, 400);
  ASSERT_EQ(SndBufPlay(&copy, 1), 0);
  DWORD status = 0;
  ASSERT_EQ(SndBufGetStatus(&copy, &status), 0);
  EXPECT_EQ(status, DSBSTATUS_PLAYING);
  ASSERT_EQ(SndBufSetFrequency(&copy, 0), 0);
  EXPECT_EQ(copy.frequency, -1);
  ASSERT_EQ(SndBufRelease(&copy), 0);
  ASSERT_EQ(SndBufRelease(&entry), 0);
  EXPECT_EQ(entry.pcm, nullptr);
}

TEST_F(SoundSystemTest, EveryOperationRefusesAnAbsentEntryOnBothBackEnds) {
  ASSERT_EQ(InitSoundSystem(), 0);
  for (int software : {0, 1}) {
    g_softwareSoundBuffers = software;
    SoundBufferEntry absent{};
    SoundBufferEntry source{};
    void* part = nullptr;
    int size = 0;
    DWORD status = 0;
    EXPECT_EQ(SndBufDuplicate(&absent, &source), -1);
    EXPECT_EQ(SndBufRelease(&absent), -1);
    EXPECT_EQ(SndBufPlay(&absent, 0), -1);
    EXPECT_EQ(SndBufStop(&absent), -1);
    EXPECT_EQ(SndBufGetStatus(&absent, &status), -1);
    EXPECT_EQ(SndBufLock(0, &absent, 4, &part, &size, &part, &size), -1);
    EXPECT_EQ(SndBufUnlock(&absent, nullptr, 0, nullptr, 0), -1);
    EXPECT_EQ(SndBufSetFrequency(&absent, 0), -1);
    EXPECT_EQ(SndBufSetPan(0, &absent), -1);
    EXPECT_EQ(SndBufSetVolume(&absent, 0), -1);
    EXPECT_EQ(SndBufSetPosition(0, &absent), -1);
    EXPECT_EQ(SndBufGetPlayPosition(&absent, &size), -1);
  }
}

TEST_F(SoundSystemTest, DirectSoundBuffersKeepTheirSettingsThroughTheEntry) {
  ASSERT_EQ(InitSoundSystem(), 0);
  std::vector<int16_t> constant(2000, 10000);
  const int handle = MakeSound(constant, PcmFormat(44100, 2, 16), 1);
  SoundBufferEntry& entry = GetSoundRecord(handle)->buffers[0];
  ASSERT_EQ(SndBufSetVolume(&entry, -600), 0);
  ASSERT_EQ(SndBufSetPan(-10000, &entry), 0);
  ASSERT_EQ(SndBufSetPosition(400, &entry), 0);
  ASSERT_EQ(SndBufPlay(&entry, 0), 0);
  std::vector<int16_t> mix = testing_door::MixSoundFrames(1000);
  EXPECT_NEAR(Peak(Channel(mix, 0, 0, 900)), 5012, 2);
  EXPECT_EQ(Peak(Channel(mix, 1)), 0);
  EXPECT_EQ(Peak(Channel(mix, 0, 900)), 0);  // 1,000 frames from frame 100: 900 left.
  DWORD status = 1;
  ASSERT_EQ(SndBufGetStatus(&entry, &status), 0);
  EXPECT_EQ(status, 0u);
  int position = -1;
  ASSERT_EQ(SndBufGetPlayPosition(&entry, &position), 0);
  EXPECT_EQ(position, 0);
}

TEST_F(SoundSystemTest, EndingACaptureWritesTheWaveHeader) {
  ASSERT_EQ(InitSoundSystem(), 0);
  EXPECT_EQ(EndSoundCapture(), -1);  // None active: no file.
  char directory[MAX_PATH];
  char path[MAX_PATH];
  ASSERT_GT(GetTempPathA(sizeof(directory), directory), 0u);
  ASSERT_NE(GetTempFileNameA(directory, "cap", 0, path), 0u);
  HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  std::vector<uint8_t> body(46 + 40, 0xAB);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, body.data(), static_cast<DWORD>(body.size()), &written, nullptr));
  g_soundOptions.captureActive = 1;
  g_soundOptions.captureFrames = 10;
  g_soundOptions.captureFile = file;
  ASSERT_EQ(EndSoundCapture(), 0);
  EXPECT_EQ(g_soundOptions.captureActive, 0);

  file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  uint8_t header[46];
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(file, header, sizeof(header), &read, nullptr));
  CloseHandle(file);
  DeleteFileA(path);
  const uint8_t expected[46] = {'R', 'I', 'F', 'F', 78, 0, 0,   0,   'W',  'A',  'V', 'E', 'f',  'm',  't', ' ',
                                18,  0,   0,   0,   1,  0, 2,   0,   0x44, 0xAC, 0,   0,   0x10, 0xB1, 2,   0,
                                4,   0,   16,  0,   0,  0, 'd', 'a', 't',  'a',  40,  0,   0,    0};
  EXPECT_EQ(std::vector<uint8_t>(header, header + 46), std::vector<uint8_t>(expected, expected + 46));
}

// The game's row sound as the mixer hears it: every removed row plays it, and up to four rows go
// in one frame, so four copies start in step. The shipped asset must leave room for that.
TEST_F(SoundSystemTest, FourOfTheShippedRowSoundsAtOnceStayBelowFullScale) {
  ASSERT_EQ(InitSoundSystem(), 0);

  std::ifstream in(std::string(ZYVEL_SOURCE_DIR) + "/assets/pylonrush12.mp3", std::ios::binary);
  const std::vector<char> file{std::istreambuf_iterator<char>(in), {}};
  const int handle = LoadSoundFromMemoryImage(file.data(), static_cast<int>(file.size()), 4, -1);
  ASSERT_NE(handle, -1);
  SoundRecord* record = GetSoundRecord(handle);
  for (int i = 0; i < 4; ++i) ASSERT_EQ(SndBufPlay(&record->buffers[i], 0), 0);
  const int frames = GetSoundTotalSample(handle);
  ASSERT_GT(frames, 0);
  const std::vector<int16_t> mix = testing_door::MixSoundFrames(frames + 4410);
  for (int channel : {0, 1}) {
    // A sample the mixer had to clip reads 32767 or -32768.
    const int peak = Peak(Channel(mix, channel));
    EXPECT_LT(peak, 32767) << "channel " << channel;
    // Still a chime, not a whisper: each copy peaks above -20 dBFS.
    EXPECT_GT(peak, 4 * 3277) << "channel " << channel;
  }
}

}  // namespace
