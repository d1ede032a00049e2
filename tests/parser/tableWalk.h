#pragma once
// Test-side walks over the record tables: fill every field, dump a record as
// JSON without the codec's writing rules, compare records field by field, and
// build documents whose members have the wrong types. They let one typed test
// cover every record of the .def lists.
#include <cstdint>
#include <ostream>
#include <set>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "json/json_spirit.h"
#include "parser/recordTables.h"

namespace OpenShiftSDKWrapper {
namespace testing_tables {

using codec::RecordTable;
using codec::RowTraits;
using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

// Which rows a walk visits.
enum class Rows { Read, Written, Both };

template <class Rw>
bool Visits(Rows rows) {
  using T = RowTraits<Rw>;
  switch (rows) {
    case Rows::Read:
      return T::reads;
    case Rows::Written:
      return T::writes;
    case Rows::Both:
      return T::reads && T::writes;
  }
  return false;
}

template <class R, class Visit>
void ForEachRow(Visit&& visit) {
  std::apply([&](const auto&... row) { (visit(row), ...); }, RecordTable<R>::Rows());
}

template <class T>
inline constexpr bool kIsScalar = codec::kIsScalar<T>;
template <class T>
inline constexpr bool kIsVector = codec::IsVector<T>::value;
template <class T>
inline constexpr bool kIsMap = std::is_same_v<T, SObjectInfoLib>;

// ---- Fill ------------------------------------------------------------------------

template <class R>
void Fill(R& record, int seed);

template <class T>
void FillValue(T& value, const std::string& key, int seed) {
  if constexpr (std::is_same_v<T, std::string>) {
    value = key + "-" + std::to_string(seed);
  } else if constexpr (std::is_same_v<T, bool>) {
    value = true;
  } else if constexpr (std::is_same_v<T, int>) {
    value = 100 + seed;  // positive and a valid port
  } else if constexpr (std::is_same_v<T, int64_t>) {
    value = 1000 + seed;
  } else if constexpr (kIsMap<T>) {
    value.keyValues = {{"a-" + key, "1"}, {"b-" + key, "2"}};
  } else if constexpr (kIsVector<T>) {
    value.resize(2);
    FillValue(value[0], key, seed + 1);
    FillValue(value[1], key, seed + 2);
  } else {
    Fill(value, seed + 1);
  }
}

// Every row gets a value that each writing condition accepts; presence flags are set.
template <class R>
void Fill(R& record, int seed) {
  ForEachRow<R>([&](const auto& row) {
    FillValue(record.*row.field, row.key, seed);
    if (bool* flag = RowTraits<std::decay_t<decltype(row)>>::Flag(record)) *flag = true;
  });
}

// ---- Dump: every visited row under its key, no conditions but presence flags ------------------------

template <class R>
mObject Dump(const R& record, Rows rows);

template <class T>
mValue DumpValue(const T& value, Rows rows) {
  if constexpr (std::is_same_v<T, int64_t>) {
    return mValue(static_cast<long>(value));
  } else if constexpr (kIsScalar<T>) {
    return mValue(value);
  } else if constexpr (kIsMap<T>) {
    mObject object;
    for (const auto& entry : value.keyValues) object[entry.key] = entry.value;
    return object;
  } else if constexpr (kIsVector<T>) {
    mArray array;
    for (const auto& element : value) array.push_back(DumpValue(element, rows));
    return array;
  } else {
    return Dump(value, rows);
  }
}

template <class R>
mObject Dump(const R& record, Rows rows) {
  mObject object;
  ForEachRow<R>([&](const auto& row) {
    using Rw = std::decay_t<decltype(row)>;
    if (Visits<Rw>(rows) && RowTraits<Rw>::Present(record)) object[row.key] = DumpValue(record.*row.field, rows);
  });
  return object;
}

// ---- Compare -----------------------------------------------------------------------

template <class R>
bool SameFields(const R& a, const R& b, Rows rows, std::string& where);

template <class T>
bool SameValue(const T& a, const T& b, Rows rows, std::string& where) {
  if constexpr (kIsScalar<T>) {
    return a == b;
  } else if constexpr (kIsMap<T>) {
    if (a.keyValues.size() != b.keyValues.size()) return false;
    for (size_t i = 0; i < a.keyValues.size(); ++i) {
      if (a.keyValues[i].key != b.keyValues[i].key || a.keyValues[i].value != b.keyValues[i].value) return false;
    }
    return true;
  } else if constexpr (kIsVector<T>) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      if (!SameValue(a[i], b[i], rows, where)) {
        where = "[" + std::to_string(i) + "]" + where;
        return false;
      }
    }
    return true;
  } else {
    return SameFields(a, b, rows, where);
  }
}

// Compares the visited rows and the presence flags; `where` names the first difference.
template <class R>
bool SameFields(const R& a, const R& b, Rows rows, std::string& where) {
  bool same = true;
  ForEachRow<R>([&](const auto& row) {
    using Rw = std::decay_t<decltype(row)>;
    if (!same || !Visits<Rw>(rows)) return;
    std::string inner;
    if (RowTraits<Rw>::Present(a) != RowTraits<Rw>::Present(b)) {
      same = false;
      where = "/" + row.key + " (presence)";
    } else if (!SameValue(a.*row.field, b.*row.field, rows, inner)) {
      same = false;
      where = "/" + row.key + inner;
    }
  });
  return same;
}

// ---- Expectations after reading ------------------------------------------------------

// What a read of a document without the record's members leaves: read scalars
// emptied, presence flags false, lists, maps and nested records as they were.
template <class R>
void ForgetScalars(R& record) {
  ForEachRow<R>([&](const auto& row) {
    using Rw = std::decay_t<decltype(row)>;
    using T = typename Rw::Field;
    if (!RowTraits<Rw>::reads) return;
    if constexpr (kIsScalar<T>) record.*row.field = T{};
    if (bool* flag = RowTraits<Rw>::Flag(record)) *flag = false;
  });
}

// ---- Documents of the wrong shape ------------------------------------------------------

// Each member of the record with a value of another JSON type.
template <class R>
mObject WrongTypes() {
  mObject object;
  ForEachRow<R>([&](const auto& row) {
    using T = typename std::decay_t<decltype(row)>::Field;
    if constexpr (std::is_same_v<T, std::string>)
      object[row.key] = 7;
    else if constexpr (kIsScalar<T>)
      object[row.key] = "7";
    else if constexpr (kIsVector<T>)
      object[row.key] = mObject{{"0", mValue("x")}};
    else
      object[row.key] = mArray{mValue(1)};
  });
  return object;
}

template <class R>
void MemberNames(std::set<std::string>& names) {
  ForEachRow<R>([&](const auto& row) { names.insert(row.key); });
}

// ---- The .def lists as gtest type lists -------------------------------------------------

template <class Tuple>
struct TypesOf;
template <class... Ts>
struct TypesOf<std::tuple<void, Ts...>> {
  using type = ::testing::Types<Ts...>;
};

}  // namespace testing_tables
}  // namespace OpenShiftSDKWrapper
