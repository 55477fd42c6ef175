// The main window's life: the record's clear, window set-up and end, the switch between windowed
// and full-screen mode, the style and size rules, and the small getters and setters around them.
#include "platform/gdi.h"
#include "platform/kernel.h"
#include "platform/winmm.h"
#include "window/window_services.h"

namespace {

// Windowed styles by style index; the eleventh entry is the table's end.
const DWORD kWindowedStyles[11] = {
    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
    WS_POPUP | WS_SYSMENU,
    WS_POPUP | WS_SYSMENU,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
    WS_POPUP | WS_SYSMENU,
    WS_POPUP | WS_CAPTION | WS_SYSMENU,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_MAXIMIZE,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
    0,
};
const DWORD kWindowedExStyles[11] = {
    WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE,
    WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE,
    0,
    WS_EX_TOOLWINDOW,
    WS_EX_TOOLWINDOW,
    WS_EX_WINDOWEDGE,
    WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE,
    WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE,
    WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE,
    WS_EX_WINDOWEDGE,
    0,
};

constexpr char kDefaultClassName[] = "D123987X";
constexpr char kDefaultTitle[] = "Zyvel";
constexpr int kDisplayChangeWaitMs = 2000;

bool OwnWindow() { return g_windowSystem.mainWindow && !g_windowSystem.subclassMode; }

int StyleIndex() {
  int index = g_windowSystem.styleIndex;
  return index >= 0 && index < 10 ? index : 0;
}

// The client size the window should have: the screen size times the window scales.
void ScaledScreenSize(int* width, int* height) {
  int screenWidth = 0, screenHeight = 0;
  GraphicsHooks().screenSize(&screenWidth, &screenHeight);
  double scaleX = 1.0, scaleY = 1.0;
  GetWindowScale(&scaleX, &scaleY);
  *width = static_cast<int>(screenWidth * scaleX);
  *height = static_cast<int>(screenHeight * scaleY);
}

void ReadClientScreenRect() {
  RECT client;
  GetClientRect(g_windowSystem.mainWindow, &client);
  POINT topLeft{client.left, client.top}, bottomRight{client.right, client.bottom};
  ClientToScreen(g_windowSystem.mainWindow, &topLeft);
  ClientToScreen(g_windowSystem.mainWindow, &bottomRight);
  g_windowSystem.run.clientRect = RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

int DesktopDepth() {
  HDC screen = GetDC(nullptr);
  int depth = GetDeviceCaps(screen, PLANES) * GetDeviceCaps(screen, BITSPIXEL);
  ReleaseDC(nullptr, screen);
  return depth;
}

// Counts how often each clock changes in up to a second and keeps the finer one.
void CheckTimers(UINT minimumPeriod) {
  ClockChoice& clocks = RuntimeClockChoice();
  AddLogText("タイマーの精度を検査します\n");
  int multimediaChanges = 0, counterChanges = 0;
  DWORD start = timeGetTime(), lastTime = start;
  LARGE_INTEGER lastCounter;
  QueryPerformanceCounter(&lastCounter);
  // The round limit only matters for a clock that stands still (a test's fake clock).
  for (long round = 0; round < 200000; ++round) {
    DWORD now = timeGetTime();
    if (now != lastTime) ++multimediaChanges, lastTime = now;
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    if (counter.QuadPart != lastCounter.QuadPart) ++counterChanges, lastCounter = counter;
    if (multimediaChanges >= 60 || counterChanges >= 60 || now - start >= 1000) break;
    if (PumpWindowMessages() != 0) break;
  }
  WriteLogFormat("精度結果 更新回数 マルチメディアタイマー：%d  パフォーマンスカウンター：%d", multimediaChanges,
                 counterChanges);
  AddLogText(" ");
  if (multimediaChanges > counterChanges) {
    clocks.usePerformanceCounter = 0;
    WriteLogFormat("マルチメディアタイマーを使用します タイマー分解能 : %d.00 ms ", static_cast<int>(minimumPeriod));
  } else {
    WriteLogFormat("パフォーマンスカウンターを使用します タイマー分解能 : %lf KHz ",
                   static_cast<double>(clocks.performanceFrequency) / 1000.0);
  }
  AddLogText(" ");
}

int CreateMainWindow() {
  WindowSystemRecord& record = g_windowSystem;
  HWND window = nullptr;
  if (record.windowedMode) {
    AddLogText("ウインドウモード起動用のウインドウを作成します\n");
    record.run.requestedCursor = 1;
    int width = 0, height = 0;
    if (record.userSize) {
      width = record.userClientWidth;
      height = record.userClientHeight;
    } else {
      ScaledScreenSize(&width, &height);
    }
    RECT rect{0, 0, width, height};
    AdjustWindowRectEx(&rect, WindowStyleOf(1), FALSE, WindowExStyleOf(1));
    record.run.leftFrameWidth = -rect.left;
    int windowWidth = rect.right - rect.left, windowHeight = rect.bottom - rect.top;
    int x = (GetSystemMetrics(SM_CXSCREEN) - windowWidth) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - windowHeight) / 2;
    if (record.userPosition) x = record.userX, y = record.userY;
    window = CreateWindowExA(WindowExStyleOf(1), record.className, record.windowTitle, WindowStyleOf(1), x, y,
                             windowWidth, windowHeight, nullptr, record.menu, record.instance, nullptr);
  } else {
    AddLogText("フルスクリーンモード用のウインドウを作成します\n");
    record.run.requestedCursor = 0;
    int width = 0, height = 0;
    GraphicsHooks().screenSize(&width, &height);
    window = CreateWindowExA(WindowExStyleOf(0), record.className, record.windowTitle, WindowStyleOf(0), 0, 0, width,
                             height, nullptr, nullptr, record.instance, nullptr);
  }
  if (!window) {
    AddLogText("ウインドウの作成に失敗しました\n");
    record.quitRequested = 1;
    return -1;
  }
  record.mainWindow = window;
  AddLogText("ウインドウの作成に成功しました\n");
  return 0;
}

}  // namespace

