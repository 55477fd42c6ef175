// The set-up every test of the sound system shares: the DirectSound stand-in on SDL's dummy
// audio driver, mixed only when a test asks for frames, with one processor (so no sound thread)
// unless a test starts it with more. A test that leaves the sound system running has it ended,
// and the platform's sound switches go back to their defaults for the next test.
#pragma once

#include <gtest/gtest.h>

#include "platform/testing.h"
#include "runtime/runtime_state.h"
#include "sound/sound_records.h"
#include "window/window_state.h"
#include "zyvel/sound.h"

namespace sound_test {

class SoundSystemFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::testing::ResetSoundSwitches();
    platform::testing::UseSoundDriver("dummy");
    platform::testing::UseManualSoundMixing(true);
    g_runtime.processor.processorCount = 1;
  }

  void TearDown() override {
    if (g_soundOptions.directSound) {
      EXPECT_EQ(EndSoundSystem(), 0);
    }
    g_runtime.processor.processorCount = 1;
    platform::testing::ResetSoundSwitches();
  }

  // With more than one processor the sound system runs its own thread.
  static void StartSoundSystem(int processors = 1) {
    g_runtime.processor.processorCount = processors;
    ASSERT_EQ(InitSoundSystem(), 0);
  }
};

}  // namespace sound_test
