// The movie renderer: which media types it takes, the frame buffer it sets up from the format
// (and the formats it refuses), the frame copy with its row order, its class id and its buffer's
// lifetime; then the renderer at the end of a real graph built by RenderFile over the RGB24 test
// source, playing, ending and looping as the movie slots drive it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>  // Also std::chrono's clocks: <chrono> itself does not build as CP932.
#include <vector>

#include "../media/media_test_support.h"
#include "media/framework/named_object.h"
#include "movies/movie_renderer.h"
#include "platform/dshow_position.h"
#include "rgb24_test_source.h"
#include "runtime/tracked_heap.h"

namespace movie_test {
namespace {

using media_test::ComRef;

// A media type of the given ids whose format block is a VIDEOINFOHEADER of the given size (the
// block cut to `formatBytes` when that is smaller).
struct VideoType : AM_MEDIA_TYPE {
  VideoType(const GUID& major, const GUID& sub, const GUID& format, LONG width, LONG height,
            ULONG formatBytes = sizeof(VIDEOINFOHEADER))
      : AM_MEDIA_TYPE{} {
    majortype = major;
    subtype = sub;
    formattype = format;
    header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    header.bmiHeader.biWidth = width;
    header.bmiHeader.biHeight = height;
    header.bmiHeader.biBitCount = 24;
    cbFormat = formatBytes;
    pbFormat = reinterpret_cast<BYTE*>(&header);
  }
  VIDEOINFOHEADER header{};
};

VideoType Rgb24Type(LONG width, LONG height) {
  return VideoType(MEDIATYPE_Video, MEDIASUBTYPE_RGB24, FORMAT_VideoInfo, width, height);
}

// A sample over a byte vector, with the data length the test says.
class BufferSample final : public IMediaSample {
 public:
  explicit BufferSample(std::vector<BYTE> bytes)
      : data(std::move(bytes)), actualLength(static_cast<LONG>(data.size())) {}
  HRESULT QueryInterface(REFIID iid, void** out) override {
    *out = iid == IID_IUnknown || iid == IID_IMediaSample ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT GetPointer(BYTE** out) override {
    *out = data.data();
    return S_OK;
  }
  LONG GetSize() override { return static_cast<LONG>(data.size()); }
  HRESULT GetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return VFW_E_SAMPLE_TIME_NOT_SET; }
  HRESULT SetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return E_NOTIMPL; }
  HRESULT IsSyncPoint() override { return S_OK; }
  HRESULT SetSyncPoint(BOOL) override { return E_NOTIMPL; }
  HRESULT IsPreroll() override { return S_FALSE; }
  HRESULT SetPreroll(BOOL) override { return E_NOTIMPL; }
  LONG GetActualDataLength() override { return actualLength; }
  HRESULT SetActualDataLength(LONG) override { return E_NOTIMPL; }
  HRESULT GetMediaType(AM_MEDIA_TYPE** out) override {
    *out = nullptr;
    return S_FALSE;
  }
  HRESULT SetMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  HRESULT IsDiscontinuity() override { return S_FALSE; }
  HRESULT SetDiscontinuity(BOOL) override { return E_NOTIMPL; }
  HRESULT GetMediaTime(LONGLONG*, LONGLONG*) override { return VFW_E_MEDIA_TIME_NOT_SET; }
  HRESULT SetMediaTime(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }

