// read_string, write_string and write_formatted: accepted and rejected texts,
// exact output, and round trips.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "json/json_spirit.h"
#include "jsonTestSupport.h"

namespace json_spirit {
namespace {

using namespace test_support;
// Argument-dependent lookup ignores the directive above; the printer needs a declaration.
using test_support::operator<<;

// Reads `text`, failing the test when it is rejected.
mValue Read(const std::string& text) {
  mValue value;
  EXPECT_TRUE(read_string(text, value)) << text;
  return value;
}

// ---- Reading valid documents ----

struct ReadRow {
  const char* name;
  std::string text;
  mValue expected;
};

class ReadTest : public testing::TestWithParam<ReadRow> {};

TEST_P(ReadTest, BuildsExpectedValue) {
  const ReadRow& row = GetParam();
  const mValue value = Read(row.text);
  EXPECT_EQ(value, row.expected) << write_string(value);
  EXPECT_EQ(value.type(), row.expected.type());
  EXPECT_EQ(value.is_uint64(), row.expected.is_uint64());
}

INSTANTIATE_TEST_SUITE_P(
    Documents, ReadTest,
    testing::Values(
        ReadRow{"Null", "null", mValue()}, ReadRow{"True", "true", mValue(true)},
        ReadRow{"False", " \t\r\nfalse \n", mValue(false)}, ReadRow{"Zero", "0", mValue(0)},
        ReadRow{"NegativeZeroIsInteger", "-0", mValue(0)},
        ReadRow{"Int64Max", "9223372036854775807", mValue(kInt64Max)},
        ReadRow{"Int64Min", "-9223372036854775808", mValue(kInt64Min)},
        ReadRow{"AboveInt64MaxIsUnsigned", "9223372036854775808",
                mValue(static_cast<std::uint64_t>(kInt64Max) + 1)},
        ReadRow{"Uint64Max", "18446744073709551615", mValue(kUint64Max)},
        ReadRow{"AboveUint64MaxIsReal", "18446744073709551616", mValue(18446744073709551616.0)},
        ReadRow{"BelowInt64MinIsReal", "-9223372036854775809", mValue(-9223372036854775808.0)},
        ReadRow{"RealWithPoint", "1.0", mValue(1.0)},
        ReadRow{"RealWithExponent", "1E2", mValue(100.0)},
        ReadRow{"NegativeExponent", "-2.5e-3", mValue(-0.0025)},
        ReadRow{"Overflow", "1e99999", mValue(std::numeric_limits<double>::infinity())},
        ReadRow{"EmptyString", "\"\"", mValue("")},
        ReadRow{"Escapes", R"("\"\\\/\b\f\n\r\t")", mValue("\"\\/\b\f\n\r\t")},
        ReadRow{"UnicodeEscapes", R"("\u0041\u00e9\u20ac")", mValue("A\xC3\xA9\xE2\x82\xAC")},
        ReadRow{"SurrogatePair", R"("\ud83d\ude00")", mValue("\xF0\x9F\x98\x80")},
        ReadRow{"EscapedNul", R"("a\u0000b")", mValue(std::string("a\0b", 3))},
        ReadRow{"RawUtf8", "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"",
                mValue("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80")},
        // Strings are byte strings: bytes that are not UTF-8 are kept.
        ReadRow{"InvalidUtf8Kept", "\"\xFF\xC3\"", mValue("\xFF\xC3")},
        ReadRow{"EmptyObject", "{}", mValue(mObject{})},
        ReadRow{"EmptyArray", "[ ]", mValue(mArray{})},
        ReadRow{"DuplicateKeyLastWins", R"({"a":1,"b":2,"a":3})",
                mValue(mObject{{"a", 3}, {"b", 2}})},
        ReadRow{"EmptyKey", R"({"":null})", mValue(mObject{{"", mValue()}})},
        ReadRow{"Nested", R"({"a":[1,{"b":[[],{}]},"c"],"d":{"e":false}})",
                mValue(mObject{{"a", mArray{1, mObject{{"b", mArray{mArray{}, mObject{}}}}, "c"}},
                               {"d", mObject{{"e", false}}}})}),
    [](const testing::TestParamInfo<ReadRow>& info) { return std::string(info.param.name); });

// ---- Rejected input ----

struct InvalidRow {
  const char* name;
  std::string text;
};

class InvalidTest : public testing::TestWithParam<InvalidRow> {};

