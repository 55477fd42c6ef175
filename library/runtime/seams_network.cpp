// Stand-ins for sockets, until the network lands.
#include "runtime/window_system.h"

int EndNetwork() { return 0; }
int PumpNetworkMessages(int) { return 0; }
int HandleSocketMessage(WPARAM, LPARAM) { return 0; }