void ClearWindowSystemRecord() {
  WindowSystemRecord& record = g_windowSystem;
  record.instance = nullptr;
  record.mainThreadId = 0;
  record.quitRequested = 0;
  record.windowDestroyed = 0;
  record.active = 0;
  record.initialised = 0;
  record.endFlag = WINDOW_END_NONE;
  ClockChoice& clocks = RuntimeClockChoice();
  clocks.timeStampCounterAllowed = 0;
  clocks.usePerformanceCounter = 0;
  clocks.performanceFrequency = 0;
  record.run = WindowRunState{};
  LogState& log = RuntimeLogState();
  log.indentLevel = 0;
  log.midLine = 0;
  log.onScreen = OnScreenLogState{};
}

DWORD WindowStyleOf(int windowed) {
  const WindowSystemRecord& record = g_windowSystem;
  if (!windowed) return WS_POPUP;
  DWORD style = kWindowedStyles[StyleIndex()];
  if (record.options.altEnterSwitch) style |= WS_MAXIMIZEBOX;
  if (record.windowShown) style |= WS_VISIBLE;
  if (record.windowSizeChangeable) style |= WS_THICKFRAME;
  return style;
}

DWORD WindowExStyleOf(int windowed) {
  const WindowSystemRecord& record = g_windowSystem;
  if (!windowed) return WS_EX_TOPMOST;
  DWORD exStyle = kWindowedExStyles[StyleIndex()];
  if (record.hiddenWindow) exStyle |= WS_EX_TRANSPARENT;
  if (record.layeredWindow) exStyle |= WS_EX_LAYERED;
  return exStyle;
}

void RestoreMachineSettings() {
  WindowSystemRecord& record = g_windowSystem;
  if (record.run.screenSaverChanged) {
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_SENDCHANGE);
    record.run.screenSaverChanged = 0;
  }
  if (record.run.timerPeriod) {
    timeEndPeriod(record.run.timerPeriod);
    record.run.timerPeriod = 0;
  }
}

