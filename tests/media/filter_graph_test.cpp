// The platform's filter graph manager: building a chain with Render (the graph's own filters
// first, then registered classes), swapping the renderer for the null renderer, running without
// a clock until every renderer has reported, reconnection, the state order, event codes and
// what Render does when nothing takes a pin.
#include <algorithm>

#include "graph_test_filters.h"
#include "media/filters/sample_grabber.h"
#include "media/framework/media_classes.h"
#include "platform/dshow_position.h"

namespace media_test {
namespace {

constexpr CLSID kCountingRendererClass = {0x1A2B3C07, 0x0007, 0x0007, {7, 7, 7, 7, 7, 7, 7, 7}};

class FilterGraphTest : public MediaTest {
 protected:
  void SetUp() override {
    MediaTest::SetUp();
    source.reset(new PushSource(&log, 20));
    counter.reset(new CountingFilter(&log));
    RegisterMediaFrameworkClasses();
    static CountingRendererFactory factory;
    ASSERT_EQ(
        CoRegisterClassObject(kCountingRendererClass, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &m_cookie),
        S_OK);
    platform::testing::AddGraphFilterClass(kCountingRendererClass, u"Counting renderer");
    CountingRenderer::rendered = 0;
    CountingRenderer::made = 0;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               reinterpret_cast<void**>(&graph)),
              S_OK);
  }
  void TearDown() override {
    if (graph) graph->Release();
    source.reset();
    counter.reset();
    platform::testing::ClearGraphFilterClasses();
    CoRevokeClassObject(m_cookie);
    MediaTest::TearDown();
  }

  template <typename Interface>
  ComRef<Interface> Query(REFIID iid) {
    Interface* out = nullptr;
    EXPECT_EQ(graph->QueryInterface(iid, reinterpret_cast<void**>(&out)), S_OK);
    return ComRef<Interface>(out);
  }
  std::vector<ComRef<IBaseFilter>> Filters() {
    std::vector<ComRef<IBaseFilter>> filters;
    IEnumFilters* lister = nullptr;
    EXPECT_EQ(graph->EnumFilters(&lister), S_OK);
    IBaseFilter* filter = nullptr;
    ULONG fetched = 0;
    while (lister->Next(1, &filter, &fetched) == S_OK) filters.emplace_back(filter);
    lister->Release();
    return filters;
  }
  // The first pin of the direction, with a reference.
  static ComRef<IPin> PinOf(IBaseFilter* filter, PIN_DIRECTION wanted) {
    IEnumPins* pins = nullptr;
    filter->EnumPins(&pins);
    IPin* pin = nullptr;
    ULONG fetched = 0;
    ComRef<IPin> found;
    while (!found && pins->Next(1, &pin, &fetched) == S_OK) {
      PIN_DIRECTION direction;
      pin->QueryDirection(&direction);
      if (direction == wanted)
        found.reset(pin);
      else
        pin->Release();
    }
    pins->Release();
    return found;
  }

