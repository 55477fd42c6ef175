// Windows: creation and destruction, styles, geometry, showing and activation.
//
// The frame is nominal: AdjustWindowRectEx adds fixed widths per style, and a window's client
// area is always its window rectangle less that frame. WM_MOVE and WM_SIZE are sent only when the
// client area's position or size really changes.
#include <algorithm>
#include <cstring>

#include "platform/gdi.h"
#include "platform/kernel.h"
#include "user/user_state.h"

namespace platform {
namespace {

constexpr int kThickFrame = 4;
constexpr int kDialogFrame = 3;
constexpr int kBorder = 1;
constexpr int kCaption = 19;
constexpr int kToolCaption = 15;
constexpr int kMenuBar = 19;
constexpr int kClientEdge = 2;

using Lock = std::unique_lock<std::recursive_mutex>;

void Activate(HWND window);

}  // namespace

RECT FrameOf(DWORD style, DWORD exStyle, BOOL menu) {
  int edge = 0;
  if (style & WS_THICKFRAME)
    edge = kThickFrame;
  else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME))
    edge = kDialogFrame;
  else if (style & WS_BORDER)
    edge = kBorder;
  if (exStyle & WS_EX_CLIENTEDGE) edge += kClientEdge;
  int top = edge;
  if ((style & WS_CAPTION) == WS_CAPTION) top += (exStyle & WS_EX_TOOLWINDOW) ? kToolCaption : kCaption;
  if (menu) top += kMenuBar;
  return RECT{edge, top, edge, edge};
}

void InvalidateWindow(WindowRecord* window, const RECT* rect) {
  RECT area{0, 0, window->clientRect.right - window->clientRect.left,
            window->clientRect.bottom - window->clientRect.top};
  if (rect) {
    area.left = std::max(area.left, rect->left);
    area.top = std::max(area.top, rect->top);
    area.right = std::min(area.right, rect->right);
    area.bottom = std::min(area.bottom, rect->bottom);
    if (area.left >= area.right || area.top >= area.bottom) return;
  }
  if (area.right <= 0 || area.bottom <= 0) return;
  if (!window->invalid) {
    window->invalidRect = area;
    window->invalid = true;
    return;
  }
  RECT& old = window->invalidRect;
  old.left = std::min(old.left, area.left);
  old.top = std::min(old.top, area.top);
  old.right = std::max(old.right, area.right);
  old.bottom = std::max(old.bottom, area.bottom);
}

void ApplyWindowGeometry(HWND window, const RECT& windowRect) {
  Lock lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record) return;
  RECT frame = FrameOf(record->style, record->exStyle, record->menu != nullptr);
  RECT client{windowRect.left + frame.left, windowRect.top + frame.top, windowRect.right - frame.right,
              windowRect.bottom - frame.bottom};
  if (client.right < client.left) client.right = client.left;
  if (client.bottom < client.top) client.bottom = client.top;
  RECT oldClient = record->clientRect;
  record->windowRect = windowRect;
  record->clientRect = client;
  bool moved = client.left != oldClient.left || client.top != oldClient.top;
  int width = client.right - client.left, height = client.bottom - client.top;
  bool resized = width != oldClient.right - oldClient.left || height != oldClient.bottom - oldClient.top;
  if (resized) InvalidateWindow(record, nullptr);
  if (moved || resized) UpdateSdlWindow(record);
  lock.unlock();
  if (moved) SendMessageA(window, WM_MOVE, 0, MAKELONG(client.left, client.top));
  if (resized) SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELONG(width, height));
}

namespace {

void Activate(HWND window) {
  Lock lock(User().mutex);
  HWND previous = User().foreground;
  if (previous == window) return;
  User().foreground = window;
  User().focus = window;
  bool previousLive = LookUpWindow(previous) != nullptr;
  lock.unlock();
  if (previousLive) {
    SendMessageA(previous, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(window));
  } else {
    SendMessageA(window, WM_ACTIVATEAPP, TRUE, 0);
  }
  SendMessageA(window, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(previous));
}

}  // namespace
}  // namespace platform

