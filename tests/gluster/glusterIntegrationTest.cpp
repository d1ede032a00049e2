// GlusterFS queries and the snapshot and mount lifecycle against the sandbox's nodes: real
// sshd, real glusterd and volumes, the emulated snapshot CLI, real mounts, and faults.
// The persistent volume and its endpoints come from the scripted HTTPS test server.
#include <fstream>
#include <iostream>
#include <regex>
#include <set>

#include "connection/logContexts.h"
#include "host/luFile.h"
#include "operations/openshiftOperations.h"
#include "queries/openshiftQueries.h"
#include "tests/testing/sandbox.h"
#include "wrapper/openshiftWrapper.h"

namespace wqtest {
namespace {

using namespace OpenShiftSDKWrapper;  // NOLINT(google-build-using-namespace)

const char* const kToken = "gluster-sandbox-token-0123456789";

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

class GlusterTest : public SandboxTest {
 protected:
  void SetUp() override {
    SandboxTest::SetUp();
    if (IsSkipped()) return;
    if (Env("WQSANDBOX_GLUSTER") != "1") GTEST_SKIP() << "needs the sandbox's glusterd";
    ASSERT_TRUE(server_.Start());
    ASSERT_TRUE(connection_.connectServiceAccount(server_->BaseUrl(), "sa", kToken,
                                                  AllNodes(PasswordLogin())));
    // Plain numbered names: a name holding "Status" would itself match "grep Status".
    volume_ = "vol" + std::to_string(++volumes_);
    lines_.clear();
  }

  void TearDown() override {
    if (HasFailure()) {
      for (const LogLine& line : lines_) std::cerr << FormatLogLine(line) << "\n";
    }
    for (const std::string& directory : mounted_) Shell("umount -l " + Quoted(directory));
    SandboxTest::TearDown();
  }

  void Provision(bool start = true) {
    std::string err;
    ASSERT_EQ(Shell(Env("WQSANDBOX_PROVISION") + " " + volume_ + (start ? "" : " --no-start"),
                    nullptr, &err),
              0)
        << err;
  }

  void WriteIntoVolume(const std::string& path, const std::string& text) {
    std::string err;
    ASSERT_EQ(Shell(Env("WQSANDBOX_VOLUME") + " write " + volume_ + " " + path + " " + Quoted(text),
                    nullptr, &err),
              0)
        << err;
  }

  // The persistent volume "pv-<volume>" over the volume, with every node as an endpoint.
  std::string ServePersistentVolume() {
    const std::string pv = "pv-" + volume_;
    server_->Script("GET", "/api/v1/persistentvolumes/" + pv,
                    wqsim::ScriptedAnswer::Json(
                        200, "{\"metadata\":{\"name\":\"" + pv +
                                 "\"},\"spec\":{\"capacity\":{\"storage\":\"2Gi\"},\"glusterfs\":{"
                                 "\"endpoints\":\"glusterfs-cluster\",\"path\":\"" +
                                 volume_ + "\"},\"storageClassName\":\"glusterfs-storage\"}}"));
    std::string addresses;
    for (const std::string& node : Nodes()) {
      addresses += (addresses.empty() ? "" : ",") + std::string("{\"ip\":\"") + node + "\"}";
    }
    server_->Script(
        "GET", "/api/v1/namespaces/app/endpoints/glusterfs-cluster",
        wqsim::ScriptedAnswer::Json(200,
                                    "{\"metadata\":{\"name\":\"glusterfs-cluster\"},\"subsets\":[{"
                                    "\"addresses\":[" +
                                        addresses + "],\"ports\":[{\"port\":1}]}]}"));
    return pv;
  }

  // Starts from the opposite of `expected`, so that only a read can make them equal.
  void ExpectStatus(const std::string& node, GLUSTER_RESOURCE_STATUS expected) {
    auto status =
        expected == GLUSTER_RESOURCE_STARTED ? GLUSTER_RESOURCE_STOPPED : GLUSTER_RESOURCE_STARTED;
    EXPECT_TRUE(queries_.GetGlusterVolumeStatus(node, volume_, status));
    EXPECT_EQ(status, expected);
  }

