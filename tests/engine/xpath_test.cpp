// XPath through selectNodes and selectSingleNode: axes, functions and
// namespaces by table; the selection object; the query-result cache.
#include "tests/engine/engine_test_fixture.h"

namespace ardo::test {
namespace {

const char kLibrary[] =
    "<lib xmlns:b='urn:books'>\n"
    "  <shelf id='s1'>\n"
    "    <book year='1999' lang='en'><title>Alpha</title><price>10</price></book>\n"
    "    <book year='2005'><title>Beta</title><price>25.5</price></book>\n"
    "  </shelf>\n"
    "  <shelf id='s2'>\n"
    "    <b:book year='2010'><title>Gamma</title></b:book>\n"
    "    <book year='2020' lang='fr'><title>Delta</title><price>7</price></book>\n"
    "    <!--note-->\n"
    "    <?proc x?>\n"
    "  </shelf>\n"
    "  <d:item xmlns:d='urn:default-test'/>\n"
    "  <item xmlns='urn:default-test'/>\n"
    "</lib>";

const char kNamespaces[] =
    "xmlns:bk='urn:books' xmlns:dt='urn:default-test' xmlns:ms='urn:schemas-microsoft-com:xslt'";

class XPathTest : public EngineTest {
 protected:
  ardo::ComPtr<IXMLDOMDocument2> Library(const CLSID& clsid = CLSID_DOMDocument40) {
    auto doc = Parse(kLibrary, clsid);
    if (doc) SetProperty(doc.Get(), "SelectionNamespaces", kNamespaces);
    return doc;
  }
  std::vector<std::string> Names(IXMLDOMNode* context, const char* query) {
    return NamesOf(Select(context, query).Get());
  }
  long Count(IXMLDOMNode* context, const char* query) { return LengthOf(Select(context, query).Get()); }
  ardo::ComPtr<IXMLDOMSelection> SelectionOf(IXMLDOMNode* context, const char* query) {
    auto list = Select(context, query);
    auto selection = list ? list.As<IXMLDOMSelection>() : ardo::ComPtr<IXMLDOMSelection>();
    EXPECT_TRUE(selection) << "selectNodes must hand out a selection";
    return selection;
  }
  // selectNodes' HRESULT, for queries that are to fail.
  HRESULT Fails(IXMLDOMNode* context, const char* query) {
    ardo::ComPtr<IXMLDOMNodeList> list;
    const HRESULT hr = context->selectNodes(Bstr(query), list.Out());
    EXPECT_FALSE(list) << query;
    return hr;
  }
};

using V = std::vector<std::string>;

const struct {
  const char* query;
  V names;
} kQueries[] = {
    // child, descendant and attribute steps
    {"/lib/shelf", {"shelf", "shelf"}},
    {"//book", {"book", "book", "book"}},
    {"/lib/shelf/@id", {"id", "id"}},
    {"/lib/shelf[@id='s2']/*", {"b:book", "book"}},
    // reverse axes and unions still hand out document order
    {"//title[.='Gamma']/ancestor-or-self::*", {"lib", "shelf", "b:book", "title"}},
    {"//title[.='Delta']/preceding::title", {"title", "title", "title"}},
    {"//shelf[@id='s1'] | //shelf[@id='s2']/@id", {"shelf", "id"}},
    // namespaces: prefixes come from SelectionNamespaces, not the document
    {"//bk:book", {"b:book"}},
    {"//dt:item", {"d:item", "item"}},
    // the extension functions, under the prefix the query declared
    {"//book[ms:string-compare(title,'beta','en-US','i')=0]", {"book"}},
    {"//book[ms:string-compare(title,'beta')=0]", {}},
    {"//book[ms:string-compare(title,'Beta')=0]/title", {"title"}},
    {"//*[ms:number(@year)=2005]", {"book"}},
    {"//*[ms:number(@year) > ms:number('2e3') and ms:number(@year) < ms:number(' 2.01E3 ')]", {"book"}},
    {"//*[ms:local-name('x:shelf')=local-name()]", {"shelf", "shelf"}},
    {"/lib[ms:namespace-uri('b:x')='urn:books']", {"lib"}},
    {"//book[ms:utc('1999-01-01T05:00:00+05:00')='1999-01-01T00:00:00.000'][@lang='fr']", {"book"}},
    {"//book[ms:format-date(concat(@year,'-03-07'),'yyyy MMM dd')='2005 Mar 07']", {"book"}},
    {"//book[ms:format-time('2001-01-01T13:05:09','hh:mm:ss tt')='01:05:09 PM'][1]", {"book", "book"}},
    // names that are also operators or functions, and calls among operators
    {"//book[@year div 5 mod 2 = 1 and not(@lang) or count( title ) = 2]", {"book"}},
    {"//*[ 2*3=6 ][name()='div' or local-name ( ) = 'title'][string-length(concat(., '(', \"'\"))=6]", {"title"}},
    {"//shelf[@id='s2']/processing-instruction('proc') | //shelf/child ::comment()", {"#comment", "proc"}},
    {"//book[substring(title, 2, 1)='e'][position()=last()]", {"book", "book"}},
    {"//book[1 andnot(@lang)]", {"book"}},  // libxml2 reads an operator by its letters alone
};

TEST_F(XPathTest, ExpressionsSelectTheExpectedNodesInDocumentOrder) {
  auto doc = Library();
  ASSERT_TRUE(doc);
  for (const auto& c : kQueries) EXPECT_EQ(Names(doc.Get(), c.query), c.names) << c.query;
}

// The axes in document order pass an entity reference by, as the others
// do: from the tree, the document type, inside an entity that another one
// refers to, a node outside the tree, and a reference in an attribute.
TEST_F(XPathTest, FollowingAndPrecedingStepOverEntityReferences) {
  auto doc = Parse("<!DOCTYPE r [<!ELEMENT r ANY><!ELEMENT a EMPTY><!ELEMENT b EMPTY><!ENTITY e 'v'>]>"
                   "<r><a/>&e;<b/></r>");
  auto nested = Parse("<!DOCTYPE r [<!ELEMENT r ANY><!ELEMENT p ANY><!ELEMENT x ANY><!ELEMENT y ANY>"
                      "<!ENTITY e1 '<x>X</x>'><!ENTITY e2 '&e1;<y>Y</y>'>]><r><p>&e2;</p></r>");
  ASSERT_TRUE(doc && nested);
  EXPECT_EQ(TextOf(Root(doc.Get()).Get()), "v") << "the reference keeps its content";
  ardo::ComPtr<IXMLDOMDocumentType> doctype, nestedType;
  ardo::ComPtr<IXMLDOMNamedNodeMap> entities;
  ardo::ComPtr<IXMLDOMNode> e1, x;
  ASSERT_HR(doc->get_doctype(doctype.Out()), S_OK);
  ASSERT_HR(nested->get_doctype(nestedType.Out()), S_OK);
  ASSERT_HR(nestedType->get_entities(entities.Out()), S_OK);
  ASSERT_HR(entities->getNamedItem(Bstr("e1"), e1.Out()), S_OK);
  ASSERT_HR(e1->get_firstChild(x.Out()), S_OK);
  const struct {
    IXMLDOMNode* context;
    const char* query;
    V names;
  } cases[] = {{doc.Get(), "/r/a/following::node()", {"b"}},
               {doc.Get(), "/r/b/preceding::node()", {"a"}},
               {doc.Get(), "//*[preceding::a]", {"b"}},
               {doctype.Get(), "following::*", {"r", "a", "b"}},
               {e1.Get(), "following::y", {"y"}},
               {x.Get(), "following::*", {"y", "r", "p"}}};
  for (const auto& c : cases) EXPECT_EQ(Names(c.context, c.query), c.names) << c.query;
  auto later = NewDocument();
  ASSERT_TRUE(later);
  ASSERT_HR(later->put_validateOnParse(VARIANT_FALSE), S_OK);
  ASSERT_HR(LoadXml(later.Get(), "<!DOCTYPE r [<!ENTITY ent '<b>&t;</b>'><!ENTITY t 'txt'>]><r><r>&ent;</r></r>"), S_OK);
  EXPECT_EQ(Count(NewElement(later.Get(), "o").Get(), "//*[preceding::*]"), 0) << "its // reaches the document";
  ASSERT_HR(LoadXml(later.Get(), "<!DOCTYPE r [<!ENTITY e 'E'>]><r a='1&e;2'><b/></r>"), S_OK);
  ardo::ComPtr<IXMLDOMNode> one;
  ASSERT_HR(SelectOne(later.Get(), "/r/@a")->get_firstChild(one.Out()), S_OK);
  auto following = Select(one.Get(), "following::node()");
  ASSERT_GT(LengthOf(following.Get()), 0);
  for (long i = 0; i < LengthOf(following.Get()); ++i) {
    ardo::ComPtr<IXMLDOMNode> item, parent;
    ASSERT_HR(following->get_item(i, item.Out()), S_OK);
    if (item->get_parentNode(parent.Out()) == S_OK) { EXPECT_NE(TypeOf(parent.Get()), NODE_ENTITY) << i; }
  }
}

// A query runs from the node asked; a node outside the document's tree
// (never inserted, or removed, or a copy) has no parent and its queries
// stay inside its own subtree.
TEST_F(XPathTest, QueriesRunFromTheNodeAskedAndStayInADetachedSubtree) {
  auto doc = Library();
  ASSERT_TRUE(doc);
  auto shelf2 = SelectOne(doc.Get(), "/lib/shelf[@id='s2']");
  ASSERT_TRUE(shelf2);
  EXPECT_EQ(Names(shelf2.Get(), "*"), (V{"b:book", "book"}));
  EXPECT_EQ(Count(shelf2.Get(), "//title"), 4) << "an absolute path starts at the root";
  EXPECT_EQ(TextOf(SelectOne(shelf2.Get(), ".//title").Get()), "Gamma");
  ardo::ComPtr<IXMLDOMNode> node, copy, removed;
  EXPECT_HR(doc->selectSingleNode(Bstr("//book/title"), node.Out()), S_OK);
  EXPECT_EQ(TextOf(node.Get()), "Alpha");
  EXPECT_HR(doc->selectSingleNode(Bstr("//nothing"), node.Out()), S_FALSE);
  EXPECT_FALSE(node);
  EXPECT_TRUE(FAILED(doc->selectSingleNode(Bstr("//book["), node.Out())));
  EXPECT_FALSE(node);

  ASSERT_HR(shelf2->cloneNode(VARIANT_TRUE, copy.Out()), S_OK);
  EXPECT_EQ(Names(copy.Get(), "*"), (V{"b:book", "book"}));
  auto made = NewElement(doc.Get(), "made");
  Append(made.Get(), NewElement(doc.Get(), "inner").Get());
  auto shelf = SelectOne(doc.Get(), "/lib/shelf");
  ASSERT_HR(Root(doc.Get())->removeChild(shelf.Get(), removed.Out()), S_OK);
  for (IXMLDOMNode* orphan : {static_cast<IXMLDOMNode*>(made.Get()), shelf.Get()}) {
    SCOPED_TRACE(NameOf(orphan));
    for (const char* query : {"..", "/", "/lib", "ancestor::node()", "//title[.='Gamma']"})
      EXPECT_HR(orphan->selectSingleNode(Bstr(query), node.Out()), S_FALSE) << query;
  }
  EXPECT_EQ(Count(made.Get(), "descendant-or-self::*"), 2);
  EXPECT_EQ(Count(shelf.Get(), "descendant-or-self::*"), 7);
  EXPECT_EQ(NameOf(SelectOne(made.Get(), "inner/..").Get()), "made");
  EXPECT_EQ(Count(shelf.Get(), ".//title"), 2);

  // An attribute on no element: every axis answers, none reaches past it,
  // nor from its text.
  ardo::ComPtr<IXMLDOMAttribute> attribute;
  ASSERT_HR(doc->createAttribute(Bstr("a"), attribute.Out()), S_OK);
  Variant value(Variant::Str("v"));
  ASSERT_HR(attribute->put_value(value.get()), S_OK);
  ardo::ComPtr<IXMLDOMNode> text;
  ASSERT_HR(attribute->get_firstChild(text.Out()), S_OK);
  const struct {
    IXMLDOMNode* context;
    const char* query;
    long length;
  } cases[] = {{attribute.Get(), "preceding::node()", 0},
               {attribute.Get(), "following::node()", 0},
               {attribute.Get(), "..", 0},
               {attribute.Get(), "ancestor::node()", 0},
               {attribute.Get(), "/", 0},
               {attribute.Get(), "self::node()[preceding::node()]", 0},
               {attribute.Get(), "self::node()[not(preceding::node())]", 1},
               {text.Get(), ".|..", 2},
               {text.Get(), "ancestor-or-self::node()", 2},
               {text.Get(), "preceding::node()", 0}};
  for (const auto& c : cases) EXPECT_EQ(Count(c.context, c.query), c.length) << c.query;
}

TEST_F(XPathTest, MalformedOrNonNodeQueriesFailWithAReason) {
  auto doc = Library();
  ASSERT_TRUE(doc);
  // Calls and variables no node reaches are refused as well: unknown
  // functions, wrong numbers of arguments, undefined variables.
  for (const char* query : {"//book[", "///", "foo(", "//undeclared:book", "", "count(//book)",
                            "'text'", "1 + 1", "//book[ms:no-such-function()]", "//@*/", "//none[foo()]",
                            "//none[substring('a')]", "//none[true(1)]", "//none[concat('a')]", "//none[$v]",
                            "//none[ms:utc()]", "//none[ms:format-date('a', 'b', 'c', 'd')]",
                            "//none[bk:count(.)]", "//none[nope:count(.)]", "//none[count((1), $nope:v)]"}) {
    EXPECT_TRUE(FAILED(Fails(doc.Get(), query))) << "'" << query << "'";
    EXPECT_NE(LastReason(), "") << "the reason reaches the host: " << query;
  }
  ASSERT_TRUE(FAILED(Fails(doc.Get(), "//book[")));
  EXPECT_EQ(LastReason(), "Invalid expression in \"//book[\"");
  // A later failure leaves its own reason, or none, never that one.
  ASSERT_TRUE(FAILED(Fails(doc.Get(), "//book[")));
  ardo::ComPtr<IXMLDOMNode> removed;
  EXPECT_HR(doc->removeChild(doc.Get(), removed.Out()), E_INVALIDARG);
  EXPECT_EQ(LastReason(), "The node to remove is not a child of this node.");
  ASSERT_TRUE(FAILED(Fails(doc.Get(), "//book[")));
  EXPECT_HR(doc->hasChildNodes(nullptr), E_INVALIDARG);
  EXPECT_EQ(LastReason(), "");
}

TEST_F(XPathTest, SelectionNamespacesReplacesEarlierDeclarationsAndIsValidated) {
  auto doc = Library();
  ASSERT_TRUE(doc);
  EXPECT_EQ(GetStringProperty(doc.Get(), "SelectionNamespaces"), kNamespaces);
  SetProperty(doc.Get(), "SelectionNamespaces", "xmlns:other='urn:books'");
  EXPECT_EQ(Names(doc.Get(), "//other:book"), V{"b:book"});
  EXPECT_TRUE(FAILED(Fails(doc.Get(), "//bk:book"))) << "bk is no longer declared";
  for (const char* bad : {"this is not a declaration", "xmlns:a=''", "xmlns:a='urn:a' xmlns:a='urn:b'",
                          "xmlns:xml='urn:x'", "xmlns:xmlns='urn:x'", "xmlns:a='urn:a'xmlns:b='urn:b'"}) {
    Variant garbage(Variant::Str(bad));
    EXPECT_TRUE(FAILED(doc->setProperty(Bstr("SelectionNamespaces"), garbage.get()))) << bad;
  }
  EXPECT_EQ(GetStringProperty(doc.Get(), "SelectionNamespaces"), "xmlns:other='urn:books'") << "kept";
  SetProperty(doc.Get(), "SelectionNamespaces", "xmlns:xml='http://www.w3.org/XML/1998/namespace'");
  for (const DocumentClass& c : AllDocumentClasses()) {
    auto other = Library(*c.clsid);
    ASSERT_TRUE(other) << c.name;
    EXPECT_EQ(Count(other.Get(), "//bk:book | //book[2]"), 2) << c.name;
  }
}

// The older identities' XSLPattern reads the prefixes declared where a
// query starts; SelectionNamespaces comes first, and XPath reads only it.
TEST_F(XPathTest, XslPatternReadsTheDocumentsOwnPrefixes) {
  auto doc = Parse(kLibrary, CLSID_DOMDocument30);
  ASSERT_TRUE(doc);
  EXPECT_EQ(Names(doc.Get(), "//b:book"), V{"b:book"}) << "declared on the document element";
  auto year = SelectOne(doc.Get(), "//b:book/@year");
  ASSERT_TRUE(year);
  EXPECT_EQ(Names(year.Get(), "ancestor::b:book"), V{"b:book"}) << "from an attribute";
  EXPECT_HR(Fails(doc.Get(), "//d:item"), E_FAIL) << "declared further down only";
  auto item = SelectOne(doc.Get(), "/lib/*[local-name()='item'][1]");
  ASSERT_TRUE(item);
  EXPECT_EQ(Names(item.Get(), "self::d:item"), V{"d:item"}) << "in scope at the context";

  // A prefix means what it is bound to where each query starts, whichever
  // ran first (libxml2 fixes it in a compiled query).
  for (bool outerFirst : {true, false}) {
    auto nested = Parse("<r xmlns:p='urn:1'><p:x/><a xmlns:p='urn:2'><p:x/><p:x/></a></r>", CLSID_DOMDocument30);
    ASSERT_TRUE(nested);
    ardo::ComPtr<IXMLDOMNode> outer = Root(nested.Get()), inner = SelectOne(nested.Get(), "/r/a");
    for (int round = 0; round < 2; ++round) {
      EXPECT_EQ(Count((outerFirst ? outer : inner).Get(), "p:x"), outerFirst ? 1 : 2);
      EXPECT_EQ(Count((outerFirst ? inner : outer).Get(), "p:x"), outerFirst ? 2 : 1);
    }
  }

  SetProperty(doc.Get(), "SelectionNamespaces", "xmlns:b='urn:other'");
  EXPECT_EQ(Count(doc.Get(), "//b:book"), 0) << "the declared binding wins";
  SetProperty(doc.Get(), "SelectionNamespaces", "");
  auto selection = Select(doc.Get(), "//b:book").As<IXMLDOMSelection>();
  ASSERT_TRUE(selection);
  Variant xpath(Variant::Str("XPath")), language;
  EXPECT_HR(selection->setProperty(Bstr("SelectionLanguage"), xpath.get()), E_FAIL);
  EXPECT_HR(selection->getProperty(Bstr("SelectionLanguage"), language.Out()), S_OK);
  EXPECT_EQ(language.Utf8(), "XSLPattern") << "a refused change leaves the language";
  EXPECT_EQ(LengthOf(selection.Get()), 1);
  SetProperty(doc.Get(), "SelectionLanguage", "XPath");
  EXPECT_HR(Fails(doc.Get(), "//b:book"), E_FAIL);
  EXPECT_HR(Fails(Parse(kLibrary).Get(), "//b:book"), E_FAIL) << "4.0 knows XPath only";
}

// --- the selection object ---

// A selection knows its expression and context and is evaluated again when
// either changes; peekNode looks ahead without moving; matches answers for
// the document as it is now, while the list stays as taken; a clone walks
// on its own.
TEST_F(XPathTest, SelectionExprContextPeekMatchesAndClone) {
  auto doc = Library();
  ASSERT_TRUE(doc);
  auto shelf1 = SelectOne(doc.Get(), "/lib/shelf[1]");
  auto selection = SelectionOf(shelf1.Get(), "book");
  ASSERT_TRUE(selection);
  Bstr expr;
  EXPECT_HR(selection->get_expr(expr.Out()), S_OK);
  EXPECT_EQ(expr.Utf8(), "book");
  ardo::ComPtr<IXMLDOMNode> context, peeked, again, next, matched, fromCopy, removed;
  EXPECT_HR(selection->get_context(context.Out()), S_OK);
  EXPECT_EQ(IdentityOf(context.Get()), IdentityOf(shelf1.Get()));
  EXPECT_EQ(LengthOf(selection.Get()), 2);
  EXPECT_HR(selection->putref_context(SelectOne(doc.Get(), "/lib/shelf[2]").Get()), S_OK);
  EXPECT_EQ(LengthOf(selection.Get()), 1) << "a new context re-evaluates";
  EXPECT_HR(selection->put_expr(Bstr("node()")), S_OK);
  EXPECT_EQ(NamesOf(selection.Get()), (V{"b:book", "book", "#comment", "proc"}));
  EXPECT_TRUE(FAILED(selection->put_expr(Bstr("book["))));
  Variant value, v(Variant::Str("x")), pattern(Variant::Str("XSLPattern"));
  EXPECT_TRUE(FAILED(selection->getProperty(Bstr("NoSuchProperty"), value.Out())));
  EXPECT_TRUE(FAILED(selection->setProperty(Bstr("NoSuchProperty"), v.get())));
  EXPECT_EQ(LastReason(), "Unknown property: NoSuchProperty");
  // A language the document's version does not take is refused with a reason.
  EXPECT_HR(selection->setProperty(Bstr("SelectionLanguage"), pattern.get()), E_FAIL);
  EXPECT_EQ(LastReason(), "Unsupported selection language: XSLPattern");

  selection = SelectionOf(doc.Get(), "//title");
  ASSERT_TRUE(selection);
  ASSERT_HR(selection->peekNode(peeked.Out()), S_OK);
  ASSERT_HR(selection->peekNode(again.Out()), S_OK);
  EXPECT_EQ(IdentityOf(peeked.Get()), IdentityOf(again.Get()));
  ASSERT_HR(selection->nextNode(next.Out()), S_OK);
  EXPECT_EQ(IdentityOf(next.Get()), IdentityOf(peeked.Get()));
  ASSERT_HR(selection->peekNode(peeked.Out()), S_OK);
  EXPECT_EQ(TextOf(peeked.Get()), "Beta");
  EXPECT_HR(selection->matches(SelectOne(doc.Get(), "//book[@lang='fr']/title").Get(), matched.Out()), S_OK);
  EXPECT_TRUE(matched);
  EXPECT_HR(selection->matches(SelectOne(doc.Get(), "/lib/shelf").Get(), matched.Out()), S_FALSE);
  EXPECT_FALSE(matched);
  auto added = NewElement(doc.Get(), "title");
  auto shelf = SelectOne(doc.Get(), "/lib/shelf");
  Append(shelf.Get(), added.Get());
  EXPECT_HR(selection->matches(added.Get(), matched.Out()), S_OK);
  EXPECT_EQ(IdentityOf(matched.Get()), IdentityOf(doc.Get())) << "the context of the query";
  EXPECT_EQ(LengthOf(selection.Get()), 4);
  ASSERT_HR(shelf->removeChild(added.Get(), removed.Out()), S_OK);
  EXPECT_HR(selection->matches(added.Get(), matched.Out()), S_FALSE);

  ASSERT_HR(selection->nextNode(next.Out()), S_OK);
  ardo::ComPtr<IXMLDOMSelection> copy;
  ASSERT_HR(selection->clone(copy.Out()), S_OK);
  ASSERT_TRUE(copy);
  EXPECT_NE(IdentityOf(copy.Get()), IdentityOf(selection.Get()));
  copy->get_expr(expr.Out());
  EXPECT_EQ(expr.Utf8(), "//title");
  EXPECT_EQ(LengthOf(copy.Get()), 4);
  ASSERT_HR(copy->reset(), S_OK);
  for (int i = 0; i < 4; ++i) ASSERT_HR(copy->nextNode(fromCopy.Out()), S_OK);
  EXPECT_EQ(TextOf(fromCopy.Get()), "Delta");
  ASSERT_HR(selection->nextNode(next.Out()), S_OK);
  EXPECT_EQ(TextOf(next.Get()), "Gamma") << "walking the copy leaves the original where it was";
  while (selection->nextNode(next.Out()) == S_OK && next) {
  }
  EXPECT_HR(selection->peekNode(peeked.Out()), S_FALSE) << "past the end";
  EXPECT_FALSE(peeked);
}

TEST_F(XPathTest, SelectionRemoveNextAndRemoveAllTakeNodesOutOfTheDocument) {
  auto doc = Library();
  ASSERT_TRUE(doc);
  auto selection = SelectionOf(doc.Get(), "//price");
  ASSERT_TRUE(selection);
  ardo::ComPtr<IXMLDOMNode> first, removed, parent, passed;
  ASSERT_HR(selection->peekNode(first.Out()), S_OK);
  ASSERT_HR(selection->removeNext(removed.Out()), S_OK);
  EXPECT_EQ(IdentityOf(removed.Get()), IdentityOf(first.Get()));
  EXPECT_HR(removed->get_parentNode(parent.Out()), S_FALSE);
  EXPECT_EQ(Count(doc.Get(), "//price"), 2);
  EXPECT_EQ(TextOf(removed.Get()), "10");
  ASSERT_HR(selection->nextNode(passed.Out()), S_OK);
  EXPECT_HR(selection->removeAll(), S_OK);
  EXPECT_EQ(Count(doc.Get(), "//price"), 0) << "the node passed over goes too";
  EXPECT_EQ(Count(doc.Get(), "//book"), 3) << "only the selected nodes go";
  EXPECT_EQ(LengthOf(selection.Get()), 0);
  // The document cannot be removed: the call fails and changes nothing.
  auto whole = SelectionOf(doc.Get(), "/ | //book");
  ASSERT_TRUE(whole);
  EXPECT_HR(whole->removeNext(removed.Out()), E_FAIL);
  EXPECT_FALSE(removed);
  EXPECT_HR(whole->removeAll(), E_FAIL);
  EXPECT_EQ(Count(doc.Get(), "//book"), 3);

  // Emptied one node at a time, each comes out in order; what was taken
  // out and let go waits for the selection's last node or the selection's
  // end, and goes then.
  std::string xml = "<r>";
  for (int i = 0; i < 3000; ++i) xml += "<i>" + std::to_string(i) + "</i>";
  auto many = Parse((xml + "</r>").c_str());
  ASSERT_TRUE(many);
  const long baseline = ardo::LiveObjectCount();
  for (long last : {3000L, 2999L}) {
    auto each = SelectionOf(many.Get(), "/r/i");
    ASSERT_TRUE(each);
    long taken = 0;
    for (ardo::ComPtr<IXMLDOMNode> n; taken < last && each->removeNext(n.Out()) == S_OK && n; ++taken)
      ASSERT_EQ(TextOf(n.Get()), std::to_string(taken));
    EXPECT_EQ(taken, last);
    EXPECT_EQ(Count(many.Get(), "/r/i"), 3000 - last);
    if (last == 3000) {
      EXPECT_EQ(ardo::LiveObjectCount(), baseline + 1) << "the selection alone";
    }
    ASSERT_TRUE(many->loadXML(Bstr(xml + "</r>"), nullptr) == S_OK);
    each = nullptr;
    EXPECT_EQ(ardo::LiveObjectCount(), baseline);
  }
}

// --- the query-result cache ---

// A repeated query hands out its own list, equal to the first, with its
// own position; an earlier list stays a snapshot through edits and keeps
// its document alive.
TEST_F(XPathTest, CachedListsAreIndependentSnapshots) {
  auto doc = Library();
  ASSERT_TRUE(doc);
  auto first = Select(doc.Get(), "//title"), second = Select(doc.Get(), "//title");
  ASSERT_TRUE(first && second);
  EXPECT_NE(IdentityOf(first.Get()), IdentityOf(second.Get()));
  ASSERT_EQ(LengthOf(first.Get()), 4);
  ASSERT_EQ(LengthOf(second.Get()), 4);
  ardo::ComPtr<IXMLDOMNode> a, b, removed;
  for (long i = 0; i < 4; ++i) {
    first->get_item(i, a.Out());
    second->get_item(i, b.Out());
    EXPECT_EQ(IdentityOf(a.Get()), IdentityOf(b.Get())) << i;
  }
  first->nextNode(a.Out());
  first->nextNode(a.Out());
  second->nextNode(b.Out());
  EXPECT_EQ(TextOf(b.Get()), "Alpha") << "positions are per list";
  ASSERT_HR(Root(doc.Get())->removeChild(SelectOne(doc.Get(), "/lib/shelf[2]").Get(), removed.Out()), S_OK);
  removed = nullptr;
  EXPECT_EQ(Count(doc.Get(), "//title"), 2);
  ASSERT_EQ(LengthOf(first.Get()), 4) << "the earlier list still holds the removed titles";
  ASSERT_HR(first->get_item(2, a.Out()), S_OK);
  EXPECT_EQ(TextOf(a.Get()), "Gamma");
  doc = nullptr;
  ASSERT_HR(first->get_item(0, a.Out()), S_OK);
  EXPECT_EQ(TextOf(a.Get()), "Alpha") << "a list keeps its document alive";
}

TEST_F(XPathTest, EveryKindOfChangeShowsInTheNextAnswer) {
  auto doc = Library();
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  const char* query = "//book[@lang]";
  EXPECT_EQ(Count(doc.Get(), query), 2);
  auto book = NewElement(doc.Get(), "book");
  Variant de(Variant::Str("de")), es(Variant::Str("es"));
  ASSERT_HR(book->setAttribute(Bstr("lang"), de.get()), S_OK);
  Append(root.Get(), book.Get());
  EXPECT_EQ(Count(doc.Get(), query), 3) << "after appendChild";
  ASSERT_HR(SelectOne(doc.Get(), "//book[@lang='fr']").As<IXMLDOMElement>()->removeAttribute(Bstr("lang")), S_OK);
  EXPECT_EQ(Count(doc.Get(), query), 2) << "after removeAttribute";
  ASSERT_HR(SelectOne(doc.Get(), "//book/@lang[.='en']")->put_nodeValue(es.get()), S_OK);
  EXPECT_EQ(Count(doc.Get(), "//book[@lang='en']"), 0) << "after put_nodeValue";
  EXPECT_EQ(Count(doc.Get(), "//book[@lang='es']"), 1);
  const char* beta = "//book[title='Beta']";
  EXPECT_EQ(Count(doc.Get(), beta), 1);
  auto data = SelectOne(doc.Get(), "//title[.='Beta']/text()").As<IXMLDOMCharacterData>();
  ASSERT_HR(data->appendData(Bstr("!")), S_OK);
  EXPECT_EQ(Count(doc.Get(), beta), 0) << "after appendData";
  ASSERT_HR(SelectOne(doc.Get(), "//title[.='Alpha']")->put_text(Bstr("Beta")), S_OK);
  EXPECT_EQ(Count(doc.Get(), beta), 1) << "after put_text";
  ardo::ComPtr<IXMLDOMNode> removed;
  ASSERT_HR(root->removeChild(SelectOne(doc.Get(), "/lib/shelf[1]").Get(), removed.Out()), S_OK);
  EXPECT_EQ(Count(doc.Get(), "//book"), 2) << "after removeChild";
  ASSERT_HR(LoadXml(doc.Get(), "<lib><book/></lib>"), S_OK);
  EXPECT_EQ(Count(doc.Get(), "//book"), 1) << "after loadXML";
}

// The same text with other prefix bindings, context or declarations in the
// tree is another query; extension functions are found through the
// declarations in force when the query runs, as names are.
TEST_F(XPathTest, SameTextWithOtherPrefixBindingsOrContextIsAnotherQuery) {
  auto doc = Parse("<r xmlns:a='urn:1' xmlns:b='urn:2'><a:x/><b:x/><b:x/><s><x/></s><t><x/><x/><x/></t></r>");
  ASSERT_TRUE(doc);
  SetProperty(doc.Get(), "SelectionNamespaces", "xmlns:p='urn:1'");
  EXPECT_EQ(Count(doc.Get(), "//p:x"), 1);
  SetProperty(doc.Get(), "SelectionNamespaces", "xmlns:p='urn:2'");
  EXPECT_EQ(Count(doc.Get(), "//p:x"), 2);
  auto s = SelectOne(doc.Get(), "/r/s"), t = SelectOne(doc.Get(), "/r/t");
  ASSERT_TRUE(s && t);
  EXPECT_EQ(Count(s.Get(), "x"), 1);
  EXPECT_EQ(Count(t.Get(), "x"), 3);
  EXPECT_EQ(Count(s.Get(), "x"), 1);
  const char* compare = "//x[ms:string-compare(name(), 'x') = 0]";
  for (const char* other : {"", "xmlns:ms='urn:not-the-functions'"}) {
    SetProperty(doc.Get(), "SelectionNamespaces", "xmlns:ms='urn:schemas-microsoft-com:xslt'");
    EXPECT_EQ(Count(doc.Get(), compare), 4);
    SetProperty(doc.Get(), "SelectionNamespaces", other);
    EXPECT_HR(Fails(doc.Get(), compare), E_FAIL) << other;
  }
  SetProperty(doc.Get(), "SelectionNamespaces", "xmlns:ms='urn:schemas-microsoft-com:xslt'");
  const char* declared = "/r[ms:namespace-uri('j:x') = 'urn:j']";
  EXPECT_EQ(Count(doc.Get(), declared), 0);
  Variant j(Variant::Str("urn:j"));
  ASSERT_HR(Root(doc.Get())->setAttribute(Bstr("xmlns:j"), j.get()), S_OK);
  EXPECT_EQ(Count(doc.Get(), declared), 1);
}

}  // namespace
}  // namespace ardo::test
