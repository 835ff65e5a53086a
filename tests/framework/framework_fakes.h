// Small stand-ins for engine objects and class objects, used where the
// framework tests need an interface that the real engine cannot hand out on
// demand. Each counts its AddRef and Release calls.
#pragma once

#include <type_traits>
#include <vector>

#include "engine/include/xml_services.h"
#include "framework/com_exception.h"
#include "platform/platform.h"
#include "tests/support/fake_node.h"

namespace ardo::test {

// Whether `call` threw an E*; `check` sees the exception before it is freed.
// E = void catches any pointer, freed as the library's own exception.
template <class E, class F, class C = void (*)(E*)>
bool Throws(F call, C check = [](E*) {}) {
  try {
    call();
  } catch (E* e) {
    check(e);
    if constexpr (std::is_void_v<E>) static_cast<CComException*>(e)->Delete();
    else e->Delete();
    return true;
  }
  return false;
}

class FakeTemplate : public CallCounted<FakeTemplate, IXSLTemplate> {
 public:
  HRESULT putref_stylesheet(IXMLDOMNode*) override { return E_NOTIMPL; }
  HRESULT get_stylesheet(IXMLDOMNode** sheet) override {
    if (sheet) *sheet = nullptr;
    return E_NOTIMPL;
  }
  HRESULT createProcessor(IXSLProcessor** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
};

class FakeReaderControl : public CallCounted<FakeReaderControl, IMXReaderControl> {
 public:
  HRESULT abort() override { return E_NOTIMPL; }
  HRESULT resume() override { return E_NOTIMPL; }
  HRESULT suspend() override { return E_NOTIMPL; }
};

// A class object that records what it was asked for. It answers with the
// HRESULT chosen and, when an object was given, with that object queried
// for the interface asked.
class RecordingFactory : public ComObject<RecordingFactory, IClassFactory> {
 public:
  RecordingFactory(HRESULT answer, IUnknown* object) : answer_(answer), object_(object) {}

  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    asked_.push_back(riid);
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (object_) {
      HRESULT hr = object_->QueryInterface(riid, ppv);
      if (FAILED(hr)) return hr;
    }
    return answer_;
  }
  HRESULT LockServer(BOOL) override { return S_OK; }

  // The interface identities asked for, one per CreateInstance call.
  const std::vector<IID>& Asked() const { return asked_; }

 private:
  HRESULT answer_;
  ComPtr<IUnknown> object_;
  std::vector<IID> asked_;
};

// Registers a class object for a class identity for the length of a scope,
// taking precedence over the engine's registration of the same class.
class ScopedClassRegistration {
 public:
  ScopedClassRegistration(REFCLSID clsid, IUnknown* classObject)
      : hr_(CoRegisterClassObject(clsid, classObject, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_)) {}
  ~ScopedClassRegistration() {
    if (SUCCEEDED(hr_)) CoRevokeClassObject(cookie_);
  }
  ScopedClassRegistration(const ScopedClassRegistration&) = delete;
  ScopedClassRegistration& operator=(const ScopedClassRegistration&) = delete;

  HRESULT Result() const { return hr_; }

 private:
  DWORD cookie_ = 0;
  HRESULT hr_ = E_FAIL;
};

}  // namespace ardo::test
