// Movies as the library opens and plays them: Theora clips (made at test time) through the
// built-in decoder, other files through a filter graph that ends in the movie renderer (driven by
// the RGB24 test source, since the system has no video decoder), the slot table and its handles,
// playback on the fake clock and on a sound track's position, temporary copies of archive members,
// and graphs that show a movie on both rendering paths.
#include "../window/window_fixture.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>  // Also std::chrono's clocks: <chrono> itself does not build as CP932.
#include <vector>

#include "../../tools/zva-pack/archive_writer.h"
#include "graphics/device/render_device.h"
#include "graphics/graphs/graph_records.h"
#include "graphics/graphs/screens.h"
#include "movies/movie_renderer.h"
#include "movies/movie_services.h"
#include "movies/theora_decoder.h"
#include "rgb24_test_source.h"
#include "runtime/tracked_heap.h"
#include "theora_clips.h"
#include "zyvel/graphics.h"
#include "zyvel/runtime.h"
#include "zyvel/sound.h"

namespace {

using movie_test::DefaultClipLevel;
using movie_test::TheoraClipOptions;

constexpr int kFps = 25;  // 40 ms a frame.
constexpr uint64_t kFrameMicroseconds = 40000;
constexpr int kLoopPlay = 3;

// The grey level of the centre pixel of the decoder's RGB image (blue, green, red, 255).
int CentreGrey(const BaseImage& image) {
  const uint8_t* p = image.pixels + (image.height / 2) * image.pitch + (image.width / 2) * 4;
  return p[1];
}

struct CallbackLog {
  int calls = 0;
  std::vector<int> greys;  // Of Theora frames, fetched as the graph code does.
};

// The callback's int value cannot carry a pointer: it names an entry of this table.
std::vector<CallbackLog*> g_callbackLogs;

int RecordFrame(MovieSlot* slot, int value) {
  // A test that failed half-way leaves its movie to the library's shut-down, after its log is gone.
  if (value < 0 || static_cast<size_t>(value) >= g_callbackLogs.size()) return 0;
  CallbackLog* log = g_callbackLogs[static_cast<size_t>(value)];
  ++log->calls;
  if (slot->theora) {
    FetchTheoraFrame(slot->decoder, 1, 0);  // 0 also when the image already holds the frame.
    log->greys.push_back(CentreGrey(*slot->currentImage));
  }
  return 0;
}

int ValueOf(CallbackLog* log) {
  g_callbackLogs.push_back(log);
  return static_cast<int>(g_callbackLogs.size() - 1);
}

class MovieTest : public windowtest::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    platform::testing::UseManualSoundMixing(true);
    BeforeStart();
    ASSERT_EQ(InitializeLibrary(), 0);
  }
  void TearDown() override {
    movie_test::UnregisterRgb24TestSource();
    g_callbackLogs.clear();
    platform::testing::UseManualSoundMixing(false);
    LibraryTest::TearDown();
    SetHardwareAccelFlag(1);
  }
  virtual void BeforeStart() {}

  void Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    ASSERT_TRUE(movie_test::WriteBytesToFile(workDirectory_ + "/" + name, bytes)) << name;
  }
  // A 12-frame 64 x 48 clip at 25 frames a second.
  void WriteClip(const std::string& name, double soundSeconds = 0) {
    TheoraClipOptions options;
    options.fpsNumerator = kFps;
    options.soundSeconds = soundSeconds;
    Write(name, movie_test::MakeTheoraClip(options));
  }
  // The 12-frame clip opened as a movie (-1 when it does not open).
  int OpenClip() {
    WriteClip("clip.ogv");
    return OpenMovie("clip.ogv", nullptr, nullptr, 0);
  }
  // Sets the fake clock and brings the movie up to it.
  void UpdateAt(int movie, uint64_t microseconds) {
    platform::testing::SetFakeClockMilliseconds(microseconds / 1000);
    UpdateMovieFrame(movie, 0);
  }
  // Marks the movie playing and starts it at `microseconds`, as a resume after a pause would.
  void StartAt(int movie, uint64_t microseconds, int playType = 1) {
    MovieSlot* slot = GetMovieSlot(movie);
    ASSERT_NE(slot, nullptr);
    slot->playing = 1;
    slot->playType = playType;
    platform::testing::SetFakeClockMilliseconds(microseconds / 1000);
    ResumeAllMovies();
    ASSERT_EQ(slot->paused, 0);
  }
  // Temporary files (in the system's temporary directory, shared with other programs) that hold
  // exactly these bytes.
  static int CopiesOf(const std::vector<uint8_t>& bytes) {
    int copies = 0;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/tmp", ignored)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("tmp", 0) != 0 || !entry.is_regular_file(ignored) || entry.file_size(ignored) != bytes.size())
        continue;
      std::ifstream file(entry.path(), std::ios::binary);
      std::vector<uint8_t> held(bytes.size());
      file.read(reinterpret_cast<char*>(held.data()), static_cast<std::streamsize>(held.size()));
      copies += file.good() && held == bytes;
    }
    return copies;
  }
};

