// Filters for the graph-manager tests: a push source that delivers numbered samples on its own
// thread once run, a pass-through that counts what goes by (and asks the graph to reconnect its
// output when its input connects again), and a counting renderer offered to the graph as a class.
// Each records the order in which the graph changed its state.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/filters/graph_renderers.h"
#include "media_test_support.h"

namespace media_test {

// Filters append their name here when the graph runs them.
struct StateLog {
  std::mutex mutex;
  std::vector<std::string> runs;
  void Add(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex);
    runs.push_back(name);
  }
};

class PushSourcePin final : public Z_CDeliveringPin {
 public:
  PushSourcePin(Z_CFilterCore* filter, Z_CLockSection* lock)
      : Z_CDeliveringPin("Push source pin", filter, lock, nullptr, u"Out") {}
  HRESULT TestType(const AM_MEDIA_TYPE* type) override { return offered.Equals(*type) ? S_OK : S_FALSE; }
  HRESULT ListTypeAt(int index, Z_CMediaTypeHolder* type) override {
    if (index != 0) return VFW_S_NO_MORE_ITEMS;
    return type->Assign(offered);
  }
  HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES*) override {
    ALLOCATOR_PROPERTIES wanted{2, 64, 1, 0}, actual{};
    return allocator->SetProperties(&wanted, &actual);
  }
  Z_CMediaTypeHolder offered = MakeType(kMajorAudio, kSubPcm, kFormatWave, {1, 2, 3});
};

// Delivers `count` samples of 64 bytes (byte 0 = the sample's number), then the end of the stream.
class PushSource final : public Z_CFilterCore {
 public:
  PushSource(StateLog* log, int count)
      : Z_CFilterCore("Push source", nullptr, &m_filterLock, kTestFilterClass), m_log(log), m_count(count) {
    AddRef();
  }
  ~PushSource() override { Join(); }
  int CountPins() override { return 1; }
  Z_CPinCore* PinAt(int index) override { return index == 0 ? &pin : nullptr; }
  HRESULT Run(REFERENCE_TIME start) override {
    const HRESULT result = Z_CFilterCore::Run(start);
    m_log->Add("source");
    if (!m_thread.joinable() && pin.IsConnected()) {
      m_stopping = false;
      m_thread = std::thread([this] { Deliver(); });
    }
    return result;
  }
  HRESULT Stop() override {
    m_stopping = true;
    const HRESULT result = Z_CFilterCore::Stop();  // Decommitting frees a thread waiting for a buffer.
    Join();
    return result;
  }

  PushSourcePin pin{this, &m_filterLock};
  std::atomic<int> delivered{0};

 private:
  void Join() {
    if (m_thread.joinable()) m_thread.join();
  }
  void Deliver() {
    for (int i = 0; i < m_count && !m_stopping; ++i) {
      IMediaSample* sample = nullptr;
      if (FAILED(pin.TakeDeliveryBuffer(&sample, nullptr, nullptr, 0))) return;
      BYTE* data = nullptr;
      sample->GetPointer(&data);
      data[0] = static_cast<BYTE>(i);
      sample->SetActualDataLength(64);
      REFERENCE_TIME start = i * 10000, end = (i + 1) * 10000;
      sample->SetTime(&start, &end);
      const HRESULT result = pin.SendSample(sample);
      sample->Release();
      if (result != S_OK) return;
      ++delivered;
    }
    if (!m_stopping) pin.PassEndOfStream();
  }

  Z_CLockSection m_filterLock;
  StateLog* m_log;
  int m_count;
  std::atomic<bool> m_stopping{false};
  std::thread m_thread;
};

class CountingFilter;

class CountingInput final : public Z_CReceivingPin {
 public:
  CountingInput(CountingFilter* filter, Z_CLockSection* lock);
  HRESULT TestType(const AM_MEDIA_TYPE* type) override { return type->majortype == kMajorAudio ? S_OK : S_FALSE; }
  HRESULT OnUnlink() override { return ReleaseAllocator(); }
  HRESULT OnLinked(IPin* peer) override;
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT EndOfStream() override;
  HRESULT BeginFlush() override;
  HRESULT EndFlush() override;

 private:
  CountingFilter* m_owner;
};

class CountingOutput final : public Z_CDeliveringPin {
 public:
  CountingOutput(CountingFilter* filter, Z_CLockSection* lock);
  HRESULT TestType(const AM_MEDIA_TYPE* type) override;
  HRESULT ListTypeAt(int index, Z_CMediaTypeHolder* type) override;
  HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES*) override {
    ALLOCATOR_PROPERTIES wanted{1, 64, 1, 0}, actual{};
    return allocator->SetProperties(&wanted, &actual);
  }

 private:
  CountingFilter* m_owner;
};

