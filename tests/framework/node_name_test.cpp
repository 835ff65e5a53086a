// One wrapper method end to end, on a fake node whose answers are chosen:
// the string result's conversion and failure rules, and the reference count
// of the wrapped object around the call.
#include <cctype>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "dom/dom_wrappers.h"
#include "tests/support/assertions.h"
#include "tests/support/com_exception_assertions.h"
#include "tests/support/fake_node.h"
#include "tests/support/leak_fixture.h"

namespace ardo::test {
namespace {

struct NameCase {
  const char* label;
  std::optional<std::u16string> delivered;  // nullopt: a null BSTR
  HRESULT hr;
  const char* expected;  // narrow UTF-8 result
};

const NameCase kNameCases[] = {
    {"plain", u"drive", S_OK, "drive"},
    {"null BSTR", std::nullopt, S_OK, ""},
    {"empty BSTR", u"", S_OK, ""},
    {"embedded NUL", std::u16string(u"ab\0cd", 5), S_OK, "ab"},
    {"leading NUL", std::u16string(u"\0cd", 3), S_OK, ""},
    {"non-ASCII", u"Gr\u00FC\u00DFe \u20AC", S_OK, "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC"},
    {"surrogate pair", u"x\U0001F600", S_OK, "x\xF0\x9F\x98\x80"},
    {"lone surrogate", std::u16string(1, char16_t(0xD800)), S_OK, "\xEF\xBF\xBD"},
    {"S_FALSE is success", u"kept", S_FALSE, "kept"},
};

class NodeNameTest : public LeakCheckedTest, public ::testing::WithParamInterface<NameCase> {};

INSTANTIATE_TEST_SUITE_P(Results, NodeNameTest, ::testing::ValuesIn(kNameCases),
                         [](const auto& info) {
                           std::string name;
                           for (const char* c = info.param.label; *c; ++c)
                             name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                           return name;
                         });

TEST_P(NodeNameTest, ConvertsTheDeliveredBstr) {
  auto fake = MakeObject<FakeNode>();
  fake->SetText("get_nodeName", GetParam().delivered);
  fake->SetResult("get_nodeName", GetParam().hr);
  CXMLDOMNode node(fake.Get(), 1);

  CString name = node.GetNodeName();

  EXPECT_STREQ(static_cast<const char*>(name), GetParam().expected);
  EXPECT_EQ(fake->Calls("get_nodeName"), 1);
}

class NodeNameFailureTest : public LeakCheckedTest, public ::testing::WithParamInterface<HRESULT> {};

INSTANTIATE_TEST_SUITE_P(Codes, NodeNameFailureTest,
                         ::testing::Values(E_FAIL, E_OUTOFMEMORY, E_ACCESSDENIED, E_NOTIMPL),
                         [](const auto& info) { return HResultName(info.param); });

TEST_P(NodeNameFailureTest, ThrowsTheEngineCodeAndKeepsTheWrapper) {
  auto fake = MakeObject<FakeNode>();
  fake->SetText("get_nodeName", u"ignored");
  fake->SetResult("get_nodeName", GetParam());
  CXMLDOMNode node(fake.Get(), 1);

  EXPECT_THROWS_HR(node.GetNodeName(), GetParam());
  EXPECT_EQ(node.GetP(), fake.Get());
}

class NodeNameCountTest : public LeakCheckedTest {};

TEST_F(NodeNameCountTest, TheCallLeavesTheReferenceCountAsItWas) {
  auto fake = MakeObject<FakeNode>();
  fake->SetText("get_nodeName", u"n");
  CXMLDOMNode node(fake.Get(), 1);
  const ULONG count = fake->RefCount();
  const long addRefs = fake->AddRefCalls();
  const long releases = fake->ReleaseCalls();

  node.GetNodeName();
  fake->SetResult("get_nodeName", E_FAIL);
  EXPECT_THROWS_HR(node.GetNodeName(), E_FAIL);

  EXPECT_EQ(fake->RefCount(), count);
  EXPECT_EQ(fake->AddRefCalls(), addRefs);
  EXPECT_EQ(fake->ReleaseCalls(), releases);
}

}  // namespace
}  // namespace ardo::test
