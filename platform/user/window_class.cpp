// Window classes, the registry of windows, icons and cursors.
#include <strings.h>

#include "platform/kernel.h"
#include "user/user_state.h"

namespace platform {

UserState& User() {
  static UserState* state = new UserState;  // Never destroyed: threads may outlive exit.
  return *state;
}

WindowRecord* LookUpWindow(HWND window) {
  auto& windows = User().windows;
  auto found = windows.find(reinterpret_cast<WindowRecord*>(window));
  return found == windows.end() ? nullptr : found->second.get();
}

// Class names compare without case; only single-byte letters fold, so a CP932 trail byte that
// happens to be a letter keeps its value.
std::string UpperCase(const std::string& text) {
  std::string out = text;
  for (size_t i = 0; i < out.size(); ++i) {
    unsigned char byte = static_cast<unsigned char>(out[i]);
    if (IsCp932LeadByte(byte)) {
      ++i;
      continue;
    }
    if (byte >= 'a' && byte <= 'z') out[i] = static_cast<char>(byte - 'a' + 'A');
  }
  return out;
}

}  // namespace platform

using namespace platform;

#define ERROR_CLASS_ALREADY_EXISTS 1410
#define ERROR_CLASS_DOES_NOT_EXIST 1411
#define ERROR_CLASS_HAS_WINDOWS 1412

ATOM RegisterClassExA(const WNDCLASSEXA* windowClass) {
  if (!windowClass || windowClass->cbSize != sizeof(WNDCLASSEXA) || !windowClass->lpszClassName ||
      !windowClass->lpfnWndProc || !*windowClass->lpszClassName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  std::string key = UpperCase(windowClass->lpszClassName);
  if (User().classes.count(key)) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  auto record = std::make_unique<WindowClassRecord>();
  record->name = windowClass->lpszClassName;
  record->style = windowClass->style;
  record->procedure = windowClass->lpfnWndProc;
  record->instance = windowClass->hInstance;
  record->icon = windowClass->hIcon;
  record->cursor = windowClass->hCursor;
  record->background = windowClass->hbrBackground;
  User().classes[key] = std::move(record);
  return static_cast<ATOM>(0xC000 + User().classes.size());
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
  if (!className) return FALSE;
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  auto found = User().classes.find(UpperCase(className));
  if (found == User().classes.end()) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  if (found->second->windows > 0) {
    SetLastError(ERROR_CLASS_HAS_WINDOWS);
    return FALSE;
  }
  User().classes.erase(found);
  return TRUE;
}

BOOL GetClassInfoExA(HINSTANCE, LPCSTR className, WNDCLASSEXA* out) {
  if (!className || !out) return FALSE;
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  auto found = User().classes.find(UpperCase(className));
  if (found == User().classes.end()) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  const WindowClassRecord& record = *found->second;
  *out = WNDCLASSEXA{};
  out->cbSize = sizeof(WNDCLASSEXA);
  out->style = record.style;
  out->lpfnWndProc = record.procedure;
  out->hInstance = record.instance;
  out->hIcon = record.icon;
  out->hCursor = record.cursor;
  out->hbrBackground = record.background;
  out->lpszClassName = record.name.c_str();
  return TRUE;
}

// Cursors are tokens: the stand-in draws none, but a resource id maps to one stable handle so
// that set and get agree. Icons are in icons.cpp.
HCURSOR LoadCursorA(HINSTANCE, LPCSTR name) {
  uintptr_t id = reinterpret_cast<uintptr_t>(name);
  if (id == 0 || id > 0xFFFF) return nullptr;
  return reinterpret_cast<HCURSOR>(0x20000 + id);
}

ULONG_PTR SetClassLongA(HWND window, int index, LONG_PTR value) {
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record || !record->windowClass) return 0;
  ULONG_PTR previous = 0;
  switch (index) {
    case GCL_HICON:
      previous = reinterpret_cast<ULONG_PTR>(record->windowClass->icon);
      record->windowClass->icon = reinterpret_cast<HICON>(value);
      for (auto& entry : User().windows)
        if (entry.second->windowClass == record->windowClass) ApplySdlWindowIcon(entry.second.get());
      break;
    case GCL_HCURSOR:
      previous = reinterpret_cast<ULONG_PTR>(record->windowClass->cursor);
      record->windowClass->cursor = reinterpret_cast<HCURSOR>(value);
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
  }
  return previous;
}

ULONG_PTR GetClassLongA(HWND window, int index) {
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record || !record->windowClass) return 0;
  if (index == GCL_HICON) return reinterpret_cast<ULONG_PTR>(record->windowClass->icon);
  if (index == GCL_HCURSOR) return reinterpret_cast<ULONG_PTR>(record->windowClass->cursor);
  return 0;
}
