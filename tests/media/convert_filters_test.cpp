// The converter filter, the in-place filter, the sample grabber and the WAVE writer, each between
// an in-test source pin and an in-test sink pin inside a recording graph.
#include <cstring>
#include <deque>

#include "media/filters/convert_filter.h"
#include "media/filters/in_place_filter.h"
#include "media/filters/sample_grabber.h"
#include "media/filters/wave_writer.h"
#include "media_test_support.h"

namespace media_test {
namespace {

using platform::testing::CreateFakeFilterGraph;
using platform::testing::FakeFilterGraph;
using ConvertFilters = MediaTest;

// A sink that records each sample it is given (the object and its times) and may answer IStream.
class RecordingInputPin : public TestInputPin {
 public:
  RecordingInputPin(Z_CFilterCore* filter, Z_CLockSection* lock, const char* name) : TestInputPin(filter, lock, name) {}
  HRESULT InnerQueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IStream && stream) return stream->QueryInterface(iid, out);
    return TestInputPin::InnerQueryInterface(iid, out);
  }
  HRESULT Receive(IMediaSample* sample) override {
    REFERENCE_TIME start = -1;
    REFERENCE_TIME stop = -1;
    sample->GetTime(&start, &stop);
    const HRESULT result = TestInputPin::Receive(sample);
    if (result == S_OK) {
      samples.push_back(sample);
      times.push_back({start, stop});
      BYTE* data = nullptr;
      sample->GetPointer(&data);
      bytes.emplace_back(data, data + sample->GetActualDataLength());
    }
    return result;
  }
  std::vector<IMediaSample*> samples;  // Not counted: compared by identity only.
  std::vector<std::pair<REFERENCE_TIME, REFERENCE_TIME>> times;
  std::vector<std::vector<BYTE>> bytes;
  IStream* stream = nullptr;  // Not counted.
};

// source "Out" -> filter -> sink "In", the filter in a recording graph.
template <typename Filter>
struct FilterChain {
  ComRef<FakeFilterGraph> graph{CreateFakeFilterGraph({})};
  FilterRef sourceFilter{new TestFilter};
  FilterRef sinkFilter{new TestFilter};
  TestOutputPin* source = sourceFilter->AddPin<TestOutputPin>("Out");
  RecordingInputPin* sink = sinkFilter->AddPin<RecordingInputPin>("In");
  Filter* filter;
  Z_CMediaTypeHolder type = MakeType(kMajorAudio, kSubPcm, FORMAT_WaveFormatEx,
                                     {1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0, 0, 0});

  explicit FilterChain(Filter* made) : filter(made) {
    filter->AddRef();
    source->rule.acceptsAll = true;
    sink->rule.acceptsAll = true;
    filter->JoinFilterGraph(graph.get(), nullptr);
  }
  ~FilterChain() {
    Stop();
    source->Disconnect();
    sink->Disconnect();
    In()->Disconnect();
    Out()->Disconnect();
    filter->JoinFilterGraph(nullptr, nullptr);
    filter->Release();
  }
  IPin* In() { return static_cast<IPin*>(filter->PinAt(0)); }
  IPin* Out() { return static_cast<IPin*>(filter->PinAt(1)); }
  IMemInputPin* InputOfFilter() { return static_cast<IMemInputPin*>(static_cast<Z_CReceivingPin*>(filter->PinAt(0))); }
  HRESULT ConnectInput() { return source->Connect(In(), &type); }
  HRESULT ConnectOutput(const AM_MEDIA_TYPE* outputType = nullptr) {
    return Out()->Connect(sink, outputType ? outputType : &type);
  }
  HRESULT Start() {
    HRESULT result = sinkFilter->Pause();
    if (SUCCEEDED(result)) result = filter->Pause();
    if (SUCCEEDED(result)) result = sourceFilter->Pause();
    return result;
  }
  void Stop() {
    sourceFilter->Stop();
    filter->Stop();
    sinkFilter->Stop();
  }
  ComRef<IMediaSample> Sample(LONG length, REFERENCE_TIME start = -1, REFERENCE_TIME stop = -1) {
    IMediaSample* sample = nullptr;
    EXPECT_EQ(source->TakeDeliveryBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT), S_OK);
    if (!sample) return ComRef<IMediaSample>();
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    for (LONG i = 0; i < length; ++i) data[i] = static_cast<BYTE>(i * 7 + 1);
    sample->SetActualDataLength(length);
    if (start >= 0) sample->SetTime(&start, &stop);
    return ComRef<IMediaSample>(sample);
  }
  int EventCount(LONG code) {
    int count = 0;
    for (const auto& event : graph->Events()) count += event.code == code;
    return count;
  }
};

// ==== Converter ====

