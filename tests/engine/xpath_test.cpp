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
};

struct QueryCase {
  const char* query;
  std::vector<std::string> names;
};

using V = std::vector<std::string>;

const QueryCase kQueries[] = {
    // child, descendant and attribute steps
    {"/lib/shelf", {"shelf", "shelf"}},
    {"//book", {"book", "book", "book"}},
    {"/lib/descendant::title", {"title", "title", "title", "title"}},
    {"/lib/shelf/@id", {"id", "id"}},
    {"/lib/shelf[@id='s2']/*", {"b:book", "book"}},
    {"//shelf[2]/node()", {"b:book", "book", "#comment", "proc"}},
    {"//comment()", {"#comment"}},
    {"//processing-instruction('proc')", {"proc"}},
    {"//title/text()", {"#text", "#text", "#text", "#text"}},
    // the other axes
    {"//title[.='Beta']/..", {"book"}},
    {"//book/ancestor::*", {"lib", "shelf", "shelf"}},
    {"//title[.='Gamma']/ancestor-or-self::*", {"lib", "shelf", "b:book", "title"}},
    {"/lib/shelf[1]/book[1]/following-sibling::*", {"book"}},
    {"/lib/shelf[2]/*[last()]/preceding-sibling::*", {"b:book"}},
    {"//price/parent::book/self::*", {"book", "book", "book"}},
    {"//title[.='Alpha']/following::title", {"title", "title", "title"}},
    {"//title[.='Delta']/preceding::title", {"title", "title", "title"}},
    {"//title[.='Alpha']/../following-sibling::book/title", {"title"}},
    // positions and unions
    {"//book[1]", {"book", "book"}},
    {"(//book)[last()]", {"book"}},
    {"//book[position()=2]", {"book"}},
    {"//shelf[@id='s1'] | //shelf[@id='s2']/@id", {"shelf", "id"}},
    {"/lib/shelf[true()][false()]", {}},
    // namespaces: prefixes come from SelectionNamespaces, not the document
    {"//bk:book", {"b:book"}},
    {"//dt:item", {"d:item", "item"}},
    {"//*[local-name()='item']", {"d:item", "item"}},
    {"//*[namespace-uri()='urn:books']", {"b:book"}},
    // core functions
    {"//book[contains(title,'lph')]", {"book"}},
    {"//book[starts-with(title,'D')]/title", {"title"}},
    {"//title[string-length(.)=4]", {"title"}},
    {"//book[not(@lang)]", {"book"}},
    {"//shelf[count(book)=2]", {"shelf"}},
    {"//book[sum(price)>20]", {"book"}},
    {"//book[number(@year) mod 2 = 1]", {"book", "book"}},
    {"//title[translate(.,'abc','ABC')='AlphA']", {"title"}},
    {"//*[@year > 2000 and @year < 2015]", {"book", "b:book"}},
    {"//book[concat(@year,'!')='1999!']", {"book"}},
    {"//price[floor(.)=25]", {"price"}},
    {"//price[ceiling(.)=26]", {"price"}},
    {"//price[round(.)=26]", {"price"}},
    {"//book[normalize-space(title)='Alpha']", {"book"}},
    {"//book[substring-before(@year,'9')='1']", {"book"}},
    {"//book[substring(@year,3)='20']", {"book"}},
    {"//book[price > 9]/title", {"title", "title"}},
    {"id('nothing')", {}},
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
};

TEST_F(XPathTest, ExpressionsSelectTheExpectedNodesInDocumentOrder) {
  auto doc = Library();
  ASSERT_TRUE(doc);
  for (const QueryCase& c : kQueries) {
    ardo::ComPtr<IXMLDOMNodeList> list;
    Bstr query(c.query);
    HRESULT hr = doc->selectNodes(query, list.Out());
    EXPECT_HR(hr, S_OK) << c.query;
    if (FAILED(hr) || !list) continue;
    EXPECT_EQ(NamesOf(list.Get()), c.names) << c.query;
  }
}

