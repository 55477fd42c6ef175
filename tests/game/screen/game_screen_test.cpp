// The real pylonrush program under a real X server: Xvfb runs the display, xdotool presses the
// keys, ImageMagick's import reads the window. The pictures are checked against the shipped
// sheets: labels and digits where the screens put them, the grey frame, every well cell on the
// 24-pixel grid showing a whole tile, the next piece beside the well. The play run goes once on
// the device path and once on the software path (a machine without a 3D device).
//
// The screenshots stay in game_screens/ beside the test program for a person to look at.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "x_processes.h"
#include "zyvel/zyvel.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// ---- Pictures ----

// A picture as 0xRRGGBB words, read with the library's own loader.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;

  static Picture Load(const fs::path& path) {
    Picture picture;
    std::ifstream in(path, std::ios::binary);
    const Bytes file{std::istreambuf_iterator<char>(in), {}};
    BaseImage image{};
    if (file.empty() || LoadBaseImagePlain(nullptr, file.data(), static_cast<int>(file.size()), 1, &image, 0) != 0)
      return picture;
    picture.width = image.width;
    picture.height = image.height;
    for (int y = 0; y < image.height; ++y)
      for (int x = 0; x < image.width; ++x) picture.pixels.push_back(GetBaseImagePixelArgb(&image, x, y) & 0xFFFFFF);
    ReleaseBaseImage(&image);
    return picture;
  }
  uint32_t At(int x, int y) const {
    return x >= 0 && y >= 0 && x < width && y < height ? pixels[static_cast<size_t>(y) * width + x] : 0xFF000000u;
  }
};

struct Rect {
  int x, y, width, height;
  bool Holds(int px, int py) const { return px >= x && py >= y && px < x + width && py < y + height; }
  bool Meets(const Rect& other) const {
    return x < other.x + other.width && other.x < x + width && y < other.y + other.height && other.y < y + height;
  }
};

// The game's sheets, from the source tree.
struct Sheets {
  Picture cells = Picture::Load(fs::path(ZYVEL_SOURCE_DIR) / "assets/pylonrush01.png");
  Picture labels = Picture::Load(fs::path(ZYVEL_SOURCE_DIR) / "assets/pylonrush02.png");
  Picture digits = Picture::Load(fs::path(ZYVEL_SOURCE_DIR) / "assets/pylonrush03.png");

  static Rect LabelSource(int label) {
    if (label < 6) return {0, 24 * label, 109, 24};
    return {109, 30 * (label - 6), 187, 30};
  }
};

// Pixels of the label's artwork (black is transparent) that the shot does not show at (x, y).
int LabelMismatches(const Picture& shot, const Sheets& sheets, int label, int x, int y) {
  const Rect source = Sheets::LabelSource(label);
  int wrong = 0;
  for (int dy = 0; dy < source.height; ++dy)
    for (int dx = 0; dx < source.width; ++dx) {
      const uint32_t art = sheets.labels.At(source.x + dx, source.y + dy);
      if (art != 0 && shot.At(x + dx, y + dy) != art) ++wrong;
    }
  return wrong;
}

// The tile (0 to 9) the shot shows whole at (x, y), or -1.
int TileAt(const Picture& shot, const Sheets& sheets, int x, int y) {
  for (int tile = 0; tile < 10; ++tile) {
    bool same = true;
    for (int dy = 0; dy < 24 && same; ++dy)
      for (int dx = 0; dx < 24 && same; ++dx) same = shot.At(x + dx, y + dy) == sheets.cells.At(24 * tile + dx, dy);
    if (same) return tile;
  }
  return -1;
}

// The digits the shot shows at the five number places of row y ('?' where none matches).
std::string NumberAt(const Picture& shot, const Sheets& sheets, int firstPlace, int y) {
  static constexpr int kPlaceX[5] = {284, 305, 326, 347, 368};
  std::string text;
  for (int place = firstPlace; place < 5; ++place) {
    char shown = '?';
    for (int digit = 0; digit < 10 && shown == '?'; ++digit) {
      bool same = true;
      for (int dy = 0; dy < 24 && same; ++dy)
        for (int dx = 0; dx < 21 && same; ++dx)
          same = shot.At(kPlaceX[place] + dx, y + dy) == sheets.digits.At(21 * digit + dx, dy);
      if (same) shown = static_cast<char>('0' + digit);
    }
    text += shown;
  }
  return text;
}

