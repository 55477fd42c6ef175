// Network handles over loopback: framing across pieces, whole messages in order both ways,
// closing peers, hostile lengths, and the layer before it is started.
#include <random>
#include <thread>

#include "network_fixture.h"
#include "runtime/tracked_heap.h"

namespace {

using namespace network_test;
using platform::testing::ReadMessage;
using platform::testing::WriteMessage;

std::vector<uint8_t> Pattern(int length, int seed) {
  std::vector<uint8_t> bytes(static_cast<size_t>(length));
  for (int i = 0; i < length; ++i) bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 31 + seed * 7 + 1);
  return bytes;
}

class Sockets : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { ASSERT_TRUE(network_.Start(GetParam())) << "no loopback for this address family"; }
  void TearDown() override { network_.Stop(); }

  NetworkFixture network_;
};

INSTANTIATE_TEST_SUITE_P(Loopback, Sockets, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "IPv6" : "IPv4"; });

TEST_P(Sockets, AMessageInTwoPiecesCountsAsCompleteOnlyAfterTheSecond) {
  SOCKET far;
  const int handle = network_.Connect(&far);
  ASSERT_GE(handle, 0);
  SocketRecord* record = RecordOf(handle);
  EXPECT_EQ(record->connected, 1);
  EXPECT_NE(record->peerPort, 0);
  if (!GetParam()) {
    EXPECT_EQ(record->peerAddress, htonl(INADDR_LOOPBACK));
  }

  const std::vector<uint8_t> message = Pattern(10, 1);
  std::vector<uint8_t> first = LengthPrefix(10);
  first.insert(first.end(), message.begin(), message.begin() + 6);
  ASSERT_TRUE(WriteVector(far, first));
  ASSERT_TRUE(PumpUntil([&] { return record->incomingRemaining == 4; }));
  EXPECT_EQ(record->completeBytes, 0);

  ASSERT_TRUE(WriteVector(far, std::vector<uint8_t>(message.begin() + 6, message.end())));
  ASSERT_TRUE(PumpUntil([&] { return record->completeBytes == 10; }));
  std::vector<uint8_t> received;
  ASSERT_TRUE(TakeReceived(handle, 10, &received));
  EXPECT_EQ(received, message);
}

// The pump must also come back while a length stays incomplete.
TEST_P(Sockets, APartlyArrivedLengthWaitsForTheRest) {
  SOCKET far;
  const int handle = network_.Connect(&far);
  ASSERT_GE(handle, 0);
  SocketRecord* record = RecordOf(handle);

  const std::vector<uint8_t> prefix = LengthPrefix(5);
  ASSERT_TRUE(WriteVector(far, {prefix[0], prefix[1], prefix[2]}));
  for (int round = 0; round < 50; ++round) {
    PumpNetworkMessages(1);
    Sleep(1);
  }
  EXPECT_EQ(record->incomingRemaining, 0);
  EXPECT_EQ(record->completeBytes, 0);
  EXPECT_EQ(record->receiveRing.stored, 0);

  std::vector<uint8_t> rest = {prefix[3]};
  const std::vector<uint8_t> message = Pattern(5, 2);
  rest.insert(rest.end(), message.begin(), message.end());
  ASSERT_TRUE(WriteVector(far, rest));
  ASSERT_TRUE(PumpUntil([&] { return record->completeBytes == 5; }));
  std::vector<uint8_t> received;
  ASSERT_TRUE(TakeReceived(handle, 5, &received));
  EXPECT_EQ(received, message);
}

TEST_P(Sockets, AThousandMessagesOfRandomSizesArriveWholeAndInOrderBothWays) {
  SOCKET far;
  const int handle = network_.Connect(&far);
  ASSERT_GE(handle, 0);
  std::mt19937 random(27);
  std::uniform_int_distribution<int> size(0, 3000);
  std::vector<uint8_t> received;
  for (int i = 0; i < 1000; ++i) {
    const std::vector<uint8_t> inbound = Pattern(size(random), i);
    const std::vector<uint8_t> outbound = Pattern(size(random), i + 5000);
    ASSERT_TRUE(WriteMessage(far, inbound));
    ASSERT_TRUE(QueueMessage(handle, outbound));
    ASSERT_TRUE(PumpUntil([&] { return RecordOf(handle)->completeBytes >= static_cast<int>(inbound.size()); }));
    ASSERT_TRUE(TakeReceived(handle, static_cast<int>(inbound.size()), &received));
    ASSERT_EQ(received, inbound) << "message " << i;
    EXPECT_EQ(RecordOf(handle)->completeBytes, 0) << "message " << i;
    ASSERT_TRUE(ReadMessage(far, &received, 10000)) << "message " << i;
    ASSERT_EQ(received, outbound) << "message " << i;
  }
}