TEST_F(MovieTest, ATheoraClipOpensPausedWithItsSizeAndReleasesOnce) {
  WriteClip("clip.ogv");
  const int blocks = GetTrackedBlockCount();
  int width = 0, height = 0;
  const int movie = OpenMovie("clip.ogv", &width, &height, 0);
  ASSERT_GE(movie, 0);
  EXPECT_EQ((movie >> 27) & 0xF, 3) << "the handle kind of movies";
  EXPECT_EQ(width, 64);
  EXPECT_EQ(height, 48);
  const MovieSlot* slot = GetMovieSlot(movie);
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(slot->theora, 1);
  EXPECT_EQ(slot->sound, -1) << "the clip has no sound track";
  EXPECT_EQ(slot->paused, 1);
  EXPECT_EQ(slot->playing, 0);
  EXPECT_EQ(slot->playType, 1);
  EXPECT_EQ(slot->currentImage, GetTheoraImage(slot->decoder));
  EXPECT_EQ(GetTheoraCurrentFrame(slot->decoder), 0);

  EXPECT_EQ(ReleaseMovie(movie), 0);
  EXPECT_EQ(ReleaseMovie(movie), -1);
  EXPECT_EQ(GetMovieSlot(movie), nullptr);
  EXPECT_EQ(GetTrackedBlockCount(), blocks) << "release gives back every block the open took";
}

TEST_F(MovieTest, TheHundredAndFirstMovieIsRefusedAndStaleHandlesAreRefusedEverywhere) {
  TheoraClipOptions small;
  small.width = 16;
  small.height = 16;
  small.frames = 2;
  Write("small.ogv", movie_test::MakeTheoraClip(small));
  std::vector<int> movies;
  for (int i = 0; i < 100; ++i) {
    movies.push_back(OpenMovie("small.ogv", nullptr, nullptr, 0));
    ASSERT_GE(movies.back(), 0) << i;
  }
  const std::string log = ReadLog();
  EXPECT_EQ(OpenMovie("small.ogv", nullptr, nullptr, 0), -1);
  EXPECT_EQ(ReadLog(), log) << "a full table is refused without a word";

  // Slot 7 again: a new serial, so the old handle is dead.
  const int stale = movies[7];
  ASSERT_EQ(ReleaseMovie(stale), 0);
  const int reused = OpenMovie("small.ogv", nullptr, nullptr, 0);
  ASSERT_GE(reused, 0);
  EXPECT_EQ(reused & 0xFFFF, stale & 0xFFFF);
  EXPECT_NE(reused, stale);
  movies[7] = reused;
  CallbackLog calls;
  EXPECT_EQ(GetMovieSlot(stale), nullptr);
  EXPECT_EQ(SetMovieFrameCallback(stale, RecordFrame, ValueOf(&calls)), -1);
  EXPECT_EQ(PauseMovie(stale, 1), -1);
  EXPECT_EQ(UpdateMovieFrame(stale, 0), 0);
  EXPECT_EQ(ReleaseMovie(stale), -1);
  for (int bad : {-1, 0, 7, (7 | 0x1000 << 16), (100 | 0x1800 << 16)}) EXPECT_EQ(GetMovieSlot(bad), nullptr) << bad;
  EXPECT_EQ(calls.calls, 0);
  EXPECT_NE(GetMovieSlot(reused), nullptr);
  for (int movie : movies) EXPECT_EQ(ReleaseMovie(movie), 0);
}

