// Loading from every source and saving to every destination, encodings in
// both directions, and what a failed load leaves behind.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/engine/engine_test_fixture.h"

namespace ardo::test {
namespace {

const char kSample[] = "<?xml version=\"1.0\"?>\n<r>caf\xC3\xA9</r>\n";
const size_t kNever = size_t(-1);

VARIANT StreamOf(const std::string& bytes) {
  ardo::ComPtr<IStream> stream;
  ardo::CreateMemoryStream(bytes.data(), bytes.size(), stream.Out());
  return Variant::Unknown(stream.Get());
}

// The same bytes as a file's path, a stream and a byte array.
std::vector<VARIANT> EverySource(const std::string& bytes, const char* fileName = "source.xml") {
  return {Variant::Str(WriteTempFile(fileName, bytes).c_str()), StreamOf(bytes), ByteArrayVariant(bytes)};
}

// A VARIANT by reference, as script hosts pass them.
VARIANT ByRef(VARTYPE vt, void* target) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BYREF | vt;
  v.byref = target;
  return v;
}

std::string Utf16(const std::u16string& s, bool bigEndian, bool bom) {
  std::string out = !bom ? "" : bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t c : s) {
    out += char(bigEndian ? c >> 8 : c & 0xFF);
    out += char(bigEndian ? c & 0xFF : c >> 8);
  }
  return out;
}

// A host's byte stream with only the reading and writing part, as a pipe
// has: at most `step` bytes a read or a write, and reads fail once
// `failAt` bytes have gone.
class Trickle : public ardo::ComObject<Trickle, ISequentialStream> {
 public:
  Trickle(std::string bytes, ULONG step, size_t failAt = kNever)
      : bytes_(std::move(bytes)), step_(step), failAt_(failAt) {}
  HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* read) override {
    if (at_ >= failAt_) return E_FAIL;
    if (std::exchange(emptyFirst, false)) {
      if (read) *read = 0;
      return S_FALSE;
    }
    ULONG n = std::min<ULONG>({cb, step_, ULONG(bytes_.size() - at_)});
    std::memcpy(pv, bytes_.data() + at_, n);
    at_ += n;
    if (read) *read = n + overstated;
    return n < cb ? S_FALSE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* written) override {
    if (refusesWrites) return E_NOTIMPL;
    if (onWrite) onWrite();
    ULONG n = std::min(cb, step_);
    written_.append(static_cast<const char*>(pv), n);
    if (written) *written = n;
    return S_OK;
  }
  const std::string& Written() const { return written_; }
  bool emptyFirst = false;  // the first read gives nothing
  ULONG overstated = 0;  // reads report this many more bytes than they gave
  bool refusesWrites = false;
  std::function<void()> onWrite;  // a host's stream may do anything then

 private:
  std::string bytes_;
  ULONG step_;
  size_t failAt_;
  size_t at_ = 0;
  std::string written_;
};

class LoadSaveTest : public EngineTest {
 protected:
  long ReadyState(IXMLDOMDocument* doc) {
    long state = -1;
    EXPECT_HR(doc->get_readyState(&state), S_OK);
    return state;
  }
  std::string RootText(IXMLDOMDocument* doc) {
    auto root = Root(doc);
    return NameOf(root.Get()) + ":" + TextOf(root.Get());
  }
  // save() to a destination, cleared afterwards.
  HRESULT Save(IXMLDOMDocument* doc, VARIANT destination) {
    Variant owned(destination);
    return doc->save(owned.get());
  }
  // save() to a new memory stream; *bytes are what it took.
  HRESULT SaveToStream(IXMLDOMDocument* doc, std::string* bytes) {
    ardo::ComPtr<IStream> stream;
    EXPECT_HR(ardo::CreateMemoryStream(stream.Out()), S_OK);
    HRESULT hr = Save(doc, Variant::Unknown(stream.Get()));
    *bytes = StreamBytes(stream.Get());
    return hr;
  }
  // A load that fails with S_FALSE, and the error it leaves.
  ParseErrorInfo FailingLoad(IXMLDOMDocument* doc, VARIANT source) {
    const VARTYPE vt = source.vt;
    EXPECT_EQ(LoadSource(doc, source, S_FALSE), VARIANT_FALSE) << vt;
    return ErrorOf(doc);
  }
  ardo::ComPtr<IXMLDOMDocument2> NonValidating() {
    auto doc = NewDocument();
    EXPECT_TRUE(doc && doc->put_validateOnParse(VARIANT_FALSE) == S_OK);
    return doc;
  }
};

TEST_F(LoadSaveTest, AnythingThatReadsOrWritesBytesIsAStream) {
  auto doc = NewDocument();
  auto sheet = Parse("<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                     "<xsl:output method='text'/><xsl:template match='/'>[<xsl:value-of select='r/a'/>]"
                     "</xsl:template></xsl:stylesheet>");
  ASSERT_TRUE(doc && sheet);
  auto in = ardo::MakeObject<Trickle>("<r><a>1</a></r>", 3);
  EXPECT_EQ(LoadSource(doc.Get(), Variant::Unknown(in.Get())), VARIANT_TRUE);
  EXPECT_EQ(XmlOf(Root(doc.Get()).Get()), "<r><a>1</a></r>");
  auto out = ardo::MakeObject<Trickle>("", 3), transformed = ardo::MakeObject<Trickle>("", 3);
  EXPECT_HR(Save(doc.Get(), Variant::Unknown(out.Get())), S_OK);
  EXPECT_EQ(out->Written(), "<r><a>1</a></r>\r\n");
  Variant toTransformed(Variant::Unknown(transformed.Get()));
  EXPECT_HR(doc->transformNodeToObject(sheet.Get(), toTransformed.get()), S_OK);
  EXPECT_EQ(transformed->Written(), "[1]") << "every byte, a few at a time";
}

TEST_F(LoadSaveTest, StreamsThatReadInSmallStepsLoadAndOnesThatFailSaySo) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  for (const std::string& bytes : {std::string("<?xml version='1.0' encoding='windows-1252'?><r>\x80</r>"),
                                   std::string("\xEF\xBB\xBF<r>x</r>"), Utf16(u"<r>x</r>", false, true)}) {
    for (ULONG step : {1u, 3u, 7u}) {
      auto stream = ardo::MakeObject<Trickle>(bytes, step);
      EXPECT_EQ(LoadSource(doc.Get(), Variant::Unknown(stream.Get())), VARIANT_TRUE) << step << ": " << bytes;
    }
  }
  // A failing read; a count larger than was asked for, which is not
  // believed; a read that gives nothing, which ends the stream whatever a
  // later read would give.
  auto failing = ardo::MakeObject<Trickle>("<r><a>1</a><b>2</b></r>", 5, 10),
       overstating = ardo::MakeObject<Trickle>("<r>x</r>", 64), ended = ardo::MakeObject<Trickle>("<r>x</r>", 8);
  overstating->overstated = 100000;
  ended->emptyFirst = true;
  const ParseErrorInfo e = FailingLoad(doc.Get(), Variant::Unknown(failing.Get()));
  EXPECT_NE(e.errorCode, 0);
  EXPECT_EQ(e.reason, "The stream could not be read to its end.");
  EXPECT_EQ(FailingLoad(doc.Get(), Variant::Unknown(overstating.Get())).reason, e.reason);
  EXPECT_EQ(FailingLoad(doc.Get(), Variant::Unknown(ended.Get())).errorCode, long(int32_t(0xC00CE558u)));
}

