// Persistent volumes and claims, endpoints, the control bodies, the preparations for
// re-creation, and wrong elements inside lists and maps.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "parser/openshiftParser.h"
#include "tests/parser/workloadTestUtil.h"

namespace OpenShiftSDKWrapper {
namespace {

using json_spirit::mObject;
using namespace workload_test;

const char kBoundPv[] = R"({
  "kind": "PersistentVolume", "apiVersion": "v1",
  "metadata": {"name": "pv-gluster-1", "uid": "11-22", "resourceVersion": "801",
               "creationTimestamp": "2017-05-01T10:00:00Z",
               "labels": {"storage": "gluster"}, "annotations": {"pv.kubernetes.io/bound-by-controller": "yes"}},
  "spec": {"capacity": {"storage": "2Gi"},
           "glusterfs": {"endpoints": "glusterfs-cluster", "path": "vol_1"},
           "accessModes": ["ReadWriteMany"],
           "claimRef": {"kind": "PersistentVolumeClaim", "namespace": "shop", "name": "data", "uid": "33"},
           "persistentVolumeReclaimPolicy": "Retain"},
  "status": {"phase": "Bound"}
})";

const char kBoundPvc[] = R"({
  "kind": "PersistentVolumeClaim", "apiVersion": "v1",
  "metadata": {"name": "data", "namespace": "shop", "selfLink": "/api/v1/namespaces/shop/persistentvolumeclaims/data",
               "uid": "33", "resourceVersion": "802", "creationTimestamp": "2017-05-01T10:00:00Z",
               "labels": {"app": "web"}, "annotations": {"pv.kubernetes.io/bind-completed": "yes"},
               "ownerReferences": [{"name": "web", "uid": "1"}], "finalizers": ["kubernetes.io/pvc-protection"]},
  "spec": {"accessModes": ["ReadWriteMany"], "selector": {"matchLabels": {"storage": "gluster"}},
           "resources": {"requests": {"storage": "2Gi"}}, "volumeName": "pv-gluster-1",
           "storageClassName": "glusterfs-storage"},
  "status": {"phase": "Bound", "accessModes": ["ReadWriteMany"], "capacity": {"storage": "2Gi"}}
})";

template <class R, class Serialize>
mObject SerializedWith(R& record, Serialize serialize) {
  std::string text;
  EXPECT_TRUE((WQOpenShiftParser().*serialize)(record, text));
  return Object(text);
}

// ---- Persistent volumes ------------------------------------------------------------------

TEST(PersistentVolume, PreparedVolumeIsSentUnboundWithItsIdentity) {
  SPersistentVolumeInfoLib pv;
  ASSERT_TRUE(WQOpenShiftParser().ParsePersistentVolume(kBoundPv, pv));
  EXPECT_TRUE(pv.spec.hasClaimRef);
  EXPECT_EQ("data", pv.spec.claimRef.name);
  EXPECT_EQ("vol_1", pv.spec.glusterfs.path);
  EXPECT_TRUE(WQOpenShiftParser().PreparePersistentVolume(pv));

  const mObject out = SerializedWith(pv, &WQOpenShiftParser::SerializePersistentVolume);
  EXPECT_JSON_EQ(R"({"name": "pv-gluster-1", "uid": "11-22", "generation": 0,
                     "labels": {"storage": "gluster"},
                     "annotations": {"pv.kubernetes.io/bound-by-controller": "yes"}})",
                 out.at("metadata").get_obj());
  EXPECT_JSON_EQ(R"({"capacity": {"storage": "2Gi"},
                     "glusterfs": {"endpoints": "glusterfs-cluster", "path": "vol_1", "readOnly": false},
                     "accessModes": ["ReadWriteMany"], "persistentVolumeReclaimPolicy": "Retain"})",
                 out.at("spec").get_obj());
  EXPECT_JSON_EQ(R"({"phase": "Bound"})", out.at("status").get_obj());
}

