// Sounds on the road of the game's effects: `LoadSoundFile` reads the file through the
// file-function table that start-up installed (archive first, plain file otherwise), and what the
// DirectSound stand-in mixes is what the memory image of the same bytes gives.
#include "integration_support.h"
#include "sound/sound_records.h"
#include "zyvel/graphics.h"
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
const char* const kSounds[] = {"tone_mono.wav",        "pcm8.wav",         "ima_adpcm.wav",    "mulaw.wav",
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
    const int rate = static_cast<int>(GetSoundRecord(fromMemory)->format.nSamplesPerSec);
    const std::vector<int16_t> expected = PlayAndCapture(fromMemory);
    EXPECT_GT(Peak(expected), 1000);  // The tone is heard, so the comparisons below mean something.
    EXPECT_EQ(DeleteSoundHandle(fromMemory), 0);
    for (const std::string& path : {member.path, "data\\" + member.path, "store\\" + member.path}) {
      const int fromFile = LoadSoundFile(path.c_str(), 2, -1);
      ASSERT_NE(fromFile, -1) << path;
      EXPECT_EQ(GetSoundTotalSample(fromFile), frames) << path;
      EXPECT_TRUE(PlayAndCapture(fromFile) == expected) << path;
      EXPECT_EQ(DeleteSoundHandle(fromFile), 0);
      // Streamed (the image kept in memory, or the file read while playing), the sound itself is
      // heard the same. Its last output frame and the tail are not compared: the stream's ring
      // runs on into its silence where the whole buffer ends, and an MP3 stream counts whole frames.
      const size_t body = 2 * (static_cast<size_t>(frames) * 44100 / static_cast<size_t>(rate) - 1);
      for (unsigned mode : {2u, 3u}) {
        ASSERT_EQ(SetSoundLoadMode(mode), 0);
        const int streamed = LoadSoundFile(path.c_str(), 2, -1);
        ASSERT_EQ(SetSoundLoadMode(0), 0);
        ASSERT_NE(streamed, -1) << path << " mode " << mode;
        EXPECT_EQ(GetSoundRecord(streamed)->streamFlag, 1);
        const std::vector<int16_t> heard = PlayAndCapture(streamed);
        ASSERT_GE(heard.size(), body);
        EXPECT_TRUE(std::equal(heard.begin(), heard.begin() + static_cast<long>(body), expected.begin()))
            << path << " mode " << mode;
        EXPECT_EQ(DeleteSoundHandle(streamed), 0);
      }
    }
  }
}

// Frame i of a 44,100 Hz stereo 16-bit WAVE that no two nearby frames share.
int16_t PatternLeft(int64_t frame) { return static_cast<int16_t>(frame * 3); }
int16_t PatternRight(int64_t frame) { return static_cast<int16_t>(~frame ^ (frame >> 16)); }

Bytes PatternWave(int frames) {
  Bytes image = {'R', 'I', 'F', 'F'};
  auto put = [&image](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) image.push_back(static_cast<unsigned char>(value >> (8 * i)));
  };
  put(36 + static_cast<uint32_t>(frames) * 4, 4);
  for (char c : std::string("WAVEfmt ")) image.push_back(static_cast<unsigned char>(c));
  put(16, 4);
  put(1, 2);
  put(2, 2);
  put(44100, 4);
  put(44100 * 4, 4);
  put(4, 2);
  put(16, 2);
  for (char c : std::string("data")) image.push_back(static_cast<unsigned char>(c));
  put(static_cast<uint32_t>(frames) * 4, 4);
  for (int i = 0; i < frames; ++i) {
    put(static_cast<uint16_t>(PatternLeft(i)), 2);
    put(static_cast<uint16_t>(PatternRight(i)), 2);
  }
  return image;
}

