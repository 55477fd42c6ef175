// The filter core: state changes through the pins, graph membership, pin look-up, stream time and
// registration.
#include "media_test_support.h"

namespace media_test {
namespace {

using FilterCore = MediaTest;
using platform::testing::CreateFakeFilterGraph;
using platform::testing::CreateFakeReferenceClock;
using platform::testing::FakeFilterGraph;
using platform::testing::FakeGraphOptions;
using platform::testing::FakeReferenceClock;

// A filter with three pins; the first two are connected to pins of a second filter.
struct ThreePins {
  FilterRef filter{new TestFilter};
  FilterRef peers{new TestFilter};
  ScriptedPin* first = filter->AddPin<ScriptedPin>("First", PINDIR_OUTPUT);
  ScriptedPin* second = filter->AddPin<ScriptedPin>("Second", PINDIR_OUTPUT);
  ScriptedPin* unconnected = filter->AddPin<ScriptedPin>("Third", PINDIR_OUTPUT);
  ThreePins() {
    first->ForceConnected(peers->AddPin<ScriptedPin>("A", PINDIR_INPUT));
    second->ForceConnected(peers->AddPin<ScriptedPin>("B", PINDIR_INPUT));
  }
  ~ThreePins() {
    filter->Stop();
    first->DropPeer();
    second->DropPeer();
  }
};

TEST_F(FilterCore, RunFromStoppedActivatesAndRunsEveryConnectedPinOnce) {
  ThreePins pins;
  ASSERT_EQ(pins.filter->Run(1234), S_OK);
  EXPECT_EQ(pins.filter->State(), State_Running);
  for (ScriptedPin* pin : {pins.first, pins.second}) {
    EXPECT_EQ(pin->calls.activations, 1);
    EXPECT_EQ(pin->calls.runHooks, 1);
    EXPECT_EQ(pin->calls.lastRunStart, 1234);
  }
  EXPECT_EQ(pins.unconnected->calls.activations, 0);
  EXPECT_EQ(pins.unconnected->calls.runHooks, 0);

  // Running again only replaces the start time; pausing a running filter calls no pin.
  ASSERT_EQ(pins.filter->Run(5678), S_OK);
  EXPECT_EQ(pins.first->calls.runHooks, 1);
  EXPECT_EQ(pins.filter->StartTime(), 5678);
  ASSERT_EQ(pins.filter->Pause(), S_OK);
  EXPECT_EQ(pins.filter->State(), State_Paused);
  EXPECT_EQ(pins.first->calls.activations, 1);
  EXPECT_EQ(pins.first->calls.deactivations, 0);
  FILTER_STATE state = State_Running;
  EXPECT_EQ(pins.filter->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Paused);
  EXPECT_EQ(pins.filter->GetState(0, nullptr), E_POINTER);
}

TEST_F(FilterCore, StopDeactivatesEveryPinAndReportsTheFirstFailure) {
  ThreePins pins;
  ASSERT_EQ(pins.filter->Pause(), S_OK);
  pins.second->deactivateResult = E_UNEXPECTED;
  EXPECT_EQ(pins.filter->Stop(), E_UNEXPECTED);
  EXPECT_EQ(pins.filter->State(), State_Stopped);
  EXPECT_EQ(pins.first->calls.deactivations, 1);
  EXPECT_EQ(pins.second->calls.deactivations, 1);
  EXPECT_EQ(pins.filter->Stop(), S_OK);  // Already stopped: no pin is called.
  EXPECT_EQ(pins.first->calls.deactivations, 1);
}

TEST_F(FilterCore, AFailingPinKeepsTheFilterFromLeavingStoppedOrPaused) {
  ThreePins pins;
  pins.second->activateResult = VFW_E_NO_ALLOCATOR;
  EXPECT_EQ(pins.filter->Pause(), VFW_E_NO_ALLOCATOR);
  EXPECT_EQ(pins.filter->State(), State_Stopped);
  EXPECT_EQ(pins.filter->Run(10), VFW_E_NO_ALLOCATOR);
  EXPECT_EQ(pins.filter->State(), State_Stopped);
  EXPECT_EQ(pins.filter->StartTime(), 10);  // Stored even though Run failed.

  pins.second->activateResult = S_OK;
  pins.first->runHookResult = E_FAIL;
  EXPECT_EQ(pins.filter->Run(20), E_FAIL);
  EXPECT_EQ(pins.filter->State(), State_Paused);
  EXPECT_EQ(pins.second->calls.runHooks, 0);
}

TEST_F(FilterCore, FindsPinsByNameAndAnswersItsInterfaces) {
  ThreePins pins;
  IPin* found = nullptr;
  const ULONG references = pins.filter->References();
  ASSERT_EQ(pins.filter->FindPin(Wide("Second").c_str(), &found), S_OK);
  EXPECT_EQ(found, static_cast<IPin*>(pins.second));
  EXPECT_EQ(pins.filter->References(), references + 1);
  found->Release();
  found = reinterpret_cast<IPin*>(1);
  EXPECT_EQ(pins.filter->FindPin(Wide("second").c_str(), &found), VFW_E_NOT_FOUND);  // Exact case.
  EXPECT_EQ(found, nullptr);
  EXPECT_EQ(pins.filter->FindPin(Wide("First").c_str(), nullptr), E_POINTER);

  IBaseFilter* base = pins.filter.get();
  for (const IID* iid : {&IID_IBaseFilter, &IID_IMediaFilter, &IID_IPersist}) {
    void* out = nullptr;
    ASSERT_EQ(base->QueryInterface(*iid, &out), S_OK);
    EXPECT_EQ(out, static_cast<void*>(base));
    base->Release();
  }
  IAMovieSetup* setup = nullptr;
  ASSERT_EQ(base->QueryInterface(IID_IAMovieSetup, reinterpret_cast<void**>(&setup)), S_OK);
  EXPECT_EQ(setup->Register(), S_FALSE);  // No filter here has a registration record.
  EXPECT_EQ(setup->Unregister(), S_FALSE);
  setup->Release();

  CLSID classId{};
  EXPECT_EQ(base->GetClassID(&classId), S_OK);
  EXPECT_EQ(classId, kTestFilterClass);
  EXPECT_EQ(base->GetClassID(nullptr), E_POINTER);
  EXPECT_EQ(base->QueryVendorInfo(nullptr), E_NOTIMPL);
}

TEST_F(FilterCore, JoiningAGraphKeepsItsNameAndSinkWithoutReferences) {
  FilterRef filter(new TestFilter);
  FILTER_INFO info;
  ASSERT_EQ(filter->QueryFilterInfo(&info), S_OK);
  EXPECT_EQ(info.achName[0], 0);
  EXPECT_EQ(info.pGraph, nullptr);
  EXPECT_EQ(filter->NotifyGraphEvent(EC_COMPLETE, 0, 0), E_NOTIMPL);
  EXPECT_EQ(filter->ReconnectPinInGraph(nullptr, nullptr), E_NOINTERFACE);

  ComRef<FakeFilterGraph> graph(CreateFakeFilterGraph({}));
  const std::u16string longName(200, u'n');
  ASSERT_EQ(filter->JoinFilterGraph(graph.get(), longName.c_str()), S_OK);
  EXPECT_EQ(graph->AddRef(), 2u);  // Neither the graph nor its sink is held.
  graph->Release();
  ASSERT_EQ(filter->QueryFilterInfo(&info), S_OK);
  EXPECT_EQ(std::u16string(info.achName), longName.substr(0, 127));
  EXPECT_EQ(info.pGraph, graph.get());
  info.pGraph->Release();

  EXPECT_EQ(filter->NotifyGraphEvent(EC_COMPLETE, 5, 6), S_OK);
  EXPECT_EQ(filter->NotifyGraphEvent(EC_ERRORABORT, 7, 8), S_OK);
  const auto events = graph->Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].code, EC_COMPLETE);
  EXPECT_EQ(events[0].first, 5);
  EXPECT_EQ(events[0].second, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(filter.get())));
  EXPECT_EQ(events[1].second, 8);

  ASSERT_EQ(filter->JoinFilterGraph(nullptr, nullptr), S_OK);
  EXPECT_EQ(filter->EventSink(), nullptr);
  ASSERT_EQ(filter->QueryFilterInfo(&info), S_OK);
  EXPECT_EQ(info.achName[0], 0);
  EXPECT_EQ(filter->QueryFilterInfo(nullptr), E_POINTER);

  // A graph without an event sink drops events.
  ComRef<FakeFilterGraph> silent(CreateFakeFilterGraph({.answersEventSink = false}));
  filter->JoinFilterGraph(silent.get(), nullptr);
  EXPECT_EQ(filter->NotifyGraphEvent(EC_COMPLETE, 0, 0), E_NOTIMPL);
  filter->JoinFilterGraph(nullptr, nullptr);
}

