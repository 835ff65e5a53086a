#include "engine/dom/dom_dispatch.h"

#include <string>
#include <vector>

#include "engine/include/xml_services.h"
#include "platform/com/dispatch_member.h"

namespace ardo::engine {
namespace {

// The members of one interface, numbered as they are added: a property's
// reader and writers share its number, a list's item is the default
// member and _newEnum the enumerator.
class Members {
 public:
  template <auto M> Members& Get(const char* name) { return Add(DescribePropertyGet<M>(name, IdOf(name))); }
  // The interface's default member.
  template <auto M> Members& GetValue(const char* name) { return Add(DescribePropertyGet<M>(name, DISPID_VALUE)); }
  template <auto M> Members& Put(const char* name) { return Add(DescribePropertyPut<M>(name, IdOf(name))); }
  template <auto M> Members& PutRef(const char* name) { return Add(DescribePropertyPutRef<M>(name, IdOf(name))); }
  // A method whose last parameter is its result.
  template <auto M> Members& Call(const char* name) { return Add(DescribeMethodWithResult<M>(name, IdOf(name))); }
  // A method without a result.
  template <auto M> Members& Do(const char* name) { return Add(DescribeMethod<M>(name, IdOf(name))); }

  DispatchInterface For(const IID& iid, const char* name) const { return DispatchInterface{iid, name, list_}; }

 private:
  Members& Add(DispatchMember member) {
    list_.push_back(std::move(member));
    return *this;
  }
  DISPID IdOf(const std::string& name) {
    if (name == "item") return DISPID_VALUE;
    if (name == "_newEnum") return DISPID_NEWENUM;
    for (const DispatchMember& m : list_)
      if (m.name == name) return m.dispid;
    return next_++;
  }

