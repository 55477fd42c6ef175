// The library's entries under the call lock (start-up and shut-down, which library/startup/ runs
// once it has connected the subsystems, and per-frame message processing), the start-up and
// shut-down bodies with their fixed order of steps, and the fatal exits.
//
// A start-up that fails half way runs the shut-down body, and each shut-down step checks for
// itself whether its part is up, so that nothing started is left behind.
#include <cstdarg>

#include "platform/com.h"
#include "platform/gdi.h"
#include "platform/kernel.h"
#include "window/window_services.h"
#include "zyvel/files.h"

namespace {

// Step 2: a full-screen size that no display mode offers starts windowed, except 320 x 240,
// which runs as 640 x 480.
void CheckFullScreenSize() {
  if (g_windowSystem.windowedMode) return;
  const WindowGraphicsHooks& graphics = GraphicsHooks();
  int width = 0, height = 0;
  graphics.screenSize(&width, &height);
  const bool offered = IsDisplayModeOffered(width, height);
  if (!offered && !(width == 320 && height == 240 && graphics.hardwareAccelWanted())) ChangeWindowMode(1);
  graphics.screenSize(&width, &height);
  if (width == 320 && height == 240 && !g_windowSystem.windowedMode) graphics.setEmulating320x240(1);
}

int DesktopDepth() {
  HDC screen = GetDC(nullptr);
  int depth = GetDeviceCaps(screen, PLANES) * GetDeviceCaps(screen, BITSPIXEL);
  ReleaseDC(nullptr, screen);
  return depth;
}

}  // namespace

int StartLibrary() {
  if (g_windowSystem.initialised) return 0;
  ApiLockEnter();
  int result = RunLibraryStartup();
  ApiLockLeave();
  return result;
}

int EndLibrary() {
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

  const WindowGraphicsHooks& graphics = GraphicsHooks();
  const WindowInputHooks& input = InputHooks();
  CheckFullScreenSize();
  MovieHooks().buildColorTables();

  ReleaseUnusedArchives();
  InstallFileFunctions(nullptr);
  GetFileFunctions()->GetDir(record.savedDirectory);
  SetLogDirectory(record.savedDirectory);

  OpenLogFile();

  if (!record.options.noWindow) {
    if ((record.windowedMode && DesktopDepth() == 24) || graphics.screenColorBits() == 24) {
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
  graphics.forgetRestoreCallback();

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
  if (!failed && !record.options.noInput) failed = input.startDevices() == -1;
  if (!failed && !record.options.noSound) SoundHooks().start();
  if (!failed && !record.options.noGraphics) failed = graphics.start() < 0;
  if (failed) {
    RunLibraryShutdown();
    record.initialising = 0;
    return -1;
  }

  input.startTextInput();
  record.initialised = 1;
  RuntimeClockChoice().timeStampCounterAllowed = 1;
  if (!record.windowedMode && !record.subclassMode && record.mainWindow) ForceWindowForeground(record.mainWindow, 1);
  graphics.startOnScreenLog();
  graphics.selectStartDrawTargets();
  if (!record.options.noGraphics) graphics.startModels();
  record.initialising = 0;
  return 0;
}

int RunLibraryShutdown() {
  WindowSystemRecord& record = g_windowSystem;
  if (!record.initialised && !record.initialising) return 0;
  record.endFlag = WINDOW_END_SHUTTING_DOWN;

  const WindowGraphicsHooks& graphics = GraphicsHooks();
  graphics.endOnScreenLog();
  NetworkHooks().end();
  SoundHooks().endCurrentMusic();
  graphics.endModels();
  graphics.end();
  InputHooks().releaseDevices();
  SoundHooks().end();
  EndMainWindow();
  if (record.comInitialised) {
    CoUninitialize();
    AddLogText("ＣＯＭを終了... 完了\n");
    record.comInitialised = 0;
  }
  graphics.deleteAllSoftImages();
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
