// The library's exception: thrown by pointer for any HRESULT, caught through
// each of its bases, carrying the code unchanged; and the framework
// exceptions that the empty-wrapper check raises instead.
#include <cstring>

#include <gtest/gtest.h>

#include "framework/com_exception.h"
#include "framework/interface_calling_wrapper.h"
#include "tests/support/assertions.h"
#include "tests/support/com_exception_assertions.h"
#include "tests/support/leak_fixture.h"

namespace ardo::test {
namespace {

class ComExceptionTest : public LeakCheckedTest {};
class ComExceptionCodes : public LeakCheckedTest,
                          public ::testing::WithParamInterface<HRESULT> {};

// Success codes too: the thrower does not judge its argument.
INSTANTIATE_TEST_SUITE_P(Codes, ComExceptionCodes,
                         ::testing::Values(E_FAIL, E_OUTOFMEMORY, E_NOINTERFACE,
                                           REGDB_E_CLASSNOTREG, S_OK, S_FALSE),
                         [](const auto& info) { return HResultName(info.param); });

TEST_P(ComExceptionCodes, AfxThrowComExceptionCarriesTheCodeUnchanged) {
  EXPECT_THROWS_HR(AfxThrowComException(GetParam()), GetParam());
  EXPECT_THROWS_HR(CComException::Throw(GetParam()), GetParam());
}

TEST_P(ComExceptionCodes, CaughtAsTheFrameworkExceptionBase) {
  try {
    AfxThrowComException(GetParam());
  } catch (CException* e) {
    EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(CException)));
    EXPECT_TRUE(e->m_bAutoDelete);
    auto* com = dynamic_cast<CComException*>(e);
    ASSERT_NE(com, nullptr);
    EXPECT_HR(com->m_hr, GetParam());
    e->Delete();
  }
}

TEST_F(ComExceptionTest, FailureCodesStayNegative) {
  try {
    AfxThrowComException(E_FAIL);
  } catch (CObject* e) {
    auto* com = dynamic_cast<CComException*>(e);
    ASSERT_NE(com, nullptr);
    EXPECT_LT(com->m_hr, 0);  // sign-extended into the long
    com->Delete();
  }
}

TEST_F(ComExceptionTest, CaughtAsAnyPointer) {
  bool caught = false;
  try {
    AfxThrowComException(E_ABORT);
  } catch (void* e) {
    caught = true;
    static_cast<CComException*>(e)->Delete();
  }
  EXPECT_TRUE(caught);
}

// The exception keeps the framework's run-time class and carries no text.
TEST_F(ComExceptionTest, HasNoMessageOfItsOwn) {
  CComException* e = new CComException(E_FAIL);
  EXPECT_EQ(e->GetRuntimeClass(), RUNTIME_CLASS(CException));
  char buffer[64];
  std::strcpy(buffer, "untouched");
  EXPECT_FALSE(e->GetErrorMessage(buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "");
  e->Delete();
}

TEST_F(ComExceptionTest, EmptyWrapperCheckRaisesTheMemoryExceptionForOutOfMemory) {
  bool memory = false;
  try {
    ThrowFrameworkException(E_OUTOFMEMORY);
  } catch (CMemoryException* e) {
    memory = true;
    e->Delete();
  }
  EXPECT_TRUE(memory);
}

TEST_F(ComExceptionTest, EmptyWrapperCheckRaisesTheOleExceptionForOtherCodes) {
  for (HRESULT hr : {E_FAIL, E_ACCESSDENIED, S_FALSE}) {
    SCOPED_TRACE(HResultName(hr));
    long code = 0;
    try {
      ThrowFrameworkException(hr);
    } catch (COleException* e) {
      code = e->m_sc;
      e->Delete();
    }
    EXPECT_HR(code, hr);
  }
}

}  // namespace
}  // namespace ardo::test
