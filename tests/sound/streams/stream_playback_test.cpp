// Stream sounds heard through the DirectSound stand-in's manual mix: every output frame is
// compared with the counter pattern the sound holds, across many laps of the one-second ring,
// with refills from the sound thread or, on one processor, from the per-frame service.
#include <atomic>
#include <thread>

#include "stream_sound_support.h"

using namespace stream_test;

namespace {

class StreamPlaybackTest : public StreamSoundFixture {};

bool InStretch(int cursor, int from, int to) {
  if (from <= to) return cursor >= from && cursor < to;
  return cursor >= from || cursor < to;
}

// Waits until the sound thread has no refill due for the sound (or it no longer plays), which
// leaves at least three quarters of a second buffered ahead of the cursor.
void WaitForSoundThread(int handle) {
  for (int polls = 0; polls < 10000; ++polls) {
    bool due = false;
    LockSound();
    if (SoundRecord* record = GetSoundRecord(handle)) {
      int cursor = 0;
      SndBufGetPlayPosition(&record->buffers[0], &cursor);
      due = record->stream.playing && InStretch(cursor, record->stream.refillMark, record->stream.writePosition);
    }
    UnlockSound();
    if (!due) return;
    Sleep(2);
  }
  ADD_FAILURE() << "the sound thread did not refill";
}

TEST_F(StreamPlaybackTest, A200SecondWaveLoadedWholeBecomesAStreamAndPlaysSampleExact) {
  StartSoundSystem(1);
  const int64_t frames = 200LL * kRate + 1234;  // The end falls inside a lap.
  int handle = -1;
  {
    const std::vector<uint8_t> image = CounterWave(frames, 1);
    handle = LoadSoundFromMemoryImage(image.data(), static_cast<int>(image.size()), 3, -1);
  }
  ASSERT_NE(handle, -1);
  EXPECT_EQ(GetSoundRecord(handle)->streamFlag, 1);
  EXPECT_EQ(GetSoundLoadMode(), 0);
  EXPECT_EQ(GetSoundTotalSample(handle), frames);

  ASSERT_EQ(PlaySoundHandle(handle, 1, 1), 0);
  const ExpectedOutput expected({{1, frames}}, false);
  int64_t clock = 0;
  ASSERT_TRUE(MixAndCompare(frames, expected, clock));
  EXPECT_EQ(GetSoundHandlePosition(handle), GetSoundTotalTime(handle));
  ASSERT_TRUE(RunOutWithinOneLap(handle, expected, clock));
  EXPECT_TRUE(MixAndCompare(kBlockFrames, expected, clock));
}

// Sound files: one longer than 180 s becomes a stream sound; load modes 2 and 3 stream any file,
// keeping its image in memory or reading the file while it plays.
TEST_F(StreamPlaybackTest, SoundFilesStreamByLengthOrLoadMode) {
  StartSoundSystem(1);
  const int64_t longFrames = 181LL * kRate + 500;
  const std::string longPath = WriteFile("long.wav", CounterWave(longFrames, 7));
  ASSERT_FALSE(longPath.empty());
  const int longSound = LoadSoundFile(longPath.c_str(), 3, -1);
  ASSERT_NE(longSound, -1);
  EXPECT_EQ(GetSoundRecord(longSound)->streamFlag, 1);
  EXPECT_EQ(GetSoundTotalSample(longSound), longFrames);
  EXPECT_EQ(GetSoundLoadMode(), 0);
  ASSERT_EQ(PlaySoundHandle(longSound, 1, 1), 0);
  int64_t clock = 0;
  ASSERT_TRUE(MixAndCompare(5 * kRate, ExpectedOutput({{7, longFrames}}, false), clock));
  EXPECT_EQ(GetSoundHandlePosition(longSound), 5000);
  EXPECT_EQ(DeleteSoundHandle(longSound), 0);

  const int64_t frames = 2 * kRate + 321;
  const std::string path = WriteFile("short.wav", CounterWave(frames, 6));
  const ExpectedOutput expected({{6, frames}}, false);
  for (unsigned mode : {2u, 3u}) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(SetSoundLoadMode(mode), 0);
    const int handle = LoadSoundFile(path.c_str(), 1, -1);
    ASSERT_NE(handle, -1);
    EXPECT_EQ(GetSoundRecord(handle)->streamFlag, 1);
    EXPECT_EQ(StreamOf(handle).entries[0].kind, static_cast<int>(mode));
    ASSERT_EQ(PlaySoundHandle(handle, 1, 1), 0);
    clock = 0;
    ASSERT_TRUE(MixAndCompare(frames, expected, clock));
    ASSERT_TRUE(RunOutWithinOneLap(handle, expected, clock));
    EXPECT_EQ(DeleteSoundHandle(handle), 0);
  }
  const std::string missing = path.substr(0, path.size() - 9) + "missing.wav";
  EXPECT_EQ(LoadSoundFile(missing.c_str(), 1, -1), -1);
  EXPECT_NE(LogText().find("右記のＷＡＶファイルのロードに失敗しました"), std::string::npos);
  EXPECT_EQ(g_soundHandles.usedCount, 0);
  ASSERT_EQ(SetSoundLoadMode(0), 0);
}

