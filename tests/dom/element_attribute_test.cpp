// The element and attribute member sets against the real engine: values go
// through as VARIANTs unconverted, absent attributes are answers rather than
// failures, and attribute nodes keep living once removed.
#include <string>

#include "tests/dom/dom_engine_fixture.h"

namespace ardo::test {
namespace {

using ElementTest = DomEngineTest;

TEST_F(ElementTest, AttributeValuesByName) {
  CXMLDOMDocument2 doc = Parse(kDrivesXml);
  CXMLDOMElement drive(QueryFor<IXMLDOMElement>(doc.SelectSingleNode("//drive").P()), 0);
  EXPECT_EQ(Text(drive.GetTagName()), "drive");

  EXPECT_EQ(TakeText(drive.GetAttribute("pid")), "7");
  EXPECT_EQ(TakeType(drive.GetAttribute("absent")), VT_NULL);  // S_FALSE is no exception

  drive.SetAttribute("amps", _variant_t(1250L));  // the engine gets an integer VARIANT
  EXPECT_EQ(TakeText(drive.GetAttribute("amps")), "1250");
  drive.SetAttribute("model", _variant_t(""));
  EXPECT_EQ(TakeText(drive.GetAttribute("model")), "");

  drive.RemoveAttribute("amps");
  EXPECT_EQ(TakeType(drive.GetAttribute("amps")), VT_NULL);
  drive.RemoveAttribute("never-there");  // the engine answers success: no exception
  EXPECT_EQ(drive.GetAttributes().GetLength(), 3);
}

TEST_F(ElementTest, AttributeNodesComeAndGo) {
  CXMLDOMDocument2 doc = Parse(kDrivesXml);
  CXMLDOMElement root = doc.GetDocumentElement();
  EXPECT_TRUE(!root.GetAttributeNode("pid"));

  CXMLDOMAttribute made = doc.CreateAttribute("serial");
  made.SetValue(_variant_t("A-1"));
  EXPECT_EQ(Text(made.GetName()), "serial");
  CXMLDOMAttribute replaced = root.SetAttributeNode(made);
  EXPECT_TRUE(!replaced);  // nothing of that name was there
  EXPECT_EQ(TakeText(root.GetAttribute("serial")), "A-1");

  CXMLDOMAttribute found = root.GetAttributeNode("serial");
  ASSERT_FALSE(!found);
  EXPECT_EQ(found.P(), made.P());
  EXPECT_EQ(TakeText(found.GetValue()), "A-1");

  CXMLDOMAttribute removed = root.RemoveAttributeNode(found);
  ASSERT_FALSE(!removed);
  EXPECT_TRUE(!root.GetAttributeNode("serial"));
  EXPECT_EQ(Text(removed.GetName()), "serial");  // still valid, detached
  EXPECT_EQ(TakeText(removed.GetValue()), "A-1");
}

TEST_F(ElementTest, DescendantsByTagNameAndNormalize) {
  CXMLDOMDocument2 doc = Parse(kDrivesXml);
  CXMLDOMElement root = doc.GetDocumentElement();
  EXPECT_EQ(root.GetElementsByTagName("name").GetLength(), 2);

  CXMLDOMElement note = doc.CreateElement("note");
  note.Normalize();  // no text children: returns normally
  note.AppendChild(doc.CreateTextNode("left "));
  note.AppendChild(doc.CreateTextNode("right"));
  EXPECT_EQ(note.GetChildNodes().GetLength(), 2);
  note.Normalize();
  EXPECT_EQ(note.GetChildNodes().GetLength(), 1);
  EXPECT_EQ(Text(note.GetText()), "left right");
}

}  // namespace
}  // namespace ardo::test
