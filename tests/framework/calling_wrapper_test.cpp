// The calling-wrapper template's contract, run over several roster classes:
// reference accounting of every member, the empty-wrapper rules and creation
// by class identity and by ProgID. Then the library's exception: thrown by
// pointer for any HRESULT, caught through each of its bases, carrying the code
// unchanged; the framework exceptions raised instead where there is no call;
// and the library's registration as an extension module of the framework.
#include <dlfcn.h>

#include <memory>
#include <type_traits>

#include <gtest/gtest.h>

#include "ardoxml/ardoxml.h"
#include "dom/xml_dom_node.h"
#include "tests/framework/framework_fakes.h"
#include "tests/support/assertions.h"
#include "tests/support/com_exception_assertions.h"
#include "tests/support/leak_fixture.h"
#include "transform_http/xsl_template.h"

namespace ardo::test {
namespace {

// A class identity and a ProgID that nothing registers outside these tests.
constexpr CLSID kTestClass = {0xA7D0C1E2, 0x0000, 0x4000, {0x80, 0x00, 0, 0, 0, 0, 0xF0, 0x01}};
constexpr const char* kTestProgId = "Ardo.FrameworkTest.Object";

template <class Wrapper, class Fake>
struct Case { using W = Wrapper; using F = Fake; };

template <class C>
class CallingWrapperContract : public LeakCheckedTest {
 protected:
  using W = typename C::W;
  using I = std::remove_pointer_t<decltype(std::declval<W&>().GetP())>;

  void SetUp() override {
    LeakCheckedTest::SetUp();
    a_ = MakeObject<typename C::F>(), b_ = MakeObject<typename C::F>();
  }
  void TearDown() override {
    a_ = b_ = nullptr;
    LeakCheckedTest::TearDown();
  }
  I* A() { return a_.Get(); }
  I* B() { return b_.Get(); }

