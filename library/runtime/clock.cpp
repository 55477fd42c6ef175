// Clocks (milliseconds, microseconds, local date) and the Mersenne Twister random generator with
// its pre-tempered output table.
#include "platform/kernel.h"
#include "platform/winmm.h"
#include "runtime/runtime_state.h"
#include "zyvel/runtime.h"

namespace {

constexpr int kStateWords = 624;
constexpr int kMiddle = 397;
constexpr uint32_t kMatrix = 0x9908B0DFu;
constexpr uint32_t kUpperMask = 0x80000000u;
constexpr uint32_t kLowerMask = 0x7FFFFFFFu;
constexpr int kUnseededSeed = 4357;

struct MtRandomState {
  uint32_t state[kStateWords];
  int outputIndex = kStateWords;
  uint32_t output[kStateWords];
  int seeded = 0;
  int mmx = 0;  // Kept for the record: the block is computed one way, with the same results.
};

MtRandomState g_random;

void GenerateBlock() {
  uint32_t* mt = g_random.state;
  for (int i = 0; i < kStateWords; ++i) {
    const uint32_t combined = (mt[i] & kUpperMask) | (mt[(i + 1) % kStateWords] & kLowerMask);
    mt[i] = mt[(i + kMiddle) % kStateWords] ^ (combined >> 1) ^ ((combined & 1u) ? kMatrix : 0u);
    uint32_t y = mt[i];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    g_random.output[i] = y;
  }
  g_random.outputIndex = 0;
}

}  // namespace

int GetMillisecondCount() { return static_cast<int>(timeGetTime() & 0x7FFFFFFFu); }

static uint64_t ScaleToMicroseconds(uint64_t ticks, uint64_t frequency) {
  const uint64_t million = 1000000u;
  uint32_t product[4];
  MulU64ToU128(&ticks, &million, product);
  uint64_t quotient = 0;
  DivU128ByU64(product, &frequency, &quotient);
  return quotient;
}

uint64_t GetMicrosecondCount(int useCpuCounter) {
  const ClockChoice& record = g_runtime.clocks;
  if (useCpuCounter == 1 && record.hasTimeStampCounter && record.timeStampCounterAllowed &&
      record.timeStampFrequency != 0)
    return ScaleToMicroseconds(ReadTimeStampCounter(), record.timeStampFrequency);
  if (record.usePerformanceCounter && record.performanceFrequency != 0) {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return ScaleToMicroseconds(static_cast<uint64_t>(counter.QuadPart), record.performanceFrequency);
  }
  return static_cast<uint64_t>(timeGetTime()) * 1000u;
}

int ReadLocalDateTime(DateTimeRecord* out) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  out->year = now.wYear;
  out->month = now.wMonth;
  out->day = now.wDay;
  out->hour = now.wHour;
  out->minute = now.wMinute;
  out->second = now.wSecond;
  return 0;
}

int SeedRandom(int seed) {
  uint32_t x = static_cast<uint32_t>(seed);
  for (int i = 0; i < kStateWords; ++i) {
    g_random.state[i] = (x & 0xFFFF0000u) | ((x * 69069u + 1u) >> 16);
    x = x * 475559465u + 69070u;  // Two steps of x * 69069 + 1.
  }
  g_random.mmx = HasMmxInstructions();
  g_random.seeded = 1;
  GenerateBlock();
  return 0;
}

uint32_t RandomNext() {
  if (g_random.outputIndex >= kStateWords) {
    if (!g_random.seeded) {
      SeedRandom(kUnseededSeed);
    } else {
      GenerateBlock();
    }
  }
  return g_random.output[g_random.outputIndex++];
}

int RandomUpTo(int max) {
  // The range is max + 1 taken unsigned, so that no max can push the result outside 0..max.
  const uint64_t range = static_cast<uint32_t>(max) + 1u;
  return static_cast<int>((static_cast<uint64_t>(RandomNext()) * range) >> 32);
}

int HasMmxInstructions() {
  if (!HasCpuIdInstruction()) return 0;
  int registers[4];
  CpuId(registers, 0);
  if (registers[0] < 1) return 0;
  CpuId(registers, 1);
  return (registers[3] >> 23) & 1;
}
