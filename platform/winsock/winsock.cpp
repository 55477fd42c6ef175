// WinSock: start-up, the socket calls, and WSAAsyncSelect's event bookkeeping and poll pass.
#include <atomic>
#include <map>
#include <mutex>
#include <vector>

#include "platform/kernel.h"
#include "platform/user.h"
#include "platform/winsock.h"
#include "winsock/async_select.h"
#include "winsock/host_sockets.h"

namespace platform {
namespace {

// What the stand-in knows of one socket beside the host's descriptor.
struct SocketEntry {
  int descriptor = -1;  // The host's.
  bool nonBlocking = false;
  bool listening = false;
  bool connecting = false;  // A non-blocking connect is under way.
  bool connected = false;   // Accepted, or its connect finished without error.
  // The selection: events go to `window` (owned by `thread`) as `message`.
  HWND window = nullptr;
  UINT message = 0;
  LONG events = 0;
  DWORD thread = 0;
  // Re-enable state: an event is posted only while armed, and posting disarms it.
  bool readArmed = true;
  bool acceptArmed = true;
  bool writeArmed = false;
  bool closePosted = false;
  // A listener whose accept failed for want of descriptors or buffers: the connection stays
  // queued, and FD_ACCEPT comes again only after a pause, so the caller does not retry at once
  // and without end.
  bool acceptPaused = false;
  DWORD acceptFailedAt = 0;
  bool changed = false;  // Listed in `changed` for the next pass over changed sockets.
};

// How long a listener rests after an accept that ran out of descriptors or buffers.
constexpr DWORD kAcceptRetryMilliseconds = 100;

struct WinsockState {
  std::mutex mutex;
  int startups = 0;
  std::map<SOCKET, SocketEntry> sockets;
  // SOCKET values are not the host's descriptors and are never reused, so an event still queued
  // for a closed socket cannot be taken for a newer one.
  SOCKET nextSocket = 0x100;
  std::atomic<int> selectedCount{0};  // Sockets with events selected: the poll pass's quick exit.
  std::vector<SOCKET> changed;        // Touched by a re-enabling call since the last pass.
  uint64_t readinessChecks = 0;       // Sockets looked at by the poll passes, for the tests.
};

WinsockState& Winsock() {
  static auto* state = new WinsockState;
  return *state;
}

thread_local int t_lastError = 0;

using Lock = std::unique_lock<std::mutex>;

int Fail(int error) {
  t_lastError = error;
  return SOCKET_ERROR;
}

// The entry of a socket, or null with the last error set; the caller holds the mutex.
SocketEntry* FindSocket(SOCKET s) {
  WinsockState& state = Winsock();
  if (state.startups == 0) {
    t_lastError = WSANOTINITIALISED;
    return nullptr;
  }
  auto it = state.sockets.find(s);
  if (it == state.sockets.end()) {
    t_lastError = WSAENOTSOCK;
    return nullptr;
  }
  return &it->second;
}

void SetSelection(SocketEntry& entry, HWND window, UINT message, LONG events, DWORD thread) {
  WinsockState& state = Winsock();
  if (entry.events != 0) --state.selectedCount;
  entry.window = window;
  entry.message = message;
  entry.events = events;
  entry.thread = thread;
  if (events != 0) ++state.selectedCount;
}

// Lists a selected socket for the next pass over changed sockets; the caller holds the mutex.
void MarkChanged(SOCKET s, SocketEntry& entry) {
  if (entry.events == 0 || entry.changed) return;
  entry.changed = true;
  Winsock().changed.push_back(s);
}

struct PendingPost {
  HWND window;
  UINT message;
  SOCKET socket;
  LPARAM reply;
};

// Polls the sockets once and collects the events that have become due on them; the caller holds
// the mutex and posts what is collected after letting it go.
void CollectDueEvents(const std::vector<SOCKET>& selected, std::vector<PendingPost>* posts) {
  WinsockState& state = Winsock();
  if (selected.empty()) return;
  std::vector<host::SocketReadiness> readiness;
  readiness.reserve(selected.size());
  for (SOCKET s : selected) readiness.push_back({state.sockets[s].descriptor, false, false, false, false});
  host::PollSockets(readiness.data(), static_cast<int>(readiness.size()), 0);
  state.readinessChecks += selected.size();

  for (size_t i = 0; i < selected.size(); ++i) {
    SocketEntry& entry = state.sockets[selected[i]];
    const host::SocketReadiness& ready = readiness[i];
    const int descriptor = entry.descriptor;
    auto post = [&](int event, int error) {
      if (entry.events & event)
        posts->push_back({entry.window, entry.message, selected[i], WSAMAKESELECTREPLY(event, error)});
    };

    if (entry.listening) {
      if (entry.acceptPaused && GetTickCount() - entry.acceptFailedAt >= kAcceptRetryMilliseconds) {
        entry.acceptPaused = false;
        entry.acceptArmed = true;
      }
      if (ready.readable && entry.acceptArmed && (entry.events & FD_ACCEPT)) {
        entry.acceptArmed = false;
        post(FD_ACCEPT, 0);
      }
      continue;
    }
    if (entry.connecting) {
      if (!ready.writable && !ready.failed && !ready.peerClosed) continue;
      int error = host::TakeSocketError(descriptor);
      entry.connecting = false;
      post(FD_CONNECT, error);
      if (error != 0) {
        entry.closePosted = true;  // A connection that never was is not closed again.
        continue;
      }
      entry.connected = true;
      entry.writeArmed = true;
    }
    if (!entry.connected) continue;

    // Data left over from before a close is announced ahead of the close.
    if (ready.readable && entry.readArmed && (entry.events & FD_READ) && host::SocketBytesAvailable(descriptor) > 0) {
      entry.readArmed = false;
      post(FD_READ, 0);
    }
    if ((ready.peerClosed || ready.failed) && !entry.closePosted && (entry.events & FD_CLOSE)) {
      int error = ready.failed ? host::TakeSocketError(descriptor) : 0;
      if (ready.failed && error == 0) error = WSAECONNRESET;
      entry.closePosted = true;
      post(FD_CLOSE, error);
    }
    if (ready.writable && !ready.failed && entry.writeArmed && (entry.events & FD_WRITE)) {
      entry.writeArmed = false;
      post(FD_WRITE, 0);
    }
  }
}

void PostAll(const std::vector<PendingPost>& posts) {
  for (const PendingPost& post : posts)
    PostMessageA(post.window, post.message, static_cast<WPARAM>(post.socket), post.reply);
}

}  // namespace

void PollChangedSockets() {
  WinsockState& state = Winsock();
  if (state.selectedCount.load() == 0) return;
  const DWORD thread = GetCurrentThreadId();
  std::vector<PendingPost> posts;
  {
    Lock lock(state.mutex);
    if (state.changed.empty()) return;
    // Sockets of other threads stay listed for their own thread's pass; closed ones drop out.
    std::vector<SOCKET> mine;
    std::vector<SOCKET> others;
    for (SOCKET s : state.changed) {
      auto it = state.sockets.find(s);
      if (it == state.sockets.end() || !it->second.changed) continue;
      if (it->second.events == 0) {
        it->second.changed = false;
      } else if (it->second.thread == thread) {
        it->second.changed = false;
        mine.push_back(s);
      } else {
        others.push_back(s);
      }
    }
    state.changed.swap(others);
    CollectDueEvents(mine, &posts);
  }
  PostAll(posts);
}

void PollSelectedSockets() {
  WinsockState& state = Winsock();
  if (state.selectedCount.load() == 0) return;
  const DWORD thread = GetCurrentThreadId();
  std::vector<PendingPost> posts;
  {
    Lock lock(state.mutex);
    std::vector<SOCKET> selected;
    for (auto& [s, entry] : state.sockets)
      if (entry.events != 0 && entry.thread == thread) selected.push_back(s);
    CollectDueEvents(selected, &posts);
  }
  PostAll(posts);
}

int HostDescriptorOf(SOCKET s) {
  Lock lock(Winsock().mutex);
  auto it = Winsock().sockets.find(s);
  return it == Winsock().sockets.end() ? -1 : it->second.descriptor;
}

}  // namespace platform

