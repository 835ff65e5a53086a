#include <set>
#include <string>

#include "platform/platform.h"
#include "tests/support/assertions.h"
#include "tests/support/leak_fixture.h"

namespace {

using HResultTest = ardo::test::LeakCheckedTest;

struct NamedCode {
  HRESULT hr;
  const char* name;
  uint32_t bits;
};

#define ARDO_TEST_ENTRY(name, value, message) {name, #name, value##u},
const NamedCode kAllCodes[] = {ARDO_HRESULT_LIST(ARDO_TEST_ENTRY)};
#undef ARDO_TEST_ENTRY

TEST_F(HResultTest, EveryListedCodeNamesItselfAndHasAMessage) {
  std::set<HRESULT> seen;
  for (const auto& code : kAllCodes) {
    SCOPED_TRACE(code.name);
    EXPECT_TRUE(seen.insert(code.hr).second) << "duplicate value";
    EXPECT_EQ(ardo::HResultName(code.hr), code.name);
    std::string message = ardo::HResultMessage(code.hr);
    EXPECT_EQ(message.find("Unknown error"), std::string::npos);
    bool namedAsSuccess = std::string(code.name).rfind("S_", 0) == 0;
    EXPECT_EQ(SUCCEEDED(code.hr), namedAsSuccess);
  }
}

TEST_F(HResultTest, Win32ErrorsMapIntoTheWin32Facility) {
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SUCCESS), S_OK);
  EXPECT_EQ(static_cast<uint32_t>(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)), 0x80070002u);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), E_ACCESSDENIED);
  HRESULT hr = HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION);
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(HRESULT_FACILITY(hr), static_cast<uint32_t>(FACILITY_WIN32));
  EXPECT_EQ(HRESULT_CODE(hr), ERROR_NO_UNICODE_TRANSLATION);
  // A value that already is an HRESULT passes unchanged.
  EXPECT_EQ(HRESULT_FROM_WIN32(static_cast<unsigned long>(static_cast<uint32_t>(E_FAIL))), E_FAIL);
}

TEST_F(HResultTest, NamesOfCodesOutsideTheList) {
  EXPECT_EQ(ardo::HResultName(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)),
            "HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)");
  EXPECT_EQ(ardo::HResultMessage(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)),
            "The system cannot find the path specified.");
  // Listed names win over the Win32 form of the same value.
  EXPECT_EQ(ardo::HResultName(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)), "E_ACCESSDENIED");
  HRESULT unnamed = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x1234);
  EXPECT_EQ(ardo::HResultName(unnamed), "0x80041234");
  EXPECT_EQ(ardo::HResultMessage(unnamed), "Unknown error 0x80041234.");
}

TEST_F(HResultTest, AssertionHelperPrintsNamesAndRejectsUnsignedLongs) {
  EXPECT_TRUE(ardo::test::HResultEquals("a", "b", E_FAIL, E_FAIL));
  auto mismatch = ardo::test::HResultEquals("call()", "S_OK", E_NOTIMPL, S_OK);
  ASSERT_FALSE(mismatch);
  EXPECT_NE(std::string(mismatch.message()).find("E_NOTIMPL (0x80004001)"), std::string::npos);
  // 0x80004005 held positive in a long is not E_FAIL.
  long unsignedForm = 0x80004005L;
  auto lost = ardo::test::HResultEquals("x", "E_FAIL", unsignedForm, E_FAIL);
  EXPECT_FALSE(lost);
  EXPECT_NE(std::string(lost.message()).find("without its sign"), std::string::npos);
}

}  // namespace
