// Position pass-through, the renderer's position tracker and the seeking pass-through class.
#include "media/filters/position_pass_through.h"

#include <new>

// ---- Z_CPosPassThru ----

Z_CPosPassThru::Z_CPosPassThru(const char* name, IUnknown* outer, HRESULT* result, IPin* pin)
    : Z_CPositionDispatch(name, outer), m_pin(pin) {
  if (!pin && result) *result = E_POINTER;
}

Z_CPosPassThru::~Z_CPosPassThru() = default;

HRESULT Z_CPosPassThru::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IMediaSeeking) return HandOutInterface(static_cast<IMediaSeeking*>(this), out);
  return Z_CPositionDispatch::InnerQueryInterface(iid, out);
}

namespace {

template <typename Interface>
HRESULT UpstreamInterface(IPin* pin, REFIID iid, Interface** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!pin) return E_NOTIMPL;
  IPin* connected = nullptr;
  if (FAILED(pin->ConnectedTo(&connected)) || !connected) return E_NOTIMPL;
  const HRESULT result = connected->QueryInterface(iid, reinterpret_cast<void**>(out));
  connected->Release();
  if (FAILED(result) || !*out) {
    *out = nullptr;
    return E_NOTIMPL;
  }
  return S_OK;
}

}  // namespace

HRESULT Z_CPosPassThru::GetUpstreamSeeking(IMediaSeeking** out) {
  return UpstreamInterface(m_pin, IID_IMediaSeeking, out);
}

HRESULT Z_CPosPassThru::GetUpstreamPosition(IMediaPosition** out) {
  return UpstreamInterface(m_pin, IID_IMediaPosition, out);
}

HRESULT Z_CPosPassThru::GetSampleMediaTime(LONGLONG*, LONGLONG*) { return E_FAIL; }

template <typename Call>
HRESULT Z_CPosPassThru::ForwardSeeking(Call call) {
  IMediaSeeking* upstream = nullptr;
  HRESULT result = GetUpstreamSeeking(&upstream);
  if (FAILED(result)) return result;
  result = call(upstream);
  upstream->Release();
  return result;
}

template <typename Call>
HRESULT Z_CPosPassThru::ForwardPosition(Call call) {
  IMediaPosition* upstream = nullptr;
  HRESULT result = GetUpstreamPosition(&upstream);
  if (FAILED(result)) return result;
  result = call(upstream);
  upstream->Release();
  return result;
}