TEST_F(StreamPlaybackTest, TheSoundThreadKeepsAStreamSampleExact) {
  StartSoundSystem(2);
  ASSERT_NE(g_soundOptions.threadHandle, nullptr);
  const int64_t frames = 6LL * kRate + 777;
  const int handle = StreamSoundOf(CounterWave(frames, 2));
  ASSERT_NE(handle, -1);
  ASSERT_EQ(PlaySoundHandle(handle, 1, 1), 0);
  const ExpectedOutput expected({{2, frames}}, false);
  int64_t clock = 0;
  const auto refill = [handle] { WaitForSoundThread(handle); };
  ASSERT_TRUE(MixAndCompare(frames, expected, clock, refill));
  ASSERT_TRUE(RunOutWithinOneLap(handle, expected, clock, refill));
}

// Play type 0 returns once the sound has ended; meanwhile the sound thread refills and another
// thread mixes, as the device would.
TEST_F(StreamPlaybackTest, PlayTypeZeroWaitsForTheEnd) {
  StartSoundSystem(2);
  const int64_t frames = kRate + 3000;
  const int handle = StreamSoundOf(CounterWave(frames, 5));
  ASSERT_NE(handle, -1);
  std::atomic<bool> returned{false};
  std::vector<int16_t> heard;
  std::thread device([&] {
    while (!returned && CheckSoundHandle(handle) != 1) Sleep(1);  // Mixing starts with the play.
    while (!returned) {
      WaitForSoundThread(handle);
      const std::vector<int16_t> mix = testing_door::MixSoundFrames(kBlockFrames);
      heard.insert(heard.end(), mix.begin(), mix.end());
    }
  });
  EXPECT_EQ(PlaySoundHandle(handle, 0, 1), 0);
  returned = true;
  device.join();
  EXPECT_EQ(CheckSoundHandle(handle), 0);
  const ExpectedOutput expected({{5, frames}}, false);
  ASSERT_GE(heard.size() / 2, static_cast<size_t>(frames));
  for (size_t frame = 0; frame < heard.size() / 2; ++frame) {
    ASSERT_EQ(Frame({heard[2 * frame], heard[2 * frame + 1]}), expected.At(static_cast<int64_t>(frame))) << frame;
  }
}

