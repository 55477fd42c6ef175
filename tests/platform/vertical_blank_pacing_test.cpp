// The vertical-blank wait on a machine whose sleeps wake late, played on the fake clock that the
// test's thread drives: its sleeps move the clock on by the time asked plus the lateness, and each
// reading moves it on by a microsecond.
#include <gtest/gtest.h>

#include "platform/com.h"
#include "platform/ddraw.h"
#include "platform/kernel.h"
#include "platform/testing.h"

namespace {

constexpr uint64_t kPeriod = 16666;  // 60 Hz in whole microseconds.

class VerticalBlankPacing : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::testing::SetDisplayModes({{640, 480, 32, 60}}, {640, 480, 32, 60});
    ASSERT_EQ(CoCreateInstance(CLSID_DirectDraw7, nullptr, CLSCTX_ALL, IID_IDirectDraw7,
                               reinterpret_cast<void**>(&directDraw_)),
              S_OK);
    ASSERT_EQ(directDraw_->Initialize(nullptr), DD_OK);
    platform::testing::UseFakeClock(true);
    platform::testing::SetFakeClockMilliseconds(1000);
    platform::testing::DriveFakeClockFromThisThread(true);
  }

  void TearDown() override {
    platform::testing::SetFakeSleepLateness(0);
    platform::testing::UseFakeClock(false);
    if (directDraw_) directDraw_->Release();
    platform::testing::UseSdlDisplayModes();
  }

  static uint64_t Now() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<uint64_t>(counter.QuadPart / 10);
  }

  IDirectDraw7* directDraw_ = nullptr;
};

TEST_F(VerticalBlankPacing, AfterTheFirstLateWakeEveryWaitEndsOnItsBlank) {
  // An idle machine's timer slack, then machines busy enough to make a woken thread wait.
  for (uint64_t lateness : {60u, 400u, 800u}) {
    platform::testing::SetFakeSleepLateness(lateness);
    for (int frame = 0; frame < 12; ++frame) {
      platform::testing::AdvanceFakeClock(5000);  // The frame's own work.
      const uint64_t before = Now();
      const uint64_t blank = (before / kPeriod + 1) * kPeriod;
      ASSERT_EQ(directDraw_->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr), DD_OK);
      const uint64_t after = Now();
      EXPECT_GE(after, blank) << "lateness " << lateness << ", frame " << frame;
      // The first wait learns how late sleeps wake; from then on the wait ends on the blank
      // itself (the clock reading that ends it and this one are a microsecond each).
      if (frame > 0) {
        EXPECT_LE(after - blank, 2u) << "lateness " << lateness << ", frame " << frame;
      }
    }
  }
}

}  // namespace
