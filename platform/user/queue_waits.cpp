// Queue status, registered message numbers and the message-aware wait, for threads without
// windows: the wait never ends for a message, and only posted messages are ever reported.
#include <cctype>
#include <map>
#include <mutex>
#include <string>

#include "platform/kernel.h"
#include "platform/user.h"
#include "user/user_state.h"

DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds, DWORD) {
  return WaitForMultipleObjects(count, handles, waitAll, milliseconds);
}

DWORD GetQueueStatus(UINT flags) {
  std::lock_guard<std::recursive_mutex> lock(platform::User().mutex);
  const auto& queues = platform::User().queues;
  const auto found = queues.find(GetCurrentThreadId());
  DWORD kinds = 0;
  if (found != queues.end() && !found->second.posted.empty()) kinds |= QS_POSTMESSAGE;
  kinds &= flags;
  return (kinds << 16) | kinds;
}

UINT RegisterWindowMessageA(LPCSTR name) {
  if (!name || !*name) return 0;
  std::string key(name);
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  static std::mutex mutex;
  static std::map<std::string, UINT> numbers;
  std::lock_guard<std::mutex> lock(mutex);
  const auto found = numbers.find(key);
  if (found != numbers.end()) return found->second;
  const UINT number = 0xC000u + static_cast<UINT>(numbers.size());
  if (number > 0xFFFFu) return 0;
  numbers.emplace(key, number);
  return number;
}
