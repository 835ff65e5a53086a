// HRESULT assertions that print codes by name:
//   EXPECT_HR(doc->load(source, &ok), S_FALSE);
#pragma once

#include <gtest/gtest.h>

#include "platform/com/hresult.h"

namespace ardo::test {

// Compares as `long`, so a code that lost its sign extension on the way
// (0x80004005 held positive in a long) does not pass for the real one.
::testing::AssertionResult HResultEquals(const char* actualExpr, const char* expectedExpr,
                                         long actual, long expected);

}  // namespace ardo::test

#define EXPECT_HR(expr, hr) EXPECT_PRED_FORMAT2(::ardo::test::HResultEquals, expr, hr)
#define ASSERT_HR(expr, hr) ASSERT_PRED_FORMAT2(::ardo::test::HResultEquals, expr, hr)
