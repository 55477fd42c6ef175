// Network handles against hostile peers and a hostile environment: a peer that sends without
// pause, a process out of descriptors, a full handle table, peers that stall at shut-down, many
// connections at once, and a close drain that spans the millisecond clock's wrap.
#include <sys/resource.h>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "network_fixture.h"
#include "runtime/log_directory.h"
#include "runtime/tracked_heap.h"

namespace {

using namespace network_test;

class HostilePeers : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(network_.Start(false)) << "no IPv4 loopback"; }
  void TearDown() override { network_.Stop(); }

  NetworkFixture network_;
};

// Closes the far ends on every way out of a test.
class FarEnds {
 public:
  ~FarEnds() {
    for (SOCKET s : sockets_) closesocket(s);
  }
  void Add(SOCKET s) { sockets_.push_back(s); }
  SOCKET operator[](size_t i) const { return sockets_[i]; }
  size_t size() const { return sockets_.size(); }

 private:
  std::vector<SOCKET> sockets_;
};

// Connects `count` far ends without pumping: they wait in the listener's backlog.
bool ConnectWaiting(USHORT port, int count, FarEnds* ends) {
  for (int i = 0; i < count; ++i) {
    SOCKET s = platform::testing::ConnectToLoopback(false, port);
    if (s == INVALID_SOCKET) return false;
    ends->Add(s);
  }
  return true;
}

// A far end that sends numbered messages of one size without pause, until stopped or until it
// has sent `limit` bytes. Each message starts with its number, little-endian.
class Flooder {
 public:
  Flooder(SOCKET s, int messageSize, long long limit) : socket_(s) {
    thread_ = std::thread([this, messageSize, limit] { Run(messageSize, limit); });
  }
  ~Flooder() { Stop(); }
  // Ends the flood; a send blocked by TCP is woken by the shutdown.
  void Stop() {
    if (!thread_.joinable()) return;
    stop_ = true;
    shutdown(socket_, SD_SEND);
    thread_.join();
  }
  bool Running() const { return !ended_; }

 private:
  void Run(int messageSize, long long limit) {
    const int framed = 4 + messageSize;
    const int perChunk = messageSize < 4096 ? 1000 : 1;
    std::vector<uint8_t> chunk(static_cast<size_t>(framed) * perChunk, 0x5A);
    uint32_t number = 0;
    for (long long sent = 0; sent < limit && !stop_; sent += static_cast<long long>(chunk.size())) {
      for (int i = 0; i < perChunk; ++i, ++number) {
        uint8_t* at = chunk.data() + static_cast<size_t>(i) * framed;
        for (int b = 0; b < 4; ++b) at[b] = static_cast<uint8_t>(static_cast<uint32_t>(messageSize) >> (8 * b));
        for (int b = 0; b < 4; ++b) at[4 + b] = static_cast<uint8_t>(number >> (8 * b));
      }
      if (!platform::testing::WriteBytes(socket_, chunk.data(), static_cast<int>(chunk.size()))) break;
    }
    ended_ = true;
  }

  SOCKET socket_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> ended_{false};
  std::thread thread_;
};

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// Under the sanitizers the freed rings wait in AddressSanitizer's quarantine and the live one has
// ThreadSanitizer's shadow beside it: there the heap bound is what the flood test checks.
#define ZYVEL_MEASURES_RESIDENT_SIZE 1

// The process's peak resident size is measured from here on.
void ResetPeakResidentSize() {
  if (FILE* file = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", file);
    std::fclose(file);
  }
}

long long PeakResidentBytes() {
  long long kilobytes = -1;
  if (FILE* file = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof(line), file))
      if (std::sscanf(line, "VmHWM: %lld kB", &kilobytes) == 1) break;
    std::fclose(file);
  }
  return kilobytes * 1024;
}
#endif

// Takes every complete message out of the handle's ring; false when one is not the next number.
bool TakeNumberedMessages(int handle, int messageSize, uint32_t* next) {
  SocketRecord* record = RecordOf(handle);
  std::vector<uint8_t> message;
  while (record->completeBytes >= messageSize) {
    if (!TakeReceived(handle, messageSize, &message)) return false;
    const uint32_t number = message[0] | message[1] << 8 | message[2] << 16 | static_cast<uint32_t>(message[3]) << 24;
    if (number != (*next)++) return false;
  }
  return true;
}

