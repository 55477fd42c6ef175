// The desktop window: a handle of its own that owns no SDL window, as programs that need "some
// window" (a sound device's cooperative level) are given when they have none.
#include "platform/user.h"

HWND GetDesktopWindow() {
  static HWND__ desktop;
  return &desktop;
}
