// The host's sockets: POSIX calls with the platform's family numbers and error codes.
#include "winsock/host_sockets.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace platform::host {
namespace {

// The platform's numbers where they differ from the host's.
constexpr int kPlatformInet6 = 23;
constexpr int kPlatformAddressRoom = 28;

int ErrorCode(int error) {
  switch (error) {
    case EINTR:
      return 10004;
    case EBADF:
      return 10038;  // A closed descriptor is no socket.
    case EACCES:
      return 10013;
    case EFAULT:
      return 10014;
    case EINVAL:
      return 10022;
    case EMFILE:
    case ENFILE:
      return 10024;
    case EAGAIN:
    case EINPROGRESS:
      return 10035;
    case EALREADY:
      return 10037;
    case ENOTSOCK:
      return 10038;
    case EMSGSIZE:
      return 10040;
    case EPROTONOSUPPORT:
      return 10043;
    case EOPNOTSUPP:
      return 10045;
    case EAFNOSUPPORT:
      return 10047;
    case EADDRINUSE:
      return 10048;
    case EADDRNOTAVAIL:
      return 10049;
    case ENETDOWN:
      return 10050;
    case ENETUNREACH:
      return 10051;
    case ECONNABORTED:
      return 10053;
    case ECONNRESET:
    case EPIPE:
      return 10054;
    case ENOBUFS:
    case ENOMEM:
      return 10055;
    case EISCONN:
      return 10056;
    case ENOTCONN:
      return 10057;
    case ESHUTDOWN:
      return 10058;
    case ETIMEDOUT:
      return 10060;
    case ECONNREFUSED:
      return 10061;
    case EHOSTUNREACH:
      return 10065;
    default:
      return 10022;
  }
}

int Failure() { return -ErrorCode(errno); }

int HostFamily(int family) {
  if (family == kPlatformInet6) return AF_INET6;
  return family;  // AF_UNSPEC and AF_INET agree.
}

int PlatformFamily(int family) { return family == AF_INET6 ? kPlatformInet6 : family; }

// Copies a platform address into host storage; false when it is too short for its family.
bool ToHostAddress(const void* address, int length, sockaddr_storage* out, socklen_t* outLength) {
  if (!address || length < 2 || length > static_cast<int>(sizeof(sockaddr_storage))) return false;
  std::memset(out, 0, sizeof(*out));
  std::memcpy(out, address, static_cast<size_t>(length));
  uint16_t family;
  std::memcpy(&family, address, sizeof(family));
  out->ss_family = static_cast<sa_family_t>(HostFamily(family));
  if (out->ss_family == AF_INET && length < static_cast<int>(sizeof(sockaddr_in))) return false;
  if (out->ss_family == AF_INET6 && length < static_cast<int>(sizeof(sockaddr_in6))) return false;
  *outLength = static_cast<socklen_t>(length);
  return true;
}

// Copies a host address out as the platform lays it out, truncated to the caller's room.
void ToPlatformAddress(const sockaddr_storage& address, socklen_t length, void* out, int* outLength) {
  if (!out || !outLength) return;
  sockaddr_storage copy = address;
  uint16_t family = static_cast<uint16_t>(PlatformFamily(copy.ss_family));
  std::memcpy(&copy, &family, sizeof(family));
  int room = *outLength < 0 ? 0 : *outLength;
  int size = static_cast<int>(length) < kPlatformAddressRoom ? static_cast<int>(length) : kPlatformAddressRoom;
  std::memcpy(out, &copy, static_cast<size_t>(size < room ? size : room));
  *outLength = size;
}

}  // namespace

int OpenSocket(int family, int type, int protocol) {
  int descriptor = ::socket(HostFamily(family), type == 2 ? SOCK_DGRAM : type == 1 ? SOCK_STREAM : -1, protocol);
  return descriptor < 0 ? Failure() : descriptor;
}

int BindSocket(int descriptor, const void* address, int length) {
  sockaddr_storage host;
  socklen_t hostLength;
  if (!ToHostAddress(address, length, &host, &hostLength)) return -ErrorCode(EFAULT);
  // A restarted listener must not wait out the old connection's time-out on its port.
  int reuse = 1;
  ::setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse));
  return ::bind(descriptor, reinterpret_cast<sockaddr*>(&host), hostLength) < 0 ? Failure() : 0;
}