using namespace platform;

#define ERROR_CANNOT_FIND_WND_CLASS 1407
#define ERROR_INVALID_WINDOW_HANDLE 1400

BOOL AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD exStyle) {
  if (!rect) return FALSE;
  RECT frame = FrameOf(style, exStyle, menu);
  rect->left -= frame.left;
  rect->top -= frame.top;
  rect->right += frame.right;
  rect->bottom += frame.bottom;
  return TRUE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID parameter) {
  Lock lock(User().mutex);
  if (!className) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  auto found = User().classes.find(UpperCase(className));
  if (found == User().classes.end()) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  bool child = (style & WS_CHILD) != 0;
  if (child && !LookUpWindow(parent)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (!child) {
    EnsureDisplay();
    if (!StartVideo()) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
  }
  auto record = std::make_unique<WindowRecord>();
  record->windowClass = found->second.get();
  record->className = found->second->name;
  record->title = windowName ? windowName : "";
  record->style = style & ~WS_VISIBLE;
  record->exStyle = exStyle;
  record->procedure = found->second->procedure;
  record->instance = instance;
  record->menu = child ? nullptr : menu;
  record->parent = parent;
  record->threadId = GetCurrentThreadId();
  if (x == CW_USEDEFAULT) x = y = 100;
  if (width == CW_USEDEFAULT) width = 640, height = 480;
  if (width < 0) width = 0;
  if (height < 0) height = 0;
  record->windowRect = RECT{x, y, x + width, y + height};
  RECT frame = FrameOf(record->style, exStyle, record->menu != nullptr);
  record->clientRect = RECT{x + frame.left, y + frame.top, std::max(x + frame.left, x + width - frame.right),
                            std::max(y + frame.top, y + height - frame.bottom)};
  WindowRecord* raw = record.get();
  User().windows[raw] = std::move(record);
  ++raw->windowClass->windows;
  if (!child) {
    raw->classLockDescriptor = AcquireClassLock(raw->className);
    CreateSdlWindow(raw);
  }
  HWND handle = HandleOf(raw);
  lock.unlock();

  CREATESTRUCTA create{parameter,  instance,  menu,   parent, height, width, y, x, static_cast<LONG>(style),
                       windowName, className, exStyle};
  if (SendMessageA(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create)) == 0 ||
      SendMessageA(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    DestroyWindow(handle);
    return nullptr;
  }
  if (!IsWindow(handle)) return nullptr;
  RECT client;
  GetClientRect(handle, &client);
  SendMessageA(handle, WM_SIZE, SIZE_RESTORED, MAKELONG(client.right, client.bottom));
  POINT origin{0, 0};
  ClientToScreen(handle, &origin);
  SendMessageA(handle, WM_MOVE, 0, MAKELONG(origin.x, origin.y));
  if (style & WS_VISIBLE) ShowWindow(handle, SW_SHOW);
  return IsWindow(handle) ? handle : nullptr;
}

BOOL DestroyWindow(HWND window) {
  Lock lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (record->destroying) return TRUE;
  record->destroying = true;
  std::vector<HWND> children;
  for (auto& entry : User().windows)
    if (entry.second->parent == window && (entry.second->style & WS_CHILD)) children.push_back(HandleOf(entry.first));
  bool wasForeground = User().foreground == window;
  lock.unlock();

  if (wasForeground) {
    SendMessageA(window, WM_ACTIVATE, WA_INACTIVE, 0);
    SendMessageA(window, WM_ACTIVATEAPP, FALSE, 0);
  }
  // The window hears of its end before its children do, as on the platform.
  SendMessageA(window, WM_DESTROY, 0, 0);
  for (HWND child : children) DestroyWindow(child);
  SendMessageA(window, WM_NCDESTROY, 0, 0);

  lock.lock();
  record = LookUpWindow(window);
  if (!record) return TRUE;
  if (User().foreground == window) User().foreground = nullptr;
  if (User().focus == window) User().focus = nullptr;
  for (auto& queue : User().queues) {
    auto& posted = queue.second.posted;
    for (auto it = posted.begin(); it != posted.end();) it = it->hwnd == window ? posted.erase(it) : it + 1;
  }
  DestroySdlWindow(record);
  if (record->classLockDescriptor >= 0) ReleaseClassLock(record->className);
  --record->windowClass->windows;
  User().windows.erase(record);
  return TRUE;
}

BOOL IsWindow(HWND window) {
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  return LookUpWindow(window) != nullptr;
}

BOOL IsWindowVisible(HWND window) {
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  return record && record->visible;
}

BOOL IsIconic(HWND window) {
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  return record && record->minimised;
}

LRESULT CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return procedure ? procedure(window, message, wParam, lParam) : 0;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE:
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_CLOSE:
          SendMessageA(window, WM_CLOSE, 0, 0);
          return 0;
        case SC_MINIMIZE:
          ShowWindow(window, SW_MINIMIZE);
          return 0;
        case SC_RESTORE:
          ShowWindow(window, SW_RESTORE);
          return 0;
        default:
          return 0;
      }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      if (BeginPaint(window, &paint)) EndPaint(window, &paint);
      return 0;
    }
    case WM_ERASEBKGND: {
      std::unique_lock<std::recursive_mutex> lock(User().mutex);
      WindowRecord* record = LookUpWindow(window);
      HBRUSH brush = record && record->windowClass ? record->windowClass->background : nullptr;
      lock.unlock();
      if (!brush) return 0;
      RECT client;
      GetClientRect(window, &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, brush);
      return 1;
    }
    case WM_NCHITTEST:
      return HTCLIENT;
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT) {
        std::unique_lock<std::recursive_mutex> lock(User().mutex);
        WindowRecord* record = LookUpWindow(window);
        HCURSOR cursor = record && record->windowClass ? record->windowClass->cursor : nullptr;
        lock.unlock();
        SetCursor(cursor);
        return TRUE;
      }
      return FALSE;
    case WM_SYSKEYDOWN:
      if (wParam == VK_F1 + 3) PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
      return 0;
    default:
      return 0;
  }
}

