// The node and element member sets against the real engine: a document
// queried, edited, serialised and reloaded through the wrappers alone,
// then the member shapes by family (object getters that find nothing, boolean
// getters, refusals, VARIANT values), and the element's attributes: values go
// through as VARIANTs unconverted, absent attributes are answers rather than
// failures, and attribute nodes keep living once removed. Last the
// character-data member set, over all four classes that carry it: offsets and
// counts are UTF-16 code units, passed through unchecked, and the engine's
// refusals come back as its HRESULT.
#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "tests/dom/dom_engine_fixture.h"

namespace ardo::test {
namespace {

using NodeTest = DomEngineTest;

TEST_F(NodeTest, DocumentEditedSerialisedAndReloaded) {
  CXMLDOMDocument2 doc = Parse(kDrivesXml);
  CXMLDOMElement root = doc.GetDocumentElement();
  // A new drive goes before the second, the second is renamed, the first is
  // removed and the trailing element replaced.
  CXMLDOMNode second = doc.SelectSingleNode("//drive[@pid='9']");
  CXMLDOMElement fresh = doc.CreateElement("drive");
  fresh.SetAttribute("pid", _variant_t("8"));
  CXMLDOMNode inserted = root.InsertBefore(fresh, _variant_t(static_cast<IDispatch*>(second.P())));
  EXPECT_EQ(inserted.P(), static_cast<IXMLDOMNode*>(fresh.P()));
  second.SetText("Delta");
  CXMLDOMNode removed = root.RemoveChild(doc.SelectSingleNode("//drive[@pid='7']"));
  EXPECT_TRUE(!removed.GetParentNode());
  EXPECT_EQ(Text(removed.SelectSingleNode("name").GetText()), "Alpha");
  CXMLDOMNode last = root.GetLastChild();
  EXPECT_EQ(Text(last.GetNodeName()), "empty");
  CXMLDOMNode replaced = root.ReplaceChild(doc.CreateElement("end"), last);
  EXPECT_EQ(replaced.P(), last.P());
  EXPECT_TRUE(!replaced.GetParentNode());

  CString xml = doc.GetXml();
  CXMLDOMDocument2 copy = Parse(xml);
  EXPECT_EQ(Text(copy.GetXml()), Text(xml));
  CXMLDOMNodeList pids = copy.SelectNodes("/drives/drive/@pid");
  std::vector<std::string> seen;
  for (long i = 0; i < pids.GetLength(); ++i) seen.push_back(Text(pids.GetItem(i).GetText()));
  EXPECT_EQ(seen, (std::vector<std::string>{"8", "9"}));
  EXPECT_EQ(Text(copy.SelectSingleNode("//drive[@pid='9']").GetText()), "Delta");
  EXPECT_EQ(Text(copy.SelectSingleNode("//drive[@pid='9']/@volts").GetText()), "24");
  EXPECT_EQ(Text(copy.GetDocumentElement().GetLastChild().GetNodeName()), "end");
}

TEST_F(NodeTest, GettersThatFindNothingGiveEmptyWrappersAndTrueFlagsAnswerMinusOne) {
  CXMLDOMDocument2 doc = Parse(kDrivesXml);
  CXMLDOMNode empty = doc.SelectSingleNode("//empty");
  CXMLDOMNode first = doc.SelectSingleNode("/drives/drive");
  CXMLDOMNode last = doc.SelectSingleNode("/drives/empty");
  const std::vector<std::pair<const char*, std::function<bool()>>> cases = {
      {"parent of the document", [&] { return !doc.GetParentNode(); }},
      {"first child of a leaf", [&] { return !empty.GetFirstChild(); }},
      {"last child of a leaf", [&] { return !empty.GetLastChild(); }},
      {"previous sibling of the first child", [&] { return !first.GetPreviousSibling(); }},
      {"next sibling of the last child", [&] { return !last.GetNextSibling(); }},
      {"definition of an undeclared element", [&] { return !empty.GetDefinition(); }},
      {"query matching nothing", [&] { return !doc.SelectSingleNode("//missing"); }},
      {"document element of a new document", [&] { return !NewDocument().GetDocumentElement(); }},
      {"doctype of a document without one", [&] { return !NewDocument().GetDoctype(); }},
      {"attribute node not carried", [&] { return !doc.GetDocumentElement().GetAttributeNode("nope"); }},
  };
  for (const auto& [what, isEmpty] : cases) EXPECT_TRUE(isEmpty()) << what;
  EXPECT_EQ(first.TestNode("//missing"), 0);
  EXPECT_EQ(first.TestNode("following-sibling::drive"), 1);
  EXPECT_EQ(first.IsNextSibling(), 1);
  EXPECT_EQ(last.IsNextSibling(), 0);
  EXPECT_EQ(empty.HasChildNodes(), 0);

  doc.SetAsync(1);  // 1 goes through as the VARIANT_BOOL 1, which the engine takes as true
  doc.SetPreserveWhiteSpace(1);
  const std::vector<std::pair<const char*, std::function<int()>>> flags = {
      {"HasChildNodes", [&] { return first.HasChildNodes(); }},
      {"GetSpecified", [&] { return first.GetAttributes().GetNamedItem("pid").GetSpecified(); }},
      {"GetParsed", [&] { return doc.GetParsed(); }},
      {"GetAsync", [&] { return doc.GetAsync(); }},
      {"GetPreserveWhiteSpace", [&] { return doc.GetPreserveWhiteSpace(); }},
      {"HasFeature", [&] { return doc.GetImplementation().HasFeature("XML", "1.0"); }},
  };
  for (const auto& [what, get] : flags) EXPECT_EQ(get(), -1) << what;
  doc.SetAsync(0);
  EXPECT_EQ(doc.GetAsync(), 0);
}

TEST_F(NodeTest, RefusalsThrowTheEngineHresultAndAnEmptyWrapperThrowsEPointer) {
  CXMLDOMDocument2 doc = Parse(kDrivesXml);
  CXMLDOMNode root(doc.GetDocumentElement().P(), 1);
  for (const char* query : {"//drive[", "///", "count(", "drive[@pid=]", "@@pid"}) {
    SCOPED_TRACE(query);
    IXMLDOMNode* found = nullptr;
    HRESULT engine = root.P()->selectSingleNode(_bstr_t(query), &found);
    ASSERT_TRUE(FAILED(engine));
    EXPECT_THROWS_HR(root.SelectSingleNode(query), engine);
    EXPECT_EQ(root.TestNode(query), 0);  // a probe answers instead
  }
  IXMLDOMElement* element = nullptr;
  HRESULT badName = doc.P()->createElement(_bstr_t("not a name"), &element);
  ASSERT_TRUE(FAILED(badName));
  EXPECT_THROWS_HR(doc.CreateElement("not a name"), badName);

  // Members of an empty wrapper throw instead of calling through null.
  CXMLDOMNode node;
  EXPECT_THROWS_HR(node.GetText(), E_POINTER);
  EXPECT_THROWS_HR(node.SetText("x"), E_POINTER);
  EXPECT_THROWS_HR(CXMLDOMNamedNodeMap().GetNamedItem("PID"), E_POINTER);
  EXPECT_EQ(node.TestNode("*"), 0);
}

TEST_F(NodeTest, VariantValuesBelongToTheCallerClonesAndOwnersAreGeneric) {
  CXMLDOMDocument2 doc = Parse(kDrivesXml);
  CXMLDOMNode text = doc.SelectSingleNode("//name/text()");
  EXPECT_EQ(TakeText(text.GetNodeValue()), "Alpha");  // still readable after the call, cleared here

  text.SetNodeValue(_variant_t("Omega"));
  EXPECT_EQ(Text(doc.SelectSingleNode("//name").GetText()), "Omega");
  EXPECT_EQ(TakeType(doc.GetNodeValue()), VT_NULL);  // a document has no value
  CXMLDOMElement volts = doc.CreateElement("volts");
  volts.SetDataType("i4");
  volts.SetNodeTypedValue(_variant_t(60L));
  EXPECT_EQ(TakeType(volts.GetNodeTypedValue()), VT_I4);

  // Clones and owner documents keep their generic classes.
  static_assert(std::is_same_v<decltype(std::declval<CXMLDOMDocument2&>().CloneNode(1)), CXMLDOMNode>);
  static_assert(std::is_same_v<decltype(std::declval<CXMLDOMElement&>().CloneNode(1)), CXMLDOMNode>);
  static_assert(std::is_same_v<decltype(std::declval<CXMLDOMText&>().GetOwnerDocument()), CXMLDOMDocument>);
  static_assert(std::is_same_v<decltype(std::declval<CXMLDOMCDATASection&>().SplitText(0)), CXMLDOMText>);
  CXMLDOMNode drive = doc.SelectSingleNode("//drive");
  EXPECT_EQ(Text(drive.CloneNode(-1).GetXml()), Text(drive.GetXml()));
  EXPECT_EQ(drive.CloneNode(0).HasChildNodes(), 0);

  // The owner document is the same engine object as the Document2 it came from.
  CXMLDOMDocument owner = drive.GetOwnerDocument();
  ASSERT_FALSE(!owner);
  IUnknown* a = QueryFor<IUnknown>(owner.P());
  IUnknown* b = QueryFor<IUnknown>(doc.P());
  EXPECT_EQ(a, b);
  a->Release(), b->Release();
}

TEST_F(NodeTest, ElementAttributesByValueAndByNodeAndDescendants) {
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

  CXMLDOMElement root = doc.GetDocumentElement();
  CXMLDOMAttribute made = doc.CreateAttribute("serial");
  made.SetValue(_variant_t("A-1"));
  EXPECT_EQ(Text(made.GetName()), "serial");
  EXPECT_TRUE(!root.SetAttributeNode(made));  // nothing of that name was there
  EXPECT_EQ(TakeText(root.GetAttribute("serial")), "A-1");
  CXMLDOMAttribute found = root.GetAttributeNode("serial");
  EXPECT_EQ(found.P(), made.P());
  CXMLDOMAttribute removed = root.RemoveAttributeNode(found);
  EXPECT_TRUE(!root.GetAttributeNode("serial"));
  EXPECT_EQ(Text(removed.GetName()), "serial");  // still valid, detached
  EXPECT_EQ(TakeText(removed.GetValue()), "A-1");

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

// "a", n-tilde (2 UTF-8 bytes, 1 code unit), a face outside the BMP (4 bytes,
// 2 code units), "b": 8 bytes, 5 code units.
constexpr const char* kMixed = "a\xC3\xB1\xF0\x9F\x98\x80" "b";

template <class W>
W MakeCharacterData(CXMLDOMDocument2& doc, const char* text) {
  if constexpr (std::is_same_v<W, CXMLDOMCDATASection>) return doc.CreateCDATASection(text);
  else if constexpr (std::is_same_v<W, CXMLDOMComment>) return doc.CreateComment(text);
  else return W(QueryFor<std::remove_pointer_t<decltype(W().P())>>(doc.CreateTextNode(text).P()), 0);
}

template <class W>
class CharacterDataTest : public DomEngineTest {};

using CharacterDataClasses =
    ::testing::Types<CXMLDOMCharacterData, CXMLDOMText, CXMLDOMCDATASection, CXMLDOMComment>;
TYPED_TEST_SUITE(CharacterDataTest, CharacterDataClasses);

TYPED_TEST(CharacterDataTest, LengthsAndOffsetsCountUtf16CodeUnits) {
  CXMLDOMDocument2 doc = this->NewDocument();
  TypeParam data = MakeCharacterData<TypeParam>(doc, kMixed);
  EXPECT_EQ(this->Text(data.GetData()), kMixed);
  EXPECT_EQ(data.GetLength(), 5);                        // code units, not the 8 bytes
  EXPECT_EQ(this->Text(data.SubstringData(0, data.GetLength())), kMixed);
  EXPECT_EQ(this->Text(data.SubstringData(1, 3)), "\xC3\xB1\xF0\x9F\x98\x80");
  // Starting inside the surrogate pair leaves a lone surrogate: narrowed to U+FFFD.
  EXPECT_EQ(this->Text(data.SubstringData(3, 100)), "\xEF\xBF\xBD" "b");
  EXPECT_EQ(this->Text(data.SubstringData(4, 100)), "b");
}

TYPED_TEST(CharacterDataTest, EditsInOffsetCountTextOrder) {
  CXMLDOMDocument2 doc = this->NewDocument();
  TypeParam data = MakeCharacterData<TypeParam>(doc, "drive");
  data.AppendData("s");
  EXPECT_EQ(this->Text(data.GetData()), "drives");
  data.InsertData(0, "all ");
  EXPECT_EQ(this->Text(data.GetData()), "all drives");
  data.DeleteData(0, 4);
  EXPECT_EQ(this->Text(data.GetData()), "drives");
  data.ReplaceData(0, 5, "servo");
  EXPECT_EQ(this->Text(data.GetData()), "servos");
  data.InsertData(5, "\xC3\xB1");
  EXPECT_EQ(data.GetLength(), 7);
  HRESULT negative = data.P()->insertData(-1, _bstr_t("x"));
  ASSERT_TRUE(FAILED(negative));
  EXPECT_THROWS_HR(data.InsertData(-1, "x"), negative);
  BSTR out = nullptr;
  HRESULT pastEnd = data.P()->substringData(8, 1, &out);
  ASSERT_TRUE(FAILED(pastEnd));
  EXPECT_THROWS_HR(data.SubstringData(8, 1), pastEnd);
  EXPECT_EQ(data.GetLength(), 7);  // nothing changed
  data.SetData(nullptr);  // null text arrives as empty
  EXPECT_EQ(this->Text(data.GetData()), "");
}

TEST_F(NodeTest, SplittingACdataSectionGivesATextWrapper) {
  CXMLDOMDocument2 doc = Parse("<r/>");
  CXMLDOMElement root = doc.GetDocumentElement();
  CXMLDOMCDATASection cdata = doc.CreateCDATASection("ab<cd>");
  root.AppendChild(cdata);

  CXMLDOMText right = cdata.SplitText(2);
  EXPECT_EQ(Text(cdata.GetData()), "ab");
  EXPECT_EQ(Text(right.GetData()), "<cd>");
  EXPECT_EQ(root.GetChildNodes().GetLength(), 2);
  EXPECT_EQ(cdata.GetNextSibling().P(), static_cast<IXMLDOMNode*>(right.P()));

  CXMLDOMText text = doc.CreateTextNode("\xC3\xB1" "x");
  root.AppendChild(text);
  EXPECT_EQ(Text(text.SplitText(1).GetData()), "x");  // offset in code units
  EXPECT_EQ(Text(text.GetData()), "\xC3\xB1");
}

}  // namespace
}  // namespace ardo::test