// ---- The board as the shot shows it ----

constexpr uint32_t kFrameGrey = 0xC0C0C0;

struct Offset {
  int dx, dy;
};
struct Shape {
  int turns;
  Offset offsets[3];
};
// The pieces' shapes: centre (0, 0) and three offsets, y growing upward on the board.
constexpr Shape kShapes[8] = {
    {1, {{0, 0}, {0, 0}, {0, 0}}},   {2, {{-1, 0}, {1, 0}, {2, 0}}},  {4, {{-1, 0}, {1, 0}, {1, 1}}},
    {4, {{-1, 0}, {1, 0}, {1, -1}}}, {2, {{-1, 0}, {0, 1}, {1, 1}}},  {2, {{-1, 0}, {0, -1}, {1, -1}}},
    {1, {{1, 0}, {0, 1}, {1, 1}}},   {4, {{-1, 0}, {0, 1}, {0, -1}}},
};

int CellX(int column) { return 12 + 24 * (column - 1); }
int CellY(int row) { return 468 - 24 * (row - 1); }

// Pixels of the frame (11, 11)-(252, 492) that are not grey.
int FrameMismatches(const Picture& shot) {
  int wrong = 0;
  for (int i = 11; i <= 492; ++i) wrong += (shot.At(11, i) != kFrameGrey) + (shot.At(252, i) != kFrameGrey);
  for (int i = 11; i <= 252; ++i) wrong += (shot.At(i, 11) != kFrameGrey) + (shot.At(i, 492) != kFrameGrey);
  return wrong;
}

// The tiles of the visible well by (column, row); cells under `covered` are left out (-2).
struct Well {
  int tiles[11][21] = {};
  int unreadable = 0;

  Well(const Picture& shot, const Sheets& sheets, const std::vector<Rect>& covered = {}) {
    for (int column = 1; column <= 10; ++column)
      for (int row = 1; row <= 20; ++row) {
        const Rect cell{CellX(column), CellY(row), 24, 24};
        bool hidden = false;
        for (const Rect& rect : covered) hidden = hidden || rect.Meets(cell);
        tiles[column][row] = hidden ? -2 : TileAt(shot, sheets, cell.x, cell.y);
        unreadable += tiles[column][row] == -1;
      }
  }
  std::vector<std::pair<int, int>> Occupied() const {
    std::vector<std::pair<int, int>> cells;
    for (int column = 1; column <= 10; ++column)
      for (int row = 1; row <= 20; ++row)
        if (tiles[column][row] > 0) cells.emplace_back(column, row);
    return cells;
  }
};

// The centre column of the four cells when they are one piece of `shape` in one of its turns;
// 0 when they are not.
int PieceCentreColumn(const std::vector<std::pair<int, int>>& cells, int shape) {
  if (cells.size() != 4) return 0;
  const std::set<std::pair<int, int>> wanted(cells.begin(), cells.end());
  for (int turn = 0; turn < kShapes[shape].turns; ++turn)
    for (const auto& centre : cells) {
      std::set<std::pair<int, int>> piece{centre};
      for (Offset offset : kShapes[shape].offsets) {
        for (int t = 0; t < turn; ++t) offset = Offset{offset.dy, -offset.dx};
        piece.emplace(centre.first + offset.dx, centre.second + offset.dy);
      }
      if (piece == wanted) return centre.first;
    }
  return 0;
}

// True when the well shows exactly one piece and nothing else: a game in play.
bool OnePieceInView(const Picture& shot, const Sheets& sheets) {
  const Well well(shot, sheets);
  const auto cells = well.Occupied();
  return well.unreadable == 0 && cells.size() == 4 &&
         PieceCentreColumn(cells, well.tiles[cells[0].first][cells[0].second]) != 0;
}

