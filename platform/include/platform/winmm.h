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
// ---- Joysticks ----
#define JOYSTICKID1 0
#define JOYERR_NOERROR 0
#define JOYERR_PARMS 165
#define JOYERR_UNPLUGGED 167
#define MMSYSERR_NODRIVER 6
#define MMSYSERR_INVALPARAM 11
#define JOY_RETURNX 0x00000001u
#define JOY_RETURNY 0x00000002u
#define JOY_RETURNZ 0x00000004u
#define JOY_RETURNR 0x00000008u
#define JOY_RETURNU 0x00000010u
#define JOY_RETURNV 0x00000020u
#define JOY_RETURNPOV 0x00000040u
#define JOY_RETURNBUTTONS 0x00000080u
#define JOY_RETURNALL 0x000000FFu
#define JOYCAPS_HASZ 0x0001u
#define JOYCAPS_HASR 0x0002u
#define JOYCAPS_HASU 0x0004u
#define JOYCAPS_HASV 0x0008u
#define JOYCAPS_HASPOV 0x0010u
#define JOY_POVCENTERED 0xFFFFu

struct JOYCAPSA {
  WORD wMid;
  WORD wPid;
  CHAR szPname[32];
  UINT wXmin;
  UINT wXmax;
  UINT wYmin;
  UINT wYmax;
  UINT wZmin;
  UINT wZmax;
  UINT wNumButtons;
  UINT wPeriodMin;
  UINT wPeriodMax;
  UINT wRmin;
  UINT wRmax;
  UINT wUmin;
  UINT wUmax;
  UINT wVmin;
  UINT wVmax;
  UINT wCaps;
  UINT wMaxAxes;
  UINT wNumAxes;
  UINT wMaxButtons;
  CHAR szRegKey[32];
  CHAR szOEMVxD[MAX_PATH];
};

struct JOYINFOEX {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwXpos;
  DWORD dwYpos;
  DWORD dwZpos;
  DWORD dwRpos;
  DWORD dwUpos;
  DWORD dwVpos;
  DWORD dwButtons;
  DWORD dwButtonNumber;
  DWORD dwPOV;
  DWORD dwReserved1;
  DWORD dwReserved2;
};

MMRESULT joyGetDevCapsA(UINT_PTR joystickId, JOYCAPSA* caps, UINT size);
MMRESULT joyGetPosEx(UINT joystickId, JOYINFOEX* info);
UINT joyGetNumDevs();

// ---- Wave formats ----
#define WAVE_FORMAT_PCM 1
#define WAVE_FORMAT_IEEE_FLOAT 0x0003
#define WAVE_FORMAT_EXTENSIBLE 0xFFFE

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

#pragma pack(push, 1)
// A format with more than the 18 bytes: the bits that carry sound, the speakers, and what the
// samples are (SubFormat: KSDATAFORMAT_SUBTYPE_PCM or _IEEE_FLOAT).
struct WAVEFORMATEXTENSIBLE {
  WAVEFORMATEX Format;
  union {
    WORD wValidBitsPerSample;
    WORD wSamplesPerBlock;
    WORD wReserved;
  } Samples;
  DWORD dwChannelMask;
  GUID SubFormat;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEXTENSIBLE) == 40, "WAVEFORMATEXTENSIBLE is 40 packed bytes");
inline constexpr DWORD kWaveFormatExtensibleExtraBytes = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
inline constexpr GUID KSDATAFORMAT_SUBTYPE_PCM = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID KSDATAFORMAT_SUBTYPE_IEEE_FLOAT = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// ---- Media control commands ----
// The stand-in machine has no MIDI synthesiser: opening a sequencer fails, and every other
// command names no open device, unless a test installed its recording device.
typedef UINT MCIDEVICEID;
typedef DWORD MCIERROR;
#define MCI_OPEN 0x0803u
#define MCI_CLOSE 0x0804u
#define MCI_PLAY 0x0806u
#define MCI_NOTIFY 0x00000001u
#define MCI_WAIT 0x00000002u
#define MCI_FROM 0x00000004u
#define MCI_TO 0x00000008u
#define MCI_NOTIFY_SUCCESSFUL 0x0001u
#define MCIERR_BASE 256
#define MCIERR_INVALID_DEVICE_ID (MCIERR_BASE + 1)
#define MCIERR_SEQ_NOMIDIPRESENT (MCIERR_BASE + 87)

struct MCI_GENERIC_PARMS {
  DWORD_PTR dwCallback;  // The window that MM_MCINOTIFY goes to
};
struct MCI_PLAY_PARMS {
  DWORD_PTR dwCallback;
  DWORD dwFrom;
  DWORD dwTo;
};
struct MCI_OPEN_PARMSA {
  DWORD_PTR dwCallback;
  MCIDEVICEID wDeviceID;
  LPCSTR lpstrDeviceType;
  LPCSTR lpstrElementName;
  LPCSTR lpstrAlias;
};

MCIERROR mciSendCommandA(MCIDEVICEID device, UINT message, DWORD_PTR flags, DWORD_PTR parameters);

// ==== One-shot multimedia timers (used by the media framework's renderers) ====
// Callbacks run on one timer thread of the process, at the real time asked (the fake clock does
// not move them). timeKillEvent of a timer whose callback is running waits until it has returned,
// except when called from that callback itself.
typedef void (*LPTIMECALLBACK)(UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR reserved1, DWORD_PTR reserved2);
#define TIME_ONESHOT 0x0000u
#define TIME_PERIODIC 0x0001u
#define TIME_CALLBACK_FUNCTION 0x0000u
// The timer's id (never 0), or 0 when no timer can be had: periodic timers, a null callback and a
// timer refused through the test door.
MMRESULT timeSetEvent(UINT delayMilliseconds, UINT resolution, LPTIMECALLBACK callback, DWORD_PTR user, UINT flags);
// MMSYSERR_INVALPARAM for an id that names no pending or running timer.
MMRESULT timeKillEvent(UINT timerId);