int InitMainWindow() {
  WindowSystemRecord& record = g_windowSystem;
  ClearWindowSystemRecord();
  record.run.inactiveWaitStart = -1;

  HMODULE user32 = GetModuleHandleA("user32");
  record.run.updateLayeredWindow = user32 ? GetProcAddress(user32, "UpdateLayeredWindow") : nullptr;

  if (record.className[0] == 0)
    CopyStringN(record.className, record.windowTitle[0] ? record.windowTitle : kDefaultClassName,
                sizeof(record.className) - 1);

  record.instance = GetModuleHandleA(nullptr);
  record.mainThreadId = GetCurrentThreadId();

  MEMORYSTATUS memory{};
  memory.dwLength = sizeof(memory);
  GlobalMemoryStatus(&memory);
  record.totalMemory = memory.dwTotalPhys;
  record.freeMemory = memory.dwAvailPhys;
  WriteLogFormat("メモリ総量:%.2fMB  空きメモリ領域:%.2fMB ", record.totalMemory / 1048576.0,
                 record.freeMemory / 1048576.0);
  char freeText[64];
  FormatText(freeText, sizeof(freeText), "%.2fMB\n", record.freeMemory / 1048576.0);
  OutputDebugStringA(freeText);

  record.run.desktopWidth = GetSystemMetrics(SM_CXSCREEN);
  record.run.desktopHeight = GetSystemMetrics(SM_CYSCREEN);
  record.run.desktopBits = DesktopDepth();

  LARGE_INTEGER frequency{};
  QueryPerformanceFrequency(&frequency);
  ClockChoice& clocks = RuntimeClockChoice();
  clocks.performanceFrequency = static_cast<uint64_t>(frequency.QuadPart);
  clocks.usePerformanceCounter = frequency.QuadPart != 0;

  TIMECAPS caps{1, 1000};
  timeGetDevCaps(&caps, sizeof(caps));
  if (timeBeginPeriod(caps.wPeriodMin) == TIMERR_NOERROR) record.run.timerPeriod = caps.wPeriodMin;

  if (clocks.usePerformanceCounter) CheckTimers(caps.wPeriodMin);

  SeedRandom(GetMillisecondCount());

  SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_SENDCHANGE);
  record.run.screenSaverChanged = 1;

  if (GetCodePage() == 0) {
    switch (GetOEMCP()) {
      case 932:
        SetCharSet(CHARSET_SHIFTJIS, 932);
        break;
      case 936:
        SetCharSet(CHARSET_GB2312, 936);
        break;
      case 949:
        SetCharSet(CHARSET_HANGEUL, 949);
        break;
      case 950:
        SetCharSet(CHARSET_BIG5, 950);
        break;
      default:
        SetCharSet(CHARSET_SHIFTJIS, 0);
        break;
    }
  }

  if (record.options.noWindow) return 0;

  AddLogText("ソフトの二重起動検査... ");
  if (FindWindowA(record.className, nullptr)) {
    if (!record.options.doubleStartAllowed) {
      AddLogText("二重起動されています、ソフトを終了します\n");
      record.quitRequested = 1;
      return -1;
    }
    AddLogText("二重起動されていますが続行します\n");
  } else {
    AddLogText("二重起動はされていませんでした\n");
  }

  if (record.menuInUse) BuildMenuItemList(record.menu);

  if (record.subclassMode) {
    record.run.previousWindowProc = reinterpret_cast<WNDPROC>(GetWindowLongA(record.mainWindow, GWL_WNDPROC));
    SetWindowLongA(record.mainWindow, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&MainWindowProc));
  } else {
    record.run.windowBeingCreated = 1;
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = &MainWindowProc;
    windowClass.hInstance = record.instance;
    windowClass.hIcon = LoadIconA(record.instance, MAKEINTRESOURCEA(record.iconId ? record.iconId : 32512));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    windowClass.lpszClassName = record.className;
    AddLogText("ウインドウクラスを登録します... ");
    if (!RegisterClassExA(&windowClass)) {
      AddLogText("ウインドウクラスの登録に失敗しました\n");
      record.quitRequested = 1;
      return -1;
    }
    AddLogText("登録に成功しました\n");
    if (record.windowTitle[0] == 0) CopyStringN(record.windowTitle, kDefaultTitle, sizeof(record.windowTitle) - 1);

    if (CreateMainWindow() != 0) {
      UnregisterClassA(record.className, record.instance);
      return -1;
    }
    if (!record.hiddenWindow) {
      ShowWindow(record.mainWindow, SW_SHOW);
      UpdateWindow(record.mainWindow);
    } else {
      ShowWindow(record.mainWindow, SW_HIDE);
      AddLogText("ウインドウを表示します\n");
    }
  }

  record.run.closePosted = 0;
  record.windowDestroyed = 0;
  record.active = 1;
  if (!record.windowedMode) {
    AddLogText("カーソルを不可視にしました\n");
    SetCursor(nullptr);
  }
  AddLogText("ＩＭＥを無効にしました\n");
  if (!InputHooks().imeInUse()) WINNLSEnableIME(record.mainWindow, FALSE);
  if (record.windowedMode) ReadClientScreenRect();
  SetCursorVisible(record.run.requestedCursor);
  record.endFlag = WINDOW_END_NONE;
  if (!record.subclassMode && !record.hiddenWindow) {
    BringWindowToTop(record.mainWindow);
    FitWindowToScreen();
  }
  record.run.windowBeingCreated = 0;
  return 0;
}

