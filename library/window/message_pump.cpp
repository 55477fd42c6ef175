// `PumpWindowMessages`: the per-frame heartbeat. Takes at most five window messages per round,
// keeps dialog and child windows alive, waits while the window is inactive, then runs the
// services that need a regular tick.
#include <atomic>

#include "window/window_services.h"

namespace {

HWND const kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));
constexpr int kMessagesPerRound = 5;

bool OnMainThread() { return GetCurrentThreadId() == g_windowSystem.mainThreadId; }

// Shut-down never waits for the window to come back: a program whose last act was an error box
// may never be activated again, and nothing it ends needs the window active.
bool WaitingInactive() {
  const WindowSystemRecord& record = g_windowSystem;
  if (record.endFlag == WINDOW_END_SHUTTING_DOWN) return false;
  return !record.active && !record.options.runWhileInactive;
}

// Other threads watch for the wait to begin (a window test does), so the flag is stored
// atomically.
void NoteInactiveWait(WindowRunState* run) {
  std::atomic_ref<int>(run->inactiveWaitStarted).store(1);
  run->inactiveWaitStart = GetMillisecondCount();
}

bool TakeMessage(MSG* msg) {
  if (PeekMessageA(msg, nullptr, 0, 0, PM_NOREMOVE) && PeekMessageA(msg, nullptr, 0, 0, PM_REMOVE)) return true;
  if (PeekMessageA(msg, kThreadMessagesOnly, 0, 0, PM_REMOVE)) return true;
  return g_windowSystem.mainWindow && PeekMessageA(msg, g_windowSystem.mainWindow, 0, 0, PM_REMOVE);
}

// One message each for the dialog and the child windows; true when any was there.
bool ServeDialogAndChildren() {
  WindowRunState& run = g_windowSystem.run;
  bool served = false;
  MSG msg;
  if (run.dialogWindow && PeekMessageA(&msg, run.dialogWindow, 0, 0, PM_REMOVE)) {
    IsDialogMessageA(run.dialogWindow, &msg);
    served = true;
  }
  for (int i = 0; i < run.childWindowCount && i < 100; ++i) {
    if (run.childWindows[i] && PeekMessageA(&msg, run.childWindows[i], 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
      served = true;
    }
  }
  return served;
}

// Whenever no sound thread runs, not only on one processor: a thread refused at start-up would
// otherwise leave stream sounds replaying their first second.
void RefillSoundsWithoutThread() {
  const WindowSoundHooks& sound = SoundHooks();
  if (!sound.threadRunning()) {
    sound.updateStreams();
    sound.updateSoftPlayers();
  }
}

void RunPumpRounds() {
  WindowSystemRecord& record = g_windowSystem;
  bool drained = false, handledFive = false, firstRound = true;
  bool waitNoted = false;
  for (;;) {
    if (!firstRound) {
      bool mayLeave = !WaitingInactive() || record.run.closePosted;
      if (mayLeave && (drained || handledFive || record.quitRequested)) return;
    }
    firstRound = false;
    drained = handledFive = false;
    if (WaitingInactive()) {
      if (!waitNoted && !record.run.inactiveWaitStarted) NoteInactiveWait(&record.run);
      waitNoted = true;
      Sleep(1);
    }

    int dispatched = 0;
    for (;;) {
      MSG msg;
      if (!TakeMessage(&msg)) {
        if (ServeDialogAndChildren()) continue;
        drained = true;
        break;
      }
      if (record.run.dialogWindow && IsDialogMessageA(record.run.dialogWindow, &msg)) continue;
      if (msg.message == WM_ACTIVATEAPP && record.windowedMode) record.active = msg.wParam != 0;
      if (record.quitRequested) {
        // Quit is already set: the message taken is still handled (it may be shut-down's own
        // close), and the rounds end.
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        return;
      }
      if (msg.message == WM_QUIT) record.quitRequested = 1;
      if (!TranslateAcceleratorA(record.mainWindow, record.acceleratorTable, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
      if (++dispatched == kMessagesPerRound) {
        handledFive = true;
        break;
      }
    }

    if (WaitingInactive()) {
      NetworkHooks().pump(0);
      RefillSoundsWithoutThread();
      MovieHooks().drawScreenMovies();
      Sleep(24);
    }
    if (record.quitRequested) return;
    if (!OnMainThread()) return;  // Another thread gets one pass.
  }
}

}  // namespace

int PumpWindowMessages() {
  WindowSystemRecord& record = g_windowSystem;
  if (record.run.textInputStepRunning) return 0;

  if (record.clipCursor && record.windowedMode && record.active && !record.run.cursorClipped) {
    POINT cursor;
    GetCursorPos(&cursor);
    const RECT& client = record.run.clientRect;
    if (client.left < cursor.x && cursor.x <= client.right && client.top < cursor.y && cursor.y <= client.bottom) {
      ClipCursor(&client);
      record.run.cursorClipped = 1;
    }
  }

  if (!record.options.noWindow) {
    if (!record.mainWindow) return record.quitRequested ? -1 : 0;
    if (!record.subclassMode) {
      if (record.run.modeSwitchRequest && record.options.altEnterSwitch && OnMainThread()) {
        record.run.modeSwitchRequest = 0;
        ChangeWindowMode(record.windowedMode ? 0 : 1);
        if (record.modeSwitchCallback) record.modeSwitchCallback(record.modeSwitchValue);
      }
      RunPumpRounds();
      if (OnMainThread() && !record.menuAlwaysShown) UpdateAutoMenu();
    }
  }

  RefillSoundsWithoutThread();
  SoundHooks().updateMidiPlayState();
  InputHooks().refreshKeyboard();
  InputHooks().processJoypadEffects();
  NetworkHooks().pump(1);
  record.run.textInputStepRunning = 1;
  InputHooks().processTextInput();
  record.run.textInputStepRunning = 0;
  return record.quitRequested ? -1 : 0;
}

void WaitWhileInactive() {
  WindowSystemRecord& record = g_windowSystem;
  if (record.run.inPaint || record.active || record.subclassMode || record.options.noWindow) return;
  if (record.endFlag == WINDOW_END_SHUTTING_DOWN) return;
  if (record.windowedMode && record.options.runWhileInactive) return;
  NoteInactiveWait(&record.run);
  while (!record.active)
    if (PumpWindowMessages() != 0) break;
}
