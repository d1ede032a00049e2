// Claims of a GlusterFS storage class: Pending for a number of reads, then Bound to a new
// volume with its endpoints; the storage hook creates and deletes the GlusterFS volume.
// Claims without a provisioner bind to a matching volume or wait.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "tests/simulator/simulatorTestUtil.h"

namespace wqsim {
namespace testing {
namespace {

namespace bj = boost::json;

const char* const kClaims = "/api/v1/namespaces/demo/persistentvolumeclaims";

// A claim document; an empty `storageClass` leaves spec.storageClassName out.
std::string Claim(const std::string& name, const std::string& storageClass,
                  const std::string& size = "2Gi", const std::string& mode = "ReadWriteMany",
                  const std::string& annotations = "{}") {
  return R"({"kind":"PersistentVolumeClaim","apiVersion":"v1","metadata":{"name":")" + name +
         R"(","annotations":)" + annotations + R"(},"spec":{"accessModes":[")" + mode +
         R"("],"resources":{"requests":{"storage":")" + size + "\"}}" +
         (storageClass.empty() ? std::string() : R"(,"storageClassName":")" + storageClass + "\"") +
         "}}";
}

class ProvisioningTest : public SimulatorTest {
 protected:
  // Reads the claim until it is bound; returns how many reads showed it still Pending.
  int ReadsUntilBound(const std::string& name, int limit = 10) {
    for (int reads = 0; reads < limit; ++reads) {
      const bj::object claim = GetObject(std::string(kClaims) + "/" + name);
      if (At(claim, "status/phase") == "Bound") return reads;
      EXPECT_EQ("Pending", At(claim, "status/phase"));
    }
    return -1;
  }
};

class BindReadsTest : public ProvisioningTest, public ::testing::WithParamInterface<int> {};

TEST_P(BindReadsTest, GlusterClaimIsPendingForTheConfiguredReadsThenBound) {
  scenario_.settings.claimBindReads = GetParam();
  StartCluster();
  const HttpResult created = Post(kClaims, Claim("db-data", "glusterfs-storage"));
  ASSERT_EQ(201, created.status) << created.body;
  EXPECT_EQ("Pending", At(ParsedObject(created.body), "status/phase"));
  EXPECT_EQ(GetParam(), ReadsUntilBound("db-data"));
}

INSTANTIATE_TEST_SUITE_P(Reads, BindReadsTest, ::testing::Values(0, 1, 3));

TEST_F(ProvisioningTest, BoundClaimHasAProvisionedVolumeEndpointsAndStorage) {
  StartCluster();
  ASSERT_EQ(201, Post(kClaims, Claim("db-data", "glusterfs-storage")).status);
  ASSERT_EQ(1, ReadsUntilBound("db-data"));
  const bj::object claim = GetObject(std::string(kClaims) + "/db-data");
  const std::string uid = At(claim, "metadata/uid");
  EXPECT_EQ("pvc-" + uid, At(claim, "spec/volumeName"));
  EXPECT_EQ(R"(["ReadWriteMany"])", At(claim, "status/accessModes"));
  EXPECT_EQ(R"({"storage":"2Gi"})", At(claim, "status/capacity"));
  EXPECT_EQ("yes", Annotation(claim, "pv.kubernetes.io/bind-completed"));

  const bj::object volume = GetObject("/api/v1/persistentvolumes/pvc-" + uid);
  EXPECT_EQ("Bound", At(volume, "status/phase"));
  EXPECT_EQ("glusterfs-dynamic-db-data", At(volume, "spec/glusterfs/endpoints"));
  const std::string glusterVolume = At(volume, "spec/glusterfs/path");
  EXPECT_TRUE(std::regex_match(glusterVolume, std::regex("vol_[0-9a-f]{32}"))) << glusterVolume;
  EXPECT_EQ(R"({"storage":"2Gi"})", At(volume, "spec/capacity"));
  EXPECT_EQ(R"(["ReadWriteMany"])", At(volume, "spec/accessModes"));
  EXPECT_EQ("Delete", At(volume, "spec/persistentVolumeReclaimPolicy"));
  EXPECT_EQ("glusterfs-storage", At(volume, "spec/storageClassName"));
  EXPECT_EQ("PersistentVolumeClaim", At(volume, "spec/claimRef/kind"));
  EXPECT_EQ("demo", At(volume, "spec/claimRef/namespace"));
  EXPECT_EQ("db-data", At(volume, "spec/claimRef/name"));
  EXPECT_EQ(uid, At(volume, "spec/claimRef/uid"));
  EXPECT_EQ("kubernetes.io/glusterfs", Annotation(volume, "pv.kubernetes.io/provisioned-by"));
  EXPECT_EQ("40000", Annotation(volume, "pv.beta.kubernetes.io/gid"));

  const bj::object endpoints =
      GetObject("/api/v1/namespaces/demo/endpoints/glusterfs-dynamic-db-data");
  EXPECT_EQ(
      R"([{"addresses":[{"ip":"10.0.0.11"},{"ip":"10.0.0.12"}],"ports":[{"port":1,"protocol":"TCP"}]}])",
      At(endpoints, "subsets"));
  EXPECT_TRUE(std::filesystem::is_directory(simulator_->DataDir() + "/" + glusterVolume));

  // Deleting the claim deletes the volume, its endpoints and its storage.
  ASSERT_EQ(200, Call("DELETE", std::string(kClaims) + "/db-data").status);
  EXPECT_EQ(404, Call("GET", "/api/v1/persistentvolumes/pvc-" + uid).status);
  EXPECT_EQ(404, Call("GET", "/api/v1/namespaces/demo/endpoints/glusterfs-dynamic-db-data").status);
  EXPECT_FALSE(std::filesystem::exists(simulator_->DataDir() + "/" + glusterVolume));
  EXPECT_TRUE(simulator_->Api().LiveVolumes().empty());
}

TEST_F(ProvisioningTest, BetaAnnotationNamesTheClassToo) {
  StartCluster();
  ASSERT_EQ(201, Post(kClaims,
                      Claim("legacy", "", "1Gi", "ReadWriteOnce",
                            R"({"volume.beta.kubernetes.io/storage-class":"glusterfs-storage"})"))
                     .status);
  EXPECT_EQ(1, ReadsUntilBound("legacy"));
  EXPECT_EQ(1u, simulator_->Api().LiveVolumes().size());
}

TEST_F(ProvisioningTest, FailingHookLeavesTheClaimPendingUntilItSucceeds) {
  bool storageUp = false;
  std::vector<std::string> calls;
  scenario_.settings.claimBindReads = 0;
  scenario_.settings.storageHook = [&](const std::string& action, const std::string& volume,
                                       std::string& error) {
    calls.push_back(action + " " + volume);
    error = "heketi is down";
    return storageUp;
  };
  StartCluster();
  ASSERT_EQ(201, Post(kClaims, Claim("db-data", "glusterfs-storage")).status);
  EXPECT_EQ(-1, ReadsUntilBound("db-data", 3));
  EXPECT_EQ(3u, calls.size());
  EXPECT_EQ("[]", At(GetObject("/api/v1/persistentvolumes"), "items"));
  storageUp = true;
  EXPECT_EQ(0, ReadsUntilBound("db-data"));
  ASSERT_EQ(200, Call("DELETE", std::string(kClaims) + "/db-data").status);
  ASSERT_EQ(5u, calls.size());
  EXPECT_EQ("delete " + calls[3].substr(7), calls[4]);
}

TEST_F(ProvisioningTest, StorageCommandIsRunWithCreateAndDelete) {
  const std::string log =
      ::testing::TempDir() + "wqsim-storage-" + std::to_string(getpid()) + ".log";
  std::filesystem::remove(log);
  scenario_.storageCommand = "echo >>" + log;
  StartCluster();
  ASSERT_EQ(201, Post(kClaims, Claim("db-data", "glusterfs-storage")).status);
  ASSERT_EQ(1, ReadsUntilBound("db-data"));
  const std::string glusterVolume = simulator_->Api().LiveVolumes().at(0);
  ASSERT_EQ(200, Call("DELETE", std::string(kClaims) + "/db-data").status);
  std::ifstream file(log);
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_EQ("create " + glusterVolume + "\ndelete " + glusterVolume + "\n", text.str());
  std::filesystem::remove(log);
}

TEST_F(ProvisioningTest, ClaimBindsAnAvailableVolumeOfItsClassAndReleasesIt) {
  StartCluster();
  const std::string volume =
      R"({"metadata":{"name":"nfs-small"},"spec":{"capacity":{"storage":"1Gi"},"accessModes":["ReadWriteOnce"],"nfs":{"server":"n","path":"/a"},"storageClassName":"manual"}})";
  const std::string bigger =
      R"({"metadata":{"name":"nfs-big"},"spec":{"capacity":{"storage":"10Gi"},"accessModes":["ReadWriteOnce","ReadWriteMany"],"nfs":{"server":"n","path":"/b"},"storageClassName":"manual"}})";
  const HttpResult created = Post("/api/v1/persistentvolumes", volume);
  ASSERT_EQ(201, created.status);
  EXPECT_EQ("Available", At(ParsedObject(created.body), "status/phase"));
  EXPECT_EQ("Retain", At(ParsedObject(created.body), "spec/persistentVolumeReclaimPolicy"));
  ASSERT_EQ(201, Post("/api/v1/persistentvolumes", bigger).status);

  // 2Gi does not fit the small volume; the big one is chosen.
  ASSERT_EQ(201, Post(kClaims, Claim("data", "manual", "2Gi", "ReadWriteOnce")).status);
  ASSERT_EQ(1, ReadsUntilBound("data"));
  EXPECT_EQ("nfs-big", At(GetObject(std::string(kClaims) + "/data"), "spec/volumeName"));
  EXPECT_EQ(R"({"storage":"10Gi"})",
            At(GetObject(std::string(kClaims) + "/data"), "status/capacity"));

  // A claim that names its volume gets that one.
  ASSERT_EQ(
      201,
      Post(
          kClaims,
          R"({"metadata":{"name":"pinned"},"spec":{"accessModes":["ReadWriteOnce"],"resources":{"requests":{"storage":"1Gi"}},"storageClassName":"manual","volumeName":"nfs-small"}})")
          .status);
  ASSERT_EQ(1, ReadsUntilBound("pinned"));

  ASSERT_EQ(200, Call("DELETE", std::string(kClaims) + "/data").status);
  EXPECT_EQ("Released", At(GetObject("/api/v1/persistentvolumes/nfs-big"), "status/phase"));
  // No volume left for another claim, and no provisioner for its class.
  ASSERT_EQ(201, Post(kClaims, Claim("waiting", "manual", "1Gi", "ReadWriteOnce")).status);
  EXPECT_EQ(-1, ReadsUntilBound("waiting", 4));
}

}  // namespace
}  // namespace testing
}  // namespace wqsim
