// Shared fixtures of the media framework tests: media types made in code, in-test pins and a
// filter that owns them, a plain sample without the properties interface, and a reference holder.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "media/framework/delivering_pin.h"
#include "media/framework/filter_core.h"
#include "media/framework/media_type.h"
#include "media/framework/named_object.h"
#include "media/framework/receiving_pin.h"
#include "platform/testing.h"

namespace media_test {

// Test-only type ids.
inline constexpr GUID kMajorAudio = {0x1A2B3C01, 0x0001, 0x0001, {1, 1, 1, 1, 1, 1, 1, 1}};
inline constexpr GUID kMajorVideo = {0x1A2B3C02, 0x0002, 0x0002, {2, 2, 2, 2, 2, 2, 2, 2}};
inline constexpr GUID kSubPcm = {0x1A2B3C03, 0x0003, 0x0003, {3, 3, 3, 3, 3, 3, 3, 3}};
inline constexpr GUID kSubFloat = {0x1A2B3C04, 0x0004, 0x0004, {4, 4, 4, 4, 4, 4, 4, 4}};
inline constexpr GUID kFormatWave = {0x1A2B3C05, 0x0005, 0x0005, {5, 5, 5, 5, 5, 5, 5, 5}};
inline constexpr CLSID kTestFilterClass = {0x1A2B3C06, 0x0006, 0x0006, {6, 6, 6, 6, 6, 6, 6, 6}};

inline Z_CMediaTypeHolder MakeType(const GUID& major, const GUID& sub, const GUID& format,
                                   std::initializer_list<BYTE> block = {}) {
  Z_CMediaTypeHolder type;
  type.majortype = major;
  type.subtype = sub;
  type.formattype = format;
  if (block.size()) {
    type.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(block.size()));
    std::memcpy(type.pbFormat, block.begin(), block.size());
    type.cbFormat = static_cast<ULONG>(block.size());
  }
  return type;
}

inline std::u16string Wide(const char* text) {
  std::u16string wide;
  while (*text) wide.push_back(static_cast<char16_t>(*text++));
  return wide;
}

// Releases the object when it goes.
struct ComReleaser {
  template <typename Object>
  void operator()(Object* object) const {
    if (object) object->Release();
  }
};
template <typename Interface>
using ComRef = std::unique_ptr<Interface, ComReleaser>;

// What a pin of the tests was asked, in order.
struct PinCalls {
  int activations = 0;
  int deactivations = 0;
  int runHooks = 0;
  REFERENCE_TIME lastRunStart = -1;
  int unlinks = 0;
  int links = 0;
  int endOfStreams = 0;
  int flushesBegun = 0;
  int flushesEnded = 0;
};

// Which types a pin takes: every type in `accepted` (by Equals), answering `refusal` for others.
struct TypeRule {
  std::vector<Z_CMediaTypeHolder> accepted;
  bool acceptsAll = false;
  HRESULT refusal = S_FALSE;
  HRESULT Test(const AM_MEDIA_TYPE* type) const {
    if (!type) return E_POINTER;
    if (acceptsAll) return S_OK;
    for (const Z_CMediaTypeHolder& candidate : accepted)
      if (candidate.Equals(*type)) return S_OK;
    return refusal;
  }
};

// A pin of the pin core itself, for the filter's state changes and the type agreement.
class ScriptedPin : public Z_CPinCore {
 public:
  ScriptedPin(Z_CFilterCore* filter, Z_CLockSection* lock, const char* name, PIN_DIRECTION direction)
      : Z_CPinCore("Scripted pin", filter, lock, nullptr, Wide(name).c_str(), direction) {}

  HRESULT OnActivate() override {
    ++calls.activations;
    return activateResult;
  }
  HRESULT OnDeactivate() override {
    ++calls.deactivations;
    Z_CPinCore::OnDeactivate();
    return deactivateResult;
  }
  HRESULT OnRunHook(REFERENCE_TIME start) override {
    ++calls.runHooks;
    calls.lastRunStart = start;
    return runHookResult;
  }
  HRESULT TestType(const AM_MEDIA_TYPE* type) override {
    testedTypes.emplace_back(*type);
    return rule.Test(type);
  }
  HRESULT OnUnlink() override {
    ++calls.unlinks;
    return unlinkResult;
  }
  HRESULT OnLinked(IPin*) override {
    ++calls.links;
    return linkResult;
  }
  HRESULT ListTypeAt(int index, Z_CMediaTypeHolder* type) override {
    listedIndexes.push_back(index);
    if (index < 0 || index >= static_cast<int>(offered.size())) return VFW_S_NO_MORE_ITEMS;
    return type->Assign(offered[static_cast<size_t>(index)]);
  }
  LONG GetTypeRevision() override { return typeRevision; }
  HRESULT EndOfStream() override { return S_OK; }
  HRESULT BeginFlush() override { return S_OK; }
  HRESULT EndFlush() override { return S_OK; }
  HRESULT Notify(IBaseFilter*, Quality) override { return S_OK; }