LONG_PTR GetWindowLongPtrA(HWND window, int index) {
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  switch (index) {
    case GWL_WNDPROC:
      return reinterpret_cast<LONG_PTR>(record->procedure);
    case GWL_STYLE:
      return static_cast<LONG_PTR>(record->style | (record->visible ? WS_VISIBLE : 0) |
                                   (record->minimised ? WS_MINIMIZE : 0));
    case GWL_EXSTYLE:
      return static_cast<LONG_PTR>(record->exStyle);
    case GWL_HINSTANCE:
      return reinterpret_cast<LONG_PTR>(record->instance);
    case GWL_USERDATA:
      return record->userData;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
  }
}

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
  Lock lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  LONG_PTR previous = 0;
  switch (index) {
    case GWL_WNDPROC:
      previous = reinterpret_cast<LONG_PTR>(record->procedure);
      record->procedure = reinterpret_cast<WNDPROC>(value);
      return previous;
    case GWL_STYLE: {
      previous = static_cast<LONG_PTR>(record->style | (record->visible ? WS_VISIBLE : 0));
      DWORD style = static_cast<DWORD>(value);
      record->style = style & ~(WS_VISIBLE | WS_MINIMIZE);
      bool show = (style & WS_VISIBLE) && !record->visible;
      bool hide = !(style & WS_VISIBLE) && record->visible;
      if (show || hide) {
        record->visible = show;
        if (show) InvalidateWindow(record, nullptr);
      }
      UpdateSdlWindow(record);
      return previous;
    }
    case GWL_EXSTYLE:
      previous = static_cast<LONG_PTR>(record->exStyle);
      record->exStyle = static_cast<DWORD>(value);
      UpdateSdlWindow(record);
      return previous;
    case GWL_USERDATA:
      previous = record->userData;
      record->userData = value;
      return previous;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
  }
}

