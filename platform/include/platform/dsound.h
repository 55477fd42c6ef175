// DSOUND-shaped part of the platform stand-in: a software mixer over SDL2 audio.
//
// One DirectSound object opens one SDL playback device (44,100 Hz, stereo, signed 16-bit) when it
// is initialised. Every playing secondary buffer is resampled linearly to the device rate, scaled
// by its volume and pan, summed and clipped in the device's callback. Duplicates share their
// samples and keep their own cursor, volume, pan and frequency. Play and Stop keep the cursor; a
// buffer played without looping stops at its end and its cursor returns to 0. The play cursor
// moves one device period (512 frames) at a time. Lock hands out a staging copy of the window
// asked for, and Unlock commits it under the mixer's lock, so the device never reads a half
// written window. Formats: PCM, 8 or 16 bits, one or two channels, 100 to 200,000 Hz.
#pragma once

#include "platform/com.h"
#include "platform/winmm.h"

// ---- Results ----
#define DS_OK S_OK
#define DSERR_ALLOCATED ((HRESULT)0x8878000A)
#define DSERR_CONTROLUNAVAIL ((HRESULT)0x8878001E)
#define DSERR_INVALIDPARAM E_INVALIDARG
#define DSERR_INVALIDCALL ((HRESULT)0x88780032)
#define DSERR_GENERIC E_FAIL
#define DSERR_PRIOLEVELNEEDED ((HRESULT)0x88780046)
#define DSERR_OUTOFMEMORY E_OUTOFMEMORY
#define DSERR_BADFORMAT ((HRESULT)0x88780064)
#define DSERR_UNSUPPORTED E_NOTIMPL
#define DSERR_NODRIVER ((HRESULT)0x88780078)
#define DSERR_ALREADYINITIALIZED ((HRESULT)0x88780082)
#define DSERR_NOAGGREGATION CLASS_E_NOAGGREGATION
#define DSERR_BUFFERLOST ((HRESULT)0x88780096)
#define DSERR_UNINITIALIZED ((HRESULT)0x887800AA)
#define DSERR_NOINTERFACE E_NOINTERFACE