// The bytes as a one-row array of two dimensions: loaded as they lie.
VARIANT TwoDimensionalBytes(const std::string& bytes) {
  SAFEARRAYBOUND bounds[2] = {{1, 0}, {ULONG(bytes.size()), 0}};
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ARRAY | VT_UI1;
  v.parray = SafeArrayCreate(VT_UI1, 2, bounds);
  void* data = nullptr;
  if (v.parray && SUCCEEDED(SafeArrayAccessData(v.parray, &data))) {
    std::memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(v.parray);
  }
  return v;
}

TEST_F(LoadSaveTest, LoadsFromPathUrlStreamBytesAndAnotherDocument) {
  const std::string path = WriteTempFile("sample.xml", kSample);
  auto source = Parse("<r>from a document</r>");
  ASSERT_TRUE(source);
  // By reference too, as script hosts pass them.
  Bstr where(path.c_str()), savedPath((TempDir() + "/by-reference.xml").c_str());
  BSTR raw = where.get(), savedRaw = savedPath.get();
  Variant bytes(ByteArrayVariant(kSample));
  const struct {
    VARIANT source;
    const char* text;
  } cases[] = {
      {Variant::Str(path.c_str()), "r:caf\xC3\xA9"},
      {Variant::Str(("file://" + path).c_str()), "r:caf\xC3\xA9"},
      {Variant::Str(("file://" + path + "#part").c_str()), "r:caf\xC3\xA9"},  // the file, not its part
      {TwoDimensionalBytes(kSample), "r:caf\xC3\xA9"},
      {StreamOf(kSample), "r:caf\xC3\xA9"},
      {ByteArrayVariant(kSample), "r:caf\xC3\xA9"},
      {Variant::Dispatch(source.Get()), "r:from a document"},
      {Variant::Unknown(source.Get()), "r:from a document"},
      {ByRef(VT_BSTR, &raw), "r:caf\xC3\xA9"},
      {ByRef(VT_ARRAY | VT_UI1, &bytes.get().parray), "r:caf\xC3\xA9"},
  };
  bool async = false;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source.vt);
    auto doc = NewDocument();
    ASSERT_TRUE(doc);
    ASSERT_HR(doc->put_async((async = !async) ? VARIANT_TRUE : VARIANT_FALSE), S_OK);  // synchronous either way
    EXPECT_EQ(LoadSource(doc.Get(), c.source), VARIANT_TRUE) << ErrorOf(doc.Get()).reason;
    EXPECT_EQ(RootText(doc.Get()), c.text);
    EXPECT_EQ(ReadyState(doc.Get()), 4);
    EXPECT_EQ(ErrorOf(doc.Get()).errorCode, 0);
    Root(doc.Get())->put_text(Bstr("changed"));
  }
  EXPECT_EQ(TextOf(Root(source.Get()).Get()), "from a document") << "a loaded copy is independent";

  EXPECT_HR(source->save(ByRef(VT_BSTR, &savedRaw)), S_OK);
  EXPECT_NE(ReadFileBytes(savedPath.Utf8()).find("<r>from a document</r>"), std::string::npos);

  ASSERT_EQ(LoadSource(source.Get(), Variant::Str(path.c_str())), VARIANT_TRUE);
  Bstr url;
  EXPECT_HR(source->get_url(url.Out()), S_OK);
  EXPECT_NE(url.Utf8().find("sample.xml"), std::string::npos) << url.Utf8();
  ASSERT_HR(LoadXml(source.Get(), "<r/>"), S_OK);
  EXPECT_TRUE(SUCCEEDED(source->get_url(url.Out())));
  EXPECT_EQ(url.Utf8(), "") << "loadXML has no URL";
}

TEST_F(LoadSaveTest, SourcesThatAreNotDocumentsAreRefused) {
  auto doc = NewDocument();
  auto element = Parse("<r/>");
  ASSERT_TRUE(doc && element);
  VARIANT empty;
  VariantInit(&empty);
  for (VARIANT v : {empty, Variant::I4(5), Variant::Unknown(Root(element.Get()).Get())}) {
    Variant owned(v);
    VARIANT_BOOL ok = VARIANT_TRUE;
    EXPECT_TRUE(FAILED(doc->load(owned.get(), &ok))) << v.vt;
    EXPECT_EQ(ok, VARIANT_FALSE);
    EXPECT_EQ(ReadyState(doc.Get()), 4) << "a refused source leaves the document complete, as it was";
  }
  // A document without an element loads as empty text does: not at all.
  const ParseErrorInfo nothing = FailingLoad(doc.Get(), Variant::Unknown(NewDocument().Get()));
  EXPECT_NE(nothing.errorCode, 0);
  // So does a byte-order mark with nothing after it, from any source.
  for (const std::string mark : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"}) {
    for (VARIANT v : EverySource(mark)) {
      const ParseErrorInfo e = FailingLoad(doc.Get(), v);
      EXPECT_EQ(std::make_tuple(e.errorCode, e.reason, e.srcText),
                std::make_tuple(nothing.errorCode, nothing.reason, std::string()))
          << v.vt;
    }
  }
}

