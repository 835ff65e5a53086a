#include <string>

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

TEST_F(FrameworkSubsetTest, CStringConstructionComparisonAndLeft) {
  EXPECT_TRUE(CString(static_cast<const char*>(nullptr)).IsEmpty());
  EXPECT_EQ(CString("ab\0cd", 5).GetLength(), 5);  // an explicit length keeps NULs
  EXPECT_EQ(CString(u"gr\u00FC\u00DF").GetLength(), 6);  // UTF-8 bytes, not characters
  CString a("Apple");
  CString b = a;
  b += "two";
  EXPECT_EQ(a, "Apple");  // value semantics
  EXPECT_EQ(b, "Appletwo");
  EXPECT_TRUE("Apple" == a);
  EXPECT_TRUE(a != "apple");
  EXPECT_TRUE("Aardvark" < a);
  EXPECT_GT(a.Compare(nullptr), 0);
  EXPECT_EQ(CString().Compare(nullptr), 0);
  EXPECT_EQ(a.Left(-1), "");  // clamped to the text
  EXPECT_EQ(a.Left(2), "Ap");
  EXPECT_EQ(a.Left(99), "Apple");
}

TEST_F(FrameworkSubsetTest, CStringSystemStrings) {
  BSTR b = CString("gr\xC3\xBC\xC3\x9F").AllocSysString();
  EXPECT_EQ(std::u16string(b), u"gr\u00FC\u00DF");
  SysFreeString(b);
  BSTR empty = CString().AllocSysString();
  ASSERT_NE(empty, nullptr);  // never a null BSTR
  SysFreeString(empty);
}

}  // namespace
