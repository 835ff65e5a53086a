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
  std::lock_guard<std::mutex> lock(mutex_);
  ULONG got = 0;
  while (got < celt) {
    VariantInit(&rgVar[got]);
    HRESULT hr = source_.item(position_, &rgVar[got]);
    if (FAILED(hr)) {
      for (ULONG i = 0; i < got; ++i) VariantClear(&rgVar[i]);
      position_ -= static_cast<long>(got);
      if (fetched) *fetched = 0;
      return hr;
    }
    if (hr != S_OK) break;
    ++position_;
    ++got;
  }
  if (fetched) *fetched = got;
  return got == celt ? S_OK : S_FALSE;
}

HRESULT ItemEnumerator::Skip(ULONG celt) {
  std::lock_guard<std::mutex> lock(mutex_);
  long length = 0;
  HRESULT hr = source_.count(&length);
  if (FAILED(hr)) return hr;
  long target = position_ + static_cast<long>(celt);
  position_ = target > length ? length : target;
  return target > length ? S_FALSE : S_OK;
}

HRESULT ItemEnumerator::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  position_ = 0;
  return S_OK;
}

HRESULT ItemEnumerator::Clone(IEnumVARIANT** copy) {
  if (!copy) return E_INVALIDARG;
  std::lock_guard<std::mutex> lock(mutex_);
  *copy = MakeObject<ItemEnumerator>(source_, position_).Detach();
  return S_OK;
}

}  // namespace ardo::engine
