#include <gtest/gtest.h>

#include "host/wqJson.h"

namespace OpenShiftSDKWrapper {
namespace {

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
