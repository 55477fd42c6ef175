// Input services that start-up, the window procedure and the pump call beside the public input
// calls of zyvel/runtime.h: character input, text-input handles and the IME (text_input.cpp,
// ime.cpp).
#pragma once

#include "platform/user.h"
#include "zyvel/input.h"

// Hands the window what it calls in input (input_window_hooks.cpp).
void ConnectInputToWindow();

// Pairs {virtual key, control code} for keys that type nothing, ended by {0, 0}.
extern const int kControlKeyTable[10][2];

// ---- Character queue (text_input.cpp) ----
// 0, or -1 when the queue is full.
int StockInputChar(int code);
// 0 while nothing complete is queued, 1 for a single byte, 2 for a double-byte character; without
// `consume` the queue is left as it was.
int GetOneChar(char out[2], int consume);
int IsControlCode(int code);
// Characters that start within the first `byteCount` bytes (stops at the zero).
int CountCharacters(const char* text, int byteCount);
int RestartCursorBlink();

// ---- Text-input handles (text_input.cpp) ----
int InitializeTextInput();
int ProcessTextInput();
int DeleteTextInputHandle(int handle);
int DeleteAllTextInputHandles();

// ---- IME (ime.cpp) ----
int SetImeEnabled(int flag);
// 1 while the IME is enabled for text input.
int IsImeInUse();
// The window was activated: an IME that was open gets reset by the next per-frame step.
void RequestImeReset();
// Runs the pending IME reset steps (the per-frame step starts with it).
int RunPendingImeReset();
// Cuts the composition back to the handle's limits.
int LimitComposition(int freeSpace);
LRESULT HandleImeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