// The data end near the top of the ring and the next round comes only after the cursor has
// wrapped past the end: the sound must stop then, not after further laps of silence.
TEST_F(StreamPlaybackTest, TheEndIsSeenWhenTheCursorHasWrappedPastIt) {
  StartSoundSystem(1);
  const int length = 176400;
  const int64_t frames = (length + 170000) / kBytesPerFrame;
  const int handle = StreamSoundOf(CounterWave(frames, 3));
  ASSERT_NE(handle, -1);
  ASSERT_EQ(PlaySoundHandle(handle, 1, 1), 0);
  const ExpectedOutput expected({{3, frames}}, false);
  int64_t clock = 0;
  StreamSoundPart& stream = StreamOf(handle);
  while (!stream.stopping) ASSERT_TRUE(MixAndCompare(441, expected, clock));
  ASSERT_EQ(stream.endWritePosition, 170000);
  ASSERT_LT(stream.endValue, stream.endWritePosition);
  // Rounds go on writing silence until it reaches over the top of the ring.
  while (stream.writePosition >= stream.endWritePosition) ASSERT_TRUE(MixAndCompare(441, expected, clock));

  // One move of the cursor over the rest of the data and the silence, with no round between.
  int cursor = 0;
  ASSERT_EQ(SndBufGetPlayPosition(&GetSoundRecord(handle)->buffers[0], &cursor), 0);
  const int rest = (stream.writePosition - cursor + length) % length / kBytesPerFrame;
  ASSERT_TRUE(MixAndCompare(rest, expected, clock, nullptr, rest));
  ASSERT_LT(clock, frames + kRate);
  EXPECT_EQ(GetSoundHandlePosition(handle), GetSoundTotalTime(handle));
  UpdateStreamSounds();
  EXPECT_EQ(CheckSoundHandle(handle), 0);
  EXPECT_EQ(StreamOf(handle).playing, 0);
  EXPECT_TRUE(MixAndCompare(kBlockFrames, expected, clock));
}

TEST_F(StreamPlaybackTest, StopHoldsThePositionAndPlayResumesOrStartsOver) {
  StartSoundSystem(1);
  const int64_t frames = 3LL * kRate;
  const int handle = StreamSoundOf(CounterWave(frames, 4));
  ASSERT_NE(handle, -1);
  const ExpectedOutput sound({{4, frames}}, false);
  const ExpectedOutput silence({}, false);
  ASSERT_EQ(PlaySoundHandle(handle, 1, 1), 0);
  int64_t clock = 0;
  ASSERT_TRUE(MixAndCompare(57330, sound, clock));  // 1.3 s
  EXPECT_EQ(GetSoundHandlePosition(handle), 1300);

  EXPECT_EQ(StopSoundHandle(handle), 0);
  EXPECT_EQ(CheckSoundHandle(handle), 0);
  int64_t silentClock = 0;
  ASSERT_TRUE(MixAndCompare(kRate / 2, silence, silentClock));
  EXPECT_EQ(GetSoundHandlePosition(handle), 1300);

  ASSERT_EQ(PlaySoundHandle(handle, 1, 0), 0);  // Resumes at frame 57,330.
  ASSERT_TRUE(MixAndCompare(kRate / 2, sound, clock));
  EXPECT_EQ(GetSoundHandlePosition(handle), 1800);
  EXPECT_EQ(PlaySoundHandle(handle, 1, 0), -1);  // Already playing: refused, and it plays on.
  EXPECT_EQ(CheckSoundHandle(handle), 1);
  ASSERT_TRUE(MixAndCompare(kBlockFrames, sound, clock));

  ASSERT_EQ(PlaySoundHandle(handle, 1, 1), 0);
  clock = 0;
  ASSERT_TRUE(MixAndCompare(kRate, sound, clock));
  EXPECT_EQ(GetSoundHandlePosition(handle), 1000);
}

