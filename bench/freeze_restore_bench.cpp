// How long an application stays quiesced during a backup, and how long a restore takes: the
// one-call members against the two-phase and readiness members, side by side in one run,
// inside the storage-node sandbox (real sshd, glusterd and FUSE):
//
//   sandbox/wq-sandbox --nodes 3 -- freeze_restore_bench freeze [RUNS [CLAIMS...]]
//   sandbox/wq-sandbox --nodes 3 -- freeze_restore_bench restore [RUNS [OLD_RUNS [MIB]]]
//   sandbox/wq-sandbox --nodes 3 -- freeze_restore_bench overhead [RUNS]
//
// freeze: for deployment configs of 1, 4 and 16 claims (a real volume each), RUNS times (5)
//   old: quiesce; CreateDeploymentSnapshot; unquiesce
//   new: PrepareDeploymentSnapshot; quiesce; CreateDeploymentSnapshots; unquiesce;
//        MountDeploymentSnapshots
// and reports the window (end of the quiesce to the start of the unquiesce; the deployment
// config has no pods, so both commands are empty and the window is the calls inside it), raw
// and less the node-side durations of the commands run inside it, the remote commands in it,
// the SSH connections the nodes' sshd accepted during the backup (the "Connection from" lines
// of their logs) and the backup's wall time per claim. Every backup is released before the
// next. Node-side durations are stamped on the node: each tool of a node's own bin directory
// (gluster) gets a shim, put first on the node's PATH, that appends its start and end time.
//
// restore: 4 claims of MIB (100) MiB each, with the library's real waits: PrepareVolume on one
// facade, one claim after the other (OLD_RUNS times, default 1: twelve minutes a run), against
// PrepareVolumeWhenReady on 4 threads with a facade each (RUNS times); each prepared claim gets
// its data copied in and is unmounted. Reports the total time and, per readiness wait, how
// long it took and how many checks it needed (from the library's log lines).
//
// overhead: what one remote command costs beyond its node-side duration, on a kept and on a
// fresh connection: the part of the freeze window that is neither the storage nor the client.
//
// Medians and 90th percentiles are of the runs (nearest rank: of 5 runs the 90th percentile is
// the slowest).
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/benchScenario.h"
#include "host/debugLog.h"
#include "host/process.h"
#include "simulator/cluster/clusterSimulator.h"
#include "wrapper/openshiftWrapper.h"

namespace {

using OpenShiftSDKWrapper::SSshLoginCreds;
using OpenShiftSDKWrapper::SVolumeInfoLib;
using OpenShiftSDKWrapper::WQOpenShiftSDKWrapper;
using Clock = std::chrono::steady_clock;

const char* const kToken = "freeze-restore-bench-token-0123456789abcdef";

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

double MsSince(Clock::time_point start, Clock::time_point end = Clock::now()) {
  return std::chrono::duration<double, std::milli>(end - start).count();
}

std::string ScenarioText(int claims) { return BenchScenarioText(kToken, claims); }

// The simulated cluster over the sandbox's nodes, its claims provisioned as real volumes.
struct Cluster {
  std::unique_ptr<wqsim::ClusterSimulator> simulator;
  std::vector<std::string> nodes;
  std::string scratch;

