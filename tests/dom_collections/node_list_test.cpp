// Node lists and selections against the real engine: walking by index and
// with NextNode/Reset, the walk position shared by copies, and what a live
// selection adds.
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

TEST_F(NodeListTest, WalkByIndexAndNextNodeEndsEmptyAndResetStartsOver) {
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
  ASSERT_FALSE(!none);
  EXPECT_EQ(none.GetLength(), 0);
  EXPECT_TRUE(!none.NextNode());
}

TEST_F(NodeListTest, CopiesShareTheWalkPositionAndTheEnumeratorBelongsToTheCaller) {
  CXMLDOMDocument2 doc = Parse(kDrivesXml);
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

TEST_F(SelectionTest, ExpressionContextMatchingAndClone) {
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
}

TEST_F(SelectionTest, RemovingThroughTheSelectionEditsTheTree) {
  CXMLDOMDocument2 doc = Parse(kDrivesXml);
  CXMLDOMSelection names = Select(doc, "//name");
  CXMLDOMNode removed = names.RemoveNext();
  EXPECT_EQ(Text(removed.GetText()), "Alpha");
  EXPECT_TRUE(!removed.GetParentNode());
  EXPECT_EQ(doc.SelectNodes("//name").GetLength(), 1);
  names.RemoveAll();
  EXPECT_EQ(doc.SelectNodes("//name").GetLength(), 0);
}

TEST_F(SelectionTest, PropertiesGoThroughUnchanged) {
  CXMLDOMDocument2 doc = Parse(kDrivesXml);
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

}  // namespace
}  // namespace ardo::test