TEST_F(XPathTest, QueriesRunRelativeToTheNodeTheyAreAskedOf) {
  auto doc = Library();
  ASSERT_TRUE(doc);
  auto shelf2 = SelectOne(doc.Get(), "/lib/shelf[@id='s2']");
  ASSERT_TRUE(shelf2);
  EXPECT_EQ(NamesOf(Select(shelf2.Get(), "book/title").Get()), V{"title"});
  EXPECT_EQ(NamesOf(Select(shelf2.Get(), "*").Get()), (V{"b:book", "book"}));
  EXPECT_EQ(NamesOf(Select(shelf2.Get(), "..").Get()), V{"lib"});
  EXPECT_EQ(NamesOf(Select(shelf2.Get(), "@id").Get()), V{"id"});
  // An absolute path still starts at the root.
  EXPECT_EQ(LengthOf(Select(shelf2.Get(), "//title").Get()), 4);
  auto title = SelectOne(shelf2.Get(), ".//title");
  EXPECT_EQ(TextOf(title.Get()), "Gamma");
  // On a detached node, the node itself is the root of its tree.
  ardo::ComPtr<IXMLDOMNode> copy;
  ASSERT_HR(shelf2->cloneNode(VARIANT_TRUE, copy.Out()), S_OK);
  EXPECT_EQ(NamesOf(Select(copy.Get(), "*").Get()), (V{"b:book", "book"}));
}

TEST_F(XPathTest, SelectSingleNodeGivesTheFirstMatchOrSFalse) {
  auto doc = Library();
  ASSERT_TRUE(doc);
  ardo::ComPtr<IXMLDOMNode> node;
  Bstr books("//book/title"), none("//nothing"), wrong("//book[");
  EXPECT_HR(doc->selectSingleNode(books, node.Out()), S_OK);
  EXPECT_EQ(TextOf(node.Get()), "Alpha");
  EXPECT_HR(doc->selectSingleNode(none, node.Out()), S_FALSE);
  EXPECT_FALSE(node);
  EXPECT_TRUE(FAILED(doc->selectSingleNode(wrong, node.Out())));
  EXPECT_FALSE(node);
}

TEST_F(XPathTest, MalformedOrNonNodeQueriesFailWithoutAList) {
  auto doc = Library();
  ASSERT_TRUE(doc);
  for (const char* query : {"//book[", "///", "foo(", "//undeclared:book", "", "count(//book)",
                            "'text'", "1 + 1", "//book[ms:no-such-function()]", "//@*/"}) {
    ardo::ComPtr<IXMLDOMNodeList> list;
    Bstr q(query);
    EXPECT_TRUE(FAILED(doc->selectNodes(q, list.Out()))) << "'" << query << "'";
    EXPECT_FALSE(list) << query;
  }
}

TEST_F(XPathTest, SelectionNamespacesReplacesEarlierDeclarationsAndIsValidated) {
  auto doc = Library();
  ASSERT_TRUE(doc);
  EXPECT_EQ(GetStringProperty(doc.Get(), "SelectionNamespaces"), kNamespaces);
  SetProperty(doc.Get(), "SelectionNamespaces", "xmlns:other='urn:books'");
  EXPECT_EQ(NamesOf(Select(doc.Get(), "//other:book").Get()), V{"b:book"});
  ardo::ComPtr<IXMLDOMNodeList> list;
  Bstr old("//bk:book");
  EXPECT_TRUE(FAILED(doc->selectNodes(old, list.Out()))) << "bk is no longer declared";
  Bstr name("SelectionNamespaces");
  Variant garbage(Variant::Str("this is not a declaration"));
  EXPECT_TRUE(FAILED(doc->setProperty(name, garbage.get())));
}

TEST_F(XPathTest, EveryDocumentIdentityAnswersXPathQueries) {
  for (const DocumentClass& c : AllDocumentClasses()) {
    SCOPED_TRACE(c.name);
    auto doc = Library(*c.clsid);
    ASSERT_TRUE(doc);
    EXPECT_EQ(NamesOf(Select(doc.Get(), "//book[2]/title").Get()), V{"title"});
    EXPECT_EQ(LengthOf(Select(doc.Get(), "//bk:book | //book").Get()), 4);
  }
}

// --- the selection object ---

class SelectionTest : public XPathTest {
 protected:
  ardo::ComPtr<IXMLDOMSelection> SelectionOf(IXMLDOMNode* context, const char* query) {
    auto list = Select(context, query);
    if (!list) return {};
    auto selection = list.As<IXMLDOMSelection>();
    EXPECT_TRUE(selection) << "selectNodes must hand out a selection";
    return selection;
  }
};

