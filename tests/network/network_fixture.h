// The network layer started the way a complete program would: WinSock, a hidden network window
// whose procedure hands socket messages to the layer, and a loopback listening socket whose
// FD_ACCEPT reaches AcceptNetWork. The far ends are the test door's blocking sockets; the near
// ends are read and written straight through the handles' rings.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "network/network_services.h"
#include "platform/testing.h"
#include "runtime/handle_table.h"
#include "zyvel/runtime.h"

namespace network_test {

inline LRESULT NetworkWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == NETWORK_SOCKET_MESSAGE) return HandleSocketMessage(lParam, static_cast<SOCKET>(wParam));
  if (message == WM_DESTROY) g_network.windowGone = 1;
  return DefWindowProcA(window, message, wParam, lParam);
}

inline SocketRecord* RecordOf(int handle) {
  if (handle < 0 || HandleSlotOf(handle) >= NETWORK_HANDLE_TABLE_SIZE) return nullptr;
  SocketRecord* record = g_network.handles[HandleSlotOf(handle)];
  return record && record->node.handle == handle ? record : nullptr;
}

// Pumps as the frame loop does until `done` holds; false when `milliseconds` pass first.
inline bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds = 10000) {
  const DWORD start = GetTickCount();
  for (;;) {
    PumpNetworkMessages(1);
    if (done()) return true;
    if (GetTickCount() - start > milliseconds) return false;
    Sleep(1);
  }
}

// Takes `length` bytes of completely received messages out of the receive ring.
inline bool TakeReceived(int handle, int length, std::vector<uint8_t>* bytes) {
  SocketRecord* record = RecordOf(handle);
  if (!record || record->completeBytes < length) return false;
  bytes->assign(static_cast<size_t>(length), 0);
  if (ReadByteRing(&record->receiveRing, bytes->data(), length, 0) != 0) return false;
  record->completeBytes -= length;
  return true;
}

// Queues the bytes as one message and starts sending it.
inline bool QueueMessage(int handle, const std::vector<uint8_t>& bytes) {
  SocketRecord* record = RecordOf(handle);
  if (!record) return false;
  ByteRing& ring = record->sendRing;
  const int length = static_cast<int>(bytes.size());
  if (ReserveByteRing(&ring, length) != 0) return false;
  for (int i = 0; i < length; ++i) {
    NormalizeByteRing(&ring);
    ring.data[ring.writePos++] = bytes[static_cast<size_t>(i)];
    ++ring.stored;
  }
  return SendSocket(handle) == 0;
}

inline std::vector<uint8_t> LengthPrefix(uint32_t length) {
  return {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length >> 16),
          static_cast<uint8_t>(length >> 24)};
}

inline bool WriteVector(SOCKET s, const std::vector<uint8_t>& bytes) {
  return platform::testing::WriteBytes(s, bytes.data(), static_cast<int>(bytes.size()));
}

class NetworkFixture {
 public:
  // Starts the layer; false (with the reason logged by gtest) when loopback is not available.
  bool Start(bool ipv6) {
    ipv6_ = ipv6;
    platform::testing::UseDummyVideoDriver();
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = NetworkWindowProc;
    windowClass.lpszClassName = "ZyvelNetworkTestWindow";
    RegisterClassExA(&windowClass);  // Already registered by an earlier test: fine.
    window_ = CreateWindowExA(0, "ZyvelNetworkTestWindow", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    if (!window_) return false;

    std::memset(&g_network, 0, sizeof(g_network));
    SetupHandleChain(&g_network.chainHead, &g_network.chainTail);
    g_network.networkWindow = window_;
    g_network.initialised = 1;

    listenRecord_ = SocketRecord{};
    listenRecord_.socket = platform::testing::ListenOnLoopback(ipv6, &port_);
    if (listenRecord_.socket == INVALID_SOCKET) return false;
    LinkHandleChain(&g_network.chainHead, &listenRecord_.node, -1, &listenRecord_);
    if (WSAAsyncSelect(listenRecord_.socket, window_, NETWORK_SOCKET_MESSAGE, FD_ACCEPT) != 0) return false;
    g_network.listenSocket = &listenRecord_;
    return true;
  }

  void Stop() {
    if (g_network.listenSocket) {
      UnlinkHandleChain(&listenRecord_.node);
      g_network.listenSocket = nullptr;
    }
    EndNetwork();
    if (window_ && IsWindow(window_)) DestroyWindow(window_);
    window_ = nullptr;
  }

  // Connects a far end and pumps until the layer has accepted it; the near end's handle, or -1.
  int Connect(SOCKET* far) {
    *far = platform::testing::ConnectToLoopback(ipv6_, port_);
    if (*far == INVALID_SOCKET) return -1;
    const int before = g_network.handleCount;
    if (!PumpUntil([&] { return g_network.handleCount > before; })) return -1;
    return g_network.chainHead.next->handle;  // The newest handle comes first.
  }

  // The loopback port the layer listens on.
  USHORT port() const { return port_; }

 private:
  bool ipv6_ = false;
  HWND window_ = nullptr;
  USHORT port_ = 0;
  SocketRecord listenRecord_{};
};

}  // namespace network_test
