// Shared by the JSON tests: integer limits, and GoogleTest printers so that
// failures and test names show JSON text and row names instead of raw bytes.
#ifndef WQ_TESTS_JSON_TEST_SUPPORT_H
#define WQ_TESTS_JSON_TEST_SUPPORT_H

#include <cstdint>
#include <limits>
#include <ostream>

#include "json/json_spirit.h"

namespace json_spirit {

inline void PrintTo(const mValue& value, std::ostream* os) { *os << write_string(value); }

namespace test_support {

constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::uint64_t kUint64Max = std::numeric_limits<std::uint64_t>::max();

// Every parameter row of these tests has a `name`. Bring this into the rows'
// namespace with a using-declaration so that GoogleTest finds it.
template <typename Row>
auto operator<<(std::ostream& os, const Row& row) -> decltype(row.name, os) {
  return os << row.name;
}

}  // namespace test_support
}  // namespace json_spirit

#endif  // WQ_TESTS_JSON_TEST_SUPPORT_H
