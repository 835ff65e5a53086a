#include <string>

#include "platform/platform.h"
#include "tests/support/assertions.h"
#include "tests/support/leak_fixture.h"

namespace {

using ComSupportTest = ardo::test::LeakCheckedTest;

class Plain : public ardo::ComObject<Plain, IDispatch> {};

TEST_F(ComSupportTest, BstrHolderOwnsAndConverts) {
  _bstr_t fromNarrow("gr\xC3\xBC\xC3\x9F");
  EXPECT_EQ(fromNarrow.length(), 4u);
  EXPECT_STREQ(static_cast<const char*>(fromNarrow), "gr\xC3\xBC\xC3\x9F");
  EXPECT_EQ(std::u16string(static_cast<const OLECHAR*>(fromNarrow)), u"gr\u00FC\u00DF");
  _bstr_t none(static_cast<const char*>(nullptr));
  EXPECT_TRUE(!none);
  EXPECT_EQ(static_cast<const char*>(none), nullptr);
  _bstr_t empty("");
  EXPECT_FALSE(!empty);
  EXPECT_TRUE(none == empty);  // null and "" compare equal

  _bstr_t copy = fromNarrow;
  EXPECT_NE(static_cast<const OLECHAR*>(copy), static_cast<const OLECHAR*>(fromNarrow));
  EXPECT_TRUE(copy == fromNarrow);
  copy += _bstr_t("!");
  EXPECT_STREQ(static_cast<const char*>(copy), "gr\xC3\xBC\xC3\x9F!");  // the cache follows
  EXPECT_TRUE(fromNarrow < copy);
}

TEST_F(ComSupportTest, BstrHolderTakesOverOrCopiesDeliveredStrings) {
  BSTR delivered = SysAllocString(u"delivered");
  long live = ardo::LiveBstrCount();
  {
    _bstr_t taken(delivered, false);
    EXPECT_EQ(static_cast<const OLECHAR*>(taken), delivered);
    EXPECT_EQ(ardo::LiveBstrCount(), live);
  }
  EXPECT_EQ(ardo::LiveBstrCount(), live - 1);  // freed with the holder

  BSTR mine = SysAllocString(u"mine");
  {
    _bstr_t copied(mine, true);
    EXPECT_NE(static_cast<const OLECHAR*>(copied), mine);
  }
  _bstr_t holder;
  holder.Attach(mine);
  BSTR back = holder.Detach();
  EXPECT_EQ(back, mine);
  EXPECT_TRUE(!holder);
  *holder.GetAddress() = back;  // an out-parameter filled by a callee
  EXPECT_STREQ(static_cast<const char*>(holder), "mine");
  BSTR duplicate = holder.copy();
  EXPECT_NE(duplicate, back);
  SysFreeString(duplicate);
}

TEST_F(ComSupportTest, BstrHolderStopsAtNulAndReportsExhaustion) {
  _bstr_t withNul(SysAllocStringLen(u"ab\0cd", 5), false);
  EXPECT_EQ(withNul.length(), 5u);
  EXPECT_STREQ(static_cast<const char*>(withNul), "ab");
  ardo::FailBstrAllocationsAfter(0);
  try {
    _bstr_t failing("x");
    FAIL() << "no error";
  } catch (const _com_error& e) {
    EXPECT_HR(e.Error(), E_OUTOFMEMORY);
    EXPECT_STREQ(e.ErrorMessage(), "Not enough memory resources are available.");
  }
}

TEST_F(ComSupportTest, VariantHolderConstructors) {
  struct {
    _variant_t value;
    VARTYPE vt;
  } cases[] = {
      {_variant_t(short(3)), VT_I2},    {_variant_t(3L), VT_I4},
      {_variant_t(3), VT_INT},          {_variant_t(3u), VT_UINT},
      {_variant_t(3LL), VT_I8},         {_variant_t(3ULL), VT_UI8},
      {_variant_t(2.5f), VT_R4},        {_variant_t(2.5), VT_R8},
      {_variant_t(2.5, VT_DATE), VT_DATE}, {_variant_t(true), VT_BOOL},
      {_variant_t("text"), VT_BSTR},    {_variant_t(u"text"), VT_BSTR},
      {_variant_t(_bstr_t("t")), VT_BSTR}, {_variant_t(1L, VT_ERROR), VT_ERROR},
      {_variant_t(static_cast<unsigned char>(7)), VT_UI1},
  };
  for (const auto& c : cases) EXPECT_EQ(c.value.vt, c.vt);
  EXPECT_EQ(_variant_t(true).boolVal, VARIANT_TRUE);
  EXPECT_EQ(_variant_t(short(5), VT_BOOL).boolVal, VARIANT_TRUE);
  try {
    _variant_t tooBig(0x1FFFFFFFFL);
    FAIL() << "no error";
  } catch (const _com_error& e) {
    EXPECT_HR(e.Error(), DISP_E_OVERFLOW);
  }
}

TEST_F(ComSupportTest, VariantHolderReferencesCopiesAndDetach) {
  auto object = ardo::MakeObject<Plain>();
  {
    _variant_t held(static_cast<IDispatch*>(object.Get()));
    EXPECT_EQ(object->DebugRefCount(), 2u);
    _variant_t copy = held;
    EXPECT_EQ(object->DebugRefCount(), 3u);
    _variant_t moved = std::move(copy);
    EXPECT_EQ(copy.vt, VT_EMPTY);
    EXPECT_EQ(object->DebugRefCount(), 3u);
    IUnknown* unknown = held;  // the extractor adds a reference
    EXPECT_EQ(object->DebugRefCount(), 4u);
    unknown->Release();
  }
  EXPECT_EQ(object->DebugRefCount(), 1u);
  object->AddRef();
  { _variant_t taken(static_cast<IDispatch*>(object.Get()), false); }
  EXPECT_EQ(object->DebugRefCount(), 1u);

  _variant_t text("keep");
  VARIANT detached = text.Detach();
  EXPECT_EQ(text.vt, VT_EMPTY);
  EXPECT_EQ(ardo::BstrToUtf8(detached.bstrVal), "keep");
  _variant_t again;
  again.Attach(detached);
  EXPECT_EQ(detached.vt, VT_EMPTY);
  EXPECT_TRUE(again == _variant_t("keep"));
  EXPECT_FALSE(again == _variant_t("other"));
  again = 12L;
  EXPECT_EQ(again.vt, VT_I4);
}

TEST_F(ComSupportTest, VariantHolderExtractorsConvertOrThrow) {
  _variant_t number("42");
  EXPECT_EQ(static_cast<long>(number), 42);
  EXPECT_DOUBLE_EQ(static_cast<double>(number), 42.0);
  EXPECT_TRUE(static_cast<bool>(number));
  EXPECT_EQ(number.vt, VT_BSTR);  // extraction converts a copy
  _bstr_t text = _variant_t(2.5);
  EXPECT_STREQ(static_cast<const char*>(text), "2.5");
  _variant_t word("word");
  try {
    (void)static_cast<long>(word);
    FAIL() << "no error";
  } catch (const _com_error& e) {
    EXPECT_HR(e.Error(), DISP_E_TYPEMISMATCH);
  }
  _variant_t changing("7");
  changing.ChangeType(VT_I2);
  EXPECT_EQ(changing.vt, VT_I2);
  EXPECT_EQ(changing.iVal, 7);
  try {
    changing.ChangeType(VT_DISPATCH);
    FAIL() << "no error";
  } catch (const _com_error& e) {
    EXPECT_HR(e.Error(), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(changing.vt, VT_I2);
  }
}

TEST_F(ComSupportTest, ComErrorCarriesTheCode) {
  _com_error win32(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(win32.WCode(), ERROR_FILE_NOT_FOUND);
  EXPECT_STREQ(win32.ErrorMessage(), "The system cannot find the file specified.");
  EXPECT_EQ(_com_error(E_FAIL).WCode(), 0);
  try {
    _com_issue_error(E_POINTER);
    FAIL() << "no error";
  } catch (const _com_error& e) {
    EXPECT_HR(e.Error(), E_POINTER);
  }
}

}  // namespace
