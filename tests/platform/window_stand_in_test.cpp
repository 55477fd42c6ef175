// The window stand-in: message order, synchronous create and destroy, geometry messages only on
// change, paint while invalid, timers, per-thread queues, display modes and input from SDL.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/gdi.h"
#include "platform/kernel.h"
#include "platform/testing.h"
#include "platform/user.h"
#include "platform/window_surface.h"

extern char** environ;

namespace {

std::vector<MSG> g_calls;

LRESULT RecordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  g_calls.push_back(MSG{window, message, wParam, lParam, 0, {}});
  return DefWindowProcA(window, message, wParam, lParam);
}

std::vector<UINT> CallsOf(std::initializer_list<UINT> kinds) {
  std::vector<UINT> out;
  for (const MSG& msg : g_calls)
    for (UINT kind : kinds)
      if (msg.message == kind) out.push_back(msg.message);
  return out;
}

class WindowStandIn : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    platform::testing::UseDummyVideoDriver();
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = RecordingProcedure;
    windowClass.lpszClassName = "Stand-in Test";
    ASSERT_TRUE(RegisterClassExA(&windowClass));
  }
  static void TearDownTestSuite() { UnregisterClassA("Stand-in Test", nullptr); }

  void SetUp() override {
    platform::testing::SetDisplayModes({{640, 480, 32, 60}, {800, 600, 32, 60}, {800, 600, 16, 60}},
                                       {1024, 768, 32, 60});
    g_calls.clear();
  }
  void TearDown() override {
    for (HWND window : made_) DestroyWindow(window);
    Drain();
  }

  HWND Make(DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU, DWORD exStyle = WS_EX_CLIENTEDGE) {
    HWND window = CreateWindowExA(exStyle, "Stand-in Test", "Test", style, 10, 20, 300, 200, nullptr, nullptr, nullptr,
                                  nullptr);
    made_.push_back(window);
    return window;
  }

  static void Drain() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }

  std::vector<HWND> made_;
};

