// The mouse for callers: cursor visibility (shown while asked for or while the menu is on screen),
// the position in screen pixels, moving the cursor, and the click log the window procedure fills.
// Nothing in the library reads or empties the click log, so it keeps the first 32 clicks.
#include "window/window_services.h"

namespace {

// The client area's top-left corner in desktop coordinates, below the tool bar.
POINT ClientOrigin() {
  POINT origin{0, 0};
  ClientToScreen(g_windowSystem.mainWindow, &origin);
  origin.y += QueryToolBarHeight();
  return origin;
}

}  // namespace

int SetCursorVisible(int flag) {
  WindowSystemRecord& record = g_windowSystem;
  if (flag != -1) record.run.requestedCursor = flag;
  int show = record.run.requestedCursor == 1 || IsMenuOnScreen() == 1 ? 1 : 0;
  if (flag != -1 && show == record.run.cursorShown) return 0;
  if (show) {
    while (ShowCursor(TRUE) < 0) {
    }
  } else {
    while (ShowCursor(FALSE) >= 0) {
    }
  }
  if (record.mainWindow)
    PostMessageA(record.mainWindow, WM_SETCURSOR, reinterpret_cast<WPARAM>(record.mainWindow), HTCLIENT);
  record.run.cursorShown = show;
  return 0;
}

int QueryMousePosition(int* x, int* y) {
  const WindowSystemRecord& record = g_windowSystem;
  POINT cursor{0, 0};
  GetCursorPos(&cursor);
  if (record.windowedMode) {
    POINT origin = ClientOrigin();
    double scaleX = 1.0, scaleY = 1.0;
    GetWindowScale(&scaleX, &scaleY);
    cursor.x = static_cast<LONG>((cursor.x - origin.x) / scaleX);
    cursor.y = static_cast<LONG>((cursor.y - origin.y) / scaleY);
  }
  if (x) *x = cursor.x;
  if (y) *y = cursor.y;
  return 0;
}

int MoveMouseCursor(int x, int y) {
  const WindowSystemRecord& record = g_windowSystem;
  int width = 0, height = 0;
  GraphicsHooks().screenSize(&width, &height);
  x = x < 0 ? 0 : (x > width ? width : x);
  y = y < 0 ? 0 : (y > height ? height : y);
  if (record.windowedMode) {
    // The inverse of QueryMousePosition, so a moved cursor reads back where it was put.
    POINT origin = ClientOrigin();
    double scaleX = 1.0, scaleY = 1.0;
    GetWindowScale(&scaleX, &scaleY);
    x = origin.x + static_cast<int>(x * scaleX);
    y = origin.y + static_cast<int>(y * scaleY);
  }
  SetCursorPos(x, y);
  return 0;
}

int RecordMouseClick(int buttons) {
  MenuRunState& menus = g_windowSystem.run.menus;
  if (menus.clickCount >= kMouseClickCapacity) return 0;
  MouseClick& click = menus.clicks[menus.clickCount++];
  click.buttons = buttons;
  QueryMousePosition(&click.x, &click.y);
  return 0;
}