TEST_F(MovieTest, ALoopingMovieStepsForwardThroughItsEnd) {
  const int movie = OpenClip();
  ASSERT_GE(movie, 0);
  CallbackLog calls;
  ASSERT_EQ(SetMovieFrameCallback(movie, RecordFrame, ValueOf(&calls)), 0);
  const uint64_t start = 10'000'000;
  StartAt(movie, start, kLoopPlay);
  MovieSlot* slot = GetMovieSlot(movie);
  // Frames 0, 5, 11, then 14 -> 2 and 27 -> 3 of the next passes: always forward.
  for (int frame : {0, 5, 11, 14, 27}) {
    SCOPED_TRACE(frame);
    UpdateAt(movie, start + frame * kFrameMicroseconds + kFrameMicroseconds / 2);
    EXPECT_EQ(GetTheoraCurrentFrame(slot->decoder), frame % 12);
    ASSERT_FALSE(calls.greys.empty());
    EXPECT_NEAR(calls.greys.back(), movie_test::GreyRgb(DefaultClipLevel(frame % 12)), 3);
    EXPECT_EQ(slot->paused, 0) << "a looping movie never stops";
  }
  EXPECT_EQ(slot->currentTime, static_cast<int>((27 * kFrameMicroseconds + kFrameMicroseconds / 2) / 1000));
  EXPECT_EQ(ReleaseMovie(movie), 0);
}

TEST_F(MovieTest, AMovieThatDoesNotLoopStopsAtItsLastFrameForGood) {
  const int movie = OpenClip();
  ASSERT_GE(movie, 0);
  const uint64_t start = 10'000'000;
  StartAt(movie, start);
  MovieSlot* slot = GetMovieSlot(movie);
  UpdateAt(movie, start + 30 * kFrameMicroseconds);
  EXPECT_EQ(GetTheoraCurrentFrame(slot->decoder), 11) << "the last frame is held";
  EXPECT_EQ(slot->paused, 0);
  UpdateAt(movie, start + 31 * kFrameMicroseconds);
  EXPECT_EQ(slot->paused, 1) << "the next update finds it at its end";
  EXPECT_EQ(slot->playing, 0);
  ResumeAllMovies();
  EXPECT_EQ(slot->paused, 1) << "a movie that ended is not restarted";
  EXPECT_EQ(ReleaseMovie(movie), 0);
}

TEST_F(MovieTest, PausingKeepsTheFrameAndResumingCarriesOnFromIt) {
  const int movie = OpenClip();
  ASSERT_GE(movie, 0);
  CallbackLog calls;
  ASSERT_EQ(SetMovieFrameCallback(movie, RecordFrame, ValueOf(&calls)), 0);
  const uint64_t start = 10'000'000;
  StartAt(movie, start);
  MovieSlot* slot = GetMovieSlot(movie);
  platform::testing::SetFakeClockMilliseconds((start + 4 * kFrameMicroseconds + 1000) / 1000);
  EXPECT_EQ(PauseAllMovies(), 0);
  EXPECT_EQ(GetTheoraCurrentFrame(slot->decoder), 4) << "pausing brings the frame to the moment";
  EXPECT_EQ(slot->paused, 1);
  EXPECT_EQ(slot->playing, 1) << "the playing mark is kept";
  EXPECT_EQ(PauseMovie(movie, 0), 0);
  EXPECT_EQ(slot->playing, 1) << "pausing a paused movie changes nothing";

  // A long time later the paused movie still shows frame 4, and its callback still runs.
  const int before = calls.calls;
  UpdateAt(movie, start + 100 * kFrameMicroseconds);
  EXPECT_EQ(GetTheoraCurrentFrame(slot->decoder), 4);
  EXPECT_EQ(calls.calls, before + 1);
  EXPECT_EQ(slot->callbackRan, 1);

  // Resumed, frame 4 is due now and frame 6 two frames later.
  const uint64_t resumed = start + 200 * kFrameMicroseconds;
  platform::testing::SetFakeClockMilliseconds(resumed / 1000);
  ResumeAllMovies();
  EXPECT_EQ(slot->paused, 0);
  UpdateAt(movie, resumed + 2 * kFrameMicroseconds + kFrameMicroseconds / 2);
  EXPECT_EQ(GetTheoraCurrentFrame(slot->decoder), 6);

  // Paused without keeping the mark, it is not restarted.
  EXPECT_EQ(PauseMovie(movie, 0), 0);
  EXPECT_EQ(slot->playing, 0);
  ResumeAllMovies();
  EXPECT_EQ(slot->paused, 1);
  EXPECT_EQ(ReleaseMovie(movie), 0);
}