TEST_F(WindowStandIn, CreateAndDestroyAreSentAtOnce) {
  HWND window = Make();
  ASSERT_TRUE(window);
  EXPECT_EQ(CallsOf({WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE}),
            (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE}));
  g_calls.clear();
  EXPECT_TRUE(DestroyWindow(window));
  EXPECT_EQ(CallsOf({WM_DESTROY, WM_NCDESTROY}), (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(DestroyWindow(window));
}

TEST_F(WindowStandIn, CreateRefusedByTheProcedureGivesNoWindow) {
  static auto refuse = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (message == WM_CREATE) return -1;
    return DefWindowProcA(window, message, wParam, lParam);
  };
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = refuse;
  windowClass.lpszClassName = "Refusing";
  ASSERT_TRUE(RegisterClassExA(&windowClass));
  EXPECT_EQ(CreateWindowExA(0, "Refusing", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(platform::testing::CountWindows(), 0);
  EXPECT_TRUE(UnregisterClassA("refusing", nullptr));
  EXPECT_EQ(CreateWindowExA(0, "Unknown", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
}

TEST_F(WindowStandIn, ClassInUseCannotBeUnregistered) {
  HWND window = Make();
  EXPECT_FALSE(UnregisterClassA("Stand-in Test", nullptr));
  WNDCLASSEXA again{};
  again.cbSize = sizeof(again);
  again.lpfnWndProc = RecordingProcedure;
  again.lpszClassName = "STAND-IN TEST";
  EXPECT_FALSE(RegisterClassExA(&again)) << "class names compare without case";
  DestroyWindow(window);
}

struct FrameCase {
  DWORD style;
  DWORD exStyle;
  BOOL menu;
  RECT frame;  // Added on each side.
};

TEST_F(WindowStandIn, AdjustWindowRectExFrames) {
  const FrameCase cases[] = {
      {WS_POPUP, 0, FALSE, {0, 0, 0, 0}},
      {WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE, FALSE, {5, 24, 5, 5}},
      {WS_POPUP | WS_CAPTION, WS_EX_TOOLWINDOW, FALSE, {3, 18, 3, 3}},
      {WS_POPUP | WS_CAPTION | WS_THICKFRAME, 0, TRUE, {4, 42, 4, 4}},
      {WS_POPUP | WS_BORDER, 0, FALSE, {1, 1, 1, 1}},
  };
  for (const FrameCase& c : cases) {
    RECT rect{100, 100, 508, 604};
    ASSERT_TRUE(AdjustWindowRectEx(&rect, c.style, c.menu, c.exStyle));
    EXPECT_EQ(100 - rect.left, c.frame.left) << std::hex << c.style;
    EXPECT_EQ(100 - rect.top, c.frame.top) << std::hex << c.style;
    EXPECT_EQ(rect.right - 508, c.frame.right) << std::hex << c.style;
    EXPECT_EQ(rect.bottom - 604, c.frame.bottom) << std::hex << c.style;
    // A window made at the adjusted size has exactly the asked client area.
    HWND window = CreateWindowExA(c.exStyle, "Stand-in Test", "", c.style, rect.left, rect.top, rect.right - rect.left,
                                  rect.bottom - rect.top, nullptr, c.menu ? reinterpret_cast<HMENU>(1) : nullptr,
                                  nullptr, nullptr);
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 408);
    EXPECT_EQ(client.bottom, 504);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    EXPECT_EQ(origin.x, 100);
    EXPECT_EQ(origin.y, 100);
    DestroyWindow(window);
  }
}

TEST_F(WindowStandIn, SizeAndMoveOnlyOnARealChange) {
  HWND window = Make();
  RECT rect;
  GetWindowRect(window, &rect);
  g_calls.clear();
  MoveWindow(window, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_TRUE(CallsOf({WM_SIZE, WM_MOVE}).empty());
  MoveWindow(window, rect.left + 1, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
  EXPECT_EQ(CallsOf({WM_SIZE, WM_MOVE}), (std::vector<UINT>{WM_MOVE}));
  g_calls.clear();
  SetWindowPos(window, nullptr, 0, 0, 123, 45, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(CallsOf({WM_SIZE, WM_MOVE}), (std::vector<UINT>{WM_SIZE}));
  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(g_calls.back().lParam, MAKELONG(client.right, client.bottom));
  platform::testing::WindowState state;
  ASSERT_TRUE(platform::testing::ReadWindowState(window, &state));
  EXPECT_EQ(state.sdlWidth, client.right);
  EXPECT_EQ(state.sdlHeight, client.bottom);
}

TEST_F(WindowStandIn, PaintOnlyWhileInvalid) {
  HWND window = Make();
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, window, WM_PAINT, WM_PAINT, PM_NOREMOVE)) << "hidden windows need no paint";
  ShowWindow(window, SW_SHOW);
  ASSERT_TRUE(PeekMessageA(&msg, window, WM_PAINT, WM_PAINT, PM_REMOVE));
  // Taking WM_PAINT does not validate; painting does.
  ASSERT_TRUE(PeekMessageA(&msg, window, WM_PAINT, WM_PAINT, PM_REMOVE));
  PAINTSTRUCT paint;
  ASSERT_TRUE(BeginPaint(window, &paint));
  EXPECT_EQ(paint.rcPaint.right, 300 - 10);  // The whole client area: 300 less the two frame sides.
  EndPaint(window, &paint);
  EXPECT_FALSE(PeekMessageA(&msg, window, WM_PAINT, WM_PAINT, PM_NOREMOVE));
  RECT part{5, 5, 10, 10};
  InvalidateRect(window, &part, FALSE);
  ASSERT_TRUE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_PAINT);
  DispatchMessageA(&msg);  // DefWindowProcA paints and validates.
  EXPECT_FALSE(PeekMessageA(&msg, window, WM_PAINT, WM_PAINT, PM_NOREMOVE));
}

TEST_F(WindowStandIn, QuitComesAfterPostedMessagesAndPaintAfterQuit) {
  HWND window = Make();
  ShowWindow(window, SW_SHOW);
  PostQuitMessage(3);
  PostMessageA(window, WM_USER + 1, 0, 0);
  PostMessageA(nullptr, WM_USER + 2, 0, 0);
  std::vector<UINT> order;
  MSG msg;
  for (int i = 0; i < 4 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
    order.push_back(msg.message);
    if (msg.message == WM_QUIT) {
      EXPECT_EQ(msg.wParam, 3u);
    }
  }
  EXPECT_EQ(order, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_QUIT, WM_PAINT}));
}

TEST_F(WindowStandIn, WindowFilters) {
  HWND first = Make();
  HWND second = Make();
  PostMessageA(first, WM_USER + 1, 0, 0);
  PostMessageA(second, WM_USER + 2, 0, 0);
  PostMessageA(nullptr, WM_USER + 3, 0, 0);
  HWND threadOnly = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, threadOnly, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER + 3);
  ASSERT_TRUE(PeekMessageA(&msg, second, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER + 2);
  EXPECT_FALSE(PeekMessageA(&msg, threadOnly, 0, 0, PM_REMOVE));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER, WM_USER + 10, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER + 1);
}