class TestConverter : public Z_CConvertFilter {
 public:
  TestConverter() : Z_CConvertFilter("Test converter", nullptr, kTestFilterClass) {}
  HRESULT ConvertSample(IMediaSample* input, IMediaSample* output) override {
    HRESULT result = S_OK;
    if (!results.empty()) {
      result = results.front();
      results.pop_front();
    }
    BYTE* from = nullptr;
    BYTE* to = nullptr;
    input->GetPointer(&from);
    output->GetPointer(&to);
    std::memcpy(to, from, static_cast<size_t>(input->GetActualDataLength()));
    output->SetActualDataLength(input->GetActualDataLength());
    return result;
  }
  HRESULT TestInputType(const AM_MEDIA_TYPE* type) override {
    return type->majortype == kMajorAudio ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }
  HRESULT TestConversion(const AM_MEDIA_TYPE*, const AM_MEDIA_TYPE*) override { return S_OK; }
  HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES*) override {
    ALLOCATOR_PROPERTIES wanted{2, 256, 1, 0};
    ALLOCATOR_PROPERTIES actual{};
    return allocator->SetProperties(&wanted, &actual);
  }
  HRESULT ListTypeAt(int index, Z_CMediaTypeHolder* type) override {
    if (index != 0) return VFW_S_NO_MORE_ITEMS;
    return type->Assign(Input()->CurrentMediaType());
  }
  HRESULT BeginStreaming() override {
    ++streamingBegun;
    return S_OK;
  }
  HRESULT EndStreaming() override {
    ++streamingEnded;
    return endStreamingResult;
  }
  std::deque<HRESULT> results;
  int streamingBegun = 0;
  int streamingEnded = 0;
  HRESULT endStreamingResult = S_OK;
};

TEST_F(ConvertFilters, ThePinsAreFoundAsInAndOutExactly) {
  FilterChain<TestConverter> chain(new TestConverter);
  for (const auto& [id, index] : {std::pair<const char16_t*, int>{u"In", 0}, {u"Out", 1}}) {
    IPin* pin = nullptr;
    ASSERT_EQ(chain.filter->FindPin(id, &pin), S_OK);
    EXPECT_EQ(pin, static_cast<IPin*>(chain.filter->PinAt(index)));
    LPWSTR queried = nullptr;
    ASSERT_EQ(pin->QueryId(&queried), S_OK);
    EXPECT_EQ(std::u16string(queried), id);
    CoTaskMemFree(queried);
    pin->Release();
  }
  EXPECT_EQ(std::u16string(chain.filter->PinAt(0)->PinName()), u"XForm In");
  EXPECT_EQ(std::u16string(chain.filter->PinAt(1)->PinName()), u"XForm Out");
  IPin* pin = reinterpret_cast<IPin*>(1);
  EXPECT_EQ(chain.filter->FindPin(u"in", &pin), VFW_E_NOT_FOUND);
  EXPECT_EQ(pin, nullptr);
}

TEST_F(ConvertFilters, SamplesAreConvertedAndDeliveredWithTheirTimes) {
  FilterChain<TestConverter> chain(new TestConverter);
  ASSERT_EQ(chain.ConnectInput(), S_OK);
  ASSERT_EQ(chain.ConnectOutput(), S_OK);
  ASSERT_EQ(chain.Start(), S_OK);
  auto sample = chain.Sample(16, 100, 200);
  EXPECT_EQ(chain.InputOfFilter()->Receive(sample.get()), S_OK);
  ASSERT_EQ(chain.sink->samples.size(), 1u);
  EXPECT_NE(chain.sink->samples[0], sample.get());
  EXPECT_EQ(chain.sink->times[0], std::make_pair(REFERENCE_TIME{100}, REFERENCE_TIME{200}));
  EXPECT_EQ(chain.sink->bytes[0].size(), 16u);
  EXPECT_EQ(chain.InputOfFilter()->GetAllocatorRequirements(nullptr), E_NOTIMPL);
  EXPECT_EQ(chain.In()->EndOfStream(), S_OK);
  EXPECT_EQ(chain.sink->calls.endOfStreams, 1);
}

TEST_F(ConvertFilters, PauseFromStoppedBeginsStreamingOnceAndStopEndsIt) {
  FilterChain<TestConverter> chain(new TestConverter);
  ASSERT_EQ(chain.ConnectInput(), S_OK);
  ASSERT_EQ(chain.ConnectOutput(), S_OK);
  ASSERT_EQ(chain.filter->Pause(), S_OK);
  ASSERT_EQ(chain.filter->Run(0), S_OK);
  ASSERT_EQ(chain.filter->Pause(), S_OK);
  ASSERT_EQ(chain.filter->Pause(), S_OK);
  EXPECT_EQ(chain.filter->streamingBegun, 1);
  chain.filter->endStreamingResult = E_FAIL;
  EXPECT_EQ(chain.filter->Stop(), E_FAIL);
  EXPECT_EQ(chain.filter->State(), State_Paused) << "a failed end of streaming keeps the state";
  chain.filter->endStreamingResult = S_OK;
  EXPECT_EQ(chain.filter->Stop(), S_OK);
  EXPECT_EQ(chain.filter->streamingEnded, 2);
}

