// Position pass-through and the renderer's tracker (forwarding upstream, rate 0, the current
// position from the last sample's stamps), the position dispatch without an automation library,
// and the seeking pass-through class made by class id.
#include "renderer_fixtures.h"

#include "media/filters/position_pass_through.h"

namespace media_test {
namespace {

using Positions = MediaTest;

// The upstream filter's seeking: media time, a duration of 5 s, a current position of 7.77 s.
class UpstreamSeeking final : public IMediaSeeking, public IMediaPosition {
 public:
  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IMediaSeeking) {
      *out = static_cast<IMediaSeeking*>(this);
    } else if (iid == IID_IMediaPosition) {
      *out = static_cast<IMediaPosition*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }

  HRESULT GetCapabilities(DWORD*) override { return E_NOTIMPL; }
  HRESULT CheckCapabilities(DWORD*) override { return E_NOTIMPL; }
  HRESULT IsFormatSupported(const GUID*) override { return E_NOTIMPL; }
  HRESULT QueryPreferredFormat(GUID*) override { return E_NOTIMPL; }
  HRESULT GetTimeFormat(GUID* format) override {
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
  }
  HRESULT IsUsingTimeFormat(const GUID*) override { return E_NOTIMPL; }
  HRESULT SetTimeFormat(const GUID*) override { return E_NOTIMPL; }
  HRESULT GetDuration(LONGLONG* duration) override {
    *duration = 50000000;
    return S_OK;
  }
  HRESULT GetStopPosition(LONGLONG* stop) override {
    *stop = 40000000;
    return S_OK;
  }
  HRESULT GetCurrentPosition(LONGLONG* current) override {
    *current = 77700000;
    return S_OK;
  }
  HRESULT ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                            const GUID* sourceFormat) override {
    if (targetFormat || !sourceFormat || !(*sourceFormat == TIME_FORMAT_MEDIA_TIME)) return E_INVALIDARG;
    *target = source;
    return S_OK;
  }
  HRESULT SetPositions(LONGLONG*, DWORD, LONGLONG*, DWORD) override { return E_NOTIMPL; }
  HRESULT GetPositions(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }
  HRESULT GetAvailable(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }
  HRESULT SetRate(double rate) override {
    rates.push_back(rate);
    return S_OK;
  }
  HRESULT GetRate(double*) override { return E_NOTIMPL; }
  HRESULT GetPreroll(LONGLONG*) override { return E_NOTIMPL; }

  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }
  HRESULT get_Duration(REFTIME* length) override {
    *length = 5.0;
    return S_OK;
  }
  HRESULT put_CurrentPosition(REFTIME) override { return E_NOTIMPL; }
  HRESULT get_CurrentPosition(REFTIME* time) override {
    *time = 7.77;
    return S_OK;
  }
  HRESULT get_StopTime(REFTIME*) override { return E_NOTIMPL; }
  HRESULT put_StopTime(REFTIME) override { return E_NOTIMPL; }
  HRESULT get_PrerollTime(REFTIME*) override { return E_NOTIMPL; }
  HRESULT put_PrerollTime(REFTIME) override { return E_NOTIMPL; }
  HRESULT put_Rate(double rate) override {
    rates.push_back(rate);
    return S_OK;
  }
  HRESULT get_Rate(double*) override { return E_NOTIMPL; }
  HRESULT CanSeekForward(LONG* can) override {
    *can = 1;
    return S_OK;
  }
  HRESULT CanSeekBackward(LONG*) override { return E_NOTIMPL; }

  std::vector<double> rates;
};

// A source output pin that answers for its filter's seeking.
class SeekingSourcePin : public TestOutputPin {
 public:
  SeekingSourcePin(Z_CFilterCore* filter, Z_CLockSection* lock, const char* name) : TestOutputPin(filter, lock, name) {}
  HRESULT InnerQueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IMediaSeeking || iid == IID_IMediaPosition) return seeking.QueryInterface(iid, out);
    return TestOutputPin::InnerQueryInterface(iid, out);
  }
  UpstreamSeeking seeking;
};

