// What the rest of the stand-in asks of WinSock: the poll pass behind WSAAsyncSelect, run by the
// message queue each time a thread retrieves messages (it posts the events that have become due
// on the sockets selected for that thread's windows), and a socket's host descriptor.
#pragma once

#include "platform/winsock.h"

namespace platform {

void PollSelectedSockets();
// -1 for a socket that is not open.
int HostDescriptorOf(SOCKET s);

}  // namespace platform
