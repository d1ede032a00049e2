#pragma once
// A console reporter that also prints, after the run, how much slower each
// benchmark of a pair is than the other, in CPU time (which other processes on
// a shared machine disturb less than wall time).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // Each pair is (measured, baseline), by benchmark function name.
  explicit RatioReporter(std::vector<std::pair<std::string, std::string>> pairs)
      : pairs_(std::move(pairs)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred)
        cpuTimes_[run.run_name.function_name] = run.GetAdjustedCPUTime();
    }
  }

  void PrintRatios() const {
    for (const auto& [measured, baseline] : pairs_) {
      const auto a = cpuTimes_.find(measured);
      const auto b = cpuTimes_.find(baseline);
      if (a != cpuTimes_.end() && b != cpuTimes_.end() && b->second > 0)
        std::printf("%s / %s = %.2f (CPU time)\n", measured.c_str(), baseline.c_str(),
                    a->second / b->second);
    }
  }

 private:
  std::vector<std::pair<std::string, std::string>> pairs_;
  std::map<std::string, double> cpuTimes_;  // both of a pair use the same time unit
};
