// Network handles: accept, framed receive and send through the handles' rings, close, the socket
// message handler, the pump and shut-down.
//
// The peer's length word is not trusted: a negative length or one above NETWORK_LARGEST_MESSAGE
// breaks the handle before any ring space is reserved, each recv is bounded by the ring's free
// space, and a length of 0 is a complete empty message.
//
// Nor is the peer's pace: a handle is read at most once per pump call, within a message and a
// byte budget, and not at all while its ring holds NETWORK_RECEIVE_RING_BOUND unread bytes. No
// socket operation pumps messages itself, so one pump call does work in proportion to the events
// it finds: accepting N connections costs O(N), and the socket of an event is found through a
// table, not by walking the chain.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "network/network_services.h"
#include "platform/kernel.h"
#include "runtime/runtime_services.h"
#include "zyvel/runtime.h"

NetworkState g_network;

namespace {

constexpr int kDrainMilliseconds = 1000;

// The slot of each accepted socket; an entry counts only while that slot still holds the socket.
std::unordered_map<SOCKET, int> g_slotOfSocket;

// The record of a valid network handle, or null.
SocketRecord* LookUpSocket(int handle) {
  NetworkState& state = g_network;
  if (!state.initialised || handle < 0 || HandleKindOf(handle) != HANDLE_KIND_NETWORK) return nullptr;
  const int slot = HandleSlotOf(handle);
  if (slot >= NETWORK_HANDLE_TABLE_SIZE) return nullptr;
  SocketRecord* record = state.handles[slot];
  if (!record || record->checkCount != HandleCheckCountOf(handle)) return nullptr;
  return record;
}

// A send that failed for any reason but a full buffer found the connection gone, as FD_CLOSE would
// report later: the close drain stops on it.
void NoteSendFailure(SocketRecord* record) {
  if (WSAGetLastError() != WSAEWOULDBLOCK) record->connected = 0;
}

// Keeps a handle's receive or send from being entered again while it runs. The guard is the
// handle's own: a guard shared by all handles would swallow another handle's event, and with it
// the only notice that its data has come. The flags live beside the table, not in the record,
// which may be freed meanwhile.
int g_receiving[NETWORK_HANDLE_TABLE_SIZE];
int g_sending[NETWORK_HANDLE_TABLE_SIZE];

class ReentryGuard {
 public:
  explicit ReentryGuard(int& flag) : flag_(flag), entered_(!flag) {
    if (entered_) flag_ = 1;
  }
  ~ReentryGuard() {
    if (entered_) flag_ = 0;
  }
  bool Entered() const { return entered_; }