TEST_F(SelectionTest, ExprContextAndReevaluationOnChange) {
  auto doc = Library();
  ASSERT_TRUE(doc);
  auto shelf1 = SelectOne(doc.Get(), "/lib/shelf[1]");
  auto shelf2 = SelectOne(doc.Get(), "/lib/shelf[2]");
  auto selection = SelectionOf(shelf1.Get(), "book");
  ASSERT_TRUE(selection);
  Bstr expr;
  EXPECT_HR(selection->get_expr(expr.Out()), S_OK);
  EXPECT_EQ(expr.Utf8(), "book");
  ardo::ComPtr<IXMLDOMNode> context;
  EXPECT_HR(selection->get_context(context.Out()), S_OK);
  EXPECT_EQ(IdentityOf(context.Get()), IdentityOf(shelf1.Get()));
  EXPECT_EQ(LengthOf(selection.Get()), 2);

  EXPECT_HR(selection->putref_context(shelf2.Get()), S_OK);
  EXPECT_EQ(LengthOf(selection.Get()), 1) << "a new context re-evaluates";
  Bstr anything("node()");
  EXPECT_HR(selection->put_expr(anything), S_OK);
  EXPECT_EQ(NamesOf(selection.Get()), (V{"b:book", "book", "#comment", "proc"}));
  Bstr broken("book[");
  EXPECT_TRUE(FAILED(selection->put_expr(broken)));
}

TEST_F(SelectionTest, PeekNodeLooksAheadWithoutMovingAndMatchesTestsMembership) {
  auto doc = Library();
  ASSERT_TRUE(doc);
  auto selection = SelectionOf(doc.Get(), "//title");
  ASSERT_TRUE(selection);
  ardo::ComPtr<IXMLDOMNode> peeked, again, next;
  ASSERT_HR(selection->peekNode(peeked.Out()), S_OK);
  ASSERT_HR(selection->peekNode(again.Out()), S_OK);
  EXPECT_EQ(IdentityOf(peeked.Get()), IdentityOf(again.Get()));
  ASSERT_HR(selection->nextNode(next.Out()), S_OK);
  EXPECT_EQ(IdentityOf(next.Get()), IdentityOf(peeked.Get()));
  ASSERT_HR(selection->peekNode(peeked.Out()), S_OK);
  EXPECT_EQ(TextOf(peeked.Get()), "Beta");

  ardo::ComPtr<IXMLDOMNode> matched;
  auto delta = SelectOne(doc.Get(), "//book[@lang='fr']/title");
  ASSERT_TRUE(delta);
  EXPECT_HR(selection->matches(delta.Get(), matched.Out()), S_OK);
  EXPECT_TRUE(matched);
  auto shelf = SelectOne(doc.Get(), "/lib/shelf");
  EXPECT_HR(selection->matches(shelf.Get(), matched.Out()), S_FALSE);
  EXPECT_FALSE(matched);

  // Walking past the end: peek and next give nothing.
  while (selection->nextNode(next.Out()) == S_OK && next) {
  }
  EXPECT_HR(selection->peekNode(peeked.Out()), S_FALSE);
  EXPECT_FALSE(peeked);
}

TEST_F(SelectionTest, RemoveNextAndRemoveAllTakeNodesOutOfTheDocument) {
  auto doc = Library();
  ASSERT_TRUE(doc);
  auto selection = SelectionOf(doc.Get(), "//price");
  ASSERT_TRUE(selection);
  ardo::ComPtr<IXMLDOMNode> first;
  ASSERT_HR(selection->peekNode(first.Out()), S_OK);
  ardo::ComPtr<IXMLDOMNode> removed;
  ASSERT_HR(selection->removeNext(removed.Out()), S_OK);
  EXPECT_EQ(IdentityOf(removed.Get()), IdentityOf(first.Get()));
  ardo::ComPtr<IXMLDOMNode> parent;
  EXPECT_HR(removed->get_parentNode(parent.Out()), S_FALSE);
  EXPECT_EQ(LengthOf(Select(doc.Get(), "//price").Get()), 2);
  EXPECT_EQ(TextOf(removed.Get()), "10");

  EXPECT_HR(selection->removeAll(), S_OK);
  EXPECT_EQ(LengthOf(Select(doc.Get(), "//price").Get()), 0);
  EXPECT_EQ(LengthOf(Select(doc.Get(), "//book").Get()), 3) << "only the selected nodes go";
}

