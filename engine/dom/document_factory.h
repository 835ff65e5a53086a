// The class factories of the DOM document identities and their
// registration (class identities and ProgIDs) with the COM runtime.
#pragma once

#include "engine/dom/dom_document.h"

namespace ardo::engine {

class DocumentClassFactory final : public ComObject<DocumentClassFactory, IClassFactory> {
 public:
  explicit DocumentClassFactory(const DocumentFlavor& flavor) : flavor_(flavor) {}

  // CLASS_E_NOAGGREGATION for an outer object; E_NOINTERFACE when the
  // document lacks riid.
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  DocumentFlavor flavor_;
};

// Registers the eight document identities and their ProgIDs.
void RegisterDocumentClasses();

}  // namespace ardo::engine
