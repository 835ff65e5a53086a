#include "platform/platform.h"
#include "tests/support/leak_fixture.h"

namespace {

using FrameworkSubsetTest = ardo::test::LeakCheckedTest;

TEST_F(FrameworkSubsetTest, ThrownByPointerAndDeletedPerTheAutoDeleteFlag) {
  try {
    AfxThrowOleException(E_ACCESSDENIED);
    FAIL() << "did not throw";
  } catch (CException* e) {
    auto* ole = dynamic_cast<COleException*>(e);
    ASSERT_NE(ole, nullptr);
    EXPECT_EQ(ole->m_sc, E_ACCESSDENIED);
    e->Delete();
  }
  static int destroyed = 0;
  struct Counted : CException {
    using CException::CException;
    ~Counted() override { ++destroyed; }
  };
  Counted kept(FALSE);
  kept.Delete();
  EXPECT_EQ(destroyed, 0);
  (new Counted(TRUE))->Delete();
  EXPECT_EQ(destroyed, 1);
}

TEST_F(FrameworkSubsetTest, ExtensionModuleLinksAndUnlinksItsLibraries) {
  static int moduleTag = 0, otherTag = 0;
  AFX_EXTENSION_MODULE record{}, other{};
  int before = ardo::LinkedExtensionLibraryCount();
  ASSERT_TRUE(AfxInitExtensionModule(record, &moduleTag));
  EXPECT_TRUE(AfxInitExtensionModule(record, &moduleTag));  // already initialised: still TRUE
  new CDynLinkLibrary(record, FALSE);
  new CDynLinkLibrary(record, FALSE);
  AfxInitExtensionModule(other, &otherTag);
  new CDynLinkLibrary(other);
  EXPECT_EQ(ardo::LinkedExtensionLibraryCount(&moduleTag), 2);
  AfxTermExtensionModule(record);
  EXPECT_FALSE(record.bInitialized);
  EXPECT_EQ(ardo::LinkedExtensionLibraryCount(&moduleTag), 0);
  EXPECT_EQ(ardo::LinkedExtensionLibraryCount(&otherTag), 1);
  AfxTermExtensionModule(other);
  EXPECT_EQ(ardo::LinkedExtensionLibraryCount(), before);
}

}  // namespace