// The next piece beside the well: its shape when the area shows exactly that shape's four tiles,
// drawn from the centre cell (312, 132) with the stored offsets, y growing downward; else 0.
int PreviewShape(const Picture& shot, const Sheets& sheets) {
  const int shape = TileAt(shot, sheets, 312, 132);
  if (shape < 1 || shape > 7) return 0;
  std::vector<Rect> tiles{{312, 132, 24, 24}};
  for (const Offset& offset : kShapes[shape].offsets) {
    tiles.push_back({312 + 24 * offset.dx, 132 + 24 * offset.dy, 24, 24});
    if (TileAt(shot, sheets, tiles.back().x, tiles.back().y) != shape) return 0;
  }
  // Nothing else between the title words and the high-score caption.
  for (int y = 70; y < 226; ++y)
    for (int x = 256; x < 408; ++x) {
      bool inTile = false;
      for (const Rect& tile : tiles) inTile = inTile || tile.Holds(x, y);
      if (!inTile && shot.At(x, y) != 0) return 0;
    }
  return shape;
}

// ---- Processes ----

std::string RunCommand(const std::string& command) { return x_processes::RunCommand(command, 60); }

void Pause(int milliseconds) { usleep(static_cast<useconds_t>(milliseconds) * 1000); }

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes{std::istreambuf_iterator<char>(in), {}};
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

using x_processes::ChildProcess;
using x_processes::Installed;

constexpr char kSystemLeaks[] = "leak:libdbus-1.so\nleak:libX11.so\nleak:libxcb.so\nleak:libfontconfig.so\n";

