// What the pods of a deployment config need besides its claims and environment, inside the
// storage-node sandbox: the simulated cluster keeps a pod Pending while one of them is missing;
// a backup saves them, the project is emptied, and the restore brings the pods up again.
#include <gtest/gtest.h>

#include "simulator/cluster/clusterJson.h"
#include "tests/testing/builtInCluster.h"
#include "tools/wqosctl/commands.h"
#include "tools/wqosctl/manifest.h"

namespace {

namespace json = wqsim::json;
const std::string kCore = "/api/v1/namespaces/demo/";

class PodNeeds : public wqtest::BuiltInClusterSuite {
 protected:
  static void SetUpTestSuite() {
    BuiltInClusterSuite::SetUpTestSuite();
    if (session == nullptr) return;
    for (const char* object :
         {R"({"kind":"ServiceAccount","metadata":{"name":"web-runner"}})",
          R"({"kind":"Secret","metadata":{"name":"web-cert"},"data":{"c":"Yw=="}})",
          R"({"kind":"Secret","metadata":{"name":"web-key"},"data":{"k":"aw=="}})",
          R"({"kind":"Secret","metadata":{"name":"web-pull"},"type":"kubernetes.io/dockercfg"})",
          R"({"kind":"Secret","type":"kubernetes.io/service-account-token","metadata":{"name":
              "web-runner-token-x1","annotations":{"kubernetes.io/service-account.name":"web-runner"}}})",
          R"({"kind":"ConfigMap","metadata":{"name":"web-settings"},"data":{"a":"b"}})"}) {
      Create(object);
    }
    json::object config = Get("/oapi/v1/namespaces/demo/deploymentconfigs/web");
    json::object& spec = config["spec"].as_object()["template"].as_object()["spec"].as_object();
    json::array& volumes = spec["volumes"].as_array();
    volumes.push_back(json::parse(R"({"name":"cert","secret":{"secretName":"web-cert"}})"));
    volumes.push_back(json::parse(R"({"name":"bundle","projected":{"sources":[
        {"secret":{"name":"web-key"}},{"configMap":{"name":"web-settings"}},
        {"secret":{"name":"web-extra","optional":true}},
        {"secret":{"name":"web-runner-token-x1","optional":true}}]}})"));
    spec["imagePullSecrets"] = json::parse(R"([{"name":"web-pull"}])");
    spec["serviceAccountName"] = "web-runner";
    ASSERT_EQ(Call("PUT", "/oapi/v1/namespaces/demo/deploymentconfigs/web", config), 200);
    podSpec = spec;
  }

  static int Call(const std::string& method, const std::string& path, const json::object& body,
                  json::object* answer = nullptr) {
    wqsim::ApiAnswer reply;
    cluster->Simulator().Api().Serve({method, path, json::serialize(body)}, reply);
    std::string error;
    if (answer != nullptr) wqsim::ParseObject(reply.body, *answer, error);
    return reply.status;
  }
  static json::object Get(const std::string& path) {
    json::object answer;
    EXPECT_EQ(Call("GET", path, json::object(), &answer), 200) << path;
    return answer;
  }
  static std::string PathOf(const json::object& object) {
    const std::string kind = wqsim::StringAt(object, "kind");
    const char* resource = kind == "Secret"      ? "secrets/"
                           : kind == "ConfigMap" ? "configmaps/"
                                                 : "serviceaccounts/";
    return kCore + resource + wqsim::NameOf(object);
  }
  static void Create(const std::string& text) {
    const json::object object = json::parse(text).as_object();
    const std::string path = PathOf(object);
    EXPECT_EQ(Call("POST", path.substr(0, path.rfind('/')), object), 201) << text;
  }
  static std::string Phase(const std::string& pod) {
    return wqsim::StringAt(*wqsim::ObjectAt(Get(kCore + "pods/" + pod), "status"), "phase");
  }
  // The phases of the deployment config's replica pods.
  static std::vector<std::string> WebPhases() {
    std::vector<std::string> phases;
    const json::object list = Get(kCore + "pods");
    for (const json::value& pod : *wqsim::ArrayAt(list, "items")) {
      const json::value* labels = pod.as_object().at("metadata").as_object().if_contains("labels");
      if (labels != nullptr && labels->as_object().contains("deploymentconfig"))
        phases.push_back(Phase(wqsim::NameOf(pod.as_object())));
    }
    return phases;
  }
  static int Command(const std::string& command, const std::string& dir, bool dryRun = false) {
    wqosctl::Invocation invocation;
    invocation.command = command;
    invocation.nameSpace = "demo";
    if (command != "release") invocation.positional = {"web"};
    (command == "restore" ? invocation.from : invocation.dir) = dir;
    invocation.copyData = command == "backup";
    invocation.dryRun = dryRun;
    return RunTool(invocation);
  }

  static json::object podSpec;
};

json::object PodNeeds::podSpec;

