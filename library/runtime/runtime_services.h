// The runtime's internal services for the other subsystems: the runtime's record (character set,
// clocks, processor facts, the log writer's state), the tracked heap's record, handle words and
// tables, the handle chain and the byte ring.
#pragma once

#include <cstdint>

#include "runtime/byte_ring.h"
#include "runtime/handle_chain.h"
#include "runtime/handle_table.h"
#include "runtime/log.h"
#include "runtime/tracked_heap.h"

// ---- The runtime's record (runtime_state.cpp) ----
// The clock choice: which counter GetMicrosecondCount reads, and at what frequency.
struct ClockChoice {
  int hasTimeStampCounter = 0;
  uint64_t timeStampFrequency = 0;
  int usePerformanceCounter = 0;
  uint64_t performanceFrequency = 0;
  // The time-stamp counter is read only while the library runs; start-up and shut-down say so.
  int timeStampCounterAllowed = 0;
};

// What the system-information step found out about the processor.
struct ProcessorFacts {
  int processorCount = 1;
  char processorName[256] = {};
  int processorMHz = 0;
  int hasMmx = 0;
  int hasSse = 0;
  int hasSse2 = 0;
};

// Character set of all library text (`CharSetId`) and its code page.
int GetCharSet();
int GetCodePage();
int SetCharSet(int charSet, int codePage);
// The start-up option that keeps the file functions to plain files (no archives).
int GetPlainFilesOnly();
ClockChoice& RuntimeClockChoice();
ProcessorFacts& RuntimeProcessorFacts();
LogState& RuntimeLogState();
