#pragma once
// The one engine behind every record reader and writer of the codec.
//
// How to describe a record
// ------------------------
// Each record gets one table, in the order of its fields, in a header
// parser/<family>Tables.h inside namespace OpenShiftSDKWrapper::codec:
//
//   WQ_TABLE(SObjectMetaInfoLib,
//            F("name", &SObjectMetaInfoLib::name),
//            F("generation", &SObjectMetaInfoLib::generation),
//            F("deletionGracePeriodSeconds", &SObjectMetaInfoLib::deletionGracePeriodSeconds,
//              WriteIf<Positive>),
//            F("labels", &SObjectMetaInfoLib::labels, Presence<&SObjectMetaInfoLib::hasLabels>));
//
// and one line WQ_RECORD(SObjectMetaInfoLib, ReadWrite) (or ReadOnly, WriteOnly) in
// parser/recordsCore.def or parser/recordsWorkload.def. That line declares
// ReadRecord/WriteRecord for the record, generates the public Convert overloads of
// WQOpenShiftParser, defines them in parser/codecCore.cpp or parser/codecWorkload.cpp
// (which include parser/recordTables.h) and feeds the typed tests.
//
// The field's C++ type decides how a plain row is read and written:
//   std::string            read: the string member, else ""      write: when non-empty
//   bool, int, int64_t     read: the member, else false/0        write: always
//   std::vector<T>         read: appended, element by element    write: when non-empty,
//                          (T = std::string, int or a record)           every element
//   SObjectInfoLib         read: members appended when an object write: when a value is non-empty
//   any other record       read in place when an object          write: when its writer wrote
// Members of the wrong JSON type count as absent; list and map elements of the
// wrong type are skipped. Reading never clears a list, map or nested record.
//
// Records with the same members share one row list through WQ_TABLE_OF and a
// function template (see PodAffinityRows in parser/schedulingTables.h).
//
// Tags (any number, after the field pointer):
//   WriteIf<Positive>, WriteIf<NonNegative>, WriteIf<PortRange>
//                        numbers written only when the condition holds
//   Presence<&R::hasX>   (record or map rows) reading sets hasX to false, then to
//                        true when the member is an object; writing needs hasX
//   ReadAs<Int32>        an int64_t field read through the 32-bit getter, widened
//   ReadOnly             the row is read, never written
//   WriteOnly            the row is written, never read
//   Required             the record's guard: the Required rows are written first, and
//                        when none of them wrote a member the record writes nothing
//                        and reports false (a text or list left empty, a number
//                        outside its WriteIf condition, a nested record that wrote
//                        nothing)
//
// Text operations are one line each: ParseResource(text, record),
// ParseList(text, vector) and SerializeResource(record, text).
#include <cstdint>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "host/wqJson.h"
#include "json/json_spirit.h"
#include "parser/metadataRecords.h"

