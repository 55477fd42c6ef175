// Sounds on the road of the game's effects: `LoadSoundFile` reads the file through the
// file-function table that start-up installed (archive first, plain file otherwise), and what the
// DirectSound stand-in mixes is what the memory image of the same bytes gives.
#include "integration_support.h"
#include "sound/sound_records.h"
#include "zyvel/sound.h"

namespace integration_test {
namespace {

namespace door = platform::testing;

// The sound played once from its start, as the mixer's output (44,100 Hz stereo), up to a little
// past its end; then stopped.
std::vector<int16_t> PlayAndCapture(int handle) {
  const int frames = (GetSoundTotalTime(handle) + 20) * 441 / 10;
  EXPECT_EQ(PlaySoundHandle(handle, 1, 1), 0);
  std::vector<int16_t> mix = door::MixSoundFrames(frames);
  EXPECT_EQ(StopSoundHandle(handle), 0);
  return mix;
}

int Peak(const std::vector<int16_t>& mix) {
  int peak = 0;
  for (int16_t sample : mix) peak = std::max(peak, std::abs(static_cast<int>(sample)));
  return peak;
}

// Each decoder: WAVE PCM (16 and 8 bits), WAVE through the ACM (IMA ADPCM, mu-law), MP3 with an
// ID3v2 head and with a "TAG" trailer, Ogg Vorbis.
const char* const kSounds[] = {"tone_mono.wav", "pcm8.wav", "ima_adpcm.wav", "mulaw.wav",
                               "mp3_stereo_id3v2.mp3", "mp3_mono_tag.mp3", "vorbis_stereo.ogg"};

class SoundFiles : public StartedLibrary {};

TEST_F(SoundFiles, PlainFilesAndArchiveMembersSoundLikeTheirMemoryImages) {
  std::vector<Member> members;
  for (const char* name : kSounds) {
    members.push_back({std::string("snd\\") + name, ReadFixture(std::string("sound/") + name)});
    WriteFile(std::string("snd/") + name, members.back().data);
  }
  WriteFile("DATA.ZVA", PackArchive(members, ArchiveCompression::Always));
  WriteFile("STORE.ZVA", PackArchive(members, ArchiveCompression::Store));

  for (const Member& member : members) {
    SCOPED_TRACE(member.path);
    const int fromMemory = LoadSoundFromMemoryImage(member.data.data(), static_cast<int>(member.data.size()), 2, -1);
    ASSERT_NE(fromMemory, -1);
    const int frames = GetSoundTotalSample(fromMemory);
    const std::vector<int16_t> expected = PlayAndCapture(fromMemory);
    EXPECT_GT(Peak(expected), 1000);  // The tone is heard, so the comparisons below mean something.
    EXPECT_EQ(DeleteSoundHandle(fromMemory), 0);
    for (const std::string& path : {member.path, "data\\" + member.path, "store\\" + member.path}) {
      const int fromFile = LoadSoundFile(path.c_str(), 2, -1);
      ASSERT_NE(fromFile, -1) << path;
      EXPECT_EQ(GetSoundTotalSample(fromFile), frames) << path;
      EXPECT_TRUE(PlayAndCapture(fromFile) == expected) << path;
      EXPECT_EQ(DeleteSoundHandle(fromFile), 0);
    }
  }
}

TEST_F(SoundFiles, MissingAndUndecodableFilesFailWithTheirLogLines) {
  WriteFile("snd/noise.wav", Bytes(700, 0x42));
  WriteFile("DATA.ZVA", PackArchive({{"snd\\noise.wav", Bytes(700, 0x42)}}, ArchiveCompression::Store));
  const int handles = g_soundHandles.usedCount;
  struct FailureCase {
    const char* path;
    const char* lines[2];
  };
  const FailureCase cases[] = {
      {"snd\\none.wav", {"右記のファイルのオープンに失敗しました：snd\\none.wav", "右記の音声ファイルのロードに失敗しました_1：snd\\none.wav"}},
      {"data\\snd\\none.wav",
       {"右記のファイルのオープンに失敗しました：data\\snd\\none.wav", "右記の音声ファイルのロードに失敗しました_1：data\\snd\\none.wav"}},
      {"snd\\noise.wav", {"音声ファイルのＰＣＭへの変換に失敗しました", "右記の音声ファイルのロードに失敗しました_2：snd\\noise.wav"}},
      {"data\\snd\\noise.wav",
       {"音声ファイルのＰＣＭへの変換に失敗しました", "右記の音声ファイルのロードに失敗しました_2：data\\snd\\noise.wav"}},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.path);
    const size_t logLength = ReadLog().size();
    EXPECT_EQ(LoadSoundFile(c.path, 3, -1), -1);
    const std::string added = ReadLog().substr(logLength);
    const size_t first = added.find(c.lines[0]);
    EXPECT_NE(first, std::string::npos) << platform::Cp932ToUtf8(added);
    EXPECT_NE(added.find(c.lines[1], first), std::string::npos) << platform::Cp932ToUtf8(added);
  }
  EXPECT_EQ(g_soundHandles.usedCount, handles);
}

}  // namespace
}  // namespace integration_test
