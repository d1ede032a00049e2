// Control flow of the backup and restore workflows against the simulated cluster, without
// storage nodes: no SSH credentials are given, so every GlusterFS step fails at once, and
// local commands (umount, mount, rm) go to a recording runner.
#include <sys/stat.h>

#include <cstdlib>

#include "tests/workflows/workflowTestUtil.h"
#include "wrapper/readiness.h"

namespace wftest {
namespace {

using OpenShiftSDKWrapper::ProcessRequest;
using OpenShiftSDKWrapper::WqProcess;

class WorkflowUnitTest : public WorkflowTest {
 protected:
  void SetUp() override {
    WorkflowTest::SetUp();
    WqProcess::SetRunner(
        wqtest::SweepRunner([this](const ProcessRequest& request, std::string&, std::string& err) {
          commands_.push_back(request.command);
          if (localResult_ != 0) err = "umount: not mounted.";
          return localResult_;
        }));
  }

  void Start(const std::string& extra = std::string()) {
    StartCluster({"127.0.0.1"}, nullptr, Credentials(), extra);
  }

  void SaveFile(const std::string& name, const std::string& text) {
    ::mkdir(backupDir_.c_str(), 0700);
    std::ofstream(Backup(name), std::ios::binary) << text;
  }
  // The saved text of the application's objects, as a backup writes them.
  void SaveApplication() {
    SaveFile("secret_web-secret", Get("/api/v1/namespaces/demo/secrets/web-secret"));
    SaveFile("configmap_web-config", Get("/api/v1/namespaces/demo/configmaps/web-config"));
    SaveFile("deploymentconfig_web", Get("/oapi/v1/namespaces/demo/deploymentconfigs/web"));
  }
  // Removes the application's objects from the cluster, so a restore must create them.
  void DeleteApplication() {
    EXPECT_EQ(200, Send("DELETE", "/oapi/v1/namespaces/demo/deploymentconfigs/web"));
    EXPECT_EQ(200, Send("DELETE", "/api/v1/namespaces/demo/secrets/web-secret"));
    EXPECT_EQ(200, Send("DELETE", "/api/v1/namespaces/demo/configmaps/web-config"));
  }
  std::vector<std::string> ClaimNamesOfDc(const std::string& dc = "web") {
    std::vector<std::string> names;
    const boost::json::value volumes =
        At(GetObject("/oapi/v1/namespaces/demo/deploymentconfigs/" + dc),
           "spec/template/spec/volumes");
    for (const boost::json::value& volume : volumes.as_array()) {
      const std::string claim = Text(At(volume.as_object(), "persistentVolumeClaim/claimName"));
      if (!claim.empty()) names.push_back(claim);
    }
    return names;
  }

  std::vector<std::string> commands_;
  int localResult_ = 0;
};

// ---- Backup ------------------------------------------------------------------------------

TEST_F(WorkflowUnitTest, DeploymentWithoutVolumesOrReferencesWritesOnlyItsOwnFile) {
  Start(R"(, "deploymentConfigs": [{"metadata": {"name": "bare", "namespace": "demo"},
      "spec": {"replicas": 0, "template": {"spec": {"containers": [{"name": "c", "image": "i",
        "env": [{"name": "A", "value": "1"}]}]}}}}])");
  std::vector<SVolumeInfoLib> records(1);
  records[0].name = "earlier";
  ASSERT_TRUE(facade_.CreateDeploymentSnapshot(kNs, "bare", "bk", backupDir_, records));
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ("earlier", records[0].name);
  EXPECT_EQ(Get("/oapi/v1/namespaces/demo/deploymentconfigs/bare"),
            wqtest::ReadFile(Backup("deploymentconfig_bare")));
  EXPECT_FALSE(exists(Backup("secret_web-secret")));
  EXPECT_EQ(0u, Count("GET", "/secrets/") + Count("GET", "/configmaps/"));
}

struct ReferenceCase {
  const char* name;
  std::string podSpec;  // volumes and containers of the deployment config's pod template
  std::vector<std::string> files;
  std::vector<std::string> absent;
};

class ReferenceTest : public WorkflowUnitTest,
                      public ::testing::WithParamInterface<ReferenceCase> {};