// A pod waits while any one required object is missing, and starts once it is there; the
// optional ones (one never exists) do not hold it.
TEST_F(PodNeeds, APodIsPendingWhileARequiredObjectIsMissing) {
  const std::pair<std::string, const char*> needed[] = {
      {"persistentvolumeclaims/web-scratch",  // made here, and kept for the rows below
       R"({"metadata":{"name":"web-scratch"},"spec":{"storageClassName":"none",
           "accessModes":["ReadWriteOnce"],"resources":{"requests":{"storage":"1Gi"}}}})"},
      {"secrets/web-cert", nullptr},  // existing ones are deleted and put back
      {"secrets/web-key", nullptr},
      {"configmaps/web-settings", nullptr},
      {"secrets/web-pull", nullptr},
      {"serviceaccounts/web-runner", nullptr}};
  json::object spec = podSpec;
  spec["volumes"].as_array().push_back(
      json::parse(R"({"name":"scratch","persistentVolumeClaim":{"claimName":"web-scratch"}})"));
  for (const auto& row : needed) {
    SCOPED_TRACE(row.first);
    json::object back;
    if (row.second != nullptr) {
      back = json::parse(row.second).as_object();
    } else {
      ASSERT_EQ(Call("DELETE", kCore + row.first, json::object()), 200);
      back["metadata"] = json::object{{"name", row.first.substr(row.first.find('/') + 1)}};
    }
    const json::object pod{{"metadata", {{"name", "probe"}}}, {"spec", spec}};
    ASSERT_EQ(Call("POST", kCore + "pods", pod), 201);
    EXPECT_EQ(Phase("probe"), "Pending");
    ASSERT_EQ(Call("POST", kCore + row.first.substr(0, row.first.find('/')), back), 201);
    EXPECT_EQ(Phase("probe"), "Running");
    ASSERT_EQ(Call("DELETE", kCore + "pods/probe", json::object()), 200);
  }
}

TEST_F(PodNeeds, BackupSavesThemAndARestoreIntoAnEmptiedProjectRunsThePods) {
  ASSERT_EQ(WebPhases(), std::vector<std::string>(2, "Running"));
  const std::string dir = cluster->WorkDir() + "/podneeds";
  // A required object that is missing fails the backup; an optional one (web-extra) does not.
  const json::object key = Get(kCore + "secrets/web-key");
  ASSERT_EQ(Call("DELETE", kCore + "secrets/web-key", json::object()), 200);
  EXPECT_EQ(Command("backup", dir, true), wqosctl::kExitFailed);
  EXPECT_EQ(Command("backup", dir), wqosctl::kExitFailed);
  ASSERT_EQ(Command("release", dir), wqosctl::kExitOk);
  Create(R"({"kind":"Secret","metadata":{"name":"web-key"},"data":{"k":"aw=="}})");
  ASSERT_EQ(Command("backup", dir, true), wqosctl::kExitOk);
  ASSERT_EQ(Command("backup", dir), wqosctl::kExitOk);
  ASSERT_EQ(Command("release", dir), wqosctl::kExitOk);

  const wqosctl::Manifest manifest = ManifestIn(dir);
  EXPECT_EQ(manifest.serviceAccount, "web-runner");
  const std::vector<std::string> files = manifest.files;
  for (const char* file : {"secret_web-cert", "secret_web-key", "configmap_web-settings",
                           "secret_web-pull", "secret_web-secret"}) {
    EXPECT_EQ(std::count(files.begin(), files.end(), file), 1) << file;
  }
  EXPECT_EQ(std::count(files.begin(), files.end(), "secret_web-runner-token-x1"), 0);

  for (const char* gone :
       {"secrets/web-cert", "secrets/web-key", "secrets/web-pull", "secrets/web-secret",
        "secrets/web-runner-token-x1", "configmaps/web-settings", "configmaps/web-config",
        "configmaps/web-env", "serviceaccounts/web-runner", "persistentvolumeclaims/web-data",
        "persistentvolumeclaims/web-logs"}) {
    EXPECT_EQ(Call("DELETE", kCore + gone, json::object()), 200) << gone;
  }
  ASSERT_EQ(Call("DELETE", "/oapi/v1/namespaces/demo/deploymentconfigs/web", json::object()), 200);
  EXPECT_EQ(WebPhases(), std::vector<std::string>());

  EXPECT_EQ(Command("restore", dir, true), wqosctl::kExitOk);
  ASSERT_EQ(Command("restore", dir), wqosctl::kExitOk);
  EXPECT_EQ(WebPhases(), std::vector<std::string>(2, "Running"));
  EXPECT_EQ(wqsim::NameOf(Get(kCore + "serviceaccounts/web-runner")), "web-runner");
  json::object token;
  EXPECT_EQ(Call("GET", kCore + "secrets/web-runner-token-x1", json::object(), &token), 404);
}

}  // namespace
