// The codec operations that are not generated from the record tables: the
// scalar writers, string maps and their text forms, and reading a document.
#include "parser/openshiftParser.h"

#include <exception>

#include "host/wqJson.h"
#include "parser/codecEngine.h"

namespace OpenShiftSDKWrapper {

namespace codec {

bool ReadDocument(const std::string& text, json_spirit::mValue& doc) {
  // read_string does not throw, but an allocation failure on a huge text may;
  // no input may escape the codec as an exception.
  try {
    if (json_spirit::read_string(text, doc) && doc.type() == json_spirit::obj_type) return true;
  } catch (const std::exception&) {
  }
  doc = json_spirit::mValue();
  return false;
}

}  // namespace codec

bool WQOpenShiftParser::Convert(const std::string& key, const std::string& value,
                                json_spirit::mObject& out) const {
  return codec::Put(key, value, out);
}

bool WQOpenShiftParser::Convert(const std::string& key, int value,
                                json_spirit::mObject& out) const {
  return codec::Put(key, value, out);
}

bool WQOpenShiftParser::Convert(const std::string& key, bool value,
                                json_spirit::mObject& out) const {
  return codec::Put(key, value, out);
}

bool WQOpenShiftParser::Convert(const std::string& key, long value,
                                json_spirit::mObject& out) const {
  return codec::Put(key, value, out);
}

bool WQOpenShiftParser::Convert(const std::string& key, const char* value,
                                json_spirit::mObject& out) const {
  return codec::Put(key, std::string(value != nullptr ? value : ""), out);
}

bool WQOpenShiftParser::Convert(const json_spirit::mObject& in, SObjectInfoLib& out) const {
  codec::ReadMap(in, out);
  return true;
}

bool WQOpenShiftParser::Convert(const SObjectInfoLib& in, json_spirit::mObject& out) const {
  return codec::WriteMap(in, out);
}

bool WQOpenShiftParser::ParseObjectInfo(const std::string& text, SObjectInfoLib& out) const {
  json_spirit::mValue doc;
  if (!codec::ReadDocument(text, doc)) return false;
  codec::ReadMap(doc.get_obj(), out);
  return true;
}

bool WQOpenShiftParser::SerializeObjectInfo(const SObjectInfoLib& in, std::string& text) const {
  json_spirit::mObject object;
  codec::WriteMap(in, object);
  text = WqJson::Serialize(object);
  return true;
}

}  // namespace OpenShiftSDKWrapper
