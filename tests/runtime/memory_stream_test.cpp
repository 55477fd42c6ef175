// Memory streams read through the memory stream-function set, as every loader does.
#include <climits>
#include <cstring>

#include "runtime/tracked_heap.h"
#include "zyvel/runtime.h"

#include <gtest/gtest.h>

namespace {

const unsigned char kTenBytes[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};

class MemoryStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    funcs_ = GetMemoryStreamFuncs();
    stream_ = reinterpret_cast<StreamHandle>(OpenMemoryStream(kTenBytes, sizeof(kTenBytes)));
    ASSERT_NE(stream_, 0u);
  }
  void TearDown() override { EXPECT_EQ(funcs_->Close(stream_), 0); }

  const StreamFunctionSet* funcs_ = nullptr;
  StreamHandle stream_ = 0;
};

TEST_F(MemoryStreamTest, WholeItemsThenTheLastPartialItemThenTheEnd) {
  unsigned char out[12];
  std::memset(out, 0xEE, sizeof(out));
  EXPECT_EQ(funcs_->Read(out, 4, 3, stream_), 2);
  EXPECT_EQ(funcs_->Tell(stream_), 8);
  EXPECT_EQ(std::memcmp(out, kTenBytes, 8), 0);
  EXPECT_EQ(out[8], 0xEE);
  EXPECT_EQ(funcs_->Eof(stream_), 0);

  std::memset(out, 0xEE, sizeof(out));
  EXPECT_EQ(funcs_->Read(out, 4, 3, stream_), 1);
  EXPECT_EQ(out[0], 8);
  EXPECT_EQ(out[1], 9);
  EXPECT_EQ(out[2], 0xEE);  // Only the two bytes that are left.
  EXPECT_EQ(funcs_->Tell(stream_), 10);
  EXPECT_EQ(funcs_->Eof(stream_), 0);

  EXPECT_EQ(funcs_->Read(out, 4, 3, stream_), 0);
  EXPECT_EQ(funcs_->Eof(stream_), 1);
  EXPECT_EQ(funcs_->IdleWait(stream_), 1);
}

TEST_F(MemoryStreamTest, SeekClampsIntoTheBlockAndClearsEof) {
  const struct {
    int start, offset, origin, position;
  } cases[] = {{4, -5, 0, 0},       {4, 110, 0, 10},    {4, 3, 0, 3},        {4, 3, 1, 7},
               {4, -9, 1, 0},       {4, 100, 1, 10},    {4, -3, 2, 7},       {4, 5, 2, 10},
               {4, INT_MAX, 1, 10}, {4, INT_MIN, 1, 0}, {9, INT_MAX, 2, 10}, {9, INT_MIN, 2, 0}};
  unsigned char out[16];
  for (const auto& one : cases) {
    funcs_->Seek(stream_, 0, 2);
    funcs_->Read(out, 1, 1, stream_);  // Sets eof.
    ASSERT_EQ(funcs_->Eof(stream_), 1);
    funcs_->Seek(stream_, one.start, 0);
    EXPECT_EQ(funcs_->Seek(stream_, one.offset, one.origin), 0);
    EXPECT_EQ(funcs_->Tell(stream_), one.position) << one.offset << " from " << one.origin;
    EXPECT_EQ(funcs_->Eof(stream_), 0);
  }
}

TEST_F(MemoryStreamTest, CountZeroAndItemSizeZero) {
  unsigned char out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  funcs_->Seek(stream_, 3, 0);
  EXPECT_EQ(funcs_->Read(out, 4, 0, stream_), 0);
  EXPECT_EQ(funcs_->Read(out, 0, 7, stream_), 7);
  EXPECT_EQ(funcs_->Tell(stream_), 3);
  EXPECT_EQ(funcs_->Eof(stream_), 0);
  EXPECT_EQ(out[0], 0xEE);
}

TEST_F(MemoryStreamTest, HugeItemCountsDoNotOverflow) {
  unsigned char out[10];
  EXPECT_EQ(funcs_->Read(out, 65536, 65536, stream_), 1);  // 2^32 bytes asked, the 10 there given.
  EXPECT_EQ(std::memcmp(out, kTenBytes, 10), 0);
  EXPECT_EQ(funcs_->Tell(stream_), 10);
}

TEST(MemoryStreamSetTest, SetsHoldTheirOperationsBeforeAndAfterStartUpRefillsThem) {
  for (int round = 0; round < 2; ++round) {
    const StreamFunctionSet* memory = GetMemoryStreamFuncs();
    EXPECT_EQ(memory->Tell, MemoryStreamTell);
    EXPECT_EQ(memory->Seek, MemoryStreamSeek);
    EXPECT_EQ(memory->Read, MemoryStreamRead);
    EXPECT_EQ(memory->Eof, MemoryStreamEof);
    EXPECT_EQ(memory->IdleWait, MemoryStreamIdleWait);
    EXPECT_EQ(memory->Close, CloseMemoryStream);
    const StreamFunctionSet* file = GetFileStreamFuncs();
    EXPECT_EQ(file->Tell, StreamFileTell);
    EXPECT_EQ(file->Seek, StreamFileSeek);
    EXPECT_EQ(file->Read, StreamFileRead);
    EXPECT_EQ(file->Eof, StreamFileEof);
    EXPECT_EQ(file->IdleWait, StreamFileIdleWait);
    EXPECT_EQ(file->Close, StreamFileClose);
    FillStreamFunctionSets();
  }
}

TEST(MemoryStreamSetTest, StreamRecordComesFromTheTrackedHeap) {
  const int blocks = GetTrackedBlockCount();
  MemoryStream* stream = OpenMemoryStream(kTenBytes, 10);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->position, 0);
  EXPECT_EQ(stream->eof, 0);
  EXPECT_EQ(GetTrackedBlockCount(), blocks + 1);
  CloseMemoryStream(reinterpret_cast<StreamHandle>(stream));
  EXPECT_EQ(GetTrackedBlockCount(), blocks);
}

TEST(MemoryStreamSetTest, EmptyStreamIsAtItsEndAtOnce) {
  MemoryStream* stream = OpenMemoryStream(nullptr, 0);
  unsigned char out[1];
  const auto handle = reinterpret_cast<StreamHandle>(stream);
  EXPECT_EQ(MemoryStreamRead(out, 1, 1, handle), 0);
  EXPECT_EQ(MemoryStreamEof(handle), 1);
  CloseMemoryStream(handle);
}

}  // namespace