int EndMainWindow() {
  WindowSystemRecord& record = g_windowSystem;
  if (record.mainWindow || record.options.noWindow) {
    if (record.run.screenSaverChanged) {
      SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_SENDCHANGE);
      record.run.screenSaverChanged = 0;
    }
    if (!record.options.noWindow) {
      WINNLSEnableIME(record.mainWindow, TRUE);
      record.run.requestedCursor = 1;
      if (!record.run.cursorShown) {
        while (ShowCursor(TRUE) < 0) {
        }
        PostMessageA(record.mainWindow, WM_SETCURSOR, reinterpret_cast<WPARAM>(record.mainWindow), HTCLIENT);
        record.run.cursorShown = 1;
      }
      if (record.windowRegion) {
        DeleteObject(record.windowRegion);
        record.windowRegion = nullptr;
      }
      EndMenuAndToolBar();
      if (record.subclassMode) {
        SetWindowLongA(record.mainWindow, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(record.run.previousWindowProc));
        record.quitRequested = 1;
      } else {
        if (!record.run.closePosted) {
          record.run.closePosted = 1;
          PostMessageA(record.mainWindow, WM_CLOSE, 0, 0);
        }
        // Bounded: the window must not outlive shut-down, even if its close never comes through.
        for (int round = 0; round < 1000 && !record.windowDestroyed; ++round)
          if (PumpWindowMessages() != 0) break;
        if (IsWindow(record.mainWindow)) DestroyWindow(record.mainWindow);
        // The window's end posted a WM_QUIT for this thread; it belongs to this run and must not
        // end the next one.
        MSG quit;
        while (PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        UnregisterClassA(record.className, record.instance);
      }
      InputHooks().deleteAllTextInputHandles();
      record.run.inactiveImagePresent = 0;
      ClearDroppedFiles();
    } else {
      record.quitRequested = 1;
    }
    record.mainWindow = nullptr;
  }
  RestoreMachineSettings();
  return 0;
}

int StoreWindowModeFlag(int windowed) {
  g_windowSystem.windowedMode = windowed ? 1 : 0;
  AddLogText(windowed ? "ウインドウモードフラグが立てられました\n" : "ウインドウモードフラグが倒されました\n");
  return 0;
}

bool IsDisplayModeOffered(int width, int height) {
  const WindowGraphicsHooks& graphics = GraphicsHooks();
  DisplayModeEntry entry;
  for (int i = 0; i < graphics.displayModeCount(); ++i) {
    graphics.displayModeEntry(&entry, i);
    if (entry.width == width && entry.height == height) return true;
  }
  return false;
}

