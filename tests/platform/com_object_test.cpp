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

TEST_F(ComObjectTest, QueryInterfaceAnswersEveryInterfaceInTheChainsWithOneIdentity) {
  auto object = ardo::MakeObject<Twofold>();
  EXPECT_EQ(object.As<IDerived>()->Third(), 3);
  EXPECT_EQ(object.As<IFirst>()->First(), 1);
  EXPECT_EQ(object.As<ISecond>()->Second(), 2);
  EXPECT_TRUE(object.As<IDispatch>());
  ardo::ComPtr<IUnknown> viaSecond = object.As<ISecond>().As<IUnknown>();
  EXPECT_EQ(viaSecond.Get(), object->GetUnknown());
  // A base shared by both listed interfaces resolves through the first.
  EXPECT_EQ(object.As<ISecond>().As<IDispatch>().Get(),
            static_cast<IDispatch*>(static_cast<IDerived*>(object.Get())));
  viaSecond = nullptr;
  EXPECT_EQ(object->DebugRefCount(), 1u);

  void* p = reinterpret_cast<void*>(0x1);
  EXPECT_HR(object->QueryInterface(INotImplemented::kIID, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_HR(object->QueryInterface(IID_IStream, nullptr), E_POINTER);
  EXPECT_EQ(object->DebugRefCount(), 1u);
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

TEST_F(ComObjectTest, LastReleaseDestroysAndComPtrOwnership) {
  long before = ardo::LiveObjectCount();
  bool destroyed = false;
  Twofold* raw = ardo::MakeObject<Twofold>(&destroyed).Detach();
  EXPECT_EQ(ardo::LiveObjectsByClass()["(anonymous namespace)::Twofold"], 1);
  EXPECT_EQ(raw->AddRef(), 2u);
  EXPECT_EQ(raw->Release(), 1u);
  {
    auto adopted = ardo::ComPtr<Twofold>::Adopt(raw);  // takes the creation reference
    ardo::ComPtr<Twofold> shared(raw);
    ardo::ComPtr<Twofold> moved = std::move(ardo::ComPtr<Twofold>(shared));
    EXPECT_EQ(raw->DebugRefCount(), 3u);
    ardo::ComPtr<IFirst> base = moved;
    EXPECT_EQ(raw->DebugRefCount(), 4u);
    EXPECT_HR(base.CopyTo(nullptr), E_POINTER);
    IFirst** slot = base.Out();  // releases the old value first
    EXPECT_EQ(*slot, nullptr);
    EXPECT_EQ(raw->DebugRefCount(), 3u);
    shared.Detach()->Release();
    ardo::ComPtr<ISecond> second;
    EXPECT_HR(ardo::ComPtr<Twofold>().QueryTo(second.Out()), E_POINTER);
    EXPECT_FALSE(destroyed);
  }
  EXPECT_TRUE(destroyed);  // the last release destroys
  EXPECT_EQ(ardo::LiveObjectCount(), before);
}

}  // namespace