  std::vector<std::string> Snapshots() {
    std::vector<std::string> snapshots;
    EXPECT_TRUE(queries_.GetGlusterVolumeSnapshotList(Nodes().front(), volume_, snapshots));
    return snapshots;
  }

  // The commands run on nodes, in order.
  std::vector<std::string> Commands() const {
    std::vector<std::string> commands;
    for (const LogLine& line : lines_) {
      if (line.context == OpenShiftSDKWrapper::ConnectionContexts::kExecuteRemoteCommandTrace &&
          line.message.compare(0, 8, "Command[") == 0) {
        commands.push_back(line.message.substr(8, line.message.size() - 9));
      }
    }
    return commands;
  }

  bool IsMounted(const std::string& directory) {
    return Shell("mountpoint -q " + Quoted(directory)) == 0;
  }

  std::string MountDirectory(const std::string& name) {
    const std::string directory = scratch_.path() + "/backup dir/" + name;
    mounted_.push_back(directory);
    return directory;
  }

  // "Failed to ... from node [N]" lines: the node of each, in order.
  std::vector<std::string> NodesNamedBy(const std::string& start) const {
    std::vector<std::string> nodes;
    for (const std::string& message : MessagesWith(start)) {
      const size_t open = message.rfind('[');
      nodes.push_back(message.substr(open + 1, message.size() - open - 2));
    }
    return nodes;
  }

  static int volumes_;
  wqtest::TempDir scratch_;
  TrustedServer server_{kToken};
  std::string volume_;
  std::vector<std::string> mounted_;
  WQOpenShiftParser parser_;
  WQOpenShiftQueries queries_{&connection_, &parser_};
  WQOpenShiftOperations operations_{&connection_, &parser_, &queries_};
};

int GlusterTest::volumes_ = 0;

// ---- queries -------------------------------------------------------------------------------

TEST_F(GlusterTest, ContainerisedNodeRunsGlusterInsideItsContainer) {
  const std::string containerised = Env("WQSANDBOX_CONTAINERISED_NODE");
  if (containerised.empty()) GTEST_SKIP() << "needs --containerised-node";
  Provision();
  const std::string plain = Nodes().front();
  ASSERT_NE(plain, containerised);
  const std::string id = Env("WQSANDBOX_CONTAINER_ID");

  std::string prefix = "old";
  EXPECT_TRUE(queries_.GetGlusterfsContainerCommandPrefix(containerised, prefix));
  EXPECT_EQ(prefix, "docker exec " + id + " ");
  EXPECT_TRUE(queries_.GetGlusterfsContainerCommandPrefix(plain, prefix));
  EXPECT_EQ(prefix, "");
  EXPECT_EQ(MessagesWith("Failed to get execute command [docker ps | grep "
                         "k8s_glusterfs_glusterfs-storage | awk '{print $1}' | tr -d '\\n'] - it "
                         "could be that gluster services are not containerized")
                .size(),
            1u);

  lines_.clear();
  ExpectStatus(containerised, GLUSTER_RESOURCE_STARTED);
  ExpectStatus(plain, GLUSTER_RESOURCE_STARTED);
  const std::string query = " gluster volume info " + volume_ + " | grep Status";
  const std::vector<std::string> commands = Commands();
  ASSERT_EQ(commands.size(), 4u);
  EXPECT_EQ(commands[1], "docker exec " + id + " " + query);
  EXPECT_EQ(commands[3], query);
}

// Each single command, with its exact command line, through one snapshot's whole life.
TEST_F(GlusterTest, SnapshotCommandsOneByOne) {
  Provision();
  const std::string node = Nodes().front();
  EXPECT_TRUE(Snapshots().empty());  // "No snapshots present"

  lines_.clear();
  std::string created;
  ASSERT_TRUE(operations_.CreateGlusterVolumeSnapshot(node, volume_, "nightly", created));
  EXPECT_TRUE(std::regex_match(
      created, std::regex("nightly_GMT-\\d{4}\\.\\d\\d\\.\\d\\d-\\d\\d\\.\\d\\d\\.\\d\\d")))
      << created;
  std::vector<std::string> commands = Commands();
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), " gluster snapshot create nightly " + volume_ +
                                 " | awk '/^snapshot create: success/ {print $5}' | tr -d '\\n'");
  EXPECT_EQ(Snapshots(), std::vector<std::string>{created});

