// The character-data member set, run over all four classes that carry it,
// against the real engine: offsets and counts are UTF-16 code units, passed
// through unchecked, and the engine's refusals come back as its HRESULT.
#include <string>
#include <type_traits>

#include "tests/dom/dom_engine_fixture.h"

namespace ardo::test {
namespace {

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
  ASSERT_FALSE(!data);
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

using SplitTextTest = DomEngineTest;

TEST_F(SplitTextTest, SplittingACdataSectionGivesATextWrapper) {
  CXMLDOMDocument2 doc = Parse("<r/>");
  CXMLDOMElement root = doc.GetDocumentElement();
  CXMLDOMCDATASection cdata = doc.CreateCDATASection("ab<cd>");
  root.AppendChild(cdata);

  CXMLDOMText right = cdata.SplitText(2);
  ASSERT_FALSE(!right);
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
