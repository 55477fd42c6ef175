// Software blit throughput in Mpixel/s beside a plain memcpy of the same frame and beside pixman
// compositing the same picture (OVER for alpha, ADD, a solid mask for constant alpha, nearest
// scaling for stretched draws): the 32-bit copy, alpha and additive blits unscaled and stretched,
// at the game's window size and at 1920 x 1080. Sources hold random colours; per-pixel alpha is
// either uniform random or mixed (a third clear, a third opaque, a third partial) so no branch
// predicts itself. Before anything is timed, each blit and its reference draw the same picture
// onto the same random frame once and their pixels are compared; the table at the end gives each
// blit's ratio to its reference.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
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
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;
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

// One of our blits: a 32-bit source `scaleDenominator` / `scaleNumerator` of the frame's size
// drawn over the whole frame (unscaled at 1 / 1).
struct BlitDraw {
  int mode;
  int param;
  Alpha alpha;
  int transparent;
  int scaleNumerator;
  int scaleDenominator;
};

// The same picture for pixman: the operator, an optional solid mask of the constant alpha (-1 for
// none) and the pictures' formats. A source with alpha is handed over premultiplied, pixman's form
// of the same colours; an a8r8g8b8 source without alpha is opaque.
struct PixmanDraw {
  pixman_op_t op;
  Alpha alpha;
  int constantAlpha;
  int scaleNumerator;
  int scaleDenominator;
  pixman_format_code_t sourceFormat;
  pixman_format_code_t destFormat;
};

constexpr BlitDraw kCopy = {BLEND_MODE_COPY, 0, Alpha::None, 0, 1, 1};
constexpr BlitDraw kCopyKey = {BLEND_MODE_COPY, 0, Alpha::None, 1, 1, 1};
constexpr BlitDraw kConstantAlpha = {BLEND_MODE_ALPHA, 100, Alpha::None, 0, 1, 1};
constexpr BlitDraw kSourceAlpha = {BLEND_MODE_COPY, 0, Alpha::Mixed, 1, 1, 1};
constexpr BlitDraw kSourceAlphaUniform = {BLEND_MODE_COPY, 0, Alpha::Uniform, 1, 1, 1};
// Full strength, no per-pixel alpha: each colour byte of the source added to the frame's, as ADD.
constexpr BlitDraw kAdd = {BLEND_MODE_ADD, 255, Alpha::None, 0, 1, 1};
constexpr BlitDraw kStretchCopy = {BLEND_MODE_COPY, 0, Alpha::None, 0, 3, 2};
constexpr BlitDraw kStretchConstantAlpha = {BLEND_MODE_ALPHA, 100, Alpha::None, 0, 3, 2};
constexpr BlitDraw kStretchSourceAlpha = {BLEND_MODE_COPY, 0, Alpha::Mixed, 1, 3, 2};
constexpr BlitDraw kStretch2xSourceAlpha = {BLEND_MODE_COPY, 0, Alpha::Mixed, 1, 2, 1};

constexpr PixmanDraw kPixmanOverMixed = {PIXMAN_OP_OVER, Alpha::Mixed, -1, 1, 1, PIXMAN_a8r8g8b8, PIXMAN_x8r8g8b8};
constexpr PixmanDraw kPixmanOverUniform = {PIXMAN_OP_OVER, Alpha::Uniform, -1, 1, 1, PIXMAN_a8r8g8b8, PIXMAN_x8r8g8b8};
constexpr PixmanDraw kPixmanConstantAlpha = {PIXMAN_OP_OVER, Alpha::None, 100, 1, 1, PIXMAN_x8r8g8b8, PIXMAN_x8r8g8b8};
// Both pictures a8r8g8b8: pixman's fast path for ADD.
constexpr PixmanDraw kPixmanAdd = {PIXMAN_OP_ADD, Alpha::None, -1, 1, 1, PIXMAN_a8r8g8b8, PIXMAN_a8r8g8b8};
constexpr PixmanDraw kPixmanStretchOverMixed = {PIXMAN_OP_OVER,  Alpha::Mixed,   -1, 3, 2,
                                                PIXMAN_a8r8g8b8, PIXMAN_x8r8g8b8};
