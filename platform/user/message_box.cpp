// Message boxes: an SDL message box where a display is up, a line on stderr otherwise. The box
// is modal and has only its OK button, which is all the callers ask for.
//
// SDL shows its X11 box from a forked child, which inherits this process's descriptors, its X
// connection among them: while the child lives, the X server keeps this process's windows. So the
// child is tied to the thread that shows the box and dies with it; a program killed while its
// box is up takes the box and its windows along.
#include <SDL.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "platform/kernel.h"
#include "platform/user.h"
#include "user/user_state.h"

namespace {

// Set on the thread showing a box: the process it forks from. A forked child starts as a copy
// of that thread, so only children forked for the box see it set.
thread_local pid_t t_boxParent = 0;

void TieBoxChildToItsParent() {
  if (t_boxParent == 0) return;
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != t_boxParent) _exit(1);  // The parent ended before the tie was made.
}

}  // namespace

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
  const std::string body = platform::Cp932ToUtf8(text ? text : "");
  const std::string title = platform::Cp932ToUtf8(caption ? caption : "Error");
  if (platform::User().videoStarted) {
    static std::once_flag registered;
    std::call_once(registered, [] { pthread_atfork(nullptr, nullptr, TieBoxChildToItsParent); });
    t_boxParent = getpid();
    const int shown = SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, title.c_str(), body.c_str(), nullptr);
    t_boxParent = 0;
    if (shown == 0) return IDOK;
  }
  std::fprintf(stderr, "%s: %s\n", title.c_str(), body.c_str());
  return IDOK;
}
