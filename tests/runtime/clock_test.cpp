// Clocks and the random generator.
#include <gtest/gtest.h>

#include <vector>

#include "platform/testing.h"
#include "runtime/runtime_state.h"
#include "zyvel/runtime.h"

namespace {

// An independent Mersenne Twister written from the 1998 reference generator, with its 69069
// seeding rule, to check the library's sequence against.
class ReferenceTwister {
 public:
  explicit ReferenceTwister(uint32_t seed) {
    for (int i = 0; i < 624; ++i) {
      mt_[i] = seed & 0xffff0000u;
      seed = 69069 * seed + 1;
      mt_[i] |= (seed & 0xffff0000u) >> 16;
      seed = 69069 * seed + 1;
    }
    index_ = 624;
  }

  uint32_t Next() {
    static const uint32_t mag01[2] = {0x0u, 0x9908b0dfu};
    if (index_ >= 624) {
      int kk;
      uint32_t y;
      for (kk = 0; kk < 624 - 397; kk++) {
        y = (mt_[kk] & 0x80000000u) | (mt_[kk + 1] & 0x7fffffffu);
        mt_[kk] = mt_[kk + 397] ^ (y >> 1) ^ mag01[y & 0x1];
      }
      for (; kk < 623; kk++) {
        y = (mt_[kk] & 0x80000000u) | (mt_[kk + 1] & 0x7fffffffu);
        mt_[kk] = mt_[kk + (397 - 624)] ^ (y >> 1) ^ mag01[y & 0x1];
      }
      y = (mt_[623] & 0x80000000u) | (mt_[0] & 0x7fffffffu);
      mt_[623] = mt_[396] ^ (y >> 1) ^ mag01[y & 0x1];
      index_ = 0;
    }
    uint32_t y = mt_[index_++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9d2c5680u;
    y ^= (y << 15) & 0xefc60000u;
    y ^= y >> 18;
    return y;
  }

 private:
  uint32_t mt_[624];
  int index_;
};

TEST(Random, SequenceMatchesTheReferenceGenerator) {
  for (int seed : {4357, 1, 0, -12345, 20261210}) {
    SeedRandom(seed);
    ReferenceTwister reference(static_cast<uint32_t>(seed));
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(RandomNext(), reference.Next()) << "seed " << seed << " output " << i;
  }
}

TEST(Random, KnownFirstValuesAndRanges) {
  SeedRandom(4357);
  const uint32_t expected[] = {2867219139u, 1585203162u, 3113124129u, 2953900839u, 2463794868u};
  for (uint32_t value : expected) EXPECT_EQ(RandomNext(), value);

  SeedRandom(4357);
  const int dice[] = {4, 2, 5, 4, 4};
  for (int value : dice) EXPECT_EQ(RandomUpTo(6), value);

  SeedRandom(99);
  for (int i = 0; i < 1000; ++i) {
    EXPECT_EQ(RandomUpTo(0), 0);
    int value = RandomUpTo(6);
    EXPECT_GE(value, 0);
    EXPECT_LE(value, 6);
  }
}

TEST(Clock, MillisecondsStayNonNegativeAcrossTheWrap) {
  platform::testing::UseFakeClock(true);
  platform::testing::SetFakeClockMilliseconds(0xFFFFFFF0ull);
  EXPECT_EQ(GetMillisecondCount(), 0x7FFFFFF0);
  platform::testing::SetFakeClockMilliseconds(0x80000005ull);
  EXPECT_EQ(GetMillisecondCount(), 5);
  platform::testing::AdvanceFakeClock(1000);
  EXPECT_EQ(GetMillisecondCount(), 6);
  platform::testing::UseFakeClock(false);
}

TEST(Clock, MicrosecondSources) {
  platform::testing::UseFakeClock(true);
  platform::testing::SetFakeClockMilliseconds(5000);
  RuntimeRecord saved = g_runtime;

  // Before start-up the time-stamp counter is never used, even when asked for.
  g_runtime.clocks.timeStampCounterAllowed = 0;
  g_runtime.clocks.hasTimeStampCounter = 1;
  g_runtime.clocks.timeStampFrequency = 3;  // A frequency that would give absurd values if used.
  g_runtime.clocks.usePerformanceCounter = 0;
  EXPECT_EQ(GetMicrosecondCount(1), 5000000u);

  g_runtime.clocks.usePerformanceCounter = 1;
  g_runtime.clocks.performanceFrequency = 10000000;  // The stand-in's 100 ns counter.
  EXPECT_EQ(GetMicrosecondCount(1), 5000000u);

  // Initialised with a time-stamp counter: the fake clock's counter runs at 1 GHz.
  g_runtime.clocks.timeStampCounterAllowed = 1;
  g_runtime.clocks.timeStampFrequency = 1000000000ull;
  EXPECT_EQ(GetMicrosecondCount(1), 5000000u);
  EXPECT_EQ(GetMicrosecondCount(0), 5000000u);

  g_runtime = saved;
  platform::testing::UseFakeClock(false);
}

TEST(Clock, LocalDateTime) {
  SYSTEMTIME fixed = {2011, 3, 1, 7, 9, 5, 12, 0};
  platform::testing::SetFakeLocalTime(&fixed);
  DateTimeRecord now;
  EXPECT_EQ(ReadLocalDateTime(&now), 0);
  EXPECT_EQ(now.year, 2011);
  EXPECT_EQ(now.month, 3);
  EXPECT_EQ(now.day, 7);
  EXPECT_EQ(now.hour, 9);
  EXPECT_EQ(now.minute, 5);
  EXPECT_EQ(now.second, 12);
  platform::testing::SetFakeLocalTime(nullptr);
}

TEST(Processor, MmxOnEveryX86_64) { EXPECT_EQ(HasMmxInstructions(), 1); }

}  // namespace
