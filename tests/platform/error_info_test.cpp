// The thread's error object: set by a component, taken once by its caller,
// kept apart per thread, and let go when the thread leaves COM.
#include <thread>

#include "platform/platform.h"
#include "tests/support/assertions.h"
#include "tests/support/leak_fixture.h"

namespace {

using ErrorInfoTest = ardo::test::LeakCheckedTest;

std::string Description(IErrorInfo* info) {
  BSTR text = nullptr;
  EXPECT_HR(info->GetDescription(&text), S_OK);
  std::string narrow = ardo::BstrToUtf8(text);
  SysFreeString(text);
  return narrow;
}

TEST_F(ErrorInfoTest, TheThreadsErrorObjectIsTakenOnceAndReplacedByTheNext) {
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

TEST_F(ErrorInfoTest, EachThreadHasItsOwnAndLeavingComLetsItGo) {
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