int ChangeWindowMode(int windowed) {
  WindowSystemRecord& record = g_windowSystem;
  windowed = windowed ? 1 : 0;
  AddLogText("ChangeWindowMode実行 \n");
  if (windowed == record.windowedMode) return 0;
  if (!windowed && OwnWindow()) {
    const WindowGraphicsHooks& graphics = GraphicsHooks();
    int width = 0, height = 0;
    graphics.screenSize(&width, &height);
    const bool offered = (width == 320 && height == 240 && graphics.hardwareAccelWanted()) ||
                         IsDisplayModeOffered(width, height);
    if (!offered) return -1;
    if (width == 320 && height == 240) graphics.setEmulating320x240(1);
  }
  record.windowShown = 1;
  record.run.displayChanged = 0;
  StoreWindowModeFlag(windowed);
  if (!record.mainWindow || record.subclassMode) return 0;

  record.run.modeChangeRunning = 1;
  ApplyWindowStyle();
  int result = GraphicsHooks().applyWindowMode();
  // A failed change brings no display change; a successful one is waited for a bounded time.
  if (result == 0) {
    int start = GetMillisecondCount();
    while (!record.run.displayChanged && GetMillisecondCount() - start < kDisplayChangeWaitMs) {
      if (PumpWindowMessages() != 0) break;
      if (!record.run.displayChanged) Sleep(1);
    }
    if (!record.run.displayChanged && !record.quitRequested) {
      AddLogText("画面モードの変更が確認できませんでした in ChangeWindowMode\n");
      result = -1;
    }
  }
  record.run.modeChangeRunning = 0;
  if (!windowed) record.run.menuCounter = 0;
  return result;
}

int ApplyWindowStyle() {
  WindowSystemRecord& record = g_windowSystem;
  if (!OwnWindow()) return 0;
  HWND window = record.mainWindow;
  if (record.windowedMode) {
    AddLogText("ウインドウスタイルをウインドウモード用に変更します... ");
    SetWindowLongA(window, GWL_EXSTYLE, static_cast<LONG_PTR>(WindowExStyleOf(1)));
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG_PTR>(WindowStyleOf(1)));
    int width = 0, height = 0;
    if (record.userSize) {
      width = record.userClientWidth;
      height = record.userClientHeight;
    } else {
      ScaledScreenSize(&width, &height);
      height += QueryToolBarHeight();
    }
    RECT rect{0, 0, width, height};
    AdjustWindowRectEx(&rect, WindowStyleOf(1), FALSE, WindowExStyleOf(1));
    int windowWidth = rect.right - rect.left, windowHeight = rect.bottom - rect.top;
    int x = (record.run.desktopWidth - windowWidth) / 2;
    int y = (record.run.desktopHeight - windowHeight) / 2;
    if (record.userPosition) x = record.userX, y = record.userY;
    SetWindowPos(window, HWND_NOTOPMOST, x, y, windowWidth, windowHeight, 0);
    SetWindowPos(window, HWND_TOP, x, y, windowWidth, windowHeight, 0);
    ReadClientScreenRect();
    int dx = record.run.clientRect.left < 0 ? -record.run.clientRect.left : 0;
    int dy = record.run.clientRect.top < 0 ? -record.run.clientRect.top : 0;
    if (dx || dy) {
      SetWindowPos(window, HWND_TOP, x + dx, y + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
      ReadClientScreenRect();
    }
    SetCursorVisible(record.run.requestedCursor);
    AddLogText("完了\n");
  } else {
    AddLogText("ウインドウスタイルをフルスクリーンモード用に変更します... ");
    SetWindowLongA(window, GWL_EXSTYLE, static_cast<LONG_PTR>(WindowExStyleOf(0)));
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG_PTR>(WindowStyleOf(0)));
    int width = 0, height = 0;
    GraphicsHooks().screenSize(&width, &height);
    record.run.clientRect = RECT{0, 0, width, height};
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    SetWindowPos(window, HWND_TOPMOST, 0, 0, width, height, 0);
    SetCursorVisible(0);
    AddLogText("完了\n");
    SetActiveWindow(window);
    PostMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), HTCLIENT);
  }
  return 0;
}

