// Lock files that let FindWindowA see a window class held by another process of this program.
// Each process holding a top-level window of a class keeps an exclusive flock on a file named
// after the class; a process that cannot take the lock knows another one holds the class.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "user/user_state.h"

namespace platform {
namespace {

std::string LockPathOf(const std::string& className) {
  std::string directory = User().lockDirectory;
  if (directory.empty()) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    directory = runtime && *runtime ? runtime : "/tmp";
  }
  // The name is hex, so any CP932 class name makes a plain file name.
  std::string name = directory + "/zyvel-class-";
  for (unsigned char byte : UpperCase(className)) {
    char digits[3];
    std::snprintf(digits, sizeof(digits), "%02x", byte);
    name += digits;
  }
  return name + ".lock";
}

}  // namespace

int AcquireClassLock(const std::string& className) {
  std::string key = UpperCase(className);
  auto found = User().classLocks.find(key);
  if (found != User().classLocks.end()) {
    ++found->second.second;
    return found->second.first;
  }
  int descriptor = open(LockPathOf(className).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (descriptor >= 0 && flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
    close(descriptor);  // Another process holds the class; this window stays unannounced.
    descriptor = -1;
  }
  if (descriptor < 0) return -1;
  User().classLocks[key] = {descriptor, 1};
  return descriptor;
}

void ReleaseClassLock(const std::string& className) {
  auto found = User().classLocks.find(UpperCase(className));
  if (found == User().classLocks.end()) return;
  if (--found->second.second > 0) return;
  // The file stays: removing it could race with another process that just opened it.
  flock(found->second.first, LOCK_UN);
  close(found->second.first);
  User().classLocks.erase(found);
}

bool ClassHeldElsewhere(const std::string& className) {
  if (User().classLocks.count(UpperCase(className))) return false;
  int descriptor = open(LockPathOf(className).c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return false;
  bool held = flock(descriptor, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  close(descriptor);  // Closing drops a shared lock taken here.
  return held;
}

}  // namespace platform
