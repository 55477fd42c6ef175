// Per-thread message queues: post, send, peek, get, translate, dispatch, and window timers.
#include <algorithm>
#include <condition_variable>
#include <thread>

#include "kernel/objects.h"
#include "platform/kernel.h"
#include "user/user_state.h"
#include "winsock/async_select.h"

namespace platform {
namespace {

using Lock = std::unique_lock<std::recursive_mutex>;

std::condition_variable_any& QueueCondition() {
  static auto* condition = new std::condition_variable_any;
  return *condition;
}

bool InRange(UINT message, UINT filterMin, UINT filterMax) {
  if (filterMin == 0 && filterMax == 0) return true;
  return message >= filterMin && message <= filterMax;
}

// Whether a message for `target` passes the window filter of a peek.
bool PassesWindowFilter(HWND target, HWND filter) {
  if (filter == nullptr) return true;
  if (filter == reinterpret_cast<HWND>(static_cast<intptr_t>(-1))) return target == nullptr;
  if (target == filter) return true;
  WindowRecord* record = LookUpWindow(target);
  while (record && record->parent) {
    if (record->parent == filter) return true;
    record = LookUpWindow(record->parent);
  }
  return false;
}

// The first posted message that passes the filter, or the queue's end; the caller holds the lock.
auto FindPosted(ThreadQueue& queue, HWND filter, UINT filterMin, UINT filterMax) {
  return std::find_if(queue.posted.begin(), queue.posted.end(), [&](const MSG& posted) {
    return PassesWindowFilter(posted.hwnd, filter) && InRange(posted.message, filterMin, filterMax);
  });
}

bool HasPostedMessage(DWORD thread, HWND filter, UINT filterMin, UINT filterMax) {
  ThreadQueue& queue = User().queues[thread];
  return FindPosted(queue, filter, filterMin, filterMax) != queue.posted.end();
}

// The sockets a call has just re-enabled are looked at on every retrieval, every selected socket
// only when no posted message waits: taking K messages then costs K small passes, not K passes
// over every socket.
void PollSockets(DWORD thread, HWND filter, UINT filterMin, UINT filterMax) {
  PollChangedSockets();
  {
    Lock lock(User().mutex);
    if (HasPostedMessage(thread, filter, filterMin, filterMax)) return;
  }
  PollSelectedSockets();
}

MSG Stamp(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg{window, message, wParam, lParam, static_cast<DWORD>(NowMicroseconds() / 1000u), User().cursorPosition};
  return msg;
}

// The virtual key's character, on a US layout; 0 for keys that type nothing.
int CharacterOf(UINT key, bool shift, bool control, bool capsLock) {
  if (key >= 'A' && key <= 'Z') {
    if (control) return static_cast<int>(key - 'A' + 1);
    bool upper = shift != capsLock;
    return upper ? static_cast<int>(key) : static_cast<int>(key - 'A' + 'a');
  }
  if (control) return 0;
  if (key >= '0' && key <= '9') return shift ? ")!@#$%^&*("[key - '0'] : static_cast<int>(key);
  if (key >= VK_NUMPAD0 && key <= VK_NUMPAD0 + 9) return static_cast<int>('0' + key - VK_NUMPAD0);
  struct Pair {
    UINT key;
    char plain;
    char shifted;
  };
  static const Pair kKeys[] = {
      {VK_SPACE, ' ', ' '},     {VK_RETURN, '\r', '\r'},   {VK_BACK, '\b', '\b'},   {VK_TAB, '\t', '\t'},
      {VK_ESCAPE, 27, 27},      {VK_OEM_1, ';', ':'},      {VK_OEM_PLUS, '=', '+'}, {VK_OEM_COMMA, ',', '<'},
      {VK_OEM_MINUS, '-', '_'}, {VK_OEM_PERIOD, '.', '>'}, {VK_OEM_2, '/', '?'},    {VK_OEM_3, '`', '~'},
      {VK_OEM_4, '[', '{'},     {VK_OEM_5, '\\', '|'},     {VK_OEM_6, ']', '}'},    {VK_OEM_7, '\'', '"'},
      {VK_MULTIPLY, '*', '*'},  {VK_ADD, '+', '+'},        {VK_SUBTRACT, '-', '-'}, {VK_DECIMAL, '.', '.'},
      {VK_DIVIDE, '/', '/'},
  };
  for (const Pair& pair : kKeys)
    if (pair.key == key) return shift ? pair.shifted : pair.plain;
  return 0;
}

// The key state that GetKeyState and TranslateMessage read moves with the key messages taken, so
// a key is read as it was when its message was made.
void FollowKeyMessage(const MSG& msg) {
  bool down = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN;
  bool up = msg.message == WM_KEYUP || msg.message == WM_SYSKEYUP;
  if ((!down && !up) || msg.wParam > 255) return;
  BYTE& key = User().syncKeys[msg.wParam];
  if (down) {
    if (!(key & 0x80)) key ^= 1;
    key |= 0x80;
  } else {
    key &= static_cast<BYTE>(~0x80);
  }
}

// Finds the next message for the filter; the caller holds the mutex. WM_PAINT and WM_TIMER are
// made up when nothing is posted, as the platform does.
bool TakeMessage(DWORD thread, MSG* out, HWND filter, UINT filterMin, UINT filterMax, bool remove) {
  ThreadQueue& queue = User().queues[thread];
  if (auto it = FindPosted(queue, filter, filterMin, filterMax); it != queue.posted.end()) {
    *out = *it;
    if (remove) {
      queue.posted.erase(it);
      FollowKeyMessage(*out);
    }
    return true;
  }
  bool threadFilter = filter == nullptr || filter == reinterpret_cast<HWND>(static_cast<intptr_t>(-1));
  if (queue.quitPosted && threadFilter && InRange(WM_QUIT, filterMin, filterMax)) {
    *out = Stamp(nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0);
    if (remove) queue.quitPosted = false;
    return true;
  }
  if (InRange(WM_PAINT, filterMin, filterMax)) {
    for (auto& entry : User().windows) {
      WindowRecord* record = entry.second.get();
      if (record->threadId != thread || !record->invalid || !record->visible || record->destroying) continue;
      if (!PassesWindowFilter(HandleOf(record), filter)) continue;
      *out = Stamp(HandleOf(record), WM_PAINT, 0, 0);
      return true;  // Stays until the window is validated.
    }
  }
  if (InRange(WM_TIMER, filterMin, filterMax)) {
    uint64_t now = NowMicroseconds();
    for (auto& entry : User().windows) {
      WindowRecord* record = entry.second.get();
      if (record->threadId != thread || record->destroying) continue;
      if (!PassesWindowFilter(HandleOf(record), filter)) continue;
      for (TimerRecord& timer : record->timers) {
        if (timer.dueMicroseconds > now) continue;
        *out = Stamp(HandleOf(record), WM_TIMER, timer.id, reinterpret_cast<LPARAM>(timer.procedure));
        if (remove) timer.dueMicroseconds = now + static_cast<uint64_t>(timer.elapse) * 1000u;
        return true;
      }
    }
  }
  return false;
}

}  // namespace

void PostToQueue(DWORD threadId, const MSG& msg) {
  User().queues[threadId].posted.push_back(msg);
  QueueCondition().notify_all();
}

}  // namespace platform

