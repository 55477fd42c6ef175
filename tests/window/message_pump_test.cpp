// The pump and the window procedure: five messages per call, the order of service, quit, input
// from the window, activation, and the close that shut-down must not lose.
#include "window_fixture.h"

#include <signal.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "sound/sound_services.h"

namespace {

using windowtest::LibraryTest;

std::vector<MSG> g_seen;

// The program's message hook sees every message the window procedure gets.
LRESULT RecordMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  g_seen.push_back(MSG{window, message, wParam, lParam, 0, {}});
  return 0;
}

std::vector<UINT> SeenOf(UINT first, UINT last) {
  std::vector<UINT> out;
  for (const MSG& msg : g_seen)
    if (msg.message >= first && msg.message <= last) out.push_back(msg.message);
  return out;
}

class PumpTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    if (IsSkipped()) return;
    g_seen.clear();
    g_windowSystem.messageHook = RecordMessage;
    // The keyboard poll of input pumps messages itself once per millisecond; without input the
    // counts below depend on the pump alone.
    g_windowSystem.options.noInput = 1;
    ASSERT_EQ(InitializeLibrary(), 0);
    window_ = GetMainWindow();
    while (ProcessWindowMessages() == 0 && !DrainedOfStartUp()) {
    }
    g_seen.clear();
  }
  // Start-up leaves paint and activation messages behind; one call takes them.
  bool DrainedOfStartUp() {
    MSG msg;
    return !PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
  }
  HWND window_ = nullptr;
};

TEST_F(PumpTest, FiveMessagesPerCall) {
  for (UINT i = 0; i < 10; ++i) PostMessageA(window_, WM_USER + 1 + i, 0, 0);
  EXPECT_EQ(ProcessWindowMessages(), 0);
  EXPECT_EQ(SeenOf(WM_USER + 1, WM_USER + 10).size(), 5u);
  EXPECT_EQ(ProcessWindowMessages(), 0);
  std::vector<UINT> expected;
  for (UINT i = 0; i < 10; ++i) expected.push_back(WM_USER + 1 + i);
  EXPECT_EQ(SeenOf(WM_USER + 1, WM_USER + 10), expected);
}

TEST_F(PumpTest, PostedMessagesComeBeforeQuit) {
  PostQuitMessage(0);
  PostMessageA(window_, WM_USER + 1, 0, 0);
  PostMessageA(window_, WM_USER + 2, 0, 0);
  EXPECT_EQ(ProcessWindowMessages(), -1);
  EXPECT_EQ(SeenOf(WM_USER + 1, WM_USER + 2), (std::vector<UINT>{WM_USER + 1, WM_USER + 2}));
  EXPECT_EQ(IsQuitRequested(), 1);
  EXPECT_EQ(ProcessWindowMessages(), -1);
  // Quit came while the window lived: shut-down's close still reaches it.
  EXPECT_TRUE(IsWindow(window_));
  EXPECT_EQ(FinishLibrary(), 0);
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_EQ(platform::testing::CountWindows(), 0);
}

TEST_F(PumpTest, KeysBecomeKeyAndCharacterMessages) {
  platform::testing::PostKeyEvent(window_, 'A', true);
  platform::testing::PostKeyEvent(window_, 'A', false);
  platform::testing::PostKeyEvent(window_, VK_SHIFT, true);
  platform::testing::PostKeyEvent(window_, '2', true);
  platform::testing::PostKeyEvent(window_, VK_SHIFT, false);
  for (int i = 0; i < 4; ++i) ProcessWindowMessages();
  std::vector<std::pair<UINT, WPARAM>> keys;
  for (const MSG& msg : g_seen)
    if (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP || msg.message == WM_CHAR)
      keys.emplace_back(msg.message, msg.wParam);
  std::vector<std::pair<UINT, WPARAM>> expected{{WM_KEYDOWN, 'A'},      {WM_CHAR, 'a'},    {WM_KEYUP, 'A'},
                                                {WM_KEYDOWN, VK_SHIFT}, {WM_KEYDOWN, '2'}, {WM_CHAR, '@'},
                                                {WM_KEYUP, VK_SHIFT}};
  EXPECT_EQ(keys, expected);
}