TEST_F(ConvertFilters, APauseWithoutInputEndsTheStreamDownstreamOncePerStop) {
  FilterChain<TestConverter> chain(new TestConverter);
  ASSERT_EQ(chain.ConnectInput(), S_OK);
  ASSERT_EQ(chain.ConnectOutput(), S_OK);
  ASSERT_EQ(chain.source->Disconnect(), S_OK);
  ASSERT_EQ(chain.In()->Disconnect(), S_OK);
  ASSERT_EQ(chain.filter->Pause(), S_OK);
  ASSERT_EQ(chain.filter->Pause(), S_OK);
  EXPECT_EQ(chain.sink->calls.endOfStreams, 1);
  ASSERT_EQ(chain.filter->Stop(), S_OK);
  ASSERT_EQ(chain.filter->Pause(), S_OK);
  EXPECT_EQ(chain.sink->calls.endOfStreams, 2);
  EXPECT_EQ(chain.filter->streamingBegun, 0);
}

TEST_F(ConvertFilters, ARunOfDropsRaisesOneQualityChangeUntilTheNextPause) {
  FilterChain<TestConverter> chain(new TestConverter);
  ASSERT_EQ(chain.ConnectInput(), S_OK);
  ASSERT_EQ(chain.ConnectOutput(), S_OK);
  ASSERT_EQ(chain.Start(), S_OK);
  ASSERT_EQ(chain.filter->Run(0), S_OK);
  chain.filter->results = {S_FALSE, S_FALSE, S_FALSE, S_OK, S_FALSE};
  for (int i = 0; i < 5; ++i) {
    auto sample = chain.Sample(4);
    EXPECT_EQ(chain.InputOfFilter()->Receive(sample.get()), S_OK);
    if (i == 3) {
      EXPECT_FALSE(chain.filter->IsSampleDropped()) << "a delivered sample clears the drop";
    }
  }
  EXPECT_EQ(chain.sink->samples.size(), 1u);
  EXPECT_EQ(chain.EventCount(EC_QUALITY_CHANGE), 1);
  ASSERT_EQ(chain.filter->Pause(), S_OK);
  chain.filter->results = {S_FALSE};
  auto sample = chain.Sample(4);
  EXPECT_EQ(chain.InputOfFilter()->Receive(sample.get()), S_OK);
  EXPECT_EQ(chain.EventCount(EC_QUALITY_CHANGE), 2);
  chain.filter->results = {E_UNEXPECTED};
  EXPECT_EQ(chain.InputOfFilter()->Receive(sample.get()), E_UNEXPECTED);
}

TEST_F(ConvertFilters, TheInputChecksNeedAnOutputAndPutTheFlushFirst) {
  FilterChain<TestConverter> chain(new TestConverter);
  ASSERT_EQ(chain.ConnectInput(), S_OK);
  EXPECT_EQ(chain.In()->BeginFlush(), VFW_E_NOT_CONNECTED);
  auto* input = static_cast<Z_CReceivingPin*>(chain.filter->PinAt(0));
  EXPECT_FALSE(input->IsFlushing());
  EXPECT_EQ(input->CheckStreamingState(), VFW_E_NOT_CONNECTED);
  ASSERT_EQ(chain.ConnectOutput(), S_OK);
  EXPECT_EQ(input->CheckStreamingState(), VFW_E_WRONG_STATE);
  ASSERT_EQ(chain.In()->BeginFlush(), S_OK);
  EXPECT_EQ(input->CheckStreamingState(), S_FALSE) << "flushing, though stopped";
  EXPECT_EQ(chain.sink->calls.flushesBegun, 1);
  ASSERT_EQ(chain.In()->EndFlush(), S_OK);
  EXPECT_EQ(chain.sink->calls.flushesEnded, 1);
}

TEST_F(ConvertFilters, TheOutputPinSeeksThroughTheInputsUpstream) {
  FilterChain<TestConverter> chain(new TestConverter);
  ASSERT_EQ(chain.ConnectInput(), S_OK);
  IMediaSeeking* seeking = nullptr;
  ASSERT_EQ(chain.Out()->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking)), S_OK);
  IPin* back = nullptr;
  ASSERT_EQ(seeking->QueryInterface(IID_IPin, reinterpret_cast<void**>(&back)), S_OK);
  EXPECT_EQ(back, chain.Out()) << "the pass-through is aggregated by the pin";
  back->Release();
  LONGLONG duration = 0;
  EXPECT_EQ(seeking->GetDuration(&duration), E_NOTIMPL);  // The source pin does not seek.
  EXPECT_EQ(seeking->SetRate(0.0), E_INVALIDARG);
  IMediaPosition* position = nullptr;
  ASSERT_EQ(chain.Out()->QueryInterface(IID_IMediaPosition, reinterpret_cast<void**>(&position)), S_OK);
  position->Release();
  seeking->Release();
}