TEST_P(ReferenceTest, SavesTheObjectsTheDeploymentRefersTo) {
  Start(std::string(R"(, "deploymentConfigs": [{"metadata": {"name": "ref", "namespace": "demo"},
      "spec": {"replicas": 0, "template": {"spec": )") +
        GetParam().podSpec + "}}}]");
  std::vector<SVolumeInfoLib> records;
  ASSERT_TRUE(facade_.CreateDeploymentSnapshot(kNs, "ref", "bk", backupDir_, records));
  EXPECT_TRUE(records.empty());
  for (const std::string& file : GetParam().files) {
    const std::string kind = file.substr(0, file.find('_'));
    const std::string path =
        "/api/v1/namespaces/demo/" + kind + "s/" + file.substr(kind.size() + 1);
    EXPECT_EQ(Get(path), wqtest::ReadFile(Backup(file))) << file;
  }
  for (const std::string& file : GetParam().absent) EXPECT_FALSE(exists(Backup(file))) << file;
}

const char* const kOneContainer = R"("containers": [{"name": "c", "image": "i")";

INSTANTIATE_TEST_SUITE_P(
    Workflows, ReferenceTest,
    ::testing::Values(
        ReferenceCase{"SecretVolumeAlone",
                      R"({"volumes": [{"name": "s", "secret": {"secretName": "web-secret"}}],
                          "containers": [{"name": "c", "image": "i"}]})",
                      {},
                      {"secret_web-secret"}},
        ReferenceCase{"SecretVolumeAndEnv",
                      R"({"volumes": [{"name": "s", "secret": {"secretName": "web-secret"}}],
                          "containers": [{"name": "c", "image": "i", "env": [{"name": "P",
                            "valueFrom": {"secretKeyRef": {"name": "web-secret", "key": "k"}}}]}]})",
                      {"secret_web-secret"},
                      {}},
        ReferenceCase{"ConfigMapVolume",
                      R"({"volumes": [{"name": "m", "configMap": {"name": "web-config"}}],
                          "containers": [{"name": "c", "image": "i"}]})",
                      {"configmap_web-config"},
                      {"secret_web-secret"}},
        ReferenceCase{"EnvFromBoth",
                      (std::string("{") + kOneContainer +
                       R"(, "envFrom": [{"configMapRef": {"name": "web-config"},
                           "secretRef": {"name": "web-secret"}}]}]})"),
                      {"configmap_web-config", "secret_web-secret"},
                      {}},
        ReferenceCase{"InitContainersAreNotLookedAt",
                      R"({"initContainers": [{"name": "i", "image": "i", "envFrom": [
                            {"secretRef": {"name": "web-secret"}}]}],
                          "containers": [{"name": "c", "image": "i"}]})",
                      {},
                      {"secret_web-secret"}}),
    [](const ::testing::TestParamInfo<ReferenceCase>& info) { return info.param.name; });

TEST_F(WorkflowUnitTest, AMissingReferenceEndsTheBackupWithTheCalleesLine) {
  Start(R"(, "deploymentConfigs": [{"metadata": {"name": "ref", "namespace": "demo"},
      "spec": {"replicas": 0, "template": {"spec": {"containers": [{"name": "c", "image": "i",
        "envFrom": [{"configMapRef": {"name": "gone"}}]}]}}}}])");
  std::vector<SVolumeInfoLib> records;
  EXPECT_FALSE(facade_.CreateDeploymentSnapshot(kNs, "ref", "bk", backupDir_, records));
  EXPECT_EQ(std::vector<std::string>{"ERROR Failed to write configMap [demo/gone] to file"},
            LinesOf(kConfigMapContext));
  // Its definition was written before the environment was looked at; nothing else is logged.
  EXPECT_EQ(std::vector<std::string>{"DEBUG Wrote deployment config to file [demo]:[ref]=>[" +
                                     Backup("deploymentconfig_ref") + "]"},
            LinesOf(kDeploymentContext));
  EXPECT_TRUE(exists(Backup("deploymentconfig_ref")));
}

TEST_F(WorkflowUnitTest, AClaimThatCannotBeSnapshottedFailsTheBackupAndAppendsNothing) {
  Start();
  std::vector<SVolumeInfoLib> records;
  EXPECT_FALSE(facade_.CreateDeploymentSnapshot(kNs, "web", "bk", backupDir_, records));
  EXPECT_TRUE(records.empty());
  const std::string pv = Text(At(GetObject(ClaimPath("web-data")), "spec/volumeName"));
  EXPECT_EQ(
      std::vector<std::string>{"ERROR Failed to create Snapshot for Persistent Volume [demo/" + pv +
                               "]"},
      LinesOf(kPvcContext));
  EXPECT_EQ(
      std::vector<std::string>{
          "ERROR Failed to create Snapshot of Persitstent Volume Claim [demo/web-data]"},
      LinesOf(kVolumeContext));
  EXPECT_EQ(
      std::vector<std::string>{"ERROR Failed to create PVC Snapshot for deployment [demo/web]"},
      LinesOf(kDeploymentContext));
  // Nothing after the first claim is tried, and no local command ran.
  EXPECT_EQ(0u, Count("GET", "/persistentvolumeclaims/web-logs"));
  EXPECT_FALSE(exists(Backup("deploymentconfig_web")));
  EXPECT_TRUE(commands_.empty());
}

