// Start-up and shut-down: the whole run, the size rules, names, refusals and clean-ups.
#include "window_fixture.h"

#include "platform/com.h"

namespace {

using windowtest::LibraryChildTest;
using windowtest::LibraryTest;
using platform::testing::ReadWindowState;
using platform::testing::WindowState;

// Positions of `lines` in `log`, in order; fails on the first one missing or out of order.
void ExpectInOrder(const std::string& log, const std::vector<std::string>& lines) {
  size_t position = 0;
  for (const std::string& line : lines) {
    size_t found = log.find(line, position);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << platform::Cp932ToUtf8(line);
    position = found + line.size();
  }
}

int ClientWidth(const WindowState& state) { return state.clientRect.right - state.clientRect.left; }
int ClientHeight(const WindowState& state) { return state.clientRect.bottom - state.clientRect.top; }

TEST_F(LibraryTest, RunsFramesClosesAndFinishes) {
  ChangeWindowTitle("Pylon Rush");
  ASSERT_EQ(InitializeLibrary(), 0);
  HWND window = GetMainWindow();
  ASSERT_TRUE(IsWindow(window));
  for (int frame = 0; frame < 100; ++frame) ASSERT_EQ(ProcessWindowMessages(), 0) << "frame " << frame;
  EXPECT_FALSE(platform::testing::ScreenSaverActive());

  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(ProcessWindowMessages(), -1);
  EXPECT_EQ(ProcessWindowMessages(), -1);  // Stays -1.
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(FinishLibrary(), 0);

  WNDCLASSEXA unused;
  EXPECT_FALSE(GetClassInfoExA(nullptr, "Pylon Rush", &unused)) << "class left registered";
  EXPECT_TRUE(platform::testing::ScreenSaverActive());
  EXPECT_EQ(platform::testing::CountWindows(), 0);

  std::string log = ReadLog();
  if (log.empty()) GTEST_SKIP() << "no Log.txt written by this build's log";
  ExpectInOrder(
      log,
      {"システムの情報を出力します", "論理プロセッサの数 : ", "ＯＳ  Windows", "ＣＯＭの初期化... 成功しました",
       "ソフトの二重起動検査... 二重起動はされていませんでした", "ウインドウクラスを登録します... 登録に成功しました",
       "ウインドウモード起動用のウインドウを作成します", "ウインドウの作成に成功しました",
       "ウインドウを閉じようとしています", "ウインドウが破棄されようとしています", "ソフトを終了する準備が整いました",
       "ＣＯＭを終了... 完了", "Alloc memory dump", "Total size:0(0.000kb)  Alloc num:0"});
}

TEST_F(LibraryTest, StartUpMeasuresTheClocksOnTheTestClock) {
  ASSERT_EQ(InitializeLibrary(), 0);
  // The fixture's clock moves a microsecond per reading: the performance counter changes on every
  // round of the probe and the millisecond timer hardly ever, so the counter is chosen.
  EXPECT_EQ(g_runtime.clocks.usePerformanceCounter, 1);
  // Its time-stamp counter runs at 1 GHz, measured over the 100 ms that the sleeps move it on.
  if (g_runtime.clocks.hasTimeStampCounter) {
    EXPECT_NEAR(g_runtime.processor.processorMHz, 1000, 10);
  }
  std::string log = ReadLog();
  if (log.empty()) GTEST_SKIP() << "no Log.txt written by this build's log";
  ExpectInOrder(log,
                {"タイマーの精度を検査します", "パフォーマンスカウンター：60", "パフォーマンスカウンターを使用します"});
}

TEST_F(LibraryTest, InitialiseAndFinishTwice) {
  ASSERT_EQ(InitializeLibrary(), 0);
  HWND window = GetMainWindow();
  EXPECT_EQ(InitializeLibrary(), 0);
  EXPECT_EQ(GetMainWindow(), window);
  EXPECT_EQ(platform::testing::CountWindows(), 1);
  EXPECT_EQ(FinishLibrary(), 0);
  EXPECT_EQ(FinishLibrary(), 0);
  EXPECT_EQ(platform::testing::CountWindows(), 0);
  // The library starts again after a finish.
  ASSERT_EQ(InitializeLibrary(), 0);
  EXPECT_TRUE(IsWindow(GetMainWindow()));
  EXPECT_EQ(FinishLibrary(), 0);
}

TEST_F(LibraryTest, WindowedClientAreaIsTheScreenSize) {
  ChangeWindowTitle("Pylon Rush");
  ASSERT_EQ(InitializeLibrary(), 0);
  WindowState state;
  ASSERT_TRUE(ReadWindowState(GetMainWindow(), &state));
  EXPECT_EQ(ClientWidth(state), 408);
  EXPECT_EQ(ClientHeight(state), 504);
  EXPECT_EQ(state.sdlWidth, 408);
  EXPECT_EQ(state.sdlHeight, 504);
  EXPECT_EQ(state.sdlTitle, "Pylon Rush");
  EXPECT_TRUE(state.visible);
  EXPECT_EQ(state.style & WS_CAPTION, WS_CAPTION);
  // Centred on the 1024 x 768 desktop.
  int windowWidth = state.windowRect.right - state.windowRect.left;
  EXPECT_EQ(state.windowRect.left, (1024 - windowWidth) / 2);
  EXPECT_EQ(IsWindowActive(), 1);
  RECT client;
  GetClientScreenRect(&client);
  EXPECT_EQ(client.left, state.clientRect.left);
  EXPECT_EQ(client.bottom, state.clientRect.bottom);
}

struct SizeRuleCase {
  int width;
  int height;
  int expectWindowed;
  int clientWidth;
  int clientHeight;
  int queriedWidth;  // QueryScreenMode's width: 320 while emulating.
};

class SizeRules : public LibraryTest, public ::testing::WithParamInterface<SizeRuleCase> {};

TEST_P(SizeRules, FullScreenRequest) {
  const SizeRuleCase& c = GetParam();
  SetScreenMode(c.width, c.height, 32, 60);
  ChangeWindowMode(0);
  ASSERT_EQ(InitializeLibrary(), 0);
  EXPECT_EQ(IsWindowedMode(), c.expectWindowed);
  WindowState state;
  ASSERT_TRUE(ReadWindowState(GetMainWindow(), &state));
  EXPECT_EQ(ClientWidth(state), c.clientWidth);
  EXPECT_EQ(ClientHeight(state), c.clientHeight);
  int width = 0;
  QueryScreenMode(&width, nullptr, nullptr);
  EXPECT_EQ(width, c.queriedWidth);
}

INSTANTIATE_TEST_SUITE_P(Window, SizeRules,
                         ::testing::Values(SizeRuleCase{800, 600, 1, 800, 600, 800},    // No such mode: windowed.
                                           SizeRuleCase{320, 240, 0, 640, 480, 320},    // Emulated at 640 x 480.
                                           SizeRuleCase{640, 480, 0, 640, 480, 640}));  // Offered: full screen.

TEST_F(LibraryTest, ClassNameAndTitleDefaults) {
  ASSERT_EQ(InitializeLibrary(), 0);
  WindowState state;
  ASSERT_TRUE(ReadWindowState(GetMainWindow(), &state));
  EXPECT_EQ(state.className, "D123987X");
  EXPECT_EQ(state.title, "Zyvel");
  FinishLibrary();

  g_windowSystem = WindowSystemRecord{};
  g_runtime = RuntimeRecord{};
  ChangeWindowTitle("Pylon Rush");
  ASSERT_EQ(InitializeLibrary(), 0);
  ASSERT_TRUE(ReadWindowState(GetMainWindow(), &state));
  EXPECT_EQ(state.className, "Pylon Rush");
  EXPECT_EQ(state.title, "Pylon Rush");
  EXPECT_EQ(FindWindowA("pylon rush", nullptr), GetMainWindow());
}

// Run in a second process by SecondCopyIsRefused.
TEST_F(LibraryChildTest, SecondCopyChild) {
  ChangeWindowTitle("Pylon Rush");
  EXPECT_EQ(InitializeLibrary(), -1);
  EXPECT_EQ(IsQuitRequested(), 1);
  EXPECT_EQ(GetMainWindow(), nullptr);
  EXPECT_EQ(platform::testing::CountWindows(), 0);
  EXPECT_TRUE(platform::testing::ScreenSaverActive()) << "refused start-up left the screen saver off";
  std::string log = ReadLog();
  if (!log.empty()) {
    EXPECT_NE(log.find("二重起動されています、ソフトを終了します"), std::string::npos);
  }
}

// Run in a second process by SecondCopyIsRefused: with the option set it starts all the same.
TEST_F(LibraryChildTest, AllowedSecondCopyChild) {
  ChangeWindowTitle("Pylon Rush");
  g_windowSystem.options.doubleStartAllowed = 1;
  EXPECT_EQ(InitializeLibrary(), 0);
  EXPECT_TRUE(IsWindow(GetMainWindow()));
}

TEST_F(LibraryTest, SecondCopyIsRefused) {
  ChangeWindowTitle("Pylon Rush");
  ASSERT_EQ(InitializeLibrary(), 0);
  EXPECT_EQ(RunChild("LibraryChildTest.SecondCopyChild"), 0);
  EXPECT_EQ(RunChild("LibraryChildTest.AllowedSecondCopyChild"), 0);
  FinishLibrary();
  // Without the first copy the second one starts.
  g_windowSystem = WindowSystemRecord{};
  g_runtime = RuntimeRecord{};
  ChangeWindowTitle("Pylon Rush");
  ASSERT_EQ(InitializeLibrary(), 0);
}

TEST_F(LibraryTest, FailedStartUpUndoesWhatItStarted) {
  // A class of the same name already registered makes the class registration fail.
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.lpszClassName = "Taken Class";
  ASSERT_TRUE(RegisterClassExA(&windowClass));
  ChangeWindowTitle("Taken Class");
  EXPECT_EQ(InitializeLibrary(), -1);
  EXPECT_EQ(g_windowSystem.initialised, 0);
  EXPECT_EQ(g_windowSystem.initialising, 0);
  EXPECT_EQ(g_windowSystem.comInitialised, 0);
  EXPECT_EQ(CoInitialize(nullptr), S_OK) << "COM left initialised";
  CoUninitialize();
  EXPECT_TRUE(platform::testing::ScreenSaverActive());
  EXPECT_EQ(g_windowSystem.run.timerPeriod, 0u);
  UnregisterClassA("Taken Class", nullptr);
}

TEST_F(LibraryTest, NoWindowModeRestoresTheMachine) {
  g_windowSystem.options.noWindow = 1;
  // The 24-bit check is skipped without a window.
  platform::testing::SetDisplayModes({{1024, 768, 24, 60}}, {1024, 768, 24, 60});
  ASSERT_EQ(InitializeLibrary(), 0);
  EXPECT_EQ(GetMainWindow(), nullptr);
  EXPECT_EQ(platform::testing::CountWindows(), 0);
  EXPECT_EQ(ProcessWindowMessages(), 0);
  EXPECT_FALSE(platform::testing::ScreenSaverActive());
  EXPECT_EQ(FinishLibrary(), 0);
  EXPECT_TRUE(platform::testing::ScreenSaverActive());
  EXPECT_EQ(IsQuitRequested(), 1);
}

TEST_F(LibraryTest, TwentyFourBitDesktopIsRefused) {
  platform::testing::SetDisplayModes({{1024, 768, 24, 60}}, {1024, 768, 24, 60});
  EXPECT_EQ(InitializeLibrary(), -1);
  EXPECT_EQ(platform::testing::CountWindows(), 0);
  EXPECT_EQ(g_windowSystem.initialising, 0);
  std::string log = ReadLog();
  if (!log.empty()) {
    EXPECT_NE(log.find("Zyvelライブラリは２４ビットカラーモードに対応していません"), std::string::npos);
  }
}

TEST_F(LibraryTest, WindowScaleZeroReadsOne) {
  g_windowSystem.windowScaleX = 0.0;
  g_windowSystem.windowScaleY = -2.0;
  double y = 0.0;
  EXPECT_EQ(GetWindowScale(nullptr, &y), 1.0);
  EXPECT_EQ(y, 1.0);
  EXPECT_EQ(g_windowSystem.windowScaleX, 1.0);
  EXPECT_EQ(g_windowSystem.windowScaleY, 1.0);

  // A scale of 2 doubles the client area.
  g_windowSystem.windowScaleX = g_windowSystem.windowScaleY = 2.0;
  SetScreenMode(320, 240, 32, 60);
  ASSERT_EQ(InitializeLibrary(), 0);
  WindowState state;
  ASSERT_TRUE(ReadWindowState(GetMainWindow(), &state));
  EXPECT_EQ(ClientWidth(state), 640);
  EXPECT_EQ(ClientHeight(state), 480);
}

TEST_F(LibraryTest, FullScreenWithoutTheModeIsRefusedAndStaysWindowed) {
  SetScreenMode(800, 600, 32, 60);
  ASSERT_EQ(InitializeLibrary(), 0);
  EXPECT_EQ(ChangeWindowMode(0), -1);
  EXPECT_EQ(IsWindowedMode(), 1);
}

TEST_F(LibraryTest, ModeChangeWaitsForTheDisplayButNotForever) {
  SetScreenMode(640, 480, 32, 60);
  ASSERT_EQ(InitializeLibrary(), 0);
  // A display change that arrives ends the wait.
  ChangeDisplaySettingsA(nullptr, 0);
  EXPECT_EQ(ChangeWindowMode(0), 0);
  EXPECT_EQ(IsWindowedMode(), 0);
  WindowState state;
  ASSERT_TRUE(ReadWindowState(GetMainWindow(), &state));
  EXPECT_EQ(state.style & WS_CAPTION, 0u);
  EXPECT_NE(state.exStyle & WS_EX_TOPMOST, 0u);
  EXPECT_EQ(state.windowRect.left, 0);
  EXPECT_EQ(ClientWidth(state), 640);
  // None arrives: the switch gives up after a bounded wait and says so.
  EXPECT_EQ(ChangeWindowMode(1), -1);
  EXPECT_EQ(IsWindowedMode(), 1);
  EXPECT_EQ(g_windowSystem.run.modeChangeRunning, 0);
}

TEST_F(LibraryTest, OsCodes) {
  struct Case {
    DWORD platformId, major, minor;
    int code;
    const char* word;
  };
  const Case cases[] = {
      {VER_PLATFORM_WIN32s, 3, 10, 0, "3.1"},         {VER_PLATFORM_WIN32_WINDOWS, 4, 0, 1, "95"},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2, "98"},   {VER_PLATFORM_WIN32_WINDOWS, 4, 90, 3, "Me"},
      {VER_PLATFORM_WIN32_NT, 3, 51, 260, "NT 3.51"}, {VER_PLATFORM_WIN32_NT, 4, 0, 261, "4.0"},
      {VER_PLATFORM_WIN32_NT, 5, 0, 262, "2000"},     {VER_PLATFORM_WIN32_NT, 5, 1, 263, "XP"},
      {VER_PLATFORM_WIN32_NT, 6, 0, 264, "Vista"},    {VER_PLATFORM_WIN32_NT, 6, 1, 265, "7"},
      {VER_PLATFORM_WIN32_NT, 6, 18, 265, "7"},       {VER_PLATFORM_WIN32_NT, 10, 0, 265, "7"},
  };
  for (const Case& c : cases) {
    char word[32];
    EXPECT_EQ(OsCodeOfVersion(c.platformId, c.major, c.minor, word, sizeof(word)), c.code) << c.major << "." << c.minor;
    EXPECT_STREQ(word, c.word);
  }
}

TEST_F(LibraryTest, AbortWithLogEndsWithStatus255) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        InitializeLibrary();
        RemoveDirectories();
        AbortWithLogFormat("fatal %d", 7);
      },
      ::testing::ExitedWithCode(255), "");
  EXPECT_EXIT(
      {
        RemoveDirectories();
        std::thread worker([] { AbortWithLog("worker"); });
        worker.join();
      },
      ::testing::ExitedWithCode(255), "");
}

}  // namespace