TEST_F(LoadSaveTest, SavesToPathStreamAndDocument) {
  auto doc = Parse("<?xml version=\"1.0\"?>\n<r a='1' xmlns:p='urn:p' b='2'>caf\xC3\xA9<e x='1' xmlns:q='urn:q'/></r>");
  auto target = Parse("<old/>");
  ASSERT_TRUE(doc && target);
  const std::string path = TempDir() + "/saved.xml";
  EXPECT_HR(Save(doc.Get(), Variant::Str(path.c_str())), S_OK);
  const std::string fileBytes = ReadFileBytes(path);
  EXPECT_NE(fileBytes.find("b=\"2\">caf\xC3\xA9<e x="), std::string::npos) << fileBytes;
  std::string streamBytes;
  EXPECT_HR(SaveToStream(doc.Get(), &streamBytes), S_OK);
  EXPECT_EQ(streamBytes, fileBytes) << "the same bytes whatever the destination";
  EXPECT_HR(Save(doc.Get(), Variant::Dispatch(target.Get())), S_OK);
  EXPECT_EQ(RootText(target.Get()), "r:caf\xC3\xA9");
  auto reloaded = NewDocument();
  ASSERT_EQ(LoadSource(reloaded.Get(), Variant::Str(path.c_str())), VARIANT_TRUE);
  EXPECT_EQ(XmlOf(Root(reloaded.Get()).Get()), XmlOf(Root(doc.Get()).Get()));

  EXPECT_TRUE(FAILED(Save(doc.Get(), Variant::Str((TempDir() + "/no/such/folder/x.xml").c_str()))));
  EXPECT_HR(Save(doc.Get(), Variant::I4(1)), E_INVALIDARG);
  EXPECT_NE(LastReason().find("saves to a file name, a stream"), std::string::npos) << "a refusal says why";
  // A stream that refuses the bytes: its failure, with a reason.
  auto readOnly = ardo::MakeObject<Trickle>("", 1);
  readOnly->refusesWrites = true;
  EXPECT_HR(Save(doc.Get(), Variant::Unknown(readOnly.Get())), E_NOTIMPL);
  EXPECT_EQ(LastReason(), "The stream refused the output.");
  // One that takes a few bytes at a time is given the rest until it has
  // all; reading the document meanwhile, it sees it as it is at every write
  // (not as libxml2 is shown it for the writing).
  const std::string xml = XmlOf(doc.Get());
  std::vector<std::string> seen;
  auto sipping = ardo::MakeObject<Trickle>("", 3);
  sipping->onWrite = [&] { seen.push_back(XmlOf(doc.Get())); };
  EXPECT_HR(Save(doc.Get(), Variant::Unknown(sipping.Get())), S_OK);
  EXPECT_EQ(sipping->Written(), fileBytes);
  EXPECT_EQ(fileBytes, xml);
  EXPECT_EQ(seen, std::vector<std::string>(std::max<size_t>(seen.size(), 1), xml));
}

namespace fs = std::filesystem;

// The names in a folder, to see that a save leaves nothing of its own.
std::set<std::string> FolderNames(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

TEST_F(LoadSaveTest, SaveReplacesAFileWholeOrLeavesItAsItWas) {
  const std::string folder = TempDir() + "/replace";
  fs::create_directories(folder);  // there already on a repeated run
  const std::string old = "<old>precious</old>";
  const std::string target = WriteTempFile("replace/kept.xml", old), link = folder + "/link.xml";
  fs::remove(link);
  fs::permissions(target, fs::perms(0640));
  fs::create_symlink(target, link);
  const std::set<std::string> before = FolderNames(folder);

  // Saved through a link: the file it leads to changes, keeping its mode.
  auto small = Parse("<new/>");
  ASSERT_TRUE(small);
  EXPECT_HR(Save(small.Get(), Variant::Str(link.c_str())), S_OK);
  EXPECT_EQ(ReadFileBytes(target), "<new/>\r\n");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640));
  EXPECT_EQ(FolderNames(folder), before);

  // A link to nothing yet makes the file it names; a file of another owner
  // is written in place and stays that owner's.
  const std::string dangling = folder + "/dangling.xml", named = folder + "/named.xml";
  fs::remove(dangling);
  fs::remove(named);
  fs::create_symlink("named.xml", dangling);
  EXPECT_HR(Save(small.Get(), Variant::Str(dangling.c_str())), S_OK);
  EXPECT_TRUE(fs::is_symlink(dangling));
  EXPECT_EQ(ReadFileBytes(named), "<new/>\r\n");
  fs::remove(dangling);
  if (geteuid() == 0) {
    ASSERT_EQ(chown(named.c_str(), 65534, 65534), 0);
    EXPECT_HR(Save(small.Get(), Variant::Str(named.c_str())), S_OK);
    struct stat st;
    ASSERT_EQ(stat(named.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
  }
  fs::remove(named);
  EXPECT_EQ(FolderNames(folder), before);

  // A write that fails half way (here a file size limit) leaves the old
  // file whole and says why.
  WriteTempFile("replace/kept.xml", old);
  auto big = Parse(("<r>" + std::string(20000, 'x') + "</r>").c_str());
  ASSERT_TRUE(big);
  struct sigaction ignore {}, previous {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &previous);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit limit = saved;
  limit.rlim_cur = 4096;
  setrlimit(RLIMIT_FSIZE, &limit);
  HRESULT hr = Save(big.Get(), Variant::Str(target.c_str()));
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &previous, nullptr);
  EXPECT_HR(hr, STG_E_MEDIUMFULL);
  EXPECT_NE(LastReason().find("left as it was"), std::string::npos) << LastReason();
  EXPECT_EQ(ReadFileBytes(target), old);
  EXPECT_EQ(FolderNames(folder), before);
}

TEST_F(LoadSaveTest, DeclaredEncodingsDecodeFromFileStreamAndBytes) {
  const struct {
    std::string bytes;
    const char* text;  // UTF-8 of the root's text
  } cases[] = {
      {"<?xml version='1.0' encoding='UTF-8'?><r>\xE2\x82\xAC\xC3\xA9</r>", "\xE2\x82\xAC\xC3\xA9"},
      {"\xEF\xBB\xBF<r>\xC3\xA9</r>", "\xC3\xA9"},
      {Utf16(u"<?xml version='1.0' encoding='UTF-16'?><r>\u20AC\u00E9</r>", false, true), "\xE2\x82\xAC\xC3\xA9"},
      {Utf16(u"<r>\u20AC</r>", true, true), "\xE2\x82\xAC"},
      {"<?xml version='1.0' encoding='ISO-8859-1'?><r>caf\xE9</r>", "caf\xC3\xA9"},
      {"<?xml version='1.0' encoding='windows-1252'?><r>\x80\x93</r>", "\xE2\x82\xAC\xE2\x80\x9C"},
      {"<?xml version='1.0' encoding='windows-1251'?><r>\xC4\xE0</r>", "\xD0\x94\xD0\xB0"},
      // The other names of UTF-16 and UCS-2 agree with its mark.
      {Utf16(u"<?xml version='1.0' encoding='ISO-10646-UCS-2'?><r>UCS-2</r>", false, true), "UCS-2"},
      {Utf16(u"<?xml version='1.0' encoding='unicode'?><r>unicode</r>", false, true), "unicode"},
  };
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    for (VARIANT v : EverySource(c.bytes)) {
      EXPECT_EQ(LoadSource(doc.Get(), v), VARIANT_TRUE) << v.vt << ": " << ErrorOf(doc.Get()).reason;
      EXPECT_EQ(RootText(doc.Get()), std::string("r:") + c.text) << v.vt;
    }
  }
  // A UTF-8 byte-order mark with another encoding declared is a
  // contradiction, not Latin-1 text, as is a UTF-16 one with a single-byte
  // encoding, however long the declaration, and whichever UTF-16 order or
  // UTF-8 it names.
  for (const std::string& contradiction :
       {std::string("\xEF\xBB\xBF<?xml version='1.0' encoding='ISO-8859-1'?><r>\xC3\xA9</r>"),
        Utf16(u"<?xml version='1.0' encoding='ISO-8859-1'?><r>x</r>", false, true),
        "\xEF\xBB\xBF<?xml version='1.0'" + std::string(600, ' ') + "encoding='ISO-8859-1'?><r>\xC3\xA9</r>",
        Utf16(u"<?xml version='1.0' encoding='UTF-16BE'?><r>x</r>", false, true),
        Utf16(u"<?xml version='1.0' encoding='UTF-16LE'?><r>x</r>", true, true),
        Utf16(u"<?xml version='1.0' encoding='UTF-8'?><r>x</r>", false, true)}) {
    for (VARIANT v : EverySource(contradiction)) {
      const ParseErrorInfo e = FailingLoad(doc.Get(), v);
      EXPECT_EQ(e.errorCode, long(int32_t(0xC00CE56F))) << e.reason;
      EXPECT_EQ(e.reason.find("The byte-order mark says"), 0u) << e.reason;
    }
  }
  // The mark is no part of srcText.
  EXPECT_EQ(FailingLoad(doc.Get(), ByteArrayVariant("\xEF\xBB\xBF<r>x</q>")).srcText, "<r>x</q>");
}