  auto status = GLUSTER_RESOURCE_STARTED;
  ASSERT_TRUE(queries_.GetGlusterVolumeSnapshotStatus(node, created, status));
  EXPECT_EQ(status, GLUSTER_RESOURCE_STOPPED);
  lines_.clear();
  ASSERT_TRUE(operations_.ActivateGlusterVolumeSnapshot(node, created));
  EXPECT_EQ(Commands().back(), " gluster snapshot activate " + created);
  ASSERT_TRUE(queries_.GetGlusterVolumeSnapshotStatus(node, created, status));
  EXPECT_EQ(status, GLUSTER_RESOURCE_STARTED);

  std::string snapVolume;
  ASSERT_TRUE(queries_.GetGlusterSnapVolumeName(node, created, snapVolume));
  EXPECT_TRUE(std::regex_match(snapVolume, std::regex("[0-9a-f]{32}"))) << snapVolume;

  lines_.clear();
  ASSERT_TRUE(operations_.DeactivateGlusterVolumeSnapshot(node, created));
  EXPECT_EQ(Commands().back(), " bash -c 'gluster snapshot deactivate " + created + " <<< y'");
  ASSERT_TRUE(queries_.GetGlusterVolumeSnapshotStatus(node, created, status));
  EXPECT_EQ(status, GLUSTER_RESOURCE_STOPPED);
  lines_.clear();
  ASSERT_TRUE(operations_.DeleteGlusterVolumeSnapshot(node, created));
  EXPECT_EQ(Commands().back(), " bash -c 'gluster snapshot delete " + created + " <<< y'");
  EXPECT_TRUE(Snapshots().empty());
  // A second delete finds nothing.
  EXPECT_FALSE(operations_.DeleteGlusterVolumeSnapshot(node, created));
}

TEST_F(GlusterTest, StoppedVolumeIsStartedForTheSnapshotAndStoppedAgain) {
  Provision();
  const std::string node = Nodes().front();
  ASSERT_TRUE(operations_.StopGlusterVolume(node, volume_));
  lines_.clear();
  std::string created;
  ASSERT_TRUE(operations_.CreateGlusterVolumeSnapshot(node, volume_, "cold", created));
  std::vector<std::string> gluster;
  for (const std::string& command : Commands()) {
    if (command.compare(0, 8, " gluster") == 0 || command.compare(0, 8, " bash -c") == 0) {
      gluster.push_back(command);
    }
  }
  EXPECT_EQ(gluster, (std::vector<std::string>{
                         " gluster volume info " + volume_ + " | grep Status",
                         " gluster volume start " + volume_,
                         " gluster snapshot create cold " + volume_ +
                             " | awk '/^snapshot create: success/ {print $5}' | tr -d '\\n'",
                         " bash -c 'gluster volume stop " + volume_ + " <<< y'"}));
  ExpectStatus(node, GLUSTER_RESOURCE_STOPPED);
  EXPECT_EQ(Snapshots(), std::vector<std::string>{created});
}

// ---- the lifecycle over the persistent volume's nodes ----------------------------------------