namespace platform::testing {

uint64_t SocketReadinessChecks() {
  Lock lock(Winsock().mutex);
  return Winsock().readinessChecks;
}

}  // namespace platform::testing

using namespace platform;

int WSAStartup(WORD versionRequested, LPWSADATA data) {
  if (!data) return WSAEFAULT;
  if ((versionRequested & 0xFF) < 1) return WSAVERNOTSUPPORTED;
  const WORD highest = MAKEWORD(2, 2);
  const int major = versionRequested & 0xFF;
  const int minor = versionRequested >> 8;
  const WORD granted = major > 2 || (major == 2 && minor > 2) ? highest : versionRequested;
  *data = WSADATA{};
  data->wVersion = granted;
  data->wHighVersion = highest;
  const char description[] = "WinSock 2.2";
  for (size_t i = 0; i < sizeof(description); ++i) data->szDescription[i] = description[i];
  data->szSystemStatus[0] = 'R';
  data->szSystemStatus[1] = 0;
  Lock lock(Winsock().mutex);
  ++Winsock().startups;
  return 0;
}

int WSACleanup() {
  WinsockState& state = Winsock();
  Lock lock(state.mutex);
  if (state.startups == 0) return Fail(WSANOTINITIALISED);
  // The last clean-up closes every socket still open.
  if (--state.startups == 0) {
    for (auto& [s, entry] : state.sockets) host::CloseSocket(entry.descriptor);
    state.sockets.clear();
    state.selectedCount = 0;
  }
  return 0;
}