// The document type is written as the document wrote it (libxml2 would
// write its declarations anew, notations first), from every source, in
// copies, and on long declarations the parser reads in several windows.
TEST_F(LoadSaveTest, TheDocumentTypeIsWrittenAsTheDocumentWroteIt) {
  const std::string small =
      "<!DOCTYPE r [\n  <!ELEMENT r ANY>   <!-- caf\xC3\xA9 --><?pi x?>\n"
      "  <!NOTATION b SYSTEM 'b'><!NOTATION a PUBLIC 'a'>\n"
      "  <!ATTLIST r x CDATA #IMPLIED y (p|q) #IMPLIED>\n"
      "  <!ENTITY % decl '<!ENTITY e \"E\">'>%decl;\n]>";
  std::string large = "<!DOCTYPE r [\n<!-- caf\xC3\xA9 -->\n";
  for (int i = 0; i < 3000; ++i) large += "<!ENTITY e" + std::to_string(i) + " 'value'> <!-- " + std::to_string(i) + " -->\n";
  large += "<!ENTITY e 'E'>]>";
  for (const std::string& doctype : {small, large}) {
    SCOPED_TRACE(doctype.size());
    const std::string text = doctype + "\n<r>&e;</r>";
    auto fromText = NonValidating(), fromFile = NonValidating(), copied = NewDocument();
    ASSERT_TRUE(fromText && fromFile && copied);
    ASSERT_HR(LoadXml(fromText.Get(), text.c_str()), S_OK);
    EXPECT_EQ(XmlOf(fromText.Get()), doctype + "\r\n<r>&e;</r>\r\n");
    // The file is in another encoding, read a window at a time.
    std::string latin = "<?xml version='1.0' encoding='ISO-8859-1'?>" + text;
    latin.replace(latin.find("\xC3\xA9"), 2, "\xE9");
    ASSERT_EQ(LoadSource(fromFile.Get(), Variant::Str(WriteTempFile("latin.xml", latin).c_str())), VARIANT_TRUE);
    ardo::ComPtr<IXMLDOMDocumentType> type;
    ASSERT_HR(fromFile->get_doctype(type.Out()), S_OK);
    EXPECT_EQ(XmlOf(type.Get()), doctype);

    ardo::ComPtr<IXMLDOMNode> clone;
    ASSERT_HR(fromFile->cloneNode(VARIANT_TRUE, clone.Out()), S_OK);
    ASSERT_EQ(LoadSource(copied.Get(), Variant::Dispatch(fromFile.Get())), VARIANT_TRUE);
    for (IXMLDOMNode* copy : {clone.Get(), static_cast<IXMLDOMNode*>(copied.Get())})
      EXPECT_NE(XmlOf(copy).find(doctype + "\r\n<r>"), std::string::npos) << XmlOf(copy);
    std::string saved;
    ASSERT_HR(SaveToStream(fromFile.Get(), &saved), S_OK);
    const size_t start = latin.find("<!DOCTYPE");
    EXPECT_NE(saved.find(latin.substr(start, latin.find("]>") + 2 - start)), std::string::npos)
        << "written in the declared encoding";
  }
  // A long comment moves the parser's window past the declaration's start:
  // the declaration is read back from the document's own bytes.
  const std::string commented =
      "<!DOCTYPE r [\n  <!-- " + std::string(3000, 'c') + " -->\n  <?pi " + std::string(3000, 'p') + "?>\n]>";
  for (VARIANT source : EverySource(commented + "<r/>")) {
    SCOPED_TRACE(source.vt);
    auto doc = NonValidating();
    ASSERT_EQ(LoadSource(doc.Get(), source), VARIANT_TRUE);
    ardo::ComPtr<IXMLDOMDocumentType> type;
    ASSERT_HR(doc->get_doctype(type.Out()), S_OK);
    EXPECT_EQ(XmlOf(type.Get()), commented);
  }
  // Identifiers and comments may hold the letters a declaration starts with.
  auto reloaded = NewDocument();
  ASSERT_HR(LoadXml(reloaded.Get(), ("<!DOCTYPE r SYSTEM 'x<!DOCTYPE y>' [<!--<!DOCTYPE z>-->]><r/>")), S_OK);
  EXPECT_EQ(XmlOf(reloaded.Get()), "<!DOCTYPE r SYSTEM 'x<!DOCTYPE y>' [<!--<!DOCTYPE z>-->]>\r\n<r/>\r\n")
      << "the declaration starts where it does, not at the same letters in its identifier";
}

