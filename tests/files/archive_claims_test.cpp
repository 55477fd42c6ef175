// Compressed members whose entries claim more than their streams unpack to: every way of opening
// the archive refuses the member without ever asking the heap for the claimed size.
#include <cstring>
#include <mutex>

#include "file_test_support.h"
#include "runtime/log.h"
#include "runtime/tracked_heap.h"

namespace files_test {
namespace {

// A little over a megabyte of noise, compressed anyway, then given an entry and a stream head that
// both claim `claimed` bytes (within the compressor's greatest expansion, so the layout passes).
std::vector<unsigned char> ArchiveClaiming(uint32_t claimed) {
  ArchiveWriterOptions options;
  options.compression = ArchiveCompression::Always;
  std::vector<unsigned char> image = PackTree(
      DirectoryItem("", {FileItem("big.bin", RandomBytes(1200000, 7)), FileItem("ok.txt", {'o', 'k'})}), options);
  ArchiveState archive;
  ClearArchiveState(&archive);
  EXPECT_EQ(OpenArchiveInMemory(&archive, image.data(), static_cast<int>(image.size()), nullptr), 0);
  // Open, the caller's image is plain: patch the entry and the stream head in place.
  auto* entry = const_cast<unsigned char*>(FindArchiveFileEntry("big.bin", &archive));
  EXPECT_NE(entry, nullptr);
  if (entry) {
    unsigned char* head = image.data() + archive.header.dataOffset + ArchiveEntryDataAddress(entry);
    for (int i = 0; i < 4; ++i) entry[36 + i] = head[i] = static_cast<unsigned char>(claimed >> (8 * i));
  }
  CloseArchiveState(&archive);
  return image;
}

class ArchiveClaims : public ScratchDirectory {
 protected:
  void SetUp() override {
    ScratchDirectory::SetUp();
    // The heap traces blocks of the claimed size into the log, whose text comes here.
    platform::testing::CaptureDebugOutput([this](const std::string& text) {
      std::lock_guard<std::mutex> lock(mutex_);
      log_ += text;
    });
    SetLogDirectory(windowsRoot_.c_str());
    OpenLogFile();
  }
  void TearDown() override {
    SetTrackedHeapOptions({});
    SetLogDirectory("");
    platform::testing::CaptureDebugOutput({});
    ScratchDirectory::TearDown();
  }
  std::string Log() {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
  }

  std::mutex mutex_;
  std::string log_;
};

TEST_F(ArchiveClaims, AClaimTheStreamDoesNotUnpackToIsRefusedBeforeItIsAllocated) {
  constexpr uint32_t kClaimed = 0x7FFFFF00u;  // Near 2 GB.
  const std::vector<unsigned char> image = ArchiveClaiming(kClaimed);
  WriteDiskFile(Linux("BIG.ZVA"), image);
  TrackedHeapOptions trace;
  trace.traceSize = static_cast<int>(kClaimed);
  SetTrackedHeapOptions(trace);
  const int blocksBefore = GetTrackedBlockCount();

  auto tryMembers = [](ArchiveState* archive, int asynchronous, const char* mode) {
    SCOPED_TRACE(mode);
    ArchiveFileState member;
    if (OpenArchiveMember(&member, archive, "big.bin", asynchronous) == 0) {
      // An asynchronous member fails when its bytes arrive: it reads as empty.
      unsigned char byte;
      EXPECT_EQ(ReadArchiveMember(&member, &byte, 1), 0);
      CloseArchiveMember(&member);
    }
    ASSERT_EQ(OpenArchiveMember(&member, archive, "ok.txt", asynchronous), 0);  // The archive still serves.
    unsigned char text[2];
    EXPECT_EQ(ReadArchiveMember(&member, text, 2), 2);
    EXPECT_EQ(std::memcmp(text, "ok", 2), 0);
    CloseArchiveMember(&member);
  };
  {
    std::vector<unsigned char> copy = image;
    ArchiveState archive;
    ClearArchiveState(&archive);
    ASSERT_EQ(OpenArchiveInMemory(&archive, copy.data(), static_cast<int>(copy.size()), nullptr), 0);
    tryMembers(&archive, 0, "caller's image");
    CloseArchiveState(&archive);
  }
  for (int asynchronous : {0, 1}) {
    ArchiveState archive;
    ClearArchiveState(&archive);
    ASSERT_EQ(OpenArchiveFileHeader(&archive, "big.zva", nullptr), 0);
    tryMembers(&archive, asynchronous, asynchronous ? "header block, asynchronous" : "header block");
    CloseArchiveState(&archive);
    ClearArchiveState(&archive);
    ASSERT_EQ(OpenArchiveFileWhole(&archive, "big.zva", nullptr, asynchronous), 0);
    tryMembers(&archive, asynchronous, "whole file");
    CloseArchiveState(&archive);
  }
  EXPECT_EQ(Log().find("mem alloc"), std::string::npos) << "the claimed size was allocated";
  EXPECT_NE(Log().find("アーカイブ内のファイルの展開に失敗しました"), std::string::npos);
  EXPECT_EQ(GetTrackedBlockCount(), blocksBefore);
}

// The dry walk agrees with the decoder: a stream that unpacks to its head's size measures so.
TEST(ArchiveLzMeasure, AgreesWithTheDecoderOnGoodAndCutStreams) {
  const std::vector<unsigned char> data = CompressibleBytes(20000, 9);
  ArchiveWriterOptions options;
  options.compression = ArchiveCompression::Always;
  std::vector<unsigned char> image = PackTree(DirectoryItem("", {FileItem("d.bin", data)}), options);
  ArchiveState archive;
  ClearArchiveState(&archive);
  ASSERT_EQ(OpenArchiveInMemory(&archive, image.data(), static_cast<int>(image.size()), nullptr), 0);
  const unsigned char* entry = FindArchiveFileEntry("d.bin", &archive);
  ASSERT_NE(entry, nullptr);
  const unsigned char* stream = image.data() + archive.header.dataOffset + ArchiveEntryDataAddress(entry);
  const int length = static_cast<int>(ArchiveEntryPackedSize(&archive, entry));
  std::vector<unsigned char> out(data.size());
  EXPECT_EQ(MeasureArchiveLz(stream, length), static_cast<int>(data.size()));
  for (int cut : {length - 1, length / 2, 9, 8, 0}) {
    SCOPED_TRACE(cut);
    std::vector<unsigned char> shortened(stream, stream + cut);
    if (cut >= 9) {
      // The head's packed size follows the cut, so only the body is short.
      for (int i = 0; i < 4; ++i) shortened[4 + i] = static_cast<unsigned char>(cut >> (8 * i));
    }
    EXPECT_EQ(MeasureArchiveLz(shortened.data(), cut), -1);
    EXPECT_EQ(UnpackArchiveLz(shortened.data(), cut, out.data(), static_cast<int>(out.size())), -1);
  }
  CloseArchiveState(&archive);
}

}  // namespace
}  // namespace files_test