  std::vector<BYTE> data;
  LONG actualLength;
};

// Rows of `pitch` bytes, every byte of row r being r + 1.
std::vector<BYTE> NumberedRows(int pitch, int rows) {
  std::vector<BYTE> bytes;
  for (int row = 0; row < rows; ++row)
    bytes.insert(bytes.end(), static_cast<size_t>(pitch), static_cast<BYTE>(row + 1));
  return bytes;
}

std::vector<BYTE> BufferBytes(Z_CMovieRenderer* renderer) {
  const BYTE* frame = renderer->FrameBuffer();
  return std::vector<BYTE>(frame, frame + renderer->FramePitch() * renderer->FrameHeight());
}

// Every renderer is released in the test that made it: the framework's objects and the tracked
// heap come back to where they were.
class MovieRendererTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_objectsAtStart = Z_CNamedObject::LiveObjectCount.load();
    m_blocksAtStart = GetTrackedBlockCount();
  }
  void TearDown() override {
    EXPECT_EQ(Z_CNamedObject::LiveObjectCount.load(), m_objectsAtStart) << "a framework object was left alive";
    EXPECT_EQ(GetTrackedBlockCount(), m_blocksAtStart) << "a tracked block was left behind";
  }

  // A renderer held by one reference of the test, as a graph would hold it.
  static ComRef<IBaseFilter> Hold(Z_CMovieRenderer* renderer) {
    IBaseFilter* filter = nullptr;
    EXPECT_EQ(renderer->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&filter)), S_OK);
    return ComRef<IBaseFilter>(filter);
  }

 private:
  LONG m_objectsAtStart = 0;
  int m_blocksAtStart = 0;
};

TEST_F(MovieRendererTest, TakesOnlyUncompressedRgb24DescribedByAVideoInfoHeader) {
  HRESULT created = E_FAIL;
  Z_CMovieRenderer* renderer = CreateMovieRenderer(nullptr, &created);
  ASSERT_NE(renderer, nullptr);
  EXPECT_EQ(created, S_OK);
  ComRef<IBaseFilter> held = Hold(renderer);

  struct Case {
    const char* what;
    GUID major, sub, format;
    HRESULT expected;
  };
  const Case cases[] = {
      {"a wave format", MEDIATYPE_Video, MEDIASUBTYPE_RGB24, FORMAT_WaveFormatEx, E_INVALIDARG},
      {"the format is tested before the major type", MEDIATYPE_Audio, kSubtypeYuy2, FORMAT_WaveFormatEx, E_INVALIDARG},
      {"audio", MEDIATYPE_Audio, MEDIASUBTYPE_RGB24, FORMAT_VideoInfo, E_FAIL},
      {"YUY2", MEDIATYPE_Video, kSubtypeYuy2, FORMAT_VideoInfo, E_FAIL},
      {"32-bit RGB", MEDIATYPE_Video, kSubtypeRgb32, FORMAT_VideoInfo, E_FAIL},
      {"24-bit RGB", MEDIATYPE_Video, MEDIASUBTYPE_RGB24, FORMAT_VideoInfo, S_OK},
  };
  for (const Case& c : cases) {
    VideoType type(c.major, c.sub, c.format, 5, 3);
    EXPECT_EQ(renderer->TestType(&type), c.expected) << c.what;
  }
  EXPECT_EQ(renderer->TestType(nullptr), E_POINTER);

  CLSID classId{};
  ASSERT_EQ(renderer->GetClassID(&classId), S_OK);
  EXPECT_EQ(classId, CLSID_MovieRenderer);
}