class FloodingPeer : public HostilePeers, public ::testing::WithParamInterface<int> {};

// Small messages spend the message budget first, large ones the byte budget.
INSTANTIATE_TEST_SUITE_P(MessageSizes, FloodingPeer, ::testing::Values(256, 1024 * 1024),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return info.param == 256 ? "Small" : "OneMegabyte";
                         });

// The flood fills the handle's ring to its bound and no further while the flood goes on; a calm
// peer beside it is heard on the next pump call; what the program takes out lets reading go on,
// and no message is lost on the way.
TEST_P(FloodingPeer, IsReadInBudgetsUpToTheRingBoundWhileACalmPeerIsHeardAtOnce) {
  const int messageSize = GetParam();
  SOCKET floodEnd, calmEnd;
  const int flood = network_.Connect(&floodEnd);
  const int calm = network_.Connect(&calmEnd);
  ASSERT_GE(flood, 0);
  ASSERT_GE(calm, 0);
#ifdef ZYVEL_MEASURES_RESIDENT_SIZE
  ResetPeakResidentSize();
#endif
  const int heapBefore = GetTrackedTotalBytes();
  int heapMost = heapBefore;
  Flooder flooder(floodEnd, messageSize, 256LL * 1024 * 1024);

  // Filling the ring with small messages takes a few hundred pump calls.
  ASSERT_TRUE(PumpUntil(
      [&] {
        if (GetTrackedTotalBytes() > heapMost) heapMost = GetTrackedTotalBytes();
        return RecordOf(flood)->receiveRing.stored >= NETWORK_RECEIVE_RING_BOUND;
      },
      120000));
  EXPECT_TRUE(flooder.Running()) << "one pump call read the whole flood";
  for (int round = 0; round < 20; ++round) {
    PumpNetworkMessages(1);
    if (GetTrackedTotalBytes() > heapMost) heapMost = GetTrackedTotalBytes();
  }
  EXPECT_LT(RecordOf(flood)->receiveRing.stored, NETWORK_RECEIVE_RING_BOUND + NETWORK_LARGEST_MESSAGE);
  EXPECT_LE(heapMost - heapBefore, 2 * NETWORK_RECEIVE_RING_BOUND);

  const std::vector<uint8_t> hello = {'h', 'e', 'l', 'l', 'o'};
  ASSERT_TRUE(platform::testing::WriteMessage(calmEnd, hello));
  int pumpCalls = 0;
  while (RecordOf(calm)->completeBytes < 5 && pumpCalls < 3) {
    PumpNetworkMessages(1);
    ++pumpCalls;
  }
  EXPECT_EQ(RecordOf(calm)->completeBytes, 5) << "after " << pumpCalls << " pump calls";

  // Taking the messages out lets the handle read again, from where it stopped.
  uint32_t next = 0;
  ASSERT_TRUE(TakeNumberedMessages(flood, messageSize, &next));
  const uint32_t takenBefore = next;
  ASSERT_TRUE(PumpUntil([&] { return RecordOf(flood)->completeBytes >= messageSize; }));
  ASSERT_TRUE(TakeNumberedMessages(flood, messageSize, &next));
  EXPECT_GT(next, takenBefore);
  EXPECT_TRUE(flooder.Running());
  flooder.Stop();

#ifdef ZYVEL_MEASURES_RESIDENT_SIZE
  EXPECT_LT(PeakResidentBytes(), 256LL * 1024 * 1024);
#endif
}

// Holds the process at its descriptor limit: every descriptor below the lowered limit is taken.
class DescriptorsExhausted {
 public:
  DescriptorsExhausted() {
    getrlimit(RLIMIT_NOFILE, &saved_);
    int highest = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
      while (dirent* entry = readdir(dir)) {
        const int descriptor = std::atoi(entry->d_name);
        if (descriptor > highest) highest = descriptor;
      }
      closedir(dir);
    }
    rlimit lowered = saved_;
    lowered.rlim_cur = static_cast<rlim_t>(highest + 1);
    lowered_ = setrlimit(RLIMIT_NOFILE, &lowered) == 0;
    for (int descriptor; (descriptor = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) fillers_.push_back(descriptor);
  }
  ~DescriptorsExhausted() { Lift(); }
  void Lift() {
    for (int descriptor : fillers_) close(descriptor);
    fillers_.clear();
    if (lowered_) setrlimit(RLIMIT_NOFILE, &saved_);
    lowered_ = false;
  }
  bool Holds() const {
    const int descriptor = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (descriptor >= 0) close(descriptor);
    return lowered_ && descriptor < 0 && errno == EMFILE;
  }