  ComPtr<typename C::F> a_, b_;
};

// One DOM and one non-DOM instantiation; every instantiation is the same template.
using RosterSample = ::testing::Types<Case<CXMLDOMNode, FakeNode>, Case<CXSLTemplate, FakeTemplate>>;
TYPED_TEST_SUITE(CallingWrapperContract, RosterSample);

TYPED_TEST(CallingWrapperContract, EmptyWrapperYieldsNullAndDereferenceThrows) {
  typename TestFixture::W w, fromNull(nullptr, 1), emptyCopy(w);
  EXPECT_TRUE(!fromNull);
  EXPECT_TRUE(!emptyCopy);
  EXPECT_EQ(w.GetP(), nullptr);
  EXPECT_EQ(w.operator->(), nullptr);
  EXPECT_EQ(static_cast<typename TestFixture::I*>(w), nullptr);
  EXPECT_EQ(w.CopyTo(), nullptr);
  EXPECT_EQ(w.Detach(1), nullptr);
  EXPECT_EQ(w.Detach(0), nullptr);
  w = emptyCopy;
  EXPECT_TRUE(!w);
  EXPECT_TRUE(Throws<COleException>([&w] { (void)*w; },
                                    [](COleException* e) { EXPECT_HR(e->m_sc, E_FAIL); }));
  typename TestFixture::W holding(this->A(), 1);
  EXPECT_EQ(std::addressof(*holding), this->A());
}

TYPED_TEST(CallingWrapperContract, EveryMemberCountsReferencesAsDocumented) {
  using W = typename TestFixture::W;
  auto& a = *this->a_;
  auto& b = *this->b_;
  this->A()->AddRef();  // as an interface method delivers it
  { W adopting(this->A(), 0); }
  EXPECT_EQ(a.RefCount(), 1u);  // taken over, then released
  {
    W w(this->A(), 1), copy(w);
    EXPECT_EQ(copy.GetP(), this->A());
    EXPECT_EQ(a.RefCount(), 3u);
    typename TestFixture::I* out = w.CopyTo();
    EXPECT_EQ(out, this->A());
    EXPECT_EQ(a.RefCount(), 4u);
    out->Release();
    // Assigning the pointer already held touches no count.
    const long addRefs = a.AddRefCalls(), releases = a.ReleaseCalls();
    W& alias = w;
    w = alias;
    w = copy;
    EXPECT_EQ(a.AddRefCalls(), addRefs);
    EXPECT_EQ(a.ReleaseCalls(), releases);
    W other(this->B(), 1);
    w = other;
    EXPECT_EQ(w.GetP(), this->B());
    EXPECT_EQ(a.RefCount(), 2u);
    EXPECT_EQ(b.RefCount(), 3u);
    w = W();
    EXPECT_TRUE(!w);
    EXPECT_EQ(b.RefCount(), 2u);
  }
  EXPECT_EQ(a.RefCount(), 1u);
  EXPECT_EQ(b.RefCount(), 1u);

  // Attach stores only into an empty wrapper; operator= attaches.
  W w(this->A(), 1);
  const long bAddRefs = b.AddRefCalls(), bReleases = b.ReleaseCalls();
  EXPECT_EQ(w.Attach(this->B(), 1), 0);
  EXPECT_EQ(w.Attach(this->B(), 0), 0);
  EXPECT_EQ(w = this->B(), this->A());  // the old pointer comes back
  EXPECT_EQ(w.GetP(), this->A());
  EXPECT_EQ(b.AddRefCalls(), bAddRefs);
  EXPECT_EQ(b.ReleaseCalls(), bReleases);
  W empty;
  EXPECT_EQ(empty.Attach(nullptr, 1), 1);
  EXPECT_TRUE(!empty);
  this->B()->AddRef();  // delivered, taken over without AddRef
  EXPECT_EQ(empty.Attach(this->B(), 0), 1);
  EXPECT_EQ(b.AddRefCalls(), bAddRefs + 1);
  W assigned;
  EXPECT_EQ(assigned = this->A(), this->A());
  EXPECT_EQ(a.RefCount(), 3u);

  // Detach(1) releases, Detach(0) hands over; operator& is the out slot.
  EXPECT_EQ(assigned.Detach(1), this->A());
  EXPECT_TRUE(!assigned);
  EXPECT_EQ(a.RefCount(), 2u);
  typename TestFixture::I* handed = w.Detach(0);
  EXPECT_EQ(handed, this->A());
  EXPECT_EQ(a.RefCount(), 2u);
  handed->Release();
  typename TestFixture::I** slot = &w;
  this->A()->AddRef();  // as an out-parameter delivers it
  *slot = this->A();
  EXPECT_EQ(w.Detach(1), this->A());
  EXPECT_EQ(a.RefCount(), 1u);
}

TYPED_TEST(CallingWrapperContract, CreationAsksForTheWrappedInterfaceAndLeavesAFailureAsItWas) {
  using W = typename TestFixture::W;
  W empty, holding(this->A(), 1);
  const long addRefs = this->a_->AddRefCalls(), releases = this->a_->ReleaseCalls();
  for (W* w : {std::addressof(empty), std::addressof(holding)}) {  // operator& is the out slot
    EXPECT_HR(w->CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL), REGDB_E_CLASSNOTREG);
    for (const char* progId : {kTestProgId, "", static_cast<const char*>(nullptr), "not a progid!"}) {
      SCOPED_TRACE(progId ? progId : "(null)");
      EXPECT_HR(w->CoCreateInstance(progId, nullptr, CLSCTX_ALL), CO_E_CLASSSTRING);
    }
  }
  EXPECT_TRUE(!empty);
  EXPECT_EQ(holding.GetP(), this->A());
  EXPECT_EQ(this->a_->AddRefCalls(), addRefs);
  EXPECT_EQ(this->a_->ReleaseCalls(), releases);
  FailBstrAllocationsAfter(0);
  const bool thrown =
      Throws<CMemoryException>([&] { holding.CoCreateInstance(kTestProgId, nullptr, CLSCTX_ALL); });
  FailBstrAllocationsAfter(-1);
  EXPECT_TRUE(thrown);  // the ProgID's BSTR could not be allocated
  EXPECT_EQ(holding.GetP(), this->A());