TEST_P(InvalidTest, FailsAndLeavesNull) {
  mValue value(mObject{{"stale", 1}});
  EXPECT_FALSE(read_string(GetParam().text, value));
  EXPECT_TRUE(value.is_null());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, InvalidTest,
    testing::Values(
        InvalidRow{"Empty", ""}, InvalidRow{"Blank", " \n "},
        InvalidRow{"TruncatedObject", R"({"a":1)"}, InvalidRow{"TruncatedArray", "[1,2"},
        InvalidRow{"TruncatedString", R"("abc)"}, InvalidRow{"TruncatedLiteral", "tru"},
        InvalidRow{"TruncatedEscape", R"("\u12")"}, InvalidRow{"MissingValue", R"({"a":})"},
        InvalidRow{"MissingColon", R"({"a" 1})"}, InvalidRow{"UnquotedKey", "{a:1}"},
        InvalidRow{"SingleQuotes", "'a'"}, InvalidRow{"TrailingCommaArray", "[1,]"},
        InvalidRow{"TrailingCommaObject", R"({"a":1,})"}, InvalidRow{"TwoDocuments", "1 2"},
        InvalidRow{"TrailingGarbage", "{} x"}, InvalidRow{"ExtraBracket", "[]]"},
        InvalidRow{"TrailingNul", std::string("{}\0", 3)}, InvalidRow{"BadEscape", R"("\x")"},
        InvalidRow{"LoneLeadSurrogate", R"("\ud800")"},
        InvalidRow{"LoneTrailSurrogate", R"("\udc00")"},
        InvalidRow{"LeadWithoutTrail", R"("\ud800\u0041")"},
        InvalidRow{"RawControlChar", "\"a\tb\""}, InvalidRow{"RawNewline", "\"a\nb\""},
        InvalidRow{"NaN", "NaN"}, InvalidRow{"LowerNan", "nan"}, InvalidRow{"Infinity", "Infinity"},
        InvalidRow{"MinusInfinity", "-Infinity"}, InvalidRow{"LeadingZero", "01"},
        InvalidRow{"LeadingPlus", "+1"}, InvalidRow{"BarePoint", ".5"},
        InvalidRow{"PointWithoutDigits", "1."}, InvalidRow{"ExponentWithoutDigits", "1e"},
        InvalidRow{"LineComment", "// c\n1"}, InvalidRow{"BlockComment", "/* c */ 1"}),
    [](const testing::TestParamInfo<InvalidRow>& info) { return std::string(info.param.name); });

