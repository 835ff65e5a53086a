#include <cstring>

#include "platform/platform.h"
#include "tests/support/assertions.h"
#include "tests/support/leak_fixture.h"

namespace {

using SafeArrayTest = ardo::test::LeakCheckedTest;

SAFEARRAY* Strings(LONG count) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, count);
  for (LONG i = 0; i < count; ++i) {
    BSTR s = SysAllocString(u"s");
    SafeArrayPutElement(psa, &i, s);  // the array keeps its own copy
    SysFreeString(s);
  }
  return psa;
}

TEST_F(SafeArrayTest, ByteVectorBoundsAccessAndLocking) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 1, 5);
  ASSERT_NE(psa, nullptr);
  LONG lower = 0, upper = 0;
  ASSERT_HR(SafeArrayGetLBound(psa, 1, &lower), S_OK);
  ASSERT_HR(SafeArrayGetUBound(psa, 1, &upper), S_OK);
  EXPECT_EQ(lower, 1);
  EXPECT_EQ(upper, 5);
  EXPECT_HR(SafeArrayGetLBound(psa, 0, &lower), DISP_E_BADINDEX);
  EXPECT_HR(SafeArrayGetUBound(psa, 2, &upper), DISP_E_BADINDEX);
  void* data = nullptr;
  ASSERT_HR(SafeArrayAccessData(psa, &data), S_OK);
  EXPECT_EQ(std::memcmp(data, "\0\0\0\0\0", 5), 0);  // zero-filled
  std::memcpy(data, "hello", 5);
  EXPECT_HR(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
  ASSERT_HR(SafeArrayUnaccessData(psa), S_OK);
  EXPECT_HR(SafeArrayUnaccessData(psa), E_UNEXPECTED);
  LONG index = 2;
  unsigned char byte = 0;
  ASSERT_HR(SafeArrayGetElement(psa, &index, &byte), S_OK);
  EXPECT_EQ(byte, 'e');  // index 2 with lower bound 1
  index = 6;
  EXPECT_HR(SafeArrayGetElement(psa, &index, &byte), DISP_E_BADINDEX);
  index = 0;
  EXPECT_HR(SafeArrayPutElement(psa, &index, &byte), DISP_E_BADINDEX);
  ASSERT_HR(SafeArrayDestroy(psa), S_OK);
}

TEST_F(SafeArrayTest, UnsupportedShapesGiveNullAndEmptyVectorsWork) {
  SAFEARRAYBOUND bound{3, 0};
  EXPECT_EQ(SafeArrayCreate(VT_EMPTY, 1, &bound), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_I4, 0, &bound), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_I4 | VT_BYREF, 1, &bound), nullptr);
  SAFEARRAY* empty = SafeArrayCreateVector(VT_I4, 0, 0);
  LONG upper = 0;
  ASSERT_HR(SafeArrayGetUBound(empty, 1, &upper), S_OK);
  EXPECT_EQ(upper, -1);
  SafeArrayDestroy(empty);
}

TEST_F(SafeArrayTest, OwnedElementsAreCopiedDeeplyAndFreed) {
  SAFEARRAY* strings = Strings(2);
  LONG index = 0;
  ASSERT_HR(SafeArrayPutElement(strings, &index, nullptr), S_OK);  // replaces and frees
  SAFEARRAY* copy = nullptr;
  ASSERT_HR(SafeArrayCopy(strings, &copy), S_OK);
  BSTR got = reinterpret_cast<BSTR>(0x1);
  ASSERT_HR(SafeArrayGetElement(copy, &index, &got), S_OK);
  EXPECT_EQ(got, nullptr);
  index = 1;
  ASSERT_HR(SafeArrayGetElement(copy, &index, &got), S_OK);
  EXPECT_EQ(ardo::BstrToUtf8(got), "s");
  SysFreeString(got);
  SafeArrayDestroy(strings);
  SafeArrayDestroy(copy);

  SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 0, 1);
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(u"inside");
  ASSERT_HR(SafeArrayPutElement(variants, &index, &v), DISP_E_BADINDEX);
  index = 0;
  ASSERT_HR(SafeArrayPutElement(variants, &index, &v), S_OK);
  VariantClear(&v);
  ASSERT_HR(SafeArrayGetElement(variants, &index, &v), S_OK);
  EXPECT_EQ(ardo::BstrToUtf8(v.bstrVal), "inside");
  VariantClear(&v);
  SafeArrayDestroy(variants);
}

TEST_F(SafeArrayTest, CopyFailureLeavesNothingBehind) {
  SAFEARRAY* strings = Strings(3);
  long arrays = ardo::LiveSafeArrayCount();
  ardo::FailBstrAllocationsAfter(1);  // the second element's copy fails
  SAFEARRAY* copy = reinterpret_cast<SAFEARRAY*>(0x1);
  EXPECT_HR(SafeArrayCopy(strings, &copy), E_OUTOFMEMORY);
  ardo::FailBstrAllocationsAfter(-1);
  EXPECT_EQ(copy, nullptr);
  EXPECT_EQ(ardo::LiveSafeArrayCount(), arrays);
  SafeArrayDestroy(strings);
}

}  // namespace
