// The memory stream (bounds, short reads, the delivery-rate throttle) and the asynchronous read
// engine (alignment, short reads judged against the end, the flush sweep, destruction with reads
// queued). Waits for the worker are bounded polls, never timed assertions.
#include <atomic>
#include <numeric>
#include <thread>
#include <vector>

#include "media/framework/async_engine.h"
#include "media/framework/memory_stream.h"
#include "media_test_support.h"
#include "platform/winmm.h"

namespace media_test {
namespace {

using ByteStream = MediaTest;
using ReadEngine = MediaTest;

std::vector<BYTE> Counting(size_t size) {
  std::vector<BYTE> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<BYTE>(i * 7 + 3);
  return bytes;
}

struct StreamDeleter {
  void operator()(Z_CMemStream* stream) const { Z_CMemStream::Destroy(stream); }
};
using StreamRef = std::unique_ptr<Z_CMemStream, StreamDeleter>;

// Polls until the condition holds, for at most ten seconds.
template <typename Condition>
bool Eventually(Condition condition) {
  for (int i = 0; i < 10000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return condition();
}

TEST_F(ByteStream, PositionsAreBoundedByTheLengthAndReadsStopAtTheEnd) {
  const std::vector<BYTE> bytes = Counting(100);
  StreamRef stream(Z_CMemStream::Create(bytes.data(), 100, 0, 0xFFFFFFFF));
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->QueryAlignment(), 1);

  BYTE out[64] = {};
  LONG actual = -1;
  ASSERT_EQ(stream->SetPosition(100), S_OK);
  EXPECT_EQ(stream->ReadBytes(out, 10, FALSE, &actual), S_OK);
  EXPECT_EQ(actual, 0);
  for (LONGLONG refused : {101ll, -1ll, 1ll << 40}) EXPECT_EQ(stream->SetPosition(refused), S_FALSE) << refused;

  // A read of 50 at 80 copies the last 20 and leaves the position at the end.
  ASSERT_EQ(stream->SetPosition(80), S_OK);
  EXPECT_EQ(stream->ReadBytes(out, 50, FALSE, &actual), S_OK);
  EXPECT_EQ(actual, 20);
  EXPECT_TRUE(std::equal(out, out + 20, bytes.begin() + 80));
  EXPECT_EQ(stream->ReadBytes(out, 50, FALSE, &actual), S_OK);
  EXPECT_EQ(actual, 0);
  // A negative length reads nothing rather than running off.
  ASSERT_EQ(stream->SetPosition(0), S_OK);
  EXPECT_EQ(stream->ReadBytes(out, -5, FALSE, &actual), S_OK);
  EXPECT_EQ(actual, 0);

  LONGLONG available = -1;
  EXPECT_EQ(stream->QuerySize(nullptr), 100);
  EXPECT_EQ(stream->QuerySize(&available), 100);
  EXPECT_LE(available, 100);
}

TEST_F(ByteStream, ARateOfZeroOrANegativeLengthIsRefused) {
  const std::vector<BYTE> bytes = Counting(10);
  EXPECT_EQ(Z_CMemStream::Create(bytes.data(), 10, 0, 0), nullptr);
  EXPECT_EQ(Z_CMemStream::Create(bytes.data(), 0, 0x80000000u, 1), nullptr);
  Z_CMemStream::Destroy(nullptr);
}

TEST_F(ByteStream, AThrottledStreamDeliversBytesNoSoonerThanTheirRateAllows) {
  platform::testing::UseFakeClock(true);
  platform::testing::SetFakeClockMilliseconds(5000);
  platform::testing::SleepMovesFakeClock(true);
  const std::vector<BYTE> bytes = Counting(1200);
  StreamRef stream(Z_CMemStream::Create(bytes.data(), 1200, 0, 10));
  ASSERT_TRUE(stream);

  // 20 ms after creation, 10 bytes per millisecond have brought 200 bytes.
  platform::testing::AdvanceFakeClock(20 * 1000);
  LONGLONG available = 0;
  EXPECT_EQ(stream->QuerySize(&available), 1200);
  EXPECT_EQ(available, 200);

  // The bytes up to offset 1000 are due at 100 ms: the read sleeps the 80 ms left.
  std::vector<BYTE> out(1000);
  LONG actual = 0;
  ASSERT_EQ(stream->ReadBytes(out.data(), 1000, FALSE, &actual), S_OK);
  EXPECT_EQ(actual, 1000);
  EXPECT_EQ(timeGetTime(), 5000u + 100u);
  EXPECT_EQ(out, std::vector<BYTE>(bytes.begin(), bytes.begin() + 1000));

  // Everything has arrived once enough time has passed, and the count never exceeds the length.
  platform::testing::AdvanceFakeClock(1000 * 1000);
  EXPECT_EQ(stream->QuerySize(&available), 1200);
  EXPECT_EQ(available, 1200);
}

// A 1,000-byte stream behind an engine.
struct EngineOver1000 {
  std::vector<BYTE> bytes = Counting(1000);
  StreamRef stream{Z_CMemStream::Create(bytes.data(), 1000, 0, 0xFFFFFFFF)};
  Z_CAsyncEngine engine{stream.get()};
};

TEST_F(ReadEngine, QueuedReadsComeBackInOrderAndShortReadsAreJudgedByWhereTheyEnd) {
  EngineOver1000 f;
  BYTE first[100], last[100];
  ASSERT_EQ(f.engine.Request(0, 100, TRUE, first, nullptr, 11), S_OK);
  ASSERT_EQ(f.engine.Request(950, 100, FALSE, last, nullptr, 22), S_OK);

  IMediaSample* sample = reinterpret_cast<IMediaSample*>(1);
  DWORD_PTR user = 0;
  LONG actual = 0;
  ASSERT_EQ(f.engine.WaitForNext(10000, &sample, &user, &actual), S_OK);
  EXPECT_EQ(user, 11u);
  EXPECT_EQ(actual, 100);
  EXPECT_EQ(sample, nullptr);
  EXPECT_TRUE(std::equal(first, first + 100, f.bytes.begin()));
  // 50 bytes that end at the stream's end are a whole read.
  ASSERT_EQ(f.engine.WaitForNext(10000, &sample, &user, &actual), S_OK);
  EXPECT_EQ(user, 22u);
  EXPECT_EQ(actual, 50);
  EXPECT_TRUE(std::equal(last, last + 50, f.bytes.begin() + 950));

  // Nothing left: a zero timeout answers at once.
  EXPECT_EQ(f.engine.WaitForNext(0, &sample, &user, &actual), VFW_E_TIMEOUT);
  EXPECT_EQ(f.engine.WaitForNext(0, nullptr, &user, &actual), E_POINTER);
}

// A stream that claims more bytes than it has, so a short read ends before the stated end.
class ShortStream final : public Z_CByteStream {
 public:
  HRESULT SetPosition(LONGLONG position) override {
    m_position = position;
    return S_OK;
  }
  HRESULT ReadBytes(BYTE*, LONG length, BOOL, LONG* actual) override {
    *actual = length / 2;
    return S_OK;
  }
  LONGLONG QuerySize(LONGLONG* available) override {
    if (available) *available = 2000;
    return 2000;
  }
  LONG QueryAlignment() override { return 4; }
  void LockStream() override {}
  void UnlockStream() override {}