TEST_F(MovieRendererTest, AdoptTypeSizesTheBufferInWholeWordRowsAndRefusesSizesItCannotHold) {
  Z_CMovieRenderer* renderer = CreateMovieRenderer(nullptr, nullptr);
  ASSERT_NE(renderer, nullptr);
  ComRef<IBaseFilter> held = Hold(renderer);
  const int blocksBefore = GetTrackedBlockCount();

  // 5 · 3 + 3 = 18, rounded down to 16; 4 · 3 + 3 = 15 -> 12; 1 · 3 + 3 = 6 -> 4.
  struct Accepted {
    LONG width, height;
    int pitch, rows;
  };
  for (const Accepted& c : {Accepted{5, 3, 16, 3}, Accepted{4, -7, 12, 7}, Accepted{1, 1, 4, 1}}) {
    VideoType type = Rgb24Type(c.width, c.height);
    ASSERT_EQ(renderer->AdoptType(&type), S_OK) << c.width << "x" << c.height;
    EXPECT_EQ(renderer->FrameWidth(), c.width);
    EXPECT_EQ(renderer->FrameHeight(), c.rows);
    EXPECT_EQ(renderer->FramePitch(), c.pitch);
    EXPECT_NE(renderer->FrameBuffer(), nullptr);
    EXPECT_EQ(GetTrackedBlockCount(), blocksBefore + 1) << "the previous buffer is freed";
  }

  const BYTE* kept = renderer->FrameBuffer();
  struct Refused {
    const char* what;
    LONG width, height;
    ULONG formatBytes;
  };
  const Refused refused[] = {
      {"no width", 0, 3, sizeof(VIDEOINFOHEADER)},
      {"a negative width", -5, 3, sizeof(VIDEOINFOHEADER)},
      {"no height", 5, 0, sizeof(VIDEOINFOHEADER)},
      {"a height that cannot be negated", 5, INT_MIN, sizeof(VIDEOINFOHEADER)},
      {"a pitch beyond an int", INT_MAX, 1, sizeof(VIDEOINFOHEADER)},
      {"a frame beyond an int", 30000, -30000, sizeof(VIDEOINFOHEADER)},
      {"a format block short of a VIDEOINFOHEADER", 5, 3, sizeof(VIDEOINFOHEADER) - 1},
  };
  for (const Refused& c : refused) {
    VideoType type = Rgb24Type(c.width, c.height);
    type.cbFormat = c.formatBytes;
    EXPECT_EQ(renderer->AdoptType(&type), E_INVALIDARG) << c.what;
  }
  VideoType noBlock = Rgb24Type(5, 3);
  noBlock.pbFormat = nullptr;
  EXPECT_EQ(renderer->AdoptType(&noBlock), E_INVALIDARG);
  EXPECT_EQ(renderer->FrameBuffer(), kept) << "a refused format leaves the buffer as it was";
  EXPECT_EQ(renderer->FramePitch(), 4);
  EXPECT_EQ(GetTrackedBlockCount(), blocksBefore + 1);
}

TEST_F(MovieRendererTest, RenderSampleStoresTheFrameTopRowFirst) {
  Z_CMovieRenderer* renderer = CreateMovieRenderer(nullptr, nullptr);
  ASSERT_NE(renderer, nullptr);
  ComRef<IBaseFilter> held = Hold(renderer);
  BufferSample sample(NumberedRows(16, 3));

  // Before any format there is nowhere to copy to.
  EXPECT_EQ(renderer->RenderSample(&sample), S_OK);
  EXPECT_FALSE(renderer->TakeNewFrame());
  EXPECT_EQ(renderer->RenderSample(nullptr), E_POINTER);

  // A positive height is a bottom-up source: its first row is the picture's last.
  VideoType bottomUp = Rgb24Type(5, 3);
  ASSERT_EQ(renderer->AdoptType(&bottomUp), S_OK);
  EXPECT_EQ(renderer->RenderSample(&sample), S_OK);
  EXPECT_TRUE(renderer->TakeNewFrame());
  EXPECT_FALSE(renderer->TakeNewFrame()) << "taking the frame clears the flag";
  std::vector<BYTE> expected = NumberedRows(16, 3);
  std::reverse(expected.begin(), expected.end());  // Every byte of a row is alike.
  EXPECT_EQ(BufferBytes(renderer), expected);

  // A sample short of a whole frame is dropped: no copy, no new frame.
  BufferSample shortSample(std::vector<BYTE>(48, 0xEE));
  shortSample.actualLength = 47;
  EXPECT_EQ(renderer->RenderSample(&shortSample), S_OK);
  EXPECT_FALSE(renderer->TakeNewFrame());
  EXPECT_EQ(BufferBytes(renderer), expected);

  // A negative height is top-down already.
  VideoType topDown = Rgb24Type(5, -3);
  ASSERT_EQ(renderer->AdoptType(&topDown), S_OK);
  EXPECT_EQ(renderer->RenderSample(&sample), S_OK);
  EXPECT_TRUE(renderer->TakeNewFrame());
  EXPECT_EQ(BufferBytes(renderer), NumberedRows(16, 3));
}

