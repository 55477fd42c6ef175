// The filter core: state changes through the pins, graph membership, pin look-up and
// registration with the filter mapper.
#include "media/framework/filter_core.h"

#include <cstring>
#include <new>

#include "media/framework/pin_core.h"
#include "media/framework/pin_lister.h"

namespace {

// The platform's file-not-found code, which registration treats as nothing to undo.
constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002);

}  // namespace

Z_CFilterCore::Z_CFilterCore(const char* name, IUnknown* outer, Z_CLockSection* lock, REFCLSID classId)
    : Z_CInnerUnknown(name, outer), m_classId(classId), m_lock(lock) {}

Z_CFilterCore::Z_CFilterCore(const char* name, IUnknown* outer, Z_CLockSection* lock, REFCLSID classId, HRESULT*)
    : Z_CFilterCore(name, outer, lock, classId) {}

Z_CFilterCore::~Z_CFilterCore() {
  delete[] m_name;
  if (m_clock) m_clock->Release();
}

HRESULT Z_CFilterCore::InnerQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IBaseFilter || iid == IID_IMediaFilter || iid == IID_IPersist)
    return HandOutInterface(static_cast<IBaseFilter*>(this), out);
  if (iid == IID_IAMovieSetup) return HandOutInterface(static_cast<IAMovieSetup*>(this), out);
  return Z_CInnerUnknown::InnerQueryInterface(iid, out);
}

HRESULT Z_CFilterCore::GetClassID(CLSID* classId) {
  if (!classId) return E_POINTER;
  *classId = m_classId;
  return S_OK;
}

HRESULT Z_CFilterCore::Stop() {
  Z_CScopedLock lock(m_lock);
  HRESULT firstFailure = S_OK;
  if (!IsStopped()) {
    const int count = CountPins();
    for (int index = 0; index < count; ++index) {
      Z_CPinCore* pin = PinAt(index);
      if (!pin || !pin->IsConnected()) continue;
      const HRESULT result = pin->OnDeactivate();
      if (FAILED(result) && SUCCEEDED(firstFailure)) firstFailure = result;
    }
  }
  m_state = State_Stopped;
  return firstFailure;
}

HRESULT Z_CFilterCore::Pause() {
  Z_CScopedLock lock(m_lock);
  if (IsStopped()) {
    const int count = CountPins();
    for (int index = 0; index < count; ++index) {
      Z_CPinCore* pin = PinAt(index);
      if (!pin || !pin->IsConnected()) continue;
      const HRESULT result = pin->OnActivate();
      if (FAILED(result)) return result;
    }
  }
  m_state = State_Paused;
  return S_OK;
}

HRESULT Z_CFilterCore::Run(REFERENCE_TIME start) {
  Z_CScopedLock lock(m_lock);
  m_startTime = start;
  if (IsStopped()) {
    const HRESULT result = static_cast<IBaseFilter*>(this)->Pause();
    if (FAILED(result)) return result;
  }
  if (State() != State_Running) {
    const int count = CountPins();
    for (int index = 0; index < count; ++index) {
      Z_CPinCore* pin = PinAt(index);
      if (!pin || !pin->IsConnected()) continue;
      const HRESULT result = pin->OnRunHook(start);
      if (FAILED(result)) return result;
    }
  }
  m_state = State_Running;
  return S_OK;
}

HRESULT Z_CFilterCore::GetState(DWORD, FILTER_STATE* state) {
  if (!state) return E_POINTER;
  *state = State();
  return S_OK;
}

HRESULT Z_CFilterCore::SetSyncSource(IReferenceClock* clock) {
  Z_CScopedLock lock(m_lock);
  if (clock) clock->AddRef();
  if (m_clock) m_clock->Release();
  m_clock = clock;
  return S_OK;
}

HRESULT Z_CFilterCore::GetSyncSource(IReferenceClock** clock) {
  if (!clock) return E_POINTER;
  Z_CScopedLock lock(m_lock);
  *clock = m_clock;
  if (m_clock) m_clock->AddRef();
  return S_OK;
}

HRESULT Z_CFilterCore::EnumPins(IEnumPins** pins) {
  if (!pins) return E_POINTER;
  *pins = new (std::nothrow) Z_CPinLister(this, nullptr);
  return *pins ? S_OK : E_OUTOFMEMORY;
}

HRESULT Z_CFilterCore::FindPin(LPCWSTR id, IPin** pin) {
  if (!pin) return E_POINTER;
  Z_CScopedLock lock(m_lock);
  const int count = CountPins();
  for (int index = 0; index < count; ++index) {
    Z_CPinCore* candidate = PinAt(index);
    if (!candidate) continue;
    if (lstrcmpW(candidate->PinName(), id) == 0)
      return HandOutInterface(static_cast<IPin*>(candidate), reinterpret_cast<void**>(pin));
  }
  *pin = nullptr;
  return VFW_E_NOT_FOUND;
}

