// Cost of one backup of a deployment config, run inside sandbox/wq-sandbox:
//
//   sandbox/wq-sandbox --nodes 3 -- build/bench/workflow_bench [ROUNDS [CLAIMS...]]
//
// For deployment configs with 1, 4 and 16 GlusterFS claims (a real volume each), it backs
// the deployment config up and releases every snapshot again (UnmountVolume, then
// DeleteVolumeSnapshot), and reports the wall time, the HTTP requests the simulated cluster
// received and the SSH sessions opened, in total and per claim, with a straight-line fit
// (fixed part + part per claim) that shows how each grows with the number of claims.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/benchScenario.h"
#include "host/debugLog.h"
#include "host/process.h"
#include "simulator/cluster/clusterSimulator.h"
#include "wrapper/openshiftWrapper.h"

namespace {

using OpenShiftSDKWrapper::SSshLoginCreds;
using OpenShiftSDKWrapper::SVolumeInfoLib;

const char* const kToken = "workflow-bench-token-0123456789abcdefghijk";

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string ScenarioText(int claims) { return BenchScenarioText(kToken, claims); }

struct Sample {
  int claims = 0;
  double milliseconds = 0;
  double backupMilliseconds = 0;  // CreateDeploymentSnapshot alone; the rest is the release
  size_t requests = 0;
  size_t sessions = 0;
};

// Sessions are counted from the connection's own progress line; the error lines of a run are
// kept to say why it failed.
size_t g_sessions = 0;
std::vector<std::string> g_errors;

bool RunOnce(int claims, Sample& sample, std::string& error) {
  wqsim::Scenario scenario;
  if (!wqsim::ParseScenario(ScenarioText(claims), scenario, error)) return false;
  std::istringstream nodes(Env("WQSANDBOX_NODES"));
  scenario.settings.storageNodes.clear();
  for (std::string node; nodes >> node;) scenario.settings.storageNodes.push_back(node);
  const std::string provision = Env("WQSANDBOX_PROVISION");
  scenario.settings.storageHook = [provision](const std::string& action, const std::string& volume,
                                              std::string& hookError) {
    if (action != "create") return true;  // volumes go with the sandbox
    std::string out;
    return OpenShiftSDKWrapper::WqProcess::RunReal({provision + " " + volume, {}}, out,
                                                   hookError) == 0;
  };
  wqsim::ClusterSimulator simulator(scenario);
  if (!simulator.Start(error)) return false;

  char pattern[] = "/tmp/wqbench.XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    error = "no scratch directory";
    return false;
  }
  const std::string scratch = pattern;
  const std::string trust = scratch + "/trust.pem";
  simulator.Server().WriteTrustPem(trust);
  setenv("WQOSDK_CA_FILE", trust.c_str(), 1);

  std::map<std::string, SSshLoginCreds> credentials;
  for (const std::string& node : scenario.settings.storageNodes) {
    credentials[node] = {Env("WQSANDBOX_USER"), Env("WQSANDBOX_PASSWORD"), "", ""};
  }
  OpenShiftSDKWrapper::WQOpenShiftSDKWrapper facade;
  if (!facade.ConnectServiceAccount(simulator.BaseUrl(), "bench", kToken, credentials)) {
    error = "login failed";
    return false;
  }
  simulator.Server().ClearRequests();
  g_sessions = 0;
  g_errors.clear();

  const auto start = std::chrono::steady_clock::now();
  std::vector<SVolumeInfoLib> records;
  bool ok = facade.CreateDeploymentSnapshot("bench", "app", "bench", scratch + "/backup", records);
  const auto backedUp = std::chrono::steady_clock::now();
  for (SVolumeInfoLib& record : records) {
    ok = facade.UnmountVolume("bench", record) && ok;
    ok = facade.DeleteVolumeSnapshot("bench", record) && ok;
  }
  const auto stop = std::chrono::steady_clock::now();

