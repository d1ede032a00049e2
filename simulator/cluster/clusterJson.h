#pragma once
// JSON documents of the simulated cluster: Boost.JSON objects, which keep their members in
// insertion order, so an object goes back out in the order it was built or received.
#include <boost/json.hpp>
#include <cstdint>
#include <string>

namespace wqsim {

namespace json = boost::json;

// Writes a value the way the API server's Go encoder does: members in stored order, '<', '>'
// and '&' escaped as \u003c, \u003e and \u0026. Compact form ends with one line feed; the
// pretty form is indented by two spaces and has no trailing line feed.
std::string WriteJson(const json::value& value, bool pretty = false);

// True when `text` parses and its top-level value is an object; otherwise `error` holds why.
bool ParseObject(const std::string& text, json::object& out, std::string& error);

// Member access that tolerates absent members and members of another type.
std::string StringAt(const json::object& object, const char* key);
const json::object* ObjectAt(const json::object& object, const char* key);
json::object* ObjectAt(json::object& object, const char* key);
const json::array* ArrayAt(const json::object& object, const char* key);
// The integer under `key`, or `fallback` when there is none.
std::int64_t IntAt(const json::object& object, const char* key, std::int64_t fallback = 0);
// The object under `key`, created (or replacing a value of another type) when needed.
json::object& EnsureObject(json::object& object, const char* key);

// Removes a member and keeps the others in their order (Boost.JSON's own erase moves the
// last member into the gap).
void RemoveMember(json::object& object, json::string_view key);
// Rebuilds `object` with the members named in `order` first, in that order, then the rest in
// their previous order.
void OrderMembers(json::object& object, std::initializer_list<const char*> order);
// Sorts the members by name, as Go writes its map-typed fields.
void SortMembers(json::object& object);

// RFC 3339 UTC with second precision, e.g. "2026-12-06T07:40:41Z".
std::string NowTimestamp();
// A random version 4 UUID in its lower-case text form.
std::string NewUid();
// Random text of the generator alphabet the API server uses for generated names.
std::string RandomNameSuffix(size_t length);
// Random lower-case hexadecimal digits.
std::string RandomHex(size_t length);

}  // namespace wqsim