TEST_F(WindowStandIn, PostsGoToTheOwnerThreadsQueue) {
  HWND window = Make();
  bool seenElsewhere = true;
  std::thread other([&] {
    PostMessageA(window, WM_USER + 7, 0, 0);
    MSG msg;
    seenElsewhere = PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
  });
  other.join();
  EXPECT_FALSE(seenElsewhere);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 7, WM_USER + 7, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, window);
}

TEST_F(WindowStandIn, TimersFollowTheClock) {
  platform::testing::UseFakeClock(true);
  platform::testing::SetFakeClockMilliseconds(1000);
  HWND window = Make();
  EXPECT_EQ(SetTimer(window, 0x7FFF, 32, nullptr), 0x7FFFu);
  MSG msg;
  platform::testing::AdvanceFakeClock(31000);
  EXPECT_FALSE(PeekMessageA(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE));
  platform::testing::AdvanceFakeClock(1000);
  ASSERT_TRUE(PeekMessageA(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 0x7FFFu);
  EXPECT_FALSE(PeekMessageA(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE)) << "next one is 32 ms away";
  platform::testing::AdvanceFakeClock(32000);
  EXPECT_TRUE(KillTimer(window, 0x7FFF));
  EXPECT_FALSE(PeekMessageA(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE));
  EXPECT_FALSE(KillTimer(window, 0x7FFF));
  platform::testing::UseFakeClock(false);
}

TEST_F(WindowStandIn, DisplayModesAndChanges) {
  DEVMODEA mode{};
  mode.dmSize = sizeof(mode);
  std::vector<std::string> listed;
  for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &mode); ++i)
    listed.push_back(std::to_string(mode.dmPelsWidth) + "x" + std::to_string(mode.dmPelsHeight) + "x" +
                     std::to_string(mode.dmBitsPerPel));
  EXPECT_EQ(listed, (std::vector<std::string>{"640x480x32", "800x600x32", "800x600x16"}));
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES), 32);
  ReleaseDC(nullptr, screen);

  HWND window = Make();
  mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
  mode.dmPelsWidth = 1280;
  mode.dmPelsHeight = 1024;
  mode.dmBitsPerPel = 32;
  EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_BADMODE);
  mode.dmPelsWidth = 800;
  mode.dmPelsHeight = 600;
  EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 800);
  EXPECT_EQ(ChangeDisplaySettingsA(nullptr, 0), DISP_CHANGE_SUCCESSFUL);
  EXPECT_EQ(ChangeDisplaySettingsA(nullptr, 0), DISP_CHANGE_SUCCESSFUL);  // No change, still announced.
  std::vector<LPARAM> announced;
  MSG msg;
  while (PeekMessageA(&msg, window, WM_DISPLAYCHANGE, WM_DISPLAYCHANGE, PM_REMOVE)) announced.push_back(msg.lParam);
  EXPECT_EQ(announced, (std::vector<LPARAM>{MAKELONG(800, 600), MAKELONG(1024, 768), MAKELONG(1024, 768)}));
}

TEST_F(WindowStandIn, SdlDesktopOfFourBytePixelsReportsThirtyTwoBits) {
  platform::testing::UseSdlDisplayModes();
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 32);
  EXPECT_GT(GetDeviceCaps(screen, HORZRES), 0);
  ReleaseDC(nullptr, screen);
}

