// Stand-ins for start-up's fatal exits until start-up and shut-down land: the message reaches the
// log and the process ends with exit code -1, without a shut-down.
#include <cstdarg>

#include "platform/kernel.h"
#include "zyvel/runtime.h"

void AbortWithLog(const char* message) {
  AddLogText(message);
  AddLogText("\n");
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