  // Puts the pin into the connected state without an agreement.
  void ForceConnected(IPin* peer) {
    m_connected = peer;
    peer->AddRef();
  }

  PinCalls calls;
  TypeRule rule;
  std::vector<Z_CMediaTypeHolder> offered;
  std::vector<Z_CMediaTypeHolder> testedTypes;
  std::vector<int> listedIndexes;
  HRESULT activateResult = S_OK;
  HRESULT deactivateResult = S_OK;
  HRESULT runHookResult = S_OK;
  HRESULT unlinkResult = S_OK;
  HRESULT linkResult = S_OK;
  LONG typeRevision = 1;
};

// An input pin over the receiving pin.
class TestInputPin : public Z_CReceivingPin {
 public:
  TestInputPin(Z_CFilterCore* filter, Z_CLockSection* lock, const char* name)
      : Z_CReceivingPin("Test input pin", filter, lock, nullptr, Wide(name).c_str()) {}

  HRESULT TestType(const AM_MEDIA_TYPE* type) override { return rule.Test(type); }
  HRESULT ListTypeAt(int index, Z_CMediaTypeHolder* type) override {
    if (index < 0 || index >= static_cast<int>(offered.size())) return VFW_S_NO_MORE_ITEMS;
    return type->Assign(offered[static_cast<size_t>(index)]);
  }
  HRESULT OnUnlink() override {
    ++calls.unlinks;
    return ReleaseAllocator();
  }
  HRESULT EndOfStream() override {
    ++calls.endOfStreams;
    return S_OK;
  }
  HRESULT BeginFlush() override {
    ++calls.flushesBegun;
    return StartFlush();
  }
  HRESULT EndFlush() override {
    ++calls.flushesEnded;
    return StopFlush();
  }
  HRESULT Receive(IMediaSample* sample) override {
    const HRESULT result = Z_CReceivingPin::Receive(sample);
    if (result == S_OK) ++received;
    if (refuseAfter >= 0 && received > refuseAfter) return VFW_E_SAMPLE_REJECTED;
    return result;
  }
  HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override {
    if (!properties) return E_POINTER;
    *properties = requirements;
    return requirementsResult;
  }
  HRESULT ReceiveCanBlock() override {
    return canBlockAnswer == S_OK ? Z_CReceivingPin::ReceiveCanBlock() : canBlockAnswer;
  }

  PinCalls calls;
  TypeRule rule;
  std::vector<Z_CMediaTypeHolder> offered;
  int received = 0;
  int refuseAfter = -1;  // Samples past this many are refused with VFW_E_SAMPLE_REJECTED.
  ALLOCATOR_PROPERTIES requirements{};
  HRESULT requirementsResult = E_NOTIMPL;
  HRESULT canBlockAnswer = S_OK;  // S_OK: the receiving pin's own answer.
};

// An output pin over the delivering pin.
class TestOutputPin : public Z_CDeliveringPin {
 public:
  TestOutputPin(Z_CFilterCore* filter, Z_CLockSection* lock, const char* name)
      : Z_CDeliveringPin("Test output pin", filter, lock, nullptr, Wide(name).c_str()) {}

  HRESULT TestType(const AM_MEDIA_TYPE* type) override { return rule.Test(type); }
  HRESULT ListTypeAt(int index, Z_CMediaTypeHolder* type) override {
    if (index < 0 || index >= static_cast<int>(offered.size())) return VFW_S_NO_MORE_ITEMS;
    return type->Assign(offered[static_cast<size_t>(index)]);
  }
  HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    ++sizings;
    lastRequest = *request;
    if (sizingResults.size() > 0) {
      const HRESULT result = sizingResults.front();
      sizingResults.erase(sizingResults.begin());
      if (FAILED(result)) return result;
    }
    ALLOCATOR_PROPERTIES actual{};
    return allocator->SetProperties(&buffers, &actual);
  }

  TypeRule rule;
  std::vector<Z_CMediaTypeHolder> offered;
  ALLOCATOR_PROPERTIES buffers{2, 256, 1, 0};
  std::vector<HRESULT> sizingResults;  // Consumed one per SizeBuffers call; empty means succeed.
  int sizings = 0;
  ALLOCATOR_PROPERTIES lastRequest{};
};

