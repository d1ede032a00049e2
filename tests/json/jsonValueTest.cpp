// mValue construction, integer conversions, equality and value semantics.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "json/json_spirit.h"
#include "jsonTestSupport.h"

namespace json_spirit {
namespace {

using namespace test_support;
// Argument-dependent lookup ignores the directive above; the printer needs a declaration.
using test_support::operator<<;

// Overload resolution: pointers other than char pointers must not become
// booleans, and the fixed-width integer types must each pick one constructor.
static_assert(!std::is_constructible_v<mValue, int*>);
static_assert(!std::is_constructible_v<mValue, const void*>);
static_assert(std::is_constructible_v<mValue, char*>);
static_assert(std::is_constructible_v<mValue, std::int64_t>);
static_assert(std::is_constructible_v<mValue, std::uint64_t>);
static_assert(std::is_constructible_v<mValue, std::int32_t>);
static_assert(std::is_constructible_v<mValue, std::uint32_t>);
static_assert(std::is_constructible_v<mValue, std::size_t>);
static_assert(std::is_nothrow_move_constructible_v<mValue>);
static_assert(std::is_nothrow_move_assignable_v<mValue>);

TEST(IntegerGetterTest, ConvertsLikeCasts) {
  EXPECT_EQ(mValue(kUint64Max).get_int64(), -1);
  EXPECT_EQ(mValue(kUint64Max).get_uint64(), kUint64Max);
  EXPECT_EQ(mValue(-1).get_uint64(), kUint64Max);
  EXPECT_EQ(mValue(kInt64Min).get_int64(), kInt64Min);
  EXPECT_EQ(mValue((std::int64_t{1} << 32) + 5).get_int(), 5);
  EXPECT_EQ(mValue(-7).get_int(), -7);
  EXPECT_DOUBLE_EQ(mValue(3).get_real(), 3.0);
  EXPECT_DOUBLE_EQ(mValue(kInt64Min).get_real(), -9223372036854775808.0);
  EXPECT_DOUBLE_EQ(mValue(kUint64Max).get_real(), 18446744073709551615.0);
}

struct EqualityRow {
  const char* name;
  mValue a;
  mValue b;
  bool equal;
};

class EqualityTest : public testing::TestWithParam<EqualityRow> {};

TEST_P(EqualityTest, ComparesTypeAndContent) {
  const EqualityRow& row = GetParam();
  EXPECT_EQ(row.a == row.b, row.equal);
  EXPECT_EQ(row.b == row.a, row.equal);
  EXPECT_EQ(row.a != row.b, !row.equal);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, EqualityTest,
    testing::Values(EqualityRow{"NullNull", mValue(), mValue(), true},
                    EqualityRow{"NullFalse", mValue(), mValue(false), false},
                    EqualityRow{"ZeroFalse", mValue(0), mValue(false), false},
                    EqualityRow{"IntReal", mValue(1), mValue(1.0), false},
                    EqualityRow{"IntString", mValue(1), mValue("1"), false},
                    EqualityRow{"UnsignedSmallIsSigned", mValue(5u), mValue(5), true},
                    EqualityRow{"Uint64MaxMinusOne", mValue(kUint64Max), mValue(-1), false},
                    EqualityRow{"Uint64Same", mValue(kUint64Max), mValue(kUint64Max), true},
                    EqualityRow{"Strings", mValue("a"), mValue(std::string("a")), true},
                    EqualityRow{"StringCase", mValue("a"), mValue("A"), false},
                    EqualityRow{"EmptyObjectArray", mValue(mObject{}), mValue(mArray{}), false},
                    EqualityRow{"DeepEqual", mValue(mObject{{"a", mArray{1, mObject{{"b", "c"}}}}}),
                                mValue(mObject{{"a", mArray{1, mObject{{"b", "c"}}}}}), true},
                    EqualityRow{"DeepDiffers",
                                mValue(mObject{{"a", mArray{1, mObject{{"b", "c"}}}}}),
                                mValue(mObject{{"a", mArray{1, mObject{{"b", "d"}}}}}), false},
                    EqualityRow{"ArrayOrder", mValue(mArray{1, 2}), mValue(mArray{2, 1}), false}),
    [](const testing::TestParamInfo<EqualityRow>& info) { return std::string(info.param.name); });

const mValue kSamples[] = {
    mValue(),
    mValue(true),
    mValue(-4),
    mValue(kUint64Max),
    mValue(2.5),
    mValue("a string too long for the small-string buffer of std::string"),
    mValue(mArray{1, "two"}),
    mValue(mObject{{"k", mArray{mObject{{"n", 1}}}}}),
};

TEST(ValueSemanticsTest, CopyAndMoveKeepEveryKind) {
  for (const mValue& sample : kSamples) {
    mValue copy(sample);
    EXPECT_EQ(copy, sample);
    mValue assigned(7);
    assigned = sample;
    EXPECT_EQ(assigned, sample);
    mValue moved(std::move(copy));
    EXPECT_EQ(moved, sample);
    mValue move_assigned("old");
    move_assigned = std::move(moved);
    EXPECT_EQ(move_assigned, sample);
  }
}

TEST(ValueSemanticsTest, SwapExchangesEveryPairOfKinds) {
  for (const mValue& a : kSamples) {
    for (const mValue& b : kSamples) {
      mValue x(a);
      mValue y(b);
      x.swap(y);
      EXPECT_EQ(x, b);
      EXPECT_EQ(y, a);
      swap(x, y);
      EXPECT_EQ(x, a);
    }
  }
}

TEST(ValueSemanticsTest, AssigningAPartOfItselfIsSafe) {
  const mValue inner(mArray{"deep", mObject{{"x", 1}}});
  mValue v(mObject{{"child", inner}});
  v = v.get_obj()["child"];
  EXPECT_EQ(v, inner);

  v = mObject{{"child", inner}};
  v = std::move(v.get_obj()["child"]);
  EXPECT_EQ(v, inner);

  const mValue& self = v;
  v = self;
  EXPECT_EQ(v, inner);
}

}  // namespace
}  // namespace json_spirit
