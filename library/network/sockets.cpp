// Network handles: accept, framed receive and send through the handles' rings, close, the socket
// message handler, the pump and shut-down.
//
// The peer's length word is not trusted: a negative length or one above NETWORK_LARGEST_MESSAGE
// breaks the handle before any ring space is reserved, each recv is bounded by the ring's free
// space, and a length of 0 is a complete empty message.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "network/network_services.h"
#include "runtime/runtime_services.h"
#include "zyvel/runtime.h"

NetworkState g_network;

namespace {

constexpr int kDrainMilliseconds = 1000;

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

// Keeps the message handler from re-entering a handle's receive or send while it pumps messages.
// The guard is the handle's own: a guard shared by all handles would swallow another handle's
// event, and with it the only notice that its data has come.
// The flags live beside the table, not in the record, which a pump may free.
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

// Receives what has arrived of the current message into the ring; the bytes taken, or -1 once the
// socket has nothing more to give now.
int ReceiveMessageBytes(SocketRecord* record) {
  ByteRing& ring = record->receiveRing;
  int received = 0;
  while (record->incomingRemaining > 0) {
    int room = ContiguousRoom(&ring);
    int want = record->incomingRemaining < room ? record->incomingRemaining : room;
    if (want <= 0) break;
    int got = recv(record->socket, reinterpret_cast<char*>(ring.data + ring.writePos), want, 0);
    if (got <= 0) return received > 0 ? received : -1;
    ring.writePos += got;
    ring.stored += got;
    record->incomingRemaining -= got;
    received += got;
    if (got < want) break;
  }
  return received;
}

void FreeSocketRecord(SocketRecord* record, int slot) {
  UnlinkHandleChain(&record->node);
  FreeByteRing(&record->receiveRing);
  FreeByteRing(&record->sendRing);
  g_network.handles[slot] = nullptr;
  ZV_FREE(record);
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
  PumpNetworkMessages(0);

  int slot = 0;
  while (slot < NETWORK_ACCEPT_SLOTS && state.handles[slot]) ++slot;
  if (slot == NETWORK_ACCEPT_SLOTS) {
    AddLogText("空きソケットデータがなかったので accept を拒否しました \n");
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
  LinkHandleChain(&state.chainHead, &record->node, MakeHandleWord(slot, state.nextCheckCount, HANDLE_KIND_NETWORK),
                  record);
  state.handles[slot] = record;
  ++state.handleCount;

  sockaddr_in6 peer{};
  int peerLength = sizeof(peer);
  record->socket = accept(state.listenSocket->socket, reinterpret_cast<sockaddr*>(&peer), &peerLength);
  bool failed = record->socket == INVALID_SOCKET;
  if (failed) {
    LogNetworkError("acceptに失敗しました");
  } else {
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
  state.nextCheckCount = (state.nextCheckCount + 1) % HANDLE_CHECK_COUNT_LIMIT;
  return 1;
}

int RecvSocket(int handle) {
  SocketRecord* record = LookUpSocket(handle);
  if (!record || record->isUdp) return -1;
  ReentryGuard guard(g_receiving[HandleSlotOf(handle)]);
  if (!guard.Entered()) return -1;
  PumpNetworkMessages(0);
  if (!(record = LookUpSocket(handle))) return -1;
  if (!record->inUse) {
    AddLogText("有効なネットワークハンドルではありません in RecvSocket\n");
    return -1;
  }
  if (record->error) {
    AddLogText("このネットワークハンドルにはエラーが発生しています in RecvSocket\n");
    return -1;
  }
  if (!record->framed) return 0;

  // Whole messages are drained until the socket has nothing more: the loop ends only on a recv
  // that found nothing, so the read event is armed again for whatever comes next. A length that
  // has arrived in part is taken out of the socket and kept: left there, every receive would leave
  // data behind and earn another read event, and the pump would never run dry.
  for (;;) {
    int received = 0;
    if (record->incomingRemaining == 0) {
      const int want = 4 - record->incomingPrefixBytes;
      char* next = reinterpret_cast<char*>(record->incomingPrefix + record->incomingPrefixBytes);
      const int got = recv(record->socket, next, want, 0);
      if (got <= 0) break;
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
      }
    }
    if (record->incomingRemaining > 0) {
      int got = ReceiveMessageBytes(record);
      if (got > 0) {
        received += got;
        if (record->incomingRemaining == 0) record->completeBytes += record->incomingSize;
      }
    }
    // The last recv found nothing and re-armed the read event; a pump now could hand that event to
    // the guard above.
    if (received == 0) break;
    PumpNetworkMessages(0);
    if (!(record = LookUpSocket(handle))) return 0;
  }
  return 0;
}

int SendSocket(int handle) {
  SocketRecord* record = LookUpSocket(handle);
  if (!record || record->isUdp) return -1;
  ReentryGuard guard(g_sending[HandleSlotOf(handle)]);
  if (!guard.Entered()) return -1;
  PumpNetworkMessages(0);
  if (!(record = LookUpSocket(handle))) return -1;
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
      if (sent < 0) break;
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
    // A send that found no room has re-armed the write event: pumping now could hand that event
    // to the guard above and lose it.
    if (!whole) break;
    PumpNetworkMessages(0);
    if (!(record = LookUpSocket(handle))) return 0;
  }
  return 0;
}

int CloseNetWork(int handle) {
  SocketRecord* record = LookUpSocket(handle);
  if (!record || record->isUdp || !record->inUse) return -1;
  PumpNetworkMessages(0);
  if (!(record = LookUpSocket(handle))) return -1;

  // A broken handle, a closed peer or a gone window ends the drains early: no more can come.
  int start = GetMillisecondCount();
  while (record->framed && record->incomingRemaining > 0 && GetMillisecondCount() - start < kDrainMilliseconds) {
    const int peerClosed = record->peerClosed;
    if (RecvSocket(handle) != 0 || peerClosed || g_network.windowGone) break;
    if (!(record = LookUpSocket(handle))) return -1;
  }
  if (!(record = LookUpSocket(handle))) return -1;
  start = GetMillisecondCount();
  while (record->framed && (record->sendRing.stored > 0 || record->prefixPending > 0) && record->connected &&
         GetMillisecondCount() - start < kDrainMilliseconds) {
    if (SendSocket(handle) != 0 || g_network.windowGone) break;
    if (!(record = LookUpSocket(handle))) return -1;
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
  if (closeFinished) {
    // Closing pumps messages, which may change the chain: collect first, then close.
    std::vector<int> finished;
    for (HandleChainNode* node = state.chainHead.next; node && node != &state.chainTail; node = node->next) {
      auto* record = static_cast<SocketRecord*>(node->data);
      if (record && record->inUse && !record->isUdp && (record->error || (record->peerClosed && record->autoClose)))
        finished.push_back(node->handle);
    }
    for (int handle : finished) CloseNetWork(handle);
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
  SocketRecord* record = nullptr;
  for (HandleChainNode* node = state.chainHead.next; node && node != &state.chainTail; node = node->next) {
    auto* candidate = static_cast<SocketRecord*>(node->data);
    if (candidate && candidate->socket == socket) {
      record = candidate;
      break;
    }
  }
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
      RecvSocket(handle);
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
      record->connected = 0;
      record->closing = 0;
      record->peerClosed = 1;
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
  for (int slot = 0; slot < NETWORK_HANDLE_TABLE_SIZE; ++slot) {
    SocketRecord* record = state.handles[slot];
    if (!record) continue;
    if (record->isUdp) {
      CloseUdpSocket(record->node.handle);
    } else {
      CloseNetWork(record->node.handle);
    }
  }
  if (state.networkWindow) PostMessageA(state.networkWindow, WM_CLOSE, 0, 0);
  PumpNetworkMessages(0);
  std::memset(state.handles, 0, sizeof(state.handles));
  state.handleCount = 0;
  WSACleanup();
  AddLogText("ネットワーク関連の終了処理は完了しました\n");
  // A second shut-down finds nothing to end.
  state.initialised = 0;
  return 0;
}