TEST_F(MovieRendererTest, TheLastReleaseDeletesTheRendererAndItsBuffer) {
  const int blocksBefore = GetTrackedBlockCount();
  Z_CMovieRenderer* renderer = CreateMovieRenderer(nullptr, nullptr);
  ASSERT_NE(renderer, nullptr);
  VideoType type = Rgb24Type(64, 48);
  ASSERT_EQ(renderer->AdoptType(&type), S_OK);
  EXPECT_EQ(GetTrackedBlockCount(), blocksBefore + 1);
  // Handed out with no reference: the first AddRef makes one, its Release the last.
  EXPECT_EQ(renderer->AddRef(), 1u);
  EXPECT_EQ(renderer->Release(), 0u);
  EXPECT_EQ(GetTrackedBlockCount(), blocksBefore);
}

// ---- In a graph ----

constexpr int kWidth = 5;
constexpr int kHeight = 3;
constexpr int kFrames = 4;
constexpr int kFps = 10;
constexpr LONGLONG kDuration = kFrames * 10000000LL / kFps;

// Bounded waits: long enough for a loaded machine, never part of what is checked.
constexpr auto kPatience = std::chrono::seconds(20);

// The frame whose bytes these are (top row first), or -1 when they are not one of the test
// video's frames: the top row green, every other pixel the level of one frame (the levels of
// frames 0 to 12 differ).
int FrameOf(const std::vector<BYTE>& bytes, int pitch) {
  for (int frame = 0; frame <= 12; ++frame) {
    const int level = TestFrameLevel(frame);
    bool matches = true;
    for (int row = 0; row < kHeight && matches; ++row)
      for (int x = 0; x < kWidth && matches; ++x) {
        const BYTE* pixel = &bytes[static_cast<size_t>(row * pitch + x * 3)];
        const BYTE blue = static_cast<BYTE>(row == 0 ? 0 : 255 - level);
        const BYTE green = static_cast<BYTE>(row == 0 ? 255 : level / 2);
        const BYTE red = static_cast<BYTE>(row == 0 ? 0 : level);
        matches = pixel[0] == blue && pixel[1] == green && pixel[2] == red;
      }
    if (matches) return frame;
  }
  return -1;
}

// Notes the frame in the buffer after every copy, and the start time of the run it was drawn
// in; read under the filter lock.
class RecordingMovieRenderer final : public Z_CMovieRenderer {
 public:
  RecordingMovieRenderer() : Z_CMovieRenderer(nullptr, nullptr) {}
  HRESULT RenderSample(IMediaSample* sample) override {
    const HRESULT result = Z_CMovieRenderer::RenderSample(sample);
    frames.push_back(FrameOf(BufferBytes(this), FramePitch()));
    runStarts.push_back(StartTime());
    return result;
  }
  std::vector<int> frames;
  std::vector<REFERENCE_TIME> runStarts;
};

class MovieGraphTest : public MovieRendererTest {
 protected:
  void SetUp() override {
    MovieRendererTest::SetUp();
    ASSERT_TRUE(RegisterRgb24TestSource());
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                               IID_IGraphBuilder, reinterpret_cast<void**>(&graph)),
              S_OK);
    IMediaControl* controlInterface = nullptr;
    IMediaSeeking* seekingInterface = nullptr;
    ASSERT_EQ(graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&controlInterface)), S_OK);
    control.reset(controlInterface);
    ASSERT_EQ(graph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seekingInterface)), S_OK);
    seeking.reset(seekingInterface);
  }
  void TearDown() override {
    control.reset();
    seeking.reset();
    // The graph holds the only reference to the renderer: releasing it frees the renderer too.
    if (graph) graph->Release();
    UnregisterRgb24TestSource();
    for (const std::string& path : m_files) std::filesystem::remove(path);
    MovieRendererTest::TearDown();
  }

  void AddRenderer(Z_CMovieRenderer* made) {
    ASSERT_NE(made, nullptr);
    renderer = made;
    ASSERT_EQ(graph->AddFilter(renderer, u"MovieRenderer"), S_OK);
  }

  std::u16string WriteFile(const std::vector<uint8_t>& bytes, const std::string& name) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("zyvel_movie_renderer_" + std::to_string(::getpid()) + "_" + name))
            .string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    m_files.push_back(path);
    return std::u16string(path.begin(), path.end());
  }

  // Polls as the movie slots do until the position reaches the stop position.
  bool WaitForEnd() {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (std::chrono::steady_clock::now() < deadline) {
      LONGLONG current = 0, stop = 0;
      if (SUCCEEDED(seeking->GetCurrentPosition(&current)) && SUCCEEDED(seeking->GetStopPosition(&stop)) &&
          current >= stop)
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }

  int FrameInBuffer() {
    Z_CScopedLock lock(renderer->FilterLock());
    return FrameOf(BufferBytes(renderer), renderer->FramePitch());
  }

  IGraphBuilder* graph = nullptr;
  ComRef<IMediaControl> control;
  ComRef<IMediaSeeking> seeking;
  Z_CMovieRenderer* renderer = nullptr;  // The graph's.

 private:
  std::vector<std::string> m_files;
};

