// A benchmark main that prints, after the usual table, each measurement beside its reference run
// in the same process: "ours / reference" of a rate counter (pixels per second, x realtime).
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

struct RatioPair {
  std::string ours;
  std::string reference;
};

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter(std::string counter, std::vector<RatioPair> pairs)
      : counter_(std::move(counter)), pairs_(std::move(pairs)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto found = run.counters.find(counter_);
      if (found != run.counters.end() && run.run_type == Run::RT_Iteration)
        rates_[run.benchmark_name()] = found->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-52s %-36s %12s %12s %7s\n", "ours", "reference", "ours", "reference", "ratio");
    for (const RatioPair& pair : pairs_) {
      const auto ours = rates_.find(pair.ours);
      const auto reference = rates_.find(pair.reference);
      if (ours == rates_.end() || reference == rates_.end() || reference->second <= 0) continue;
      std::printf("%-52s %-36s %12.1f %12.1f %7.2f\n", pair.ours.c_str(), pair.reference.c_str(),
                  ours->second / 1e6, reference->second / 1e6, ours->second / reference->second);
    }
    std::fflush(stdout);
  }

 private:
  std::string counter_;
  std::vector<RatioPair> pairs_;
  std::map<std::string, double> rates_;
};

// Runs the registered benchmarks (command-line filters apply) and prints the ratio table.
inline int RunBenchmarksWithRatios(int argc, char** argv, const char* counter, std::vector<RatioPair> pairs) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter(counter, std::move(pairs));
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
