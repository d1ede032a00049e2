#include "host/wqJson.h"

namespace OpenShiftSDKWrapper {
namespace {

// The member under `key` when it has `type`, else null; every getter goes through here,
// so none of them can reach a json_spirit getter that would throw.
const json_spirit::mValue* Member(const json_spirit::mObject& object, const std::string& key,
                                  json_spirit::Value_type type) {
  const auto it = object.find(key);
  if (it == object.end() || it->second.type() != type) return nullptr;
  return &it->second;
}

template <typename T>
bool CopyOut(const T* found, T& result) {
  if (found == nullptr) return false;
  result = *found;
  return true;
}

}  // namespace

std::string WqJson::GetStringValue(const json_spirit::mObject& object, const std::string& key) {
  const std::string* value = FindString(object, key);
  return value != nullptr ? *value : std::string();
}

int WqJson::GetIntValue(const json_spirit::mObject& object, const std::string& key) {
  const json_spirit::mValue* value = Member(object, key, json_spirit::int_type);
  return value != nullptr ? static_cast<int>(value->get_int64()) : 0;
}

uint64_t WqJson::GetUInt64Value(const json_spirit::mObject& object, const std::string& key) {
  const json_spirit::mValue* value = Member(object, key, json_spirit::int_type);
  return value != nullptr ? value->get_uint64() : 0;
}

bool WqJson::GetBoolValue(const json_spirit::mObject& object, const std::string& key) {
  const json_spirit::mValue* value = Member(object, key, json_spirit::bool_type);
  return value != nullptr && value->get_bool();
}

bool WqJson::FindObjectValue(const json_spirit::mObject& object, const std::string& key,
                             json_spirit::mObject& result) {
  return CopyOut(FindObject(object, key), result);
}

bool WqJson::FindArrayValue(const json_spirit::mObject& object, const std::string& key,
                            json_spirit::mArray& result) {
  return CopyOut(FindArray(object, key), result);
}

const json_spirit::mObject* WqJson::FindObject(const json_spirit::mObject& object,
                                               const std::string& key) {
  const json_spirit::mValue* value = Member(object, key, json_spirit::obj_type);
  return value != nullptr ? &value->get_obj() : nullptr;
}

const json_spirit::mArray* WqJson::FindArray(const json_spirit::mObject& object,
                                             const std::string& key) {
  const json_spirit::mValue* value = Member(object, key, json_spirit::array_type);
  return value != nullptr ? &value->get_array() : nullptr;
}

const std::string* WqJson::FindString(const json_spirit::mObject& object, const std::string& key) {
  const json_spirit::mValue* value = Member(object, key, json_spirit::str_type);
  return value != nullptr ? &value->get_str() : nullptr;
}

std::string WqJson::Serialize(const json_spirit::mObject& object) {
  return json_spirit::write_string(json_spirit::mValue(object));
}

bool WqJson::Unserialize(const std::string& text, json_spirit::mObject& object) {
  json_spirit::mValue value;
  if (!json_spirit::read_string(text, value) || value.type() != json_spirit::obj_type) {
    return false;
  }
  object = std::move(value.get_obj());
  return true;
}

}  // namespace OpenShiftSDKWrapper
