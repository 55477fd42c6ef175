// Textured-triangle fill rate of the MEMIMG rasteriser in Mpixel/s, beside memcpy of the same
// number of destination bytes. Each iteration draws 64 differently rotated and scaled quads (two
// triangles each) from a noisy texture, so neither the spans nor the texels repeat.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "memimg/rasteriser_scan.h"
#include "zyvel/memimg.h"

namespace {

constexpr int kDestWidth = 640;
constexpr int kDestHeight = 480;
constexpr int kTextureSize = 256;
constexpr int kQuadCount = 64;

struct BenchImage {
  std::vector<uint8_t> Pixels;
  MemImgCore Core{};
  MEMIMG Image{};
  BenchImage(int width, int height, int format, int bytesPerPixel, int useAlpha = 0) {
    Pixels.resize(static_cast<size_t>(width) * height * bytesPerPixel);
    std::mt19937 random(static_cast<uint32_t>(width * 31 + height));
    for (uint8_t& byte : Pixels) byte = static_cast<uint8_t>(random());
    Core.Width = width;
    Core.Height = height;
    Core.Pitch = width * bytesPerPixel;
    Core.Format = format;
    Core.UseAlpha = useAlpha;
    Core.PixelBuffer = Pixels.data();
    Image.ValidMark = kMemImgValidMark;
    Image.Width = width;
    Image.Height = height;
    Image.Pixels = Pixels.data();
    Image.Core = &Core;
  }
};

struct Quad {
  MemImgVertex First[3];
  MemImgVertex Second[3];
};

// Quads around random centres, turned by random angles, 150 to 350 pixels across.
std::vector<Quad> MakeQuads(int64_t* pixelCount) {
  std::mt19937 random(99);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<Quad> quads;
  *pixelCount = 0;
  const RECT area = {0, 0, kDestWidth, kDestHeight};
  for (int i = 0; i < kQuadCount; ++i) {
    const double cx = 200 + 240 * unit(random), cy = 150 + 180 * unit(random);
    const double half = 75 + 100 * unit(random), angle = 6.2831853 * unit(random);
    int corner[4][2];
    const double offsets[4][2] = {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
    for (int k = 0; k < 4; ++k) {
      const double x = offsets[k][0] * half, y = offsets[k][1] * half;
      corner[k][0] = static_cast<int>(cx + x * std::cos(angle) - y * std::sin(angle));
      corner[k][1] = static_cast<int>(cy + x * std::sin(angle) + y * std::cos(angle));
    }
    const int w = kTextureSize, h = kTextureSize;
    Quad quad = {
        {{corner[0][0], corner[0][1], 0, 0}, {corner[1][0], corner[1][1], w, 0}, {corner[2][0], corner[2][1], 0, h}},
        {{corner[1][0], corner[1][1], w, 0}, {corner[2][0], corner[2][1], 0, h}, {corner[3][0], corner[3][1], w, h}}};
    for (const MemImgVertex* triangle : {quad.First, quad.Second}) {
      TriangleScan scan;
      if (SetupTriangleScan(triangle, &scan) == 0)
        WalkTriangleSpans(scan, area, [&](int, int, int count, uint32_t, uint32_t) { *pixelCount += count; });
    }
    quads.push_back(quad);
  }
  return quads;
}

MemImgDrawSettings SetUpDrawSettings(int mode, int param) {
  static const bool ready = [] {
    SetupMemImgBlendTables();
    SetMemImgBlendImageBorder(128, 255);
    return true;
  }();
  (void)ready;
  return {RECT{0, 0, kDestWidth, kDestHeight}, mode, param, 0xFFFFFF};
}

// Arguments: format (0 16-bit, 1 32-bit), blend mode, source alpha with transparency (0 or 1).
void BM_TexturedTriangles(benchmark::State& state) {
  const int format = static_cast<int>(state.range(0));
  const int mode = static_cast<int>(state.range(1));
  const int alpha = static_cast<int>(state.range(2));
  const int bytes = format == 1 ? 4 : 2;
  BenchImage dest(kDestWidth, kDestHeight, format, bytes);
  BenchImage texture(kTextureSize, kTextureSize, format, alpha || format == 1 ? 4 : 2, alpha);
  int64_t pixelsPerIteration = 0;
  const std::vector<Quad> quads = MakeQuads(&pixelsPerIteration);
  const MemImgDrawSettings settings = SetUpDrawSettings(mode, 128);
  for (auto _ : state) {
    for (const Quad& quad : quads) {
      MapMemImgTriangle(&dest.Image, &texture.Image, quad.First, alpha, nullptr, 0, settings);
      MapMemImgTriangle(&dest.Image, &texture.Image, quad.Second, alpha, nullptr, 0, settings);
    }
    benchmark::ClobberMemory();
  }
  state.counters["Mpixel"] = benchmark::Counter(
      static_cast<double>(pixelsPerIteration) * static_cast<double>(state.iterations()) / 1e6,
      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TexturedTriangles)
    ->ArgNames({"format", "mode", "alpha"})
    ->Args({1, 0, 0})
    ->Args({1, 1, 0})
    ->Args({1, 0, 1})
    ->Args({1, 2, 0})
    ->Args({0, 0, 0})
    ->Args({0, 1, 0});

void BM_FlatTriangles(benchmark::State& state) {
  BenchImage dest(kDestWidth, kDestHeight, 1, 4);
  int64_t pixelsPerIteration = 0;
  const std::vector<Quad> quads = MakeQuads(&pixelsPerIteration);
  const MemImgDrawSettings settings = SetUpDrawSettings(0, 255);
  for (auto _ : state) {
    for (const Quad& quad : quads) {
      MapMemImgTriangle(&dest.Image, nullptr, quad.First, 0, nullptr, 0x336699, settings);
      MapMemImgTriangle(&dest.Image, nullptr, quad.Second, 0, nullptr, 0x336699, settings);
    }
    benchmark::ClobberMemory();
  }
  state.counters["Mpixel"] = benchmark::Counter(
      static_cast<double>(pixelsPerIteration) * static_cast<double>(state.iterations()) / 1e6,
      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FlatTriangles);

// The physical reference: copying as many 32-bit pixels as the quads cover, in rows of the
// destination's width.
void BM_MemcpyReference(benchmark::State& state) {
  int64_t pixelsPerIteration = 0;
  MakeQuads(&pixelsPerIteration);
  std::vector<uint8_t> from(static_cast<size_t>(kDestWidth) * kDestHeight * 4, 1);
  std::vector<uint8_t> to(from.size());
  const size_t rowBytes = static_cast<size_t>(kDestWidth) * 4;
  for (auto _ : state) {
    int64_t left = pixelsPerIteration * 4;
    size_t at = 0;
    while (left > 0) {
      const size_t bytes = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(rowBytes)));
      std::memcpy(to.data() + at, from.data() + at, bytes);
      left -= static_cast<int64_t>(bytes);
      at = (at + rowBytes) % from.size();
    }
    benchmark::ClobberMemory();
  }
  state.counters["Mpixel"] = benchmark::Counter(
      static_cast<double>(pixelsPerIteration) * static_cast<double>(state.iterations()) / 1e6,
      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MemcpyReference);

}  // namespace