// A filter that owns any pins the test gives it (in index order) and its lock.
class TestFilter : public Z_CFilterCore {
 public:
  TestFilter() : Z_CFilterCore("Test filter", nullptr, &m_filterLock, kTestFilterClass) { AddRef(); }
  ~TestFilter() override {
    for (Z_CPinCore* pin : pins) delete pin;
  }

  template <typename Pin>
  Pin* AddPin(const char* name) {
    auto* pin = new Pin(this, &m_filterLock, name);
    pins.push_back(pin);
    return pin;
  }
  template <typename Pin>
  Pin* AddPin(const char* name, PIN_DIRECTION direction) {
    auto* pin = new Pin(this, &m_filterLock, name, direction);
    pins.push_back(pin);
    return pin;
  }

  int CountPins() override { return static_cast<int>(pins.size()); }
  Z_CPinCore* PinAt(int index) override {
    if (index < 0 || index >= static_cast<int>(pins.size())) return nullptr;
    return nullPinAt == index ? nullptr : pins[static_cast<size_t>(index)];
  }
  LONG GetPinRevision() override { return pinRevision; }
  ULONG References() { return static_cast<ULONG>(m_referenceCount.load()); }
  REFERENCE_TIME StartTime() const { return m_startTime; }
  IMediaEventSink* EventSink() const { return m_eventSink; }

  std::vector<Z_CPinCore*> pins;
  LONG pinRevision = 1;
  int nullPinAt = -1;  // PinAt answers null here, as for a pin set that changed under a lister.

 private:
  Z_CLockSection m_filterLock;
};
using FilterRef = ComRef<TestFilter>;

// A sample that only has IMediaSample: what the receiving pin reads property by property.
class PlainSample final : public IMediaSample {
 public:
  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IMediaSample) {
      *out = static_cast<IMediaSample*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return static_cast<ULONG>(++references); }
  ULONG Release() override { return static_cast<ULONG>(--references); }
  HRESULT GetPointer(BYTE** out) override {
    *out = data;
    return S_OK;
  }
  LONG GetSize() override { return sizeof(data); }
  HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override {
    if (!timesValid) return VFW_E_SAMPLE_TIME_NOT_SET;
    *start = 100;
    *end = 200;
    return S_OK;
  }
  HRESULT SetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return E_NOTIMPL; }
  HRESULT IsSyncPoint() override { return syncPoint ? S_OK : S_FALSE; }
  HRESULT SetSyncPoint(BOOL) override { return E_NOTIMPL; }
  HRESULT IsPreroll() override { return S_FALSE; }
  HRESULT SetPreroll(BOOL) override { return E_NOTIMPL; }
  LONG GetActualDataLength() override { return 10; }
  HRESULT SetActualDataLength(LONG) override { return E_NOTIMPL; }
  HRESULT GetMediaType(AM_MEDIA_TYPE** out) override {
    if (!type) {
      *out = nullptr;
      return S_FALSE;
    }
    *out = CloneMediaTypeBlock(type.get());
    return S_OK;
  }
  HRESULT SetMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  HRESULT IsDiscontinuity() override { return S_FALSE; }
  HRESULT SetDiscontinuity(BOOL) override { return E_NOTIMPL; }
  HRESULT GetMediaTime(LONGLONG*, LONGLONG*) override { return VFW_E_MEDIA_TIME_NOT_SET; }
  HRESULT SetMediaTime(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }

  int references = 1;
  BYTE data[32] = {};
  bool timesValid = false;
  bool syncPoint = false;
  std::unique_ptr<Z_CMediaTypeHolder> type;
};

// Every test starts and ends with no framework object alive and the platform's switches at rest.
class MediaTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Z_CNamedObject::LiveObjectCount.load(), 0); }
  void TearDown() override {
    platform::testing::ResetAll();
    platform::testing::RefuseComClass(CLSID_MemoryAllocator, false);
    EXPECT_EQ(Z_CNamedObject::LiveObjectCount.load(), 0) << "a framework object was left alive";
  }
};

}  // namespace media_test
