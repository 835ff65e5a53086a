#include <cmath>
#include <string>

#include "platform/platform.h"
#include "tests/support/assertions.h"
#include "tests/support/leak_fixture.h"

namespace {

using VariantTest = ardo::test::LeakCheckedTest;

// A minimal object that counts its references and answers IDispatch with a
// default (value) property, so that conversions through it can be seen.
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
VARIANT I4(LONG x) { VARIANT v = Make(VT_I4); v.lVal = x; return v; }
VARIANT R8(double x) { VARIANT v = Make(VT_R8); v.dblVal = x; return v; }
VARIANT R4(float x) { VARIANT v = Make(VT_R4); v.fltVal = x; return v; }
VARIANT Bool(bool x) { VARIANT v = Make(VT_BOOL); v.boolVal = x ? VARIANT_TRUE : VARIANT_FALSE; return v; }
VARIANT Str(const char16_t* x) { VARIANT v = Make(VT_BSTR); v.bstrVal = SysAllocString(x); return v; }

std::string TextOf(const VARIANT& v) { return ardo::BstrToUtf8(v.bstrVal); }

TEST_F(VariantTest, ClearFreesWhatTheValueOwns) {
  auto object = ardo::MakeObject<ValueObject>(u"x");
  VARIANT v = Make(VT_DISPATCH);
  v.pdispVal = object.Get();
  object->AddRef();
  EXPECT_EQ(object->DebugRefCount(), 2u);
  EXPECT_HR(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);
  EXPECT_EQ(object->DebugRefCount(), 1u);

  VARIANT s = Str(u"text");
  EXPECT_HR(VariantClear(&s), S_OK);  // the BSTR count is checked at teardown

  VARIANT a = Make(VT_ARRAY | VT_UI1);
  a.parray = SafeArrayCreateVector(VT_UI1, 0, 4);
  EXPECT_HR(VariantClear(&a), S_OK);
}

TEST_F(VariantTest, ClearOfAReferenceOwnsNothingAndBadTypesAreRefused) {
  BSTR owned = SysAllocString(u"mine");
  VARIANT ref = Make(VT_BSTR | VT_BYREF);
  ref.pbstrVal = &owned;
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

TEST_F(VariantTest, CopyIsDeep) {
  VARIANT src = Str(u"abc");
  VARIANT dst = I4(7);
  ASSERT_HR(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(dst.vt, VT_BSTR);
  EXPECT_NE(dst.bstrVal, src.bstrVal);
  EXPECT_EQ(TextOf(dst), "abc");
  VariantClear(&src);
  EXPECT_EQ(TextOf(dst), "abc");
  VariantClear(&dst);

  auto object = ardo::MakeObject<StreamOnly>();
  VARIANT unk = Make(VT_UNKNOWN);
  unk.punkVal = object->GetUnknown();
  VARIANT copy;
  VariantInit(&copy);
  ASSERT_HR(VariantCopy(&copy, &unk), S_OK);
  EXPECT_EQ(object->DebugRefCount(), 2u);
  VariantClear(&copy);
  EXPECT_EQ(object->DebugRefCount(), 1u);

  VARIANT arr = Make(VT_ARRAY | VT_BSTR);
  arr.parray = SafeArrayCreateVector(VT_BSTR, 0, 2);
  LONG index = 1;
  BSTR second = SysAllocString(u"second");
  ASSERT_HR(SafeArrayPutElement(arr.parray, &index, second), S_OK);  // copies it
  SysFreeString(second);
  ASSERT_HR(VariantCopy(&copy, &arr), S_OK);
  EXPECT_NE(copy.parray, arr.parray);
  BSTR element = nullptr;
  ASSERT_HR(SafeArrayGetElement(copy.parray, &index, &element), S_OK);
  EXPECT_EQ(ardo::BstrToUtf8(element), "second");
  SysFreeString(element);
  VariantClear(&copy);
  VariantClear(&arr);
}

TEST_F(VariantTest, CopyFailsCleanlyWhenTheStringCannotBeAllocated) {
  VARIANT src = Str(u"abc");
  VARIANT dst = I4(3);
  ardo::FailBstrAllocationsAfter(0);
  EXPECT_HR(VariantCopy(&dst, &src), E_OUTOFMEMORY);
  ardo::FailBstrAllocationsAfter(-1);
  EXPECT_EQ(dst.vt, VT_I4);  // left as it was
  EXPECT_EQ(dst.lVal, 3);
  VariantClear(&src);
}

TEST_F(VariantTest, CopyIndDereferences) {
  LONG target = 42;
  VARIANT ref = Make(VT_I4 | VT_BYREF);
  ref.plVal = &target;
  VARIANT shallow, deep;
  VariantInit(&shallow);
  VariantInit(&deep);
  ASSERT_HR(VariantCopy(&shallow, &ref), S_OK);
  EXPECT_EQ(shallow.vt, VT_I4 | VT_BYREF);
  ASSERT_HR(VariantCopyInd(&deep, &ref), S_OK);
  EXPECT_EQ(deep.vt, VT_I4);
  EXPECT_EQ(deep.lVal, 42);

  BSTR text = SysAllocString(u"referenced");
  VARIANT inner = Make(VT_BSTR);
  inner.bstrVal = text;
  VARIANT varRef = Make(VT_VARIANT | VT_BYREF);
  varRef.pvarVal = &inner;
  ASSERT_HR(VariantCopyInd(&deep, &varRef), S_OK);
  EXPECT_EQ(deep.vt, VT_BSTR);
  EXPECT_NE(deep.bstrVal, text);
  EXPECT_EQ(TextOf(deep), "referenced");
  VariantClear(&deep);
  VariantClear(&inner);
}

struct ToTextCase {
  const char* label;
  VARIANT (*make)();
  const char* expected;
};

TEST_F(VariantTest, ChangeTypeToText) {
  const ToTextCase cases[] = {
      {"empty", [] { return Make(VT_EMPTY); }, ""},
      {"I4", [] { return I4(-12); }, "-12"},
      {"I8 extreme", [] { VARIANT v = Make(VT_I8); v.llVal = INT64_MIN; return v; }, "-9223372036854775808"},
      {"UI8 extreme", [] { VARIANT v = Make(VT_UI8); v.ullVal = UINT64_MAX; return v; }, "18446744073709551615"},
      {"R8", [] { return R8(2.5); }, "2.5"},
      {"R4 shortest", [] { return R4(0.1f); }, "0.1"},
      {"true", [] { return Bool(true); }, "True"},
      {"false", [] { return Bool(false); }, "False"},
      {"CY", [] { VARIANT v = Make(VT_CY); v.cyVal.int64 = -12345; return v; }, "-1.2345"},
      {"CY whole", [] { VARIANT v = Make(VT_CY); v.cyVal.int64 = 70000; return v; }, "7"},
      {"DATE", [] { VARIANT v = Make(VT_DATE); v.date = 36526.5; return v; }, "2000-01-01 12:00:00"},
      {"DATE only", [] { VARIANT v = Make(VT_DATE); v.date = 0; return v; }, "1899-12-30"},
      {"DATE before epoch", [] { VARIANT v = Make(VT_DATE); v.date = -1.25; return v; }, "1899-12-29 06:00:00"},
      {"DECIMAL", [] {
         VARIANT v;
         VariantInit(&v);
         v.decVal.Lo64 = 12345;
         v.decVal.scale = 3;
         v.decVal.sign = DECIMAL_NEG;
         v.vt = VT_DECIMAL;
         return v;
       }, "-12.345"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    VARIANT src = c.make();
    VARIANT dst;
    VariantInit(&dst);
    ASSERT_HR(VariantChangeType(&dst, &src, 0, VT_BSTR), S_OK);
    EXPECT_EQ(dst.vt, VT_BSTR);
    ASSERT_NE(dst.bstrVal, nullptr);
    EXPECT_EQ(TextOf(dst), c.expected);
    VariantClear(&dst);
  }
}

struct FromTextCase {
  const char16_t* text;
  VARTYPE vt;
  HRESULT hr;
  double value;  // compared after converting the result to VT_R8
};

TEST_F(VariantTest, ChangeTypeFromText) {
  const FromTextCase cases[] = {
      {u"42", VT_I4, S_OK, 42},
      {u"  -7 ", VT_I2, S_OK, -7},
      {u"+3", VT_I4, S_OK, 3},
      {u"2.5", VT_I4, S_OK, 2},     // half to even
      {u"3.5", VT_I4, S_OK, 4},
      {u"-2.5", VT_I4, S_OK, -2},
      {u"1e3", VT_R8, S_OK, 1000},
      {u".5", VT_R8, S_OK, 0.5},
      {u"255", VT_UI1, S_OK, 255},
      {u"256", VT_UI1, DISP_E_OVERFLOW, 0},
      {u"-1", VT_UI4, DISP_E_OVERFLOW, 0},
      {u"32768", VT_I2, DISP_E_OVERFLOW, 0},
      {u"2147483648", VT_I4, DISP_E_OVERFLOW, 0},
      {u"9223372036854775808", VT_I8, DISP_E_OVERFLOW, 0},
      {u"1e400", VT_R8, DISP_E_OVERFLOW, 0},
      {u"1e39", VT_R4, DISP_E_OVERFLOW, 0},
      {u"", VT_I4, DISP_E_TYPEMISMATCH, 0},
      {u"   ", VT_I4, DISP_E_TYPEMISMATCH, 0},
      {u"12abc", VT_I4, DISP_E_TYPEMISMATCH, 0},
      {u"abc", VT_R8, DISP_E_TYPEMISMATCH, 0},
      {u"nan", VT_R8, DISP_E_TYPEMISMATCH, 0},
      {u"1.5", VT_CY, S_OK, 1.5},
      {u"0.125", VT_DECIMAL, S_OK, 0.125},
      {u"2000-01-01", VT_DATE, S_OK, 36526},
      {u"2000-01-01T06:00:00", VT_DATE, S_OK, 36526.25},
      {u"2001-02-30", VT_DATE, DISP_E_TYPEMISMATCH, 0},
      {u"45", VT_DATE, S_OK, 45},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ardo::Utf16ToUtf8(c.text) + " -> " + std::to_string(c.vt));
    VARIANT src = Str(c.text);
    VARIANT dst = I4(99);
    EXPECT_HR(VariantChangeType(&dst, &src, 0, c.vt), c.hr);
    if (c.hr == S_OK) {
      EXPECT_EQ(dst.vt, c.vt);
      VARIANT asDouble;
      VariantInit(&asDouble);
      ASSERT_HR(VariantChangeType(&asDouble, &dst, 0, VT_R8), S_OK);
      EXPECT_DOUBLE_EQ(asDouble.dblVal, c.value);
    } else {
      EXPECT_EQ(dst.vt, VT_I4);  // untouched on failure
      EXPECT_EQ(dst.lVal, 99);
    }
    VariantClear(&src);
    VariantClear(&dst);
  }
}

TEST_F(VariantTest, ChangeTypeToBoolean) {
  struct {
    VARIANT (*make)();
    HRESULT hr;
    VARIANT_BOOL expected;
  } cases[] = {
      {[] { return Str(u"true"); }, S_OK, VARIANT_TRUE},
      {[] { return Str(u" FALSE "); }, S_OK, VARIANT_FALSE},
      {[] { return Str(u"True"); }, S_OK, VARIANT_TRUE},
      {[] { return Str(u"-1"); }, S_OK, VARIANT_TRUE},
      {[] { return Str(u"0"); }, S_OK, VARIANT_FALSE},
      {[] { return Str(u"2.5"); }, S_OK, VARIANT_TRUE},
      {[] { return Str(u"yes"); }, DISP_E_TYPEMISMATCH, 0},
      {[] { return I4(0); }, S_OK, VARIANT_FALSE},
      {[] { return I4(5); }, S_OK, VARIANT_TRUE},
      {[] { return R8(0.0); }, S_OK, VARIANT_FALSE},
      {[] { return Make(VT_EMPTY); }, S_OK, VARIANT_FALSE},
      {[] { return Make(VT_NULL); }, DISP_E_TYPEMISMATCH, 0},
  };
  int row = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(row++);
    VARIANT src = c.make();
    VARIANT dst;
    VariantInit(&dst);
    EXPECT_HR(VariantChangeType(&dst, &src, 0, VT_BOOL), c.hr);
    if (c.hr == S_OK) {
      EXPECT_EQ(dst.vt, VT_BOOL);
      EXPECT_EQ(dst.boolVal, c.expected);
    }
    VariantClear(&src);
    VariantClear(&dst);
  }
}

TEST_F(VariantTest, ChangeTypeBetweenNumbers) {
  VARIANT dst;
  VariantInit(&dst);
  VARIANT t = Bool(true);
  ASSERT_HR(VariantChangeType(&dst, &t, 0, VT_I4), S_OK);
  EXPECT_EQ(dst.lVal, -1);
  VARIANT big = R8(3e9);
  EXPECT_HR(VariantChangeType(&dst, &big, 0, VT_I4), DISP_E_OVERFLOW);
  ASSERT_HR(VariantChangeType(&dst, &big, 0, VT_UI4), S_OK);
  EXPECT_EQ(dst.ulVal, 3000000000u);
  VARIANT neg = I4(-1);
  EXPECT_HR(VariantChangeType(&dst, &neg, 0, VT_UI8), DISP_E_OVERFLOW);
  VARIANT inf = R8(INFINITY);
  EXPECT_HR(VariantChangeType(&dst, &inf, 0, VT_I8), DISP_E_OVERFLOW);
  VARIANT empty = Make(VT_EMPTY);
  ASSERT_HR(VariantChangeType(&dst, &empty, 0, VT_R8), S_OK);
  EXPECT_EQ(dst.dblVal, 0.0);
  VARIANT half = R8(0.5);
  ASSERT_HR(VariantChangeType(&dst, &half, 0, VT_I4), S_OK);
  EXPECT_EQ(dst.lVal, 0);
  VARIANT cy = R8(1.23456);
  ASSERT_HR(VariantChangeType(&dst, &cy, 0, VT_CY), S_OK);
  EXPECT_EQ(dst.cyVal.int64, 12346);
  VARIANT date = R8(1e7);
  EXPECT_HR(VariantChangeType(&dst, &date, 0, VT_DATE), DISP_E_OVERFLOW);
}

TEST_F(VariantTest, ChangeTypeRefusals) {
  VARIANT dst;
  VariantInit(&dst);
  VARIANT null = Make(VT_NULL);
  for (VARTYPE vt : {VT_I4, VT_BSTR, VT_BOOL, VT_R8}) EXPECT_HR(VariantChangeType(&dst, &null, 0, vt), DISP_E_TYPEMISMATCH);
  ASSERT_HR(VariantChangeType(&dst, &null, 0, VT_NULL), S_OK);
  VARIANT i4 = I4(1);
  EXPECT_HR(VariantChangeType(&dst, &i4, 0, VT_I4 | VT_BYREF), DISP_E_BADVARTYPE);
  EXPECT_HR(VariantChangeType(&dst, &i4, 0, 0x7F), DISP_E_BADVARTYPE);
  EXPECT_HR(VariantChangeType(&dst, &i4, 0, VT_ARRAY | VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_HR(VariantChangeType(&dst, &i4, 0, VT_UNKNOWN), DISP_E_TYPEMISMATCH);
  ASSERT_HR(VariantChangeType(&dst, &i4, 0, VT_EMPTY), S_OK);
  EXPECT_EQ(dst.vt, VT_EMPTY);
}

TEST_F(VariantTest, ChangeTypeInPlaceAndFromAReference) {
  VARIANT v = Str(u"17");
  ASSERT_HR(VariantChangeType(&v, &v, 0, VT_I4), S_OK);  // the old BSTR is freed
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, 17);
  double target = 4.0;
  VARIANT ref = Make(VT_R8 | VT_BYREF);
  ref.pdblVal = &target;
  VARIANT dst;
  VariantInit(&dst);
  ASSERT_HR(VariantChangeType(&dst, &ref, 0, VT_BSTR), S_OK);
  EXPECT_EQ(TextOf(dst), "4");
  VariantClear(&dst);
}

TEST_F(VariantTest, InterfacesConvertByQueryInterfaceAndObjectsByTheirValue) {
  auto object = ardo::MakeObject<ValueObject>(u"12");
  VARIANT disp = Make(VT_DISPATCH);
  disp.pdispVal = object.Get();
  VARIANT dst;
  VariantInit(&dst);
  ASSERT_HR(VariantChangeType(&dst, &disp, 0, VT_UNKNOWN), S_OK);
  EXPECT_EQ(dst.vt, VT_UNKNOWN);
  EXPECT_EQ(dst.punkVal, object->GetUnknown());
  EXPECT_EQ(object->DebugRefCount(), 2u);
  VariantClear(&dst);
  ASSERT_HR(VariantChangeType(&dst, &disp, 0, VT_I4), S_OK);
  EXPECT_EQ(dst.lVal, 12);
  EXPECT_HR(VariantChangeType(&dst, &disp, VARIANT_NOVALUEPROP, VT_I4), DISP_E_TYPEMISMATCH);

  auto plain = ardo::MakeObject<StreamOnly>();
  VARIANT unk = Make(VT_UNKNOWN);
  unk.punkVal = plain->GetUnknown();
  EXPECT_HR(VariantChangeType(&dst, &unk, 0, VT_DISPATCH), E_NOINTERFACE);
  EXPECT_EQ(plain->DebugRefCount(), 1u);
  EXPECT_HR(VariantChangeType(&dst, &unk, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
  VARIANT empty = Make(VT_EMPTY);
  ASSERT_HR(VariantChangeType(&dst, &empty, 0, VT_DISPATCH), S_OK);
  EXPECT_EQ(dst.pdispVal, nullptr);
}

}  // namespace
