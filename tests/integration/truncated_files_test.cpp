// Cut-short pictures and sounds inside archives, and archives cut short themselves: refused
// cleanly (or, where a format reads what is there, loaded exactly as the same bytes from memory),
// with nothing left allocated.
#include "integration_support.h"
#include "sound/sound_records.h"
#include "zyvel/files.h"
#include "zyvel/graphics.h"
#include "zyvel/sound.h"

namespace integration_test {
namespace {

struct CutFile {
  const char* fixture;
  bool picture;
};
const CutFile kCutFiles[] = {
    {"conformance/bmpsuite/good/rgb24.bmp", true},
    {"conformance/bmpsuite/good/pal8rle.bmp", true},
    {"conformance/pngsuite/primary/basn6a08.png", true},
    {"images/tga24rle.tga", true},
    {"images/tga32.tga", true},
    {"images/jpeg_baseline.jpg", true},
    {"sound/tone_stereo.wav", false},
    {"sound/ms_adpcm.wav", false},
    {"sound/mp3_stereo_cbr.mp3", false},
    {"sound/vorbis_stereo.ogg", false},
};

std::vector<size_t> CutLengths(size_t size) { return {0, 1, 17, 60, size / 2, size - 1}; }

std::string MemberName(const CutFile& file, size_t length) {
  const std::string fixture = file.fixture;
  return "cut\\" + std::to_string(length) + "_" + fixture.substr(fixture.rfind('/') + 1);
}

// The result of a load and, when it loaded, what was loaded: pixels, or frames and rate.
std::vector<uint32_t> PictureOutcome(int result, BaseImage* image) {
  std::vector<uint32_t> outcome = {static_cast<uint32_t>(result)};
  if (result != 0) return outcome;
  outcome.push_back(static_cast<uint32_t>(image->width));
  outcome.push_back(static_cast<uint32_t>(image->height));
  for (int y = 0; y < image->height; ++y)
    for (int x = 0; x < image->width; ++x) outcome.push_back(GetBaseImagePixelArgb(image, x, y));
  ReleaseBaseImage(image);
  return outcome;
}

std::vector<uint32_t> SoundOutcome(int handle) {
  if (handle == -1) return {0xFFFFFFFFu};
  std::vector<uint32_t> outcome = {0, static_cast<uint32_t>(GetSoundTotalSample(handle)),
                                   GetSoundRecord(handle)->format.nSamplesPerSec};
  EXPECT_EQ(DeleteSoundHandle(handle), 0);
  return outcome;
}

class TruncatedFiles : public StartedLibrary {};

TEST_F(TruncatedFiles, CutMembersLoadAsTheirMemoryImagesOrAreRefused) {
  std::vector<Member> members;
  for (const CutFile& file : kCutFiles) {
    const Bytes whole = ReadFixture(file.fixture);
    for (size_t length : CutLengths(whole.size())) members.push_back({MemberName(file, length), Prefix(whole, length)});
  }
  WriteFile("DATA.ZVA", PackArchive(members, ArchiveCompression::WhenSmaller));
  WriteFile("STORE.ZVA", PackArchive(members, ArchiveCompression::Store));
  const int blocks = GetTrackedBlockCount();
  const int handles = g_soundHandles.usedCount;

  size_t index = 0;
  for (const CutFile& file : kCutFiles) {
    for (size_t length : CutLengths(ReadFixture(file.fixture).size())) {
      const Member& member = members[index++];
      SCOPED_TRACE(member.path);
      std::vector<uint32_t> expected;
      if (file.picture) {
        BaseImage image;
        expected = PictureOutcome(
            LoadBaseImagePlain(nullptr, member.data.data(), static_cast<int>(member.data.size()), 1, &image, 0),
            &image);
      } else {
        expected =
            SoundOutcome(LoadSoundFromMemoryImage(member.data.data(), static_cast<int>(member.data.size()), 1, -1));
      }
      // No format makes anything of its first 17 bytes.
      if (length < 18) {
        EXPECT_NE(expected[0], 0u);
      }
      for (const std::string& path : {"data\\" + member.path, "store\\" + member.path}) {
        if (file.picture) {
          BaseImage image;
          EXPECT_EQ(PictureOutcome(LoadBaseImagePlain(path.c_str(), nullptr, 0, 0, &image, 0), &image), expected)
              << path;
          continue;
        }
        const size_t logLength = ReadLog().size();
        EXPECT_EQ(SoundOutcome(LoadSoundFile(path.c_str(), 1, -1)), expected) << path;
        if (expected[0] != 0) {
          EXPECT_NE(ReadLog().find("右記の音声ファイルのロードに失敗しました_2：" + path, logLength),
                    std::string::npos);
        }
      }
    }
  }
  EXPECT_EQ(g_soundHandles.usedCount, handles);
  ReleaseUnusedArchives();
  EXPECT_EQ(GetTrackedBlockCount(), blocks);
}

// An archive whose tables or data are cut off is no archive: the paths it would serve fail
// cleanly (no plain file stands behind them here).
TEST_F(TruncatedFiles, CutArchivesAreRefusedAndTheirPathsFail) {
  const Bytes picture = ReadFixture("images/tga24.tga");
  const Bytes sound = ReadFixture("sound/tone_mono.wav");
  const Bytes archive = PackArchive({{"a.tga", picture}, {"b.wav", sound}}, ArchiveCompression::WhenSmaller);
  const int blocks = GetTrackedBlockCount();
  for (size_t length : {size_t{0}, size_t{10}, size_t{30}, size_t{600}, archive.size() / 2, archive.size() - 1}) {
    SCOPED_TRACE(length);
    // A name of its own for each cut: an archive once opened stays open until released.
    const std::string name = "CUT" + std::to_string(length);
    WriteFile(name + ".ZVA", Prefix(archive, length));
    BaseImage image;
    EXPECT_EQ(LoadBaseImagePlain((name + "\\a.tga").c_str(), nullptr, 0, 0, &image, 0), -1);
    const std::string soundPath = name + "\\b.wav";
    EXPECT_EQ(LoadSoundFile(soundPath.c_str(), 1, -1), -1);
    EXPECT_NE(ReadLog().find("右記の音声ファイルのロードに失敗しました_1：" + soundPath), std::string::npos);
  }
  // The whole archive serves both.
  WriteFile("WHOLE.ZVA", archive);
  BaseImage image;
  ASSERT_EQ(LoadBaseImagePlain("whole\\a.tga", nullptr, 0, 0, &image, 0), 0);
  ReleaseBaseImage(&image);
  const int handle = LoadSoundFile("whole\\b.wav", 1, -1);
  ASSERT_NE(handle, -1);
  EXPECT_EQ(DeleteSoundHandle(handle), 0);
  ReleaseUnusedArchives();
  EXPECT_EQ(GetTrackedBlockCount(), blocks);
}

}  // namespace
}  // namespace integration_test
