// Deployment configs: single objects against list items, the strategy and
// trigger rules, the status counters, and the preparations for create and update.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "parser/openshiftParser.h"
#include "tests/parser/workloadTestUtil.h"

namespace OpenShiftSDKWrapper {
namespace {

using json_spirit::mObject;
using namespace workload_test;

const char kStoredDc[] = R"({
  "kind": "DeploymentConfig", "apiVersion": "v1",
  "metadata": {
    "name": "web", "namespace": "shop", "selfLink": "/oapi/v1/namespaces/shop/deploymentconfigs/web",
    "uid": "0f1e", "resourceVersion": "4711", "generation": 7, "creationTimestamp": "2017-05-01T10:00:00Z",
    "labels": {"app": "web"}, "annotations": {"openshift.io/generated-by": "OpenShiftNewApp"},
    "ownerReferences": [{"name": "owner", "uid": "1"}], "finalizers": ["keep"]
  },
  "spec": {
    "strategy": {"type": "Rolling",
                 "rollingParams": {"updatePeriodSeconds": 1, "intervalSeconds": 1, "timeoutSeconds": 600,
                                   "maxUnavailable": "25%", "maxSurge": 1},
                 "resources": {}},
    "triggers": [{"type": "ConfigChange"},
                 {"type": "ImageChange",
                  "imageChangeParams": {"automatic": true, "containerNames": ["web"],
                                        "from": {"kind": "ImageStreamTag", "name": "web:latest"}}}],
    "replicas": 3, "minReadySeconds": 0, "test": false,
    "selector": {"deploymentconfig": "web"},
    "template": {"metadata": {"labels": {"deploymentconfig": "web"}},
                 "spec": {"containers": [{"name": "web", "image": "web:latest"}]}}
  },
  "status": {
    "latestVersion": 5, "observedGeneration": 7, "replicas": 3, "updatedReplicas": 3,
    "availableReplicas": 2, "unavailableReplicas": 1, "readyReplicas": 2,
    "details": {"message": "config change", "causes": [{"type": "ConfigChange"}]},
    "conditions": [{"type": "Available", "status": "True"}]
  }
})";

SDeploymentConfigInfoLib Parsed(const std::string& text) {
  SDeploymentConfigInfoLib dc;
  EXPECT_TRUE(WQOpenShiftParser().ParseDeploymentConfig(text, dc));
  return dc;
}

mObject Serialized(SDeploymentConfigInfoLib& dc) {
  std::string text;
  EXPECT_TRUE(WQOpenShiftParser().SerializeDeploymentConfig(dc, text));
  return Object(text);
}

// ---- Single objects and list items ------------------------------------------------

TEST(DeploymentConfigParsing, KindAndVersionOnlyFromASingleObject) {
  SDeploymentConfigInfoLib single = Parsed(kStoredDc);
  EXPECT_EQ("DeploymentConfig", single.kind);
  EXPECT_EQ("v1", single.apiVersion);
  EXPECT_EQ("DeploymentConfig", Serialized(single).at("kind").get_str());

  std::vector<SDeploymentConfigInfoLib> list(1);
  ASSERT_TRUE(WQOpenShiftParser().ParseDeploymentConfigList(
      std::string(R"({"kind": "DeploymentConfigList", "items": [)") + kStoredDc + "]}", list));
  ASSERT_EQ(2u, list.size());
  EXPECT_TRUE(list[1].kind.empty());
  EXPECT_TRUE(list[1].apiVersion.empty());
  EXPECT_EQ("web", list[1].metadata.name);
  const mObject written = Serialized(list[1]);
  EXPECT_FALSE(Has(written, "kind"));
  EXPECT_FALSE(Has(written, "apiVersion"));

  // The record reader alone does not touch them either.
  SDeploymentConfigInfoLib viaReader;
  viaReader.kind = "set in code";
  WQOpenShiftParser().Convert(Object(kStoredDc), viaReader);
  EXPECT_EQ("set in code", viaReader.kind);
}

// ---- Spec and status numbers ----------------------------------------------------------

TEST(DeploymentConfigWriting, SpecCountersFollowTheirConditions) {
  SDeploymentConfigInfoLib dc = Parsed(kStoredDc);
  mObject spec = Serialized(dc).at("spec").get_obj();
  EXPECT_FALSE(Has(spec, "minReadySeconds"));
  EXPECT_FALSE(Has(spec, "revisionHistoryLimit"));
  EXPECT_EQ(3, spec.at("replicas").get_int());
  EXPECT_FALSE(spec.at("test").get_bool());
  EXPECT_FALSE(spec.at("paused").get_bool());  // absent in the input, sent as false

  dc.spec.minReadySeconds = 10;
  dc.spec.revisionHistoryLimit = 5;
  dc.spec.replicas = 0;
  spec = Serialized(dc).at("spec").get_obj();
  EXPECT_EQ(10, spec.at("minReadySeconds").get_int());
  EXPECT_EQ(5, spec.at("revisionHistoryLimit").get_int());
  EXPECT_EQ(0, spec.at("replicas").get_int());
}

// ---- Strategy ---------------------------------------------------------------------------

