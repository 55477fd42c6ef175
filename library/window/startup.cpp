// The library's three entries (start-up, shut-down, per-frame message processing), the start-up
// and shut-down bodies with their fixed order of steps, and the fatal exits.
//
// A start-up that fails half way runs the shut-down body, and each shut-down step checks for
// itself whether its part is up, so that nothing started is left behind.
#include <cstdarg>

#include "graphics/screen_services.h"
#include "input/input_services.h"
#include "movies/movie_services.h"
#include "network/network_services.h"
#include "platform/com.h"
#include "platform/gdi.h"
#include "platform/kernel.h"
#include "window/window_services.h"
#include "zyvel/files.h"
#include "zyvel/sound.h"

namespace {

// Step 2: a full-screen size that no display mode offers starts windowed, except 320 x 240,
// which runs as 640 x 480.
void CheckFullScreenSize() {
  if (g_windowSystem.windowedMode) return;
  int width = 0, height = 0;
  GetScreenSizeSetting(&width, &height);
  bool offered = false;
  DisplayModeEntry entry;
  for (int i = 0; !offered && i < GetDisplayModeCount(); ++i) {
    GetDisplayModeEntry(&entry, i);
    offered = entry.width == width && entry.height == height;
  }
  if (!offered && !(width == 320 && height == 240 && IsHardwareAccelWanted())) ChangeWindowMode(1);
  GetScreenSizeSetting(&width, &height);
  if (width == 320 && height == 240 && !g_windowSystem.windowedMode) SetEmulating320x240(1);
}

int DesktopDepth() {
  HDC screen = GetDC(nullptr);
  int depth = GetDeviceCaps(screen, PLANES) * GetDeviceCaps(screen, BITSPIXEL);
  ReleaseDC(nullptr, screen);
  return depth;
}

}  // namespace

int InitializeLibrary() {
  if (g_windowSystem.initialised) return 0;
  ApiLockEnter();
  int result = RunLibraryStartup();
  ApiLockLeave();
  return result;
}

int FinishLibrary() {
  if (!g_windowSystem.initialised) return 0;
  ApiLockEnter();
  int result = RunLibraryShutdown();
  ApiLockLeave();
  // The lock's events stay: threads may still be queued on them.
  return result;
}

int ProcessWindowMessages() {
  ApiLockEnter();
  int result = PumpWindowMessages();
  ApiLockLeave();
  return result;
}

int RunLibraryStartup() {
  WindowSystemRecord& record = g_windowSystem;
  if (record.initialised) return 0;
  record.initialising = 1;

  CheckFullScreenSize();
  InitTheoraColorTables();

  ReleaseUnusedArchives();
  InstallFileFunctions(nullptr);
  GetFileFunctions()->GetDir(record.savedDirectory);
  SetLogDirectory(record.savedDirectory);

  OpenLogFile();

  if (!record.options.noWindow) {
    if ((record.windowedMode && DesktopDepth() == 24) || GetScreenColorBits() == 24) {
      AddLogText("Zyvelライブラリは２４ビットカラーモードに対応していません\n");
      record.initialising = 0;
      return -1;
    }
  }

  LogSystemInfo();
  FillStreamFunctionSets();

  if (!record.dwmapiModule) {
    record.dwmapiModule = LoadLibraryA("dwmapi.dll");
    record.dwmEnableComposition = record.dwmapiModule ? GetProcAddress(record.dwmapiModule, "DwmEnableComposition")
                                                      : nullptr;
  }
  SetGraphRestoreCallback(nullptr);

  if (!record.comInitialised) {
    AddLogText("ＣＯＭの初期化... ");
    if (FAILED(CoInitialize(nullptr))) {
      AddLogText("ＣＯＭの初期化に失敗しました\n");
    } else {
      AddLogText("成功しました\n");
      record.comInitialised = 1;
    }
  }

  bool failed = InitMainWindow() == -1;
  if (!failed && !record.options.noInput) failed = StartInputDevices() == -1;
  if (!failed && !record.options.noSound) InitSoundSystem();
  if (!failed && !record.options.noGraphics) failed = InitGraphicsSystem() < 0;
  if (failed) {
    RunLibraryShutdown();
    record.initialising = 0;
    return -1;
  }

  InitializeTextInput();
  record.initialised = 1;
  RuntimeClockChoice().timeStampCounterAllowed = 1;
  if (!record.windowedMode && !record.subclassMode && record.mainWindow) ForceWindowForeground(record.mainWindow, 1);
  InitOnScreenLog();
  SelectDrawTarget(SCREEN_BACK);
  SelectDrawTarget(SCREEN_FRONT);
  if (!record.options.noGraphics) InitModelSystem();
  record.initialising = 0;
  return 0;
}

int RunLibraryShutdown() {
  WindowSystemRecord& record = g_windowSystem;
  if (!record.initialised && !record.initialising) return 0;
  record.endFlag = WINDOW_END_SHUTTING_DOWN;

  EndOnScreenLog();
  EndNetwork();
  EndCurrentMusic();
  TerminateModelSystem();
  TerminateGraphicsSystem();
  ReleaseInputDevices();
  EndSoundSystem();
  EndMainWindow();
  if (record.comInitialised) {
    CoUninitialize();
    AddLogText("ＣＯＭを終了... 完了\n");
    record.comInitialised = 0;
  }
  DeleteAllSoftImages();
  record.initialised = 0;
  RuntimeClockChoice().timeStampCounterAllowed = 0;

  if (!record.options.noWindow) {
    // With the window gone the pump has nothing left to wait for.
    while (record.mainWindow && !record.quitRequested && !record.windowDestroyed)
      if (PumpWindowMessages() != 0) break;
  }
  if (record.savedDirectory[0]) GetFileFunctions()->SetDir(record.savedDirectory);
  ReleaseUnusedArchives();
  DumpTrackedMemory();
  if (record.dwmapiModule) {
    FreeLibrary(record.dwmapiModule);
    record.dwmapiModule = nullptr;
    record.dwmEnableComposition = nullptr;
  }
  RestoreMachineSettings();
  return 0;
}

void AbortWithLog(const char* message) {
  AddLogText(message ? message : "");
  AddLogText("\n");
  WindowSystemRecord& record = g_windowSystem;
  if (record.mainThreadId == 0 || GetCurrentThreadId() == record.mainThreadId) {
    RunLibraryShutdown();
  } else {
    // Shut-down joins worker threads (the sound thread among them), so a worker that aborts must
    // not run it: it leaves the heap's account in the log and ends the process.
    DumpTrackedMemory();
  }
  ExitProcess(static_cast<UINT>(-1));
}

void AbortWithLogFormat(const char* format, ...) {
  char text[1024];
  va_list arguments;
  va_start(arguments, format);
  FormatTextV(text, sizeof(text), format, arguments);
  va_end(arguments);
  AbortWithLog(text);
}
