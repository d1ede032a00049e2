// The simulator's documents against real API documents of the same kind: every member a
// fixture has is there, with the same JSON type; for a bound claim the member sets of
// metadata, spec and status are exactly those of a claim a 3.x cluster returned.
#include <fstream>
#include <set>
#include <sstream>

#include "tests/simulator/simulatorTestUtil.h"

namespace wqsim {
namespace testing {
namespace {

namespace bj = boost::json;

// Members whose keys are data (Go maps), not fields.
const std::set<std::string> kMapMembers = {"labels",     "annotations", "capacity",    "requests",
                                           "limits",     "selector",    "matchLabels", "data",
                                           "parameters", "nodeSelector"};

bj::object Fixture(const std::string& name) {
  std::ifstream file(std::string(WQ_SIM_FIXTURE_DIR) + "/" + name);
  std::stringstream text;
  text << file.rdbuf();
  bj::object object = ParsedObject(text.str());
  EXPECT_FALSE(object.empty()) << "fixture " << name << " is missing or not an object";
  return object;
}

const char* TypeName(const bj::value& value) {
  if (value.is_number()) return "number";
  if (value.is_string()) return "string";
  if (value.is_bool()) return "bool";
  if (value.is_object()) return "object";
  if (value.is_array()) return "array";
  return "null";
}

// Every member of `fixture` is in `actual` with the same type (a null in the fixture stands
// for any type), recursively, the first element of an array standing for all.
void ExpectCoversShape(const bj::value& fixture, const bj::value& actual, const std::string& where,
                       bool keysAreData = false) {
  if (fixture.is_null()) return;
  ASSERT_STREQ(TypeName(fixture), TypeName(actual)) << where;
  if (fixture.is_object()) {
    for (const auto& member : fixture.as_object()) {
      const std::string key = member.key();
      const bj::value* other = actual.as_object().if_contains(key);
      if (other == nullptr) {
        EXPECT_TRUE(keysAreData) << where << "/" << key << " is missing";
        continue;
      }
      ExpectCoversShape(member.value(), *other, where + "/" + key, kMapMembers.count(key) > 0);
    }
  } else if (fixture.is_array() && !fixture.as_array().empty() && !actual.as_array().empty()) {
    ExpectCoversShape(fixture.as_array().front(), actual.as_array().front(), where + "[0]");
  }
}

std::set<std::string> MemberNames(const bj::object& object, const char* section) {
  std::set<std::string> names;
  for (const auto& member : object.at(section).as_object()) names.insert(member.key());
  return names;
}

class FixtureShapeTest : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    StartCluster();
  }

  // Creates the fixture's object in "demo" and reads it back.
  bj::object CreateFromFixture(const std::string& fixture, const std::string& collection) {
    bj::object object = Fixture(fixture);
    if (object.contains("metadata") && object.at("metadata").as_object().contains("namespace")) {
      object["metadata"].as_object()["namespace"] = "demo";
    }
    const HttpResult created = Post(collection, bj::serialize(object));
    EXPECT_EQ(201, created.status) << created.body;
    return GetObject(collection + "/" + At(object, "metadata/name"));
  }
};

TEST_F(FixtureShapeTest, BoundClaimHasTheMembersOfARealBoundClaim) {
  ASSERT_EQ(
      201,
      Post(
          "/api/v1/persistentvolumes",
          R"({"metadata":{"name":"pv-aws-ow5vl"},"spec":{"capacity":{"storage":"1Gi"},"accessModes":["ReadWriteOnce"],)"
          R"("awsElasticBlockStore":{"volumeID":"aws://us-east-1a/vol-1","fsType":"ext4"},"storageClassName":"myStorage"}})")
          .status);
  const bj::object fixture = Fixture("persistentvolumeclaim.bound.oso.json");
  CreateFromFixture("persistentvolumeclaim.bound.oso.json",
                    "/api/v1/namespaces/demo/persistentvolumeclaims");
  const bj::object claim = GetObject("/api/v1/namespaces/demo/persistentvolumeclaims/mypvc");
  ASSERT_EQ("Bound", At(claim, "status/phase"));
  for (const char* section : {"metadata", "spec", "status"}) {
    EXPECT_EQ(MemberNames(fixture, section), MemberNames(claim, section)) << section;
  }
  ExpectCoversShape(fixture, claim, "claim");
}

TEST_F(FixtureShapeTest, ProvisionedVolumeAndEndpointsHaveTheMembersOfRealOnes) {
  ASSERT_EQ(
      201,
      Post(
          "/api/v1/namespaces/demo/persistentvolumeclaims",
          R"({"metadata":{"name":"db"},"spec":{"accessModes":["ReadWriteOnce"],"resources":{"requests":{"storage":"1Gi"}},"storageClassName":"glusterfs-storage"}})")
          .status);
  GetObject("/api/v1/namespaces/demo/persistentvolumeclaims/db");
  const bj::object claim = GetObject("/api/v1/namespaces/demo/persistentvolumeclaims/db");
  const bj::object volume = GetObject("/api/v1/persistentvolumes/" + At(claim, "spec/volumeName"));
  bj::object staticVolume = Fixture("persistentvolume.glusterfs.static.json");
  // The hand-written manifest has what a provisioned volume has, except its source's
  // readOnly flag, which the server leaves out when false.
  staticVolume["spec"].as_object()["glusterfs"].as_object().erase("readOnly");
  ExpectCoversShape(staticVolume.at("spec"), volume.at("spec"), "volume/spec");

  const bj::object endpoints = GetObject("/api/v1/namespaces/demo/endpoints/glusterfs-dynamic-db");
  ExpectCoversShape(Fixture("endpoints.glusterfs.three-nodes.json").at("subsets"),
                    endpoints.at("subsets"), "endpoints/subsets");
}

TEST_F(FixtureShapeTest, DeploymentConfigPodsAndProjectsHaveTheMembersOfRealOnes) {
  const bj::object config =
      CreateFromFixture("deploymentconfig.oso.json", "/oapi/v1/namespaces/demo/deploymentconfigs");
  ExpectCoversShape(Fixture("deploymentconfig.oso.json"), config, "deploymentconfig");
  ExpectCoversShape(Fixture("deploymentconfig.restclient.json").at("status"), config.at("status"),
                    "deploymentconfig/status");

  const bj::object pods = GetObject("/api/v1/namespaces/demo/pods");
  const bj::object* replica = nullptr;
  for (const bj::value& item : pods.at("items").as_array()) {
    if (At(item.as_object(), "status/phase") == "Running") replica = &item.as_object();
  }
  ASSERT_NE(nullptr, replica);
  const bj::object deployer = Fixture("pod.deployer.restclient.json");
  ExpectCoversShape(deployer.at("metadata"), replica->at("metadata"), "pod/metadata");
  ExpectCoversShape(deployer.at("status"), replica->at("status"), "pod/status");
  EXPECT_EQ(MemberNames(deployer.at("status").at("containerStatuses").at(0).as_object(), "state"),
            MemberNames(replica->at("status").at("containerStatuses").at(0).as_object(), "state"));

  bj::object project = Fixture("project.oso.json");
  ASSERT_EQ(201, Post("/oapi/v1/projects", bj::serialize(project)).status);
  ExpectCoversShape(project, GetObject("/oapi/v1/projects/operations"), "project");
}

}  // namespace
}  // namespace testing
}  // namespace wqsim
