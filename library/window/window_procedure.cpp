// `MainWindowProc`: keeps the record in step with the window and turns its messages into the
// library's own state (activity, rectangles, close and destroy, input queues, mode switches).
#include "platform/gdi.h"
#include "platform/shell.h"
#include "platform/winmm.h"
#include "window/window_services.h"

namespace {

constexpr UINT kKeyFlag1Message = WM_USER + 111;
constexpr UINT kKeyFlag2Message = WM_USER + 112;
constexpr UINT kSocketMessage = WM_USER + 261;

bool OwnWindow() { return !g_windowSystem.subclassMode; }

void StoreWindowRect(HWND window) { GetWindowRect(window, &g_windowSystem.run.windowRect); }

void PostCloseOnce() {
  WindowSystemRecord& record = g_windowSystem;
  if (record.run.closePosted) return;
  record.run.closePosted = 1;
  PostMessageA(record.mainWindow, WM_CLOSE, 0, 0);
}

void OnActivation(WPARAM wParam) {
  WindowSystemRecord& record = g_windowSystem;
  const WindowInputHooks& input = InputHooks();
  input.resetIme();
  bool minimised = HIWORD(wParam) != 0;
  if (!record.windowedMode && record.initialised) {
    if (!minimised) GraphicsHooks().revive();
    record.run.fullScreenRestore = 0;
    MovieHooks().resumeAll();
    input.reacquireDevices();
  } else {
    if (!record.options.runWhileInactive) MovieHooks().resumeAll();
    input.reacquireDevices();
  }
}

// False when the window is being closed instead.
bool OnDeactivation(HWND window) {
  WindowSystemRecord& record = g_windowSystem;
  const WindowGraphicsHooks& graphics = GraphicsHooks();
  if (!record.windowedMode && (record.osCode >= OS_CODE_VISTA || !graphics.hardwareAccelWanted())) {
    ChangeDisplaySettingsA(nullptr, 0);
    ShowWindow(window, SW_MINIMIZE);
  }
  if (!record.windowedMode && graphics.fullScreenDisplayOpen()) {
    if (record.run.compositionDisabled) SetDesktopComposition(1);
    if (!graphics.hasRestoreCallback() && OwnWindow()) {
      AddLogText("復元関数が登録されていないため終了します\n");
      PostCloseOnce();
      return false;
    }
    MovieHooks().pauseAll();
    record.run.fullScreenRestore = 1;
  } else if (!record.options.runWhileInactive) {
    MovieHooks().pauseAll();
    InputHooks().reacquireDevices();
  }
  if (record.clipCursor) {
    ClipCursor(nullptr);
    record.run.cursorClipped = 0;
  }
  HDC dc = GetDC(window);
  DrawInactiveWindowImage(dc);
  ReleaseDC(window, dc);
  return true;
}

void OnActiveStateChange(HWND window, WPARAM wParam) {
  WindowSystemRecord& record = g_windowSystem;
  record.active = LOWORD(wParam) != 0;
  if (record.run.windowBeingCreated) return;
  if (record.active) {
    OnActivation(wParam);
  } else if (!OnDeactivation(window)) {
    return;
  }
  InputHooks().refreshEffectPlayState();
  if (record.run.activeStateCallback) record.run.activeStateCallback(record.active, record.run.activeStateValue);
  if (record.systemKeyBlock) {
    // No keyboard-hook library exists here; on the 16/32-bit family the screen-saver switch
    // stands in for it.
    if (record.osCode < OS_CODE_NT351) SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, record.active, nullptr, 0);
    record.run.systemKeysChanged = 1;
  }
}

