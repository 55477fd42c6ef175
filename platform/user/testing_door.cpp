// The test door's window, display and input switches.
#include <SDL.h>

#include <cstring>

#include "platform/testing.h"
#include "user/user_state.h"

namespace platform::testing {
namespace {
using Lock = std::lock_guard<std::recursive_mutex>;

Uint32 SdlIdOf(HWND window) {
  Lock lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  return record && record->sdlWindow ? SDL_GetWindowID(record->sdlWindow) : 0;
}

void Push(SDL_Event& event) {
  {
    Lock lock(User().mutex);
    if (!StartVideo()) return;
  }
  SDL_PushEvent(&event);
}
}  // namespace

void UseDummyVideoDriver() {
  Lock lock(User().mutex);
  User().videoDriver = "dummy";
}

void SetDisplayModes(const std::vector<DisplayModeDescription>& modes, const DisplayModeDescription& desktop) {
  Lock lock(User().mutex);
  User().modes.clear();
  for (const auto& mode : modes) User().modes.push_back(DisplayMode{mode.width, mode.height, mode.bits, mode.refresh});
  User().savedDesktop = User().currentDesktop = DisplayMode{desktop.width, desktop.height, desktop.bits,
                                                            desktop.refresh};
  User().displayKnown = true;
  User().testDisplay = true;
}

void UseSdlDisplayModes() {
  Lock lock(User().mutex);
  User().displayKnown = false;
  User().testDisplay = false;
}

void SetWindowLockDirectory(const std::string& directory) {
  Lock lock(User().mutex);
  User().lockDirectory = directory;
}

void PostKeyEvent(HWND window, int virtualKey, bool down) {
  SDL_Keycode code = SdlKeycodeOfVirtualKey(static_cast<UINT>(virtualKey));
  if (code == SDLK_UNKNOWN) return;
  SDL_Event event{};
  event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  event.key.windowID = SdlIdOf(window);
  event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  event.key.keysym.sym = code;
  event.key.keysym.scancode = SDL_GetScancodeFromKey(code);
  Push(event);
}

void PostMouseMove(HWND window, int x, int y) {
  SDL_Event event{};
  event.type = SDL_MOUSEMOTION;
  event.motion.windowID = SdlIdOf(window);
  event.motion.x = x;
  event.motion.y = y;
  Push(event);
}

void PostMouseButton(HWND window, int button, bool down, int x, int y) {
  SDL_Event event{};
  event.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
  event.button.windowID = SdlIdOf(window);
  event.button.button = static_cast<Uint8>(button);
  event.button.state = down ? SDL_PRESSED : SDL_RELEASED;
  event.button.x = x;
  event.button.y = y;
  Push(event);
}

void PostMouseWheel(HWND window, int steps) {
  SDL_Event event{};
  event.type = SDL_MOUSEWHEEL;
  event.wheel.windowID = SdlIdOf(window);
  event.wheel.y = steps;
  event.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
  Push(event);
}

static void PushWindowEvent(HWND window, Uint8 kind) {
  SDL_Event event{};
  event.type = SDL_WINDOWEVENT;
  event.window.windowID = SdlIdOf(window);
  event.window.event = kind;
  Push(event);
}

void PostCloseRequest(HWND window) { PushWindowEvent(window, SDL_WINDOWEVENT_CLOSE); }

void PostFocusChange(HWND window, bool gained) {
  PushWindowEvent(window, gained ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST);
}

bool ReadWindowState(HWND window, WindowState* out) {
  Lock lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record || !out) return false;
  out->className = record->className;
  out->title = record->title;
  out->style = record->style | (record->visible ? WS_VISIBLE : 0);
  out->exStyle = record->exStyle;
  out->windowRect = record->windowRect;
  out->clientRect = record->clientRect;
  out->visible = record->visible;
  out->minimised = record->minimised;
  out->hasSdlWindow = record->sdlWindow != nullptr;
  out->sdlWidth = out->sdlHeight = 0;
  out->sdlTitle.clear();
  if (record->sdlWindow) {
    SDL_GetWindowSize(record->sdlWindow, &out->sdlWidth, &out->sdlHeight);
    out->sdlTitle = SDL_GetWindowTitle(record->sdlWindow);
  }
  out->timers = static_cast<int>(record->timers.size());
  return true;
}

bool ScreenSaverActive() {
  Lock lock(User().mutex);
  return User().screenSaverActive != FALSE;
}

bool ReadShownPixel(HWND window, int x, int y, uint32_t* rgb) {
  Lock lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record || !record->sdlWindow || !rgb) return false;
  SDL_Surface* surface = SDL_GetWindowSurface(record->sdlWindow);
  if (!surface || x < 0 || y < 0 || x >= surface->w || y >= surface->h) return false;
  Uint32 pixel = 0;
  const Uint8* row = static_cast<const Uint8*>(surface->pixels) + static_cast<size_t>(y) * surface->pitch;
  std::memcpy(&pixel, row + static_cast<size_t>(x) * surface->format->BytesPerPixel, surface->format->BytesPerPixel);
  Uint8 r = 0, g = 0, b = 0;
  SDL_GetRGB(pixel, surface->format, &r, &g, &b);
  *rgb = (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | b;
  return true;
}

int CountWindows() {
  Lock lock(User().mutex);
  return static_cast<int>(User().windows.size());
}

}  // namespace platform::testing
