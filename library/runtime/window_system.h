// Inside the runtime: start-up and shut-down bodies, the main window, the window procedure, the
// pump, and the services of other subsystems that they call.
#pragma once

#include "platform/user.h"
#include "runtime/log.h"
#include "runtime/window_state.h"
#include "zyvel/runtime.h"

// ---- Start-up and shut-down (startup.cpp, system_info.cpp) ----
int RunLibraryStartup();
int RunLibraryShutdown();
int LogSystemInfo();
// The OS code of a version: 0-3 for the 16/32-bit family, 260-265 for NT; an NT newer than the
// newest known one counts as the newest.
int OsCodeOfVersion(DWORD platformId, DWORD major, DWORD minor, char* word, int wordSize);
// Library version text of the banner line.
extern const char kLibraryVersion[];

// ---- Main window (main_window.cpp) ----
struct DisplayModeEntry {
  int width;
  int height;
  int bits;
  int refresh;
};
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

// ---- Services of other subsystems (stubs in seams_<subsystem>.cpp where not built yet) ----
// Graphics.
struct ScreenModeRequest {
  int width;
  int height;
  int colorBits;
  int force;
  int refresh;
};
int SetScreenMode(int width, int height, int colorBits, int refresh);
int GetScreenSizeSetting(int* width, int* height);
int GetScreenColorBits();
int GetDisplayModeCount();
DisplayModeEntry* GetDisplayModeEntry(DisplayModeEntry* out, int index);
int IsHardwareAccelWanted();
int SetEmulating320x240(int on);
int QueryScreenMode(int* width, int* height, int* colorBits);
int IsFullScreenMode();
int ChangeScreenMode(const ScreenModeRequest* request);
int InitGraphicsSystem();
int TerminateGraphicsSystem();
int ReviveGraphicsSystem();
int SetGraphRestoreCallback(void (*callback)());
int HasGraphRestoreCallback();
int SelectDrawTarget(int screen);
int GetDrawTarget();
int InitModelSystem();
int TerminateModelSystem();
int DeleteAllSoftImages();
int DeleteFontHandle(int handle);
int PresentScreen(const RECT* area);
int EndSceneIfOpen();
void* GetDirectDrawObject();
int SwitchDialogBoxMode(int on);
int GetFlipVSyncWait();
int SetFlipVSyncWait(int on);
int GetUseMaskFlag();
int SetUseMaskFlag(int on);
int SetDrawClipArea(int x1, int y1, int x2, int y2);
int GetDrawClipArea(RECT* out);
// Log: the on-screen log.
int InitOnScreenLog();
// Input.
int StartInputDevices();
int ReleaseInputDevices();
int ReacquireInputDevices();
int RefreshEffectPlayState();
int RefreshKeyboardState();
int ProcessJoypadEffects();
int SetKeyFlag1();
int ClearKeyFlag1();
int SetKeyFlag2();
int ClearKeyFlag2();
// Sound.
int InitSoundSystem();
int EndSoundSystem();
int EndCurrentMusic();
int UpdateStreamSounds();
int UpdateSoftSoundPlayers();
int UpdateMidiPlayState();
int OnMidiNotify();
// Movies.
void InitTheoraColorTables();
int ResumeAllMovies();
int PauseAllMovies();
int DrawScreenMovies();
// Text input.
int InitializeTextInput();
int ProcessTextInput();
int StockInputChar(int code);
LRESULT HandleImeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int DeleteAllTextInputHandles();
int IsImeInUse();
// Network.
int EndNetwork();
int PumpNetworkMessages(int closeFinished);
int HandleSocketMessage(WPARAM eventWord, LPARAM socket);
// Menus, tool bar and mouse.
int BuildMenuItemList();
int UpdateAutoMenu();
int SetCursorVisible(int visible);
int RecordMouseClick(int button);
int FindToolBarButton(int id, int* type);
int LookupMenuItemName(int id, char* name);
int QueryToolBarHeight();

// ---- Call lock (api_lock.cpp) ----
// The lock's state as it stands, for tests: nesting count, owner (0xFFFFFFFF: none), waiters.
void ReadApiLockState(int* nesting, DWORD* owner, int* waiters);
// 1 while the calling thread owns the lock.
int IsApiLockHeldByCurrentThread();
