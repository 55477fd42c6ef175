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

// ---- Wave formats ----
#define WAVE_FORMAT_PCM 1

#pragma pack(push, 1)
// Read, written and compared as its 18 bytes.
struct WAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;
};
#pragma pack(pop)
typedef WAVEFORMATEX* LPWAVEFORMATEX;
typedef const WAVEFORMATEX* LPCWAVEFORMATEX;
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX is 18 packed bytes");
