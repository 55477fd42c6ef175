// Stand-ins for sockets, until the network lands.
#include "network/network_services.h"

int EndNetwork() { return 0; }
int PumpNetworkMessages(int) { return 0; }
int HandleSocketMessage(WPARAM, LPARAM) { return 0; }
