#include "platform/com/type_library.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <tuple>

#include "platform/com/com_object.h"
#include "platform/com/error_info.h"

namespace {

using Description = std::shared_ptr<const ardo::TypeLibraryDescription>;

bool SameNameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k) {
    char x = a[k], y = b[k];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool KindMatches(ardo::MemberKind kind, WORD flags) {
  switch (kind) {
    case ardo::MemberKind::Method: return flags & DISPATCH_METHOD;
    case ardo::MemberKind::PropertyGet: return flags & DISPATCH_PROPERTYGET;
    case ardo::MemberKind::PropertyPut: return flags & DISPATCH_PROPERTYPUT;
    case ardo::MemberKind::PropertyPutRef: return flags & DISPATCH_PROPERTYPUTREF;
  }
  return false;
}

// Stores a name (or nothing) into optional documentation outputs.
HRESULT FillDocumentation(const std::string& name, BSTR* pName, BSTR* pDoc, DWORD* pContext,
                          BSTR* pHelpFile) {
  if (pDoc) *pDoc = nullptr;
  if (pHelpFile) *pHelpFile = nullptr;
  if (pContext) *pContext = 0;
  if (pName && !(*pName = ardo::Utf8ToBstr(name.c_str()))) return E_OUTOFMEMORY;
  return S_OK;
}

// The arguments of one late-bound call, converted to the declared types.
// Temporaries made by conversion are owned here and cleared afterwards.
class CallArguments {
 public:
  explicit CallArguments(size_t count) : args_(count), temps_(count) {
    for (size_t k = 0; k < count; ++k) {
      VariantInit(&args_[k]);
      VariantInit(&temps_[k]);
    }
  }
  ~CallArguments() {
    for (auto& temp : temps_) VariantClear(&temp);
  }
  CallArguments(const CallArguments&) = delete;
  CallArguments& operator=(const CallArguments&) = delete;

  VARIANT* data() { return args_.data(); }

  // Prepares argument k of declared type `declared` from the caller's value.
  HRESULT Bind(size_t k, VARTYPE declared, VARIANT* given) {
    VARIANT& arg = args_[k];
    VARIANT& temp = temps_[k];
    if (declared == (VT_VARIANT | VT_BYREF)) {
      if (given->vt == (VT_VARIANT | VT_BYREF)) {
        arg = *given;
      } else {
        arg.vt = VT_VARIANT | VT_BYREF;
        arg.pvarVal = given;
      }
      return S_OK;
    }
    if (declared & VT_BYREF) {
      if (given->vt == declared) {
        arg = *given;
        return S_OK;
      }
      // A by-value argument for an in-out parameter: the method works on a
      // converted copy, and what it leaves there is freed after the call.
      VARTYPE target = declared & ~VT_BYREF;
      HRESULT hr = VariantChangeType(&temp, given, 0, target);
      if (FAILED(hr)) return hr;
      arg.vt = declared;
      arg.byref = &temp.llVal;
      return S_OK;
    }
    VARIANT view;
    HRESULT hr = ardo::DereferenceVariant(given, &view);
    if (FAILED(hr)) return hr;
    if (declared == VT_VARIANT || view.vt == declared) {
      arg = view;
      return S_OK;
    }
    hr = VariantChangeType(&temp, &view, 0, declared);
    if (FAILED(hr)) return hr;
    arg = temp;
    return S_OK;
  }

 private:
  std::vector<VARIANT> args_;
  std::vector<VARIANT> temps_;
};

class TypeLibrary;

class TypeInfo : public ardo::ComObject<TypeInfo, ITypeInfo> {
 public:
  TypeInfo(ardo::ComPtr<TypeLibrary> library, Description description, UINT index);

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    for (UINT k = 0; k < count; ++k) ids[k] = DISPID_UNKNOWN;
    std::string wanted = ardo::BstrToUtf8(names[0]);
    for (const auto& member : Interface().members) {
      if (SameNameNoCase(member.name, wanted)) {
        ids[0] = member.dispid;
        return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
      }
    }
    return DISP_E_UNKNOWNNAME;
  }

  HRESULT STDMETHODCALLTYPE Invoke(PVOID instance, MEMBERID memid, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                                   UINT* argErr) override {
    if (!instance || !params || (params->cArgs && !params->rgvarg)) return E_INVALIDARG;
    const ardo::DispatchMember* member = nullptr;
    for (const auto& candidate : Interface().members) {
      if (candidate.dispid == memid && KindMatches(candidate.kind, flags)) {
        member = &candidate;
        break;
      }
    }
    if (!member) return DISP_E_MEMBERNOTFOUND;

    bool isPut = member->kind == ardo::MemberKind::PropertyPut ||
                 member->kind == ardo::MemberKind::PropertyPutRef;
    if (params->cNamedArgs > 0) {
      if (!isPut) return DISP_E_NONAMEDARGS;
      if (params->cNamedArgs > 1 || !params->rgdispidNamedArgs ||
          params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
        return DISP_E_PARAMNOTFOUND;
    }
    if (params->cArgs != member->params.size()) return DISP_E_BADPARAMCOUNT;

    CallArguments args(params->cArgs);
    for (UINT k = 0; k < params->cArgs; ++k) {
      UINT given = params->cArgs - 1 - k;  // rgvarg holds the last argument first
      HRESULT hr = args.Bind(k, member->params[k], &params->rgvarg[given]);
      if (FAILED(hr)) {
        if (argErr) *argErr = given;
        return hr == DISP_E_OVERFLOW ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
      }
    }

    VARIANT value;
    VariantInit(&value);
    // What the thread's error object says after a failure is this call's.
    if (excepInfo) SetErrorInfo(0, nullptr);
    HRESULT hr = member->invoke(instance, args.data(), &value);
    if (FAILED(hr)) {
      VariantClear(&value);
      if (!excepInfo) return hr;
      *excepInfo = EXCEPINFO{};
      excepInfo->scode = hr;
      // The member's own reason where it left one (the error object stays
      // the thread's), else the code's message.
      ardo::ComPtr<IErrorInfo> reason;
      if (GetErrorInfo(0, reason.Out()) == S_OK && reason) {
        reason->GetSource(&excepInfo->bstrSource);
        reason->GetDescription(&excepInfo->bstrDescription);
        SetErrorInfo(0, reason.Get());
      }
      auto fill = [](BSTR* field, const std::string& otherwise) {
        if (SysStringLen(*field) > 0) return;
        SysFreeString(*field);
        *field = ardo::Utf8ToBstr(otherwise.c_str());
      };
      fill(&excepInfo->bstrSource, Interface().name);
      fill(&excepInfo->bstrDescription, ardo::HResultMessage(hr));
      return DISP_E_EXCEPTION;
    }
    if (result)
      *result = value;
    else
      VariantClear(&value);
    return hr;
  }

  HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* name, BSTR* doc,
                                             DWORD* context, BSTR* helpFile) override {
    if (memid == MEMBERID_NIL) return FillDocumentation(Interface().name, name, doc, context, helpFile);
    for (const auto& member : Interface().members)
      if (member.dispid == memid) return FillDocumentation(member.name, name, doc, context, helpFile);
    return TYPE_E_ELEMENTNOTFOUND;
  }

  HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** library, UINT* index) override;

 private:
  const ardo::DispatchInterface& Interface() const { return description_->interfaces[index_]; }

  ardo::ComPtr<TypeLibrary> library_;
  Description description_;
  UINT index_;
};