LONG_PTR GetWindowLongA(HWND window, int index) { return GetWindowLongPtrA(window, index); }
LONG_PTR SetWindowLongA(HWND window, int index, LONG_PTR value) { return SetWindowLongPtrA(window, index, value); }

BOOL SetWindowTextA(HWND window, LPCSTR text) {
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record) return FALSE;
  record->title = text ? text : "";
  UpdateSdlWindow(record);
  return TRUE;
}

int GetWindowTextA(HWND window, LPSTR out, int size) {
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record || !out || size <= 0) return 0;
  int length = std::min<int>(static_cast<int>(record->title.size()), size - 1);
  std::memcpy(out, record->title.data(), length);
  out[length] = 0;
  return length;
}

int GetClassNameA(HWND window, LPSTR out, int size) {
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record || !out || size <= 0) return 0;
  int length = std::min<int>(static_cast<int>(record->className.size()), size - 1);
  std::memcpy(out, record->className.data(), length);
  out[length] = 0;
  return length;
}

// The one handle FindWindowA gives for a window held by another process.
static WindowRecord g_foreignWindow;

HWND FindWindowA(LPCSTR className, LPCSTR windowName) {
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  std::string key = className ? UpperCase(className) : std::string();
  for (auto& entry : User().windows) {
    WindowRecord* record = entry.second.get();
    if (record->style & WS_CHILD || record->destroying) continue;
    if (className && UpperCase(record->className) != key) continue;
    if (windowName && record->title != windowName) continue;
    return HandleOf(record);
  }
  if (className && !windowName && ClassHeldElsewhere(className)) return HandleOf(&g_foreignWindow);
  return nullptr;
}

int SetWindowRgn(HWND window, HRGN region, BOOL) {
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record) return 0;
  record->region = region;
  return 1;
}

BOOL ShowWindow(HWND window, int command) {
  Lock lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record) return FALSE;
  BOOL wasVisible = record->visible;
  bool activate = false;
  bool minimise = false;
  switch (command) {
    case SW_HIDE:
      record->visible = false;
      break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
      record->visible = true;
      minimise = !record->minimised;
      record->minimised = true;
      break;
    case SW_SHOWNOACTIVATE:
    case SW_SHOWNA:
      record->visible = true;
      break;
    default:
      record->visible = true;
      record->minimised = false;
      activate = !(record->style & WS_CHILD);
      break;
  }
  if (record->visible && !wasVisible) InvalidateWindow(record, nullptr);
  UpdateSdlWindow(record);
  bool changed = (record->visible != 0) != (wasVisible != 0);
  bool wasForeground = User().foreground == window;
  lock.unlock();
  if (changed) SendMessageA(window, WM_SHOWWINDOW, !wasVisible, 0);
  if (minimise) {
    SendMessageA(window, WM_SIZE, SIZE_MINIMIZED, 0);
    if (wasForeground) {
      {
        std::lock_guard<std::recursive_mutex> relock(User().mutex);
        User().foreground = nullptr;
      }
      SendMessageA(window, WM_ACTIVATE, MAKELONG(WA_INACTIVE, 1), 0);
      SendMessageA(window, WM_ACTIVATEAPP, FALSE, 0);
    }
  }
  if (activate) Activate(window);
  return wasVisible;
}

BOOL UpdateWindow(HWND window) {
  Lock lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record) return FALSE;
  bool paint = record->invalid && record->visible;
  lock.unlock();
  if (paint) SendMessageA(window, WM_PAINT, 0, 0);
  return TRUE;
}

BOOL BringWindowToTop(HWND window) {
  if (!IsWindow(window)) return FALSE;
  Activate(window);
  return TRUE;
}

HWND SetActiveWindow(HWND window) {
  HWND previous = GetActiveWindow();
  if (IsWindow(window)) Activate(window);
  return previous;
}

HWND GetActiveWindow() {
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  return User().foreground;
}

