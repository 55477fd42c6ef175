// The filter graph manager: holds filters by name, connects pins directly or through the
// registered filter classes, renders an output pin (the graph's own filters first, then the
// registered ones, recursively), renders a file through a file source, changes the state of every
// filter in the platform's order (renderers first, sources last), hands out the reference clock
// and gathers the filters' events, with completion once every connected renderer has reported.
//
// Threads: the graph's methods take one recursive lock. Events arrive on streaming threads and
// take only the event lock, so a streaming thread that reports never waits for a state change
// that waits for it.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dshow/graph_parts.h"
#include "platform/dshow_position.h"
#include "platform/kernel.h"

namespace platform {
namespace {

// Releases an interface when it goes.
template <typename Interface>
struct Held {
  Interface* pointer = nullptr;
  Held() = default;
  explicit Held(Interface* p) : pointer(p) {}
  Held(const Held& other) : pointer(other.pointer) {
    if (pointer) pointer->AddRef();
  }
  Held& operator=(const Held&) = delete;
  ~Held() {
    if (pointer) pointer->Release();
  }
  Interface* operator->() const { return pointer; }
  explicit operator bool() const { return pointer != nullptr; }
};

std::vector<Held<IPin>> PinsOf(IBaseFilter* filter) {
  std::vector<Held<IPin>> pins;
  IEnumPins* lister = nullptr;
  if (FAILED(filter->EnumPins(&lister)) || !lister) return pins;
  IPin* pin = nullptr;
  ULONG fetched = 0;
  while (lister->Next(1, &pin, &fetched) == S_OK && fetched == 1) pins.emplace_back(pin);
  lister->Release();
  return pins;
}

PIN_DIRECTION DirectionOf(IPin* pin) {
  PIN_DIRECTION direction = PINDIR_INPUT;
  pin->QueryDirection(&direction);
  return direction;
}

bool IsConnected(IPin* pin) {
  IPin* peer = nullptr;
  if (pin->ConnectedTo(&peer) == S_OK && peer) {
    peer->Release();
    return true;
  }
  return false;
}

Held<IBaseFilter> OwnerOf(IPin* pin) {
  PIN_INFO info{};
  if (FAILED(pin->QueryPinInfo(&info))) return Held<IBaseFilter>();
  return Held<IBaseFilter>(info.pFilter);
}

// A renderer has input pins and no output pin.
bool IsRenderer(IBaseFilter* filter, bool mustBeConnected) {
  bool hasInput = false, connected = false;
  for (const Held<IPin>& pin : PinsOf(filter)) {
    if (DirectionOf(pin.pointer) == PINDIR_OUTPUT) return false;
    hasInput = true;
    connected = connected || IsConnected(pin.pointer);
  }
  return hasInput && (connected || !mustBeConnected);
}

class FilterLister final : public ComObject<FilterLister, IEnumFilters> {
 public:
  static constexpr const IID* kInterfaceIds[] = {&IID_IEnumFilters};
  explicit FilterLister(std::vector<Held<IBaseFilter>> filters, size_t at = 0)
      : m_filters(std::move(filters)), m_at(at) {}

  HRESULT Next(ULONG wanted, IBaseFilter** filters, ULONG* fetched) override {
    if (!filters || (wanted > 1 && !fetched)) return E_POINTER;
    ULONG count = 0;
    while (count < wanted && m_at < m_filters.size()) {
      filters[count] = m_filters[m_at++].pointer;
      filters[count++]->AddRef();
    }
    if (fetched) *fetched = count;
    return count == wanted ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    m_at = std::min(m_filters.size(), m_at + count);
    return m_at < m_filters.size() ? S_OK : S_FALSE;
  }
  HRESULT Reset() override {
    m_at = 0;
    return S_OK;
  }
  HRESULT Clone(IEnumFilters** copy) override {
    if (!copy) return E_POINTER;
    *copy = new FilterLister(m_filters, m_at);
    return S_OK;
  }