// Waits until the sound thread has no refill due for the stream sound (or it has stopped).
void WaitForSoundThread(int handle) {
  for (int polls = 0; polls < 10000; ++polls) {
    bool due = false;
    LockSound();
    if (SoundRecord* record = GetSoundRecord(handle)) {
      int cursor = 0;
      SndBufGetPlayPosition(&record->buffers[0], &cursor);
      const int from = record->stream.refillMark, to = record->stream.writePosition;
      due = record->stream.playing && (from <= to ? cursor >= from && cursor < to : cursor >= from || cursor < to);
    }
    UnlockSound();
    if (!due) return;
    Sleep(2);
  }
  ADD_FAILURE() << "the sound thread did not refill";
}

// Load modes 2 and 3 stream a member while it plays (3 reads it from the archive as it goes): the
// sound thread refills while this thread reads pictures out of the same archive, and every frame
// heard is the sound's own.
TEST_F(SoundFiles, StreamedMembersPlayExactlyWhileThisThreadReadsTheSameArchive) {
  constexpr int kFrames = 3 * 44100 + 555;
  constexpr int kBlock = 4410;  // Less than one refill step.
  const std::vector<Member> members = {{"snd\\long.wav", PatternWave(kFrames)},
                                       {"img\\p.tga", ReadFixture("images/tga24rle.tga")}};
  WriteFile("STORE.ZVA", PackArchive(members, ArchiveCompression::Store));
  WriteFile("DATA.ZVA", PackArchive(members, ArchiveCompression::Always));
  ASSERT_GT(g_runtime.processor.processorCount, 1);  // So the sound thread refills.
  for (const std::string archive : {"store", "data"}) {
    for (unsigned mode : {3u, 2u}) {
      SCOPED_TRACE(archive + " mode " + std::to_string(mode));
      ASSERT_EQ(SetSoundLoadMode(mode), 0);
      const int handle = LoadSoundFile((archive + "\\snd\\long.wav").c_str(), 1, -1);
      ASSERT_EQ(SetSoundLoadMode(0), 0);
      ASSERT_NE(handle, -1);
      EXPECT_EQ(GetSoundRecord(handle)->streamFlag, 1);
      EXPECT_EQ(GetSoundTotalSample(handle), kFrames);
      ASSERT_EQ(PlaySoundHandle(handle, 1, 1), 0);
      for (int64_t done = 0; done < kFrames; done += kBlock) {
        const std::vector<int16_t> mix = door::MixSoundFrames(kBlock);
        BaseImage picture;
        EXPECT_EQ(LoadBaseImagePlain((archive + "\\img\\p.tga").c_str(), nullptr, 0, 0, &picture, 0), 0);
        ReleaseBaseImage(&picture);
        WaitForSoundThread(handle);
        for (int64_t i = 0; i < kBlock && done + i < kFrames; ++i) {
          ASSERT_EQ(mix[2 * i], PatternLeft(done + i)) << "frame " << done + i;
          ASSERT_EQ(mix[2 * i + 1], PatternRight(done + i)) << "frame " << done + i;
        }
      }
      EXPECT_EQ(DeleteSoundHandle(handle), 0);
    }
  }
}

// On a machine of several processors whose sound thread was refused at start-up, message
// processing feeds the stream sounds in its place: every frame heard is the sound's own, not its
// first second over again.
class RefusedSoundThread : public SoundFiles {
 protected:
  void BeforeStart() override {
    door::SetProcessorCount(4);
    door::FailThreadCreation(-1);
  }
};

