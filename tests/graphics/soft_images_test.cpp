// Soft images: the kind-11 handle table, deletion by handle with its checks, the high-water mark,
// and emptying the table as shut-down does.
#include <gtest/gtest.h>

#include "graphics/images/soft_images.h"
#include "graphics/screen_services.h"
#include "runtime/tracked_heap.h"

namespace {

class SoftImages : public ::testing::Test {
 protected:
  void SetUp() override { blocksBefore_ = GetTrackedBlockCount(); }
  void TearDown() override {
    EXPECT_EQ(DeleteAllSoftImages(), 0);
    EXPECT_EQ(g_softImageTable.usedCount, 0);
    EXPECT_EQ(g_softImageTable.highWaterMark, 0);
    EXPECT_EQ(GetTrackedBlockCount(), blocksBefore_) << "records and pixels are freed";
  }
  static int Add(int width = 2, int height = 2) {
    BaseImage image{};
    EXPECT_EQ(CreateARGB8BaseImage(width, height, &image), 0);
    const int handle = AddSoftImage(&image);
    EXPECT_EQ(image.pixels, nullptr) << "the pixels moved into the record";
    return handle;
  }
  int blocksBefore_ = 0;
};

TEST_F(SoftImages, HandlesCarryKindSlotAndCheckCount) {
  const int handle = Add();
  ASSERT_GE(handle, 0);
  EXPECT_EQ(handle & 0x78000000, 0x58000000) << "kind 11";
  const int slot = handle & 0xFFFF;
  const int check = (handle >> 16) & 0x7FF;
  struct {
    const char* name;
    int handle;
  } refused[] = {
      {"negative", -1},
      {"another kind", (handle & ~0x78000000) | 0x08000000},
      {"slot past the table", (handle & ~0xFFFF) | 8192},
      {"empty slot", (handle & ~0xFFFF) | (slot + 1)},
      {"stale check count", (handle & ~0x07FF0000) | (((check + 1) & 0x7FF) << 16)},
  };
  for (const auto& r : refused) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(DeleteSoftImage(r.handle), -1);
    EXPECT_EQ(g_softImageTable.usedCount, 1) << "nothing changed";
  }
  EXPECT_EQ(DeleteSoftImage(handle), 0);
  EXPECT_EQ(DeleteSoftImage(handle), -1) << "deleted once";
}

TEST_F(SoftImages, HighWaterMarkFallsOnlyWithTheHighestRecord) {
  const int a = Add(), b = Add(), c = Add(3, 1);
  const int base = g_softImageTable.highWaterMark - 3;
  EXPECT_EQ(DeleteSoftImage(b), 0);
  EXPECT_EQ(g_softImageTable.highWaterMark, base + 3) << "a middle slot leaves the mark";
  EXPECT_EQ(DeleteSoftImage(c), 0);
  EXPECT_EQ(g_softImageTable.highWaterMark, base + 1) << "one past the next used slot below";
  EXPECT_EQ(DeleteSoftImage(a), 0);
  EXPECT_EQ(g_softImageTable.highWaterMark, 0) << "the only record gone";
  EXPECT_EQ(DeleteAllSoftImages(), 0) << "an empty table";
}

TEST_F(SoftImages, ClearingDeletesEveryRecord) {
  int handles[5];
  for (int& handle : handles) handle = Add();
  EXPECT_EQ(DeleteSoftImage(handles[1]), 0);
  EXPECT_EQ(ClearSoftImageTable(), 0);
  for (int handle : handles) EXPECT_EQ(DeleteSoftImage(handle), -1);
}

}  // namespace
