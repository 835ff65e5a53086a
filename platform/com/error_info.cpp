#include "platform/com/error_info.h"

#include <string>

#include "platform/com/com_object.h"
#include "platform/win/text_encoding.h"

namespace {

class ErrorObject : public ardo::ComObject<ErrorObject, IErrorInfo, ICreateErrorInfo> {
 public:
  HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) override {
    if (!pGUID) return E_INVALIDARG;
    *pGUID = guid_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSource(BSTR* out) override { return Give(source_, out); }
  HRESULT STDMETHODCALLTYPE GetDescription(BSTR* out) override { return Give(description_, out); }
  HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* out) override { return Give(helpFile_, out); }
  HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* out) override {
    if (!out) return E_INVALIDARG;
    *out = helpContext_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetGUID(REFGUID guid) override {
    guid_ = guid;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR text) override { return Keep(text, &source_); }
  HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR text) override { return Keep(text, &description_); }
  HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR text) override { return Keep(text, &helpFile_); }
  HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD context) override {
    helpContext_ = context;
    return S_OK;
  }

 private:
  static HRESULT Give(const std::u16string& text, BSTR* out) {
    if (!out) return E_INVALIDARG;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  static HRESULT Keep(LPOLESTR text, std::u16string* to) {
    to->assign(text ? text : u"");
    return S_OK;
  }
  GUID guid_ = GUID_NULL;
  std::u16string source_, description_, helpFile_;
  DWORD helpContext_ = 0;
};

// The thread's error object, released when the thread ends if nobody took it.
struct ThreadError {
  IErrorInfo* info = nullptr;
  ~ThreadError() {
    if (info) info->Release();
  }
};
thread_local ThreadError t_error;

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
  if (!pperrinfo) return E_INVALIDARG;
  *pperrinfo = nullptr;
  ErrorObject* object = new (std::nothrow) ErrorObject;
  if (!object) return E_OUTOFMEMORY;
  *pperrinfo = object;  // the one reference, the caller's
  return S_OK;
}

HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo) {
  if (dwReserved != 0) return E_INVALIDARG;
  if (perrinfo) perrinfo->AddRef();
  IErrorInfo* old = t_error.info;
  t_error.info = perrinfo;
  if (old) old->Release();
  return S_OK;
}

HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo) {
  if (!pperrinfo) return E_INVALIDARG;
  *pperrinfo = nullptr;
  if (dwReserved != 0) return E_INVALIDARG;
  if (!t_error.info) return S_FALSE;
  *pperrinfo = t_error.info;  // the thread's reference goes to the caller
  t_error.info = nullptr;
  return S_OK;
}

namespace ardo {

bool SetErrorDescription(const char* description, const char* source, REFGUID iid) {
  ComPtr<ICreateErrorInfo> create;
  if (FAILED(CreateErrorInfo(create.Out()))) return false;
  std::u16string text = Utf8ToUtf16(description ? description : "");
  std::u16string from = Utf8ToUtf16(source ? source : "");
  create->SetDescription(text.data());
  create->SetSource(from.data());
  create->SetGUID(iid);
  ComPtr<IErrorInfo> info;
  if (FAILED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(info.Out())))) return false;
  return SUCCEEDED(SetErrorInfo(0, info.Get()));
}

}  // namespace ardo