TEST_F(RefusedSoundThread, MessageProcessingFeedsStreamSounds) {
  door::FailThreadCreation(0);
  ASSERT_EQ(g_runtime.processor.processorCount, 4);
  ASSERT_EQ(g_soundOptions.threadHandle, nullptr);
  constexpr int kFrames = 3 * 44100;
  constexpr int kBlock = 4410;  // One frame of the game is far less; a tenth of a second still fits the ring.
  const Bytes image = PatternWave(kFrames);
  ASSERT_EQ(SetSoundLoadMode(2), 0);
  const int handle = LoadSoundFromMemoryImage(image.data(), static_cast<int>(image.size()), 1, -1);
  ASSERT_EQ(SetSoundLoadMode(0), 0);
  ASSERT_NE(handle, -1);
  ASSERT_EQ(GetSoundRecord(handle)->streamFlag, 1);
  ASSERT_EQ(PlaySoundHandle(handle, 1, 1), 0);
  for (int64_t done = 0; done < kFrames; done += kBlock) {
    ASSERT_EQ(ProcessWindowMessages(), 0);
    const std::vector<int16_t> mix = door::MixSoundFrames(kBlock);
    for (int64_t i = 0; i < kBlock && done + i < kFrames; ++i) {
      ASSERT_EQ(mix[2 * i], PatternLeft(done + i)) << "frame " << done + i;
      ASSERT_EQ(mix[2 * i + 1], PatternRight(done + i)) << "frame " << done + i;
    }
  }
  EXPECT_EQ(DeleteSoundHandle(handle), 0);
}

// A looping stream starts its member over at each end: every decoder, read from a stored member
// while it plays, loops sample for sample like the whole sound played again and again.
TEST_F(SoundFiles, LoopingStreamsOfStoredMembersStartOverExactly) {
  constexpr int kBlock = 4410;
  const char* const names[] = {"tone_stereo.wav", "ima_adpcm.wav", "mp3_stereo_cbr.mp3", "vorbis_stereo.ogg"};
  std::vector<Member> members;
  for (const char* name : names)
    members.push_back({std::string("snd\\") + name, ReadFixture(std::string("sound/") + name)});
  WriteFile("STORE.ZVA", PackArchive(members, ArchiveCompression::Store));
  for (const Member& member : members) {
    SCOPED_TRACE(member.path);
    const int whole = LoadSoundFromMemoryImage(member.data.data(), static_cast<int>(member.data.size()), 1, -1);
    ASSERT_NE(whole, -1);
    const int frames = GetSoundTotalSample(whole);
    ASSERT_EQ(PlaySoundHandle(whole, 1, 1), 0);
    const std::vector<int16_t> once = door::MixSoundFrames(frames);  // 44,100 Hz stereo sources
    EXPECT_EQ(DeleteSoundHandle(whole), 0);

    ASSERT_EQ(SetSoundLoadMode(3), 0);
    const int handle = LoadSoundFile(("store\\" + member.path).c_str(), 1, -1);
    ASSERT_EQ(SetSoundLoadMode(0), 0);
    ASSERT_NE(handle, -1);
    ASSERT_EQ(PlaySoundHandle(handle, 3, 1), 0);
    for (int64_t done = 0; done < 3 * 44100; done += kBlock) {
      UpdateStreamSounds();  // The per-frame service keeps the ring ahead of the mix.
      const std::vector<int16_t> mix = door::MixSoundFrames(kBlock);
      for (int64_t i = 0; i < 2 * kBlock; ++i)
        ASSERT_EQ(mix[static_cast<size_t>(i)], once[static_cast<size_t>((2 * done + i) % (2 * frames))])
            << "frame " << done + i / 2;
    }
    EXPECT_EQ(DeleteSoundHandle(handle), 0);
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
      {"snd\\none.wav",
       {"右記のファイルのオープンに失敗しました：snd\\none.wav",
        "右記の音声ファイルのロードに失敗しました_1：snd\\none.wav"}},
      {"data\\snd\\none.wav",
       {"右記のファイルのオープンに失敗しました：data\\snd\\none.wav",
        "右記の音声ファイルのロードに失敗しました_1：data\\snd\\none.wav"}},
      {"snd\\noise.wav",
       {"音声ファイルのＰＣＭへの変換に失敗しました", "右記の音声ファイルのロードに失敗しました_2：snd\\noise.wav"}},
      {"data\\snd\\noise.wav",
       {"音声ファイルのＰＣＭへの変換に失敗しました",
        "右記の音声ファイルのロードに失敗しました_2：data\\snd\\noise.wav"}},
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