TEST_F(FilterCore, ReconnectionPrefersTheExtendedGraphInterface) {
  FilterRef filter(new TestFilter);
  ScriptedPin* pin = filter->AddPin<ScriptedPin>("Out", PINDIR_OUTPUT);
  ComRef<FakeFilterGraph> extended(CreateFakeFilterGraph({.reconnectResult = E_ABORT}));
  filter->JoinFilterGraph(extended.get(), nullptr);
  EXPECT_EQ(filter->ReconnectPinInGraph(pin, nullptr), E_ABORT);
  EXPECT_EQ(extended->ReconnectExCalls(), 1);
  EXPECT_EQ(extended->ReconnectCalls(), 0);
  EXPECT_EQ(extended->LastReconnectedPin(), static_cast<IPin*>(pin));

  ComRef<FakeFilterGraph> plain(CreateFakeFilterGraph({.answersFilterGraph2 = false}));
  filter->JoinFilterGraph(plain.get(), nullptr);
  EXPECT_EQ(filter->ReconnectPinInGraph(pin, nullptr), S_OK);
  EXPECT_EQ(plain->ReconnectCalls(), 1);
  EXPECT_EQ(plain->ReconnectExCalls(), 0);
  filter->JoinFilterGraph(nullptr, nullptr);
}