 private:
  int& flag_;
  bool entered_;
};

// Contiguous free bytes of the ring from its write position.
int ContiguousRoom(ByteRing* ring) {
  NormalizeByteRing(ring);
  if (ring->stored >= ring->capacity) return 0;
  return ring->writePos >= ring->readPos ? ring->capacity - ring->writePos : ring->readPos - ring->writePos;
}

void MarkPeerClosed(SocketRecord* record) {
  record->connected = 0;
  record->closing = 0;
  record->peerClosed = 1;
}

// A recv that found the stream ended (or broken) marks the peer closed at once, as FD_CLOSE would
// later: the close drains, which do not pump, stop on it.
void NoteReceiveResult(SocketRecord* record, int got) {
  if (got > 0 || (got < 0 && WSAGetLastError() == WSAEWOULDBLOCK)) return;
  MarkPeerClosed(record);
}

// Receives what has arrived of the current message into the ring, at most `limit` bytes; the
// bytes taken.
int ReceiveMessageBytes(SocketRecord* record, int limit) {
  ByteRing& ring = record->receiveRing;
  int received = 0;
  while (record->incomingRemaining > 0 && received < limit) {
    int room = ContiguousRoom(&ring);
    int want = record->incomingRemaining < room ? record->incomingRemaining : room;
    if (want > limit - received) want = limit - received;
    if (want <= 0) break;
    int got = recv(record->socket, reinterpret_cast<char*>(ring.data + ring.writePos), want, 0);
    if (got <= 0) {
      NoteReceiveResult(record, got);
      break;
    }
    ring.writePos += got;
    ring.stored += got;
    record->incomingRemaining -= got;
    received += got;
    if (got < want) break;
  }
  return received;
}

void MarkReadOwed(SocketRecord* record) {
  record->readOwed = 1;
  g_network.readsOwed = 1;
}

// The record of a socket that an event names, or null.
SocketRecord* FindSocketRecord(SOCKET socket) {
  NetworkState& state = g_network;
  if (state.listenSocket && state.listenSocket->socket == socket) return state.listenSocket;
  auto found = g_slotOfSocket.find(socket);
  if (found != g_slotOfSocket.end()) {
    SocketRecord* record = state.handles[found->second];
    if (record && record->socket == socket) return record;
  }
  // Records that did not come through AcceptNetWork are found the slow way.
  for (HandleChainNode* node = state.chainHead.next; node && node != &state.chainTail; node = node->next) {
    auto* candidate = static_cast<SocketRecord*>(node->data);
    if (candidate && candidate->socket == socket) return candidate;
  }
  return nullptr;
}

void FreeSocketRecord(SocketRecord* record, int slot) {
  NetworkState& state = g_network;
  UnlinkHandleChain(&record->node);
  FreeByteRing(&record->receiveRing);
  FreeByteRing(&record->sendRing);
  auto found = g_slotOfSocket.find(record->socket);
  if (found != g_slotOfSocket.end() && found->second == slot) g_slotOfSocket.erase(found);
  state.handles[slot] = nullptr;
  ZV_FREE(record);
  if (slot < state.freeSlotHint) state.freeSlotHint = slot;
  // The FD_ACCEPT that found the table full was never answered by an accept, which alone would
  // announce the waiting connections again: selecting anew does.
  if (state.acceptRefused && state.listenSocket && state.networkWindow) {
    state.acceptRefused = 0;
    WSAAsyncSelect(state.listenSocket->socket, state.networkWindow, NETWORK_SOCKET_MESSAGE, FD_ACCEPT);
  }
}

// Milliseconds since `start` on the millisecond clock, which counts in 31 bits and wraps: the
// difference is taken unsigned and kept to the clock's width, so it stays right across the wrap.
int MillisecondsSince(int start) {
  const uint32_t difference = static_cast<uint32_t>(GetMillisecondCount()) - static_cast<uint32_t>(start);
  return static_cast<int>(difference & 0x7FFFFFFFu);
}

// Closes a TCP handle after draining it. Each drain gives up at its deadline, `drainStart` plus a
// second; a negative `drainStart` gives each drain a second from when it begins. Every drain
// makes one attempt even past its deadline, so what has already arrived is still taken.
int CloseDrained(int handle, int drainStart) {
  SocketRecord* record = LookUpSocket(handle);
  if (!record || record->isUdp || !record->inUse) return -1;

  // A broken handle, a closed peer or a gone window ends the drains early: no more can come.
  int start = drainStart >= 0 ? drainStart : GetMillisecondCount();
  for (bool first = true;
       record->framed && record->incomingRemaining > 0 && (first || MillisecondsSince(start) < kDrainMilliseconds);
       first = false) {
    const int missing = record->incomingRemaining;
    const int peerClosed = record->peerClosed;
    if (RecvSocket(handle) != 0 || peerClosed || g_network.windowGone) break;
    if (!(record = LookUpSocket(handle))) return -1;
    if (record->incomingRemaining == missing) Sleep(1);  // Nothing came: wait rather than spin.
  }
  if (!(record = LookUpSocket(handle))) return -1;
  if (drainStart < 0) start = GetMillisecondCount();
  for (bool first = true; record->framed && (record->sendRing.stored > 0 || record->prefixPending > 0) &&
                          record->connected && (first || MillisecondsSince(start) < kDrainMilliseconds);
       first = false) {
    const int queued = record->sendRing.stored + record->prefixPending;
    if (SendSocket(handle) != 0 || g_network.windowGone) break;
    if (!(record = LookUpSocket(handle))) return -1;
    if (record->sendRing.stored + record->prefixPending == queued) Sleep(1);
  }
  if (!(record = LookUpSocket(handle))) return -1;

  WSAAsyncSelect(record->socket, g_network.networkWindow, 0, 0);
  closesocket(record->socket);
  record->inUse = 0;
  record->connected = 0;
  record->closing = 1;
  FreeSocketRecord(record, HandleSlotOf(handle));
  --g_network.handleCount;
  return 0;
}

}  // namespace

