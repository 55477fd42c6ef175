// The simulated vertical blank, paced from the display adapter's refresh rate.
#include "ddraw/vertical_blank.h"

#include <chrono>
#include <thread>

#include "d3d9/standin_state.h"
#include "kernel/state.h"

namespace platform {
uint64_t NowMicroseconds();
}

namespace platform::ddraw {

uint64_t VerticalBlankPeriodMicroseconds() {
  UINT refresh = d3d9::DesktopAdapterMode().refreshRate;
  if (refresh == 0 || refresh > 1000) refresh = 60;
  return 1000000u / refresh;
}

void WaitForNextVerticalBlank() {
  uint64_t period = VerticalBlankPeriodMicroseconds();
  uint64_t now = NowMicroseconds();
  uint64_t next = (now / period + 1) * period;
  if (State().fakeClock.load()) {
    // The fake clock only moves when told: the wait itself is what moves it.
    State().fakeMicroseconds += next - now;
    return;
  }
  std::this_thread::sleep_for(std::chrono::microseconds(next - now));
  while (NowMicroseconds() < next) std::this_thread::yield();
}

bool InVerticalBlank() {
  uint64_t period = VerticalBlankPeriodMicroseconds();
  return NowMicroseconds() % period < period / 20;
}

}  // namespace platform::ddraw