 private:
  rlimit saved_{};
  bool lowered_ = false;
  std::vector<int> fillers_;
};

// An accept that fails for want of descriptors must not be offered again at once: the pump would
// never run dry. The waiting connections get in once descriptors are free again.
TEST_F(HostilePeers, OutOfDescriptorsThePumpReturnsAndTheWaitingGetInLater) {
  // One connection through the whole path first: the sanitizers check each type on its first use
  // through a pipe, which they could not open later. The C library, likewise, reads its list of
  // conversion modules once, at the first conversion (the failed accept's log line converts its
  // text): read without descriptors, the list would stay empty for the rest of the program.
  WCHAR wide[4];
  MultiByteToWideChar(932, 0, "abc", 3, wide, 4);
  SOCKET first;
  const int firstHandle = network_.Connect(&first);
  ASSERT_GE(firstHandle, 0);
  closesocket(first);
  ASSERT_TRUE(PumpUntil([&] { return g_network.handleCount == 0; }));

  FarEnds waiting;
  ASSERT_TRUE(ConnectWaiting(network_.port(), 100, &waiting));
  {
    DescriptorsExhausted exhausted;
    ASSERT_TRUE(exhausted.Holds());
    for (int round = 0; round < 20; ++round) PumpNetworkMessages(1);
    EXPECT_EQ(g_network.handleCount, 0);
  }
  ASSERT_TRUE(PumpUntil([&] { return g_network.handleCount == 100; }));

  const std::vector<uint8_t> message = {1, 2, 3};
  ASSERT_TRUE(platform::testing::WriteMessage(waiting[0], message));
  ASSERT_TRUE(PumpUntil([&] {
    for (SocketRecord* record : g_network.handles)
      if (record && record->completeBytes == 3) return true;
    return false;
  }));
}

class AcceptLog : public zyvel_test::LogDirectoryTest {
 protected:
  void SetUp() override {
    LogDirectoryTest::SetUp();
    ASSERT_TRUE(network_.Start(false)) << "no IPv4 loopback";
  }
  void TearDown() override {
    network_.Stop();
    LogDirectoryTest::TearDown();
  }
  int FailureLines() {
    const std::string text = LogText();
    const std::string line = zyvel_test::Utf8(u8"acceptに失敗しました");
    int count = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++count;
    return count;
  }

  NetworkFixture network_;
};

// Retries of an accept that keeps failing (out of descriptors, every FD_ACCEPT fails alike) leave
// one line in the log until an accept succeeds.
TEST_F(AcceptLog, AFailingAcceptIsLoggedOnceUntilOneSucceeds) {
  EXPECT_EQ(AcceptNetWork(), -1);  // Nothing waits to be accepted.
  EXPECT_EQ(AcceptNetWork(), -1);
  EXPECT_EQ(FailureLines(), 1);
  SOCKET far;
  ASSERT_GE(network_.Connect(&far), 0);
  EXPECT_EQ(AcceptNetWork(), -1);
  EXPECT_EQ(FailureLines(), 2);
  closesocket(far);
}

