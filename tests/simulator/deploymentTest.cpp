// Deployment configs and their pods: the first rollout, the scale subresource and its delay,
// a new template rolling out a new version, and deletion taking the pods along.
#include <regex>
#include <set>

#include "tests/simulator/simulatorTestUtil.h"

namespace wqsim {
namespace testing {
namespace {

namespace bj = boost::json;

const char* const kConfigs = "/oapi/v1/namespaces/demo/deploymentconfigs";
const char* const kWeb = "/oapi/v1/namespaces/demo/deploymentconfigs/web";

std::string Config(int replicas, const std::string& image) {
  return R"({"kind":"DeploymentConfig","apiVersion":"v1","metadata":{"name":"web","annotations":{"wq.quiesce":"sync"}},)"
         R"("spec":{"replicas":)" +
         std::to_string(replicas) +
         R"(,"selector":{"app":"web"},"template":{"metadata":{"labels":{"app":"web"}},"spec":{)"
         R"("volumes":[{"name":"data","persistentVolumeClaim":{"claimName":"web-data"}}],)"
         R"("containers":[{"name":"web","image":")" +
         image + R"(","volumeMounts":[{"name":"data","mountPath":"/data"}]}]}}}})";
}

class DeploymentTest : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    StartCluster();
  }

  // Pods of the project, split into the running ones and the deployer pods.
  void Pods(std::vector<bj::object>& running, std::vector<std::string>& deployers) {
    running.clear();
    deployers.clear();
    const bj::object list = GetObject("/api/v1/namespaces/demo/pods");
    for (const bj::value& item : list.at("items").as_array()) {
      const bj::object& pod = item.as_object();
      if (At(pod, "status/phase") == "Succeeded") {
        deployers.push_back(At(pod, "metadata/name"));
      } else {
        running.push_back(pod);
      }
    }
  }

  std::string Status(const bj::object& config, const char* counter) {
    return At(config, std::string("status/") + counter);
  }
};

TEST_F(DeploymentTest, CreationRollsOutVersionOneWithRunningPods) {
  const HttpResult created = Post(kConfigs, Config(2, "nginx:1"));
  ASSERT_EQ(201, created.status) << created.body;
  const bj::object config = GetObject(kWeb);
  EXPECT_EQ("1", Status(config, "latestVersion"));
  for (const char* counter :
       {"replicas", "readyReplicas", "availableReplicas", "updatedReplicas"}) {
    EXPECT_EQ("2", Status(config, counter)) << counter;
  }
  EXPECT_EQ("0", Status(config, "unavailableReplicas"));
  EXPECT_EQ("1", At(config, "metadata/generation"));
  EXPECT_EQ(R"([{"type":"ConfigChange"}])", At(config, "spec/triggers"));

  std::vector<bj::object> running;
  std::vector<std::string> deployers;
  Pods(running, deployers);
  EXPECT_EQ(std::vector<std::string>{"web-1-deploy"}, deployers);
  ASSERT_EQ(2u, running.size());
  std::set<std::string> addresses;
  for (const bj::object& pod : running) {
    EXPECT_TRUE(std::regex_match(At(pod, "metadata/name"), std::regex("web-1-[a-z0-9]{5}")))
        << At(pod, "metadata/name");
    EXPECT_EQ("web", At(pod, "metadata/labels/deploymentconfig"));
    EXPECT_EQ("web-1", At(pod, "metadata/labels/deployment"));
    EXPECT_EQ("web", At(pod, "metadata/labels/app"));
    EXPECT_EQ("web", Annotation(pod, "openshift.io/deployment-config.name"));
    EXPECT_EQ("web-1", Annotation(pod, "openshift.io/deployment.name"));
    EXPECT_EQ("Running", At(pod, "status/phase"));
    EXPECT_EQ("true", At(pod.at("status").at("containerStatuses").at(0).as_object(), "ready"));
    EXPECT_EQ("nginx:1", At(pod.at("spec").at("containers").at(0).as_object(), "image"));
    EXPECT_EQ("web-data", At(pod.at("spec").at("volumes").at(0).as_object(),
                             "persistentVolumeClaim/claimName"));
    addresses.insert(At(pod, "status/podIP"));
  }
  EXPECT_EQ(2u, addresses.size());
}