class TypeLibrary : public ardo::ComObject<TypeLibrary, ITypeLib> {
 public:
  explicit TypeLibrary(Description description) : description_(std::move(description)) {}

  UINT STDMETHODCALLTYPE GetTypeInfoCount() override {
    return static_cast<UINT>(description_->interfaces.size());
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** info) override {
    if (!info) return E_INVALIDARG;
    *info = nullptr;
    if (index >= description_->interfaces.size()) return TYPE_E_ELEMENTNOTFOUND;
    *info = ardo::MakeObject<TypeInfo>(ardo::ComPtr<TypeLibrary>(this), description_, index)
                .Detach();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) override {
    if (!info) return E_INVALIDARG;
    *info = nullptr;
    const auto& interfaces = description_->interfaces;
    for (UINT k = 0; k < interfaces.size(); ++k)
      if (interfaces[k].iid == guid) return GetTypeInfo(k, info);
    return TYPE_E_ELEMENTNOTFOUND;
  }

  HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** attr) override {
    if (!attr) return E_INVALIDARG;
    *attr = new TLIBATTR{description_->libid, 0, SYS_WIN64, description_->major,
                         description_->minor, 0};
    return S_OK;
  }

  void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* attr) override { delete attr; }

  HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* name, BSTR* doc, DWORD* context,
                                             BSTR* helpFile) override {
    if (index == -1) return FillDocumentation(description_->name, name, doc, context, helpFile);
    if (index < 0 || static_cast<size_t>(index) >= description_->interfaces.size())
      return TYPE_E_ELEMENTNOTFOUND;
    return FillDocumentation(description_->interfaces[index].name, name, doc, context, helpFile);
  }

 private:
  Description description_;
};

