// The node wrapper's calling contract, against a fake node, for what the real
// engine cannot produce on demand: BSTRs with embedded NULs or none at all,
// a chosen failing HRESULT, odd VARIANT_BOOL values both ways, and exact
// reference counts around object arguments, object results and probes.
#include <functional>
#include <string>
#include <vector>

#include "tests/dom/dom_engine_fixture.h"
#include "tests/support/fake_node.h"

namespace ardo::test {
namespace {

class NodeContractTest : public LeakCheckedTest {
 protected:
  static std::string Text(const CString& s) { return s.str(); }
};

using StringGetter = CString (CXMLDOMNode::*)();
struct StringGetterCase {
  const char* method;
  StringGetter getter;
};
const StringGetterCase kStringGetters[] = {
    {"get_nodeTypeString", &CXMLDOMNode::GetNodeTypeString},
    {"get_text", &CXMLDOMNode::GetText},
    {"get_xml", &CXMLDOMNode::GetXml},
    {"get_namespaceURI", &CXMLDOMNode::GetNamespaceURI},
    {"get_prefix", &CXMLDOMNode::GetPrefix},
    {"get_baseName", &CXMLDOMNode::GetBaseName},
};

TEST_F(NodeContractTest, StringResultsStopAtTheFirstNulAndNullIsEmpty) {
  auto fake = MakeObject<FakeNode>();
  CXMLDOMNode node(fake.Get(), 1);
  for (const StringGetterCase& c : kStringGetters) {
    SCOPED_TRACE(c.method);
    fake->SetText(c.method, std::u16string(u"ab\0cd", 5));
    EXPECT_EQ(Text((node.*c.getter)()), "ab");
    fake->SetText(c.method, std::nullopt);
    EXPECT_EQ(Text((node.*c.getter)()), "");
    EXPECT_EQ(fake->Calls(c.method), 2);  // one interface call per member call
  }
}

TEST_F(NodeContractTest, NullStringArgumentsArriveAsEmptyNonNullBstrs) {
  auto fake = MakeObject<FakeNode>();
  CXMLDOMNode node(fake.Get(), 1);
  const std::vector<std::pair<const char*, std::function<void()>>> calls = {
      {"put_text", [&] { node.SetText(nullptr); }},
      {"put_dataType", [&] { node.SetDataType(nullptr); }},
      {"selectSingleNode", [&] { node.SelectSingleNode(nullptr); }},
      {"selectSingleNode", [&] { node.TestNode(nullptr); }},
  };
  for (const auto& [method, call] : calls) {
    SCOPED_TRACE(method);
    call();
    const FakeNode::Received* got = fake->LastReceived(method);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->kind, FakeNode::Received::Kind::kBstr);
    EXPECT_FALSE(got->null);
    EXPECT_EQ(got->text, u"");
  }
  node.SetText("gr\xC3\xBC\xC3\x9F");
  EXPECT_EQ(fake->LastReceived("put_text")->text, u"gr\u00FC\u00DF");
  ardo::FailBstrAllocationsAfter(0);
  bool thrown = false;
  try {
    node.SetText("no room");
  } catch (CMemoryException* e) {
    thrown = true;
    e->Delete();
  }
  ardo::FailBstrAllocationsAfter(-1);
  EXPECT_TRUE(thrown);
  EXPECT_EQ(fake->Calls("put_text"), 2);  // the engine was not called for the failed one
}

TEST_F(NodeContractTest, FlagsGoThroughAsTheirLow16BitsAndComeBackSignWidened) {
  auto fake = MakeObject<FakeNode>();
  CXMLDOMNode node(fake.Get(), 1);
  const std::pair<int, VARIANT_BOOL> deepFlags[] = {
      {1, 1}, {-1, VARIANT_TRUE}, {0, VARIANT_FALSE}, {65536, 0}, {65537, 1}, {0x18000, -32768}};
  for (const auto& [given, received] : deepFlags) {
    node.CloneNode(given);
    const FakeNode::Received* got = fake->LastReceived("cloneNode");
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->flag, received) << given;
  }

  using FlagGetter = int (CXMLDOMNode::*)();
  const std::pair<const char*, FlagGetter> getters[] = {
      {"hasChildNodes", &CXMLDOMNode::HasChildNodes},
      {"get_specified", &CXMLDOMNode::GetSpecified},
      {"get_parsed", &CXMLDOMNode::GetParsed},
  };
  for (const auto& [method, getter] : getters) {
    for (VARIANT_BOOL flag : {VARIANT_TRUE, VARIANT_FALSE, VARIANT_BOOL{1}, VARIANT_BOOL{-2}}) {
      fake->SetFlag(method, flag);
      EXPECT_EQ((node.*getter)(), static_cast<int>(flag)) << method << " " << flag;
    }
  }
}

