// The engine's reading and writing rules, pinned on a small table of this test.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "parser/openshiftParser.h"
#include "parser/recordTables.h"

namespace OpenShiftSDKWrapper {

// (A named namespace, so that a reader or writer no test calls is no warning.)
namespace enginetest {

using json_spirit::mObject;

struct SExampleInnerInfoLib {
  std::string text;
};

struct SExampleInfoLib {
  int port = 0;
  std::string name;
  int64_t positive = 0;
  int64_t nonNegative = 0;
  int64_t narrow = 0;
  std::string readOnly;
  std::string writeOnly;
  SExampleInnerInfoLib inner;
  bool hasInner = false;
  std::vector<int> numbers;
};

// Guarded by a nested record.
struct SExampleGuardInfoLib {
  bool flag = false;
  SExampleInnerInfoLib inner;
};

// Guarded by any of two members.
struct SExampleEitherInfoLib {
  std::string first;
  std::string second;
  int count = 0;
};

void ReadRecord(const mObject& in, SExampleInnerInfoLib& out);
bool WriteRecord(const SExampleInnerInfoLib& in, mObject& out);
void ReadRecord(const mObject& in, SExampleInfoLib& out);
bool WriteRecord(const SExampleInfoLib& in, mObject& out);
void ReadRecord(const mObject& in, SExampleGuardInfoLib& out);
bool WriteRecord(const SExampleGuardInfoLib& in, mObject& out);
void ReadRecord(const mObject& in, SExampleEitherInfoLib& out);
bool WriteRecord(const SExampleEitherInfoLib& in, mObject& out);

}  // namespace enginetest

namespace codec {
using namespace enginetest;
WQ_TABLE(SExampleInnerInfoLib, F("text", &SExampleInnerInfoLib::text));
WQ_TABLE(SExampleInfoLib, F("port", &SExampleInfoLib::port, WriteIf<PortRange>, Required),
         F("name", &SExampleInfoLib::name),
         F("positive", &SExampleInfoLib::positive, WriteIf<Positive>),
         F("nonNegative", &SExampleInfoLib::nonNegative, WriteIf<NonNegative>),
         F("narrow", &SExampleInfoLib::narrow, ReadAs<Int32>),
         F("readOnly", &SExampleInfoLib::readOnly, ReadOnly),
         F("writeOnly", &SExampleInfoLib::writeOnly, WriteOnly),
         F("inner", &SExampleInfoLib::inner, Presence<&SExampleInfoLib::hasInner>),
         F("numbers", &SExampleInfoLib::numbers));
WQ_TABLE(SExampleGuardInfoLib, F("flag", &SExampleGuardInfoLib::flag),
         F("inner", &SExampleGuardInfoLib::inner, Required));
WQ_TABLE(SExampleEitherInfoLib, F("first", &SExampleEitherInfoLib::first, Required),
         F("second", &SExampleEitherInfoLib::second, Required),
         F("count", &SExampleEitherInfoLib::count));
}  // namespace codec

namespace enginetest {

WQ_CODEC_DEFINE_ReadWrite(SExampleInnerInfoLib) WQ_CODEC_DEFINE_ReadWrite(SExampleInfoLib)
    WQ_CODEC_DEFINE_ReadWrite(SExampleGuardInfoLib) WQ_CODEC_DEFINE_ReadWrite(SExampleEitherInfoLib)

        namespace {
  using json_spirit::mArray;
  using json_spirit::mObject;
  using json_spirit::mValue;

  mObject Parse(const std::string& text) {
    mValue value;
    EXPECT_TRUE(json_spirit::read_string(text, value)) << text;
    return value.type() == json_spirit::obj_type ? value.get_obj() : mObject{};
  }

  struct GuardCase {
    int port;
    bool writes;
  };

  // Without a printer GoogleTest shows a parameter as its raw bytes, padding included, which
  // valgrind reports as a read of uninitialised memory.
  void PrintTo(const GuardCase& row, std::ostream* os) { *os << "port " << row.port; }

  class PortGuard : public ::testing::TestWithParam<GuardCase> {};

  TEST_P(PortGuard, NothingIsWrittenOutsideThePortRange) {
    SExampleInfoLib record;
    record.port = GetParam().port;
    record.name = "n";
    mObject out;
    EXPECT_EQ(GetParam().writes, WriteRecord(record, out));
    EXPECT_EQ(GetParam().writes ? 4u : 0u, out.size());  // port, name, nonNegative, narrow
  }

  INSTANTIATE_TEST_SUITE_P(
      Engine, PortGuard,
      ::testing::Values(GuardCase{0, false}, GuardCase{-1, false}, GuardCase{1, true},
                        GuardCase{65535, true}, GuardCase{65536, false}));

  TEST(Engine, NestedGuardAndAnyOfGuards) {
    SExampleGuardInfoLib guarded;
    guarded.flag = true;
    mObject out;
    EXPECT_FALSE(WriteRecord(guarded, out));
    EXPECT_TRUE(out.empty());
    guarded.inner.text = "t";
    EXPECT_TRUE(WriteRecord(guarded, out));
    EXPECT_EQ(Parse(R"({"flag":true,"inner":{"text":"t"}})"), out);

    SExampleEitherInfoLib either;
    mObject none;
    EXPECT_FALSE(WriteRecord(either, none));
    EXPECT_TRUE(none.empty());
    either.second = "s";
    mObject some;
    EXPECT_TRUE(WriteRecord(either, some));
    EXPECT_EQ(Parse(R"({"second":"s","count":0})"), some);
  }

