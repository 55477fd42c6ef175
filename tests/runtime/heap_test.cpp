// The tracked heap: block lines, tracing, the dump, header checks, re-sizing, refused sizes and
// concurrent use.
#include <climits>
#include <cstring>
#include <thread>
#include <vector>

#include "runtime/log_directory.h"
#include "runtime/runtime_state.h"
#include "runtime/tracked_heap.h"

namespace {

class TrackedHeapTest : public zyvel_test::LogDirectoryTest {
 protected:
  void SetUp() override {
    LogDirectoryTest::SetUp();
    g_runtime.log.noTimeStamp = 1;
    SetTrackedHeapOptions(TrackedHeapOptions{});
    baseCount_ = GetTrackedBlockCount();
    baseBytes_ = GetTrackedTotalBytes();
  }
  void TearDown() override {
    SetTrackedHeapOptions(TrackedHeapOptions{});
    LogDirectoryTest::TearDown();
  }

  static TrackedBlockHeader* HeaderOf(void* data) { return static_cast<TrackedBlockHeader*>(data) - 1; }
  static unsigned AddressOf(const void* data) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(data)); }
  static std::string Hex8(const void* data) {
    char text[16];
    std::snprintf(text, sizeof(text), "%08x", AddressOf(data));
    return text;
  }
  std::string BlockLine(void* data) {
    ClearDebugText();
    LogTrackedBlock(HeaderOf(data));
    return DebugText();
  }

  int baseCount_ = 0;
  int baseBytes_ = 0;
};

TEST_F(TrackedHeapTest, BlockLineShowsFieldsAndTheFirstSixteenBytes) {
  auto* three = static_cast<unsigned char*>(AllocTrackedMemory(3, "source/some_long_file.cpp", 77));
  std::memcpy(three, "A\0B", 3);
  char expected[256];
  std::snprintf(expected, sizeof(expected),
                "\tsize:3(0.003kb)  file:e_long_file.cpp  line:77  ID:%d  addr:%08x  data:<A.B> [41 00 42]\r\n",
                HeaderOf(three)->id, AddressOf(three));
  EXPECT_EQ(BlockLine(three), expected);

  void* empty = AllocTrackedMemory(0, "short.cpp", 1);
  EXPECT_TRUE(BlockLine(empty).ends_with("file:short.cpp  line:1  ID:" + std::to_string(HeaderOf(empty)->id) +
                                         "  addr:" + Hex8(empty) + "  data:<> ]\r\n"));

  auto* twenty = static_cast<unsigned char*>(AllocTrackedMemory(20, nullptr, 0));
  for (int i = 0; i < 20; ++i) twenty[i] = static_cast<unsigned char>(0x7A + i);  // 'z' .. 0x8D
  EXPECT_TRUE(BlockLine(twenty).ends_with("file:  line:0  ID:" + std::to_string(HeaderOf(twenty)->id) +
                                          "  addr:" + Hex8(twenty) +
                                          "  data:<z{|}~\x7f..........> "
                                          "[7a 7b 7c 7d 7e 7f 80 81 82 83 84 85 86 87 88 89]\r\n"));

  FreeTrackedMemory(three);
  FreeTrackedMemory(empty);
  FreeTrackedMemory(twenty);
}

TEST_F(TrackedHeapTest, OnlyZeroByteBlocksAreTracedByDefault) {
  void* sized = AllocTrackedMemory(5, "a.cpp", 1);
  EXPECT_EQ(LogText(), "");
  void* empty = AllocTrackedMemory(0, "b.cpp", 2);
  EXPECT_TRUE(LogText().starts_with("mem alloc  \tsize:0(0.000kb)  file:b.cpp  line:2")) << LogText();
  FreeTrackedMemory(empty);
  EXPECT_NE(LogText().find("mem free  \tsize:0(0.000kb)  file:b.cpp"), std::string::npos);
  FreeTrackedMemory(sized);
}

TEST_F(TrackedHeapTest, OptionsTraceEveryOperationAndPrintTotals) {
  SetTrackedHeapOptions(TrackedHeapOptions{1, 1, 1, 0});
  void* data = AllocTrackedMemory(10, "t.cpp", 3);
  data = ReallocTrackedMemory(data, 2048, "t.cpp", 4);
  FreeTrackedMemory(data);
  const std::string log = LogText();
  const size_t alloc = log.find("mem alloc  \tsize:10(0.010kb)  file:t.cpp  line:3");
  const size_t realloc = log.find("mem realloc  \tsize:2048(2.000kb)  file:t.cpp  line:4");
  const size_t freed = log.find("mem free  \tsize:2048(2.000kb)");
  ASSERT_NE(alloc, std::string::npos);
  ASSERT_NE(realloc, std::string::npos);
  ASSERT_NE(freed, std::string::npos);
  EXPECT_LT(alloc, realloc);
  EXPECT_LT(realloc, freed);
  char totals[96];
  std::snprintf(totals, sizeof(totals), "\tTotal size:%d(%.3fkb)  Alloc num:%d\r\n", baseBytes_ + 2048,
                (baseBytes_ + 2048) / 1024.0, baseCount_ + 1);
  EXPECT_NE(log.find(totals), std::string::npos);
}