int WSAGetLastError() { return t_lastError; }
void WSASetLastError(int error) { t_lastError = error; }

SOCKET socket(int family, int type, int protocol) {
  WinsockState& state = Winsock();
  Lock lock(state.mutex);
  if (state.startups == 0) {
    t_lastError = WSANOTINITIALISED;
    return INVALID_SOCKET;
  }
  if (family != AF_INET && family != AF_INET6) {
    t_lastError = WSAEAFNOSUPPORT;
    return INVALID_SOCKET;
  }
  int descriptor = host::OpenSocket(family, type, protocol);
  if (descriptor < 0) {
    t_lastError = -descriptor;
    return INVALID_SOCKET;
  }
  SOCKET s = state.nextSocket;
  state.nextSocket += 4;
  state.sockets[s].descriptor = descriptor;
  return s;
}

int bind(SOCKET s, const sockaddr* name, int nameLength) {
  Lock lock(Winsock().mutex);
  SocketEntry* entry = FindSocket(s);
  if (!entry) return SOCKET_ERROR;
  int result = host::BindSocket(entry->descriptor, name, nameLength);
  return result < 0 ? Fail(-result) : 0;
}

int listen(SOCKET s, int backlog) {
  Lock lock(Winsock().mutex);
  SocketEntry* entry = FindSocket(s);
  if (!entry) return SOCKET_ERROR;
  int result = host::ListenSocket(entry->descriptor, backlog);
  if (result < 0) return Fail(-result);
  entry->listening = true;
  return 0;
}