TEST_F(PumpTest, MouseAndWheel) {
  platform::testing::PostMouseMove(window_, 10, 20);
  platform::testing::PostMouseButton(window_, 1, true, 10, 20);
  platform::testing::PostMouseWheel(window_, -1);
  platform::testing::PostMouseWheel(window_, 2);
  ProcessWindowMessages();
  std::vector<UINT> mouse = SeenOf(WM_MOUSEMOVE, WM_MOUSEWHEEL);
  EXPECT_EQ(mouse, (std::vector<UINT>{WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_MOUSEWHEEL, WM_MOUSEWHEEL}));
  for (const MSG& msg : g_seen)
    if (msg.message == WM_LBUTTONDOWN) {
      EXPECT_EQ(msg.lParam, MAKELONG(10, 20));
    }
  EXPECT_EQ(g_windowSystem.run.wheelCounter, 0);  // -1 then +1.
}

TEST_F(PumpTest, CloseButtonEndsTheLoop) {
  platform::testing::PostCloseRequest(window_);
  int result = 0;
  for (int i = 0; i < 3 && result == 0; ++i) result = ProcessWindowMessages();
  EXPECT_EQ(result, -1);
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_EQ(g_windowSystem.endFlag, 4);  // Closed from outside.
}

// SIGINT, SIGTERM and SIGHUP close the window as its close button does: the program's loop
// ends and it shuts down normally.
class CloseSignalTest : public PumpTest, public ::testing::WithParamInterface<int> {};

TEST_P(CloseSignalTest, ClosesTheWindowAsItsCloseButtonDoes) {
  ASSERT_EQ(raise(GetParam()), 0);
  int result = 0;
  for (int i = 0; i < 3 && result == 0; ++i) result = ProcessWindowMessages();
  EXPECT_EQ(result, -1);
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_EQ(g_windowSystem.endFlag, 4);  // Closed from outside.
}

INSTANTIATE_TEST_SUITE_P(Signals, CloseSignalTest, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(info.param == SIGINT    ? "SIGINT"
                                              : info.param == SIGTERM ? "SIGTERM"
                                                                      : "SIGHUP");
                         });

TEST_F(PumpTest, FocusLossWaitsUntilActiveAgain) {
  EXPECT_EQ(IsWindowActive(), 1);
  platform::testing::PostFocusChange(window_, false);
  // The call stays in the inactive wait until the focus comes back, then returns.
  std::thread user([this] {
    std::atomic_ref<int> waiting(g_windowSystem.run.inactiveWaitStarted);
    while (!waiting.load()) std::this_thread::yield();
    platform::testing::PostFocusChange(window_, true);
  });
  EXPECT_EQ(ProcessWindowMessages(), 0);
  user.join();
  EXPECT_EQ(IsWindowActive(), 1);
  EXPECT_EQ(g_windowSystem.run.inactiveWaitStarted, 1);
  std::vector<UINT> activation = SeenOf(WM_ACTIVATE, WM_ACTIVATE);
  EXPECT_EQ(activation.size(), 2u);
}

TEST_F(PumpTest, ShutDownEndsWhileTheWindowIsInactive) {
  // The sound thread runs, so stopping it pumps messages; the focus is lost and never comes back
  // (an error box took it, and no window manager gives it back).
  ASSERT_EQ(SoundThreadRunning(), 1);
  platform::testing::PostFocusChange(window_, false);
  // Were shut-down to wait for the focus, this gives it back long after, so the test fails
  // instead of hanging.
  std::mutex mutex;
  std::condition_variable changed;
  bool finished = false;
  std::atomic<bool> focusGivenBack{false};
  std::thread rescue([&] {
    std::unique_lock<std::mutex> lock(mutex);
    if (!changed.wait_for(lock, std::chrono::seconds(60), [&] { return finished; })) {
      focusGivenBack = true;
      platform::testing::PostFocusChange(window_, true);
    }
  });
  EXPECT_EQ(FinishLibrary(), 0);
  {
    std::lock_guard<std::mutex> lock(mutex);
    finished = true;
  }
  changed.notify_all();
  rescue.join();
  EXPECT_FALSE(focusGivenBack) << "shut-down waited for the window to be active again";
  EXPECT_EQ(SoundThreadRunning(), 0);
  EXPECT_FALSE(IsWindow(window_));
}