  // The renderer swap of the sound system's decoder: the first connected filter with inputs and no
  // output is unlinked, and its upstream pin goes to a new null renderer. The renderer it replaced.
  IBaseFilter* SwapRendererForNull() {
    IBaseFilter* made = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               reinterpret_cast<void**>(&made)),
              S_OK);
    ComRef<IBaseFilter> nullRenderer(made);
    EXPECT_EQ(graph->AddFilter(nullRenderer.get(), u"File Renderer"), S_OK);
    for (const ComRef<IBaseFilter>& filter : Filters()) {
      ComRef<IPin> in = PinOf(filter.get(), PINDIR_INPUT), out = PinOf(filter.get(), PINDIR_OUTPUT);
      IPin* upstream = nullptr;
      if (in && !out && in->ConnectedTo(&upstream) == S_OK) {
        EXPECT_EQ(upstream->Disconnect(), S_OK);
        EXPECT_EQ(in->Disconnect(), S_OK);
        EXPECT_EQ(graph->Connect(upstream, PinOf(nullRenderer.get(), PINDIR_INPUT).get()), S_OK);
        upstream->Release();
        return filter.get();
      }
    }
    return nullptr;
  }
  // Runs without a clock until the graph reports; the completion code, or -1.
  LONG RunUnclocked() {
    EXPECT_EQ(Query<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(nullptr), S_OK);
    auto control = Query<IMediaControl>(IID_IMediaControl);
    EXPECT_EQ(control->Run(), S_OK);
    LONG code = -1;
    EXPECT_EQ(Query<IMediaEvent>(IID_IMediaEvent)->WaitForCompletion(10000, &code), S_OK);
    control->Stop();
    return code;
  }

  struct CountingRendererFactory final : IClassFactory {
    HRESULT QueryInterface(REFIID iid, void** out) override {
      *out = iid == IID_IUnknown || iid == IID_IClassFactory ? this : nullptr;
      return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT CreateInstance(LPUNKNOWN outer, REFIID iid, void** object) override {
      return CountingRenderer::CreateInstance(outer, iid, object);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
  };

  IGraphBuilder* graph = nullptr;
  StateLog log;
  ComRef<PushSource> source;
  ComRef<CountingFilter> counter;

 private:
  DWORD m_cookie = 0;
};

TEST_F(FilterGraphTest, RenderSwapRunUnclockedAndCompleteWithEverySampleSeen) {
  ASSERT_EQ(graph->AddFilter(counter.get(), u"SampleGrabber"), S_OK);
  ASSERT_EQ(graph->AddFilter(source.get(), u"Source"), S_OK);

  // The counter, already in the graph, takes the source; a registered renderer takes the counter.
  ASSERT_EQ(graph->Render(&source->pin), S_OK);
  EXPECT_TRUE(counter->input.IsConnected());
  EXPECT_TRUE(counter->output.IsConnected());
  EXPECT_EQ(CountingRenderer::made.load(), 1);
  ASSERT_EQ(Filters().size(), 3u);

  // The renderer swap: the first connected filter with inputs and no output gives way.
  ComRef<IBaseFilter> nullRenderer;
  {
    IBaseFilter* made = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               reinterpret_cast<void**>(&made)),
              S_OK);
    nullRenderer.reset(made);
  }
  ASSERT_EQ(graph->AddFilter(nullRenderer.get(), u"File Renderer"), S_OK);
  IBaseFilter* renderer = nullptr;
  for (const ComRef<IBaseFilter>& filter : Filters()) {
    ComRef<IPin> in = PinOf(filter.get(), PINDIR_INPUT), out = PinOf(filter.get(), PINDIR_OUTPUT);
    IPin* upstream = nullptr;
    if (in && !out && in->ConnectedTo(&upstream) == S_OK) {
      renderer = filter.get();
      ASSERT_EQ(upstream->Disconnect(), S_OK);
      ASSERT_EQ(in->Disconnect(), S_OK);
      ASSERT_EQ(graph->Connect(upstream, PinOf(nullRenderer.get(), PINDIR_INPUT).get()), S_OK);
      upstream->Release();
      break;
    }
  }
  ASSERT_NE(renderer, nullptr);
  EXPECT_NE(renderer, nullRenderer.get());

  auto mediaFilter = Query<IMediaFilter>(IID_IMediaFilter);
  ASSERT_EQ(mediaFilter->SetSyncSource(nullptr), S_OK);
  IReferenceClock* clock = reinterpret_cast<IReferenceClock*>(1);
  EXPECT_EQ(source->GetSyncSource(&clock), S_OK);
  EXPECT_EQ(clock, nullptr);

  auto control = Query<IMediaControl>(IID_IMediaControl);
  auto events = Query<IMediaEvent>(IID_IMediaEvent);
  ASSERT_EQ(control->Run(), S_OK);
  LONG code = 0;
  ASSERT_EQ(events->WaitForCompletion(10000, &code), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  EXPECT_EQ(counter->seen.load(), 20);
  std::vector<int> expected(20);
  for (int i = 0; i < 20; ++i) expected[static_cast<size_t>(i)] = i;
  EXPECT_EQ(counter->numbers, expected);
  EXPECT_EQ(CountingRenderer::rendered.load(), 0) << "the swapped-out renderer got nothing";

  // Downstream filters run before the ones that feed them.
  {
    std::lock_guard<std::mutex> lock(log.mutex);
    ASSERT_EQ(log.runs, (std::vector<std::string>{"counter", "source"}));
  }
  ASSERT_EQ(control->Stop(), S_OK);
  EXPECT_EQ(events->WaitForCompletion(0, &code), E_ABORT) << "stopping forgets the completion";
}

