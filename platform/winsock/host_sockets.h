// The host's sockets, behind the WinSock stand-in. This is the one place that sees the host's
// socket headers; everything here takes the platform's address families and address layouts
// (which match the host's but for the family numbers) and answers failures as negated WinSock
// error codes.
#pragma once

namespace platform::host {

// Each returns 0 (or a descriptor, a byte count) on success and -WSAE... on failure.
int OpenSocket(int family, int type, int protocol);
int BindSocket(int descriptor, const void* address, int length);
int ListenSocket(int descriptor, int backlog);
// A non-blocking socket whose connection is under way answers -WSAEWOULDBLOCK.
int ConnectSocket(int descriptor, const void* address, int length);
// `*length` is the room on the way in and the address size on the way out.
int AcceptSocket(int descriptor, void* address, int* length);
int ReceiveSocket(int descriptor, void* buffer, int length, bool peek);
int SendSocket(int descriptor, const void* buffer, int length);
int ShutdownSocket(int descriptor, int how);
int CloseSocket(int descriptor);
int SetSocketNonBlocking(int descriptor, bool nonBlocking);
int SocketBytesAvailable(int descriptor);
int SocketPeerName(int descriptor, void* address, int* length);
int SocketName(int descriptor, void* address, int* length);
// The pending error of the socket (0 when none), as a WinSock code.
int TakeSocketError(int descriptor);

struct SocketReadiness {
  int descriptor;
  bool readable;
  bool writable;
  bool peerClosed;  // The peer shut its side, or the connection broke.
  bool failed;
};
// Fills in the readiness of each descriptor without waiting (or waiting up to `milliseconds`).
void PollSockets(SocketReadiness* sockets, int count, int milliseconds);

}  // namespace platform::host
