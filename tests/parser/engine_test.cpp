// The engine over every record of the .def lists, and its tags on a small table.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <tuple>

#include "parser/openshiftParser.h"
#include "parser/recordTables.h"
#include "tests/parser/tableWalk.h"

namespace OpenShiftSDKWrapper {
namespace {

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;
using testing_tables::Rows;

#define WQ_READS_ReadWrite(R) , R
#define WQ_READS_ReadOnly(R) , R
#define WQ_READS_WriteOnly(R)
#define WQ_ROUND_TRIP_ReadWrite(R) , R
#define WQ_ROUND_TRIP_ReadOnly(R)
#define WQ_ROUND_TRIP_WriteOnly(R)

#define WQ_RECORD(R, Direction) WQ_READS_##Direction(R)
using ReadRecords = testing_tables::TypesOf<std::tuple<void
#include "parser/recordsCore.def"
#include "parser/recordsWorkload.def"
                                                       >>::type;
#undef WQ_RECORD
#define WQ_RECORD(R, Direction) WQ_ROUND_TRIP_##Direction(R)
using RoundTripRecords = testing_tables::TypesOf<std::tuple<void
#include "parser/recordsCore.def"
#include "parser/recordsWorkload.def"
                                                            >>::type;
#undef WQ_RECORD

template <class R>
R Filled() {
  R record{};
  testing_tables::Fill(record, 1);
  return record;
}

// ---- Readers ----------------------------------------------------------------------

template <class R>
class RecordReading : public ::testing::Test {};
TYPED_TEST_SUITE(RecordReading, ReadRecords);

// Absent and mistyped members alike: scalars emptied, the rest kept.
TYPED_TEST(RecordReading, AbsentOrMistypedMembersEmptyScalarsOnly) {
  for (const mObject& input : {mObject{}, testing_tables::WrongTypes<TypeParam>()}) {
    TypeParam read = Filled<TypeParam>();
    EXPECT_TRUE(WQOpenShiftParser().Convert(input, read));
    TypeParam expected = Filled<TypeParam>();
    testing_tables::ForgetScalars(expected);
    std::string where;
    EXPECT_TRUE(testing_tables::SameFields(expected, read, Rows::Read, where)) << where;
  }
}

TYPED_TEST(RecordReading, ListsAndMapsAreAppendedToOnASecondRead) {
  const TypeParam filled = Filled<TypeParam>();
  const mObject input = testing_tables::Dump(filled, Rows::Read);
  TypeParam twice{};
  WQOpenShiftParser().Convert(input, twice);
  WQOpenShiftParser().Convert(input, twice);
  testing_tables::ForEachRow<TypeParam>([&](const auto& row) {
    using T = typename std::decay_t<decltype(row)>::Field;
    if constexpr (testing_tables::kIsVector<T>) {
      if (testing_tables::Visits<std::decay_t<decltype(row)>>(Rows::Read)) {
        EXPECT_EQ((filled.*row.field).size() * 2, (twice.*row.field).size()) << row.key;
      }
    } else if constexpr (testing_tables::kIsMap<T>) {
      EXPECT_EQ((filled.*row.field).keyValues.size() * 2, (twice.*row.field).keyValues.size()) << row.key;
    }
  });
}

// Truncated, mistyped and deeply nested documents through the generic parse.
TYPED_TEST(RecordReading, ParseRejectsWhatIsNotAnObjectAndLeavesTheRecord) {
  const TypeParam filled = Filled<TypeParam>();
  const std::string text = json_spirit::write_string(mValue(testing_tables::Dump(filled, Rows::Read)));
  std::vector<std::string> bad = {"", "null", "[]", "[{}]", "42", "\"text\"", "{", "{\"a\":}", "}{"};
  for (size_t cut = 1; cut < text.size(); cut += 1 + text.size() / 40) bad.push_back(text.substr(0, cut));
  bad.push_back(std::string(5000, '[') + std::string(5000, ']'));
  bad.push_back("{\"a\":" + std::string(5000, '{') + std::string(5000, '}') + "}");
  for (const std::string& input : bad) {
    TypeParam record = filled;
    EXPECT_FALSE(codec::ParseResource(input, record)) << input.substr(0, 80);
    std::string where;
    EXPECT_TRUE(testing_tables::SameFields(filled, record, Rows::Read, where)) << where;
  }
}

TYPED_TEST(RecordReading, ParseOfDeeplyNestedUnknownMembersReadsTheRest) {
  std::string text = json_spirit::write_string(mValue(testing_tables::Dump(Filled<TypeParam>(), Rows::Read)));
  std::string deep;
  for (int i = 0; i < 450; ++i) deep += "[{\"spec\":";
  deep += "{}";
  for (int i = 0; i < 450; ++i) deep += "}]";
  text.insert(1, "\"zzUnknown\":" + deep + ",");
  TypeParam record{};
  ASSERT_TRUE(codec::ParseResource(text, record));
  std::string where;
  EXPECT_TRUE(testing_tables::SameFields(Filled<TypeParam>(), record, Rows::Read, where)) << where;
}

// ---- Round trips -----------------------------------------------------------------

template <class R>
class RecordRoundTrip : public ::testing::Test {};
TYPED_TEST_SUITE(RecordRoundTrip, RoundTripRecords);

TYPED_TEST(RecordRoundTrip, ReadBackEqualsAndSecondWriteIsIdentical) {
  const WQOpenShiftParser parser;
  const TypeParam filled = Filled<TypeParam>();
  mObject first;
  parser.Convert(filled, first);
  TypeParam read{};
  parser.Convert(first, read);
  std::string where;
  EXPECT_TRUE(testing_tables::SameFields(filled, read, Rows::Both, where)) << where;
  mObject second;
  parser.Convert(read, second);
  TypeParam again{};
  parser.Convert(second, again);
  mObject third;
  parser.Convert(again, third);
  EXPECT_EQ(mValue(second), mValue(third));
}

// A fresh record writes only its always-written flags and numbers, so reading
// that back and writing again gives the same object.
TYPED_TEST(RecordRoundTrip, FreshRecordRoundTripsToItself) {
  const WQOpenShiftParser parser;
  mObject first;
  parser.Convert(TypeParam{}, first);
  TypeParam read{};
  parser.Convert(first, read);
  mObject second;
  parser.Convert(read, second);
  EXPECT_EQ(mValue(first), mValue(second));
}

}  // namespace

// ---- The tags, on a table of this test ----------------------------------------------
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
WQ_TABLE(SExampleInfoLib,
         F("port", &SExampleInfoLib::port, WriteIf<PortRange>, Required),
         F("name", &SExampleInfoLib::name),
         F("positive", &SExampleInfoLib::positive, WriteIf<Positive>),
         F("nonNegative", &SExampleInfoLib::nonNegative, WriteIf<NonNegative>),
         F("narrow", &SExampleInfoLib::narrow, ReadAs<Int32>),
         F("readOnly", &SExampleInfoLib::readOnly, ReadOnly),
         F("writeOnly", &SExampleInfoLib::writeOnly, WriteOnly),
         F("inner", &SExampleInfoLib::inner, Presence<&SExampleInfoLib::hasInner>),
         F("numbers", &SExampleInfoLib::numbers));
WQ_TABLE(SExampleGuardInfoLib,
         F("flag", &SExampleGuardInfoLib::flag),
         F("inner", &SExampleGuardInfoLib::inner, Required));
WQ_TABLE(SExampleEitherInfoLib,
         F("first", &SExampleEitherInfoLib::first, Required),
         F("second", &SExampleEitherInfoLib::second, Required),
         F("count", &SExampleEitherInfoLib::count));
}  // namespace codec