// ==== In-place filter ====

class TestInPlace : public Z_CInPlaceFilter {
 public:
  explicit TestInPlace(bool modifies)
      : Z_CInPlaceFilter("Test in-place", nullptr, kTestFilterClass, nullptr, modifies) {}
  HRESULT TestInputType(const AM_MEDIA_TYPE*) override { return S_OK; }
  HRESULT TransformSample(IMediaSample* sample) override {
    transformed.push_back(sample);
    return transformResult;
  }
  std::vector<IMediaSample*> transformed;
  HRESULT transformResult = S_OK;
};

// Connects both sides, then reconnects the input as the graph would after the output's link.
template <typename Filter>
void ConnectThrough(FilterChain<Filter>& chain) {
  const int reconnectsBefore = chain.graph->ReconnectExCalls();
  ASSERT_EQ(chain.ConnectInput(), S_OK);
  ASSERT_EQ(chain.ConnectOutput(), S_OK);
  ASSERT_EQ(chain.graph->ReconnectExCalls(), reconnectsBefore + 1);
  ASSERT_EQ(chain.graph->LastReconnectedPin(), chain.In());
  ASSERT_EQ(chain.source->Disconnect(), S_OK);
  ASSERT_EQ(chain.In()->Disconnect(), S_OK);
  ASSERT_EQ(chain.ConnectInput(), S_OK);
}

TEST_F(ConvertFilters, ASharedAllocatorPassesTheVerySampleObject) {
  FilterChain<TestInPlace> chain(new TestInPlace(true));
  ConnectThrough(chain);
  auto* input = static_cast<Z_CReceivingPin*>(chain.filter->PinAt(0));
  auto* output = static_cast<Z_CDeliveringPin*>(chain.filter->PinAt(1));
  EXPECT_EQ(input->Allocator(), output->Allocator());
  EXPECT_EQ(chain.source->Allocator(), chain.sink->Allocator());
  EXPECT_EQ(chain.graph->ReconnectExCalls(), 1) << "the output's type equals the input's: no reconnection";
  ASSERT_EQ(chain.Start(), S_OK);
  for (int i = 0; i < 3; ++i) {
    auto sample = chain.Sample(8, i * 10, i * 10 + 10);
    ASSERT_EQ(chain.InputOfFilter()->Receive(sample.get()), S_OK);
    EXPECT_EQ(chain.sink->samples.back(), sample.get());
    EXPECT_EQ(chain.filter->transformed.back(), sample.get());
  }
}

TEST_F(ConvertFilters, AReadOnlyUpstreamIsCopiedIntoASecondAllocator) {
  FilterChain<TestInPlace> chain(new TestInPlace(true));
  ASSERT_EQ(chain.ConnectInput(), S_OK);
  ASSERT_EQ(chain.ConnectOutput(), S_OK);
  IMemAllocator* upstream = chain.source->Allocator();
  IMemAllocator* downstream = chain.sink->Allocator();
  ASSERT_NE(upstream, downstream);
  EXPECT_EQ(chain.InputOfFilter()->NotifyAllocator(downstream, TRUE), E_FAIL) << "the output's own allocator";
  ASSERT_EQ(chain.InputOfFilter()->NotifyAllocator(upstream, TRUE), S_OK);
  ALLOCATOR_PROPERTIES wanted{}, granted{};
  upstream->GetProperties(&wanted);
  downstream->GetProperties(&granted);
  EXPECT_GE(granted.cBuffers, wanted.cBuffers);
  EXPECT_GE(granted.cbBuffer, wanted.cbBuffer);

  ASSERT_EQ(chain.Start(), S_OK);
  auto sample = chain.Sample(12, 5, 9);
  ASSERT_EQ(chain.InputOfFilter()->Receive(sample.get()), S_OK);
  ASSERT_EQ(chain.sink->samples.size(), 1u);
  EXPECT_NE(chain.sink->samples[0], sample.get());
  EXPECT_EQ(chain.filter->transformed[0], chain.sink->samples[0]) << "the transform works on the copy";
  EXPECT_EQ(chain.sink->times[0], std::make_pair(REFERENCE_TIME{5}, REFERENCE_TIME{9}));
  BYTE* original = nullptr;
  sample->GetPointer(&original);
  EXPECT_EQ(chain.sink->bytes[0], std::vector<BYTE>(original, original + 12));
}