TEST_F(WorkflowUnitTest, ClaimSnapshotRefusesUnsafeOrMissingClaims) {
  Start();
  SVolumeInfoLib record;
  EXPECT_FALSE(facade_.CreatePVCSnapshot(kNs, "../web-data", "bk", backupDir_, record));
  EXPECT_TRUE(Sent().empty());
  EXPECT_FALSE(facade_.CreatePVCSnapshot(kNs, "nope", "bk", backupDir_, record));
  EXPECT_TRUE(
      Logged(kPvcContext, "ERROR Failed to get Persistent Volume Claim Info for [demo/nope]"));
  std::vector<SVolumeInfoLib> records;
  EXPECT_FALSE(facade_.CreateDeploymentSnapshot(kNs, "nope", "bk", backupDir_, records));
  EXPECT_TRUE(
      Logged(kDeploymentContext, "ERROR Failed to get Deployment Config Info for [demo/nope]"));
}

TEST_F(WorkflowUnitTest, VolumesWithoutClaimOrSecretNameAreAccepted) {
  Start();
  SVolumeInfoLib volume;
  volume.name = "scratch";
  volume.hasEmptyDir = true;
  volume.hasPersistentVolumeClaim = true;  // only the name counts, not the flag
  std::vector<SVolumeInfoLib> records;
  EXPECT_TRUE(facade_.CreateVolumeSnapshot(kNs, volume, "bk", backupDir_, records));
  EXPECT_TRUE(records.empty());
  EXPECT_TRUE(Sent().empty());
}

TEST_F(WorkflowUnitTest, UnmountAndDeleteReportTheRecordsClaim) {
  Start();
  SVolumeInfoLib record;
  record.name = "web-data";
  record.glusterfs.path = backupDir_ + "/web data";
  EXPECT_TRUE(facade_.UnmountVolume(kNs, record));
  EXPECT_EQ(std::vector<std::string>{"umount \"" + backupDir_ + "/web data\""}, commands_);
  localResult_ = 32;
  EXPECT_FALSE(facade_.UnmountVolume(kNs, record));
  EXPECT_TRUE(
      Logged(kUnmountContext, "ERROR Failed to unmount persistent volume [demo/web-data] "));
  record.persistentVolumeName = "missing-pv";
  record.glusterfs.snapshotName = "bk_GMT-2026.01.01-00.00.00";
  EXPECT_FALSE(facade_.DeleteVolumeSnapshot(kNs, record));
  EXPECT_TRUE(Logged(kDeleteContext,
                     "ERROR Failed to delete snapshot of persistent volume [demo/web-data] "));
}

// ---- Restore of secrets, config maps and deployment configs --------------------------------

TEST_F(WorkflowUnitTest, RestoreCreatesMissingObjectsRemapsClaimsAndUpdatesExistingOnes) {
  Start();
  SaveApplication();
  DeleteApplication();
  Forget();
  ASSERT_TRUE(facade_.RestoreDeployment(kNs, "web", backupDir_, false,
                                        {{"web-data", "restored-1"}, {"other", "x"}}));
  EXPECT_EQ(1u, Count("POST", "/secrets"));
  EXPECT_EQ(1u, Count("POST", "/configmaps"));
  EXPECT_EQ(1u, Count("POST", "/deploymentconfigs"));
  EXPECT_EQ((std::vector<std::string>{"restored-1", "web-logs"}), ClaimNamesOfDc());
  EXPECT_EQ(At(Parsed(wqtest::ReadFile(Backup("secret_web-secret"))), "data"),
            At(GetObject("/api/v1/namespaces/demo/secrets/web-secret"), "data"));

  // Again, now that everything exists: updates, the deployment config with the version
  // the cluster holds (a stale one would be refused), and the saved names kept.
  const std::string version = Text(
      At(GetObject("/oapi/v1/namespaces/demo/deploymentconfigs/web"), "metadata/resourceVersion"));
  Forget();
  ASSERT_TRUE(
      facade_.RestoreDeployment(kNs, "web", backupDir_, true, {{"web-data", "restored-2"}}));
  EXPECT_EQ(0u, Count("POST", ""));
  EXPECT_EQ(3u, Count("PUT", ""));
  const boost::json::object sent = Parsed(simulator_->Server().Requests().back().body);
  EXPECT_FALSE(version.empty());
  EXPECT_EQ(version, Text(At(sent, "metadata/resourceVersion")));
  EXPECT_EQ((std::vector<std::string>{"web-data", "web-logs"}), ClaimNamesOfDc());
}

