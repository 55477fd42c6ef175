// Handle words and handle tables: the word's layout, slot order, check counts, refusals and the
// graph table's fatal limit.
#include <climits>
#include <vector>

#include "runtime/handle_table.h"
#include "runtime/log_directory.h"
#include "runtime/tracked_heap.h"

namespace {

struct TestRecord {
  HandleRecordHeader header;
  int payload;
};

// A table of `size` slots of one kind, with its own slot array.
struct SmallTable {
  SmallTable(HandleKind kind, int size) : slots(static_cast<size_t>(size), nullptr) {
    table = HandleTable{kind, size, slots.data(), 0, 0, 0};
  }
  ~SmallTable() {
    for (void* record : slots) ZV_FREE(record);
  }
  HandleWord Add() {
    void* record = nullptr;
    return AddHandleRecord(&table, sizeof(TestRecord), &record);
  }
  std::vector<void*> slots;
  HandleTable table;
};

TEST(HandleWordTest, LayoutCarriesKindCheckCountAndSlot) {
  const struct {
    int slot, checkCount;
    HandleKind kind;
    uint32_t word;
  } cases[] = {{3, 5, HANDLE_KIND_GRAPH, 0x08050003u},
               {0, 0, HANDLE_KIND_GRAPH, 0x08000000u},
               {0xFFFF, 2047, HANDLE_KIND_INDEX_BUFFER, 0x7FFFFFFFu},
               {39, 1, HANDLE_KIND_FONT, 0x20010027u},
               {8191, 2046, HANDLE_KIND_SOFT_IMAGE, 0x5FFE1FFFu}};
  for (const auto& one : cases) {
    const HandleWord handle = MakeHandleWord(one.slot, one.checkCount, one.kind);
    EXPECT_EQ(static_cast<uint32_t>(handle), one.word);
    EXPECT_GE(handle, 0);
    EXPECT_EQ(HandleSlotOf(handle), one.slot);
    EXPECT_EQ(HandleCheckCountOf(handle), one.checkCount);
    EXPECT_EQ(HandleKindOf(handle), one.kind);
  }
}

TEST(HandleTableTest, RecordsAreZeroFilledAndKnowTheirHandle) {
  SmallTable graphs(HANDLE_KIND_GRAPH, 8);
  void* record = nullptr;
  const HandleWord handle = AddHandleRecord(&graphs.table, sizeof(TestRecord), &record);
  ASSERT_NE(record, nullptr);
  auto* test = static_cast<TestRecord*>(record);
  EXPECT_EQ(test->header.handle, handle);
  EXPECT_EQ(test->header.checkCount, 0);
  EXPECT_EQ(test->header.lostFlag, nullptr);
  EXPECT_EQ(test->payload, 0);
  EXPECT_EQ(handle, MakeHandleWord(0, 0, HANDLE_KIND_GRAPH));
  EXPECT_EQ(GetHandleRecord(&graphs.table, handle), record);
}

TEST(HandleTableTest, RefusesNegativeForeignOutOfRangeEmptyAndStaleHandles) {
  SmallTable graphs(HANDLE_KIND_GRAPH, 4);
  const HandleWord first = graphs.Add();
  const HandleWord second = graphs.Add();
  ASSERT_EQ(DeleteHandleRecord(&graphs.table, second), 0);
  const HandleWord reused = graphs.Add();  // Same slot, new check count.
  ASSERT_EQ(HandleSlotOf(reused), HandleSlotOf(second));

  const HandleWord refused[] = {
      -1,
      INT_MIN,
      static_cast<HandleWord>(static_cast<uint32_t>(first) | 0x80000000u),  // Sign bit on a valid word.
      MakeHandleWord(HandleSlotOf(first), 0, HANDLE_KIND_FONT),             // A font handle.
      MakeHandleWord(4, 0, HANDLE_KIND_GRAPH),                              // Past the table.
      MakeHandleWord(0x8000, 0, HANDLE_KIND_GRAPH),
      MakeHandleWord(3, 0, HANDLE_KIND_GRAPH),  // A slot never used.
      second,                                   // Deleted, its slot reused.
  };
  for (HandleWord handle : refused) {
    EXPECT_EQ(GetHandleRecord(&graphs.table, handle), nullptr) << std::hex << handle;
    EXPECT_EQ(DeleteHandleRecord(&graphs.table, handle), -1) << std::hex << handle;
  }
  EXPECT_NE(GetHandleRecord(&graphs.table, first), nullptr);
  EXPECT_NE(GetHandleRecord(&graphs.table, reused), nullptr);
  EXPECT_EQ(graphs.table.usedCount, 2);
}

TEST(HandleTableTest, SlotsComeFromTheHighWaterMarkThenTheFirstFreeSlot) {
  SmallTable sounds(HANDLE_KIND_SOUND, 5);
  std::vector<HandleWord> handles;
  for (int i = 0; i < 3; ++i) handles.push_back(sounds.Add());

  // Deleting the highest object lowers the mark, and its slot is taken next.
  DeleteHandleRecord(&sounds.table, handles[2]);
  EXPECT_EQ(sounds.table.highWaterMark, 2);
  handles[2] = sounds.Add();
  EXPECT_EQ(HandleSlotOf(handles[2]), 2);

  // A hole in the middle stays until the mark reaches the end of the table.
  DeleteHandleRecord(&sounds.table, handles[1]);
  EXPECT_EQ(HandleSlotOf(sounds.Add()), 3);
  EXPECT_EQ(HandleSlotOf(sounds.Add()), 4);
  EXPECT_EQ(sounds.table.highWaterMark, 5);
  EXPECT_EQ(HandleSlotOf(sounds.Add()), 1);
  EXPECT_EQ(sounds.table.usedCount, 5);

  // Full: other kinds fail with -1.
  EXPECT_EQ(sounds.Add(), -1);
}

TEST(HandleTableTest, DeletingTheTopLowersTheMarkPastEmptySlots) {
  SmallTable fonts(HANDLE_KIND_FONT, FONT_HANDLE_TABLE_SIZE);
  std::vector<HandleWord> handles;
  for (int i = 0; i < 6; ++i) handles.push_back(fonts.Add());
  DeleteHandleRecord(&fonts.table, handles[3]);
  DeleteHandleRecord(&fonts.table, handles[4]);
  DeleteHandleRecord(&fonts.table, handles[5]);
  EXPECT_EQ(fonts.table.highWaterMark, 3);
  for (int i = 0; i < 3; ++i) DeleteHandleRecord(&fonts.table, handles[i]);
  EXPECT_EQ(fonts.table.highWaterMark, 0);
  EXPECT_EQ(fonts.table.usedCount, 0);
}

TEST(HandleTableTest, CheckCountWrapsAfter2048Creations) {
  SmallTable lights(HANDLE_KIND_LIGHT, 1);
  const HandleWord first = lights.Add();
  HandleWord previous = first;
  for (int i = 1; i < HANDLE_CHECK_COUNT_LIMIT; ++i) {
    ASSERT_EQ(DeleteHandleRecord(&lights.table, previous), 0);
    previous = lights.Add();
    ASSERT_EQ(HandleCheckCountOf(previous), i);
    ASSERT_EQ(GetHandleRecord(&lights.table, first), nullptr);
  }
  ASSERT_EQ(DeleteHandleRecord(&lights.table, previous), 0);
  EXPECT_EQ(lights.Add(), first);  // The 2049th creation repeats the first handle.
}

TEST(HandleTableTest, DeleteSetsTheLostFlagAndFreesTheRecord) {
  SmallTable masks(HANDLE_KIND_MASK, 2);
  const int blocks = GetTrackedBlockCount();
  void* record = nullptr;
  const HandleWord handle = AddHandleRecord(&masks.table, sizeof(TestRecord), &record);
  int lost = 0;
  static_cast<HandleRecordHeader*>(record)->lostFlag = &lost;
  EXPECT_EQ(GetTrackedBlockCount(), blocks + 1);
  EXPECT_EQ(DeleteHandleRecord(&masks.table, handle), 0);
  EXPECT_EQ(lost, 1);
  EXPECT_EQ(GetTrackedBlockCount(), blocks);
  EXPECT_EQ(masks.table.slots[0], nullptr);
}

TEST(HandleTableTest, OtherKindsReportAFailedRecordAllocation) {
  SmallTable models(HANDLE_KIND_MODEL, 2);
  platform::testing::FailHeapAllocations(1);
  void* record = &models;
  EXPECT_EQ(AddHandleRecord(&models.table, sizeof(TestRecord), &record), -1);
  EXPECT_EQ(record, nullptr);
  platform::testing::ResetAll();
  EXPECT_EQ(models.table.usedCount, 0);
  EXPECT_EQ(models.table.highWaterMark, 0);
  EXPECT_EQ(models.table.nextCheckCount, 0);
}

class GraphTableDeathTest : public zyvel_test::LogDirectoryTest {};

TEST_F(GraphTableDeathTest, AFullGraphTableEndsTheProgram) {
  SmallTable graphs(HANDLE_KIND_GRAPH, 2);
  graphs.Add();
  graphs.Add();
  EXPECT_EXIT(graphs.Add(), ::testing::ExitedWithCode(255), "");
  EXPECT_EQ(LogText(), zyvel_test::Utf8(u8"0:グラフィックの数が許容量を越えました終了します\r\n"));
}

TEST_F(GraphTableDeathTest, AGraphRecordThatCannotBeAllocatedEndsTheProgram) {
  SmallTable graphs(HANDLE_KIND_GRAPH, 2);
  EXPECT_EXIT(
      {
        platform::testing::FailHeapAllocations(1);
        graphs.Add();
      },
      ::testing::ExitedWithCode(255), "");
  EXPECT_NE(LogText().find(zyvel_test::Utf8(u8"0:メモリの確保に失敗しました\r\n")), std::string::npos);
}

}  // namespace