// A sound that has played all its data starts over when played again, also as a loop while it
// is still running out its silence.
TEST_F(StreamPlaybackTest, ASoundThatHasEndedStartsOver) {
  StartSoundSystem(1);
  const int64_t frames = 20011;
  const int handle = StreamSoundOf(CounterWave(frames, 3));
  ASSERT_NE(handle, -1);
  const ExpectedOutput once({{3, frames}}, false);
  const ExpectedOutput looped({{3, frames}}, true);
  ASSERT_EQ(PlaySoundHandle(handle, 1, 1), 0);
  int64_t clock = 0;
  ASSERT_TRUE(MixAndCompare(frames, once, clock));
  ASSERT_TRUE(RunOutWithinOneLap(handle, once, clock));

  ASSERT_EQ(PlaySoundHandle(handle, 1, 0), 0);  // Ended: plays again from its start.
  clock = 0;
  while (!StreamOf(handle).stopping) ASSERT_TRUE(MixAndCompare(441, once, clock));
  ASSERT_LT(clock, frames);
  EXPECT_EQ(StopSoundHandle(handle), 0);
  ASSERT_EQ(PlaySoundHandle(handle, 3, 0), 0);  // Now looping: from the start.
  clock = 0;
  ASSERT_TRUE(MixAndCompare(5 * frames, looped, clock));
  EXPECT_EQ(CheckSoundHandle(handle), 1);
}

// Entries play in order, each pass from its first frame; play type 3 starts over at the first
// entry; an endless entry repeats under any play type. Loops shorter than the refill lead too.
TEST_F(StreamPlaybackTest, EntriesAndLoopsPlayTheRightNumberOfTimes) {
  struct Entry {
    int tag;
    int64_t frames;
    int loopCount;
  };
  struct Case {
    const char* name;
    std::vector<Entry> entries;
    int playType;
    std::vector<Pass> passes;
    bool cycle;
  };
  const std::vector<Case> cases = {
      {"three passes", {{1, 30001, 2}}, 1, {{1, 30001}, {1, 30001}, {1, 30001}}, false},
      {"two entries", {{1, 20000, 1}, {2, 25003, 0}}, 1, {{1, 20000}, {1, 20000}, {2, 25003}}, false},
      {"three entries once", {{1, 9000, 0}, {2, 7001, 0}, {3, 50000, 0}}, 1, {{1, 9000}, {2, 7001}, {3, 50000}}, false},
      {"looping play", {{1, 20000, 0}, {2, 25003, 0}}, 3, {{1, 20000}, {2, 25003}}, true},
      {"looping play with a loop count", {{5, 15000, 2}}, 3, {{5, 15000}, {5, 15000}, {5, 15000}}, true},
      {"endless entry", {{6, 4410, -1}}, 1, {{6, 4410}}, true},
      {"short looping play", {{7, 8821, 0}}, 3, {{7, 8821}}, true},
  };
  StartSoundSystem(1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int handle = AddSoundData(-1);
    ASSERT_NE(handle, -1);
    for (const Entry& entry : c.entries) {
      const std::vector<uint8_t> image = CounterWave(entry.frames, entry.tag);
      ASSERT_EQ(AddStreamSoundMemory(image.data(), static_cast<int>(image.size()), entry.loopCount, handle, 2, -1), 0);
    }
    ASSERT_EQ(PlaySoundHandle(handle, c.playType, 1), 0);
    const ExpectedOutput expected(c.passes, c.cycle);
    int64_t clock = 0;
    if (c.cycle) {
      ASSERT_TRUE(MixAndCompare(std::max<int64_t>(4 * expected.Length(), 3 * kRate), expected, clock));
      // The position starts again at each pass over the end mark; it never exceeds the length.
      const int64_t intoCycle = std::min<int64_t>(clock % expected.Length(), GetSoundTotalSample(handle));
      EXPECT_EQ(GetSoundHandlePosition(handle), intoCycle * 1000 / kRate);
      EXPECT_EQ(CheckSoundHandle(handle), 1);
      EXPECT_EQ(StopSoundHandle(handle), 0);
      EXPECT_EQ(CheckSoundHandle(handle), 0);
    } else {
      ASSERT_TRUE(MixAndCompare(expected.Length(), expected, clock));
      ASSERT_TRUE(RunOutWithinOneLap(handle, expected, clock));
    }
    EXPECT_EQ(DeleteSoundHandle(handle), 0);
  }
}

