// The WinSock stand-in's asynchronous selection: which events are posted, and when they are posted
// again.
#include <gtest/gtest.h>

#include <vector>

#include "platform/testing.h"
#include "platform/user.h"
#include "platform/winsock.h"

namespace {

constexpr UINT kSocketMessage = WM_USER + 261;

LRESULT QuietWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

struct Event {
  int event;
  int error;
  bool operator==(const Event& other) const { return event == other.event && error == other.error; }
};

class AsyncSelect : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::testing::UseDummyVideoDriver();
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = QuietWindowProc;
    windowClass.lpszClassName = "ZyvelAsyncSelectTest";
    RegisterClassExA(&windowClass);
    window_ = CreateWindowExA(0, "ZyvelAsyncSelectTest", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window_, nullptr);
    listener_ = platform::testing::ListenOnLoopback(false, &port_);
    ASSERT_NE(listener_, INVALID_SOCKET);
  }
  void TearDown() override {
    EXPECT_EQ(WSACleanup(), 0);
    DestroyWindow(window_);
  }

  // The events posted for `s` that one round of message retrieval finds.
  std::vector<Event> TakeEvents(SOCKET s) {
    std::vector<Event> events;
    MSG msg;
    while (PeekMessageA(&msg, window_, kSocketMessage, kSocketMessage, PM_REMOVE))
      if (msg.wParam == s) events.push_back({WSAGETSELECTEVENT(msg.lParam), WSAGETSELECTERROR(msg.lParam)});
    return events;
  }
  // Retrieves messages until some event for `s` comes (at most 10 s).
  std::vector<Event> WaitForEvents(SOCKET s) {
    const DWORD start = GetTickCount();
    for (;;) {
      std::vector<Event> events = TakeEvents(s);
      if (!events.empty() || GetTickCount() - start > 10000) return events;
      Sleep(1);
    }
  }

  HWND window_ = nullptr;
  SOCKET listener_ = INVALID_SOCKET;
  USHORT port_ = 0;
};