TEST(PersistentVolume, InlineSourcesWriteWhenTheirGuardPasses) {
  SPersistentVolumeSpecInfoLib spec;
  spec.nfs.path = "/exports";             // no server
  spec.rbd.monitors = {"10.0.0.1:6789"};  // no image
  spec.hostPath.path = "/srv";            // no guard
  EXPECT_JSON_EQ(R"({"hostPath": {"path": "/srv"}})", Written(spec));

  spec.nfs.server = "nfs.example";
  EXPECT_JSON_EQ(R"({"server": "nfs.example", "path": "/exports", "readOnly": false})",
                 Written(spec).at("nfs").get_obj());
}

TEST(PersistentVolume, ClaimReferenceFilledInCodeNeedsItsFlag) {
  SPersistentVolumeSpecInfoLib spec =
      Read<SPersistentVolumeSpecInfoLib>(R"({"accessModes": ["ReadWriteOnce"]})");
  EXPECT_FALSE(spec.hasClaimRef);
  spec.claimRef.name = "data";
  EXPECT_FALSE(Has(Written(spec), "claimRef"));
  spec.hasClaimRef = true;
  EXPECT_JSON_EQ(R"({"name": "data"})", Written(spec).at("claimRef").get_obj());
  spec.claimRef.name.clear();  // flagged but empty: nothing to send
  EXPECT_FALSE(Has(Written(spec), "claimRef"));
}

// ---- Claims --------------------------------------------------------------------------------

TEST(PersistentVolumeClaim, PreparedClaimBindsAfresh) {
  SPersistentVolumeClaimInfoLib pvc;
  ASSERT_TRUE(WQOpenShiftParser().ParsePersistentVolumeClaim(kBoundPvc, pvc));
  EXPECT_TRUE(WQOpenShiftParser().PreparePersistentVolumeClaim(pvc));
  // The records keep what is no longer sent.
  EXPECT_EQ(1u, pvc.metadata.labels.keyValues.size());
  EXPECT_EQ(1u, pvc.metadata.annotations.keyValues.size());

  const mObject out = SerializedWith(pvc, &WQOpenShiftParser::SerializePersistentVolumeClaim);
  EXPECT_JSON_EQ(R"({"name": "data", "namespace": "shop", "uid": "33", "generation": 0})",
                 out.at("metadata").get_obj());
  EXPECT_JSON_EQ(
      R"({"accessModes": ["ReadWriteMany"], "selector": {"matchLabels": {"storage": "gluster"}},
                     "resources": {"requests": {"storage": "2Gi"}}, "storageClassName": "glusterfs-storage"})",
      out.at("spec").get_obj());
  EXPECT_JSON_EQ(
      R"({"phase": "Bound", "accessModes": ["ReadWriteMany"], "capacity": {"storage": "2Gi"}})",
      out.at("status").get_obj());
}

// ---- Endpoints -------------------------------------------------------------------------------

TEST(Endpoints, ReadPreparedAndWrittenBack) {
  const char text[] = R"({"kind": "Endpoints", "apiVersion": "v1",
    "metadata": {"name": "glusterfs-cluster", "resourceVersion": "77", "creationTimestamp": "2017-05-01T10:00:00Z"},
    "subsets": [{"addresses": [{"ip": "192.168.10.100", "targetRef": {"kind": "Pod", "name": "gfs-1"}}],
                 "notReadyAddresses": [{"ip": "192.168.10.101", "hostname": "gfs-2", "nodeName": "node-2"}],
                 "ports": [{"name": "gluster", "port": 1, "protocol": "TCP"}]}]})";
  SEndpointsInfoLib endpoints;
  ASSERT_TRUE(WQOpenShiftParser().ParseEndpoints(text, endpoints));
  ASSERT_EQ(1u, endpoints.subsets.size());
  EXPECT_EQ("192.168.10.100", endpoints.subsets[0].addresses[0].ip);
  EXPECT_EQ("node-2", endpoints.subsets[0].notReadyAddresses[0].nodeName);
  EXPECT_EQ(1, endpoints.subsets[0].ports[0].port);

  EXPECT_TRUE(WQOpenShiftParser().PrepareEndpoints(endpoints));
  mObject expected = Object(text);
  expected["metadata"] = Object(R"({"name": "glusterfs-cluster", "generation": 0})");
  EXPECT_EQ(expected, SerializedWith(endpoints, &WQOpenShiftParser::SerializeEndpoints));
}

