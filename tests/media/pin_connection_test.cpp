// The pin core: the media-type agreement between two in-test filters, refusals and their codes,
// disconnection and the pin queries.
#include "media_test_support.h"

namespace media_test {
namespace {

using PinConnection = MediaTest;

// An output pin on one filter and an input pin on another, both of the pin core.
struct TwoFilters {
  FilterRef upstream{new TestFilter};
  FilterRef downstream{new TestFilter};
  ScriptedPin* out = upstream->AddPin<ScriptedPin>("Out", PINDIR_OUTPUT);
  ScriptedPin* in = downstream->AddPin<ScriptedPin>("In", PINDIR_INPUT);

  Z_CMediaTypeHolder pcm = MakeType(kMajorAudio, kSubPcm, kFormatWave, {1});
  Z_CMediaTypeHolder floats = MakeType(kMajorAudio, kSubFloat, kFormatWave, {2});
  Z_CMediaTypeHolder video = MakeType(kMajorVideo, kSubPcm, kFormatWave, {3});

  ~TwoFilters() {
    upstream->Stop();
    downstream->Stop();
    out->unlinkResult = S_OK;
    in->unlinkResult = S_OK;
    out->DropPeer();
    in->DropPeer();
  }
  std::vector<std::string> Tried() const {
    std::vector<std::string> names;
    for (const Z_CMediaTypeHolder& type : out->testedTypes)
      names.push_back(type.Equals(pcm) ? "pcm" : type.Equals(floats) ? "floats" : type.Equals(video) ? "video" : "?");
    return names;
  }
};

TEST_F(PinConnection, AFullySpecifiedTypeIsTheOnlyOneTried) {
  TwoFilters pins;
  pins.out->offered.push_back(pins.floats);
  pins.in->offered.push_back(pins.video);
  pins.out->rule.acceptsAll = true;
  pins.in->rule.acceptsAll = true;
  ASSERT_EQ(pins.out->Connect(pins.in, &pins.pcm), S_OK);
  EXPECT_EQ(pins.Tried(), std::vector<std::string>{"pcm"});
  EXPECT_EQ(pins.out->ConnectedPin(), static_cast<IPin*>(pins.in));
  EXPECT_EQ(pins.in->ConnectedPin(), static_cast<IPin*>(pins.out));
  EXPECT_EQ(pins.out->calls.links, 1);
  EXPECT_EQ(pins.in->calls.links, 1);
  AM_MEDIA_TYPE agreed;
  ASSERT_EQ(pins.in->ConnectionMediaType(&agreed), S_OK);
  EXPECT_TRUE(pins.pcm.Equals(agreed));
  FreeMediaTypeContents(&agreed);

  EXPECT_EQ(pins.out->Connect(pins.in, &pins.pcm), VFW_E_ALREADY_CONNECTED);
  EXPECT_EQ(pins.in->ReceiveConnection(pins.out, &pins.pcm), VFW_E_ALREADY_CONNECTED);
}

TEST_F(PinConnection, APartialTypeTriesTheReceiversMatchingTypesThenOurOwn) {
  struct Case {
    const char* what;
    bool partial;  // A pattern of audio of any kind; else no type at all.
    std::vector<std::string> tried;
  };
  const Case cases[] = {
      {"audio pattern: the video type is not tried", true, {"pcm", "floats"}},
      {"no type: every type of both lists", false, {"pcm", "video", "floats"}},
  };
  for (const Case& c : cases) {
    TwoFilters pins;
    pins.in->offered = {pins.pcm, pins.video};
    pins.out->offered = {pins.floats};
    pins.out->rule.accepted = {pins.floats};
    pins.in->rule.acceptsAll = true;
    const Z_CMediaTypeHolder pattern = MakeType(kMajorAudio, GUID_NULL, GUID_NULL);
    ASSERT_EQ(pins.out->Connect(pins.in, c.partial ? &pattern : nullptr), S_OK) << c.what;
    EXPECT_EQ(pins.Tried(), c.tried) << c.what;
    EXPECT_TRUE(pins.in->CurrentMediaType().Equals(pins.floats)) << c.what;
  }
}

TEST_F(PinConnection, RefusalsBecomeNoAcceptableTypesAndOtherFailuresAreReported) {
  struct Case {
    const char* what;
    HRESULT outRefusal;  // What the connecting pin's TestType answers for every type.
    HRESULT inRefusal;   // What the receiving pin's TestType answers (S_OK accepts).
    HRESULT expected;
  };
  const Case cases[] = {
      {"connecting pin refuses with S_FALSE", S_FALSE, S_OK, VFW_E_NO_ACCEPTABLE_TYPES},
      {"connecting pin refuses with E_FAIL", E_FAIL, S_OK, VFW_E_NO_ACCEPTABLE_TYPES},
      {"connecting pin refuses with E_INVALIDARG", E_INVALIDARG, S_OK, VFW_E_NO_ACCEPTABLE_TYPES},
      {"connecting pin fails otherwise", E_OUTOFMEMORY, S_OK, E_OUTOFMEMORY},
      {"receiving pin refuses", S_OK, E_FAIL, VFW_E_NO_ACCEPTABLE_TYPES},
      {"receiving pin fails otherwise", S_OK, VFW_E_RUNTIME_ERROR, VFW_E_RUNTIME_ERROR},
  };
  for (const Case& c : cases) {
    TwoFilters pins;
    pins.in->offered = {pins.pcm, pins.floats};
    pins.out->offered = {pins.video};  // A pass over an empty list would report "no types" last.
    pins.out->rule.acceptsAll = c.outRefusal == S_OK;
    pins.out->rule.refusal = c.outRefusal;
    pins.in->rule.acceptsAll = c.inRefusal == S_OK;
    pins.in->rule.refusal = c.inRefusal;
    EXPECT_EQ(pins.out->Connect(pins.in, nullptr), c.expected) << c.what;
    EXPECT_FALSE(pins.out->IsConnected()) << c.what;
    EXPECT_FALSE(pins.in->IsConnected()) << c.what;
    EXPECT_GE(pins.out->calls.unlinks, 1) << c.what;
  }

  // One fully specified type refused with a success code is "not accepted".
  TwoFilters pins;
  pins.out->rule.refusal = S_FALSE;
  EXPECT_EQ(pins.out->Connect(pins.in, &pins.pcm), VFW_E_TYPE_NOT_ACCEPTED);
}

TEST_F(PinConnection, SameDirectionsAndRunningFiltersAreRefused) {
  TwoFilters pins;
  ScriptedPin* otherOut = pins.downstream->AddPin<ScriptedPin>("Other out", PINDIR_OUTPUT);
  pins.out->rule.acceptsAll = true;
  otherOut->rule.acceptsAll = true;
  EXPECT_EQ(pins.out->Connect(otherOut, &pins.pcm), VFW_E_INVALID_DIRECTION);
  EXPECT_FALSE(pins.out->IsConnected());
  EXPECT_FALSE(otherOut->IsConnected());
  EXPECT_EQ(otherOut->ReceiveConnection(pins.out, &pins.pcm), VFW_E_INVALID_DIRECTION);

  ASSERT_EQ(pins.upstream->Pause(), S_OK);
  EXPECT_EQ(pins.out->Connect(pins.in, &pins.pcm), VFW_E_NOT_STOPPED);
  pins.upstream->Stop();
  ASSERT_EQ(pins.downstream->Pause(), S_OK);
  EXPECT_EQ(pins.in->ReceiveConnection(pins.out, &pins.pcm), VFW_E_NOT_STOPPED);
  EXPECT_EQ(pins.in->Disconnect(), VFW_E_NOT_STOPPED);
  pins.downstream->Stop();
  EXPECT_EQ(pins.out->Connect(nullptr, &pins.pcm), E_POINTER);
  EXPECT_EQ(pins.in->ReceiveConnection(pins.out, nullptr), E_POINTER);
}

TEST_F(PinConnection, AFailedLinkUndoesBothSides) {
  TwoFilters pins;
  pins.out->rule.acceptsAll = true;
  pins.in->rule.acceptsAll = true;
  pins.out->linkResult = VFW_E_NO_ALLOCATOR;
  EXPECT_EQ(pins.out->Connect(pins.in, &pins.pcm), VFW_E_NO_ALLOCATOR);
  EXPECT_FALSE(pins.out->IsConnected());
  EXPECT_FALSE(pins.in->IsConnected());  // The receiving pin was told to disconnect.
  EXPECT_EQ(pins.in->calls.unlinks, 1);

  pins.out->linkResult = S_OK;
  pins.in->linkResult = E_FAIL;
  EXPECT_EQ(pins.in->ReceiveConnection(pins.out, &pins.pcm), E_FAIL);
  EXPECT_FALSE(pins.in->IsConnected());
}

TEST_F(PinConnection, DisconnectBreaksOnlyThisSideUnlessUnlinkingFails) {
  TwoFilters pins;
  EXPECT_EQ(pins.in->Disconnect(), S_FALSE);
  pins.out->rule.acceptsAll = true;
  pins.in->rule.acceptsAll = true;
  ASSERT_EQ(pins.out->Connect(pins.in, &pins.pcm), S_OK);
  pins.in->unlinkResult = E_UNEXPECTED;
  EXPECT_EQ(pins.in->Disconnect(), E_UNEXPECTED);
  EXPECT_TRUE(pins.in->IsConnected());
  pins.in->unlinkResult = S_OK;
  EXPECT_EQ(pins.in->Disconnect(), S_OK);
  EXPECT_FALSE(pins.in->IsConnected());
  EXPECT_TRUE(pins.out->IsConnected());
  EXPECT_EQ(pins.out->Disconnect(), S_OK);
}

TEST_F(PinConnection, QueriesOfAnUnconnectedPin) {
  TwoFilters pins;
  AM_MEDIA_TYPE type = pins.pcm;  // Shallow: overwritten without being freed.
  EXPECT_EQ(pins.in->ConnectionMediaType(&type), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(type.bFixedSizeSamples, TRUE);
  EXPECT_EQ(type.lSampleSize, 1u);
  EXPECT_EQ(type.majortype, GUID_NULL);
  IPin* peer = reinterpret_cast<IPin*>(1);
  EXPECT_EQ(pins.in->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(peer, nullptr);
  EXPECT_EQ(pins.in->ConnectedTo(nullptr), E_POINTER);

  pins.in->rule.accepted = {pins.pcm};
  pins.in->rule.refusal = E_FAIL;
  EXPECT_EQ(pins.in->QueryAccept(&pins.floats), S_FALSE);
  EXPECT_EQ(pins.in->QueryAccept(&pins.pcm), S_OK);
  EXPECT_EQ(pins.in->QueryAccept(nullptr), E_POINTER);

  const ULONG references = pins.downstream->References();
  PIN_INFO info;
  ASSERT_EQ(pins.in->QueryPinInfo(&info), S_OK);
  EXPECT_EQ(info.pFilter, static_cast<IBaseFilter*>(pins.downstream.get()));
  EXPECT_EQ(info.dir, PINDIR_INPUT);
  EXPECT_EQ(std::u16string(info.achName), Wide("In"));
  EXPECT_EQ(pins.downstream->References(), references + 1);  // A pin reference is a filter reference.
  info.pFilter->Release();
  static_cast<IPin*>(pins.in)->AddRef();
  EXPECT_EQ(pins.downstream->References(), references + 1);
  static_cast<IPin*>(pins.in)->Release();

  LPWSTR id = nullptr;
  ASSERT_EQ(pins.in->QueryId(&id), S_OK);
  EXPECT_EQ(std::u16string(id), Wide("In"));
  CoTaskMemFree(id);
  PIN_DIRECTION direction;
  EXPECT_EQ(pins.out->QueryDirection(&direction), S_OK);
  EXPECT_EQ(direction, PINDIR_OUTPUT);
  EXPECT_EQ(pins.in->QueryInternalConnections(nullptr, nullptr), E_NOTIMPL);
  EXPECT_EQ(pins.in->NewSegment(10, 20, 0.5), S_OK);
  EXPECT_EQ(pins.in->SegmentStart(), 10);
  EXPECT_EQ(pins.in->SegmentStop(), 20);
  EXPECT_EQ(pins.in->SegmentRate(), 0.5);

  IQualityControl* quality = nullptr;
  ASSERT_EQ(static_cast<IPin*>(pins.in)->QueryInterface(IID_IQualityControl, reinterpret_cast<void**>(&quality)), S_OK);
  EXPECT_EQ(quality, static_cast<IQualityControl*>(pins.in));
  quality->Release();
}

}  // namespace
}  // namespace media_test
