#include <string>

#include "platform/platform.h"
#include "tests/support/leak_fixture.h"

namespace {

using TextEncodingTest = ardo::test::LeakCheckedTest;

const std::string kReplacement = "\xEF\xBF\xBD";

struct Utf8Case {
  const char* label;
  std::string input;
  std::u16string expected;
};

TEST_F(TextEncodingTest, Utf8ToUtf16ReplacesEachMaximalBadSequence) {
  const Utf8Case cases[] = {
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

TEST_F(TextEncodingTest, Utf16ToUtf8ReplacesLoneSurrogatesAndJoinsPairs) {
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

TEST_F(TextEncodingTest, BstrHelpersStopAtTheFirstNulAndRoundTrip) {
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

TEST_F(TextEncodingTest, WideToUtf8ReplacesInvalidCodePoints) {
  std::wstring text = L"a";
  text += static_cast<wchar_t>(0x1F600);
  text += static_cast<wchar_t>(0xD800);
  text += static_cast<wchar_t>(0x110000);
  EXPECT_EQ(ardo::WideToUtf8(text), "a\xF0\x9F\x98\x80" + kReplacement + kReplacement);
}

}  // namespace