 private:
  LONGLONG m_position = 0;
};

TEST_F(ReadEngine, AShortReadEndingBeforeTheEndFailsAndAlignmentIsChecked) {
  ShortStream stream;
  Z_CAsyncEngine engine(&stream);
  alignas(8) BYTE buffer[64];
  ASSERT_EQ(engine.Request(8, 40, TRUE, buffer, nullptr, 0), S_OK);
  IMediaSample* sample = nullptr;
  DWORD_PTR user = 0;
  LONG actual = 0;
  EXPECT_EQ(engine.WaitForNext(10000, &sample, &user, &actual), E_FAIL);
  EXPECT_EQ(actual, 20);

  // Position, length and buffer must each be multiples of 4; nothing is queued when one is not.
  EXPECT_EQ(engine.Request(2, 40, TRUE, buffer, nullptr, 0), VFW_E_BADALIGN);
  EXPECT_EQ(engine.Request(8, 41, TRUE, buffer, nullptr, 0), VFW_E_BADALIGN);
  EXPECT_EQ(engine.Request(8, 40, TRUE, buffer + 1, nullptr, 0), VFW_E_BADALIGN);
  EXPECT_EQ(engine.SyncReadAligned(8, 40, buffer + 1, &actual, nullptr), VFW_E_BADALIGN);
  EXPECT_EQ(engine.QueuedCount() + engine.DoneCount(), 0);
  // Unaligned synchronous reads go through unaligned; the short read is S_FALSE.
  EXPECT_EQ(engine.SyncRead(3, 10, buffer + 1), S_FALSE);
  EXPECT_EQ(engine.SyncReadAligned(8, 40, buffer, &actual, nullptr), S_FALSE);
  EXPECT_EQ(actual, 20);
  EXPECT_EQ(engine.SyncReadAligned(8, 40, buffer, nullptr, nullptr), E_POINTER);
  // Lengths that would run backwards are refused.
  EXPECT_EQ(engine.Request(0, -4, FALSE, buffer, nullptr, 0), E_INVALIDARG);
  EXPECT_EQ(engine.SyncRead(0, -4, buffer), E_INVALIDARG);

  LONG alignment = 0;
  LONGLONG total = 0, available = 0;
  EXPECT_EQ(engine.Alignment(&alignment), S_OK);
  EXPECT_EQ(alignment, 4);
  EXPECT_EQ(engine.Length(&total, &available), S_OK);
  EXPECT_EQ(total, 2000);
  EXPECT_EQ(engine.Length(nullptr, &available), E_POINTER);
  EXPECT_EQ(engine.Alignment(nullptr), E_POINTER);
}

TEST_F(ReadEngine, AFlushSweepsQueuedReadsBackUnperformedThenRefusesUntilItEnds) {
  EngineOver1000 f;
  BYTE buffers[4][10] = {};
  // The test holds the stream, so the worker stops inside the first read with the rest queued.
  f.stream->LockStream();
  ASSERT_EQ(f.engine.Request(0, 10, FALSE, buffers[0], nullptr, 100), S_OK);
  ASSERT_TRUE(Eventually([&] { return f.engine.QueuedCount() == 0; }));
  for (int i = 1; i < 4; ++i) ASSERT_EQ(f.engine.Request(i * 10, 10, FALSE, buffers[i], nullptr, 100 + i), S_OK);
  ASSERT_EQ(f.engine.QueuedCount(), 3);

  std::thread flusher([&] { f.engine.BeginFlush(); });
  // The sweep happens at once; the flush then waits for the read in progress.
  ASSERT_TRUE(Eventually([&] { return f.engine.DoneCount() == 3; }));
  f.stream->UnlockStream();
  flusher.join();
  EXPECT_EQ(f.engine.Request(0, 10, FALSE, buffers[0], nullptr, 0), VFW_E_WRONG_STATE);

  IMediaSample* sample = nullptr;
  DWORD_PTR user = 0;
  LONG actual = 0;
  for (int i = 1; i < 4; ++i) {
    EXPECT_EQ(f.engine.WaitForNext(10000, &sample, &user, &actual), VFW_E_TIMEOUT);
    EXPECT_EQ(user, static_cast<DWORD_PTR>(100 + i));
  }
  EXPECT_EQ(f.engine.WaitForNext(10000, &sample, &user, &actual), S_OK);
  EXPECT_EQ(user, 100u);
  EXPECT_EQ(buffers[0][9], f.bytes[9]);
  EXPECT_EQ(buffers[1][0], 0) << "a swept read is never performed";
  // The list is empty during the flush: no waiting, the wrong state at once.
  EXPECT_EQ(f.engine.WaitForNext(INFINITE, &sample, &user, &actual), VFW_E_WRONG_STATE);

  // After the flush a waiter waits again, and reads are taken again.
  EXPECT_EQ(f.engine.EndFlush(), S_OK);
  EXPECT_EQ(f.engine.WaitForNext(0, &sample, &user, &actual), VFW_E_TIMEOUT);
  ASSERT_EQ(f.engine.Request(500, 10, FALSE, buffers[0], nullptr, 7), S_OK);
  EXPECT_EQ(f.engine.WaitForNext(10000, &sample, &user, &actual), S_OK);
  EXPECT_EQ(user, 7u);
}

TEST_F(ReadEngine, DestroyingTheEngineWithReadsQueuedDeletesThemUnperformed) {
  EngineOver1000 f;
  auto* engine = new Z_CAsyncEngine(f.stream.get());
  BYTE buffers[3][10] = {};
  f.stream->LockStream();
  ASSERT_EQ(engine->Request(0, 10, FALSE, buffers[0], nullptr, 0), S_OK);
  ASSERT_TRUE(Eventually([&] { return engine->QueuedCount() == 0; }));
  ASSERT_EQ(engine->Request(10, 10, FALSE, buffers[1], nullptr, 0), S_OK);
  ASSERT_EQ(engine->Request(20, 10, FALSE, buffers[2], nullptr, 0), S_OK);
  std::thread destroyer([&] { delete engine; });
  ASSERT_TRUE(Eventually([&] { return engine->DoneCount() == 2; }));
  f.stream->UnlockStream();
  destroyer.join();
  EXPECT_EQ(buffers[1][0], 0);
  EXPECT_EQ(buffers[2][0], 0);
}

TEST_F(ReadEngine, AWorkerThatCannotStartFailsTheRequestInsteadOfLeavingItToHang) {
  EngineOver1000 f;
  platform::testing::FailThreadCreation(1);
  BYTE buffer[10];
  EXPECT_TRUE(FAILED(f.engine.Request(0, 10, FALSE, buffer, nullptr, 0)));
  EXPECT_EQ(f.engine.QueuedCount(), 0);
  // The next request gets its worker.
  ASSERT_EQ(f.engine.Request(0, 10, FALSE, buffer, nullptr, 5), S_OK);
  IMediaSample* sample = nullptr;
  DWORD_PTR user = 0;
  LONG actual = 0;
  EXPECT_EQ(f.engine.WaitForNext(10000, &sample, &user, &actual), S_OK);
  EXPECT_EQ(user, 5u);
}

}  // namespace
}  // namespace media_test
