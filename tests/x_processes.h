// Processes that tests under a real X server start: the server itself (Xvfb), the game and other
// X clients. Each is owned by an object that stops and collects it on every way out of the test,
// an ASSERT's early return included, and the kernel kills it should the test program die first,
// so no server outlives its test and holds ctest's pipe.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

extern char** environ;

namespace x_processes {

inline bool Installed(const char* path) { return access(path, X_OK) == 0; }

// Runs a shell command and returns its output, without trailing blanks. Every command is bounded
// by `seconds`: an X tool waiting for an event that never comes (a focus under --sync, a window to
// capture) must not hang the test.
inline std::string RunCommand(const std::string& command, int seconds) {
  std::string quoted;
  for (char c : command) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  const std::string bounded = "timeout -k 5 " + std::to_string(seconds) + " sh -c '" + quoted + "'";
  std::string output;
  if (FILE* pipe = popen(bounded.c_str(), "r")) {
    char buffer[4096];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    pclose(pipe);
  }
  while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) output.pop_back();
  return output;
}

// A program started by the test; the destructor stops it (Stop) if it still runs.
class ChildProcess {
 public:
  struct Options {
    std::vector<std::string> environment;  // Empty: this process's own.
    std::string directory;                 // Empty: this process's own.
    std::string output;                    // Standard output and error; empty: /dev/null.
    std::string errors;                    // Standard error alone, when not empty.
    int* input = nullptr;                  // When set, receives the write end of a pipe that is standard input.
    int passed = -1;                       // A descriptor of this process the program gets as descriptor 3.
  };

  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() { Stop(); }

  // Starts `arguments` (the first is the program's path). Of this process's other descriptors
  // the program keeps none: one that outlived a crashed test would otherwise hold the test's pipes
  // (ctest's output, a death test's status) open. A process of an earlier start that still runs
  // is killed first. False when it cannot start.
  bool Start(const std::vector<std::string>& arguments, const Options& options) {
    Kill();
    std::vector<std::string> argumentCopies = arguments;
    std::vector<char*> argv;
    for (std::string& argument : argumentCopies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<std::string> variables = options.environment;
    if (variables.empty())
      for (char** entry = environ; *entry; ++entry) variables.push_back(*entry);
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    const std::string output = options.output.empty() ? "/dev/null" : options.output;
    const std::string errors = options.errors.empty() ? output : options.errors;
    int inputEnds[2] = {-1, -1};
    if (options.input && pipe2(inputEnds, O_CLOEXEC) != 0) return false;
    const pid_t parent = getpid();
    // Everything the child needs is made before the fork: it only makes system calls.
    const pid_t child = fork();
    if (child == 0) {
      if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) _exit(127);
      const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
      const int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
      if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(127);
      if (options.input && dup2(inputEnds[0], 0) < 0) _exit(127);
      if (options.passed >= 0) {
        // dup2 onto itself would leave close-on-exec set.
        if (options.passed == 3 ? fcntl(3, F_SETFD, 0) < 0 : dup2(options.passed, 3) < 0) _exit(127);
      }
      if (!options.directory.empty() && chdir(options.directory.c_str()) != 0) _exit(127);
      closefrom(options.passed >= 0 ? 4 : 3);
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
    if (options.input) {
      close(inputEnds[0]);
      if (child > 0)
        *options.input = inputEnds[1];
      else
        close(inputEnds[1]);
    }
    if (child < 0) return false;
    pid_ = child;
    return true;
  }

  pid_t Id() const { return pid_; }

  // The exit status (128 + the signal for one that was killed) once the process ends within the
  // time, else -1; the process is left running then.
  int WaitForExit(int milliseconds) {
    for (int waited = 0; pid_ > 0 && waited <= milliseconds; waited += 20) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      usleep(20000);
    }
    return -1;
  }

  // True once the process has ended; it is left for WaitForExit to collect.
  bool Ended() const {
    if (pid_ <= 0) return true;
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid_;
  }

  // Asks the process to end (SIGTERM: Xvfb then removes its display's lock and socket), kills it
  // if it has not ended within two seconds, and collects it.
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    if (WaitForExit(2000) == -1) Kill();
  }

  // Ends the process at once (SIGKILL) and collects it.
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }

 private:
  pid_t pid_ = 0;
};

// An Xvfb on a display it picks itself (-displayfd), so servers of other tests on this machine do
// not collide; stopped with the object. -noreset: the server otherwise resets each time its last
// client leaves, and a program that connects during the reset finds no display.
class VirtualXServer {
 public:
  // False when Xvfb is missing or could not start a display within ten seconds.
  bool Start(const std::string& screen = "1024x768x24") {
    process_.Stop();
    display_.clear();
    if (access("/usr/bin/Xvfb", X_OK) != 0) return false;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return false;
    ChildProcess::Options options;
    options.passed = ends[1];
    const bool started = process_.Start(
        {"/usr/bin/Xvfb", "-displayfd", "3", "-screen", "0", screen, "-nolisten", "tcp", "-noreset"}, options);
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

  // ":N"; empty while no server runs.
  const std::string& display() const { return display_; }

 private:
  ChildProcess process_;
  std::string display_;
};

// A test suite whose tests share one X server, started before its first test and stopped after its
// last. Each test is skipped when no server could start, and its X clients (the library included)
// run on that server, not on SDL's dummy video driver. A SetUp of its own calls this one first
// and returns when IsSkipped().
class SharedXServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Server() = std::make_unique<VirtualXServer>();
    if (!Server()->Start()) Server().reset();
  }
  static void TearDownTestSuite() { Server().reset(); }

  void SetUp() override {
    if (!Server()) GTEST_SKIP() << "Xvfb missing, or it could not start a display here";
    setenv("DISPLAY", Server()->display().c_str(), 1);
    unsetenv("SDL_VIDEODRIVER");
  }

 private:
  static std::unique_ptr<VirtualXServer>& Server() {
    static std::unique_ptr<VirtualXServer> server;
    return server;
  }
};

}  // namespace x_processes
