// TransferImagePixels throughput for the common format pairs, beside memcpy of the same bytes.
// Reported as Mpixel/s (items per second); sources are random pixels so no path is flattered.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "zyvel/graphics.h"

namespace {

constexpr int Width = 1024;
constexpr int Height = 512;

ColorData Format(int kind) {
  ColorData c{};
  switch (kind) {
    case 0:
      SetupPalette8ColorData(&c);
      for (int i = 0; i < 256; ++i) c.palette[i] = {uint8_t(i), uint8_t(i * 3), uint8_t(i * 5), 0};
      break;
    case 1:
      SetupRGB24ColorData(&c);
      break;
    case 2:
      SetupXRGB8ColorData(&c);
      break;
    case 3:
      SetupARGB8ColorData(&c);
      break;
    case 4:
      SetupColorDataFromMasks(&c, 16, 0xF800, 0x07E0, 0x001F, 0);
      break;
    case 5:
      SetupColorDataFromMasks(&c, 16, 0x7C00, 0x03E0, 0x001F, 0x8000);
      break;
    default:
      SetupColorDataFromMasks(&c, 16, 0x0F00, 0x00F0, 0x000F, 0xF000);
      break;
  }
  return c;
}

const char* const FormatNames[] = {"palette", "rgb24", "xrgb8", "argb8", "565", "a1555", "a4444"};

void TransferPair(benchmark::State& state) {
  const ColorData src = Format(static_cast<int>(state.range(0)));
  const ColorData dst = Format(static_cast<int>(state.range(1)));
  const int keyToAlpha = static_cast<int>(state.range(2));
  std::vector<uint8_t> source(static_cast<size_t>(Width) * Height * src.bytesPerPixel);
  std::mt19937 random(7);
  for (auto& byte : source) byte = static_cast<uint8_t>(random());
  std::vector<uint8_t> destination(static_cast<size_t>(Width) * Height * dst.bytesPerPixel);
  const ImageTransferRect rect = {0, 0, Width, Height};
  for (auto _ : state) {
    TransferImagePixels(destination.data(), Width * dst.bytesPerPixel, &dst, source.data(), Width * src.bytesPerPixel,
                        &src, nullptr, 0, nullptr, 0, 0, &rect, 0, keyToAlpha, 0x00FF00FF, 0, 0, 0, 0, 0);
    benchmark::DoNotOptimize(destination.data());
  }
  state.SetItemsProcessed(state.iterations() * Width * Height);
  state.SetLabel(std::string(FormatNames[state.range(0)]) + " -> " + FormatNames[state.range(1)] +
                 (keyToAlpha ? " key" : ""));
}

// The physical reference: copying the destination's bytes per pixel.
void CopyReference(benchmark::State& state) {
  const size_t bytes = static_cast<size_t>(Width) * Height * static_cast<size_t>(state.range(0));
  std::vector<uint8_t> source(bytes, 1), destination(bytes);
  for (auto _ : state) {
    std::memcpy(destination.data(), source.data(), bytes);
    benchmark::DoNotOptimize(destination.data());
  }
  state.SetItemsProcessed(state.iterations() * Width * Height);
  state.SetLabel("memcpy " + std::to_string(state.range(0)) + " bytes/pixel");
}

}  // namespace

BENCHMARK(CopyReference)->Arg(2)->Arg(4);
BENCHMARK(TransferPair)
    ->Args({0, 2, 0})   // Palette to XRGB8 (fast).
    ->Args({1, 2, 0})   // RGB24 to XRGB8 (fast).
    ->Args({1, 4, 0})   // RGB24 to 5-6-5 (fast).
    ->Args({4, 2, 0})   // 5-6-5 to XRGB8 (fast).
    ->Args({1, 3, 1})   // RGB24 to ARGB8 with key (fast).
    ->Args({2, 2, 0})   // Same format (block copy).
    ->Args({3, 6, 0})   // ARGB8 to A4444 (general).
    ->Args({4, 3, 0})   // 5-6-5 to ARGB8 (general).
    ->Args({2, 0, 0});  // XRGB8 to palette (nearest colour).