TEST_F(FilterGraphTest, ReconnectExReconnectsWhileStoppedAndAFilterCanAskForIt) {
  ASSERT_EQ(graph->AddFilter(counter.get(), u"Counter"), S_OK);
  ASSERT_EQ(graph->AddFilter(source.get(), u"Source"), S_OK);
  ASSERT_EQ(graph->Render(&source->pin), S_OK);
  auto graph2 = Query<IFilterGraph2>(IID_IFilterGraph2);

  ASSERT_EQ(graph2->ReconnectEx(&counter->output, nullptr), S_OK);
  EXPECT_TRUE(counter->output.IsConnected());
  EXPECT_EQ(graph2->ReconnectEx(nullptr, nullptr), E_POINTER);

  // Connecting the counter's input again makes it ask the graph to reconnect its output.
  ASSERT_EQ(source->pin.Disconnect(), S_OK);
  ASSERT_EQ(counter->input.Disconnect(), S_OK);
  ASSERT_EQ(graph->Connect(&source->pin, &counter->input), S_OK);
  EXPECT_EQ(counter->reconnectResults, 1);
  EXPECT_EQ(counter->lastReconnect, S_OK);
  EXPECT_TRUE(counter->output.IsConnected());

  // Not while running; the chain still plays to its end.
  auto control = Query<IMediaControl>(IID_IMediaControl);
  ASSERT_EQ(control->Run(), S_OK);
  EXPECT_EQ(graph2->ReconnectEx(&counter->output, nullptr), VFW_E_NOT_STOPPED);
  LONG code = 0;
  ASSERT_EQ(Query<IMediaEvent>(IID_IMediaEvent)->WaitForCompletion(10000, &code), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  EXPECT_EQ(CountingRenderer::rendered.load(), 20);
  control->Stop();
}

TEST_F(FilterGraphTest, APinNothingTakesIsNotRenderedAndLeavesNoFilterBehind) {
  Z_CMediaTypeHolder video = MakeType(kMajorVideo, kSubPcm, kFormatWave);
  source->pin.offered = video;
  ASSERT_EQ(graph->AddFilter(source.get(), u"Source"), S_OK);
  EXPECT_EQ(graph->Render(&source->pin), VFW_E_CANNOT_RENDER);
  EXPECT_EQ(Filters().size(), 1u);
  EXPECT_EQ(graph->Render(nullptr), E_POINTER);

  // A pass-through whose output nothing takes does not render the pin either.
  platform::testing::ClearGraphFilterClasses();
  source->pin.offered = MakeType(kMajorAudio, kSubPcm, kFormatWave);
  ASSERT_EQ(graph->AddFilter(counter.get(), u"Counter"), S_OK);
  EXPECT_EQ(graph->Render(&source->pin), VFW_E_CANNOT_RENDER);
  ASSERT_EQ(graph->Connect(&source->pin, &counter->input), S_OK);
  EXPECT_EQ(graph->Render(&counter->output), VFW_E_CANNOT_RENDER);
}

TEST_F(FilterGraphTest, CompletionWaitsForEveryRendererAndAnAbortEndsTheWait) {
  ASSERT_EQ(graph->AddFilter(source.get(), u"Source"), S_OK);
  ASSERT_EQ(graph->Render(&source->pin), S_OK);
  auto events = Query<IMediaEvent>(IID_IMediaEvent);
  LONG code = -1;
  EXPECT_EQ(events->WaitForCompletion(0, &code), E_ABORT);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(events->WaitForCompletion(0, nullptr), E_POINTER);

  // Paused: the default clock is handed out, nothing completes.
  auto control = Query<IMediaControl>(IID_IMediaControl);
  ASSERT_EQ(control->Pause(), S_OK);
  IReferenceClock* clock = nullptr;
  ASSERT_EQ(source->GetSyncSource(&clock), S_OK);
  ASSERT_NE(clock, nullptr);
  REFERENCE_TIME first = 0, second = 0;
  EXPECT_EQ(clock->GetTime(&first), S_OK);
  EXPECT_EQ(clock->GetTime(&second), S_OK);
  EXPECT_LE(first, second);
  clock->Release();

  // An error report from any filter ends the wait with EC_ERRORABORT.
  auto sink = Query<IMediaEventSink>(IID_IMediaEventSink);
  ASSERT_EQ(sink->Notify(EC_ERRORABORT, E_FAIL, 0), S_OK);
  ASSERT_EQ(events->WaitForCompletion(10000, &code), S_OK);
  EXPECT_EQ(code, EC_ERRORABORT);
  LONG_PTR p1 = 0, p2 = 0;
  ASSERT_EQ(events->GetEvent(&code, &p1, &p2, 0), S_OK);
  EXPECT_EQ(code, EC_ERRORABORT);
  EXPECT_EQ(p1, E_FAIL);
  EXPECT_EQ(events->GetEvent(&code, &p1, &p2, 0), E_ABORT);
  control->Stop();
}

TEST_F(FilterGraphTest, TheSystemClockSignalsAnAdvisedEvent) {
  IReferenceClock* clock = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER, IID_IReferenceClock,
                             reinterpret_cast<void**>(&clock)),
            S_OK);
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  REFERENCE_TIME now = 0;
  clock->GetTime(&now);
  DWORD_PTR cookie = 0;
  ASSERT_EQ(clock->AdviseTime(now, 10000, reinterpret_cast<HEVENT>(event), &cookie), S_OK);
  EXPECT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(clock->Unadvise(cookie), S_FALSE) << "a one-shot advice is gone once it fired";

  // An advice taken back never fires.
  ResetEvent(event);
  ASSERT_EQ(clock->AdviseTime(now, 100000000000ll, reinterpret_cast<HEVENT>(event), &cookie), S_OK);
  EXPECT_EQ(clock->Unadvise(cookie), S_OK);
  EXPECT_EQ(clock->AdviseTime(now, 0, 0, &cookie), E_INVALIDARG);
  CloseHandle(event);
  clock->Release();
}