// ---- Control bodies -------------------------------------------------------------------------

TEST(ControlBodies, NumbersAreAlwaysSent) {
  SScaleInfoLib scale;
  // The metadata's generation is always sent, so even an empty body has three members.
  EXPECT_JSON_EQ(
      R"({"metadata": {"generation": 0}, "spec": {"replicas": 0}, "status": {"replicas": 0}})",
      SerializedWith(scale, &WQOpenShiftParser::SerializeScale));
  scale.kind = "Scale";
  scale.apiVersion = "extensions/v1beta1";
  scale.metadata.name = "web";
  scale.metadata.nameSpace = "shop";
  scale.spec.replicas = 3;
  scale.status.selector.keyValues = {{"deploymentconfig", "web"}};
  EXPECT_JSON_EQ(R"({"kind": "Scale", "apiVersion": "extensions/v1beta1",
                     "metadata": {"name": "web", "namespace": "shop", "generation": 0},
                     "spec": {"replicas": 3},
                     "status": {"replicas": 0, "selector": {"deploymentconfig": "web"}}})",
                 SerializedWith(scale, &WQOpenShiftParser::SerializeScale));

  SDeleteOptionsInfoLib options;
  options.propagationPolicy = "Foreground";
  EXPECT_JSON_EQ(R"({"gracePeriodSeconds": 0, "propagationPolicy": "Foreground"})",
                 SerializedWith(options, &WQOpenShiftParser::SerializeDeleteOptions));
}

// ---- Secrets and config maps --------------------------------------------------------------------

using PrepareText = bool (WQOpenShiftParser::*)(const std::string&, std::string&) const;

class SecretAndConfigMap : public ::testing::TestWithParam<PrepareText> {};

TEST_P(SecretAndConfigMap, MissingNameBecomesEmpty) {
  std::string text = R"({"data": {"a": "1"}, "metadata": {"generateName": "cm-"}})";
  EXPECT_TRUE((WQOpenShiftParser().*GetParam())("shop", text));
  EXPECT_JSON_EQ(R"({"data": {"a": "1"}, "metadata": {"name": "", "namespace": "shop"}})",
                 Object(text));
}

TEST_P(SecretAndConfigMap, RefusesTextWithoutAnObjectOrMetadata) {
  for (const char* original : {"[]", "not json", "", "null", R"({"data": {}})",
                               R"({"metadata": "x"})", R"({"metadata": {"name": "a"})"}) {
    std::string text = original;
    EXPECT_FALSE((WQOpenShiftParser().*GetParam())("shop", text)) << original;
    EXPECT_EQ(original, text);
  }
}

INSTANTIATE_TEST_SUITE_P(Both, SecretAndConfigMap,
                         ::testing::Values(&WQOpenShiftParser::PrepareSecret,
                                           &WQOpenShiftParser::PrepareConfigMap));

// Elements of the wrong type inside lists and maps are skipped, the rest is read.
TEST(ParseRobustness, WrongElementsInsideListsAndMapsAreSkipped) {
  std::vector<SPodInfoLib> pods;
  ASSERT_TRUE(WQOpenShiftParser().ParsePodList(
      R"({"items": [7, {"metadata": {"name": "p", "labels": {"a": "1", "n": 2, "o": {}}},
                        "spec": {"containers": ["c", {"name": "real", "command": ["sh", 1, "-c"]}]}}]})",
      pods));
  ASSERT_EQ(1u, pods.size());
  ASSERT_EQ(1u, pods[0].metadata.labels.keyValues.size());
  EXPECT_EQ("a", pods[0].metadata.labels.keyValues[0].key);
  ASSERT_EQ(1u, pods[0].spec.containers.size());
  EXPECT_EQ((std::vector<std::string>{"sh", "-c"}), pods[0].spec.containers[0].command);
}

}  // namespace
}  // namespace OpenShiftSDKWrapper
