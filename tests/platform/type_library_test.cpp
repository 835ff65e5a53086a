#include <string>

#include "platform/platform.h"
#include "tests/support/assertions.h"
#include "tests/support/leak_fixture.h"

namespace {

struct ICalculator : IDispatch {
  ARDO_INTERFACE(ICalculator, IDispatch, 0x7C000001, 0x0001, 0x0001, 1, 2, 3, 4, 5, 6, 7, 8);
  virtual HRESULT STDMETHODCALLTYPE get_total(long* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_total(long value) = 0;
  virtual HRESULT STDMETHODCALLTYPE add(long a, double b, long* sum) = 0;
  virtual HRESULT STDMETHODCALLTYPE shout(BSTR* text) = 0;
  virtual HRESULT STDMETHODCALLTYPE describe(VARIANT value, VARIANT_BOOL verbose, BSTR* text) = 0;
  virtual HRESULT STDMETHODCALLTYPE adopt(ICalculator* other) = 0;
  virtual HRESULT STDMETHODCALLTYPE fail() = 0;
};

constexpr GUID kLibId{0x7C0000FF, 0x0001, 0x0001, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr IID kUndescribed{0x7C0000FE, 0x0001, 0x0001, {1, 2, 3, 4, 5, 6, 7, 8}};

enum : DISPID { kTotal = 1, kAdd = 2, kShout = 3, kDescribe = 4, kAdopt = 5, kFail = 6 };

ardo::TypeLibraryDescription CalculatorLibrary(WORD minor) {
  ardo::DispatchInterface calculator{
      ICalculator::kIID,
      "ICalculator",
      {
          ardo::DescribePropertyGet<&ICalculator::get_total>("total", kTotal),
          ardo::DescribePropertyPut<&ICalculator::put_total>("total", kTotal),
          ardo::DescribeMethodWithResult<&ICalculator::add>("add", kAdd),
          ardo::DescribeMethod<&ICalculator::shout>("shout", kShout),
          ardo::DescribeMethodWithResult<&ICalculator::describe>("describe", kDescribe),
          ardo::DescribeMethod<&ICalculator::adopt>("adopt", kAdopt),
          ardo::DescribeMethod<&ICalculator::fail>("fail", kFail),
      }};
  return ardo::TypeLibraryDescription{kLibId, 1, minor, "CalculatorLib", {calculator}};
}

// The members, shared by an object that answers IDispatch through its own
// type information and one that leaves IDispatch to its base.
template <class Self>
class CalculatorMembers : public ardo::ComObject<Self, ICalculator> {
 public:
  HRESULT STDMETHODCALLTYPE get_total(long* value) override { return *value = total_, S_OK; }
  HRESULT STDMETHODCALLTYPE put_total(long value) override { return total_ = value, S_OK; }
  HRESULT STDMETHODCALLTYPE add(long a, double b, long* sum) override {
    return *sum = a + static_cast<long>(b * 10), S_OK;
  }
  HRESULT STDMETHODCALLTYPE shout(BSTR* text) override {
    std::string loud = ardo::BstrToUtf8(*text) + "!";
    SysFreeString(*text);
    return *text = ardo::Utf8ToBstr(loud.c_str()), S_OK;
  }
  HRESULT STDMETHODCALLTYPE describe(VARIANT value, VARIANT_BOOL verbose, BSTR* text) override {
    std::string said = std::to_string(value.vt) + (verbose ? " verbose" : " terse");
    return *text = ardo::Utf8ToBstr(said.c_str()), S_OK;
  }
  HRESULT STDMETHODCALLTYPE adopt(ICalculator* other) override {
    total_ = 0;
    return other ? other->get_total(&total_) : S_OK;
  }
  HRESULT STDMETHODCALLTYPE fail() override { return E_ABORT; }

  long total_ = 0;
};

class PlainCalculator : public CalculatorMembers<PlainCalculator> {};

class Calculator : public CalculatorMembers<Calculator> {
 public:
  Calculator() {
    ardo::ComPtr<ITypeLib> library;
    if (SUCCEEDED(LoadRegTypeLib(kLibId, 1, 0, 0, library.Out())))
      library->GetTypeInfoOfGuid(ICalculator::kIID, info_.Out());
  }

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    return info_->GetIDsOfNames(names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excepInfo,
                                   UINT* argErr) override {
    return info_->Invoke(static_cast<ICalculator*>(this), id, flags, params, result, excepInfo,
                         argErr);
  }

  ardo::ComPtr<ITypeInfo> info_;
};

class TypeLibraryTest : public ardo::test::LeakCheckedTest {
 protected:
  void SetUp() override {
    LeakCheckedTest::SetUp();
    ardo::ComPtr<ITypeLib> library;
    ASSERT_HR(ardo::CreateTypeLibrary(CalculatorLibrary(0), library.Out()), S_OK);
    ASSERT_HR(RegisterTypeLib(library.Get(), nullptr, nullptr), S_OK);
    calculator_ = ardo::MakeObject<Calculator>();
    ASSERT_TRUE(calculator_->info_);
  }
  void TearDown() override {
    calculator_ = nullptr;
    UnRegisterTypeLib(kLibId, 1, 0, 0, SYS_WIN64);
    LeakCheckedTest::TearDown();
  }

  HRESULT Call(DISPID id, WORD flags, std::initializer_list<VARIANT> argsInOrder,
               VARIANT* result = nullptr, UINT* argErr = nullptr, EXCEPINFO* excep = nullptr,
               DISPID* named = nullptr, UINT namedCount = 0) {
    std::vector<VARIANT> reversed(argsInOrder.begin(), argsInOrder.end());
    std::reverse(reversed.begin(), reversed.end());
    DISPPARAMS params{reversed.data(), named, static_cast<UINT>(reversed.size()), namedCount};
    return calculator_->Invoke(id, IID_NULL, 0, flags, &params, result, excep, argErr);
  }

  static VARIANT Var(VARTYPE vt) {
    VARIANT v{};
    v.vt = vt;
    return v;
  }
  static VARIANT I4(LONG x) {
    VARIANT v = Var(VT_I4);
    return v.lVal = x, v;
  }
  static VARIANT Str(const char16_t* text) {
    VARIANT v = Var(VT_BSTR);
    return v.bstrVal = SysAllocString(text), v;
  }
  // The text of a returned string, which is freed.
  static std::string Take(BSTR& text) {
    std::string narrow = ardo::BstrToUtf8(text);
    SysFreeString(text);
    return text = nullptr, narrow;
  }

  ardo::ComPtr<Calculator> calculator_;
};

TEST_F(TypeLibraryTest, ServedInterfacesBindObjectsLate) {
  auto plain = ardo::MakeObject<PlainCalculator>();  // answers through its base's IDispatch
  plain->total_ = 42;
  auto total = [&](HRESULT expected) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"total")};
    EXPECT_HR(plain->GetIDsOfNames(IID_NULL, names, 1, 0, &id), expected);
    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_HR(plain->Invoke(kTotal, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
              SUCCEEDED(expected) ? S_OK : DISP_E_MEMBERNOTFOUND);
    return result.vt == VT_I4 ? result.lVal : -1;
  };
  EXPECT_EQ(total(DISP_E_UNKNOWNNAME), -1);
  ASSERT_HR(ardo::ServeDispatchInterface(ICalculator::kIID, calculator_->info_.Get()), S_OK);
  UINT count = 0;
  EXPECT_HR(plain->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(total(S_OK), 42);
  ASSERT_HR(ardo::ServeDispatchInterface(ICalculator::kIID, nullptr), S_OK);
  EXPECT_EQ(total(DISP_E_UNKNOWNNAME), -1);
}

TEST_F(TypeLibraryTest, NamesMapToDispidsIgnoringCase) {
  struct { std::u16string name; HRESULT hr; DISPID id; } cases[] = {
      {u"add", S_OK, kAdd},
      {u"ADD", S_OK, kAdd},
      {u"Total", S_OK, kTotal},
      {u"subtract", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(ardo::Utf16ToUtf8(c.name));
    LPOLESTR names[] = {c.name.data()};
    DISPID id = 1234;
    EXPECT_HR(calculator_->GetIDsOfNames(IID_NULL, names, 1, 0, &id), c.hr);
    EXPECT_EQ(id, c.id);
  }
  std::u16string member = u"add", parameter = u"a";
  LPOLESTR both[] = {member.data(), parameter.data()};
  DISPID ids[2] = {0, 0};
  EXPECT_HR(calculator_->GetIDsOfNames(IID_NULL, both, 2, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], kAdd);
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);
}

TEST_F(TypeLibraryTest, PropertiesAndMethodsCoerceArgumentsInDeclarationOrder) {
  VARIANT text = Str(u"41");
  DISPID putId = DISPID_PROPERTYPUT;
  ASSERT_HR(Call(kTotal, DISPATCH_PROPERTYPUT, {text}, nullptr, nullptr, nullptr, &putId, 1), S_OK);
  EXPECT_EQ(calculator_->total_, 41);  // "41" coerced to the declared long
  VariantClear(&text);
  VARIANT result = Var(VT_EMPTY);
  ASSERT_HR(Call(kTotal, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &result), S_OK);
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, 41);
  VARIANT half = Var(VT_R4);
  half.fltVal = 0.5f;
  ASSERT_HR(Call(kAdd, DISPATCH_METHOD, {I4(2), half}, &result), S_OK);  // 2 + 0.5 * 10
  EXPECT_EQ(result.lVal, 7);

