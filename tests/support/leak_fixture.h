// The shared fixture: every test runs with COM initialised on its thread and
// fails at teardown if BSTRs, SAFEARRAYs or COM objects outlived it, naming
// the classes that leaked. Teardown also turns the BSTR fault-injection hook
// off. Derive test fixtures from it; a subclass that overrides SetUp or
// TearDown calls the base's too (SetUp first, TearDown last).
#pragma once

#include <map>
#include <string>

#include <gtest/gtest.h>

namespace ardo::test {

// What is alive at one moment, and on this thread's COM initialisation.
struct LeakSnapshot {
  long bstrs = 0;
  long safeArrays = 0;
  long objects = 0;
  long comInitCount = 0;
  std::map<std::string, long> objectsByClass;

  static LeakSnapshot Take();
};

// An empty string when `after` holds nothing more than `before`; otherwise
// one line per kind of leak ("2 BSTR(s)", "1 object(s) of class Foo", ...).
std::string DescribeLeaks(const LeakSnapshot& before, const LeakSnapshot& after);

class LeakCheckedTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

 private:
  LeakSnapshot before_;
  bool initialised_ = false;
};

}  // namespace ardo::test