// With every slot taken, FD_ACCEPT is refused before accept; a freed slot must let the waiting
// connections in, however many are waiting.
TEST_F(HostilePeers, AFullTableLetsWaitingConnectionsInAsSlotsFree) {
  // Both ends of every connection live in this process: raise the soft limit as far as the hard
  // one allows (many machines start programs at 1,024).
  const rlim_t needed = 2 * NETWORK_ACCEPT_SLOTS + 400;
  rlimit limit;
  getrlimit(RLIMIT_NOFILE, &limit);
  if (limit.rlim_cur < needed && limit.rlim_max >= needed) {
    limit.rlim_cur = needed;
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
  }
  if (limit.rlim_cur < needed) GTEST_SKIP() << "too few descriptors for a full table";
  const USHORT port = network_.port();
  FarEnds ends;
  while (g_network.handleCount < NETWORK_ACCEPT_SLOTS) {
    const int batch = std::min(512, NETWORK_ACCEPT_SLOTS - g_network.handleCount);
    ASSERT_TRUE(ConnectWaiting(port, batch, &ends));
    const int target = static_cast<int>(ends.size());
    ASSERT_TRUE(PumpUntil([&] { return g_network.handleCount == target; }));
  }
  ASSERT_TRUE(ConnectWaiting(port, 108, &ends));
  for (int round = 0; round < 20; ++round) PumpNetworkMessages(1);
  EXPECT_EQ(g_network.handleCount, NETWORK_ACCEPT_SLOTS);

  for (int closes : {100, 8}) {
    SCOPED_TRACE(closes);
    for (int slot = 0; slot < closes; ++slot) ASSERT_EQ(CloseNetWork(g_network.handles[slot]->node.handle), 0);
    ASSERT_TRUE(PumpUntil([&] { return g_network.handleCount == NETWORK_ACCEPT_SLOTS; }));
  }
}

// Every connection accepted costs the poll passes a bounded amount of work; a pass over every
// socket for each accept made the cost grow with the square of the connections.
TEST_F(HostilePeers, AcceptingConnectionsCostsWorkInProportionToTheirNumber) {
  constexpr int kConnections = 2000;
  FarEnds ends;
  ASSERT_TRUE(ConnectWaiting(network_.port(), kConnections, &ends));
  const uint64_t before = platform::testing::SocketReadinessChecks();
  ASSERT_TRUE(PumpUntil([&] { return g_network.handleCount == kConnections; }));
  EXPECT_LE(platform::testing::SocketReadinessChecks() - before, 16u * kConnections);
}

// Peers stalled mid-message share one drain deadline at shut-down.
TEST_F(HostilePeers, TenPeersStalledMidMessageHoldUpShutDownForAboutASecondInAll) {
  FarEnds ends;
  std::vector<int> handles;
  for (int i = 0; i < 10; ++i) {
    SOCKET far;
    handles.push_back(network_.Connect(&far));
    ASSERT_GE(handles.back(), 0);
    ends.Add(far);
    std::vector<uint8_t> start = LengthPrefix(100);
    start.resize(start.size() + 10, 0x33);
    ASSERT_TRUE(WriteVector(far, start));
  }
  ASSERT_TRUE(PumpUntil([&] {
    for (int handle : handles)
      if (RecordOf(handle)->incomingRemaining != 90) return false;
    return true;
  }));
  const DWORD start = GetTickCount();
  EXPECT_EQ(EndNetwork(), 0);
  const DWORD took = GetTickCount() - start;
  EXPECT_EQ(g_network.handleCount, 0);
  EXPECT_LT(took, 1500u);
}

// Puts the real clock back on every way out of a test.
class FakeClockDriven {
 public:
  explicit FakeClockDriven(uint64_t milliseconds) {
    platform::testing::UseFakeClock(true);
    platform::testing::SetFakeClockMilliseconds(milliseconds);
    platform::testing::DriveFakeClockFromThisThread(true);
  }
  ~FakeClockDriven() { platform::testing::UseFakeClock(false); }
};

// The millisecond clock counts in 31 bits (and timeGetTime in 32): a drain begun just before
// either wraps still ends a second later, neither at once nor never.
TEST_F(HostilePeers, ACloseDrainEndsAfterASecondAcrossTheClocksWrap) {
  for (uint64_t start : {1000ull, 0x7FFFFFFFull - 300, 0xFFFFFFFFull - 300}) {
    SCOPED_TRACE(start);
    SOCKET far;
    const int handle = network_.Connect(&far);
    ASSERT_GE(handle, 0);
    FarEnds ends;
    ends.Add(far);
    ASSERT_TRUE(WriteVector(far, LengthPrefix(100)));
    ASSERT_TRUE(PumpUntil([&] { return RecordOf(handle)->incomingRemaining == 100; }));

    FakeClockDriven clock(start);
    const DWORD before = timeGetTime();
    EXPECT_EQ(CloseNetWork(handle), 0);
    const DWORD took = timeGetTime() - before;
    EXPECT_GE(took, 1000u);
    EXPECT_LE(took, 1100u);
  }
}

}  // namespace