TEST_F(LoadSaveTest, SaveWritesTheDeclaredEncoding) {
  std::string thai;
  for (int i = 0; i < 5000; ++i) thai += "\xE0\xB8\x81";
  const struct {
    const char* declared;
    std::string content;  // of the root, in UTF-8
    std::string expectedBody;  // bytes of <r>..</r> in that encoding, where given
    bool bom;
  } cases[] = {
      {"windows-1252", "\xE2\x82\xAC", "<r>\x80</r>", false},
      {"UTF-8", "\xE2\x82\xAC", "<r>\xE2\x82\xAC</r>", false},
      {"UTF-16", "\xE2\x82\xAC", Utf16(u"<r>\u20AC</r>", false, false), true},
      // Encodings that libxml2 reaches through ICU are asked as well, not
      // refused, and text long enough to take several reads to come back
      // is asked whole.
      {"x-sjis", "<!--\xE6\x97\xA5-->", "", false},
      {"SCSU", "<!--" + thai + "-->", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.declared);
    auto doc = Parse((std::string("<?xml version=\"1.0\" encoding=\"") + c.declared + "\"?><r>" + c.content + "</r>").c_str());
    auto back = NewDocument();
    ASSERT_TRUE(doc && back);
    std::string bytes;
    ASSERT_HR(SaveToStream(doc.Get(), &bytes), S_OK) << LastReason();
    EXPECT_NE(bytes.find(c.expectedBody), std::string::npos) << "saved: " << bytes;
    if (c.bom)
      EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    else
      EXPECT_NE(bytes.find(std::string("encoding=\"") + c.declared + "\""), std::string::npos) << bytes;
    ASSERT_EQ(LoadSource(back.Get(), ByteArrayVariant(bytes)), VARIANT_TRUE) << ErrorOf(back.Get()).reason;
    EXPECT_EQ(XmlOf(Root(back.Get()).Get()), "<r>" + c.content + "</r>");
  }
}

// A document that could not be loaded back as it is is not saved rather
// than saved wrong, and the reason says why: nothing reaches a stream, and
// a file is left as it was.
TEST_F(LoadSaveTest, SaveRefusesEncodingsItCouldNotLoadBack) {
  auto expectRefused = [&](IXMLDOMDocument* doc, const char* reason) {
    std::string bytes;
    EXPECT_HR(SaveToStream(doc, &bytes), E_FAIL);
    EXPECT_EQ(bytes, "");
    EXPECT_NE(LastReason().find(reason), std::string::npos) << LastReason();
    const std::string path = WriteTempFile("kept.xml", "<previous/>");
    EXPECT_HR(Save(doc, Variant::Str(path.c_str())), E_FAIL);
    EXPECT_EQ(ReadFileBytes(path), "<previous/>");
  };
  // Latin-1 documents holding a euro sign where no character reference
  // can stand for it.
  const char* const latin1Bodies[] = {
      // Outside text and attribute values a character reference is no escape.
      "<r><!--\xE2\x82\xAC--></r>", "<r><![CDATA[\xE2\x82\xAC]]></r>", "<r><?pi \xE2\x82\xAC?></r>",
      "<\xE2\x82\xACx/>", "<!DOCTYPE r [<!ELEMENT r EMPTY><!--\xE2\x82\xAC-->]><r/>",
      "<!DOCTYPE r [<!ELEMENT r EMPTY><!ENTITY e\xE2\x82\xAC 'x'>]><r/>",
      "<!DOCTYPE r [<!ELEMENT r (#PCDATA)><!ENTITY e\xE2\x82\xAC 'x'>]><r>&e\xE2\x82\xAC;</r>",
      // Nor in the document type's tokens and identifiers, or a prefix nothing uses.
      "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r b (\xE2\x82\xAC|x) 'x'>]><r/>",
      "<!DOCTYPE r [<!ELEMENT r (\xE2\x82\xAC)*>]><r/>",
      "<!DOCTYPE r [<!ELEMENT r EMPTY><!NOTATION n\xE2\x82\xAC SYSTEM 'x'>]><r/>",
      "<!DOCTYPE r [<!ELEMENT r EMPTY><!NOTATION n SYSTEM '\xE2\x82\xAC'>]><r/>",
      "<!DOCTYPE r [<!ELEMENT r EMPTY><!ENTITY e SYSTEM '\xE2\x82\xAC.xml'>]><r/>",
      "<r xmlns:\xE2\x82\xAC='urn:x'/>"};
  const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>";
  std::vector<std::pair<std::string, const char*>> documents = {
      // The reason names what cannot be written: here the target, not the data.
      {latin1 + "<r><?p\xE2\x82\xAC data?></r>", "\"p\xE2\x82\xAC\" holds"},
      // An alias that libxml2 knows for Latin-1 is checked as Latin-1.
      {"<?xml version=\"1.0\" encoding=\"ISO-LATIN-1\"?><r><!--\xE2\x82\xAC--></r>", "ISO-LATIN-1 cannot hold"},
      // Through ICU, libxml2 garbles the text around a character reference:
      // text the encoding lacks is refused there too, not written wrong.
      {"<?xml version=\"1.0\" encoding=\"ibm-874\"?><r>\xC3\xA9</r>", "ibm-874 cannot hold"},
  };
  for (const char* body : latin1Bodies) documents.emplace_back(latin1 + body, "ISO-8859-1 cannot hold");
  for (const auto& [xml, reason] : documents) {
    SCOPED_TRACE(xml);
    auto doc = Parse(xml.c_str());
    ASSERT_TRUE(doc);
    expectRefused(doc.Get(), reason);
  }
  // Declarations a load would not take, made by hand: libxml2 writes "HTML"
  // but cannot read it; iconv's UTF-32 opens with a mark a load takes for
  // UTF-16; UTF-7's "<" is no "<" to a load; a load takes UTF-32LE without
  // a mark for UCS-4 and then cannot switch; an empty one is not written.
  for (const char* data : {"version=\"1.0\" encoding=\"HTML\"", "version=\"1.0\" encoding=\"UTF-32\"",
                           "version=\"1.0\" encoding=\"UTF-7\"", "version=\"1.0\" encoding=\"UTF-32LE\"",
                           "version=\"1.0\" encoding=\"ISO-10646-UCS-4\"", ""}) {
    SCOPED_TRACE(data);
    auto doc = NewDocument();
    ardo::ComPtr<IXMLDOMProcessingInstruction> declaration;
    ASSERT_HR(doc->createProcessingInstruction(Bstr("xml"), Bstr(data), declaration.Out()), S_OK);
    Append(doc.Get(), declaration.Get());
    Append(doc.Get(), NewElement(doc.Get(), "r").Get());
    expectRefused(doc.Get(), *data ? "encoding" : "declaration");
  }
  // Data that would make the declaration unreadable is refused where it is set.
  for (const char* data : {"bogus", "", "encoding=\"UTF-8\"", "version=\"1.0\" standalone=\"maybe\"",
                           "version=\"1.0\" encoding=\"\""}) {
    auto doc = Parse("<?xml version=\"1.0\"?><r/>");
    ASSERT_TRUE(doc);
    ardo::ComPtr<IXMLDOMProcessingInstruction> declaration, made;
    ASSERT_HR(doc->get_firstChild(reinterpret_cast<IXMLDOMNode**>(declaration.Out())), S_OK);
    EXPECT_HR(declaration->put_data(Bstr(data)), E_FAIL) << data;
    EXPECT_NE(LastReason().find("XML declaration"), std::string::npos) << LastReason();
    EXPECT_HR(doc->createProcessingInstruction(Bstr("xml"), Bstr(data), made.Out()), *data ? E_FAIL : S_OK);
    EXPECT_EQ(XmlOf(doc.Get()), "<?xml version=\"1.0\"?>\r\n<r/>\r\n") << data;
  }
}