struct TrackedChain : RendererChain {
  SeekingSourcePin* seekingSource = source->AddPin<SeekingSourcePin>("Seeking out");
  IMediaSeeking* seeking = nullptr;
  IMediaPosition* position = nullptr;
  TrackedChain() {
    seekingSource->rule.acceptsAll = true;
    renderer->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking));
    renderer->QueryInterface(IID_IMediaPosition, reinterpret_cast<void**>(&position));
  }
  ~TrackedChain() {
    seeking->Release();
    position->Release();
    renderer->Stop();
    seekingSource->Disconnect();
    renderer->Input()->Disconnect();
  }
  HRESULT Connect() { return seekingSource->Connect(renderer->Input(), &video); }
  ComRef<IMediaSample> Sample(REFERENCE_TIME start, REFERENCE_TIME stop) {
    IMediaSample* sample = nullptr;
    EXPECT_EQ(seekingSource->TakeDeliveryBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT), S_OK);
    sample->SetTime(&start, &stop);
    return ComRef<IMediaSample>(sample);
  }
  LONGLONG Current() {
    LONGLONG current = -1;
    EXPECT_EQ(seeking->GetCurrentPosition(&current), S_OK);
    return current;
  }
};

TEST_F(Positions, TheCurrentPositionFollowsTheRenderersSamples) {
  TrackedChain chain;
  ASSERT_EQ(chain.Connect(), S_OK);
  EXPECT_EQ(chain.Current(), 77700000) << "before any sample: the upstream answer";
  ASSERT_EQ(chain.renderer->Pause(), S_FALSE);
  auto sample = chain.Sample(3000000, 4000000);
  PushedSample push(chain.Input(), sample.get());
  ASSERT_TRUE(chain.WaitForPendingSample());
  EXPECT_EQ(chain.Current(), 3000000);
  ASSERT_EQ(chain.renderer->Input()->BeginFlush(), S_OK);
  ASSERT_TRUE(push.Finished());
  ASSERT_EQ(chain.renderer->Input()->EndFlush(), S_OK);
  EXPECT_EQ(chain.Current(), 77700000) << "after a flush: upstream again";

  ASSERT_EQ(chain.renderer->Run(0), S_OK);
  auto last = chain.Sample(0, 100000);
  PushedSample drawn(chain.Input(), last.get());
  ASSERT_TRUE(drawn.Finished());
  ASSERT_EQ(chain.renderer->Input()->EndOfStream(), S_OK);
  ASSERT_EQ(chain.EventCount(EC_COMPLETE), 1);
  EXPECT_EQ(chain.Current(), 40000000) << "after the end: the upstream stop position";
  ASSERT_EQ(chain.renderer->Stop(), S_OK);
  EXPECT_EQ(chain.Current(), 77700000);
}

TEST_F(Positions, CallsAreForwardedUpstreamAndARateOfZeroIsRefused) {
  TrackedChain chain;
  ASSERT_EQ(chain.Connect(), S_OK);
  LONGLONG duration = 0;
  EXPECT_EQ(chain.seeking->GetDuration(&duration), S_OK);
  EXPECT_EQ(duration, 50000000);
  REFTIME seconds = 0;
  EXPECT_EQ(chain.position->get_Duration(&seconds), S_OK);
  EXPECT_EQ(seconds, 5.0);
  EXPECT_EQ(chain.position->get_CurrentPosition(&seconds), S_OK);
  EXPECT_EQ(seconds, 7.77) << "IMediaPosition does not consult the tracker";
  LONG can = 0;
  EXPECT_EQ(chain.position->CanSeekForward(&can), S_OK);
  EXPECT_EQ(can, 1);
  EXPECT_EQ(chain.seeking->SetRate(0.0), E_INVALIDARG);
  EXPECT_EQ(chain.position->put_Rate(0.0), E_INVALIDARG);
  EXPECT_TRUE(chain.seekingSource->seeking.rates.empty());
  EXPECT_EQ(chain.seeking->SetRate(1.0), S_OK);
  EXPECT_EQ(chain.position->put_Rate(2.0), S_OK);
  EXPECT_EQ(chain.seekingSource->seeking.rates, (std::vector<double>{1.0, 2.0}));
  EXPECT_EQ(chain.seeking->GetPreroll(nullptr), E_NOTIMPL);
}

