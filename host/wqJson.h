#pragma once
// Access to members of JSON objects. The getters never throw: a missing member, or a
// member of another type, gives the empty value.
#include <cstdint>
#include <string>

#include "json/json_spirit.h"

namespace OpenShiftSDKWrapper {

class WqJson {
 public:
  static std::string GetStringValue(const json_spirit::mObject& object, const std::string& key);
  // An integer member as 32 bits (a wider value is truncated as a cast would); 0 otherwise.
  static int GetIntValue(const json_spirit::mObject& object, const std::string& key);
  // An integer member as 64 bits; 0 otherwise.
  static uint64_t GetUInt64Value(const json_spirit::mObject& object, const std::string& key);
  static bool GetBoolValue(const json_spirit::mObject& object, const std::string& key);
  static bool FindObjectValue(const json_spirit::mObject& object, const std::string& key,
                              json_spirit::mObject& result);
  static bool FindArrayValue(const json_spirit::mObject& object, const std::string& key,
                             json_spirit::mArray& result);
  // Copy-free lookups: the member when it exists with that type, else null.
  static const json_spirit::mObject* FindObject(const json_spirit::mObject& object,
                                                const std::string& key);
  static const json_spirit::mArray* FindArray(const json_spirit::mObject& object,
                                              const std::string& key);
  static const std::string* FindString(const json_spirit::mObject& object, const std::string& key);

  static std::string Serialize(const json_spirit::mObject& object);
  // True when `text` parses as a JSON object, which is returned in `object`.
  static bool Unserialize(const std::string& text, json_spirit::mObject& object);
};

}  // namespace OpenShiftSDKWrapper
