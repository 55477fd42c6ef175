#include "runtime/runtime_state.h"

RuntimeRecord g_runtime;

int GetCharSet() { return g_runtime.charSet; }
int GetCodePage() { return g_runtime.codePage; }

int SetCharSet(int charSet, int codePage) {
  g_runtime.charSet = charSet;
  g_runtime.codePage = codePage;
  return 0;
}

int GetPlainFilesOnly() { return g_runtime.plainFilesOnly; }
ClockChoice& RuntimeClockChoice() { return g_runtime.clocks; }
ProcessorFacts& RuntimeProcessorFacts() { return g_runtime.processor; }
LogState& RuntimeLogState() { return g_runtime.log; }
