// The plain-file set: read and end-of-file rules, the three record kinds against one model,
// failures, find-file, full paths and temporary files.
#include <cstring>
#include <thread>

#include "file_test_support.h"

namespace files_test {
namespace {

class PlainFiles : public ScratchDirectory {};

TEST_F(PlainFiles, ReadAndEndOfFileRules) {
  WriteDiskFile(Linux("ten.bin"), {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  for (int useCache : {0, 1}) {
    StreamHandle file = PlainFileOpen("ten.bin", useCache, 1, 0);
    ASSERT_NE(file, 0u);
    unsigned char buffer[64] = {0};
    // Four-byte items, ten asked, six bytes left: one item.
    ASSERT_EQ(PlainFileSeek(file, 4, 0), 0);
    EXPECT_EQ(PlainFileRead(buffer, 4, 10, file), 1);
    EXPECT_EQ(PlainFileTell(file), 8);
    EXPECT_EQ(0, std::memcmp(buffer, "\x04\x05\x06\x07", 4));
    EXPECT_EQ(PlainFileEof(file), 0);
    EXPECT_EQ(PlainFileRead(buffer, 4, 1, file), 0);  // Only a partial item is left.
    EXPECT_EQ(PlainFileEof(file), -1);
    // Item size 0 touches nothing.
    ASSERT_EQ(PlainFileSeek(file, 0, 0), 0);
    EXPECT_EQ(PlainFileRead(buffer, 0, 5, file), 0);
    EXPECT_EQ(PlainFileEof(file), 0);
    // A seek to the end clears eof; the next read sets it again.
    ASSERT_EQ(PlainFileSeek(file, 0, 2), 0);
    EXPECT_EQ(PlainFileEof(file), 0);
    EXPECT_EQ(PlainFileRead(buffer, 1, 1, file), 0);
    EXPECT_EQ(PlainFileEof(file), -1);
    // Past the end reads nothing and moves nowhere; before the start is refused.
    ASSERT_EQ(PlainFileSeek(file, 100, 0), 0);
    EXPECT_EQ(PlainFileRead(buffer, 4, 3, file), 0);
    EXPECT_EQ(PlainFileTell(file), 100);
    EXPECT_EQ(PlainFileEof(file), -1);
    EXPECT_EQ(PlainFileSeek(file, -1, 0), -1);
    EXPECT_EQ(PlainFileSeek(file, -200, 1), -1);
    EXPECT_EQ(PlainFileTell(file), 100);
    // Huge counts do not overflow.
    ASSERT_EQ(PlainFileSeek(file, 0, 0), 0);
    EXPECT_EQ(PlainFileRead(buffer, 0x40000000, 0x40000000, file), 0);
    EXPECT_EQ(PlainFileRead(buffer, 2, 0x7FFFFFFF, file), 5);
    EXPECT_EQ(PlainFileClose(file), 0);
  }
}

TEST_F(PlainFiles, MissingFilesAndRefusedResourcesGiveNull) {
  EXPECT_EQ(PlainFileOpen("no-such-file", 0, 1, 0), 0u);
  EXPECT_EQ(PlainFileOpen("no-such-file", 1, 1, 1), 0u);
  WriteDiskFile(Linux("a.bin"), {1, 2, 3});
  platform::testing::FailThreadCreation(1);
  EXPECT_EQ(PlainFileOpen("a.bin", 0, 1, 1), 0u);
  platform::testing::FailHeapAllocations(1);
  EXPECT_EQ(PlainFileOpen("a.bin", 0, 1, 0), 0u);
  platform::testing::ResetAll();
  StreamHandle file = PlainFileOpen("A.BIN", 0, 1, 1);  // Names resolve without regard to case.
  ASSERT_NE(file, 0u);
  EXPECT_EQ(PlainFileClose(file), 0);
}

// One random seek and read script through every record kind must give the bytes of the file, by
// the same rules; the sleeps let the read-ahead worker fill its cache between reads.
TEST_F(PlainFiles, AllRecordKindsGiveTheSameBytes) {
  const std::vector<unsigned char> content = RandomBytes(400000, 7);
  WriteDiskFile(Linux("data.bin"), content);
  struct Kind {
    int useCache;
    int asynchronous;
  };
  for (Kind kind : {Kind{0, 0}, Kind{1, 0}, Kind{0, 1}, Kind{1, 1}}) {
    SCOPED_TRACE(testing::Message() << "useCache " << kind.useCache << " asynchronous " << kind.asynchronous);
    StreamHandle file = PlainFileOpen("data.bin", kind.useCache, 1, kind.asynchronous);
    ASSERT_NE(file, 0u);
    std::mt19937 random(99);
    int position = 0;
    bool eof = false;
    std::vector<unsigned char> buffer(70000);
    for (int step = 0; step < 300; ++step) {
      if (step % 100 == 50) Sleep(150);
      const int action = static_cast<int>(random() % 10);
      if (action < 2) {
        const int origin = static_cast<int>(random() % 3);
        const int offset = static_cast<int>(random() % 420000) - (origin == 0 ? 0 : 210000);
        const int64_t target = (origin == 0 ? 0 : origin == 1 ? position : 400000) + int64_t{offset};
        const int result = PlainFileSeek(file, offset, origin);
        if (target < 0) {
          ASSERT_EQ(result, -1);
        } else {
          ASSERT_EQ(result, 0);
          position = static_cast<int>(target);
          eof = false;
        }
        continue;
      }
      const int itemSize = 1 + static_cast<int>(random() % 8);
      const int count = static_cast<int>(random() % (action < 8 ? 600 : 8000));
      int expected = 0;
      if (position >= 400000) {
        eof = true;
      } else {
        expected = std::min(count, (400000 - position) / itemSize);
        if (expected == 0 && count > 0) eof = true;
      }
      std::fill(buffer.begin(), buffer.end(), 0xEE);
      const int got = PlainFileRead(buffer.data(), itemSize, count, file);
      ASSERT_EQ(got, expected) << "step " << step;
      while (PlainFileIdleWait(file) == 0) Sleep(0);
      ASSERT_EQ(0, std::memcmp(buffer.data(), content.data() + position, static_cast<size_t>(got * itemSize)))
          << "step " << step;
      position += got * itemSize;
      ASSERT_EQ(PlainFileTell(file), position);
      ASSERT_EQ(PlainFileEof(file), eof ? -1 : 0);
    }
    EXPECT_EQ(PlainFileClose(file), 0);
  }
}

// The size is taken at open; a file that shrinks afterwards gives short reads, which are reported
// as what really arrived.
TEST_F(PlainFiles, ShortReadsReportWhatArrived) {
  for (int useCache : {0, 1}) {
    WriteDiskFile(Linux("shrinks.bin"), RandomBytes(1000, 6));
    StreamHandle file = PlainFileOpen("shrinks.bin", useCache, 1, 0);
    ASSERT_NE(file, 0u);
    ASSERT_EQ(truncate(Linux("shrinks.bin").c_str(), 100), 0);
    std::vector<unsigned char> buffer(1000);
    EXPECT_EQ(PlainFileRead(buffer.data(), 10, 100, file), 10) << useCache;
    EXPECT_EQ(PlainFileTell(file), 100) << useCache;
    EXPECT_EQ(PlainFileClose(file), 0);
  }
}

// Another thread may use the file layer while the main thread does.
TEST_F(PlainFiles, RecordsOnOtherThreads) {
  const std::vector<unsigned char> content = RandomBytes(50000, 3);
  WriteDiskFile(Linux("shared.bin"), content);
  auto reader = [&](int useCache, bool* ok) {
    *ok = true;
    for (int round = 0; round < 20 && *ok; ++round) {
      StreamHandle file = PlainFileOpen("shared.bin", useCache, 1, 0);
      std::vector<unsigned char> bytes(content.size());
      *ok = file && PlainFileRead(bytes.data(), 1, static_cast<int>(bytes.size()), file) == 50000 && bytes == content;
      if (file) PlainFileClose(file);
    }
  };
  bool first = false, second = false;
  std::thread other(reader, 1, &first);
  reader(0, &second);
  other.join();
  EXPECT_TRUE(first);
  EXPECT_TRUE(second);
}

TEST_F(PlainFiles, FindFirstAndNextListMatchingEntries) {
  WriteDiskFile(Linux("b.txt"), {1, 2, 3});
  WriteDiskFile(Linux("a.txt"), {});
  WriteDiskFile(Linux("c.dat"), {1});
  MakeDirectories("d.txt");
  FileFindData data;
  FileFindHandle find = PlainFileFindFirst("*.TXT", &data);
  ASSERT_NE(find, -1);
  std::vector<std::string> names{data.name};
  EXPECT_EQ(data.isDirectory, 0);
  EXPECT_EQ(data.sizeLow, 0u);
  EXPECT_GE(data.lastWrite.year, 2020);
  while (PlainFileFindNext(find, &data) == 0) {
    names.push_back(data.name);
    if (names.back() == "b.txt") {
      EXPECT_EQ(data.sizeLow, 3u);
    }
    if (names.back() == "d.txt") {
      EXPECT_EQ(data.isDirectory, 1);
    }
  }
  EXPECT_EQ(PlainFileFindClose(find), 0);
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt", "d.txt"}));
  EXPECT_EQ(PlainFileFindFirst("*.none", &data), -1);
}

TEST(MakeAbsolutePath, Table) {
  struct Case {
    const char* path;
    const char* base;
    const char* expected;
  };
  const Case cases[] = {
      {"..\\a\\.\\b", "C:\\x\\y", "C:\\x\\a\\b"},
      {"..\\..\\..\\z", "C:\\x", "C:\\z"},
      {"\\\\srv\\share\\f", "C:\\x", "\\\\srv\\share\\f"},
      {"/f", "D:\\w", "D:\\f"},
      {nullptr, "C:\\x\\", "C:\\x\\"},
      {"a/b//c", "C:\\x\\", "C:\\x\\a\\b\\c"},
      {"E:name", "C:\\x", "E:\\name"},
      {"E:\\dir\\..\\name", "C:\\x", "E:\\name"},
      {"a\\..", "C:\\x", "C:\\x\\a\\.."},  // A final ".." stays as it is.
      // A trail byte of 0x5C is no separator, and ".." steps over the whole character.
      {"\x95\x5C\\..\\b", "C:\\x", "C:\\x\\b"},
      {"..\\c", "C:\\\x95\x5C", "C:\\c"},
      {"\x95\x5C\\c", "C:\\x", "C:\\x\\\x95\x5C\\c"},
  };
  for (const Case& test : cases) {
    char out[MAX_PATH];
    ASSERT_EQ(MakeAbsolutePath(test.path, out, test.base), 0) << (test.path ? test.path : "(null)");
    EXPECT_STREQ(out, test.expected) << (test.path ? test.path : "(null)");
  }
  // A result that does not fit in 260 bytes is refused, not written past the buffer.
  std::string longPath(300, 'a');
  char out[MAX_PATH];
  EXPECT_EQ(MakeAbsolutePath(longPath.c_str(), out, "C:\\x"), -1);
  EXPECT_STREQ(out, "");
}

TEST_F(PlainFiles, MakeTempFileCreatesAnEmptyFileOrGivesNull) {
  char path[MAX_PATH];
  void* file = MakeTempFile(path);
  ASSERT_NE(file, nullptr);
  EXPECT_NE(std::strstr(path, "\\tmp"), nullptr) << path;
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, "abc", 3, &written, nullptr));
  CloseHandle(file);
  EXPECT_EQ(GetFileAttributesA(path) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(ReadDiskFile(platform::ResolvePath(path)), (std::vector<unsigned char>{'a', 'b', 'c'}));
  EXPECT_TRUE(DeleteFileA(path));

  platform::testing::FailFileOpens(-1);
  EXPECT_EQ(MakeTempFile(path), nullptr);
}

}  // namespace
}  // namespace files_test
