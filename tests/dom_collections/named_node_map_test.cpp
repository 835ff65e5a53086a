// Named node maps against the real engine.
#include <set>
#include <string>

#include "tests/dom/dom_engine_fixture.h"

namespace ardo::test {
namespace {

using NamedNodeMapTest = DomEngineTest;

TEST_F(NamedNodeMapTest, LookUpByNameQualifiedNameAndIndex) {
  CXMLDOMDocument2 doc = Parse(kDrivesXml);
  CXMLDOMNamedNodeMap attributes = doc.SelectSingleNode("//drive[@pid='9']").GetAttributes();
  ASSERT_EQ(attributes.GetLength(), 3);
  EXPECT_EQ(Text(attributes.GetNamedItem("volts").GetText()), "24");
  EXPECT_TRUE(!attributes.GetNamedItem("amps"));
  EXPECT_TRUE(!attributes.GetNamedItem(nullptr));  // null arrives as an empty name
  EXPECT_EQ(Text(attributes.GetQualifiedItem("rated", "urn:vendor").GetText()), "yes");
  EXPECT_TRUE(!attributes.GetQualifiedItem("rated", ""));
  std::set<std::string> names;
  for (long i = 0; i < attributes.GetLength(); ++i) names.insert(Text(attributes.GetItem(i).GetNodeName()));
  EXPECT_EQ(names, (std::set<std::string>{"pid", "volts", "v:rated"}));
  for (long outside : {-1L, 3L}) EXPECT_TRUE(!attributes.GetItem(outside)) << outside;

  CXMLDOMNode first = attributes.NextNode();
  ASSERT_FALSE(!first);
  attributes.NextNode();
  attributes.NextNode();
  EXPECT_TRUE(!attributes.NextNode());
  attributes.Reset();
  EXPECT_EQ(attributes.NextNode().P(), first.P());
}

TEST_F(NamedNodeMapTest, ProbesAddsAndRemovesCountReferences) {
  CXMLDOMDocument2 doc = Parse(kDrivesXml);
  CXMLDOMNamedNodeMap attributes = doc.SelectSingleNode("//drive").GetAttributes();
  CXMLDOMNode pid = attributes.GetNamedItem("pid");
  ULONG before = RefCount(pid.P());
  EXPECT_EQ(attributes.TestNamedItem("pid"), 1);
  EXPECT_EQ(RefCount(pid.P()), before);  // the probe released what it was given
  EXPECT_EQ(attributes.TestNamedItem("amps"), 0);
  EXPECT_EQ(attributes.TestNamedItem(nullptr), 0);

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
  CXMLDOMNamedNodeMap rated = doc.SelectSingleNode("//drive[@pid='9']").GetAttributes();
  EXPECT_EQ(Text(rated.RemoveQualifiedItem("rated", "urn:vendor").GetText()), "yes");
  EXPECT_EQ(rated.GetLength(), 2);
}

}  // namespace
}  // namespace ardo::test
