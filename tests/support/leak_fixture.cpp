#include "tests/support/leak_fixture.h"

#include <sstream>

#include "platform/platform.h"

namespace ardo::test {

LeakSnapshot LeakSnapshot::Take() {
  LeakSnapshot snapshot;
  snapshot.bstrs = LiveBstrCount();
  snapshot.safeArrays = LiveSafeArrayCount();
  snapshot.objects = LiveObjectCount();
  snapshot.comInitCount = ComInitCount();
  snapshot.objectsByClass = LiveObjectsByClass();
  return snapshot;
}

namespace {

// "N <what> left alive", or for a negative difference the sign of a
// double release: "N <what> freed that the test did not create".
void Report(std::ostringstream& out, long difference, const std::string& what) {
  if (difference > 0) out << difference << " " << what << " left alive\n";
  if (difference < 0) out << -difference << " " << what << " freed that the test did not create\n";
}

}  // namespace

std::string DescribeLeaks(const LeakSnapshot& before, const LeakSnapshot& after) {
  std::ostringstream out;
  Report(out, after.bstrs - before.bstrs, "BSTR(s)");
  Report(out, after.safeArrays - before.safeArrays, "SAFEARRAY(s)");
  std::map<std::string, long> difference;
  for (const auto& [name, count] : after.objectsByClass) difference[name] += count;
  for (const auto& [name, count] : before.objectsByClass) difference[name] -= count;
  for (const auto& [name, count] : difference) Report(out, count, "object(s) of class " + name);
  if (after.comInitCount != before.comInitCount)
    out << "COM initialised " << (after.comInitCount - before.comInitCount)
        << " more time(s) than uninitialised on the test thread\n";
  return out.str();
}

void LeakCheckedTest::SetUp() {
  long initCount = ComInitCount();
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ASSERT_TRUE(SUCCEEDED(hr)) << "CoInitializeEx failed: " << HResultName(hr);
  initialised_ = true;
  before_ = LeakSnapshot::Take();
  before_.comInitCount = initCount;
}

void LeakCheckedTest::TearDown() {
  FailBstrAllocationsAfter(-1);  // a test that stopped half-way must not poison the next
  if (!initialised_) return;
  CoUninitialize();
  initialised_ = false;
  std::string leaks = DescribeLeaks(before_, LeakSnapshot::Take());
  if (!leaks.empty()) ADD_FAILURE() << "The test leaked:\n" << leaks;
}

}  // namespace ardo::test
