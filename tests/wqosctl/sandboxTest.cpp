// wqosctl's commands in one process on the built-in cluster, inside the storage-node sandbox
// (real sshd, glusterd and FUSE): dry runs that change nothing, the unquiesce command on
// a failed quiesce or snapshot, partial backups that can still be released, release going on
// past a failed record, and restores that keep the saved names or run in parallel.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>

#include "tests/testing/builtInCluster.h"
#include "tests/testing/programRunner.h"
#include "tests/testing/testSupport.h"
#include "tools/wqosctl/commands.h"
#include "tools/wqosctl/console.h"
#include "tools/wqosctl/embedded.h"
#include "tools/wqosctl/fileTree.h"
#include "tools/wqosctl/manifest.h"
#include "tools/wqosctl/sampleApp.h"
#include "wrapper/dcPods.h"

namespace {

using namespace OpenShiftSDKWrapper;
using wqosctl::Invocation;

class Sandbox : public wqtest::BuiltInClusterSuite {
 protected:
  void SetUp() override {
    BuiltInClusterSuite::SetUp();
    if (IsSkipped()) return;
    dir = cluster->WorkDir() + "/" + testing::UnitTest::GetInstance()->current_test_info()->name();
  }
  void TearDown() override { Fault({"clear"}); }

  Invocation Backup(bool quiesce) {
    Invocation invocation;
    invocation.command = "backup";
    invocation.positional = {wqosctl::kSampleDeploymentConfig};
    invocation.dir = dir;
    if (quiesce) {
      invocation.quiesce = wqosctl::kSampleQuiesceAnnotation;
      invocation.unquiesce = wqosctl::kSampleUnquiesceAnnotation;
    }
    return invocation;
  }
  Invocation Release() {
    Invocation invocation;
    invocation.command = "release";
    invocation.dir = dir;
    return invocation;
  }
  Invocation Restore() {
    Invocation invocation;
    invocation.command = "restore";
    invocation.positional = {wqosctl::kSampleDeploymentConfig};
    invocation.from = dir;
    return invocation;
  }
  static void Fault(const std::vector<std::string>& args) {
    std::vector<std::string> command = {std::getenv("WQSANDBOX_FAULT")};
    command.insert(command.end(), args.begin(), args.end());
    const wqtest::Result result = wqtest::Run(command, wqtest::CleanEnv());
    ASSERT_EQ(result.code, 0) << result.all();
  }
  // Every GlusterFS snapshot of the sample claims' volumes.
  static std::vector<std::string> Snapshots() {
    std::vector<std::string> all;
    for (const std::string& claim : wqosctl::SampleClaims()) {
      const std::vector<std::string> snapshots = SnapshotsOf(claim);
      all.insert(all.end(), snapshots.begin(), snapshots.end());
    }
    return all;
  }
  static std::vector<std::string> Mutations() {
    std::vector<std::string> changes;
    for (const wqsim::RecordedRequest& request : cluster->Simulator().Server().Requests()) {
      if (request.method != "GET") changes.push_back(request.method + " " + request.path);
    }
    cluster->Simulator().Server().ClearRequests();
    return changes;
  }
  // The last word of each line of every running pod's quiesce log.
  static std::vector<std::string> LastQuiesceWords() {
    std::vector<SPodInfoLib> pods;
    std::vector<std::string> words;
    session->Sdk().GetPodInfoList(wqosctl::kSampleNamespace, pods, 0);
    for (const SPodInfoLib& pod : pods) {
      if (!IsRunningPodOfDeploymentConfig(pod, wqosctl::kSampleDeploymentConfig)) continue;
      std::ifstream log(cluster->PodsDir() + "/demo/" + pod.metadata.name + "/quiesce.log");
      std::string line;
      std::string last;
      while (std::getline(log, line)) last = line.substr(0, line.find(' '));
      words.push_back(last);
    }
    return words;
  }
  // The files of a claim's live volume against the sample's.
  static std::vector<std::string> Differences(const std::string& claim, const std::string& as) {
    const std::string mount = cluster->WorkDir() + "/check-" + claim;
    std::string error;
    EXPECT_TRUE(cluster->MountVolume(VolumeOf(claim), mount, error)) << error;
    std::vector<wqosctl::FileEntry> entries;
    EXPECT_TRUE(wqosctl::ListTree(mount, true, entries, error)) << error;
    EXPECT_TRUE(cluster->UnmountVolume(mount, error)) << error;
    return wqosctl::CompareTrees(wqosctl::ExpectedSampleEntries(as), entries, true);
  }
  std::string dir;
};

TEST_F(Sandbox, DryRunsChangeNothing) {
  const std::vector<std::string> before = Snapshots();
  const std::vector<std::string> quiesced = LastQuiesceWords();
  Mutations();
  Invocation backup = Backup(true);
  backup.dryRun = true;
  backup.copyData = true;
  EXPECT_EQ(RunTool(backup), wqosctl::kExitOk);
  EXPECT_FALSE(std::filesystem::exists(dir));
  EXPECT_EQ(Snapshots(), before);
  EXPECT_EQ(Mutations(), std::vector<std::string>());
  EXPECT_EQ(LastQuiesceWords(), quiesced) << "nothing ran in the pods";
}

TEST_F(Sandbox, AFailedQuiesceStillUnquiescesAndSnapshotsNothing) {
  Invocation backup = Backup(true);
  backup.quiesce = "wq.nosuch";
  EXPECT_EQ(RunTool(backup), wqosctl::kExitFailed);
  EXPECT_TRUE(Snapshots().empty());
  EXPECT_EQ(LastQuiesceWords(), (std::vector<std::string>{"unquiesced", "unquiesced"}));
  const wqosctl::Manifest manifest = ManifestIn(dir);
  EXPECT_FALSE(manifest.complete);
  EXPECT_TRUE(manifest.volumes.empty());
}

// A gluster failure inside the freeze (the second claim's snapshot create) or after it (its
// activation): the application is unquiesced, snapshots not mounted are deleted again, and
// what is left is what the manifest names, for release to finish.
TEST_F(Sandbox, FailuresInAndAfterTheFreezeLeaveOnlyWhatTheManifestNames) {
  const std::vector<std::tuple<std::string, std::string, std::vector<std::string>>> cases = {
      {"create", "^snapshot create \\S+ " + VolumeOf("web-logs"), {}},
      {"activate", "^snapshot activate \\S+_1_GMT-", {"web-data"}}};
  for (const auto& [step, match, recorded] : cases) {
    Fault({"gluster", step, "--match", match, "--rc", "1", "--stdout", "Snapshot command failed",
           "--stderr", "snapshot " + step + ": failed: Commit failed on localhost."});
    EXPECT_EQ(RunTool(Backup(true)), wqosctl::kExitFailed) << step;
    EXPECT_EQ(LastQuiesceWords(), (std::vector<std::string>{"unquiesced", "unquiesced"})) << step;
    const wqosctl::Manifest manifest = ManifestIn(dir);
    EXPECT_FALSE(manifest.complete) << step;
    std::vector<std::string> claims;
    std::vector<std::string> named;
    for (const wqosctl::ManifestVolume& volume : manifest.volumes) {
      claims.push_back(volume.record.name);
      named.push_back(volume.record.glusterfs.snapshotName);
      EXPECT_TRUE(wqosctl::IsMounted(volume.record.glusterfs.path)) << step;
    }
    EXPECT_EQ(claims, recorded) << step;
    EXPECT_EQ(Snapshots(), named) << step;
    Fault({"clear"});
    EXPECT_EQ(RunTool(Release()), wqosctl::kExitOk) << step;
    EXPECT_TRUE(Snapshots().empty()) << step;
  }
}

TEST_F(Sandbox, ReleaseGoesOnPastAFailedRecordAndFinishesItLater) {
  ASSERT_EQ(RunTool(Backup(false)), wqosctl::kExitOk);
  wqosctl::Manifest manifest = ManifestIn(dir);
  ASSERT_EQ(manifest.volumes.size(), 2u);
  const std::string failing = manifest.volumes[0].record.glusterfs.snapshotName;
  Fault({"gluster", "delete", "--match", "^snapshot delete " + failing, "--rc", "1", "--stderr",
         "snapshot delete: failed: Commit failed on localhost."});
  EXPECT_EQ(RunTool(Release()), wqosctl::kExitFailed);
  manifest = ManifestIn(dir);
  EXPECT_FALSE(manifest.volumes[0].released);
  EXPECT_TRUE(manifest.volumes[1].released);
  EXPECT_EQ(Snapshots(), std::vector<std::string>{failing});
  Fault({"clear"});
  EXPECT_EQ(RunTool(Release()), wqosctl::kExitOk) << "the unmounted record is deleted now";
  EXPECT_TRUE(Snapshots().empty());
  EXPECT_EQ(RunTool(Release()), wqosctl::kExitOk) << "released twice";
  // A directory whose snapshots are all released takes the next backup, without the files
  // only the old one had.
  wqtest::WriteFile(dir + "/secret_stale", "{}");
  EXPECT_EQ(RunTool(Backup(false)), wqosctl::kExitOk);
  EXPECT_FALSE(std::filesystem::exists(dir + "/secret_stale"));
  Invocation again = Backup(false);
  EXPECT_EQ(RunTool(again), wqosctl::kExitFailed) << "an unreleased backup is not overwritten";
  EXPECT_EQ(RunTool(Release()), wqosctl::kExitOk);
}

TEST_F(Sandbox, RestoreFromOtherDataKeepingTheSavedNames) {
  ASSERT_EQ(RunTool(Backup(false)), wqosctl::kExitOk);
  // Without a copy in the backup the files come from --data (here: the mounted snapshots).
  const std::string data = cluster->WorkDir() + "/elsewhere";
  for (const std::string& claim : wqosctl::SampleClaims()) {
    std::filesystem::create_directories(data + "/" + claim);
    wqosctl::CopyStats stats;
    std::string error;
    ASSERT_TRUE(wqosctl::CopyTree(dir + "/" + claim, data + "/" + claim, stats, error)) << error;
  }
  ASSERT_EQ(RunTool(Release()), wqosctl::kExitOk);
  EXPECT_EQ(RunTool(Restore()), wqosctl::kExitFailed) << "the released snapshots left no files";

  Invocation restore = Restore();
  restore.data = data;
  restore.keepNames = true;
  EXPECT_EQ(RunTool(restore), wqosctl::kExitOk);
  EXPECT_EQ(ClaimsOf(wqosctl::kSampleDeploymentConfig),
            (std::vector<std::string>{"web-data", "web-logs"}))
      << "the deployment config keeps the saved names";
  std::vector<SPersistentVolumeClaimInfoLib> claims;
  ASSERT_TRUE(
      session->Sdk().GetPersistentVolumeClaimInfoList(wqosctl::kSampleNamespace, claims, 0));
  for (const SPersistentVolumeClaimInfoLib& claim : claims) {
    const std::string& name = claim.metadata.name;
    for (const std::string& saved : wqosctl::SampleClaims()) {
      if (name.rfind(saved + "-", 0) == 0) {
        EXPECT_EQ(Differences(name, saved), std::vector<std::string>()) << name;
      }
    }
  }
}

// Both claims prepared at once, each by its own worker: every progress line whole and naming
// its claim, the waits and their durations told, the files all back.
TEST_F(Sandbox, ParallelRestoreSaysWhatEachClaimWaitsFor) {
  Invocation backup = Backup(false);
  backup.copyData = true;
  ASSERT_EQ(RunTool(backup), wqosctl::kExitOk);
  ASSERT_EQ(RunTool(Release()), wqosctl::kExitOk);
  Invocation restore = Restore();
  restore.parallel = 2;
  testing::internal::CaptureStderr();
  const int code = RunTool(restore);
  const std::string out = testing::internal::GetCapturedStderr();
  ASSERT_EQ(code, wqosctl::kExitOk) << out;
  EXPECT_NE(out.find("==> prepare 2 claims, 2 at a time\n"), std::string::npos) << out;
  const std::vector<std::string> used = ClaimsOf(wqosctl::kSampleDeploymentConfig);
  ASSERT_EQ(used.size(), 2u);
  for (size_t i = 0; i < used.size(); ++i) {
    const std::string saved = wqosctl::SampleClaims()[i];
    EXPECT_EQ(used[i].rfind(saved + "-", 0), 0u) << "the saved claims exist: new names";
    EXPECT_EQ(Differences(used[i], saved), std::vector<std::string>()) << used[i];
    const std::string claim = "\n    claim " + saved + ": ";
    for (const std::string& line :
         {"waiting for the volume of claim " + used[i] + " to be online\n",
          "the volume of claim " + used[i] + " is online after ",
          "waiting for the mount of claim " + used[i] + " to answer\n",
          "the mount of claim " + used[i] + " answers after ", std::string("ready after ")}) {
      EXPECT_NE(out.find(claim + line), std::string::npos) << line << " in\n" << out;
    }
  }
  for (const std::string& line : wqosctl::SplitLines(out)) {
    EXPECT_TRUE(line.rfind("==> ", 0) == 0 || line.rfind("    ", 0) == 0 ||
                line.rfind("restore of ", 0) == 0)
        << "a line cut into by another: " << line;
  }
}

}  // namespace
