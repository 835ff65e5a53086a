// Node lists, selections and named node maps against the real engine:
// walking by index and with NextNode/Reset, the walk position shared by
// copies, what a live selection adds, and look-ups by name.
#include <set>
#include <string>
#include <vector>

#include "tests/dom/dom_engine_fixture.h"

namespace ardo::test {
namespace {

using NodeListTest = DomEngineTest;

// The names of the nodes NextNode yields until it gives an empty node.
template <class List>
std::vector<std::string> Walk(List& list) {
  std::vector<std::string> names;
  for (CXMLDOMNode node = list.NextNode(); !!node; node = list.NextNode())
    names.push_back(DomEngineTest::Text(node.GetNodeName()));
  return names;
}

TEST_F(NodeListTest, WalkByIndexAndNextNodeEndsEmptyResetStartsOverAndCopiesShareThePlace) {
  CXMLDOMDocument2 doc = Parse(kDrivesXml);
  CXMLDOMNodeList children = doc.GetDocumentElement().GetChildNodes();
  const std::vector<std::string> all = {"drive", "drive", "audit", "empty"};
  ASSERT_EQ(children.GetLength(), 4);
  EXPECT_EQ(Walk(children), all);
  EXPECT_TRUE(!children.NextNode());  // stays at the end
  children.Reset();
  EXPECT_EQ(Walk(children), all);
  for (long i = 0; i < children.GetLength(); ++i)
    EXPECT_EQ(Text(children.GetItem(i).GetNodeName()), all[i]) << i;
  for (long outside : {-1L, 4L}) EXPECT_TRUE(!children.GetItem(outside)) << outside;
  CXMLDOMNodeList none = doc.SelectNodes("//missing");
  EXPECT_EQ(none.GetLength(), 0);
  EXPECT_TRUE(!none.NextNode());

  // Copies share the walk position; the enumerator belongs to the caller.
  CXMLDOMNodeList list = doc.SelectNodes("//drive/@pid");
  CXMLDOMNodeList copy(list);
  EXPECT_EQ(Text(list.NextNode().GetText()), "7");
  EXPECT_EQ(Text(copy.NextNode().GetText()), "9");  // advanced through the other wrapper
  EXPECT_TRUE(!list.NextNode());
  copy.Reset();
  EXPECT_EQ(Text(list.NextNode().GetText()), "7");

  IUnknown* unknown = list.Get_newEnum();
  ASSERT_NE(unknown, nullptr);
  IEnumVARIANT* items = QueryFor<IEnumVARIANT>(unknown);
  unknown->Release();
  ASSERT_NE(items, nullptr);
  VARIANT item[3] = {};
  ULONG fetched = 0;
  items->Next(3, item, &fetched);
  EXPECT_EQ(fetched, 2u);
  for (VARIANT& v : item) VariantClear(&v);
  items->Release();
}

using SelectionTest = DomEngineTest;

CXMLDOMSelection Select(CXMLDOMDocument2& doc, const char* query) {
  return CXMLDOMSelection(QueryFor<IXMLDOMSelection>(doc.SelectNodes(query).P()), 0);
}

TEST_F(SelectionTest, ExpressionContextMatchingCloneRemovalAndProperties) {
  CXMLDOMDocument2 doc = Parse(kDrivesXml);
  CXMLDOMSelection names = Select(doc, "//name");
  EXPECT_EQ(Text(names.GetExpr()), "//name");
  EXPECT_EQ(names.GetContext().P(), static_cast<IXMLDOMNode*>(doc.P()));
  CXMLDOMNode first = names.PeekNode();
  EXPECT_EQ(Text(first.GetText()), "Alpha");
  EXPECT_EQ(names.NextNode().P(), first.P());  // peeking did not advance
  EXPECT_EQ(Text(names.GetItem(1).GetText()), "Beta");
  names.Reset();
  EXPECT_EQ(Walk(names), (std::vector<std::string>{"name", "name"}));
  EXPECT_FALSE(!names.Matches(doc.SelectSingleNode("//name")));
  EXPECT_TRUE(!names.Matches(doc.SelectSingleNode("//empty")));
  names.SetExpr("drive");
  names.SetRefContext(doc.GetDocumentElement());
  EXPECT_EQ(names.GetLength(), 2);
  CXMLDOMSelection clone = names.Clone();
  EXPECT_NE(clone.P(), names.P());
  EXPECT_EQ(Text(clone.GetExpr()), "drive");
  EXPECT_EQ(clone.GetLength(), 2);

  // Removing through the selection edits the tree.
  names = Select(doc, "//name");
  CXMLDOMNode removed = names.RemoveNext();
  EXPECT_EQ(Text(removed.GetText()), "Alpha");
  EXPECT_TRUE(!removed.GetParentNode());
  EXPECT_EQ(doc.SelectNodes("//name").GetLength(), 1);
  names.RemoveAll();
  EXPECT_EQ(doc.SelectNodes("//name").GetLength(), 0);

  // Properties go through unchanged.
  CXMLDOMSelection drives = Select(doc, "//drive");
  drives.SetProperty("SelectionNamespaces", _variant_t("xmlns:x='urn:vendor'"));
  EXPECT_EQ(TakeText(drives.GetProperty("SelectionNamespaces")), "xmlns:x='urn:vendor'");
  drives.SetExpr("//drive[@x:rated]");
  EXPECT_EQ(drives.GetLength(), 1);
  VARIANT ignored;
  VariantInit(&ignored);
  HRESULT refused = drives.P()->getProperty(_bstr_t("NoSuchProperty"), &ignored);
  ASSERT_TRUE(FAILED(refused));
  EXPECT_THROWS_HR(drives.GetProperty("NoSuchProperty"), refused);
}

using NamedNodeMapTest = DomEngineTest;

TEST_F(NamedNodeMapTest, LookUpsProbesAddsAndRemoves) {
  CXMLDOMDocument2 doc = Parse(kDrivesXml);
  CXMLDOMNamedNodeMap attributes = doc.SelectSingleNode("//drive[@pid='9']").GetAttributes();
  ASSERT_EQ(attributes.GetLength(), 3);
  EXPECT_EQ(Text(attributes.GetNamedItem("volts").GetText()), "24");
  EXPECT_TRUE(!attributes.GetNamedItem("amps"));
  EXPECT_EQ(Text(attributes.GetQualifiedItem("rated", "urn:vendor").GetText()), "yes");
  EXPECT_TRUE(!attributes.GetQualifiedItem("rated", ""));
  std::set<std::string> names;
  for (long i = 0; i < attributes.GetLength(); ++i) names.insert(Text(attributes.GetItem(i).GetNodeName()));
  EXPECT_EQ(names, (std::set<std::string>{"pid", "volts", "v:rated"}));
  for (long outside : {-1L, 3L}) EXPECT_TRUE(!attributes.GetItem(outside)) << outside;

  EXPECT_EQ(Walk(attributes).size(), 3u);  // NextNode ends with an empty node
  attributes.Reset();
  EXPECT_EQ(Walk(attributes).size(), 3u);
  EXPECT_EQ(Text(attributes.RemoveQualifiedItem("rated", "urn:vendor").GetText()), "yes");
  EXPECT_EQ(attributes.GetLength(), 2);

  // Probes, adds and removes on the first drive's attributes count references.
  attributes = doc.SelectSingleNode("//drive").GetAttributes();
  CXMLDOMNode pid = attributes.GetNamedItem("pid");
  ULONG before = RefCount(pid.P());
  EXPECT_EQ(attributes.TestNamedItem("pid"), 1);
  EXPECT_EQ(RefCount(pid.P()), before);  // the probe released what it was given
  EXPECT_EQ(attributes.TestNamedItem("amps"), 0);

  CXMLDOMAttribute amps = doc.CreateAttribute("amps");
  amps.SetText("1250");
  before = RefCount(amps.P());
  {
    CXMLDOMNode added = attributes.SetNamedItem(amps);
    EXPECT_EQ(added.P(), static_cast<IXMLDOMNode*>(amps.P()));
    EXPECT_EQ(RefCount(amps.P()), before + 1);  // only the delivered reference
  }
  EXPECT_EQ(RefCount(amps.P()), before);
  CXMLDOMNode removed = attributes.RemoveNamedItem("volts");
  EXPECT_EQ(Text(removed.GetText()), "48");
  EXPECT_TRUE(!attributes.RemoveNamedItem("volts"));
  EXPECT_EQ(attributes.GetLength(), 2);
}

}  // namespace
}  // namespace ardo::test