  sample.claims = claims;
  sample.milliseconds = std::chrono::duration<double, std::milli>(stop - start).count();
  sample.backupMilliseconds = std::chrono::duration<double, std::milli>(backedUp - start).count();
  sample.requests = simulator.Server().Requests().size();
  sample.sessions = g_sessions;
  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
  if (!ok || records.size() != static_cast<size_t>(claims)) {
    error = "the backup or its release failed (" + std::to_string(records.size()) + " records)";
    return false;
  }
  return true;
}

// Least-squares line y = fixed + perClaim * claims over the samples.
void Fit(const std::vector<Sample>& samples, double (*value)(const Sample&), double& fixed,
         double& perClaim) {
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  const double n = static_cast<double>(samples.size());
  for (const Sample& s : samples) {
    const double x = s.claims;
    const double y = value(s);
    sx += x;
    sy += y;
    sxx += x * x;
    sxy += x * y;
  }
  perClaim = (n * sxy - sx * sy) / (n * sxx - sx * sx);
  fixed = (sy - perClaim * sx) / n;
}

}  // namespace

int main(int argc, char** argv) {
  if (Env("WQSANDBOX_NODES").empty()) {
    std::fprintf(stderr, "run inside sandbox/wq-sandbox: sandbox/wq-sandbox -- %s\n", argv[0]);
    return 2;
  }
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
  std::vector<int> counts;
  for (int i = 2; i < argc; ++i) counts.push_back(std::max(1, std::atoi(argv[i])));
  if (counts.empty()) counts = {1, 4, 16};
  setenv("WQOSDK_SLEEP_SCALE", "0", 1);
  unsetenv("dBASEHOME");
  unsetenv("WQOSDK_KNOWN_HOSTS");
  setenv("WQOSDK_PLATFORM_CONFIG", "/nonexistent/wqosdk-platform.ini", 1);
  OpenShiftSDKWrapper::DebugLog::SetSink([](const OpenShiftSDKWrapper::LogLine& line) {
    if (line.message == "SSH session opened") ++g_sessions;
    if (line.level == "ERROR") g_errors.push_back(line.message);
  });

  std::vector<Sample> samples;
  bool failed = false;
  std::printf("%7s %10s %10s %12s %9s %12s %9s %12s\n", "claims", "wall ms", "backup ms",
              "ms/claim", "requests", "req/claim", "ssh", "ssh/claim");
  for (int round = 0; round < rounds; ++round) {
    for (const int claims : counts) {
      Sample sample;
      std::string error;
      if (!RunOnce(claims, sample, error)) {
        // Reported and left out of the fit; the other runs still say something.
        std::printf("%7d failed: %s\n", claims, error.c_str());
        for (const std::string& line : g_errors) std::fprintf(stderr, "  %s\n", line.c_str());
        failed = true;
        continue;
      }
      samples.push_back(sample);
      std::printf("%7d %10.0f %10.0f %12.1f %9zu %12.2f %9zu %12.2f\n", claims, sample.milliseconds,
                  sample.backupMilliseconds, sample.milliseconds / claims, sample.requests,
                  static_cast<double>(sample.requests) / claims, sample.sessions,
                  static_cast<double>(sample.sessions) / claims);
      std::fflush(stdout);
    }
  }

  if (std::all_of(samples.begin(), samples.end(),
                  [&](const Sample& s) { return s.claims == samples.front().claims; })) {
    return failed ? 1 : 0;  // at most one claim count: nothing to fit
  }
  double fixed = 0, perClaim = 0;
  std::printf("\nfit over the samples: fixed part + part per claim\n");
  Fit(
      samples, [](const Sample& s) { return s.milliseconds; }, fixed, perClaim);
  std::printf("  wall time     %8.1f ms + %8.1f ms per claim\n", fixed, perClaim);
  Fit(
      samples, [](const Sample& s) { return static_cast<double>(s.requests); }, fixed, perClaim);
  std::printf("  HTTP requests %8.2f    + %8.2f    per claim\n", fixed, perClaim);
  Fit(
      samples, [](const Sample& s) { return static_cast<double>(s.sessions); }, fixed, perClaim);
  std::printf("  SSH sessions  %8.2f    + %8.2f    per claim\n", fixed, perClaim);
  return failed ? 1 : 0;
}