TypeInfo::TypeInfo(ardo::ComPtr<TypeLibrary> library, Description description, UINT index)
    : library_(std::move(library)), description_(std::move(description)), index_(index) {}

HRESULT TypeInfo::GetContainingTypeLib(ITypeLib** library, UINT* index) {
  if (library) {
    *library = library_.Get();
    library_->AddRef();
  }
  if (index) *index = index_;
  return S_OK;
}

// Registered libraries by identity and version. Never destroyed, like the
// class registry.
using LibraryKey = std::tuple<GUID, WORD, WORD>;
struct TypeLibraryRegistry {
  std::mutex mutex;
  std::map<LibraryKey, ITypeLib*> libraries;  // one reference each
};

TypeLibraryRegistry& Registry() {
  static TypeLibraryRegistry* registry = new TypeLibraryRegistry;
  return *registry;
}

}  // namespace

HRESULT LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID, ITypeLib** pptlib) {
  if (!pptlib) return E_INVALIDARG;
  *pptlib = nullptr;
  TypeLibraryRegistry& registry = Registry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  ITypeLib* best = nullptr;
  for (auto it = registry.libraries.lower_bound({rguid, wVerMajor, wVerMinor});
       it != registry.libraries.end() && std::get<0>(it->first) == rguid &&
       std::get<1>(it->first) == wVerMajor;
       ++it)
    best = it->second;  // ascending minor versions: the last is the newest
  if (!best) return TYPE_E_LIBNOTREGISTERED;
  best->AddRef();
  *pptlib = best;
  return S_OK;
}

HRESULT RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR, LPCOLESTR) {
  if (!ptlib) return E_INVALIDARG;
  TLIBATTR* attr = nullptr;
  HRESULT hr = ptlib->GetLibAttr(&attr);
  if (FAILED(hr)) return hr;
  LibraryKey key{attr->guid, attr->wMajorVerNum, attr->wMinorVerNum};
  ptlib->ReleaseTLibAttr(attr);
  ptlib->AddRef();
  ITypeLib* replaced = nullptr;
  {
    TypeLibraryRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    ITypeLib*& slot = registry.libraries[key];
    replaced = slot;
    slot = ptlib;
  }
  if (replaced) replaced->Release();
  return S_OK;
}

HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID, SYSKIND) {
  ITypeLib* removed = nullptr;
  {
    TypeLibraryRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = registry.libraries.find({libID, wVerMajor, wVerMinor});
    if (it == registry.libraries.end()) return TYPE_E_LIBNOTREGISTERED;
    removed = it->second;
    registry.libraries.erase(it);
  }
  removed->Release();
  return S_OK;
}

namespace ardo {

HRESULT CreateTypeLibrary(const TypeLibraryDescription& description, ITypeLib** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  std::set<GUID> seen;
  for (const auto& iface : description.interfaces) {
    if (!seen.insert(iface.iid).second) return E_INVALIDARG;
    for (const auto& member : iface.members)
      if (!member.invoke) return E_INVALIDARG;
  }
  try {
    auto shared = std::make_shared<const TypeLibraryDescription>(description);
    *out = MakeObject<TypeLibrary>(std::move(shared)).Detach();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

namespace {

// Kept for the whole process (objects may answer late-bound calls during
// static destruction).
struct ServedInterfaces {
  std::mutex mutex;
  std::map<GUID, ITypeInfo*> infos;
};
ServedInterfaces& Served() {
  static ServedInterfaces* served = new ServedInterfaces;
  return *served;
}

}  // namespace

HRESULT ServeDispatchInterface(const IID& iid, ITypeInfo* info) {
  ServedInterfaces& served = Served();
  std::lock_guard<std::mutex> lock(served.mutex);
  if (!info) {
    auto it = served.infos.find(iid);
    if (it != served.infos.end()) {
      it->second->Release();
      served.infos.erase(it);
    }
    return S_OK;
  }
  try {
    ITypeInfo*& slot = served.infos[iid];
    info->AddRef();
    if (slot) slot->Release();
    slot = info;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

ITypeInfo* ServedDispatchInterface(const IID& iid) {
  ServedInterfaces& served = Served();
  std::lock_guard<std::mutex> lock(served.mutex);
  auto it = served.infos.find(iid);
  return it == served.infos.end() ? nullptr : it->second;
}

}  // namespace ardo