TEST_F(ConvertFilters, ACopyLargerThanTheOutputBufferIsRefused) {
  FilterChain<TestInPlace> chain(new TestInPlace(false));
  chain.source->buffers = {1, 64, 1, 0};
  chain.sink->requirements = {1, 16, 1, 0};
  ASSERT_EQ(chain.ConnectInput(), S_OK);
  ASSERT_EQ(chain.ConnectOutput(), S_OK);
  // The output's buffers are sized before the input's final allocator is known.
  ALLOCATOR_PROPERTIES small{1, 16, 1, 0}, actual{};
  auto* output = static_cast<Z_CDeliveringPin*>(chain.filter->PinAt(1));
  ASSERT_EQ(chain.Start(), S_OK);
  output->Allocator()->Decommit();
  ASSERT_EQ(output->Allocator()->SetProperties(&small, &actual), S_OK);
  ASSERT_EQ(output->Allocator()->Commit(), S_OK);
  auto sample = chain.Sample(40);
  EXPECT_EQ(chain.InputOfFilter()->Receive(sample.get()), E_UNEXPECTED);
  EXPECT_TRUE(chain.sink->samples.empty());
}

TEST_F(ConvertFilters, NonMediaSamplesAndRefusedTransformsAreNotDeliveredAsMedia) {
  FilterChain<TestInPlace> chain(new TestInPlace(false));
  ASSERT_EQ(chain.ConnectInput(), S_OK);
  PlainSample early;
  EXPECT_EQ(chain.InputOfFilter()->Receive(&early), VFW_E_NOT_CONNECTED) << "no output yet";
  ASSERT_EQ(chain.ConnectOutput(), S_OK);
  ASSERT_EQ(chain.Start(), S_OK);

  auto control = chain.Sample(4);
  IMediaSample2* control2 = nullptr;
  ASSERT_EQ(control->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&control2)), S_OK);
  AM_SAMPLE2_PROPERTIES record{};
  control2->GetProperties(sizeof(record), reinterpret_cast<BYTE*>(&record));
  record.dwStreamId = 7;
  record.cbData = offsetof(AM_SAMPLE2_PROPERTIES, dwStreamId) + sizeof(record.dwStreamId);
  ASSERT_EQ(control2->SetProperties(record.cbData, reinterpret_cast<BYTE*>(&record)), S_OK);
  control2->Release();
  ASSERT_EQ(chain.InputOfFilter()->Receive(control.get()), S_OK);
  ASSERT_EQ(chain.sink->samples.size(), 1u);
  EXPECT_EQ(chain.sink->samples[0], control.get()) << "passed untouched, though the allocators differ";
  EXPECT_TRUE(chain.filter->transformed.empty());

  chain.filter->transformResult = S_FALSE;
  auto media = chain.Sample(4);
  EXPECT_EQ(chain.InputOfFilter()->Receive(media.get()), S_FALSE);
  EXPECT_EQ(chain.sink->samples.size(), 1u);
  EXPECT_EQ(chain.EventCount(EC_QUALITY_CHANGE), 0);
}

TEST_F(ConvertFilters, AnInPlaceFilterOutsideAGraphCannotLink) {
  FilterChain<TestInPlace> chain(new TestInPlace(false));
  chain.filter->JoinFilterGraph(nullptr, nullptr);
  EXPECT_EQ(chain.ConnectInput(), VFW_E_NOT_IN_GRAPH);
  EXPECT_FALSE(chain.filter->PinAt(0)->IsConnected());
}

// ==== Sample grabber ====

struct GrabbedCall {
  IMediaSample* sample;
  REFERENCE_TIME start;
  REFERENCE_TIME end;
  BOOL typeChanged;
};

struct GrabberRecord {
  std::vector<GrabbedCall> calls;
  HRESULT answer = S_OK;
};

HRESULT RecordGrab(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end, BOOL typeChanged,
                   DWORD_PTR value) {
  auto* record = reinterpret_cast<GrabberRecord*>(value);
  record->calls.push_back({sample, *start, *end, typeChanged});
  return record->answer;
}

Z_CSampleGrabber* NewGrabber() {
  HRESULT result = S_OK;
  Z_CSampleGrabber* grabber = Z_CSampleGrabber::Create(nullptr, &result);
  EXPECT_EQ(result, S_OK);
  return grabber;
}

struct AcceptCase {
  GUID major, sub, format;  // The accepted type.
  GUID offeredMajor, offeredSub;
  HRESULT expected;
};