HRESULT Z_CFilterCore::QueryFilterInfo(FILTER_INFO* info) {
  if (!info) return E_POINTER;
  if (m_name)
    lstrcpynW(info->achName, m_name, MAX_FILTER_NAME);
  else
    info->achName[0] = 0;
  info->pGraph = m_graph;
  if (m_graph) m_graph->AddRef();
  return S_OK;
}

HRESULT Z_CFilterCore::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  Z_CScopedLock lock(m_lock);
  m_graph = graph;
  m_eventSink = nullptr;
  if (graph) {
    IMediaEventSink* sink = nullptr;
    if (SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink))) && sink) {
      // The graph owns the filter; holding its sink would make a cycle.
      m_eventSink = sink;
      sink->Release();
    }
  }
  delete[] m_name;
  m_name = nullptr;
  if (name) {
    const int length = lstrlenW(name);
    m_name = new (std::nothrow) WCHAR[static_cast<size_t>(length) + 1];
    if (m_name) std::memcpy(m_name, name, (static_cast<size_t>(length) + 1) * sizeof(WCHAR));
  }
  return S_OK;
}

HRESULT Z_CFilterCore::QueryVendorInfo(LPWSTR*) { return E_NOTIMPL; }

HRESULT Z_CFilterCore::Register() {
  const AMOVIESETUP_FILTER* setup = QuerySetupData();
  if (!setup) return S_FALSE;
  CoInitialize(nullptr);
  IFilterMapper* mapper = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper,
                                 reinterpret_cast<void**>(&mapper)))) {
    RegisterWithMapper(setup, mapper, true);
    mapper->Release();
  }
  CoFreeUnusedLibraries();
  CoUninitialize();
  return S_OK;
}

HRESULT Z_CFilterCore::Unregister() {
  const AMOVIESETUP_FILTER* setup = QuerySetupData();
  if (!setup) return S_FALSE;
  CoInitialize(nullptr);
  IFilterMapper* mapper = nullptr;
  HRESULT result = CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper,
                                    reinterpret_cast<void**>(&mapper));
  if (SUCCEEDED(result)) {
    result = RegisterWithMapper(setup, mapper, false);
    mapper->Release();
  }
  CoFreeUnusedLibraries();
  CoUninitialize();
  return result == kFileNotFound ? S_OK : result;
}

HRESULT Z_CFilterCore::QueryStreamTime(REFERENCE_TIME* time) {
  if (!m_clock) return VFW_E_NO_CLOCK;
  REFERENCE_TIME now = 0;
  const HRESULT result = m_clock->GetTime(&now);
  if (FAILED(result)) return result;
  *time = now - m_startTime;
  return S_OK;
}

LONG Z_CFilterCore::GetPinRevision() { return m_pinRevision; }

const AMOVIESETUP_FILTER* Z_CFilterCore::QuerySetupData() { return nullptr; }

HRESULT Z_CFilterCore::NotifyGraphEvent(LONG code, LONG_PTR first, LONG_PTR second) {
  if (!m_eventSink) return E_NOTIMPL;
  if (code == EC_COMPLETE) second = reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this));
  return m_eventSink->Notify(code, first, second);
}

HRESULT Z_CFilterCore::ReconnectPinInGraph(IPin* pin, const AM_MEDIA_TYPE* type) {
  if (!m_graph) return E_NOINTERFACE;
  IFilterGraph2* graph2 = nullptr;
  if (SUCCEEDED(m_graph->QueryInterface(IID_IFilterGraph2, reinterpret_cast<void**>(&graph2))) && graph2) {
    const HRESULT result = graph2->ReconnectEx(pin, type);
    graph2->Release();
    return result;
  }
  return m_graph->Reconnect(pin);
}

HRESULT Z_CFilterCore::RegisterWithMapper(const AMOVIESETUP_FILTER* setup, IFilterMapper* mapper, bool registering) {
  if (!setup) return S_FALSE;
  HRESULT result = mapper->UnregisterFilter(*setup->clsID);
  if (registering) {
    result = mapper->RegisterFilter(*setup->clsID, setup->strName, setup->dwMerit);
    for (UINT pinIndex = 0; SUCCEEDED(result) && pinIndex < setup->nPins; ++pinIndex) {
      const REGFILTERPINS& pin = setup->lpPin[pinIndex];
      result = mapper->RegisterPin(*setup->clsID, pin.strName, pin.bRendered, pin.bOutput, pin.bZero, pin.bMany,
                                   pin.clsConnectsToFilter ? *pin.clsConnectsToFilter : GUID_NULL,
                                   pin.strConnectsToPin);
      for (UINT typeIndex = 0; SUCCEEDED(result) && typeIndex < pin.nMediaTypes; ++typeIndex) {
        const REGPINTYPES& type = pin.lpMediaType[typeIndex];
        result = mapper->RegisterPinType(*setup->clsID, pin.strName, *type.clsMajorType, *type.clsMinorType);
      }
    }
  }
  return result == kFileNotFound ? S_OK : result;
}