  auto factory = MakeObject<RecordingFactory>(S_OK, this->a_->GetUnknown());
  ScopedClassRegistration registration(kTestClass, factory->GetUnknown());
  ASSERT_HR(registration.Result(), S_OK);
  ASSERT_HR(RegisterProgID(kTestProgId, kTestClass), S_OK);
  W byClass, byProgId;
  EXPECT_HR(byClass.CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER), S_OK);
  EXPECT_EQ(byClass.GetP(), this->A());
  EXPECT_HR(byProgId.CoCreateInstance(kTestProgId, nullptr, CLSCTX_INPROC_SERVER), S_OK);
  EXPECT_EQ(byProgId.GetP(), this->A());
  ASSERT_EQ(factory->Asked().size(), 2u);
  for (const IID& asked : factory->Asked()) EXPECT_EQ(asked, IidOf<typename TestFixture::I>());
  // One reference each for the test, the factory, the two wrappers and `holding`.
  EXPECT_EQ(this->a_->RefCount(), 5u);
  EXPECT_HR(UnregisterProgID(kTestProgId), S_OK);

  W w(this->B(), 1);  // creation replaces the held pointer
  EXPECT_HR(w.CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER), S_OK);
  EXPECT_EQ(w.GetP(), this->A());
  EXPECT_EQ(this->b_->RefCount(), 1u);
  EXPECT_HR(empty.CoCreateInstance(kTestClass, this->b_->GetUnknown(), CLSCTX_ALL), CLASS_E_NOAGGREGATION);
  EXPECT_TRUE(!empty);
}

// Every class of the roster derives from its own instantiation and adds no
// data: one virtual table pointer and the interface pointer.
#define ARDO_CHECK_ROSTER_CLASS(Interface, Class)                                          \
  static_assert(std::is_base_of_v<CInterfaceCallingWrapper<Interface>, Class>);            \
  static_assert(sizeof(Class) == 2 * sizeof(void*));                                       \
  static_assert(std::has_virtual_destructor_v<Class>);                                     \
  static_assert(std::is_copy_constructible_v<Class> && std::is_copy_assignable_v<Class>);
ARDO_WRAPPED_INTERFACES(ARDO_CHECK_ROSTER_CLASS)
#undef ARDO_CHECK_ROSTER_CLASS

class ComExceptionTest : public LeakCheckedTest {};

TEST_F(ComExceptionTest, CarriesAnyCodeUnchangedAndIsCaughtThroughEachBaseOrIsTheFrameworks) {
  // Success codes too: the thrower does not judge its argument.
  for (HRESULT hr : {E_FAIL, E_OUTOFMEMORY, REGDB_E_CLASSNOTREG, S_OK, S_FALSE}) {
    SCOPED_TRACE(HResultName(hr));
    EXPECT_THROWS_HR(AfxThrowComException(hr), hr);
    EXPECT_THROWS_HR(CComException::Throw(hr), hr);
    EXPECT_TRUE(Throws<CException>([hr] { AfxThrowComException(hr); }, [hr](CException* e) {
      EXPECT_TRUE(e->m_bAutoDelete);
      EXPECT_HR(dynamic_cast<CComException&>(*e).m_hr, hr);  // a wrong class throws std::bad_cast
    }));
  }
  EXPECT_TRUE(Throws<void>([] { AfxThrowComException(E_ABORT); }));

  // Where there is no call to fail, the framework's own exceptions.
  EXPECT_TRUE(Throws<CMemoryException>([] { ThrowFrameworkException(E_OUTOFMEMORY); }));
  for (HRESULT hr : {E_FAIL, S_FALSE})
    EXPECT_TRUE(Throws<COleException>([hr] { ThrowFrameworkException(hr); }, [hr](COleException* e) {
      EXPECT_HR(e->m_sc, hr);
    })) << hr;
}

TEST_F(ComExceptionTest, TheLibraryIsLinkedIntoTheFrameworkExactlyOnce) {
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&AfxThrowComException), &info), 0);
  ASSERT_NE(info.dli_fbase, nullptr);
  EXPECT_EQ(LinkedExtensionLibraryCount(info.dli_fbase), 1);
}

}  // namespace
}  // namespace ardo::test
