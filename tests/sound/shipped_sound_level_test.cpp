// The game's row sound as the mixer hears it: every removed row plays it, and up to four rows go
// in one frame, so four copies start in step. The shipped asset must leave room for that.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/testing.h"
#include "window/window_state.h"
#include "sound/sound_records.h"
#include "sound_test_support.h"

using namespace sound_test;
namespace testing_door = platform::testing;

namespace {

class ShippedSoundLevel : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_door::ResetSoundSwitches();
    testing_door::UseSoundDriver("dummy");
    testing_door::UseManualSoundMixing(true);
    g_windowSystem.processorCount = 1;
  }
  void TearDown() override {
    if (g_soundOptions.directSound) {
      EXPECT_EQ(EndSoundSystem(), 0);
    }
    testing_door::ResetSoundSwitches();
  }
};

TEST_F(ShippedSoundLevel, FourRowSoundsAtOnceStayBelowFullScale) {
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