namespace enginetest {

WQ_CODEC_DEFINE_ReadWrite(SExampleInnerInfoLib)
WQ_CODEC_DEFINE_ReadWrite(SExampleInfoLib)
WQ_CODEC_DEFINE_ReadWrite(SExampleGuardInfoLib)
WQ_CODEC_DEFINE_ReadWrite(SExampleEitherInfoLib)

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

INSTANTIATE_TEST_SUITE_P(Engine, PortGuard,
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

TEST(Engine, ScalarWritersOfTheCodec) {
  const WQOpenShiftParser parser;
  mObject out;
  EXPECT_FALSE(parser.Convert("s", std::string(), out));
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(parser.Convert("s", std::string("x"), out));
  EXPECT_TRUE(parser.Convert("s", std::string("y"), out));
  EXPECT_TRUE(parser.Convert("i", 0, out));
  EXPECT_TRUE(parser.Convert("b", false, out));
  EXPECT_TRUE(parser.Convert("l", 5000000000L, out));
  EXPECT_TRUE(parser.Convert("c", "literal", out));
  EXPECT_FALSE(parser.Convert("e", "", out));
  EXPECT_EQ(Parse(R"({"s":"y","i":0,"b":false,"l":5000000000,"c":"literal"})"), out);
}

TEST(Engine, ListParseAppendsItemsAndIgnoresTheRest) {
  std::vector<SExampleInnerInfoLib> list(1);
  EXPECT_TRUE(codec::ParseList(R"({"kind":"List"})", list));
  EXPECT_EQ(1u, list.size());
  EXPECT_TRUE(codec::ParseList(R"({"items":[{"text":"a"},7,{"text":"b"}],"metadata":{}})", list));
  ASSERT_EQ(3u, list.size());
  EXPECT_EQ("a", list[1].text);
  EXPECT_EQ("b", list[2].text);
  EXPECT_TRUE(codec::ParseList(R"({"items":{"text":"c"}})", list));
  EXPECT_EQ(3u, list.size());
  EXPECT_FALSE(codec::ParseList(R"([{"items":[]}])", list));
}

TEST(Engine, SerializeReplacesTheText) {
  std::string text = "old";
  SExampleInnerInfoLib empty;
  EXPECT_TRUE(codec::SerializeResource(empty, text));
  EXPECT_EQ(mObject{}, Parse(text));
  SExampleInnerInfoLib inner{"v"};
  EXPECT_TRUE(codec::SerializeResource(inner, text));
  EXPECT_EQ(Parse(R"({"text":"v"})"), Parse(text));
}

}  // namespace
}  // namespace enginetest
}  // namespace OpenShiftSDKWrapper