TEST_F(FilterGraphTest, FiltersAreNamedUniquelyFoundByNameAndRemovedUnlinked) {
  ASSERT_EQ(graph->AddFilter(source.get(), u"Twin"), S_OK);
  ASSERT_EQ(graph->AddFilter(counter.get(), u"Twin"), S_OK);
  EXPECT_EQ(graph->AddFilter(counter.get(), u"Again"), E_INVALIDARG);
  IBaseFilter* found = nullptr;
  ASSERT_EQ(graph->FindFilterByName(u"Twin", &found), S_OK);
  EXPECT_EQ(found, static_cast<IBaseFilter*>(source.get()));
  found->Release();
  ASSERT_EQ(graph->FindFilterByName(u"Twin 1", &found), S_OK);
  EXPECT_EQ(found, static_cast<IBaseFilter*>(counter.get()));
  found->Release();

  ASSERT_EQ(graph->ConnectDirect(&source->pin, &counter->input, nullptr), S_OK);
  ASSERT_EQ(graph->RemoveFilter(counter.get()), S_OK);
  EXPECT_FALSE(source->pin.IsConnected());
  EXPECT_FALSE(counter->input.IsConnected());
  EXPECT_EQ(graph->RemoveFilter(counter.get()), VFW_E_NOT_FOUND);
  EXPECT_EQ(Filters().size(), 1u);
}

HRESULT CountGrabbed(IMediaSample* sample, REFERENCE_TIME*, REFERENCE_TIME*, BOOL, DWORD_PTR value) {
  auto* numbers = reinterpret_cast<std::vector<int>*>(value);
  BYTE* data = nullptr;
  sample->GetPointer(&data);
  numbers->push_back(data[0]);
  return 0;
}

TEST_F(FilterGraphTest, TheSampleGrabberJoinsTheChainAndSeesEverySample) {
  HRESULT created = S_OK;
  Z_CSampleGrabber* made = Z_CSampleGrabber::Create(nullptr, &created);
  ASSERT_NE(made, nullptr);
  IBaseFilter* grabberFilter = nullptr;
  ASSERT_EQ(made->InnerQueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&grabberFilter)), S_OK);
  ComRef<IBaseFilter> grabber(grabberFilter);
  Z_IGrabberControl* control = nullptr;
  ASSERT_EQ(grabber->QueryInterface(IID_Z_IGrabberControl, reinterpret_cast<void**>(&control)), S_OK);
  ComRef<Z_IGrabberControl> grabberControl(control);
  AM_MEDIA_TYPE audio{};
  audio.majortype = kMajorAudio;
  ASSERT_EQ(grabberControl->SetAcceptedType(&audio), S_OK);
  std::vector<int> numbers;
  ASSERT_EQ(grabberControl->SetSampleCallback(CountGrabbed, reinterpret_cast<DWORD_PTR>(&numbers)), S_OK);

  ASSERT_EQ(graph->AddFilter(grabber.get(), u"SampleGrabber"), S_OK);
  ASSERT_EQ(graph->AddFilter(source.get(), u"Source"), S_OK);
  ASSERT_EQ(graph->Render(&source->pin), S_OK);
  ASSERT_EQ(Filters().size(), 3u);
  ASSERT_NE(SwapRendererForNull(), nullptr);
  EXPECT_EQ(RunUnclocked(), EC_COMPLETE);
  std::vector<int> expected(20);
  for (int i = 0; i < 20; ++i) expected[static_cast<size_t>(i)] = i;
  EXPECT_EQ(numbers, expected);
  EXPECT_EQ(CountingRenderer::rendered.load(), 0);
}

