// Socket services that shut-down, the window procedure and the pump call. Until sockets are built
// they are answered by network_stand_in.cpp.
#pragma once

#include "platform/user.h"

int EndNetwork();
int PumpNetworkMessages(int closeFinished);
int HandleSocketMessage(WPARAM eventWord, LPARAM socket);
