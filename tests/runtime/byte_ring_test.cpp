// Byte ring (growth, wrapped reads, peeks, refusals, and a random script against std::deque) and
// the handle chain.
#include <climits>
#include <cstring>
#include <deque>
#include <random>
#include <vector>

#include "runtime/byte_ring.h"
#include "runtime/handle_chain.h"
#include "runtime/log_directory.h"

namespace {

// What every caller does after reserving: copy in at the write position, wrapping at capacity.
void WriteIntoRing(ByteRing* ring, const uint8_t* bytes, int length) {
  for (int i = 0; i < length; ++i) {
    if (ring->writePos == ring->capacity) ring->writePos = 0;
    ring->data[ring->writePos++] = bytes[i];
  }
  ring->stored += length;
}

// A ring of `capacity` bytes holding 0, 1, 2, ... (`stored` of them) from `readPos` on.
ByteRing MakeRing(int capacity, int readPos, int stored) {
  ByteRing ring{};
  ring.data = static_cast<uint8_t*>(ZV_ALLOC_ZEROED(capacity));
  ring.capacity = capacity;
  for (int i = 0; i < stored; ++i) ring.data[(readPos + i) % capacity] = static_cast<uint8_t>(i);
  ring.readPos = readPos;
  ring.writePos = (readPos + stored) % capacity;
  ring.stored = stored;
  return ring;
}

TEST(ByteRingTest, WrappedReadTakesTheEndThenTheStart) {
  ByteRing ring = MakeRing(10, 8, 4);
  uint8_t out[4] = {};
  ASSERT_EQ(ReadByteRing(&ring, out, 4, 0), 0);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{0, 1, 2, 3}));
  EXPECT_EQ(ring.readPos, 2);
  EXPECT_EQ(ring.stored, 0);
  FreeByteRing(&ring);
}

TEST(ByteRingTest, PeekThenReadYieldTheSameBytes) {
  ByteRing ring = MakeRing(10, 7, 6);
  uint8_t peeked[4] = {}, read[4] = {};
  ASSERT_EQ(ReadByteRing(&ring, peeked, 4, 1), 0);
  EXPECT_EQ(ring.readPos, 7);
  EXPECT_EQ(ring.stored, 6);
  ASSERT_EQ(ReadByteRing(&ring, read, 4, 0), 0);
  EXPECT_EQ(std::memcmp(peeked, read, 4), 0);
  EXPECT_EQ(read[3], 3);
  FreeByteRing(&ring);
}

TEST(ByteRingTest, ReadingMoreThanIsStoredCopiesNothing) {
  ByteRing ring = MakeRing(10, 8, 4);
  uint8_t out[5] = {9, 9, 9, 9, 9};
  EXPECT_EQ(ReadByteRing(&ring, out, 5, 0), -1);
  EXPECT_EQ(ReadByteRing(&ring, out, -1, 0), -1);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 5), std::vector<uint8_t>(5, 9));
  EXPECT_EQ(ring.stored, 4);
  EXPECT_EQ(ring.readPos, 8);
  FreeByteRing(&ring);
}

TEST(ByteRingTest, GrowthAddsHalfTheStoredBytesAndAThousandAndKeepsTheOrder) {
  ByteRing empty{};
  ASSERT_EQ(ReserveByteRing(&empty, 5), 0);
  EXPECT_EQ(empty.capacity, 1005);
  EXPECT_EQ(ReserveByteRing(&empty, 1005), 0);  // Fits: nothing changes.
  EXPECT_EQ(empty.capacity, 1005);
  FreeByteRing(&empty);

  ByteRing ring = MakeRing(105, 60, 100);  // Wraps: 45 bytes at the end, 55 at the start.
  ASSERT_EQ(ReserveByteRing(&ring, 10), 0);
  EXPECT_EQ(ring.capacity, 1160);
  EXPECT_EQ(ring.readPos, 0);
  EXPECT_EQ(ring.writePos, 100);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(ring.data[i], i);
  FreeByteRing(&ring);
}

TEST(ByteRingTest, PositionsAtTheEndFoldToZero) {
  ByteRing ring = MakeRing(8, 0, 0);
  ring.readPos = 8;
  ring.writePos = 8;
  NormalizeByteRing(&ring);
  EXPECT_EQ(ring.readPos, 0);
  EXPECT_EQ(ring.writePos, 0);
  FreeByteRing(&ring);
}

class ByteRingFailureTest : public zyvel_test::LogDirectoryTest {};