using namespace platform;

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Lock lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record) return 0;
  WNDPROC procedure = record->procedure;
  lock.unlock();
  return procedure ? procedure(window, message, wParam, lParam) : 0;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Lock lock(User().mutex);
  if (window == nullptr) {
    PostToQueue(GetCurrentThreadId(), Stamp(nullptr, message, wParam, lParam));
    return TRUE;
  }
  WindowRecord* record = LookUpWindow(window);
  if (!record) {
    SetLastError(1400);
    return FALSE;
  }
  PostToQueue(record->threadId, Stamp(window, message, wParam, lParam));
  return TRUE;
}

BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  Lock lock(User().mutex);
  PostToQueue(threadId, Stamp(nullptr, message, wParam, lParam));
  return TRUE;
}

void PostQuitMessage(int exitCode) {
  Lock lock(User().mutex);
  ThreadQueue& queue = User().queues[GetCurrentThreadId()];
  queue.quitPosted = true;
  queue.quitCode = exitCode;
  QueueCondition().notify_all();
}

BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT remove) {
  if (!msg) return FALSE;
  PumpSdlEvents();
  PollSockets(GetCurrentThreadId(), window, filterMin, filterMax);
  Lock lock(User().mutex);
  return TakeMessage(GetCurrentThreadId(), msg, window, filterMin, filterMax, (remove & PM_REMOVE) != 0);
}

BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
  if (!msg) return -1;
  DWORD thread = GetCurrentThreadId();
  for (;;) {
    PumpSdlEvents();
    PollSockets(thread, window, filterMin, filterMax);
    Lock lock(User().mutex);
    if (TakeMessage(thread, msg, window, filterMin, filterMax, true)) return msg->message != WM_QUIT;
    // Woken by a post; timers, SDL input and the fake clock are looked at again every few ms.
    QueueCondition().wait_for(lock, std::chrono::milliseconds(5));
  }
}

BOOL TranslateMessage(const MSG* msg) {
  if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) return FALSE;
  Lock lock(User().mutex);
  const BYTE* keys = User().syncKeys;
  int character = CharacterOf(static_cast<UINT>(msg->wParam), keys[VK_SHIFT] & 0x80, keys[VK_CONTROL] & 0x80,
                              keys[VK_CAPITAL] & 1);
  if (character == 0) return TRUE;
  UINT charMessage = msg->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
  // The character comes next, ahead of anything posted later, as on the platform.
  MSG typed = Stamp(msg->hwnd, charMessage, static_cast<WPARAM>(character), msg->lParam);
  WindowRecord* record = LookUpWindow(msg->hwnd);
  DWORD thread = record ? record->threadId : GetCurrentThreadId();
  User().queues[thread].posted.push_front(typed);
  return TRUE;
}

LRESULT DispatchMessageA(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
    return 0;
  }
  if (!msg->hwnd) return 0;
  return SendMessageA(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

// No dialog boxes or accelerator tables exist in the stand-in: nothing is ever taken.
BOOL IsDialogMessageA(HWND, LPMSG) { return FALSE; }
int TranslateAcceleratorA(HWND, HACCEL, LPMSG) { return 0; }

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure) {
  Lock lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record) return 0;         // Thread timers are not kept.
  if (elapse < 10) elapse = 10;  // The platform's smallest period.
  uint64_t due = NowMicroseconds() + static_cast<uint64_t>(elapse) * 1000u;
  for (TimerRecord& timer : record->timers) {
    if (timer.id == id) {
      timer.elapse = elapse;
      timer.dueMicroseconds = due;
      timer.procedure = procedure;
      return id;
    }
  }
  record->timers.push_back(TimerRecord{id, elapse, due, procedure});
  return id;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
  Lock lock(User().mutex);
  WindowRecord* record = LookUpWindow(window);
  if (!record) return FALSE;
  for (auto it = record->timers.begin(); it != record->timers.end(); ++it) {
    if (it->id == id) {
      record->timers.erase(it);
      return TRUE;
    }
  }
  return FALSE;
}

// ---- Keyboard state ----

SHORT GetKeyState(int virtualKey) {
  if (virtualKey < 0 || virtualKey > 255) return 0;
  Lock lock(User().mutex);
  BYTE state = User().syncKeys[virtualKey];
  return static_cast<SHORT>(((state & 0x80) ? 0x8000 : 0) | (state & 1));
}

SHORT GetAsyncKeyState(int virtualKey) {
  PumpSdlEvents();
  if (virtualKey < 0 || virtualKey > 255) return 0;
  Lock lock(User().mutex);
  return static_cast<SHORT>((User().keys[virtualKey] & 0x80) ? 0x8000 : 0);
}

// ---- Absent facilities ----

HHOOK SetWindowsHookExA(int, HOOKPROC, HINSTANCE, DWORD) {
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}
BOOL UnhookWindowsHookEx(HHOOK) { return FALSE; }
// The input method is SDL's text input, always on; the switch is only recorded by the caller.
BOOL WINNLSEnableIME(HWND, BOOL enable) { return !enable; }