constexpr PixmanDraw kPixmanStretch2xOverMixed = {PIXMAN_OP_OVER,  Alpha::Mixed,   -1, 2, 1,
                                                  PIXMAN_a8r8g8b8, PIXMAN_x8r8g8b8};
constexpr PixmanDraw kPixmanStretchConstantAlpha = {PIXMAN_OP_OVER,  Alpha::None,    100, 3, 2,
                                                    PIXMAN_x8r8g8b8, PIXMAN_x8r8g8b8};

struct BlitFrame : Frame {
  BlitFrame(int width, int height, const BlitDraw& blit)
      : Frame(width, height, width * blit.scaleDenominator / blit.scaleNumerator,
              height * blit.scaleDenominator / blit.scaleNumerator, 1, blit.alpha),
        draw(blit) {
    settings.BlendMode = draw.mode;
    settings.BlendParam = draw.param;
  }
  void Blit() {
    if (draw.scaleNumerator == draw.scaleDenominator) {
      BlitMemImgAt(&dest, &source, 0, 0, draw.transparent, nullptr, settings);
    } else {
      const int rect[4] = {0, 0, dest.Width, dest.Height};
      BlitMemImgToRect(&dest, &source, rect, draw.transparent, nullptr, settings);
    }
  }
  const BlitDraw draw;
};

// A frame wrapped as pixman's pictures, the source in pixman's form of it.
struct PixmanFrame : Frame {
  PixmanFrame(int width, int height, const PixmanDraw& composite)
      : Frame(width, height, width * composite.scaleDenominator / composite.scaleNumerator,
              height * composite.scaleDenominator / composite.scaleNumerator, 1, composite.alpha),
        draw(composite) {
    const int sourceWidth = source.Width;
    const int sourceHeight = source.Height;
    pixels.resize(static_cast<size_t>(sourceWidth) * sourceHeight);
    for (int y = 0; y < sourceHeight; ++y)
      for (int x = 0; x < sourceWidth; ++x) {
        uint32_t word;
        std::memcpy(&word, source.Pixels + y * source.Core->Pitch + x * 4, 4);
        const uint32_t alpha = word >> 24;
        if (draw.alpha != Alpha::None) {
          uint32_t premultiplied = alpha << 24;
          for (int shift = 0; shift < 24; shift += 8)
            premultiplied |= (((word >> shift) & 0xFF) * alpha + 127) / 255 << shift;
          word = premultiplied;
        } else if (draw.sourceFormat == PIXMAN_a8r8g8b8) {
          word |= 0xFF000000u;
        }
        pixels[static_cast<size_t>(y) * sourceWidth + x] = word;
      }
    sourcePicture = pixman_image_create_bits(draw.sourceFormat, sourceWidth, sourceHeight, pixels.data(),
                                             sourceWidth * 4);
    destPicture = pixman_image_create_bits(draw.destFormat, width, height, reinterpret_cast<uint32_t*>(dest.Pixels),
                                           dest.Core->Pitch);
    if (draw.constantAlpha >= 0) {
      const pixman_color_t color = {0, 0, 0, static_cast<uint16_t>(draw.constantAlpha * 257)};
      mask = pixman_image_create_solid_fill(&color);
    }
    if (draw.scaleNumerator != draw.scaleDenominator) {
      pixman_transform_t transform;
      pixman_transform_init_scale(&transform, pixman_int_to_fixed(draw.scaleDenominator) / draw.scaleNumerator,
                                  pixman_int_to_fixed(draw.scaleDenominator) / draw.scaleNumerator);
      pixman_image_set_transform(sourcePicture, &transform);
      pixman_image_set_filter(sourcePicture, PIXMAN_FILTER_NEAREST, nullptr, 0);
    }
  }
  ~PixmanFrame() {
    if (mask) pixman_image_unref(mask);
    pixman_image_unref(sourcePicture);
    pixman_image_unref(destPicture);
  }
  void Composite() {
    pixman_image_composite32(draw.op, sourcePicture, mask, destPicture, 0, 0, 0, 0, 0, 0, dest.Width, dest.Height);
  }
  const PixmanDraw draw;
  std::vector<uint32_t> pixels;
  pixman_image_t* sourcePicture = nullptr;
  pixman_image_t* destPicture = nullptr;
  pixman_image_t* mask = nullptr;
};

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