TEST_F(FilterCore, StreamTimeIsClockTimeLessTheStartTime) {
  FilterRef filter(new TestFilter);
  REFERENCE_TIME time = 0;
  EXPECT_EQ(filter->QueryStreamTime(&time), VFW_E_NO_CLOCK);

  ComRef<FakeReferenceClock> clock(CreateFakeReferenceClock());
  ASSERT_EQ(filter->SetSyncSource(clock.get()), S_OK);
  IReferenceClock* got = nullptr;
  ASSERT_EQ(filter->GetSyncSource(&got), S_OK);
  EXPECT_EQ(got, clock.get());
  EXPECT_EQ(got->Release(), 2u);  // Ours and the filter's.
  EXPECT_EQ(filter->GetSyncSource(nullptr), E_POINTER);

  clock->SetTime(5'000'000);
  ASSERT_EQ(filter->Run(2'000'000), S_OK);
  ASSERT_EQ(filter->QueryStreamTime(&time), S_OK);
  EXPECT_EQ(time, 3'000'000);
  clock->SetGetTimeResult(E_UNEXPECTED);
  EXPECT_EQ(filter->QueryStreamTime(&time), E_UNEXPECTED);

  ASSERT_EQ(filter->SetSyncSource(nullptr), S_OK);
  EXPECT_EQ(clock->AddRef(), 2u);  // The filter let go of it.
  clock->Release();
  ASSERT_EQ(filter->GetSyncSource(&got), S_OK);
  EXPECT_EQ(got, nullptr);
}

// A mapper that records the registration calls it is given.
class RecordingMapper final : public IFilterMapper {
 public:
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT RegisterFilter(CLSID, LPCWSTR name, DWORD merit) override {
    calls.push_back("filter " + Narrow(name) + " " + std::to_string(merit));
    return S_OK;
  }
  HRESULT RegisterFilterInstance(CLSID, LPCWSTR, CLSID*) override { return E_NOTIMPL; }
  HRESULT RegisterPin(CLSID, LPCWSTR name, BOOL, BOOL output, BOOL, BOOL, CLSID, LPCWSTR) override {
    calls.push_back("pin " + Narrow(name) + (output ? " out" : " in"));
    return pinResult;
  }
  HRESULT RegisterPinType(CLSID, LPCWSTR pin, CLSID major, CLSID) override {
    calls.push_back("type " + Narrow(pin) + (major == kMajorAudio ? " audio" : " other"));
    return S_OK;
  }
  HRESULT UnregisterFilter(CLSID) override {
    calls.push_back("unregister");
    return unregisterResult;
  }
  HRESULT UnregisterFilterInstance(CLSID) override { return E_NOTIMPL; }
  HRESULT UnregisterPin(CLSID, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT EnumMatchingFilters(IUnknown**, DWORD, BOOL, CLSID, CLSID, BOOL, BOOL, CLSID, CLSID) override {
    return E_NOTIMPL;
  }

  static std::string Narrow(LPCWSTR text) {
    std::string narrow;
    for (; text && *text; ++text) narrow.push_back(static_cast<char>(*text));
    return narrow;
  }

  std::vector<std::string> calls;
  HRESULT pinResult = S_OK;
  HRESULT unregisterResult = static_cast<HRESULT>(0x80070002);
};

TEST_F(FilterCore, RegistrationWalksPinsAndTypesUntilTheFirstFailure) {
  FilterRef filter(new TestFilter);
  const std::u16string filterName = Wide("Test"), inName = Wide("In"), outName = Wide("Out");
  const REGPINTYPES types[] = {{&kMajorAudio, &kSubPcm}, {&kMajorVideo, &kSubPcm}};
  const REGFILTERPINS pins[] = {
      {inName.c_str(), FALSE, FALSE, FALSE, FALSE, nullptr, nullptr, 2, types},
      {outName.c_str(), FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 1, types},
  };
  const AMOVIESETUP_FILTER setup = {&kTestFilterClass, filterName.c_str(), MERIT_DO_NOT_USE, 2, pins};

  RecordingMapper mapper;
  EXPECT_EQ(filter->RegisterWithMapper(nullptr, &mapper, true), S_FALSE);
  EXPECT_EQ(filter->RegisterWithMapper(&setup, &mapper, true), S_OK);
  EXPECT_EQ(mapper.calls, (std::vector<std::string>{"unregister", "filter Test 2097152", "pin In in", "type In audio",
                                                    "type In other", "pin Out out", "type Out audio"}));
  mapper.calls.clear();
  mapper.pinResult = static_cast<HRESULT>(0x80070005);
  EXPECT_EQ(filter->RegisterWithMapper(&setup, &mapper, true), static_cast<HRESULT>(0x80070005));
  EXPECT_EQ(mapper.calls.back(), "pin In in");
  mapper.calls.clear();
  // Unregistering a filter that was never registered is no failure.
  EXPECT_EQ(filter->RegisterWithMapper(&setup, &mapper, false), S_OK);
  EXPECT_EQ(mapper.calls, std::vector<std::string>{"unregister"});
}

}  // namespace
}  // namespace media_test
