#include <string>

#include "platform/platform.h"
#include "tests/support/leak_fixture.h"

namespace {

using CStringTest = ardo::test::LeakCheckedTest;

TEST_F(CStringTest, ConstructionFromNarrowAndWideText) {
  EXPECT_TRUE(CString(static_cast<const char*>(nullptr)).IsEmpty());
  EXPECT_EQ(CString("ab\0cd", 5).GetLength(), 5);  // an explicit length keeps NULs
  EXPECT_EQ(CString(u"gr\u00FC\u00DF").GetLength(), 6);  // UTF-8 bytes, not characters
  CString a("one");
  CString b = a;
  b += "two";
  EXPECT_EQ(a, "one");  // value semantics
  EXPECT_EQ(b, "onetwo");
}

TEST_F(CStringTest, Comparisons) {
  CString s("Apple");
  EXPECT_TRUE("Apple" == s);
  EXPECT_TRUE(s != "apple");
  EXPECT_TRUE("Aardvark" < s);
  EXPECT_GT(s.Compare(nullptr), 0);
  EXPECT_EQ(CString().Compare(nullptr), 0);
}

TEST_F(CStringTest, LeftClampsToTheText) {
  CString s("abcdef");
  EXPECT_EQ(s.Left(-1), "");
  EXPECT_EQ(s.Left(2), "ab");
  EXPECT_EQ(s.Left(99), "abcdef");
}

TEST_F(CStringTest, SystemStrings) {
  BSTR b = CString("gr\xC3\xBC\xC3\x9F").AllocSysString();
  EXPECT_EQ(std::u16string(b), u"gr\u00FC\u00DF");
  SysFreeString(b);
  BSTR empty = CString().AllocSysString();
  ASSERT_NE(empty, nullptr);  // never a null BSTR
  SysFreeString(empty);
}

}  // namespace
