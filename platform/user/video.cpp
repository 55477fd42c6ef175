// SDL's video subsystem behind the windows: the display model, the SDL window of each top-level
// window, and SDL events turned into window messages.
#include <SDL.h>

#include <algorithm>
#include <cstdio>

#include "imm/text_events.h"
#include "kernel/objects.h"
#include "platform/dinput.h"
#include "platform/kernel.h"
#include "user/user_state.h"

namespace platform {
namespace {

// Virtual keys of SDL keys; letters and digits map by their own codes.
struct KeyPair {
  SDL_Keycode sdl;
  UINT key;
};
const KeyPair kKeyTable[] = {
    {SDLK_BACKSPACE, VK_BACK},
    {SDLK_TAB, VK_TAB},
    {SDLK_RETURN, VK_RETURN},
    {SDLK_KP_ENTER, VK_RETURN},
    {SDLK_ESCAPE, VK_ESCAPE},
    {SDLK_SPACE, VK_SPACE},
    {SDLK_PAGEUP, VK_PRIOR},
    {SDLK_PAGEDOWN, VK_NEXT},
    {SDLK_END, VK_END},
    {SDLK_HOME, VK_HOME},
    {SDLK_LEFT, VK_LEFT},
    {SDLK_UP, VK_UP},
    {SDLK_RIGHT, VK_RIGHT},
    {SDLK_DOWN, VK_DOWN},
    {SDLK_INSERT, VK_INSERT},
    {SDLK_DELETE, VK_DELETE},
    {SDLK_LSHIFT, VK_SHIFT},
    {SDLK_RSHIFT, VK_SHIFT},
    {SDLK_LCTRL, VK_CONTROL},
    {SDLK_RCTRL, VK_CONTROL},
    {SDLK_LALT, VK_MENU},
    {SDLK_RALT, VK_MENU},
    {SDLK_PAUSE, VK_PAUSE},
    {SDLK_CAPSLOCK, VK_CAPITAL},
    {SDLK_NUMLOCKCLEAR, VK_NUMLOCK},
    {SDLK_SCROLLLOCK, VK_SCROLL},
    {SDLK_SEMICOLON, VK_OEM_1},
    {SDLK_EQUALS, VK_OEM_PLUS},
    {SDLK_COMMA, VK_OEM_COMMA},
    {SDLK_MINUS, VK_OEM_MINUS},
    {SDLK_PERIOD, VK_OEM_PERIOD},
    {SDLK_SLASH, VK_OEM_2},
    {SDLK_BACKQUOTE, VK_OEM_3},
    {SDLK_LEFTBRACKET, VK_OEM_4},
    {SDLK_BACKSLASH, VK_OEM_5},
    {SDLK_RIGHTBRACKET, VK_OEM_6},
    {SDLK_QUOTE, VK_OEM_7},
    {SDLK_KP_MULTIPLY, VK_MULTIPLY},
    {SDLK_KP_PLUS, VK_ADD},
    {SDLK_KP_MINUS, VK_SUBTRACT},
    {SDLK_KP_PERIOD, VK_DECIMAL},
    {SDLK_KP_DIVIDE, VK_DIVIDE},
};

UINT VirtualKeyOf(SDL_Keycode sym) {
  if (sym >= SDLK_a && sym <= SDLK_z) return static_cast<UINT>('A' + (sym - SDLK_a));
  if (sym >= SDLK_0 && sym <= SDLK_9) return static_cast<UINT>('0' + (sym - SDLK_0));
  if (sym >= SDLK_F1 && sym <= SDLK_F12) return static_cast<UINT>(VK_F1 + (sym - SDLK_F1));
  if (sym >= SDLK_KP_1 && sym <= SDLK_KP_9) return static_cast<UINT>(VK_NUMPAD0 + 1 + (sym - SDLK_KP_1));
  if (sym == SDLK_KP_0) return VK_NUMPAD0;
  for (const KeyPair& pair : kKeyTable)
    if (pair.sdl == sym) return pair.key;
  return 0;
}

WindowRecord* WindowOfSdlId(Uint32 id) {
  for (auto& entry : User().windows)
    if (entry.second->sdlWindow && SDL_GetWindowID(entry.second->sdlWindow) == id && !entry.second->destroying)
      return entry.second.get();
  return nullptr;
}

WPARAM MouseKeyFlags() {
  Uint32 buttons = SDL_GetMouseState(nullptr, nullptr);
  WPARAM flags = 0;
  if (buttons & SDL_BUTTON_LMASK) flags |= MK_LBUTTON;
  if (buttons & SDL_BUTTON_RMASK) flags |= MK_RBUTTON;
  if (buttons & SDL_BUTTON_MMASK) flags |= MK_MBUTTON;
  if (User().keys[VK_SHIFT] & 0x80) flags |= MK_SHIFT;
  if (User().keys[VK_CONTROL] & 0x80) flags |= MK_CONTROL;
  return flags;
}

void Post(WindowRecord* window, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg{HandleOf(window),     message, wParam, lParam, static_cast<DWORD>(NowMicroseconds() / 1000u),
          User().cursorPosition};
  PostToQueue(window->threadId, msg);
}

void TranslateSdlEvent(const SDL_Event& event) {
  switch (event.type) {
    case SDL_WINDOWEVENT: {
      WindowRecord* window = WindowOfSdlId(event.window.windowID);
      if (!window) return;
      switch (event.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
          Post(window, WM_SYSCOMMAND, SC_CLOSE, 0);
          break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          if (User().foreground == HandleOf(window)) break;
          User().foreground = User().focus = HandleOf(window);
          Post(window, WM_ACTIVATEAPP, TRUE, 0);
          Post(window, WM_ACTIVATE, WA_ACTIVE, 0);
          break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
          if (User().foreground != HandleOf(window)) break;
          User().foreground = nullptr;
          ReleaseAllKeys();
          Post(window, WM_ACTIVATE, MAKELONG(WA_INACTIVE, window->minimised ? 1 : 0), 0);
          Post(window, WM_ACTIVATEAPP, FALSE, 0);
          break;
        case SDL_WINDOWEVENT_EXPOSED:
          InvalidateWindow(window, nullptr);
          break;
        case SDL_WINDOWEVENT_MINIMIZED:
          window->minimised = true;
          break;
        case SDL_WINDOWEVENT_RESTORED:
          window->minimised = false;
          InvalidateWindow(window, nullptr);
          break;
        default:
          break;
      }
      return;
    }
    case SDL_SYSWMEVENT:
      NoteSystemEvent(event.syswm.msg);
      return;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      // The keyboard table that DirectInput and GetKeyboardState read follows every key.
      OnKeyboardEvent(event.key.keysym.scancode, event.type == SDL_KEYDOWN);
      UINT key = VirtualKeyOf(event.key.keysym.sym);
      if (key == 0) return;
      bool down = event.type == SDL_KEYDOWN;
      bool wasDown = (User().keys[key] & 0x80) != 0;
      if (down) {
        if (!wasDown) User().keys[key] ^= 1;  // Toggle state, as caps lock keeps it.
        User().keys[key] |= 0x80;
      } else {
        User().keys[key] &= static_cast<BYTE>(~0x80);
      }
      WindowRecord* window = WindowOfSdlId(event.key.windowID);
      if (!window) window = LookUpWindow(User().focus);
      if (!window) return;
      bool alt = (User().keys[VK_MENU] & 0x80) || key == VK_MENU;
      UINT message = down ? (alt || key == VK_F1 + 9 ? WM_SYSKEYDOWN : WM_KEYDOWN) : (alt ? WM_SYSKEYUP : WM_KEYUP);
      LPARAM lParam = 1 | (static_cast<LPARAM>(event.key.keysym.scancode & 0xFF) << 16);
      if (alt) lParam |= 1 << 29;
      if (wasDown) lParam |= 1 << 30;
      if (!down) lParam |= static_cast<LPARAM>(3u << 30);
      Post(window, message, key, static_cast<LPARAM>(static_cast<int32_t>(lParam)));
      return;
    }
    case SDL_MOUSEMOTION: {
      WindowRecord* window = WindowOfSdlId(event.motion.windowID);
      if (!window) return;
      User().cursorPosition = POINT{window->clientRect.left + event.motion.x, window->clientRect.top + event.motion.y};
      Post(window, WM_MOUSEMOVE, MouseKeyFlags(), MAKELONG(event.motion.x, event.motion.y));
      return;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      WindowRecord* window = WindowOfSdlId(event.button.windowID);
      if (!window) return;
      bool down = event.type == SDL_MOUSEBUTTONDOWN;
      UINT message = 0;
      switch (event.button.button) {
        case SDL_BUTTON_LEFT:
          message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
          break;
        case SDL_BUTTON_RIGHT:
          message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
          break;
        case SDL_BUTTON_MIDDLE:
          message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
          break;
        default:
          return;
      }
      User().cursorPosition = POINT{window->clientRect.left + event.button.x, window->clientRect.top + event.button.y};
      Post(window, message, MouseKeyFlags(), MAKELONG(event.button.x, event.button.y));
      return;
    }
    case SDL_TEXTEDITING: {
      WindowRecord* window = WindowOfSdlId(event.edit.windowID);
      if (!window) window = LookUpWindow(User().focus);
      if (window) OnTextEditing(window, event.edit.text, event.edit.start);
      return;
    }
    case SDL_TEXTINPUT: {
      WindowRecord* window = WindowOfSdlId(event.text.windowID);
      if (!window) window = LookUpWindow(User().focus);
      if (window) OnTextInput(window, event.text.text);
      return;
    }
    case SDL_MOUSEWHEEL: {
      WindowRecord* window = WindowOfSdlId(event.wheel.windowID);
      if (!window) return;
      int delta = event.wheel.y * WHEEL_DELTA;
      if (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) delta = -delta;
      Post(window, WM_MOUSEWHEEL, MAKELONG(MouseKeyFlags(), delta),
           MAKELONG(User().cursorPosition.x, User().cursorPosition.y));
      return;
    }
    default:
      return;
  }
}

}  // namespace