BOOL SetForegroundWindow(HWND window) {
  if (!IsWindow(window)) return FALSE;
  Activate(window);
  return TRUE;
}

HWND GetForegroundWindow() { return GetActiveWindow(); }

HWND SetFocus(HWND window) {
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  HWND previous = User().focus;
  if (LookUpWindow(window)) User().focus = window;
  return previous;
}

HWND GetFocus() {
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  return User().focus;
}

DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId) {
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record) return 0;
  if (processId) *processId = GetCurrentProcessId();
  return record->threadId;
}

// Every window of this process shares one input state, so attaching changes nothing.
BOOL AttachThreadInput(DWORD, DWORD, BOOL) { return TRUE; }

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags) {
  Lock lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record) return FALSE;
  if (!(flags & SWP_NOZORDER)) {
    if (insertAfter == HWND_TOPMOST) record->exStyle |= WS_EX_TOPMOST;
    if (insertAfter == HWND_NOTOPMOST) record->exStyle &= ~WS_EX_TOPMOST;
  }
  RECT rect = record->windowRect;
  if (!(flags & SWP_NOMOVE)) {
    rect.right += x - rect.left;
    rect.bottom += y - rect.top;
    rect.left = x;
    rect.top = y;
  }
  if (!(flags & SWP_NOSIZE)) {
    rect.right = rect.left + std::max(0, width);
    rect.bottom = rect.top + std::max(0, height);
  }
  // The client area always follows the current styles, so a changed frame needs nothing more.
  UpdateSdlWindow(record);
  lock.unlock();
  ApplyWindowGeometry(window, rect);
  if (flags & SWP_SHOWWINDOW) ShowWindow(window, SW_SHOWNA);
  if (flags & SWP_HIDEWINDOW) ShowWindow(window, SW_HIDE);
  return TRUE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL) {
  if (!IsWindow(window)) return FALSE;
  ApplyWindowGeometry(window, RECT{x, y, x + std::max(0, width), y + std::max(0, height)});
  return TRUE;
}

BOOL GetWindowRect(HWND window, LPRECT rect) {
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record || !rect) return FALSE;
  *rect = record->windowRect;
  return TRUE;
}

BOOL GetClientRect(HWND window, LPRECT rect) {
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record || !rect) return FALSE;
  *rect = RECT{0, 0, record->clientRect.right - record->clientRect.left,
               record->clientRect.bottom - record->clientRect.top};
  return TRUE;
}

BOOL ClientToScreen(HWND window, LPPOINT point) {
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record || !point) return FALSE;
  point->x += record->clientRect.left;
  point->y += record->clientRect.top;
  return TRUE;
}

BOOL ScreenToClient(HWND window, LPPOINT point) {
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record || !point) return FALSE;
  point->x -= record->clientRect.left;
  point->y -= record->clientRect.top;
  return TRUE;
}

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL) {
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record) return FALSE;
  InvalidateWindow(record, rect);
  return TRUE;
}

BOOL ValidateRect(HWND window, const RECT*) {
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record) return FALSE;
  record->invalid = false;
  return TRUE;
}

BOOL GetUpdateRect(HWND window, LPRECT rect, BOOL) {
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record || !record->invalid) {
    if (rect) *rect = RECT{0, 0, 0, 0};
    return FALSE;
  }
  if (rect) *rect = record->invalidRect;
  return TRUE;
}

HDC BeginPaint(HWND window, LPPAINTSTRUCT paint) {
  Lock lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record || !paint) return nullptr;
  std::memset(paint, 0, sizeof(*paint));
  paint->rcPaint = record->invalid ? record->invalidRect : RECT{0, 0, 0, 0};
  record->invalid = false;
  lock.unlock();
  paint->hdc = GetDC(window);
  paint->fErase = SendMessageA(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(paint->hdc), 0) == 0;
  return paint->hdc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
  if (!paint) return FALSE;
  ReleaseDC(window, paint->hdc);
  return TRUE;
}
