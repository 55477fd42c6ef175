// The sound system the stateful sound targets play through: started once per process on the dummy
// driver, mixed by hand so a run decides when the mixer moves.
#pragma once

#include <cstdlib>

#include "platform/testing.h"
#include "zyvel/sound.h"

inline void StartSoundOnce() {
  static const bool started = [] {
    platform::testing::UseSoundDriver("dummy");
    platform::testing::UseManualSoundMixing(true);
    if (InitSoundSystem() != 0) std::abort();
    return true;
  }();
  (void)started;
}