void Blit(benchmark::State& state, const BlitDraw& draw) {
  BlitFrame frame(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), draw);
  for (auto _ : state) {
    frame.Blit();
    benchmark::ClobberMemory();
  }
  ReportPixels(state, state.range(0) * state.range(1));
}

void Pixman(benchmark::State& state, const PixmanDraw& draw) {
  PixmanFrame frame(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), draw);
  for (auto _ : state) {
    frame.Composite();
    benchmark::ClobberMemory();
  }
  ReportPixels(state, state.range(0) * state.range(1));
}

void BM_BlitCopy32(benchmark::State& state) { Blit(state, kCopy); }
void BM_BlitCopyKey32(benchmark::State& state) { Blit(state, kCopyKey); }
void BM_BlitAlpha32(benchmark::State& state) { Blit(state, kConstantAlpha); }
void BM_BlitSourceAlpha32(benchmark::State& state) { Blit(state, kSourceAlpha); }
void BM_BlitSourceAlphaUniform32(benchmark::State& state) { Blit(state, kSourceAlphaUniform); }
void BM_BlitAdd32(benchmark::State& state) { Blit(state, kAdd); }
void BM_StretchCopy32(benchmark::State& state) { Blit(state, kStretchCopy); }
void BM_StretchAlpha32(benchmark::State& state) { Blit(state, kStretchConstantAlpha); }
void BM_StretchSourceAlpha32(benchmark::State& state) { Blit(state, kStretchSourceAlpha); }
void BM_Stretch2xSourceAlpha32(benchmark::State& state) { Blit(state, kStretch2xSourceAlpha); }

void BM_PixmanOverMixed(benchmark::State& state) { Pixman(state, kPixmanOverMixed); }
void BM_PixmanOverUniform(benchmark::State& state) { Pixman(state, kPixmanOverUniform); }
void BM_PixmanConstantAlpha(benchmark::State& state) { Pixman(state, kPixmanConstantAlpha); }
void BM_PixmanAdd(benchmark::State& state) { Pixman(state, kPixmanAdd); }
void BM_PixmanStretchOverMixed(benchmark::State& state) { Pixman(state, kPixmanStretchOverMixed); }
void BM_PixmanStretch2xOverMixed(benchmark::State& state) { Pixman(state, kPixmanStretch2xOverMixed); }
void BM_PixmanStretchConstantAlpha(benchmark::State& state) { Pixman(state, kPixmanStretchConstantAlpha); }

// Each timed blit beside its reference. `tolerance` is the largest difference allowed in a colour
// byte: our steps weigh by f / 256 where pixman weighs by f / 255, rounds where we truncate, and
// takes premultiplied colours rounded to bytes, which leaves up to 2 apart; our full-strength add
// adds green and red without their low bits and sets the low bit from the carry of the byte below
// (2 under to 1 over a true saturating add). Nearest scaling picks the same source pixels on both
// sides at these scales. The fourth byte is compared only where both sides define it: pixman's
// x8r8g8b8 has none, and our add leaves the carry out of red there where ADD sums the alpha bytes.
struct Pairing {
  const char* ours;
  const BlitDraw* draw;
  const char* reference;
  const PixmanDraw* pixman;  // Null: the memcpy, whose output is the source picture itself.
  int tolerance;
  bool fourthByte;
};

