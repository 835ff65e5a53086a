#include <cstring>

#include "platform/platform.h"
#include "tests/support/leak_fixture.h"

namespace {

using FrameworkSubsetTest = ardo::test::LeakCheckedTest;

class CShape : public CObject {
  DECLARE_DYNCREATE(CShape)
};
IMPLEMENT_DYNCREATE(CShape, CObject)

class CCircle : public CShape {
  DECLARE_DYNAMIC(CCircle)
};
IMPLEMENT_DYNAMIC(CCircle, CShape)

TEST_F(FrameworkSubsetTest, RuntimeClassesFollowTheBaseChain) {
  CCircle circle;
  EXPECT_STREQ(circle.GetRuntimeClass()->m_lpszClassName, "CCircle");
  EXPECT_TRUE(circle.IsKindOf(RUNTIME_CLASS(CObject)));
  EXPECT_FALSE(circle.IsKindOf(RUNTIME_CLASS(CException)));
  EXPECT_FALSE(CShape().IsKindOf(RUNTIME_CLASS(CCircle)));
  EXPECT_EQ(RUNTIME_CLASS(CCircle)->CreateObject(), nullptr);  // not creatable by name
  CObject* created = RUNTIME_CLASS(CShape)->CreateObject();
  ASSERT_NE(created, nullptr);
  EXPECT_TRUE(created->IsKindOf(RUNTIME_CLASS(CShape)));
  delete created;
}

TEST_F(FrameworkSubsetTest, ExceptionMessagesAndProcessing) {
  char buffer[64] = "junk";
  UINT help = 7;
  CException plain;
  EXPECT_FALSE(plain.GetErrorMessage(buffer, sizeof buffer, &help));
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(help, 0u);
  COleException ole(E_NOINTERFACE);
  char tiny[4];
  EXPECT_TRUE(ole.GetErrorMessage(tiny, sizeof tiny));
  EXPECT_STREQ(tiny, "No ");  // truncated, still terminated
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ole.ReportError(), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "No such interface supported.\n");
  EXPECT_EQ(COleException::Process(&ole), E_NOINTERFACE);
  CMemoryException memory;
  EXPECT_EQ(COleException::Process(&memory), E_OUTOFMEMORY);
  EXPECT_EQ(COleException::Process(&plain), E_UNEXPECTED);
}

TEST_F(FrameworkSubsetTest, ThrownByPointerAndDeletedPerTheAutoDeleteFlag) {
  try {
    AfxThrowOleException(E_ACCESSDENIED);
    FAIL() << "did not throw";
  } catch (CObject* e) {
    ASSERT_TRUE(e->IsKindOf(RUNTIME_CLASS(COleException)));
    EXPECT_EQ(static_cast<COleException*>(e)->m_sc, E_ACCESSDENIED);
    static_cast<CException*>(e)->Delete();
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