TEST_F(ConvertFilters, TheGrabberAcceptsWhatItsAcceptedTypeLeavesOpen) {
  const AcceptCase cases[] = {
      {GUID_NULL, GUID_NULL, GUID_NULL, kMajorVideo, kSubFloat, S_OK},
      {kMajorAudio, GUID_NULL, GUID_NULL, kMajorAudio, kSubFloat, S_OK},
      {kMajorAudio, GUID_NULL, GUID_NULL, kMajorVideo, kSubPcm, VFW_E_INVALID_MEDIA_TYPE},
      {kMajorAudio, kSubPcm, GUID_NULL, kMajorAudio, kSubFloat, VFW_E_INVALID_MEDIA_TYPE},
      {kMajorAudio, kSubPcm, FORMAT_WaveFormatEx, kMajorAudio, kSubPcm, S_OK},
      {kMajorAudio, kSubPcm, kFormatWave, kMajorAudio, kSubPcm, VFW_E_INVALID_MEDIA_TYPE},
  };
  for (const AcceptCase& c : cases) {
    ComRef<Z_CSampleGrabber> grabber(NewGrabber());
    grabber->AddRef();
    Z_CMediaTypeHolder accepted = MakeType(c.major, c.sub, c.format);
    ASSERT_EQ(grabber->SetAcceptedType(&accepted), S_OK);
    Z_CMediaTypeHolder offered = MakeType(c.offeredMajor, c.offeredSub, FORMAT_WaveFormatEx);
    EXPECT_EQ(grabber->TestInputType(&offered), c.expected);
  }
}

