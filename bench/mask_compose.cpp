// The software path's mask bracket over a whole 640 x 480 32-bit screen: the copy of the target
// into the mask screen and the composition back through a random mask, as every masked draw pays
// it, beside memcpy of the same two frames' bytes. Reported as Mpixel/s.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "graphics/graphs/draw_state.h"
#include "graphics/graphs/masks.h"
#include "graphics/graphs/screens.h"
#include "zyvel/graphics.h"

namespace {

constexpr int Width = 640;
constexpr int Height = 480;

void MaskBracket(benchmark::State& state) {
  SetScreenMode(Width, Height, 32, 60);
  SoftwareScreen& soft = g_softwareScreen;
  SetupScreenMemImg(&soft.ScreenImage, Width, Height, kMemImgFormat32);
  soft.TargetImage = &soft.ScreenImage;
  g_drawState.DrawTarget = -2;
  g_drawState.DrawArea = RECT{0, 0, Width, Height};
  CreateMaskScreen();
  std::mt19937 random(11);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) g_maskScreen.MaskBuffer[y * g_maskScreen.MaskPitch + x] = random() % 3 == 0;
  SetUseMaskFlag(1);
  for (auto _ : state) {
    BeginMaskedDrawing(0, 0, Width, Height);
    EndMaskedDrawing(0, 0, Width, Height);
    benchmark::DoNotOptimize(soft.ScreenImage.Pixels[0]);
  }
  state.counters["Mpixel/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * Width * Height / 1e6,
                                                  benchmark::Counter::kIsRate);
  EndMaskSystem();
  ReleaseMemImg(&soft.ScreenImage);
  soft = SoftwareScreen{};
}

void MemcpyReference(benchmark::State& state) {
  std::vector<uint8_t> from(static_cast<size_t>(Width) * Height * 4, 1), to(from.size());
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    std::memcpy(from.data(), to.data(), from.size());
    benchmark::DoNotOptimize(to.data());
  }
  state.counters["Mpixel/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * Width * Height / 1e6,
                                                  benchmark::Counter::kIsRate);
}

BENCHMARK(MaskBracket);
BENCHMARK(MemcpyReference);

}  // namespace
