// Soft-sound players over the DirectSound stand-in's manual mixing: what they play, the silence
// and ran-out rules when their queue runs dry, and deleting soft sounds and players.
#include <gtest/gtest.h>

#include <vector>

#include "platform/testing.h"
#include "runtime/runtime_state.h"
#include "runtime/tracked_heap.h"
#include "soft_sound_test_support.h"
#include "sound_system_fixture.h"
#include "window/window_state.h"

using namespace sound_test;
namespace testing_door = platform::testing;

namespace {

class SoftSoundTest : public SoundSystemFixture {
 protected:
  void SetUp() override {
    SoundSystemFixture::SetUp();
    ASSERT_EQ(InitSoundSystem(), 0);
    blocksAtStart_ = GetTrackedBlockCount();
  }

  // The bytes the player's buffer holds now.
  static std::vector<uint8_t> BufferBytes(int handle) {
    SoftSoundRecord* player = GetSoftSoundRecord(handle);
    std::vector<uint8_t> bytes(static_cast<size_t>(player->bufferLength));
    void* first = nullptr;
    void* second = nullptr;
    int firstSize = 0;
    int secondSize = 0;
    if (SndBufLock(0, &player->buffer, player->bufferLength, &first, &firstSize, &second, &secondSize) != 0) return {};
    std::memcpy(bytes.data(), first, static_cast<size_t>(firstSize));
    SndBufUnlock(&player->buffer, first, firstSize, second, secondSize);
    return bytes;
  }