TEST_F(NodeContractTest, FailingHresultsThrowUnchangedAndProbesAnswerZero) {
  auto fake = MakeObject<FakeNode>();
  auto other = MakeObject<FakeNode>();
  CXMLDOMNode node(fake.Get(), 1);
  IXMLDOMNode* arg = other.Get();
  const std::vector<std::pair<const char*, std::function<void()>>> calls = {
      {"get_nodeName", [&] { node.GetNodeName(); }},
      {"get_nodeValue", [&] { VARIANT v = node.GetNodeValue(); VariantClear(&v); }},
      {"put_nodeValue", [&] { node.SetNodeValue(_variant_t("value")); }},
      {"get_parentNode", [&] { node.GetParentNode(); }},
      {"appendChild", [&] { node.AppendChild(arg); }},
      {"insertBefore", [&] { node.InsertBefore(arg, _variant_t()); }},
      {"replaceChild", [&] { node.ReplaceChild(arg, arg); }},
      {"hasChildNodes", [&] { node.HasChildNodes(); }},
      {"cloneNode", [&] { node.CloneNode(1); }},
      {"put_text", [&] { node.SetText("text"); }},
      {"selectSingleNode", [&] { node.SelectSingleNode("*"); }},
  };
  for (HRESULT hr : {E_FAIL, E_OUTOFMEMORY}) {
    for (const auto& [method, call] : calls) {
      fake->SetResult(method, hr);
      EXPECT_THROWS_HR(call(), hr);
    }
  }
  EXPECT_EQ(other->RefCount(), 1u);  // failing or not, no argument was kept

  fake->SetNode("get_nextSibling", other.Get());
  fake->SetNode("selectSingleNode", other.Get());
  const ULONG held = other->RefCount();
  long addRefs = 0;
  for (HRESULT hr : {E_FAIL, S_FALSE, HRESULT{2}, S_OK}) {  // only S_OK answers 1
    fake->SetResult("get_nextSibling", hr);
    fake->SetResult("selectSingleNode", hr);
    addRefs = other->AddRefCalls();
    EXPECT_EQ(node.IsNextSibling(), hr == S_OK) << hr;
    EXPECT_EQ(node.TestNode("following-sibling::*"), hr == S_OK) << hr;
  }
  EXPECT_EQ(other->RefCount(), held);  // whatever the probes were handed, they released
  EXPECT_EQ(other->AddRefCalls() - addRefs, 2);  // the S_OK probes: one handed out each
  EXPECT_EQ(fake->LastReceived("selectSingleNode")->text, u"following-sibling::*");
  fake->SetNode("get_nextSibling", nullptr);
  EXPECT_EQ(node.IsNextSibling(), 1);  // S_OK alone decides, as the engine's contract has it

  // Non-negative codes are success as delivered.
  fake->SetResult("get_parentNode", S_FALSE);
  EXPECT_TRUE(!node.GetParentNode());  // S_FALSE and null: an empty wrapper
  fake->SetNode("get_parentNode", other.Get());
  EXPECT_EQ(node.GetParentNode().P(), other.Get());  // S_FALSE with a node: used as delivered
  fake->SetResult("get_text", S_FALSE);
  fake->SetText("get_text", u"kept");
  EXPECT_EQ(Text(node.GetText()), "kept");
}

TEST_F(NodeContractTest, ObjectResultsTakeOverAndArgumentsAreBorrowed) {
  auto fake = MakeObject<FakeNode>();
  auto child = MakeObject<FakeNode>();
  CXMLDOMNode node(fake.Get(), 1);
  fake->SetNode("get_firstChild", child.Get());
  const ULONG base = child->RefCount();
  {
    CXMLDOMNode first = node.GetFirstChild();
    EXPECT_EQ(child->RefCount(), base + 1);  // the delivered one, not one more
  }
  EXPECT_EQ(child->RefCount(), base);
  const long addRefs = child->AddRefCalls();
  const long releases = child->ReleaseCalls();
  node.RemoveChild(child.Get());
  node.ReplaceChild(child.Get(), child.Get());
  EXPECT_EQ(child->AddRefCalls(), addRefs);
  EXPECT_EQ(child->ReleaseCalls(), releases);
  EXPECT_EQ(fake->LastReceived("removeChild")->node, child.Get());
  node.AppendChild(nullptr);
  EXPECT_TRUE(fake->LastReceived("appendChild")->null);
}

TEST_F(NodeContractTest, VariantsAreHandedOverAndClearedAfterTheCall) {
  auto fake = MakeObject<FakeNode>();
  CXMLDOMNode node(fake.Get(), 1);
  _variant_t mine("mine");
  node.SetNodeValue(mine);
  EXPECT_EQ(fake->LastReceived("put_nodeValue")->vt, VT_BSTR);
  fake->SetResult("put_nodeValue", E_INVALIDARG);
  EXPECT_THROWS_HR(node.SetNodeValue(mine), E_INVALIDARG);
  EXPECT_EQ(mine.vt, VT_BSTR);  // the caller's own value is untouched
  EXPECT_EQ(ardo::BstrToUtf8(mine.bstrVal), "mine");
}

}  // namespace
}  // namespace ardo::test