bool StartVideo() {
  UserState& user = User();
  if (user.videoStarted) return true;
  if (user.videoFailed) return false;
  if (!user.videoDriver.empty()) SDL_SetHint(SDL_HINT_VIDEODRIVER, user.videoDriver.c_str());
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // Both rendering paths finish their pictures in memory: the window surface goes straight to the
  // X server (shared memory where it can), not through an OpenGL texture, which on a machine
  // without a GPU costs a software GL driver and its threads for every frame. The user's own
  // SDL_FRAMEBUFFER_ACCELERATION still wins, for machines where GL presents more cheaply.
  SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_DEFAULT);
  if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
    user.videoFailed = true;
    // The reason the program cannot open its window is for its user, not only a debugger.
    std::fprintf(stderr, "SDL video could not start: %s\n", SDL_GetError());
    return false;
  }
  // With no display at all SDL falls back to its off-screen driver, where a window would run
  // unseen and could never be closed by its user: unless that driver was asked for, there is no
  // screen to start on.
  const char* chosen = SDL_GetHint(SDL_HINT_VIDEODRIVER);
  const char* current = SDL_GetCurrentVideoDriver();
  if (current && std::string(current) == "offscreen" && (!chosen || !*chosen)) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
    user.videoFailed = true;
    std::fputs("SDL video could not start: no display to open a window on (set DISPLAY)\n", stderr);
    return false;
  }
  user.videoStarted = true;
  user.videoThread = GetCurrentThreadId();
  StartOutsideCloses();
  return true;
}

