#pragma once
// Small helpers for the pod, storage and deployment config tests: JSON text to
// values, and one record written through the codec's public writers.
#include <gtest/gtest.h>

#include <string>

#include "json/json_spirit.h"
#include "parser/openshiftParser.h"

namespace OpenShiftSDKWrapper {
namespace workload_test {

// The object held by `text`; a test with malformed JSON text fails here.
inline json_spirit::mObject Object(const std::string& text) {
  json_spirit::mValue value;
  EXPECT_TRUE(json_spirit::read_string(text, value)) << text;
  if (value.type() != json_spirit::obj_type) {
    ADD_FAILURE() << "not an object: " << text;
    return {};
  }
  return value.get_obj();
}

// The record's members as its writer sets them; `wrote` gets the writer's result.
template <class R>
json_spirit::mObject Written(R& record, bool* wrote = nullptr) {
  json_spirit::mObject out;
  const bool result = WQOpenShiftParser().Convert(record, out);
  if (wrote != nullptr) *wrote = result;
  return out;
}

template <class R>
R Read(const std::string& text) {
  R record{};
  WQOpenShiftParser().Convert(Object(text), record);
  return record;
}

inline std::string Text(const json_spirit::mObject& object) {
  return json_spirit::write_string(json_spirit::mValue(object));
}

// Compares as values, so member order and layout do not matter.
#define EXPECT_JSON_EQ(expectedText, actualObject)                                      \
  EXPECT_EQ(::OpenShiftSDKWrapper::workload_test::Object(expectedText), (actualObject)) \
      << ::OpenShiftSDKWrapper::workload_test::Text(actualObject)

inline bool Has(const json_spirit::mObject& object, const std::string& key) {
  return object.count(key) != 0;
}

}  // namespace workload_test
}  // namespace OpenShiftSDKWrapper
