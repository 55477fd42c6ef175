// Log. (Interim: texts go nowhere until the log file lands.)
#include "zyvel/runtime.h"

static int g_logIndent = 0;

int OpenLogFile() { return 0; }
int AddLogText(const char*) { return -1; }

int WriteLogFormat(const char*, ...) { return -1; }

int PushLogIndent() {
  ++g_logIndent;
  return 0;
}

int PopLogIndent() {
  if (g_logIndent > 0) --g_logIndent;
  return 0;
}