void EnsureDisplay() {
  UserState& user = User();
  if (user.displayKnown) return;
  user.displayKnown = true;
  DisplayMode desktop{1024, 768, 32, 60};
  std::vector<DisplayMode> modes;
  if (StartVideo()) {
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
      desktop = DisplayMode{mode.w, mode.h, static_cast<int>(SDL_BYTESPERPIXEL(mode.format)) * 8,
                            mode.refresh_rate ? mode.refresh_rate : 60};
    }
    int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; ++i) {
      if (SDL_GetDisplayMode(0, i, &mode) != 0) continue;
      DisplayMode entry{mode.w, mode.h, static_cast<int>(SDL_BYTESPERPIXEL(mode.format)) * 8,
                        mode.refresh_rate ? mode.refresh_rate : 60};
      bool known = std::any_of(modes.begin(), modes.end(), [&](const DisplayMode& m) {
        return m.width == entry.width && m.height == entry.height && m.bits == entry.bits && m.refresh == entry.refresh;
      });
      if (!known) modes.push_back(entry);
    }
  }
  if (modes.empty()) modes.push_back(desktop);
  user.modes = modes;
  user.savedDesktop = user.currentDesktop = desktop;
}

void CreateSdlWindow(WindowRecord* window) {
  if (!User().videoStarted) return;
  Uint32 flags = SDL_WINDOW_HIDDEN;
  int width = std::max<LONG>(1, window->clientRect.right - window->clientRect.left);
  int height = std::max<LONG>(1, window->clientRect.bottom - window->clientRect.top);
  std::string title = Cp932ToUtf8(window->title);
  window->sdlWindow = SDL_CreateWindow(title.c_str(), window->clientRect.left, window->clientRect.top, width, height,
                                       flags);
  if (window->sdlWindow) WatchCloseSignals();
  ApplySdlWindowIcon(window);
  UpdateSdlWindow(window);
}