HRESULT Z_CPosPassThru::GetCapabilities(DWORD* capabilities) {
  return ForwardSeeking([&](IMediaSeeking* s) { return s->GetCapabilities(capabilities); });
}
HRESULT Z_CPosPassThru::CheckCapabilities(DWORD* capabilities) {
  return ForwardSeeking([&](IMediaSeeking* s) { return s->CheckCapabilities(capabilities); });
}
HRESULT Z_CPosPassThru::IsFormatSupported(const GUID* format) {
  return ForwardSeeking([&](IMediaSeeking* s) { return s->IsFormatSupported(format); });
}
HRESULT Z_CPosPassThru::QueryPreferredFormat(GUID* format) {
  return ForwardSeeking([&](IMediaSeeking* s) { return s->QueryPreferredFormat(format); });
}
HRESULT Z_CPosPassThru::GetTimeFormat(GUID* format) {
  return ForwardSeeking([&](IMediaSeeking* s) { return s->GetTimeFormat(format); });
}
HRESULT Z_CPosPassThru::IsUsingTimeFormat(const GUID* format) {
  return ForwardSeeking([&](IMediaSeeking* s) { return s->IsUsingTimeFormat(format); });
}
HRESULT Z_CPosPassThru::SetTimeFormat(const GUID* format) {
  return ForwardSeeking([&](IMediaSeeking* s) { return s->SetTimeFormat(format); });
}
HRESULT Z_CPosPassThru::GetDuration(LONGLONG* duration) {
  return ForwardSeeking([&](IMediaSeeking* s) { return s->GetDuration(duration); });
}
HRESULT Z_CPosPassThru::GetStopPosition(LONGLONG* stop) {
  return ForwardSeeking([&](IMediaSeeking* s) { return s->GetStopPosition(stop); });
}
HRESULT Z_CPosPassThru::GetCurrentPosition(LONGLONG* current) {
  if (SUCCEEDED(GetSampleMediaTime(current, nullptr))) return S_OK;
  return ForwardSeeking([&](IMediaSeeking* s) { return s->GetCurrentPosition(current); });
}
HRESULT Z_CPosPassThru::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                          const GUID* sourceFormat) {
  return ForwardSeeking(
      [&](IMediaSeeking* s) { return s->ConvertTimeFormat(target, targetFormat, source, sourceFormat); });
}
HRESULT Z_CPosPassThru::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) {
  return ForwardSeeking([&](IMediaSeeking* s) { return s->SetPositions(current, currentFlags, stop, stopFlags); });
}
HRESULT Z_CPosPassThru::GetPositions(LONGLONG* current, LONGLONG* stop) {
  return ForwardSeeking([&](IMediaSeeking* s) { return s->GetPositions(current, stop); });
}
HRESULT Z_CPosPassThru::GetAvailable(LONGLONG* earliest, LONGLONG* latest) {
  return ForwardSeeking([&](IMediaSeeking* s) { return s->GetAvailable(earliest, latest); });
}
HRESULT Z_CPosPassThru::SetRate(double rate) {
  if (rate == 0.0) return E_INVALIDARG;
  return ForwardSeeking([&](IMediaSeeking* s) { return s->SetRate(rate); });
}
HRESULT Z_CPosPassThru::GetRate(double* rate) {
  return ForwardSeeking([&](IMediaSeeking* s) { return s->GetRate(rate); });
}
HRESULT Z_CPosPassThru::GetPreroll(LONGLONG* preroll) {
  return ForwardSeeking([&](IMediaSeeking* s) { return s->GetPreroll(preroll); });
}

HRESULT Z_CPosPassThru::get_Duration(REFTIME* length) {
  return ForwardPosition([&](IMediaPosition* p) { return p->get_Duration(length); });
}
HRESULT Z_CPosPassThru::put_CurrentPosition(REFTIME time) {
  return ForwardPosition([&](IMediaPosition* p) { return p->put_CurrentPosition(time); });
}
HRESULT Z_CPosPassThru::get_CurrentPosition(REFTIME* time) {
  return ForwardPosition([&](IMediaPosition* p) { return p->get_CurrentPosition(time); });
}
HRESULT Z_CPosPassThru::get_StopTime(REFTIME* time) {
  return ForwardPosition([&](IMediaPosition* p) { return p->get_StopTime(time); });
}
HRESULT Z_CPosPassThru::put_StopTime(REFTIME time) {
  return ForwardPosition([&](IMediaPosition* p) { return p->put_StopTime(time); });
}
HRESULT Z_CPosPassThru::get_PrerollTime(REFTIME* time) {
  return ForwardPosition([&](IMediaPosition* p) { return p->get_PrerollTime(time); });
}
HRESULT Z_CPosPassThru::put_PrerollTime(REFTIME time) {
  return ForwardPosition([&](IMediaPosition* p) { return p->put_PrerollTime(time); });
}
HRESULT Z_CPosPassThru::put_Rate(double rate) {
  if (rate == 0.0) return E_INVALIDARG;
  return ForwardPosition([&](IMediaPosition* p) { return p->put_Rate(rate); });
}
HRESULT Z_CPosPassThru::get_Rate(double* rate) {
  return ForwardPosition([&](IMediaPosition* p) { return p->get_Rate(rate); });
}
HRESULT Z_CPosPassThru::CanSeekForward(LONG* canSeek) {
  return ForwardPosition([&](IMediaPosition* p) { return p->CanSeekForward(canSeek); });
}
HRESULT Z_CPosPassThru::CanSeekBackward(LONG* canSeek) {
  return ForwardPosition([&](IMediaPosition* p) { return p->CanSeekBackward(canSeek); });
}

