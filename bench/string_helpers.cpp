// Byte copies and double-byte text scans, beside memcpy/memchr as the physical reference.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "ratio_report.h"
#include "runtime/runtime_state.h"
#include "zyvel/runtime.h"

namespace {

std::vector<char> MixedText(size_t size) {
  // Half single-byte, half double-byte characters, none of them the searched-for '|'.
  std::mt19937 random(7);
  std::vector<char> text;
  while (text.size() + 2 < size) {
    if (random() & 1) {
      text.push_back(static_cast<char>(0x81 + random() % 0x1F));
      text.push_back(static_cast<char>(0x40 + random() % 0x3F));
    } else {
      text.push_back(static_cast<char>('a' + random() % 26));
    }
  }
  text.push_back(0);
  return text;
}

void BM_CopyBytes(benchmark::State& state) {
  std::vector<char> from(static_cast<size_t>(state.range(0)), 'x'), to(from.size());
  {
    // The copy gives memcpy's bytes, from text that is not all one byte.
    std::vector<char> text = MixedText(from.size()), copied(text.size(), 0), reference(text.size(), 1);
    CopyBytes(copied.data(), text.data(), static_cast<int>(text.size()));
    std::memcpy(reference.data(), text.data(), text.size());
    RequireSameOutput(copied == reference, "CopyBytes and memcpy");
  }
  for (auto _ : state) {
    CopyBytes(to.data(), from.data(), static_cast<int>(from.size()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_MemcpyReference(benchmark::State& state) {
  std::vector<char> from(static_cast<size_t>(state.range(0)), 'x'), to(from.size());
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_FindCharInString(benchmark::State& state) {
  g_runtime.charSet = CHARSET_SHIFTJIS;
  std::vector<char> text = MixedText(static_cast<size_t>(state.range(0)));
  // Both scans cross the whole text and find nothing (see BM_MemchrReference).
  RequireSameOutput(
      FindCharInString(text.data(), '|') == nullptr && std::memchr(text.data(), '\x01', text.size()) == nullptr,
      "FindCharInString and memchr");
  for (auto _ : state) benchmark::DoNotOptimize(FindCharInString(text.data(), '|'));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_MemchrReference(benchmark::State& state) {
  std::vector<char> text = MixedText(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(text.data());
    // A byte the text never holds: '|' can be a double-byte character's second byte, where
    // memchr would stop early while the text scan rightly goes on.
    benchmark::DoNotOptimize(std::memchr(text.data(), '\x01', text.size()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

}  // namespace

BENCHMARK(BM_CopyBytes)->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_MemcpyReference)->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_FindCharInString)->Arg(4096);
BENCHMARK(BM_MemchrReference)->Arg(4096);
