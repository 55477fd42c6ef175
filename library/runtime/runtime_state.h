// `RuntimeRecord`: what the runtime keeps for the whole library, below every other subsystem. The
// other subsystems reach it through the accessors in runtime_services.h; only the runtime and the
// tests touch the record itself.
//
// Every field used to live in the window system's record (`WindowSystemRecord`), which the runtime
// could not read without depending on the window:
// - charSet, codePage: the window system's record, the character set of all library text (kept
//   over restarts);
// - plainFilesOnly: the window system's record, its start-up options (kept);
// - clocks: the window system's record, the time-stamp counter measured by the system-information
//   step and the performance counter chosen by the window set-up's timer check; the window's
//   `initialised` flag, which the clock read, is handed down as timeStampCounterAllowed;
// - processor: the window system's record, the system facts of the system-information step (kept);
// - log: the window system's record, the log writer's state (the window set-up clears only the
//   indent level, the mid-line flag and the on-screen log).
#pragma once

#include "runtime/runtime_services.h"

struct RuntimeRecord {
  int charSet = 1;
  int codePage = 932;
  int plainFilesOnly = 0;
  ClockChoice clocks;
  ProcessorFacts processor;
  LogState log;
};

extern RuntimeRecord g_runtime;
