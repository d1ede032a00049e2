// read_string into mValue against Boost.JSON's own parse into
// boost::json::value, on the same text: one array of about 20 MB repeating
// the API documents of the fixture folder, and each document on its own, the
// size of one REST reply. Prints the time ratios at the end of the run.
//
// The fixture folder is the one chosen at build time, or $WQ_BENCH_FIXTURES.
#include <benchmark/benchmark.h>
#include <dirent.h>

#include <algorithm>
#include <boost/json/parse.hpp>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "json/json_spirit.h"

namespace {

constexpr std::size_t kLargeTextBytes = 20u << 20;

std::vector<std::string> LoadFixtures() {
  const char* from_env = std::getenv("WQ_BENCH_FIXTURES");
  const std::string dir_name = from_env != nullptr ? from_env : WQ_BENCH_FIXTURE_DIR;
  std::vector<std::string> names;
  if (DIR* dir = opendir(dir_name.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() > 5 && name.compare(name.size() - 5, 5, ".json") == 0) names.push_back(name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  std::vector<std::string> documents;
  for (const std::string& name : names) {
    std::ifstream in(dir_name + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    documents.push_back(text.str());
  }
  return documents;
}

const std::vector<std::string>& Fixtures() {
  static const std::vector<std::string> documents = LoadFixtures();
  return documents;
}

const std::string& LargeText() {
  static const std::string text = [] {
    std::string joined = "[";
    while (joined.size() < kLargeTextBytes && !Fixtures().empty()) {
      for (const std::string& document : Fixtures()) {
        if (joined.size() > 1) joined += ',';
        joined += document;
      }
    }
    return joined + "]";
  }();
  return text;
}

std::size_t FixtureBytes() {
  std::size_t bytes = 0;
  for (const std::string& document : Fixtures()) bytes += document.size();
  return bytes;
}

// Every benchmark checks its input once, so that a parse failure cannot pass
// for a fast parse.
bool ReadsLargeText(benchmark::State& state) {
  json_spirit::mValue value;
  if (Fixtures().empty() || !json_spirit::read_string(LargeText(), value)) {
    state.SkipWithError("fixture documents missing or unreadable");
    return false;
  }
  return true;
}

void BM_ReadStringLarge(benchmark::State& state) {
  if (!ReadsLargeText(state)) return;
  for (auto _ : state) {
    json_spirit::mValue value;
    json_spirit::read_string(LargeText(), value);
    benchmark::DoNotOptimize(value);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * LargeText().size()));
}

void BM_BoostParseLarge(benchmark::State& state) {
  if (!ReadsLargeText(state)) return;
  for (auto _ : state) {
    boost::json::error_code ec;
    boost::json::value value = boost::json::parse(LargeText(), ec);
    benchmark::DoNotOptimize(value);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * LargeText().size()));
}

void BM_ReadStringDocuments(benchmark::State& state) {
  if (!ReadsLargeText(state)) return;
  for (auto _ : state) {
    for (const std::string& document : Fixtures()) {
      json_spirit::mValue value;
      json_spirit::read_string(document, value);
      benchmark::DoNotOptimize(value);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * FixtureBytes()));
}

void BM_BoostParseDocuments(benchmark::State& state) {
  if (!ReadsLargeText(state)) return;
  for (auto _ : state) {
    for (const std::string& document : Fixtures()) {
      boost::json::error_code ec;
      boost::json::value value = boost::json::parse(document, ec);
      benchmark::DoNotOptimize(value);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * FixtureBytes()));
}

void BM_WriteStringLarge(benchmark::State& state) {
  if (!ReadsLargeText(state)) return;
  json_spirit::mValue value;
  json_spirit::read_string(LargeText(), value);
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string text = json_spirit::write_string(value);
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// The map nodes of mObject make the parsed 20 MB take about twice the heap of
// a boost::json::value. With glibc that is above the largest threshold at
// which it keeps freed memory, so every pass of read_string also returns its
// pages to the kernel and faults them in again; setting
// GLIBC_TUNABLES=glibc.malloc.trim_threshold=4000000000 shows the parse
// without that cost. The longer minimum time steadies the average.
BENCHMARK(BM_ReadStringLarge)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_BoostParseLarge)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_ReadStringDocuments)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BoostParseDocuments)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteStringLarge)->Unit(benchmark::kMillisecond);

// Prints the usual table, then how much slower read_string is than Boost.JSON,
// in CPU time, which other processes on a shared machine disturb less.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        // Both benchmarks of a pair use the same time unit.
        times_[run.run_name.function_name] = run.GetAdjustedCPUTime();
      }
    }
  }

  void PrintRatio(const char* ours, const char* boost) const {
    const auto a = times_.find(ours);
    const auto b = times_.find(boost);
    if (a == times_.end() || b == times_.end() || b->second <= 0) return;
    std::printf("%s / %s = %.2f (CPU time)\n", ours, boost, a->second / b->second);
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::printf("large text: %zu bytes from %zu documents\n", LargeText().size(), Fixtures().size());
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio("BM_ReadStringLarge", "BM_BoostParseLarge");
  reporter.PrintRatio("BM_ReadStringDocuments", "BM_BoostParseDocuments");
  benchmark::Shutdown();
  return 0;
}
