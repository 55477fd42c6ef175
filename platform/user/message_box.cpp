// Message boxes: an SDL message box where a display is up, a line on stderr otherwise. The box
// is modal and has only its OK button, which is all the callers ask for.
#include <SDL.h>

#include <cstdio>
#include <string>

#include "platform/kernel.h"
#include "platform/user.h"
#include "user/user_state.h"

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
  const std::string body = platform::Cp932ToUtf8(text ? text : "");
  const std::string title = platform::Cp932ToUtf8(caption ? caption : "Error");
  if (platform::User().videoStarted &&
      SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, title.c_str(), body.c_str(), nullptr) == 0) {
    return IDOK;
  }
  std::fprintf(stderr, "%s: %s\n", title.c_str(), body.c_str());
  return IDOK;
}
