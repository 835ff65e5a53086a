// ItemEnumerator: the IEnumVARIANT that _newEnum hands out for node lists,
// named node maps and the namespace collection. It walks its source by
// index, so a list that changes underneath it shows the change. Its
// position moves atomically, an item at a time: an enumerator of a
// free-threaded document's list may be shared by threads as the list is,
// and no lock is held while the list (and its document's lock) is asked.
#pragma once

#include <atomic>
#include <functional>

#include "engine/include/xml_services.h"

namespace ardo::engine {

// What an enumerator walks.
struct ItemSource {
  ComPtr<IUnknown> hold;  // keeps the source alive
  // Item `index` as a VARIANT; S_FALSE (and VT_EMPTY) past the end.
  std::function<HRESULT(long index, VARIANT* item)> item;
  std::function<HRESULT(long* count)> count;
};

// The nodes of a list or a map, as VT_DISPATCH items.
ItemSource NodesOf(IXMLDOMNodeList* list);
ItemSource NodesOf(IXMLDOMNamedNodeMap* map);

class ItemEnumerator final : public ComObject<ItemEnumerator, IEnumVARIANT> {
 public:
  explicit ItemEnumerator(ItemSource source, long position = 0)
      : source_(std::move(source)), position_(position) {}

  // A new enumerator as the IUnknown that _newEnum answers.
  static HRESULT HandOut(ItemSource source, IUnknown** out);

  HRESULT STDMETHODCALLTYPE Next(ULONG celt, VARIANT* rgVar, ULONG* fetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** copy) override;

 private:
  ItemSource source_;
  std::atomic<long> position_;
};

}  // namespace ardo::engine