TEST_F(FilterGraphTest, RenderFileBuildsAFileSourceAndTheMpegAudioDecoder) {
  const std::string mp3 = std::string(ZYVEL_SOURCE_DIR) + "/tests/fixtures/sound/mp3_stereo_cbr.mp3";
  ASSERT_EQ(graph->RenderFile(Wide(mp3.c_str()).c_str(), nullptr), S_OK);
  // The file source, the decoder and the audio renderer, whose type is 16-bit PCM.
  ASSERT_EQ(Filters().size(), 3u);
  IBaseFilter* renderer = SwapRendererForNull();
  ASSERT_NE(renderer, nullptr);
  CLSID classId{};
  renderer->GetClassID(&classId);
  EXPECT_EQ(classId, CLSID_AudioRender);
  auto audio = Query<IBasicAudio>(IID_IBasicAudio);
  EXPECT_EQ(audio->put_Volume(-100), S_OK);
  LONG volume = 0;
  EXPECT_EQ(audio->get_Volume(&volume), S_OK);
  EXPECT_EQ(volume, -100);
  EXPECT_EQ(audio->put_Volume(1), E_INVALIDARG);
  EXPECT_EQ(RunUnclocked(), EC_COMPLETE);

  // A file nothing decodes, and a file that is not there.
  IGraphBuilder* other = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                             reinterpret_cast<void**>(&other)),
            S_OK);
  const std::string text = std::string(ZYVEL_SOURCE_DIR) + "/tests/fixtures/sound/README.md";
  EXPECT_EQ(other->RenderFile(Wide(text.c_str()).c_str(), nullptr), VFW_E_CANNOT_RENDER);
  const std::string missing = std::string(ZYVEL_SOURCE_DIR) + "/tests/fixtures/sound/missing.mp3";
  EXPECT_TRUE(FAILED(other->RenderFile(Wide(missing.c_str()).c_str(), nullptr)));
  IEnumFilters* left = nullptr;
  ASSERT_EQ(other->EnumFilters(&left), S_OK);
  IBaseFilter* filter = nullptr;
  ULONG fetched = 0;
  EXPECT_EQ(left->Next(1, &filter, &fetched), S_FALSE);
  left->Release();
  other->Release();
}

TEST_F(FilterGraphTest, TheMpegAudioDecoderFailsToPauseWhenItsStreamingThreadIsRefused) {
  const std::string mp3 = std::string(ZYVEL_SOURCE_DIR) + "/tests/fixtures/sound/mp3_stereo_cbr.mp3";
  ASSERT_EQ(graph->RenderFile(Wide(mp3.c_str()).c_str(), nullptr), S_OK);
  const std::vector<ComRef<IBaseFilter>> filters = Filters();
  IBaseFilter* decoder = nullptr;
  for (const ComRef<IBaseFilter>& filter : filters) {
    CLSID classId{};
    filter->GetClassID(&classId);
    if (classId == CLSID_MpegAudioDecoder) decoder = filter.get();
  }
  ASSERT_NE(decoder, nullptr);
  // Nothing could ever be delivered: the pause says so rather than leaving the graph waiting.
  platform::testing::FailThreadCreation(1);
  EXPECT_EQ(decoder->Pause(), static_cast<HRESULT>(0x80070008u));  // Not enough memory.
  platform::testing::FailThreadCreation(0);
  EXPECT_EQ(decoder->Stop(), S_OK);
  // With the thread granted the chain streams to its end as before.
  SwapRendererForNull();
  EXPECT_EQ(RunUnclocked(), EC_COMPLETE);
}

