// Menus, tool bar and mouse: the item list's order and names, the cursor against the menu, the
// scaled mouse position, the cursor's limits, the click log and the command routing.
#include "window_fixture.h"

namespace {

using windowtest::LibraryTest;

// File(Open, ---, Save), Help: the parent, its sub-items, then the sibling.
HMENU MakeMenu() {
  HMENU file = CreatePopupMenu();
  AppendMenuA(file, MF_STRING, 101, "Open");
  AppendMenuA(file, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(file, MF_STRING, 102, "Save");
  HMENU bar = CreateMenu();
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "File");
  AppendMenuA(bar, MF_STRING, 200, "\x95\x5C\x8E\xA6");  // 表示 in CP932: its trail byte is '\'.
  return bar;
}

int CursorCount() {
  int count = ShowCursor(TRUE) - 1;
  ShowCursor(FALSE);
  return count;
}

POINT ClientOrigin() {
  POINT origin{0, 0};
  ClientToScreen(GetMainWindow(), &origin);
  return origin;
}

TEST_F(LibraryTest, MenuListIsDepthFirstAndNamesReadCurrentText) {
  HMENU menu = MakeMenu();
  ASSERT_EQ(BuildMenuItemList(menu), 0);
  const MenuRunState& menus = g_windowSystem.run.menus;
  ASSERT_EQ(menus.itemCount, 4);
  const char* names[] = {"File", "Open", "Save", "\x95\x5C\x8E\xA6"};
  const int ids[] = {0, 101, 102, 200};
  for (int i = 0; i < 4; ++i) {
    EXPECT_STREQ(menus.items[i].name, names[i]) << i;
    EXPECT_EQ(menus.items[i].id, ids[i]) << i;
  }
  EXPECT_EQ(menus.items[2].position, 2);  // The separator keeps its position.

  g_windowSystem.menu = menu;
  g_windowSystem.menuInUse = 1;
  char name[kMenuNameSize];
  MENUITEMINFOA change{};
  change.cbSize = sizeof(change);
  change.fMask = MIIM_TYPE;
  change.dwTypeData = const_cast<char*>("Save As");
  ASSERT_TRUE(SetMenuItemInfoA(menu, 102, FALSE, &change));
  EXPECT_EQ(LookupMenuItemName(102 | 0x10000, name, sizeof(name)), 0);
  EXPECT_STREQ(name, "Save As");
  // Three bytes hold one double-byte character and the zero, never half of the second.
  EXPECT_EQ(LookupMenuItemName(200, name, 4), 0);
  EXPECT_STREQ(name, "\x95\x5C");
  EXPECT_EQ(LookupMenuItemName(999, name, sizeof(name)), -1);
  EXPECT_STREQ(name, "");

  EXPECT_EQ(BuildMenuItemList(reinterpret_cast<HMENU>(&change)), -1);
  DestroyMenu(menu);
  g_windowSystem.menu = nullptr;
}

TEST_F(LibraryTest, CursorStaysWhileTheMenuIsOnScreen) {
  g_windowSystem.menu = MakeMenu();
  g_windowSystem.menuInUse = 1;
  ASSERT_EQ(InitializeLibrary(), 0);
  ShowMenuBar(1);
  ASSERT_EQ(IsMenuOnScreen(), 1);
  EXPECT_EQ(GetMenu(GetMainWindow()), g_windowSystem.menu);
  SetCursorVisible(0);
  for (int i = 0; i < 5; ++i) ProcessWindowMessages();  // The posted WM_SETCURSOR too.
  EXPECT_EQ(g_windowSystem.run.cursorShown, 1);
  EXPECT_GE(CursorCount(), 0);

  ShowMenuBar(0);
  EXPECT_EQ(GetMenu(GetMainWindow()), nullptr);
  SetCursorVisible(-1);
  for (int i = 0; i < 5; ++i) ProcessWindowMessages();
  EXPECT_EQ(g_windowSystem.run.cursorShown, 0);
  EXPECT_LT(CursorCount(), 0);
}

TEST_F(LibraryTest, MousePositionIsInScreenPixels) {
  g_windowSystem.windowScaleX = g_windowSystem.windowScaleY = 2.0;
  ASSERT_EQ(InitializeLibrary(), 0);
  POINT origin = ClientOrigin();
  SetCursorPos(origin.x + 100, origin.y + 61);
  int x = -1, y = -1;
  QueryMousePosition(&x, &y);
  EXPECT_EQ(x, 50);
  EXPECT_EQ(y, 30);  // 30.5, truncated.
  QueryMousePosition(nullptr, nullptr);

  // A moved cursor reads back where it was put.
  MoveMouseCursor(40, 70);
  QueryMousePosition(&x, &y);
  EXPECT_EQ(x, 40);
  EXPECT_EQ(y, 70);
}

TEST_F(LibraryTest, MovedCursorStaysWithinTheScreen) {
  ASSERT_EQ(InitializeLibrary(), 0);
  POINT origin = ClientOrigin();
  struct Case {
    int x, y, wantX, wantY;
  } cases[] = {{-5, 10000, 0, 504}, {408, 504, 408, 504}, {10000, -1, 408, 0}, {7, 9, 7, 9}};
  for (const Case& c : cases) {
    MoveMouseCursor(c.x, c.y);
    POINT cursor{};
    GetCursorPos(&cursor);
    EXPECT_EQ(cursor.x - origin.x, c.wantX) << c.x;
    EXPECT_EQ(cursor.y - origin.y, c.wantY) << c.y;
  }
}

TEST_F(LibraryTest, ClickLogKeepsTheFirst32Clicks) {
  ASSERT_EQ(InitializeLibrary(), 0);
  HWND window = GetMainWindow();
  const UINT presses[] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
  for (int i = 0; i < 33; ++i) SendMessageA(window, presses[i % 3], 0, 0);
  SendMessageA(window, WM_LBUTTONUP, 0, 0);
  const MenuRunState& menus = g_windowSystem.run.menus;
  EXPECT_EQ(menus.clickCount, 32);
  EXPECT_EQ(menus.clicks[0].buttons, 1);
  EXPECT_EQ(menus.clicks[1].buttons, 2);
  EXPECT_EQ(menus.clicks[2].buttons, 4);
  EXPECT_EQ(menus.clicks[31].buttons, 2);
}

int g_lastCommand = 0;
std::string g_lastName;

TEST_F(LibraryTest, CommandsReachToolBarButtonsAndTheMenu) {
  g_windowSystem.menu = MakeMenu();
  g_windowSystem.menuInUse = 1;
  g_windowSystem.menuCallback = [](WPARAM command) { g_lastCommand = static_cast<int>(command); };
  g_windowSystem.menuNameCallback = [](const char* name, int) { g_lastName = name; };
  ASSERT_EQ(InitializeLibrary(), 0);
  MenuRunState& menus = g_windowSystem.run.menus;
  menus.toolBarPresent = 1;
  menus.buttons[0] = ToolBarButton{7, TOOL_BAR_BUTTON_SEPARATOR, 0};
  menus.buttons[1] = ToolBarButton{7, TOOL_BAR_BUTTON_PLAIN, 0};
  menus.buttonCount = 2;
  EXPECT_EQ(FindToolBarButton(7), 1);
  EXPECT_EQ(FindToolBarButton(8), -1);

  HWND window = GetMainWindow();
  SendMessageA(window, WM_COMMAND, kToolBarCommandBase + 7, 0);
  EXPECT_EQ(menus.buttons[1].clicked, 1);
  EXPECT_EQ(menus.chosenCount, 0);

  SendMessageA(window, WM_COMMAND, 101, 0);
  SendMessageA(window, WM_COMMAND, 101, 0);
  SendMessageA(window, WM_COMMAND, 102, 0);
  EXPECT_EQ(g_lastCommand, 102);
  EXPECT_EQ(g_lastName, "Save");
  ASSERT_EQ(menus.chosenCount, 2);
  EXPECT_EQ(menus.chosen[0], 101);
  EXPECT_EQ(menus.chosen[1], 102);

  EXPECT_EQ(RemoveAllToolBarButtons(), 0);
  EXPECT_EQ(menus.buttonCount, 0);
  menus.toolBarPresent = 0;
  EXPECT_EQ(RemoveAllToolBarButtons(), -1);
}

TEST_F(LibraryTest, FullScreenMenuFollowsTheHitTestsNearTheTop) {
  g_windowSystem.menu = MakeMenu();
  g_windowSystem.menuInUse = 1;
  SetScreenMode(640, 480, 32, 60);  // A mode the display offers.
  ChangeWindowMode(0);
  ASSERT_EQ(InitializeLibrary(), 0);
  ASSERT_FALSE(IsWindowedMode());
  HWND window = GetMainWindow();
  SetCursorPos(100, 200);
  UpdateAutoMenu();
  EXPECT_EQ(GetMenu(window), g_windowSystem.menu);  // Attached once; shown by the hit tests.
  EXPECT_EQ(IsMenuOnScreen(), 0);
  EXPECT_EQ(g_windowSystem.run.cursorShown, 0);

  // The pointer at the top edge opens the menu, and the cursor comes with it.
  EXPECT_EQ(SendMessageA(window, WM_NCHITTEST, 0, MAKELONG(100, 3)), HTMENU);
  SendMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELONG(HTMENU, WM_MOUSEMOVE));
  EXPECT_EQ(IsMenuOnScreen(), 1);
  EXPECT_EQ(g_windowSystem.run.cursorShown, 1);
  EXPECT_GE(CursorCount(), 0);

  SendMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELONG(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(IsMenuOnScreen(), 0);
  UpdateAutoMenu();
  EXPECT_EQ(g_windowSystem.run.cursorShown, 0);
  EXPECT_LT(CursorCount(), 0);
}

}  // namespace
