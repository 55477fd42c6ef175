// Clocks: the monotonic clock behind timeGetTime and the performance counter, local time, file
// times, and the fake clock of the test door.
#include <errno.h>
#include <sys/time.h>
#include <time.h>

#include "kernel/objects.h"
#include "kernel/state.h"
#include "platform/testing.h"

namespace platform {

namespace {
constexpr int64_t kPerformanceFrequency = 10000000;             // 100 ns ticks.
constexpr uint64_t kFileTimeUnixEpoch = 116444736000000000ull;  // 1601 to 1970 in 100 ns.

uint64_t RealMicroseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

void FillSystemTime(const struct tm& broken, long nanoseconds, SYSTEMTIME* out) {
  out->wYear = static_cast<WORD>(broken.tm_year + 1900);
  out->wMonth = static_cast<WORD>(broken.tm_mon + 1);
  out->wDayOfWeek = static_cast<WORD>(broken.tm_wday);
  out->wDay = static_cast<WORD>(broken.tm_mday);
  out->wHour = static_cast<WORD>(broken.tm_hour);
  out->wMinute = static_cast<WORD>(broken.tm_min);
  out->wSecond = static_cast<WORD>(broken.tm_sec);
  out->wMilliseconds = static_cast<WORD>(nanoseconds / 1000000);
}
}  // namespace

bool DrivesFakeClock() {
  const DWORD driver = State().fakeClockDriver.load();
  return driver != 0 && driver == GetCurrentThreadId();
}

uint64_t NowMicroseconds() {
  if (State().fakeClock.load()) {
    // The driving thread sees time pass while it works: a microsecond per reading.
    if (DrivesFakeClock()) return State().fakeMicroseconds.fetch_add(1) + 1;
    return State().fakeMicroseconds.load();
  }
  return RealMicroseconds();
}

bool SleepOnFakeClock(DWORD milliseconds) {
  if (!State().fakeClock.load() || !DrivesFakeClock()) return false;
  State().fakeMicroseconds += static_cast<uint64_t>(milliseconds) * 1000u + State().fakeSleepLateness.load();
  return true;
}

void SleepUntilMicroseconds(uint64_t deadline) {
  if (State().fakeClock.load() && DrivesFakeClock()) {
    const uint64_t now = State().fakeMicroseconds.load();
    if (deadline > now) State().fakeMicroseconds += deadline - now + State().fakeSleepLateness.load();
    return;
  }
  // An absolute deadline: a signal that interrupts the sleep does not stretch it when resumed.
  const timespec until = {static_cast<time_t>(deadline / 1000000u), static_cast<long>(deadline % 1000000u) * 1000};
  while (RealMicroseconds() < deadline && clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}

}  // namespace platform

using namespace platform;

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
  if (!count) return FALSE;
  count->QuadPart = static_cast<LONGLONG>(NowMicroseconds() * 10u);
  return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  if (!frequency) return FALSE;
  frequency->QuadPart = kPerformanceFrequency;
  return TRUE;
}

DWORD GetTickCount() { return static_cast<DWORD>(NowMicroseconds() / 1000u); }

void GetLocalTime(LPSYSTEMTIME out) {
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    if (State().fakeLocalTimeSet) {
      *out = State().fakeLocalTime;
      return;
    }
  }
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  struct tm broken;
  localtime_r(&now.tv_sec, &broken);
  FillSystemTime(broken, now.tv_nsec, out);
}

void GetSystemTime(LPSYSTEMTIME out) {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  struct tm broken;
  gmtime_r(&now.tv_sec, &broken);
  FillSystemTime(broken, now.tv_nsec, out);
}

BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, LPFILETIME localFileTime) {
  if (!fileTime || !localFileTime) return FALSE;
  uint64_t value = (static_cast<uint64_t>(fileTime->dwHighDateTime) << 32) | fileTime->dwLowDateTime;
  time_t seconds = static_cast<time_t>((value - kFileTimeUnixEpoch) / 10000000u);
  struct tm broken;
  localtime_r(&seconds, &broken);
  value += static_cast<int64_t>(broken.tm_gmtoff) * 10000000;
  localFileTime->dwLowDateTime = static_cast<DWORD>(value);
  localFileTime->dwHighDateTime = static_cast<DWORD>(value >> 32);
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime) {
  if (!fileTime || !systemTime) return FALSE;
  uint64_t value = (static_cast<uint64_t>(fileTime->dwHighDateTime) << 32) | fileTime->dwLowDateTime;
  if (value < kFileTimeUnixEpoch) value = kFileTimeUnixEpoch;
  uint64_t sinceEpoch = value - kFileTimeUnixEpoch;
  time_t seconds = static_cast<time_t>(sinceEpoch / 10000000u);
  struct tm broken;
  if (!gmtime_r(&seconds, &broken)) return FALSE;
  FillSystemTime(broken, static_cast<long>(sinceEpoch % 10000000u) * 100, systemTime);
  return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, LPFILETIME fileTime) {
  if (!systemTime || !fileTime) return FALSE;
  struct tm broken = {};
  broken.tm_year = systemTime->wYear - 1900;
  broken.tm_mon = systemTime->wMonth - 1;
  broken.tm_mday = systemTime->wDay;
  broken.tm_hour = systemTime->wHour;
  broken.tm_min = systemTime->wMinute;
  broken.tm_sec = systemTime->wSecond;
  time_t seconds = timegm(&broken);
  uint64_t value = kFileTimeUnixEpoch + static_cast<uint64_t>(seconds) * 10000000u +
                   static_cast<uint64_t>(systemTime->wMilliseconds) * 10000u;
  fileTime->dwLowDateTime = static_cast<DWORD>(value);
  fileTime->dwHighDateTime = static_cast<DWORD>(value >> 32);
  return TRUE;
}

namespace platform::testing {

void UseFakeClock(bool on) {
  if (on && !State().fakeClock.load()) State().fakeMicroseconds = RealMicroseconds();
  if (!on) State().fakeClockDriver = 0;
  State().fakeClock = on;
}

void DriveFakeClockFromThisThread(bool on) { State().fakeClockDriver = on ? GetCurrentThreadId() : 0; }

void SetFakeSleepLateness(uint64_t microseconds) { State().fakeSleepLateness = microseconds; }

void SetFakeClockMilliseconds(uint64_t milliseconds) { State().fakeMicroseconds = milliseconds * 1000u; }

void AdvanceFakeClock(uint64_t microseconds) { State().fakeMicroseconds += microseconds; }

void SleepMovesFakeClock(bool on) { State().sleepMovesFakeClock = on; }

void SetFakeLocalTime(const SYSTEMTIME* time) {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().fakeLocalTimeSet = time != nullptr;
  if (time) State().fakeLocalTime = *time;
}

}  // namespace platform::testing