std::string NestedArrays(std::size_t depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

std::string NestedObjects(std::size_t depth) {
  std::string text;
  for (std::size_t i = 0; i < depth; ++i) text += R"({"k":)";
  return text + "0" + std::string(depth, '}');
}

TEST(DepthTest, AcceptsUpToTheLimit) {
  mValue value;
  EXPECT_TRUE(read_string(NestedArrays(max_read_depth), value));
  EXPECT_TRUE(read_string(NestedObjects(max_read_depth), value));
  // The whole depth survives and is written back.
  EXPECT_EQ(write_string(value), NestedObjects(max_read_depth));
  EXPECT_GE(max_read_depth, 1000u);
}

TEST(DepthTest, RejectsDeeperNesting) {
  mValue value;
  EXPECT_FALSE(read_string(NestedArrays(max_read_depth + 1), value));
  EXPECT_FALSE(read_string(NestedObjects(max_read_depth + 1), value));
  // Far deeper input must fail cleanly rather than exhaust the stack.
  EXPECT_FALSE(read_string(NestedArrays(1000000), value));
  EXPECT_TRUE(value.is_null());
}

// ---- Exact output ----

struct WriteRow {
  const char* name;
  mValue value;
  std::string compact;
};

class WriteTest : public testing::TestWithParam<WriteRow> {};

TEST_P(WriteTest, WritesCompactTextThatReadsBack) {
  const WriteRow& row = GetParam();
  EXPECT_EQ(write_string(row.value), row.compact);
  const mValue back = Read(row.compact);
  EXPECT_EQ(back, row.value);
  EXPECT_EQ(back.is_uint64(), row.value.is_uint64());
}

INSTANTIATE_TEST_SUITE_P(
    Values, WriteTest,
    testing::Values(
        WriteRow{"Null", mValue(), "null"}, WriteRow{"True", mValue(true), "true"},
        WriteRow{"False", mValue(false), "false"}, WriteRow{"Int", mValue(-42), "-42"},
        WriteRow{"Int64Min", mValue(kInt64Min), "-9223372036854775808"},
        WriteRow{"Int64Max", mValue(kInt64Max), "9223372036854775807"},
        WriteRow{"Uint64Max", mValue(kUint64Max), "18446744073709551615"},
        WriteRow{"IntegralReal", mValue(1.0), "1.0"},
        WriteRow{"NegativeZero", mValue(-0.0), "-0.0"}, WriteRow{"Fraction", mValue(0.1), "0.1"},
        WriteRow{"LargeReal", mValue(1e300), "1e+300"},
        WriteRow{"SmallReal", mValue(1.5e-7), "1.5e-07"},
        WriteRow{"RealBeyondInt64", mValue(1e19), "1e+19"},
        WriteRow{"Infinity", mValue(std::numeric_limits<double>::infinity()), "1e99999"},
        WriteRow{"MinusInfinity", mValue(-std::numeric_limits<double>::infinity()), "-1e99999"},
        WriteRow{"ShortEscapes", mValue("\"\\\b\f\n\r\t"), R"("\"\\\b\f\n\r\t")"},
        WriteRow{"ControlEscapes", mValue(std::string("\x01\x1f\0", 3)), R"("\u0001\u001f\u0000")"},
        WriteRow{"NotEscaped", mValue("/\x7f'<>&"), "\"/\x7f'<>&\""},
        WriteRow{"Utf8KeptAsIs", mValue("\xC3\xA9\xF0\x9F\x98\x80"),
                 "\"\xC3\xA9\xF0\x9F\x98\x80\""},
        WriteRow{"EmptyContainers", mValue(mArray{mObject{}, mArray{}}), "[{},[]]"},
        // Members come out in ascending byte order of their names.
        WriteRow{"MemberOrder",
                 mValue(mObject{{"b", 1}, {"\xC3\xA9", 2}, {"B", 3}, {"a", 4}, {"aa", 5}, {"", 6}}),
                 "{\"\":6,\"B\":3,\"a\":4,\"aa\":5,\"b\":1,\"\xC3\xA9\":2}"},
        WriteRow{"EscapedKey", mValue(mObject{{"a\"b", mArray{1, "x", true, mValue()}}}),
                 R"({"a\"b":[1,"x",true,null]})"}),
    [](const testing::TestParamInfo<WriteRow>& info) { return std::string(info.param.name); });

TEST(WriteSpecialTest, NanBecomesNull) { EXPECT_EQ(write_string(mValue(std::nan(""))), "null"); }

TEST(WriteFormattedTest, UsesFourSpaceIndent) {
  const mValue value(
      mObject{{"a", mArray{1, mObject{}}}, {"b", mObject{{"c", "d"}}}, {"e", mArray{}}});
  const std::string expected =
      "{\n"
      "    \"a\" : [\n"
      "        1,\n"
      "        {}\n"
      "    ],\n"
      "    \"b\" : {\n"
      "        \"c\" : \"d\"\n"
      "    },\n"
      "    \"e\" : []\n"
      "}";
  EXPECT_EQ(write_formatted(value), expected);
  EXPECT_EQ(write_string(value, pretty_print), expected);
  EXPECT_EQ(Read(expected), value);
  EXPECT_EQ(write_string(value, raw_utf8), write_string(value));
}

// ---- Round trips ----

TEST(RoundTripTest, RandomDoublesReadBackExactlyAsReals) {
  std::mt19937_64 random(20240611);
  for (int i = 0; i < 200000; ++i) {
    const std::uint64_t bits = random();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (!std::isfinite(d)) continue;
    const std::string text = write_string(mValue(d));
    const mValue back = Read(text);
    ASSERT_EQ(back.type(), real_type) << text;
    const double read_back = back.get_real();
    ASSERT_EQ(std::memcmp(&read_back, &d, sizeof d), 0) << text;
  }
}

TEST(RoundTripTest, IntegralDoublesStayReals) {
  for (double d : {0.0, 1.0, -1.0, 1e15, 9007199254740992.0, 1e21, 1e22, 1.8446744073709552e19}) {
    const mValue back = Read(write_string(mValue(d)));
    EXPECT_EQ(back.type(), real_type) << d;
    EXPECT_EQ(back.get_real(), d);
  }
}

}  // namespace
}  // namespace json_spirit