// One Xvfb for the whole suite.
class GameScreen : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!Installed("/usr/bin/Xvfb") || !Installed("/usr/bin/xdotool") || !Installed("/usr/bin/import") ||
        !Installed("/usr/bin/xprop") || !Installed("/usr/bin/xwininfo"))
      return;
    server_ = new x_processes::VirtualXServer;
    if (server_->Start("800x600x24")) display_ = server_->display();
  }

  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
    display_.clear();
  }

  void SetUp() override {
    if (display_.empty())
      GTEST_SKIP() << "Xvfb, xdotool, ImageMagick's import, xprop or xwininfo is missing (scripts/setup "
                      "installs them), or Xvfb could not start a display here";
    ASSERT_GT(sheets_.cells.width, 0);
    char pattern[] = "/tmp/pylonrush_screen_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
    for (const auto& entry : fs::directory_iterator(fs::path(ZYVEL_SOURCE_DIR) / "assets"))
      if (entry.path().filename() != "Log.txt") fs::copy(entry.path(), directory_ / entry.path().filename());
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "_" + test->name();
    for (char& c : name)
      if (c == '/') c = '_';
    shots_ = fs::current_path() / "game_screens";
    fs::create_directories(shots_);
    shotPrefix_ = name;
  }

  void TearDown() override {
    program_.Kill();
    RunCommand(Xdotool() + "keyup Down Left Right Up s Escape 2>/dev/null");
    if (!directory_.empty()) fs::remove_all(directory_);
  }

  std::string Xdotool() const { return "DISPLAY=" + display_ + " xdotool "; }

  // Starts the program in the scratch directory; `environment` is added to this process's ("NAME="
  // alone removes NAME). Its output goes to output.txt, its error stream to `errorFile`.
  void Start(const std::vector<std::string>& environment, const fs::path& errorFile = {}) {
    // SDL's X11 driver loads system libraries that keep process-wide blocks until exit; they are
    // not leaks of ours.
    WriteFile(directory_ / "lsan.supp", Bytes(kSystemLeaks, kSystemLeaks + sizeof kSystemLeaks - 1));
    std::vector<std::string> variables;
    for (char** entry = environ; *entry; ++entry) variables.push_back(*entry);
    const std::vector<std::string> own = {
        "DISPLAY=" + display_,
        "SDL_AUDIODRIVER=dummy",  // The sounds play into nothing; CI has no sound card.
        "LSAN_OPTIONS=suppressions=" + (directory_ / "lsan.supp").string(),
        // A program already running finds its class's lock file here and ends; other copies of
        // the game on this machine (another half of this test) must not count.
        "XDG_RUNTIME_DIR=" + directory_.string(),
    };
    for (const std::vector<std::string>* list : {&own, &environment})
      for (const std::string& variable : *list) {
        const std::string name = variable.substr(0, variable.find('=') + 1);
        variables.erase(std::remove_if(variables.begin(), variables.end(),
                                       [&](const std::string& v) { return v.rfind(name, 0) == 0; }),
                        variables.end());
        if (variable.size() > name.size()) variables.push_back(variable);
      }
    ChildProcess::Options options;
    options.environment = variables;
    options.directory = directory_;
    options.output = directory_ / "output.txt";
    options.errors = errorFile;
    ASSERT_TRUE(program_.Start({PYLONRUSH_PROGRAM}, options));
  }

  // The program's exit status once it ends within the time, else -1.
  int WaitForExit(int milliseconds) { return program_.WaitForExit(milliseconds); }

  // True once the program has ended; it is left for WaitForExit to collect.
  bool ProgramEnded() const { return program_.Ended(); }

  // The id of the program's window of that exact name, waiting up to the time for it.
  std::string WaitForWindow(const std::string& name, int milliseconds) {
    for (int waited = 0; waited <= milliseconds; waited += 100) {
      // xwininfo lists the message box too, which xdotool's search passes over.
      const std::string window = RunCommand("DISPLAY=" + display_ +
                                            " xwininfo -root -children 2>/dev/null | grep -F '\"" + name +
                                            "\": (' | head -n 1 | awk '{print $1}'");
      if (!window.empty()) return window;
      if (ProgramEnded()) return "";
      Pause(100);
    }
    return "";
  }

  Picture Shot(const std::string& window, const std::string& name) {
    const fs::path path = shots_ / (shotPrefix_ + "_" + name + ".png");
    RunCommand("DISPLAY=" + display_ + " import -window " + window + " " + path.string() + " 2>/dev/null");
    lastShot_ = path;
    return Picture::Load(path);
  }

  // Takes shots until one passes the check or the time is up; the last shot is returned.
  template <typename Check>
  Picture ShotUntil(const std::string& window, const std::string& name, int milliseconds, Check check) {
    Picture shot;
    for (int waited = 0; waited <= milliseconds; waited += 100) {
      shot = Shot(window, name);
      if (shot.width > 0 && check(shot)) break;
      if (ProgramEnded()) break;  // Its window is gone: no later shot can pass.
      Pause(100);
    }
    return shot;
  }

  // For a failure's message: how the program ended, if it has, and the end of its output.
  std::string EndReport() {
    const int status = ProgramEnded() ? WaitForExit(0) : -1;
    const Bytes bytes = ReadFile(directory_ / "output.txt");
    const std::string text(bytes.begin(), bytes.end());
    return (status >= 0 ? "the program ended with " + std::to_string(status) : std::string("the program runs")) +
           "; its output ends:\n" + (text.size() > 3000 ? text.substr(text.size() - 3000) : text);
  }

  // The lines of Log.txt after its last "Alloc memory dump", without their time stamps and
  // without empty lines; one "?" line when there is no dump.
  std::vector<std::string> HeapDumpLines() const {
    const Bytes bytes = ReadFile(directory_ / "Log.txt");
    const std::string log(bytes.begin(), bytes.end());
    const size_t dump = log.rfind("Alloc memory dump");
    if (dump == std::string::npos) return {"?"};
    std::vector<std::string> lines;
    size_t at = log.find('\n', dump);
    while (at != std::string::npos && at + 1 < log.size()) {
      const size_t end = log.find('\n', at + 1);
      std::string line = log.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const size_t stamp = line.find(':');
      if (stamp != std::string::npos && line.find_first_not_of("0123456789") == stamp) line.erase(0, stamp + 1);
      if (!line.empty()) lines.push_back(line);
      at = end;
    }
    return lines;
  }

  void Key(const std::string& action, const std::string& key) { RunCommand(Xdotool() + action + " " + key); }

  static x_processes::VirtualXServer* server_;
  static std::string display_;
  Sheets sheets_;
  fs::path directory_;
  fs::path shots_;
  fs::path lastShot_;
  std::string shotPrefix_;
  ChildProcess program_;
};

x_processes::VirtualXServer* GameScreen::server_ = nullptr;
std::string GameScreen::display_;

// The high score the play runs start with, in a save file cut short after its first word.
constexpr int32_t kSavedHighScore = 12345;

Bytes SaveRecord(int32_t high, size_t length) {
  Bytes record(12, 0);
  for (int i = 0; i < 4; ++i) record[i] = static_cast<uint8_t>(static_cast<uint32_t>(high) >> (8 * i));
  record.resize(length);
  return record;
}

