// The simulated vertical blank, paced from the display adapter's refresh rate.
//
// A wait aims at a deadline on the monotonic clock: it sleeps to a little before the blank, then
// yields until the blank itself. A plain sleep to the blank would wake late by however long the
// system takes to run a woken thread, and a frame that starts late can miss the next blank. How
// late the last sleeps woke is carried forward as the lead of the next one, so a machine whose
// sleeps wake late still ends its waits on the blank, while an idle one yields for only a few
// hundred microseconds a frame.
#include "ddraw/vertical_blank.h"

#include <sched.h>

#include <algorithm>
#include <atomic>

#include "d3d9/standin_state.h"
#include "kernel/objects.h"
#include "kernel/state.h"

namespace platform::ddraw {
namespace {

// The lead never falls below what an idle machine needs, nor rises so far that the yielding
// becomes a busy wait of a good part of the frame: a machine busier than that ends its waits a
// little late, which still leaves the frame most of its period before the next blank.
constexpr uint64_t kLeastLeadMicroseconds = 200;
constexpr uint64_t kMostLeadMicroseconds = 1000;
// Room above the lateness seen, for a wake a little later than the last.
constexpr uint64_t kLeadMarginMicroseconds = 100;

// How long before a blank the coarse sleep ends. Shared by every thread that waits for blanks.
std::atomic<uint64_t> g_leadMicroseconds{kLeastLeadMicroseconds};

// A late wake raises the lead at once; an early or punctual one lowers it by a sixteenth of the
// difference, so one unlucky wake does not make every later wait spin long.
void CarryLatenessForward(uint64_t target, uint64_t woke) {
  const uint64_t lateness = woke > target ? woke - target : 0;
  const uint64_t wanted = std::clamp(lateness + kLeadMarginMicroseconds, kLeastLeadMicroseconds, kMostLeadMicroseconds);
  const uint64_t lead = g_leadMicroseconds.load();
  g_leadMicroseconds = wanted >= lead ? wanted : lead - (lead - wanted) / 16;
}

}  // namespace

uint64_t VerticalBlankPeriodMicroseconds() {
  UINT refresh = d3d9::DesktopAdapterMode().refreshRate;
  if (refresh == 0 || refresh > 1000) refresh = 60;
  return 1000000u / refresh;
}

void WaitForNextVerticalBlank() {
  const uint64_t period = VerticalBlankPeriodMicroseconds();
  const uint64_t now = NowMicroseconds();
  const uint64_t blank = (now / period + 1) * period;
  if (State().fakeClock.load() && !DrivesFakeClock()) {
    // The fake clock only moves when told: the wait itself is what moves it.
    State().fakeMicroseconds += blank - now;
    return;
  }
  const uint64_t lead = g_leadMicroseconds.load();
  if (blank - now > lead) {
    const uint64_t target = blank - lead;
    SleepUntilMicroseconds(target);
    CarryLatenessForward(target, NowMicroseconds());
  }
  while (NowMicroseconds() < blank) sched_yield();
}

bool InVerticalBlank() {
  uint64_t period = VerticalBlankPeriodMicroseconds();
  return NowMicroseconds() % period < period / 20;
}

}  // namespace platform::ddraw