TEST_F(ConvertFilters, TheGrabberListsOnlyItsAcceptedMajorType) {
  ComRef<Z_CSampleGrabber> grabber(NewGrabber());
  grabber->AddRef();
  Z_CMediaTypeHolder accepted = MakeType(kMajorAudio, kSubPcm, FORMAT_WaveFormatEx, {1, 2});
  grabber->SetAcceptedType(&accepted);
  IEnumMediaTypes* types = nullptr;
  ASSERT_EQ(static_cast<IPin*>(grabber->PinAt(0))->EnumMediaTypes(&types), S_OK);
  AM_MEDIA_TYPE* listed[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(types->Next(2, listed, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 1u);
  EXPECT_TRUE(listed[0]->majortype == kMajorAudio);
  EXPECT_TRUE(listed[0]->subtype == GUID_NULL);
  EXPECT_TRUE(listed[0]->formattype == GUID_NULL);
  EXPECT_EQ(listed[0]->cbFormat, 0u);
  DeleteMediaTypeBlock(listed[0]);
  types->Release();

  AM_MEDIA_TYPE connection{};
  EXPECT_EQ(grabber->GetAcceptedType(&connection), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(std::u16string(grabber->PinAt(0)->PinName()), u"Input");
  EXPECT_EQ(std::u16string(grabber->PinAt(1)->PinName()), u"Output");
  Z_IGrabberControl* control = nullptr;
  ASSERT_EQ(grabber->QueryInterface(IID_Z_IGrabberControl, reinterpret_cast<void**>(&control)), S_OK);
  control->Release();
}

TEST_F(ConvertFilters, TheGrabberHandsEachSampleToTheCallbackWithTheSegmentStart) {
  FilterChain<Z_CSampleGrabber> chain(NewGrabber());
  GrabberRecord record;
  chain.filter->SetSampleCallback(&RecordGrab, reinterpret_cast<DWORD_PTR>(&record));
  ConnectThrough(chain);
  ASSERT_EQ(chain.Start(), S_OK);
  ASSERT_EQ(chain.In()->NewSegment(1000, 5000, 1.0), S_OK);
  auto timed = chain.Sample(4, 100, 200);
  auto untimed = chain.Sample(4);
  ASSERT_EQ(chain.InputOfFilter()->Receive(timed.get()), S_OK);
  ASSERT_EQ(chain.InputOfFilter()->Receive(untimed.get()), S_OK);
  ASSERT_EQ(record.calls.size(), 2u);
  EXPECT_EQ(record.calls[0].sample, timed.get());
  EXPECT_EQ(record.calls[0].start, 1100);
  EXPECT_EQ(record.calls[0].end, 1200);
  EXPECT_EQ(record.calls[0].typeChanged, TRUE) << "the first callback after the connection";
  EXPECT_EQ(record.calls[1].start, 1000);
  EXPECT_EQ(record.calls[1].end, 1000);
  EXPECT_EQ(record.calls[1].typeChanged, FALSE);
  EXPECT_EQ(chain.sink->samples, (std::vector<IMediaSample*>{timed.get(), untimed.get()}));

  record.answer = S_FALSE;
  EXPECT_EQ(chain.InputOfFilter()->Receive(timed.get()), S_FALSE);
  EXPECT_EQ(chain.sink->samples.size(), 2u);
  chain.filter->SetSampleCallback(nullptr, 0);
  EXPECT_EQ(chain.InputOfFilter()->Receive(timed.get()), S_OK);
  EXPECT_EQ(chain.sink->samples.size(), 3u);
  EXPECT_EQ(record.calls.size(), 3u);
}

TEST_F(ConvertFilters, TheTypeChangedFlagIsSetOncePerConnection) {
  FilterChain<Z_CSampleGrabber> chain(NewGrabber());
  GrabberRecord record;
  chain.filter->SetSampleCallback(&RecordGrab, reinterpret_cast<DWORD_PTR>(&record));
  for (int connection = 0; connection < 2; ++connection) {
    ConnectThrough(chain);
    ASSERT_EQ(chain.Start(), S_OK);
    for (int i = 0; i < 2; ++i) {
      auto sample = chain.Sample(2);
      ASSERT_EQ(chain.InputOfFilter()->Receive(sample.get()), S_OK);
    }
    AM_MEDIA_TYPE connected{};
    ASSERT_EQ(chain.filter->GetAcceptedType(&connected), S_OK);
    EXPECT_TRUE(connected.majortype == kMajorAudio);
    FreeMediaTypeContents(&connected);
    chain.Stop();
    chain.source->Disconnect();
    chain.In()->Disconnect();
    chain.Out()->Disconnect();
    chain.sink->Disconnect();
  }
  ASSERT_EQ(record.calls.size(), 4u);
  EXPECT_EQ(record.calls[0].typeChanged + record.calls[1].typeChanged, 1);
  EXPECT_EQ(record.calls[2].typeChanged + record.calls[3].typeChanged, 1);
}

TEST_F(ConvertFilters, TheDeliveryBufferIsCutByTheGrabbersOwnAllocator) {
  ComRef<Z_CSampleGrabber> grabber(NewGrabber());
  grabber->AddRef();
  std::vector<BYTE> buffer(256);
  EXPECT_EQ(grabber->SetDeliveryBuffer({2, 128, 1, 0}, buffer.data()), E_INVALIDARG);
  EXPECT_EQ(grabber->SetDeliveryBuffer({1, 128, 1, 0}, nullptr), E_POINTER);
  ASSERT_EQ(grabber->SetDeliveryBuffer({1, 200, 1, 16}, buffer.data()), S_OK);

  auto* input = static_cast<IMemInputPin*>(static_cast<Z_CReceivingPin*>(grabber->PinAt(0)));
  ALLOCATOR_PROPERTIES requirements{};
  ASSERT_EQ(input->GetAllocatorRequirements(&requirements), S_OK);
  EXPECT_EQ(requirements.cbBuffer, 200);
  IMemAllocator* allocator = nullptr;
  ASSERT_EQ(input->GetAllocator(&allocator), S_OK);
  struct PropertiesCase {
    ALLOCATOR_PROPERTIES request;
    HRESULT expected;
  };
  for (const PropertiesCase& c :
       {PropertiesCase{{1, 201, 1, 16}, E_FAIL}, PropertiesCase{{1, 100, 4, 16}, VFW_E_BADALIGN},
        PropertiesCase{{1, 100, 1, 0}, E_FAIL}, PropertiesCase{{2, 100, 1, 16}, E_FAIL},
        PropertiesCase{{1, 100, 1, 16}, S_OK}}) {
    ALLOCATOR_PROPERTIES request = c.request, actual{};
    EXPECT_EQ(allocator->SetProperties(&request, &actual), c.expected);
    if (c.expected == S_OK) {
      EXPECT_EQ(actual.cbBuffer, 200);
    }
  }
  ASSERT_EQ(allocator->Commit(), S_OK);
  IMediaSample* sample = nullptr;
  ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
  BYTE* data = nullptr;
  sample->GetPointer(&data);
  EXPECT_EQ(data, buffer.data() + 16);
  EXPECT_EQ(sample->GetSize(), 200);
  sample->Release();
  allocator->Decommit();
  IMemAllocator* other = nullptr;
  CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                   reinterpret_cast<void**>(&other));
  EXPECT_EQ(input->NotifyAllocator(other, FALSE), E_FAIL) << "only the grabber's own allocator";
  other->Release();
  allocator->Release();
}

TEST_F(ConvertFilters, TheDeliveryBufferCannotChangeOnceConnected) {
  FilterChain<Z_CSampleGrabber> chain(NewGrabber());
  std::vector<BYTE> buffer(64);
  ASSERT_EQ(chain.ConnectInput(), S_OK);
  EXPECT_EQ(chain.filter->SetDeliveryBuffer({1, 64, 1, 0}, buffer.data()), E_INVALIDARG);
}

// ==== WAVE writer ====

Z_CWaveWriterFilter* NewWaveWriter() {
  HRESULT result = S_OK;
  Z_CWaveWriterFilter* writer = Z_CWaveWriterFilter::Create(nullptr, &result);
  EXPECT_EQ(result, S_OK);
  return writer;
}

struct WaveChain : FilterChain<Z_CWaveWriterFilter> {
  ComRef<platform::testing::MemoryStream> file{platform::testing::CreateMemoryStream()};
  Z_CMediaTypeHolder wave = MakeType(MEDIATYPE_Stream, MEDIASUBTYPE_WAVE, GUID_NULL);
  WaveChain() : FilterChain(NewWaveWriter()) { sink->stream = file.get(); }
  ~WaveChain() {
    sink->stream = file.get();  // The header needs somewhere to go before the chain stops.
    Stop();
  }
  HRESULT Connect() {
    HRESULT result = ConnectInput();
    return SUCCEEDED(result) ? ConnectOutput(&wave) : result;
  }
  HRESULT Push(LONG length) {
    auto sample = Sample(length);
    return InputOfFilter()->Receive(sample.get());
  }
};

uint32_t ReadLe32(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

TEST_F(ConvertFilters, TheWaveWriterStampsBytePositionsAndWritesTheHeaderAtTheEnd) {
  WaveChain chain;
  ASSERT_EQ(chain.Connect(), S_OK);
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    chain.sink->times.clear();
    ASSERT_EQ(chain.Start(), S_OK);
    ASSERT_EQ(chain.Push(100), S_OK);
    ASSERT_EQ(chain.Push(60), S_OK);
    EXPECT_EQ(chain.sink->times[0], std::make_pair(REFERENCE_TIME{46}, REFERENCE_TIME{146}));
    EXPECT_EQ(chain.sink->times[1], std::make_pair(REFERENCE_TIME{146}, REFERENCE_TIME{206}));
    chain.Stop();
    const std::vector<uint8_t> bytes = chain.file->Bytes();
    ASSERT_EQ(bytes.size(), 46u);
    EXPECT_EQ(std::memcmp(bytes.data(), "RIFF", 4), 0);
    EXPECT_EQ(ReadLe32(bytes, 4), 160u + 38u);
    EXPECT_EQ(std::memcmp(bytes.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(ReadLe32(bytes, 16), 18u);
    EXPECT_EQ(std::memcmp(bytes.data() + 20, chain.type.pbFormat, 18), 0);
    EXPECT_EQ(std::memcmp(bytes.data() + 38, "data", 4), 0);
    EXPECT_EQ(ReadLe32(bytes, 42), 160u);
  }
}

TEST_F(ConvertFilters, ASampleTheSinkRefusesIsNotCounted) {
  WaveChain chain;
  ASSERT_EQ(chain.Connect(), S_OK);
  chain.sink->refuseAfter = 1;
  ASSERT_EQ(chain.Start(), S_OK);
  ASSERT_EQ(chain.Push(10), S_OK);
  EXPECT_EQ(chain.Push(20), VFW_E_SAMPLE_REJECTED);
  EXPECT_EQ(chain.filter->DataBytesWritten(), 10u);
  chain.Stop();
  EXPECT_EQ(ReadLe32(chain.file->Bytes(), 42), 10u);
}

TEST_F(ConvertFilters, TheWaveWriterNeedsWaveFormatsAndAStreamDownstream) {
  WaveChain chain;
  Z_CMediaTypeHolder video = MakeType(kMajorAudio, kSubPcm, kFormatWave, {1});
  EXPECT_NE(chain.source->Connect(chain.In(), &video), S_OK);
  EXPECT_EQ(chain.ConnectInput(), S_OK);
  Z_CMediaTypeHolder listed;
  EXPECT_EQ(chain.filter->ListTypeAt(0, &listed), S_OK);
  EXPECT_TRUE(listed.majortype == MEDIATYPE_Stream && listed.subtype == MEDIASUBTYPE_WAVE);
  EXPECT_EQ(chain.filter->ListTypeAt(1, &listed), VFW_S_NO_MORE_ITEMS);
  chain.sink->stream = nullptr;
  ASSERT_EQ(chain.ConnectOutput(&chain.wave), S_OK);
  ASSERT_EQ(chain.Start(), S_OK);
  EXPECT_EQ(chain.filter->Stop(), E_NOINTERFACE);
  EXPECT_EQ(chain.filter->State(), State_Paused);
}

TEST_F(ConvertFilters, AnOutputBufferTooSmallForTheSampleIsRefused) {
  WaveChain chain;
  ASSERT_EQ(chain.Connect(), S_OK);
  ASSERT_EQ(chain.Start(), S_OK);
  auto* output = static_cast<Z_CDeliveringPin*>(chain.filter->PinAt(1));
  ALLOCATOR_PROPERTIES small{1, 16, 1, 0}, actual{};
  output->Allocator()->Decommit();
  ASSERT_EQ(output->Allocator()->SetProperties(&small, &actual), S_OK);
  ASSERT_EQ(output->Allocator()->Commit(), S_OK);
  IMediaSample* destination = nullptr;
  ASSERT_EQ(output->TakeDeliveryBuffer(&destination, nullptr, nullptr, 0), S_OK);
  auto sample = chain.Sample(40);
  EXPECT_EQ(chain.filter->ConvertSample(sample.get(), destination), E_FAIL);
  EXPECT_EQ(chain.filter->DataBytesWritten(), 0u);
  auto fitting = chain.Sample(16);
  EXPECT_EQ(chain.filter->ConvertSample(fitting.get(), destination), S_OK);
  EXPECT_EQ(chain.filter->DataBytesWritten(), 16u);
  destination->Release();
}

}  // namespace
}  // namespace media_test