int FitWindowToScreen() {
  WindowSystemRecord& record = g_windowSystem;
  if (!OwnWindow()) return 0;
  HWND window = record.mainWindow;
  RECT windowRect, client;
  GetWindowRect(window, &windowRect);
  GetClientRect(window, &client);
  int frameWidth = (windowRect.right - windowRect.left) - client.right;
  int frameHeight = (windowRect.bottom - windowRect.top) - client.bottom;
  int width = 0, height = 0;
  int limitWidth = 0, limitHeight = 0;
  ScaledScreenSize(&limitWidth, &limitHeight);
  if (!record.freeSize && !record.userSize) {
    width = limitWidth;
    height = limitHeight + QueryToolBarHeight();
  } else {
    width = record.userSize ? record.userClientWidth : client.right;
    height = record.userSize ? record.userClientHeight : client.bottom;
    if (width > limitWidth) width = limitWidth;
    if (height > limitHeight) height = limitHeight;
    height += QueryToolBarHeight();
    if (record.freeSize && record.userSize && !record.initialising) record.userSize = 0;
  }
  int x = windowRect.left, y = windowRect.top;
  if (record.userPosition) {
    x = record.userX;
    y = record.userY;
    if (!record.initialising) record.userPosition = 0;
  }
  MoveWindow(window, x, y, width + frameWidth, height + frameHeight, TRUE);
  if (record.windowedMode && !record.windowShown) {
    record.windowShown = 1;
    ApplyWindowStyle();
  }
  return 0;
}

int IsQuitRequested() { return g_windowSystem.quitRequested; }
HWND GetMainWindow() { return g_windowSystem.mainWindow; }
int IsWindowedMode() { return g_windowSystem.windowedMode; }
int IsWindowActive() { return g_windowSystem.active; }
int GetRunWhileInactive() { return g_windowSystem.options.runWhileInactive; }
int IsMMXUsable() { return RuntimeProcessorFacts().hasMmx; }
int IsWindowClosing() { return g_windowSystem.run.closePosted; }

int QueryDesktopMode(int* width, int* height, int* bits) {
  const WindowSystemRecord& record = g_windowSystem;
  if (record.initialised || record.initialising) {
    if (width) *width = record.run.desktopWidth;
    if (height) *height = record.run.desktopHeight;
    if (bits) *bits = record.run.desktopBits;
    return 0;
  }
  if (width) *width = GetSystemMetrics(SM_CXSCREEN);
  if (height) *height = GetSystemMetrics(SM_CYSCREEN);
  if (bits) *bits = DesktopDepth();
  return 0;
}

double GetWindowScale(double* x, double* y) {
  WindowSystemRecord& record = g_windowSystem;
  if (record.windowScaleX <= 0.0) record.windowScaleX = 1.0;
  if (record.windowScaleY <= 0.0) record.windowScaleY = 1.0;
  double scaleX = record.windowedMode ? record.windowScaleX : 1.0;
  double scaleY = record.windowedMode ? record.windowScaleY : 1.0;
  if (x) *x = scaleX;
  if (y) *y = scaleY;
  return scaleX;
}

int SetDesktopComposition(int enable) {
  WindowSystemRecord& record = g_windowSystem;
  enable = enable ? 1 : 0;
  if (record.run.compositionState == enable) return 0;
  if (record.dwmEnableComposition)
    reinterpret_cast<HRESULT (*)(UINT)>(record.dwmEnableComposition)(static_cast<UINT>(enable));
  record.run.compositionState = enable;
  record.run.compositionDisabled = !enable;
  return 0;
}

