#include "simulator/cluster/clusterJson.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

namespace wqsim {

namespace {

void WriteString(json::string_view text, std::string& out) {
  static const char hex[] = "0123456789abcdef";
  out.push_back('"');
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '<':
      case '>':
      case '&':
        out += "\\u00";
        out.push_back(hex[c >> 4]);
        out.push_back(hex[c & 0xf]);
        break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out.push_back(hex[c >> 4]);
          out.push_back(hex[c & 0xf]);
        } else if (c == 0xe2 && i + 2 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(text[i + 2]) & 0xfe) == 0xa8) {
          // U+2028 and U+2029 break JavaScript string literals; Go escapes them too.
          out += (static_cast<unsigned char>(text[i + 2]) == 0xa8) ? "\\u2028" : "\\u2029";
          i += 2;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  out.push_back('"');
}

void Indent(int depth, std::string& out) {
  out.push_back('\n');
  out.append(static_cast<size_t>(depth) * 2, ' ');
}

void WriteValue(const json::value& value, bool pretty, int depth, std::string& out) {
  switch (value.kind()) {
    case json::kind::object: {
      const json::object& object = value.get_object();
      out.push_back('{');
      bool first = true;
      for (const auto& member : object) {
        if (!first) out.push_back(',');
        first = false;
        if (pretty) Indent(depth + 1, out);
        WriteString(member.key(), out);
        out += pretty ? ": " : ":";
        WriteValue(member.value(), pretty, depth + 1, out);
      }
      if (pretty && !object.empty()) Indent(depth, out);
      out.push_back('}');
      break;
    }
    case json::kind::array: {
      const json::array& array = value.get_array();
      out.push_back('[');
      bool first = true;
      for (const json::value& element : array) {
        if (!first) out.push_back(',');
        first = false;
        if (pretty) Indent(depth + 1, out);
        WriteValue(element, pretty, depth + 1, out);
      }
      if (pretty && !array.empty()) Indent(depth, out);
      out.push_back(']');
      break;
    }
    case json::kind::string:
      WriteString(value.get_string(), out);
      break;
    default:
      // Numbers, booleans and null are written alike by both encoders.
      out += json::serialize(value);
      break;
  }
}

std::mt19937_64& Generator() {
  thread_local std::mt19937_64 generator{std::random_device{}()};
  return generator;
}

std::string RandomText(const std::string& alphabet, size_t length) {
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::string text;
  for (size_t i = 0; i < length; ++i) text.push_back(alphabet[pick(Generator())]);
  return text;
}

}  // namespace

std::string WriteJson(const json::value& value, bool pretty) {
  std::string out;
  WriteValue(value, pretty, 0, out);
  if (!pretty) out.push_back('\n');
  return out;
}

bool ParseObject(const std::string& text, json::object& out, std::string& error) {
  json::error_code code;
  json::value value = json::parse(text, code);
  if (code) {
    error = code.message();
    return false;
  }
  if (!value.is_object()) {
    error = "the top-level value is not an object";
    return false;
  }
  out = std::move(value.get_object());
  return true;
}

std::string StringAt(const json::object& object, const char* key) {
  const json::value* value = object.if_contains(key);
  if (value == nullptr || !value->is_string()) return std::string();
  return std::string(value->get_string().c_str());
}

const json::object* ObjectAt(const json::object& object, const char* key) {
  const json::value* value = object.if_contains(key);
  return value != nullptr ? value->if_object() : nullptr;
}

json::object* ObjectAt(json::object& object, const char* key) {
  json::value* value = object.if_contains(key);
  return value != nullptr ? value->if_object() : nullptr;
}

const json::array* ArrayAt(const json::object& object, const char* key) {
  const json::value* value = object.if_contains(key);
  return value != nullptr ? value->if_array() : nullptr;
}

std::int64_t IntAt(const json::object& object, const char* key, std::int64_t fallback) {
  const json::value* value = object.if_contains(key);
  if (value == nullptr) return fallback;
  if (value->is_int64()) return value->get_int64();
  if (value->is_uint64()) return static_cast<std::int64_t>(value->get_uint64());
  if (value->is_double()) return static_cast<std::int64_t>(value->get_double());
  return fallback;
}

json::object& EnsureObject(json::object& object, const char* key) {
  json::value& value = object[key];
  if (!value.is_object()) value = json::object();
  return value.get_object();
}

void RemoveMember(json::object& object, json::string_view key) {
  if (!object.contains(key)) return;
  json::object kept;
  kept.reserve(object.size());
  for (auto& member : object) {
    if (member.key() != key) kept.emplace(member.key(), std::move(member.value()));
  }
  object = std::move(kept);
}

void OrderMembers(json::object& object, std::initializer_list<const char*> order) {
  json::object ordered;
  ordered.reserve(object.size());
  for (const char* key : order) {
    auto found = object.find(key);
    if (found != object.end()) ordered.emplace(key, std::move(found->value()));
  }
  for (auto& member : object) {
    if (!ordered.contains(member.key())) ordered.emplace(member.key(), std::move(member.value()));
  }
  object = std::move(ordered);
}

void SortMembers(json::object& object) {
  std::vector<std::string> keys;
  for (const auto& member : object) keys.emplace_back(member.key());
  std::sort(keys.begin(), keys.end());
  json::object sorted;
  sorted.reserve(object.size());
  for (const std::string& key : keys) sorted.emplace(key, std::move(object[key]));
  object = std::move(sorted);
}

std::string NowTimestamp() {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

std::string NewUid() {
  std::string hex = RandomHex(32);
  hex[12] = '4';                                                            // version 4
  hex[16] = "89ab"[std::uniform_int_distribution<int>(0, 3)(Generator())];  // RFC 4122 variant
  return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
         hex.substr(16, 4) + "-" + hex.substr(20);
}

std::string RandomNameSuffix(size_t length) {
  // No vowels, so that generated names never spell words.
  return RandomText("bcdfghjklmnpqrstvwxz2456789", length);
}

std::string RandomHex(size_t length) { return RandomText("0123456789abcdef", length); }

}  // namespace wqsim