  bool Start(int claims, std::string& error) {
    wqsim::Scenario scenario;
    if (!wqsim::ParseScenario(ScenarioText(claims), scenario, error)) return false;
    std::istringstream list(Env("WQSANDBOX_NODES"));
    scenario.settings.storageNodes.clear();
    for (std::string node; list >> node;) scenario.settings.storageNodes.push_back(node);
    nodes = scenario.settings.storageNodes;
    const std::string provision = Env("WQSANDBOX_PROVISION");
    scenario.settings.storageHook = [provision](const std::string& action,
                                                const std::string& volume, std::string& hookError) {
      if (action != "create") return true;  // volumes go with the sandbox
      std::string out;
      return OpenShiftSDKWrapper::WqProcess::RunReal({provision + " " + volume, {}}, out,
                                                     hookError) == 0;
    };
    simulator.reset(new wqsim::ClusterSimulator(scenario));
    if (!simulator->Start(error)) return false;
    char pattern[] = "/tmp/wqbench.XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
      error = "no scratch directory";
      return false;
    }
    scratch = pattern;
    simulator->Server().WriteTrustPem(scratch + "/trust.pem");
    setenv("WQOSDK_CA_FILE", (scratch + "/trust.pem").c_str(), 1);
    return true;
  }
  ~Cluster() {
    std::error_code ignored;
    if (!scratch.empty()) std::filesystem::remove_all(scratch, ignored);
  }
  bool Login(WQOpenShiftSDKWrapper& facade) const {
    std::map<std::string, SSshLoginCreds> credentials;
    for (const std::string& node : nodes) {
      credentials[node] = {Env("WQSANDBOX_USER"), Env("WQSANDBOX_PASSWORD"), "", ""};
    }
    return facade.ConnectServiceAccount(simulator->BaseUrl(), "bench", kToken, credentials);
  }
};

// Connections the nodes' sshd accepted so far (LogLevel VERBOSE logs each one).
size_t AcceptedConnections(const std::vector<std::string>& nodes) {
  size_t count = 0;
  for (const std::string& node : nodes) {
    std::ifstream log(Env("WQSANDBOX_DIR") + "/log/sshd-" + node + ".log");
    for (std::string line; std::getline(log, line);) {
      if (line.find("Connection from ") != std::string::npos) ++count;
    }
  }
  return count;
}

