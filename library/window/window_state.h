// `WindowSystemRecord`: the window's global record of window, mode, activity, options and platform
// state. Start-up clears it, except the "kept" fields that settings made before start-up and state
// that must outlive a restart live in. The character set, the clocks, the processor facts and the
// log are the runtime's (runtime/runtime_state.h), which the window sets through its accessors.
#pragma once

#include <cstdint>

#include "platform/types.h"
#include "runtime/runtime_services.h"

// The switches that start-up reads; setters called before start-up store them (all kept).
struct StartupOptions {
  int noWindow = 0;
  int noGraphics = 0;
  int noSound = 0;
  int noInput = 0;
  int runWhileInactive = 0;
  int altEnterSwitch = 0;
  int doubleStartAllowed = 0;
};

// ---- Window system: the parts of the record that start-up, the main window, the window
// procedure and the pump keep ----
#include "platform/kernel.h"
#include "platform/user.h"

// The end flag: whether shut-down has begun, or the window was closed from outside.
enum WindowEndFlag : int {
  WINDOW_END_NONE = 0,
  WINDOW_END_SHUTTING_DOWN = 1,
  WINDOW_END_CLOSED_FROM_OUTSIDE = 4,  // By the user or the system, not by shut-down.
};

// Menus, tool bar and mouse: the parts rebuilt at every start-up.
constexpr int kMenuItemCapacity = 512;
constexpr int kMenuNameSize = 129;  // 128 characters and the zero.
constexpr int kChosenMenuItemCapacity = 64;
constexpr int kToolBarButtonCapacity = 64;
constexpr int kMouseClickCapacity = 32;
constexpr int kToolBarCommandBase = 0x500;  // A button's command id is this plus its id.

struct MenuItemEntry {
  HMENU menu;
  uint16_t position;
  uint16_t id;
  char name[kMenuNameSize];
};

enum ToolBarButtonType : int {
  TOOL_BAR_BUTTON_PLAIN = 0,
  TOOL_BAR_BUTTON_SEPARATOR = 3,
};

struct ToolBarButton {
  int id;
  int type;  // A ToolBarButtonType.
  int clicked;
};

struct MouseClick {
  int buttons;  // 1 left, 2 right, 4 middle.
  int x;
  int y;
};

struct MenuRunState {
  int attached = 0;   // The menu is set on the window.
  int lastShown = 0;  // What the last ShowMenuBar found.
  int chosen[kChosenMenuItemCapacity] = {};
  int chosenCount = 0;
  MenuItemEntry items[kMenuItemCapacity] = {};
  int itemCount = 0;
  int toolBarPresent = 0;
  HWND toolBarWindow = nullptr;
  HBITMAP toolBarBitmap = nullptr;
  ToolBarButton buttons[kToolBarButtonCapacity] = {};
  int buttonCount = 0;
  MouseClick clicks[kMouseClickCapacity] = {};
  int clickCount = 0;
};

// Cleared at every start-up (`ClearWindowSystemRecord`).
struct WindowRunState {
  int compositionDisabled = 0;
  int leftFrameWidth = 0;
  WNDPROC previousWindowProc = nullptr;  // The caller's procedure in subclass mode.
  RECT windowRect{};
  RECT clientRect{};  // Screen coordinates.
  int modeChangeRunning = 0;
  int closePosted = 0;
  int displayChanged = 0;
  int inactiveWaitStarted = 0;  // Set through std::atomic_ref: other threads watch for it.
  int inactiveWaitStart = -1;
  int fullScreenRestore = 0;
  int modeSwitchRequest = 0;
  int inPaint = 0;
  int painted = 0;
  int requestedCursor = 0;
  int cursorShown = 1;
  int wheelCounter = 0;
  int desktopWidth = 0;
  int desktopHeight = 0;
  int desktopBits = 0;
  int windowBeingCreated = 0;
  int menuCounter = 0;
  int cursorClipped = 0;
  int systemKeysChanged = 0;
  FARPROC updateLayeredWindow = nullptr;
  void (*activeStateCallback)(int active, void* value) = nullptr;
  void* activeStateValue = nullptr;
  HWND childWindows[100] = {};
  int childWindowCount = 0;
  HWND dialogWindow = nullptr;
  char* droppedFiles[1000] = {};
  int droppedFileCount = 0;
  int inactiveImagePresent = 0;
  int compositionState = -1;  // Last state given to the composition switch; -1 none yet.
  // What start-up changed on the machine, so that every way out puts it back.
  int screenSaverChanged = 0;
  UINT timerPeriod = 0;  // Non-zero while timeBeginPeriod is in force.
  int textInputStepRunning = 0;
  MenuRunState menus;
};

struct WindowSystemRecord {
  StartupOptions options;

  HINSTANCE instance = nullptr;
  HWND mainWindow = nullptr;  // Kept.
  DWORD mainThreadId = 0;

  int windowedMode = 1;  // Kept.
  int quitRequested = 0;
  int windowDestroyed = 0;
  int active = 1;

  int initialised = 0;
  int initialising = 0;  // Kept.
  int osCode = 0;        // Kept: 265 for Windows 7 and later NT versions.
  int endFlag = WINDOW_END_NONE;

  // ---- Window system (kept unless inside `run`) ----
  // System facts, written by the system-information step.
  char osText[512] = {};
  uint64_t totalMemory = 0;
  uint64_t freeMemory = 0;
  HMODULE dwmapiModule = nullptr;
  FARPROC dwmEnableComposition = nullptr;
  // Written by start-up before the window set-up clears the record, and read by shut-down.
  char savedDirectory[MAX_PATH] = {};
  int comInitialised = 0;
  // Window options, set before start-up and applied by it.
  HRGN windowRegion = nullptr;
  int styleIndex = 0;
  int subclassMode = 0;
  void (*modeSwitchCallback)(void* value) = nullptr;
  void* modeSwitchValue = nullptr;
  int keepWindowOnClose = 0;
  int noQuitOnDestroy = 0;
  int preserveFloatingPoint = 0;
  int backgroundColourSet = 0;
  int backgroundRed = 0;
  int backgroundGreen = 0;
  int backgroundBlue = 0;
  char windowTitle[256] = {};
  char className[256] = {};
  int iconId = 0;
  HACCEL acceleratorTable = nullptr;
  HMENU menu = nullptr;
  int menuInUse = 0;
  int menuAlwaysShown = 0;
  int menuHidden = 0;
  void (*menuCallback)(WPARAM command) = nullptr;
  void (*menuNameCallback)(const char* name, int id) = nullptr;
  int windowSizeChangeable = 0;
  double windowScaleX = 1.0;
  double windowScaleY = 1.0;
  int freeSize = 0;
  int userSize = 0;
  int userClientWidth = 0;
  int userClientHeight = 0;
  int userPosition = 0;
  int userX = 0;
  int userY = 0;
  int windowShown = 0;
  int hiddenWindow = 0;
  int clipCursor = 0;
  int systemKeyBlock = 0;
  int layeredWindow = 0;
  LRESULT (*messageHook)(HWND, UINT, WPARAM, LPARAM) = nullptr;
  WindowRunState run;
};

extern WindowSystemRecord g_windowSystem;

// Start-up's clear: every field that a start-up must find zeroed goes back to its default; the
// options and facts set before it are kept.
void ClearWindowSystemRecord();