TEST_F(SelectionTest, CloneCopiesTheSelectionWithItsOwnPosition) {
  auto doc = Library();
  ASSERT_TRUE(doc);
  auto selection = SelectionOf(doc.Get(), "//title");
  ASSERT_TRUE(selection);
  ardo::ComPtr<IXMLDOMNode> node;
  ASSERT_HR(selection->nextNode(node.Out()), S_OK);
  ASSERT_HR(selection->nextNode(node.Out()), S_OK);
  ardo::ComPtr<IXMLDOMSelection> copy;
  ASSERT_HR(selection->clone(copy.Out()), S_OK);
  ASSERT_TRUE(copy);
  EXPECT_NE(IdentityOf(copy.Get()), IdentityOf(selection.Get()));
  Bstr expr;
  copy->get_expr(expr.Out());
  EXPECT_EQ(expr.Utf8(), "//title");
  EXPECT_EQ(LengthOf(copy.Get()), 4);
  EXPECT_EQ(NamesOf(copy.Get()), (V{"title", "title", "title", "title"}));
  ASSERT_HR(copy->reset(), S_OK);
  ardo::ComPtr<IXMLDOMNode> fromCopy;
  for (int i = 0; i < 4; ++i) ASSERT_HR(copy->nextNode(fromCopy.Out()), S_OK);
  EXPECT_EQ(TextOf(fromCopy.Get()), "Delta");
  ASSERT_HR(selection->nextNode(node.Out()), S_OK);
  EXPECT_EQ(TextOf(node.Get()), "Gamma") << "walking the copy leaves the original where it was";
}

TEST_F(SelectionTest, UnknownSelectionPropertyIsRefused) {
  auto doc = Library();
  ASSERT_TRUE(doc);
  auto selection = SelectionOf(doc.Get(), "//title");
  ASSERT_TRUE(selection);
  Bstr name("NoSuchProperty");
  Variant value;
  EXPECT_TRUE(FAILED(selection->getProperty(name, value.Out())));
  Variant v(Variant::Str("x"));
  EXPECT_TRUE(FAILED(selection->setProperty(name, v.get())));
}

// --- the query-result cache ---

class QueryCacheTest : public XPathTest {};

TEST_F(QueryCacheTest, RepeatedQueryOnAnUnchangedDocumentGivesEqualIndependentLists) {
  auto doc = Library();
  ASSERT_TRUE(doc);
  auto first = Select(doc.Get(), "//book");
  auto second = Select(doc.Get(), "//book");
  ASSERT_TRUE(first && second);
  EXPECT_NE(IdentityOf(first.Get()), IdentityOf(second.Get())) << "each call hands out its own list";
  ASSERT_EQ(LengthOf(first.Get()), LengthOf(second.Get()));
  for (long i = 0; i < LengthOf(first.Get()); ++i) {
    ardo::ComPtr<IXMLDOMNode> a, b;
    first->get_item(i, a.Out());
    second->get_item(i, b.Out());
    EXPECT_EQ(IdentityOf(a.Get()), IdentityOf(b.Get())) << i;
  }
  ardo::ComPtr<IXMLDOMNode> node;
  first->nextNode(node.Out());
  first->nextNode(node.Out());
  ardo::ComPtr<IXMLDOMNode> fromSecond;
  second->nextNode(fromSecond.Out());
  ardo::ComPtr<IXMLDOMNode> firstBook;
  first->get_item(0, firstBook.Out());
  EXPECT_EQ(IdentityOf(fromSecond.Get()), IdentityOf(firstBook.Get())) << "positions are per list";
}

