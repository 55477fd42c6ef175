// DXT1 and DXT5 blocks of a 512 x 512 picture decoded into ARGB8 pixels, as graphs made from
// compressed pictures pay it on the software path, beside memcpy of the decoded bytes. The blocks
// are random, so both colour modes and all alpha ramps occur. Reported as Mpixel/s.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "zyvel/graphics.h"

namespace {

constexpr int Side = 512;

void DecodeDxt(benchmark::State& state) {
  const uint32_t kind = static_cast<uint32_t>(state.range(0));
  const size_t bytes = static_cast<size_t>(Side / 4) * (Side / 4) * (kind == 1 ? 8 : 16);
  std::vector<uint8_t> blocks(bytes);
  std::mt19937 random(5);
  for (uint8_t& b : blocks) b = static_cast<uint8_t>(random());
  for (auto _ : state) {
    state.PauseTiming();
    BaseImage image{};
    SetupARGB8ColorData(&image.color);
    image.color.dxtKind = kind;
    image.width = image.height = Side;
    image.pixels = static_cast<uint8_t*>(ZV_ALLOC(static_cast<int>(bytes)));
    std::memcpy(image.pixels, blocks.data(), bytes);
    state.ResumeTiming();
    DecodeDxtBaseImage(&image);
    benchmark::DoNotOptimize(image.pixels[0]);
    state.PauseTiming();
    ReleaseBaseImage(&image);
    state.ResumeTiming();
  }
  state.counters["Mpixel/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * Side * Side / 1e6,
                                                  benchmark::Counter::kIsRate);
}

void MemcpyReference(benchmark::State& state) {
  std::vector<uint8_t> from(static_cast<size_t>(Side) * Side * 4, 1), to(from.size());
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::DoNotOptimize(to.data());
  }
  state.counters["Mpixel/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * Side * Side / 1e6,
                                                  benchmark::Counter::kIsRate);
}

BENCHMARK(DecodeDxt)->Arg(1)->Arg(5);
BENCHMARK(MemcpyReference);

}  // namespace