// A message larger than the socket buffers goes out in parts, each resumed by FD_WRITE.
TEST_P(Sockets, AMessageLargerThanTheSocketBuffersIsResumedUntilSent) {
  SOCKET far;
  const int handle = network_.Connect(&far);
  ASSERT_GE(handle, 0);
  const std::vector<uint8_t> outbound = Pattern(8 * 1024 * 1024, 3);
  std::vector<uint8_t> received;
  bool read = false;
  std::thread reader([&] { read = ReadMessage(far, &received, 20000); });
  ASSERT_TRUE(QueueMessage(handle, outbound));
  const bool sent = PumpUntil([&] {
    SocketRecord* record = RecordOf(handle);
    return record->sendRing.stored == 0 && record->prefixPending == 0;
  });
  reader.join();
  ASSERT_TRUE(sent);
  ASSERT_TRUE(read);
  EXPECT_TRUE(received == outbound);
}

TEST_P(Sockets, APeerClosingMidMessageClosesTheHandleAndDeliversNothingTwice) {
  SOCKET far;
  const int handle = network_.Connect(&far);
  ASSERT_GE(handle, 0);
  const std::vector<uint8_t> whole = Pattern(20, 4);
  ASSERT_TRUE(WriteMessage(far, whole));
  ASSERT_TRUE(PumpUntil([&] { return RecordOf(handle)->completeBytes == 20; }));
  std::vector<uint8_t> received;
  ASSERT_TRUE(TakeReceived(handle, 20, &received));
  EXPECT_EQ(received, whole);

  std::vector<uint8_t> partial = LengthPrefix(100);
  const std::vector<uint8_t> start = Pattern(40, 5);
  partial.insert(partial.end(), start.begin(), start.end());
  ASSERT_TRUE(WriteVector(far, partial));
  ASSERT_EQ(closesocket(far), 0);
  ASSERT_TRUE(PumpUntil([&] {
    SocketRecord* record = RecordOf(handle);
    if (record) {
      EXPECT_EQ(record->completeBytes, 0);
    }
    return record == nullptr;
  }));
  EXPECT_EQ(g_network.handleCount, 0);
  EXPECT_EQ(RecvSocket(handle), -1);
  EXPECT_EQ(CloseNetWork(handle), -1);
}

TEST_P(Sockets, WithKeepAfterPeerCloseTheHandleStaysWithItsCompleteMessages) {
  g_network.keepAfterPeerClose = 1;
  SOCKET far;
  const int handle = network_.Connect(&far);
  ASSERT_GE(handle, 0);
  const std::vector<uint8_t> whole = Pattern(30, 6);
  ASSERT_TRUE(WriteMessage(far, whole));
  ASSERT_TRUE(WriteVector(far, LengthPrefix(50)));
  ASSERT_EQ(closesocket(far), 0);
  ASSERT_TRUE(PumpUntil([&] { return RecordOf(handle)->peerClosed == 1; }));
  for (int round = 0; round < 20; ++round) PumpNetworkMessages(1);

  SocketRecord* record = RecordOf(handle);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->connected, 0);
  EXPECT_EQ(record->completeBytes, 30);
  std::vector<uint8_t> received;
  ASSERT_TRUE(TakeReceived(handle, 30, &received));
  EXPECT_EQ(received, whole);
  EXPECT_EQ(CloseNetWork(handle), 0);
  EXPECT_EQ(RecordOf(handle), nullptr);
}

TEST_P(Sockets, EmptyMessagesAreCompleteAndTakeNoBytes) {
  SOCKET far;
  const int handle = network_.Connect(&far);
  ASSERT_GE(handle, 0);
  const std::vector<uint8_t> after = Pattern(3, 7);
  ASSERT_TRUE(WriteMessage(far, {}));
  ASSERT_TRUE(WriteMessage(far, {}));
  ASSERT_TRUE(WriteMessage(far, after));
  ASSERT_TRUE(PumpUntil([&] { return RecordOf(handle)->completeBytes == 3; }));
  std::vector<uint8_t> received;
  ASSERT_TRUE(TakeReceived(handle, 3, &received));
  EXPECT_EQ(received, after);
  EXPECT_EQ(RecordOf(handle)->incomingRemaining, 0);
}

