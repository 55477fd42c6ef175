// The renderer base and its pin: Pause completing on the first sample, samples drawn at their
// times, the end of the stream at once or by the one-shot timer, Stop releasing a waiting
// streaming thread, failure reporting, the pin's names and the position tracker.
#include "renderer_fixtures.h"

#include "media/filters/position_pass_through.h"

namespace media_test {
namespace {

using RenderFilter = MediaTest;

TEST_F(RenderFilter, PauseWaitsForTheFirstSampleAndStopReleasesTheWaitingThread) {
  RendererChain chain;
  ASSERT_EQ(chain.Connect(), S_OK);
  EXPECT_EQ(chain.renderer->Pause(), S_FALSE);
  FILTER_STATE state = State_Stopped;
  EXPECT_EQ(chain.renderer->GetState(0, &state), VFW_S_STATE_INTERMEDIATE);
  EXPECT_EQ(state, State_Paused);

  auto sample = chain.Sample(0, 10 * kMs);
  PushedSample push(chain.Input(), sample.get());
  EXPECT_EQ(chain.renderer->GetState(10000, &state), S_OK);
  EXPECT_EQ(state, State_Paused);
  EXPECT_TRUE(push.StillWaiting()) << "a paused renderer holds the sample without drawing it";

  EXPECT_EQ(chain.renderer->Stop(), S_OK);
  ASSERT_TRUE(push.Finished());
  EXPECT_EQ(push.Result(), S_OK);
  EXPECT_TRUE(chain.renderer->Drawn().empty());
  EXPECT_EQ(chain.renderer->HasPendingSample(), 0);
}

TEST_F(RenderFilter, SamplesAreDrawnWhenTheClockReachesTheirStart) {
  RendererChain chain;
  ASSERT_EQ(chain.Connect(), S_OK);
  chain.clock->SetTime(1000 * kMs);
  ASSERT_EQ(chain.renderer->Run(1000 * kMs), S_OK);  // Stream time 0 is clock time 1 s.

  for (REFERENCE_TIME start : {0 * kMs, 40 * kMs, 80 * kMs}) {
    auto sample = chain.Sample(start, start + 40 * kMs);
    const size_t drawnBefore = chain.renderer->Drawn().size();
    PushedSample push(chain.Input(), sample.get());
    if (start > 0) {
      ASSERT_TRUE(chain.WaitForPendingSample());
      EXPECT_EQ(chain.renderer->Drawn().size(), drawnBefore) << "not due yet";
      chain.clock->SetTime(1000 * kMs + start);
    }
    ASSERT_TRUE(push.Finished());
    EXPECT_EQ(push.Result(), S_OK);
  }
  EXPECT_EQ(chain.renderer->Drawn(), (std::vector<REFERENCE_TIME>{0, 40 * kMs, 80 * kMs}));
}

TEST_F(RenderFilter, ASampleWithoutTimesIsDrawnAtOnce) {
  RendererChain chain;
  ASSERT_EQ(chain.Connect(), S_OK);
  chain.clock->SetTime(0);
  ASSERT_EQ(chain.renderer->Run(0), S_OK);
  auto sample = chain.Sample(-1, -1);
  PushedSample push(chain.Input(), sample.get());
  ASSERT_TRUE(push.Finished());
  EXPECT_EQ(chain.renderer->Drawn().size(), 1u);
  EXPECT_EQ(chain.clock->adviceCount, 0);
}

TEST_F(RenderFilter, ASampleEndingBeforeItStartsIsDroppedWhileStreaming) {
  RendererChain chain;
  ASSERT_EQ(chain.Connect(), S_OK);
  ASSERT_EQ(chain.renderer->Run(0), S_OK);
  auto sample = chain.Sample(50 * kMs, 10 * kMs);
  EXPECT_EQ(chain.Input()->Receive(sample.get()), S_OK);
  EXPECT_EQ(chain.renderer->HasPendingSample(), 0);
  EXPECT_TRUE(chain.renderer->Drawn().empty());
}

// The last sample ends at 100 ms; the end of the stream arrives with the clock at `now`.
struct EndOfStreamCase {
  REFERENCE_TIME now;
  bool deliveredAtOnce;
};

TEST_F(RenderFilter, EndOfStreamIsDeliveredAtOnceUnlessFiftyMillisecondsRemain) {
  for (const EndOfStreamCase& c : {EndOfStreamCase{70 * kMs, true}, EndOfStreamCase{51 * kMs, true},
                                   EndOfStreamCase{50 * kMs, false}, EndOfStreamCase{0, false}}) {
    SCOPED_TRACE(c.now);
    RendererChain chain;
    ASSERT_EQ(chain.Connect(), S_OK);
    ASSERT_EQ(chain.renderer->Run(0), S_OK);
    auto sample = chain.Sample(0, 100 * kMs);
    PushedSample push(chain.Input(), sample.get());
    ASSERT_TRUE(push.Finished());
    chain.clock->SetTime(c.now);
    EXPECT_EQ(chain.renderer->Input()->EndOfStream(), S_OK);
    EXPECT_EQ(chain.EventCount(EC_COMPLETE), c.deliveredAtOnce ? 1 : 0);
    EXPECT_EQ(chain.renderer->HasEndOfStreamTimer(), !c.deliveredAtOnce);
  }
}

TEST_F(RenderFilter, TheEndOfStreamTimerDeliversOnceTheClockReachesTheEnd) {
  RendererChain chain;
  ASSERT_EQ(chain.Connect(), S_OK);
  ASSERT_EQ(chain.renderer->Run(0), S_OK);
  auto sample = chain.Sample(0, 60 * kMs);
  PushedSample push(chain.Input(), sample.get());
  ASSERT_TRUE(push.Finished());
  ASSERT_EQ(chain.renderer->Input()->EndOfStream(), S_OK);
  ASSERT_TRUE(chain.renderer->HasEndOfStreamTimer());
  chain.clock->SetTime(60 * kMs);  // The next firing finds nothing left to wait for.
  ASSERT_TRUE(chain.WaitForEvents(EC_COMPLETE, 1));
  EXPECT_TRUE(chain.renderer->IsEndOfStreamDelivered());
  EXPECT_EQ(chain.EventCount(EC_COMPLETE), 1);
}

TEST_F(RenderFilter, PauseCancelsAPendingEndOfStreamTimerAndRunTimesItAgain) {
  RendererChain chain;
  ASSERT_EQ(chain.Connect(), S_OK);
  ASSERT_EQ(chain.renderer->Run(0), S_OK);
  auto sample = chain.Sample(0, 2000 * kMs);
  PushedSample push(chain.Input(), sample.get());
  ASSERT_TRUE(push.Finished());
  ASSERT_EQ(chain.renderer->Input()->EndOfStream(), S_OK);
  ASSERT_TRUE(chain.renderer->HasEndOfStreamTimer());
  EXPECT_EQ(chain.renderer->Pause(), S_OK);  // The end of the stream completes the pause.
  EXPECT_FALSE(chain.renderer->HasEndOfStreamTimer());
  chain.clock->SetTime(2000 * kMs);
  EXPECT_EQ(chain.renderer->Run(0), S_OK);
  EXPECT_EQ(chain.EventCount(EC_COMPLETE), 1);
}

TEST_F(RenderFilter, ARendererDestroyedWithATimerPendingKillsIt) {
  AdvisingClock* clock = new AdvisingClock;
  {
    ComRef<RecordingRenderer> renderer(new RecordingRenderer);
    renderer->SetSyncSource(clock);
    clock->SetTime(-60 * kMs);  // The stream's end (0) is 60 ms away.
    ASSERT_EQ(renderer->Pause(), S_OK);
    ASSERT_EQ(renderer->MarkEndOfStream(), S_OK);
    ASSERT_EQ(renderer->BeginStreaming(), S_OK);
    ASSERT_TRUE(renderer->HasEndOfStreamTimer());
    // Released without a Stop: the timer must go with the renderer.
  }
  // A callback still to come would now run on freed memory; give it the time to show itself.
  Sleep(120);
  clock->Release();
}

TEST_F(RenderFilter, WithoutATimerTheEndOfStreamIsDeliveredAtOnce) {
  RendererChain chain;
  ASSERT_EQ(chain.Connect(), S_OK);
  ASSERT_EQ(chain.renderer->Run(0), S_OK);
  auto sample = chain.Sample(0, 2000 * kMs);
  PushedSample push(chain.Input(), sample.get());
  ASSERT_TRUE(push.Finished());
  platform::testing::FailTimerCreation(1);
  EXPECT_EQ(chain.renderer->Input()->EndOfStream(), S_OK);
  platform::testing::FailTimerCreation(0);
  EXPECT_EQ(chain.EventCount(EC_COMPLETE), 1);
}

TEST_F(RenderFilter, EndOfStreamWhilePausedCompletesThePauseAndIsTimedByRun) {
  RendererChain chain;
  ASSERT_EQ(chain.Connect(), S_OK);
  ASSERT_EQ(chain.renderer->Pause(), S_FALSE);
  EXPECT_EQ(chain.renderer->Input()->EndOfStream(), S_OK);
  FILTER_STATE state;
  EXPECT_EQ(chain.renderer->GetState(0, &state), S_OK);
  EXPECT_EQ(chain.EventCount(EC_COMPLETE), 0);
  EXPECT_EQ(chain.renderer->Run(0), S_OK);
  EXPECT_EQ(chain.EventCount(EC_COMPLETE), 1);
}

TEST_F(RenderFilter, EndOfStreamWhileFlushingIsNotRecorded) {
  RendererChain chain;
  ASSERT_EQ(chain.Connect(), S_OK);
  ASSERT_EQ(chain.renderer->Run(0), S_OK);
  ASSERT_EQ(chain.renderer->Input()->BeginFlush(), S_OK);
  EXPECT_EQ(chain.renderer->Input()->EndOfStream(), S_FALSE);
  EXPECT_FALSE(chain.renderer->IsEndOfStreamReceived());
  ASSERT_EQ(chain.renderer->Input()->EndFlush(), S_OK);
  EXPECT_EQ(chain.renderer->Input()->EndOfStream(), S_OK);
  EXPECT_TRUE(chain.renderer->IsEndOfStreamReceived());
}

TEST_F(RenderFilter, AFlushReleasesAThreadWaitingForItsSample) {
  RendererChain chain;
  ASSERT_EQ(chain.Connect(), S_OK);
  ASSERT_EQ(chain.renderer->Run(0), S_OK);
  auto sample = chain.Sample(500 * kMs, 600 * kMs);
  PushedSample push(chain.Input(), sample.get());
  ASSERT_TRUE(chain.WaitForPendingSample());
  ASSERT_EQ(chain.renderer->Input()->BeginFlush(), S_OK);
  ASSERT_TRUE(push.Finished());
  EXPECT_EQ(chain.renderer->HasPendingSample(), 0);
  EXPECT_EQ(chain.clock->PendingAdvices(), 0u);
  ASSERT_EQ(chain.renderer->Input()->EndFlush(), S_OK);
  EXPECT_TRUE(chain.renderer->Drawn().empty());
}

TEST_F(RenderFilter, ARunOfFailedSamplesIsReportedOnce) {
  RendererChain chain;
  ASSERT_EQ(chain.Connect(), S_OK);
  ASSERT_EQ(chain.renderer->Run(0), S_OK);
  auto held = chain.Sample(1000 * kMs, 1100 * kMs);
  PushedSample push(chain.Input(), held.get());
  ASSERT_TRUE(chain.WaitForPendingSample());

  auto second = chain.Sample(1100 * kMs, 1200 * kMs);
  EXPECT_EQ(chain.Input()->Receive(second.get()), E_UNEXPECTED);
  EXPECT_EQ(chain.Input()->Receive(second.get()), E_FAIL);
  EXPECT_EQ(chain.EventCount(EC_ERRORABORT), 1);
  EXPECT_EQ(chain.EventCount(EC_COMPLETE), 1);
  ASSERT_EQ(chain.graph->Events().size(), 2u);
  EXPECT_EQ(chain.graph->Events()[0].code, EC_ERRORABORT);
  EXPECT_EQ(chain.graph->Events()[0].first, E_UNEXPECTED);

  EXPECT_EQ(chain.renderer->Stop(), S_OK);
  ASSERT_TRUE(push.Finished());
}

TEST_F(RenderFilter, AStoppedRendererRefusesSamplesWithoutEvents) {
  RendererChain chain;
  ASSERT_EQ(chain.Connect(), S_OK);
  ASSERT_EQ(chain.renderer->Pause(), S_FALSE);
  auto sample = chain.Sample(0, 10);
  ASSERT_EQ(chain.renderer->Stop(), S_OK);
  EXPECT_EQ(chain.Input()->Receive(sample.get()), E_FAIL);
  EXPECT_TRUE(chain.graph->Events().empty());
}

TEST_F(RenderFilter, AnUnconnectedRendererCompletesAtOnce) {
  ComRef<RecordingRenderer> renderer(new RecordingRenderer);
  ComRef<platform::testing::FakeFilterGraph> graph(platform::testing::CreateFakeFilterGraph({}));
  renderer->JoinFilterGraph(graph.get(), nullptr);
  EXPECT_EQ(renderer->Pause(), S_OK);
  EXPECT_EQ(renderer->Run(0), S_OK);
  EXPECT_EQ(renderer->Run(0), S_OK);
  FILTER_STATE state;
  EXPECT_EQ(renderer->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Running);
  ASSERT_EQ(graph->Events().size(), 1u);
  EXPECT_EQ(graph->Events()[0].code, EC_COMPLETE);
  EXPECT_EQ(graph->Events()[0].second, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(renderer.get())));
  renderer->Stop();
  renderer->JoinFilterGraph(nullptr, nullptr);
}

TEST_F(RenderFilter, ThePinIsFoundByItsExactIdOnly) {
  ComRef<RecordingRenderer> renderer(new RecordingRenderer);
  IPin* pin = nullptr;
  ASSERT_EQ(renderer->FindPin(u"In", &pin), S_OK);
  EXPECT_EQ(pin, renderer->Input());
  pin->Release();
  for (const char16_t* id : {u"in", u"Out", u"In "}) {
    pin = reinterpret_cast<IPin*>(1);
    EXPECT_EQ(renderer->FindPin(id, &pin), VFW_E_NOT_FOUND);
    EXPECT_EQ(pin, nullptr);
  }
  LPWSTR id = nullptr;
  ASSERT_EQ(renderer->Input()->QueryId(&id), S_OK);
  EXPECT_EQ(std::u16string(id), u"In");
  CoTaskMemFree(id);
  EXPECT_EQ(renderer->Input()->QueryInternalConnections(nullptr, nullptr), E_NOTIMPL);
  EXPECT_EQ(renderer->PinAt(1), nullptr);
}

TEST_F(RenderFilter, BothPositionInterfacesComeFromOneTracker) {
  ComRef<RecordingRenderer> renderer(new RecordingRenderer);
  IMediaSeeking* seeking = nullptr;
  IMediaPosition* position = nullptr;
  ASSERT_EQ(renderer->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking)), S_OK);
  ASSERT_EQ(renderer->QueryInterface(IID_IMediaPosition, reinterpret_cast<void**>(&position)), S_OK);
  Z_CRenderPosTracker* tracker = renderer->PositionTracker();
  ASSERT_NE(tracker, nullptr);
  EXPECT_EQ(seeking, tracker->Seeking());
  EXPECT_EQ(position, tracker->Position());
  // Aggregated: the tracker's interfaces lead back to the renderer.
  IBaseFilter* filter = nullptr;
  ASSERT_EQ(seeking->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&filter)), S_OK);
  EXPECT_EQ(filter, static_cast<IBaseFilter*>(renderer.get()));
  filter->Release();
  LONGLONG duration = 0;
  EXPECT_EQ(seeking->GetDuration(&duration), E_NOTIMPL);  // Nothing connected upstream.
  seeking->Release();
  position->Release();
}

TEST_F(RenderFilter, StopFromAnotherThreadWhileSamplesFlow) {
  RendererChain chain;
  ASSERT_EQ(chain.Connect(), S_OK);
  ASSERT_EQ(chain.renderer->Run(0), S_OK);
  std::atomic<bool> stopping{false};
  std::thread source([&] {
    for (REFERENCE_TIME t = 0; !stopping.load(); t += 10 * kMs) {
      IMediaSample* sample = nullptr;
      if (chain.out->TakeDeliveryBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT) != S_OK) break;
      REFERENCE_TIME stop = t + 10 * kMs;
      sample->SetTime(&t, &stop);
      const HRESULT result = chain.Input()->Receive(sample);
      sample->Release();
      if (result != S_OK) break;
      chain.clock->SetTime(stop);
    }
  });
  ASSERT_TRUE(chain.renderer->WaitForDrawn(3));
  stopping = true;
  chain.renderer->Stop();
  source.join();
}

}  // namespace
}  // namespace media_test
