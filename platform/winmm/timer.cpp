// The multimedia timer: timeGetTime and the timer-resolution calls.
#include "kernel/objects.h"
#include "platform/winmm.h"

using platform::NowMicroseconds;

DWORD timeGetTime() { return static_cast<DWORD>(NowMicroseconds() / 1000u); }

MMRESULT timeBeginPeriod(UINT period) { return period >= 1 ? TIMERR_NOERROR : TIMERR_NOCANDO; }
MMRESULT timeEndPeriod(UINT period) { return period >= 1 ? TIMERR_NOERROR : TIMERR_NOCANDO; }

MMRESULT timeGetDevCaps(TIMECAPS* caps, UINT size) {
  if (!caps || size < sizeof(TIMECAPS)) return TIMERR_NOCANDO;
  caps->wPeriodMin = 1;
  caps->wPeriodMax = 1000000;
  return TIMERR_NOERROR;
}
