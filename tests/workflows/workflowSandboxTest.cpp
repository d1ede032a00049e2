// Backup and restore end to end inside sandbox/wq-sandbox: the simulated cluster provisions a
// real GlusterFS volume for each claim, the storage nodes are the sandbox's sshd nodes, and
// snapshots and volumes are mounted on this machine (in the sandbox's mount namespace).
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "operations/logContexts.h"
#include "tests/testing/sandbox.h"
#include "tests/workflows/workflowTestUtil.h"

namespace wftest {
namespace {

namespace fs = std::filesystem;
using wqtest::Env;
using wqtest::IsMountPoint;
using wqtest::MountPointsBelow;
using wqtest::Shell;
using Tree = std::map<std::string, std::string>;

const char* const kCreatePvSnapshotContext =
    OpenShiftSDKWrapper::OperationContexts::kCreatePersistentVolumeSnapShot;

// Relative path to content of every file below `directory`, entries of its own that begin
// with a dot (the volume's internal directories) left out.
Tree TreeOf(const std::string& directory) {
  Tree tree;
  std::error_code code;
  for (fs::recursive_directory_iterator it(directory, code), end; !code && it != end;
       it.increment(code)) {
    const std::string relative = fs::relative(it->path(), directory).string();
    if (relative[0] == '.') {
      if (it->is_directory()) it.disable_recursion_pending();
      continue;
    }
    if (it->is_regular_file()) tree[relative] = wqtest::ReadFile(it->path().string());
  }
  return tree;
}

class WorkflowSandboxTest : public WorkflowTest {
 protected:
  void SetUp() override {
    if (!wqtest::InSandbox()) GTEST_SKIP() << "runs inside sandbox/wq-sandbox only";
    WorkflowTest::SetUp();
    StartCluster(wqtest::Nodes(), LiveVolumes(), wqtest::AllNodes(wqtest::PasswordLogin()));
    std::string blob;
    for (int i = 0; i < 10240; ++i) blob += static_cast<char>(i % 256);
    seeded_["web-data"] = {{"index.html", "<h1>hello</h1>\n"}, {"img/blob.bin", blob}};
    seeded_["web-logs"] = {{"access.log", "GET / 200\n"}};
    for (const auto& claim : seeded_) {
      for (const auto& file : claim.second) WriteLive(claim.first, file.first, file.second);
    }
    Forget();
  }

  void TearDown() override {
    if (wqtest::InSandbox()) {
      Shell(Env("WQSANDBOX_FAULT") + " clear");
      wqtest::UnmountBelow(scratch_.path());
    }
    WorkflowTest::TearDown();
  }

  void WriteLive(const std::string& claim, const std::string& path, const std::string& data) {
    const std::string input = scratch_.File("input", data);
    std::string err;
    ASSERT_EQ(0, Shell(Env("WQSANDBOX_VOLUME") + " write " + GlusterVolumeOf(claim) + " " + path +
                           " < " + input,
                       nullptr, &err))
        << err;
  }

  // What the live volume of `claim` holds, through a mount of its own.
  Tree LiveTree(const std::string& claim) {
    const std::string dir = scratch_.path() + "/live-" + claim;
    std::string err;
    EXPECT_EQ(0, Shell(Env("WQSANDBOX_VOLUME") + " mount " + GlusterVolumeOf(claim) + " " + dir,
                       nullptr, &err))
        << err;
    Tree tree = TreeOf(dir);
    Shell("umount \"" + dir + "\"");
    return tree;
  }

  std::vector<std::string> SnapshotsOf(const std::string& claim) {
    std::vector<std::string> snapshots;
    EXPECT_TRUE(facade_.GetGlusterVolumeSnapshotList(wqtest::Nodes()[0], GlusterVolumeOf(claim),
                                                     snapshots));
    return snapshots;
  }

  // Unmounts and deletes every record, as the agent does after reading the backup.
  void Release(std::vector<SVolumeInfoLib>& records) {
    for (SVolumeInfoLib& record : records) {
      EXPECT_TRUE(facade_.UnmountVolume(kNs, record)) << record.name;
      EXPECT_TRUE(facade_.DeleteVolumeSnapshot(kNs, record)) << record.name;
      EXPECT_FALSE(IsMountPoint(record.glusterfs.path)) << record.name;
      EXPECT_TRUE(SnapshotsOf(record.name).empty()) << record.name;
    }
  }

