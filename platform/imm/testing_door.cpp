// The test door's text-input and clipboard switches: events go through SDL's queue, as the user's
// would.
#include <SDL.h>

#include <cstring>

#include "platform/testing.h"
#include "user/user_state.h"

namespace platform::testing {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

Uint32 SdlIdOf(HWND window) {
  SDL_Window* sdl = SdlWindowOf(window);
  return sdl ? SDL_GetWindowID(sdl) : 0;
}

bool VideoUp() {
  Lock lock(User().mutex);
  return StartVideo();
}

}  // namespace

void PostTextEditing(HWND window, const std::string& utf8, int cursorCharacters) {
  if (!VideoUp()) return;
  SDL_Event event{};
  event.type = SDL_TEXTEDITING;
  event.edit.windowID = SdlIdOf(window);
  std::strncpy(event.edit.text, utf8.c_str(), sizeof(event.edit.text) - 1);
  event.edit.start = cursorCharacters;
  SDL_PushEvent(&event);
}

void PostTextInput(HWND window, const std::string& utf8) {
  if (!VideoUp()) return;
  SDL_Event event{};
  event.type = SDL_TEXTINPUT;
  event.text.windowID = SdlIdOf(window);
  std::strncpy(event.text.text, utf8.c_str(), sizeof(event.text.text) - 1);
  SDL_PushEvent(&event);
}

std::string ReadSystemClipboard() {
  Lock lock(User().mutex);
  if (!User().videoStarted) return {};
  char* text = SDL_GetClipboardText();
  std::string result = text ? text : "";
  SDL_free(text);
  return result;
}

void WriteSystemClipboard(const std::string& utf8) {
  if (!VideoUp()) return;
  SDL_SetClipboardText(utf8.c_str());
}

}  // namespace platform::testing
