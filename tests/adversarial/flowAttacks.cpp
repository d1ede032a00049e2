// Attacks on the backup, release and restore flow of the wqosctl program, against a cluster
// of this process: tampered manifests, SIGTERM and SIGKILL at each step, a full disk during
// the data copy, unknown storage nodes and a backup made by the first wqosctl. After each
// case: no mount or snapshot left that the manifest does not name (none after release),
// nothing outside the backup directory changed, no change in the cluster from a refusal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

#include "json/json_spirit.h"
#include "tests/testing/builtInCluster.h"
#include "tests/testing/programRunner.h"
#include "tests/testing/testSupport.h"
#include "tools/wqosctl/console.h"
#include "tools/wqosctl/embedded.h"
#include "tools/wqosctl/fileTree.h"
#include "tools/wqosctl/manifest.h"
#include "tools/wqosctl/session.h"

namespace {

namespace fs = std::filesystem;
using json_spirit::mObject;
using wqtest::ReadFile;
using wqtest::WriteFile;
using Names = std::set<std::string>;

class Flow : public wqtest::BuiltInClusterSuite {
 protected:
  static void SetUpTestSuite() {
    wqosctl::Credentials credentials;
    credentials.user = "operator";
    credentials.password = wqtest::UniqueSecret("flow");
    std::string error;
    ASSERT_TRUE(wqtest::StartBuiltInCluster(credentials, cluster, session, error)) << error;
    WriteFile(cluster->WorkDir() + "/password", credentials.password);
    WriteFile(cluster->WorkDir() + "/node-password", std::getenv("WQSANDBOX_PASSWORD"));
  }
  void SetUp() override {
    BuiltInClusterSuite::SetUp();
    mounts = Mounts();
  }

