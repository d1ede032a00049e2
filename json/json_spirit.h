// JSON values held in ordered maps and vectors, with the names and semantics
// of json_spirit's map-based value types (mValue, mObject, mArray), parsed
// and written through Boost.JSON.
//
// An mValue is a tagged union: scalars and the string live inline, objects
// and arrays in a heap box so that an mValue stays small and can be declared
// before the containers that hold it are complete.
#ifndef WQ_JSON_JSON_SPIRIT_H
#define WQ_JSON_JSON_SPIRIT_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace json_spirit {

// The order is json_spirit's; callers compare and switch on these values.
enum Value_type { obj_type, array_type, str_type, bool_type, int_type, real_type, null_type };

// Name of a value type as used in the messages of the getters' exceptions.
const char* value_type_to_string(Value_type type);

class mValue;
// Members are kept in ascending byte order of their names; a repeated name in
// a parsed document keeps the last value, as assignment to a map would.
using mObject = std::map<std::string, mValue>;
using mArray = std::vector<mValue>;

class mValue {
 public:
  mValue() noexcept : kind_(null_kind) {}
  mValue(std::nullptr_t) noexcept : kind_(null_kind) {}

  mValue(const char* s) : kind_(str_kind) { new (&s_) std::string(s != nullptr ? s : ""); }
  mValue(std::string s) noexcept : kind_(str_kind) { new (&s_) std::string(std::move(s)); }
  mValue(std::string_view s) : kind_(str_kind) { new (&s_) std::string(s); }

  mValue(bool b) noexcept : kind_(bool_kind), b_(b) {}
  // Any other pointer would otherwise convert to bool silently.
  template <typename T, typename = std::enable_if_t<!std::is_same_v<std::remove_cv_t<T>, char>>>
  mValue(T*) = delete;

  mValue(int i) noexcept : kind_(int_kind), i_(i) {}
  mValue(long i) noexcept : kind_(int_kind), i_(i) {}
  mValue(long long i) noexcept : kind_(int_kind), i_(i) {}
  mValue(unsigned u) noexcept : kind_(int_kind), i_(u) {}
  mValue(unsigned long u) noexcept { set_unsigned(u); }
  mValue(unsigned long long u) noexcept { set_unsigned(u); }

  mValue(double d) noexcept : kind_(real_kind), d_(d) {}

  mValue(mObject obj);
  mValue(mArray arr);

  mValue(const mValue& other);
  mValue(mValue&& other) noexcept { take(std::move(other)); }
  mValue& operator=(const mValue& other);
  mValue& operator=(mValue&& other) noexcept;
  ~mValue() { destroy(); }

  void swap(mValue& other) noexcept;

  bool operator==(const mValue& other) const;
  bool operator!=(const mValue& other) const { return !(*this == other); }

  Value_type type() const noexcept {
    return kind_ == uint_kind ? int_type : static_cast<Value_type>(kind_);
  }
  bool is_null() const noexcept { return kind_ == null_kind; }
  // True only for integers above INT64_MAX, which are held unsigned.
  bool is_uint64() const noexcept { return kind_ == uint_kind; }

  // Each getter throws std::runtime_error when the value has another type,
  // except that the integer getters convert between signed and unsigned and
  // get_real() also accepts an integer.
  const std::string& get_str() const {
    check_kind(str_kind);
    return s_;
  }
  const mObject& get_obj() const {
    check_kind(obj_kind);
    return *o_;
  }
  mObject& get_obj() {
    check_kind(obj_kind);
    return *o_;
  }
  const mArray& get_array() const {
    check_kind(array_kind);
    return *a_;
  }
  mArray& get_array() {
    check_kind(array_kind);
    return *a_;
  }
  bool get_bool() const {
    check_kind(bool_kind);
    return b_;
  }
  int get_int() const { return static_cast<int>(get_int64()); }
  std::int64_t get_int64() const {
    if (kind_ == uint_kind) return static_cast<std::int64_t>(u_);
    check_kind(int_kind);
    return i_;
  }
  std::uint64_t get_uint64() const {
    if (kind_ == uint_kind) return u_;
    check_kind(int_kind);
    return static_cast<std::uint64_t>(i_);
  }
  double get_real() const {
    if (kind_ == int_kind) return static_cast<double>(i_);
    if (kind_ == uint_kind) return static_cast<double>(u_);
    check_kind(real_kind);
    return d_;
  }

  // get_value<T>() for T in std::string, mObject, mArray, bool, int,
  // std::int64_t, std::uint64_t and double, as the getters above.
  template <typename T>
  T get_value() const;

  static const mValue null;

 private:
  // Value_type's values, plus one for integers held unsigned.
  enum Kind : unsigned char {
    obj_kind = obj_type,
    array_kind = array_type,
    str_kind = str_type,
    bool_kind = bool_type,
    int_kind = int_type,
    real_kind = real_type,
    null_kind = null_type,
    uint_kind,
  };

  void set_unsigned(unsigned long long u) noexcept {
    if (u > static_cast<unsigned long long>(INT64_MAX)) {
      kind_ = uint_kind;
      u_ = u;
    } else {
      kind_ = int_kind;
      i_ = static_cast<std::int64_t>(u);
    }
  }
  void check_kind(Kind kind) const {
    if (kind_ != kind) throw_type_error(static_cast<Value_type>(kind));
  }
  [[noreturn]] void throw_type_error(Value_type wanted) const;
  void take(mValue&& other) noexcept;
  void copy_scalar(const mValue& other) noexcept;
  void destroy() noexcept;

  Kind kind_;
  union {
    bool b_;
    std::int64_t i_;
    std::uint64_t u_;
    double d_;
    std::string s_;
    mObject* o_;
    mArray* a_;
  };
};

inline void swap(mValue& a, mValue& b) noexcept { a.swap(b); }

template <typename T>
T mValue::get_value() const {
  if constexpr (std::is_same_v<T, std::string>)
    return get_str();
  else if constexpr (std::is_same_v<T, mObject>)
    return get_obj();
  else if constexpr (std::is_same_v<T, mArray>)
    return get_array();
  else if constexpr (std::is_same_v<T, bool>)
    return get_bool();
  else if constexpr (std::is_same_v<T, int>)
    return get_int();
  else if constexpr (std::is_same_v<T, std::int64_t>)
    return get_int64();
  else if constexpr (std::is_same_v<T, std::uint64_t>)
    return get_uint64();
  else if constexpr (std::is_same_v<T, double>)
    return get_real();
  else
    static_assert(!std::is_same_v<T, T>, "no getter for this type");
}

// Parses one JSON document. Returns false, leaving `value` null, on any
// invalid input, including text after the document and nesting deeper than
// max_read_depth. Never throws. Strings are kept as the bytes received.
constexpr std::size_t max_read_depth = 1000;
bool read_string(const std::string& text, mValue& value);
inline bool read(const std::string& text, mValue& value) { return read_string(text, value); }

enum Output_options {
  none = 0,
  pretty_print = 0x01,  // line breaks and a 4-space indent
  raw_utf8 = 0x02,      // accepted for compatibility: UTF-8 is always kept as is
};

// Compact JSON that read_string reads back to an equal value: members in map
// order, UTF-8 kept as is, only '"', '\\' and control characters escaped,
// reals in the shortest form that reads back as the same double and always as
// a real ("1.0", "1e+300"). NaN is written as null and the infinities as
// +/-1e99999, which reads back as infinity.
std::string write_string(const mValue& value, unsigned options = none);
std::string write_formatted(const mValue& value);

}  // namespace json_spirit

#endif  // WQ_JSON_JSON_SPIRIT_H
