// The simulated vertical blank: blanks fall on whole multiples of the refresh period of the
// stand-in's clock. Waiting for one sleeps until it (or, on the fake clock, moves the clock there;
// the thread that drives the fake clock sleeps and yields on it as on the real one).
#pragma once

#include <cstdint>

namespace platform::ddraw {

uint64_t VerticalBlankPeriodMicroseconds();
// Waits for the next blank strictly after now.
void WaitForNextVerticalBlank();
// True while now lies within the first 5 % of a period (the blank itself).
bool InVerticalBlank();

}  // namespace platform::ddraw