TEST_F(WorkflowUnitTest, RestoreUnderANewNameTakesTheOnlySavedDeployment) {
  Start();
  SaveApplication();
  ASSERT_TRUE(facade_.RestoreDeployment(kNs, "web-copy", backupDir_, false, {}));
  EXPECT_EQ("web-copy", Text(At(GetObject("/oapi/v1/namespaces/demo/deploymentconfigs/web-copy"),
                                "metadata/name")));
  EXPECT_EQ((std::vector<std::string>{"web-data", "web-logs"}), ClaimNamesOfDc("web-copy"));
}

TEST_F(WorkflowUnitTest, RestoreChoosesTheDeploymentSavedUnderItsNameAmongSeveral) {
  Start();
  SaveApplication();
  std::string other = wqtest::ReadFile(Backup("deploymentconfig_web"));
  other.replace(other.find("\"nginx:1.14\""), 12, "\"other:2\"");
  SaveFile("deploymentconfig_aaa", other);
  ASSERT_TRUE(facade_.RestoreDeployment(kNs, "web", backupDir_, false, {}));
  const boost::json::value containers = At(
      GetObject("/oapi/v1/namespaces/demo/deploymentconfigs/web"), "spec/template/spec/containers");
  ASSERT_TRUE(containers.is_array());
  EXPECT_EQ("nginx:1.14", Text(At(containers.get_array()[0].as_object(), "image")));
  Forget();
  EXPECT_FALSE(facade_.RestoreDeployment(kNs, "neither", backupDir_, false, {}));
  EXPECT_EQ(0u, Count("POST", "/deploymentconfigs") + Count("PUT", "/deploymentconfigs"));
}

TEST_F(WorkflowUnitTest, RestoreWithoutDeploymentFileRestoresSecretsAndConfigMapsThenFails) {
  Start();
  SaveApplication();
  ASSERT_EQ(0, std::remove(Backup("deploymentconfig_web").c_str()));
  DeleteApplication();
  Forget();
  EXPECT_FALSE(facade_.RestoreDeployment(kNs, "web", backupDir_, false, {}));
  EXPECT_EQ(200, Send("GET", "/api/v1/namespaces/demo/secrets/web-secret"));
  EXPECT_EQ(200, Send("GET", "/api/v1/namespaces/demo/configmaps/web-config"));
  EXPECT_EQ(std::vector<std::string>{"ERROR Deployment Config file prefix [deploymentconfig_] not "
                                     "found at [" +
                                     backupDir_ + "]"},
            LinesOf(kRestoreContext));
}

TEST_F(WorkflowUnitTest, RestoreOfAnUnreadableDeploymentFileLogsTheText) {
  Start();
  SaveFile("deploymentconfig_web", "not json");
  EXPECT_FALSE(facade_.RestoreDeployment(kNs, "web", backupDir_, false, {}));
  EXPECT_EQ(std::vector<std::string>{"ERROR Failed to parse DeploymentConfigInfo not json"},
            LinesOf(kRestoreContext));
  EXPECT_FALSE(facade_.RestoreSecrets(kNs, backupDir_ + "/absent"));
  EXPECT_EQ(1u, LinesOf(kSecretsContext).size());
  EXPECT_EQ(0u, LinesOf(kSecretsContext)[0].find("ERROR Error Accessing Path[" + backupDir_ +
                                                 "/absent]"));
}

TEST_F(WorkflowUnitTest, RestoreRefusesFileNamesThatAreNoObjectNames) {
  Start();
  for (const char* file : {"secret_", "secret_..", "secret_Upper"}) {
    ::mkdir(backupDir_.c_str(), 0700);
    SaveFile(file, Get("/api/v1/namespaces/demo/secrets/web-secret"));
    Forget();
    EXPECT_FALSE(facade_.RestoreSecrets(kNs, backupDir_)) << file;
    EXPECT_TRUE(Sent().empty()) << file;
    ASSERT_EQ(0, std::remove(Backup(file).c_str()));
  }
  EXPECT_TRUE(facade_.RestoreSecrets(kNs, backupDir_));  // no secret file: nothing to do
}

