// Loading from every source and saving to every destination, encodings in
// both directions, and what a failed load leaves behind.
#include "tests/engine/engine_test_fixture.h"

namespace ardo::test {
namespace {

class LoadSaveTest : public EngineTest {
 protected:
  // load()'s HRESULT and flag for a source VARIANT (cleared afterwards).
  HRESULT Load(IXMLDOMDocument* doc, VARIANT source, VARIANT_BOOL* ok) {
    Variant owned(source);
    *ok = VARIANT_FALSE;
    return doc->load(owned.get(), ok);
  }
  long ReadyState(IXMLDOMDocument* doc) {
    long state = -1;
    EXPECT_HR(doc->get_readyState(&state), S_OK);
    return state;
  }
  // The document is loaded, holds the one element <r> with text t.
  void ExpectRootText(IXMLDOMDocument* doc, const char* text) {
    auto root = Root(doc);
    ASSERT_TRUE(root);
    EXPECT_EQ(NameOf(root.Get()), "r");
    EXPECT_EQ(TextOf(root.Get()), text);
  }
};

const char kSample[] = "<?xml version=\"1.0\"?>\n<r>caf\xC3\xA9</r>\n";

TEST_F(LoadSaveTest, LoadsFromPathUrlStreamBytesAndAnotherDocument) {
  const std::string path = WriteTempFile("sample.xml", kSample);
  const struct {
    const char* what;
    VARIANT (*source)(const std::string& path);
  } sources[] = {
      {"path", [](const std::string& p) { return Variant::Str(p.c_str()); }},
      {"file URL", [](const std::string& p) { return Variant::Str(("file://" + p).c_str()); }},
      {"stream",
       [](const std::string&) {
         ardo::ComPtr<IStream> stream;
         ardo::CreateMemoryStream(kSample, sizeof kSample - 1, stream.Out());
         return Variant::Unknown(stream.Get());
       }},
      {"byte array", [](const std::string&) { return ByteArrayVariant(kSample); }},
  };
  for (const auto& s : sources) {
    SCOPED_TRACE(s.what);
    auto doc = NewDocument();
    ASSERT_TRUE(doc);
    VARIANT_BOOL ok;
    EXPECT_HR(Load(doc.Get(), s.source(path), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE) << ErrorOf(doc.Get()).reason;
    ExpectRootText(doc.Get(), "caf\xC3\xA9");
    EXPECT_EQ(ReadyState(doc.Get()), 4);
    EXPECT_EQ(ErrorOf(doc.Get()).errorCode, 0);
  }

  // From another document: a copy, independent of its source.
  auto source = Parse("<r>from a document</r>");
  ASSERT_TRUE(source);
  for (bool asDispatch : {true, false}) {
    auto doc = NewDocument();
    ASSERT_TRUE(doc);
    VARIANT_BOOL ok;
    VARIANT v = asDispatch ? Variant::Dispatch(source.Get()) : Variant::Unknown(source.Get());
    EXPECT_HR(Load(doc.Get(), v, &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    ExpectRootText(doc.Get(), "from a document");
    Bstr changed("changed");
    Root(doc.Get())->put_text(changed);
    EXPECT_EQ(TextOf(Root(source.Get()).Get()), "from a document");
  }
}

TEST_F(LoadSaveTest, UrlOfALoadedFileNamesItAndLoadXmlHasNone) {
  const std::string path = WriteTempFile("named.xml", "<r/>");
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  VARIANT_BOOL ok;
  ASSERT_HR(Load(doc.Get(), Variant::Str(path.c_str()), &ok), S_OK);
  Bstr url;
  EXPECT_HR(doc->get_url(url.Out()), S_OK);
  EXPECT_NE(url.Utf8().find("named.xml"), std::string::npos) << url.Utf8();
  ASSERT_HR(LoadXml(doc.Get(), "<r/>", &ok), S_OK);
  EXPECT_TRUE(SUCCEEDED(doc->get_url(url.Out())));
  EXPECT_EQ(url.Utf8(), "");
}

TEST_F(LoadSaveTest, SourcesThatAreNotDocumentsAreRefused) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  VARIANT_BOOL ok = VARIANT_TRUE;
  VARIANT empty;
  VariantInit(&empty);
  EXPECT_TRUE(FAILED(Load(doc.Get(), empty, &ok)));
  EXPECT_EQ(ok, VARIANT_FALSE);
  EXPECT_TRUE(FAILED(Load(doc.Get(), Variant::I4(5), &ok)));
  auto element = Parse("<r/>");
  ASSERT_TRUE(element);
  // A node that is neither a document nor a stream.
  EXPECT_TRUE(FAILED(Load(doc.Get(), Variant::Unknown(Root(element.Get()).Get()), &ok)));
  EXPECT_EQ(ok, VARIANT_FALSE);
}

TEST_F(LoadSaveTest, SavesToPathStreamAndDocument) {
  auto doc = Parse(kSample);
  ASSERT_TRUE(doc);

  const std::string path = TempDir() + "/saved.xml";
  {
    Variant destination(Variant::Str(path.c_str()));
    EXPECT_HR(doc->save(destination.get()), S_OK);
  }
  const std::string fileBytes = ReadFileBytes(path);
  EXPECT_NE(fileBytes.find("<r>caf\xC3\xA9</r>"), std::string::npos) << fileBytes;

  ardo::ComPtr<IStream> stream;
  ASSERT_HR(ardo::CreateMemoryStream(stream.Out()), S_OK);
  {
    Variant destination(Variant::Unknown(stream.Get()));
    EXPECT_HR(doc->save(destination.get()), S_OK);
  }
  EXPECT_EQ(StreamBytes(stream.Get()), fileBytes) << "the same bytes whatever the destination";

  auto target = Parse("<old/>");
  ASSERT_TRUE(target);
  {
    Variant destination(Variant::Dispatch(target.Get()));
    EXPECT_HR(doc->save(destination.get()), S_OK);
  }
  ExpectRootText(target.Get(), "caf\xC3\xA9");

  // Each saved form loads back to the same tree.
  auto reloaded = NewDocument();
  VARIANT_BOOL ok;
  ASSERT_HR(Load(reloaded.Get(), Variant::Str(path.c_str()), &ok), S_OK);
  EXPECT_EQ(XmlOf(Root(reloaded.Get()).Get()), XmlOf(Root(doc.Get()).Get()));

  Variant nowhere(Variant::Str((TempDir() + "/no/such/folder/x.xml").c_str()));
  EXPECT_TRUE(FAILED(doc->save(nowhere.get())));
  Variant number(Variant::I4(1));
  EXPECT_TRUE(FAILED(doc->save(number.get())));
}

struct EncodingCase {
  const char* what;
  std::string bytes;
  const char* text;  // UTF-8 of the root's text
};

std::string Utf16Le(const std::u16string& s, bool bom) {
  std::string out = bom ? "\xFF\xFE" : "";
  for (char16_t c : s) {
    out += char(c & 0xFF);
    out += char(c >> 8);
  }
  return out;
}

std::string Utf16Be(const std::u16string& s) {
  std::string out = "\xFE\xFF";
  for (char16_t c : s) {
    out += char(c >> 8);
    out += char(c & 0xFF);
  }
  return out;
}

std::vector<EncodingCase> EncodingCases() {
  return {
      {"UTF-8", "<?xml version='1.0' encoding='UTF-8'?><r>\xE2\x82\xAC\xC3\xA9</r>", "\xE2\x82\xAC\xC3\xA9"},
      {"UTF-8 with BOM", "\xEF\xBB\xBF<r>\xC3\xA9</r>", "\xC3\xA9"},
      {"UTF-16LE with BOM", Utf16Le(u"<?xml version='1.0' encoding='UTF-16'?><r>\u20AC\u00E9</r>", true),
       "\xE2\x82\xAC\xC3\xA9"},
      {"UTF-16BE with BOM", Utf16Be(u"<r>\u20AC</r>"), "\xE2\x82\xAC"},
      {"ISO-8859-1", "<?xml version='1.0' encoding='ISO-8859-1'?><r>caf\xE9</r>", "caf\xC3\xA9"},
      {"windows-1252", "<?xml version='1.0' encoding='windows-1252'?><r>\x80\x93</r>",
       "\xE2\x82\xAC\xE2\x80\x9C"},  // 0x80 euro, 0x93 left double quote
      {"windows-1251", "<?xml version='1.0' encoding='windows-1251'?><r>\xC4\xE0</r>",
       "\xD0\x94\xD0\xB0"},
  };
}

TEST_F(LoadSaveTest, DeclaredEncodingsDecodeFromFileStreamAndBytes) {
  for (const EncodingCase& c : EncodingCases()) {
    SCOPED_TRACE(c.what);
    const std::string path = WriteTempFile("encoded.xml", c.bytes);
    for (int source = 0; source < 3; ++source) {
      auto doc = NewDocument();
      ASSERT_TRUE(doc);
      VARIANT v;
      if (source == 0) {
        v = Variant::Str(path.c_str());
      } else if (source == 1) {
        ardo::ComPtr<IStream> stream;
        ardo::CreateMemoryStream(c.bytes.data(), c.bytes.size(), stream.Out());
        v = Variant::Unknown(stream.Get());
      } else {
        v = ByteArrayVariant(c.bytes);
      }
      VARIANT_BOOL ok;
      EXPECT_HR(Load(doc.Get(), v, &ok), S_OK) << "source " << source;
      EXPECT_EQ(ok, VARIANT_TRUE) << "source " << source << ": " << ErrorOf(doc.Get()).reason;
      if (ok) ExpectRootText(doc.Get(), c.text);
    }
  }
}

TEST_F(LoadSaveTest, SaveWritesTheDeclaredEncoding) {
  const struct {
    const char* declared;
    std::string expectedBody;  // bytes of <r>..</r> in that encoding
    bool bom;
  } cases[] = {
      {"ISO-8859-1", "<r>caf\xE9</r>", false},
      {"windows-1252", "<r>\x80</r>", false},
      {"UTF-8", "<r>\xE2\x82\xAC</r>", false},
      {"UTF-16", Utf16Le(u"<r>\u20AC</r>", false), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.declared);
    const bool euro = std::string(c.declared) != "ISO-8859-1";
    std::string xml = std::string("<?xml version=\"1.0\" encoding=\"") + c.declared + "\"?><r>" +
                      (euro ? "\xE2\x82\xAC" : "caf\xC3\xA9") + "</r>";
    auto doc = Parse(xml.c_str());
    ASSERT_TRUE(doc);
    ardo::ComPtr<IStream> stream;
    ASSERT_HR(ardo::CreateMemoryStream(stream.Out()), S_OK);
    Variant destination(Variant::Unknown(stream.Get()));
    ASSERT_HR(doc->save(destination.get()), S_OK);
    const std::string bytes = StreamBytes(stream.Get());
    EXPECT_NE(bytes.find(c.expectedBody), std::string::npos) << "saved: " << bytes;
    if (c.bom) {
      EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    } else {
      std::string declaration = std::string("encoding=\"") + c.declared + "\"";
      EXPECT_NE(bytes.find(declaration), std::string::npos) << "saved: " << bytes;
    }
    // And the saved bytes load back to the same text.
    auto back = NewDocument();
    VARIANT_BOOL ok;
    ASSERT_HR(Load(back.Get(), ByteArrayVariant(bytes), &ok), S_OK);
    ASSERT_EQ(ok, VARIANT_TRUE) << ErrorOf(back.Get()).reason;
    EXPECT_EQ(TextOf(Root(back.Get()).Get()), euro ? "\xE2\x82\xAC" : "caf\xC3\xA9");
  }
}

TEST_F(LoadSaveTest, XmlPropertyOmitsTheEncodingSoItLoadsAsText) {
  auto doc = Parse("<?xml version=\"1.0\" encoding=\"ISO-8859-1\" standalone=\"yes\"?><r>caf\xC3\xA9</r>");
  ASSERT_TRUE(doc);
  const std::string xml = XmlOf(doc.Get());
  EXPECT_EQ(xml.find("encoding"), std::string::npos) << xml;
  EXPECT_EQ(xml.rfind("<?xml version=\"1.0\"", 0), 0u) << xml;
  auto again = Parse(xml.c_str());
  ASSERT_TRUE(again);
  EXPECT_EQ(TextOf(Root(again.Get()).Get()), "caf\xC3\xA9");
}

// --- parse errors ---

class ParseErrorTest : public LoadSaveTest {};

TEST_F(ParseErrorTest, MalformedTextFailsWithSFalseAndAPositionedError) {
  const char xml[] = "<r>\n  <a>\n  </b>\n</r>";
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  VARIANT_BOOL ok = VARIANT_TRUE;
  EXPECT_HR(LoadXml(doc.Get(), xml, &ok), S_FALSE);
  EXPECT_EQ(ok, VARIANT_FALSE);
  ParseErrorInfo e = ErrorOf(doc.Get());
  EXPECT_NE(e.errorCode, 0);
  EXPECT_FALSE(e.reason.empty());
  EXPECT_EQ(e.line, 3);
  EXPECT_GE(e.linepos, 1);
  EXPECT_LE(e.linepos, 7);
  EXPECT_GE(e.filepos, 10) << "line 3 starts at offset 10";
  EXPECT_LE(e.filepos, 17);
  EXPECT_NE(e.srcText.find("</b>"), std::string::npos) << "srcText: " << e.srcText;
  EXPECT_EQ(e.url, "");
  EXPECT_EQ(ReadyState(doc.Get()), 4);
}

TEST_F(ParseErrorTest, FailedLoadLeavesTheDocumentEmpty) {
  auto doc = Parse("<previous><content/></previous>");
  ASSERT_TRUE(doc);
  VARIANT_BOOL ok = VARIANT_TRUE;
  EXPECT_HR(LoadXml(doc.Get(), "<r><unclosed></r>", &ok), S_FALSE);
  EXPECT_EQ(ok, VARIANT_FALSE);
  ardo::ComPtr<IXMLDOMElement> root;
  EXPECT_HR(doc->get_documentElement(root.Out()), S_FALSE);
  EXPECT_FALSE(root);
  EXPECT_EQ(ChildCount(doc.Get()), 0);
  EXPECT_EQ(XmlOf(doc.Get()), "");
  EXPECT_EQ(LengthOf(Select(doc.Get(), "//*").Get()), 0);

  // The next good load clears the error.
  EXPECT_HR(LoadXml(doc.Get(), "<fine/>", &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_TRUE);
  EXPECT_EQ(ErrorOf(doc.Get()).errorCode, 0);
  EXPECT_EQ(ErrorOf(doc.Get()).reason, "");
}

TEST_F(ParseErrorTest, EachMalformedInputIsReportedNotAccepted) {
  const char* inputs[] = {
      "",
      "   ",
      "<r>",
      "<r></R>",
      "<r a='1' a='2'/>",
      "<r><a></r></a>",
      "<r/><r/>",
      "text only",
      "<r>&undefined;</r>",
      "<r attr=noquotes/>",
      "<r xmlns:p='urn:x'><q:a/></r>",
      "<r>\x01</r>",
  };
  for (const char* input : inputs) {
    auto doc = NewDocument();
    ASSERT_TRUE(doc);
    VARIANT_BOOL ok = VARIANT_TRUE;
    EXPECT_HR(LoadXml(doc.Get(), input, &ok), S_FALSE) << "'" << input << "'";
    EXPECT_EQ(ok, VARIANT_FALSE) << input;
    ParseErrorInfo e = ErrorOf(doc.Get());
    EXPECT_NE(e.errorCode, 0) << input;
    EXPECT_FALSE(e.reason.empty()) << input;
    EXPECT_EQ(ReadyState(doc.Get()), 4);
  }
}

TEST_F(ParseErrorTest, MissingOrUnreadableFileIsAParseErrorWithItsUrl) {
  auto doc = Parse("<keep/>");
  ASSERT_TRUE(doc);
  const std::string missing = TempDir() + "/does-not-exist.xml";
  VARIANT_BOOL ok = VARIANT_TRUE;
  EXPECT_HR(Load(doc.Get(), Variant::Str(missing.c_str()), &ok), S_FALSE);
  EXPECT_EQ(ok, VARIANT_FALSE);
  ParseErrorInfo e = ErrorOf(doc.Get());
  EXPECT_NE(e.errorCode, 0);
  EXPECT_FALSE(e.reason.empty());
  EXPECT_NE(e.url.find("does-not-exist.xml"), std::string::npos) << e.url;
  EXPECT_EQ(ChildCount(doc.Get()), 0) << "a failed load empties the document";

  const std::string broken = WriteTempFile("broken.xml", "<r>\n<a>\n</r>");
  EXPECT_HR(Load(doc.Get(), Variant::Str(broken.c_str()), &ok), S_FALSE);
  e = ErrorOf(doc.Get());
  EXPECT_EQ(e.line, 3);
  EXPECT_NE(e.url.find("broken.xml"), std::string::npos) << e.url;
}

TEST_F(ParseErrorTest, ParseErrorOfAGoodLoadReportsNothing) {
  auto doc = Parse("<r/>");
  ASSERT_TRUE(doc);
  ParseErrorInfo e = ErrorOf(doc.Get());
  EXPECT_EQ(e.errorCode, 0);
  EXPECT_EQ(e.reason, "");
  EXPECT_EQ(e.srcText, "");
  EXPECT_EQ(e.line, 0);
  EXPECT_EQ(e.linepos, 0);
  EXPECT_EQ(e.filepos, 0);
}

TEST_F(ParseErrorTest, LoadingIsSynchronousWhateverAsyncSays) {
  for (VARIANT_BOOL async : {VARIANT_TRUE, VARIANT_FALSE}) {
    auto doc = NewDocument();
    ASSERT_TRUE(doc);
    ASSERT_HR(doc->put_async(async), S_OK);
    VARIANT_BOOL read = 2;
    EXPECT_HR(doc->get_async(&read), S_OK);
    EXPECT_EQ(read, async);
    const std::string path = WriteTempFile("async.xml", "<r>done</r>");
    VARIANT_BOOL ok;
    EXPECT_HR(Load(doc.Get(), Variant::Str(path.c_str()), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    EXPECT_EQ(ReadyState(doc.Get()), 4);
    ExpectRootText(doc.Get(), "done");
  }
}

}  // namespace
}  // namespace ardo::test
