// The library's exception: thrown by pointer for any HRESULT, caught through
// each of its bases, carrying the code unchanged; and the framework
// exceptions that the empty-wrapper check raises instead. And loading the
// library registers it once as an extension module of the class framework.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include "framework/com_exception.h"
#include "framework/interface_calling_wrapper.h"
#include "tests/support/assertions.h"
#include "tests/support/com_exception_assertions.h"
#include "tests/support/leak_fixture.h"
#include "tests/framework/framework_fakes.h"

namespace ardo::test {
namespace {

class ComExceptionTest : public LeakCheckedTest {};

TEST_F(ComExceptionTest, CarriesAnyCodeUnchangedAndIsCaughtThroughEachBase) {
  // Success codes too: the thrower does not judge its argument.
  for (HRESULT hr : {E_FAIL, E_OUTOFMEMORY, REGDB_E_CLASSNOTREG, S_OK, S_FALSE}) {
    SCOPED_TRACE(HResultName(hr));
    EXPECT_THROWS_HR(AfxThrowComException(hr), hr);
    EXPECT_THROWS_HR(CComException::Throw(hr), hr);
    CException* e = Thrown<CException>([hr] { AfxThrowComException(hr); });
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(e->m_bAutoDelete);
    EXPECT_HR(dynamic_cast<CComException&>(*e).m_hr, hr);  // a wrong class throws std::bad_cast
    e->Delete();
  }
  void* untyped = Thrown<void>([] { AfxThrowComException(E_ABORT); });
  ASSERT_NE(untyped, nullptr);
  static_cast<CComException*>(untyped)->Delete();
}

TEST_F(ComExceptionTest, EmptyWrapperCheckRaisesMemoryOrOleException) {
  CMemoryException* memory = Thrown<CMemoryException>([] { ThrowFrameworkException(E_OUTOFMEMORY); });
  ASSERT_NE(memory, nullptr);
  memory->Delete();
  for (HRESULT hr : {E_FAIL, S_FALSE}) {
    COleException* ole = Thrown<COleException>([hr] { ThrowFrameworkException(hr); });
    ASSERT_NE(ole, nullptr) << hr;
    EXPECT_HR(ole->m_sc, hr);
    ole->Delete();
  }
}

TEST_F(ComExceptionTest, TheLibraryIsLinkedIntoTheFrameworkExactlyOnce) {
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&AfxThrowComException), &info), 0);
  ASSERT_NE(info.dli_fbase, nullptr);
  EXPECT_EQ(LinkedExtensionLibraryCount(info.dli_fbase), 1);
}

}  // namespace
}  // namespace ardo::test
