// Stands in for the start-up layer's fatal exit until it is built: log and end the process.
#include <cstdarg>
#include <cstdlib>

#include "zyvel/runtime.h"

void AbortWithLog(const char* message) {
  AddLogText(message);
  AddLogText("\n");
  std::exit(-1);
}

void AbortWithLogFormat(const char* format, ...) {
  char text[1024];
  va_list arguments;
  va_start(arguments, format);
  FormatTextV(text, sizeof(text), format, arguments);
  va_end(arguments);
  AbortWithLog(text);
}