TEST_F(Positions, AnUpstreamPinWithoutSeekingAnswersNotImplemented) {
  RendererChain chain;
  ASSERT_EQ(chain.Connect(), S_OK);
  IMediaPosition* position = nullptr;
  ASSERT_EQ(chain.renderer->QueryInterface(IID_IMediaPosition, reinterpret_cast<void**>(&position)), S_OK);
  REFTIME seconds = 0;
  EXPECT_EQ(position->get_Duration(&seconds), E_NOTIMPL);
  position->Release();
}

TEST_F(Positions, TheDispatchHalfWorksWithoutAnAutomationLibrary) {
  ComRef<RecordingRenderer> renderer(new RecordingRenderer);
  IMediaPosition* position = nullptr;
  ASSERT_EQ(renderer->QueryInterface(IID_IMediaPosition, reinterpret_cast<void**>(&position)), S_OK);
  IDispatch* dispatch = nullptr;
  EXPECT_EQ(position->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), E_NOINTERFACE);
  UINT count = 0;
  EXPECT_EQ(position->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(position->GetTypeInfoCount(nullptr), E_POINTER);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(position->GetTypeInfo(1, 0, &info), TYPE_E_ELEMENTNOTFOUND);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(position->Invoke(1, IID_IMediaPosition, 0, 0, nullptr, nullptr, nullptr, nullptr), DISP_E_UNKNOWNINTERFACE);
  EXPECT_EQ(Z_CNamedObject::AutomationModule.load(), nullptr) << "nothing loaded for a refused call";
  // The platform has no "OleAut32.dll": its error comes back as an HRESULT, each time.
  const HRESULT missing = static_cast<HRESULT>(0x8007007E);
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_EQ(position->GetTypeInfo(0, 0, &info), missing);
    EXPECT_EQ(position->GetIDsOfNames(IID_NULL, nullptr, 0, 0, nullptr), missing);
    EXPECT_EQ(position->Invoke(1, IID_NULL, 0, 0, nullptr, nullptr, nullptr, nullptr), missing);
  }
  position->Release();
}

TEST_F(Positions, TheSeekingPassThroughClassIsMadeByClassId) {
  FilterRef filter(new TestFilter);
  TestInputPin* pin = filter->AddPin<TestInputPin>("In");
  IUnknown* object = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_SeekingPassThru, filter->InnerUnknown(), CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&object)),
            S_OK);
  ISeekingPassThru* passThrough = nullptr;
  ASSERT_EQ(object->QueryInterface(IID_ISeekingPassThru, reinterpret_cast<void**>(&passThrough)), S_OK);
  IMediaSeeking* seeking = nullptr;
  EXPECT_EQ(object->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking)), E_NOINTERFACE);
  EXPECT_EQ(passThrough->Init(FALSE, nullptr), E_POINTER);
  ASSERT_EQ(passThrough->Init(FALSE, pin), S_OK);
  EXPECT_EQ(passThrough->Init(FALSE, pin), E_UNEXPECTED);
  ASSERT_EQ(object->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking)), S_OK);
  LONGLONG duration = 0;
  EXPECT_EQ(seeking->GetDuration(&duration), E_NOTIMPL);
  seeking->Release();
  passThrough->Release();
  object->Release();
  IUnknown* refused = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_SeekingPassThru, filter->InnerUnknown(), CLSCTX_INPROC_SERVER, IID_ISeekingPassThru,
                             reinterpret_cast<void**>(&refused)),
            CLASS_E_NOAGGREGATION);
}

}  // namespace
}  // namespace media_test
