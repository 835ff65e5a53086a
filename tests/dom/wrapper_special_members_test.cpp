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
  if constexpr (std::is_same_v<T, IXMLDOMDocument2>) {
    return doc.CopyTo();
  } else if constexpr (std::is_same_v<T, IXMLDOMNodeList>) {
    return doc.SelectNodes("//drive").Detach(0);
  } else if constexpr (std::is_same_v<T, IXMLDOMSelection>) {
    return QueryFor<T>(doc.SelectNodes("//drive").P());
  } else if constexpr (std::is_same_v<T, IXMLDOMNamedNodeMap>) {
    return doc.SelectSingleNode("//drive").GetAttributes().Detach(0);
  } else if constexpr (std::is_same_v<T, IXMLDOMParseError>) {
    return doc.GetParseError().Detach(0);
  } else if constexpr (std::is_same_v<T, IXMLDOMImplementation>) {
    return doc.GetImplementation().Detach(0);
  } else if constexpr (std::is_same_v<T, IXMLDOMDocumentType>) {
    return doc.GetDoctype().Detach(0);
  } else if constexpr (std::is_same_v<T, IXMLDOMEntity>) {
    return QueryFor<T>(doc.GetDoctype().GetEntities().GetNamedItem("maker").P());
  } else if constexpr (std::is_same_v<T, IXMLDOMNotation>) {
    return QueryFor<T>(doc.GetDoctype().GetNotations().GetNamedItem("png").P());
  } else if constexpr (std::is_same_v<T, IXMLDOMDocumentFragment>) {
    return doc.CreateDocumentFragment().Detach(0);
  } else if constexpr (std::is_same_v<T, IXMLDOMEntityReference>) {
    return doc.CreateEntityReference("maker").Detach(0);
  } else if constexpr (std::is_same_v<T, IXMLDOMProcessingInstruction>) {
    return doc.CreateProcessingInstruction("audit", "x").Detach(0);
  } else if constexpr (std::is_same_v<T, IXMLDOMCDATASection>) {
    return doc.CreateCDATASection("x").Detach(0);
  } else if constexpr (std::is_same_v<T, IXMLDOMComment>) {
    return doc.CreateComment("x").Detach(0);
  } else if constexpr (std::is_same_v<T, IXMLDOMText>) {
    return doc.CreateTextNode("x").Detach(0);
  } else if constexpr (std::is_same_v<T, IXMLDOMAttribute>) {
    return doc.CreateAttribute("x").Detach(0);
  } else if constexpr (std::is_same_v<T, IXMLDOMElement>) {
    return doc.CreateElement("x").Detach(0);
  } else if constexpr (std::is_same_v<T, IXMLDOMCharacterData>) {
    return QueryFor<T>(doc.SelectSingleNode("//name/text()").P());
  } else {  // IXMLDOMNode, IXMLDOMDocument: the document answers for both
    return QueryFor<T>(doc.P());
  }
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