int ListenSocket(int descriptor, int backlog) {
  if (backlog > SOMAXCONN) backlog = SOMAXCONN;
  return ::listen(descriptor, backlog) < 0 ? Failure() : 0;
}

int ConnectSocket(int descriptor, const void* address, int length) {
  sockaddr_storage host;
  socklen_t hostLength;
  if (!ToHostAddress(address, length, &host, &hostLength)) return -ErrorCode(EFAULT);
  int result;
  do {
    result = ::connect(descriptor, reinterpret_cast<sockaddr*>(&host), hostLength);
  } while (result < 0 && errno == EINTR);
  return result < 0 ? Failure() : 0;
}

int AcceptSocket(int descriptor, void* address, int* length) {
  sockaddr_storage host{};
  socklen_t hostLength = sizeof(host);
  int accepted = ::accept4(descriptor, reinterpret_cast<sockaddr*>(&host), &hostLength, SOCK_CLOEXEC);
  if (accepted < 0) return Failure();
  ToPlatformAddress(host, hostLength, address, length);
  return accepted;
}

int ReceiveSocket(int descriptor, void* buffer, int length, bool peek) {
  if (length < 0) return -ErrorCode(EINVAL);
  ssize_t got = ::recv(descriptor, buffer, static_cast<size_t>(length), peek ? MSG_PEEK : 0);
  return got < 0 ? Failure() : static_cast<int>(got);
}

int SendSocket(int descriptor, const void* buffer, int length) {
  if (length < 0) return -ErrorCode(EINVAL);
  // A peer that has gone answers with an error, never with SIGPIPE.
  ssize_t sent = ::send(descriptor, buffer, static_cast<size_t>(length), MSG_NOSIGNAL);
  return sent < 0 ? Failure() : static_cast<int>(sent);
}

int ShutdownSocket(int descriptor, int how) {
  int hostHow = how == 0 ? SHUT_RD : how == 1 ? SHUT_WR : SHUT_RDWR;
  return ::shutdown(descriptor, hostHow) < 0 ? Failure() : 0;
}

int CloseSocket(int descriptor) { return ::close(descriptor) < 0 ? Failure() : 0; }

int SetSocketNonBlocking(int descriptor, bool nonBlocking) {
  int flags = ::fcntl(descriptor, F_GETFL);
  if (flags < 0) return Failure();
  flags = nonBlocking ? flags | O_NONBLOCK : flags & ~O_NONBLOCK;
  return ::fcntl(descriptor, F_SETFL, flags) < 0 ? Failure() : 0;
}

int SocketBytesAvailable(int descriptor) {
  int available = 0;
  return ::ioctl(descriptor, FIONREAD, &available) < 0 ? Failure() : available;
}

int SocketPeerName(int descriptor, void* address, int* length) {
  sockaddr_storage host{};
  socklen_t hostLength = sizeof(host);
  if (::getpeername(descriptor, reinterpret_cast<sockaddr*>(&host), &hostLength) < 0) return Failure();
  ToPlatformAddress(host, hostLength, address, length);
  return 0;
}

int SocketName(int descriptor, void* address, int* length) {
  sockaddr_storage host{};
  socklen_t hostLength = sizeof(host);
  if (::getsockname(descriptor, reinterpret_cast<sockaddr*>(&host), &hostLength) < 0) return Failure();
  ToPlatformAddress(host, hostLength, address, length);
  return 0;
}

int TakeSocketError(int descriptor) {
  int error = 0;
  socklen_t length = sizeof(error);
  if (::getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &error, &length) < 0) return ErrorCode(errno);
  return error == 0 ? 0 : ErrorCode(error);
}

void PollSockets(SocketReadiness* sockets, int count, int milliseconds) {
  std::vector<pollfd> polled(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i)
    polled[static_cast<size_t>(i)] = {sockets[i].descriptor, POLLIN | POLLOUT | POLLRDHUP, 0};
  int result;
  do {
    result = ::poll(polled.data(), static_cast<nfds_t>(count), milliseconds);
  } while (result < 0 && errno == EINTR);
  for (int i = 0; i < count; ++i) {
    short events = result > 0 ? polled[static_cast<size_t>(i)].revents : 0;
    sockets[i].readable = events & POLLIN;
    sockets[i].writable = events & POLLOUT;
    sockets[i].peerClosed = events & (POLLRDHUP | POLLHUP);
    sockets[i].failed = events & (POLLERR | POLLNVAL);
  }
}

}  // namespace platform::host
