// The game's frame through the whole library, on each rendering path: a 408 x 504 clear, the
// board's outline box, about 250 cells of 24 x 24 and a dozen labels of 109 x 24 cut from one
// sheet, drawn with their transparency and flipped to the window (the dummy video driver). The
// time is processor time per frame; Mpixel/s counts the pixels the frame writes (the clear and
// every graph), beside memcpy of the same number of 32-bit pixels as the physical reference.
// The same frames without the flip show what the drawing itself costs.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "graphics/device/render_device.h"
#include "graphics/screen_services.h"
#include "platform/testing.h"
#include "window/window_services.h"
#include "zyvel/zyvel.h"

namespace {

constexpr int kWidth = 408, kHeight = 504;
constexpr int kCellCount = 250, kLabelCount = 12;
constexpr double kFramePixels = double(kWidth) * kHeight + kCellCount * 24.0 * 24.0 + kLabelCount * 109.0 * 24.0;

// A 240 x 168 sheet: ten cells across the top row, labels below; random colours with black key
// pixels among them.
void WriteSheet(const std::string& path) {
  const int width = 240, height = 168, pitch = width * 3;
  std::vector<uint8_t> file(54 + static_cast<size_t>(pitch) * height);
  auto put32 = [&](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  file[0] = 'B', file[1] = 'M';
  put32(2, static_cast<uint32_t>(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, width);
  put32(22, height);
  file[26] = 1, file[28] = 24;
  std::mt19937 random(7);
  for (size_t i = 54; i + 2 < file.size(); i += 3) {
    const bool key = random() % 8 == 0;
    for (int c = 0; c < 3; ++c) file[i + c] = key ? 0 : static_cast<uint8_t>(random() | 1);
  }
  FILE* out = std::fopen(path.c_str(), "wb");
  std::fwrite(file.data(), 1, file.size(), out);
  std::fclose(out);
}

// The library up on one path, with the game's graphs; taken down again at the end.
class GameScene {
 public:
  explicit GameScene(bool device) {
    char pattern[] = "/tmp/zyvel-bench-XXXXXX";
    directory_ = mkdtemp(pattern);
    char previous[4096];
    previous_ = getcwd(previous, sizeof previous) ? previous : "/";
    if (chdir(directory_.c_str()) != 0) return;
    platform::testing::UseDummyVideoDriver();
    platform::testing::UseSoundDriver("dummy");
    platform::testing::SetDisplayModes({{640, 480, 32, 60}, {1024, 768, 32, 60}}, {1024, 768, 32, 60});
    platform::testing::SetWindowLockDirectory(directory_);
    platform::testing::CaptureDebugOutput([](const std::string&) {});
    SetScreenMode(kWidth, kHeight, 32, 60);
    SetHardwareAccelFlag(device ? 1 : 0);
    SetFlipVSyncWait(0);
    WriteSheet("sheet.bmp");
    if (InitializeLibrary() != 0) return;
    SelectDrawTarget(SCREEN_BACK);
    const int sheet = LoadGraphFile("sheet.bmp", 0);
    for (int k = 0; k < 10; ++k) cells_.push_back(CutSubGraph(24 * k, 0, 24, 24, sheet));
    for (int k = 0; k < 6; ++k) labels_.push_back(CutSubGraph(0, 24 + 24 * k, 109, 24, sheet));
    for (int k = 0; k < 6; ++k) labels_.push_back(CutSubGraph(109, 24 + 24 * k, 109, 24, sheet));
    DeleteGraphHandle(sheet);
    std::mt19937 random(3);
    for (int i = 0; i < kCellCount; ++i) board_.push_back(static_cast<int>(random() % 10));
    ready_ = true;
  }
  ~GameScene() {
    FinishLibrary();
    if (chdir(previous_.c_str()) != 0) std::perror("chdir");
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
    SetHardwareAccelFlag(1);
  }
  bool Ready() const { return ready_; }

  void DrawFrame(bool flip) {
    ClearDrawScreenAll();
    DrawBoxShape(11, 11, 253, 493, static_cast<unsigned>(MakeColorCode(192, 192, 192)), 0);
    for (int i = 0; i < kCellCount; ++i) DrawGraphAt(12 + 24 * (i % 10), 12 + 24 * (i / 10 % 20), cells_[board_[i]], 1);
    for (int k = 0; k < kLabelCount; ++k) DrawGraphAt(270 + (k & 1) * 10, 20 + 36 * k, labels_[k], 1);
    // Without the flip the queued vertices are still drawn, but nothing is shown.
    if (flip)
      FlipScreen();
    else
      FlushVertexBatch();
  }

 private:
  std::string directory_, previous_;
  std::vector<int> cells_, labels_, board_;
  bool ready_ = false;
};

void RunFrames(benchmark::State& state, bool device, bool flip) {
  GameScene scene(device);
  if (!scene.Ready()) {
    state.SkipWithError("the library did not start");
    return;
  }
  for (auto _ : state) scene.DrawFrame(flip);
  state.counters["Mpixel/s"] = benchmark::Counter(kFramePixels * static_cast<double>(state.iterations()) / 1e6,
                                                  benchmark::Counter::kIsRate);
}

void GameFrameDevice(benchmark::State& state) { RunFrames(state, true, true); }
void GameFrameSoftware(benchmark::State& state) { RunFrames(state, false, true); }
// The drawing alone: the flip hands the frame to the window, which costs the same on both paths.
void GameFrameDeviceWithoutFlip(benchmark::State& state) { RunFrames(state, true, false); }
void GameFrameSoftwareWithoutFlip(benchmark::State& state) { RunFrames(state, false, false); }

// The physical reference: the same number of 32-bit pixels copied.
void MemcpyFramePixels(benchmark::State& state) {
  const size_t bytes = static_cast<size_t>(kFramePixels) * 4;
  std::vector<uint8_t> from(bytes, 0x5A), to(bytes);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.counters["Mpixel/s"] = benchmark::Counter(kFramePixels * static_cast<double>(state.iterations()) / 1e6,
                                                  benchmark::Counter::kIsRate);
}

BENCHMARK(GameFrameDevice)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();
BENCHMARK(GameFrameSoftware)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();
BENCHMARK(GameFrameDeviceWithoutFlip)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();
BENCHMARK(GameFrameSoftwareWithoutFlip)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();
BENCHMARK(MemcpyFramePixels)->Unit(benchmark::kMicrosecond);

}  // namespace
