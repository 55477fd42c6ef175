// Until the window stand-in defines the desktop window, sound start-up gets a fixed stand-in
// handle from here. Weak, so the window stand-in's own definition takes its place.
#include "platform/user.h"

__attribute__((weak)) HWND GetDesktopWindow() {
  static HWND__ desktop;
  return &desktop;
}
