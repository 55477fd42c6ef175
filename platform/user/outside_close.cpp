// Closes that come from outside the program: SIGINT, SIGTERM and SIGHUP, and a window that
// another X client destroyed. Each is posted to the window as its close button's WM_SYSCOMMAND
// SC_CLOSE, so the program ends through its own shut-down (its data saved, its log complete).
//
// A signal only sets a flag; the video thread turns it into the close at its next event pump. A
// second signal of the same kind gets the default action, so a program that no longer pumps can
// still be stopped; the next window made takes signals again. A signal the process ignores
// (nohup) or handles itself is left alone.
//
// A window destroyed by another client is seen by its DestroyNotify (SDL passes the X events on
// as system events). Until the program has closed it, every request on it fails; the X error
// handler sets aside the errors about our own windows that say they no longer exist, which the
// default handler would end the process for, and passes every other error on.
#include <SDL.h>
#include <dlfcn.h>
#include <signal.h>

#include <atomic>
#include <mutex>
#include <set>

#include "kernel/objects.h"
#include "platform/kernel.h"
#include "user/user_state.h"

// Last: Xlib's macros (None, Bool, Status, ...) must not reach the platform's headers.
#include <SDL_syswm.h>

namespace platform {
namespace {

constexpr int kCloseSignals[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<bool> g_closeSignalled{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void OnCloseSignal(int) { g_closeSignalled.store(true); }

// ---- X errors about our own windows ----

using XErrorHandlerFunction = int (*)(Display*, XErrorEvent*);
using SetErrorHandlerFunction = XErrorHandlerFunction (*)(XErrorHandlerFunction);
using SyncFunction = int (*)(Display*, int);

constexpr unsigned char kBadWindow = 3;
constexpr unsigned char kBadDrawable = 9;
constexpr unsigned char kFirstExtensionError = 128;  // GLXBadDrawable and the like.

struct X11Record {
  std::mutex mutex;                 // Its own: the error handler runs inside Xlib calls of any thread.
  std::set<unsigned long> windows;  // Every X window that has been behind one of ours.
  XErrorHandlerFunction previousHandler = nullptr;
  SyncFunction sync = nullptr;
};

X11Record& X11() {
  static auto* record = new X11Record;
  return *record;
}

int OnX11Error(Display* display, XErrorEvent* error) {
  X11Record& x11 = X11();
  XErrorHandlerFunction previous = nullptr;
  {
    std::lock_guard<std::mutex> lock(x11.mutex);
    const bool gone = error->error_code == kBadWindow || error->error_code == kBadDrawable ||
                      error->error_code >= kFirstExtensionError;
    if (gone && x11.windows.count(error->resourceid)) return 0;
    previous = x11.previousHandler;
  }
  return previous ? previous(display, error) : 0;
}

void InstallX11ErrorHandler() {
  // SDL has loaded Xlib already; the platform takes the two calls from it rather than link it.
  void* xlib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
  if (!xlib) return;
  auto setHandler = reinterpret_cast<SetErrorHandlerFunction>(dlsym(xlib, "XSetErrorHandler"));
  X11Record& x11 = X11();
  std::lock_guard<std::mutex> lock(x11.mutex);
  x11.sync = reinterpret_cast<SyncFunction>(dlsym(xlib, "XSync"));
  if (setHandler) x11.previousHandler = setHandler(OnX11Error);
  dlclose(xlib);  // Only drops the reference taken above: SDL keeps the library loaded.
}

bool X11WindowOf(SDL_Window* window, unsigned long* id, Display** display = nullptr) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  *id = info.info.x11.window;
  if (display) *display = info.info.x11.display;
  return true;
}

void PostClose(WindowRecord* window) {
  MSG msg{HandleOf(window),     WM_SYSCOMMAND, SC_CLOSE, 0, static_cast<DWORD>(NowMicroseconds() / 1000u),
          User().cursorPosition};
  PostToQueue(window->threadId, msg);
}

}  // namespace

void WatchCloseSignals() {
  for (int number : kCloseSignals) {
    struct sigaction current {};
    if (sigaction(number, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
    struct sigaction close {};
    close.sa_handler = OnCloseSignal;
    sigemptyset(&close.sa_mask);
    close.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(number, &close, nullptr);
  }
}

void StartOutsideCloses() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (driver && std::string(driver) == "x11") {
    InstallX11ErrorHandler();
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
  }
}

void TakeOutsideCloses() {
  UserState& user = User();
  std::vector<WindowRecord*> shown;
  for (auto& entry : user.windows) {
    WindowRecord* window = entry.second.get();
    if (!window->sdlWindow || window->destroying || window->threadId != user.videoThread) continue;
    shown.push_back(window);
    // SDL may put a new X window behind an SDL window (to present through OpenGL): errors about
    // either are ours.
    unsigned long id = 0;
    if (X11WindowOf(window->sdlWindow, &id)) {
      std::lock_guard<std::mutex> lock(X11().mutex);
      X11().windows.insert(id);
    }
  }
  if (!g_closeSignalled.exchange(false)) return;
  for (WindowRecord* window : shown) PostClose(window);
  // No window to close: the thread's message loop is told to end instead.
  if (shown.empty()) PostQuitMessage(0);
}

void NoteSystemEvent(const SDL_SysWMmsg* message) {
  if (!message || message->subsystem != SDL_SYSWM_X11 || message->msg.x11.event.type != DestroyNotify) return;
  const unsigned long destroyed = message->msg.x11.event.xdestroywindow.window;
  for (auto& entry : User().windows) {
    WindowRecord* window = entry.second.get();
    unsigned long id = 0;
    // SDL's own replacement of an X window also ends in a DestroyNotify, for the old one.
    if (window->destroyedFromOutside || window->destroying || !X11WindowOf(window->sdlWindow, &id) || id != destroyed)
      continue;
    window->destroyedFromOutside = true;
    PostClose(window);
  }
}

void DestroyGoneSdlWindow(SDL_Window* window) {
  unsigned long id = 0;
  Display* display = nullptr;
  const bool x11 = X11WindowOf(window, &id, &display);
  SDL_DestroyWindow(window);
  // The errors of destroying a window that no longer exists are taken now, while the handler
  // that sets them aside is in place, not when the display closes.
  SyncFunction sync = nullptr;
  {
    std::lock_guard<std::mutex> lock(X11().mutex);
    sync = X11().sync;
  }
  if (x11 && sync) sync(display, 0);
}

}  // namespace platform