int connect(SOCKET s, const sockaddr* name, int nameLength) {
  Lock lock(Winsock().mutex);
  SocketEntry* entry = FindSocket(s);
  if (!entry) return SOCKET_ERROR;
  const bool nonBlocking = entry->nonBlocking;
  const int descriptor = entry->descriptor;
  lock.unlock();  // A blocking connect must not hold up the other threads' sockets.
  int result = host::ConnectSocket(descriptor, name, nameLength);
  lock.lock();
  entry = FindSocket(s);
  if (!entry) return SOCKET_ERROR;
  if (nonBlocking && (result == 0 || result == -WSAEWOULDBLOCK)) {
    // Even a connection made at once is announced by FD_CONNECT, as the platform does.
    entry->connecting = true;
    MarkChanged(s, *entry);
    return result == 0 ? 0 : Fail(WSAEWOULDBLOCK);
  }
  if (result < 0) return Fail(-result);
  entry->connected = true;
  entry->writeArmed = true;
  return 0;
}

SOCKET accept(SOCKET s, sockaddr* address, int* addressLength) {
  WinsockState& state = Winsock();
  Lock lock(state.mutex);
  SocketEntry* listener = FindSocket(s);
  if (!listener) return INVALID_SOCKET;
  if (address && !addressLength) {
    t_lastError = WSAEFAULT;
    return INVALID_SOCKET;
  }
  const bool nonBlocking = listener->nonBlocking;
  const int listening = listener->descriptor;
  lock.unlock();
  int descriptor = host::AcceptSocket(listening, address, addressLength);
  lock.lock();
  listener = FindSocket(s);
  if (listener) {
    const int error = descriptor < 0 ? -descriptor : 0;
    if (error == WSAEMFILE || error == WSAENOBUFS) {
      listener->acceptPaused = true;
      listener->acceptFailedAt = GetTickCount();
    } else {
      listener->acceptArmed = true;
      MarkChanged(s, *listener);
    }
  }
  if (descriptor < 0) {
    t_lastError = -descriptor;
    return INVALID_SOCKET;
  }
  SOCKET accepted = state.nextSocket;
  state.nextSocket += 4;
  SocketEntry entry;
  entry.descriptor = descriptor;
  entry.connected = true;
  entry.writeArmed = true;
  // The new socket takes over the listening socket's selection and mode.
  if (listener) {
    entry.nonBlocking = nonBlocking;
    if (nonBlocking) host::SetSocketNonBlocking(descriptor, true);
    state.sockets[accepted] = entry;
    SetSelection(state.sockets[accepted], listener->window, listener->message, listener->events, listener->thread);
    MarkChanged(accepted, state.sockets[accepted]);
  } else {
    state.sockets[accepted] = entry;
  }
  return accepted;
}

int recv(SOCKET s, char* buffer, int length, int flags) {
  Lock lock(Winsock().mutex);
  SocketEntry* entry = FindSocket(s);
  if (!entry) return SOCKET_ERROR;
  if ((flags & ~MSG_PEEK) != 0) return Fail(WSAEOPNOTSUPP);
  if (length < 0 || (!buffer && length > 0)) return Fail(WSAEFAULT);
  const int descriptor = entry->descriptor;
  lock.unlock();
  int result = host::ReceiveSocket(descriptor, buffer, length, (flags & MSG_PEEK) != 0);
  lock.lock();
  if ((entry = FindSocket(s))) {
    entry->readArmed = true;
    MarkChanged(s, *entry);
  }
  return result < 0 ? Fail(-result) : result;
}

int send(SOCKET s, const char* buffer, int length, int flags) {
  Lock lock(Winsock().mutex);
  SocketEntry* entry = FindSocket(s);
  if (!entry) return SOCKET_ERROR;
  if (flags != 0) return Fail(WSAEOPNOTSUPP);
  if (length < 0 || (!buffer && length > 0)) return Fail(WSAEFAULT);
  const int descriptor = entry->descriptor;
  lock.unlock();
  int result = host::SendSocket(descriptor, buffer, length);
  lock.lock();
  // A send that found the buffer full, wholly or in part, earns an FD_WRITE once there is room.
  if ((entry = FindSocket(s)) && (result == -WSAEWOULDBLOCK || (result >= 0 && result < length)))
    entry->writeArmed = true;
  return result < 0 ? Fail(-result) : result;
}

