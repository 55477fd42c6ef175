// The video renderer: the draw/wait/drop decision, quality messages and the throttle, the frame
// statistics behind IQualProp, and its arithmetic helpers.
#include "renderer_fixtures.h"

#include "media/filters/video_render_filter.h"

namespace media_test {
namespace {

using VideoRenderer = MediaTest;

// A video renderer whose decision state the test sets and reads.
class TestVideoRenderer : public Z_CVideoRenderFilter {
 public:
  TestVideoRenderer() : Z_CVideoRenderFilter(kTestFilterClass, "Test video renderer", nullptr, nullptr) { AddRef(); }
  HRESULT TestType(const AM_MEDIA_TYPE* type) override { return type->majortype == kMajorVideo ? S_OK : S_FALSE; }
  HRESULT RenderSample(IMediaSample*) override { return S_OK; }

  using Z_CVideoRenderFilter::m_averageDrawTime;
  using Z_CVideoRenderFilter::m_catchUp;
  using Z_CVideoRenderFilter::m_frameInterval;
  using Z_CVideoRenderFilter::m_lastFrameTime;
  using Z_CVideoRenderFilter::m_nominalFrameLength;
  using Z_CVideoRenderFilter::m_waitAverage;
  using Z_CVideoRenderFilter::m_framesDrawn;
  using Z_CVideoRenderFilter::m_pendingLateness;
  using Z_CVideoRenderFilter::m_pendingInterval;
};

// One frame's decision: state before, the frame's times and the clock, the answer.
struct DecisionCase {
  const char* what;
  LONG averageDrawTime;
  LONG frameInterval;
  LONG waitAverage;
  LONG catchUp;
  REFERENCE_TIME sampleStart;  // Stream times; the frame lasts 25 ms.
  REFERENCE_TIME now;
  HRESULT expected;
  LONG catchUpAfter;
};

TEST_F(VideoRenderer, EachFrameIsDrawnAtOnceWaitedForOrDropped) {
  const DecisionCase cases[] = {
      {"46 ms late while drawing keeps up: drawn at once", 0, 250000, 0, 0, 1000000, 1380000, S_OK, 1},
      {"more than half a frame late, drawing slow: dropped", 120000, 250000, 0, 0, 1000000, 1080000 + 150000, E_FAIL,
       -1},
      {"late but waits have been long: drawn", 120000, 250000, 90000, 0, 1000000, 1080000 + 150000, S_OK, 1},
      {"after a drop the next frame is drawn as soon as possible", 120000, 250000, 0, -1, 1000000, 1000000, S_OK, 0},
      {"early: waits for its (advanced) time", 0, 250000, 0, 0, 2000000, 1000000, S_FALSE, 1},
      {"under half a frame late, drawing slow: drawn", 120000, 250000, 0, 0, 1000000, 920000 + 100000, S_OK, 1},
  };
  for (const DecisionCase& c : cases) {
    SCOPED_TRACE(c.what);
    ComRef<TestVideoRenderer> renderer(new TestVideoRenderer);
    AdvisingClock* clock = new AdvisingClock;
    renderer->SetSyncSource(clock);
    renderer->m_averageDrawTime = c.averageDrawTime;
    renderer->m_frameInterval = c.frameInterval;
    renderer->m_nominalFrameLength = 250000;
    renderer->m_waitAverage = c.waitAverage;
    renderer->m_catchUp = c.catchUp;
    clock->SetTime(c.now);
    renderer->m_lastFrameTime = c.now - 250000;
    PlainSample sample;
    REFERENCE_TIME start = c.sampleStart;
    REFERENCE_TIME stop = c.sampleStart + 250000;
    EXPECT_EQ(renderer->DecideDrawNow(&sample, &start, &stop), c.expected);
    EXPECT_EQ(renderer->m_catchUp, c.catchUpAfter);
    if (c.expected == S_FALSE) {
      EXPECT_LT(start, c.sampleStart - 80000 + 1) << "timed at least 8 ms early";
    }
    renderer->SetSyncSource(nullptr);
    clock->Release();
  }
}

// A quality sink that records the messages it is sent.
class RecordingSink final : public IQualityControl {
 public:
  HRESULT QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return static_cast<ULONG>(++references); }
  ULONG Release() override { return static_cast<ULONG>(--references); }
  HRESULT Notify(IBaseFilter*, Quality quality) override {
    messages.push_back(quality);
    return answer;
  }
  HRESULT SetSink(IQualityControl*) override { return S_OK; }
  int references = 1;
  HRESULT answer = S_OK;
  std::vector<Quality> messages;
};

TEST_F(VideoRenderer, QualityMessagesGoToTheSinkWhichIsKeptUntilTheLinkBreaks) {
  ComRef<TestVideoRenderer> renderer(new TestVideoRenderer);
  AdvisingClock* clock = new AdvisingClock;
  renderer->SetSyncSource(clock);
  RecordingSink sink;
  IQualityControl* control = nullptr;
  ASSERT_EQ(renderer->QueryInterface(IID_IQualityControl, reinterpret_cast<void**>(&control)), S_OK);
  ASSERT_EQ(control->SetSink(&sink), S_OK);
  EXPECT_EQ(sink.references, 2);
  renderer->m_frameInterval = 250000;
  renderer->m_nominalFrameLength = 250000;
  renderer->m_averageDrawTime = 20000;
  clock->SetTime(1000000 + 2000000);  // 200 ms late, less the 8 ms advance.
  PlainSample sample;
  REFERENCE_TIME start = 1080000, stop = 1330000;
  renderer->DecideDrawNow(&sample, &start, &stop);
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0].Type, Famine);
  EXPECT_EQ(sink.messages[0].Proportion, 800);
  EXPECT_EQ(sink.messages[0].Late, 2000000 + 10000);
  control->Release();
  renderer->SetSyncSource(nullptr);
  clock->Release();
  renderer.reset();
  EXPECT_EQ(sink.references, 1) << "the renderer let the sink go";
}

