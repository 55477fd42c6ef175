// `WindowSystemRecord`: the runtime's global record of window, mode, activity, options, log and
// platform state. Start-up clears it, except the "kept" fields that settings made before start-up
// and state that must outlive a restart live in.
#pragma once

#include <cstdint>

#include "platform/types.h"
#include "runtime/log.h"

// The switches that start-up reads; setters called before start-up store them (all kept).
struct StartupOptions {
  int noWindow = 0;
  int noGraphics = 0;
  int noSound = 0;
  int noInput = 0;
  int runWhileInactive = 0;
  int altEnterSwitch = 0;
  int doubleStartAllowed = 0;
  int plainFilesOnly = 0;
};

struct WindowSystemRecord {
  StartupOptions options;

  // Character set of all library text (`CharSetId`) and its code page (kept).
  int charSet = 1;
  int codePage = 932;

  HINSTANCE instance = nullptr;
  HWND mainWindow = nullptr;  // Kept.
  int processorCount = 1;     // Kept.
  DWORD mainThreadId = 0;

  int windowedMode = 1;  // Kept.
  int quitRequested = 0;
  int windowDestroyed = 0;
  int active = 1;

  int initialised = 0;
  int initialising = 0;  // Kept.
  int osCode = 0;        // Kept: 265 for Windows 7 and later NT versions.
  int endFlag = 0;

  // Clocks: the time-stamp counter (measured by the system-information step, kept) and the
  // performance counter (chosen by the window set-up's timer check).
  int hasTimeStampCounter = 0;
  uint64_t timeStampFrequency = 0;
  int usePerformanceCounter = 0;
  uint64_t performanceFrequency = 0;

  // ---- Log ----
  LogState log;
};

extern WindowSystemRecord g_windowSystem;