  VARIANT flag = Var(VT_BOOL);
  flag.boolVal = VARIANT_TRUE;
  ASSERT_HR(Call(kDescribe, DISPATCH_METHOD, {I4(5), flag}, &result), S_OK);
  EXPECT_EQ(Take(result.bstrVal), "3 verbose");  // VT_I4 is 3
  // An integer given for the VARIANT_BOOL converts; the VARIANT takes anything.
  ASSERT_HR(Call(kDescribe, DISPATCH_METHOD, {flag, I4(0)}, &result), S_OK);
  EXPECT_EQ(Take(result.bstrVal), "11 terse");
}

TEST_F(TypeLibraryTest, InOutStringsAndInterfaceArguments) {
  BSTR text = SysAllocString(u"hello");
  VARIANT ref = Var(VT_BSTR | VT_BYREF);
  ref.pbstrVal = &text;
  ASSERT_HR(Call(kShout, DISPATCH_METHOD, {ref}), S_OK);
  EXPECT_EQ(Take(text), "hello!");
  VARIANT byValue = Str(u"quiet");  // the method works on a copy, freed afterwards
  ASSERT_HR(Call(kShout, DISPATCH_METHOD, {byValue}), S_OK);
  EXPECT_EQ(Take(byValue.bstrVal), "quiet");

  auto other = ardo::MakeObject<Calculator>();
  other->total_ = 12;
  VARIANT unk = Var(VT_UNKNOWN);
  unk.punkVal = other->GetUnknown();
  ASSERT_HR(Call(kAdopt, DISPATCH_METHOD, {unk}), S_OK);
  EXPECT_EQ(calculator_->total_, 12);
  EXPECT_EQ(other->DebugRefCount(), 1u);
}

TEST_F(TypeLibraryTest, DispatchErrors) {
  UINT argErr = 99;
  VARIANT word = Str(u"many");
  EXPECT_HR(Call(kAdd, DISPATCH_METHOD, {I4(1), word}, nullptr, &argErr), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 0u);  // rgvarg index: the last argument comes first
  EXPECT_HR(Call(kAdd, DISPATCH_METHOD, {word, I4(1)}, nullptr, &argErr), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 1u);
  VariantClear(&word);
  VARIANT huge = Var(VT_R8);
  huge.dblVal = 1e12;
  EXPECT_HR(Call(kAdd, DISPATCH_METHOD, {huge, I4(1)}, nullptr, &argErr), DISP_E_OVERFLOW);
  EXPECT_HR(Call(kAdd, DISPATCH_METHOD, {I4(1)}), DISP_E_BADPARAMCOUNT);
  EXPECT_HR(Call(kAdd, DISPATCH_METHOD, {I4(1), I4(2), I4(3)}), DISP_E_BADPARAMCOUNT);
  EXPECT_HR(Call(99, DISPATCH_METHOD, {}), DISP_E_MEMBERNOTFOUND);
  EXPECT_HR(Call(kAdd, DISPATCH_PROPERTYGET, {I4(1), I4(2)}), DISP_E_MEMBERNOTFOUND);
  EXPECT_HR(Call(kTotal, DISPATCH_PROPERTYPUTREF, {I4(1)}), DISP_E_MEMBERNOTFOUND);
  DISPID named = 0;
  EXPECT_HR(Call(kAdd, DISPATCH_METHOD, {I4(1), I4(2)}, nullptr, nullptr, nullptr, &named, 1),
            DISP_E_NONAMEDARGS);
  EXCEPINFO info{};
  EXPECT_HR(Call(kFail, DISPATCH_METHOD, {}, nullptr, nullptr, &info), DISP_E_EXCEPTION);
  EXPECT_HR(info.scode, E_ABORT);
  EXPECT_EQ(Take(info.bstrSource), "ICalculator");
  EXPECT_EQ(Take(info.bstrDescription), "Operation aborted.");
  EXPECT_HR(Call(kFail, DISPATCH_METHOD, {}), E_ABORT);
}

TEST_F(TypeLibraryTest, LookupVersionsUnregistrationAndCheckedDescriptions) {
  ardo::ComPtr<ITypeLib> library;
  ardo::ComPtr<ITypeInfo> info;
  ASSERT_HR(LoadRegTypeLib(kLibId, 1, 0, 0, library.Out()), S_OK);
  EXPECT_HR(library->GetTypeInfoOfGuid(kUndescribed, info.Out()), TYPE_E_ELEMENTNOTFOUND);
  EXPECT_FALSE(info);
  EXPECT_HR(LoadRegTypeLib(kLibId, 2, 0, 0, library.Out()), TYPE_E_LIBNOTREGISTERED);
  EXPECT_HR(LoadRegTypeLib(kLibId, 1, 1, 0, library.Out()), TYPE_E_LIBNOTREGISTERED);
  ardo::ComPtr<ITypeLib> newer;
  ASSERT_HR(ardo::CreateTypeLibrary(CalculatorLibrary(3), newer.Out()), S_OK);
  ASSERT_HR(RegisterTypeLib(newer.Get(), nullptr, nullptr), S_OK);
  ASSERT_HR(LoadRegTypeLib(kLibId, 1, 1, 0, library.Out()), S_OK);  // 1.3 serves a 1.1 request
  EXPECT_EQ(library.Get(), newer.Get());
  ASSERT_HR(LoadRegTypeLib(kLibId, 1, 0, 0, library.Out()), S_OK);
  EXPECT_EQ(library.Get(), newer.Get());  // the newest minor version wins
  ASSERT_HR(UnRegisterTypeLib(kLibId, 1, 3, 0, SYS_WIN64), S_OK);
  EXPECT_HR(UnRegisterTypeLib(kLibId, 1, 3, 0, SYS_WIN64), TYPE_E_LIBNOTREGISTERED);
  ASSERT_HR(UnRegisterTypeLib(kLibId, 1, 0, 0, SYS_WIN64), S_OK);
  EXPECT_HR(LoadRegTypeLib(kLibId, 1, 0, 0, library.Out()), TYPE_E_LIBNOTREGISTERED);
  EXPECT_FALSE(library);
  // An object that already holds its type information keeps working.
  VARIANT result = Var(VT_EMPTY);
  EXPECT_HR(Call(kTotal, DISPATCH_PROPERTYGET, {}, &result), S_OK);

  // A library describing one interface twice, or a member without its call, is refused.
  ardo::TypeLibraryDescription twice = CalculatorLibrary(0), noThunk = CalculatorLibrary(0);
  twice.interfaces.push_back(twice.interfaces[0]);
  noThunk.interfaces[0].members[0].invoke = nullptr;
  for (const auto& description : {twice, noThunk}) {
    EXPECT_HR(ardo::CreateTypeLibrary(description, library.Out()), E_INVALIDARG);
    EXPECT_FALSE(library);
  }
}

}  // namespace