TEST_F(GlusterTest, BackupSeesTheDataOfTheSnapshotMomentThenLeavesNothingBehind) {
  Provision();
  WriteIntoVolume("before.txt", "taken");
  const std::string pv = ServePersistentVolume();
  const std::string directory = MountDirectory("pvc one");

  SVolumeInfoLib record;
  record.name = "pvc-one";
  record.persistentVolumeName = pv;
  ASSERT_TRUE(operations_.CreatePersistentVolumeSnapShot("app", pv, "backup", directory, record));
  EXPECT_EQ(record.snapshotState, 1);
  EXPECT_EQ(record.glusterfs.path, directory);
  EXPECT_EQ(record.glusterfs.snapshotName.compare(0, 11, "backup_GMT-"), 0);
  EXPECT_EQ(record.storageClassName, "glusterfs-storage");
  EXPECT_EQ(record.capacity, "2Gi");
  EXPECT_EQ(
      MessagesWith("Snapshot created for gluster volume [" + volume_ + "] from node [").size(), 1u);

  WriteIntoVolume("after.txt", "too late");
  ASSERT_TRUE(IsMounted(directory));
  EXPECT_EQ(wqtest::ReadFile(directory + "/before.txt"), "taken");
  EXPECT_FALSE(std::ifstream(directory + "/after.txt").good());

  ASSERT_TRUE(operations_.UnmountPersistentVolume("app", record));
  EXPECT_FALSE(IsMounted(directory));
  ASSERT_TRUE(operations_.DeletePersistentVolumeSnapShot("app", record));
  EXPECT_EQ(MessagesWith("Deleted  snapshot of persistent volume [pvc-one] - gluster snap[" +
                         record.glusterfs.snapshotName + "] from node [")
                .size(),
            1u);
  EXPECT_TRUE(Snapshots().empty());
}

TEST_F(GlusterTest, NextNodeIsTriedWhenOneRefuses) {
  Provision();
  const std::string pv = ServePersistentVolume();
  const std::vector<std::string> nodes = Nodes();
  for (size_t i = 0; i + 1 < nodes.size(); ++i) {
    Fault("gluster refuse" + std::to_string(i) + " --node " + nodes[i] +
          " --match '^snapshot create' --stderr 'snapshot create: failed: busy'");
  }
  SVolumeInfoLib record;
  record.persistentVolumeName = pv;
  const std::string directory = MountDirectory("y");
  ASSERT_TRUE(operations_.CreatePersistentVolumeSnapShot("app", pv, "b", directory, record));
  EXPECT_EQ(MessagesWith("Snapshot created for gluster volume [" + volume_ + "] from node [" +
                         nodes.back() + "]")
                .size(),
            1u);
  for (const std::string& refused : NodesNamedBy("Failed to create snapshot for gluster volume")) {
    EXPECT_NE(refused, nodes.back());
  }
  EXPECT_TRUE(operations_.UnmountPersistentVolume("app", record));
  EXPECT_TRUE(operations_.DeletePersistentVolumeSnapShot("app", record));
}

TEST_F(GlusterTest, DeleteGoesOnToTheNextNodeWhenNodesAreDown) {
  Provision();
  const std::string pv = ServePersistentVolume();
  std::string created;
  const std::vector<std::string> nodes = Nodes();
  ASSERT_TRUE(operations_.CreateGlusterVolumeSnapshot(nodes.back(), volume_, "gone", created));
  for (size_t i = 0; i + 1 < nodes.size(); ++i) Fault("node-down " + nodes[i]);
  SVolumeInfoLib record;
  record.name = "claim";
  record.persistentVolumeName = pv;
  record.glusterfs.snapshotName = created;
  lines_.clear();
  ASSERT_TRUE(operations_.DeletePersistentVolumeSnapShot("app", record));
  for (const std::string& failed : NodesNamedBy("Failed to delete snapshot of persistent volume")) {
    EXPECT_NE(failed, nodes.back());
  }
  for (size_t i = 0; i + 1 < nodes.size(); ++i) Fault("node-up " + nodes[i]);
  EXPECT_TRUE(Snapshots().empty());
}

}  // namespace
}  // namespace wqtest
