// The USER stand-in's own record: window classes, windows, per-thread message queues, timers,
// the display model and the key-state table. One recursive mutex guards it; it is never held
// while a window procedure runs.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/user.h"

struct SDL_Window;
struct SDL_SysWMmsg;

namespace platform {

struct WindowClassRecord {
  std::string name;  // As registered (CP932).
  UINT style = 0;
  WNDPROC procedure = nullptr;
  HINSTANCE instance = nullptr;
  HICON icon = nullptr;
  HCURSOR cursor = nullptr;
  HBRUSH background = nullptr;
  int windows = 0;  // Live windows of the class; a class in use cannot be unregistered.
};

// An icon from the program's resources: its picture as 32-bit pixels, blue-green-red-alpha in
// memory, top row first.
struct IconRecord {
  WORD id = 0;
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
};

struct TimerRecord {
  UINT_PTR id = 0;
  UINT elapse = 0;
  uint64_t dueMicroseconds = 0;
  TIMERPROC procedure = nullptr;
};

struct WindowRecord {
  WindowClassRecord* windowClass = nullptr;
  std::string className;
  std::string title;
  DWORD style = 0;
  DWORD exStyle = 0;
  WNDPROC procedure = nullptr;
  HINSTANCE instance = nullptr;
  HMENU menu = nullptr;
  HWND parent = nullptr;
  LONG_PTR userData = 0;
  DWORD threadId = 0;
  RECT windowRect{};  // Screen coordinates (a child's: its parent's client coordinates).
  RECT clientRect{};  // Screen coordinates likewise.
  bool visible = false;
  bool minimised = false;
  bool destroying = false;
  bool invalid = false;
  RECT invalidRect{};
  HRGN region = nullptr;
  std::vector<TimerRecord> timers;
  SDL_Window* sdlWindow = nullptr;
  bool destroyedFromOutside = false;  // Another X client destroyed the window behind it.
  int classLockDescriptor = -1;       // The locked file that lets other processes find the class.
};

struct ThreadQueue {
  std::deque<MSG> posted;
  bool quitPosted = false;
  int quitCode = 0;
};

struct DisplayMode {
  int width = 0;
  int height = 0;
  int bits = 32;  // Bytes per pixel times 8.
  int refresh = 60;
};

struct UserState {
  std::recursive_mutex mutex;
  std::map<std::string, std::unique_ptr<WindowClassRecord>> classes;  // Key: upper-cased name.
  std::map<WindowRecord*, std::unique_ptr<WindowRecord>> windows;
  std::map<DWORD, ThreadQueue> queues;

  // Display model: from SDL at video start, replaceable by the test door.
  bool displayKnown = false;
  std::vector<DisplayMode> modes;
  DisplayMode savedDesktop;    // The mode the desktop had at start.
  DisplayMode currentDesktop;  // The mode ChangeDisplaySettingsA set.
  bool testDisplay = false;    // The test door set the modes: SDL is not asked.

  // Video: the thread that started SDL's video pumps its events.
  bool videoStarted = false;
  bool videoFailed = false;
  DWORD videoThread = 0;
  std::string videoDriver;  // Empty: SDL chooses.

  HWND foreground = nullptr;
  HWND focus = nullptr;
  int cursorCount = 0;
  HCURSOR cursor = nullptr;
  POINT cursorPosition{};
  bool cursorClipped = false;
  RECT cursorClip{};
  BOOL screenSaverActive = TRUE;
  UINT foregroundLockTimeout = 200000;
  BYTE keys[256] = {};      // As the input stands (GetAsyncKeyState).
  BYTE syncKeys[256] = {};  // As of the last key message taken from a queue (GetKeyState).

  std::map<WORD, std::unique_ptr<IconRecord>> icons;  // Icons loaded from resources, by id.

  std::string lockDirectory;                              // Empty: $XDG_RUNTIME_DIR, else /tmp.
  std::map<std::string, std::pair<int, int>> classLocks;  // Upper-cased class: descriptor, users.
};

UserState& User();

// The window behind a handle, or null; the caller holds the mutex.
WindowRecord* LookUpWindow(HWND window);
inline HWND HandleOf(WindowRecord* record) { return reinterpret_cast<HWND>(record); }

// Starts SDL's video subsystem once (false when it cannot start); the caller holds the mutex.
bool StartVideo();
// Reads the display model (from SDL unless a test set it); the caller holds the mutex.
void EnsureDisplay();
// Creates, updates and destroys the SDL window behind a top-level window.
void CreateSdlWindow(WindowRecord* window);
void UpdateSdlWindow(WindowRecord* window);
void DestroySdlWindow(WindowRecord* window);
// Turns waiting SDL events into posted messages; only on the video thread.
void PumpSdlEvents();
// The SDL key of a virtual key (the test door types through it); 0 when none.
int SdlKeycodeOfVirtualKey(UINT key);
// The picture behind an icon handle, or null for a stock icon; the caller holds the mutex.
const IconRecord* IconOf(HICON icon);
// Gives the SDL window its class's icon picture, when the class has one.
void ApplySdlWindowIcon(WindowRecord* window);
// The SDL window showing a window, or null.
SDL_Window* SdlWindowOf(HWND window);

// Closes asked for from outside (close signals, a window destroyed by another X client), posted
// as the close button's message; the caller holds the mutex. StartOutsideCloses runs once SDL's
// video has started; WatchCloseSignals as a window is shown on the screen; TakeOutsideCloses at
// each event pump; NoteSystemEvent takes SDL's system events; DestroyGoneSdlWindow destroys an
// SDL window whose X window is already gone.
void StartOutsideCloses();
void WatchCloseSignals();
void TakeOutsideCloses();
void NoteSystemEvent(const SDL_SysWMmsg* message);
void DestroyGoneSdlWindow(SDL_Window* window);

// Posts into the owner thread's queue; the caller holds the mutex.
void PostToQueue(DWORD threadId, const MSG& msg);
// Changes the geometry and sends WM_MOVE / WM_SIZE for what really changed.
void ApplyWindowGeometry(HWND window, const RECT& windowRect);
// The nominal frame added around a client area for these styles.
RECT FrameOf(DWORD style, DWORD exStyle, BOOL menu);
// Marks the whole client area, or `rect`, as needing paint.
void InvalidateWindow(WindowRecord* window, const RECT* rect);

// Lock files that make a class visible to FindWindowA in other processes.
int AcquireClassLock(const std::string& className);
void ReleaseClassLock(const std::string& className);
bool ClassHeldElsewhere(const std::string& className);

std::string UpperCase(const std::string& text);

}  // namespace platform
