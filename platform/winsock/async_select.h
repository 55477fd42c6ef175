// What the rest of the stand-in asks of WinSock: the poll passes behind WSAAsyncSelect, run by the
// message queue each time a thread retrieves messages (they post the events that have become due
// on the sockets selected for that thread's windows), and a socket's host descriptor.
#pragma once

#include "platform/winsock.h"

namespace platform {

// Looks only at the sockets that a re-enabling call (recv, send, accept, connect, WSAAsyncSelect)
// has touched since the last pass: an event whose condition still holds is posted again at once,
// as the platform does, without a pass over every socket.
void PollChangedSockets();
// Looks at every socket selected for the calling thread's windows.
void PollSelectedSockets();
// -1 for a socket that is not open.
int HostDescriptorOf(SOCKET s);

}  // namespace platform