// ---- Z_CRenderPosTracker ----

Z_CRenderPosTracker::Z_CRenderPosTracker(const char* name, IUnknown* outer, HRESULT* result, IPin* pin)
    : Z_CPosPassThru(name, outer, result, pin) {}

Z_CRenderPosTracker::~Z_CRenderPosTracker() = default;

HRESULT Z_CRenderPosTracker::RecordSampleTimes(IMediaSample* sample) {
  Z_CScopedLock lock(&m_lock);
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  const HRESULT result = sample->GetTime(&start, &stop);
  if (FAILED(result)) return result;
  m_sampleStart = start;
  m_sampleStop = stop;
  m_reset = false;
  return S_OK;
}

HRESULT Z_CRenderPosTracker::ResetSampleTimes() {
  Z_CScopedLock lock(&m_lock);
  m_sampleStart = 0;
  m_sampleStop = 0;
  m_reset = true;
  return S_OK;
}

HRESULT Z_CRenderPosTracker::EndOfStreamReached() {
  if (m_reset) return E_FAIL;
  LONGLONG stop = 0;
  const HRESULT result = GetStopPosition(&stop);
  if (FAILED(result)) return result;
  Z_CScopedLock lock(&m_lock);
  m_sampleStart = stop;
  m_sampleStop = stop;
  return result;
}

HRESULT Z_CRenderPosTracker::GetSampleMediaTime(LONGLONG* start, LONGLONG* stop) {
  Z_CScopedLock lock(&m_lock);
  if (m_reset) return E_FAIL;
  HRESULT result = ConvertTimeFormat(start, nullptr, m_sampleStart, &TIME_FORMAT_MEDIA_TIME);
  if (stop && SUCCEEDED(result)) result = ConvertTimeFormat(stop, nullptr, m_sampleStop, &TIME_FORMAT_MEDIA_TIME);
  return result;
}

// ---- Z_CSeekingPassThru ----

Z_CSeekingPassThru::Z_CSeekingPassThru(IUnknown* outer) : Z_CInnerUnknown("Seeking pass-through", outer) {}

Z_CSeekingPassThru::~Z_CSeekingPassThru() {
  if (m_passThrough) m_passThrough->InnerUnknown()->Release();
}

HRESULT Z_CSeekingPassThru::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer && iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
  auto* object = new (std::nothrow) Z_CSeekingPassThru(outer);
  if (!object) return E_OUTOFMEMORY;
  const HRESULT result = object->InnerQueryInterface(iid, out);
  if (FAILED(result)) delete object;
  return result;
}

HRESULT Z_CSeekingPassThru::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_ISeekingPassThru) return HandOutInterface(static_cast<ISeekingPassThru*>(this), out);
  if ((iid == IID_IMediaSeeking || iid == IID_IMediaPosition) && m_passThrough)
    return m_passThrough->InnerUnknown()->QueryInterface(iid, out);
  return Z_CInnerUnknown::InnerQueryInterface(iid, out);
}

HRESULT Z_CSeekingPassThru::Init(BOOL supportRendering, IPin* pin) {
  if (!pin) return E_POINTER;
  if (m_passThrough) return E_UNEXPECTED;
  HRESULT result = S_OK;
  Z_CPosPassThru* passThrough = supportRendering
                                    ? new (std::nothrow)
                                          Z_CRenderPosTracker("Renderer Z_CPosPassThru", OuterUnknown(), &result, pin)
                                    : new (std::nothrow) Z_CPosPassThru("Z_CPosPassThru", OuterUnknown(), &result, pin);
  if (!passThrough) return E_OUTOFMEMORY;
  if (FAILED(result)) {
    delete passThrough;
    return result;
  }
  passThrough->InnerUnknown()->AddRef();
  m_passThrough = passThrough;
  return S_OK;
}
