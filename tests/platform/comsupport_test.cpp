#include <string>

#include "platform/platform.h"
#include "tests/support/assertions.h"
#include "tests/support/leak_fixture.h"

namespace {

using ComSupportTest = ardo::test::LeakCheckedTest;

class Plain : public ardo::ComObject<Plain, IDispatch> {};

template <class F>
HRESULT ComErrorOf(F f) {
  try {
    f();
  } catch (const _com_error& e) {
    return e.Error();
  }
  return S_OK;
}

TEST_F(ComSupportTest, BstrHolderOwnsConvertsAndTakesOverOrCopies) {
  _bstr_t text("gr\xC3\xBC\xC3\x9F");
  EXPECT_EQ(text.length(), 4u);
  EXPECT_EQ(std::u16string(static_cast<const OLECHAR*>(text)), u"gr\u00FC\u00DF");
  _bstr_t none(static_cast<const char*>(nullptr));
  EXPECT_EQ(static_cast<const char*>(none), nullptr);
  EXPECT_TRUE(none == _bstr_t(""));  // null and "" compare equal
  _bstr_t copy = text;
  EXPECT_NE(static_cast<const OLECHAR*>(copy), static_cast<const OLECHAR*>(text));
  copy += _bstr_t("!");
  EXPECT_STREQ(static_cast<const char*>(copy), "gr\xC3\xBC\xC3\x9F!");  // the narrow cache follows
  ardo::FailBstrAllocationsAfter(0);
  EXPECT_HR(ComErrorOf([] { _bstr_t failing("x"); }), E_OUTOFMEMORY);
  ardo::FailBstrAllocationsAfter(-1);

  // A delivered string is taken over or copied.
  BSTR delivered = SysAllocString(u"delivered");
  long live = ardo::LiveBstrCount();
  { _bstr_t taken(delivered, false); }
  EXPECT_EQ(ardo::LiveBstrCount(), live - 1);
  BSTR mine = SysAllocString(u"mine");
  {
    _bstr_t copied(mine, true);
    EXPECT_NE(static_cast<const OLECHAR*>(copied), mine);
  }
  _bstr_t holder;
  holder.Attach(mine);
  EXPECT_EQ(holder.Detach(), mine);
  SysFreeString(mine);
}

TEST_F(ComSupportTest, VariantHolderReferencesDetachAndExtractors) {
  EXPECT_EQ(_variant_t(3).vt, VT_INT);
  EXPECT_EQ(_variant_t(short(5), VT_BOOL).boolVal, VARIANT_TRUE);
  EXPECT_HR(ComErrorOf([] { _variant_t tooBig(0x1FFFFFFFFL); }), DISP_E_OVERFLOW);
  auto object = ardo::MakeObject<Plain>();
  {
    _variant_t held(static_cast<IDispatch*>(object.Get()));
    _variant_t copy = held;
    _variant_t moved = std::move(copy);
    EXPECT_EQ(copy.vt, VT_EMPTY);
    EXPECT_EQ(object->DebugRefCount(), 3u);
    IUnknown* unknown = held;  // the extractor adds a reference
    EXPECT_EQ(object->DebugRefCount(), 4u);
    unknown->Release();
  }
  object->AddRef();
  { _variant_t taken(static_cast<IDispatch*>(object.Get()), false); }
  EXPECT_EQ(object->DebugRefCount(), 1u);
  _variant_t text("keep");
  VARIANT detached = text.Detach();
  EXPECT_EQ(text.vt, VT_EMPTY);
  _variant_t again;
  again.Attach(detached);
  EXPECT_TRUE(again == _variant_t("keep"));
  EXPECT_FALSE(again == _variant_t("other"));

  // Extractors convert or throw.
  _variant_t number("42");
  EXPECT_EQ(static_cast<long>(number), 42);
  EXPECT_EQ(number.vt, VT_BSTR);  // extraction converts a copy
  EXPECT_STREQ(static_cast<const char*>(_bstr_t(_variant_t(2.5))), "2.5");
  EXPECT_HR(ComErrorOf([] { (void)static_cast<long>(_variant_t("word")); }), DISP_E_TYPEMISMATCH);
  _variant_t changing("7");
  changing.ChangeType(VT_I2);
  EXPECT_EQ(changing.iVal, 7);
  EXPECT_HR(ComErrorOf([&] { changing.ChangeType(VT_DISPATCH); }), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(changing.vt, VT_I2);
}

}  // namespace