TEST_F(VideoRenderer, NotifySetsTheThrottleFromTheProportion) {
  ComRef<TestVideoRenderer> renderer(new TestVideoRenderer);
  struct ThrottleCase {
    LONG proportion;
    LONG throttle;
  };
  for (const ThrottleCase& c : {ThrottleCase{1000, 0}, ThrottleCase{1500, 0}, ThrottleCase{0, 1998622},
                                ThrottleCase{500, 253028}, ThrottleCase{-167, 1998622}, ThrottleCase{-5000, 1998622}}) {
    Quality quality{Famine, c.proportion, 0, 0};
    EXPECT_EQ(renderer->Notify(nullptr, quality), S_OK);
    EXPECT_EQ(renderer->Throttle(), c.throttle) << c.proportion;
  }
}

TEST_F(VideoRenderer, AThrottledDrawSleepsAfterwards) {
  platform::testing::UseFakeClock(true);
  platform::testing::SleepMovesFakeClock(true);
  ComRef<TestVideoRenderer> renderer(new TestVideoRenderer);
  // Drawing is measured by the fake clock: the throttle's sleep is what moves it.
  renderer->OnStreamingBeginHook();
  renderer->Notify(nullptr, Quality{Famine, 0, 0, 0});
  const DWORD before = timeGetTime();
  PlainSample sample;
  renderer->OnRenderBeginHook(&sample);
  renderer->OnRenderEndHook(&sample);
  EXPECT_EQ(timeGetTime() - before, 199u);
}

