// Software blit throughput in Mpixel/s beside a plain memcpy of the same frame and beside pixman
// compositing the same picture (OVER for alpha, ADD, a solid mask for constant alpha, nearest
// scaling for stretched draws): the 32-bit copy and alpha blits unscaled and stretched, at the
// game's window size and at 1920 x 1080. Sources hold random colours; per-pixel alpha is either
// uniform random or mixed (a third clear, a third opaque, a third partial) so no branch predicts
// itself. The table at the end gives each blit's ratio to its reference.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include <pixman.h>

#include "memimg/derived_data.h"
#include "ratio_report.h"
#include "zyvel/memimg.h"

namespace {

enum class Alpha { None, Mixed, Uniform };

struct Frame {
  MEMIMG source = {};
  MEMIMG dest = {};
  MemImgDrawSettings settings = {};
  Frame(int width, int height, int sourceWidth, int sourceHeight, int format, Alpha pattern) {
    const bool alpha = pattern != Alpha::None;
    SetupMemImgBlendTables();
    SetupMemImg(&source, sourceWidth, sourceHeight, -1, 0, format, 0, alpha, 1, nullptr);
    SetupMemImg(&dest, width, height, -1, 0, format, 0, 0, 0, nullptr);
    std::mt19937 random(42);
    for (int i = 0; i < source.Core->Pitch * sourceHeight; ++i)
      source.Core->PixelBuffer[i] = static_cast<uint8_t>(random());
    if (pattern == Alpha::Mixed && format == 1) {
      // A third clear, a third opaque, a third partial, in random order.
      for (int y = 0; y < sourceHeight; ++y)
        for (int x = 0; x < sourceWidth; ++x) {
          const int kind = random() % 3;
          source.Pixels[y * source.Core->Pitch + x * 4 + 3] = kind == 0   ? 0
                                                              : kind == 1 ? 255
                                                                          : static_cast<uint8_t>(random() % 254 + 1);
        }
    }
    if (alpha && format == 1) {
      BuildMemImgLineCodes(source.Core);
      source.Core->LineCodesValid = 1;
    }
    FillMemImgRaw(&dest, nullptr, 0x00406080);
    settings.DrawArea = {0, 0, width, height};
    settings.BrightColor = 0xFFFFFF;
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

void Unscaled(benchmark::State& state, int mode, int param, Alpha alpha, int transparent) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  Frame frame(width, height, width, height, 1, alpha);
  frame.settings.BlendMode = mode;
  frame.settings.BlendParam = param;
  for (auto _ : state) {
    BlitMemImgAt(&frame.dest, &frame.source, 0, 0, transparent, nullptr, frame.settings);
    benchmark::ClobberMemory();
  }
  ReportPixels(state, static_cast<int64_t>(width) * height);
}

// The source is 2/3 of the frame (scale 1.5), or half of it with `twice`.
void Stretched(benchmark::State& state, int mode, int param, Alpha alpha, bool twice = false) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  Frame frame(width, height, twice ? width / 2 : width * 2 / 3, twice ? height / 2 : height * 2 / 3, 1, alpha);
  frame.settings.BlendMode = mode;
  frame.settings.BlendParam = param;
  const int rect[4] = {0, 0, width, height};
  for (auto _ : state) {
    BlitMemImgToRect(&frame.dest, &frame.source, rect, alpha != Alpha::None ? 1 : 0, nullptr, frame.settings);
    benchmark::ClobberMemory();
  }
  ReportPixels(state, static_cast<int64_t>(width) * height);
}

void BM_BlitCopy32(benchmark::State& state) { Unscaled(state, 0, 0, Alpha::None, 0); }
void BM_BlitCopyKey32(benchmark::State& state) { Unscaled(state, 0, 0, Alpha::None, 1); }
void BM_BlitAlpha32(benchmark::State& state) { Unscaled(state, 1, 100, Alpha::None, 0); }
void BM_BlitSourceAlpha32(benchmark::State& state) { Unscaled(state, 0, 0, Alpha::Mixed, 1); }
void BM_BlitSourceAlphaUniform32(benchmark::State& state) { Unscaled(state, 0, 0, Alpha::Uniform, 1); }
void BM_BlitAdd32(benchmark::State& state) { Unscaled(state, 2, 255, Alpha::None, 0); }
void BM_StretchCopy32(benchmark::State& state) { Stretched(state, 0, 0, Alpha::None); }
void BM_StretchAlpha32(benchmark::State& state) { Stretched(state, 1, 100, Alpha::None); }
void BM_StretchSourceAlpha32(benchmark::State& state) { Stretched(state, 0, 0, Alpha::Mixed); }
void BM_Stretch2xSourceAlpha32(benchmark::State& state) { Stretched(state, 0, 0, Alpha::Mixed, true); }

// pixman on the same pictures: the source's bytes as a8r8g8b8 (or x8r8g8b8), the frame as
// x8r8g8b8, an optional solid mask of the constant alpha, nearest scaling when stretched.
void Pixman(benchmark::State& state, pixman_op_t op, Alpha alpha, int constantAlpha, int scaleNumerator,
            int scaleDenominator) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const int sourceWidth = width * scaleDenominator / scaleNumerator;
  const int sourceHeight = height * scaleDenominator / scaleNumerator;
  Frame frame(width, height, sourceWidth, sourceHeight, 1, alpha);
  pixman_image_t* source = pixman_image_create_bits(
      alpha != Alpha::None ? PIXMAN_a8r8g8b8 : PIXMAN_x8r8g8b8, sourceWidth, sourceHeight,
      reinterpret_cast<uint32_t*>(frame.source.Pixels), frame.source.Core->Pitch);
  pixman_image_t* dest = pixman_image_create_bits(
      PIXMAN_x8r8g8b8, width, height, reinterpret_cast<uint32_t*>(frame.dest.Pixels), frame.dest.Core->Pitch);
  pixman_image_t* mask = nullptr;
  if (constantAlpha >= 0) {
    const pixman_color_t color = {0, 0, 0, static_cast<uint16_t>(constantAlpha * 257)};
    mask = pixman_image_create_solid_fill(&color);
  }
  if (scaleNumerator != scaleDenominator) {
    pixman_transform_t transform;
    pixman_transform_init_scale(&transform, pixman_int_to_fixed(scaleDenominator) / scaleNumerator,
                                pixman_int_to_fixed(scaleDenominator) / scaleNumerator);
    pixman_image_set_transform(source, &transform);
    pixman_image_set_filter(source, PIXMAN_FILTER_NEAREST, nullptr, 0);
  }
  for (auto _ : state) {
    pixman_image_composite32(op, source, mask, dest, 0, 0, 0, 0, 0, 0, width, height);
    benchmark::ClobberMemory();
  }
  if (mask) pixman_image_unref(mask);
  pixman_image_unref(source);
  pixman_image_unref(dest);
  ReportPixels(state, static_cast<int64_t>(width) * height);
}

