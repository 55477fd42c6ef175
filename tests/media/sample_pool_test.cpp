// Sample pools: properties and alignment, commit and decommit with samples out, last-in first-out
// reuse, the free count and notification, and GetBuffer waiting on other threads.
#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "media/framework/heap_sample_pool.h"
#include "media_test_support.h"

namespace media_test {
namespace {

using SamplePools = MediaTest;

// Waits at most ten seconds for a condition polled by the test; never a timing assertion.
template <typename Condition>
bool WaitUntil(Condition condition) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > 10000) return false;
    Sleep(1);
  }
  return true;
}

// A thread whose end the test can wait for with a bound.
class BoundedThread {
 public:
  template <typename Body>
  explicit BoundedThread(Body body)
      : m_done(CreateEventA(nullptr, TRUE, FALSE, nullptr)), m_thread([this, body] {
          body();
          SetEvent(m_done);
        }) {}
  ~BoundedThread() {
    if (m_thread.joinable()) m_thread.join();
    CloseHandle(m_done);
  }
  bool Finished(DWORD milliseconds = 10000) { return WaitForSingleObject(m_done, milliseconds) == WAIT_OBJECT_0; }

 private:
  HANDLE m_done;
  std::thread m_thread;
};

// A pool as the framework makes it, held through its class.
struct Pool {
  Z_CHeapSamplePool* pool = nullptr;
  Pool() {
    IMemAllocator* allocator = nullptr;
    EXPECT_EQ(Z_CHeapSamplePool::CreateInstance(nullptr, IID_IMemAllocator, reinterpret_cast<void**>(&allocator)),
              S_OK);
    pool = static_cast<Z_CHeapSamplePool*>(allocator);
  }
  ~Pool() {
    if (pool) {
      pool->Decommit();
      pool->Release();
    }
  }
  HRESULT Set(LONG count, LONG size, LONG alignment = 1, LONG prefix = 0, ALLOCATOR_PROPERTIES* actual = nullptr) {
    ALLOCATOR_PROPERTIES request{count, size, alignment, prefix}, got{};
    return pool->SetProperties(&request, actual ? actual : &got);
  }
  IMediaSample* Take(DWORD flags = AM_GBF_NOWAIT) {
    IMediaSample* sample = nullptr;
    EXPECT_EQ(pool->GetBuffer(&sample, nullptr, nullptr, flags), S_OK);
    return sample;
  }
  LONG FreeCount() {
    LONG free = -1;
    EXPECT_EQ(pool->GetFreeCount(&free), S_OK);
    return free;
  }
};

TEST_F(SamplePools, PropertiesRoundTheSlotToTheAlignment) {
  struct Case {
    LONG size, alignment, prefix;
    HRESULT expected;
    LONG storedSize;
  };
  const Case cases[] = {
      {10, 1, 0, S_OK, 10},
      {10, 8, 4, S_OK, 12},  // 10 + 4 raised to 16, less the prefix.
      {16, 16, 0, S_OK, 16},
      {1, 65536, 0, S_OK, 65536},
      {10, 0, 0, VFW_E_BADALIGN, 0},
      {10, 3, 0, VFW_E_BADALIGN, 0},  // Not a divisor of the 64 KiB granularity.
      {10, 131072, 0, VFW_E_BADALIGN, 0},
      {10, -8, 0, VFW_E_BADALIGN, 0},
      {-1, 1, 0, E_INVALIDARG, 0},
      {10, 1, -4, E_INVALIDARG, 0},
      {0x7FFFFFF0, 16, 0x20, E_INVALIDARG, 0},  // The slot would not fit in 32 bits.
  };
  for (const Case& c : cases) {
    Pool pool;
    ALLOCATOR_PROPERTIES actual{9, 9, 9, 9};
    EXPECT_EQ(pool.Set(3, c.size, c.alignment, c.prefix, &actual), c.expected) << c.size << "/" << c.alignment;
    EXPECT_EQ(actual.cbBuffer, c.storedSize);
    if (c.expected == S_OK) {
      EXPECT_EQ(actual.cBuffers, 3);
      EXPECT_EQ(actual.cbAlign, c.alignment);
      EXPECT_EQ(actual.cbPrefix, c.prefix);
      ALLOCATOR_PROPERTIES stored{};
      EXPECT_EQ(pool.pool->GetProperties(&stored), S_OK);
      EXPECT_EQ(stored.cbBuffer, c.storedSize);
    } else {
      EXPECT_EQ(actual.cBuffers, 0);
    }
  }
  Pool pool;
  ALLOCATOR_PROPERTIES request{1, 1, 1, 0};
  EXPECT_EQ(pool.pool->SetProperties(&request, nullptr), E_POINTER);
  EXPECT_EQ(pool.pool->GetProperties(nullptr), E_POINTER);
}

