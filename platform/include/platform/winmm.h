// WINMM-shaped part of the platform stand-in: the multimedia timer.
#pragma once

#include "platform/types.h"

typedef UINT MMRESULT;
#define TIMERR_NOERROR 0
#define TIMERR_NOCANDO 97

struct TIMECAPS {
  UINT wPeriodMin;
  UINT wPeriodMax;
};

// Milliseconds since the system started, wrapping at 2^32.
DWORD timeGetTime();
MMRESULT timeBeginPeriod(UINT period);
MMRESULT timeEndPeriod(UINT period);
MMRESULT timeGetDevCaps(TIMECAPS* caps, UINT size);

// ---- Window messages of the multimedia library ----
#define MM_MCINOTIFY 0x03B9u
