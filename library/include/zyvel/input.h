// Zyvel input: keyboard, mouse device and joypads, and the clipboard's text.
//
// Every function returns 0 (or a new handle) on success and -1 on failure, with one log line;
// yes/no queries return 1 or 0. Text is multi-byte text in the active character set (CP932).
#pragma once

#include "zyvel/runtime.h"

// ---- Keyboard, mouse device and joypad input ----
// Keys are DirectInput key codes (0-255).
// Result bits of GetPadInputBits.
enum PadInputBit : int {
  PAD_BIT_DOWN = 0x1,
  PAD_BIT_LEFT = 0x2,
  PAD_BIT_RIGHT = 0x4,
  PAD_BIT_UP = 0x8,
  PAD_BIT_FIRST_BUTTON = 0x10,  // Button n (from 0) is PAD_BIT_FIRST_BUTTON << n.
};
// Added to a pad number: the keys mapped onto the pad's bits count as well.
constexpr int PAD_WITH_KEYBOARD = 0x1000;
int StartInputDevices();
int ReleaseInputDevices();
int SetupJoypads();
int ReleaseJoypads();
int RefreshKeyboardState();
int RefreshJoypadState(int padIndex);
// 1 while the key is held.
int IsKeyDown(int key);
// kind: pad number 1-16 (0 none), plus PAD_WITH_KEYBOARD.
int GetPadInputBits(int kind);
int StopJoypadVibration(int pad);
int ProcessJoypadEffects();
int RefreshEffectPlayState();
int ReacquireInputDevices();
int SetKeyFlag1();
int ClearKeyFlag1();
int SetKeyFlag2();
int ClearKeyFlag2();

// ---- Clipboard (text) ----
// Copies the clipboard's text into `buffer` (`bufferSize` bytes, cut to fit) and returns 0; with
// a null buffer returns the size of the clipboard's text block + 1. -1 when the clipboard cannot
// be opened or holds no text.
int GetClipboardText(char* buffer, int bufferSize);
// 0 in every case.
int SetClipboardText(const char* text);