class GameScreenPath : public GameScreen, public ::testing::WithParamInterface<const char*> {};

TEST_P(GameScreenPath, TitlePlayAndGameOverShowTheirPicturesAndEscapeSavesTheHighScore) {
  const bool software = std::string(GetParam()) == "software";
  WriteFile(directory_ / "pylonrush21.dat", SaveRecord(kSavedHighScore, 4));
  std::vector<std::string> environment;
  if (software) environment.push_back("PLATFORM_NO_3D_DEVICE=1");
  Start(environment);
  const std::string window = WaitForWindow("Pylon Rush", 20000);
  ASSERT_FALSE(window.empty()) << "the game's window did not appear";
  RunCommand(Xdotool() + "windowfocus --sync " + window + " 2>/dev/null");

  // The window's icon is the program's icon resource: 32 x 32, its top-left pixel the well's
  // opaque blue (16, 18, 34).
  const std::string icon = RunCommand("DISPLAY=" + display_ + " xprop -id " + window +
                                      " -notype -f _NET_WM_ICON 32c ' $0 $1 $2' _NET_WM_ICON");
  EXPECT_EQ(icon, "_NET_WM_ICON 32 32 4279243298");

  // Title: the two title words, the subtitle and the prompt on black, and nothing else.
  const std::vector<std::pair<int, Rect>> titleLabels = {
      {0, {95, 100, 109, 24}}, {1, {208, 100, 109, 24}}, {5, {143, 150, 109, 24}}, {7, {110, 370, 187, 30}}};
  auto titleMismatches = [&](const Picture& shot) {
    int wrong = 0;
    for (const auto& [label, rect] : titleLabels) wrong += LabelMismatches(shot, sheets_, label, rect.x, rect.y);
    return wrong;
  };
  const Picture title = ShotUntil(window, "1_title", 15000,
                                  [&](const Picture& shot) { return titleMismatches(shot) == 0; });
  ASSERT_EQ(title.width, 408);
  ASSERT_EQ(title.height, 504);
  EXPECT_EQ(titleMismatches(title), 0) << lastShot_;
  int strayPixels = 0;
  for (int y = 0; y < title.height; ++y)
    for (int x = 0; x < title.width; ++x) {
      bool inLabel = false;
      for (const auto& entry : titleLabels) inLabel = inLabel || entry.second.Holds(x, y);
      strayPixels += !inLabel && title.At(x, y) != 0;
    }
  EXPECT_EQ(strayPixels, 0) << "the title draws only its four labels";

  // S, held until the play screen shows its first piece, starts a game; Left, held until the
  // piece is seen left of its column 5 (a held move repeats every tenth frame), moves it. Each
  // key is let go once its effect is seen, so a slow machine only makes the waits longer.
  auto onePieceInView = [&](const Picture& shot) { return OnePieceInView(shot, sheets_); };
  auto movedLeft = [&](const Picture& shot) {
    const Well well(shot, sheets_);
    const auto cells = well.Occupied();
    if (!onePieceInView(shot)) return false;
    const int column = PieceCentreColumn(cells, well.tiles[cells[0].first][cells[0].second]);
    return column != 0 && column < 5;
  };
  Key("keydown", "s");
  ShotUntil(window, "2_play", 15000, onePieceInView);
  Key("keyup", "s");
  Key("keydown", "Left");
  const Picture play = ShotUntil(window, "2_play", 15000, movedLeft);
  Key("keyup", "Left");
  const fs::path playShot = lastShot_;
  EXPECT_EQ(FrameMismatches(play), 0) << playShot;
  const Well well(play, sheets_);
  EXPECT_EQ(well.unreadable, 0) << "every cell shows a whole tile on the 24-pixel grid: " << playShot;
  const auto cells = well.Occupied();
  ASSERT_EQ(cells.size(), 4u) << "one falling piece in the well: " << playShot;
  const int shape = well.tiles[cells[0].first][cells[0].second];
  const int centre = PieceCentreColumn(cells, shape);
  EXPECT_NE(centre, 0) << "the four cells are one piece of shape " << shape;
  EXPECT_LT(centre, 5) << "Left moved the piece from its column 5";
  EXPECT_NE(PreviewShape(play, sheets_), 0) << "the next piece is shown beside the well: " << playShot;
  struct PanelLabel {
    int label, x, y;
  };
  for (const PanelLabel& at : {PanelLabel{0, 280, 12}, PanelLabel{1, 280, 42}, PanelLabel{2, 280, 230},
                               PanelLabel{4, 280, 305}, PanelLabel{3, 280, 380}, PanelLabel{5, 280, 470}})
    EXPECT_EQ(LabelMismatches(play, sheets_, at.label, at.x, at.y), 0) << "label " << at.label << ": " << playShot;
  EXPECT_EQ(NumberAt(play, sheets_, 0, 260), "12345") << "the saved high score";
  EXPECT_EQ(NumberAt(play, sheets_, 2, 335), "000") << "lines";
  EXPECT_EQ(NumberAt(play, sheets_, 0, 410), "00000") << "score";

  // Dropping pieces straight down piles them up until the next one no longer fits. The down key
  // has to be let go between pieces: a lock disarms the soft drop until then.
  const Rect gameOverLabel{38, 350, 187, 30};
  const Rect promptLabel{38, 400, 187, 30};
  auto gameOverShown = [&](const Picture& shot) {
    return LabelMismatches(shot, sheets_, 6, gameOverLabel.x, gameOverLabel.y) == 0 &&
           LabelMismatches(shot, sheets_, 7, promptLabel.x, promptLabel.y) == 0;
  };
  // A hold covers the wait for a tenth frame and a drop of 20 rows; a shot costs more than a
  // piece, so one is taken every third piece.
  Picture over;
  for (int piece = 1; piece <= 60; ++piece) {
    Key("keydown", "Down");
    Pause(650);
    Key("keyup", "Down");
    Pause(250);
    if (piece % 3 != 0) continue;
    over = Shot(window, "3_game_over");
    if (gameOverShown(over)) break;
  }
  const fs::path overShot = lastShot_;
  ASSERT_TRUE(gameOverShown(over)) << "no game over: " << overShot;
  Pause(300);  // Still the same picture a moment later: the game-over screen stays.
  over = Shot(window, "3_game_over");
  EXPECT_TRUE(gameOverShown(over)) << overShot;
  EXPECT_EQ(FrameMismatches(over), 0) << overShot;
  const Well finished(over, sheets_, {gameOverLabel, promptLabel});
  EXPECT_EQ(finished.unreadable, 0) << overShot;
  int marked = 0;
  for (int column = 1; column <= 10; ++column)
    for (int row = 1; row <= 20; ++row) {
      const int tile = finished.tiles[column][row];
      EXPECT_TRUE(tile == -2 || tile == 0 || tile == 8) << "cell " << column << "," << row << " shows tile " << tile;
      marked += tile == 8;
    }
  EXPECT_GE(marked, 8) << "the pile is marked as a finished game";
  EXPECT_NE(PreviewShape(over, sheets_), 0) << overShot;
  EXPECT_EQ(NumberAt(over, sheets_, 0, 260), "12345");

  // Escape ends the program; the high score goes back to the save file as a whole record.
  Key("keydown", "Escape");
  EXPECT_EQ(WaitForExit(10000), 0) << "Escape ends the program";
  Key("keyup", "Escape");
  EXPECT_EQ(ReadFile(directory_ / "pylonrush21.dat"), SaveRecord(kSavedHighScore, 12));

  // The path drawn on: the device's creation fails only on the machine without a 3D device.
  const Bytes logBytes = ReadFile(directory_ / "Log.txt");
  const std::string log(logBytes.begin(), logBytes.end());
  const size_t device = log.find("IDirect3DDevice9Ex");
  ASSERT_NE(device, std::string::npos);
  const std::string deviceLine = log.substr(device, log.find('\n', device) - device);
  EXPECT_EQ(deviceLine.find(reinterpret_cast<const char*>(u8"失敗")) != std::string::npos, software) << deviceLine;

  // Shut-down writes the heap dump last, and no block is left in it.
  EXPECT_EQ(HeapDumpLines(), std::vector<std::string>{"\tTotal size:0(0.000kb)  Alloc num:0"});
}