  std::vector<unsigned long> OwnSleeps() const {
    std::vector<unsigned long> own;
    for (const Sleep& sleep : sleeps_) {
      if (sleep.sourceFile == "openshiftWrapper") own.push_back(sleep.milliseconds);
    }
    return own;
  }

  std::map<std::string, Tree> seeded_;
};

TEST_F(WorkflowSandboxTest, BackupThenRestoreGivesBackTheSameDataAndDefinitions) {
  std::vector<SVolumeInfoLib> records;
  ASSERT_TRUE(facade_.CreateDeploymentSnapshot(kNs, "web", "bk", backupDir_, records));
  ASSERT_EQ(2u, records.size());
  const char* const podVolumes[] = {"data", "logs"};
  const char* const capacities[] = {"2Gi", "1Gi"};
  const char* const claims[] = {"web-data", "web-logs"};
  for (size_t i = 0; i < 2; ++i) {
    const SVolumeInfoLib& record = records[i];
    const boost::json::object claim = GetObject(ClaimPath(claims[i]));
    EXPECT_EQ(claims[i], record.name);
    EXPECT_EQ(podVolumes[i], record.podVolumeName);
    EXPECT_EQ(Text(At(claim, "spec/volumeName")), record.persistentVolumeName);
    EXPECT_EQ(capacities[i], record.capacity);
    EXPECT_EQ("glusterfs-storage", record.storageClassName)
        << "from the volume when the claim has none";
    EXPECT_EQ(1, record.snapshotState);
    EXPECT_EQ(Backup(claims[i]), record.glusterfs.path);
    EXPECT_EQ(0u, record.glusterfs.snapshotName.find("bk_")) << record.glusterfs.snapshotName;
    EXPECT_TRUE(IsMountPoint(record.glusterfs.path));
    EXPECT_EQ(seeded_[claims[i]], TreeOf(record.glusterfs.path));
    EXPECT_EQ(Get(ClaimPath(claims[i])), wqtest::ReadFile(Backup(std::string("pvc_") + claims[i])));
    const std::string created = "ERROR Snapshot created for gluster volume [" +
                                GlusterVolumeOf(claims[i]) + "] from node [";
    size_t createdLines = 0;
    for (const std::string& line : LinesOf(kCreatePvSnapshotContext)) {
      createdLines += line.compare(0, created.size(), created) == 0;
    }
    EXPECT_EQ(1u, createdLines) << claims[i];
  }
  EXPECT_EQ(std::vector<std::string>{"ReadWriteMany"}, records[1].accessModes);
  EXPECT_TRUE(Logged(kDeploymentContext, "DEBUG Wrote deployment config to file [demo]:[web]=>[" +
                                             Backup("deploymentconfig_web") + "]"));
  const std::string savedDc = wqtest::ReadFile(Backup("deploymentconfig_web"));
  const std::string savedSecret = wqtest::ReadFile(Backup("secret_web-secret"));
  const std::string savedConfig = wqtest::ReadFile(Backup("configmap_web-config"));

  // The snapshot keeps the data as it was, whatever the application writes afterwards.
  WriteLive("web-data", "index.html", "changed after the backup\n");
  EXPECT_EQ(seeded_["web-data"], TreeOf(records[0].glusterfs.path));

  // The agent copies the mounts away, then releases them.
  const std::string stage = scratch_.path() + "/stage";
  ASSERT_TRUE(fs::create_directory(stage));
  for (const SVolumeInfoLib& record : records) {
    fs::copy(record.glusterfs.path, stage + "/" + record.name, fs::copy_options::recursive);
  }
  Release(records);

  // Restore into new claims beside the old ones, with the application's objects gone.
  EXPECT_EQ(200, Send("DELETE", "/oapi/v1/namespaces/demo/deploymentconfigs/web"));
  EXPECT_EQ(200, Send("DELETE", "/api/v1/namespaces/demo/secrets/web-secret"));
  EXPECT_EQ(200, Send("DELETE", "/api/v1/namespaces/demo/configmaps/web-config"));
  Forget();
  std::map<std::string, std::string> used;
  for (const SVolumeInfoLib& record : records) {
    std::string claim;
    ASSERT_TRUE(facade_.PrepareVolume(kNs, "restored", mountBase_, record, false, claim));
    EXPECT_TRUE(std::regex_match(claim, std::regex("restored-[0-9]+"))) << claim;
    const std::string mount = mountBase_ + "/" + claim;
    EXPECT_TRUE(IsMountPoint(mount));
    EXPECT_TRUE(TreeOf(mount).empty());
    fs::copy(stage + "/" + record.name, mount, fs::copy_options::recursive);
    used[record.name] = claim;
  }
  EXPECT_EQ((std::vector<unsigned long>{120000, 60000, 120000, 60000}), OwnSleeps());
  ASSERT_TRUE(facade_.RestoreDeployment(kNs, "web", backupDir_, false, used));

  for (const auto& mapping : used) {
    Shell("umount \"" + mountBase_ + "/" + mapping.second + "\"");
    EXPECT_EQ(seeded_[mapping.first], LiveTree(mapping.second)) << mapping.first;
    EXPECT_EQ("Bound", Text(At(GetObject(ClaimPath(mapping.second)), "status/phase")));
  }
  const boost::json::object dc = GetObject("/oapi/v1/namespaces/demo/deploymentconfigs/web");
  const boost::json::value volumes = At(dc, "spec/template/spec/volumes");
  ASSERT_TRUE(volumes.is_array());
  EXPECT_EQ(used["web-data"],
            Text(At(volumes.get_array()[0].as_object(), "persistentVolumeClaim/claimName")));
  EXPECT_EQ(used["web-logs"],
            Text(At(volumes.get_array()[1].as_object(), "persistentVolumeClaim/claimName")));
  // The saved pod template with the claims renamed is what the cluster now holds.
  boost::json::object saved = Parsed(savedDc);
  boost::json::array& savedVolumes =
      saved["spec"].as_object()["template"].as_object()["spec"].as_object()["volumes"].as_array();
  for (size_t i = 0; i < 2; ++i) {
    savedVolumes[i].as_object()["persistentVolumeClaim"].as_object()["claimName"] = used[claims[i]];
  }
  std::string where;
  EXPECT_TRUE(SameDefinition(At(saved, "spec/template"), At(dc, "spec/template"), where)) << where;
  EXPECT_EQ(At(Parsed(savedSecret), "data"),
            At(GetObject("/api/v1/namespaces/demo/secrets/web-secret"), "data"));
  EXPECT_EQ(At(Parsed(savedConfig), "data"),
            At(GetObject("/api/v1/namespaces/demo/configmaps/web-config"), "data"));
}

TEST_F(WorkflowSandboxTest, PrepareReusesAClaimThatIsLargeEnoughAndEmptiesIt) {
  const std::string volume = GlusterVolumeOf("web-data");
  // The claim's own size: equal counts as large enough.
  const SVolumeInfoLib saved = SavedRecord("web-data", "2Gi");
  std::string claim;
  ASSERT_TRUE(facade_.PrepareVolume(kNs, "restored", mountBase_, saved, true, claim));
  EXPECT_EQ("web-data", claim);
  EXPECT_EQ(volume, GlusterVolumeOf("web-data"));
  EXPECT_EQ(0u, Count("POST", "") + Count("DELETE", ""));
  EXPECT_TRUE(IsMountPoint(mountBase_ + "/web-data"));
  EXPECT_TRUE(TreeOf(mountBase_ + "/web-data").empty());
  EXPECT_EQ(std::vector<unsigned long>{60000}, OwnSleeps());
  EXPECT_TRUE(
      Logged(kPrepareContext, "ERROR Using existing Persistent Volume Claim [demo/web-data]"));
}

TEST_F(WorkflowSandboxTest, PrepareReplacesAClaimThatIsTooSmall) {
  const std::string volume = GlusterVolumeOf("web-data");
  const SVolumeInfoLib saved = SavedRecord("web-data", "3Gi");
  std::string claim;
  ASSERT_TRUE(facade_.PrepareVolume(kNs, "restored", mountBase_, saved, true, claim));
  EXPECT_EQ("web-data", claim);
  EXPECT_EQ(1u, Count("DELETE", "/persistentvolumeclaims/web-data"));
  EXPECT_NE(volume, GlusterVolumeOf("web-data"));
  EXPECT_EQ("3Gi", Text(At(GetObject(ClaimPath("web-data")), "spec/resources/requests/storage")));
  EXPECT_NE(0, Shell("gluster volume info " + volume)) << "the old volume went with its claim";
  EXPECT_TRUE(IsMountPoint(mountBase_ + "/web-data"));
  EXPECT_TRUE(TreeOf(mountBase_ + "/web-data").empty());
}

// Logins each node's sshd accepted so far.
std::map<std::string, size_t> AcceptedLogins() {
  std::map<std::string, size_t> count;
  for (const std::string& node : wqtest::Nodes()) {
    const std::string log = wqtest::ReadFile(Env("WQSANDBOX_DIR") + "/log/sshd-" + node + ".log");
    for (size_t at = log.find("Accepted "); at != std::string::npos;
         at = log.find("Accepted ", at + 1)) {
      ++count[node];
    }
  }
  return count;
}

TEST_F(WorkflowSandboxTest, PrepareWhenReadyEndsItsWaitsWhenVolumeAndMountAnswer) {
  const std::map<std::string, size_t> before = AcceptedLogins();
  std::string claim;
  ASSERT_TRUE(facade_.PrepareVolumeWhenReady(
      kNs, "logs-copy", mountBase_, SavedRecord("web-logs", "1Gi", "ReadWriteMany"), false, claim));
  EXPECT_TRUE(std::regex_match(claim, std::regex("logs-copy-[0-9]+"))) << claim;
  EXPECT_TRUE(IsMountPoint(mountBase_ + "/" + claim));
  EXPECT_TRUE(TreeOf(mountBase_ + "/" + claim).empty());
  // Volume and mount were ready at once: neither wait slept its fixed time.
  unsigned long slept = 0;
  for (unsigned long ms : OwnSleeps()) slept += ms;
  EXPECT_LT(slept, 10000u);
  size_t ready = 0;
  for (const LogLine& line : lines_)
    ready += line.message.find(" ready after ") != std::string::npos;
  EXPECT_EQ(2u, ready);
  // One connection per node that was asked, however many commands it ran.
  const std::map<std::string, size_t> after = AcceptedLogins();
  for (const auto& node : after) {
    EXPECT_LE(node.second - (before.count(node.first) ? before.at(node.first) : 0), 1u)
        << node.first;
  }
  EXPECT_TRUE(Logged(OpenShiftSDKWrapper::WrapperContexts::kPrepareVolumeWhenReady,
                     "DEBUG Creating Persistent Volume Claim [demo/" + claim +
                         "] storageclass [glusterfs-storage]"));
  EXPECT_EQ(seeded_["web-logs"], LiveTree("web-logs")) << "the saved name's claim is left alone";
}

TEST_F(WorkflowSandboxTest, BackupFailingOnTheSecondClaimLeavesTheFirstMountedForRelease) {
  wqtest::Fault("gluster snapfail --match 'snapshot create .*" + GlusterVolumeOf("web-logs") +
                "' --rc 1 --stderr 'snapshot create: failed: Snapshot is supported only for "
                "thin provisioned LV.'");
  std::vector<SVolumeInfoLib> records;
  EXPECT_FALSE(facade_.CreateDeploymentSnapshot(kNs, "web", "bk", backupDir_, records));
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ("web-data", records[0].name);
  EXPECT_TRUE(IsMountPoint(records[0].glusterfs.path));
  EXPECT_FALSE(exists(Backup("deploymentconfig_web")));
  EXPECT_EQ(
      std::vector<std::string>{
          "ERROR Failed to create Snapshot of Persitstent Volume Claim [demo/web-logs]"},
      LinesOf(kVolumeContext));
  EXPECT_EQ(
      std::vector<std::string>{"ERROR Failed to create PVC Snapshot for deployment [demo/web]"},
      LinesOf(kDeploymentContext));
  Release(records);
}

TEST_F(WorkflowSandboxTest, ASnapshotMountedBeforeALaterFailureStillGetsItsRecord) {
  ASSERT_TRUE(fs::create_directories(Backup("pvc_web-logs")));  // the definition cannot go there
  std::vector<SVolumeInfoLib> records;
  EXPECT_FALSE(facade_.CreateDeploymentSnapshot(kNs, "web", "bk", backupDir_, records));
  ASSERT_EQ(2u, records.size());
  EXPECT_EQ(1, records[1].snapshotState);
  EXPECT_TRUE(IsMountPoint(records[1].glusterfs.path));
  EXPECT_EQ((std::vector<std::string>{"ERROR Failed to write PVC info [demo/web-logs] to file"}),
            LinesOf(kPvcContext));
  Release(records);
}

// Every `gluster` and `docker` call on the nodes (each remote command the library runs is
// one of them) while it lives, through wrappers put first on the nodes' PATH.
class NodeCalls {
 public:
  explicit NodeCalls(const std::string& dir) : log_(dir + "/calls.log") {
    fs::create_directories(dir + "/bin");
    for (const std::string& node : wqtest::Nodes()) {
      const std::string file = Env("WQSANDBOX_DIR") + "/nodes/" + node + "/path";
      paths_[file] = wqtest::ReadFile(file);
      const std::string path = paths_[file].substr(0, paths_[file].find('\n'));
      for (const char* tool : {"gluster", "docker"}) {
        std::string real;
        if (Shell("PATH='" + path + "' command -v " + tool, &real) != 0) continue;
        std::ofstream(dir + "/bin/" + tool)
            << "#!/bin/bash\necho \"" << tool << " $*\" >> " << log_ << "\nexec "
            << real.substr(0, real.find('\n')) << " \"$@\"\n";
        fs::permissions(dir + "/bin/" + tool, fs::perms::owner_all);
      }
      std::ofstream(file) << dir << "/bin:" << path << "\n";
    }
  }
  ~NodeCalls() {
    for (const auto& file : paths_) std::ofstream(file.first) << file.second;
  }
  std::string Log() const { return wqtest::ReadFile(log_); }

