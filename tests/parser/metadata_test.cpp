// String maps, object metadata and references.
#include <gtest/gtest.h>

#include <string>

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

constexpr auto kMeta = &ReadThenWrite<SObjectMetaInfoLib>;
constexpr auto kRef = &ReadThenWrite<SObjectReferenceInfoLib>;
constexpr auto kOwner = &ReadThenWrite<SOwnerReferenceInfoLib>;

INSTANTIATE_TEST_SUITE_P(
    Metadata, CodecRule,
    ::testing::Values(
        RuleCase{"EmptyWritesGenerationOnly", kMeta, R"({})", R"({"generation":0})"},
        RuleCase{"TextsWhenNonEmpty", kMeta,
                 R"({"name":"a","generateName":"","namespace":"ns","uid":"u","clusterName":""})",
                 R"({"name":"a","namespace":"ns","uid":"u","generation":0})"},
        RuleCase{"GenerationIs64Bits", kMeta, R"({"generation":9007199254740993})",
                 R"({"generation":9007199254740993})"},
        RuleCase{"GracePeriodZeroLeftOut", kMeta, R"({"deletionGracePeriodSeconds":0})", R"({"generation":0})"},
        RuleCase{"GracePeriodNegativeLeftOut", kMeta, R"({"deletionGracePeriodSeconds":-3})",
                 R"({"generation":0})"},
        RuleCase{"GracePeriodPositiveWritten", kMeta, R"({"deletionGracePeriodSeconds":30})",
                 R"({"generation":0,"deletionGracePeriodSeconds":30})"},
        RuleCase{"LabelsWithEmptyValuesDropped", kMeta, R"({"labels":{"a":"","b":"x","c":7}})",
                 R"({"generation":0,"labels":{"b":"x"}})"},
        RuleCase{"LabelsAllEmptyLeftOut", kMeta, R"({"labels":{"a":""},"annotations":{}})",
                 R"({"generation":0})"},
        RuleCase{"LabelsOfTheWrongTypeAbsent", kMeta, R"({"labels":["a"],"annotations":{"k":"v"}})",
                 R"({"generation":0,"annotations":{"k":"v"}})"},
        RuleCase{"OwnerKeepsKindAndVersion", kMeta,
                 R"({"ownerReferences":[{"apiVersion":"v1","kind":"ReplicationController","name":"rc","uid":"1",
                     "controller":true}]})",
                 R"({"generation":0,"ownerReferences":[{"apiVersion":"v1","kind":"ReplicationController",
                     "name":"rc","uid":"1","controller":true,"blockOwnerDeletion":false}]})"},
        RuleCase{"OwnerElementsOfTheWrongTypeSkipped", kMeta, R"({"ownerReferences":["rc",{},3]})",
                 R"({"generation":0,"ownerReferences":[{"controller":false,"blockOwnerDeletion":false}]})"},
        RuleCase{"FinalizersInOrderEmptyListLeftOut", kMeta, R"({"finalizers":["b","","a",1]})",
                 R"({"generation":0,"finalizers":["b","","a"]})"},
        RuleCase{"EmptyFinalizersLeftOut", kMeta, R"({"finalizers":[],"ownerReferences":[]})",
                 R"({"generation":0})"},
        RuleCase{"ReferenceAllEmptyWritesNothing", kRef, R"({"kind":"","name":7})", R"({})"},
        RuleCase{"ReferenceNamespaceMember", kRef, R"({"namespace":"ns","fieldPath":"spec"})",
                 R"({"namespace":"ns","fieldPath":"spec"})"},
        RuleCase{"OwnerFlagsAlwaysWritten", kOwner, R"({})",
                 R"({"controller":false,"blockOwnerDeletion":false})"}),
    testing_tables::RuleCaseName);

