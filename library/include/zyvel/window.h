// Zyvel window: start-up and shut-down, the call lock, the main window, message processing and
// the mouse cursor.
//
// Every function returns 0 (or a new handle) on success and -1 on failure, with one log line;
// yes/no queries return 1 or 0. Text is multi-byte text in the active character set (CP932).
#pragma once

#include "platform/types.h"
#include "zyvel/runtime.h"

// ---- Start-up, shut-down, call lock, main window and message processing ----
// The program's three entries: start-up, shut-down and the once-per-frame message processing.
int InitializeLibrary();
int FinishLibrary();
// 0, or -1 once the window was closed or quit was asked.
int ProcessWindowMessages();
// The library-wide call lock: re-entrant, handed over first-in first-out.
void ApiLockEnter();
void ApiLockLeave();

// Window settings; before start-up they are only recorded.
int ChangeWindowMode(int windowed);
int ChangeWindowTitle(const char* text);
int ApplyWindowIcon(int id);

int IsQuitRequested();
HWND GetMainWindow();
int IsWindowedMode();
int IsWindowActive();
int GetRunWhileInactive();
int IsMMXUsable();
int IsWindowClosing();
int QueryDesktopMode(int* width, int* height, int* bits);
double GetWindowScale(double* x, double* y);
int GetClientScreenRect(RECT* out);

// ---- Mouse cursor ----
// 1 shows the cursor, 0 hides it (it stays while the menu is on screen), -1 only re-evaluates.
int SetCursorVisible(int flag);
// The mouse in screen pixels (windowed: relative to the client area, divided by the window
// scale); either pointer may be null.
int QueryMousePosition(int* x, int* y);
// Moves the cursor to screen pixel (x, y), each limited to 0..the screen size.
int MoveMouseCursor(int x, int y);