TEST_F(TrackedHeapTest, DumpListsLeakedBlocksNewestFirstAndIsCleanAfterFreeing) {
  void* older = AllocTrackedMemory(100, "leak_loader.cpp", 12);
  void* newer = AllocTrackedMemory(28, "leak_sound.cpp", 34);
  DumpTrackedMemory();
  const std::string dump = LogText();
  ASSERT_TRUE(dump.starts_with("\r\nAlloc memory dump\r\n")) << dump;
  const size_t newerLine = dump.find("\tsize:28(0.027kb)  file:leak_sound.cpp  line:34");
  const size_t olderLine = dump.find("\tsize:100(0.098kb)  file:leak_loader.cpp  line:12");
  ASSERT_NE(newerLine, std::string::npos);
  ASSERT_NE(olderLine, std::string::npos);
  EXPECT_LT(newerLine, olderLine);
  char totals[96];
  std::snprintf(totals, sizeof(totals), "\tTotal size:%d(%.3fkb)  Alloc num:%d\r\n\r\n", baseBytes_ + 128,
                (baseBytes_ + 128) / 1024.0, baseCount_ + 2);
  EXPECT_TRUE(dump.ends_with(totals)) << dump;

  FreeTrackedMemory(older);
  FreeTrackedMemory(newer);
  OpenLogFile();
  DumpTrackedMemory();
  const std::string clean = LogText();
  EXPECT_EQ(clean.find("leak_"), std::string::npos);
  std::snprintf(totals, sizeof(totals), "\tTotal size:%d(%.3fkb)  Alloc num:%d\r\n\r\n", baseBytes_,
                baseBytes_ / 1024.0, baseCount_);
  EXPECT_TRUE(clean.ends_with(totals)) << clean;
}

TEST_F(TrackedHeapTest, FreeingInAnyOrderKeepsTheListIntact) {
  // Oldest, middle and newest blocks taken out in every order of a small set.
  const std::vector<std::vector<int>> orders = {{0, 1, 2}, {2, 1, 0}, {1, 0, 2}, {1, 2, 0}};
  for (const auto& order : orders) {
    void* blocks[3];
    for (int i = 0; i < 3; ++i) blocks[i] = AllocTrackedMemory(8 + i, "order.cpp", i);
    for (int index : order) {
      FreeTrackedMemory(blocks[index]);
      EXPECT_EQ(CheckTrackedMemory(), 0);
    }
    EXPECT_EQ(GetTrackedBlockCount(), baseCount_);
    EXPECT_EQ(GetTrackedTotalBytes(), baseBytes_);
    // A later block links to the sentinel cleanly.
    void* later = AllocTrackedMemory(1, "order.cpp", 9);
    EXPECT_EQ(CheckTrackedMemory(), 0);
    FreeTrackedMemory(later);
  }
}

TEST_F(TrackedHeapTest, DamagedHeaderIsReportedAndTheBlockIsNotUnlinked) {
  void* victim = AllocTrackedMemory(4, "victim.cpp", 5);
  void* above = AllocTrackedMemory(4, "above.cpp", 6);
  TrackedBlockHeader* header = HeaderOf(victim);
  header->tag[0] = 'X';  // As an overrun of a neighbouring block would.

  EXPECT_EQ(CheckTrackedMemory(), -1);
  EXPECT_TRUE(DebugText().starts_with("以下のメモリ確保情報が破損しました\tsize:4(0.004kb)  file:Xictim.cpp  line:5"))
      << DebugText();
  FreeTrackedMemory(victim);
  EXPECT_EQ(GetTrackedBlockCount(), baseCount_ + 2);
  EXPECT_EQ(ReallocTrackedMemory(victim, 8, "x.cpp", 1), nullptr);

  header->tag[0] = 'v';
  EXPECT_EQ(CheckTrackedMemory(), 0);
  FreeTrackedMemory(victim);
  FreeTrackedMemory(above);
  EXPECT_EQ(GetTrackedBlockCount(), baseCount_);
}

