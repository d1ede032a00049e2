// Attacks on the backup, release and restore flow of the wqosctl program, against a cluster
// of this process: tampered manifests, SIGTERM and SIGKILL at each step, a full disk during
// the data copy, and a backup made by an older wqosctl. After each case: no mount or
// snapshot left that the manifest does not name (none at all after release), nothing
// outside the backup directory changed, no change in the cluster from a refused command.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <thread>

#include "json/json_spirit.h"
#include "tests/wqosctl/toolTestUtil.h"
#include "tools/wqosctl/console.h"
#include "tools/wqosctl/embedded.h"
#include "tools/wqosctl/fileTree.h"
#include "tools/wqosctl/manifest.h"
#include "tools/wqosctl/sampleApp.h"
#include "tools/wqosctl/session.h"

namespace {

namespace fs = std::filesystem;
using wqtooltest::ReadFile;
using wqtooltest::WriteFile;

class Flow : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("WQOSDK_SLEEP_SCALE", "0.001", 1);
    wqosctl::LibraryLog::Install(false, std::string());
    cluster = new wqosctl::EmbeddedCluster();
    credentials.user = "operator";
    credentials.password = wqtooltest::UniqueSecret("flow");
    std::string error;
    ASSERT_TRUE(cluster->Start(credentials, error)) << error;
    session = new wqosctl::Session(cluster->Url(), credentials);
    ASSERT_TRUE(session->Open(error) && cluster->SeedFiles(session->Sdk(), error)) << error;
    WriteFile(cluster->WorkDir() + "/node-password", std::getenv("WQSANDBOX_PASSWORD"));
  }
  static void TearDownTestSuite() {
    delete session;
    delete cluster;
  }
  void SetUp() override {
    if (session == nullptr) GTEST_SKIP() << "the cluster did not start";
    dir = work.path() + "/backup";
  }

  // wqosctl COMMAND against the cluster, started; stderr goes to `log`.
  pid_t Start(std::vector<std::string> args, const std::string& pauseAt = "",
              const std::string& base = "") {
    args.insert(args.begin() + 1,
                {"--server", cluster->Url(), "--user", credentials.user, "--node-user",
                 std::getenv("WQSANDBOX_USER"), "--node-password-file",
                 cluster->WorkDir() + "/node-password", "-n", wqosctl::kSampleNamespace});
    args.insert(args.begin(), WQOSCTL_PROGRAM);
    std::vector<char*> argv;
    for (std::string& word : args) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    log = work.path() + "/log" + std::to_string(++runs);
    const pid_t child = fork();
    if (child == 0) {
      setenv("WQOSCTL_PASSWORD", credentials.password.c_str(), 1);
      if (!pauseAt.empty()) setenv("WQOSCTL_TEST_PAUSE_AT", pauseAt.c_str(), 1);
      if (!base.empty()) setenv("dBASEHOME", base.c_str(), 1);
      freopen(log.c_str(), "w", stderr);
      freopen("/dev/null", "w", stdout);
      execv(argv[0], argv.data());
      _exit(127);
    }
    return child;
  }
  static int Wait(pid_t child) {
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  int Run(const std::vector<std::string>& args) { return Wait(Start(args)); }
  int Release(const std::string& at) { return Run({"release", "--dir", at}); }
  std::vector<std::string> Backup(bool copy) {
    std::vector<std::string> args = {"backup", wqosctl::kSampleDeploymentConfig, "--dir", dir};
    if (copy) args.push_back("--copy-data");
    return args;
  }

  // Every snapshot of the sample claims' volumes, and every mount below /tmp.
  static std::set<std::string> Snapshots() {
    std::set<std::string> all;
    for (const std::string& claim : wqosctl::SampleClaims()) {
      std::vector<std::string> names;
      session->Sdk().GetGlusterVolumeSnapshotList(
          cluster->Nodes().front(),
          wqosctl::EmbeddedCluster::GlusterVolumeOf(session->Sdk(), "demo", claim), names);
      all.insert(names.begin(), names.end());
    }
    return all;
  }
  static std::set<std::string> Mounts() {
    std::set<std::string> mounts;
    std::ifstream in("/proc/self/mounts");
    for (std::string source, point, rest; in >> source >> point && std::getline(in, rest);) {
      if (point.rfind("/tmp/", 0) == 0) mounts.insert(point);
    }
    return mounts;
  }
  // What the manifest in `at` leaves unnamed: snapshots and mounts made since `before`.
  std::vector<std::string> Unnamed(const std::string& at, const std::set<std::string>& snaps,
                                   const std::set<std::string>& mounts) {
    wqosctl::Manifest manifest;
    std::string error;
    const bool read = wqosctl::ReadManifest(at, manifest, error);
    std::vector<std::string> left;
    for (const std::string& snapshot : Snapshots()) {
      bool named = snaps.count(snapshot) != 0;
      for (const wqosctl::ManifestVolume& volume : manifest.volumes) {
        const std::string& planned = volume.plannedSnapshot;
        named = named || snapshot == volume.record.glusterfs.snapshotName ||
                (!planned.empty() && snapshot.rfind(planned + "_GMT-", 0) == 0);
      }
      if (!named) left.push_back("snapshot " + snapshot + (read ? "" : " (" + error + ")"));
    }
    for (const std::string& mount : Mounts()) {
      bool named = mounts.count(mount) != 0;
      for (const wqosctl::ManifestVolume& volume : manifest.volumes) {
        named = named || mount == wqosctl::MountPathOf(at, volume);
      }
      if (!named) left.push_back("mount " + mount);
    }
    return left;
  }
  size_t ClusterChanges() {
    size_t changes = 0;
    for (const wqsim::RecordedRequest& request : cluster->Simulator().Server().Requests()) {
      changes += request.method != "GET";
    }
    return changes;
  }

  static wqosctl::EmbeddedCluster* cluster;
  static wqosctl::Session* session;
  static wqosctl::Credentials credentials;
  wqtooltest::TempDir work;
  std::string dir;
  std::string log;
  int runs = 0;
};

