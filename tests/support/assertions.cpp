#include "tests/support/assertions.h"

#include <cstdio>

namespace ardo::test {

namespace {

std::string Describe(long hr) {
  char hex[24];
  std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(hr) & 0xFFFFFFFFul);
  if (hr != static_cast<long>(static_cast<HRESULT>(hr)))
    return std::string(hex) + " held without its sign (not a valid HRESULT in a long)";
  return ardo::HResultName(static_cast<HRESULT>(hr)) + " (" + hex + ")";
}

}  // namespace

::testing::AssertionResult HResultEquals(const char* actualExpr, const char* expectedExpr,
                                         long actual, long expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << actualExpr << " returned " << Describe(actual)
                                       << ", expected " << expectedExpr << " = "
                                       << Describe(expected);
}

}  // namespace ardo::test
