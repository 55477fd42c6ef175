// `WindowSystemRecord`: the runtime's global record of window, mode, activity, options, log and
// platform state. Start-up clears it, except the fields that settings made before start-up live in.
#pragma once

#include <cstdint>

struct WindowSystemRecord {
  // Character set of all library text (`CharSetId`) and its code page.
  int charSet = 1;
  int codePage = 932;

  // Clocks: the time-stamp counter (measured by the system-information step) and the performance
  // counter (chosen by the window set-up's timer check).
  int initialised = 0;
  int hasTimeStampCounter = 0;
  uint64_t timeStampFrequency = 0;
  int usePerformanceCounter = 0;
  uint64_t performanceFrequency = 0;
};

extern WindowSystemRecord g_windowSystem;
