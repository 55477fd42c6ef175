// Stand-ins for the log's start-up services, until the log lands.
#include "runtime/window_system.h"

int InitOnScreenLog() { return 0; }
// The log file is written in the directory that start-up saved.
int SetLogDirectory(const char*) { return 0; }