namespace OpenShiftSDKWrapper {
namespace codec {

// ---- Tags ------------------------------------------------------------------

struct Positive {
  static bool Holds(int64_t v) { return v > 0; }
};
struct NonNegative {
  static bool Holds(int64_t v) { return v >= 0; }
};
struct PortRange {
  static bool Holds(int64_t v) { return v >= 1 && v <= 65535; }
};
template <class Condition>
struct WriteIfTag {};
template <class Condition>
inline constexpr WriteIfTag<Condition> WriteIf{};

template <auto Flag>
struct PresenceTag {};
template <auto Flag>
inline constexpr PresenceTag<Flag> Presence{};

struct Int32 {};
template <class As>
struct ReadAsTag {};
template <class As>
inline constexpr ReadAsTag<As> ReadAs{};

struct ReadOnlyTag {};
inline constexpr ReadOnlyTag ReadOnly{};
struct WriteOnlyTag {};
inline constexpr WriteOnlyTag WriteOnly{};
struct RequiredTag {};
inline constexpr RequiredTag Required{};

// ---- Rows and tables ---------------------------------------------------------

template <class R, class T, class... Tags>
struct Row {
  using Record = R;
  using Field = T;
  std::string key;
  T R::*field;
};

template <class R, class T, class... Tags>
Row<R, T, Tags...> F(const char* key, T R::*field, Tags...) {
  return Row<R, T, Tags...>{key, field};
}

// Specialised once per record by WQ_TABLE.
template <class R>
struct RecordTable;

#define WQ_TABLE(R, ...) WQ_TABLE_OF(R, std::make_tuple(__VA_ARGS__))

// For records that share their members with another record: the rows come from
// a function template over the record type.
#define WQ_TABLE_OF(R, rowsExpression)         \
  template <>                                  \
  struct RecordTable<R> {                      \
    static const auto& Rows() {                \
      static const auto rows = rowsExpression; \
      return rows;                             \
    }                                          \
  }

template <class Tag, class... Tags>
inline constexpr bool kHas = (std::is_same_v<Tag, Tags> || ...);

template <class Tag>
struct TagTraits {
  static bool Allows(int64_t) { return true; }
  template <class R>
  static bool* Flag(R&) {
    return nullptr;
  }
  template <class R>
  static bool Present(const R&) {
    return true;
  }
};
template <class Condition>
struct TagTraits<WriteIfTag<Condition>> : TagTraits<void> {
  static bool Allows(int64_t v) { return Condition::Holds(v); }
};
template <auto Member>
struct TagTraits<PresenceTag<Member>> : TagTraits<void> {
  template <class R>
  static bool* Flag(R& r) {
    return &(r.*Member);
  }
  template <class R>
  static bool Present(const R& r) {
    return r.*Member;
  }
};

template <class Row>
struct RowTraits;
template <class R, class T, class... Tags>
struct RowTraits<Row<R, T, Tags...>> {
  static constexpr bool required = kHas<RequiredTag, Tags...>;
  static constexpr bool reads = !kHas<WriteOnlyTag, Tags...>;
  static constexpr bool writes = !kHas<ReadOnlyTag, Tags...>;
  static constexpr bool readsAsInt32 = kHas<ReadAsTag<Int32>, Tags...>;
  static bool Allows([[maybe_unused]] int64_t v) { return (TagTraits<Tags>::Allows(v) && ...); }
  static bool Present([[maybe_unused]] const R& r) { return (TagTraits<Tags>::Present(r) && ...); }
  static bool* Flag([[maybe_unused]] R& r) {
    bool* flag = nullptr;
    ((flag = flag != nullptr ? flag : TagTraits<Tags>::Flag(r)), ...);
    return flag;
  }
};

template <class T>
struct IsVector : std::false_type {};
template <class T>
struct IsVector<std::vector<T>> : std::true_type {};

template <class T>
inline constexpr bool kIsScalar = std::is_same_v<T, std::string> || std::is_same_v<T, bool> ||
                                  std::is_same_v<T, int> || std::is_same_v<T, int64_t>;

// ---- Scalar writers: the one place where the writing rules of scalars live ----

inline bool Put(const std::string& key, const std::string& value, json_spirit::mObject& out) {
  if (value.empty()) return false;
  out.insert_or_assign(key, json_spirit::mValue(value));
  return true;
}
inline bool Put(const std::string& key, int value, json_spirit::mObject& out) {
  out.insert_or_assign(key, json_spirit::mValue(value));
  return true;
}
inline bool Put(const std::string& key, bool value, json_spirit::mObject& out) {
  out.insert_or_assign(key, json_spirit::mValue(value));
  return true;
}
inline bool Put(const std::string& key, long value, json_spirit::mObject& out) {
  out.insert_or_assign(key, json_spirit::mValue(value));
  return true;
}
// A string literal would otherwise become a bool.
bool Put(const std::string& key, const char* value, json_spirit::mObject& out) = delete;

// ---- String maps ---------------------------------------------------------------

inline void ReadMap(const json_spirit::mObject& in, SObjectInfoLib& out) {
  for (const auto& member : in) {
    if (member.second.type() == json_spirit::str_type)
      out.keyValues.emplace_back(member.first, member.second.get_str());
  }
}

inline bool WriteMap(const SObjectInfoLib& in, json_spirit::mObject& out) {
  bool wrote = false;
  for (const auto& entry : in.keyValues) {
    if (Put(entry.key, entry.value, out)) wrote = true;
  }
  return wrote;
}

// ---- Reading -------------------------------------------------------------------

inline bool ReadElement(const json_spirit::mValue& in, std::string& out) {
  if (in.type() != json_spirit::str_type) return false;
  out = in.get_str();
  return true;
}
inline bool ReadElement(const json_spirit::mValue& in, int& out) {
  if (in.type() != json_spirit::int_type) return false;
  out = in.get_int();
  return true;
}
template <class R>
bool ReadElement(const json_spirit::mValue& in, R& out) {
  if (in.type() != json_spirit::obj_type) return false;
  ReadRecord(in.get_obj(), out);  // found by argument-dependent lookup
  return true;
}

// Each element is read in place into a fresh record at the end of `out`: records
// such as a pod or a volume are large, and moving them would cost more than reading.
template <class T>
void AppendElements(const json_spirit::mArray& in, std::vector<T>& out) {
  out.reserve(out.size() + in.size());
  for (const auto& element : in) {
    out.emplace_back();
    if (!ReadElement(element, out.back())) out.pop_back();
  }
}

template <class Rw, class R>
void ReadRow(const json_spirit::mObject& in, R& out, const Rw& row) {
  using Traits = RowTraits<Rw>;
  using T = typename Rw::Field;
  if constexpr (Traits::reads) {
    T& field = out.*row.field;
    if constexpr (std::is_same_v<T, std::string>) {
      const std::string* value = WqJson::FindString(in, row.key);
      if (value != nullptr)
        field = *value;
      else
        field.clear();
    } else if constexpr (std::is_same_v<T, bool>) {
      field = WqJson::GetBoolValue(in, row.key);
    } else if constexpr (std::is_same_v<T, int>) {
      field = WqJson::GetIntValue(in, row.key);
    } else if constexpr (std::is_same_v<T, int64_t>) {
      if constexpr (Traits::readsAsInt32)
        field = WqJson::GetIntValue(in, row.key);
      else
        field = static_cast<int64_t>(WqJson::GetUInt64Value(in, row.key));
    } else if constexpr (IsVector<T>::value) {
      const json_spirit::mArray* array = WqJson::FindArray(in, row.key);
      if (array != nullptr) AppendElements(*array, field);
    } else {
      bool* flag = Traits::Flag(out);
      if (flag != nullptr) *flag = false;
      const json_spirit::mObject* object = WqJson::FindObject(in, row.key);
      if (object == nullptr) return;
      if (flag != nullptr) *flag = true;
      if constexpr (std::is_same_v<T, SObjectInfoLib>)
        ReadMap(*object, field);
      else
        ReadRecord(*object, field);
    }
  }
}

template <class R>
void ReadTable(const json_spirit::mObject& in, R& out) {
  std::apply([&](const auto&... row) { (ReadRow(in, out, row), ...); }, RecordTable<R>::Rows());
}

// ---- Writing -------------------------------------------------------------------

inline json_spirit::mValue WriteElement(const std::string& in) { return json_spirit::mValue(in); }
inline json_spirit::mValue WriteElement(int in) { return json_spirit::mValue(in); }
template <class R>
json_spirit::mValue WriteElement(const R& in) {
  json_spirit::mObject object;
  WriteRecord(in, object);  // an element is kept even when it wrote nothing
  return json_spirit::mValue(std::move(object));
}

template <class Rw, class R>
bool WriteRow(const R& in, json_spirit::mObject& out, const Rw& row) {
  using Traits = RowTraits<Rw>;
  using T = typename Rw::Field;
  if constexpr (!Traits::writes) {
    return false;
  } else {
    if (!Traits::Present(in)) return false;
    const T& field = in.*row.field;
    if constexpr (std::is_same_v<T, int> || std::is_same_v<T, int64_t>) {
      if (!Traits::Allows(field)) return false;
      if constexpr (std::is_same_v<T, int64_t>)
        return Put(row.key, static_cast<long>(field), out);
      else
        return Put(row.key, field, out);
    } else if constexpr (kIsScalar<T>) {
      return Put(row.key, field, out);
    } else if constexpr (IsVector<T>::value) {
      if (field.empty()) return false;
      json_spirit::mArray array;
      array.reserve(field.size());
      for (const auto& element : field) array.push_back(WriteElement(element));
      out.insert_or_assign(row.key, json_spirit::mValue(std::move(array)));
      return true;
    } else {
      json_spirit::mObject object;
      bool wrote;
      if constexpr (std::is_same_v<T, SObjectInfoLib>)
        wrote = WriteMap(field, object);
      else
        wrote = WriteRecord(field, object);
      if (!wrote) return false;
      out.insert_or_assign(row.key, json_spirit::mValue(std::move(object)));
      return true;
    }
  }
}

template <class Rows>
struct AnyRequired;
template <class... Rows>
struct AnyRequired<std::tuple<Rows...>> {
  static constexpr bool value = (RowTraits<Rows>::required || ...);
};

template <class R>
bool WriteTable(const R& in, json_spirit::mObject& out) {
  using Rows = std::decay_t<decltype(RecordTable<R>::Rows())>;
  bool wrote = false;
  auto pass = [&](bool required) {
    std::apply(
        [&](const auto&... row) {
          auto step = [&](const auto& one) {
            if (RowTraits<std::decay_t<decltype(one)>>::required == required &&
                WriteRow(in, out, one))
              wrote = true;
          };
          (step(row), ...);
        },
        RecordTable<R>::Rows());
  };
  if constexpr (AnyRequired<Rows>::value) {
    pass(true);
    if (!wrote) return false;
  }
  pass(false);
  return wrote;
}

// ---- Documents -------------------------------------------------------------------

// Reads `text` into `doc`; false, with `doc` null, for anything but a JSON object.
bool ReadDocument(const std::string& text, json_spirit::mValue& doc);

template <class R>
bool ParseResource(const std::string& text, R& out) {
  json_spirit::mValue doc;
  if (!ReadDocument(text, doc)) return false;
  ReadRecord(doc.get_obj(), out);
  return true;
}

template <class R>
bool ParseList(const std::string& text, std::vector<R>& out) {
  json_spirit::mValue doc;
  if (!ReadDocument(text, doc)) return false;
  const json_spirit::mArray* items = WqJson::FindArray(doc.get_obj(), "items");
  if (items != nullptr) AppendElements(*items, out);
  return true;
}

// Writes the object it built directly: it is moved into the value written, where
// WqJson::Serialize, taking an object it may not change, would copy it first.
template <class R>
bool SerializeResource(const R& in, std::string& text) {
  json_spirit::mObject object;
  WriteRecord(in, object);
  text = json_spirit::write_string(json_spirit::mValue(std::move(object)));
  return true;
}

}  // namespace codec
}  // namespace OpenShiftSDKWrapper

// Definitions of a record's reader and writer from its table; used by the .def lists.
#define WQ_CODEC_DEFINE_ReadOnly(R) \
  void ReadRecord(const json_spirit::mObject& in, R& out) { codec::ReadTable(in, out); }
#define WQ_CODEC_DEFINE_WriteOnly(R) \
  bool WriteRecord(const R& in, json_spirit::mObject& out) { return codec::WriteTable(in, out); }
#define WQ_CODEC_DEFINE_ReadWrite(R) WQ_CODEC_DEFINE_ReadOnly(R) WQ_CODEC_DEFINE_WriteOnly(R)