void OnPaint(HWND window) {
  WindowSystemRecord& record = g_windowSystem;
  record.run.painted = 1;
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  if (record.windowedMode) {
    record.run.inPaint = 1;
    if (!record.active && record.run.inactiveImagePresent && !record.options.runWhileInactive) {
      DrawInactiveWindowImage(dc);
    } else if (!record.initialised && !record.windowRegion) {
      HBRUSH brush = nullptr;
      if (record.backgroundColourSet)
        brush = CreateSolidBrush(RGB(record.backgroundRed, record.backgroundGreen, record.backgroundBlue));
      FillRect(dc, &paint.rcPaint, brush ? brush : static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      if (brush) DeleteObject(brush);
    } else {
      GraphicsHooks().paintClientArea(&paint.rcPaint);
    }
    record.run.inPaint = 0;
  }
  EndPaint(window, &paint);
}

void OnDisplayChange(WPARAM wParam, LPARAM lParam) {
  WindowSystemRecord& record = g_windowSystem;
  if (record.windowedMode && !record.run.modeChangeRunning) {
    int width = 0, height = 0, bits = 0;
    GraphicsHooks().queryScreenMode(&width, &height, &bits);
    int newBits = static_cast<int>(wParam);
    int newWidth = LOWORD(lParam), newHeight = HIWORD(lParam);
    bool differs = newBits != bits || newWidth != width || newHeight != height;
    if (differs && (!GraphicsHooks().hasRestoreCallback() || newBits == 24 || (newBits == 8 && bits != 8) ||
                    newWidth < width || newHeight < height)) {
      AddLogText("復元関数が登録されていないためか画面が２４ビットカラーに変更されたため終了します\n");
      AddLogText("またはスクリーンが小さすぎるためか色ビット数の違いが大きいためか終了します\n");
      PostCloseOnce();
      return;
    }
    MovieHooks().resumeAll();
  }
  record.run.displayChanged = 1;
}

void OnMouse(UINT message) {
  WindowSystemRecord& record = g_windowSystem;
  if (message == WM_LBUTTONDOWN) RecordMouseClick(1);
  if (message == WM_RBUTTONDOWN) RecordMouseClick(2);
  if (message == WM_MBUTTONDOWN) RecordMouseClick(4);
  // Hidden as SetCursorVisible last decided: the menu on screen keeps it.
  if (!record.run.cursorShown) {
    SetCursor(nullptr);
    // Down to a negative count, without sinking further on every mouse message.
    int count = ShowCursor(FALSE);
    if (count < -1) ShowCursor(TRUE);
    while (count >= 0) count = ShowCursor(FALSE);
    record.run.cursorShown = 0;
  }
}

// Keeps the client area at the screen's aspect ratio while the user drags a frame edge.
void OnSizing(WPARAM edge, RECT* rect) {
  WindowSystemRecord& record = g_windowSystem;
  if (!record.windowedMode || !OwnWindow() || !rect) return;
  record.run.windowRect = *rect;
  RECT frame{0, 0, 0, 0};
  AdjustWindowRectEx(&frame, WindowStyleOf(1), FALSE, WindowExStyleOf(1));
  int frameWidth = frame.right - frame.left, frameHeight = frame.bottom - frame.top;
  int screenWidth = 0, screenHeight = 0;
  GraphicsHooks().screenSize(&screenWidth, &screenHeight);
  int clientWidth = rect->right - rect->left - frameWidth;
  int clientHeight = rect->bottom - rect->top - frameHeight;
  if (!record.freeSize && !record.userSize) {
    RECT client;
    GetClientRect(record.mainWindow, &client);
    bool byWidth = edge == WMSZ_LEFT || edge == WMSZ_RIGHT;
    if (edge != WMSZ_LEFT && edge != WMSZ_RIGHT && edge != WMSZ_TOP && edge != WMSZ_BOTTOM) {
      double grownX = client.right ? static_cast<double>(clientWidth) / client.right : 1.0;
      double grownY = client.bottom ? static_cast<double>(clientHeight) / client.bottom : 1.0;
      byWidth = grownX >= grownY;
    }
    if (byWidth)
      clientHeight = clientWidth * screenHeight / screenWidth;
    else
      clientWidth = clientHeight * screenWidth / screenHeight;
    record.windowScaleX = record.windowScaleY = static_cast<double>(clientWidth) / screenWidth;
  } else {
    double scaleX = 1.0, scaleY = 1.0;
    GetWindowScale(&scaleX, &scaleY);
    if (clientWidth > screenWidth * scaleX) clientWidth = static_cast<int>(screenWidth * scaleX);
    if (clientHeight > screenHeight * scaleY) clientHeight = static_cast<int>(screenHeight * scaleY);
  }
  int width = clientWidth + frameWidth, height = clientHeight + frameHeight;
  if (edge == WMSZ_LEFT || edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT)
    rect->left = rect->right - width;
  else
    rect->right = rect->left + width;
  if (edge == WMSZ_TOP || edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT)
    rect->top = rect->bottom - height;
  else
    rect->bottom = rect->top + height;
}

void OnDropFiles(HDROP drop) {
  WindowRunState& run = g_windowSystem.run;
  UINT count = DragQueryFileA(drop, 0xFFFFFFFFu, nullptr, 0);
  for (UINT i = 0; i < count && run.droppedFileCount < 1000; ++i) {
    UINT length = DragQueryFileA(drop, i, nullptr, 0);
    auto* name = static_cast<char*>(ZV_ALLOC(static_cast<int>(length) + 1));
    if (!name) break;
    DragQueryFileA(drop, i, name, length + 1);
    run.droppedFiles[run.droppedFileCount++] = name;
  }
  DragFinish(drop);
}

}  // namespace

