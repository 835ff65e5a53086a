// BSTRs (length-prefixed, counted, fault-injectable) and the UTF-8/UTF-16
// conversions beside them.
#include <string>
#include <thread>

#include "platform/platform.h"
#include "tests/support/assertions.h"
#include "tests/support/leak_fixture.h"

namespace {

using StringsTest = ardo::test::LeakCheckedTest;

const std::string kReplacement = "\xEF\xBF\xBD";

TEST_F(StringsTest, BstrLengthsComeFromThePrefixAndNullRules) {
  const OLECHAR text[] = u"ab\0cd";
  BSTR s = SysAllocStringLen(text, 5);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 5u);  // embedded NULs survive
  EXPECT_EQ(s[2], u'\0');
  EXPECT_EQ(s[4], u'd');
  EXPECT_EQ(s[5], u'\0');  // terminator after the counted text
  EXPECT_EQ(*(reinterpret_cast<uint32_t*>(s) - 1), 10u);
  SysFreeString(s);

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

TEST_F(StringsTest, BstrLiveCountFollowsStringsAcrossThreadsAndReusedBlocksComeBackClean) {
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
  SysFreeString(SysAllocStringLen(u"abcdefghij", 10));
  BSTR shorter = SysAllocStringLen(u"xyz", 3);
  EXPECT_EQ(SysStringLen(shorter), 3u);
  EXPECT_EQ(std::u16string(shorter), u"xyz");
  SysFreeString(shorter);
  EXPECT_EQ(std::u16string(kept), u"kept");
  SysFreeString(kept);
  EXPECT_EQ(ardo::LiveBstrCount(), before);
}

TEST_F(StringsTest, BstrFaultInjectionFailsAfterTheGivenNumberOfAllocations) {
  ardo::FailBstrAllocationsAfter(2);
  BSTR first = SysAllocString(u"1");
  BSTR second = SysAllocStringLen(u"2", 1);
  EXPECT_NE(first, nullptr);
  EXPECT_NE(second, nullptr);
  EXPECT_EQ(SysAllocString(u"3"), nullptr);
  EXPECT_EQ(ardo::Utf8ToBstr("x"), nullptr);
  ardo::FailBstrAllocationsAfter(-1);
  BSTR again = SysAllocString(u"ok");
  EXPECT_NE(again, nullptr);
  SysFreeString(first);
  SysFreeString(second);
  SysFreeString(again);
  // At zero the very next allocation fails, and the framework string throws.
  ardo::FailBstrAllocationsAfter(0);
  EXPECT_EQ(SysAllocString(u"a"), nullptr);
  try {
    SysFreeString(CString("abc").AllocSysString());
    ADD_FAILURE() << "did not throw";
  } catch (CMemoryException* e) {
    e->Delete();
  }
}

TEST_F(StringsTest, Utf8ToUtf16ReplacesEachMaximalBadSequence) {
  const struct { const char* label; std::string input; std::u16string expected; } cases[] = {
      {"ascii", "abc", u"abc"},
      {"two-byte", "\xC3\xA9", u"\u00E9"},
      {"three-byte", "\xE2\x82\xAC", u"\u20AC"},
      {"four-byte becomes a pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"stray continuation", "a\x80z", u"a\uFFFDz"},
      {"overlong slash C0 AF", "\xC0\xAF", u"\uFFFD\uFFFD"},
      {"overlong NUL C0 80", "\xC0\x80", u"\uFFFD\uFFFD"},
      {"overlong three-byte", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
      {"overlong four-byte", "\xF0\x80\x80\xAF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"F5 lead", "\xF5\x80", u"\uFFFD\uFFFD"},
      {"truncated at end", "ab\xE2\x82", u"ab\uFFFD"},
      {"truncated then ascii", "\xE2\x82z", u"\uFFFDz"},
      {"FF byte", "\xFF", u"\uFFFD"},
      {"highest code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(ardo::Utf8ToUtf16(c.input), c.expected);
  }
}

TEST_F(StringsTest, Utf16ToUtf8ReplacesLoneSurrogatesAndJoinsPairs) {
  struct { const char* label; std::u16string input; std::string expected; } cases[] = {
      {"pair", u"\U0001F600", "\xF0\x9F\x98\x80"},
      {"lone high at end", std::u16string(u"a") + char16_t(0xD800), "a" + kReplacement},
      {"lone low", std::u16string(1, char16_t(0xDC00)) + u"b", kReplacement + "b"},
      {"reversed pair", std::u16string{char16_t(0xDC00), char16_t(0xD800)},
       kReplacement + kReplacement},
      {"high then letter", std::u16string{char16_t(0xD83D), u'x'}, kReplacement + "x"},
      {"BMP edge", u"\uFFFF", "\xEF\xBF\xBF"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(ardo::Utf16ToUtf8(c.input), c.expected);
  }
}

TEST_F(StringsTest, BstrHelpersStopAtTheFirstNulAndRoundTrip) {
  EXPECT_EQ(ardo::BstrToUtf8(nullptr), "");
  BSTR withNul = SysAllocStringLen(u"ab\0cd", 5);
  EXPECT_EQ(ardo::BstrToUtf8(withNul), "ab");
  SysFreeString(withNul);
  EXPECT_EQ(ardo::Utf8ToBstr(nullptr), nullptr);
  BSTR s = ardo::Utf8ToBstr("gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 7u);  // 5 BMP characters + a surrogate pair
  EXPECT_EQ(ardo::BstrToUtf8(s), "gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80");
  SysFreeString(s);
}

TEST_F(StringsTest, WideToUtf8ReplacesInvalidCodePoints) {
  std::wstring text = L"a";
  text += static_cast<wchar_t>(0x1F600);
  text += static_cast<wchar_t>(0xD800);
  text += static_cast<wchar_t>(0x110000);
  EXPECT_EQ(ardo::WideToUtf8(text), "a\xF0\x9F\x98\x80" + kReplacement + kReplacement);
}

}  // namespace