void UpdateSdlWindow(WindowRecord* window) {
  SDL_Window* sdl = window->sdlWindow;
  // A window another client destroyed only waits for its close: SDL would wait forever for it
  // to be shown or hidden.
  if (!sdl || window->destroyedFromOutside) return;
  std::string title = Cp932ToUtf8(window->title);
  if (title != SDL_GetWindowTitle(sdl)) SDL_SetWindowTitle(sdl, title.c_str());
  SDL_SetWindowBordered(sdl, (window->style & WS_CAPTION) == WS_CAPTION ? SDL_TRUE : SDL_FALSE);
  SDL_SetWindowResizable(sdl, (window->style & WS_THICKFRAME) ? SDL_TRUE : SDL_FALSE);
#if SDL_VERSION_ATLEAST(2, 0, 16)
  SDL_SetWindowAlwaysOnTop(sdl, (window->exStyle & WS_EX_TOPMOST) ? SDL_TRUE : SDL_FALSE);
#endif
  int width = std::max<LONG>(1, window->clientRect.right - window->clientRect.left);
  int height = std::max<LONG>(1, window->clientRect.bottom - window->clientRect.top);
  int oldWidth = 0, oldHeight = 0, oldX = 0, oldY = 0;
  SDL_GetWindowSize(sdl, &oldWidth, &oldHeight);
  if (oldWidth != width || oldHeight != height) SDL_SetWindowSize(sdl, width, height);
  SDL_GetWindowPosition(sdl, &oldX, &oldY);
  if (oldX != window->clientRect.left || oldY != window->clientRect.top)
    SDL_SetWindowPosition(sdl, window->clientRect.left, window->clientRect.top);
  bool shown = (SDL_GetWindowFlags(sdl) & SDL_WINDOW_SHOWN) != 0;
  if (window->visible && !shown) SDL_ShowWindow(sdl);
  if (!window->visible && shown) SDL_HideWindow(sdl);
  bool minimised = (SDL_GetWindowFlags(sdl) & SDL_WINDOW_MINIMIZED) != 0;
  if (window->minimised && !minimised && window->visible) SDL_MinimizeWindow(sdl);
}

void ApplySdlWindowIcon(WindowRecord* window) {
  if (!window->sdlWindow || !window->windowClass) return;
  const IconRecord* icon = IconOf(window->windowClass->icon);
  if (!icon) return;
  // The pixels are only read: SDL keeps a copy of its own.
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(icon->pixels.data()), icon->width,
                                                            icon->height, 32, icon->width * 4,
                                                            SDL_PIXELFORMAT_ARGB8888);
  if (!surface) return;
  SDL_SetWindowIcon(window->sdlWindow, surface);
  SDL_FreeSurface(surface);
}

void DestroySdlWindow(WindowRecord* window) {
  if (!window->sdlWindow) return;
  if (window->destroyedFromOutside)
    DestroyGoneSdlWindow(window->sdlWindow);
  else
    SDL_DestroyWindow(window->sdlWindow);
  window->sdlWindow = nullptr;
}

void PumpSdlEvents() {
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  if (!User().videoStarted || GetCurrentThreadId() != User().videoThread) return;
  SDL_PumpEvents();
  SDL_Event event;
  while (SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) TranslateSdlEvent(event);
  TakeOutsideCloses();
}

int SdlKeycodeOfVirtualKey(UINT key) {
  if (key >= 'A' && key <= 'Z') return SDLK_a + static_cast<int>(key - 'A');
  if (key >= '0' && key <= '9') return SDLK_0 + static_cast<int>(key - '0');
  if (key >= VK_F1 && key <= VK_F12) return SDLK_F1 + static_cast<int>(key - VK_F1);
  if (key == VK_NUMPAD0) return SDLK_KP_0;
  if (key > VK_NUMPAD0 && key <= VK_NUMPAD0 + 9) return SDLK_KP_1 + static_cast<int>(key - VK_NUMPAD0 - 1);
  for (const KeyPair& pair : kKeyTable)
    if (pair.key == key) return pair.sdl;
  return SDLK_UNKNOWN;
}

SDL_Window* SdlWindowOf(HWND window) {
  std::lock_guard<std::recursive_mutex> lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  return record ? record->sdlWindow : nullptr;
}

}  // namespace platform
