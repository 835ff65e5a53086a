// One wrapper method end to end, on a fake node whose answers are chosen:
// the string result's conversion and failure rules, and the reference count
// of the wrapped object around the call.
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

class NodeNameTest : public LeakCheckedTest {};

TEST_F(NodeNameTest, ConvertsTheDeliveredBstr) {
  const struct {
    std::optional<std::u16string> delivered;  // nullopt: a null BSTR
    HRESULT hr;
    const char* expected;  // narrow UTF-8 result
  } cases[] = {
      {u"drive", S_OK, "drive"},
      {std::nullopt, S_OK, ""},
      {u"", S_OK, ""},
      {std::u16string(u"ab\0cd", 5), S_OK, "ab"},
      {std::u16string(u"\0cd", 3), S_OK, ""},
      {u"Gr\u00FC\u00DFe \u20AC", S_OK, "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC"},
      {u"x\U0001F600", S_OK, "x\xF0\x9F\x98\x80"},
      {std::u16string(1, char16_t(0xD800)), S_OK, "\xEF\xBF\xBD"},  // a lone surrogate
      {u"kept", S_FALSE, "kept"},  // S_FALSE is success
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    auto fake = MakeObject<FakeNode>();
    fake->SetText("get_nodeName", c.delivered);
    fake->SetResult("get_nodeName", c.hr);
    CXMLDOMNode node(fake.Get(), 1);
    EXPECT_STREQ(static_cast<const char*>(node.GetNodeName()), c.expected);
    EXPECT_EQ(fake->Calls("get_nodeName"), 1);
  }
}

TEST_F(NodeNameTest, ThrowsTheEngineCodeKeepsTheWrapperAndTheReferenceCount) {
  auto fake = MakeObject<FakeNode>();
  fake->SetText("get_nodeName", u"ignored");
  CXMLDOMNode node(fake.Get(), 1);
  const ULONG count = fake->RefCount();
  const long addRefs = fake->AddRefCalls();
  node.GetNodeName();
  for (HRESULT hr : {E_FAIL, E_OUTOFMEMORY, E_ACCESSDENIED, E_NOTIMPL}) {
    fake->SetResult("get_nodeName", hr);
    EXPECT_THROWS_HR(node.GetNodeName(), hr);
    EXPECT_EQ(node.GetP(), fake.Get());
  }
  EXPECT_EQ(fake->RefCount(), count);
  EXPECT_EQ(fake->AddRefCalls(), addRefs);
}

}  // namespace
}  // namespace ardo::test