// ---- Class and interface ids ----
// {47D4D946-62E8-11CF-93BC-444553540000}
inline constexpr CLSID CLSID_DirectSound = {
    0x47D4D946, 0x62E8, 0x11CF, {0x93, 0xBC, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {279AFA83-4981-11CE-A521-0020AF0BE560}
inline constexpr IID IID_IDirectSound = {0x279AFA83, 0x4981, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
// {279AFA85-4981-11CE-A521-0020AF0BE560}
inline constexpr IID IID_IDirectSoundBuffer = {
    0x279AFA85, 0x4981, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};

// ---- Capabilities ----
#define DSCAPS_PRIMARYMONO 0x00000001u
#define DSCAPS_PRIMARYSTEREO 0x00000002u
#define DSCAPS_PRIMARY8BIT 0x00000004u
#define DSCAPS_PRIMARY16BIT 0x00000008u
#define DSCAPS_CONTINUOUSRATE 0x00000010u
#define DSCAPS_EMULDRIVER 0x00000020u
#define DSCAPS_SECONDARYMONO 0x00000100u
#define DSCAPS_SECONDARYSTEREO 0x00000200u
#define DSCAPS_SECONDARY8BIT 0x00000400u
#define DSCAPS_SECONDARY16BIT 0x00000800u

struct DSCAPS {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwMinSecondarySampleRate;
  DWORD dwMaxSecondarySampleRate;
  DWORD dwPrimaryBuffers;
  DWORD dwMaxHwMixingAllBuffers;
  DWORD dwMaxHwMixingStaticBuffers;
  DWORD dwMaxHwMixingStreamingBuffers;
  DWORD dwFreeHwMixingAllBuffers;
  DWORD dwFreeHwMixingStaticBuffers;
  DWORD dwFreeHwMixingStreamingBuffers;
  DWORD dwMaxHw3DAllBuffers;
  DWORD dwMaxHw3DStaticBuffers;
  DWORD dwMaxHw3DStreamingBuffers;
  DWORD dwFreeHw3DAllBuffers;
  DWORD dwFreeHw3DStaticBuffers;
  DWORD dwFreeHw3DStreamingBuffers;
  DWORD dwTotalHwMemBytes;
  DWORD dwFreeHwMemBytes;
  DWORD dwMaxContigFreeHwMemBytes;
  DWORD dwUnlockTransferRateHwBuffers;
  DWORD dwPlayCpuOverheadSwBuffers;
  DWORD dwReserved1;
  DWORD dwReserved2;
};
typedef DSCAPS* LPDSCAPS;

// ---- Buffers ----
#define DSBCAPS_PRIMARYBUFFER 0x00000001u
#define DSBCAPS_STATIC 0x00000002u
#define DSBCAPS_LOCHARDWARE 0x00000004u
#define DSBCAPS_LOCSOFTWARE 0x00000008u
#define DSBCAPS_CTRLFREQUENCY 0x00000020u
#define DSBCAPS_CTRLPAN 0x00000040u
#define DSBCAPS_CTRLVOLUME 0x00000080u
#define DSBCAPS_STICKYFOCUS 0x00004000u
#define DSBCAPS_GLOBALFOCUS 0x00008000u
#define DSBCAPS_GETCURRENTPOSITION2 0x00010000u

#define DSBPLAY_LOOPING 0x00000001u
#define DSBSTATUS_PLAYING 0x00000001u
#define DSBSTATUS_BUFFERLOST 0x00000002u
#define DSBSTATUS_LOOPING 0x00000004u
#define DSBLOCK_FROMWRITECURSOR 0x00000001u
#define DSBLOCK_ENTIREBUFFER 0x00000002u

#define DSSCL_NORMAL 0x00000001u
#define DSSCL_PRIORITY 0x00000002u
#define DSSCL_EXCLUSIVE 0x00000003u
#define DSSCL_WRITEPRIMARY 0x00000004u

#define DSBSIZE_MIN 4u
#define DSBSIZE_MAX 0x0FFFFFFFu
#define DSBFREQUENCY_ORIGINAL 0u
#define DSBFREQUENCY_MIN 100u
#define DSBFREQUENCY_MAX 200000u
#define DSBPAN_LEFT (-10000)
#define DSBPAN_CENTER 0
#define DSBPAN_RIGHT 10000
#define DSBVOLUME_MIN (-10000)
#define DSBVOLUME_MAX 0

struct DSBUFFERDESC {
  DWORD dwSize;  // sizeof(DSBUFFERDESC)
  DWORD dwFlags;
  DWORD dwBufferBytes;  // 0 for the primary buffer
  DWORD dwReserved;
  LPWAVEFORMATEX lpwfxFormat;  // Null for the primary buffer
  GUID guid3DAlgorithm;
};
typedef DSBUFFERDESC* LPDSBUFFERDESC;
typedef const DSBUFFERDESC* LPCDSBUFFERDESC;

struct IDirectSoundBuffer : IUnknown {
  virtual HRESULT GetCurrentPosition(LPDWORD playCursor, LPDWORD writeCursor) = 0;
  virtual HRESULT GetStatus(LPDWORD status) = 0;
  // Hands out the window of `bytes` bytes from `offset`: the first part up to the end of the
  // buffer, the rest (when the window wraps) from its start.
  virtual HRESULT Lock(DWORD offset, DWORD bytes, LPVOID* part1, LPDWORD bytes1, LPVOID* part2, LPDWORD bytes2,
                       DWORD flags) = 0;
  virtual HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) = 0;
  virtual HRESULT SetCurrentPosition(DWORD offset) = 0;
  virtual HRESULT SetFormat(LPCWAVEFORMATEX format) = 0;
  virtual HRESULT SetVolume(LONG volume) = 0;         // Hundredths of a decibel, -10,000 (silence) to 0
  virtual HRESULT SetPan(LONG pan) = 0;               // -10,000 (right silent) to 10,000 (left silent)
  virtual HRESULT SetFrequency(DWORD frequency) = 0;  // 0: the format's own rate
  virtual HRESULT Stop() = 0;
  // Commits the bytes written into the parts that Lock handed out.
  virtual HRESULT Unlock(LPVOID part1, DWORD bytes1, LPVOID part2, DWORD bytes2) = 0;
};
typedef IDirectSoundBuffer* LPDIRECTSOUNDBUFFER;

struct IDirectSound : IUnknown {
  virtual HRESULT CreateSoundBuffer(LPCDSBUFFERDESC description, LPDIRECTSOUNDBUFFER* buffer, LPUNKNOWN outer) = 0;
  virtual HRESULT GetCaps(LPDSCAPS caps) = 0;
  virtual HRESULT DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER original, LPDIRECTSOUNDBUFFER* duplicate) = 0;
  virtual HRESULT SetCooperativeLevel(HWND window, DWORD level) = 0;
  // Opens the playback device; every other call answers DSERR_UNINITIALIZED before it.
  virtual HRESULT Initialize(const GUID* device) = 0;
};
typedef IDirectSound* LPDIRECTSOUND;

// ---- Entry points of "DSOUND.DLL" ----
typedef BOOL (*LPDSENUMCALLBACKA)(GUID* device, LPCSTR description, LPCSTR module, LPVOID context);
HRESULT DirectSoundEnumerateA(LPDSENUMCALLBACKA callback, LPVOID context);
HRESULT DirectSoundCreate(const GUID* device, LPDIRECTSOUND* directSound, LPUNKNOWN outer);