int LogNetworkError(const char* format, ...) {
  char text[1024];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof(text), format, arguments);
  va_end(arguments);
  WriteLogFormat("ネットワークログ。%s[%d]", text, WSAGetLastError());
  return -1;
}

int AcceptNetWork() {
  NetworkState& state = g_network;
  if (!state.initialised || !state.listenSocket) return -1;

  int slot = state.freeSlotHint < 0 ? 0 : state.freeSlotHint;
  while (slot < NETWORK_ACCEPT_SLOTS && state.handles[slot]) ++slot;
  state.freeSlotHint = slot;
  if (slot == NETWORK_ACCEPT_SLOTS) {
    AddLogText("空きソケットデータがなかったので accept を拒否しました \n");
    state.acceptRefused = 1;
    return -1;
  }
  auto* record = static_cast<SocketRecord*>(ZV_ALLOC_ZEROED(sizeof(SocketRecord)));
  if (!record) {
    AddLogText("ソケット用のメモリの確保に失敗しました\n");
    return -1;
  }
  record->inUse = 1;
  record->connected = 1;
  record->framed = state.noFraming ? 0 : 1;
  record->autoClose = state.keepAfterPeerClose ? 0 : 1;
  record->checkCount = state.nextCheckCount;
  record->socket = INVALID_SOCKET;
  record->readInPump = state.pumpCalls - 1;
  LinkHandleChain(&state.chainHead, &record->node, MakeHandleWord(slot, state.nextCheckCount, HANDLE_KIND_NETWORK),
                  record);
  state.handles[slot] = record;
  ++state.handleCount;

  sockaddr_in6 peer{};
  int peerLength = sizeof(peer);
  record->socket = accept(state.listenSocket->socket, reinterpret_cast<sockaddr*>(&peer), &peerLength);
  bool failed = record->socket == INVALID_SOCKET;
  if (failed) {
    // Out of descriptors, every retry fails alike: one line says it.
    if (!state.acceptFailing) LogNetworkError("acceptに失敗しました");
    state.acceptFailing = 1;
  } else {
    state.acceptFailing = 0;
    record->peerPort = peer.sin6_port;  // Both address layouts keep the port at the same place.
    if (peer.sin6_family == AF_INET) {
      record->peerAddress = reinterpret_cast<const sockaddr_in*>(&peer)->sin_addr.S_un.S_addr;
    } else {
      // An IPv4 peer reaching an IPv6 socket arrives as ::ffff:a.b.c.d.
      static const UCHAR kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
      if (std::memcmp(peer.sin6_addr.u.Byte, kMappedPrefix, sizeof(kMappedPrefix)) == 0)
        std::memcpy(&record->peerAddress, peer.sin6_addr.u.Byte + 12, 4);
    }
    const LONG events = FD_READ | FD_WRITE | FD_CLOSE;
    if (WSAAsyncSelect(record->socket, state.networkWindow, NETWORK_SOCKET_MESSAGE, events) != 0) {
      LogNetworkError("WSAAsyncSelectのエラー in AcceptNetWork");
      failed = true;
    }
  }
  if (failed) {
    if (record->socket != INVALID_SOCKET) closesocket(record->socket);
    FreeSocketRecord(record, slot);
    --state.handleCount;
    return -1;
  }
  g_slotOfSocket[record->socket] = slot;
  state.nextCheckCount = (state.nextCheckCount + 1) % HANDLE_CHECK_COUNT_LIMIT;
  return 1;
}