// A host's event handler: records the document's readyState at each call,
// and a '!' where the load has started (1) but the document still shows
// the old content or the old load's error. With stopAt, it lets go of
// itself (onreadystatechange = null) when the document reaches that
// state, as ported handlers do.
class StateRecorder : public ardo::ComObject<StateRecorder, IDispatch> {
 public:
  explicit StateRecorder(IXMLDOMDocument* doc, long stopAt = 0) : doc_(doc), stopAt_(stopAt) {}
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    long state = -1;
    doc_->get_readyState(&state);
    if (state == stopAt_) {
      VARIANT none;
      VariantInit(&none);
      doc_->put_onreadystatechange(none);
    }
    seen += std::to_string(state);
    if (state == 1) {
      ardo::ComPtr<IXMLDOMNode> first;
      ardo::ComPtr<IXMLDOMParseError> error;
      long code = 0;
      doc_->get_firstChild(first.Out());
      if (SUCCEEDED(doc_->get_parseError(error.Out()))) error->get_errorCode(&code);
      if (first || code != 0) seen += "!";
    }
    return S_OK;
  }
  std::string seen;

 private:
  IXMLDOMDocument* doc_;
  long stopAt_;
};

TEST_F(LoadSaveTest, ReadyStateChangesPassEveryStateAndDataAvailableComesWithATree) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  auto states = ardo::MakeObject<StateRecorder>(doc.Get());
  auto data = ardo::MakeObject<StateRecorder>(doc.Get());
  Variant onState(Variant::Dispatch(states.Get())), onData(Variant::Dispatch(data.Get())), none;
  ASSERT_HR(doc->put_onreadystatechange(onState.get()), S_OK);
  ASSERT_HR(doc->put_ondataavailable(onData.get()), S_OK);
  EXPECT_HR(LoadXml(doc.Get(), "<r/>"), S_OK);
  EXPECT_EQ(states->seen, "1234");
  EXPECT_EQ(data->seen, "3");
  EXPECT_HR(LoadXml(doc.Get(), "<r>"), S_FALSE);
  EXPECT_EQ(states->seen, "12341234") << "a failed load passes them too, the old content gone at 1";
  EXPECT_EQ(data->seen, "3") << "but has no data";
  EXPECT_EQ(LoadSource(doc.Get(), Variant::Str(WriteTempFile("states.xml", "<r/>").c_str())), VARIANT_TRUE);
  EXPECT_EQ(states->seen, "123412341234") << "the last load's error gone at 1";
  // A document loaded from itself keeps its content until it is read.
  EXPECT_EQ(LoadSource(doc.Get(), Variant::Unknown(doc.Get())), VARIANT_TRUE);
  EXPECT_EQ(states->seen, "1234123412341!234");
  ASSERT_HR(doc->put_onreadystatechange(none.get()), S_OK);
  ASSERT_HR(doc->put_ondataavailable(none.get()), S_OK);

  // A handler the document alone holds, letting go of itself while it runs.
  {
    auto once = ardo::MakeObject<StateRecorder>(doc.Get(), 4);
    Variant onOnce(Variant::Dispatch(once.Get()));
    ASSERT_HR(doc->put_onreadystatechange(onOnce.get()), S_OK);
  }
  VARIANT_BOOL ok = VARIANT_FALSE;
  EXPECT_HR(LoadXml(doc.Get(), "<r/>", &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_TRUE);
}

// --- parse errors ---

class ParseErrorTest : public LoadSaveTest {
 protected:
  ParseErrorInfo FailingLoadXml(IXMLDOMDocument* doc, const char* xml) {
    VARIANT_BOOL ok = VARIANT_TRUE;
    EXPECT_HR(LoadXml(doc, xml, &ok), S_FALSE) << "'" << xml << "'";
    EXPECT_EQ(ok, VARIANT_FALSE) << xml;
    ParseErrorInfo e = ErrorOf(doc);
    EXPECT_NE(e.errorCode, 0) << xml;
    EXPECT_FALSE(e.reason.empty()) << xml;
    EXPECT_EQ(ReadyState(doc), 4);
    EXPECT_EQ(ChildCount(doc), 0) << xml << ": a failed load leaves the document empty";
    return e;
  }
};

TEST_F(ParseErrorTest, MalformedTextFailsWithSFalseAndAPositionedError) {
  auto doc = Parse("<previous><content/></previous>");
  ASSERT_TRUE(doc);
  ParseErrorInfo e = FailingLoadXml(doc.Get(), "<r>\n  <a>\n  </b>\n</r>");
  EXPECT_EQ(e.line, 3);
  EXPECT_GE(e.linepos, 1);
  EXPECT_LE(e.linepos, 7);
  EXPECT_GE(e.filepos, 10) << "line 3 starts at offset 10";
  EXPECT_LE(e.filepos, 17);
  EXPECT_NE(e.srcText.find("</b>"), std::string::npos) << "srcText: " << e.srcText;
  EXPECT_EQ(e.url, "");
  EXPECT_EQ(XmlOf(doc.Get()), "");
  EXPECT_EQ(LengthOf(Select(doc.Get(), "//*").Get()), 0);
  // loadXML text is UTF-16: the file position counts its code units.
  e = FailingLoadXml(doc.Get(), "<a>\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80</b>");
  EXPECT_EQ(e.line, 1);
  EXPECT_EQ(e.filepos, 3 + 1 + 1 + 2 + 4) << "\xC3\xA9, \xE4\xB8\xAD and U+1F600 before the end tag";
  // The text's own declaration of an encoding changes nothing in how it is read.
  for (const char* encoding : {"UTF-8", "UTF-16", "ISO-8859-1"}) {
    const std::string declared = std::string("<?xml version='1.0' encoding='") + encoding + "'?>";
    e = FailingLoadXml(doc.Get(), (declared + "\n<a></b>").c_str());
    EXPECT_EQ(std::make_tuple(e.line, e.linepos, e.filepos), std::make_tuple(2L, 8L, long(declared.size()) + 8))
        << encoding;
  }

  EXPECT_HR(LoadXml(doc.Get(), "<fine/>"), S_OK);
  e = ErrorOf(doc.Get());
  EXPECT_EQ(e.errorCode, 0) << "the next good load clears the error";
  EXPECT_EQ(e.reason + e.srcText, "");
  EXPECT_EQ(e.line + e.linepos + e.filepos, 0);
}