 private:
  std::vector<Held<IBaseFilter>> m_filters;
  size_t m_at;
};

constexpr int kDeepestRender = 16;

// A deep copy of a media type for later, and its release.
struct HeldType {
  bool present = false;
  AM_MEDIA_TYPE type{};
  explicit HeldType(const AM_MEDIA_TYPE* source) {
    if (!source) return;
    present = true;
    type = *source;
    type.pbFormat = nullptr;
    type.cbFormat = 0;
    if (source->cbFormat && source->pbFormat) {
      type.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat));
      if (type.pbFormat) {
        std::memcpy(type.pbFormat, source->pbFormat, source->cbFormat);
        type.cbFormat = source->cbFormat;
      }
    }
    if (type.pUnk) type.pUnk->AddRef();
  }
  HeldType(const HeldType&) = delete;
  HeldType& operator=(const HeldType&) = delete;
  ~HeldType() {
    if (type.pbFormat) CoTaskMemFree(type.pbFormat);
    if (type.pUnk) type.pUnk->Release();
  }
};

class FilterGraph final : public ComObject<FilterGraph, IFilterGraph2, IMediaControl, IMediaEvent, IMediaEventSink,
                                           IBasicAudio, IMediaFilter, IMediaSeeking> {
 public:
  void* InterfaceFor(REFIID iid) {
    if (iid == IID_IUnknown || iid == IID_IFilterGraph || iid == IID_IGraphBuilder || iid == IID_IFilterGraph2)
      return static_cast<IFilterGraph2*>(this);
    if (iid == IID_IMediaControl) return static_cast<IMediaControl*>(this);
    if (iid == IID_IMediaEvent) return static_cast<IMediaEvent*>(this);
    if (iid == IID_IMediaEventSink) return static_cast<IMediaEventSink*>(this);
    if (iid == IID_IBasicAudio) return static_cast<IBasicAudio*>(this);
    if (iid == IID_IMediaFilter || iid == IID_IPersist) return static_cast<IMediaFilter*>(this);
    if (iid == IID_IMediaSeeking) return static_cast<IMediaSeeking*>(this);
    return nullptr;
  }

  // Stopped, unlinked and out of the graph before their references go.
  void OnFinalRelease() {
    Stop();
    std::vector<Entry> filters;
    {
      std::lock_guard<std::recursive_mutex> lock(m_graphLock);
      filters.swap(m_filters);
    }
    for (Entry& entry : filters)
      for (const Held<IPin>& pin : PinsOf(entry.filter)) pin->Disconnect();
    for (Entry& entry : filters) {
      entry.filter->JoinFilterGraph(nullptr, nullptr);
      entry.filter->Release();
    }
    if (m_clock) m_clock->Release();
  }

  // ---- IFilterGraph ----
  HRESULT AddFilter(IBaseFilter* filter, LPCWSTR name) override {
    if (!filter) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    if (Find(filter)) return E_INVALIDARG;
    std::u16string chosen = name && *name ? std::u16string(name) : std::u16string(u"Filter");
    if (NameTaken(chosen)) {
      for (int suffix = 1;; ++suffix) {
        std::u16string candidate = chosen + u" " + ToWide(suffix);
        if (!NameTaken(candidate)) {
          chosen = candidate;
          break;
        }
      }
    }
    const HRESULT result = filter->JoinFilterGraph(static_cast<IFilterGraph2*>(this), chosen.c_str());
    if (FAILED(result)) return result;
    filter->AddRef();
    m_filters.push_back({filter, chosen});
    if (m_clockChosen || m_clock) filter->SetSyncSource(m_clock);
    return S_OK;
  }

  HRESULT RemoveFilter(IBaseFilter* filter) override {
    if (!filter) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    const auto found = std::find_if(m_filters.begin(), m_filters.end(),
                                    [&](const Entry& e) { return e.filter == filter; });
    if (found == m_filters.end()) return VFW_E_NOT_FOUND;
    for (const Held<IPin>& pin : PinsOf(filter)) {
      IPin* peer = nullptr;
      if (pin->ConnectedTo(&peer) == S_OK && peer) {
        peer->Disconnect();
        peer->Release();
      }
      pin->Disconnect();
    }
    m_filters.erase(found);
    filter->JoinFilterGraph(nullptr, nullptr);
    filter->Release();
    return S_OK;
  }

  HRESULT EnumFilters(IEnumFilters** filters) override {
    if (!filters) return E_POINTER;
    *filters = new FilterLister(Snapshot());
    return S_OK;
  }

  HRESULT FindFilterByName(LPCWSTR name, IBaseFilter** filter) override {
    if (!name || !filter) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    *filter = nullptr;
    for (const Entry& entry : m_filters)
      if (entry.name == name) {
        *filter = entry.filter;
        entry.filter->AddRef();
        return S_OK;
      }
    return VFW_E_NOT_FOUND;
  }

  HRESULT ConnectDirect(IPin* output, IPin* input, const AM_MEDIA_TYPE* type) override {
    if (!output || !input) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    Operation operation(this);
    return output->Connect(input, type);
  }

  HRESULT Reconnect(IPin* pin) override { return ReconnectEx(pin, nullptr); }

  HRESULT Disconnect(IPin* pin) override {
    if (!pin) return E_POINTER;
    return pin->Disconnect();
  }

  HRESULT SetDefaultSyncSource() override {
    IReferenceClock* clock = CreateSystemClock();
    const HRESULT result = SetSyncSource(clock);
    clock->Release();
    return result;
  }

  // ---- IGraphBuilder ----
  HRESULT Connect(IPin* output, IPin* input) override {
    if (!output || !input) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    Operation operation(this);
    return ConnectThrough(output, input, 0);
  }

  HRESULT Render(IPin* output) override {
    if (!output) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    if (DirectionOf(output) != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
    if (IsConnected(output)) return VFW_E_ALREADY_CONNECTED;
    Operation operation(this);
    return RenderPin(output, 0);
  }

  HRESULT RenderFile(LPCWSTR file, LPCWSTR) override {
    if (!file) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    Operation operation(this);
    IBaseFilter* source = nullptr;
    HRESULT result = AddSourceFilter(file, file, &source);
    if (FAILED(result)) return result;
    int outputs = 0, rendered = 0;
    for (const Held<IPin>& pin : PinsOf(source)) {
      if (DirectionOf(pin.pointer) != PINDIR_OUTPUT) continue;
      ++outputs;
      const HRESULT pinResult = RenderPin(pin.pointer, 0);
      if (SUCCEEDED(pinResult)) ++rendered;
      if (pinResult == VFW_S_PARTIAL_RENDER) --rendered, ++outputs;
    }
    if (rendered == 0) {
      RemoveFilter(source);
      result = VFW_E_CANNOT_RENDER;
    } else {
      result = rendered < outputs ? VFW_S_PARTIAL_RENDER : S_OK;
    }
    source->Release();
    return result;
  }

  HRESULT AddSourceFilter(LPCWSTR file, LPCWSTR filterName, IBaseFilter** filter) override {
    if (!file || !filter) return E_POINTER;
    *filter = nullptr;
    IBaseFilter* source = nullptr;
    HRESULT result = CoCreateInstance(CLSID_FileSource, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                      reinterpret_cast<void**>(&source));
    if (FAILED(result)) return result;
    IFileSourceFilter* loader = nullptr;
    result = source->QueryInterface(IID_IFileSourceFilter, reinterpret_cast<void**>(&loader));
    if (SUCCEEDED(result)) {
      result = loader->Load(file, nullptr);
      loader->Release();
    }
    if (SUCCEEDED(result)) result = AddFilter(source, filterName ? filterName : file);
    if (FAILED(result)) {
      source->Release();
      return result;
    }
    *filter = source;
    return S_OK;
  }

  HRESULT SetLogFile(DWORD_PTR) override { return S_OK; }
  HRESULT Abort() override { return S_OK; }
  HRESULT ShouldOperationContinue() override { return S_OK; }

  // ---- IFilterGraph2 ----
  HRESULT AddSourceFilterForMoniker(IMoniker*, IBindCtx*, LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }

  // The graph must be stopped. Asked during a connection (a filter whose new link changes what
  // its other pin carries), it is done once that connection has finished, when no filter holds
  // its lock: done at once it would take the filters' locks in the opposite order.
  HRESULT ReconnectEx(IPin* pin, const AM_MEDIA_TYPE* type) override {
    if (!pin) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    if (m_operationDepth > 0) {
      pin->AddRef();
      m_pendingReconnections.push_back({Held<IPin>(pin), std::make_unique<HeldType>(type)});
      return S_OK;
    }
    return ReconnectNow(pin, type);
  }

  HRESULT ReconnectNow(IPin* pin, const AM_MEDIA_TYPE* type) {
    IPin* peer = nullptr;
    if (pin->ConnectedTo(&peer) != S_OK || !peer) return VFW_E_NOT_CONNECTED;
    Held<IPin> heldPeer(peer);
    IPin* output = DirectionOf(pin) == PINDIR_OUTPUT ? pin : peer;
    IPin* input = output == pin ? peer : pin;
    output->Disconnect();
    input->Disconnect();
    ++m_reconnections;
    return output->Connect(input, type);
  }

  HRESULT RenderEx(IPin* output, DWORD, DWORD*) override { return Render(output); }

  // ---- IMediaControl and IMediaFilter ----
  HRESULT Run() override {
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    if (m_state == State_Running) return S_OK;
    if (m_state == State_Stopped) {
      const HRESULT paused = Pause();
      if (FAILED(paused)) return paused;
    }
    // Resumed, the stream time goes on from where the pause held it; else it starts a little
    // ahead, so the first samples are not late the moment they are stamped.
    REFERENCE_TIME now = 0;
    REFERENCE_TIME start = 0;
    if (m_clock && SUCCEEDED(m_clock->GetTime(&now)))
      start = m_resumable ? m_runStart + (now - m_pausedAt) : now + 100000;
    return Run(start);
  }

  HRESULT Run(REFERENCE_TIME start) override {
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    if (m_state == State_Stopped) {
      const HRESULT paused = Pause();
      if (FAILED(paused)) return paused;
    }
    BeginCompletionWatch();
    m_runStart = start;
    m_resumable = false;
    HRESULT result = S_OK;
    for (const Held<IBaseFilter>& filter : InStateOrder()) {
      const HRESULT filterResult = filter->Run(start);
      if (FAILED(filterResult) && SUCCEEDED(result)) result = filterResult;
    }
    m_state = State_Running;
    return result;
  }

  HRESULT Pause() override {
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    if (!m_clockChosen && !m_clock) {
      m_clock = CreateSystemClock();
      for (const Entry& entry : m_filters) entry.filter->SetSyncSource(m_clock);
    }
    if (m_state == State_Running && m_clock && SUCCEEDED(m_clock->GetTime(&m_pausedAt))) m_resumable = true;
    HRESULT result = S_OK;
    for (const Held<IBaseFilter>& filter : InStateOrder()) {
      const HRESULT filterResult = filter->Pause();
      if (FAILED(filterResult) && SUCCEEDED(result)) result = filterResult;
    }
    m_state = State_Paused;
    return result;
  }

  HRESULT Stop() override {
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    HRESULT result = S_OK;
    for (const Held<IBaseFilter>& filter : InStateOrder()) {
      const HRESULT filterResult = filter->Stop();
      if (FAILED(filterResult) && SUCCEEDED(result)) result = filterResult;
    }
    m_state = State_Stopped;
    m_resumable = false;
    std::lock_guard<std::mutex> events(m_eventMutex);
    m_completion = 0;
    m_watching = false;
    return result;
  }

  HRESULT GetState(LONG, OAFilterState* state) override {
    if (!state) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    *state = m_state;
    return S_OK;
  }

  HRESULT GetState(DWORD, FILTER_STATE* state) override {
    if (!state) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    *state = m_state;
    return S_OK;
  }

  HRESULT RenderFile(LPCWSTR file) override { return RenderFile(file, nullptr); }
  HRESULT StopWhenReady() override { return Stop(); }

  HRESULT GetClassID(CLSID* classId) override {
    if (!classId) return E_POINTER;
    *classId = CLSID_FilterGraph;
    return S_OK;
  }

  // Null runs the graph unclocked: every filter is told so.
  HRESULT SetSyncSource(IReferenceClock* clock) override {
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    if (clock) clock->AddRef();
    if (m_clock) m_clock->Release();
    m_clock = clock;
    m_clockChosen = true;
    m_resumable = false;  // A pause read on another clock says nothing on this one.
    HRESULT result = S_OK;
    for (const Entry& entry : m_filters) {
      const HRESULT filterResult = entry.filter->SetSyncSource(clock);
      if (FAILED(filterResult) && SUCCEEDED(result)) result = filterResult;
    }
    return result;
  }

  HRESULT GetSyncSource(IReferenceClock** clock) override {
    if (!clock) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    *clock = m_clock;
    if (m_clock) m_clock->AddRef();
    return S_OK;
  }

  // ---- IMediaEventSink and IMediaEvent ----
  HRESULT Notify(LONG code, LONG_PTR first, LONG_PTR second) override {
    {
      std::lock_guard<std::mutex> lock(m_eventMutex);
      if (code == EC_COMPLETE) {
        // Completion is the graph's: it comes once every connected renderer has reported. The
        // second value is the reporting filter.
        auto* filter = reinterpret_cast<IBaseFilter*>(second);
        if (m_watching && std::find(m_reported.begin(), m_reported.end(), filter) == m_reported.end() &&
            std::find(m_renderers.begin(), m_renderers.end(), filter) != m_renderers.end())
          m_reported.push_back(filter);
        if (m_watching && m_completion == 0 && m_reported.size() == m_renderers.size()) {
          m_completion = EC_COMPLETE;
          m_events.push_back({EC_COMPLETE, S_OK, 0});
        }
      } else {
        if (code == EC_ERRORABORT && m_completion == 0) m_completion = EC_ERRORABORT;
        m_events.push_back({code, first, second});
      }
    }
    m_eventArrived.notify_all();
    return S_OK;
  }

  HRESULT GetEventHandle(OAEVENT*) override { return E_NOTIMPL; }

  HRESULT GetEvent(LONG* code, LONG_PTR* first, LONG_PTR* second, LONG timeoutMilliseconds) override {
    if (!code || !first || !second) return E_POINTER;
    std::unique_lock<std::mutex> lock(m_eventMutex);
    if (!WaitFor(lock, timeoutMilliseconds, [&] { return !m_events.empty(); })) return E_ABORT;
    const Event event = m_events.front();
    m_events.pop_front();
    *code = event.code;
    *first = event.first;
    *second = event.second;
    return S_OK;
  }

  HRESULT WaitForCompletion(LONG timeoutMilliseconds, LONG* code) override {
    if (!code) return E_POINTER;
    *code = 0;
    std::unique_lock<std::mutex> lock(m_eventMutex);
    if (!WaitFor(lock, timeoutMilliseconds, [&] { return m_completion != 0; })) return E_ABORT;
    *code = m_completion;
    return S_OK;
  }

  HRESULT CancelDefaultHandling(LONG) override { return S_OK; }
  HRESULT RestoreDefaultHandling(LONG) override { return S_OK; }
  HRESULT FreeEventParams(LONG, LONG_PTR, LONG_PTR) override { return S_OK; }

  // ---- IBasicAudio: the first filter that has it answers ----
  HRESULT put_Volume(LONG volume) override {
    return WithAudio([&](IBasicAudio* audio) { return audio->put_Volume(volume); });
  }
  HRESULT get_Volume(LONG* volume) override {
    return WithAudio([&](IBasicAudio* audio) { return audio->get_Volume(volume); });
  }
  HRESULT put_Balance(LONG balance) override {
    return WithAudio([&](IBasicAudio* audio) { return audio->put_Balance(balance); });
  }
  HRESULT get_Balance(LONG* balance) override {
    return WithAudio([&](IBasicAudio* audio) { return audio->get_Balance(balance); });
  }

  // ---- IMediaSeeking: the connected renderers that seek answer; questions go to the first,
  // changes to all ----
  HRESULT GetCapabilities(DWORD* capabilities) override {
    return AskSeeker([&](IMediaSeeking* s) { return s->GetCapabilities(capabilities); });
  }
  HRESULT CheckCapabilities(DWORD* capabilities) override {
    return AskSeeker([&](IMediaSeeking* s) { return s->CheckCapabilities(capabilities); });
  }
  HRESULT IsFormatSupported(const GUID* format) override {
    return AskSeeker([&](IMediaSeeking* s) { return s->IsFormatSupported(format); });
  }
  HRESULT QueryPreferredFormat(GUID* format) override {
    return AskSeeker([&](IMediaSeeking* s) { return s->QueryPreferredFormat(format); });
  }
  HRESULT GetTimeFormat(GUID* format) override {
    return AskSeeker([&](IMediaSeeking* s) { return s->GetTimeFormat(format); });
  }
  HRESULT IsUsingTimeFormat(const GUID* format) override {
    return AskSeeker([&](IMediaSeeking* s) { return s->IsUsingTimeFormat(format); });
  }
  HRESULT SetTimeFormat(const GUID* format) override {
    return TellSeekers([&](IMediaSeeking* s) { return s->SetTimeFormat(format); });
  }
  HRESULT GetDuration(LONGLONG* duration) override {
    return AskSeeker([&](IMediaSeeking* s) { return s->GetDuration(duration); });
  }
  HRESULT GetStopPosition(LONGLONG* stop) override {
    return AskSeeker([&](IMediaSeeking* s) { return s->GetStopPosition(stop); });
  }
  HRESULT GetCurrentPosition(LONGLONG* current) override {
    return AskSeeker([&](IMediaSeeking* s) { return s->GetCurrentPosition(current); });
  }
  HRESULT ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                            const GUID* sourceFormat) override {
    return AskSeeker(
        [&](IMediaSeeking* s) { return s->ConvertTimeFormat(target, targetFormat, source, sourceFormat); });
  }
  // A new current position starts the stream time again, as the sources stamp its samples from 0:
  // a running graph is paused for it and run from a new start time (run on, every sample of the
  // new position would be late), and a paused one is not resumed where it stood.
  HRESULT SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) override {
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    const bool moves = (currentFlags & AM_SEEKING_PositioningBitsMask) != AM_SEEKING_NoPositioning;
    const bool restart = moves && m_state == State_Running;
    if (restart) Pause();
    const HRESULT result =
        TellSeekers([&](IMediaSeeking* s) { return s->SetPositions(current, currentFlags, stop, stopFlags); });
    if (moves) m_resumable = false;
    if (restart) Run();
    return result;
  }
  HRESULT GetPositions(LONGLONG* current, LONGLONG* stop) override {
    return AskSeeker([&](IMediaSeeking* s) { return s->GetPositions(current, stop); });
  }
  HRESULT GetAvailable(LONGLONG* earliest, LONGLONG* latest) override {
    return AskSeeker([&](IMediaSeeking* s) { return s->GetAvailable(earliest, latest); });
  }
  HRESULT SetRate(double rate) override {
    return TellSeekers([&](IMediaSeeking* s) { return s->SetRate(rate); });
  }
  HRESULT GetRate(double* rate) override {
    return AskSeeker([&](IMediaSeeking* s) { return s->GetRate(rate); });
  }
  HRESULT GetPreroll(LONGLONG* preroll) override {
    return AskSeeker([&](IMediaSeeking* s) { return s->GetPreroll(preroll); });
  }

 private:
  std::vector<Held<IMediaSeeking>> Seekers() {
    std::vector<Held<IMediaSeeking>> seekers;
    for (const Held<IBaseFilter>& filter : Snapshot()) {
      IMediaSeeking* seeking = nullptr;
      if (IsRenderer(filter.pointer, true) &&
          SUCCEEDED(filter->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking))) && seeking)
        seekers.emplace_back(seeking);
    }
    return seekers;
  }
  template <typename Call>
  HRESULT AskSeeker(Call call) {
    const std::vector<Held<IMediaSeeking>> seekers = Seekers();
    return seekers.empty() ? E_NOTIMPL : call(seekers.front().pointer);
  }
  template <typename Call>
  HRESULT TellSeekers(Call call) {
    const std::vector<Held<IMediaSeeking>> seekers = Seekers();
    if (seekers.empty()) return E_NOTIMPL;
    HRESULT result = S_OK;
    for (const Held<IMediaSeeking>& seeker : seekers) {
      const HRESULT one = call(seeker.pointer);
      if (FAILED(one) && SUCCEEDED(result)) result = one;
    }
    return result;
  }

  struct Entry {
    IBaseFilter* filter;  // One reference held.
    std::u16string name;
  };
  struct Event {
    LONG code;
    LONG_PTR first;
    LONG_PTR second;
  };

  static std::u16string ToWide(int number) {
    std::u16string text;
    for (char c : std::to_string(number)) text.push_back(static_cast<char16_t>(c));
    return text;
  }
  bool NameTaken(const std::u16string& name) const {
    return std::any_of(m_filters.begin(), m_filters.end(), [&](const Entry& e) { return e.name == name; });
  }
  bool Find(IBaseFilter* filter) const {
    return std::any_of(m_filters.begin(), m_filters.end(), [&](const Entry& e) { return e.filter == filter; });
  }
  std::vector<Held<IBaseFilter>> Snapshot() {
    std::lock_guard<std::recursive_mutex> lock(m_graphLock);
    std::vector<Held<IBaseFilter>> filters;
    for (const Entry& entry : m_filters) {
      entry.filter->AddRef();
      filters.emplace_back(entry.filter);
    }
    return filters;
  }

  // Steps from the filter to the farthest renderer downstream of it.
  int Depth(IBaseFilter* filter, int guard) {
    if (guard > kDeepestRender) return 0;
    int depth = 0;
    for (const Held<IPin>& pin : PinsOf(filter)) {
      if (DirectionOf(pin.pointer) != PINDIR_OUTPUT) continue;
      IPin* peer = nullptr;
      if (pin->ConnectedTo(&peer) != S_OK || !peer) continue;
      Held<IPin> heldPeer(peer);
      Held<IBaseFilter> downstream = OwnerOf(peer);
      if (downstream) depth = std::max(depth, 1 + Depth(downstream.pointer, guard + 1));
    }
    return depth;
  }

  // Renderers first, sources last, so no filter delivers to one that is not ready.
  std::vector<Held<IBaseFilter>> InStateOrder() {
    std::vector<Held<IBaseFilter>> filters = Snapshot();
    std::vector<std::pair<int, size_t>> order;
    for (size_t i = 0; i < filters.size(); ++i) order.push_back({Depth(filters[i].pointer, 0), i});
    std::stable_sort(order.begin(), order.end());
    std::vector<Held<IBaseFilter>> sorted;
    for (const auto& [depth, index] : order) sorted.push_back(filters[index]);
    return sorted;
  }

  void BeginCompletionWatch() {
    std::vector<IBaseFilter*> renderers;
    for (const Held<IBaseFilter>& filter : Snapshot())
      if (IsRenderer(filter.pointer, true)) renderers.push_back(filter.pointer);
    std::lock_guard<std::mutex> lock(m_eventMutex);
    if (m_watching) return;
    m_watching = true;
    m_renderers = renderers;
    m_reported.clear();
    m_completion = 0;
    if (m_renderers.empty()) {
      m_completion = EC_COMPLETE;
      m_events.push_back({EC_COMPLETE, S_OK, 0});
      m_eventArrived.notify_all();
    }
  }

  template <typename Condition>
  bool WaitFor(std::unique_lock<std::mutex>& lock, LONG timeoutMilliseconds, Condition condition) {
    if (timeoutMilliseconds < 0) {
      m_eventArrived.wait(lock, condition);
      return true;
    }
    return m_eventArrived.wait_for(lock, std::chrono::milliseconds(timeoutMilliseconds), condition);
  }

  template <typename Call>
  HRESULT WithAudio(Call call) {
    for (const Held<IBaseFilter>& filter : Snapshot()) {
      IBasicAudio* audio = nullptr;
      if (SUCCEEDED(filter->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&audio))) && audio) {
        const HRESULT result = call(audio);
        audio->Release();
        return result;
      }
    }
    return E_NOTIMPL;
  }

  HRESULT ConnectThrough(IPin* output, IPin* input, int depth) {
    HRESULT result = output->Connect(input, nullptr);
    if (SUCCEEDED(result) || depth >= kDeepestRender) return SUCCEEDED(result) ? S_OK : result;
    for (const GraphFilterClass& candidate : GraphFilterClasses()) {
      Held<IBaseFilter> filter = MakeFilter(candidate);
      if (!filter) continue;
      for (const Held<IPin>& middleIn : PinsOf(filter.pointer)) {
        if (DirectionOf(middleIn.pointer) != PINDIR_INPUT || FAILED(output->Connect(middleIn.pointer, nullptr)))
          continue;
        for (const Held<IPin>& middleOut : PinsOf(filter.pointer)) {
          if (DirectionOf(middleOut.pointer) != PINDIR_OUTPUT || IsConnected(middleOut.pointer)) continue;
          if (SUCCEEDED(ConnectThrough(middleOut.pointer, input, depth + 1))) return S_OK;
        }
        output->Disconnect();
        middleIn->Disconnect();
      }
      RemoveFilter(filter.pointer);
    }
    return VFW_E_CANNOT_CONNECT;
  }

  // A new filter of the class, in the graph, or nothing.
  Held<IBaseFilter> MakeFilter(const GraphFilterClass& candidate) {
    IBaseFilter* filter = nullptr;
    if (FAILED(CoCreateInstance(candidate.classId, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                reinterpret_cast<void**>(&filter))) ||
        !filter)
      return Held<IBaseFilter>();
    Held<IBaseFilter> held(filter);
    if (FAILED(AddFilter(filter, candidate.name))) return Held<IBaseFilter>();
    return held;
  }

  // Connects the output to a free input of a filter and renders that filter's outputs.
  HRESULT TryFilter(IPin* output, IBaseFilter* filter, int depth) {
    for (const Held<IPin>& input : PinsOf(filter)) {
      if (DirectionOf(input.pointer) != PINDIR_INPUT || IsConnected(input.pointer)) continue;
      if (FAILED(output->Connect(input.pointer, nullptr))) continue;
      const HRESULT result = RenderOutputs(filter, depth);
      if (SUCCEEDED(result)) return result;
      output->Disconnect();
      input->Disconnect();
    }
    return VFW_E_CANNOT_RENDER;
  }

  HRESULT RenderPin(IPin* output, int depth) {
    if (depth > kDeepestRender) return VFW_E_CANNOT_RENDER;
    Held<IBaseFilter> owner = OwnerOf(output);
    // The graph's own filters first: that is how a filter added beforehand joins the chain.
    for (const Held<IBaseFilter>& filter : Snapshot()) {
      if (filter.pointer == owner.pointer) continue;
      const HRESULT result = TryFilter(output, filter.pointer, depth);
      if (SUCCEEDED(result)) return result;
    }
    for (const GraphFilterClass& candidate : GraphFilterClasses()) {
      Held<IBaseFilter> filter = MakeFilter(candidate);
      if (!filter) continue;
      const HRESULT result = TryFilter(output, filter.pointer, depth);
      if (SUCCEEDED(result)) return result;
      RemoveFilter(filter.pointer);
    }
    return VFW_E_CANNOT_RENDER;
  }

  // S_OK when every output rendered (or there is none), VFW_S_PARTIAL_RENDER when some did.
  HRESULT RenderOutputs(IBaseFilter* filter, int depth) {
    int outputs = 0, rendered = 0;
    bool partial = false;
    for (const Held<IPin>& pin : PinsOf(filter)) {
      if (DirectionOf(pin.pointer) != PINDIR_OUTPUT || IsConnected(pin.pointer)) continue;
      ++outputs;
      const HRESULT result = RenderPin(pin.pointer, depth + 1);
      if (SUCCEEDED(result)) ++rendered;
      partial = partial || result == VFW_S_PARTIAL_RENDER;
    }
    if (outputs == 0) return S_OK;
    if (rendered == 0) return VFW_E_CANNOT_RENDER;
    return rendered < outputs || partial ? VFW_S_PARTIAL_RENDER : S_OK;
  }

  // Counts the graph's connecting operations in progress; the outermost one, ending, does the
  // reconnections asked for meanwhile.
  class Operation {
   public:
    explicit Operation(FilterGraph* graph) : m_graph(graph) { ++m_graph->m_operationDepth; }
    ~Operation() {
      if (--m_graph->m_operationDepth > 0) return;
      // A reconnection may ask for another (the filter's other pin); a few rounds settle any chain.
      ++m_graph->m_operationDepth;
      for (int round = 0; round < 8 && !m_graph->m_pendingReconnections.empty(); ++round) {
        const Reconnection& next = m_graph->m_pendingReconnections.front();
        m_graph->ReconnectNow(next.pin.pointer, next.type->present ? &next.type->type : nullptr);
        m_graph->m_pendingReconnections.pop_front();
      }
      m_graph->m_pendingReconnections.clear();
      --m_graph->m_operationDepth;
    }

   private:
    FilterGraph* m_graph;
  };
  struct Reconnection {
    Held<IPin> pin;
    std::unique_ptr<HeldType> type;
  };

  std::recursive_mutex m_graphLock;
  int m_operationDepth = 0;
  std::deque<Reconnection> m_pendingReconnections;
  std::vector<Entry> m_filters;
  FILTER_STATE m_state = State_Stopped;
  IReferenceClock* m_clock = nullptr;  // One reference held.
  bool m_clockChosen = false;          // SetSyncSource was called; null then means unclocked.
  int m_reconnections = 0;
  REFERENCE_TIME m_runStart = 0;  // The start time the filters last ran from.
  REFERENCE_TIME m_pausedAt = 0;  // The clock when a running graph was paused.
  bool m_resumable = false;       // Paused from running, with no seek or stop since.

  std::mutex m_eventMutex;
  std::condition_variable m_eventArrived;
  std::deque<Event> m_events;
  bool m_watching = false;
  std::vector<IBaseFilter*> m_renderers;  // Connected renderers when the graph began running.
  std::vector<IBaseFilter*> m_reported;
  LONG m_completion = 0;
};

}  // namespace

HRESULT CreateFilterGraphObject(LPUNKNOWN outer, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* graph = new FilterGraph;
  const HRESULT result = graph->QueryInterface(iid, object);
  graph->Release();
  return result;
}

}  // namespace platform
