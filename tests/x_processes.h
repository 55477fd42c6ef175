// Processes that tests under a real X server start: the server itself (Xvfb) and other X clients.
// Each is owned by an object that stops it on every way out of the test, an ASSERT's early return
// included, so no server outlives its test and holds ctest's pipe.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace x_processes {

// A program started with posix_spawn; the destructor ends it (SIGTERM, then SIGKILL if it has
// not ended within two seconds) and collects it.
class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() { Stop(); }

  // Starts `arguments` (the first is the program's path). `input`, when not null, receives the
  // write end of a pipe that is the program's standard input. Its output and errors go to
  // /dev/null, and of this process's other descriptors it keeps only `passed`, as descriptor 3: a
  // program that outlived a crashed test would otherwise hold the test's pipes (ctest's output,
  // a death test's status) open. False when it cannot start.
  bool Start(const std::vector<std::string>& arguments, int* input = nullptr, int passed = -1) {
    int inputEnds[2] = {-1, -1};
    if (input && pipe2(inputEnds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input) posix_spawn_file_actions_adddup2(&actions, inputEnds[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (passed >= 0) posix_spawn_file_actions_adddup2(&actions, passed, 3);
    posix_spawn_file_actions_addclosefrom_np(&actions, passed >= 0 ? 4 : 3);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const bool started = posix_spawn(&pid_, arguments[0].c_str(), &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (input) {
      close(inputEnds[0]);
      if (started)
        *input = inputEnds[1];
      else
        close(inputEnds[1]);
    }
    if (!started) pid_ = 0;
    return started;
  }

  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    for (int waited = 0; waited < 2000 && waitpid(pid_, &status, WNOHANG) == 0; waited += 10) usleep(10000);
    if (waitpid(pid_, &status, WNOHANG) == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
    pid_ = 0;
  }

  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = 0;
};

// An Xvfb on a display it picks itself (-displayfd), so servers of other tests on this machine do
// not collide; stopped with the object.
class VirtualXServer {
 public:
  // False when Xvfb is missing or could not start a display within ten seconds.
  bool Start() {
    if (access("/usr/bin/Xvfb", X_OK) != 0) return false;
    int ends[2];
    if (pipe(ends) != 0) return false;
    const bool started =
        process_.Start({"/usr/bin/Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                        "-noreset"},
                       nullptr, ends[1]);
    close(ends[1]);
    std::string number;
    pollfd wait = {ends[0], POLLIN, 0};
    char digit = 0;
    while (started && poll(&wait, 1, 10000) > 0 && read(ends[0], &digit, 1) == 1 && digit != '\n') number += digit;
    close(ends[0]);
    if (number.empty()) {
      process_.Stop();
      return false;
    }
    display_ = ":" + number;
    return true;
  }

  const std::string& display() const { return display_; }

 private:
  ChildProcess process_;
  std::string display_;
};

}  // namespace x_processes