// A peer's length that is negative or beyond the limit breaks that handle alone, before any ring
// space is taken for it.
TEST_P(Sockets, AHostileLengthClosesThatHandleOnly) {
  for (uint32_t hostile : {0x7FFFFFFFu, 0xFFFFFFFFu, 0x80000000u, 16u * 1024 * 1024 + 1}) {
    SCOPED_TRACE(hostile);
    SOCKET hostilePeer, goodPeer;
    const int hostileHandle = network_.Connect(&hostilePeer);
    const int goodHandle = network_.Connect(&goodPeer);
    ASSERT_GE(hostileHandle, 0);
    ASSERT_GE(goodHandle, 0);
    const int bytesBefore = GetTrackedTotalBytes();

    std::vector<uint8_t> attack = LengthPrefix(hostile);
    attack.resize(attack.size() + 64, 0xAB);
    ASSERT_TRUE(WriteVector(hostilePeer, attack));
    const std::vector<uint8_t> message = Pattern(12, 8);
    ASSERT_TRUE(WriteMessage(goodPeer, message));

    ASSERT_TRUE(PumpUntil([&] { return RecordOf(hostileHandle) == nullptr; }));
    EXPECT_LT(GetTrackedTotalBytes() - bytesBefore, 64 * 1024);
    EXPECT_TRUE(platform::testing::WaitForPeerClose(hostilePeer, 10000));

    ASSERT_TRUE(PumpUntil([&] { return RecordOf(goodHandle) && RecordOf(goodHandle)->completeBytes == 12; }));
    std::vector<uint8_t> received;
    ASSERT_TRUE(TakeReceived(goodHandle, 12, &received));
    EXPECT_EQ(received, message);
    EXPECT_EQ(CloseNetWork(goodHandle), 0);
    closesocket(hostilePeer);
    closesocket(goodPeer);
  }
}

TEST_P(Sockets, ShutDownClosesEveryHandleAndEndsTheLayer) {
  SOCKET first, second;
  ASSERT_GE(network_.Connect(&first), 0);
  ASSERT_GE(network_.Connect(&second), 0);
  ASSERT_EQ(g_network.handleCount, 2);
  const int blocksBefore = GetTrackedBlockCount();
  EXPECT_EQ(EndNetwork(), 0);
  EXPECT_EQ(g_network.handleCount, 0);
  EXPECT_EQ(g_network.initialised, 0);
  EXPECT_LE(GetTrackedBlockCount(), blocksBefore - 2);
  EXPECT_EQ(EndNetwork(), 0);
}

TEST(NetworkBeforeStart, EveryOperationFailsAndThePumpAnswersZero) {
  std::memset(&g_network, 0, sizeof(g_network));
  for (int handle : {-1, 0, MakeHandleWord(0, 0, HANDLE_KIND_NETWORK), MakeHandleWord(5, 3, HANDLE_KIND_NETWORK)}) {
    SCOPED_TRACE(handle);
    EXPECT_EQ(RecvSocket(handle), -1);
    EXPECT_EQ(SendSocket(handle), -1);
    EXPECT_EQ(CloseNetWork(handle), -1);
    EXPECT_EQ(CloseUdpSocket(handle), -1);
  }
  EXPECT_EQ(AcceptNetWork(), -1);
  EXPECT_EQ(PumpNetworkMessages(0), 0);
  EXPECT_EQ(PumpNetworkMessages(1), 0);
  EXPECT_EQ(HandleSocketMessage(FD_READ, 0x100), 0);
  EXPECT_EQ(EndNetwork(), 0);
}

// A foreign kind, a stale check count or an empty slot is refused once the layer runs.
TEST_P(Sockets, HandlesOfAnotherKindOrAStaleCountAreRefused) {
  SOCKET far;
  const int handle = network_.Connect(&far);
  ASSERT_GE(handle, 0);
  const int slot = HandleSlotOf(handle);
  const int count = HandleCheckCountOf(handle);
  for (int wrong :
       {MakeHandleWord(slot, count, HANDLE_KIND_GRAPH), MakeHandleWord(slot, (count + 1) % 2048, HANDLE_KIND_NETWORK),
        MakeHandleWord(slot + 1, count, HANDLE_KIND_NETWORK), MakeHandleWord(9000, 0, HANDLE_KIND_NETWORK)}) {
    SCOPED_TRACE(wrong);
    EXPECT_EQ(RecvSocket(wrong), -1);
    EXPECT_EQ(SendSocket(wrong), -1);
    EXPECT_EQ(CloseNetWork(wrong), -1);
  }
  EXPECT_EQ(RecvSocket(handle), 0);
  EXPECT_EQ(CloseUdpSocket(handle), -1);  // A TCP handle is not closed as UDP.
}

}  // namespace
