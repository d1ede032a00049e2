#include <gtest/gtest.h>

#include "host/wqJson.h"

namespace OpenShiftSDKWrapper {
namespace {

const char kDocument[] = R"({
  "s": "text", "neg": -5, "big": 4294967298, "huge": 18446744073709551615,
  "yes": true, "no": false, "real": 1.5, "obj": {"k": "v"}, "arr": [1, "two"], "nil": null
})";

// What each getter gives for one member: a getter sees only its own type.
struct MemberCase {
  const char* key;
  const char* str;
  int i;
  uint64_t u;
  bool b;
  bool is_object;
  bool is_array;
};

class WqJsonGetterTest : public ::testing::TestWithParam<MemberCase> {
 protected:
  void SetUp() override { ASSERT_TRUE(WqJson::Unserialize(kDocument, doc_)); }
  json_spirit::mObject doc_;
};

TEST_P(WqJsonGetterTest, ReturnsTheValueOrTheEmptyValue) {
  const MemberCase& c = GetParam();
  EXPECT_EQ(WqJson::GetStringValue(doc_, c.key), c.str);
  EXPECT_EQ(WqJson::GetIntValue(doc_, c.key), c.i);
  EXPECT_EQ(WqJson::GetUInt64Value(doc_, c.key), c.u);
  EXPECT_EQ(WqJson::GetBoolValue(doc_, c.key), c.b);
  json_spirit::mObject object{{"stale", 1}};
  json_spirit::mArray array{json_spirit::mValue(1)};
  EXPECT_EQ(WqJson::FindObjectValue(doc_, c.key, object), c.is_object);
  EXPECT_EQ(WqJson::FindArrayValue(doc_, c.key, array), c.is_array);
  EXPECT_EQ(WqJson::FindObject(doc_, c.key) != nullptr, c.is_object);
  EXPECT_EQ(WqJson::FindArray(doc_, c.key) != nullptr, c.is_array);
  EXPECT_EQ(WqJson::FindString(doc_, c.key) != nullptr, *c.str != '\0');
  if (c.is_object) {
    EXPECT_EQ(object, doc_.at(c.key).get_obj());
  }
  if (c.is_array) {
    EXPECT_EQ(array, doc_.at(c.key).get_array());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Members, WqJsonGetterTest,
    ::testing::Values(
        MemberCase{"s", "text", 0, 0, false, false, false},
        // A negative number read as 64 bits keeps its bit pattern, so int64 fields get -5 back.
        MemberCase{"neg", "", -5, static_cast<uint64_t>(int64_t{-5}), false, false, false},
        MemberCase{"big", "", static_cast<int>(4294967298LL), 4294967298ULL, false, false, false},
        MemberCase{"huge", "", -1, UINT64_MAX, false, false, false},
        MemberCase{"yes", "", 0, 0, true, false, false},
        MemberCase{"no", "", 0, 0, false, false, false},
        MemberCase{"real", "", 0, 0, false, false, false},
        MemberCase{"obj", "", 0, 0, false, true, false},
        MemberCase{"arr", "", 0, 0, false, false, true},
        MemberCase{"nil", "", 0, 0, false, false, false},
        MemberCase{"absent", "", 0, 0, false, false, false}));

TEST(WqJsonTest, UnserializeAcceptsOnlyObjects) {
  json_spirit::mObject object{{"kept", true}};
  for (const char* text : {"[1,2]", "\"text\"", "12", "null", "{\"a\":", "", "{} {}"}) {
    EXPECT_FALSE(WqJson::Unserialize(text, object)) << text;
  }
  EXPECT_EQ(object.count("kept"), 1u);
  ASSERT_TRUE(WqJson::Unserialize(R"({"b": [true, null], "a": {"x": -1}})", object));
  EXPECT_EQ(object.count("kept"), 0u);
  EXPECT_EQ(WqJson::Serialize(object), R"({"a":{"x":-1},"b":[true,null]})");
}

}  // namespace
}  // namespace OpenShiftSDKWrapper