TEST_F(ByteRingFailureTest, SizesThatWouldOverflowAreRefusedAndTheBytesKept) {
  ByteRing ring = MakeRing(105, 60, 100);
  for (int need : {-1, INT_MIN, INT_MAX, INT_MAX - 1000}) {
    EXPECT_EQ(ReserveByteRing(&ring, need), -1) << need;
    ASSERT_EQ(ring.stored, 100);
    ASSERT_EQ(ring.capacity, 105);
  }
  uint8_t out[100];
  ASSERT_EQ(ReadByteRing(&ring, out, 100, 0), 0);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(out[i], i);
  FreeByteRing(&ring);
  EXPECT_NE(LogText().find(
                zyvel_test::Utf8(u8"リングバッファの再確保に失敗しました(確保しようとしたサイズ 2147484797 byte)")),
            std::string::npos)
      << LogText();
}

TEST_F(ByteRingFailureTest, RunningOutOfMemoryEmptiesTheRing) {
  ByteRing ring = MakeRing(10, 0, 10);
  platform::testing::FailHeapAllocations(1);
  EXPECT_EQ(ReserveByteRing(&ring, 1), -1);
  EXPECT_EQ(ring.data, nullptr);
  EXPECT_EQ(ring.capacity, 0);
  EXPECT_EQ(ring.stored, 0);
  EXPECT_NE(
      LogText().find(zyvel_test::Utf8(u8"リングバッファの再確保に失敗しました(確保しようとしたサイズ 1016 byte)")),
      std::string::npos);
}

TEST(ByteRingTest, RandomScriptMatchesADeque) {
  std::mt19937 random(20261210);
  ByteRing ring{};
  std::deque<uint8_t> model;
  uint8_t next = 0;
  std::vector<uint8_t> buffer;
  for (int step = 0; step < 20000; ++step) {
    const int length = static_cast<int>(random() % (step % 500 < 250 ? 700 : 60));
    switch (random() % 3) {
      case 0: {  // Write.
        ASSERT_EQ(ReserveByteRing(&ring, length), 0);
        buffer.resize(static_cast<size_t>(length));
        for (uint8_t& byte : buffer) model.push_back(byte = next++);
        WriteIntoRing(&ring, buffer.data(), length);
        break;
      }
      case 1:
      case 2: {  // Read or peek.
        const int peek = static_cast<int>(random() % 4 == 0);
        buffer.assign(static_cast<size_t>(length) + 1, 0);
        const int result = ReadByteRing(&ring, buffer.data(), length, peek);
        if (length > static_cast<int>(model.size())) {
          ASSERT_EQ(result, -1);
          break;
        }
        ASSERT_EQ(result, 0);
        for (int i = 0; i < length; ++i) ASSERT_EQ(buffer[static_cast<size_t>(i)], model[static_cast<size_t>(i)]);
        if (!peek) model.erase(model.begin(), model.begin() + length);
        break;
      }
    }
    ASSERT_EQ(ring.stored, static_cast<int>(model.size()));
    ASSERT_LE(ring.stored, ring.capacity);
  }
  FreeByteRing(&ring);
  EXPECT_EQ(ring.data, nullptr);
  EXPECT_EQ(ring.capacity, 0);
}

// ---- Handle chain ----

std::vector<int> Handles(const HandleChainNode& head, const HandleChainNode& tail) {
  std::vector<int> handles;
  for (const HandleChainNode* node = head.next; node && node != &tail; node = node->next) {
    EXPECT_EQ(node->next->prev, node);
    handles.push_back(node->handle);
  }
  return handles;
}

TEST(HandleChainTest, NewestFirstAndUnlinkTakesANodeOut) {
  HandleChainNode head, tail, nodes[4];
  SetupHandleChain(&head, &tail);
  EXPECT_EQ(head.handle, -1);
  EXPECT_EQ(tail.data, nullptr);
  EXPECT_EQ(head.next, &tail);
  EXPECT_EQ(tail.prev, &head);
  EXPECT_TRUE(Handles(head, tail).empty());

  int owners[4];
  for (int i = 0; i < 3; ++i) LinkHandleChain(&head, &nodes[i], 100 + i, &owners[i]);
  EXPECT_EQ(Handles(head, tail), (std::vector<int>{102, 101, 100}));
  EXPECT_EQ(nodes[1].data, &owners[1]);

  UnlinkHandleChain(&nodes[1]);
  EXPECT_EQ(Handles(head, tail), (std::vector<int>{102, 100}));
  UnlinkHandleChain(&nodes[2]);
  UnlinkHandleChain(&nodes[0]);
  EXPECT_TRUE(Handles(head, tail).empty());
  EXPECT_EQ(head.next, &tail);
  EXPECT_EQ(tail.prev, &head);
}

TEST(HandleChainTest, UnlinkingTwiceLeavesNodesLinkedSinceAlone) {
  HandleChainNode head, tail, first, later;
  SetupHandleChain(&head, &tail);
  LinkHandleChain(&head, &first, 1, nullptr);
  UnlinkHandleChain(&first);
  LinkHandleChain(&head, &later, 2, nullptr);
  UnlinkHandleChain(&first);  // Its old neighbours now surround `later`.
  EXPECT_EQ(Handles(head, tail), (std::vector<int>{2}));
}

}  // namespace