void BM_PixmanOverMixed(benchmark::State& state) { Pixman(state, PIXMAN_OP_OVER, Alpha::Mixed, -1, 1, 1); }
void BM_PixmanOverUniform(benchmark::State& state) { Pixman(state, PIXMAN_OP_OVER, Alpha::Uniform, -1, 1, 1); }
void BM_PixmanConstantAlpha(benchmark::State& state) { Pixman(state, PIXMAN_OP_OVER, Alpha::None, 100, 1, 1); }
void BM_PixmanAdd(benchmark::State& state) { Pixman(state, PIXMAN_OP_ADD, Alpha::None, -1, 1, 1); }
void BM_PixmanStretchOverMixed(benchmark::State& state) { Pixman(state, PIXMAN_OP_OVER, Alpha::Mixed, -1, 3, 2); }
void BM_PixmanStretch2xOverMixed(benchmark::State& state) { Pixman(state, PIXMAN_OP_OVER, Alpha::Mixed, -1, 2, 1); }
void BM_PixmanStretchConstantAlpha(benchmark::State& state) { Pixman(state, PIXMAN_OP_OVER, Alpha::None, 100, 3, 2); }

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
BENCHMARK(BM_BlitSourceAlphaUniform32) FRAME_SIZES;
BENCHMARK(BM_Stretch2xSourceAlpha32) FRAME_SIZES;
BENCHMARK(BM_PixmanOverMixed) FRAME_SIZES;
BENCHMARK(BM_PixmanOverUniform) FRAME_SIZES;
BENCHMARK(BM_PixmanConstantAlpha) FRAME_SIZES;
BENCHMARK(BM_PixmanAdd) FRAME_SIZES;
BENCHMARK(BM_PixmanStretchOverMixed) FRAME_SIZES;
BENCHMARK(BM_PixmanStretch2xOverMixed) FRAME_SIZES;
BENCHMARK(BM_PixmanStretchConstantAlpha) FRAME_SIZES;

int main(int argc, char** argv) {
  std::vector<RatioPair> pairs;
  static const char* const kPairs[][2] = {
      {"BM_BlitCopy32", "BM_Memcpy"},
      {"BM_BlitSourceAlphaUniform32", "BM_PixmanOverUniform"},
      {"BM_BlitSourceAlpha32", "BM_PixmanOverMixed"},
      {"BM_BlitAlpha32", "BM_PixmanConstantAlpha"},
      {"BM_BlitAdd32", "BM_PixmanAdd"},
      {"BM_StretchSourceAlpha32", "BM_PixmanStretchOverMixed"},
      {"BM_Stretch2xSourceAlpha32", "BM_PixmanStretch2xOverMixed"},
      {"BM_StretchAlpha32", "BM_PixmanStretchConstantAlpha"},
  };
  for (const char* size : {"/408/504", "/1920/1080"})
    for (const auto& pair : kPairs)
      pairs.push_back({std::string(pair[0]).append(size), std::string(pair[1]).append(size)});
  return RunBenchmarksWithRatios(argc, argv, "pixels", pairs);
}
