// The window subsystem's services: start-up and shut-down bodies, the main window, the window
// procedure, the pump, menus and the call lock, with the window state record they share.
#pragma once

#include "platform/user.h"
#include "runtime/runtime_services.h"
#include "window/window_hooks.h"
#include "window/window_state.h"
#include "zyvel/window.h"

// ---- Start-up and shut-down (startup.cpp, system_info.cpp) ----
// InitializeLibrary's and FinishLibrary's bodies under the call lock.
int StartLibrary();
int EndLibrary();
int RunLibraryStartup();
int RunLibraryShutdown();
int LogSystemInfo();
// The OS code of a version: 0-3 for the 16/32-bit family, 260-265 for NT, so that "this version or
// later" is one comparison; an NT newer than the newest known one counts as the newest.
enum OsCode : int {
  OS_CODE_WIN32S = 0,
  OS_CODE_95 = 1,
  OS_CODE_98 = 2,
  OS_CODE_ME = 3,
  OS_CODE_NT351 = 260,
  OS_CODE_NT4 = 261,
  OS_CODE_2000 = 262,
  OS_CODE_XP = 263,
  OS_CODE_VISTA = 264,
  OS_CODE_7 = 265,
};
int OsCodeOfVersion(DWORD platformId, DWORD major, DWORD minor, char* word, int wordSize);
// Library version text of the banner line.
extern const char kLibraryVersion[];

// ---- Main window (main_window.cpp) ----
int InitMainWindow();
int EndMainWindow();
int StoreWindowModeFlag(int windowed);
int ApplyWindowStyle();
int FitWindowToScreen();
int SetDesktopComposition(int enable);
int OnWindowMoved(LPARAM position);
int ForceWindowForeground(HWND window, int topmost);
int ClearDroppedFiles();
int DrawInactiveWindowImage(HDC dc);
int CollectDisplayModes(int* count, DisplayModeEntry** list);
// True when one of the display modes graphics lists has this size.
bool IsDisplayModeOffered(int width, int height);
// Refreshes a layered main window from an image; -1 where the platform has no layered windows.
struct BaseImage;
int UpdateLayeredWindowFromImage(const BaseImage* image, HDC source, int useAlpha);
// Puts back what start-up changed on the machine (screen saver, timer resolution); safe to run
// more than once.
void RestoreMachineSettings();
// Windowed and full-screen styles of a style index, with the option bits.
DWORD WindowStyleOf(int windowed);
DWORD WindowExStyleOf(int windowed);

// ---- Window procedure and pump (window_procedure.cpp, message_pump.cpp) ----
LRESULT MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int PumpWindowMessages();
void WaitWhileInactive();

// ---- Menus and tool bar (menus.cpp) ----
// 0, or -1 when a menu cannot be read.
int BuildMenuItemList(HMENU menu);
// Reads the item at `position` into `info`, whose dwTypeData and cch give the name buffer and its
// size: 1 for a separator, 0 when read, -1 on failure.
int ReadMenuItemInfo(int position, HMENU menu, MENUITEMINFOA* info);
// The item's current name, cut at a whole character to fit `outSize` bytes; -1 without a menu or
// without such an id (`out` is then empty).
int LookupMenuItemName(int id, char* out, int outSize);
int IsMenuOnScreen();
int ShowMenuBar(int show);
// The automatic menu display of full-screen mode, once per frame.
int UpdateAutoMenu();
// WM_COMMAND: a tool-bar button's click, or a menu command (callbacks and the chosen-item list).
int HandleMenuCommand(WPARAM wParam);
// The index of the first button with the id that is not a separator; -1 without a tool bar or
// when none matches.
int FindToolBarButton(int id);
int QueryToolBarHeight();
int RemoveAllToolBarButtons();
// Shut-down: hides and destroys the menu, and takes the tool bar down.
int EndMenuAndToolBar();

// ---- Mouse (mouse.cpp; SetCursorVisible, QueryMousePosition, MoveMouseCursor are public) ----
// Appends a click (1 left, 2 right, 4 middle) at the mouse position unless the log is full.
int RecordMouseClick(int buttons);

// ---- Call lock (api_lock.cpp) ----
// The lock's state as it stands, for tests: nesting count, owner (0xFFFFFFFF: none), waiters.
void ReadApiLockState(int* nesting, DWORD* owner, int* waiters);
// 1 while the calling thread owns the lock.
int IsApiLockHeldByCurrentThread();

// ---- The window's record, for the subsystems above the window (window_state.cpp) ----
// GetMainWindow, IsWindowedMode, IsWindowActive and IsQuitRequested are public (zyvel/window.h).
int IsLibraryInitialised();
int IsLibraryInitialising();
int GetOsCode();  // An OsCode.
int IsMainWindowDestroyed();
int IsFloatingPointPreserved();
int IsLayeredMainWindow();
// 1 where the platform offers the desktop composition switch.
int HasCompositionSwitch();
const StartupOptions& GetStartupOptions();
// The window's background colour, each part as set (the caller keeps the low 8 bits).
void GetWindowBackgroundColor(int* red, int* green, int* blue);