class CountingFilter final : public Z_CFilterCore {
 public:
  explicit CountingFilter(StateLog* log)
      : Z_CFilterCore("Counting filter", nullptr, &m_filterLock, kTestFilterClass), m_log(log) {
    AddRef();
  }
  int CountPins() override { return 2; }
  Z_CPinCore* PinAt(int index) override {
    if (index == 0) return &input;
    return index == 1 ? static_cast<Z_CPinCore*>(&output) : nullptr;
  }
  HRESULT Run(REFERENCE_TIME start) override {
    m_log->Add("counter");
    return Z_CFilterCore::Run(start);
  }

  CountingInput input{this, &m_filterLock};
  CountingOutput output{this, &m_filterLock};
  std::atomic<int> seen{0};
  std::atomic<int> ends{0};
  std::vector<int> numbers;  // Written by the streaming thread, read after completion.
  int reconnectResults = 0;
  HRESULT lastReconnect = S_FALSE;

 private:
  Z_CLockSection m_filterLock;
  StateLog* m_log;
};

inline CountingInput::CountingInput(CountingFilter* filter, Z_CLockSection* lock)
    : Z_CReceivingPin("Counting input", filter, lock, nullptr, u"In"), m_owner(filter) {}
inline HRESULT CountingInput::OnLinked(IPin*) {
  // A new input type may change what the output offers: the graph reconnects it.
  if (m_owner->output.IsConnected()) {
    ++m_owner->reconnectResults;
    m_owner->lastReconnect = m_owner->ReconnectPinInGraph(&m_owner->output, nullptr);
  }
  return S_OK;
}
inline HRESULT CountingInput::Receive(IMediaSample* sample) {
  const HRESULT result = Z_CReceivingPin::Receive(sample);
  if (result != S_OK) return result;
  BYTE* data = nullptr;
  sample->GetPointer(&data);
  m_owner->numbers.push_back(data[0]);
  ++m_owner->seen;
  return m_owner->output.IsConnected() ? m_owner->output.SendSample(sample) : S_OK;
}
inline HRESULT CountingInput::EndOfStream() {
  ++m_owner->ends;
  return m_owner->output.PassEndOfStream();
}
inline HRESULT CountingInput::BeginFlush() {
  StartFlush();
  return m_owner->output.IsConnected() ? m_owner->output.PassBeginFlush() : S_OK;
}
inline HRESULT CountingInput::EndFlush() {
  StopFlush();
  return m_owner->output.IsConnected() ? m_owner->output.PassEndFlush() : S_OK;
}

inline CountingOutput::CountingOutput(CountingFilter* filter, Z_CLockSection* lock)
    : Z_CDeliveringPin("Counting output", filter, lock, nullptr, u"Out"), m_owner(filter) {}
inline HRESULT CountingOutput::TestType(const AM_MEDIA_TYPE* type) {
  if (!m_owner->input.IsConnected()) return S_FALSE;
  return m_owner->input.CurrentMediaType().Equals(*type) ? S_OK : S_FALSE;
}
inline HRESULT CountingOutput::ListTypeAt(int index, Z_CMediaTypeHolder* type) {
  if (index != 0 || !m_owner->input.IsConnected()) return VFW_S_NO_MORE_ITEMS;
  return type->Assign(m_owner->input.CurrentMediaType());
}

// A renderer of kMajorAudio that counts its samples, offered to the graph by class id.
class CountingRenderer final : public Z_CGraphRenderer {
 public:
  CountingRenderer() : Z_CGraphRenderer("Counting renderer", kTestFilterClass) {}
  HRESULT TestType(const AM_MEDIA_TYPE* type) override { return type->majortype == kMajorAudio ? S_OK : S_FALSE; }
  HRESULT RenderSample(IMediaSample*) override {
    ++rendered;
    return S_OK;
  }
  static std::atomic<int> rendered;
  static std::atomic<int> made;
  static HRESULT CreateInstance(IUnknown*, REFIID iid, void** out) {
    auto* renderer = new CountingRenderer;
    ++made;
    const HRESULT result = renderer->InnerQueryInterface(iid, out);
    if (FAILED(result)) delete renderer;
    return result;
  }
};
inline std::atomic<int> CountingRenderer::rendered{0};
inline std::atomic<int> CountingRenderer::made{0};

}  // namespace media_test
