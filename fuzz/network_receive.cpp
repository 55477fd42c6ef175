// Fuzz target: a random byte stream, sent in pieces over a loopback connection, into a network
// handle's receive path. The handle must hold exactly the payloads of the whole messages a plain
// parse finds, or be marked broken when that parse meets a negative or oversized length.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "network/network_services.h"
#include "platform/testing.h"
#include "runtime/handle_table.h"
#include "zyvel/runtime.h"

namespace {

LRESULT NetworkWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == NETWORK_SOCKET_MESSAGE) return HandleSocketMessage(lParam, static_cast<SOCKET>(wParam));
  return DefWindowProcA(window, message, wParam, lParam);
}

SocketRecord g_listenRecord;
USHORT g_port;

void StartOnce() {
  static bool started = false;
  if (started) return;
  started = true;
  platform::testing::UseDummyVideoDriver();
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) abort();
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = NetworkWindowProc;
  windowClass.lpszClassName = "ZyvelNetworkFuzzWindow";
  RegisterClassExA(&windowClass);
  HWND window = CreateWindowExA(0, "ZyvelNetworkFuzzWindow", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  if (!window) abort();
  SetupHandleChain(&g_network.chainHead, &g_network.chainTail);
  g_network.networkWindow = window;
  g_network.initialised = 1;
  g_network.keepAfterPeerClose = 1;  // The handle stays to be inspected after the stream ends.
  g_listenRecord.socket = platform::testing::ListenOnLoopback(false, &g_port);
  if (g_listenRecord.socket == INVALID_SOCKET) abort();
  LinkHandleChain(&g_network.chainHead, &g_listenRecord.node, -1, &g_listenRecord);
  if (WSAAsyncSelect(g_listenRecord.socket, window, NETWORK_SOCKET_MESSAGE, FD_ACCEPT) != 0) abort();
  g_network.listenSocket = &g_listenRecord;
}

SocketRecord* RecordOf(int handle) {
  SocketRecord* record = g_network.handles[HandleSlotOf(handle)];
  return record && record->node.handle == handle ? record : nullptr;
}

template <typename Done>
void PumpUntil(Done done) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > 10000) abort();
    PumpNetworkMessages(1);
  }
}

void CheckRecord(const SocketRecord* record) {
  const ByteRing& ring = record->receiveRing;
  if (record->incomingRemaining < 0 || record->completeBytes < 0 || record->completeBytes > ring.stored ||
      ring.stored > ring.capacity)
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 65536) return 0;
  StartOnce();
  const int piece = data[0] + 1;
  ++data;
  --size;

  // What a plain parse of the stream finds.
  std::vector<uint8_t> payloads;
  bool hostile = false;
  for (size_t at = 0; at + 4 <= size;) {
    const uint32_t word = static_cast<uint32_t>(data[at]) | static_cast<uint32_t>(data[at + 1]) << 8 |
                          static_cast<uint32_t>(data[at + 2]) << 16 | static_cast<uint32_t>(data[at + 3]) << 24;
    const int32_t length = static_cast<int32_t>(word);
    if (length < 0 || length > NETWORK_LARGEST_MESSAGE) {
      hostile = true;
      break;
    }
    if (at + 4 + static_cast<size_t>(length) > size) break;  // The last message stays incomplete.
    payloads.insert(payloads.end(), data + at + 4, data + at + 4 + length);
    at += 4 + static_cast<size_t>(length);
  }

  SOCKET far = platform::testing::ConnectToLoopback(false, g_port);
  if (far == INVALID_SOCKET) abort();
  const int before = g_network.handleCount;
  PumpUntil([&] { return g_network.handleCount > before; });
  const int handle = g_network.chainHead.next->handle;

  for (size_t at = 0; at < size; at += static_cast<size_t>(piece)) {
    const size_t length = size - at < static_cast<size_t>(piece) ? size - at : static_cast<size_t>(piece);
    // A hostile length closes the handle, after which the far end's writes fail.
    if (!platform::testing::WriteBytes(far, data + at, static_cast<int>(length))) {
      if (!hostile) abort();
      break;
    }
    PumpNetworkMessages(1);
    if (SocketRecord* record = RecordOf(handle)) CheckRecord(record);
  }
  shutdown(far, SD_SEND);
  // A handle reads a bounded amount per pump call: the close may come before all is read.
  PumpUntil([&] {
    SocketRecord* record = RecordOf(handle);
    return !record || record->error || (record->peerClosed && !record->readOwed);
  });
  for (int round = 0; round < 5; ++round) PumpNetworkMessages(1);

  SocketRecord* record = RecordOf(handle);
  if (hostile) {
    if (record) abort();  // The broken handle is closed by the pump.
  } else {
    if (!record || record->error) abort();
    CheckRecord(record);
    if (record->completeBytes != static_cast<int>(payloads.size())) abort();
    std::vector<uint8_t> held(payloads.size());
    if (ReadByteRing(&record->receiveRing, held.data(), static_cast<int>(held.size()), 1) != 0) abort();
    if (held != payloads) abort();
    CloseNetWork(handle);
  }
  closesocket(far);
  return 0;
}
