#include <string>

#include "platform/platform.h"
#include "tests/support/leak_fixture.h"

namespace {

using CStringTest = ardo::test::LeakCheckedTest;

TEST_F(CStringTest, ConstructionFromNarrowAndWideText) {
  EXPECT_TRUE(CString(static_cast<const char*>(nullptr)).IsEmpty());
  EXPECT_EQ(CString("abcdef", 3), "abc");
  EXPECT_EQ(CString("ab\0cd", 5).GetLength(), 5);  // an explicit length keeps NULs
  EXPECT_EQ(CString('x', 3), "xxx");
  EXPECT_EQ(CString(u"gr\u00FC\u00DF"), "gr\xC3\xBC\xC3\x9F");
  EXPECT_EQ(CString(u"gr\u00FC\u00DF").GetLength(), 6);  // bytes, not characters
  EXPECT_EQ(CString(static_cast<const OLECHAR*>(nullptr)), "");
  EXPECT_EQ(CString(L"\u20AC"), "\xE2\x82\xAC");
  BSTR withNul = SysAllocStringLen(u"ab\0cd", 5);
  EXPECT_EQ(CString(withNul), "ab");  // wide text stops at its first NUL
  SysFreeString(withNul);
}

TEST_F(CStringTest, ValueSemantics) {
  CString a("one");
  CString b = a;
  b += "two";
  EXPECT_EQ(a, "one");
  EXPECT_EQ(b, "onetwo");
  a = "changed";
  EXPECT_STREQ(static_cast<const char*>(b), "onetwo");
  a.Empty();
  EXPECT_TRUE(a.IsEmpty());
}

TEST_F(CStringTest, ComparisonsAgainstTextAndStrings) {
  CString s("Apple");
  EXPECT_TRUE(s == "Apple");
  EXPECT_TRUE("Apple" == s);
  EXPECT_TRUE(s != "apple");
  EXPECT_TRUE(s < "Banana");
  EXPECT_TRUE("Aardvark" < s);
  EXPECT_TRUE(CString("a") < CString("b"));
  EXPECT_LT(s.Compare("Banana"), 0);
  EXPECT_GT(s.Compare(nullptr), 0);
  EXPECT_EQ(s.CompareNoCase("aPPLE"), 0);
  EXPECT_LT(s.CompareNoCase("apples"), 0);
  EXPECT_EQ(CString().Compare(nullptr), 0);
}

TEST_F(CStringTest, SubstringsClampToTheText) {
  CString s("abcdef");
  struct {
    CString got;
    const char* expected;
  } cases[] = {
      {s.Left(2), "ab"},   {s.Left(-1), ""},     {s.Left(99), "abcdef"}, {s.Mid(4), "ef"},
      {s.Mid(2, 2), "cd"}, {s.Mid(5, 9), "f"},   {s.Mid(-3, 2), "ab"},   {s.Mid(9), ""},
      {s.Right(2), "ef"},  {s.Right(99), "abcdef"}, {s.Right(-2), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected);
  EXPECT_EQ(s[1], 'b');
  EXPECT_EQ(s.GetAt(6), '\0');
}

TEST_F(CStringTest, ConcatenationAndFormat) {
  CString s = CString("a") + "b" + CString("c") + 'd';
  EXPECT_EQ(s, "abcd");
  EXPECT_EQ("x" + s, "xabcd");
  CString f;
  f.Format("%s=%d (%.2f)", "n", 42, 1.5);
  EXPECT_EQ(f, "n=42 (1.50)");
  std::string longText(5000, 'z');
  f.Format("%s!", longText.c_str());
  EXPECT_EQ(f.GetLength(), 5001);
  f.Format("%d", 1);
  f.AppendFormat("-%d", 2);
  EXPECT_EQ(f, "1-2");
}

TEST_F(CStringTest, CaseTrimFindAndReplace) {
  CString s("  Mixed Case \xC3\xA9 \t\n");
  s.Trim();
  EXPECT_EQ(s, "Mixed Case \xC3\xA9");
  CString upper = s;
  upper.MakeUpper();
  EXPECT_EQ(upper, "MIXED CASE \xC3\xA9");  // non-ASCII bytes untouched
  s.MakeLower();
  EXPECT_EQ(s, "mixed case \xC3\xA9");
  CString dashes("--x--");
  dashes.TrimLeft('-');
  EXPECT_EQ(dashes, "x--");
  dashes.TrimRight("-");
  EXPECT_EQ(dashes, "x");
  CString all("---");
  all.Trim('-');
  EXPECT_TRUE(all.IsEmpty());

  CString text("one two one");
  EXPECT_EQ(text.Find("one"), 0);
  EXPECT_EQ(text.Find("one", 1), 8);
  EXPECT_EQ(text.Find('t'), 4);
  EXPECT_EQ(text.Find("three"), -1);
  EXPECT_EQ(text.Find('o', 99), -1);
  EXPECT_EQ(text.ReverseFind('o'), 8);
  EXPECT_EQ(text.Replace("one", "1"), 2);
  EXPECT_EQ(text, "1 two 1");
  EXPECT_EQ(text.Replace("", "x"), 0);
  CString grow("aa");
  EXPECT_EQ(grow.Replace("a", "aa"), 2);  // the replacement is not searched again
  EXPECT_EQ(grow, "aaaa");
  EXPECT_EQ(grow.Remove('a'), 4);
  EXPECT_TRUE(grow.IsEmpty());
}

TEST_F(CStringTest, BufferAccess) {
  CString s;
  char* buffer = s.GetBuffer(10);
  std::snprintf(buffer, 11, "%s", "hello");
  s.ReleaseBuffer();
  EXPECT_EQ(s, "hello");
  EXPECT_EQ(s.GetLength(), 5);
  s.GetBuffer(0);
  s.ReleaseBuffer(2);
  EXPECT_EQ(s, "he");
}

TEST_F(CStringTest, SystemStrings) {
  CString s("gr\xC3\xBC\xC3\x9F");
  BSTR b = s.AllocSysString();
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(SysStringLen(b), 4u);
  EXPECT_EQ(std::u16string(b), u"gr\u00FC\u00DF");
  CString("longer text").SetSysString(&b);
  EXPECT_EQ(std::u16string(b), u"longer text");
  SysFreeString(b);
  BSTR empty = CString().AllocSysString();
  ASSERT_NE(empty, nullptr);  // never a null BSTR
  EXPECT_EQ(SysStringLen(empty), 0u);
  SysFreeString(empty);
}

}  // namespace