TEST_F(DeploymentTest, ScaleTakesEffectAfterOneReadAndFollowsThePods) {
  ASSERT_EQ(201, Post(kConfigs, Config(2, "nginx:1")).status);
  const bj::object scale = GetObject(std::string(kWeb) + "/scale");
  EXPECT_EQ("Scale", At(scale, "kind"));
  EXPECT_EQ("extensions/v1beta1", At(scale, "apiVersion"));
  EXPECT_EQ(std::string(kWeb) + "/scale", At(scale, "metadata/selfLink"));
  EXPECT_EQ("2", At(scale, "spec/replicas"));
  EXPECT_EQ(R"({"app":"web"})", At(scale, "status/selector"));
  EXPECT_EQ("app=web", At(scale, "status/targetSelector"));

  const HttpResult scaled = Call(
      "PUT", std::string(kWeb) + "/scale",
      R"({"kind":"Scale","apiVersion":"extensions/v1beta1","metadata":{"name":"web","namespace":"demo"},"spec":{"replicas":3}})");
  ASSERT_EQ(200, scaled.status) << scaled.body;
  EXPECT_EQ("3", At(ParsedObject(scaled.body), "spec/replicas"));

  // The first read after the change still shows the old counts; the next one the new.
  bj::object config = GetObject(kWeb);
  EXPECT_EQ("3", At(config, "spec/replicas"));
  EXPECT_EQ("2", Status(config, "availableReplicas"));
  config = GetObject(kWeb);
  EXPECT_EQ("3", Status(config, "availableReplicas"));
  EXPECT_EQ("3", Status(config, "readyReplicas"));
  std::vector<bj::object> running;
  std::vector<std::string> deployers;
  Pods(running, deployers);
  EXPECT_EQ(3u, running.size());

  ASSERT_EQ(200, Call("PUT", std::string(kWeb) + "/scale", R"({"spec":{"replicas":0}})").status);
  GetObject(kWeb);
  EXPECT_EQ("0", Status(GetObject(kWeb), "availableReplicas"));
  Pods(running, deployers);
  EXPECT_TRUE(running.empty());
  EXPECT_EQ(std::vector<std::string>{"web-1-deploy"}, deployers);

  // A scale carrying a stale resourceVersion conflicts.
  const HttpResult stale =
      Call("PUT", std::string(kWeb) + "/scale",
           R"({"metadata":{"name":"web","resourceVersion":"1"},"spec":{"replicas":1}})");
  EXPECT_EQ(409, stale.status);
  EXPECT_EQ("Conflict", At(ParsedObject(stale.body), "reason"));
}

TEST_F(DeploymentTest, ReplacingTheTemplateRollsOutANewVersion) {
  ASSERT_EQ(201, Post(kConfigs, Config(2, "nginx:1")).status);
  std::vector<bj::object> before;
  std::vector<std::string> deployers;
  Pods(before, deployers);

  const HttpResult replaced = Call("PUT", kWeb, Config(1, "nginx:2"));
  ASSERT_EQ(200, replaced.status) << replaced.body;
  const bj::object config = GetObject(kWeb);
  EXPECT_EQ("2", Status(config, "latestVersion"));
  EXPECT_EQ("1", Status(config, "availableReplicas"));
  EXPECT_EQ("2", At(config, "metadata/generation"));
  EXPECT_EQ("sync", At(config, "metadata/annotations/wq.quiesce"));

  std::vector<bj::object> after;
  Pods(after, deployers);
  ASSERT_EQ(1u, after.size());
  EXPECT_EQ(0u, At(after[0], "metadata/name").find("web-2-"));
  EXPECT_EQ("nginx:2", At(after[0].at("spec").at("containers").at(0).as_object(), "image"));
  EXPECT_EQ(std::vector<std::string>{"web-2-deploy"}, deployers);

  // The same definition again changes nothing; only a new replica count waits for reads.
  ASSERT_EQ(200, Call("PUT", kWeb, Config(1, "nginx:2")).status);
  EXPECT_EQ("2", Status(GetObject(kWeb), "latestVersion"));
  ASSERT_EQ(200, Call("PUT", kWeb, Config(4, "nginx:2")).status);
  EXPECT_EQ("1", Status(GetObject(kWeb), "availableReplicas"));
  EXPECT_EQ("4", Status(GetObject(kWeb), "availableReplicas"));
}

TEST_F(DeploymentTest, DeletionTakesThePodsAndListsSpanNamespaces) {
  ASSERT_EQ(201, Post(kConfigs, Config(2, "nginx:1")).status);
  ASSERT_EQ(201, Post("/oapi/v1/namespaces/other/deploymentconfigs", Config(1, "nginx:1")).status);
  const bj::object all = GetObject("/oapi/v1/deploymentconfigs");
  EXPECT_EQ("DeploymentConfigList", At(all, "kind"));
  ASSERT_EQ(2u, all.at("items").as_array().size());
  EXPECT_EQ("demo", At(all.at("items").at(0).as_object(), "metadata/namespace"));
  EXPECT_EQ("other", At(all.at("items").at(1).as_object(), "metadata/namespace"));

  const bj::object config = GetObject(kWeb);
  const HttpResult deleted =
      Call("DELETE", kWeb, R"({"kind":"DeleteOptions","apiVersion":"v1","gracePeriodSeconds":0})");
  EXPECT_EQ(
      R"({"kind":"Status","apiVersion":"v1","metadata":{},"status":"Success","details":{"name":"web","group":"apps.openshift.io","kind":"deploymentconfigs","uid":")" +
          At(config, "metadata/uid") + "\"}}\n",
      deleted.body);
  EXPECT_EQ("[]", At(GetObject("/api/v1/namespaces/demo/pods"), "items"));
  EXPECT_EQ(2u, GetObject("/api/v1/namespaces/other/pods").at("items").as_array().size());
}

TEST_F(DeploymentTest, PodsCreatedDirectlyRun) {
  const HttpResult created = Post(
      "/api/v1/namespaces/demo/pods",
      R"({"metadata":{"name":"tool"},"spec":{"containers":[{"name":"c","image":"busybox"}]},"status":{"phase":"Failed"}})");
  ASSERT_EQ(201, created.status) << created.body;
  const bj::object pod = ParsedObject(created.body);
  EXPECT_EQ("Running", At(pod, "status/phase"));
  EXPECT_EQ("c", At(pod.at("status").at("containerStatuses").at(0).as_object(), "name"));
}

}  // namespace
}  // namespace testing
}  // namespace wqsim