LRESULT MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowSystemRecord& record = g_windowSystem;
  bool subclass = record.subclassMode != 0;
  LRESULT callerResult = 0;
  if (subclass && record.run.previousWindowProc)
    callerResult = CallWindowProcA(record.run.previousWindowProc, window, message, wParam, lParam);
  if (record.messageHook) record.messageHook(window, message, wParam, lParam);

  auto fallThrough = [&]() -> LRESULT {
    return subclass ? callerResult : DefWindowProcA(window, message, wParam, lParam);
  };

  switch (message) {
    case WM_CREATE:
      if (record.windowRegion) SetWindowRgn(window, record.windowRegion, FALSE);
      break;
    case WM_DESTROY:
      if (subclass) break;
      AddLogText("ウインドウが破棄されようとしています\n");
      record.windowDestroyed = 1;
      if (!record.noQuitOnDestroy) PostQuitMessage(0);
      record.quitRequested = 1;
      AddLogText("ソフトを終了する準備が整いました\n");
      break;
    case WM_CLOSE:
      if (subclass) break;
      AddLogText("ウインドウを閉じようとしています\n");
      if (!record.keepWindowOnClose || record.endFlag == WINDOW_END_SHUTTING_DOWN) DestroyWindow(window);
      if (record.endFlag == WINDOW_END_NONE) record.endFlag = WINDOW_END_CLOSED_FROM_OUTSIDE;
      return 0;
    case WM_MOVE:
      StoreWindowRect(window);
      if (record.windowedMode && !record.run.modeChangeRunning) OnWindowMoved(lParam);
      break;
    case WM_SIZE:
      StoreWindowRect(window);
      if (wParam == SIZE_MAXIMIZED) {
        if (record.windowedMode && record.options.altEnterSwitch && !record.run.modeChangeRunning &&
            !record.run.windowBeingCreated)
          record.run.modeSwitchRequest = 1;
      } else {
        FitWindowToScreen();
      }
      if (record.run.menus.toolBarPresent && record.run.menus.toolBarWindow)
        SendMessageA(record.run.menus.toolBarWindow, WM_SIZE, wParam, lParam);
      break;
    case WM_PAINT:
      OnPaint(window);
      return subclass ? callerResult : 0;
    case WM_ACTIVATEAPP:
      if (wParam == 0) OnActiveStateChange(window, 0);
      break;
    case WM_ACTIVATE:
      OnActiveStateChange(window, wParam);
      break;
    case WM_SETCURSOR: {
      int hit = LOWORD(lParam);
      if (!record.windowedMode && GraphicsHooks().hardwareAccelWanted() && record.menuInUse) {
        if ((hit == HTMENU || hit == HTCAPTION) && record.run.menuCounter < 5) {
          GraphicsHooks().switchDialogBoxMode(1);
          DrawMenuBar(window);
          ++record.run.menuCounter;
          SetCursorVisible(-1);
        } else if (record.run.menuCounter > 0 && hit != 0) {
          GraphicsHooks().switchDialogBoxMode(0);
          record.run.menuCounter = 0;
        }
      }
      OnMouse(message);
      break;
    }
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
      OnMouse(message);
      break;
    case WM_MOUSEWHEEL:
      record.run.wheelCounter += static_cast<int16_t>(HIWORD(wParam)) > 0 ? 1 : -1;
      break;
    case WM_DISPLAYCHANGE:
      OnDisplayChange(wParam, lParam);
      break;
    case WM_NCHITTEST:
      if (!record.windowedMode && GraphicsHooks().hardwareAccelWanted() && static_cast<int16_t>(HIWORD(lParam)) < 8)
        return HTMENU;
      break;
    case WM_KEYDOWN:
      InputHooks().stockControlKey(static_cast<int>(wParam));
      break;
    case WM_CHAR: {
      int code = static_cast<int>(wParam);
      if (code == 10) {
        InputHooks().stockChar(13);
      } else if (code >= 0x20 || code == 1 || code == 3 || code == 8 || code == 9 || code == 13 || code == 16 ||
                 code == 22 || code == 24 || code == 27) {
        InputHooks().stockChar(code);
      }
      break;
    }
    case WM_SYSCHAR:
      if (wParam == '\r' && record.options.altEnterSwitch) {
        record.run.modeSwitchRequest = 1;
        return 0;
      }
      break;
    case WM_IME_STARTCOMPOSITION:
    case WM_IME_ENDCOMPOSITION:
    case WM_IME_COMPOSITION:
    case WM_IME_SETCONTEXT:
    case WM_IME_NOTIFY:
      return InputHooks().imeMessage(window, message, wParam, lParam);
    case WM_COMMAND:
      HandleMenuCommand(wParam);
      break;
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_KEYMENU:
          if (record.systemKeyBlock) return 0;
          break;
        case SC_SCREENSAVE:
        case SC_MONITORPOWER:
          return 1;
        default:
          break;
      }
      break;
    case WM_SIZING:
      OnSizing(wParam, reinterpret_cast<RECT*>(lParam));
      break;
    case WM_MOVING:
      StoreWindowRect(window);
      if (!record.windowedMode && lParam) *reinterpret_cast<RECT*>(lParam) = record.run.windowRect;
      break;
    case WM_DROPFILES:
      OnDropFiles(reinterpret_cast<HDROP>(wParam));
      break;
    case MM_MCINOTIFY:
      SoundHooks().midiNotify();
      break;
    case kKeyFlag1Message:
      if (wParam == 1)
        InputHooks().setKeyFlag1();
      else
        InputHooks().clearKeyFlag1();
      break;
    case kKeyFlag2Message:
      if (wParam == 1)
        InputHooks().setKeyFlag2();
      else
        InputHooks().clearKeyFlag2();
      break;
    case kSocketMessage:
      return NetworkHooks().socketMessage(lParam, static_cast<SOCKET>(wParam));
    default:
      break;
  }
  return fallThrough();
}