int RecvSocket(int handle) {
  SocketRecord* record = LookUpSocket(handle);
  if (!record || record->isUdp) return -1;
  ReentryGuard guard(g_receiving[HandleSlotOf(handle)]);
  if (!guard.Entered()) return -1;
  if (!record->inUse) {
    AddLogText("有効なネットワークハンドルではありません in RecvSocket\n");
    return -1;
  }
  if (record->error) {
    AddLogText("このネットワークハンドルにはエラーが発生しています in RecvSocket\n");
    return -1;
  }
  if (!record->framed) return 0;
  record->readOwed = 0;
  record->readInPump = g_network.pumpCalls;

  // Whole messages are taken until the socket has nothing more, the budget is spent or the ring
  // is full; in the last two cases the pump comes back for the rest. A length that has arrived in
  // part is taken out of the socket and kept: left there, every receive would leave data behind
  // and earn another read event.
  int messages = 0;
  int bytes = 0;
  for (;;) {
    if (record->incomingRemaining == 0 &&
        (messages >= NETWORK_RECEIVE_MESSAGE_BUDGET || bytes >= NETWORK_RECEIVE_BYTE_BUDGET ||
         record->receiveRing.stored >= NETWORK_RECEIVE_RING_BOUND)) {
      MarkReadOwed(record);
      break;
    }
    int received = 0;
    if (record->incomingRemaining == 0) {
      const int want = 4 - record->incomingPrefixBytes;
      char* next = reinterpret_cast<char*>(record->incomingPrefix + record->incomingPrefixBytes);
      const int got = recv(record->socket, next, want, 0);
      if (got <= 0) {
        NoteReceiveResult(record, got);
        break;
      }
      record->incomingPrefixBytes += got;
      received = got;
      if (record->incomingPrefixBytes == 4) {
        const uint8_t* prefix = record->incomingPrefix;
        const uint32_t word = static_cast<uint32_t>(prefix[0]) | static_cast<uint32_t>(prefix[1]) << 8 |
                              static_cast<uint32_t>(prefix[2]) << 16 | static_cast<uint32_t>(prefix[3]) << 24;
        const int32_t length = static_cast<int32_t>(word);
        record->incomingPrefixBytes = 0;
        if (length < 0 || length > NETWORK_LARGEST_MESSAGE || ReserveByteRing(&record->receiveRing, length) != 0) {
          WriteLogFormat("受信データを保存するリングバッファのリサイズに失敗しました(データサイズ %d byte)", length);
          record->error = 1;
          return -1;
        }
        record->incomingRemaining = record->incomingSize = length;
        if (length == 0) ++messages;
      }
    }
    if (record->incomingRemaining > 0) {
      const int left = NETWORK_RECEIVE_BYTE_BUDGET - bytes - received;
      if (left <= 0) {
        MarkReadOwed(record);
        break;
      }
      const int got = ReceiveMessageBytes(record, left);
      received += got;
      if (got > 0 && record->incomingRemaining == 0) {
        record->completeBytes += record->incomingSize;
        ++messages;
      }
    }
    if (received == 0) break;
    bytes += received;
  }
  return 0;
}

int SendSocket(int handle) {
  SocketRecord* record = LookUpSocket(handle);
  if (!record || record->isUdp) return -1;
  ReentryGuard guard(g_sending[HandleSlotOf(handle)]);
  if (!guard.Entered()) return -1;
  if (!record->inUse) {
    AddLogText("有効なネットワークハンドルではありません in SendSocket\n");
    return -1;
  }
  if (record->error) {
    AddLogText("このネットワークハンドルにはエラーが発生しています in SendSocket\n");
    return -1;
  }
  if (!record->framed) return 0;

  ByteRing& ring = record->sendRing;
  while (ring.stored > 0 || record->prefixPending > 0) {
    if (record->prefixPending == 0 && record->outgoingRemaining == 0) {
      // Everything queued so far is the next message.
      record->outgoingRemaining = ring.stored;
      const uint32_t length = static_cast<uint32_t>(ring.stored);
      for (int i = 0; i < 4; ++i) record->outgoingPrefix[i] = static_cast<uint8_t>(length >> (8 * i));
      record->prefixPending = 4;
    }
    if (record->prefixPending > 0) {
      int sent = send(record->socket, reinterpret_cast<const char*>(record->outgoingPrefix + 4 - record->prefixPending),
                      record->prefixPending, 0);
      if (sent < 0) {
        NoteSendFailure(record);
        break;
      }
      record->prefixPending -= sent;
      if (record->prefixPending > 0) break;
    }
    bool whole = true;
    while (record->outgoingRemaining > 0) {
      NormalizeByteRing(&ring);
      int piece = ring.capacity - ring.readPos;
      if (piece > record->outgoingRemaining) piece = record->outgoingRemaining;
      int sent = send(record->socket, reinterpret_cast<const char*>(ring.data + ring.readPos), piece, 0);
      if (sent <= 0) {
        if (sent < 0) NoteSendFailure(record);
        whole = false;
        break;
      }
      ring.readPos += sent;
      ring.stored -= sent;
      record->outgoingRemaining -= sent;
      if (sent < piece) {
        whole = false;
        break;
      }
    }
    if (!whole) break;
  }
  return 0;
}

