// Keyboard, mouse device and joypad input: the state record behind IsKeyDown and GetPadInputBits.
#pragma once

#include "platform/dinput.h"
#include "platform/types.h"
#include "zyvel/input.h"

constexpr int kMaxJoypads = 16;
constexpr int kKeyPadMapBits = 32;
constexpr int kKeysPerPadBit = 4;

struct JoypadRecord {
  IDirectInputDevice7A* device;
  IDirectInputEffect* constantEffect;
  IDirectInputEffect* periodicEffect;
  HANDLE notifyEvent;
  DIJOYSTATE state;
  int hasZR;
  DWORD lastPoll;
  int vibrating;
  int vibrationPower;
  int vibrationDuration;
  int vibrationElapsed;
  int vibrationLastTime;
  int constantPlaying;
  int periodicPlaying;
  char instanceName[MAX_PATH];
  char productName[MAX_PATH];
};

struct InputDeviceState {
  int winmmMode;
  int noForceFeedback;
  int keepDirectInputKeyboard;
  int directInput8;
  // The DirectInput interface (7 or 8); kWinmmInterface in WinMM mode; null when not started.
  IUnknown* directInput;
  IDirectInputDevice7A* mouseDevice;
  IDirectInputDevice7A* keyboardDevice;
  HANDLE keyboardEvent;
  DWORD lastKeyboardPoll;
  BYTE keyState[256];
  int keyPadMapReady;
  int keyPadMap[kMaxJoypads][kKeyPadMapBits][kKeysPerPadBit];
  int padCount;
  JoypadRecord pads[kMaxJoypads];
  int windowsKeyboardOnly;
  int keyFlag1;
  int keyFlag2;
  bool refreshingKeyboard;
  bool starting;
};

// The interface value that marks WinMM mode (no DirectInput).
inline IUnknown* const kWinmmInterface = reinterpret_cast<IUnknown*>(static_cast<intptr_t>(-1));

extern InputDeviceState g_input;
