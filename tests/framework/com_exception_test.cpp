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

TEST_F(ComExceptionTest, CarriesAnyCodeUnchangedAndIsCaughtThroughEachBase) {
  // Success codes too: the thrower does not judge its argument.
  for (HRESULT hr : {E_FAIL, E_OUTOFMEMORY, REGDB_E_CLASSNOTREG, S_OK, S_FALSE}) {
    SCOPED_TRACE(HResultName(hr));
    EXPECT_THROWS_HR(AfxThrowComException(hr), hr);
    EXPECT_THROWS_HR(CComException::Throw(hr), hr);
    try {
      AfxThrowComException(hr);
    } catch (CException* e) {
      EXPECT_TRUE(e->m_bAutoDelete);
      auto* com = dynamic_cast<CComException*>(e);
      ASSERT_NE(com, nullptr);
      EXPECT_HR(com->m_hr, hr);
      e->Delete();
    }
  }
  bool caught = false;
  try {
    AfxThrowComException(E_ABORT);
  } catch (void* e) {
    caught = true;
    static_cast<CComException*>(e)->Delete();
  }
  EXPECT_TRUE(caught);
}

TEST_F(ComExceptionTest, HasTheBaseRuntimeClassAndNoMessageOfItsOwn) {
  CComException* e = new CComException(E_FAIL);
  EXPECT_EQ(e->GetRuntimeClass(), RUNTIME_CLASS(CException));
  char buffer[64] = "untouched";
  EXPECT_FALSE(e->GetErrorMessage(buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "");
  e->Delete();
}

TEST_F(ComExceptionTest, EmptyWrapperCheckRaisesMemoryOrOleException) {
  bool memory = false;
  try {
    ThrowFrameworkException(E_OUTOFMEMORY);
  } catch (CMemoryException* e) {
    memory = true;
    e->Delete();
  }
  EXPECT_TRUE(memory);
  for (HRESULT hr : {E_FAIL, S_FALSE}) {
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
