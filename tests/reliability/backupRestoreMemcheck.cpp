// One short backup and restore of the workflow tests' application inside sandbox/wq-sandbox,
// meant to run under valgrind's memory checker: the backup snapshots and mounts the
// deployment's GlusterFS claims (live volumes on the sandbox's node), a file is read from a
// mount, the snapshots are released, and the restore prepares the volumes and puts the
// deployment back. Every step goes through the facade's REST, SSH, process and file code,
// so that an uninitialised read or a leak anywhere on that path fails the run.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/testing/sandbox.h"
#include "tests/workflows/workflowTestUtil.h"

namespace wftest {
namespace {

namespace fs = std::filesystem;
using wqtest::Env;
using wqtest::Shell;

const char* const kIndex = "<h1>before the backup</h1>\n";

class BackupRestoreMemcheckTest : public WorkflowTest {
 protected:
  void SetUp() override {
    if (!wqtest::InSandbox()) GTEST_SKIP() << "runs inside sandbox/wq-sandbox only";
    WorkflowTest::SetUp();
    StartCluster(wqtest::Nodes(), LiveVolumes(),
                 wqtest::AllNodes(wqtest::PasswordLogin()));
    const std::string input = scratch_.File("index.html", kIndex);
    std::string err;
    ASSERT_EQ(0, Shell(Env("WQSANDBOX_VOLUME") + " write " + GlusterVolumeOf("web-data") +
                           " index.html < " + input,
                       nullptr, &err))
        << err;
    Forget();
  }

  void TearDown() override {
    if (wqtest::InSandbox()) {
      // Whatever a failed step left mounted goes before the scratch directory does.
      wqtest::UnmountBelow(scratch_.path());
    }
    WorkflowTest::TearDown();
  }
};

TEST_F(BackupRestoreMemcheckTest, BackupReleaseAndRestoreOfADeployment) {
  std::vector<SVolumeInfoLib> records;
  ASSERT_TRUE(facade_.CreateDeploymentSnapshot(kNs, "web", "bk", backupDir_, records));
  ASSERT_EQ(2u, records.size());
  EXPECT_EQ("web-data", records[0].name);
  ASSERT_TRUE(wqtest::IsMountPoint(records[0].glusterfs.path));
  const std::string saved = wqtest::ReadFile(records[0].glusterfs.path + "/index.html");
  EXPECT_EQ(kIndex, saved);

  for (SVolumeInfoLib& record : records) {
    EXPECT_TRUE(facade_.UnmountVolume(kNs, record)) << record.name;
    EXPECT_TRUE(facade_.DeleteVolumeSnapshot(kNs, record)) << record.name;
    EXPECT_FALSE(wqtest::IsMountPoint(record.glusterfs.path)) << record.name;
    std::vector<std::string> snapshots;
    EXPECT_TRUE(facade_.GetGlusterVolumeSnapshotList(wqtest::Nodes()[0],
                                                     GlusterVolumeOf(record.name), snapshots));
    EXPECT_TRUE(snapshots.empty()) << record.name;
  }

  // The data claim into a new claim, the logs claim into its own (large enough) one, with
  // the deployment and what it uses gone from the cluster.
  EXPECT_EQ(200, Send("DELETE", "/oapi/v1/namespaces/demo/deploymentconfigs/web"));
  EXPECT_EQ(200, Send("DELETE", "/api/v1/namespaces/demo/secrets/web-secret"));
  EXPECT_EQ(200, Send("DELETE", "/api/v1/namespaces/demo/configmaps/web-config"));
  std::map<std::string, std::string> used;
  for (const SVolumeInfoLib& record : records) {
    const bool reuse = record.name == "web-logs";
    std::string claim;
    ASSERT_TRUE(facade_.PrepareVolume(kNs, "restored", mountBase_, record, reuse, claim))
        << record.name;
    EXPECT_EQ(reuse, claim == record.name) << claim;
    EXPECT_TRUE(wqtest::IsMountPoint(mountBase_ + "/" + claim)) << claim;
    used[record.name] = claim;
  }
  std::ofstream(mountBase_ + "/" + used["web-data"] + "/index.html", std::ios::binary) << saved;
  ASSERT_TRUE(facade_.RestoreDeployment(kNs, "web", backupDir_, false, used));

  const boost::json::value volumes =
      At(GetObject("/oapi/v1/namespaces/demo/deploymentconfigs/web"), "spec/template/spec/volumes");
  ASSERT_TRUE(volumes.is_array());
  ASSERT_EQ(4u, volumes.get_array().size());
  EXPECT_EQ(used["web-data"],
            Text(At(volumes.get_array()[0].as_object(), "persistentVolumeClaim/claimName")));
  EXPECT_EQ("web-secret",
            Text(At(GetObject("/api/v1/namespaces/demo/secrets/web-secret"), "metadata/name")));
  EXPECT_EQ(kIndex, wqtest::ReadFile(mountBase_ + "/" + used["web-data"] + "/index.html"));
}

}  // namespace
}  // namespace wftest
