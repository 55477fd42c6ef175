// Stands in for the window layer until it is built: no messages, always active, never closing.
#include "platform/types.h"
#include "runtime/window_seams.h"

int PumpWindowMessages() { return 0; }
void WaitWhileInactive() {}
int IsWindowClosing() { return 0; }
int IsWindowActive() { return 1; }
int IsApiLockHeldByCurrentThread() { return 1; }
