#include <cstring>

#include "platform/platform.h"
#include "tests/support/assertions.h"
#include "tests/support/leak_fixture.h"

namespace {

using SafeArrayTest = ardo::test::LeakCheckedTest;

TEST_F(SafeArrayTest, ByteVectorBoundsAccessAndCount) {
  long before = ardo::LiveSafeArrayCount();
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 1, 5);
  ASSERT_NE(psa, nullptr);
  EXPECT_EQ(ardo::LiveSafeArrayCount(), before + 1);
  EXPECT_EQ(SafeArrayGetDim(psa), 1u);
  EXPECT_EQ(SafeArrayGetElemsize(psa), 1u);
  VARTYPE vt = VT_EMPTY;
  ASSERT_HR(SafeArrayGetVartype(psa, &vt), S_OK);
  EXPECT_EQ(vt, VT_UI1);
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
  EXPECT_EQ(byte, 'e');
  index = 6;
  EXPECT_HR(SafeArrayGetElement(psa, &index, &byte), DISP_E_BADINDEX);
  index = 0;
  EXPECT_HR(SafeArrayPutElement(psa, &index, &byte), DISP_E_BADINDEX);
  ASSERT_HR(SafeArrayDestroy(psa), S_OK);
  EXPECT_EQ(ardo::LiveSafeArrayCount(), before);
}

TEST_F(SafeArrayTest, UnsupportedShapesGiveNull) {
  SAFEARRAYBOUND bound{3, 0};
  EXPECT_EQ(SafeArrayCreate(VT_EMPTY, 1, &bound), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_I4, 0, &bound), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_I4 | VT_BYREF, 1, &bound), nullptr);
  SAFEARRAY* empty = SafeArrayCreateVector(VT_I4, 0, 0);
  ASSERT_NE(empty, nullptr);
  LONG upper = 0;
  ASSERT_HR(SafeArrayGetUBound(empty, 1, &upper), S_OK);
  EXPECT_EQ(upper, -1);
  SafeArrayDestroy(empty);
}

TEST_F(SafeArrayTest, TwoDimensionsAddressEveryElementOnce) {
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {3, 10}};
  SAFEARRAY* psa = SafeArrayCreate(VT_I4, 2, bounds);
  ASSERT_NE(psa, nullptr);
  for (LONG i = 0; i < 2; ++i)
    for (LONG j = 10; j < 13; ++j) {
      LONG indices[2] = {i, j};
      LONG value = i * 100 + j;
      ASSERT_HR(SafeArrayPutElement(psa, indices, &value), S_OK);
    }
  LONG* data = nullptr;
  ASSERT_HR(SafeArrayAccessData(psa, reinterpret_cast<void**>(&data)), S_OK);
  // Dimension 1 varies fastest.
  EXPECT_EQ(data[0], 10);
  EXPECT_EQ(data[1], 110);
  EXPECT_EQ(data[5], 112);
  SafeArrayUnaccessData(psa);
  LONG outside[2] = {0, 13};
  LONG value;
  EXPECT_HR(SafeArrayGetElement(psa, outside, &value), DISP_E_BADINDEX);
  SafeArrayDestroy(psa);
}

TEST_F(SafeArrayTest, OwnedElementsAreCopiedDeeplyAndFreed) {
  SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 0, 2);
  BSTR text = SysAllocString(u"one");
  LONG index = 0;
  ASSERT_HR(SafeArrayPutElement(strings, &index, text), S_OK);
  SysFreeString(text);  // the array holds its own copy
  ASSERT_HR(SafeArrayPutElement(strings, &index, nullptr), S_OK);  // replaces and frees
  BSTR again = SysAllocString(u"two");
  index = 1;
  SafeArrayPutElement(strings, &index, again);
  SysFreeString(again);

  SAFEARRAY* copy = nullptr;
  ASSERT_HR(SafeArrayCopy(strings, &copy), S_OK);
  BSTR got = nullptr;
  ASSERT_HR(SafeArrayGetElement(copy, &index, &got), S_OK);
  EXPECT_EQ(ardo::BstrToUtf8(got), "two");
  SysFreeString(got);
  index = 0;
  ASSERT_HR(SafeArrayGetElement(copy, &index, &got), S_OK);
  EXPECT_EQ(got, nullptr);
  SafeArrayDestroy(strings);
  SafeArrayDestroy(copy);

  SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 0, 1);
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(u"inside");
  ASSERT_HR(SafeArrayPutElement(variants, &index, &v), S_OK);
  VariantClear(&v);
  ASSERT_HR(SafeArrayGetElement(variants, &index, &v), S_OK);
  EXPECT_EQ(ardo::BstrToUtf8(v.bstrVal), "inside");
  VariantClear(&v);
  SafeArrayDestroy(variants);
}

TEST_F(SafeArrayTest, CopyFailureLeavesNothingBehind) {
  SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 0, 3);
  for (LONG i = 0; i < 3; ++i) {
    BSTR s = SysAllocString(u"x");
    SafeArrayPutElement(strings, &i, s);
    SysFreeString(s);
  }
  long arrays = ardo::LiveSafeArrayCount();
  ardo::FailBstrAllocationsAfter(1);  // the second element's copy fails
  SAFEARRAY* copy = reinterpret_cast<SAFEARRAY*>(0x1);
  EXPECT_HR(SafeArrayCopy(strings, &copy), E_OUTOFMEMORY);
  ardo::FailBstrAllocationsAfter(-1);
  EXPECT_EQ(copy, nullptr);
  EXPECT_EQ(ardo::LiveSafeArrayCount(), arrays);
  SafeArrayDestroy(strings);
}

TEST_F(SafeArrayTest, RedimGrowsZeroedAndShrinksFreeing) {
  SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 0, 2);
  for (LONG i = 0; i < 2; ++i) {
    BSTR s = SysAllocString(u"s");
    SafeArrayPutElement(strings, &i, s);
    SysFreeString(s);
  }
  long bstrs = ardo::LiveBstrCount();
  SAFEARRAYBOUND smaller{1, 0};
  ASSERT_HR(SafeArrayRedim(strings, &smaller), S_OK);
  EXPECT_EQ(ardo::LiveBstrCount(), bstrs - 1);
  SAFEARRAYBOUND larger{4, 0};
  ASSERT_HR(SafeArrayRedim(strings, &larger), S_OK);
  LONG last = 3, upper = 0;
  BSTR got = reinterpret_cast<BSTR>(0x1);
  ASSERT_HR(SafeArrayGetElement(strings, &last, &got), S_OK);
  EXPECT_EQ(got, nullptr);
  SafeArrayGetUBound(strings, 1, &upper);
  EXPECT_EQ(upper, 3);
  SafeArrayDestroy(strings);
}

}  // namespace
