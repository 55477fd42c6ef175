// Receiving and delivering pins: the allocator agreement and its fall-back, Receive's state and
// flush results, the type-change abort sequence, ReceiveMultiple, and passing downstream.
#include <atomic>
#include <thread>

#include "media_test_support.h"

namespace media_test {
namespace {

using platform::testing::CreateFakeFilterGraph;
using platform::testing::FakeFilterGraph;
using SamplePins = MediaTest;

// An output pin on one filter feeding an input pin on another, inside a recording graph.
struct Chain {
  FilterRef upstream{new TestFilter};
  FilterRef downstream{new TestFilter};
  TestOutputPin* out = upstream->AddPin<TestOutputPin>("Out");
  TestInputPin* in = downstream->AddPin<TestInputPin>("In");
  ComRef<FakeFilterGraph> graph{CreateFakeFilterGraph({})};
  Z_CMediaTypeHolder pcm = MakeType(kMajorAudio, kSubPcm, kFormatWave, {1});

  Chain() {
    out->rule.acceptsAll = true;
    in->rule.accepted = {pcm};
    downstream->JoinFilterGraph(graph.get(), nullptr);
  }
  ~Chain() {
    upstream->Stop();
    downstream->Stop();
    out->Disconnect();
    in->Disconnect();
    downstream->JoinFilterGraph(nullptr, nullptr);
  }
  HRESULT Connect() { return out->Connect(in, &pcm); }
  HRESULT Start() {
    HRESULT result = downstream->Pause();
    return SUCCEEDED(result) ? upstream->Pause() : result;
  }
  ComRef<IMediaSample> Sample() {
    IMediaSample* sample = nullptr;
    EXPECT_EQ(out->TakeDeliveryBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT), S_OK);
    return ComRef<IMediaSample>(sample);
  }
};

ULONG CountOf(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

TEST_F(SamplePins, TheOutputPinTakesThePeersAllocatorAndSizesIt) {
  Chain chain;
  ASSERT_EQ(chain.Connect(), S_OK);
  ASSERT_NE(chain.out->Allocator(), nullptr);
  EXPECT_EQ(chain.out->Allocator(), chain.in->Allocator());
  EXPECT_EQ(chain.out->lastRequest.cbAlign, 1);  // No requirements: alignment 0 becomes 1.
  EXPECT_FALSE(chain.in->IsReadOnly());
  ALLOCATOR_PROPERTIES properties{};
  chain.in->Allocator()->GetProperties(&properties);
  EXPECT_EQ(properties.cBuffers, 2);
  EXPECT_EQ(properties.cbBuffer, 256);

  const ULONG before = CountOf(chain.in->Allocator());
  IMemAllocator* first = nullptr;
  IMemAllocator* second = nullptr;
  ASSERT_EQ(chain.in->GetAllocator(&first), S_OK);
  ASSERT_EQ(chain.in->GetAllocator(&second), S_OK);
  EXPECT_EQ(first, second);
  EXPECT_EQ(CountOf(first), before + 2);
  first->Release();
  second->Release();
  EXPECT_EQ(chain.in->GetAllocator(nullptr), E_POINTER);
  EXPECT_EQ(chain.in->NotifyAllocator(nullptr, FALSE), E_POINTER);
}

TEST_F(SamplePins, AnAllocatorThatCannotBeSizedFallsBackToANewOne) {
  struct Case {
    const char* what;
    std::vector<HRESULT> sizing;
    bool refuseAllocatorClass;
    HRESULT expected;
    int sizings;
  };
  const Case cases[] = {
      {"the peer's allocator refuses the sizes", {E_FAIL}, false, S_OK, 2},
      {"both allocators refuse: the second failure", {E_FAIL, E_OUTOFMEMORY}, false, E_OUTOFMEMORY, 2},
      {"no allocator class at all", {}, true, REGDB_E_CLASSNOTREG, 0},
  };
  for (const Case& c : cases) {
    Chain chain;
    chain.out->sizingResults = c.sizing;
    platform::testing::RefuseComClass(CLSID_MemoryAllocator, c.refuseAllocatorClass);
    EXPECT_EQ(chain.Connect(), c.expected) << c.what;
    platform::testing::RefuseComClass(CLSID_MemoryAllocator, false);
    EXPECT_EQ(chain.out->sizings, c.sizings) << c.what;
    EXPECT_EQ(chain.out->IsConnected(), c.expected == S_OK) << c.what;
    EXPECT_FALSE(chain.in->IsConnected() && c.expected != S_OK) << c.what;
    if (c.expected == S_OK) {
      EXPECT_EQ(chain.out->Allocator(), chain.in->Allocator()) << c.what;
    }
  }
}

TEST_F(SamplePins, ReceiveFollowsTheFilterStateAndTheFlush) {
  Chain chain;
  ASSERT_EQ(chain.Connect(), S_OK);
  EXPECT_EQ(chain.out->OnActivate(), S_OK);  // Committed ahead of the filter, to take a sample.
  auto sample = chain.Sample();
  EXPECT_EQ(chain.in->Receive(sample.get()), VFW_E_WRONG_STATE);
  EXPECT_EQ(chain.in->Receive(nullptr), E_POINTER);
  ASSERT_EQ(chain.Start(), S_OK);
  EXPECT_EQ(chain.out->SendSample(sample.get()), S_OK);
  EXPECT_EQ(chain.out->PassBeginFlush(), S_OK);
  EXPECT_EQ(chain.in->Receive(sample.get()), S_FALSE);
  EXPECT_EQ(chain.out->PassEndFlush(), S_OK);
  EXPECT_EQ(chain.in->Receive(sample.get()), S_OK);
  EXPECT_EQ(chain.in->received, 2);
  EXPECT_EQ(chain.in->calls.flushesBegun, 1);
  EXPECT_EQ(chain.in->calls.flushesEnded, 1);
  sample.reset();

  // The receiving pin decommits its allocator on Stop.
  chain.downstream->Stop();
  IMediaSample* none = nullptr;
  EXPECT_EQ(chain.out->TakeDeliveryBuffer(&none, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_NOT_COMMITTED);
}

TEST_F(SamplePins, ARefusedTypeChangeEndsTheStreamAndRejectsUntilTheFlushEnds) {
  Chain chain;
  ASSERT_EQ(chain.Connect(), S_OK);
  ASSERT_EQ(chain.Start(), S_OK);
  auto sample = chain.Sample();
  Z_CMediaTypeHolder floats = MakeType(kMajorAudio, kSubFloat, kFormatWave);
  ASSERT_EQ(sample->SetMediaType(&floats), S_OK);

  EXPECT_EQ(chain.in->Receive(sample.get()), VFW_E_INVALIDMEDIATYPE);
  EXPECT_EQ(chain.in->calls.endOfStreams, 1);
  const auto events = chain.graph->Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].code, EC_ERRORABORT);
  EXPECT_EQ(events[0].first, VFW_E_TYPE_NOT_ACCEPTED);
  EXPECT_EQ(events[0].second, 0);

  ASSERT_EQ(sample->SetMediaType(nullptr), S_OK);
  EXPECT_EQ(chain.in->Receive(sample.get()), VFW_E_RUNTIME_ERROR);
  chain.in->BeginFlush();
  chain.in->EndFlush();
  EXPECT_EQ(chain.in->Receive(sample.get()), S_OK);

  // An accepted change goes through.
  ASSERT_EQ(sample->SetMediaType(&chain.pcm), S_OK);
  EXPECT_EQ(chain.in->Receive(sample.get()), S_OK);
  EXPECT_EQ(chain.in->SampleProperties().dwSampleFlags & AM_SAMPLE_TYPECHANGED, AM_SAMPLE_TYPECHANGED);
}

TEST_F(SamplePins, ASampleWithoutPropertiesIsReadCallByCall) {
  Chain chain;
  ASSERT_EQ(chain.Connect(), S_OK);
  ASSERT_EQ(chain.Start(), S_OK);
  PlainSample sample;
  sample.syncPoint = true;
  sample.timesValid = true;
  ASSERT_EQ(chain.in->Receive(&sample), S_OK);
  const AM_SAMPLE2_PROPERTIES& record = chain.in->SampleProperties();
  EXPECT_EQ(record.cbData, sizeof(AM_SAMPLE2_PROPERTIES));
  EXPECT_EQ(record.dwSampleFlags, 0x111u);
  EXPECT_EQ(record.tStart, 100);
  EXPECT_EQ(record.tStop, 200);
  EXPECT_EQ(record.pbBuffer, sample.data);
  EXPECT_EQ(record.lActual, 10);
  EXPECT_EQ(record.cbBuffer, 32);
  EXPECT_EQ(record.pMediaType, nullptr);

  // Its media type is a copy the pin owns: freed at the next sample and when the pin goes
  // (LeakSanitizer holds the pin to that).
  sample.type = std::make_unique<Z_CMediaTypeHolder>(chain.pcm);
  ASSERT_EQ(chain.in->Receive(&sample), S_OK);
  ASSERT_NE(chain.in->SampleProperties().pMediaType, nullptr);
  EXPECT_TRUE(chain.pcm.Equals(*chain.in->SampleProperties().pMediaType));
  ASSERT_EQ(chain.in->Receive(&sample), S_OK);
  EXPECT_EQ(sample.references, 1);
}

TEST_F(SamplePins, ReceiveMultipleStopsAtTheFirstRefusal) {
  Chain chain;
  ASSERT_EQ(chain.Connect(), S_OK);
  ASSERT_EQ(chain.Start(), S_OK);
  auto sample = chain.Sample();
  IMediaSample* five[5] = {sample.get(), sample.get(), sample.get(), sample.get(), sample.get()};
  chain.in->refuseAfter = 2;
  LONG processed = -1;
  EXPECT_EQ(chain.in->ReceiveMultiple(five, 5, &processed), VFW_E_SAMPLE_REJECTED);
  EXPECT_EQ(processed, 2);
  EXPECT_EQ(chain.in->ReceiveMultiple(five, 0, &processed), S_OK);
  EXPECT_EQ(processed, 0);
  EXPECT_EQ(chain.in->ReceiveMultiple(nullptr, 1, &processed), E_POINTER);
  EXPECT_EQ(chain.in->ReceiveMultiple(five, 1, nullptr), E_POINTER);
}

TEST_F(SamplePins, AFilterMayBlockUnlessEveryConnectedOutputSaysOtherwise) {
  // upstream -> middle (In, Out) -> downstream: the middle filter asks downstream.
  Chain chain;
  FilterRef last(new TestFilter);
  TestOutputPin* middleOut = chain.downstream->AddPin<TestOutputPin>("Middle out");
  TestInputPin* lastIn = last->AddPin<TestInputPin>("Last in");
  middleOut->rule.acceptsAll = true;
  lastIn->rule.acceptsAll = true;
  EXPECT_EQ(chain.in->ReceiveCanBlock(), S_OK);  // No connected output: it may block.
  ASSERT_EQ(middleOut->Connect(lastIn, &chain.pcm), S_OK);
  EXPECT_EQ(chain.in->ReceiveCanBlock(), S_OK);  // The last filter renders: it may block.
  lastIn->canBlockAnswer = S_FALSE;
  EXPECT_EQ(chain.in->ReceiveCanBlock(), S_FALSE);
  middleOut->Disconnect();
  lastIn->Disconnect();
}

TEST_F(SamplePins, DeliveringPinsPassDownstreamOnlyWhenConnected) {
  Chain chain;
  IMediaSample* sample = nullptr;
  EXPECT_EQ(chain.out->TakeDeliveryBuffer(&sample, nullptr, nullptr, 0), E_NOINTERFACE);
  EXPECT_EQ(chain.out->SendSample(nullptr), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(chain.out->PassEndOfStream(), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(chain.out->PassBeginFlush(), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(chain.out->PassEndFlush(), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(chain.out->PassNewSegment(0, 1, 1.0), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(chain.out->OnActivate(), VFW_E_NO_ALLOCATOR);
  EXPECT_EQ(chain.out->OnDeactivate(), VFW_E_NO_ALLOCATOR);
  EXPECT_EQ(chain.in->OnDeactivate(), VFW_E_NO_ALLOCATOR);
  EXPECT_EQ(chain.out->EndOfStream(), E_UNEXPECTED);
  EXPECT_EQ(chain.out->BeginFlush(), E_UNEXPECTED);
  EXPECT_EQ(chain.out->EndFlush(), E_UNEXPECTED);

  ASSERT_EQ(chain.Connect(), S_OK);
  EXPECT_EQ(chain.out->PassEndOfStream(), S_OK);
  EXPECT_EQ(chain.in->calls.endOfStreams, 1);
  EXPECT_EQ(chain.out->PassNewSegment(5, 50, 2.0), S_OK);
  EXPECT_EQ(chain.in->SegmentStart(), 5);
  EXPECT_EQ(chain.in->SegmentStop(), 50);
  EXPECT_EQ(chain.in->SegmentRate(), 2.0);
}

TEST_F(SamplePins, QualityMessagesGoUpstreamToTheSinkOrThePeer) {
  Chain chain;
  const Quality quality{Famine, 800, 10, 20};
  EXPECT_EQ(chain.in->Notify(nullptr, quality), E_POINTER);
  EXPECT_EQ(chain.in->Notify(chain.upstream.get(), quality), S_OK);
  EXPECT_EQ(chain.out->Notify(chain.upstream.get(), quality), E_NOTIMPL);
  EXPECT_EQ(chain.in->PassQualityNotice(quality), VFW_E_NOT_FOUND);
  ASSERT_EQ(chain.Connect(), S_OK);
  EXPECT_EQ(chain.in->PassQualityNotice(quality), E_NOTIMPL);  // The output pin's answer.
  FilterRef other(new TestFilter);
  TestInputPin* sink = other->AddPin<TestInputPin>("Sink");
  ASSERT_EQ(chain.in->SetSink(sink), S_OK);
  EXPECT_EQ(chain.in->PassQualityNotice(quality), S_OK);  // The sink's answer.
}

TEST_F(SamplePins, FlushesOnOneThreadWhileSamplesArriveOnAnother) {
  Chain chain;
  ASSERT_EQ(chain.Connect(), S_OK);
  ASSERT_EQ(chain.Start(), S_OK);
  std::atomic<bool> stop{false};
  std::atomic<int> unexpected{0};
  std::thread streaming([&] {
    IMediaSample* sample = nullptr;
    for (int i = 0; i < 2000 && !stop; ++i) {
      if (chain.out->TakeDeliveryBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT) != S_OK) continue;
      const HRESULT result = chain.out->SendSample(sample);
      if (result != S_OK && result != S_FALSE) ++unexpected;
      sample->Release();
    }
  });
  for (int i = 0; i < 200; ++i) {
    chain.in->BeginFlush();
    chain.in->EndFlush();
  }
  stop = true;
  streaming.join();
  EXPECT_EQ(unexpected.load(), 0);
}

}  // namespace
}  // namespace media_test