  // wqosctl with `args` (plain words) started against the cluster, its stderr in `log`.
  pid_t Start(const std::string& args, const char* pauseAt = "", const std::string& base = "") {
    log = work.path() + "/log" + std::to_string(++runs);
    const std::string command =
        "WQOSCTL_TEST_PAUSE_AT=" + std::string(pauseAt) +
        (base.empty() ? "" : " dBASEHOME=" + base) + " exec " WQOSCTL_PROGRAM " " + args +
        " -n demo --server " + cluster->Url() + " --user operator --password-file " +
        cluster->WorkDir() + "/password --node-user " + std::getenv("WQSANDBOX_USER") +
        " --node-password-file " + cluster->WorkDir() + "/node-password 2>" + log + " >/dev/null";
    const pid_t child = fork();
    if (child == 0) _exit(execl("/bin/sh", "sh", "-c", command.c_str(), nullptr));
    return child;
  }
  int Wait(pid_t child) {
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  int Run(const std::string& args) { return Wait(Start(args)); }
  int Release(const std::string& at) { return Run("release --dir " + at); }
  std::string Backup(bool copy = false, const std::string& into = "") {
    return "backup web --dir " + (into.empty() ? dir : into) + (copy ? " --copy-data" : "") +
           " --quiesce-annotation wq.quiesce --unquiesce-annotation wq.unquiesce";
  }
  // The lines of every pod's quiesce log, and whether one ends quiesced.
  static std::pair<size_t, bool> QuiesceLogs() {
    std::pair<size_t, bool> seen{0, false};
    std::vector<std::string> pods;
    std::string ignored;
    wqosctl::DirectoryNames(cluster->PodsDir() + "/demo", pods, ignored);
    for (const std::string& pod : pods) {
      std::ifstream in(cluster->PodsDir() + "/demo/" + pod + "/quiesce.log");
      std::string last;
      for (std::string line; std::getline(in, line); ++seen.first) {
        last = line.substr(0, line.find(' '));
      }
      seen.second = seen.second || last == "quiesced";
    }
    return seen;
  }
  static Names Snapshots() {
    Names all;
    for (const std::string claim : {"web-data", "web-logs"}) {
      for (const std::string& name : SnapshotsOf(claim)) all.insert(name);
    }
    return all;
  }
  static Names Mounts() {
    Names all;
    std::ifstream in("/proc/self/mounts");
    for (std::string source, point, rest; in >> source >> point && std::getline(in, rest);) {
      if (point.rfind("/tmp/", 0) == 0) all.insert(point);
    }
    return all;
  }
  // Snapshots, and mounts not in `mounts`, that the manifest in `dir` does not name.
  Names Unnamed() {
    wqosctl::Manifest manifest;
    std::string error;
    wqosctl::ReadManifest(dir, manifest, error);
    Names left = Snapshots();
    for (const std::string& mount : Mounts()) {
      if (mounts.count(mount) == 0) left.insert(mount);
    }
    for (const wqosctl::ManifestVolume& v : manifest.volumes) {
      left.erase(v.record.glusterfs.snapshotName);
      left.erase(wqosctl::MountPathOf(dir, v));
      const std::string planned = v.plannedSnapshot + "_GMT";
      for (auto it = left.begin(); it != left.end();) {
        it = !v.plannedSnapshot.empty() && it->rfind(planned, 0) == 0 ? left.erase(it) : ++it;
      }
    }
    return left;
  }

  wqtest::TempDir work;
  const std::string dir = work.path() + "/backup";
  std::string log;
  Names mounts;
  int runs = 0;
};

// The manifest of a backup, naming its first claim only and with one thing changed, handed
// to release and restore. A victim directory outside stands for the host: a mount and a file.
TEST_F(Flow, TamperedManifestsChangeNothingOutside) {
  const std::string victim = work.path() + "/victim";
  fs::create_directories(victim);
  ASSERT_EQ(system(("mount -t tmpfs tmpfs " + victim).c_str()), 0);
  WriteFile(victim + "/shadow", "root:secret\n");
  ASSERT_EQ(Run(Backup()), 0) << ReadFile(log);
  json_spirit::mValue good;
  ASSERT_TRUE(json_spirit::read_string(ReadFile(wqosctl::ManifestPath(dir)), good));
  const std::string other =
      good.get_obj()["volumes"].get_array()[1].get_obj()["glusterSnapshot"].get_str();
  using Change = std::function<void(mObject&, mObject&)>;
  const std::vector<std::tuple<const char*, const char*, Change>> edits = {
      {"mount path", "release", [&](auto&, auto& v) { v["mountPath"] = victim; }},
      {"other's snapshot", "release", [&](auto&, auto& v) { v["glusterSnapshot"] = other; }},
      {"data copy", "release restore", [&](auto&, auto& v) { v["dataCopy"] = "../victim"; }},
      {"claim ..", "release restore", [&](auto&, auto& v) { v["name"] = "../victim"; }},
      {"claim type", "release restore", [&](auto&, auto& v) { v["name"] = 7; }},
      {"file ..", "release restore",
       [&](auto& m, auto&) { m["files"].get_array().push_back("../x"); }},
      {"newer", "release restore", [&](auto& m, auto&) { m["version"] = 99; }},
      {"version type", "release restore", [&](auto& m, auto&) { m["version"] = "2"; }},
      {"truncated", "release restore", [&](auto& m, auto&) { m.clear(); }},
      {"secret file a link", "restore", [&](auto&, auto&) {
         fs::rename(dir + "/secret_web-secret", dir + "/secret");
         fs::create_symlink(victim + "/shadow", dir + "/secret_web-secret");
       }}};
  const Names snapshots = Snapshots();
  mounts = Mounts();
  for (const auto& [what, commands, change] : edits) {
    for (const std::string command : {"release", "restore"}) {
      if (std::strstr(commands, command.c_str()) == nullptr) continue;
      json_spirit::mValue value = good;
      value.get_obj()["volumes"].get_array().resize(1);
      change(value.get_obj(), value.get_obj()["volumes"].get_array()[0].get_obj());
      WriteFile(wqosctl::ManifestPath(dir),
                value.get_obj().empty() ? "{\"version\": 2," : json_spirit::write_string(value));
      cluster->Simulator().Server().ClearRequests();
      const int code = command == "release" ? Release(dir) : Run("restore web --from " + dir);
      const auto requests = cluster->Simulator().Server().Requests();
      const long changes = std::count_if(requests.begin(), requests.end(),
                                         [](const auto& r) { return r.method != "GET"; });
      EXPECT_EQ(std::tuple(code, Snapshots(), Mounts(), changes, ReadFile(victim + "/shadow")),
                std::tuple(1, snapshots, mounts, 0L, std::string("root:secret\n")))
          << what << ", " << command << ": " << ReadFile(log);
    }
  }
  fs::rename(dir + "/secret", dir + "/secret_web-secret");
  WriteFile(wqosctl::ManifestPath(dir), json_spirit::write_string(good));
  EXPECT_EQ(Release(dir), 0) << ReadFile(log);
  EXPECT_EQ(Snapshots(), Names());
  EXPECT_EQ(system(("umount " + victim).c_str()), 0);
}

// The tool signalled or killed at each step of a command; then release from what was left.
// While a backup is paused, a second one of the same deployment config refuses before its
// quiesce command; after the end, SIGKILL inside the freeze included, no pod stays quiesced.
TEST_F(Flow, KilledAnywhereLeavesWhatReleaseFinishes) {
  for (const auto& [command, step, signal] :
       {std::tuple{"backup", "planned", SIGKILL}, std::tuple{"backup", "quiesced", SIGKILL},
        std::tuple{"backup", "snapshotted", SIGKILL}, std::tuple{"backup", "snapshotted", SIGTERM},
        std::tuple{"copy", "copy", SIGKILL}, std::tuple{"copy", "copy", SIGTERM},
        std::tuple{"release", "release", SIGKILL},
        std::tuple{"restore", "restore-copy", SIGTERM}}) {
    const std::string is = command;
    const std::string what = is + " at " + step + ", " + strsignal(signal) + ": ";
    fs::remove_all(dir);
    if (is == "release" || is == "restore") {
      ASSERT_EQ(Run(Backup(true)), 0) << ReadFile(log);
    }
    const pid_t child = Start(is == "release"   ? "release --dir " + dir
                              : is == "restore" ? "restore web --from " + dir
                                                : Backup(is == "copy"),
                              step);
    // The pause, or (for a tool without it) a snapshot or claim mounted.
    for (int i = 0; i < 1200 && ReadFile(log).find("paused at") == std::string::npos &&
                    !(is == "restore" ? Mounts().size() > mounts.size() + 2
                                      : is != "release" && Mounts().count(dir + "/web-data"));
         ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (is == "backup" || is == "copy") {
      const std::string first = log;
      const size_t lines = QuiesceLogs().first;
      EXPECT_EQ(Run(Backup(false, dir + "-second")), 1) << what << ReadFile(log);
      EXPECT_EQ(QuiesceLogs().first, lines) << what << "the second backup quiesced";
      EXPECT_FALSE(fs::exists(dir + "-second")) << what;
      log = first;
    }
    kill(child, signal);
    EXPECT_NE(Wait(child), 0) << what;
    bool quiesced = true;
    for (int i = 0; i < 200 && (quiesced = QuiesceLogs().second); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_FALSE(quiesced) << what << "left quiesced";
    EXPECT_EQ(Unnamed(), Names()) << what << ReadFile(log);
    EXPECT_EQ(Release(dir), 0) << what << ReadFile(log);
    EXPECT_EQ(Release(dir), 0) << what << "a second release: " << ReadFile(log);
    EXPECT_EQ(Unnamed(), Names()) << what;
    EXPECT_EQ(Snapshots(), Names()) << what;
  }
  // A snapshot deleted behind the tool's back counts as released.
  ASSERT_EQ(Run(Backup()), 0) << ReadFile(log);
  ASSERT_TRUE(
      session->Sdk().DeleteGlusterVolumeSnapshot(cluster->Nodes().front(), *Snapshots().begin()));
  EXPECT_EQ(Release(dir), 0) << ReadFile(log);
  EXPECT_EQ(Mounts(), mounts);
}

// The data copy fills the disk of the backup directory: the snapshots are still named.
TEST_F(Flow, AFullDiskDuringTheCopyLeavesAManifest) {
  fs::create_directories(dir);
  ASSERT_EQ(system(("mount -t tmpfs -o size=64k,mode=0700 tmpfs " + dir).c_str()), 0);
  mounts = Mounts();
  EXPECT_EQ(Run(Backup(true)), 1) << ReadFile(log);
  EXPECT_EQ(Unnamed(), Names()) << ReadFile(log);
  fs::remove_all(dir + "/data");
  EXPECT_EQ(Release(dir), 0) << ReadFile(log);
  EXPECT_EQ(Snapshots(), Names());
  EXPECT_EQ(system(("umount " + dir).c_str()), 0);
}

// Without a known_hosts file nothing tells the storage nodes from a machine that whoever may
// edit Endpoints points them at: the default node login goes to none, unless trusted.
TEST_F(Flow, NoDefaultNodeLoginForUnknownNodes) {
  const std::string base = work.path() + "/base";
  fs::copy(std::getenv("dBASEHOME"), base);
  fs::remove(base + "/known_hosts");
  EXPECT_EQ(Wait(Start(Backup(), "", base)), 1) << ReadFile(log);
  EXPECT_EQ(Snapshots(), Names());
  EXPECT_NE(ReadFile(log).find(cluster->Nodes().front() + " (host key SHA256:"), std::string::npos)
      << ReadFile(log);
  EXPECT_EQ(Wait(Start(Backup() + " --trust-endpoint-nodes", "", base)), 0) << ReadFile(log);
  EXPECT_EQ(Release(dir), 0) << ReadFile(log);
}

// A backup directory written by the first wqosctl (manifest format 1, its snapshots gone
// with the cluster it came from) is released and restored by this one.
TEST_F(Flow, AFormatOneBackupIsReleasedAndRestored) {
  std::string source = WQ_SANDBOX_GLUSTER;
  source.resize(source.size() - std::strlen("/sandbox/bin/gluster"));
  fs::copy(source + "/tests/data/backups/v1", dir);
  for (const std::string claim : {"web-data", "web-logs"}) {
    fs::create_directories(work.path() + "/data/" + claim);
    WriteFile(work.path() + "/data/" + claim + "/.env", claim);
  }
  EXPECT_EQ(Release(dir), 0) << ReadFile(log);
  EXPECT_EQ(Run("restore web --from " + dir + " --data " + work.path() + "/data"), 0)
      << ReadFile(log);
}

}  // namespace
