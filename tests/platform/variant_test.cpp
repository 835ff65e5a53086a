#include <cmath>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "tests/support/assertions.h"
#include "tests/support/leak_fixture.h"

namespace {

using VariantTest = ardo::test::LeakCheckedTest;

// Answers IDispatch with a default (value) property.
class ValueObject : public ardo::ComObject<ValueObject, IDispatch> {
 public:
  explicit ValueObject(const char16_t* value) : value_(value) {}
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*,
                                   VARIANT* result, EXCEPINFO*, UINT*) {
    if (id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    result->vt = VT_BSTR;
    result->bstrVal = SysAllocString(value_);
    return S_OK;
  }

 private:
  const char16_t* value_;
};

class StreamOnly : public ardo::ComObject<StreamOnly, ISequentialStream> {
 public:
  HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
};

VARIANT Make(VARTYPE vt) {
  VARIANT v;
  VariantInit(&v);
  v.vt = vt;
  return v;
}
template <class F>
VARIANT Make(VARTYPE vt, F set) {
  VARIANT v = Make(vt);
  set(v);
  return v;
}
VARIANT I4(LONG x) { return Make(VT_I4, [&](VARIANT& v) { v.lVal = x; }); }
VARIANT R8(double x) { return Make(VT_R8, [&](VARIANT& v) { v.dblVal = x; }); }
VARIANT Bool(bool x) { return Make(VT_BOOL, [&](VARIANT& v) { v.boolVal = x ? VARIANT_TRUE : VARIANT_FALSE; }); }
VARIANT Str(const char16_t* x) { return Make(VT_BSTR, [&](VARIANT& v) { v.bstrVal = SysAllocString(x); }); }
VARIANT Date(double d) { return Make(VT_DATE, [&](VARIANT& v) { v.date = d; }); }
VARIANT Cy(LONGLONG x) { return Make(VT_CY, [&](VARIANT& v) { v.cyVal.int64 = x; }); }

// The text a VARIANT holds, which is then cleared.
std::string Take(VARIANT& v) {
  std::string text = ardo::BstrToUtf8(v.bstrVal);
  return VariantClear(&v), text;
}

TEST_F(VariantTest, ClearFreesOwnedValuesOnlyAndRefusesBadTypes) {
  auto object = ardo::MakeObject<ValueObject>(u"x");
  VARIANT v = Make(VT_DISPATCH, [&](VARIANT& x) { x.pdispVal = object.Get(); });
  object->AddRef();
  EXPECT_HR(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);
  EXPECT_EQ(object->DebugRefCount(), 1u);
  VARIANT s = Str(u"text");
  EXPECT_HR(VariantClear(&s), S_OK);  // BSTR and SAFEARRAY counts are checked at teardown
  VARIANT a = Make(VT_ARRAY | VT_UI1, [](VARIANT& x) { x.parray = SafeArrayCreateVector(VT_UI1, 0, 4); });
  EXPECT_HR(VariantClear(&a), S_OK);

  BSTR owned = SysAllocString(u"mine");
  VARIANT ref = Make(VT_BSTR | VT_BYREF, [&](VARIANT& x) { x.pbstrVal = &owned; });
  EXPECT_HR(VariantClear(&ref), S_OK);
  EXPECT_EQ(std::u16string(owned), u"mine");
  SysFreeString(owned);

  VARIANT bad = Make(0x7F);
  EXPECT_HR(VariantClear(&bad), DISP_E_BADVARTYPE);
  EXPECT_EQ(bad.vt, 0x7F);
  VARIANT plainVariant = Make(VT_VARIANT);
  EXPECT_HR(VariantClear(&plainVariant), DISP_E_BADVARTYPE);
  EXPECT_HR(VariantClear(nullptr), E_INVALIDARG);
}

TEST_F(VariantTest, CopyIsDeepForStringsInterfacesAndArraysAndFailsCleanly) {
  VARIANT src = Str(u"abc");
  VARIANT dst = I4(7);
  ASSERT_HR(VariantCopy(&dst, &src), S_OK);
  EXPECT_NE(dst.bstrVal, src.bstrVal);
  VariantClear(&src);
  EXPECT_EQ(Take(dst), "abc");

  auto object = ardo::MakeObject<StreamOnly>();
  VARIANT unk = Make(VT_UNKNOWN, [&](VARIANT& x) { x.punkVal = object->GetUnknown(); });
  VARIANT copy = Make(VT_EMPTY);
  ASSERT_HR(VariantCopy(&copy, &unk), S_OK);
  EXPECT_EQ(object->DebugRefCount(), 2u);
  VariantClear(&copy);
  EXPECT_EQ(object->DebugRefCount(), 1u);

  VARIANT arr = Make(VT_ARRAY | VT_BSTR, [](VARIANT& x) { x.parray = SafeArrayCreateVector(VT_BSTR, 0, 2); });
  LONG index = 1;
  BSTR second = SysAllocString(u"second");
  ASSERT_HR(SafeArrayPutElement(arr.parray, &index, second), S_OK);
  SysFreeString(second);
  ASSERT_HR(VariantCopy(&copy, &arr), S_OK);
  EXPECT_NE(copy.parray, arr.parray);
  BSTR element = nullptr;
  ASSERT_HR(SafeArrayGetElement(copy.parray, &index, &element), S_OK);
  EXPECT_EQ(ardo::BstrToUtf8(element), "second");
  SysFreeString(element);
  VariantClear(&copy);
  VariantClear(&arr);

  // A copy whose string cannot be allocated fails and leaves the target as it was.
  src = Str(u"abc");
  dst = I4(3);
  ardo::FailBstrAllocationsAfter(0);
  EXPECT_HR(VariantCopy(&dst, &src), E_OUTOFMEMORY);
  ardo::FailBstrAllocationsAfter(-1);
  EXPECT_EQ(dst.vt, VT_I4);
  EXPECT_EQ(dst.lVal, 3);
  VariantClear(&src);
}

TEST_F(VariantTest, CopyIndDereferences) {
  LONG target = 42;
  VARIANT ref = Make(VT_I4 | VT_BYREF, [&](VARIANT& x) { x.plVal = &target; });
  VARIANT shallow = Make(VT_EMPTY), deep = Make(VT_EMPTY);
  ASSERT_HR(VariantCopy(&shallow, &ref), S_OK);
  EXPECT_EQ(shallow.vt, VT_I4 | VT_BYREF);
  ASSERT_HR(VariantCopyInd(&deep, &ref), S_OK);
  EXPECT_EQ(deep.vt, VT_I4);
  EXPECT_EQ(deep.lVal, 42);
  VARIANT inner = Str(u"referenced");
  VARIANT varRef = Make(VT_VARIANT | VT_BYREF, [&](VARIANT& x) { x.pvarVal = &inner; });
  ASSERT_HR(VariantCopyInd(&deep, &varRef), S_OK);
  EXPECT_EQ(deep.vt, VT_BSTR);
  EXPECT_NE(deep.bstrVal, inner.bstrVal);
  EXPECT_EQ(Take(deep), "referenced");
  VariantClear(&inner);
}

TEST_F(VariantTest, ChangeTypeToText) {
  const struct { VARIANT (*make)(); const char* expected; USHORT flags = 0; } cases[] = {
      {[] { return Make(VT_EMPTY); }, ""},
      {[] { return I4(-12); }, "-12"},
      {[] { return Make(VT_I8, [](VARIANT& v) { v.llVal = INT64_MIN; }); }, "-9223372036854775808"},
      {[] { return Make(VT_UI8, [](VARIANT& v) { v.ullVal = UINT64_MAX; }); }, "18446744073709551615"},
      {[] { return R8(2.5); }, "2.5"},
      {[] { return R8(1.0 / 3); }, "0.333333333333333"},
      {[] { return R8(1e21); }, "1E+21"},
      {[] { return R8(-1e-7); }, "-1E-07"},
      {[] { return R8(123456789012345.0); }, "123456789012345"},
      {[] { return R8(1234567890123456.0); }, "1.23456789012346E+15"},
      {[] { return Make(VT_R4, [](VARIANT& v) { v.fltVal = 0.1f; }); }, "0.1"},
      {[] { return Make(VT_R4, [](VARIANT& v) { v.fltVal = 16777216.0f; }); }, "1.677722E+07"},
      {[] { return Bool(true); }, "-1"},
      {[] { return Bool(false); }, "0"},
      {[] { return Bool(true); }, "True", VARIANT_ALPHABOOL},  // the name only when asked for
      {[] { return Bool(true); }, "True", VARIANT_LOCALBOOL},
      {[] { return Cy(-12345); }, "-1.2345"},
      {[] { return Cy(70000); }, "7"},
      {[] { return Date(36526.5); }, "2000-01-01 12:00:00"},
      {[] { return Date(0); }, "1899-12-30"},
      {[] { return Date(-1.25); }, "1899-12-29 06:00:00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    VARIANT src = c.make();
    VARIANT dst = Make(VT_EMPTY);
    ASSERT_HR(VariantChangeType(&dst, &src, c.flags, VT_BSTR), S_OK);
    EXPECT_EQ(dst.vt, VT_BSTR);
    ASSERT_NE(dst.bstrVal, nullptr);
    EXPECT_EQ(Take(dst), c.expected);
  }
}

// Every successful result is read back as VT_R8; a failure leaves the target untouched.
TEST_F(VariantTest, ChangeTypeFromTextNumbersAndBooleans) {
  const struct { VARIANT src; VARTYPE vt; HRESULT hr; double value; } cases[] = {
      {Str(u"42"), VT_I4, S_OK, 42},
      {Str(u"  -7 "), VT_I2, S_OK, -7},
      {Str(u"+3"), VT_I4, S_OK, 3},
      {Str(u"2.5"), VT_I4, S_OK, 2},  // half to even
      {Str(u"3.5"), VT_I4, S_OK, 4},
      {Str(u"-2.5"), VT_I4, S_OK, -2},
      {Str(u"1e3"), VT_R8, S_OK, 1000},
      {Str(u".5"), VT_R8, S_OK, 0.5},
      {Str(u"255"), VT_UI1, S_OK, 255},
      {Str(u"256"), VT_UI1, DISP_E_OVERFLOW, 0},
      {Str(u"-1"), VT_UI4, DISP_E_OVERFLOW, 0},
      {Str(u"32768"), VT_I2, DISP_E_OVERFLOW, 0},
      {Str(u"2147483648"), VT_I4, DISP_E_OVERFLOW, 0},
      {Str(u"9223372036854775808"), VT_I8, DISP_E_OVERFLOW, 0},
      {Str(u"1e400"), VT_R8, DISP_E_OVERFLOW, 0},
      {Str(u"1e39"), VT_R4, DISP_E_OVERFLOW, 0},
      {Str(u""), VT_I4, DISP_E_TYPEMISMATCH, 0},
      {Str(u"   "), VT_I4, DISP_E_TYPEMISMATCH, 0},
      {Str(u"12abc"), VT_I4, DISP_E_TYPEMISMATCH, 0},
      {Str(u"nan"), VT_R8, DISP_E_TYPEMISMATCH, 0},
      {Str(u"1.5"), VT_CY, S_OK, 1.5},
      {Str(u"2000-01-01"), VT_DATE, S_OK, 36526},
      {Str(u"2000-01-01T06:00:00"), VT_DATE, S_OK, 36526.25},
      {Str(u"2001-02-30"), VT_DATE, DISP_E_TYPEMISMATCH, 0},
      {Str(u"45"), VT_DATE, S_OK, 45},
      {Str(u" FALSE "), VT_BOOL, S_OK, 0},
      {Str(u"True"), VT_BOOL, S_OK, -1},
      {Str(u"2.5"), VT_BOOL, S_OK, -1},
      {Str(u"yes"), VT_BOOL, DISP_E_TYPEMISMATCH, 0},
      {I4(5), VT_BOOL, S_OK, -1},
      {R8(0.0), VT_BOOL, S_OK, 0},
      {Make(VT_EMPTY), VT_BOOL, S_OK, 0},
      {Make(VT_NULL), VT_BOOL, DISP_E_TYPEMISMATCH, 0},
      {Bool(true), VT_I4, S_OK, -1},
      {R8(3e9), VT_I4, DISP_E_OVERFLOW, 0},
      {R8(3e9), VT_UI4, S_OK, 3e9},
      {I4(-1), VT_UI8, DISP_E_OVERFLOW, 0},
      {R8(INFINITY), VT_I8, DISP_E_OVERFLOW, 0},
      {Make(VT_EMPTY), VT_R8, S_OK, 0},
      {R8(0.5), VT_I4, S_OK, 0},
      {R8(1.23456), VT_CY, S_OK, 1.2346},
      {R8(1e7), VT_DATE, DISP_E_OVERFLOW, 0},
  };
  int row = 0;
  for (auto c : cases) {
    SCOPED_TRACE(row++);
    VARIANT dst = I4(99);
    EXPECT_HR(VariantChangeType(&dst, &c.src, 0, c.vt), c.hr);
    if (c.hr == S_OK) {
      EXPECT_EQ(dst.vt, c.vt);
      VARIANT asDouble = Make(VT_EMPTY);
      EXPECT_HR(VariantChangeType(&asDouble, &dst, 0, VT_R8), S_OK);
      EXPECT_DOUBLE_EQ(asDouble.dblVal, c.value);
    } else {
      EXPECT_EQ(dst.vt, VT_I4);
      EXPECT_EQ(dst.lVal, 99);
    }
    VariantClear(&c.src);
    VariantClear(&dst);
  }
}

TEST_F(VariantTest, ChangeTypeRefusalsInPlaceAndByReference) {
  VARIANT dst = Make(VT_EMPTY);
  VARIANT null = Make(VT_NULL);
  for (VARTYPE vt : {VT_I4, VT_BSTR, VT_R8}) EXPECT_HR(VariantChangeType(&dst, &null, 0, vt), DISP_E_TYPEMISMATCH);
  ASSERT_HR(VariantChangeType(&dst, &null, 0, VT_NULL), S_OK);
  VARIANT i4 = I4(1);
  EXPECT_HR(VariantChangeType(&dst, &i4, 0, VT_I4 | VT_BYREF), DISP_E_BADVARTYPE);
  EXPECT_HR(VariantChangeType(&dst, &i4, 0, 0x7F), DISP_E_BADVARTYPE);
  EXPECT_HR(VariantChangeType(&dst, &i4, 0, VT_ARRAY | VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_HR(VariantChangeType(&dst, &i4, 0, VT_UNKNOWN), DISP_E_TYPEMISMATCH);

  VARIANT v = Str(u"17");
  ASSERT_HR(VariantChangeType(&v, &v, 0, VT_I4), S_OK);  // the old BSTR is freed
  EXPECT_EQ(v.lVal, 17);
  double target = 4.0;
  VARIANT ref = Make(VT_R8 | VT_BYREF, [&](VARIANT& x) { x.pdblVal = &target; });
  ASSERT_HR(VariantChangeType(&dst, &ref, 0, VT_BSTR), S_OK);
  EXPECT_EQ(Take(dst), "4");
}

TEST_F(VariantTest, InterfacesConvertByQueryInterfaceAndObjectsByTheirValue) {
  auto object = ardo::MakeObject<ValueObject>(u"12");
  VARIANT disp = Make(VT_DISPATCH, [&](VARIANT& x) { x.pdispVal = object.Get(); });
  VARIANT dst = Make(VT_EMPTY);
  ASSERT_HR(VariantChangeType(&dst, &disp, 0, VT_UNKNOWN), S_OK);
  EXPECT_EQ(dst.punkVal, object->GetUnknown());
  EXPECT_EQ(object->DebugRefCount(), 2u);
  VariantClear(&dst);
  ASSERT_HR(VariantChangeType(&dst, &disp, 0, VT_I4), S_OK);
  EXPECT_EQ(dst.lVal, 12);

  auto plain = ardo::MakeObject<StreamOnly>();
  VARIANT unk = Make(VT_UNKNOWN, [&](VARIANT& x) { x.punkVal = plain->GetUnknown(); });
  EXPECT_HR(VariantChangeType(&dst, &unk, 0, VT_DISPATCH), E_NOINTERFACE);
  EXPECT_EQ(plain->DebugRefCount(), 1u);
  EXPECT_HR(VariantChangeType(&dst, &unk, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
  VARIANT empty = Make(VT_EMPTY);
  ASSERT_HR(VariantChangeType(&dst, &empty, 0, VT_DISPATCH), S_OK);
  EXPECT_EQ(dst.pdispVal, nullptr);
}

TEST_F(VariantTest, SafeArrayByteVectorBoundsAccessAndLocking) {
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
  ASSERT_HR(SafeArrayAccessData(psa, &data), S_OK);
  EXPECT_EQ(std::memcmp(data, "hello", 5), 0);  // the same storage again
  ASSERT_HR(SafeArrayUnaccessData(psa), S_OK);
  ASSERT_HR(SafeArrayDestroy(psa), S_OK);
}

TEST_F(VariantTest, SafeArrayUnsupportedShapesGiveNullAndEmptyVectorsWork) {
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

}  // namespace
