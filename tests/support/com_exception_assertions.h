// EXPECT_THROWS_HR(expr, hr): expr must throw CComException* carrying hr.
// The exception is freed either way; anything else thrown, or nothing,
// fails the test. For tests that link the library.
#pragma once

#include <gtest/gtest.h>

#include "framework/com_exception.h"

#define ARDO_THROWS_HR_IMPL(expr, expected, fail)                                     \
  do {                                                                                \
    bool ardo_thrown_ = false;                                                        \
    long ardo_caught_hr_ = 0;                                                         \
    try {                                                                             \
      (void)(expr);                                                                   \
    } catch (CComException* ardo_e_) {                                                \
      ardo_thrown_ = true;                                                            \
      ardo_caught_hr_ = ardo_e_->m_hr;                                                \
      ardo_e_->Delete();                                                              \
    }                                                                                 \
    if (!ardo_thrown_) {                                                              \
      fail() << #expr " threw no CComException";                                     \
    } else if (ardo_caught_hr_ != static_cast<long>(expected)) {                      \
      fail() << #expr " threw CComException with " << ardo::HResultName(ardo_caught_hr_) \
             << ", expected " << ardo::HResultName(expected);                         \
    }                                                                                 \
  } while (0)

#define EXPECT_THROWS_HR(expr, hr) ARDO_THROWS_HR_IMPL(expr, hr, ADD_FAILURE)
#define ASSERT_THROWS_HR(expr, hr) ARDO_THROWS_HR_IMPL(expr, hr, FAIL)
