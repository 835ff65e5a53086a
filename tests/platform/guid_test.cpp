#include <map>

#include "platform/platform.h"
#include "tests/support/assertions.h"
#include "tests/support/leak_fixture.h"

namespace {

using GuidTest = ardo::test::LeakCheckedTest;

constexpr GUID kSample{0x2933BF80, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

TEST_F(GuidTest, TextFormIsReadInEitherCase) {
  CLSID parsed{};
  ASSERT_HR(CLSIDFromString(u"{2933bf80-7b36-11d2-B20E-00c04f983e60}", &parsed), S_OK);
  EXPECT_EQ(parsed, kSample);
}

TEST_F(GuidTest, MalformedTextIsRefused) {
  const char16_t* bad[] = {
      u"2933BF80-7B36-11D2-B20E-00C04F983E60",     // no braces
      u"{2933BF80-7B36-11D2-B20E-00C04F983E60} ",  // trailing space
      u"{2933BF80-7B36-11D2-B20E00C04F983E60}",    // missing dash
      u"{2933BF8X-7B36-11D2-B20E-00C04F983E60}",   // not hex
      u"{2933BF80-7B36-11D2-B20E-00C04F983E6}",    // short
      u"",
  };
  for (const char16_t* text : bad) {
    SCOPED_TRACE(ardo::Utf16ToUtf8(text));
    CLSID out = kSample;
    EXPECT_HR(CLSIDFromString(text, &out), CO_E_CLASSSTRING);
    EXPECT_EQ(out, kSample);
  }
  CLSID out{};
  EXPECT_HR(CLSIDFromString(nullptr, &out), CO_E_CLASSSTRING);
  EXPECT_HR(CLSIDFromString(u"{2933BF80-7B36-11D2-B20E-00C04F983E60}", nullptr), E_POINTER);
}

TEST_F(GuidTest, ComparisonsOrderFieldByField) {
  GUID later = kSample, earlier = kSample;
  later.Data4[7] = 0x61;
  earlier.Data1 = 0x2933BF7F;
  EXPECT_TRUE(kSample != later);
  EXPECT_TRUE(kSample < later);
  EXPECT_FALSE(later < kSample);
  EXPECT_FALSE(kSample < kSample);
  std::map<GUID, int> byId{{kSample, 1}, {later, 2}, {earlier, 3}};
  EXPECT_EQ(byId.begin()->second, 3);
  static_assert(ardo::IidOf<IDispatch>() == IID_IDispatch);
}

}  // namespace