  int blocksAtStart_ = 0;
};

constexpr int kBufferBytes = 4096;  // 2,048 mono 16-bit frames
constexpr int kLeadBytes = 512;
constexpr int kStep = 128;  // Frames mixed between feeds: less than one lead

std::vector<int16_t> Ramp(int frames, int start) {
  std::vector<int16_t> ramp(static_cast<size_t>(frames));
  for (int i = 0; i < frames; ++i) ramp[i] = static_cast<int16_t>(start + 7 * i);
  return ramp;
}

TEST_F(SoftSoundTest, APlayerPlaysItsQueueSampleForSampleThenSilenceAndFlagsTheRunOut) {
  const int handle = CreateTestSoftSoundPlayer(PcmFormat(44100, 1, 16), kBufferBytes, kLeadBytes);
  ASSERT_NE(handle, -1);
  const std::vector<int16_t> ramp = Ramp(3000, -10000);
  ASSERT_TRUE(QueueTestSoftSoundSamples(handle, ramp.data(), 6000));
  SoftSoundRecord* player = GetSoftSoundRecord(handle);

  ASSERT_EQ(UpdateSoftSoundPlayers(), 0);
  EXPECT_EQ(player->writeOffset, 2 * kLeadBytes);  // Two leads ahead of the cursor at 0.
  ASSERT_EQ(SndBufPlay(&player->buffer, 1), 0);

  std::vector<int> played;
  int mixedWhenRanOut = -1;
  for (int mixed = 0; mixed < 4096; mixed += kStep) {
    const std::vector<int> left = Channel(testing_door::MixSoundFrames(kStep), 0);
    played.insert(played.end(), left.begin(), left.end());
    ASSERT_EQ(UpdateSoftSoundPlayers(), 0);
    if (player->ranOut && mixedWhenRanOut < 0) mixedWhenRanOut = mixed + kStep;
    // The cursor never catches up with the written data.
    int cursor = 0;
    ASSERT_EQ(SndBufGetPlayPosition(&player->buffer, &cursor), 0);
    EXPECT_GE((player->writeOffset - cursor + kBufferBytes) % kBufferBytes, kLeadBytes);
  }
  ASSERT_EQ(played.size(), 4096u);
  for (int i = 0; i < 3000; ++i) ASSERT_EQ(played[i], ramp[i]) << "frame " << i;
  for (int i = 3000; i < 4096; ++i) ASSERT_EQ(played[i], 0) << "frame " << i;
  EXPECT_EQ(player->endOffset, 3000 * 2 % kBufferBytes);
  EXPECT_GE(mixedWhenRanOut, 3000);
  EXPECT_LT(mixedWhenRanOut, 3000 + kStep + 1);

  // New samples clear the flag at the first feed that writes, and follow the silence.
  const std::vector<int16_t> more = Ramp(200, 5000);
  ASSERT_TRUE(QueueTestSoftSoundSamples(handle, more.data(), 400));
  played.clear();
  int clearedAt = -1;
  mixedWhenRanOut = -1;
  for (int mixed = 0; mixed < 2048; mixed += kStep) {
    const std::vector<int> left = Channel(testing_door::MixSoundFrames(kStep), 0);
    played.insert(played.end(), left.begin(), left.end());
    ASSERT_EQ(UpdateSoftSoundPlayers(), 0);
    if (!player->ranOut && clearedAt < 0) clearedAt = mixed + kStep;
    if (player->ranOut && clearedAt >= 0 && mixedWhenRanOut < 0) mixedWhenRanOut = mixed + kStep;
  }
  EXPECT_EQ(clearedAt, kLeadBytes / 2);  // The cursor reaches the zone after one lead.
  // The new samples start where the write offset stood, two leads after the cursor.
  const int start = 2 * kLeadBytes / 2;
  for (int i = 0; i < start; ++i) ASSERT_EQ(played[i], 0) << "frame " << i;
  for (int i = 0; i < 200; ++i) ASSERT_EQ(played[start + i], more[i]) << "frame " << i;
  EXPECT_EQ(played[start + 200], 0);
  EXPECT_GE(mixedWhenRanOut, start + 200);
  EXPECT_LT(mixedWhenRanOut, start + 200 + kStep + 1);
}

TEST_F(SoftSoundTest, AnInactivePlayerOrOneWithoutTheCursorNearItsWritesIsLeftAlone) {
  const int handle = CreateTestSoftSoundPlayer(PcmFormat(44100, 1, 16), kBufferBytes, kLeadBytes);
  SoftSoundRecord* player = GetSoftSoundRecord(handle);
  player->active = 0;
  ASSERT_EQ(FeedSoftSoundPlayer(player), 0);
  EXPECT_EQ(player->writeOffset, 0);
  player->active = 1;
  ASSERT_EQ(FeedSoftSoundPlayer(player), 0);
  EXPECT_EQ(player->writeOffset, 2 * kLeadBytes);
  ASSERT_EQ(FeedSoftSoundPlayer(player), 0);  // Cursor still at 0: more than a lead behind.
  EXPECT_EQ(player->writeOffset, 2 * kLeadBytes);
}

TEST_F(SoftSoundTest, SilencePadsEveryFormatOverOldBytes) {
  struct Case {
    WORD bits;
    WORD channels;
    uint8_t silence;
  };
  for (const Case& c : {Case{8, 1, 0x80}, Case{8, 2, 0x80}, Case{16, 2, 0x00}, Case{32, 1, 0x00}}) {
    SCOPED_TRACE(testing::Message() << c.bits << "-bit, " << c.channels << " channels");
    WAVEFORMATEX format = PcmFormat(22050, c.channels, c.bits);
    if (c.bits == 32) format.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
    const int handle = CreateTestSoftSoundPlayer(format, 2400, 600);
    ASSERT_NE(handle, -1);
    SoftSoundRecord* player = GetSoftSoundRecord(handle);
    const std::vector<uint8_t> old(2400, 0x55);
    void* first = nullptr;
    void* second = nullptr;
    int firstSize = 0;
    int secondSize = 0;
    ASSERT_EQ(SndBufLock(0, &player->buffer, 2400, &first, &firstSize, &second, &secondSize), 0);
    std::memcpy(first, old.data(), 2400);
    SndBufUnlock(&player->buffer, first, firstSize, second, secondSize);

    ASSERT_EQ(FeedSoftSoundPlayer(player), 0);
    const std::vector<uint8_t> bytes = BufferBytes(handle);
    ASSERT_EQ(bytes.size(), 2400u);
    for (int i = 0; i < 1200; ++i) ASSERT_EQ(bytes[i], c.silence) << "byte " << i;
    for (int i = 1200; i < 2400; ++i) ASSERT_EQ(bytes[i], 0x55) << "byte " << i;
    EXPECT_EQ(player->endOffset, 0);  // Nothing real was written.
    EXPECT_EQ(DeleteSoftSound(handle, 1), 0);
  }
}

TEST_F(SoftSoundTest, TheTestCreatorRefusesALeadTwoOfWhichDoNotFit) {
  EXPECT_EQ(CreateTestSoftSoundPlayer(PcmFormat(44100, 1, 16), 1000, 501), -1);
  const int handle = CreateTestSoftSoundPlayer(PcmFormat(44100, 1, 16), 1000, 500);
  EXPECT_NE(handle, -1);
}

TEST_F(SoftSoundTest, DeletingChecksTheHandleAndItsKind) {
  const int16_t samples[4] = {1, 2, 3, 4};
  const int sound = CreateTestSoftSound(PcmFormat(44100, 1, 16), samples, 8);
  const int player = CreateTestSoftSoundPlayer(PcmFormat(44100, 1, 16), kBufferBytes, kLeadBytes);
  ASSERT_NE(sound, -1);
  ASSERT_NE(player, -1);
  EXPECT_EQ(DeleteSoftSound(player, 0), -1);
  EXPECT_NE(GetSoftSoundRecord(player), nullptr);
  EXPECT_EQ(DeleteSoftSound(sound, 1), -1);
  EXPECT_EQ(DeleteSoftSound(AddSoundData(-1), 0), -1);  // A sound handle is not a soft sound.
  const int stale = MakeHandleWord(HandleSlotOf(player), (HandleCheckCountOf(player) + 1) % 2048,
                                   HANDLE_KIND_SOFT_SOUND_PLAYER);
  EXPECT_EQ(DeleteSoftSound(stale, 1), -1);
  EXPECT_EQ(DeleteSoftSound(player, 1), 0);
  EXPECT_EQ(DeleteSoftSound(player, 1), -1);
  EXPECT_EQ(g_soundOptions.playerChainHead.next, &g_soundOptions.playerChainTail);
  EXPECT_EQ(DeleteSoftSound(sound, 0), 0);
  EXPECT_EQ(g_softSounds.usedCount, 0);
  EXPECT_EQ(g_softSounds.highWaterMark, 0);
  DeleteAllSoundHandles(0);
  EXPECT_EQ(GetTrackedBlockCount(), blocksAtStart_);
}

TEST_F(SoftSoundTest, DeleteAllEmptiesEachTableAndFreesEverything) {
  const int16_t samples[4] = {1, 2, 3, 4};
  std::vector<int> players;
  std::vector<int> sounds;
  for (int i = 0; i < 3; ++i) {
    sounds.push_back(CreateTestSoftSound(PcmFormat(44100, 1, 16), samples, 8));
    players.push_back(CreateTestSoftSoundPlayer(PcmFormat(44100, 1, 16), kBufferBytes, kLeadBytes));
    ASSERT_TRUE(QueueTestSoftSoundSamples(players.back(), samples, 8));
  }
  ASSERT_EQ(DeleteAllSoftSoundPlayers(), 0);
  for (int handle : players) EXPECT_EQ(GetSoftSoundRecord(handle), nullptr);
  for (int handle : sounds) EXPECT_NE(GetSoftSoundRecord(handle), nullptr);
  EXPECT_EQ(g_softSounds.usedCount, 3);
  ASSERT_EQ(DeleteAllSoftSounds(), 0);
  EXPECT_EQ(g_softSounds.usedCount, 0);
  EXPECT_EQ(g_softSounds.highWaterMark, 0);
  EXPECT_EQ(GetTrackedBlockCount(), blocksAtStart_);

  // Once sound has ended both refuse.
  ASSERT_EQ(EndSoundSystem(), 0);
  EXPECT_EQ(DeleteAllSoftSounds(), -1);
  EXPECT_EQ(DeleteAllSoftSoundPlayers(), -1);
  EXPECT_EQ(UpdateSoftSoundPlayers(), -1);
}

}  // namespace