int ApplyWindowIcon(int id) {
  WindowSystemRecord& record = g_windowSystem;
  record.iconId = id;
  if (record.mainWindow) {
    HICON icon = LoadIconA(record.instance, MAKEINTRESOURCEA(id ? id : 32512));
    SetClassLongA(record.mainWindow, GCL_HICON, reinterpret_cast<LONG_PTR>(icon));
  }
  return 0;
}

int ChangeWindowTitle(const char* text) {
  WindowSystemRecord& record = g_windowSystem;
  CopyStringN(record.windowTitle, text ? text : "", sizeof(record.windowTitle) - 1);
  if (record.mainWindow) SetWindowTextA(record.mainWindow, record.windowTitle);
  return 0;
}

int GetClientScreenRect(RECT* out) {
  if (!out) return -1;
  *out = g_windowSystem.run.clientRect;
  int toolBar = QueryToolBarHeight();
  out->top += toolBar;
  out->bottom += toolBar;
  return 0;
}

int OnWindowMoved(LPARAM position) {
  WindowSystemRecord& record = g_windowSystem;
  if (!OwnWindow()) return 0;
  int x = static_cast<int16_t>(LOWORD(position));
  int y = static_cast<int16_t>(HIWORD(position));
  RECT client;
  GetClientRect(record.mainWindow, &client);
  record.run.clientRect = RECT{x, y, x + client.right, y + client.bottom};
  GraphicsHooks().windowMoved();
  return 0;
}

int ForceWindowForeground(HWND window, int topmost) {
  DWORD foregroundThread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
  DWORD ownThread = GetWindowThreadProcessId(window, nullptr);
  AttachThreadInput(ownThread, foregroundThread, TRUE);
  DWORD timeout = 0;
  SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0);
  SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
  SetForegroundWindow(window);
  SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<LPVOID>(static_cast<uintptr_t>(timeout)), 0);
  AttachThreadInput(ownThread, foregroundThread, FALSE);
  if (topmost)
    SetWindowPos(g_windowSystem.mainWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOREDRAW | SWP_NOMOVE | SWP_NOSIZE);
  return 0;
}

int ClearDroppedFiles() {
  WindowRunState& run = g_windowSystem.run;
  for (int i = 0; i < run.droppedFileCount; ++i) {
    ZV_FREE(run.droppedFiles[i]);
    run.droppedFiles[i] = nullptr;
  }
  run.droppedFileCount = 0;
  return 0;
}

// The inactive image is drawn through graphics; until an image is set there is nothing to draw.
int DrawInactiveWindowImage(HDC) {
  if (g_windowSystem.endFlag == WINDOW_END_SHUTTING_DOWN) return 0;
  if (!g_windowSystem.run.inactiveImagePresent) return -1;
  return 0;
}

// Per-pixel alpha windows need "UpdateLayeredWindow", which this platform does not have (start-up
// finds no address for it), so the caller keeps drawing the ordinary way.
int UpdateLayeredWindowFromImage(const BaseImage*, HDC, int) { return -1; }

int CollectDisplayModes(int* count, DisplayModeEntry** list) {
  if (*list) HeapFree(GetProcessHeap(), 0, *list);
  *list = nullptr;
  *count = 0;
  int total = 0;
  DEVMODEA mode{};
  mode.dmSize = sizeof(mode);
  for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &mode); ++i)
    if (mode.dmBitsPerPel > 15) ++total;
  if (total == 0) return 0;
  auto* entries = static_cast<DisplayModeEntry*>(HeapAlloc(GetProcessHeap(), 0, sizeof(DisplayModeEntry) * total));
  if (!entries) return 0;
  int filled = 0;
  for (DWORD i = 0; filled < total && EnumDisplaySettingsA(nullptr, i, &mode); ++i) {
    if (mode.dmBitsPerPel <= 15) continue;
    entries[filled++] = DisplayModeEntry{static_cast<int>(mode.dmPelsWidth), static_cast<int>(mode.dmPelsHeight),
                                         static_cast<int>(mode.dmBitsPerPel),
                                         static_cast<int>(mode.dmDisplayFrequency)};
  }
  *list = entries;
  *count = filled;
  return 0;
}