TEST_F(WindowStandIn, ShowingActivatesAndFocusLossIsQueued) {
  HWND window = Make();
  ShowWindow(window, SW_SHOW);
  EXPECT_EQ(GetForegroundWindow(), window);
  EXPECT_EQ(CallsOf({WM_ACTIVATEAPP, WM_ACTIVATE}), (std::vector<UINT>{WM_ACTIVATEAPP, WM_ACTIVATE}));
  g_calls.clear();
  ValidateRect(window, nullptr);  // WM_PAINT lies in the range peeked below.
  platform::testing::PostFocusChange(window, false);
  MSG msg;
  std::vector<std::pair<UINT, WPARAM>> queued;
  while (PeekMessageA(&msg, window, WM_ACTIVATE, WM_ACTIVATEAPP, PM_REMOVE))
    queued.emplace_back(msg.message, msg.wParam);
  EXPECT_EQ(queued, (std::vector<std::pair<UINT, WPARAM>>{{WM_ACTIVATE, WA_INACTIVE}, {WM_ACTIVATEAPP, 0}}));
  EXPECT_TRUE(g_calls.empty()) << "focus messages are posted, not sent";
}

TEST_F(WindowStandIn, CloseButtonDestroysThroughTheDefaultProcedure) {
  HWND window = Make();
  ShowWindow(window, SW_SHOW);
  platform::testing::PostCloseRequest(window);
  Drain();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(CallsOf({WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY}), (std::vector<UINT>{WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY}));
}

TEST_F(WindowStandIn, KeyStateFollowsTheMessagesTaken) {
  HWND window = Make();
  ShowWindow(window, SW_SHOW);
  platform::testing::PostKeyEvent(window, VK_SHIFT, true);
  platform::testing::PostKeyEvent(window, 'Q', true);
  platform::testing::PostKeyEvent(window, VK_SHIFT, false);
  platform::testing::PostKeyEvent(window, 'Q', false);
  std::vector<std::pair<UINT, WPARAM>> typed;
  MSG msg;
  while (PeekMessageA(&msg, window, WM_KEYDOWN, WM_CHAR, PM_REMOVE)) {
    if (msg.message == WM_KEYDOWN && msg.wParam == 'Q') {
      EXPECT_TRUE(GetKeyState(VK_SHIFT) & 0x8000);
    }
    TranslateMessage(&msg);
    typed.emplace_back(msg.message, msg.wParam);
  }
  EXPECT_EQ(typed,
            (std::vector<std::pair<UINT, WPARAM>>{
                {WM_KEYDOWN, VK_SHIFT}, {WM_KEYDOWN, 'Q'}, {WM_CHAR, 'Q'}, {WM_KEYUP, VK_SHIFT}, {WM_KEYUP, 'Q'}}));
  EXPECT_FALSE(GetKeyState('Q') & 0x8000);
}

