// The display as the program sees it: screen metrics, display modes and their changes, system
// parameters and the cursor.
#include <SDL.h>

#include <algorithm>
#include <cstring>

#include "platform/display_modes.h"
#include "platform/kernel.h"
#include "user/user_state.h"

using namespace platform;

namespace {
using Lock = std::unique_lock<std::recursive_mutex>;
}

int GetSystemMetrics(int index) {
  Lock lock(User().mutex);
  EnsureDisplay();
  switch (index) {
    case SM_CXSCREEN:
      return User().currentDesktop.width;
    case SM_CYSCREEN:
      return User().currentDesktop.height;
    case SM_CXFRAME:
    case SM_CYFRAME:
      return FrameOf(WS_THICKFRAME, 0, FALSE).left;
    case SM_CYCAPTION:
      return FrameOf(WS_CAPTION, 0, FALSE).top - FrameOf(WS_DLGFRAME, 0, FALSE).top;
    default:
      return 0;
  }
}

namespace platform {

std::vector<DisplayModeRecord> ListDisplayModes() {
  Lock lock(User().mutex);
  EnsureDisplay();
  std::vector<DisplayModeRecord> list;
  for (const DisplayMode& mode : User().modes) list.push_back({mode.width, mode.height, mode.bits, mode.refresh});
  return list;
}

DisplayModeRecord CurrentDisplayMode() {
  Lock lock(User().mutex);
  EnsureDisplay();
  const DisplayMode& mode = User().currentDesktop;
  return {mode.width, mode.height, mode.bits, mode.refresh};
}

}  // namespace platform

BOOL EnumDisplaySettingsA(LPCSTR, DWORD modeIndex, DEVMODEA* out) {
  if (!out) return FALSE;
  Lock lock(User().mutex);
  EnsureDisplay();
  DisplayMode mode;
  if (modeIndex == ENUM_CURRENT_SETTINGS)
    mode = User().currentDesktop;
  else if (modeIndex == ENUM_REGISTRY_SETTINGS)
    mode = User().savedDesktop;
  else if (modeIndex < User().modes.size())
    mode = User().modes[modeIndex];
  else
    return FALSE;
  WORD size = out->dmSize;
  std::memset(out, 0, sizeof(*out));
  out->dmSize = size ? size : sizeof(DEVMODEA);
  out->dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY;
  out->dmBitsPerPel = static_cast<DWORD>(mode.bits);
  out->dmPelsWidth = static_cast<DWORD>(mode.width);
  out->dmPelsHeight = static_cast<DWORD>(mode.height);
  out->dmDisplayFrequency = static_cast<DWORD>(mode.refresh);
  return TRUE;
}

LONG ChangeDisplaySettingsA(DEVMODEA* mode, DWORD flags) {
  Lock lock(User().mutex);
  EnsureDisplay();
  DisplayMode wanted = User().savedDesktop;
  if (mode) {
    wanted = User().currentDesktop;
    if (mode->dmFields & DM_PELSWIDTH) wanted.width = static_cast<int>(mode->dmPelsWidth);
    if (mode->dmFields & DM_PELSHEIGHT) wanted.height = static_cast<int>(mode->dmPelsHeight);
    if (mode->dmFields & DM_BITSPERPEL) wanted.bits = static_cast<int>(mode->dmBitsPerPel);
    bool rate = (mode->dmFields & DM_DISPLAYFREQUENCY) && mode->dmDisplayFrequency != 0;
    bool offered = false;
    for (const DisplayMode& m : User().modes) {
      if (m.width == wanted.width && m.height == wanted.height && m.bits == wanted.bits &&
          (!rate || m.refresh == static_cast<int>(mode->dmDisplayFrequency))) {
        offered = true;
        wanted.refresh = m.refresh;
        break;
      }
    }
    if (!offered) return DISP_CHANGE_BADMODE;
  }
  if (flags & CDS_TEST) return DISP_CHANGE_SUCCESSFUL;
  User().currentDesktop = wanted;
  // Every change is announced, also one to the mode already set, so that nobody waits for news
  // that never comes.
  std::vector<HWND> windows;
  for (auto& entry : User().windows)
    if (!(entry.second->style & WS_CHILD) && !entry.second->destroying) windows.push_back(HandleOf(entry.first));
  for (HWND window : windows)
    PostMessageA(window, WM_DISPLAYCHANGE, static_cast<WPARAM>(wanted.bits), MAKELONG(wanted.width, wanted.height));
  return DISP_CHANGE_SUCCESSFUL;
}

BOOL SystemParametersInfoA(UINT action, UINT parameter, LPVOID value, UINT) {
  Lock lock(User().mutex);
  switch (action) {
    case SPI_SETSCREENSAVEACTIVE:
      User().screenSaverActive = parameter ? TRUE : FALSE;
      if (User().videoStarted) {
        if (parameter)
          SDL_EnableScreenSaver();
        else
          SDL_DisableScreenSaver();
      }
      return TRUE;
    case SPI_GETSCREENSAVEACTIVE:
      if (!value) return FALSE;
      *static_cast<BOOL*>(value) = User().screenSaverActive;
      return TRUE;
    case SPI_GETFOREGROUNDLOCKTIMEOUT:
      if (!value) return FALSE;
      *static_cast<DWORD*>(value) = User().foregroundLockTimeout;
      return TRUE;
    case SPI_SETFOREGROUNDLOCKTIMEOUT:
      User().foregroundLockTimeout = static_cast<UINT>(reinterpret_cast<uintptr_t>(value));
      return TRUE;
    case SPI_SETSCREENSAVERRUNNING:
      return TRUE;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
}

// ---- Cursor ----

HCURSOR SetCursor(HCURSOR cursor) {
  Lock lock(User().mutex);
  HCURSOR previous = User().cursor;
  User().cursor = cursor;
  if (User().videoStarted) SDL_ShowCursor(cursor && User().cursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
  return previous;
}

int ShowCursor(BOOL show) {
  Lock lock(User().mutex);
  User().cursorCount += show ? 1 : -1;
  if (User().videoStarted) SDL_ShowCursor(User().cursorCount >= 0 && User().cursor ? SDL_ENABLE : SDL_DISABLE);
  return User().cursorCount;
}

BOOL GetCursorPos(LPPOINT point) {
  if (!point) return FALSE;
  PumpSdlEvents();
  Lock lock(User().mutex);
  *point = User().cursorPosition;
  return TRUE;
}

BOOL SetCursorPos(int x, int y) {
  Lock lock(User().mutex);
  EnsureDisplay();
  if (User().cursorClipped) {
    x = std::max<int>(User().cursorClip.left, std::min<int>(x, User().cursorClip.right - 1));
    y = std::max<int>(User().cursorClip.top, std::min<int>(y, User().cursorClip.bottom - 1));
  }
  User().cursorPosition = POINT{x, y};
  if (User().videoStarted) {
    for (auto& entry : User().windows) {
      WindowRecord* window = entry.second.get();
      if (!window->sdlWindow || User().foreground != HandleOf(window)) continue;
      SDL_WarpMouseInWindow(window->sdlWindow, x - window->clientRect.left, y - window->clientRect.top);
    }
  }
  return TRUE;
}

BOOL ClipCursor(const RECT* rect) {
  Lock lock(User().mutex);
  User().cursorClipped = rect != nullptr;
  if (rect) User().cursorClip = *rect;
  for (auto& entry : User().windows)
    if (entry.second->sdlWindow)
      SDL_SetWindowGrab(entry.second->sdlWindow,
                        rect && User().foreground == HandleOf(entry.first) ? SDL_TRUE : SDL_FALSE);
  return TRUE;
}
