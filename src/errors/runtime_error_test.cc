// Mapping of caught exceptions to runtime error numbers and descriptions.
#include "errors/runtime_error.h"

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

namespace errors {
namespace {

struct MappingCase {
  std::string name;
  std::function<void()> raise;
  ErrorInfo expected;
};

class DescribeExceptionTest : public ::testing::TestWithParam<MappingCase> {};

TEST_P(DescribeExceptionTest, MapsToNumberAndDescription) {
  std::exception_ptr caught;
  try {
    GetParam().raise();
  } catch (...) {
    caught = std::current_exception();
  }
  ASSERT_TRUE(caught);
  EXPECT_EQ(DescribeException(caught), GetParam().expected);
}

class FailsWithEmptyText : public std::exception {
 public:
  const char* what() const noexcept override { return ""; }
};

INSTANTIATE_TEST_SUITE_P(
    CaughtExceptions, DescribeExceptionTest,
    ::testing::Values(
        MappingCase{"RuntimeErrorAsIs",
                    [] { throw RuntimeError(3021, "No current record."); },
                    {3021, "No current record."}},
        MappingCase{"NegativeNumber",
                    [] { throw RuntimeError(-2147467259, "Unspecified error"); },
                    {-2147467259, "Unspecified error"}},
        MappingCase{"NamedNumber",
                    [] { throw RuntimeError(kInvalidUseOfNull); },
                    {94, "Invalid use of Null"}},
        MappingCase{"Overflow", [] { throw std::overflow_error("day counter"); }, {6, "Overflow"}},
        MappingCase{"Underflow", [] { throw std::underflow_error("x"); }, {6, "Overflow"}},
        MappingCase{"OutOfRange",
                    [] { throw std::out_of_range("vector::_M_range_check"); },
                    {9, "Subscript out of range"}},
        MappingCase{"BadAlloc", [] { throw std::bad_alloc(); }, {7, "Out of memory"}},
        MappingCase{"OtherStandardKeepsItsText",
                    [] { throw std::invalid_argument("field number 0"); },
                    {51, "field number 0"}},
        MappingCase{
            "OtherStandardWithoutText", [] { throw FailsWithEmptyText(); }, {51, "Internal error"}},
        MappingCase{"NotAnException", [] { throw 42; }, {51, "Internal error"}}),
    [](const ::testing::TestParamInfo<MappingCase>& info) { return info.param.name; });

TEST(DescribeExceptionTest, NoExceptionInFlightIsAnInternalError) {
  EXPECT_EQ(DescribeException(nullptr), (ErrorInfo{51, "Internal error"}));
}

TEST(RuntimeErrorTest, WhatIsTheDescription) {
  const RuntimeError error(kSubscriptOutOfRange);
  EXPECT_EQ(error.number(), 9);
  EXPECT_STREQ(error.what(), "Subscript out of range");
}

}  // namespace
}  // namespace errors