wqosctl::EmbeddedCluster* Flow::cluster = nullptr;
wqosctl::Session* Flow::session = nullptr;
wqosctl::Credentials Flow::credentials;

// A backup, then copies of its directory with one thing changed, handed to release and
// restore. A victim directory outside stands for the host: a mount, files, a secret.
TEST_F(Flow, TamperedManifestsChangeNothingOutside) {
  const std::string victim = work.path() + "/victim";
  fs::create_directories(victim + "/web-data");
  ASSERT_EQ(system(("mount -t tmpfs tmpfs " + victim + "/web-data").c_str()), 0);
  WriteFile(victim + "/web-data/shadow", "root:secret\n");
  ASSERT_EQ(Run(Backup(false)), 0) << ReadFile(log);
  const std::string text = ReadFile(wqosctl::ManifestPath(dir));
  json_spirit::mValue good;
  ASSERT_TRUE(json_spirit::read_string(text, good));
  const auto& volumes = good.get_obj().at("volumes").get_array();
  const std::string otherSnapshot = volumes[1].get_obj().at("glusterSnapshot").get_str();
  // Each edit of a manifest that names the first claim only, with the copy's own paths.
  struct Edit {
    const char* what;
    std::vector<std::string> commands;
    std::function<void(json_spirit::mObject&, json_spirit::mObject&)> change;
  };
  const std::vector<std::string> both = {"release", "restore"};
  const std::vector<Edit> edits = {
      {"mount path elsewhere",
       {"release"},
       [&](auto&, auto& v) { v["mountPath"] = victim + "/web-data"; }},
      {"another volume's snapshot",
       {"release"},
       [&](auto&, auto& v) { v["glusterSnapshot"] = otherSnapshot; }},
      {"data copy elsewhere", both, [&](auto&, auto& v) { v["dataCopy"] = "../victim/web-data"; }},
      {"claim name with ..", both, [&](auto&, auto& v) { v["name"] = "../victim/web-data"; }},
      {"claim name of a wrong type", both, [&](auto&, auto& v) { v["name"] = 7; }},
      {"file outside", both, [&](auto& m, auto&) { m["files"].get_array().push_back("../x"); }},
      {"newer version", both, [&](auto& m, auto&) { m["version"] = 99; }},
      {"version as text", both, [&](auto& m, auto&) { m["version"] = "2"; }},
  };
  const std::set<std::string> snaps = Snapshots();
  const std::set<std::string> mounts = Mounts();
  int index = 0;
  for (const Edit& edit : edits) {
    for (const std::string& command : edit.commands) {
      const std::string copy = work.path() + "/t" + std::to_string(++index);
      fs::create_directories(copy + "/web-data");
      WriteFile(copy + "/web-data/file", "saved");
      for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.is_regular_file()) fs::copy(entry.path(), copy / entry.path().filename());
      }
      json_spirit::mValue value = good;
      json_spirit::mArray& all = value.get_obj()["volumes"].get_array();
      all.resize(1);
      all[0].get_obj()["mountPath"] = copy + "/web-data";
      edit.change(value.get_obj(), all[0].get_obj());
      WriteFile(wqosctl::ManifestPath(copy), json_spirit::write_string(value));
      cluster->Simulator().Server().ClearRequests();
      const int code =
          command == "release" ? Release(copy) : Run({"restore", "web", "--from", copy});
      const std::string what = std::string(edit.what) + ", " + command + ": " + ReadFile(log);
      EXPECT_EQ(code, 1) << what;
      EXPECT_EQ(Snapshots(), snaps) << what;
      EXPECT_EQ(Mounts(), mounts) << what;
      EXPECT_EQ(ClusterChanges(), 0u) << what;
      EXPECT_EQ(ReadFile(victim + "/web-data/shadow"), "root:secret\n") << what;
    }
  }
  // A truncated manifest and an object file replaced by a link.
  const std::string truncated = work.path() + "/truncated";
  fs::create_directories(truncated);
  WriteFile(wqosctl::ManifestPath(truncated), text.substr(0, text.size() / 2));
  EXPECT_EQ(Release(truncated), 1);
  fs::rename(dir + "/secret_web-secret", dir + "/saved-secret");
  fs::create_symlink(victim + "/web-data/shadow", dir + "/secret_web-secret");
  cluster->Simulator().Server().ClearRequests();
  EXPECT_EQ(Run({"restore", "web", "--from", dir}), 1) << ReadFile(log);
  EXPECT_EQ(ClusterChanges(), 0u) << ReadFile(log);
  EXPECT_EQ(Release(dir), 0) << ReadFile(log);
  EXPECT_EQ(system(("umount " + victim + "/web-data").c_str()), 0);
  EXPECT_EQ(Unnamed(dir, {}, mounts), std::vector<std::string>());
}