TEST_F(MovieTest, TheWindowLosingTheFocusPausesMoviesAndRegainingItResumesThem) {
  const int movie = OpenClip();
  ASSERT_GE(movie, 0);
  StartAt(movie, 10'000'000);
  MovieSlot* slot = GetMovieSlot(movie);
  HWND window = g_windowSystem.mainWindow;
  ASSERT_NE(window, nullptr);
  SendMessageA(window, WM_ACTIVATE, WA_INACTIVE, 0);
  EXPECT_EQ(slot->paused, 1);
  EXPECT_EQ(slot->playing, 1);
  SendMessageA(window, WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(slot->paused, 0);
  EXPECT_EQ(ReleaseMovie(movie), 0);
}

TEST_F(MovieTest, AMovieWithSoundFollowsTheSoundAndHoldsItsLastFrame) {
  WriteClip("talk.ogv", 2.0);
  const int loadMode = GetSoundLoadMode(), decoderMask = GetSoundDecoderMask();
  const int movie = OpenMovie("talk.ogv", nullptr, nullptr, 0);
  ASSERT_GE(movie, 0);
  MovieSlot* slot = GetMovieSlot(movie);
  ASSERT_NE(slot->sound, -1) << "the Vorbis track is loaded as a sound";
  EXPECT_EQ(GetSoundLoadMode(), loadMode) << "the sound options are put back";
  EXPECT_EQ(GetSoundDecoderMask(), decoderMask);
  StartAt(movie, 10'000'000);
  int lastFrame = 0;
  for (int round = 0; round < 6; ++round) {
    UpdateStreamSounds();  // The per-frame service keeps the track's ring ahead of the mix.
    platform::testing::MixSoundFrames(44100 / 10);
    const int position = GetSoundHandlePosition(slot->sound);
    UpdateMovieFrame(movie, 0);
    const int due = std::min(static_cast<int>(static_cast<int64_t>(position) * kFps / 1000), 11);
    EXPECT_EQ(GetTheoraCurrentFrame(slot->decoder), due) << "at " << position << " ms";
    EXPECT_GE(due, lastFrame);
    lastFrame = due;
  }
  EXPECT_EQ(lastFrame, 11) << "the track plays, and the picture with it";
  // Past the picture's end the sound decides: the last frame stays and the movie goes on.
  for (int round = 0; round < 4; ++round) {
    UpdateStreamSounds();  // The per-frame service keeps the track's ring ahead of the mix.
    platform::testing::MixSoundFrames(44100 / 10);
    UpdateMovieFrame(movie, 0);
  }
  EXPECT_GT(GetSoundHandlePosition(slot->sound), 480) << "the sound is past the picture's 12 frames";
  EXPECT_EQ(GetTheoraCurrentFrame(slot->decoder), 11);
  EXPECT_EQ(slot->paused, 0);
  EXPECT_EQ(ReleaseMovie(movie), 0);
}

TEST_F(MovieTest, AFileThatIsNoMovieFailsWithItsReasonsAndLeavesNothing) {
  const std::vector<uint8_t> song = movie_test::MakeVorbisOnlyOgg(0.2);
  std::vector<uint8_t> text(1000, 'x');
  text[0] = 'Z';  // Unlike any other test's file.
  Write("song.ogg", song);
  Write("text.txt", text);
  const int blocks = GetTrackedBlockCount();
  for (const char* name : {"song.ogg", "text.txt"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(OpenMovie(name, nullptr, nullptr, 0), -1);
    const std::string log = ReadLog();
    EXPECT_NE(log.find(std::string("ファイル:") + name + " が開けませんでした"), std::string::npos) << log;
    EXPECT_NE(log.find("ムービーファイルオープン処理時にエラーが発生しました"), std::string::npos);
  }
  EXPECT_EQ(GetTrackedBlockCount(), blocks);
  EXPECT_EQ(CopiesOf(text), 0) << "the temporary copy is deleted";
}

// ---- The graph path, with the RGB24 test source ----

class GraphMovieTest : public MovieTest {
 protected:
  void BeforeStart() override { ASSERT_TRUE(movie_test::RegisterRgb24TestSource()); }

  // Updates the movie until `reached` holds; false when it does not within a minute of real time.
  // The graph runs on the fake clock, which only this thread moves: it goes on a millisecond
  // after each real millisecond waited, so the streaming thread always has at least the time the
  // movie asks for, however loaded the machine is.
  template <typename Reached>
  bool UpdateUntil(int movie, Reached reached) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    for (;;) {
      UpdateMovieFrame(movie, 0);
      if (reached()) return true;
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      platform::testing::AdvanceFakeClock(1000);
    }
  }
  // Updates until the callback has run `calls` times in all.
  bool UpdateUntilCalls(int movie, const CallbackLog& log, int calls) {
    return UpdateUntil(movie, [&] { return log.calls >= calls; });
  }
};

TEST_F(GraphMovieTest, FramesReachTheCallbackTopRowFirstAndTheMovieLoops) {
  Write("clip.vid", movie_test::MakeRgb24TestVideo(5, 4, 3, 30, true));
  int width = 0, height = 0;
  const int movie = OpenMovie("clip.vid", &width, &height, 0);
  ASSERT_GE(movie, 0);
  EXPECT_EQ(width, 5);
  EXPECT_EQ(height, 4);
  MovieSlot* slot = GetMovieSlot(movie);
  EXPECT_EQ(slot->theora, 0);
  EXPECT_EQ(slot->temporaryCopy, 0);
  EXPECT_GT(slot->stopPosition, 0);
  CallbackLog calls;
  ASSERT_EQ(SetMovieFrameCallback(movie, RecordFrame, ValueOf(&calls)), 0);
  slot->playing = 1;
  slot->playType = kLoopPlay;
  ResumeAllMovies();
  ASSERT_TRUE(UpdateUntilCalls(movie, calls, 1));
  const BaseImage* frame = slot->currentImage;
  ASSERT_EQ(frame, &slot->frameImage);
  EXPECT_EQ(frame->width, 5);
  EXPECT_EQ(frame->pitch, 16);
  EXPECT_EQ(frame->color.bytesPerPixel, 3);
  const uint8_t* top = frame->pixels;
  EXPECT_EQ(top[0] | top[1] << 8 | top[2] << 16, 0x00FF00) << "the green row comes first";
  // More frames than the video holds: it went round again.
  ASSERT_TRUE(UpdateUntilCalls(movie, calls, 7));
  EXPECT_EQ(slot->paused, 0);
  EXPECT_EQ(ReleaseMovie(movie), 0);
}

TEST_F(GraphMovieTest, AGraphMovieThatDoesNotLoopStopsAtItsEnd) {
  Write("clip.vid", movie_test::MakeRgb24TestVideo(8, 2, 2, 30, false));
  const int movie = OpenMovie("clip.vid", nullptr, nullptr, 0);
  ASSERT_GE(movie, 0);
  MovieSlot* slot = GetMovieSlot(movie);
  slot->playing = 1;
  ResumeAllMovies();
  EXPECT_TRUE(UpdateUntil(movie, [&] { return slot->paused == 1; }));
  EXPECT_EQ(slot->playing, 0);
  EXPECT_EQ(ReleaseMovie(movie), 0);
}

TEST_F(GraphMovieTest, AnArchiveMemberPlaysFromATemporaryCopyThatReleaseDeletes) {
  const std::vector<uint8_t> video = movie_test::MakeRgb24TestVideo(6, 3, 2, 30, true);
  ArchiveWriterItem root, member;
  root.isDirectory = true;
  member.name = "clip.vid";
  member.data = video;
  root.children.push_back(member);
  ArchiveWriterOptions options;
  options.compression = ArchiveCompression::Always;
  std::vector<uint8_t> archive;
  std::string error;
  ASSERT_TRUE(WriteArchive(root, options, &archive, &error)) << error;
  Write("DATA.ZVA", archive);

  const int movie = OpenMovie("data\\clip.vid", nullptr, nullptr, 0);
  ASSERT_GE(movie, 0);
  MovieSlot* slot = GetMovieSlot(movie);
  EXPECT_EQ(slot->temporaryCopy, 1);
  char copyName[260] = {};
  WideCharToMultiByte(932, 0, slot->fileName, -1, copyName, sizeof copyName, nullptr, nullptr);
  const std::string copy = platform::ResolvePath(copyName);
  ASSERT_TRUE(std::filesystem::exists(copy)) << copy;
  EXPECT_EQ(std::filesystem::file_size(copy), video.size()) << "the copy is the whole member";
  EXPECT_EQ(ReleaseMovie(movie), 0);
  EXPECT_FALSE(std::filesystem::exists(copy)) << "release deletes the copy";
}

// ---- Graphs that show a movie, on both paths ----

enum class Path { kDevice, kSoftware };

class MovieGraphTest : public MovieTest, public ::testing::WithParamInterface<Path> {
 protected:
  void BeforeStart() override { SetHardwareAccelFlag(GetParam() == Path::kDevice ? 1 : 0); }
};

// The screen's pixel at (x, y) as 0xRRGGBB.
uint32_t ScreenPixel(int x, int y) {
  FlushVertexBatch();
  const RECT area = {x, y, x + 1, y + 1};
  BaseImage image{};
  EXPECT_EQ(LockDrawScreenBuffer(&area, &image), 0);
  if (!image.pixels) return 0;
  const uint8_t* p = image.pixels;
  const uint32_t rgb = p[2] << 16 | p[1] << 8 | p[0];
  UnlockDrawScreenBuffer();
  return rgb;
}

TEST_P(MovieGraphTest, AClipLoadedAsAGraphDrawsItsFrame) {
  WriteClip("clip.ogv");
  const int blocks = GetTrackedBlockCount();
  const int graph = LoadGraphFile("clip.ogv", 0);
  ASSERT_NE(graph, -1);
  int width = 0, height = 0;
  GetGraphDimensions(graph, &width, &height);
  EXPECT_EQ(width, 64);
  EXPECT_EQ(height, 48);
  ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
  ASSERT_EQ(ClearDrawScreenAll(), 0);
  // Frame 0 is almost black: show frame 1.
  MovieSlot* slot = GetMovieSlot(GetGraphRecord(graph)->MovieHandle);
  ASSERT_NE(slot, nullptr);
  AdvanceTheoraFrame(slot->decoder, 1);
  ASSERT_EQ(DrawGraphAt(10, 20, graph, 0), 0);
  const uint32_t shown = ScreenPixel(10 + 32, 20 + 24);
  const int grey = movie_test::GreyRgb(DefaultClipLevel(1));
  for (int shift : {16, 8, 0}) EXPECT_NEAR(static_cast<int>(shown >> shift & 0xFF), grey, 3) << std::hex << shown;
  EXPECT_EQ(ScreenPixel(5, 5), 0u) << "nothing outside the graph";
  EXPECT_EQ(DeleteGraphHandle(graph), 0);
  EXPECT_EQ(GetTrackedBlockCount(), blocks) << "deleting the graph closes its movie";
}

// Nothing in the system sets a movie running, so a movie graph shows the frame the open decoded:
// on the first draw, and again after a lost device has taken the graph's textures.
TEST_P(MovieGraphTest, AClipLoadedAsAGraphShowsItsFirstFrameWithoutStepping) {
  TheoraClipOptions options;
  options.frames = 3;
  options.level = [](int frame) { return frame == 0 ? 150 : 60; };
  Write("first.ogv", movie_test::MakeTheoraClip(options));
  const int graph = LoadGraphFile("first.ogv", 0);
  ASSERT_NE(graph, -1);
  const int grey = movie_test::GreyRgb(150);
  auto expectFirstFrame = [&](const char* when) {
    SCOPED_TRACE(when);
    ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
    ASSERT_EQ(ClearDrawScreenAll(), 0);
    ASSERT_EQ(DrawGraphAt(10, 20, graph, 0), 0);
    const uint32_t shown = ScreenPixel(10 + 32, 20 + 24);
    for (int shift : {16, 8, 0}) EXPECT_NEAR(static_cast<int>(shown >> shift & 0xFF), grey, 3) << std::hex << shown;
  };
  expectFirstFrame("first draw");
  expectFirstFrame("second draw");
  if (GetParam() == Path::kDevice) {
    platform::testing::LoseDevices();
    EXPECT_EQ(FlipScreen(), -1);
    platform::testing::RegainLostDevices();
    ASSERT_EQ(FlipScreen(), 0);
    expectFirstFrame("after the device came back");
  }
  EXPECT_EQ(GetTheoraCurrentFrame(GetMovieSlot(GetGraphRecord(graph)->MovieHandle)->decoder), 0);
  EXPECT_EQ(DeleteGraphHandle(graph), 0);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, MovieGraphTest, ::testing::Values(Path::kDevice, Path::kSoftware),
                         [](const ::testing::TestParamInfo<Path>& info) {
                           return info.param == Path::kDevice ? std::string("Device") : std::string("Software");
                         });

}  // namespace