int CloseNetWork(int handle) { return CloseDrained(handle, -1); }

int CloseUdpSocket(int handle) {
  SocketRecord* record = LookUpSocket(handle);
  if (!record || !record->isUdp) return -1;
  WSAAsyncSelect(record->socket, g_network.networkWindow, 0, 0);
  closesocket(record->socket);
  FreeSocketRecord(record, HandleSlotOf(handle));
  --g_network.handleCount;
  return 0;
}

int PumpNetworkMessages(int closeFinished) {
  NetworkState& state = g_network;
  if (!state.initialised) return 0;
  ++state.pumpCalls;
  // Closing and reading change the chain: collect first, then act.
  std::vector<int> handles;
  if (closeFinished) {
    for (HandleChainNode* node = state.chainHead.next; node && node != &state.chainTail; node = node->next) {
      auto* record = static_cast<SocketRecord*>(node->data);
      if (record && record->inUse && !record->isUdp && (record->error || (record->peerClosed && record->autoClose)))
        handles.push_back(node->handle);
    }
    for (int handle : handles) CloseNetWork(handle);
  }
  // What earlier calls left in the sockets comes first: no event will announce it.
  if (state.readsOwed) {
    state.readsOwed = 0;
    handles.clear();
    for (HandleChainNode* node = state.chainHead.next; node && node != &state.chainTail; node = node->next) {
      auto* record = static_cast<SocketRecord*>(node->data);
      if (record && record->readOwed) handles.push_back(node->handle);
    }
    for (int handle : handles) RecvSocket(handle);
  }
  // Without its window the pump would take the whole thread's messages.
  if (!state.networkWindow) return 0;
  MSG msg;
  while (PeekMessageA(&msg, state.networkWindow, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}

int HandleSocketMessage(LPARAM eventWord, SOCKET socket) {
  NetworkState& state = g_network;
  SocketRecord* record = FindSocketRecord(socket);
  if (!record) {
    AddLogText("通信エラー No.1\n");
    return 0;
  }
  const int event = WSAGETSELECTEVENT(eventWord);
  const int error = WSAGETSELECTERROR(eventWord);
  const int handle = record->node.handle;
  if (record->isUdp) {
    if (event == FD_READ) record->udpArrived = 1;
    if (event == FD_WRITE) record->udpCanSend = 1;
    return 1;
  }
  switch (event) {
    case FD_READ:
      // Read once per pump call: a handle the call has read already is left for the next one.
      if (record->readInPump == state.pumpCalls) {
        MarkReadOwed(record);
      } else {
        RecvSocket(handle);
      }
      break;
    case FD_WRITE:
      SendSocket(handle);
      break;
    case FD_ACCEPT:
      return AcceptNetWork();
    case FD_CONNECT:
      if (error == 0) record->connected = 1;
      break;
    case FD_CLOSE:
      MarkPeerClosed(record);
      break;
    default:
      break;
  }
  return 1;
}

int EndNetwork() {
  NetworkState& state = g_network;
  if (!state.initialised) return 0;
  AddLogText("ネットワーク関連の終了処理を行います \n");
  // Every drain ends by one deadline: how long shut-down takes is not in the peers' hands.
  state.acceptRefused = 0;
  const int drainStart = GetMillisecondCount();
  for (int slot = 0; slot < NETWORK_HANDLE_TABLE_SIZE; ++slot) {
    SocketRecord* record = state.handles[slot];
    if (!record) continue;
    if (record->isUdp) {
      CloseUdpSocket(record->node.handle);
    } else {
      CloseDrained(record->node.handle, drainStart);
    }
  }
  if (state.networkWindow) PostMessageA(state.networkWindow, WM_CLOSE, 0, 0);
  PumpNetworkMessages(0);
  std::memset(state.handles, 0, sizeof(state.handles));
  state.handleCount = 0;
  state.freeSlotHint = 0;
  g_slotOfSocket.clear();
  WSACleanup();
  AddLogText("ネットワーク関連の終了処理は完了しました\n");
  // A second shut-down finds nothing to end.
  state.initialised = 0;
  return 0;
}
