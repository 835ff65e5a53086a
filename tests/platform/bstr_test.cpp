#include <string>
#include <thread>

#include "platform/platform.h"
#include "tests/support/assertions.h"
#include "tests/support/leak_fixture.h"

namespace {

using BstrTest = ardo::test::LeakCheckedTest;

TEST_F(BstrTest, LengthsComeFromThePrefixAndEmbeddedNulsSurvive) {
  const OLECHAR text[] = u"ab\0cd";
  BSTR s = SysAllocStringLen(text, 5);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 5u);
  EXPECT_EQ(s[2], u'\0');
  EXPECT_EQ(s[4], u'd');
  EXPECT_EQ(s[5], u'\0');  // terminator after the counted text
  EXPECT_EQ(*(reinterpret_cast<uint32_t*>(s) - 1), 10u);
  SysFreeString(s);
}

TEST_F(BstrTest, NullRules) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);  // a no-op, and no count change (checked at teardown)
  BSTR blank = SysAllocStringLen(nullptr, 3);
  ASSERT_NE(blank, nullptr);
  EXPECT_EQ(SysStringLen(blank), 3u);
  EXPECT_EQ(blank[0], 0);
  EXPECT_EQ(blank[3], 0);
  SysFreeString(blank);
  BSTR empty = SysAllocString(u"");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(empty), 0u);
  SysFreeString(empty);
}

TEST_F(BstrTest, LiveCountFollowsStringsAcrossThreadsAndReusedBlocksComeBackClean) {
  const long before = ardo::LiveBstrCount();
  // Made on one thread, freed on another; one made by a thread that ends
  // while the string lives on.
  BSTR kept = nullptr, handed = nullptr;
  std::thread maker([&] {
    kept = SysAllocString(u"kept");
    handed = SysAllocString(u"handed over");
    SysFreeString(SysAllocString(u"gone"));
  });
  maker.join();
  EXPECT_EQ(ardo::LiveBstrCount(), before + 2);
  SysFreeString(handed);
  EXPECT_EQ(ardo::LiveBstrCount(), before + 1);
  // A freed block of this size comes back for the next string, with the
  // new length and terminator.
  BSTR longer = SysAllocStringLen(u"abcdefghij", 10);
  SysFreeString(longer);
  BSTR shorter = SysAllocStringLen(u"xyz", 3);
  EXPECT_EQ(SysStringLen(shorter), 3u);
  EXPECT_EQ(std::u16string(shorter), u"xyz");
  SysFreeString(shorter);
  EXPECT_EQ(std::u16string(kept), u"kept");
  SysFreeString(kept);
  EXPECT_EQ(ardo::LiveBstrCount(), before);
}

TEST_F(BstrTest, FaultInjectionFailsAfterTheGivenNumberOfAllocations) {
  ardo::FailBstrAllocationsAfter(2);
  BSTR first = SysAllocString(u"1");
  BSTR second = SysAllocStringLen(u"2", 1);
  BSTR third = SysAllocString(u"3");
  EXPECT_NE(first, nullptr);
  EXPECT_NE(second, nullptr);
  EXPECT_EQ(third, nullptr);
  EXPECT_EQ(ardo::Utf8ToBstr("x"), nullptr);
  ardo::FailBstrAllocationsAfter(-1);
  BSTR again = SysAllocString(u"ok");
  EXPECT_NE(again, nullptr);
  SysFreeString(first);
  SysFreeString(second);
  SysFreeString(again);
}

TEST_F(BstrTest, FaultInjectionAtZeroFailsAtOnceAndCStringThrows) {
  ardo::FailBstrAllocationsAfter(0);
  EXPECT_EQ(SysAllocString(u"a"), nullptr);
  try {
    SysFreeString(CString("abc").AllocSysString());
    ADD_FAILURE() << "did not throw";
  } catch (CMemoryException* e) {
    e->Delete();
  }
}

}  // namespace