TEST_F(TrackedHeapTest, ReallocKeepsContentsZeroesGrowthAndRestamps) {
  void* fresh = ReallocTrackedMemory(nullptr, 6, "new.cpp", 2);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(std::string(HeaderOf(fresh)->tag), "new.cpp");

  auto* bytes = static_cast<unsigned char*>(AllocTrackedMemory(4, "first.cpp", 10));
  void* newest = AllocTrackedMemory(4, "newest.cpp", 11);
  std::memcpy(bytes, "\x01\x02\x03\x04", 4);
  const int oldId = HeaderOf(bytes)->id;
  const int count = GetTrackedBlockCount();
  auto* grown = static_cast<unsigned char*>(ReallocTrackedMemory(bytes, 4000, "second.cpp", 20));
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(std::memcmp(grown, "\x01\x02\x03\x04", 4), 0);
  for (int i = 4; i < 4000; ++i) ASSERT_EQ(grown[i], 0) << i;
  EXPECT_NE(HeaderOf(grown)->id, oldId);
  EXPECT_EQ(std::string(HeaderOf(grown)->tag), "second.cpp");
  EXPECT_EQ(HeaderOf(grown)->line, 20);
  EXPECT_EQ(GetTrackedBlockCount(), count);
  EXPECT_EQ(GetTrackedTotalBytes(), baseBytes_ + 6 + 4000 + 4);
  EXPECT_EQ(CheckTrackedMemory(), 0);

  // Re-sizing the newest block keeps it the head of the list.
  newest = ReallocTrackedMemory(newest, 3000, "newest.cpp", 12);
  EXPECT_EQ(HeaderOf(newest)->newer, nullptr);
  EXPECT_EQ(CheckTrackedMemory(), 0);

  FreeTrackedMemory(grown);
  FreeTrackedMemory(newest);
  FreeTrackedMemory(fresh);
  EXPECT_EQ(GetTrackedBlockCount(), baseCount_);
  EXPECT_EQ(GetTrackedTotalBytes(), baseBytes_);
}

TEST_F(TrackedHeapTest, TagKeepsTheLastFifteenCharacters) {
  const struct {
    const char* name;
    const char* tag;
  } cases[] = {{"abcdefghijklmnopqrstuvwxyz", "lmnopqrstuvwxyz"},
               {"exactly15chars!", "exactly15chars!"},
               {"short.cpp", "short.cpp"},
               {"", ""},
               {nullptr, ""}};
  for (const auto& one : cases) {
    void* data = AllocTrackedMemory(1, one.name, 1);
    EXPECT_STREQ(HeaderOf(data)->tag, one.tag);
    FreeTrackedMemory(data);
  }
}

TEST_F(TrackedHeapTest, NegativeAndOverflowingSizesAreRefused) {
  for (int size : {-1, INT_MIN, INT_MAX, INT_MAX - 79}) {
    EXPECT_EQ(AllocTrackedMemory(size, "bad.cpp", 1), nullptr) << size;
    EXPECT_EQ(AllocTrackedMemoryZeroed(size, "bad.cpp", 1), nullptr) << size;
  }
  void* block = AllocTrackedMemory(8, "keep.cpp", 2);
  std::memcpy(block, "contents", 8);
  EXPECT_EQ(ReallocTrackedMemory(block, -8, "bad.cpp", 3), nullptr);
  EXPECT_EQ(std::memcmp(block, "contents", 8), 0);
  EXPECT_EQ(GetTrackedBlockCount(), baseCount_ + 1);
  EXPECT_EQ(CheckTrackedMemory(), 0);
  FreeTrackedMemory(block);
  EXPECT_NE(LogText().find(zyvel_test::Utf8(u8"確保するメモリのサイズが不正です(-1 byte)  file:bad.cpp  line:1\r\n")),
            std::string::npos);
}

TEST_F(TrackedHeapTest, RefusedProcessHeapDumpsTheListAndKeepsTheOldBlock) {
  void* kept = AllocTrackedMemory(16, "kept.cpp", 1);
  platform::testing::FailHeapAllocations(1);
  EXPECT_EQ(AllocTrackedMemory(32, "refused.cpp", 2), nullptr);
  EXPECT_NE(LogText().find("Alloc memory dump\r\n\tsize:16(0.016kb)  file:kept.cpp"), std::string::npos);

  platform::testing::FailHeapAllocations(1);
  EXPECT_EQ(ReallocTrackedMemory(kept, 64, "refused.cpp", 3), nullptr);
  EXPECT_EQ(GetTrackedBlockCount(), baseCount_ + 1);
  EXPECT_EQ(CheckTrackedMemory(), 0);
  EXPECT_STREQ(HeaderOf(kept)->tag, "kept.cpp");
  FreeTrackedMemory(kept);
}

TEST_F(TrackedHeapTest, ThreadsAllocatingAtOnceKeepTheCountsExact) {
  auto worker = [](int seed) {
    std::vector<void*> blocks;
    for (int i = 0; i < 2000; ++i) {
      blocks.push_back(AllocTrackedMemory(1 + (seed * 7 + i) % 100, "worker.cpp", i));
      if (i % 3 == 2) {
        blocks[i / 2] = ReallocTrackedMemory(blocks[i / 2], 50, "worker.cpp", i);
      }
    }
    for (void* block : blocks) FreeTrackedMemory(block);
  };
  std::vector<std::thread> threads;
  for (int seed = 0; seed < 3; ++seed) threads.emplace_back(worker, seed);
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(GetTrackedBlockCount(), baseCount_);
  EXPECT_EQ(GetTrackedTotalBytes(), baseBytes_);
  EXPECT_EQ(CheckTrackedMemory(), 0);
}

TEST_F(TrackedHeapTest, ZeroedAllocationIsZero) {
  platform::testing::FailHeapAllocations(0);
  auto* data = static_cast<unsigned char*>(AllocTrackedMemoryZeroed(333, "zero.cpp", 1));
  for (int i = 0; i < 333; ++i) ASSERT_EQ(data[i], 0);
  FreeTrackedMemory(data);
}

}  // namespace