TEST_F(FilterGraphTest, AFileRenderedToTheAudioRendererPlaysToItsEndOnTheSystemClock) {
  platform::testing::UseSoundDriver("dummy");
  platform::testing::UseManualSoundMixing(true);
  const std::string mp3 = std::string(ZYVEL_SOURCE_DIR) + "/tests/fixtures/sound/mp3_mono_8k_noinfo.mp3";
  ASSERT_EQ(graph->RenderFile(Wide(mp3.c_str()).c_str(), nullptr), S_OK);
  auto control = Query<IMediaControl>(IID_IMediaControl);
  ASSERT_EQ(control->Run(), S_OK);
  IReferenceClock* clock = nullptr;
  ASSERT_EQ(Query<IMediaFilter>(IID_IMediaFilter)->GetSyncSource(&clock), S_OK);
  EXPECT_NE(clock, nullptr) << "the graph runs on its own clock unless told otherwise";
  if (clock) clock->Release();
  LONG code = 0;
  ASSERT_EQ(Query<IMediaEvent>(IID_IMediaEvent)->WaitForCompletion(20000, &code), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  // The decoded sound went to DirectSound: the mix is not silent.
  const std::vector<int16_t> mix = platform::testing::MixSoundFrames(4000);
  EXPECT_TRUE(std::any_of(mix.begin(), mix.end(), [](int16_t sample) { return sample != 0; }));
  EXPECT_EQ(control->Stop(), S_OK);
  graph->Release();
  graph = nullptr;
  platform::testing::ResetSoundSwitches();
}

// A renderer that seeks: a fixed duration, and the positions it was last given.
class SeekingRenderer final : public Z_CGraphRenderer, public IMediaSeeking {
 public:
  SeekingRenderer() : Z_CGraphRenderer("Seeking renderer", kTestFilterClass) { AddRef(); }
  Z_FORWARD_IUNKNOWN_TO_OUTER
  HRESULT InnerQueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IMediaSeeking) return HandOutInterface(static_cast<IMediaSeeking*>(this), out);
    return Z_CGraphRenderer::InnerQueryInterface(iid, out);
  }
  HRESULT TestType(const AM_MEDIA_TYPE*) override { return S_OK; }
  HRESULT RenderSample(IMediaSample*) override { return S_OK; }
  HRESULT GetCapabilities(DWORD*) override { return E_NOTIMPL; }
  HRESULT CheckCapabilities(DWORD*) override { return E_NOTIMPL; }
  HRESULT IsFormatSupported(const GUID*) override { return E_NOTIMPL; }
  HRESULT QueryPreferredFormat(GUID*) override { return E_NOTIMPL; }
  HRESULT GetTimeFormat(GUID*) override { return E_NOTIMPL; }
  HRESULT IsUsingTimeFormat(const GUID*) override { return E_NOTIMPL; }
  HRESULT SetTimeFormat(const GUID*) override { return E_NOTIMPL; }
  HRESULT GetDuration(LONGLONG* duration) override {
    *duration = 12345;
    return S_OK;
  }
  HRESULT GetStopPosition(LONGLONG*) override { return E_NOTIMPL; }
  HRESULT GetCurrentPosition(LONGLONG*) override { return E_NOTIMPL; }
  HRESULT ConvertTimeFormat(LONGLONG*, const GUID*, LONGLONG, const GUID*) override { return E_NOTIMPL; }
  HRESULT SetPositions(LONGLONG* current, DWORD, LONGLONG*, DWORD) override {
    lastPosition = current ? *current : -1;
    return S_OK;
  }
  HRESULT GetPositions(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }
  HRESULT GetAvailable(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }
  HRESULT SetRate(double) override { return E_NOTIMPL; }
  HRESULT GetRate(double*) override { return E_NOTIMPL; }
  HRESULT GetPreroll(LONGLONG*) override { return E_NOTIMPL; }
  LONGLONG lastPosition = -1;
};

TEST_F(FilterGraphTest, SeekingGoesToTheConnectedRenderersThatSeek) {
  auto seeking = Query<IMediaSeeking>(IID_IMediaSeeking);
  LONGLONG duration = 0;
  EXPECT_EQ(seeking->GetDuration(&duration), E_NOTIMPL);

  ComRef<SeekingRenderer> renderer(new SeekingRenderer);
  ASSERT_EQ(graph->AddFilter(renderer.get(), u"Seeker"), S_OK);
  ASSERT_EQ(graph->AddFilter(source.get(), u"Source"), S_OK);
  EXPECT_EQ(seeking->GetDuration(&duration), E_NOTIMPL) << "an unconnected renderer is not asked";
  ASSERT_EQ(graph->Render(&source->pin), S_OK);
  ASSERT_EQ(seeking->GetDuration(&duration), S_OK);
  EXPECT_EQ(duration, 12345);
  LONGLONG position = 777;
  EXPECT_EQ(seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
  EXPECT_EQ(renderer->lastPosition, 777);
  graph->Release();
  graph = nullptr;
}

}  // namespace
}  // namespace media_test