TEST(StrategyWriting, RollingStrategyAlsoCarriesRecreateParamsAndDeadline) {
  SDeploymentConfigInfoLib dc = Parsed(kStoredDc);
  EXPECT_TRUE(dc.spec.strategy.hasRollingParams);
  EXPECT_JSON_EQ(R"({"type": "Rolling",
                     "rollingParams": {"updatePeriodSeconds": 1, "intervalSeconds": 1, "timeoutSeconds": 600,
                                       "maxUnavailable": "25%"},
                     "recreateParams": {"timeoutSeconds": 0},
                     "activeDeadlineSeconds": 0})",
                 Serialized(dc).at("spec").get_obj().at("strategy").get_obj());
}

TEST(StrategyWriting, RollingParamsNeedTheirPresenceFlag) {
  SDeploymentStrategyInfoLib strategy = Read<SDeploymentStrategyInfoLib>(R"({"type": "Recreate"})");
  EXPECT_FALSE(strategy.hasRollingParams);
  strategy.rollingParams.timeoutSeconds = 600;
  strategy.rollingParams.maxSurge = "20%";
  EXPECT_FALSE(Has(Written(strategy), "rollingParams"));

  strategy.hasRollingParams = true;
  EXPECT_JSON_EQ(
      R"({"updatePeriodSeconds": 0, "intervalSeconds": 0, "timeoutSeconds": 600, "maxSurge": "20%"})",
      Written(strategy).at("rollingParams").get_obj());
}

TEST(StrategyWriting, RecreateHooksRoundTrip) {
  const char text[] = R"({"type": "Recreate",
    "recreateParams": {"timeoutSeconds": 600,
      "pre": {"failurePolicy": "Abort",
              "execNewPod": {"command": ["/bin/true"], "env": [{"name": "V", "value": "1"}],
                             "containerName": "db", "volumes": ["data"]}},
      "mid": {"failurePolicy": "Retry",
              "tagImages": [{"containerName": "db", "to": {"kind": "ImageStreamTag", "name": "db:prod"}}]}},
    "customParams": {"image": "deployer", "environment": [{"name": "E", "value": "2"}], "command": ["run"]},
    "labels": {"tier": "db"}, "annotations": {"note": "x"}, "activeDeadlineSeconds": 21600})";
  SDeploymentStrategyInfoLib strategy = Read<SDeploymentStrategyInfoLib>(text);
  EXPECT_JSON_EQ(text, Written(strategy));
}

// ---- Triggers -----------------------------------------------------------------------------

TEST(TriggerWriting, ImageChangeParamsNeedAnImageReference) {
  SDeploymentTriggerPolicyInfoLib trigger = Read<SDeploymentTriggerPolicyInfoLib>(
      R"({"type": "ImageChange",
          "imageChangeParams": {"automatic": true, "containerNames": ["web"], "lastTriggeredImage": "sha"}})");
  bool wrote = false;
  EXPECT_JSON_EQ(R"({"type": "ImageChange"})", Written(trigger, &wrote));
  EXPECT_TRUE(wrote);

  bool paramsWrote = true;
  EXPECT_TRUE(Written(trigger.imageChangeParams, &paramsWrote).empty());
  EXPECT_FALSE(paramsWrote);

  trigger.imageChangeParams.from.name = "web:latest";
  EXPECT_JSON_EQ(R"({"type": "ImageChange",
                     "imageChangeParams": {"automatic": true, "containerNames": ["web"],
                                           "from": {"name": "web:latest"}, "lastTriggeredImage": "sha"}})",
                 Written(trigger));
}

// ---- Preparation ---------------------------------------------------------------------------

TEST(DeploymentConfigPreparing, CreationDropsServerStateButKeepsTheDefinition) {
  SDeploymentConfigInfoLib dc = Parsed(kStoredDc);
  EXPECT_TRUE(WQOpenShiftParser().PrepareDeploymentConfig(dc));
  const mObject out = Serialized(dc);

  EXPECT_JSON_EQ(
      R"({"latestVersion": 0, "observedGeneration": 0, "replicas": 0, "updatedReplicas": 0,
                     "availableReplicas": 0, "unavailableReplicas": 0, "readyReplicas": 0,
                     "details": {"message": "config change", "causes": [{"type": "ConfigChange"}]}})",
      out.at("status").get_obj());
  EXPECT_JSON_EQ(R"({"name": "web", "generation": 7, "labels": {"app": "web"},
                     "annotations": {"openshift.io/generated-by": "OpenShiftNewApp"},
                     "finalizers": ["keep"]})",
                 out.at("metadata").get_obj());
  // The template and the strategy go back as they were read.
  SDeploymentConfigInfoLib original = Parsed(kStoredDc);
  EXPECT_EQ(Serialized(original).at("spec"), out.at("spec"));
}

TEST(DeploymentConfigPreparing, UpdateTakesOnlyTheStoredResourceVersion) {
  SDeploymentConfigInfoLib dc = Parsed(kStoredDc);
  SDeploymentConfigInfoLib stored = Parsed(kStoredDc);
  stored.metadata.resourceVersion = "5000";
  stored.metadata.uid = "other";
  stored.spec.replicas = 9;
  EXPECT_TRUE(WQOpenShiftParser().PrepareDeploymentConfig(dc, stored));
  const mObject metadata = Serialized(dc).at("metadata").get_obj();
  EXPECT_EQ("5000", metadata.at("resourceVersion").get_str());
  EXPECT_FALSE(Has(metadata, "uid"));
  EXPECT_FALSE(Has(metadata, "namespace"));
  EXPECT_EQ(3, dc.spec.replicas);
  EXPECT_EQ(0, dc.status.replicas);
}

}  // namespace
}  // namespace OpenShiftSDKWrapper