TEST_F(QueryCacheTest, EveryKindOfChangeShowsInTheNextAnswer) {
  auto doc = Library();
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  ASSERT_TRUE(root);
  const char* query = "//book[@lang]";
  EXPECT_EQ(LengthOf(Select(doc.Get(), query).Get()), 2);

  // A new element.
  ardo::ComPtr<IXMLDOMElement> book;
  Bstr bookName("book"), lang("lang");
  ASSERT_HR(doc->createElement(bookName, book.Out()), S_OK);
  Variant de(Variant::Str("de"));
  ASSERT_HR(book->setAttribute(lang, de.get()), S_OK);
  ardo::ComPtr<IXMLDOMNode> added;
  ASSERT_HR(root->appendChild(book.Get(), added.Out()), S_OK);
  EXPECT_EQ(LengthOf(Select(doc.Get(), query).Get()), 3) << "after appendChild";

  // An attribute removed.
  auto fr = SelectOne(doc.Get(), "//book[@lang='fr']");
  ASSERT_TRUE(fr);
  ASSERT_HR(fr.As<IXMLDOMElement>()->removeAttribute(lang), S_OK);
  EXPECT_EQ(LengthOf(Select(doc.Get(), query).Get()), 2) << "after removeAttribute";

  // An attribute value changed through its node.
  auto en = SelectOne(doc.Get(), "//book/@lang[.='en']");
  ASSERT_TRUE(en);
  Variant changed(Variant::Str("es"));
  ASSERT_HR(en->put_nodeValue(changed.get()), S_OK);
  EXPECT_EQ(LengthOf(Select(doc.Get(), "//book[@lang='en']").Get()), 0) << "after put_nodeValue";
  EXPECT_EQ(LengthOf(Select(doc.Get(), "//book[@lang='es']").Get()), 1);

  // Text changed inside a character-data node.
  const char* beta = "//book[title='Beta']";
  EXPECT_EQ(LengthOf(Select(doc.Get(), beta).Get()), 1);
  auto betaText = SelectOne(doc.Get(), "//title[.='Beta']/text()");
  ASSERT_TRUE(betaText);
  auto data = betaText.As<IXMLDOMCharacterData>();
  Bstr suffix("!");
  ASSERT_HR(data->appendData(suffix), S_OK);
  EXPECT_EQ(LengthOf(Select(doc.Get(), beta).Get()), 0) << "after appendData";

  // An element's text replaced.
  auto alpha = SelectOne(doc.Get(), "//title[.='Alpha']");
  ASSERT_TRUE(alpha);
  Bstr beta2("Beta");
  ASSERT_HR(alpha->put_text(beta2), S_OK);
  EXPECT_EQ(LengthOf(Select(doc.Get(), beta).Get()), 1) << "after put_text";

  // A subtree removed.
  auto shelf = SelectOne(doc.Get(), "/lib/shelf[1]");
  ardo::ComPtr<IXMLDOMNode> removed;
  ASSERT_HR(root->removeChild(shelf.Get(), removed.Out()), S_OK);
  EXPECT_EQ(LengthOf(Select(doc.Get(), "//book").Get()), 2) << "after removeChild";

  // A whole new document.
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_HR(LoadXml(doc.Get(), "<lib><book/></lib>", &ok), S_OK);
  EXPECT_EQ(LengthOf(Select(doc.Get(), "//book").Get()), 1) << "after loadXML";
}

TEST_F(QueryCacheTest, SameTextWithOtherPrefixBindingsOrContextIsAnotherQuery) {
  auto doc = Parse("<r xmlns:a='urn:1' xmlns:b='urn:2'><a:x/><b:x/><b:x/><s><x/></s><t><x/><x/><x/></t></r>");
  ASSERT_TRUE(doc);
  SetProperty(doc.Get(), "SelectionNamespaces", "xmlns:p='urn:1'");
  EXPECT_EQ(LengthOf(Select(doc.Get(), "//p:x").Get()), 1);
  SetProperty(doc.Get(), "SelectionNamespaces", "xmlns:p='urn:2'");
  EXPECT_EQ(LengthOf(Select(doc.Get(), "//p:x").Get()), 2) << "the prefix now names another namespace";

  auto s = SelectOne(doc.Get(), "/r/s");
  auto t = SelectOne(doc.Get(), "/r/t");
  ASSERT_TRUE(s && t);
  EXPECT_EQ(LengthOf(Select(s.Get(), "x").Get()), 1);
  EXPECT_EQ(LengthOf(Select(t.Get(), "x").Get()), 3) << "same text, other context";
  EXPECT_EQ(LengthOf(Select(s.Get(), "x").Get()), 1);
}

TEST_F(QueryCacheTest, CachedListsSurviveTheDocumentAndEditsKeepThemSnapshots) {
  auto doc = Library();
  ASSERT_TRUE(doc);
  auto before = Select(doc.Get(), "//title");
  ASSERT_EQ(LengthOf(before.Get()), 4);
  auto root = Root(doc.Get());
  auto shelf = SelectOne(doc.Get(), "/lib/shelf[2]");
  ardo::ComPtr<IXMLDOMNode> removed;
  ASSERT_HR(root->removeChild(shelf.Get(), removed.Out()), S_OK);
  removed = nullptr;
  shelf = nullptr;
  auto after = Select(doc.Get(), "//title");
  EXPECT_EQ(LengthOf(after.Get()), 2);
  // The earlier list still holds the removed titles, alive and readable.
  ASSERT_EQ(LengthOf(before.Get()), 4);
  ardo::ComPtr<IXMLDOMNode> gamma;
  ASSERT_HR(before->get_item(2, gamma.Out()), S_OK);
  EXPECT_EQ(TextOf(gamma.Get()), "Gamma");
  doc = nullptr;
  root = nullptr;
  after = nullptr;
  ardo::ComPtr<IXMLDOMNode> alpha;
  ASSERT_HR(before->get_item(0, alpha.Out()), S_OK);
  EXPECT_EQ(TextOf(alpha.Get()), "Alpha") << "a list keeps its document alive";
}

}  // namespace
}  // namespace ardo::test
