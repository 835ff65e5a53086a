// The special members of every DOM and DOM-collection wrapper class, as one
// typed test, counted on a real engine object of the class's own interface.
#include <type_traits>
#include <utility>

#include "tests/dom/dom_engine_fixture.h"

namespace ardo::test {
namespace {

template <class W>
using InterfaceOf = std::remove_pointer_t<decltype(std::declval<W&>().P())>;

// A fresh pointer of W's interface, carrying one reference for the caller,
// taken from a document loaded from kDrivesXml.
template <class W>
InterfaceOf<W>* Make(CXMLDOMDocument2& doc) {
  using T = InterfaceOf<W>;
  const auto found = [&doc](const char* query) { return QueryFor<T>(doc.SelectSingleNode(query).P()); };
  const auto is = [](auto* other) { return std::is_same_v<T, std::remove_pointer_t<decltype(other)>>; };
  if constexpr (is((IXMLDOMDocument2*)nullptr)) return doc.CopyTo();
  else if constexpr (is((IXMLDOMNodeList*)nullptr)) return doc.SelectNodes("//drive").Detach(0);
  else if constexpr (is((IXMLDOMSelection*)nullptr)) return QueryFor<T>(doc.SelectNodes("//drive").P());
  else if constexpr (is((IXMLDOMNamedNodeMap*)nullptr))
    return doc.SelectSingleNode("//drive").GetAttributes().Detach(0);
  else if constexpr (is((IXMLDOMParseError*)nullptr)) return doc.GetParseError().Detach(0);
  else if constexpr (is((IXMLDOMImplementation*)nullptr)) return doc.GetImplementation().Detach(0);
  else if constexpr (is((IXMLDOMDocumentType*)nullptr)) return doc.GetDoctype().Detach(0);
  else if constexpr (is((IXMLDOMEntity*)nullptr)) return QueryFor<T>(doc.GetDoctype().GetEntities().GetItem(0).P());
  else if constexpr (is((IXMLDOMNotation*)nullptr)) return QueryFor<T>(doc.GetDoctype().GetNotations().GetItem(0).P());
  else if constexpr (is((IXMLDOMDocumentFragment*)nullptr)) return doc.CreateDocumentFragment().Detach(0);
  else if constexpr (is((IXMLDOMEntityReference*)nullptr)) return doc.CreateEntityReference("maker").Detach(0);
  else if constexpr (is((IXMLDOMProcessingInstruction*)nullptr)) return found("//processing-instruction('audit')");
  else if constexpr (is((IXMLDOMCDATASection*)nullptr)) return doc.CreateCDATASection("x").Detach(0);
  else if constexpr (is((IXMLDOMComment*)nullptr)) return found("//comment()");
  else if constexpr (is((IXMLDOMText*)nullptr) || is((IXMLDOMCharacterData*)nullptr)) return found("//name/text()");
  else if constexpr (is((IXMLDOMAttribute*)nullptr)) return found("//@pid");
  else if constexpr (is((IXMLDOMElement*)nullptr)) return found("//drive");
  else return QueryFor<T>(doc.P());  // IXMLDOMNode, IXMLDOMDocument: the document answers for both
}

template <class W>
class WrapperSpecialMembersTest : public DomEngineTest {};

using WrapperClasses = ::testing::Types<
    CXMLDOMNode, CXMLDOMDocument, CXMLDOMDocument2, CXMLDOMElement, CXMLDOMAttribute,
    CXMLDOMCharacterData, CXMLDOMText, CXMLDOMCDATASection, CXMLDOMComment,
    CXMLDOMProcessingInstruction, CXMLDOMDocumentType, CXMLDOMDocumentFragment, CXMLDOMEntity,
    CXMLDOMEntityReference, CXMLDOMNotation, CXMLDOMNodeList, CXMLDOMSelection,
    CXMLDOMNamedNodeMap, CXMLDOMParseError, CXMLDOMImplementation>;
TYPED_TEST_SUITE(WrapperSpecialMembersTest, WrapperClasses);

// Each class writes its own constructors, copy and assignment; the rest of
// the calling contract belongs to the template and is tested there.
TYPED_TEST(WrapperSpecialMembersTest, ConstructionCopyAndAssignmentCountReferences) {
  using T = InterfaceOf<TypeParam>;
  CXMLDOMDocument2 doc = this->Parse(kDrivesXml);
  T* p = Make<TypeParam>(doc);
  ASSERT_NE(p, nullptr);
  const ULONG base = this->RefCount(p);
  {
    TypeParam owner(p, 1);
    EXPECT_EQ(owner.P(), p);
    TypeParam copy(owner);
    EXPECT_EQ(this->RefCount(p), base + 2);
    TypeParam& alias = copy;
    copy = alias;  // same pointer: no AddRef, no Release
    copy = owner;
    TypeParam assigned;
    EXPECT_TRUE(!assigned);
    assigned = owner;
    EXPECT_EQ(this->RefCount(p), base + 3);
    assigned = TypeParam();  // back to empty releases
    EXPECT_TRUE(!assigned);
    EXPECT_EQ(this->RefCount(p), base + 2);
  }
  EXPECT_EQ(this->RefCount(p), base);
  p->AddRef();
  { TypeParam adopting(p, 0); }  // takes over the reference it was given
  EXPECT_EQ(this->RefCount(p), base);
  p->Release();
}

}  // namespace
}  // namespace ardo::test