// Two stream sounds of one format take turns on one buffer: the one that plays takes it, the
// other stops, and each goes on where it was interrupted when it takes the buffer back.
TEST_F(StreamPlaybackTest, TwoStreamSoundsShareOneBuffer) {
  StartSoundSystem(1);
  const int64_t frames = 3LL * kRate + 100;
  const int owner = StreamSoundOf(CounterWave(frames, 1));
  const int sharer = StreamSoundOf(CounterWave(frames, 2), 0, owner);
  ASSERT_NE(owner, -1);
  ASSERT_NE(sharer, -1);
  EXPECT_EQ(StreamOf(sharer).referredHandle, owner);
  EXPECT_EQ(GetSoundRecord(sharer)->buffers[0].exists, 0);
  EXPECT_EQ(StreamOf(owner).referrerCount, 1);
  // Another format cannot share: that sound gets a buffer of its own.
  const std::vector<uint8_t> mono = WaveHeaderAnd(2 * 4410, 1, 16, kRate);
  const int other = StreamSoundOf(mono, 0, owner);
  ASSERT_NE(other, -1);
  EXPECT_EQ(StreamOf(other).referredHandle, -1);
  EXPECT_EQ(GetSoundRecord(other)->buffers[0].exists, 1);
  EXPECT_EQ(StreamOf(owner).referrerCount, 1);
  // Sharing or not, each new stream sound joins the chain at its head.
  std::vector<int> chain;
  for (HandleChainNode* node = g_soundOptions.streamChainHead.next; node != &g_soundOptions.streamChainTail;
       node = node->next)
    chain.push_back(node->handle);
  EXPECT_EQ(chain, (std::vector<int>{other, sharer, owner}));

  const ExpectedOutput ownerSound({{1, frames}}, false);
  const ExpectedOutput sharerSound({{2, frames}}, false);
  int64_t ownerClock = 0;
  int64_t sharerClock = 0;
  ASSERT_EQ(PlaySoundHandle(owner, 1, 1), 0);
  ASSERT_TRUE(MixAndCompare(kRate, ownerSound, ownerClock));

  ASSERT_EQ(PlaySoundHandle(sharer, 1, 1), 0);
  EXPECT_EQ(CheckSoundHandle(owner), 0);
  EXPECT_EQ(CheckSoundHandle(sharer), 1);
  ASSERT_TRUE(MixAndCompare(52920, sharerSound, sharerClock));  // 1.2 s, over the top of the ring
  EXPECT_EQ(GetSoundHandlePosition(sharer), 1200);
  EXPECT_EQ(GetSoundHandlePosition(owner), 1000);

  ASSERT_EQ(PlaySoundHandle(owner, 1, 0), 0);
  EXPECT_EQ(CheckSoundHandle(sharer), 0);
  ASSERT_TRUE(MixAndCompare(kRate / 2, ownerSound, ownerClock));
  EXPECT_EQ(GetSoundHandlePosition(owner), 1500);

  ASSERT_EQ(PlaySoundHandle(sharer, 1, 0), 0);
  EXPECT_EQ(CheckSoundHandle(owner), 0);
  ASSERT_TRUE(MixAndCompare(frames - sharerClock, sharerSound, sharerClock));
  EXPECT_EQ(GetSoundHandlePosition(sharer), GetSoundTotalTime(sharer));
  ASSERT_TRUE(RunOutWithinOneLap(sharer, sharerSound, sharerClock));

  // The owner outlives its deletion while the sharer still plays through its buffer.
  EXPECT_EQ(DeleteSoundHandle(owner), 0);
  ASSERT_NE(GetSoundRecord(owner), nullptr);
  EXPECT_EQ(StreamOf(owner).deletePending, 1);
  EXPECT_EQ(DeleteSoundHandle(sharer), 0);
  EXPECT_EQ(GetSoundRecord(owner), nullptr);
  EXPECT_EQ(DeleteSoundHandle(other), 0);
  EXPECT_EQ(g_soundHandles.usedCount, 0);
  EXPECT_EQ(g_soundOptions.streamChainHead.next, &g_soundOptions.streamChainTail);
}

}  // namespace
