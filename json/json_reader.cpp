// read_string: Boost.JSON's event parser feeding a builder that assembles
// mValues directly, without an intermediate boost::json::value tree.
#include <boost/json/basic_parser_impl.hpp>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "json/json_spirit.h"

namespace json_spirit {
namespace {

using boost::json::error_code;
using boost::json::string_view;

std::string_view std_view(string_view s) { return {s.data(), s.size()}; }

// Finished values wait on one stack and object keys on another until their
// container ends; the parser reports how many elements the container had.
class ValueBuilder {
 public:
  static constexpr std::size_t max_array_size = static_cast<std::size_t>(-1);
  static constexpr std::size_t max_object_size = static_cast<std::size_t>(-1);
  static constexpr std::size_t max_string_size = static_cast<std::size_t>(-1);
  static constexpr std::size_t max_key_size = static_cast<std::size_t>(-1);

  bool on_document_begin(error_code&) { return true; }
  bool on_document_end(error_code&) { return true; }
  bool on_array_begin(error_code&) { return true; }
  bool on_object_begin(error_code&) { return true; }

  bool on_array_end(std::size_t n, error_code&) {
    const auto first = values_.end() - static_cast<std::ptrdiff_t>(n);
    mArray array(std::make_move_iterator(first), std::make_move_iterator(values_.end()));
    values_.erase(first, values_.end());
    values_.emplace_back(std::move(array));
    return true;
  }

  bool on_object_end(std::size_t n, error_code&) {
    const auto first_value = values_.end() - static_cast<std::ptrdiff_t>(n);
    const auto first_key = keys_.end() - static_cast<std::ptrdiff_t>(n);
    mObject object;
    auto key = first_key;
    for (auto value = first_value; value != values_.end(); ++value, ++key) {
      // A repeated name keeps its last value; members often arrive sorted, so
      // the end is the likeliest place for the next one.
      object.insert_or_assign(object.end(), std::move(*key), std::move(*value));
    }
    keys_.erase(first_key, keys_.end());
    values_.erase(first_value, values_.end());
    values_.emplace_back(std::move(object));
    return true;
  }

  bool on_string_part(string_view s, std::size_t, error_code&) { return append_part(s); }
  bool on_key_part(string_view s, std::size_t, error_code&) { return append_part(s); }
  bool on_string(string_view s, std::size_t, error_code&) {
    values_.emplace_back(whole_text(s));
    return true;
  }
  bool on_key(string_view s, std::size_t, error_code&) {
    keys_.push_back(whole_text(s));
    return true;
  }

  bool on_number_part(string_view s, error_code&) {
    number_.append(s.data(), s.size());
    return true;
  }
  bool on_int64(std::int64_t i, string_view, error_code&) {
    number_.clear();
    values_.emplace_back(i);
    return true;
  }
  bool on_uint64(std::uint64_t u, string_view, error_code&) {
    number_.clear();
    values_.emplace_back(u);
    return true;
  }
  // Boost.JSON's own conversion can miss the nearest double by one unit in
  // the last place, which would break the round trip of written reals, so
  // the text is converted again with the correctly rounding from_chars. Its
  // value is kept only where from_chars gives up: on overflow to infinity.
  bool on_double(double d, string_view s, error_code&) {
    std::string_view text = std_view(s);
    if (!number_.empty()) {
      number_.append(s.data(), s.size());
      text = number_;
    }
    double exact = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), exact);
    values_.emplace_back(result.ec == std::errc() ? exact : d);
    number_.clear();
    return true;
  }
  bool on_bool(bool b, error_code&) {
    values_.emplace_back(b);
    return true;
  }
  bool on_null(error_code&) {
    values_.emplace_back();
    return true;
  }
  // Comments are rejected by the parse options; these only satisfy the interface.
  bool on_comment_part(string_view, error_code&) { return true; }
  bool on_comment(string_view, error_code&) { return true; }

  mValue take_result() { return values_.size() == 1 ? std::move(values_.front()) : mValue(); }

 private:
  bool append_part(string_view s) {
    text_.append(s.data(), s.size());
    return true;
  }
  // A string or key: the last piece alone, or joined to the parts before it.
  std::string whole_text(string_view s) {
    if (text_.empty()) return std::string(s.data(), s.size());
    text_.append(s.data(), s.size());
    std::string whole = std::move(text_);
    text_.clear();
    return whole;
  }

  std::vector<mValue> values_;
  std::vector<std::string> keys_;
  std::string text_;    // a string or key that the parser delivers in parts
  std::string number_;  // likewise for a number
};

boost::json::parse_options reader_options() {
  boost::json::parse_options options;
  // Boost.JSON's default of 32 is too shallow for real documents; the limit
  // still stops hostile nesting before the recursive parser and the
  // destructors of the nested values exhaust the stack.
  options.max_depth = max_read_depth;
  // Strings are byte strings, kept as received, so text that is not valid
  // UTF-8 is accepted and written back unchanged.
  options.allow_invalid_utf8 = true;
  return options;
}

}  // namespace

bool read_string(const std::string& text, mValue& value) {
  value = mValue();
  try {
    boost::json::basic_parser<ValueBuilder> parser(reader_options());
    error_code ec;
    const std::size_t used = parser.write_some(false, text.data(), text.size(), ec);
    if (ec || used != text.size() || !parser.done()) return false;
    value = parser.handler().take_result();
    return true;
  } catch (const std::exception&) {
    // Only allocation can fail inside the builder; report it as unreadable.
    return false;
  }
}

}  // namespace json_spirit