  std::vector<DispatchMember> list_;
  DISPID next_ = 1;
};

using N = IXMLDOMNode;
using D = IXMLDOMDocument2;
using L = IXMLDOMSelection;
using M = IXMLDOMNamedNodeMap;
using C = IXMLDOMCharacterData;

Members NodeMembers() {
  Members m;
  m.Get<&N::get_nodeName>("nodeName").Get<&N::get_nodeValue>("nodeValue").Put<&N::put_nodeValue>("nodeValue")
      .Get<&N::get_nodeType>("nodeType").Get<&N::get_parentNode>("parentNode")
      .Get<&N::get_childNodes>("childNodes").Get<&N::get_firstChild>("firstChild")
      .Get<&N::get_lastChild>("lastChild").Get<&N::get_previousSibling>("previousSibling")
      .Get<&N::get_nextSibling>("nextSibling").Get<&N::get_attributes>("attributes")
      .Call<&N::insertBefore>("insertBefore").Call<&N::replaceChild>("replaceChild")
      .Call<&N::removeChild>("removeChild").Call<&N::appendChild>("appendChild")
      .Call<&N::hasChildNodes>("hasChildNodes").Get<&N::get_ownerDocument>("ownerDocument")
      .Call<&N::cloneNode>("cloneNode").Get<&N::get_nodeTypeString>("nodeTypeString")
      .Get<&N::get_text>("text").Put<&N::put_text>("text").Get<&N::get_specified>("specified")
      .Get<&N::get_definition>("definition").Get<&N::get_nodeTypedValue>("nodeTypedValue")
      .Put<&N::put_nodeTypedValue>("nodeTypedValue").Get<&N::get_dataType>("dataType")
      .Put<&N::put_dataType>("dataType").Get<&N::get_xml>("xml").Call<&N::transformNode>("transformNode")
      .Call<&N::selectNodes>("selectNodes").Call<&N::selectSingleNode>("selectSingleNode")
      .Get<&N::get_parsed>("parsed").Get<&N::get_namespaceURI>("namespaceURI").Get<&N::get_prefix>("prefix")
      .Get<&N::get_baseName>("baseName").Do<&N::transformNodeToObject>("transformNodeToObject");
  return m;
}

Members DocumentMembers(const Members& node) {
  Members m(node);
  m.Get<&D::get_doctype>("doctype").Get<&D::get_implementation>("implementation")
      .Get<&D::get_documentElement>("documentElement").PutRef<&D::putref_documentElement>("documentElement")
      .Call<&D::createElement>("createElement").Call<&D::createDocumentFragment>("createDocumentFragment")
      .Call<&D::createTextNode>("createTextNode").Call<&D::createComment>("createComment")
      .Call<&D::createCDATASection>("createCDATASection")
      .Call<&D::createProcessingInstruction>("createProcessingInstruction")
      .Call<&D::createAttribute>("createAttribute").Call<&D::createEntityReference>("createEntityReference")
      .Call<&IXMLDOMDocument::getElementsByTagName>("getElementsByTagName").Call<&D::createNode>("createNode")
      .Call<&D::nodeFromID>("nodeFromID").Call<&D::load>("load").Get<&D::get_readyState>("readyState")
      .Get<&D::get_parseError>("parseError").Get<&D::get_url>("url").Get<&D::get_async>("async")
      .Put<&D::put_async>("async").Do<&D::abort>("abort").Call<&D::loadXML>("loadXML").Do<&D::save>("save")
      .Get<&D::get_validateOnParse>("validateOnParse").Put<&D::put_validateOnParse>("validateOnParse")
      .Get<&D::get_resolveExternals>("resolveExternals").Put<&D::put_resolveExternals>("resolveExternals")
      .Get<&D::get_preserveWhiteSpace>("preserveWhiteSpace")
      .Put<&D::put_preserveWhiteSpace>("preserveWhiteSpace")
      .Put<&D::put_onreadystatechange>("onreadystatechange").Put<&D::put_ondataavailable>("ondataavailable")
      .Put<&D::put_ontransformnode>("ontransformnode");
  return m;
}

Members Document2Members(const Members& document) {
  Members m(document);
  m.Get<&D::get_namespaces>("namespaces").Get<&D::get_schemas>("schemas").PutRef<&D::putref_schemas>("schemas")
      .Call<&D::validate>("validate").Do<&D::setProperty>("setProperty").Call<&D::getProperty>("getProperty");
  return m;
}

Members ElementMembers(const Members& node) {
  using E = IXMLDOMElement;
  Members m(node);
  m.Get<&E::get_tagName>("tagName").Call<&E::getAttribute>("getAttribute").Do<&E::setAttribute>("setAttribute")
      .Do<&E::removeAttribute>("removeAttribute").Call<&E::getAttributeNode>("getAttributeNode")
      .Call<&E::setAttributeNode>("setAttributeNode").Call<&E::removeAttributeNode>("removeAttributeNode")
      .Call<&E::getElementsByTagName>("getElementsByTagName").Do<&E::normalize>("normalize");
  return m;
}

Members CharacterDataMembers(const Members& node) {
  Members m(node);
  m.Get<&C::get_data>("data").Put<&C::put_data>("data").Get<&C::get_length>("length")
      .Call<&C::substringData>("substringData").Do<&C::appendData>("appendData")
      .Do<&C::insertData>("insertData").Do<&C::deleteData>("deleteData").Do<&C::replaceData>("replaceData");
  return m;
}

Members ListMembers() {
  Members m;
  m.Get<&L::get_item>("item").Get<&L::get_length>("length").Call<&L::nextNode>("nextNode")
      .Do<&L::reset>("reset").Get<&L::get__newEnum>("_newEnum");
  return m;
}

TypeLibraryDescription DomLibrary() {
  const Members node = NodeMembers(), document = DocumentMembers(node), text = CharacterDataMembers(node),
                list = ListMembers();
  TypeLibraryDescription library{LIBID_MSXML2, kMsxml2TypeLibMajor, kMsxml2TypeLibMinor, "MSXML2", {}};
  auto add = [&](DispatchInterface iface) { library.interfaces.push_back(std::move(iface)); };
  add(node.For(IID_IXMLDOMNode, "IXMLDOMNode"));
  add(document.For(IID_IXMLDOMDocument, "IXMLDOMDocument"));
  add(Document2Members(document).For(IID_IXMLDOMDocument2, "IXMLDOMDocument2"));
  add(ElementMembers(node).For(IID_IXMLDOMElement, "IXMLDOMElement"));
  add(Members(node)
          .Get<&IXMLDOMAttribute::get_name>("name").Get<&IXMLDOMAttribute::get_value>("value")
          .Put<&IXMLDOMAttribute::put_value>("value").For(IID_IXMLDOMAttribute, "IXMLDOMAttribute"));
  add(text.For(IID_IXMLDOMCharacterData, "IXMLDOMCharacterData"));
  const Members splitting = Members(text).Call<&IXMLDOMText::splitText>("splitText");
  add(splitting.For(IID_IXMLDOMText, "IXMLDOMText"));
  add(splitting.For(IID_IXMLDOMCDATASection, "IXMLDOMCDATASection"));
  add(text.For(IID_IXMLDOMComment, "IXMLDOMComment"));
  add(Members(node)
          .Get<&IXMLDOMProcessingInstruction::get_target>("target")
          .Get<&IXMLDOMProcessingInstruction::get_data>("data")
          .Put<&IXMLDOMProcessingInstruction::put_data>("data")
          .For(IID_IXMLDOMProcessingInstruction, "IXMLDOMProcessingInstruction"));
  add(Members(node)
          .Get<&IXMLDOMDocumentType::get_name>("name").Get<&IXMLDOMDocumentType::get_entities>("entities")
          .Get<&IXMLDOMDocumentType::get_notations>("notations")
          .For(IID_IXMLDOMDocumentType, "IXMLDOMDocumentType"));
  add(node.For(IID_IXMLDOMDocumentFragment, "IXMLDOMDocumentFragment"));
  add(Members(node)
          .Get<&IXMLDOMEntity::get_publicId>("publicId").Get<&IXMLDOMEntity::get_systemId>("systemId")
          .Get<&IXMLDOMEntity::get_notationName>("notationName").For(IID_IXMLDOMEntity, "IXMLDOMEntity"));
  add(node.For(IID_IXMLDOMEntityReference, "IXMLDOMEntityReference"));
  add(Members(node)
          .Get<&IXMLDOMNotation::get_publicId>("publicId").Get<&IXMLDOMNotation::get_systemId>("systemId")
          .For(IID_IXMLDOMNotation, "IXMLDOMNotation"));
  add(list.For(IID_IXMLDOMNodeList, "IXMLDOMNodeList"));
  add(Members(list)
          .Get<&L::get_expr>("expr").Put<&L::put_expr>("expr").Get<&L::get_context>("context")
          .PutRef<&L::putref_context>("context").Call<&L::peekNode>("peekNode").Call<&L::matches>("matches")
          .Call<&L::removeNext>("removeNext").Do<&L::removeAll>("removeAll").Call<&L::clone>("clone")
          .Call<&L::getProperty>("getProperty").Do<&L::setProperty>("setProperty")
          .For(IID_IXMLDOMSelection, "IXMLDOMSelection"));
  add(Members()
          .Call<&M::getNamedItem>("getNamedItem").Call<&M::setNamedItem>("setNamedItem")
          .Call<&M::removeNamedItem>("removeNamedItem").Get<&M::get_item>("item").Get<&M::get_length>("length")
          .Call<&M::getQualifiedItem>("getQualifiedItem").Call<&M::removeQualifiedItem>("removeQualifiedItem")
          .Call<&M::nextNode>("nextNode").Do<&M::reset>("reset").Get<&M::get__newEnum>("_newEnum")
          .For(IID_IXMLDOMNamedNodeMap, "IXMLDOMNamedNodeMap"));
  add(Members()
          .GetValue<&IXMLDOMParseError::get_errorCode>("errorCode").Get<&IXMLDOMParseError::get_url>("url")
          .Get<&IXMLDOMParseError::get_reason>("reason").Get<&IXMLDOMParseError::get_srcText>("srcText")
          .Get<&IXMLDOMParseError::get_line>("line").Get<&IXMLDOMParseError::get_linepos>("linepos")
          .Get<&IXMLDOMParseError::get_filepos>("filepos").For(IID_IXMLDOMParseError, "IXMLDOMParseError"));
  add(Members()
          .Call<&IXMLDOMImplementation::hasFeature>("hasFeature")
          .For(IID_IXMLDOMImplementation, "IXMLDOMImplementation"));
  using S = IXMLDOMSchemaCollection;
  add(Members()
          .Do<&S::add>("add").Call<&S::get>("get").Do<&S::remove>("remove").Get<&S::get_length>("length")
          .GetValue<&S::get_namespaceURI>("namespaceURI").Do<&S::addCollection>("addCollection")
          .Get<&S::get__newEnum>("_newEnum").For(IID_IXMLDOMSchemaCollection, "IXMLDOMSchemaCollection"));
  return library;
}

}  // namespace

void ServeDomLateBinding() {
  const TypeLibraryDescription description = DomLibrary();
  ComPtr<ITypeLib> library;
  if (FAILED(CreateTypeLibrary(description, library.Out()))) return;
  RegisterTypeLib(library.Get(), nullptr, nullptr);
  for (const DispatchInterface& iface : description.interfaces) {
    ComPtr<ITypeInfo> info;
    if (SUCCEEDED(library->GetTypeInfoOfGuid(iface.iid, info.Out()))) ServeDispatchInterface(iface.iid, info.Get());
  }
}

}  // namespace ardo::engine
