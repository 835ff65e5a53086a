#include <thread>
#include <vector>

#include "platform/platform.h"
#include "tests/support/assertions.h"
#include "tests/support/leak_fixture.h"

namespace {

using ComObjectTest = ardo::test::LeakCheckedTest;

struct IFirst : IDispatch {
  ARDO_INTERFACE(IFirst, IDispatch, 0x11111111, 0x0001, 0x0001, 1, 2, 3, 4, 5, 6, 7, 8);
  virtual int STDMETHODCALLTYPE First() = 0;
};
struct ISecond : IDispatch {
  ARDO_INTERFACE(ISecond, IDispatch, 0x22222222, 0x0002, 0x0002, 1, 2, 3, 4, 5, 6, 7, 8);
  virtual int STDMETHODCALLTYPE Second() = 0;
};
struct IDerived : IFirst {
  ARDO_INTERFACE(IDerived, IFirst, 0x33333333, 0x0003, 0x0003, 1, 2, 3, 4, 5, 6, 7, 8);
  virtual int STDMETHODCALLTYPE Third() = 0;
};
struct INotImplemented : IUnknown {
  ARDO_INTERFACE(INotImplemented, IUnknown, 0x44444444, 0x0004, 0x0004, 1, 2, 3, 4, 5, 6, 7, 8);
};

class Twofold : public ardo::ComObject<Twofold, IDerived, ISecond> {
 public:
  explicit Twofold(bool* destroyed = nullptr) : destroyed_(destroyed) {}
  ~Twofold() override {
    if (destroyed_) *destroyed_ = true;
  }
  int STDMETHODCALLTYPE First() override { return 1; }
  int STDMETHODCALLTYPE Second() override { return 2; }
  int STDMETHODCALLTYPE Third() override { return 3; }

