// The archive-aware file functions on archives on disk: the leading-directory look-up, the plain
// fallback, searches, reference counts, the 512 limits, asynchronous members, other threads, and
// the zva-pack program itself.
#include <iconv.h>

#include <cstring>
#include <thread>

#include "file_test_support.h"
#include "runtime/runtime_state.h"

namespace files_test {
namespace {

std::vector<unsigned char> ReadAll(StreamHandle file) {
  std::vector<unsigned char> bytes;
  unsigned char buffer[1000];
  int got;
  while ((got = StreamFileRead(buffer, 1, sizeof(buffer), file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
  return bytes;
}

class ArchiveFiles : public ScratchDirectory {
 protected:
  void SetUp() override {
    ScratchDirectory::SetUp();
    g_runtime.plainFilesOnly = 0;
    InstallFileFunctions(nullptr);
    a_ = RandomBytes(5000, 1);
    b_ = CompressibleBytes(40000, 2);
    picture_ = CompressibleBytes(3000, 3);
  }
  void TearDown() override {
    g_runtime.plainFilesOnly = 0;
    InstallFileFunctions(nullptr);
    ScratchDirectory::TearDown();
  }
  // GAME/DATA.ZVA holding img\a.png (stored), img\b.png (compressed), 画像\絵.bmp and six.txt.
  void PackDataArchive(const std::string& relativeArchive = "GAME/DATA.ZVA") {
    const ArchiveWriterItem tree = DirectoryItem(
        "", {
                DirectoryItem("img", {FileItem("a.png", a_), FileItem("b.png", b_)}),
                DirectoryItem("画像", {FileItem("絵.bmp", picture_)}),
                FileItem("six.txt", {'1', '2', '3', '4', '5', '6'}),
            });
    MakeDirectories("GAME");
    WriteDiskFile(Linux(relativeArchive), PackTree(tree));
  }

  std::vector<unsigned char> a_, b_, picture_;
};

TEST_F(ArchiveFiles, LeadingDirectoryLookUpServesMembers) {
  PackDataArchive();
  ASSERT_EQ(chdir(Linux("GAME").c_str()), 0);
  // The first file opened gets slot 0.
  StreamHandle file = StreamFileOpen("data\\img\\a.png", 0, 1, 0);
  EXPECT_EQ(file, 0xF0000000u);
  EXPECT_EQ(ReadAll(file), a_);
  EXPECT_EQ(StreamFileClose(file), 0);

  const std::string exact = windowsRoot_ + "\\GAME\\DATA\\IMG\\B.PNG";
  for (const std::string& path : {exact, std::string("Data/Img/b.png"), std::string(".\\data\\x\\..\\img\\B.png")}) {
    file = StreamFileOpen(path.c_str(), 0, 1, 0);
    ASSERT_NE(file, 0u) << path;
    EXPECT_EQ(ReadAll(file), b_) << path;
    StreamFileClose(file);
  }
  file = StreamFileOpen("data\\画像\\絵.BMP", 0, 1, 0);
  ASSERT_NE(file, 0u);
  EXPECT_EQ(ReadAll(file), picture_);
  StreamFileClose(file);
}

TEST_F(ArchiveFiles, PlainFilesServePathsNoArchiveCovers) {
  PackDataArchive();
  MakeDirectories("GAME/DATA/IMG");
  MakeDirectories("GAME/OTHER");
  WriteDiskFile(Linux("GAME/OTHER/plain.txt"), {'p'});
  WriteDiskFile(Linux("GAME/DATA/IMG/missing.png"), {'m'});
  ASSERT_EQ(chdir(Linux("GAME").c_str()), 0);
  StreamHandle file = StreamFileOpen("other\\plain.txt", 0, 1, 0);
  ASSERT_NE(file, 0u);
  EXPECT_EQ(ReadAll(file), (std::vector<unsigned char>{'p'}));
  StreamFileClose(file);
  // Once an archive covers the path, a member it lacks is missing even when the plain file exists.
  EXPECT_EQ(StreamFileOpen("data\\img\\missing.png", 0, 1, 0), 0u);
  EXPECT_EQ(StreamFileOpen("no\\such\\file.txt", 0, 1, 0), 0u);

  // With plain files only, the archive is not looked at.
  g_runtime.plainFilesOnly = 1;
  InstallFileFunctions(nullptr);
  EXPECT_EQ(StreamFileOpen("data\\img\\a.png", 0, 1, 0), 0u);
  file = StreamFileOpen("data\\img\\missing.png", 0, 1, 0);
  ASSERT_NE(file, 0u);
  EXPECT_EQ(ReadAll(file), (std::vector<unsigned char>{'m'}));
  StreamFileClose(file);
}

TEST_F(ArchiveFiles, ShortestDirectoryFirst) {
  // Both GAME.ZVA (with DATA\IMG\A.PNG) and GAME\DATA.ZVA (with IMG\A.PNG) exist: GAME.ZVA wins.
  PackDataArchive();
  const std::vector<unsigned char> outer = RandomBytes(77, 9);
  WriteDiskFile(
      Linux("GAME.ZVA"),
      PackTree(DirectoryItem("", {DirectoryItem("data", {DirectoryItem("img", {FileItem("a.png", outer)})})})));
  StreamHandle file = StreamFileOpen("game\\data\\img\\a.png", 0, 1, 0);
  ASSERT_NE(file, 0u);
  EXPECT_EQ(ReadAll(file), outer);
  StreamFileClose(file);
}

TEST_F(ArchiveFiles, FindFirstAndNextWithWildcards) {
  PackDataArchive();
  ASSERT_EQ(chdir(Linux("GAME").c_str()), 0);
  auto list = [](const char* pattern) {
    std::vector<std::string> names;
    FileFindData data;
    FileFindHandle find = GetFileFunctions()->FindFirst(pattern, &data);
    if (find == -1) return names;
    do names.push_back(data.name);
    while (GetFileFunctions()->FindNext(find, &data) == 0);
    EXPECT_EQ(GetFileFunctions()->FindClose(find), 0);
    return names;
  };
  EXPECT_EQ(list("data\\img\\*.png"), (std::vector<std::string>{"a.png", "b.png"}));
  EXPECT_EQ(list("data\\img\\?.PNG"), (std::vector<std::string>{"a.png", "b.png"}));
  EXPECT_EQ(list("data\\*"), (std::vector<std::string>{".", "img", "画像", "six.txt"}));
  EXPECT_EQ(list("data\\*.txt"), (std::vector<std::string>{"six.txt"}));
  EXPECT_TRUE(list("data\\*.gif").empty());
  // A directory with no archive is searched on disk.
  EXPECT_EQ(list("*.ZVA"), (std::vector<std::string>{"DATA.ZVA"}));
  // Searches hold their archive only while open.
  ReleaseUnusedArchives();
  EXPECT_EQ(OpenArchiveCount(), 0);
}

TEST_F(ArchiveFiles, ReadsSeeksAndEndOfMember) {
  PackDataArchive();
  ASSERT_EQ(chdir(Linux("GAME").c_str()), 0);
  StreamHandle file = StreamFileOpen("data\\six.txt", 0, 1, 0);
  ASSERT_NE(file, 0u);
  char buffer[16];
  EXPECT_EQ(StreamFileRead(buffer, 1, 10, file), 6);
  EXPECT_EQ(StreamFileEof(file), 0);
  EXPECT_EQ(StreamFileRead(buffer, 1, 10, file), 0);
  EXPECT_EQ(StreamFileEof(file), -1);
  EXPECT_EQ(StreamFileSeek(file, 2, 0), 0);
  EXPECT_EQ(StreamFileEof(file), 0);                 // A seek clears the end.
  EXPECT_EQ(StreamFileRead(buffer, 4, 2, file), 1);  // Whole items only are counted.
  EXPECT_EQ(StreamFileTell(file), 6);
  EXPECT_EQ(StreamFileSeek(file, -100, 1), 0);  // Clamped into the member.
  EXPECT_EQ(StreamFileTell(file), 0);
  EXPECT_EQ(StreamFileSeek(file, 100, 2), 0);
  EXPECT_EQ(StreamFileTell(file), 6);
  EXPECT_EQ(StreamFileRead(buffer, 0, 3, file), 0);
  EXPECT_EQ(StreamFileClose(file), 0);
  // A closed or foreign handle is refused.
  EXPECT_EQ(StreamFileTell(file), -1);
  EXPECT_EQ(StreamFileClose(file), -1);
  EXPECT_EQ(ArchiveAwareRead(buffer, 1, 1, 0xF0000000u | 600u), -1);

  // Random reads of the compressed and the stored member against the source bytes.
  for (const char* path : {"data\\img\\a.png", "data\\img\\b.png"}) {
    const std::vector<unsigned char>& content = std::strstr(path, "a.png") ? a_ : b_;
    file = StreamFileOpen(path, 0, 1, 0);
    ASSERT_NE(file, 0u);
    std::mt19937 random(4);
    std::vector<unsigned char> chunk(3000);
    for (int step = 0; step < 100; ++step) {
      const int target = static_cast<int>(random() % content.size());
      ASSERT_EQ(StreamFileSeek(file, target, 0), 0);
      const int got = StreamFileRead(chunk.data(), 1, static_cast<int>(random() % 3000), file);
      ASSERT_TRUE(std::equal(chunk.begin(), chunk.begin() + got, content.begin() + target)) << path << " step " << step;
    }
    StreamFileClose(file);
  }
}

TEST_F(ArchiveFiles, UnreferencedArchivesStayOpenUntilReleased) {
  PackDataArchive();
  ASSERT_EQ(chdir(Linux("GAME").c_str()), 0);
  StreamHandle first = StreamFileOpen("data\\img\\a.png", 0, 1, 0);
  StreamHandle second = StreamFileOpen("data\\img\\b.png", 0, 1, 0);
  ASSERT_NE(first, 0u);
  ASSERT_NE(second, 0u);
  EXPECT_EQ(OpenArchiveCount(), 1);
  int index = -1;
  for (int i = 0; i < kMaxOpenArchives; ++i)
    if (ArchiveSlotReferences(i) >= 0) index = i;
  EXPECT_EQ(ArchiveSlotReferences(index), 2);
  StreamFileClose(first);
  StreamFileClose(second);
  EXPECT_EQ(ArchiveSlotReferences(index), 0);
  EXPECT_EQ(OpenArchiveCount(), 1);
  EXPECT_EQ(ReleaseUnusedArchives(), 0);
  EXPECT_EQ(OpenArchiveCount(), 0);
}

TEST_F(ArchiveFiles, FiveHundredThirteenthFileIsRefused) {
  WriteDiskFile(Linux("one.txt"), {'1'});
  std::vector<StreamHandle> files;
  for (int i = 0; i < kMaxOpenFiles; ++i) {
    files.push_back(StreamFileOpen("one.txt", 0, 1, 0));
    ASSERT_NE(files.back(), 0u) << i;
  }
  EXPECT_EQ(StreamFileOpen("one.txt", 0, 1, 0), 0u);
  StreamFileClose(files[100]);
  StreamHandle again = StreamFileOpen("one.txt", 0, 1, 0);
  EXPECT_EQ(again, 0xF0000000u | 100u);  // The first free slot.
  files[100] = again;
  for (StreamHandle file : files) EXPECT_EQ(StreamFileClose(file), 0);
}

TEST_F(ArchiveFiles, FiveHundredThirteenthArchiveClosesTheUnused) {
  const std::vector<unsigned char> archive = PackTree(DirectoryItem("", {FileItem("x.txt", {'x'})}));
  for (int i = 0; i <= kMaxOpenArchives; ++i) {
    const std::string number = std::to_string(i);
    WriteDiskFile(Linux("A" + number + ".ZVA"), archive);
  }
  for (int i = 0; i < kMaxOpenArchives; ++i) {
    const std::string number = std::to_string(i);
    std::string path = "a" + number + "\\x.txt";
    StreamHandle file = StreamFileOpen(path.c_str(), 0, 1, 0);
    ASSERT_NE(file, 0u) << path;
    StreamFileClose(file);
  }
  EXPECT_EQ(OpenArchiveCount(), kMaxOpenArchives);
  StreamHandle file = StreamFileOpen("a512\\x.txt", 0, 1, 0);
  ASSERT_NE(file, 0u);
  EXPECT_EQ(OpenArchiveCount(), 1);
  StreamFileClose(file);
}

TEST_F(ArchiveFiles, AsynchronousMembersCompleteThroughIdleWait) {
  PackDataArchive();
  ASSERT_EQ(chdir(Linux("GAME").c_str()), 0);
  for (const char* path : {"data\\img\\a.png", "data\\img\\b.png"}) {
    const std::vector<unsigned char>& content = std::strstr(path, "a.png") ? a_ : b_;
    StreamHandle file = StreamFileOpen(path, 0, 1, 1);
    ASSERT_NE(file, 0u);
    std::vector<unsigned char> bytes(content.size() + 10);
    while (StreamFileIdleWait(file) == 0) Sleep(0);
    ASSERT_EQ(StreamFileSeek(file, 1000, 0), 0);
    EXPECT_EQ(StreamFileRead(bytes.data(), 1, 2000, file), 2000);
    while (StreamFileIdleWait(file) == 0) Sleep(0);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 2000, content.begin() + 1000)) << path;
    EXPECT_EQ(StreamFileTell(file), 3000);
    StreamFileClose(file);
  }
}

// The sound thread reads through the same layer: members of one archive share its stream.
TEST_F(ArchiveFiles, MembersReadFromSeveralThreads) {
  PackDataArchive();
  ASSERT_EQ(chdir(Linux("GAME").c_str()), 0);
  auto reader = [](const char* path, const std::vector<unsigned char>* content, bool* ok) {
    *ok = true;
    for (int round = 0; round < 30 && *ok; ++round) {
      StreamHandle file = StreamFileOpen(path, 0, 1, 0);
      *ok = file != 0 && ReadAll(file) == *content;
      if (file) StreamFileClose(file);
    }
  };
  bool first = false, second = false;
  std::thread other(reader, "data\\img\\a.png", &a_, &first);
  reader("data\\img\\b.png", &b_, &second);
  other.join();
  EXPECT_TRUE(first);
  EXPECT_TRUE(second);
}

// The log in the scratch directory, its text as handed to the debugger output.
class ScratchLog {
 public:
  explicit ScratchLog(const std::string& windowsDirectory) {
    g_runtime.log = LogState{};
    platform::testing::CaptureDebugOutput([this](const std::string& text) { text_ += text; });
    SetLogDirectory(windowsDirectory.c_str());
    OpenLogFile();
  }
  ~ScratchLog() {
    SetLogDirectory("");
    g_runtime.log = LogState{};
    platform::testing::CaptureDebugOutput(nullptr);
  }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

TEST_F(ArchiveFiles, DamagedArchivesOnDiskAreRefused) {
  ScratchLog log(windowsRoot_);
  const std::vector<unsigned char> good = PackTree(DirectoryItem("", {FileItem("x.txt", CompressibleBytes(500, 1))}));
  MakeDirectories("DIR");
  WriteDiskFile(Linux("DIR/x.txt"), {'p', 'l', 'a', 'i', 'n'});
  std::vector<size_t> lengths = {0, 7, 8, 23, 24, good.size() / 2, good.size() - 1};
  for (size_t length : lengths) {
    WriteDiskFile(Linux("DIR.ZVA"), std::vector<unsigned char>(good.begin(), good.begin() + static_cast<long>(length)));
    ArchiveState state;
    ClearArchiveState(&state);
    EXPECT_EQ(OpenArchiveFileHeader(&state, "DIR.ZVA", nullptr), -1) << length;
    // A refused archive is no archive: the plain file serves the path.
    StreamHandle file = StreamFileOpen("dir\\x.txt", 0, 1, 0);
    ASSERT_NE(file, 0u) << length;
    EXPECT_EQ(ReadAll(file), (std::vector<unsigned char>{'p', 'l', 'a', 'i', 'n'})) << length;
    StreamFileClose(file);
  }
  // One line per refusal, each with a single line end.
  EXPECT_NE(log.Text().find("アーカイブファイルの形式が正しくありません : DIR.ZVA\r\n"), std::string::npos);
  EXPECT_EQ(log.Text().find("\r\n\r\n"), std::string::npos);
}

TEST_F(ArchiveFiles, WholeFileMode) {
  PackDataArchive();
  for (int asynchronous : {0, 1}) {
    ArchiveState state;
    ClearArchiveState(&state);
    ASSERT_EQ(OpenArchiveFileWhole(&state, "game\\data.zva", nullptr, asynchronous), 0);
    while (!FinishArchiveLoad(&state)) Sleep(0);
    ASSERT_NE(GetArchiveImage(&state), nullptr);
    int position = 0, size = 0;
    ASSERT_EQ(GetArchiveFileInfo(&state, "img\\a.png", &position, &size), 0);
    EXPECT_EQ(size, 5000);
    EXPECT_EQ(0, std::memcmp(static_cast<unsigned char*>(GetArchiveImage(&state)) + position, a_.data(), 5000));
    ArchiveFileState member;
    ASSERT_EQ(OpenArchiveMember(&member, &state, "img\\b.png", 0), 0);
    std::vector<unsigned char> bytes(b_.size());
    EXPECT_EQ(ReadArchiveMember(&member, bytes.data(), static_cast<int>(bytes.size())), static_cast<int>(b_.size()));
    EXPECT_EQ(bytes, b_);
    CloseArchiveMember(&member);
    EXPECT_EQ(CloseArchiveState(&state), 0);
  }
}

// The zva-pack program beside the test programs.
std::string ZvaPackProgram() {
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
  if (length <= 0) return "";
  self[length] = 0;
  const std::string program = std::string(self).substr(0, std::string(self).rfind('/')) + "/../tools/zva-pack";
  return access(program.c_str(), X_OK) == 0 ? program : "";
}

// UTF-8 text in a code page, as a program of that code page would spell it.
std::string InCodePage(const char8_t* utf8, int codePage) {
  const std::string text = reinterpret_cast<const char*>(utf8);
  iconv_t converter = iconv_open(("CP" + std::to_string(codePage)).c_str(), "UTF-8");
  EXPECT_NE(converter, reinterpret_cast<iconv_t>(-1)) << codePage;
  std::string out(text.size() * 2 + 8, '\0');
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* at = out.data();
  size_t outLeft = out.size();
  EXPECT_NE(iconv(converter, &in, &inLeft, &at, &outLeft), static_cast<size_t>(-1)) << codePage;
  iconv_close(converter);
  out.resize(out.size() - outLeft);
  return out;
}

// The zva-pack program packs a tree from disk (UTF-8 names become CP932) that reads back.
TEST_F(ArchiveFiles, ZvaPackProgramRoundTrip) {
  const std::string program = ZvaPackProgram();
  ASSERT_FALSE(program.empty());

  const std::string pictureDirectory = platform::Cp932ToUtf8("画像");
  MakeDirectories("tree/img/" + pictureDirectory);
  WriteDiskFile(Linux("tree/img/a.png"), a_);
  WriteDiskFile(Linux("tree/img/" + pictureDirectory + "/" + platform::Cp932ToUtf8("絵.bmp")), picture_);
  WriteDiskFile(Linux("tree/big.bin"), b_);
  for (const char* flags : {"", "-v 1", "-v 3 --store", "--compress-all --second-key"}) {
    const std::string command = program + " " + flags + " '" + Linux("PACKED.ZVA") + "' '" + Linux("tree") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    ReleaseUnusedArchives();
    struct Expected {
      const char* path;
      const std::vector<unsigned char>* content;
    };
    for (Expected expected : {Expected{"packed\\img\\a.png", &a_}, Expected{"packed\\IMG\\画像\\絵.bmp", &picture_},
                              Expected{"PACKED\\BIG.BIN", &b_}}) {
      StreamHandle file = StreamFileOpen(expected.path, 0, 1, 0);
      ASSERT_NE(file, 0u) << flags << " " << expected.path;
      EXPECT_EQ(ReadAll(file), *expected.content) << flags << " " << expected.path;
      StreamFileClose(file);
    }
  }
}

// With -c the names are stored in that code page, so the library finds them by that code page's
// bytes; a name the code page cannot hold, or a directory no path could pass through, is refused.
TEST_F(ArchiveFiles, ZvaPackStoresNamesInTheChosenCodePage) {
  const std::string program = ZvaPackProgram();
  ASSERT_FALSE(program.empty());
  struct Case {
    int codePage;
    const char8_t* directory;
    const char8_t* file;
  };
  const Case cases[] = {
      {949, u8"한글", u8"노래.wav"},
      {1252, u8"Crème", u8"Café.txt"},  // A file name may end in what reads as a lead byte.
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.codePage);
    const std::string tree = "tree" + std::to_string(test.codePage);
    const std::string directory = reinterpret_cast<const char*>(test.directory);
    const std::string file = reinterpret_cast<const char*>(test.file);
    MakeDirectories(tree + "/" + directory);
    WriteDiskFile(Linux(tree + "/" + directory + "/" + file), a_);
    WriteDiskFile(Linux(tree + "/plain.bin"), b_);
    const std::string archive = "CP" + std::to_string(test.codePage) + ".ZVA";
    const std::string command = program + " -c " + std::to_string(test.codePage) + " '" + Linux(archive) + "' '" +
                                Linux(tree) + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::string archivePrefix = "cp" + std::to_string(test.codePage) + "\\";
    const std::string member = archivePrefix + InCodePage(test.directory, test.codePage) + "\\" +
                               InCodePage(test.file, test.codePage);
    StreamHandle opened = StreamFileOpen(member.c_str(), 0, 1, 0);
    ASSERT_NE(opened, 0u);
    EXPECT_EQ(ReadAll(opened), a_);
    StreamFileClose(opened);
    opened = StreamFileOpen((archivePrefix + "PLAIN.BIN").c_str(), 0, 1, 0);
    ASSERT_NE(opened, 0u);
    EXPECT_EQ(ReadAll(opened), b_);
    StreamFileClose(opened);
    // The search reports the name as stored.
    FileFindData data;
    const std::string pattern = archivePrefix + InCodePage(test.directory, test.codePage) + "\\*" +
                                file.substr(file.rfind('.'));
    FileFindHandle find = GetFileFunctions()->FindFirst(pattern.c_str(), &data);
    ASSERT_NE(find, -1);
    EXPECT_EQ(std::string(data.name), InCodePage(test.file, test.codePage));
    EXPECT_NE(GetFileFunctions()->FindNext(find, &data), 0);
    EXPECT_EQ(GetFileFunctions()->FindClose(find), 0);
  }

  struct Refusal {
    const char8_t* directory;
    const char* message;
  };
  const Refusal refusals[] = {
      {u8"画像", "cannot be written in code page 1252"},
      {u8"Café", "no path can pass through it"},
  };
  for (const Refusal& refusal : refusals) {
    const std::string tree = "refused";
    std::system(("rm -rf '" + Linux(tree) + "'").c_str());
    MakeDirectories(tree + "/" + reinterpret_cast<const char*>(refusal.directory));
    WriteDiskFile(Linux(tree + "/" + reinterpret_cast<const char*>(refusal.directory) + "/x.txt"), a_);
    const std::string command = program + " -c 1252 '" + Linux("REFUSED.ZVA") + "' '" + Linux(tree) + "' 2>'" +
                                Linux("stderr.txt") + "'";
    EXPECT_NE(std::system(command.c_str()), 0) << command;
    const std::vector<unsigned char> said = ReadDiskFile(Linux("stderr.txt"));
    EXPECT_NE(std::string(said.begin(), said.end()).find(refusal.message), std::string::npos)
        << std::string(said.begin(), said.end());
    EXPECT_FALSE(std::ifstream(Linux("REFUSED.ZVA")).good());
  }
  // Older versions carry no code page, so another one is refused for them.
  EXPECT_NE(
      std::system((program + " -v 3 -c 949 '" + Linux("OLD.ZVA") + "' '" + Linux("tree949") + "' 2>/dev/null").c_str()),
      0);
}

}  // namespace
}  // namespace files_test