TEST_F(WindowStandIn, PresentedPicturesShowInTheWindow) {
  platform::testing::KeepPresentedFrames(true);
  HWND window = Make(WS_POPUP, 0);  // No frame: a 300 x 200 client area.
  ShowWindow(window, SW_SHOW);
  // A 2 x 2 picture: red, green / blue, white; stretched over the whole client area.
  const uint32_t pixels[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
  ASSERT_TRUE(platform::PresentToWindow(window, pixels, 2, 2, 8, nullptr));
  struct Probe {
    int x, y;
    uint32_t rgb;
  };
  for (const Probe& probe :
       {Probe{10, 10, 0xFF0000}, Probe{290, 10, 0x00FF00}, Probe{10, 190, 0x0000FF}, Probe{290, 190, 0xFFFFFF}}) {
    uint32_t shown = 0;
    ASSERT_TRUE(platform::testing::ReadShownPixel(window, probe.x, probe.y, &shown));
    EXPECT_EQ(shown, probe.rgb) << probe.x << "," << probe.y;
  }
  // Into part of the client area, unscaled.
  const RECT corner{100, 50, 102, 52};
  ASSERT_TRUE(platform::PresentToWindow(window, pixels, 2, 2, 8, &corner));
  uint32_t shown = 0;
  ASSERT_TRUE(platform::testing::ReadShownPixel(window, 101, 51, &shown));
  EXPECT_EQ(shown, 0xFFFFFFu);
  platform::testing::PresentedFrame frame;
  ASSERT_TRUE(platform::testing::LastPresentedFrame(&frame));
  EXPECT_EQ(frame.window, window);
  EXPECT_EQ(frame.pixels[1], 0x00FF00u);
  // Once no test asks for frames, nothing is copied or kept.
  platform::testing::KeepPresentedFrames(false);
  ASSERT_TRUE(platform::PresentToWindow(window, pixels, 2, 2, 8, nullptr));
  EXPECT_FALSE(platform::testing::LastPresentedFrame(&frame));
}

TEST_F(WindowStandIn, TitlesReachSdlAsUtf8) {
  HWND window = Make();
  // 表 ends in the byte of a backslash in CP932; it must come through whole.
  ASSERT_TRUE(SetWindowTextA(window, "表示テスト"));
  platform::testing::WindowState state;
  ASSERT_TRUE(platform::testing::ReadWindowState(window, &state));
  EXPECT_EQ(state.sdlTitle, reinterpret_cast<const char*>(u8"表示テスト"));
  char title[32];
  EXPECT_EQ(GetWindowTextA(window, title, sizeof(title)), 10);
  EXPECT_STREQ(title, "表示テスト");
}

TEST_F(WindowStandIn, AbsentFacilitiesAnswerHonestly) {
  EXPECT_EQ(LoadLibraryA("dwmapi.dll"), nullptr);
  EXPECT_EQ(SetWindowsHookExA(13, nullptr, nullptr, 0), nullptr);
  EXPECT_FALSE(UnhookWindowsHookEx(nullptr));
  EXPECT_EQ(GetModuleHandleA("user32"), nullptr);
}

// A window held by another process of this program is found by its class.
TEST_F(WindowStandIn, FindWindowSeesAnotherProcess) {
  if (std::getenv("ZYVEL_TEST_CHILD")) GTEST_SKIP();
  char directory[] = "/tmp/zyvel-find-window-XXXXXX";
  ASSERT_TRUE(mkdtemp(directory));
  platform::testing::SetWindowLockDirectory(directory);
  EXPECT_EQ(FindWindowA("Other Process Class", nullptr), nullptr);

  int toChild[2], fromChild[2];
  ASSERT_EQ(pipe2(toChild, O_CLOEXEC), 0);
  ASSERT_EQ(pipe2(fromChild, O_CLOEXEC), 0);
  char exe[4096];
  ssize_t length = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
  ASSERT_GT(length, 0);
  exe[length] = 0;
  std::string filter = "--gtest_filter=WindowStandIn.FindWindowChild";
  char* arguments[] = {exe, filter.data(), nullptr};
  std::vector<std::string> variables{"ZYVEL_TEST_CHILD=1", std::string("ZYVEL_TEST_LOCK_DIRECTORY=") + directory};
  for (char** entry = environ; *entry; ++entry) variables.emplace_back(*entry);
  std::vector<char*> environment;
  for (auto& variable : variables) environment.push_back(variable.data());
  environment.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
  posix_spawn_file_actions_adddup2(&actions, fromChild[1], 3);
  pid_t child = 0;
  ASSERT_EQ(posix_spawn(&child, exe, &actions, nullptr, arguments, environment.data()), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(toChild[0]);
  close(fromChild[1]);
  char ready = 0;
  ASSERT_EQ(read(fromChild[0], &ready, 1), 1);  // The child's window exists.
  EXPECT_NE(FindWindowA("OTHER PROCESS CLASS", nullptr), nullptr);
  close(toChild[1]);  // Lets the child end.
  int status = 0;
  waitpid(child, &status, 0);
  close(fromChild[0]);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(FindWindowA("Other Process Class", nullptr), nullptr) << "gone with its process";
  platform::testing::SetWindowLockDirectory("");
  std::error_code ignored;
  std::filesystem::remove_all(directory, ignored);
}

TEST_F(WindowStandIn, FindWindowChild) {
  const char* directory = std::getenv("ZYVEL_TEST_LOCK_DIRECTORY");
  if (!std::getenv("ZYVEL_TEST_CHILD") || !directory) GTEST_SKIP();
  platform::testing::SetWindowLockDirectory(directory);
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.lpszClassName = "Other Process Class";
  ASSERT_TRUE(RegisterClassExA(&windowClass));
  HWND window = CreateWindowExA(0, "Other Process Class", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                                nullptr);
  ASSERT_TRUE(window);
  char ready = 1;
  ASSERT_EQ(write(3, &ready, 1), 1);
  char ignored;
  while (read(0, &ignored, 1) > 0) {
  }
  DestroyWindow(window);
}

}  // namespace
