// A benchmark main that prints, after the usual table, each measurement beside its reference run
// in the same process: "ours / reference" of a rate counter (pixels per second, x realtime). With
// --benchmark_repetitions the ratios are of the medians.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

struct RatioPair {
  std::string ours;
  std::string reference;
};

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // The counter's values are printed divided by `unit` (1e6 for a rate in pixels, shown in Mpixel/s).
  RatioReporter(std::string counter, std::vector<RatioPair> pairs, double unit)
      : counter_(std::move(counter)), pairs_(std::move(pairs)), unit_(unit) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    // With repetitions, the median stands for the benchmark, whatever order the runs arrive in.
    for (const Run& run : runs) {
      const auto found = run.counters.find(counter_);
      if (found == run.counters.end()) continue;
      const std::string name = run.run_name.str();
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        rates_[name] = found->second.value;
        medians_.insert(name);
      } else if (run.run_type == Run::RT_Iteration && !medians_.count(name)) {
        rates_[name] = found->second.value;
      }
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
      std::printf("%-52s %-36s %12.1f %12.1f %7.2f\n", pair.ours.c_str(), pair.reference.c_str(), ours->second / unit_,
                  reference->second / unit_, ours->second / reference->second);
    }
    std::fflush(stdout);
  }

 private:
  std::string counter_;
  std::vector<RatioPair> pairs_;
  double unit_;
  std::map<std::string, double> rates_;
  std::set<std::string> medians_;
};

// Stops the whole run, loudly, when a measurement and its reference did not produce the same output
// (within the tolerance the caller allows): a ratio between different work is worth nothing. Call it
// once per pair, before timing.
inline void RequireSameOutput(bool same, const char* what) {
  if (same) return;
  std::fprintf(stderr, "BENCHMARK OUTPUTS DIFFER: %s\n", what);
  std::fflush(stderr);
  std::exit(1);
}

// True the first time `key` is asked about in this process, false after. A benchmark function runs
// again for every repetition, so an output check guarded by this runs once a run for each case.
inline bool FirstTime(const std::string& key) {
  static std::set<std::string> seen;
  return seen.insert(key).second;
}

// Runs the registered benchmarks (command-line filters apply) and prints the ratio table.
inline int RunBenchmarksWithRatios(int argc, char** argv, const char* counter, std::vector<RatioPair> pairs,
                                   double unit = 1e6) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter(counter, std::move(pairs), unit);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
