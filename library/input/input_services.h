// Input services that start-up, the window procedure and the pump call beside the public input
// calls of zyvel/runtime.h. Character input and the IME are answered by text_input_stand_in.cpp
// until text input is built.
#pragma once

#include "platform/user.h"
#include "zyvel/runtime.h"

int InitializeTextInput();
int ProcessTextInput();
int StockInputChar(int code);
LRESULT HandleImeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int DeleteAllTextInputHandles();
int IsImeInUse();
