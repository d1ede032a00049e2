#include <stdexcept>
#include <string>

#include "json/json_spirit.h"

namespace json_spirit {

const char* value_type_to_string(Value_type type) {
  switch (type) {
    case obj_type:
      return "Object";
    case array_type:
      return "Array";
    case str_type:
      return "string";
    case bool_type:
      return "boolean";
    case int_type:
      return "integer";
    case real_type:
      return "real";
    case null_type:
      return "null";
  }
  return "unknown";
}

const mValue mValue::null;

mValue::mValue(mObject obj) : kind_(obj_kind), o_(new mObject(std::move(obj))) {}

mValue::mValue(mArray arr) : kind_(array_kind), a_(new mArray(std::move(arr))) {}

mValue::mValue(const mValue& other) : kind_(other.kind_) {
  switch (kind_) {
    case obj_kind:
      o_ = new mObject(*other.o_);
      break;
    case array_kind:
      a_ = new mArray(*other.a_);
      break;
    case str_kind:
      new (&s_) std::string(other.s_);
      break;
    default:
      copy_scalar(other);
      break;
  }
}

// Both assignments build the new value before releasing the old one, so that
// assigning a value that lives inside this one (v = v.get_obj()["a"]) is safe.
mValue& mValue::operator=(const mValue& other) {
  mValue copy(other);
  swap(copy);
  return *this;
}

mValue& mValue::operator=(mValue&& other) noexcept {
  mValue moved(std::move(other));
  swap(moved);
  return *this;
}

void mValue::swap(mValue& other) noexcept {
  if (this == &other) return;
  mValue tmp(std::move(other));
  other.destroy();
  other.take(std::move(*this));
  destroy();
  take(std::move(tmp));
}

// Expects this value's storage to be released; a moved-from object or array
// becomes null so that it never shares the box.
void mValue::take(mValue&& other) noexcept {
  kind_ = other.kind_;
  switch (kind_) {
    case obj_kind:
      o_ = other.o_;
      other.kind_ = null_kind;
      break;
    case array_kind:
      a_ = other.a_;
      other.kind_ = null_kind;
      break;
    case str_kind:
      new (&s_) std::string(std::move(other.s_));
      break;
    default:
      copy_scalar(other);
      break;
  }
}

void mValue::copy_scalar(const mValue& other) noexcept {
  switch (kind_) {
    case bool_kind:
      b_ = other.b_;
      break;
    case int_kind:
      i_ = other.i_;
      break;
    case uint_kind:
      u_ = other.u_;
      break;
    case real_kind:
      d_ = other.d_;
      break;
    default:
      break;
  }
}

void mValue::destroy() noexcept {
  switch (kind_) {
    case obj_kind:
      delete o_;
      break;
    case array_kind:
      delete a_;
      break;
    case str_kind:
      s_.~basic_string();
      break;
    default:
      break;
  }
}

bool mValue::operator==(const mValue& other) const {
  if (kind_ != other.kind_) return false;
  switch (kind_) {
    case obj_kind:
      return *o_ == *other.o_;
    case array_kind:
      return *a_ == *other.a_;
    case str_kind:
      return s_ == other.s_;
    case bool_kind:
      return b_ == other.b_;
    case int_kind:
      return i_ == other.i_;
    case uint_kind:
      return u_ == other.u_;
    case real_kind:
      return d_ == other.d_;
    case null_kind:
      return true;
  }
  return false;
}

void mValue::throw_type_error(Value_type wanted) const {
  throw std::runtime_error(std::string("get_value< ") + value_type_to_string(wanted) +
                           " > called on " + value_type_to_string(type()) + " Value");
}

}  // namespace json_spirit