const Pairing kPairings[] = {
    {"BM_BlitCopy32", &kCopy, "BM_Memcpy", nullptr, 0, true},
    {"BM_BlitSourceAlphaUniform32", &kSourceAlphaUniform, "BM_PixmanOverUniform", &kPixmanOverUniform, 2, false},
    {"BM_BlitSourceAlpha32", &kSourceAlpha, "BM_PixmanOverMixed", &kPixmanOverMixed, 2, false},
    {"BM_BlitAlpha32", &kConstantAlpha, "BM_PixmanConstantAlpha", &kPixmanConstantAlpha, 2, false},
    {"BM_BlitAdd32", &kAdd, "BM_PixmanAdd", &kPixmanAdd, 2, false},
    {"BM_StretchSourceAlpha32", &kStretchSourceAlpha, "BM_PixmanStretchOverMixed", &kPixmanStretchOverMixed, 2, false},
    {"BM_Stretch2xSourceAlpha32", &kStretch2xSourceAlpha, "BM_PixmanStretch2xOverMixed", &kPixmanStretch2xOverMixed, 2,
     false},
    {"BM_StretchAlpha32", &kStretchConstantAlpha, "BM_PixmanStretchConstantAlpha", &kPixmanStretchConstantAlpha, 2,
     false},
};

// Both sides draw once onto the same random frame; the largest byte difference must stay within the
// pairing's tolerance.
void CompareOutputs(const Pairing& pairing, int width, int height) {
  BlitFrame ours(width, height, *pairing.draw);
  std::mt19937 random(7);
  for (int i = 0; i < ours.dest.Core->Pitch * height; ++i)
    ours.dest.Core->PixelBuffer[i] = static_cast<uint8_t>(random());
  std::vector<uint8_t> expected(static_cast<size_t>(width) * height * 4);
  if (pairing.pixman) {
    PixmanFrame reference(width, height, *pairing.pixman);
    std::memcpy(reference.dest.Pixels, ours.dest.Pixels, static_cast<size_t>(ours.dest.Core->Pitch) * height);
    reference.Composite();
    for (int y = 0; y < height; ++y)
      std::memcpy(&expected[static_cast<size_t>(y) * width * 4], reference.dest.Pixels + y * reference.dest.Core->Pitch,
                  static_cast<size_t>(width) * 4);
  } else {
    for (int y = 0; y < height; ++y)
      std::memcpy(&expected[static_cast<size_t>(y) * width * 4], ours.source.Pixels + y * ours.source.Core->Pitch,
                  static_cast<size_t>(width) * 4);
  }
  ours.Blit();
  int largest = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width * 4; ++x) {
      if (x % 4 == 3 && !pairing.fourthByte) continue;
      const int difference = ours.dest.Pixels[y * ours.dest.Core->Pitch + x] -
                             expected[static_cast<size_t>(y) * width * 4 + x];
      largest = std::max(largest, std::abs(difference));
    }
  const std::string what = std::string(pairing.ours) + " and " + pairing.reference + " at " + std::to_string(width) +
                           " x " + std::to_string(height) + ": largest difference " + std::to_string(largest) +
                           ", allowed " + std::to_string(pairing.tolerance);
  std::printf("output %s\n", what.c_str());
  RequireSameOutput(largest <= pairing.tolerance, what.c_str());
}

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
  static const int kSizes[][2] = {{408, 504}, {1920, 1080}};
  std::vector<RatioPair> pairs;
  for (const auto& size : kSizes) {
    const std::string suffix =
        std::string("/").append(std::to_string(size[0])).append("/").append(std::to_string(size[1]));
    for (const Pairing& pairing : kPairings) {
      CompareOutputs(pairing, size[0], size[1]);
      pairs.push_back({std::string(pairing.ours).append(suffix), std::string(pairing.reference).append(suffix)});
    }
  }
  std::fflush(stdout);
  return RunBenchmarksWithRatios(argc, argv, "pixels", pairs);
}
