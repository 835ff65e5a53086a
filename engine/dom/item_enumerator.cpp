#include "engine/dom/item_enumerator.h"

namespace ardo::engine {
namespace {

// A node getter's answer as an item.
template <class Source>
ItemSource NodeItems(Source* source) {
  ItemSource items;
  items.hold = ComPtr<IUnknown>(source);
  items.item = [source](long index, VARIANT* item) {
    IXMLDOMNode* node = nullptr;
    HRESULT hr = source->get_item(index, &node);
    if (FAILED(hr)) return hr;
    if (!node) return S_FALSE;
    item->vt = VT_DISPATCH;
    item->pdispVal = node;
    return S_OK;
  };
  items.count = [source](long* count) { return source->get_length(count); };
  return items;
}

}  // namespace

ItemSource NodesOf(IXMLDOMNodeList* list) { return NodeItems(list); }
ItemSource NodesOf(IXMLDOMNamedNodeMap* map) { return NodeItems(map); }

HRESULT ItemEnumerator::HandOut(ItemSource source, IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = static_cast<IEnumVARIANT*>(MakeObject<ItemEnumerator>(std::move(source)).Detach());
  return S_OK;
}

HRESULT ItemEnumerator::Next(ULONG celt, VARIANT* rgVar, ULONG* fetched) {
  if ((!rgVar && celt > 0) || (celt > 1 && !fetched)) return E_INVALIDARG;
  ULONG got = 0;
  while (got < celt) {
    long at = position_.load();
    VARIANT item;
    VariantInit(&item);
    HRESULT hr = source_.item(at, &item);
    if (FAILED(hr)) {
      for (ULONG i = 0; i < got; ++i) VariantClear(&rgVar[i]);
      if (fetched) *fetched = 0;
      return hr;
    }
    if (hr != S_OK) break;
    // Another thread that took this item meanwhile has it: ask again.
    if (!position_.compare_exchange_strong(at, at + 1)) {
      VariantClear(&item);
      continue;
    }
    rgVar[got++] = item;
  }
  if (fetched) *fetched = got;
  return got == celt ? S_OK : S_FALSE;
}

HRESULT ItemEnumerator::Skip(ULONG celt) {
  long length = 0;
  HRESULT hr = source_.count(&length);
  if (FAILED(hr)) return hr;
  long at = position_.load(), target;
  do {
    target = at + static_cast<long>(celt);
  } while (!position_.compare_exchange_weak(at, target > length ? length : target));
  return target > length ? S_FALSE : S_OK;
}

HRESULT ItemEnumerator::Reset() {
  position_.store(0);
  return S_OK;
}

HRESULT ItemEnumerator::Clone(IEnumVARIANT** copy) {
  if (!copy) return E_INVALIDARG;
  *copy = MakeObject<ItemEnumerator>(source_, position_.load()).Detach();
  return S_OK;
}

}  // namespace ardo::engine
