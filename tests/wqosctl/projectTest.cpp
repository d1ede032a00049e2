// Backups of a whole project inside the storage-node sandbox: two deployment configs that
// share a claim, backed up, released and restored into the emptied project; then one whose
// storage node is down, which fails alone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "simulator/cluster/clusterJson.h"
#include "tests/testing/builtInCluster.h"
#include "tests/testing/programRunner.h"
#include "tools/wqosctl/commands.h"
#include "tools/wqosctl/project.h"
#include "wrapper/dcPods.h"

namespace {

namespace json = wqsim::json;
using namespace OpenShiftSDKWrapper;
const std::string kCore = "/api/v1/namespaces/demo/";
const std::string kConfigs = "/oapi/v1/namespaces/demo/deploymentconfigs";
const std::pair<size_t, size_t> kReplicas = {2, 1};  // running pods of web and of worker

class Project : public wqtest::BuiltInClusterSuite {
 protected:
  static json::object Call(const std::string& method, const std::string& path,
                           const std::string& body, int status) {
    wqsim::ApiAnswer reply;
    cluster->Simulator().Api().Serve({method, path, body}, reply);
    EXPECT_EQ(reply.status, status) << method << " " << path << ": " << reply.body;
    json::object answer;
    std::string error;
    wqsim::ParseObject(reply.body, answer, error);
    return answer;
  }
  static int Command(const std::string& command, const std::string& dir, bool dryRun = false) {
    wqosctl::Invocation invocation;
    invocation.command = command;
    invocation.nameSpace = "demo";
    invocation.all = command == "backup" || command == "restore";
    invocation.dryRun = dryRun;
    (command == "restore" ? invocation.from : invocation.dir) = dir;
    invocation.copyData = command == "backup";
    if (command == "backup") {  // worker has no such annotations
      invocation.quiesce = "wq.quiesce";
      invocation.unquiesce = "wq.unquiesce";
    }
    return RunTool(invocation);
  }
  // The running pods of web and of worker.
  static std::pair<size_t, size_t> RunningPods() {
    std::vector<SPodInfoLib> pods;
    EXPECT_TRUE(session->Sdk().GetPodInfoList("demo", pods, 0));
    std::pair<size_t, size_t> running;
    for (const SPodInfoLib& pod : pods) {
      running.first += IsRunningPodOfDeploymentConfig(pod, "web");
      running.second += IsRunningPodOfDeploymentConfig(pod, "worker");
    }
    return running;
  }
  static wqosctl::Project ProjectFile(const std::string& dir) {
    wqosctl::Project project;
    std::string error;
    EXPECT_TRUE(wqosctl::ReadProject(dir, project, error)) << error;
    return project;
  }
  // The claim's volume is served by `node` alone.
  static void Endpoint(const std::string& claim, const std::string& node) {
    const std::string path = kCore + "endpoints/glusterfs-dynamic-" + claim;
    json::object endpoints = Call("GET", path, "", 200);
    endpoints["subsets"].as_array()[0].as_object()["addresses"] =
        json::array{json::object{{"ip", node}}};
    Call("PUT", path, json::serialize(endpoints), 200);
  }
};

TEST_F(Project, SharedClaimsAreTakenOnceAndAFailedDeploymentConfigStopsNoOther) {
  const std::string dir = cluster->WorkDir() + "/project";
  Call("POST", kCore + "persistentvolumeclaims", R"({"metadata":{"name":"worker-data"},"spec":{
      "storageClassName":"glusterfs-storage","accessModes":["ReadWriteOnce"],
      "resources":{"requests":{"storage":"1Gi"}}}})",
       201);
  Call("POST", kConfigs, R"({"metadata":{"name":"worker"},"spec":{"replicas":1,
      "selector":{"deploymentconfig":"worker"},"template":{"metadata":{"labels":
      {"deploymentconfig":"worker"}},"spec":{"containers":[{"name":"w","image":"busybox"}],
      "volumes":[{"name":"own","persistentVolumeClaim":{"claimName":"worker-data"}},
      {"name":"logs","persistentVolumeClaim":{"claimName":"web-logs"}}]}}}})",
       201);
  ASSERT_EQ(RunningPods(), kReplicas);
  SPersistentVolumeClaimInfoLib claim;  // provisioned while it is read, in a few seconds
  for (int i = 0; i < 300 && claim.status.phase != "Bound"; ++i) {
    usleep(100000);
    session->Sdk().GetPersistentVolumeClaimInfo("demo", "worker-data", claim, 0);
  }

  ASSERT_EQ(Command("backup", dir, true), wqosctl::kExitOk);
  EXPECT_FALSE(wqosctl::IsProjectDirectory(dir));
  ASSERT_EQ(Command("backup", dir), wqosctl::kExitOk);
  const wqosctl::Project project = ProjectFile(dir);
  ASSERT_EQ(project.members.size(), 2u);
  size_t taken = 0, referred = 0;
  for (const wqosctl::ProjectMember& member : project.members) {
    EXPECT_TRUE(member.ok) << member.deploymentConfig;
    const wqosctl::Manifest manifest = ManifestIn(dir + "/" + member.directory);
    EXPECT_TRUE(manifest.complete);
    for (const wqosctl::ManifestVolume& volume : manifest.volumes) {
      taken += volume.record.name == "web-logs";
      EXPECT_TRUE(volume.data.recorded) << volume.record.name;
    }
    for (const wqosctl::SharedClaim& shared : manifest.sharedClaims) {
      referred += shared.claim == "web-logs" && shared.owner != member.deploymentConfig;
    }
  }
  EXPECT_EQ(taken, 1u);
  EXPECT_EQ(referred, 1u);
  EXPECT_EQ(SnapshotsOf("web-logs").size(), 1u);
  EXPECT_EQ(Command("describe", dir), wqosctl::kExitOk);
  EXPECT_EQ(Command("verify", dir), wqosctl::kExitOk);
  ASSERT_EQ(Command("release", dir), wqosctl::kExitOk);
  EXPECT_EQ(SnapshotsOf("web-logs").size(), 0u);

  // The project emptied of its deployment configs and claims, then restored.
  for (const char* dc : {"web", "worker"}) Call("DELETE", kConfigs + "/" + dc, "{}", 200);
  for (const char* claim : {"web-data", "web-logs", "worker-data"}) {
    Call("DELETE", kCore + "persistentvolumeclaims/" + claim, "{}", 200);
  }
  EXPECT_EQ(Command("restore", dir, true), wqosctl::kExitOk);
  ASSERT_EQ(Command("restore", dir), wqosctl::kExitOk);
  EXPECT_EQ(RunningPods(), kReplicas);
  const std::vector<std::string> web = ClaimsOf("web");
  const std::vector<std::string> worker = ClaimsOf("worker");
  ASSERT_EQ(web.size(), 2u);
  ASSERT_EQ(worker.size(), 2u);
  EXPECT_EQ(web[1], worker[1]) << "one restored claim for both";
  std::vector<SPersistentVolumeClaimInfoLib> claims;
  ASSERT_TRUE(session->Sdk().GetPersistentVolumeClaimInfoList("demo", claims, 0));
  EXPECT_EQ(claims.size(), 3u);

  // The worker's own claim lives on a node that is down: the web's backup goes on and is whole.
  for (const std::string& claim : web) Endpoint(claim, cluster->Nodes().front());
  Endpoint(worker[0], cluster->Nodes().back());
  const std::string fault = std::getenv("WQSANDBOX_FAULT");
  ASSERT_EQ(wqtest::Run({fault, "node-down", cluster->Nodes().back()}, wqtest::CleanEnv()).code, 0);
  const std::string second = dir + "-down";
  EXPECT_EQ(Command("backup", second), wqosctl::kExitFailed);
  for (const wqosctl::ProjectMember& member : ProjectFile(second).members) {
    EXPECT_EQ(member.ok, member.deploymentConfig == "web") << member.deploymentConfig;
  }
  const wqosctl::Manifest whole = ManifestIn(second + "/web");
  EXPECT_TRUE(whole.complete);
  EXPECT_EQ(whole.volumes.size(), 2u);
  EXPECT_TRUE(whole.sharedClaims.empty());
  EXPECT_EQ(Command("release", second), wqosctl::kExitOk);
  EXPECT_EQ(wqtest::Run({fault, "clear"}, wqtest::CleanEnv()).code, 0);
}

}  // namespace
