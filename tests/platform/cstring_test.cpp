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
  EXPECT_EQ(s.CompareNoCase("aPPLE"), 0);
  EXPECT_LT(s.CompareNoCase("apples"), 0);
}

TEST_F(CStringTest, SubstringsClampToTheText) {
  CString s("abcdef");
  const struct {
    CString got;
    const char* expected;
  } cases[] = {
      {s.Left(-1), ""},  {s.Left(99), "abcdef"}, {s.Mid(4), "ef"},     {s.Mid(2, 2), "cd"},
      {s.Mid(5, 9), "f"}, {s.Mid(-3, 2), "ab"},  {s.Mid(9), ""},       {s.Right(2), "ef"},
      {s.Right(99), "abcdef"}, {s.Right(-2), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected);
  EXPECT_EQ(s.GetAt(6), '\0');
}

TEST_F(CStringTest, FormatCaseTrimFindAndReplace) {
  CString f;
  f.Format("%s!", std::string(5000, 'z').c_str());  // beyond any fixed buffer
  EXPECT_EQ(f.GetLength(), 5001);
  f.Format("%d", 1);
  f.AppendFormat("-%.2f", 2.0);
  EXPECT_EQ(f, "1-2.00");
  CString s("  Mixed \xC3\xA9 \t\n");
  s.Trim();
  s.MakeUpper();
  EXPECT_EQ(s, "MIXED \xC3\xA9");  // non-ASCII bytes untouched
  CString text("one two one");
  EXPECT_EQ(text.Find("one", 1), 8);
  EXPECT_EQ(text.Find('o', 99), -1);
  EXPECT_EQ(text.Replace("", "x"), 0);
  CString grow("aa");
  EXPECT_EQ(grow.Replace("a", "aa"), 2);  // the replacement is not searched again
  EXPECT_EQ(grow, "aaaa");
}

TEST_F(CStringTest, SystemStrings) {
  BSTR b = CString("gr\xC3\xBC\xC3\x9F").AllocSysString();
  EXPECT_EQ(std::u16string(b), u"gr\u00FC\u00DF");
  CString("longer text").SetSysString(&b);
  EXPECT_EQ(std::u16string(b), u"longer text");
  SysFreeString(b);
  BSTR empty = CString().AllocSysString();
  ASSERT_NE(empty, nullptr);  // never a null BSTR
  SysFreeString(empty);
}

}  // namespace
