#include <map>
#include <thread>

#include "platform/platform.h"
#include "tests/support/assertions.h"
#include "tests/support/leak_fixture.h"

namespace {

struct IWidget : IUnknown {
  ARDO_INTERFACE(IWidget, IUnknown, 0x5A5A0001, 0x1111, 0x2222, 1, 2, 3, 4, 5, 6, 7, 8);
  virtual int STDMETHODCALLTYPE Kind() = 0;
};

constexpr CLSID kWidgetClass{0x5A5A0002, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr CLSID kUnknownClass{0x5A5A0003, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};

class Widget : public ardo::ComObject<Widget, IWidget> {
 public:
  explicit Widget(int kind) : kind_(kind) {}
  int STDMETHODCALLTYPE Kind() override { return kind_; }

 private:
  int kind_;
};

class WidgetFactory : public ardo::ComObject<WidgetFactory, IClassFactory> {
 public:
  explicit WidgetFactory(int kind) : kind_(kind) {}
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    ++created;
    if (outer) return CLASS_E_NOAGGREGATION;
    return ardo::MakeObject<Widget>(kind_)->QueryInterface(riid, ppv);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
  int created = 0;

 private:
  int kind_;
};

class ClassRegistryTest : public ardo::test::LeakCheckedTest {
 protected:
  void SetUp() override {
    LeakCheckedTest::SetUp();
    factory_ = ardo::MakeObject<WidgetFactory>(1);
    ASSERT_HR(CoRegisterClassObject(kWidgetClass, factory_->GetUnknown(), CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie_),
              S_OK);
    ASSERT_HR(ardo::RegisterProgID("Test.Widget.1", kWidgetClass), S_OK);
  }
  void TearDown() override {
    if (cookie_) CoRevokeClassObject(cookie_);
    ardo::UnregisterProgID("Test.Widget.1");
    factory_ = nullptr;
    LeakCheckedTest::TearDown();
  }

  static int CreatedKind() {
    ardo::ComPtr<IWidget> widget;
    HRESULT hr = CoCreateInstance(kWidgetClass, nullptr, CLSCTX_ALL, IWidget::kIID,
                                  reinterpret_cast<void**>(widget.Out()));
    return SUCCEEDED(hr) ? widget->Kind() : -1;
  }

  ardo::ComPtr<WidgetFactory> factory_;
  DWORD cookie_ = 0;
};

TEST_F(ClassRegistryTest, CreatesThroughTheRegisteredFactoryAndFailsCleanly) {
  EXPECT_EQ(factory_->DebugRefCount(), 2u);  // ours and the registry's
  EXPECT_EQ(CreatedKind(), 1);
  EXPECT_EQ(factory_->created, 1);
  factory_->created = 0;

  void* p = reinterpret_cast<void*>(0x1);
  EXPECT_HR(CoCreateInstance(kWidgetClass, nullptr, CLSCTX_ALL, IWidget::kIID, nullptr), E_POINTER);
  EXPECT_HR(CoCreateInstance(kUnknownClass, nullptr, CLSCTX_ALL, IWidget::kIID, &p),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(p, nullptr);
  // A context the class is not registered for.
  EXPECT_HR(CoCreateInstance(kWidgetClass, nullptr, CLSCTX_LOCAL_SERVER, IWidget::kIID, &p),
            REGDB_E_CLASSNOTREG);
  // Aggregation is refused before the factory is asked.
  auto outer = ardo::MakeObject<Widget>(9);
  EXPECT_HR(CoCreateInstance(kWidgetClass, outer->GetUnknown(), CLSCTX_ALL, IWidget::kIID, &p),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(factory_->created, 0);
  p = reinterpret_cast<void*>(0x1);
  EXPECT_HR(CoCreateInstance(kWidgetClass, nullptr, CLSCTX_ALL, IID_IStream, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);  // and the new object is gone again (checked at teardown)
}

TEST_F(ClassRegistryTest, InitialisationIsCountedPerThread) {
  HRESULT results[4] = {};
  HRESULT withoutCom = S_OK, afterOneUninit = E_FAIL, afterTwo = S_OK;
  long countInside = -1;
  std::thread([&] {
    void* p = nullptr;
    withoutCom = CoCreateInstance(kWidgetClass, nullptr, CLSCTX_ALL, IWidget::kIID, &p);
    results[0] = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    countInside = ardo::ComInitCount();
    results[1] = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    results[2] = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // the other model
    CoUninitialize();
    afterOneUninit = CoCreateInstance(kWidgetClass, nullptr, CLSCTX_ALL, IWidget::kIID, &p);
    if (p) static_cast<IUnknown*>(p)->Release();
    p = nullptr;
    CoUninitialize();
    afterTwo = CoCreateInstance(kWidgetClass, nullptr, CLSCTX_ALL, IWidget::kIID, &p);
    CoUninitialize();  // one too many: harmless
    results[3] = CoInitialize(nullptr);  // a fresh start may pick the other model
    CoUninitialize();
  }).join();
  EXPECT_HR(withoutCom, CO_E_NOTINITIALIZED);
  EXPECT_EQ(countInside, 1);  // the test thread's initialisation does not count there
  EXPECT_HR(results[0], S_OK);
  EXPECT_HR(results[1], S_FALSE);
  EXPECT_HR(results[2], RPC_E_CHANGED_MODE);
  EXPECT_HR(afterOneUninit, S_OK);
  EXPECT_HR(afterTwo, CO_E_NOTINITIALIZED);
  EXPECT_HR(results[3], S_OK);
}

TEST_F(ClassRegistryTest, RevokeAndRegisterAgain) {
  ASSERT_HR(CoRevokeClassObject(cookie_), S_OK);
  EXPECT_HR(CoRevokeClassObject(cookie_), CO_E_OBJNOTREG);
  cookie_ = 0;
  EXPECT_EQ(factory_->DebugRefCount(), 1u);  // the registry let go
  void* p = nullptr;
  EXPECT_HR(CoCreateInstance(kWidgetClass, nullptr, CLSCTX_ALL, IWidget::kIID, &p),
            REGDB_E_CLASSNOTREG);
  auto second = ardo::MakeObject<WidgetFactory>(2);
  DWORD secondCookie = 0;
  ASSERT_HR(CoRegisterClassObject(kWidgetClass, second->GetUnknown(), CLSCTX_INPROC_SERVER,
                                  REGCLS_MULTIPLEUSE, &secondCookie), S_OK);
  ASSERT_HR(CoRegisterClassObject(kWidgetClass, factory_->GetUnknown(), CLSCTX_INPROC_SERVER,
                                  REGCLS_MULTIPLEUSE, &cookie_), S_OK);
  EXPECT_EQ(CreatedKind(), 1);  // the newest registration wins
  CoRevokeClassObject(cookie_);
  cookie_ = 0;
  EXPECT_EQ(CreatedKind(), 2);  // the older one shows through again
  CoRevokeClassObject(secondCookie);

  auto widget = ardo::MakeObject<Widget>(3);  // not a class factory
  DWORD cookie = 77;
  EXPECT_HR(CoRegisterClassObject(kUnknownClass, widget->GetUnknown(), CLSCTX_INPROC_SERVER, 0,
                                  &cookie), E_NOINTERFACE);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(widget->DebugRefCount(), 1u);
}

TEST_F(ClassRegistryTest, ProgIdsBothWays) {
  CLSID clsid{};
  ASSERT_HR(CLSIDFromProgID(u"test.WIDGET.1", &clsid), S_OK);  // case-insensitive
  EXPECT_EQ(clsid, kWidgetClass);
  std::u16string wide = ardo::Utf8ToUtf16(ardo::GuidToString(kWidgetClass));
  ASSERT_HR(CLSIDFromProgID(wide.c_str(), &clsid), S_OK);
  EXPECT_EQ(clsid, kWidgetClass);

  // Neither a well-formed ProgID nor a class identity in braces; both readers refuse it.
  const char16_t* malformed[] = {
      u"",
      u"1Starts.With.Digit",
      u"Has Space",
      u"Has-Dash",
      u"Way.Too.Long.For.A.ProgId.Of.Thirty.Nine.Characters",
      u"5A5A0002-1111-2222-0102-030405060708",     // no braces
      u"{5A5A0002-1111-2222-0102-030405060708} ",  // trailing space
      u"{5A5A0002-1111-2222-0102-03040506070}",    // one digit short
      u"{5A5A0002-1111-2222-0102-0304050607080}",  // one digit long
      u"{5A5A0002-1111-2222-0102030405060708}",    // missing dash
      u"{5A5A000X-1111-2222-0102-030405060708}",   // not hex
      u"{5A5A0002-1111-2222-0102-030405060708",
  };
  for (const char16_t* bad : malformed) {
    SCOPED_TRACE(ardo::Utf16ToUtf8(bad));
    clsid = kUnknownClass;
    EXPECT_HR(CLSIDFromProgID(bad, &clsid), CO_E_CLASSSTRING);
    EXPECT_HR(CLSIDFromString(bad, &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(clsid, kUnknownClass);
  }
  EXPECT_HR(CLSIDFromProgID(u"Not.Registered", &clsid), CO_E_CLASSSTRING);
  EXPECT_HR(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
  EXPECT_HR(ardo::RegisterProgID("bad progid", kWidgetClass), CO_E_CLASSSTRING);

  // The class's ProgID is the first registered for it.
  ASSERT_HR(ardo::RegisterProgID("Test.Widget", kWidgetClass), S_OK);
  LPOLESTR progId = nullptr;
  ASSERT_HR(ProgIDFromCLSID(kWidgetClass, &progId), S_OK);
  EXPECT_EQ(ardo::BstrToUtf8(progId), "Test.Widget.1");
  CoTaskMemFree(progId);
  ardo::UnregisterProgID("Test.Widget");
  progId = reinterpret_cast<LPOLESTR>(0x1);
  EXPECT_HR(ProgIDFromCLSID(kUnknownClass, &progId), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(progId, nullptr);
}

using GuidTest = ardo::test::LeakCheckedTest;

constexpr GUID kSample{0x2933BF80, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

TEST_F(GuidTest, TextFormIsReadInEitherCaseAndIdentitiesOrderFieldByField) {
  CLSID parsed{};
  ASSERT_HR(CLSIDFromString(u"{2933bf80-7b36-11d2-B20E-00c04f983e60}", &parsed), S_OK);
  EXPECT_EQ(parsed, kSample);
  EXPECT_HR(CLSIDFromString(nullptr, &parsed), CO_E_CLASSSTRING);
  EXPECT_HR(CLSIDFromString(u"{2933BF80-7B36-11D2-B20E-00C04F983E60}", nullptr), E_POINTER);

  GUID later = kSample, earlier = kSample;
  later.Data4[7] = 0x61;
  earlier.Data1 = 0x2933BF7F;
  EXPECT_TRUE(kSample != later);
  EXPECT_TRUE(kSample < later);
  EXPECT_FALSE(later < kSample);
  EXPECT_FALSE(kSample < kSample);
  std::map<GUID, int> byId{{kSample, 1}, {later, 2}, {earlier, 3}};
  EXPECT_EQ(byId.begin()->second, 3);
  static_assert(ardo::IidOf<IDispatch>() == IID_IDispatch);
}

}  // namespace
