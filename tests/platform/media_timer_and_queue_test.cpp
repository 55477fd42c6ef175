// The stand-in's calls behind the media framework's renderers: one-shot multimedia timers (a kill
// waits for a running callback), MulDiv's rounding, the message-aware waits on a thread without
// windows, the missing automation library, and the test door's in-memory stream.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/com_stream.h"
#include "platform/kernel.h"
#include "platform/testing.h"
#include "platform/user.h"
#include "platform/winmm.h"

namespace {

// A callback that signals an event and can be made to wait until the test lets it go.
struct TimerProbe {
  HANDLE fired = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  std::atomic<int> calls{0};
  std::atomic<bool> finished{false};
  ~TimerProbe() {
    CloseHandle(fired);
    CloseHandle(release);
  }
  static void Callback(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    auto* probe = reinterpret_cast<TimerProbe*>(user);
    ++probe->calls;
    SetEvent(probe->fired);
    WaitForSingleObject(probe->release, 10000);
    probe->finished = true;
  }
};

TEST(OneShotTimers, FireOnceAndAreGoneAfterwards) {
  TimerProbe probe;
  const UINT id = timeSetEvent(5, 10, &TimerProbe::Callback, reinterpret_cast<DWORD_PTR>(&probe), TIME_ONESHOT);
  ASSERT_NE(id, 0u);
  ASSERT_EQ(WaitForSingleObject(probe.fired, 10000), WAIT_OBJECT_0);
  // Once its callback has returned, the timer no longer exists.
  for (int i = 0; i < 10000 && !probe.finished; ++i) Sleep(1);
  ASSERT_TRUE(probe.finished);
  EXPECT_EQ(timeKillEvent(id), static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
  EXPECT_EQ(probe.calls, 1);
}

TEST(OneShotTimers, AKilledTimerNeverFires) {
  TimerProbe probe;
  const UINT id = timeSetEvent(60000, 10, &TimerProbe::Callback, reinterpret_cast<DWORD_PTR>(&probe), TIME_ONESHOT);
  ASSERT_NE(id, 0u);
  EXPECT_EQ(timeKillEvent(id), static_cast<MMRESULT>(TIMERR_NOERROR));
  EXPECT_EQ(timeKillEvent(id), static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
  EXPECT_EQ(probe.calls, 0);
}

TEST(OneShotTimers, AKillWaitsForTheRunningCallback) {
  TimerProbe probe;
  ResetEvent(probe.release);
  const UINT id = timeSetEvent(1, 10, &TimerProbe::Callback, reinterpret_cast<DWORD_PTR>(&probe), TIME_ONESHOT);
  ASSERT_EQ(WaitForSingleObject(probe.fired, 10000), WAIT_OBJECT_0);
  std::thread releaser([&] {
    Sleep(20);
    SetEvent(probe.release);
  });
  EXPECT_EQ(timeKillEvent(id), static_cast<MMRESULT>(TIMERR_NOERROR));
  EXPECT_TRUE(probe.finished) << "the kill returned before the callback did";
  releaser.join();
}

TEST(OneShotTimers, RefusedRequestsGiveNoTimer) {
  TimerProbe probe;
  EXPECT_EQ(timeSetEvent(5, 10, nullptr, 0, TIME_ONESHOT), 0u);
  EXPECT_EQ(timeSetEvent(5, 10, &TimerProbe::Callback, 0, TIME_PERIODIC), 0u);
  platform::testing::FailTimerCreation(1);
  EXPECT_EQ(timeSetEvent(5, 10, &TimerProbe::Callback, reinterpret_cast<DWORD_PTR>(&probe), TIME_ONESHOT), 0u);
  platform::testing::FailTimerCreation(0);
  EXPECT_EQ(timeKillEvent(0), static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
  EXPECT_EQ(timeBeginPeriod(1), static_cast<MMRESULT>(TIMERR_NOERROR));
  EXPECT_EQ(timeEndPeriod(1), static_cast<MMRESULT>(TIMERR_NOERROR));
}

struct MulDivCase {
  int number, numerator, denominator, expected;
};

TEST(MulDiv, RoundsHalfAwayFromZeroAndFailsWithMinusOne) {
  const MulDivCase cases[] = {
      {100000, 250, 10000, 2500},
      {5, 1, 2, 3},
      {-5, 1, 2, -3},
      {5, -1, 2, -3},
      {-5, -1, 2, 3},
      {7, 1, 3, 2},
      {8, 1, 3, 3},
      {1, 1, 0, -1},
      {0x7FFFFFFF, 2, 1, -1},
      {0x40000000, 4, 2, -1},
      {0x7FFFFFFF, 2, 2, 0x7FFFFFFF},
      {-0x7FFFFFFF - 1, 1, 1, -0x7FFFFFFF - 1},
      {0, 5, 7, 0},
  };
  for (const MulDivCase& c : cases)
    EXPECT_EQ(MulDiv(c.number, c.numerator, c.denominator), c.expected)
        << c.number << " * " << c.numerator << " / " << c.denominator;
}

TEST(MessageWaits, AThreadWithoutWindowsWaitsOnObjectsAlone) {
  std::thread worker([] {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 0, QS_ALLINPUT), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(GetQueueStatus(QS_POSTMESSAGE), 0u);
    PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);
    EXPECT_EQ(GetQueueStatus(QS_POSTMESSAGE) >> 16, QS_POSTMESSAGE);
    EXPECT_EQ(GetQueueStatus(QS_TIMER), 0u);
    SetEvent(event);
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, INFINITE, QS_ALLINPUT), static_cast<DWORD>(WAIT_OBJECT_0));
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    CloseHandle(event);
  });
  worker.join();
}

