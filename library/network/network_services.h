// Network handles (kind 6): WinSock stream sockets whose events arrive as one window message, with
// every TCP message framed as a 4-byte little-endian length and that many bytes, queued through a
// receive ring and a send ring per handle.
//
// Nothing in the program starts the layer, opens the listening socket or creates the network
// window: until something fills in `g_network`, every operation stops at its first check.
#pragma once

#include "platform/user.h"
#include "platform/winsock.h"
#include "runtime/runtime_services.h"

// Hands the window what it calls in the network layer (network_window_hooks.cpp).
void ConnectNetworkToWindow();

constexpr int NETWORK_HANDLE_TABLE_SIZE = 8193;
constexpr int NETWORK_ACCEPT_SLOTS = 8192;  // Accepted connections take the first slots only.
constexpr UINT NETWORK_SOCKET_MESSAGE = WM_USER + 261;
// The largest message a peer may announce; a larger or negative length breaks the handle.
constexpr int NETWORK_LARGEST_MESSAGE = 16 * 1024 * 1024;
// One pump call reads at most this many messages and bytes from one handle, the rest on the next
// call, so a peer that sends without pause holds up neither the frame loop nor the other peers.
constexpr int NETWORK_RECEIVE_MESSAGE_BUDGET = 1024;
constexpr int NETWORK_RECEIVE_BYTE_BUDGET = 1024 * 1024;
// A handle holding this many unread bytes stops reading its socket until the program takes
// messages: TCP then slows the peer, and nothing is lost.
constexpr int NETWORK_RECEIVE_RING_BOUND = 2 * NETWORK_LARGEST_MESSAGE;

struct SocketRecord {
  int isUdp;
  int inUse;
  int error;      // A broken handle: the pump closes it.
  int connected;  // Set by a connection without error and at accept, cleared when the peer closes.
  int closing;
  int peerClosed;  // The peer closed: the pump closes the handle when `autoClose` is set.
  int framed;      // 1: the rings and the length framing are used.
  int autoClose;
  int checkCount;
  SOCKET socket;

  // Receive side: whole messages' bytes (without their lengths) gather in `receiveRing`.
  int incomingRemaining;      // Bytes still missing of the current message; 0: a length comes next.
  uint8_t incomingPrefix[4];  // The next message's length as far as it has arrived.
  int incomingPrefixBytes;
  ByteRing receiveRing;
  int incomingSize;   // Size of the current message.
  int completeBytes;  // Bytes of completely received messages in the ring.

  // Send side: everything queued in `sendRing` goes out as one message.
  ByteRing sendRing;
  int outgoingRemaining;      // Bytes of the current message still to send.
  uint8_t outgoingPrefix[4];  // The current message's length, little-endian.
  int prefixPending;          // Length bytes still to send.

  uint32_t peerAddress;  // IPv4, network order (0 for an IPv6 peer).
  USHORT peerPort;       // Network order, as in the socket address.

  int udpArrived;
  int udpCanSend;

  // Bytes may wait in the socket that no FD_READ will announce (the budget ran out, or the ring
  // is full): the pump reads them.
  int readOwed;
  uint32_t readInPump;  // The pump call that last read this handle.

  HandleChainNode node;
};

struct NetworkState {
  int initialised;
  SocketRecord* listenSocket;
  HWND networkWindow;
  int windowGone;
  // Options for new connections.
  int noFraming;
  int keepAfterPeerClose;
  int nextCheckCount;  // 0..2047.
  HandleChainNode chainHead;
  HandleChainNode chainTail;
  SocketRecord* handles[NETWORK_HANDLE_TABLE_SIZE];
  int handleCount;
  int freeSlotHint;    // No slot below it is free.
  int acceptRefused;   // FD_ACCEPT found the table full: a freed slot offers the waiting again.
  int acceptFailing;   // A failed accept is logged once until one succeeds.
  int readsOwed;       // Some handle may have `readOwed` set.
  uint32_t pumpCalls;  // Counts pump calls; a handle is read once per call.
};

extern NetworkState g_network;

// Accepts one pending connection on the listening socket: 1, or -1.
int AcceptNetWork();
// Moves arrived bytes into the receive ring: 0, or -1.
int RecvSocket(int handle);
// Sends queued bytes from the send ring: 0, or -1.
int SendSocket(int handle);
// Closes a TCP handle after up to a second each of receiving and sending.
int CloseNetWork(int handle);
int CloseUdpSocket(int handle);
// With `closeFinished` 1, first closes the broken handles and those whose peer closed (when they
// close automatically); then reads what earlier calls left unread and dispatches the network
// window's pending messages. Always 0.
int PumpNetworkMessages(int closeFinished);
// The network window's handler of NETWORK_SOCKET_MESSAGE: 1 when the socket is one of ours.
int HandleSocketMessage(LPARAM eventWord, SOCKET socket);
// Shut-down: closes every handle, whose drains share one second in all, and ends WinSock.
int EndNetwork();
// Logs the formatted text with WinSock's last error; always -1.
int LogNetworkError(const char* format, ...) __attribute__((format(printf, 1, 2)));
