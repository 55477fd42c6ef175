// The game's check against a second copy, with the real pylonrush program under real X servers:
// one copy per display, and a copy killed while its "LOAD FILE ERROR" box is up leaves nothing
// behind (SDL shows that box from a forked child, which must not keep the class or the windows).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "x_processes.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

void Pause(int milliseconds) { usleep(static_cast<useconds_t>(milliseconds) * 1000); }

using x_processes::Installed;

std::string RunCommand(const std::string& command) { return x_processes::RunCommand(command, 30); }

// An Xvfb of its own display, ended with the object.
class XServer {
 public:
  XServer() { server_.Start("800x600x24"); }

  const std::string& Display() const { return server_.display(); }

  // The top-level windows of that exact name, as xwininfo lists them (message boxes included).
  std::set<std::string> WindowsNamed(const std::string& name) const {
    const std::string list = RunCommand("DISPLAY=" + Display() + " xwininfo -root -children 2>/dev/null | grep -F '\"" +
                                        name + "\": (' | awk '{print $1}'");
    std::set<std::string> windows;
    size_t at = 0;
    while (at < list.size()) {
      const size_t end = std::min(list.find('\n', at), list.size());
      if (end > at) windows.insert(list.substr(at, end - at));
      at = end + 1;
    }
    return windows;
  }

 private:
  x_processes::VirtualXServer server_;
};

// A scratch directory, by default with the game's own files copied from the shipped ones.
class GameDirectory {
 public:
  explicit GameDirectory(bool withGameFiles = true) {
    char pattern[] = "/tmp/pylonrush_double_start_XXXXXX";
    if (!mkdtemp(pattern)) return;
    path_ = pattern;
    if (!withGameFiles) return;
    for (const auto& entry : fs::directory_iterator(fs::path(ZYVEL_SOURCE_DIR) / "assets"))
      if (entry.path().filename() != "Log.txt") fs::copy(entry.path(), path_ / entry.path().filename());
    // SDL's X11 driver loads system libraries that keep process-wide blocks until exit.
    std::ofstream(path_ / "lsan.supp") << "leak:libdbus-1.so\nleak:libX11.so\nleak:libxcb.so\nleak:libfontconfig.so\n";
  }
  ~GameDirectory() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  GameDirectory(const GameDirectory&) = delete;
  GameDirectory& operator=(const GameDirectory&) = delete;

  const fs::path& Path() const { return path_; }
  std::string Log() const {
    std::ifstream in(path_ / "Log.txt", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  fs::path path_;
};

// One run of the game on a display, in a game directory, with its class locks in
// `lockDirectory`; killed and collected with the object if it is still running.
class GameProgram {
 public:
  GameProgram(const XServer& server, const GameDirectory& game, const fs::path& lockDirectory) : game_(game) {
    const char* const ownNames[] = {
        "DISPLAY=", "SDL_AUDIODRIVER=", "SDL_VIDEODRIVER=", "LSAN_OPTIONS=", "XDG_RUNTIME_DIR="};
    std::vector<std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
      const std::string variable = *entry;
      if (std::none_of(std::begin(ownNames), std::end(ownNames),
                       [&](const char* own) { return variable.rfind(own, 0) == 0; }))
        variables.push_back(variable);
    }
    variables.push_back("DISPLAY=" + server.Display());
    variables.push_back("SDL_AUDIODRIVER=dummy");
    variables.push_back("LSAN_OPTIONS=suppressions=" + (game.Path() / "lsan.supp").string());
    // Lock files live here, so other copies of the game on this machine do not count.
    variables.push_back("XDG_RUNTIME_DIR=" + lockDirectory.string());
    x_processes::ChildProcess::Options options;
    options.environment = variables;
    options.directory = game.Path().string();
    options.output = (game.Path() / "output.txt").string();
    process_.Start({PYLONRUSH_PROGRAM}, options);
  }
  ~GameProgram() { Kill(); }
  GameProgram(const GameProgram&) = delete;
  GameProgram& operator=(const GameProgram&) = delete;

  void Kill() { process_.Kill(); }

  // The exit status once the program ends within the time, else -1.
  int WaitForExit(int milliseconds) {
    const int status = process_.WaitForExit(milliseconds);
    if (status != -1) exitStatus_ = status;
    return status;
  }

  // For a failure message: how the program ended, and what it wrote.
  std::string Report() const {
    std::ifstream in(game_.Path() / "output.txt", std::ios::binary);
    return (process_.Id() > 0 ? std::string("running") : "ended with " + std::to_string(exitStatus_)) + "; output:\n" +
           std::string(std::istreambuf_iterator<char>(in), {}) + "\nLog.txt:\n" + game_.Log();
  }

  // Waits for a window of that name that was not in `before` while the program runs; false when
  // the time passes or the program ends first.
  bool WaitForNewWindow(const XServer& server, const std::string& name, const std::set<std::string>& before,
                        int milliseconds) {
    for (int waited = 0; waited <= milliseconds; waited += 100) {
      for (const std::string& window : server.WindowsNamed(name))
        if (!before.count(window)) return true;
      if (WaitForExit(0) != -1) return false;
      Pause(100);
    }
    return false;
  }

 private:
  const GameDirectory& game_;
  x_processes::ChildProcess process_;
  int exitStatus_ = -1;
};

// Orphans of the programs started here (a box child whose parent was killed) come to this
// process rather than to init, so none outlives the test: with the object, those still alive are
// killed and all are collected. Use it while no copy of the game that the test started runs.
class OrphanCatcher {
 public:
  OrphanCatcher() { prctl(PR_SET_CHILD_SUBREAPER, 1); }
  ~OrphanCatcher() {
    for (pid_t orphan : Adopted(true)) {
      kill(orphan, SIGKILL);
      waitpid(orphan, nullptr, 0);
    }
    prctl(PR_SET_CHILD_SUBREAPER, 0);
  }
  OrphanCatcher(const OrphanCatcher&) = delete;
  OrphanCatcher& operator=(const OrphanCatcher&) = delete;

