// Software blit throughput in Mpixel/s beside a plain memcpy of the same frame: the 32-bit copy
// and alpha blits unscaled and stretched, at the game's window size and at 1920 x 1080. Sources
// hold random colours and alphas so no branch predicts itself.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "graphics/draw_state.h"
#include "memimg/derived_data.h"
#include "zyvel/memimg.h"

namespace {

struct Frame {
  MEMIMG source = {};
  MEMIMG dest = {};
  Frame(int width, int height, int sourceWidth, int sourceHeight, int format, bool alpha) {
    SetupMemImgBlendTables();
    SetupMemImg(&source, sourceWidth, sourceHeight, -1, 0, format, 0, alpha, 1, nullptr);
    SetupMemImg(&dest, width, height, -1, 0, format, 0, 0, 0, nullptr);
    std::mt19937 random(42);
    for (int i = 0; i < source.Core->Pitch * sourceHeight; ++i) source.Core->PixelBuffer[i] = static_cast<uint8_t>(random());
    if (alpha && format == 1) {
      // A third clear, a third opaque, a third partial, in random order.
      for (int y = 0; y < sourceHeight; ++y)
        for (int x = 0; x < sourceWidth; ++x) {
          const int kind = random() % 3;
          source.Pixels[y * source.Core->Pitch + x * 4 + 3] = kind == 0 ? 0 : kind == 1 ? 255 : static_cast<uint8_t>(random() % 254 + 1);
        }
      BuildMemImgLineCodes(source.Core);
      source.Core->LineCodesValid = 1;
    }
    FillMemImgRaw(&dest, nullptr, 0x00406080);
    g_drawState.DrawArea = {0, 0, width, height};
    g_drawState.BrightColor = 0xFFFFFF;
  }
  ~Frame() {
    ReleaseMemImg(&source);
    ReleaseMemImg(&dest);
  }
};

// Printed as pixels per second with an SI prefix: "pixels=392M/s" is 392 Mpixel/s.
void ReportPixels(benchmark::State& state, int64_t pixels) {
  state.counters["pixels"] = benchmark::Counter(static_cast<double>(pixels) * state.iterations(),
                                                benchmark::Counter::kIsRate);
}

void BM_Memcpy(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  std::vector<uint8_t> from(static_cast<size_t>(width) * height * 4, 0x5A);
  std::vector<uint8_t> to(from.size());
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::ClobberMemory();
  }
  ReportPixels(state, static_cast<int64_t>(width) * height);
}

void Unscaled(benchmark::State& state, int mode, int param, bool alpha, int transparent) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  Frame frame(width, height, width, height, 1, alpha);
  g_drawState.BlendMode = mode;
  g_drawState.BlendParam = param;
  for (auto _ : state) {
    BlitMemImgAt(&frame.dest, &frame.source, 0, 0, transparent, nullptr);
    benchmark::ClobberMemory();
  }
  ReportPixels(state, static_cast<int64_t>(width) * height);
}

void Stretched(benchmark::State& state, int mode, int param, bool alpha) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  Frame frame(width, height, width * 2 / 3, height * 2 / 3, 1, alpha);
  g_drawState.BlendMode = mode;
  g_drawState.BlendParam = param;
  const int rect[4] = {0, 0, width, height};
  for (auto _ : state) {
    BlitMemImgToRect(&frame.dest, &frame.source, rect, alpha ? 1 : 0, nullptr);
    benchmark::ClobberMemory();
  }
  ReportPixels(state, static_cast<int64_t>(width) * height);
}

void BM_BlitCopy32(benchmark::State& state) { Unscaled(state, 0, 0, false, 0); }
void BM_BlitCopyKey32(benchmark::State& state) { Unscaled(state, 0, 0, false, 1); }
void BM_BlitAlpha32(benchmark::State& state) { Unscaled(state, 1, 100, false, 0); }
void BM_BlitSourceAlpha32(benchmark::State& state) { Unscaled(state, 0, 0, true, 1); }
void BM_BlitAdd32(benchmark::State& state) { Unscaled(state, 2, 255, false, 0); }
void BM_StretchCopy32(benchmark::State& state) { Stretched(state, 0, 0, false); }
void BM_StretchAlpha32(benchmark::State& state) { Stretched(state, 1, 100, false); }
void BM_StretchSourceAlpha32(benchmark::State& state) { Stretched(state, 0, 0, true); }

}  // namespace

#define FRAME_SIZES ->Args({408, 504})->Args({1920, 1080})
BENCHMARK(BM_Memcpy) FRAME_SIZES;
BENCHMARK(BM_BlitCopy32) FRAME_SIZES;
BENCHMARK(BM_BlitCopyKey32) FRAME_SIZES;
BENCHMARK(BM_BlitAlpha32) FRAME_SIZES;
BENCHMARK(BM_BlitSourceAlpha32) FRAME_SIZES;
BENCHMARK(BM_BlitAdd32) FRAME_SIZES;
BENCHMARK(BM_StretchCopy32) FRAME_SIZES;
BENCHMARK(BM_StretchAlpha32) FRAME_SIZES;
BENCHMARK(BM_StretchSourceAlpha32) FRAME_SIZES;