TEST_F(AsyncSelect, ReadIsPostedAgainOnlyAfterARecvThatLeavesData) {
  SOCKET far = platform::testing::ConnectToLoopback(false, port_);
  SOCKET near = platform::testing::AcceptWithin(listener_, 10000);
  ASSERT_NE(near, INVALID_SOCKET);
  ASSERT_EQ(WSAAsyncSelect(near, window_, kSocketMessage, FD_READ | FD_WRITE | FD_CLOSE), 0);
  EXPECT_EQ(WaitForEvents(near), (std::vector<Event>{{FD_WRITE, 0}}));

  const char bytes[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  ASSERT_TRUE(platform::testing::WriteBytes(far, bytes, 10));
  EXPECT_EQ(WaitForEvents(near), (std::vector<Event>{{FD_READ, 0}}));
  Sleep(5);
  EXPECT_TRUE(TakeEvents(near).empty()) << "no recv yet: not posted again";

  char got[10];
  ASSERT_EQ(recv(near, got, 4, MSG_PEEK), 4);
  EXPECT_EQ(TakeEvents(near), (std::vector<Event>{{FD_READ, 0}})) << "data remains after the peek";
  ASSERT_EQ(recv(near, got, 10, 0), 10);
  EXPECT_TRUE(TakeEvents(near).empty());
  EXPECT_EQ(recv(near, got, 10, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);

  ASSERT_EQ(closesocket(far), 0);
  EXPECT_EQ(WaitForEvents(near), (std::vector<Event>{{FD_CLOSE, 0}}));
  Sleep(5);
  EXPECT_TRUE(TakeEvents(near).empty()) << "the close is posted once";
}

TEST_F(AsyncSelect, WriteIsPostedAgainAfterASendThatWouldHaveBlocked) {
  SOCKET far = platform::testing::ConnectToLoopback(false, port_);
  SOCKET near = platform::testing::AcceptWithin(listener_, 10000);
  ASSERT_NE(near, INVALID_SOCKET);
  ASSERT_EQ(WSAAsyncSelect(near, window_, kSocketMessage, FD_WRITE), 0);
  EXPECT_EQ(WaitForEvents(near), (std::vector<Event>{{FD_WRITE, 0}}));

  std::vector<char> block(65536, 'x');
  long long queued = 0;
  for (;;) {
    int sent = send(near, block.data(), static_cast<int>(block.size()), 0);
    if (sent == SOCKET_ERROR) break;
    queued += sent;
    ASSERT_LT(queued, 1LL << 30);
  }
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  EXPECT_TRUE(TakeEvents(near).empty());
  while (queued > 0) {
    int got = recv(far, block.data(), static_cast<int>(block.size()), 0);
    ASSERT_GT(got, 0);
    queued -= got;
  }
  EXPECT_EQ(WaitForEvents(near), (std::vector<Event>{{FD_WRITE, 0}}));
  closesocket(far);
}

TEST_F(AsyncSelect, ANonBlockingConnectReportsItsOutcome) {
  SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ASSERT_EQ(WSAAsyncSelect(client, window_, kSocketMessage, FD_CONNECT | FD_WRITE), 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port_);
  address.sin_addr.S_un.S_addr = htonl(INADDR_LOOPBACK);
  const int result = connect(client, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  EXPECT_TRUE(result == 0 || WSAGetLastError() == WSAEWOULDBLOCK);
  std::vector<Event> events = WaitForEvents(client);
  if (events.size() == 1) {
    std::vector<Event> more = WaitForEvents(client);
    events.insert(events.end(), more.begin(), more.end());
  }
  EXPECT_EQ(events, (std::vector<Event>{{FD_CONNECT, 0}, {FD_WRITE, 0}}));

  // Nothing listens on the closed listener's port any more.
  ASSERT_EQ(closesocket(listener_), 0);
  SOCKET refused = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ASSERT_EQ(WSAAsyncSelect(refused, window_, kSocketMessage, FD_CONNECT | FD_WRITE | FD_CLOSE), 0);
  connect(refused, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  EXPECT_EQ(WaitForEvents(refused), (std::vector<Event>{{FD_CONNECT, WSAECONNREFUSED}}));
  Sleep(5);
  EXPECT_TRUE(TakeEvents(refused).empty());
}

TEST_F(AsyncSelect, AnAcceptedSocketTakesOverTheListenersSelection) {
  ASSERT_EQ(WSAAsyncSelect(listener_, window_, kSocketMessage, FD_ACCEPT | FD_READ), 0);
  SOCKET far = platform::testing::ConnectToLoopback(false, port_);
  EXPECT_EQ(WaitForEvents(listener_), (std::vector<Event>{{FD_ACCEPT, 0}}));
  SOCKET near = accept(listener_, nullptr, nullptr);
  ASSERT_NE(near, INVALID_SOCKET);
  char byte = 7;
  ASSERT_TRUE(platform::testing::WriteBytes(far, &byte, 1));
  EXPECT_EQ(WaitForEvents(near), (std::vector<Event>{{FD_READ, 0}}));
  char got[4];
  EXPECT_EQ(recv(near, got, 4, 0), 1);
  EXPECT_EQ(recv(near, got, 4, 0), SOCKET_ERROR) << "non-blocking like its listener";
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
}

TEST(WinsockStart, CallsBeforeStartUpFailWithNotInitialised) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  EXPECT_EQ(s, INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
  char byte;
  EXPECT_EQ(recv(0x100, &byte, 1, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
  EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
  EXPECT_EQ(htons(0x1234), 0x3412);
  EXPECT_EQ(ntohl(htonl(0x01020304u)), 0x01020304u);
  EXPECT_EQ(htonl(0x01020304u), 0x04030201u);
}

}  // namespace