TEST_F(VideoRenderer, TheAverageFrameRateIsFramesPerSecondTimesAHundred) {
  platform::testing::UseFakeClock(true);
  ComRef<TestVideoRenderer> renderer(new TestVideoRenderer);
  FilterRef source(new TestFilter);
  TestOutputPin* out = source->AddPin<TestOutputPin>("Out");
  out->rule.acceptsAll = true;
  Z_CMediaTypeHolder video = MakeType(kMajorVideo, kSubPcm, kFormatWave, {1});
  AdvisingClock* clock = new AdvisingClock;
  renderer->SetSyncSource(clock);
  ASSERT_EQ(out->Connect(static_cast<IPin*>(renderer->PinAt(0)), &video), S_OK);
  ASSERT_EQ(renderer->Run(0), S_OK);
  auto* input = static_cast<IMemInputPin*>(static_cast<Z_CRenderPin*>(renderer->PinAt(0)));
  IQualProp* quality = nullptr;
  ASSERT_EQ(renderer->QueryInterface(IID_IQualProp, reinterpret_cast<void**>(&quality)), S_OK);
  int jitter = -1, deviation = -1;
  for (int frame = 1; frame <= 250; ++frame) {
    IMediaSample* sample = nullptr;
    ASSERT_EQ(out->TakeDeliveryBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT), S_OK);
    ASSERT_EQ(input->Receive(sample), S_OK);
    sample->Release();
    quality->get_Jitter(&jitter);
    quality->get_DevSyncOffset(&deviation);
    if (frame <= 3) {
      EXPECT_EQ(jitter, 0) << frame;
    }
    if (frame <= 2) {
      EXPECT_EQ(deviation, 0) << frame;
    }
    platform::testing::AdvanceFakeClock(40000);
  }
  ASSERT_EQ(renderer->Stop(), S_OK);
  int value = -1;
  EXPECT_EQ(quality->get_FramesDrawn(&value), S_OK);
  EXPECT_EQ(value, 250);
  EXPECT_EQ(quality->get_AvgFrameRate(&value), S_OK);
  EXPECT_EQ(value, 2500) << "250 frames in 10 s";
  EXPECT_EQ(quality->get_FramesDroppedInRenderer(&value), S_OK);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(quality->get_AvgSyncOffset(nullptr), E_POINTER);
  quality->Release();
  out->Disconnect();
  static_cast<IPin*>(renderer->PinAt(0))->Disconnect();
  renderer->SetSyncSource(nullptr);
  clock->Release();
}

TEST_F(VideoRenderer, LatenessBeyondASecondCountsAsASecondAfterTheFirstFrames) {
  ComRef<TestVideoRenderer> renderer(new TestVideoRenderer);
  AdvisingClock* clock = new AdvisingClock;
  renderer->SetSyncSource(clock);
  renderer->OnStreamingBeginHook();
  // Frames 1 and 2 add nothing to the lateness sums, frames 1 to 3 nothing to the intervals.
  const LONG lateness[] = {50000000, 50000000, 50000000, -50000000, 200000};
  for (LONG late : lateness) renderer->RecordLateness(late, 400000);
  int offset = 0;
  renderer->get_AvgSyncOffset(&offset);
  EXPECT_EQ(offset, (1000 - 1000 + 20) / 4);
  int jitter = -1;
  renderer->get_Jitter(&jitter);
  // Two intervals of 40 ms counted over frames drawn - 2 = 3: (3200 - 80 * 80 / 3) / 2 = 533, root 23.
  EXPECT_EQ(jitter, 23);
  renderer->SetSyncSource(nullptr);
  clock->Release();
}

TEST_F(VideoRenderer, TheArithmeticHelpers) {
  EXPECT_EQ(IntegerSquareRoot(0), 0);
  EXPECT_EQ(IntegerSquareRoot(-5), 0);
  EXPECT_EQ(IntegerSquareRoot(1), 1);
  EXPECT_EQ(IntegerSquareRoot(16), 4);
  EXPECT_EQ(IntegerSquareRoot(1000000), 1000);
  EXPECT_EQ(IntegerSquareRoot(0x40000001), 0x8000);
  EXPECT_EQ(MulDiv64(10, 10, 3, 0), 33);
  EXPECT_EQ(MulDiv64(-10, 10, 3, 0), -33);
  EXPECT_EQ(MulDiv64(INT64_MAX, 4, 2, 0), INT64_MAX);
  EXPECT_EQ(MulDiv64(INT64_MAX, -4, 2, 0), INT64_MIN);
}

TEST_F(VideoRenderer, LeavingTheGraphTellsItTheWindowIsGone) {
  ComRef<TestVideoRenderer> renderer(new TestVideoRenderer);
  ComRef<platform::testing::FakeFilterGraph> graph(platform::testing::CreateFakeFilterGraph({}));
  renderer->JoinFilterGraph(graph.get(), nullptr);
  renderer->JoinFilterGraph(nullptr, nullptr);
  ASSERT_EQ(graph->Events().size(), 1u);
  EXPECT_EQ(graph->Events()[0].code, EC_WINDOW_DESTROYED);
  EXPECT_EQ(graph->Events()[0].first, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(renderer.get())));
}

}  // namespace
}  // namespace media_test
