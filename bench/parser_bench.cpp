// The codec against Boost.JSON alone, on the same text:
//   - ParsePodList of a list of 5,000 pods (about 20 MB, the fixture pods
//     repeated under distinct names) against boost::json::parse of that text;
//   - SerializeDeploymentConfig of 1,000 deployment configs against
//     boost::json::serialize of the trees the codec writes for them.
// Prints the time ratios and the memory a parsed pod takes at the end of the run.
//
// The fixture folder is the one chosen at build time, or $WQ_BENCH_FIXTURES.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/ratioReporter.h"
#include "json/json_spirit.h"
#include "parser/openshiftParser.h"

namespace {

using OpenShiftSDKWrapper::SDeploymentConfigInfoLib;
using OpenShiftSDKWrapper::SPodInfoLib;
using OpenShiftSDKWrapper::WQOpenShiftParser;

constexpr int kPods = 5000;
constexpr int kDeploymentConfigs = 1000;

std::string FixtureDir() {
  const char* from_env = std::getenv("WQ_BENCH_FIXTURES");
  return from_env != nullptr ? from_env : WQ_BENCH_FIXTURE_DIR;
}

json_spirit::mValue LoadFixture(const std::string& name) {
  std::ifstream in(FixtureDir() + "/" + name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  json_spirit::mValue value;
  json_spirit::read_string(text.str(), value);
  return value;
}

// `document` under the name `name`; false when it is no object with metadata.
bool Rename(json_spirit::mValue& document, const std::string& name) {
  if (document.type() != json_spirit::obj_type) return false;
  json_spirit::mObject& object = document.get_obj();
  if (object["metadata"].type() != json_spirit::obj_type)
    object["metadata"] = json_spirit::mObject();
  object["metadata"].get_obj()["name"] = name;
  return true;
}

// Mostly the server's deployer pod and the small glusterfs pod, with a pod
// carrying every field every 6th item: about 4 KB a pod on average.
const std::string& PodListText() {
  static const std::string text = [] {
    const std::vector<json_spirit::mValue> cycle = {LoadFixture("pod.deployer.restclient.json"),
                                                    LoadFixture("pod.glusterfs-inline.json")};
    const json_spirit::mValue full = LoadFixture("pod.full.v1.14.0.json");
    std::string list = "{\"kind\":\"PodList\",\"apiVersion\":\"v1\",\"metadata\":{},\"items\":[";
    for (int i = 0; i < kPods; ++i) {
      json_spirit::mValue pod = i % 6 == 5 ? full : cycle[i % cycle.size()];
      if (!Rename(pod, "pod-" + std::to_string(i))) return std::string();
      if (i > 0) list += ',';
      list += json_spirit::write_string(pod);
    }
    return list + "]}";
  }();
  return text;
}

const std::vector<SDeploymentConfigInfoLib>& DeploymentConfigs() {
  static const std::vector<SDeploymentConfigInfoLib> configs = [] {
    const char* names[] = {"deploymentconfig.restclient.json", "deploymentconfig.oso.json",
                           "deploymentconfig.pvc-volume.oso.json",
                           "deploymentconfig.heketi-glusterfs-volume.template.json",
                           "deploymentconfig.gluster-s3.template.json"};
    std::vector<SDeploymentConfigInfoLib> read;
    const WQOpenShiftParser parser;
    for (int i = 0; i < kDeploymentConfigs; ++i) {
      json_spirit::mValue document = LoadFixture(names[i % 5]);
      SDeploymentConfigInfoLib dc;
      if (!Rename(document, "dc-" + std::to_string(i)) ||
          !parser.ParseDeploymentConfig(json_spirit::write_string(document), dc))
        return std::vector<SDeploymentConfigInfoLib>();
      read.push_back(dc);
    }
    return read;
  }();
  return configs;
}

// The same objects as Boost.JSON trees: the codec's own output, parsed.
const std::vector<boost::json::value>& DeploymentConfigTrees() {
  static const std::vector<boost::json::value> trees = [] {
    std::vector<boost::json::value> parsed;
    const WQOpenShiftParser parser;
    for (SDeploymentConfigInfoLib dc : DeploymentConfigs()) {
      std::string text;
      parser.SerializeDeploymentConfig(dc, text);
      parsed.push_back(boost::json::parse(text));
    }
    return parsed;
  }();
  return trees;
}

bool HaveInputs(benchmark::State& state) {
  if (PodListText().empty() || DeploymentConfigs().size() != kDeploymentConfigs) {
    state.SkipWithError("fixture documents missing or unreadable");
    return false;
  }
  return true;
}

void BM_ParsePodList(benchmark::State& state) {
  if (!HaveInputs(state)) return;
  const WQOpenShiftParser parser;
  for (auto _ : state) {
    std::vector<SPodInfoLib> pods;
    if (!parser.ParsePodList(PodListText(), pods) || pods.size() != kPods)
      state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(pods.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * PodListText().size()));
}

// The codec's share of BM_ParsePodList is what it adds to this.
void BM_ReadStringPodList(benchmark::State& state) {
  if (!HaveInputs(state)) return;
  for (auto _ : state) {
    json_spirit::mValue value;
    json_spirit::read_string(PodListText(), value);
    benchmark::DoNotOptimize(value);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * PodListText().size()));
}

void BM_BoostParsePodList(benchmark::State& state) {
  if (!HaveInputs(state)) return;
  for (auto _ : state) {
    boost::json::error_code ec;
    boost::json::value value = boost::json::parse(PodListText(), ec);
    benchmark::DoNotOptimize(value);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * PodListText().size()));
}