TEST(MessageWaits, RegisteredMessageNumbersAreSharedByName) {
  const UINT first = RegisterWindowMessageA("AMUnblock");
  EXPECT_GE(first, 0xC000u);
  EXPECT_EQ(RegisterWindowMessageA("amunblock"), first);
  EXPECT_NE(RegisterWindowMessageA("Another message"), first);
  EXPECT_EQ(RegisterWindowMessageA(""), 0u);
  EXPECT_EQ(RegisterWindowMessageA(nullptr), 0u);
}

TEST(Automation, TheLibraryIsNotInstalled) {
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA("OleAut32.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(MemoryStream, WritesWhereItIsSeekedAndGrows) {
  platform::testing::MemoryStream* stream = platform::testing::CreateMemoryStream();
  ULONG count = 0;
  ASSERT_EQ(stream->Write("abcdef", 6, &count), S_OK);
  EXPECT_EQ(count, 6u);
  LARGE_INTEGER move{};
  ULARGE_INTEGER position{};
  move.QuadPart = 2;
  ASSERT_EQ(stream->Seek(move, STREAM_SEEK_SET, &position), S_OK);
  EXPECT_EQ(position.QuadPart, 2u);
  ASSERT_EQ(stream->Write("XY", 2, nullptr), S_OK);
  move.QuadPart = 2;
  ASSERT_EQ(stream->Seek(move, 2, nullptr), S_OK);  // From the end.
  ASSERT_EQ(stream->Write("Z", 1, nullptr), S_OK);
  const std::vector<uint8_t> expected = {'a', 'b', 'X', 'Y', 'e', 'f', 0, 0, 'Z'};
  EXPECT_EQ(stream->Bytes(), expected);
  move.QuadPart = -1;
  EXPECT_EQ(stream->Seek(move, STREAM_SEEK_SET, nullptr), STG_E_INVALIDFUNCTION);
  move.QuadPart = 0;
  ASSERT_EQ(stream->Seek(move, STREAM_SEEK_SET, nullptr), S_OK);
  char read[4] = {};
  EXPECT_EQ(stream->Read(read, 4, &count), S_OK);
  EXPECT_EQ(std::string(read, 4), "abXY");
  stream->SetWriteResult(E_FAIL);
  EXPECT_EQ(stream->Write("q", 1, nullptr), E_FAIL);
  stream->SetSeekResult(E_ABORT);
  EXPECT_EQ(stream->Seek(move, STREAM_SEEK_SET, nullptr), E_ABORT);
  EXPECT_EQ(stream->Release(), 0u);
}

}  // namespace
