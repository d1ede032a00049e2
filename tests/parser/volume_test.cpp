// Pod volumes, volume sources and the snapshot descriptor.
#include <gtest/gtest.h>

#include "parser/openshiftParser.h"
#include "tests/parser/tableWalk.h"

namespace OpenShiftSDKWrapper {
namespace {

using json_spirit::mObject;
using json_spirit::mValue;
using testing_tables::CodecRule;
using testing_tables::ParseJson;
using testing_tables::ReadThenWrite;
using testing_tables::RuleCase;

constexpr auto kVolume = &ReadThenWrite<SVolumeInfoLib>;

INSTANTIATE_TEST_SUITE_P(
    Volume, CodecRule,
    ::testing::Values(
        RuleCase{"EmptyDirThatWroteNothingLeftOut", kVolume, R"({"name":"cache","emptyDir":{}})",
                 R"({"name":"cache"})"},
        RuleCase{"TwoSourcesKept", kVolume, R"({"name":"v","nfs":{"server":"s","path":"/p"},"hostPath":{"path":"/h"}})",
                 R"({"name":"v","nfs":{"server":"s","path":"/p","readOnly":false},"hostPath":{"path":"/h"}})"},
        RuleCase{"SourceOfTheWrongTypeAbsent", kVolume, R"({"name":"v","rbd":null,"nfs":"s"})", R"({"name":"v"})"},
        RuleCase{"GlusterfsWithoutEndpointsWritesNothing", kVolume,
                 R"({"name":"g","glusterfs":{"path":"vol","readOnly":true}})", R"({"name":"g"})"},
        RuleCase{"GlusterfsReadOnlyAdded", kVolume, R"({"glusterfs":{"endpoints":"ep","path":"vol"}})",
                 R"({"glusterfs":{"endpoints":"ep","path":"vol","readOnly":false}})"},
        RuleCase{"SecretModesOnlyWhenPositive", kVolume,
                 R"({"secret":{"secretName":"s","items":[{"key":"k","path":"p"},{"key":"k2","path":"p2","mode":256}]}})",
                 R"({"secret":{"secretName":"s","optional":false,
                     "items":[{"key":"k","path":"p"},{"key":"k2","path":"p2","mode":256}]}})"},
        RuleCase{"SecretDefaultModeKept", kVolume, R"({"secret":{"secretName":"s","defaultMode":420}})",
                 R"({"secret":{"secretName":"s","defaultMode":420,"optional":false}})"},
        RuleCase{"ConfigMapNegativeModesDropped", kVolume,
                 R"({"configMap":{"name":"c","defaultMode":-1,"items":[{"key":"","path":"","mode":-5}]}})",
                 R"({"configMap":{"name":"c","optional":false,"items":[{}]}})"},
        RuleCase{"ConfigMapWithoutNameWritesNothing", kVolume, R"({"configMap":{"optional":true}})", R"({})"},
        RuleCase{"RbdGuardIsTheImage", kVolume, R"({"rbd":{"monitors":["m1"],"pool":"p"}})", R"({})"},
        RuleCase{"RbdWithImage", kVolume, R"({"rbd":{"monitors":["m1"],"image":"i","secretRef":{}}})",
                 R"({"rbd":{"monitors":["m1"],"image":"i","readOnly":false}})"},
        RuleCase{"CephfsGuardIsTheMonitorList", kVolume, R"({"cephfs":{"path":"/","monitors":[]}})", R"({})"},
        RuleCase{"FcGuardIsTheTargetList", kVolume, R"({"fc":{"lun":0,"fsType":"ext4"}})", R"({})"},
        RuleCase{"IscsiNumbersAndFlags", kVolume,
                 R"({"iscsi":{"targetPortal":"t:3260","iqn":"q","lun":0,"portals":["a"],"secretRef":{"name":"s"}}})",
                 R"({"iscsi":{"targetPortal":"t:3260","iqn":"q","lun":0,"readOnly":false,"portals":["a"],
                     "chapAuthDiscovery":false,"chapAuthSession":false,"secretRef":{"name":"s"}}})"},
        RuleCase{"FlexOptionsWithValues", kVolume,
                 R"({"flexVolume":{"driver":"d","options":{"a":"","b":"x"}}})",
                 R"({"flexVolume":{"driver":"d","readOnly":false,"options":{"b":"x"}}})"},
        RuleCase{"ProjectedSecretAlsoCarriesConfigMap", kVolume,
                 R"({"projected":{"sources":[{"secret":{"name":"s","items":[{"key":"k","path":"p"}]}}]}})",
                 R"({"projected":{"sources":[{"secret":{"name":"s","items":[{"key":"k","path":"p"}],
                     "optional":false},"configMap":{"optional":false}}]}})"},
        RuleCase{"ProjectedWithoutSourcesWritesNothing", kVolume, R"({"projected":{"defaultMode":420}})",
                 R"({})"},
        RuleCase{"DownwardApiFileWithoutPathIsAnEmptyElement", kVolume,
                 R"({"downwardAPI":{"items":[{"fieldRef":{"fieldPath":"metadata.name"}},
                     {"path":"labels","fieldRef":{"apiVersion":"v1"},"resourceFieldRef":{"containerName":"c"}}]}})",
                 R"({"downwardAPI":{"items":[{},{"path":"labels","resourceFieldRef":{"containerName":"c"}}]}})"},
        RuleCase{"DeprecatedDownwardApiUnderMetadata", kVolume,
                 R"({"metadata":{"items":[{"name":"labels","fieldRef":{"fieldPath":"metadata.labels"},"mode":292}]}})",
                 R"({"metadata":{"items":[{"name":"labels","fieldRef":{"fieldPath":"metadata.labels"},"mode":292}]}})"},
        RuleCase{"ScaleIOGuardedByGateway", kVolume,
                 R"({"scaleIO":{"gateway":"gw","system":"sys","sslEnabled":true,"volumeName":"v"}})",
                 R"({"scaleIO":{"gateway":"gw","system":"sys","sslEnabled":true,"volumeName":"v","readOnly":false}})"},
        RuleCase{"ClaimSourceWithoutGuard", kVolume,
                 R"({"name":"data","persistentVolumeClaim":{"claimName":"c","claimSize":"1G"}})",
                 R"({"name":"data","persistentVolumeClaim":{"claimName":"c","readOnly":false}})"}),
    testing_tables::RuleCaseName);