  // Children of this process forked from a copy of the game (their name is the program's),
  // alive, or with `ended` also those that ended and wait to be collected.
  static std::vector<pid_t> Adopted(bool ended) {
    std::vector<pid_t> found;
    for (const auto& entry : fs::directory_iterator("/proc")) {
      const std::string name = entry.path().filename();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      std::ifstream stat(entry.path() / "stat");
      std::string line;
      std::getline(stat, line);
      const size_t open = line.find('(');
      const size_t close = line.rfind(')');
      if (open == std::string::npos || close == std::string::npos || close < open) continue;
      char state = 0;
      int parent = 0;
      if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &parent) != 2) continue;
      if (parent != getpid() || line.substr(open + 1, close - open - 1) != "pylonrush") continue;
      if (ended || state != 'Z') found.push_back(std::stoi(name));
    }
    return found;
  }
};

class DoubleStart : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Installed("/usr/bin/Xvfb") || !Installed("/usr/bin/xwininfo"))
      GTEST_SKIP() << "Xvfb or xwininfo missing (scripts/setup installs them)";
    ASSERT_FALSE(locks_.Path().empty());
  }

  GameDirectory locks_{false};  // Shared by every copy of a test, as one user's runtime directory is.
};

// The line start-up writes when it finds another copy (Log.txt is UTF-8).
const std::string kSecondCopyLine = reinterpret_cast<const char*>(u8"二重起動されています、ソフトを終了します");

TEST_F(DoubleStart, OneCopyRunsPerDisplay) {
  XServer first;
  XServer second;
  if (first.Display().empty() || second.Display().empty()) GTEST_SKIP() << "Xvfb could not start a display here";
  GameDirectory gameA, gameB, gameC;

  GameProgram a(first, gameA, locks_.Path());
  ASSERT_TRUE(a.WaitForNewWindow(first, "Pylon Rush", {}, 30000)) << "the first copy starts: " << a.Report();
  GameProgram b(second, gameB, locks_.Path());
  EXPECT_TRUE(b.WaitForNewWindow(second, "Pylon Rush", {}, 30000))
      << "a copy on another display starts too: " << b.Report();

  const std::set<std::string> before = first.WindowsNamed("Pylon Rush");
  GameProgram c(first, gameC, locks_.Path());
  EXPECT_EQ(c.WaitForExit(30000), 0) << "a second copy on one display ends by itself: " << c.Report();
  EXPECT_NE(gameC.Log().find(kSecondCopyLine), std::string::npos);
  EXPECT_EQ(first.WindowsNamed("Pylon Rush"), before);
  EXPECT_EQ(gameB.Log().find(kSecondCopyLine), std::string::npos);
}

TEST_F(DoubleStart, ACopyKilledWhileItsBoxIsUpLeavesNothingBehind) {
  XServer server;
  if (server.Display().empty()) GTEST_SKIP() << "Xvfb could not start a display here";
  OrphanCatcher orphans;
  GameDirectory game;
  const fs::path picture = game.Path() / "pylonrush02.png";
  const fs::path aside = game.Path() / "pylonrush02.png.aside";
  fs::rename(picture, aside);  // A missing picture: the program shows "LOAD FILE ERROR" and waits.
  {
    GameProgram killed(server, game, locks_.Path());
    ASSERT_TRUE(killed.WaitForNewWindow(server, "MESSAGE", {}, 30000)) << "no message box: " << killed.Report();
    killed.Kill();
  }
  // Its box, its window and every process it forked go with it, within a few seconds.
  bool gone = false;
  for (int waited = 0; waited <= 10000 && !gone; waited += 100) {
    gone = server.WindowsNamed("MESSAGE").empty() && server.WindowsNamed("Pylon Rush").empty() &&
           OrphanCatcher::Adopted(false).empty();
    if (!gone) Pause(100);
  }
  EXPECT_TRUE(server.WindowsNamed("MESSAGE").empty()) << "the killed copy's box stays on the display";
  EXPECT_TRUE(server.WindowsNamed("Pylon Rush").empty()) << "the killed copy's window stays on the display";
  EXPECT_TRUE(OrphanCatcher::Adopted(false).empty()) << "a child of the killed copy lives on";

  // The next start is no second copy.
  fs::rename(aside, picture);
  const std::set<std::string> before = server.WindowsNamed("Pylon Rush");
  GameProgram next(server, game, locks_.Path());
  EXPECT_TRUE(next.WaitForNewWindow(server, "Pylon Rush", before, 30000))
      << "the next start ended as a second copy: " << next.Report();
  EXPECT_EQ(game.Log().find(kSecondCopyLine), std::string::npos);
}

}  // namespace