TEST_F(PumpTest, WindowMessagesKeepTheRecordInStep) {
  // A move sends WM_MOVE, a same-size move no WM_SIZE.
  RECT before;
  GetWindowRect(window_, &before);
  MoveWindow(window_, before.left + 5, before.top + 7, before.right - before.left, before.bottom - before.top, TRUE);
  EXPECT_EQ(SeenOf(WM_MOVE, WM_MOVE).size(), 1u);
  EXPECT_EQ(SeenOf(WM_SIZE, WM_SIZE).size(), 0u);
  RECT client;
  GetClientScreenRect(&client);
  POINT origin{0, 0};
  ClientToScreen(window_, &origin);
  EXPECT_EQ(client.left, origin.x);
  EXPECT_EQ(client.top, origin.y);

  // A size change is undone by the fitting rule: the client stays at the screen size.
  g_seen.clear();
  MoveWindow(window_, before.left, before.top, 300, 300, TRUE);
  RECT after;
  GetClientRect(window_, &after);
  EXPECT_EQ(after.right, 408);
  EXPECT_EQ(after.bottom, 504);
}

TEST_F(PumpTest, AltEnterAsksForAModeSwitchOnlyWhenAllowed) {
  SendMessageA(window_, WM_SYSCHAR, '\r', 0);
  EXPECT_EQ(g_windowSystem.run.modeSwitchRequest, 0);
  g_windowSystem.options.altEnterSwitch = 1;
  EXPECT_EQ(SendMessageA(window_, WM_SYSCHAR, '\r', 0), 0);
  EXPECT_EQ(g_windowSystem.run.modeSwitchRequest, 1);
  g_windowSystem.run.modeSwitchRequest = 0;
}

TEST_F(PumpTest, NestedCallDuringTextInputReturnsAtOnce) {
  PostMessageA(window_, WM_USER + 1, 0, 0);
  g_windowSystem.run.textInputStepRunning = 1;
  EXPECT_EQ(PumpWindowMessages(), 0);
  EXPECT_TRUE(SeenOf(WM_USER + 1, WM_USER + 1).empty());
  g_windowSystem.run.textInputStepRunning = 0;
  EXPECT_EQ(PumpWindowMessages(), 0);
  EXPECT_EQ(SeenOf(WM_USER + 1, WM_USER + 1).size(), 1u);
}

}  // namespace

namespace {

int g_callerMessages = 0;

LRESULT CallerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER + 9) ++g_callerMessages;
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(LibraryTest, SubclassModeLeavesTheQueueToTheCaller) {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = CallerProcedure;
  windowClass.lpszClassName = "Caller Window";
  ASSERT_TRUE(RegisterClassExA(&windowClass));
  HWND window = CreateWindowExA(0, "Caller Window", "Caller", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr,
                                nullptr, nullptr);
  ASSERT_TRUE(window);
  g_windowSystem.mainWindow = window;
  g_windowSystem.subclassMode = 1;
  g_windowSystem.options.noInput = 1;
  ASSERT_EQ(InitializeLibrary(), 0);
  EXPECT_EQ(GetWindowLongA(window, GWL_WNDPROC), reinterpret_cast<LONG_PTR>(&MainWindowProc));

  g_callerMessages = 0;
  SendMessageA(window, WM_USER + 9, 0, 0);
  EXPECT_EQ(g_callerMessages, 1) << "the caller's procedure runs first";

  PostMessageA(window, WM_USER + 5, 0, 0);
  EXPECT_EQ(ProcessWindowMessages(), 0);
  MSG msg;
  EXPECT_TRUE(PeekMessageA(&msg, window, WM_USER + 5, WM_USER + 5, PM_REMOVE)) << "the pump took the caller's message";

  EXPECT_EQ(FinishLibrary(), 0);
  EXPECT_TRUE(IsWindow(window)) << "the caller's window is the caller's";
  EXPECT_EQ(GetWindowLongA(window, GWL_WNDPROC), reinterpret_cast<LONG_PTR>(&CallerProcedure));
  DestroyWindow(window);
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
  UnregisterClassA("Caller Window", nullptr);
}

}  // namespace
