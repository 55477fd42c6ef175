// The one door through which tests steer the platform stand-in. The library never includes this
// header; tests and tools do.
#pragma once

#include <functional>
#include <string>

#include "platform/kernel.h"

namespace platform::testing {

// ---- Clock ----
// While the fake clock is on, timeGetTime, GetTickCount, QueryPerformanceCounter and the
// time-stamp counter read it instead of the real clock, and it only moves when told to.
void UseFakeClock(bool on);
void SetFakeClockMilliseconds(uint64_t milliseconds);
void AdvanceFakeClock(uint64_t microseconds);
// A fixed local date and time for GetLocalTime (null goes back to the real one).
void SetFakeLocalTime(const SYSTEMTIME* time);

// ---- Machine ----
// GetSystemInfo's processor count (0 goes back to the real count).
void SetProcessorCount(int count);

// ---- Files ----
// The Linux directory that every drive letter maps to ("/" by default; empty restores it).
void SetMappedRoot(const std::string& linuxDirectory);
// CreateFileA fails (ERROR_ACCESS_DENIED) for the next `count` opens; -1 for all until reset to 0.
void FailFileOpens(int count);

// ---- Threads and memory ----
// CreateThread refuses the next `count` threads; -1 for all until reset to 0.
void FailThreadCreation(int count);
// HeapAlloc and HeapReAlloc refuse the next `count` requests; -1 for all until reset to 0.
void FailHeapAllocations(int count);

// ---- Debugger output ----
// Every OutputDebugStringA text (CP932, as given) goes to the sink instead of stderr while one is
// set; an empty function restores stderr.
void CaptureDebugOutput(std::function<void(const std::string&)> sink);

// ---- Modules ----
// Hide a module of the stand-in from LoadLibraryA, as if its DLL were not installed.
void HideModule(const std::string& name, bool hidden);

// Puts every switch above back to its default.
void ResetAll();

}  // namespace platform::testing

#include <vector>

namespace platform::testing {

// ---- Presented pictures ----
struct PresentedFrame {
  HWND window = nullptr;
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // 0xXXRRGGBB, top row first, `width` per row.
  RECT destination{};
  uint64_t serial = 0;           // Counts presents since the start of the process.
};
// The last picture handed to a window; false before the first.
bool LastPresentedFrame(PresentedFrame* out);

}  // namespace platform::testing

#include "platform/user.h"

namespace platform::testing {

// ---- Windows, display and input ----
// SDL's dummy video driver for every window made afterwards (call before the first window or
// display query of the process); headless tests use it.
void UseDummyVideoDriver();
struct DisplayModeDescription {
  int width;
  int height;
  int bits;  // Bytes per pixel times 8.
  int refresh;
};
// The display's modes and the desktop mode, in place of what SDL reports.
void SetDisplayModes(const std::vector<DisplayModeDescription>& modes, const DisplayModeDescription& desktop);
// Forgets the modes set above: the next query asks SDL again.
void UseSdlDisplayModes();
// Where the lock files that FindWindowA sees other processes' windows by live (empty: the
// runtime directory, else /tmp). Tests use a private directory.
void SetWindowLockDirectory(const std::string& directory);

// Input as the user would give it, through SDL's event queue: it reaches the window's thread the
// next time that thread peeks. A button is 1 left, 2 middle, 3 right.
void PostKeyEvent(HWND window, int virtualKey, bool down);
void PostMouseMove(HWND window, int x, int y);
void PostMouseButton(HWND window, int button, bool down, int x, int y);
void PostMouseWheel(HWND window, int steps);
void PostCloseRequest(HWND window);
void PostFocusChange(HWND window, bool gained);

struct WindowState {
  std::string className;
  std::string title;
  DWORD style = 0;
  DWORD exStyle = 0;
  RECT windowRect{};
  RECT clientRect{};  // Screen coordinates.
  bool visible = false;
  bool minimised = false;
  bool hasSdlWindow = false;
  int sdlWidth = 0;  // The SDL window's client size.
  int sdlHeight = 0;
  std::string sdlTitle;  // UTF-8.
  int timers = 0;
};
// False for a handle that names no window.
bool ReadWindowState(HWND window, WindowState* out);
bool ScreenSaverActive();
// Live windows of the process.
int CountWindows();

}  // namespace platform::testing
