// The test door's far end of a connection: loopback listen, connect, accept, and framed messages.
#include <chrono>
#include <cstring>

#include "platform/testing.h"
#include "winsock/async_select.h"
#include "winsock/host_sockets.h"

namespace platform::testing {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLargestMessage = 16 * 1024 * 1024;

int LoopbackAddress(bool ipv6, USHORT port, sockaddr_in6* out) {
  std::memset(out, 0, sizeof(*out));
  if (ipv6) {
    out->sin6_family = AF_INET6;
    out->sin6_port = htons(port);
    out->sin6_addr.u.Byte[15] = 1;
    return sizeof(sockaddr_in6);
  }
  auto* v4 = reinterpret_cast<sockaddr_in*>(out);
  v4->sin_family = AF_INET;
  v4->sin_port = htons(port);
  v4->sin_addr.S_un.S_addr = htonl(INADDR_LOOPBACK);
  return sizeof(sockaddr_in);
}

int RemainingMilliseconds(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

// Waits until the socket can be read (or has ended); false when the time runs out first.
bool WaitReadable(SOCKET s, Clock::time_point deadline) {
  for (;;) {
    host::SocketReadiness ready{HostDescriptorOf(s), false, false, false, false};
    if (ready.descriptor < 0) return false;
    host::PollSockets(&ready, 1, RemainingMilliseconds(deadline));
    if (ready.readable || ready.peerClosed || ready.failed) return true;
    if (Clock::now() >= deadline) return false;
  }
}

// Reads exactly `length` bytes before the deadline.
bool ReadExactly(SOCKET s, uint8_t* out, int length, Clock::time_point deadline) {
  int done = 0;
  while (done < length) {
    if (!WaitReadable(s, deadline)) return false;
    int got = recv(s, reinterpret_cast<char*>(out + done), length - done, 0);
    if (got <= 0) return false;
    done += got;
  }
  return true;
}

}  // namespace

SOCKET ListenOnLoopback(bool ipv6, USHORT* port) {
  SOCKET s = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return s;
  sockaddr_in6 address;
  int length = LoopbackAddress(ipv6, 0, &address);
  int nameLength = sizeof(address);
  if (bind(s, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(s, SOMAXCONN) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &nameLength) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  if (port) *port = ntohs(address.sin6_port);  // Both layouts keep the port at the same place.
  return s;
}

SOCKET ConnectToLoopback(bool ipv6, USHORT port) {
  SOCKET s = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return s;
  sockaddr_in6 address;
  int length = LoopbackAddress(ipv6, port, &address);
  if (connect(s, reinterpret_cast<sockaddr*>(&address), length) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

SOCKET AcceptWithin(SOCKET listener, int milliseconds) {
  if (!WaitReadable(listener, Clock::now() + std::chrono::milliseconds(milliseconds))) return INVALID_SOCKET;
  return accept(listener, nullptr, nullptr);
}

bool WriteBytes(SOCKET s, const void* bytes, int length) {
  const char* next = static_cast<const char*>(bytes);
  while (length > 0) {
    int sent = send(s, next, length, 0);
    if (sent <= 0) return false;
    next += sent;
    length -= sent;
  }
  return true;
}

bool WriteMessage(SOCKET s, const std::vector<uint8_t>& bytes) {
  const uint32_t length = static_cast<uint32_t>(bytes.size());
  const uint8_t prefix[4] = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                             static_cast<uint8_t>(length >> 16), static_cast<uint8_t>(length >> 24)};
  return WriteBytes(s, prefix, 4) && WriteBytes(s, bytes.data(), static_cast<int>(bytes.size()));
}

bool ReadMessage(SOCKET s, std::vector<uint8_t>* bytes, int milliseconds) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  uint8_t prefix[4];
  if (!ReadExactly(s, prefix, 4, deadline)) return false;
  const int32_t length =
      static_cast<int32_t>(prefix[0] | prefix[1] << 8 | prefix[2] << 16 | static_cast<uint32_t>(prefix[3]) << 24);
  if (length < 0 || length > kLargestMessage) return false;
  bytes->assign(static_cast<size_t>(length), 0);
  return ReadExactly(s, bytes->data(), length, deadline);
}

bool WaitForPeerClose(SOCKET s, int milliseconds) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  char skipped[4096];
  for (;;) {
    if (!WaitReadable(s, deadline)) return false;
    int got = recv(s, skipped, sizeof(skipped), 0);
    if (got <= 0) return true;
  }
}

}  // namespace platform::testing