class MovieGraphRowOrderTest : public MovieGraphTest, public ::testing::WithParamInterface<bool> {};

TEST_P(MovieGraphRowOrderTest, RenderFileEndsInTheRendererAndItsFramesArriveTopRowFirst) {
  AddRenderer(CreateMovieRenderer(nullptr, nullptr));
  const bool bottomUp = GetParam();
  const std::u16string file = WriteFile(MakeRgb24TestVideo(kWidth, kHeight, kFrames, kFps, bottomUp), "rows.raw");
  ASSERT_EQ(graph->RenderFile(file.c_str(), nullptr), S_OK);

  IPin* input = nullptr;
  ASSERT_EQ(renderer->FindPin(u"In", &input), S_OK);
  IPin* upstream = nullptr;
  EXPECT_EQ(input->ConnectedTo(&upstream), S_OK);
  if (upstream) upstream->Release();
  input->Release();
  EXPECT_EQ(renderer->FrameWidth(), kWidth);
  EXPECT_EQ(renderer->FrameHeight(), kHeight);
  EXPECT_EQ(renderer->FramePitch(), 16);
  LONGLONG duration = 0, stop = 0;
  ASSERT_EQ(seeking->GetDuration(&duration), S_OK);
  EXPECT_EQ(duration, kDuration);
  ASSERT_EQ(seeking->GetStopPosition(&stop), S_OK);
  EXPECT_EQ(stop, kDuration);

  ASSERT_EQ(control->Run(), S_OK);
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  bool arrived = false;
  while (!arrived && std::chrono::steady_clock::now() < deadline) {
    arrived = renderer->TakeNewFrame();
    if (!arrived) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_TRUE(arrived) << "no frame reached the renderer";
  EXPECT_GE(FrameInBuffer(), 0) << "the buffer holds a whole frame, top row first";

  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(FrameInBuffer(), kFrames - 1) << "the last frame stays in the buffer at the end";
  EXPECT_EQ(control->Stop(), S_OK);
}

INSTANTIATE_TEST_SUITE_P(BottomUpAndTopDown, MovieGraphRowOrderTest, ::testing::Bool());

TEST_F(MovieGraphTest, SeekingToZeroAndRunningAfterTheEndPlaysEveryFrameAgain) {
  auto* recorder = new RecordingMovieRenderer;
  AddRenderer(recorder);
  const std::u16string file = WriteFile(MakeRgb24TestVideo(kWidth, kHeight, kFrames, kFps, true), "loop.raw");
  ASSERT_EQ(graph->RenderFile(file.c_str(), nullptr), S_OK);

  ASSERT_EQ(control->Run(), S_OK);
  ASSERT_TRUE(WaitForEnd());
  LONGLONG zero = 0;
  ASSERT_EQ(seeking->SetPositions(&zero, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
  ASSERT_EQ(control->Run(), S_OK);
  LONGLONG current = -1;
  ASSERT_EQ(seeking->GetCurrentPosition(&current), S_OK);
  EXPECT_LT(current, kDuration) << "the loop does not read as ended at once";
  ASSERT_TRUE(WaitForEnd());
  ASSERT_EQ(control->Stop(), S_OK);

  Z_CScopedLock lock(recorder->FilterLock());
  EXPECT_EQ(recorder->frames, (std::vector<int>{0, 1, 2, 3, 0, 1, 2, 3}));
  // The second pass, stamped from 0 again, is timed from a start after the first pass ended:
  // timed from the first start, every frame of it would be late and go by at once. The end is
  // delivered once less than 50 ms of the last frame remain, so a loaded machine may start the
  // second pass up to 50 ms (500,000 units) before the first one's stop time.
  ASSERT_EQ(recorder->runStarts.size(), 8u);
  for (size_t i = 1; i < 4; ++i) EXPECT_EQ(recorder->runStarts[i], recorder->runStarts[0]);
  for (size_t i = 5; i < 8; ++i) EXPECT_EQ(recorder->runStarts[i], recorder->runStarts[4]);
  EXPECT_GT(recorder->runStarts[4], recorder->runStarts[0] + kDuration - 500000);
}

TEST_F(MovieGraphTest, PausingAndRunningAgainGoesOnWhereThePauseHeldTheMovie) {
  auto* recorder = new RecordingMovieRenderer;
  AddRenderer(recorder);
  constexpr int kLongerFrames = 12;  // Frames are left to play after the pause.
  const std::u16string file = WriteFile(MakeRgb24TestVideo(kWidth, kHeight, kLongerFrames, kFps, true), "pause.raw");
  ASSERT_EQ(graph->RenderFile(file.c_str(), nullptr), S_OK);
  IMediaFilter* graphFilter = nullptr;
  ASSERT_EQ(graph->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(&graphFilter)), S_OK);
  IReferenceClock* clock = nullptr;
  ASSERT_EQ(control->Run(), S_OK);
  ASSERT_EQ(graphFilter->GetSyncSource(&clock), S_OK);
  graphFilter->Release();
  ASSERT_NE(clock, nullptr);
  ComRef<IReferenceClock> heldClock(clock);

  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  size_t drawn = 0;
  while (drawn < 2 && std::chrono::steady_clock::now() < deadline) {
    {
      Z_CScopedLock lock(recorder->FilterLock());
      drawn = recorder->frames.size();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_GE(drawn, 2u);
  REFERENCE_TIME beforePause = 0, afterRun = 0;
  ASSERT_EQ(clock->GetTime(&beforePause), S_OK);
  ASSERT_EQ(control->Pause(), S_OK);
  ASSERT_EQ(control->Run(), S_OK);
  ASSERT_EQ(clock->GetTime(&afterRun), S_OK);
  ASSERT_TRUE(WaitForEnd());
  ASSERT_EQ(control->Stop(), S_OK);

  Z_CScopedLock lock(recorder->FilterLock());
  std::vector<int> expected(kLongerFrames);
  for (int i = 0; i < kLongerFrames; ++i) expected[static_cast<size_t>(i)] = i;
  EXPECT_EQ(recorder->frames, expected);
  // The start moves on by no more than the pause lasted, so the stream time goes on from where
  // the pause held it: started afresh, every frame left would wait as long as the movie had played.
  const std::vector<REFERENCE_TIME>& starts = recorder->runStarts;
  const auto resumed = std::find_if(starts.begin(), starts.end(), [&](REFERENCE_TIME s) { return s != starts[0]; });
  ASSERT_NE(resumed, starts.end()) << "every frame was drawn before the pause";
  EXPECT_GT(*resumed, starts[0]);
  EXPECT_LE(*resumed - starts[0], afterRun - beforePause);
  EXPECT_TRUE(std::all_of(resumed, starts.end(), [&](REFERENCE_TIME s) { return s == *resumed; }));
}

TEST_F(MovieGraphTest, AFileOfYuvFramesCannotBeRendered) {
  AddRenderer(CreateMovieRenderer(nullptr, nullptr));
  const std::u16string file = WriteFile(MakeYuvOnlyTestVideo(kWidth, kHeight, kFrames, kFps), "yuv.raw");
  EXPECT_EQ(graph->RenderFile(file.c_str(), nullptr), VFW_E_CANNOT_RENDER);
  EXPECT_EQ(renderer->FrameBuffer(), nullptr);
  LONGLONG duration = 0;
  EXPECT_EQ(seeking->GetDuration(&duration), E_NOTIMPL) << "no connected renderer answers";
}

}  // namespace
}  // namespace movie_test
