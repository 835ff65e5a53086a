// HRESULTs by name and message, and the thread's error object: set by a
// component, taken once by its caller, kept apart per thread, and let go
// when the thread leaves COM.
#include <set>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "tests/support/assertions.h"
#include "tests/support/leak_fixture.h"

namespace {

using ErrorsTest = ardo::test::LeakCheckedTest;

struct NamedCode {
  HRESULT hr;
  const char* name;
  uint32_t bits;
};

#define ARDO_TEST_ENTRY(name, value, message) {name, #name, value##u},
const NamedCode kAllCodes[] = {ARDO_HRESULT_LIST(ARDO_TEST_ENTRY)};
#undef ARDO_TEST_ENTRY

TEST_F(ErrorsTest, EveryListedCodeNamesItselfAndHasAMessage) {
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

TEST_F(ErrorsTest, Win32ErrorsMapIntoTheWin32FacilityAndAreNamed) {
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SUCCESS), S_OK);
  EXPECT_EQ(static_cast<uint32_t>(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)), 0x80070002u);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), E_ACCESSDENIED);
  HRESULT hr = HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION);
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(HRESULT_FACILITY(hr), static_cast<uint32_t>(FACILITY_WIN32));
  EXPECT_EQ(HRESULT_CODE(hr), ERROR_NO_UNICODE_TRANSLATION);
  // A value that already is an HRESULT passes unchanged.
  EXPECT_EQ(HRESULT_FROM_WIN32(static_cast<unsigned long>(static_cast<uint32_t>(E_FAIL))), E_FAIL);

  // Codes outside the list.
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

TEST_F(ErrorsTest, AssertionHelperPrintsNamesAndRejectsUnsignedLongs) {
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

std::string Description(IErrorInfo* info) {
  BSTR text = nullptr;
  EXPECT_HR(info->GetDescription(&text), S_OK);
  std::string narrow = ardo::BstrToUtf8(text);
  SysFreeString(text);
  return narrow;
}

TEST_F(ErrorsTest, TheThreadsErrorObjectIsTakenOnceAndReplacedByTheNext) {
  ardo::ComPtr<IErrorInfo> info;
  EXPECT_HR(GetErrorInfo(0, info.Out()), S_FALSE);
  EXPECT_FALSE(info);

  ASSERT_TRUE(ardo::SetErrorDescription("first", "test"));
  ASSERT_TRUE(ardo::SetErrorDescription("caf\xC3\xA9 second", "test", IID_IStream));
  ASSERT_HR(GetErrorInfo(0, info.Out()), S_OK);
  ASSERT_TRUE(info);
  EXPECT_EQ(Description(info.Get()), "caf\xC3\xA9 second") << "the later error replaces the earlier";
  GUID guid = GUID_NULL;
  EXPECT_HR(info->GetGUID(&guid), S_OK);
  EXPECT_TRUE(guid == IID_IStream);
  BSTR source = nullptr;
  EXPECT_HR(info->GetSource(&source), S_OK);
  EXPECT_EQ(ardo::BstrToUtf8(source), "test");
  SysFreeString(source);
  ardo::ComPtr<IErrorInfo> again;
  EXPECT_HR(GetErrorInfo(0, again.Out()), S_FALSE) << "taking it clears it";

  ASSERT_TRUE(ardo::SetErrorDescription("cleared", "test"));
  EXPECT_HR(SetErrorInfo(0, nullptr), S_OK);
  EXPECT_HR(GetErrorInfo(0, again.Out()), S_FALSE);
  EXPECT_HR(SetErrorInfo(1, nullptr), E_INVALIDARG);
  EXPECT_HR(GetErrorInfo(0, nullptr), E_INVALIDARG);
}

TEST_F(ErrorsTest, EachThreadHasItsOwnAndLeavingComLetsItGo) {
  ASSERT_TRUE(ardo::SetErrorDescription("main", "test"));
  std::thread other([] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ardo::ComPtr<IErrorInfo> info;
    EXPECT_HR(GetErrorInfo(0, info.Out()), S_FALSE) << "not the main thread's";
    ardo::SetErrorDescription("left behind", "test");
    CoUninitialize();
    EXPECT_HR(GetErrorInfo(0, info.Out()), S_FALSE) << "gone with the thread's last CoUninitialize";
  });
  other.join();
  ardo::ComPtr<IErrorInfo> info;
  ASSERT_HR(GetErrorInfo(0, info.Out()), S_OK);
  EXPECT_EQ(Description(info.Get()), "main");
}

}  // namespace