// Shims the tools of every node's own bin directory so that each run appends
// "START END" (seconds since the epoch, to the microsecond) to `stamps`.
bool StampNodeCommands(const std::vector<std::string>& nodes, const std::string& shims,
                       const std::string& stamps, std::string& error) {
  namespace fs = std::filesystem;
  for (const std::string& node : nodes) {
    const std::string nodeDir = Env("WQSANDBOX_DIR") + "/nodes/" + node;
    const std::string shimDir = shims + "/" + node;
    fs::create_directories(shimDir);
    std::error_code code;
    for (const fs::directory_entry& tool : fs::directory_iterator(nodeDir + "/bin", code)) {
      const std::string shim = shimDir + "/" + tool.path().filename().string();
      std::ofstream(shim) << "#!/bin/bash\nstart=$EPOCHREALTIME\n\"" << tool.path().string()
                          << "\" \"$@\"\nrc=$?\necho \"$start $EPOCHREALTIME\" >>'" << stamps
                          << "'\nexit $rc\n";
      fs::permissions(shim, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    }
    std::string path;
    std::ifstream(nodeDir + "/path") >> path;
    if (code || path.empty()) {
      error = "cannot read the tools or PATH of node " + node;
      return false;
    }
    std::ofstream(nodeDir + "/path") << shimDir << ":" << path << "\n";
  }
  return true;
}

// The node-side commands that ran wholly between `from` and `to` (system clock): how many,
// and their durations summed, in milliseconds.
void NodeCommandsBetween(const std::string& stamps, std::chrono::system_clock::time_point from,
                         std::chrono::system_clock::time_point to, size_t& count, double& ms) {
  const auto seconds = [](std::chrono::system_clock::time_point t) {
    return std::chrono::duration<double>(t.time_since_epoch()).count();
  };
  count = 0;
  ms = 0;
  std::ifstream in(stamps);
  for (double start = 0, end = 0; in >> start >> end;) {
    if (start >= seconds(from) && end <= seconds(to)) {
      ++count;
      ms += (end - start) * 1000;
    }
  }
}

struct Stats {
  double median = 0;
  double p90 = 0;
};

Stats Of(std::vector<double> values) {
  Stats stats;
  if (values.empty()) return stats;
  std::sort(values.begin(), values.end());
  stats.median = values.size() % 2 == 1
                     ? values[values.size() / 2]
                     : (values[values.size() / 2 - 1] + values[values.size() / 2]) / 2;
  const size_t rank = static_cast<size_t>(std::ceil(0.9 * static_cast<double>(values.size())));
  stats.p90 = values[std::max<size_t>(rank, 1) - 1];
  return stats;
}

std::mutex g_logMutex;
std::vector<std::string> g_errors;
std::vector<std::string> g_waits;  // the readiness lines

void InstallLogSink() {
  OpenShiftSDKWrapper::DebugLog::SetSink([](const OpenShiftSDKWrapper::LogLine& line) {
    std::lock_guard<std::mutex> lock(g_logMutex);
    if (line.message.find(" ready after ") != std::string::npos ||
        line.message.find(" not ready after ") != std::string::npos) {
      g_waits.push_back(line.message);
    }
    if (line.level == "ERROR") g_errors.push_back("[" + line.context + "] " + line.message);
  });
}

void PrintErrors() {
  std::lock_guard<std::mutex> lock(g_logMutex);
  const size_t first = g_errors.size() > 10 ? g_errors.size() - 10 : 0;
  for (size_t i = first; i < g_errors.size(); ++i)
    std::fprintf(stderr, "  %s\n", g_errors[i].c_str());
  g_errors.clear();
}

// ---- freeze ------------------------------------------------------------------------------

struct BackupSample {
  double windowMs = 0;
  double nodeMs = 0;  // node-side durations of the commands inside the window
  size_t windowCommands = 0;
  double wallMs = 0;
  size_t connections = 0;
};

bool Release(WQOpenShiftSDKWrapper& facade, std::vector<SVolumeInfoLib>& records) {
  bool ok = true;
  for (SVolumeInfoLib& record : records) {
    if (record.snapshotState == 1) ok = facade.UnmountVolume("bench", record) && ok;
    ok = facade.DeleteVolumeSnapshot("bench", record) && ok;
  }
  return ok;
}

bool Backup(const Cluster& cluster, WQOpenShiftSDKWrapper& facade, bool twoPhase, int claims,
            BackupSample& sample) {
  const std::string dir = cluster.scratch + "/backup";
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  std::vector<SVolumeInfoLib> records;
  const size_t before = AcceptedConnections(cluster.nodes);
  const Clock::time_point start = Clock::now();
  bool ok = true;
  std::chrono::system_clock::time_point quiesced;
  std::chrono::system_clock::time_point unquiescing;
  if (twoPhase) {
    OpenShiftSDKWrapper::SDeploymentBackupPlan plan;
    ok = facade.PrepareDeploymentSnapshot("bench", "app", plan);
    quiesced = std::chrono::system_clock::now();
    ok = ok && facade.CreateDeploymentSnapshots(plan, "bench", records);
    unquiescing = std::chrono::system_clock::now();
    ok = ok && facade.MountDeploymentSnapshots(plan, dir, records);
    if (!ok) {
      facade.CloseNodeConnections();
      facade.SetNodeConnectionReuse(0);
    }
  } else {
    quiesced = std::chrono::system_clock::now();
    ok = facade.CreateDeploymentSnapshot("bench", "app", "bench", dir, records);
    unquiescing = std::chrono::system_clock::now();
  }
  sample.wallMs = MsSince(start);
  sample.windowMs = std::chrono::duration<double, std::milli>(unquiescing - quiesced).count();
  NodeCommandsBetween(cluster.scratch + "/stamps", quiesced, unquiescing, sample.windowCommands,
                      sample.nodeMs);
  sample.connections = AcceptedConnections(cluster.nodes) - before;
  const bool released = Release(facade, records);
  return ok && released && records.size() == static_cast<size_t>(claims);
}

int Freeze(int runs, const std::vector<int>& counts) {
  setenv("WQOSDK_SLEEP_SCALE", "0", 1);
  bool failed = false;
  std::printf("%6s %4s %9s %9s %9s %9s %8s %6s %9s %9s\n", "claims", "path", "raw med", "raw p90",
              "net med", "net p90", "cmds in", "ssh", "wall/cl", "wall/cl");
  std::printf("%6s %4s %9s %9s %9s %9s %8s %6s %9s %9s\n", "", "", "window ms", "window ms",
              "window ms", "window ms", "window", "conns", "ms med", "ms p90");
  for (const int claims : counts) {
    Cluster cluster;
    std::string error;
    WQOpenShiftSDKWrapper facade;
    if (!cluster.Start(claims, error) ||
        !StampNodeCommands(cluster.nodes, cluster.scratch + "/shims", cluster.scratch + "/stamps",
                           error) ||
        !cluster.Login(facade)) {
      std::printf("%6d cluster failed: %s\n", claims, error.c_str());
      failed = true;
      continue;
    }
    std::map<bool, std::vector<BackupSample>> samples;
    for (int run = 0; run < runs; ++run) {
      for (const bool twoPhase : {false, true}) {
        BackupSample sample;
        if (!Backup(cluster, facade, twoPhase, claims, sample)) {
          std::printf("%6d %4s run %d failed\n", claims, twoPhase ? "new" : "old", run);
          PrintErrors();
          failed = true;
          continue;
        }
        samples[twoPhase].push_back(sample);
      }
    }
    for (const bool twoPhase : {false, true}) {
      std::vector<double> windows;
      std::vector<double> perClaim;
      std::vector<double> connections;
      std::vector<double> net;
      std::vector<double> commands;
      for (const BackupSample& s : samples[twoPhase]) {
        windows.push_back(s.windowMs);
        net.push_back(s.windowMs - s.nodeMs);
        commands.push_back(static_cast<double>(s.windowCommands));
        perClaim.push_back(s.wallMs / claims);
        connections.push_back(static_cast<double>(s.connections));
      }
      const Stats window = Of(windows);
      const Stats wall = Of(perClaim);
      const Stats ssh = Of(connections);
      const Stats netWindow = Of(net);
      std::printf("%6d %4s %9.1f %9.1f %9.1f %9.1f %8.0f %6.0f %9.1f %9.1f\n", claims,
                  twoPhase ? "new" : "old", window.median, window.p90, netWindow.median,
                  netWindow.p90, Of(commands).median, ssh.median, wall.median, wall.p90);
      std::fflush(stdout);
    }
  }
  return failed ? 1 : 0;
}

// ---- overhead ----------------------------------------------------------------------------

// What one remote command costs beyond its node-side duration: "gluster snapshot list" of a
// claim's volume, RUNS times on a kept connection (after one that opens it) and RUNS times on a
// fresh connection each.
int Overhead(int runs) {
  setenv("WQOSDK_SLEEP_SCALE", "0", 1);
  Cluster cluster;
  std::string error;
  WQOpenShiftSDKWrapper facade;
  if (!cluster.Start(1, error) ||
      !StampNodeCommands(cluster.nodes, cluster.scratch + "/shims", cluster.scratch + "/stamps",
                         error) ||
      !cluster.Login(facade)) {
    std::printf("cluster failed: %s\n", error.c_str());
    return 1;
  }
  OpenShiftSDKWrapper::SPersistentVolumeClaimInfoLib claim;
  OpenShiftSDKWrapper::SPersistentVolumeInfoLib volume;
  if (!facade.GetPersistentVolumeClaimInfo("bench", "data-0", claim, 0) ||
      !facade.GetPersistentVolumeInfo(claim.spec.volumeName, volume, 0)) {
    std::printf("cannot read the claim's volume\n");
    return 1;
  }
  std::printf("%-22s %5s %12s %12s %12s\n", "gluster snapshot list", "runs", "client ms med",
              "node ms med", "rest ms med");
  for (const bool kept : {true, false}) {
    facade.SetNodeConnectionReuse(kept ? 30 : 0);
    std::vector<std::string> snapshots;
    facade.GetGlusterVolumeSnapshotList(cluster.nodes.front(), volume.spec.glusterfs.path,
                                        snapshots);
    std::vector<double> client;
    std::vector<double> node;
    std::vector<double> rest;
    for (int run = 0; run < runs; ++run) {
      const auto from = std::chrono::system_clock::now();
      const bool ok = facade.GetGlusterVolumeSnapshotList(cluster.nodes.front(),
                                                          volume.spec.glusterfs.path, snapshots);
      const auto to = std::chrono::system_clock::now();
      size_t count = 0;
      double nodeMs = 0;
      NodeCommandsBetween(cluster.scratch + "/stamps", from, to, count, nodeMs);
      if (!ok || count != 1) {
        std::printf("run %d: %s, %zu node commands\n", run, ok ? "ok" : "FAILED", count);
        continue;
      }
      client.push_back(std::chrono::duration<double, std::milli>(to - from).count());
      node.push_back(nodeMs);
      rest.push_back(client.back() - nodeMs);
    }
    facade.CloseNodeConnections();
    std::printf("%-22s %5zu %12.1f %12.1f %12.1f\n", kept ? "kept connection" : "fresh connection",
                client.size(), Of(client).median, Of(node).median, Of(rest).median);
  }
  return 0;
}

// ---- restore -----------------------------------------------------------------------------

SVolumeInfoLib SavedRecord(const std::string& name) {
  SVolumeInfoLib record;
  record.name = name;
  record.capacity = "1Gi";
  record.storageClassName = "glusterfs-storage";
  record.accessModes = {"ReadWriteOnce"};
  return record;
}

// Prepares claim `name`, copies `data` into it and unmounts it.
bool RestoreClaim(WQOpenShiftSDKWrapper& facade, bool whenReady, const std::string& mountBase,
                  const std::string& name, const std::string& data) {
  std::string used;
  const SVolumeInfoLib saved = SavedRecord(name);
  // Each wait's own wall time, checks included (the library's figure leaves out the last check).
  Clock::time_point began;
  const auto observer = [&](const std::string& wait, const std::string& claim, bool done,
                            bool ready, double) {
    if (!done) {
      began = Clock::now();
      return;
    }
    char line[200];
    std::snprintf(line, sizeof line, "%s: %s wait %s, ended %.2f s after it began", claim.c_str(),
                  wait.c_str(), ready ? "ready" : "gave up", MsSince(began) / 1000);
    std::lock_guard<std::mutex> lock(g_logMutex);
    g_waits.push_back(line);
  };
  const bool prepared =
      whenReady
          ? facade.PrepareVolumeWhenReady("bench", name, mountBase, saved, false, used, observer)
          : facade.PrepareVolume("bench", name, mountBase, saved, false, used);
  if (!prepared) return false;
  const std::string mountDir = mountBase + "/" + used;
  std::error_code error;
  std::filesystem::copy_file(data, mountDir + "/data.bin", error);
  SVolumeInfoLib mounted;
  mounted.name = used;
  mounted.glusterfs.path = mountDir;
  const bool unmounted = facade.UnmountVolume("bench", mounted);
  return !error && unmounted;
}

int Restore(int runs, int oldRuns, int mib) {
  unsetenv("WQOSDK_SLEEP_SCALE");
  const int claims = 4;
  Cluster cluster;
  std::string error;
  if (!cluster.Start(0, error)) {
    std::printf("cluster failed: %s\n", error.c_str());
    return 1;
  }
  const std::string data = cluster.scratch + "/data.bin";
  std::string ignored;
  if (OpenShiftSDKWrapper::WqProcess::RunReal(
          {"head -c " + std::to_string(mib) + "M /dev/urandom > " + data, {}}, ignored, error) !=
      0) {
    std::printf("no data file: %s\n", error.c_str());
    return 1;
  }
  const std::string mountBase = cluster.scratch + "/mnt";
  std::filesystem::create_directories(mountBase);
  bool failed = false;
  std::map<bool, std::vector<double>> totals;
  std::vector<std::string> waits;
  for (const bool whenReady : {true, false}) {
    for (int run = 0; run < (whenReady ? runs : oldRuns); ++run) {
      const std::string prefix = std::string(whenReady ? "new" : "old") + std::to_string(run);
      {
        std::lock_guard<std::mutex> lock(g_logMutex);
        g_waits.clear();
      }
      bool ok = true;
      const Clock::time_point start = Clock::now();
      if (whenReady) {
        std::vector<std::thread> workers;
        std::vector<char> results(claims, 0);
        for (int i = 0; i < claims; ++i) {
          workers.emplace_back([&, i] {
            WQOpenShiftSDKWrapper facade;
            results[i] =
                cluster.Login(facade) &&
                RestoreClaim(facade, true, mountBase, prefix + "-" + std::to_string(i), data);
          });
        }
        for (std::thread& worker : workers) worker.join();
        ok = std::all_of(results.begin(), results.end(), [](char r) { return r != 0; });
      } else {
        WQOpenShiftSDKWrapper facade;
        ok = cluster.Login(facade);
        for (int i = 0; ok && i < claims; ++i) {
          ok = RestoreClaim(facade, false, mountBase, prefix + "-" + std::to_string(i), data);
        }
      }
      const double seconds = MsSince(start) / 1000;
      std::printf("%s run %d: %s, %.1f s\n",
                  whenReady ? "PrepareVolumeWhenReady x4 threads" : "PrepareVolume sequential", run,
                  ok ? "ok" : "FAILED", seconds);
      std::fflush(stdout);
      if (!ok) {
        PrintErrors();
        failed = true;
        continue;
      }
      totals[whenReady].push_back(seconds);
      std::lock_guard<std::mutex> lock(g_logMutex);
      for (const std::string& line : g_waits) waits.push_back(prefix + ": " + line);
    }
  }
  const std::string title = "restore of 4 claims x " + std::to_string(mib) + " MiB";
  std::printf("\n%-34s %5s %10s %10s\n", title.c_str(), "runs", "total med", "total p90");
  for (const bool whenReady : {false, true}) {
    const Stats total = Of(totals[whenReady]);
    std::printf("%-34s %5zu %8.1f s %8.1f s\n",
                whenReady ? "new: PrepareVolumeWhenReady, 4 thr" : "old: PrepareVolume, sequential",
                totals[whenReady].size(), total.median, total.p90);
  }
  std::printf("\nreadiness waits (library log, and the wait's own wall time):\n");
  for (const std::string& line : waits) std::printf("  %s\n", line.c_str());
  return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (Env("WQSANDBOX_NODES").empty() ||
      (mode != "freeze" && mode != "restore" && mode != "overhead")) {
    std::fprintf(
        stderr,
        "run inside sandbox/wq-sandbox: sandbox/wq-sandbox --nodes 3 -- %s freeze|restore|overhead "
        "[RUNS ...]\n",
        argv[0]);
    return 2;
  }
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  unsetenv("dBASEHOME");
  unsetenv("WQOSDK_KNOWN_HOSTS");
  unsetenv("WQOSDK_SSH_IDLE_SECONDS");
  setenv("WQOSDK_PLATFORM_CONFIG", "/nonexistent/wqosdk-platform.ini", 1);
  InstallLogSink();
  if (mode == "overhead") return Overhead(runs);
  if (mode == "freeze") {
    std::vector<int> counts;
    for (int i = 3; i < argc; ++i) counts.push_back(std::max(1, std::atoi(argv[i])));
    if (counts.empty()) counts = {1, 4, 16};
    return Freeze(runs, counts);
  }
  const int oldRuns = argc > 3 ? std::max(0, std::atoi(argv[3])) : 1;
  const int mib = argc > 4 ? std::max(1, std::atoi(argv[4])) : 100;
  return Restore(runs, oldRuns, mib);
}
