// The node wrapper's calling contract, against a fake node, for what the real
// engine cannot produce on demand: BSTRs with embedded NULs, none at all or a
// lone surrogate, a chosen failing HRESULT, odd VARIANT_BOOL values both ways,
// and exact reference counts around object arguments, object results and probes.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/dom/dom_engine_fixture.h"
#include "tests/framework/framework_fakes.h"

namespace ardo::test {
namespace {

class NodeContractTest : public DomEngineTest {
 protected:
  void SetUp() override {
    DomEngineTest::SetUp();
    fake = MakeObject<FakeNode>(), other = MakeObject<FakeNode>();
    node = CXMLDOMNode(fake.Get(), 1);
  }
  void TearDown() override {
    node = CXMLDOMNode();
    fake = other = nullptr;
    DomEngineTest::TearDown();
  }

  ComPtr<FakeNode> fake, other;
  CXMLDOMNode node;
};

using Calls = std::vector<std::pair<const char*, std::function<void()>>>;

TEST_F(NodeContractTest, StringResultsAreNarrowedUpToTheFirstNulAndNullIsEmpty) {
  const struct {
    std::optional<std::u16string> delivered;  // nullopt: a null BSTR
    const char* expected;
  } strings[] = {
      {u"drive", "drive"},
      {std::nullopt, ""},
      {u"", ""},
      {std::u16string(u"ab\0cd", 5), "ab"},
      {std::u16string(u"\0cd", 3), ""},
      {u"Gr\u00FC\u00DFe \u20AC", "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC"},
      {u"x\U0001F600", "x\xF0\x9F\x98\x80"},
      {std::u16string(1, char16_t(0xD800)), "\xEF\xBF\xBD"},  // a lone surrogate
  };
  const std::pair<const char*, CString (CXMLDOMNode::*)()> getters[] = {
      {"get_nodeName", &CXMLDOMNode::GetNodeName},
      {"get_nodeTypeString", &CXMLDOMNode::GetNodeTypeString},
      {"get_text", &CXMLDOMNode::GetText},
      {"get_xml", &CXMLDOMNode::GetXml},
      {"get_namespaceURI", &CXMLDOMNode::GetNamespaceURI},
      {"get_prefix", &CXMLDOMNode::GetPrefix},
      {"get_baseName", &CXMLDOMNode::GetBaseName},
  };
  for (const auto& [method, getter] : getters) {
    for (const auto& c : strings) {
      SCOPED_TRACE(std::string(method) + " -> " + c.expected);
      fake->SetText(method, c.delivered);
      EXPECT_EQ(Text((node.*getter)()), c.expected);
    }
    EXPECT_EQ(fake->Calls(method), static_cast<int>(std::size(strings))) << method;  // one call each
  }
}

TEST_F(NodeContractTest, NullStringArgumentsArriveAsEmptyNonNullBstrs) {
  const Calls calls = {
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
  ardo::FailBstrAllocationsAfter(0);
  const bool thrown = Throws<CMemoryException>([&] { node.SetText("no room"); });
  ardo::FailBstrAllocationsAfter(-1);
  EXPECT_TRUE(thrown);
  EXPECT_EQ(fake->Calls("put_text"), 1);  // the engine was not called for the failed one
}

TEST_F(NodeContractTest, FlagsGoThroughAsTheirLow16BitsAndComeBackSignWidened) {
  const std::pair<int, VARIANT_BOOL> deepFlags[] = {
      {1, 1}, {-1, VARIANT_TRUE}, {0, VARIANT_FALSE}, {65536, 0}, {65537, 1}, {0x18000, -32768}};
  for (const auto& [given, received] : deepFlags) {
    node.CloneNode(given);
    ASSERT_NE(fake->LastReceived("cloneNode"), nullptr);
    EXPECT_EQ(fake->LastReceived("cloneNode")->flag, received) << given;
  }
  const std::pair<const char*, int (CXMLDOMNode::*)()> getters[] = {
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
  IXMLDOMNode* arg = other.Get();
  const Calls calls = {
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
  const ULONG count = fake->RefCount();
  const long ownAddRefs = fake->AddRefCalls();
  for (HRESULT hr : {E_FAIL, E_OUTOFMEMORY, E_ACCESSDENIED}) {
    for (const auto& [method, call] : calls) {
      fake->SetResult(method, hr);
      EXPECT_THROWS_HR(call(), hr);
    }
  }
  EXPECT_EQ(node.GetP(), fake.Get());  // the wrapper still holds its node, counted as before
  EXPECT_EQ(fake->RefCount(), count);
  EXPECT_EQ(fake->AddRefCalls(), ownAddRefs);
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

TEST_F(NodeContractTest, ObjectResultsTakeOverArgumentsAreBorrowedVariantsAreHandedOver) {
  fake->SetNode("get_firstChild", other.Get());
  const ULONG base = other->RefCount();
  {
    CXMLDOMNode first = node.GetFirstChild();
    EXPECT_EQ(other->RefCount(), base + 1);  // the delivered one, not one more
  }
  EXPECT_EQ(other->RefCount(), base);
  const long addRefs = other->AddRefCalls();
  const long releases = other->ReleaseCalls();
  node.RemoveChild(other.Get());
  node.ReplaceChild(other.Get(), other.Get());
  EXPECT_EQ(other->AddRefCalls(), addRefs);
  EXPECT_EQ(other->ReleaseCalls(), releases);
  EXPECT_EQ(fake->LastReceived("removeChild")->node, other.Get());
  node.AppendChild(nullptr);
  EXPECT_TRUE(fake->LastReceived("appendChild")->null);

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