INSTANTIATE_TEST_SUITE_P(RenderingPaths, GameScreenPath, ::testing::Values("device", "software"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

TEST_F(GameScreen, WithoutTheSaveFileTheProgramEndsSilentlyWithoutSaving) {
  fs::remove(directory_ / "pylonrush21.dat");
  Start({});
  bool messageSeen = false;
  int status = -1;
  for (int waited = 0; waited < 20000 && status == -1; waited += 200) {
    messageSeen = messageSeen ||
                  !RunCommand("DISPLAY=" + display_ + " xwininfo -root -children | grep -F '\"MESSAGE\"'").empty();
    status = WaitForExit(200);
  }
  EXPECT_EQ(status, 0) << "the program ends by itself";
  EXPECT_FALSE(messageSeen);
  EXPECT_FALSE(fs::exists(directory_ / "pylonrush21.dat")) << "nothing is saved";
  EXPECT_EQ(HeapDumpLines(), std::vector<std::string>{"?"}) << "the library is not shut down";
}

TEST_F(GameScreen, AMissingPictureShowsLoadFileErrorAndEndsWithoutSaving) {
  fs::remove(directory_ / "pylonrush02.png");
  const Bytes shortSave = SaveRecord(77, 4);
  WriteFile(directory_ / "pylonrush21.dat", shortSave);

  // On the display: a message box captioned "MESSAGE"; its OK button ends the program.
  Start({});
  const std::string box = WaitForWindow("MESSAGE", 20000);
  ASSERT_FALSE(box.empty()) << "no message box";
  Shot(box, "message_box");
  RunCommand(Xdotool() + "windowfocus --sync " + box + " key Return 2>/dev/null");
  EXPECT_EQ(WaitForExit(10000), 0);
  EXPECT_EQ(ReadFile(directory_ / "pylonrush21.dat"), shortSave) << "nothing is saved";

  // Without a display the same message goes to the error stream, word for word.
  const fs::path errors = directory_ / "errors.txt";
  Start({"DISPLAY=", "SDL_VIDEODRIVER=dummy"}, errors);
  EXPECT_EQ(WaitForExit(20000), 0);
  const Bytes text = ReadFile(errors);
  EXPECT_NE(std::string(text.begin(), text.end()).find("MESSAGE: LOAD FILE ERROR"), std::string::npos);
  EXPECT_EQ(ReadFile(directory_ / "pylonrush21.dat"), shortSave);
}

// The title's prompt on screen: the program is in its frame loop.
bool TitleShown(const Picture& shot, const Sheets& sheets) { return LabelMismatches(shot, sheets, 7, 110, 370) == 0; }

// A driver that does not exist stands for a machine whose audio device cannot be opened.
TEST_F(GameScreen, WithoutAnAudioDeviceTheGamePlaysSilentlyAndSaysSoOnce) {
  WriteFile(directory_ / "pylonrush21.dat", SaveRecord(kSavedHighScore, 4));
  const fs::path errors = directory_ / "errors.txt";
  Start({"SDL_AUDIODRIVER=no-such-driver"}, errors);
  const std::string window = WaitForWindow("Pylon Rush", 20000);
  ASSERT_FALSE(window.empty()) << "the game's window did not appear: " << EndReport();
  RunCommand(Xdotool() + "windowfocus --sync " + window + " 2>/dev/null");
  ShotUntil(window, "title", 15000, [&](const Picture& shot) { return TitleShown(shot, sheets_); });
  Key("keydown", "s");
  const Picture play = ShotUntil(window, "play", 15000,
                                 [&](const Picture& shot) { return OnePieceInView(shot, sheets_); });
  Key("keyup", "s");
  EXPECT_TRUE(OnePieceInView(play, sheets_)) << "the sounds loaded and a game is in play: " << lastShot_;
  Key("keydown", "Escape");
  EXPECT_EQ(WaitForExit(10000), 0);
  Key("keyup", "Escape");
  EXPECT_EQ(ReadFile(directory_ / "pylonrush21.dat"), SaveRecord(kSavedHighScore, 12));

  constexpr char kLine[] = "No audio device could be opened: sound plays on a silent output";
  const Bytes errorBytes = ReadFile(errors);
  const std::string errorText(errorBytes.begin(), errorBytes.end());
  // The line with its reason; the log's own lines may be echoed to the error stream as well.
  const std::string withReason = std::string(kLine) + " (";
  size_t count = 0;
  for (size_t at = errorText.find(withReason); at != std::string::npos; at = errorText.find(withReason, at + 1))
    ++count;
  EXPECT_EQ(count, 1u) << errorText;
  const Bytes logBytes = ReadFile(directory_ / "Log.txt");
  EXPECT_NE(std::string(logBytes.begin(), logBytes.end()).find(kLine), std::string::npos);
}

// Ends from outside the program: a signal, or its window destroyed by another X client.
struct OutsideEnd {
  const char* name;
  int signal;  // 0: the window is destroyed.
};

void PrintTo(const OutsideEnd& end, std::ostream* out) { *out << end.name; }

class GameScreenOutsideEnd : public GameScreen, public ::testing::WithParamInterface<OutsideEnd> {};

TEST_P(GameScreenOutsideEnd, EndsThroughTheNormalShutDownWithTheHighScoreSaved) {
  WriteFile(directory_ / "pylonrush21.dat", SaveRecord(kSavedHighScore, 4));
  Start({});
  std::string window = WaitForWindow("Pylon Rush", 20000);
  ASSERT_FALSE(window.empty()) << "the game's window did not appear: " << EndReport();
  const Picture title = ShotUntil(window, "title", 15000,
                                  [&](const Picture& shot) { return TitleShown(shot, sheets_); });
  ASSERT_TRUE(TitleShown(title, sheets_)) << lastShot_;
  if (GetParam().signal != 0) {
    ASSERT_EQ(kill(program_.Id(), GetParam().signal), 0);
  } else {
    // Looked up again: SDL may have put a new window in place of the first to present on it.
    window = WaitForWindow("Pylon Rush", 5000);
    RunCommand(Xdotool() + "windowclose " + window + " 2>/dev/null");
  }
  EXPECT_EQ(WaitForExit(20000), 0);
  EXPECT_EQ(ReadFile(directory_ / "pylonrush21.dat"), SaveRecord(kSavedHighScore, 12)) << "the high score is saved";
  EXPECT_EQ(HeapDumpLines(), std::vector<std::string>{"\tTotal size:0(0.000kb)  Alloc num:0"})
      << "the log ends with shut-down's heap dump";
  const Bytes output = ReadFile(directory_ / "output.txt");
  EXPECT_EQ(std::string(output.begin(), output.end()).find("X Error"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Ends, GameScreenOutsideEnd,
                         ::testing::Values(OutsideEnd{"SIGINT", SIGINT}, OutsideEnd{"SIGTERM", SIGTERM},
                                           OutsideEnd{"SIGHUP", SIGHUP}, OutsideEnd{"WindowDestroyed", 0}),
                         [](const ::testing::TestParamInfo<OutsideEnd>& info) { return std::string(info.param.name); });

// Xvfb runs no window manager: once the box has taken the focus, nothing gives it back to the
// game's window, and shut-down must not wait for it.
TEST_F(GameScreen, AProgramThatShowedSaveFileErrorStillEnds) {
  fs::remove(directory_ / "pylonrush21.dat");
  fs::create_directory(directory_ / "pylonrush21.dat");  // Reads as empty; can never be written.
  Start({});
  const std::string window = WaitForWindow("Pylon Rush", 20000);
  ASSERT_FALSE(window.empty()) << "the game's window did not appear: " << EndReport();
  RunCommand(Xdotool() + "windowfocus --sync " + window + " 2>/dev/null");
  ShotUntil(window, "title", 15000, [&](const Picture& shot) { return TitleShown(shot, sheets_); });
  Key("keydown", "Escape");
  const std::string box = WaitForWindow("MESSAGE", 20000);
  Key("keyup", "Escape");
  ASSERT_FALSE(box.empty()) << "no SAVE FILE ERROR box";
  RunCommand(Xdotool() + "windowfocus --sync " + box + " key Return 2>/dev/null");
  EXPECT_EQ(WaitForExit(20000), 0) << "the program did not end after its box";
  EXPECT_EQ(HeapDumpLines(), std::vector<std::string>{"\tTotal size:0(0.000kb)  Alloc num:0"});
}

}  // namespace