// The flag of each source, with its member's name.
struct SourceFlag {
  const char* key;
  bool SVolumeInfoLib::*flag;
};

TEST(Volume, EveryPresenceFlagFollowsItsOwnMember) {
  const SourceFlag flags[] = {
      {"hostPath", &SVolumeInfoLib::hasHostPath},
      {"emptyDir", &SVolumeInfoLib::hasEmptyDir},
      {"gcePersistentDisk", &SVolumeInfoLib::hasGcePersistentDisk},
      {"awsElasticBlockStore", &SVolumeInfoLib::hasAwsElasticBlockStore},
      {"gitRepo", &SVolumeInfoLib::hasGitRepo},
      {"secret", &SVolumeInfoLib::hasSecret},
      {"nfs", &SVolumeInfoLib::hasNfs},
      {"iscsi", &SVolumeInfoLib::hasIscsi},
      {"glusterfs", &SVolumeInfoLib::hasGlusterfs},
      {"persistentVolumeClaim", &SVolumeInfoLib::hasPersistentVolumeClaim},
      {"rbd", &SVolumeInfoLib::hasRbd},
      {"flexVolume", &SVolumeInfoLib::hasFlexVolume},
      {"cinder", &SVolumeInfoLib::hasCinder},
      {"cephfs", &SVolumeInfoLib::hasCephfs},
      {"flocker", &SVolumeInfoLib::hasFlocker},
      {"downwardAPI", &SVolumeInfoLib::hasDownwardAPI},
      {"fc", &SVolumeInfoLib::hasFc},
      {"azureFile", &SVolumeInfoLib::hasAzureFile},
      {"configMap", &SVolumeInfoLib::hasConfigMap},
      {"vsphereVolume", &SVolumeInfoLib::hasVsphereVolume},
      {"quobyte", &SVolumeInfoLib::hasQuobyte},
      {"azureDisk", &SVolumeInfoLib::hasAzureDisk},
      {"photonPersistentDisk", &SVolumeInfoLib::hasPhotonPersistentDisk},
      {"projected", &SVolumeInfoLib::hasProjected},
      {"portworxVolume", &SVolumeInfoLib::hasPortworxVolume},
      {"scaleIO", &SVolumeInfoLib::hasScaleIO},
      {"metadata", &SVolumeInfoLib::hasMetadata},
  };
  for (const SourceFlag& one : flags) {
    SVolumeInfoLib volume;
    WQOpenShiftParser().Convert(ParseJson(std::string("{\"") + one.key + "\":{}}"), volume);
    for (const SourceFlag& other : flags) EXPECT_EQ(&other == &one, volume.*other.flag) << one.key << " " << other.key;
  }
}