TEST_F(WorkflowUnitTest, RestorePassesOverEntriesThatAreNotRegularFiles) {
  Start();
  SaveApplication();
  ASSERT_EQ(0, ::mkfifo(Backup("secret_pipe").c_str(), 0600));  // reading it would block
  ASSERT_EQ(0, ::mkdir(Backup("configmap_dir").c_str(), 0700));
  ASSERT_EQ(0, ::mkdir(Backup("deploymentconfig_aaa").c_str(), 0700));
  ASSERT_EQ(0, ::symlink("/nonexistent", Backup("secret_dangling").c_str()));
  ASSERT_EQ(0, std::remove(Backup("deploymentconfig_web").c_str()));
  SaveFile("deploymentconfig_zzz", Get("/oapi/v1/namespaces/demo/deploymentconfigs/web"));
  // The directory does not count: the one saved file is restored under the new name.
  EXPECT_TRUE(facade_.RestoreDeployment(kNs, "web-new", backupDir_, false, {}));
  EXPECT_EQ(1u, Count("POST", "/deploymentconfigs"));
  EXPECT_EQ(1u, Count("PUT", "/secrets/web-secret"));
  EXPECT_EQ(0u, Count("PUT", "/secrets/pipe") + Count("POST", "/secrets"));
}

// ---- PrepareVolume up to the mount, which needs a storage node ------------------------------

TEST_F(WorkflowUnitTest, PrepareCreatesTheSavedNameWhenNoClaimHasIt) {
  Start();
  std::string used;
  SVolumeInfoLib saved = SavedRecord("gone-claim", "1Gi");
  saved.matchLabels.keyValues.emplace_back("tier", "db");
  EXPECT_FALSE(facade_.PrepareVolume(kNs, "restored", mountBase_, saved, false, used));
  const boost::json::object posted = FirstBody("POST", "/persistentvolumeclaims");
  EXPECT_EQ("gone-claim", Text(At(posted, "metadata/name")));
  EXPECT_EQ("db", Text(At(posted, "spec/selector/matchLabels/tier")));
  EXPECT_EQ("glusterfs-storage", Text(At(posted, "spec/storageClassName")));
}

TEST_F(WorkflowUnitTest, PrepareRefusesNamesThatWouldLeaveTheMountBase) {
  Start();
  std::string used;
  EXPECT_FALSE(facade_.PrepareVolume(kNs, "restored", mountBase_, SavedRecord("../../etc", "1Gi"),
                                     false, used));
  EXPECT_TRUE(Sent().empty());
  // A name base that gives no valid claim name is refused before anything is created.
  EXPECT_FALSE(facade_.PrepareVolume(kNs, "Bad_Base", mountBase_, SavedRecord("web-data", "1Gi"),
                                     false, used));
  EXPECT_EQ(0u, Count("POST", ""));
}

TEST_F(WorkflowUnitTest, PrepareGivesUpWhenEveryGeneratedNameIsTaken) {
  Start();
  // The names the generator will draw, all taken already.
  std::srand(7);
  for (int i = 0; i <= 100; ++i) {
    const std::string name = "taken-" + std::to_string(std::rand());
    ASSERT_EQ(
        201,
        Send("POST", "/api/v1/namespaces/demo/persistentvolumeclaims",
             R"({"kind": "PersistentVolumeClaim", "apiVersion": "v1", "metadata": {"name": ")" +
                 name + R"("}, "spec": {"accessModes": ["ReadWriteOnce"],
                            "resources": {"requests": {"storage": "1Gi"}}, "storageClassName": "none"}})"));
  }
  Forget();
  std::srand(7);
  std::string used;
  EXPECT_FALSE(
      facade_.PrepareVolume(kNs, "taken", mountBase_, SavedRecord("web-data", "1Gi"), false, used));
  EXPECT_EQ(0u, Count("POST", ""));
  EXPECT_EQ(102u, Count("GET", "/persistentvolumeclaims/"));
}

// ---- readiness instead of fixed waits -------------------------------------------------------

const char* const kBrickHeader =
    "Status of volume: v1\nGluster process                             TCP Port  RDMA Port  "
    "Online  Pid\n------------------------------------------------------------------------------\n";
const char* const kTaskTail =
    " \nTask Status of Volume v1\n-----------------------------------------------------------"
    "-------------------\nThere are no active volume tasks\n \n";

