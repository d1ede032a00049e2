// write_string and write_formatted.
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

#include "json/json_spirit.h"

namespace json_spirit {
namespace {

// Appends `s` as a quoted JSON string. Bytes from 0x80 up pass through
// untouched, so UTF-8 (and any other byte string) is kept as it is.
void write_quoted(const std::string& s, std::string& out) {
  static const char hex[] = "0123456789abcdef";
  // Characters with a two-character escape, and the letter that follows '\\'.
  static constexpr std::string_view kShortEscaped = "\"\\\b\f\n\r\t";
  static constexpr std::string_view kShortEscapes = "\"\\bfnrt";
  out.push_back('"');
  const char* run = s.data();
  const char* const end = run + s.size();
  for (const char* p = run; p != end; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(run, p);
    run = p + 1;
    out.push_back('\\');
    const auto short_form = kShortEscaped.find(static_cast<char>(c));
    if (short_form != std::string_view::npos) {
      out.push_back(kShortEscapes[short_form]);
    } else {
      const char code[] = {'u', '0', '0', hex[c >> 4], hex[c & 0xf]};
      out.append(code, sizeof code);
    }
  }
  out.append(run, end);
  out.push_back('"');
}

template <typename Number>
void write_number(Number n, std::string& out) {
  char buf[32];
  const auto result = std::to_chars(buf, buf + sizeof buf, n);
  out.append(buf, result.ptr);
}

// The shortest text that reads back as the same double, marked as a real even
// when it holds an integral value, so that it reads back as a real.
void write_real(double d, std::string& out) {
  if (std::isnan(d)) {
    out.append("null");
    return;
  }
  if (std::isinf(d)) {
    // No JSON number is infinite; this one overflows to infinity when read.
    out.append(d < 0 ? "-1e99999" : "1e99999");
    return;
  }
  char buf[32];
  const auto result = std::to_chars(buf, buf + sizeof buf, d);
  const std::string_view text(buf, static_cast<std::size_t>(result.ptr - buf));
  out.append(text);
  if (text.find_first_of(".e") == std::string_view::npos) out.append(".0");
}

class Writer {
 public:
  Writer(bool pretty, std::string& out) : pretty_(pretty), out_(out) {}

  void write(const mValue& value) {
    switch (value.type()) {
      case obj_type:
        write_object(value.get_obj());
        break;
      case array_type:
        write_array(value.get_array());
        break;
      case str_type:
        write_quoted(value.get_str(), out_);
        break;
      case bool_type:
        out_.append(value.get_bool() ? "true" : "false");
        break;
      case int_type:
        if (value.is_uint64()) {
          write_number(value.get_uint64(), out_);
        } else {
          write_number(value.get_int64(), out_);
        }
        break;
      case real_type:
        write_real(value.get_real(), out_);
        break;
      case null_type:
        out_.append("null");
        break;
    }
  }

 private:
  void write_object(const mObject& object) {
    write_container(object, '{', '}', [this](const mObject::value_type& member) {
      write_quoted(member.first, out_);
      out_.append(pretty_ ? " : " : ":");
      write(member.second);
    });
  }

  void write_array(const mArray& array) {
    write_container(array, '[', ']', [this](const mValue& element) { write(element); });
  }

  // Pretty output puts each element on its own line, indented by four spaces
  // per level; an empty container stays on one line.
  template <typename Container, typename WriteElement>
  void write_container(const Container& container, char open, char close,
                       WriteElement write_element) {
    out_.push_back(open);
    if (container.empty()) {
      out_.push_back(close);
      return;
    }
    ++depth_;
    bool first = true;
    for (const auto& element : container) {
      if (!first) out_.push_back(',');
      first = false;
      new_line();
      write_element(element);
    }
    --depth_;
    new_line();
    out_.push_back(close);
  }

  void new_line() {
    if (!pretty_) return;
    out_.push_back('\n');
    out_.append(depth_ * 4, ' ');
  }

  const bool pretty_;
  std::string& out_;
  std::size_t depth_ = 0;
};

}  // namespace

std::string write_string(const mValue& value, unsigned options) {
  std::string out;
  Writer((options & pretty_print) != 0, out).write(value);
  return out;
}

std::string write_formatted(const mValue& value) { return write_string(value, pretty_print); }

}  // namespace json_spirit
