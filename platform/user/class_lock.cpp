// Lock files that let FindWindowA see a window class held by another process of this program on
// the same display, as the platform's look-up sees only the windows of its own desktop.
// Each process holding a top-level window of a class keeps a write lock on a file named after the
// class and the X display; a process that finds the lock taken knows another one holds the class.
//
// The locks are POSIX record locks, which belong to the process: a child it forks (SDL shows its
// X11 message box from one) inherits the open file but not the lock, so the class is free the
// moment the process ends, however it ends. The price is the record locks' rule that closing any
// descriptor of the file drops the process's lock, so this process never opens a file it holds.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "user/user_state.h"

namespace platform {
namespace {

// The X display windows open on, without its screen number (":1.0" and ":1" are one display,
// and so are "unix:1" and ":1"); empty without one.
std::string DisplayOfThisProcess() {
  const char* variable = std::getenv("DISPLAY");
  std::string display = variable ? variable : "";
  const size_t colon = display.rfind(':');
  if (colon == std::string::npos) return display;
  const size_t dot = display.find('.', colon);
  if (dot != std::string::npos) display.erase(dot);
  if (display.compare(0, colon, "unix") == 0) display.erase(0, colon);
  return display;
}

void AppendHex(std::string* name, const std::string& bytes) {
  for (unsigned char byte : bytes) {
    char digits[3];
    std::snprintf(digits, sizeof(digits), "%02x", byte);
    *name += digits;
  }
}

std::string LockPathOf(const std::string& className) {
  std::string directory = User().lockDirectory;
  if (directory.empty()) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    directory = runtime && *runtime ? runtime : "/tmp";
  }
  // Hex, so any CP932 class name and any display name make a plain file name.
  std::string name = directory + "/zyvel-class-";
  AppendHex(&name, UpperCase(className));
  const std::string display = DisplayOfThisProcess();
  if (!display.empty()) {
    name += "-display-";
    AppendHex(&name, display);
  }
  return name + ".lock";
}

struct flock WholeFile(short type) {
  struct flock range {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = 0;
  range.l_len = 0;
  return range;
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
  struct flock whole = WholeFile(F_WRLCK);
  if (descriptor >= 0 && fcntl(descriptor, F_SETLK, &whole) != 0) {
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
  // The file stays: removing it could race with another process that just opened it. Closing
  // the descriptor drops the lock.
  close(found->second.first);
  User().classLocks.erase(found);
}

bool ClassHeldElsewhere(const std::string& className) {
  if (User().classLocks.count(UpperCase(className))) return false;
  int descriptor = open(LockPathOf(className).c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return false;
  // Asks without taking anything: a lock this process does not hold is another process's.
  struct flock probe = WholeFile(F_RDLCK);
  const bool held = fcntl(descriptor, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
  close(descriptor);
  return held;
}

}  // namespace platform