void BM_SerializeDeploymentConfigs(benchmark::State& state) {
  if (!HaveInputs(state)) return;
  const WQOpenShiftParser parser;
  std::vector<SDeploymentConfigInfoLib> configs = DeploymentConfigs();
  std::size_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    for (SDeploymentConfigInfoLib& dc : configs) {
      std::string text;
      parser.SerializeDeploymentConfig(dc, text);
      bytes += text.size();
      benchmark::DoNotOptimize(text.data());
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_BoostSerializeDeploymentConfigs(benchmark::State& state) {
  if (!HaveInputs(state)) return;
  const std::vector<boost::json::value>& trees = DeploymentConfigTrees();
  std::size_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    for (const boost::json::value& tree : trees) {
      const std::string text = boost::json::serialize(tree);
      bytes += text.size();
      benchmark::DoNotOptimize(text.data());
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

BENCHMARK(BM_ParsePodList)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_ReadStringPodList)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_BoostParsePodList)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_SerializeDeploymentConfigs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoostSerializeDeploymentConfigs)->Unit(benchmark::kMillisecond);

long PeakResidentKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Measured before any benchmark runs, so that the process's peak resident size
// grows only by what the measured call needs at its height; the records kept
// afterwards are counted from the allocator.
void ReportMemoryPerPod() {
  const WQOpenShiftParser parser;
  const long textPeak = PeakResidentKiB();
  const std::size_t heldBefore = mallinfo2().uordblks;
  std::vector<SPodInfoLib> pods;
  parser.ParsePodList(PodListText(), pods);
  const long parsePeak = PeakResidentKiB();
  const std::size_t heldAfter = mallinfo2().uordblks;
  std::printf("pod list: %zu bytes, %zu pods\n", PodListText().size(), pods.size());
  std::printf(
      "ParsePodList peak: %.1f KiB a pod (%ld KiB above the text); records kept: %.1f KiB a pod\n",
      static_cast<double>(parsePeak - textPeak) / kPods, parsePeak - textPeak,
      static_cast<double>(heldAfter - heldBefore) / 1024.0 / kPods);
  pods = std::vector<SPodInfoLib>();
  malloc_trim(0);
  boost::json::value tree = boost::json::parse(PodListText());
  const long boostPeak = PeakResidentKiB();
  std::printf(
      "boost::json::parse peak: %ld KiB above the codec's peak (0 when it stayed below it)\n",
      boostPeak - parsePeak);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (!PodListText().empty()) ReportMemoryPerPod();
  RatioReporter reporter({{"BM_ParsePodList", "BM_BoostParsePodList"},
                          {"BM_ReadStringPodList", "BM_BoostParsePodList"},
                          {"BM_SerializeDeploymentConfigs", "BM_BoostSerializeDeploymentConfigs"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
