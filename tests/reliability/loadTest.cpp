// Many reads and remote commands in a row through one facade, inside sandbox/wq-sandbox: the
// cluster is the simulator running as a program of its own (so that this process holds only
// the facade, and what it measures of itself is the facade's), the storage node a real sshd.
// Every call must succeed, and neither the open descriptors nor the resident memory may grow
// once the facade is warmed up.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/testing/sandbox.h"
#include "tests/workflows/workflowTestUtil.h"

extern char** environ;

namespace {

using OpenShiftSDKWrapper::DebugLog;
using OpenShiftSDKWrapper::LogLine;
using Clock = std::chrono::steady_clock;

const int kQueries = 10000;
const int kCommands = 500;
const int kWarmupQueries = 100;
const int kWarmupCommands = 10;
// A leak of 420 bytes or more per query (or 8 KiB per command) crosses this bound; smaller
// leaks are the memory-check tests' business. Below it lies the allocator's normal give and
// take: freed chunks kept in its bins and arenas, never returned to the system page by page.
const long kRssBoundKiB = 4096;

long RssKiB() {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, 6, "VmRSS:") == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// Open descriptors, the one that lists them not counted.
int OpenFds() {
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  int count = 0;
  while (const dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
  closedir(dir);
  return count - 1;
}

// The simulated cluster as a child program, serving the workflow tests' application.
class SimulatorProcess {
 public:
  ~SimulatorProcess() { Stop(); }

  bool Start(const std::string& scenarioFile, const std::string& caFile, std::string& error) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return Fail("pipe", error);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<std::string> args = {WQ_WQSIM_PATH, "--port",   "0",   "--scenario",
                                     scenarioFile,  "--ca-out", caFile};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
      close(out[0]);
      pid_ = -1;
      errno = rc;
      return Fail("spawn " WQ_WQSIM_PATH, error);
    }
    // "listening https://127.0.0.1:PORT" once it serves.
    std::string line;
    char c = 0;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    const std::string prefix = "listening ";
    if (line.compare(0, prefix.size(), prefix) != 0) {
      error = "the simulator did not start: [" + line + "]";
      return false;
    }
    url_ = line.substr(prefix.size());
    return true;
  }

  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }

  const std::string& Url() const { return url_; }

 private:
  static bool Fail(const char* what, std::string& error) {
    error = std::string(what) + ": " + std::strerror(errno);
    return false;
  }
  pid_t pid_ = -1;
  std::string url_;
};

// This process's own processor time, user and system, in seconds: what the facade costs,
// apart from the time the cluster and the node take to answer.
double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Usage {
  long rssKiB;
  int fds;
  double cpuSeconds;
};

Usage Measure() { return {RssKiB(), OpenFds(), CpuSeconds()}; }

class LoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!wqtest::InSandbox()) GTEST_SKIP() << "runs inside sandbox/wq-sandbox only";
    node_ = wqtest::Nodes().at(0);
    // The default log's verbosity decides which lines count as written; the sink keeps none.
    DebugLog::SetSink(wqtest::SweepSink([this](const LogLine& line) {
      ++linesSeen_;
      if (line.verbosity <= DebugLog::Verbosity()) ++linesWritten_;
      if (line.level == "ERROR") {
        ++errorLines_;
        lastError_ = line.message;
      }
    }));
    const std::string scenario = scratch_.File("scenario.json", wftest::AppScenarioText());
    const std::string ca = scratch_.path() + "/ca.pem";
    std::string error;
    ASSERT_TRUE(simulator_.Start(scenario, ca, error)) << error;
    caFile_.reset(new wqtest::ScopedEnv("WQOSDK_CA_FILE", ca.c_str()));
    ASSERT_TRUE(facade_->ConnectServiceAccount(simulator_.Url(), "backup", wftest::kToken,
                                               wqtest::AllNodes(wqtest::PasswordLogin())));
  }

  void TearDown() override {
    // The facade goes first: the simulator would wait for its kept-alive connection to time
    // out before it stops.
    facade_.reset();
    simulator_.Stop();
    DebugLog::SetSink(wqtest::SweepSink(nullptr));
  }

  // Query number `i` of the mix, with a check of what it read; false on any failure.
  bool Query(int i) {
    const std::string ns = wftest::kNs;
    switch (i % 10) {
      case 0: {
        std::vector<OpenShiftSDKWrapper::SProjectInfoLib> projects;
        return facade_->GetProjectInfoList(projects, 0) && projects.size() == 1 &&
               projects[0].metadata.name == ns;
      }
      case 1: {
        std::vector<OpenShiftSDKWrapper::SStorageClassInfoLib> classes;
        return facade_->GetStorageClassList(classes, 0) && classes.size() == 1;
      }
      case 2: {
        std::vector<OpenShiftSDKWrapper::SDeploymentConfigInfoLib> dcs;
        return facade_->GetDeploymentConfigInfoList(ns, dcs, 0) && dcs.size() == 1 &&
               dcs[0].metadata.name == "web";
      }
      case 3: {
        OpenShiftSDKWrapper::SDeploymentConfigInfoLib dc;
        return facade_->GetDeploymentConfigInfo(ns, "web", dc, 0) &&
               dc.spec.templateSpec.spec.volumes.size() == 4;
      }
      case 4: {
        std::vector<OpenShiftSDKWrapper::SPersistentVolumeClaimInfoLib> claims;
        return facade_->GetPersistentVolumeClaimInfoList(ns, claims, 0) && claims.size() == 2;
      }
      case 5: {
        std::vector<OpenShiftSDKWrapper::SPodInfoLib> pods;
        if (!facade_->GetPodInfoList(ns, pods, 0) || pods.empty()) return false;
        podName_ = pods[0].metadata.name;
        return true;
      }
      case 6: {
        OpenShiftSDKWrapper::SPodInfoLib pod;
        return facade_->GetPodInfo(ns, podName_, pod, 0) && pod.metadata.name == podName_;
      }
      case 7: {
        OpenShiftSDKWrapper::SPersistentVolumeClaimInfoLib claim;
        if (!facade_->GetPersistentVolumeClaimInfo(ns, "web-data", claim, 0)) return false;
        volumeName_ = claim.spec.volumeName;
        return !volumeName_.empty();
      }
      case 8: {
        OpenShiftSDKWrapper::SPersistentVolumeInfoLib volume;
        return facade_->GetPersistentVolumeInfo(volumeName_, volume, 0) &&
               volume.metadata.name == volumeName_;
      }
      default: {
        OpenShiftSDKWrapper::SEndpointsInfoLib endpoints;
        return facade_->GetEndpointsInfo(ns, "glusterfs-dynamic-web-data", endpoints, 0) &&
               !endpoints.subsets.empty();
      }
    }
  }

  // Remote command number `i`, its output checked (the facade takes any standard error
  // output or an empty standard output for a failure).
  bool Command(int i) {
    const std::string expected = "load-" + std::to_string(i) + "\n";
    const std::string command =
        i % 2 == 0 ? "echo " + expected.substr(0, expected.size() - 1)
                   : "printf '%s\\n' " + expected.substr(0, expected.size() - 1) + " | cat";
    std::string out;
    std::string err;
    return facade_->ExecuteRemoteCommand(node_, command, out, err) && out == expected &&
           err.empty();
  }

  // Runs `count` calls of `call`; false (with the failing call and the last error line
  // reported) at the first that fails.
  bool Run(const char* what, int count, const std::function<bool(int)>& call) {
    for (int i = 0; i < count; ++i) {
      if (!call(i)) {
        ADD_FAILURE() << what << " " << i << " failed; last error line: " << lastError_;
        return false;
      }
    }
    return true;
  }

  wqtest::TempDir scratch_;
  wqtest::ScopedEnv noBase_{"dBASEHOME", nullptr};
  wqtest::ScopedEnv noConfig_{"WQOSDK_PLATFORM_CONFIG", "/nonexistent/wqosdk-platform.ini"};
  wqtest::ScopedEnv noKnownHosts_{"WQOSDK_KNOWN_HOSTS", nullptr};
  std::unique_ptr<wqtest::ScopedEnv> caFile_;
  SimulatorProcess simulator_;
  std::string node_;
  std::string podName_;
  std::string volumeName_;
  size_t linesSeen_ = 0;
  size_t linesWritten_ = 0;
  size_t errorLines_ = 0;
  std::string lastError_;  // the last error line's message, for a failure's report
  std::unique_ptr<OpenShiftSDKWrapper::WQOpenShiftSDKWrapper> facade_{
      new OpenShiftSDKWrapper::WQOpenShiftSDKWrapper};
};

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

TEST_F(LoadTest, ManyQueriesAndCommandsLeakNeitherDescriptorsNorMemory) {
  const auto query = [this](int i) { return Query(i); };
  const auto command = [this](int i) { return Command(i); };
  ASSERT_TRUE(Run("warm-up query", kWarmupQueries, query));
  ASSERT_TRUE(Run("warm-up command", kWarmupCommands, command));
  const Usage start = Measure();
  const size_t errorsBefore = errorLines_;
  const size_t writtenBefore = linesWritten_;
  const size_t seenBefore = linesSeen_;

  const Clock::time_point queriesStart = Clock::now();
  ASSERT_TRUE(Run("query", kQueries, query));
  const double querySeconds = Seconds(queriesStart);
  const Usage afterQueries = Measure();

  const Clock::time_point commandsStart = Clock::now();
  ASSERT_TRUE(Run("command", kCommands, command));
  const double commandSeconds = Seconds(commandsStart);
  const Usage end = Measure();

  std::printf("queries:  %d in %.2f s, %.0f/s (%.2f s processor time here)\n", kQueries,
              querySeconds, kQueries / querySeconds, afterQueries.cpuSeconds - start.cpuSeconds);
  std::printf("commands: %d in %.2f s, %.1f/s (%.2f s processor time here)\n", kCommands,
              commandSeconds, kCommands / commandSeconds, end.cpuSeconds - afterQueries.cpuSeconds);
  std::printf("VmRSS:    start %ld KiB, after the queries %ld KiB, end %ld KiB (%+ld KiB)\n",
              start.rssKiB, afterQueries.rssKiB, end.rssKiB, end.rssKiB - start.rssKiB);
  std::printf("open fds: start %d, after the queries %d, end %d\n", start.fds, afterQueries.fds,
              end.fds);
  std::printf("log lines: %zu written at the default level (%zu seen by the sink)\n",
              linesWritten_ - writtenBefore, linesSeen_ - seenBefore);

  EXPECT_EQ(errorsBefore, errorLines_) << "error lines logged under load";
  ASSERT_GT(start.rssKiB, 0);
  ASSERT_GT(start.fds, 0);
  EXPECT_LE(afterQueries.fds, start.fds);
  EXPECT_LE(end.fds, start.fds);
  EXPECT_LE(end.rssKiB - start.rssKiB, kRssBoundKiB);
}

}  // namespace
