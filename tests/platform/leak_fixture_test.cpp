#include "platform/platform.h"
#include "tests/support/assertions.h"
#include "tests/support/leak_fixture.h"

namespace {

using LeakFixtureTest = ardo::test::LeakCheckedTest;

class Leaky : public ardo::ComObject<Leaky, IUnknown> {};

// The fixture's own check, run on a deliberate leak of each kind, then
// cleaned up so that the real fixture around this test stays green.
TEST_F(LeakFixtureTest, NamesEveryKindOfLeak) {
  Leaky* older = ardo::MakeObject<Leaky>().Detach();
  auto before = ardo::test::LeakSnapshot::Take();
  EXPECT_EQ(ardo::test::DescribeLeaks(before, ardo::test::LeakSnapshot::Take()), "");

  BSTR s1 = SysAllocString(u"a");
  BSTR s2 = SysAllocString(u"b");
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, 1);
  Leaky* object = ardo::MakeObject<Leaky>().Detach();
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  std::string report = ardo::test::DescribeLeaks(before, ardo::test::LeakSnapshot::Take());
  CoUninitialize();
  EXPECT_NE(report.find("2 BSTR(s)"), std::string::npos) << report;
  EXPECT_NE(report.find("1 SAFEARRAY(s)"), std::string::npos) << report;
  EXPECT_NE(report.find("1 object(s) of class (anonymous namespace)::Leaky"), std::string::npos)
      << report;
  EXPECT_NE(report.find("COM initialised 1 more time(s)"), std::string::npos) << report;

  SysFreeString(s1);
  SysFreeString(s2);
  SafeArrayDestroy(array);
  object->Release();
  EXPECT_EQ(ardo::test::DescribeLeaks(before, ardo::test::LeakSnapshot::Take()), "");
  // An object freed that existed before is reported too.
  older->Release();
  report = ardo::test::DescribeLeaks(before, ardo::test::LeakSnapshot::Take());
  EXPECT_NE(report.find("1 object(s) of class (anonymous namespace)::Leaky freed that the test "
                        "did not create"),
            std::string::npos)
      << report;
}

TEST_F(LeakFixtureTest, TheTestRunsWithComInitialised) {
  EXPECT_EQ(ardo::ComInitCount(), 1);
  void* p = nullptr;
  // Initialised, so an unknown class is the failure, not CO_E_NOTINITIALIZED.
  EXPECT_HR(CoCreateInstance(GUID_NULL, nullptr, CLSCTX_ALL, IID_IUnknown, &p),
            REGDB_E_CLASSNOTREG);
}

}  // namespace