 private:
  std::string log_;
  std::map<std::string, std::string> paths_;
};

TEST_F(WorkflowSandboxTest, TwoPhaseBackupLeavesWhatTheOneCallBackupLeaves) {
  std::vector<SVolumeInfoLib> one;
  ASSERT_TRUE(facade_.CreateDeploymentSnapshot(kNs, "web", "bk", backupDir_, one));
  const std::string twoDir = scratch_.path() + "/two";
  OpenShiftSDKWrapper::SDeploymentBackupPlan plan;
  ASSERT_TRUE(facade_.PrepareDeploymentSnapshot(kNs, "web", plan));
  std::vector<SVolumeInfoLib> two;
  {
    NodeCalls calls(scratch_.path() + "/calls");
    const std::map<std::string, size_t> logins = AcceptedLogins();
    ASSERT_TRUE(facade_.CreateDeploymentSnapshots(plan, "bk", two));
    EXPECT_EQ(logins, AcceptedLogins()) << "no new login inside the freeze";
    const std::regex oneCreatePerClaim(
        "gluster snapshot create bk vol_[0-9a-f]+\ngluster snapshot create bk_1 vol_[0-9a-f]+\n");
    EXPECT_TRUE(std::regex_match(calls.Log(), oneCreatePerClaim)) << calls.Log();
  }
  ASSERT_EQ(2u, two.size());
  ASSERT_TRUE(facade_.MountDeploymentSnapshots(plan, twoDir, two));

  ASSERT_EQ(one.size(), two.size());
  for (size_t i = 0; i < one.size(); ++i) {
    const auto fields = [this](const SVolumeInfoLib& r, const std::string& dir) {
      std::string labels;
      facade_.SerializeLabels(r.matchLabels, labels);
      std::ostringstream text;
      text << r.name << "|" << r.podVolumeName << "|" << r.persistentVolumeName << "|" << r.capacity
           << "|" << r.storageClassName << "|" << r.snapshotState << "|" << r.accessModes.size()
           << "|" << labels << "|" << fs::relative(r.glusterfs.path, dir).string() << "|"
           << r.glusterfs.snapshotName.substr(0, 3);
      return text.str();
    };
    EXPECT_EQ(fields(one[i], backupDir_), fields(two[i], twoDir));
    EXPECT_NE(one[i].glusterfs.snapshotName, two[i].glusterfs.snapshotName);
  }
  EXPECT_EQ(TreeOf(backupDir_), TreeOf(twoDir)) << "files and mounted data";
  std::vector<std::string> mounts[2] = {MountPointsBelow(backupDir_), MountPointsBelow(twoDir)};
  for (std::string& point : mounts[0]) point = fs::relative(point, backupDir_).string();
  for (std::string& point : mounts[1]) point = fs::relative(point, twoDir).string();
  EXPECT_EQ(mounts[0], mounts[1]);
  EXPECT_EQ(2u, mounts[1].size());

  for (std::vector<SVolumeInfoLib>* records : {&one, &two}) {
    for (SVolumeInfoLib& record : *records) {
      EXPECT_TRUE(facade_.UnmountVolume(kNs, record)) << record.name;
      EXPECT_TRUE(facade_.DeleteVolumeSnapshot(kNs, record)) << record.name;
    }
  }
  for (const SVolumeInfoLib& record : one) EXPECT_TRUE(SnapshotsOf(record.name).empty());
}

}  // namespace
}  // namespace wftest
