// The document member sets (CXMLDOMDocument, CXMLDOMDocument2) against the
// real engine: loading from text and files and what a failed load reports,
// saving, the node factories, parse flags and the named properties.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/dom/dom_engine_fixture.h"

namespace ardo::test {
namespace {

// A file under the system's temporary folder, removed at scope end.
struct TempFile {
  explicit TempFile(const char* name)
      : path(std::filesystem::temp_directory_path() / ("ardoxml-dom-" + std::to_string(getpid()) + "-" + name)) {}
  ~TempFile() { std::filesystem::remove(path); }
  std::string Read() const { return std::string(std::istreambuf_iterator<char>(std::ifstream(path).rdbuf()), {}); }
  const std::filesystem::path path;
};

using DocumentTest = DomEngineTest;

// A failed load answers 0, not an exception, and its parse error says why and where.
TEST_F(DocumentTest, FailedLoadsAnswerZeroWithTheReasonAndSaveWritesWhatReloads) {
  TempFile broken("broken.xml");
  std::ofstream(broken.path) << "<?xml version=\"1.0\"?>\n<drives>\n<drive pid=\"7\">\n</drives>\n";
  CXMLDOMDocument2 doc = NewDocument();
  doc.SetAsync(0);
  for (bool fromText : {true, false}) {
    SCOPED_TRACE(fromText ? "LoadXML" : "Load");
    EXPECT_EQ(fromText ? doc.LoadXML("<a>\n<b></a>") : doc.Load(_variant_t(broken.path.c_str())), 0);
    CXMLDOMParseError error = doc.GetParseError();
    EXPECT_NE(error.GetErrorCode(), 0);
    EXPECT_FALSE(Text(error.GetReason()).empty());
    EXPECT_EQ(error.GetLine(), fromText ? 2 : 4);
    EXPECT_GT(fromText ? error.GetLinepos() : error.GetFilepos(), 0);
    EXPECT_TRUE(!doc.GetDocumentElement());
    if (!fromText) continue;
    EXPECT_EQ(Text(error.GetUrl()), "");  // loaded from text: no URL
    EXPECT_NE(Text(error.GetSrcText()).find("</a>"), std::string::npos);
  }
  EXPECT_EQ(doc.LoadXML("<a><b/></a>"), -1);

  TempFile out("saved.xml");
  {
    CXMLDOMDocument2 saved = Parse(kDrivesXml);
    saved.SelectSingleNode("//drive/@pid").SetText("70");
    saved.Save(_variant_t(out.path.c_str()));
  }
  EXPECT_NE(out.Read().find("pid=\"70\""), std::string::npos);
  EXPECT_EQ(doc.Load(_variant_t(out.path.c_str())), -1);
  EXPECT_EQ(doc.GetParseError().GetErrorCode(), 0);
  EXPECT_EQ(Text(doc.SelectSingleNode("//drive/@pid").GetText()), "70");
  EXPECT_NE(Text(doc.GetUrl()).find("saved.xml"), std::string::npos);
}

TEST_F(DocumentTest, FactoriesMakeEveryNodeType) {
  CXMLDOMDocument2 doc = NewDocument();
  CXMLDOMElement root = doc.CreateElement("root");
  doc.SetRefDocumentElement(root);
  EXPECT_EQ(doc.GetDocumentElement().P(), root.P());
  CXMLDOMProcessingInstruction pi = doc.CreateProcessingInstruction("target-first", "data second");
  EXPECT_EQ(Text(pi.GetTarget()), "target-first");
  pi.SetData("changed");
  EXPECT_EQ(Text(pi.GetData()), "changed");
  EXPECT_EQ(Text(doc.CreateEntityReference("maker").GetNodeName()), "maker");
  // CreateNode hands the type VARIANT through; the result is a generic node.
  for (DOMNodeType type : {NODE_ELEMENT, NODE_TEXT, NODE_COMMENT, NODE_DOCUMENT_FRAGMENT})
    EXPECT_EQ(doc.CreateNode(_variant_t(static_cast<long>(type)), "n", "").GetNodeType(), type);
  CXMLDOMNode qualified = doc.CreateNode(_variant_t(static_cast<long>(NODE_ELEMENT)), "v:n", "urn:vendor");
  EXPECT_EQ(Text(qualified.GetNamespaceURI()), "urn:vendor");
  CXMLDOMDocumentFragment fragment = doc.CreateDocumentFragment();
  fragment.AppendChild(doc.CreateElement("one"));
  fragment.AppendChild(doc.CreateElement("two"));
  root.AppendChild(fragment);
  EXPECT_EQ(fragment.HasChildNodes(), 0);
  EXPECT_EQ(doc.GetElementsByTagName("two").GetLength(), 1);
}

TEST_F(DocumentTest, FlagsPropertiesValidateAndTheDocumentType) {
  CXMLDOMDocument2 doc = NewDocument();
  doc.SetPreserveWhiteSpace(1);  // setter one means true
  ASSERT_EQ(doc.LoadXML("<a> <b/> </a>"), -1);
  EXPECT_EQ(doc.GetDocumentElement().GetChildNodes().GetLength(), 3);
  doc.SetValidateOnParse(-1);
  doc.SetResolveExternals(0);
  EXPECT_EQ(doc.GetResolveExternals(), 0);
  CXMLDOMDocument same = doc.GetDocumentElement().GetOwnerDocument();
  EXPECT_EQ(same.GetValidateOnParse(), -1);  // a second wrapper sees the same flags
  EXPECT_EQ(same.GetReadyState(), doc.GetReadyState());

  doc.SetProperty("SelectionNamespaces", _variant_t("xmlns:x='urn:vendor'"));
  EXPECT_EQ(TakeText(doc.GetProperty("SelectionNamespaces")), "xmlns:x='urn:vendor'");
  ASSERT_EQ(doc.LoadXML(kDrivesXml), 0);  // validating: the sample declares no elements
  doc.SetValidateOnParse(0);
  ASSERT_EQ(doc.LoadXML(kDrivesXml), -1);
  EXPECT_EQ(doc.SelectNodes("//drive[@x:rated]").GetLength(), 1);
  EXPECT_FALSE(!doc.Validate());

  // The document type, its entities and notations.
  CXMLDOMDocumentType doctype = doc.GetDoctype();
  EXPECT_EQ(Text(doctype.GetName()), "drives");
  CXMLDOMNamedNodeMap entities = doctype.GetEntities();
  EXPECT_EQ(entities.GetLength(), 2);
  CXMLDOMEntity logo(QueryFor<IXMLDOMEntity>(entities.GetNamedItem("logo").P()), 0);
  EXPECT_EQ(TakeText(logo.GetSystemId()), "logo.png");
  EXPECT_EQ(TakeType(logo.GetPublicId()), VT_NULL);
  EXPECT_EQ(Text(logo.GetNotationName()), "png");
  CXMLDOMNamedNodeMap notations = doctype.GetNotations();
  ASSERT_EQ(notations.GetLength(), 1);
  CXMLDOMNotation png(QueryFor<IXMLDOMNotation>(notations.GetItem(0).P()), 0);
  EXPECT_EQ(TakeText(png.GetSystemId()), "image/png");
}

}  // namespace
}  // namespace ardo::test
