// The processor time of one frame of Pylon Rush itself in play (clear, side panel, frame, 200 cells, the
// next piece, the play logic, flip), on the device path and on the software path, with SDL's
// off-screen drivers. Reported as frames a processor could make each second, beside the 62 the game
// shows, and beside the physical reference of copying one screen of 408 x 504 32-bit pixels. The
// wall time of a frame is the vertical blank's pace, not work. The library runs threads beside
// the game's (sound output among them), so the processor time is the whole process's.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "game.h"
#include "library_services.h"
#include "platform/testing.h"
#include "runtime/runtime_state.h"
#include "window/window_services.h"
#include "zyvel/zyvel.h"

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 408;
constexpr int kHeight = 504;

void PlayFrame(benchmark::State& state) {
  const bool software = state.range(0) == 1;
  char pattern[] = "/tmp/pylonrush_bench_XXXXXX";
  if (!mkdtemp(pattern)) {
    state.SkipWithError("no scratch directory");
    return;
  }
  const fs::path directory = pattern;
  for (const auto& entry : fs::directory_iterator(fs::path(ZYVEL_SOURCE_DIR) / "assets"))
    if (entry.path().filename() != "Log.txt") fs::copy(entry.path(), directory / entry.path().filename());
  const fs::path previous = fs::current_path();
  fs::current_path(directory);
  platform::testing::UseDummyVideoDriver();
  platform::testing::UseSoundDriver("dummy");
  platform::testing::SetWindowLockDirectory(directory.string());
  platform::testing::CaptureDebugOutput([](const std::string&) {});

  static LibraryServices services;
  CGame* game = new CGame(services);
  ChangeWindowTitle("Pylon Rush");
  SetScreenMode(kWidth, kHeight, 32, 60);
  ChangeWindowMode(1);
  SetHardwareAccelFlag(software ? 0 : 1);
  if (InitializeLibrary() != 0) {
    state.SkipWithError("the library did not start");
  } else {
    SelectDrawTarget(SCREEN_BACK);
    game->LoadResources();
    game->ChangeState(PlayState);
    for (auto _ : state) {
      ProcessWindowMessages();
      ClearDrawScreenAll();
      game->RunCurrentScreen();
      FlipScreen();
      if (game->state != PlayState) game->ChangeState(PlayState);
    }
    FinishLibrary();
  }
  delete game;
  g_windowSystem = WindowSystemRecord{};
  g_runtime = RuntimeRecord{};
  platform::testing::CaptureDebugOutput({});
  fs::current_path(previous);
  fs::remove_all(directory);
  state.counters["frames"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.SetLabel(software ? "software path; the game shows 62 frames/s" : "device path; the game shows 62 frames/s");
}
BENCHMARK(PlayFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

// The physical reference: one screen's pixels copied once.
void ScreenCopyReference(benchmark::State& state) {
  const size_t bytes = static_cast<size_t>(kWidth) * kHeight * 4;
  std::vector<uint8_t> source(bytes, 1), destination(bytes);
  for (auto _ : state) {
    std::memcpy(destination.data(), source.data(), bytes);
    benchmark::DoNotOptimize(destination.data());
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
  state.SetLabel("memcpy of one 408 x 504 32-bit screen");
}
BENCHMARK(ScreenCopyReference)->Unit(benchmark::kMicrosecond);

}  // namespace