TEST(Volume, SourceFilledWithoutItsFlagIsNotWritten) {
  const WQOpenShiftParser parser;
  SVolumeInfoLib volume;
  parser.Convert(ParseJson(R"({"name":"v"})"), volume);
  volume.nfs.server = "s";
  volume.glusterfs.endpoints = "ep";
  mObject out;
  EXPECT_TRUE(parser.Convert(volume, out));
  EXPECT_EQ(ParseJson(R"({"name":"v"})"), out);
  volume.hasGlusterfs = true;
  mObject flagged;
  parser.Convert(volume, flagged);
  EXPECT_EQ(1u, flagged.count("glusterfs"));
  SVolumeInfoLib empty;
  mObject none;
  EXPECT_FALSE(parser.Convert(empty, none));
}

TEST(Volume, SnapshotDescriptorNeverInJsonAndKeptByReading) {
  const WQOpenShiftParser parser;
  SVolumeInfoLib descriptor;
  descriptor.name = "claim";
  descriptor.podVolumeName = "data";
  descriptor.storageClassName = "glusterfs-storage";
  descriptor.capacity = "2Gi";
  descriptor.accessModes = {"ReadWriteMany"};
  descriptor.matchLabels.keyValues = {{"app", "db"}};
  descriptor.persistentVolumeName = "pv-1";
  descriptor.snapshotState = 1;
  descriptor.hasGlusterfs = true;
  descriptor.glusterfs.endpoints = "ep";
  descriptor.glusterfs.path = "/mnt/backup/claim";
  descriptor.glusterfs.snapshotName = "snap_GMT-2024";

  mObject out;
  parser.Convert(descriptor, out);
  EXPECT_EQ(ParseJson(R"({"name":"claim","glusterfs":{"endpoints":"ep","path":"/mnt/backup/claim","readOnly":false}})"),
            out);

  parser.Convert(ParseJson(R"({"name":"other","podVolumeName":"x","capacity":"9Gi","snapshotState":5,
                               "glusterfs":{"endpoints":"e2","path":"vol","snapshotName":"s"}})"),
                 descriptor);
  EXPECT_EQ("other", descriptor.name);
  EXPECT_EQ("data", descriptor.podVolumeName);
  EXPECT_EQ("glusterfs-storage", descriptor.storageClassName);
  EXPECT_EQ("2Gi", descriptor.capacity);
  EXPECT_EQ(1u, descriptor.accessModes.size());
  EXPECT_EQ(1u, descriptor.matchLabels.keyValues.size());
  EXPECT_EQ("pv-1", descriptor.persistentVolumeName);
  EXPECT_EQ(1, descriptor.snapshotState);
  EXPECT_EQ("vol", descriptor.glusterfs.path);
  EXPECT_EQ("snap_GMT-2024", descriptor.glusterfs.snapshotName);
}

TEST(Volume, SourceAbsentOnASecondReadKeepsItsRecordButNotItsFlag) {
  const WQOpenShiftParser parser;
  SVolumeInfoLib volume;
  parser.Convert(ParseJson(R"({"secret":{"secretName":"s","items":[{"key":"a","path":"b"}]}})"), volume);
  parser.Convert(ParseJson(R"({"name":"n"})"), volume);
  EXPECT_FALSE(volume.hasSecret);
  EXPECT_EQ("s", volume.secret.secretName);
  parser.Convert(ParseJson(R"({"secret":{"items":[{"key":"c"}]}})"), volume);
  EXPECT_TRUE(volume.hasSecret);
  EXPECT_EQ("", volume.secret.secretName);
  EXPECT_EQ(2u, volume.secret.items.size()) << "items are appended";
}

}  // namespace
}  // namespace OpenShiftSDKWrapper