TEST(Metadata, PresenceFlagsFollowTheDocumentAndGateWriting) {
  const WQOpenShiftParser parser;
  SObjectMetaInfoLib meta;
  parser.Convert(ParseJson(R"({"labels":{"app":"db"},"annotations":{"a":"1"}})"), meta);
  EXPECT_TRUE(meta.hasLabels);
  EXPECT_TRUE(meta.hasAnnotations);

  parser.Convert(ParseJson(R"({"name":"x"})"), meta);
  EXPECT_FALSE(meta.hasLabels);
  EXPECT_FALSE(meta.hasAnnotations);
  ASSERT_EQ(1u, meta.labels.keyValues.size()) << "an absent map keeps its entries";
  mObject out;
  parser.Convert(meta, out);
  EXPECT_EQ(0u, out.count("labels"));
  EXPECT_EQ(0u, out.count("annotations"));

  meta.hasLabels = true;  // code filling labels to send sets the flag
  mObject again;
  parser.Convert(meta, again);
  EXPECT_EQ(ParseJson(R"({"app":"db"})"), again["labels"].get_obj());
}

TEST(Metadata, ListMetadataReadsItsThreeMembers) {
  SListMetaInfoLib list;
  WQOpenShiftParser().Convert(
      ParseJson(R"({"selfLink":"/api/v1/pods","resourceVersion":"42","name":"n","continue":"c"})"), list);
  EXPECT_EQ("/api/v1/pods", list.selfLink);
  EXPECT_EQ("42", list.resourceVersion);
  EXPECT_EQ("n", list.name);
}

// ---- String maps and their text forms ------------------------------------------------

TEST(ObjectInfo, MapReaderAppendsInNameOrder) {
  SObjectInfoLib map;
  map.keyValues.emplace_back("z", "0");
  ASSERT_TRUE(WQOpenShiftParser().ParseObjectInfo(R"({"b":"2","a":"1"})", map));
  ASSERT_EQ(3u, map.keyValues.size());
  EXPECT_EQ("a", map.keyValues[1].key);
  EXPECT_EQ("1", map.keyValues[1].value);
  EXPECT_EQ("b", map.keyValues[2].key);
}

TEST(ObjectInfo, ParseRejectsWhatIsNotAnObject) {
  for (const char* text : {"null", "[]", "not json", "", "\"a\"", "{\"a\":\"1\"", "{\"a\":\"1\"} x"}) {
    SObjectInfoLib map;
    map.keyValues.emplace_back("k", "v");
    EXPECT_FALSE(WQOpenShiftParser().ParseObjectInfo(text, map)) << text;
    EXPECT_EQ(1u, map.keyValues.size()) << text;
  }
}

TEST(ObjectInfo, SerializeSkipsEmptyValuesAndLaterEntriesWin) {
  const WQOpenShiftParser parser;
  SObjectInfoLib map;
  map.keyValues = {{"k", ""}};
  std::string text = "old";
  EXPECT_TRUE(parser.SerializeObjectInfo(map, text));
  EXPECT_EQ(mObject{}, ParseJson(text));

  map.keyValues = {{"k", "1"}, {"j", "x"}, {"k", "2"}, {"j", ""}};
  EXPECT_TRUE(parser.SerializeObjectInfo(map, text));
  EXPECT_EQ(ParseJson(R"({"j":"x","k":"2"})"), ParseJson(text));
  mObject out;
  EXPECT_TRUE(parser.Convert(map, out));
  map.keyValues = {{"e", ""}};
  mObject none;
  EXPECT_FALSE(parser.Convert(map, none));
}

TEST(ObjectInfo, TextRoundTripKeepsBytes) {
  const WQOpenShiftParser parser;
  SObjectInfoLib map;
  map.keyValues = {{"caf\xc3\xa9", "line\n\"quoted\"\\"}, {"tab\t", "\x01"}};
  std::string text;
  parser.SerializeObjectInfo(map, text);
  SObjectInfoLib read;
  ASSERT_TRUE(parser.ParseObjectInfo(text, read));
  ASSERT_EQ(2u, read.keyValues.size());
  EXPECT_EQ(map.keyValues[0].value, read.keyValues[0].value);
  EXPECT_EQ(map.keyValues[1].key, read.keyValues[1].key);
  EXPECT_EQ(map.keyValues[1].value, read.keyValues[1].value);
}

}  // namespace
}  // namespace OpenShiftSDKWrapper