// The common faults carry the codes that programs written for this DOM
// test for; others carry a code of the same family (0 = any failing code).
TEST_F(ParseErrorTest, EachMalformedInputIsReportedNotAccepted) {
  const struct {
    const char* input;
    uint32_t code;
  } cases[] = {
      {"", 0xC00CE558u},          {"   ", 0xC00CE558u},         {"<!--only a comment-->", 0xC00CE558u},
      {"text only", 0xC00CE556u}, {"<r/>text", 0xC00CE556u},    {"<r/><r/>", 0xC00CE555u},
      {"<r><a></r>", 0xC00CE56Du}, {"<r a='1' a='2'/>", 0xC00CE554u}, {"<r>\x01</r>", 0xC00CE508u},
      {"<r>", 0},                 {"<r>&undefined;</r>", 0xC00CE002u},
      {"<!DOCTYPE r [<!ENTITY known 'k'>]><r>&known;&undefined;</r>", 0xC00CE002u}, {"<r xmlns:p='urn:x'><q:a/></r>", 0},
  };
  for (const auto& c : cases) {
    auto doc = NewDocument();
    ASSERT_TRUE(doc);
    ParseErrorInfo e = FailingLoadXml(doc.Get(), c.input);
    EXPECT_TRUE(!c.code || static_cast<uint32_t>(e.errorCode) == c.code) << c.input << ": " << std::hex << e.errorCode;
    EXPECT_EQ(static_cast<uint32_t>(e.errorCode) & 0xFFFFF000u, 0xC00CE000u) << c.input;
  }
  // Bytes in an encoding nobody knows, or that name UTF-16 and are not.
  for (const auto& [bytes, code] : {std::pair<std::string, uint32_t>{"<?xml version='1.0' encoding='x-nobody'?><r/>", 0xC00CE56Eu},
                                    std::pair<std::string, uint32_t>{"<?xml version='1.0' encoding='UTF-16'?><r/>", 0xC00CE56Fu}}) {
    auto doc = NewDocument();
    ASSERT_TRUE(doc);
    EXPECT_EQ(static_cast<uint32_t>(FailingLoad(doc.Get(), StreamOf(bytes)).errorCode), code) << bytes;
  }
  // Validating on parse, a document without a DTD still reports its own
  // fault, where it stands, not the DTD it never claimed.
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  ParseErrorInfo e = FailingLoadXml(doc.Get(), "<r>\n  <p:x/>\n</r>");
  EXPECT_NE(e.reason.find("prefix p"), std::string::npos) << e.reason;
  EXPECT_EQ(e.line, 2);
}

// The source line is the whole line, however long (machine-written
// documents are often one line), where the input can be read again; from
// a stream, a long line's text is cut between characters, never inside one.
TEST_F(ParseErrorTest, LongLinesAreReportedWhole) {
  std::string line = "<r>";
  for (int i = 0; i < 400; ++i) line += "<i n=\"" + std::to_string(i) + "\">\xC3\xA9</i>";
  line += "<b c></r>";
  const std::string text = "<?xml version='1.0'?>\r\n" + line + "\r\n";
  const std::string path = WriteTempFile("one-line.xml", text);
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  ParseErrorInfo e = FailingLoadXml(doc.Get(), text.c_str());
  EXPECT_EQ(e.line, 2);
  EXPECT_EQ(e.srcText, line);
  for (VARIANT v : {Variant::Str(path.c_str()), ByteArrayVariant("\xEF\xBB\xBF" + text), StreamOf(text)}) {
    const VARTYPE vt = v.vt;
    e = FailingLoad(doc.Get(), v);
    EXPECT_EQ(e.line, 2) << vt;
    EXPECT_TRUE(vt == VT_UNKNOWN || e.srcText == line) << vt << ": " << e.srcText;
    ASSERT_FALSE(e.srcText.empty());
    EXPECT_NE(line.find(e.srcText), std::string::npos) << vt;
    EXPECT_NE(static_cast<unsigned char>(e.srcText[0]) & 0xC0, 0x80);
    EXPECT_NE(e.srcText.find("<b c>"), std::string::npos) << vt;
  }
  // Lines that end in a carriage return alone are lines too; columns count
  // UTF-16 units from every source, a character beyond the BMP being two.
  const struct {
    std::string text;
    long line, linepos;
    const char* srcText;
  } placed[] = {
      {"<r>\r<q/>\r\r<a>\xC3\xA9</b></r>\r", 4, 9, "<a>\xC3\xA9</b></r>"},
      {"<r>\n<a>\xF0\x9F\x98\x80\xF0\x9F\x98\x80</b></r>", 2, 12, "<a>\xF0\x9F\x98\x80\xF0\x9F\x98\x80</b></r>"},
  };
  for (const auto& p : placed) {
    SCOPED_TRACE(p.srcText);
    const auto expected = std::make_tuple(p.line, p.linepos, std::string(p.srcText));
    e = FailingLoadXml(doc.Get(), p.text.c_str());
    EXPECT_EQ(std::make_tuple(e.line, e.linepos, e.srcText), expected);
    for (VARIANT v : EverySource(p.text)) {
      const VARTYPE vt = v.vt;
      e = FailingLoad(doc.Get(), v);
      EXPECT_EQ(std::make_tuple(e.line, e.linepos, e.srcText), expected) << vt;
    }
  }
  // An error in an internal entity's text stays placed in that text.
  auto inEntity = [&](const std::string& lineEnd) {
    const std::string text = "<!DOCTYPE r [" + lineEnd + "<!-- a note in the internal subset -->" + lineEnd +
                             "<!ENTITY e \"<q>" + std::string(44, 'x') + "</z>\">" + lineEnd + "]>" + lineEnd +
                             "<r>&e;</r>";
    ParseErrorInfo f = FailingLoadXml(doc.Get(), text.c_str());
    return std::make_tuple(f.line, f.linepos, f.srcText);
  };
  EXPECT_EQ(inEntity("\r"), inEntity("\n"));
  EXPECT_NE(std::get<2>(inEntity("\r")).find("</z>"), std::string::npos) << std::get<2>(inEntity("\r"));
  // Bytes in another encoding keep the parser's own view of the line.
  std::string latin = "<?xml version='1.0' encoding='ISO-8859-1'?>\n<r>";
  for (int i = 0; i < 400; ++i) latin += "<i>\xE9</i>";
  latin += "<b c></r>";
  e = FailingLoad(doc.Get(), ByteArrayVariant(latin));
  EXPECT_NE(e.srcText.find("\xC3\xA9</i><b c>"), std::string::npos) << e.srcText;
}