 private:
  bool* destroyed_;
};

TEST_F(ComObjectTest, QueryInterfaceAnswersEveryInterfaceInTheChains) {
  auto object = ardo::MakeObject<Twofold>();
  EXPECT_EQ(object->DebugRefCount(), 1u);
  struct {
    const IID& iid;
    int expected;  // which method the delivered pointer reaches, 0 = none
  } cases[] = {{IDerived::kIID, 3}, {IFirst::kIID, 1}, {ISecond::kIID, 2},
               {IDispatch::kIID, 0}, {IUnknown::kIID, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(ardo::GuidToString(c.iid));
    void* p = nullptr;
    ASSERT_HR(object->QueryInterface(c.iid, &p), S_OK);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(object->DebugRefCount(), 2u);
    if (c.expected == 3) {
      EXPECT_EQ(static_cast<IDerived*>(p)->Third(), 3);
    } else if (c.expected == 1) {
      EXPECT_EQ(static_cast<IFirst*>(p)->First(), 1);
    } else if (c.expected == 2) {
      EXPECT_EQ(static_cast<ISecond*>(p)->Second(), 2);
    }
    static_cast<IUnknown*>(p)->Release();
  }
}

TEST_F(ComObjectTest, IdentityIsTheSameThroughEveryInterface) {
  auto object = ardo::MakeObject<Twofold>();
  ardo::ComPtr<ISecond> second = object.As<ISecond>();
  ardo::ComPtr<IUnknown> viaSecond = second.As<IUnknown>();
  ardo::ComPtr<IUnknown> viaObject = object.As<IUnknown>();
  EXPECT_EQ(viaSecond.Get(), viaObject.Get());
  EXPECT_EQ(viaObject.Get(), object->GetUnknown());
  // A base shared by both listed interfaces resolves through the first.
  ardo::ComPtr<IDispatch> dispatch = second.As<IDispatch>();
  EXPECT_EQ(dispatch.Get(), static_cast<IDispatch*>(static_cast<IDerived*>(object.Get())));
}

TEST_F(ComObjectTest, RefusalsFollowTheRules) {
  auto object = ardo::MakeObject<Twofold>();
  void* p = reinterpret_cast<void*>(0x1);
  EXPECT_HR(object->QueryInterface(INotImplemented::kIID, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_HR(object->QueryInterface(IID_IStream, nullptr), E_POINTER);
  EXPECT_EQ(object->DebugRefCount(), 1u);
  EXPECT_FALSE(object.As<INotImplemented>());
}

TEST_F(ComObjectTest, DispatchDefaultsDeclineLateBinding) {
  auto object = ardo::MakeObject<Twofold>();
  IDispatch* dispatch = static_cast<IDerived*>(object.Get());
  UINT count = 7;
  EXPECT_HR(dispatch->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(0x1);
  EXPECT_HR(dispatch->GetTypeInfo(0, 0, &info), DISP_E_BADINDEX);
  EXPECT_EQ(info, nullptr);
  OLECHAR name[] = u"First";
  LPOLESTR names[] = {name};
  DISPID id = 5;
  EXPECT_HR(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_HR(dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
}

TEST_F(ComObjectTest, LastReleaseDestroysAndCountsFollow) {
  long before = ardo::LiveObjectCount();
  bool destroyed = false;
  Twofold* raw = ardo::MakeObject<Twofold>(&destroyed).Detach();
  EXPECT_EQ(ardo::LiveObjectCount(), before + 1);
  auto byClass = ardo::LiveObjectsByClass();
  EXPECT_EQ(byClass["(anonymous namespace)::Twofold"], 1);
  EXPECT_EQ(raw->AddRef(), 2u);
  EXPECT_EQ(raw->Release(), 1u);
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(raw->Release(), 0u);
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(ardo::LiveObjectCount(), before);
  EXPECT_EQ(ardo::LiveObjectsByClass().count("(anonymous namespace)::Twofold"), 0u);
}

TEST_F(ComObjectTest, ReferenceCountIsAtomicAcrossThreads) {
  auto object = ardo::MakeObject<Twofold>();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int k = 0; k < 10000; ++k) {
        object->AddRef();
        object->Release();
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(object->DebugRefCount(), 1u);
}

TEST_F(ComObjectTest, ComPtrOwnership) {
  bool destroyed = false;
  Twofold* raw = ardo::MakeObject<Twofold>(&destroyed).Detach();
  {
    auto adopted = ardo::ComPtr<Twofold>::Adopt(raw);  // takes the creation reference
    EXPECT_EQ(raw->DebugRefCount(), 1u);
    ardo::ComPtr<Twofold> shared(raw);
    EXPECT_EQ(raw->DebugRefCount(), 2u);
    ardo::ComPtr<Twofold> copy = shared;
    EXPECT_EQ(raw->DebugRefCount(), 3u);
    ardo::ComPtr<Twofold> moved = std::move(copy);
    EXPECT_FALSE(copy);
    EXPECT_EQ(raw->DebugRefCount(), 3u);
    ardo::ComPtr<IFirst> base = moved;  // converting copy
    EXPECT_EQ(raw->DebugRefCount(), 4u);
    IFirst* out = nullptr;
    ASSERT_HR(base.CopyTo(&out), S_OK);
    EXPECT_EQ(raw->DebugRefCount(), 5u);
    out->Release();
    EXPECT_HR(base.CopyTo(nullptr), E_POINTER);
    IFirst** slot = base.Out();  // releases the old value first
    EXPECT_EQ(*slot, nullptr);
    EXPECT_EQ(raw->DebugRefCount(), 3u);
    Twofold* detached = shared.Detach();
    EXPECT_EQ(raw->DebugRefCount(), 3u);
    detached->Release();
    ardo::ComPtr<ISecond> second;
    ardo::ComPtr<Twofold> empty;
    EXPECT_HR(empty.QueryTo(second.Out()), E_POINTER);
  }
  EXPECT_TRUE(destroyed);
}

}  // namespace

namespace {

struct Handler : ardo::LiveObjectCounted<Handler> {};

TEST_F(ComObjectTest, ObjectsOutsideComObjectCanBeCountedToo) {
  const std::string name = "(anonymous namespace)::Handler";
  {
    Handler first;
    Handler copy = first;
    EXPECT_EQ(ardo::LiveObjectsByClass()[name], 2);
  }
  EXPECT_EQ(ardo::LiveObjectsByClass().count(name), 0u);
}

}  // namespace