  TEST(Engine, ReadOnlyWriteOnlyAndNarrowRows) {
    SExampleInfoLib record;
    record.writeOnly = "kept";
    ReadRecord(Parse(R"({"readOnly":"r","writeOnly":"w","narrow":4294967301,"port":8080,
                       "numbers":["1",2,1.5,true,3]})"),
               record);
    EXPECT_EQ("r", record.readOnly);
    EXPECT_EQ((std::vector<int>{2, 3}), record.numbers);  // elements of another type are skipped
    EXPECT_EQ("kept", record.writeOnly);
    EXPECT_EQ(5, record.narrow);  // the low 32 bits, widened
    mObject out;
    WriteRecord(record, out);
    EXPECT_EQ(0u, out.count("readOnly"));
    EXPECT_EQ(mValue("kept"), out["writeOnly"]);
    EXPECT_EQ(mValue(5L), out["narrow"]);
  }

  TEST(Engine, PresenceFlagFollowsTheMemberAndGatesWriting) {
    SExampleInfoLib record;
    record.port = 80;
    record.hasInner = true;
    record.inner.text = "before";
    ReadRecord(Parse(R"({"inner":"not an object"})"), record);
    EXPECT_FALSE(record.hasInner);
    EXPECT_EQ("before", record.inner.text);
    mObject out;
    WriteRecord(record, out);
    EXPECT_EQ(0u, out.count("inner"));

    ReadRecord(Parse(R"({"inner":{}})"), record);
    EXPECT_TRUE(record.hasInner);
    EXPECT_EQ("", record.inner.text);
    mObject empty;
    WriteRecord(record, empty);
    EXPECT_EQ(0u, empty.count("inner")) << "a nested record that wrote nothing is left out";
  }

  // Absent and mistyped members alike empty the scalars and clear presence flags; lists,
  // nested records and rows that are not read stay. A second read appends to lists and maps.
  TEST(Engine, ReadEmptiesScalarsKeepsTheRestAndAppendsToListsAndMaps) {
    const mObject text = Parse(
        R"({"port":80,"name":"n","positive":3,"readOnly":"r","numbers":[1],"inner":{"text":"t"}})");
    SExampleInfoLib record;
    ReadRecord(text, record);
    ReadRecord(text, record);
    EXPECT_EQ((std::vector<int>{1, 1}), record.numbers);
    EXPECT_TRUE(record.hasInner);
    for (const char* other :
         {"{}",
          R"({"port":"80","name":7,"positive":"3","readOnly":[],"numbers":{},"inner":[1]})"}) {
      SExampleInfoLib again = record;
      ReadRecord(Parse(other), again);
      EXPECT_EQ(0, again.port) << other;
      EXPECT_EQ("", again.name) << other;
      EXPECT_EQ(0, again.positive) << other;
      EXPECT_EQ("", again.readOnly) << other;
      EXPECT_FALSE(again.hasInner) << other;
      EXPECT_EQ("t", again.inner.text) << other;
      EXPECT_EQ(record.numbers, again.numbers) << other;
    }
    SObjectMetaInfoLib meta;
    const mObject labelled = Parse(R"({"labels":{"a":"1"}})");
    WQOpenShiftParser().Convert(labelled, meta);
    WQOpenShiftParser().Convert(labelled, meta);
    EXPECT_EQ(2u, meta.labels.keyValues.size());
  }

  // Truncated, mistyped and deeply nested texts are refused and leave the record; deeply
  // nested unknown members of an object are passed over.
  TEST(Engine, ParseRefusesWhatIsNotAnObjectAndLeavesTheRecord) {
    const std::string text = R"({"text":"a value of some length"})";
    std::vector<std::string> bad = {"",         "null", "[]",       "[{}]", "42",
                                    "\"text\"", "{",    "{\"a\":}", "}{"};
    for (size_t cut = 1; cut < text.size(); ++cut) bad.push_back(text.substr(0, cut));
    bad.push_back(std::string(5000, '[') + std::string(5000, ']'));
    bad.push_back("{\"a\":" + std::string(5000, '{') + std::string(5000, '}') + "}");
    SExampleInnerInfoLib record{"kept"};
    for (const std::string& input : bad) {
      EXPECT_FALSE(codec::ParseResource(input, record)) << input.substr(0, 80);
      EXPECT_EQ("kept", record.text);
    }
    std::string deep;
    for (int i = 0; i < 450; ++i) deep += "[{\"spec\":";
    deep += "{}";
    for (int i = 0; i < 450; ++i) deep += "}]";
    ASSERT_TRUE(codec::ParseResource("{\"zzUnknown\":" + deep + ",\"text\":\"t\"}", record));
    EXPECT_EQ("t", record.text);
  }

}  // namespace
}  // namespace enginetest
}  // namespace OpenShiftSDKWrapper