// An error inside an external entity or DTD is reported at its place in
// that file, and the file is the error's url; validity errors there are
// found as the entity is read, and a content that breaks its model shows
// at the end tag.
TEST_F(ParseErrorTest, ErrorsInExternalEntitiesNameTheirFile) {
  const struct {
    const char *file, *content, *doctype, *body;
    bool validate;
    long line;
    const char* srcText;
  } cases[] = {
      {"broken.ent", "ok\nline2 <b>bad</c>\n", "[<!ELEMENT r ANY><!ENTITY p SYSTEM '@'>]", "<r>\n&p;</r>", false, 2,
       "line2 <b>bad</c>"},
      {"invalid.ent", "ok\n<zz/>\n", "[<!ELEMENT r ANY><!ENTITY p SYSTEM '@'>]", "<r>&p;</r>", true, 2, "<zz/>"},
      {"unordered.ent", "<a>\n  <b/>\n</a>\n",
       "[<!ELEMENT r ANY><!ELEMENT a (c)><!ELEMENT b EMPTY><!ELEMENT c EMPTY><!ENTITY p SYSTEM '@'>]", "<r>&p;</r>",
       true, 3, "</a>"},
      {"broken.dtd", "<!ELEMENT r ANY>\n<!ELEMENT c EMPTY>\n<!ATTLIST c k CDATA oops>\n", "SYSTEM '@'", "<r><c/></r>",
       false, 3, "<!ATTLIST c k CDATA oops>"},
  };
  auto doc = ResolvingDocument();
  ASSERT_TRUE(doc);
  for (const auto& c : cases) {
    const std::string path = WriteTempFile(c.file, c.content);
    ASSERT_HR(doc->put_validateOnParse(c.validate ? VARIANT_TRUE : VARIANT_FALSE), S_OK);
    // From a file naming the other beside it, and from text naming it whole.
    for (bool fromFile : {true, false}) {
      SCOPED_TRACE(std::string(c.file) + (fromFile ? " from a file" : " from text"));
      std::string text = std::string("<!DOCTYPE r ") + c.doctype + ">\n" + c.body;
      text.replace(text.find('@'), 1, fromFile ? c.file : path);
      if (fromFile) {
        FailingLoad(doc.Get(), Variant::Str(WriteTempFile(std::string("uses-") + c.file, text).c_str()));
      } else {
        EXPECT_HR(LoadXml(doc.Get(), text.c_str()), S_FALSE);
      }
      ParseErrorInfo e = ErrorOf(doc.Get());
      EXPECT_EQ(e.line, c.line);
      EXPECT_EQ(e.srcText, c.srcText);
      EXPECT_NE(e.url.find(c.file), std::string::npos) << e.url;
    }
  }
}

// Bytes and files: a declared encoding that libxml2 switches to does not
// restart the count (the declarations differ by their encodings' names),
// and a byte that it has no character for is a fault of the text, found
// where it stands.
TEST_F(ParseErrorTest, PositionsInBytesCountFromTheStartWhateverTheDeclaredEncoding) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  auto errorOf = [&](const std::string& encoding, const std::string& body, bool fromFile) {
    const std::string text = "<?xml version='1.0' encoding='" + encoding + "'?>\n<r>\n" + body;
    return FailingLoad(doc.Get(), fromFile ? Variant::Str(WriteTempFile("declared.xml", text).c_str()) : ByteArrayVariant(text));
  };
  for (bool fromFile : {false, true}) {
    SCOPED_TRACE(fromFile ? "file" : "bytes");
    const ParseErrorInfo utf8 = errorOf("UTF-8", "<x>abc</x>\n<a></b></r>", fromFile);
    EXPECT_EQ(utf8.line, 4);
    EXPECT_GT(utf8.filepos, 50);
    for (const auto& [encoding, longer] : {std::pair<std::string, long>{"ISO-8859-1", 5}, {"windows-1252", 7}}) {
      // One byte a character in these encodings, two in the parser's UTF-8.
      for (const char* body : {"<x>abc</x>\n<a></b></r>", "<x>\xE9\xE8\xEA</x>\n<a></b></r>"}) {
        const ParseErrorInfo e = errorOf(encoding, body, fromFile);
        EXPECT_EQ(std::make_tuple(e.line, e.filepos), std::make_tuple(4L, utf8.filepos + longer)) << encoding;
      }
    }
    for (const auto& [encoding, bad] : {std::pair<std::string, std::string>{"windows-1252", "\x81"}, {"ISO-8859-7", "\xFF"}}) {
      const ParseErrorInfo e = errorOf(encoding, "<a>ok</a>\n<b>" + bad + "</b></r>", fromFile);
      EXPECT_EQ(static_cast<uint32_t>(e.errorCode), 0xC00CE508u) << encoding;
      EXPECT_NE(e.reason.find("conversion"), std::string::npos) << e.reason;
      EXPECT_EQ(std::make_tuple(e.line, e.linepos, e.srcText), std::make_tuple(4L, 4L, std::string("<b>"))) << encoding;
    }
  }
}

TEST_F(ParseErrorTest, MissingOrUnreadableFileIsAParseErrorWithItsUrl) {
  auto doc = Parse("<keep/>");
  auto other = Parse("<other/>");
  auto reading = ResolvingDocument();
  ASSERT_TRUE(doc && other && reading);
  ParseErrorInfo e = FailingLoad(doc.Get(), Variant::Str((TempDir() + "/does-not-exist.xml").c_str()));
  EXPECT_NE(e.errorCode, 0);
  EXPECT_FALSE(e.reason.empty());
  EXPECT_NE(e.url.find("does-not-exist.xml"), std::string::npos) << e.url;
  EXPECT_EQ(ChildCount(doc.Get()), 0) << "a failed load empties the document";

  e = FailingLoad(doc.Get(), Variant::Str(WriteTempFile("broken.xml", "<r>\n<a>\n</r>").c_str()));
  EXPECT_EQ(e.line, 3);
  EXPECT_NE(e.url.find("broken.xml"), std::string::npos) << e.url;

  // An escaped NUL would cut a file URL short at a file the host did not name.
  const std::string kept = WriteTempFile("kept.xml", "<kept/>");
  EXPECT_NE(FailingLoad(doc.Get(), Variant::Str(("file://" + kept + "%00.txt").c_str())).errorCode, 0);
  EXPECT_TRUE(FAILED(Save(other.Get(), Variant::Str(("file://" + kept + "%00.bak").c_str()))));
  EXPECT_EQ(ReadFileBytes(kept), "<kept/>");
  // Nor does an entity's system identifier name the file before the NUL.
  const std::string entity =
      WriteTempFile("nul-entity.xml", "<!DOCTYPE r [<!ENTITY e SYSTEM 'kept.xml%00.txt'>]><r>&e;</r>");
  e = FailingLoad(reading.Get(), Variant::Str(entity.c_str()));
  EXPECT_NE(e.reason.find("kept.xml%00.txt"), std::string::npos) << e.reason;
}

}  // namespace
}  // namespace ardo::test
