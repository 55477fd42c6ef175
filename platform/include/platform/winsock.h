// WinSock stand-in: stream sockets over the host's non-blocking sockets, IPv4 and IPv6.
//
// A SOCKET is the host's descriptor. Sockets start blocking, as on the platform; ioctlsocket
// (FIONBIO) and WSAAsyncSelect make them non-blocking. WSAAsyncSelect's events are found by a poll
// pass each time the owning window's thread retrieves messages, and posted with the platform's
// re-enable rules: FD_READ again after a recv while data remains, FD_ACCEPT again after an accept,
// FD_WRITE once after a connect or accept and again only after a send that would have blocked,
// FD_CONNECT and FD_CLOSE once. An accepted socket inherits the listening socket's selection.
#pragma once

#include "platform/types.h"

typedef UINT_PTR SOCKET;

#define INVALID_SOCKET (~static_cast<SOCKET>(0))
#define SOCKET_ERROR (-1)

#define AF_UNSPEC 0
#define AF_INET 2
#define AF_INET6 23
#define SOCK_STREAM 1
#define SOCK_DGRAM 2
#define IPPROTO_TCP 6
#define IPPROTO_UDP 17

#define MSG_PEEK 0x2

#define SD_RECEIVE 0
#define SD_SEND 1
#define SD_BOTH 2

#define FIONBIO (static_cast<LONG>(0x8004667Eu))
#define FIONREAD (static_cast<LONG>(0x4004667Fu))

#define SOMAXCONN 0x7FFFFFFF

#define FD_READ 0x01
#define FD_WRITE 0x02
#define FD_OOB 0x04
#define FD_ACCEPT 0x08
#define FD_CONNECT 0x10
#define FD_CLOSE 0x20

// The event word of an asynchronous-select message: the event low, the error code high.
#define WSAGETSELECTEVENT(lParam) (static_cast<WORD>((lParam)&0xFFFF))
#define WSAGETSELECTERROR(lParam) (static_cast<WORD>(((lParam) >> 16) & 0xFFFF))
#define WSAMAKESELECTREPLY(event, error) (static_cast<LPARAM>(((error)&0xFFFF) << 16 | ((event)&0xFFFF)))

#define WSAEINTR 10004
#define WSAEBADF 10009
#define WSAEACCES 10013
#define WSAEFAULT 10014
#define WSAEINVAL 10022
#define WSAEMFILE 10024
#define WSAEWOULDBLOCK 10035
#define WSAEINPROGRESS 10036
#define WSAEALREADY 10037
#define WSAENOTSOCK 10038
#define WSAEMSGSIZE 10040
#define WSAEPROTONOSUPPORT 10043
#define WSAEOPNOTSUPP 10045
#define WSAEAFNOSUPPORT 10047
#define WSAEADDRINUSE 10048
#define WSAEADDRNOTAVAIL 10049
#define WSAENETDOWN 10050
#define WSAENETUNREACH 10051
#define WSAECONNABORTED 10053
#define WSAECONNRESET 10054
#define WSAENOBUFS 10055
#define WSAEISCONN 10056
#define WSAENOTCONN 10057
#define WSAESHUTDOWN 10058
#define WSAETIMEDOUT 10060
#define WSAECONNREFUSED 10061
#define WSAEHOSTUNREACH 10065
#define WSAVERNOTSUPPORTED 10092
#define WSANOTINITIALISED 10093

#define MAKEWORD(low, high) \
  (static_cast<WORD>(static_cast<BYTE>(low) | static_cast<WORD>(static_cast<BYTE>(high)) << 8))

struct WSADATA {
  WORD wVersion;
  WORD wHighVersion;
  char szDescription[257];
  char szSystemStatus[129];
  USHORT iMaxSockets;
  USHORT iMaxUdpDg;
  char* lpVendorInfo;
};
typedef WSADATA* LPWSADATA;

struct in_addr {
  union {
    struct {
      UCHAR s_b1, s_b2, s_b3, s_b4;
    } S_un_b;
    struct {
      USHORT s_w1, s_w2;
    } S_un_w;
    ULONG S_addr;
  } S_un;
};

struct in6_addr {
  union {
    UCHAR Byte[16];
    USHORT Word[8];
  } u;
};

struct sockaddr {
  USHORT sa_family;
  char sa_data[14];
};

struct sockaddr_in {
  SHORT sin_family;
  USHORT sin_port;  // Network order.
  in_addr sin_addr;
  char sin_zero[8];
};

struct sockaddr_in6 {
  SHORT sin6_family;
  USHORT sin6_port;  // Network order.
  ULONG sin6_flowinfo;
  in6_addr sin6_addr;
  ULONG sin6_scope_id;
};

static_assert(sizeof(sockaddr) == 16);
static_assert(sizeof(sockaddr_in) == 16);
static_assert(sizeof(sockaddr_in6) == 28);

#define INADDR_ANY 0x00000000u
#define INADDR_LOOPBACK 0x7F000001u

int WSAStartup(WORD versionRequested, LPWSADATA data);
int WSACleanup();
int WSAGetLastError();
void WSASetLastError(int error);

SOCKET socket(int family, int type, int protocol);
int bind(SOCKET s, const sockaddr* name, int nameLength);
int listen(SOCKET s, int backlog);
int connect(SOCKET s, const sockaddr* name, int nameLength);
SOCKET accept(SOCKET s, sockaddr* address, int* addressLength);
int recv(SOCKET s, char* buffer, int length, int flags);
int send(SOCKET s, const char* buffer, int length, int flags);
int shutdown(SOCKET s, int how);
int closesocket(SOCKET s);
int ioctlsocket(SOCKET s, LONG command, ULONG* argument);
int getpeername(SOCKET s, sockaddr* name, int* nameLength);
int getsockname(SOCKET s, sockaddr* name, int* nameLength);
// Events 0 stops the messages (and leaves the socket non-blocking).
int WSAAsyncSelect(SOCKET s, HWND window, UINT message, LONG events);

USHORT htons(USHORT value);
ULONG htonl(ULONG value);
USHORT ntohs(USHORT value);
ULONG ntohl(ULONG value);
