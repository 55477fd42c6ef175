// The archive format on images in memory: every version and compression through the caller-image
// mode, the key fallback, names, wildcards, searches, and hostile images.
#include <cstring>

#include "file_test_support.h"

namespace files_test {
namespace {

// The tree most tests pack: stored and compressed files, nested directories, CP932 names.
ArchiveWriterItem SampleTree() {
  return DirectoryItem("", {
                               FileItem("readme.txt", {'h', 'e', 'l', 'l', 'o', '!'}),
                               FileItem("empty.bin", {}),
                               FileItem("big.bin", CompressibleBytes(150000, 4)),
                               DirectoryItem("Data",
                                             {
                                                 DirectoryItem("img", {FileItem("a.png", RandomBytes(5000, 1)),
                                                                       FileItem("b.png", CompressibleBytes(3000, 2))}),
                                                 FileItem("notes.txt", CompressibleBytes(700, 3)),
                                             }),
                               DirectoryItem("画像", {FileItem("表示.bmp", CompressibleBytes(2000, 5))}),
                           });
}

struct Member {
  std::string path;  // Inside the archive.
  std::vector<unsigned char> data;
};

void CollectMembers(const ArchiveWriterItem& item, const std::string& prefix, std::vector<Member>* out) {
  for (const auto& child : item.children) {
    const std::string path = prefix.empty() ? child.name : prefix + "\\" + child.name;
    if (child.isDirectory)
      CollectMembers(child, path, out);
    else
      out->push_back({path, child.data});
  }
}

std::vector<unsigned char> ReadWholeMember(ArchiveState* archive, const std::string& path, int* openResult) {
  ArchiveFileState member;
  *openResult = OpenArchiveMember(&member, archive, path.c_str(), 0);
  if (*openResult != 0) return {};
  std::vector<unsigned char> bytes;
  unsigned char buffer[777];
  int got;
  while ((got = ReadArchiveMember(&member, buffer, sizeof(buffer))) > 0)
    bytes.insert(bytes.end(), buffer, buffer + got);
  CloseArchiveMember(&member);
  return bytes;
}

TEST(ArchiveFormat, EveryVersionAndCompressionReadsBack) {
  const ArchiveWriterItem tree = SampleTree();
  std::vector<Member> members;
  CollectMembers(tree, "", &members);
  for (int version = 0; version <= 4; ++version) {
    for (ArchiveCompression compression : {ArchiveCompression::Store, ArchiveCompression::Always}) {
      SCOPED_TRACE(testing::Message() << "version " << version << " compression " << static_cast<int>(compression));
      ArchiveWriterOptions options;
      options.version = version;
      options.compression = compression;
      const std::vector<unsigned char> written = PackTree(tree, options);
      std::vector<unsigned char> image = written;
      ArchiveState archive;
      ClearArchiveState(&archive);
      ASSERT_EQ(OpenArchiveInMemory(&archive, image.data(), static_cast<int>(image.size()), nullptr), 0);
      EXPECT_EQ(archive.entrySize, version < 2 ? 40 : 44);
      for (const Member& member : members) {
        int opened = -1;
        EXPECT_EQ(ReadWholeMember(&archive, member.path, &opened), member.data) << member.path;
        EXPECT_EQ(opened, 0) << member.path;
      }
      int position = 0, size = 0;
      ASSERT_EQ(GetArchiveFileInfo(&archive, "Data\\img\\a.png", &position, &size), 0);
      EXPECT_EQ(size, 5000);
      EXPECT_EQ(CloseArchiveState(&archive), 0);
      // The caller's image is given back exactly as it was handed over.
      EXPECT_EQ(image, written);
    }
  }
}

TEST(ArchiveFormat, LookUpIgnoresTheCaseOfLettersAndKeepsDoubleByteNames) {
  std::vector<unsigned char> image = PackTree(SampleTree());
  ArchiveState archive;
  ClearArchiveState(&archive);
  ASSERT_EQ(OpenArchiveInMemory(&archive, image.data(), static_cast<int>(image.size()), nullptr), 0);
  EXPECT_EQ(archive.charSet, CHARSET_SHIFTJIS);
  for (const char* path :
       {"README.TXT", "ReadMe.txt", "data\\IMG\\A.PNG", "DATA/img/b.PNG", "\\Data\\notes.txt", "画像\\表示.BMP"})
    EXPECT_NE(FindArchiveFileEntry(path, &archive), nullptr) << path;
  for (const char* path : {"Data", "Data\\img", "readme.tx", "img\\a.png", "Data\\img\\a.png\\x", "画像\\表示.bm", ""})
    EXPECT_EQ(FindArchiveFileEntry(path, &archive), nullptr) << path;
  // Look-ups leave the current directory where it was.
  EXPECT_EQ(archive.currentDirectory, 0u);
  EXPECT_EQ(ChangeArchiveDirectory(&archive, "data\\img\\", 1, nullptr), 0);
  EXPECT_NE(FindArchiveFileEntry("a.png", &archive), nullptr);
  EXPECT_EQ(ChangeArchiveDirectory(&archive, "..", 1, nullptr), 0);
  EXPECT_NE(FindArchiveFileEntry("notes.txt", &archive), nullptr);
  EXPECT_EQ(ChangeArchiveDirectory(&archive, "nothing", 1, nullptr), -1);
  EXPECT_NE(FindArchiveFileEntry("notes.txt", &archive), nullptr);  // Restored on failure.
  EXPECT_EQ(ChangeArchiveDirectory(&archive, "\\", 1, nullptr), 0);
  EXPECT_EQ(ChangeArchiveDirectory(&archive, "..", 1, nullptr), -1);  // The root has no parent.
  CloseArchiveState(&archive);
}

TEST(ArchiveFormat, NameKeys) {
  ArchiveState archive;
  ClearArchiveState(&archive);
  archive.charSet = CHARSET_SHIFTJIS;
  struct Case {
    const char* text;
    std::vector<unsigned char> name;
    int consumed;
  };
  const Case cases[] = {
      {"abc", {'A', 'B', 'C', 0}, 3},
      {"abcd", {'A', 'B', 'C', 'D', 0, 0, 0, 0}, 4},  // A full word of zeros after a whole word.
      {"x.Png\\rest", {'X', '.', 'P', 'N', 'G', 0, 0, 0}, 5},
      {"\x95\x5C"
       "a/b",
       {0x95, 0x5C, 'A', 0},
       3},                                  // The 0x5C trail byte is kept, not a separator.
      {"\x82\xA0", {0x82, 0xA0, 0, 0}, 2},  // Double-byte characters are not upper-cased.
      {"", {0, 0, 0, 0}, 0},
  };
  for (const Case& test : cases) {
    ArchiveNameKey key;
    int consumed = -1;
    ASSERT_EQ(MakeArchiveNameKey(&key, &archive, test.text, &consumed), 0);
    EXPECT_EQ(consumed, test.consumed) << test.text;
    ASSERT_EQ(key.length * 4u, test.name.size()) << test.text;
    EXPECT_EQ(0, std::memcmp(key.name, test.name.data(), test.name.size())) << test.text;
    uint16_t check = 0;
    for (unsigned char b : test.name) check = static_cast<uint16_t>(check + b);
    EXPECT_EQ(key.check, check) << test.text;
  }
  ArchiveNameKey key;
  const std::string tooLong(2000, 'a');
  EXPECT_EQ(MakeArchiveNameKey(&key, &archive, tooLong.c_str(), nullptr), -1);
}

TEST(ArchiveFormat, Wildcards) {
  ArchiveState archive;
  ClearArchiveState(&archive);
  archive.charSet = CHARSET_SHIFTJIS;
  struct Case {
    const char* name;
    const char* pattern;
    int expected;
  };
  const Case cases[] = {
      {"A.PNG", "*.PNG", 0},
      {"A.PNG.BAK", "*.PNG", -1},  // No back-tracking: the first "." is taken.
      {"A.PNG", "*", 0},
      {"", "*", 0},
      {"A.PNG", "?.PNG", 0},
      {"AB.PNG", "?.PNG", -1},
      {"A.PNG", "A.PNG", 0},
      {"A.PNG", "a.png", -1},  // Case-sensitive: searches upper-case.
      {"A.PNG", "A.PN", -1},
      {"A.PN", "A.PNG", -1},
      {"\x95\x5C.BMP", "\x95\x5C.*", 0},
      {"\x95\x5D.BMP", "\x95\x5C.*", -1},
      {"ABC", "A*C", 0},
      {"ABCD", "A*C", -1},
      // A name that ends before the pattern does not match, even when only stars are left.
      {"A", "A*", -1},
      {"AB", "A*", 0},
      {".", "*.*", -1},
      {"A.B", "*.*", 0},
      {"A.", "*.*", -1},
      {"A", "A**", -1},
  };
  for (const Case& test : cases)
    EXPECT_EQ(MatchArchiveWildcard(test.name, test.pattern, &archive), test.expected)
        << test.name << " ~ " << test.pattern;
}

std::vector<std::string> SearchNames(ArchiveState* archive, const char* pattern) {
  std::vector<std::string> names;
  FileFindData data;
  ArchiveFindRecord* find = ArchiveFindFirst(archive, pattern, &data);
  if (!find) return names;
  do names.push_back(std::string(data.name) + (data.isDirectory ? "/" : ""));
  while (ArchiveFindNext(find, &data) == 0);
  EXPECT_EQ(ArchiveFindNext(find, &data), -1);  // Stays exhausted.
  ZV_FREE(find);
  return names;
}

TEST(ArchiveFormat, DirectorySearches) {
  std::vector<unsigned char> image = PackTree(SampleTree());
  ArchiveState archive;
  ClearArchiveState(&archive);
  ASSERT_EQ(OpenArchiveInMemory(&archive, image.data(), static_cast<int>(image.size()), nullptr), 0);
  EXPECT_EQ(SearchNames(&archive, "*"),
            (std::vector<std::string>{"./", "readme.txt", "empty.bin", "big.bin", "Data/", "画像/"}));
  EXPECT_EQ(SearchNames(&archive, "data\\*"), (std::vector<std::string>{"./", "../", "img/", "notes.txt"}));
  EXPECT_EQ(SearchNames(&archive, "Data\\img\\*.png"), (std::vector<std::string>{"a.png", "b.png"}));
  EXPECT_EQ(SearchNames(&archive, "*.BIN"), (std::vector<std::string>{"empty.bin", "big.bin"}));
  EXPECT_TRUE(SearchNames(&archive, "*.gif").empty());
  EXPECT_TRUE(SearchNames(&archive, "nowhere\\*").empty());

  FileFindData data;
  ArchiveFindRecord* find = ArchiveFindFirst(&archive, "data\\img\\a.png", &data);
  ASSERT_NE(find, nullptr);
  EXPECT_STREQ(data.name, "a.png");
  EXPECT_EQ(data.sizeLow, 5000u);
  EXPECT_EQ(data.sizeHigh, 0u);
  EXPECT_EQ(data.lastWrite.year, 2022);
  ZV_FREE(find);
  CloseArchiveState(&archive);
}

TEST(ArchiveFormat, ScramblingIsItsOwnInverseAtAnyOffset) {
  unsigned char key[kArchiveKeySize];
  BuildArchiveKey(nullptr, key);
  const std::vector<unsigned char> plain = RandomBytes(100, 8);
  for (uint32_t offset : {0u, 1u, 11u, 12u, 13u, 1000003u}) {
    std::vector<unsigned char> bytes = plain;
    XorArchiveBytes(static_cast<int>(bytes.size()), bytes.data(), offset, key);
    for (size_t i = 0; i < bytes.size(); ++i)  // The plain definition, byte by byte.
      ASSERT_EQ(bytes[i], plain[i] ^ key[(offset + i) % kArchiveKeySize]) << offset << " " << i;
    // Scrambling in two unaligned pieces equals one pass.
    XorArchiveBytes(37, bytes.data(), offset, key);
    XorArchiveBytes(63, bytes.data() + 37, offset + 37, key);
    EXPECT_EQ(bytes, plain);
  }
  // A key text repeats up to 12 bytes, and only its first 12 bytes count.
  unsigned char fromText[kArchiveKeySize], fromRepeat[kArchiveKeySize], fromLong[kArchiveKeySize];
  BuildArchiveKey("abc", fromText);
  BuildArchiveKey("abcabcabcabc", fromRepeat);
  BuildArchiveKey("abcabcabcabcXYZ", fromLong);
  EXPECT_EQ(0, std::memcmp(fromText, fromRepeat, kArchiveKeySize));
  EXPECT_EQ(0, std::memcmp(fromText, fromLong, kArchiveKeySize));
  BuildArchiveKey("", fromText);
  EXPECT_EQ(0, std::memcmp(fromText, key, kArchiveKeySize));
}

TEST(ArchiveFormat, SecondKeyIsTheFallback) {
  ArchiveWriterOptions options;
  options.secondKey = true;
  std::vector<unsigned char> written = PackTree(SampleTree(), options);
  std::vector<unsigned char> image = written;
  ArchiveState archive;
  ClearArchiveState(&archive);
  ASSERT_EQ(OpenArchiveInMemory(&archive, image.data(), static_cast<int>(image.size()), nullptr), 0);
  int opened = -1;
  EXPECT_EQ(ReadWholeMember(&archive, "readme.txt", &opened),
            (std::vector<unsigned char>{'h', 'e', 'l', 'l', 'o', '!'}));
  CloseArchiveState(&archive);
  EXPECT_EQ(image, written);
  // An archive of the key built without a text does not open under another key text, and the
  // image is left alone.
  std::vector<unsigned char> usual = PackTree(SampleTree());
  const std::vector<unsigned char> usualWritten = usual;
  EXPECT_EQ(OpenArchiveInMemory(&archive, usual.data(), static_cast<int>(usual.size()), "other"), -1);
  EXPECT_EQ(usual, usualWritten);
}

// Opens whatever the image allows and reads every member it lists; nothing may crash, hang or
// touch memory outside the image (the sanitizers watch).
void ReadEverything(std::vector<unsigned char> image) {
  ArchiveState archive;
  ClearArchiveState(&archive);
  const std::vector<unsigned char> before = image;
  if (OpenArchiveInMemory(&archive, image.data(), static_cast<int>(image.size()), nullptr) != 0) {
    EXPECT_EQ(image, before);
    return;
  }
  for (const char* directory : {"", "data\\", "data\\img\\", "画像\\"}) {
    FileFindData data;
    std::string pattern = std::string(directory) + "*";
    ArchiveFindRecord* find = ArchiveFindFirst(&archive, pattern.c_str(), &data);
    if (!find) continue;
    do {
      if (data.isDirectory) continue;
      int opened = -1;
      ReadWholeMember(&archive, std::string(directory) + data.name, &opened);
    } while (ArchiveFindNext(find, &data) == 0);
    ZV_FREE(find);
  }
  CloseArchiveState(&archive);
  EXPECT_EQ(image, before);
}

TEST(ArchiveFormat, TruncatedAndDamagedImagesAreHandledCleanly) {
  ArchiveWriterOptions options;
  options.compression = ArchiveCompression::Always;
  const ArchiveWriterItem tree = DirectoryItem(
      "", {
              FileItem("a.txt", CompressibleBytes(300, 1)),
              FileItem("s.txt", {1, 2, 3}),
              DirectoryItem("data", {DirectoryItem("img", {FileItem("p.png", CompressibleBytes(200, 2))})}),
          });
  const std::vector<unsigned char> image = PackTree(tree, options);
  for (size_t length = 0; length < image.size(); ++length)
    ReadEverything(std::vector<unsigned char>(image.begin(), image.begin() + static_cast<long>(length)));
  for (size_t at = 0; at < image.size(); ++at) {
    for (unsigned char flip : {0x01, 0x10, 0x80, 0xFF}) {
      std::vector<unsigned char> damaged = image;
      damaged[at] ^= flip;
      ReadEverything(damaged);
    }
  }
}

}  // namespace
}  // namespace files_test