TEST(ReadinessTest, BrickStatusAndMountTableAreRead) {
  struct BrickRow {
    std::string bricks;
    bool online;
  };
  for (const BrickRow& row : std::vector<BrickRow>{
           {"Brick 192.0.2.1:/bricks/v1                  49152     0          Y       71\n", true},
           // a long brick name pushes the columns onto the next line
           {"Brick 192.0.2.1:/tmp/wq-sandbox.gfpbhb00/br\nicks/v1          60925     0   Y   71   "
            "\n",
            true},
           {"Brick n1:/b/v1   49152  0  Y  71\nBrick n2:/b/v1   N/A  N/A  N  N/A\n", false},
           {"Brick n1:/b/v1   49152  0  Y  71\nBrick n2:/b/very/long/name/that/wr\n", false},
           {"", false},
       }) {
    EXPECT_EQ(row.online,
              OpenShiftSDKWrapper::AllBricksOnline(kBrickHeader + row.bricks + kTaskTail))
        << row.bricks;
  }
  EXPECT_FALSE(OpenShiftSDKWrapper::AllBricksOnline("Volume v1 is not started\n"));

  const std::string table =
      "25 1 0:22 / /proc rw - proc proc rw\n"
      "151 117 0:51 / /mnt/restore/web\\040data rw,relatime - fuse.glusterfs 192.0.2.1:/v1 rw\n"
      "152 117 0:52 / /mnt/restore/logs rw shared:5 - fuse.glusterfs 192.0.2.1:/v2 rw\n"
      "153 117 0:53 / /mnt/restore/nfs rw - nfs4 server:/x rw\n";
  for (const auto& row : std::vector<std::pair<std::string, bool>>{{"/mnt/restore/web data", true},
                                                                   {"/mnt/restore/logs", true},
                                                                   {"/mnt/restore/nfs", false},
                                                                   {"/mnt/restore", false},
                                                                   {"/proc", false}}) {
    EXPECT_EQ(row.second, OpenShiftSDKWrapper::IsGlusterMountAt(table, row.first)) << row.first;
  }
  // A plain directory is no mount, whatever it accepts.
  EXPECT_FALSE(OpenShiftSDKWrapper::GlusterMountAnswers(::testing::TempDir()));
}

TEST_F(WorkflowUnitTest, ReadinessWaitsEndWhenTheConditionHoldsElseTakeTheFullDuration) {
  // The condition holds at the first check, at the fourth, or never.
  for (int readyAt : {1, 4, 0}) {
    sleeps_.clear();
    int checks = 0;
    const OpenShiftSDKWrapper::ReadinessWait wait =
        OpenShiftSDKWrapper::WaitUntilReady(60000, "test", [&] { return ++checks == readyAt; });
    unsigned long slept = 0;
    for (const Sleep& sleep : sleeps_) {
      EXPECT_EQ(1000u, sleep.milliseconds);
      slept += sleep.milliseconds;
    }
    EXPECT_EQ(readyAt != 0, wait.ready);
    EXPECT_EQ(readyAt != 0 ? 1000u * (readyAt - 1) : 60000u, slept) << readyAt;
    EXPECT_EQ(slept, wait.waitedMs);
    EXPECT_EQ(checks, wait.checks);
  }
}

TEST_F(WorkflowUnitTest, PrepareWhenReadyFallsBackToTheFixedWaitWhenTheVolumeNeverGetsReady) {
  // Without storage nodes no brick is ever reported online: the wait takes its 120 s, then the
  // member carries on as PrepareVolume does, up to the mount that needs a node.
  Start();
  std::string used;
  EXPECT_FALSE(facade_.PrepareVolumeWhenReady(kNs, "restored", mountBase_,
                                              SavedRecord("gone-claim", "1Gi"), false, used));
  unsigned long slept = 0;
  for (const Sleep& sleep : sleeps_) {
    if (sleep.sourceFile == "openshiftWrapper") slept += sleep.milliseconds;
  }
  EXPECT_EQ(120000u, slept);
  EXPECT_EQ(1u, Count("POST", "/persistentvolumeclaims"));
  const std::string context = OpenShiftSDKWrapper::WrapperContexts::kPrepareVolumeWhenReady;
  const std::vector<std::string> lines = LinesOf(context);
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "ERROR Gluster volume of [demo/gone-claim] not ready after 120.0 seconds "
                      "(121 checks); carrying on"),
            lines.end());
}

}  // namespace
}  // namespace wftest