TEST_F(SamplePools, BuffersSitBehindTheirPrefixOnAlignedSlots) {
  Pool pool;
  ASSERT_EQ(pool.Set(4, 100, 64, 8), S_OK);
  ASSERT_EQ(pool.pool->Commit(), S_OK);
  std::vector<IMediaSample*> samples;
  std::vector<uintptr_t> starts;
  for (int i = 0; i < 4; ++i) {
    samples.push_back(pool.Take());
    BYTE* buffer = nullptr;
    samples.back()->GetPointer(&buffer);
    EXPECT_EQ((reinterpret_cast<uintptr_t>(buffer) - 8) % 64, 0u);
    EXPECT_EQ(samples.back()->GetSize(), 120);  // 100 + 8 raised to 128, less the prefix.
    std::memset(buffer - 8, 0x5A, 128);         // Prefix and buffer are ours to write (ASan agrees).
    starts.push_back(reinterpret_cast<uintptr_t>(buffer));
  }
  std::sort(starts.begin(), starts.end());
  for (size_t i = 1; i < starts.size(); ++i) EXPECT_EQ(starts[i] - starts[i - 1], 128u);
  for (IMediaSample* sample : samples) sample->Release();
}

TEST_F(SamplePools, CommitIsNeededAndRefusesPropertiesThatDoNotHold) {
  Pool pool;
  IMediaSample* sample = nullptr;
  EXPECT_EQ(pool.pool->GetBuffer(&sample, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
  EXPECT_EQ(pool.pool->GetBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_NOT_COMMITTED);
  EXPECT_EQ(pool.pool->GetBuffer(nullptr, nullptr, nullptr, 0), E_POINTER);
  EXPECT_EQ(pool.pool->Commit(), VFW_E_SIZENOTSET);
  ASSERT_EQ(pool.Set(0, 10), S_OK);
  EXPECT_EQ(pool.pool->Commit(), VFW_E_SIZENOTSET);
  ASSERT_EQ(pool.Set(1, 10), S_OK);
  ASSERT_EQ(pool.pool->Commit(), S_OK);
  EXPECT_EQ(pool.pool->Commit(), S_OK);
  EXPECT_EQ(pool.Set(1, 20), VFW_E_ALREADY_COMMITTED);
  IMediaSample* held = pool.Take();
  EXPECT_EQ(pool.pool->GetBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);
  EXPECT_EQ(sample, nullptr);
  pool.pool->Decommit();
  EXPECT_EQ(pool.Set(1, 20), VFW_E_BUFFERS_OUTSTANDING);
  held->Release();
  EXPECT_EQ(pool.Set(1, 20), S_OK);
}

TEST_F(SamplePools, ReleasedSamplesComeBackLastInFirstOut) {
  Pool pool;
  ASSERT_EQ(pool.Set(4, 16), S_OK);
  EXPECT_EQ(pool.FreeCount(), 4);  // Before any allocation: the buffer count.
  ASSERT_EQ(pool.pool->Commit(), S_OK);
  IMediaSample* a = pool.Take();
  IMediaSample* b = pool.Take();
  IMediaSample* c = pool.Take();
  EXPECT_EQ(pool.FreeCount(), 1);
  a->Release();
  c->Release();
  EXPECT_EQ(pool.Take(), c);
  EXPECT_EQ(pool.Take(), a);
  for (IMediaSample* sample : {a, b, c}) sample->Release();
  EXPECT_EQ(pool.FreeCount(), 4);
}

TEST_F(SamplePools, RecommittingUnchangedPropertiesKeepsTheBlockAndSamples) {
  Pool pool;
  ASSERT_EQ(pool.Set(2, 32), S_OK);
  ASSERT_EQ(pool.pool->Commit(), S_OK);
  IMediaSample* first = pool.Take();
  BYTE* buffer = nullptr;
  first->GetPointer(&buffer);
  first->Release();
  ASSERT_EQ(pool.pool->Decommit(), S_OK);
  ASSERT_EQ(pool.pool->Commit(), S_OK);
  IMediaSample* again = pool.Take();
  BYTE* bufferAgain = nullptr;
  again->GetPointer(&bufferAgain);
  EXPECT_EQ(again, first);
  EXPECT_EQ(bufferAgain, buffer);
  again->Release();

  // New properties make a new block on the next commit.
  pool.pool->Decommit();
  ASSERT_EQ(pool.Set(3, 48), S_OK);
  ASSERT_EQ(pool.pool->Commit(), S_OK);
  EXPECT_EQ(pool.FreeCount(), 3);
  IMediaSample* resized = pool.Take();
  EXPECT_EQ(resized->GetSize(), 48);
  resized->Release();
}

TEST_F(SamplePools, DecommitWithSamplesOutKeepsThePoolUntilTheLastComesBack) {
  Pool pool;
  ASSERT_EQ(pool.Set(3, 16), S_OK);
  ASSERT_EQ(pool.pool->Commit(), S_OK);
  IMediaSample* first = pool.Take();
  IMediaSample* second = pool.Take();
  ASSERT_EQ(pool.pool->Decommit(), S_OK);
  pool.pool->Release();  // The caller's reference goes; the pool's own keeps it alive.
  pool.pool = nullptr;
  EXPECT_EQ(Z_CNamedObject::LiveObjectCount.load(), 1);
  first->Release();
  EXPECT_EQ(Z_CNamedObject::LiveObjectCount.load(), 1);
  second->Release();  // The last sample back frees the buffers and the pool with them.
  EXPECT_EQ(Z_CNamedObject::LiveObjectCount.load(), 0);
}

TEST_F(SamplePools, CommitDuringAPendingDecommitServesTheSamplesStillOut) {
  Pool pool;
  ASSERT_EQ(pool.Set(2, 16), S_OK);
  ASSERT_EQ(pool.pool->Commit(), S_OK);
  IMediaSample* out = pool.Take();
  ASSERT_EQ(pool.pool->Decommit(), S_OK);
  ASSERT_EQ(pool.pool->Commit(), S_OK);
  IMediaSample* other = pool.Take();
  EXPECT_NE(other, out);
  out->Release();
  other->Release();
  EXPECT_EQ(pool.FreeCount(), 2);
}

TEST_F(SamplePools, FailedAllocationsLeaveThePoolUncommittedAndReadyToTryAgain) {
  Pool pool;
  ASSERT_EQ(pool.Set(2, 16), S_OK);
  platform::testing::FailVirtualAllocations(1);
  EXPECT_EQ(pool.pool->Commit(), E_OUTOFMEMORY);
  IMediaSample* sample = nullptr;
  EXPECT_EQ(pool.pool->GetBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_NOT_COMMITTED);
  ASSERT_EQ(pool.pool->Commit(), S_OK);
  pool.pool->Decommit();

  // A block beyond any address space.
  ASSERT_EQ(pool.Set(0x7FFFFFFF, 0x7FFFFF00), S_OK);
  EXPECT_EQ(pool.pool->Commit(), E_OUTOFMEMORY);

  platform::testing::FailEventAndSemaphoreCreation(1);
  IMemAllocator* allocator = nullptr;
  EXPECT_EQ(Z_CHeapSamplePool::CreateInstance(nullptr, IID_IMemAllocator, reinterpret_cast<void**>(&allocator)),
            E_OUTOFMEMORY);
  EXPECT_EQ(allocator, nullptr);
}

// Counts the pool's release notices.
class ReleaseCounter final : public IMemAllocatorNotifyCallbackTemp {
 public:
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return static_cast<ULONG>(++references); }
  ULONG Release() override { return static_cast<ULONG>(--references); }
  HRESULT NotifyRelease() override {
    ++notices;
    return S_OK;
  }
  std::atomic<int> references{1};
  std::atomic<int> notices{0};
};

// A heap pool that does not answer the notify interface.
class QuietPool : public Z_CHeapSamplePool {
 public:
  QuietPool() : Z_CHeapSamplePool("Quiet pool", nullptr, nullptr, false) {}
};

TEST_F(SamplePools, NotificationIsAnsweredOnlyWhenEnabled) {
  Pool pool;
  IMemAllocatorCallbackTemp* callbacks = nullptr;
  ASSERT_EQ(pool.pool->QueryInterface(IID_IMemAllocatorCallbackTemp, reinterpret_cast<void**>(&callbacks)), S_OK);
  ReleaseCounter counter;
  ASSERT_EQ(callbacks->SetNotify(&counter), S_OK);
  EXPECT_EQ(counter.references.load(), 2);
  ASSERT_EQ(pool.Set(1, 8), S_OK);
  ASSERT_EQ(pool.pool->Commit(), S_OK);
  pool.Take()->Release();
  EXPECT_EQ(counter.notices.load(), 1);
  ASSERT_EQ(callbacks->SetNotify(nullptr), S_OK);
  EXPECT_EQ(counter.references.load(), 1);
  callbacks->Release();

  auto* quiet = new QuietPool;
  quiet->InnerUnknown()->AddRef();
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(quiet->InnerUnknown()->QueryInterface(IID_IMemAllocatorCallbackTemp, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  ASSERT_EQ(quiet->InnerUnknown()->QueryInterface(IID_IMemAllocator, &out), S_OK);
  static_cast<IMemAllocator*>(out)->Release();
  quiet->InnerUnknown()->Release();
}

TEST_F(SamplePools, TheMemoryAllocatorClassIsTheHeapPool) {
  Pool made;  // Any framework object makes the class known.
  IMemAllocator* allocator = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                             reinterpret_cast<void**>(&allocator)),
            S_OK);
  IMemAllocatorCallbackTemp* callbacks = nullptr;
  EXPECT_EQ(allocator->QueryInterface(IID_IMemAllocatorCallbackTemp, reinterpret_cast<void**>(&callbacks)), S_OK);
  callbacks->Release();
  allocator->Release();

  ComRef<platform::testing::FakeReferenceClock> outer(platform::testing::CreateFakeReferenceClock());
  EXPECT_EQ(CoCreateInstance(CLSID_MemoryAllocator, outer.get(), CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                             reinterpret_cast<void**>(&allocator)),
            CLASS_E_NOAGGREGATION);
}

TEST_F(SamplePools, ABlockedGetBufferWakesWhenASampleComesBack) {
  Pool pool;
  ASSERT_EQ(pool.Set(1, 16), S_OK);
  ASSERT_EQ(pool.pool->Commit(), S_OK);
  IMediaSample* held = pool.Take();
  std::atomic<HRESULT> result{E_FAIL};
  IMediaSample* got = nullptr;
  BoundedThread waiter([&] { result = pool.pool->GetBuffer(&got, nullptr, nullptr, 0); });
  ASSERT_TRUE(WaitUntil([&] { return pool.pool->WaitingCount() == 1; }));
  held->Release();
  ASSERT_TRUE(waiter.Finished());
  EXPECT_EQ(result.load(), S_OK);
  EXPECT_EQ(got, held);
  got->Release();
}

TEST_F(SamplePools, ABlockedGetBufferFailsWhenThePoolIsDecommitted) {
  Pool pool;
  ASSERT_EQ(pool.Set(1, 16), S_OK);
  ASSERT_EQ(pool.pool->Commit(), S_OK);
  IMediaSample* held = pool.Take();
  std::atomic<HRESULT> result{S_OK};
  IMediaSample* got = reinterpret_cast<IMediaSample*>(1);
  BoundedThread waiter([&] { result = pool.pool->GetBuffer(&got, nullptr, nullptr, 0); });
  ASSERT_TRUE(WaitUntil([&] { return pool.pool->WaitingCount() == 1; }));
  ASSERT_EQ(pool.pool->Decommit(), S_OK);
  ASSERT_TRUE(waiter.Finished());
  EXPECT_EQ(result.load(), VFW_E_NOT_COMMITTED);
  EXPECT_EQ(got, nullptr);
  held->Release();
}

TEST_F(SamplePools, ThreadsSharingFewBuffersAllGetThroughAndTheCountsAgree) {
  Pool pool;
  ASSERT_EQ(pool.Set(2, 64), S_OK);
  ASSERT_EQ(pool.pool->Commit(), S_OK);
  std::atomic<int> served{0};
  std::atomic<int> failures{0};
  {
    std::vector<std::unique_ptr<BoundedThread>> threads;
    for (int t = 0; t < 4; ++t)
      threads.push_back(std::make_unique<BoundedThread>([&, t] {
        for (int i = 0; i < 300; ++i) {
          IMediaSample* sample = nullptr;
          if (pool.pool->GetBuffer(&sample, nullptr, nullptr, 0) != S_OK) {
            ++failures;
            continue;
          }
          BYTE* buffer = nullptr;
          sample->GetPointer(&buffer);
          std::memset(buffer, t, 64);
          REFERENCE_TIME start = i, end = i + 1;
          sample->SetTime(&start, &end);
          sample->Release();
          ++served;
        }
      }));
    for (auto& thread : threads)
      if (!thread->Finished()) pool.pool->Decommit();  // Frees a stuck waiter so the test can end.
    for (auto& thread : threads) ASSERT_TRUE(thread->Finished(0));
  }
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(served.load(), 1200);
  EXPECT_EQ(pool.FreeCount(), 2);
}

}  // namespace
}  // namespace media_test
