// Named node maps, parse errors and the implementation object against the
// real engine.
#include <set>
#include <string>

#include "tests/dom/dom_engine_fixture.h"

namespace ardo::test {
namespace {

using NamedNodeMapTest = DomEngineTest;

TEST_F(NamedNodeMapTest, LookUpByNameQualifiedNameAndIndex) {
  CXMLDOMDocument2 doc = Parse(kDrivesXml);
  CXMLDOMNamedNodeMap attributes = doc.SelectSingleNode("//drive[@pid='9']").GetAttributes();
  ASSERT_FALSE(!attributes);
  EXPECT_EQ(attributes.GetLength(), 3);

  EXPECT_EQ(Text(attributes.GetNamedItem("volts").GetText()), "24");
  EXPECT_TRUE(!attributes.GetNamedItem("amps"));
  EXPECT_TRUE(!attributes.GetNamedItem(""));
  EXPECT_TRUE(!attributes.GetNamedItem(nullptr));  // null arrives as an empty name

  EXPECT_EQ(Text(attributes.GetQualifiedItem("rated", "urn:vendor").GetText()), "yes");
  EXPECT_TRUE(!attributes.GetQualifiedItem("rated", ""));
  EXPECT_TRUE(!attributes.GetQualifiedItem("rated", "urn:other"));
  EXPECT_EQ(Text(attributes.GetQualifiedItem("pid", "").GetText()), "9");

  std::set<std::string> names;
  for (long i = 0; i < attributes.GetLength(); ++i) names.insert(Text(attributes.GetItem(i).GetNodeName()));
  EXPECT_EQ(names, (std::set<std::string>{"pid", "volts", "v:rated"}));
  for (long outside : {-1L, 3L}) EXPECT_TRUE(!attributes.GetItem(outside)) << outside;
}

TEST_F(NamedNodeMapTest, TestNamedItemProbesAndNeverThrows) {
  CXMLDOMDocument2 doc = Parse(kDrivesXml);
  CXMLDOMNamedNodeMap attributes = doc.SelectSingleNode("//drive").GetAttributes();
  CXMLDOMNode pid = attributes.GetNamedItem("pid");
  ULONG before = RefCount(pid.P());
  EXPECT_EQ(attributes.TestNamedItem("pid"), 1);
  EXPECT_EQ(RefCount(pid.P()), before);  // the probe released what it was given
  EXPECT_EQ(attributes.TestNamedItem("amps"), 0);
  EXPECT_EQ(attributes.TestNamedItem(nullptr), 0);
}

TEST_F(NamedNodeMapTest, AddAndRemoveItems) {
  CXMLDOMDocument2 doc = Parse(kDrivesXml);
  CXMLDOMElement root = doc.GetDocumentElement();
  CXMLDOMNamedNodeMap attributes = doc.SelectSingleNode("//drive").GetAttributes();

  CXMLDOMAttribute amps = doc.CreateAttribute("amps");
  amps.SetText("1250");
  const ULONG before = RefCount(amps.P());
  {
    CXMLDOMNode added = attributes.SetNamedItem(amps);  // the engine hands back the item added
    EXPECT_EQ(added.P(), static_cast<IXMLDOMNode*>(amps.P()));
    EXPECT_EQ(RefCount(amps.P()), before + 1);  // only the delivered reference, held by `added`
  }
  EXPECT_EQ(RefCount(amps.P()), before);
  EXPECT_EQ(attributes.GetLength(), 3);
  EXPECT_EQ(Text(attributes.GetNamedItem("amps").GetText()), "1250");

  CXMLDOMNode removed = attributes.RemoveNamedItem("volts");
  ASSERT_FALSE(!removed);
  EXPECT_EQ(Text(removed.GetText()), "48");
  EXPECT_EQ(attributes.GetLength(), 2);
  EXPECT_TRUE(!attributes.RemoveNamedItem("volts"));

  CXMLDOMNamedNodeMap rated = doc.SelectSingleNode("//drive[@pid='9']").GetAttributes();
  CXMLDOMNode gone = rated.RemoveQualifiedItem("rated", "urn:vendor");
  ASSERT_FALSE(!gone);
  EXPECT_EQ(Text(gone.GetText()), "yes");
  EXPECT_EQ(rated.GetLength(), 2);
  EXPECT_EQ(root.SelectNodes("drive/@*").GetLength(), 4);
}

TEST_F(NamedNodeMapTest, WalkEndsEmptyAndResetStartsOver) {
  CXMLDOMDocument2 doc = Parse(kDrivesXml);
  CXMLDOMNamedNodeMap attributes = doc.SelectSingleNode("//drive").GetAttributes();
  CXMLDOMNode first = attributes.NextNode();
  ASSERT_FALSE(!first);
  EXPECT_FALSE(!attributes.NextNode());
  EXPECT_TRUE(!attributes.NextNode());
  attributes.Reset();
  EXPECT_EQ(attributes.NextNode().P(), first.P());

  IUnknown* enumerator = attributes.Get_newEnum();
  ASSERT_NE(enumerator, nullptr);
  enumerator->Release();
}

using ParseErrorTest = DomEngineTest;

TEST_F(ParseErrorTest, ReportOfAFailedLoad) {
  CXMLDOMDocument2 doc = NewDocument();
  ASSERT_EQ(doc.LoadXML("<drives>\n  <drive pid='7'>\n</drives>"), 0);
  CXMLDOMParseError error = doc.GetParseError();
  ASSERT_FALSE(!error);
  EXPECT_NE(error.GetErrorCode(), 0);  // returned, not thrown
  EXPECT_FALSE(Text(error.GetReason()).empty());
  EXPECT_EQ(error.GetLine(), 3);
  EXPECT_GT(error.GetLinepos(), 0);
  EXPECT_GT(error.GetFilepos(), 0);
  EXPECT_EQ(Text(error.GetUrl()), "");  // loaded from text: no URL
  EXPECT_NE(Text(error.GetSrcText()).find("</drives>"), std::string::npos);
}

TEST_F(ParseErrorTest, NoErrorAfterASuccessfulLoad) {
  CXMLDOMDocument2 doc = Parse("<ok/>");
  CXMLDOMParseError error = doc.GetParseError();
  EXPECT_EQ(error.GetErrorCode(), 0);
  EXPECT_EQ(Text(error.GetReason()), "");
  EXPECT_EQ(Text(error.GetSrcText()), "");
  EXPECT_EQ(Text(error.GetUrl()), "");
}

TEST_F(ParseErrorTest, ImplementationAnswersFeatureQueries) {
  CXMLDOMDocument2 doc = NewDocument();
  CXMLDOMImplementation implementation = doc.GetImplementation();
  ASSERT_FALSE(!implementation);
  EXPECT_EQ(implementation.HasFeature("DOM", "1.0"), -1);
  EXPECT_EQ(implementation.HasFeature("XML", "1.0"), -1);
  EXPECT_EQ(implementation.HasFeature("no-such-feature", "9.9"), 0);
}

}  // namespace
}  // namespace ardo::test