int shutdown(SOCKET s, int how) {
  Lock lock(Winsock().mutex);
  SocketEntry* entry = FindSocket(s);
  if (!entry) return SOCKET_ERROR;
  if (how < SD_RECEIVE || how > SD_BOTH) return Fail(WSAEINVAL);
  int result = host::ShutdownSocket(entry->descriptor, how);
  return result < 0 ? Fail(-result) : 0;
}

int closesocket(SOCKET s) {
  WinsockState& state = Winsock();
  Lock lock(state.mutex);
  SocketEntry* entry = FindSocket(s);
  if (!entry) return SOCKET_ERROR;
  SetSelection(*entry, nullptr, 0, 0, 0);
  const int descriptor = entry->descriptor;
  state.sockets.erase(s);
  int result = host::CloseSocket(descriptor);
  return result < 0 ? Fail(-result) : 0;
}

int ioctlsocket(SOCKET s, LONG command, ULONG* argument) {
  Lock lock(Winsock().mutex);
  SocketEntry* entry = FindSocket(s);
  if (!entry) return SOCKET_ERROR;
  if (!argument) return Fail(WSAEFAULT);
  if (command == FIONBIO) {
    // A selected socket cannot go back to blocking.
    if (*argument == 0 && entry->events != 0) return Fail(WSAEINVAL);
    int result = host::SetSocketNonBlocking(entry->descriptor, *argument != 0);
    if (result < 0) return Fail(-result);
    entry->nonBlocking = *argument != 0;
    return 0;
  }
  if (command == FIONREAD) {
    int available = host::SocketBytesAvailable(entry->descriptor);
    if (available < 0) return Fail(-available);
    *argument = static_cast<ULONG>(available);
    return 0;
  }
  return Fail(WSAEINVAL);
}

int getpeername(SOCKET s, sockaddr* name, int* nameLength) {
  Lock lock(Winsock().mutex);
  SocketEntry* entry = FindSocket(s);
  if (!entry) return SOCKET_ERROR;
  if (!name || !nameLength) return Fail(WSAEFAULT);
  int result = host::SocketPeerName(entry->descriptor, name, nameLength);
  return result < 0 ? Fail(-result) : 0;
}

int getsockname(SOCKET s, sockaddr* name, int* nameLength) {
  Lock lock(Winsock().mutex);
  SocketEntry* entry = FindSocket(s);
  if (!entry) return SOCKET_ERROR;
  if (!name || !nameLength) return Fail(WSAEFAULT);
  int result = host::SocketName(entry->descriptor, name, nameLength);
  return result < 0 ? Fail(-result) : 0;
}

int WSAAsyncSelect(SOCKET s, HWND window, UINT message, LONG events) {
  // Asked before the lock: the window's thread is USER's to tell.
  const DWORD thread = window ? GetWindowThreadProcessId(window, nullptr) : 0;
  Lock lock(Winsock().mutex);
  SocketEntry* entry = FindSocket(s);
  if (!entry) return SOCKET_ERROR;
  if (events != 0 && thread == 0) return Fail(WSAEINVAL);
  int result = host::SetSocketNonBlocking(entry->descriptor, true);
  if (result < 0) return Fail(-result);
  entry->nonBlocking = true;
  SetSelection(*entry, window, message, events, thread);
  // A new selection reports what already holds: waiting data, a pending connection, room to write.
  entry->readArmed = true;
  entry->acceptArmed = true;
  entry->acceptPaused = false;
  entry->writeArmed = entry->connected;
  MarkChanged(s, *entry);
  return 0;
}

USHORT htons(USHORT value) { return static_cast<USHORT>((value >> 8) | (value << 8)); }
USHORT ntohs(USHORT value) { return htons(value); }
ULONG htonl(ULONG value) { return __builtin_bswap32(value); }
ULONG ntohl(ULONG value) { return htonl(value); }