// The tool signalled or killed at each step; then release from whatever was left.
TEST_F(Flow, KilledAnywhereLeavesWhatReleaseFinishes) {
  struct Case {
    const char* step;
    int signal;
    bool copy;
  };
  const std::set<std::string> mounts = Mounts();
  for (const Case& c : {Case{"planned", SIGKILL, false}, Case{"snapshotted", SIGKILL, false},
                        Case{"snapshotted", SIGTERM, false}, Case{"copy", SIGKILL, true},
                        Case{"copy", SIGTERM, true}, Case{"release", SIGKILL, false}}) {
    const std::string what = std::string(c.step) + " " + strsignal(c.signal);
    fs::remove_all(dir);
    const bool atRelease = std::string(c.step) == "release";
    if (atRelease) {
      ASSERT_EQ(Run(Backup(false)), 0) << ReadFile(log);
    }
    const pid_t child =
        atRelease ? Start({"release", "--dir", dir}, c.step) : Start(Backup(c.copy), c.step);
    // The pause, or (for a tool without it) the first snapshot mounted.
    for (int i = 0; i < 1200 && ReadFile(log).find("paused at") == std::string::npos &&
                    (atRelease || !wqosctl::IsMounted(dir + "/web-data"));
         ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(child, c.signal);
    EXPECT_NE(Wait(child), 0) << what;
    EXPECT_EQ(Unnamed(dir, {}, mounts), std::vector<std::string>()) << what << ReadFile(log);
    EXPECT_EQ(Release(dir), 0) << what << ReadFile(log);
    EXPECT_EQ(Release(dir), 0) << what << ": a second release" << ReadFile(log);
    EXPECT_EQ(Snapshots(), std::set<std::string>()) << what;
    EXPECT_EQ(Mounts(), mounts) << what;
  }
  // A snapshot deleted behind the tool's back counts as released.
  ASSERT_EQ(Run(Backup(false)), 0) << ReadFile(log);
  wqosctl::Manifest manifest;
  std::string error;
  ASSERT_TRUE(wqosctl::ReadManifest(dir, manifest, error)) << error;
  ASSERT_TRUE(session->Sdk().DeleteGlusterVolumeSnapshot(
      cluster->Nodes().front(), manifest.volumes[0].record.glusterfs.snapshotName));
  EXPECT_EQ(Release(dir), 0) << ReadFile(log);
  EXPECT_EQ(Snapshots(), std::set<std::string>());
  EXPECT_EQ(Mounts(), mounts);
  // A restore stopped while it fills a new claim leaves it unmounted.
  ASSERT_EQ(Run(Backup(true)), 0) << ReadFile(log);
  const pid_t child = Start({"restore", "web", "--from", dir}, "restore-copy");
  for (int i = 0; i < 1200 && ReadFile(log).find("paused at") == std::string::npos &&
                  Mounts().size() <= mounts.size() + 2;
       ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill(child, SIGTERM);
  EXPECT_EQ(Wait(child), 1) << ReadFile(log);
  EXPECT_NE(ReadFile(log).find("claims prepared: web-data->"), std::string::npos) << ReadFile(log);
  EXPECT_EQ(Release(dir), 0) << ReadFile(log);
  EXPECT_EQ(Mounts(), mounts);
}

// The data copy fills the disk of the backup directory: the snapshots are still named.
TEST_F(Flow, AFullDiskDuringTheCopyLeavesAManifest) {
  const std::string volume =
      wqosctl::EmbeddedCluster::GlusterVolumeOf(session->Sdk(), "demo", "web-data");
  std::string error;
  ASSERT_TRUE(cluster->MountVolume(volume, work.path() + "/live", error)) << error;
  WriteFile(work.path() + "/live/big", std::string(1 << 20, 'x'));
  ASSERT_TRUE(cluster->UnmountVolume(work.path() + "/live", error)) << error;
  fs::create_directories(dir);
  std::set<std::string> known = Mounts();
  known.insert(dir);
  ASSERT_EQ(system(("mount -t tmpfs -o size=256k tmpfs " + dir).c_str()), 0);
  EXPECT_EQ(Run(Backup(true)), 1) << ReadFile(log);
  EXPECT_EQ(Unnamed(dir, {}, known), std::vector<std::string>()) << ReadFile(log);
  fs::remove_all(dir + "/data");
  EXPECT_EQ(Release(dir), 0) << ReadFile(log);
  EXPECT_EQ(Snapshots(), std::set<std::string>());
  EXPECT_EQ(system(("umount " + dir).c_str()), 0);
  ASSERT_TRUE(cluster->MountVolume(volume, work.path() + "/live", error)) << error;
  fs::remove(work.path() + "/live/big");
  ASSERT_TRUE(cluster->UnmountVolume(work.path() + "/live", error)) << error;
}

// Without a known_hosts file nothing tells the cluster's storage nodes from a machine that
// someone who may edit Endpoints points them at: the default node login goes to none.
TEST_F(Flow, NoDefaultNodeLoginForUnknownNodes) {
  const std::string base = work.path() + "/base";
  fs::copy(std::getenv("dBASEHOME"), base);
  fs::remove(base + "/known_hosts");
  for (const bool trusted : {false, true}) {
    std::vector<std::string> args = Backup(false);
    if (trusted) args.push_back("--trust-endpoint-nodes");
    fs::remove_all(dir);
    EXPECT_EQ(Wait(Start(args, "", base)), trusted ? 0 : 1) << ReadFile(log);
    if (!trusted) {
      EXPECT_EQ(Snapshots(), std::set<std::string>());
      EXPECT_NE(ReadFile(log).find(cluster->Nodes().front()), std::string::npos);
    }
  }
  EXPECT_EQ(Release(dir), 0) << ReadFile(log);
}

// A backup directory written by the first wqosctl (manifest format 1, its snapshots gone
// with the cluster it came from) is released and restored by this one.
TEST_F(Flow, AFormatOneBackupIsReleasedAndRestored) {
  std::string source = WQ_SANDBOX_GLUSTER;
  source.resize(source.size() - std::string("/sandbox/bin/gluster").size());
  fs::copy(source + "/tests/data/backups/v1", dir);
  for (const std::string& claim : wqosctl::SampleClaims()) {
    fs::create_directories(work.path() + "/data/" + claim);
    WriteFile(work.path() + "/data/" + claim + "/.env", claim);
  }
  EXPECT_EQ(Release(dir), 0) << ReadFile(log);
  EXPECT_EQ(Run({"restore", "web", "--from", dir, "--data", work.path() + "/data"}), 0)
      << ReadFile(log);
}

}  // namespace
