// The test door's fake reference clock and fake filter graph: honest reference counts, a time
// that only the test moves, and a record of what the library asked of its graph.
#include <atomic>
#include <mutex>
#include <vector>

#include "platform/testing.h"

namespace platform::testing {
namespace {

class FakeClock final : public FakeReferenceClock {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IReferenceClock) {
      *object = static_cast<IReferenceClock*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return static_cast<ULONG>(++references_); }
  ULONG Release() override {
    const LONG left = --references_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  HRESULT GetTime(REFERENCE_TIME* time) override {
    if (!time) return E_POINTER;
    const HRESULT result = result_.load();
    if (FAILED(result)) return result;
    *time = time_.load();
    return result;
  }
  HRESULT AdviseTime(REFERENCE_TIME, REFERENCE_TIME, HEVENT, DWORD_PTR*) override { return E_NOTIMPL; }
  HRESULT AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, HSEMAPHORE, DWORD_PTR*) override { return E_NOTIMPL; }
  HRESULT Unadvise(DWORD_PTR) override { return E_NOTIMPL; }

  void SetTime(REFERENCE_TIME time) override { time_ = time; }
  void SetGetTimeResult(HRESULT result) override { result_ = result; }

 private:
  std::atomic<LONG> references_{1};
  std::atomic<REFERENCE_TIME> time_{0};
  std::atomic<HRESULT> result_{S_OK};
};

class FakeGraph final : public FakeFilterGraph {
 public:
  explicit FakeGraph(const FakeGraphOptions& options) : options_(options), sink_(*this) {}

  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IFilterGraph || iid == IID_IGraphBuilder ||
        (iid == IID_IFilterGraph2 && options_.answersFilterGraph2))
      *object = static_cast<IFilterGraph2*>(this);
    else if (iid == IID_IMediaEventSink && options_.answersEventSink)
      *object = static_cast<IMediaEventSink*>(&sink_);
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return static_cast<ULONG>(++references_); }
  ULONG Release() override {
    const LONG left = --references_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  HRESULT AddFilter(IBaseFilter*, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT RemoveFilter(IBaseFilter*) override { return E_NOTIMPL; }
  HRESULT EnumFilters(IEnumFilters**) override { return E_NOTIMPL; }
  HRESULT FindFilterByName(LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
  HRESULT ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  HRESULT Reconnect(IPin* pin) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++reconnects_;
    lastPin_ = pin;
    return options_.reconnectResult;
  }
  HRESULT Disconnect(IPin*) override { return E_NOTIMPL; }
  HRESULT SetDefaultSyncSource() override { return E_NOTIMPL; }
  HRESULT Connect(IPin*, IPin*) override { return E_NOTIMPL; }
  HRESULT Render(IPin*) override { return E_NOTIMPL; }
  HRESULT RenderFile(LPCWSTR, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT AddSourceFilter(LPCWSTR, LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
  HRESULT SetLogFile(DWORD_PTR) override { return E_NOTIMPL; }
  HRESULT Abort() override { return E_NOTIMPL; }
  HRESULT ShouldOperationContinue() override { return E_NOTIMPL; }
  HRESULT AddSourceFilterForMoniker(IMoniker*, IBindCtx*, LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
  HRESULT ReconnectEx(IPin* pin, const AM_MEDIA_TYPE*) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++reconnectExes_;
    lastPin_ = pin;
    return options_.reconnectResult;
  }
  HRESULT RenderEx(IPin*, DWORD, DWORD*) override { return E_NOTIMPL; }

  std::vector<RecordedGraphEvent> Events() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  int ReconnectCalls() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return reconnects_;
  }
  int ReconnectExCalls() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return reconnectExes_;
  }
  IPin* LastReconnectedPin() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastPin_;
  }

 private:
  // The graph's event sink: the same object under another interface.
  class Sink final : public IMediaEventSink {
   public:
    explicit Sink(FakeGraph& graph) : graph_(graph) {}
    HRESULT QueryInterface(REFIID iid, void** object) override { return graph_.QueryInterface(iid, object); }
    ULONG AddRef() override { return graph_.AddRef(); }
    ULONG Release() override { return graph_.Release(); }
    HRESULT Notify(LONG code, LONG_PTR first, LONG_PTR second) override {
      std::lock_guard<std::mutex> lock(graph_.mutex_);
      graph_.events_.push_back({code, first, second});
      return graph_.options_.notifyResult;
    }

   private:
    FakeGraph& graph_;
  };

  const FakeGraphOptions options_;
  Sink sink_;
  std::atomic<LONG> references_{1};
  std::mutex mutex_;
  std::vector<RecordedGraphEvent> events_;
  int reconnects_ = 0;
  int reconnectExes_ = 0;
  IPin* lastPin_ = nullptr;
};

}  // namespace

FakeReferenceClock* CreateFakeReferenceClock() { return new FakeClock; }

FakeFilterGraph* CreateFakeFilterGraph(const FakeGraphOptions& options) { return new FakeGraph(options); }

}  // namespace platform::testing
